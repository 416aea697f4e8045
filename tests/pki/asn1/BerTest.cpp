// The node tree and the BER/DER codec against openssl's encoder and objects.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "PkiTestUtil.h"
#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>

using namespace pkitest;

namespace {

BIGINT* bigFromHex(const char* hex) { return VSC_HEX_To_BIGINT(hex); }

// One element encoded the way a structure encoder would: appended to an
// empty parent with the DER appender, then taken out of it.
Bytes derOf(int tag, void* value, int len) {
    Node parent(new_ASN1_UNIT());
    if (addToDERSequence(parent.get(), tag, value, len) != 0) return {};
    Bytes all = bytesOf(parent.get());
    const int lo = getASN1LengthSize(parent->length);
    return Bytes(all.begin() + 1 + lo, all.end());
}

Bytes derOfString(ASN1_STRING* s, int tag) { return derOf(tag, s, s ? s->length : 0); }

Bytes derOfInteger(const char* hex) {
    BIGINT* b = bigFromHex(hex);
    Bytes out = derOf(ASN1_TAG_INTEGER, b, zpki::ber::integerContentsLength(b));
    VSC_Free_BIGINT(b);
    return out;
}

struct GenstrCase {
    const char* spec;
    std::function<Bytes()> ours;
};

TEST(BerEncode, MatchesOpensslGenstr) {
    unsigned char yes = 1, no = 0;
    const GenstrCase cases[] = {
        {"INTEGER:0", [] { return derOfInteger("0"); }},
        {"INTEGER:127", [] { return derOfInteger("7F"); }},
        {"INTEGER:128", [] { return derOfInteger("80"); }},
        {"INTEGER:-1", [] { return derOfInteger("-1"); }},
        {"INTEGER:-128", [] { return derOfInteger("-80"); }},
        {"INTEGER:-129", [] { return derOfInteger("-81"); }},
        {"INTEGER:-256", [] { return derOfInteger("-100"); }},
        {"INTEGER:0x0123456789ABCDEF0123", [] { return derOfInteger("0123456789ABCDEF0123"); }},
        {"ENUMERATED:1",
         [] {
             BIGINT* b = bigFromHex("1");
             Bytes out = derOf(ASN1_TAG_ENUMERATED, b, 1);
             VSC_Free_BIGINT(b);
             return out;
         }},
        {"BOOLEAN:TRUE", [&] { return derOf(ASN1_TAG_BOOLEAN, &yes, 1); }},
        {"BOOLEAN:FALSE", [&] { return derOf(ASN1_TAG_BOOLEAN, &no, 1); }},
        {"NULL", [] { return derOf(ASN1_TAG_NULL, nullptr, 0); }},
        {"OID:1.2.840.113549.1.1.11",
         [] {
             String s(new_OBJECT_IDENTIFIER("1.2.840.113549.1.1.11", 21));
             return derOfString(s.get(), 6);
         }},
        {"OID:2.5.29.15",
         [] {
             String s(new_OBJECT_IDENTIFIER("2.5.29.15", 9));
             return derOfString(s.get(), 6);
         }},
        {"OID:2.999.3",
         [] {
             String s(new_OBJECT_IDENTIFIER("2.999.3", 7));
             return derOfString(s.get(), 6);
         }},
        {"OID:1.3.6.1.4.1.4294967296.18446744073709551615",
         [] {
             const char* t = "1.3.6.1.4.1.4294967296.18446744073709551615";
             String s(new_OBJECT_IDENTIFIER(t, static_cast<int>(strlen(t))));
             return derOfString(s.get(), 6);
         }},
        {"FORMAT:UTF8,UTF8String:\xed\x95\x9c\xea\xb8\x80",
         [] {
             String s(new_UTF8_STRING((const unsigned char*)"\xed\x95\x9c\xea\xb8\x80", 6));
             return derOfString(s.get(), 12);
         }},
        {"PRINTABLESTRING:Test CA (1)",
         [] {
             String s(new_PRINTABLE_STRING("Test CA (1)", 11));
             return derOfString(s.get(), 19);
         }},
        {"IA5STRING:a@b.example",
         [] {
             String s(new_IA5_STRING((const unsigned char*)"a@b.example", 11));
             return derOfString(s.get(), 22);
         }},
        {"T61STRING:x",
         [] {
             String s(new_T61_STRING((const unsigned char*)"x", 1));
             return derOfString(s.get(), 20);
         }},
        {"BMPSTRING:Ab",
         [] {
             String s(new_BMP_STRING((const unsigned char*)"\0A\0b", 4));
             return derOfString(s.get(), 30);
         }},
        {"FORMAT:HEX,OCTETSTRING:00FF10",
         [] {
             String s(new_OCTET_STRING((const unsigned char*)"\x00\xff\x10", 3));
             return derOfString(s.get(), 4);
         }},
        {"UTCTIME:491231235959Z",
         [] {
             String s(new_ASN1_STRING());
             set_ASN1_STRING_value(s.get(), 23, (const unsigned char*)"491231235959Z", 13);
             return derOfString(s.get(), 23);
         }},
        {"GENERALIZEDTIME:20500101000000Z",
         [] {
             String s(new_ASN1_STRING());
             set_ASN1_STRING_value(s.get(), 24, (const unsigned char*)"20500101000000Z", 15);
             return derOfString(s.get(), 24);
         }},
        {"FORMAT:BITLIST,BITSTRING:1,3,5",
         [] {
             String s(new_BIT_STRING("010101", 6));
             return derOfString(s.get(), 3);
         }},
        {"FORMAT:HEX,BITSTRING:A0",
         [] {
             String s(hexToBIT_STRING("A0", 2));
             return derOfString(s.get(), 3);
         }},
        {"FORMAT:HEX,BITSTRING:00",
         [] {
             String s(hexToBIT_STRING("00", 2));
             return derOfString(s.get(), 3);
         }},
    };
    for (const auto& c : cases) {
        const Bytes expected = genstr(c.spec);
        ASSERT_FALSE(expected.empty()) << c.spec;
        EXPECT_EQ(toHex(c.ours()), toHex(expected)) << c.spec;
    }
}

// An identifier's dotted text is about twice its contents: DER takes the
// length form from the contents (06 81 41 for 65 bytes broke X.690 10.1).
TEST(BerEncode, LongOidTextKeepsTheMinimalLength) {
    for (int arcs : {64, 129}) {
        std::string text = "1.2";
        for (int i = 0; i < arcs; ++i) text += ".1";
        SCOPED_TRACE(text.size());
        const Bytes expected = genstr("OID:" + text);
        ASSERT_FALSE(expected.empty());
        String s(new_OBJECT_IDENTIFIER(text.c_str(), static_cast<int>(text.size())));
        EXPECT_EQ(toHex(derOfString(s.get(), 6)), toHex(expected));
        Node node(new_ASN1_UNIT());
        ASSERT_EQ(encodeToDER(node.get(), 6, s.get(), s->length), 0);
        EXPECT_EQ(toHex(bytesOf(node.get())), toHex(expected));
        Node set(new_ASN1_UNIT());  // as any string, into a SET OF
        ASSERT_EQ(addToDERSetOf(set.get(), ASN1_TAG_ANY_STRING, s.get(), s->length), 0);
        const Bytes all = bytesOf(set.get());
        EXPECT_EQ(toHex(Bytes(all.end() - static_cast<long>(expected.size()), all.end())), toHex(expected));
    }
}

TEST(BerEncode, LongContentsMatchOpenssl) {
    for (size_t n : {127u, 128u, 255u, 256u, 40000u}) {
        std::string hex(2 * n, 'b');
        const Bytes expected = genstr("FORMAT:HEX,OCTETSTRING:" + hex);
        Bytes raw(n, 0xbb);
        String s(new_OCTET_STRING(raw.data(), static_cast<int>(n)));
        EXPECT_TRUE(derOfString(s.get(), 4) == expected) << n;
    }
    // Past the command line's reach: three length octets.
    Bytes raw(70000, 0xbb);
    String s(new_OCTET_STRING(raw.data(), 70000));
    const Bytes der = derOfString(s.get(), 4);
    ASSERT_EQ(der.size(), 70005u);
    EXPECT_EQ(toHex(Bytes(der.begin(), der.begin() + 5)), "0483011170");
}

TEST(BerEncode, NestedStructuresMatchOpensslGenconf) {
    const Bytes expected = genconf(
        "asn1=SEQUENCE:s\n[s]\na=INTEGER:1\nb=SET:t\nc=EXPLICIT:0,INTEGER:5\nd=IMPLICIT:1,OCTETSTRING:hi\n"
        "e=SEQUENCE:empty\n[t]\nx=BOOLEAN:TRUE\ny=NULL\n[empty]\n");
    ASSERT_FALSE(expected.empty());

    Node seq(new_ASN1_UNIT()), set(new_ASN1_UNIT()), explicit0(new_ASN1_UNIT()), empty(new_ASN1_UNIT());
    BIGINT* one = bigFromHex("1");
    BIGINT* five = bigFromHex("5");
    unsigned char yes = 1;
    String hi(new_OCTET_STRING((const unsigned char*)"hi", 2));
    ASSERT_EQ(addToDERSequence(seq.get(), 2, one, 1), 0);
    ASSERT_EQ(addToDERSet(set.get(), 1, &yes, 1), 0);
    ASSERT_EQ(addToDERSet(set.get(), 5, nullptr, 0), 0);
    ASSERT_EQ(addToDERSequence(seq.get(), 49, set.get(), 0), 0);
    ASSERT_EQ(addToDERSequence_CS(explicit0.get(), 0, 2, five, 1), 0);
    ASSERT_EQ(addToDERSequence(seq.get(), 33, explicit0.release(), 0), 0);  // consumed
    ASN1_UNIT* implicit1 = new_ASN1_UNIT();
    ASSERT_EQ(encodeToDER_CS(implicit1, 1, 4, hi.get(), 2), 0);
    ASSERT_EQ(addToDERSequence(seq.get(), 33, implicit1, 0), 0);
    ASSERT_EQ(addToDERSequenceOf(empty.get(), 4, nullptr, 0), 0);
    ASSERT_EQ(addToDERSequence(seq.get(), 48, empty.get(), 0), 0);
    EXPECT_EQ(toHex(bytesOf(seq.get())), toHex(expected));
    VSC_Free_BIGINT(one);
    VSC_Free_BIGINT(five);
}

TEST(BerEncode, ParentLengthGrowsThroughTheLongForms) {
    Node parent(new_ASN1_UNIT());
    for (int i = 0; i < 200; ++i) {
        unsigned char b = static_cast<unsigned char>(i);
        String s(new_OCTET_STRING(&b, 1));
        ASSERT_EQ(addToDERSequence(parent.get(), 4, s.get(), 1), 0);
        const int contents = 3 * (i + 1);
        const Bytes all = bytesOf(parent.get());
        if (contents < 128)
            EXPECT_EQ(all[1], contents);
        else if (contents < 256)
            EXPECT_EQ(all[1], 0x81);
        else
            EXPECT_EQ(all[1], 0x82);
    }
    const Bytes all = bytesOf(parent.get());
    EXPECT_EQ(toHex(Bytes(all.begin(), all.begin() + 7)),
              "308202580401"
              "00");
    EXPECT_EQ(getSequenceChildNum(parent.get()), 200);
}

// A node appended to itself gets a copy of what it held, whichever length
// form either takes (the parent's length octets used to change under the
// child being copied, writing past the contents buffer).
TEST(BerEncode, NodeAppendedToItself) {
    for (int tag : {48, 33}) {
        for (int size : {60, 61, 62, 124, 125, 126, 127, 250, 252}) {
            SCOPED_TRACE(std::to_string(tag) + " " + std::to_string(size));
            Node parent(new_ASN1_UNIT());
            const Bytes data(static_cast<size_t>(size), 0x61);
            String s(new_OCTET_STRING(data.data(), size));
            ASSERT_EQ(addToDERSequence(parent.get(), 4, s.get(), size), 0);
            const Bytes before = bytesOf(parent.get());
            ASSERT_EQ(addToDERSequence(parent.get(), tag, parent.get(), 0), 0);
            EXPECT_EQ(getSequenceChildNum(parent.get()), 2);
            Node child(static_cast<ASN1_UNIT*>(getDERChildAt(parent.get(), 1, 48)));
            ASSERT_TRUE(child);
            EXPECT_EQ(toHex(bytesOf(child.get())), toHex(before));
            const Bytes after = bytesOf(parent.get());
            Node again(decodeToDERSequence(after.data(), static_cast<int>(after.size())));
            ASSERT_TRUE(again);
            EXPECT_EQ(toHex(bytesOf(again.get())), toHex(after));
        }
    }
}

// A node encoded again from its own contents: the bytes are copied before
// the node's old buffers go (they were read after being freed).
TEST(BerEncode, NodeEncodedFromItsOwnContents) {
    Node n(new_ASN1_UNIT());
    unsigned char t = 0x01;
    ASSERT_EQ(encodeToBER(n.get(), 1, &t, 1, 0), 0);
    ASSERT_EQ(encodeToBER(n.get(), 1, n->value, 1, 0), 0);
    EXPECT_EQ(toHex(bytesOf(n.get())), "010101");
    for (int tag : {4, 12, 23}) {
        SCOPED_TRACE(tag);
        const char* text = tag == 23 ? "491231235959Z" : "abcdef";
        const int len = static_cast<int>(std::strlen(text));
        String s(new_OCTET_STRING(reinterpret_cast<const unsigned char*>(text), len));
        ASSERT_EQ(encodeToBER(n.get(), tag, s.get(), len, 0), 0);
        const Bytes before = bytesOf(n.get());
        ASN1_STRING own = *s;
        own.data = n->value;  // the node's own contents
        ASSERT_EQ(encodeToBER(n.get(), tag, &own, len, 1), 0);
        Bytes expected = before;
        expected.insert(expected.begin() + 1, 0x81);  // the long length form asked for
        EXPECT_EQ(toHex(bytesOf(n.get())), toHex(expected));
    }
}

TEST(BerEncode, DerRulesAndRefusals) {
    Node n(new_ASN1_UNIT());
    ASSERT_EQ(addToDERSequenceOf(n.get(), 4, nullptr, 0), 0);
    EXPECT_EQ(toHex(bytesOf(n.get())), "3000");
    n.reset(new_ASN1_UNIT());
    ASSERT_EQ(addToDERSetOf(n.get(), 4, nullptr, 0), 0);
    EXPECT_EQ(toHex(bytesOf(n.get())), "3100");

    unsigned char b = 0x01;
    EXPECT_EQ(toHex(derOf(1, &b, 1)), "0101ff");
    EXPECT_EQ(b, 0xff);  // rewritten in place

    String noSeconds(new_ASN1_STRING());
    set_ASN1_STRING_value(noSeconds.get(), 23, (const unsigned char*)"4912312359Z", 11);
    n.reset(new_ASN1_UNIT());
    EXPECT_EQ(addToDERSequence(n.get(), 23, noSeconds.get(), 11), static_cast<PKI_ERROR>(0x43040101));

    // Refusals of the BER encoder and their function bytes.
    struct Refusal {
        int tag;
        const void* value;
        int len;
        int form;
        PKI_ERROR code;
    };
    unsigned char two[2] = {1, 2};
    String big(new_OCTET_STRING(two, 2));
    const Refusal refusals[] = {
        {1, two, 2, 0, 0x42010101},          // BOOLEAN of two bytes
        {5, nullptr, 1, 0, 0x42040101},      // NULL with contents
        {4, nullptr, 1, 0, 0x42090101},      // no value
        {4, big.get(), -1, 0, 0x42090101},   // negative length
        {4, big.get(), 2, 3, 0x42090101},    // no such form
        {4, big.get(), 200, 0, 0x42090101},  // short form for 200 bytes
        {4, big.get(), 3, 1, 0x42080101},    // longer than the string holds
    };
    for (const auto& r : refusals) {
        Node node(new_ASN1_UNIT());
        EXPECT_EQ(encodeToBER(node.get(), r.tag, r.value, r.len, r.form), r.code) << r.tag << "/" << r.len;
        EXPECT_EQ(node->tag, nullptr);  // left clean
    }
    // An INTEGER that does not fit the length asked for.
    BIGINT* v = bigFromHex("0102");
    Node node(new_ASN1_UNIT());
    EXPECT_EQ(encodeToBER(node.get(), 2, v, 1, 0), static_cast<PKI_ERROR>(0x42020101));
    VSC_Free_BIGINT(v);
}

TEST(BerEncode, IndefiniteAndSegmentedForms) {
    Node inner(new_ASN1_UNIT());
    String s(new_OCTET_STRING((const unsigned char*)"abc", 3));
    ASSERT_EQ(addToBERSequence(inner.get(), 4, s.get(), 3, 0), 0);
    const int before = getASN1ValueLength(inner.get());
    ASSERT_EQ(setBERLengthForm(inner.get(), ASN1_LENGTH_INDEFINITE), 0);
    EXPECT_EQ(getASN1ValueLength(inner.get()), before);
    EXPECT_EQ(toHex(bytesOf(inner.get())),
              "3080040361626300"
              "00");

    Node outer(new_ASN1_UNIT());
    ASSERT_EQ(addToBERSequence(outer.get(), 48, inner.get(), 0, 0), 0);
    ASSERT_EQ(addToBERSequence(outer.get(), 4, s.get(), 3, 0), 0);
    EXPECT_EQ(getSequenceChildNum(outer.get()), 2);
    Node back(static_cast<ASN1_UNIT*>(getBERChildAt(outer.get(), 0, 48)));
    ASSERT_TRUE(back);
    EXPECT_EQ(toHex(bytesOf(back.get())), toHex(bytesOf(inner.get())));
    String second(static_cast<ASN1_STRING*>(getBERChildAt(outer.get(), 1, 4)));
    ASSERT_TRUE(second);
    EXPECT_EQ(std::string((char*)second->data, 3), "abc");

    // A primitive node cannot become indefinite; long form of a short node.
    Node prim(new_ASN1_UNIT());
    ASSERT_EQ(encodeToBER(prim.get(), 4, s.get(), 3, 0), 0);
    EXPECT_NE(setBERLengthForm(prim.get(), ASN1_LENGTH_INDEFINITE), 0);
    ASSERT_EQ(setBERLengthForm(prim.get(), ASN1_LENGTH_LONG), 0);
    EXPECT_EQ(toHex(bytesOf(prim.get())), "048103616263");

    // A segmented BIT STRING: only the last segment may be padded.
    Node seg(new_ASN1_UNIT());
    String full(hexToBIT_STRING("FF", 2)), padded(new_BIT_STRING("101", 3));
    ASSERT_EQ(addToBERStringSequence(seg.get(), 3, full.get(), 1, 0), 0);
    ASSERT_EQ(addToBERStringSequence(seg.get(), 3, padded.get(), 1, 0), 0);
    EXPECT_EQ(toHex(bytesOf(seg.get())),
              "23080302"
              "00ff"
              "0302"
              "05a0");
    EXPECT_NE(addToBERStringSequence(seg.get(), 3, full.get(), 1, 0), 0);
    // Decoding the segments joins them.
    const Bytes segBytes = bytesOf(seg.get());
    String joined(decodeToBERBitString(segBytes.data(), static_cast<int>(segBytes.size())));
    ASSERT_TRUE(joined);
    EXPECT_EQ(toHex(joined->data, 2), "ffa0");
    EXPECT_EQ(joined->extra, 5);
}

TEST(BerDecode, ChildAccessByExpectedType) {
    // SEQUENCE { [0] IMPLICIT "xy", OCTET STRING "z", INTEGER 5, [21 universal] }
    const Bytes bytes = fromHex(
        "300a"
        "80027879"
        "04017a"
        "020105");
    Node n(decodeToBERSequence(bytes.data(), static_cast<int>(bytes.size())));
    ASSERT_TRUE(n);
    EXPECT_EQ(getSequenceChildNum(n.get()), 3);
    EXPECT_EQ(getChildType(n.get(), 0), 0x80);
    EXPECT_EQ(getChildType(n.get(), 3), -1);
    String implicitOctets(static_cast<ASN1_STRING*>(getBERChildAt(n.get(), 0, 4)));
    ASSERT_TRUE(implicitOctets);
    EXPECT_EQ(implicitOctets->type, 4);
    EXPECT_EQ(std::string((char*)implicitOctets->data), "xy");
    EXPECT_EQ(getBERChildAt(n.get(), 1, 2), nullptr);  // OCTET STRING asked as INTEGER
    String any(static_cast<ASN1_STRING*>(getBERChildAt(n.get(), 0, 32)));
    ASSERT_TRUE(any);
    EXPECT_EQ(any->type, 0x80);
    Node asNode(static_cast<ASN1_UNIT*>(getBERChildAt(n.get(), 1, 33)));
    ASSERT_TRUE(asNode);
    EXPECT_EQ(getBERChildAt(n.get(), 2, 33), nullptr);  // INTEGER is no string
    BIGINT* five = static_cast<BIGINT*>(getBERChildAt(n.get(), 2, 2));
    ASSERT_TRUE(five);
    EXPECT_EQ(VSC_Get_BIGINT_Word(five), 5u);
    VSC_Free_BIGINT(five);

    // A universal type the library does not handle makes the count 0.
    const Bytes odd = fromHex(
        "3005"
        "020101"
        "1500");
    Node o(decodeToBERSequence(odd.data(), static_cast<int>(odd.size())));
    ASSERT_TRUE(o);
    EXPECT_EQ(getSequenceChildNum(o.get()), 0);

    // The cursor form walks children in order.
    int cursor = 0;
    std::vector<int> offsets;
    for (int i = 0;; ++i) {
        ASN1_STRING* s = static_cast<ASN1_STRING*>(getBERChildOffset(n.get(), i, 32, &cursor));
        if (!s) break;
        offsets.push_back(cursor);
        free_ASN1_STRING(s);
    }
    EXPECT_EQ(offsets, (std::vector<int>{0, 4, 7}));
    int bogus = 3;  // not the start of a child
    EXPECT_EQ(getBERChildOffset(n.get(), 0, 32, &bogus), nullptr);
}

TEST(BerDecode, IntegersAreTwosComplement) {
    struct Case {
        const char* der;
        const char* hex;  // the value as the crypto layer prints it
    } cases[] = {{"020100", "00"},  {"02017f", "7F"},    {"02020080", "80"},   {"0201ff", "-01"},
                 {"020180", "-80"}, {"0202ff7f", "-81"}, {"0202ff00", "-0100"}};
    for (const auto& c : cases) {
        const Bytes b = fromHex(c.der);
        BIGINT* v = decodeToBERInteger(b.data(), static_cast<int>(b.size()));
        ASSERT_TRUE(v) << c.der;
        char* text = VSC_BIGINT_To_HEX(v);
        EXPECT_STREQ(text, c.hex) << c.der;
        EXPECT_EQ(toHex(derOf(2, v, zpki::ber::integerContentsLength(v))), c.der);
        VSC_Free(text, __FILE__, __LINE__);
        VSC_Free_BIGINT(v);
    }
    const Bytes empty = fromHex("0200");
    EXPECT_EQ(decodeToBERInteger(empty.data(), 2), nullptr);
}

TEST(BerObjectIdentifier, TextAndContents) {
    struct Good {
        const char* text;
        const char* contents;
    } good[] = {{"1.2.840.113549.1.1.11", "2a864886f70d01010b"},
                {"2.5.29.15", "551d0f"},
                {"0.0", "00"},
                {"2.999.3", "883703"},
                {"1.3.6.1.4.1.4294967296", "2b060104019080808000"}};
    for (const auto& g : good) {
        zpki::ber::Bytes c, t;
        ASSERT_TRUE(zpki::ber::oidTextToContents(g.text, strlen(g.text), c)) << g.text;
        EXPECT_EQ(toHex(c.data(), c.size()), g.contents);
        ASSERT_TRUE(zpki::ber::oidContentsToText(c.data(), c.size(), t));
        EXPECT_EQ(std::string(t.begin(), t.end()), g.text);
    }
    const char* badTexts[] = {"",
                              "1",
                              "1.",
                              ".1.2",
                              "1..2",
                              "1.2.",
                              "1.a.3",
                              "1.2.-3",
                              "3.1",
                              "0.40",
                              "1.40",
                              "1.2.18446744073709551616",
                              "1.2.99999999999999999999999"};
    for (const char* t : badTexts) {
        zpki::ber::Bytes c;
        EXPECT_FALSE(zpki::ber::oidTextToContents(t, strlen(t), c)) << "'" << t << "'";
        String s(new_ASN1_STRING());
        set_ASN1_STRING_value(s.get(), 6, (const unsigned char*)t, (int)strlen(t));
        Node n(new_ASN1_UNIT());
        EXPECT_NE(encodeToDER(n.get(), 6, s.get(), s->length), 0) << t;
    }
    // Contents that do not read: empty, a leading 0x80 group, a cut-off
    // group, a subidentifier beyond 64 bits, a text beyond 99 characters.
    std::string tooLong;
    for (int i = 0; i < 60; ++i) tooLong += "817f";
    const char* badContents[] = {"", "2a80", "2a86", "2a8180808080808080808000", tooLong.c_str()};
    for (const char* hex : badContents) {
        const Bytes c = fromHex(hex);
        zpki::ber::Bytes t;
        EXPECT_FALSE(zpki::ber::oidContentsToText(c.data(), c.size(), t)) << hex;
    }
}

}  // namespace

namespace {

// Reading n children by index after one pass over the parent is linear: with
// 200000 children a walk from the start for each would take minutes.
TEST(BerDecode, ChildAccessIsLinear) {
    constexpr int kChildren = 200000;
    Bytes der = {0x30, 0x83};
    const int contents = 3 * kChildren;
    der.push_back(static_cast<unsigned char>(contents >> 16));
    der.push_back(static_cast<unsigned char>(contents >> 8));
    der.push_back(static_cast<unsigned char>(contents));
    for (int i = 0; i < kChildren; ++i) {
        der.push_back(0x04);
        der.push_back(0x01);
        der.push_back(static_cast<unsigned char>(i));
    }
    Node n(decodeToBERSequence(der.data(), static_cast<int>(der.size())));
    ASSERT_TRUE(n);
    EXPECT_EQ(getSequenceChildNum(n.get()), kChildren);
    for (int i = kChildren - 1; i >= 0; i -= 1) {
        ASSERT_EQ(getChildType(n.get(), i), 0x04);
    }
    String last(static_cast<ASN1_STRING*>(getBERChildAt(n.get(), kChildren - 1, 4)));
    ASSERT_TRUE(last);
    EXPECT_EQ(last->data[0], static_cast<unsigned char>(kChildren - 1));
    // Appending them again is linear too.
    Node rebuilt(new_ASN1_UNIT());
    for (int i = 0; i < kChildren; ++i) {
        unsigned char b = static_cast<unsigned char>(i);
        ASN1_STRING s{4, &b, 1, 0};
        ASSERT_EQ(addToDERSequence(rebuilt.get(), 4, &s, 1), 0);
    }
    EXPECT_EQ(bytesOf(rebuilt.get()), der);
}

}  // namespace

// A node is read through a const interface, so several threads may read one
// at once; its child index is made once for all of them.
TEST(BerRead, OneNodeReadFromManyThreads) {
    constexpr int kChildren = 3000;
    Bytes contents;
    for (int i = 0; i < kChildren; ++i) contents.insert(contents.end(), {0x02, 0x01, static_cast<uint8_t>(i)});
    Bytes der{0x30, 0x82, static_cast<uint8_t>(contents.size() >> 8), static_cast<uint8_t>(contents.size())};
    der.insert(der.end(), contents.begin(), contents.end());
    for (int round = 0; round < 20; ++round) {
        Node node(decodeToDERSequence(der.data(), static_cast<int>(der.size())));
        ASSERT_NE(node, nullptr);
        std::atomic<int> wrong{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 8; ++t)
            threads.emplace_back([&] {
                if (getSequenceChildNum(node.get()) != kChildren) ++wrong;
                if (getChildType(node.get(), kChildren - 1) != 0x02) ++wrong;
            });
        for (auto& t : threads) t.join();
        ASSERT_EQ(wrong.load(), 0);
    }
}
