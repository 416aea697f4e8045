// The key-password check and change of a stored certificate, the holder's
// identification, and small readers of a certificate.
#include <cstring>
#include <string>

#include <zephaltpavix/certclass.h>
#include <zephaltpavix/encode.h>
#include <zephaltpavix/keypass.h>
#include <zephaltpavix/layout.h>
#include <zephaltpavix/sign.h>
#include <zunCore/keypass.h>
#include <zunCore/x509_check.h>

#include "disk/disk_internal.hpp"
#include "sign/sign_internal.hpp"

namespace {

using zstore::SecretBytes;

bool fileMedium(int storageType) { return storageType == VPL_STORAGE_HDD || storageType == VPL_STORAGE_REMOVABLE; }

// The certificate behind a path: a store file, or a pseudo path's cached
// one. 0, VPL_ERR_READ_FILE, -1 for no path, or the cache's code.
int certificateOf(const std::string& path, std::string& cert) {
    const int medium = VPL_InputPath_Check(path.c_str());
    if (medium < 0) return -1;
    if (medium == VPL_STORAGE_HDD) return zstore::readFile(path, cert) ? 0 : VPL_ERR_READ_FILE;
    void* p = nullptr;
    int n = 0;
    if (const int rc = VPL_Get_MemoryCert(path.c_str(), &p, &n); rc != 0) return rc;
    cert.assign(static_cast<const char*>(p), static_cast<size_t>(n));
    VPL_Free(p, n);
    return 0;
}

// The steps every entry point of a stored certificate starts with.
int pathAndPassword(const char* fn, const char* encCertPath, int pathLen, const char* password, int passwordLen,
                    std::string& path) {
    if (!zstore::givenWithLength(encCertPath, pathLen)) return zstore::fail(fn, VPL_ERR_PATH);
    if (const int rc = zstore::decodePath(encCertPath, pathLen, path); rc != 0) return zstore::fail(fn, rc);
    if (const int rc = zstore::passwordArg(password, passwordLen); rc != 0) return zstore::fail(fn, rc);
    return 0;
}

// The encryption certificate's path beside a signing certificate of class
// 1, 3 or 5 whose file has the store's own name (signCert.der, or
// ..._sig.cer in the government's store): 0 with the path; -1 for any
// other class or name; VPL_ERR_READ_FILE when there is no such file.
int encryptPathOf(const std::string& signPath, int cls, std::string& kmPath) {
    const size_t slash = signPath.rfind('/');
    const std::string_view name = std::string_view(signPath).substr(slash == std::string::npos ? 0 : slash + 1);
    const bool publicOrPrivate = cls == VPL_CLASS_PUBLIC_SIGN || cls == VPL_CLASS_PRIVATE_SIGN;
    if (publicOrPrivate ? !zstore::equalNoCase(name, "signCert.der")
                        : cls != VPL_CLASS_GPKI_SIGN || name.size() <= 8 ||
                              !zstore::equalNoCase(name.substr(name.size() - 8), "_sig.cer"))
        return -1;
    if (zstore::findEncryptCert(cls, signPath, kmPath) != 0) return -1;
    return kmPath.empty() ? VPL_ERR_READ_FILE : 0;
}

// The key of a stored pair under the new password, in memory: 0 or
// VPL_ERR_PASSWORD.
int reprotect(const zstore::StoredPair& pair, const char* oldPw, int oldLen, const char* newPw, int newLen,
              SecretBytes& out) {
    zstore::CoreBuffer changed;
    VCL_COM_Change_Non_Proven();
    const int rc = VCL_COM_Change_Password(pair.key.data(), pair.key.size(), oldPw, oldLen, newPw, newLen,
                                           &changed.bytes, &changed.len);
    if (rc != 0 || changed.len <= 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VCL_COM_Change_Password Fail (0x%08x) path=[%s]\n", static_cast<unsigned>(rc),
                   pair.keyPath.c_str());
        return VPL_ERR_PASSWORD;
    }
    out.assign(changed.view());
    return 0;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

// The password check of a decoded path for a storage type: the key file of
// media 0 and 1; for the others the key a domain caches for a pseudo path
// (-1 when there is none: nothing else can be checked here). The subject
// DN is handed out when subjectDN is given.
int zstore::checkKeyPassword(const char* fn, int storageType, const std::string& path, const char* password,
                             int passwordLen, char** subjectDN, int* subjectDNLen) {
    if (!fileMedium(storageType)) {
        void* key = nullptr;
        int keyLen = 0;
        const bool cached =
            VPL_InputPath_Check(path.c_str()) > 0 && VPL_Get_MemoryPrivateKey(path.c_str(), &key, &keyLen) == 0;
        VPL_Free(key, keyLen);
        if (!cached) {
            ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Store Type(%d) has no key here. path=[%s]\n", fn, storageType,
                       path.c_str());
            return zstore::fail(fn, -1);
        }
    }
    char* subject = nullptr;
    int subjectLen = 0;
    const int rc = VPL_PassWord_Check(path.c_str(), password, passwordLen, &subject, &subjectLen);
    VPL_Free(subject, subjectLen);
    if (rc != 0 || !subjectDN) return rc;
    std::string cert;
    if (const int read = certificateOf(path, cert); read != 0) return zstore::fail(fn, read);
    const zstore::InfoPtr info = zstore::readInfo(cert.data(), static_cast<int>(cert.size()));
    if (!info) return zstore::fail(fn, VPL_ERR_X509_INFO);
    if (zstore::handOut(zstore::field(info->subjectDN), subjectDN, subjectDNLen) != 0)
        return zstore::fail(fn, VPL_ERR_MALLOC);
    return 0;
}

extern "C" {

VPL_API int VPL_Cert_Password_Check(int storageType, const char* /*drive*/, int /*driveLen*/, const char* encCertPath,
                                    int pathLen, const char* password, int passwordLen, char** subjectDN,
                                    int* subjectDNLen) {
    static const char* const kFn = "VPL_Cert_Password_Check";
    if (!subjectDN || !subjectDNLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *subjectDN = nullptr;
    *subjectDNLen = 0;
    std::string path;
    if (const int rc = pathAndPassword(kFn, encCertPath, pathLen, password, passwordLen, path); rc != 0) return rc;
    return zstore::checkKeyPassword(kFn, storageType, path, password, passwordLen, subjectDN, subjectDNLen);
}

VPL_API int VPL_UserCert_VIDCheck(const char* certPath, const char* idNumber, int idNumberLen, const char* password,
                                  int passwordLen) {
    static const char* const kFn = "VPL_UserCert_VIDCheck";
    if (!certPath) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    if (!zstore::givenWithLength(idNumber, idNumberLen) || idNumberLen == 0)
        return zstore::fail(kFn, VPL_ERR_ID_NUMBER);
    std::string cert;
    if (!zstore::readFile(certPath, cert)) return zstore::fail(kFn, VPL_ERR_READ_FILE);
    void* random = nullptr;
    int randomLen = 0;
    if (const int rc = VPL_Get_Random(certPath, 0, password, passwordLen, &random, &randomLen); rc != 0) return rc;
    SecretBytes r;
    r.assign({static_cast<const char*>(random), static_cast<size_t>(random ? randomLen : 0)});
    VPL_Free(random, randomLen);
    // No random (a certificate of another class, a key without one) cannot
    // identify anybody.
    if (r.empty() ||
        VCL_X509_Check_VID(cert.data(), static_cast<int>(cert.size()), r.data(), r.size(), idNumber, idNumberLen) != 0)
        return zstore::fail(kFn, VPL_ERR_VID);
    return 0;
}

VPL_API int VPL_Cert_Indentification(int storageType, const char* /*drive*/, int /*driveLen*/, const char* encCertPath,
                                     int pathLen, const char* password, int passwordLen, const char* idNumber,
                                     int idNumberLen) {
    static const char* const kFn = "VPL_Cert_Indentification";
    if (!zstore::givenWithLength(encCertPath, pathLen)) return zstore::fail(kFn, VPL_ERR_PATH);
    std::string path;
    if (const int rc = zstore::decodePath(encCertPath, pathLen, path); rc != 0) return zstore::fail(kFn, rc);
    if (!zstore::givenWithLength(idNumber, idNumberLen) || idNumberLen == 0)
        return zstore::fail(kFn, VPL_ERR_ID_NUMBER);
    if (!fileMedium(storageType)) return zstore::fail(kFn, -1);
    if (const int rc = zstore::passwordArg(password, passwordLen); rc != 0) return zstore::fail(kFn, rc);
    if (const int rc = zstore::checkKeyPassword(kFn, storageType, path, password, passwordLen, nullptr, nullptr);
        rc != 0)
        return rc;
    return VPL_UserCert_VIDCheck(path.c_str(), idNumber, idNumberLen, password, passwordLen);
}

VPL_API int VPL_Set_CertChange_Password(int storageType, const char* /*drive*/, int /*driveLen*/,
                                        const char* encCertPath, int pathLen, const char* oldPassword, int oldLen,
                                        const char* newPassword, int newLen) {
    static const char* const kFn = "VPL_Set_CertChange_Password";
    std::string path;
    if (const int rc = pathAndPassword(kFn, encCertPath, pathLen, oldPassword, oldLen, path); rc != 0) return rc;
    if (const int rc = zstore::checkKeyPassword(kFn, storageType, path, oldPassword, oldLen, nullptr, nullptr); rc != 0)
        return rc;
    if (const int rc = zstore::passwordArg(newPassword, newLen); rc != 0) return zstore::fail(kFn, rc);
    if (!fileMedium(storageType)) return zstore::fail(kFn, -1);
    return VPL_Set_User_PassWordChange(path.c_str(), oldPassword, oldLen, newPassword, newLen);
}

VPL_API int VPL_Set_CertChange_PasswordEx(int storageType, const char* /*drive*/, int /*driveLen*/,
                                          const char* encCertPath, int pathLen, const char* oldPassword, int oldLen,
                                          const char* newPassword, int newLen) {
    static const char* const kFn = "VPL_Set_CertChange_PasswordEx";
    std::string path;
    if (const int rc = pathAndPassword(kFn, encCertPath, pathLen, oldPassword, oldLen, path); rc != 0) return rc;
    if (const int rc = zstore::checkKeyPassword(kFn, storageType, path, oldPassword, oldLen, nullptr, nullptr); rc != 0)
        return rc;
    if (const int rc = zstore::passwordArg(newPassword, newLen); rc != 0) return zstore::fail(kFn, rc);
    if (!fileMedium(storageType)) return zstore::fail(kFn, -1);

    zstore::StoredPair sign;
    if (const int rc = zstore::readStoredPair(path, sign); rc != 0) return zstore::fail(kFn, rc);
    zstore::StoredPair km;
    std::string kmPath;
    bool withKm = false;
    if (encryptPathOf(path, sign.cls, kmPath) == 0) {
        const int rc = zstore::readStoredPair(kmPath, km);
        if (rc == 0)
            withKm = true;
        else
            ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Encrypt Cert without key (0x%08x). path=[%s]\n", kFn,
                       static_cast<unsigned>(rc), kmPath.c_str());
    }

    // Both keys are re-protected before either file changes: an encryption
    // key the old password does not open leaves both as they were.
    SecretBytes newSign, newKm;
    if (const int rc = reprotect(sign, oldPassword, oldLen, newPassword, newLen, newSign); rc != 0)
        return zstore::fail(kFn, rc);
    if (withKm) {
        if (const int rc = reprotect(km, oldPassword, oldLen, newPassword, newLen, newKm); rc != 0)
            return zstore::fail(kFn, rc);
    }
    const auto name = [](const std::string& p) { return p.substr(p.rfind('/') + 1); };
    zstore::StoreWriter writer;
    const std::string signDir = folderOf(sign.keyPath);
    std::vector<zstore::StoreWriter::File> files = {{name(sign.keyPath), newSign.view(), 0600}};
    bool written;
    if (withKm && folderOf(km.keyPath) == signDir) {
        files.push_back({name(km.keyPath), newKm.view(), 0600});
        written = writer.write(signDir, files);
    } else {
        written = writer.write(signDir, files) &&
                  (!withKm || writer.write(folderOf(km.keyPath), {{name(km.keyPath), newKm.view(), 0600}}));
    }
    if (!written) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : key write Fail path=[%s]\n", kFn, sign.keyPath.c_str());
        return zstore::fail(kFn, VPL_ERR_WRITE_FILE);
    }
    writer.commit();
    return 0;
}

VPL_API int VPL_Get_Path_EncryptCertFromSignCert(const char* encCertPath, int pathLen, char** encKmPath,
                                                 int* encKmPathLen) {
    static const char* const kFn = "VPL_Get_Path_EncryptCertFromSignCert";
    if (!encKmPath || !encKmPathLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *encKmPath = nullptr;
    *encKmPathLen = 0;
    if (!zstore::givenWithLength(encCertPath, pathLen)) return zstore::fail(kFn, VPL_ERR_PATH);
    std::string path;
    if (const int rc = zstore::decodePath(encCertPath, pathLen, path); rc != 0) return zstore::fail(kFn, rc);
    std::string cert;
    if (!zstore::readFile(path, cert)) return zstore::fail(kFn, VPL_ERR_READ_FILE);
    const int cls = VPL_Get_CertType(cert.data(), static_cast<int>(cert.size()));
    std::string kmPath;
    if (const int rc = encryptPathOf(path, cls, kmPath); rc != 0) return zstore::fail(kFn, rc);
    std::string kmCert;
    if (!zstore::readFile(kmPath, kmCert)) return zstore::fail(kFn, VPL_ERR_READ_FILE);
    if (VPL_DataEncode(0, kmPath.data(), static_cast<int>(kmPath.size()), encKmPath, encKmPathLen) != 0) {
        *encKmPath = nullptr;
        *encKmPathLen = 0;
        return zstore::fail(kFn, VPL_ERR_MALLOC);
    }
    return 0;
}

VPL_API int VPL_Data_Malloc(const char* text, char** copy, int* copyLen) {
    if (!copy || !copyLen) return zstore::fail("VPL_Data_Malloc", VPL_ERR_INVALID_PARAM);
    *copy = nullptr;
    *copyLen = 0;
    if (!text) return zstore::fail("VPL_Data_Malloc", VPL_ERR_INVALID_PARAM);
    return zstore::handOut(text, copy, copyLen);
}

VPL_API int VPL_Get_SubjectDNDer(int storageType, const char* /*unused*/, int /*unusedLen*/, const char* encCertPath,
                                 int pathLen, void** der, int* derLen) {
    static const char* const kFn = "VPL_Get_SubjectDNDer";
    if (!der || !derLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *der = nullptr;
    *derLen = 0;
    if (!zstore::givenWithLength(encCertPath, pathLen)) return zstore::fail(kFn, VPL_ERR_PATH);
    std::string path;
    if (const int rc = zstore::decodePath(encCertPath, pathLen, path); rc != 0) return zstore::fail(kFn, rc);
    if (storageType < 0 || storageType == 4 || storageType == VPL_STORAGE_ICCARD || storageType == 11 ||
        storageType > VPL_STORAGE_HSM)
        return zstore::fail(kFn, -1);
    std::string cert;
    if (const int rc = certificateOf(path, cert); rc != 0) return zstore::fail(kFn, rc);
    const zstore::InfoPtr info = zstore::readInfo(cert.data(), static_cast<int>(cert.size()));
    if (!info) return zstore::fail(kFn, VPL_ERR_X509_INFO);
    if (!info->subjectDER || info->subjectDERLen <= 0) return zstore::fail(kFn, -1);
    const std::string_view bytes(reinterpret_cast<const char*>(info->subjectDER),
                                 static_cast<size_t>(info->subjectDERLen));
    return zstore::emit(bytes, 0, der, derLen) == 0 ? 0 : zstore::fail(kFn, VPL_ERR_MALLOC);
}

VPL_API int VPL_CertToPEMCert(const void* cert, int len, int encodingFlag, char** pem, int* pemLen) {
    static const char* const kFn = "VPL_CertToPEMCert";
    int rc = 0;
    if (!pem || !pemLen || !cert || len <= 0) {
        rc = zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    } else {
        *pem = nullptr;
        *pemLen = 0;
        std::string text;
        rc = zstore::pemOf({static_cast<const char*>(cert), static_cast<size_t>(len)}, text);
        if (rc != 0)
            zstore::fail(kFn, rc);
        else if (!text.empty() && zstore::emit(text, encodingFlag, pem, pemLen) != 0)
            rc = zstore::fail(kFn, VPL_ERR_MALLOC);
    }
    zstore::setLastError(rc);
    return rc;
}

}  // extern "C"
