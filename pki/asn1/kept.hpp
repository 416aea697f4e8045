// The DER a record was decoded from, kept beside the record.
//
// A decode from a node copies the node's bytes once into a SharedDer; every
// record decoded from them that keeps its DER (a certificate and its TBS
// body, a CRL and its list) holds a reference and the offsets of its own
// element, not a copy. With the bytes, a record keeps a fingerprint of its
// members made when it was decoded: while the members still give the same
// fingerprint the bytes stand for the record, and encoding, digesting and
// signature checks use them as received.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <zunPKI/asn1/asn1.h>
#include "asn1/der_cursor.hpp"
#include "asn1/pki_mem.hpp"

namespace zpki::asn1 {
struct SharedDer;
}  // namespace zpki::asn1

// What a record keeps: its element inside a shared buffer and the
// fingerprint of its members then. (The records' headers name this struct
// for their private member.)
struct x509_received_st {
    zpki::asn1::SharedDer* der = nullptr;
    size_t offset = 0;
    size_t size = 0;
    uint64_t mark = 0;
    const uint8_t* data() const;
};

// PKCS#7 signed attributes kept as received (the SignerInfo's header names
// this struct).
struct p7_received_attrs_st : x509_received_st {};

namespace zpki::asn1 {

using Kept = x509_received_st;

// An immutable buffer shared by the records decoded from it. It has room for
// the first two records' Kept (a certificate and its body, a CRL and its
// body), so that keeping costs no blocks of its own.
struct SharedDer {
    static constexpr int kSlots = 2;
    std::atomic<long> refs;
    size_t size;
    Kept slots[kSlots];
    std::atomic<bool> taken[kSlots];
    uint8_t* bytes() { return reinterpret_cast<uint8_t*>(this + 1); }
    const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(this + 1); }
    bool holds(const uint8_t* p, size_t n) const {
        const uint8_t* b = bytes();
        return p >= b && n <= size && static_cast<size_t>(p - b) <= size - n;
    }
};

// A new buffer of size bytes (filled by the caller), one reference.
SharedDer* newSharedDer(size_t size);
void retain(SharedDer* d);
void release(SharedDer* d);

// A running fingerprint of words and bytes: each word mixed with its
// position and added in, so the words do not wait on one another; value()
// mixes the sum once more.
struct Mark {
    uint64_t h = 0;
    uint64_t n = 0;
    // Made for a record decoded just now: the members that keep marks or
    // bytes of their own stand for what was decoded by construction.
    bool fresh = false;
    void word(uint64_t v) {
        n += 0x9e3779b97f4a7c15ull;
        h += (v ^ n) * 0xff51afd7ed558ccdull;
    }
    void bytes(const void* p, size_t len) {
        const auto* b = static_cast<const uint8_t*>(p);
        for (; len >= 8; b += 8, len -= 8) {
            uint64_t w;
            std::memcpy(&w, b, 8);
            word(w);
        }
        uint64_t tail = 0;
        std::memcpy(&tail, b, len);
        word(tail ^ (static_cast<uint64_t>(len) << 56));
    }
    void address(const void* p) { word(reinterpret_cast<uintptr_t>(p)); }
    // A string by address and content: setters change strings in place.
    void string(const ASN1_STRING* s) {
        address(s);
        if (!s) return;
        word(static_cast<uint64_t>(static_cast<uint32_t>(s->type)) << 32 | static_cast<uint32_t>(s->length));
        word(static_cast<uint64_t>(static_cast<uint32_t>(s->extra)));
        if (s->data && s->length > 0) bytes(s->data, static_cast<size_t>(s->length));
    }
    // Never 0, so that 0 can mean "nothing kept".
    uint64_t value() const {
        uint64_t x = h ^ (h >> 33);
        x *= 0xc4ceb9fe1a85ec53ull;
        return (x ^ (x >> 29)) | 1;
    }
};

}  // namespace zpki::asn1

inline const uint8_t* x509_received_st::data() const { return der->bytes() + offset; }

namespace zpki::asn1 {

Kept* newKept(SharedDer* der, size_t offset, size_t size, uint64_t mark);
void freeKept(Kept*& k);

// The buffer the decode running on this thread reads from, so that records
// decoded inside it refer to it rather than copy their bytes.
class DecodeScope {
public:
    explicit DecodeScope(SharedDer* der);
    ~DecodeScope();
    DecodeScope(const DecodeScope&) = delete;
    DecodeScope& operator=(const DecodeScope&) = delete;
    static SharedDer* current();

private:
    SharedDer* m_previous;
};

// The code of the part of a decode that failed with a code of its own (the
// innermost one: the first noted wins), for entry points whose parts fail
// with their own function bytes. A scope starts with no code and gives the
// enclosing scope's back when it ends.
class DecodeFailure {
public:
    DecodeFailure();
    ~DecodeFailure();
    DecodeFailure(const DecodeFailure&) = delete;
    DecodeFailure& operator=(const DecodeFailure&) = delete;
    unsigned code() const { return m_code; }
    static void note(unsigned code);

private:
    unsigned m_code = 0;
    unsigned* m_outer;
};

// The kept form of element e (whole encoding from e.start): a reference into
// the running decode's buffer when e lies in it, else a buffer of its own.
Kept* keepElement(const der::Element& e, uint64_t mark);

// The same in a block of type K, a Kept under another name that a record's
// header declares for its private member (never one of the buffer's slots).
template <class K>
K* keepElementAs(const der::Element& e, uint64_t mark) {
    static_assert(sizeof(K) == sizeof(Kept), "a Kept under another name");
    Kept* k = keepElement(e, mark);
    if (!k) return nullptr;
    K* own = PKI_NEW(K);
    if (own) {
        own->der = k->der;
        retain(k->der);
        own->offset = k->offset;
        own->size = k->size;
        own->mark = mark;
    }
    freeKept(k);
    return own;
}

}  // namespace zpki::asn1
