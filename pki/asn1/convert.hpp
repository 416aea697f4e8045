// Unicode conversions inside the library. Each returns the output length and
// a new zero-terminated buffer in *out (free with VSC_Free), or 0 with *out
// null for malformed input; empty input gives 0 and an empty buffer.
#pragma once

#include <string_view>

namespace zpki::text {

// Strict UTF-8 to UTF-16BE (surrogate pairs past U+FFFF).
int utf8ToUtf16(std::string_view text, unsigned char** out);
// UTF-16BE (an even number of bytes) to UTF-8; a lone surrogate becomes U+FFFD.
int utf16ToUtf8(std::string_view units, unsigned char** out);
// KS X 1001 text (EUC-KR) to UTF-16BE.
int cp949ToUtf16(std::string_view text, unsigned char** out);

}  // namespace zpki::text
