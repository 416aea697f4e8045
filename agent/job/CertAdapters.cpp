// The certificate management adapters over the store.
#include "job/CertAdapters.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include <zunCore/cipher.h>
#include <zunCore/util.h>
#include <zunCore/x509_conv.h>

#include "job/Job.h"
#include "job/StoreCall.h"

namespace {

constexpr const char kDomain[] = "VERIDAN";
constexpr int kDomainLen = sizeof kDomain - 1;

// Store codes the adapters tell apart.
constexpr int kStoreWrongPassword = 1051027;
constexpr int kStoreIdMismatch = 1051030;
constexpr int kStoreNotWritten = 1052030;
constexpr int kStoreNotWritten2 = 1052031;
constexpr int kStorePfxNotOpened = 1052035;

bool encodePath(const char* certPath, std::string& enc) {
    if (certPath && StoreEncode(0, certPath, enc)) return true;
    JOBLOG("the certificate path did not encode.\n");
    return false;
}

void logResult(const char* what, int rc) {
    JOBLOG("%s result = %d [%s]\n", what, rc, rc == 0 ? "OK" : VPL_GetErrorString(rc));
}

}  // namespace

int Change_CertPasswd(int storeType, const char* certPath, const char* oldPassword, const char* newPassword) {
    std::string enc;
    if (!encodePath(certPath, enc)) return AdapterCode::kChangePassword;
    const int rc = VPL_Set_CertChange_PasswordEx(storeType, nullptr, 0, enc.c_str(), TextLen(enc.c_str()), oldPassword,
                                                 TextLen(oldPassword), newPassword, TextLen(newPassword));
    logResult("VPL_Set_CertChange_PasswordEx", rc);
    return rc == 0 ? 0 : AdapterCode::kChangePassword;
}

int Check_CertPasswd(int storeType, const char* certPath, const char* password) {
    std::string enc;
    if (!encodePath(certPath, enc)) return AdapterCode::kCheckPassword;
    // The check hands out the subject DN; only the verdict is used.
    StoreBuffer subject;
    const int rc = VPL_Cert_Password_Check(storeType, nullptr, 0, enc.c_str(), TextLen(enc.c_str()), password,
                                           TextLen(password), subject.ptr(), &subject.len);
    logResult("VPL_Cert_Password_Check", rc);
    return rc == 0 ? 0 : AdapterCode::kCheckPassword;
}

int Delete_Cert(int storeType, const char* certPath) {
    std::string enc;
    if (!encodePath(certPath, enc)) return AdapterCode::kDelete;
    const int rc = VPL_Cert_Delete(storeType, nullptr, 0, enc.c_str(), TextLen(enc.c_str()));
    logResult("VPL_Cert_Delete", rc);
    if (rc != 0) return AdapterCode::kDelete;
    // The certificate's own folder goes too when the store left it empty.
    const std::string path(certPath);
    const size_t at = path.find("/signCert.der");
    if (at != std::string::npos && at > 0) {
        const std::string dir = path.substr(0, at);
        JOBLOG("%s\n", rmdir(dir.c_str()) == 0 ? "directory rmdir OK." : "directory rmdir FAILED.");
    }
    return 0;
}

int Get_CertDetail(int storeType, const char* certPath, CertDetailInfo* out) {
    std::string enc;
    if (!out || !encodePath(certPath, enc)) return AdapterCode::kDetail;
    StoreBuffer detail;
    const int rc =
        VPL_Get_CertDetail(storeType, nullptr, 0, enc.c_str(), TextLen(enc.c_str()), detail.ptr(), &detail.len);
    logResult("VPL_Get_CertDetail", rc);
    if (rc != 0 || !detail.data) return AdapterCode::kDetail;
    JOBLOG("VPL_Get_CertDetail, detail = %s\n", detail.data);
    return pars_VPL_Get_CertView_Outlist(detail.data, 0, out) == 0 ? 0 : AdapterCode::kFailed;
}

int Get_PFXFile(int storeType, const char* driveName, const char* pfxPath, const char* password) {
    if (storeType != 0 && storeType != 1) return AdapterCode::kFailed;
    const char* drive = storeType == 1 ? driveName : nullptr;
    const int rc = VPL_Get_Domain_PFXFile(storeType, kDomain, kDomainLen, pfxPath, TextLen(pfxPath), drive,
                                          TextLen(drive), 0, 0, password, TextLen(password));
    logResult("VPL_Get_Domain_PFXFile", rc);
    if (rc == 0) return 0;
    // A PKCS#12 that does not open is, to the user, a wrong password.
    return rc == kStoreWrongPassword || rc == kStorePfxNotOpened ? AdapterCode::kPfxImportWrongPassword
                                                                 : AdapterCode::kImport;
}

int Get_PFXFile_ToBuffer(const char* pfxPath, const char* password) {
    const int rc = VPL_Get_PFXBuffer(pfxPath, TextLen(pfxPath), password, TextLen(password));
    logResult("VPL_Get_PFXBuffer", rc);
    if (rc == 0) return 0;
    return rc == kStoreWrongPassword || rc == kStorePfxNotOpened ? AdapterCode::kWrongPassword : AdapterCode::kStore;
}

int Set_PFXFile(int storeType, const char* certPath, const char* pfxPath, const char* password) {
    std::string enc;
    if (!encodePath(certPath, enc)) return AdapterCode::kFailed;
    const int rc = VPL_Set_PFXFile(storeType, nullptr, 0, enc.c_str(), TextLen(enc.c_str()), pfxPath, TextLen(pfxPath),
                                   password, TextLen(password));
    logResult("VPL_Set_PFXFile", rc);
    if (rc == 0) return 0;
    if (rc == kStoreWrongPassword) return AdapterCode::kPfxWrongPassword;
    if (rc == kStoreNotWritten || rc == kStoreNotWritten2) JOBLOG("Set_PFXFile, the file was not written.\n");
    return AdapterCode::kFailed;
}

int Set_PFXBuf(int storeType, const char* certPath, const char* password, void** pfx, int* pfxLen) {
    if (pfx) *pfx = nullptr;
    if (pfxLen) *pfxLen = 0;
    std::string enc;
    if (!pfx || !pfxLen || !encodePath(certPath, enc)) return AdapterCode::kFailed;
    StoreBuffer buf;
    const int rc =
        VPL_Set_PFXBuf(storeType, enc.c_str(), TextLen(enc.c_str()), password, TextLen(password), buf.vptr(), &buf.len);
    logResult("VPL_Set_PFXBuf", rc);
    if (rc != 0 || !buf.data || buf.len <= 0) return AdapterCode::kStore;
    void* copy = malloc(size_t(buf.len));
    if (!copy) return AdapterCode::kStore;
    std::memcpy(copy, buf.data, size_t(buf.len));
    *pfx = copy;
    *pfxLen = buf.len;
    return 0;
}

int Cert_Domain_Copy(int srcType, int dstType, const char* certPath, const char* dstDrive, const char* password) {
    std::string enc;
    if (!encodePath(certPath, enc)) return AdapterCode::kCopy;
    const int rc = VPL_Cert_Domain_Copy(kDomain, kDomainLen, srcType, nullptr, 0, dstType, dstDrive, TextLen(dstDrive),
                                        nullptr, 0, enc.c_str(), TextLen(enc.c_str()), password, TextLen(password));
    logResult("VPL_Cert_Domain_Copy", rc);
    return rc == 0 ? 0 : AdapterCode::kCopy;
}

int Cert_Indentification(int storeType, const char* certPath, const char* password, const char* idNumber) {
    std::string enc;
    if (!encodePath(certPath, enc)) return AdapterCode::kDetail;
    const int rc = VPL_Cert_Indentification(storeType, nullptr, 0, enc.c_str(), TextLen(enc.c_str()), password,
                                            TextLen(password), idNumber, TextLen(idNumber));
    logResult("VPL_Cert_Indentification", rc);
    if (rc == 0) return 0;
    if (rc == kStoreWrongPassword) return AdapterCode::kPfxWrongPassword;
    return rc == kStoreIdMismatch ? AdapterCode::kIdentityMismatch : AdapterCode::kDetail;
}

int GetPEMCert(const char* path, char** pem, int* pemLen) {
    if (pem) *pem = nullptr;
    if (pemLen) *pemLen = 0;
    if (!path || !pem || !pemLen) return -1;
    std::ifstream in(path, std::ios::binary);
    if (!in) return -1;
    const std::string der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad() || der.empty() || !FitsInt(der.size())) return -1;
    return VCL_X509_Conv_Cert2PEM(der.data(), static_cast<int>(der.size()), pem, pemLen);
}

int DeleteCertPEM(char* pem, int len) {
    if (pem) VCL_Free(pem, len);
    return 0;
}

int MakeFileHashStr(const char* path, char* out, int outLen, const char* algorithm, char separator, int group) {
    if (!path || !out || outLen <= 0) return -1;
    unsigned char* digest = nullptr;
    int digestLen = 0;
    if (VCL_HASH_FILE(path, &digest, &digestLen, algorithm) != 0 || !digest || digestLen <= 0) {
        if (digest) VCL_Free(digest, digestLen);
        return -2;
    }
    std::memset(out, 0, size_t(outLen));
    static const char kHex[] = "0123456789ABCDEF";
    int at = 0;
    for (int i = 0; i < digestLen && at + 2 < outLen; ++i) {
        out[at++] = kHex[digest[i] >> 4];
        out[at++] = kHex[digest[i] & 15];
        if (group > 0 && (i + 1) % group == 0 && at + 1 < outLen) out[at++] = separator;
    }
    VCL_Free(digest, digestLen);
    return 0;
}
