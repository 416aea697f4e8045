// Reading and writing time texts, shared by the value types and the DER rules.
#pragma once

#include <cstddef>
#include <cstdint>

#include <zunPKI/asn1/asn1.h>

namespace zpki::asn1time {

// The instant a UTCTime (generalized = false) or GeneralizedTime text names.
// Forms read, by their content and not their length:
//   UTCTime          YYMMDDhhmm[ss](Z|+hhmm|-hhmm), YY below 50 meaning 20YY
//   GeneralizedTime  YYYYMMDDhhmm[ss[.f...]](Z|+hhmm|-hhmm)
// Fractions of a second are read and dropped. An offset is applied.
bool parseInstant(const uint8_t* text, size_t len, bool generalized, Time64_T& instant);

// Writes the time in one of the forms of asn1.h into out (at least 20
// bytes); returns the text length or 0 when the year does not fit the type.
size_t formatTime(const struct TM& fields, long offsetSeconds, int form, char* out);

}  // namespace zpki::asn1time
