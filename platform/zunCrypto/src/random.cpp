// Random bytes, always from generators seeded by the operating system.
#include "internal.h"

#include <openssl/core_names.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstring>

namespace {

// Arguments of every source, and the library's start.
int checkRequest(const unsigned char* buf, int len) {
    if (buf == nullptr && len > 0) return VSC_ERR_NULL_ARGUMENT;
    if (len < 0) return VSC_ERR_INVALID_LENGTH;
    return zc::ensureInit();
}

int drawFromContext(unsigned char* buf, int len) {
    if (int rc = checkRequest(buf, len); rc != VSC_OK) return rc;
    if (len == 0) return VSC_OK;
    return RAND_bytes_ex(zc::libctx(), buf, static_cast<size_t>(len), 0) == 1 ? VSC_OK : VSC_ERR_RANDOM;
}

struct RandDeleter {
    void operator()(EVP_RAND* r) const { EVP_RAND_free(r); }
};
struct RandCtxDeleter {
    void operator()(EVP_RAND_CTX* c) const { EVP_RAND_CTX_free(c); }
};

}  // namespace

extern "C" {

int VSC_Rand_Bytes(unsigned char* buf, int len) { return drawFromContext(buf, len); }

int VSC_Rand_Bytes_PRNG(unsigned char* buf, int len) { return drawFromContext(buf, len); }

int VSC_Rand_Bytes_DRBG(unsigned char* buf, int len, const char* additional_input, int digest_id,
                        int prediction_resistance) {
    if (int rc = checkRequest(buf, len); rc != VSC_OK) return rc;
    if (digest_id == 0) digest_id = VSC_DIGEST_SHA256;
    const char* mdName = nullptr;
    unsigned int strength = 256;
    switch (digest_id) {
        case VSC_DIGEST_SHA1:
            mdName = "SHA1";
            strength = 128;
            break;
        case VSC_DIGEST_SHA224:
            mdName = "SHA224";
            strength = 192;
            break;
        case VSC_DIGEST_SHA256:
            mdName = "SHA256";
            break;
        case VSC_DIGEST_SHA384:
            mdName = "SHA384";
            break;
        case VSC_DIGEST_SHA512:
            mdName = "SHA512";
            break;
        default:
            return zc::digestInfo(digest_id) != nullptr ? VSC_ERR_UNSUPPORTED : VSC_ERR_UNKNOWN_ALGORITHM;
    }
    if (len == 0) return VSC_OK;

    std::unique_ptr<EVP_RAND, RandDeleter> rand(EVP_RAND_fetch(zc::libctx(), "HASH-DRBG", nullptr));
    if (!rand) return VSC_ERR_RANDOM;
    // Seeded from the context's primary generator, which the operating system feeds.
    std::unique_ptr<EVP_RAND_CTX, RandCtxDeleter> drbg(EVP_RAND_CTX_new(rand.get(), RAND_get0_primary(zc::libctx())));
    if (!drbg) return VSC_ERR_RANDOM;
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_DRBG_PARAM_DIGEST, const_cast<char*>(mdName), 0),
        OSSL_PARAM_construct_end(),
    };
    static const unsigned char personal[] = "zunCrypto hash DRBG";
    if (!EVP_RAND_instantiate(drbg.get(), strength, prediction_resistance != 0, personal, sizeof personal - 1, params))
        return VSC_ERR_RANDOM;
    const unsigned char* add = reinterpret_cast<const unsigned char*>(additional_input);
    size_t addLen = additional_input != nullptr ? std::strlen(additional_input) : 0;
    size_t maxRequest = 0;
    OSSL_PARAM query[] = {
        OSSL_PARAM_construct_size_t(OSSL_RAND_PARAM_MAX_REQUEST, &maxRequest),
        OSSL_PARAM_construct_end(),
    };
    if (!EVP_RAND_CTX_get_params(drbg.get(), query) || maxRequest == 0) maxRequest = 4096;
    size_t done = 0;
    size_t total = static_cast<size_t>(len);
    while (done < total) {
        size_t n = std::min(maxRequest, total - done);
        if (!EVP_RAND_generate(drbg.get(), buf + done, n, strength, prediction_resistance != 0, add, addLen)) {
            OPENSSL_cleanse(buf, total);
            return VSC_ERR_RANDOM;
        }
        done += n;
    }
    EVP_RAND_uninstantiate(drbg.get());
    return VSC_OK;
}

}  // extern "C"
