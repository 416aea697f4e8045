// Helpers shared by the sources of libzephaltpavix: buffers handed to
// callers, failure logging, bounded texts, case-insensitive compares and the
// core records the store reads.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include <zephaltpavix/base.h>
#include <zephaltpavix/error.h>
#include <zunCore/log.h>
#include <zunCore/util.h>
#include <zunCore/x509_info.h>

namespace zstore {

// Every log record of the library names this file.
inline constexpr const char* kLogSource = "ZEPHALTPavix";

// The value VPL_GetLastError reports.
void setLastError(int code);

// ---- Buffers ---------------------------------------------------------------

// A new malloc'd copy of the bytes with a zero byte after them (the form of
// every buffer the library hands out); null when memory is short.
char* newBuffer(std::string_view bytes);

// Hands out a copy through out and outLen: 0, or VPL_ERR_MALLOC (outputs
// null and 0).
int handOut(std::string_view bytes, char** out, int* outLen);

// Zeroes n bytes of p, then frees it; null is ignored. Everything the
// library releases that held a key, a password or session material goes
// through here.
void release(void* p, size_t n);
inline void release(void* p, int n) { release(p, n > 0 ? static_cast<size_t>(n) : 0); }

// Tests: called by release with the zeroed bytes just before they are freed.
extern void (*g_releaseHook)(const void* p, size_t n);

// Zeroes a string's bytes (secrets in std::string before they go).
inline void wipe(std::string& s) {
    if (!s.empty()) explicit_bzero(s.data(), s.size());
}

// Releases a buffer of libzunCore (VCL_Free) when the scope ends.
struct CoreBuffer {
    unsigned char* bytes = nullptr;
    int len = 0;
    CoreBuffer() = default;
    CoreBuffer(const CoreBuffer&) = delete;
    CoreBuffer& operator=(const CoreBuffer&) = delete;
    ~CoreBuffer() { VCL_Free(bytes, len); }
    std::string_view view() const {
        return bytes ? std::string_view(reinterpret_cast<const char*>(bytes), static_cast<size_t>(len))
                     : std::string_view();
    }
};

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using MallocPtr = std::unique_ptr<T, FreeDeleter>;

// ---- Failures ----------------------------------------------------------------

// Logs "<function> () : Error code : <text>(0x<code>)" at level 3 and
// returns code.
int fail(const char* function, int code);

// ---- Texts -------------------------------------------------------------------

// At most len bytes of text, up to its zero: a text with an explicit length
// is never read past either. Empty for null or a negative length.
std::string_view bounded(const char* text, int len);

inline char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
std::string upperAscii(std::string_view text);
bool equalNoCase(std::string_view a, std::string_view b);
bool startsWithNoCase(std::string_view text, std::string_view prefix);
// The first occurrence of pattern in text, letters compared without case;
// npos for an empty pattern.
size_t findNoCase(std::string_view text, std::string_view pattern);

// A name that is one path component: not empty, not "." or "..", without
// "/" or a zero byte.
bool isSafeComponent(std::string_view name);

// EUC-KR text (as the core's records hold it) in UTF-8; false when the
// conversion fails.
bool eucKrToUtf8(std::string_view euc, std::string& utf8);

// ---- Certificates --------------------------------------------------------------

struct InfoDeleter {
    void operator()(X509_Info* p) const { VCL_X509_Free_X509_Info(p); }
};
using InfoPtr = std::unique_ptr<X509_Info, InfoDeleter>;

// The information record of DER or PEM bytes (separator '|'), or null.
InfoPtr readInfo(const void* cert, int len);

// A record's text field as a view (empty for null).
inline std::string_view field(const char* text) { return text ? std::string_view(text) : std::string_view(); }

// The key usage's first byte as the store reads the text ("C0", "03:08"):
// hex digits up to the first other character; 0 without.
unsigned long keyUsageValue(const char* text);

// ---- Process state -------------------------------------------------------------

// Release functions of the blocks the index-based list and the session-key
// table allocate: their modules set them, VPL_Cleanup calls them.
extern void (*g_releaseCertBlock)();
extern void (*g_releaseSkIdBlock)();

}  // namespace zstore

// A library log record (the file and line are the library's, not passed on).
#define ZSTORE_LOG(level, ...) VPL_Log((level), zstore::kLogSource, __LINE__, __VA_ARGS__)
