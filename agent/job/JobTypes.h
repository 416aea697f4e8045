// The records a job reads: the page's start parameter and the relay's
// policy. Fields are sized by their text; the widths the protocol gives them
// are limits the parsers check (see ParsingFunc.h).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The start parameter: "SESSION=...&reqID=...&policyName=...&url=...&wv=...
// &macVersion=...&linuxVersion=...".
struct StructURLValues {
    std::string SESSION;  // the page's cookie, URL-decoded
    std::string reqID;
    std::string policyName;
    std::string url;  // the relay server, URL-decoded
    std::string wv;
    std::string macVersion;
    std::string linuxVersion;  // URL-decoded
};

// The policy list of the relay's getFunc answer; one field per key.
struct StructPolicyList {
    std::string CertStorageListMode;
    std::string CACerts;
    std::string ScreenKeyboardCheckMode;
    std::string CertUpdateDDay;
    std::string Mode;
    std::string CertStorage;
    std::string ViewValidCert;
    int DisableExpiredCert = 0;
    std::string KeyboardSecureProvider;
    std::string ScreenKeyboardProvider;
    std::string CertInitMode;
    std::string ScreenKeyboardProviderOption;
    std::string CertUpdateAlert;
    std::string CertUILanguage;
    std::string CertUpdateURL;
    std::string TitleLogoPathPC;
    std::string Nonce;
    std::string SignatureMode;
    std::string SelectCertUIMode;
    std::string CertSerialNumber;
    std::string SignatureAlert;
    std::string SignatureAlertTitle;
    std::string CertIssuerDN;
    std::string CertSubjectDN;
    std::string SignaturePlainTextEncoding;
    std::string ServerTime;
    std::string CMPServerAddr;
    std::string CAName;
    std::string CMPServerPort;
    std::string IssueRefID;
    std::string IssuePassword;
    std::string Package;
    std::string CapslockAlert;
    std::string process;
    std::string DeleteAlert;
    std::string DeleteCertSerialNumber;
    std::string PKCS10CertDN;
    std::string PKCS10Cert;
    int CertBit = 0;
    std::string Action;
    std::string ParamString;
    std::string TitleLogoMessage;
    std::string CertImportInfoURL;
    std::string RoamingURL;
    std::string AuthenticationNumber;
    std::string ProtocolVersion;
    std::string CertExportTime;
    std::string CertExportInfoURL;
    std::string YessignCertPasswordPolicy;
    std::string CertPasswordPolicy;
    std::string YessignPwdUIType;
    std::string PPKI;
    std::string ShowAlertBanner;
    std::string AlertBannerURL;
};

// How a policy key is held.
enum class PolicyUse {
    Read,    // read by the job: a value over the width refuses the policy
    Stored,  // only kept: a value over the width is cut (and logged)
    Secret,  // read, and logged by its length only
};

struct PolicyKey {
    const char* name;
    std::string StructPolicyList::*text;  // null for an int field
    int StructPolicyList::*number;        // null for a text field
    size_t width;                         // the protocol's field width; values hold at most width - 1 bytes
    PolicyUse use;
};

// The 54 keys in their order.
const PolicyKey* PolicyKeys(size_t& count);

// The sign data of a "sign" or "msign" job, and its title.
struct SignParams {
    int paramCount = 0;
    std::string data;   // never cut
    std::string title;  // empty unless the count is 2 or 3
};

// Job error codes posted with ret "2".
namespace JobErrorCode {
inline constexpr const char* kBadParameter = "1410";
inline constexpr const char* kBadPolicy = "1411";
inline constexpr const char* kRoamingVersion = "1413";
inline constexpr const char* kUpdateNotPosted = "1415";
inline constexpr const char* kUnsupported = "1416";
}  // namespace JobErrorCode

// Transport results of the relay exchanges.
enum RelayCode {
    kRelayErrorAnswer = -100407,
    kGetFuncSetup = -100408,
    kGetFuncTransfer = -100409,
    kGetFuncStatus = -100410,
    kGetFuncEmpty = -100411,
    kImageSetup = -100412,
    kImageTransfer = -100413,
    kSetResultSetup = -100414,
    kSetResultTransfer = -100415,
    kSetResultStatus = -100416,
};

// The detail of one certificate, as the store's detail text gives it, for the
// detail window. Texts are EUC-KR and zero-terminated; a longer value is cut
// (it is only shown).
struct CertDetailInfo {
    char version[100];
    char serialNumber[256];
    char signatureAlg[256];
    char issuerDN[1024];
    char validity_from[100];
    char validity_to[100];
    char subjectDN[1024];
    char pubkey[1024];
    char pubkeydata[4096];
    char hand_print_alg[1024];
    char hand_print[1024];
    char authoritykeyid[2048];
    char subjectkeyid[1024];
    char keyusage[1024];
    char certpolicy[2048];
    char subjectAltName[2048];
    char crlDP[2048];
    char authorityInfoAcc[2048];
};

// One item of PDF multi-signing: its name and the decoded value (bytes, with
// their length).
struct PDFMultiSignItem {
    std::string name;
    std::string value;
};

// The sign data of a "MDSignPolicy" job: the decoded header and the items.
struct PDFMultiSignData {
    std::string hd;
    std::vector<PDFMultiSignItem> items;
};
