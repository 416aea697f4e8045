// Names compared as RFC 5280 7.1 compares them, in the form openssl calls
// canonical: each character string as UTF-8 with its leading, trailing and
// repeated whitespace dropped and ASCII letters in lower case; other values
// as they stand; the attributes of one RDN in any order.
#pragma once

#include <string>
#include <vector>

#include "asn1/pki_mem.hpp"
#include <zunPKI/x509/x509_name.h>

namespace zpki::x509 {

using CanonText = std::basic_string<char, std::char_traits<char>, VscAllocator<char>>;
// One RDN: its attributes (type and canonical value), sorted.
using CanonRdn = std::vector<CanonText, VscAllocator<CanonText>>;
using CanonName = std::vector<CanonRdn, VscAllocator<CanonRdn>>;

// A name made ready for comparing many times; canonical is false when a
// value does not convert (such a name compares byte for byte).
struct NameKey {
    const X509_NAME* name = nullptr;
    bool canonical = false;
    CanonName canon;
};

// May throw std::bad_alloc.
NameKey nameKey(const X509_NAME* name);
// True when both are there and equal.
bool namesMatch(const NameKey& a, const NameKey& b);
bool namesMatch(const X509_NAME* a, const X509_NAME* b);

}  // namespace zpki::x509
