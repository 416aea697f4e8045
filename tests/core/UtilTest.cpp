// Buffers, files and string helpers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include <zunCore/error.h>
#include <zunCore/util.h>

#include "CoreHelpers.h"

namespace {

using coretest::Buf;

TEST(CoreFiles, ReadAndWrite) {
    zqtest::TempDir dir("core-files");
    const std::string path = dir / "data.bin";
    const std::string data("key\0bytes\xff", 10);
    ASSERT_EQ(VCL_Write_File(coretest::u8(data), coretest::len(data), path.c_str()), 0);
    EXPECT_EQ(zqtest::readFile(path), data);

    unsigned char* buf = nullptr;
    int n = 0;
    ASSERT_EQ(VCL_Read_File(path.c_str(), &buf, &n), 0);
    ASSERT_EQ(n, 10);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 10), data);
    EXPECT_EQ(buf[10], 0);
    VCL_Free(buf, n);

    // Replacing keeps the old file whole until the new one is written.
    ASSERT_EQ(VCL_Write_File(coretest::u8("new"), 3, path.c_str()), 0);
    EXPECT_EQ(zqtest::readFile(path), "new");

    const std::string empty = dir / "empty";
    const std::string missing = dir / "missing";
    const std::string noDir = dir / "no/such/dir";
    zqtest::writeFile(empty, "");
    struct Case {
        const char* path;
        unsigned expected;
    } reads[] = {
        {empty.c_str(), 0xc901000c},
        {missing.c_str(), 0xc901000c},
        {dir.path().c_str(), 0xc901000c},  // a directory
        {nullptr, 0xc9010002},
    };
    for (const auto& c : reads) {
        buf = nullptr;
        EXPECT_EQ(static_cast<unsigned>(VCL_Read_File(c.path, &buf, &n)), c.expected) << (c.path ? c.path : "NULL");
        EXPECT_EQ(buf, nullptr);
    }
    EXPECT_EQ(static_cast<unsigned>(VCL_Read_File(path.c_str(), nullptr, &n)), 0xc9010002u);

    EXPECT_EQ(static_cast<unsigned>(VCL_Write_File(coretest::u8("x"), 0, path.c_str())), 0xc902000du);
    EXPECT_EQ(static_cast<unsigned>(VCL_Write_File(nullptr, 1, path.c_str())), 0xc902000du);
    EXPECT_EQ(static_cast<unsigned>(VCL_Write_File(coretest::u8("x"), 1, nullptr)), 0xc902000du);
    EXPECT_EQ(static_cast<unsigned>(VCL_Write_File(coretest::u8("x"), 1, noDir.c_str())), 0xc902000du);
    EXPECT_EQ(zqtest::readFile(path), "new");

    VCL_Free(nullptr, 10);  // nothing happens
}

TEST(CoreFiles, HexDump) {
    zqtest::TempDir dir("core-dump");
    const std::string path = dir / "dump.txt";
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_TRUE(f);
    const std::string data = "ABCDEFGHIJKLMNOP\x01\x7f xy";
    EXPECT_EQ(VCL_HexaDump(f, coretest::u8(data), 20), 81);
    EXPECT_EQ(VCL_HexaDump(f, nullptr, 0), 81);
    std::fclose(f);
    const std::string rule(80, '-');
    const std::string header = "                 1  2  3  4  5  6  7  8  9  0  A  B  C  D  E  F";
    const std::string first = "0000000-0000015 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 ABCDEFGHIJKLMNOP";
    const std::string second = "0000016-0000031 01 7F 20 78 " + std::string(12 * 3, ' ') + ".. x";
    const std::string one = rule + "\n" + header + "\n" + rule + "\n" + first + "\n" + second + "\n" + rule + "\n";
    const std::string none = rule + "\n" + header + "\n" + rule + "\n" + rule + "\n";
    EXPECT_EQ(zqtest::readFile(path), one + none);
}

TEST(CoreStrings, TrimAndSubstrings) {
    struct Trim {
        const char *in, *out;
    } trims[] = {{"  a b \t\r\n", "a b"}, {"   ", ""}, {"", ""}, {"\tx", "x"}, {"x", "x"}};
    for (const auto& t : trims) {
        std::string s = t.in;
        EXPECT_EQ(VCL_StrTrim(s.data()), s.data());
        EXPECT_STREQ(s.c_str(), t.out) << "[" << t.in << "]";
    }
    EXPECT_EQ(VCL_StrTrim(nullptr), nullptr);
    const char* text = "xxyab";
    EXPECT_EQ(VCL_ltrim(text, "xy"), text + 3);
    EXPECT_EQ(VCL_ltrim(text, ""), text);

    struct Mid {
        const char* s;
        int start, len;
        const char* out;  // nullptr: refused with 1001003
    } mids[] = {
        {"hello", 1, 3, "ell"},    {"hello", 3, 10, "lo"},         {"hello", 5, 1, ""},
        {"hello", 0, 0, ""},       {"hello", 6, 1, nullptr},       {"hello", -1, 2, nullptr},
        {"hello", 0, -1, nullptr}, {"hello", INT_MAX, 1, nullptr}, {nullptr, 0, 1, nullptr},
    };
    for (const auto& m : mids) {
        VCLLastErrorCode = 0;
        Buf<char> r(VCL_StrMid(m.s, m.start, m.len));
        if (m.out) {
            ASSERT_TRUE(r) << m.start << "," << m.len;
            EXPECT_EQ(r.str(), m.out);
        } else {
            EXPECT_FALSE(r) << m.start << "," << m.len;
            EXPECT_EQ(VCL_GetLastError(), VCL_ERR_INVALID_PARAM);
        }
    }
}

TEST(CoreStrings, Tokens) {
    const char* s = "  alpha  beta";
    char token[32];
    int n = 0;
    int pos = VCL_str_token(0, s, static_cast<int>(std::strlen(s)), ' ', token, &n);
    EXPECT_STREQ(token, "alpha");
    EXPECT_EQ(n, 5);
    EXPECT_EQ(pos, 7);
    pos = VCL_str_token(pos, s, static_cast<int>(std::strlen(s)), ' ', token, &n);
    EXPECT_STREQ(token, "beta");
    pos = VCL_str_token(pos, s, static_cast<int>(std::strlen(s)), ' ', token, &n);
    EXPECT_STREQ(token, "");
    EXPECT_EQ(n, 0);
    VCL_str_token(0, s, 4, ' ', token, &n);  // stops at position len
    EXPECT_STREQ(token, "al");

    char text[] = "a,b,,c";
    char restBuf[sizeof text];
    char* rest = restBuf;
    EXPECT_STREQ(VCL_strtok(text, ",", &rest), "a");
    EXPECT_STREQ(rest, "b,,c");
    EXPECT_STREQ(VCL_strtok(nullptr, ",", &rest), "b");
    EXPECT_STREQ(rest, ",c");
    EXPECT_STREQ(VCL_strtok(nullptr, ",", &rest), "c");
    EXPECT_STREQ(rest, "");
    EXPECT_EQ(VCL_strtok(nullptr, ",", &rest), nullptr);

    struct Replace {
        const char *s, *set, *with, *out;
    } replaces[] = {
        {"a  b c", " ", "-", "a-b-c-"},
        {"  ", " ", "-", ""},
        {"one", ",", "<<>>", "one<<>>"},
        {"a,b;c", ",;", "+++", "a+++b+++c+++"},  // the result outgrows the text
    };
    for (const auto& r : replaces) EXPECT_EQ(Buf<char>(VCL_replace(r.s, r.set, r.with)).str(), r.out);
    EXPECT_EQ(VCL_replace(nullptr, " ", "-"), nullptr);

    const char* hay = "Hello World";
    EXPECT_EQ(VCL_stristr(hay, "WORLD"), hay + 6);
    EXPECT_EQ(VCL_stristr(hay, "o w"), hay + 4);
    EXPECT_EQ(VCL_stristr(hay, ""), hay);
    EXPECT_EQ(VCL_stristr("", ""), nullptr);
    EXPECT_EQ(VCL_stristr(hay, "worlds"), nullptr);
}

TEST(CoreStrings, HexTexts) {
    struct Cmp {
        const char *a, *b;
        int sign;
    } cmps[] = {
        {"0a", "0A", 0},   {"100", "FF", 1},   {"FF", "100", -1},    {"00:1a", "0x1A", 0},
        {"0x0x1", "1", 0}, {"ab", "AC", -1},   {"a b:c", "0ABC", 0}, {"0", "", 0},
        {"10x5", "15", 0}, {nullptr, "1", -1}, {"1", nullptr, -1},
    };
    for (const auto& c : cmps) {
        const int r = VCL_cmp_HEX_STR(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << (c.a ? c.a : "NULL") << " vs " << (c.b ? c.b : "NULL");
    }
    struct Hex {
        const char* s;
        int value;
    } hexes[] = {{"0x1F", 31},          {"1f", 31},       {"0X10", 16}, {"1G", -1}, {"", 0},
                 {"7FFFFFFF", INT_MAX}, {"80000000", -1}, {"0x", 0},    {" 1", -1}, {nullptr, -1}};
    for (const auto& h : hexes) EXPECT_EQ(VCL_hexa2i(h.s), h.value) << (h.s ? h.s : "NULL");
}

TEST(CoreStrings, ParseByName) {
    struct Case {
        const char *text, *delim, *name, *value;  // value nullptr: not found
    } cases[] = {
        {"a=1&b= 2 ", "&", "b", "2"},
        {"b=1&b=2", "&", "b", "2"},  // the last item wins
        {"a=1&b=2", "&", "c", nullptr},
        {"flag&b=3", "&", "b", "3"},  // an item without "=" is skipped
        {"flag&b=3", "&", "flag", nullptr},
        {" b =x=y;c=1", ";&", "b", "x=y"},
        {"a=1;b=2&c=3", ";&", "c", "3"},
        {"averyveryverylongkeyname=long&x=1", "&", "averyveryverylongkeyname", "long"},  // past 19 characters
        {"a=", "&", "a", ""},
        {"", "&", "a", nullptr},
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        char* value = reinterpret_cast<char*>(0x1);  // a caller's stale pointer is never freed
        const int rc = VCL_Parse_String_By_Name(text.data(), c.delim, c.name, &value);
        if (c.value) {
            ASSERT_EQ(rc, 0) << c.text;
            EXPECT_STREQ(value, c.value) << c.text;
            VCL_Free(value, static_cast<int>(std::strlen(value)));
        } else {
            EXPECT_EQ(static_cast<unsigned>(rc), 0xc9040007u) << c.text;
            EXPECT_EQ(value, nullptr);
        }
        EXPECT_EQ(text, c.text);  // the text is left as it was
    }
    char* value = nullptr;
    std::string text = "a=1";
    EXPECT_EQ(static_cast<unsigned>(VCL_Parse_String_By_Name(nullptr, "&", "a", &value)), 0xc9040002u);
    EXPECT_EQ(static_cast<unsigned>(VCL_Parse_String_By_Name(text.data(), "&", nullptr, &value)), 0xc9040002u);
    EXPECT_EQ(static_cast<unsigned>(VCL_Parse_String_By_Name(text.data(), "&", "a", nullptr)), 0xc9040002u);
}

}  // namespace
