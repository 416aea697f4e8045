// The node tree and the BER codec.
#include <zunPKI/asn1/ber.h>

#include <array>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
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

namespace zpki::ber {
namespace {

bool isStringTag(int t) {
    switch (t) {
        case 3:
        case 4:
        case 12:
        case 19:
        case 20:
        case 22:
        case 23:
        case 24:
        case 30:
            return true;
        default:
            return false;
    }
}

// Universal types whose children make getSequenceChildNum answer 0.
bool isUnsupportedUniversal(uint8_t identifier) {
    if (identifier & 0x80) return false;
    switch (identifier & 0x1f) {
        case 7:
        case 8:
        case 9:
        case 11:
        case 13:
        case 14:
        case 15:
        case 18:
        case 21:
        case 25:
        case 27:
        case 28:
        case 29:
        case 31:
            return true;
        default:
            return false;
    }
}

asn1_unit_cache_st* cacheOf(const ASN1_UNIT* node, bool create) {
    auto* mutableNode = const_cast<ASN1_UNIT*>(node);
    if (!mutableNode->cache && create) {
        void* mem = PKI_MALLOC(sizeof(asn1_unit_cache_st));
        if (!mem) return nullptr;
        mutableNode->cache = new (mem) asn1_unit_cache_st();
    }
    return mutableNode->cache;
}

void dropCache(ASN1_UNIT* node) {
    if (!node->cache) return;
    node->cache->~asn1_unit_cache_st();
    PKI_FREE(node->cache);
    node->cache = nullptr;
}

// Forget the child index after the contents changed; keep the capacity.
void contentsChanged(ASN1_UNIT* node) {
    if (node->cache) {
        node->cache->indexedBuf = nullptr;
        node->cache->indexedLength = -1;
        node->cache->offsets.clear();
    }
}

// Reading is const, so several threads may read one node at once: its index
// is made (and found current) under a lock chosen by the node's address.
std::mutex& indexLockOf(const ASN1_UNIT* node) {
    static std::array<std::mutex, 64> locks;
    return locks[std::hash<const void*>{}(node) % locks.size()];
}

const asn1_unit_cache_st* indexOf(const ASN1_UNIT* node) {
    if (!node || !node->tag || !node->value) return nullptr;
    const int len = getASN1ValueLength(node);
    if (len < 0) return nullptr;
    std::lock_guard lock(indexLockOf(node));
    asn1_unit_cache_st* cache = cacheOf(node, true);
    if (!cache) return nullptr;
    if (cache->indexedBuf == node->value && cache->indexedLength == len) return cache;
    try {
        cache->offsets.clear();
        cache->truncated = false;
        cache->unsupported = false;
        Cursor c(node->value, static_cast<size_t>(len));
        while (!c.empty()) {
            if (c.atEndOfContents()) {  // a stray end-of-contents pair is skipped, not counted
                c.skip(2);
                continue;
            }
            const size_t offset = static_cast<size_t>(c.data() - node->value);
            Element e;
            if (!der::getElement(c, e)) {
                cache->truncated = true;
                break;
            }
            if (isUnsupportedUniversal(e.identifier)) cache->unsupported = true;
            cache->offsets.push_back(static_cast<uint32_t>(offset));
        }
    } catch (const std::bad_alloc&) {
        cache->offsets.clear();
        return nullptr;
    }
    cache->indexedBuf = node->value;
    cache->indexedLength = len;
    return cache;
}

bool allocNode(ASN1_UNIT* node, uint8_t identifier, const uint8_t* lengthOctets, size_t loSize, size_t valueSize) {
    node->tag = static_cast<unsigned char*>(PKI_MALLOC(1));
    node->length = static_cast<unsigned char*>(PKI_MALLOC(loSize));
    node->value = static_cast<unsigned char*>(PKI_MALLOC(valueSize > 0 ? valueSize : 1));
    if (!node->tag || !node->length || !node->value) {
        clean_ASN1_UNIT(node);
        return false;
    }
    node->tag[0] = identifier;
    std::memcpy(node->length, lengthOctets, loSize);
    return true;
}

// Makes room for len more bytes after used ones in the node's value buffer,
// doubling its capacity so n appends cost O(n) copying.
bool reserve(ASN1_UNIT* node, size_t used, size_t extra) {
    asn1_unit_cache_st* cache = cacheOf(node, true);
    if (!cache) return false;
    if (cache->buf != node->value) cache->capacity = 0;  // a buffer the cache did not see allocated
    const size_t needed = used + extra;
    if (node->value && cache->buf == node->value && needed <= cache->capacity) return true;
    size_t capacity = cache->capacity ? cache->capacity : 64;
    while (capacity < needed) capacity *= 2;
    auto* grown = static_cast<unsigned char*>(PKI_REALLOC(node->value, capacity));
    if (!grown) return false;
    node->value = grown;
    cache->buf = grown;
    cache->capacity = capacity;
    return true;
}

bool setLengthOctets(ASN1_UNIT* node, size_t length, bool longForm) {
    uint8_t lo[5];
    const size_t n = der::putLength(lo, length, longForm);
    if (n == 0) return false;
    auto* buf = static_cast<unsigned char*>(PKI_MALLOC(n));
    if (!buf) return false;
    std::memcpy(buf, lo, n);
    PKI_FREE(node->length);
    node->length = buf;
    return true;
}

// Parses the node's own bytes (for the node given to an append).
bool nodeSize(const ASN1_UNIT* node, size_t& contents, size_t& total) {
    if (!node || !node->tag || !node->length) return false;
    const int len = getASN1ValueLength(node);
    if (len < 0 || (len > 0 && !node->value)) return false;
    contents = static_cast<size_t>(len);
    total = 1 + static_cast<size_t>(getASN1LengthSize(node->length)) + contents + (node->length[0] == 0x80 ? 2 : 0);
    return total <= INT_MAX;
}

}  // namespace

bool encodedSize(const ASN1_UNIT* node, size_t& total) {
    size_t contents;
    return nodeSize(node, contents, total);
}

bool serializeInto(const ASN1_UNIT* node, uint8_t* out, size_t room) {
    size_t contents, total;
    if (!nodeSize(node, contents, total) || total > room) return false;
    *out++ = node->tag[0];
    const size_t lo = static_cast<size_t>(getASN1LengthSize(node->length));
    std::memcpy(out, node->length, lo);
    out += lo;
    if (contents) std::memcpy(out, node->value, contents);
    if (node->length[0] == 0x80) {
        out[contents] = 0;
        out[contents + 1] = 0;
    }
    return true;
}

bool appendEncoded(ASN1_UNIT* parent, const uint8_t* bytes, size_t n) {
    if (!parent->tag) {
        clean_ASN1_UNIT(parent);
        static const uint8_t kEmpty = 0;
        if (!allocNode(parent, 0x30, &kEmpty, 1, 0)) return false;
    }
    const int current = getASN1ValueLength(parent);
    if (current < 0 || static_cast<size_t>(current) + n > INT_MAX - 6) return false;
    const size_t used = static_cast<size_t>(current);
    if (!reserve(parent, used, n) || !setLengthOctets(parent, used + n, false)) return false;
    if (n) std::memcpy(parent->value + used, bytes, n);
    parent->eoc = nullptr;
    contentsChanged(parent);
    return true;
}

der::Cursor contentsOf(const ASN1_UNIT* node) {
    if (!node || !node->value) return {};
    const int len = getASN1ValueLength(node);
    if (len <= 0) return {};
    return Cursor(node->value, static_cast<size_t>(len));
}

bool childElement(const ASN1_UNIT* node, int index, Element& out) {
    const asn1_unit_cache_st* cache = indexOf(node);
    if (!cache || index < 0 || static_cast<size_t>(index) >= cache->offsets.size()) return false;
    Cursor c = contentsOf(node);
    return c.skip(cache->offsets[index]) && der::getElement(c, out);
}

bool childIndexAtOffset(const ASN1_UNIT* node, size_t offset, int& index) {
    const asn1_unit_cache_st* cache = indexOf(node);
    if (!cache) return false;
    size_t lo = 0, hi = cache->offsets.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (cache->offsets[mid] < offset)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo >= cache->offsets.size() || cache->offsets[lo] != offset) return false;
    index = static_cast<int>(lo);
    return true;
}

ASN1_UNIT* nodeFromElement(const Element& e) {
    ASN1_UNIT* node = new_ASN1_UNIT();
    if (!node) return nullptr;
    const size_t valueSize = e.contentsSize + (e.indefinite ? 2 : 0);
    if (!allocNode(node, e.identifier, e.lengthOctets(), e.lengthOctetsSize(), valueSize)) {
        free_ASN1_UNIT(node);
        return nullptr;
    }
    if (e.contentsSize) std::memcpy(node->value, e.contents, e.contentsSize);
    if (e.indefinite) {
        node->value[e.contentsSize] = 0;
        node->value[e.contentsSize + 1] = 0;
        node->eoc = node->value + e.contentsSize;
    }
    return node;
}

bool setNode(ASN1_UNIT* node, uint8_t identifier, const uint8_t* contents, size_t len, bool longForm) {
    uint8_t lo[5];
    const size_t n = der::putLength(lo, len, longForm);
    if (n == 0 || len > INT_MAX - 6) return false;
    // Built aside: the contents may be the node's own bytes.
    ASN1_UNIT fresh{};
    if (!allocNode(&fresh, identifier, lo, n, len)) {
        clean_ASN1_UNIT(node);
        return false;
    }
    if (len) std::memcpy(fresh.value, contents, len);
    clean_ASN1_UNIT(node);
    *node = fresh;
    return true;
}

PKI_ERROR appendElement(ASN1_UNIT* parent, const ASN1_UNIT* child) {
    if (child == parent) {  // its buffers change below: a copy goes in
        zpki::Owned<ASN1_UNIT, free_ASN1_UNIT> copy(dup_ASN1_UNIT(child));
        return copy ? appendElement(parent, copy.get()) : 1;
    }
    size_t childContents, childTotal;
    if (!nodeSize(child, childContents, childTotal)) return 1;
    if (!parent->tag) {
        clean_ASN1_UNIT(parent);
        static const uint8_t kEmpty = 0;
        if (!allocNode(parent, 0x30, &kEmpty, 1, 0)) return 1;
    }
    const int current = getASN1ValueLength(parent);
    if (current < 0 || static_cast<size_t>(current) + childTotal > INT_MAX - 6) return 1;
    const size_t used = static_cast<size_t>(current);
    if (!reserve(parent, used, childTotal)) return 1;
    if (!setLengthOctets(parent, used + childTotal, false)) return 1;
    unsigned char* at = parent->value + used;
    *at++ = child->tag[0];
    const size_t lo = static_cast<size_t>(getASN1LengthSize(child->length));
    std::memcpy(at, child->length, lo);
    at += lo;
    if (childContents) std::memcpy(at, child->value, childContents);
    at += childContents;
    if (child->length[0] == 0x80) {
        at[0] = 0;
        at[1] = 0;
    }
    parent->eoc = nullptr;  // the parent is definite now
    contentsChanged(parent);
    return 0;
}

bool stringContents(const Element& e, Bytes& out, int& unusedBits, bool bitString) {
    unusedBits = 0;
    try {
        if (!e.constructed()) {
            const uint8_t* p = e.contents;
            size_t n = e.contentsSize;
            if (bitString) {  // 8.6.2: the initial octet counts the unused bits
                if (n < 1 || p[0] > 7 || (n == 1 && p[0] != 0)) return false;
                unusedBits = p[0];
                ++p;
                --n;
            }
            out.insert(out.end(), p, p + n);
            return true;
        }
        // 8.7.3.2 and 8.6.3: the segments follow one another; only the last
        // segment of a bit string may have unused bits.
        struct Frame {
            Cursor c;
        };
        Frame stack[ASN1_MAX_DEPTH + 1];
        int depth = 0;
        stack[0].c = Cursor(e.contents, e.contentsSize);
        bool sawPadded = false;
        while (depth >= 0) {
            Cursor& c = stack[depth].c;
            if (c.empty()) {
                --depth;
                continue;
            }
            Element seg;
            if (!der::getElement(c, seg)) return false;
            if ((seg.identifier & 0x1f) != (e.identifier & 0x1f) && !(e.identifier & 0x80)) return false;
            if (seg.constructed()) {
                if (depth + 1 > ASN1_MAX_DEPTH) return false;
                stack[++depth].c = Cursor(seg.contents, seg.contentsSize);
                continue;
            }
            if (sawPadded) return false;
            int bits = 0;
            Bytes part;
            Element prim = seg;
            if (!stringContents(prim, part, bits, bitString)) return false;
            if (bits) sawPadded = true;
            unusedBits = bits;
            out.insert(out.end(), part.begin(), part.end());
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace zpki::ber

using namespace zpki;

extern "C" {

ZUNPKI_API ASN1_UNIT* new_ASN1_UNIT(void) { return PKI_NEW(ASN1_UNIT); }

ZUNPKI_API void clean_ASN1_UNIT(ASN1_UNIT* node) {
    if (!node) return;
    PKI_FREE(node->tag);
    PKI_FREE(node->length);
    PKI_FREE(node->value);
    ber::dropCache(node);
    std::memset(node, 0, sizeof(*node));
}

ZUNPKI_API void free_ASN1_UNIT(ASN1_UNIT* node) {
    if (!node) return;
    clean_ASN1_UNIT(node);
    PKI_FREE(node);
}

ZUNPKI_API ASN1_UNIT* dup_ASN1_UNIT(const ASN1_UNIT* node) {
    size_t contents, total;
    if (!node || !node->value || !ber::nodeSize(node, contents, total)) return nullptr;
    ASN1_UNIT* copy = new_ASN1_UNIT();
    if (!copy) return nullptr;
    const bool indefinite = node->length[0] == 0x80;
    const size_t loSize = static_cast<size_t>(getASN1LengthSize(node->length));
    if (!ber::allocNode(copy, node->tag[0], node->length, loSize, contents + (indefinite ? 2 : 0))) {
        free_ASN1_UNIT(copy);
        return nullptr;
    }
    if (contents) std::memcpy(copy->value, node->value, contents);
    if (indefinite) {
        copy->value[contents] = 0;
        copy->value[contents + 1] = 0;
        copy->eoc = copy->value + contents;
    }
    return copy;
}

ZUNPKI_API int getASN1LengthSize(const unsigned char* lengthOctets) {
    if (!lengthOctets) return 0;
    if (lengthOctets[0] <= 0x80) return 1;
    return 1 + (lengthOctets[0] & 0x7f);
}

ZUNPKI_API int getASN1ValueLength(const ASN1_UNIT* node) {
    if (!node) return -1;
    if (!node->length) return 0;
    const unsigned char first = node->length[0];
    if (first < 0x80) return first;
    if (first == 0x80) return node->eoc && node->value ? static_cast<int>(node->eoc - node->value) : -1;
    const int n = first & 0x7f;
    if (n > ASN1_MAX_LENGTH_OCTETS) return -1;
    unsigned long long value = 0;
    for (int i = 0; i < n; ++i) value = (value << 8) | node->length[1 + i];
    return value > INT_MAX ? -1 : static_cast<int>(value);
}

ZUNPKI_API int getASN1ValueLengthFromLO(const unsigned char* lengthOctets, int avail) {
    if (!lengthOctets || avail <= 0) return -1;
    Cursor c(lengthOctets, static_cast<size_t>(avail));
    size_t length;
    bool indefinite;
    if (!der::getLength(c, length, indefinite)) return -1;
    if (!indefinite) return static_cast<int>(length);
    return getASN1IndefiniteValueLength(c.data(), static_cast<int>(c.size()));
}

ZUNPKI_API int getASN1IndefiniteValueLength(const unsigned char* contents, int len) {
    if (!contents || len < 2) return -1;
    Cursor c(contents, static_cast<size_t>(len));
    while (!c.atEndOfContents()) {
        Element e;
        if (!der::getElement(c, e, 1)) return -1;
    }
    return static_cast<int>(c.data() - contents);
}

ZUNPKI_API int getASN1LengthForm(int tag, int len) {
    const long long n = static_cast<long long>(len) + (tag == 3 ? 1 : 0);
    return (len < 0 || n >= 128) ? 1 : 0;
}

ZUNPKI_API int getSequenceChildNum(const ASN1_UNIT* node) {
    const asn1_unit_cache_st* cache = ber::indexOf(node);
    if (!cache || cache->truncated || cache->unsupported) return 0;
    return static_cast<int>(cache->offsets.size());
}

ZUNPKI_API int getChildType(const ASN1_UNIT* node, int index) {
    Element e;
    return ber::childElement(node, index, e) ? e.identifier : -1;
}

ZUNPKI_API PKI_ERROR setBERLengthForm(ASN1_UNIT* node, int form) {
    const PKI_ERROR fail = PKI_ERR(L_BER, F_SET_BER_LENGTH_FORM, ERR_INVALID_ENCODE_INPUT);
    if (!node || !node->tag || !node->length) return fail;
    const int len = getASN1ValueLength(node);
    if (len < 0) return fail;
    const bool indefinite = node->length[0] == 0x80;
    switch (form) {
        case ASN1_LENGTH_SHORT:
            if (len > 127) return fail;
            if (indefinite || node->length[0] != len) {
                if (!ber::setLengthOctets(node, static_cast<size_t>(len), false)) return fail;
                node->eoc = nullptr;
            }
            return 0;
        case ASN1_LENGTH_LONG:
            if (len <= 127 || indefinite) {
                if (!ber::setLengthOctets(node, static_cast<size_t>(len), true)) return fail;
                node->eoc = nullptr;
            }
            return 0;
        case ASN1_LENGTH_INDEFINITE: {
            if (!(node->tag[0] & 0x20)) return fail;  // only constructed elements may be indefinite
            if (indefinite) return 0;
            if (!ber::reserve(node, static_cast<size_t>(len), 2)) return fail;
            auto* lo = static_cast<unsigned char*>(PKI_MALLOC(1));
            if (!lo) return fail;
            lo[0] = 0x80;
            PKI_FREE(node->length);
            node->length = lo;
            node->value[len] = 0;
            node->value[len + 1] = 0;
            node->eoc = node->value + len;
            ber::contentsChanged(node);
            return 0;
        }
        default:
            return fail;
    }
}

ZUNPKI_API void printBERData(const ASN1_UNIT* node) {
    if (!node || !node->tag) {
        std::printf("Null Pointer");
        return;
    }
    auto hex = [](const unsigned char* p, int n) {
        for (int i = 0; i < n; ++i) std::printf(i + 1 < n ? "%02X:" : "%02X", p[i]);
    };
    std::printf("[Tag] %02X ", node->tag[0]);
    std::printf("| [Length] ");
    hex(node->length, getASN1LengthSize(node->length));
    std::printf(" | [Value] ");
    const int len = getASN1ValueLength(node);
    if (len > 0 && node->value) hex(node->value, len);
    if (node->eoc) {
        std::printf(" | [EOC] ");
        hex(node->eoc, 2);
    }
    std::printf("\n");
}

ZUNPKI_API void printDERData(const ASN1_UNIT* node) { printBERData(node); }

}  // extern "C"

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

// ---------------------------------------------------------------------------
// Encoding.

namespace {

using zpki::ber::Bytes;

constexpr int kFnBoolean = F_ENCODE_TO_BER_BOOLEAN;

PKI_ERROR berError(unsigned func) { return PKI_ERR(L_BER, func, ERR_INVALID_ENCODE_INPUT); }

bool stringFits(const ASN1_STRING* s, int len) { return s && len >= 0 && (len == 0 || (s->data && len <= s->length)); }

// Fills an empty node with one primitive element of the given universal type
// and identifier. Returns 0 or the code of the type's encoder.
PKI_ERROR encodePrimitive(ASN1_UNIT* node, int type, uint8_t identifier, const void* value, int len, bool longForm) {
    switch (type) {
        case 1: {  // BOOLEAN: one byte, stored as given
            if (len != 1) return berError(kFnBoolean);
            return ber::setNode(node, identifier, static_cast<const uint8_t*>(value), 1, longForm)
                       ? 0
                       : berError(kFnBoolean);
        }
        case 2:
        case 10: {  // INTEGER, ENUMERATED: the big integer in exactly len bytes
            const auto* big = static_cast<const BIGINT*>(value);
            if (len == 0) return berError(F_ENCODE_TO_BER_INTEGER);
            try {
                Bytes contents(static_cast<size_t>(len));
                if (!ber::integerToContents(big, contents.data(), contents.size()))
                    return berError(F_ENCODE_TO_BER_INTEGER);
                return ber::setNode(node, identifier, contents.data(), contents.size(), longForm)
                           ? 0
                           : berError(F_ENCODE_TO_BER_INTEGER);
            } catch (const std::bad_alloc&) {
                return berError(F_ENCODE_TO_BER_INTEGER);
            }
        }
        case 3: {  // BIT STRING: unused-bits count, then the data
            const auto* s = static_cast<const ASN1_STRING*>(value);
            if (!stringFits(s, len) || s->extra < 0 || s->extra > 7 || (len == 0 && s->extra != 0))
                return berError(F_ENCODE_TO_BER_BIT_STRING);
            if (len > INT_MAX - 8) return berError(F_ENCODE_TO_BER_BIT_STRING);
            try {
                Bytes contents(static_cast<size_t>(len) + 1);
                contents[0] = static_cast<uint8_t>(s->extra);
                if (len) std::memcpy(contents.data() + 1, s->data, static_cast<size_t>(len));
                return ber::setNode(node, identifier, contents.data(), contents.size(), longForm)
                           ? 0
                           : berError(F_ENCODE_TO_BER_BIT_STRING);
            } catch (const std::bad_alloc&) {
                return berError(F_ENCODE_TO_BER_BIT_STRING);
            }
        }
        case 5:  // NULL
            if (len != 0) return berError(F_ENCODE_TO_BER_NULL);
            return ber::setNode(node, identifier, nullptr, 0, longForm) ? 0 : berError(F_ENCODE_TO_BER_NULL);
        case 6: {  // OBJECT IDENTIFIER from its dotted text
            const auto* s = static_cast<const ASN1_STRING*>(value);
            Bytes contents;
            if (!stringFits(s, len) ||
                !ber::oidTextToContents(reinterpret_cast<const char*>(s->data), static_cast<size_t>(len), contents))
                return berError(F_ENCODE_TO_BER_OBJECT_IDENTIFIER);
            return ber::setNode(node, identifier, contents.data(), contents.size(), longForm)
                       ? 0
                       : berError(F_ENCODE_TO_BER_OBJECT_IDENTIFIER);
        }
        case 23:
        case 24: {  // times: the text
            const auto* s = static_cast<const ASN1_STRING*>(value);
            if (len == 0 || !stringFits(s, len)) return berError(F_ENCODE_TO_BER_TIME);
            return ber::setNode(node, identifier, s->data, static_cast<size_t>(len), longForm)
                       ? 0
                       : berError(F_ENCODE_TO_BER_TIME);
        }
        default: {  // strings and raw contents: copied
            const auto* s = static_cast<const ASN1_STRING*>(value);
            if (!stringFits(s, len)) return berError(F_ENCODE_TO_BER_STRING);
            return ber::setNode(node, identifier, s->data, static_cast<size_t>(len), longForm)
                       ? 0
                       : berError(F_ENCODE_TO_BER_STRING);
        }
    }
}

bool isNodeTag(int tag) { return tag == 16 || tag == 17 || tag == 48 || tag == 49; }

}  // namespace

extern "C" {

ZUNPKI_API PKI_ERROR encodeToBER(ASN1_UNIT* node, int tag, const void* value, int len, int form) {
    const PKI_ERROR refused = berError(F_ENCODE_TO_BER);
    if (!node) return refused;
    if ((!value && tag != 5) || len < 0 || form < 0 || form > 2 || (form == 0 && len >= 128)) {
        clean_ASN1_UNIT(node);
        return refused;
    }
    const bool longForm = form == ASN1_LENGTH_LONG || (form == ASN1_LENGTH_INDEFINITE && len >= 128);
    PKI_ERROR rc;
    if (tag == ASN1_TAG_ANY_STRING) {
        const auto* s = static_cast<const ASN1_STRING*>(value);
        const int type = s->type;
        if (type == 2) {  // INTEGER contents held as bytes: re-encoded from their value
            if (!stringFits(s, s->length) || s->length == 0) {
                clean_ASN1_UNIT(node);
                return berError(F_ENCODE_TO_BER_INTEGER);
            }
            zpki::Owned<BIGINT, VSC_Free_BIGINT> big(VSC_Binary_To_BIGINT(nullptr, s->data, s->length));
            if (!big) {
                clean_ASN1_UNIT(node);
                return berError(F_ENCODE_TO_BER_INTEGER);
            }
            rc = encodePrimitive(node, 2, 0x02, big.get(), ber::integerContentsLength(big.get()), longForm);
        } else if (type < 0 || type > 0xff || (type & 0x1f) == 0x1f) {
            rc = refused;
        } else if (!(type & 0xe0) && type != 16 && type != 17 && type != 10) {
            // A universal type: its contents rule applies.
            if (type == 1)
                rc = stringFits(s, len) && s->data ? encodePrimitive(node, 1, 0x01, s->data, len, longForm) : refused;
            else
                rc = encodePrimitive(node, type, static_cast<uint8_t>(type), s, len, longForm);
        } else {
            // Tagged or constructed contents are kept as raw bytes.
            const uint8_t identifier = static_cast<uint8_t>(type == 16 || type == 17 ? type | 0x20 : type);
            rc = encodePrimitive(node, 4, identifier, s, len, longForm) ? berError(F_ENCODE_TO_BER_STRING) : 0;
        }
    } else if (isNodeTag(tag) || tag == ASN1_TAG_NODE) {
        ASN1_UNIT* copy = dup_ASN1_UNIT(static_cast<const ASN1_UNIT*>(value));
        if (!copy) {
            rc = refused;
        } else {
            clean_ASN1_UNIT(node);
            *node = *copy;
            PKI_FREE(copy);
            rc = 0;
        }
    } else if (tag < 1 || tag > 30) {
        rc = refused;
    } else {
        rc = encodePrimitive(node, tag, static_cast<uint8_t>(tag), value, len, longForm);
    }
    if (rc) clean_ASN1_UNIT(node);
    return rc;
}

ZUNPKI_API PKI_ERROR encodeToBER_CS(ASN1_UNIT* node, int n, int tag, const void* value, int len, int form) {
    const PKI_ERROR fail = berError(F_ENCODE_TO_BER_CS);
    if (!node) return fail;
    if (n < 0 || n > 30 || encodeToBER(node, tag, value, len, form) != 0) {
        clean_ASN1_UNIT(node);
        return fail;
    }
    node->tag[0] = static_cast<unsigned char>(0x80 | n | (node->tag[0] & 0x20));
    return 0;
}

ZUNPKI_API PKI_ERROR addToBERSequence(ASN1_UNIT* parent, int tag, void* value, int len, int form) {
    const PKI_ERROR fail = berError(F_ADD_TO_BER_SEQUENCE);
    if (!parent) {
        if (tag == ASN1_TAG_NODE) free_ASN1_UNIT(static_cast<ASN1_UNIT*>(value));
        return fail;
    }
    const ASN1_UNIT* child = nullptr;
    zpki::Owned<ASN1_UNIT, free_ASN1_UNIT> built;
    if (isNodeTag(tag) || tag == ASN1_TAG_NODE) {
        // consumed, unless it is the parent itself
        if (tag == ASN1_TAG_NODE && value != parent) built.reset(static_cast<ASN1_UNIT*>(value));
        if (!value) return fail;
        child = static_cast<const ASN1_UNIT*>(value);
    } else {
        built.reset(new_ASN1_UNIT());
        if (!built) return fail;
        const auto* s = static_cast<const ASN1_STRING*>(value);
        if (tag == ASN1_TAG_ANY_STRING && s && (isNodeTag(s->type))) {
            // Pre-encoded contents of a constructed element.
            if (form < 0 || form > 1 || !stringFits(s, len) ||
                !ber::setNode(built.get(), static_cast<uint8_t>(s->type | 0x20), s->data, static_cast<size_t>(len),
                              form == 1))
                return fail;
        } else if (encodeToBER(built.get(), tag, value, len, form) != 0) {
            return fail;
        }
        child = built.get();
    }
    if (ber::appendElement(parent, child) != 0) {
        clean_ASN1_UNIT(parent);
        return fail;
    }
    return 0;
}

}  // extern "C"

namespace {

// SEQUENCE OF / SET OF: a list element is appended; a zero length of a
// primitive type makes the parent an empty list instead.
PKI_ERROR addToList(ASN1_UNIT* parent, int tag, void* value, int len, int form, uint8_t identifier, unsigned func,
                    PKI_ERROR (*append)(ASN1_UNIT*, int, void*, int, int)) {
    if (!parent) return berError(func);
    if (isNodeTag(tag) || len != 0) return append(parent, tag, value, len, form) ? berError(func) : 0;
    static const uint8_t kNothing = 0;
    return ber::setNode(parent, identifier, &kNothing, 0, false) ? 0 : berError(func);
}

}  // namespace

extern "C" {

ZUNPKI_API PKI_ERROR addToBERSequenceOf(ASN1_UNIT* parent, int tag, void* value, int len, int form) {
    return addToList(parent, tag, value, len, form, 0x30, F_ADD_TO_BER_SEQUENCE_OF, addToBERSequence);
}

ZUNPKI_API PKI_ERROR addToBERSet(ASN1_UNIT* parent, int tag, void* value, int len, int form) {
    if (!parent || addToBERSequence(parent, tag, value, len, form) != 0) {
        clean_ASN1_UNIT(parent);
        return berError(F_ADD_TO_BER_SET);
    }
    parent->tag[0] = 0x31;
    return 0;
}

ZUNPKI_API PKI_ERROR addToBERSetOf(ASN1_UNIT* parent, int tag, void* value, int len, int form) {
    return addToList(parent, tag, value, len, form, 0x31, F_ADD_TO_BER_SET_OF, addToBERSet);
}

ZUNPKI_API PKI_ERROR addToBERSequence_CS(ASN1_UNIT* parent, int n, int tag, void* value, int len, int form) {
    if (!parent || n < 0 || n > 30 || addToBERSequence(parent, tag, value, len, form) != 0) {
        if (parent) clean_ASN1_UNIT(parent);
        return berError(F_ADD_TO_BER_SEQUENCE_CS);
    }
    parent->tag[0] = static_cast<unsigned char>(0xa0 | n);
    return 0;
}

ZUNPKI_API PKI_ERROR addToBERStringSequence(ASN1_UNIT* parent, int type, const void* value, int len, int form) {
    const PKI_ERROR fail = berError(F_ADD_TO_BER_STRING_SEQUENCE);
    if (!parent || !ber::isStringTag(type)) return fail;
    if (parent->tag) {
        if ((parent->tag[0] & 0x1f) != type) return fail;
        if (type == 3) {  // only the last segment of a bit string may be padded
            Cursor c = ber::contentsOf(parent);
            while (!c.empty()) {
                Element e;
                if (!der::getElement(c, e)) return fail;
                if (e.contentsSize < 1 || e.contents[0] != 0) return fail;
            }
        }
    }
    if (addToBERSequence(parent, type, const_cast<void*>(value), len, form) != 0) {
        clean_ASN1_UNIT(parent);
        return fail;
    }
    parent->tag[0] = static_cast<unsigned char>(type | 0x20);
    return 0;
}

}  // extern "C"

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
        case 3:
        case 4:
        case 12:
        case 19:
        case 20:
        case 22:
        case 23:
        case 24:
        case 30:
            return decodeString(e, expected);
        case 16:
        case 17:
        case 48:
        case 49:
            return nodeFromElement(e);
        default:
            return nullptr;
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

namespace zpki::ber {

bool serialize(const ASN1_UNIT* node, Bytes& out) {
    size_t contents, total;
    if (!nodeSize(node, contents, total)) return false;
    try {
        out.clear();
        out.reserve(total);
        out.push_back(node->tag[0]);
        out.insert(out.end(), node->length, node->length + getASN1LengthSize(node->length));
        if (contents) out.insert(out.end(), node->value, node->value + contents);
        if (node->length[0] == 0x80) {
            out.push_back(0);
            out.push_back(0);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace zpki::ber
