// Pattern compression: the classes' streams derived by hand, round trips of
// random inputs up to the limits, and random streams that stay in bounds.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include <zunCore/compress.h>
#include <zunCore/error.h>

#include "CoreHelpers.h"

namespace {

using coretest::u8;

std::string hex(const unsigned char* p, int n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (int i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

std::string unhex(const std::string& h) {
    std::string s;
    for (size_t i = 0; i + 1 < h.size(); i += 2) s += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
    return s;
}

// Buffers exactly as large as the interface promises, so the address
// sanitizer sees any write past them.
struct Compressed {
    std::vector<char> pattern;
    std::vector<unsigned char> out = std::vector<unsigned char>(VCL_COMPRESS_BUFFER_SIZE);
    int n = 0;
    explicit Compressed(const std::string& text) : pattern(text.size() + 2) {
        n = VCL_CompressData(u8(text), pattern.data(), static_cast<int>(text.size()), out.data());
    }
    std::string stream() const { return n < 0 ? "" : hex(out.data(), n); }
};

std::string decompress(const std::string& stream, int* rc = nullptr) {
    std::vector<unsigned char> out(VCL_COMPRESS_BUFFER_SIZE);
    const int n = VCL_Decompress(u8(stream), static_cast<int>(stream.size()), out.data());
    if (rc) *rc = n;
    if (n < 0) return "<refused>";
    EXPECT_EQ(out[static_cast<size_t>(n)], 0);
    return std::string(reinterpret_cast<char*>(out.data()), static_cast<size_t>(n));
}

}  // namespace

// Each class with the stream worked out from the class table; the last rows
// are the documented examples.
TEST(Compress, StreamsOfEveryClass) {
    struct Case {
        const char* name;
        std::string text;
        const char* stream;
    } cases[] = {
        {"blank", " ", "10"},
        {"twenty blanks", std::string(20, ' '), "1f13"},
        {"date", "2024-01-01", "292024b01b01"},
        {"numeric cut at 16", "12345678901234567890", "2f1234567890123456237890"},
        {"letters and digits", "Abc123", "3501b735db70"},
        {"lower case", "hello", "443916b700"},
        {"lower with extras", "ab\t-cd", "450077e10c"},
        {"upper with extras", "AB\t-CD", "550077e10c"},
        {"7-bit", "a!a!a!a", "66c2870a1c287080"},
        {"low control half", "\x01\x02\x03\x04\x05\x06", "750420c41460"},
        {"high 7-bit half", "@[]^_`", "8501b75e7e00"},
        {"8-bit", "\x80\xC0\x80\xC0\x80\xC0\x80", "b601000400100000"},
        {"letter between digits", "0000a0000", "230000f061230000"},
        {"unclassified", "ab", "f16162"},
    };
    for (const auto& c : cases) {
        Compressed z(c.text);
        EXPECT_EQ(z.stream(), c.stream) << c.name;
        EXPECT_EQ(z.out[static_cast<size_t>(z.n)], 0) << c.name;
        EXPECT_EQ(decompress(unhex(c.stream)), c.text) << c.name;
    }
}

TEST(Compress, MarkingAndClassBuffer) {
    const std::string text = "2024 ab";
    std::vector<char> pattern(text.size() + 2, 'x');
    std::vector<unsigned char> out(VCL_COMPRESS_BUFFER_SIZE);
    ASSERT_GT(VCL_CompressData(u8(text), pattern.data(), 7, out.data()), 0);
    // Index len is written as unclassified, a terminator after it.
    EXPECT_EQ(std::string(pattern.data()), "22221000");

    // The two 8-bit quarters are marked only by callers.
    for (auto [marker, text8, stream] :
         {std::tuple{&VCL_SetBinaryFrontPattern, std::string("\x80\x81\x82\x83\x84\x85"), "950010831050"},
          std::tuple{&VCL_SetBinaryTailPattern, std::string("\xC0\xC1\xC2\xC3\xC4\xC5"), "a50010831050"}}) {
        std::vector<char> p(8, '0');
        EXPECT_EQ(marker(u8(text8), p.data(), 6), 0);
        const int n = VCL_Compress(u8(text8), p.data(), 6, out.data());
        EXPECT_EQ(hex(out.data(), n), stream);
        EXPECT_EQ(decompress(unhex(stream)), text8);
    }
    std::vector<char> p(8, '0');
    EXPECT_EQ(VCL_SetBlankPattern(u8(" a  "), p.data(), 4), 3);
    EXPECT_EQ(VCL_SetBlankPattern(nullptr, p.data(), 4), -1);
    std::vector<char> fresh(8, '0');
    EXPECT_EQ(VCL_SetNumericPattern(u8("12345"), fresh.data(), 5), 5);

    // A mark the character does not belong to is written unclassified.
    const char wrong[] = "22220";
    const int n = VCL_Compress(u8("12a4"), wrong, 4, out.data());
    EXPECT_EQ(hex(out.data(), n), "2112f0612040");
    EXPECT_EQ(decompress(std::string(reinterpret_cast<char*>(out.data()), static_cast<size_t>(n))), "12a4");

    int pos = 3;
    std::vector<unsigned char> run(12, 0xEE);
    EXPECT_EQ(VCL_CompressPattern2(u8("x2024-01-01"), 1, 10, &pos, run.data()), 0);
    EXPECT_EQ(pos, 9);
    EXPECT_EQ(hex(run.data() + 3, 6), "292024b01b01");
    EXPECT_EQ(VCL_CompressPattern2(u8("12a4"), 0, 3, &pos, run.data()), -1);
    EXPECT_EQ(VCL_CompressPattern2(u8("12345678901234567"), 0, 16, &pos, run.data()), -1);
}

TEST(Compress, HeadersOfNoClassReadAsBytes) {
    EXPECT_EQ(decompress(unhex("0041c14242d14344e045f000")), std::string("A") + "BB" + "CD" + "E" + '\0');
}

TEST(Compress, ArgumentsAndLimits) {
    std::vector<char> pattern(VCL_COMPRESS_MAX_TEXT + 3);
    std::vector<unsigned char> out(VCL_COMPRESS_BUFFER_SIZE);
    struct Case {
        const char* name;
        const unsigned char* in;
        int len;
    } bad[] = {{"null input", nullptr, 4}, {"zero length", u8("abcd"), 0}, {"negative", u8("abcd"), -3}};
    for (const auto& c : bad) {
        VCLLastErrorCode = 0;
        EXPECT_EQ(VCL_CompressData(c.in, pattern.data(), c.len, out.data()), -1) << c.name;
        EXPECT_EQ(VCLLastErrorCode, VCL_ERR_COMPRESS) << c.name;
    }
    // Longer than the text limit: the decompressor could not give it back.
    const std::string big(VCL_COMPRESS_MAX_TEXT + 1, '7');
    EXPECT_EQ(VCL_CompressData(u8(big), pattern.data(), static_cast<int>(big.size()), out.data()), -1);
    // 8192 digits compress to 512 runs of 9 bytes: within the limits.
    const std::string digits(VCL_COMPRESS_MAX_TEXT, '7');
    Compressed ok(digits);
    EXPECT_EQ(ok.n, 512 * 9);
    // 8192 unclassified bytes need 8704 bytes of stream.
    std::string raw;
    for (int i = 0; i < VCL_COMPRESS_MAX_TEXT; ++i) raw += (i % 2) ? 'a' : '\x80';
    VCLLastErrorCode = 0;
    EXPECT_EQ(Compressed(raw).n, -1);
    EXPECT_EQ(VCLLastErrorCode, VCL_ERR_COMPRESS);
    EXPECT_GT(Compressed(raw.substr(0, 7710)).n, 8100);
    // Runs: "a " alternating makes one run per character.
    std::string runs;
    for (int i = 0; i < VCL_COMPRESS_MAX_RUNS; ++i) runs += (i % 2) ? ' ' : 'a';
    EXPECT_EQ(Compressed(runs).n, VCL_COMPRESS_MAX_RUNS / 2 * 3);
    VCLLastErrorCode = 0;
    EXPECT_EQ(Compressed(runs + "a").n, -1);
    EXPECT_EQ(VCLLastErrorCode, VCL_ERR_COMPRESS);

    int rc = 0;
    for (const auto& [name, stream] : std::vector<std::pair<const char*, std::string>>{
             {"ends inside a run", unhex("292024")}, {"raw run short", unhex("f361")}, {"text past the limit", [] {
                                                                                            std::string s;
                                                                                            for (int i = 0; i < 513;
                                                                                                 ++i)
                                                                                                s += unhex("1f");
                                                                                            return s;
                                                                                        }()}}) {
        VCLLastErrorCode = 0;
        EXPECT_EQ(decompress(stream, &rc), "<refused>") << name;
        EXPECT_EQ(VCLLastErrorCode, VCL_ERR_DECOMPRESS) << name;
    }
    EXPECT_EQ(VCL_Decompress(nullptr, 3, out.data()), -1);
    EXPECT_EQ(VCL_Decompress(u8("\x10"), 0, out.data()), -1);
    // Exactly the limit is accepted.
    std::string full;
    for (int i = 0; i < 512; ++i) full += unhex("1f");
    EXPECT_EQ(decompress(full), std::string(VCL_COMPRESS_MAX_TEXT, ' '));
}

// Any input the compressor takes comes back unchanged; what it refuses
// would pass a limit.
TEST(Compress, RandomInputsRoundTrip) {
    std::mt19937 rng(20240101);
    const std::string alphabets[] = {
        "0123456789-= #\n\r",
        "abcdefghijklmnopqrstuvwxyz \t-=",
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdef0123456789 -",
        std::string("\x01\x02\x1f!\"#@[\x7f\x80\xa5\xc0\xff", 13),
    };
    int refused = 0, taken = 0;
    for (int round = 0; round < 400; ++round) {
        const int len = round < 300 ? 1 + static_cast<int>(rng() % 2000) : 6000 + static_cast<int>(rng() % 2193);
        std::string text(static_cast<size_t>(len), '\0');
        const int kind = static_cast<int>(rng() % 5);
        for (auto& ch : text) {
            if (kind == 4) {
                ch = static_cast<char>(rng() & 0xFF);
            } else {
                const std::string& a = alphabets[kind];
                ch = a[rng() % a.size()];
            }
        }
        Compressed z(text);
        if (z.n < 0) {
            ++refused;
            EXPECT_EQ(VCLLastErrorCode, VCL_ERR_COMPRESS);
            continue;
        }
        ++taken;
        ASSERT_LE(z.n, VCL_COMPRESS_MAX_STREAM);
        ASSERT_EQ(decompress(std::string(reinterpret_cast<char*>(z.out.data()), static_cast<size_t>(z.n))), text)
            << "round " << round;
    }
    EXPECT_GT(taken, 300);
    EXPECT_GT(refused, 0);
}

TEST(Compress, RandomStreamsStayInBounds) {
    std::mt19937 rng(7);
    for (int round = 0; round < 2000; ++round) {
        std::string stream(1 + rng() % 9000, '\0');
        for (auto& ch : stream) ch = static_cast<char>(rng() & 0xFF);
        int rc = 0;
        const std::string text = decompress(stream, &rc);
        ASSERT_LE(rc, VCL_COMPRESS_MAX_TEXT);
    }
}
