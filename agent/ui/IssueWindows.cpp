// The certificate-lifecycle windows. They check what the user typed and
// chose, then hand over to the actions (job/IssueActions), which report to
// the relay and end the job. Every way a window can go ends the job with a
// report: closing it by the window manager is the user's cancel.
#include "ui/IssueWindows.h"

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include <zunCore/util.h>
#include <zunCore/x509_conv.h>

#include "job/IssueActions.h"
#include "job/Job.h"
#include "job/Launchers.h"
#include "ui/RemovableMedia.h"

namespace {

GtkWidget* widgetOf(GtkBuilder* builder, const char* id) {
    GObject* o = builder ? gtk_builder_get_object(builder, id) : nullptr;
    return o && GTK_IS_WIDGET(o) ? GTK_WIDGET(o) : nullptr;
}

void onClicked(GtkBuilder* builder, const char* id, GCallback handler, gpointer data) {
    if (GtkWidget* w = widgetOf(builder, id)) g_signal_connect(w, "clicked", handler, data);
}

// A text typed into an entry, wiped when it goes.
struct Typed {
    std::string text;
    explicit Typed(GtkWidget* entry) {
        if (entry && GTK_IS_ENTRY(entry)) text = gtk_entry_get_text(GTK_ENTRY(entry));
    }
    Typed(const Typed&) = delete;
    Typed& operator=(const Typed&) = delete;
    ~Typed() { explicit_bzero(text.data(), text.size()); }
};

void warn(const char* textKey, const char* titleKey) {
    CQuilletResourceHelper& r = GetQuilletUI()->m_resourceHelper;
    const std::string text = r.GetResourceData(textKey);
    CQuilletUI::MessageBox(text.c_str(), r.GetResourceData(titleKey), GTK_MESSAGE_WARNING);
}

// The window went while its job still ran (the window manager closed it):
// the user's cancel. The closing's own destruction reports nothing.
void onWindowDestroyed(GtkWidget*, gpointer) {
    if (IsQuilletDeleted()) return;
    JOBLOG("the window was closed: the job is cancelled.\n");
    buttonCancle_clicked(nullptr, "Cancel");
}

// Loads toplevel with its icon and the screen-keyboard option on its
// entries; NULL (the job ended as a cancel) when the builder file lacks it.
GtkWidget* openToplevel(GtkBuilder* builder, const char* id, const char* name) {
    GtkWidget* window = widgetOf(builder, id);
    if (!window) {
        JOBLOG("[ERR]%s: the builder file holds no window %s\n", name, id);
        buttonCancle_clicked(nullptr, name);
        return nullptr;
    }
    if (GdkPixbuf* icon = create_pixbuf(QuilletResourcePath("Icon_Stye_Guidelines(ios_57).png").c_str())) {
        gtk_window_set_icon(GTK_WINDOW(window), icon);
        g_object_unref(icon);
    }
    return window;
}

void keypadOption(CQuilletUI& ui, GtkWidget* entry, GtkWidget* button) {
    if (entry) SetWidgetSensitiveAndVisible(ui.m_quilletDatas.m_screenKeyboardOption, entry, button);
}

// The removable volume chosen, copied out of the UI object (which the
// action's closing takes down).
std::string chosenVolume() { return GetQuilletUI()->targetUSBVolume; }

bool noVolume() { return tmpselectedStoreType == 1 && GetQuilletUI()->targetUSBVolume[0] == '\0'; }

GtkWidget* g_requestDialog = nullptr;  // the PKCS#10 dialog while it runs

// The certificate file as PEM (the password module reads PEM); empty when
// it does not read.
std::string certificatePem(const char* path) {
    std::ifstream in(path ? path : "", std::ios::binary);
    if (!in) return {};
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    char* pem = nullptr;
    int pemLen = 0;
    if (bytes.empty() || VCL_X509_Conv_Cert2PEM(bytes.data(), static_cast<int>(bytes.size()), &pem, &pemLen) != 0 ||
        !pem)
        return {};
    std::string out(pem, static_cast<size_t>(pemLen));
    VCL_Free(pem, pemLen);
    return out;
}

}  // namespace

// ---- Issue -------------------------------------------------------------------------

int CQuilletUI::Issue() {
    JOBLOG("[%s:%d(%d)][%s +]\n", "MainUIs.cpp", __LINE__, static_cast<int>(getpid()), "Issue");
    m_windowMode = "ISSUE";
    const char* ca = GetPolicy_CAName();
    LoadPasswordManager("issue", ca && *ca ? ca : "yessign");
    GtkBuilder* builder = LoadWindowBuilder("NPW_NewPassword");
    GtkWidget* window = openToplevel(builder, "NPW_NewPassword", "Issue");
    if (!window) {
        if (builder) g_object_unref(builder);
        ReleasePasswordManager();
        return 0;
    }
    MUIWidget& w = m_muiWidget;
    w = MUIWidget{};
    w.MUI_window = window;
    const char* radios[] = {"NPW_radio_hdd", "NPW_radio_fdd", "NPW_radio_hsm", "NPW_radio_usb"};
    for (int i = 0; i < 4; ++i) w.MUI_radio[i] = widgetOf(builder, radios[i]);
    w.MUI_entry_password = widgetOf(builder, "NPW_entry_password");
    w.MUI_widgets[0] = widgetOf(builder, "NPW_entry_confirmpassword");
    w.MUI_VKeyCheckbutton = widgetOf(builder, "NPW_VKeyCheckbutton1");
    w.MUI_last = widgetOf(builder, "NPW_VKeyCheckbutton2");
    keypadOption(*this, w.MUI_entry_password, widgetOf(builder, "NPW_VKeybutton1"));
    keypadOption(*this, w.MUI_widgets[0], widgetOf(builder, "NPW_VKeybutton2"));
    onClicked(builder, "NPW_VKeybutton1", G_CALLBACK(on_VirtualKeypad_Open_Btn_clicked), &w);
    onClicked(builder, "NPW_VKeybutton2", G_CALLBACK(on_VirtualKeypad_Open_Btn_clicked1), &w);
    tmpselectedStoreType = 0;
    targetUSBVolume[0] = '\0';

    m_resourceHelper.SetBuilder(builder);
    CQuilletResourceHelper& r = m_resourceHelper;
    r.SetCtrlText("NPW_NewPassword", CQRH_WINDOW_TITLE, "ISSUE_CERT");
    r.SetCtrlText("NPW_label_1", CQRH_LABEL, "SelectStorage");
    r.SetCtrlText("NPW_label_2", CQRH_LABEL, "ISSUE_CERT_SELECT_MEDIA");
    r.SetCtrlText("NPW_lbl_hdd", CQRH_LABEL, "HDD");
    r.SetCtrlText("NPW_lbl_fdd", CQRH_LABEL, "FDD");
    r.SetCtrlText("NPW_lbl_hsm", CQRH_LABEL, "HSM");
    r.SetCtrlText("NPW_lbl_usb", CQRH_LABEL, "USB");
    r.SetCtrlText("NPW_lbl_phone", CQRH_LABEL, "PHONE");
    r.SetCtrlText("NPW_label_3", CQRH_LABEL, "NOTIFICATIONS");
    std::string notes;
    const char* ppki = GetPolicy_PPKI();
    if (!ppki || std::strcmp(ppki, "1") != 0) notes += r.GetResourceData("NOTIFI_1");
    notes += r.GetResourceData(PasswordRulesNoteKey());
    if (GtkWidget* label = widgetOf(builder, "NPW_label_4"); label && GTK_IS_LABEL(label))
        gtk_label_set_text(GTK_LABEL(label), notes.c_str());
    r.SetCtrlText("NPW_passwd", CQRH_LABEL, "NEW_PASSWD");
    r.SetCtrlText("NPW_passwd_confirm", CQRH_LABEL, "NEW_PASSWD_CONFIRM");
    r.SetCtrlText("NPW_btn_ok", CQRH_BUTTON, "OK");
    r.SetCtrlText("NPW_btn_cancel", CQRH_BUTTON, "Cancel");
    r.SetCtrlText("NPW_PWSetGuideBtn", CQRH_BUTTON, "PASSWORD_GUIDE");
    r.SetBuilder(nullptr);

    onClicked(builder, "NPW_btn_ok", G_CALLBACK(on_NPW_btn_ok_clicked), &w);
    onClicked(builder, "NPW_btn_cancel", G_CALLBACK(on_NPW_btn_cancel_clicked), &w);
    onClicked(builder, "NPW_radio_hdd", G_CALLBACK(on_NPW_radio_hdd_clicked), &w);
    onClicked(builder, "NPW_radio_fdd", G_CALLBACK(on_NPW_radio_fdd_clicked), &w);
    onClicked(builder, "NPW_PWSetGuideBtn", G_CALLBACK(on_NPW_btn_PasswordSettingGuide_clicked), &w);
    g_signal_connect(window, "destroy", G_CALLBACK(onWindowDestroyed), nullptr);
    g_object_unref(builder);

    RunJobWindowLoop(window);
    ReleasePasswordManager();
    JOBLOG("[%s:%d(%d)][%s -]\n", "MainUIs.cpp", __LINE__, static_cast<int>(getpid()), "Issue");
    return 0;
}

void on_NPW_btn_ok_clicked(GtkWidget*, gpointer data) {
    auto* w = static_cast<MUIWidget*>(data);
    if (!w || IsQuilletDeleted()) return;
    Typed password(w->MUI_entry_password), confirm(w->MUI_widgets[0]);
    if (password.text.empty()) return warn("Please_enter_the_password_of_the_certificate", "CONFIRM");
    if (password.text != confirm.text) return warn("Password_not_match", "CONFIRM");
    if (CheckPasswordByPolicy(password.text.c_str()) < 0) {
        const std::string why = GetPasswordPolicyMessage();
        CQuilletResourceHelper& r = GetQuilletUI()->m_resourceHelper;
        const std::string text = why.empty() ? r.GetResourceData("CC_MSG_4") : why;
        CQuilletUI::MessageBox(text.c_str(), r.GetResourceData("CONFIRM"), GTK_MESSAGE_WARNING);
        return;
    }
    JOBLOG("on_NPW_btn_ok_clicked(), tmpselectedStoreType = [%d]\n", tmpselectedStoreType);
    JOBLOG("on_NPW_btn_ok_clicked(), GetQuilletUI()->targetUSBVolume = [%s]\n", GetQuilletUI()->targetUSBVolume);
    if (noVolume()) return warn("NO_REMOVABLE_DRIVE", "SELECT");
    std::string volume = chosenVolume();
    if (g_Mode == 22)
        sig_certRequestAndStore_clicked(tmpselectedStoreType, volume.data(), password.text.data());
    else
        sig_Issue_clicked(tmpselectedStoreType, password.text.data(), volume.data());
}

int on_NPW_btn_cancel_clicked(GtkWidget* button, gpointer) {
    if (IsQuilletDeleted() == 1) return 1;
    JOBLOG("on_NPW_btn_cancel_clicked()...\n");
    return buttonCancle_clicked(button, "");
}

void on_NPW_radio_hdd_clicked(GtkWidget*, gpointer) {
    JOBLOG("on_NPW_radio_hdd_clicked()... \n");
    if (IsQuilletDeleted()) return;
    std::memset(GetQuilletUI()->targetUSBVolume, 0, sizeof GetQuilletUI()->targetUSBVolume);
    tmpselectedStoreType = 0;
}

// ---- Store after a request ------------------------------------------------------------

int CQuilletUI::CertAndKeyStoreAfterCertRequestWindow() {
    JOBLOG("CQuilletUI::CertAndKeyStoreAfterCertRequestWindow().. start\n");
    WriteLogFile("[TEST]", "CQuilletUI::CertAndKeyStoreAfterCertRequestWindow().. start");
    m_windowMode = "";
    GtkBuilder* builder = LoadWindowBuilder("NPW_NewPassword_without_Passwd");
    GtkWidget* window =
        openToplevel(builder, "NPW_NewPassword_without_Passwd", "CertAndKeyStoreAfterCertRequestWindow");
    if (!window) {
        if (builder) g_object_unref(builder);
        return 0;
    }
    MUIWidget& w = m_muiWidget;
    w = MUIWidget{};
    w.MUI_window = window;
    const char* radios[] = {"NPW_radio_hdd1", "NPW_radio_fdd1", "NPW_radio_hsm1", "NPW_radio_usb1"};
    for (int i = 0; i < 4; ++i) w.MUI_radio[i] = widgetOf(builder, radios[i]);
    w.MUI_entry_password = widgetOf(builder, "NPW_entry_password1");
    w.MUI_widgets[0] = widgetOf(builder, "NPW_entry_confirmpassword1");
    m_resourceHelper.SetBuilder(builder);
    CQuilletResourceHelper& r = m_resourceHelper;
    r.SetCtrlText("NPW_NewPassword_without_Passwd", CQRH_WINDOW_TITLE, "ISSUE_CERT");
    r.SetCtrlText("NPW_label_6", CQRH_LABEL, "SelectStorage");
    r.SetCtrlText("NPW_label_5", CQRH_LABEL, "ISSUE_CERT_SELECT_MEDIA");
    r.SetCtrlText("NPW_lbl_hdd1", CQRH_LABEL, "HDD");
    r.SetCtrlText("NPW_lbl_fdd1", CQRH_LABEL, "FDD");
    r.SetCtrlText("NPW_lbl_hsm1", CQRH_LABEL, "HSM");
    r.SetCtrlText("NPW_lbl_usb1", CQRH_LABEL, "USB");
    r.SetCtrlText("NPW_lbl_phone1", CQRH_LABEL, "PHONE");
    r.SetBuilder(nullptr);
    onClicked(builder, "NPW_without_Passwd_btn_ok", G_CALLBACK(on_NPW_without_Passwd_btn_ok_clicked), &w);
    onClicked(builder, "NPW_radio_hdd1", G_CALLBACK(on_NPW_radio_hdd_clicked), &w);
    onClicked(builder, "NPW_radio_fdd1", G_CALLBACK(on_NPW_radio_fdd_clicked), &w);
    g_signal_connect(window, "destroy", G_CALLBACK(onWindowDestroyed), nullptr);
    g_object_unref(builder);
    RunJobWindowLoop(window);
    JOBLOG("CQuilletUI::CertAndKeyStoreAfterCertRequestWindow().. end\n");
    return 0;
}

void on_NPW_without_Passwd_btn_ok_clicked(GtkWidget*, gpointer) {
    if (IsQuilletDeleted()) return;
    if (noVolume()) return warn("NO_REMOVABLE_DRIVE", "SELECT");
    JOBLOG("on_NPW_btn_ok_clicked(), tmpselectedStoreType = [%d]\n", tmpselectedStoreType);
    JOBLOG("on_NPW_btn_ok_clicked(), GetQuilletUI()->targetUSBVolume = [%s]\n", GetQuilletUI()->targetUSBVolume);
    std::string volume = chosenVolume();
    sig_certAndKeyStoreAfterCertRequestWindow_clicked(tmpselectedStoreType, volume.data());
}

// ---- Revoke --------------------------------------------------------------------------

int CQuilletUI::RevokeCert() {
    JOBLOG("CQuilletUI::RevokeCert() start.\n");
    GetDomainCertList(0, nullptr, &RevokeParameter.s_filter_info);
    JOBLOG("CQuilletUI::RevokeCert() tmp_CertListsCount   = [%d]\n", tmp_CertListsCount);
    // One certificate or none: with several the filter does not say which
    // one the site revoked, and none is taken on a guess.
    if (tmp_CertListsCount != 1 || m_quilletDatas.m_certLists.size() != 1) {
        JOBLOG("CQuilletUI::RevokeCert() %d certificates match: nothing deleted.\n", tmp_CertListsCount);
        send_ErrCode("1444");
        Start_CloseMainWidgetThread(0);
        return -1;
    }
    m_windowMode = "REVOKE";
    JOBLOG("[%s:%d(%d)][%s +]\n", "MainUIs.cpp", __LINE__, static_cast<int>(getpid()), "RevokeCert");
    GtkBuilder* builder = LoadWindowBuilder("DCD_deleteCert_2");
    GtkWidget* window = openToplevel(builder, "DCD_deleteCert_2", "RevokeCert");
    if (!window) {
        if (builder) g_object_unref(builder);
        return 0;
    }
    m_muiWidget = MUIWidget{};
    m_muiWidget.MUI_window = window;
    m_resourceHelper.SetBuilder(builder);
    CQuilletResourceHelper& r = m_resourceHelper;
    r.SetCtrlText("DCD_deleteCert_2", CQRH_WINDOW_TITLE, "CertDelete");
    r.SetCtrlText("DCD2_CertInfo", CQRH_LABEL, "CertInfo");
    r.SetCtrlText("DCD_lbl_subject_title1", CQRH_LABEL, "Subject");
    r.SetCtrlText("DCD_lbl_issuer_title1", CQRH_LABEL, "Issuer");
    r.SetCtrlText("DCD_lbl_expiredata_title1", CQRH_LABEL, "ExpireDate");
    r.SetCtrlText("DCD_lbl_oidtype_title1", CQRH_LABEL, "Type");
    r.SetCtrlText("DCD2_label_confirm", CQRH_LABEL, "Delete_confirm");
    r.SetCtrlText("DCD2_btn_ok", CQRH_BUTTON, "OK");
    r.SetCtrlText("DCD2_btn_cancel", CQRH_BUTTON, "Cancel");
    r.SetBuilder(nullptr);
    tmpselectedStoreType = 0;
    const CertLists& row = m_quilletDatas.m_certLists.front();
    tmpCertPath = row.certpath;
    JOBLOG("CQuilletUI::RevokeCert() tmpCertPath = %s\n", tmpCertPath.c_str());
    const std::pair<const char*, std::string> values[] = {
        {"DCD_lbl_subject1", CQuilletUtils::ConvertEUCKRtoUTF8(row.subject)},
        {"DCD_lbl_issuer1", CQuilletUtils::ConvertEUCKRtoUTF8(row.issuer)},
        {"DCD_lbl_expiredata1", CQuilletUtils::ConvertEUCKRtoUTF8(row.expiredata)},
        {"DCD_lbl_oidtype1", CQuilletUtils::ConvertEUCKRtoUTF8(row.oidtype)}};
    for (const auto& [id, text] : values)
        if (GtkWidget* l = widgetOf(builder, id); l && GTK_IS_LABEL(l)) gtk_label_set_text(GTK_LABEL(l), text.c_str());
    onClicked(builder, "DCD2_btn_ok", G_CALLBACK(on_DCD_delete_2_ok_clicked), nullptr);
    onClicked(builder, "DCD2_btn_cancel", G_CALLBACK(on_DCD_delete_2_cancel_clicked), nullptr);
    g_signal_connect(window, "destroy", G_CALLBACK(onWindowDestroyed), nullptr);
    g_object_unref(builder);
    RunJobWindowLoop(window);
    JOBLOG("[%s:%d(%d)][%s -]\n", "MainUIs.cpp", __LINE__, static_cast<int>(getpid()), "RevokeCert");
    return 0;
}

void on_DCD_delete_2_ok_clicked(GtkWidget*, gpointer) {
    JOBLOG("on_DCD_delete_2_ok_clicked()\n");
    if (IsQuilletDeleted()) return;
    std::string path = tmpCertPath;
    const int rc = sig_Revoke_clicked(tmpselectedStoreType, path.data());
    // The job's closing has begun: the texts come from the job's edition,
    // without a UI object that would outlive the job.
    CQuilletUI::MessageBox(JobEditionText(rc == 0 ? "CertRemoved" : "CertRemoveError"), JobEditionText("CONFIRM"),
                           rc == 0 ? GTK_MESSAGE_INFO : GTK_MESSAGE_WARNING);
}

void on_DCD_delete_2_cancel_clicked(GtkWidget*, gpointer) {
    JOBLOG("on_DCD_delete_2_cancel_clicked()\n");
    if (IsQuilletDeleted()) return;
    buttonCancle_clicked(nullptr, "Cancel");
}

// ---- PKCS#10 request -------------------------------------------------------------------

int CQuilletUI::CertRequestWindow() {
    JOBLOG("CQuilletUI::CertRequestWindow().. start\n");
    JOBLOG("[%s:%d(%d)][%s +]\n", "MainUIs.cpp", __LINE__, static_cast<int>(getpid()), "CertRequestWindow");
    GtkBuilder* builder = LoadWindowBuilder("IPD_inputPassword_for_PKCS10");
    GtkWidget* dialog = widgetOf(builder, "IPD_inputPassword_for_PKCS10");
    if (!dialog || !GTK_IS_DIALOG(dialog)) {
        if (builder) g_object_unref(builder);
        buttonCancle_clicked(nullptr, "CertRequestWindow");
        return 0;
    }
    m_muiWidget = MUIWidget{};
    m_muiWidget.MUI_entry_password = widgetOf(builder, "IPD_entryPassword1");
    m_muiWidget.MUI_widgets[0] = widgetOf(builder, "IPD_entryPassword2");
    gtk_window_set_title(GTK_WINDOW(dialog), "PKCS10 인증서 발급 요청");
    const std::pair<const char*, const char*> texts[] = {
        {"IPD_lbl_desc1", "PKCS10 인증서 발급 요청을 위한 인증서 암호를 입력하여 주십시요."},
        {"IPD_lbl_password1", "인증서 암호"},
        {"IPD_lbl_password2", "암호 확인 "}};
    for (const auto& [id, text] : texts)
        if (GtkWidget* l = widgetOf(builder, id); l && GTK_IS_LABEL(l)) gtk_label_set_text(GTK_LABEL(l), text);
    m_resourceHelper.SetBuilder(builder);
    m_resourceHelper.SetCtrlText("IPD_btn_ok1", CQRH_BUTTON, "OK");
    m_resourceHelper.SetCtrlText("IPD_btn_cancel1", CQRH_BUTTON, "Cancel");
    m_resourceHelper.SetBuilder(nullptr);
    onClicked(builder, "IPD_btn_ok1", G_CALLBACK(on_IPD_btn_ok1_clicked), &m_muiWidget);
    onClicked(builder, "IPD_btn_cancel1", G_CALLBACK(on_IPD_btn_cancel1_clicked), &m_muiWidget);
    g_object_ref(dialog);
    g_object_unref(builder);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    SetRunningFlag(CONST_APP_RUN_VALUE);
    g_requestDialog = dialog;
    // The handlers end the run once the job has ended; any other end of it
    // is the window manager closing the dialog: the user's cancel.
    const int response = gtk_dialog_run(GTK_DIALOG(dialog));
    g_requestDialog = nullptr;
    JOBLOG("CQuilletUI::CertRequestWindow() response = [%d]\n", response);
    gtk_widget_destroy(dialog);
    g_object_unref(dialog);
    if (!IsQuilletDeleted()) buttonCancle_clicked(nullptr, "CertRequestWindow");
    // Never a main loop after the job has ended: nothing would quit it.
    RunJobWindowLoop(nullptr);
    JOBLOG("[%s:%d(%d)][%s -]\n", "MainUIs.cpp", __LINE__, static_cast<int>(getpid()), "CertRequestWindow");
    return 0;
}

namespace {
void endRequestDialog(int response) {
    if (g_requestDialog) gtk_dialog_response(GTK_DIALOG(g_requestDialog), response);
}
}  // namespace

void on_IPD_btn_ok1_clicked(GtkWidget*, gpointer data) {
    JOBLOG("on_IPD_btn_ok1_clicked()...\n");
    auto* w = static_cast<MUIWidget*>(data);
    if (!w || IsQuilletDeleted()) return;
    Typed password(w->MUI_entry_password), confirm(w->MUI_widgets[0]);
    if (password.text.empty()) return warn("Please_enter_the_password_of_the_certificate", "CONFIRM");
    if (password.text != confirm.text) return warn("Password_not_match", "CONFIRM");
    if (password.text.size() <= 7) return warn("Password_is_too_short", "CONFIRM");
    if (CQuilletUtils::IsAllConsistOfAlphabets(password.text) == 0) return warn("Password_1Alphabet", "CONFIRM");
    // A request that was not made is reported before the job ends.
    if (sig_certRequestWindow_clicked(password.text.data()) == -1) send_ErrCode("1441");
    Start_CloseMainWidgetThread(0);
    endRequestDialog(GTK_RESPONSE_OK);
}

int on_IPD_btn_cancel1_clicked(GtkWidget* button, gpointer) {
    if (IsQuilletDeleted() == 1) return 1;
    JOBLOG("on_IPD_btn_cancel1_clicked()...\n");
    const int rc = buttonCancle_clicked(button, "");
    endRequestDialog(GTK_RESPONSE_CANCEL);
    return rc;
}

// ---- Renewal password dialog ------------------------------------------------------------

std::map<std::string, std::string> CQuilletUI::GetForUpdateCertInputPassword() {
    JOBLOG("[%s:%d(%d)][%s +]\n", "MainUIs.cpp", __LINE__, static_cast<int>(getpid()), "GetForUpdateCertInputPassword");
    std::map<std::string, std::string> result;
    SelectedCertCopy chosen;
    MU_Get_selectedCertValue(&chosen.values);
    CQuilletResourceHelper& r = m_resourceHelper;
    GtkBuilder* builder = LoadWindowBuilder("CUD_CertupdateInputPassword");
    GtkWidget* dialog = widgetOf(builder, "CUD_CertupdateInputPassword");
    if (!dialog || !GTK_IS_DIALOG(dialog)) {
        if (builder) g_object_unref(builder);
        result["cancel"] = "yes";
        return result;
    }
    // The certificate's own password rules, when its file reads.
    std::string pem = certificatePem(chosen.values.certpath);
    if (!pem.empty()) LoadPasswordManager("chgpwd", pem.c_str());
    r.SetBuilder(builder);
    r.SetCtrlText("CUD_CertupdateInputPassword", CQRH_WINDOW_TITLE, "INPUT_CERT_PASSWD");
    const std::string desc = ChangePasswordDescription(r);
    if (GtkWidget* l = widgetOf(builder, "CUD_lbl_desc"); l && GTK_IS_LABEL(l))
        gtk_label_set_text(GTK_LABEL(l), desc.c_str());
    r.SetCtrlText("CUD_new_passwd", CQRH_LABEL, "NEW_PASSWD");
    r.SetCtrlText("CUD_new_passwd_confirm", CQRH_LABEL, "NEW_PASSWD_CONFIRM");
    r.SetCtrlText("CUD_btn_ok", CQRH_BUTTON, "OK");
    r.SetCtrlText("CUD_btn_cancel", CQRH_BUTTON, "Cancel");
    r.SetCtrlText("CUD_PWSetGuideBtn", CQRH_BUTTON, "PASSWORD_GUIDE");
    r.SetBuilder(nullptr);
    DialogWidget& d = m_quilletDatas.m_dialogWidget;
    d = DialogWidget{};
    d.parent = dialog;
    d.checkButtons[1] = widgetOf(builder, "CUD_VKeyCheckbutton_new");
    d.checkButtons[2] = widgetOf(builder, "CUD_VKeyCheckbutton_newretry");
    d.entries[1] = widgetOf(builder, "CUD_entry_newpassword");
    d.entries[2] = widgetOf(builder, "CUD_entry_newpassword2");
    keypadOption(*this, d.entries[1], widgetOf(builder, "CUD_VKeybutton_new"));
    keypadOption(*this, d.entries[2], widgetOf(builder, "CUD_VKeybutton_newretry"));
    onClicked(builder, "CUD_VKeybutton_new", G_CALLBACK(on_VirtualKeypad_Open_DlgBtn_clicked1), &d);
    onClicked(builder, "CUD_VKeybutton_newretry", G_CALLBACK(on_VirtualKeypad_Open_DlgBtn_clicked2), &d);
    onClicked(builder, "CUD_PWSetGuideBtn", G_CALLBACK(on_CUD_PasswordGuideBtn_clicked), &d);
    g_object_ref(dialog);
    g_object_unref(builder);
    const int response = gtk_dialog_run(GTK_DIALOG(dialog));
    if (response == 0) {
        result["retry"] = "yes";
    } else if (response == GTK_RESPONSE_OK) {
        Typed first(d.entries[1]), again(d.entries[2]);
        if (first.text.empty() || again.text.empty()) {
            result["error"] = "yes";
            result["errormsg"] = r.GetResourceData("Please_enter_the_password_of_the_certificate");
        } else if (first.text != again.text) {
            result["error"] = "yes";
            result["errormsg"] = r.GetResourceData("Password_not_match");
        } else if (CheckPasswordByPolicy(first.text.c_str()) < 0) {
            result["error"] = "yes";
            result["errormsg"] = GetPasswordPolicyMessage();
        } else {
            result["new"] = first.text;
        }
    } else {
        result["cancel"] = "yes";
    }
    // The keypad never outlives its dialog.
    CloseVirtualKeypad();
    d = DialogWidget{};
    gtk_widget_destroy(dialog);
    g_object_unref(dialog);
    ReleasePasswordManager();
    explicit_bzero(pem.data(), pem.size());
    JOBLOG("[%s:%d(%d)][%s -]\n", "MainUIs.cpp", __LINE__, static_cast<int>(getpid()), "GetForUpdateCertInputPassword");
    return result;
}

// ---- Entry functions -------------------------------------------------------------------

int MU_IssueWindow(void) { return GetQuilletUI()->Issue(); }
int MU_RevokeCert(void) { return GetQuilletUI()->RevokeCert(); }
int MU_certRequestWindow(void) { return GetQuilletUI()->CertRequestWindow(); }
int MU_certAndKeyStoreAfterCertRequestWindow(void) { return GetQuilletUI()->CertAndKeyStoreAfterCertRequestWindow(); }
