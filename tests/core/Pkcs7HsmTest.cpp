// PKCS#7 signed data around signatures made outside (a token's, here
// openssl dgst's and our PKCS#1 signer's): the attributes to sign, the
// signature put in afterwards, the one-step makers, a further signer;
// openssl cms verifies the results.
#include <gtest/gtest.h>

#include <string>

#include <zunCore/pkcs1.h>
#include <zunCore/pkcs7.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/pkcs/pkcs7.h>

#include "Pkcs7Helpers.h"

namespace {

using namespace p7test;

// openssl's signature (PKCS#1 v1.5, SHA-256) of bytes with the holder's key.
std::string tokenSign(const std::string& bytes, const std::string& key = "ee.key") {
    return openssl({"dgst", "-sha256", "-sign", path(key)}, bytes).output;
}

struct TwoStep {
    std::string message;
    std::string attrs;
};

TwoStep init(const PKISTRINFO* s, const ASN1_TIME* time, int content = 1, int cert = 1, int random = 0,
             const char* hash = "SHA256") {
    Buf<char> attrs, out;
    int attrsLen = 0, len = 0;
    const int got =
        VCL_PK7_Make_Signed_Data_Init_HSM_With_Random(kData.data(), n(kData), s, hash, time, 1, cert, content, random,
                                                      VCL_PK7_DER, attrs.out(), &attrsLen, out.out(), &len);
    EXPECT_EQ(got, 0) << std::hex << got;
    return {out.str(len), attrs.str(attrsLen)};
}

std::string final(const std::string& message, const std::string& sig, unsigned want = 0) {
    Buf<char> out;
    int len = 0;
    EXPECT_EQ(rc(VCL_PK7_Make_Signed_Data_Final_HSM(VCL_PK7_DER, message.data(), n(message), sig.data(), n(sig),
                                                    VCL_PK7_DER, out.out(), &len)),
              want);
    return out.str(len);
}

TEST(Pk7Hsm, TwoStepMessagesVerifyWithOpenssl) {
    const Signer s = holder();
    ASN1_TIME* time = charToASN1_TIME("2024-02-29,19:05:09");
    for (const ASN1_TIME* t : {static_cast<const ASN1_TIME*>(time), static_cast<const ASN1_TIME*>(nullptr)}) {
        for (int content : {1, 0}) {
            SCOPED_TRACE(std::string(t ? "time" : "no time") + (content ? " attached" : " detached"));
            const TwoStep two = init(s, t, content);
            ASSERT_FALSE(two.attrs.empty());
            EXPECT_EQ(static_cast<unsigned char>(two.attrs[0]), 0x31);
            // The attributes: contentType, signingTime when a time is given,
            // messageDigest.
            const std::string parsed = openssl({"asn1parse", "-inform", "DER"}, two.attrs).output;
            EXPECT_NE(parsed.find(":contentType"), std::string::npos);
            EXPECT_NE(parsed.find(":messageDigest"), std::string::npos);
            EXPECT_EQ(parsed.find(":signingTime") != std::string::npos, t != nullptr);
            const std::string msg = final(two.message, tokenSign(two.attrs));
            const Verified v =
                content ? opensslVerify(msg) : opensslVerify(msg, {"-content", temp("content.bin", kData)});
            EXPECT_TRUE(v.ok);
            EXPECT_EQ(v.content, kData);
            {
                P7_CONTENT_INFO* p7 = nullptr;
                ASSERT_EQ(VCL_PK7_decode_pkcs7(VCL_PK7_DER, msg.data(), n(msg), &p7), 0);
                const auto* sd = static_cast<P7_SIGNED_DATA*>(p7->content);
                const auto* si = static_cast<P7_SIGNER_INFO*>(get_STACK_value(sd->signerInfos, 0));
                // An RSA SignerInfo of version 1 is labelled rsaEncryption.
                EXPECT_EQ(index_from_OBJECT_IDENTIFIER(si->digestEncryptionAlgorithm->algorithm), 6);
                EXPECT_EQ(VSC_Get_BIGINT_Word(sd->version), 1u);
                free_P7_CONTENT_INFO(p7);
            }
            // A signature over other bytes is not put in where it is checked.
            final(two.message, tokenSign(two.attrs + "x"), 0xa704003au);
        }
    }
    free_ASN1_TIME(time);
}

// The attributes alone (from the data or from a digest), signed outside,
// assembled around the content.
TEST(Pk7Hsm, AttributesSignedOutsideAssemble) {
    ASN1_TIME* time = charToASN1_TIME("2024-02-29,19:05:09");
    Buf<char> attrs, fromDigest, out;
    int attrsLen = 0, digestLen = 0, len = 0;
    ASSERT_EQ(VCL_PK7_Make_SignedData_Init(kData.data(), n(kData), "SHA256", time, attrs.out(), &attrsLen), 0);
    const std::string digest = openssl({"dgst", "-sha256", "-binary"}, kData).output;
    ASSERT_EQ(VCL_PK7_Make_Authenticated_Attribute(digest.data(), n(digest), time, fromDigest.out(), &digestLen), 0);
    const std::string a = attrs.str(attrsLen);
    EXPECT_EQ(fromDigest.str(digestLen), a);
    const std::string pem = file("ee.pem");
    const CERT_ITEM cert{const_cast<unsigned char*>(u(pem)), n(pem)};
    const std::string sig = tokenSign(a);
    ASSERT_EQ(VCL_PK7_Make_Signed_Data_With_SignData(kData.data(), n(kData), &cert, "SHA256", 1, 1, 1, VCL_PK7_DER,
                                                     sig.data(), n(sig), a.data(), n(a), out.out(), &len),
              0);
    const Verified v = opensslVerify(out.str(len));
    EXPECT_TRUE(v.ok);
    EXPECT_EQ(v.content, kData);
    // Attributes that do not read, or a signature over others.
    EXPECT_EQ(rc(VCL_PK7_Make_Signed_Data_With_SignData(kData.data(), n(kData), &cert, "SHA256", 1, 1, 1, VCL_PK7_DER,
                                                        sig.data(), n(sig), a.data(), 0, out.out(), &len)),
              0xa7040037u);
    EXPECT_EQ(rc(VCL_PK7_Make_Signed_Data_With_SignData(kData.data(), n(kData), &cert, "SHA256", 1, 1, 1, VCL_PK7_DER,
                                                        sig.data(), n(sig), a.data(), n(a) - 10, out.out(), &len)),
              0xa7040037u);
    const std::string other = tokenSign(a + "x");
    EXPECT_EQ(rc(VCL_PK7_Make_Signed_Data_With_SignData(kData.data(), n(kData), &cert, "SHA256", 1, 1, 1, VCL_PK7_DER,
                                                        other.data(), n(other), a.data(), n(a), out.out(), &len)),
              0xa704003au);
    EXPECT_EQ(rc(VCL_PK7_Make_SignedData_Init(kData.data(), n(kData), "SHA", time, attrs.out(), &attrsLen)),
              0xa7040005u);
    free_ASN1_TIME(time);
}

// One step: a signature made beforehand over the attributes the maker
// rebuilds; a signature over other attributes (another time, other data)
// is refused instead of making a message nothing verifies.
TEST(Pk7Hsm, OneStepMakerChecksTheSignature) {
    const Signer s = holder();
    ASN1_TIME* time = charToASN1_TIME("2024-02-29,19:05:09");
    ASN1_TIME* later = charToASN1_TIME("2024-02-29,19:05:10");
    for (const ASN1_TIME* t : {static_cast<const ASN1_TIME*>(time), static_cast<const ASN1_TIME*>(nullptr)}) {
        const std::string sig = tokenSign(init(s, t).attrs);
        Buf<char> out;
        int len = 0;
        ASSERT_EQ(VCL_PK7_Make_Signed_Data_HSM(kData.data(), n(kData), s, "SHA256", t, VCL_PK7_DER, sig.data(), n(sig),
                                               out.out(), &len),
                  0);
        const Verified v = opensslVerify(out.str(len));
        EXPECT_TRUE(v.ok);
        EXPECT_EQ(v.content, kData);
        int len2 = -1;
        Buf<char> refused;
        EXPECT_EQ(rc(VCL_PK7_Make_Signed_Data_HSM(kData.data(), n(kData), s, "SHA256", t ? later : time, VCL_PK7_DER,
                                                  sig.data(), n(sig), refused.out(), &len2)),
                  0xa704003au);
        EXPECT_FALSE(refused);
        EXPECT_EQ(len2, -1);
        const std::string other = kData + ".";
        EXPECT_EQ(rc(VCL_PK7_Make_Signed_Data_HSM(other.data(), n(other), s, "SHA256", t, VCL_PK7_DER, sig.data(),
                                                  n(sig), refused.out(), &len2)),
                  0xa704003au);
    }
    free_ASN1_TIME(time);
    free_ASN1_TIME(later);
}

// A token's signer added to a message: its key field holds the random, not
// a key; no signingTime is made up when none is given, so a signature over
// the attributes Init hands out fits.
TEST(Pk7Hsm, TokenSignerAddsToAMessage) {
    const std::string msg = [] {
        const Signer s = holder();
        Buf<char> out;
        int len = 0;
        EXPECT_EQ(
            VCL_PK7_Make_Signed_Data(kData.data(), n(kData), s, "SHA256", nullptr, 1, VCL_PK7_DER, out.out(), &len), 0);
        return out.str(len);
    }();
    const Signer token(file("cert.pem"), "0123456789abcdef0123");
    const std::string sig = tokenSign(init(token, nullptr).attrs, "rsa.pem");
    Buf<char> out;
    int len = 0;
    ASSERT_EQ(VCL_PK7_Add_Signed_Data_HSM(VCL_PK7_DER, msg.data(), n(msg), token, "SHA256", nullptr, VCL_PK7_DER,
                                          sig.data(), n(sig), out.out(), &len),
              0);
    const std::string two = out.str(len);
    const Verified v = opensslVerify(two);
    EXPECT_TRUE(v.ok);
    EXPECT_EQ(v.content, kData);
    int count = 0;
    ASSERT_EQ(VCL_PK7_Get_Signer_Count(VCL_PK7_DER, two.data(), n(two), &count), 0);
    EXPECT_EQ(count, 2);
    // Another signature, or a time the token did not sign.
    ASN1_TIME* time = charToASN1_TIME("2024-02-29,19:05:09");
    EXPECT_EQ(rc(VCL_PK7_Add_Signed_Data_HSM(VCL_PK7_DER, msg.data(), n(msg), token, "SHA256", time, VCL_PK7_DER,
                                             sig.data(), n(sig), out.out(), &len)),
              0xa704003au);
    const std::string bad = tokenSign("other", "rsa.pem");
    EXPECT_EQ(rc(VCL_PK7_Add_Signed_Data_HSM(VCL_PK7_DER, msg.data(), n(msg), token, "SHA256", nullptr, VCL_PK7_DER,
                                             bad.data(), n(bad), out.out(), &len)),
              0xa704003au);
    // With the random of the token's key field, keyed from the given time.
    const TwoStep withRandom = init(token, time, 1, 1, 1);
    const std::string sig2 = tokenSign(withRandom.attrs, "rsa.pem");
    ASSERT_EQ(VCL_PK7_Add_Signed_Data_HSM_With_Random(VCL_PK7_DER, msg.data(), n(msg), token, "SHA256", time, 1, 1, 1,
                                                      1, VCL_PK7_DER, sig2.data(), n(sig2), out.out(), &len),
              0);
    EXPECT_TRUE(opensslVerify(out.str(len)).ok);
    free_ASN1_TIME(time);
}

TEST(Pk7Hsm, InitAndFinalRefusals) {
    const Signer s = holder();
    Buf<char> attrs, out;
    int attrsLen = -1, len = -1;
    // Without a SignerInfo there are no attributes to hand out.
    EXPECT_EQ(rc(VCL_PK7_Make_Signed_Data_Init_HSM_With_Option(kData.data(), n(kData), s, "SHA256", nullptr, 0, 1, 1,
                                                               VCL_PK7_DER, attrs.out(), &attrsLen, out.out(), &len)),
              0xa7040005u);
    // The random is keyed from the signing time.
    EXPECT_EQ(rc(VCL_PK7_Make_Signed_Data_Init_HSM_With_Random(kData.data(), n(kData), s, "SHA256", nullptr, 1, 1, 1, 1,
                                                               VCL_PK7_DER, attrs.out(), &attrsLen, out.out(), &len)),
              0xa7200005u);
    EXPECT_FALSE(attrs);
    EXPECT_FALSE(out);
    EXPECT_EQ(attrsLen, -1);
    EXPECT_EQ(rc(VCL_PK7_Make_Signed_Data_Init_HSM(nullptr, 5, s, "SHA256", nullptr, VCL_PK7_DER, attrs.out(),
                                                   &attrsLen, out.out(), &len)),
              0xa7040005u);
    // Final: no SignerInfo, no signature.
    const std::string degenerate =
        openssl({"crl2pkcs7", "-nocrl", "-certfile", path("ee.pem"), "-outform", "DER"}).output;
    EXPECT_EQ(rc(VCL_PK7_Make_Signed_Data_Final_HSM(VCL_PK7_DER, degenerate.data(), n(degenerate), "sig", 3,
                                                    VCL_PK7_DER, out.out(), &len)),
              0xa7040029u);
    EXPECT_EQ(rc(VCL_PK7_Make_Signed_Data_Final_HSM(VCL_PK7_DER, degenerate.data(), n(degenerate), "sig", 0,
                                                    VCL_PK7_DER, out.out(), &len)),
              0xa7040005u);
}

// A KCDSA token's signature keeps its KCDSA label through Final (it was
// relabelled rsaEncryption); a SignerInfo of version 0 keeps its label.
TEST(Pk7Hsm, FinalRelabelsRsaOnly) {
    const keytest::KcdsaFiles k = keytest::kcdsaFiles(kPw);
    const Signer kcdsa(k.cert, k.key);
    const TwoStep two = init(kcdsa, nullptr, 1, 1, 0, "HAS160");
    Buf<unsigned char> sig;
    int sigLen = 0;
    ASSERT_EQ(VCL_PK1_Private_Sign(u(k.key), n(k.key), kPw, 2, VCL_SIGN_KCDSA, "HAS160", u(two.attrs), n(two.attrs),
                                   sig.out(), &sigLen, VCL_PK1_RAW),
              0);
    const std::string msg = final(two.message, sig.str(sigLen));
    const auto rowOf = [](const std::string& der) {
        P7_CONTENT_INFO* p7 = nullptr;
        EXPECT_EQ(VCL_PK7_decode_pkcs7(VCL_PK7_DER, der.data(), n(der), &p7), 0);
        const auto* sd = static_cast<P7_SIGNED_DATA*>(p7->content);
        const auto* si = static_cast<P7_SIGNER_INFO*>(get_STACK_value(sd->signerInfos, 0));
        const int row = index_from_OBJECT_IDENTIFIER(si->digestEncryptionAlgorithm->algorithm);
        free_P7_CONTENT_INFO(p7);
        return row;
    };
    EXPECT_EQ(rowOf(msg), 783);
    Buf<char> content;
    int len = 0;
    ASSERT_EQ(VCL_PK7_Verify_Signed_Data(VCL_PK7_DER, msg.data(), n(msg), content.out(), &len), 0);
    EXPECT_EQ(content.str(len), kData);

    // Version 0: the RSA label stays as the SignerInfo was made.
    const Signer s = holder();
    const TwoStep rsa = init(s, nullptr);
    P7_CONTENT_INFO* p7 = nullptr;
    ASSERT_EQ(VCL_PK7_decode_pkcs7(VCL_PK7_DER, rsa.message.data(), n(rsa.message), &p7), 0);
    ASSERT_EQ(set_P7_version(p7, 0), 0);
    Buf<char> v0;
    int v0Len = 0;
    ASSERT_EQ(VCL_PK7_encode_pkcs7(p7, VCL_PK7_DER, v0.out(), &v0Len), 0);
    free_P7_CONTENT_INFO(p7);
    const std::string signed0 = final(v0.str(v0Len), tokenSign(rsa.attrs));
    EXPECT_EQ(rowOf(signed0), 668);
    EXPECT_TRUE(opensslVerify(signed0).ok);
}

}  // namespace
