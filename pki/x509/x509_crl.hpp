// CRLs inside the library: the bytes a CRL or its body encodes to, and the
// codec that makes a CRL a member of another record (signed data).
#pragma once

#include "asn1/asn1_struct.hpp"
#include <zunPKI/x509/x509_crl.h>
#include "x509/x509_received.hpp"

namespace zpki::x509 {

// The DER of the body: the kept bytes while they still stand for it, else
// the body encoded afresh (0, or the encoder's code).
PKI_ERROR crlInfoDer(const X509_CRL_INFO* info, DerBytes& out);
// The same for the whole CRL.
PKI_ERROR crlDer(const X509_CRL* crl, DerBytes& out);

inline bool isCrlIdentifier(uint8_t id) { return id == 0x30; }

// A CRL as a member of another record.
using CrlCodec = asn1::ByFunctions<X509_CRL, new_X509_CRL, free_X509_CRL, dup_X509_CRL, cmp_X509_CRL, X509_CRL_to_Seq,
                                   Seq_to_X509_CRL, isCrlIdentifier>;

}  // namespace zpki::x509
