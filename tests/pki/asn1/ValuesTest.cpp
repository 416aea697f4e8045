// String constructors, calendar time and the time texts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "PkiTestUtil.h"
#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/stack.h>

using namespace pkitest;

namespace {

String str(int type, const char* t) {
    String s(new_ASN1_STRING());
    set_ASN1_STRING_value(s.get(), type, (const unsigned char*)t, (int)strlen(t));
    return s;
}

std::string fields(const ASN1_TIME* t) {
    char buf[64];
    snprintf(buf, sizeof buf, "%04d-%02d-%02d,%02d:%02d:%02d", t->tm_year + 1900, t->tm_mon + 1, t->tm_mday, t->tm_hour,
             t->tm_min, t->tm_sec);
    return buf;
}

struct TimeFree {
    void operator()(ASN1_TIME* t) const { free_ASN1_TIME(t); }
};
using Time = std::unique_ptr<ASN1_TIME, TimeFree>;

TEST(Strings, Constructors) {
    String bits(new_BIT_STRING("101", 3));
    ASSERT_TRUE(bits);
    EXPECT_EQ(toHex(bits->data, 1), "a0");
    EXPECT_EQ(bits->extra, 5);
    String hex(hexToBIT_STRING("ABC", 3));
    ASSERT_TRUE(hex);
    EXPECT_EQ(toHex(hex->data, 2), "abc0");
    EXPECT_EQ(hex->extra, 4);
    EXPECT_EQ(addPadToBERBitString(bits.get(), "10101"), 0);
    EXPECT_EQ(toHex(bits->data, 1), "b5");
    EXPECT_EQ(addPadToBERBitString(bits.get(), "1"), static_cast<PKI_ERROR>(0x42120101));
    EXPECT_EQ(addPadToBERBitString(bits.get(), "1010x"), static_cast<PKI_ERROR>(0x42120101));

    struct Rejected {
        const char* what;
        ASN1_STRING* made;
    } rejected[] = {
        {"bits with a 2", new_BIT_STRING("1021", 4)},
        {"hex with a g", hexToBIT_STRING("0g", 2)},
        {"OID with a leading dot", new_OBJECT_IDENTIFIER(".2.5", 4)},
        {"OID with a trailing dot", new_OBJECT_IDENTIFIER("2.5.", 4)},
        {"OID with two dots", new_OBJECT_IDENTIFIER("2..5", 4)},
        {"OID with a letter", new_OBJECT_IDENTIFIER("2.x", 3)},
        {"empty OID", new_OBJECT_IDENTIFIER("", 0)},
        {"printable with *", new_PRINTABLE_STRING("a*b", 3)},
        {"printable with _", new_PRINTABLE_STRING("a_b", 3)},
        {"IA5 with 0x80", new_IA5_STRING((const unsigned char*)"a\x80", 2)},
    };
    for (const auto& r : rejected) {
        EXPECT_EQ(r.made, nullptr) << r.what;
        free_ASN1_STRING(r.made);
    }
    String oid(new_OBJECT_IDENTIFIER("2.5.4.3", 7));
    ASSERT_TRUE(oid);
    EXPECT_EQ(oid->type, 6);
    String printable(new_PRINTABLE_STRING("Ab 09'()+,-./:=?", 16));
    EXPECT_TRUE(printable);

    // Copies and comparison: length, then bytes, then type.
    String a(new_OCTET_STRING((const unsigned char*)"ab", 2));
    String copy(dup_ASN1_STRING(a.get()));
    ASSERT_TRUE(copy);
    EXPECT_EQ(cmp_ASN1_STRING(a.get(), copy.get()), 0);
    copy->type = 12;
    EXPECT_LT(cmp_ASN1_STRING(a.get(), copy.get()), 0);
    String longer(new_OCTET_STRING((const unsigned char*)"a", 1));
    EXPECT_GT(cmp_ASN1_STRING(a.get(), longer.get()), 0);

    // Pre-encoded SEQUENCE contents as a node.
    String contents(new_ASN1_STRING());
    set_ASN1_STRING_value(contents.get(), 48, (const unsigned char*)"\x02\x01\x05", 3);
    ASN1_UNIT* node = nullptr;
    ASSERT_EQ(ASN1_STRING_to_Seq(contents.get(), &node), 0);
    EXPECT_EQ(toHex(bytesOf(node)), "3003020105");
    free_ASN1_UNIT(node);
    node = nullptr;
    String empty(new_ASN1_STRING());
    empty->type = 16;
    EXPECT_EQ(ASN1_STRING_to_Seq(empty.get(), &node), static_cast<PKI_ERROR>(0x4102002b));
    empty->type = 48;
    ASSERT_EQ(ASN1_STRING_to_Seq(empty.get(), &node), 0);
    EXPECT_EQ(toHex(bytesOf(node)), "3000");
    free_ASN1_UNIT(node);
}

// A value set from bytes of its own record (a trimmed copy, a time copied
// onto itself) reads them before the old buffer goes.
TEST(Strings, ValueFromItsOwnBytes) {
    String s(new_OCTET_STRING(reinterpret_cast<const unsigned char*>("\x00\x01\x02\x03"), 4));
    ASSERT_TRUE(s);
    ASSERT_EQ(set_ASN1_STRING_value(s.get(), ASN1_TAG_OCTET_STRING, s->data + 1, 3), 0);
    EXPECT_EQ(toHex(s->data, s->length), "010203");
    EXPECT_EQ(s->data[3], 0);

    String t(new_UTC_TIME("2026-01-01,00:00:00", 2));
    ASSERT_TRUE(t);
    const std::string text(reinterpret_cast<char*>(t->data), static_cast<size_t>(t->length));
    ASSERT_EQ(copy_UTC_TIME(t.get(), t.get()), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(t->data), static_cast<size_t>(t->length)), text);
    EXPECT_EQ(t->extra, 1);
}

TEST(CalendarTime, TextAndChecks) {
    Time feb30(charToASN1_TIME("2024-02-30,10:20:30"));
    ASSERT_TRUE(feb30);  // the day is only checked against 1-31
    EXPECT_EQ(fields(feb30.get()), "2024-02-30,10:20:30");
    for (const char* bad : {"2024-13-01,00:00:00", "2024-01-01,24:00:00", "2024-01-01 00:00:00", "2024-1-01,00:00:00",
                            "2024-01-01,00:00:60", ""}) {
        Time t(charToASN1_TIME(bad));
        EXPECT_FALSE(t) << bad;
    }
    Time copy(dup_ASN1_TIME(feb30.get()));
    ASSERT_TRUE(copy);
    EXPECT_EQ(cmp_ASN1_TIME(copy.get(), feb30.get()), 0);
    copy->tm_sec += 1;
    EXPECT_EQ(cmp_ASN1_TIME(copy.get(), feb30.get()), 1);
    EXPECT_EQ(cmp_ASN1_TIME(nullptr, feb30.get()), ASN1_TIME_CMP_ERROR);
    copy->tm_mon = 12;
    EXPECT_EQ(check_ASN1_TIME(copy.get()), static_cast<PKI_ERROR>(0x4103002b));
}

TEST(TimeTexts, ReadIntoLocalTime) {
    ZoneScope zone("Asia/Seoul");
    struct Case {
        int type;
        const char* text;
        const char* local;  // nullptr: must not read
    } cases[] = {
        {23, "491231150000Z", "2050-01-01,00:00:00"},  // 49 means 2049
        {23, "500101000000Z", "1950-01-01,09:00:00"},  // 50 means 1950
        {23, "2401011200Z", "2024-01-01,21:00:00"},
        {23, "240101120000+0900", "2024-01-01,12:00:00"},  // the offset applies
        {23, "240101120000-0130", "2024-01-01,22:30:00"},
        {23, "2401011200+0000", "2024-01-01,21:00:00"},
        {24, "20240101120000Z", "2024-01-01,21:00:00"},
        {24, "20240101120000.5Z", "2024-01-01,21:00:00"},  // a fraction, by content
        {24, "20240101120000.123+0100", "2024-01-01,20:00:00"},
        {24, "99991231150000Z", "10000-01-01,00:00:00"},
        {24, "202401011200Z", "2024-01-01,21:00:00"},
        {23, "240101120000", nullptr},       // no zone
        {23, "241301120000Z", nullptr},      // month 13
        {23, "240101126000Z", nullptr},      // minute 60
        {23, "240101120000+2400", nullptr},  // offset hour 24
        {23, "240101120000Z ", nullptr},
        {23, "24010112000Z", nullptr},
        {24, "20240101120000.Z", nullptr},
        {24, "2024010112Z", nullptr},
        {23, "", nullptr},
    };
    for (const auto& c : cases) {
        String s = str(c.type, c.text);
        Time t(c.type == 23 ? utcTimeToASN1_TIME(s.get()) : generalizedTimeToASN1_TIME(s.get()));
        if (!c.local) {
            EXPECT_FALSE(t) << c.text;
            continue;
        }
        ASSERT_TRUE(t) << c.text;
        EXPECT_EQ(fields(t.get()), c.local) << c.text;
    }
}

TEST(TimeTexts, WriteAndCompare) {
    ZoneScope zone("Asia/Seoul");
    Time t(charToASN1_TIME("2024-03-01,09:30:15"));
    ASSERT_TRUE(t);
    struct Form {
        int form;
        bool generalized;
        const char* text;
    } forms[] = {{0, false, "2403010030Z"},       {1, false, "2403010930+0900"},    {2, false, "240301003015Z"},
                 {3, false, "240301093015+0900"}, {16, true, "202403010030Z"},      {17, true, "202403010930+0900"},
                 {18, true, "20240301003015Z"},   {19, true, "20240301093015+0900"}};
    for (const auto& f : forms) {
        Time copy(dup_ASN1_TIME(t.get()));
        String s(f.generalized ? asn1TimeToGENERALIZED_TIME(copy.get(), f.form)
                               : asn1TimeToUTC_TIME(copy.get(), f.form));
        ASSERT_TRUE(s) << f.form;
        EXPECT_EQ(std::string((char*)s->data, s->length), f.text);
        EXPECT_EQ(s->extra, f.text[strlen(f.text) - 1] == 'Z' ? 1 : 0);
    }
    // The Z forms leave the UTC values in the caller's record; reading the
    // text back gives the starting local time.
    Time copy(dup_ASN1_TIME(t.get()));
    String z(asn1TimeToUTC_TIME(copy.get(), 2));
    EXPECT_EQ(fields(copy.get()), "2024-03-01,00:30:15");
    Time back(utcTimeToASN1_TIME(z.get()));
    EXPECT_EQ(fields(back.get()), "2024-03-01,09:30:15");
    EXPECT_FALSE(asn1TimeToUTC_TIME(copy.get(), 16));
    EXPECT_FALSE(asn1TimeToGENERALIZED_TIME(copy.get(), 2));

    // UTCTime holds 1950-2049 only.
    Time y2050(charToASN1_TIME("2050-06-01,00:00:00"));
    EXPECT_FALSE(String(asn1TimeToUTC_TIME(y2050.get(), 3)));
    String g(new_GENERALIZED_TIME("2050-06-01,00:00:00", 18));
    ASSERT_TRUE(g);
    EXPECT_STREQ((char*)g->data, "20500531150000Z");
    Time y1949(charToASN1_TIME("1949-12-31,23:00:00"));
    EXPECT_FALSE(String(asn1TimeToUTC_TIME(y1949.get(), 3)));

    // Comparisons are by instant; an unreadable value is an error, not "earlier".
    String early = str(23, "240101000000Z"), sameInstant = str(23, "240101090000+0900"),
           late = str(23, "240102000000Z");
    String broken = str(23, "24010100000Z");
    EXPECT_EQ(cmp_UTC_TIME(early.get(), sameInstant.get()), 0);
    EXPECT_EQ(cmp_UTC_TIME(early.get(), late.get()), -1);
    EXPECT_EQ(cmp_UTC_TIME(late.get(), early.get()), 1);
    EXPECT_EQ(cmp_UTC_TIME(broken.get(), late.get()), ASN1_TIME_CMP_ERROR);
    EXPECT_EQ(cmp_UTC_TIME(late.get(), broken.get()), ASN1_TIME_CMP_ERROR);
    String ga = str(24, "20240101000000.5Z"), gb = str(24, "20240101000000Z");
    EXPECT_EQ(cmp_GENERALIZED_TIME(ga.get(), gb.get()), 0);  // fractions are dropped
    EXPECT_EQ(cmp_GENERALIZED_TIME(ga.get(), nullptr), ASN1_TIME_CMP_ERROR);
}

// A record whose fields left their ranges (a caller adding days to tm_mday)
// is written as the time they add up to, in every form; fields far outside
// give no text rather than one that overruns.
TEST(TimeTexts, WriteFieldsOutOfRange) {
    ZoneScope zone("Asia/Seoul");
    const int forms[] = {1, 3, 17, 19, 2, 18};
    const char* expected[] = {"2402010930+0900",     "240201093015+0900", "202402010930+0900",
                              "20240201093015+0900", "240201003015Z",     "20240201003015Z"};
    for (size_t i = 0; i < std::size(forms); ++i) {
        Time t(charToASN1_TIME("2024-01-01,09:30:15"));
        ASSERT_TRUE(t);
        t->tm_mday += 31;
        String s(forms[i] < 16 ? asn1TimeToUTC_TIME(t.get(), forms[i]) : asn1TimeToGENERALIZED_TIME(t.get(), forms[i]));
        ASSERT_TRUE(s) << forms[i];
        EXPECT_EQ(std::string((char*)s->data, s->length), expected[i]);
    }
    for (int form : {1, 3, 17, 19}) {
        Time t(charToASN1_TIME("2024-01-01,09:30:15"));
        t->tm_mday = 1000000000;
        t->tm_hour = -2000000000;
        EXPECT_FALSE(String(form < 16 ? asn1TimeToUTC_TIME(t.get(), form) : asn1TimeToGENERALIZED_TIME(t.get(), form)));
    }
}

TEST(TimeTexts, ArithmeticKeepsTheForm) {
    ZoneScope zone("America/New_York");
    struct Case {
        int type;
        const char* before;
        int seconds;
        const char* after;
    } cases[] = {
        {23, "240301120000Z", 86400, "240302120000Z"},           {23, "2403011200Z", -60, "2403011159Z"},
        {23, "240310120000-0500", 86400, "240311130000-0400"},  // across the change to daylight time
        {24, "20240301120000Z", 86400 * 365, "20250301120000Z"}, {24, "20491231235959Z", 1, "20500101000000Z"},
    };
    for (const auto& c : cases) {
        ASN1_STRING* s = str(c.type, c.before).release();
        ASSERT_EQ(c.type == 23 ? add_UTC_TIME(&s, c.seconds) : add_GENERALIZED_TIME(&s, c.seconds), 0) << c.before;
        EXPECT_EQ(std::string((char*)s->data, s->length), c.after) << c.before;
        free_ASN1_STRING(s);
    }
    ASN1_STRING* last = str(23, "491231235959Z").release();
    EXPECT_EQ(add_UTC_TIME(&last, 1), static_cast<PKI_ERROR>(0x45020030));  // 2050 does not fit
    EXPECT_STREQ((char*)last->data, "491231235959Z");
    ASN1_STRING* unreadable = str(23, "garbage").release();
    EXPECT_EQ(add_UTC_TIME(&unreadable, 1), static_cast<PKI_ERROR>(0x4502003c));
    ASN1_STRING* unreadableG = str(24, "garbage").release();
    EXPECT_EQ(add_GENERALIZED_TIME(&unreadableG, 1), static_cast<PKI_ERROR>(0x4502003a));
    EXPECT_EQ(add_UTC_TIME(nullptr, 1), static_cast<PKI_ERROR>(0x45020049));
    free_ASN1_STRING(last);
    free_ASN1_STRING(unreadable);
    free_ASN1_STRING(unreadableG);

    String dst(new_ASN1_STRING());
    String src = str(23, "240101000000Z");
    src->extra = 1;
    ASSERT_EQ(copy_UTC_TIME(src.get(), dst.get()), 0);
    EXPECT_EQ(cmp_ASN1_STRING(src.get(), dst.get()), 0);
    EXPECT_EQ(dst->extra, 1);
    EXPECT_EQ(copy_UTC_TIME(nullptr, dst.get()), static_cast<PKI_ERROR>(0x4400002b));
    EXPECT_EQ(copy_GENERALIZED_TIME(src.get(), nullptr), static_cast<PKI_ERROR>(0x5000002b));
}

TEST(TimeTexts, DerRewritesOffsetsToUtc) {
    ZoneScope zone("Asia/Seoul");
    String t = str(23, "240101090000+0900");
    int len = t->length;
    ASSERT_EQ(checkDER(23, t.get(), &len), 0);
    EXPECT_EQ(len, 13);
    EXPECT_STREQ((char*)t->data, "240101000000Z");
    String t2 = str(23, "240101120000-0300");
    Node n(new_ASN1_UNIT());
    ASSERT_EQ(addToDERSequence(n.get(), 23, t2.get(), t2->length), 0);
    EXPECT_EQ(toHex(bytesOf(n.get())), "300f170d" + toHex((const unsigned char*)"240101150000Z", 13));
    String bad = str(23, "2401011200+0900");  // no seconds
    len = bad->length;
    EXPECT_EQ(checkDER(23, bad.get(), &len), static_cast<PKI_ERROR>(0x43010101));
}

TEST(Stack, CasesOfThePointerStack) {
    int items[8];
    STACK* s = new_STACK();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->capacity, 4);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(push_STACK_value(s, &items[i]), i + 1);
    struct Insert {
        int index;
        int expectFirst;  // which item ends at slot 0
        int expectLast;
    } inserts[] = {{0, 3, 2}, {7, 3, 4}, {-1, 3, 5}};
    for (int k = 0; k < 3; ++k) {
        insert_STACK_value(s, &items[3 + k], inserts[k].index);
        EXPECT_EQ(get_STACK_value(s, 0), &items[inserts[k].expectFirst]);
        EXPECT_EQ(get_STACK_value(s, s->count - 1), &items[inserts[k].expectLast]);
    }
    EXPECT_EQ(get_STACK_count(s), 6);
    EXPECT_GE(s->capacity, 6);
    EXPECT_EQ(get_STACK_value(s, 6), nullptr);
    EXPECT_EQ(get_STACK_value(s, -1), nullptr);
    EXPECT_EQ(remove_STACK_value(s, 0), &items[3]);
    EXPECT_EQ(remove_STACK_value(s, 9), nullptr);
    EXPECT_EQ(set_STACK_value(s, &items[7], 0), &items[7]);
    EXPECT_EQ(sk_set(s, 1, &items[6]), &items[6]);
    EXPECT_EQ(set_STACK_value(s, &items[7], 5), nullptr);
    EXPECT_EQ(find_STACK_value(s, &items[6]), 1);  // no compare: by pointer
    EXPECT_EQ(find_STACK_value(s, &items[0]), -1);
    EXPECT_EQ(pop_STACK_value(s), &items[5]);
    STACK* copy = dup_STACK(s);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->count, s->count);
    EXPECT_EQ(get_STACK_value(copy, 0), get_STACK_value(s, 0));
    free_STACK(copy);
    free_STACK(s);
    EXPECT_EQ(get_STACK_count(nullptr), -1);
    EXPECT_EQ(is_STACK_sorted(nullptr), 1);
    STACK* empty = new_STACK();
    EXPECT_EQ(pop_STACK_value(empty), nullptr);
    EXPECT_EQ(insert_STACK_value(nullptr, items, 0), 0);
    // Growth is geometric: 100000 pushes stay linear.
    for (int i = 0; i < 100000; ++i) push_STACK_value(empty, items);
    EXPECT_EQ(empty->count, 100000);
    EXPECT_LT(empty->capacity, 2 * 100000);
    free_STACK(empty);
}

int byValue(const void* a, const void* b) {
    const int x = **static_cast<int*const*>(a), y = **static_cast<int*const*>(b);
    return x < y ? -1 : x > y;
}

TEST(Stack, SortedFind) {
    int values[] = {9, 5, 5, 5, 1, 7};
    STACK* s = new_STACK_compare_func(byValue);
    for (int& v : values) push_STACK_value(s, &v);
    EXPECT_EQ(is_STACK_sorted(s), 0);
    int five = 5, six = 6, nine = 9;
    // Sorted, the items are 1, 5, 5, 5, 7, 9: the first equal slot is 1.
    EXPECT_EQ(find_STACK_value(s, &five), 1);
    EXPECT_EQ(is_STACK_sorted(s), 1);
    EXPECT_EQ(find_STACK_value(s, &nine), 5);
    EXPECT_EQ(find_STACK_value(s, &six), -1);
    EXPECT_GE(find_STACK_value_ex(s, &six), 3);  // nearest: the last slot probed
    EXPECT_EQ(find_STACK_value(s, nullptr), -1);
    int first = 1;
    insert_STACK_value(s, &first, 0);
    EXPECT_EQ(is_STACK_sorted(s), 0);
    free_STACK(s);

    // free_STACK_values frees the items once; a shallow copy shares them.
    STACK* owned = new_STACK();
    for (int i = 0; i < 3; ++i) push_STACK_value(owned, new_OCTET_STRING((const unsigned char*)"x", 1));
    STACK* shallow = dup_STACK(owned);
    free_STACK_values(owned, reinterpret_cast<STACK_free_func>(free_ASN1_STRING));
    free_STACK(shallow);
}

}  // namespace
