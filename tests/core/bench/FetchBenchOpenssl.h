// OpenSSL's side of the CRL step, apart from libzunPKI's headers (both name
// ASN1_STRING).
#pragma once

#include <string>

struct x509_st;

class OpensslCrlStep {
public:
    // The CRL's DER, its CA and a certificate under the CA's name, both PEM.
    OpensslCrlStep(const std::string& crl, const std::string& ca, const std::string& target);
    ~OpensslCrlStep();
    OpensslCrlStep(const OpensslCrlStep&) = delete;
    OpensslCrlStep& operator=(const OpensslCrlStep&) = delete;
    // d2i_X509_CRL, X509_CRL_verify, X509_CRL_get0_by_serial; true when the
    // CRL verifies and does not list the certificate.
    bool run() const;

private:
    const std::string& m_crl;
    x509_st* m_ca = nullptr;
    x509_st* m_target = nullptr;
};
