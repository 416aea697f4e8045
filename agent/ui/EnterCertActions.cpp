// The handlers of the certificate-entry window (log-in and sign): check the
// user's choice and password, then run the job's action, which reports to
// the relay and ends the job. Each gets the address of the UI object's
// m_muiWidget as user data. Once an action has ended the job the UI object
// is gone: nothing of it is touched afterwards.
#include <gdk/gdkkeysyms.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "job/CertAdapters.h"
#include "job/Job.h"
#include "job/Launchers.h"
#include "job/ManageActions.h"
#include "job/SignActions.h"
#include "ui/DetailWindow.h"
#include "ui/MainUI.h"
#include "ui/RemovableMedia.h"

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

}  // namespace

QUILLET_UI_EXPORT void enterCert_btn_ok_clicked(GtkWidget*, gpointer data) {
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
    // Roaming export: the number for the phone, then ret "1"; a wrong
    // password leaves the window open with nothing posted.
    if (g_swForCertExport == 1 && g_swForCertUpdate != 1) {
        std::string number;
        const int rc = sig_ExportCert_clicked(number);
        if (rc == kRoamingOk) {
            RoamingExportDone(number);
            explicit_bzero(number.data(), number.size());
        } else if (rc == kRoamingRetry && !IsQuilletDeleted()) {
            SelectedCertValues& v = GetQuilletUI()->m_quilletDatas.m_selectedCertValues;
            explicit_bzero(v.password, sizeof v.password);
            box("PASSWORD_CHECK_FAILED", "CONFIRM", GTK_MESSAGE_WARNING);
        }
        return;
    }
    // Renewal comes with its own window's action.
    if (g_swForCertUpdate == 1) {
        explicit_bzero(ui->m_quilletDatas.m_selectedCertValues.password,
                       sizeof ui->m_quilletDatas.m_selectedCertValues.password);
        notAvailable();
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

QUILLET_UI_EXPORT void enterCert_btn_certFind_clicked(GtkWidget*, gpointer) {
    JOBLOG("certFind clicked..\n");
    // The PKCS#12 file chooser comes with the PKCS#12 dialogs.
    notAvailable();
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

QUILLET_UI_EXPORT void on_ECW_radio_fdd_clicked(GtkToggleButton* button, gpointer) {
    JOBLOG("on_ECW_radio_fdd_clicked()....\n");
    CQuilletUI* ui = GetQuilletUI();
    explicit_bzero(ui->currentUSBVolume, sizeof ui->currentUSBVolume);
    ui->m_quilletDatas.m_selectedCertValues.selectedStoreType = 0;
    if (!button || !gtk_toggle_button_get_active(button)) return;
    // The volume to list: the removable-disk choice, kept as the listed one.
    const int before = tmpselectedStoreType;
    ChooseRemovableVolume();
    tmpselectedStoreType = before;
    std::memcpy(ui->currentUSBVolume, ui->targetUSBVolume, sizeof ui->currentUSBVolume);
    explicit_bzero(ui->targetUSBVolume, sizeof ui->targetUSBVolume);
    ui->m_quilletDatas.ClearCertLists(0);
    if (ui->currentUSBVolume[0]) GetDomainCertList(4, ui->currentUSBVolume, nullptr);
    ui->UpdateListStoreForCertList(ui->m_muiWidget.MUI_liststore);
    ui->SelectTreeViewRow(GTK_TREE_VIEW(ui->m_muiWidget.MUI_treeview), 0);
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
        if (Delete_Cert(v.selectedStoreType, v.certpath) != 0) {
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
