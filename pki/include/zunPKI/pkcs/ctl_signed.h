/*
 * Signed certificate trust lists: a CERT_TRUST_LIST carried as the content
 * (type row 837, 1.3.6.1.4.1.311.10.1) of a PKCS#7 signedData, as PKCS#7
 * puts it (the list's SEQUENCE) or as CMS does (its DER in an OCTET STRING,
 * what `openssl cms -sign -econtent_type 1.3.6.1.4.1.311.10.1` writes).
 *
 * Every signer must sign the list through signed attributes whose
 * contentType is the trust-list type and whose messageDigest is the digest
 * of the list. The list must be version 1 (version absent or 0), name the
 * subject usage row 838 (1.2.410.200004.8.1.1.1) and hold the current time
 * between thisUpdate and nextUpdate (no nextUpdate: no end).
 *
 * Results are 0 or a PKI_ERROR of library L_CPV unless said otherwise:
 *   0x53020049  missing argument or part, not signedData, another content
 *               type, no certificate, no signer, no signed attributes, no
 *               signer certificate, an algorithm without an identifier
 *   0x53020104  signedData or SignerInfo version 0, or a list version other
 *               than 1
 *   0x5302002B  a contentType attribute naming another type
 *   0x53020048  a subject algorithm that is no known digest
 *   0x5302000E  an anchor or certificate that cannot be made or added
 *   0x53020116  a signer that does not validate to an anchor of the list
 *   0x5321000E  a KCDSA signature value that does not read
 *   0x53210048  a signer key that is neither RSA nor KCDSA
 *   0x532B0115  thisUpdate or nextUpdate of another type than UTCTime or
 *               GeneralizedTime
 *   0x532B010F  thisUpdate or nextUpdate that does not read
 *   0x532B0113  outside thisUpdate..nextUpdate, or subject usage 838 missing
 *   verify_PKCS7_data's codes for a messageDigest or signature that does not
 *   verify (0x4B21005E, or the crypto library's 1).
 */
#ifndef ZUNPKI_CTL_SIGNED_H
#define ZUNPKI_CTL_SIGNED_H

#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/asn1/stack.h>
#include <zunPKI/pkcs/pkcs7.h>
#include <zunPKI/x509/ctl.h>
#include <zunPKI/x509/trust_anchor.h>

ZUNPKI_BEGIN_DECLS

/* Checks every signature of a signed trust list, then its version, period
 * and subject usage. It does not say who signed: see
 * add_TRUST_ANCHORS_from_CTL. */
ZUNPKI_API PKI_ERROR verify_ctlSignedData(const P7_CONTENT_INFO* p7);
/* verify_ctlSignedData, then every signer's certificate must validate
 * (certpath.h, with the current settings) to an anchor already in list, the
 * message's certificates serving as intermediates. Then the certificates of
 * the message whose digest under the list's subject algorithm is one of its
 * subject identifiers become anchors {subject, key}, appended to list unless
 * it holds them already. Certificates the list does not name are not taken.
 * The list changes only on success. */
ZUNPKI_API PKI_ERROR add_TRUST_ANCHORS_from_CTL(TRUST_ANCHORS* list, const P7_CONTENT_INFO* p7);
/* Appends copies of the message's certificates to certs, unchecked (as
 * candidates for path building, never as anchors). certs changes only on
 * success. */
ZUNPKI_API PKI_ERROR add_CERTIFICATES_from_CTL(STACK* certs, const P7_CONTENT_INFO* p7);

ZUNPKI_END_DECLS

#endif
