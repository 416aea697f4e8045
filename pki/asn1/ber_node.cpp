// The node tree: nodes, their child index, appending and serialising.
#include <zunPKI/asn1/ber.h>

#include <array>
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

namespace zpki::ber {

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

namespace {

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
