// Allocator and big integers.
#include "CryptoTestUtil.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

using namespace zctest;

namespace {

struct BigintDeleter {
    void operator()(BIGINT* b) const { VSC_Free_BIGINT(b); }
};
using BigintPtr = std::unique_ptr<BIGINT, BigintDeleter>;
struct TextDeleter {
    void operator()(char* t) const { VSC_Free(t, __FILE__, __LINE__); }
};
using TextPtr = std::unique_ptr<char, TextDeleter>;

BigintPtr fromBytes(const Bytes& b) {
    return BigintPtr(VSC_Binary_To_BIGINT(nullptr, b.data(), static_cast<int>(b.size())));
}

}  // namespace

TEST(VscMemory, AllocatesZeroesGrowsAndRefusesOverflow) {
    void* zero = VSC_MALLOC(0);
    ASSERT_NE(zero, nullptr);
    VSC_FREE(zero);

    auto* c = static_cast<unsigned char*>(VSC_CALLOC(16, 4));
    ASSERT_NE(c, nullptr);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(c[i], 0);
    std::memcpy(c, "abcdefgh", 8);
    auto* grown = static_cast<unsigned char*>(VSC_REALLOC(c, 4096));
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(std::memcmp(grown, "abcdefgh", 8), 0);
    auto* shrunk = static_cast<unsigned char*>(VSC_REALLOC(grown, 4));
    ASSERT_NE(shrunk, nullptr);
    EXPECT_EQ(std::memcmp(shrunk, "abcd", 4), 0);
    // A length shorter or longer than the block is harmless.
    VSC_FREE_EX(shrunk, 1000);

    EXPECT_EQ(VSC_CALLOC(SIZE_MAX / 2, 4), nullptr);
    EXPECT_EQ(VSC_MALLOC(SIZE_MAX), nullptr);
    VSC_FREE(nullptr);
    VSC_FREE_EX(nullptr, 10);
    void* fresh = VSC_REALLOC(nullptr, 10);
    ASSERT_NE(fresh, nullptr);
    VSC_FREE(fresh);
}

TEST(VscBigint, IntegerContentsAndUnsignedBytes) {
    struct Case {
        const char* hex;      // unsigned input
        const char* integer;  // INTEGER contents
        const char* unsig;    // minimal unsigned bytes
        int bits;
    } cases[] = {
        {"", "00", "", 0},
        {"00", "00", "", 0},
        {"0001", "01", "01", 1},
        {"7f", "7f", "7f", 7},
        {"80", "0080", "80", 8},
        {"ff", "00ff", "ff", 8},
        {"0100", "0100", "0100", 9},
        {"00000080000000000000000000000000000000000001", "0080000000000000000000000000000000000001",
         "80000000000000000000000000000000000001", 152},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hex);
        BigintPtr a = fromBytes(fromHex(c.hex));
        ASSERT_TRUE(a);
        EXPECT_EQ(VSC_Get_BIGINT_Bits_Length(a.get()), c.bits);
        unsigned char buf[64] = {};
        int n = VSC_BIGINT_To_Binary(a.get(), buf);
        ASSERT_EQ(n, (c.bits + 8) / 8);
        EXPECT_EQ(toHex(buf, n), c.integer);
        n = VSC_BIGINT_To_Binary_Unsigned(a.get(), buf);
        EXPECT_EQ(toHex(buf, n), c.unsig);
    }
    // Into an existing value.
    BigintPtr b(VSC_New_BIGINT());
    Bytes two{0x02};
    EXPECT_EQ(VSC_Binary_To_BIGINT(b.get(), two.data(), 1), b.get());
    EXPECT_EQ(VSC_Get_BIGINT_Word(b.get()), 2u);
    EXPECT_EQ(VSC_Binary_To_BIGINT(nullptr, nullptr, -1), nullptr);
}

TEST(VscBigint, TextsCompareAndArithmetic) {
    BigintPtr big(VSC_HEX_To_BIGINT("100000000000000000000000000000000"));  // 2^128
    ASSERT_TRUE(big);
    TextPtr dec(VSC_BIGINT_To_DEC(big.get()));
    EXPECT_STREQ(dec.get(), "340282366920938463463374607431768211456");
    TextPtr hex(VSC_BIGINT_To_HEX(big.get()));
    EXPECT_STREQ(hex.get(), "0100000000000000000000000000000000");

    BigintPtr zero(VSC_New_BIGINT());
    EXPECT_STREQ(TextPtr(VSC_BIGINT_To_HEX(zero.get())).get(), "00");
    EXPECT_STREQ(TextPtr(VSC_BIGINT_To_DEC(zero.get())).get(), "0");
    BigintPtr lower(VSC_HEX_To_BIGINT("abCD"));
    ASSERT_TRUE(lower);
    EXPECT_STREQ(TextPtr(VSC_Dump_BIGINT(lower.get())).get(), "ABCD");
    BigintPtr neg(VSC_HEX_To_BIGINT("-1f"));
    ASSERT_TRUE(neg);
    EXPECT_STREQ(TextPtr(VSC_BIGINT_To_DEC(neg.get())).get(), "-31");

    for (const char* bad : {"", "-", "xyz", "12 34", "0x12", "12\n"}) EXPECT_EQ(VSC_HEX_To_BIGINT(bad), nullptr) << bad;
    EXPECT_EQ(VSC_HEX_To_BIGINT(nullptr), nullptr);

    BigintPtr a(VSC_New_BIGINT()), b(VSC_New_BIGINT()), sum(VSC_New_BIGINT());
    ASSERT_EQ(VSC_Set_BIGINT_Word(a.get(), 0xffffffffu), VSC_OK);
    ASSERT_EQ(VSC_Set_BIGINT_Word(b.get(), 1), VSC_OK);
    ASSERT_EQ(VSC_Add_BIGINT(sum.get(), a.get(), b.get()), VSC_OK);
    EXPECT_EQ(VSC_Get_BIGINT_Word(sum.get()), 0x100000000ul);
    ASSERT_EQ(VSC_Add_BIGINT_Word(sum.get(), 5), VSC_OK);
    EXPECT_EQ(VSC_Get_BIGINT_Word(sum.get()), 0x100000005ul);
    EXPECT_EQ(VSC_Get_BIGINT_Word(big.get()), static_cast<unsigned long>(-1));

    EXPECT_EQ(VSC_Cmp_BIGINT(a.get(), b.get()), 1);
    EXPECT_EQ(VSC_Cmp_BIGINT(b.get(), a.get()), -1);
    EXPECT_EQ(VSC_Cmp_BIGINT(b.get(), VSC_Value_One_BIGINT()), 0);
    EXPECT_EQ(VSC_Cmp_BIGINT(nullptr, a.get()), -1);
    EXPECT_EQ(VSC_Cmp_BIGINT(nullptr, nullptr), 0);

    BigintPtr copy(VSC_Dup_BIGINT(big.get()));
    EXPECT_EQ(VSC_Cmp_BIGINT(copy.get(), big.get()), 0);
    ASSERT_EQ(VSC_Copy_BIGINT(copy.get(), a.get()), VSC_OK);
    EXPECT_EQ(VSC_Cmp_BIGINT(copy.get(), a.get()), 0);

    // The shared one survives a free and refuses changes.
    BIGINT* one = VSC_Value_One_BIGINT();
    VSC_Free_BIGINT(one);
    EXPECT_NE(VSC_Set_BIGINT_Word(one, 7), VSC_OK);
    EXPECT_EQ(VSC_Get_BIGINT_Word(VSC_Value_One_BIGINT()), 1u);
}
