/*
 * 64-bit calendar time: conversions between broken-down time and a signed
 * 64-bit count of seconds since 1970-01-01 00:00:00 UTC, valid far beyond the
 * range of a 32-bit time_t, with the platform's time-zone rules.
 *
 * Results land in the caller's record (the _r names) or in one record or text
 * buffer per thread (localtime64, gmtime64, asctime64, ctime64) that the next
 * call on the same thread overwrites.
 */
#ifndef ZUNPKI_TIME64_H
#define ZUNPKI_TIME64_H

#include <stdint.h>
#include <time.h>

#include <zunPKI/asn1/pki_export.h>

typedef int64_t Time64_T;

/* The library's broken-down time; ASN1_TIME is this record. */
struct TM {
    int tm_sec;  /* 0-61 */
    int tm_min;  /* 0-59 */
    int tm_hour; /* 0-23 */
    int tm_mday; /* 1-31 */
    int tm_mon;  /* 0-11 */
    int tm_year; /* years since 1900 */
    int tm_wday; /* 0-6, 0 = Sunday */
    int tm_yday; /* 0-365 */
    int tm_isdst;
    long tm_gmtoff;      /* seconds east of UTC */
    const char* tm_zone; /* zone abbreviation, owned by the platform */
};

/* Size a caller's buffer for asctime64_r and ctime64_r must have: room for a
 * year of any int value. */
#define TIME64_ASCTIME_BUFSIZE 64

ZUNPKI_BEGIN_DECLS

ZUNPKI_API Time64_T timegm64(const struct TM* tm);
ZUNPKI_API struct TM* gmtime64_r(const Time64_T* t, struct TM* out);
ZUNPKI_API struct TM* localtime64_r(const Time64_T* t, struct TM* out);
ZUNPKI_API struct TM* gmtime64(const Time64_T* t);
ZUNPKI_API struct TM* localtime64(const Time64_T* t);
/* Normalises *tm as mktime does (day of week, day of year, daylight flag);
 * -1 with errno set when the time cannot be represented. */
ZUNPKI_API Time64_T mktime64(struct TM* tm);
ZUNPKI_API Time64_T timelocal64(struct TM* tm);

/* buf must hold TIME64_ASCTIME_BUFSIZE bytes. */
ZUNPKI_API char* asctime64_r(const struct TM* tm, char* buf);
ZUNPKI_API char* ctime64_r(const Time64_T* t, char* buf);
ZUNPKI_API char* asctime64(const struct TM* tm);
ZUNPKI_API char* ctime64(const Time64_T* t);
ZUNPKI_API double difftime64(Time64_T a, Time64_T b);

ZUNPKI_API void copy_tm_to_TM(const struct tm* src, struct TM* dest);
ZUNPKI_API void copy_TM_to_tm(const struct TM* src, struct tm* dest);
ZUNPKI_API struct tm* fake_localtime_r(const time_t* t, struct tm* out);
ZUNPKI_API struct tm* fake_gmtime_r(const time_t* t, struct tm* out);

ZUNPKI_END_DECLS

#endif
