// PKCS#7 encrypted and enveloped data: our messages opened by openssl,
// openssl's opened by ours, the streaming interface byte by byte, and the
// lengths and labels a message must agree with.
#include "P7Helpers.h"

#include "KeyHelpers.h"
#include <zunPKI/pkcs/pkcs7_env.h>
#include <zunPKI/pkcs/pkcs7_sign.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

using namespace p7test;
using pkitest::toHex;

using Algorithm = std::unique_ptr<X509_ALGO_IDENTIFIER, FreeWith<free_X509_ALGO_IDENTIFIER>>;

// The enveloped objects of make_p7env_fixtures.sh, beside make_p7_fixtures.sh's.
const std::string& envFixtures() {
    static const std::string path = [] {
        const std::string& dir = fixtures();
        const auto r = zqtest::run({zqtest::sourceDir() + "/tests/pki/pkcs/make_p7env_fixtures.sh", dir});
        return r.status == 0 ? dir : std::string();
    }();
    return path;
}
Bytes envFixture(const std::string& name) { return pkitest::readBytes(envFixtures() + "/" + name); }

struct Cipher {
    const char* name;
    int row;
    int id;
    bool legacy;  // openssl needs its legacy provider
};
const Cipher kCiphers[] = {
    {"3DES", 44, VSC_CIPHER_DES_EDE3_CBC, false},
    {"AES-128", 419, VSC_CIPHER_AES128_CBC, false},
    {"AES-256", 427, VSC_CIPHER_AES256_CBC, false},
    {"SEED", 777, VSC_CIPHER_SEED_CBC, true},
};

Algorithm algorithmOf(int row) {
    Algorithm alg(new_X509_ALGO_IDENTIFIER());
    std::unique_ptr<OBJECT_IDENTIFIER, FreeWith<free_OBJECT_IDENTIFIER>> oid(index_to_OBJECT_IDENTIFIER(row));
    EXPECT_EQ(set_X509_ALGO_IDENTIFIER_value(alg.get(), oid.get(), nullptr), 0);
    // No parameters at all: encryption writes the IV there.
    free_ASN1_STRING(alg->parameters);
    alg->parameters = nullptr;
    return alg;
}

Bytes pattern(size_t n, unsigned char seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(seed + i * 7);
    return b;
}

const char* chars(const Bytes& b) { return reinterpret_cast<const char*>(b.data()); }
int size(const Bytes& b) { return static_cast<int>(b.size()); }

P7_ENCRYPTED_CONTENT_INFO* eciOf(const P7_CONTENT_INFO* p7) {
    switch (rowOf(p7->contentType)) {
        case P7_ENVELOPED_DATA_TYPE:
            return static_cast<P7_ENVELOPED_DATA*>(p7->content)->encryptedContentInfo;
        case P7_SIGNED_AND_ENVELOPED_DATA_TYPE:
            return static_cast<P7_SIGNED_AND_ENVELOPED_DATA*>(p7->content)->encryptedContentInfo;
        default:
            return static_cast<P7_ENCRYPTED_DATA*>(p7->content)->encryptedContentInfo;
    }
}
Bytes encryptedContentOf(const P7_CONTENT_INFO* p7) {
    const OCTET_STRING* s = eciOf(p7)->encryptedContent;
    return s ? Bytes(s->data, s->data + s->length) : Bytes();
}

// Our decryption of a message with key, the IV from the message.
Bytes decrypted(P7_CONTENT_INFO* p7, const Bytes& key, int* rc = nullptr) {
    Bytes out(static_cast<size_t>(get_PKCS7_ENCRYPTED_CONTENT_length(p7)) + 1);
    int len = size(out);
    const int r = decrypt_PKCS7(p7, key.data(), nullptr, reinterpret_cast<char*>(out.data()), &len);
    if (rc) *rc = r;
    if (r != 0) return {};
    out.resize(static_cast<size_t>(len));
    return out;
}

// ---- encryptedData -------------------------------------------------------------

// An encryptedData under a unit of cipher id with key and iv.
Message newEncryptedData(int id, const Bytes& key, const Bytes& iv) {
    Message p7(new_P7_CONTENT_INFO());
    EXPECT_EQ(set_PKCS7_Type(p7.get(), P7_ENCRYPTED_DATA_TYPE), 0);
    BLOCK_CIPHER_UNIT* unit = VSC_New_BLOCK_CIPHER_Unit();
    EXPECT_EQ(VSC_Init_BLOCK_CIPHER(unit, id, key.data(), iv.data(), 1), 0);
    EXPECT_EQ(set_PKCS7_Cipher(p7.get(), unit), 0);
    return p7;
}

TEST(Pkcs7Encrypted, OurEncryptedDataOpensWithOpensslAndOurs) {
    const Bytes content = fixture("content.bin");
    zqtest::TempDir dir("p7enc");
    for (const Cipher& c : kCiphers) {
        SCOPED_TRACE(c.name);
        const Bytes key = pattern(static_cast<size_t>(VSC_Get_Key_Length(c.id)), 1);
        const Bytes iv = pattern(static_cast<size_t>(VSC_Get_IV_Length(c.id)), 9);
        Message p7 = newEncryptedData(c.id, key, iv);
        Algorithm alg = algorithmOf(c.row);
        ASSERT_EQ(encrypt_PKCS7(p7.get(), P7_DATA, alg.get(), chars(content), size(content), 0), 0);
        // The IV travels as the algorithm's OCTET STRING parameters.
        const X509_ALGO_IDENTIFIER* written = eciOf(p7.get())->contentEncryptionAlgorithm;
        ASSERT_NE(written->parameters, nullptr);
        EXPECT_EQ(written->parameters->type, ASN1_TAG_OCTET_STRING);
        EXPECT_EQ(toHex(written->parameters->data, static_cast<size_t>(written->parameters->length)), toHex(iv));

        const std::string file = dir / (std::string(c.name) + ".der");
        zqtest::writeFile(file, textOf(encode(p7.get())));
        std::vector<std::string> args{
            "cms", "-EncryptedData_decrypt", "-binary", "-inform", "DER", "-in", file, "-secretkey", toHex(key)};
        auto r = c.legacy ? keyfmt::opensslLegacy(args) : openssl(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(keyfmt::sameBytes(r.output, textOf(content)));

        Message back = decode(encode(p7.get()));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(decrypted(back.get(), key), content);
    }
}

TEST(Pkcs7Encrypted, OpensslEncryptedDataOpensWithOurs) {
    Message p7 = decode(fixture("encrypted-data.der"));
    ASSERT_NE(p7, nullptr);
    const Bytes key = pkitest::fromHex("000102030405060708090a0b0c0d0e0f");
    EXPECT_EQ(decrypted(p7.get(), key), fixture("content.bin"));

    // A wrong key: almost always the padding does not hold (1 in 256 it
    // does, by chance), and then nothing is written.
    Bytes out(4096, 0xaa);
    int len = size(out);
    Bytes wrong = key;
    wrong[0] ^= 1;
    if (decrypt_PKCS7(p7.get(), wrong.data(), nullptr, reinterpret_cast<char*>(out.data()), &len) != 0) {
        EXPECT_EQ(out, Bytes(4096, 0xaa));
    } else {
        EXPECT_NE(Bytes(out.begin(), out.begin() + len), fixture("content.bin"));
        out.assign(4096, 0xaa);
    }

    // Too little room for the content.
    len = size(fixture("content.bin")) - 1;
    EXPECT_EQ(decrypt_PKCS7(p7.get(), key.data(), nullptr, reinterpret_cast<char*>(out.data()), &len), 0x4b000049);
    EXPECT_EQ(out, Bytes(4096, 0xaa));
}

TEST(Pkcs7Encrypted, TheIvFromTheMessageMustHaveTheCiphersLength) {
    const Bytes key = pkitest::fromHex("000102030405060708090a0b0c0d0e0f");
    for (const Bytes& iv : {Bytes(15, 1), Bytes(17, 1), Bytes()}) {
        SCOPED_TRACE(iv.size());
        Message p7 = decode(fixture("encrypted-data.der"));
        ASN1_STRING* params = eciOf(p7.get())->contentEncryptionAlgorithm->parameters;
        ASSERT_EQ(set_ASN1_STRING_value(params, ASN1_TAG_OCTET_STRING, iv.data(), size(iv)), 0);
        int rc = 0;
        decrypted(p7.get(), key, &rc);
        EXPECT_EQ(rc, 0x4b00002b);
    }
    // NULL parameters carry no IV, which CBC needs.
    Message p7 = decode(fixture("encrypted-data.der"));
    ASN1_STRING* params = eciOf(p7.get())->contentEncryptionAlgorithm->parameters;
    ASSERT_EQ(set_ASN1_STRING_value(params, ASN1_TAG_NULL, nullptr, 0), 0);
    int rc = 0;
    decrypted(p7.get(), key, &rc);
    EXPECT_EQ(rc, 0x4b00002b);
}

// An envelopedData for the signer of make_p7_fixtures.sh.
Message newEnvelopedData(int mode = P7_RSAES_DEFAULT) {
    Message p7(new_P7_CONTENT_INFO());
    EXPECT_EQ(set_PKCS7_Type(p7.get(), P7_ENVELOPED_DATA_TYPE), 0);
    Cert recipient = cert("signer.der");
    EXPECT_NE(add_PKCS7_Recipient_withEncryptedAlgorithm(p7.get(), recipient.get(), mode, nullptr), nullptr);
    return p7;
}

// The ciphertext of content fed in pieces of step bytes into a message of
// type (AES-128, fixed key and IV), each update's and final's output also
// collected from the caller's buffers.
struct Streamed {
    Bytes message;
    Bytes collected;
};

Streamed streamed(int type, const Bytes& content, size_t step, void* external) {
    const Bytes key = pattern(16, 3), iv = pattern(16, 5);
    Message p7 = type == P7_ENCRYPTED_DATA_TYPE ? newEncryptedData(VSC_CIPHER_AES128_CBC, key, iv) : newEnvelopedData();
    Algorithm alg = algorithmOf(419);
    Streamed s;
    EXPECT_EQ(init_PKCS7_Encrypt(p7.get(), P7_DATA, alg.get(), external, key.data(), iv.data(), 0), 0);
    for (size_t at = 0; at < content.size(); at += step) {
        const int n = static_cast<int>(std::min(step, content.size() - at));
        // Room for the piece and one block; exactly as much, so an overrun shows under ASan.
        std::vector<char> out(static_cast<size_t>(n) + 16);
        int outLen = static_cast<int>(out.size());
        EXPECT_EQ(update_PKCS7_encrypt(p7.get(), chars(content) + at, n, out.data(), &outLen), 0);
        s.collected.insert(s.collected.end(), out.begin(), out.begin() + outLen);
    }
    std::vector<char> last(16);
    int lastLen = 16;
    EXPECT_EQ(final_PKCS7_Encrypt(p7.get(), last.data(), &lastLen), 0);
    s.collected.insert(s.collected.end(), last.begin(), last.begin() + lastLen);
    s.message = encryptedContentOf(p7.get());
    if (!external) {
        EXPECT_EQ(decrypted(p7.get(), key), content);
    }
    return s;
}

TEST(Pkcs7Encrypted, StreamingByteByByteGivesTheSameCiphertext) {
    const Bytes content = fixture("content.bin");
    for (int type : {P7_ENCRYPTED_DATA_TYPE, P7_ENVELOPED_DATA_TYPE}) {
        SCOPED_TRACE(type);
        const Streamed whole = streamed(type, content, content.size(), nullptr);
        const Streamed bytewise = streamed(type, content, 1, nullptr);
        EXPECT_EQ(whole.message.size(), (content.size() / 16 + 1) * 16);
        EXPECT_EQ(toHex(bytewise.message), toHex(whole.message));
        EXPECT_EQ(toHex(bytewise.collected), toHex(whole.message));

        // External output: the caller's buffers receive it all, the message nothing.
        int marker = 0;
        const Streamed external = streamed(type, content, 5, &marker);
        EXPECT_TRUE(external.message.empty());
        EXPECT_EQ(toHex(external.collected), toHex(whole.message));
    }
}

TEST(Pkcs7Encrypted, ASecondStartBeginsAfresh) {
    const Bytes content = fixture("content.bin"), key = pattern(16, 3), iv = pattern(16, 5);
    for (int type : {P7_ENCRYPTED_DATA_TYPE, P7_ENVELOPED_DATA_TYPE}) {
        SCOPED_TRACE(type);
        Message p7 =
            type == P7_ENCRYPTED_DATA_TYPE ? newEncryptedData(VSC_CIPHER_AES128_CBC, key, iv) : newEnvelopedData();
        Algorithm alg = algorithmOf(419);
        ASSERT_EQ(init_PKCS7_Encrypt(p7.get(), P7_DATA, alg.get(), nullptr, key.data(), iv.data(), 0), 0);
        for (int i = 0; i < 40; ++i) ASSERT_EQ(update_PKCS7_encrypt(p7.get(), chars(content), 7, nullptr, nullptr), 0);
        if (type == P7_ENCRYPTED_DATA_TYPE) {
            BLOCK_CIPHER_UNIT* unit = VSC_New_BLOCK_CIPHER_Unit();
            ASSERT_EQ(VSC_Init_BLOCK_CIPHER(unit, VSC_CIPHER_AES128_CBC, key.data(), iv.data(), 1), 0);
            ASSERT_EQ(set_PKCS7_Cipher(p7.get(), unit), 0);
        }
        ASSERT_EQ(encrypt_PKCS7_userKEY(p7.get(), P7_DATA, alg.get(), chars(content), size(content), key.data(),
                                        iv.data(), 0),
                  0);
        EXPECT_EQ(decrypted(p7.get(), key), content);
    }
}

TEST(Pkcs7Encrypted, StreamingOutputNeedsRoomForOneBlockMore) {
    const Bytes content = pattern(40, 0);
    Message p7 = newEncryptedData(VSC_CIPHER_AES128_CBC, pattern(16, 3), pattern(16, 5));
    Algorithm alg = algorithmOf(419);
    int marker = 0;
    ASSERT_EQ(init_PKCS7_Encrypt(p7.get(), P7_DATA, alg.get(), &marker, nullptr, nullptr, 0), 0);
    char out[64];
    int outLen = 15;  // the 15 bytes fed, but 16 may come out
    EXPECT_EQ(update_PKCS7_encrypt(p7.get(), chars(content), 15, out, &outLen), 0x4b200049);
    outLen = 15 + 16;
    EXPECT_EQ(update_PKCS7_encrypt(p7.get(), chars(content), 15, out, &outLen), 0);
    EXPECT_EQ(outLen, 0);
    outLen = 15 + 16;
    EXPECT_EQ(update_PKCS7_encrypt(p7.get(), chars(content), 15, out, &outLen), 0);
    EXPECT_EQ(outLen, 16);
    // External output needs the caller's buffer; final needs a block.
    EXPECT_EQ(update_PKCS7_encrypt(p7.get(), chars(content), 1, nullptr, nullptr), 0x4b200049);
    outLen = 15;
    EXPECT_EQ(final_PKCS7_Encrypt(p7.get(), out, &outLen), 0x4b200049);
    outLen = 16;
    EXPECT_EQ(final_PKCS7_Encrypt(p7.get(), out, &outLen), 0);
    EXPECT_EQ(outLen, 16);
}

TEST(Pkcs7Encrypted, EncryptionNeedsACipherUnitNamedByTheAlgorithm) {
    Message p7(new_P7_CONTENT_INFO());
    ASSERT_EQ(set_PKCS7_Type(p7.get(), P7_ENCRYPTED_DATA_TYPE), 0);
    Algorithm aes = algorithmOf(419);
    const Bytes data = pattern(10, 0);
    EXPECT_EQ(init_PKCS7_Encrypt(p7.get(), P7_DATA, aes.get(), nullptr, nullptr, nullptr, 0), 0x4b200049);
    EXPECT_EQ(set_PKCS7_Cipher(p7.get(), nullptr), 0x4b000049);
    // A unit of AES-128 behind an algorithm that says AES-256 would make a message nobody opens.
    p7 = newEncryptedData(VSC_CIPHER_AES128_CBC, pattern(16, 3), pattern(16, 5));
    Algorithm aes256 = algorithmOf(427);
    EXPECT_EQ(encrypt_PKCS7(p7.get(), P7_DATA, aes256.get(), chars(data), size(data), 0), 0x4b200048);
    EXPECT_EQ(aes256->parameters, nullptr);
    EXPECT_EQ(encrypt_PKCS7(p7.get(), P7_DATA, aes.get(), chars(data), size(data), 7), 0x4b00002b);
    EXPECT_EQ(init_PKCS7_Encrypt(p7.get(), P7_DATA, aes.get(), nullptr, nullptr, nullptr, 7), 0x4b200049);
    EXPECT_EQ(encrypt_PKCS7(p7.get(), P7_DATA, aes.get(), chars(data), size(data), 0), 0);
    // Other content types.
    Message signedData(new_P7_CONTENT_INFO());
    ASSERT_EQ(set_PKCS7_Type(signedData.get(), P7_SIGNED_DATA_TYPE), 0);
    EXPECT_EQ(init_PKCS7_Encrypt(signedData.get(), P7_DATA, aes.get(), nullptr, nullptr, nullptr, 0), 0x4b200048);
    EXPECT_EQ(update_PKCS7_encrypt(signedData.get(), "x", 1, nullptr, nullptr), 0x4b200048);
    BLOCK_CIPHER_UNIT* unit = VSC_New_BLOCK_CIPHER_Unit();
    EXPECT_EQ(set_PKCS7_Cipher(signedData.get(), unit), 1);
    VSC_Free_BLOCK_CIPHER_Unit(unit);
}

TEST(Pkcs7Encrypted, EncryptedContentInfoIsSetWhole) {
    std::unique_ptr<P7_ENCRYPTED_CONTENT_INFO, FreeWith<free_P7_ENCRYPTED_CONTENT_INFO>> eci(
        new_P7_ENCRYPTED_CONTENT_INFO());
    Algorithm alg = algorithmOf(146);  // PBE-SHA1-3DES
    const Bytes data = pattern(24, 2);
    ASSERT_EQ(set_PKCS7_P7_ENCRYPTED_CONTENT_INFO(eci.get(), P7_DATA, alg.get(), data.data(), size(data)), 0);
    EXPECT_EQ(rowOf(eci->contentType), P7_DATA);
    EXPECT_EQ(cmp_X509_ALGO_IDENTIFIER(eci->contentEncryptionAlgorithm, alg.get()), 0);
    EXPECT_NE(eci->contentEncryptionAlgorithm, alg.get());
    ASSERT_NE(eci->encryptedContent, nullptr);
    EXPECT_EQ(Bytes(eci->encryptedContent->data, eci->encryptedContent->data + eci->encryptedContent->length), data);
    // A row without an identifier changes nothing.
    EXPECT_EQ(set_PKCS7_P7_ENCRYPTED_CONTENT_INFO(eci.get(), 0, alg.get(), nullptr, 0), 0x4b00002b);
    EXPECT_EQ(eci->encryptedContent->length, 24);
    EXPECT_EQ(set_PKCS7_P7_ENCRYPTED_CONTENT_INFO(nullptr, P7_DATA, alg.get(), nullptr, 0), 0x4b000049);
    EXPECT_EQ(set_PKCS7_P7_ENCRYPTED_CONTENT_INFO(eci.get(), P7_DATA, nullptr, nullptr, 0), 0x4b000049);
    // Without data the record says there is none.
    ASSERT_EQ(set_PKCS7_P7_ENCRYPTED_CONTENT_INFO(eci.get(), P7_DATA, alg.get(), nullptr, 0), 0);
    EXPECT_EQ(eci->encryptedContent, nullptr);
}

// ---- envelopedData -----------------------------------------------------------------

// The content key of a message for the named certificate and PKCS#8 key.
Bytes contentKey(P7_CONTENT_INFO* p7, const char* who, int mode, int* rc = nullptr) {
    Cert c = cert(std::string(who) + ".der");
    KeyInfo k = key(std::string(who) + ".p8");
    Bytes out(128);
    int len = size(out);
    const int r =
        decrypt_PKCS7_enveloped_CEK(p7, c.get(), k->privateKey, reinterpret_cast<char*>(out.data()), &len, mode);
    if (rc) *rc = r;
    if (r != 0) return {};
    out.resize(static_cast<size_t>(len));
    return out;
}

// openssl cms -decrypt of a DER message for signer.
zqtest::RunResult opensslDecrypt(const Bytes& der, bool legacy) {
    zqtest::TempDir dir("p7env");
    zqtest::writeFile(dir / "m.der", textOf(der));
    std::vector<std::string> args{"cms",
                                  "-decrypt",
                                  "-binary",
                                  "-inform",
                                  "DER",
                                  "-in",
                                  dir / "m.der",
                                  "-recip",
                                  fixturePath("signer.pem"),
                                  "-inkey",
                                  fixturePath("signer.key")};
    return legacy ? keyfmt::opensslLegacy(args) : openssl(args);
}

TEST(Pkcs7Enveloped, OurEnvelopedDataOpensWithOpensslAndOurs) {
    const Bytes content = fixture("content.bin");
    struct Case {
        Cipher cipher;
        int mode;
    };
    std::vector<Case> cases;
    for (const Cipher& c : kCiphers) cases.push_back({c, P7_RSAES_DEFAULT});
    cases.push_back({kCiphers[1], P7_RSAES_OAEP_V21});
    cases.push_back({kCiphers[2], P7_RSAES_OAEP});
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.cipher.name) + " mode " + std::to_string(c.mode));
        Message p7 = newEnvelopedData(c.mode);
        Algorithm alg = algorithmOf(c.cipher.row);
        ASSERT_EQ(encrypt_PKCS7(p7.get(), P7_DATA, alg.get(), chars(content), size(content), c.mode), 0);
        ASSERT_NE(alg->parameters, nullptr);  // the IV, for the caller too
        EXPECT_EQ(alg->parameters->length, VSC_Get_IV_Length(c.cipher.id));
        const Bytes der = encode(p7.get());
        const auto r = opensslDecrypt(der, c.cipher.legacy);
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(keyfmt::sameBytes(r.output, textOf(content)));

        Message back = decode(der);
        ASSERT_NE(back, nullptr);
        const Bytes cek = contentKey(back.get(), "signer", c.mode);
        EXPECT_EQ(cek.size(), static_cast<size_t>(VSC_Get_Key_Length(c.cipher.id)));
        EXPECT_EQ(decrypted(back.get(), cek), content);
    }
}

TEST(Pkcs7Enveloped, OpensslEnvelopedDataOpensWithOurs) {
    const Bytes content = fixture("content.bin");
    struct Case {
        const char* file;
        const char* recipient;
        int mode;
    } cases[] = {
        {"enveloped-3des.der", "signer", P7_RSAES_PKCS1_V15},
        {"enveloped-aes128.der", "signer", P7_RSAES_DEFAULT},
        {"enveloped-aes256.der", "signer", P7_RSAES_PKCS1_V15},
        {"enveloped-seed.der", "signer", P7_RSAES_PKCS1_V15},
        {"enveloped-two.der", "other", P7_RSAES_PKCS1_V15},
        {"enveloped-oaep256.der", "signer", P7_RSAES_OAEP_V21},
        {"enveloped-aria128.der", "signer", P7_RSAES_PKCS1_V15},
        {"enveloped-aria256.der", "signer", P7_RSAES_PKCS1_V15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Message p7 = decode(envFixture(c.file));
        ASSERT_NE(p7, nullptr);
        const Bytes cek = contentKey(p7.get(), c.recipient, c.mode);
        ASSERT_FALSE(cek.empty());
        EXPECT_EQ(decrypted(p7.get(), cek), content);
    }
}

// NSS's cmsutil both ways (it knows no OAEP key transport): ours opened by
// it, and its BER envelope (the encryptedContent in pieces) opened by ours.
TEST(Pkcs7Enveloped, NssOpensOursAndWeOpenNss) {
    const Bytes content = fixture("content.bin");
    NssDb nss;
    nss.holdKey("signer");
    for (const Cipher& c : kCiphers) {
        SCOPED_TRACE(c.name);
        Message p7 = newEnvelopedData();
        Algorithm alg = algorithmOf(c.row);
        ASSERT_EQ(encrypt_PKCS7(p7.get(), P7_DATA, alg.get(), chars(content), size(content), 0), 0);
        zqtest::TempDir dir("p7nssenv");
        zqtest::writeFile(dir / "m.der", textOf(encode(p7.get())));
        ASSERT_EQ(zqtest::run({"cmsutil", "-D", "-d", nss.db, "-i", dir / "m.der", "-o", dir / "out.bin"}).status, 0);
        EXPECT_EQ(pkitest::readBytes(dir / "out.bin"), content);
    }
    zqtest::TempDir dir("p7nssenv");
    ASSERT_EQ(zqtest::run({"cmsutil", "-E", "-d", nss.db, "-r", "signer", "-i", fixturePath("content.bin"), "-o",
                           dir / "m.der"})
                  .status,
              0);
    Message p7 = decode(pkitest::readBytes(dir / "m.der"));
    ASSERT_NE(p7, nullptr);
    const Bytes cek = contentKey(p7.get(), "signer", P7_RSAES_DEFAULT);
    ASSERT_FALSE(cek.empty());
    EXPECT_EQ(decrypted(p7.get(), cek), content);
}

TEST(Pkcs7Enveloped, RecipientsAreLabelledByTheirKeyTransport) {
    Cert signerCert = cert("signer.der");
    Message p7(new_P7_CONTENT_INFO());
    ASSERT_EQ(set_PKCS7_Type(p7.get(), P7_ENVELOPED_DATA_TYPE), 0);
    for (int mode : {0, 32, 8, 16}) {
        SCOPED_TRACE(mode);
        const P7_RECIPIENT_INFO* ri =
            add_PKCS7_Recipient_withEncryptedAlgorithm(p7.get(), signerCert.get(), mode, nullptr);
        ASSERT_NE(ri, nullptr);
        EXPECT_EQ(rowOf(ri->keyEncryptionAlgorithm->algorithm), mode == 8 || mode == 16 ? 832 : 6);
        ASSERT_NE(ri->version, nullptr);
        EXPECT_EQ(VSC_Get_BIGINT_Word(ri->version), 0u);
        EXPECT_EQ(cmp_P7_ISSUER_AND_SERIAL_NUMBER(signerCert.get(), ri->issuerAndSerialNumber), 0);
    }
    EXPECT_EQ(add_PKCS7_Recipient_withEncryptedAlgorithm(p7.get(), signerCert.get(), 4, nullptr), nullptr);
    // OAEP parameters our crypto library cannot follow (a mask hash other than the hash).
    std::unique_ptr<RSAES_OAEP_PARAM, FreeWith<free_RSAES_OAEP_PARAM>> oaep(new_RSAES_OAEP_PARAM());
    ASSERT_EQ(set_RSAES_OAEP_PARAM_hashAlgorithm(oaep.get(), 672), 0);
    EXPECT_EQ(add_PKCS7_Recipient_withEncryptedAlgorithm(p7.get(), signerCert.get(), 16, oaep.get()), nullptr);
    EXPECT_EQ(get_STACK_count(static_cast<P7_ENVELOPED_DATA*>(p7->content)->recipientInfos), 4);

    // Not RSA, or not a type with recipients.
    zqtest::TempDir dir("p7ec");
    auto ec = zqtest::run({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                           "-keyout", dir / "ec.key", "-subj", "/CN=ec", "-outform", "DER"});
    ASSERT_EQ(ec.status, 0);
    Cert ecCert = x509test::decodeWith<Cert>(Seq_to_X509_CERT, bytesOf(ec.output), nullptr);
    ASSERT_NE(ecCert, nullptr);
    EXPECT_EQ(add_PKCS7_Recipient(p7.get(), ecCert.get()), nullptr);
    Message sd(new_P7_CONTENT_INFO());
    ASSERT_EQ(set_PKCS7_Type(sd.get(), P7_SIGNED_DATA_TYPE), 0);
    EXPECT_EQ(add_PKCS7_Recipient(sd.get(), signerCert.get()), nullptr);
}

TEST(Pkcs7Enveloped, KeyTransportFollowsTheModeAndTheLabelFollowsIt) {
    // Added for PKCS#1 v1.5 and encrypted with OAEP (the core library's
    // signed-and-enveloped path does this): labelled OAEP, so others open it.
    const Bytes content = fixture("content.bin");
    std::unique_ptr<RSAES_OAEP_PARAM, FreeWith<free_RSAES_OAEP_PARAM>> sha256(new_RSAES_OAEP_PARAM());
    ASSERT_EQ(set_RSAES_OAEP_PARAM_hashAlgorithm(sha256.get(), 672), 0);
    ASSERT_EQ(set_RSAES_OAEP_PARAM_maskGenAlgorithm(sha256.get(), 833), 0);
    struct Case {
        int added;
        const RSAES_OAEP_PARAM* params;
        int encrypted;
        int label;
    } cases[] = {
        {P7_RSAES_DEFAULT, nullptr, P7_RSAES_OAEP_V21, 832},
        {P7_RSAES_OAEP, nullptr, P7_RSAES_PKCS1_V15, 6},
        {P7_RSAES_OAEP_V21, sha256.get(), P7_RSAES_OAEP_V21, 832},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.added * 100 + c.encrypted);
        Message p7(new_P7_CONTENT_INFO());
        ASSERT_EQ(set_PKCS7_Type(p7.get(), P7_ENVELOPED_DATA_TYPE), 0);
        Cert recipient = cert("signer.der");
        P7_RECIPIENT_INFO* ri =
            add_PKCS7_Recipient_withEncryptedAlgorithm(p7.get(), recipient.get(), c.added, c.params);
        ASSERT_NE(ri, nullptr);
        Algorithm alg = algorithmOf(419);
        ASSERT_EQ(encrypt_PKCS7(p7.get(), P7_DATA, alg.get(), chars(content), size(content), c.encrypted), 0);
        EXPECT_EQ(rowOf(ri->keyEncryptionAlgorithm->algorithm), c.label);
        const auto r = opensslDecrypt(encode(p7.get()), false);
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(keyfmt::sameBytes(r.output, textOf(content)));
        EXPECT_EQ(decrypted(p7.get(), contentKey(p7.get(), "signer", c.encrypted)), content);
    }
}

TEST(Pkcs7Enveloped, ContentKeyRefusals) {
    Message p7 = decode(envFixture("enveloped-aes128.der"));
    ASSERT_NE(p7, nullptr);
    Cert signerCert = cert("signer.der");
    KeyInfo signerKey = key("signer.p8"), otherKey = key("other.p8");
    Bytes out(128, 0xaa);
    auto cek = [&](const X509_CERT* c, const ASYMMETRIC_KEY* k, int room, int mode = 0) {
        int len = room;
        return decrypt_PKCS7_enveloped_CEK(p7.get(), c, k, reinterpret_cast<char*>(out.data()), &len, mode);
    };
    int rc = 0;
    contentKey(p7.get(), "other", 0, &rc);
    EXPECT_EQ(rc, 1);                                                // no RecipientInfo for that certificate
    EXPECT_EQ(cek(nullptr, signerKey->privateKey, 128), 1);          // an envelopedData carries no certificates
    EXPECT_NE(cek(signerCert.get(), otherKey->privateKey, 128), 0);  // another key
    EXPECT_EQ(cek(signerCert.get(), signerKey->privateKey, 15), 0x4b000049);
    EXPECT_EQ(cek(signerCert.get(), signerKey->privateKey, 128, 4), 0x4b00002b);
    EXPECT_EQ(out, Bytes(128, 0xaa));

    // A key that does not fit the cipher the message names: AES-128's key behind AES-256.
    auto* eci = eciOf(p7.get());
    std::unique_ptr<OBJECT_IDENTIFIER, FreeWith<free_OBJECT_IDENTIFIER>> aes256(index_to_OBJECT_IDENTIFIER(427));
    ASSERT_EQ(set_X509_ALGO_IDENTIFIER_value(eci->contentEncryptionAlgorithm, aes256.get(),
                                             eci->contentEncryptionAlgorithm->parameters),
              0);
    EXPECT_EQ(cek(signerCert.get(), signerKey->privateKey, 128), 0x4b00002b);
    EXPECT_EQ(out, Bytes(128, 0xaa));
}

TEST(Pkcs7Enveloped, EncryptionNeedsRecipientsAndAKnownCipher) {
    Message p7(new_P7_CONTENT_INFO());
    ASSERT_EQ(set_PKCS7_Type(p7.get(), P7_ENVELOPED_DATA_TYPE), 0);
    Algorithm aes = algorithmOf(419);
    const Bytes key = pattern(16, 1);
    EXPECT_EQ(init_PKCS7_Encrypt(p7.get(), P7_DATA, aes.get(), nullptr, key.data(), nullptr, 0), 0x4b200049);
    p7 = newEnvelopedData();
    Algorithm rsa = algorithmOf(6);
    EXPECT_EQ(init_PKCS7_Encrypt(p7.get(), P7_DATA, rsa.get(), nullptr, key.data(), nullptr, 0), 0x4b200048);
    EXPECT_EQ(init_PKCS7_Encrypt(p7.get(), P7_DATA, aes.get(), nullptr, nullptr, nullptr, 0), 0x4b200049);
    EXPECT_EQ(update_PKCS7_encrypt(p7.get(), "x", 1, nullptr, nullptr), 0x4b200049);  // not started
    // A failed start leaves the message as it was.
    EXPECT_EQ(eciOf(p7.get()), nullptr);
    EXPECT_EQ(static_cast<P7_RECIPIENT_INFO*>(
                  get_STACK_value(static_cast<P7_ENVELOPED_DATA*>(p7->content)->recipientInfos, 0))
                  ->encryptedKey,
              nullptr);
    // With a random IV, twice the same key gives different ciphertexts; with a given IV the same.
    const Bytes data = pattern(33, 4);
    Bytes first, second;
    for (Bytes* out : {&first, &second}) {
        Message m = newEnvelopedData();
        Algorithm alg = algorithmOf(419);
        ASSERT_EQ(encrypt_PKCS7_userKEY(m.get(), P7_DATA, alg.get(), chars(data), size(data), key.data(), nullptr, 0),
                  0);
        *out = encryptedContentOf(m.get());
    }
    EXPECT_NE(first, second);
    const Bytes iv = pattern(16, 8);
    for (Bytes* out : {&first, &second}) {
        Message m = newEnvelopedData();
        Algorithm alg = algorithmOf(419);
        ASSERT_EQ(encrypt_PKCS7_userKEY(m.get(), P7_DATA, alg.get(), chars(data), size(data), key.data(), iv.data(), 0),
                  0);
        *out = encryptedContentOf(m.get());
    }
    EXPECT_EQ(first, second);
}

// ---- signedAndEnvelopedData ---------------------------------------------------------

Bytes sha256(const Bytes& data) {
    Bytes md(32);
    int len = 32;
    EXPECT_EQ(VSC_DIGEST(VSC_DIGEST_SHA256, data.data(), size(data), md.data(), &len), 0);
    return md;
}

// A signedAndEnvelopedData for other, signed by signer with signingTime and
// messageDigest (of md), in the core library's order.
Message newSignedAndEnveloped(int kind, const Bytes& md) {
    Message p7(new_P7_CONTENT_INFO());
    EXPECT_EQ(set_PKCS7_Type(p7.get(), P7_SIGNED_AND_ENVELOPED_DATA_TYPE), 0);
    Cert signerCert = cert("signer.der"), recipient = cert("other.der");
    KeyInfo signerKey = key("signer.p8");
    P7_SIGNER_INFO* si = add_PKCS7_Signature_withEncryptedAlgorithm(p7.get(), signerCert.get(), signerKey->privateKey,
                                                                    672, kind, nullptr);
    EXPECT_NE(si, nullptr);
    EXPECT_EQ(add_PKCS7_Certificate(p7.get(), signerCert.get()), 0);
    const std::string time = "260301093000Z";
    EXPECT_EQ(add_PKCS7_Signed_Attribute(si, 52, ASN1_TAG_UTC_TIME, time.data(), static_cast<int>(time.size())), 0);
    EXPECT_EQ(add_PKCS7_Signed_Attribute(si, 51, ASN1_TAG_OCTET_STRING, md.data(), size(md)), 0);
    EXPECT_NE(add_PKCS7_Recipient(p7.get(), recipient.get()), nullptr);
    return p7;
}

TEST(Pkcs7SignedAndEnveloped, RoundTrip) {
    const Bytes content = fixture("content.bin");
    struct Case {
        const char* name;
        int kind;
        bool sealed;  // the _SP form: signatures encrypted with the content key
    } cases[] = {{"v1.5", P7_SIGN_PKCS1_V15, false},
                 {"v1.5 sealed", P7_SIGN_PKCS1_V15, true},
                 {"PSS sealed", P7_SIGN_RSA_PSS, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Message p7 = newSignedAndEnveloped(c.kind, sha256(content));
        Algorithm alg = algorithmOf(777);
        const auto sign = c.sealed ? sign_encrypt_PKCS7_SP : sign_encrypt_PKCS7;
        ASSERT_EQ(sign(p7.get(), P7_DATA, alg.get(), chars(content), size(content), 0), 0);
        const Bytes der = encode(p7.get());
        Message back = decode(der);
        ASSERT_NE(back, nullptr);
        const Bytes cek = contentKey(back.get(), "other", 0);
        ASSERT_EQ(cek.size(), 16u);
        Bytes out(content.size() + 16);
        int len = size(out);
        EXPECT_EQ(verify_decrypt_PKCS7(back.get(), nullptr, cek.data(), reinterpret_cast<char*>(out.data()), &len), 0);
        out.resize(static_cast<size_t>(len));
        EXPECT_EQ(out, content);
        Cert signerCert = cert("signer.der");
        len = size(content) + 16;
        out.resize(static_cast<size_t>(len));
        EXPECT_EQ(
            verify_decrypt_PKCS7(back.get(), signerCert.get(), cek.data(), reinterpret_cast<char*>(out.data()), &len),
            0);

        // A signature that does not verify: an error, and the content is not handed out.
        auto* sed = static_cast<P7_SIGNED_AND_ENVELOPED_DATA*>(back->content);
        auto* si = static_cast<P7_SIGNER_INFO*>(get_STACK_value(sed->signerInfos, 0));
        si->encryptedDigest->data[7] ^= 1;
        out.assign(content.size() + 16, 0);
        len = size(out);
        EXPECT_NE(verify_decrypt_PKCS7(back.get(), nullptr, cek.data(), reinterpret_cast<char*>(out.data()), &len), 0);
        EXPECT_EQ(len, 0);
        EXPECT_EQ(out, Bytes(content.size() + 16, 0));
    }
}

// An empty content is still content: its digest is the one signed, and the
// message we made opens and verifies.
TEST(Pkcs7SignedAndEnveloped, AnEmptyContentOpens) {
    const Bytes empty;
    for (bool sealed : {false, true}) {
        SCOPED_TRACE(sealed ? "sealed" : "plain");
        Message p7 = newSignedAndEnveloped(P7_SIGN_PKCS1_V15, sha256(empty));
        Algorithm alg = algorithmOf(419);
        const auto sign = sealed ? sign_encrypt_PKCS7_SP : sign_encrypt_PKCS7;
        ASSERT_EQ(sign(p7.get(), P7_DATA, alg.get(), "", 0, 0), 0);
        Message back = decode(encode(p7.get()));
        ASSERT_NE(back, nullptr);
        const Bytes cek = contentKey(back.get(), "other", 0);
        ASSERT_EQ(cek.size(), 16u);
        Bytes out(16);
        int len = size(out);
        EXPECT_EQ(verify_decrypt_PKCS7(back.get(), nullptr, cek.data(), reinterpret_cast<char*>(out.data()), &len), 0);
        EXPECT_EQ(len, 0);
    }
    // The empty content's digest is checked like any other.
    Message p7 = newSignedAndEnveloped(P7_SIGN_PKCS1_V15, sha256(bytesOf("x")));
    Algorithm alg = algorithmOf(419);
    EXPECT_EQ(sign_encrypt_PKCS7(p7.get(), P7_DATA, alg.get(), "", 0, 0), 0x4b1c005e);
}

TEST(Pkcs7SignedAndEnveloped, TheMessageDigestMustBeTheContents) {
    const Bytes content = fixture("content.bin");
    Bytes md = sha256(content);
    md[0] ^= 1;
    Message p7 = newSignedAndEnveloped(P7_SIGN_PKCS1_V15, md);
    Algorithm alg = algorithmOf(419);
    EXPECT_EQ(sign_encrypt_PKCS7(p7.get(), P7_DATA, alg.get(), chars(content), size(content), 0), 0x4b1c005e);
    EXPECT_EQ(sign_encrypt_PKCS7(p7.get(), P7_DATA, alg.get(), chars(content), size(content), 3), 0x4b00002b);
    Message enveloped = newEnvelopedData();
    EXPECT_EQ(sign_encrypt_PKCS7(enveloped.get(), P7_DATA, alg.get(), chars(content), size(content), 0), 1);
    Bytes out(16);
    int len = 16;
    EXPECT_EQ(verify_decrypt_PKCS7(enveloped.get(), nullptr, out.data(), reinterpret_cast<char*>(out.data()), &len), 1);
}

}  // namespace
