// Key passwords of the store's certificates, certificate folders and CPS
// addresses.
#include <cstring>
#include <string>

#include <zephaltpavix/certclass.h>
#include <zephaltpavix/encode.h>
#include <zephaltpavix/keypass.h>
#include <zephaltpavix/layout.h>
#include <zunCore/crypto.h>
#include <zunCore/keypass.h>

#include "base/store_internal.hpp"
#include "disk/disk_internal.hpp"
#include "list/list_internal.hpp"

namespace {

// Bytes of a certificate or key, wherever they came from, zeroed when they
// go.
struct Bytes {
    std::string data;
    Bytes() = default;
    Bytes(const Bytes&) = delete;
    Bytes& operator=(const Bytes&) = delete;
    ~Bytes() { zstore::wipe(data); }
    const void* ptr() const { return data.data(); }
    int len() const { return static_cast<int>(data.size()); }
};

bool lengthMatches(const char* text, int len) {
    return text && len >= 0 && strnlen(text, static_cast<size_t>(len) + 1) == static_cast<size_t>(len);
}

int readFile(const std::string& path, Bytes& out) {
    zstore::CoreBuffer file;
    if (VCL_Read_File(path.c_str(), &file.bytes, &file.len) != 0 || file.len <= 0) return VPL_ERR_READ_FILE;
    out.data.assign(file.view());
    return 0;
}

// A copy of the store's buffer, released (zeroed) at once.
void takeStoreBuffer(void* p, int len, Bytes& out) {
    if (p) out.data.assign(static_cast<const char*>(p), static_cast<size_t>(len));
    VPL_Free(p, len);
}

// Where a certificate's key lives: a pseudo path's cache, or a file.
struct Credentials {
    Bytes cert, key;
    bool cached = false;
    std::string keyPath;  // the key file
};

// The certificate and its key behind a path: 0 or the code of the step
// that failed.
int credentials(const char* fn, const char* certPath, Credentials& c) {
    const int medium = VPL_InputPath_Check(certPath);
    if (medium < 0) return -1;
    if (medium != VPL_STORAGE_HDD) {
        c.cached = true;
        void* p = nullptr;
        int n = 0;
        if (const int rc = VPL_Get_MemoryCert(certPath, &p, &n); rc != 0) return rc;
        takeStoreBuffer(p, n, c.cert);
        if (const int rc = VPL_Get_MemoryPrivateKey(certPath, &p, &n); rc != 0) return rc;
        takeStoreBuffer(p, n, c.key);
        return 0;
    }
    if (readFile(certPath, c.cert) != 0) return zstore::fail(fn, VPL_ERR_READ_FILE);
    const int cls = VPL_Get_CertType(c.cert.ptr(), c.cert.len());
    if (cls < 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : not Support Cert Type.\n", fn);
        return -1;
    }
    char* keyPath = nullptr;
    if (const int rc = VPL_CertPathConvKeyPath(cls, certPath, &keyPath); rc != 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Error code : %s(0x%08x) path=[%s]\n", fn, VPL_GetErrorString(rc),
                   static_cast<unsigned>(rc), certPath);
        return rc;
    }
    c.keyPath = keyPath;
    std::free(keyPath);
    if (readFile(c.keyPath, c.key) != 0) return zstore::fail(fn, VPL_ERR_READ_FILE);
    return 0;
}

}  // namespace

extern "C" {

VPL_API int VPL_PassWord_Check(const char* certPath, const char* password, int passwordLen, char** subject,
                               int* subjectLen) {
    static const char* const kFn = "VPL_PassWord_Check";
    if (!subject || !subjectLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *subject = nullptr;
    *subjectLen = 0;
    if (!lengthMatches(password, passwordLen)) return zstore::fail(kFn, VPL_ERR_PASSWORD_PARAM);
    Credentials c;
    if (const int rc = credentials(kFn, certPath, c); rc != 0) return rc;
    VCL_COM_Change_Non_Proven();
    if (const int rc = VCL_COM_Check_Password(c.key.ptr(), c.key.len(), password, passwordLen); rc != 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : VCL_COM_Check_Password Fail (0x%08x) path=[%s]\n", kFn,
                   static_cast<unsigned>(rc), certPath);
        return zstore::fail(kFn, VPL_ERR_PASSWORD);
    }
    const zstore::InfoPtr info = zstore::readInfo(c.cert.ptr(), c.cert.len());
    if (!info) return zstore::fail(kFn, VPL_ERR_X509_INFO);
    if (zstore::handOut(zstore::subjectName(zstore::field(info->subjectDN)), subject, subjectLen) != 0)
        return zstore::fail(kFn, VPL_ERR_MALLOC);
    return 0;
}

VPL_API int VPL_Priv_PassWord_Check(const void* key, int keyLen, const char* password, int passwordLen) {
    static const char* const kFn = "VPL_Priv_PassWord_Check";
    if (!key || keyLen <= 0) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    if (!lengthMatches(password, passwordLen)) return zstore::fail(kFn, VPL_ERR_PASSWORD_PARAM);
    VCL_COM_Change_Non_Proven();
    if (VCL_COM_Check_Password(key, keyLen, password, passwordLen) != 0) return zstore::fail(kFn, VPL_ERR_PASSWORD);
    return 0;
}

VPL_API int VPL_Set_User_PassWordChange(const char* certPath, const char* oldPassword, int oldLen,
                                        const char* newPassword, int newLen) {
    static const char* const kFn = "VPL_Set_User_PassWordChange";
    if (!certPath) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    if (!lengthMatches(oldPassword, oldLen) || !lengthMatches(newPassword, newLen))
        return zstore::fail(kFn, VPL_ERR_PASSWORD_PARAM);
    Credentials c;
    if (const int rc = credentials(kFn, certPath, c); rc != 0) return rc;
    VCL_COM_Change_Non_Proven();
    zstore::CoreBuffer changed;
    if (const int rc = VCL_COM_Change_Password(c.key.ptr(), c.key.len(), oldPassword, oldLen, newPassword, newLen,
                                               &changed.bytes, &changed.len);
        rc != 0 || changed.len <= 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : VCL_COM_Change_Password Fail (0x%08x) path=[%s]\n", kFn,
                   static_cast<unsigned>(rc), certPath);
        return zstore::fail(kFn, VPL_ERR_PASSWORD);
    }
    if (c.cached) return VPL_Set_MemoryPrivateKey(certPath, changed.bytes, changed.len);

    // The new key replaces the old one in one rename: until then the old
    // key is the file, and a failed write leaves nothing of the new one.
    const size_t slash = c.keyPath.rfind('/');
    const std::string dir = slash == 0 ? "/" : c.keyPath.substr(0, slash);
    zstore::StoreWriter writer;
    if (!writer.write(dir, {{c.keyPath.substr(slash + 1), changed.view(), 0600}})) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : key write Fail path=[%s]\n", kFn, c.keyPath.c_str());
        return zstore::fail(kFn, VPL_ERR_WRITE_FILE);
    }
    writer.commit();
    return 0;
}

VPL_API int VPL_CertPathToCertFolder(const char* certPath, char** folder) {
    if (!certPath || !folder) return zstore::fail("VPL_CertPathToCertFolder", VPL_ERR_PATH);
    *folder = nullptr;
    const std::string_view path(certPath);
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos || slash == 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_CertPathToCertFolder () : Memory Fail (%s)\n", certPath);
        return -1;
    }
    int len = 0;
    return zstore::handOut(path.substr(0, slash), folder, &len);
}

VPL_API int VPL_Get_CPSPath(const char* text, char** cps, int* cpsLen) {
    if (!text || !cps || !cpsLen) return zstore::fail("VPL_Get_CPSPath", VPL_ERR_INVALID_PARAM);
    *cps = nullptr;
    *cpsLen = 0;
    // Items are split at "," and at the record's "|" between policies: the
    // address of one policy does not run into the next.
    const std::string_view all(text);
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find_first_of(",|", start);
        if (end == std::string_view::npos) end = all.size();
        const std::string_view item = all.substr(start, end - start);
        if (zstore::startsWithNoCase(item, "CPS=")) return zstore::handOut(item.substr(4), cps, cpsLen);
        start = end + 1;
    }
    ZSTORE_LOG(VCL_LOG_DEBUG, "VPL_Get_CPSPath () : CPS Not Find\n");
    return 0;
}

VPL_API int VPL_Send_User_Noti(const char* certPath, char** cpsUrl, int* cpsUrlLen) {
    static const char* const kFn = "VPL_Send_User_Noti";
    if (!cpsUrl || !cpsUrlLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *cpsUrl = nullptr;
    *cpsUrlLen = 0;
    if (!certPath) return -1;
    Bytes cert;
    if (VPL_InputPath_Check(certPath) != VPL_STORAGE_HDD) {
        void* p = nullptr;
        int n = 0;
        if (const int rc = VPL_Get_MemoryCert(certPath, &p, &n); rc != 0) return rc;
        takeStoreBuffer(p, n, cert);
    } else if (readFile(certPath, cert) != 0) {
        return zstore::fail(kFn, VPL_ERR_READ_FILE);
    }
    const zstore::InfoPtr info = zstore::readInfo(cert.ptr(), cert.len());
    if (!info) return zstore::fail(kFn, VPL_ERR_X509_INFO);
    if (!info->policies) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Send_User_Noti () : CPS URL Not Found(0x%08x). path=[%s]",
                   static_cast<unsigned>(VPL_ERR_NO_CPS), certPath);
        return zstore::fail(kFn, VPL_ERR_NO_CPS);
    }
    char* cps = nullptr;
    int cpsLen = 0;
    if (const int rc = VPL_Get_CPSPath(info->policies, &cps, &cpsLen); rc != 0) return rc;
    char* encoded = nullptr;
    int encodedLen = 0;
    if (cps) VPL_DataEncode(1, cps, cpsLen, &encoded, &encodedLen);
    VPL_Free(cps, cpsLen);
    if (!encoded || encodedLen == 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Send_User_Noti () : EnCoding Error(%s)\n", certPath);
        VPL_Free(encoded, encodedLen);
        return -1;
    }
    *cpsUrl = encoded;
    *cpsUrlLen = encodedLen;
    return 0;
}

VPL_API int VPL_User_Notification(int storageType, int /*unused1*/, int /*unused2*/, const char* encCertPath,
                                  int pathLen, char** cpsUrl, int* cpsUrlLen) {
    static const char* const kFn = "VPL_User_Notification";
    if (!cpsUrl || !cpsUrlLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *cpsUrl = nullptr;
    *cpsUrlLen = 0;
    if (!lengthMatches(encCertPath, pathLen)) return zstore::fail(kFn, VPL_ERR_PATH);
    char* path = nullptr;
    int len = 0;
    if (const int rc = VPL_DataDecode(0, encCertPath, pathLen, &path, &len); rc != 0) return zstore::fail(kFn, rc);
    int rc;
    switch (storageType) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 6:
        case 9:
        case 10:
        case 12:
            // A decoded path holding a zero byte names another file.
            rc = std::strlen(path) == static_cast<size_t>(len) ? VPL_Send_User_Noti(path, cpsUrl, cpsUrlLen)
                                                               : zstore::fail(kFn, VPL_ERR_PATH);
            break;
        default:
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_User_Notification () : Store Type Fail (%d)\n", storageType);
            rc = -1;
    }
    VPL_Free(path, len);
    return rc;
}

}  // extern "C"
