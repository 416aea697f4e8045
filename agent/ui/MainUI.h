// The user interface of one job: the UI object with its data (certificate
// rows, the chosen certificate, screen-keyboard setting), its message table,
// the widget records the windows and their handlers share, the closing of a
// job's window, and the small GTK utilities every window uses. Everything
// runs on the job (GTK) thread.
#pragma once

#include <gtk/gtk.h>

#include <map>
#include <string>
#include <vector>

#include "job/IJobUi.h"
#include "ui/VirtualKeypad.h"

// Exported, unmangled: the builder file binds handlers by these names and
// the job driver calls the MU_ functions by them.
#define QUILLET_UI_EXPORT extern "C" __attribute__((visibility("default")))

// ---- Data --------------------------------------------------------------------------

// The widgets of a small dialog while it runs, which the virtual keypad
// fills: entries and their keypad check buttons, the entry it serves, and
// the count of characters spread over the entries in pieces of 4 (0 for a
// password).
struct DialogWidget {
    GtkWidget* parent;
    GtkWidget* keypadWindow;
    int activeIndex;
    GtkWidget* checkButtons[4];
    GtkWidget* entries[4];
    int splitCount;
};

// The widgets of the open window, handed to every handler of it. The slot
// order is shared by the windows and their handlers.
struct MUIWidget {
    GtkWidget* MUI_window;
    GtkListStore* MUI_liststore;  // the certificate rows
    GtkWidget* MUI_radio[4];      // hard disk, removable disk, security token, storage token
    GtkWidget* MUI_treeview;      // the certificate list
    GtkWidget* MUI_entry_password;
    GtkWidget* MUI_widgets[12];  // the windows' own
    int MUI_int;
    GtkWidget* MUI_VKeyCheckbutton;
    GtkWidget* MUI_last;
};

class CQuilletUIDatas {
public:
    CQuilletUIDatas() = default;
    ~CQuilletUIDatas();
    CQuilletUIDatas(const CQuilletUIDatas&) = delete;
    CQuilletUIDatas& operator=(const CQuilletUIDatas&) = delete;

    // Numbers the row (0 in an empty list, else the last id plus 1) and
    // appends it: list 1 for listNo 1, list 0 for any other. The id.
    int AddCertLists(CertLists row, int listNo);
    // The same from the store's texts; in English issuer and oidtype that
    // equal a row of the name tables (whole bytes) show its English name.
    int AddCertLists(const char* subject, const char* issuer, const char* oidtype, const char* expiredata,
                     const char* certpath, const char* keypath, const char* expireflag, const char* certtype,
                     int listNo);
    // 0 empties list 0, 1 list 1; other values nothing.
    void ClearCertLists(int listNo);
    // The selected row of view (column 0, its id, found in list 0) becomes
    // the chosen certificate, the record cleared first: 0. -1 without a
    // selection, for an id not in list 0, or for a row whose path does not
    // fit its field; the record then stays as it was. Texts shown only are
    // cut to their fields.
    int SetSelectedCertValues(GtkTreeView* view);

    std::vector<CertLists> m_certLists;        // list 0: the rows on show
    std::vector<CertLists> m_rootCACertLists;  // list 1: root CA certificates
    SelectedCertValues m_selectedCertValues{};
    int m_screenKeyboardOption = 0;  // bit 1: the entry takes typing; bit 0: the keypad button shows
    char m_screenKeyboardProviderOption[1024] = {};
    char m_screenKeyboardProvider[100] = {};
    DialogWidget m_dialogWidget{};
};

// Kinds of SetCtrlText.
enum CQRH_CTRLTYPE {
    CQRH_WINDOW_TITLE = 0,
    CQRH_LABEL = 1,
    CQRH_TREEVIEW_COLUMN = 2,
    CQRH_BUTTON = 3,
};

// The message table of one edition and the builder of the open window.
class CQuilletResourceHelper {
public:
    // Fills the table with the Korean texts for "KOR" and the empty text,
    // the English ones for any other; the same language again changes
    // nothing. Sets g_swLanguage_Eng.
    void SetResource(std::string language);
    // The text of key; a key not in the table is added with "" (valid until
    // the table is refilled).
    const char* GetResourceData(std::string key);
    // Sets the text of key on the widget of id in the stored builder; a
    // missing widget is skipped.
    void SetCtrlText(std::string widgetId, CQRH_CTRLTYPE kind, std::string key);
    void SetBuilder(GtkBuilder* builder) { m_builder = builder; }
    GtkBuilder* GetBuilder() const { return m_builder; }
    const std::string& Language() const { return m_language; }
    size_t Size() const { return m_table.size(); }

private:
    std::map<std::string, std::string> m_table;
    std::string m_language;
    GtkBuilder* m_builder = nullptr;  // not owned
};

// The message table: one row per key with its Korean and English text.
struct MessageRow {
    const char* key;
    const char* korean;
    const char* english;
};
const MessageRow* MessageTable(size_t& count);

class CQuilletUI {
public:
    CQuilletUI();
    ~CQuilletUI();
    CQuilletUI(const CQuilletUI&) = delete;
    CQuilletUI& operator=(const CQuilletUI&) = delete;

    // Hides and destroys the open window.
    void CloseWidget();

    // A modal box without parent: text as it stands, title, one OK button.
    static void MessageBox(const char* text, const char* title, GtkMessageType type);
    // The same with OK and Cancel: 1 for OK, 0 otherwise.
    static int MessageBoxOKCancel(const char* text, const char* title, GtkMessageType type);

    // Refills store from list 0: id, subject, issuer, policy type (these
    // three in UTF-8), expiry date, status icon.
    int UpdateListStoreForCertList(GtkListStore* store);
    // Selects row n (n < 0 clears the selection): 0, or -1 when the model
    // has rows but fewer than n + 1.
    int SelectTreeViewRow(GtkTreeView* view, int n);
    // Puts the typed password into the chosen certificate's record: 0, or
    // -1 with a warning box when it is longer than 255 bytes (never cut).
    int SetSelectedCertPassword(const char* password);
    // Opens the keypad window for the dialog widget record (KeypadWindow.cpp):
    // 0; -2 without a page URL that may be opened; -3 without an adapter for
    // the provider; -4 when the builder file lacks the window.
    int VirtualKeypad(void* record);
    // Destroys the keypad window, if any, and releases its adapter.
    void CloseVirtualKeypad();

    // The certificate selection windows: each runs until the job's window
    // is closed and returns 0 (the object is gone by then). Login also
    // renews (g_swForCertUpdate) and exports for roaming (g_swForCertExport);
    // the sign windows show the data they sign, read-only.
    int Login();
    // The issue, store-after-request and revoke windows and the PKCS#10
    // request dialog: each returns when its job has ended (RevokeCert -1
    // when it ended without a window: no single certificate matched).
    int Issue();
    int CertAndKeyStoreAfterCertRequestWindow();
    int RevokeCert();
    int CertRequestWindow();
    // The renewal's new password: "new", or "error" with "errormsg",
    // "cancel" or "retry" set to "yes".
    std::map<std::string, std::string> GetForUpdateCertInputPassword();
    int Sign(std::string text);
    int TextSign(std::string text);
    int ListSign(std::string signData);
    // The list-sign rows: name and value of every piece between "&" (the
    // value after the first "="). 0.
    int UpdateListStoreForSignData(GtkListStore* store, std::string signData);

    // Modal choice of one item: 1 with choice set, 0 for OK without a row,
    // -1 cancelled or closed (choice unchanged). Empty texts keep the
    // builder file's.
    int GetForListStoreOne(std::string& choice, std::vector<std::string> items, std::string title,
                           std::string description);
    // Modal input of one text (a password, the keypad available): 1 with
    // text set, 0 for OK on an empty entry, -1 cancelled or closed (text
    // unchanged).
    int GetForInputDataOne(std::string& text, std::string title, std::string description, std::string label);
    // The password rules of the password-policy module.
    void PasswordGuideDialog();

    CQuilletUIDatas m_quilletDatas;
    CQuilletResourceHelper m_resourceHelper;
    std::string m_windowMode = "NONE";
    char targetUSBVolume[1024] = {};
    char currentUSBVolume[1024] = {};
    CWebDlgVirtualKeypad m_keypadCreator;
    MUIWidget m_muiWidget{};
};

// ---- The object and the closing of a job's window ----------------------------

// The job's UI object, made on first use; never NULL.
CQuilletUI* GetQuilletUI();
// 1 when no UI object exists.
int IsQuilletDeleted();
// Deletes the UI object, if any.
void ClearQuilletUI();
// Ends the job's window: takes the object out (further closings return 1),
// destroys its window, then deletes it and ends the job (Quillet_exit with
// 1) from an idle callback of the running main loop, or at once when no
// loop runs. 0, or 1 when there is no object.
int Start_CloseMainWidgetThread(int);
// The deferred step; runs once per closing.
gboolean CloseWidjetThreadCBFnc(gpointer ui);
// Runs a closing step still pending (its loop was quit first): a closing
// never outlives its job.
void RunPendingClose();
// Shows a job's window and runs its main loop until the job's window is
// closed, with the running flag at CONST_APP_RUN_VALUE; a pending closing is
// run before it returns. The UI object may be gone then.
int RunJobWindowLoop(GtkWidget* window);

// Texts of the job's edition without a UI object (after the closing): the
// job's language, never a stray object for the next job.
const char* JobEditionText(const char* key);

// ---- Builder file and pictures -------------------------------------------------

// "<install>/PennaUI.glade" and "<install>/Resources/".
std::string QuilletBuilderFile();
std::string QuilletResourcePath(const char* name);
// A new builder holding the objects of one window or dialog of the builder
// file (its toplevel and the stores and buffers it shows), or NULL when the
// file does not load (logged).
GtkBuilder* LoadWindowBuilder(const char* toplevelId);
// The objects LoadWindowBuilder loads for toplevelId (toplevelId alone for
// one not listed).
std::vector<std::string> WindowObjectIds(const char* toplevelId);

// The window icon, or NULL (logged).
GdkPixbuf* create_pixbuf(const char* path);
// path scaled into maxWidth x maxHeight (ratio kept, integer arithmetic);
// a picture that does not load shows the downloaded title logo unscaled.
void image_set_from_file_change_size(GtkImage* image, const char* path, int maxWidth, int maxHeight);

// A text as a window shows it: valid UTF-8 as it is (the relay's texts),
// anything else read as the store's Korean encoding.
std::string ShowableText(const std::string& text);

// The screen-keyboard option on a password entry and its keypad button
// (may be NULL): bit 1 makes the entry editable, bit 0 shows the button. 0.
int SetWidgetSensitiveAndVisible(int option, GtkWidget* entry, GtkWidget* keypadButton);

// ---- Password-policy module -----------------------------------------------------

// The opened module: its handle and three functions; the reason of the last
// failed load.
class zunccWrapperModule {
public:
    zunccWrapperModule() = default;
    ~zunccWrapperModule();
    zunccWrapperModule(const zunccWrapperModule&) = delete;
    zunccWrapperModule& operator=(const zunccWrapperModule&) = delete;
    // 1 with the module open and its three functions found; 0 otherwise
    // (error text set; a module lacking a function stays open).
    int load(const char* path);
    // zunccAllClean, then the module is closed; nothing without both.
    void clean();

    void* m_handle = nullptr;
    std::string m_error;
    void* m_factory = nullptr;
    void* m_clean = nullptr;
    void* m_allClean = nullptr;
};

// Loads the module and makes a manager for mode ("issue", "chgpwd") and
// target (the CA name, or the certificate's PEM): 0, or -1 with nothing
// loaded.
int LoadPasswordManager(const char* mode, const char* target);
// 0 acceptable; -2 refused (the reason kept); -1 no manager: without the
// module no new password is accepted.
int CheckPasswordByPolicy(const char* password);
// Releases the manager and the module, and empties the texts. 0.
int ReleasePasswordManager();
// The module's last message in UTF-8.
std::string GetPasswordPolicyMessage();
// The resource key of the note on the new password's rules that the
// relay's policy asks for.
const char* PasswordRulesNoteKey();
// The change-password dialogs' description: what to type, then that note.
std::string ChangePasswordDescription(CQuilletResourceHelper& texts);
// The module's texts as it gave them (EUC-KR); "" for none.
const std::string& PasswordPolicyMessageRaw();
const std::string& PasswordPolicyGuideRaw();
// The module's path and its core-library property, in the install directory.
std::string PasswordModulePath();

// UI state of a job reset at its start: the chosen medium and path of the
// issue windows, the job's filter, the window parameters, the password
// module.
extern std::string tmpCertPath;
extern int tmpselectedStoreType;

// ---- Utilities ---------------------------------------------------------------------

class CQuilletUtils {
public:
    // From the store's Korean encoding (CP949, a superset of EUC-KR) to
    // UTF-8; the input unchanged when it does not convert.
    static std::string ConvertEUCKRtoUTF8(std::string text);
    // Pieces between delimiters; a delimiter at the very end gives no empty
    // last piece, an empty text no piece.
    static std::vector<std::string> StringToken(std::string text, char delimiter);
    // 1 when the text holds a letter.
    static int IsAllConsistOfAlphabets(std::string text);
    // The index of the first active button, -1 for none.
    static int GetIndexSeletedRadioButtons(const std::vector<GtkRadioButton*>& buttons);
    // Appends the removable volumes the desktop mounted (the store's drive
    // rule): 0 when at least one was appended, -1 otherwise.
    static int GetUSBMountDir(std::vector<std::string>& dirs);
};

// ---- Entry functions of the job driver -----------------------------------------

QUILLET_UI_EXPORT void MU_LanguageSet(const char* language);
QUILLET_UI_EXPORT int MU_SetScreenKeyboardProviderOption(int option, const char* provider, const char* providerOption);
QUILLET_UI_EXPORT int MU_addCertLists(char* subject, char* issuer, char* oidtype, char* expiredata, char* certpath,
                                      char* keypath, char* expireflag, char* certtype, int listNo);
QUILLET_UI_EXPORT void MU_clearCertLists(void);
QUILLET_UI_EXPORT void MU_Get_selectedCertValue(SelectedCertValues* out);
QUILLET_UI_EXPORT void MU_MessageBox(const char* text, int type);
QUILLET_UI_EXPORT int MU_MessageBoxOKCancel(const char* text, int type);
QUILLET_UI_EXPORT int MU_LoginWindow(void);
QUILLET_UI_EXPORT int MU_SignWindow(const char* text);
QUILLET_UI_EXPORT int MU_TextSignWindow(const char* text);
QUILLET_UI_EXPORT int MU_ListSignWindow(const char* signData);
QUILLET_UI_EXPORT int MainUI_GVar_Initialize(void);

// ---- Handlers bound by the builder file ------------------------------------------

// Cancel of a selection window: as its destruction.
QUILLET_UI_EXPORT int enterCert_btn_cancel_clicked(GtkWidget* widget, gpointer data);
// The selection window goes: the job's cancel, unless the job has ended.
QUILLET_UI_EXPORT int on_ECW_enterCert_destroy(GtkWidget* widget, gpointer data);
// Posts the cancel (ret "3") and ends the job's window.
QUILLET_UI_EXPORT int buttonCancle_clicked(GtkWidget* widget, const char* label);
// The password guide buttons of the issue window, the renewal and the
// password-change dialogs.
QUILLET_UI_EXPORT void on_NPW_btn_PasswordSettingGuide_clicked(GtkWidget* button, gpointer data);
QUILLET_UI_EXPORT void on_CUD_PasswordGuideBtn_clicked(GtkWidget* button, gpointer data);
QUILLET_UI_EXPORT void on_CPD_PasswordGuideBtn_clicked(GtkWidget* button, gpointer data);
// The Enter key of a selection window's password entry: the
// certificate-entry actions bring it; the windows use it when the program
// has it.
QUILLET_UI_EXPORT gboolean enterCert_Password_Entry_button_pressed(GtkWidget* widget, GdkEventKey* event, gpointer data)
    __attribute__((weak));

// ---- Virtual keypad (KeypadWindow.cpp) -------------------------------------------

// The keypad window for a dialog widget record (CQuilletUI::VirtualKeypad).
QUILLET_UI_EXPORT int MU_VirtualKeypadWindow(void* record);
// Switches the keypad of the record's active entry on (entry emptied and
// read-only, keypad opened) or off (entry emptied and editable).
void ToggleVirtualKeypad(DialogWidget* record);
// Keypad buttons: of a main window (user data: its MUIWidget; entry 0, or
// entry 1 for ...clicked1), of a dialog (user data: the dialog widget record;
// entry 0, 1 or 2), of the roaming import window.
QUILLET_UI_EXPORT void on_VirtualKeypad_Open_Btn_clicked(GtkWidget* button, gpointer data);
QUILLET_UI_EXPORT void on_VirtualKeypad_Open_Btn_clicked1(GtkWidget* button, gpointer data);
QUILLET_UI_EXPORT void on_VirtualKeypad_Open_DlgBtn_clicked(GtkWidget* button, gpointer data);
QUILLET_UI_EXPORT void on_VirtualKeypad_Open_DlgBtn_clicked1(GtkWidget* button, gpointer data);
QUILLET_UI_EXPORT void on_VirtualKeypad_Open_DlgBtn_clicked2(GtkWidget* button, gpointer data);
QUILLET_UI_EXPORT void on_RIW_VirtualKeypad_Open_Btn_clicked(GtkWidget* button, gpointer data);
