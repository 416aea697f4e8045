// A name as a member of another record: Field<&T::issuer, zpki::x509::NameCodec>.
#pragma once

#include "asn1/asn1_struct.hpp"
#include <zunPKI/x509/x509_name.h>

namespace zpki::x509 {

// The RDNs of a Name element appended to name; false when they do not read.
bool decodeNameContents(const asn1::Element& e, X509_NAME* name);
// The Name element written from the entries (sameRdn groups an entry with
// the one before it); 0, ERR_R_INVALID_ELEMENT for a null entry, or
// ERR_ASN1_ENCODING.
int writeName(const X509_NAME* name, asn1::Writer& w);

struct NameCodec {
    using WriteOwner = NameCodec;
    using Value = X509_NAME*;
    static bool matches(uint8_t id) { return id == 0x30; }
    static bool decodeContents(const asn1::Element& e, Value& out);
    static bool write(const Value& v, asn1::Writer& w) { return v && writeName(v, w) == 0; }
    static bool encode(const Value& v, ASN1_UNIT* parent) { return asn1::encodeByWriting<NameCodec>(v, parent); }
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) {
        free_X509_NAME(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) { return !from || (to = dup_X509_NAME(from)) != nullptr; }
    // Two absent names are alike; otherwise the names' own equality.
    static int compare(const Value& a, const Value& b) { return !a && !b ? 0 : cmp_X509_NAME(a, b); }
    // By content: a name may be decoded into the record's own.
    static void mark(const Value& v, asn1::Mark& m);
};

}  // namespace zpki::x509
