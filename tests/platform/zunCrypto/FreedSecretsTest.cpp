// Private RSA values must not be left in memory OpenSSL hands back to the
// system. OpenSSL's allocator is routed through hooks that look into every
// block as it is freed for a slice of the key's d or p.
#include <zunCrypto/algid.h>
#include <zunCrypto/zunCrypto.h>

#include <gtest/gtest.h>
#include <malloc.h>
#include <openssl/crypto.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace {

std::mutex g_lock;
std::vector<std::vector<unsigned char>> g_watched;
std::atomic<int> g_found{0};

void lookInto(void* p) {
    if (p == nullptr) return;
    std::lock_guard<std::mutex> hold(g_lock);
    const auto* block = static_cast<const unsigned char*>(p);
    const size_t n = malloc_usable_size(p);
    for (const auto& w : g_watched)
        if (std::search(block, block + n, w.begin(), w.end()) != block + n) ++g_found;
}

void* hookMalloc(size_t n, const char*, int) { return std::malloc(n); }
void* hookRealloc(void* p, size_t n, const char*, int) {
    lookInto(p);
    return std::realloc(p, n);
}
void hookFree(void* p, const char*, int) {
    lookInto(p);
    std::free(p);
}

// Before anything in the process allocates through OpenSSL.
const bool g_hooked = CRYPTO_set_mem_functions(hookMalloc, hookRealloc, hookFree) == 1;

struct RsaDeleter {
    void operator()(RSA_UNIT* r) const { VSC_Free_RSA(r); }
};
using RsaPtr = std::unique_ptr<RSA_UNIT, RsaDeleter>;

// A 16-byte slice from the middle of v, in big- and little-endian order.
void watch(const BIGINT* v) {
    std::vector<unsigned char> be(static_cast<size_t>((VSC_Get_BIGINT_Bits_Length(v) + 7) / 8));
    ASSERT_EQ(VSC_BIGINT_To_Binary_Unsigned(v, be.data()), static_cast<int>(be.size()));
    ASSERT_GE(be.size(), 48u);
    std::vector<unsigned char> slice(be.begin() + 24, be.begin() + 40);
    std::lock_guard<std::mutex> hold(g_lock);
    g_watched.push_back(slice);
    std::reverse(slice.begin(), slice.end());
    g_watched.push_back(slice);
}

void watchText(const char* text) {
    const size_t n = std::strlen(text);
    ASSERT_GE(n, 60u);
    std::lock_guard<std::mutex> hold(g_lock);
    g_watched.emplace_back(text + 30, text + 50);
}

}  // namespace

TEST(FreedSecrets, RsaPrivateOperationsLeaveNoKeyValuesInFreedBlocks) {
    ASSERT_TRUE(g_hooked);
    RsaPtr rsa(VSC_New_RSA());
    ASSERT_TRUE(rsa);
    ASSERT_EQ(VSC_Generate_RSA_Params_Ex(rsa.get(), 65537, 2048, 0), VSC_OK);
    watch(rsa->d);
    watch(rsa->p);
    g_found = 0;

    unsigned char sig[256];
    int sigLen = sizeof sig;
    ASSERT_EQ(VSC_Init_RSASSA(rsa.get(), VSC_DIGEST_SHA256, VSC_RSASSA_PKCS1_V15, 1), VSC_OK);
    ASSERT_EQ(VSC_Update_RSASSA(rsa.get(), reinterpret_cast<const unsigned char*>("data"), 4), VSC_OK);
    ASSERT_EQ(VSC_Final_RSASSA(rsa.get(), sig, &sigLen), VSC_OK);
    EXPECT_EQ(g_found.load(), 0) << "after signing";

    unsigned char ct[256], pt[256];
    int ctLen = sizeof ct, ptLen = sizeof pt;
    ASSERT_EQ(VSC_Init_RSAES(rsa.get(), VSC_RSAES_PKCS1_V15, 0, 0), VSC_OK);
    ASSERT_EQ(VSC_Encrypt_RSAES(rsa.get(), ct, &ctLen, reinterpret_cast<const unsigned char*>("data"), 4), VSC_OK);
    ASSERT_EQ(VSC_Init_RSAES(rsa.get(), VSC_RSAES_PKCS1_V15, 1, 0), VSC_OK);
    ASSERT_EQ(VSC_Decrypt_RSAES(rsa.get(), pt, &ptLen, ct, ctLen), VSC_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(pt), static_cast<size_t>(ptLen)), "data");
    EXPECT_EQ(g_found.load(), 0) << "after decrypting";

    rsa.reset();
    EXPECT_EQ(g_found.load(), 0) << "after freeing the key";
}

// The key a unit keeps between operations, shared with its copies, goes
// with the last of them, and goes when the values it was made from are
// replaced (by the setter or directly in the record).
TEST(FreedSecrets, KeptKeysLeaveNoKeyValuesInFreedBlocks) {
    ASSERT_TRUE(g_hooked);
    RsaPtr rsa(VSC_New_RSA()), other(VSC_New_RSA());
    ASSERT_TRUE(rsa && other);
    ASSERT_EQ(VSC_Generate_RSA_Params_Ex(other.get(), 65537, 2048, 0), VSC_OK);
    ASSERT_EQ(VSC_Generate_RSA_Params_Ex(rsa.get(), 65537, 2048, 0), VSC_OK);
    watch(rsa->d);
    watch(rsa->p);
    g_found = 0;
    auto sign = [](RSA_UNIT* unit) {
        unsigned char sig[256];
        int sigLen = sizeof sig;
        ASSERT_EQ(VSC_Init_RSASSA(unit, VSC_DIGEST_SHA256, VSC_RSASSA_PKCS1_V15, 1), VSC_OK);
        ASSERT_EQ(VSC_Update_RSASSA(unit, reinterpret_cast<const unsigned char*>("data"), 4), VSC_OK);
        ASSERT_EQ(VSC_Final_RSASSA(unit, sig, &sigLen), VSC_OK);
    };
    RsaPtr copy(VSC_Dup_RSA(rsa.get()));
    ASSERT_TRUE(copy);
    sign(copy.get());
    sign(rsa.get());
    copy.reset();
    sign(rsa.get());
    EXPECT_EQ(g_found.load(), 0) << "after a copy signed and went";

    RsaPtr kept(VSC_Dup_RSA(rsa.get()));
    ASSERT_TRUE(kept);
    ASSERT_EQ(VSC_Set_RSA_Params(rsa.get(), other->n, other->e, other->d, other->p, other->q, other->dP, other->dQ,
                                 other->qInv),
              VSC_OK);
    sign(rsa.get());
    sign(kept.get());
    // Other values put straight into the record: the kept key is made again.
    for (BIGINT** v : {&kept->d, &kept->p, &kept->q, &kept->dP, &kept->dQ, &kept->qInv, &kept->n}) {
        VSC_Free_BIGINT(*v);
        *v = nullptr;
    }
    kept->n = VSC_Dup_BIGINT(other->n);
    kept->d = VSC_Dup_BIGINT(other->d);
    sign(kept.get());
    EXPECT_EQ(g_found.load(), 0) << "after the values were replaced";
    rsa.reset();
    kept.reset();
    EXPECT_EQ(g_found.load(), 0) << "after freeing the keys";
}

TEST(FreedSecrets, DecimalTextOfAPrivateValueLeavesNoDigitsBehind) {
    ASSERT_TRUE(g_hooked);
    RsaPtr rsa(VSC_New_RSA());
    ASSERT_TRUE(rsa);
    ASSERT_EQ(VSC_Generate_RSA_Params_Ex(rsa.get(), 65537, 2048, 0), VSC_OK);
    char* first = VSC_BIGINT_To_DEC(rsa->d);
    ASSERT_NE(first, nullptr);
    watchText(first);
    g_found = 0;
    char* again = VSC_BIGINT_To_DEC(rsa->d);
    ASSERT_NE(again, nullptr);
    EXPECT_STREQ(again, first);
    VSC_Free(first, __FILE__, __LINE__);
    VSC_Free(again, __FILE__, __LINE__);
    EXPECT_EQ(g_found.load(), 0);
}
