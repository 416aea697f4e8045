// Digests, HAS-160 and HMAC.
#include "CryptoTestUtil.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace zctest;

namespace {

struct DigestCase {
    int id;
    const char* opensslName;
    int length;
};
const DigestCase kDigests[] = {
    {VSC_DIGEST_SHA1, "sha1", 20},     {VSC_DIGEST_SHA224, "sha224", 28}, {VSC_DIGEST_SHA256, "sha256", 32},
    {VSC_DIGEST_SHA384, "sha384", 48}, {VSC_DIGEST_SHA512, "sha512", 64}, {VSC_DIGEST_MD5, "md5", 16},
};
// Around the one- and two-block padding edges of 64- and 128-byte blocks.
const size_t kSizes[] = {0, 1, 55, 56, 64, 111, 112, 128, 1000, 70001};

Bytes digestOf(int id, const Bytes& data) {
    unsigned char out[VSC_MAX_DIGEST_LENGTH];
    int len = 0;
    EXPECT_EQ(VSC_DIGEST(id, data.data(), static_cast<int>(data.size()), out, &len), VSC_OK);
    return Bytes(out, out + len);
}

Bytes streamed(DIGEST_UNIT* unit, const Bytes& data, size_t piece) {
    for (size_t off = 0; off < data.size(); off += piece) {
        size_t n = std::min(piece, data.size() - off);
        EXPECT_EQ(VSC_Update_DIGEST(unit, data.data() + off, static_cast<int>(n)), VSC_OK);
    }
    unsigned char out[VSC_MAX_DIGEST_LENGTH];
    int len = 0;
    EXPECT_EQ(VSC_Final_DIGEST(unit, out, &len), VSC_OK);
    return Bytes(out, out + len);
}

}  // namespace

TEST(VscDigest, EqualsOpensslDgst) {
    for (const auto& d : kDigests) {
        for (size_t size : kSizes) {
            SCOPED_TRACE(std::string(d.opensslName) + " " + std::to_string(size));
            Bytes data = pattern(size, static_cast<unsigned>(size));
            std::string expected = openssl({"dgst", "-" + std::string(d.opensslName), "-binary"}, data);
            Bytes ours = digestOf(d.id, data);
            EXPECT_EQ(ours.size(), static_cast<size_t>(d.length));
            EXPECT_EQ(toHex(ours), toHex(bytesOf(expected)));
        }
    }
}

TEST(VscDigest, UnitInPiecesEqualsOneShotAndIsReadyAfterFinal) {
    Bytes data = pattern(300);
    for (int id : {VSC_DIGEST_SHA256, VSC_DIGEST_SHA512, VSC_DIGEST_MD5, VSC_DIGEST_HAS160}) {
        SCOPED_TRACE(id);
        DIGEST_UNIT* unit = VSC_New_DIGEST_Unit();
        ASSERT_NE(unit, nullptr);
        ASSERT_EQ(VSC_Init_DIGEST(unit, id), VSC_OK);
        EXPECT_EQ(unit->alg_id, id);
        EXPECT_EQ(unit->digest_length, VSC_Get_DIGEST_Length(id));
        EXPECT_EQ(unit->block_length, VSC_Get_DIGEST_Block_Length(id));
        Bytes expected = digestOf(id, data);
        // Without a new Init in between: each Final starts the next message.
        for (size_t piece : {1, 7, 63, 64, 65, 299, 1000}) EXPECT_EQ(streamed(unit, data, piece), expected) << piece;
        // Hashing the previous output on the same unit (the identity-data check does this).
        Bytes twice = streamed(unit, expected, 5);
        EXPECT_EQ(twice, digestOf(id, expected));
        VSC_Free_DIGEST_Unit(unit);
    }
}

TEST(VscDigest, Has160PublishedValues) {
    auto cases = loadCases("has160.json");
    ASSERT_EQ(cases.size(), 8u);
    for (auto& c : cases) {
        Bytes msg;
        if (c.count("message_ascii"))
            msg = bytesOf(c["message_ascii"]);
        else
            msg.assign(1000000, 'a');  // the file's expression: one million "a"
        SCOPED_TRACE(msg.size());
        EXPECT_EQ(toHex(digestOf(VSC_DIGEST_HAS160, msg)), c["digest"]);
    }
}

TEST(VscDigest, LengthsNamesAndErrors) {
    EXPECT_EQ(VSC_Get_DIGEST_Length(VSC_DIGEST_HAS160), 20);
    EXPECT_EQ(VSC_Get_DIGEST_Length(VSC_DIGEST_SHA384), 48);
    EXPECT_LE(VSC_Get_DIGEST_Length(VSC_DIGEST_MDC2), 0);
    EXPECT_LE(VSC_Get_DIGEST_Length(0x12345678), 0);

    struct {
        const char* name;
        int id;
    } names[] = {{"sha1", VSC_DIGEST_SHA1},
                 {"SHA-1", VSC_DIGEST_SHA1},
                 {"sha224", VSC_DIGEST_SHA224},
                 {"SHA256", VSC_DIGEST_SHA256},
                 {"sha-384", VSC_DIGEST_SHA384},
                 {"sha512", VSC_DIGEST_SHA512},
                 {"md5", VSC_DIGEST_MD5},
                 {"has160", VSC_DIGEST_HAS160},
                 {"HAS-160", VSC_DIGEST_HAS160},
                 {"mdc2", VSC_DIGEST_MDC2},
                 {"sha256WithRSAEncryption", 0},
                 {"", 0},
                 {"sha", 0} /* SHA-0 */};
    for (const auto& n : names) EXPECT_EQ(VSC_Get_DIGEST_Alg_ID_By_Name(n.name), n.id) << n.name;
    EXPECT_EQ(VSC_Get_DIGEST_Alg_ID_By_Name(nullptr), 0);

    unsigned char out[VSC_MAX_DIGEST_LENGTH];
    int len = 0;
    EXPECT_EQ(VSC_DIGEST(VSC_DIGEST_MDC2, out, 1, out, &len), VSC_ERR_UNSUPPORTED);
    EXPECT_EQ(VSC_DIGEST(0x0500FF00, out, 1, out, &len), VSC_ERR_UNKNOWN_ALGORITHM);
    EXPECT_EQ(VSC_DIGEST(VSC_DIGEST_SHA1, out, -1, out, &len), VSC_ERR_INVALID_LENGTH);
    EXPECT_EQ(VSC_DIGEST(VSC_DIGEST_SHA1, nullptr, 3, out, &len), VSC_ERR_INVALID_LENGTH);

    DIGEST_UNIT* unit = VSC_New_DIGEST_Unit();
    EXPECT_EQ(VSC_Update_DIGEST(unit, out, 1), VSC_ERR_NOT_INITIALIZED);
    EXPECT_EQ(VSC_Final_DIGEST(unit, out, &len), VSC_ERR_NOT_INITIALIZED);
    EXPECT_EQ(VSC_Init_DIGEST(unit, VSC_DIGEST_MDC2), VSC_ERR_UNSUPPORTED);
    EXPECT_EQ(unit->alg_id, 0);
    // A failed Init stops the digest the unit ran before: no output of it
    // passes for one of the algorithm asked for.
    ASSERT_EQ(VSC_Init_DIGEST(unit, VSC_DIGEST_SHA256), VSC_OK);
    EXPECT_EQ(VSC_Init_DIGEST(unit, 0x0500FF00), VSC_ERR_UNKNOWN_ALGORITHM);
    EXPECT_EQ(VSC_Update_DIGEST(unit, out, 1), VSC_ERR_NOT_INITIALIZED);
    EXPECT_EQ(VSC_Final_DIGEST(unit, out, &len), VSC_ERR_NOT_INITIALIZED);
    VSC_Free_DIGEST_Unit(unit);
    VSC_Free_DIGEST_Unit(nullptr);
}

TEST(VscHmac, EqualsOpensslMac) {
    // Keys shorter than, equal to and longer than the block of each digest.
    for (const auto& d : kDigests) {
        for (size_t keyLen : {1, 20, 64, 128, 131}) {
            for (size_t dataLen : {0, 3, 200}) {
                SCOPED_TRACE(std::string(d.opensslName) + " key " + std::to_string(keyLen) + " data " +
                             std::to_string(dataLen));
                Bytes key = pattern(keyLen, 7), data = pattern(dataLen, 9);
                std::string expected = openssl(
                    {"mac", "-digest", d.opensslName, "-macopt", "hexkey:" + toHex(key), "-binary", "HMAC"}, data);
                HMAC_UNIT* h = VSC_New_HMAC_Unit();
                ASSERT_NE(h, nullptr);
                // The HMAC id (bit 28 set) names the same MAC.
                ASSERT_EQ(VSC_Init_HMAC(h, d.id | VSC_HMAC_FLAG, key.data(), static_cast<int>(keyLen)), VSC_OK);
                EXPECT_EQ(h->alg_id, d.id);
                unsigned char out[VSC_MAX_DIGEST_LENGTH];
                int len = 0;
                for (int round = 0; round < 2; ++round) {  // Final leaves the unit ready
                    ASSERT_EQ(VSC_Update_HMAC(h, data.data(), static_cast<int>(dataLen)), VSC_OK);
                    ASSERT_EQ(VSC_Final_HMAC(h, out, &len), VSC_OK);
                    EXPECT_EQ(toHex(out, len), toHex(bytesOf(expected)));
                }
                VSC_Free_HMAC_Unit(h);
            }
        }
    }
}

TEST(VscHmac, Has160AndErrors) {
    // HMAC-HAS160 by its definition on top of the published-value digest.
    Bytes key = pattern(100, 3), data = bytesOf("what do ya want for nothing?");
    Bytes k0(64, 0);
    Bytes hk = [&] {
        unsigned char out[20];
        int n = 0;
        VSC_DIGEST(VSC_DIGEST_HAS160, key.data(), 100, out, &n);
        return Bytes(out, out + n);
    }();
    std::copy(hk.begin(), hk.end(), k0.begin());
    Bytes inner, outer;
    for (unsigned char b : k0) inner.push_back(b ^ 0x36), outer.push_back(b ^ 0x5c);
    inner.insert(inner.end(), data.begin(), data.end());
    unsigned char ih[20];
    int n = 0;
    VSC_DIGEST(VSC_DIGEST_HAS160, inner.data(), static_cast<int>(inner.size()), ih, &n);
    outer.insert(outer.end(), ih, ih + 20);
    unsigned char expected[20];
    VSC_DIGEST(VSC_DIGEST_HAS160, outer.data(), static_cast<int>(outer.size()), expected, &n);

    HMAC_UNIT* h = VSC_New_HMAC_Unit();
    ASSERT_EQ(VSC_Init_HMAC(h, VSC_HMAC_HAS160, key.data(), 100), VSC_OK);
    ASSERT_EQ(VSC_Update_HMAC(h, data.data(), static_cast<int>(data.size())), VSC_OK);
    unsigned char out[20];
    ASSERT_EQ(VSC_Final_HMAC(h, out, &n), VSC_OK);
    EXPECT_EQ(toHex(out, 20), toHex(expected, 20));

    EXPECT_EQ(VSC_Init_HMAC(h, VSC_DIGEST_MDC2, key.data(), 10), VSC_ERR_UNSUPPORTED);
    EXPECT_EQ(VSC_Update_HMAC(h, data.data(), 1), VSC_ERR_NOT_INITIALIZED);
    EXPECT_EQ(VSC_Init_HMAC(h, VSC_DIGEST_SHA1, key.data(), -1), VSC_ERR_INVALID_LENGTH);
    VSC_Free_HMAC_Unit(h);
}
