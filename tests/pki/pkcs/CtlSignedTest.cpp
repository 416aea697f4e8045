// Signed trust lists: lists signed by openssl cms (and one in PKCS#7's own
// form by python3-cryptography), their signature and period checks, and
// which certificates become anchors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "P7Helpers.h"
#include "pkcs/ctl_signed.hpp"
#include <zunPKI/pkcs/ctl_signed.h>
#include <zunPKI/pkcs/pkcs7_sign.h>
#include <zunPKI/x509/certpath.h>

using namespace p7test;

namespace {

using Anchors = std::unique_ptr<TRUST_ANCHORS, FreeWith<free_TRUST_ANCHORS>>;
using Certs = std::unique_ptr<X509_CERTIFICATES, FreeWith<free_X509_CERTIFICATES>>;

const std::string& ctlFixtures() {
    static zqtest::TempDir dir("ctlsigned");
    static const std::string path = pkitest::runFixtureScript("tests/pki/pkcs/make_ctl_signed_fixtures.sh", dir);
    return path;
}
Bytes file(const std::string& name) {
    EXPECT_FALSE(ctlFixtures().empty()) << "fixture script failed";
    return pkitest::readBytes(ctlFixtures() + "/" + name);
}
Message message(const std::string& name) {
    PKI_ERROR rc;
    Message m = decode(file(name), &rc);
    EXPECT_EQ(rc, 0) << name;
    return m;
}
Cert certificate(const std::string& name) {
    return x509test::decodeWith<Cert>(Seq_to_X509_CERT, file(name + ".der"), nullptr);
}

Anchors anchorsOf(const std::vector<std::string>& names) {
    Anchors list(new_TRUST_ANCHORS());
    for (const auto& n : names) {
        Cert c = certificate(n);
        TRUST_ANCHOR a{get_X509_subject(c.get()), get_X509_SPKI(c.get())};
        EXPECT_EQ(add_TRUST_ANCHORS(list.get(), &a), 0) << n;
    }
    return list;
}

// The subjects' common names of the anchors, in order.
std::vector<std::string> namesOf(const TRUST_ANCHORS* list) {
    std::vector<std::string> out;
    for (int i = 0; i < get_STACK_count(list); ++i) {
        const auto* a = static_cast<const TRUST_ANCHOR*>(get_STACK_value(list, i));
        const X509_NAME_CHILD* cn = get_X509_NAME_CHILD(a->name, get_X509_NAME_count(a->name) - 1);
        out.emplace_back(reinterpret_cast<const char*>(cn->value->data), cn->value->length);
    }
    return out;
}

TEST(CtlSigned, ListedCertificatesOfATrustedSignerBecomeAnchors) {
    for (const char* name : {"signed.der", "signed-sha256.der", "signed-v1.der", "signed-pkcs7.der"}) {
        SCOPED_TRACE(name);
        Message p7 = message(name);
        ASSERT_NE(p7, nullptr);
        EXPECT_EQ(verify_ctlSignedData(p7.get()), 0);
        Anchors list = anchorsOf({"root"});
        ASSERT_EQ(add_TRUST_ANCHORS_from_CTL(list.get(), p7.get()), 0);
        // Not the signer, not the certificate the list does not name.
        EXPECT_EQ(namesOf(list.get()), (std::vector<std::string>{"CTL Root", "Listed Root"}));
        // Taken once.
        ASSERT_EQ(add_TRUST_ANCHORS_from_CTL(list.get(), p7.get()), 0);
        EXPECT_EQ(get_STACK_count(list.get()), 2);
    }
    // openssl reads the same message as signed by a signer under the root.
    const std::string dir = ctlFixtures();
    EXPECT_EQ(openssl({"cms", "-verify", "-binary", "-inform", "DER", "-in", dir + "/signed.der", "-CAfile",
                       dir + "/root.pem", "-purpose", "any", "-out", "/dev/null"})
                  .status,
              0);
    // Written again by our encoder (the list as PKCS#7 carries it), the
    // message still verifies.
    Message p7 = message("signed.der");
    PKI_ERROR rc;
    Message again = decode(encode(p7.get()), &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(verify_ctlSignedData(again.get()), 0);
}

TEST(CtlSigned, TamperingAndUntrustedSignersAreRefused) {
    // One byte of the list changed inside the eContent: "ZQ-CTL" becomes "ZQ-CTM".
    Bytes changed = file("signed.der");
    const std::string id = "ZQ-CTL";
    auto at = std::search(changed.begin(), changed.end(), id.begin(), id.end());
    ASSERT_NE(at, changed.end());
    at[5] = 'M';
    Message tampered = decode(changed);
    ASSERT_NE(tampered, nullptr);
    EXPECT_EQ(verify_ctlSignedData(tampered.get()), 0x4b21005e);
    Anchors list = anchorsOf({"root"});
    EXPECT_EQ(add_TRUST_ANCHORS_from_CTL(list.get(), tampered.get()), 0x4b21005e);
    EXPECT_EQ(get_STACK_count(list.get()), 1);

    // A certificate added to the message is carried but not taken.
    Message added = message("signed.der");
    Cert other = certificate("other-root");
    ASSERT_EQ(add_PKCS7_Certificate(added.get(), other.get()), 0);
    ASSERT_EQ(add_TRUST_ANCHORS_from_CTL(list.get(), added.get()), 0);
    EXPECT_EQ(namesOf(list.get()), (std::vector<std::string>{"CTL Root", "Listed Root"}));

    // A signer that does not validate to an anchor of the list.
    Message p7 = message("signed.der");
    Anchors stranger = anchorsOf({"other-root"});
    EXPECT_EQ(add_TRUST_ANCHORS_from_CTL(stranger.get(), p7.get()), 0x53020116);
    EXPECT_EQ(get_STACK_count(stranger.get()), 1);

    // A signature that does not verify, and a contentType attribute naming
    // another type.
    Message badSig = message("signed.der");
    signerAt(badSig.get(), 0)->encryptedDigest->data[10] ^= 1;
    EXPECT_EQ(verify_ctlSignedData(badSig.get()), 1);
    Message badType = message("signed.der");
    X509_ATTRIBUTES* attrs = signerAt(badType.get(), 0)->authenticatedAttributes;
    const int row = index_from_oid_string("1.2.840.113549.1.9.3", 20);
    auto* type = static_cast<OBJECT_IDENTIFIER*>(get_X509_ATTRIBUTE_data(
        get_X509_ATTRIBUTES_child(attrs, get_X509_ATTRIBUTES_index_by_OID_index(attrs, row, -1)), 0));
    ASSERT_NE(type, nullptr);
    set_ASN1_STRING_value(type, ASN1_TAG_OBJECT_IDENTIFIER,
                          reinterpret_cast<const unsigned char*>("1.2.840.113549.1.7.1"), 20);
    EXPECT_EQ(verify_ctlSignedData(badType.get()), 0x5302002b);

    // A signer key that is not there is refused, not made up.
    Message noKey = message("signed.der");
    X509_PUBKEY* spki = get_X509_SPKI(find_X509_CERT_by_IssuerAndSerialNumber(
        signedData(noKey.get())->certificates, signerAt(noKey.get(), 0)->issuerAndSerialNumber));
    free_ASYMMETRIC_KEY(spki->key);
    spki->key = nullptr;
    EXPECT_EQ(verify_ctlSignedData(noKey.get()), 0x53020049);
}

TEST(CtlSigned, ListsOutOfPeriodOrUseAreRefused) {
    struct Case {
        const char* file;
        PKI_ERROR code;
    } cases[] = {
        {"signed-expired.der", 0x532b0113},
        {"signed-nousage.der", 0x532b0113},
        {"signed-v2.der", 0x53020104},
        {"signed-data.der", 0x53020049},
    };
    for (const auto& c : cases) {
        Message p7 = message(c.file);
        ASSERT_NE(p7, nullptr) << c.file;
        EXPECT_EQ(verify_ctlSignedData(p7.get()), c.code) << c.file;
        Anchors list = anchorsOf({"root"});
        EXPECT_EQ(add_TRUST_ANCHORS_from_CTL(list.get(), p7.get()), c.code) << c.file;
        EXPECT_EQ(get_STACK_count(list.get()), 1) << c.file;
    }
    EXPECT_EQ(verify_ctlSignedData(nullptr), 0x53020049);
    EXPECT_EQ(add_TRUST_ANCHORS_from_CTL(nullptr, nullptr), 0x53020049);
}

TEST(CtlSigned, PeriodBounds) {
    Message p7 = message("signed.der");
    const auto* ctl = static_cast<const CERT_TRUST_LIST*>(signedData(p7.get())->contentInfo->content);
    auto at = [](int type, const char* text) {
        X509_TIME* t = new_X509_TIME();
        t->type = type;
        t->value = new_ASN1_STRING();
        set_ASN1_STRING_value(t->value, type == X509_TIME_UTC ? ASN1_TAG_UTC_TIME : ASN1_TAG_GENERALIZED_TIME,
                              reinterpret_cast<const unsigned char*>(text), static_cast<int>(std::strlen(text)));
        return std::unique_ptr<X509_TIME, FreeWith<free_X509_TIME>>(t);
    };
    EXPECT_EQ(zpki::ctl::verifyValidityPeriod(ctl, nullptr), 0);
    EXPECT_EQ(zpki::ctl::verifyValidityPeriod(ctl, at(X509_TIME_UTC, "000101000000Z").get()), 0x532b0113);
    EXPECT_EQ(zpki::ctl::verifyValidityPeriod(ctl, at(X509_TIME_GENERALIZED, "21000101000000Z").get()), 0x532b0113);
    EXPECT_EQ(zpki::ctl::verifyValidityPeriod(ctl, at(5, "21000101000000Z").get()), 0x532b0115);
    // Without nextUpdate the list does not end.
    CERT_TRUST_LIST* open = dup_CERT_TRUST_LIST(ctl);
    free_X509_TIME(open->nextUpdate);
    open->nextUpdate = nullptr;
    EXPECT_EQ(zpki::ctl::verifyValidityPeriod(open, at(X509_TIME_GENERALIZED, "21000101000000Z").get()), 0);
    free_CERT_TRUST_LIST(open);
    EXPECT_EQ(zpki::ctl::verifyValidityPeriod(nullptr, nullptr), 0x532b0049);
}

TEST(CtlSigned, CertificatesAreCopiedUnchecked) {
    Message p7 = message("signed.der");
    Certs certs(new_X509_CERTIFICATES());
    ASSERT_EQ(add_CERTIFICATES_from_CTL(certs.get(), p7.get()), 0);
    EXPECT_EQ(get_STACK_count(certs.get()), 3);
    EXPECT_EQ(add_CERTIFICATES_from_CTL(certs.get(), nullptr), 0x53020049);
    EXPECT_EQ(get_STACK_count(certs.get()), 3);
}

}  // namespace
