// The one bounded reader of untrusted bytes. Every read checks what is left;
// nothing here reads past the end it was given. Functions are named by what
// they return; comments cite the X.690 clause they implement.
#pragma once

#include <cstddef>
#include <cstdint>

#include <zunPKI/asn1/ber.h>

namespace zpki::der {

// A read-only window on bytes that shrinks from the front as it is read.
class Cursor {
public:
    Cursor() = default;
    Cursor(const uint8_t* data, size_t size) : m_data(data), m_size(data ? size : 0) {}

    const uint8_t* data() const { return m_data; }
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

    bool skip(size_t n) {
        if (n > m_size) return false;
        m_data += n;
        m_size -= n;
        return true;
    }
    bool getU8(uint8_t& out) {
        if (m_size < 1) return false;
        out = *m_data;
        return skip(1);
    }
    bool peekU8(uint8_t& out) const {
        if (m_size < 1) return false;
        out = *m_data;
        return true;
    }
    // The next n bytes as a cursor of their own.
    bool getBytes(size_t n, Cursor& out) {
        if (n > m_size) return false;
        out = Cursor(m_data, n);
        return skip(n);
    }
    // True when the next two bytes are an end-of-contents pair (X.690 8.1.5).
    bool atEndOfContents() const { return m_size >= 2 && m_data[0] == 0 && m_data[1] == 0; }

private:
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
};

// One TLV as found in the input; pointers into that input.
struct Element {
    uint8_t identifier = 0;
    const uint8_t* start = nullptr;  // the identifier octet
    size_t headerSize = 0;           // identifier and length octets
    const uint8_t* contents = nullptr;
    size_t contentsSize = 0;  // without the end-of-contents pair
    bool indefinite = false;
    size_t totalSize = 0;  // the whole element, end-of-contents pair included

    const uint8_t* lengthOctets() const { return start + 1; }
    size_t lengthOctetsSize() const { return headerSize - 1; }
    bool constructed() const { return identifier & 0x20; }
    int tagNumber() const { return identifier & 0x1f; }
    bool contextOrPrivate() const { return identifier & 0x80; }
};

// X.690 8.1.3: the length octets. Definite lengths of at most
// ASN1_MAX_LENGTH_OCTETS octets and at most INT_MAX; indefinite sets the flag.
bool getLength(Cursor& in, size_t& length, bool& indefinite);

// X.690 8.1.1: one element. Identifiers are single octets (8.1.2.2; tag
// numbers of 31 and above are refused). The contents of an indefinite element
// (8.1.3.6) are measured by walking the elements inside it up to its
// end-of-contents pair, refusing nesting deeper than ASN1_MAX_DEPTH.
bool getElement(Cursor& in, Element& out, int depth = 0);

// Encoded length octets of a definite length: short form below 128, else
// 0x80|n and n big-endian bytes (X.690 8.1.3.4, 8.1.3.5). Returns the count
// written to out (at most 5), or 0 when longForm is asked for n > 4 bytes.
size_t putLength(uint8_t out[5], size_t length, bool longForm);

}  // namespace zpki::der
