// The password-based derivations and schemes against independent
// computations: Python's hashlib and `openssl kdf` derive the keys, `openssl
// enc` runs the ciphers.
#include <zunPKI/pkcs/pkcs12_kdf.h>
#include <zunPKI/pkcs/pkcs5.h>

#include "PkiHelpers.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/mman.h>

#include <climits>

#include <functional>
#include <string>
#include <vector>

std::vector<unsigned char> opensslHmac(const char* digest, const unsigned char* key, size_t keyLen,
                                       const std::vector<std::pair<const unsigned char*, size_t>>& pieces);

namespace {

using pkitest::bytes;
using pkitest::len;
using Bytes = std::vector<unsigned char>;

std::string hex(const unsigned char* p, size_t n) {
    static const char* k = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) s += {k[p[i] >> 4], k[p[i] & 15]};
    return s;
}
std::string hex(const Bytes& b) { return hex(b.data(), b.size()); }
std::string hex(const std::string& s) { return hex(bytes(s), s.size()); }

std::string trimmedOutput(const zqtest::RunResult& r) {
    EXPECT_EQ(r.status, 0);
    std::string s;
    for (char c : r.output)
        if (c != ':' && c != '\n' && c != ' ') s += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// PBKDF1 by hashlib: H^c(P || S), in hex.
std::string pythonPbkdf1(const std::string& pw, const std::string& saltHex, int iterations, const char* alg) {
    static const char* script = R"(
import hashlib, sys
pw, salt, it, alg = sys.argv[1].encode(), bytes.fromhex(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
t = hashlib.new(alg, pw + salt).digest()
for _ in range(it - 1):
    t = hashlib.new(alg, t).digest()
print(t.hex())
)";
    return trimmedOutput(zqtest::run({zqtest::kPython, "-c", script, pw, saltHex, std::to_string(iterations), alg}));
}

std::string pythonSha1(const std::string& dataHex) {
    return trimmedOutput(
        zqtest::run({zqtest::kPython, "-c",
                     "import hashlib,sys; print(hashlib.sha1(bytes.fromhex(sys.argv[1])).hexdigest())", dataHex}));
}

std::string opensslKdf(const std::string& kdf, const std::string& digest, const std::string& pw,
                       const std::string& saltHex, int iterations, int keyLen, int id = 0) {
    // The PKCS#12 derivation takes its password as given: hand it the
    // BMPString form, 00 xx per character and two zero octets.
    std::string bmp;
    for (char c : pw) bmp += "00" + hex(std::string(1, c));
    std::string pass = kdf == "PKCS12KDF" ? "hexpass:" + bmp + "0000" : "pass:" + pw;
    std::vector<std::string> argv{
        "openssl", "kdf", "-keylen", std::to_string(keyLen), "-kdfopt", "digest:" + digest,
        "-kdfopt", pass,  "-kdfopt", "hexsalt:" + saltHex,   "-kdfopt", "iter:" + std::to_string(iterations)};
    if (id != 0) argv.insert(argv.end(), {"-kdfopt", "id:" + std::to_string(id)});
    argv.push_back(kdf);
    return trimmedOutput(zqtest::run(argv));
}

std::string opensslEnc(const std::string& cipher, bool encrypt, const std::string& keyHex, const std::string& ivHex,
                       const std::string& input) {
    auto r = zqtest::run({"openssl", "enc", encrypt ? "-e" : "-d", "-" + cipher, "-provider", "legacy", "-provider",
                          "default", "-K", keyHex, "-iv", ivHex},
                         input);
    EXPECT_EQ(r.status, 0) << cipher;
    return r.output;
}

const std::string kPw = "p@ssw0rd";
const Bytes kSalt = {0x5a, 0x11, 0x7e, 0x00, 0xc3, 0x9b, 0x42, 0x81};
const std::string kSaltHex = "5a117e00c39b4281";

TEST(Pkcs5Kdf, Pbkdf1MatchesHashlib) {
    unsigned char out[20];
    ASSERT_EQ(PBKDF1(kPw.data(), len(kPw), kSalt.data(), 8, 2048, VSC_DIGEST_SHA1, out, 20), 0);
    EXPECT_EQ(hex(out, 20), pythonPbkdf1(kPw, kSaltHex, 2048, "sha1"));
    ASSERT_EQ(PBKDF1(kPw.data(), len(kPw), kSalt.data(), 8, 1, VSC_DIGEST_MD5, out, 16), 0);
    EXPECT_EQ(hex(out, 16), pythonPbkdf1(kPw, kSaltHex, 1, "md5"));
    // No more than one digest of output.
    EXPECT_EQ(PBKDF1(kPw.data(), len(kPw), kSalt.data(), 8, 1, VSC_DIGEST_SHA1, out, 21), (PKI_ERROR)0x4a04002b);
    EXPECT_EQ(PBKDF1(kPw.data(), len(kPw), kSalt.data(), 8, 1, VSC_DIGEST_MD5, out, 17), (PKI_ERROR)0x4a04002b);
}

TEST(Pkcs5Kdf, Pbkdf2MatchesOpenssl) {
    struct Case {
        int digest;
        const char* name;
        int iterations, keyLen;
    } cases[] = {
        {VSC_DIGEST_SHA1, "SHA1", 2048, 16},
        {VSC_DIGEST_SHA1, "SHA1", 1, 45},  // the last block cut
        {VSC_DIGEST_SHA256, "SHA256", 1000, 32},
        {VSC_DIGEST_SHA512, "SHA512", 3, 70},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + std::to_string(c.keyLen));
        Bytes out(static_cast<size_t>(c.keyLen));
        ASSERT_EQ(PBKDF2(kPw.data(), len(kPw), kSalt.data(), 8, c.iterations, c.digest, out.data(), c.keyLen), 0);
        EXPECT_EQ(hex(out), opensslKdf("PBKDF2", c.name, kPw, kSaltHex, c.iterations, c.keyLen));
    }
}

// A salt near INT_MAX (a mapping of zero pages, nothing committed) derives
// what OpenSSL's HMAC gives for one round: U1 = HMAC(P, S || 00 00 00 01).
TEST(Pkcs5Kdf, Pbkdf2OverASaltNearIntMax) {
    const int saltLen = INT_MAX - 1;
    void* map =
        mmap(nullptr, static_cast<size_t>(saltLen), PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    const auto* salt = static_cast<const unsigned char*>(map);
    unsigned char ours[20] = {};
    ASSERT_EQ(PBKDF2(kPw.data(), len(kPw), salt, saltLen, 1, VSC_DIGEST_SHA1, ours, 20), 0);

    const unsigned char counter[4] = {0, 0, 0, 1};
    Bytes theirs = opensslHmac("SHA1", bytes(kPw), kPw.size(), {{salt, static_cast<size_t>(saltLen)}, {counter, 4}});
    munmap(map, static_cast<size_t>(saltLen));
    EXPECT_EQ(hex(ours, 20), hex(theirs));
}

// Salt and password whose blocks together pass INT_MAX (zero pages, nothing
// committed) are refused with the output zeroed: at 4 GiB their length
// wrapped to nothing and a key that ignored both came back as success.
TEST(Pkcs5Kdf, Pkcs12DerivationPastIntMaxIsRefused) {
    const int big = INT_MAX - 1;
    void* map = mmap(nullptr, static_cast<size_t>(big), PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    const auto* zeros = static_cast<const unsigned char*>(map);
    DIGEST_UNIT* digest = VSC_New_DIGEST_Unit();
    ASSERT_EQ(VSC_Init_DIGEST(digest, VSC_DIGEST_SHA1), VSC_OK);
    struct Row {
        const char* what;
        int bmpLen, saltLen;
    } rows[] = {
        {"salt alone", 2, big},
        {"salt and password, 4 GiB", big, big},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Bytes out(20, 0xee);
        EXPECT_EQ(get_PKCS12_key_UNI(zeros, row.bmpLen, zeros, row.saltLen, 1, 1, 20, out.data(), digest), 1);
        EXPECT_EQ(out, Bytes(20, 0));
    }
    VSC_Free_DIGEST_Unit(digest);
    munmap(map, static_cast<size_t>(big));
}

TEST(Pkcs5Kdf, Pkcs12DerivationMatchesOpenssl) {
    const std::string longSaltHex(140, 'a');  // 70 bytes: more than one 64-byte block
    Bytes longSalt(70, 0xaa);
    struct Case {
        int digest;
        const char* name;
        std::string pw;
        const Bytes* salt;
        std::string saltHex;
        int id, iterations, n;
    } cases[] = {
        {VSC_DIGEST_SHA1, "SHA1", kPw, &kSalt, kSaltHex, PKCS12_KEY_ID, 2048, 24},
        {VSC_DIGEST_SHA1, "SHA1", kPw, &kSalt, kSaltHex, PKCS12_IV_ID, 2048, 8},
        {VSC_DIGEST_SHA1, "SHA1", kPw, &longSalt, longSaltHex, PKCS12_MAC_ID, 1, 64},  // four rounds of A
        {VSC_DIGEST_SHA256, "SHA256", "a much longer password than one block holds......", &kSalt, kSaltHex,
         PKCS12_KEY_ID, 5, 80},
        {VSC_DIGEST_SHA1, "SHA1", "", &kSalt, kSaltHex, PKCS12_KEY_ID, 1, 16},  // "" is two zero octets
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + std::to_string(c.n));
        DIGEST_UNIT* unit = VSC_New_DIGEST_Unit();
        ASSERT_EQ(VSC_Init_DIGEST(unit, c.digest), 0);
        VSC_Update_DIGEST(unit, bytes("left over"), 9);  // nothing fed before counts
        Bytes out(static_cast<size_t>(c.n));
        EXPECT_EQ(gen_PKCS12_key_ASC(c.pw.data(), len(c.pw), c.salt->data(), static_cast<int>(c.salt->size()), c.id,
                                     c.iterations, c.n, out.data(), unit),
                  0);
        VSC_Free_DIGEST_Unit(unit);
        EXPECT_EQ(hex(out), opensslKdf("PKCS12KDF", c.name, c.pw, c.saltHex, c.iterations, c.n, c.id));
    }
}

TEST(Pkcs5Kdf, IterationCountsAreBounded) {
    unsigned char out[32];
    const int huge = PKCS5_MAX_ITERATIONS + 1;
    EXPECT_EQ(PBKDF1(kPw.data(), len(kPw), kSalt.data(), 8, huge, VSC_DIGEST_SHA1, out, 20), (PKI_ERROR)0x4a04002b);
    EXPECT_EQ(PBKDF2(kPw.data(), len(kPw), kSalt.data(), 8, huge, VSC_DIGEST_SHA1, out, 20), (PKI_ERROR)0x4a05002b);
    DIGEST_UNIT* unit = VSC_New_DIGEST_Unit();
    VSC_Init_DIGEST(unit, VSC_DIGEST_SHA1);
    EXPECT_EQ(gen_PKCS12_key_ASC(kPw.data(), -1, kSalt.data(), 8, 1, huge, 16, out, unit), 1);
    VSC_Free_DIGEST_Unit(unit);
    // And missing inputs.
    EXPECT_EQ(PBKDF1(kPw.data(), 0, kSalt.data(), 8, 1, VSC_DIGEST_SHA1, out, 20), (PKI_ERROR)0x4a040049);
    EXPECT_EQ(PBKDF2(kPw.data(), len(kPw), nullptr, 8, 1, VSC_DIGEST_SHA1, out, 20), (PKI_ERROR)0x4a050049);
    EXPECT_EQ(PBKDF2(kPw.data(), len(kPw), kSalt.data(), 8, 1, 0x12345, out, 20), (PKI_ERROR)0x4a05002b);
}

// One scheme: our encryption, the key and IV an independent derivation gives,
// and the openssl cipher that must produce the same bytes.
struct Scheme {
    const char* name;
    std::function<PKI_ERROR(bool, const std::string&, unsigned char*, int*)> run;
    std::function<std::string()> keyHex, ivHex;
    const char* opensslCipher;
};

TEST(Pkcs5Schemes, MatchIndependentKeysAndCiphers) {
    const int iter = 2048;
    auto kisa = [&](int cipher, int ivMode) {
        return [=](bool enc, const std::string& in, unsigned char* out, int* outLen) {
            auto f = enc ? encrypt_PBES1_KISA : decrypt_PBES1_KISA;
            return f(bytes(in), len(in), kPw.data(), len(kPw), kSalt.data(), 8, iter, out, outLen, cipher,
                     VSC_DIGEST_SHA1, ivMode);
        };
    };
    auto dk = [&] { return pythonPbkdf1(kPw, kSaltHex, iter, "sha1"); };
    const unsigned char fixedIv[16] = {0x0f, 0x1e, 0x2d, 0x3c, 0x4b, 0x5a, 0x69, 0x78,
                                       0x87, 0x96, 0xa5, 0xb4, 0xc3, 0xd2, 0xe1, 0xf0};
    Scheme schemes[] = {
        {"KISA SEED, IV from the digest", kisa(VSC_CIPHER_SEED_CBC, PBES1_KISA_IV_DIGEST),
         [&] { return dk().substr(0, 32); }, [&] { return pythonSha1(dk().substr(32)).substr(0, 32); }, "seed-cbc"},
        {"KISA SEED, fixed IV", kisa(VSC_CIPHER_SEED_CBC, PBES1_KISA_IV_FIXED), [&] { return dk().substr(0, 32); },
         [] { return hex(std::string("4917260358143729")); }, "seed-cbc"},
        {"KISA ARIA", kisa(VSC_CIPHER_ARIA128_CBC, PBES1_KISA_IV_DIGEST), [&] { return dk().substr(0, 32); },
         [&] { return pythonSha1(dk().substr(32)).substr(0, 32); }, "aria-128-cbc"},
        {"GPKI SEED",
         [&](bool enc, const std::string& in, unsigned char* out, int* outLen) {
             auto f = enc ? encrypt_PBES1_GPKI : decrypt_PBES1_GPKI;
             return f(bytes(in), len(in), kPw.data(), len(kPw), kSalt.data(), 8, iter, out, outLen, VSC_CIPHER_SEED_CBC,
                      0);
         },
         [&] { return opensslKdf("PKCS12KDF", "SHA1", kPw, kSaltHex, iter, 16, 1); },
         [&] { return opensslKdf("PKCS12KDF", "SHA1", kPw, kSaltHex, iter, 16, 2); }, "seed-cbc"},
        {"PBES1 MD5 and DES",
         [&](bool enc, const std::string& in, unsigned char* out, int* outLen) {
             auto f = enc ? encrypt_PBES1 : decrypt_PBES1;
             return f(bytes(in), len(in), kPw.data(), len(kPw), kSalt.data(), 8, iter, out, outLen, VSC_CIPHER_DES_CBC,
                      VSC_DIGEST_MD5);
         },
         [&] { return pythonPbkdf1(kPw, kSaltHex, iter, "md5").substr(0, 16); },
         [&] { return pythonPbkdf1(kPw, kSaltHex, iter, "md5").substr(16, 16); }, "des-cbc"},
        {"PBES2 AES-256 with HMAC-SHA256",
         [&](bool enc, const std::string& in, unsigned char* out, int* outLen) {
             if (!enc)
                 return decrypt_PBES2(bytes(in), len(in), kPw.data(), len(kPw), kSalt.data(), 8, iter, out, outLen,
                                      fixedIv, 16, VSC_CIPHER_AES256_CBC, VSC_DIGEST_SHA256);
             unsigned char* iv = const_cast<unsigned char*>(fixedIv);
             int ivLen = 16;
             return encrypt_PBES2(bytes(in), len(in), kPw.data(), len(kPw), kSalt.data(), 8, iter, out, outLen, &iv,
                                  &ivLen, VSC_CIPHER_AES256_CBC, VSC_DIGEST_SHA256);
         },
         [&] { return opensslKdf("PBKDF2", "SHA256", kPw, kSaltHex, iter, 32); }, [&] { return hex(fixedIv, 16); },
         "aes-256-cbc"},
    };
    const std::string plain = "a private key is longer than this, but padding is what matters here: 70+";
    for (const auto& s : schemes) {
        SCOPED_TRACE(s.name);
        unsigned char sealed[128], opened[128];
        int sealedLen = sizeof sealed, openedLen = sizeof opened;
        ASSERT_EQ(s.run(true, plain, sealed, &sealedLen), 0);
        std::string ours(reinterpret_cast<char*>(sealed), static_cast<size_t>(sealedLen));
        const std::string key = s.keyHex(), iv = s.ivHex();
        EXPECT_EQ(ours, opensslEnc(s.opensslCipher, true, key, iv, plain));
        EXPECT_EQ(opensslEnc(s.opensslCipher, false, key, iv, ours), plain);
        ASSERT_EQ(s.run(false, ours, opened, &openedLen), 0);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(opened), static_cast<size_t>(openedLen)), plain);
        // An output buffer without room for the result is refused.
        int tooSmall = sealedLen - 1;
        EXPECT_NE(s.run(true, plain, sealed, &tooSmall), 0);
    }
}

TEST(Pkcs5Schemes, RandomIvIsHandedOut) {
    const std::string plain = "key bytes";
    unsigned char out[64];
    int outLen = sizeof out;
    unsigned char* iv = nullptr;
    int ivLen = 0;
    ASSERT_EQ(encrypt_PBES2(bytes(plain), len(plain), kPw.data(), len(kPw), kSalt.data(), 8, 10, out, &outLen, &iv,
                            &ivLen, VSC_CIPHER_SEED_CBC, VSC_DIGEST_SHA1),
              0);
    ASSERT_NE(iv, nullptr);
    EXPECT_EQ(ivLen, 16);
    unsigned char back[64];
    int backLen = sizeof back;
    EXPECT_EQ(decrypt_PBES2(out, outLen, kPw.data(), len(kPw), kSalt.data(), 8, 10, back, &backLen, iv, ivLen,
                            VSC_CIPHER_SEED_CBC, VSC_DIGEST_SHA1),
              0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(back), static_cast<size_t>(backLen)), plain);
    // An IV of the wrong length is refused.
    EXPECT_EQ(decrypt_PBES2(out, outLen, kPw.data(), len(kPw), kSalt.data(), 8, 10, back, &backLen, iv, 8,
                            VSC_CIPHER_SEED_CBC, VSC_DIGEST_SHA1),
              (PKI_ERROR)0x4a11002b);
    VSC_FREE(iv);
}

TEST(Pkcs5Schemes, RefusedArguments) {
    const std::string in = "0123456789abcdef";
    unsigned char out[64];
    int n = sizeof out;
    const int huge = PKCS5_MAX_ITERATIONS + 1;
    auto kisa = [&](int cipher, int mode, int iterations) {
        n = sizeof out;
        return encrypt_PBES1_KISA(bytes(in), len(in), kPw.data(), len(kPw), kSalt.data(), 8, iterations, out, &n,
                                  cipher, VSC_DIGEST_SHA1, mode);
    };
    EXPECT_EQ(kisa(VSC_CIPHER_SEED_CBC, 2, 1), (PKI_ERROR)0x4a08002b);
    EXPECT_EQ(kisa(VSC_CIPHER_AES256_CBC, 1, 1), (PKI_ERROR)0x4a08002b);  // key longer than a block
    EXPECT_EQ(kisa(VSC_CIPHER_SEED_CBC, 1, huge), (PKI_ERROR)0x4a08002b);
    EXPECT_EQ(kisa(VSC_CIPHER_SEED_CBC, 1, 0), (PKI_ERROR)0x4a080049);
    n = sizeof out;
    EXPECT_EQ(encrypt_PBES1(bytes(in), len(in), kPw.data(), len(kPw), kSalt.data(), 8, 1, out, &n,
                            VSC_CIPHER_AES128_CBC, VSC_DIGEST_SHA1),
              (PKI_ERROR)0x4a01002b);
    n = sizeof out;
    EXPECT_EQ(decrypt_PBES1_GPKI(bytes(in), len(in), kPw.data(), len(kPw), kSalt.data(), 8, huge, out, &n,
                                 VSC_CIPHER_SEED_CBC, 0),
              (PKI_ERROR)0x4a13002b);
}

}  // namespace
