// The password-policy module (libzuncc, opened from the install directory)
// that judges every new certificate password, and the password guide.
#include <dlfcn.h>
#include <unistd.h>

#include <zuncc/zuncc.h>

#include <cstring>
#include <utility>

#include "common/DMLinuxUtil.h"
#include "job/Job.h"
#include "ui/MainUI.h"

namespace {

zunccWrapperModule* g_pwdWrapperModule = nullptr;
zunccPasswordManager* g_pwdManager = nullptr;
std::string g_pwdMessage;    // EUC-KR
std::string g_pwdGuideText;  // EUC-KR

// The module's own domain: it names no site.
const char kPlaceholderDomain[] = "zuncc.local";
static_assert(sizeof kPlaceholderDomain - 1 == 11);

// The module may answer NULL: read as no text.
std::string text(const char* s) { return s ? s : ""; }

void wipe(std::string& s) {
    explicit_bzero(s.data(), s.size());
    s.clear();
}

zunccCleanFn cleanFn(const zunccWrapperModule* m) {
    return m && m->m_handle && m->m_clean ? reinterpret_cast<zunccCleanFn>(m->m_clean) : nullptr;
}

void dropManager() {
    if (zunccCleanFn clean = cleanFn(g_pwdWrapperModule); clean && g_pwdManager) clean(g_pwdManager);
    g_pwdManager = nullptr;
    delete std::exchange(g_pwdWrapperModule, nullptr);
}

}  // namespace

// ---- The module -------------------------------------------------------------------------

std::string PasswordModulePath() { return std::string(DMLinuxUtil_GetInstallDir()) + "/libzuncc.so"; }

int zunccWrapperModule::load(const char* path) {
    if (!path || !*path) {
        m_error = "정확한 파일명이 입력되지 않았습니다.";
        return 0;
    }
    m_handle = dlopen(path, RTLD_NOW);
    if (!m_handle) {
        m_error = std::string(path) + "로딩에 실패했습니다.";
        return 0;
    }
    m_factory = dlsym(m_handle, "zunccFactory");
    m_clean = dlsym(m_handle, "zunccClean");
    m_allClean = dlsym(m_handle, "zunccAllClean");
    if (m_factory && m_clean && m_allClean) return 1;
    m_error = std::string(path) + "의 함수 연결에 실패했습니다.";
    return 0;
}

void zunccWrapperModule::clean() {
    if (!m_handle || !m_allClean) return;
    reinterpret_cast<zunccAllCleanFn>(m_allClean)();
    dlclose(m_handle);
    m_handle = m_factory = m_clean = m_allClean = nullptr;
}

zunccWrapperModule::~zunccWrapperModule() {
    if (m_handle) clean();
    m_handle = nullptr;
}

int LoadPasswordManager(const char* mode, const char* target) {
    g_pwdWrapperModule = new zunccWrapperModule();
    const std::string path = PasswordModulePath();
    if (g_pwdWrapperModule->load(path.c_str()) == 1)
        g_pwdManager =
            reinterpret_cast<zunccFactoryFn>(g_pwdWrapperModule->m_factory)("zunccManagePassword", kPlaceholderDomain);
    if (!g_pwdManager) {
        JOBLOG("[ERR]password module: %s\n",
               g_pwdWrapperModule->m_error.empty() ? "no manager" : g_pwdWrapperModule->m_error.c_str());
        dropManager();
        return -1;
    }
    JOBLOG("Load zuncclib success %p %p\n", static_cast<void*>(g_pwdWrapperModule), static_cast<void*>(g_pwdManager));
    // The core library as installed, beside the program in lib/.
    const std::string core = std::string(DMLinuxUtil_GetInstallDir()) + "/lib/libzunCore.so";
    g_pwdManager->SetProperty("coreModulePath", core.c_str());
    if (std::strcmp(GetPolicy_YessignCertPasswordPolicy(), "1") == 0)
        g_pwdManager->SetProperty("YessignCertPasswordPolicy", "true");
    g_pwdManager->SetProperty("language", g_swLanguage_Eng ? "eng" : "kor");
    g_pwdManager->SetProperty("setProcessName", mode ? mode : "");
    g_pwdManager->SetProperty("CertPasswordPolicy", GetPolicy_CertPasswordPolicy());
    g_pwdMessage = text(g_pwdManager->GetMessage());
    const char* data = target ? target : "";
    g_pwdManager->SetData(data, static_cast<int>(std::strlen(data)));
    g_pwdGuideText = text(g_pwdManager->GetGuideText());
    return 0;
}

int CheckPasswordByPolicy(const char* password) {
    if (!g_pwdManager) {
        JOBLOG("ERROR!!! Password Manager is NULL ===\n");
        return -1;
    }
    if (g_pwdManager->CheckPassword(password ? password : "")) return 0;
    g_pwdMessage = text(g_pwdManager->GetMessage());
    return -2;
}

int ReleasePasswordManager() {
    if (g_pwdWrapperModule) dropManager();
    wipe(g_pwdGuideText);
    wipe(g_pwdMessage);
    return 0;
}

std::string GetPasswordPolicyMessage() { return CQuilletUtils::ConvertEUCKRtoUTF8(g_pwdMessage); }

const char* PasswordRulesNoteKey() {
    const char* uiType = GetPolicy_YessignPwdUIType();
    return uiType && std::strcmp(uiType, "1") == 0 ? "NOTIFI_2" : "NOTIFI_3";
}

std::string ChangePasswordDescription(CQuilletResourceHelper& texts) {
    return std::string(texts.GetResourceData("Change_Password_label_1")) + "\n\n" +
           texts.GetResourceData(PasswordRulesNoteKey());
}
const std::string& PasswordPolicyMessageRaw() { return g_pwdMessage; }
const std::string& PasswordPolicyGuideRaw() { return g_pwdGuideText; }

// ---- Guide --------------------------------------------------------------------------------

void CQuilletUI::PasswordGuideDialog() {
    JOBLOG("[%s +]\n", "PasswordGuideDialog");
    GtkBuilder* builder = LoadWindowBuilder("PWGD_PasswordGuide");
    GObject* dialog = builder ? gtk_builder_get_object(builder, "PWGD_PasswordGuide") : nullptr;
    if (!dialog || !GTK_IS_DIALOG(dialog)) {
        JOBLOG("[ERR]PasswordGuideDialog: the builder file holds no guide\n");
        if (builder) g_object_unref(builder);
        JOBLOG("[%s -]\n", "PasswordGuideDialog");
        return;
    }
    gtk_window_set_title(GTK_WINDOW(dialog), m_resourceHelper.GetResourceData("PASSWORD_GUIDE"));
    GObject* label = gtk_builder_get_object(builder, "PWGD_GuideLabel");
    GObject* close = gtk_builder_get_object(builder, "PWGD_CloseBtn");
    if (close && GTK_IS_BUTTON(close))
        gtk_button_set_label(GTK_BUTTON(close), m_resourceHelper.GetResourceData("Close"));
    if (label && GTK_IS_LABEL(label)) {
        const std::string shown = std::string(m_resourceHelper.GetResourceData("PASSWORD_GUIDE_MSG")) + "\n\n" +
                                  ShowableText(CQuilletUtils::ConvertEUCKRtoUTF8(g_pwdGuideText));
        gtk_label_set_text(GTK_LABEL(label), shown.c_str());
    }
    g_object_unref(builder);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(GTK_WIDGET(dialog));
    JOBLOG("[%s -]\n", "PasswordGuideDialog");
}

void on_NPW_btn_PasswordSettingGuide_clicked(GtkWidget*, gpointer) { GetQuilletUI()->PasswordGuideDialog(); }
void on_CUD_PasswordGuideBtn_clicked(GtkWidget*, gpointer) { GetQuilletUI()->PasswordGuideDialog(); }
void on_CPD_PasswordGuideBtn_clicked(GtkWidget*, gpointer) { GetQuilletUI()->PasswordGuideDialog(); }
