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
    using Value = X509_TIME*;
    static bool matches(uint8_t id) { return id == ASN1_TAG_UTC_TIME || id == ASN1_TAG_GENERALIZED_TIME; }
    static bool decodeContents(const asn1::Element& e, Value& out);
    static bool encode(const Value& v, ASN1_UNIT* parent);
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) {
        free_X509_TIME(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) { return !from || (to = dup_X509_TIME(from)) != nullptr; }
    static int compare(const Value& a, const Value& b) { return cmp_X509_TIME(a, b); }
};

inline bool isCertIdentifier(uint8_t id) { return id == 0x30; }

// A certificate as a member of another record.
using CertCodec = asn1::ByFunctions<X509_CERT, new_X509_CERT, free_X509_CERT, dup_X509_CERT, cmp_X509_CERT,
                                    X509_CERT_to_Seq, Seq_to_X509_CERT, isCertIdentifier>;

}  // namespace zpki::x509
