// Names compared as RFC 5280 7.1 does (see x509_name_canon.hpp).
#include "x509/x509_name_canon.hpp"

#include <algorithm>
#include <cstdint>
#include <new>

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/x509/certpath.h>

namespace zpki::x509 {

namespace {

constexpr int kTagUniversalString = 28;
constexpr int kTagVisibleString = 26;

// The code points of a character string; false when the bytes do not read
// as the type says. Single-byte types are taken as Latin-1, as openssl does.
bool codePoints(const ASN1_STRING* s, std::vector<uint32_t, VscAllocator<uint32_t>>& out) {
    const uint8_t* p = s->data;
    const size_t n = s->length > 0 ? static_cast<size_t>(s->length) : 0;
    switch (s->type) {
        case ASN1_TAG_PRINTABLE_STRING:
        case ASN1_TAG_T61_STRING:
        case ASN1_TAG_IA5_STRING:
        case kTagVisibleString:
            out.assign(p, p + n);
            return true;
        case ASN1_TAG_BMP_STRING:
            if (n % 2) return false;
            for (size_t i = 0; i < n; i += 2) out.push_back(static_cast<uint32_t>(p[i]) << 8 | p[i + 1]);
            return true;
        case kTagUniversalString:
            if (n % 4) return false;
            for (size_t i = 0; i < n; i += 4) {
                const uint32_t c = static_cast<uint32_t>(p[i]) << 24 | static_cast<uint32_t>(p[i + 1]) << 16 |
                                   static_cast<uint32_t>(p[i + 2]) << 8 | p[i + 3];
                if (c > 0x10ffff) return false;
                out.push_back(c);
            }
            return true;
        case ASN1_TAG_UTF8_STRING:
            for (size_t i = 0; i < n;) {
                const uint8_t b = p[i];
                size_t more = 0;
                uint32_t c = 0, min = 0;
                if (b < 0x80) {
                    c = b;
                } else if ((b & 0xe0) == 0xc0) {
                    more = 1, c = b & 0x1f, min = 0x80;
                } else if ((b & 0xf0) == 0xe0) {
                    more = 2, c = b & 0x0f, min = 0x800;
                } else if ((b & 0xf8) == 0xf0) {
                    more = 3, c = b & 0x07, min = 0x10000;
                } else {
                    return false;
                }
                if (more > n - i - 1) return false;
                for (size_t k = 1; k <= more; ++k) {
                    if ((p[i + k] & 0xc0) != 0x80) return false;
                    c = c << 6 | (p[i + k] & 0x3f);
                }
                if (c < min || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff)) return false;
                out.push_back(c);
                i += more + 1;
            }
            return true;
        default:
            return false;
    }
}

bool isCharacterString(int type) {
    switch (type) {
        case ASN1_TAG_UTF8_STRING:
        case ASN1_TAG_PRINTABLE_STRING:
        case ASN1_TAG_T61_STRING:
        case ASN1_TAG_IA5_STRING:
        case kTagVisibleString:
        case ASN1_TAG_BMP_STRING:
        case kTagUniversalString:
            return true;
        default:
            return false;
    }
}

// The whitespace openssl's canonical form folds.
bool isSpace(uint32_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

void putUtf8(uint32_t c, CanonText& out) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xc0 | c >> 6));
        out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xe0 | c >> 12));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
    } else {
        out.push_back(static_cast<char>(0xf0 | c >> 18));
        out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
    }
}

// One attribute as the comparison sees it: its type, the value's kind and
// the value. False when a character string does not read.
bool canonicalEntry(const X509_NAME_CHILD* e, CanonText& out) {
    if (!e || !e->type || !e->type->data || !e->value) return false;
    out.assign(reinterpret_cast<const char*>(e->type->data), static_cast<size_t>(e->type->length));
    out.push_back('\0');
    const ASN1_STRING* v = e->value;
    if (!isCharacterString(v->type)) {
        // Other values compare as they stand, identifier included.
        out.push_back(static_cast<char>(v->type));
        if (v->data && v->length > 0)
            out.append(reinterpret_cast<const char*>(v->data), static_cast<size_t>(v->length));
        return true;
    }
    std::vector<uint32_t, VscAllocator<uint32_t>> cps;
    if (!codePoints(v, cps)) return false;
    out.push_back(static_cast<char>(ASN1_TAG_UTF8_STRING));
    size_t from = 0, to = cps.size();
    while (from < to && isSpace(cps[from])) ++from;
    while (to > from && isSpace(cps[to - 1])) --to;
    for (size_t i = from; i < to; ++i) {
        uint32_t c = cps[i];
        if (isSpace(c)) {
            out.push_back(' ');
            while (i + 1 < to && isSpace(cps[i + 1])) ++i;
            continue;
        }
        if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
        putUtf8(c, out);
    }
    return true;
}

}  // namespace

NameKey nameKey(const X509_NAME* name) {
    NameKey key;
    key.name = name;
    if (!name) return key;
    const int count = get_X509_NAME_count(name);
    for (int i = 0; i < count; ++i) {
        const X509_NAME_CHILD* e = get_X509_NAME_CHILD(name, i);
        CanonText entry;
        if (!canonicalEntry(e, entry)) return key;
        if (i == 0 || !e->sameRdn) key.canon.emplace_back();
        key.canon.back().push_back(std::move(entry));
    }
    for (CanonRdn& rdn : key.canon) std::sort(rdn.begin(), rdn.end());
    key.canonical = true;
    return key;
}

bool namesMatch(const NameKey& a, const NameKey& b) {
    if (!a.name || !b.name) return false;
    if (a.canonical && b.canonical) return a.canon == b.canon;
    return cmp_X509_NAME(a.name, b.name) == 0;
}

bool namesMatch(const X509_NAME* a, const X509_NAME* b) { return namesMatch(nameKey(a), nameKey(b)); }

}  // namespace zpki::x509

extern "C" ZUNPKI_API int cmp_X509_NAME_canonical(const X509_NAME* a, const X509_NAME* b) {
    if (!a || !b) return 1;
    try {
        return zpki::x509::namesMatch(a, b) ? 0 : -1;
    } catch (const std::bad_alloc&) {
        return 1;
    }
}
