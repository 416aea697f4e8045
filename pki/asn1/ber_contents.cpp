// Contents rules of the primitive types: identifiers and integers.
#include <zunPKI/asn1/ber.h>

#include <array>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "asn1/ber_internal.hpp"
#include "asn1/pki_mem.hpp"

using zpki::der::Cursor;
using zpki::der::Element;

// ---------------------------------------------------------------------------
// Contents rules of the primitive types.

namespace zpki::ber {

bool oidTextToContents(const char* text, size_t len, Bytes& out) {
    if (!text || len == 0) return false;
    uint64_t arcs[2] = {0, 0};
    size_t arcCount = 0;
    size_t i = 0;
    try {
        out.clear();
        while (i <= len) {
            // One arc: decimal digits up to a dot or the end; no empty arc.
            uint64_t arc = 0;
            size_t digits = 0;
            while (i < len && text[i] != '.') {
                const char ch = text[i];
                if (ch < '0' || ch > '9') return false;
                if (arc > (UINT64_MAX - static_cast<uint64_t>(ch - '0')) / 10) return false;
                arc = arc * 10 + static_cast<uint64_t>(ch - '0');
                ++digits;
                ++i;
            }
            if (digits == 0) return false;
            ++i;  // the dot, or one past the end
            if (arcCount < 2) {
                arcs[arcCount++] = arc;
                if (arcCount < 2) {
                    if (i > len) return false;  // a single arc
                    continue;
                }
                // 8.19.4: the first two arcs make one subidentifier.
                if (arcs[0] > 2 || (arcs[0] < 2 && arcs[1] >= 40)) return false;
                if (arcs[1] > UINT64_MAX - 80) return false;
                arc = arcs[0] * 40 + arcs[1];
            } else {
                ++arcCount;
            }
            // 8.19.2: base 128, most significant group first, bit 8 set on all but the last.
            uint8_t groups[10];
            int n = 0;
            do {
                groups[n++] = static_cast<uint8_t>(arc & 0x7f);
                arc >>= 7;
            } while (arc);
            while (n > 1) out.push_back(static_cast<uint8_t>(groups[--n] | 0x80));
            out.push_back(groups[0]);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool oidContentsToText(const uint8_t* contents, size_t len, char* text, size_t& n) {
    if (!contents || len == 0) return false;
    n = 0;
    size_t i = 0;
    bool first = true;
    char buf[48];
    while (i < len) {
        if (contents[i] == 0x80) return false;  // 8.19.2: no leading 0x80 group
        uint64_t sub = 0;
        bool done = false;
        while (i < len) {
            const uint8_t b = contents[i++];
            if (sub > (UINT64_MAX >> 7)) return false;
            sub = (sub << 7) | (b & 0x7f);
            if (!(b & 0x80)) {
                done = true;
                break;
            }
        }
        if (!done) return false;  // the last group still had bit 8 set
        // to_chars: every certificate carries a dozen identifiers, and
        // printf's formatting machinery cost most of their decoding.
        char* end = buf;
        if (first) {
            const unsigned a = sub < 40 ? 0 : sub < 80 ? 1 : 2;
            *end++ = static_cast<char>('0' + a);
            sub -= 40ULL * a;
            first = false;
        }
        *end++ = '.';
        end = std::to_chars(end, buf + sizeof buf, sub).ptr;
        const size_t k = static_cast<size_t>(end - buf);
        if (n + k > kMaxOidText) return false;
        std::memcpy(text + n, buf, k);
        n += k;
    }
    return true;
}

bool oidContentsToText(const uint8_t* contents, size_t len, Bytes& text) {
    char buf[kMaxOidText];
    size_t n = 0;
    if (!oidContentsToText(contents, len, buf, n)) return false;
    try {
        text.assign(buf, buf + n);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

namespace {
bool isNegative(const BIGINT* value) {
    return VSC_Get_BIGINT_Bits_Length(value) > 0 && VSC_Cmp_BIGINT(value, VSC_Value_One_BIGINT()) < 0;
}
}  // namespace

int integerContentsLength(const BIGINT* value) {
    if (!value) return -1;
    const int bits = VSC_Get_BIGINT_Bits_Length(value);
    if (!isNegative(value)) return (bits + 8) / 8;
    // -2^(8k-1) fits k bytes; other negatives need bits / 8 + 1.
    Bytes mag(static_cast<size_t>((bits + 7) / 8) + 1);
    const int n = VSC_BIGINT_To_Binary_Unsigned(value, mag.data());
    if (n <= 0) return -1;
    bool powerOfTwo = (mag[0] & (mag[0] - 1)) == 0;
    for (int i = 1; i < n && powerOfTwo; ++i) powerOfTwo = mag[static_cast<size_t>(i)] == 0;
    const bool topBitOnly = powerOfTwo && bits % 8 == 0;
    return topBitOnly ? bits / 8 : bits / 8 + 1;
}

bool integerToContents(const BIGINT* value, uint8_t* out, size_t len) {
    const int need = integerContentsLength(value);
    if (need <= 0 || static_cast<size_t>(need) > len) return false;
    const bool negative = isNegative(value);
    const int bits = VSC_Get_BIGINT_Bits_Length(value);
    Bytes mag(static_cast<size_t>((bits + 7) / 8) + 1);
    const int n = VSC_BIGINT_To_Binary_Unsigned(value, mag.data());
    if (n < 0 || static_cast<size_t>(n) > len) return false;
    std::memset(out, 0, len);
    std::memcpy(out + len - static_cast<size_t>(n), mag.data(), static_cast<size_t>(n));
    if (negative) {  // 8.3.3: two's complement
        unsigned carry = 1;
        for (size_t i = len; i-- > 0;) {
            const unsigned v = static_cast<uint8_t>(~out[i]) + carry;
            out[i] = static_cast<uint8_t>(v);
            carry = v >> 8;
        }
    }
    return true;
}

BIGINT* integerFromContents(const uint8_t* contents, size_t len) {
    if (!contents || len == 0 || len > INT_MAX) return nullptr;
    if (!(contents[0] & 0x80)) return VSC_Binary_To_BIGINT(nullptr, contents, static_cast<int>(len));
    // Negative: the magnitude is the two's complement, handed over as hex text.
    try {
        Bytes mag(contents, contents + len);
        unsigned carry = 1;
        for (size_t i = len; i-- > 0;) {
            const unsigned v = static_cast<uint8_t>(~mag[i]) + carry;
            mag[i] = static_cast<uint8_t>(v);
            carry = v >> 8;
        }
        static const char kHex[] = "0123456789ABCDEF";
        Bytes text;
        text.reserve(2 * len + 2);
        text.push_back('-');
        for (uint8_t b : mag) {
            text.push_back(static_cast<uint8_t>(kHex[b >> 4]));
            text.push_back(static_cast<uint8_t>(kHex[b & 15]));
        }
        text.push_back(0);
        return VSC_HEX_To_BIGINT(reinterpret_cast<const char*>(text.data()));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace zpki::ber
