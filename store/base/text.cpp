// Text utilities of the interface.
#include <string>

#include <zephaltpavix/layout.h>

#include "store_internal.hpp"

extern "C" {

VPL_API int VPL_StrReplace(const char* s, const char* find, const char* repl, char** out, int* outLen) {
    if (!s || !find || !repl || !out || !outLen) return -1;
    std::string result(s);
    const size_t at = zstore::findNoCase(result, find);
    if (at != std::string::npos) result.replace(at, std::char_traits<char>::length(find), repl);
    return zstore::handOut(result, out, outLen) == 0 ? 0 : -1;
}

}  // extern "C"
