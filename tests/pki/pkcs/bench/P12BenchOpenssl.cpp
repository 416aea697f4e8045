// OpenSSL's side of pki_p12_bench: decode a PFX and take out its key and
// certificates.
#include <openssl/pkcs12.h>
#include <openssl/provider.h>

#include <cstddef>

bool opensslParse(const unsigned char* der, size_t len, const char* password) {
    static OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    static OSSL_PROVIDER* deflt = OSSL_PROVIDER_load(nullptr, "default");
    (void)legacy, (void)deflt;
    const unsigned char* p = der;
    PKCS12* p12 = d2i_PKCS12(nullptr, &p, static_cast<long>(len));
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    STACK_OF(X509)* ca = nullptr;
    const bool ok = p12 && PKCS12_parse(p12, password, &key, &cert, &ca);
    EVP_PKEY_free(key);
    X509_free(cert);
    sk_X509_pop_free(ca, X509_free);
    PKCS12_free(p12);
    return ok;
}
