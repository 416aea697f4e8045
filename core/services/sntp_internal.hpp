// The SNTP client's checks and texts, for the fuzz target that feeds them
// replies no server would send.
#pragma once

#include <cstddef>

namespace zcore::sntp {

// Why a reply to request (both as sent on the wire) is not used; null when
// it is.
const char* replyFault(const unsigned char* reply, std::size_t n, const unsigned char* request);
// "YYYYMMDDhhmmss" of milliseconds since 1900 into out (16 bytes), as UTC
// or as the host's local time; false when it does not fit.
bool formatTime(unsigned long long millis, bool local, char out[16]);

}  // namespace zcore::sntp
