// RC4 through the legacy provider of our context, with any key length from
// 1 to 256 bytes.
#include "internal.h"

#include <openssl/core_names.h>

namespace {

struct Rc4Impl {
    zc::CipherCtxPtr ctx;
};

Rc4Impl* implOf(RC4_UNIT* unit) { return static_cast<Rc4Impl*>(unit->impl); }

}  // namespace

extern "C" {

RC4_UNIT* VSC_New_RC4_Unit(void) { return zc::newUnit<RC4_UNIT, Rc4Impl>(); }

void VSC_Free_RC4_Unit(RC4_UNIT* unit) { zc::freeUnit<RC4_UNIT, Rc4Impl>(unit); }

int VSC_Init_RC4(RC4_UNIT* unit, const unsigned char* key, int key_len) {
    if (unit == nullptr || unit->impl == nullptr || key == nullptr) return VSC_ERR_NULL_ARGUMENT;
    // A failed start leaves no usable stream behind.
    Rc4Impl* impl = implOf(unit);
    impl->ctx.reset();
    unit->key_length = 0;
    if (key_len < 1 || key_len > 256) return VSC_ERR_INVALID_LENGTH;
    if (int rc = zc::ensureInit(); rc != VSC_OK) return rc;
    const EVP_CIPHER* rc4 = zc::fetchedCipher("RC4");
    if (rc4 == nullptr) return VSC_ERR_UNSUPPORTED;
    zc::CipherCtxPtr ctx(EVP_CIPHER_CTX_new());
    if (!ctx) return VSC_ERR_MEMORY;
    size_t keyLen = static_cast<size_t>(key_len);
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_size_t(OSSL_CIPHER_PARAM_KEYLEN, &keyLen),
        OSSL_PARAM_construct_end(),
    };
    if (!EVP_EncryptInit_ex2(ctx.get(), rc4, nullptr, nullptr, nullptr) ||
        !EVP_CIPHER_CTX_set_params(ctx.get(), params) ||
        !EVP_EncryptInit_ex2(ctx.get(), nullptr, key, nullptr, nullptr))
        return VSC_ERR_BACKEND;
    impl->ctx = std::move(ctx);
    unit->key_length = key_len;
    return VSC_OK;
}

int VSC_Do_RC4(RC4_UNIT* unit, const unsigned char* in, int len, unsigned char* out) {
    if (unit == nullptr || unit->impl == nullptr || (len > 0 && (in == nullptr || out == nullptr)))
        return VSC_ERR_NULL_ARGUMENT;
    if (len < 0) return VSC_ERR_INVALID_LENGTH;
    Rc4Impl* impl = implOf(unit);
    if (!impl->ctx) return VSC_ERR_NOT_INITIALIZED;
    int n = 0;
    if (len > 0 && !EVP_EncryptUpdate(impl->ctx.get(), out, &n, in, len)) return VSC_ERR_BACKEND;
    return VSC_OK;
}

}  // extern "C"
