// Random bytes, operating modes and version.
#include "CryptoTestUtil.h"

#include <gtest/gtest.h>

#include <functional>

using namespace zctest;

namespace {

// Two draws of 64 bytes never agree, whatever the source.
void expectFreshDraws(const std::function<int(unsigned char*, int)>& draw) {
    Bytes a(64), b(64);
    ASSERT_EQ(draw(a.data(), 64), VSC_OK);
    ASSERT_EQ(draw(b.data(), 64), VSC_OK);
    EXPECT_NE(a, b);
    EXPECT_NE(a, Bytes(64, 0));
}

}  // namespace

TEST(VscRandom, EverySourceGivesFreshBytesInEveryMode) {
    ASSERT_EQ(VSC_Crypto_Initialize(), VSC_OK);
    EXPECT_STREQ(VSC_Get_Crypto_Version(), "3.2.0");
    // Test mode must not make the generators predictable (session keys are
    // drawn after a mode switch).
    for (auto modeSwitch : {VSC_Change_Non_Proven_Mode, VSC_Change_Test_Mode}) {
        ASSERT_EQ(modeSwitch(), VSC_OK);
        expectFreshDraws(VSC_Rand_Bytes);
        expectFreshDraws(VSC_Rand_Bytes_PRNG);
        for (int id : {0, VSC_DIGEST_SHA1, VSC_DIGEST_SHA256, VSC_DIGEST_SHA512})
            expectFreshDraws([id](unsigned char* p, int n) { return VSC_Rand_Bytes_DRBG(p, n, "extra", id, 1); });
    }
    EXPECT_EQ(VSC_Get_Crypto_Mode(), VSC_MODE_TEST);

    // Longer than one DRBG request.
    Bytes big(200000);
    ASSERT_EQ(VSC_Rand_Bytes_DRBG(big.data(), static_cast<int>(big.size()), nullptr, VSC_DIGEST_SHA256, 0), VSC_OK);
    EXPECT_NE(Bytes(big.end() - 64, big.end()), Bytes(64, 0));

    unsigned char one[1];
    EXPECT_EQ(VSC_Rand_Bytes(nullptr, 4), VSC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(VSC_Rand_Bytes(one, -1), VSC_ERR_INVALID_LENGTH);
    EXPECT_EQ(VSC_Rand_Bytes(one, 0), VSC_OK);
    EXPECT_EQ(VSC_Rand_Bytes_DRBG(one, 1, nullptr, VSC_DIGEST_MD5, 0), VSC_ERR_UNSUPPORTED);
    EXPECT_EQ(VSC_Rand_Bytes_DRBG(one, 1, nullptr, 0x1234, 0), VSC_ERR_UNKNOWN_ALGORITHM);
}
