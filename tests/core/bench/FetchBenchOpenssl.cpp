#include "FetchBenchOpenssl.h"

#include <openssl/pem.h>
#include <openssl/x509.h>

namespace {

X509* readPem(const std::string& pem) {
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    X509* x = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    return x;
}

}  // namespace

OpensslCrlStep::OpensslCrlStep(const std::string& crl, const std::string& ca, const std::string& target)
    : m_crl(crl), m_ca(readPem(ca)), m_target(readPem(target)) {}

OpensslCrlStep::~OpensslCrlStep() {
    X509_free(m_target);
    X509_free(m_ca);
}

bool OpensslCrlStep::run() const {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(m_crl.data());
    X509_CRL* crl = d2i_X509_CRL(nullptr, &p, static_cast<long>(m_crl.size()));
    X509_REVOKED* entry = nullptr;
    const bool ok = crl && X509_CRL_verify(crl, X509_get0_pubkey(m_ca)) == 1 &&
                    X509_CRL_get0_by_serial(crl, &entry, X509_get0_serialNumber(m_target)) == 0;
    X509_CRL_free(crl);
    return ok;
}
