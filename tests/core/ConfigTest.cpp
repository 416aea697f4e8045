// The configuration-file reader: the line rules, quoting, verbatim values,
// environment references and the section queries. HOME is a test directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <zunCore/config.h>

#include "CoreHelpers.h"

namespace {

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* h = std::getenv("HOME")) m_home = h;
        setenv("HOME", m_dir.path().c_str(), 1);
        setenv("CORE_TEST_VAR", "value", 1);
        unsetenv("CORE_TEST_UNSET");
    }
    void TearDown() override {
        setenv("HOME", m_home.c_str(), 1);
        unsetenv("CORE_TEST_VAR");
        VCL_Free_Config(m_items);
    }
    const VCL_CONFIG_ITEM* load(const std::string& text) {
        VCL_Free_Config(m_items);
        const std::string path = m_dir / "test.conf";
        zqtest::writeFile(path, text);
        m_items = VCL_Load_File(path.c_str());
        return m_items;
    }
    const char* get(const char* section, const char* key) { return VCL_Get_String(m_items, section, key); }

    zqtest::TempDir m_dir{"core-config"};
    std::string m_home;
    VCL_CONFIG_ITEM* m_items = nullptr;
};

TEST_F(ConfigTest, ValueRules) {
    const std::string home = m_dir.path();
    ASSERT_TRUE(
        load("# a comment\n"
             "quoted = \"a # b\" trailing\n"
             "plain = a # b   \n"
             "tail = text\"  \t\n"
             "home = $HOME/x\n"
             "two = $CORE_TEST_VAR $CORE_TEST_VAR/$CORE_TEST_VAR\n"
             "unset = $CORE_TEST_UNSET/x\n"
             "verbatim = {{ $HOME # \"q\" }}\n"
             "broken = {{ no close\n"
             "last = {{a}}b}}\n"
             "blank =    \n"
             "comment = # only a comment\n"
             "= no key\n"
             "no equals sign\n"
             "  spaced key   =  v  \r\n"
             "dup = first\n"
             "dup = second\n"
             "num = 42abc\n"));
    struct Case {
        const char *key, *value;  // value nullptr: absent
    } cases[] = {
        {"quoted", "a # b"},
        {"plain", "a"},
        {"tail", "text"},
        {"home", nullptr},  // filled in below
        {"two", "value value/value"},
        {"unset", nullptr},
        {"verbatim", " $HOME # \"q\" "},
        {"broken", nullptr},
        {"last", "a}}b"},
        {"blank", nullptr},
        {"comment", nullptr},
        {"", nullptr},
        {"no equals sign", nullptr},
        {"spaced key", "v"},
        {"dup", "first"},
    };
    for (const auto& c : cases) {
        if (std::strcmp(c.key, "home") == 0) continue;
        const char* v = get(nullptr, c.key);
        if (c.value)
            EXPECT_STREQ(v, c.value) << c.key;
        else
            EXPECT_EQ(v, nullptr) << c.key;
    }
    EXPECT_STREQ(get(nullptr, "home"), (home + "/x").c_str());
    EXPECT_EQ(VCL_Get_Num(m_items, nullptr, "num"), 42);
    EXPECT_EQ(VCL_Get_Num(m_items, nullptr, "missing"), 0);

    unsetenv("HOME");
    ASSERT_TRUE(load("home = $HOME/x\nother = 1\n"));
    EXPECT_EQ(get(nullptr, "home"), nullptr);
    EXPECT_STREQ(get(nullptr, "other"), "1");
}

TEST_F(ConfigTest, Sections) {
    ASSERT_TRUE(
        load("top = 0\n"
             "[one]\n"
             "a = 1\n"
             "b = 2\n"
             "[two] # a comment after the bracket\n"
             "c = 3\n"
             "[  ]\n"
             "[two]\n"
             "d = 4\n"
             "[one]\n"
             "e = 5\n"
             "[$CORE_TEST_VAR]\n"
             "f = 6\n"
             "[one]x = 7\n"));  // a key that begins with a bracket
    EXPECT_STREQ(get("one", "a"), "1");
    EXPECT_STREQ(get("one", "c"), "3");  // "[two] # ..." is skipped: c belongs to [one]
    EXPECT_STREQ(get("one", "e"), "5");  // a repeated section counts too
    EXPECT_STREQ(get("two", "d"), "4");
    EXPECT_EQ(get("two", "a"), nullptr);
    EXPECT_STREQ(get("value", "f"), "6");  // section names are expanded like values
    EXPECT_STREQ(get("value", "[one]x"), "7");
    EXPECT_STREQ(get(nullptr, "d"), "4");
    EXPECT_STREQ(get("", "top"), "0");  // 0 or 1 characters: the keys before the first section
    EXPECT_STREQ(get("x", "top"), "0");
    EXPECT_EQ(get("", "a"), nullptr);
    EXPECT_EQ(get(std::string(300, 'n').c_str(), "a"), nullptr);

    EXPECT_EQ(VCL_Get_Section_Count(m_items), 4);
    EXPECT_EQ(VCL_Get_Section_Value_Count(m_items, "one"), 3);  // a, b, c: the first occurrence only
    EXPECT_EQ(VCL_Get_Section_Value_Count(m_items, "two"), 1);
    EXPECT_EQ(VCL_Get_Section_Value_Count(m_items, "x"), 0);

    char name[VCL_CONFIG_KEY_SIZE];
    int next = VCL_Get_Next_Section(m_items, 0, name);
    EXPECT_STREQ(name, "one");
    EXPECT_EQ(next, 2);
    next = VCL_Get_Next_Section(m_items, next, name);
    EXPECT_STREQ(name, "two");
    const int count = m_items[0].count;
    EXPECT_EQ(count, 12);
    EXPECT_EQ(VCL_Get_Next_Section(m_items, count - 1, name), count);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(VCL_Get_Next_Section(m_items, count + 5, name), count + 5);
    EXPECT_EQ(VCL_Get_Next_Section(nullptr, 3, name), 0);

    EXPECT_EQ(VCL_Get_Section_by_IDX(m_items, 3, name), 7);
    EXPECT_STREQ(name, "one");
    EXPECT_EQ(VCL_Get_Section_by_IDX(m_items, 9, name), count);
    EXPECT_STREQ(name, "");

    char key[VCL_CONFIG_KEY_SIZE], value[VCL_CONFIG_VALUE_SIZE];
    EXPECT_EQ(VCL_Get_Section_Value_by_IDX(m_items, "one", 2, 0, key, value), 1);
    EXPECT_STREQ(key, "b");
    EXPECT_STREQ(value, "2");
    EXPECT_EQ(VCL_Get_Section_Value_by_IDX(m_items, "one", 1, 2, key, value), 7);  // searching from item 2
    EXPECT_STREQ(key, "e");
    EXPECT_EQ(VCL_Get_Section_Value_by_IDX(m_items, "one", 5, 0, key, value), 1);
    EXPECT_STREQ(key, "");
    EXPECT_STREQ(value, "");
    EXPECT_EQ(VCL_Get_Section_Value_by_IDX(m_items, "none", 1, 0, key, value), 0);
    EXPECT_EQ(VCL_Get_Section_Value_by_IDX(m_items, "o", 1, 0, key, value), 0);
}

TEST_F(ConfigTest, LimitsSkipLinesRatherThanCutThem) {
    const std::string longName(300, 'N');
    setenv(longName.c_str(), "v", 1);
    setenv("CORE_TEST_BIG", std::string(400, 'b').c_str(), 1);
    const std::string text = "k127" + std::string(123, 'k') + " = ok\n" +  // a key of 127 characters
                             "k128" + std::string(124, 'k') + " = no\n" +  // 128: does not fit
                             "v499 = " + std::string(499, 'v') + "\n" +    // 500 characters after "="
                             "v500 = " + std::string(500, 'v') + "\n" +    // 501: skipped
                             "longvar = $" + longName + "\n" +             // a name past 255 characters
                             "big = $CORE_TEST_BIG$CORE_TEST_BIG\n" +      // expands past a value
                             "bigger = $CORE_TEST_BIG/" + std::string(150, 'x') + "\n" + "[" + std::string(125, 's') +
                             "]\nin = 1\n" +  // the longest section name
                             "[" + std::string(126, 't') + "]\nout = 1\n" + "after = yes\n";
    ASSERT_TRUE(load(text));
    EXPECT_STREQ(get(nullptr, ("k127" + std::string(123, 'k')).c_str()), "ok");
    EXPECT_EQ(get(nullptr, ("k128" + std::string(124, 'k')).c_str()), nullptr);
    EXPECT_EQ(get(nullptr, "longvar"), nullptr);
    EXPECT_EQ(get(nullptr, "big"), nullptr);
    EXPECT_EQ(get(nullptr, "bigger"), nullptr);
    EXPECT_STREQ(get(std::string(125, 's').c_str(), "in"), "1");
    EXPECT_STREQ(get(std::string(125, 's').c_str(), "out"), "1");  // the long section line was skipped
    EXPECT_STREQ(get(nullptr, "after"), "yes");
    const char* v = get(nullptr, "v499");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(std::strlen(v), 499u);
    EXPECT_EQ(get(nullptr, "v500"), nullptr);
    unsetenv(longName.c_str());
    unsetenv("CORE_TEST_BIG");

    char out[VCL_CONFIG_VALUE_SIZE];
    EXPECT_EQ(VCL_convert_env(("$" + longName).c_str(), out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(VCL_convert_env("a $CORE_TEST_VAR/b", out), 9);
    EXPECT_STREQ(out, "a value/b");
    EXPECT_EQ(VCL_trim("  \"q # r\" x", out), 5);
    EXPECT_STREQ(out, "q # r");
    EXPECT_EQ(VCL_trim(std::string(512, 'a').c_str(), out), 0);
}

TEST_F(ConfigTest, FilesAndLines) {
    EXPECT_EQ(VCL_Load_File(nullptr), nullptr);
    EXPECT_EQ(VCL_Load_File((m_dir / "missing").c_str()), nullptr);
    EXPECT_EQ(load(""), nullptr);                        // no counted lines
    EXPECT_EQ(load("# only\n# comments\n\n"), nullptr);  // none either
    const VCL_CONFIG_ITEM* items = load("bad line\n= x\n[ ]\n");
    ASSERT_NE(items, nullptr);  // counted lines, all skipped
    EXPECT_EQ(items[0].count, 0);
    EXPECT_EQ(VCL_Get_Section_Count(items), 0);
    VCL_Free_Config(nullptr);

    const std::string path = m_dir / "lines";
    zqtest::writeFile(path, "a=1\r\n#c\n\n" + std::string(1000, 'x') + "\nlast");
    FILE* f = std::fopen(path.c_str(), "r");
    ASSERT_TRUE(f);
    char line[VCL_CONFIG_LINE_SIZE];
    ASSERT_EQ(VCL_read_line(f, line), 1);
    EXPECT_STREQ(line, "a=1");
    const long pos = std::ftell(f);
    EXPECT_EQ(VCL_count_line(f), 4);  // "a=1", the x's in two pieces (510 and 490), "last"
    EXPECT_EQ(std::ftell(f), pos);
    std::fclose(f);
    EXPECT_EQ(VCL_read_line(nullptr, line), 0);
    EXPECT_EQ(VCL_count_line(nullptr), 0);
    EXPECT_EQ(VCL_get_value_index("key=value"), 3);
    EXPECT_EQ(VCL_get_value_index("#key=value"), 0);
    EXPECT_EQ(VCL_get_value_index("novalue"), 0);
}

}  // namespace
