// Pattern compression: runs of one character class, each a header byte and
// its characters packed in the class's width.
#include <array>
#include <cstring>

#include <zunCore/compress.h>
#include <zunCore/error.h>

#include "util/core_internal.hpp"

namespace {

// Code of a character in a class, -1 when it is not a member.
using Encoder = int (*)(unsigned char);
using Decoder = unsigned char (*)(int);

// The six extra members of the case classes, in code order after the 26 letters.
constexpr char kCaseExtras[] = {' ', '\t', '\n', '\r', '-', '='};
constexpr char kNumericExtras[] = {' ', '-', '=', '#', '\n', '\r'};

int caseExtra(unsigned char c) {
    for (int i = 0; i < 6; ++i)
        if (c == static_cast<unsigned char>(kCaseExtras[i])) return 26 + i;
    return -1;
}

struct Class {
    char code;       // its mark in the class buffer
    int header;      // high nibble of its run headers
    int bits;        // payload bits per character
    int minRun;      // shortest run that is marked
    int maxRun;      // longest run one header carries
    Encoder encode;  // null: no payload
    Decoder decode;
};

const Class kClasses[] = {
    {'1', 0x10, 0, 1, 16, [](unsigned char c) { return c == ' ' ? 0 : -1; }, [](int) -> unsigned char { return ' '; }},
    {'2', 0x20, 4, 4, 16,
     [](unsigned char c) {
         if (c >= '0' && c <= '9') return c - '0';
         for (int i = 0; i < 6; ++i)
             if (c == static_cast<unsigned char>(kNumericExtras[i])) return 10 + i;
         return -1;
     },
     [](int v) -> unsigned char { return v < 10 ? static_cast<unsigned char>('0' + v) : kNumericExtras[v - 10]; }},
    {'3', 0x30, 6, 6, 16,
     [](unsigned char c) {
         if (c >= 'A' && c <= 'Z') return c - 'A';
         if (c >= 'a' && c <= 'z') return 26 + c - 'a';
         if (c >= '0' && c <= '9') return 52 + c - '0';
         if (c == ' ') return 62;
         if (c == '-') return 63;
         return -1;
     },
     [](int v) -> unsigned char {
         if (v < 26) return static_cast<unsigned char>('A' + v);
         if (v < 52) return static_cast<unsigned char>('a' + v - 26);
         if (v < 62) return static_cast<unsigned char>('0' + v - 52);
         return v == 62 ? ' ' : '-';
     }},
    {'4', 0x40, 5, 5, 16, [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' : caseExtra(c); },
     [](int v) -> unsigned char { return v < 26 ? static_cast<unsigned char>('a' + v) : kCaseExtras[v - 26]; }},
    {'5', 0x50, 5, 5, 16, [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' : caseExtra(c); },
     [](int v) -> unsigned char { return v < 26 ? static_cast<unsigned char>('A' + v) : kCaseExtras[v - 26]; }},
    {'6', 0x60, 7, 7, 14, [](unsigned char c) { return c < 0x80 ? int{c} : -1; },
     [](int v) -> unsigned char { return static_cast<unsigned char>(v); }},
    {'7', 0x70, 6, 6, 16, [](unsigned char c) { return c < 0x40 ? int{c} : -1; },
     [](int v) -> unsigned char { return static_cast<unsigned char>(v); }},
    {'8', 0x80, 6, 6, 16, [](unsigned char c) { return c >= 0x40 && c < 0x80 ? c - 0x40 : -1; },
     [](int v) -> unsigned char { return static_cast<unsigned char>(v + 0x40); }},
    {'9', 0x90, 6, 6, 16, [](unsigned char c) { return c >= 0x80 && c < 0xC0 ? c - 0x80 : -1; },
     [](int v) -> unsigned char { return static_cast<unsigned char>(v + 0x80); }},
    {'A', 0xA0, 6, 6, 16, [](unsigned char c) { return c >= 0xC0 ? c - 0xC0 : -1; },
     [](int v) -> unsigned char { return static_cast<unsigned char>(v + 0xC0); }},
    {'B', 0xB0, 7, 7, 14, [](unsigned char c) { return c >= 0x80 ? c - 0x80 : -1; },
     [](int v) -> unsigned char { return static_cast<unsigned char>(v + 0x80); }},
};

// Unclassified bytes, carried unchanged.
const Class kRaw = {'0',
                    0xF0,
                    8,
                    0,
                    16,
                    [](unsigned char c) { return int{c}; },
                    [](int v) -> unsigned char { return static_cast<unsigned char>(v); }};

const Class* byCode(char code) {
    for (const Class& c : kClasses)
        if (c.code == code) return &c;
    return nullptr;
}

// The class of a stream header's high nibble; 0x0, 0xC-0xF read as unclassified.
const Class& byHeader(int header) {
    const int base = header & 0xF0;
    for (const Class& c : kClasses)
        if (c.header == base) return c;
    return kRaw;
}

// Marks every still unclassified run of members that is long enough.
int mark(const Class& cls, const unsigned char* in, char* pattern, int len) {
    if (!in || !pattern || len <= 0) return -1;
    int marked = 0;
    int i = 0;
    while (i < len) {
        if (pattern[i] != '0' || cls.encode(in[i]) < 0) {
            ++i;
            continue;
        }
        int j = i;
        while (j < len && pattern[j] == '0' && cls.encode(in[j]) >= 0) ++j;
        if (j - i >= cls.minRun) {
            VCL_SetCheckFlag(i, j - 1, pattern, cls.code);
            marked += j - i;
        }
        i = j;
    }
    return marked;
}

// Bits written most significant first into a bounded stream.
class BitWriter {
public:
    BitWriter(unsigned char* out, int room, int pos) : m_out(out), m_room(room), m_pos(pos) {}
    bool put(int value, int bits) {
        for (int b = bits - 1; b >= 0; --b) {
            if (m_used == 0) {
                if (m_pos >= m_room) return false;
                m_out[m_pos++] = 0;
            }
            if ((value >> b) & 1) m_out[m_pos - 1] |= static_cast<unsigned char>(0x80 >> m_used);
            m_used = (m_used + 1) & 7;
        }
        return true;
    }
    bool byte(int value) {
        m_used = 0;
        return put(value, 8);
    }
    void align() { m_used = 0; }
    int pos() const { return m_pos; }

private:
    unsigned char* m_out;
    int m_room;
    int m_pos;
    int m_used = 0;  // bits used of the last byte; 0 starts a new one
};

// One run: its header and its packed codes. False when the stream is full.
bool writeRun(BitWriter& w, const Class& cls, const unsigned char* in, int from, int count) {
    if (!w.byte(cls.header | (count - 1))) return false;
    for (int k = 0; k < count && cls.bits > 0; ++k)
        if (!w.put(cls.encode(in[from + k]), cls.bits)) return false;
    w.align();
    return true;
}

int compressFail() {
    zcore::setLastError(VCL_ERR_COMPRESS);
    return -1;
}

int decompressFail() {
    zcore::setLastError(VCL_ERR_DECOMPRESS);
    return -1;
}

// The class a position is written in: its mark when the byte belongs to it.
const Class& effective(const unsigned char* in, const char* pattern, int i) {
    const Class* cls = byCode(pattern[i]);
    return cls && cls->encode(in[i]) >= 0 ? *cls : kRaw;
}

}  // namespace

extern "C" {

VCL_API void VCL_SetCheckFlag(int from, int to, char* buffer, int code) {
    if (!buffer || from < 0) return;
    for (int i = from; i <= to; ++i) buffer[i] = static_cast<char>(code);
}

VCL_API int VCL_SetBlankPattern(const unsigned char* in, char* pattern, int len) {
    return mark(kClasses[0], in, pattern, len);
}

VCL_API int VCL_SetNumericPattern(const unsigned char* in, char* pattern, int len) {
    const int n = mark(kClasses[1], in, pattern, len);
    return n < 0 ? 0 : n;
}

#define ZCORE_MARKER(name, index)                                       \
    VCL_API int name(const unsigned char* in, char* pattern, int len) { \
        mark(kClasses[index], in, pattern, len);                        \
        return 0;                                                       \
    }
ZCORE_MARKER(VCL_SetAlphaNumericCasePattern, 2)
ZCORE_MARKER(VCL_SetLowerCasePattern, 3)
ZCORE_MARKER(VCL_SetUpperCasePattern, 4)
ZCORE_MARKER(VCL_SetControlASCIIPattern, 5)
ZCORE_MARKER(VCL_SetControlFrontPattern, 6)
ZCORE_MARKER(VCL_SetControlTailPattern, 7)
ZCORE_MARKER(VCL_SetBinaryFrontPattern, 8)
ZCORE_MARKER(VCL_SetBinaryTailPattern, 9)
ZCORE_MARKER(VCL_SetBinaryPattern, 10)
#undef ZCORE_MARKER

VCL_API int VCL_Compress(const unsigned char* in, const char* pattern, int len, unsigned char* out) {
    if (!in || !pattern || !out || len <= 0 || len > VCL_COMPRESS_MAX_TEXT) return compressFail();
    BitWriter w(out, VCL_COMPRESS_MAX_STREAM, 0);
    int runs = 0;
    for (int i = 0; i < len;) {
        const Class& cls = effective(in, pattern, i);
        int n = 1;
        while (i + n < len && n < cls.maxRun && &effective(in, pattern, i + n) == &cls) ++n;
        if (++runs > VCL_COMPRESS_MAX_RUNS || !writeRun(w, cls, in, i, n)) return compressFail();
        i += n;
    }
    out[w.pos()] = 0;
    return w.pos();
}

VCL_API int VCL_CompressData(const unsigned char* in, char* pattern, int len, unsigned char* out) {
    if (!in || !pattern || !out || len <= 0 || len > VCL_COMPRESS_MAX_TEXT) return compressFail();
    std::memset(pattern, '0', static_cast<size_t>(len) + 1);
    pattern[len + 1] = '\0';
    VCL_SetBlankPattern(in, pattern, len);
    VCL_SetNumericPattern(in, pattern, len);
    VCL_SetLowerCasePattern(in, pattern, len);
    VCL_SetUpperCasePattern(in, pattern, len);
    VCL_SetAlphaNumericCasePattern(in, pattern, len);
    VCL_SetControlFrontPattern(in, pattern, len);
    VCL_SetControlTailPattern(in, pattern, len);
    VCL_SetControlASCIIPattern(in, pattern, len);
    VCL_SetBinaryPattern(in, pattern, len);
    return VCL_Compress(in, pattern, len, out);
}

VCL_API int VCL_CompressPattern2(const unsigned char* in, int start, int end, int* pos, unsigned char* out) {
    const Class& numeric = kClasses[1];
    if (!in || !pos || !out || *pos < 0 || start < 0 || end < start || end - start >= numeric.maxRun) return -1;
    for (int i = start; i <= end; ++i)
        if (numeric.encode(in[i]) < 0) return -1;
    // A run needs at most 9 bytes; the room beyond *pos is the caller's.
    BitWriter w(out, *pos + 9, *pos);
    if (!writeRun(w, numeric, in, start, end - start + 1)) return -1;
    *pos = w.pos();
    return 0;
}

VCL_API int VCL_Decompress(const unsigned char* stream, int len, unsigned char* out) {
    if (!stream || !out || len < 1 || len > VCL_COMPRESS_MAX_STREAM) return decompressFail();
    int produced = 0;
    int pos = 0;
    while (pos < len) {
        const int header = stream[pos++];
        const Class& cls = byHeader(header);
        const int count = (header & 0x0F) + 1;
        // The run's payload must lie inside the stream, its text inside the buffer.
        const int payload = (count * cls.bits + 7) / 8;
        if (payload > len - pos || count > VCL_COMPRESS_MAX_TEXT - produced) return decompressFail();
        int bit = 0;
        for (int k = 0; k < count; ++k) {
            int value = 0;
            for (int b = 0; b < cls.bits; ++b, ++bit)
                value = (value << 1) | ((stream[pos + bit / 8] >> (7 - bit % 8)) & 1);
            out[produced++] = cls.decode(value);
        }
        pos += payload;
    }
    out[produced] = 0;
    return produced;
}

}  // extern "C"
