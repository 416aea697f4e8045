// The PKCS#5 wrappers: derivations against openssl kdf and python's
// hashlib, the schemes opened by openssl enc under keys derived by the peers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <zunCore/cipher.h>
#include <zunCore/pkcs5.h>
#include <zunCore/util.h>

#include "CoreHelpers.h"

namespace {

using coretest::Buf;
using coretest::rc;

const unsigned char* u8(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
int len(const std::string& s) { return static_cast<int>(s.size()); }

std::string hex(const std::string& s) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

// Python's answer (one line) to a snippet given the password, hex salt and
// iteration count in argv.
std::string py(const std::string& code, const std::string& pw, const std::string& salt, int iterations) {
    const auto r =
        zqtest::run({zqtest::kPython, "-c", "import hashlib, sys\n" + code, pw, hex(salt), std::to_string(iterations)});
    EXPECT_EQ(r.status, 0) << code;
    return trimmed(r.output);
}

const char kPbkdf1[] =
    "pw, salt, c = sys.argv[1].encode(), bytes.fromhex(sys.argv[2]), int(sys.argv[3])\n"
    "def pbkdf1(h, n):\n"
    "    d = pw + salt\n"
    "    for _ in range(c):\n"
    "        d = hashlib.new(h, d).digest()\n"
    "    return d[:n]\n";

std::string opensslDecrypt(const std::string& cipher, const std::string& keyHex, const std::string& ivHex,
                           const std::string& data) {
    const auto r = zqtest::run({"openssl", "enc", "-d", "-" + cipher, "-K", keyHex, "-iv", ivHex, "-provider", "legacy",
                                "-provider", "default"},
                               data, {"OPENSSL_CONF=/dev/null"});
    return r.status == 0 ? r.output : "failed";
}

const std::string kPassword = "correct horse";
const std::string kSalt = std::string("\x01\x02\x03\x04\xfa\xfb\xfc\xfd", 8);

TEST(CorePkcs5, Pbkdf2EqualsOpensslAndHashlib) {
    const std::pair<const char*, const char*> digests[] = {
        {"SHA1", "sha1"}, {"SHA256", "sha256"}, {"SHA512", "sha512"}};
    for (const auto& [ours, peer] : digests) {
        for (int dkLen : {16, 32, 65}) {
            SCOPED_TRACE(std::string(ours) + " " + std::to_string(dkLen));
            std::vector<unsigned char> dk(static_cast<size_t>(dkLen));
            ASSERT_EQ(
                VCL_PK5_PBKDF2(kPassword.c_str(), len(kPassword), u8(kSalt), len(kSalt), 1000, ours, dk.data(), dkLen),
                0);
            const std::string got = hex(std::string(dk.begin(), dk.end()));
            const auto kdf = zqtest::run(
                {"openssl", "kdf", "-keylen", std::to_string(dkLen), "-kdfopt", std::string("digest:") + peer,
                 "-kdfopt", "pass:" + kPassword, "-kdfopt", "hexsalt:" + hex(kSalt), "-kdfopt", "iter:1000", "PBKDF2"},
                {}, {"OPENSSL_CONF=/dev/null"});
            std::string expected;
            for (char c : trimmed(kdf.output))
                if (c != ':') expected += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            EXPECT_EQ(got, expected);
            EXPECT_EQ(got, py(std::string("pw, salt, c = sys.argv[1].encode(), bytes.fromhex(sys.argv[2]), "
                                          "int(sys.argv[3])\nprint(hashlib.pbkdf2_hmac('") +
                                  peer + "', pw, salt, c, " + std::to_string(dkLen) + ").hex())",
                              kPassword, kSalt, 1000));
        }
    }
}

TEST(CorePkcs5, Pbkdf1EqualsHashlib) {
    for (const auto& [ours, peer, n] : {std::tuple{"SHA1", "sha1", 20}, std::tuple{"MD5", "md5", 16}}) {
        std::vector<unsigned char> dk(static_cast<size_t>(n));
        ASSERT_EQ(VCL_PK5_PBKDF1(kPassword.c_str(), len(kPassword), u8(kSalt), len(kSalt), 2048, ours, n, dk.data()),
                  0);
        EXPECT_EQ(hex(std::string(dk.begin(), dk.end())),
                  py(std::string(kPbkdf1) + "print(pbkdf1('" + peer + "', " + std::to_string(n) + ").hex())", kPassword,
                     kSalt, 2048))
            << ours;
    }
    // No more than the digest gives.
    std::vector<unsigned char> dk(21);
    EXPECT_NE(VCL_PK5_PBKDF1(kPassword.c_str(), len(kPassword), u8(kSalt), len(kSalt), 1, "SHA1", 21, dk.data()), 0);
}

TEST(CorePkcs5, Pbes2OpensByOpensslUnderThePeersKey) {
    const std::string plain = "private key bytes, 40 of them, or so...";
    struct Case {
        const char* cipher;
        const char* hash;
        const char* peerCipher;
        const char* peerDigest;
        int keyLen;
    };
    for (const Case& c :
         {Case{"AES256-CBC", "SHA256", "aes-256-cbc", "SHA256", 32}, Case{"SEED-CBC", "SHA1", "seed-cbc", "SHA1", 16},
          Case{"ARIA-CBC", "SHA512", "aria-128-cbc", "SHA512", 16}}) {
        SCOPED_TRACE(c.cipher);
        for (bool givenIv : {false, true}) {
            std::vector<unsigned char> out(plain.size() + 16);
            int outLen = static_cast<int>(out.size());
            std::string ivGiven(16, '\x5a');
            unsigned char* iv = givenIv ? reinterpret_cast<unsigned char*>(ivGiven.data()) : nullptr;
            int ivLen = givenIv ? 16 : 0;
            ASSERT_EQ(VCL_PK5_Encrypt_PBES2(u8(plain), len(plain), kPassword.c_str(), len(kPassword), u8(kSalt),
                                            len(kSalt), 2048, out.data(), &outLen, &iv, &ivLen, c.cipher, c.hash),
                      0);
            ASSERT_EQ(ivLen, 16);
            const std::string ivBytes(reinterpret_cast<char*>(iv), 16);
            if (givenIv)
                EXPECT_EQ(ivBytes, ivGiven);
            else
                VCL_Free(iv, ivLen);
            const std::string enc(out.begin(), out.begin() + outLen);
            const auto kdf = zqtest::run({"openssl", "kdf", "-keylen", std::to_string(c.keyLen), "-kdfopt",
                                          std::string("digest:") + c.peerDigest, "-kdfopt", "pass:" + kPassword,
                                          "-kdfopt", "hexsalt:" + hex(kSalt), "-kdfopt", "iter:2048", "PBKDF2"},
                                         {}, {"OPENSSL_CONF=/dev/null"});
            std::string key;
            for (char ch : trimmed(kdf.output))
                if (ch != ':') key += ch;
            EXPECT_EQ(opensslDecrypt(c.peerCipher, key, hex(ivBytes), enc), plain);

            std::vector<unsigned char> back(enc.size());
            int backLen = static_cast<int>(back.size());
            ASSERT_EQ(VCL_PK5_Decrypt_PBES2(u8(enc), len(enc), kPassword.c_str(), len(kPassword), u8(kSalt), len(kSalt),
                                            2048, back.data(), &backLen, u8(ivBytes), c.cipher, c.hash),
                      0);
            EXPECT_EQ(std::string(back.begin(), back.begin() + backLen), plain);
            // A wrong password never gives the plaintext. It is usually told
            // apart by the padding, but CBC has no integrity: about one IV in
            // 256 still ends in valid padding, and then garbage comes back.
            backLen = static_cast<int>(back.size());
            const int wrong = VCL_PK5_Decrypt_PBES2(u8(enc), len(enc), "wrong", 5, u8(kSalt), len(kSalt), 2048,
                                                    back.data(), &backLen, u8(ivBytes), c.cipher, c.hash);
            if (wrong == 0) EXPECT_NE(std::string(back.begin(), back.begin() + backLen), plain);
        }
    }
}

TEST(CorePkcs5, KisaPbes1InBothIvModes) {
    // A PKCS#8 key's bytes, as the scheme carries them.
    const std::string plain = std::string("\x30\x82\x01\x00", 4) + std::string(60, '\x11');
    const std::string derive = std::string(kPbkdf1) +
                               "dk = pbkdf1('sha1', 20)\n"
                               "iv = hashlib.sha1(dk[16:]).digest()[:16] if sys.argv[4] == '1' else "
                               "b'4917260358143729'\n"
                               "print(dk[:16].hex(), iv.hex())";
    for (int mode : {1, 2, 7}) {
        SCOPED_TRACE(mode);
        std::vector<unsigned char> out(plain.size() + 16);
        int outLen = static_cast<int>(out.size());
        ASSERT_EQ(VCL_PK5_Encrypt_PBES1_KISA(u8(plain), len(plain), kPassword.c_str(), len(kPassword), u8(kSalt),
                                             len(kSalt), 2048, out.data(), &outLen, "SEED-CBC", "SHA1", mode),
                  0);
        const std::string enc(out.begin(), out.begin() + outLen);
        const auto r = zqtest::run({zqtest::kPython, "-c", "import hashlib, sys\n" + derive, kPassword, hex(kSalt),
                                    "2048", mode == 1 ? "1" : "2"});
        ASSERT_EQ(r.status, 0);
        const std::string keyIv = trimmed(r.output);
        EXPECT_EQ(opensslDecrypt("seed-cbc", keyIv.substr(0, 32), keyIv.substr(33), enc), plain);

        std::vector<unsigned char> back(enc.size());
        int backLen = static_cast<int>(back.size());
        ASSERT_EQ(VCL_PK5_Decrypt_PBES1_KISA(u8(enc), len(enc), kPassword.c_str(), len(kPassword), u8(kSalt),
                                             len(kSalt), 2048, back.data(), &backLen, "SEED-CBC", "SHA1", mode),
                  0);
        EXPECT_EQ(std::string(back.begin(), back.begin() + backLen), plain);
    }
}

TEST(CorePkcs5, Pbes1OpensByOpenssl) {
    const std::string plain = "eight-byte-key cipher";
    std::vector<unsigned char> out(plain.size() + 8);
    int outLen = static_cast<int>(out.size());
    ASSERT_EQ(VCL_PK5_Encrypt_PBES1(u8(plain), len(plain), kPassword.c_str(), len(kPassword), u8(kSalt), len(kSalt),
                                    100, out.data(), &outLen, "DES-CBC", "MD5"),
              0);
    const std::string enc(out.begin(), out.begin() + outLen);
    const std::string keyIv =
        py(std::string(kPbkdf1) + "dk = pbkdf1('md5', 16)\nprint(dk[:8].hex(), dk[8:].hex())", kPassword, kSalt, 100);
    EXPECT_EQ(opensslDecrypt("des-cbc", keyIv.substr(0, 16), keyIv.substr(17), enc), plain);
    std::vector<unsigned char> back(enc.size());
    int backLen = static_cast<int>(back.size());
    ASSERT_EQ(VCL_PK5_Decrypt_PBES1(u8(enc), len(enc), kPassword.c_str(), len(kPassword), u8(kSalt), len(kSalt), 100,
                                    back.data(), &backLen, "DES-CBC", "MD5"),
              0);
    EXPECT_EQ(std::string(back.begin(), back.begin() + backLen), plain);
    // Too little room: libzunPKI's code, nothing written past it.
    std::vector<unsigned char> small(8, 0xAA);
    int smallLen = 8;
    EXPECT_NE(VCL_PK5_Encrypt_PBES1(u8(plain), len(plain), kPassword.c_str(), len(kPassword), u8(kSalt), len(kSalt),
                                    100, small.data(), &smallLen, "DES-CBC", "MD5"),
              0);
    EXPECT_EQ(small, std::vector<unsigned char>(8, 0xAA));
}

TEST(CorePkcs5, Refusals) {
    const std::string in(32, 'x');
    unsigned char out[64];
    int outLen = 64;
    const char* pw = kPassword.c_str();
    const int pwLen = len(kPassword);
    const unsigned char* salt = u8(kSalt);
    auto kisaEnc = [&](const unsigned char* i, int il, const char* p, int pl, const unsigned char* s, int sl, int it,
                       unsigned char* o, const char* cn, const char* hn, int mode) {
        outLen = 64;
        return rc(VCL_PK5_Encrypt_PBES1_KISA(i, il, p, pl, s, sl, it, o, &outLen, cn, hn, mode));
    };
    EXPECT_EQ(kisaEnc(u8(in), 32, pw, pwLen, salt, 8, 10, out, "SEED-CBC", "SHA1", 0), 0xa6010003u);
    EXPECT_EQ(kisaEnc(u8(in), 32, pw, pwLen, salt, 8, 10, out, "SEED-CBC", "SHA1", -1), 0xa6010003u);
    EXPECT_EQ(kisaEnc(nullptr, 32, pw, pwLen, salt, 8, 10, out, "SEED-CBC", "SHA1", 1), 0xa6010003u);
    EXPECT_EQ(kisaEnc(u8(in), 0, pw, pwLen, salt, 8, 10, out, "SEED-CBC", "SHA1", 1), 0xa6010003u);
    EXPECT_EQ(kisaEnc(u8(in), 32, nullptr, pwLen, salt, 8, 10, out, "SEED-CBC", "SHA1", 1), 0xa6010003u);
    EXPECT_EQ(kisaEnc(u8(in), 32, pw, pwLen, salt, 0, 10, out, "SEED-CBC", "SHA1", 1), 0xa6010003u);
    EXPECT_EQ(kisaEnc(u8(in), 32, pw, pwLen, salt, 8, 0, out, "SEED-CBC", "SHA1", 1), 0xa6010003u);
    EXPECT_EQ(kisaEnc(u8(in), 32, pw, pwLen, salt, 8, 10, nullptr, "SEED-CBC", "SHA1", 1), 0xa6010003u);
    EXPECT_EQ(kisaEnc(u8(in), 32, pw, pwLen, salt, 8, 10, out, nullptr, "SHA1", 1), 0xa6010003u);
    // The cipher name fails first, the digest name is not looked at.
    EXPECT_EQ(kisaEnc(u8(in), 32, pw, pwLen, salt, 8, 10, out, "NONE-CBC", "NONE", 1), 0xb1070010u);
    EXPECT_EQ(kisaEnc(u8(in), 32, pw, pwLen, salt, 8, 10, out, "SEED-CBC", "NONE", 1), 0xb1080010u);

    outLen = 64;
    EXPECT_EQ(rc(VCL_PK5_Decrypt_PBES1_KISA(u8(in), 32, pw, pwLen, salt, 8, 10, out, &outLen, "SEED-CBC", "SHA1", 0)),
              0xa6020003u);
    EXPECT_EQ(rc(VCL_PK5_Encrypt_PBES1(u8(in), 32, pw, 0, salt, 8, 10, out, &outLen, "DES-CBC", "MD5")), 0xa6030003u);
    EXPECT_EQ(rc(VCL_PK5_Decrypt_PBES1(u8(in), 32, pw, pwLen, salt, 8, 10, out, nullptr, "DES-CBC", "MD5")),
              0xa6040003u);
    unsigned char* iv = nullptr;
    int ivLen = 0;
    EXPECT_EQ(
        rc(VCL_PK5_Encrypt_PBES2(u8(in), 32, pw, pwLen, salt, 8, 10, out, &outLen, &iv, &ivLen, "AES-CBC", nullptr)),
        0xa6050003u);
    EXPECT_EQ(rc(VCL_PK5_Decrypt_PBES2(u8(in), 32, pw, pwLen, salt, 8, 10, out, &outLen, nullptr, "AES-CBC", "SHA1")),
              0xa6060003u);
    unsigned char dk[32];
    EXPECT_EQ(rc(VCL_PK5_PBKDF1(pw, pwLen, salt, 8, 0, "SHA1", 16, dk)), 0xa6070003u);
    EXPECT_EQ(rc(VCL_PK5_PBKDF1(pw, pwLen, salt, 8, 1, "SH", 16, dk)), 0xb1080003u);
    EXPECT_EQ(rc(VCL_PK5_PBKDF2(pw, pwLen, salt, 8, 10, "SHA1", dk, 0)), 0xa6080003u);
    EXPECT_EQ(rc(VCL_PK5_PBKDF2(pw, pwLen, nullptr, 8, 10, "SHA1", dk, 16)), 0xa6080003u);
}

}  // namespace
