// Whole-file output shared inside the library.
#pragma once

#include <cstddef>

namespace zpki {

// Writes the bytes over path as binary_to_File does (a new file beside it,
// renamed over it), but a file made here is readable by its owner alone,
// whatever the umask: for private keys. A file that is replaced keeps its
// mode. The count written, or -1.
int writePrivateFile(const unsigned char* data, size_t n, const char* path);

}  // namespace zpki
