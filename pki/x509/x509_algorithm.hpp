// The AlgorithmIdentifier as a member of described records.
#pragma once

#include <zunPKI/x509/x509_key.h>
#include "asn1/asn1_struct.hpp"
#include "x509/x509_list.hpp"
#include "x509/x509_signing.hpp"

namespace zpki::x509 {

using Algorithm = Owned<X509_ALGO_IDENTIFIER, free_X509_ALGO_IDENTIFIER>;

inline bool isSequence(uint8_t id) { return id == 0x30; }

}  // namespace zpki::x509

template <>
struct zpki::asn1::Describe<X509_ALGO_IDENTIFIER> {
    using Shape = Sequence<Field<&X509_ALGO_IDENTIFIER::algorithm, Oid>,
                           Field<&X509_ALGO_IDENTIFIER::parameters, Optional<zpki::x509::ValueString>>>;
};

namespace zpki::x509 {

// An AlgorithmIdentifier member, read and written in place.
using AlgorithmId = asn1::Sub<X509_ALGO_IDENTIFIER>;

// An AlgorithmIdentifier held in two members of a record, the algorithm and
// its parameters as received (null: written as the algorithm wants them):
// the signature algorithms of certificates and CRLs. Required; an algorithm
// without text is missing.
template <auto Algorithm, auto Parameters, int MissingReason = ERR_R_INVALID_ELEMENT>
struct AlgorithmField {
    static constexpr bool kOwnOps = true;
    template <class T>
    static bool init(T&) {
        return true;
    }
    template <class T>
    static void release(T& r) {
        free_ASN1_STRING(r.*Algorithm);
        free_ASN1_STRING(r.*Parameters);
        r.*Algorithm = nullptr;
        r.*Parameters = nullptr;
    }
    template <class T>
    static bool copy(const T& from, T& to) {
        return asn1::Oid::copy(from.*Algorithm, to.*Algorithm) &&
               asn1::AnyString::copy(from.*Parameters, to.*Parameters);
    }
    template <class T>
    static int compare(const T& a, const T& b) {
        if (const int c = cmp_ASN1_STRING(a.*Algorithm, b.*Algorithm)) return c;
        return cmp_ASN1_STRING(a.*Parameters, b.*Parameters);
    }
    template <class T>
    static int missing(const T& r) {
        return r.*Algorithm && (r.*Algorithm)->length > 0 ? 0 : MissingReason;
    }
    template <class T>
    static int write(const T& r, asn1::Writer& w) {
        if (missing(r)) return MissingReason;
        return writeAlgorithm(w, r.*Algorithm, r.*Parameters) ? 0 : ERR_ASN1_ENCODING;
    }
    static bool accepts(uint8_t id) { return id == 0x30; }
    static constexpr bool required() { return true; }
    template <class T>
    static bool decodeElement(T& r, const asn1::Element& e) {
        return readAlgorithm(e, r.*Algorithm, r.*Parameters);
    }
    template <class T>
    static bool absentValue(T&) {
        return true;
    }
    template <class T>
    static bool decode(T& r, asn1::Decoder& in) {
        asn1::Element e;
        return in.next(e) && decodeElement(r, e);
    }
    template <class T>
    static void mark(const T& r, asn1::Mark& m) {
        m.string(r.*Algorithm);
        m.string(r.*Parameters);
    }
};

}  // namespace zpki::x509
