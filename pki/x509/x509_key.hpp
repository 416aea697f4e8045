// A SubjectPublicKeyInfo as a member of another record.
#pragma once

#include "asn1/asn1_struct.hpp"
#include <zunPKI/x509/x509_key.h>

namespace zpki::x509 {

// A SubjectPublicKeyInfo element into a new record with its key object; 0 or
// the code Seq_to_X509_PUBKEY gives.
PKI_ERROR decodePublicKey(const der::Element& e, X509_PUBKEY*& out);
// Its element, written from the key object (public values only).
int writePublicKey(const X509_PUBKEY* pk, asn1::Writer& w);

struct PublicKeyCodec {
    using WriteOwner = PublicKeyCodec;
    using Value = X509_PUBKEY*;
    static bool matches(uint8_t id) { return id == 0x30; }
    static bool decodeContents(const asn1::Element& e, Value& out) { return decodePublicKey(e, out) == 0; }
    static bool write(const Value& v, asn1::Writer& w) { return v && writePublicKey(v, w) == 0; }
    static bool encode(const Value& v, ASN1_UNIT* parent) { return asn1::encodeByWriting<PublicKeyCodec>(v, parent); }
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) {
        free_X509_PUBKEY(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) { return !from || (to = dup_X509_PUBKEY(from)) != nullptr; }
    static int compare(const Value& a, const Value& b) { return cmp_X509_PUBKEY(a, b); }
    // The setters install a new key object in the same record.
    static void mark(const Value& v, asn1::Mark& m) {
        m.address(v);
        if (!v) return;
        m.string(v->algorithm);
        m.string(v->subjectPublicKey);
        m.address(v->key);
        if (v->key) {
            m.word(static_cast<uint64_t>(v->key->kind));
            m.address(v->key->key);
        }
    }
};

}  // namespace zpki::x509
