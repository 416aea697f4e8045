// Time texts and validity against the clock, in several time zones and
// seasons, with date(1) as the peer and faketime for the season.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include <zunCore/log.h>
#include <zunCore/util.h>

#include "CoreHelpers.h"

namespace {

const char* const kZones[] = {"Asia/Seoul", "UTC", "America/New_York"};

// Sets TZ for the scope of a test and restores it.
class Zone {
public:
    explicit Zone(const char* tz) {
        if (const char* old = std::getenv("TZ")) m_old = old;
        m_had = std::getenv("TZ") != nullptr;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~Zone() {
        if (m_had)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string m_old;
    bool m_had = false;
};

std::string date(const char* tz, const std::vector<std::string>& args) {
    std::vector<std::string> argv{"date"};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto r = zqtest::run(argv, {}, {std::string("TZ=") + tz});
    EXPECT_EQ(r.status, 0);
    return r.output.substr(0, r.output.find('\n'));
}

std::string gmtText(time_t t) {
    struct tm tm {};
    gmtime_r(&t, &tm);
    char out[16];
    std::strftime(out, sizeof out, "%Y%m%d%H%M%S", &tm);
    return out;
}

TEST(CoreTime, TextsReadAsLocalTime) {
    Zone zone("Asia/Seoul");
    EXPECT_EQ(VCL_Str_to_Time("20250101090000"), 1735689600);  // 2025-01-01 00:00:00Z
    EXPECT_EQ(VCL_Str_to_Time("20250101090007"), 1735689607);
    EXPECT_EQ(VCL_Str_to_Time("202501010900"), 1735689600);  // seconds may be missing
    for (const char* bad : {"2025010109000", "20250101090", "2025010109000000", "2025010109000x", "20251301090000",
                            "20250100090000", "20250101250000", "", "2025-01-01 09:00"})
        EXPECT_EQ(VCL_Str_to_Time(bad), -1) << bad;
    EXPECT_EQ(VCL_Str_to_Time(nullptr), -1);
}

TEST(CoreTime, ConversionsEqualDate) {
    const char* texts[][2] = {
        {"20250115120000", "2025-01-15 12:00:00"},  // winter
        {"20250701120000", "2025-07-01 12:00:00"},  // summer
        {"20251102053000", "2025-11-02 05:30:00"},  // 05:30Z is 01:30 EDT, New York's last summer hour
        {"20240229235959", "2024-02-29 23:59:59"},
    };
    for (const char* tz : kZones) {
        Zone zone(tz);
        for (const auto& t : texts) {
            SCOPED_TRACE(std::string(tz) + " " + t[0]);
            char out[15];
            ASSERT_EQ(VCL_GM2LocalTime(t[0], out), 0);
            EXPECT_EQ(out, date(tz, {"-d", std::string(t[1]) + "Z", "+%Y%m%d%H%M%S"}));
            ASSERT_EQ(VCL_Local2GMTime(t[0], out), 0);
            EXPECT_EQ(out, date(tz, {"-u", "-d", "TZ=\"" + std::string(tz) + "\" " + t[1], "+%Y%m%d%H%M%S"}));
        }
        char out[15] = "x";
        EXPECT_EQ(VCL_GM2LocalTime("2025", out), -1);
        EXPECT_STREQ(out, "");
        EXPECT_EQ(VCL_Local2GMTime(nullptr, out), -1);
    }
}

TEST(CoreTime, ValidityAcrossZonesAndSeasons) {
    // The same answers in every zone, in winter and in summer: GMT texts are
    // compared with the clock as instants.
    const std::string expected = "-30 30 0\n30 90 -1\n-90 -30 -1\n-1 0 0\n0 1 0\n";
    for (const char* tz : kZones) {
        for (const char* when : {"2025-01-15 12:00:00", "2025-07-01 12:00:00"}) {
            SCOPED_TRACE(std::string(tz) + " " + when);
            const auto r =
                zqtest::run({"faketime", when, CORE_TEST_HELPER, "valid"}, {},
                            {std::string("TZ=") + tz, "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"});
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.output, expected);
        }
    }
}

TEST(CoreTime, ValidityHonoursTheNetworkOffset) {
    const time_t now = time(nullptr);
    const std::string from = gmtText(now + 1800), to = gmtText(now + 5400);
    EXPECT_EQ(VCL_IsValidDate(from.c_str(), to.c_str()), -1);
    g_gap_with_ntp = 3600;
    EXPECT_EQ(VCL_IsValidDate(from.c_str(), to.c_str()), 0);
    EXPECT_EQ(VCL_IsValidDate2(from.c_str(), to.c_str(), 3600), -1);  // shifted back
    g_gap_with_ntp = 0;
    EXPECT_EQ(VCL_IsValidDate2(from.c_str(), to.c_str(), -3600), 0);
    EXPECT_EQ(VCL_IsValidDate("garbage", to.c_str()), -1);
    EXPECT_EQ(VCL_IsValidDate(nullptr, to.c_str()), -1);
}

TEST(CoreTime, CertificateTimeWithTolerances) {
    const time_t now = time(nullptr);
    const std::string past = gmtText(now - 7200), earlier = gmtText(now - 3600);
    const std::string soon = gmtText(now + 600), later = gmtText(now + 7200);
    struct Case {
        int mode;
        const std::string *from, *to;
        int early, late, expected;
    } cases[] = {
        {0, &past, &earlier, 0, 0, 0},     // mode 0 accepts an expired period
        {1, &past, &earlier, 0, 0, -1},    // expired an hour ago
        {1, &past, &earlier, 0, 3700, 0},  // within the late tolerance
        {1, &soon, &later, 0, 0, -1},      // not yet valid
        {1, &soon, &later, 700, 0, 0},     // within the early tolerance
        {1, &earlier, &later, 0, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VCL_Verify_CertTime(c.mode, c.from->c_str(), c.to->c_str(), c.early, c.late), c.expected)
            << c.mode << " " << *c.from << " " << *c.to << " " << c.early << " " << c.late;
    EXPECT_EQ(VCL_Verify_CertTime(1, "bad", later.c_str(), 0, 0), -1);
}

}  // namespace
