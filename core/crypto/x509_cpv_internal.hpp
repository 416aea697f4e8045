// The steps of the path validation with CRLs that tests and benchmarks reach
// one by one.
#pragma once

#include <string>
#include <vector>

#include <zunPKI/x509/x509_cert.h>

namespace zcore::cpv {

// Seconds of the HTTP connect and of each wait for a CRL (the LDAP client
// has its own, as long).
constexpr int kCrlFetchTimeout = 10;
// Links tried in one validation at most, whatever the list: several
// same-named CAs must not make the search explode.
constexpr int kMaxLinks = 256;

// cert against the CRL in der (len bytes) as fetched from one of dpUris
// (the URIs of the distribution point it came from): issuer, signer,
// signature, time, extensions, then the lookup.
int checkCrlBytes(const X509_CERT* cert, const X509_CERT* issuer, const unsigned char* der, int len,
                  const std::vector<std::string>& dpUris);

// The CRL behind one URI (ldap or http), into out; false when none came.
bool fetchCrl(const std::string& uri, std::string& out);

}  // namespace zcore::cpv
