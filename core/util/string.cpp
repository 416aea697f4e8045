// Trimming, tokenising, sub-strings and hex texts. No fixed-size copies:
// every text is measured and worked on where it lies.
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <zunCore/error.h>
#include <zunCore/log.h>
#include <zunCore/util.h>

#include "core_internal.hpp"

char* zcore::newBuffer(std::string_view bytes) {
    char* out = static_cast<char*>(std::malloc(bytes.size() + 1));
    if (!out) return nullptr;
    if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
    out[bytes.size()] = '\0';
    return out;
}

std::string_view zcore::trimmed(std::string_view s) {
    while (!s.empty() && isTrimmed(s.front())) s.remove_prefix(1);
    while (!s.empty() && isTrimmed(s.back())) s.remove_suffix(1);
    return s;
}

namespace {

bool inSet(char c, const char* set) { return c != '\0' && std::strchr(set, c) != nullptr; }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Blanks and ':' dropped, every "0x"/"0X" dropped, then leading zeros, then
// upper case.
std::string normalisedHex(const char* s) {
    std::string out;
    for (const char* p = s; *p; ++p) {
        if (*p == ' ' || *p == ':') continue;
        if (*p == '0' && (p[1] == 'x' || p[1] == 'X')) {
            ++p;
            continue;
        }
        if (out.empty() && *p == '0') continue;
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    }
    return out;
}

// The per-thread copy VCL_strtok tokenises when given no text.
thread_local std::string tStrtokCopy;

}  // namespace

extern "C" {

VCL_API void VCL_Free(void* buf, int len) {
    if (!buf) return;
    if (len > 0) explicit_bzero(buf, static_cast<size_t>(len));
    std::free(buf);
}

VCL_API char* VCL_StrTrim(char* s) {
    if (!s) return nullptr;
    const std::string_view t = zcore::trimmed(s);
    if (t.data() != s) std::memmove(s, t.data(), t.size());
    s[t.size()] = '\0';
    return s;
}

VCL_API char* VCL_ltrim(const char* s, const char* set) {
    if (!s) return nullptr;
    if (set)
        while (inSet(*s, set)) ++s;
    return const_cast<char*>(s);
}

VCL_API char* VCL_StrMid(const char* s, int start, int len) {
    if (!s) {
        zcore::setLastError(VCL_ERR_INVALID_PARAM);
        ZCORE_LOG(VCL_LOG_FATAL, "VCL_StrMid() : a_pIn is null");
        return nullptr;
    }
    const size_t size = std::strlen(s);
    if (start < 0 || static_cast<size_t>(start) > size || len < 0) {
        zcore::setLastError(VCL_ERR_INVALID_PARAM);
        ZCORE_LOG(VCL_LOG_FATAL, "VCL_StrMid() : start %d or length %d outside a text of %zu", start, len, size);
        return nullptr;
    }
    const std::string_view mid = std::string_view(s, size).substr(static_cast<size_t>(start), static_cast<size_t>(len));
    char* out = zcore::newBuffer(mid);
    if (!out) {
        zcore::setLastError(VCL_ERR_MEMORY);
        ZCORE_LOG(VCL_LOG_ERROR, "VCL_StrMid() : malloc fail");
    }
    return out;
}

VCL_API int VCL_str_token(int pos, const char* s, int len, char delim, char* token, int* token_len) {
    if (!s || !token || pos < 0) {
        if (token) *token = '\0';
        if (token_len) *token_len = 0;
        return pos;
    }
    int i = pos;
    while (i < len && s[i] && s[i] == delim) ++i;
    int n = 0;
    while (i < len && s[i] && s[i] != delim) token[n++] = s[i++];
    token[n] = '\0';
    if (token_len) *token_len = n;
    return i;
}

VCL_API char* VCL_strtok(char* s, const char* set, char** rest) {
    if (!set || !rest || !*rest) return nullptr;
    char* work;
    if (s) {
        work = s;
    } else {
        tStrtokCopy.assign(*rest);
        work = tStrtokCopy.data();
    }
    while (inSet(*work, set)) ++work;
    if (!*work) {
        **rest = '\0';
        return nullptr;
    }
    char* end = work;
    while (*end && !inSet(*end, set)) ++end;
    if (*end) {
        *end = '\0';
        const char* after = end + 1;
        std::memmove(*rest, after, std::strlen(after) + 1);
    } else {
        **rest = '\0';
    }
    return work;
}

VCL_API char* VCL_replace(const char* s, const char* set, const char* with) {
    if (!s || !set || !with) return nullptr;
    std::string out;
    const char* p = s;
    while (*p) {
        while (inSet(*p, set)) ++p;
        if (!*p) break;
        const char* start = p;
        while (*p && !inSet(*p, set)) ++p;
        out.append(start, p);
        out += with;
    }
    return zcore::newBuffer(out);
}

VCL_API char* VCL_stristr(const char* haystack, const char* needle) {
    if (!haystack || !needle) return nullptr;
    if (!*needle) return *haystack ? const_cast<char*>(haystack) : nullptr;
    for (const char* h = haystack; *h; ++h) {
        size_t i = 0;
        while (needle[i] && h[i] &&
               std::tolower(static_cast<unsigned char>(h[i])) == std::tolower(static_cast<unsigned char>(needle[i])))
            ++i;
        if (!needle[i]) return const_cast<char*>(h);
    }
    return nullptr;
}

VCL_API int VCL_cmp_HEX_STR(const char* a, const char* b) {
    if (!a || !b) return -1;
    const std::string x = normalisedHex(a);
    const std::string y = normalisedHex(b);
    if (x.size() != y.size()) return x.size() > y.size() ? 1 : -1;
    return std::strcmp(x.c_str(), y.c_str());
}

VCL_API int VCL_hexa2i(const char* s) {
    if (!s) return -1;
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s += 2;
    long long value = 0;
    for (; *s; ++s) {
        const int v = hexValue(*s);
        if (v < 0) return -1;
        value = value * 16 + v;
        if (value > INT_MAX) return -1;
    }
    return static_cast<int>(value);
}

VCL_API int VCL_Parse_String_By_Name(char* text, const char* delim, const char* name, char** value) {
    if (!text || !delim || !name || !value) return VCL_CORE_CODE(VCL_CAT_STRING_PARSE_STRING, VCL_R_NULL_PARAM);
    *value = nullptr;
    const std::string_view wanted(name);
    std::string_view found;
    bool any = false;
    std::string_view rest(text);
    while (!rest.empty()) {
        size_t cut = 0;
        while (cut < rest.size() && !inSet(rest[cut], delim)) ++cut;
        const std::string_view item = rest.substr(0, cut);
        rest.remove_prefix(cut < rest.size() ? cut + 1 : cut);
        const size_t eq = item.find('=');
        if (eq == std::string_view::npos) continue;  // not a key=value item
        if (zcore::trimmed(item.substr(0, eq)) == wanted) {
            found = zcore::trimmed(item.substr(eq + 1));
            any = true;
        }
    }
    if (!any) return VCL_CORE_CODE(VCL_CAT_STRING_PARSE_STRING, VCL_R_NOT_FOUND);
    *value = zcore::newBuffer(found);
    if (!*value) return VCL_CORE_CODE(VCL_CAT_STRING_PARSE_STRING, VCL_R_MALLOC);
    return 0;
}

}  // extern "C"
