// Helpers shared by the sources of libzunCore: the legacy last-error code,
// the clock with the network-time offset, and buffers handed to callers.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include <zunCore/error.h>
#include <zunCore/log.h>

namespace zcore {

// VCLLastErrorCode and g_gap_with_ntp stay plain exported ints for old
// callers; inside the library every access is atomic (relaxed: each is one
// independent value, nothing is ordered by it).
inline void setLastError(int code) { __atomic_store_n(&VCLLastErrorCode, code, __ATOMIC_RELAXED); }
inline int lastError() { return __atomic_load_n(&VCLLastErrorCode, __ATOMIC_RELAXED); }
inline int gapWithNtp() { return __atomic_load_n(&g_gap_with_ntp, __ATOMIC_RELAXED); }
inline void setGapWithNtp(int gap) { __atomic_store_n(&g_gap_with_ntp, gap, __ATOMIC_RELAXED); }

// The clock as the library reads it: time() plus the network-time offset.
inline time_t now() { return std::time(nullptr) + gapWithNtp(); }

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using MallocPtr = std::unique_ptr<T, FreeDeleter>;

// A new malloc'd copy of the bytes with a NUL after them (the form of every
// buffer the library hands out); null when memory is short.
char* newBuffer(std::string_view bytes);

// Zeroes a string's bytes before it is released.
inline void wipe(std::string& s) {
    if (!s.empty()) explicit_bzero(s.data(), s.size());
}

// Whitespace the trimming functions remove.
inline bool isTrimmed(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
std::string_view trimmed(std::string_view s);

}  // namespace zcore

// The source position of a library record: the file's own name, not the
// build path.
#define ZCORE_LOG(level, ...) VCL_Log((level), __FILE_NAME__, __LINE__, __VA_ARGS__)

namespace zcore {

// The hex dump shared by the log and VCL_HexaDump: the column header between
// two rules, then 16 bytes a line with their printable characters. The
// closing rule is left to the caller.
void appendHexDump(std::string& out, const unsigned char* data, int len);
extern const char kDumpRule[];  // 80 dashes and a newline

}  // namespace zcore
