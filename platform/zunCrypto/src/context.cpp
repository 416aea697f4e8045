// The library's own OpenSSL context, operating modes, version and result texts.
#include "internal.h"

#include <openssl/provider.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>

namespace zc {
namespace {

struct Context {
    OSSL_LIB_CTX* ctx = nullptr;
    int status = VSC_ERR_BACKEND;
    std::mutex fetchLock;
    std::map<int, const EVP_MD*> digests;
    std::map<std::string, const EVP_CIPHER*> ciphers;

    Context() {
        // SEED, DES, RC2, RC4 and Blowfish live in the legacy provider. Loading
        // it into the process's default context would also switch that
        // context's default provider off, so both go into a context of our own.
        ctx = OSSL_LIB_CTX_new();
        if (ctx == nullptr) return;
        OSSL_PROVIDER* def = OSSL_PROVIDER_load(ctx, "default");
        OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(ctx, "legacy");
        if (def == nullptr) {
            OSSL_LIB_CTX_free(ctx);
            ctx = nullptr;
            return;
        }
        // Without the legacy provider the modern algorithms still work; the
        // legacy ones report VSC_ERR_UNSUPPORTED when asked for.
        (void)legacy;
        status = VSC_OK;
    }
    // Deliberately never freed: objects of other libraries may still call in
    // while the process exits, and OpenSSL cleans up at exit on its own.
};

Context& context() {
    static Context* c = new Context();
    return *c;
}

std::atomic<int> g_mode{VSC_MODE_PROVEN};

}  // namespace

OSSL_LIB_CTX* libctx() { return context().ctx; }

int ensureInit() { return context().status; }

const EVP_MD* fetchedDigest(int digestId) {
    const DigestInfo* info = digestInfo(digestId);
    if (info == nullptr || info->evpName == nullptr) return nullptr;
    Context& c = context();
    if (c.ctx == nullptr) return nullptr;
    std::lock_guard<std::mutex> lock(c.fetchLock);
    auto it = c.digests.find(digestId);
    if (it != c.digests.end()) return it->second;
    const EVP_MD* md = EVP_MD_fetch(c.ctx, info->evpName, nullptr);
    c.digests.emplace(digestId, md);
    return md;
}

const EVP_CIPHER* fetchedCipher(const char* name) {
    Context& c = context();
    if (c.ctx == nullptr || name == nullptr) return nullptr;
    std::lock_guard<std::mutex> lock(c.fetchLock);
    auto it = c.ciphers.find(name);
    if (it != c.ciphers.end()) return it->second;
    const EVP_CIPHER* cipher = EVP_CIPHER_fetch(c.ctx, name, nullptr);
    c.ciphers.emplace(name, cipher);
    return cipher;
}

}  // namespace zc

extern "C" {

int VSC_Crypto_Initialize(void) { return zc::ensureInit(); }

int VSC_Change_Non_Proven_Mode(void) {
    int rc = zc::ensureInit();
    if (rc == VSC_OK) zc::g_mode = VSC_MODE_NON_PROVEN;
    return rc;
}

int VSC_Change_Test_Mode(void) {
    int rc = zc::ensureInit();
    if (rc == VSC_OK) zc::g_mode = VSC_MODE_TEST;
    return rc;
}

int VSC_Get_Crypto_Mode(void) { return zc::g_mode; }

const char* VSC_Get_Crypto_Version(void) { return "3.2.0"; }

const char* VSC_Get_Error_String(int code) {
    switch (code) {
        case VSC_OK:
            return "success";
        case VSC_FAIL:
            return "padding, scheme or signature check failed";
        case VSC_ERR_NULL_ARGUMENT:
            return "null argument";
        case VSC_ERR_INVALID_ARGUMENT:
            return "invalid argument";
        case VSC_ERR_INVALID_LENGTH:
            return "invalid length";
        case VSC_ERR_MEMORY:
            return "out of memory";
        case VSC_ERR_UNKNOWN_ALGORITHM:
            return "unknown algorithm id";
        case VSC_ERR_UNSUPPORTED:
            return "algorithm not available";
        case VSC_ERR_NOT_INITIALIZED:
            return "unit not initialised";
        case VSC_ERR_BUFFER_TOO_SMALL:
            return "output buffer too small";
        case VSC_ERR_KEY_MISSING:
            return "key lacks the values this operation needs";
        case VSC_ERR_INVALID_KEY:
            return "invalid key";
        case VSC_ERR_BACKEND:
            return "crypto backend failure";
        case VSC_ERR_RANDOM:
            return "random generator failure";
        case VSC_ERR_WRONG_DIRECTION:
            return "unit started for the other direction";
        case VSC_ERR_NOT_IMPLEMENTED:
            return "not implemented";
        case VSC_ERR_INVALID_PARAMS:
            return "invalid domain parameters";
        default:
            return "unknown result code";
    }
}

}  // extern "C"
