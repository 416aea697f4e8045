// The DER of signed records (certificates, CRLs) inside the library: the
// bytes a record encodes to (its kept DER while that still stands for it),
// and handing them to a caller's node. What is kept and when it stands is
// the description's (Describe<T>::kReceived, asn1/kept.hpp).
#pragma once

#include <cstdint>
#include <cstring>

#include "asn1/asn1_struct.hpp"
#include "asn1/ber_internal.hpp"
#include "asn1/codec_util.hpp"
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

// The DER of a to-be-signed body, and of a signed record whose body,
// signature algorithm and value are there (else the record's own code with
// ERR_R_NULL_ARGUMENT).
template <class Body>
PKI_ERROR bodyDerOf(const Body* body, DerBytes& out) {
    if (!body) return static_cast<PKI_ERROR>(asn1::Describe<Body>::kEncodeFunc | ERR_R_NULL_ARGUMENT);
    return derOfRecord(body, out);
}
template <class T, auto BodyMember>
PKI_ERROR signedDerOf(const T* r, DerBytes& out) {
    if (!r || !(r->*BodyMember) || !r->signatureAlgorithm || !r->signatureValue)
        return static_cast<PKI_ERROR>(asn1::Describe<T>::kEncodeFunc | ERR_R_NULL_ARGUMENT);
    return derOfRecord(r, out);
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

inline PKI_ERROR derToNode(const DerBytes& der, ASN1_UNIT** node, unsigned libFunc) {
    return asn1::deliverBytes(der.data, der.size, node, libFunc, false);
}

// What a signed record or its body is read from a node with: one copy of
// the node's DER, shared by what the records keep. 0, or the code of the
// innermost part that failed with a code of its own, else bad.
template <class T>
PKI_ERROR decodeKeeping(const ASN1_UNIT* node, T& into, PKI_ERROR bad) {
    asn1::detail::NodeInput in(node, true);
    if (!in.ok() || in.element().identifier != 0x30) return bad;
    asn1::DecodeFailure failure;
    if (!asn1::Family<T>::decodeElement(in.element(), into)) return failure.code() ? failure.code() : bad;
    return 0;
}

// The C family of a signed record with a to-be-signed body (certificates,
// CRLs): Seq_to_T and T_to_Seq through the kept DER, the body's own codec,
// and the lifecycle (a new record has an empty body; records are equal when
// their DER is; touch_T forgets the kept DER).
template <class T, class Body, Body* T::*BodyMember, PKI_ERROR (*Der)(const T*, DerBytes&),
          PKI_ERROR (*BodyDer)(const Body*, DerBytes&)>
struct SignedFamily {
    using Record = asn1::Family<T>;
    using BodyRecord = asn1::Family<Body>;

    static PKI_ERROR fromSeq(const ASN1_UNIT* node, T** out, unsigned libFunc) {
        if (!node || !out) return static_cast<PKI_ERROR>(libFunc | ERR_R_NULL_ARGUMENT);
        Owned<T, Record::destroy> made(PKI_NEW(T));
        if (!made) return static_cast<PKI_ERROR>(libFunc | ERR_R_ALLOC_3C);
        if (PKI_ERROR rc = decodeKeeping(node, *made, static_cast<PKI_ERROR>(libFunc | ERR_ASN1_DECODING))) return rc;
        asn1::deliver<Record::clean>(made, out);
        return 0;
    }
    static PKI_ERROR toSeq(const T* r, ASN1_UNIT** node, unsigned libFunc) {
        if (!node) return static_cast<PKI_ERROR>(libFunc | ERR_R_NULL_ARGUMENT);
        DerBytes der;
        if (PKI_ERROR rc = Der(r, der)) return rc;
        return derToNode(der, node, libFunc);
    }
    // The body read into the record, in place of its own.
    static PKI_ERROR bodyFromSeq(const ASN1_UNIT* node, T* r, unsigned libFunc) {
        if (!node || !r) return static_cast<PKI_ERROR>(libFunc | ERR_R_NULL_ARGUMENT);
        Owned<Body, BodyRecord::destroy> made(PKI_NEW(Body));
        if (!made) return static_cast<PKI_ERROR>(libFunc | ERR_R_ALLOC_3C);
        if (PKI_ERROR rc = decodeKeeping(node, *made, static_cast<PKI_ERROR>(libFunc | ERR_ASN1_DECODING))) return rc;
        BodyRecord::destroy(r->*BodyMember);
        r->*BodyMember = made.release();
        asn1::detail::RecordOps<T>::forget(*r);
        return 0;
    }
    static PKI_ERROR bodyToSeq(const Body* body, ASN1_UNIT** node, unsigned libFunc) {
        if (!body || !node) return static_cast<PKI_ERROR>(libFunc | ERR_R_NULL_ARGUMENT);
        DerBytes der;
        if (PKI_ERROR rc = BodyDer(body, der)) return rc;
        return derToNode(der, node, libFunc);
    }
    static T* create() {
        Owned<T, Record::destroy> r(Record::create());
        if (!r || !(r.get()->*BodyMember = BodyRecord::create())) return nullptr;
        return r.release();
    }
    static int cmp(const T* a, const T* b) {
        DerBytes x, y;
        if (!a || !b || Der(a, x) != 0 || Der(b, y) != 0) return 1;
        return compareDer(x, y);
    }
    static void touch(T* r) { dropSigned<T, Body, BodyMember>(r); }
};

// new_T, clean_T, free_T, dup_T, cmp_T and touch_T of a SignedFamily F.
#define ZPKI_SIGNED_LIFECYCLE(T, F)                                         \
    extern "C" {                                                            \
    ZUNPKI_API T* new_##T(void) { return F::create(); }                     \
    ZUNPKI_API void clean_##T(T* r) { F::Record::clean(r); }                \
    ZUNPKI_API void free_##T(T* r) { F::Record::destroy(r); }               \
    ZUNPKI_API T* dup_##T(const T* r) { return F::Record::dup(r); }         \
    ZUNPKI_API int cmp_##T(const T* a, const T* b) { return F::cmp(a, b); } \
    ZUNPKI_API void touch_##T(T* r) { F::touch(r); }                        \
    }

}  // namespace zpki::x509
