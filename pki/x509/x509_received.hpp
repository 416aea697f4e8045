// The DER a signed record was decoded from (certificates, CRLs), kept so that
// encoding, digesting, signing and verifying use the bytes as received for as
// long as the record still holds what was decoded. A record that keeps bytes
// has a `received` member and a specialisation of Kept<T> below.
#pragma once

#include <array>
#include <cstdint>

#include "asn1/asn1_struct.hpp"
#include "asn1/ber_internal.hpp"
#include "asn1/kept.hpp"
#include <zunPKI/x509/x509_key.h>

namespace zpki::x509 {

using Received = x509_received_st;
using Snapshot = std::array<uintptr_t, 22>;
using asn1::Mark;

// Specialised for each kind of record that keeps bytes:
//   static Snapshot of(const T*)       the members a setter or a caller would
//                                      replace (pointers, counts, small values)
//   static bool partsKept(const T*)    parts with bytes or marks of their own
//                                      still stand for what was decoded
template <class T>
struct Kept;

inline uintptr_t addr(const void* p) { return reinterpret_cast<uintptr_t>(p); }

// The fingerprint of a snapshot.
inline uint64_t markOf(const Snapshot& s) {
    Mark m;
    m.bytes(s.data(), sizeof s);
    return m.value();
}

// What an extension list, a name or a public-key record holds, by content
// where a member can be changed through its own setters without the
// record's address or count changing (an extension's flag or value, a name
// decoded into the record's own, a key installed in the key record).
uintptr_t extensionsMark(const STACK* list);
uintptr_t nameMark(const STACK* name);
uintptr_t publicKeyMark(const X509_PUBKEY* pk);

inline void freeReceived(Received*& r) { asn1::freeKept(r); }

template <class T>
bool receivedValid(const T* rec) {
    return rec && rec->received && Kept<T>::partsKept(rec) && rec->received->mark == markOf(Kept<T>::of(rec));
}

// Keeps element e (whole encoding) as what rec was decoded from.
template <class T>
bool keep(T* rec, const der::Element& e) {
    freeReceived(rec->received);
    rec->received = asn1::keepElement(e, markOf(Kept<T>::of(rec)));
    return rec->received != nullptr;
}

// A reference to from's kept DER for to, when it still stands for from.
template <class T>
bool copyReceived(const T* from, T* to) {
    if (!receivedValid(from)) return true;
    const Received* k = from->received;
    freeReceived(to->received);
    to->received = asn1::newKept(k->der, k->offset, k->size, markOf(Kept<T>::of(to)));
    return to->received != nullptr;
}

// Bytes that are either borrowed from a record's kept DER or owned.
struct DerBytes {
    const uint8_t* data = nullptr;
    size_t size = 0;
    ber::Bytes own;

    void borrow(const Received* k) {
        data = k->data();
        size = k->size;
    }
    void adopt() {
        data = own.data();
        size = own.size();
    }
};

// The DER of a record: its kept bytes while they stand for it, else a
// SEQUENCE that encodeInto(rec, seq) fills serialised. encodeInto returns 0,
// a reason (given libFunc here) or a whole code of an inner structure.
template <class T, class EncodeInto>
PKI_ERROR derOf(const T* rec, DerBytes& out, unsigned libFunc, EncodeInto encodeInto);

bool serializeNode(const ASN1_UNIT* node, DerBytes& out);

// The DER as a node for the caller: a new one, the caller's empty node
// filled, or the record's elements appended to the node the caller passes.
PKI_ERROR derToNode(const DerBytes& der, ASN1_UNIT** node, unsigned libFunc);

// The elements of a signed record after its to-be-signed part: tbs,
// AlgorithmIdentifier { alg, params }, BIT STRING value, appended to seq.
// 0 or ERR_ASN1_ENCODING.
unsigned appendSignedParts(ASN1_UNIT* seq, const DerBytes& tbs, const OBJECT_IDENTIFIER* alg, const ASN1_STRING* params,
                           const BIT_STRING* value);

// The whole of a node's encoding, which must be one element.
bool wholeElement(const ASN1_UNIT* node, ber::Bytes& bytes, der::Element& e);

template <class T, class EncodeInto>
PKI_ERROR derOf(const T* rec, DerBytes& out, unsigned libFunc, EncodeInto encodeInto) {
    if (receivedValid(rec)) {
        out.borrow(rec->received);
        return 0;
    }
    Owned<ASN1_UNIT, free_ASN1_UNIT> seq(new_ASN1_UNIT());
    if (!seq) return static_cast<PKI_ERROR>(libFunc | ERR_R_ALLOC_3C);
    if (const unsigned reason = encodeInto(rec, seq.get()))
        return static_cast<PKI_ERROR>(reason > 0xffff ? reason : libFunc | reason);  // inner codes pass whole
    if (!seq->tag) return static_cast<PKI_ERROR>(libFunc | ERR_ASN1_ENCODING);
    seq->tag[0] = 0x30;
    return serializeNode(seq.get(), out) ? 0 : static_cast<PKI_ERROR>(libFunc | ERR_ASN1_ENCODING);
}

}  // namespace zpki::x509
