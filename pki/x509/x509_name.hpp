// A name as a member of another record: Field<&T::issuer, zpki::x509::NameCodec>.
#pragma once

#include "asn1/asn1_struct.hpp"
#include <zunPKI/x509/x509_name.h>

namespace zpki::x509 {

inline bool isNameIdentifier(uint8_t id) { return id == 0x30; }

struct NameCodec : asn1::ByFunctions<X509_NAME, new_X509_NAME, free_X509_NAME, dup_X509_NAME, cmp_X509_NAME,
                                     X509_NAME_to_Seq, Seq_to_X509_NAME, isNameIdentifier> {
    // Two absent names are alike; otherwise the names' own equality.
    static int compare(const Value& a, const Value& b) { return !a && !b ? 0 : cmp_X509_NAME(a, b); }
};

}  // namespace zpki::x509
