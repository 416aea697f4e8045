// General names, authority key identifiers, basic, policy and name
// constraints and extended key usage: read from and written as
// python-cryptography writes them, the older and foreign forms they must
// still read, and their errors.
#include <gtest/gtest.h>

#include "BodyTestUtil.h"

using namespace x509test;

namespace {

std::string strSummary(const ASN1_STRING* s) {
    char id[4];
    std::snprintf(id, sizeof id, "%02x", static_cast<unsigned>(s->type));
    return std::string(id) + ":" + hexOf(s);
}

std::string gnSummary(const GENERAL_NAME* gn) {
    if (!gn->value) return "-";
    const std::string t = std::to_string(gn->type) + ":";
    switch (gn->type) {
        case GENERAL_NAME_OTHER_NAME: {
            const auto* on = static_cast<const OTHERNAME*>(gn->value);
            return t + text(on->typeId) + "=" + strSummary(on->value);
        }
        case GENERAL_NAME_RFC822:
        case GENERAL_NAME_DNS:
        case GENERAL_NAME_URI:
        case GENERAL_NAME_REGISTERED_ID:
            return t + text(static_cast<const ASN1_STRING*>(gn->value));
        case GENERAL_NAME_DIRECTORY:
            return t + nameSummary(static_cast<const X509_NAME*>(gn->value));
        case GENERAL_NAME_EDI_PARTY: {
            const auto* edi = static_cast<const EDIPARTYNAME*>(gn->value);
            return t + (edi->nameAssigner ? strSummary(edi->nameAssigner) : "") + "|" + strSummary(edi->partyName);
        }
        default:
            return t + strSummary(static_cast<const ASN1_STRING*>(gn->value));
    }
}

std::string namesSummary(const GENERAL_NAMES* list) {
    std::string s;
    for (int i = 0; i < get_STACK_count(list); ++i)
        s += (i ? " " : "") + gnSummary(static_cast<GENERAL_NAME*>(get_STACK_value(list, i)));
    return s;
}

// otherName 1.2.3.4 holding UTF8String "hello", as a caller builds it.
GENERAL_NAME* otherHello() {
    OTHERNAME* on = new_OTHERNAME();
    on->typeId = oid("1.2.3.4");
    on->value = new_ASN1_STRING();
    const Bytes inner = fromHex("0c0568656c6c6f");
    set_ASN1_STRING_value(on->value, 0xa0, inner.data(), static_cast<int>(inner.size()));
    return makeName(GENERAL_NAME_OTHER_NAME, on);
}

TEST(GeneralNames, EveryChoiceAsPythonCryptographyWritesIt) {
    ASSERT_FALSE(extFixtures().empty());
    const Bytes peer = peerBody("san");
    PKI_ERROR rc;
    GeneralNames list = decodeWith<GeneralNames>(Seq_to_GENERAL_NAMES, peer, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(namesSummary(list.get()),
              "0:1.2.3.4=a0:0c0568656c6c6f 1:a@example.com 2:a.example 6:http://a.example/ 7:04:c0000201 "
              "7:04:20010db8000000000000000000000001 8:1.2.3.5 "
              "4:2.5.4.6:13:4b52/2.5.4.3:0c:4e616d65");
    EXPECT_EQ(toHex(encode(GENERAL_NAMES_to_Seq, static_cast<const GENERAL_NAMES*>(list.get()))), toHex(peer));

    // The same names built by a caller: the otherName value goes in a
    // constructed [0], as peers read it.
    GeneralNames built(new_GENERAL_NAMES());
    X509_NAME* dir = new_X509_NAME();
    add_X509_NAME_child_OID_index(dir, 14, ASN1_TAG_PRINTABLE_STRING, reinterpret_cast<const unsigned char*>("KR"), -1,
                                  -1);
    add_X509_NAME_child_OID_index(dir, 13, ASN1_TAG_UTF8_STRING, reinterpret_cast<const unsigned char*>("Name"), -1,
                                  -1);
    for (GENERAL_NAME* gn :
         {otherHello(), makeName(GENERAL_NAME_RFC822, ia5("a@example.com")),
          makeName(GENERAL_NAME_DNS, ia5("a.example")), makeName(GENERAL_NAME_URI, ia5("http://a.example/")),
          makeName(GENERAL_NAME_IP, octets(fromHex("c0000201"))),
          makeName(GENERAL_NAME_IP, octets(fromHex("20010db8000000000000000000000001"))),
          makeName(GENERAL_NAME_REGISTERED_ID, oid("1.2.3.5")), makeName(GENERAL_NAME_DIRECTORY, dir)})
        push_STACK_value(built.get(), gn);
    EXPECT_EQ(toHex(encode(GENERAL_NAMES_to_Seq, static_cast<const GENERAL_NAMES*>(built.get()))), toHex(peer));
    EXPECT_EQ(cmp_GENERAL_NAME(itemOf<GENERAL_NAME>(built.get(), 7), itemOf<GENERAL_NAME>(list.get(), 7)), 0);

    // A duplicate lives on after the original is gone.
    GeneralNames copy(dup_GENERAL_NAMES(list.get()));
    list.reset();
    EXPECT_EQ(toHex(encode(GENERAL_NAMES_to_Seq, static_cast<const GENERAL_NAMES*>(copy.get()))), toHex(peer));
}

TEST(GeneralNames, OlderAndForeignFormsRead) {
    const std::string uri200(200, 'u');
    const struct {
        std::string in, summary, out;  // out empty: written back unchanged
    } cases[] = {
        // otherName value in a primitive [0], as older encoders wrote it
        {"a00c06032a030480050c03616263", "0:1.2.3.4=80:0c03616263", "a00c06032a0304a0050c03616263"},
        // EDIPartyName: implicit [5] with the party name in an explicit [1]
        {"a507a1050c03616263", "5:|a1:0c03616263", ""},
        {"a50ea0050c0358595aa1050c03616263", "5:a0:0c0358595a|a1:0c03616263", ""},
        // ... the EDIPartyName SEQUENCE inside [5]
        {"a509"
         "3007a1050c03616263",
         "5:|a1:0c03616263", "a507a1050c03616263"},
        // ... and a primitive [1] around a whole string, as found in the wild
        {"a50c810a13086564695061727479", "5:|81:13086564695061727479", ""},
        // x400Address: the whole ORAddress, nothing after its first element dropped
        {"a308"
         "3002"
         "1300"
         "3102"
         "1300",
         "3:a3:3002130031021300", ""},
        // a 200-character URI (long-form length)
        {"8681c8" + toHex(Bytes(uri200.begin(), uri200.end())), "6:" + uri200, ""},
        // a tag number outside 0-8: kept in place without a value
        {"890100", "-", ""},
    };
    for (const auto& c : cases) {
        Bytes seq = fromHex(c.in);
        seq.insert(seq.begin(),
                   {0x30, 0x82, static_cast<unsigned char>(seq.size() >> 8), static_cast<unsigned char>(seq.size())});
        PKI_ERROR rc;
        GeneralNames list = decodeWith<GeneralNames>(Seq_to_GENERAL_NAMES, seq, &rc);
        ASSERT_EQ(rc, 0) << c.in;
        ASSERT_EQ(get_STACK_count(list.get()), 1);
        const GENERAL_NAME* gn = itemOf<GENERAL_NAME>(list.get(), 0);
        EXPECT_EQ(gnSummary(gn), c.summary) << c.in;
        if (c.summary == "-") {
            EXPECT_EQ(GENERAL_NAME_to_Seq(gn, nullptr), 0x47060049);
            ASN1_UNIT* none = nullptr;
            EXPECT_EQ(GENERAL_NAME_to_Seq(gn, &none), 0x4706002b);
            EXPECT_EQ(encode(GENERAL_NAMES_to_Seq, static_cast<const GENERAL_NAMES*>(list.get())), Bytes{});
            continue;
        }
        EXPECT_EQ(toHex(encode(GENERAL_NAME_to_Seq, gn)), c.out.empty() ? c.in : c.out);
    }
}

TEST(GeneralNames, Errors) {
    for (const auto& [in, code] : {std::pair{"3000", 0x4707002b}, {"30038201c3", 0x47070104}, {"0400", 0x47070104}}) {
        EXPECT_EQ(refusal<GeneralNames>(Seq_to_GENERAL_NAMES, in), code) << in;
    }
    const struct {
        const char* in;
        PKI_ERROR code;
    } one[] = {
        {"8201c3", 0x47050104},                      // dNSName with a byte above 0x7f
        {"a00506032a0304", 0x47050104},              // otherName without its value
        {"a00b06032a0304a0040c000c00", 0x47050104},  // value holding more than one element
        {"a400", 0x47050104},                        // directoryName without its Name
        {"8400", 0x47050104},                        // ... and in a primitive [4]
        {"a5020500", 0x47050104},                    // EDIPartyName without a party name
    };
    for (const auto& c : one) {
        PKI_ERROR rc;
        GeneralName gn = decodeWith<GeneralName>(Seq_to_GENERAL_NAME, fromHex(c.in), &rc);
        EXPECT_EQ(rc, c.code) << c.in;
        EXPECT_EQ(gn, nullptr) << c.in;
    }
    GeneralNames empty(new_GENERAL_NAMES());
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(GENERAL_NAMES_to_Seq(empty.get(), &node), 0x4708002b);
    GeneralName blank(new_GENERAL_NAME());
    EXPECT_EQ(GENERAL_NAME_to_Seq(blank.get(), &node), 0x4706002b);
    EXPECT_EQ(node, nullptr);
    blank->type = 9;
    EXPECT_EQ(dup_GENERAL_NAME(blank.get()), nullptr);
    EXPECT_EQ(Seq_to_GENERAL_NAME(nullptr, nullptr), 0x47050049);
    // OtherName and EDIPartyName alone: child counts, required members.
    PKI_ERROR rc;
    decodeWith<Own<OTHERNAME, free_OTHERNAME>>(Seq_to_OTHERNAME, fromHex("3000"), &rc);
    EXPECT_EQ(rc, 0x4711002b);
    decodeWith<Own<EDIPARTYNAME, free_EDIPARTYNAME>>(Seq_to_EDIPARTYNAME, fromHex("3000"), &rc);
    EXPECT_EQ(rc, 0x4713002b);
    Own<OTHERNAME, free_OTHERNAME> on(new_OTHERNAME());
    EXPECT_EQ(OTHERNAME_to_Seq(on.get(), &node), 0x4712002b);
    Own<EDIPARTYNAME, free_EDIPARTYNAME> edi(new_EDIPARTYNAME());
    EXPECT_EQ(EDIPARTYNAME_to_Seq(edi.get(), &node), 0x4714002b);
    // A party name a caller sets as a plain string goes inside [1].
    edi->partyName = new_UTF8_STRING(reinterpret_cast<const unsigned char*>("abc"), 3);
    EXPECT_EQ(toHex(encode(EDIPARTYNAME_to_Seq, static_cast<const EDIPARTYNAME*>(edi.get()))), "3007a1050c03616263");
}

TEST(BasicConstraints, ReadWrittenAndBuiltLikePeers) {
    ASSERT_FALSE(extFixtures().empty());
    const struct {
        const char* in;
        int cA;
        const char* pathLen;  // null: absent
        const char* out;      // null: unchanged
    } cases[] = {
        {"3000", 0, nullptr, nullptr},
        {"3003020100", 0, "00", nullptr},
        {"30060101ff020103", 0xff, "03", nullptr},
        {"30070101ff020200c8", 0xff, "C8", nullptr},
        {"3006010101020103", 1, "03", "30060101ff020103"},  // TRUE as 01, written as FF
        {"3003010100", 0, nullptr, "3000"},                 // explicit FALSE left out
    };
    for (const auto& c : cases) {
        PKI_ERROR rc;
        BasicConstraints bc = decodeHex<BasicConstraints>(Seq_to_BASIC_CONSTRAINTS, c.in, &rc);
        ASSERT_EQ(rc, 0) << c.in;
        EXPECT_EQ(bc->cA, c.cA) << c.in;
        EXPECT_EQ(bc->pathLenConstraint ? bigHex(bc->pathLenConstraint) : "-", c.pathLen ? c.pathLen : "-") << c.in;
        EXPECT_EQ(toHex(encode(BASIC_CONSTRAINTS_to_Seq, static_cast<const BASIC_CONSTRAINTS*>(bc.get()))),
                  c.out ? c.out : c.in);
    }
    // Path lengths of 128 and more stay positive.
    for (const auto& [label, len] : {std::pair{"bc_ca_200", "C8"}, {"bc_ca_3", "03"}}) {
        BasicConstraints bc(new_BASIC_CONSTRAINTS());
        bc->cA = 1;
        bc->pathLenConstraint = number(len);
        EXPECT_EQ(encode(BASIC_CONSTRAINTS_to_Seq, static_cast<const BASIC_CONSTRAINTS*>(bc.get())), peerBody(label))
            << label;
    }
    BasicConstraints leaf(new_BASIC_CONSTRAINTS());
    EXPECT_EQ(encode(BASIC_CONSTRAINTS_to_Seq, static_cast<const BASIC_CONSTRAINTS*>(leaf.get())), peerBody("bc_leaf"));
    EXPECT_EQ(refusal<BasicConstraints>(Seq_to_BASIC_CONSTRAINTS, "0400"), 0x47230104);
    EXPECT_EQ(Seq_to_BASIC_CONSTRAINTS(nullptr, nullptr), 0x47230049);
}

TEST(PolicyConstraints, BothTaggingsReadImplicitWritten) {
    ASSERT_FALSE(extFixtures().empty());
    const struct {
        const char* in;
        const char* require;
        const char* inhibit;
        const char* out;  // null: unchanged
    } cases[] = {
        {"3003800102", "02", "-", nullptr},
        {"3005a003020102", "02", "-", "3003800102"},
        {"30078002012c810101", "012C", "01", nullptr},    // a two-byte value
        {"3009a0040202012ca1030201", "-", "-", nullptr},  // malformed: refused below
        {"3005a103020105", "-", "05", "3003810105"},
        {"3000", "-", "-", nullptr},
    };
    for (const auto& c : cases) {
        PKI_ERROR rc;
        PolicyConstraints pc = decodeHex<PolicyConstraints>(Seq_to_POLICY_CONSTRAINTS, c.in, &rc);
        if (std::string(c.in).starts_with("3009")) {
            EXPECT_EQ(rc, 0x47450104);
            continue;
        }
        ASSERT_EQ(rc, 0) << c.in;
        EXPECT_EQ(pc->requireExplicitPolicy ? bigHex(pc->requireExplicitPolicy) : "-", c.require) << c.in;
        EXPECT_EQ(pc->inhibitPolicyMapping ? bigHex(pc->inhibitPolicyMapping) : "-", c.inhibit) << c.in;
        EXPECT_EQ(toHex(encode(POLICY_CONSTRAINTS_to_Seq, static_cast<const POLICY_CONSTRAINTS*>(pc.get()))),
                  c.out ? c.out : c.in);
    }
    PolicyConstraints pc(new_POLICY_CONSTRAINTS());
    pc->requireExplicitPolicy = number("012C");
    pc->inhibitPolicyMapping = number("01");
    EXPECT_EQ(encode(POLICY_CONSTRAINTS_to_Seq, static_cast<const POLICY_CONSTRAINTS*>(pc.get())),
              peerBody("pc_300_1"));
}

TEST(NameConstraints, SubtreesReadWrittenAndBuiltLikePeers) {
    ASSERT_FALSE(extFixtures().empty());
    const Bytes peer = peerBody("nc");
    PKI_ERROR rc;
    NameConstraints nc = decodeWith<NameConstraints>(Seq_to_NAME_CONSTRAINTS, peer, &rc);
    ASSERT_EQ(rc, 0);
    auto subtrees = [](const GENERAL_SUBTREES* l) {
        std::string s;
        for (int i = 0; i < get_STACK_count(l); ++i) {
            const auto* st = itemOf<GENERAL_SUBTREE>(l, i);
            s += (i ? " " : "") + gnSummary(st->base) + (st->minimum ? " min" + bigHex(st->minimum) : "") +
                 (st->maximum ? " max" + bigHex(st->maximum) : "");
        }
        return s;
    };
    EXPECT_EQ(subtrees(nc->permittedSubtrees), "2:example.com 7:04:c0a80000ffff0000");
    EXPECT_EQ(subtrees(nc->excludedSubtrees), "4:2.5.4.3:0c:426164");
    EXPECT_EQ(encode(NAME_CONSTRAINTS_to_Seq, static_cast<const NAME_CONSTRAINTS*>(nc.get())), peer);

    NameConstraints built(new_NAME_CONSTRAINTS());
    auto add = [](GENERAL_SUBTREES* l, GENERAL_NAME* base) {
        GENERAL_SUBTREE* st = new_GENERAL_SUBTREE();
        st->base = base;
        push_STACK_value(l, st);
    };
    add(built->permittedSubtrees, makeName(GENERAL_NAME_DNS, ia5("example.com")));
    add(built->permittedSubtrees, makeName(GENERAL_NAME_IP, octets(fromHex("c0a80000ffff0000"))));
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(NAME_CONSTRAINTS_to_Seq(built.get(), &node), 0x4750002b);  // the excluded list is empty
    add(built->excludedSubtrees, makeName(GENERAL_NAME_DIRECTORY, cnName("Bad")));
    EXPECT_EQ(encode(NAME_CONSTRAINTS_to_Seq, static_cast<const NAME_CONSTRAINTS*>(built.get())), peer);
    // minimum is DEFAULT 0: a zero is left out (python-cryptography refuses
    // a subtree that carries it).
    itemOf<GENERAL_SUBTREE>(built->permittedSubtrees, 0)->minimum = number("00");
    EXPECT_EQ(encode(NAME_CONSTRAINTS_to_Seq, static_cast<const NAME_CONSTRAINTS*>(built.get())), peer);

    // Only permitted subtrees; minimum and maximum in the explicit form read
    // and are written implicitly, the minimum of zero left out.
    NameConstraints one =
        decodeHex<NameConstraints>(Seq_to_NAME_CONSTRAINTS, "3013a011300f8203612e62a003020100a103020105", &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(get_STACK_count(one->excludedSubtrees) <= 0, true);
    EXPECT_EQ(subtrees(one->permittedSubtrees), "2:a.b min00 max05");
    EXPECT_EQ(toHex(encode(NAME_CONSTRAINTS_to_Seq, static_cast<const NAME_CONSTRAINTS*>(one.get()))),
              "300ca00a30088203612e62810105");
    EXPECT_EQ(refusal<NameConstraints>(Seq_to_NAME_CONSTRAINTS, "3000"), 0x4751002b);
    GENERAL_SUBTREES* list = nullptr;
    EXPECT_EQ(Seq_to_GENERAL_SUBTREES(nodeOf(fromHex("3000")).get(), &list), 0x4749002b);
}

TEST(AuthorityKeyIdentifier, ReadWrittenAndBuiltLikePeers) {
    ASSERT_FALSE(extFixtures().empty());
    const Bytes peer = peerBody("aki");
    PKI_ERROR rc;
    Akid akid = decodeWith<Akid>(Seq_to_AUTHORITY_KEYID, peer, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(hexOf(akid->keyIdentifier),
              toHex(Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}));
    EXPECT_EQ(namesSummary(akid->authorityCertIssuer), "4:2.5.4.3:0c:4341");
    EXPECT_EQ(bigHex(akid->authorityCertSerialNumber), "1234");
    EXPECT_EQ(encode(AUTHORITY_KEYID_to_Seq, static_cast<const AUTHORITY_KEYID*>(akid.get())), peer);

    // A new record holds an empty issuer list, which does not encode.
    Akid built(new_AUTHORITY_KEYID());
    built->keyIdentifier = octets(Bytes{1, 2});
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(AUTHORITY_KEYID_to_Seq(built.get(), &node), 0x4708002b);
    free_GENERAL_NAMES(built->authorityCertIssuer);
    built->authorityCertIssuer = nullptr;
    EXPECT_EQ(toHex(encode(AUTHORITY_KEYID_to_Seq, static_cast<const AUTHORITY_KEYID*>(built.get()))), "300480020102");
    EXPECT_EQ(refusal<Akid>(Seq_to_AUTHORITY_KEYID, "3000"), 0x4709002b);
    decodeHex<Akid>(Seq_to_AUTHORITY_KEYID, "3002a100", &rc);  // an empty issuer list
    EXPECT_NE(rc, 0);
}

TEST(ExtendedKeyUsage, ReadWrittenAndBuiltLikePeers) {
    ASSERT_FALSE(extFixtures().empty());
    const Bytes peer = peerBody("eku");
    PKI_ERROR rc;
    auto eku = decodeWith<Own<EXTENDED_KEY_USAGE, free_EXTENDED_KEY_USAGE>>(Seq_to_EXTENDED_KEY_USAGE, peer, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(get_STACK_count(eku.get()), 2);
    EXPECT_EQ(text(itemOf<ASN1_STRING>(eku.get(), 1)), "1.3.6.1.5.5.7.3.2");
    Own<EXTENDED_KEY_USAGE, free_EXTENDED_KEY_USAGE> built(new_EXTENDED_KEY_USAGE());
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(EXTENDED_KEY_USAGE_to_Seq(built.get(), &node), 0x4757002b);
    push_STACK_value(built.get(), oid("1.3.6.1.5.5.7.3.1"));
    push_STACK_value(built.get(), oid("1.3.6.1.5.5.7.3.2"));
    EXPECT_EQ(encode(EXTENDED_KEY_USAGE_to_Seq, static_cast<const EXTENDED_KEY_USAGE*>(built.get())), peer);
}

}  // namespace
