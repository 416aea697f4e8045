// Time texts YYYYMMDDhhmm[ss] as local time or GMT, and validity against the
// clock. GMT texts are read with timegm and compared as instants with
// time() plus the network-time offset, so daylight-saving time never shifts
// them.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>

#include <zunCore/util.h>

#include "core_internal.hpp"

namespace {

int digits(const char* p, int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) v = v * 10 + (p[i] - '0');
    return v;
}

// The fields of a text of exactly 12 or 14 digits, each within its range.
std::optional<struct tm> fields(const char* t) {
    if (!t) return std::nullopt;
    const size_t len = std::strlen(t);
    if (len != 12 && len != 14) return std::nullopt;
    for (size_t i = 0; i < len; ++i)
        if (t[i] < '0' || t[i] > '9') return std::nullopt;
    struct tm tm {};
    tm.tm_year = digits(t, 4) - 1900;
    tm.tm_mon = digits(t + 4, 2) - 1;
    tm.tm_mday = digits(t + 6, 2);
    tm.tm_hour = digits(t + 8, 2);
    tm.tm_min = digits(t + 10, 2);
    tm.tm_sec = len == 14 ? digits(t + 12, 2) : 0;
    if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23 || tm.tm_min > 59 ||
        tm.tm_sec > 60)
        return std::nullopt;
    tm.tm_isdst = -1;
    return tm;
}

std::optional<time_t> localInstant(const char* t) {
    auto tm = fields(t);
    if (!tm) return std::nullopt;
    return std::mktime(&*tm);
}

std::optional<time_t> gmtInstant(const char* t) {
    auto tm = fields(t);
    if (!tm) return std::nullopt;
    return timegm(&*tm);
}

int format(const struct tm& tm, char* out) {
    std::snprintf(out, 15, "%04d%02d%02d%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                  tm.tm_min, tm.tm_sec);
    return 0;
}

int within(const char* from, const char* to, time_t now) {
    const auto f = gmtInstant(from);
    const auto t = gmtInstant(to);
    if (!f || !t) return -1;
    return (*f <= now && now <= *t) ? 0 : -1;
}

}  // namespace

extern "C" {

VCL_API time_t VCL_Str_to_Time(const char* t) { return localInstant(t).value_or(static_cast<time_t>(-1)); }

VCL_API int VCL_Local2GMTime(const char* local, char* out) {
    if (!out) return -1;
    out[0] = '\0';
    const auto t = localInstant(local);
    struct tm tm {};
    if (!t || !gmtime_r(&*t, &tm)) return -1;
    return format(tm, out);
}

VCL_API int VCL_GM2LocalTime(const char* gmt, char* out) {
    if (!out) return -1;
    out[0] = '\0';
    const auto t = gmtInstant(gmt);
    struct tm tm {};
    if (!t || !localtime_r(&*t, &tm)) return -1;
    return format(tm, out);
}

VCL_API int VCL_IsValidDate(const char* from, const char* to) { return within(from, to, zcore::now()); }

VCL_API int VCL_IsValidDate2(const char* from, const char* to, int shift) {
    return within(from, to, zcore::now() - shift);
}

VCL_API int VCL_Verify_CertTime(int mode, const char* from, const char* to, int early, int late) {
    if (mode != 1) return 0;
    const auto f = gmtInstant(from);
    const auto t = gmtInstant(to);
    if (!f || !t) return -1;
    const time_t now = zcore::now();
    if (*f - now > early) return -1;
    if (now - *t > late) return -1;
    return 0;
}

}  // extern "C"
