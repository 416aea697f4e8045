// Every certificate of python3-cryptography-vectors' x509/ and x509/custom/
// folders and of PKITS: those python-cryptography reads with an RSA or P-256
// key decode, encode to the bytes received and digest to openssl's
// fingerprint; the rest are refused with a code.
#include <gtest/gtest.h>

#include <sstream>

#include "CertTestUtil.h"

using namespace x509test;

namespace {

struct Entry {
    std::string label, path, expect, sha1;
};

std::vector<Entry> manifest(const zqtest::TempDir& dir) {
    auto r = zqtest::run({zqtest::kPython, zqtest::sourceDir() + "/tests/pki/x509/cert_vectors.py", dir.path()});
    EXPECT_EQ(r.status, 0);
    std::vector<Entry> out;
    std::istringstream lines(zqtest::readFile(dir / "manifest.tsv"));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream f(line);
        Entry e;
        std::getline(f, e.label, '\t');
        std::getline(f, e.path, '\t');
        std::getline(f, e.expect, '\t');
        std::getline(f, e.sha1, '\t');
        out.push_back(e);
    }
    return out;
}

TEST(CertVectors, DecodeEncodeAndDigestLikeOpenssl) {
    zqtest::TempDir dir("certvec");
    const auto entries = manifest(dir);
    int ok = 0, refused = 0;
    std::vector<std::string> rewritten;
    for (const auto& e : entries) {
        SCOPED_TRACE(e.label);
        const Bytes der = pkitest::readBytes(e.path);
        PKI_ERROR rc;
        Cert cert = decodeCert(der, &rc);
        if (e.expect == "refuse") {
            EXPECT_NE(rc, 0);
            EXPECT_EQ(cert, nullptr);
            ++refused;
            continue;
        }
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(encodeCert(cert.get()), der);
        unsigned char digest[VSC_MAX_DIGEST_LENGTH];
        int len = 0;
        ASSERT_EQ(X509_CERT_digest(cert.get(), VSC_DIGEST_SHA1, digest, &len), 0);
        EXPECT_EQ(toHex(digest, static_cast<size_t>(len)), e.sha1);
        // A copy keeps the bytes too; encoded afresh, the record gives them
        // back wherever they were DER in the usual form.
        Cert copy(dup_X509_CERT(cert.get()));
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(encodeCert(copy.get()), der);
        touch_X509_CERT(copy.get());
        if (encodeCert(copy.get()) != der) rewritten.push_back(e.label);
        ++ok;
    }
    // The one whose RSA AlgorithmIdentifiers leave out the NULL, which a
    // fresh encoding writes.
    EXPECT_EQ(rewritten, std::vector<std::string>{"custom/unsupported_extension_2.pem#0"});
    EXPECT_GT(ok, 480);
    EXPECT_GT(refused, 40);
}

}  // namespace
