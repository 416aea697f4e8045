// Issue, renewal, revocation and private-PKI requests over the store's
// issuance and the CMP client. An issue code is single-use: once the CA has
// answered, the new pair is the user's only copy, so every path keeps it
// and the relay always hears how the job ended.
#include "job/IssueActions.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <zephaltCMP/zephaltCMP.h>
#include <zephaltpavix/base.h>
#include <zephaltpavix/encode.h>
#include <zephaltpavix/issue.h>
#include <zephaltpavix/manage.h>
#include <zunCore/korean.h>

#include "job/Job.h"
#include "job/ManageActions.h"
#include "job/Roaming.h"

namespace {

constexpr int kIssueFailed = -100213;
constexpr int kUpdateFailed = -100;
// The agent's CMP parameter text is at most 1023 characters.
constexpr size_t kParamsMax = 1023;
// PKCS10CertDN is read as at most 1023 characters; a longer one is refused.
constexpr size_t kDnMax = 1023;

const char kIssueError[] = "인증서 발급중 오류가 발생하였습니다. 다시한번 시도해 주시기 바랍니다.";
const char kSessionExpired[] = "퀼렛 서버 세션이 만료되었습니다. 로그아웃 후 재시도 하시기 바랍니다.";
const char kCommError[] = "서버와의 통신중 에러가 발생하였습니다. 다시 시도하여 주시기 바랍니다.";
const char kTriesLeft[] =
    "선택된 인증서의 암호가 틀렸습니다.\n암호를 다시 입력하십시오.\n\n암호 총5회(현재 %d회 남음) 오류시\n재시도하여 "
    "주시기 바랍니다.";
const char kFiveMisses[] = "인증서 암호 입력이 5회 이상 틀렸습니다. 프로그램을 종료합니다.";

int len(const char* s) { return s ? static_cast<int>(std::strlen(s)) : 0; }

// A policy value that goes into the CMP parameter text as one value.
bool plainValue(const std::string& v) {
    return std::none_of(v.begin(), v.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return c == '&' || c == '=' || u < 0x20 || u == 0x7f;
    });
}

// A text that is wiped when it goes.
struct Secret {
    std::string text;
    Secret() = default;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret() { explicit_bzero(text.data(), text.size()); }
};

std::string encodePath(const char* path) {
    char* out = nullptr;
    int outLen = 0;
    std::string enc;
    if (path && *path && VPL_DataEncode(0, path, len(path), &out, &outLen) == 0 && out)
        enc.assign(out, static_cast<size_t>(outLen));
    if (out) VPL_Free(out, outLen);
    return enc;
}

// setResult with ret "1" and data: 0 delivered and accepted; 1 not
// delivered; 2 the relay answered an error (its box shown).
int postSuccess(const std::string& data) {
    if (!strURLValues) return 1;
    std::string reply;
    if (send_ResultByFunc(strURLValues->url, strURLValues->SESSION, strURLValues->reqID, "1", data, &reply) != 0)
        return 1;
    int relayCode = 0;
    ParseErrorAnswer(reply, &relayCode, nullptr);
    if (relayCode > 0) {
        JobUi().MessageBox(RelaySessionExpired(relayCode) ? kSessionExpired : kCommError, 3);
        return 2;
    }
    return 0;
}

void closeJob() { JobUi().CloseJobWindow(); }

// A request and its new key from the CMP client, released (zeroed) with
// its own function.
struct Pkcs10 {
    unsigned char* request = nullptr;
    unsigned char* key = nullptr;
    int requestLen = 0, keyLen = 0;
    bool started = false;
    Pkcs10(const Pkcs10&) = delete;
    Pkcs10& operator=(const Pkcs10&) = delete;
    Pkcs10() = default;
    ~Pkcs10() {
        ZUNCMP_StringFree(request);
        ZUNCMP_StringFree(key);
        if (started) ZUNCMP_Final();
    }
    // 0, or the client's code.
    int make(const std::string& dn, const char* password, int bits) {
        int rc = ZUNCMP_Init();
        started = true;
        if (rc == 0) rc = ZUNCMP_PPKI_MAKE_PKCS10(dn.c_str(), password, bits, 0, &request, &requestLen, &key, &keyLen);
        if (rc == 0 && (requestLen <= 0 || keyLen <= 0)) rc = -1;
        if (rc != 0) JOBLOG("[ERR]ZUNCMP_PPKI_MAKE_PKCS10() = %d (%s)\n", rc, ZUNCMP_GetErrorString(rc));
        return rc;
    }
    std::string base64() const {
        char* out = nullptr;
        int outLen = 0;
        std::string text;
        if (VPL_DataEncode(0, request, requestLen, &out, &outLen) == 0 && out)
            text.assign(out, static_cast<size_t>(outLen));
        if (out) VPL_Free(out, outLen);
        return text;
    }
};

// The policy's subject DN for a request, or empty when there is none or it
// is longer than the field it is read from.
std::string requestDn() {
    if (!strPolicyList || strPolicyList->PKCS10CertDN.empty() || strPolicyList->PKCS10CertDN.size() > kDnMax) {
        JOBLOG("[ERR]PKCS10CertDN is missing or longer than %zu characters.\n", kDnMax);
        return {};
    }
    return strPolicyList->PKCS10CertDN;
}

// Keys of at least 2048 bits: 3072 and 4096 as asked, anything else 2048.
int requestBits() {
    const int bits = strPolicyList ? strPolicyList->CertBit : 0;
    return bits == 3072 || bits == 4096 ? bits : 2048;
}

int failWith(const char* code) {
    send_ErrCode(code);
    closeJob();
    return -1;
}

}  // namespace

// ---- Adapters ---------------------------------------------------------------------

int Issue_Certificate_Reduction(int storeType, const char* driveName, const char* password) {
    if (!strPolicyList) return kIssueFailed;
    StructPolicyList& p = *strPolicyList;
    for (const std::string* v : {&p.IssueRefID, &p.IssuePassword, &p.CMPServerAddr, &p.CMPServerPort})
        if (!plainValue(*v)) {
            JOBLOG("[ERR]Issue_Certificate_Reduction, a policy value holds '&', '=' or a control character.\n");
            return kIssueFailed;
        }
    Secret params;
    params.text =
        "REF=" + p.IssueRefID + "&CODE=" + p.IssuePassword + "&CAIP=" + p.CMPServerAddr + "&CAPORT=" + p.CMPServerPort;
    // The private CA gets keys as strong as any other (SHA-256, 2048 bits).
    if (p.Package.compare(0, 10, "VERIDAN_CA") == 0) {
        params.text += "&CANAME=VERIDAN_CA&CAPATH=VERIDANCA";
        p.CAName = PPKI_CA_NAME;
    }
    if (params.text.size() > kParamsMax) {
        JOBLOG("[ERR]Issue_Certificate_Reduction, the parameter text is longer than %zu characters.\n", kParamsMax);
        return kIssueFailed;
    }
    const bool replace = p.Mode == "5" && p.CAName == "SIGNGATE";
    const int type = storeType != 0 ? 1 : 0;
    const char* drive = type == 1 ? driveName : nullptr;
    auto call = replace ? VPL_Replace_Certificate_Reduction : VPL_Issue_Certificate_Reduction;
    const int rc = call(type, drive, len(drive), 0, 0, p.CAName.c_str(), len(p.CAName.c_str()), params.text.c_str(),
                        static_cast<int>(params.text.size()), password, len(password), "SHA256", 6, "2048", 4);
    if (rc != 0) {
        JOBLOG("[ERR]%s() = %d\n", replace ? "VPL_Replace_Certificate_Reduction" : "VPL_Issue_Certificate_Reduction",
               rc);
        return kIssueFailed;
    }
    return 0;
}

int Update_Certificate_Reduction(int storeType, const char* certPath, const char* password, const char* newPassword) {
    if (!strPolicyList || !plainValue(strPolicyList->CMPServerAddr) || !plainValue(strPolicyList->CMPServerPort))
        return kUpdateFailed;
    const std::string params =
        "REF=&CODE=&CAIP=" + strPolicyList->CMPServerAddr + "&CAPORT=" + strPolicyList->CMPServerPort;
    if (params.size() > kParamsMax) return kUpdateFailed;
    const std::string enc = encodePath(certPath);
    if (enc.empty()) return kUpdateFailed;
    const std::string& ca = strPolicyList->CAName;
    const int rc =
        VPL_Update_Certificate_Reduction(storeType, 0, 0, enc.c_str(), static_cast<int>(enc.size()), ca.c_str(),
                                         len(ca.c_str()), params.c_str(), static_cast<int>(params.size()), password,
                                         len(password), newPassword, len(newPassword), "SHA256", 6, "2048", 4);
    if (rc != 0) {
        JOBLOG("[ERR]VPL_Update_Certificate_Reduction() = %d\n", rc);
        return kUpdateFailed;
    }
    return 0;
}

// ---- Actions ----------------------------------------------------------------------

int sig_Issue_clicked(int storeType, char* password, char* driveName) {
    JOBLOG("sig_Issue_clicked(), storeType = [%d]\n", storeType);
    if (Issue_Certificate_Reduction(storeType, driveName, password) != 0) {
        JobUi().MessageBox(kIssueError, 3);
        return failWith("1440");
    }
    if (postSuccess("") != 0) return failWith("1441");
    // The copy on the drive is the user's; the home disk keeps what it had
    // (an older certificate of the same name is not taken on a guess).
    if (storeType == 1) JOBLOG("sig_Issue_clicked(), issued to a drive: [%s]\n", selectedCertSubjectCN);
    closeJob();
    return 0;
}

int sig_Update_clicked(int targetStoreType, char* newPassword) {
    static int wrongPasswords = 0;  // over the process's jobs, as the log-in's
    SelectedCertCopy chosen;
    JobUi().GetSelectedCertValue(chosen.values);
    const char* password = chosen.values.password;
    if (sig_Check_CertPasswd(password) != 0) {
        if (++wrongPasswords < 5) {
            char text[1024];
            std::snprintf(text, sizeof text, kTriesLeft, 5 - wrongPasswords);
            JobUi().MessageBox(text, 1);
            return -100;
        }
        wrongPasswords = 0;
        JobUi().MessageBox(kFiveMisses, 1);
        send_ErrCode("1425");
        closeJob();
        return -101;
    }
    wrongPasswords = 0;
    if (!chosen.values.certpath[0]) {
        send_ErrCode("1442");
        return -1;
    }
    const char* next = newPassword && *newPassword ? newPassword : password;
    if (Update_Certificate_Reduction(chosen.values.selectedStoreType, chosen.values.certpath, password, next) != 0) {
        send_ErrCode("1442");
        return -1;
    }
    if (postSuccess("") != 0) return failWith("1443");
    if (targetStoreType == 1) JOBLOG("sig_Update_clicked(), renewed on a drive: [%s]\n", chosen.values.subject);
    closeJob();
    return 0;
}

int sig_Revoke_clicked(int storeType, char* certPath) {
    JOBLOG("sig_Revoke_clicked(), storeType = [%d]\n", storeType);
    const std::string enc = encodePath(certPath);
    const int rc = enc.empty() ? -1 : VPL_Cert_Delete(storeType, nullptr, 0, enc.c_str(), static_cast<int>(enc.size()));
    if (rc != 0) {
        JOBLOG("[ERR]VPL_Cert_Delete() = %d\n", rc);
        return failWith("1444");
    }
    const int posted = postSuccess("");
    if (posted != 0) {
        send_ErrCode(posted == 1 ? "1445" : "1446");
        closeJob();
        return -1;
    }
    closeJob();
    return 0;
}

int sig_certRequestWindow_clicked(char* password) {
    const std::string dn = requestDn();
    if (dn.empty() || !password || !*password) return -1;
    Pkcs10 p10;
    if (p10.make(dn, password, requestBits()) != 0) return -1;
    // The key waits under its modulus for the insert job.
    if (const int rc = VPL_Make_Temp_PPriKey(reinterpret_cast<const char*>(p10.key), p10.keyLen, password); rc != 0) {
        JOBLOG("[ERR]VPL_Make_Temp_PPriKey() = %d\n", rc);
        failWith("1441");
        return 0;
    }
    const std::string b64 = p10.base64();
    if (b64.empty() || postSuccess("req=" + URLEncodeText(b64)) == 1) send_ErrCode("1441");
    closeJob();
    return 0;
}

int sig_certAndKeyStoreAfterCertRequestWindow_clicked(int storeType, char* driveName) {
    const std::string cert = strPolicyList ? strPolicyList->PKCS10Cert : std::string();
    const int rc = VPL_Make_PCertAndPPriKey(storeType, driveName, cert.c_str());
    if (rc != 0) {
        JOBLOG("[ERR]VPL_Make_PCertAndPPriKey() = %d\n", rc);
        failWith("1441");
        return 0;
    }
    if (postSuccess("") == 1) JOBLOG("[ERR]sig_certAndKeyStoreAfterCertRequestWindow_clicked, result not sent.\n");
    closeJob();
    return 0;
}

int sig_certRequestAndStore_clicked(int storeType, char* driveName, char* password) {
    const std::string dn = requestDn();
    Pkcs10 p10;
    if (dn.empty() || !password || !*password || !strPolicyList || p10.make(dn, password, 2048) != 0)
        return failWith("1441");
    // Kept before the request leaves: whatever happens to the answer, the
    // key is on disk for an insert job.
    if (const int rc = VPL_Make_Temp_PPriKey(reinterpret_cast<const char*>(p10.key), p10.keyLen, password); rc != 0) {
        JOBLOG("[ERR]VPL_Make_Temp_PPriKey() = %d\n", rc);
        return failWith("1441");
    }
    std::string paramString = strPolicyList->ParamString;
    if (char* euc = VCL_ConvertUTF8ToEUCKR(paramString.c_str())) {
        paramString = euc;
        std::free(euc);
    }
    const std::string form = paramString + URLEncodeText(p10.base64());
    std::string certificate;
    if (const int rc = send_P10CertRequestAndgetCert(strPolicyList->Action, form, certificate); rc != 0) {
        JOBLOG("[ERR]send_P10CertRequestAndgetCert() = %d\n", rc);
        return failWith("1441");
    }
    // The certificate with the key kept for its own modulus: one for
    // another key finds none and stores nothing.
    if (const int rc = VPL_Make_PCertAndPPriKey(storeType, driveName, certificate.c_str()); rc != 0) {
        JOBLOG("[ERR]VPL_Make_PCertAndPPriKey() = %d\n", rc);
        return failWith("1441");
    }
    if (postSuccess("") == 1) JOBLOG("[ERR]sig_certRequestAndStore_clicked, result not sent.\n");
    closeJob();
    return 0;
}

int sig_SendResultServer(int retStatus, char* errMsg) {
    JOBLOG("sig_SendResultServer(), retStatus = [%d], errMsg = [%s]\n", retStatus, errMsg ? errMsg : "");
    const int rc = postSuccess("");
    closeJob();
    return rc == 1 ? -1 : 0;
}
