// What path building and validation share: extension lookup and bodies,
// key comparison, anchor matching.
#pragma once

#include <cstdint>

#include "asn1/ber_internal.hpp"
#include "asn1/der_cursor.hpp"
#include "asn1/pki_mem.hpp"
#include <zunPKI/x509/certpath.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_key.h>
#include "x509/x509_name_canon.hpp"

namespace zpki::x509::path {

// Extensions the validation reads, by dotted text.
inline constexpr const char* kSubjectKeyId = "2.5.29.14";
inline constexpr const char* kKeyUsage = "2.5.29.15";
inline constexpr const char* kSubjectAltName = "2.5.29.17";
inline constexpr const char* kBasicConstraints = "2.5.29.19";
inline constexpr const char* kNameConstraints = "2.5.29.30";
inline constexpr const char* kCertificatePolicies = "2.5.29.32";
inline constexpr const char* kPolicyMappings = "2.5.29.33";
inline constexpr const char* kAuthorityKeyId = "2.5.29.35";
inline constexpr const char* kPolicyConstraints = "2.5.29.36";
inline constexpr const char* kExtKeyUsage = "2.5.29.37";
inline constexpr const char* kInhibitAnyPolicy = "2.5.29.54";
inline constexpr const char* kAnyPolicy = "2.5.29.32.0";

// True when an identifier's dotted text is text.
bool oidIs(const OBJECT_IDENTIFIER* oid, const char* text);

// The certificate's first extension of that identifier, or null. A null
// entry of the list ends the lookup, as if the extension were absent.
const X509_EXTENSION* findExtension(const X509_CERT* cert, const char* oid);

// The one element an extension's value holds; false when the value is not
// exactly one element.
bool extensionBody(const X509_EXTENSION* ext, der::Element& out);

// The extension's body as a node (null when it is not one element).
ASN1_UNIT* extensionNode(const X509_EXTENSION* ext);

// A small non-negative INTEGER value: false for a negative one; values past
// INT_MAX read as INT_MAX.
bool smallValue(const BIGINT* v, int& out);

// True when both keys encode to the same SubjectPublicKeyInfo.
bool keysEqual(const X509_PUBKEY* a, const X509_PUBKEY* b);

// True when the certificate verifies under its own key.
bool signedByOwnKey(const X509_CERT* cert);

}  // namespace zpki::x509::path
