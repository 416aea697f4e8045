// Certificate lists against openssl's PKCS#7 certificate sets, certificate
// pairs of PKITS' directory, and IssuerAndSerialNumber.
#include <algorithm>
#include <gtest/gtest.h>

#include <filesystem>

#include "CertTestUtil.h"
#include <zunPKI/x509/issuer_and_serial_number.h>
#include <zunPKI/x509/x509_certs.h>

using namespace x509test;

namespace {

using List = std::unique_ptr<X509_CERTIFICATES, FreeWith<free_X509_CERTIFICATES>>;
using Pair = std::unique_ptr<X509_CERT_PAIR, FreeWith<free_X509_CERT_PAIR>>;
using Ias = std::unique_ptr<ISSUER_AND_SERIAL_NUMBER, FreeWith<free_ISSUER_AND_SERIAL_NUMBER>>;

Bytes fixtureBytes(const std::string& name) { return pkitest::readBytes(certFixtures() + "/" + name); }

// The element at a path of child indexes below the DER's outermost element.
Bytes elementAt(const Bytes& der, std::initializer_list<int> path) {
    Node node = childAt(nodeOf(der).get(), path);
    return node ? pkitest::bytesOf(node.get()) : Bytes{};
}

List listOf(std::initializer_list<const char*> files) {
    List list(new_X509_CERTIFICATES());
    for (const char* f : files) EXPECT_EQ(add_X509_CERTIFICATES(list.get(), certFixture(f).get()), 0);
    return list;
}

TEST(CertList, SameCertificatesAsOpensslPkcs7) {
    const char* files[] = {"ca.der", "leaf.der", "ec.der"};
    List list = listOf({files[0], files[1], files[2]});
    const Bytes ours = encode(X509_CERTIFICATES_to_Seq, static_cast<const X509_CERTIFICATES*>(list.get()));
    ASSERT_FALSE(ours.empty());

    // openssl's p7b: ContentInfo { type, [0] SignedData { ..., [0] certificates } }
    zqtest::TempDir dir("certlist");
    std::vector<std::string> args{"crl2pkcs7", "-nocrl", "-outform", "DER", "-out", dir / "c.p7b"};
    for (const char* f : files) {
        pkitest::openssl({"x509", "-inform", "DER", "-in", certFixtures() + "/" + f, "-out", dir / f});
        args.insert(args.end(), {"-certfile", dir / f});
    }
    pkitest::openssl(args);
    const Bytes certificates = elementAt(pkitest::readBytes(dir / "c.p7b"), {1, 0, 3});
    ASSERT_EQ(certificates.at(0), 0xa0);
    // The same certificates in the same order: only the identifier differs.
    EXPECT_EQ(Bytes(ours.begin() + 1, ours.end()), Bytes(certificates.begin() + 1, certificates.end()));

    X509_CERTIFICATES* read = nullptr;
    ASSERT_EQ(Seq_to_X509_CERTIFICATES(nodeOf(certificates).get(), &read), 0);
    List back(read);
    ASSERT_EQ(get_STACK_count(back.get()), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(encodeCert(static_cast<X509_CERT*>(get_STACK_value(back.get(), i))), fixtureBytes(files[i]));

    EXPECT_EQ(get_X509_CERTS_index_by_X509_CERT(back.get(), certFixture("ec.der").get()), 2);
    EXPECT_EQ(get_X509_CERTS_index_by_X509_CERT(back.get(), vectorCert("v1_cert.pem").get()), -1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(print_X509_CERTIFICATES(back.get()), 3);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("X509_CERTS === [3/3]"), std::string::npos);
}

TEST(CertList, RefusedListsLeaveTheCallersList) {
    List empty(new_X509_CERTIFICATES());
    ASN1_UNIT* out = nullptr;
    EXPECT_EQ(X509_CERTIFICATES_to_Seq(empty.get(), &out), 0x461f002b);
    EXPECT_EQ(out, nullptr);

    const Bytes ca = fixtureBytes("ca.der"), leaf = fixtureBytes("leaf.der");
    struct Case {
        const char* what;
        Bytes der;
        PKI_ERROR code;
    } cases[] = {
        {"no certificate", Bytes{0x30, 0x00}, 0x4620002b},
        {"an element that is not a SEQUENCE", seq({ca, Bytes{0x02, 0x01, 0x00}}), 0x46200104},
        {"the third certificate's TBS of one element",
         seq({ca, leaf,
              Bytes{0x30, 0x0d, 0x30, 0x03, 0x02, 0x01, 0x00, 0x30, 0x03, 0x06, 0x01, 0x00, 0x03, 0x01, 0x00}}),
         0x4611002b},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        X509_CERTIFICATES* none = nullptr;
        EXPECT_EQ(Seq_to_X509_CERTIFICATES(nodeOf(c.der).get(), &none), c.code);
        EXPECT_EQ(none, nullptr);
        List mine = listOf({"ec.der"});
        X509_CERTIFICATES* target = mine.get();
        EXPECT_EQ(Seq_to_X509_CERTIFICATES(nodeOf(c.der).get(), &target), c.code);
        EXPECT_EQ(target, mine.get());
        EXPECT_EQ(get_STACK_count(mine.get()), 1);
    }
    // On success the certificates join the caller's list.
    List mine = listOf({"ec.der"});
    X509_CERTIFICATES* target = mine.get();
    ASSERT_EQ(Seq_to_X509_CERTIFICATES(nodeOf(seq({ca, leaf})).get(), &target), 0);
    EXPECT_EQ(get_STACK_count(mine.get()), 3);
}

TEST(CertPair, EveryPkitsPairDecodes) {
    int pairs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(kVectorsDir) + "/PKITS_data/certpairs")) {
        const std::string name = entry.path().filename();
        SCOPED_TRACE(name);
        const Bytes der = pkitest::readBytes(entry.path());
        X509_CERT_PAIR* made = nullptr;
        const PKI_ERROR rc = Seq_to_X509_CERT_PAIR(nodeOf(der).get(), &made);
        Pair pair(made);
        if (name.rfind("DSA", 0) == 0) {  // DSA keys are not read
            EXPECT_EQ(rc, 0x46110104);
            continue;
        }
        ASSERT_EQ(rc, 0);
        // forward pairs carry [0], reverse pairs [1]
        const bool forward = name.find("forward") != std::string::npos;
        X509_CERT* cert = forward ? pair->first : pair->second;
        ASSERT_NE(cert, nullptr);
        EXPECT_EQ(forward ? pair->second : pair->first, nullptr);
        EXPECT_EQ(encodeCert(cert), elementAt(der, {0, 0}));
        ++pairs;
    }
    EXPECT_GT(pairs, 300);
}

TEST(CertPair, UntaggedFormAndRefusals) {
    Pair pair(new_X509_CERT_PAIR());
    Cert ca = certFixture("ca.der"), leaf = certFixture("leaf.der");
    // An empty certificate has no TBS encoding: its code, nothing appended.
    ASN1_UNIT* out = nullptr;
    EXPECT_EQ(X509_CERT_PAIR_to_Seq(pair.get(), &out), 0x46100049);
    EXPECT_EQ(out, nullptr);
    free_X509_CERT(pair->first);
    pair->first = dup_X509_CERT(ca.get());
    free_X509_TBS_CERT(pair->second->tbs);
    pair->second->tbs = nullptr;
    EXPECT_EQ(X509_CERT_PAIR_to_Seq(pair.get(), &out), 0x46100049);
    EXPECT_EQ(out, nullptr);

    free_X509_CERT(pair->second);
    pair->second = dup_X509_CERT(leaf.get());
    ASSERT_EQ(X509_CERT_PAIR_to_Seq(pair.get(), &out), 0);
    Node node(out);
    const Bytes der = pkitest::bytesOf(node.get());
    X509_CERT_PAIR* made = nullptr;
    ASSERT_EQ(Seq_to_X509_CERT_PAIR(node.get(), &made), 0);
    Pair back(made);
    EXPECT_EQ(encodeCert(back->first), fixtureBytes("ca.der"));
    EXPECT_EQ(encodeCert(back->second), fixtureBytes("leaf.der"));

    // Into the caller's pair, which keeps its certificates on failure.
    X509_CERT_PAIR* target = back.get();
    EXPECT_EQ(Seq_to_X509_CERT_PAIR(nodeOf(der).get(), &target), 0);
    EXPECT_EQ(target, back.get());
    struct Case {
        Bytes der;
        PKI_ERROR code;
    } cases[] = {
        {[&] {
             Bytes ca1 = fixtureBytes("ca.der");
             Bytes out{0x30, 0x82, static_cast<unsigned char>(ca1.size() >> 8), static_cast<unsigned char>(ca1.size())};
             out.insert(out.end(), ca1.begin(), ca1.end());
             return out;
         }(),
         0x461e002b},
        {Bytes{0x30, 0x06, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00}, 0x461e0104},
        {Bytes{0x30, 0x04, 0xa1, 0x02, 0x02, 0x00}, 0x461e0104},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Seq_to_X509_CERT_PAIR(nodeOf(c.der).get(), &target), c.code);
        EXPECT_EQ(encodeCert(target->first), fixtureBytes("ca.der"));
    }
}

TEST(IssuerAndSerial, CodecAgainstTheCertificatesOwnBytes) {
    Cert leaf = certFixture("leaf.der");
    Ias ias(new_ISSUER_AND_SERIAL_NUMBER());
    // Without the serial nothing is written.
    ias->issuer = dup_X509_NAME(get_X509_issuer(leaf.get()));
    ASN1_UNIT* out = nullptr;
    EXPECT_EQ(ISSUER_AND_SERIAL_NUMBER_to_Seq(ias.get(), &out), 0x5101002b);
    EXPECT_EQ(out, nullptr);
    ias->serialNumber = VSC_Dup_BIGINT(get_X509_serial(leaf.get()));
    const Bytes der = encode(ISSUER_AND_SERIAL_NUMBER_to_Seq, static_cast<const ISSUER_AND_SERIAL_NUMBER*>(ias.get()));
    // SEQUENCE { the certificate's issuer, its serial }, as the certificate has them.
    const Bytes cert = fixtureBytes("leaf.der");
    Bytes contents = elementAt(cert, {0, 3});
    const Bytes serial = elementAt(cert, {0, 1});
    contents.insert(contents.end(), serial.begin(), serial.end());
    Bytes expected{0x30, static_cast<unsigned char>(contents.size())};
    expected.insert(expected.end(), contents.begin(), contents.end());
    EXPECT_EQ(der, expected);

    ISSUER_AND_SERIAL_NUMBER* read = nullptr;
    ASSERT_EQ(Seq_to_ISSUER_AND_SERIAL_NUMBER(nodeOf(der).get(), &read), 0);
    Ias back(read);
    EXPECT_EQ(cmp_ISSUER_AND_SERIAL_NUMBER(leaf.get(), back.get()), 0);

    Bytes three = der;
    three.insert(three.end(), serial.begin(), serial.end());
    three[1] = static_cast<unsigned char>(three.size() - 2);
    const Bytes swapped = [&] {
        Bytes c = serial;
        const Bytes issuer = elementAt(cert, {0, 3});
        c.insert(c.end(), issuer.begin(), issuer.end());
        Bytes out{0x30, static_cast<unsigned char>(c.size())};
        out.insert(out.end(), c.begin(), c.end());
        return out;
    }();
    ISSUER_AND_SERIAL_NUMBER* none = nullptr;
    EXPECT_EQ(Seq_to_ISSUER_AND_SERIAL_NUMBER(nodeOf(three).get(), &none), 0x5102002b);
    EXPECT_EQ(Seq_to_ISSUER_AND_SERIAL_NUMBER(nodeOf(swapped).get(), &none), 0x51020104);
    EXPECT_EQ(none, nullptr);
}

TEST(IssuerAndSerial, FindsTheFirstCertificateItNames) {
    // Two certificates with the same issuer and serial: the first is found.
    List list = listOf({"ca.der", "bounds.der", "leaf.der"});
    Cert leaf = certFixture("leaf.der");
    Ias ias(new_ISSUER_AND_SERIAL_NUMBER());
    ias->issuer = dup_X509_NAME(get_X509_issuer(leaf.get()));
    ias->serialNumber = VSC_Dup_BIGINT(get_X509_serial(leaf.get()));
    EXPECT_EQ(find_X509_CERT_by_IssuerAndSerialNumber(list.get(), ias.get()), get_STACK_value(list.get(), 1));

    // The same issuer under another string type is another name.
    for (int i = 0; i < get_X509_NAME_count(ias->issuer); ++i) {
        X509_NAME_CHILD* e = get_X509_NAME_CHILD(ias->issuer, i);
        if (e->value->type == ASN1_TAG_UTF8_STRING) e->value->type = ASN1_TAG_PRINTABLE_STRING;
    }
    EXPECT_EQ(find_X509_CERT_by_IssuerAndSerialNumber(list.get(), ias.get()), nullptr);
    EXPECT_EQ(cmp_ISSUER_AND_SERIAL_NUMBER(leaf.get(), ias.get()), -1);
    VSC_Set_BIGINT_Word(ias->serialNumber, 1);
    EXPECT_EQ(cmp_ISSUER_AND_SERIAL_NUMBER(leaf.get(), ias.get()), -1);
    EXPECT_EQ(find_X509_CERT_by_IssuerAndSerialNumber(nullptr, ias.get()), nullptr);
}

}  // namespace
