// Certificate policies and policy mappings: python-cryptography's and
// openssl's bodies read, written and built; qualifiers typed by what they
// hold (openssl's hostile certificate); the user notice's text types; errors.
#include <gtest/gtest.h>

#include "BodyTestUtil.h"
#include <zunPKI/asn1/asn1_objects.h>

using namespace x509test;

namespace {

using Info = Own<POLICY_INFO, free_POLICY_INFO>;
using Qualifier = Own<POLICY_QUALIFIER_INFO, free_POLICY_QUALIFIER_INFO>;
using Notice = Own<USER_NOTICE, free_USER_NOTICE>;

std::string strText(const ASN1_STRING* s) {
    char id[4];
    std::snprintf(id, sizeof id, "%02x", static_cast<unsigned>(s->type));
    return std::string(id) + ":" + text(s);
}

std::string noticeSummary(const USER_NOTICE* un) {
    std::string s = "notice(";
    if (const NOTICE_REFERENCE* ref = un->noticeRef) {
        s += strText(ref->organization) + " #";
        for (int i = 0; i < get_STACK_count(ref->noticeNumbers); ++i)
            s += (i ? "," : "") + bigHex(itemOf<BIGINT>(ref->noticeNumbers, i));
    }
    if (un->explicitText) s += (un->noticeRef ? " " : "") + strText(un->explicitText);
    return s + ")";
}

std::string qualifierSummary(const POLICY_QUALIFIER_INFO* q) {
    std::string s = text(q->policyQualifierId) + "=";
    switch (q->kind) {
        case POLICY_QUALIFIER_CPS:
            return s + "cps(" + text(static_cast<ASN1_STRING*>(q->qualifier)) + ")";
        case POLICY_QUALIFIER_USER_NOTICE:
            return s + noticeSummary(static_cast<USER_NOTICE*>(q->qualifier));
        case POLICY_QUALIFIER_OTHER: {
            const auto* other = static_cast<ASN1_STRING*>(q->qualifier);
            return s + "other(" + std::to_string(other->type) + ":" + hexOf(other) + ")";
        }
        default:
            return s + "?";
    }
}

std::string policiesSummary(const CERTIFICATE_POLICIES* list) {
    std::string s;
    for (int i = 0; i < get_STACK_count(list); ++i) {
        const POLICY_INFO* pi = itemOf<POLICY_INFO>(list, i);
        s += (i ? "; " : "") + text(pi->policyIdentifier);
        if (!pi->qualifiers) continue;
        for (int j = 0; j < get_STACK_count(pi->qualifiers); ++j)
            s += " " + qualifierSummary(itemOf<POLICY_QUALIFIER_INFO>(pi->qualifiers, j));
    }
    return s;
}

Bytes der(const CERTIFICATE_POLICIES* l) { return encode(CERTIFICATE_POLICIES_to_Seq, l); }

ASN1_STRING* utf8(const char* s) {
    return new_UTF8_STRING(reinterpret_cast<const unsigned char*>(s), static_cast<int>(std::strlen(s)));
}

TEST(CertificatePolicies, ReadWrittenAndBuiltLikePythonCryptography) {
    ASSERT_FALSE(extFixtures().empty());
    const Bytes peer = peerBody("cp");
    PKI_ERROR rc;
    Policies list = decodeWith<Policies>(Seq_to_CERTIFICATE_POLICIES, peer, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(policiesSummary(list.get()),
              "1.2.410.200004.5.2.1.2 1.3.6.1.5.5.7.2.1=cps(http://cps.example/) "
              "1.3.6.1.5.5.7.2.2=notice(0c:Org #01,02,012C 0c:explicit); 1.2.3.4");
    EXPECT_EQ(itemOf<POLICY_INFO>(list.get(), 1)->qualifiers, nullptr);
    EXPECT_EQ(der(list.get()), peer);

    // Built by a caller who names the qualifiers by their ids only.
    Policies built(new_CERTIFICATE_POLICIES());
    POLICY_INFO* first = new_POLICY_INFO();
    first->policyIdentifier = oid("1.2.410.200004.5.2.1.2");
    first->qualifiers = new_POLICY_QUALIFIERS();
    POLICY_QUALIFIER_INFO* cps = new_POLICY_QUALIFIER_INFO();
    cps->policyQualifierId = index_to_OBJECT_IDENTIFIER(164);
    cps->qualifier = ia5("http://cps.example/");
    POLICY_QUALIFIER_INFO* unotice = new_POLICY_QUALIFIER_INFO();
    unotice->policyQualifierId = index_to_OBJECT_IDENTIFIER(165);
    USER_NOTICE* un = new_USER_NOTICE();
    un->noticeRef = new_NOTICE_REFERENCE();
    un->noticeRef->organization = utf8("Org");
    for (const char* n : {"01", "02", "012C"}) push_STACK_value(un->noticeRef->noticeNumbers, number(n));
    un->explicitText = utf8("explicit");
    unotice->qualifier = un;
    push_STACK_value(first->qualifiers, cps);
    push_STACK_value(first->qualifiers, unotice);
    POLICY_INFO* second = new_POLICY_INFO();
    second->policyIdentifier = oid("1.2.3.4");
    push_STACK_value(built.get(), first);
    push_STACK_value(built.get(), second);
    EXPECT_EQ(der(built.get()), peer);

    // Copies are whole and free on their own.
    Policies copy(dup_CERTIFICATE_POLICIES(built.get()));
    built.reset();
    EXPECT_EQ(der(copy.get()), peer);
}

// A qualifier is what its element is, whatever its id says.
TEST(CertificatePolicies, QualifiersTypedByWhatTheyHold) {
    ASSERT_FALSE(extFixtures().empty());
    const Bytes hostile = extensionBody(extFixture("hostile.der"), 89);
    ASSERT_EQ(toHex(hostile), "301e301c06032a03043015301306082b0601050507020130070c0568656c6c6f");
    const struct {
        std::string in, summary;
    } cases[] = {
        // id-qt-cps holding a SEQUENCE: a user notice
        {toHex(hostile), "1.2.3.4 1.3.6.1.5.5.7.2.1=notice(0c:hello)"},
        // id-qt-unotice holding an IA5String: a CPS text
        {"301a3018060129301330110608"
         "2b06010505070202"
         "1605612e622f63",
         "1.1 1.3.6.1.5.5.7.2.2=cps(a.b/c)"},
        // another id with an INTEGER: kept as it stands
        {"3014301206012930"
         "0d300b06032a0305"
         "020400ffffff",
         "1.1 1.2.3.5=other(2:00ffffff)"},
        // a BMPString explicit text keeps its type
        {"301d301b06012930163014"
         "06082b06010505070202"
         "30081e06004100420043",
         ""},
        // a PrintableString is not a DisplayText: no text
        {"301a3018060129301330110608"
         "2b06010505070202"
         "30051303414243",
         ""},
    };
    for (const auto& c : cases) {
        PKI_ERROR rc;
        Policies list = decodeHex<Policies>(Seq_to_CERTIFICATE_POLICIES, c.in, &rc);
        ASSERT_EQ(rc, 0) << c.in;
        if (!c.summary.empty()) {
            EXPECT_EQ(policiesSummary(list.get()), c.summary) << c.in;
        }
        Policies copy(dup_CERTIFICATE_POLICIES(list.get()));
        EXPECT_EQ(cmp_POLICY_INFO(itemOf<POLICY_INFO>(copy.get(), 0), itemOf<POLICY_INFO>(list.get(), 0)), 0);
        const Bytes again = der(copy.get());
        if (c.in.find("1303414243") == std::string::npos)
            EXPECT_EQ(toHex(again), c.in);
        else
            EXPECT_EQ(toHex(again), "30153013060129300e300c06082b060105050702023000");  // the PrintableString left out
    }
    PKI_ERROR rc;
    Policies bmp = decodeHex<Policies>(Seq_to_CERTIFICATE_POLICIES,
                                       "301d301b06012930163014"
                                       "06082b06010505070202"
                                       "30081e06004100420043",
                                       &rc);
    ASSERT_EQ(rc, 0);
    const auto* q = itemOf<POLICY_QUALIFIER_INFO>(itemOf<POLICY_INFO>(bmp.get(), 0)->qualifiers, 0);
    EXPECT_EQ(static_cast<USER_NOTICE*>(q->qualifier)->explicitText->type, ASN1_TAG_BMP_STRING);

    // A qualifier of no kind the encoder can tell is an error, not an empty success.
    Qualifier odd(new_POLICY_QUALIFIER_INFO());
    odd->policyQualifierId = oid("1.2.3.5");
    odd->qualifier = ia5("x");
    odd->kind = POLICY_QUALIFIER_OTHER;
    EXPECT_EQ(toHex(encode(POLICY_QUALIFIER_INFO_to_Seq, static_cast<const POLICY_QUALIFIER_INFO*>(odd.get()))),
              "300806032a0305160178");
    Qualifier unknown(new_POLICY_QUALIFIER_INFO());
    unknown->policyQualifierId = oid("1.2.3.5");
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(POLICY_QUALIFIER_INFO_to_Seq(unknown.get(), &node), 0x47340103);
    EXPECT_EQ(node, nullptr);
}

TEST(CertificatePolicies, Errors) {
    const struct {
        const char* in;
        PKI_ERROR code;
    } lists[] = {
        {"3000", 0x4727002b},                                // no term
        {"30023000", 0x47270104},                            // a term without its OID
        {"300c300a06012930053003060129", 0x47270104},        // a qualifier of one child
        {"30083006060129020101", 0x47270104},                // qualifiers not a SEQUENCE
        {"3009300706012930003000", 0x47270104},              // a term of three children
        {"300f300d06012930083006060129050100", 0x47270104},  // a qualifier NULL with contents
        // a notice reference of three children
        {"301e301c060129301730150608"
         "2b06010505070202"
         "3009"
         "3007"
         "0c0141"
         "3000"
         "0500",
         0x47270104},
    };
    for (const auto& c : lists) {
        EXPECT_EQ(refusal<Policies>(Seq_to_CERTIFICATE_POLICIES, c.in), c.code) << c.in;
    }
    PKI_ERROR rc;
    EXPECT_EQ(refusal<Info>(Seq_to_POLICY_INFO, "3000"), 0x4729002b);
    EXPECT_EQ(refusal<Qualifier>(Seq_to_POLICY_QUALIFIER_INFO, "3003060129"), 0x4733002b);
    EXPECT_EQ(refusal<Notice>(Seq_to_USER_NOTICE, "3000"), 0x4735002b);
    EXPECT_EQ(refusal<Notice>(Seq_to_USER_NOTICE,
                              "3009"
                              "3007"
                              "0c0141"
                              "3000"
                              "0500"),
              0x4737002b);

    // An empty qualifier SEQUENCE reads as none; an empty list does not encode.
    Info term = decodeHex<Info>(Seq_to_POLICY_INFO,
                                "3005060129"
                                "3000",
                                &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(term->qualifiers, nullptr);
    EXPECT_EQ(toHex(encode(POLICY_INFO_to_Seq, static_cast<const POLICY_INFO*>(term.get()))), "3003060129");
    term->qualifiers = new_POLICY_QUALIFIERS();
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(POLICY_INFO_to_Seq(term.get(), &node), 0x4732002b);
    POLICY_QUALIFIERS* quals = nullptr;
    EXPECT_EQ(Seq_to_POLICY_QUALIFIERS(nodeOf(fromHex("3000")).get(), &quals), 0);
    EXPECT_EQ(quals, nullptr);
    Policies empty(new_CERTIFICATE_POLICIES());
    EXPECT_EQ(CERTIFICATE_POLICIES_to_Seq(empty.get(), &node), 0x4728002b);

    // Notice numbers: an empty list is fine both ways; an INTEGER it must be.
    NOTICE_NUMBERS* numbers = nullptr;
    ASSERT_EQ(Seq_to_NOTICE_NUMBERS(nodeOf(fromHex("3000")).get(), &numbers), 0);
    Own<NOTICE_NUMBERS, free_NOTICE_NUMBERS> owned(numbers);
    EXPECT_EQ(toHex(encode(NOTICE_NUMBERS_to_Seq, static_cast<const NOTICE_NUMBERS*>(numbers))), "3000");
    NOTICE_NUMBERS* bad = nullptr;
    EXPECT_EQ(Seq_to_NOTICE_NUMBERS(nodeOf(fromHex("30050201010500")).get(), &bad), 0x47390104);
    // A reference decodes into the notice that holds it.
    Notice notice(new_USER_NOTICE());
    ASSERT_EQ(Seq_to_NOTICE_REFERENCE(nodeOf(fromHex("300c160341424330030201070500")).get(), notice.get()), 0x4737002b);
    ASSERT_EQ(Seq_to_NOTICE_REFERENCE(nodeOf(fromHex("300a16034142433003020107")).get(), notice.get()), 0);
    EXPECT_EQ(noticeSummary(notice.get()), "notice(16:ABC #07)");
}

TEST(PolicyMappings, ReadWrittenAndBuiltLikeOpenssl) {
    ASSERT_FALSE(extFixtures().empty());
    const Bytes body = extensionBody(extFixture("all.der"), 747);
    PKI_ERROR rc;
    Mappings list = decodeWith<Mappings>(Seq_to_POLICY_MAPPINGS, body, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(get_STACK_count(list.get()), 1);
    EXPECT_EQ(text(itemOf<POLICY_MAPPING>(list.get(), 0)->issuerDomainPolicy), "1.2.3.4");
    EXPECT_EQ(text(itemOf<POLICY_MAPPING>(list.get(), 0)->subjectDomainPolicy), "1.2.3.5");
    Mappings built(new_POLICY_MAPPINGS());
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(POLICY_MAPPINGS_to_Seq(built.get(), &node), 0x4722002b);
    POLICY_MAPPING* m = new_POLICY_MAPPING();
    m->issuerDomainPolicy = oid("1.2.3.4");
    m->subjectDomainPolicy = oid("1.2.3.5");
    push_STACK_value(built.get(), m);
    EXPECT_EQ(encode(POLICY_MAPPINGS_to_Seq, static_cast<const POLICY_MAPPINGS*>(built.get())), body);
    for (const auto& [in, code] : {std::pair{"3000", 0x4721002b}, {"30053003060129", 0x47210104}}) {
        EXPECT_EQ(decodeHex<Mappings>(Seq_to_POLICY_MAPPINGS, in, &rc), nullptr);
        EXPECT_EQ(rc, code) << in;
    }
}

}  // namespace
