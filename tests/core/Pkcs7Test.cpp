// PKCS#7 signed data from credentials against openssl cms, NSS's cmsutil,
// openssl dgst, enc and asn1parse, base64 and python; signing times under
// other zones through core_p7_helper.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include <zunCore/cipher.h>
#include <zunCore/pkcs1.h>
#include <zunCore/pkcs7.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/pkcs/pkcs7.h>

#include "Pkcs7Helpers.h"

namespace {

using namespace p7test;

// A message of the ordinary maker.
std::string make(const PKISTRINFO* s, const char* hash, int encoding = VCL_PK7_DER, const ASN1_TIME* time = nullptr,
                 int attr = 1, int cert = 1, int content = 1, int random = 0) {
    Buf<char> out;
    int len = 0;
    const int got = VCL_PK7_Make_Signed_Data_With_Random(kData.data(), n(kData), s, hash, time, attr, cert, content,
                                                         random, encoding, out.out(), &len);
    EXPECT_EQ(got, 0) << std::hex << got;
    return out.str(len);
}

// The decoded message (freed at the end of the scope).
struct Decoded {
    P7_CONTENT_INFO* p = nullptr;
    explicit Decoded(const std::string& der, int encoding = VCL_PK7_DER) {
        EXPECT_EQ(VCL_PK7_decode_pkcs7(encoding, der.data(), n(der), &p), 0);
    }
    Decoded(const Decoded&) = delete;
    Decoded& operator=(const Decoded&) = delete;
    ~Decoded() { free_P7_CONTENT_INFO(p); }
    P7_SIGNED_DATA* sd() const { return p ? static_cast<P7_SIGNED_DATA*>(p->content) : nullptr; }
    P7_SIGNER_INFO* signer(int i) const {
        return sd() ? static_cast<P7_SIGNER_INFO*>(get_STACK_value(sd()->signerInfos, i)) : nullptr;
    }
    int signatureRow(int i) const {
        const P7_SIGNER_INFO* si = signer(i);
        return si ? index_from_OBJECT_IDENTIFIER(si->digestEncryptionAlgorithm->algorithm) : -1;
    }
};

std::string b64decode(const std::string& text) { return zqtest::run({"base64", "-d"}, text).output; }

TEST(Pk7Names, WholeNamesOnly) {
    struct Case {
        const char* name;
        int row;
    };
    const Case known[] = {{"MD5", 4},          {"SHA1", 64},         {"SHA256", 672},     {"SHA512", 674},
                          {"HAS-160", 781},    {"HAS160", 781},      {"SEED-CBC", 777},   {"AES128-CBC", 419},
                          {"AES256-CFB", 429}, {"ARIA128-CBC", 824}, {"DES_EDE-CBC", 44}, {"DES_EDE-CFB", 61},
                          {"DES_EDE-OFB", 63}};
    for (const Case& c : known) {
        int row = 0;
        EXPECT_EQ(VCL_PK7_name_to_oid(c.name, &row), 0) << c.name;
        EXPECT_EQ(row, c.row) << c.name;
    }
    // A prefix used to match: "" was MD5, "SEED" SEED-ECB, "AES128" AES128-ECB.
    for (const char* name : {"", "SHA", "SEED", "AES128", "sha256", "SHA256withRSA", "SHA2560", "HAS16", "DES_EDE"}) {
        int row = -7;
        EXPECT_EQ(rc(VCL_PK7_name_to_oid(name, &row)), 0xb1010010u) << name;
        EXPECT_EQ(row, -7);
    }
    int row = 0;
    EXPECT_EQ(rc(VCL_PK7_name_to_oid(nullptr, &row)), 0xb1010002u);
    EXPECT_EQ(rc(VCL_PK7_name_to_oid("SHA1", nullptr)), 0xb1010002u);
}

// The ordinary maker in every encoding and with SHA-1 and SHA-256: openssl
// cms and cmsutil take the message and give back the content.
TEST(Pk7Sign, MakerOutputsVerifyWithOpensslAndNss) {
    const Signer s = holder();
    NssDb nss;
    for (const char* hash : {"SHA1", "SHA256"}) {
        for (int encoding : {VCL_PK7_DER, VCL_PK7_PEM, VCL_PK7_BASE64, VCL_PK7_BASE64_LINES}) {
            SCOPED_TRACE(std::string(hash) + " " + std::to_string(encoding));
            const std::string msg = make(s, hash, encoding);
            std::string der;
            if (encoding == VCL_PK7_DER) {
                der = msg;
            } else if (encoding == VCL_PK7_PEM) {
                EXPECT_EQ(msg.rfind("-----BEGIN PKCS7-----", 0), 0u);
                const Verified pem = opensslVerify(msg, {}, "PEM");
                EXPECT_TRUE(pem.ok);
                EXPECT_EQ(pem.content, kData);
                der = openssl({"pkcs7", "-inform", "PEM", "-outform", "DER"}, msg).output;
            } else {
                EXPECT_EQ(msg.find('\n') != std::string::npos, encoding == VCL_PK7_BASE64_LINES);
                der = b64decode(msg);
            }
            const Verified v = opensslVerify(der);
            EXPECT_TRUE(v.ok);
            EXPECT_EQ(v.content, kData);
            const Verified nv = nss.decode(der);
            EXPECT_TRUE(nv.ok);
            EXPECT_EQ(nv.content, kData);
            // Our own verification hands the content back too.
            Buf<char> content;
            int len = 0;
            ASSERT_EQ(VCL_PK7_Verify_Signed_Data(encoding, msg.data(), n(msg), content.out(), &len), 0);
            EXPECT_EQ(content.str(len), kData);
        }
    }
}

// Content flag 0 and the maker over a given digest (openssl dgst's): the
// peers verify them against the content given beside.
TEST(Pk7Sign, DetachedAndDigestMessagesVerifyWithTheContent) {
    const Signer s = holder();
    NssDb nss;
    const std::string detached = make(s, "SHA256", VCL_PK7_DER, nullptr, 1, 1, 0);
    const std::string digest = openssl({"dgst", "-sha256", "-binary"}, kData).output;
    ASSERT_EQ(digest.size(), 32u);
    Buf<char> out;
    int len = 0;
    ASSERT_EQ(VCL_PK7_Make_Signed_Data_WithOut_Plain_With_MD(digest.data(), n(digest), s, "SHA256", nullptr,
                                                             VCL_PK7_DER, out.out(), &len),
              0);
    const std::string overDigest = out.str(len);
    const std::string content = temp("content.bin", kData);
    for (const std::string& msg : {detached, overDigest}) {
        EXPECT_FALSE(opensslVerify(msg).ok);
        const Verified v = opensslVerify(msg, {"-content", content});
        EXPECT_TRUE(v.ok);
        EXPECT_EQ(v.content, kData);
        EXPECT_TRUE(nss.decode(msg, kData).ok);
        EXPECT_FALSE(nss.decode(msg, kData + ".").ok);
        // Ours: no content to hand out, but the signature over the attributes
        // verifies, and with the content given the whole message does.
        Buf<char> got;
        int gotLen = 0;
        EXPECT_EQ(rc(VCL_PK7_Verify_Signed_Data(VCL_PK7_DER, msg.data(), n(msg), got.out(), &gotLen)), 0xa705003fu);
        EXPECT_EQ(VCL_PK7_Verify_Signed_Data_WithOut_Plain(VCL_PK7_DER, msg.data(), n(msg)), 0);
        ASSERT_EQ(VCL_PK7_Verify_Signed_Data_With_Add_Cert_Data(VCL_PK7_DER, msg.data(), n(msg), nullptr, 0,
                                                                kData.data(), n(kData), got.out(), &gotLen),
                  0);
        EXPECT_EQ(got.str(gotLen), kData);
    }
    // The digest must be as long as the named digest's (it was not checked).
    for (const std::string& wrong : {digest.substr(0, 20), digest + "x", std::string()}) {
        Buf<char> refused;
        int refusedLen = -1;
        EXPECT_EQ(rc(VCL_PK7_Make_Signed_Data_WithOut_Plain_With_MD(wrong.data(), n(wrong), s, "SHA256", nullptr,
                                                                    VCL_PK7_DER, refused.out(), &refusedLen)),
                  0xa7040005u);
        EXPECT_FALSE(refused);
        EXPECT_EQ(refusedLen, -1);
    }
    EXPECT_EQ(rc(VCL_PK7_Make_Signed_Data_WithOut_Plain_With_MD(nullptr, 32, s, "SHA256", nullptr, VCL_PK7_DER,
                                                                out.out(), &len)),
              0xa7040002u);
}

// Flags: attribute flag 0 gives version 0 and no attributes (and no random
// even when asked), 1 the three attributes and version 1; the certificate
// flag; the random under its row.
TEST(Pk7Sign, FlagsShapeTheMessage) {
    const Signer s = self();
    {
        const std::string msg = make(s, "SHA256", VCL_PK7_DER, nullptr, 0, 1, 1, 1);
        Decoded d(msg);
        ASSERT_NE(d.signer(0), nullptr);
        EXPECT_EQ(d.signer(0)->authenticatedAttributes, nullptr);
        EXPECT_EQ(d.signer(0)->unauthenticatedAttributes, nullptr);
        EXPECT_EQ(VSC_Get_BIGINT_Word(d.sd()->version), 0u);
        EXPECT_EQ(VSC_Get_BIGINT_Word(d.signer(0)->version), 0u);
        EXPECT_TRUE(opensslVerify(msg).ok);
    }
    {
        const std::string msg = make(s, "SHA256", VCL_PK7_DER, nullptr, 1, 0, 1, 1);
        Decoded d(msg);
        ASSERT_NE(d.signer(0), nullptr);
        const X509_ATTRIBUTES* attrs = d.signer(0)->authenticatedAttributes;
        ASSERT_EQ(get_X509_ATTRIBUTES_count(attrs), 3);
        const int rows[] = {50, 52, 51};
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(index_from_OBJECT_IDENTIFIER(get_X509_ATTRIBUTE_OID(get_X509_ATTRIBUTES_child(attrs, i))),
                      rows[i]);
        EXPECT_EQ(get_X509_ATTRIBUTES_index_by_OID_index(d.signer(0)->unauthenticatedAttributes, 836, -1), 0);
        EXPECT_EQ(VSC_Get_BIGINT_Word(d.sd()->version), 1u);
        EXPECT_EQ(d.sd()->certificates == nullptr || get_STACK_count(d.sd()->certificates) == 0, true);
        // Without the certificate only a verifier that is given it verifies.
        EXPECT_FALSE(opensslVerify(msg).ok);
        EXPECT_TRUE(opensslVerify(msg, {"-certfile", path("cert.pem")}).ok);
    }
    // Another encoding is refused (after the work: the code is the encoder's).
    Buf<char> out;
    int len = -1;
    EXPECT_EQ(rc(VCL_PK7_Make_Signed_Data(kData.data(), n(kData), s, "SHA256", nullptr, 1, 2, out.out(), &len)),
              0xa7020016u);
    EXPECT_FALSE(out);
    EXPECT_EQ(len, -1);
}

// Input checks and pass-through codes of the makers.
TEST(Pk7Sign, MakerRefusals) {
    const Signer s = holder();
    const Signer wrongPassword(file("ee.pem"), file("ee-p8.der"), "wrong");
    const Signer otherKey(file("ee.pem"), file("p8-aes.der"));
    const Signer noKey(file("ee.pem"), "");
    struct Case {
        const char* name;
        const void* data;
        int len;
        const PKISTRINFO* signer;
        const char* hash;
        unsigned code;
    };
    const Case cases[] = {
        {"no data", nullptr, 5, s, "SHA256", 0xa7040005u},
        {"empty data", kData.data(), 0, s, "SHA256", 0xa7040005u},
        {"no signer", kData.data(), n(kData), nullptr, "SHA256", 0xa7040002u},
        {"no key", kData.data(), n(kData), noKey, "SHA256", 0xa7040005u},
        {"prefix name", kData.data(), n(kData), s, "SHA", 0xb1010010u},
        {"cipher name", kData.data(), n(kData), s, "SEED-CBC", 0xa7040035u},
        {"wrong password", kData.data(), n(kData), wrongPassword, "SHA256", 0x4a070012u},
        {"key of another certificate", kData.data(), n(kData), otherKey, "SHA256", 0xa7040035u},
    };
    for (const Case& c : cases) {
        Buf<char> out;
        int len = -1;
        EXPECT_EQ(
            rc(VCL_PK7_Make_Signed_Data(c.data, c.len, c.signer, c.hash, nullptr, 1, VCL_PK7_DER, out.out(), &len)),
            c.code)
            << c.name;
        EXPECT_FALSE(out) << c.name;
        EXPECT_EQ(len, -1) << c.name;
    }
    // UTCTime cannot say 2050: no message rather than a wrong time.
    ASN1_TIME* late = charToASN1_TIME("2050-01-01,12:00:00");
    ASSERT_NE(late, nullptr);
    Buf<char> out;
    int len = 0;
    EXPECT_EQ(rc(VCL_PK7_Make_Signed_Data(kData.data(), n(kData), s, "SHA256", late, 1, VCL_PK7_DER, out.out(), &len)),
              0xa7040002u);
    free_ASN1_TIME(late);
}

// The signing time in the message is the UTC instant of the local time
// given, whatever the zone; a missing one is now; the query prints UTC.
TEST(Pk7Sign, SigningTimeIsTheUtcInstantUnderAnyZone) {
    struct Case {
        const char* zone;
        const char* local;
        const char* utc;
        const char* printed;
    };
    const Case cases[] = {
        {"Asia/Seoul", "2024-02-29,19:05:09", "240229100509Z", "2024/02/29 10:05:09"},
        {"UTC", "2024-02-29,10:05:09", "240229100509Z", "2024/02/29 10:05:09"},
        {"America/New_York", "2024-02-29,05:05:09", "240229100509Z", "2024/02/29 10:05:09"},
        {"America/New_York", "2024-07-01,06:05:09", "240701100509Z", "2024/07/01 10:05:09"},
    };
    zqtest::TempDir dir("p7tz");
    const auto signingTimeOf = [](const std::string& msg) {
        const std::string printed = openssl({"asn1parse", "-inform", "DER", "-in", msg}).output;
        const auto at = printed.find("OBJECT            :signingTime");
        const auto t = printed.find("TIME", at);
        return at == std::string::npos || t == std::string::npos
                   ? std::string()
                   : printed.substr(printed.find(':', t) + 1, printed.find('\n', t) - printed.find(':', t) - 1);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + c.local);
        const std::string msg = dir / "m.der";
        ASSERT_EQ(zqtest::run({CORE_P7_HELPER, "sign", path("cert.der"), path("p8-kisa.der"), "pw", c.local, msg}, {},
                              {std::string("TZ=") + c.zone})
                      .status,
                  0);
        EXPECT_EQ(signingTimeOf(msg), c.utc);
        for (const char* zone : {"UTC", "Asia/Seoul", "America/New_York"}) {
            EXPECT_EQ(zqtest::run({CORE_P7_HELPER, "time", msg}, {}, {std::string("TZ=") + zone}).output,
                      std::string(c.printed) + "\n")
                << zone;
        }
    }
    // Now, as UTC, within 2 s of date -u, in either zone.
    for (const char* zone : {"TZ=Asia/Seoul", "TZ=UTC"}) {
        const std::string msg = dir / "now.der";
        ASSERT_EQ(
            zqtest::run({CORE_P7_HELPER, "sign", path("cert.der"), path("p8-kisa.der"), "pw", "now", msg}, {}, {zone})
                .status,
            0);
        const std::string utc = signingTimeOf(msg);
        const std::string date = keytest::trimmed(zqtest::run({"date", "-u", "+%y%m%d%H%M%SZ"}).output);
        struct tm ours {
        }, theirs{};
        ASSERT_NE(strptime(utc.c_str(), "%y%m%d%H%M%SZ", &ours), nullptr) << utc;
        ASSERT_NE(strptime(date.c_str(), "%y%m%d%H%M%SZ", &theirs), nullptr) << date;
        EXPECT_LE(std::abs(static_cast<long>(timegm(&theirs) - timegm(&ours))), 2L)
            << zone << " " << utc << " " << date;
    }

    // A GeneralizedTime of openssl's (years from 2050) reads too.
    const std::string late = dir / "late.der";
    ASSERT_EQ(
        zqtest::run({"faketime", "2051-01-01", "openssl", "cms", "-sign", "-binary", "-nodetach", "-outform", "DER",
                     "-signer", path("ee.pem"), "-inkey", path("ee.key"), "-in", temp("d.txt", kData), "-out", late},
                    {}, {"TZ=UTC", "OPENSSL_CONF=/dev/null"})
            .status,
        0);
    const std::string lateText = zqtest::run({CORE_P7_HELPER, "time", late}, {}, {"TZ=Asia/Seoul"}).output;
    EXPECT_EQ(lateText.substr(0, 16), "2051/01/01 00:00") << lateText;
}

// The encrypted VID random opens as the relay server opens it: with the
// signingTime the message shows, SHA-256 three times, openssl's SEED-CBC.
TEST(Pk7Sign, VidRandomDecryptsWithTheMessagesSigningTime) {
    const Signer s = self();
    const std::string want =
        keytest::trimmed(zqtest::run({zqtest::kPython, zqtest::sourceDir() + "/tests/core/kisa_key.py", "random",
                                      path("p8-kisa.der"), "pw"})
                             .output);
    ASSERT_EQ(want.size(), 40u);
    ASN1_TIME* t1 = charToASN1_TIME("2024-02-29,19:05:09");
    ASN1_TIME* t2 = charToASN1_TIME("2024-02-29,19:05:10");
    const std::string a = make(s, "SHA256", VCL_PK7_DER, t1, 1, 1, 1, 1);
    const std::string b = make(s, "SHA1", VCL_PK7_DER, t1, 1, 1, 1, 1);
    const std::string c = make(s, "SHA256", VCL_PK7_DER, t2, 1, 1, 1, 1);
    const std::string noTime = make(s, "SHA256", VCL_PK7_DER, nullptr, 1, 1, 1, 1);
    free_ASN1_TIME(t1);
    free_ASN1_TIME(t2);
    const auto open = [](const std::string& msg) {
        return zqtest::run({zqtest::kPython, zqtest::sourceDir() + "/tests/core/p7_vid_random.py", temp("r.der", msg)},
                           {}, {"OPENSSL_CONF=/dev/null"})
            .output;
    };
    for (const std::string* msg : {&a, &b, &c, &noTime}) EXPECT_EQ(open(*msg).substr(0, 41), want + "\n");
    // The same time and key give the same bytes, another time others.
    const auto encrypted = [](const std::string& msg) {
        Decoded d(msg);
        const X509_ATTRIBUTE* attr = get_X509_ATTRIBUTES_child(d.signer(0)->unauthenticatedAttributes, 0);
        const auto* v = static_cast<const ASN1_STRING*>(get_X509_ATTRIBUTE_data(attr, 0));
        return v ? std::string(reinterpret_cast<const char*>(v->data), static_cast<size_t>(v->length)) : "";
    };
    EXPECT_EQ(encrypted(a), encrypted(b));
    EXPECT_NE(encrypted(a), encrypted(c));
    EXPECT_EQ(encrypted(a).size(), 32u);

    // The three functions on their own, against the same key material.
    UTC_TIME* utc = new_UTC_TIME("2024-02-29,19:05:09", UTC_TIME_YYMMDDHHMMSSZ);
    ASSERT_NE(utc, nullptr);
    Buf<char> out;
    int len = 0;
    ASSERT_EQ(VCL_PK7_Encrypt_VeridanMoreInfo(utc, "more", 4, out.out(), &len), 0);
    EXPECT_EQ(len, 16);
    ASSERT_EQ(VCL_PK7_Encrypt_VeridanRandom_HSM(utc, s, out.out(), &len), 0);
    EXPECT_EQ(len, (n(file("p8-kisa.der")) / 16 + 1) * 16);
    EXPECT_EQ(rc(VCL_PK7_Encrypt_VeridanRandom(nullptr, s, out.out(), &len)), 0xa7200005u);
    EXPECT_EQ(rc(VCL_PK7_Encrypt_VeridanRandom(utc, nullptr, out.out(), &len)), 0xa7200002u);
    EXPECT_EQ(rc(VCL_PK7_Encrypt_VeridanMoreInfo(utc, nullptr, 4, out.out(), &len)), 0xa7300005u);
    // A key without a VID random has nothing to carry.
    const Signer pkcs1(file("cert.der"), file("rsa.pem"), "");
    EXPECT_EQ(rc(VCL_PK7_Encrypt_VeridanRandom(utc, pkcs1, out.out(), &len)), 0xa720004fu);
    free_UTC_TIME(utc);
}

// A second signer: openssl takes both SignerInfos, the first stays as it
// was; a message without content has nothing to sign.
TEST(Pk7Sign, AddedSignerVerifiesAndLeavesTheFirstAlone) {
    const Signer first = holder();
    const Signer second(file("cert.der"), file("p8-aes.der"));
    const std::string one = make(first, "SHA256");
    for (int encoding : {VCL_PK7_DER, VCL_PK7_BASE64}) {
        std::string in = one;
        if (encoding == VCL_PK7_BASE64) in = zqtest::run({"base64", "-w", "0"}, one).output;
        Buf<char> out;
        int len = 0;
        ASSERT_EQ(VCL_PK7_Add_Signed_Data(encoding, in.data(), n(in), second, "SHA1", nullptr, 1, VCL_PK7_DER,
                                          out.out(), &len),
                  0);
        const std::string two = out.str(len);
        const Verified v = opensslVerify(two);
        EXPECT_TRUE(v.ok);
        EXPECT_EQ(v.content, kData);
        int count = 0;
        ASSERT_EQ(VCL_PK7_Get_Signer_Count(VCL_PK7_DER, two.data(), n(two), &count), 0);
        EXPECT_EQ(count, 2);
        // The first SignerInfo is the same element, byte for byte.
        Decoded a(one), b(two);
        EXPECT_EQ(cmp_P7_SIGNER_INFO(a.signer(0), b.signer(0)), 0);
        EXPECT_EQ(VSC_Get_BIGINT_Word(b.signer(1)->version), 1u);
        Buf<char> content;
        int contentLen = 0;
        ASSERT_EQ(VCL_PK7_Verify_Signed_Data(VCL_PK7_DER, two.data(), n(two), content.out(), &contentLen), 0);
        EXPECT_EQ(content.str(contentLen), kData);
    }
    // The content of a detached message was never given: nothing to sign.
    const std::string detached = make(first, "SHA256", VCL_PK7_DER, nullptr, 1, 1, 0);
    Buf<char> out;
    int len = -1;
    EXPECT_EQ(rc(VCL_PK7_Add_Signed_Data(VCL_PK7_DER, detached.data(), n(detached), second, "SHA1", nullptr, 1,
                                         VCL_PK7_DER, out.out(), &len)),
              0xa7040017u);
    EXPECT_FALSE(out);
    EXPECT_EQ(
        rc(VCL_PK7_Add_Signed_Data(VCL_PK7_DER, nullptr, 10, second, "SHA1", nullptr, 1, VCL_PK7_DER, out.out(), &len)),
        0xa7040005u);
}

// A KCDSA signer named with "HAS160" (the store's spelling) is labelled
// HAS160withKCDSA and verifies, made here, added to an RSA message, or
// around a signature made outside (which keeps its KCDSA label).
TEST(Pk7Sign, KcdsaSignerRoundTripsWithHas160) {
    const keytest::KcdsaFiles k = keytest::kcdsaFiles(kPw);
    ASSERT_FALSE(k.key.empty());
    const Signer kcdsa(k.cert, k.key);
    const std::string msg = make(kcdsa, "HAS160");
    Decoded d(msg);
    EXPECT_EQ(d.signatureRow(0), 783);
    Buf<char> content;
    int len = 0;
    ASSERT_EQ(VCL_PK7_Verify_Signed_Data(VCL_PK7_DER, msg.data(), n(msg), content.out(), &len), 0);
    EXPECT_EQ(content.str(len), kData);

    const std::string rsa = make(holder(), "SHA256");
    Buf<char> out;
    ASSERT_EQ(VCL_PK7_Add_Signed_Data(VCL_PK7_DER, rsa.data(), n(rsa), kcdsa, "HAS-160", nullptr, 1, VCL_PK7_DER,
                                      out.out(), &len),
              0);
    const std::string both = out.str(len);
    Decoded d2(both);
    EXPECT_EQ(d2.signatureRow(1), 783);
    EXPECT_EQ(VCL_PK7_Verify_Signed_Data(VCL_PK7_DER, both.data(), n(both), content.out(), &len), 0);

    // The signature over the content itself, made with the key outside.
    Buf<unsigned char> sig;
    int sigLen = 0;
    ASSERT_EQ(VCL_PK1_Private_Sign(u(k.key), n(k.key), kPw, 2, VCL_SIGN_KCDSA, "HAS160", u(kData), n(kData), sig.out(),
                                   &sigLen, VCL_PK1_RAW),
              0);
    const CERT_ITEM cert{const_cast<unsigned char*>(u(k.cert)), n(k.cert)};
    ASSERT_EQ(VCL_PK7_Make_Signed_Data_With_OutSign(sig.p, sigLen, kData.data(), n(kData), &cert, "HAS160", 0, 1, 1,
                                                    VCL_PK7_DER, out.out(), &len),
              0);
    const std::string outside = out.str(len);
    Decoded d3(outside);
    // It was relabelled rsaEncryption, which turned it into an RSA signature.
    EXPECT_EQ(d3.signatureRow(0), 783);
    EXPECT_EQ(VCL_PK7_Verify_Signed_Data(VCL_PK7_DER, outside.data(), n(outside), content.out(), &len), 0);
}

// A signature over the content made outside (openssl dgst) becomes a
// message of version 0 without attributes that openssl verifies; a
// signature over other bytes is not handed out.
TEST(Pk7Sign, OutsideSignatureOverTheContent) {
    const std::string sig = openssl({"dgst", "-sha256", "-sign", path("ee.key")}, kData).output;
    ASSERT_EQ(sig.size(), 256u);
    const std::string pem = file("ee.pem");
    const CERT_ITEM cert{const_cast<unsigned char*>(u(pem)), n(pem)};
    Buf<char> out;
    int len = 0;
    for (int contentFlag : {1, 0}) {
        ASSERT_EQ(VCL_PK7_Make_Signed_Data_With_OutSign(sig.data(), n(sig), kData.data(), n(kData), &cert, "SHA256", 0,
                                                        1, contentFlag, VCL_PK7_DER, out.out(), &len),
                  0);
        const std::string msg = out.str(len);
        Decoded d(msg);
        EXPECT_EQ(d.signatureRow(0), 6);
        EXPECT_EQ(VSC_Get_BIGINT_Word(d.signer(0)->version), 0u);
        EXPECT_EQ(d.signer(0)->authenticatedAttributes, nullptr);
        const Verified v =
            contentFlag ? opensslVerify(msg) : opensslVerify(msg, {"-content", temp("content.bin", kData)});
        EXPECT_TRUE(v.ok);
        EXPECT_EQ(v.content, kData);
    }
    const std::string other = kData + "!";
    EXPECT_EQ(rc(VCL_PK7_Make_Signed_Data_With_OutSign(sig.data(), n(sig), other.data(), n(other), &cert, "SHA256", 0,
                                                       1, 1, VCL_PK7_DER, out.out(), &len)),
              0xa704003au);
    EXPECT_EQ(rc(VCL_PK7_Make_Signed_Data_With_OutSign(sig.data(), 0, kData.data(), n(kData), &cert, "SHA256", 0, 1, 1,
                                                       VCL_PK7_DER, out.out(), &len)),
              0xa7040005u);
}

// ---- Verification of openssl's messages and queries -------------------------

struct OpensslMessage {
    const char* name;
    std::vector<std::string> args;
    bool detached;
};

std::string opensslSign(const std::vector<std::string>& extra) {
    const std::string out = temp("signed.der", "");
    std::vector<std::string> args{"cms",
                                  "-sign",
                                  "-binary",
                                  "-outform",
                                  "DER",
                                  "-signer",
                                  path("ee.pem"),
                                  "-inkey",
                                  path("ee.key"),
                                  "-in",
                                  temp("data.bin", kData),
                                  "-out",
                                  out};
    args.insert(args.end(), extra.begin(), extra.end());
    EXPECT_EQ(openssl(args).status, 0);
    return zqtest::readFile(out);
}

// Changes the first byte of the content inside a DER message.
std::string withContentByteChanged(std::string der) {
    const auto at = der.find(kData);
    if (at != std::string::npos) der[at] = static_cast<char>(der[at] ^ 1);
    return der;
}

TEST(Pk7Verify, OpensslMessagesVerifyAndTamperingFails) {
    const OpensslMessage cases[] = {
        {"attached", {"-nodetach"}, false},
        {"detached", {}, true},
        {"sha256", {"-nodetach", "-md", "sha256"}, false},
        {"pss", {"-nodetach", "-keyopt", "rsa_padding_mode:pss"}, false},
        {"sha1 detached", {"-md", "sha1"}, true},
        {"no attributes", {"-nodetach", "-noattr"}, false},
    };
    const std::string cert = file("ee.pem");
    const std::string other = kData + " and more";
    for (const OpensslMessage& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string msg = opensslSign(c.args);
        ASSERT_FALSE(msg.empty());
        Buf<char> content;
        int len = 0;
        if (c.detached) {
            EXPECT_EQ(rc(VCL_PK7_Verify_Signed_Data(VCL_PK7_DER, msg.data(), n(msg), content.out(), &len)),
                      0xa705003fu);
            EXPECT_EQ(VCL_PK7_Verify_Signed_Data_WithOut_Plain(VCL_PK7_DER, msg.data(), n(msg)), 0);
        } else {
            ASSERT_EQ(VCL_PK7_Verify_Signed_Data(VCL_PK7_DER, msg.data(), n(msg), content.out(), &len), 0);
            EXPECT_EQ(content.str(len), kData);
        }
        ASSERT_EQ(VCL_PK7_Verify_Signed_Data_With_Add_Cert_Data(VCL_PK7_DER, msg.data(), n(msg), nullptr, 0,
                                                                kData.data(), n(kData), content.out(), &len),
                  0);
        EXPECT_EQ(content.str(len), kData);
        // Other data given: refused, whether the message carries its own
        // content or not (carried content used to win silently).
        EXPECT_EQ(rc(VCL_PK7_Verify_Signed_Data_With_Add_Cert_Data(VCL_PK7_DER, msg.data(), n(msg), nullptr, 0,
                                                                   other.data(), n(other), content.out(), &len)),
                  0xa705003fu);
        // Certificates stripped: refused, until the certificate is given.
        const std::string noCerts = opensslSign([&] {
            auto a = c.args;
            a.push_back("-nocerts");
            return a;
        }());
        EXPECT_EQ(rc(VCL_PK7_Verify_Signed_Data_With_Add_Cert_Data(VCL_PK7_DER, noCerts.data(), n(noCerts), nullptr, 0,
                                                                   kData.data(), n(kData), content.out(), &len)),
                  0xa705003fu);
        EXPECT_EQ(VCL_PK7_Verify_Signed_Data_With_Add_Cert_Data(VCL_PK7_DER, noCerts.data(), n(noCerts), cert.data(),
                                                                n(cert), kData.data(), n(kData), content.out(), &len),
                  0);
        if (!c.detached) {
            const std::string changed = withContentByteChanged(msg);
            ASSERT_NE(changed, msg);
            EXPECT_EQ(rc(VCL_PK7_Verify_Signed_Data(VCL_PK7_DER, changed.data(), n(changed), content.out(), &len)),
                      0xa705003fu);
        }
    }
    // Signers stripped: openssl's message without SignerInfos, and ours with
    // its SignerInfos taken out, verify nothing.
    const std::string degenerate =
        openssl({"crl2pkcs7", "-nocrl", "-certfile", path("ee.pem"), "-outform", "DER"}).output;
    Buf<char> content;
    int len = 0;
    EXPECT_EQ(rc(VCL_PK7_Verify_Signed_Data(VCL_PK7_DER, degenerate.data(), n(degenerate), content.out(), &len)),
              0xa705003fu);
    EXPECT_EQ(rc(VCL_PK7_Verify_Signed_Data_WithOut_Plain(VCL_PK7_DER, degenerate.data(), n(degenerate))), 0xa705003fu);
    P7_CONTENT_INFO* p7 = nullptr;
    const std::string msg = opensslSign({"-nodetach"});
    ASSERT_EQ(VCL_PK7_decode_pkcs7(VCL_PK7_DER, msg.data(), n(msg), &p7), 0);
    auto* sd = static_cast<P7_SIGNED_DATA*>(p7->content);
    while (get_STACK_count(sd->signerInfos) > 0)
        free_P7_SIGNER_INFO(static_cast<P7_SIGNER_INFO*>(pop_STACK_value(sd->signerInfos)));
    Buf<char> stripped;
    int strippedLen = 0;
    ASSERT_EQ(VCL_PK7_encode_pkcs7(p7, VCL_PK7_DER, stripped.out(), &strippedLen), 0);
    free_P7_CONTENT_INFO(p7);
    EXPECT_EQ(rc(VCL_PK7_Verify_Signed_Data(VCL_PK7_DER, stripped.p, strippedLen, content.out(), &len)), 0xa705003fu);
    EXPECT_EQ(rc(VCL_PK7_Verify_Signed_Data_With_Add_Cert_Data(VCL_PK7_DER, stripped.p, strippedLen, nullptr, 0,
                                                               kData.data(), n(kData), content.out(), &len)),
              0xa705003fu);
    // Not a message at all, or no input.
    EXPECT_EQ(rc(VCL_PK7_Verify_Signed_Data(VCL_PK7_DER, "garbage", 7, content.out(), &len)), 0xa702003du);
    EXPECT_EQ(rc(VCL_PK7_Verify_Signed_Data(VCL_PK7_DER, nullptr, 7, content.out(), &len)), 0xa7050002u);
    EXPECT_EQ(rc(VCL_PK7_Verify_Signed_Data(VCL_PK7_DER, msg.data(), 0, content.out(), &len)), 0xa7050005u);
}

// An attached message over empty content verifies, and has no content to
// hand out.
TEST(Pk7Verify, EmptyContentVerifiesThenIsRefused) {
    const std::string out = temp("empty.der", "");
    ASSERT_EQ(openssl({"cms", "-sign", "-binary", "-nodetach", "-outform", "DER", "-signer", path("ee.pem"), "-inkey",
                       path("ee.key"), "-in", temp("empty.bin", ""), "-out", out})
                  .status,
              0);
    const std::string msg = zqtest::readFile(out);
    Buf<char> content;
    int len = 0;
    EXPECT_EQ(rc(VCL_PK7_Verify_Signed_Data(VCL_PK7_DER, msg.data(), n(msg), content.out(), &len)), 0xa7050017u);
}

TEST(Pk7Query, SignerFacts) {
    const std::string msg = opensslSign({"-nodetach", "-md", "sha256"});
    int count = -1;
    ASSERT_EQ(VCL_PK7_Get_Signer_Count(VCL_PK7_DER, msg.data(), n(msg), &count), 0);
    EXPECT_EQ(count, 1);

    // The certificate as DER and PEM, as openssl writes it.
    Buf<char> cert;
    int len = 0;
    ASSERT_EQ(VCL_PK7_Get_Signer_Certs(VCL_PK7_DER, msg.data(), n(msg), 0, VCL_PK7_DER, cert.out(), &len), 0);
    EXPECT_EQ(cert.str(len), openssl({"x509", "-in", path("ee.pem"), "-outform", "DER"}).output);
    ASSERT_EQ(VCL_PK7_Get_Signer_Certs(VCL_PK7_DER, msg.data(), n(msg), 0, VCL_PK7_PEM, cert.out(), &len), 0);
    EXPECT_EQ(keytest::trimmed(cert.str(len)), keytest::trimmed(openssl({"x509", "-in", path("ee.pem")}).output));
    EXPECT_EQ(rc(VCL_PK7_Get_Signer_Certs(VCL_PK7_DER, msg.data(), n(msg), 0, 2, cert.out(), &len)), 0xa7060016u);

    // The public key as openssl's RSAPublicKey: a 2048-bit modulus takes
    // 257 bytes, the exponent 3.
    Buf<char> key;
    ASSERT_EQ(VCL_PK7_Get_PubKey(VCL_PK7_DER, msg.data(), n(msg), 0, key.out(), &len), 0);
    const std::string pub = key.str(len);
    EXPECT_EQ(pub, openssl({"rsa", "-in", path("ee.key"), "-RSAPublicKey_out", "-outform", "DER"}).output);
    EXPECT_EQ(hex(pub.substr(4, 4)), "02820101");
    EXPECT_EQ(hex(pub.substr(pub.size() - 5)), "0203010001");

    // The signature: openssl recovers a SHA-256 DigestInfo from it.
    Buf<char> sig;
    ASSERT_EQ(VCL_PK7_Get_EncDigest(VCL_PK7_DER, msg.data(), n(msg), 0, sig.out(), &len), 0);
    EXPECT_EQ(len, 256);
    const std::string recovered = openssl({"pkeyutl", "-verifyrecover", "-pubin", "-inkey", temp("pub.der", pub),
                                           "-keyform", "DER", "-in", temp("sig.bin", sig.str(len))})
                                      .output;
    EXPECT_EQ(hex(recovered.substr(0, 19)), "3031300d060960864801650304020105000420");

    // The signing time, as stored (UTC).
    char text[VCL_PK7_SIGN_TIME_TEXT_SIZE] = {};
    ASSERT_EQ(VCL_PK7_Get_Sign_Time(VCL_PK7_DER, msg.data(), n(msg), 0, text), 0);
    EXPECT_EQ(std::strlen(text), 19u);

    // Index 1 of one signer, in each family.
    EXPECT_EQ(rc(VCL_PK7_Get_Signer_Certs(VCL_PK7_DER, msg.data(), n(msg), 1, VCL_PK7_DER, cert.out(), &len)),
              0xa7060029u);
    EXPECT_EQ(rc(VCL_PK7_Get_PubKey(VCL_PK7_DER, msg.data(), n(msg), 1, key.out(), &len)), 0xa70d0029u);
    EXPECT_EQ(rc(VCL_PK7_Get_EncDigest(VCL_PK7_DER, msg.data(), n(msg), 1, sig.out(), &len)), 0xa70e0029u);
    EXPECT_EQ(rc(VCL_PK7_Get_Sign_Time(VCL_PK7_DER, msg.data(), n(msg), 1, text)), 0xa7070029u);
    EXPECT_EQ(rc(VCL_PK7_Get_Signer_Certs(VCL_PK7_DER, msg.data(), n(msg), -1, VCL_PK7_DER, cert.out(), &len)),
              0xa7060029u);

    // Without the certificate in the message.
    const std::string noCerts = opensslSign({"-nodetach", "-nocerts"});
    EXPECT_EQ(rc(VCL_PK7_Get_Signer_Certs(VCL_PK7_DER, noCerts.data(), n(noCerts), 0, VCL_PK7_DER, cert.out(), &len)),
              0xa706002du);
    EXPECT_EQ(rc(VCL_PK7_Get_PubKey(VCL_PK7_DER, noCerts.data(), n(noCerts), 0, key.out(), &len)), 0xa70d002du);
    EXPECT_FALSE(cert);
    EXPECT_FALSE(key);

    // A count of text that does not decode is 0 with the decoder's code.
    count = 5;
    EXPECT_EQ(rc(VCL_PK7_Get_Signer_Count(VCL_PK7_BASE64, "!!!!", 4, &count)), 0xa7020024u);
    EXPECT_EQ(count, 0);
}

TEST(Pk7Query, KcdsaPublicKeyIsItsPublicValue) {
    const keytest::KcdsaFiles k = keytest::kcdsaFiles(kPw);
    const Signer kcdsa(k.cert, k.key);
    const std::string msg = make(kcdsa, "SHA256");
    Buf<char> key;
    int len = 0;
    ASSERT_EQ(VCL_PK7_Get_PubKey(VCL_PK7_DER, msg.data(), n(msg), 0, key.out(), &len), 0);
    // SEQUENCE { INTEGER y }: openssl reads it as such.
    const std::string parsed = openssl({"asn1parse", "-inform", "DER"}, key.str(len)).output;
    EXPECT_NE(parsed.find("cons: SEQUENCE"), std::string::npos) << parsed;
    EXPECT_NE(parsed.find("prim: INTEGER"), std::string::npos) << parsed;
    EXPECT_EQ(parsed.find("INTEGER", parsed.find("INTEGER") + 1), std::string::npos) << parsed;
}

// The first signer's certificate, message digest and subject, as copies of
// their own.
TEST(Pk7Query, CertificateAndMessageDigestAreCopies) {
    const std::string msg = make(holder(), "SHA256");
    Buf<char> cert, digest, subject;
    int certLen = 0, digestLen = 0;
    ASSERT_EQ(VCL_PK7_Get_CertDataAndMessageDigest(VCL_PK7_DER, msg.data(), n(msg), cert.out(), &certLen, digest.out(),
                                                   &digestLen, subject.out()),
              0);
    EXPECT_EQ(cert.str(certLen), openssl({"x509", "-in", path("ee.pem"), "-outform", "DER"}).output);
    EXPECT_EQ(digest.str(digestLen), openssl({"dgst", "-sha256", "-binary"}, kData).output);
    EXPECT_NE(subject.str().find("holder"), std::string::npos) << subject.str();
    // No signer, or no certificate of it.
    const std::string degenerate =
        openssl({"crl2pkcs7", "-nocrl", "-certfile", path("ee.pem"), "-outform", "DER"}).output;
    EXPECT_EQ(rc(VCL_PK7_Get_CertDataAndMessageDigest(VCL_PK7_DER, degenerate.data(), n(degenerate), cert.out(),
                                                      &certLen, digest.out(), &digestLen, subject.out())),
              0xa70e0029u);
    const std::string noCerts = make(holder(), "SHA256", VCL_PK7_DER, nullptr, 1, 0);
    EXPECT_EQ(rc(VCL_PK7_Get_CertDataAndMessageDigest(VCL_PK7_DER, noCerts.data(), n(noCerts), cert.out(), &certLen,
                                                      digest.out(), &digestLen, subject.out())),
              0xa70e002du);
}

// Codecs: the four encodings back and forth, the content without its
// ContentInfo, the format check, input checks.
TEST(Pk7Codec, EncodingsContentAndChecks) {
    const std::string der = make(holder(), "SHA256");
    for (int encoding : {VCL_PK7_DER, VCL_PK7_PEM, VCL_PK7_BASE64, VCL_PK7_BASE64_LINES}) {
        Decoded d(der);
        Buf<char> text;
        int len = 0;
        ASSERT_EQ(VCL_PK7_encode_pkcs7(d.p, encoding, text.out(), &len), 0);
        EXPECT_EQ(VCL_PK7_Check_Format(encoding, text.p, len), 0) << encoding;
        Decoded back(text.str(len), encoding);
        Buf<char> again;
        int againLen = 0;
        ASSERT_EQ(VCL_PK7_encode_pkcs7(back.p, VCL_PK7_DER, again.out(), &againLen), 0);
        EXPECT_EQ(again.str(againLen), der);
    }
    // The SignedData without the ContentInfo: the element inside [0].
    Tlv outer, oid, explicitTag;
    ASSERT_TRUE(readTlv(der, 0, outer));
    ASSERT_TRUE(readTlv(der, outer.header, oid));
    ASSERT_TRUE(readTlv(der, outer.header + oid.total(), explicitTag));
    const std::string inner = der.substr(outer.header + oid.total() + explicitTag.header, explicitTag.length);
    Buf<char> out;
    int len = 0;
    ASSERT_EQ(VCL_PK7_Remove_ContentType(VCL_PK7_DER, der.data(), n(der), VCL_PK7_DER, out.out(), &len), 0);
    EXPECT_EQ(out.str(len), inner);
    // A data ContentInfo gives its OCTET STRING.
    const std::string data =
        "\x30\x13\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x07\x01\xa0\x06\x04\x04"
        "abcd";
    ASSERT_EQ(VCL_PK7_Remove_ContentType(VCL_PK7_DER, data.data(), n(data), VCL_PK7_DER, out.out(), &len), 0);
    EXPECT_EQ(out.str(len), std::string("\x04\x04"
                                        "abcd"));

    EXPECT_EQ(rc(VCL_PK7_Check_Format(VCL_PK7_DER, nullptr, 10)), 0xa7020002u);
    EXPECT_EQ(rc(VCL_PK7_Check_Format(VCL_PK7_DER, der.data(), 0)), 0xa7020005u);
    EXPECT_EQ(rc(VCL_PK7_Check_Format(VCL_PK7_PEM, der.data(), n(der))), 0xa7020045u);
    EXPECT_EQ(rc(VCL_PK7_Check_Format(7, der.data(), n(der))), 0xa7020016u);
    EXPECT_EQ(rc(VCL_PK7_Check_Format(VCL_PK7_DER, der.data(), 40)), 0xa702003du);
    // A certificate is one DER element, not a ContentInfo.
    const std::string cert = openssl({"x509", "-in", path("ee.pem"), "-outform", "DER"}).output;
    EXPECT_EQ(rc(VCL_PK7_Check_Format(VCL_PK7_DER, cert.data(), n(cert))), 0xa702003eu);
    P7_CONTENT_INFO* p7 = nullptr;
    EXPECT_EQ(rc(VCL_PK7_decode_pkcs7(VCL_PK7_DER, nullptr, 5, &p7)), 0xa7020002u);
    EXPECT_EQ(p7, nullptr);
}

}  // namespace
