// The log-in and sign actions.
#include "job/SignActions.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include <zunCore/korean.h>
#include <zunCore/util.h>

#include "job/CertAdapters.h"
#include "job/Job.h"
#include "job/SignSubmit.h"
#include "job/StoreCall.h"

namespace {

const char kLoginNonceFailed[] = "로그인 처리중 장애가 발생하였습니다. 다시 한번 시도하시기 바랍니다.";
const char kTriesLeft[] =
    "선택된 인증서의 암호가 틀렸습니다.\n암호를 다시 입력하십시오.\n\n암호 총5회(현재 %d회 남음) 오류시\n재시도하여 "
    "주시기 "
    "바랍니다.";
const char kFiveMisses[] = "인증서 암호 입력이 5회 이상 틀렸습니다. 프로그램을 종료합니다.";
const char kLoginFailed[] = "인증서 로그인을 실패하였습니다. 다시 한번 시도하시기 바랍니다.";
const char kFileLoginFailed[] = "로그인에 실패하였습니다. 다시한번 시도해 주시기 바랍니다.";
const char kCommError[] = "서버와의 통신중 에러가 발생하였습니다. 다시 시도하여 주시기 바랍니다.";
const char kSessionExpired[] = "퀼렛 서버 세션이 만료되었습니다. 로그아웃 후 재시도 하시기 바랍니다.";
const char kSignFailed[] = "전자서명에 실패하였습니다. 다시한번 시도해 주시기 바랍니다.";
const char kWrongPassword[] = "인증서 암호가 정확하지 않습니다. 확인후 다시 입력하시기 바랍니다.";

constexpr int kInfoBox = 3;
constexpr int kWarningBox = 1;

// Process lifetime, one per handler that counts.
int g_loginMisses = 0;
int g_fileLoginMisses = 0;
int g_signMisses = 0;

// A copy of a secret that is wiped when it goes.
struct Secret {
    std::string text;
    Secret() = default;
    explicit Secret(std::string t) : text(std::move(t)) {}
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret() { explicit_bzero(text.data(), text.size()); }
};

// Ends the job's window; the outcome has been posted.
int endJob() {
    JobUi().CloseJobWindow();
    return kActionJobEnded;
}

int failJob(const char* box, const char* code) {
    if (box) JobUi().MessageBox(box, kInfoBox);
    send_ErrCode(code);
    return endJob();
}

// A wrong password of a counting handler: a warning with the tries left,
// or at the fifth the end of the job with 1425.
int countMiss(int& misses) {
    ++misses;
    if (misses < kPasswordTries) {
        JobUi().MessageBox(PasswordTriesLeftText(misses).c_str(), kWarningBox);
        return kActionRetry;
    }
    misses = 0;
    JobUi().MessageBox(kFiveMisses, kWarningBox);
    send_ErrCode("1425");
    return endJob();
}

bool decodeNonce(Secret& nonce) {
    if (!strPolicyList) return false;
    return StoreDataDecode(0, strPolicyList->Nonce, nonce.text) && nonce.text.size() == kNonceLength;
}

const unsigned char* bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

// The log-in or sign fields both results share: er (empty without a key
// random), the device facts.
bool makeCommonFields(const Secret& nonce, const std::string& random, std::string& er, std::string& devinfo) {
    const unsigned char* key = bytes(nonce.text);
    const unsigned char* iv = key + 16;
    er.clear();
    if (random.size() == kKeyRandomLength && !EncryptForRelay(key, iv, random, er)) return false;
    std::string text;
    if (!MakeDeviceInfoText(key, iv, text)) return false;
    devinfo = URLEncodeText(text);
    return true;
}

// Posts the result; a relay that refuses it gets one job code.
int postResult(const std::string& message, const char* sendFailed, const char* replyFailed) {
    std::string reply;
    const int rc = strURLValues ? send_ResultByFunc(strURLValues->url, strURLValues->SESSION, strURLValues->reqID, "1",
                                                    message, &reply)
                                : kSetResultSetup;
    if (rc != 0) {
        send_ErrCode(sendFailed);
        return endJob();
    }
    int code = 0;
    std::string text;
    pars_RequestRetValue(reply.c_str(), &code, &text);
    if (code > 0) {
        JOBLOG("the relay answered the result with error %d.\n", code);
        JobUi().MessageBox(RelaySessionExpired(code) ? kSessionExpired : kCommError, kInfoBox);
        send_ErrCode(replyFailed);
    }
    return endJob();
}

void logSelected(const SelectedCertValues& v) {
    JOBLOG("selected cert: subject [%s] issuer [%s] certpath [%s] storeType [%d] expireflag [%d]\n", v.subject,
           v.issuer, v.certpath, v.selectedStoreType, v.expireflag);
}

// The log-in of either form, after the key was chosen.
int login(bool fromFile, const SelectedCertValues* selected, const char* password) {
    Secret nonce;
    if (!decodeNonce(nonce)) {
        WriteLogFile("[ERR]", "login, the policy's Nonce is not 32 bytes of Base64.");
        return failJob(kLoginNonceFailed, "1420");
    }
    SubmitResult sub;
    const int rc =
        fromFile ? PKCS1_Cert_Submit_Buffer(password, bytes(nonce.text), sub)
                 : PKCS1_Cert_Submit(selected->selectedStoreType, selected->certpath, password, bytes(nonce.text), sub);
    int& misses = fromFile ? g_fileLoginMisses : g_loginMisses;
    if (rc == SubmitCode::kWrongPassword) return countMiss(misses);
    if (rc != 0) {
        WriteLogFileWithInt("[ERR] login, PKCS1_Cert_Submit() =", rc);
        return failJob(fromFile ? kFileLoginFailed : kLoginFailed, "1421");
    }
    misses = 0;
    std::string er, devinfo;
    if (!makeCommonFields(nonce, sub.random, er, devinfo)) {
        WriteLogFile("[ERR]", "login, a SEED-CBC run failed.");
        return failJob(fromFile ? kFileLoginFailed : kLoginFailed, "1421");
    }
    Secret message("er=" + er + "&cert=" + sub.certificate + "&sg=" + sub.signature + "&devinfo=" + devinfo);
    return postResult(message.text, "1423", "1424");
}

// The sign data as the policy wants it signed: EUC-KR for "euc-kr"
// exactly, else the UTF-8 text.
bool signData(std::string& out) {
    out = g_signParams.data;
    if (!strPolicyList || strPolicyList->SignaturePlainTextEncoding != "euc-kr") return true;
    if (out.find('\0') != std::string::npos) return false;
    std::unique_ptr<char, void (*)(void*)> euckr(VCL_ConvertUTF8ToEUCKR(out.c_str()), free);
    if (!euckr) return false;
    out = euckr.get();
    return true;
}

// The relay's ServerTime: URL-encoded Base64 of the decimal seconds.
bool serverTimeText(std::string& out) {
    out.clear();
    time_t t = 0;
    return strPolicyList && !strPolicyList->ServerTime.empty() && StoreDataDecode(2, strPolicyList->ServerTime, out) &&
           ParseServerTime(out.c_str(), t);
}

int sign(bool fromFile, const SelectedCertValues* selected, const char* password) {
    std::string serverTime, data;
    if (!serverTimeText(serverTime)) {
        WriteLogFile("[ERR]", "sign, the policy's ServerTime is missing or not a usable time.");
        return failJob(kSignFailed, "1430");
    }
    if (!signData(data)) {
        WriteLogFile("[ERR]", "sign, the data does not convert to EUC-KR.");
        return failJob(kSignFailed, "1430");
    }
    const bool digestMode = !fromFile && strURLValues && strURLValues->policyName == "MDSignPolicy";
    SubmitResult p7;
    int rc = fromFile ? PKCS7_Cert_Submit_Buffer(password, data, serverTime.c_str(), p7)
                      : PKCS7_Cert_Submit(selected->selectedStoreType, selected->certpath, password, data,
                                          serverTime.c_str(), p7, digestMode ? 1 : 0);
    if (rc == SubmitCode::kWrongPassword) {
        if (!fromFile) return countMiss(g_signMisses);
        JobUi().MessageBox(kWrongPassword, kWarningBox);
        return kActionRetry;
    }
    if (rc == SubmitCode::kP7Sign) {
        JobUi().MessageBox(kSignFailed, kInfoBox);
        return kActionRetry;
    }
    if (rc != 0) {
        WriteLogFileWithInt("[ERR] sign, PKCS7_Cert_Submit() =", rc);
        return failJob(kSignFailed, "1430");
    }
    if (!fromFile) g_signMisses = 0;
    Secret nonce;
    if (!decodeNonce(nonce)) {
        WriteLogFile("[ERR]", "sign, the policy's Nonce is not 32 bytes of Base64.");
        return failJob(nullptr, "1431");
    }
    std::string er, devinfo;
    if (!makeCommonFields(nonce, p7.random, er, devinfo)) {
        WriteLogFile("[ERR]", "sign, a SEED-CBC run failed.");
        return failJob(kSignFailed, fromFile ? "1430" : "1432");
    }
    SubmitResult p1;
    rc = fromFile ? PKCS1_Cert_Submit_Buffer(password, bytes(nonce.text), p1)
                  : PKCS1_Cert_Submit(selected->selectedStoreType, selected->certpath, password, bytes(nonce.text), p1);
    if (rc == SubmitCode::kWrongPassword) {
        JobUi().MessageBox(kWrongPassword, kWarningBox);
        return kActionRetry;
    }
    if (rc != 0) {
        WriteLogFileWithInt("[ERR] sign, PKCS1_Cert_Submit() =", rc);
        return failJob(kSignFailed, fromFile ? "1430" : "1432");
    }
    Secret message("signature=" + p7.signature + "&er=" + er + "&cert=" + URLEncodeText(p7.certificate) +
                   "&sg=" + p1.signature + "&devinfo=" + devinfo);
    return postResult(message.text, "1433", "1434");
}

// The PKCS#12 file into the store's memory: true when loaded, else the
// action's result in result. A file that does not open with the password is
// a wrong password.
bool loadFile(const char* pfxPath, const char* password, bool forLogin, int& result) {
    const int rc = Get_PFXFile_ToBuffer(pfxPath, password);
    if (rc == 0) return true;
    WriteLogFileWithInt("[ERR] Get_PFXFile_ToBuffer() =", rc);
    if (rc == AdapterCode::kWrongPassword) {
        if (forLogin) {
            result = countMiss(g_fileLoginMisses);
        } else {
            JobUi().MessageBox(kWrongPassword, kWarningBox);
            result = kActionRetry;
        }
    } else {
        result = forLogin ? failJob(kFileLoginFailed, "1421") : failJob(kSignFailed, "1430");
    }
    return false;
}

}  // namespace

std::string PasswordTriesLeftText(int misses) {
    char text[512];
    snprintf(text, sizeof text, kTriesLeft, kPasswordTries - misses);
    return text;
}

int LoginPasswordMisses() { return g_loginMisses; }
int SignPasswordMisses() { return g_signMisses; }

bool EncryptForRelay(const unsigned char* key, const unsigned char* iv, const std::string& plain, std::string& out) {
    out.clear();
    if (plain.empty()) return true;
    if (!FitsInt(plain.size())) return false;
    StoreBuffer b64;
    if (VPL_Symmetric_Crypto(1, key, 16, iv, 16, "SEED-CBC", 1, 0, plain.data(), static_cast<int>(plain.size()),
                             b64.ptr(), &b64.len) != 0 ||
        b64.len <= 0)
        return false;
    out = URLEncodeText(b64.view());
    return true;
}

bool MakeDeviceInfoText(const unsigned char* key, const unsigned char* iv, std::string& out) {
    JOBLOG("device info: IP [%s] MAC [%s] GW [%s] OS [%s]\n", g_ipAdr.c_str(), g_macAdr.c_str(), g_gwipAdr.c_str(),
           g_OSInfo.c_str());
    std::string mac, gw, ip, os;
    if (!EncryptForRelay(key, iv, g_macAdr, mac) || !EncryptForRelay(key, iv, g_gwipAdr, gw) ||
        !EncryptForRelay(key, iv, g_ipAdr, ip) || !EncryptForRelay(key, iv, g_OSInfo, os))
        return false;
    out = "Encrypted_Client_IP_Address_Info=" + ip + "&Encrypted_MAC_Address_Info=" + mac +
          "&Encrypted_Client_Gateway_Address_Info=" + gw + "&Encrypted_OS_Info=" + os;
    return true;
}

int buttonLogin_clicked() {
    SelectedCertCopy selected;
    JobUi().GetSelectedCertValue(selected.values);
    logSelected(selected.values);
    return login(false, &selected.values, selected.values.password);
}

int buttonSign_clicked() {
    SelectedCertCopy selected;
    JobUi().GetSelectedCertValue(selected.values);
    logSelected(selected.values);
    return sign(false, &selected.values, selected.values.password);
}

int sig_Get_PFXFile_Login_clicked(const char* pfxPath, const char* password) {
    JOBLOG("sig_Get_PFXFile_Login_clicked, file [%s]\n", pfxPath ? pfxPath : "(null)");
    int result = 0;
    if (!loadFile(pfxPath, password, true, result)) return result;
    return login(true, nullptr, password);
}

int sig_Get_PFXFile_Sign_clicked(const char* pfxPath, const char* password) {
    JOBLOG("sig_Get_PFXFile_Sign_clicked, file [%s]\n", pfxPath ? pfxPath : "(null)");
    int result = 0;
    if (!loadFile(pfxPath, password, false, result)) return result;
    return sign(true, nullptr, password);
}
