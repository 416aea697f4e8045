// RSA encryption and signatures against openssl dgst and pkeyutl, and KCDSA
// signatures with a key of the standard's examples.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <zunCore/keys.h>
#include <zunCore/pkcs1.h>
#include <zunCore/pkcs8.h>
#include <zunCore/x509_conv.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/pkcs/pkcs5.h>
#include <zunPKI/pkcs/pkcs8.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_key.h>

#include "DigestInfoForms.h"
#include "KeyHelpers.h"

namespace {

using coretest::Buf;
using coretest::rc;
using keytest::file;
using keytest::n;
using keytest::path;
using keytest::temp;
using keytest::u;

const char kPw[] = "pw";
const int kPwLen = 2;
const std::string kData = "log-in nonce 0123456789 and some more data to sign";

std::string sign(const std::string& key, unsigned char scheme, const char* hash, int encoding = VCL_PK1_RAW) {
    Buf<unsigned char> sig;
    int len = 0;
    const int got =
        VCL_PK1_Private_Sign(u(key), n(key), kPw, kPwLen, scheme, hash, u(kData), n(kData), sig.out(), &len, encoding);
    EXPECT_EQ(got, 0) << std::hex << got;
    return sig.str(len);
}

// openssl dgst -verify with the PSS salt length where given.
bool opensslVerifies(const std::string& sig, const char* digest, int pssSalt) {
    std::vector<std::string> args{"dgst",       std::string("-") + digest, "-verify", path("pub.pem"),
                                  "-signature", temp("sig.bin", sig)};
    if (pssSalt > 0)
        args.insert(args.end(),
                    {"-sigopt", "rsa_padding_mode:pss", "-sigopt", "rsa_pss_saltlen:" + std::to_string(pssSalt)});
    args.push_back(temp("data.bin", kData));
    return keytest::openssl(args).status == 0;
}

struct SignCase {
    unsigned char scheme;
    const char* hash;
    const char* digest;
    int salt;
};
const SignCase kSignCases[] = {
    {VCL_SIGN_PKCS1_V15, "SHA1", "sha1", 0},     {VCL_SIGN_PKCS1_V15, "SHA224", "sha224", 0},
    {VCL_SIGN_PKCS1_V15, "SHA256", "sha256", 0}, {VCL_SIGN_PSS, "SHA1", "sha1", 20},
    {VCL_SIGN_PSS, "SHA224", "sha224", 28},      {VCL_SIGN_PSS, "SHA256", "sha256", 32},
};

TEST(Pkcs1Signatures, OpensslVerifiesOurs) {
    const std::string key = file("p8-aes.der"), cert = file("cert.der");
    for (const auto& c : kSignCases) {
        SCOPED_TRACE(std::string(c.hash) + " scheme " + std::to_string(c.scheme));
        const std::string sig = sign(key, c.scheme, c.hash);
        ASSERT_EQ(sig.size(), 256u);
        EXPECT_TRUE(opensslVerifies(sig, c.digest, c.salt));
        EXPECT_EQ(
            VCL_PK1_Public_Verify(u(cert), n(cert), c.scheme, c.hash, u(kData), n(kData), u(sig), n(sig), VCL_PK1_RAW),
            0);

        // The same over a digest the caller made.
        const std::string digest = keytest::openssl({"dgst", std::string("-") + c.digest, "-binary"}, kData).output;
        Buf<unsigned char> out;
        int len = 0;
        ASSERT_EQ(VCL_PK1_PK8file_Hashvalue_Sign(u(key), n(key), kPw, kPwLen, c.scheme, c.hash, u(digest), n(digest),
                                                 out.out(), &len, VCL_PK1_RAW),
                  0);
        EXPECT_TRUE(opensslVerifies(out.str(len), c.digest, c.salt));
        if (c.scheme == VCL_SIGN_PKCS1_V15) EXPECT_EQ(out.str(len), sig);  // deterministic
    }
}

TEST(Pkcs1Signatures, OpensslSignaturesVerifyAndAChangedByteDoesNot) {
    const std::string cert = file("cert.der");
    for (const auto& c : kSignCases) {
        SCOPED_TRACE(std::string(c.hash) + " scheme " + std::to_string(c.scheme));
        std::vector<std::string> args{"dgst", std::string("-") + c.digest, "-sign", path("rsa.pem")};
        if (c.salt)
            args.insert(args.end(),
                        {"-sigopt", "rsa_padding_mode:pss", "-sigopt", "rsa_pss_saltlen:" + std::to_string(c.salt)});
        std::string sig = keytest::openssl(args, kData).output;
        ASSERT_EQ(sig.size(), 256u);
        EXPECT_EQ(
            VCL_PK1_Public_Verify(u(cert), n(cert), c.scheme, c.hash, u(kData), n(kData), u(sig), n(sig), VCL_PK1_RAW),
            0);
        sig[100] = static_cast<char>(sig[100] ^ 0x01);
        EXPECT_EQ(rc(VCL_PK1_Public_Verify(u(cert), n(cert), c.scheme, c.hash, u(kData), n(kData), u(sig), n(sig),
                                           VCL_PK1_RAW)),
                  0xa5010053u);
    }
    const std::string bad = "***not base64***";
    EXPECT_EQ(
        rc(VCL_PK1_Public_Verify(u(cert), n(cert), 1, "SHA256", u(kData), n(kData), u(bad), n(bad), VCL_PK1_BASE64)),
        0xa50a0024u);
}

// A v1.5 signature verifies only over the DER DigestInfo, as openssl's: a
// block holding the same digest in another byte form (which the DigestInfo
// reader, meant for looking into blocks, still reads) would be a second
// signature of the same data.
TEST(Pkcs1Signatures, OnlyTheDerDigestInfoVerifies) {
    const std::string cert = file("cert.der");
    const std::string digest = keytest::openssl({"dgst", "-sha256", "-binary"}, kData).output;
    for (const auto& form : zqtest::sha256DigestInfoForms(digest)) {
        SCOPED_TRACE(form.name);
        const bool der = std::string(form.name) == "DER";
        const std::string sig = zqtest::signRawBlock(path("rsa.pem"), form.bytes);
        ASSERT_EQ(sig.size(), 256u);
        EXPECT_EQ(zqtest::opensslVerifiesSha256(path("rsa.pem"), digest, sig), der);
        EXPECT_EQ(rc(VCL_PK1_Public_Verify(u(cert), n(cert), VCL_SIGN_PKCS1_V15, "SHA256", u(kData), n(kData), u(sig),
                                           n(sig), VCL_PK1_RAW)),
                  der ? 0u : 0xa5010053u);
    }
    for (const char* lenient : {"wrapper SEQUENCE", "no NULL"}) {
        for (const auto& form : zqtest::sha256DigestInfoForms(digest)) {
            if (std::string(form.name) != lenient) continue;
            DIGEST_INFO_TEXT text{};
            EXPECT_EQ(VCL_binary_to_X509_SIGN(u(form.bytes), n(form.bytes), &text), 0) << lenient;
            EXPECT_EQ(text.digestLen, 32);
            std::free(text.algorithm);
            std::free(text.digest);
        }
    }
}

TEST(Pkcs1Signatures, Encodings) {
    const std::string key = file("rsa.pem");
    const std::string raw = sign(key, VCL_SIGN_PKCS1_V15, "SHA256");
    const std::string line = sign(key, VCL_SIGN_PKCS1_V15, "SHA256", VCL_PK1_BASE64);
    const std::string lines = sign(key, VCL_SIGN_PKCS1_V15, "SHA256", VCL_PK1_BASE64_LINES);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(lines.find('\n'), 64u);
    EXPECT_EQ(keytest::openssl({"base64", "-d", "-A"}, line).output, raw);
    EXPECT_EQ(keytest::openssl({"base64", "-d"}, lines).output, raw);
    // A Base64 signature verifies in that encoding.
    const std::string cert = file("cert.pem");
    EXPECT_EQ(VCL_PK1_Public_Verify(u(cert), n(cert), 1, "SHA256", u(kData), n(kData), u(lines), n(lines),
                                    VCL_PK1_BASE64_LINES),
              0);
}

TEST(Pkcs1Encryption, OpensslDecryptsOurs) {
    const std::string cert = file("cert.pem"), secret = "a 16-byte secret";
    struct Case {
        unsigned char scheme;
        const char* hash;
        std::vector<std::string> opts;
    } cases[] = {
        {VCL_RSA_PKCS1_V15, "SHA1", {}},
        {VCL_RSA_OAEP,
         "SHA256",
         {"-pkeyopt", "rsa_padding_mode:oaep", "-pkeyopt", "rsa_oaep_md:sha256", "-pkeyopt", "rsa_mgf1_md:sha256"}},
        {VCL_RSA_OAEP_V21, "SHA1", {"-pkeyopt", "rsa_padding_mode:oaep"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scheme);
        Buf<unsigned char> out;
        int len = 0;
        ASSERT_EQ(VCL_PK1_Public_Encrypt_ex(u(cert), n(cert), c.scheme, u(secret), n(secret), out.out(), &len,
                                            VCL_PK1_RAW, c.hash),
                  0);
        EXPECT_EQ(len, 256);
        std::vector<std::string> args{"pkeyutl", "-decrypt", "-inkey", path("rsa.pem")};
        args.insert(args.end(), c.opts.begin(), c.opts.end());
        EXPECT_EQ(keytest::openssl(args, out.str(len)).output, secret);
        // And back with our private key, in Base64.
        Buf<unsigned char> b64, back;
        int b64Len = 0, backLen = 0;
        ASSERT_EQ(VCL_PK1_Public_Encrypt_ex(u(cert), n(cert), c.scheme, u(secret), n(secret), b64.out(), &b64Len,
                                            VCL_PK1_BASE64, c.hash),
                  0);
        const std::string key = file("p8-seed.der");
        ASSERT_EQ(VCL_PK1_Private_Decrypt_ex(u(key), n(key), kPw, kPwLen, c.scheme, b64.p, b64Len, back.out(), &backLen,
                                             VCL_PK1_BASE64, c.hash),
                  0);
        EXPECT_EQ(back.str(backLen), secret);
    }
}

TEST(Pkcs1Encryption, OpensslCiphertextsOpenUnderEveryScheme) {
    const std::string key = file("p8-kisa.der"), secret = "premaster secret";
    struct Case {
        const char* what;
        std::vector<std::string> opts;
        unsigned char scheme;
    } cases[] = {
        {"v1.5", {}, VCL_RSA_PKCS1_V15},
        {"OAEP", {"-pkeyopt", "rsa_padding_mode:oaep"}, VCL_RSA_OAEP},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args{"pkeyutl", "-encrypt", "-pubin", "-inkey", path("pub.pem")};
        args.insert(args.end(), c.opts.begin(), c.opts.end());
        const std::string cipher = keytest::openssl(args, secret).output;
        ASSERT_EQ(cipher.size(), 256u);
        Buf<unsigned char> out;
        int len = 0;
        ASSERT_EQ(VCL_PK1_Private_Decrypt(u(key), n(key), kPw, kPwLen, c.scheme, u(cipher), n(cipher), out.out(), &len,
                                          VCL_PK1_RAW),
                  0);
        EXPECT_EQ(out.str(len), secret);
        EXPECT_EQ(out.p[len], 0);
        unsigned char used = 0xff;
        ASSERT_EQ(VCL_PK1_Private_Decrypt_all(u(key), n(key), kPw, kPwLen, u(cipher), n(cipher), out.out(), &len,
                                              VCL_PK1_RAW, &used),
                  0);
        EXPECT_EQ(out.str(len), secret);
        EXPECT_EQ(used, c.scheme);
    }
    // Bytes that are no ciphertext: every scheme fails, and raw RSA is not
    // taken for a plaintext.
    const std::string random = keytest::openssl({"rand", "255"}).output;
    Buf<unsigned char> out;
    int len = 0;
    unsigned char used = 0xff;
    EXPECT_EQ(rc(VCL_PK1_Private_Decrypt_all(u(key), n(key), kPw, kPwLen, u(random), n(random), out.out(), &len,
                                             VCL_PK1_RAW, &used)),
              0xa5010051u);
    EXPECT_FALSE(out);
    EXPECT_EQ(used, 0xff);
    const std::string cert = file("cert.der");
    EXPECT_NE(VCL_PK1_Public_Decrypt_all(u(cert), n(cert), u(random), n(random), out.out(), &len, VCL_PK1_RAW, &used),
              0);
    EXPECT_FALSE(out);
}

TEST(Pkcs1Encryption, PrivateKeyOperationsBothWays) {
    const std::string key = file("p8-aes.der"), cert = file("cert.der"), data = "a hash to recover";
    // Ours recovers with openssl pkeyutl -verifyrecover.
    Buf<unsigned char> out;
    int len = 0;
    ASSERT_EQ(VCL_PK1_Private_Encrypt(u(key), n(key), kPw, kPwLen, VCL_RSA_PKCS1_V15, u(data), n(data), out.out(), &len,
                                      VCL_PK1_RAW),
              0);
    EXPECT_EQ(keytest::openssl({"pkeyutl", "-verifyrecover", "-pubin", "-inkey", path("pub.pem")}, out.str(len)).output,
              data);
    unsigned char used = 0;
    Buf<unsigned char> back;
    int backLen = 0;
    ASSERT_EQ(VCL_PK1_Public_Decrypt_all(u(cert), n(cert), out.p, len, back.out(), &backLen, VCL_PK1_RAW, &used), 0);
    EXPECT_EQ(back.str(backLen), data);
    EXPECT_EQ(used, VCL_RSA_PKCS1_V15);
    // openssl pkeyutl -sign output opens with the certificate.
    const std::string sig = keytest::openssl({"pkeyutl", "-sign", "-inkey", path("rsa.pem")}, data).output;
    ASSERT_EQ(
        VCL_PK1_Public_Decrypt(u(cert), n(cert), VCL_RSA_PKCS1_V15, u(sig), n(sig), back.out(), &backLen, VCL_PK1_RAW),
        0);
    EXPECT_EQ(back.str(backLen), data);

    EXPECT_EQ(rc(VCL_PK1_Private_Encrypt_ex(u(key), n(key), kPw, kPwLen, 32, u(data), 0, out.out(), &len, VCL_PK1_RAW,
                                            "SHA1")),
              0xa5050005u);
    EXPECT_EQ(
        rc(VCL_PK1_Public_Encrypt_ex(u(cert), n(cert), 7, u(data), n(data), out.out(), &len, VCL_PK1_RAW, "SHA1")),
        0xa5010013u);
    const std::string tooLong(300, 'x');
    EXPECT_EQ(rc(VCL_PK1_Public_Encrypt(u(cert), n(cert), VCL_RSA_PKCS1_V15, u(tooLong), n(tooLong), out.out(), &len,
                                        VCL_PK1_RAW)),
              0xa5010050u);
    EXPECT_FALSE(out);
}

// ---- KCDSA ---------------------------------------------------------------------

TEST(KcdsaSignatures, RoundTripAndRefusalsOfRsaOperations) {
    const keytest::KcdsaFiles k = keytest::kcdsaFiles(kPw);
    ASSERT_FALSE(k.key.empty());
    ASSERT_FALSE(k.cert.empty());
    int kind = 0;
    ASSERT_EQ(VCL_COM_GetPrivateKeyType(u(k.key), n(k.key), kPw, kPwLen, &kind), 0);
    EXPECT_EQ(kind, VCL_KEY_KIND_KCDSA);
    for (const char* hash : {"HAS160", "SHA256"}) {
        SCOPED_TRACE(hash);
        Buf<unsigned char> sig;
        int len = 0;
        ASSERT_EQ(VCL_PK1_Private_Sign(u(k.key), n(k.key), kPw, kPwLen, VCL_SIGN_KCDSA, hash, u(kData), n(kData),
                                       sig.out(), &len, VCL_PK1_RAW),
                  0);
        // The DER of (r, s), shorter than three times the length of q.
        EXPECT_EQ(sig.p[0], 0x30);
        EXPECT_LT(len, 3 * 20);
        std::string s = sig.str(len);
        EXPECT_EQ(VCL_PK1_Public_Verify(u(k.cert), n(k.cert), VCL_SIGN_KCDSA, hash, u(kData), n(kData), u(s), n(s),
                                        VCL_PK1_RAW),
                  0);
        s[len - 3] = static_cast<char>(s[len - 3] ^ 0x10);
        EXPECT_EQ(rc(VCL_PK1_Public_Verify(u(k.cert), n(k.cert), VCL_SIGN_KCDSA, hash, u(kData), n(kData), u(s), n(s),
                                           VCL_PK1_RAW)),
                  0xa5010053u);
    }
    // The RSA-only operations take no KCDSA key.
    Buf<unsigned char> out;
    int len = 0;
    EXPECT_EQ(rc(VCL_PK1_Private_Encrypt(u(k.key), n(k.key), kPw, kPwLen, 32, u(kData), n(kData), out.out(), &len,
                                         VCL_PK1_RAW)),
              0xa5050040u);
    EXPECT_EQ(rc(VCL_PK1_Private_Decrypt(u(k.key), n(k.key), kPw, kPwLen, 32, u(kData), n(kData), out.out(), &len,
                                         VCL_PK1_RAW)),
              0xa5060040u);
    EXPECT_EQ(rc(VCL_PK1_Public_Encrypt(u(k.cert), n(k.cert), 32, u(kData), n(kData), out.out(), &len, VCL_PK1_RAW)),
              0xa50b0040u);
    EXPECT_EQ(rc(VCL_PK1_Public_Decrypt(u(k.cert), n(k.cert), 32, u(kData), n(kData), out.out(), &len, VCL_PK1_RAW)),
              0xa5060040u);
    const std::string digest(32, 'd');
    EXPECT_EQ(rc(VCL_PK1_PK8file_Hashvalue_Sign(u(k.key), n(k.key), kPw, kPwLen, 1, "SHA256", u(digest), n(digest),
                                                out.out(), &len, VCL_PK1_RAW)),
              0xa5120040u);
    RSAINFO* info = nullptr;
    EXPECT_EQ(rc(VCL_PK1_Privatekey_To_RSAINFO(u(k.key), n(k.key), kPw, kPwLen, &info)), 0xa4050040u);
    EXPECT_EQ(rc(VCL_PK1_Cert_To_RSAINFO(u(k.cert), n(k.cert), &info)), 0xa4060040u);
    EXPECT_FALSE(out);
    // An EC key signs nothing.
    const std::string ec = file("ec-p8.der");
    EXPECT_EQ(rc(VCL_PK1_Private_Sign(u(ec), n(ec), nullptr, 0, 1, "SHA256", u(kData), n(kData), out.out(), &len,
                                      VCL_PK1_RAW)),
              0xa8050040u);
}

}  // namespace
