// 64-bit time against Python's calendar, datetime and zoneinfo, and the
// calendar facts the conversions rest on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "PkiTestUtil.h"
#include "TestSupport.h"
#include <zunPKI/asn1/time64.h>
#include "asn1/time64_internal.hpp"

using pkitest::ZoneScope;

namespace {

struct Fields {
    long long year;
    int mon, mday, hour, min, sec, wday, yday;
};

bool sameFields(const TM& tm, const Fields& f) {
    return tm.tm_year + 1900LL == f.year && tm.tm_mon == f.mon && tm.tm_mday == f.mday && tm.tm_hour == f.hour &&
           tm.tm_min == f.min && tm.tm_sec == f.sec && tm.tm_wday == f.wday && tm.tm_yday == f.yday;
}

std::istream& operator>>(std::istream& in, Fields& f) {
    return in >> f.year >> f.mon >> f.mday >> f.hour >> f.min >> f.sec >> f.wday >> f.yday;
}

TM toTM(const Fields& f) {
    TM tm{};
    tm.tm_year = static_cast<int>(f.year - 1900);
    tm.tm_mon = f.mon;
    tm.tm_mday = f.mday;
    tm.tm_hour = f.hour;
    tm.tm_min = f.min;
    tm.tm_sec = f.sec;
    tm.tm_isdst = -1;
    return tm;
}

class Time64AgainstPython : public ::testing::TestWithParam<const char*> {};

TEST_P(Time64AgainstPython, HundredThousandInstants) {
    ZoneScope zone(GetParam());
    const auto script = zqtest::sourceDir() + "/tests/pki/asn1/time64_oracle.py";
    const auto result = zqtest::run({zqtest::kPython, script, "100000", "20240601"});
    ASSERT_EQ(result.status, 0);

    std::istringstream lines(result.output);
    std::string line;
    int rows = 0, failures = 0;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        Time64_T t, m0, m1;
        Fields utc, local;
        int isdst;
        long gmtoff;
        ASSERT_TRUE(in >> t >> utc >> local >> isdst >> gmtoff >> m0 >> m1) << line;
        ++rows;

        TM gm{}, lt{};
        TM utcIn = toTM(utc), localIn = toTM(local);
        bool ok = gmtime64_r(&t, &gm) && sameFields(gm, utc);
        ok = ok && timegm64(&utcIn) == t;
        ok = ok && localtime64_r(&t, &lt) && sameFields(lt, local) && lt.tm_isdst == isdst && lt.tm_gmtoff == gmtoff;
        // A local time that occurs twice may resolve to either instant.
        const Time64_T back = mktime64(&localIn);
        ok = ok && (back == m0 || back == m1);
        if (!ok && ++failures <= 5)
            ADD_FAILURE() << "t=" << t << " expected: " << line << "\n got UTC " << gm.tm_year + 1900LL << "-"
                          << gm.tm_mon << "-" << gm.tm_mday << " " << gm.tm_hour << ":" << gm.tm_min << ":" << gm.tm_sec
                          << " local " << lt.tm_year + 1900LL << "-" << lt.tm_mon << "-" << lt.tm_mday << " "
                          << lt.tm_hour << ":" << lt.tm_min << ":" << lt.tm_sec << " off " << lt.tm_gmtoff << " mktime "
                          << back;
    }
    EXPECT_EQ(rows, 100000);
    EXPECT_EQ(failures, 0);
}

INSTANTIATE_TEST_SUITE_P(Zones, Time64AgainstPython, ::testing::Values("UTC", "Asia/Seoul", "America/New_York"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (auto& c : name)
                                 if (c == '/') c = '_';
                             return name;
                         });

TEST(Time64, CalendarFacts) {
    TM tm{};
    Time64_T t = 2147483648LL;  // one past the 32-bit range
    ASSERT_NE(gmtime64_r(&t, &tm), nullptr);
    EXPECT_EQ(tm.tm_year, 138);
    EXPECT_EQ(tm.tm_mon, 0);
    EXPECT_EQ(tm.tm_mday, 19);
    EXPECT_EQ(tm.tm_hour * 10000 + tm.tm_min * 100 + tm.tm_sec, 31408);
    EXPECT_EQ(tm.tm_wday, 2);  // Tuesday

    t = -1;
    ASSERT_NE(gmtime64_r(&t, &tm), nullptr);
    EXPECT_EQ(tm.tm_year, 69);
    EXPECT_EQ(tm.tm_mon, 11);
    EXPECT_EQ(tm.tm_mday, 31);
    EXPECT_EQ(tm.tm_hour * 10000 + tm.tm_min * 100 + tm.tm_sec, 235959);

    TM march2100{};
    march2100.tm_year = 200;
    march2100.tm_mon = 2;
    march2100.tm_mday = 1;
    EXPECT_EQ(timegm64(&march2100), 4107542400LL);  // 2100 is not a leap year

    // Years beyond int: refused rather than wrapped.
    t = 0x7fffffffffffffffLL;
    errno = 0;
    EXPECT_EQ(gmtime64_r(&t, &tm), nullptr);
    EXPECT_EQ(errno, EOVERFLOW);
}

TEST(Time64, SafeYearsKeepTheCalendar) {
    EXPECT_EQ(zpki::time64::safeYear(2038), 2010);
    EXPECT_EQ(zpki::time64::safeYear(1970), 1998);
    EXPECT_EQ(zpki::time64::safeYear(2000), 2000);
    // Every year maps to a year of 1971-2037 that starts on the same weekday
    // and has the same length.
    for (long long year = -2000; year <= 12000; ++year) {
        const int safe = zpki::time64::safeYear(year);
        ASSERT_GE(safe, 1971);
        ASSERT_LE(safe, 2037);
        TM a{}, b{};
        a.tm_year = static_cast<int>(year - 1900);
        a.tm_mday = 1;
        b.tm_year = safe - 1900;
        b.tm_mday = 1;
        TM ga{}, gb{};
        Time64_T ta = timegm64(&a), tb = timegm64(&b);
        gmtime64_r(&ta, &ga);
        gmtime64_r(&tb, &gb);
        ASSERT_EQ(ga.tm_wday, gb.tm_wday) << year;
        a.tm_mon = 12;  // 1 January of the next year
        b.tm_mon = 12;
        ASSERT_EQ(timegm64(&a) - ta, timegm64(&b) - tb) << year;
    }
}

// The path for a 32-bit time_t agrees with the platform where the zone's
// rules repeat with the calendar (after the last rule change).
TEST(Time64, SafeYearPathMatchesPlatformInTheFuture) {
    for (const char* zoneName : {"America/New_York", "Asia/Seoul"}) {
        ZoneScope zone(zoneName);
        for (long long year : {2050LL, 2100LL, 2400LL, 9999LL}) {
            for (int month = 0; month < 12; ++month) {
                TM when{};
                when.tm_year = static_cast<int>(year - 1900);
                when.tm_mon = month;
                when.tm_mday = 15;
                when.tm_hour = 12;
                when.tm_isdst = -1;
                TM viaSafe = when;
                const Time64_T direct = mktime64(&when);
                EXPECT_EQ(zpki::time64::mktimeSafe(&viaSafe), direct) << zoneName << " " << year << "-" << month;
                EXPECT_EQ(viaSafe.tm_year, when.tm_year);
                TM a{}, b{};
                ASSERT_NE(localtime64_r(&direct, &a), nullptr);
                ASSERT_NE(zpki::time64::localtimeSafe(&direct, &b), nullptr);
                EXPECT_EQ(std::memcmp(&a, &b, offsetof(TM, tm_zone)), 0) << zoneName << " " << year;
            }
        }
    }
}

TEST(Time64, TextForms) {
    char buf[TIME64_ASCTIME_BUFSIZE];
    TM tm{};
    Time64_T t = 4107542400LL;
    gmtime64_r(&t, &tm);
    ASSERT_NE(asctime64_r(&tm, buf), nullptr);
    EXPECT_STREQ(buf, "Mon Mar  1 00:00:00 2100\n");
    tm.tm_year = 2000000000;  // a ten-digit year still fits
    ASSERT_NE(asctime64_r(&tm, buf), nullptr);
    EXPECT_STREQ(buf, "Mon Mar  1 00:00:00 2000001900\n");
    tm.tm_mon = 12;
    EXPECT_EQ(asctime64_r(&tm, buf), nullptr);
    tm.tm_mon = 0;
    tm.tm_wday = 7;
    EXPECT_EQ(asctime64_r(&tm, buf), nullptr);

    ZoneScope zone("Asia/Seoul");
    t = 0;
    ASSERT_NE(ctime64_r(&t, buf), nullptr);
    EXPECT_STREQ(buf, "Thu Jan  1 09:00:00 1970\n");
    EXPECT_EQ(difftime64(10, 4), 6.0);
}

}  // namespace
