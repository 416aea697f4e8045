// Helpers of the PKCS#7 tests: messages, certificates and keys owned by the
// test, and the openssl objects of make_p7_fixtures.sh.
#pragma once

#include "../x509/X509TestUtil.h"
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/pkcs/pkcs7.h>
#include <zunPKI/pkcs/pkcs8.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace p7test {

using pkitest::Bytes;
using x509test::FreeWith;
using Message = std::unique_ptr<P7_CONTENT_INFO, FreeWith<free_P7_CONTENT_INFO>>;
using Cert = std::unique_ptr<X509_CERT, FreeWith<free_X509_CERT>>;
using KeyInfo = std::unique_ptr<P8_PRIV_KEY_INFO, FreeWith<free_P8_PRIV_KEY_INFO>>;

inline Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline std::string textOf(const Bytes& b) { return std::string(b.begin(), b.end()); }

// The objects of make_p7_fixtures.sh, made once per test program.
inline const std::string& fixtures() {
    static zqtest::TempDir dir("p7fix");
    static const std::string path = pkitest::runFixtureScript("tests/pki/pkcs/make_p7_fixtures.sh", dir);
    return path;
}
inline std::string fixturePath(const std::string& name) { return fixtures() + "/" + name; }
inline Bytes fixture(const std::string& name) { return pkitest::readBytes(fixturePath(name)); }

inline Message decode(const Bytes& der, PKI_ERROR* rc = nullptr) {
    return x509test::decodeWith<Message>(Seq_to_P7_CONTENT_INFO, der, rc);
}
inline Bytes encode(const P7_CONTENT_INFO* p7) { return x509test::encode(P7_CONTENT_INFO_to_Seq, p7); }

inline Cert cert(const std::string& name) {
    return x509test::decodeWith<Cert>(Seq_to_X509_CERT, fixture(name), nullptr);
}

// The private key of a PKCS#8 fixture; the record owns it.
inline KeyInfo key(const std::string& name) {
    return x509test::decodeWith<KeyInfo>(Seq_to_P8_PRIV_KEY_INFO, fixture(name), nullptr);
}

inline P7_SIGNED_DATA* signedData(const P7_CONTENT_INFO* p7) { return static_cast<P7_SIGNED_DATA*>(p7->content); }
inline P7_SIGNER_INFO* signerAt(const P7_CONTENT_INFO* p7, int i) {
    return static_cast<P7_SIGNER_INFO*>(get_STACK_value(signedData(p7)->signerInfos, i));
}

inline int rowOf(const OBJECT_IDENTIFIER* oid) { return oid ? index_from_OBJECT_IDENTIFIER(oid) : 0; }

// openssl with args and input; its exit status and standard output.
inline zqtest::RunResult openssl(const std::vector<std::string>& args, const std::string& input = {}) {
    std::vector<std::string> argv{"openssl"};
    argv.insert(argv.end(), args.begin(), args.end());
    return zqtest::run(argv, input, {"OPENSSL_CONF=/dev/null"});
}

// A fresh NSS database that trusts the test CA; holdKey adds a fixture's
// certificate with its private key (nickname: the fixture's name).
struct NssDb {
    zqtest::TempDir dir{"p7nss"};
    std::string db = "sql:" + dir.path();
    NssDb() {
        EXPECT_EQ(zqtest::run({"certutil", "-N", "-d", db, "--empty-password"}).status, 0);
        EXPECT_EQ(
            zqtest::run({"certutil", "-A", "-d", db, "-n", "ca", "-t", "CT,C,C", "-i", fixturePath("ca.der")}).status,
            0);
    }
    void holdKey(const std::string& name) {
        const std::string p12 = dir / (name + ".p12");
        EXPECT_EQ(openssl({"pkcs12", "-export", "-in", fixturePath(name + ".pem"), "-inkey", fixturePath(name + ".key"),
                           "-name", name, "-passout", "pass:pw", "-out", p12})
                      .status,
                  0);
        EXPECT_EQ(zqtest::run({"pk12util", "-i", p12, "-d", db, "-W", "pw"}).status, 0);
    }
};

}  // namespace p7test
