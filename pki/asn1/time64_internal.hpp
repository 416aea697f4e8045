// Internal pieces of the 64-bit time functions, visible to the tests.
#pragma once

#include <zunPKI/asn1/time64.h>

namespace zpki::time64 {

// A year in 1971-2037 with the same calendar (weekday of 1 January and
// leap-ness) as year; years in that range come back unchanged.
int safeYear(long long year);

// Seconds from 1 January of the safe year to 1 January of the real year.
Time64_T secondsBetweenYears(long long left, long long right);

// The conversions that only hand the platform years 1971-2037: what the public
// functions use where time_t has 32 bits.
Time64_T mktimeSafe(struct TM* tm);
struct TM* localtimeSafe(const Time64_T* t, struct TM* out);

}  // namespace zpki::time64
