// The OpenSSL side of SignBench.cpp, in a file of its own: OpenSSL's
// headers and libzunPKI's name some of the same types.
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <openssl/x509.h>

#include <stdexcept>
#include <string>
#include <utility>

#include "SignBenchOpenssl.h"

OpensslSigner opensslSigner(const char* password) {
    EVP_PKEY* key = EVP_RSA_gen(2048);
    X509* cert = X509_new();
    BIO* bio = BIO_new(BIO_s_mem());
    if (!key || !cert || !bio) throw std::runtime_error("key");
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 0x2001);
    X509_gmtime_adj(X509_getm_notBefore(cert), 0);
    X509_gmtime_adj(X509_getm_notAfter(cert), 86400L * 30);
    // Signed by its own key under the CA's name: a self-issued certificate
    // would be filed as a CA.
    const auto add = [](X509_NAME* name, const char* field, const char* value) {
        X509_NAME_add_entry_by_txt(name, field, MBSTRING_ASC, reinterpret_cast<const unsigned char*>(value), -1, -1, 0);
    };
    for (const auto& [name, cn] :
         {std::pair{X509_get_subject_name(cert), "bench signer"}, std::pair{X509_get_issuer_name(cert), "yessignCA"}}) {
        add(name, "C", "kr");
        add(name, "O", "yessign");
        add(name, "CN", cn);
    }
    X509_set_pubkey(cert, key);
    // A user's key usage: the store files it as a public signing pair.
    X509_EXTENSION* usage =
        X509V3_EXT_conf_nid(nullptr, nullptr, NID_key_usage, "critical,digitalSignature,nonRepudiation");
    X509_add_ext(cert, usage, -1);
    X509_EXTENSION_free(usage);
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
    long written = 0;
    // SHA-256 is the default digest of an RSA key; no S/MIME capabilities,
    // which our messages do not carry either.
    CMS_ContentInfo* cms = key && cert ? CMS_sign(cert, key, nullptr, in, CMS_BINARY | CMS_NOSMIMECAP) : nullptr;
    unsigned char* der = nullptr;
    if (cms) written = i2d_CMS_ContentInfo(cms, &der);
    OPENSSL_free(der);
    CMS_ContentInfo_free(cms);
    BIO_free(in);
    X509_free(cert);
    EVP_PKEY_free(key);
    BIO_free(keyBio);
    return written > 0 ? written : 0;
}
