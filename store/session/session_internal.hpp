// Lookups the session modules share.
#pragma once

#include <string_view>

#include <zephaltpavix/context.h>

namespace zstore {

// The context whose domain equals domain (same length, letters without
// case), or null.
CTX* findContext(std::string_view domain);

// Creates the context of domain unless one exists: 0, or the code (logged).
int setDomainInfo(std::string_view domain);

}  // namespace zstore
