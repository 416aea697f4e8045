// The job's interface to its UI, over the UI object's entry functions.
#include "ui/JobUiGtk.h"

#include <gtk/gtk.h>

#include "ui/IssueWindows.h"
#include "ui/MainUI.h"
#include "ui/ManagerWindow.h"
#include "ui/RoamingWindows.h"

namespace {

class CJobUiGtk final : public IJobUi {
public:
    void MessageBox(const char* text, int type) override { MU_MessageBox(text, type); }
    int MessageBoxOKCancel(const char* text, int type) override { return MU_MessageBoxOKCancel(text, type); }
    void LanguageSet(const char* language) override { MU_LanguageSet(language); }
    // Windows whose sources are still to come do not open.
    int OpenWindow(JobWindow window) override {
        switch (window) {
            case JobWindow::Login:
            case JobWindow::Update:
            case JobWindow::RoamingExport:
                return MU_LoginWindow();
            case JobWindow::Issue:
                return MU_IssueWindow();
            case JobWindow::Revoke:
                return MU_RevokeCert();
            case JobWindow::CertRequest:
                return MU_certRequestWindow();
            case JobWindow::CertAndKeyStore:
                return MU_certAndKeyStoreAfterCertRequestWindow();
            case JobWindow::Manager:
                return MU_ManageCert();
            default:
                return -1;
        }
    }
    int OpenWindowWith(JobWindow window, const std::string& data, int number) override {
        switch (window) {
            case JobWindow::Sign:
                return MU_SignWindow(data.c_str());
            case JobWindow::TextSign:
                return MU_TextSignWindow(data.c_str());
            case JobWindow::ListSign:
                return MU_ListSignWindow(data.c_str());
            case JobWindow::RoamingImport:
                return MU_RoamingCertImport(number);
            default:
                (void)number;
                return OpenWindow(window);
        }
    }
    void SetScreenKeyboardProviderOption(int option, const char* provider, const char* providerOption) override {
        MU_SetScreenKeyboardProviderOption(option, provider, providerOption);
    }
    void QuitLoop() override {
        if (gtk_main_level() > 0) gtk_main_quit();
    }
    void CloseJobWindow() override { Start_CloseMainWidgetThread(0); }
    void ClearCertLists() override { MU_clearCertLists(); }
    int AddCertLists(const CertLists& row, int listNo) override {
        return GetQuilletUI()->m_quilletDatas.AddCertLists(
            row.subject.c_str(), row.issuer.c_str(), row.oidtype.c_str(), row.expiredata.c_str(), row.certpath.c_str(),
            row.keypath.c_str(), row.expireflag.c_str(), row.certtype.c_str(), listNo);
    }
    void GetSelectedCertValue(SelectedCertValues& out) override { MU_Get_selectedCertValue(&out); }
    void ReleaseUi() override {
        RunPendingClose();
        ClearQuilletUI();
    }
    void ShowRoamingNumber(const std::string& number, int digits) override { RoamingExportNumber(number, digits); }
};

}  // namespace

IJobUi& DefaultJobUi() {
    static CJobUiGtk ui;
    return ui;
}

int JobUi_GtkInit(int* argc, char*** argv) { return gtk_init_check(argc, argv) ? -1 : 0; }
