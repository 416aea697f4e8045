// Pseudo paths of non-file media and the credentials their domains cache;
// the credentials behind any path.
#include <cstring>
#include <string>
#include <vector>

#include <zephaltpavix/certclass.h>
#include <zephaltpavix/context.h>
#include <zephaltpavix/layout.h>

#include "base/store_internal.hpp"
#include "context/context_internal.hpp"

namespace {

// The non-empty "/"-separated components of a path.
std::vector<std::string_view> components(std::string_view path) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// The node a domain's context caches for a pseudo path, or null.
CertsInfo* cachedNode(const char* path) {
    const int type = VPL_InputPath_Check(path);
    if (type <= 0) return nullptr;
    const std::vector<std::string_view> parts = components(path);
    CTX* ctx = VPL_Find_CTX(g_CTX_Head, std::string(parts.front()).c_str());
    if (!ctx) return nullptr;
    CertsInfo** list = zstore::cachedList(*ctx, type);
    return list ? VPL_Find_CertsInfo(*list, path) : nullptr;
}

int copyOut(const void* bytes, int len, void** out, int* outLen) {
    char* copy = nullptr;
    const int rc = zstore::handOut({static_cast<const char*>(bytes), static_cast<size_t>(len)}, &copy, outLen);
    *out = copy;
    return rc;
}

}  // namespace

extern "C" {

VPL_API int VPL_InputPath_Check(const char* path) {
    if (!path) return -1;
    // An absolute path is a file of a store, whatever its folders are
    // called (/home/hsmith is no HSM).
    if (path[0] == '/') return VPL_STORAGE_HDD;
    const std::vector<std::string_view> parts = components(path);
    if (parts.size() < 2) return VPL_STORAGE_HDD;
    const std::string_view medium = parts[1];
    using zstore::startsWithNoCase;
    if (startsWithNoCase(medium, "USBT")) return VPL_STORAGE_USBT;
    if (startsWithNoCase(medium, "MEMORY")) return VPL_STORAGE_MEMORY;
    if (startsWithNoCase(medium, "SCARD")) return VPL_STORAGE_SCARD;
    if (startsWithNoCase(medium, "ICCARD")) return VPL_STORAGE_ICCARD;
    if (zstore::equalNoCase(medium, "PHONE")) return VPL_STORAGE_PHONE;
    if (startsWithNoCase(medium, "HSM")) return VPL_STORAGE_HSM;
    return VPL_STORAGE_HDD;
}

VPL_API int VPL_Get_PathToDomain(const char* path, char** domain, int* len) {
    if (!path || !domain || !len) return zstore::fail("VPL_Get_PathToDomain", VPL_ERR_INVALID_PARAM);
    *domain = nullptr;
    *len = 0;
    const std::vector<std::string_view> parts = components(path);
    if (parts.size() < 2) return -1;
    return zstore::handOut(parts.front(), domain, len);
}

VPL_API int VPL_Set_MemoryPrivateKey(const char* path, const void* key, int keyLen) {
    static const char* const kFn = "VPL_Set_MemoryPrivateKey";
    if (!path || !key || keyLen <= 0) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    CertsInfo* node = cachedNode(path);
    if (!node) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Set_MemoryPrivateKey () : Not Found Path[%s]\n", path);
        return zstore::fail(kFn, VPL_ERR_READ_FILE);
    }
    unsigned char* copy = reinterpret_cast<unsigned char*>(
        zstore::newBuffer({static_cast<const char*>(key), static_cast<size_t>(keyLen)}));
    if (!copy) return zstore::fail(kFn, VPL_ERR_MALLOC);
    zstore::release(node->key, node->keyLen);
    node->key = copy;
    node->keyLen = keyLen;
    return 0;
}

VPL_API int VPL_Get_MemoryPrivateKey(const char* path, void** key, int* keyLen) {
    static const char* const kFn = "VPL_Get_MemoryPrivateKey";
    if (!path || !key || !keyLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *key = nullptr;
    *keyLen = 0;
    const CertsInfo* node = cachedNode(path);
    if (!node || node->certLen <= 0 || !node->key || node->keyLen <= 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Get_MemoryPrivateKey () : Not Found Path[%s]\n", path);
        return zstore::fail(kFn, VPL_ERR_READ_FILE);
    }
    const int rc = copyOut(node->key, node->keyLen, key, keyLen);
    return rc ? zstore::fail(kFn, rc) : 0;
}

VPL_API int VPL_Get_MemoryCert(const char* path, void** cert, int* certLen) {
    static const char* const kFn = "VPL_Get_MemoryCert";
    if (!path || !cert || !certLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *cert = nullptr;
    *certLen = 0;
    const CertsInfo* node = cachedNode(path);
    if (!node || !node->cert || node->certLen <= 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Get_MemoryCert () : Not Found Path[%s]\n", path);
        return zstore::fail(kFn, VPL_ERR_READ_FILE);
    }
    const int rc = copyOut(node->cert, node->certLen, cert, certLen);
    return rc ? zstore::fail(kFn, rc) : 0;
}

VPL_API int VPL_Set_HSM_Drive(const char* domain, int domainLen, const char* module, int moduleLen) {
    static const char* const kFn = "VPL_Set_HSM_Drive";
    if (!domain || !module || domainLen < 0 || moduleLen < 0 || std::strlen(domain) != static_cast<size_t>(domainLen) ||
        std::strlen(module) != static_cast<size_t>(moduleLen))
        return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    CTX* ctx = VPL_Find_CTX(g_CTX_Head, domain);
    if (!ctx) return zstore::fail(kFn, VPL_ERR_NO_DOMAIN);
    char* copy = zstore::newBuffer({module, static_cast<size_t>(moduleLen)});
    if (!copy) return zstore::fail(kFn, VPL_ERR_MALLOC);
    zstore::release(ctx->pHSM_Module, ctx->pHSM_ModuleLen);
    ctx->pHSM_Module = copy;
    ctx->pHSM_ModuleLen = moduleLen;
    return 0;
}

VPL_API int VPL_Get_PathToSubjectDNAndSerial(const char* path, char** subjectDN, int* dnLen, char** hexSerial,
                                             int* serialLen) {
    static const char* const kFn = "VPL_Get_PathToSubjectDNAndSerial";
    if (!path || !subjectDN || !dnLen || !hexSerial || !serialLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *subjectDN = *hexSerial = nullptr;
    *dnLen = *serialLen = 0;
    void* cert = nullptr;
    int certLen = 0;
    if (const int rc = VPL_Get_MemoryCert(path, &cert, &certLen); rc != 0) return rc;
    const zstore::InfoPtr info = zstore::readInfo(cert, certLen);
    VPL_Free(cert, certLen);
    if (!info) return zstore::fail(kFn, VPL_ERR_X509_INFO);
    const std::string_view dn = zstore::field(info->subjectDN), serial = zstore::field(info->serialHex);
    if ((!dn.empty() && zstore::handOut(dn, subjectDN, dnLen) != 0) ||
        (!serial.empty() && zstore::handOut(serial, hexSerial, serialLen) != 0)) {
        VPL_Free(*subjectDN, *dnLen);
        *subjectDN = nullptr;
        *dnLen = 0;
        return zstore::fail(kFn, VPL_ERR_MALLOC);
    }
    return 0;
}

VPL_API int VPL_SaveToken_CopyPath_Check(const char* certPath, void** cert, int* certLen, void** key, int* keyLen) {
    static const char* const kFn = "VPL_SaveToken_CopyPath_Check";
    if (!certPath || !cert || !certLen || !key || !keyLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *cert = *key = nullptr;
    *certLen = *keyLen = 0;
    if (VPL_InputPath_Check(certPath) != VPL_STORAGE_HDD) {
        if (const int rc = VPL_Get_MemoryCert(certPath, cert, certLen); rc != 0) {
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_SaveToken_CopyPath_Check () : VPL_Get_MemoryCert Fail(Path:%s)\n", certPath);
            return rc;
        }
        if (const int rc = VPL_Get_MemoryPrivateKey(certPath, key, keyLen); rc != 0) {
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_SaveToken_CopyPath_Check () : VPL_Get_MemoryPrivateKey Fail(Path:%s)\n",
                       certPath);
            VPL_Free(*cert, *certLen);
            *cert = nullptr;
            *certLen = 0;
            return rc;
        }
        return 0;
    }
    zstore::CoreBuffer certFile;
    if (VCL_Read_File(certPath, &certFile.bytes, &certFile.len) != 0) return zstore::fail(kFn, VPL_ERR_READ_FILE);
    const int cls = VPL_Get_CertType(certFile.bytes, certFile.len);
    if (cls < VPL_CLASS_PUBLIC_SIGN || cls > VPL_CLASS_GPKI_CA) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_SaveToken_CopyPath_Check () : not Support Cert Type.\n");
        return -1;
    }
    zstore::CoreBuffer keyFile;
    if (cls <= VPL_CLASS_GPKI_KM) {
        char* keyPath = nullptr;
        if (const int rc = VPL_CertPathConvKeyPath(cls, certPath, &keyPath); rc != 0) return rc;
        const int read = VCL_Read_File(keyPath, &keyFile.bytes, &keyFile.len);
        std::free(keyPath);
        if (read != 0) return zstore::fail(kFn, VPL_ERR_READ_FILE);
    }
    if (copyOut(certFile.bytes, certFile.len, cert, certLen) != 0) return zstore::fail(kFn, VPL_ERR_MALLOC);
    if (keyFile.len > 0 && copyOut(keyFile.bytes, keyFile.len, key, keyLen) != 0) {
        VPL_Free(*cert, *certLen);
        *cert = nullptr;
        *certLen = 0;
        return zstore::fail(kFn, VPL_ERR_MALLOC);
    }
    return 0;
}

}  // extern "C"
