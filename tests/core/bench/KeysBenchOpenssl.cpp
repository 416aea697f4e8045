// The OpenSSL side of KeysBench.cpp, in a file of its own: OpenSSL's
// headers and libzunPKI's name some of the same types.
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <stdexcept>
#include <string>

#include "KeysBenchOpenssl.h"

std::string opensslKeyFile(const char* password) {
    EVP_PKEY* key = EVP_RSA_gen(2048);
    BIO* bio = BIO_new(BIO_s_mem());
    // AES-256-CBC under PBKDF2 with hmacWithSHA256 and 2048 iterations, as
    // openssl pkcs8 -topk8 writes by default.
    if (!key || !bio ||
        !i2d_PKCS8PrivateKey_bio(bio, key, EVP_aes_256_cbc(), nullptr, 0, nullptr, const_cast<char*>(password)))
        throw std::runtime_error("key file");
    char* bytes = nullptr;
    const long n = BIO_get_mem_data(bio, &bytes);
    std::string out(bytes, static_cast<size_t>(n));
    BIO_free(bio);
    EVP_PKEY_free(key);
    return out;
}

bool opensslSign(const std::string& file, const char* password, const std::string& data) {
    BIO* bio = BIO_new_mem_buf(file.data(), static_cast<int>(file.size()));
    EVP_PKEY* key = d2i_PKCS8PrivateKey_bio(bio, nullptr, nullptr, const_cast<char*>(password));
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    unsigned char sig[512];
    size_t n = sizeof sig;
    const bool ok = key && ctx && EVP_DigestSignInit(ctx, nullptr, EVP_sha256(), nullptr, key) &&
                    EVP_DigestSign(ctx, sig, &n, reinterpret_cast<const unsigned char*>(data.data()), data.size());
    EVP_MD_CTX_free(ctx);
    EVP_PKEY_free(key);
    BIO_free(bio);
    return ok && n == 256;
}
