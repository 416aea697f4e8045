// PKCS#7 records and codecs: openssl's messages of every content type read
// and written back byte for byte, the layouts of the particular rules, and
// typing and versioning a message.
#include "P7Helpers.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace p7test;
using pkitest::fromHex;
using pkitest::toHex;

struct Fixture {
    const char* file;
    int type;
};

TEST(Pkcs7Codec, OpensslMessagesOfEveryTypeAreWrittenBackByteForByte) {
    const Fixture cases[] = {
        {"signed-attached.der", P7_SIGNED_DATA_TYPE},   {"signed-detached.der", P7_SIGNED_DATA_TYPE},
        {"signed-two.der", P7_SIGNED_DATA_TYPE},        {"signed-noattr.der", P7_SIGNED_DATA_TYPE},
        {"certs-only.der", P7_SIGNED_DATA_TYPE},        {"enveloped-aes256.der", P7_ENVELOPED_DATA_TYPE},
        {"encrypted-data.der", P7_ENCRYPTED_DATA_TYPE}, {"digested.der", P7_DIGESTED_DATA_TYPE},
    };
    for (const Fixture& f : cases) {
        SCOPED_TRACE(f.file);
        const Bytes der = fixture(f.file);
        PKI_ERROR rc;
        Message p7 = decode(der, &rc);
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(rowOf(p7->contentType), f.type);
        EXPECT_EQ(toHex(encode(p7.get())), toHex(der));
        Message copy(dup_P7_CONTENT_INFO(p7.get()));
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(cmp_P7_CONTENT_INFO(copy.get(), p7.get()), 0);
        EXPECT_EQ(toHex(encode(copy.get())), toHex(der));
    }
}

TEST(Pkcs7Codec, SignedDataMembersAreRead) {
    Message p7 = decode(fixture("signed-attached.der"));
    ASSERT_NE(p7, nullptr);
    const P7_SIGNED_DATA* sd = signedData(p7.get());
    const auto* inner = static_cast<const OCTET_STRING*>(sd->contentInfo->content);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(Bytes(inner->data, inner->data + inner->length), fixture("content.bin"));
    EXPECT_EQ(get_STACK_count(sd->certificates), 1);
    EXPECT_EQ(sd->crls, nullptr);
    ASSERT_EQ(get_STACK_count(sd->signerInfos), 1);
    const P7_SIGNER_INFO* si = signerAt(p7.get(), 0);
    EXPECT_EQ(rowOf(si->digestAlgorithm->algorithm), 672);
    Cert signer = cert("signer.der");
    EXPECT_EQ(cmp_P7_ISSUER_AND_SERIAL_NUMBER(signer.get(), si->issuerAndSerialNumber), 0);
    // contentType, signingTime, smimeCapabilities and messageDigest
    EXPECT_EQ(get_X509_ATTRIBUTES_count(si->authenticatedAttributes), 4);
    EXPECT_EQ(si->unauthenticatedAttributes, nullptr);
    EXPECT_EQ(si->encryptedDigest->length, 256);

    // Detached: the inner ContentInfo holds the type alone.
    Message detached = decode(fixture("signed-detached.der"));
    ASSERT_NE(detached, nullptr);
    EXPECT_EQ(signedData(detached.get())->contentInfo->content, nullptr);

    // The certificates-only message: no signer, the CRL kept.
    Message certsOnly = decode(fixture("certs-only.der"));
    ASSERT_NE(certsOnly, nullptr);
    EXPECT_EQ(get_STACK_count(signedData(certsOnly.get())->certificates), 2);
    EXPECT_EQ(get_STACK_count(signedData(certsOnly.get())->crls), 1);
    EXPECT_EQ(get_STACK_count(signedData(certsOnly.get())->signerInfos), 0);
}

TEST(Pkcs7Codec, IndefiniteLengthsAreRead) {
    Message p7 = decode(fixture("signed-stream.der"));
    ASSERT_NE(p7, nullptr);
    const auto* inner = static_cast<const OCTET_STRING*>(signedData(p7.get())->contentInfo->content);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(Bytes(inner->data, inner->data + inner->length), fixture("content.bin"));
    EXPECT_EQ(get_STACK_count(signedData(p7.get())->signerInfos), 1);
    // Written back as DER, which openssl reads as the same message.
    const Bytes der = encode(p7.get());
    auto r = openssl({"cms", "-cmsout", "-inform", "DER", "-outform", "DER"}, textOf(der));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(toHex(bytesOf(r.output)), toHex(der));
}

// The elements of a SignedData as asn1parse -genconf sections.
const char* kSignedDataHead =
    "asn1 = SEQUENCE:ci\n[ci]\ntype = OID:pkcs7-signedData\nc = EXPLICIT:0,SEQUENCE:sd\n"
    "[data]\ntype = OID:pkcs7-data\n[algs]\n";

TEST(Pkcs7Codec, SignedDataLayoutRules) {
    struct Case {
        const char* name;
        const char* body;  // the [sd] section
        PKI_ERROR rc;
    } cases[] = {
        {"no signerInfos", "[sd]\nv = INTEGER:1\na = SET:algs\nc = SEQUENCE:data\n", 0x4b0a002b},
        {"a NULL after contentInfo", "[sd]\nv = INTEGER:1\na = SET:algs\nc = SEQUENCE:data\nn = NULL\ns = SET:algs\n",
         0x4b0a0104},
        {"two certificate lists",
         "[sd]\nv = INTEGER:1\na = SET:algs\nc = SEQUENCE:data\nx = IMPLICIT:0,SET:algs\ny = IMPLICIT:0,SET:algs\n"
         "s = SET:algs\n",
         0x4b0a0104},
        {"[0] without signerInfos", "[sd]\nv = INTEGER:1\na = SET:algs\nc = SEQUENCE:data\nx = IMPLICIT:0,SET:algs\n",
         0x4b0a0104},
        {"empty lists, signerInfos first",
         "[sd]\nv = INTEGER:1\na = SET:algs\nc = SEQUENCE:data\ns = SET:algs\nx = IMPLICIT:0,SET:algs\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes der = pkitest::genconf(std::string(kSignedDataHead) + c.body);
        ASSERT_FALSE(der.empty());
        PKI_ERROR rc;
        Message p7 = decode(der, &rc);
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(p7 == nullptr, c.rc != 0);
    }

    // An empty certificate list is kept as one and written as A0 00, in its
    // place before the signerInfos.
    Message p7 = decode(pkitest::genconf(std::string(kSignedDataHead) + cases[4].body));
    ASSERT_NE(p7, nullptr);
    ASSERT_NE(signedData(p7.get())->certificates, nullptr);
    EXPECT_EQ(get_STACK_count(signedData(p7.get())->certificates), 0);
    EXPECT_EQ(toHex(encode(p7.get())),
              "3025"
              "06092a864886f70d010702"
              "a018"
              "3016"
              "020101"
              "3100"
              "300b06092a864886f70d010701"
              "a000"
              "3100");
}

TEST(Pkcs7Codec, SignerInfoTrailingElementsInAnyOrder) {
    Message p7 = decode(fixture("signed-noattr.der"));
    ASSERT_NE(p7, nullptr);
    const P7_SIGNER_INFO* si = signerAt(p7.get(), 0);
    const Bytes der = x509test::encode(P7_SIGNER_INFO_to_Seq, si);
    ASSERT_FALSE(der.empty());
    // SEQUENCE { version, sid, digestAlgorithm, digestEncryptionAlgorithm, encryptedDigest }:
    // move the encryptedDigest before the digestEncryptionAlgorithm.
    x509test::Node node = x509test::nodeOf(der);
    Bytes parts[5];
    for (int i = 0; i < 5; ++i) parts[i] = pkitest::bytesOf(x509test::childAt(node.get(), {i}).get());
    const Bytes swapped = x509test::seq({parts[0], parts[1], parts[2], parts[4], parts[3]});
    using SignerInfo = std::unique_ptr<P7_SIGNER_INFO, FreeWith<free_P7_SIGNER_INFO>>;
    PKI_ERROR rc;
    SignerInfo back = x509test::decodeWith<SignerInfo>(Seq_to_P7_SIGNER_INFO, swapped, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(cmp_P7_SIGNER_INFO(back.get(), si), 0);
    EXPECT_EQ(toHex(x509test::encode(P7_SIGNER_INFO_to_Seq, static_cast<const P7_SIGNER_INFO*>(back.get()))),
              toHex(der));

    // Without its signature a SignerInfo does not read, with four children
    // not at all.
    x509test::decodeWith<SignerInfo>(Seq_to_P7_SIGNER_INFO, x509test::seq({parts[0], parts[1], parts[2], parts[3]}),
                                     &rc);
    EXPECT_EQ(rc, 0x4b04002b);
}

TEST(Pkcs7Codec, ContentInfoRules) {
    // Data without content is the type alone, and reads back without content.
    Message data(new_P7_CONTENT_INFO());
    ASSERT_EQ(set_PKCS7_Type(data.get(), P7_DATA), 0);
    EXPECT_EQ(toHex(encode(data.get())), "300b06092a864886f70d010701");
    Message back = decode(encode(data.get()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->content, nullptr);

    // A type outside the table: not written; read with content it gives 1.
    Message other(new_P7_CONTENT_INFO());
    other->contentType = new_OBJECT_IDENTIFIER("1.2.840.113549.1.9.16.1.4", 25);
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(P7_CONTENT_INFO_to_Seq(other.get(), &node), 0x4b190048);
    EXPECT_EQ(node, nullptr);
    PKI_ERROR rc;
    decode(pkitest::genconf("asn1 = SEQUENCE:ci\n[ci]\nt = OID:1.2.840.113549.1.9.16.1.4\n"
                            "c = EXPLICIT:0,OCTETSTRING:abc\n"),
           &rc);
    EXPECT_EQ(rc, 1);
    // Data whose content is no OCTET STRING, and three children.
    decode(pkitest::genconf("asn1 = SEQUENCE:ci\n[ci]\nt = OID:pkcs7-data\nc = EXPLICIT:0,INTEGER:1\n"), &rc);
    EXPECT_EQ(rc, 0x4b1a0104);
    decode(pkitest::genconf("asn1 = SEQUENCE:ci\n[ci]\nt = OID:pkcs7-data\nc = EXPLICIT:0,OCTETSTRING:a\nn = NULL\n"),
           &rc);
    EXPECT_EQ(rc, 0x4b1a002b);
}

// A trust list is the content itself; the CMS form (the list inside an
// OCTET STRING) is not this record's.
TEST(Pkcs7Codec, TrustListContent) {
    zqtest::TempDir dir("p7ctl");
    ASSERT_FALSE(pkitest::runFixtureScript("tests/pki/x509/make_ctl_fixtures.sh", dir).empty());
    const Bytes ctl = pkitest::readBytes(dir / "full.der");
    const Bytes oid = fromHex("06092b0601040182370a01");
    const Bytes der = x509test::seq({oid, x509test::tlv(0xa0, ctl)});
    PKI_ERROR rc;
    Message p7 = decode(der, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(rowOf(p7->contentType), P7_CTL_TYPE);
    const auto* list = static_cast<const CERT_TRUST_LIST*>(p7->content);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(toHex(x509test::encode(CERT_TRUST_LIST_to_Seq, list)), toHex(ctl));
    EXPECT_EQ(toHex(encode(p7.get())), toHex(der));
    Message copy(dup_P7_CONTENT_INFO(p7.get()));
    EXPECT_EQ(cmp_P7_CONTENT_INFO(copy.get(), p7.get()), 0);

    // Inside a signedData, and in openssl's CMS form.
    Message inner = decode(x509test::seq(
        {fromHex("06092a864886f70d010702"),
         x509test::tlv(0xa0, x509test::seq({fromHex("020101"), fromHex("3100"), der, fromHex("3100")}))}));
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(rowOf(signedData(inner.get())->contentInfo->contentType), P7_CTL_TYPE);
    // CMS's eContent: the list's DER inside an OCTET STRING.
    Message cms = decode(pkitest::readBytes(dir / "signed.der"), &rc);
    ASSERT_EQ(rc, 0);
    const auto* carried = static_cast<const CERT_TRUST_LIST*>(signedData(cms.get())->contentInfo->content);
    ASSERT_NE(carried, nullptr);
    EXPECT_EQ(toHex(x509test::encode(CERT_TRUST_LIST_to_Seq, carried)), toHex(ctl));
}

TEST(Pkcs7Codec, EnvelopedDataNeedsRecipients) {
    Message p7(new_P7_CONTENT_INFO());
    ASSERT_EQ(set_PKCS7_Type(p7.get(), P7_ENVELOPED_DATA_TYPE), 0);
    auto* ed = static_cast<P7_ENVELOPED_DATA*>(p7->content);
    ed->encryptedContentInfo = new_P7_ENCRYPTED_CONTENT_INFO();
    ed->encryptedContentInfo->contentType = index_to_OBJECT_IDENTIFIER(P7_DATA);
    ed->encryptedContentInfo->contentEncryptionAlgorithm = new_X509_ALGO_IDENTIFIER();
    OBJECT_IDENTIFIER* aes = index_to_OBJECT_IDENTIFIER(index_from_sn("AES-128-CBC", 11));
    ASSERT_EQ(set_X509_ALGO_IDENTIFIER_value(ed->encryptedContentInfo->contentEncryptionAlgorithm, aes, nullptr), 0);
    free_OBJECT_IDENTIFIER(aes);
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(P7_ENVELOPED_DATA_to_Seq(ed, &node), 0x4b110103);
    EXPECT_EQ(node, nullptr);

    // openssl's message with its recipient SET emptied does not read.
    Message env = decode(fixture("enveloped-aes256.der"));
    ASSERT_NE(env, nullptr);
    auto* recipients = static_cast<P7_ENVELOPED_DATA*>(env->content)->recipientInfos;
    ASSERT_EQ(get_STACK_count(recipients), 1);
    EXPECT_EQ(get_PKCS7_ENCRYPTED_CONTENT_length(env.get()), 128);
    free_P7_RECIPIENT_INFO(static_cast<P7_RECIPIENT_INFO*>(remove_STACK_value(recipients, 0)));
    EXPECT_EQ(P7_CONTENT_INFO_to_Seq(env.get(), &node), 0x4b110103);
    const Bytes empty = pkitest::genconf(
        "asn1 = SEQUENCE:ed\n[ed]\nv = INTEGER:0\nr = SET:none\ne = SEQUENCE:eci\n[none]\n"
        "[eci]\nt = OID:pkcs7-data\na = SEQUENCE:alg\n[alg]\na = OID:aes-128-cbc\niv = OCTETSTRING:0123456789abcdef\n");
    using Enveloped = std::unique_ptr<P7_ENVELOPED_DATA, FreeWith<free_P7_ENVELOPED_DATA>>;
    PKI_ERROR rc;
    x509test::decodeWith<Enveloped>(Seq_to_P7_ENVELOPED_DATA, empty, &rc);
    EXPECT_EQ(rc, 0x4b120104);
}

// Identifier and length octets of an element of n content octets.
Bytes headerOf(unsigned char id, size_t n) {
    Bytes h{id};
    if (n < 128) {
        h.push_back(static_cast<unsigned char>(n));
        return h;
    }
    Bytes len;
    for (size_t v = n; v; v >>= 8) len.insert(len.begin(), static_cast<unsigned char>(v));
    h.push_back(static_cast<unsigned char>(0x80 | len.size()));
    h.insert(h.end(), len.begin(), len.end());
    return h;
}

// levels of { type, [0] { version, head, inner ContentInfo, tail } } around a
// data ContentInfo; written outside in (the sizes first) so deep ones are cheap.
Bytes nestedMessage(int levels, const char* type, const char* version, const char* head, const char* tail) {
    const Bytes oid = fromHex(type), v = fromHex(version), h = fromHex(head), t = fromHex(tail);
    const Bytes core = x509test::seq({fromHex("06092a864886f70d010701")});
    std::vector<Bytes> prefixes;
    size_t inner = core.size();
    for (int i = 0; i < levels; ++i) {
        const size_t body = v.size() + h.size() + inner + t.size();
        const Bytes bodyHeader = headerOf(0x30, body);
        const size_t wrapped = bodyHeader.size() + body;
        const Bytes wrapHeader = headerOf(0xa0, wrapped);
        const size_t ci = oid.size() + wrapHeader.size() + wrapped;
        prefixes.push_back(x509test::cat({headerOf(0x30, ci), oid, wrapHeader, bodyHeader, v, h}));
        inner = headerOf(0x30, ci).size() + ci;
    }
    Bytes out;
    for (auto p = prefixes.rbegin(); p != prefixes.rend(); ++p) out.insert(out.end(), p->begin(), p->end());
    out.insert(out.end(), core.begin(), core.end());
    for (int i = 0; i < levels; ++i) out.insert(out.end(), t.begin(), t.end());
    return out;
}

// signedData and digestedData hold a ContentInfo of any type, so a message
// can nest without end; a hostile one must not run the stack out.
TEST(Pkcs7Codec, NestedContentIsBounded) {
    const auto signedData = [](int levels) {
        return nestedMessage(levels, "06092a864886f70d010702", "020101", "3100", "3100");
    };
    const auto digestedData = [](int levels) {
        return nestedMessage(levels, "06092a864886f70d010705", "020100", "300706052b0e03021a", "0400");
    };
    PKI_ERROR rc;
    for (const auto& make : {std::function<Bytes(int)>(signedData), std::function<Bytes(int)>(digestedData)}) {
        Message deepest = decode(make(P7_MAX_CONTENT_NESTING), &rc);
        ASSERT_NE(deepest, nullptr);
        EXPECT_EQ(encode(deepest.get()), make(P7_MAX_CONTENT_NESTING));
        EXPECT_EQ(decode(make(P7_MAX_CONTENT_NESTING + 1), &rc), nullptr);
        EXPECT_NE(rc, 0);
    }
    // A third of a megabyte of nesting: refused, not a stack overflow.
    EXPECT_EQ(decode(signedData(10000), &rc), nullptr);
    EXPECT_NE(rc, 0);
    // The count starts afresh for the next message.
    EXPECT_NE(decode(signedData(2), &rc), nullptr);
}

TEST(Pkcs7Codec, DamagedMessagesGiveAnErrorOrARecordThatCopies) {
    x509test::expectMutationsHarmless<Message>(fixture("signed-nocerts.der"), Seq_to_P7_CONTENT_INFO,
                                               P7_CONTENT_INFO_to_Seq, dup_P7_CONTENT_INFO);
}

TEST(Pkcs7Construction, TypesVersionsAndContent) {
    struct Case {
        int row;
        long version;  // -1: no content record
    } cases[] = {{P7_DATA, -1},
                 {P7_SIGNED_DATA_TYPE, 1},
                 {P7_ENVELOPED_DATA_TYPE, 0},
                 {P7_SIGNED_AND_ENVELOPED_DATA_TYPE, 1},
                 {P7_DIGESTED_DATA_TYPE, 0},
                 {P7_ENCRYPTED_DATA_TYPE, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        Message p7(new_P7_CONTENT_INFO());
        ASSERT_EQ(set_PKCS7_Type(p7.get(), P7_SIGNED_DATA_TYPE), 0);  // replaced below
        ASSERT_EQ(set_PKCS7_Type(p7.get(), c.row), 0);
        EXPECT_EQ(rowOf(p7->contentType), c.row);
        if (c.version < 0) {
            EXPECT_EQ(p7->content, nullptr);
            continue;
        }
        // Every content record starts with its version first.
        const BIGINT* version = *static_cast<BIGINT* const*>(p7->content);
        EXPECT_EQ(VSC_Get_BIGINT_Word(version), static_cast<unsigned long>(c.version));
    }
    Message p7(new_P7_CONTENT_INFO());
    EXPECT_EQ(set_PKCS7_Type(p7.get(), 837), 1);  // trust lists are read, not made here
    EXPECT_EQ(set_PKCS7_Type(p7.get(), 6), 1);
    EXPECT_EQ(set_PKCS7_Type(nullptr, P7_DATA), 1);

    // A signedData with inner data: versions reach every SignerInfo.
    ASSERT_EQ(set_PKCS7_Type(p7.get(), P7_SIGNED_DATA_TYPE), 0);
    ASSERT_EQ(new_PKCS7_Content(p7.get(), P7_DATA), 0);
    EXPECT_EQ(rowOf(signedData(p7.get())->contentInfo->contentType), P7_DATA);
    push_STACK_value(signedData(p7.get())->signerInfos, new_P7_SIGNER_INFO());
    push_STACK_value(signedData(p7.get())->signerInfos, new_P7_SIGNER_INFO());
    ASSERT_EQ(set_P7_version(p7.get(), 3), 0);
    EXPECT_EQ(VSC_Get_BIGINT_Word(signedData(p7.get())->version), 3u);
    EXPECT_EQ(VSC_Get_BIGINT_Word(signerAt(p7.get(), 1)->version), 3u);
    EXPECT_EQ(set_PKCS7_Content(p7.get(), nullptr), 1);
    // A message is not its own content, nor the content of one of its
    // contents (freeing it recursed without end).
    Message outer(new_P7_CONTENT_INFO());
    ASSERT_EQ(set_PKCS7_Type(outer.get(), P7_SIGNED_DATA_TYPE), 0);
    EXPECT_EQ(set_PKCS7_Content(outer.get(), outer.get()), 1);
    Message wrapper(new_P7_CONTENT_INFO());
    ASSERT_EQ(set_PKCS7_Type(wrapper.get(), P7_DIGESTED_DATA_TYPE), 0);
    P7_CONTENT_INFO* held = outer.release();
    ASSERT_EQ(set_PKCS7_Content(wrapper.get(), held), 0);
    EXPECT_EQ(set_PKCS7_Content(held, wrapper.get()), 1);
    // A content from further down is lifted up, not freed with the level
    // it leaves.
    ASSERT_EQ(new_PKCS7_Content(held, P7_DATA), 0);
    P7_CONTENT_INFO* data = signedData(held)->contentInfo;
    ASSERT_EQ(set_PKCS7_Content(wrapper.get(), data), 0);
    EXPECT_EQ(static_cast<P7_DIGESTED_DATA*>(wrapper->content)->contentInfo, data);
    EXPECT_EQ(rowOf(data->contentType), P7_DATA);
    EXPECT_EQ(get_PKCS7_ENCRYPTED_CONTENT_length(p7.get()), -1);

    // Data from bytes, into a new message or one that had another type.
    P7_CONTENT_INFO* made = nullptr;
    EXPECT_EQ(gen_PKCS7_DATA_from_Binary(&made, pkitest::bytes("abc"), 0), 0x4b1d0049);
    ASSERT_EQ(gen_PKCS7_DATA_from_Binary(&made, pkitest::bytes("abc"), 3), 0);
    Message owned(made);
    EXPECT_EQ(toHex(encode(owned.get())), "301206092a864886f70d010701a0050403616263");
    P7_CONTENT_INFO* reused = p7.get();
    ASSERT_EQ(gen_PKCS7_DATA_from_Binary(&reused, pkitest::bytes("abc"), 3), 0);
    EXPECT_EQ(reused, p7.get());
    EXPECT_EQ(toHex(encode(p7.get())), "301206092a864886f70d010701a0050403616263");
}

}  // namespace
