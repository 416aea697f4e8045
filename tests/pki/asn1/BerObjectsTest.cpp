// Real objects from openssl through the node tree, and malformed input that
// must give errors only.
#include <gtest/gtest.h>

#include <random>

#include "PkiTestUtil.h"
#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>

using namespace pkitest;

namespace {

// Every child of every constructed node, read as every kind of value the
// decoders offer; returns the number of nodes visited.
int walk(const ASN1_UNIT* node, int depth = 0) {
    if (depth > 100) return 0;
    int visited = 1;
    const int children = getSequenceChildNum(node);
    for (int i = 0; i < children + 1; ++i) {
        for (int expected : {1, 2, 3, 4, 5, 6, 12, 19, 20, 22, 23, 24, 30, 32, 33}) {
            void* v = getBERChildAt(node, i, expected);
            if (!v) continue;
            if (expected == 2)
                VSC_Free_BIGINT(static_cast<BIGINT*>(v));
            else if (expected == 1 || expected == 5)
                VSC_Free(v, __FILE__, __LINE__);
            else if (expected == 33)
                free_ASN1_UNIT(static_cast<ASN1_UNIT*>(v));
            else
                free_ASN1_STRING(static_cast<ASN1_STRING*>(v));
        }
        if (auto* child = static_cast<ASN1_UNIT*>(getBERChildAt(node, i, 48))) {
            if (child->tag[0] & 0x20) visited += walk(child, depth + 1);
            free_ASN1_UNIT(child);
        }
    }
    return visited;
}

// Rebuilds a DER node from its children with the appenders: the encoder must
// land on the same bytes openssl wrote.
ASN1_UNIT* rebuild(const ASN1_UNIT* node) {
    ASN1_UNIT* out = new_ASN1_UNIT();
    const int n = getSequenceChildNum(node);
    if (n == 0) {
        zpki::ber::setNode(out, node->tag[0], nullptr, 0, false);
        return out;
    }
    for (int i = 0; i < n; ++i) {
        ASN1_UNIT* child = static_cast<ASN1_UNIT*>(getBERChildAt(node, i, 48));
        if (!child) {  // a primitive child: taken as it is
            ASN1_STRING* s = static_cast<ASN1_STRING*>(getBERChildAt(node, i, 32));
            EXPECT_TRUE(s);
            if (!s) return out;
            ASN1_UNIT* prim = new_ASN1_UNIT();
            zpki::ber::Bytes raw;
            zpki::der::Element e;
            zpki::ber::childElement(node, i, e);
            zpki::ber::setNode(prim, e.identifier, e.contents, e.contentsSize, false);
            free_ASN1_STRING(s);
            EXPECT_EQ(addToDERSequence(out, 33, prim, 0), 0);
            continue;
        }
        ASN1_UNIT* built = (child->tag[0] & 0x20) ? rebuild(child) : dup_ASN1_UNIT(child);
        free_ASN1_UNIT(child);
        EXPECT_EQ(addToDERSequence(out, 33, built, 0), 0);
    }
    out->tag[0] = node->tag[0];
    return out;
}

class OpensslObjects : public ::testing::TestWithParam<const char*> {};

TEST_P(OpensslObjects, DecodeAndReencodeByteIdentical) {
    ASSERT_FALSE(fixtures().empty());
    const Bytes der = readBytes(fixtures() + "/" + GetParam());
    ASSERT_FALSE(der.empty());
    Node node(decodeToBERSequence(der.data(), static_cast<int>(der.size())));
    ASSERT_TRUE(node);
    EXPECT_EQ(toHex(bytesOf(node.get())), toHex(der));
    EXPECT_GE(walk(node.get()), 2);
    Node copy(dup_ASN1_UNIT(node.get()));
    EXPECT_EQ(bytesOf(copy.get()), der);
    if (std::string(GetParam()).find(".ber") == std::string::npos) {
        Node built(rebuild(node.get()));
        EXPECT_EQ(toHex(bytesOf(built.get())), toHex(der));
    }
}

INSTANTIATE_TEST_SUITE_P(Files, OpensslObjects,
                         ::testing::Values("ca.der", "ec.der", "crl.der", "key.p8.der", "cms-stream.ber"),
                         [](const auto& info) {
                             std::string s = info.param;
                             for (auto& c : s)
                                 if (c == '.' || c == '-') c = '_';
                             return s;
                         });

TEST(BerIndefinite, StreamedCmsKeepsItsForm) {
    const Bytes ber = readBytes(fixtures() + "/cms-stream.ber");
    Node node(decodeToBERSequence(ber.data(), static_cast<int>(ber.size())));
    ASSERT_TRUE(node);
    EXPECT_EQ(node->length[0], 0x80);
    ASSERT_NE(node->eoc, nullptr);
    EXPECT_EQ(node->eoc[0], 0);
    EXPECT_EQ(getASN1ValueLength(node.get()) + 4, static_cast<int>(ber.size()));
    EXPECT_EQ(getSequenceChildNum(node.get()), 2);  // contentType, [0] content
    String oid(static_cast<ASN1_STRING*>(getBERChildAt(node.get(), 0, 6)));
    ASSERT_TRUE(oid);
    EXPECT_STREQ((char*)oid->data, "1.2.840.113549.1.7.2");
    EXPECT_EQ(getASN1IndefiniteValueLength(ber.data() + 2, static_cast<int>(ber.size()) - 2) + 4,
              static_cast<int>(ber.size()));
    EXPECT_EQ(getASN1ValueLengthFromLO(ber.data() + 1, static_cast<int>(ber.size()) - 1) + 4,
              static_cast<int>(ber.size()));
}

TEST(BerMalformed, TruncatedAtEveryByte) {
    for (const char* name : {"ca.der", "cms-stream.ber"}) {
        const Bytes der = readBytes(fixtures() + "/" + name);
        for (size_t cut = 0; cut < der.size(); ++cut) {
            // A copy of exactly cut bytes, so the sanitizers see any read past it.
            Bytes part(der.begin(), der.begin() + static_cast<long>(cut));
            ASN1_UNIT* n = decodeToBERSequence(part.empty() ? nullptr : part.data(), static_cast<int>(cut));
            ASSERT_EQ(n, nullptr) << name << " cut at " << cut;
            EXPECT_EQ(getASN1IndefiniteValueLength(part.data(), static_cast<int>(cut)), -1);
        }
    }
}

TEST(BerMalformed, LengthsDepthAndIdentifiers) {
    std::string deep;  // indefinite SEQUENCEs nested past the limit
    for (int i = 0; i < ASN1_MAX_DEPTH + 5; ++i) deep += "3080";
    for (int i = 0; i < ASN1_MAX_DEPTH + 5; ++i) deep += "0000";
    std::string shallow;  // the same within the limit decodes
    for (int i = 0; i < 10; ++i) shallow += "3080";
    for (int i = 0; i < 10; ++i) shallow += "0000";
    struct Case {
        std::string hex;
        bool decodes;
    } cases[] = {
        {"0403616263", true},
        {"04056162", false},          // length beyond the input
        {"0485000000000161", false},  // five length octets
        {"04ff", false},              // reserved length octet
        {"048480000000", false},      // length beyond INT_MAX
        {"048400000001"
         "61",
         true},                 // four length octets are fine
        {"1f0a0161", false},    // multi-octet tag number
        {"0480616200", false},  // indefinite primitive
        {"30800401610000", true},
        {"308004016100", false},  // no end-of-contents pair
        {"3080000100", false},    // end-of-contents with a length
        {deep, false},
        {shallow, true},
        {"3006"
         "3004"
         "30023000",
         true},  // definite nesting needs no recursion
    };
    for (const auto& c : cases) {
        const Bytes b = fromHex(c.hex);
        Node n(decodeToBERSequence(b.data(), static_cast<int>(b.size())));
        EXPECT_EQ(static_cast<bool>(n), c.decodes) << c.hex;
        if (n) walk(n.get());
    }
    EXPECT_EQ(decodeToBERSequence(nullptr, 10), nullptr);
    const Bytes one = fromHex("0400");
    EXPECT_EQ(decodeToBERSequence(one.data(), 0), nullptr);
    // A child list that stops being readable: the readable children stay
    // reachable, the count says the list is unreadable.
    const Bytes broken = fromHex(
        "3006"
        "020101"
        "0205ff");
    Node n(decodeToBERSequence(broken.data(), static_cast<int>(broken.size())));
    ASSERT_TRUE(n);
    EXPECT_EQ(getSequenceChildNum(n.get()), 0);
    BIGINT* first = static_cast<BIGINT*>(getBERChildAt(n.get(), 0, 2));
    EXPECT_TRUE(first);
    VSC_Free_BIGINT(first);
    EXPECT_EQ(getBERChildAt(n.get(), 1, 2), nullptr);
}

TEST(BerMalformed, MutatedObjectsGiveErrorsOnly) {
    std::mt19937 rng(7);
    for (const char* name : {"ca.der", "crl.der", "cms-stream.ber"}) {
        const Bytes der = readBytes(fixtures() + "/" + name);
        for (int round = 0; round < 300; ++round) {
            Bytes m = der;
            const int flips = 1 + static_cast<int>(rng() % 4);
            for (int f = 0; f < flips; ++f) m[rng() % m.size()] = static_cast<unsigned char>(rng());
            Node n(decodeToBERSequence(m.data(), static_cast<int>(m.size())));
            if (n) walk(n.get());
        }
    }
}

}  // namespace
