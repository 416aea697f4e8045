// SNTP replies no server would send: a reply passes the checks only with
// every field as a client must require, and the time of one that passes
// (any era) makes a 14-digit text that agrees with the calendar of
// libzunPKI's 64-bit time functions.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <zunCore/ntp.h>
#include <zunPKI/asn1/time64.h>

#include "services/sntp_internal.hpp"

namespace {

void check(bool condition) {
    if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1024) return 0;
    // The request whose transmit time a good reply carries as originate.
    unsigned char request[48] = {0x1B};
    std::memcpy(request + 40, "\x8a\x13\x5c\x07\xe1\x90\x2b\x44", 8);
    const char* fault = zcore::sntp::replyFault(data, size, request);
    if (fault == nullptr) {
        check(size >= 48);
        check((data[0] & 7) == 4 && (data[0] >> 6) != 3);
        check(((data[0] >> 3) & 7) == 3 || ((data[0] >> 3) & 7) == 4);
        check(data[1] >= 1 && data[1] <= 15);
        check(std::memcmp(data + 24, request + 40, 8) == 0);
    }
    if (size < 48) return 0;

    // The transmit time, whatever the checks said of the rest.
    const uint64_t millis = VCL_NTP_get_milliseconds(data, 40);
    const uint64_t seconds = millis / 1000;
    check(seconds >= 0x80000000ULL && seconds < 0x180000000ULL);  // 1968 to 2104
    char gm[16] = {}, local[16] = {};
    check(zcore::sntp::formatTime(millis, false, gm));
    check(zcore::sntp::formatTime(millis, true, local));
    check(std::strlen(gm) == 14 && std::strlen(local) == 14);
    const Time64_T instant = static_cast<Time64_T>(seconds) - 2208988800LL;
    struct TM tm {};
    check(gmtime64_r(&instant, &tm) != nullptr);
    char expected[16];
    std::snprintf(expected, sizeof expected, "%04d%02d%02d%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    check(std::strcmp(gm, expected) == 0);
    return 0;
}
