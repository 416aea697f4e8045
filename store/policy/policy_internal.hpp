// The server-certificate check's built-in CAs, for the store's tests.
#pragma once

#include <string>
#include <vector>

namespace zstore {

// The two plug-in CA certificates as DER, current first (an entry is empty
// when its text did not read).
const std::vector<std::string>& pluginCAs();

}  // namespace zstore
