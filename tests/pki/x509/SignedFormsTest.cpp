// One signed certificate or CRL, one fingerprint: byte forms that differ
// only around the signed body (make_ber_fixtures.sh) decode, verify, digest
// to openssl's fingerprint of the DER form and encode to that form.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <sstream>

#include "CertTestUtil.h"

using namespace x509test;

namespace {

using Crl = std::unique_ptr<X509_CRL, FreeWith<free_X509_CRL>>;
using CertList = std::unique_ptr<X509_CERTIFICATES, FreeWith<free_X509_CERTIFICATES>>;

const std::string& formFixtures() {
    static zqtest::TempDir dir("berfix");
    static const std::string path = pkitest::runFixtureScript("tests/pki/x509/make_ber_fixtures.sh", dir);
    return path;
}

// Hex as openssl prints fingerprints (upper case, without the colons).
std::string upperHex(const unsigned char* p, int len) {
    std::string hex = toHex(p, static_cast<size_t>(len));
    for (char& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return hex;
}

std::string sha1Hex(const Bytes& der) {
    unsigned char md[VSC_MAX_DIGEST_LENGTH];
    int len = 0;
    if (VSC_DIGEST(VSC_DIGEST_SHA1, der.data(), static_cast<int>(der.size()), md, &len) != 0) return {};
    return upperHex(md, len);
}

// What openssl makes of a form: the same fingerprint as the DER form, another
// one (a constructed BIT STRING: openssl takes each segment's unused-bits
// octet into the value, and the signature no longer verifies), or nothing (a
// long-form zero length, which openssl does not read).
enum class Openssl { Same, Misreads, Refuses };

struct ManifestLine {
    std::string kind, reference, expected, opensslOfVariant;
};

std::map<std::string, ManifestLine> manifest() {
    std::map<std::string, ManifestLine> out;
    std::istringstream in(zqtest::readFile(formFixtures() + "/manifest.txt"));
    std::string file;
    ManifestLine l;
    while (in >> l.kind >> file >> l.reference >> l.expected >> l.opensslOfVariant) out[file] = l;
    return out;
}

TEST(SignedForms, EveryFormAroundTheSignedBodyHasTheFingerprintOfItsDerForm) {
    ASSERT_FALSE(formFixtures().empty());
    const auto lines = manifest();
    Cert ca = decodeCert(pkitest::readBytes(formFixtures() + "/ca.der"));
    ASSERT_NE(ca, nullptr);
    const X509_PUBKEY* issuerKey = get_X509_SPKI(ca.get());

    const struct {
        const char* form;
        Openssl openssl;
    } cases[] = {
        {"outer-long", Openssl::Same},           // 30 83 00 LL LL: a length octet more than needed
        {"outer-indef", Openssl::Same},          // 30 80 ... 00 00
        {"alg-long", Openssl::Same},             // signatureAlgorithm SEQUENCE in long form
        {"alg-indef", Openssl::Same},            // ... indefinite
        {"alg-oid-long", Openssl::Same},         // its OID's length in long form
        {"alg-null-long", Openssl::Refuses},     // NULL parameters as 05 81 00
        {"sig-long", Openssl::Same},             // signature BIT STRING length with a leading zero octet
        {"sig-cons", Openssl::Misreads},         // constructed BIT STRING, indefinite, two segments
        {"sig-cons-def", Openssl::Misreads},     // constructed BIT STRING, definite
        {"all", Openssl::Misreads},              // all of the above at once
        {"tbs-ber", Openssl::Same},              // the body itself BER (signed over those bytes)
        {"tbs-ber-outer-indef", Openssl::Same},  // ... inside an indefinite outer SEQUENCE
    };
    for (const char* kind : {"cert", "crl"}) {
        for (const auto& c : cases) {
            const std::string file = std::string(kind) + "-" + c.form + ".der";
            SCOPED_TRACE(file);
            const auto it = lines.find(file);
            ASSERT_NE(it, lines.end());
            const ManifestLine& l = it->second;
            const Bytes variant = pkitest::readBytes(formFixtures() + "/" + file);
            const Bytes reference = pkitest::readBytes(formFixtures() + "/" + l.reference);
            ASSERT_EQ(sha1Hex(reference), l.expected);
            switch (c.openssl) {
                case Openssl::Same:
                    EXPECT_EQ(l.opensslOfVariant, l.expected);
                    break;
                case Openssl::Misreads:
                    EXPECT_NE(l.opensslOfVariant, l.expected);
                    break;
                case Openssl::Refuses:
                    EXPECT_EQ(l.opensslOfVariant, "-");
                    break;
            }
            if (std::string(kind) == "cert") {
                PKI_ERROR rc;
                Cert cert = decodeCert(variant, &rc);
                ASSERT_EQ(rc, 0);
                EXPECT_EQ(verify_SIG_X509_CERT(cert.get(), issuerKey), 0);
                unsigned char md[VSC_MAX_DIGEST_LENGTH];
                int len = 0;
                ASSERT_EQ(X509_CERT_digest(cert.get(), VSC_DIGEST_SHA1, md, &len), 0);
                EXPECT_EQ(upperHex(md, len), l.expected);
                EXPECT_EQ(toHex(encodeCert(cert.get())), toHex(reference));
                // Everything that hands the bytes on hands on the DER form.
                Cert original = decodeCert(reference);
                EXPECT_EQ(cmp_X509_CERT(cert.get(), original.get()), 0);
                Cert copy(dup_X509_CERT(cert.get()));
                EXPECT_EQ(toHex(encodeCert(copy.get())), toHex(reference));
                CertList list(new_X509_CERTIFICATES());
                ASSERT_EQ(add_X509_CERTIFICATES(list.get(), cert.get()), 0);
                EXPECT_EQ(toHex(encode(X509_CERTIFICATES_to_Seq, static_cast<const X509_CERTIFICATES*>(list.get()))),
                          toHex(tlv(0x30, reference)));
            } else {
                PKI_ERROR rc;
                Crl crl = decodeWith<Crl>(Seq_to_X509_CRL, variant, &rc);
                ASSERT_EQ(rc, 0);
                EXPECT_EQ(verify_SIG_X509_CRL(crl.get(), issuerKey), 0);
                const Bytes der = encode(X509_CRL_to_Seq, static_cast<const X509_CRL*>(crl.get()));
                EXPECT_EQ(toHex(der), toHex(reference));
                EXPECT_EQ(sha1Hex(der), l.expected);
                Crl original = decodeWith<Crl>(Seq_to_X509_CRL, reference, nullptr);
                EXPECT_EQ(cmp_X509_CRL(crl.get(), original.get()), 0);
            }
        }
    }
}

// Signature parameters our typed writer would refuse (an empty
// GeneralizedTime, found by fuzzing) keep their contents under a DER length:
// the outer form still does not show in the encoding.
TEST(SignedForms, ParametersKeepTheirContentsUnderADerLength) {
    const Bytes cert = pkitest::readBytes(formFixtures() + "/cert.der");
    zpki::der::Cursor in(cert.data(), cert.size());
    zpki::der::Element whole, tbs, alg, oid;
    ASSERT_TRUE(zpki::der::getElement(in, whole));
    zpki::der::Cursor parts(whole.contents, whole.contentsSize);
    ASSERT_TRUE(zpki::der::getElement(parts, tbs) && zpki::der::getElement(parts, alg));
    const Bytes sig(parts.data(), parts.data() + parts.size());
    zpki::der::Cursor algParts(alg.contents, alg.contentsSize);
    ASSERT_TRUE(zpki::der::getElement(algParts, oid));
    const Bytes body(tbs.start, tbs.start + tbs.totalSize), oidBytes(oid.start, oid.start + oid.totalSize);
    const Bytes der = seq({body, seq({oidBytes, Bytes{0x18, 0x00}}), sig});
    const Bytes longForms = tlv(0x30, cat({body, Bytes{0x30, 0x81, static_cast<unsigned char>(oidBytes.size() + 3)},
                                           oidBytes, Bytes{0x18, 0x81, 0x00}, sig}));
    Bytes indefinite{0x30, 0x80};
    indefinite = cat({indefinite, body, seq({oidBytes, Bytes{0x18, 0x00}}), sig, Bytes{0, 0}});
    for (const Bytes* form : std::initializer_list<const Bytes*>{&der, &longForms, &indefinite}) {
        PKI_ERROR rc;
        Cert decoded = decodeCert(*form, &rc);
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(toHex(encodeCert(decoded.get())), toHex(der));
    }
}

}  // namespace
