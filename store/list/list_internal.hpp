// Certificate records, lists and walks for the store's own modules.
#pragma once

#include <string_view>

namespace zstore {

// The kind of a CA folder name (1 public, 3 private, the registered kind),
// or -1.
int caKind(std::string_view name);

}  // namespace zstore
