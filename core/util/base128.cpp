// Base128: two length characters, then the bytes as 7-bit groups (value + 46),
// most significant bit first, with "." (a zero group) as filler.
#include <cstdlib>
#include <cstring>

#include <zunCore/encode.h>
#include <zunCore/error.h>
#include <zunCore/log.h>

#include "core_internal.hpp"

namespace {

constexpr int kBase = 46;           // '.', the character of value 0
constexpr int kHighest = 46 + 127;  // 0xAD

int refuse(int code) {
    zcore::setLastError(code);
    return -1;
}

}  // namespace

extern "C" {

VCL_API int VCL_Base128_Encode(const unsigned char* data, int len, int min_out, char** out) {
    // Two characters of 7 bits hold lengths up to 16383 only.
    if (!data || len <= 0 || len > VCL_BASE128_MAX_INPUT || min_out <= 0 || !out)
        return refuse(VCL_ERR_BASE128_ENCODE_PARAM);
    *out = nullptr;
    const int size = len / 7 * 8 + (len % 7 ? 8 : 0);
    const int outLen = min_out > size + 2 ? min_out : size + 2;
    char* text = static_cast<char*>(std::malloc(static_cast<size_t>(outLen) + 1));
    if (!text) return -1;
    std::memset(text, kBase, static_cast<size_t>(outLen));
    text[outLen] = '\0';
    text[0] = static_cast<char>(((len >> 7) & 0x7F) + kBase);
    text[1] = static_cast<char>((len & 0x7F) + kBase);
    // ceil(8 * len / 7) groups of the bit stream, the last padded with zeros.
    const long long groups = (8LL * len + 6) / 7;
    unsigned int bits = 0;
    int held = 0, next = 0;
    for (long long g = 0; g < groups; ++g) {
        while (held < 7) {
            bits = bits << 8 | (next < len ? data[next] : 0);
            ++next;
            held += 8;
        }
        held -= 7;
        text[2 + g] = static_cast<char>(((bits >> held) & 0x7F) + kBase);
        bits &= (1u << held) - 1;
    }
    *out = text;
    return outLen;
}

VCL_API int VCL_Base128Encoding(const unsigned char* data, int len, int min_out, char** out) {
    return VCL_Base128_Encode(data, len, min_out, out);
}

VCL_API int VCL_Base128_Decode(const char* in, int len, unsigned char** out) {
    if (!in || len < 2 || !out) return refuse(VCL_ERR_BASE128_DECODE_PARAM);
    *out = nullptr;
    const unsigned char* text = reinterpret_cast<const unsigned char*>(in);
    for (int i = 0; i < len; ++i)
        if (text[i] < kBase || text[i] > kHighest) return refuse(VCL_ERR_BASE128_DECODE_PARAM);
    const int n = (text[0] - kBase) * 128 + (text[1] - kBase);
    // The characters after the length carry 7 bits each.
    if (n > static_cast<long long>(len - 2) * 7 / 8) return refuse(VCL_ERR_BASE128_DECODE_PARAM);
    // "크기" (size), as EUC-KR.
    ZCORE_LOG(VCL_LOG_DEBUG, "\xC5\xA9\xB1\xE2:%d", n);
    unsigned char* bytes = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(n) + 1));
    if (!bytes) return -1;
    unsigned int bits = 0;
    int held = 0, written = 0;
    for (int i = 2; i < len && written < n; ++i) {
        bits = bits << 7 | static_cast<unsigned>(text[i] - kBase);
        held += 7;
        if (held >= 8) {
            held -= 8;
            bytes[written++] = static_cast<unsigned char>(bits >> held);
            bits &= (1u << held) - 1;
        }
    }
    bytes[n] = 0;
    *out = bytes;
    return n;
}

VCL_API int VCL_Base128Decoding(const char* in, int len, unsigned char** out) {
    return VCL_Base128_Decode(in, len, out);
}

}  // extern "C"
