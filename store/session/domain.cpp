// Session contexts of web domains: creation with fresh keys, the key
// derivation, and the members' setters and getters.
#include <cerrno>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>

#include <zephaltpavix/context.h>
#include <zephaltpavix/crypto.h>
#include <zephaltpavix/encode.h>
#include <zephaltpavix/session.h>
#include <zunCore/cipher.h>
#include <zunCore/crypto.h>

#include "base/store_internal.hpp"
#include "session/session_internal.hpp"

namespace {

using zstore::fail;
using zstore::release;

constexpr int kPremasterLen = 64;
constexpr int kKeyLen = 16;
constexpr char kFixedIv[] = "ZORBAXE MODULE..";
static_assert(sizeof kFixedIv - 1 == kKeyLen);

std::string_view viewOf(const void* p, int len) {
    return p && len > 0 ? std::string_view(static_cast<const char*>(p), static_cast<size_t>(len)) : std::string_view();
}

// Replaces a member with a copy of bytes; the old one is released zeroed.
template <typename T>
bool replace(T*& member, int& memberLen, std::string_view bytes) {
    char* copy = zstore::newBuffer(bytes);
    if (!copy) return false;
    release(member, memberLen);
    member = reinterpret_cast<T*>(copy);
    memberLen = static_cast<int>(bytes.size());
    return true;
}

template <typename T>
void drop(T*& member, int& memberLen) {
    release(member, memberLen);
    member = nullptr;
    memberLen = 0;
}

bool replaceName(char*& name, const char* value) {
    char* copy = zstore::newBuffer(value);
    if (!copy) return false;
    if (name) release(name, std::strlen(name));
    name = copy;
    return true;
}

bool randomBytes(std::string& out, int n) {
    out.assign(static_cast<size_t>(n), '\0');
    return VCL_DRBG_Get_Random(reinterpret_cast<unsigned char*>(out.data()), n) == 0;
}

// Base64 of a member through the interface's encoder.
int handOutBase64(std::string_view bytes, char** out, int* outLen) {
    const int rc = VPL_DataEncode(0, bytes.data(), static_cast<int>(bytes.size()), out, outLen);
    if (rc == -1) return VPL_ERR_MALLOC;
    return rc;
}

template <typename T>
int handOutBytes(std::string_view bytes, T** out, int* outLen, int memoryCode) {
    char* copy = nullptr;
    if (zstore::handOut(bytes, &copy, outLen) != 0) return memoryCode;
    *out = reinterpret_cast<T*>(copy);
    return 0;
}

template <typename T>
std::string_view member(const T* p, int len) {
    return viewOf(p, len);
}

template <typename T>
void clearOut(T** out, int* outLen) {
    if (out) *out = nullptr;
    if (outLen) *outLen = 0;
}

int deriveKeys(const void* premaster, int len, unsigned char** key, int* keyLen, unsigned char** iv, int* ivLen,
               bool complement, const char* function) {
    if (!premaster || len != kPremasterLen || !key || !keyLen || !iv || !ivLen)
        return fail(function, VPL_ERR_CORE_PARAM);
    std::string input(static_cast<const char*>(premaster), kPremasterLen);
    if (complement)
        for (char& c : input) c = static_cast<char>(~static_cast<unsigned char>(c));
    void* digest = nullptr;
    int digestLen = 0;
    const int rc = VPL_HASH_Data(input.data(), kPremasterLen, &digest, &digestLen, "SHA256");
    zstore::wipe(input);
    if (rc != 0) return fail(function, rc);
    const std::string_view d(static_cast<const char*>(digest), static_cast<size_t>(digestLen));
    int result = 0;
    if (digestLen < 2 * kKeyLen) {
        result = VPL_ERR_HASH;
    } else if (handOutBytes(d.substr(0, kKeyLen), key, keyLen, VPL_ERR_MALLOC) != 0) {
        result = VPL_ERR_MALLOC;
    } else if (handOutBytes(d.substr(kKeyLen, kKeyLen), iv, ivLen, VPL_ERR_MALLOC) != 0) {
        VPL_Free(*key, *keyLen);
        clearOut(key, keyLen);
        result = VPL_ERR_MALLOC;
    }
    VPL_Free(digest, digestLen);
    return result ? fail(function, result) : 0;
}

// Releases a context that never reached the list.
struct Unlisted {
    CTX* ctx;
    ~Unlisted() {
        if (!ctx) return;
        // Linked alone into a list of its own, so the list's release frees
        // every member the usual way.
        CTX* head = ctx;
        ctx->next = nullptr;
        VPL_Delete_ALL_CTX(&head);
    }
};

int createContext(std::string_view domain) {
    VCL_COM_ChangeTestMode();
    Unlisted made{VPL_Init_CTX()};
    CTX* ctx = made.ctx;
    if (!ctx) return VPL_ERR_MALLOC;
    if (!replace(ctx->domain, ctx->domainLen, domain)) return VPL_ERR_MALLOC;

    std::string premaster;
    if (!randomBytes(premaster, kPremasterLen)) return VPL_ERR_RANDOM_GEN;
    const bool kept = replace(ctx->premaster, ctx->premasterLen, premaster);
    zstore::wipe(premaster);
    if (!kept) return VPL_ERR_MALLOC;
    if (VPL_Make_ClientSK(ctx->premaster, ctx->premasterLen, &ctx->clientKey, &ctx->clientKeyLen, &ctx->clientIv,
                          &ctx->clientIvLen) != 0 ||
        VPL_Make_ServerSK(ctx->premaster, ctx->premasterLen, &ctx->serverKey, &ctx->serverKeyLen, &ctx->serverIv,
                          &ctx->serverIvLen) != 0)
        return -1;

    std::string sessionKey;
    if (!randomBytes(sessionKey, kKeyLen)) return VPL_ERR_RANDOM_GEN;
    const bool keyKept = replace(ctx->sessionKey, ctx->sessionKeyLen, sessionKey);
    zstore::wipe(sessionKey);
    if (!keyKept || !replace(ctx->iv, ctx->ivLen, kFixedIv)) return VPL_ERR_MALLOC;

    if (!replaceName(ctx->sym, "SEED-CBC") || !replaceName(ctx->kx, "RSA15") || !replaceName(ctx->kxh, "SHA1") ||
        !replaceName(ctx->sg, "RSA15") || !replaceName(ctx->sgh, "SHA1"))
        return VPL_ERR_MEMORY;
    VPL_Insert_CTX(&g_CTX_Head, ctx);
    made.ctx = nullptr;
    return 0;
}

// The context of a domain for operations that tell "no context at all"
// (1052040) from "none for this domain" (notFound).
struct Lookup {
    CTX* ctx = nullptr;
    int code = 0;
};
Lookup lookup(const char* domain, bool tellEmpty, int notFound) {
    if (!domain) return {nullptr, VPL_ERR_INVALID_PARAM};
    if (!g_CTX_Head && tellEmpty) return {nullptr, VPL_ERR_NO_CTX};
    CTX* ctx = zstore::findContext(domain);
    return ctx ? Lookup{ctx, 0} : Lookup{nullptr, notFound};
}

bool namedNoCase(std::string_view name, std::initializer_list<std::string_view> names) {
    for (std::string_view n : names)
        if (zstore::equalNoCase(name, n)) return true;
    return false;
}

}  // namespace

namespace zstore {

CTX* findContext(std::string_view domain) {
    for (CTX* ctx = g_CTX_Head; ctx; ctx = ctx->next)
        if (ctx->domain && ctx->domainLen >= 0 &&
            equalNoCase(std::string_view(ctx->domain, static_cast<size_t>(ctx->domainLen)), domain))
            return ctx;
    return nullptr;
}

int setDomainInfo(std::string_view domain) {
    if (findContext(domain)) return 0;
    const int rc = createContext(domain);
    if (rc != 0)
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Set_DomainInfo () :[%.*s] => %s(0x%08x)\n", static_cast<int>(domain.size()),
                   domain.data(), VPL_GetErrorString(rc), static_cast<unsigned>(rc));
    return rc;
}

}  // namespace zstore

extern "C" {

VPL_API int VPL_Set_DomainInfo(const char* domain, int domainLen) {
    if (!domain) return fail("VPL_Set_DomainInfo", VPL_ERR_INVALID_PARAM);
    // Never more than the text holds, whatever length came with it.
    const std::string_view name = zstore::bounded(domain, domainLen);
    if (name.empty()) return fail("VPL_Set_DomainInfo", VPL_ERR_INVALID_PARAM);
    return zstore::setDomainInfo(name);
}

VPL_API int VPL_Set_ServerCert(const char* domain, int, const void* cert, int certLen) {
    if (!cert || certLen <= 0) return fail("VPL_Set_ServerCert", VPL_ERR_INVALID_PARAM);
    const Lookup l = lookup(domain, true, VPL_ERR_DOMAIN);
    if (!l.ctx) return fail("VPL_Set_ServerCert", l.code);
    if (!replace(l.ctx->serverCert, l.ctx->serverCertLen, viewOf(cert, certLen)))
        return fail("VPL_Set_ServerCert", VPL_ERR_MEMORY);
    return 0;
}

VPL_API int VPL_Get_ServerCert(const char* domain, unsigned char** cert, int* certLen) {
    if (!cert || !certLen) return fail("VPL_Get_ServerCert", VPL_ERR_INVALID_PARAM);
    clearOut(cert, certLen);
    const Lookup l = lookup(domain, true, VPL_ERR_DOMAIN);
    if (!l.ctx) return fail("VPL_Get_ServerCert", l.code);
    if (!l.ctx->serverCert || l.ctx->serverCertLen <= 0) return fail("VPL_Get_ServerCert", -1);
    const int rc = handOutBytes(member(l.ctx->serverCert, l.ctx->serverCertLen), cert, certLen, VPL_ERR_MEMORY);
    return rc ? fail("VPL_Get_ServerCert", rc) : 0;
}

VPL_API int VPL_Delete_ServerCert(const char* domain) {
    const Lookup l = lookup(domain, true, VPL_ERR_DOMAIN);
    if (!l.ctx) return fail("VPL_Delete_ServerCert", l.code);
    if (!l.ctx->serverCert) return fail("VPL_Delete_ServerCert", VPL_ERR_NO_SERVER_CERT);
    drop(l.ctx->serverCert, l.ctx->serverCertLen);
    return 0;
}

VPL_API int VPL_Get_Premaster(const char* domain, unsigned char** premaster, int* premasterLen) {
    if (!premaster || !premasterLen) return fail("VPL_Get_Premaster", VPL_ERR_INVALID_PARAM);
    clearOut(premaster, premasterLen);
    const Lookup l = lookup(domain, true, VPL_ERR_DOMAIN);
    if (!l.ctx) return fail("VPL_Get_Premaster", l.code);
    if (!l.ctx->premaster || l.ctx->premasterLen <= 0) return fail("VPL_Get_Premaster", -1);
    const int rc = handOutBytes(member(l.ctx->premaster, l.ctx->premasterLen), premaster, premasterLen, VPL_ERR_MEMORY);
    return rc ? fail("VPL_Get_Premaster", rc) : 0;
}

VPL_API int VPL_Get_SessionKey(const char* domain, int, char** key, int* keyLen) {
    if (!key || !keyLen) return fail("VPL_Get_SessionKey", VPL_ERR_INVALID_PARAM);
    clearOut(key, keyLen);
    const Lookup l = lookup(domain, false, VPL_ERR_DOMAIN);
    if (!l.ctx) return fail("VPL_Get_SessionKey", l.code);
    if (!l.ctx->sessionKey || l.ctx->sessionKeyLen <= 0) return fail("VPL_Get_SessionKey", VPL_ERR_NO_SESSION_KEY);
    const int rc = handOutBase64(member(l.ctx->sessionKey, l.ctx->sessionKeyLen), key, keyLen);
    return rc ? fail("VPL_Get_SessionKey", rc) : 0;
}

VPL_API int VPL_Delete_SessionKey(const char* domain, int) {
    const Lookup l = lookup(domain, true, VPL_ERR_DOMAIN);
    if (!l.ctx) return fail("VPL_Delete_SessionKey", l.code);
    const bool hadKey = l.ctx->sessionKey != nullptr;
    drop(l.ctx->sessionKey, l.ctx->sessionKeyLen);
    drop(l.ctx->iv, l.ctx->ivLen);
    return hadKey ? 0 : fail("VPL_Delete_SessionKey", VPL_ERR_NO_SESSION_KEY);
}

VPL_API int VPL_Refresh_SessionKey(const char* domain, int) {
    const Lookup l = lookup(domain, true, VPL_ERR_DOMAIN);
    if (!l.ctx) return fail("VPL_Refresh_SessionKey", l.code);
    std::string key;
    if (!randomBytes(key, kKeyLen)) return fail("VPL_Refresh_SessionKey", VPL_ERR_RANDOM_GEN);
    const bool kept = replace(l.ctx->sessionKey, l.ctx->sessionKeyLen, key);
    zstore::wipe(key);
    if (!kept || !replace(l.ctx->iv, l.ctx->ivLen, kFixedIv)) return fail("VPL_Refresh_SessionKey", VPL_ERR_MALLOC);
    return 0;
}

VPL_API int VPL_Get_Server_SKeyAndIV(const char* domain, char** key, int* keyLen, char** iv, int* ivLen) {
    if (!key || !keyLen || !iv || !ivLen) return fail("VPL_Get_Server_SKeyAndIV", VPL_ERR_INVALID_PARAM);
    clearOut(key, keyLen);
    clearOut(iv, ivLen);
    const Lookup l = lookup(domain, true, VPL_ERR_NO_DOMAIN);
    if (!l.ctx) return fail("VPL_Get_Server_SKeyAndIV", l.code);
    if (!l.ctx->serverKey || !l.ctx->serverIv) return fail("VPL_Get_Server_SKeyAndIV", VPL_ERR_NO_SESSION_KEY);
    int rc = handOutBase64(member(l.ctx->serverKey, l.ctx->serverKeyLen), key, keyLen);
    if (rc == 0) rc = handOutBase64(member(l.ctx->serverIv, l.ctx->serverIvLen), iv, ivLen);
    return rc ? fail("VPL_Get_Server_SKeyAndIV", rc) : 0;
}

VPL_API int VPL_Get_DomainToSKEYAndIVAndCert(const char* domain, unsigned char** key, int* keyLen, unsigned char** iv,
                                             int* ivLen, unsigned char** cert, int* certLen) {
    if (!key || !keyLen || !iv || !ivLen || !cert || !certLen)
        return fail("VPL_Get_DomainToSKEYAndIVAndCert", VPL_ERR_INVALID_PARAM);
    clearOut(key, keyLen);
    clearOut(iv, ivLen);
    clearOut(cert, certLen);
    if (!domain) return fail("VPL_Get_DomainToSKEYAndIVAndCert", VPL_ERR_DOMAIN);
    const CTX* ctx = zstore::findContext(domain);
    if (!ctx) return fail("VPL_Get_DomainToSKEYAndIVAndCert", VPL_ERR_NO_DOMAIN);
    if (!ctx->sessionKey) return fail("VPL_Get_DomainToSKEYAndIVAndCert", VPL_ERR_NO_SESSION_KEY);
    if (!ctx->iv) return fail("VPL_Get_DomainToSKEYAndIVAndCert", VPL_ERR_NO_IV);
    if (!ctx->serverCert) return fail("VPL_Get_DomainToSKEYAndIVAndCert", VPL_ERR_NO_SERVER_CERT);
    int rc = handOutBytes(member(ctx->sessionKey, ctx->sessionKeyLen), key, keyLen, VPL_ERR_MEMORY);
    if (rc == 0) rc = handOutBytes(member(ctx->iv, ctx->ivLen), iv, ivLen, VPL_ERR_MEMORY);
    if (rc == 0) rc = handOutBytes(member(ctx->serverCert, ctx->serverCertLen), cert, certLen, VPL_ERR_MEMORY);
    return rc ? fail("VPL_Get_DomainToSKEYAndIVAndCert", rc) : 0;
}

VPL_API int VPL_Set_gFilter(const char* domain, int, const char* filter, int filterLen) {
    if (!filter) return fail("VPL_Set_gFilter", VPL_ERR_INVALID_PARAM);
    const Lookup l = lookup(domain, true, VPL_ERR_DOMAIN);
    if (!l.ctx) return fail("VPL_Set_gFilter", l.code);
    if (!replace(l.ctx->FilterInfo, l.ctx->FilterInfoLen, zstore::bounded(filter, filterLen)))
        return fail("VPL_Set_gFilter", VPL_ERR_MEMORY);
    return 0;
}

VPL_API int VPL_Delete_gFilter(const char* domain, int) {
    const Lookup l = lookup(domain, true, VPL_ERR_DOMAIN);
    if (!l.ctx) return fail("VPL_Delete_gFilter", l.code);
    drop(l.ctx->FilterInfo, l.ctx->FilterInfoLen);
    return 0;
}

VPL_API int VPL_Set_Property(const char* domain, int, const char* name, int nameLen, const char* value, int valueLen) {
    if (!name || !value) return fail("VPL_Set_Property", VPL_ERR_INVALID_PARAM);
    const Lookup l = lookup(domain, true, VPL_ERR_DOMAIN);
    if (!l.ctx) return fail("VPL_Set_Property", l.code);
    // Names are zero-terminated; the length beside them is not trusted.
    (void)nameLen;
    const std::string_view n(name);
    const std::string_view v = zstore::bounded(value, valueLen);
    CTX& ctx = *l.ctx;
    bool kept = true;
    if (namedNoCase(n, {"certmanui_phone", "certmanui_infovine"})) {
        if (zstore::equalNoCase(v, "off")) return 0;
        kept = replace(ctx.phoneValue, ctx.phoneValueLen, v);
    } else if (namedNoCase(n, {"certmanui_phoneVer", "certmanui_infovineVer"})) {
        kept = replace(ctx.phoneVersion, ctx.phoneVersionLen, v);
    } else if (namedNoCase(n, {"certmanui_phoneURL", "certmanui_infovineURL"})) {
        kept = replace(ctx.phoneUrl, ctx.phoneUrlLen, v);
    } else {
        return fail("VPL_Set_Property", -1);
    }
    return kept ? 0 : fail("VPL_Set_Property", VPL_ERR_MALLOC);
}

VPL_API int VPL_Get_Property(const char* domain, int, const char* name, int, char** value, int* valueLen) {
    if (!name || !value || !valueLen) return fail("VPL_Get_Property", VPL_ERR_INVALID_PARAM);
    clearOut(value, valueLen);
    const Lookup l = lookup(domain, false, VPL_ERR_DOMAIN);
    if (!l.ctx) return fail("VPL_Get_Property", l.code);
    const std::string_view n(name);
    int rc = -1;
    if (zstore::startsWithNoCase(n, "ImagePath")) {
        rc = l.ctx->imagePath && l.ctx->imagePathLen > 0
                 ? handOutBase64(member(l.ctx->imagePath, l.ctx->imagePathLen), value, valueLen)
                 : VPL_ERR_NO_IMAGE_PATH;
    } else if (zstore::startsWithNoCase(n, "SessionKey")) {
        rc = l.ctx->sessionKey && l.ctx->sessionKeyLen > 0
                 ? handOutBase64(member(l.ctx->sessionKey, l.ctx->sessionKeyLen), value, valueLen)
                 : VPL_ERR_NO_SESSION_KEY;
    }
    return rc ? fail("VPL_Get_Property", rc) : 0;
}

VPL_API int VPL_Get_ImagePath(const char* domain, int, char** path, int* pathLen) {
    if (!path || !pathLen) return fail("VPL_Get_ImagePath", VPL_ERR_INVALID_PARAM);
    clearOut(path, pathLen);
    const Lookup l = lookup(domain, false, VPL_ERR_DOMAIN);
    if (!l.ctx) return fail("VPL_Get_ImagePath", l.code);
    if (!l.ctx->imagePath || l.ctx->imagePathLen <= 0) return fail("VPL_Get_ImagePath", VPL_ERR_NO_IMAGE_PATH);
    const int rc = handOutBase64(member(l.ctx->imagePath, l.ctx->imagePathLen), path, pathLen);
    return rc ? fail("VPL_Get_ImagePath", rc) : 0;
}

VPL_API int VPL_Get_PhoneDriveInfo(const char* domain, char** info, int* infoLen, char** url, int* urlLen) {
    if (!info || !infoLen || !url || !urlLen) return fail("VPL_Get_PhoneDriveInfo", VPL_ERR_INVALID_PARAM);
    clearOut(info, infoLen);
    clearOut(url, urlLen);
    if (!domain) return fail("VPL_Get_PhoneDriveInfo", VPL_ERR_DOMAIN);
    const CTX* ctx = zstore::findContext(domain);
    if (!ctx) return fail("VPL_Get_PhoneDriveInfo", VPL_ERR_NO_DOMAIN);
    if (!ctx->phoneValue) return fail("VPL_Get_PhoneDriveInfo", VPL_ERR_NO_PHONE_VALUE);
    if (!ctx->phoneUrl) return fail("VPL_Get_PhoneDriveInfo", VPL_ERR_NO_PHONE_URL);
    if (!ctx->phoneVersion) return fail("VPL_Get_PhoneDriveInfo", VPL_ERR_NO_PHONE_VERSION);
    std::string joined(member(ctx->phoneValue, ctx->phoneValueLen));
    joined += '&';
    joined += member(ctx->phoneVersion, ctx->phoneVersionLen);
    int rc = handOutBytes(std::string_view(joined), info, infoLen, VPL_ERR_MALLOC);
    if (rc == 0) rc = handOutBytes(member(ctx->phoneUrl, ctx->phoneUrlLen), url, urlLen, VPL_ERR_MALLOC);
    return rc ? fail("VPL_Get_PhoneDriveInfo", rc) : 0;
}

VPL_API int VPL_Get_CertToPubKey(const void* cert, int certLen, unsigned char** key, int* keyLen) {
    if (!key || !keyLen || !cert || certLen <= 0) return fail("VPL_Get_CertToPubKey", VPL_ERR_INVALID_PARAM);
    clearOut(key, keyLen);
    const zstore::InfoPtr info = zstore::readInfo(cert, certLen);
    if (!info) return fail("VPL_Get_CertToPubKey", VPL_ERR_X509_INFO);
    if (!info->pubkey || info->pubkeyLen <= 0) return fail("VPL_Get_CertToPubKey", -1);
    // (bits + 7) / 8 bytes, never more than the key holds.
    size_t n = static_cast<size_t>(info->pubkeyLen);
    if (info->keyBits > 0) n = std::min(n, (static_cast<size_t>(info->keyBits) + 7) / 8);
    const int rc = handOutBytes(viewOf(info->pubkey, static_cast<int>(n)), key, keyLen, VPL_ERR_MEMORY);
    return rc ? fail("VPL_Get_CertToPubKey", rc) : 0;
}

VPL_API int VPL_Get_Server_Time(const char* base64Text, int* time) {
    if (!base64Text || !time) return fail("VPL_Get_Server_Time", -1);
    char* text = nullptr;
    int textLen = 0;
    if (VPL_DataDecode(0, base64Text, static_cast<int>(std::strlen(base64Text)), &text, &textLen) != 0 || !text)
        return fail("VPL_Get_Server_Time", -1);
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    const bool inRange = errno != ERANGE && value >= INT_MIN && value <= INT_MAX;
    VPL_Free(text, textLen);
    // A value outside int is refused rather than wrapped.
    if (!inRange) return fail("VPL_Get_Server_Time", -1);
    *time = static_cast<int>(value);
    return 0;
}

VPL_API int VPL_Make_ClientSK(const void* premaster, int premasterLen, unsigned char** key, int* keyLen,
                              unsigned char** iv, int* ivLen) {
    return deriveKeys(premaster, premasterLen, key, keyLen, iv, ivLen, false, "VPL_Make_ClientSK");
}

VPL_API int VPL_Make_ServerSK(const void* premaster, int premasterLen, unsigned char** key, int* keyLen,
                              unsigned char** iv, int* ivLen) {
    return deriveKeys(premaster, premasterLen, key, keyLen, iv, ivLen, true, "VPL_Make_ServerSK");
}

}  // extern "C"
