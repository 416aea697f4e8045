// Encrypted private keys (PKCS#8 EncryptedPrivateKeyInfo) both ways against
// peers: openssl's pkcs8 command for the schemes it knows, an independent
// decryption (pyasn1, hashlib, openssl kdf and enc) for the Korean ones.
#include "KeyHelpers.h"

#include <zunPKI/pkcs/pkcs5.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using keyfmt::Encrypted;
using keyfmt::Info;
using pkitest::len;

const std::string kPw = "key password";
const unsigned char kSalt[8] = {0x21, 0x43, 0x65, 0x87, 0xa9, 0xcb, 0xed, 0x0f};

class EncryptedKeys : public ::testing::Test {
protected:
    void SetUp() override {
        plain = keyfmt::rsaPrivateKeyInfo();
        ASSERT_FALSE(plain.empty());
        ASSERT_EQ(keyfmt::readInfo(plain, info), 0);
    }
    // Our encryption of the key under pbe_row (and cipher_row for the _ex
    // form), as DER.
    std::string encrypt(int pbeRow, int cipherRow = 0, const unsigned char* salt = nullptr, int iterations = 2048) {
        PKCS8* made = nullptr;
        PKI_ERROR rc = cipherRow == 0 ? encrypt_PKCS5(info.get(), &made, kPw.data(), len(kPw), salt, salt ? 8 : 0,
                                                      iterations, pbeRow)
                                      : encrypt_PKCS5_ex(info.get(), &made, kPw.data(), len(kPw), salt, salt ? 8 : 0,
                                                         iterations, pbeRow, cipherRow);
        Encrypted p8(made);
        EXPECT_EQ(rc, 0) << std::hex << rc;
        return p8 ? keyfmt::derOf(p8.get()) : std::string();
    }
    // decrypt_PKCS5 of DER: the code, and the plain DER on success.
    PKI_ERROR decrypt(const std::string& der, std::string* out = nullptr, const std::string& pw = kPw) {
        Encrypted p8;
        PKI_ERROR rc = keyfmt::readEncrypted(der, p8);
        if (rc != 0) return rc;
        P8_PRIV_KEY_INFO* made = nullptr;
        rc = decrypt_PKCS5(p8.get(), &made, pw.data(), len(pw));
        Info result(made);
        if (rc == 0 && out != nullptr) *out = keyfmt::derOf(result.get());
        return rc;
    }

    std::string plain;
    Info info;
};

TEST_F(EncryptedKeys, OpensslKeysDecrypt) {
    const std::vector<std::vector<std::string>> cases = {
        {"-v2", "seed", "-v2prf", "hmacWithSHA1"},
        {"-v2", "seed", "-v2prf", "hmacWithSHA256"},
        {"-v2", "aria-128-cbc", "-v2prf", "hmacWithSHA1"},
        {"-v2", "aria-128-cbc", "-v2prf", "hmacWithSHA256"},
        {"-v2", "aes-256-cbc", "-v2prf", "hmacWithSHA1"},
        {"-v2", "aes-256-cbc", "-v2prf", "hmacWithSHA256"},
        {"-v2", "des3", "-v2prf", "hmacWithSHA512", "-iter", "1"},
        {"-v1", "PBE-SHA1-3DES"},
        {"-v1", "PBE-SHA1-RC2-40"},
        {"-v1", "PBE-MD5-DES"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args[1] + " " + args.back());
        std::vector<std::string> cmd{"pkcs8", "-topk8", "-inform", "DER", "-outform", "DER", "-passout", "pass:" + kPw};
        cmd.insert(cmd.end(), args.begin(), args.end());
        auto enc = keyfmt::opensslLegacy(cmd, plain);
        ASSERT_EQ(enc.status, 0);
        std::string ours;
        ASSERT_EQ(decrypt(enc.output, &ours), 0);
        EXPECT_TRUE(keyfmt::sameBytes(ours, plain));
        EXPECT_EQ(zqtest::run({"openssl", "pkey", "-inform", "DER", "-check", "-noout"}, ours).status, 0);
        // The parameters survive our decoding and encoding byte for byte.
        Encrypted p8;
        ASSERT_EQ(keyfmt::readEncrypted(enc.output, p8), 0);
        EXPECT_TRUE(keyfmt::sameBytes(keyfmt::derOf(p8.get()), enc.output));
    }
}

TEST_F(EncryptedKeys, PasswordsThatAreNotAscii) {
    // openssl derives PKCS#12 PBE keys from such a password in UTF-16, as it
    // does for PKCS#12 files; PBES2 takes its bytes.
    const std::string korean = "비밀번호 key";
    for (const char* scheme : {"PBE-SHA1-3DES", "PBE-SHA1-RC4-128", "aes-128-cbc"}) {
        SCOPED_TRACE(scheme);
        const bool v2 = std::string(scheme) == "aes-128-cbc";
        auto enc = keyfmt::opensslLegacy({"pkcs8", "-topk8", "-inform", "DER", "-outform", "DER", "-passout",
                                          "pass:" + korean, v2 ? "-v2" : "-v1", scheme},
                                         plain);
        ASSERT_EQ(enc.status, 0);
        std::string ours;
        ASSERT_EQ(decrypt(enc.output, &ours, korean), 0);
        EXPECT_TRUE(keyfmt::sameBytes(ours, plain));
        EXPECT_EQ(decrypt(enc.output, nullptr, "비밀번호 kex"), (PKI_ERROR)0x4a070012);
    }
}

TEST_F(EncryptedKeys, OpensslOpensOurs) {
    struct Case {
        const char* what;
        int pbeRow, cipherRow;
    } cases[] = {
        {"PBES2 AES-128-CBC", 419, 0}, {"PBES2 AES-192-CBC", 423, 0},     {"PBES2 AES-256-CBC", 427, 0},
        {"PBES2 DES-EDE3-CBC", 44, 0}, {"PBES2 with SEED-CBC", 161, 777}, {"PBES2 with AES-256", 161, 427},
        {"PBE-SHA1-3DES", 146, 0},     {"PBE-SHA1-2DES", 147, 0},         {"PBE-SHA1-RC2-128", 148, 0},
        {"PBE-SHA1-RC2-40", 149, 0},   {"PBE-SHA1-RC4-128", 144, 0},      {"PBE-SHA1-DES", 170, 0},
        {"PBE-MD5-DES", 10, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string ours = encrypt(c.pbeRow, c.cipherRow);
        auto opened =
            keyfmt::opensslLegacy({"pkcs8", "-inform", "DER", "-outform", "DER", "-passin", "pass:" + kPw}, ours);
        EXPECT_EQ(opened.status, 0);
        // openssl writes the opened key as RSAPrivateKey: wrap it as ours is.
        auto wrapped =
            zqtest::run({"openssl", "pkcs8", "-topk8", "-nocrypt", "-inform", "DER", "-outform", "DER"}, opened.output);
        EXPECT_TRUE(keyfmt::sameBytes(wrapped.output, plain));
        std::string back;
        EXPECT_EQ(decrypt(ours, &back), 0);
        EXPECT_TRUE(keyfmt::sameBytes(back, plain));
    }
}

TEST_F(EncryptedKeys, KoreanSchemesMatchAnIndependentDecryption) {
    zqtest::TempDir dir("kisa");
    struct Case {
        const char* what;
        int pbeRow, cipherRow, kind;
    } cases[] = {
        {"KISA SEED, IV from the digest (signPri.key)", 780, 0, PKCS8_KIND_KISA},
        {"KISA SEED, fixed IV", 777, 0, PKCS8_KIND_KISA},
        {"KISA ARIA", 828, 0, PKCS8_KIND_KISA},
        {"GPKI SEED", 793, 0, PKCS8_KIND_OTHER},
        {"PBES2 with ARIA-CBC", 161, 824, PKCS8_KIND_OTHER},
        {"PBES2 with ARIA, HMAC-SHA256", 829, 0, PKCS8_KIND_OTHER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string ours = encrypt(c.pbeRow, c.cipherRow, kSalt);
        std::string path = dir / "key.der";
        zqtest::writeFile(path, ours);
        auto r = zqtest::run({zqtest::sourceDir() + "/tests/pki/pkcs/independent_decrypt.py", path, kPw});
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(keyfmt::sameBytes(r.output, plain));
        Encrypted p8;
        ASSERT_EQ(keyfmt::readEncrypted(ours, p8), 0);
        EXPECT_EQ(p8->kind, c.kind);
        std::string back;
        EXPECT_EQ(decrypt(ours, &back), 0);
        EXPECT_TRUE(keyfmt::sameBytes(back, plain));
    }
}

TEST_F(EncryptedKeys, SchemeOfAKeyAndAChosenPrf) {
    // openssl's PBES2 key names its cipher and PRF; the scheme reads them back.
    auto enc = keyfmt::opensslLegacy({"pkcs8", "-topk8", "-inform", "DER", "-outform", "DER", "-passout", "pass:" + kPw,
                                      "-v2", "aes-256-cbc", "-v2prf", "hmacWithSHA256"},
                                     plain);
    ASSERT_EQ(enc.status, 0);
    Encrypted p8;
    ASSERT_EQ(keyfmt::readEncrypted(enc.output, p8), 0);
    int row = -1, cipher = -1, prf = -1;
    ASSERT_EQ(get_PKCS5_scheme(p8.get(), &row, &cipher, &prf), 0);
    EXPECT_EQ(row, 161);
    EXPECT_EQ(cipher, 427);
    EXPECT_EQ(prf, VSC_DIGEST_SHA256);

    // Written again under that scheme, openssl opens it and shows the PRF.
    PKCS8* made = nullptr;
    ASSERT_EQ(encrypt_PKCS5_prf(info.get(), &made, kPw.data(), len(kPw), nullptr, 0, 2048, row, cipher, prf), 0);
    Encrypted ours(made);
    const std::string der = keyfmt::derOf(ours.get());
    EXPECT_EQ(keyfmt::opensslLegacy({"pkcs8", "-inform", "DER", "-passin", "pass:" + kPw}, der).status, 0);
    const auto parsed = zqtest::run({"openssl", "asn1parse", "-inform", "DER"}, der);
    EXPECT_NE(parsed.output.find("hmacWithSHA256"), std::string::npos);
    EXPECT_NE(parsed.output.find("aes-256-cbc"), std::string::npos);

    // Schemes without PBES2 give their row alone; a PRF not on offer is refused.
    Encrypted kisa;
    ASSERT_EQ(keyfmt::readEncrypted(encrypt(780), kisa), 0);
    ASSERT_EQ(get_PKCS5_scheme(kisa.get(), &row, &cipher, &prf), 0);
    EXPECT_EQ(row, 780);
    EXPECT_EQ(cipher, 0);
    EXPECT_EQ(prf, 0);
    made = nullptr;
    EXPECT_EQ(encrypt_PKCS5_prf(info.get(), &made, kPw.data(), len(kPw), nullptr, 0, 2048, 161, 427, VSC_DIGEST_MD5),
              (PKI_ERROR)0x4a06012f);
    EXPECT_EQ(made, nullptr);
    EXPECT_EQ(get_PKCS5_scheme(nullptr, &row, &cipher, &prf), (PKI_ERROR)0x4a070049);
}

TEST_F(EncryptedKeys, WrongPasswordsAndDamagedFiles) {
    for (int row : {780, 777, 793, 146, 170, 427}) {
        SCOPED_TRACE(row);
        EXPECT_EQ(decrypt(encrypt(row), nullptr, "wrong password"), (PKI_ERROR)0x4a070012);
    }
    std::string ours = encrypt(780);
    // A file cut short no longer is one DER element.
    Encrypted none;
    EXPECT_EQ(keyfmt::readEncrypted(ours.substr(0, ours.size() - 20), none), (PKI_ERROR)0x4300004f);
    EXPECT_EQ(none, nullptr);
    // Ciphertext cut by a block, or by a part of one.
    for (int cut : {16, 3}) {
        Encrypted p8;
        ASSERT_EQ(keyfmt::readEncrypted(ours, p8), 0);
        p8->encryptedData->length -= cut;
        P8_PRIV_KEY_INFO* out = nullptr;
        PKI_ERROR rc = decrypt_PKCS5(p8.get(), &out, kPw.data(), len(kPw));
        EXPECT_TRUE(rc == (PKI_ERROR)0x4a070012 || rc == VSC_ERR_INVALID_LENGTH) << std::hex << rc;
        EXPECT_EQ(out, nullptr);
    }
    // Nowhere to put the key.
    Encrypted p8;
    ASSERT_EQ(keyfmt::readEncrypted(ours, p8), 0);
    EXPECT_EQ(decrypt_PKCS5(p8.get(), nullptr, kPw.data(), len(kPw)), (PKI_ERROR)0x4a070049);
    // A key derivation that is not PBKDF2.
    auto scrypt = keyfmt::opensslLegacy(
        {"pkcs8", "-topk8", "-inform", "DER", "-outform", "DER", "-passout", "pass:" + kPw, "-scrypt"}, plain);
    ASSERT_EQ(scrypt.status, 0);
    EXPECT_EQ(decrypt(scrypt.output), (PKI_ERROR)0x4a070104);
}

// An EncryptedPrivateKeyInfo made by openssl asn1parse from its parts.
std::string handMade(const std::string& algorithm, const std::string& params) {
    auto bytes = pkitest::genconf(
        "asn1 = SEQUENCE:epki\n[epki]\nalg = SEQUENCE:alg\n"
        "data = FORMAT:HEX,OCTETSTRING:00112233445566778899AABBCCDDEEFF\n"
        "[alg]\noid = OID:" +
        algorithm + "\nparams = SEQUENCE:pbe\n" + params);
    return std::string(bytes.begin(), bytes.end());
}

TEST_F(EncryptedKeys, HostileParametersAreRefusedAtOnce) {
    const std::string pbes1 = "[pbe]\nsalt = FORMAT:HEX,OCTETSTRING:0102030405060708\ncount = INTEGER:";
    const std::string pbes2 =
        "[pbe]\nkdf = SEQUENCE:kdf\nenc = SEQUENCE:enc\n"
        "[kdf]\noid = OID:1.2.840.113549.1.5.12\np = SEQUENCE:p\n"
        "[enc]\noid = OID:2.16.840.1.101.3.4.1.42\n"
        "iv = FORMAT:HEX,OCTETSTRING:000102030405060708090A0B0C0D0E0F\n"
        "[p]\nsalt = FORMAT:HEX,OCTETSTRING:0102030405060708\n";
    struct Case {
        const char* what;
        std::string der;
        PKI_ERROR want;
    } cases[] = {
        {"count 2^31 - 1", handMade("1.2.410.200004.1.15", pbes1 + "0x7FFFFFFF"), 0x4a07002b},
        {"count of nine bytes", handMade("1.2.410.200004.1.15", pbes1 + "0x010000000000000000"), 0x4a07002b},
        {"count just over the bound", handMade("1.2.410.200004.1.4.2", pbes1 + "1000001"), 0x4a07002b},
        {"count 0", handMade("1.2.840.113549.1.12.1.3", pbes1 + "0"), 0x4a07002b},
        {"negative count", handMade("1.2.840.113549.1.5.10", pbes1 + "-5"), 0x4a07002b},
        {"PBES2 count 2^31 - 1", handMade("1.2.840.113549.1.5.13", pbes2 + "count = INTEGER:0x7FFFFFFF\n"), 0x4a07002b},
        {"PBES2 key length of AES-128 for AES-256",
         handMade("1.2.840.113549.1.5.13", pbes2 + "count = INTEGER:1\nkeylen = INTEGER:16\n"), 0x4a07002b},
        {"PBES2 PRF we do not know",
         handMade("1.2.840.113549.1.5.13", pbes2 + "count = INTEGER:1\nprf = SEQUENCE:prf\n[prf]\noid = OID:1.2.3.4\n"),
         0x4a07012f},
        {"MD2 and DES", handMade("1.2.840.113549.1.5.1", pbes1 + "1"), 0x4a07012f},
        {"not a PBE algorithm", handMade("1.2.840.113549.1.1.1", pbes1 + "1"), 0x4a07012f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(c.der.empty());
        EXPECT_EQ(decrypt(c.der), c.want) << std::hex << decrypt(c.der);
    }
}

TEST_F(EncryptedKeys, RowsWeDoNotWrite) {
    PKCS8* out = nullptr;
    auto enc = [&](int row, int cipherRow, bool ex, int iterations = 2048, int pwLen = len(kPw)) {
        return ex ? encrypt_PKCS5_ex(info.get(), &out, kPw.data(), pwLen, nullptr, 0, iterations, row, cipherRow)
                  : encrypt_PKCS5(info.get(), &out, kPw.data(), pwLen, nullptr, 0, iterations, row);
    };
    EXPECT_EQ(enc(419, 0, true), (PKI_ERROR)0x4a06012f);    // the _ex form takes PBES2 only as row 161
    EXPECT_EQ(enc(161, 0, false), (PKI_ERROR)0x4a06012f);   // PBES2 without a cipher
    EXPECT_EQ(enc(9, 0, false), (PKI_ERROR)0x4a06012f);     // MD2
    EXPECT_EQ(enc(830, 0, false), (PKI_ERROR)0x4a06012f);   // HAS-160 has no PBKDF2 PRF identifier
    EXPECT_EQ(enc(161, 426, true), (PKI_ERROR)0x4a06012f);  // AES in ECB mode
    EXPECT_EQ(enc(780, 0, false, PKCS5_MAX_ITERATIONS + 1), (PKI_ERROR)0x4a06002b);
    EXPECT_EQ(enc(780, 0, false, 2048, 0), (PKI_ERROR)0x4a060049);
    EXPECT_EQ(out, nullptr);
}

TEST_F(EncryptedKeys, IterationCountBytes) {
    // The count is written with the bytes its value needs.
    for (auto [count, hex] :
         {std::pair{2048, std::string("02020800")}, {255, "020200ff"}, {1, "020101"}, {65536, "0203010000"}}) {
        SCOPED_TRACE(count);
        std::string ours = encrypt(780, 0, kSalt, count);
        std::string want = std::string("\x04\x08", 2) + std::string(reinterpret_cast<const char*>(kSalt), 8);
        const auto tail = pkitest::fromHex(hex);
        want.append(tail.begin(), tail.end());
        EXPECT_NE(ours.find(want), std::string::npos);
        std::string back;
        EXPECT_EQ(decrypt(ours, &back), 0);
    }
}

}  // namespace
