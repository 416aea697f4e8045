// PKCS#7 enveloped and signed-and-enveloped data for an RSA recipient:
// ours opened by openssl cms -decrypt, openssl cms -encrypt's opened by ours.
#include <gtest/gtest.h>

#include <string>

#include <zunCore/pkcs7.h>

#include "Pkcs7Helpers.h"

namespace {

using namespace p7test;

// The recipient: km.der, whose key is rsa.pem (p8-aes.der under "pw").
const CERT_ITEM& recipient() {
    static const std::string der = file("km.der");
    static const CERT_ITEM item{const_cast<unsigned char*>(u(der)), n(der)};
    return item;
}

std::string envelope(const char* cipher, int mode, const void* key = nullptr, const void* iv = nullptr,
                     const std::string& data = kData) {
    Buf<char> out;
    int len = 0;
    const int got = VCL_PK7_Make_Enveloped_Data(data.data(), n(data), &recipient(), cipher, key, iv, VCL_PK7_DER,
                                                out.out(), &len, mode);
    EXPECT_EQ(got, 0) << std::hex << got;
    return out.str(len);
}

struct Opened {
    unsigned code = 0;
    std::string content, key, iv;
};

Opened open(const std::string& msg, const std::string& cert = file("km.der"),
            const std::string& key = file("p8-aes.der"), bool signedToo = false) {
    Buf<char> content;
    int len = 0;
    unsigned char cek[128], iv[128];
    int cekLen = 0, ivLen = 0;
    const auto fn = signedToo ? VCL_PK7_Verify_Signed_And_Enveloped_Data : VCL_PK7_Verify_Enveloped_Data;
    Opened o;
    o.code = rc(fn(VCL_PK7_DER, msg.data(), n(msg), cert.data(), n(cert), key.data(), n(key), kPw, cek, &cekLen, iv,
                   &ivLen, content.out(), &len));
    if (o.code == 0) {
        o.content = content.str(len);
        o.key.assign(reinterpret_cast<char*>(cek), static_cast<size_t>(cekLen));
        o.iv.assign(reinterpret_cast<char*>(iv), static_cast<size_t>(ivLen));
    }
    return o;
}

std::string opensslDecrypt(const std::string& msg, bool legacy) {
    const std::string out = temp("decrypted.bin", "");
    const auto r = openssl({"cms", "-decrypt", "-inform", "DER", "-in", temp("env.der", msg), "-recip", path("km.der"),
                            "-inkey", path("rsa.pem"), "-out", out},
                           {}, legacy);
    return r.status == 0 ? zqtest::readFile(out) : "<refused>";
}

TEST(Pk7Env, OursDecryptWithOpenssl) {
    struct Case {
        const char* cipher;
        int keyLen;
        int ivLen;
        bool legacy;
    };
    const Case cases[] = {{"SEED-CBC", 16, 16, true},
                          {"AES128-CBC", 16, 16, false},
                          {"AES256-CBC", 32, 16, false},
                          {"DES_EDE-CBC", 24, 8, false}};
    for (const Case& c : cases) {
        for (int mode : {VCL_PK7_RSAES_PKCS1_V15, VCL_PK7_RSAES_OAEP_V21}) {
            SCOPED_TRACE(std::string(c.cipher) + " " + std::to_string(mode));
            const std::string msg = envelope(c.cipher, mode);
            EXPECT_EQ(opensslDecrypt(msg, c.legacy), kData);
            // OAEP writes its parameters into the key transport algorithm.
            const std::string printed = openssl({"cms", "-cmsout", "-print", "-inform", "DER"}, msg).output;
            EXPECT_EQ(printed.find("rsaesOaep") != std::string::npos, mode == VCL_PK7_RSAES_OAEP_V21) << printed;
            const Opened o = open(msg);
            ASSERT_EQ(o.code, 0u);
            EXPECT_EQ(o.content, kData);
            EXPECT_EQ(static_cast<int>(o.key.size()), c.keyLen);
            EXPECT_EQ(static_cast<int>(o.iv.size()), c.ivLen);
        }
    }
}

TEST(Pk7Env, OpensslsOpenWithOurs) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        size_t keyLen;
    };
    const Case cases[] = {{"aes128", {"-aes128"}, 16},
                          {"aes256", {"-aes256"}, 32},
                          {"3des", {"-des3"}, 24},
                          {"oaep", {"-aes128", "-keyopt", "rsa_padding_mode:oaep"}, 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = temp("openssl-env.der", "");
        std::vector<std::string> args{
            "cms",  "-encrypt", "-binary", "-outform",    "DER", "-in", temp("data.bin", kData),
            "-out", out,        "-recip",  path("km.der")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ASSERT_EQ(openssl(args).status, 0);
        const Opened o = open(zqtest::readFile(out));
        ASSERT_EQ(o.code, 0u);
        EXPECT_EQ(o.content, kData);
        EXPECT_EQ(o.key.size(), c.keyLen);
    }
}

TEST(Pk7Env, KeysRecipientsAndRefusals) {
    // Key and IV given: the same encrypted content each time (and the key
    // comes back); random ones differ.
    const std::string key(16, 'k'), iv(16, 'i');
    const std::string a = envelope("AES128-CBC", 32, key.data(), iv.data());
    const std::string b = envelope("AES128-CBC", 32, key.data(), iv.data());
    const auto encryptedContent = [](const std::string& msg) {
        const std::string tail = msg.substr(msg.size() - 96);
        return tail;
    };
    EXPECT_EQ(encryptedContent(a), encryptedContent(b));
    EXPECT_NE(encryptedContent(envelope("AES128-CBC", 32)), encryptedContent(envelope("AES128-CBC", 32)));
    const Opened o = open(a);
    ASSERT_EQ(o.code, 0u);
    EXPECT_EQ(o.key, key);
    EXPECT_EQ(o.iv, iv);

    // A message for another recipient, a key that is not the certificate's.
    const std::string other = file("other.der");
    const CERT_ITEM otherItem{const_cast<unsigned char*>(u(other)), n(other)};
    Buf<char> out;
    int len = 0;
    ASSERT_EQ(VCL_PK7_Make_Enveloped_Data(kData.data(), n(kData), &otherItem, "SEED-CBC", nullptr, nullptr, VCL_PK7_DER,
                                          out.out(), &len, 32),
              0);
    EXPECT_EQ(open(out.str(len)).code, 0xa709004au);
    EXPECT_EQ(open(a, file("km.der"), file("ee-p8.der")).code, 0xa709004au);
    EXPECT_EQ(open(a, file("km.der"), file("p8-aes.der")).code, 0u);
    // A wrong password fails in opening the key.
    {
        Buf<char> content;
        int contentLen = 0;
        const std::string cert = file("km.der"), k = file("p8-aes.der");
        EXPECT_EQ(
            rc(VCL_PK7_Verify_Enveloped_Data(VCL_PK7_DER, a.data(), n(a), cert.data(), n(cert), k.data(), n(k), "wrong",
                                             nullptr, nullptr, nullptr, nullptr, content.out(), &contentLen)),
            0x4a070012u);
    }
    // Input checks: the data pointer is checked now.
    EXPECT_EQ(rc(VCL_PK7_Make_Enveloped_Data(nullptr, 10, &recipient(), "SEED-CBC", nullptr, nullptr, VCL_PK7_DER,
                                             out.out(), &len, 32)),
              0xa7080002u);
    EXPECT_EQ(rc(VCL_PK7_Make_Enveloped_Data(kData.data(), 0, &recipient(), "SEED-CBC", nullptr, nullptr, VCL_PK7_DER,
                                             out.out(), &len, 32)),
              0xa7080005u);
    EXPECT_EQ(rc(VCL_PK7_Make_Enveloped_Data(kData.data(), n(kData), nullptr, "SEED-CBC", nullptr, nullptr, VCL_PK7_DER,
                                             out.out(), &len, 32)),
              0xa7040002u);
    EXPECT_EQ(rc(VCL_PK7_Make_Enveloped_Data(kData.data(), n(kData), &recipient(), "SEED", nullptr, nullptr,
                                             VCL_PK7_DER, out.out(), &len, 32)),
              0xb1010010u);
    EXPECT_EQ(rc(VCL_PK7_Make_Enveloped_Data(kData.data(), n(kData), &recipient(), "SEED-CBC", nullptr, nullptr,
                                             VCL_PK7_DER, out.out(), &len, 5)),
              0xa7080049u);
    Buf<char> content;
    int contentLen = 0;
    EXPECT_EQ(rc(VCL_PK7_Verify_Enveloped_Data(VCL_PK7_DER, a.data(), 0, "c", 1, "k", 1, kPw, nullptr, nullptr, nullptr,
                                               nullptr, content.out(), &contentLen)),
              0xa7090005u);
    EXPECT_EQ(rc(VCL_PK7_Verify_Enveloped_Data(VCL_PK7_DER, a.data(), n(a), nullptr, 1, "k", 1, kPw, nullptr, nullptr,
                                               nullptr, nullptr, content.out(), &contentLen)),
              0xa7090002u);
}

TEST(Pk7Env, SignedAndEnvelopedRoundTrip) {
    const Signer s = holder();
    const Signer to(file("km.der"), file("p8-aes.der"));
    for (int mode : {VCL_PK7_RSAES_PKCS1_V15, VCL_PK7_RSAES_OAEP_V21}) {
        Buf<char> out;
        int len = 0;
        ASSERT_EQ(VCL_PK7_Make_Signed_And_Enveloped_Data(kData.data(), n(kData), to, s, "SHA256", nullptr, "SEED-CBC",
                                                         nullptr, nullptr, VCL_PK7_DER, out.out(), &len, mode),
                  0);
        const std::string msg = out.str(len);
        const Opened o = open(msg, file("km.der"), file("p8-aes.der"), true);
        ASSERT_EQ(o.code, 0u);
        EXPECT_EQ(o.content, kData);
        // signingTime and messageDigest, no contentType.
        const std::string parsed = openssl({"asn1parse", "-inform", "DER"}, msg).output;
        EXPECT_NE(parsed.find(":signingTime"), std::string::npos);
        EXPECT_NE(parsed.find(":messageDigest"), std::string::npos);
        EXPECT_EQ(parsed.find(":contentType"), std::string::npos);
        // A changed byte of the encrypted content, or of the signature.
        for (size_t at : {msg.size() - 5, msg.size() / 2}) {
            std::string changed = msg;
            changed[at] = static_cast<char>(changed[at] ^ 0x20);
            EXPECT_NE(open(changed, file("km.der"), file("p8-aes.der"), true).code, 0u) << at;
        }
        EXPECT_EQ(open(msg, file("other.der"), file("other.pem"), true).code, 0xa70b004au);
    }
}

}  // namespace
