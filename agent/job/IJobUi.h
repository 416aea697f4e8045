// What the job side needs of the user interface. agent/ui implements it with
// GTK; tests give a scripted one that plays the user. Everything runs on the
// job (main) thread.
#pragma once

#include <cstring>

#include <string>
#include <vector>

// One certificate row of the selection windows: id is the row's number in
// its list (decimal); texts as the store gives them (EUC-KR), issuer and
// oidtype possibly replaced by their English names.
struct CertLists {
    std::string id, subject, issuer, oidtype, expiredata, certpath, keypath, expireflag, certtype;
};

// The certificate the user chose, how to reach it, and its password. Texts
// are zero-terminated; a text that does not fit its field is never cut into
// it. Copies hold the password: wipe them (SelectedCertCopy).
struct SelectedCertValues {
    char subject[512];
    char issuer[512];
    char oidtype[512];
    char expiredata[512];
    char certpath[1024];
    char keypath[1024];
    int expireflag;  // 0 valid, 1 expired, 2 expiring soon
    int certtype;
    int selectedStoreType;
    char selectedUSBVolume[1024];
    char password[256];
};

// A copy of the chosen certificate that is wiped when it goes.
struct SelectedCertCopy {
    SelectedCertValues values{};
    SelectedCertCopy() = default;
    SelectedCertCopy(const SelectedCertCopy&) = delete;
    SelectedCertCopy& operator=(const SelectedCertCopy&) = delete;
    ~SelectedCertCopy() { explicit_bzero(&values, sizeof values); }
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
    TextSign,
    ListSign,
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
    // The same for a window that takes data: the text a sign window signs
    // (Sign, TextSign, ListSign) or the number of a roaming import.
    virtual int OpenWindowWith(JobWindow window, const std::string& data, int number) {
        (void)data;
        (void)number;
        return OpenWindow(window);
    }
    // The policy's screen-keyboard setting: option bit 1 lets the user type
    // into a password entry, bit 0 shows its keypad button.
    virtual void SetScreenKeyboardProviderOption(int option, const char* provider, const char* providerOption) {
        (void)option;
        (void)provider;
        (void)providerOption;
    }
    // Leaves the running window loop (the job is closing); nothing without
    // one.
    virtual void QuitLoop() = 0;
    // Ends the job's window through the deferred closing step, which records
    // the job's success.
    virtual void CloseJobWindow() = 0;

    // The rows the windows list: list 0 is shown, list 1 holds the root CA
    // certificates. AddCertLists numbers the row and returns its id.
    virtual void ClearCertLists() = 0;
    virtual int AddCertLists(const CertLists& row, int listNo) = 0;
    // A copy of the user's choice (the caller wipes it).
    virtual void GetSelectedCertValue(SelectedCertValues& out) = 0;
    // The job has ended: nothing of its UI may reach the next one.
    virtual void ReleaseUi() = 0;
    // Shows a roaming export's number for the user to type into the phone;
    // returns when the user has closed it.
    virtual void ShowRoamingNumber(const std::string& number, int digits) {
        (void)number;
        (void)digits;
    }
};
