/*
 * Certificate lists (SEQUENCE OF Certificate, the certificates of signed
 * messages) and certificate pairs (the crossCertificatePair of directories).
 *
 * Results are 0 or a PKI_ERROR of library L_X509 unless said otherwise.
 */
#ifndef ZUNPKI_X509_CERTS_H
#define ZUNPKI_X509_CERTS_H

#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/asn1/stack.h>
#include <zunPKI/x509/x509_cert.h>

/* A STACK of X509_CERT in order; the list owns its certificates. */
typedef STACK X509_CERTIFICATES;

/* CertificatePair ::= SEQUENCE { forward [0] Certificate OPTIONAL,
 * reverse [1] Certificate OPTIONAL }; the pair owns both. */
typedef struct {
    X509_CERT* first;  /* forward: issued to this CA; null when absent */
    X509_CERT* second; /* reverse: issued by this CA; null when absent */
} X509_CERT_PAIR;

ZUNPKI_BEGIN_DECLS

ZUNPKI_API X509_CERTIFICATES* new_X509_CERTIFICATES(void);
/* Frees every certificate and the list; null is ignored. */
ZUNPKI_API void free_X509_CERTIFICATES(X509_CERTIFICATES* list);
/* A deep copy; null for null or when a copy fails. */
ZUNPKI_API X509_CERTIFICATES* dup_X509_CERTIFICATES(const X509_CERTIFICATES* list);
/* Appends a copy. 0, or 1 for a missing argument or a failed copy. */
ZUNPKI_API int add_X509_CERTIFICATES(X509_CERTIFICATES* list, const X509_CERT* cert);
/* The first index whose certificate has cert's serial and issuer; -1 when
 * none does or an argument is missing. */
ZUNPKI_API int get_X509_CERTS_index_by_X509_CERT(const X509_CERTIFICATES* list, const X509_CERT* cert);
/* SEQUENCE OF Certificate, into *node when one is given (its elements
 * appended) or a new node. 1 for missing arguments, 0x461F002B for an empty
 * list, a certificate's own code, 0x461F0103. */
ZUNPKI_API PKI_ERROR X509_CERTIFICATES_to_Seq(const X509_CERTIFICATES* list, ASN1_UNIT** node);
/* The certificates of a SEQUENCE OF (or SET OF) appended to *list, or to a
 * new list. 0x46200049, 0x4620002B (no certificate), 0x46200104 (an element
 * that is not a SEQUENCE), a certificate's own code, 0x4620010C. On failure
 * *list is as it was: a list made here is freed, and the certificates this
 * call appended to the caller's list are taken out again. */
ZUNPKI_API PKI_ERROR Seq_to_X509_CERTIFICATES(const ASN1_UNIT* node, X509_CERTIFICATES** list);
/* Prints each certificate under "X509_CERTS === [i/n]"; the number printed. */
ZUNPKI_API int print_X509_CERTIFICATES(const X509_CERTIFICATES* list);

/* A pair of two empty certificates. */
ZUNPKI_API X509_CERT_PAIR* new_X509_CERT_PAIR(void);
ZUNPKI_API void free_X509_CERT_PAIR(X509_CERT_PAIR* pair);
/* Appends both Certificates, untagged, to *node (made when null). 0x461D0049
 * when either is missing; a certificate's own code (nothing appended);
 * 0x461D0103. */
ZUNPKI_API PKI_ERROR X509_CERT_PAIR_to_Seq(const X509_CERT_PAIR* pair, ASN1_UNIT** node);
/* Into *pair (made when null; its certificates replaced only on success).
 * Reads the directory form ([0] and/or [1] EXPLICIT Certificate) and the
 * untagged form (two Certificates). 0x461E0049, 0x461E002B (fewer than two
 * untagged elements), 0x461E0104, a certificate's own code. */
ZUNPKI_API PKI_ERROR Seq_to_X509_CERT_PAIR(const ASN1_UNIT* node, X509_CERT_PAIR** pair);

ZUNPKI_END_DECLS

#endif
