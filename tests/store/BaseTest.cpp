// The library's codes and texts, log, release function, parser and
// clean-up.
#include <dirent.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "StoreHelpers.h"
#include "base/store_internal.hpp"

using storetest::iconvText;

namespace {

// Every code of the Part's table with its text (UTF-8), and "other".
std::vector<std::pair<std::string, std::string>> expectedTexts() {
    std::vector<std::pair<std::string, std::string>> rows;
    std::istringstream in(zqtest::readFile(zqtest::sourceDir() + "/tests/store/error_texts.tsv"));
    std::string line;
    while (std::getline(in, line)) {
        const auto tab = line.find('\t');
        rows.emplace_back(line.substr(0, tab), line.substr(tab + 1));
    }
    return rows;
}

}  // namespace

TEST(StoreErrors, EveryTextIsThePartsInEucKr) {
    const auto rows = expectedTexts();
    ASSERT_EQ(rows.size(), 122u);
    std::string unknown;
    for (const auto& [code, text] : rows) {
        if (code == "other") {
            unknown = text;
            continue;
        }
        const char* got = VPL_GetErrorString(std::stoi(code));
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(iconvText(got, "EUC-KR", "UTF-8").value_or("(not EUC-KR)"), text) << code;
    }
    // Codes without a text of their own, and values never listed.
    for (int code : {1052002, 1052003, 1052004, 1051043, 1051044, 1051047, 1052079, 42, -2, 1050999})
        EXPECT_EQ(iconvText(VPL_GetErrorString(code), "EUC-KR", "UTF-8").value_or(""), unknown) << code;
    // The one text with a trailing blank keeps it.
    EXPECT_EQ(iconvText(VPL_GetErrorString(1052011), "EUC-KR", "UTF-8").value_or(""), "입력 파라미터 오류 ");
    EXPECT_EQ(VPL_GetLastError(), 0);
}

namespace {

std::vector<std::pair<const void*, size_t>> gReleased;
bool gAllZero = true;
void recordRelease(const void* p, size_t n) {
    for (size_t i = 0; i < n; ++i) gAllZero = gAllZero && static_cast<const unsigned char*>(p)[i] == 0;
    gReleased.emplace_back(p, n);
}

}  // namespace

TEST(StoreBase, FreeZeroesWhatItReleases) {
    gReleased.clear();
    gAllZero = true;
    zstore::g_releaseHook = recordRelease;
    char* secret = zstore::newBuffer("password");
    VPL_Free(secret, 8);
    VPL_Free(nullptr, 10);
    zstore::g_releaseHook = nullptr;
    ASSERT_EQ(gReleased.size(), 1u);
    EXPECT_EQ(gReleased[0].first, secret);
    EXPECT_EQ(gReleased[0].second, 8u);
    EXPECT_TRUE(gAllZero);
}

TEST(StoreBase, LogCutsLongMessagesAt2047) {
    zqtest::TempDir dir("storelog");
    ASSERT_EQ(VPL_LogInit(dir.path().c_str(), "VPL", 8), 0);
    const std::string text(3000, 'x');
    VPL_Log(3, "ZEPHALTPavix", 1, "%s", text.c_str());
    VPL_Log(3, "ZEPHALTPavix", 2, "short %d", 42);
    VPL_LogClose();
    VCL_Log_Init(nullptr, nullptr, 0, 0);
    std::string log;
    DIR* d = opendir(dir.path().c_str());
    ASSERT_NE(d, nullptr);
    while (const dirent* e = readdir(d))
        if (e->d_name[0] != '.') log += zqtest::readFile(dir / e->d_name);
    closedir(d);
    EXPECT_NE(log.find(std::string(2047, 'x')), std::string::npos);
    EXPECT_EQ(log.find(std::string(2048, 'x')), std::string::npos);
    EXPECT_NE(log.find("short 42"), std::string::npos);
}

namespace {

struct ParseCase {
    const char* text;
    std::vector<const char*> names;  // in the items' order
    int keep;
    std::vector<const char*> values;  // nullptr: absent
};

}  // namespace

TEST(StoreBase, ParseWithNames) {
    const ParseCase cases[] = {
        {"a=1&b=2&", {"b", "a"}, 1, {"2", "1"}},
        {"a=1&b=2", {"a", "b"}, 1, {"1", "2"}},
        {"a=1&b=2", {"a", "c"}, 1, {"1&b=2", nullptr}},
        {"a=1&b=2", {"a", "c"}, 0, {"1", nullptr}},
        {"a=&b=", {"a", "b"}, 1, {"", ""}},
        // Values run to the next asked-for name; keep 0 cuts them at "&".
        {"a=1&x=9&b=2", {"a", "b"}, 1, {"1&x=9", "2"}},
        {"a=1&x=9&b=2", {"a", "b"}, 0, {"1", "2"}},
        // A name inside another value is found there, first occurrence.
        {"a=x&b=1&b=2", {"b"}, 1, {"1&b=2"}},
        {"q=a&b=3&b=4", {"b"}, 0, {"3"}},
        // The same name twice: one empty value, never a negative length.
        {"a=1&b=2", {"b", "b"}, 1, {"", "2"}},
        {"b=2", {"b", "b", "b"}, 1, {"", "", "2"}},
        {"", {"a"}, 1, {nullptr}},
    };
    for (const auto& c : cases) {
        std::vector<NamedValue> items(c.names.size());
        for (size_t i = 0; i < items.size(); ++i) {
            items[i].order = static_cast<int>(i);
            items[i].name = const_cast<char*>(c.names[i]);
        }
        ASSERT_EQ(VPL_Parse_WithNames(c.text, items.data(), static_cast<int>(items.size()), '=', '&', c.keep), 0)
            << c.text;
        for (size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(items[i].order, static_cast<int>(i));
            if (c.values[i])
                EXPECT_STREQ(items[i].value, c.values[i]) << c.text << " " << c.names[i];
            else
                EXPECT_EQ(items[i].value, nullptr) << c.text << " " << c.names[i];
            std::free(items[i].value);
        }
    }
    NamedValue item{0, nullptr, nullptr, nullptr};
    EXPECT_EQ(VPL_Parse_WithNames(nullptr, &item, 1, '=', '&', 1), -1);
    EXPECT_EQ(VPL_Parse_WithNames("a=1", nullptr, 1, '=', '&', 1), -1);

    // VPL_Parse_st_Free takes names, values and the array.
    auto* owned = static_cast<NamedValue*>(std::calloc(2, sizeof(NamedValue)));
    owned[0] = {1, strdup("y"), nullptr, nullptr};
    owned[1] = {0, strdup("x"), nullptr, nullptr};
    ASSERT_EQ(VPL_Parse_WithNames("x=10&y=20", owned, 2, '=', '&', 0), 0);
    EXPECT_STREQ(owned[0].name, "x");  // sorted back by order
    EXPECT_STREQ(owned[0].value, "10");
    EXPECT_STREQ(owned[1].value, "20");
    VPL_Parse_st_Free(owned, 2);
    VPL_Parse_st_Free(nullptr, 3);
}

TEST(StoreBase, CleanupTwiceIsHarmless) {
    ASSERT_EQ(VPL_Init_Exchg_Cert(), 0);
    ASSERT_EQ(VPL_Init_PKCS10_Cert(), 0);
    CTX* ctx = VPL_Init_CTX();
    ASSERT_NE(ctx, nullptr);
    ASSERT_EQ(VPL_Insert_CTX(&g_CTX_Head, ctx), 0);
    g_nCertCnt = 3;
    VPL_Init();
    VPL_Cleanup();
    EXPECT_EQ(g_CTX_Head, nullptr);
    EXPECT_EQ(g_nCertCnt, 0);
    EXPECT_EQ(g_nSkIdInfoCnt, 0);
    VPL_Cleanup();
    EXPECT_EQ(g_CTX_Head, nullptr);
}
