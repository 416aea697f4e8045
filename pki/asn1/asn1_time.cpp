// Calendar time and the UTCTime / GeneralizedTime texts. ASN1_TIME holds
// local time: texts are read into the instant they name and that instant is
// converted to local time.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <zunPKI/asn1/asn1.h>
#include "asn1/asn1_time.hpp"
#include "asn1/pki_mem.hpp"

namespace zpki::asn1time {
namespace {

bool digits(const uint8_t* p, size_t n, int& value) {
    value = 0;
    for (size_t i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9') return false;
        value = value * 10 + (p[i] - '0');
    }
    return true;
}

bool isUtcForm(int form) { return form >= 0 && form <= 3; }
bool isGeneralizedForm(int form) { return form >= 16 && form <= 19; }
bool isZuluForm(int form) { return form == 0 || form == 2 || form == 16 || form == 18; }
bool hasSeconds(int form) { return form == 2 || form == 3 || form == 18 || form == 19; }

}  // namespace

bool parseInstant(const uint8_t* text, size_t len, bool generalized, Time64_T& instant) {
    if (!text) return false;
    size_t i = 0;
    int year, month, day, hour, minute, second = 0;
    const size_t yearDigits = generalized ? 4 : 2;
    if (len < yearDigits + 8) return false;
    if (!digits(text, yearDigits, year)) return false;
    i = yearDigits;
    if (!digits(text + i, 2, month) || !digits(text + i + 2, 2, day) || !digits(text + i + 4, 2, hour) ||
        !digits(text + i + 6, 2, minute))
        return false;
    i += 8;
    if (!generalized) year += year < 50 ? 2000 : 1900;
    if (i + 2 <= len && text[i] >= '0' && text[i] <= '9') {
        if (!digits(text + i, 2, second)) return false;
        i += 2;
        if (generalized && i < len && (text[i] == '.' || text[i] == ',')) {
            ++i;
            const size_t start = i;
            while (i < len && text[i] >= '0' && text[i] <= '9') ++i;
            if (i == start) return false;
        }
    }
    long offset = 0;
    if (i < len && text[i] == 'Z') {
        ++i;
    } else if (i < len && (text[i] == '+' || text[i] == '-')) {
        int oh, om;
        if (i + 5 > len || !digits(text + i + 1, 2, oh) || !digits(text + i + 3, 2, om) || oh > 23 || om > 59)
            return false;
        offset = (oh * 3600L + om * 60L) * (text[i] == '-' ? -1 : 1);
        i += 5;
    } else {
        return false;  // a zone designator is required
    }
    if (i != len) return false;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) return false;
    struct TM fields {};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    instant = timegm64(&fields) - offset;
    return true;
}

size_t formatTime(const struct TM& f, long offsetSeconds, int form, char* out) {
    const long long year = static_cast<long long>(f.tm_year) + 1900;
    // Every field must take its two digits, or the text would not be the
    // time's and would outgrow its buffer.
    if (check_ASN1_TIME(&f) != 0 || offsetSeconds <= -100 * 3600 || offsetSeconds >= 100 * 3600) return 0;
    int n;
    if (isUtcForm(form)) {
        if (year < 1950 || year > 2049) return 0;  // two digits cannot say other years
        n = std::snprintf(out, 20, "%02lld%02d%02d%02d%02d", year % 100, f.tm_mon + 1, f.tm_mday, f.tm_hour, f.tm_min);
    } else if (isGeneralizedForm(form)) {
        if (year < 0 || year > 9999) return 0;
        n = std::snprintf(out, 20, "%04lld%02d%02d%02d%02d", year, f.tm_mon + 1, f.tm_mday, f.tm_hour, f.tm_min);
    } else {
        return 0;
    }
    if (hasSeconds(form)) n += std::snprintf(out + n, 20 - n, "%02d", f.tm_sec);
    if (isZuluForm(form)) {
        out[n++] = 'Z';
        out[n] = 0;
    } else {
        const long a = offsetSeconds < 0 ? -offsetSeconds : offsetSeconds;
        n += std::snprintf(out + n, 20 - n, "%c%02ld%02ld", offsetSeconds < 0 ? '-' : '+', a / 3600, a / 60 % 60);
    }
    return static_cast<size_t>(n);
}

}  // namespace zpki::asn1time

namespace {

using namespace zpki::asn1time;

ASN1_TIME* localOf(Time64_T instant) {
    ASN1_TIME* t = new_ASN1_TIME();
    if (!t) return nullptr;
    if (!localtime64_r(&instant, t) || check_ASN1_TIME(t) != 0) {
        free_ASN1_TIME(t);
        return nullptr;
    }
    return t;
}

bool instantOf(const ASN1_STRING* s, bool generalized, Time64_T& instant) {
    return s && s->data && s->length > 0 && parseInstant(s->data, static_cast<size_t>(s->length), generalized, instant);
}

ASN1_STRING* writeTime(ASN1_TIME* time, int form, bool generalized) {
    if (!time) return nullptr;
    if (generalized ? !(form >= 16 && form <= 19) : !(form >= 0 && form <= 3)) return nullptr;
    struct TM local = *time;
    const Time64_T instant = mktime64(&local);
    if (instant == -1 && errno != 0) return nullptr;
    char text[24];
    size_t n;
    const bool zulu = form == 0 || form == 2 || form == 16 || form == 18;
    if (zulu) {
        struct TM utc;
        if (!gmtime64_r(&instant, &utc)) return nullptr;
        n = formatTime(utc, 0, form, text);
        if (n == 0) return nullptr;
        // The caller's record now holds the UTC values it was written from.
        *time = utc;
    } else {
        struct TM zone;
        if (!localtime64_r(&instant, &zone)) return nullptr;
        // Fields that left their ranges are written as the time they add up to.
        n = formatTime(check_ASN1_TIME(time) == 0 ? *time : local, zone.tm_gmtoff, form, text);
        if (n == 0) return nullptr;
    }
    ASN1_STRING* s = new_ASN1_STRING();
    if (!s || set_ASN1_STRING_value(s, generalized ? ASN1_TAG_GENERALIZED_TIME : ASN1_TAG_UTC_TIME,
                                    reinterpret_cast<const unsigned char*>(text), static_cast<int>(n)) != 0) {
        free_ASN1_STRING(s);
        return nullptr;
    }
    s->extra = zulu ? 1 : 0;
    return s;
}

int compareInstants(const ASN1_STRING* a, const ASN1_STRING* b, bool generalized) {
    Time64_T ta, tb;
    if (!instantOf(a, generalized, ta) || !instantOf(b, generalized, tb)) return ASN1_TIME_CMP_ERROR;
    return ta > tb ? 1 : ta < tb ? -1 : 0;
}

// The form a time text is rewritten in after arithmetic: the one of its length.
int formOfLength(int length, bool generalized) {
    if (generalized) {
        switch (length) {
            case 13:
                return 16;
            case 15:
                return 18;
            case 17:
                return 17;
            case 19:
                return 19;
            default:
                return -1;
        }
    }
    switch (length) {
        case 11:
            return 0;
        case 13:
            return 2;
        case 15:
            return 1;
        case 17:
            return 3;
        default:
            return -1;
    }
}

PKI_ERROR addSeconds(ASN1_STRING** value, int seconds, bool generalized) {
    if (!value || !*value) return PKI_ERR(L_TIME, F_ADD_TIME, ERR_R_NULL_ARGUMENT);
    Time64_T instant;
    if (!instantOf(*value, generalized, instant))
        return PKI_ERR(L_TIME, F_ADD_TIME, generalized ? ERR_R_ALLOC_3A : ERR_R_ALLOC_3C);
    const int form = formOfLength((*value)->length, generalized);
    instant += seconds;
    ASN1_TIME local;
    ASN1_STRING* next = nullptr;
    if (form >= 0 && localtime64_r(&instant, &local)) next = writeTime(&local, form, generalized);
    if (!next) return PKI_ERR(L_TIME, F_ADD_TIME, ERR_R_WRITE_FAILED);
    free_ASN1_STRING(*value);
    *value = next;
    return 0;
}

PKI_ERROR copyTime(const ASN1_STRING* src, ASN1_STRING* dst, unsigned lib) {
    if (!src || !dst || !src->data) return PKI_ERR(lib, 0, ERR_R_INVALID_ELEMENT);
    const int extra = src->extra;  // src may be dst
    if (set_ASN1_STRING_value(dst, src->type, src->data, src->length) != 0)
        return PKI_ERR(lib, 0, ERR_R_INVALID_ELEMENT);
    dst->extra = extra;
    return 0;
}

}  // namespace

extern "C" {

ZUNPKI_API ASN1_TIME* new_ASN1_TIME(void) { return PKI_NEW(ASN1_TIME); }

ZUNPKI_API void clean_ASN1_TIME(ASN1_TIME* time) {
    if (time) std::memset(time, 0, sizeof(*time));
}

ZUNPKI_API void free_ASN1_TIME(ASN1_TIME* time) { PKI_FREE(time); }

ZUNPKI_API PKI_ERROR check_ASN1_TIME(const ASN1_TIME* t) {
    if (!t) return PKI_ERR(L_ASN1, F_CHECK_ASN1_TIME, ERR_R_NULL_ARGUMENT);
    if (t->tm_mon < 0 || t->tm_mon > 11 || t->tm_mday < 1 || t->tm_mday > 31 || t->tm_hour < 0 || t->tm_hour > 23 ||
        t->tm_min < 0 || t->tm_min > 59 || t->tm_sec < 0 || t->tm_sec > 59)
        return PKI_ERR(L_ASN1, F_CHECK_ASN1_TIME, ERR_R_INVALID_ELEMENT);
    return 0;
}

ZUNPKI_API ASN1_TIME* dup_ASN1_TIME(const ASN1_TIME* time) {
    if (!time || check_ASN1_TIME(time) != 0) return nullptr;
    ASN1_TIME* copy = new_ASN1_TIME();
    if (!copy) return nullptr;
    *copy = *time;
    return copy;
}

ZUNPKI_API ASN1_TIME* charToASN1_TIME(const char* text) {
    if (!text || std::strlen(text) != 19) return nullptr;
    for (int i = 0; i < 19; ++i) {
        const char want = i == 4 || i == 7 ? '-' : i == 10 ? ',' : i == 13 || i == 16 ? ':' : '0';
        if (want == '0' ? (text[i] < '0' || text[i] > '9') : text[i] != want) return nullptr;
    }
    auto two = [&](int at) { return (text[at] - '0') * 10 + (text[at + 1] - '0'); };
    ASN1_TIME* t = new_ASN1_TIME();
    if (!t) return nullptr;
    t->tm_year = two(0) * 100 + two(2) - 1900;
    t->tm_mon = two(5) - 1;
    t->tm_mday = two(8);
    t->tm_hour = two(11);
    t->tm_min = two(14);
    t->tm_sec = two(17);
    t->tm_isdst = -1;  // let the zone rules decide
    if (check_ASN1_TIME(t) != 0) {
        free_ASN1_TIME(t);
        return nullptr;
    }
    return t;
}

ZUNPKI_API ASN1_TIME* getCurrentLocalTime(void) { return localOf(static_cast<Time64_T>(std::time(nullptr))); }

ZUNPKI_API ASN1_TIME* getCurrentGMTime(void) {
    const Time64_T now = static_cast<Time64_T>(std::time(nullptr));
    ASN1_TIME* t = new_ASN1_TIME();
    if (t && !gmtime64_r(&now, t)) {
        free_ASN1_TIME(t);
        return nullptr;
    }
    return t;
}

ZUNPKI_API int cmp_ASN1_TIME(const ASN1_TIME* a, const ASN1_TIME* b) {
    if (!a || !b) return ASN1_TIME_CMP_ERROR;
    struct TM ca = *a, cb = *b;
    errno = 0;
    const Time64_T ta = mktime64(&ca);
    if (ta == -1 && errno != 0) return ASN1_TIME_CMP_ERROR;
    const Time64_T tb = mktime64(&cb);
    if (tb == -1 && errno != 0) return ASN1_TIME_CMP_ERROR;
    return ta > tb ? 1 : ta < tb ? -1 : 0;
}

ZUNPKI_API UTC_TIME* asn1TimeToUTC_TIME(ASN1_TIME* time, int form) { return writeTime(time, form, false); }

ZUNPKI_API GENERALIZED_TIME* asn1TimeToGENERALIZED_TIME(ASN1_TIME* time, int form) {
    return writeTime(time, form, true);
}

ZUNPKI_API ASN1_TIME* utcTimeToASN1_TIME(const UTC_TIME* utc) {
    Time64_T instant;
    return instantOf(utc, false, instant) ? localOf(instant) : nullptr;
}

ZUNPKI_API ASN1_TIME* generalizedTimeToASN1_TIME(const GENERALIZED_TIME* gt) {
    Time64_T instant;
    return instantOf(gt, true, instant) ? localOf(instant) : nullptr;
}

ZUNPKI_API int cmp_UTC_TIME(const UTC_TIME* a, const UTC_TIME* b) { return compareInstants(a, b, false); }

ZUNPKI_API int cmp_GENERALIZED_TIME(const GENERALIZED_TIME* a, const GENERALIZED_TIME* b) {
    return compareInstants(a, b, true);
}

ZUNPKI_API PKI_ERROR add_UTC_TIME(UTC_TIME** utc, int seconds) { return addSeconds(utc, seconds, false); }

ZUNPKI_API PKI_ERROR add_GENERALIZED_TIME(GENERALIZED_TIME** gt, int seconds) { return addSeconds(gt, seconds, true); }

ZUNPKI_API UTC_TIME* new_UTC_TIME(const char* text, int form) {
    zpki::Owned<ASN1_TIME, free_ASN1_TIME> t(charToASN1_TIME(text));
    return t ? asn1TimeToUTC_TIME(t.get(), form) : nullptr;
}

ZUNPKI_API GENERALIZED_TIME* new_GENERALIZED_TIME(const char* text, int form) {
    zpki::Owned<ASN1_TIME, free_ASN1_TIME> t(charToASN1_TIME(text));
    return t ? asn1TimeToGENERALIZED_TIME(t.get(), form) : nullptr;
}

ZUNPKI_API PKI_ERROR copy_UTC_TIME(const UTC_TIME* src, UTC_TIME* dst) { return copyTime(src, dst, L_UTC_TIME); }

ZUNPKI_API PKI_ERROR copy_GENERALIZED_TIME(const GENERALIZED_TIME* src, GENERALIZED_TIME* dst) {
    return copyTime(src, dst, L_GENERALIZED_TIME);
}

}  // extern "C"
