// What the job side needs of the user interface. agent/ui implements it with
// GTK; tests give a scripted one that plays the user. Everything runs on the
// job (main) thread.
#pragma once

#include <string>
#include <vector>

// One certificate row of the selection windows.
struct CertLists {
    std::string id, subject, issuer, oidtype, expiredata, certpath, keypath, expireflag, certtype;
};

// The certificate the user chose, with its medium and password.
struct SelectedCertValues {
    int storageType = 0;
    std::string volume;  // removable drive
    std::string certPath;
    std::string password;
};

// The windows a launcher opens.
enum class JobWindow {
    Login,
    Sign,
    Manager,
    Issue,
    Update,
    Revoke,
    CertRequest,
    CertAndKeyStore,
    RoamingExport,
    RoamingImport,
};

// Box types: 0 information, 1 warning, 3 the job's information box.
class IJobUi {
public:
    virtual ~IJobUi() = default;

    // A modal box; returns when the user has closed it.
    virtual void MessageBox(const char* text, int type) = 0;
    // OK / Cancel: 1 for OK, 0 otherwise.
    virtual int MessageBoxOKCancel(const char* text, int type) = 0;
    // The policy's CertUILanguage: "KOR" or empty keeps Korean, anything
    // else English.
    virtual void LanguageSet(const char* language) = 0;

    // Opens a window and runs its loop until the window has closed (its OK
    // or cancel handler ends the job); 0, or -1 when it could not open.
    virtual int OpenWindow(JobWindow window) = 0;
    // Leaves the running window loop (the job is closing); nothing without
    // one.
    virtual void QuitLoop() = 0;
    // Ends the job's window through the deferred closing step, which records
    // the job's success.
    virtual void CloseJobWindow() = 0;

    // The rows the windows list, and the user's choice.
    virtual void ClearCertLists() = 0;
    virtual int AddCertLists(const CertLists& row, int listNo) = 0;
    virtual const SelectedCertValues* SelectedCert() = 0;
};
