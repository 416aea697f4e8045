// Private-PKI requests (PKCS#10 through the CMP client) and the private
// store's files: the new key waits under a name made from its modulus until
// the certificate comes back, and certificate and key go into the store
// only as a pair that belongs together.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <zephaltpavix/base.h>
#include <zephaltpavix/certclass.h>
#include <zephaltpavix/context.h>
#include <zephaltpavix/crypto.h>
#include <zephaltpavix/encode.h>
#include <zephaltpavix/error.h>
#include <zephaltpavix/issue.h>
#include <zephaltpavix/layout.h>
#include <zunCore/keys.h>
#include <zunCore/util.h>
#include <zunCore/x509_conv.h>

#include "base/store_internal.hpp"
#include "cert/certclass_internal.hpp"
#include "context/context_internal.hpp"
#include "disk/disk_internal.hpp"
#include "issue/issue_internal.hpp"

namespace {

constexpr int kErrNoRequest = 1052071;
constexpr int kErrNotHeld = 1052072;
constexpr int kErrCaName = 1052016;
// The request holder copies the caller's texts; a text this long is none.
constexpr int kTextMax = 4096;

struct RsaInfoDeleter {
    void operator()(RSAINFO* p) const {
        explicit_bzero(p, sizeof *p);
        std::free(p);
    }
};
using RsaInfoPtr = std::unique_ptr<RSAINFO, RsaInfoDeleter>;

// The private CA's folders under a base.
std::string privateUserDir(const std::string& base) { return base + "/PPKI/Veridan/VERIDAN CA/USER"; }

// A certificate text (PEM or DER) as DER; false when it does not convert.
bool certificateDer(const void* cert, int len, std::string& der) {
    zstore::CoreBuffer out;
    void* bytes = nullptr;
    int n = 0;
    if (!cert || len <= 0 || VCL_X509_Conv_Cert2DER(cert, len, &bytes, &n) != 0 || !bytes) return false;
    out.bytes = static_cast<unsigned char*>(bytes);
    out.len = n;
    der.assign(out.view());
    return true;
}

// The name of a certificate's kept key: 0, the code of the failing step.
int certKeyName(const std::string& der, std::string& name) {
    RSAINFO* raw = nullptr;
    if (VCL_PK1_Cert_To_RSAINFO(der.data(), static_cast<int>(der.size()), &raw) != 0 || !raw) return VPL_ERR_X509_INFO;
    const RsaInfoPtr info(raw);
    name = zstore::modulusName(info->modulus, info->modulus_len);
    return name.empty() ? VPL_ERR_HASH : 0;
}

// Whether the encrypted key opens with password and is the certificate's:
// 0, VPL_ERR_PASSWORD, or VPL_ERR_CERT_TYPE for another key.
int keyMatches(const std::string& certDer, std::string_view key, const char* password) {
    RSAINFO* rawKey = nullptr;
    if (!password ||
        VCL_PK1_Privatekey_To_RSAINFO(key.data(), static_cast<int>(key.size()), password,
                                      static_cast<int>(std::strlen(password)), &rawKey) != 0 ||
        !rawKey)
        return VPL_ERR_PASSWORD;
    const RsaInfoPtr keyInfo(rawKey);
    RSAINFO* rawCert = nullptr;
    if (VCL_PK1_Cert_To_RSAINFO(certDer.data(), static_cast<int>(certDer.size()), &rawCert) != 0 || !rawCert)
        return VPL_ERR_X509_INFO;
    const RsaInfoPtr certInfo(rawCert);
    const bool same = keyInfo->modulus_len == certInfo->modulus_len &&
                      std::memcmp(keyInfo->modulus, certInfo->modulus, static_cast<size_t>(keyInfo->modulus_len)) == 0;
    if (!same) ZSTORE_LOG(VCL_LOG_ERROR, "VPL_PPKI () : the certificate is not the key's; nothing stored\n");
    return same ? 0 : VPL_ERR_CERT_TYPE;
}

bool readWhole(const std::string& path, std::string& out) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    char chunk[4096];
    bool ok = true;
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        out.append(chunk, static_cast<size_t>(n));
    }
    explicit_bzero(chunk, sizeof chunk);
    close(fd);
    return ok;
}

// The request for dn with a new key of keyBits, held for the insert.
int makeRequest(int storageType, const char* drive, int driveLen, const char* pin, int pinLen, const char* caName,
                const char* dn, const char* password, int passwordLen, int keyBits, char** request, int* requestLen,
                char** privateKey, int* privateKeyLen) {
    static const char* const kFn = "VPL_Get_Issue_Certificate_PKCS10";
    if (!caName || !dn || !request || !requestLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *request = nullptr;
    *requestLen = 0;
    char* checked = nullptr;
    int checkedLen = 0;
    if (const int rc = VPL_DN_Convert(dn, &checked, &checkedLen); rc != 0) return rc;
    VPL_Free(checked, checkedLen);
    if (!zstore::startsWithNoCase(caName, PPKI_CA_NAME)) return zstore::fail(kFn, kErrCaName);
    if (!password || passwordLen <= 0 || passwordLen > kTextMax) return zstore::fail(kFn, VPL_ERR_PASSWORD_PARAM);
    const std::string pw(zstore::bounded(password, passwordLen));

    zstore::CmpSession session;
    if (session.open("SHA256", "2048") != 0) return -1;
    unsigned char* req = nullptr;
    unsigned char* key = nullptr;
    int reqLen = 0, keyLen = 0;
    const int rc = lpCMP_PPKI_MAKE_PKCS10(dn, pw.c_str(), keyBits, 0, &req, &reqLen, &key, &keyLen);
    struct Release {
        unsigned char*& p;
        ~Release() {
            if (p && lpCMP_StringFree) lpCMP_StringFree(p);
        }
    } releaseReq{req}, releaseKey{key};
    if (rc != 0 || !req || reqLen <= 0 || !key || keyLen <= 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Error code : %s(0x%08x)\n", kFn, session.errorText(rc),
                   static_cast<unsigned>(rc));
        return zstore::fail(kFn, kErrNoRequest);
    }
    if (VPL_Init_PKCS10_Cert() != 0) return VPL_ERR_MALLOC;
    VPL_PKCS10_Certs* held = g_PPKI_PKCS10;
    auto copy = [](std::string_view bytes, auto*& field, int& len) {
        using T = std::remove_reference_t<decltype(*field)>;
        field = reinterpret_cast<T*>(zstore::newBuffer(bytes));
        len = field ? static_cast<int>(bytes.size()) : 0;
        return field != nullptr;
    };
    const std::string_view keyBytes(reinterpret_cast<const char*>(key), static_cast<size_t>(keyLen));
    bool ok = copy(keyBytes, held->privateKey, held->privateKeyLen);
    held->storageType = storageType;
    if (ok && drive && driveLen > 0) ok = copy(zstore::bounded(drive, driveLen), held->drive, held->driveLen);
    if (ok && pin && pinLen > 0) ok = copy(zstore::bounded(pin, pinLen), held->pin, held->pinLen);
    if (ok) ok = copy(pw, held->password, held->passwordLen);
    if (ok && privateKey && privateKeyLen) ok = zstore::handOut(keyBytes, privateKey, privateKeyLen) == 0;
    if (!ok) {
        VPL_Delete_PKCS10_Cert();
        return zstore::fail(kFn, VPL_ERR_MALLOC);
    }
    return VPL_DataEncode(0, req, reqLen, request, requestLen);
}

}  // namespace

namespace zstore {

std::string modulusName(const unsigned char* modulus, int len) {
    // The modulus as openssl prints it: no leading zero octet.
    while (len > 0 && *modulus == 0) {
        ++modulus;
        --len;
    }
    if (len <= 0) return {};
    void* digest = nullptr;
    int digestLen = 0;
    if (VPL_HASH_Data(modulus, len, &digest, &digestLen, "SHA1") != 0 || !digest) return {};
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string name;
    for (int i = 0; i < digestLen; ++i) {
        const unsigned char b = static_cast<unsigned char*>(digest)[i];
        name += kHex[b >> 4];
        name += kHex[b & 15];
    }
    VPL_Free(digest, digestLen);
    return name;
}

int storePrivatePair(int flag, const char* drive, std::string_view certDer, std::string_view key) {
    static const char* const kFn = "VPL_Store_PCertAndPPriKey";
    std::string base;
    if (flag == 0) {
        if (const int rc = homeDirectory(base); rc != 0) return fail(kFn, rc);
    } else {
        if (!drive || !*drive) return fail(kFn, VPL_ERR_DRIVE);
        base = withoutTrailingSlash(drive);
    }
    const InfoPtr info = readInfo(certDer.data(), static_cast<int>(certDer.size()));
    if (!info) return fail(kFn, VPL_ERR_X509_INFO);
    // The one folder name of a subject DN (UTF-8), as the walks read it.
    StoreNames names;
    const int named = storeNames(*info, names);
    if (named == VPL_ERR_PATH || names.subject.empty() || !isSafeComponent(names.subject))
        return fail(kFn, VPL_ERR_PATH);
    if (named != 0) return fail(kFn, VPL_ERR_X509_INFO);
    PKI_STR_INFO rec{};
    rec.cert = reinterpret_cast<unsigned char*>(const_cast<char*>(certDer.data()));
    rec.cert_len = static_cast<int>(certDer.size());
    rec.key = reinterpret_cast<unsigned char*>(const_cast<char*>(key.data()));
    rec.key_len = static_cast<int>(key.size());
    rec.cert_use = VCL_CERT_USE_SIGN;
    return VPL_Cert_Create(&rec, VPL_CLASS_PRIVATE_SIGN, (base + "/PPKI").c_str(), "Veridan", "VERIDAN CA",
                           names.subject.c_str());
}

}  // namespace zstore

extern "C" {

VPL_API int VPL_Get_Issue_Certificate_PKCS10(int storageType, const char* drive, int driveLen, const char* pin,
                                             int pinLen, const char* caName, int, const char* dn, int,
                                             const char* password, int passwordLen, char** request, int* requestLen) {
    return makeRequest(storageType, drive, driveLen, pin, pinLen, caName, dn, password, passwordLen, 1024, request,
                       requestLen, nullptr, nullptr);
}

VPL_API int VPL_Get_Issue_Certificate_PKCS10_ex(int storageType, const char* drive, int driveLen, const char* pin,
                                                int pinLen, const char* caName, int, const char* dn, int,
                                                const char* password, int passwordLen, int keyBits, char** request,
                                                int* requestLen, char** privateKey, int* privateKeyLen) {
    if (privateKey && privateKeyLen) {
        *privateKey = nullptr;
        *privateKeyLen = 0;
    }
    return makeRequest(storageType, drive, driveLen, pin, pinLen, caName, dn, password, passwordLen, keyBits, request,
                       requestLen, privateKey, privateKeyLen);
}

VPL_API int VPL_Insert_PKCS10_Cert(const char* cert, int certLen) {
    static const char* const kFn = "VPL_Insert_PKCS10_Cert";
    if (!cert || certLen <= 0) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    const VPL_PKCS10_Certs* held = g_PPKI_PKCS10;
    if (!held || !held->privateKey) return zstore::fail(kFn, kErrNotHeld);
    std::string der;
    if (!certificateDer(cert, certLen, der)) return zstore::fail(kFn, VPL_ERR_CERT_DER);
    const std::string_view key(reinterpret_cast<const char*>(held->privateKey),
                               static_cast<size_t>(held->privateKeyLen));
    if (const int rc = keyMatches(der, key, held->password); rc != 0) return zstore::fail(kFn, rc);
    PKI_STR_INFO rec{};
    rec.cert = reinterpret_cast<unsigned char*>(der.data());
    rec.cert_len = static_cast<int>(der.size());
    rec.key = held->privateKey;
    rec.key_len = held->privateKeyLen;
    rec.cert_use = VCL_CERT_USE_SIGN;
    switch (held->storageType) {
        case VPL_STORAGE_HDD:
            return VPL_Location_CertCreate(0, nullptr, &rec);
        case VPL_STORAGE_REMOVABLE:
            return VPL_Location_CertCreate(1, held->drive, &rec);
        default:
            // The key chain stores nothing here: the held key stays for a
            // medium that keeps it.
            ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Not Support StoreType[%d]\n", kFn, held->storageType);
            return -1;
    }
}

VPL_API int VPL_Store_PCertAndPPriKey(int flag, const char* drive, const char* certText, const char* key, int keyLen,
                                      const char* password) {
    static const char* const kFn = "VPL_Store_PCertAndPPriKey";
    if (!certText || !key || keyLen <= 0) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    std::string der;
    if (!certificateDer(certText, static_cast<int>(std::strlen(certText)), der))
        return zstore::fail(kFn, VPL_ERR_CERT_DER);
    const std::string_view keyBytes(key, static_cast<size_t>(keyLen));
    if (const int rc = keyMatches(der, keyBytes, password); rc != 0) return zstore::fail(kFn, rc);
    return zstore::storePrivatePair(flag, drive, der, keyBytes);
}

VPL_API int VPL_Make_Temp_PPriKey(const char* key, int keyLen, const char* password) {
    static const char* const kFn = "VPL_Make_Temp_PPriKey";
    if (!key || keyLen <= 0 || !password) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    RSAINFO* raw = nullptr;
    const int opened =
        VCL_PK1_Privatekey_To_RSAINFO(key, keyLen, password, static_cast<int>(std::strlen(password)), &raw);
    if (opened != 0 || !raw) return zstore::fail(kFn, opened != 0 ? opened : VPL_ERR_PASSWORD);
    const RsaInfoPtr info(raw);
    const std::string name = zstore::modulusName(info->modulus, info->modulus_len);
    if (name.empty()) return zstore::fail(kFn, VPL_ERR_HASH);
    std::string home;
    if (const int rc = zstore::homeDirectory(home); rc != 0) return zstore::fail(kFn, rc);
    zstore::StoreWriter writer;
    const std::string dir = privateUserDir(home);
    for (const std::string& d : {home + "/PPKI", home + "/PPKI/Veridan", home + "/PPKI/Veridan/VERIDAN CA", dir})
        if (!writer.makeDir(d)) return zstore::fail(kFn, VPL_ERR_WRITE_FILE);
    if (!writer.write(dir, {{name + ".bin", std::string_view(key, static_cast<size_t>(keyLen)), 0600}}))
        return zstore::fail(kFn, VPL_ERR_WRITE_FILE);
    writer.commit();
    return 0;
}

VPL_API int VPL_Make_PCertAndPPriKey(int flag, const char* drive, const char* certText) {
    static const char* const kFn = "VPL_Make_PCertAndPPriKey";
    if (!certText) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    std::string der;
    if (!certificateDer(certText, static_cast<int>(std::strlen(certText)), der))
        return zstore::fail(kFn, VPL_ERR_CERT_DER);
    std::string name;
    if (const int rc = certKeyName(der, name); rc != 0) return zstore::fail(kFn, rc);
    std::string home;
    if (const int rc = zstore::homeDirectory(home); rc != 0) return zstore::fail(kFn, rc);
    const std::string kept = privateUserDir(home) + "/" + name + ".bin";
    std::string key;
    if (!readWhole(kept, key) || key.empty()) {
        zstore::wipe(key);
        return zstore::fail(kFn, VPL_ERR_READ_FILE);
    }
    const int rc = zstore::storePrivatePair(flag, drive, der, key);
    zstore::wipe(key);
    if (rc != 0) return rc;  // the kept key stays for another try
    if (unlink(kept.c_str()) != 0)
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : kept key not removed (%d): %s\n", kFn, errno, kept.c_str());
    return 0;
}

}  // extern "C"
