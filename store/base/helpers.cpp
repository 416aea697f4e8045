// The shared helpers of store_internal.hpp.
#include <cstring>

#include <zunCore/korean.h>

#include "store_internal.hpp"

namespace zstore {

void (*g_releaseHook)(const void* p, size_t n) = nullptr;

char* newBuffer(std::string_view bytes) {
    char* out = static_cast<char*>(std::malloc(bytes.size() + 1));
    if (!out) return nullptr;
    if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
    out[bytes.size()] = '\0';
    return out;
}

int handOut(std::string_view bytes, char** out, int* outLen) {
    *out = nullptr;
    *outLen = 0;
    if (bytes.size() > static_cast<size_t>(INT32_MAX - 1)) return VPL_ERR_MALLOC;
    char* copy = newBuffer(bytes);
    if (!copy) return VPL_ERR_MALLOC;
    *out = copy;
    *outLen = static_cast<int>(bytes.size());
    return 0;
}

void release(void* p, size_t n) {
    if (!p) return;
    if (n) explicit_bzero(p, n);
    if (g_releaseHook) g_releaseHook(p, n);
    std::free(p);
}

int fail(const char* function, int code) {
    ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Error code : %s(0x%08x)\n", function, VPL_GetErrorString(code),
               static_cast<unsigned>(code));
    return code;
}

std::string_view bounded(const char* text, int len) {
    if (!text || len <= 0) return {};
    return {text, strnlen(text, static_cast<size_t>(len))};
}

std::string upperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = upperAscii(c);
    return out;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (upperAscii(a[i]) != upperAscii(b[i])) return false;
    return true;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalNoCase(text.substr(0, prefix.size()), prefix);
}

size_t findNoCase(std::string_view text, std::string_view pattern) {
    if (pattern.empty() || pattern.size() > text.size()) return std::string_view::npos;
    for (size_t i = 0; i + pattern.size() <= text.size(); ++i)
        if (equalNoCase(text.substr(i, pattern.size()), pattern)) return i;
    return std::string_view::npos;
}

bool isSafeComponent(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

bool eucKrToUtf8(std::string_view euc, std::string& utf8) {
    // The converter reads up to a zero byte; a text holding one is no name.
    if (euc.find('\0') != std::string_view::npos) return false;
    const std::string text(euc);
    MallocPtr<char> converted(VCL_ConvertEUCKRToUTF8(text.c_str()));
    if (!converted) return false;
    utf8 = converted.get();
    return true;
}

InfoPtr readInfo(const void* cert, int len) {
    if (!cert || len <= 0) return nullptr;
    X509_Info* info = nullptr;
    if (VCL_X509_Init_X509_Info(cert, len, '|', &info) != 0) {
        VCL_X509_Free_X509_Info(info);
        return nullptr;
    }
    return InfoPtr(info);
}

unsigned long keyUsageValue(const char* text) {
    unsigned long value = 0;
    for (const char* p = text; p && *p; ++p) {
        const char c = *p;
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;
        value = value << 4 | static_cast<unsigned long>(digit);
        if (value > 0xFFFFFF) break;  // the store looks at the first byte only
    }
    return value;
}

}  // namespace zstore
