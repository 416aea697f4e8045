// The job's start and end steps, the store library's start with the session
// "VERIDAN", the device texts and system facts, and the policy getters.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>

#include <zephaltpavix/zephaltpavix.h>
#include <zunPKI/pkcs/pkcs12.h>

#include "common/DMLinuxUtil.h"
#include "job/DeviceInfo.h"
#include "job/Job.h"
#include "job/ParsingFunc.h"

namespace {

#include "job/VeridanCert.inc"

std::unique_ptr<StructPolicyList> g_policy;

// The user's NPKI folders hold keys: only the user may enter them.
constexpr mode_t kNpkiMode = 0700;

void makeDirIfMissing(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return;
    if (::mkdir(path.c_str(), kNpkiMode) != 0 && errno != EEXIST)
        JOBLOG("[WAR] App_Init, mkdir(%s) failed: %s\n", path.c_str(), std::strerror(errno));
}

std::optional<std::string> readHead(const char* path, size_t n) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text(n, '\0');
    in.read(text.data(), static_cast<std::streamsize>(n));
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
}

const char* policyText(std::string StructPolicyList::*field) {
    return strPolicyList ? (strPolicyList->*field).c_str() : "";
}

}  // namespace

std::string JobHomeDir() { return DMLinuxUtil_GetUserHOMEDir(); }

int App_Init() {
    g_signParams = SignParams{};
    if (DMLinuxUtil_HasUserHOMEDir()) {
        const std::string home = JobHomeDir();
        makeDirIfMissing(home + "/NPKI");
        makeDirIfMissing(home + "/NPKI/.veridanCACerts");
    }
    g_OSInfo.clear();
    g_ipAdr.clear();
    g_gwipAdr.clear();
    g_macAdr.clear();
    g_swLanguage_Eng = 0;
    g_OSName_Ubuntu = 0;
    g_OSLang = 0;
    filter_info = CertFilter{"issuer=", false};
    g_CertListsCount = tmp_CertListsCount = 0;
    g_policy = std::make_unique<StructPolicyList>();
    strPolicyList = g_policy.get();
    SetRunningFlag(2);
    return 0;
}

int App_Cleanup() {
    const int flag = GetRunningFlag();
    if (flag < 2) return flag;
    strPolicyList = nullptr;
    if (g_policy) {
        explicit_bzero(g_policy->Nonce.data(), g_policy->Nonce.size());
        explicit_bzero(g_policy->IssuePassword.data(), g_policy->IssuePassword.size());
    }
    g_policy.reset();
    g_signParams = SignParams{};
    SetRunningFlag(1);
    return 0;
}

int GetDeviceInfo() {
    g_selectedStoreType = 0;
    std::string text;
    g_OSInfo = getlinuxkever(text) == 0 ? text : "Linux";
    g_ipAdr = getIpAddr(text) == 0 ? text : "1.1.1.1";
    g_gwipAdr = getGateWayIPAddr(text) == 0 ? text : "1.1.1.1";
    g_macAdr = getMacAddr(text) == 0 ? text : "";
    WriteLogFile("[NOT] GetDeviceInfo(), OS = ", g_OSInfo.c_str());
    WriteLogFile("[NOT] GetDeviceInfo(), IP = ", g_ipAdr.c_str());
    WriteLogFile("[NOT] GetDeviceInfo(), GW = ", g_gwipAdr.c_str());
    WriteLogFile("[NOT] GetDeviceInfo(), MAC = ", g_macAdr.c_str());
    return 0;
}

int ZUNLIB_Init() {
    VPL_Init();
    if (GetQuilletLogType() == 1 && DMLinuxUtil_HasUserHOMEDir())
        VPL_LogInit((JobHomeDir() + "/NPKI/.veridanCACerts").c_str(), "VPL", 8);
    else
        VPL_LogInit(".", "VPL", 0);
    VPL_ADD_User_CertType(".veridanCACerts", 1);
    const int rc = VPL_SetZUNPluginDataProperty("VERIDAN", kVeridanServerCert, sizeof kVeridanServerCert - 1,
                                                "SEED-CBC", "RSA15", "SHA256", "RSA15", "SHA256");
    if (rc != 0) WriteLogFileWithInt("[ERR] ZUNLIB_Init, VPL_SetZUNPluginDataProperty() =", rc);
    SetRunningFlag(3);
    return 0;
}

int ZUNLIB_Cleanup() {
    const int flag = GetRunningFlag();
    if (flag < 3) return flag;
    VPL_LogClose();
    VPL_Cleanup();
    SetRunningFlag(2);
    return 0;
}

int GetOSNameAndLangInfo() {
    // Every Linux is served; Fedora-like systems keep their locale elsewhere.
    const auto issue = readHead("/etc/issue.net", 8);
    g_OSName_Ubuntu = OSNameIsUbuntu(issue);
    const auto locale = readHead(g_OSName_Ubuntu ? "/etc/default/locale" : "/etc/sysconfig/i18n", 18);
    WriteLogFile("[NOT]", g_OSName_Ubuntu ? "GetOSNameAndLangInfo() Current OS is UBUNTU."
                                          : "GetOSNameAndLangInfo() Current OS is FEDORA.");
    WriteLogFile("[NOT] GetOSNameAndLangInfo() locale = ", locale ? locale->c_str() : "");
    g_OSLang = 1;
    return 0;
}

int closeApp() {
    const int flag = GetRunningFlag();
    if (flag <= 3) return flag;
    SetRunningFlag(3);
    WriteLogFile("[NOT]", "CLOSE_APP(). App terminated.");
    JobUi().QuitLoop();
    return Free_GetCertLists();
}

int checkVersion(const char* version, const char* required) {
    return CheckVersionText(version ? version : "", required ? required : "");
}

const char* GetPolicy_Package() { return policyText(&StructPolicyList::Package); }
const char* GetPolicy_CAName() { return policyText(&StructPolicyList::CAName); }
const char* GetPolicy_YessignCertPasswordPolicy() { return policyText(&StructPolicyList::YessignCertPasswordPolicy); }
const char* GetPolicy_CertPasswordPolicy() { return policyText(&StructPolicyList::CertPasswordPolicy); }
const char* GetPolicy_YessignPwdUIType() { return policyText(&StructPolicyList::YessignPwdUIType); }
const char* GetPolicy_PPKI() { return policyText(&StructPolicyList::PPKI); }

// CommonFunc's share of the job-start reset: the PKCS#12 layer is loaded and
// answers.
void CommonFunc_GVar_Initialize() { free_P12_SAFEBAG(new_P12_SAFEBAG()); }
