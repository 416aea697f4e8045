// OpenSSL's side of the certificate benchmark.
#include <openssl/x509.h>

#include <stdexcept>

void opensslDecodeCert(const unsigned char* der, size_t len) {
    const unsigned char* p = der;
    X509* cert = d2i_X509(nullptr, &p, static_cast<long>(len));
    if (!cert) throw std::runtime_error("d2i_X509 failed");
    X509_free(cert);
}
