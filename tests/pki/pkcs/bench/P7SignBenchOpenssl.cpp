// OpenSSL's side of pki_p7sign_bench: one EVP_DigestSign of the content, and
// CMS_sign of the same signedData (attributes, certificate, DER).
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <string>

namespace {
EVP_PKEY* g_key = nullptr;
X509* g_cert = nullptr;
}  // namespace

bool opensslLoad(const std::string& keyPem, const std::string& certPem) {
    FILE* k = std::fopen(keyPem.c_str(), "r");
    FILE* c = std::fopen(certPem.c_str(), "r");
    if (k) g_key = PEM_read_PrivateKey(k, nullptr, nullptr, nullptr);
    if (c) g_cert = PEM_read_X509(c, nullptr, nullptr, nullptr);
    if (k) std::fclose(k);
    if (c) std::fclose(c);
    return g_key && g_cert;
}

bool opensslDigestSign(const unsigned char* data, size_t len) {
    unsigned char sig[512];
    size_t sigLen = sizeof sig;
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    const bool ok = md && EVP_DigestSignInit_ex(md, nullptr, "SHA256", nullptr, nullptr, g_key, nullptr) > 0 &&
                    EVP_DigestSign(md, sig, &sigLen, data, len) > 0;
    EVP_MD_CTX_free(md);
    return ok;
}

bool opensslCmsSign(const unsigned char* data, size_t len) {
    BIO* in = BIO_new_mem_buf(data, static_cast<int>(len));
    CMS_ContentInfo* cms = CMS_sign(g_cert, g_key, nullptr, in, CMS_BINARY | CMS_NOSMIMECAP);
    unsigned char* der = nullptr;
    const bool ok = cms && i2d_CMS_ContentInfo(cms, &der) > 0;
    OPENSSL_free(der);
    CMS_ContentInfo_free(cms);
    BIO_free(in);
    return ok;
}
