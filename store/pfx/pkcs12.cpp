// PKCS#12 export of stored certificates, import into the store, and the
// credentials loaded for signing.
#include <cstring>
#include <string>
#include <vector>

#include <zephaltpavix/certclass.h>
#include <zephaltpavix/layout.h>
#include <zephaltpavix/pfx.h>
#include <zephaltpavix/sign.h>
#include <zunCore/pkcs12.h>

#include "disk/disk_internal.hpp"
#include "sign/sign_internal.hpp"

VPL_API PKI_STR_INFO* tmp_User_keys = nullptr;

namespace {

using zstore::SecretBytes;

int g_loadedCount = 0;

// An array of pairs as the core hands it out, released zeroed.
struct Pairs {
    PKISTRINFO* p = nullptr;
    int n = 0;
    Pairs() = default;
    Pairs(const Pairs&) = delete;
    Pairs& operator=(const Pairs&) = delete;
    ~Pairs() { reset(); }
    void reset() {
        if (p) {
            VCL_PK1_Free_PKISTRINFOS(p, n);
            std::free(p);
        }
        p = nullptr;
        n = 0;
    }
    PKISTRINFO* release() {
        PKISTRINFO* out = p;
        p = nullptr;
        n = 0;
        return out;
    }
};

// ---- Export ------------------------------------------------------------------

// The PKCS#12 of a decoded path: the signing pair (use 3) and, when there
// is one beside it, the encryption pair (use 4).
int makePfx(const char* fn, const char* certPath, const char* password, int passwordLen, int safeBagFlag,
            std::string& pfx) {
    if (!certPath) return zstore::fail(fn, VPL_ERR_INVALID_PARAM);
    if (const int rc = zstore::passwordArg(password, passwordLen); rc != 0) return zstore::fail(fn, rc);
    void* cert = nullptr;
    void* key = nullptr;
    int certLen = 0, keyLen = 0;
    int rc = VPL_SaveToken_CopyPath_Check(certPath, &cert, &certLen, &key, &keyLen);
    std::string signCert(static_cast<const char*>(cert), static_cast<size_t>(cert ? certLen : 0));
    SecretBytes signKey;
    signKey.assign({static_cast<const char*>(key), static_cast<size_t>(key ? keyLen : 0)});
    VPL_Free(cert, certLen);
    VPL_Free(key, keyLen);
    if (rc != 0) return rc;
    if (signKey.empty()) return zstore::fail(fn, VPL_ERR_READ_FILE);  // a CA certificate has no key
    const int cls = VPL_Get_CertType(signCert.data(), static_cast<int>(signCert.size()));
    if (cls == -1) return zstore::fail(fn, -1);

    std::string kmCert;
    SecretBytes kmKey;
    void* kc = nullptr;
    void* kk = nullptr;
    int kcLen = 0, kkLen = 0;
    if (VPL_Get_EncryptCertPrivateKey(cls, certPath, &kc, &kcLen, &kk, &kkLen) == 0) {
        kmCert.assign(static_cast<const char*>(kc), static_cast<size_t>(kcLen));
        kmKey.assign({static_cast<const char*>(kk), static_cast<size_t>(kkLen)});
    }
    VPL_Free(kc, kcLen);
    VPL_Free(kk, kkLen);

    PKISTRINFO entries[2] = {};
    zstore::SignerRecord sign(signCert, signKey.data(), signKey.size(), nullptr, 0);
    entries[0] = sign.info;
    entries[0].cert_use = VCL_CERT_USE_SIGN;
    int count = 1;
    if (!kmCert.empty() && !kmKey.empty()) {
        zstore::SignerRecord km(kmCert, kmKey.data(), kmKey.size(), nullptr, 0);
        entries[1] = km.info;
        entries[1].cert_use = VCL_CERT_USE_OTHER;
        count = 2;
    }
    zstore::CoreBuffer out;
    VCL_COM_Change_Non_Proven();
    rc = VCL_PK12_Make_PFX_With_SafeBagEncrypt(password, passwordLen, nullptr, 0, count, entries, 0, nullptr,
                                               &out.bytes, &out.len, safeBagFlag);
    if (rc != 0 || out.len <= 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : VCL_PK12_Make_PFX_With_SafeBagEncrypt Fail (0x%08x)\n", fn,
                   static_cast<unsigned>(rc));
        return zstore::fail(fn, VPL_ERR_PFX_EXPORT);
    }
    pfx.assign(out.view());
    return 0;
}

int writePfx(const char* fn, const std::string& target, std::string_view pfx) {
    const size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (!zstore::isSafeComponent(name)) return zstore::fail(fn, VPL_ERR_PATH);
    // The key bags are protected by the password only: the file is the
    // owner's alone, and appears whole or not at all.
    zstore::StoreWriter writer;
    if (!writer.write(dir, {{name, pfx, 0600}})) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : PFX write Fail path=[%s]\n", fn, target.c_str());
        return zstore::fail(fn, VPL_ERR_WRITE_FILE);
    }
    writer.commit();
    return 0;
}

// ---- Import ------------------------------------------------------------------

int openPfx(const char* fn, std::string_view data, const char* password, int passwordLen, Pairs& pairs) {
    if (const int rc = zstore::passwordArg(password, passwordLen); rc != 0) return zstore::fail(fn, rc);
    PKISTRINFO* certs = nullptr;
    int nCerts = 0;
    VCL_COM_Change_Non_Proven();
    const int rc = VCL_PK12_Verify_PFX(password, passwordLen, data.data(), static_cast<int>(data.size()), &pairs.n,
                                       &pairs.p, &nCerts, &certs);
    if (certs) {
        VCL_PK1_Free_PKISTRINFOS(certs, nCerts);
        std::free(certs);
    }
    if (rc != 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : VCL_PK12_Verify_PFX Fail (0x%08x)\n", fn, static_cast<unsigned>(rc));
        pairs.reset();
        return zstore::fail(fn, VPL_ERR_PFX);
    }
    if (!pairs.p) pairs.n = 0;
    return 0;
}

int readPfxFile(const char* fn, const char* path, std::string& data) {
    if (!path) return zstore::fail(fn, VPL_ERR_INVALID_PARAM);
    if (!zstore::readFile(path, data)) return zstore::fail(fn, VPL_ERR_READ_FILE);
    return 0;
}

// Stores every pair: the first failure is the result.
int storePairs(const char* fn, int flag, const char* drive, std::string_view data, const char* password,
               int passwordLen) {
    Pairs pairs;
    if (const int rc = openPfx(fn, data, password, passwordLen, pairs); rc != 0) return rc;
    if (pairs.n <= 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : No key in the PKCS#12\n", fn);
        return zstore::fail(fn, VPL_ERR_PFX);
    }
    int result = 0;
    for (int i = 0; i < pairs.n; ++i) {
        const int rc = VPL_Location_CertCreate(flag, drive, &pairs.p[i]);
        if (rc != 0) {
            ZSTORE_LOG(VCL_LOG_ERROR, "%s () : VPL_Location_CertCreate Fail (%d of %d, 0x%08x)\n", fn, i + 1, pairs.n,
                       static_cast<unsigned>(rc));
            if (result == 0) result = rc;
        }
    }
    return result;
}

int handOutPairs(Pairs& pairs, PKI_STR_INFO** entries, int* count) {
    *count = pairs.n;
    *entries = pairs.release();
    return 0;
}

}  // namespace

namespace zstore {

const PKISTRINFO* firstLoadedKey() {
    if (!tmp_User_keys || g_loadedCount <= 0 || !tmp_User_keys[0].key || tmp_User_keys[0].key_len <= 0 ||
        !tmp_User_keys[0].cert || tmp_User_keys[0].cert_len <= 0)
        return nullptr;
    return &tmp_User_keys[0];
}

void releaseLoadedKeys() {
    if (tmp_User_keys) {
        VCL_PK1_Free_PKISTRINFOS(tmp_User_keys, g_loadedCount);
        std::free(tmp_User_keys);
    }
    tmp_User_keys = nullptr;
    g_loadedCount = 0;
}

}  // namespace zstore

extern "C" {

VPL_API int VPL_Make_PFXFile_With_SafeBagEncrypt(const char* certPath, int /*unused*/, const char* pfxPath,
                                                 int /*unused2*/, const char* password, int passwordLen,
                                                 int safeBagFlag) {
    static const char* const kFn = "VPL_Make_PFXFile_With_SafeBagEncrypt";
    if (!pfxPath || !*pfxPath) return zstore::fail(kFn, VPL_ERR_PATH);
    std::string pfx;
    if (const int rc = makePfx(kFn, certPath, password, passwordLen, safeBagFlag, pfx); rc != 0) return rc;
    return writePfx(kFn, pfxPath, pfx);
}

VPL_API int VPL_Make_PFXFile(const char* certPath, int unused, const char* pfxPath, int unused2, const char* password,
                             int passwordLen) {
    return VPL_Make_PFXFile_With_SafeBagEncrypt(certPath, unused, pfxPath, unused2, password, passwordLen, 1);
}

VPL_API int VPL_Make_PFXBuf_With_SafeBagEncrypt(const char* certPath, int /*unused*/, const char* password,
                                                int passwordLen, int safeBagFlag, void** pfx, int* pfxLen) {
    static const char* const kFn = "VPL_Make_PFXBuf_With_SafeBagEncrypt";
    if (!pfx || !pfxLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *pfx = nullptr;
    *pfxLen = 0;
    std::string bytes;
    if (const int rc = makePfx(kFn, certPath, password, passwordLen, safeBagFlag, bytes); rc != 0) return rc;
    return zstore::emit(bytes, 0, pfx, pfxLen) == 0 ? 0 : zstore::fail(kFn, VPL_ERR_MALLOC);
}

VPL_API int VPL_Make_PFXBuf(const char* certPath, int unused, const char* password, int passwordLen, void** pfx,
                            int* pfxLen) {
    return VPL_Make_PFXBuf_With_SafeBagEncrypt(certPath, unused, password, passwordLen, 1, pfx, pfxLen);
}

VPL_API int VPL_Set_PFXFile_With_SafeBagEncrypt(int storageType, const char* drive, int driveLen,
                                                const char* encCertPath, int pathLen, const char* pfxPath,
                                                int pfxPathLen, const char* password, int passwordLen,
                                                int safeBagFlag) {
    static const char* const kFn = "VPL_Set_PFXFile_With_SafeBagEncrypt";
    if (!zstore::givenWithLength(encCertPath, pathLen) || !zstore::givenWithLength(pfxPath, pfxPathLen) ||
        pfxPathLen == 0)
        return zstore::fail(kFn, VPL_ERR_PATH);
    std::string path;
    if (const int rc = zstore::decodePath(encCertPath, pathLen, path); rc != 0) return zstore::fail(kFn, rc);
    if (const int rc = zstore::passwordArg(password, passwordLen); rc != 0) return zstore::fail(kFn, rc);
    // Media that are no file stores need their PIN; this build exports from
    // them only what a domain caches (types 2 and 3).
    if (storageType < 0 || storageType > VPL_STORAGE_HSM) return zstore::fail(kFn, -1);
    if (storageType > VPL_STORAGE_USBT) {
        if (!drive || driveLen <= 0) return zstore::fail(kFn, VPL_ERR_PIN);
        return zstore::fail(kFn, -1);
    }
    if (const int rc = zstore::checkKeyPassword(kFn, storageType, path, password, passwordLen, nullptr, nullptr);
        rc != 0)
        return rc;
    return VPL_Make_PFXFile_With_SafeBagEncrypt(path.c_str(), 0, pfxPath, 0, password, passwordLen, safeBagFlag);
}

VPL_API int VPL_Set_PFXFile(int storageType, const char* drive, int driveLen, const char* encCertPath, int pathLen,
                            const char* pfxPath, int pfxPathLen, const char* password, int passwordLen) {
    return VPL_Set_PFXFile_With_SafeBagEncrypt(storageType, drive, driveLen, encCertPath, pathLen, pfxPath, pfxPathLen,
                                               password, passwordLen, 1);
}

VPL_API int VPL_Set_PFXBuf_With_SafeBagEncrypt(int storageType, const char* encCertPath, int pathLen,
                                               const char* password, int passwordLen, int safeBagFlag, void** pfx,
                                               int* pfxLen) {
    static const char* const kFn = "VPL_Set_PFXBuf_With_SafeBagEncrypt";
    if (!pfx || !pfxLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *pfx = nullptr;
    *pfxLen = 0;
    if (!zstore::givenWithLength(encCertPath, pathLen)) return zstore::fail(kFn, VPL_ERR_PATH);
    std::string path;
    if (const int rc = zstore::decodePath(encCertPath, pathLen, path); rc != 0) return zstore::fail(kFn, rc);
    if (const int rc = zstore::passwordArg(password, passwordLen); rc != 0) return zstore::fail(kFn, rc);
    if (storageType < 0 || storageType > VPL_STORAGE_USBT) return zstore::fail(kFn, -1);
    if (const int rc = zstore::checkKeyPassword(kFn, storageType, path, password, passwordLen, nullptr, nullptr);
        rc != 0)
        return rc;
    return VPL_Make_PFXBuf_With_SafeBagEncrypt(path.c_str(), 0, password, passwordLen, safeBagFlag, pfx, pfxLen);
}

VPL_API int VPL_Set_PFXBuf(int storageType, const char* encCertPath, int pathLen, const char* password, int passwordLen,
                           void** pfx, int* pfxLen) {
    return VPL_Set_PFXBuf_With_SafeBagEncrypt(storageType, encCertPath, pathLen, password, passwordLen, 1, pfx, pfxLen);
}

VPL_API int VPL_PFXBufToCert(const void* pfx, int pfxLen, const char* password, int passwordLen, PKI_STR_INFO** entries,
                             int* count) {
    static const char* const kFn = "VPL_PFXBufToCert";
    if (!entries || !count) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *entries = nullptr;
    *count = 0;
    if (!pfx || pfxLen <= 0) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    Pairs pairs;
    if (const int rc =
            openPfx(kFn, {static_cast<const char*>(pfx), static_cast<size_t>(pfxLen)}, password, passwordLen, pairs);
        rc != 0)
        return rc;
    return handOutPairs(pairs, entries, count);
}

VPL_API int VPL_PFXFileToCert(const char* pfxPath, const char* password, int passwordLen, PKI_STR_INFO** entries,
                              int* count) {
    static const char* const kFn = "VPL_PFXFileToCert";
    if (!entries || !count) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *entries = nullptr;
    *count = 0;
    std::string data;
    if (const int rc = readPfxFile(kFn, pfxPath, data); rc != 0) return rc;
    Pairs pairs;
    if (const int rc = openPfx(kFn, data, password, passwordLen, pairs); rc != 0) return rc;
    return handOutPairs(pairs, entries, count);
}

VPL_API int VPL_Get_PFXBuf(const void* pfx, int pfxLen, int flag, const char* drive, const char* password,
                           int passwordLen) {
    static const char* const kFn = "VPL_Get_PFXBuf";
    if (!pfx || pfxLen <= 0) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    return storePairs(kFn, flag, drive, {static_cast<const char*>(pfx), static_cast<size_t>(pfxLen)}, password,
                      passwordLen);
}

VPL_API int VPL_Get_FDD_PFXBuf(const void* pfx, int pfxLen, const char* drive, const char* password, int passwordLen) {
    return VPL_Get_PFXBuf(pfx, pfxLen, 1, drive, password, passwordLen);
}

VPL_API int VPL_Get_HDD_PFXFile(const char* pfxPath, const char* password, int passwordLen) {
    static const char* const kFn = "VPL_Get_HDD_PFXFile";
    std::string data;
    if (const int rc = readPfxFile(kFn, pfxPath, data); rc != 0) return rc;
    return storePairs(kFn, 0, nullptr, data, password, passwordLen);
}

VPL_API int VPL_Get_FDD_PFXFile(const char* pfxPath, const char* drive, const char* password, int passwordLen) {
    static const char* const kFn = "VPL_Get_FDD_PFXFile";
    std::string data;
    if (const int rc = readPfxFile(kFn, pfxPath, data); rc != 0) return rc;
    return storePairs(kFn, 1, drive, data, password, passwordLen);
}

VPL_API int VPL_Get_PFXFile(int storageType, const char* pfxPath, int pathLen, const char* drive, int driveLen,
                            int /*unused1*/, int /*unused2*/, const char* password, int passwordLen) {
    static const char* const kFn = "VPL_Get_PFXFile";
    if (!zstore::givenWithLength(pfxPath, pathLen) || pathLen == 0) return zstore::fail(kFn, VPL_ERR_PATH);
    if (const int rc = zstore::passwordArg(password, passwordLen); rc != 0) return zstore::fail(kFn, rc);
    if (storageType == VPL_STORAGE_HDD) return VPL_Get_HDD_PFXFile(pfxPath, password, passwordLen);
    if (storageType == VPL_STORAGE_REMOVABLE) {
        if (!zstore::givenWithLength(drive, driveLen) || driveLen == 0) return zstore::fail(kFn, VPL_ERR_PATH);
        return VPL_Get_FDD_PFXFile(pfxPath, drive, password, passwordLen);
    }
    ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Get_PFXFile () : Store Type(%d) Not Support\n", storageType);
    return -1;
}

VPL_API int VPL_Get_Domain_PFXFile(int storageType, const char* domain, int /*domainLen*/, const char* pfxPath,
                                   int pathLen, const char* drive, int driveLen, int unused1, int unused2,
                                   const char* password, int passwordLen) {
    static const char* const kFn = "VPL_Get_Domain_PFXFile";
    ZSTORE_LOG(VCL_LOG_DEBUG, "VPL_Get_Domain_PFXFile () : domain=[%s] type=%d\n", domain ? domain : "", storageType);
    if (!zstore::givenWithLength(pfxPath, pathLen) || pathLen == 0) return zstore::fail(kFn, VPL_ERR_PATH);
    if (const int rc = zstore::passwordArg(password, passwordLen); rc != 0) return zstore::fail(kFn, rc);
    if (storageType < 0 || storageType > 11) return zstore::fail(kFn, -1);
    return VPL_Get_PFXFile(storageType, pfxPath, pathLen, drive, driveLen, unused1, unused2, password, passwordLen);
}

VPL_API int VPL_Get_PFXBuffer(const char* pfxPath, int pathLen, const char* password, int passwordLen) {
    static const char* const kFn = "VPL_Get_PFXBuffer";
    // What an earlier load held belongs to an earlier job.
    zstore::releaseLoadedKeys();
    if (!zstore::givenWithLength(pfxPath, pathLen) || pathLen == 0) return zstore::fail(kFn, VPL_ERR_PATH);
    if (const int rc = zstore::passwordArg(password, passwordLen); rc != 0) return zstore::fail(kFn, rc);
    std::string data;
    if (const int rc = readPfxFile(kFn, pfxPath, data); rc != 0) return rc;
    Pairs pairs;
    if (const int rc = openPfx(kFn, data, password, passwordLen, pairs); rc != 0) return rc;
    if (pairs.n <= 0) return zstore::fail(kFn, VPL_ERR_PFX);
    g_loadedCount = pairs.n;
    tmp_User_keys = pairs.release();
    ZSTORE_LOG(VCL_LOG_DEBUG, "VPL_Get_PFXBuffer () : %d key(s) loaded\n", g_loadedCount);
    return 0;
}

VPL_API int VPL_Get_PFXBuf_KeyChain(void) { return 0; }
VPL_API int VPL_Get_KeyChain_PFXBuf(void) { return 0; }

}  // extern "C"
