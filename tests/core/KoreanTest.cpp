// EUC-KR, UCS-2 and UTF-8 conversion against glibc's converters (iconv) and
// python's cp949 codec.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <zunCore/error.h>
#include <zunCore/korean.h>

#include "CoreHelpers.h"

namespace {

using coretest::Buf;
using coretest::iconvText;

std::string euckrToUtf8(const std::string& s) { return Buf<char>(VCL_ConvertEUCKRToUTF8(s.c_str())).str(); }

// One glibc converter reused over many short texts.
class Iconv {
public:
    Iconv(const char* from, const char* to) : m_cd(iconv_open(to, from)) {}
    ~Iconv() { iconv_close(m_cd); }
    std::optional<std::string> operator()(const std::string& text) {
        std::string out(text.size() * 4 + 8, '\0');
        char* in = const_cast<char*>(text.data());
        size_t inLeft = text.size(), outLeft = out.size();
        char* o = out.data();
        const size_t rc = iconv(m_cd, &in, &inLeft, &o, &outLeft);
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        if (rc == static_cast<size_t>(-1) || inLeft) return std::nullopt;
        out.resize(out.size() - outLeft);
        return out;
    }

private:
    iconv_t m_cd;
};

TEST(KoreanTables, CommittedTablesAreTheGeneratorsOutput) {
    const auto generated = zqtest::run({zqtest::sourceDir() + "/scripts/gen-korean-tables", "-"});
    ASSERT_EQ(generated.status, 0);
    EXPECT_EQ(generated.output, zqtest::readFile(zqtest::sourceDir() + "/core/util/korean_tables.inc"));
}

TEST(KoreanConversion, EveryKsX1001CellBothWays) {
    Iconv toUtf8("EUC-KR", "UTF-8");
    int assigned = 0;
    std::string allCells;
    for (int lead = 0xA1; lead <= 0xFE; ++lead) {
        for (int trail = 0xA1; trail <= 0xFE; ++trail) {
            const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
            const auto peer = toUtf8(pair);
            const std::string ours = euckrToUtf8(pair);
            if (!peer) {
                EXPECT_EQ(ours, "\xEF\xBF\xBD") << std::hex << lead << trail;  // U+FFFD
                continue;
            }
            ++assigned;
            allCells += pair;
            ASSERT_EQ(ours, *peer) << std::hex << lead << " " << trail;
            Buf<char> back(VCL_ConvertUTF8ToEUCKR(peer->c_str()));
            ASSERT_EQ(back.str(), pair) << std::hex << lead << " " << trail;
        }
    }
    EXPECT_EQ(assigned, 8227);
    // The euro sign, the registered sign and the postal code mark of
    // KS X 1001:2002.
    EXPECT_EQ(euckrToUtf8("\xA2\xE6\xA2\xE7\xA2\xE8"), "\xE2\x82\xAC\xC2\xAE\xE3\x89\xBE");
    EXPECT_EQ(Buf<char>(VCL_ConvertUTF8ToEUCKR("\xE2\x82\xAC\xC2\xAE\xE3\x89\xBE")).str(), "\xA2\xE6\xA2\xE7\xA2\xE8");

    // The whole repertoire as one text, and UCS-2 both ways.
    const auto utf8 = iconvText(allCells, "EUC-KR", "UTF-8");
    const auto ucs2 = iconvText(allCells, "EUC-KR", "UCS-2BE");
    ASSERT_TRUE(utf8 && ucs2);
    EXPECT_EQ(euckrToUtf8(allCells), *utf8);
    EXPECT_EQ(Buf<char>(VCL_ConvertUTF8ToEUCKR(utf8->c_str())).str(), allCells);
    EXPECT_EQ(Buf<char>(VCL_ConvertUCS2ToEUCKR(ucs2->data(), coretest::len(*ucs2))).str(), allCells);
    int bytes = 0;
    Buf<unsigned short> units(VCL_ConvertEUCKRToUCS2(allCells.c_str(), &bytes));
    ASSERT_TRUE(units);
    ASSERT_EQ(bytes, coretest::len(*ucs2));
    for (int i = 0; i < bytes / 2; ++i)
        ASSERT_EQ(units.p[i],
                  static_cast<unsigned char>((*ucs2)[2 * i]) << 8 | static_cast<unsigned char>((*ucs2)[2 * i + 1]));
    EXPECT_EQ(units.p[bytes / 2], 0);
}

TEST(KoreanConversion, HangulSyllablesAgreeWithCp949AndIconv) {
    // python's cp949 codes every syllable; those in KS X 1001 have both bytes
    // in 0xA1-0xFE.
    const auto r = coretest::python(
        "for c in range(0xAC00, 0xD7A4):\n"
        "    print(chr(c).encode('cp949').hex())\n");
    ASSERT_EQ(r.status, 0);
    std::istringstream lines(r.output);
    Iconv toEucKr("UCS-2BE", "EUC-KR");
    std::string line;
    int inKs = 0;
    for (unsigned c = 0xAC00; c <= 0xD7A3; ++c) {
        ASSERT_TRUE(std::getline(lines, line));
        const unsigned code = std::stoul(line, nullptr, 16);
        const bool ks = (code >> 8) >= 0xA1 && (code & 0xFF) >= 0xA1;
        inKs += ks;
        const unsigned short ours = VCL_ConvertUCS2ToKSC(static_cast<unsigned short>(c));
        const std::string be{static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
        const auto peer = toEucKr(be);
        ASSERT_EQ(peer.has_value(), ks) << std::hex << c;
        ASSERT_EQ(ours, ks ? code : 0xFFFFu) << std::hex << c;
        Buf<char> text(VCL_ConvertUCS2ToEUCKR(be.data(), 2));
        ASSERT_EQ(text.str(), ks ? *peer : std::string("\xFF\xFF")) << std::hex << c;
    }
    EXPECT_EQ(inKs, 2350);
}

TEST(KoreanConversion, MalformedUtf8IsRefusedAsIconvRefusesIt) {
    struct Case {
        std::string text;
        int code;
    } cases[] = {
        {"\xC0\x80", VCL_ERR_DATA_FORMAT},    // overlong NUL: would cut the text short
        {"ab\xC0\xAF", VCL_ERR_DATA_FORMAT},  // overlong '/'
        {"\xC1\xBF", VCL_ERR_DATA_FORMAT},
        {"\xE0\x80\x80", VCL_ERR_DATA_FORMAT},
        {"\xE0\x9F\xBF", VCL_ERR_DATA_FORMAT},  // overlong U+07FF
        {"\xED\xA0\x80", VCL_ERR_DATA_FORMAT},  // a surrogate
        {"\xED\xBF\xBF", VCL_ERR_DATA_FORMAT},
        {"\x80", VCL_ERR_DATA_FORMAT},  // stray trailing bytes
        {"a\xBF", VCL_ERR_DATA_FORMAT},
        {"\xA1", VCL_ERR_DATA_FORMAT},
        {"\xC3\x41", VCL_ERR_DATA_FORMAT},  // a bad trailing byte
        {"\xE3\x41\x81", VCL_ERR_DATA_FORMAT},
        {"\xE3\x81\xC3", VCL_ERR_DATA_FORMAT},
        {"\xEA\xB0\x80\xC3", VCL_ERR_UNICODE_SOURCE_SHORT},  // ends inside a sequence
        {"\xE3\x81", VCL_ERR_UNICODE_SOURCE_SHORT},
        {"\xF0\x90\x80\x80", VCL_ERR_UNICODE_UCS4},  // beyond UCS-2
        {"\xF4\x8F\xBF\xBF", VCL_ERR_UNICODE_UCS4},
        {"\xF8\x88\x80\x80\x80", VCL_ERR_UNICODE_UCS4},
        {"\xFE\x80\x80\x80\x80\x80", VCL_ERR_UNICODE_UCS4},
        {"\xFF", VCL_ERR_UNICODE_SOURCE_SHORT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_FALSE(iconvText(c.text, "UTF-8", "UCS-2BE"));  // the peer refuses it too
        VCLLastErrorCode = 0;
        EXPECT_EQ(VCL_ConvertUTF8ToEUCKR(c.text.c_str()), nullptr);
        EXPECT_EQ(VCL_GetLastError(), c.code);
    }
    // The shortest forms next to the refused ones are fine.
    for (const char* ok : {"\xC2\x80", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80", "\xEF\xBF\xBD"}) {
        EXPECT_TRUE(iconvText(ok, "UTF-8", "UCS-2BE"));
        Buf<char> r(VCL_ConvertUTF8ToEUCKR(ok));
        EXPECT_TRUE(r) << testing::PrintToString(std::string(ok));
    }
}

TEST(KoreanConversion, EdgeCases) {
    auto units = [](const std::string& euc) {
        int n = 0;
        Buf<unsigned short> u(VCL_ConvertEUCKRToUCS2(euc.c_str(), &n));
        return std::vector<unsigned short>(u.p, u.p + n / 2);
    };
    using V = std::vector<unsigned short>;
    EXPECT_EQ(units("\xB0\xA1"), (V{0xAC00}));
    EXPECT_EQ(units("\xB0\xA1"
                    "A"),
              (V{0xAC00, 'A'}));
    EXPECT_EQ(units("\xB0"
                    "A"),
              (V{0x00B0, 'A'}));  // a high byte before ASCII passes through
    EXPECT_EQ(units("x\xB0"), (V{'x', 0x00B0}));
    EXPECT_EQ(units("\xC9\xA1"), (V{0xFFFD}));  // user-defined row
    EXPECT_EQ(units("\xB0\xFF"), (V{0xFFFD}));
    EXPECT_EQ(units("\xA1\xA0"), (V{0xFFFD}));
    EXPECT_EQ(units("\x81\xA1"), (V{0xFFFD}));
    int n = 0;
    Buf<unsigned short> four(VCL_ConvertEUCKRToUCS2("A\xB0\xA1", &n));
    EXPECT_EQ(n, 4);

    EXPECT_EQ(VCL_ConvertUCS2ToKSC(0xAC00), 0xB0A1);
    EXPECT_EQ(VCL_ConvertUCS2ToKSC(0x00A1), 0xA2AE);
    EXPECT_EQ(VCL_ConvertUCS2ToKSC(0x0080), 0x0080);
    EXPECT_EQ(VCL_ConvertUCS2ToKSC('A'), 'A');
    EXPECT_EQ(VCL_ConvertUCS2ToKSC(0xAC02), 0xFFFF);
    EXPECT_EQ(VCL_ConvertUCS2ToKSC(0x4E00), 0xECE9);  // the first ideograph
    EXPECT_EQ(VCL_ConvertUCS2ToKSC(0x4E02), 0xFFFF);
    EXPECT_EQ(VCL_ConvertUCS2ToKSC(0xFFFF), 0xFFFF);

    VCLLastErrorCode = 0;
    EXPECT_EQ(VCL_ConvertUCS2ToEUCKR("\xAC\x00\x41", 3), nullptr);
    EXPECT_EQ(VCL_GetLastError(), VCL_ERR_UNICODE_NOT_UCS2);
    EXPECT_EQ(Buf<char>(VCL_ConvertUCS2ToEUCKR("\xAC\x00", 2)).str(), "\xB0\xA1");
    EXPECT_EQ(Buf<char>(VCL_ConvertUCS2ToEUCKR("\xAC\x02\x00\x41", 4)).str(),
              "\xFF\xFF"
              "A");
    EXPECT_EQ(Buf<char>(VCL_ConvertUCS2ToEUCKR("\x00\x80", 2)).str(), "\x80");
    EXPECT_EQ(Buf<char>(VCL_ConvertUCS2ToEUCKR("", 0)).str(), "");

    // NULL texts: the UTF-8 side logs and leaves the last error alone; the
    // EUC-KR side refuses with 1001003.
    VCLLastErrorCode = 7;
    EXPECT_EQ(VCL_ConvertUTF8ToEUCKR(nullptr), nullptr);
    EXPECT_EQ(VCL_GetLastError(), 7);
    EXPECT_EQ(VCL_ConvertEUCKRToUTF8(nullptr), nullptr);
    EXPECT_EQ(VCL_GetLastError(), VCL_ERR_INVALID_PARAM);
    VCLLastErrorCode = 0;
    EXPECT_EQ(VCL_ConvertEUCKRToUCS2(nullptr, &n), nullptr);
    EXPECT_EQ(VCL_GetLastError(), VCL_ERR_INVALID_PARAM);
    EXPECT_EQ(VCL_ConvertUCS2ToEUCKR(nullptr, 2), nullptr);

    EXPECT_EQ(Buf<char>(VCL_ConvertUTF8ToEUCKR("")).str(), "");
    EXPECT_EQ(euckrToUtf8(""), "");
}

TEST(KoreanConversion, MixedTextsEqualIconv) {
    const char* texts[] = {
        "plain ASCII, 0-9 ~!@#",
        "\xED\x99\x8D\xEA\xB8\xB8\xEB\x8F\x99 Hong Gildong",
        "\xEC\x84\x9C\xEC\x9A\xB8\xED\x8A\xB9\xEB\xB3\x84\xEC\x8B\x9C, Korea 04524",
        "\xCE\xB1\xCE\xB2\xCE\xB3 \xD0\x96\xD0\xB8\xD0\xB7\xD0\xBD\xD1\x8C",  // Greek, Cyrillic
        "\xC2\xB1\xC3\x97\xC3\xB7\xC2\xA7\xC2\xB0",                           // symbols of two UTF-8 bytes
        "\xE6\xB0\xB4\xE6\xBC\xA2\xE5\xAD\x97 \xEF\xA4\x80",                  // Hanja, a compatibility one
        "\xE2\x99\xA5\xE2\x98\x86\xE3\x80\x80\xE3\x85\x8E",
    };
    for (const char* t : texts) {
        SCOPED_TRACE(t);
        const auto euc = iconvText(t, "UTF-8", "EUC-KR");
        ASSERT_TRUE(euc);
        EXPECT_EQ(Buf<char>(VCL_ConvertUTF8ToEUCKR(t)).str(), *euc);
        EXPECT_EQ(euckrToUtf8(*euc), t);
    }
}

TEST(KoreanConversion, StreamingStopsAtTheOutputEnd) {
    // UTF-8 to UCS-2: room for two units of three.
    std::string in =
        "A\xEA\xB0\x80"
        "B";
    char* p = in.data();
    unsigned short out[2];
    unsigned short* o = out;
    EXPECT_EQ(VCL_ConvertStrUTF8ToUCS2(&p, in.data() + in.size(), &o, out + 2), VCL_CONV_TARGET_EXHAUSTED);
    EXPECT_EQ(VCL_GetLastError(), VCL_ERR_UNICODE_TARGET_FULL);
    EXPECT_EQ(o, out + 2);
    EXPECT_EQ(p, in.data() + 4);  // at the unit that did not fit
    EXPECT_EQ(out[1], 0xAC00);

    // A bad sequence leaves the input pointer on it.
    std::string bad = "ab\xC0\x80";
    p = bad.data();
    o = out;
    EXPECT_EQ(VCL_ConvertStrUTF8ToUCS2(&p, bad.data() + bad.size(), &o, out + 2), VCL_CONV_MALFORMED);
    EXPECT_EQ(p, bad.data() + 2);

    // UCS-2 to UTF-8 and to EUC-KR: a character that does not fit whole is
    // not started.
    unsigned short units[] = {'x', 0xAC00};
    unsigned short* u = units;
    char bytes[3];
    char* b = bytes;
    EXPECT_EQ(VCL_ConvertStrUCS2ToUTF8(&u, units + 2, &b, bytes + 3), VCL_CONV_TARGET_EXHAUSTED);
    EXPECT_EQ(b, bytes + 1);
    u = units;
    b = bytes;
    EXPECT_EQ(VCL_ConvertStrUCS2ToKSC(&u, units + 2, &b, bytes + 2), VCL_CONV_TARGET_EXHAUSTED);
    EXPECT_EQ(b, bytes + 1);
    u = units;
    b = bytes;
    EXPECT_EQ(VCL_ConvertStrUCS2ToKSC(&u, units + 2, &b, bytes + 3), VCL_CONV_OK);
    EXPECT_EQ(std::string(bytes, 3), "x\xB0\xA1");

    // EUC-KR to UCS-2 stops at a NUL byte.
    std::string euc("\xB0\xA1\0\xB0\xA1", 5);
    p = euc.data();
    o = out;
    EXPECT_EQ(VCL_ConvertStrKSCToUCS2(&p, euc.data() + euc.size(), &o, out + 2), VCL_CONV_OK);
    EXPECT_EQ(o, out + 1);
    // ... and reports a full output.
    std::string three = "abc";
    p = three.data();
    o = out;
    EXPECT_EQ(VCL_ConvertStrKSCToUCS2(&p, three.data() + 3, &o, out + 2), VCL_CONV_TARGET_EXHAUSTED);
}

TEST(KoreanClassification, Texts) {
    auto u = [](const char* s) { return reinterpret_cast<const unsigned char*>(s); };
    EXPECT_EQ(VCL_IsOnlyASCII(u("plain text ~")), 1);
    EXPECT_EQ(VCL_IsOnlyASCII(u("")), 1);
    EXPECT_EQ(VCL_IsOnlyASCII(u("tab\there")), 0);
    EXPECT_EQ(VCL_IsOnlyASCII(u("\xB0\xA1")), 0);
    EXPECT_EQ(VCL_IsOnlyDBCS(u("\xB0\x41")), 0);
    EXPECT_EQ(VCL_IsOnlyDBCS(u("\xB0\xA1\x41")), 1);
    EXPECT_EQ(VCL_IsOnlyDBCS(u("\x90")), 0);
    EXPECT_EQ(VCL_IsOnlyDBCS(u("a\xFF"
                               "b")),
              1);
    EXPECT_EQ(VCL_IsOnlyDBCS(u("\xB0")), 1);  // ends after a first byte
    EXPECT_EQ(VCL_IsOnlyUTF8(u("\xC3\xA9")), 1);
    EXPECT_EQ(VCL_IsOnlyUTF8(u("\x80")), 0);
    EXPECT_EQ(VCL_IsOnlyUTF8(u("\xC3"
                               "A")),
              0);
    EXPECT_EQ(VCL_IsOnlyUTF8(u("\xFE")), 0);
    EXPECT_EQ(VCL_IsOnlyUTF8(u("\xE3\x81")), 1);  // ends inside a sequence
    EXPECT_EQ(VCL_IsOnlyUTF8(nullptr), 0);
}

}  // namespace
