#include <zunPKI/asn1/convert.h>
#include "convert.hpp"

#include "asn1/pki_buffer.hpp"
#include "pki_mem.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

extern "C" {

const unsigned short cp949Table[] = {
#include "cp949_table.inc"
};
const int cp949TableSize = static_cast<int>(sizeof cp949Table / sizeof cp949Table[0]);

}  // extern "C"

namespace {

constexpr int kLeadFirst = 0xA1, kLeadLast = 0xFD;
constexpr int kTrailFirst = 0xA1, kTrailLast = 0xFE;
constexpr int kColumns = kTrailLast - kTrailFirst + 1;
constexpr int kCells = (kLeadLast - kLeadFirst + 1) * kColumns;
constexpr unsigned short kEmpty = 0xFFFF;
static_assert(sizeof cp949Table / sizeof cp949Table[0] == kCells, "93 rows of 94 cells");

// Code point -> first cell holding it, sorted for binary search; built once.
struct ReverseEntry {
    uint16_t codePoint;
    uint16_t cell;
};

const std::vector<ReverseEntry>& reverseIndex() {
    static const std::vector<ReverseEntry> index = [] {
        std::vector<ReverseEntry> v;
        v.reserve(kCells);
        for (int cell = 0; cell < kCells; ++cell)
            if (cp949Table[cell] != kEmpty) v.push_back({cp949Table[cell], static_cast<uint16_t>(cell)});
        std::stable_sort(v.begin(), v.end(),
                         [](const ReverseEntry& a, const ReverseEntry& b) { return a.codePoint < b.codePoint; });
        return v;
    }();
    return index;
}

std::optional<uint16_t> cellOf(char32_t codePoint) {
    if (codePoint >= kEmpty) return std::nullopt;
    const auto& index = reverseIndex();
    auto it = std::lower_bound(index.begin(), index.end(), codePoint,
                               [](const ReverseEntry& e, char32_t cp) { return e.codePoint < cp; });
    if (it == index.end() || it->codePoint != codePoint) return std::nullopt;
    return it->cell;
}

// The code point of a KS X 1001 pair, or 0 when it is none.
char32_t pairToUnicode(int lead, int trail) {
    if (lead < kLeadFirst || lead > kLeadLast || trail < kTrailFirst || trail > kTrailLast) return 0;
    unsigned short v = cp949Table[(lead - kLeadFirst) * kColumns + (trail - kTrailFirst)];
    return v == kEmpty ? 0 : v;
}

// Walks KS X 1001 text, calling emit(codePoint) per character; false on a
// byte pair that is not a character (a lead byte before the end included).
template <class Emit>
bool walkCP949(std::string_view text, Emit&& emit) {
    for (size_t i = 0; i < text.size(); ++i) {
        auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            emit(char32_t{b});
            continue;
        }
        if (i + 1 >= text.size()) return false;
        char32_t cp = pairToUnicode(b, static_cast<unsigned char>(text[++i]));
        if (cp == 0) return false;
        emit(cp);
    }
    return true;
}

// Walks strict UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
template <class Emit>
bool walkUTF8(std::string_view text, Emit&& emit) {
    for (size_t i = 0; i < text.size();) {
        auto b = static_cast<unsigned char>(text[i]);
        int extra;
        char32_t cp;
        if (b < 0x80) {
            extra = 0;
            cp = b;
        } else if (b >= 0xC2 && b <= 0xDF) {
            extra = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (text.size() - i <= static_cast<size_t>(extra)) return false;
        for (int k = 1; k <= extra; ++k) {
            auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        emit(cp);
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

// Sinks that either count or write the output bytes of each code point.
struct Utf8Out {
    unsigned char* p = nullptr;
    size_t n = 0;
    void operator()(char32_t cp) {
        unsigned char bytes[4];
        size_t k;
        if (cp < 0x80) {
            bytes[0] = static_cast<unsigned char>(cp);
            k = 1;
        } else if (cp < 0x800) {
            bytes[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
            bytes[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            k = 2;
        } else if (cp < 0x10000) {
            bytes[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
            bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            bytes[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            k = 3;
        } else {
            bytes[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
            bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            bytes[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            bytes[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            k = 4;
        }
        if (p != nullptr) std::memcpy(p + n, bytes, k);
        n += k;
    }
};

struct BmpOut {
    unsigned char* p = nullptr;
    size_t n = 0;
    void operator()(char32_t cp) {
        if (p != nullptr) {
            p[n] = static_cast<unsigned char>(cp >> 8);
            p[n + 1] = static_cast<unsigned char>(cp);
        }
        n += 2;
    }
};

// UTF-16BE: characters past U+FFFF as surrogate pairs.
struct Utf16Out {
    unsigned char* p = nullptr;
    size_t n = 0;
    void unit(char32_t u) {
        if (p != nullptr) {
            p[n] = static_cast<unsigned char>(u >> 8);
            p[n + 1] = static_cast<unsigned char>(u);
        }
        n += 2;
    }
    void operator()(char32_t cp) {
        if (cp < 0x10000) {
            unit(cp);
            return;
        }
        cp -= 0x10000;
        unit(0xD800 | (cp >> 10));
        unit(0xDC00 | (cp & 0x3FF));
    }
};

// Walks UTF-16BE; a surrogate without its partner reads as U+FFFD.
template <class Emit>
bool walkUTF16(std::string_view units, Emit&& emit) {
    if (units.size() % 2 != 0) return false;
    auto at = [&](size_t i) {
        return char32_t{static_cast<unsigned char>(units[i])} << 8 | static_cast<unsigned char>(units[i + 1]);
    };
    for (size_t i = 0; i < units.size(); i += 2) {
        char32_t u = at(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 2 < units.size() && at(i + 2) >= 0xDC00 && at(i + 2) <= 0xDFFF) {
            emit(0x10000 + ((u - 0xD800) << 10) + (at(i + 2) - 0xDC00));
            i += 2;
        } else {
            emit(u >= 0xD800 && u <= 0xDFFF ? char32_t{0xFFFD} : u);
        }
    }
    return true;
}

// KS X 1001 output; a character without a cell makes the whole text fail.
struct Cp949Out {
    unsigned char* p = nullptr;
    size_t n = 0;
    bool ok = true;
    void operator()(char32_t cp) {
        if (cp < 0x80) {
            if (p != nullptr) p[n] = static_cast<unsigned char>(cp);
            ++n;
            return;
        }
        auto cell = cellOf(cp);
        if (!cell) {
            ok = false;
            return;
        }
        if (p != nullptr) {
            p[n] = static_cast<unsigned char>(kLeadFirst + *cell / kColumns);
            p[n + 1] = static_cast<unsigned char>(kTrailFirst + *cell % kColumns);
        }
        n += 2;
    }
};

// Two passes over the input: measure, then write into a buffer of exactly
// that size plus a terminator. Returns the length, 0 with *out null on failure.
template <class Sink, class Walk>
int convert(Walk&& walk, unsigned char** out) {
    if (out == nullptr) return 0;
    *out = nullptr;
    Sink measure;
    if (!walk(measure)) return 0;
    if constexpr (requires { measure.ok; }) {
        if (!measure.ok) return 0;
    }
    if (measure.n >= static_cast<size_t>(INT32_MAX)) return 0;
    auto buf = zpki::Buffer::allocate(measure.n + 1);
    if (!buf) return 0;
    Sink write;
    write.p = buf.data();
    walk(write);
    *out = buf.release();
    return static_cast<int>(write.n);
}

std::optional<std::string_view> stringBytes(const ASN1_STRING* str) {
    if (str == nullptr || str->length < 0 || (str->data == nullptr && str->length > 0)) return std::nullopt;
    return std::string_view(reinterpret_cast<const char*>(str->data), static_cast<size_t>(str->length));
}

}  // namespace

namespace zpki::text {

int utf8ToUtf16(std::string_view text, unsigned char** out) {
    return convert<Utf16Out>([text](Utf16Out& s) { return walkUTF8(text, s); }, out);
}

int utf16ToUtf8(std::string_view units, unsigned char** out) {
    return convert<Utf8Out>([units](Utf8Out& s) { return walkUTF16(units, s); }, out);
}

int cp949ToUtf16(std::string_view text, unsigned char** out) {
    return convert<Utf16Out>([text](Utf16Out& s) { return walkCP949(text, s); }, out);
}

}  // namespace zpki::text

extern "C" {

int cp949ToUnicode(int lead, int trail) { return static_cast<int>(pairToUnicode(lead, trail)); }

unsigned char* unicodeToCP949(int codePoint) {
    if (codePoint < 0) return nullptr;
    auto cell = cellOf(static_cast<char32_t>(codePoint));
    if (!cell) return nullptr;
    auto buf = zpki::Buffer::allocate(3);
    if (!buf) return nullptr;
    buf.data()[0] = static_cast<unsigned char>(kLeadFirst + *cell / kColumns);
    buf.data()[1] = static_cast<unsigned char>(kTrailFirst + *cell % kColumns);
    return buf.release();
}

int cp949ToUTF8(const char* text, char** out) {
    if (text == nullptr || out == nullptr) return 0;
    std::string_view in(text);
    return convert<Utf8Out>([in](Utf8Out& s) { return walkCP949(in, s); }, reinterpret_cast<unsigned char**>(out));
}

int cp949ToBMP(const char* text, unsigned char** out) {
    if (text == nullptr || out == nullptr) return 0;
    std::string_view in(text);
    return convert<BmpOut>([in](BmpOut& s) { return walkCP949(in, s); }, out);
}

int utf8ToCP949(const ASN1_STRING* str, char** out) {
    auto in = stringBytes(str);
    if (!in || out == nullptr) {
        if (out != nullptr) *out = nullptr;
        return 0;
    }
    return convert<Cp949Out>([in](Cp949Out& s) { return walkUTF8(*in, s); }, reinterpret_cast<unsigned char**>(out));
}

int bmpToCP949(const ASN1_STRING* str, char** out) {
    auto in = stringBytes(str);
    if (!in || out == nullptr || in->size() % 2 != 0) {
        if (out != nullptr) *out = nullptr;
        return 0;
    }
    auto walkBmp = [in](Cp949Out& s) {
        for (size_t i = 0; i < in->size(); i += 2)
            s(char32_t{static_cast<unsigned char>((*in)[i])} << 8 | static_cast<unsigned char>((*in)[i + 1]));
        return true;
    };
    return convert<Cp949Out>(walkBmp, reinterpret_cast<unsigned char**>(out));
}

unsigned char* ascTouni(const char* text, int len, unsigned char** out, int* outLen) {
    if (out != nullptr) *out = nullptr;
    if (text == nullptr || len < -1) return nullptr;
    size_t n = len == -1 ? std::strlen(text) : static_cast<size_t>(len);
    if (n >= static_cast<size_t>(INT32_MAX / 2)) return nullptr;
    auto buf = zpki::Buffer::allocate(2 * (n + 1));
    if (!buf) return nullptr;
    for (size_t i = 0; i < n; ++i) buf.data()[2 * i + 1] = static_cast<unsigned char>(text[i]);
    if (outLen != nullptr) *outLen = static_cast<int>(2 * (n + 1));
    unsigned char* result = buf.release();
    if (out != nullptr) *out = result;
    return result;
}

char* uniToasc(const unsigned char* units, int len) {
    if (units == nullptr || len < 0) return nullptr;
    size_t n = static_cast<size_t>(len) / 2;
    auto buf = zpki::Buffer::allocate(n + 1);
    if (!buf) return nullptr;
    for (size_t i = 0; i < n; ++i) buf.data()[i] = units[2 * i + 1];
    return buf.releaseChars();
}

int hexToASCII(const char* hex, int len, unsigned char* out) {
    if (hex == nullptr || out == nullptr || len <= 0) return 0;
    zpki::Owned<BIT_STRING, free_BIT_STRING> bits(hexToBIT_STRING(hex, len));
    if (bits == nullptr || bits->length <= 0) return 0;
    std::memcpy(out, bits->data, static_cast<size_t>(bits->length));
    return bits->length;
}

}  // extern "C"
