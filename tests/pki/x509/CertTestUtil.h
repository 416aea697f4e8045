// Helpers of the certificate tests: records owned by the test, certificates
// from bytes and files, and the openssl fixtures of make_cert_fixtures.sh.
#pragma once

#include "X509TestUtil.h"
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/x509/x509_cert.h>

namespace x509test {

using Cert = std::unique_ptr<X509_CERT, FreeWith<free_X509_CERT>>;
using PubKey = std::unique_ptr<X509_PUBKEY, FreeWith<free_X509_PUBKEY>>;

inline Cert decodeCert(const Bytes& der, PKI_ERROR* rc = nullptr) {
    return decodeWith<Cert>(Seq_to_X509_CERT, der, rc);
}
inline Bytes encodeCert(const X509_CERT* cert) { return encode(X509_CERT_to_Seq, cert); }

// The objects of make_cert_fixtures.sh, made once per test program.
inline const std::string& certFixtures() {
    static zqtest::TempDir dir("certfix");
    static const std::string path = pkitest::runFixtureScript("tests/pki/x509/make_cert_fixtures.sh", dir);
    return path;
}

inline Cert certFixture(const std::string& name) {
    PKI_ERROR rc;
    Cert c = decodeCert(pkitest::readBytes(certFixtures() + "/" + name), &rc);
    EXPECT_EQ(rc, 0) << name;
    return c;
}

inline const char* kVectorsDir = "/usr/lib/python3/dist-packages/cryptography_vectors/x509";

// A certificate of the vectors, PEM or DER (the first one in the file).
inline Cert vectorCert(const std::string& relative) {
    const std::string path = std::string(kVectorsDir) + "/" + relative;
    const std::string text = zqtest::readFile(path);
    Cert cert;
    X509_CERT* made = nullptr;
    auto decoder = reinterpret_cast<ASN1_DECODE_FUNC>(Seq_to_X509_CERT);
    const PKI_ERROR rc =
        text.find("-----BEGIN") != std::string::npos
            ? readPEM_from_Binary(reinterpret_cast<void**>(&made), decoder, text.data(), static_cast<int>(text.size()))
            : readDER_from_Binary(reinterpret_cast<void**>(&made), decoder,
                                  reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    EXPECT_EQ(rc, 0) << relative;
    cert.reset(made);
    return cert;
}

inline X509_TIME* makeTime(int type, const std::string& text) {
    X509_TIME* t = new_X509_TIME();
    t->type = type;
    t->value = new_ASN1_STRING();
    set_ASN1_STRING_value(t->value, type == X509_TIME_UTC ? ASN1_TAG_UTC_TIME : ASN1_TAG_GENERALIZED_TIME,
                          reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    return t;
}
using Time = std::unique_ptr<X509_TIME, FreeWith<free_X509_TIME>>;

}  // namespace x509test
