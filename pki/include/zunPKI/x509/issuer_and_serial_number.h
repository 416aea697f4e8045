/*
 * IssuerAndSerialNumber: how signed and enveloped messages name a
 * certificate, and the search of a certificate list for the one it names.
 *
 * The codec's results use library L_ISSUER_AND_SERIAL_NUMBER.
 */
#ifndef ZUNPKI_ISSUER_AND_SERIAL_NUMBER_H
#define ZUNPKI_ISSUER_AND_SERIAL_NUMBER_H

#include <zunCrypto/zunCrypto.h>

#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_certs.h>
#include <zunPKI/x509/x509_name.h>

typedef struct {
    X509_NAME* issuer;
    BIGINT* serialNumber;
} ISSUER_AND_SERIAL_NUMBER;

ZUNPKI_BEGIN_DECLS

ZUNPKI_API ISSUER_AND_SERIAL_NUMBER* new_ISSUER_AND_SERIAL_NUMBER(void);
ZUNPKI_API void free_ISSUER_AND_SERIAL_NUMBER(ISSUER_AND_SERIAL_NUMBER* ias);
ZUNPKI_API ISSUER_AND_SERIAL_NUMBER* dup_ISSUER_AND_SERIAL_NUMBER(const ISSUER_AND_SERIAL_NUMBER* ias);
/* Whether cert is the certificate ias names: -1 when cert has no serial or
 * issuer or its serial differs (or an argument is missing); else what
 * cmp_X509_NAME says of the issuers: 0 the same DER, -1 different, 1 when the
 * comparison fails. */
ZUNPKI_API int cmp_ISSUER_AND_SERIAL_NUMBER(const X509_CERT* cert, const ISSUER_AND_SERIAL_NUMBER* ias);
/* The first certificate of the list, in order, that ias names (borrowed);
 * null when none does or an argument is missing. */
ZUNPKI_API X509_CERT* find_X509_CERT_by_IssuerAndSerialNumber(const X509_CERTIFICATES* list,
                                                              const ISSUER_AND_SERIAL_NUMBER* ias);
/* SEQUENCE { issuer Name, serialNumber INTEGER }. 0x51010049 for missing
 * arguments, 0x5101002B when the issuer or the serial is missing (nothing is
 * written), 0x51010103. */
ZUNPKI_API PKI_ERROR ISSUER_AND_SERIAL_NUMBER_to_Seq(const ISSUER_AND_SERIAL_NUMBER* ias, ASN1_UNIT** node);
/* Into *ias (changed only on success) or a new record. 0x51020049,
 * 0x5102002B (not exactly two elements), 0x51020104. */
ZUNPKI_API PKI_ERROR Seq_to_ISSUER_AND_SERIAL_NUMBER(const ASN1_UNIT* node, ISSUER_AND_SERIAL_NUMBER** ias);

ZUNPKI_END_DECLS

#endif
