// The handlers of the certificate-entry window (log-in and sign): check the
// user's choice and password, then run the job's action, which reports to
// the relay and ends the job. Each gets the address of the UI object's
// m_muiWidget as user data. Once an action has ended the job the UI object
// is gone: nothing of it is touched afterwards.
#include <gdk/gdkkeysyms.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "job/CertAdapters.h"
#include <zephaltpavix/pfx.h>

#include "job/IssueActions.h"
#include "job/Job.h"
#include "job/Launchers.h"
#include "job/ManageActions.h"
#include "job/SignActions.h"
#include "ui/DetailWindow.h"
#include "ui/MainUI.h"
#include "ui/ManagerWindow.h"
#include "ui/RemovableMedia.h"

// Wrong current passwords of renewals from this window, over the process's
// jobs: a right one or the fifth wrong one resets it.
int g_renewalPasswordTries = 0;

namespace {

// Texts of the job's edition (the UI object's table).
const char* text(const char* key) { return GetQuilletUI()->m_resourceHelper.GetResourceData(key); }

void box(const char* key, const char* titleKey, GtkMessageType type) {
    CQuilletUI::MessageBox(text(key), text(titleKey), type);
}

// The branches whose windows come later say so (the message table keeps
// the texts of the windows that exist).
void notAvailable() {
    CQuilletUI::MessageBox(
        g_swLanguage_Eng ? "This function is not available yet." : "이 기능은 아직 사용할 수 없습니다.",
        text("CONFIRM"), GTK_MESSAGE_WARNING);
}

// The chosen row becomes the record, with the medium the list came from:
// choosing a row clears the record, so the medium is set after every
// selection (a removable volume's rows are type 1 with their volume).
int selectCert(CQuilletUI* ui, MUIWidget* w) {
    if (!w || !w->MUI_treeview) return -1;
    if (ui->m_quilletDatas.SetSelectedCertValues(GTK_TREE_VIEW(w->MUI_treeview)) != 0) return -1;
    SelectedCertValues& v = ui->m_quilletDatas.m_selectedCertValues;
    const bool removable = ui->currentUSBVolume[0] != '\0';
    v.selectedStoreType = removable ? 1 : 0;
    std::memcpy(v.selectedUSBVolume, ui->currentUSBVolume, sizeof v.selectedUSBVolume);
    v.selectedUSBVolume[sizeof v.selectedUSBVolume - 1] = '\0';
    return 0;
}

void forgetPassword() {
    if (IsQuilletDeleted()) return;
    SelectedCertValues& v = GetQuilletUI()->m_quilletDatas.m_selectedCertValues;
    explicit_bzero(v.password, sizeof v.password);
}

// The renewal's outcome as the window tells it. The texts are taken
// before the action runs: a renewal that ended the job took the UI
// object with it.
void renew(int storeType, char* newPassword) {
    const std::string ok = text("UPDATE_CERT_OK"), fail = text("UPDATE_CERT_FAIL"), title = text("CONFIRM");
    const int rc = sig_Update_clicked(storeType, newPassword);
    if (rc == 0) {
        CQuilletUI::MessageBox(ok.c_str(), title.c_str(), GTK_MESSAGE_INFO);
    } else if (rc != -100 && rc != -101) {
        CQuilletUI::MessageBox(fail.c_str(), title.c_str(), GTK_MESSAGE_WARNING);
        Start_CloseMainWidgetThread(0);
    }
    forgetPassword();
}

// Renewal of the chosen certificate: its current password first, then the
// new one, then the CA. The fifth wrong password ends the job with 1425
// alone (no cancel after it: one outcome per job).
void renewChosen(CQuilletUI* ui, GtkWidget* widget, gpointer data) {
    SelectedCertValues& v = ui->m_quilletDatas.m_selectedCertValues;
    if (Check_CertPasswd(v.selectedStoreType, v.certpath, v.password) != 0) {
        explicit_bzero(v.password, sizeof v.password);
        if (++g_renewalPasswordTries >= 5) {
            g_renewalPasswordTries = 0;
            MU_MessageBox("인증서 암호 입력이 5회 이상 틀렸습니다. 프로그램을 종료합니다.", 1);
            send_ErrCode("1425");
            Start_CloseMainWidgetThread(0);
            return;
        }
        char message[1024];
        std::snprintf(message, sizeof message,
                      "선택된 인증서의 암호가 틀렸습니다.\n암호를 다시 입력하십시오.\n\n암호 총5회(현재 %d회 "
                      "남음) 오류시\n재시도하여 주시기 바랍니다.",
                      5 - g_renewalPasswordTries);
        MU_MessageBox(message, 1);
        return;
    }
    g_renewalPasswordTries = 0;
    std::map<std::string, std::string> answer;
    for (;;) {
        answer = ui->GetForUpdateCertInputPassword();
        // The job may have ended while the dialog ran (the window closed).
        if (IsQuilletDeleted()) return;
        if (answer["error"] == "yes") {
            CQuilletUI::MessageBox(answer["errormsg"].c_str(), text("CONFIRM"), GTK_MESSAGE_WARNING);
            continue;
        }
        if (answer["retry"] != "yes") break;
    }
    std::string& next = answer["new"];
    if (answer["cancel"] == "yes") {
        explicit_bzero(v.password, sizeof v.password);
        on_ECW_enterCert_destroy(widget, data);
        return;
    }
    renew(v.selectedStoreType, next.empty() ? nullptr : next.data());
    explicit_bzero(next.data(), next.size());
}

// The export of the chosen certificate to the roaming server; a wrong
// password leaves the window open.
void exportChosen(CQuilletUI* ui) {
    SelectedCertValues& v = ui->m_quilletDatas.m_selectedCertValues;
    if (g_swForCertExport_V11 == 1) {
        // The V1.1 export window is not built.
        explicit_bzero(v.password, sizeof v.password);
        notAvailable();
        return;
    }
    std::string number;
    const int rc = sig_ExportCert_clicked(number);
    if (rc == kRoamingOk) {
        RoamingExportDone(number);
    } else if (rc == kRoamingRetry) {
        explicit_bzero(v.password, sizeof v.password);
        box("Password_not_match", "Error", GTK_MESSAGE_INFO);
    }
    forgetPassword();
}

constexpr char kPfxFilters[] =
    "All Supported Files(*.p12;*.ipfx;*.pfx)|*.p12;*.ipfx;*.pfx|PKCS12 Files(*.p12)|*.p12|"
    "Private Information Exchange(*.ipfx;*.ipf;*.pfx)|*.ipfx;*.ipf;*.pfx|All Files(*)|*";

// A typed text that is wiped when it goes.
struct Wiped {
    std::string text;
    Wiped() = default;
    Wiped(const Wiped&) = delete;
    Wiped& operator=(const Wiped&) = delete;
    ~Wiped() { explicit_bzero(text.data(), text.size()); }
};

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The certificates of a PKCS#12 file that come with a key.
std::vector<std::string> pfxCertificates(const std::string& file, const std::string& password) {
    std::vector<std::string> out;
    PKI_STR_INFO* entries = nullptr;
    int count = 0;
    if (VPL_PFXFileToCert(file.c_str(), password.c_str(), static_cast<int>(password.size()), &entries, &count) == 0 &&
        entries)
        for (int i = 0; i < count; ++i)
            if (entries[i].cert && entries[i].cert_len > 0)
                out.emplace_back(reinterpret_cast<const char*>(entries[i].cert),
                                 static_cast<size_t>(entries[i].cert_len));
    if (entries) {
        VCL_PK1_Free_PKISTRINFOS(entries, count);
        std::free(entries);
    }
    return out;
}

// The job's end when the file's certificate cannot be renewed: the user is
// told, the relay hears the renewal failed once.
void failFileRenewal(const char* message) {
    CQuilletUI::MessageBox(message, text("CONFIRM"), GTK_MESSAGE_WARNING);
    send_ErrCode("1442");
    Start_CloseMainWidgetThread(0);
}

// Renewal with a PKCS#12 file: its pair is stored on the home disk, then
// the very certificate of the file is chosen in the refreshed list (the
// same bytes, so the same subject and serial: never just the first row)
// and renewed with the file's password. A file whose certificate the list
// does not show (the job's filter hides it) is refused.
void renewFromFile(MUIWidget* w, const std::string& file, const std::string& password) {
    if (sig_Get_PFXFile_clicked(0, nullptr, file.c_str(), password.c_str()) != 0) {
        failFileRenewal("갱신작업중 오류가 발생하였습니다. 다시한번 시도해 주시기 바랍니다.");
        return;
    }
    box("IMPORT_CERT_OK", "CONFIRM", GTK_MESSAGE_INFO);
    if (IsQuilletDeleted()) return;
    CQuilletUI* ui = GetQuilletUI();
    // The list is the home disk's now.
    explicit_bzero(ui->currentUSBVolume, sizeof ui->currentUSBVolume);
    tmpselectedStoreType = 0;
    GetDomainCertList(0, nullptr, &UpdateParameter.s_filter_info);
    if (w && w->MUI_liststore) ui->UpdateListStoreForCertList(w->MUI_liststore);
    const std::vector<std::string> certs = pfxCertificates(file, password);
    int row = -1;
    const auto& rows = ui->m_quilletDatas.m_certLists;
    for (size_t i = 0; i < rows.size() && row < 0; ++i) {
        const std::string stored = fileBytes(rows[i].certpath);
        for (const std::string& c : certs)
            if (!stored.empty() && stored == c) row = static_cast<int>(i);
    }
    if (row < 0 || !w || !w->MUI_treeview) {
        JOBLOG("certFind: the file's certificate is not in the list\n");
        failFileRenewal(text("UPDATE_CERT_FAIL"));
        return;
    }
    ui->SelectTreeViewRow(GTK_TREE_VIEW(w->MUI_treeview), row);
    if (selectCert(ui, w) != 0 || ui->SetSelectedCertPassword(password.c_str()) != 0) {
        failFileRenewal(text("UPDATE_CERT_FAIL"));
        return;
    }
    const SelectedCertValues& v = ui->m_quilletDatas.m_selectedCertValues;
    JOBLOG("certFind: renewing [%s] [%s]\n", v.subject, v.certpath);
    Wiped next;
    next.text = password;
    renew(tmpselectedStoreType, next.text.data());
}

}  // namespace

QUILLET_UI_EXPORT void enterCert_btn_ok_clicked(GtkWidget* widget, gpointer data) {
    auto* w = static_cast<MUIWidget*>(data);
    CQuilletUI* ui = GetQuilletUI();
    if (selectCert(ui, w) != 0) {
        box("MSG_SELECT_CERT", "SelectCertificate", GTK_MESSAGE_WARNING);
        return;
    }
    const char* typed = w->MUI_entry_password ? gtk_entry_get_text(GTK_ENTRY(w->MUI_entry_password)) : "";
    if (!typed || !*typed) {
        box("Please_enter_the_password_of_the_certificate", "SelectCertificate", GTK_MESSAGE_WARNING);
        return;
    }
    if (ui->SetSelectedCertPassword(typed) != 0) return;
    // The entry keeps no copy once the record has it.
    if (w->MUI_entry_password) gtk_entry_set_text(GTK_ENTRY(w->MUI_entry_password), "");
    // Renewal takes expired certificates too.
    if (g_swForCertUpdate == 1) {
        renewChosen(ui, widget, data);
        return;
    }
    // Roaming export takes expired certificates too.
    if (g_swForCertExport == 1) {
        exportChosen(ui);
        return;
    }
    if (ui->m_quilletDatas.m_selectedCertValues.expireflag == 1) {
        box("EXPIREDCERT_IS_NOT_USE", "CONFIRM", GTK_MESSAGE_WARNING);
        explicit_bzero(ui->m_quilletDatas.m_selectedCertValues.password,
                       sizeof ui->m_quilletDatas.m_selectedCertValues.password);
        return;
    }
    const std::string mode = ui->m_windowMode;
    int rc = -1;
    if (mode == "LOGIN")
        rc = buttonLogin_clicked();
    else if (mode == "SIGN")
        rc = buttonSign_clicked();
    // A try that left the window open forgets the password.
    if (rc == kActionRetry && !IsQuilletDeleted()) {
        SelectedCertValues& v = GetQuilletUI()->m_quilletDatas.m_selectedCertValues;
        explicit_bzero(v.password, sizeof v.password);
    }
}

QUILLET_UI_EXPORT gboolean enterCert_Password_Entry_button_pressed(GtkWidget* widget, GdkEventKey* event,
                                                                   gpointer data) {
    if (!event || (event->keyval != GDK_KEY_Return && event->keyval != GDK_KEY_KP_Enter)) return FALSE;
    enterCert_btn_ok_clicked(widget, data);
    return TRUE;
}

QUILLET_UI_EXPORT void enterCert_btn_certFind_clicked(GtkWidget*, gpointer data) {
    JOBLOG("certFind clicked..\n");
    const std::string file = OpenFileDialog("Open", kPfxFilters);
    if (file.empty()) {
        JOBLOG("선택한 파일 없음\n");
        return;
    }
    Wiped password;
    const int asked = AskText(password.text, text("INPUT"), text("INPUT_CERT_PASSWD"), text("CertPassword"));
    if (asked == -1 || IsQuilletDeleted()) return;
    if (asked == 0) {
        box("Please_enter_the_password_of_the_certificate", "CONFIRM", GTK_MESSAGE_WARNING);
        return;
    }
    JOBLOG("선택한 파일 : %s\n", file.c_str());
    const std::string mode = GetQuilletUI()->m_windowMode;
    // The actions deal with their outcomes (the job ended, or the window
    // stays for another try).
    if (mode == "SIGN") {
        sig_Get_PFXFile_Sign_clicked(file.c_str(), password.text.c_str());
        return;
    }
    if (mode != "LOGIN") return;
    if (g_swForCertExport == 1) {
        if (g_swForCertExport_V11 == 1) {
            JOBLOG("certFind: no file export in roaming V1.1\n");
            return;
        }
        std::string number;
        const int rc = sig_ExportCert_clicked_use_PFXfile(file.c_str(), password.text.c_str(), number);
        if (rc == kRoamingRetry)
            box("Password_not_match", "Error", GTK_MESSAGE_INFO);
        else if (rc == kRoamingOk)
            RoamingExportDone(number);
        return;
    }
    if (g_swForCertUpdate != 0) {
        renewFromFile(static_cast<MUIWidget*>(data), file, password.text);
        return;
    }
    sig_Get_PFXFile_Login_clicked(file.c_str(), password.text.c_str());
}

QUILLET_UI_EXPORT void on_ECW_btn_certView_clicked(GtkWidget*, gpointer data) {
    auto* w = static_cast<MUIWidget*>(data);
    CQuilletUI* ui = GetQuilletUI();
    if (selectCert(ui, w) != 0) {
        box("MSG_SELECT_CERT", "CertView", GTK_MESSAGE_WARNING);
        return;
    }
    DetailCertView();
}

QUILLET_UI_EXPORT void on_ECW_tvCerts_row_activated(GtkTreeView*, GtkTreePath*, GtkTreeViewColumn*, gpointer data) {
    on_ECW_btn_certView_clicked(nullptr, data);
}

QUILLET_UI_EXPORT void on_ECW_radio_fdd_clicked(GtkToggleButton* button, gpointer data) {
    JOBLOG("on_ECW_radio_fdd_clicked()....\n");
    auto* w = static_cast<MUIWidget*>(data);
    CQuilletUI* ui = GetQuilletUI();
    SelectedCertValues& v = ui->m_quilletDatas.m_selectedCertValues;
    tmpselectedStoreType = 0;
    explicit_bzero(ui->currentUSBVolume, sizeof ui->currentUSBVolume);
    // Another medium chosen: the rows stay until the next refill.
    if (!button || !gtk_toggle_button_get_active(button)) {
        v.selectedStoreType = tmpselectedStoreType;
        return;
    }
    auto showList = [&] {
        if (w && w->MUI_liststore) ui->UpdateListStoreForCertList(w->MUI_liststore);
        if (w && w->MUI_treeview) ui->SelectTreeViewRow(GTK_TREE_VIEW(w->MUI_treeview), 0);
    };
    std::string chosen;
    switch (AskRemovableVolume(chosen, false)) {
        case VolumeChoice::NoDrive:
            ui->m_quilletDatas.ClearCertLists(0);
            showList();
            box("NO_REMOVABLE_DRIVE", "SELECT", GTK_MESSAGE_WARNING);
            tmpselectedStoreType = 1;
            return;
        case VolumeChoice::Cancelled:
            tmpselectedStoreType = 1;
            ui->m_quilletDatas.ClearCertLists(0);
            showList();
            return;
        case VolumeChoice::Picked:
            break;
    }
    JOBLOG("strSel.c_str() = [%s]\n", chosen.c_str());
    tmpselectedStoreType = 1;
    // A path that does not fit with its NUL is never cut into another
    // path: the volume lists nothing.
    if (chosen.size() < sizeof ui->currentUSBVolume) {
        std::memcpy(ui->currentUSBVolume, chosen.c_str(), chosen.size() + 1);
        const CertFilter* filter = g_swForCertUpdate == 1 ? &UpdateParameter.s_filter_info
                                   : g_swForCertSign == 1 ? &SignParameter.s_filter_info
                                                          : nullptr;
        GetDomainCertList(4, ui->currentUSBVolume, filter);
    } else {
        ui->m_quilletDatas.ClearCertLists(0);
    }
    showList();
    v.selectedStoreType = tmpselectedStoreType;
    JOBLOG("selectedStoreType = [%d]\n", v.selectedStoreType);
}

QUILLET_UI_EXPORT void enterCert_on_certDel_clicked(GtkWidget*, gpointer data) {
    auto* w = static_cast<MUIWidget*>(data);
    CQuilletUI* ui = GetQuilletUI();
    if (selectCert(ui, w) != 0) {
        box("MSG_SELECT_CERT", "SelectCertificate", GTK_MESSAGE_WARNING);
        return;
    }
    JOBLOG("[%s +]\n", "enterCert_on_certDel_clicked");
    GtkBuilder* builder = LoadWindowBuilder("DCD_deleteCert");
    GtkWidget* dialog = builder ? GTK_WIDGET(gtk_builder_get_object(builder, "DCD_deleteCert")) : nullptr;
    if (!dialog) {
        if (builder) g_object_unref(builder);
        box("CertRemoveError", "CONFIRM", GTK_MESSAGE_WARNING);
        return;
    }
    CQuilletResourceHelper helper;
    helper.SetResource(g_swLanguage_Eng ? "ENG" : "KOR");
    helper.SetBuilder(builder);
    helper.SetCtrlText("DCD_deleteCert", CQRH_WINDOW_TITLE, "CertDelete");
    const std::pair<const char*, const char*> labels[] = {
        {"DCD_CertInfo", "CertInfo"},       {"DCD_lbl_subject_title", "Subject"},
        {"DCD_lbl_issuer_title", "Issuer"}, {"DCD_lbl_expiredata_title", "ExpireDate"},
        {"DCD_lbl_oidtype_title", "Type"},  {"DCD_label_confirm", "Delete_confirm"},
    };
    for (const auto& [id, key] : labels) helper.SetCtrlText(id, CQRH_LABEL, key);
    helper.SetCtrlText("DCD_btn_ok", CQRH_BUTTON, "OK");
    helper.SetCtrlText("DCD_btn_cancel", CQRH_BUTTON, "Cancel");
    const SelectedCertValues& v = ui->m_quilletDatas.m_selectedCertValues;
    const std::pair<const char*, const char*> values[] = {
        {"DCD_lbl_subject", v.subject},
        {"DCD_lbl_issuer", v.issuer},
        {"DCD_lbl_expiredata", v.expiredata},
        {"DCD_lbl_oidtype", v.oidtype},
    };
    for (const auto& [id, value] : values)
        if (GObject* label = gtk_builder_get_object(builder, id))
            gtk_label_set_text(GTK_LABEL(label), CQuilletUtils::ConvertEUCKRtoUTF8(value).c_str());
    g_object_unref(builder);
    const int answer = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    if (answer == GTK_RESPONSE_YES) {
        if (buttonCertDelete_clicked() != 0) {
            box("CertRemoveError", "CONFIRM", GTK_MESSAGE_WARNING);
        } else {
            box("CertRemoved", "CONFIRM", GTK_MESSAGE_INFO);
            // The list comes again from the same medium, without the job's
            // filter.
            if (ui->currentUSBVolume[0])
                GetDomainCertList(4, ui->currentUSBVolume, nullptr);
            else
                GetDomainCertList(0, nullptr, nullptr);
            if (w->MUI_liststore) ui->UpdateListStoreForCertList(w->MUI_liststore);
            ui->SelectTreeViewRow(GTK_TREE_VIEW(w->MUI_treeview), 0);
        }
    }
    JOBLOG("[%s -]\n", "enterCert_on_certDel_clicked");
}
