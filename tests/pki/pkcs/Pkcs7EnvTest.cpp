// PKCS#7 encrypted and enveloped data: our messages opened by openssl,
// openssl's opened by ours, the streaming interface byte by byte, and the
// lengths and labels a message must agree with.
#include "P7Helpers.h"

#include "KeyHelpers.h"
#include "pkcs/pkcs7_env.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace p7test;
using pkitest::toHex;

using Algorithm = std::unique_ptr<X509_ALGO_IDENTIFIER, FreeWith<free_X509_ALGO_IDENTIFIER>>;

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
    case P7_ENVELOPED_DATA_TYPE: return static_cast<P7_ENVELOPED_DATA*>(p7->content)->encryptedContentInfo;
    case P7_SIGNED_AND_ENVELOPED_DATA_TYPE:
        return static_cast<P7_SIGNED_AND_ENVELOPED_DATA*>(p7->content)->encryptedContentInfo;
    default: return static_cast<P7_ENCRYPTED_DATA*>(p7->content)->encryptedContentInfo;
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
        std::vector<std::string> args{"cms", "-EncryptedData_decrypt", "-binary", "-inform", "DER", "-in", file,
                                      "-secretkey", toHex(key)};
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

    // A wrong key: the padding does not hold, and nothing is written.
    Bytes out(4096, 0xaa);
    int len = size(out);
    Bytes wrong = key;
    wrong[0] ^= 1;
    EXPECT_NE(decrypt_PKCS7(p7.get(), wrong.data(), nullptr, reinterpret_cast<char*>(out.data()), &len), 0);
    EXPECT_EQ(out, Bytes(4096, 0xaa));

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

// The ciphertext of content fed in pieces of step bytes, each update's and
// final's output also collected from the caller's buffers.
struct Streamed {
    Bytes message;
    Bytes collected;
};

Streamed streamEncryptedData(const Bytes& content, size_t step, void* external) {
    const Bytes key = pattern(16, 3), iv = pattern(16, 5);
    Message p7 = newEncryptedData(VSC_CIPHER_AES128_CBC, key, iv);
    Algorithm alg = algorithmOf(419);
    Streamed s;
    EXPECT_EQ(init_PKCS7_Encrypt(p7.get(), P7_DATA, alg.get(), external, nullptr, nullptr, 0), 0);
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
    return s;
}

TEST(Pkcs7Encrypted, StreamingByteByByteGivesTheSameCiphertext) {
    const Bytes content = fixture("content.bin");
    const Streamed whole = streamEncryptedData(content, content.size(), nullptr);
    const Streamed bytewise = streamEncryptedData(content, 1, nullptr);
    EXPECT_EQ(whole.message.size(), (content.size() / 16 + 1) * 16);
    EXPECT_EQ(toHex(bytewise.message), toHex(whole.message));
    EXPECT_EQ(toHex(bytewise.collected), toHex(whole.message));

    // External output: the caller's buffers receive it all, the message nothing.
    int marker = 0;
    const Streamed external = streamEncryptedData(content, 5, &marker);
    EXPECT_TRUE(external.message.empty());
    EXPECT_EQ(toHex(external.collected), toHex(whole.message));
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

}  // namespace
