// Helpers shared by the record codecs of every folder: replacing a member,
// members the encoding never carries, handing a finished record to the
// caller, and small readings of encoded bytes.
#pragma once

#include <zunPKI/asn1/asn1_io.h>
#include "asn1/asn1_struct.hpp"
#include "asn1/pki_buffer.hpp"

#include <cstring>

namespace zpki::asn1 {

using Node = Owned<ASN1_UNIT, free_ASN1_UNIT>;
using String = Owned<ASN1_STRING, free_ASN1_STRING>;

// Puts fresh in slot, releasing what slot held; 1, with slot as it was,
// when there is nothing fresh (a copy or allocation failed).
template <auto Free, class T>
int replace(T*& slot, T* fresh) {
    if (fresh == nullptr) return 1;
    Free(slot);
    slot = fresh;
    return 0;
}

// Moves the members of fresh into the caller's record into (whose own are
// released with Clean) and leaves fresh empty.
template <class T, void (*Clean)(T*)>
void moveInto(T* into, T* fresh) {
    Clean(into);
    std::memcpy(static_cast<void*>(into), fresh, sizeof(T));
    std::memset(static_cast<void*>(fresh), 0, sizeof(T));
}

// Hands a finished record to the caller: into the record *out points to
// (its old members released), or as *out when it points to none.
template <auto Clean, class T, void (*Free)(T*)>
void deliver(Owned<T, Free>& made, T** out) {
    if (*out == nullptr)
        *out = made.release();
    else
        moveInto<T, Clean>(*out, made.get());
}

// The bytes are exactly one definite-length DER SEQUENCE, nothing after it
// (decrypted garbage almost never is).
inline bool isOneSequence(const unsigned char* der, size_t len) {
    der::Cursor in(der, len);
    der::Element e;
    return der::getElement(in, e) && e.identifier == 0x30 && !e.indefinite && in.empty();
}

// The DER of a record through its encoder, in a buffer wiped when released;
// empty, with len -1, when the encoder fails.
template <class T>
Buffer derOf(const T* record, PKI_ERROR (*encoder)(const T*, ASN1_UNIT**), int& len) {
    len = -1;
    ASN1_UNIT* made = nullptr;
    PKI_ERROR rc = encoder(record, &made);
    Owned<ASN1_UNIT, free_ASN1_UNIT> node(made);
    if (rc != PKI_SUCCESS || !node) return {};
    unsigned char* bytes = nullptr;
    const int n = ASN1_to_binary(node.get(), &bytes);
    auto der = Buffer::adopt(bytes, n);
    if (n <= 0) return {};
    len = n;
    return der;
}

// The number of children of a constructed node; -1 when they do not read.
inline int childCount(const ASN1_UNIT* node) {
    asn1::Decoder d(ber::contentsOf(node));
    asn1::Element e;
    int n = 0;
    while (d.more()) {
        if (!d.next(e)) return -1;
        ++n;
    }
    return n;
}

// A string of type 48 holding the contents of node, a SEQUENCE: how an
// AlgorithmIdentifier keeps SEQUENCE parameters.
inline Owned<ASN1_STRING, free_ASN1_STRING> contentsString(const ASN1_UNIT* node) {
    const int len = getASN1ValueLength(node);
    Owned<ASN1_STRING, free_ASN1_STRING> s(new_ASN1_STRING());
    if (!s || len < 0 || set_ASN1_STRING_value(s.get(), ASN1_TAG_CONS_SEQUENCE, node->value, len) != PKI_SUCCESS)
        return nullptr;
    return s;
}

// The SEQUENCE that parameters of type 48 hold, as a node; null for any
// other parameters.
inline Owned<ASN1_UNIT, free_ASN1_UNIT> sequenceOf(const ASN1_STRING* params) {
    if (params == nullptr || params->type != ASN1_TAG_CONS_SEQUENCE) return nullptr;
    ASN1_UNIT* node = nullptr;
    if (ASN1_STRING_to_Seq(params, &node) != PKI_SUCCESS) return nullptr;
    return Owned<ASN1_UNIT, free_ASN1_UNIT>(node);
}

}  // namespace zpki::asn1
