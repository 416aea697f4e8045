// A structure described once: its whole C family, against openssl's encoder.
#include <gtest/gtest.h>

#include "PkiTestUtil.h"
#include "asn1/asn1_struct.hpp"

using namespace pkitest;

// The records, as a header of the library would declare them.
typedef struct {
    OBJECT_IDENTIFIER* algorithm;
    ASN1_UNIT* parameters;  // ANY OPTIONAL
} DEMO_ALGO;

typedef struct {
    int type;  // 0 UTCTime, 1 GeneralizedTime
    ASN1_STRING* value;
} DEMO_TIME;

typedef struct {
    int version;  // [0] EXPLICIT INTEGER DEFAULT 0
    BIGINT* serial;
    DEMO_ALGO* algorithm;
    DEMO_TIME* when;
    STACK* names;        // SET OF UTF8String
    int critical;        // BOOLEAN DEFAULT FALSE, -1 when TRUE
    OCTET_STRING* note;  // [1] IMPLICIT OCTET STRING OPTIONAL
} DEMO_RECORD;

namespace zpki::asn1 {
template <>
struct Describe<DEMO_ALGO> {
    using Shape = Sequence<Field<&DEMO_ALGO::algorithm, Oid>, Field<&DEMO_ALGO::parameters, Optional<AnyNode>>>;
};
template <>
struct Describe<DEMO_TIME> {
    using Shape = Choice<&DEMO_TIME::type, Alt<0, Field<&DEMO_TIME::value, UtcTime>>,
                         Alt<1, Field<&DEMO_TIME::value, GeneralizedTime>>>;
};
template <>
struct Describe<DEMO_RECORD> {
    using Shape =
        Sequence<Field<&DEMO_RECORD::version, Default<Explicit<0, SmallInt<>>, 0>>,
                 Field<&DEMO_RECORD::serial, Integer, ERR_TBS_CERT_SERIAL>,
                 Field<&DEMO_RECORD::algorithm, Sub<DEMO_ALGO>>, Field<&DEMO_RECORD::when, Sub<DEMO_TIME>>,
                 Field<&DEMO_RECORD::names, SetOf<Utf8String>>, Field<&DEMO_RECORD::critical, Default<Boolean<-1>, 0>>,
                 Field<&DEMO_RECORD::note, Optional<Implicit<1, OctetString>>>>;
};
}  // namespace zpki::asn1

#define F_DEMO_TO_SEQ PKI_FUNC(0x7e)
#define F_SEQ_TO_DEMO PKI_FUNC(0x7f)
ZPKI_STRUCT_FAMILY(DEMO_ALGO, L_X509, PKI_FUNC(0x7c), PKI_FUNC(0x7d))
ZPKI_STRUCT_FAMILY(DEMO_TIME, L_X509, PKI_FUNC(0x7a), PKI_FUNC(0x7b))
ZPKI_STRUCT_FAMILY(DEMO_RECORD, L_X509, F_DEMO_TO_SEQ, F_SEQ_TO_DEMO)

// Open values (SEQUENCE OF ANY) held as strings.
typedef struct {
    STACK* values;
} DEMO_ANY;
template <>
struct zpki::asn1::Describe<DEMO_ANY> {
    using Shape = Sequence<Field<&DEMO_ANY::values, SequenceOf<AnyString>>>;
};
ZPKI_STRUCT_FAMILY(DEMO_ANY, L_X509, PKI_FUNC(0x78), PKI_FUNC(0x79))

namespace {

const char* kFull =
    "asn1=SEQUENCE:rec\n[rec]\nv=EXPLICIT:0,INTEGER:2\nserial=INTEGER:0x00FF8000\nalg=SEQUENCE:alg\n"
    "when=GENERALIZEDTIME:20500101000000Z\nnames=SET:names\ncrit=BOOLEAN:TRUE\nnote=IMPLICIT:1,OCTETSTRING:hi\n"
    "[alg]\noid=OID:1.2.840.113549.1.1.11\np=NULL\n[names]\na=UTF8String:first\nb=UTF8String:second\n";
const char* kMinimal =
    "asn1=SEQUENCE:rec\n[rec]\nserial=INTEGER:-5\nalg=SEQUENCE:alg\nwhen=UTCTIME:491231235959Z\n"
    "names=SET:names\n[alg]\noid=OID:2.5.29.15\n[names]\n";

ASN1_STRING* text(int type, const char* t) {
    ASN1_STRING* s = new_ASN1_STRING();
    set_ASN1_STRING_value(s, type, (const unsigned char*)t, (int)strlen(t));
    return s;
}

DEMO_RECORD* buildFull() {
    DEMO_RECORD* r = new_DEMO_RECORD();
    r->version = 2;
    r->serial = VSC_HEX_To_BIGINT("FF8000");
    r->algorithm = new_DEMO_ALGO();
    r->algorithm->algorithm = new_OBJECT_IDENTIFIER("1.2.840.113549.1.1.11", 21);
    r->algorithm->parameters = new_ASN1_UNIT();
    encodeToDER(r->algorithm->parameters, ASN1_TAG_NULL, nullptr, 0);
    r->when = new_DEMO_TIME();
    r->when->type = 1;
    r->when->value = text(24, "20500101000000Z");
    push_STACK_value(r->names, text(12, "first"));
    push_STACK_value(r->names, text(12, "second"));
    r->critical = -1;
    r->note = new_OCTET_STRING((const unsigned char*)"hi", 2);
    return r;
}

Bytes encode(const DEMO_RECORD* r) {
    ASN1_UNIT* node = nullptr;
    if (DEMO_RECORD_to_Seq(r, &node) != 0) return {};
    Bytes b = bytesOf(node);
    free_ASN1_UNIT(node);
    return b;
}

DEMO_RECORD* decode(const Bytes& b, PKI_ERROR* rc = nullptr) {
    Node node(decodeToDERSequence(b.data(), static_cast<int>(b.size())));
    DEMO_RECORD* r = nullptr;
    const PKI_ERROR code = Seq_to_DEMO_RECORD(node.get(), &r);
    if (rc) *rc = code;
    return r;
}

TEST(StructPattern, EncodesLikeOpenssl) {
    const Bytes full = genconf(kFull);
    ASSERT_FALSE(full.empty());
    DEMO_RECORD* r = buildFull();
    EXPECT_EQ(toHex(encode(r)), toHex(full));
    free_DEMO_RECORD(r);
}

TEST(StructPattern, DecodesAndReencodesBothShapes) {
    for (const char* conf : {kFull, kMinimal}) {
        const Bytes der = genconf(conf);
        ASSERT_FALSE(der.empty());
        PKI_ERROR rc;
        DEMO_RECORD* r = decode(der, &rc);
        ASSERT_EQ(rc, 0) << conf;
        ASSERT_TRUE(r);
        EXPECT_EQ(toHex(encode(r)), toHex(der));
        DEMO_RECORD* copy = dup_DEMO_RECORD(r);
        ASSERT_TRUE(copy);
        EXPECT_EQ(cmp_DEMO_RECORD(r, copy), 0);
        EXPECT_EQ(encode(copy), der);
        free_DEMO_RECORD(copy);
        free_DEMO_RECORD(r);
    }
    DEMO_RECORD* full = decode(genconf(kFull));
    DEMO_RECORD* minimal = decode(genconf(kMinimal));
    ASSERT_TRUE(full && minimal);
    EXPECT_EQ(full->version, 2);
    EXPECT_EQ(full->critical, -1);
    EXPECT_EQ(full->when->type, 1);
    EXPECT_EQ(get_STACK_count(full->names), 2);
    EXPECT_STREQ((char*)static_cast<ASN1_STRING*>(get_STACK_value(full->names, 1))->data, "second");
    EXPECT_STREQ((char*)full->note->data, "hi");
    EXPECT_EQ(minimal->version, 0);
    EXPECT_EQ(minimal->critical, 0);
    EXPECT_EQ(minimal->note, nullptr);
    EXPECT_EQ(minimal->algorithm->parameters, nullptr);
    EXPECT_EQ(minimal->when->type, 0);
    EXPECT_EQ(get_STACK_count(minimal->names), 0);
    EXPECT_NE(cmp_DEMO_RECORD(full, minimal), 0);
    free_DEMO_RECORD(full);
    free_DEMO_RECORD(minimal);
}

// Values held as strings go back out as they came in: an INTEGER's contents
// are two's complement, not a magnitude to re-encode (-1 stayed no -1).
TEST(StructPattern, OpenValuesComeBackAsRead) {
    const Bytes der = genconf(
        "asn1=SEQUENCE:rec\n[rec]\nl=SEQUENCE:v\n[v]\na=INTEGER:-1\nb=INTEGER:128\nc=INTEGER:-129\nd=INTEGER:0\ne="
        "BOOLEAN:TRUE\n"
        "f=BMPSTRING:ab\ng=UTCTIME:491231235959Z\nh=OID:2.5.4.3\ni=NULL\nj=SEQUENCE:inner\n"
        "k=IMPLICIT:2,INTEGER:-1\n[inner]\nx=INTEGER:-300\n");
    ASSERT_FALSE(der.empty());
    Node node(decodeToDERSequence(der.data(), static_cast<int>(der.size())));
    DEMO_ANY* r = nullptr;
    ASSERT_EQ(Seq_to_DEMO_ANY(node.get(), &r), 0);
    ASN1_UNIT* out = nullptr;
    ASSERT_EQ(DEMO_ANY_to_Seq(r, &out), 0);
    EXPECT_EQ(toHex(bytesOf(out)), toHex(der));
    free_ASN1_UNIT(out);
    free_DEMO_ANY(r);
}

TEST(StructPattern, ErrorsCarryTheFunctionBytes) {
    DEMO_RECORD* r = buildFull();
    VSC_Free_BIGINT(r->serial);
    r->serial = nullptr;
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(DEMO_RECORD_to_Seq(r, &node), static_cast<PKI_ERROR>(L_X509 | F_DEMO_TO_SEQ | ERR_TBS_CERT_SERIAL));
    EXPECT_EQ(node, nullptr);
    EXPECT_EQ(DEMO_RECORD_to_Seq(nullptr, &node), static_cast<PKI_ERROR>(0x467e0049));
    r->when->type = 7;  // no such alternative
    r->serial = VSC_HEX_To_BIGINT("01");
    EXPECT_NE(DEMO_RECORD_to_Seq(r, &node), 0);
    r->when->type = 1;  // the selector says which member to free
    free_DEMO_RECORD(r);

    const Bytes good = genconf(kFull);
    // A record the caller passes stays as it was when decoding fails.
    DEMO_RECORD* mine = buildFull();
    const Bytes before = encode(mine);
    const std::string bad[] = {
        "3003020101",  // the algorithm missing
        "300c"
        "0101ff"
        "020101"
        "3003060100",  // a BOOLEAN where the serial belongs
    };
    for (const auto& hex : bad) {
        Bytes b = fromHex(hex);
        Node n(decodeToDERSequence(b.data(), static_cast<int>(b.size())));
        if (!n) continue;
        EXPECT_EQ(Seq_to_DEMO_RECORD(n.get(), &mine), static_cast<PKI_ERROR>(0x467f0104)) << hex;
        EXPECT_EQ(encode(mine), before);
    }
    // A trailing element the description does not have.
    Bytes extra = good;
    extra.push_back(0x05);
    extra.push_back(0x00);
    extra[1] = static_cast<unsigned char>(extra[1] + 2);
    Node n(decodeToDERSequence(extra.data(), static_cast<int>(extra.size())));
    ASSERT_TRUE(n);
    EXPECT_EQ(Seq_to_DEMO_RECORD(n.get(), &mine), static_cast<PKI_ERROR>(0x467f0104));
    // Success replaces the caller's record in place.
    Node ok(decodeToDERSequence(good.data(), static_cast<int>(good.size())));
    DEMO_RECORD* same = mine;
    ASSERT_EQ(Seq_to_DEMO_RECORD(ok.get(), &mine), 0);
    EXPECT_EQ(mine, same);
    EXPECT_EQ(encode(mine), good);
    clean_DEMO_RECORD(mine);
    EXPECT_EQ(mine->serial, nullptr);
    free_DEMO_RECORD(mine);
    free_DEMO_RECORD(nullptr);
}

TEST(StructPattern, MutatedInputGivesErrorsOnly) {
    const Bytes good = genconf(kFull);
    for (size_t i = 0; i < good.size(); ++i) {
        for (unsigned char v : {0x00, 0x01, 0x30, 0x80, 0xa0, 0xff}) {
            Bytes m = good;
            m[i] = v;
            Node n(decodeToDERSequence(m.data(), static_cast<int>(m.size())));
            if (!n) continue;
            DEMO_RECORD* r = nullptr;
            if (Seq_to_DEMO_RECORD(n.get(), &r) == 0) {
                DEMO_RECORD* copy = dup_DEMO_RECORD(r);
                encode(copy);
                free_DEMO_RECORD(copy);
                free_DEMO_RECORD(r);
            } else {
                EXPECT_EQ(r, nullptr);
            }
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// A record that keeps the DER it was read from, with an AlgorithmIdentifier
// nested in its own members and trailing fields in any order.
typedef struct {
    BIGINT* serial;
    OBJECT_IDENTIFIER* alg;  // AlgorithmIdentifier.algorithm
    ASN1_UNIT* params;       // AlgorithmIdentifier.parameters OPTIONAL
    OCTET_STRING* first;     // [0] IMPLICIT, in any order with second and flag
    OCTET_STRING* second;    // [1] IMPLICIT, optional
    int flag;                // BOOLEAN DEFAULT FALSE
    struct x509_received_st* received;
} DEMO_SIGNED;

template <>
struct zpki::asn1::Describe<DEMO_SIGNED> {
    using T = DEMO_SIGNED;
    using Shape = Sequence<
        Field<&T::serial, Integer>, Nested<Sequence<Field<&T::alg, Oid>, Field<&T::params, Optional<AnyNode>>>>,
        AnyOrder<Field<&T::first, Implicit<0, OctetString>>, Field<&T::second, Optional<Implicit<1, OctetString>>>,
                 Field<&T::flag, Default<Boolean<1>, 0>>>>;
    static constexpr auto kReceived = &T::received;
};
ZPKI_STRUCT_FAMILY(DEMO_SIGNED, L_X509, PKI_FUNC(0x76), PKI_FUNC(0x77))

namespace {

DEMO_SIGNED* decodeSigned(const Bytes& b) {
    Node node(decodeToDERSequence(b.data(), static_cast<int>(b.size())));
    DEMO_SIGNED* r = nullptr;
    return node && Seq_to_DEMO_SIGNED(node.get(), &r) == 0 ? r : nullptr;
}

Bytes encodeSigned(const DEMO_SIGNED* r) {
    ASN1_UNIT* node = nullptr;
    if (DEMO_SIGNED_to_Seq(r, &node) != 0) return {};
    Bytes b = bytesOf(node);
    free_ASN1_UNIT(node);
    return b;
}

}  // namespace

TEST(StructPattern, FieldsInAnyOrderEachAtMostOnce) {
    const std::string head =
        "asn1=SEQUENCE:rec\n[alg]\noid=OID:1.2.840.10045.4.3.2\n[rec]\nserial=INTEGER:7\nalg=SEQUENCE:alg\n";
    const Bytes inOrder =
        genconf(head + "a=IMPLICIT:0,OCTETSTRING:one\nb=IMPLICIT:1,OCTETSTRING:two\nc=BOOLEAN:TRUE\n");
    const Bytes shuffled =
        genconf(head + "c=BOOLEAN:TRUE\nb=IMPLICIT:1,OCTETSTRING:two\na=IMPLICIT:0,OCTETSTRING:one\n");
    DEMO_SIGNED* a = decodeSigned(inOrder);
    DEMO_SIGNED* b = decodeSigned(shuffled);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(cmp_DEMO_SIGNED(a, b), 0);
    EXPECT_EQ(b->flag, 1);
    EXPECT_EQ(b->params, nullptr);
    // Each keeps what it read; a fresh encoding writes the declared order.
    EXPECT_EQ(encodeSigned(b), shuffled);
    DEMO_SIGNED* fresh = dup_DEMO_SIGNED(b);
    free_ASN1_STRING(fresh->second);
    fresh->second = new_OCTET_STRING((const unsigned char*)"two", 3);  // the same value, a new member
    EXPECT_EQ(encodeSigned(fresh), inOrder);
    free_DEMO_SIGNED(fresh);
    free_DEMO_SIGNED(a);
    free_DEMO_SIGNED(b);

    // A required field missing, one twice, one unknown: no record.
    for (const char* tail :
         {"b=IMPLICIT:1,OCTETSTRING:two\n", "a=IMPLICIT:0,OCTETSTRING:one\nb=IMPLICIT:0,OCTETSTRING:one\n",
          "a=IMPLICIT:0,OCTETSTRING:one\nb=IMPLICIT:5,OCTETSTRING:x\n"})
        EXPECT_EQ(decodeSigned(genconf(head + tail)), nullptr) << tail;
}

TEST(StructPattern, KeptDerStandsWhileTheMembersAreWhatWasRead) {
    // A non-minimal INTEGER and a BOOLEAN TRUE written 0x01: our encoder would
    // write both differently.
    const Bytes odd = fromHex(
        "3019"
        "020300"
        "0007"
        "300a06082a8648ce3d040302"
        "8003"
        "6f6e65"
        "0101"
        "01");
    const Bytes ours = fromHex(
        "3018"
        "0201"
        "07"
        "300a06082a8648ce3d040302"
        "8003"
        "6f6e65"
        "0101"
        "ff");
    DEMO_SIGNED* r = decodeSigned(odd);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(encodeSigned(r), odd);
    DEMO_SIGNED* copy = dup_DEMO_SIGNED(r);
    EXPECT_EQ(encodeSigned(copy), odd);  // the copy shares the bytes
    // A member changed in place, through its own setter, same length.
    ASSERT_EQ(set_ASN1_STRING_value(r->first, ASN1_TAG_OCTET_STRING, (const unsigned char*)"ONE", 3), 0);
    EXPECT_EQ(toHex(encodeSigned(r)), toHex(fromHex("3017"
                                                    "0201"
                                                    "07"
                                                    "300a06082a8648ce3d040302"
                                                    "8003"
                                                    "4f4e45"
                                                    "0101"
                                                    "ff")));
    ASSERT_EQ(set_ASN1_STRING_value(r->first, ASN1_TAG_OCTET_STRING, (const unsigned char*)"one", 3), 0);
    EXPECT_EQ(encodeSigned(r), odd);  // what was read again: the bytes stand again
    copy->flag = 0;
    EXPECT_NE(encodeSigned(copy), odd);
    EXPECT_EQ(encodeSigned(copy).size(), ours.size() - 3);
    free_DEMO_SIGNED(copy);
    free_DEMO_SIGNED(r);
}
