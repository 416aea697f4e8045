// 64-bit calendar time. UTC conversions are pure arithmetic on the proleptic
// Gregorian calendar; local time uses the platform's zone rules. Where time_t
// has 64 bits the platform covers every year itself; with a 32-bit time_t
// other years are mapped onto a year of 1971-2037 with the same calendar and
// the difference is added back.
#include <zunPKI/asn1/time64.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "asn1/time64_internal.hpp"

namespace {

constexpr long long kSecondsPerDay = 86400;
constexpr long long kDaysPer400Years = 146097;

constexpr int kDaysBeforeMonth[2][12] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335},
};

constexpr int kSafeYearsHigh[28] = {2016, 2017, 2018, 2019, 2020, 2021, 2022, 2023, 2024, 2025, 2026, 2027, 2028, 2029,
                                    2030, 2031, 2032, 2033, 2034, 2035, 2036, 2037, 2010, 2011, 2012, 2013, 2014, 2015};
constexpr int kSafeYearsLow[28] = {1996, 1997, 1998, 1971, 1972, 1973, 1974, 1975, 1976, 1977, 1978, 1979, 1980, 1981,
                                   1982, 1983, 1984, 1985, 1986, 1987, 1988, 1989, 1990, 1991, 1992, 1993, 1994, 1995};

constexpr long long floorDiv(long long a, long long b) {
    long long q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}
constexpr long long floorMod(long long a, long long b) { return a - floorDiv(a, b) * b; }

constexpr bool isLeap(long long y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Days since 1970-01-01 of a proleptic Gregorian date (month 1-12).
constexpr long long daysFromCivil(long long y, int m, int d) {
    y -= m <= 2;
    const long long era = floorDiv(y, 400);
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * kDaysPer400Years + doe - 719468;
}

// The reverse of daysFromCivil.
constexpr void civilFromDays(long long z, long long& y, int& m, int& d) {
    z += 719468;
    const long long era = floorDiv(z, kDaysPer400Years);
    const long long doe = z - era * kDaysPer400Years;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

static_assert(daysFromCivil(1970, 1, 1) == 0);
static_assert(daysFromCivil(2100, 3, 1) * kSecondsPerDay == 4107542400LL);

bool platformHas64BitTime() { return sizeof(time_t) >= 8; }

// The platform's record and ours have the same field names.
template <class From, class To>
void copyFields(const From& src, To& dest) {
    dest.tm_sec = src.tm_sec;
    dest.tm_min = src.tm_min;
    dest.tm_hour = src.tm_hour;
    dest.tm_mday = src.tm_mday;
    dest.tm_mon = src.tm_mon;
    dest.tm_year = src.tm_year;
    dest.tm_wday = src.tm_wday;
    dest.tm_yday = src.tm_yday;
    dest.tm_isdst = src.tm_isdst;
    dest.tm_gmtoff = src.tm_gmtoff;
    dest.tm_zone = src.tm_zone;
}

}  // namespace

namespace zpki::time64 {

int safeYear(long long year) {
    if (year >= 1971 && year <= 2037) return static_cast<int>(year);
    const long long d = year > 2000 ? year - 2001 : year - 2000;
    long long exceptions = d / 100 - d / 400;  // century years that are not leap years
    long long cycle = year + 16 * exceptions;
    if (year < 1971) cycle -= 8;
    auto nonLeapCentury = [](long long y) { return y % 100 == 0 && y % 400 != 0; };
    if (nonLeapCentury(year)) cycle += 11;
    if (nonLeapCentury(year - 1)) cycle += 17;
    cycle = floorMod(cycle, 28);
    return year > 2037 ? kSafeYearsHigh[cycle] : kSafeYearsLow[cycle];
}

Time64_T secondsBetweenYears(long long left, long long right) {
    return (daysFromCivil(left, 1, 1) - daysFromCivil(right, 1, 1)) * kSecondsPerDay;
}

Time64_T mktimeSafe(struct TM* tm) {
    const long long year = static_cast<long long>(tm->tm_year) + 1900;
    struct tm copy;
    copy_TM_to_tm(tm, &copy);
    const int safe = safeYear(year);
    copy.tm_year = safe - 1900;
    errno = 0;
    const time_t t = mktime(&copy);
    if (t == static_cast<time_t>(-1) && errno != 0) return -1;
    const long long normalisedYear = static_cast<long long>(copy.tm_year) + 1900;
    copy_tm_to_TM(&copy, tm);
    // mktime may carry into the next or previous year; keep that carry.
    tm->tm_year = static_cast<int>(year + (normalisedYear - safe) - 1900);
    return static_cast<Time64_T>(t) + secondsBetweenYears(year, safe);
}

struct TM* localtimeSafe(const Time64_T* t, struct TM* out) {
    struct TM utc;
    if (!gmtime64_r(t, &utc)) return nullptr;
    const long long year = static_cast<long long>(utc.tm_year) + 1900;
    const bool outside = year < 1970 || year > 2037;
    if (outside) utc.tm_year = safeYear(year) - 1900;
    const time_t safeTime = static_cast<time_t>(timegm64(&utc));
    struct tm local;
    if (!localtime_r(&safeTime, &local)) return nullptr;
    copy_tm_to_TM(&local, out);
    if (outside) {
        long long realYear = year;
        const int monthDiff = local.tm_mon - utc.tm_mon;
        if (monthDiff == 11) realYear -= 1;   // local time lies in the previous December
        if (monthDiff == -11) realYear += 1;  // or in the next January
        out->tm_year = static_cast<int>(realYear - 1900);
        if (!isLeap(realYear) && out->tm_yday == 365) out->tm_yday = 364;
    }
    return out;
}

}  // namespace zpki::time64

extern "C" {

ZUNPKI_API Time64_T timegm64(const struct TM* tm) {
    if (!tm) return -1;
    long long year = static_cast<long long>(tm->tm_year) + 1900;
    long long month = tm->tm_mon;
    year += floorDiv(month, 12);
    month = floorMod(month, 12);
    const long long days = daysFromCivil(year, static_cast<int>(month) + 1, 1) + tm->tm_mday - 1;
    return days * kSecondsPerDay + static_cast<long long>(tm->tm_hour) * 3600 +
           static_cast<long long>(tm->tm_min) * 60 + tm->tm_sec;
}

ZUNPKI_API struct TM* gmtime64_r(const Time64_T* t, struct TM* out) {
    if (!t || !out) return nullptr;
    const long long days = floorDiv(*t, kSecondsPerDay);
    const long long secs = *t - days * kSecondsPerDay;
    long long year;
    int month, day;
    civilFromDays(days, year, month, day);
    if (year - 1900 > INT_MAX || year - 1900 < INT_MIN) {
        errno = EOVERFLOW;
        return nullptr;
    }
    std::memset(out, 0, sizeof(*out));
    out->tm_sec = static_cast<int>(secs % 60);
    out->tm_min = static_cast<int>(secs / 60 % 60);
    out->tm_hour = static_cast<int>(secs / 3600);
    out->tm_mday = day;
    out->tm_mon = month - 1;
    out->tm_year = static_cast<int>(year - 1900);
    out->tm_wday = static_cast<int>(floorMod(days + 4, 7));  // 1970-01-01 was a Thursday
    out->tm_yday = kDaysBeforeMonth[isLeap(year)][month - 1] + day - 1;
    out->tm_isdst = 0;
    out->tm_gmtoff = 0;
    out->tm_zone = "GMT";
    return out;
}

ZUNPKI_API struct TM* localtime64_r(const Time64_T* t, struct TM* out) {
    if (!t || !out) return nullptr;
    if (!platformHas64BitTime()) return zpki::time64::localtimeSafe(t, out);
    const time_t tt = static_cast<time_t>(*t);
    struct tm local;
    if (!localtime_r(&tt, &local)) return nullptr;
    copy_tm_to_TM(&local, out);
    return out;
}

ZUNPKI_API struct TM* gmtime64(const Time64_T* t) {
    static thread_local struct TM shared;
    return gmtime64_r(t, &shared);
}

ZUNPKI_API struct TM* localtime64(const Time64_T* t) {
    static thread_local struct TM shared;
    return localtime64_r(t, &shared);
}

ZUNPKI_API Time64_T mktime64(struct TM* tm) {
    if (!tm) return -1;
    if (!platformHas64BitTime()) return zpki::time64::mktimeSafe(tm);
    struct tm copy;
    copy_TM_to_tm(tm, &copy);
    errno = 0;
    const time_t t = mktime(&copy);
    if (t == static_cast<time_t>(-1) && errno != 0) return -1;
    copy_tm_to_TM(&copy, tm);
    return static_cast<Time64_T>(t);
}

ZUNPKI_API Time64_T timelocal64(struct TM* tm) { return mktime64(tm); }

ZUNPKI_API char* asctime64_r(const struct TM* tm, char* buf) {
    static const char kDays[] = "SunMonTueWedThuFriSat";
    static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    if (!tm || !buf) return nullptr;
    if (tm->tm_wday < 0 || tm->tm_wday > 6 || tm->tm_mon < 0 || tm->tm_mon > 11) return nullptr;
    std::snprintf(buf, TIME64_ASCTIME_BUFSIZE, "%.3s %.3s%3d %.2d:%.2d:%.2d %lld\n", kDays + 3 * tm->tm_wday,
                  kMonths + 3 * tm->tm_mon, tm->tm_mday, tm->tm_hour, tm->tm_min, tm->tm_sec,
                  static_cast<long long>(tm->tm_year) + 1900);
    return buf;
}

ZUNPKI_API char* ctime64_r(const Time64_T* t, char* buf) {
    struct TM local;
    if (!localtime64_r(t, &local)) return nullptr;
    return asctime64_r(&local, buf);
}

ZUNPKI_API char* asctime64(const struct TM* tm) {
    static thread_local char buf[TIME64_ASCTIME_BUFSIZE];
    return asctime64_r(tm, buf);
}

ZUNPKI_API char* ctime64(const Time64_T* t) {
    static thread_local char buf[TIME64_ASCTIME_BUFSIZE];
    return ctime64_r(t, buf);
}

ZUNPKI_API double difftime64(Time64_T a, Time64_T b) { return static_cast<double>(a - b); }

ZUNPKI_API void copy_tm_to_TM(const struct tm* src, struct TM* dest) {
    if (!dest) return;
    std::memset(dest, 0, sizeof(*dest));
    if (src) copyFields(*src, *dest);
}

ZUNPKI_API void copy_TM_to_tm(const struct TM* src, struct tm* dest) {
    if (!dest) return;
    std::memset(dest, 0, sizeof(*dest));
    if (src) copyFields(*src, *dest);
}

ZUNPKI_API struct tm* fake_localtime_r(const time_t* t, struct tm* out) {
    if (!t || !out) return nullptr;
    if (!localtime_r(t, out)) {
        std::memset(out, 0, sizeof(*out));
        return nullptr;
    }
    return out;
}

ZUNPKI_API struct tm* fake_gmtime_r(const time_t* t, struct tm* out) {
    if (!t || !out) return nullptr;
    if (!gmtime_r(t, out)) {
        std::memset(out, 0, sizeof(*out));
        return nullptr;
    }
    return out;
}

}  // extern "C"
