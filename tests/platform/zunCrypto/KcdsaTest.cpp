// KCDSA against the standard's worked examples, and round trips.
#include "CryptoTestUtil.h"

#include "internal.h"

#include <gtest/gtest.h>

using namespace zctest;

namespace {

struct KcdsaDeleter {
    void operator()(KCDSA_UNIT* k) const { VSC_Free_KCDSA(k); }
};
using KcdsaPtr = std::unique_ptr<KCDSA_UNIT, KcdsaDeleter>;
struct BigintDeleter {
    void operator()(BIGINT* b) const { VSC_Free_BIGINT(b); }
};
using BigintPtr = std::unique_ptr<BIGINT, BigintDeleter>;

BigintPtr big(const std::string& hex) { return BigintPtr(VSC_HEX_To_BIGINT(hex.c_str())); }

int digestOfCase(const std::string& sizes) {
    if (sizes.ends_with("HAS160")) return VSC_DIGEST_HAS160;
    return sizes.ends_with("SHA224") ? VSC_DIGEST_SHA224 : VSC_DIGEST_SHA256;
}

// A key from a case: private (with x) or public (with y).
KcdsaPtr keyOf(std::map<std::string, std::string>& c, bool priv) {
    KcdsaPtr k(VSC_New_KCDSA());
    BigintPtr p = big(c["P"]), q = big(c["Q"]), g = big(c["G"]), x = big(c["X"]), y = big(c["Y"]);
    EXPECT_EQ(
        VSC_Set_KCDSA_Params(k.get(), p.get(), q.get(), g.get(), priv ? x.get() : nullptr, priv ? nullptr : y.get()),
        VSC_OK);
    return k;
}

Bytes hexOfBigint(const BIGINT* b) {
    Bytes out(static_cast<size_t>(VSC_Get_BIGINT_Bits_Length(b) + 7) / 8);
    VSC_BIGINT_To_Binary_Unsigned(b, out.data());
    return out;
}

}  // namespace

TEST(VscKcdsa, ReproducesThePublishedSignatures) {
    auto cases = loadCases("kcdsa-ttak.json");
    ASSERT_EQ(cases.size(), 5u);
    for (auto& c : cases) {
        SCOPED_TRACE(c["sizes"]);
        int digest = digestOfCase(c["sizes"]);
        Bytes msg = fromHex(c["M"]);

        // y is derived from x as g^(x^-1 mod q) mod p.
        KcdsaPtr priv = keyOf(c, true);
        EXPECT_EQ(toHex(hexOfBigint(priv->y)), toHex(fromHex(c["Y"])));
        EXPECT_EQ(priv->is_private, 1);
        EXPECT_EQ(VSC_Get_KCDSA_Length(priv.get()), static_cast<int>(fromHex(c["Q"]).size()));

        ASSERT_EQ(VSC_Init_KCDSA_Ex(priv.get(), 1, digest), VSC_OK);
        ASSERT_EQ(VSC_Update_KCDSA(priv.get(), msg.data(), static_cast<int>(msg.size())), VSC_OK);
        unsigned char r[64], s[64];
        int rLen = 0, sLen = 0;
        BIGNUM* k = nullptr;
        ASSERT_NE(BN_hex2bn(&k, c["KKEY"].c_str()), 0);
        ASSERT_EQ(zc::kcdsaFinalWithK(priv.get(), k, r, &rLen, s, &sLen), VSC_OK);
        BN_free(k);
        EXPECT_EQ(toHex(r, static_cast<size_t>(rLen)), c["R"]);
        EXPECT_EQ(toHex(s, static_cast<size_t>(sLen)), c["S"]);

        // The public key accepts them and refuses any flipped bit.
        KcdsaPtr pub = keyOf(c, false);
        Bytes R = fromHex(c["R"]), S = fromHex(c["S"]);
        auto verify = [&](const Bytes& rr, const Bytes& ss) {
            EXPECT_EQ(VSC_Init_KCDSA_Ex(pub.get(), 0, digest), VSC_OK);
            EXPECT_EQ(VSC_Update_KCDSA(pub.get(), msg.data(), static_cast<int>(msg.size())), VSC_OK);
            return VSC_Verify_KCDSA(pub.get(), rr.data(), static_cast<int>(rr.size()), ss.data(),
                                    static_cast<int>(ss.size()));
        };
        EXPECT_EQ(verify(R, S), VSC_OK);
        for (size_t bit : {size_t{0}, size_t{9}, R.size() * 8 - 1}) {
            Bytes bad = R;
            bad[bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8));
            EXPECT_EQ(verify(bad, S), VSC_FAIL) << "R bit " << bit;
            bad = S;
            bad[bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8));
            EXPECT_EQ(verify(R, bad), VSC_FAIL) << "S bit " << bit;
        }
        // S with the leading zero byte of an INTEGER's contents reads the same.
        Bytes s0{0};
        s0.insert(s0.end(), S.begin(), S.end());
        EXPECT_EQ(verify(R, s0), VSC_OK);
        // Another message, another digest, a truncated R.
        msg.push_back('!');
        EXPECT_EQ(verify(R, S), VSC_FAIL);
        msg.pop_back();
        EXPECT_EQ(verify(Bytes(R.begin(), R.end() - 1), S), VSC_FAIL);
        ASSERT_EQ(VSC_Init_KCDSA_Ex(pub.get(), 0, digest == VSC_DIGEST_SHA224 ? VSC_DIGEST_SHA256 : VSC_DIGEST_SHA224),
                  VSC_OK);
        ASSERT_EQ(VSC_Update_KCDSA(pub.get(), msg.data(), static_cast<int>(msg.size())), VSC_OK);
        EXPECT_EQ(
            VSC_Verify_KCDSA(pub.get(), R.data(), static_cast<int>(R.size()), S.data(), static_cast<int>(S.size())),
            VSC_FAIL);
    }
}

// A unit keeps p's Montgomery context between operations; values put
// straight into the record (new BIGINTs, or the same ones changed in
// place) are the ones used. One unit goes through every published example.
TEST(VscKcdsa, KeptStateFollowsTheValuesSetDirectly) {
    auto cases = loadCases("kcdsa-ttak.json");
    KcdsaPtr unit(VSC_New_KCDSA());
    for (int round = 0; round < 2; ++round) {
        for (auto& c : cases) {
            SCOPED_TRACE(c["sizes"] + (round ? " in place" : " new values"));
            const std::pair<BIGINT**, std::string> values[] = {
                {&unit->p, c["P"]}, {&unit->q, c["Q"]}, {&unit->g, c["G"]}, {&unit->x, c["X"]}, {&unit->y, c["Y"]}};
            for (const auto& [slot, hex] : values) {
                BigintPtr v = big(hex);
                if (round == 1 && *slot != nullptr) {
                    ASSERT_EQ(VSC_Copy_BIGINT(*slot, v.get()), VSC_OK);
                } else {
                    VSC_Free_BIGINT(*slot);
                    *slot = v.release();
                }
            }
            const int digest = digestOfCase(c["sizes"]);
            const Bytes msg = fromHex(c["M"]);
            ASSERT_EQ(VSC_Init_KCDSA_Ex(unit.get(), 1, digest), VSC_OK);
            ASSERT_EQ(VSC_Update_KCDSA(unit.get(), msg.data(), static_cast<int>(msg.size())), VSC_OK);
            unsigned char r[64], s[64];
            int rLen = 0, sLen = 0;
            BIGNUM* k = nullptr;
            ASSERT_NE(BN_hex2bn(&k, c["KKEY"].c_str()), 0);
            ASSERT_EQ(zc::kcdsaFinalWithK(unit.get(), k, r, &rLen, s, &sLen), VSC_OK);
            BN_free(k);
            EXPECT_EQ(toHex(r, static_cast<size_t>(rLen)), c["R"]);
            EXPECT_EQ(toHex(s, static_cast<size_t>(sLen)), c["S"]);
            const Bytes R = fromHex(c["R"]), S = fromHex(c["S"]);
            ASSERT_EQ(VSC_Init_KCDSA_Ex(unit.get(), 0, digest), VSC_OK);
            ASSERT_EQ(VSC_Update_KCDSA(unit.get(), msg.data(), static_cast<int>(msg.size())), VSC_OK);
            EXPECT_EQ(VSC_Verify_KCDSA(unit.get(), R.data(), static_cast<int>(R.size()), S.data(),
                                       static_cast<int>(S.size())),
                      VSC_OK);
        }
    }
}

TEST(VscKcdsa, RandomKRoundTripsThroughTheUnitInterface) {
    auto cases = loadCases("kcdsa-ttak.json");
    for (auto& c : cases) {
        SCOPED_TRACE(c["sizes"]);
        KcdsaPtr priv = keyOf(c, true), pub = keyOf(c, false);
        // The digest a caller attaches to the key is the one used by plain Init.
        int digest = digestOfCase(c["sizes"]);
        for (KCDSA_UNIT* u : {priv.get(), pub.get()}) {
            u->digest_unit = VSC_New_DIGEST_Unit();
            ASSERT_EQ(VSC_Init_DIGEST(u->digest_unit, digest), VSC_OK);
        }
        Bytes msg = pattern(333, 2);
        Bytes lastR;
        for (int round = 0; round < 3; ++round) {
            ASSERT_EQ(VSC_Init_KCDSA(priv.get(), 1), VSC_OK);
            EXPECT_EQ(priv->digest_id, digest);
            ASSERT_EQ(VSC_Update_KCDSA(priv.get(), msg.data(), 100), VSC_OK);
            ASSERT_EQ(VSC_Update_KCDSA(priv.get(), msg.data() + 100, 233), VSC_OK);
            int len = VSC_Get_KCDSA_Length(priv.get());
            Bytes r(static_cast<size_t>(2 * len + 1)), s(static_cast<size_t>(2 * len + 1));
            int rLen = static_cast<int>(r.size()), sLen = static_cast<int>(s.size());
            ASSERT_EQ(VSC_Final_KCDSA(priv.get(), r.data(), &rLen, s.data(), &sLen), VSC_OK);
            r.resize(static_cast<size_t>(rLen));
            s.resize(static_cast<size_t>(sLen));
            EXPECT_EQ(rLen, static_cast<int>(fromHex(c["R"]).size()));
            EXPECT_EQ(sLen, len);
            EXPECT_NE(r, lastR);  // a fresh k each time
            lastR = r;

            ASSERT_EQ(VSC_Init_KCDSA(pub.get(), 0), VSC_OK);
            ASSERT_EQ(VSC_Update_KCDSA(pub.get(), msg.data(), static_cast<int>(msg.size())), VSC_OK);
            EXPECT_EQ(VSC_Final_KCDSA(pub.get(), r.data(), &rLen, s.data(), &sLen), VSC_OK);
        }
    }
}

TEST(VscKcdsa, DefaultsFaultsAndRecords) {
    auto cases = loadCases("kcdsa-ttak.json");
    auto& small = cases.back();  // 1024/160
    ASSERT_EQ(small["sizes"], "A1024B160HAS160");
    KcdsaPtr priv = keyOf(small, true);
    // Without a digest unit: HAS-160 for a 160-bit q, SHA-256 above.
    ASSERT_EQ(VSC_Init_KCDSA(priv.get(), 1), VSC_OK);
    EXPECT_EQ(priv->digest_id, VSC_DIGEST_HAS160);
    KcdsaPtr big2048 = keyOf(cases[2], true);
    ASSERT_EQ(VSC_Init_KCDSA(big2048.get(), 1), VSC_OK);
    EXPECT_EQ(big2048->digest_id, VSC_DIGEST_SHA256);

    // A room of 20 bytes cannot take a 2048/224 signature's 28-byte R.
    KcdsaPtr p224 = keyOf(cases[0], true);
    ASSERT_EQ(VSC_Init_KCDSA(p224.get(), 1), VSC_OK);
    unsigned char r[20], s[20];
    int rLen = 20, sLen = 20;
    EXPECT_EQ(VSC_Final_KCDSA(p224.get(), r, &rLen, s, &sLen), VSC_FAIL);

    // Public keys do not sign; units do not run before Init.
    KcdsaPtr pub = keyOf(small, false);
    EXPECT_EQ(VSC_Init_KCDSA(pub.get(), 1), VSC_ERR_KEY_MISSING);
    KcdsaPtr fresh(VSC_New_KCDSA());
    EXPECT_EQ(VSC_Update_KCDSA(fresh.get(), r, 1), VSC_ERR_NOT_INITIALIZED);
    rLen = sLen = 0;
    EXPECT_EQ(VSC_Final_KCDSA(fresh.get(), r, &rLen, s, &sLen), VSC_FAIL);
    EXPECT_EQ(VSC_Get_KCDSA_Length(fresh.get()), -1);

    // Domain parameters that do not hold, keys out of range.
    BigintPtr p = big(small["P"]), q = big(small["Q"]), g = big(small["G"]), x = big(small["X"]);
    BigintPtr one = big("01"), two = big("02");
    EXPECT_EQ(VSC_Set_KCDSA_Params(fresh.get(), p.get(), q.get(), two.get(), x.get(), nullptr), VSC_ERR_INVALID_PARAMS);
    EXPECT_EQ(VSC_Set_KCDSA_Params(fresh.get(), p.get(), q.get(), one.get(), x.get(), nullptr), VSC_ERR_INVALID_PARAMS);
    EXPECT_EQ(VSC_Set_KCDSA_Params(fresh.get(), p.get(), q.get(), g.get(), q.get(), nullptr), VSC_ERR_INVALID_KEY);
    EXPECT_EQ(VSC_Set_KCDSA_Params(fresh.get(), p.get(), q.get(), g.get(), nullptr, one.get()), VSC_ERR_INVALID_KEY);
    EXPECT_EQ(VSC_Set_KCDSA_Params(fresh.get(), p.get(), q.get(), g.get(), nullptr, nullptr), VSC_ERR_NULL_ARGUMENT);

    // Values set directly by a caller, x without y: y is derived at Init.
    KcdsaPtr direct(VSC_New_KCDSA());
    direct->p = VSC_Dup_BIGINT(p.get());
    direct->q = VSC_Dup_BIGINT(q.get());
    direct->g = VSC_Dup_BIGINT(g.get());
    direct->x = VSC_Dup_BIGINT(x.get());
    ASSERT_EQ(VSC_Init_KCDSA(direct.get(), 1), VSC_OK);
    EXPECT_EQ(toHex(hexOfBigint(direct->y)), small["Y"]);

    // Clean keeps the record and drops every value.
    VSC_Clean_KCDSA(priv.get());
    EXPECT_EQ(priv->x, nullptr);
    EXPECT_EQ(priv->is_private, 0);
}

// Domain parameters far beyond any KCDSA size would make one verification
// run for minutes: they are refused before any arithmetic, whether set
// through the setter or straight into the record (as a decoded certificate
// key is).
TEST(VscKcdsa, OversizedDomainIsRefusedAtOnce) {
    Bytes pBytes(20000 / 8, 0xff);
    pBytes.back() = 0xfb;
    BigintPtr p(VSC_Binary_To_BIGINT(nullptr, pBytes.data(), static_cast<int>(pBytes.size())));
    BigintPtr q = big("F0000000000000000000000000000000000000FB"), g = big("02"), y = big("03");
    KcdsaPtr direct(VSC_New_KCDSA());
    direct->p = VSC_Dup_BIGINT(p.get());
    direct->q = VSC_Dup_BIGINT(q.get());
    direct->g = VSC_Dup_BIGINT(g.get());
    direct->y = VSC_Dup_BIGINT(y.get());
    EXPECT_EQ(VSC_Init_KCDSA(direct.get(), 0), VSC_ERR_INVALID_PARAMS);
    unsigned char r[20] = {1}, s[20] = {1};
    EXPECT_EQ(VSC_Verify_KCDSA(direct.get(), r, 20, s, 20), VSC_FAIL);
    KcdsaPtr set(VSC_New_KCDSA());
    EXPECT_EQ(VSC_Set_KCDSA_Params(set.get(), p.get(), q.get(), g.get(), nullptr, y.get()), VSC_ERR_INVALID_PARAMS);

    // q must lie below p for the unit to start.
    KcdsaPtr inverted(VSC_New_KCDSA());
    inverted->p = VSC_Dup_BIGINT(q.get());
    inverted->q = VSC_Dup_BIGINT(p.get());
    inverted->g = VSC_Dup_BIGINT(g.get());
    inverted->y = VSC_Dup_BIGINT(y.get());
    EXPECT_EQ(VSC_Init_KCDSA(inverted.get(), 0), VSC_ERR_INVALID_PARAMS);
}

// Values outside their ranges, put straight into the record as a decoded
// certificate key is, let a signature verify without x: y = 0 (or p) makes
// W' = 0, so R = h(0...0) passes with any S; g = 1 (or p + 1) makes W' = y^S
// whatever E is, so R = h(y) passes with S = 1. Such keys are refused when
// the unit starts, as the setter refuses them.
TEST(VscKcdsa, ValuesOutOfRangeAreRefused) {
    auto cases = loadCases("kcdsa-ttak.json");
    auto& small = cases.back();  // 1024/160, HAS-160
    BigintPtr p = big(small["P"]), q = big(small["Q"]), g = big(small["G"]), y = big(small["Y"]);
    BigintPtr zero = big("00"), one = big("01"), pPlusOne(VSC_Dup_BIGINT(p.get()));
    ASSERT_EQ(VSC_Add_BIGINT_Word(pPlusOne.get(), 1), VSC_OK);
    const size_t pBytes = static_cast<size_t>(VSC_Get_BIGINT_Bits_Length(p.get()) + 7) / 8;
    const Bytes zeros(pBytes, 0);
    Bytes yPadded(pBytes, 0);
    const Bytes yBytes = hexOfBigint(y.get());
    std::copy(yBytes.begin(), yBytes.end(), yPadded.end() - static_cast<long>(yBytes.size()));

    struct Case {
        const BIGINT* g;
        const BIGINT* y;
        const Bytes& w;  // the W' the forged signature is made for
        int refusal;
    } table[] = {
        {g.get(), zero.get(), zeros, VSC_ERR_INVALID_KEY},
        {g.get(), one.get(), zeros, VSC_ERR_INVALID_KEY},
        {g.get(), p.get(), zeros, VSC_ERR_INVALID_KEY},
        {zero.get(), y.get(), yPadded, VSC_ERR_INVALID_PARAMS},
        {one.get(), y.get(), yPadded, VSC_ERR_INVALID_PARAMS},
        {p.get(), y.get(), yPadded, VSC_ERR_INVALID_PARAMS},
        {pPlusOne.get(), y.get(), yPadded, VSC_ERR_INVALID_PARAMS},
    };
    for (size_t i = 0; i < std::size(table); ++i) {
        SCOPED_TRACE(i);
        const Case& c = table[i];
        unsigned char r[VSC_MAX_DIGEST_LENGTH];
        int rLen = 0;
        ASSERT_EQ(VSC_DIGEST(VSC_DIGEST_HAS160, c.w.data(), static_cast<int>(pBytes), r, &rLen), VSC_OK);
        unsigned char s[20] = {};
        s[19] = 1;
        KcdsaPtr k(VSC_New_KCDSA());
        k->p = VSC_Dup_BIGINT(p.get());
        k->q = VSC_Dup_BIGINT(q.get());
        k->g = VSC_Dup_BIGINT(c.g);
        k->y = VSC_Dup_BIGINT(c.y);
        EXPECT_EQ(VSC_Init_KCDSA(k.get(), 0), c.refusal);
        const unsigned char msg[] = "any message";
        VSC_Update_KCDSA(k.get(), msg, sizeof msg);
        EXPECT_EQ(VSC_Verify_KCDSA(k.get(), r, rLen, s, sizeof s), VSC_FAIL);
    }
}
