// Certificate trust lists: lists written by python from the registered form
// and carried in openssl's signed data, built by the library, their faults;
// lists of object identifiers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "CertTestUtil.h"
#include <zunPKI/x509/ctl.h>

using namespace x509test;

namespace {

using Ctl = std::unique_ptr<CERT_TRUST_LIST, FreeWith<free_CERT_TRUST_LIST>>;
using Oids = std::unique_ptr<OBJECT_IDENTIFIERS, FreeWith<free_OBJECT_IDENTIFIERS>>;

Ctl decodeCtl(const Bytes& der, PKI_ERROR* rc = nullptr) { return decodeWith<Ctl>(Seq_to_CERT_TRUST_LIST, der, rc); }

const std::string& ctlFixtures() {
    static zqtest::TempDir dir("ctlfix");
    static const std::string path = pkitest::runFixtureScript("tests/pki/x509/make_ctl_fixtures.sh", dir);
    return path;
}

Bytes ctlFixture(const std::string& name) {
    EXPECT_FALSE(ctlFixtures().empty()) << "fixture script failed";
    return pkitest::readBytes(ctlFixtures() + "/" + name);
}

OBJECT_IDENTIFIER* oid(const char* text) { return new_OBJECT_IDENTIFIER(text, static_cast<int>(std::strlen(text))); }

std::string hex(const ASN1_STRING* s) { return s ? toHex(s->data, s->length) : "-"; }

// What a trust list holds, in one line.
std::string summary(const CERT_TRUST_LIST* c) {
    std::string s = "v" + std::to_string(c->version ? VSC_Get_BIGINT_Word(c->version) : 0) + " usage";
    for (int i = 0; i < get_STACK_count(c->subjectUsage); ++i)
        s += " " + oidText(static_cast<OBJECT_IDENTIFIER*>(get_STACK_value(c->subjectUsage, i)));
    s += " id " + hex(c->listIdentifier) + " seq ";
    s += c->sequenceNumber ? std::to_string(VSC_Get_BIGINT_Word(c->sequenceNumber)) : "-";
    s += " this " + std::to_string(c->thisUpdate->type) + ":" +
         std::string(reinterpret_cast<const char*>(c->thisUpdate->value->data), c->thisUpdate->value->length);
    if (c->nextUpdate)
        s += " next " + std::to_string(c->nextUpdate->type) + ":" +
             std::string(reinterpret_cast<const char*>(c->nextUpdate->value->data), c->nextUpdate->value->length);
    s += " alg " + oidText(c->subjectAlgorithm->algorithm);
    for (int i = 0; i < get_STACK_count(c->trustedSubjects); ++i) {
        const auto* tc = static_cast<const TRUSTED_CERTIFICATE*>(get_STACK_value(c->trustedSubjects, i));
        s += " [" + hex(tc->subjectIdentifier).substr(0, 8) + " " + attrsSummary(tc->subjectAttributes) + "]";
    }
    return s + " ext " + extsSummary(c->ctlExtensions);
}

const char* kFull =
    "v0 usage 1.2.410.200004.8.1.1.1 1.3.6.1.5.5.7.3.1 id 5a512d43544c seq 258 this 0:250101000000Z"
    " next 1:20260101000000Z alg 1.3.14.3.2.26 [86f7e437 ] [e9d71f5e 1.3.6.1.4.1.311.10.11.11=04:0062]"
    " [84a51684 1.3.6.1.4.1.311.10.11.11=04:0062;1.3.6.1.4.1.311.10.11.20=04:0102030405] ext 2.5.29.20:0:020105";

TEST(CtlCodec, RegisteredFormReadsAndWritesBack) {
    for (const char* file : {"full.der", "minimal.der"}) {
        SCOPED_TRACE(file);
        const Bytes der = ctlFixture(file);
        PKI_ERROR rc;
        Ctl ctl = decodeCtl(der, &rc);
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(encode(CERT_TRUST_LIST_to_Seq, static_cast<const CERT_TRUST_LIST*>(ctl.get())), der);
        Ctl copy(dup_CERT_TRUST_LIST(ctl.get()));
        EXPECT_EQ(cmp_CERT_TRUST_LIST(copy.get(), ctl.get()), 0);
    }
    EXPECT_EQ(summary(decodeCtl(ctlFixture("full.der")).get()), kFull);
    EXPECT_EQ(summary(decodeCtl(ctlFixture("minimal.der")).get()),
              "v0 usage 1.3.6.1.5.5.7.3.1 id - seq - this 0:250101000000Z alg 2.16.840.1.101.3.4.2.1 ext ");

    // The version older writers put in [0] reads, and is written as the
    // INTEGER it is.
    Ctl old = decodeCtl(ctlFixture("old-version.der"));
    ASSERT_NE(old, nullptr);
    const Bytes full = ctlFixture("full.der");
    Bytes plain = fromHex("020101");
    plain.insert(plain.end(), full.begin() + 3, full.end());  // full.der's members after its header
    Bytes expected = fromHex("3081f0");
    expected.insert(expected.end(), plain.begin(), plain.end());
    EXPECT_EQ(encode(CERT_TRUST_LIST_to_Seq, static_cast<const CERT_TRUST_LIST*>(old.get())), expected);
}

// The list as openssl cms carries it: eContent of content type row 837.
TEST(CtlCodec, CarriedInOpensslSignedData) {
    Node info = nodeOf(ctlFixture("signed.der"));
    ASSERT_NE(info, nullptr);
    Node signedData = childAt(info.get(), {1, 0});
    Node encap = childAt(signedData.get(), {2});
    ASSERT_NE(encap, nullptr);
    Node type = childAt(encap.get(), {0});
    pkitest::String row(index_to_OBJECT_IDENTIFIER(837));
    EXPECT_EQ(oidText(row.get()), "1.3.6.1.4.1.311.10.1");
    EXPECT_EQ(tlvSummary(pkitest::bytesOf(type.get())), "06:2b0601040182370a01");
    Node content = childAt(encap.get(), {1, 0});
    zpki::der::Element e;
    const Bytes octets = pkitest::bytesOf(content.get());
    zpki::der::Cursor c(octets.data(), octets.size());
    ASSERT_TRUE(zpki::der::getElement(c, e));
    ASSERT_EQ(e.identifier, 0x04);
    PKI_ERROR rc;
    Ctl ctl = decodeCtl(Bytes(e.contents, e.contents + e.contentsSize), &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(summary(ctl.get()), kFull);
    pkitest::String usage(index_to_OBJECT_IDENTIFIER(838));
    EXPECT_EQ(get_OBJECT_IDENTIFIERS_index_by_OBJECT_IDENTIFIER(ctl->subjectUsage, usage.get()), 0);
}

// A list built by the library is written as python writes it.
TEST(CtlCodec, BuiltListIsTheRegisteredForm) {
    Ctl ctl(new_CERT_TRUST_LIST());
    pkitest::String usage(index_to_OBJECT_IDENTIFIER(838)), serverAuth(oid("1.3.6.1.5.5.7.3.1"));
    ASSERT_EQ(add_OBJECT_IDENTIFIERS(ctl->subjectUsage, usage.get()), 0);
    ASSERT_EQ(add_OBJECT_IDENTIFIERS(ctl->subjectUsage, serverAuth.get()), 0);
    ctl->listIdentifier = new_OCTET_STRING(reinterpret_cast<const unsigned char*>("ZQ-CTL"), 6);
    ctl->sequenceNumber = VSC_HEX_To_BIGINT("0102");
    ctl->version = VSC_HEX_To_BIGINT("00");
    ctl->thisUpdate = makeTime(X509_TIME_UTC, "250101000000Z");
    ctl->nextUpdate = makeTime(X509_TIME_GENERALIZED, "20260101000000Z");
    // Subjects and extensions as the fixture has them.
    Ctl full = decodeCtl(ctlFixture("full.der"));
    ctl->subjectAlgorithm = dup_X509_ALGO_IDENTIFIER(full->subjectAlgorithm);
    for (int i = 0; i < 3; ++i) {
        const auto* tc = static_cast<const TRUSTED_CERTIFICATE*>(get_STACK_value(full->trustedSubjects, i));
        TRUSTED_CERTIFICATE* copy = new_TRUSTED_CERTIFICATE();
        copy->subjectIdentifier = dup_ASN1_STRING(tc->subjectIdentifier);
        if (get_X509_ATTRIBUTES_count(tc->subjectAttributes) > 0) {
            free_X509_ATTRIBUTES(copy->subjectAttributes);
            copy->subjectAttributes = dup_X509_ATTRIBUTES(tc->subjectAttributes);
        }
        push_STACK_value(ctl->trustedSubjects, copy);
    }
    ctl->ctlExtensions = dup_X509_EXTENSIONS(full->ctlExtensions);
    EXPECT_EQ(encode(CERT_TRUST_LIST_to_Seq, static_cast<const CERT_TRUST_LIST*>(ctl.get())), ctlFixture("full.der"));
    // The entries alone, and one entry whose attribute list is empty.
    const Bytes subjects = encode(TRUSTED_SUBJECTS_to_Seq, static_cast<const TRUSTED_SUBJECTS*>(ctl->trustedSubjects));
    const Bytes der = ctlFixture("full.der");
    EXPECT_NE(std::search(der.begin(), der.end(), subjects.begin(), subjects.end()), der.end());
    const auto* first = static_cast<const TRUSTED_CERTIFICATE*>(get_STACK_value(ctl->trustedSubjects, 0));
    EXPECT_EQ(tlvSummary(encode(TRUSTED_CERTIFICATE_to_Seq, first)), "30:0414" + hex(first->subjectIdentifier));
    TRUSTED_SUBJECTS* back = nullptr;
    Node node = nodeOf(subjects);
    ASSERT_EQ(Seq_to_TRUSTED_SUBJECTS(node.get(), &back), 0);
    EXPECT_EQ(get_STACK_count(back), 3);
    free_TRUSTED_SUBJECTS(back);
}

TEST(CtlCodec, FaultsAreRefusedWithTheirCode) {
    const Bytes usage = fromHex("300a06082b06010505070301");
    const Bytes time = fromHex("170d3235303130313030303030305a");
    const Bytes sha1 = fromHex("300906052b0e03021a0500");
    struct Case {
        const char* what;
        Bytes der;
        PKI_ERROR code;
    } cases[] = {
        {"two elements", seq({usage, time}), 0x5402002b},
        {"no subject usage", seq({fromHex("3000"), time, sha1}), 0x54020104},
        {"thisUpdate an OCTET STRING", seq({usage, fromHex("040101"), sha1}), 0x54020104},
        {"a subject without identifier", seq({usage, time, sha1, fromHex("30023000")}), 0x54020104},
        {"no trusted subject", seq({usage, time, sha1, fromHex("3000")}), 0x54020104},
        {"element after the extensions", seq({usage, time, sha1, fromHex("a0023000"), fromHex("020101")}), 0x54020104},
    };
    for (const auto& c : cases) {
        PKI_ERROR rc;
        EXPECT_EQ(decodeCtl(c.der, &rc), nullptr) << c.what;
        EXPECT_EQ(rc, c.code) << c.what;
    }
    CERT_TRUST_LIST* out = nullptr;
    EXPECT_EQ(Seq_to_CERT_TRUST_LIST(nullptr, &out), 0x54020049);

    // Encoding: required members, at least one usage, known time types.
    Ctl ctl(new_CERT_TRUST_LIST());
    ASN1_UNIT* made = nullptr;
    EXPECT_EQ(CERT_TRUST_LIST_to_Seq(ctl.get(), &made), 0x54010049);
    ctl->thisUpdate = makeTime(X509_TIME_UTC, "250101000000Z");
    ctl->subjectAlgorithm = new_X509_ALGO_IDENTIFIER();
    ctl->subjectAlgorithm->algorithm = oid("1.3.14.3.2.26");
    EXPECT_EQ(CERT_TRUST_LIST_to_Seq(ctl.get(), &made), 0x5401002b);
    pkitest::String usageOid(oid("1.3.6.1.5.5.7.3.1"));
    ASSERT_EQ(add_OBJECT_IDENTIFIERS(ctl->subjectUsage, usageOid.get()), 0);
    ctl->thisUpdate->type = 2;
    EXPECT_EQ(CERT_TRUST_LIST_to_Seq(ctl.get(), &made), 0x54010107);
    ctl->thisUpdate->type = X509_TIME_UTC;
    const Bytes der = encode(CERT_TRUST_LIST_to_Seq, static_cast<const CERT_TRUST_LIST*>(ctl.get()));
    EXPECT_EQ(der, seq({usage, time, fromHex("300706052b0e03021a")}));

    // The entry codecs.
    TRUSTED_SUBJECTS* subjects = new_TRUSTED_SUBJECTS();
    EXPECT_EQ(TRUSTED_SUBJECTS_to_Seq(subjects, &made), 0x5403002b);
    TRUSTED_CERTIFICATE* empty = new_TRUSTED_CERTIFICATE();
    EXPECT_EQ(TRUSTED_CERTIFICATE_to_Seq(empty, &made), 0x5405002b);
    push_STACK_value(subjects, empty);
    EXPECT_EQ(TRUSTED_SUBJECTS_to_Seq(subjects, &made), 0x54030103);
    Node none = nodeOf(fromHex("3000"));
    EXPECT_EQ(Seq_to_TRUSTED_SUBJECTS(none.get(), &subjects), 0x5404002b);
    TRUSTED_CERTIFICATE* tc = nullptr;
    EXPECT_EQ(Seq_to_TRUSTED_CERTIFICATE(none.get(), &tc), 0x5406002b);
    EXPECT_EQ(Seq_to_TRUSTED_CERTIFICATE(nullptr, &tc), 0x54060049);
    Node twoIds = nodeOf(fromHex("3006040101040102"));
    EXPECT_EQ(Seq_to_TRUSTED_CERTIFICATE(twoIds.get(), &tc), 0x54060104);
    EXPECT_EQ(Seq_to_TRUSTED_SUBJECTS(nullptr, &subjects), 0x54040049);
    EXPECT_EQ(get_STACK_count(subjects), 1);
    free_TRUSTED_SUBJECTS(subjects);
}

TEST(CtlCodec, EveryOneByteChangeDecodesToAnErrorOrAUsableList) {
    expectMutationsHarmless<Ctl>(ctlFixture("full.der"), Seq_to_CERT_TRUST_LIST, CERT_TRUST_LIST_to_Seq,
                                 dup_CERT_TRUST_LIST);
}

TEST(ObjectIdentifiers, CopiesAndFirstIndex) {
    Oids list(new_OBJECT_IDENTIFIERS());
    pkitest::String a(oid("1.2.3")), b(oid("1.2.4")), again(oid("1.2.3"));
    for (const OBJECT_IDENTIFIER* o : {a.get(), b.get(), again.get()})
        ASSERT_EQ(add_OBJECT_IDENTIFIERS(list.get(), o), 0);
    EXPECT_NE(get_STACK_value(list.get(), 0), a.get());  // a copy
    EXPECT_EQ(get_OBJECT_IDENTIFIERS_index_by_OBJECT_IDENTIFIER(list.get(), again.get()), 0);
    EXPECT_EQ(get_OBJECT_IDENTIFIERS_index_by_OBJECT_IDENTIFIER(list.get(), b.get()), 1);
    pkitest::String c(oid("1.2.5"));
    EXPECT_EQ(get_OBJECT_IDENTIFIERS_index_by_OBJECT_IDENTIFIER(list.get(), c.get()), -1);
    EXPECT_EQ(get_OBJECT_IDENTIFIERS_index_by_OBJECT_IDENTIFIER(nullptr, c.get()), -1);
    EXPECT_EQ(add_OBJECT_IDENTIFIERS(list.get(), nullptr), 1);
    EXPECT_EQ(add_OBJECT_IDENTIFIERS(nullptr, c.get()), 1);
}

}  // namespace
