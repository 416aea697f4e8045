// Certificates inside the library: the DER a record was decoded from, the
// bytes a certificate or its TBS body encodes to, and the codec that makes a
// certificate a member of another record.
#pragma once

#include "asn1/asn1_struct.hpp"
#include "asn1/ber_internal.hpp"
#include <zunPKI/x509/x509_cert.h>
#include "x509/x509_received.hpp"

namespace zpki::x509 {

// The DER of the TBS body: the kept bytes while they still stand for it, else
// the body encoded afresh (0, or the encoder's code).
PKI_ERROR tbsDer(const X509_TBS_CERT* tbs, DerBytes& out);
// The same for the whole certificate.
PKI_ERROR certDer(const X509_CERT* cert, DerBytes& out);

// Drops the kept DER of the TBS body and of the certificate.
void dropReceived(X509_TBS_CERT* tbs);
void dropReceived(X509_CERT* cert);

// A time of a known type with a value.
inline bool timeUsable(const X509_TIME* t) {
    return t && (t->type == X509_TIME_UTC || t->type == X509_TIME_GENERALIZED) && t->value;
}

// Time ::= CHOICE { utcTime UTCTime, generalTime GeneralizedTime } as a
// member of a record. A time whose text does not read is refused: a bound
// nobody can check makes the record unusable.
struct TimeCodec {
    using WriteOwner = TimeCodec;
    using Value = X509_TIME*;
    static bool matches(uint8_t id) { return id == ASN1_TAG_UTC_TIME || id == ASN1_TAG_GENERALIZED_TIME; }
    static bool decodeContents(const asn1::Element& e, Value& out);
    static bool encode(const Value& v, ASN1_UNIT* parent);
    static bool write(const Value& v, asn1::Writer& w);
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) {
        free_X509_TIME(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) { return !from || (to = dup_X509_TIME(from)) != nullptr; }
    static int compare(const Value& a, const Value& b) { return cmp_X509_TIME(a, b); }
    static void mark(const Value& v, asn1::Mark& m) {
        m.address(v);
        if (!v) return;
        m.word(static_cast<uint64_t>(v->type));
        m.string(v->value);
    }
};

// A certificate as a member of another record: read from the element in
// place (keeping its DER), written as its DER.
struct CertCodec {
    using WriteOwner = CertCodec;
    using Value = X509_CERT*;
    static bool matches(uint8_t id) { return id == 0x30; }
    static bool decodeContents(const asn1::Element& e, Value& out);
    static bool write(const Value& v, asn1::Writer& w);
    static bool encode(const Value& v, ASN1_UNIT* parent) { return asn1::encodeByWriting<CertCodec>(v, parent); }
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) {
        free_X509_CERT(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) { return !from || (to = dup_X509_CERT(from)) != nullptr; }
    static int compare(const Value& a, const Value& b) { return cmp_X509_CERT(a, b); }
};

}  // namespace zpki::x509
