// The UI's entry functions for the job driver.
#include <cstring>

#include "job/Job.h"
#include "ui/MainUI.h"

namespace {

// Copies at most room bytes and ends the field with a zero.
void copyField(char* field, size_t room, const char* text) {
    std::memset(field, 0, room);
    if (text && room > 0) std::strncpy(field, text, room - 1);
}

}  // namespace

void MU_LanguageSet(const char* language) { GetQuilletUI()->m_resourceHelper.SetResource(language ? language : ""); }

int MU_SetScreenKeyboardProviderOption(int option, const char* provider, const char* providerOption) {
    CQuilletUIDatas& d = GetQuilletUI()->m_quilletDatas;
    d.m_screenKeyboardOption = option;
    copyField(d.m_screenKeyboardProvider, sizeof d.m_screenKeyboardProvider, provider);
    copyField(d.m_screenKeyboardProviderOption, sizeof d.m_screenKeyboardProviderOption, providerOption);
    return 0;
}

int MU_addCertLists(char* subject, char* issuer, char* oidtype, char* expiredata, char* certpath, char* keypath,
                    char* expireflag, char* certtype, int listNo) {
    return GetQuilletUI()->m_quilletDatas.AddCertLists(subject, issuer, oidtype, expiredata, certpath, keypath,
                                                       expireflag, certtype, listNo);
}

void MU_clearCertLists(void) { GetQuilletUI()->m_quilletDatas.ClearCertLists(0); }

void MU_Get_selectedCertValue(SelectedCertValues* out) {
    if (out) *out = GetQuilletUI()->m_quilletDatas.m_selectedCertValues;
}

// The boxes read their titles from the job's object when there is one and
// never make one: a box after the closing shows the job's edition and leaves
// nothing for the next job.
void MU_MessageBox(const char* text, int type) {
    const char* title = type == 0 || type == 3 ? JobEditionText("Info") : type == 1 ? JobEditionText("Warning") : "";
    const GtkMessageType kind = type >= 0 && type <= 4 ? static_cast<GtkMessageType>(type) : GTK_MESSAGE_OTHER;
    CQuilletUI::MessageBox(text, title, kind);
    // The box goes from the screen at once.
    while (gdk_display_get_default() != nullptr && gtk_events_pending()) gtk_main_iteration();
}

int MU_MessageBoxOKCancel(const char* text, int type) {
    const char* title = type == 1 ? JobEditionText("Warning") : JobEditionText("Info");
    const GtkMessageType kind = type >= 0 && type <= 3 ? static_cast<GtkMessageType>(type) : GTK_MESSAGE_OTHER;
    return CQuilletUI::MessageBoxOKCancel(text, title, kind);
}
