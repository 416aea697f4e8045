// EUC-KR, UCS-2 and UTF-8 conversion. Lookups allocate nothing: Hangul both
// ways and EUC-KR to UCS-2 index tables directly, UCS-2 to EUC-KR searches the
// sorted pair tables.
#include <cstdlib>
#include <cstring>

#include <zunCore/error.h>
#include <zunCore/korean.h>
#include <zunCore/log.h>

#include "core_internal.hpp"

extern "C" {

#include "korean_tables.inc"

const char bytesFromUTF8[256] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 0x00
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 0x20
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 0x40
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 0x60
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 0x80
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 0xA0
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 0xC0
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5,  // 0xE0
};
const unsigned int offsetsFromUTF8[6] = {0x00000000u, 0x00003080u, 0x000E2080u, 0, 0, 0};
const unsigned char firstByteMark[7] = {0x00, 0x00, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};

}  // extern "C"

namespace {

constexpr unsigned short kReplacement = 0xFFFD;
constexpr unsigned short kNoCode = 0xFFFF;

// Orders two pairs by their UCS-2 value.
int compare(const void* key, const void* pair) {
    const unsigned short a = *static_cast<const unsigned short*>(key);
    const unsigned short b = *static_cast<const unsigned short*>(pair);
    return a > b ? 1 : (a < b ? -1 : 0);
}

template <size_t N>
unsigned short searchPairs(const unsigned short (&table)[N][2], unsigned short ch) {
    size_t lo = 0, hi = N;
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        const int c = compare(&ch, table[mid]);
        if (c == 0) return table[mid][1];
        if (c > 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return kNoCode;
}

// The unit of a KS X 1001 pair (both bytes 0x80 or above).
inline unsigned short kscPairToUcs2(unsigned a, unsigned b) {
    unsigned short u = 0;
    if (a >= 0xB0 && a <= 0xC8 && b >= 0xA1 && b <= 0xFE)
        u = kschangul[(a - 0xB0) * 94 + (b - 0xA1)];
    else if (a >= 0xA1 && a <= 0xAC && b >= 0xA0)
        u = symbol_ksc2uni[(a - 0xA1) * 96 + (b - 0xA0)];
    else if (a >= 0xCA && a <= 0xFD && b >= 0xA0)
        u = hanja_ksc2uni[(a - 0xCA) * 96 + (b - 0xA0)];
    return u ? u : kReplacement;
}

inline unsigned short ucs2ToKscWide(unsigned short c) {
    if (c >= 0xAC00 && c <= 0xD7A3) {
        const unsigned short code = unihan[c - 0xAC00];
        return (code <= 0xA0FF || (code & 0xFF) <= 0xA0) ? kNoCode : code;
    }
    if ((c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF)) return searchPairs(hanja_uni2ksc, c);
    return searchPairs(symbol_uni2ksc, c);
}

inline bool isTrailing(unsigned char b) { return (b & 0xC0) == 0x80; }

int fail(int result, int code) {
    zcore::setLastError(code);
    return result;
}

void* zeroed(size_t count, size_t size) { return std::calloc(count, size); }

}  // namespace

extern "C" {

VCL_API unsigned short VCL_ConvertUCS2ToKSC(unsigned short ch) {
    if (ch < 0x80) return ch;
    if (ch <= 0xFF) {
        const unsigned short code = searchPairs(symbol_uni2ksc_onebyte, ch);
        return code == kNoCode ? ch : code;
    }
    return ucs2ToKscWide(ch);
}

VCL_API int VCL_ConvertStrUTF8ToUCS2(char** in, const char* in_end, unsigned short** out, unsigned short* out_end) {
    if (!in || !*in || !in_end || !out || !*out || !out_end) return fail(VCL_CONV_MALFORMED, VCL_ERR_INVALID_PARAM);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(*in);
    const unsigned char* end = reinterpret_cast<const unsigned char*>(in_end);
    unsigned short* o = *out;
    int result = VCL_CONV_OK;
    while (p < end) {
        const unsigned char lead = *p;
        const int n = bytesFromUTF8[lead];
        if (n >= end - p) {
            result = fail(VCL_CONV_SOURCE_EXHAUSTED, VCL_ERR_UNICODE_SOURCE_SHORT);
            break;
        }
        if (n >= 3) {
            result = fail(VCL_CONV_UCS4, VCL_ERR_UNICODE_UCS4);
            break;
        }
        // Only the shortest form of a UCS-2 character that is not a
        // surrogate: anything else could smuggle a NUL or a different text.
        bool ok;
        if (n == 0)
            ok = lead < 0x80;
        else if (n == 1)
            ok = lead >= 0xC2 && isTrailing(p[1]);
        else
            ok = isTrailing(p[1]) && isTrailing(p[2]) && !(lead == 0xE0 && p[1] < 0xA0) &&
                 !(lead == 0xED && p[1] >= 0xA0);
        if (!ok) {
            result = fail(VCL_CONV_MALFORMED, VCL_ERR_DATA_FORMAT);
            break;
        }
        if (o >= out_end) {
            result = fail(VCL_CONV_TARGET_EXHAUSTED, VCL_ERR_UNICODE_TARGET_FULL);
            break;
        }
        unsigned int value = 0;
        for (int i = 0; i <= n; ++i) value = (value << 6) + p[i];
        *o++ = static_cast<unsigned short>(value - offsetsFromUTF8[n]);
        p += n + 1;
    }
    *in = const_cast<char*>(reinterpret_cast<const char*>(p));
    *out = o;
    return result;
}

VCL_API int VCL_ConvertStrUCS2ToUTF8(unsigned short** in, unsigned short* in_end, char** out, const char* out_end) {
    if (!in || !*in || !in_end || !out || !*out || !out_end)
        return fail(VCL_CONV_TARGET_EXHAUSTED, VCL_ERR_INVALID_PARAM);
    const unsigned short* p = *in;
    unsigned char* o = reinterpret_cast<unsigned char*>(*out);
    const unsigned char* end = reinterpret_cast<const unsigned char*>(out_end);
    int result = VCL_CONV_OK;
    for (; p < in_end; ++p) {
        const unsigned c = *p;
        const int len = c < 0x80 ? 1 : (c < 0x800 ? 2 : 3);
        if (len > end - o) {
            result = fail(VCL_CONV_TARGET_EXHAUSTED, VCL_ERR_UNICODE_TARGET_FULL);
            break;
        }
        switch (len) {
            case 3:
                o[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
                o[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
                o[0] = static_cast<unsigned char>(firstByteMark[3] | (c >> 12));
                break;
            case 2:
                o[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
                o[0] = static_cast<unsigned char>(firstByteMark[2] | (c >> 6));
                break;
            default:
                o[0] = static_cast<unsigned char>(c);
        }
        o += len;
    }
    *in = const_cast<unsigned short*>(p);
    *out = reinterpret_cast<char*>(o);
    return result;
}

VCL_API int VCL_ConvertStrKSCToUCS2(char** in, const char* in_end, unsigned short** out, unsigned short* out_end) {
    if (!in || !*in || !in_end || !out || !*out || !out_end)
        return fail(VCL_CONV_TARGET_EXHAUSTED, VCL_ERR_INVALID_PARAM);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(*in);
    const unsigned char* end = reinterpret_cast<const unsigned char*>(in_end);
    unsigned short* o = *out;
    int result = VCL_CONV_OK;
    while (p < end && *p) {
        if (o >= out_end) {
            result = fail(VCL_CONV_TARGET_EXHAUSTED, VCL_ERR_UNICODE_TARGET_FULL);
            break;
        }
        const unsigned a = p[0];
        const unsigned b = p + 1 < end ? p[1] : 0;
        if (a < 0x80 || b < 0x80) {
            *o++ = static_cast<unsigned short>(a);
            ++p;
        } else {
            *o++ = kscPairToUcs2(a, b);
            p += 2;
        }
    }
    *in = const_cast<char*>(reinterpret_cast<const char*>(p));
    *out = o;
    return result;
}

VCL_API int VCL_ConvertStrUCS2ToKSC(unsigned short** in, unsigned short* in_end, char** out, const char* out_end) {
    if (!in || !*in || !in_end || !out || !*out || !out_end)
        return fail(VCL_CONV_TARGET_EXHAUSTED, VCL_ERR_INVALID_PARAM);
    const unsigned short* p = *in;
    unsigned char* o = reinterpret_cast<unsigned char*>(*out);
    const unsigned char* end = reinterpret_cast<const unsigned char*>(out_end);
    int result = VCL_CONV_OK;
    for (; p < in_end; ++p) {
        const unsigned short c = *p;
        unsigned short code;
        if (c < 0x80) {
            code = c;
        } else if (c <= 0xFF) {
            code = searchPairs(symbol_uni2ksc_onebyte, c);
            if (code == kNoCode) code = c;
        } else {
            if (end - o < 2) {
                result = fail(VCL_CONV_TARGET_EXHAUSTED, VCL_ERR_UNICODE_TARGET_FULL);
                break;
            }
            code = ucs2ToKscWide(c);
        }
        if (code <= 0xFF) {
            if (end - o < 1) {
                result = fail(VCL_CONV_TARGET_EXHAUSTED, VCL_ERR_UNICODE_TARGET_FULL);
                break;
            }
            *o++ = static_cast<unsigned char>(code);
        } else {
            if (end - o < 2) {
                result = fail(VCL_CONV_TARGET_EXHAUSTED, VCL_ERR_UNICODE_TARGET_FULL);
                break;
            }
            *o++ = static_cast<unsigned char>(code >> 8);
            *o++ = static_cast<unsigned char>(code & 0xFF);
        }
    }
    *in = const_cast<unsigned short*>(p);
    *out = reinterpret_cast<char*>(o);
    return result;
}

VCL_API char* VCL_ConvertUTF8ToEUCKR(const char* text) {
    if (!text) {
        ZCORE_LOG(VCL_LOG_FATAL, "NO:[%d], C:VCL_ConvertUTF8ToEUCKR() : invalid argument", VCL_ERR_INVALID_PARAM);
        return nullptr;
    }
    const size_t n = std::strlen(text);
    zcore::MallocPtr<unsigned short> units(static_cast<unsigned short*>(zeroed(n + 1, sizeof(unsigned short))));
    zcore::MallocPtr<char> result(static_cast<char*>(zeroed(n + 1, 1)));
    if (!units || !result) {
        ZCORE_LOG(VCL_LOG_ERROR, "NO:[%d], C:VCL_ConvertUTF8ToEUCKR() : malloc fail", VCL_ERR_MEMORY);
        return nullptr;
    }
    char* in = const_cast<char*>(text);
    unsigned short* u = units.get();
    if (VCL_ConvertStrUTF8ToUCS2(&in, text + n, &u, units.get() + n) != VCL_CONV_OK) return nullptr;
    unsigned short* from = units.get();
    char* o = result.get();
    if (VCL_ConvertStrUCS2ToKSC(&from, u, &o, result.get() + n) != VCL_CONV_OK) return nullptr;
    *o = '\0';
    return result.release();
}

VCL_API char* VCL_ConvertEUCKRToUTF8(const char* text) {
    if (!text) {
        zcore::setLastError(VCL_ERR_INVALID_PARAM);
        return nullptr;
    }
    const size_t n = std::strlen(text);
    zcore::MallocPtr<unsigned short> units(static_cast<unsigned short*>(std::malloc((n + 1) * sizeof(unsigned short))));
    if (!units) {
        zcore::setLastError(VCL_ERR_MEMORY);
        return nullptr;
    }
    char* in = const_cast<char*>(text);
    unsigned short* u = units.get();
    if (VCL_ConvertStrKSCToUCS2(&in, text + n, &u, units.get() + n) != VCL_CONV_OK) return nullptr;
    const size_t count = static_cast<size_t>(u - units.get());
    zcore::MallocPtr<char> result(static_cast<char*>(std::malloc(3 * count + 1)));
    if (!result) {
        zcore::setLastError(VCL_ERR_MEMORY);
        return nullptr;
    }
    unsigned short* from = units.get();
    char* o = result.get();
    if (VCL_ConvertStrUCS2ToUTF8(&from, u, &o, result.get() + 3 * count) != VCL_CONV_OK) return nullptr;
    *o = '\0';
    return result.release();
}

VCL_API char* VCL_ConvertUCS2ToEUCKR(const char* data, int len) {
    if (!data || len < 0) {
        zcore::setLastError(VCL_ERR_INVALID_PARAM);
        return nullptr;
    }
    if (len % 2 != 0) {
        zcore::setLastError(VCL_ERR_UNICODE_NOT_UCS2);
        return nullptr;
    }
    const size_t count = static_cast<size_t>(len) / 2;
    zcore::MallocPtr<unsigned short> units(static_cast<unsigned short*>(zeroed(count + 1, sizeof(unsigned short))));
    if (!units) return nullptr;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data);
    for (size_t i = 0; i < count; ++i)
        units.get()[i] = static_cast<unsigned short>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
    zcore::MallocPtr<char> result(static_cast<char*>(zeroed(static_cast<size_t>(len) + 1, 1)));
    if (!result) {
        zcore::setLastError(VCL_ERR_MEMORY);
        return nullptr;
    }
    unsigned short* from = units.get();
    char* o = result.get();
    if (VCL_ConvertStrUCS2ToKSC(&from, units.get() + count, &o, result.get() + len) != VCL_CONV_OK) return nullptr;
    *o = '\0';
    return result.release();
}

VCL_API unsigned short* VCL_ConvertEUCKRToUCS2(const char* text, int* out_len) {
    if (!text || !out_len) {
        zcore::setLastError(VCL_ERR_INVALID_PARAM);
        return nullptr;
    }
    const size_t n = std::strlen(text);
    zcore::MallocPtr<unsigned short> units(static_cast<unsigned short*>(zeroed(n + 1, sizeof(unsigned short))));
    if (!units) {
        zcore::setLastError(VCL_ERR_MEMORY);
        return nullptr;
    }
    char* in = const_cast<char*>(text);
    unsigned short* u = units.get();
    if (VCL_ConvertStrKSCToUCS2(&in, text + n, &u, units.get() + n) != VCL_CONV_OK) return nullptr;
    *out_len = static_cast<int>(2 * (u - units.get()));
    return units.release();
}

VCL_API int VCL_IsOnlyASCII(const unsigned char* text) {
    if (!text) return 0;
    for (; *text; ++text)
        if (*text < 0x20 || *text > 0x7E) return 0;
    return 1;
}

VCL_API int VCL_IsOnlyUTF8(const unsigned char* text) {
    if (!text) return 0;
    int pending = 0;
    for (; *text; ++text) {
        const unsigned char b = *text;
        if (pending > 0) {
            if (!isTrailing(b)) return 0;
            --pending;
        } else if (b < 0x80) {
            continue;
        } else if (b >= 0xC0 && b <= 0xDF) {
            pending = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            pending = 2;
        } else if (b >= 0xF0 && b <= 0xF7) {
            pending = 3;
        } else if (b >= 0xF8 && b <= 0xFB) {
            pending = 4;
        } else if (b >= 0xFC && b <= 0xFD) {
            pending = 5;
        } else {
            return 0;
        }
    }
    return 1;
}

VCL_API int VCL_IsOnlyDBCS(const unsigned char* text) {
    if (!text) return 0;
    bool second = false;
    for (; *text; ++text) {
        const unsigned char b = *text;
        if (b >= 0x80 && b <= 0xA0) return 0;
        if (second) {
            if (b < 0xA1 || b > 0xFE) return 0;
            second = false;
        } else if (b >= 0xA1 && b <= 0xFE) {
            second = true;
        }
    }
    return 1;
}

}  // extern "C"
