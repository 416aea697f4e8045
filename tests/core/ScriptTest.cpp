// The web-content script check against keys, signatures and algorithm
// identifiers made by openssl; one-time passwords against RFC 2289's
// vectors and a python fold.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <zunCore/cipher.h>
#include <zunCore/script.h>
#include <zunCore/util.h>

#include "CoreHelpers.h"

namespace {

using coretest::Buf;
using coretest::rc;

const std::string& fixtures() {
    static const std::string dir = coretest::fixtureDir("make_script_fixtures.sh");
    return dir;
}

std::string fixture(const std::string& name) {
    EXPECT_FALSE(fixtures().empty()) << "fixture script failed";
    return zqtest::readFile(fixtures() + "/" + name);
}

std::string base64(const std::string& bytes) { return zqtest::run({"base64", "-w", "0"}, bytes).output; }

const unsigned char* u8(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
int len(const std::string& s) { return static_cast<int>(s.size()); }

std::string hex(const unsigned char* p, size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

struct Key {
    VCL_SCRIPT_KEY* p = nullptr;
    ~Key() {
        if (p) std::free(p->data);
        std::free(p);
    }
};

TEST(CoreScript, KeysFromAlgorithmIdentifiers) {
    Key hmac;
    ASSERT_EQ(VCL_COM_WebContentScriptInit(base64(fixture("hmac.der")).c_str(), &hmac.p), 0);
    EXPECT_EQ(hmac.p->kind, VCL_SCRIPT_HMAC_SHA1);
    std::string keyHex = fixture("hmac.key");
    keyHex.resize(40);
    for (char& c : keyHex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(hex(hmac.p->data, static_cast<size_t>(hmac.p->data_len)), keyHex);
    EXPECT_EQ(hmac.p->data[hmac.p->data_len], 0);

    Key rsa;
    ASSERT_EQ(VCL_COM_WebContentScriptInit(base64(fixture("rsa.der")).c_str(), &rsa.p), 0);
    EXPECT_EQ(rsa.p->kind, VCL_SCRIPT_SHA1_RSA);
    const std::string spki = base64(fixture("pub.der"));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(rsa.p->data)), spki);
    EXPECT_EQ(rsa.p->data_len, len(spki));
    // The key read is ready for the verifier.
    const std::string msg = fixture("msg.txt"), sig = fixture("sig.bin");
    EXPECT_EQ(VCL_COM_WebContentScriptVerifier_RSA(reinterpret_cast<char*>(rsa.p->data), u8(sig), len(sig), u8(msg),
                                                   len(msg)),
              0);

    const std::pair<std::string, unsigned> bad[] = {
        {base64(fixture("hmac-null.der")), 0xb10c003cu},
        {base64(fixture("rsa-none.der")), 0xb10c003cu},
        {base64(fixture("sha256.der")), 0xb10c006cu},
        {base64(fixture("pub.der").substr(0, 30)), 0xb10c003du},
        {base64(std::string("\x02\x01\x05", 3)), 0xb10c003du},
        {"not base64!", 0xb10c0024u},
        {"", 0xb10c0024u},
    };
    for (const auto& [text, code] : bad) {
        Key key;
        key.p = reinterpret_cast<VCL_SCRIPT_KEY*>(1);
        EXPECT_EQ(rc(VCL_COM_WebContentScriptInit(text.c_str(), &key.p)), code) << text;
        EXPECT_EQ(key.p, nullptr);
    }
    Key none;
    EXPECT_EQ(rc(VCL_COM_WebContentScriptInit(nullptr, &none.p)), 0xb10c0002u);
}

TEST(CoreScript, VerifierTakesOpensslSignatures) {
    const std::string spki = base64(fixture("pub.der"));
    const std::string msg = fixture("msg.txt"), sig = fixture("sig.bin");
    EXPECT_EQ(VCL_COM_WebContentScriptVerifier_RSA(spki.c_str(), u8(sig), len(sig), u8(msg), len(msg)), 0);
    for (size_t at : {size_t{0}, sig.size() / 2, sig.size() - 1}) {
        std::string changed = sig;
        changed[at] = static_cast<char>(changed[at] ^ 0x01);
        EXPECT_EQ(rc(VCL_COM_WebContentScriptVerifier_RSA(spki.c_str(), u8(changed), len(changed), u8(msg), len(msg))),
                  0xb10c003fu)
            << at;
    }
    std::string other = msg;
    other[3] = static_cast<char>(other[3] ^ 0x20);
    EXPECT_EQ(rc(VCL_COM_WebContentScriptVerifier_RSA(spki.c_str(), u8(sig), len(sig), u8(other), len(other))),
              0xb10c003fu);
    EXPECT_EQ(rc(VCL_COM_WebContentScriptVerifier_RSA(spki.c_str(), u8(sig), len(sig) - 1, u8(msg), len(msg))),
              0xb10c003fu);
    EXPECT_EQ(rc(VCL_COM_WebContentScriptVerifier_RSA("%%%", u8(sig), len(sig), u8(msg), len(msg))), 0xb10c0024u);
    const std::string cert = base64(fixture("rsa.der"));  // an AlgorithmIdentifier, not a key
    EXPECT_EQ(rc(VCL_COM_WebContentScriptVerifier_RSA(cert.c_str(), u8(sig), len(sig), u8(msg), len(msg))),
              0xb10c003du);
    EXPECT_EQ(rc(VCL_COM_WebContentScriptVerifier_RSA(spki.c_str(), nullptr, 10, u8(msg), len(msg))), 0xb10c0002u);
}

// RFC 2289 appendix C: pass phrase "This is a test.", seed "TeSt" (taken in
// lower case before the pass phrase).
TEST(CoreOtp, FoldMeetsRfc2289) {
    const std::string start = "testThis is a test.";
    struct Vector {
        const char* hash;
        const char* counts[3];  // 0, 1, 99
    };
    for (const Vector& v : {Vector{"MD5", {"9E876134D90499DD", "7965E05436F5029F", "50FE1962C4965880"}},
                            Vector{"SHA1", {"BB9E6AE1979D8FF4", "63D936639734385B", "87FEC7768B73CCF9"}}}) {
        SCOPED_TRACE(v.hash);
        Buf<unsigned char> digest;
        int n = 0;
        ASSERT_EQ(VCL_HASH_Data(u8(start), len(start), digest.out(), &n, v.hash), 0);
        unsigned char otp[8];
        ASSERT_EQ(VCL_OTP_fold_hash(v.hash, digest.p, n, otp), 0);
        EXPECT_EQ(hex(otp, 8), v.counts[0]);
        for (int i = 1; i <= 99; ++i) {
            ASSERT_EQ(VCL_HASH_Data(otp, 8, digest.out(), &n, v.hash), 0);
            ASSERT_EQ(VCL_OTP_fold_hash(v.hash, digest.p, n, otp), 0);
            if (i == 1) EXPECT_EQ(hex(otp, 8), v.counts[1]);
        }
        EXPECT_EQ(hex(otp, 8), v.counts[2]);
    }
    const unsigned char digest[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    unsigned char out[8];
    EXPECT_EQ(VCL_OTP_fold_hash("md4", digest, 16, out), 0);
    EXPECT_EQ(VCL_OTP_fold_hash("sha1", digest, 20, out), 0);
    // A digest under 8 bytes would leave part of the result unset.
    EXPECT_EQ(rc(VCL_OTP_fold_hash("MD5", digest, 7, out)), 0xa3010003u);
    EXPECT_EQ(rc(VCL_OTP_fold_hash("MD5", digest, 0, out)), 0xa3010003u);
    EXPECT_EQ(rc(VCL_OTP_fold_hash(nullptr, digest, 16, out)), 0xa3010003u);
    EXPECT_EQ(rc(VCL_OTP_fold_hash("SHA256", digest, 20, out)), 0xa3010010u);
}

TEST(CoreOtp, ChainEqualsPythonFold) {
    const std::string first(16, 'F'), second = "0123456789abcdef";
    const char fold[] =
        "import hashlib, struct, sys\n"
        "h = sys.argv[1]\n"
        "def fold(d):\n"
        "    if h == 'sha1':\n"
        "        w = struct.unpack('>5I', d)\n"
        "        return struct.pack('<2I', w[0] ^ w[2] ^ w[4], w[1] ^ w[3])\n"
        "    return bytes(a ^ b for a, b in zip(d[:8], d[8:16]))\n"
        "x = fold(hashlib.new(h, sys.argv[3].encode() + sys.argv[2].encode()).digest())\n"
        "for i in range(4):\n"
        "    print(x.hex().upper())\n"
        "    x = fold(hashlib.new(h, x).digest())\n";
    for (const auto& [ours, peer] : {std::pair{"MD5", "md5"}, std::pair{"SHA1", "sha1"}}) {
        SCOPED_TRACE(ours);
        unsigned char** chain = nullptr;
        ASSERT_EQ(VCL_OTP_Gen_Message(u8(first), u8(second), ours, 4, &chain), 0);
        std::string got;
        for (int i = 0; i < 4; ++i) {
            got += hex(chain[i], 8) + "\n";
            std::free(chain[i]);
        }
        std::free(chain);
        EXPECT_EQ(got, zqtest::run({zqtest::kPython, "-c", fold, peer, first, second}).output);
    }
    unsigned char** chain = reinterpret_cast<unsigned char**>(1);
    EXPECT_EQ(rc(VCL_OTP_Gen_Message(u8(first), u8(second), "MD4", 3, &chain)), 0xb1080010u);
    EXPECT_EQ(chain, nullptr);
    EXPECT_EQ(rc(VCL_OTP_Gen_Message(u8(first), u8(second), "SHA256", 3, &chain)), 0xa3010010u);
    EXPECT_EQ(rc(VCL_OTP_Gen_Message(u8(first), u8(second), nullptr, 3, &chain)), 0xa3030002u);
    EXPECT_EQ(rc(VCL_OTP_Gen_Message(u8(first), u8(second), "MD5", 0, &chain)), 0xa3030003u);
    EXPECT_EQ(rc(VCL_OTP_Gen_Message(u8(first), u8(second), "MD5", -2, &chain)), 0xa3030003u);
    EXPECT_EQ(chain, nullptr);
}

}  // namespace
