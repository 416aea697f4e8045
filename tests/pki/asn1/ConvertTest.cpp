// KS X 1001 conversions against glibc's own EUC-KR converter.
#include <zunPKI/asn1/convert.h>

#include "PkiHelpers.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <optional>
#include <string>

namespace {

using pkitest::bytes;
using pkitest::len;
using pkitest::Owned;

// glibc iconv in-process: the independent peer for every conversion here.
std::optional<std::string> iconvText(const std::string& in, const char* from, const char* to) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(in.size() * 4 + 16, '\0');
    char* ip = const_cast<char*>(in.data());
    size_t il = in.size();
    char* op = out.data();
    size_t ol = out.size();
    size_t rc = iconv(cd, &ip, &il, &op, &ol);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1) || il != 0) return std::nullopt;
    out.resize(out.size() - ol);
    return out;
}

ASN1_STRING stringOf(const std::string& s, int type) {
    return ASN1_STRING{type, const_cast<unsigned char*>(bytes(s)), len(s), 0};
}

std::optional<std::string> toCP949FromUtf8(const std::string& utf8) {
    ASN1_STRING str = stringOf(utf8, 12);
    Owned<char> out;
    int n = utf8ToCP949(&str, out.out());
    return out.result(n);
}

std::optional<std::string> toCP949FromBmp(const std::string& bmp) {
    ASN1_STRING str = stringOf(bmp, 30);
    Owned<char> out;
    int n = bmpToCP949(&str, out.out());
    return out.result(n);
}

std::optional<std::string> toUtf8(const std::string& cp949) {
    Owned<char> out;
    int n = cp949ToUTF8(cp949.c_str(), out.out());
    return out.result(n);
}

std::optional<std::string> toBmp(const std::string& cp949) {
    Owned<unsigned char> out;
    int n = cp949ToBMP(cp949.c_str(), out.out());
    return out.result(n);
}

TEST(Cp949Table, EveryCellAsIconvAndBack) {
    ASSERT_EQ(cp949TableSize, 93 * 94);
    std::string allCells;  // every assigned cell, in table order
    int assigned = 0;
    for (int lead = 0xA1; lead <= 0xFD; ++lead) {
        for (int trail = 0xA1; trail <= 0xFE; ++trail) {
            std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
            auto peer = iconvText(pair, "EUC-KR", "UTF-16BE");
            int cp = cp949ToUnicode(lead, trail);
            if (!peer) {
                EXPECT_EQ(cp, 0) << std::hex << lead << trail;
                continue;
            }
            ASSERT_EQ(peer->size(), 2u);
            int want = (static_cast<unsigned char>((*peer)[0]) << 8) | static_cast<unsigned char>((*peer)[1]);
            ASSERT_EQ(cp, want) << std::hex << lead << trail;
            Owned<unsigned char> back;
            back.p = unicodeToCP949(cp);
            ASSERT_NE(back.p, nullptr) << std::hex << cp;
            EXPECT_EQ(back.str(2), pair);
            allCells += pair;
            ++assigned;
        }
    }
    // KS X 1001:2002 with the euro sign, the registered sign and the postal
    // code mark (A2E6-A2E8), as glibc has them.
    EXPECT_EQ(cp949ToUnicode(0xA2, 0xE6), 0x20AC);
    EXPECT_EQ(cp949ToUnicode(0xA2, 0xE7), 0x00AE);
    EXPECT_EQ(cp949ToUnicode(0xA2, 0xE8), 0x327E);
    EXPECT_EQ(assigned, 8742 - 515);

    // The whole repertoire in one text, through every conversion.
    auto utf8 = iconvText(allCells, "EUC-KR", "UTF-8");
    auto bmp = iconvText(allCells, "EUC-KR", "UTF-16BE");
    ASSERT_TRUE(utf8 && bmp);
    EXPECT_EQ(toUtf8(allCells), utf8);
    EXPECT_EQ(toBmp(allCells), bmp);
    EXPECT_EQ(toCP949FromUtf8(*utf8), allCells);
    EXPECT_EQ(toCP949FromBmp(*bmp), allCells);
}

TEST(Cp949Table, CommittedTableIsTheGeneratorsOutput) {
    auto generated = zqtest::run({zqtest::sourceDir() + "/scripts/gen-cp949-table", "-"});
    ASSERT_EQ(generated.status, 0);
    EXPECT_EQ(generated.output, zqtest::readFile(zqtest::sourceDir() + "/pki/asn1/cp949_table.inc"));
}

TEST(Cp949Conversion, MixedTextsRoundTrip) {
    const char* texts[] = {
        "",
        "plain ASCII, 0-9 ~!@#",
        "\xEA\xB0\x80",  // U+AC00
        "\xED\x99\x8D\xEA\xB8\xB8\xEB\x8F\x99 Hong Gildong",
        "\xEC\x84\x9C\xEC\x9A\xB8\xED\x8A\xB9\xEB\xB3\x84\xEC\x8B\x9C, Korea 04524",
        "\xCE\xB1\xCE\xB2\xCE\xB3 \xD0\x96\xD0\xB8\xD0\xB7\xD0\xBD\xD1\x8C",  // Greek, Cyrillic: two-byte UTF-8
        "\xC2\xB1\xC3\x97\xC3\xB7\xC2\xA7",                                   // symbols: two-byte UTF-8
        "\xE2\x82\xAC 100, \xC2\xAE, \xE3\x89\xBE",                           // A2E6-A2E8
        "\xE6\xB0\xB4\xE6\xBC\xA2\xE5\xAD\x97",                               // Hanja, U+6C34 first
        "\xE2\x99\xA5\xE2\x98\x86\xE3\x80\x80\xE3\x85\x8E",
    };
    for (const char* t : texts) {
        std::string utf8 = t;
        SCOPED_TRACE(utf8);
        auto cp949 = iconvText(utf8, "UTF-8", "EUC-KR");
        auto bmp = iconvText(utf8, "UTF-8", "UTF-16BE");
        ASSERT_TRUE(cp949 && bmp);
        EXPECT_EQ(toCP949FromUtf8(utf8), cp949);
        EXPECT_EQ(toCP949FromBmp(*bmp), cp949);
        EXPECT_EQ(toUtf8(*cp949), utf8);
        EXPECT_EQ(toBmp(*cp949), bmp);
    }
}

TEST(Cp949Conversion, MalformedOrForeignInputFails) {
    const char* utf8[] = {
        "\xC3",        // truncated
        "ab\xEA\xB0",  // truncated at the end
        "\x80",        // continuation in lead position
        "\xFF",
        "\xC0\x80",          // overlong NUL
        "\xE0\x80\xAF",      // overlong '/'
        "\xED\xA0\x80",      // surrogate
        "\xF4\x90\x80\x80",  // past U+10FFFF
        "\xEA\x41\x80",      // bad continuation
        "\xC3\xA9",          // U+00E9: not in KS X 1001
        "\xF0\x9F\x98\x80",  // U+1F600
        "\xE4\xB8\x82",      // U+4E02, a Han character outside KS X 1001
        "\xEF\xBF\xBF",      // U+FFFF: empty cells never match
    };
    for (const char* t : utf8) EXPECT_FALSE(toCP949FromUtf8(t)) << t;

    const char* cp949[] = {
        "\xB0",  // lead byte before the terminator
        "A\xB0",
        "\xB0\x41",  // trail byte below A1
        "\xB0\xFF",  // trail byte past FE
        "\xFE\xA1",  // lead byte past FD
        "\x81\x41",  // extended CP949 range: no table entries
        "\xA2\xE9",  // unassigned cell
    };
    for (const char* t : cp949) {
        EXPECT_FALSE(toUtf8(t)) << t;
        EXPECT_FALSE(toBmp(t)) << t;
    }

    EXPECT_FALSE(toCP949FromBmp(std::string("\xAC", 1)));              // odd length
    EXPECT_FALSE(toCP949FromBmp(std::string("\xD8\x00\xDC\x00", 4)));  // surrogates
    EXPECT_FALSE(toCP949FromBmp(std::string("\x00\xE9", 2)));
    EXPECT_EQ(unicodeToCP949(0xFFFF), nullptr);
    EXPECT_EQ(unicodeToCP949(0x41), nullptr);
    EXPECT_EQ(unicodeToCP949(-1), nullptr);
    EXPECT_EQ(cp949ToUnicode(0x80, 0x41), 0);
    EXPECT_EQ(cp949ToUnicode(0xA1, 0xA1), 0x3000);
    EXPECT_EQ(cp949ToUnicode(0xB0, 0x00), 0);
}

TEST(ByteWidth, WidenNarrowAndHex) {
    int outLen = 0;
    Owned<unsigned char> wide;
    unsigned char* stored = nullptr;
    wide.p = ascTouni("AB", -1, &stored, &outLen);
    EXPECT_EQ(stored, wide.p);
    EXPECT_EQ(outLen, 6);
    EXPECT_EQ(wide.str(outLen), std::string("\0A\0B\0\0", 6));

    Owned<char> narrow;
    narrow.p = uniToasc(wide.p, outLen);
    EXPECT_STREQ(narrow.p, "AB");
    Owned<char> odd;
    const unsigned char oddUnits[] = {0, 'A', 0};
    odd.p = uniToasc(oddUnits, 3);
    EXPECT_STREQ(odd.p, "A");

    unsigned char out[4] = {};
    EXPECT_EQ(hexToASCII("0aFf7", 5, out), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), "\x0A\xFF\x70");
    EXPECT_EQ(hexToASCII("0g", 2, out), 0);
    EXPECT_EQ(hexToASCII("00", 0, out), 0);
    EXPECT_EQ(hexToASCII(nullptr, 2, out), 0);
}

}  // namespace
