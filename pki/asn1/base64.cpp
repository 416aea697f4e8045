#include <zunPKI/asn1/base64.h>

#include "asn1/pki_buffer.hpp"

#include <array>
#include <climits>
#include <cstdint>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint8_t kPad = 64;
constexpr uint8_t kInvalid = 255;

constexpr std::array<uint8_t, 256> makeDecodeTable() {
    std::array<uint8_t, 256> t{};
    t.fill(kInvalid);
    for (uint8_t i = 0; i < 64; ++i) t[static_cast<uint8_t>(kAlphabet[i])] = i;
    t['='] = kPad;
    return t;
}
constexpr auto kDecode = makeDecodeTable();

// Text length of len bytes in lines of width (0: one line), with or without a
// newline after the last line; -1 when it does not fit an int.
long long encodedLength(int len, int width, bool finalNewline) {
    long long chars = 4LL * ((static_cast<long long>(len) + 2) / 3);
    if (chars == 0) return 0;
    long long breaks = width > 0 ? (chars - 1) / width : 0;
    long long total = chars + breaks + (finalNewline ? 1 : 0);
    return total < INT_MAX ? total : -1;
}

int encode(const unsigned char* data, int len, char** text, int width, bool finalNewline) {
    if (data == nullptr || text == nullptr || len < 0) return 0;
    *text = nullptr;
    long long total = encodedLength(len, width, finalNewline);
    if (total < 0) return 0;
    auto out = zpki::Buffer::allocate(static_cast<size_t>(total) + 1);
    if (!out) return 0;
    char* p = reinterpret_cast<char*>(out.data());
    int column = 0;
    auto put = [&](char c) {
        if (width > 0 && column == width) {
            *p++ = '\n';
            column = 0;
        }
        *p++ = c;
        ++column;
    };
    int i = 0;
    for (; i + 3 <= len; i += 3) {
        uint32_t v = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8) | data[i + 2];
        put(kAlphabet[(v >> 18) & 63]);
        put(kAlphabet[(v >> 12) & 63]);
        put(kAlphabet[(v >> 6) & 63]);
        put(kAlphabet[v & 63]);
    }
    if (int rest = len - i; rest > 0) {
        uint32_t v = uint32_t{data[i]} << 16;
        if (rest == 2) v |= uint32_t{data[i + 1]} << 8;
        put(kAlphabet[(v >> 18) & 63]);
        put(kAlphabet[(v >> 12) & 63]);
        put(rest == 2 ? kAlphabet[(v >> 6) & 63] : '=');
        put('=');
    }
    if (finalNewline && total > 0) *p++ = '\n';
    *p = '\0';
    *text = reinterpret_cast<char*>(out.release());
    return static_cast<int>(total);
}

}  // namespace

extern "C" {

int encode_Base64(const unsigned char* data, int len, char** text, int lineFlag) {
    return encode(data, len, text, lineFlag == 1 ? 64 : 0, false);
}

int encode_Base64_Line(const unsigned char* data, int len, char** text, int width) {
    if (width <= 0) return 0;
    return encode(data, len, text, width, true);
}

int decode_Base64(const char* text, int len, unsigned char** bytes) {
    if (text == nullptr || bytes == nullptr || len < 0) return 0;
    *bytes = nullptr;
    // Every four characters give at most three bytes; line ends only shrink it.
    auto out = zpki::Buffer::allocate(static_cast<size_t>(len) / 4 * 3 + 1);
    if (!out) return 0;
    unsigned char* p = out.data();
    uint32_t group = 0;
    int inGroup = 0;
    int padInGroup = 0;
    bool padded = false;
    for (int i = 0; i < len; ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') continue;
        if (c == '\r') {
            if (i + 1 < len && text[i + 1] == '\n') {
                ++i;
                continue;
            }
            return 0;
        }
        uint8_t v = kDecode[c];
        if (v == kInvalid) return 0;
        if (v == kPad) {
            if (++padInGroup > 2) return 0;
            padded = true;
            v = 0;
        } else if (padded) {
            return 0;
        }
        group = (group << 6) | v;
        if (++inGroup == 4) {
            *p++ = static_cast<unsigned char>(group >> 16);
            if (padInGroup < 2) *p++ = static_cast<unsigned char>(group >> 8);
            if (padInGroup < 1) *p++ = static_cast<unsigned char>(group);
            group = 0;
            inGroup = 0;
            padInGroup = 0;
        }
    }
    if (inGroup != 0) return 0;
    auto n = static_cast<int>(p - out.data());
    *p = 0;
    *bytes = out.release();
    return n;
}

}  // extern "C"
