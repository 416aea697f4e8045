// Security-token driver lists: lists written by openssl asn1parse -genconf and
// signed by openssl dgst -sign (make_kisa_fixtures.sh) decode to their texts
// and verify; altered lists, other certificates and malformed lists fail.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "../x509/KeyTestUtil.h"
#include "../x509/X509TestUtil.h"
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/pkcs/kisa.h>

namespace {

using pkitest::Bytes;
using x509test::FreeWith;
using List = std::unique_ptr<KISA_HSM_SIGNATURE_VALUE, FreeWith<free_KISA_HSM_SIGNATURE_VALUE>>;
using Cert = std::unique_ptr<X509_CERT, FreeWith<free_X509_CERT>>;

const std::string& fixtures() {
    static zqtest::TempDir dir("kisafix");
    static const std::string path = pkitest::runFixtureScript("tests/pki/pkcs/make_kisa_fixtures.sh", dir);
    return path;
}
Bytes fixture(const std::string& name) {
    EXPECT_FALSE(fixtures().empty()) << "fixture script failed";
    return pkitest::readBytes(fixtures() + "/" + name);
}

// The decoder as readDER_from_Binary calls it.
PKI_ERROR decodeList(ASN1_UNIT* node, void** out) {
    return Seq_to_KISA_HSM_SIGNATURE_VALUE(node, reinterpret_cast<KISA_HSM_SIGNATURE_VALUE**>(out));
}

// The list as a caller reads it: readDER_from_Binary with the decoder.
List decode(const Bytes& der, PKI_ERROR* rc = nullptr) {
    void* made = nullptr;
    const PKI_ERROR code = readDER_from_Binary(&made, decodeList, der.data(), static_cast<int>(der.size()));
    if (rc) *rc = code;
    return List(static_cast<KISA_HSM_SIGNATURE_VALUE*>(made));
}

Cert cert(const std::string& name) { return x509test::decodeWith<Cert>(Seq_to_X509_CERT, fixture(name), nullptr); }

PKI_ERROR verify(KISA_HSM_SIGNATURE_VALUE* list, const Cert& signer) {
    X509_CERT* c = signer.get();
    return verify_KISA_HSM_SIGNATURE_VALUE(list, &c);
}

std::string text(const ASN1_STRING* s) {
    return s ? std::string(reinterpret_cast<const char*>(s->data), static_cast<size_t>(s->length)) : "(null)";
}

template <class T>
T* at(const STACK* list, int i) {
    return static_cast<T*>(get_STACK_value(list, i));
}

// "kind:text" of a general name held as a string, "dir" for a directory name.
std::string nameOf(const GENERAL_NAME* gn) {
    if (!gn) return "(null)";
    if (gn->type == GENERAL_NAME_DIRECTORY) return "dir";
    return std::to_string(gn->type) + ":" + text(static_cast<const ASN1_STRING*>(gn->value));
}

struct Driver {
    std::string text1, text2, name1;
    int value;
    std::string name2, text3;
};

void expectDriver(const KISA_HSM_DRIVER_INFO* d, const Driver& want) {
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(text(d->text1), want.text1);
    EXPECT_EQ(text(d->text2), want.text2);
    EXPECT_EQ(nameOf(d->name1), want.name1);
    EXPECT_EQ(d->value, want.value);
    EXPECT_EQ(nameOf(d->name2), want.name2);
    EXPECT_EQ(text(d->text3), want.text3);
}

TEST(KisaDriverList, DistributionListHasTheFixtureTexts) {
    // Texts written as PrintableString and as OCTET STRING read alike.
    for (const char* name : {"kind1-sha1.der", "octet-sha256.der"}) {
        SCOPED_TRACE(name);
        PKI_ERROR rc = -1;
        List list = decode(fixture(name), &rc);
        ASSERT_EQ(rc, 0);
        ASSERT_EQ(list->kind, KISA_HSM_KIND_DISTRIBUTION);
        ASSERT_EQ(get_STACK_count(list->list), 2);
        const auto* e1 = at<KISA_HSM_TOKEN_DISTRIBUTION_URL>(list->list, 0);
        const auto* e2 = at<KISA_HSM_TOKEN_DISTRIBUTION_URL>(list->list, 1);
        EXPECT_EQ(text(e1->url), "https://drivers.example/kisa/list1");
        EXPECT_EQ(text(e2->url), "https://mirror.example/kisa");
        ASSERT_EQ(get_STACK_count(e1->drivers), 2);
        ASSERT_EQ(get_STACK_count(e2->drivers), 1);
        expectDriver(at<KISA_HSM_DRIVER_INFO>(e1->drivers, 0),
                     {"Veridan Token", "VT-2000", "6:https://drivers.example/vt2000/setup.exe", 2, "2:drivers.example",
                      "x86 Linux"});
        expectDriver(at<KISA_HSM_DRIVER_INFO>(e1->drivers, 1),
                     {"Other Token", "OT-1", "6:https://drivers.example/ot1/setup.exe", -1, "dir", "(null)"});
        expectDriver(at<KISA_HSM_DRIVER_INFO>(e2->drivers, 0),
                     {"Mirror Token", "MT-9", "6:https://mirror.example/mt9.exe", 2147483647,
                      "6:https://mirror.example", "amd64 Linux"});
        const int textType =
            std::strcmp(name, "octet-sha256.der") == 0 ? ASN1_TAG_OCTET_STRING : ASN1_TAG_PRINTABLE_STRING;
        EXPECT_EQ(at<KISA_HSM_DRIVER_INFO>(e1->drivers, 0)->text1->type, textType);

        // The signed bytes are the list as received; the signer is the certificate's.
        const Bytes listDer = fixture(std::string(name).replace(std::strlen(name) - 4, 4, ".list.der"));
        ASSERT_EQ(list->signedLength, static_cast<int>(listDer.size()));
        EXPECT_EQ(Bytes(list->signedBytes, list->signedBytes + list->signedLength), listDer);
        EXPECT_EQ(cmp_P7_ISSUER_AND_SERIAL_NUMBER(cert("signer.der").get(), list->signer), 0);
        ASSERT_NE(list->signature, nullptr);
        EXPECT_EQ(list->signature->length, 256);
    }
}

TEST(KisaDriverList, SignatureTokenList) {
    PKI_ERROR rc = -1;
    List list = decode(fixture("kind2-sha256.der"), &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(list->kind, KISA_HSM_KIND_SIGNATURE);
    ASSERT_EQ(get_STACK_count(list->list), 2);
    const auto* t1 = at<KISA_HSM_SIGNATURE_TOKEN>(list->list, 0);
    const auto* t2 = at<KISA_HSM_SIGNATURE_TOKEN>(list->list, 1);
    EXPECT_EQ(text(t1->name), "VT-2000 Signer");
    EXPECT_EQ(index_from_OBJECT_IDENTIFIER(t1->algorithm->algorithm), index_from_sn("RSA-SHA256", 10));
    EXPECT_EQ(pkitest::toHex(t1->value->data, static_cast<size_t>(t1->value->length)),
              "00112233445566778899aabbccddeeff");
    EXPECT_EQ(text(t2->name), "OT-1 Signer");
    EXPECT_EQ(pkitest::toHex(t2->value->data, static_cast<size_t>(t2->value->length)), "cafe");
    EXPECT_EQ(list->signature->type, ASN1_TAG_OCTET_STRING);
}

TEST(KisaDriverList, EmptyListIsKindZeroWithoutSignature) {
    PKI_ERROR rc = -1;
    List list = decode(fixture("empty.der"), &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(list->kind, KISA_HSM_KIND_EMPTY);
    EXPECT_EQ(get_STACK_count(list->list), 0);
    EXPECT_NE(list->signatureAlgorithm->algorithm, nullptr);
    EXPECT_EQ(cmp_P7_ISSUER_AND_SERIAL_NUMBER(cert("signer.der").get(), list->signer), 0);
    EXPECT_EQ(list->signature, nullptr);
    EXPECT_EQ(verify(list.get(), cert("signer.der")), 0x30020011);
}

// Texts end up in callers' 256-byte fields: 255 bytes fit, 256 refuse the list.
TEST(KisaDriverList, TextsOverTheLimitRefuseTheList) {
    PKI_ERROR rc = -1;
    List list = decode(fixture("text255.der"), &rc);
    ASSERT_EQ(rc, 0);
    const auto* e = at<KISA_HSM_TOKEN_DISTRIBUTION_URL>(list->list, 0);
    EXPECT_EQ(at<KISA_HSM_DRIVER_INFO>(e->drivers, 0)->text1->length, KISA_HSM_MAX_TEXT_LEN);
    EXPECT_EQ(decode(fixture("text256.der"), &rc), nullptr);
    EXPECT_EQ(rc, 0x3001002b);
}

TEST(KisaDriverList, SignedListsVerify) {
    const Cert signer = cert("signer.der");
    for (const char* name : {"kind1-sha1.der", "kind1-sha256.der", "octet-sha256.der", "kind2-sha256.der"}) {
        SCOPED_TRACE(name);
        List list = decode(fixture(name));
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(verify(list.get(), signer), 0);
    }
}

// The KCDSA key of a worked example in place of the signer's RSA key.
Cert kcdsaCertificate() {
    Cert c = cert("signer.der");
    const auto v = keytest::kcdsaVector(2);
    keytest::Big p(keytest::hex(v.at("P"))), q(keytest::hex(v.at("Q"))), g(keytest::hex(v.at("G"))),
        x(keytest::hex(v.at("X")));
    KCDSA_UNIT* unit = VSC_New_KCDSA();
    keytest::Key key(keytest::holding(ASYMMETRIC_KEY_KCDSA, unit));
    EXPECT_EQ(VSC_Set_KCDSA_Params(unit, p.get(), q.get(), g.get(), x.get(), nullptr), VSC_OK);
    keytest::PubKey pub(new_X509_PUBKEY());
    EXPECT_EQ(set_X509_PUBKEY_kcdsa(pub.get(), unit), 0);
    EXPECT_EQ(set_X509_pub_key(c.get(), pub.get()), 0);
    return c;
}

TEST(KisaDriverList, VerificationRefusals) {
    const Cert signer = cert("signer.der");
    List list = decode(fixture("kind1-sha256.der"));
    ASSERT_NE(list, nullptr);

    // Another certificate than the one the list names; one that names itself
    // alike over another key; a KCDSA key.
    EXPECT_EQ(verify(list.get(), cert("other.der")), 0x3002012f);
    EXPECT_NE(verify(list.get(), cert("impostor.der")), 0);
    EXPECT_EQ(verify(list.get(), kcdsaCertificate()), 0x30020029);

    // One byte of a text changed: the list still reads, and no longer verifies.
    Bytes der = fixture("kind1-sha256.der");
    const std::string needle = "Veridan Token";
    auto hit = std::search(der.begin(), der.end(), needle.begin(), needle.end());
    ASSERT_NE(hit, der.end());
    *hit ^= 0x01;
    List altered = decode(der);
    ASSERT_NE(altered, nullptr);
    EXPECT_NE(verify(altered.get(), signer), 0);
    // The signature itself changed.
    List flipped = decode(fixture("kind1-sha256.der"));
    flipped->signature->data[10] ^= 0x80;
    EXPECT_NE(verify(flipped.get(), signer), 0);

    // Signature algorithms other than sha1/sha256WithRSAEncryption, and
    // parameters other than NULL.
    for (const char* sn : {"RSA-SHA512", "RSA-MD5", "id-RSASSA-PSS"}) {
        SCOPED_TRACE(sn);
        List other = decode(fixture("kind1-sha256.der"));
        pkitest::String oid(index_to_OBJECT_IDENTIFIER(index_from_sn(sn, static_cast<int>(std::strlen(sn)))));
        ASSERT_NE(oid, nullptr);
        ASSERT_EQ(set_X509_ALGO_IDENTIFIER_value(other->signatureAlgorithm, oid.get(), nullptr), 0);
        EXPECT_EQ(verify(other.get(), signer), 0x30020048);
    }
    List withParams = decode(fixture("kind1-sha256.der"));
    pkitest::String params(new_ASN1_STRING());
    ASSERT_EQ(set_ASN1_STRING_value(params.get(), ASN1_TAG_OCTET_STRING, pkitest::bytes("x"), 1), 0);
    ASSERT_EQ(set_X509_ALGO_IDENTIFIER_value(withParams->signatureAlgorithm, withParams->signatureAlgorithm->algorithm,
                                             params.get()),
              0);
    EXPECT_EQ(verify(withParams.get(), signer), 0x30020048);

    // Arguments and missing members.
    X509_CERT* none = nullptr;
    EXPECT_EQ(verify_KISA_HSM_SIGNATURE_VALUE(nullptr, &none), 0x30020049);
    EXPECT_EQ(verify_KISA_HSM_SIGNATURE_VALUE(list.get(), nullptr), 0x30020049);
    EXPECT_EQ(verify_KISA_HSM_SIGNATURE_VALUE(list.get(), &none), 0x30020049);
    Cert keyless(new_X509_CERT());
    EXPECT_EQ(verify(list.get(), keyless), 0x3002002b);
    List unsigned_ = decode(fixture("kind1-sha256.der"));
    free_ASN1_STRING(unsigned_->signature);
    unsigned_->signature = nullptr;
    EXPECT_EQ(verify(unsigned_.get(), signer), 0x30020011);
    unsigned_->signedLength = 0;
    EXPECT_EQ(verify(unsigned_.get(), signer), 0x30020010);
    EXPECT_EQ(verify(list.get(), signer), 0);
}

// A list that decodes, and the change of one line of it that must not.
const char* kBase =
    "asn1=SEQUENCE:value\n"
    "[value]\nlist=SEQUENCE:list\nalg=SEQUENCE:alg\nsigner=SEQUENCE:signer\nsig=FORMAT:HEX,BITSTRING:0102\n"
    "[list]\ne1=SEQUENCE:entry\n"
    "[entry]\nurl=IA5STRING:https://x.example\ndrivers=SEQUENCE:drivers\n"
    "[drivers]\nd1=SEQUENCE:driver\n"
    "[driver]\nt1=PRINTABLESTRING:a\nt2=PRINTABLESTRING:b\nn1=IMPLICIT:6,IA5STRING:https://x.example/a\n"
    "v=INTEGER:1\nn2=IMPLICIT:6,IA5STRING:https://x.example/b\n"
    "[alg]\no=OID:sha1WithRSAEncryption\n"
    "[signer]\nissuer=SEQUENCE:name\nserial=INTEGER:1\n"
    "[name]\nrdn=SET:rdn\n[rdn]\natv=SEQUENCE:atv\n[atv]\nt=OID:commonName\nv=UTF8String:x\n"
    "[token]\nname=PRINTABLESTRING:t\nalg=SEQUENCE:alg\nvalue=OCTETSTRING:v\n";

std::string changed(const std::string& line, const std::string& replacement, std::string conf = kBase) {
    const size_t at = conf.find(line + "\n");
    EXPECT_NE(at, std::string::npos) << line;
    return at == std::string::npos ? conf : conf.replace(at, line.size(), replacement);
}

TEST(KisaDriverList, MalformedListsAreRefused) {
    struct Case {
        const char* what;
        const char* line;
        const char* replacement;
        PKI_ERROR expected;
    } cases[] = {
        {"the base list", "v=INTEGER:1", "v=INTEGER:1", 0},
        {"members after the sixth are passed over", "n2=IMPLICIT:6,IA5STRING:https://x.example/b",
         "n2=IMPLICIT:6,IA5STRING:https://x.example/b\nt3=PRINTABLESTRING:c\nx=NULL", 0},
        {"three members", "sig=FORMAT:HEX,BITSTRING:0102", "", 0x3001002b},
        {"five members", "sig=FORMAT:HEX,BITSTRING:0102", "sig=FORMAT:HEX,BITSTRING:0102\nx=NULL", 0x3001002b},
        {"list not a SEQUENCE", "list=SEQUENCE:list", "list=SET:list", 0x3001002b},
        {"first entry of four members", "drivers=SEQUENCE:drivers", "drivers=SEQUENCE:drivers\na=NULL\nb=NULL",
         0x3001002b},
        {"entries of two kinds", "e1=SEQUENCE:entry", "e1=SEQUENCE:entry\ne2=SEQUENCE:token", 0x3001002b},
        {"url of another type", "url=IA5STRING:https://x.example", "url=UTF8String:https://x.example", 0x3001002b},
        {"driver of four members", "n2=IMPLICIT:6,IA5STRING:https://x.example/b", "", 0x3001002b},
        {"driver text of another type", "t1=PRINTABLESTRING:a", "t1=UTF8String:a", 0x3001002b},
        {"sixth member not a text", "n2=IMPLICIT:6,IA5STRING:https://x.example/b",
         "n2=IMPLICIT:6,IA5STRING:https://x.example/b\nt3=NULL", 0x3001002b},
        {"general name untagged", "n1=IMPLICIT:6,IA5STRING:https://x.example/a", "n1=IA5STRING:https://x.example/a",
         0x3001002b},
        {"general name tag 9", "n1=IMPLICIT:6,IA5STRING:https://x.example/a", "n1=IMPLICIT:9,IA5STRING:x", 0x3001002b},
        {"integer beyond int", "v=INTEGER:1", "v=INTEGER:0x80000000", 0x3001002b},
        {"algorithm that does not decode", "o=OID:sha1WithRSAEncryption", "o=INTEGER:1", 0x3001002b},
        {"signer that does not decode", "serial=INTEGER:1", "", 0x3001002b},
        {"kind-1 signature as OCTET STRING", "sig=FORMAT:HEX,BITSTRING:0102", "sig=FORMAT:HEX,OCTETSTRING:0102",
         0x3001002b},
        {"signature with unused bits", "sig=FORMAT:HEX,BITSTRING:0102", "sig=FORMAT:BITLIST,BITSTRING:1,3", 0x3001002b},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes der = pkitest::genconf(changed(c.line, c.replacement));
        ASSERT_FALSE(der.empty());
        PKI_ERROR rc = -1;
        List list = decode(der, &rc);
        EXPECT_EQ(rc, c.expected);
        EXPECT_EQ(list == nullptr, c.expected != 0);
    }

    // A signature-token list: its signature is an OCTET STRING, and each
    // token has its value.
    const std::string tokenList = changed("e1=SEQUENCE:entry", "e1=SEQUENCE:token",
                                          changed("sig=FORMAT:HEX,BITSTRING:0102", "sig=FORMAT:HEX,OCTETSTRING:0102"));
    const Bytes tokens = pkitest::genconf(tokenList);
    PKI_ERROR rc = -1;
    List ok = decode(tokens, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(ok ? ok->kind : -1, KISA_HSM_KIND_SIGNATURE);
    decode(pkitest::genconf(changed("sig=FORMAT:HEX,OCTETSTRING:0102", "sig=FORMAT:HEX,BITSTRING:0102", tokenList)),
           &rc);
    EXPECT_EQ(rc, 0x3001002b);
    decode(pkitest::genconf(changed("value=OCTETSTRING:v", "value=NULL", tokenList)), &rc);
    EXPECT_EQ(rc, 0x3001002b);

    // Not a list at all, and null arguments.
    decode(pkitest::genstr("INTEGER:1"), &rc);
    EXPECT_NE(rc, 0);
    KISA_HSM_SIGNATURE_VALUE* out = nullptr;
    EXPECT_EQ(Seq_to_KISA_HSM_SIGNATURE_VALUE(nullptr, &out), 0x30020049);
    pkitest::Node node(decodeToDERSequence(tokens.data(), static_cast<int>(tokens.size())));
    EXPECT_EQ(Seq_to_KISA_HSM_SIGNATURE_VALUE(node.get(), nullptr), 0x30020049);
}

// Records start with their nested records; decoding into a caller's record
// replaces its members only on success.
TEST(KisaDriverList, RecordLifecycle) {
    List value(new_KISA_HSM_SIGNATURE_VALUE());
    ASSERT_NE(value, nullptr);
    EXPECT_NE(value->list, nullptr);
    EXPECT_NE(value->signatureAlgorithm, nullptr);
    EXPECT_NE(value->signer, nullptr);
    std::unique_ptr<KISA_HSM_DRIVER_INFO, FreeWith<free_KISA_HSM_DRIVER_INFO>> driver(new_KISA_HSM_DRIVER_INFO());
    EXPECT_NE(driver->name1, nullptr);
    EXPECT_NE(driver->name2, nullptr);
    std::unique_ptr<KISA_HSM_TOKEN_DISTRIBUTION_URL, FreeWith<free_KISA_HSM_TOKEN_DISTRIBUTION_URL>> entry(
        new_KISA_HSM_TOKEN_DISTRIBUTION_URL());
    EXPECT_NE(entry->drivers, nullptr);
    std::unique_ptr<KISA_HSM_SIGNATURE_TOKEN, FreeWith<free_KISA_HSM_SIGNATURE_TOKEN>> token(
        new_KISA_HSM_SIGNATURE_TOKEN());
    EXPECT_NE(token->algorithm, nullptr);
    free_KISA_HSM_SIGNATURE_VALUE(nullptr);
    free_KISA_HSM_DRIVER_INFO(nullptr);

    const Bytes der = fixture("kind1-sha1.der");
    pkitest::Node node(decodeToDERSequence(der.data(), static_cast<int>(der.size())));
    KISA_HSM_SIGNATURE_VALUE* into = value.get();
    ASSERT_EQ(Seq_to_KISA_HSM_SIGNATURE_VALUE(node.get(), &into), 0);
    EXPECT_EQ(into, value.get());
    EXPECT_EQ(value->kind, KISA_HSM_KIND_DISTRIBUTION);
    const Bytes bad = pkitest::genconf(changed("v=INTEGER:1", "v=INTEGER:0x80000000"));
    pkitest::Node badNode(decodeToDERSequence(bad.data(), static_cast<int>(bad.size())));
    EXPECT_EQ(Seq_to_KISA_HSM_SIGNATURE_VALUE(badNode.get(), &into), 0x3001002b);
    EXPECT_EQ(get_STACK_count(value->list), 2);
    EXPECT_EQ(verify(value.get(), cert("signer.der")), 0);

    // Cleaning keeps the record usable: empty, with its nested records again.
    clean_KISA_HSM_SIGNATURE_VALUE(value.get());
    EXPECT_EQ(value->kind, 0);
    EXPECT_EQ(get_STACK_count(value->list), 0);
    EXPECT_NE(value->signer, nullptr);
    EXPECT_EQ(value->signedBytes, nullptr);
    clean_KISA_HSM_DRIVER_INFO(driver.get());
    EXPECT_NE(driver->name1, nullptr);
}

}  // namespace
