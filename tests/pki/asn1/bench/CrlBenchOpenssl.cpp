// OpenSSL's side of the CRL benchmark.
#include <openssl/x509.h>

#include <stdexcept>

size_t opensslDecodeCrl(const unsigned char* der, size_t len) {
    const unsigned char* p = der;
    X509_CRL* crl = d2i_X509_CRL(nullptr, &p, static_cast<long>(len));
    if (!crl) throw std::runtime_error("d2i_X509_CRL failed");
    const size_t n = static_cast<size_t>(sk_X509_REVOKED_num(X509_CRL_get_REVOKED(crl)));
    X509_CRL_free(crl);
    return n;
}
