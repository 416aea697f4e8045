// The bare costs of agent_sign_bench, with OpenSSL alone: opening the
// PKCS#8 key (PBES2, SEED-CBC, 2048 iterations), CMS_sign of the data,
// RSA-SHA1 over the nonce.
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/x509.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

void opensslLoadProviders() {
    OSSL_PROVIDER_load(nullptr, "legacy");
    OSSL_PROVIDER_load(nullptr, "default");
}

// The key file opened with the password; nullptr when it does not open.
EVP_PKEY* opensslOpenKey(const std::string& keyFile, const std::string& password) {
    const std::string der = readAll(keyFile);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
    X509_SIG* sig = d2i_X509_SIG(nullptr, &p, static_cast<long>(der.size()));
    if (!sig) return nullptr;
    PKCS8_PRIV_KEY_INFO* info = PKCS8_decrypt(sig, password.c_str(), static_cast<int>(password.size()));
    X509_SIG_free(sig);
    if (!info) return nullptr;
    EVP_PKEY* key = EVP_PKCS82PKEY(info);
    PKCS8_PRIV_KEY_INFO_free(info);
    return key;
}

void opensslFreeKey(EVP_PKEY* key) { EVP_PKEY_free(key); }

// The DER length of the signed data, 0 on failure.
size_t opensslCmsSign(const std::string& certFile, EVP_PKEY* key, const std::string& data) {
    const std::string der = readAll(certFile);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
    X509* cert = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
    BIO* in = BIO_new_mem_buf(data.data(), static_cast<int>(data.size()));
    CMS_ContentInfo* cms = cert && in ? CMS_sign(cert, key, nullptr, in, CMS_BINARY) : nullptr;
    unsigned char* out = nullptr;
    const int n = cms ? i2d_CMS_ContentInfo(cms, &out) : 0;
    OPENSSL_free(out);
    CMS_ContentInfo_free(cms);
    BIO_free(in);
    X509_free(cert);
    return n > 0 ? static_cast<size_t>(n) : 0;
}

size_t opensslRsaSha1(EVP_PKEY* key, const std::string& data) {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    unsigned char sig[1024];
    size_t n = sizeof sig;
    const bool ok = EVP_DigestSignInit(ctx, nullptr, EVP_sha1(), nullptr, key) == 1 &&
                    EVP_DigestSign(ctx, sig, &n, reinterpret_cast<const unsigned char*>(data.data()), data.size()) == 1;
    EVP_MD_CTX_free(ctx);
    return ok ? n : 0;
}
