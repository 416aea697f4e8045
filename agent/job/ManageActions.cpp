// The manager's and the roaming windows' actions over the store.
#include "job/ManageActions.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include <zephaltpavix/base.h>
#include <zephaltpavix/encode.h>
#include <zephaltpavix/manage.h>
#include <zephaltpavix/pfx.h>
#include <zephaltpavix/sign.h>
#include <zunCore/keys.h>
#include <zunCore/pkcs12.h>
#include <zunCore/util.h>

#include "job/Job.h"
#include "job/Roaming.h"

namespace {

constexpr char kDomain[] = "VERIDAN";
// The store's codes the actions tell apart.
constexpr int kStoreWrongPassword = 1051027;
constexpr int kStorePfxDoesNotOpen = 1052035;

int len(const char* s) { return s ? static_cast<int>(std::strlen(s)) : 0; }

// A text that is wiped when it goes (numbers, PKCS#12 data and its Base64).
struct Secret {
    std::string text;
    Secret() = default;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret() { wipe(); }
    void wipe() {
        explicit_bzero(text.data(), text.size());
        text.clear();
    }
};

// The PKCS#12 Base64 of import step 1, kept until step 2.
Secret g_roamingData;

// The chosen certificate and its path as the store takes it (Base64).
struct Chosen {
    SelectedCertCopy cert;
    std::string encPath;
    bool ok = false;
    Chosen() {
        JobUi().GetSelectedCertValue(cert.values);
        char* out = nullptr;
        int outLen = 0;
        if (cert.values.certpath[0] &&
            VPL_DataEncode(0, cert.values.certpath, len(cert.values.certpath), &out, &outLen) == 0 && out) {
            encPath.assign(out, static_cast<size_t>(outLen));
            ok = true;
        }
        if (out) VPL_Free(out, outLen);
        if (!ok) JOBLOG("[ERR]the chosen certificate has no path.\n");
    }
    int type() const { return cert.values.selectedStoreType; }
    const char* path() const { return encPath.c_str(); }
    int pathLen() const { return static_cast<int>(encPath.size()); }
};

int checkPassword(const Chosen& c, const char* password) {
    char* subject = nullptr;
    int subjectLen = 0;
    const int rc = VPL_Cert_Password_Check(c.type(), nullptr, 0, c.path(), c.pathLen(), password, len(password),
                                           &subject, &subjectLen);
    if (subject) VPL_Free(subject, subjectLen);
    JOBLOG("VPL_Cert_Password_Check() = %d\n", rc);
    return rc;
}

// Ends the job after a failure the relay is told of once.
int endWithError(const char* code) {
    send_ErrCode(code);
    JobUi().CloseJobWindow();
    return kRoamingJobEnded;
}

// Export steps 3 and 4: the PKCS#12 in Base64 to the roaming server, the
// number from its reply.
int sendExport(const void* pfx, int pfxLen, int digits, std::string& number) {
    char* b64 = nullptr;
    int b64Len = 0;
    const int enc = VPL_DataEncode(0, pfx, pfxLen, &b64, &b64Len);
    if (enc != 0 || !b64) return endWithError(RoamingErrorCode::kExportNoPkcs12);
    Secret encCert;
    encCert.text.assign(b64, static_cast<size_t>(b64Len));
    VPL_Free(b64, b64Len);
    Secret reply;
    const int sent =
        ExportCertificate(strPolicyList->RoamingURL, encCert.text, strPolicyList->ProtocolVersion, digits, reply.text);
    if (sent != 0) {
        JOBLOG("[ERR]ExportCertificate() = %d\n", sent);
        return endWithError(RoamingErrorCode::kExportNotSent);
    }
    if (pars_ExportCert_RetValue(reply.text, digits, number) != 0) {
        JOBLOG("pars_ExportCert_RetValue() retValue is ERROR.\n");
        return endWithError(RoamingErrorCode::kExportBadReply);
    }
    JOBLOG("pars_ExportCert_RetValue() is NO ERROR.\n");
    return kRoamingOk;
}

bool roamingPolicy(int& digits) {
    digits = strPolicyList ? RoamingDigitCount(strPolicyList->AuthenticationNumber) : 0;
    return strPolicyList && strURLValues && digits != 0;
}

}  // namespace

// ---- Manager ------------------------------------------------------------------------

int sig_Check_CertPasswd(const char* password) {
    const Chosen c;
    return c.ok && checkPassword(c, password) == 0 ? 0 : -1;
}

int sig_ChangePasswd_clicked(const char* oldPassword, const char* newPassword) {
    const Chosen c;
    if (!c.ok) return -1;
    if (checkPassword(c, oldPassword) != 0) return -2;
    const int rc = VPL_Set_CertChange_PasswordEx(c.type(), nullptr, 0, c.path(), c.pathLen(), oldPassword,
                                                 len(oldPassword), newPassword, len(newPassword));
    JOBLOG("VPL_Set_CertChange_PasswordEx() = %d\n", rc);
    return rc == 0 ? 0 : -1;
}

int sig_Cert_Indentification(const char* password, const char* idNumber) {
    const Chosen c;
    if (!c.ok) return -1;
    const int rc = VPL_Cert_Indentification(c.type(), nullptr, 0, c.path(), c.pathLen(), password, len(password),
                                            idNumber, len(idNumber));
    JOBLOG("VPL_Cert_Indentification() = %d\n", rc);
    return rc == 0 ? 0 : -1;
}

int sig_Cert_Domain_Copy(int srcStoreType, int destStoreType, const char* destDriveName, const char* password) {
    const Chosen c;
    if (!c.ok) return -1;
    const int rc = VPL_Cert_Domain_Copy(kDomain, len(kDomain), srcStoreType, nullptr, 0, destStoreType, destDriveName,
                                        len(destDriveName), nullptr, 0, c.path(), c.pathLen(), password, len(password));
    JOBLOG("VPL_Cert_Domain_Copy() = %d\n", rc);
    return rc == 0 ? 0 : -1;
}

int buttonCertDelete_clicked() {
    const Chosen c;
    if (!c.ok) return -1;
    const int rc = VPL_Cert_Delete(c.type(), nullptr, 0, c.path(), c.pathLen());
    JOBLOG("VPL_Cert_Delete() = %d\n", rc);
    if (rc != 0) return -1;
    const std::string path = c.cert.values.certpath;
    if (const size_t at = path.rfind("/signCert.der"); at != std::string::npos && at > 0) {
        // Only an empty folder goes; anything the store left stays.
        const bool gone = rmdir(path.substr(0, at).c_str()) == 0;
        JOBLOG("%s\n", gone ? "directory rmdir OK." : "directory rmdir FAILED.");
    }
    return 0;
}

int sig_Get_PFXFile_clicked(int storeType, const char* driveName, const char* p12FileName, const char* password) {
    if (storeType != 0 && storeType != 1) return -1;
    const char* drive = storeType == 1 ? driveName : nullptr;
    const int rc = VPL_Get_Domain_PFXFile(storeType, kDomain, len(kDomain), p12FileName, len(p12FileName), drive,
                                          len(drive), 0, 0, password, len(password));
    JOBLOG("VPL_Get_Domain_PFXFile() = %d\n", rc);
    if (rc == 0) return 0;
    return rc == kStorePfxDoesNotOpen || rc == kStoreWrongPassword ? -2 : -1;
}

int sig_Set_PFXFile_clicked(const char* p12FileName, const char* password) {
    const Chosen c;
    if (!c.ok) return -1;
    const int rc = VPL_Set_PFXFile(c.type(), nullptr, 0, c.path(), c.pathLen(), p12FileName, len(p12FileName), password,
                                   len(password));
    JOBLOG("VPL_Set_PFXFile() = %d\n", rc);
    if (rc == 0) return 0;
    return rc == kStoreWrongPassword ? -2 : -1;
}

std::string PfxExportName(const std::string& name, bool p12Filter) {
    if (!p12Filter) return name;
    const size_t slash = name.rfind('/');
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    if (base.size() > 4 && strcasecmp(base.c_str() + base.size() - 4, ".p12") == 0) return name;
    return name + ".p12";
}

// ---- Roaming ------------------------------------------------------------------------

void Roaming_GVar_Initialize() { g_roamingData.wipe(); }

int sig_ImportCert_clicked(const char* number) {
    g_roamingData.wipe();
    int digits = 0;
    if (!roamingPolicy(digits)) return endWithError(JobErrorCode::kBadPolicy);
    // The window checks the number too; what reaches the server is digits.
    if (!number || !RoamingNumberIsValid(number, digits)) return kRoamingRetry;
    Secret reply;
    const int rc =
        ImportCertificateWithURL(strPolicyList->RoamingURL, strPolicyList->ProtocolVersion, number, reply.text);
    if (rc != 0) {
        JOBLOG("[ERR]sig_ImportCert_clicked, ImportCertificateWithURL() = %d\n", rc);
        return endWithError(RoamingErrorCode::kImportNotSent);
    }
    // An unknown number or an expired transfer: the user may type it again.
    if (ParseImportReply(reply.text, g_roamingData.text) != 0) {
        JOBLOG("[ERR]sig_ImportCert_clicked, the reply holds no data.\n");
        return kRoamingRetry;
    }
    return kRoamingOk;
}

int sig_ImportCert_PFXCertSet(int storeType, const char* driveName, const char* number, const char* password) {
    int digits = 0;
    if (!roamingPolicy(digits) || !number || !RoamingNumberIsValid(number, digits) || g_roamingData.text.empty())
        return endWithError(RoamingErrorCode::kImportNotStored);
    Secret pfx;
    if (!DecodeRoamingData(g_roamingData.text, pfx.text)) {
        JOBLOG("[ERR]sig_ImportCert_PFXCertSet, the data is no Base64.\n");
        return endWithError(RoamingErrorCode::kImportNotStored);
    }
    const char* drive = storeType == 1 ? driveName : nullptr;
    const int rc = storeType == 0 || storeType == 1 ? VPL_Get_PFXBuf(pfx.text.data(), static_cast<int>(pfx.text.size()),
                                                                     storeType, drive, password, len(password))
                                                    : -1;
    JOBLOG("VPL_Get_PFXBuf() = %d\n", rc);
    if (rc == kStorePfxDoesNotOpen) return kRoamingRetry;  // nothing was written
    if (rc != 0) return endWithError(RoamingErrorCode::kImportNotStored);

    std::string relayReply;
    if (send_ResultByFunc(strURLValues->url, strURLValues->SESSION, strURLValues->reqID, "1", "", &relayReply) != 0)
        return endWithError(RoamingErrorCode::kImportResultNotSent);
    int relayCode = 0;
    ParseErrorAnswer(relayReply, &relayCode, nullptr);
    if (relayCode > 0) {
        JobUi().MessageBox(RelaySessionExpired(relayCode)
                               ? "퀼렛 서버 세션이 만료되었습니다. 로그아웃 후 재시도 하시기 바랍니다."
                               : "서버와의 통신중 에러가 발생하였습니다. 다시 시도하여 주시기 바랍니다.",
                           1);
        return endWithError(RoamingErrorCode::kImportResultError);
    }
    // The job has reported its success: a failed completion notice is
    // logged, not posted as a second result.
    Secret status;
    const int st =
        ImportSetStatus(strPolicyList->RoamingURL, strPolicyList->ProtocolVersion, number, "COMPLETE", status.text);
    if (st != 0) JOBLOG("[ERR]sig_ImportCert_PFXCertSet, ImportSetStatus() = %d\n", st);
    g_roamingData.wipe();
    JobUi().MessageBox("인증서 가져오기를 완료하였습니다.", 0);
    JobUi().CloseJobWindow();
    return kRoamingOk;
}

int sig_ExportCert_clicked(std::string& number) {
    number.clear();
    int digits = 0;
    if (!roamingPolicy(digits)) return endWithError(JobErrorCode::kBadPolicy);
    const Chosen c;
    const char* password = c.cert.values.password;
    if (!c.ok || checkPassword(c, password) != 0) return kRoamingRetry;

    void* pfx = nullptr;
    int pfxLen = 0;
    const int rc = VPL_Set_PFXBuf(c.type(), c.path(), c.pathLen(), password, len(password), &pfx, &pfxLen);
    if (rc != 0 || !pfx || pfxLen <= 0) {
        if (pfx) VPL_Free(pfx, pfxLen);
        JOBLOG("[ERR]sig_ExportCert_clicked, VPL_Set_PFXBuf() = %d\n", rc);
        return endWithError(RoamingErrorCode::kExportNoPkcs12);
    }
    const int rc2 = sendExport(pfx, pfxLen, digits, number);
    VPL_Free(pfx, pfxLen);
    return rc2;
}

int sig_ExportCert_clicked_use_PFXfile(const char* p12Path, const char* password, std::string& number) {
    number.clear();
    int digits = 0;
    if (!roamingPolicy(digits)) return endWithError(JobErrorCode::kBadPolicy);
    PKI_STR_INFO* entries = nullptr;
    int count = 0;
    const int rc = VPL_PFXFileToCert(p12Path, password, len(password), &entries, &count);
    JOBLOG("VPL_PFXFileToCert() = %d, count = %d\n", rc, count);
    if (rc != 0 || !entries || count <= 0) {
        if (entries) {
            VCL_PK1_Free_PKISTRINFOS(entries, count);
            std::free(entries);
        }
        return kRoamingRetry;  // a wrong password or a file that does not open
    }
    unsigned char* pfx = nullptr;
    int pfxLen = 0;
    const int made = VCL_PK12_Make_PFX(password, len(password), nullptr, 0, count, entries, 0, nullptr, &pfx, &pfxLen);
    VCL_PK1_Free_PKISTRINFOS(entries, count);
    std::free(entries);
    if (made != 0 || !pfx || pfxLen <= 0) {
        if (pfx) VCL_Free(pfx, pfxLen);
        JOBLOG("[ERR]sig_ExportCert_clicked_use_PFXfile, VCL_PK12_Make_PFX() = %d\n", made);
        return endWithError(RoamingErrorCode::kExportNotSent);
    }
    const int sent = sendExport(pfx, pfxLen, digits, number);
    VCL_Free(pfx, pfxLen);
    return sent;
}

void RoamingExportDone(const std::string& number) {
    int digits = 0;
    roamingPolicy(digits);
    JobUi().ShowRoamingNumber(number, digits);
    send_BlankOK();
    JobUi().CloseJobWindow();
}
