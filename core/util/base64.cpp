// Base64: libzunPKI's encoder and decoder behind the buffer conventions of
// this library, and the library's own pair that works in caller buffers.
#include <cstring>
#include <string>

#include <zunCore/encode.h>
#include <zunCore/util.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/asn1/base64.h>

#include "core_internal.hpp"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr unsigned char kPad = 64;
constexpr unsigned char kInvalid = 255;

struct DecodeTable {
    unsigned char value[256];
    constexpr DecodeTable() : value() {
        for (auto& v : value) v = kInvalid;
        for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<unsigned char>(i);
        value[static_cast<unsigned char>('=')] = kPad;
    }
};
constexpr DecodeTable kDecode;

// The PKI library's text copied into a buffer of ours; its own is wiped.
int handOut(char* text, int n, char** out, int line) {
    if (n <= 0 || !text) {
        if (text) VSC_Free_Ex(text, 0, "Encode/encode", line);
        return -1;
    }
    *out = zcore::newBuffer({text, static_cast<size_t>(n)});
    VSC_Free_Ex(text, static_cast<size_t>(n), "Encode/encode", line);
    return *out ? n : -1;
}

int encodeLines(const unsigned char* data, int len, char** out, int width) {
    if (!data || len < 0 || !out || width <= 0) return -1;
    *out = nullptr;
    if (len == 0) {
        *out = zcore::newBuffer({});
        return *out ? 0 : -1;
    }
    char* text = nullptr;
    const int n = encode_Base64_Line(data, len, &text, width);
    return handOut(text, n, out, __LINE__);
}

// The own decoder's rules; the bytes go to out only when the whole text
// decodes.
bool decodeOwn(const char* in, int len, std::string& out) {
    unsigned int group = 0;
    int values = 0, pads = 0;
    for (int i = 0; i < len; ++i) {
        const unsigned char c = static_cast<unsigned char>(in[i]);
        if (c == '\r') {
            if (i + 1 >= len || in[i + 1] != '\n') return false;
            ++i;
            continue;
        }
        if (c == '\n') continue;
        unsigned char v = kDecode.value[c];
        if (v == kInvalid) return false;
        if (v == kPad) {
            if (++pads > 2) return false;
            v = 0;
        } else if (pads > 0) {
            return false;  // data after padding
        }
        group = group << 6 | v;
        if (++values == 4) {
            out += static_cast<char>(group >> 16);
            if (pads < 2) out += static_cast<char>(group >> 8 & 0xFF);
            if (pads < 1) out += static_cast<char>(group & 0xFF);
            group = 0;
            values = 0;
        }
    }
    return values == 0;
}

}  // namespace

extern "C" {

VCL_API int VCL_Asc2Bin(int ch) {
    if (ch < 0 || ch > 255) return -1;
    const unsigned char v = kDecode.value[ch];
    return v < 64 ? v : -1;
}

VCL_API int VCL_encode_Base64(const unsigned char* data, int len, char* dst) {
    if (!data || !dst || len < 0) return 0;
    int o = 0;
    int i = 0;
    for (; i + 3 <= len; i += 3) {
        const unsigned g = data[i] << 16 | data[i + 1] << 8 | data[i + 2];
        dst[o++] = kAlphabet[g >> 18];
        dst[o++] = kAlphabet[g >> 12 & 63];
        dst[o++] = kAlphabet[g >> 6 & 63];
        dst[o++] = kAlphabet[g & 63];
    }
    if (len - i == 2) {
        const unsigned g = data[i] << 16 | data[i + 1] << 8;
        dst[o++] = kAlphabet[g >> 18];
        dst[o++] = kAlphabet[g >> 12 & 63];
        dst[o++] = kAlphabet[g >> 6 & 63];
        dst[o++] = '=';
    } else if (len - i == 1) {
        const unsigned g = data[i] << 16;
        dst[o++] = kAlphabet[g >> 18];
        dst[o++] = kAlphabet[g >> 12 & 63];
        dst[o++] = '=';
        dst[o++] = '=';
    }
    dst[o] = '\0';
    return o;
}

VCL_API int VCL_decode_Base64(const char* in, int len, unsigned char* dst) {
    if (!in || !dst || len <= 0) return 0;
    std::string bytes;
    const bool ok = decodeOwn(in, len, bytes);
    if (ok) {
        std::memcpy(dst, bytes.data(), bytes.size());
        dst[bytes.size()] = 0;
    }
    const int n = ok ? static_cast<int>(bytes.size()) : 0;
    zcore::wipe(bytes);  // decoded keys and passwords pass through here
    return n;
}

VCL_API int VCL_Base64_Encode(const unsigned char* data, int len, char** out, int line_flag) {
    if (line_flag) return encodeLines(data, len, out, 64);
    if (!data || len < 0 || !out) return -1;
    *out = nullptr;
    if (len == 0) {
        *out = zcore::newBuffer({});
        return *out ? 0 : -1;
    }
    char* text = nullptr;
    const int n = encode_Base64(data, len, &text, 0);
    return handOut(text, n, out, __LINE__);
}

VCL_API int VCL_Base64_Encode_LF(const unsigned char* data, int len, char** out, int line_len) {
    return encodeLines(data, len, out, line_len);
}

VCL_API int VCL_Base64_Encode_F(const unsigned char* data, int len, char* dst, int line_flag) {
    if (!data || !dst || len < 0) return -1;
    if (!line_flag) return VCL_encode_Base64(data, len, dst);
    char* text = nullptr;
    const int n = encodeLines(data, len, &text, 64);
    if (n < 0) return -1;
    std::memcpy(dst, text, static_cast<size_t>(n) + 1);
    VCL_Free(text, n);
    return n;
}

VCL_API int VCL_Base64_Decode(const char* in, int len, unsigned char** out) {
    if (!in || len <= 0 || !out) return -1;
    *out = nullptr;
    unsigned char* bytes = nullptr;
    const int n = decode_Base64(in, len, &bytes);
    if (n <= 0 || !bytes) {
        if (bytes) VSC_Free(bytes, "Encode/encode", __LINE__);
        return -1;
    }
    *out = reinterpret_cast<unsigned char*>(zcore::newBuffer({reinterpret_cast<char*>(bytes), static_cast<size_t>(n)}));
    VSC_Free_Ex(bytes, static_cast<size_t>(n), "Encode/encode", __LINE__);
    return *out ? n : -1;
}

VCL_API int VCL_Base64_Decode_F(const char* in, int len, unsigned char* dst) {
    const int n = VCL_decode_Base64(in, len, dst);
    return n > 0 ? n : -1;
}

}  // extern "C"
