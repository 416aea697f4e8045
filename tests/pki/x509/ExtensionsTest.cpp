// Extension lists: openssl's certificate extensions found by row and OID and
// rebuilt, the critical flag in DER, list operations, malformed input, and
// the name and extension codecs as members of another record.
#include <climits>

#include <gtest/gtest.h>

#include "X509TestUtil.h"
#include <zunPKI/asn1/asn1_objects.h>
#include "x509/x509_name.hpp"
#include "x509/x509v3.hpp"

using namespace x509test;

// A record that holds a name and an optional [3] extension list, as a
// certificate body does.
typedef struct {
    X509_NAME* issuer;
    STACK* extensions;
} DEMO_BODY;

template <>
struct zpki::asn1::Describe<DEMO_BODY> {
    using Shape = Sequence<Field<&DEMO_BODY::issuer, zpki::x509::NameCodec>,
                           Field<&DEMO_BODY::extensions, Optional<Explicit<3, zpki::x509::ExtensionsCodec>>>>;
};
ZPKI_STRUCT_FAMILY(DEMO_BODY, L_X509, PKI_FUNC(0x7e), PKI_FUNC(0x7f))

namespace {

// The Extensions SEQUENCE inside the [3] of make_fixtures.sh's certificate.
Bytes certificateExtensions() {
    Node cert = nodeOf(fixture("ext.der"));
    Node exts = childAt(cert.get(), {0, 7, 0});
    return pkitest::bytesOf(exts.get());
}

Bytes der(const X509_EXTENSIONS* l) { return encode(X509_EXTENSIONS_to_Seq, l); }

OCTET_STRING* octets(const char* hex) {
    const Bytes b = fromHex(hex);
    return new_OCTET_STRING(b.data(), static_cast<int>(b.size()));
}

TEST(X509Extensions, CertificateExtensionsFoundByRowAndRebuilt) {
    ASSERT_FALSE(fixtures().empty());
    const Bytes original = certificateExtensions();
    Extensions list = decodeExtensions(original);
    ASSERT_TRUE(list);
    ASSERT_EQ(get_X509_EXTENSION_count(list.get()), 6);
    const struct {
        int row, index, critical;
    } rows[] = {{87, 0, 1}, {83, 1, 1}, {126, 2, 0}, {85, 3, 0}, {89, 4, 0}, {82, 5, 0}};
    for (const auto& r : rows) {
        EXPECT_EQ(get_X509_EXTENSION_index_by_OID_index(list.get(), r.row, -1), r.index) << r.row;
        EXPECT_EQ(get_X509_EXTENSION_index_by_OID_index(list.get(), r.row, r.index), -1) << r.row;
        EXPECT_EQ(get_X509_EXTENSION_critical(get_X509_EXTENSION(list.get(), r.index)), r.critical) << r.row;
    }
    EXPECT_EQ(get_X509_EXTENSION_index_by_OID_index(list.get(), 103, -1), -1);  // no CRL distribution points
    EXPECT_EQ(get_X509_EXTENSION_index_by_OID_index(list.get(), 9999, -1), -2);
    EXPECT_EQ(get_X509_EXTENSION_index_by_OID_index(nullptr, 87, -1), -1);
    pkitest::String san(new_OBJECT_IDENTIFIER("2.5.29.17", 9));
    EXPECT_EQ(get_X509_EXTENSION_index_by_OID(list.get(), san.get(), -5), 3);
    EXPECT_EQ(get_X509_EXTENSION_index_by_OID(list.get(), san.get(), INT_MAX), -1);
    EXPECT_EQ(get_X509_EXTENSION_index_by_OID_index(list.get(), 85, INT_MAX), -1);
    // basicConstraints CA:TRUE, pathlen:0 as openssl wrote the body.
    const OCTET_STRING* bc = get_X509_EXTENSION_data(get_X509_EXTENSION(list.get(), 0));
    EXPECT_EQ(toHex(bc->data, bc->length), "30060101ff020100");

    EXPECT_EQ(der(list.get()), original);
    Extensions copy(dup_X509_EXTENSIONS(list.get()));
    EXPECT_EQ(der(copy.get()), original);

    // Rebuilt from the parts, through the builders.
    X509_EXTENSIONS* rebuilt = nullptr;
    for (int i = 0; i < get_X509_EXTENSION_count(list.get()); ++i) {
        const X509_EXTENSION* e = get_X509_EXTENSION(list.get(), i);
        Extension made(create_X509_EXTENSION_by_OID(nullptr, get_X509_EXTENSION_object(e),
                                                    get_X509_EXTENSION_critical(e), get_X509_EXTENSION_data(e)));
        ASSERT_TRUE(made);
        ASSERT_EQ(add_X509_EXTENSION(&rebuilt, made.get(), -1), 0);
    }
    Extensions owned(rebuilt);
    EXPECT_EQ(der(rebuilt), original);
    EXPECT_EQ(cmp_X509_EXTENSION(get_X509_EXTENSION(rebuilt, 1), get_X509_EXTENSION(list.get(), 1)), 0);
}

TEST(X509Extensions, CriticalFlagIsWrittenAsDer) {
    const struct {
        const char* in;
        const char* out;  // null: re-encoded unchanged
        int critical;
    } cases[] = {
        {"3010300e"
         "0603551d0f"
         "010101"
         "040403020780",
         "3010300e"
         "0603551d0f"
         "0101ff"
         "040403020780",
         1},
        {"3010300e"
         "0603551d0f"
         "010100"
         "040403020780",
         "300d300b"
         "0603551d0f"
         "040403020780",
         0},
        {"300d300b"
         "0603551d0f"
         "040403020780",
         nullptr, 0},
    };
    for (const auto& c : cases) {
        PKI_ERROR rc;
        Extensions l = decodeExtensions(fromHex(c.in), &rc);
        ASSERT_EQ(rc, 0) << c.in;
        EXPECT_EQ(get_X509_EXTENSION_critical(get_X509_EXTENSION(l.get(), 0)), c.critical) << c.in;
        EXPECT_EQ(toHex(der(l.get())), c.out ? c.out : c.in);
    }
    const struct {
        const char* in;
        PKI_ERROR code;
    } bad[] = {
        {"3000", 0x461a002b},  // no extension
        {"300c300a"
         "0603551d0f"
         "0303020780",
         0x461a0104},  // value not an OCTET STRING
        {"3010300e"
         "0603551d0f"
         "0102ffff"
         "0403020780",
         0x461a0104},  // BOOLEAN of two bytes
        {"300f300d"
         "0603551d0f"
         "0101ff"
         "0101ff"
         "0400",
         0x461a0104},  // BOOLEAN in the value's place
        {"300b3009"
         "0101ff"
         "040403020780",
         0x461a0104},  // no OID
        {"30123010"
         "0603551d0f"
         "0101ff"
         "040403020780"
         "0500",
         0x461a0104},          // a fourth element
        {"0400", 0x461a0104},  // not constructed
    };
    for (const auto& b : bad) {
        PKI_ERROR rc;
        Extensions l = decodeExtensions(fromHex(b.in), &rc);
        EXPECT_EQ(rc, b.code) << b.in;
        EXPECT_EQ(l, nullptr) << b.in;
    }
}

TEST(X509Extensions, ListOperations) {
    pkitest::String ku(index_to_OBJECT_IDENTIFIER(83));
    pkitest::String value(octets("03020780"));
    X509_EXTENSIONS* list = nullptr;
    Extension first(create_X509_EXTENSION_by_OID_index(nullptr, 87, 1, pkitest::String(octets("3000")).get()));
    Extension second(create_X509_EXTENSION_by_OID(nullptr, ku.get(), -5, value.get()));
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->critical, -1);
    EXPECT_EQ(get_X509_EXTENSION_critical(second.get()), 0);   // only a positive flag is critical
    ASSERT_EQ(add_X509_EXTENSION(&list, first.get(), -1), 0);  // makes the list
    Extensions owned(list);
    ASSERT_EQ(add_X509_EXTENSION(&list, second.get(), 0), 0);  // prepends
    EXPECT_EQ(get_X509_EXTENSION_index_by_OID_index(list, 83, -1), 0);
    EXPECT_EQ(get_X509_EXTENSION_index_by_OID_index(list, 87, -1), 1);
    EXPECT_EQ(get_X509_EXTENSION(list, 2), nullptr);
    EXPECT_EQ(add_X509_EXTENSION(&list, nullptr, -1), 1);
    EXPECT_EQ(add_X509_EXTENSION(nullptr, first.get(), -1), 1);

    // create_ fills a caller's record in place, and leaves it alone when it fails.
    X509_EXTENSION* mine = second.get();
    EXPECT_EQ(create_X509_EXTENSION_by_OID_index(&mine, 87, 1, value.get()), second.get());
    EXPECT_EQ(get_X509_EXTENSION_critical(second.get()), 1);
    EXPECT_EQ(create_X509_EXTENSION_by_OID(&mine, ku.get(), 0, nullptr), nullptr);
    EXPECT_EQ(create_X509_EXTENSION_by_OID_index(&mine, 9999, 0, value.get()), nullptr);
    EXPECT_EQ(get_X509_EXTENSION_critical(second.get()), 1);
    X509_EXTENSION* none = nullptr;
    Extension made(create_X509_EXTENSION_by_OID(&none, ku.get(), 0, value.get()));
    EXPECT_EQ(none, made.get());
    EXPECT_EQ(set_X509_EXTENSION_critical(nullptr, 1), 1);
    EXPECT_EQ(set_X509_EXTENSION_data(made.get(), nullptr), 1);
    EXPECT_EQ(set_X509_EXTENSION_object(made.get(), nullptr), 1);

    X509_EXTENSION* taken = remove_X509_EXTENSION(list, 0);
    ASSERT_TRUE(taken);
    free_X509_EXTENSION(taken);
    EXPECT_EQ(remove_X509_EXTENSION(list, 1), nullptr);
    EXPECT_EQ(get_X509_EXTENSION_count(list), 1);

    // Encoding refuses what cannot be written.
    ASN1_UNIT* node = nullptr;
    Extensions empty(new_X509_EXTENSIONS());
    EXPECT_EQ(X509_EXTENSIONS_to_Seq(empty.get(), &node), 0x4619002b);
    EXPECT_EQ(X509_EXTENSIONS_to_Seq(nullptr, &node), 0x4619002b);
    X509_EXTENSION* valueless = new_X509_EXTENSION();
    set_X509_EXTENSION_object(valueless, ku.get());
    push_STACK_value(list, valueless);
    EXPECT_EQ(X509_EXTENSIONS_to_Seq(list, &node), 0x46190103);
    push_STACK_value(list, nullptr);
    EXPECT_EQ(X509_EXTENSIONS_to_Seq(list, &node), 0x46190103);
    free_X509_EXTENSION(static_cast<X509_EXTENSION*>(remove_STACK_value(list, 1)));
    EXPECT_EQ(X509_EXTENSIONS_to_Seq(list, &node), 0x4619002b);  // the missing record
    EXPECT_EQ(node, nullptr);
}

TEST(X509Extensions, DecodingAppendsOrLeavesTheListAlone) {
    ASSERT_FALSE(fixtures().empty());
    Extensions list(new_X509_EXTENSIONS());
    Extension one(create_X509_EXTENSION_by_OID_index(nullptr, 83, 1, pkitest::String(octets("03020780")).get()));
    ASSERT_EQ(add_X509_EXTENSION(nullptr, one.get(), -1), 1);
    X509_EXTENSIONS* l = list.get();
    ASSERT_EQ(add_X509_EXTENSION(&l, one.get(), -1), 0);

    Node good = nodeOf(certificateExtensions());
    ASSERT_EQ(Seq_to_X509_EXTENSIONS(good.get(), &l), 0);
    EXPECT_EQ(l, list.get());
    EXPECT_EQ(get_X509_EXTENSION_count(l), 7);
    // A good extension followed by a bad one: nothing is appended.
    Node bad =
        nodeOf(fromHex("3019300b0603551d0f040403020780"
                       "300a0603551d0f0303020780"));
    ASSERT_TRUE(bad);
    EXPECT_EQ(Seq_to_X509_EXTENSIONS(bad.get(), &l), 0x461a0104);
    EXPECT_EQ(get_X509_EXTENSION_count(l), 7);
    EXPECT_EQ(Seq_to_X509_EXTENSIONS(nullptr, &l), 0x461a0049);
    EXPECT_EQ(Seq_to_X509_EXTENSIONS(good.get(), nullptr), 0x461a0049);
}

TEST(X509Extensions, CodecsServeOtherRecords) {
    DEMO_BODY* body = new_DEMO_BODY();
    ASSERT_TRUE(body);
    body->issuer = new_X509_NAME();
    add_X509_NAME_child_OID_index(body->issuer, 13, 12, reinterpret_cast<const unsigned char*>("CA"), 2, -1);
    // An empty list is left out.
    const Bytes bare = encode(DEMO_BODY_to_Seq, static_cast<const DEMO_BODY*>(body));
    EXPECT_EQ(toHex(bare), "300f300d310b300906035504030c024341");
    Extension ku(create_X509_EXTENSION_by_OID_index(nullptr, 83, 1, pkitest::String(octets("03020780")).get()));
    add_X509_EXTENSION(&body->extensions, ku.get(), -1);
    const Bytes full = encode(DEMO_BODY_to_Seq, static_cast<const DEMO_BODY*>(body));
    EXPECT_EQ(toHex(full),
              "3023300d310b300906035504030c024341"
              "a3123010300e"
              "0603551d0f0101ff040403020780");

    for (const Bytes& b : {bare, full}) {
        Node node = nodeOf(b);
        DEMO_BODY* back = nullptr;
        ASSERT_EQ(Seq_to_DEMO_BODY(node.get(), &back), 0);
        EXPECT_EQ(encode(DEMO_BODY_to_Seq, static_cast<const DEMO_BODY*>(back)), b);
        DEMO_BODY* copy = dup_DEMO_BODY(back);
        EXPECT_EQ(cmp_DEMO_BODY(copy, back), 0);
        free_DEMO_BODY(copy);
        free_DEMO_BODY(back);
    }
    EXPECT_NE(cmp_DEMO_BODY(body, nullptr), 0);
    // An empty Extensions SEQUENCE inside [3] does not decode.
    Node emptyExts = nodeOf(fromHex("3013300d310b300906035504030c024341a3023000"));
    DEMO_BODY* back = nullptr;
    EXPECT_EQ(Seq_to_DEMO_BODY(emptyExts.get(), &back), 0x467f0104);
    free_DEMO_BODY(body);
}

TEST(X509Extensions, MutatedInputGivesErrorsOnly) {
    ASSERT_FALSE(fixtures().empty());
    expectMutationsHarmless<Extensions>(certificateExtensions(), Seq_to_X509_EXTENSIONS, X509_EXTENSIONS_to_Seq,
                                        dup_X509_EXTENSIONS);
}

}  // namespace
