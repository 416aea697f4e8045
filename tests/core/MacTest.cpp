// HMAC against openssl mac, CBC-MAC against the last block of openssl enc
// over the zero-padded data.
#include <gtest/gtest.h>

#include <string>

#include <zunCore/mac.h>

#include "CmsOcspHelpers.h"

namespace {

using namespace cotest;

std::string pattern(size_t len, unsigned seed) {
    std::string s(len, '\0');
    for (size_t i = 0; i < len; ++i) s[i] = static_cast<char>((i * 131 + seed * 7 + (i >> 3)) & 0xff);
    return s;
}

std::string trim(std::string s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    return s;
}

TEST(Mac, HmacEqualsOpensslMac) {
    struct Case {
        int id;
        const char* digest;
        int length;
    };
    const Case cases[] = {{VSC_HMAC_SHA1, "SHA1", 20},
                          {VSC_HMAC_SHA256, "SHA256", 32},
                          {VSC_HMAC_SHA384, "SHA384", 48},
                          {VSC_HMAC_SHA512, "SHA512", 64}};
    const std::string data = pattern(1000, 1);
    const std::string in = temp("hmac.in", data);
    // Shorter than every block, and longer than every block (it is hashed
    // first).
    for (const size_t keyLen : {size_t{10}, size_t{200}}) {
        const std::string key = pattern(keyLen, 2);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.digest) + " key " + std::to_string(keyLen));
            Out mac;
            ASSERT_EQ(VCL_MAC_HMAC(c.id, data.data(), n(data), key.data(), n(key), mac.ptr(), &mac.len), 0);
            EXPECT_EQ(mac.len, c.length);
            EXPECT_EQ(mac.p[mac.len], '\0');
            const auto peer = openssl({"mac", "-digest", c.digest, "-macopt", "hexkey:" + hex(key), "-in", in, "HMAC"});
            ASSERT_EQ(peer.status, 0);
            EXPECT_EQ(hex(mac.str()), upper(trim(peer.output)));
        }
    }
}

TEST(Mac, HmacIdsAndRefusals) {
    const std::string data = "data", key = "key";
    Out byHmacId, byDigestId;
    ASSERT_EQ(VCL_MAC_HMAC(0x15000300, data.data(), n(data), key.data(), n(key), byHmacId.ptr(), &byHmacId.len), 0);
    EXPECT_EQ(byHmacId.len, 32);
    // A plain digest id is taken as the HMAC of that digest.
    ASSERT_EQ(
        VCL_MAC_HMAC(VSC_DIGEST_SHA256, data.data(), n(data), key.data(), n(key), byDigestId.ptr(), &byDigestId.len),
        0);
    EXPECT_EQ(byDigestId.str(), byHmacId.str());
    // An empty message and an empty key are messages and keys too.
    Out empty;
    ASSERT_EQ(VCL_MAC_HMAC(VSC_HMAC_SHA1, nullptr, 0, nullptr, 0, empty.ptr(), &empty.len), 0);
    EXPECT_EQ(hex(empty.str()), "FBDB1D1B18AA6C08324B7D64B71FB76370690E1D");

    Out none;
    EXPECT_NE(VCL_MAC_HMAC(0x15000900, data.data(), n(data), key.data(), n(key), none.ptr(), &none.len), 0);
    EXPECT_EQ(none.p, nullptr);
    EXPECT_EQ(rc(VCL_MAC_HMAC(VSC_HMAC_SHA1, nullptr, 4, key.data(), n(key), none.ptr(), &none.len)),
              rc(VSC_ERR_NULL_ARGUMENT));
    EXPECT_EQ(rc(VCL_MAC_HMAC(VSC_HMAC_SHA1, data.data(), -1, key.data(), n(key), none.ptr(), &none.len)),
              rc(VSC_ERR_INVALID_LENGTH));
    EXPECT_EQ(rc(VCL_MAC_HMAC(VSC_HMAC_SHA1, data.data(), n(data), key.data(), n(key), nullptr, &none.len)),
              rc(VSC_ERR_NULL_ARGUMENT));
    EXPECT_EQ(none.p, nullptr);
}

TEST(Mac, CbcMacIsTheLastBlockOfOpensslEnc) {
    struct Case {
        int id;
        const char* cipher;
        bool legacy;
    };
    const Case ciphers[] = {{VSC_CIPHER_AES128_CBC, "-aes-128-cbc", false},
                            {VSC_CIPHER_SEED_CBC, "-seed-cbc", true},
                            {VSC_CIPHER_ARIA128_CBC, "-aria-128-cbc", false}};
    const std::string key = pattern(16, 3);
    for (const Case& c : ciphers) {
        for (const size_t len : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{33}}) {
            SCOPED_TRACE(std::string(c.cipher) + " length " + std::to_string(len));
            const std::string data = pattern(len, 4);
            unsigned char mac[16] = {};
            ASSERT_EQ(VCL_MAC_CBC(c.id, data.data(), n(data), key.data(), mac), 0);
            // Zero bytes up to whole blocks; nothing at all is one zero block.
            std::string padded = data;
            padded.resize(len == 0 ? 16 : (len + 15) / 16 * 16, '\0');
            const auto peer = openssl(
                {"enc", c.cipher, "-nopad", "-K", hex(key), "-iv", std::string(32, '0'), "-in", temp("cbc.in", padded)},
                {}, c.legacy);
            ASSERT_EQ(peer.status, 0);
            ASSERT_EQ(peer.output.size(), padded.size());
            EXPECT_EQ(hex(std::string(reinterpret_cast<char*>(mac), 16)), hex(peer.output.substr(padded.size() - 16)));
        }
    }
    unsigned char mac[16];
    EXPECT_EQ(rc(VCL_MAC_CBC(VSC_CIPHER_AES128_CBC, "x", 1, nullptr, mac)), rc(VSC_ERR_NULL_ARGUMENT));
    EXPECT_EQ(rc(VCL_MAC_CBC(VSC_CIPHER_AES128_CBC, nullptr, 1, key.data(), mac)), rc(VSC_ERR_NULL_ARGUMENT));
}

}  // namespace
