// Distinguished names: openssl's subjects read and rebuilt byte for byte,
// equality, digest, list operations and malformed input.
#include <algorithm>
#include <climits>
#include <gtest/gtest.h>

#include "X509TestUtil.h"
#include <zunPKI/asn1/asn1_objects.h>

using namespace x509test;

namespace {

const unsigned char* u(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

// The subject Name of a request made by make_fixtures.sh.
Bytes subjectOf(const std::string& request) {
    Node req = nodeOf(fixture(request));
    Node subject = childAt(req.get(), {0, 1});
    return pkitest::bytesOf(subject.get());
}

Bytes der(const X509_NAME* n) { return encode(X509_NAME_to_Seq, n); }

std::string text(const X509_NAME* n, int i) {
    const ASN1_STRING* v = get_X509_NAME_CHILD_data(get_X509_NAME_CHILD(n, i));
    return std::string(reinterpret_cast<const char*>(v->data), v->length);
}

TEST(X509Name, OpensslSubjectsKeepTypesRdnsAndBytes) {
    ASSERT_FALSE(fixtures().empty());
    struct Case {
        const char* request;
        std::vector<int> types;
        std::vector<int> sameRdn;
    } cases[] = {
        {"name-korean.der", {19, 12, 12, 12}, {0, 0, 0, 0}},
        {"name-mask.der", {19, 19, 20, 30, 22}, {0, 0, 0, 0, 0}},
        // C / OU+L+O / CN+CN, the SET members in openssl's DER order.
        {"name-multi.der", {19, 12, 12, 12, 12, 12}, {0, 0, 1, 1, 0, 1}},
    };
    for (const auto& c : cases) {
        const Bytes subject = subjectOf(c.request);
        PKI_ERROR rc;
        Name n = decodeName(subject, &rc);
        ASSERT_EQ(rc, 0) << c.request;
        ASSERT_EQ(get_X509_NAME_count(n.get()), static_cast<int>(c.types.size())) << c.request;
        for (int i = 0; i < get_X509_NAME_count(n.get()); ++i) {
            EXPECT_EQ(get_X509_NAME_CHILD_data(get_X509_NAME_CHILD(n.get(), i))->type, c.types[i]) << c.request << i;
            EXPECT_EQ(get_X509_NAME_CHILD(n.get(), i)->sameRdn, c.sameRdn[i]) << c.request << i;
        }
        EXPECT_EQ(der(n.get()), subject) << c.request;
        Name copy(dup_X509_NAME(n.get()));
        EXPECT_EQ(cmp_X509_NAME(n.get(), copy.get()), 0);
        EXPECT_EQ(der(copy.get()), subject);
    }
    // Values are the contents octets unchanged: UTF-8 Hangul, big-endian BMP.
    Name korean = decodeName(subjectOf("name-korean.der"));
    EXPECT_EQ(text(korean.get(), 1), "한국정보인증");
    EXPECT_EQ(text(korean.get(), 3), "홍길동()001104420080304123456");
    Name mask = decodeName(subjectOf("name-mask.der"));
    const std::string bmp = text(mask.get(), 3);
    EXPECT_EQ(toHex(Bytes(bmp.begin(), bmp.end())), "d64dae38b3d9");
}

TEST(X509Name, BuiltNamesMatchOpensslBytes) {
    ASSERT_FALSE(fixtures().empty());
    // By table row, as callers build subjects.
    Name korean(new_X509_NAME());
    ASSERT_EQ(add_X509_NAME_child_OID_index(korean.get(), 14, 19, u("KR"), -1, -1), 0);
    ASSERT_EQ(add_X509_NAME_child_OID_index(korean.get(), 18, 12, u("개인"), -1, -1), 0);
    ASSERT_EQ(add_X509_NAME_child_OID_index(korean.get(), 13, 12, u("홍길동()001104420080304123456"), -1, -1), 0);
    ASSERT_EQ(add_X509_NAME_child_OID_index(korean.get(), 17, 12, u("한국정보인증"), -1, 1), 0);  // inserted second
    EXPECT_EQ(toHex(der(korean.get())), toHex(subjectOf("name-korean.der")));

    // A multi-valued RDN from entries that join the one before.
    Name multi(new_X509_NAME());
    const struct {
        const char* oid;
        const char* value;
        int type, sameRdn;
    } entries[] = {{"2.5.4.6", "KR", 19, 0},       {"2.5.4.11", "Dev", 12, 0}, {"2.5.4.7", "Seoul", 12, 1},
                   {"2.5.4.10", "Example", 12, 1}, {"2.5.4.3", "a", 12, 0},    {"2.5.4.3", "b", 12, 1}};
    for (const auto& e : entries) {
        X509_NAME_CHILD* entry = new_X509_NAME_CHILD();
        entry->type = new_OBJECT_IDENTIFIER(e.oid, static_cast<int>(strlen(e.oid)));
        entry->value = new_ASN1_STRING();
        set_ASN1_STRING_value(entry->value, e.type, u(e.value), static_cast<int>(strlen(e.value)));
        entry->sameRdn = e.sameRdn;
        EXPECT_EQ(add_X509_NAME_child(multi.get(), entry, -1), 0);
        free_X509_NAME_CHILD(entry);
    }
    EXPECT_EQ(toHex(der(multi.get())), toHex(subjectOf("name-multi.der")));
}

TEST(X509Name, ValuesOfEveryKindComeBackUnchanged) {
    const char* values[] = {
        "0201ff",
        "02020001",
        "0a0101",
        "030206c0",
        "0101ff",
        "0500",
        "06032a0304",
        "800161",
        "0c00",
        "1e02d64d",
        "170d3236303130313030303030305a",
        "2c06"
        "0c0161"
        "0c0162",
        "3003020101",
        // Values the DER encoder would rewrite or refuse: they still come back as read.
        "010101",
        "01020000",
        "17113236303130313030303030302b30393030",
    };
    const Bytes type = fromHex("0603550403");
    for (const char* hex : values) {
        Bytes atv = type;
        const Bytes value = fromHex(hex);
        atv.insert(atv.end(), value.begin(), value.end());
        // As the value of a name entry ...
        const Bytes name = tlv(0x30, tlv(0x31, tlv(0x30, atv)));
        PKI_ERROR rc;
        Name n = decodeName(name, &rc);
        ASSERT_EQ(rc, 0) << hex;
        EXPECT_EQ(toHex(encode(X509_NAME_to_Seq, static_cast<const X509_NAME*>(n.get()))), toHex(name)) << hex;
        // ... and of an attribute.
        Bytes attribute = type;
        const Bytes set = tlv(0x31, value);
        attribute.insert(attribute.end(), set.begin(), set.end());
        const Bytes attributes = tlv(0x31, tlv(0x30, attribute));
        Attributes a = decodeAttributes(attributes, &rc);
        ASSERT_EQ(rc, 0) << hex;
        EXPECT_EQ(toHex(encode(X509_ATTRIBUTES_to_Seq, static_cast<const X509_ATTRIBUTES*>(a.get()))),
                  toHex(attributes))
            << hex;
    }
}

TEST(X509Name, EqualityIsByteEquality) {
    auto name = [](std::initializer_list<std::pair<int, const char*>> cns, int type = 12) {
        Name n(new_X509_NAME());
        for (auto [row, value] : cns) add_X509_NAME_child_OID_index(n.get(), row, type, u(value), -1, -1);
        return n;
    };
    Name a = name({{14, "KR"}, {13, "Hong"}});
    Name same = name({{14, "KR"}, {13, "Hong"}});
    Name printable = name({{14, "KR"}, {13, "Hong"}}, 19);
    Name reordered = name({{13, "Hong"}, {14, "KR"}});
    Name shorter = name({{14, "KR"}});
    Name caseDiffers = name({{14, "KR"}, {13, "hong"}});
    EXPECT_EQ(cmp_X509_NAME(a.get(), same.get()), 0);
    EXPECT_EQ(cmp_X509_NAME(a.get(), printable.get()), -1);
    EXPECT_EQ(cmp_X509_NAME(a.get(), reordered.get()), -1);
    EXPECT_EQ(cmp_X509_NAME(a.get(), shorter.get()), -1);
    EXPECT_EQ(cmp_X509_NAME(a.get(), caseDiffers.get()), -1);
    EXPECT_EQ(cmp_X509_NAME(a.get(), nullptr), 1);
    EXPECT_EQ(cmp_X509_NAME(nullptr, nullptr), 1);
    // One RDN of two attributes is not two RDNs of one.
    Name joined(dup_X509_NAME(a.get()));
    get_X509_NAME_CHILD(joined.get(), 1)->sameRdn = 1;
    EXPECT_EQ(cmp_X509_NAME(a.get(), joined.get()), -1);
    EXPECT_EQ(toHex(der(joined.get())),
              "301a31183009060355040"
              "60c024b52300b06035504030c04486f6e67");
}

TEST(X509Name, HashIsTheDigestOfTheDer) {
    ASSERT_FALSE(fixtures().empty());
    // openssl's old subject hash: the first four bytes of MD5 over the DER, little-endian.
    Node cert = nodeOf(fixture("ext.der"));
    Node subjectNode = childAt(cert.get(), {0, 5});
    Name subject = decodeName(pkitest::bytesOf(subjectNode.get()));
    unsigned char md[64];
    ASSERT_EQ(get_X509_NAME_hash(subject.get(), VSC_DIGEST_MD5, md), 16);
    char old[9];
    std::snprintf(old, sizeof old, "%02x%02x%02x%02x", md[3], md[2], md[1], md[0]);
    const std::string peer = pkitest::openssl({"x509", "-in", fixtures() + "/ext.pem", "-noout", "-subject_hash_old"});
    EXPECT_EQ(std::string(old) + "\n", peer);
    EXPECT_EQ(get_X509_NAME_hash(subject.get(), VSC_DIGEST_SHA1, md), 20);

    Name empty(new_X509_NAME());
    EXPECT_EQ(toHex(der(empty.get())), "3000");
    EXPECT_EQ(get_X509_NAME_hash(empty.get(), VSC_DIGEST_SHA1, md), -1);
    EXPECT_EQ(get_X509_NAME_hash(subject.get(), VSC_DIGEST_SHA1, nullptr), -1);
    EXPECT_EQ(get_X509_NAME_hash(nullptr, VSC_DIGEST_SHA1, md), -1);
    Name back = decodeName(fromHex("3000"));
    ASSERT_TRUE(back);
    EXPECT_EQ(get_X509_NAME_count(back.get()), 0);
}

TEST(X509Name, ListOperations) {
    Name n(new_X509_NAME());
    for (const char* cn : {"one", "two", "three"})
        ASSERT_EQ(add_X509_NAME_child_OID_index(n.get(), 13, 12, u(cn), -1, -1), 0);
    ASSERT_EQ(add_X509_NAME_child_OID_index(n.get(), 14, 19, u("KR"), 2, 0), 0);    // prepended
    ASSERT_EQ(add_X509_NAME_child_OID_index(n.get(), 17, 12, u("Org"), 3, 99), 0);  // appended
    ASSERT_EQ(get_X509_NAME_count(n.get()), 5);
    EXPECT_EQ(text(n.get(), 0), "KR");
    EXPECT_EQ(text(n.get(), 4), "Org");

    pkitest::String cn(index_to_OBJECT_IDENTIFIER(13));
    std::vector<int> found;
    for (int i = get_X509_NAME_index_by_OID(n.get(), cn.get(), -1); i >= 0;
         i = get_X509_NAME_index_by_OID(n.get(), cn.get(), i))
        found.push_back(i);
    EXPECT_EQ(found, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(get_X509_NAME_index_by_OID(nullptr, cn.get(), -1), -1);
    // A start at or past the end finds nothing, up to the largest int.
    for (int last : {4, 5, INT_MAX - 1, INT_MAX}) EXPECT_EQ(get_X509_NAME_index_by_OID(n.get(), cn.get(), last), -1);
    EXPECT_EQ(get_X509_NAME_CHILD(n.get(), 5), nullptr);
    EXPECT_EQ(get_X509_NAME_CHILD(n.get(), -1), nullptr);

    // Nothing is added, and that is reported, when the entry cannot be built.
    pkitest::String oid(index_to_OBJECT_IDENTIFIER(13));
    EXPECT_EQ(add_X509_NAME_child_OID(n.get(), nullptr, 12, u("x"), 1, -1), 1);
    EXPECT_EQ(add_X509_NAME_child_OID(n.get(), oid.get(), 12, nullptr, 3, -1), 1);
    EXPECT_EQ(add_X509_NAME_child_OID_index(n.get(), 9999, 12, u("x"), 1, -1), 1);
    EXPECT_EQ(add_X509_NAME_child_OID(nullptr, oid.get(), 12, u("x"), 1, -1), 1);
    EXPECT_EQ(get_X509_NAME_count(n.get()), 5);
    EXPECT_EQ(add_X509_NAME_child_OID(n.get(), oid.get(), 12, nullptr, 0, -1), 0);  // an empty value is a value
    EXPECT_EQ(get_X509_NAME_count(n.get()), 6);

    X509_NAME_CHILD* taken = remove_X509_NAME_child(n.get(), 0);
    ASSERT_TRUE(taken);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(get_X509_NAME_CHILD_data(taken)->data)), "KR");
    free_X509_NAME_CHILD(taken);
    EXPECT_EQ(remove_X509_NAME_child(n.get(), 5), nullptr);
    EXPECT_EQ(get_X509_NAME_count(n.get()), 5);

    // Removing the first attribute of a multi-valued RDN leaves the next one leading it.
    get_X509_NAME_CHILD(n.get(), 1)->sameRdn = 1;
    free_X509_NAME_CHILD(remove_X509_NAME_child(n.get(), 0));
    EXPECT_EQ(get_X509_NAME_CHILD(n.get(), 0)->sameRdn, 0);
}

TEST(X509Name, MalformedNamesAreRefusedAndTheCallersNameKept) {
    const char* bad[] = {
        "300a"
        "30080603550403"
        "0c0161",                // an RDN that is not a SET
        "30023100",              // an empty RDN
        "30073105300306035504",  // a truncated attribute
        "300a"
        "3108"
        "3006"
        "06035504030c",  // a value missing its length
        "300a"
        "3108"
        "3006"
        "0c0161"
        "0c0162",  // no OID
        "300e"
        "310c"
        "300a"
        "0603550403"
        "0c0161"
        "0500",    // three elements
        "0c0161",  // not constructed
    };
    Name mine = decodeName(fromHex("300c310a300806035504030c0161"));
    ASSERT_TRUE(mine);
    const Bytes before = der(mine.get());
    X509_NAME* kept = mine.get();
    for (const char* hex : bad) {
        const Bytes b = fromHex(hex);
        Node node = nodeOf(b);
        ASSERT_TRUE(node) << hex;
        X509_NAME* out = nullptr;
        EXPECT_EQ(Seq_to_X509_NAME(node.get(), &out), 0x461c0104) << hex;
        EXPECT_EQ(out, nullptr);
        X509_NAME* into = mine.get();
        EXPECT_EQ(Seq_to_X509_NAME(node.get(), &into), 0x461c0104) << hex;
        EXPECT_EQ(der(mine.get()), before) << hex;
    }
    // Success replaces the caller's entries in place.
    Node other = nodeOf(fromHex("300d310b3009060355040613024b52"));
    ASSERT_TRUE(other);
    X509_NAME* into = mine.get();
    ASSERT_EQ(Seq_to_X509_NAME(other.get(), &into), 0);
    EXPECT_EQ(into, kept);
    EXPECT_EQ(get_X509_NAME_count(mine.get()), 1);
    EXPECT_EQ(text(mine.get(), 0), "KR");

    X509_NAME* out = nullptr;
    EXPECT_EQ(Seq_to_X509_NAME(nullptr, &out), 0x461c0049);
    EXPECT_EQ(Seq_to_X509_NAME(other.get(), nullptr), 0x461c0049);
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(X509_NAME_to_Seq(nullptr, &node), 0x461b0049);
    // A missing entry and an entry without a value.
    push_STACK_value(mine.get(), nullptr);
    EXPECT_EQ(X509_NAME_to_Seq(mine.get(), &node), 0x461b002b);
    EXPECT_EQ(node, nullptr);
    mine->items[1] = new_X509_NAME_CHILD();
    get_X509_NAME_CHILD(mine.get(), 1)->type = index_to_OBJECT_IDENTIFIER(13);
    EXPECT_EQ(X509_NAME_to_Seq(mine.get(), &node), 0x461b0103);
    EXPECT_EQ(node, nullptr);
}

TEST(X509Name, MutatedInputGivesErrorsOnly) {
    ASSERT_FALSE(fixtures().empty());
    expectMutationsHarmless<Name>(subjectOf("name-multi.der"), Seq_to_X509_NAME, X509_NAME_to_Seq, dup_X509_NAME);
}

}  // namespace
