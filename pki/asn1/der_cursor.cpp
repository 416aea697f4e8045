// The bounded reader: lengths and elements of untrusted bytes.
#include <zunPKI/asn1/ber.h>

#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "asn1/ber_internal.hpp"
#include "asn1/pki_mem.hpp"

using zpki::der::Cursor;
using zpki::der::Element;

namespace zpki::der {

bool getLength(Cursor& in, size_t& length, bool& indefinite) {
    uint8_t first;
    if (!in.getU8(first)) return false;
    indefinite = false;
    if (first < 0x80) {  // 8.1.3.4 short form
        length = first;
        return true;
    }
    if (first == 0x80) {  // 8.1.3.6 indefinite form
        indefinite = true;
        length = 0;
        return true;
    }
    const size_t n = first & 0x7f;  // 8.1.3.5 long form; 0xff is reserved
    if (n > ASN1_MAX_LENGTH_OCTETS) return false;
    size_t value = 0;
    for (size_t i = 0; i < n; ++i) {
        uint8_t b;
        if (!in.getU8(b)) return false;
        value = (value << 8) | b;
    }
    if (value > INT_MAX) return false;
    length = value;
    return true;
}

bool getElement(Cursor& in, Element& out, int depth) {
    if (depth > ASN1_MAX_DEPTH) return false;
    // Read through plain locals: the element is written once at the end.
    const uint8_t* const start = in.data();
    const size_t avail = in.size();
    if (avail < 2) return false;
    const uint8_t identifier = start[0];
    if ((identifier & 0x1f) == 0x1f) return false;  // 8.1.2.4 multi-octet tag numbers
    const uint8_t first = start[1];
    size_t header = 2, length = 0;
    bool indefinite = false;
    if (first == 0x80) {  // 8.1.3.6 indefinite form
        indefinite = true;
    } else if (first < 0x80) {  // 8.1.3.4 short form
        length = first;
    } else {
        const size_t n = first & 0x7f;  // 8.1.3.5 long form; 0xff is reserved
        if (n > ASN1_MAX_LENGTH_OCTETS || avail - 2 < n) return false;
        for (size_t i = 0; i < n; ++i) length = (length << 8) | start[2 + i];
        if (length > INT_MAX) return false;
        header += n;
    }
    size_t contentsSize, total;
    if (!indefinite) {
        if (length > avail - header) return false;
        contentsSize = length;
        total = header + length;
    } else {
        if (!(identifier & 0x20)) return false;  // 8.1.3.2 a: primitive elements are definite
        Cursor c(start + header, avail - header);
        while (!c.atEndOfContents()) {
            Element inner;
            if (!getElement(c, inner, depth + 1)) return false;
        }
        contentsSize = static_cast<size_t>(c.data() - (start + header));
        total = header + contentsSize + 2;
    }
    if (total > INT_MAX) return false;
    out.identifier = identifier;
    out.start = start;
    out.headerSize = header;
    out.contents = start + header;
    out.contentsSize = contentsSize;
    out.indefinite = indefinite;
    out.totalSize = total;
    in.skip(total);
    return true;
}

size_t putLength(uint8_t out[5], size_t length, bool longForm) {
    if (length < 0x80 && !longForm) {
        out[0] = static_cast<uint8_t>(length);
        return 1;
    }
    size_t n = 0;
    for (size_t v = length; v; v >>= 8) ++n;
    if (n == 0) n = 1;  // a zero length in the long form is 0x81 0x00
    if (n > ASN1_MAX_LENGTH_OCTETS) return 0;
    out[0] = static_cast<uint8_t>(0x80 | n);
    for (size_t i = 0; i < n; ++i) out[1 + i] = static_cast<uint8_t>(length >> (8 * (n - 1 - i)));
    return n + 1;
}

}  // namespace zpki::der
