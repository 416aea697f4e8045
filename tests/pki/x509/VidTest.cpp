// Identity data and the VID check: a certificate openssl made with a virtual
// ID that Python's hashlib computed, extension lists built here (the identity
// data in a later subjectAltName, VIDs of other lengths and bytes), the
// codecs and their errors.
#include <gtest/gtest.h>

#include <sstream>

#include "BodyTestUtil.h"
#include <zunPKI/asn1/asn1_objects.h>

using namespace x509test;

namespace {

using Identity = Own<KISA_IDENTIFY_DATA, free_KISA_IDENTIFY_DATA>;
using Vid = Own<VID, free_VID>;

struct Holder {
    std::string idn;
    Bytes random;
};

Holder holder() {
    std::istringstream in(zqtest::readFile(extFixtures() + "/vid.txt"));
    std::string idn, random;
    in >> idn >> random;
    return {idn, fromHex(random)};
}

PKI_ERROR check(const X509_EXTENSIONS* exts, const Bytes& random, const std::string& idn) {
    return check_VID_extensions(exts, random.data(), static_cast<int>(random.size()), idn.data(),
                                static_cast<int>(idn.size()));
}

// A subjectAltName extension holding names.
X509_EXTENSION* subjectAltName(std::initializer_list<GENERAL_NAME*> names) {
    GeneralNames list(new_GENERAL_NAMES());
    for (GENERAL_NAME* gn : names) push_STACK_value(list.get(), gn);
    const Bytes body = encode(GENERAL_NAMES_to_Seq, static_cast<const GENERAL_NAMES*>(list.get()));
    pkitest::String value(octets(body));
    return create_X509_EXTENSION_by_OID_index(nullptr, 85, 0, value.get());
}

// An otherName holding the identity data's DER.
GENERAL_NAME* identityName(const KISA_IDENTIFY_DATA* data) {
    const Bytes der = encode(KISA_IDENTIFY_DATA_to_Seq, data);
    OTHERNAME* on = new_OTHERNAME();
    on->typeId = oid("1.2.410.200004.10.1.1");
    on->value = new_ASN1_STRING();
    set_ASN1_STRING_value(on->value, 0xa0, der.data(), static_cast<int>(der.size()));
    return makeName(GENERAL_NAME_OTHER_NAME, on);
}

TEST(VidCheck, CertificateWithHashlibVirtualId) {
    ASSERT_FALSE(extFixtures().empty());
    Extensions exts = certificateExtensions(extFixture("vid.der"));
    const Holder h = holder();
    ASSERT_EQ(h.idn.size(), 13u);

    KISA_IDENTIFY_DATA* found = nullptr;
    ASSERT_EQ(get_KISA_IDENTIFY_DATA_from_extensions(exts.get(), &found), 0);
    Identity data(found);
    EXPECT_EQ(text(data->realName), "홍길동");
    EXPECT_EQ(text(data->idType), "1.2.410.200004.10.1.1.1");
    ASSERT_TRUE(data->vid);
    EXPECT_EQ(index_from_OBJECT_IDENTIFIER(data->vid->hashAlgorithm), 672);
    EXPECT_EQ(data->vid->virtualID->length, 32);

    EXPECT_EQ(check(exts.get(), h.random, h.idn), 0);
    std::string otherIdn = h.idn;
    otherIdn.back() = otherIdn.back() == '9' ? '0' : otherIdn.back() + 1;
    Bytes otherRandom = h.random;
    otherRandom[0] ^= 1;
    const struct {
        Bytes random;
        std::string idn;
        PKI_ERROR code;
    } cases[] = {
        {h.random, otherIdn, 0x47550112},        {otherRandom, h.idn, 0x47550112},
        {h.random, "abcdefghijklm", 0x47550112},  // lower case is PrintableString
        {h.random, "800101*234567", 0x4755003c}, {h.random, "800101@234567", 0x4755003c},
    };
    for (const auto& c : cases) EXPECT_EQ(check(exts.get(), c.random, c.idn), c.code) << c.idn;
    EXPECT_EQ(check_VID_extensions(exts.get(), nullptr, 0, "1", 1), 0x47550049);
    EXPECT_EQ(check_VID_extensions(exts.get(), h.random.data(), 1, nullptr, 0), 0x47550049);
    EXPECT_EQ(check_VID_extensions(exts.get(), h.random.data(), -1, "1", 1), 0x47550049);
    EXPECT_EQ(check_VID_extensions(nullptr, h.random.data(), 1, "1", 1), 0x47550049);

    // The same through the certificate record.
    PKI_ERROR rc;
    auto cert = decodeWith<Own<X509_CERT, free_X509_CERT>>(Seq_to_X509_CERT, extFixture("vid.der"), &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(check_VID(cert.get(), h.random.data(), static_cast<int>(h.random.size()), h.idn.data(),
                        static_cast<int>(h.idn.size())),
              0);
    EXPECT_EQ(check_VID(cert.get(), h.random.data(), static_cast<int>(h.random.size()), otherIdn.data(),
                        static_cast<int>(otherIdn.size())),
              0x47550112);
    Own<X509_CERT, free_X509_CERT> bare(new_X509_CERT());
    EXPECT_EQ(check_VID(bare.get(), h.random.data(), 1, "1", 1), 0x47550049);
}

TEST(VidCheck, LaterSubjectAltNameAndOtherVids) {
    ASSERT_FALSE(extFixtures().empty());
    const Holder h = holder();
    KISA_IDENTIFY_DATA* found = nullptr;
    ASSERT_EQ(get_KISA_IDENTIFY_DATA_from_extensions(certificateExtensions(extFixture("vid.der")).get(), &found), 0);
    Identity real(found);

    // The identity data, as our encoders write it, in the second of two
    // subjectAltNames; the first holds only a DNS name.
    auto listWith = [](const KISA_IDENTIFY_DATA* data) {
        X509_EXTENSIONS* raw = nullptr;
        Extension dns(subjectAltName({makeName(GENERAL_NAME_DNS, ia5("vid.example"))}));
        add_X509_EXTENSION(&raw, dns.get(), -1);
        if (data) {
            Extension id(subjectAltName({makeName(GENERAL_NAME_DNS, ia5("x.example")), identityName(data)}));
            add_X509_EXTENSION(&raw, id.get(), -1);
        }
        return Extensions(raw);
    };
    EXPECT_EQ(check(listWith(real.get()).get(), h.random, h.idn), 0);
    EXPECT_EQ(check(listWith(nullptr).get(), h.random, h.idn), 0x4755012f);

    Identity changed(dup_KISA_IDENTIFY_DATA(real.get()));
    OCTET_STRING* v = changed->vid->virtualID;
    v->data[v->length - 1] ^= 0x80;
    EXPECT_EQ(check(listWith(changed.get()).get(), h.random, h.idn), 0x47550112);
    v->length = 20;  // a SHA-1-sized VID under SHA-256
    EXPECT_EQ(check(listWith(changed.get()).get(), h.random, h.idn), 0x47550111);
    free_OBJECT_IDENTIFIER(changed->vid->hashAlgorithm);
    changed->vid->hashAlgorithm = oid("1.2.3.4");  // no row: no hash to use
    EXPECT_EQ(check(listWith(changed.get()).get(), h.random, h.idn), 0x4755012f);
    free_VID(changed->vid);
    changed->vid = nullptr;
    EXPECT_EQ(check(listWith(changed.get()).get(), h.random, h.idn), 0x4755012f);
}

// The hash input is SEQUENCE { idn, random } whatever their lengths: an
// empty random is an empty BIT STRING, and the idn still decides.
TEST(VidCheck, EmptyRandomStillBindsTheIdn) {
    ASSERT_FALSE(extFixtures().empty());
    KISA_IDENTIFY_DATA* found = nullptr;
    ASSERT_EQ(get_KISA_IDENTIFY_DATA_from_extensions(certificateExtensions(extFixture("vid.der")).get(), &found), 0);
    Identity data(found);
    auto withVidOf = [&](const Bytes& input) {
        unsigned char once[32], twice[32];
        int n = 0;
        EXPECT_EQ(VSC_DIGEST(VSC_DIGEST_SHA256, input.data(), static_cast<int>(input.size()), once, &n), 0);
        EXPECT_EQ(VSC_DIGEST(VSC_DIGEST_SHA256, once, n, twice, &n), 0);
        set_ASN1_STRING_value(data->vid->virtualID, ASN1_TAG_OCTET_STRING, twice, n);
        X509_EXTENSIONS* raw = nullptr;
        Extension id(subjectAltName({identityName(data.get())}));
        add_X509_EXTENSION(&raw, id.get(), -1);
        return Extensions(raw);
    };
    const std::string idn = "8001011234567";
    static const unsigned char kNothing = 0;
    auto checkAny = [](const X509_EXTENSIONS* exts, const Bytes& random, const std::string& idn) {
        return check_VID_extensions(exts, random.empty() ? &kNothing : random.data(), static_cast<int>(random.size()),
                                    idn.data(), static_cast<int>(idn.size()));
    };
    const Bytes none;
    const Bytes printable = tlv(0x13, Bytes(idn.begin(), idn.end()));
    const Bytes emptyBits = tlv(0x03, {0x00});
    EXPECT_EQ(checkAny(withVidOf(seq({printable, emptyBits})).get(), none, idn), 0);
    EXPECT_EQ(checkAny(withVidOf(seq({printable, emptyBits})).get(), none, "8001011234568"), 0x47550112);
    // A VID of the empty SEQUENCE matches no identity number.
    EXPECT_EQ(checkAny(withVidOf(seq({})).get(), none, idn), 0x47550112);
    EXPECT_EQ(checkAny(withVidOf(seq({emptyBits})).get(), Bytes{0x01}, ""), 0x47550112);
    EXPECT_EQ(checkAny(withVidOf(seq({tlv(0x13, {}), tlv(0x03, {0x00, 0x01})})).get(), Bytes{0x01}, ""), 0);
}

TEST(IdentityData, CodecsAndErrors) {
    const struct {
        const char* in;
        const char* out;  // null: unchanged
    } cases[] = {
        {"30050c03616263", nullptr},                      // realName only
        {"300f0c036162633008300606042a030405", nullptr},  // a user info without a VID
        // a VID whose algorithm carries NULL parameters: written without them
        {"3030"
         "0c03616263"
         "3029"
         "3027"
         "06042a030405"
         "301f"
         "300d06096086480165030402010500"
         "a00e040c000102030405060708090a0b",
         "302e0c0361626330273025"
         "06042a030405"
         "301d"
         "300b0609608648016503040201"
         "a00e040c000102030405060708090a0b"},
    };
    for (const auto& c : cases) {
        PKI_ERROR rc;
        Identity data = decodeHex<Identity>(Seq_to_KISA_IDENTIFY_DATA, c.in, &rc);
        ASSERT_EQ(rc, 0) << c.in;
        EXPECT_EQ(toHex(encode(KISA_IDENTIFY_DATA_to_Seq, static_cast<const KISA_IDENTIFY_DATA*>(data.get()))),
                  c.out ? c.out : c.in);
    }
    const struct {
        const char* in;
        PKI_ERROR code;
    } bad[] = {
        {"3000", 0x4703002b},
        {"3003020100", 0x47030104},  // no realName
        {"3007"
         "0c0161"
         "3002"
         "0500",
         0x47030104},  // a user info that is not a SEQUENCE
        {"3009"
         "0c0161"
         "3004"
         "3002"
         "0500",
         0x47030104},  // a user info without idType
        {"300c"
         "0c0161"
         "3007"
         "3005"
         "060129"
         "3000",
         0x4701002b},  // an empty VID
    };
    for (const auto& b : bad) {
        EXPECT_EQ(refusal<Identity>(Seq_to_KISA_IDENTIFY_DATA, b.in), b.code) << b.in;
    }
    EXPECT_EQ(refusal<Vid>(Seq_to_VID, "3000"), 0x4701002b);
    EXPECT_EQ(refusal<Vid>(Seq_to_VID, "30093003060129a0000500"), 0x4701002b);
    Identity noType(new_KISA_IDENTIFY_DATA());
    noType->realName = new_UTF8_STRING(reinterpret_cast<const unsigned char*>("a"), 1);
    noType->vid = new_VID();
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(KISA_IDENTIFY_DATA_to_Seq(noType.get(), &node), 0x4704002b);
    EXPECT_EQ(VID_to_Seq(noType->vid, &node), 0x4702002b);  // no algorithm
}

}  // namespace
