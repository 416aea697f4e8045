// The OpenSSL side of Pkcs7Bench.cpp, in a file of its own: OpenSSL's
// headers and libzunPKI's name some of the same types.
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <stdexcept>
#include <string>

#include "Pkcs7BenchOpenssl.h"

OpensslSigner opensslSigner(const char* password) {
    EVP_PKEY* key = EVP_RSA_gen(2048);
    X509* cert = X509_new();
    BIO* bio = BIO_new(BIO_s_mem());
    if (!key || !cert || !bio) throw std::runtime_error("key");
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), 0);
    X509_gmtime_adj(X509_getm_notAfter(cert), 86400L * 30);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("bench signer"), -1, -1,
                               0);
    X509_set_issuer_name(cert, name);
    X509_set_pubkey(cert, key);
    if (!X509_sign(cert, key, EVP_sha256()) ||
        !i2d_PKCS8PrivateKey_bio(bio, key, EVP_aes_256_cbc(), nullptr, 0, nullptr, const_cast<char*>(password)))
        throw std::runtime_error("key file");
    OpensslSigner out;
    char* bytes = nullptr;
    const long n = BIO_get_mem_data(bio, &bytes);
    out.keyFile.assign(bytes, static_cast<size_t>(n));
    unsigned char* der = nullptr;
    const int derLen = i2d_X509(cert, &der);
    out.certDer.assign(reinterpret_cast<char*>(der), static_cast<size_t>(derLen));
    OPENSSL_free(der);
    BIO_free(bio);
    X509_free(cert);
    EVP_PKEY_free(key);
    return out;
}

long opensslCmsSign(const OpensslSigner& signer, const char* password, const std::string& data) {
    BIO* keyBio = BIO_new_mem_buf(signer.keyFile.data(), static_cast<int>(signer.keyFile.size()));
    EVP_PKEY* key = d2i_PKCS8PrivateKey_bio(keyBio, nullptr, nullptr, const_cast<char*>(password));
    const auto* certBytes = reinterpret_cast<const unsigned char*>(signer.certDer.data());
    X509* cert = d2i_X509(nullptr, &certBytes, static_cast<long>(signer.certDer.size()));
    BIO* in = BIO_new_mem_buf(data.data(), static_cast<int>(data.size()));
    BIO* out = BIO_new(BIO_s_mem());
    long written = 0;
    // SHA-256 is the default digest of an RSA key; no S/MIME capabilities,
    // which our messages do not carry either.
    CMS_ContentInfo* cms = key && cert ? CMS_sign(cert, key, nullptr, in, CMS_BINARY | CMS_NOSMIMECAP) : nullptr;
    if (cms && i2d_CMS_bio(out, cms)) {
        char* bytes = nullptr;
        written = BIO_get_mem_data(out, &bytes);
    }
    CMS_ContentInfo_free(cms);
    BIO_free(out);
    BIO_free(in);
    X509_free(cert);
    EVP_PKEY_free(key);
    BIO_free(keyBio);
    return written;
}
