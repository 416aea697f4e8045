// The DER of signed records (certificates, CRLs) inside the library: the
// bytes a record encodes to (its kept DER while that still stands for it),
// and handing them to a caller's node. What is kept and when it stands is
// the description's (Describe<T>::kReceived, asn1/kept.hpp).
#pragma once

#include <cstdint>
#include <cstring>

#include "asn1/asn1_struct.hpp"
#include "asn1/ber_internal.hpp"
#include "asn1/kept.hpp"

namespace zpki::x509 {

using Received = x509_received_st;

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

// The DER of a described record that keeps what it was decoded from: the
// kept bytes while they stand for it, else written afresh (0, or a code with
// the record's own function byte, or an inner record's whole code).
template <class T>
PKI_ERROR derOfRecord(const T* r, DerBytes& out) {
    if (const Received* k = asn1::detail::RecordOps<T>::kept(*r)) {
        out.borrow(k);
        return 0;
    }
    if (const int reason = asn1::Family<T>::write(r, out.own)) {
        const auto code = static_cast<unsigned>(reason);
        return static_cast<PKI_ERROR>(code > 0xffff ? code : asn1::Describe<T>::kEncodeFunc | code);
    }
    out.adopt();
    return 0;
}

// Drops the kept DER of a signed record and of its to-be-signed body.
template <class T, class Body, Body* T::*BodyMember>
void dropSigned(T* r) {
    if (!r) return;
    asn1::detail::RecordOps<T>::forget(*r);
    if (Body* body = r->*BodyMember) asn1::detail::RecordOps<Body>::forget(*body);
}

// Records are equal when their DER is: -1, 0 or 1.
inline int compareDer(const DerBytes& x, const DerBytes& y) {
    if (x.size != y.size) return x.size < y.size ? -1 : 1;
    const int c = std::memcmp(x.data, y.data, x.size);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// The DER as a node for the caller: a new one, the caller's empty node
// filled, or the record's elements appended to the node the caller passes.
inline PKI_ERROR derToNode(const DerBytes& der, ASN1_UNIT** node, unsigned libFunc) {
    ASN1_UNIT* target = *node ? *node : new_ASN1_UNIT();
    if (!target) return static_cast<PKI_ERROR>(libFunc | ERR_R_ALLOC_3C);
    if (!asn1::detail::deliverElement(der.data, der.size, target, false)) {
        if (*node)
            clean_ASN1_UNIT(target);
        else
            free_ASN1_UNIT(target);
        return static_cast<PKI_ERROR>(libFunc | ERR_ASN1_ENCODING);
    }
    *node = target;
    return 0;
}

}  // namespace zpki::x509
