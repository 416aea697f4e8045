// OpenSSL's side of the certificate-information benchmark, in a file of its
// own: OpenSSL's headers name their types as libzunPKI's do.
#include <openssl/bio.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <stdexcept>

// What a reader of a certificate's details does with OpenSSL: decode it,
// print subject and issuer, print every extension.
void opensslCertificateText(const unsigned char* der, size_t len) {
    static BIO* const out = BIO_new(BIO_s_mem());
    const unsigned char* p = der;
    X509* cert = d2i_X509(nullptr, &p, static_cast<long>(len));
    if (!cert) throw std::runtime_error("d2i_X509 failed");
    (void)BIO_reset(out);
    X509_NAME_print_ex(out, X509_get_subject_name(cert), 0, XN_FLAG_RFC2253);
    X509_NAME_print_ex(out, X509_get_issuer_name(cert), 0, XN_FLAG_RFC2253);
    for (int i = 0; i < X509_get_ext_count(cert); ++i) X509V3_EXT_print(out, X509_get_ext(cert, i), 0, 0);
    X509_free(cert);
}

// The revocation lookup: decode the CRL and the certificate, find its serial.
int opensslRevoked(const unsigned char* crl, size_t crlLen, const unsigned char* cert, size_t certLen) {
    const unsigned char* p = crl;
    X509_CRL* list = d2i_X509_CRL(nullptr, &p, static_cast<long>(crlLen));
    p = cert;
    X509* x = d2i_X509(nullptr, &p, static_cast<long>(certLen));
    if (!list || !x) throw std::runtime_error("d2i failed");
    X509_REVOKED* entry = nullptr;
    const int found = X509_CRL_get0_by_serial(list, &entry, X509_get_serialNumber(x));
    X509_free(x);
    X509_CRL_free(list);
    return found;
}
