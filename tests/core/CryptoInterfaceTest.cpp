// What the core library calls of the crypto layer, and the few results its
// callers rely on.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <zunCrypto/zunCrypto.h>

namespace {

struct Named {
    const char* name;
    const void* address;
};
#define NAMED(fn) \
    Named { #fn, reinterpret_cast < const void*>(&fn) }

const Named kCrypto[] = {
    NAMED(VSC_Malloc),
    NAMED(VSC_Free),
    NAMED(VSC_Free_Ex),
    // modes and version
    NAMED(VSC_Crypto_Initialize),
    NAMED(VSC_Change_Non_Proven_Mode),
    NAMED(VSC_Change_Test_Mode),
    NAMED(VSC_Get_Crypto_Version),
    // digests
    NAMED(VSC_New_DIGEST_Unit),
    NAMED(VSC_Init_DIGEST),
    NAMED(VSC_Update_DIGEST),
    NAMED(VSC_Final_DIGEST),
    NAMED(VSC_Free_DIGEST_Unit),
    NAMED(VSC_Get_DIGEST_Length),
    NAMED(VSC_Get_DIGEST_Alg_ID_By_Name),
    // block ciphers
    NAMED(VSC_New_BLOCK_CIPHER_Unit),
    NAMED(VSC_Init_BLOCK_CIPHER),
    NAMED(VSC_Update_BLOCK_CIPHER),
    NAMED(VSC_Final_BLOCK_CIPHER),
    NAMED(VSC_Free_BLOCK_CIPHER_Unit),
    NAMED(VSC_Get_Key_Length),
    NAMED(VSC_Get_Block_Length),
    NAMED(VSC_Get_IV_Length),
    NAMED(VSC_Init_Advanced_BLOCK_CIPHER),
    NAMED(VSC_DoFinal_Advanced_BLOCK_CIPHER),
    // MACs
    NAMED(VSC_New_HMAC_Unit),
    NAMED(VSC_Init_HMAC),
    NAMED(VSC_Update_HMAC),
    NAMED(VSC_Final_HMAC),
    NAMED(VSC_Free_HMAC_Unit),
    NAMED(VSC_CBC_MAC),
    // RSA
    NAMED(VSC_New_RSA),
    NAMED(VSC_Free_RSA),
    NAMED(VSC_Set_RSA_Params),
    NAMED(VSC_Set_RSA_Public_Params),
    NAMED(VSC_Get_RSA_Length),
    NAMED(VSC_Generate_RSA_Params_Ex),
    NAMED(VSC_Init_RSAES),
    NAMED(VSC_Encrypt_RSAES),
    NAMED(VSC_Decrypt_RSAES),
    NAMED(VSC_Init_RSASSA),
    NAMED(VSC_Update_RSASSA),
    NAMED(VSC_Final_RSASSA),
    NAMED(VSC_Add_EMSA_PKCS1_v1_5_Encode),
    NAMED(VSC_Add_RSASSA_PKCS1_PSS_Encode),
    // KCDSA
    NAMED(VSC_Get_KCDSA_Length),
    NAMED(VSC_Init_KCDSA),
    NAMED(VSC_Update_KCDSA),
    NAMED(VSC_Final_KCDSA),
    // big integers
    NAMED(VSC_New_BIGINT),
    NAMED(VSC_Set_BIGINT_Word),
    NAMED(VSC_Get_BIGINT_Word),
    NAMED(VSC_HEX_To_BIGINT),
    NAMED(VSC_Cmp_BIGINT),
    NAMED(VSC_BIGINT_To_Binary),
    NAMED(VSC_BIGINT_To_Binary_Unsigned),
    NAMED(VSC_BIGINT_To_DEC),
    NAMED(VSC_BIGINT_To_HEX),
    NAMED(VSC_Dump_BIGINT),
    NAMED(VSC_Get_BIGINT_Bits_Length),
    NAMED(VSC_Free_BIGINT),
    // random
    NAMED(VSC_Rand_Bytes_PRNG),
    NAMED(VSC_Rand_Bytes_DRBG),
};

TEST(CryptoInterface, EveryCallIsThere) {
    for (const auto& n : kCrypto) EXPECT_NE(n.address, nullptr) << n.name;
}

TEST(CryptoInterface, ResultsCallersRelyOn) {
    EXPECT_LE(VSC_Get_DIGEST_Length(0x7fffffff), 0);
    EXPECT_EQ(VSC_Get_DIGEST_Length(VSC_DIGEST_SHA256), 32);
    EXPECT_EQ(VSC_Get_DIGEST_Alg_ID_By_Name("no-such-digest"), 0);
    EXPECT_EQ(VSC_Get_DIGEST_Alg_ID_By_Name("SHA256"), VSC_DIGEST_SHA256);
    EXPECT_EQ(VSC_Get_Key_Length(0x7fffff00), -1);
    EXPECT_EQ(VSC_Get_Key_Length(VSC_CIPHER_SEED_CBC), 16);

    // The unit shows its block length once initialised.
    BLOCK_CIPHER_UNIT* unit = VSC_New_BLOCK_CIPHER_Unit();
    const unsigned char key[16] = {};
    ASSERT_EQ(VSC_Init_BLOCK_CIPHER(unit, VSC_CIPHER_SEED_CBC, key, nullptr, 1), 0);
    EXPECT_EQ(unit->block_length, 16);
    VSC_Free_BLOCK_CIPHER_Unit(unit);

    EXPECT_EQ(VSC_HEX_To_BIGINT("not hex"), nullptr);
    BIGINT* a = VSC_HEX_To_BIGINT("0102FF");
    BIGINT* b = VSC_New_BIGINT();
    ASSERT_TRUE(a && b);
    ASSERT_EQ(VSC_Set_BIGINT_Word(b, 0x0102FF), 0);
    EXPECT_EQ(VSC_Cmp_BIGINT(a, b), 0);
    unsigned char bin[8];
    ASSERT_EQ(VSC_BIGINT_To_Binary_Unsigned(a, bin), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bin), 3), "\x01\x02\xff");
    EXPECT_EQ(VSC_Get_BIGINT_Bits_Length(a), 17);
    VSC_Free_BIGINT(a);
    VSC_Free_BIGINT(b);

    unsigned char r1[16] = {}, r2[16] = {};
    EXPECT_EQ(VSC_Rand_Bytes_PRNG(r1, 16), 0);
    EXPECT_EQ(VSC_Rand_Bytes_DRBG(r2, 16, nullptr, VSC_DIGEST_SHA256, 0), 0);
    EXPECT_NE(std::memcmp(r1, r2, 16), 0);
    EXPECT_NE(VSC_Get_Crypto_Version(), nullptr);
}

}  // namespace
