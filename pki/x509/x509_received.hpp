// The DER of signed records (certificates, CRLs) inside the library: the
// bytes a record encodes to (its kept DER while that still stands for it),
// and handing them to a caller's node. What is kept and when it stands is
// the description's (Describe<T>::kReceived, asn1/kept.hpp).
#pragma once

#include <climits>
#include <cstdint>
#include <cstring>
#include <new>

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

// An element with a definite length in the fewest octets.
inline bool minimalLength(const der::Element& x) {
    if (x.indefinite) return false;
    uint8_t len[5];
    const size_t n = der::putLength(len, x.contentsSize, false);
    return n != 0 && n == x.headerSize - 1 && std::memcmp(len, x.lengthOctets(), n) == 0;
}

// OBJECT IDENTIFIER contents of subidentifiers in the fewest octets.
inline bool minimalOid(const der::Element& x) {
    if (x.contentsSize == 0 || (x.contents[x.contentsSize - 1] & 0x80)) return false;
    for (size_t i = 0; i < x.contentsSize; ++i)
        if (x.contents[i] == 0x80 && (i == 0 || !(x.contents[i - 1] & 0x80))) return false;
    return true;
}

// True when what follows the body in signed record e is already what
// keepSigned would write (the common case, told without writing anything):
// the record's length, the signature AlgorithmIdentifier, its OID (in
// minimal subidentifiers) and parameters in definite lengths of the fewest
// octets, and a primitive BIT STRING.
inline bool layersAreDer(const der::Element& e, size_t bodySize) {
    if (!minimalLength(e) || bodySize > e.contentsSize) return false;
    der::Cursor rest(e.contents + bodySize, e.contentsSize - bodySize);
    der::Element alg, sig, oid, params;
    if (!der::getElement(rest, alg) || !der::getElement(rest, sig) || !rest.empty()) return false;
    if (alg.identifier != 0x30 || !minimalLength(alg) || sig.identifier != 0x03 || !minimalLength(sig)) return false;
    der::Cursor inside(alg.contents, alg.contentsSize);
    if (!der::getElement(inside, oid) || oid.identifier != 0x06 || !minimalLength(oid) || !minimalOid(oid))
        return false;
    return inside.empty() || (der::getElement(inside, params) && inside.empty() && minimalLength(params));
}

// What a signed record (certificate, CRL) keeps of its element e: the bytes
// as received when the layers around the body are DER, else those layers
// written in DER around the body as received. The signature covers only the
// body, so a BER outer SEQUENCE or a long-form or constructed signature BIT
// STRING would otherwise give one signed record as many fingerprints as it
// has byte forms. The body stays as received: its bytes are what was signed.
// Signature parameters keep their contents as received under a DER length
// (absent stays absent), as openssl keeps them.
template <class T, class Body, Body* T::*BodyMember>
asn1::Kept* keepSigned(const der::Element& e, const T& r, uint64_t mark) {
    const Body* body = r.*BodyMember;
    const Received* b = body ? body->*(asn1::Describe<Body>::kReceived) : nullptr;
    if (!b || b->size > e.contentsSize) return nullptr;
    if (layersAreDer(e, b->size)) return asn1::keepElement(e, mark);
    // The elements the decode has just read.
    der::Cursor rest(e.contents + b->size, e.contentsSize - b->size);
    der::Element alg, oid, params;
    if (!der::getElement(rest, alg)) return nullptr;
    der::Cursor inside(alg.contents, alg.contentsSize);
    if (!der::getElement(inside, oid)) return nullptr;
    const bool hasParams = !inside.empty();
    if (hasParams && !der::getElement(inside, params)) return nullptr;
    try {
        ber::Bytes tail;
        asn1::Writer w(tail);
        const size_t algStart = w.open(0x30);
        if (!(minimalOid(oid) ? w.element(0x06, oid.contents, oid.contentsSize)
                              : asn1::Oid::write(r.signatureAlgorithm, w)) ||
            (hasParams && !w.element(params.identifier, params.contents, params.contentsSize)) || !w.close(algStart) ||
            !asn1::BitString::write(r.signatureValue, w))
            return nullptr;
        const size_t contents = b->size + tail.size();
        uint8_t len[5];
        const size_t n = contents <= static_cast<size_t>(INT_MAX) - 6 ? der::putLength(len, contents, false) : 0;
        if (n == 0) return nullptr;
        const size_t total = 1 + n + contents;
        asn1::SharedDer* own = asn1::newSharedDer(total);
        if (!own) return nullptr;
        uint8_t* p = own->bytes();
        *p = e.identifier;
        std::memcpy(p + 1, len, n);
        std::memcpy(p + 1 + n, b->data(), b->size);
        std::memcpy(p + 1 + n + b->size, tail.data(), tail.size());
        asn1::Kept* k = asn1::newKept(own, 0, total, mark);
        asn1::release(own);
        return k;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
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
