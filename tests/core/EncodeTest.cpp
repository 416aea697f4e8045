// Base64, URL, Base128, hex and byte order, against coreutils' base64 and
// python's urllib and struct.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <zunCore/encode.h>
#include <zunCore/error.h>
#include <zunCore/util.h>

#include "CoreHelpers.h"

namespace {

using coretest::Buf;
using coretest::len;
using coretest::u8;

std::string randomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng() & 0xFF);
    return s;
}

std::string base64Tool(const std::string& data, const std::string& width) {
    const auto r = zqtest::run({"base64", "-w", width}, data);
    EXPECT_EQ(r.status, 0);
    return r.output;
}

TEST(CoreBase64, OwnEncoderVectors) {
    char out[8];
    EXPECT_EQ(VCL_encode_Base64(u8("abc"), 3, out), 4);
    EXPECT_STREQ(out, "YWJj");
    EXPECT_EQ(VCL_encode_Base64(u8("ab"), 2, out), 4);
    EXPECT_STREQ(out, "YWI=");
    EXPECT_EQ(VCL_encode_Base64(u8("a"), 1, out), 4);
    EXPECT_STREQ(out, "YQ==");
    EXPECT_EQ(VCL_encode_Base64(nullptr, 1, out), 0);
}

TEST(CoreBase64, EncodersEqualCoreutils) {
    for (size_t n : {1u, 2u, 3u, 4u, 47u, 48u, 49u, 50u, 100u, 1000u}) {
        const std::string data = randomBytes(n, static_cast<unsigned>(n));
        SCOPED_TRACE(n);
        const std::string oneLine = base64Tool(data, "0");
        std::string lines64 = base64Tool(data, "64");
        const std::string lines76 = base64Tool(data, "76");

        Buf<char> a, b, c;
        EXPECT_EQ(VCL_Base64_Encode(u8(data), len(data), a.out(), 0), len(oneLine));
        EXPECT_EQ(a.str(), oneLine);
        EXPECT_EQ(VCL_Base64_Encode(u8(data), len(data), b.out(), 1), len(lines64));
        EXPECT_EQ(b.str(), lines64);  // every line, the last too, ends with a newline
        EXPECT_EQ(VCL_Base64_Encode_LF(u8(data), len(data), c.out(), 76), len(lines76));
        EXPECT_EQ(c.str(), lines76);

        std::string dst(lines64.size() + 8, '#');
        EXPECT_EQ(VCL_Base64_Encode_F(u8(data), len(data), dst.data(), 0), len(oneLine));
        EXPECT_STREQ(dst.c_str(), oneLine.c_str());
        EXPECT_EQ(VCL_Base64_Encode_F(u8(data), len(data), dst.data(), 1), len(lines64));
        EXPECT_STREQ(dst.c_str(), lines64.c_str());
        EXPECT_EQ(VCL_encode_Base64(u8(data), len(data), dst.data()), len(oneLine));
        EXPECT_STREQ(dst.c_str(), oneLine.c_str());
    }
    Buf<char> out;
    EXPECT_EQ(VCL_Base64_Encode(nullptr, 3, out.out(), 0), -1);
    EXPECT_EQ(VCL_Base64_Encode_LF(u8("abc"), 3, out.out(), 0), -1);
    EXPECT_FALSE(out);
}

TEST(CoreBase64, DecodersAgreeWithCoreutils) {
    std::vector<std::string> texts = {
        "YQ==",     "YQ=",    "YQ",       "YQ===", "Y===",     "YWJj", "YW=j",
        "YWJ!",     "YW Jj",  "YW\nJj\n", "A",     "====",     "YWI=", "YWJjZA==",
        "YWJjZA",   "QR==",   "YW\n\nJj", "=YWJ",  "YWJj\x80", "-_-_", std::string("YWJ\0", 4),
        "YWJjZGVm", "\nYWJj",
    };
    for (unsigned i = 0; i < 20; ++i) texts.push_back(base64Tool(randomBytes(1 + i * 7, 100 + i), "60"));
    for (const auto& t : texts) {
        SCOPED_TRACE(t);
        const auto tool = zqtest::run({"base64", "-d"}, t);
        const bool accepted = tool.status == 0 && !tool.output.empty();

        std::vector<unsigned char> dst(t.size() + 1);
        const int own = VCL_decode_Base64(t.data(), len(t), dst.data());
        EXPECT_EQ(own > 0, accepted);
        if (accepted)
            EXPECT_EQ(std::string(reinterpret_cast<char*>(dst.data()), static_cast<size_t>(own)), tool.output);
        EXPECT_EQ(VCL_Base64_Decode_F(t.data(), len(t), dst.data()), accepted ? own : -1);

        Buf<unsigned char> pki;
        const int n = VCL_Base64_Decode(t.data(), len(t), pki.out());
        EXPECT_EQ(n > 0, accepted);
        if (accepted) EXPECT_EQ(pki.str(n), tool.output);
        if (!accepted) EXPECT_FALSE(pki);
    }
}

TEST(CoreBase64, OwnDecoderLineEndsAndPadding) {
    unsigned char dst[16];
    struct Case {
        const char* text;
        const char* bytes;  // nullptr: refused
    } cases[] = {
        {"YW\r\nJj\r\n", "abc"},                         // CR LF line ends are skipped
        {"YW\rJj", nullptr},                             // a lone CR
        {"YWJj\r", nullptr},     {"YQ==YQ==", nullptr},  // data after padding (coreutils reads on)
        {"YQ=\n=", "a"},                                 // padding may straddle a line end
        {"Y=Q=", nullptr},       {"", nullptr},
    };
    for (const auto& c : cases) {
        const int n = VCL_decode_Base64(c.text, static_cast<int>(std::strlen(c.text)), dst);
        if (!c.bytes) {
            EXPECT_EQ(n, 0) << c.text;
            continue;
        }
        EXPECT_EQ(std::string(reinterpret_cast<char*>(dst), static_cast<size_t>(n)), c.bytes) << c.text;
        EXPECT_EQ(dst[n], 0);
    }
    EXPECT_EQ(VCL_Asc2Bin('A'), 0);
    EXPECT_EQ(VCL_Asc2Bin('z'), 51);
    EXPECT_EQ(VCL_Asc2Bin('9'), 61);
    EXPECT_EQ(VCL_Asc2Bin('+'), 62);
    EXPECT_EQ(VCL_Asc2Bin('/'), 63);
    EXPECT_EQ(VCL_Asc2Bin('='), -1);
    EXPECT_EQ(VCL_Asc2Bin('-'), -1);
}

// python's unquote_plus over bytes, and quote_plus of the hex of bytes.
std::string pyUnquote(const std::string& text) {
    const auto r = coretest::python(
        "import sys, urllib.parse\n"
        "t = sys.stdin.buffer.read()\n"
        "sys.stdout.buffer.write(urllib.parse.unquote_to_bytes(t.replace(b'+', b' ')))\n",
        text);
    EXPECT_EQ(r.status, 0);
    return r.output;
}

TEST(CoreUrl, EncodingMeetsPython) {
    EXPECT_EQ(Buf<char>(VCL_URLEncode(" ")).str(), "+");
    EXPECT_EQ(Buf<char>(VCL_URLEncode("&")).str(), "%26");
    EXPECT_EQ(Buf<char>(VCL_URLEncode("~")).str(), "%7e");
    EXPECT_EQ(Buf<char>(VCL_URLEncode("aZ09@./_-")).str(), "aZ09@./_-");
    EXPECT_EQ(VCL_URLEncode(nullptr), nullptr);

    // Every byte: python decodes ours to the input.
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    all += randomBytes(300, 7);
    std::string encoded(3 * all.size() + 1, '\0');
    int n = 0;
    ASSERT_EQ(VCL_URL_Encode(all.data(), len(all), encoded.data(), &n), 0);
    encoded.resize(static_cast<size_t>(n));
    EXPECT_EQ(pyUnquote(encoded), all);

    // Ours decodes python's quote_plus.
    const auto q = coretest::python(
        "import sys, urllib.parse\n"
        "sys.stdout.write(urllib.parse.quote_plus(sys.stdin.buffer.read()))\n",
        all);
    ASSERT_EQ(q.status, 0);
    std::string decoded(q.output.size() + 1, '\0');
    ASSERT_EQ(VCL_URL_Decode(q.output.data(), len(q.output), decoded.data(), &n), 0);
    EXPECT_EQ(decoded.substr(0, static_cast<size_t>(n)), all);
    std::string inPlace = q.output;
    ASSERT_EQ(VCL_URLDecode(inPlace.data()), len(all));
    EXPECT_EQ(inPlace.substr(0, all.size()), all);
}

TEST(CoreUrl, DecodingKeepsAPercentWithoutTwoHexDigits) {
    const char* texts[] = {"%41%42", "%4",   "%",       "a%",        "%%41",      "%zz", "%4g",
                           "%g4",    "100%", "a+b%2Bc", "%e2%82%ac", "%E2%82%AC", "%+1", "x%0"};
    for (const char* t : texts) {
        std::string text = t;
        const int n = VCL_URLDecode(text.data());
        EXPECT_EQ(text.substr(0, static_cast<size_t>(n)), pyUnquote(t)) << t;
    }
    EXPECT_EQ(VCL_URLDecode(nullptr), 0);
    int n = 5;
    char out[4];
    EXPECT_EQ(VCL_URL_Decode("", 0, out, &n), 0);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(VCL_URL_Decode(nullptr, 1, out, &n), VCL_ERR_INVALID_PARAM);
    EXPECT_EQ(VCL_URL_Decode("a", -1, out, &n), VCL_ERR_INVALID_PARAM);
    EXPECT_EQ(VCL_URL_Encode("a", 0, out, &n), VCL_ERR_INVALID_PARAM);
    EXPECT_EQ(VCL_URL_Encode(nullptr, 1, out, &n), VCL_ERR_INVALID_PARAM);
    EXPECT_EQ(VCL_Hex2Char('4', '1'), 'A');
    EXPECT_EQ(VCL_Hex2Char('e', 'F'), 0xEF);
}

TEST(CoreBase128, Vectors) {
    Buf<char> out;
    EXPECT_EQ(VCL_Base128_Encode(u8("1234567"), 7, 1, out.out()), 10);
    EXPECT_EQ(std::strlen(out.p), 10u);
    Buf<char> a;
    EXPECT_EQ(VCL_Base128_Encode(u8("A"), 1, 1, a.out()), 10);
    EXPECT_EQ(a.str(), "./Nn......");  // 'A' = 0100000 1(000000), then filler
    Buf<char> padded;
    EXPECT_EQ(VCL_Base128_Encode(u8("A"), 1, 20, padded.out()), 20);
    EXPECT_EQ(padded.str(), "./Nn................");
    // Length characters: ((n >> 7) & 0x7F) + 46 and (n & 0x7F) + 46.
    const std::string big(300, 'x');
    Buf<char> b;
    ASSERT_GT(VCL_Base128_Encode(u8(big), len(big), 1, b.out()), 0);
    EXPECT_EQ(static_cast<unsigned char>(b.p[0]), 2 + 46);
    EXPECT_EQ(static_cast<unsigned char>(b.p[1]), 44 + 46);
}

TEST(CoreBase128, DecodingWritesNothingToStandardOutput) {
    // A CGI program's standard output is its reply.
    zqtest::TempDir dir("core-b128");
    const std::string out = dir / "stdout";
    std::fflush(stdout);
    const int saved = dup(1);
    const int file = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(file, 1);
    close(file);
    Buf<unsigned char> back;
    const int n = VCL_Base128_Decode("./Nn......", 10, back.out());
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(zqtest::readFile(out), "");
}

TEST(CoreBase128, RoundTripsEveryLength) {
    const std::string data = randomBytes(VCL_BASE128_MAX_INPUT, 128);
    for (int n = 1; n <= VCL_BASE128_MAX_INPUT; ++n) {
        char* text = nullptr;
        const int m = VCL_Base128_Encode(u8(data), n, 1, &text);
        ASSERT_GT(m, 0) << n;
        unsigned char* back = nullptr;
        const int k = VCL_Base128_Decode(text, m, &back);
        ASSERT_EQ(k, n);
        ASSERT_EQ(std::memcmp(back, data.data(), static_cast<size_t>(n)), 0) << n;
        ASSERT_EQ(back[n], 0);
        VCL_Free(text, m);
        VCL_Free(back, k);
    }
}

TEST(CoreBase128, Refusals) {
    struct Enc {
        const unsigned char* data;
        int len, minOut;
    } encs[] = {{nullptr, 1, 1}, {u8("a"), 0, 1}, {u8("a"), -1, 1}, {u8("a"), 1, 0}};
    for (const auto& e : encs) {
        VCLLastErrorCode = 0;
        Buf<char> out;
        EXPECT_EQ(VCL_Base128_Encode(e.data, e.len, e.minOut, out.out()), -1);
        EXPECT_EQ(VCL_GetLastError(), VCL_ERR_BASE128_ENCODE_PARAM);
        EXPECT_FALSE(out);
    }
    const std::string tooLong(VCL_BASE128_MAX_INPUT + 1, 'x');
    Buf<char> out;
    EXPECT_EQ(VCL_Base128Encoding(u8(tooLong), len(tooLong), 1, out.out()), -1);
    EXPECT_EQ(VCL_GetLastError(), VCL_ERR_BASE128_ENCODE_PARAM);

    const std::string decs[] = {
        std::string("."),              // one character: no length
        std::string("./-"),            // 0x2D below the alphabet
        std::string("./\xAE"),         // 0xAE above it
        std::string("\xAD\xAD....."),  // 16383 bytes announced, 5 characters carry 4
        std::string("./"),             // 1 byte announced, none carried
        std::string(".0N"),            // 2 announced, one character carries 0
    };
    for (const auto& d : decs) {
        VCLLastErrorCode = 0;
        Buf<unsigned char> back;
        EXPECT_EQ(VCL_Base128_Decode(d.data(), len(d), back.out()), -1) << d;
        EXPECT_EQ(VCL_GetLastError(), VCL_ERR_BASE128_DECODE_PARAM) << d;
        EXPECT_FALSE(back);
    }
    Buf<unsigned char> back;
    EXPECT_EQ(VCL_Base128Decoding(nullptr, 4, back.out()), -1);
    EXPECT_EQ(VCL_Base128_Decode("..", 2, back.out()), 0);  // an empty payload
    ASSERT_TRUE(back);
    EXPECT_EQ(back.p[0], 0);
}

TEST(CoreHex, Digits) {
    char two[2];
    VCL_ConvertUcharToHex(0xAB, two);
    EXPECT_EQ(std::string(two, 2), "AB");
    VCL_ConvertUcharToHex(0x05, two);
    EXPECT_EQ(std::string(two, 2), "05");
    EXPECT_EQ(VCL_ConvertHexToUchar("aB"), 0xAB);
    EXPECT_EQ(VCL_ConvertHexToUchar("G1"), 0x01);  // a non-hex digit counts as 0
}

TEST(CoreByteOrder, EqualsPythonStruct) {
    const auto r = coretest::python(
        "import struct\n"
        "for f, v in (('>h', -2), ('>h', 0x1234), ('>i', -123456789), ('>i', 0x01020304),\n"
        "             ('>f', 3.5), ('>f', -0.1), ('>d', 3.141592653589793), ('>d', -1e300)):\n"
        "    print(struct.pack(f, v).hex())\n");
    ASSERT_EQ(r.status, 0);
    std::vector<std::string> expected;
    size_t start = 0;
    for (size_t nl; (nl = r.output.find('\n', start)) != std::string::npos; start = nl + 1)
        expected.push_back(r.output.substr(start, nl - start));
    ASSERT_EQ(expected.size(), 8u);
    auto hex = [](const unsigned char* b, int n) {
        std::string s;
        char two[3];
        for (int i = 0; i < n; ++i) {
            std::snprintf(two, sizeof two, "%02x", b[i]);
            s += two;
        }
        return s;
    };
    unsigned char buf[8];
    EXPECT_EQ(VCL_HtonShort(-2, buf, 8), 2);
    EXPECT_EQ(hex(buf, 2), expected[0]);
    EXPECT_EQ(VCL_HtonInt16(0x1234, buf, 2), 2);
    EXPECT_EQ(hex(buf, 2), expected[1]);
    EXPECT_EQ(VCL_HtonInt(-123456789, buf, 4), 4);
    EXPECT_EQ(hex(buf, 4), expected[2]);
    EXPECT_EQ(VCL_HtonInt32(0x01020304, buf, 4), 4);
    EXPECT_EQ(hex(buf, 4), expected[3]);
    EXPECT_EQ(VCL_HtonFloat(3.5f, buf, 4), 4);
    EXPECT_EQ(hex(buf, 4), expected[4]);
    EXPECT_EQ(VCL_HtonFloat(-0.1f, buf, 4), 4);
    EXPECT_EQ(hex(buf, 4), expected[5]);
    EXPECT_EQ(VCL_HtonDouble(3.141592653589793, buf, 8), 8);
    EXPECT_EQ(hex(buf, 8), expected[6]);
    EXPECT_EQ(VCL_HtonDouble(-1e300, buf, 8), 8);
    EXPECT_EQ(hex(buf, 8), expected[7]);

    // And back.
    short s;
    int16_t s16;
    int i;
    int32_t i32;
    float f;
    double d;
    EXPECT_EQ(VCL_NtohShort(reinterpret_cast<const unsigned char*>("\xff\xfe"), 2, &s), 2);
    EXPECT_EQ(s, -2);
    EXPECT_EQ(VCL_NtohInt16(reinterpret_cast<const unsigned char*>("\x12\x34"), 2, &s16), 2);
    EXPECT_EQ(s16, 0x1234);
    EXPECT_EQ(VCL_NtohInt(reinterpret_cast<const unsigned char*>("\xf8\xa4\x32\xeb"), 4, &i), 4);
    EXPECT_EQ(i, -123456789);
    EXPECT_EQ(VCL_NtohInt32(reinterpret_cast<const unsigned char*>("\x01\x02\x03\x04"), 4, &i32), 4);
    EXPECT_EQ(i32, 0x01020304);
    EXPECT_EQ(VCL_NtohFloat(reinterpret_cast<const unsigned char*>("\x40\x60\x00\x00"), 4, &f), 4);
    EXPECT_EQ(f, 3.5f);
    VCL_HtonDouble(-1e300, buf, 8);
    EXPECT_EQ(VCL_NtohDouble(buf, 8, &d), 8);
    EXPECT_EQ(d, -1e300);

    // Wrong widths.
    EXPECT_EQ(VCL_NtohInt(buf, 3, &i), -1);
    EXPECT_EQ(VCL_NtohInt(buf, 5, &i), -1);
    EXPECT_EQ(VCL_HtonDouble(1.0, buf, 7), -1);
    EXPECT_EQ(VCL_HtonShort(1, buf, 1), -1);
}

}  // namespace
