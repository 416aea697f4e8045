// OpenSSL's HMAC, apart from our headers (their record names collide).
#include <openssl/core_names.h>
#include <openssl/evp.h>

#include <cstddef>
#include <vector>

std::vector<unsigned char> opensslHmac(const char* digest, const unsigned char* key, size_t keyLen,
                                       const std::vector<std::pair<const unsigned char*, size_t>>& pieces) {
    std::vector<unsigned char> out(EVP_MAX_MD_SIZE);
    EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    EVP_MAC_CTX* ctx = mac ? EVP_MAC_CTX_new(mac) : nullptr;
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, const_cast<char*>(digest), 0),
                           OSSL_PARAM_construct_end()};
    size_t n = 0;
    bool ok = ctx && EVP_MAC_init(ctx, key, keyLen, params) == 1;
    for (const auto& [p, len] : pieces) ok = ok && EVP_MAC_update(ctx, p, len) == 1;
    ok = ok && EVP_MAC_final(ctx, out.data(), &n, out.size()) == 1;
    EVP_MAC_CTX_free(ctx);
    EVP_MAC_free(mac);
    out.resize(ok ? n : 0);
    return out;
}
