// Decoding elements into values and nodes.
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

using namespace zpki;

// ---------------------------------------------------------------------------
// Decoding.

namespace zpki::ber {
namespace {

ASN1_STRING* newString(int type, const uint8_t* data, size_t len, int extra) {
    return newStringWithData(type, data, len, extra);
}

ASN1_STRING* decodeString(const Element& e, int type) {
    if (!e.constructed()) {  // the contents as they stand, without a copy aside
        const uint8_t* p = e.contents;
        size_t n = e.contentsSize;
        int extra = 0;
        if (type == 3) {  // 8.6.2: the initial octet counts the unused bits
            if (n < 1 || p[0] > 7 || (n == 1 && p[0] != 0)) return nullptr;
            extra = p[0];
            ++p;
            --n;
        }
        if (type == 23 || type == 24) extra = n > 0 && p[n - 1] == 'Z';
        return newString(type, p, n, extra);
    }
    Bytes contents;
    int unused = 0;
    if (!stringContents(e, contents, unused, type == 3)) return nullptr;
    int extra = type == 3 ? unused : 0;
    if (type == 23 || type == 24) extra = !contents.empty() && contents.back() == 'Z';
    return newString(type, contents.data(), contents.size(), extra);
}

ASN1_STRING* decodeOid(const Element& e) {
    if (e.constructed()) return nullptr;
    std::string_view known;
    if (knownOidText(e.contents, e.contentsSize, known))
        return newString(6, reinterpret_cast<const uint8_t*>(known.data()), known.size(), 0);
    char text[kMaxOidText];
    size_t n = 0;
    if (!oidContentsToText(e.contents, e.contentsSize, text, n)) return nullptr;
    return newString(6, reinterpret_cast<const uint8_t*>(text), n, 0);
}

// Any element as a string record: universal primitive types by their own
// contents rule, everything else as raw contents; the type keeps the
// identifier octet.
ASN1_STRING* decodeAnyString(const Element& e) {
    const int id = e.identifier;
    ASN1_STRING* s = nullptr;
    if (id == ASN1_TAG_NULL && e.contentsSize != 0) return nullptr;  // X.690 8.8.2: no contents
    if (id == 3)
        s = decodeString(e, 3);
    else if (id == 6)
        s = decodeOid(e);
    else if (id == 23 || id == 24)
        s = decodeString(e, id);
    else
        s = newString(id, e.contents, e.contentsSize, 0);
    if (s) s->type = id;
    return s;
}

template <class Fn>
auto decodeTop(const unsigned char* bytes, int len, Fn fn) -> decltype(fn(std::declval<const Element&>())) {
    if (!bytes || len <= 0) return nullptr;
    Cursor c(bytes, static_cast<size_t>(len));
    Element e;
    if (!der::getElement(c, e)) return nullptr;
    return fn(e);
}

}  // namespace

void* decodeElement(const Element& e, int expected) {
    const int low = e.identifier & 0x1f;
    const bool matches = e.contextOrPrivate() || low == (expected & 0x1f);
    if (expected == ASN1_TAG_ANY_STRING) return decodeAnyString(e);
    if (expected == ASN1_TAG_NODE) {
        if (e.contextOrPrivate() || (!(e.identifier & 0x40) && isStringTag(low))) return nodeFromElement(e);
        return nullptr;
    }
    if (!matches) return nullptr;
    switch (expected) {
        case 1:
            if (e.constructed() || e.contentsSize != 1) return nullptr;
            if (auto* b = static_cast<unsigned char*>(PKI_MALLOC(1))) {
                b[0] = e.contents[0];
                return b;
            }
            return nullptr;
        case 2:
        case 10:
            return e.constructed() ? nullptr : integerFromContents(e.contents, e.contentsSize);
        case 5:
            return (e.constructed() || e.contentsSize != 0) ? nullptr : PKI_MALLOC(1);
        case 6:
            return decodeOid(e);
        case 16:
        case 17:
        case 48:
        case 49:
            return nodeFromElement(e);
        default:
            return isStringTag(expected) ? decodeString(e, expected) : nullptr;
    }
}

}  // namespace zpki::ber

extern "C" {

ZUNPKI_API ASN1_UNIT* decodeToBERSequence(const unsigned char* bytes, int len) {
    return ber::decodeTop(bytes, len, [](const Element& e) { return ber::nodeFromElement(e); });
}

#define ZPKI_DECODER(name, ret, expected)                                                           \
    ZUNPKI_API ret* decodeToBER##name(const unsigned char* bytes, int len) {                        \
        return ber::decodeTop(bytes, len, [](const Element& e) {                                    \
            Element as = e;                                                                         \
            as.identifier = static_cast<uint8_t>(0x80 | (e.identifier & 0x20)); /* any tag reads */ \
            return static_cast<ret*>(ber::decodeElement(as, expected));                             \
        });                                                                                         \
    }                                                                                               \
    ZUNPKI_API ret* decodeToDER##name(const unsigned char* bytes, int len) { return decodeToBER##name(bytes, len); }

ZPKI_DECODER(Boolean, unsigned char, 1)
ZPKI_DECODER(Integer, BIGINT, 2)
ZPKI_DECODER(Enumerated, BIGINT, 10)
ZPKI_DECODER(Null, void, 5)
ZPKI_DECODER(BitString, BIT_STRING, 3)
ZPKI_DECODER(OctetString, OCTET_STRING, 4)
ZPKI_DECODER(ObjectIdentifier, OBJECT_IDENTIFIER, 6)
ZPKI_DECODER(UTF8String, UTF8_STRING, 12)
ZPKI_DECODER(PrintableString, PRINTABLE_STRING, 19)
ZPKI_DECODER(IA5String, IA5_STRING, 22)
ZPKI_DECODER(UTCTime, UTC_TIME, 23)
ZPKI_DECODER(GENERALIZEDTime, GENERALIZED_TIME, 24)
ZPKI_DECODER(BMPString, BMP_STRING, 30)
#undef ZPKI_DECODER

ZUNPKI_API T61_STRING* decodeToBERT61String(const unsigned char* bytes, int len) {
    return ber::decodeTop(bytes, len, [](const Element& e) {
        Element as = e;
        as.identifier = static_cast<uint8_t>(0x80 | (e.identifier & 0x20));
        return static_cast<T61_STRING*>(ber::decodeElement(as, 20));
    });
}

ZUNPKI_API ASN1_STRING* decodeToBERASN1String(const unsigned char* bytes, int len) {
    return ber::decodeTop(bytes, len,
                          [](const Element& e) { return static_cast<ASN1_STRING*>(ber::decodeElement(e, 32)); });
}

ZUNPKI_API ASN1_UNIT* decodeToDERSequence(const unsigned char* bytes, int len) {
    return decodeToBERSequence(bytes, len);
}
ZUNPKI_API ASN1_STRING* decodeToDERASN1String(const unsigned char* bytes, int len) {
    return decodeToBERASN1String(bytes, len);
}

ZUNPKI_API void* getBERChildAt(const ASN1_UNIT* parent, int index, int expected) {
    Element e;
    if (!ber::childElement(parent, index, e)) return nullptr;
    return ber::decodeElement(e, expected);
}

ZUNPKI_API void* getDERChildAt(const ASN1_UNIT* parent, int index, int expected) {
    return getBERChildAt(parent, index, expected);
}

ZUNPKI_API void* getBERChildOffset(const ASN1_UNIT* parent, int index, int expected, int* cursor) {
    if (!parent || !cursor) return nullptr;
    int at = index;
    if (*cursor != 0) {
        if (*cursor < 0 || !ber::childIndexAtOffset(parent, static_cast<size_t>(*cursor), at)) return nullptr;
        ++at;
    }
    Element e;
    if (!ber::childElement(parent, at, e)) return nullptr;
    void* value = ber::decodeElement(e, expected);
    if (value) *cursor = static_cast<int>(e.start - parent->value);
    return value;
}

}  // extern "C"
