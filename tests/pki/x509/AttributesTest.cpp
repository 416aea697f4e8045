// Attributes: the signed attributes of an openssl CMS message and the
// attributes of an openssl request, found, read, rebuilt and re-encoded;
// value kinds, list operations and malformed input.
#include <gtest/gtest.h>

#include "X509TestUtil.h"
#include <zunPKI/asn1/asn1_objects.h>

using namespace x509test;

namespace {

// The [0] IMPLICIT attributes at path below the object, as a SET.
Bytes attributeSet(const std::string& file, std::initializer_list<int> path) {
    Node object = nodeOf(fixture(file));
    Node attrs = childAt(object.get(), path);
    Bytes b = pkitest::bytesOf(attrs.get());
    EXPECT_FALSE(b.empty());
    EXPECT_EQ(b.empty() ? 0 : b[0], 0xa0);
    if (!b.empty()) b[0] = 0x31;
    return b;
}

// ContentInfo / [0] / SignedData / signerInfos (child 4) / first / signedAttrs (child 3).
Bytes signedAttributes() { return attributeSet("signed.der", {1, 0, 4, 0, 3}); }
// CertificationRequest / info / attributes (child 3).
Bytes requestAttributes() { return attributeSet("req.der", {0, 3}); }

Bytes der(const X509_ATTRIBUTES* l) { return encode(X509_ATTRIBUTES_to_Seq, l); }

const ASN1_STRING* stringValue(const X509_ATTRIBUTES* l, int attr, int value = 0) {
    return static_cast<const ASN1_STRING*>(get_X509_ATTRIBUTE_data(get_X509_ATTRIBUTES_child(l, attr), value));
}

TEST(X509Attributes, CmsSignedAttributesReadAndRebuilt) {
    ASSERT_FALSE(fixtures().empty());
    const Bytes original = signedAttributes();
    PKI_ERROR rc;
    Attributes list = decodeAttributes(original, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(get_X509_ATTRIBUTES_count(list.get()), 4);
    // contentType, signingTime, messageDigest, smimeCapabilities: one value each.
    const struct { int row, tag; } expected[] = {{50, 0x06}, {52, 0x17}, {51, 0x04}, {167, 0x30}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(get_X509_ATTRIBUTES_index_by_OID_index(list.get(), expected[i].row, -1), i);
        EXPECT_EQ(get_X509_ATTRIBUTES_index_by_OID_index(list.get(), expected[i].row, i), -1);
        const X509_ATTRIBUTE* a = get_X509_ATTRIBUTES_child(list.get(), i);
        EXPECT_EQ(get_X509_ATTRIBUTE_count(a), 1);
        EXPECT_EQ(get_X509_ATTRIBUTE_data_type(a, 0), expected[i].tag);
        EXPECT_EQ(get_X509_ATTRIBUTE_data_type(a, 5), -1);
    }
    EXPECT_EQ(get_X509_ATTRIBUTES_index_by_OID_index(list.get(), 9999, -1), -2);
    EXPECT_STREQ(reinterpret_cast<const char*>(stringValue(list.get(), 0)->data), "1.2.840.113549.1.7.1");
    // The digest openssl put there is the SHA-256 of the content.
    const std::string digest = pkitest::openssl({"dgst", "-sha256", "-binary", fixtures() + "/msg.txt"});
    const ASN1_STRING* md = stringValue(list.get(), 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(md->data), md->length), digest);

    EXPECT_EQ(der(list.get()), original);
    // Callers that need [0] IMPLICIT change the identifier octet.
    ASN1_UNIT* node = nullptr;
    ASSERT_EQ(X509_ATTRIBUTES_to_Seq(list.get(), &node), 0);
    node->tag[0] = 0xa0;
    Bytes implicit = original;
    implicit[0] = 0xa0;
    EXPECT_EQ(pkitest::bytesOf(node), implicit);
    free_ASN1_UNIT(node);

    // Rebuilt through the builders, in openssl's order.
    Attributes rebuilt(new_X509_ATTRIBUTES());
    for (int i = 0; i < 4; ++i) {
        const X509_ATTRIBUTE* a = get_X509_ATTRIBUTES_child(list.get(), i);
        ASSERT_EQ(add_X509_ATTRIBUTES_OID_INDEX(rebuilt.get(), expected[i].row, get_X509_ATTRIBUTE_data_type(a, 0),
                                                get_X509_ATTRIBUTE_data(a, 0), -1),
                  0);
    }
    EXPECT_EQ(der(rebuilt.get()), original);
    Attributes copy(dup_X509_ATTRIBUTES(list.get()));
    EXPECT_EQ(der(copy.get()), original);
    const X509_ATTRIBUTE* capabilities = get_X509_ATTRIBUTES_child(list.get(), 3);
    EXPECT_EQ(cmp_X509_ATTRIBUTE(get_X509_ATTRIBUTES_child(copy.get(), 3), capabilities), 0);
    EXPECT_NE(cmp_X509_ATTRIBUTE(get_X509_ATTRIBUTES_child(copy.get(), 2), capabilities), 0);
}

TEST(X509Attributes, RequestAttributesCarryAnExtensionList) {
    ASSERT_FALSE(fixtures().empty());
    const Bytes original = requestAttributes();
    Attributes list = decodeAttributes(original);
    ASSERT_TRUE(list);
    ASSERT_EQ(get_X509_ATTRIBUTES_count(list.get()), 2);
    pkitest::String challenge(index_to_OBJECT_IDENTIFIER(54));
    const int at = get_X509_ATTRIBUTES_index_by_OID(list.get(), challenge.get(), -1);
    ASSERT_EQ(at, 0);
    EXPECT_EQ(get_X509_ATTRIBUTE_data_type(get_X509_ATTRIBUTES_child(list.get(), at), 0), 12);
    EXPECT_STREQ(reinterpret_cast<const char*>(stringValue(list.get(), at)->data), "secret pass");

    // The extensionRequest value is a SEQUENCE, kept as a node the extension codec reads.
    const int ext = get_X509_ATTRIBUTES_index_by_OID_index(list.get(), 172, -1);
    ASSERT_EQ(ext, 1);
    auto* value = static_cast<ASN1_UNIT*>(get_X509_ATTRIBUTE_data(get_X509_ATTRIBUTES_child(list.get(), ext), 0));
    X509_EXTENSIONS* exts = nullptr;
    ASSERT_EQ(Seq_to_X509_EXTENSIONS(value, &exts), 0);
    EXPECT_EQ(get_X509_EXTENSION_count(exts), 2);
    const int keyUsage = get_X509_EXTENSION_index_by_OID_index(exts, 83, -1);
    EXPECT_EQ(get_X509_EXTENSION_critical(get_X509_EXTENSION(exts, keyUsage)), 1);
    EXPECT_EQ(get_X509_EXTENSION_index_by_OID_index(exts, 85, -1), 1);
    free_X509_EXTENSIONS(exts);
    EXPECT_EQ(der(list.get()), original);
}

TEST(X509Attributes, ValueKindsAndBuilders) {
    pkitest::String type(index_to_OBJECT_IDENTIFIER(156));  // friendlyName
    ASN1_STRING* bmp = new_BMP_STRING(reinterpret_cast<const unsigned char*>("\xd6\x4d"), 2);
    Attribute a(new_X509_ATTRIBUTE());
    ASSERT_EQ(get_X509_ATTRIBUTE_count(a.get()), 0);
    ASSERT_EQ(set_X509_ATTRIBUTE_OID(a.get(), type.get()), 0);
    // Without values: an empty SET.
    EXPECT_EQ(toHex(encode(X509_ATTRIBUTE_to_Seq, static_cast<const X509_ATTRIBUTE*>(a.get()))),
              "300d06092a864886f70d0109143100");
    ASSERT_EQ(add_X509_ATTRIBUTE_set(a.get(), bmp), 0);  // the attribute owns bmp now
    EXPECT_EQ(get_X509_ATTRIBUTE_data(a.get(), 0), bmp);
    EXPECT_EQ(get_X509_ATTRIBUTE_data_type(a.get(), 0), 0x1e);
    // A constructed value handed over as a string is kept as a node.
    ASN1_STRING* seq = new_ASN1_STRING();
    set_ASN1_STRING_value(seq, 0x30, fromHex("0500").data(), 2);
    ASSERT_EQ(add_X509_ATTRIBUTE_set(a.get(), seq), 0);
    Node node = nodeOf(fromHex("a1020500"));
    ASSERT_EQ(add_X509_ATTRIBUTE_data(a.get(), 0xa1, node.get()), 0);
    // A value kept under another tag than its node's is written under the record's tag.
    ASSERT_EQ(add_X509_ATTRIBUTE_data(a.get(), 0x31, node.get()), 0);
    // A missing value entry is left out.
    push_STACK_value(a->values, nullptr);
    EXPECT_EQ(get_X509_ATTRIBUTE_count(a.get()), 5);
    EXPECT_EQ(get_X509_ATTRIBUTE_data(a.get(), 4), nullptr);
    const Bytes out = encode(X509_ATTRIBUTE_to_Seq, static_cast<const X509_ATTRIBUTE*>(a.get()));
    EXPECT_EQ(toHex(out),
              "301d06092a864886f70d010914"
              "3110"
              "1e02d64d"
              "30020500"
              "a1020500"
              "31020500");
    Attribute back;
    {
        Node n = nodeOf(out);
        X509_ATTRIBUTE* made = nullptr;
        ASSERT_EQ(Seq_to_X509_ATTRIBUTE(n.get(), &made), 0);
        back.reset(made);
    }
    EXPECT_EQ(get_X509_ATTRIBUTE_count(back.get()), 4);
    EXPECT_EQ(get_X509_ATTRIBUTE_data_type(back.get(), 3), 0x31);

    EXPECT_EQ(add_X509_ATTRIBUTE_set(a.get(), nullptr), 1);
    EXPECT_EQ(add_X509_ATTRIBUTE_data(a.get(), 0x04, nullptr), 1);
    EXPECT_EQ(add_X509_ATTRIBUTE_data(nullptr, 0x04, bmp), 1);
    EXPECT_EQ(set_X509_ATTRIBUTE_OID(a.get(), nullptr), 1);

    // create_ fills a caller's attribute, or leaves it as it was.
    X509_ATTRIBUTE* mine = back.get();
    EXPECT_EQ(create_X509_ATTRIBUTE_index(&mine, 157, 0x04, bmp), back.get());
    EXPECT_EQ(get_X509_ATTRIBUTE_count(back.get()), 5);
    EXPECT_EQ(get_X509_ATTRIBUTE_data_type(back.get(), 4), 0x04);
    EXPECT_EQ(create_X509_ATTRIBUTE_index(&mine, 9999, 0x04, bmp), nullptr);
    EXPECT_EQ(create_X509_ATTRIBUTE_OID(&mine, type.get(), 0x04, nullptr), nullptr);
    EXPECT_EQ(get_X509_ATTRIBUTE_count(back.get()), 5);
    X509_ATTRIBUTE* none = nullptr;
    Attribute made(create_X509_ATTRIBUTE_OID(&none, type.get(), 0x04, bmp));
    EXPECT_EQ(none, made.get());
}

TEST(X509Attributes, ListOperationsAndMalformedInput) {
    ASSERT_FALSE(fixtures().empty());
    Attributes list(new_X509_ATTRIBUTES());
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(X509_ATTRIBUTES_to_Seq(list.get(), &node), 0x4623002b);
    EXPECT_EQ(X509_ATTRIBUTES_to_Seq(nullptr, &node), 0x4623002b);
    pkitest::String octets(new_OCTET_STRING(fromHex("0102").data(), 2));
    // Nothing is added, and that is reported, when the attribute cannot be built.
    EXPECT_EQ(add_X509_ATTRIBUTES_OID_INDEX(list.get(), 9999, 0x04, octets.get(), -1), 1);
    EXPECT_EQ(add_X509_ATTRIBUTES_child_OID(list.get(), nullptr, 0x04, octets.get(), -1), 1);
    EXPECT_EQ(add_X509_ATTRIBUTES_OID_INDEX(nullptr, 157, 0x04, octets.get(), -1), 1);
    EXPECT_EQ(get_X509_ATTRIBUTES_count(list.get()), 0);
    ASSERT_EQ(add_X509_ATTRIBUTES_OID_INDEX(list.get(), 157, 0x04, octets.get(), -1), 0);
    pkitest::String data(index_to_OBJECT_IDENTIFIER(21));
    ASSERT_EQ(add_X509_ATTRIBUTES_OID_INDEX(list.get(), 50, 0x06, data.get(), 0), 0);
    EXPECT_EQ(get_X509_ATTRIBUTES_index_by_OID_index(list.get(), 157, -1), 1);
    ASSERT_EQ(add_X509_ATTRIBUTES_child(list.get(), get_X509_ATTRIBUTES_child(list.get(), 0), 99), 0);
    EXPECT_EQ(get_X509_ATTRIBUTES_index_by_OID_index(list.get(), 50, 0), 2);
    EXPECT_EQ(get_X509_ATTRIBUTES_child(list.get(), 3), nullptr);
    EXPECT_EQ(add_X509_ATTRIBUTES_child(list.get(), nullptr, -1), 1);
    // A missing attribute entry, and one without a type.
    push_STACK_value(list.get(), nullptr);
    EXPECT_EQ(X509_ATTRIBUTES_to_Seq(list.get(), &node), 0x4623002b);
    list->items[3] = new_X509_ATTRIBUTE();
    EXPECT_EQ(X509_ATTRIBUTES_to_Seq(list.get(), &node), 0x4621002b);
    EXPECT_EQ(node, nullptr);
    free_X509_ATTRIBUTE(static_cast<X509_ATTRIBUTE*>(remove_STACK_value(list.get(), 3)));

    // Decoding appends to a caller's list, or leaves it as it was.
    const Bytes good = signedAttributes();
    X509_ATTRIBUTES* l = list.get();
    Node goodNode = nodeOf(good);
    ASSERT_EQ(Seq_to_X509_ATTRIBUTES(goodNode.get(), &l), 0);
    EXPECT_EQ(get_X509_ATTRIBUTES_count(l), 7);
    const struct {
        const char* hex;
        PKI_ERROR code;
    } bad[] = {
        {"3100", 0x4624002b},  // no attribute
        {"310a"
         "3008"
         "0403010203"
         "3101"
         "05",
         0x46240104},  // no type
        {"3108"
         "3006"
         "0601"
         "2a"
         "0401"
         "00",
         0x46240104},  // values not a SET
        {"3111"
         "3007"
         "06012a"
         "3102"
         "0500"
         "3007"
         "06012a"
         "3102"
         "05",
         0x46240104},          // the second one truncated
        {"0500", 0x46240104},  // not constructed
    };
    for (const auto& b : bad) {
        Node n = nodeOf(fromHex(b.hex));
        ASSERT_TRUE(n) << b.hex;
        EXPECT_EQ(Seq_to_X509_ATTRIBUTES(n.get(), &l), b.code) << b.hex;
        EXPECT_EQ(get_X509_ATTRIBUTES_count(l), 7) << b.hex;
        X509_ATTRIBUTES* fresh = nullptr;
        EXPECT_EQ(Seq_to_X509_ATTRIBUTES(n.get(), &fresh), b.code) << b.hex;
        EXPECT_EQ(fresh, nullptr);
    }
    EXPECT_EQ(Seq_to_X509_ATTRIBUTES(nullptr, &l), 0x46240049);
    X509_ATTRIBUTE* a = get_X509_ATTRIBUTES_child(l, 0);
    Node notAttribute =
        nodeOf(fromHex("30030601"
                       "2a"));
    EXPECT_EQ(Seq_to_X509_ATTRIBUTE(notAttribute.get(), &a), 0x46220104);
    EXPECT_EQ(a, get_X509_ATTRIBUTES_child(l, 0));
    EXPECT_EQ(X509_ATTRIBUTE_to_Seq(nullptr, &node), 0x46210049);
    EXPECT_EQ(free_X509_ATTRIBUTES(nullptr), 0);
}

TEST(X509Attributes, MutatedInputGivesErrorsOnly) {
    ASSERT_FALSE(fixtures().empty());
    expectMutationsHarmless<Attributes>(signedAttributes(), Seq_to_X509_ATTRIBUTES, X509_ATTRIBUTES_to_Seq,
                                        dup_X509_ATTRIBUTES);
}

}  // namespace
