// URL form encoding, as browsers and python's quote_plus/unquote_plus have it.
#include <cstdlib>
#include <cstring>

#include <zunCore/encode.h>
#include <zunCore/error.h>
#include <zunCore/log.h>

#include "core_internal.hpp"

namespace {

bool staysAsIs(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '@' || c == '.' ||
           c == '/' || c == '_' || c == '-';
}

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// out holds 3 * len + 1 bytes; returns the length written (NUL added).
size_t encode(const unsigned char* in, size_t len, char* out) {
    static constexpr char kHex[] = "0123456789abcdef";
    size_t o = 0;
    for (size_t i = 0; i < len; ++i) {
        const unsigned char c = in[i];
        if (staysAsIs(c)) {
            out[o++] = static_cast<char>(c);
        } else if (c == ' ') {
            out[o++] = '+';
        } else {
            out[o++] = '%';
            out[o++] = kHex[c >> 4];
            out[o++] = kHex[c & 15];
        }
    }
    out[o] = '\0';
    return o;
}

// out may be in; returns the length written (NUL added). A "%" without two
// hex digits after it is kept, as python's unquote keeps it.
size_t decode(const char* in, size_t len, char* out) {
    size_t o = 0;
    for (size_t i = 0; i < len; ++i) {
        const char c = in[i];
        if (c == '%' && i + 2 < len && isHex(in[i + 1]) && isHex(in[i + 2])) {
            out[o++] = static_cast<char>(VCL_Hex2Char(in[i + 1], in[i + 2]));
            i += 2;
        } else {
            out[o++] = c == '+' ? ' ' : c;
        }
    }
    out[o] = '\0';
    return o;
}

}  // namespace

extern "C" {

VCL_API int VCL_Hex2Char(int hi, int lo) {
    auto value = [](int c) { return c >= 'A' ? ((c & ~0x20) - 'A' + 10) : (c - '0'); };
    return (value(hi) << 4 | value(lo)) & 0xFF;
}

VCL_API char* VCL_URLEncode(const char* text) {
    if (!text) return nullptr;
    const size_t len = std::strlen(text);
    char* out = static_cast<char*>(std::malloc(3 * len + 1));
    if (!out) return nullptr;
    encode(reinterpret_cast<const unsigned char*>(text), len, out);
    return out;
}

VCL_API int VCL_URLDecode(char* text) {
    if (!text) {
        ZCORE_LOG(VCL_LOG_FATAL, "NO:[%d], C:VCL_URLDecode() : invalid argument", VCL_ERR_INVALID_PARAM);
        return 0;
    }
    return static_cast<int>(decode(text, std::strlen(text), text));
}

VCL_API int VCL_URL_Encode(const char* in, int len, char* out, int* out_len) {
    if (!in || len <= 0 || !out || !out_len) {
        VCL_Log(VCL_LOG_ERROR, "Encode/encode", 228, "[%d][VCL_URL_Encode(): parameter error. in == NULL || inlen <=0]",
                VCL_ERR_INVALID_PARAM);
        return VCL_ERR_INVALID_PARAM;
    }
    *out_len = static_cast<int>(encode(reinterpret_cast<const unsigned char*>(in), static_cast<size_t>(len), out));
    return 0;
}

VCL_API int VCL_URL_Decode(const char* in, int len, char* out, int* out_len) {
    if (!in || len < 0 || !out || !out_len) {
        VCL_Log(VCL_LOG_ERROR, "Encode/encode", 263,
                "[%d][VCL_URL_Decode() : invalid argument. indata == NULL || inlen <= 0]", VCL_ERR_INVALID_PARAM);
        return VCL_ERR_INVALID_PARAM;
    }
    *out_len = static_cast<int>(decode(in, static_cast<size_t>(len), out));
    return 0;
}

}  // extern "C"
