// The window launchers: what a job's window needs from the policy (its
// parameters, the mode switches of the shared selection window, the title
// logo and alert banner, the screen-keyboard option), then the window,
// opened through the job's UI. Everything runs on the job (main) thread;
// each launcher returns when its window has closed.
#pragma once

#include <string>

#include "job/Job.h"

// The parameters of a window: its title (at most 99 bytes), the title logo
// address of the policy (at most 1023 bytes) and the filter of its list.
struct WindowParameter {
    std::string title;
    std::string titleLogoPath;
    CertFilter s_filter_info;
};
inline constexpr size_t kWindowTitleMax = 99;
inline constexpr size_t kWindowLogoPathMax = 1023;

extern WindowParameter SignParameter, UpdateParameter, RevokeParameter;

// Mode switches (0 or 1) for one job: a sign job; the selection window
// renews; it exports for roaming (and in version 1.1); the sign window shows
// the alert banner; the windows show the downloaded title logo.
extern int g_swForCertSign, g_swForCertUpdate, g_swForCertExport, g_swForCertExport_V11, g_swShowSignAlertBanner,
    g_swForTitleLogoPath;
// The alert banner to show (downloaded and checked, or the built-in one).
extern std::string g_DownloadAlertBannerPath;

// The job-start reset of the switches, parameters and image paths.
void launchWindowFunc_GVar_Initialize();

int launch_LoginWindow();
int launch_SignWindow();
int launch_ManagerWindow();
int launch_IssueWindow();
int launch_certRequestWindow();
int launch_certAndKeyStoreAfterCertRequestWindow();
int launch_VersionWindow();
int launch_Roaming_CertImport_Window();
int launch_Roaming_CertExport_Window();
int launch_UpdateWindow();
int launch_RevokeWindow();

// Downloads the policy's title logo (the address with "_TRUSTQLT" before its
// extension) and shows it only when its signature checks: 0 shown, -1 the
// default logo stays.
int Download_TitleLogoPC();
// The text after the last "/" (the whole text without one).
std::string FindFileName_From_URL(const std::string& url);
// The last "." of name, or null.
const char* FindFileExtension_From_URL(const char* name);

// The 2-bit keypad option of a ScreenKeyboardCheckMode text: bit 1 lets the
// user type into the password entry, bit 0 shows the keypad button.
int ScreenKeyboardOptionFromMode(const std::string& mode);
// Hands the policy's screen-keyboard setting to the UI.
void SetScreenKeyboardOption();

// A signed picture: the image bytes, then an RSA PKCS#1 v1.5 signature
// (256 bytes) over their SHA-1, checked with the certificate of the
// installation's Resources/image_verify_cert.pem. 0 verified; 1052030 no
// path, an unreadable file or one too short to hold an image and a
// signature; 1052005 a signature that does not give exactly this digest;
// the core's code when hashing or the key operation fails.
int Verify_downloadedTitleLogo(const char* imagePath);
inline constexpr int kLogoSignatureLength = 256;
