// The window launchers, the title logo and alert banner, and the
// screen-keyboard option of a job's window.
#include <unistd.h>

#include <cstring>

#include "common/DMLinuxUtil.h"
#include "job/Job.h"
#include "job/Launchers.h"

WindowParameter SignParameter, UpdateParameter, RevokeParameter;
int g_swForCertSign = 0, g_swForCertUpdate = 0, g_swForCertExport = 0, g_swForCertExport_V11 = 0,
    g_swShowSignAlertBanner = 0, g_swForTitleLogoPath = 0;
std::string g_DownloadAlertBannerPath;

namespace {

const char kDefaultAlertBanner[] = "img_alert_banner_quillet_ex_win.gif";

// Cuts a title without splitting a character: of UTF-8 when the text is
// UTF-8, of EUC-KR otherwise.
std::string cutText(std::string text, size_t max) {
    if (text.size() <= max) return text;
    bool utf8 = true;
    for (size_t i = 0; i < text.size() && utf8;) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > text.size()) utf8 = false;
        for (size_t k = 1; utf8 && k < n; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) utf8 = false;
        i += n ? n : 1;
    }
    if (!utf8) {
        CutText(text, max);
        return text;
    }
    size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return text;
}

// The local file name of a picture by its name's extension, searched in
// this order (a name holding ".gif" and ".png" is a gif); empty for none.
std::string pictureFileName(const char* base, const std::string& name) {
    auto has = [&](const char* s) { return name.find(s) != std::string::npos; };
    if (has(".GIF") || has(".gif")) return std::string(base) + ".gif";
    if (has(".PNG") || has(".png")) return std::string(base) + ".png";
    if (has(".JPG") || has(".jpg")) return std::string(base) + ".jpg";
    return "";
}

void logPolicy(const char* what, const std::string& value) {
    WriteLogFile((std::string("[NOT] launch_SignWindow() strPolicyList->") + what + " =").c_str(), value.c_str());
}

// The alert banner of a sign window: only for "YES" or "yes" and a picture
// whose signature checks; otherwise the built-in banner when one was asked
// for.
void prepareAlertBanner() {
    const StructPolicyList& p = *strPolicyList;
    g_swShowSignAlertBanner = 0;
    if (p.ShowAlertBanner != "YES" && p.ShowAlertBanner != "yes") return;
    const std::string local = pictureFileName("DownloadAlertImage", p.AlertBannerURL);
    if (local.empty()) return;
    g_swShowSignAlertBanner = 1;
    const std::string builtIn = std::string(DMLinuxUtil_GetInstallDir()) + "/Resources/" + kDefaultAlertBanner;
    std::string path;
    if (Downlaod_ImageURL(p.AlertBannerURL.c_str(), local.c_str(), path) != 0) {
        WriteLogFile("[WAR]", "launch_signWindow, alertbanner download FAILED. Default VERIDAN alertbanner changed.");
        g_DownloadAlertBannerPath = builtIn;
        return;
    }
    if (Verify_downloadedTitleLogo(path.c_str()) != 0) {
        WriteLogFile("[WAR]", "launch_signWindow, Verify_downloadedTitleLogo() FAILED. Default VERIDAN Logo changed.");
        g_DownloadAlertBannerPath = builtIn;
        return;
    }
    g_DownloadAlertBannerPath = path;
}

int openWindow(JobWindow window) {
    if (JobUi().OpenWindow(window) != 0) WriteLogFile("[ERR]", "the window did not open.");
    return 0;
}

}  // namespace

void launchWindowFunc_GVar_Initialize() {
    SignParameter = UpdateParameter = RevokeParameter = WindowParameter{};
    g_swForCertSign = g_swForCertUpdate = g_swForCertExport = g_swForCertExport_V11 = 0;
    g_swShowSignAlertBanner = g_swForTitleLogoPath = 0;
    g_DownloadAlertBannerPath.clear();
}

// ---- Pictures --------------------------------------------------------------------------

std::string FindFileName_From_URL(const std::string& url) {
    const size_t slash = url.rfind('/');
    return slash == std::string::npos ? url : url.substr(slash + 1);
}

const char* FindFileExtension_From_URL(const char* name) { return name ? std::strrchr(name, '.') : nullptr; }

int Download_TitleLogoPC() {
    if (!strPolicyList) return -1;
    std::string address = strPolicyList->TitleLogoPathPC.substr(0, kWindowLogoPathMax);
    const std::string name = FindFileName_From_URL(address);
    if (name.empty()) {
        WriteLogFile("[ERR]", "Downlaod_ImageURL(). Not found IMAGE file name.");
        return -1;
    }
    const std::string local = pictureFileName("DownloadTitleLogoImage", name);
    if (local.empty()) {
        WriteLogFile("[ERR]", "Downlaod_ImageURL(). Unsupported IMAGE file name.");
        return -1;
    }
    // The relay keeps the signed logo beside the plain one, "_TRUSTQLT"
    // before its extension (the name holds a dot: its extension matched).
    if (name.find("_TRUSTQLT") == std::string::npos) {
        const size_t dot = address.rfind('.');
        address = address.substr(0, dot) + "_TRUSTQLT" + address.substr(dot);
    }
    WriteLogFile("[NOT] Title Logo download url ", address.c_str());
    std::string path;
    if (Downlaod_ImageURL(address.c_str(), local.c_str(), path) != 0) {
        WriteLogFile("[WAR]", "launch_LoginWindow, Download_TitleLogoPath() FAILED. Default VERIDAN Logo changed.");
        return -1;
    }
    WriteLogFile("[NOT]", "launch_LoginWindow, Download_TitleLogoPath() OK.");
    if (Verify_downloadedTitleLogo(path.c_str()) != 0) {
        WriteLogFile("[WAR]", "launch_LoginWindow, Verify_downloadedTitleLogo() FAILED. Default VERIDAN Logo changed.");
        return -1;
    }
    g_downloadedTitleLogoPath = path;
    g_swForTitleLogoPath = 1;
    return 0;
}

// ---- Screen keyboard -------------------------------------------------------------------

int ScreenKeyboardOptionFromMode(const std::string& mode) {
    if (mode.empty()) return 2;
    // Eight characters: the seventh allows typing, the eighth the keypad.
    if (mode.size() == 8) {
        const bool typing = mode[6] != '0', keypad = mode[7] != '0';
        if (typing) return keypad ? 3 : 2;
        if (keypad) return 1;
    }
    switch (mode[0]) {
        case '1':
            return 3;
        case '2':
            return 1;
        default:
            return 2;
    }
}

void SetScreenKeyboardOption() {
    if (!strPolicyList) return;
    const StructPolicyList& p = *strPolicyList;
    const int option = ScreenKeyboardOptionFromMode(p.ScreenKeyboardCheckMode);
    WriteLogFileWithInt("[NOT] SetScreenKeyboardOption(), option =", option);
    JobUi().SetScreenKeyboardProviderOption(option, p.ScreenKeyboardProvider.c_str(),
                                            p.ScreenKeyboardProviderOption.c_str());
}

// ---- Launchers --------------------------------------------------------------------------

int launch_LoginWindow() {
    if (strPolicyList)
        WriteLogFile("[NOT] launch_LoginWindow(), TitleLogoPathPC =", strPolicyList->TitleLogoPathPC.c_str());
    Download_TitleLogoPC();
    SetScreenKeyboardOption();
    return openWindow(JobWindow::Login);
}

int launch_SignWindow() {
    if (!strPolicyList) return 0;
    const StructPolicyList& p = *strPolicyList;
    logPolicy("SignatureMode", p.SignatureMode);
    logPolicy("SelectCertUIMode", p.SelectCertUIMode);
    logPolicy("CertIssuerDN", p.CertIssuerDN);
    logPolicy("CertSerialNumber", p.CertSerialNumber);
    g_swForCertSign = 1;

    SignParameter = WindowParameter{};
    SignParameter.title = cutText(p.SignatureAlertTitle, kWindowTitleMax);
    SignParameter.titleLogoPath = p.TitleLogoPathPC.substr(0, kWindowLogoPathMax);
    if (!p.CertSerialNumber.empty() && !p.CertIssuerDN.empty()) {
        MakeFilterInfo(SignParameter.s_filter_info);
    } else {
        WriteLogFile("[ERR]",
                     "launch_SignWindow(), strlen(ptrStructPolicyList->CertSerialNumber) == 0  || "
                     "strlen(ptrStructPolicyList->CertIssuerDN) == 0");
    }
    WriteLogFile("[NOT] launch_SignWindow(), SignParameter.s_filter_info =", SignParameter.s_filter_info.text.c_str());

    prepareAlertBanner();
    SetScreenKeyboardOption();

    // The multi-sign data shows its header: what the user is asked to sign.
    std::string data = g_signParams.data;
    if (strURLValues && strURLValues->policyName == "MDSignPolicy") {
        PDFMultiSignData parsed;
        ParseSignData_PDFMultiSign(g_signParams.data.c_str(), &parsed, 1);
        if (!parsed.hd.empty()) data = parsed.hd;
    }
    JobWindow window = JobWindow::TextSign;
    if (p.SelectCertUIMode == "1") {
        window = JobWindow::ListSign;
    } else if (p.SelectCertUIMode == "0") {
        Download_TitleLogoPC();
        window = JobWindow::Sign;
    }
    if (JobUi().OpenWindowWith(window, data, 0) != 0) WriteLogFile("[ERR]", "the window did not open.");
    explicit_bzero(data.data(), data.size());
    return 0;
}

int launch_ManagerWindow() {
    SetScreenKeyboardOption();
    return openWindow(JobWindow::Manager);
}

int launch_IssueWindow() {
    SetScreenKeyboardOption();
    return openWindow(JobWindow::Issue);
}

int launch_certRequestWindow() {
    SetScreenKeyboardOption();
    return openWindow(JobWindow::CertRequest);
}

int launch_certAndKeyStoreAfterCertRequestWindow() {
    SetScreenKeyboardOption();
    return openWindow(JobWindow::CertAndKeyStore);
}

int launch_VersionWindow() { return 0; }

int launch_Roaming_CertImport_Window() {
    WriteLogFile("[NOT]", "launch_Roaming_CertImport_Window() start");
    int number = 0;
    if (strPolicyList && !DecimalInt(strPolicyList->AuthenticationNumber, number)) number = 0;
    SetScreenKeyboardOption();
    if (JobUi().OpenWindowWith(JobWindow::RoamingImport, "", number) != 0)
        WriteLogFile("[ERR]", "the window did not open.");
    return 0;
}

int launch_Roaming_CertExport_Window() {
    WriteLogFile("[NOT]", "launch_Roaming_CertExport_Window() start");
    g_swForCertExport = 1;
    Download_TitleLogoPC();
    SetScreenKeyboardOption();
    return openWindow(JobWindow::RoamingExport);
}

int launch_UpdateWindow() {
    g_swForCertUpdate = 1;
    UpdateParameter = WindowParameter{};
    if (strPolicyList) UpdateParameter.titleLogoPath = strPolicyList->TitleLogoPathPC.substr(0, kWindowLogoPathMax);
    MakeFilterInfo(UpdateParameter.s_filter_info);
    Download_TitleLogoPC();
    WriteLogFile("[NOT] launch_UpdateWindow(), UpdateParameter.s_filter_info =",
                 UpdateParameter.s_filter_info.text.c_str());
    SetScreenKeyboardOption();
    return openWindow(JobWindow::Update);
}

int launch_RevokeWindow() {
    RevokeParameter = WindowParameter{};
    if (strPolicyList) RevokeParameter.titleLogoPath = strPolicyList->TitleLogoPathPC.substr(0, kWindowLogoPathMax);
    MakeFilterInfo(RevokeParameter.s_filter_info);
    WriteLogFile("[NOT] launch_RevokeWindow(), RevokeParameter.s_filter_info =",
                 RevokeParameter.s_filter_info.text.c_str());
    SetScreenKeyboardOption();
    return openWindow(JobWindow::Revoke);
}
