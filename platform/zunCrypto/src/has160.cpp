// HAS-160: 160-bit digest over 512-bit blocks of little-endian words, 80 steps
// in four rounds, each round reading the 16 message words and four XOR
// combinations of them in its own order.
#include "internal.h"

#include <algorithm>
#include <cstring>

namespace zc {
namespace {

inline uint32_t rotl(uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

// Message word order of each round's 20 steps (16..19 are the XOR words).
const unsigned char kOrder[4][20] = {
    {18, 0, 1, 2, 3, 19, 4, 5, 6, 7, 16, 8, 9, 10, 11, 17, 12, 13, 14, 15},
    {18, 3, 6, 9, 12, 19, 15, 2, 5, 8, 16, 11, 14, 1, 4, 17, 7, 10, 13, 0},
    {18, 12, 5, 14, 7, 19, 0, 9, 2, 11, 16, 4, 13, 6, 15, 17, 8, 1, 10, 3},
    {18, 7, 2, 13, 8, 19, 3, 14, 9, 4, 16, 15, 10, 5, 0, 17, 11, 6, 1, 12},
};

// The four words each XOR word combines, per round.
const unsigned char kXor[4][4][4] = {
    {{0, 1, 2, 3}, {4, 5, 6, 7}, {8, 9, 10, 11}, {12, 13, 14, 15}},
    {{3, 6, 9, 12}, {15, 2, 5, 8}, {11, 14, 1, 4}, {7, 10, 13, 0}},
    {{12, 5, 14, 7}, {0, 9, 2, 11}, {4, 13, 6, 15}, {8, 1, 10, 3}},
    {{7, 2, 13, 8}, {3, 14, 9, 4}, {15, 10, 5, 0}, {11, 6, 1, 12}},
};

const unsigned char kShift[20] = {5, 11, 7, 15, 6, 13, 8, 14, 7, 12, 9, 11, 8, 15, 6, 12, 9, 14, 5, 13};
const unsigned char kRoundShift[4] = {10, 17, 25, 30};
const uint32_t kConst[4] = {0x00000000, 0x5a827999, 0x6ed9eba1, 0x8f1bbcdc};

void compress(uint32_t h[5], const unsigned char block[64]) {
    uint32_t x[20];
    for (int i = 0; i < 16; ++i)
        x[i] = uint32_t(block[4 * i]) | uint32_t(block[4 * i + 1]) << 8 | uint32_t(block[4 * i + 2]) << 16 |
               uint32_t(block[4 * i + 3]) << 24;
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int round = 0; round < 4; ++round) {
        for (int k = 0; k < 4; ++k) {
            const unsigned char* w = kXor[round][k];
            x[16 + k] = x[w[0]] ^ x[w[1]] ^ x[w[2]] ^ x[w[3]];
        }
        for (int step = 0; step < 20; ++step) {
            uint32_t f;
            switch (round) {
                case 0:
                    f = (b & c) | (~b & d);
                    break;
                case 2:
                    f = c ^ (b | ~d);
                    break;
                default:
                    f = b ^ c ^ d;
                    break;
            }
            uint32_t t = rotl(a, kShift[step]) + f + e + x[kOrder[round][step]] + kConst[round];
            e = d;
            d = c;
            c = rotl(b, kRoundShift[round]);
            b = a;
            a = t;
        }
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
    OPENSSL_cleanse(x, sizeof x);
}

}  // namespace

void has160Init(Has160State& s) {
    s.h[0] = 0x67452301;
    s.h[1] = 0xefcdab89;
    s.h[2] = 0x98badcfe;
    s.h[3] = 0x10325476;
    s.h[4] = 0xc3d2e1f0;
    s.total = 0;
    s.used = 0;
}

void has160Update(Has160State& s, const unsigned char* data, std::size_t len) {
    s.total += len;
    if (s.used > 0) {
        std::size_t take = std::min(len, sizeof s.buf - s.used);
        std::memcpy(s.buf + s.used, data, take);
        s.used += take;
        data += take;
        len -= take;
        if (s.used < sizeof s.buf) return;
        compress(s.h, s.buf);
        s.used = 0;
    }
    for (; len >= 64; data += 64, len -= 64) compress(s.h, data);
    std::memcpy(s.buf, data, len);
    s.used = len;
}

void has160Final(Has160State& s, unsigned char out[20]) {
    uint64_t bits = s.total * 8;
    s.buf[s.used++] = 0x80;
    if (s.used > 56) {
        std::memset(s.buf + s.used, 0, 64 - s.used);
        compress(s.h, s.buf);
        s.used = 0;
    }
    std::memset(s.buf + s.used, 0, 56 - s.used);
    for (int i = 0; i < 8; ++i) s.buf[56 + i] = static_cast<unsigned char>(bits >> (8 * i));
    compress(s.h, s.buf);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 4; ++j) out[4 * i + j] = static_cast<unsigned char>(s.h[i] >> (8 * j));
}

}  // namespace zc
