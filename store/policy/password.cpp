// Password policy checks over the bytes of a password.
#include <zephaltpavix/policy.h>

#include "base/store_internal.hpp"

namespace {

constexpr int kDefaultMax = 30;
constexpr int kDefaultMin = 8;
constexpr int kDefaultRun = 3;

// Expected bytes are taken as signed and compared with the actual byte as
// unsigned: EUC-KR Hangul (every byte 0x80 or above) never forms a run.
bool same(signed char expected, unsigned char actual) { return static_cast<int>(expected) == static_cast<int>(actual); }

// run bytes from i each one more (step 1) or one less (step -1) than the
// one before.
bool runFrom(const unsigned char* pw, int i, int run, int step) {
    for (int d = 1; d < run; ++d)
        if (!same(static_cast<signed char>(pw[i] + step * d), pw[i + d])) return false;
    return true;
}

}  // namespace

extern "C" {

VPL_API int VPL_Check_MaxLength(const char* pw, int len, int max) {
    if (!pw) return zstore::fail("VPL_Check_MaxLength", VPL_ERR_INVALID_PARAM);
    return len > (max <= 0 ? kDefaultMax : max) ? -1 : 0;
}

VPL_API int VPL_Check_MinLength(const char* pw, int len, int min) {
    if (!pw) return zstore::fail("VPL_Check_MinLength", VPL_ERR_INVALID_PARAM);
    return len < (min <= 0 ? kDefaultMin : min) ? -1 : 0;
}

VPL_API int VPL_Check_Continous_Letter(const unsigned char* pw, int len, int run) {
    if (!pw || len <= 0) return zstore::fail("VPL_Check_Continous_Letter", VPL_ERR_INVALID_PARAM);
    if (run <= 0) run = kDefaultRun;
    for (int i = 0; i <= len - run; ++i)
        if (runFrom(pw, i, run, 1) || runFrom(pw, i, run, -1)) return -1;
    return 0;
}

VPL_API int VPL_Check_Repeated_Letter(const char* pw, int len, int run) {
    if (!pw || len <= 0) return zstore::fail("VPL_Check_Repeated_Letter", VPL_ERR_INVALID_PARAM);
    if (run <= 0) run = kDefaultRun;
    if (len < run) return -1;
    const auto* bytes = reinterpret_cast<const unsigned char*>(pw);
    // Every start up to the last one that leaves room for a run: a run that
    // ends on the last byte ("password111") counts too.
    for (int i = 0; i <= len - run; ++i) {
        const auto first = static_cast<signed char>(bytes[i]);
        int count = 0;
        for (int j = i; j < len && same(first, bytes[j]); ++j)
            if (++count >= run) return -1;
    }
    return 0;
}

}  // extern "C"
