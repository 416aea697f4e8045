// PKCS#7 inside the library: what signing, verification and enveloping share
// with the records.
#pragma once

#include "asn1/asn1_struct.hpp"
#include "asn1/ber_internal.hpp"
#include "asn1/kept.hpp"
#include <zunPKI/pkcs/pkcs7.h>

namespace zpki::pkcs7 {

inline PKI_ERROR code(unsigned func, unsigned reason) { return PKI_ERR(L_PKCS7, func, reason); }

// The table row of an identifier; 0 for none.
int rowOf(const OBJECT_IDENTIFIER* oid);
// The content-type row of a message; 0 for none.
int typeOf(const P7_CONTENT_INFO* p7);

// The content when the message is of that type, else null.
template <class T>
T* contentAs(const P7_CONTENT_INFO* p7, int row) {
    return typeOf(p7) == row ? static_cast<T*>(p7->content) : nullptr;
}

// A new BIGINT of a small value.
BIGINT* smallBigint(unsigned long v);
// Replaces *slot with a new BIGINT of v; false (slot unchanged) when short of memory.
bool setVersion(BIGINT*& slot, unsigned long v);
// The version as a number; -1 for none or one that does not fit.
long versionOf(const BIGINT* v);

// The DER of an attribute list as a SET OF, in the list's order; false when
// it does not encode (an empty list included).
bool attributesDer(const X509_ATTRIBUTES* list, ber::Bytes& out);
// Forgets the signed attributes as received (their order is about to change).
void dropReceived(P7_SIGNER_INFO* si);
// The bytes a verifier digests for si's signed attributes: as received while
// the list is unchanged, else as it encodes now.
bool signedAttributesDer(const P7_SIGNER_INFO* si, ber::Bytes& out);

}  // namespace zpki::pkcs7
