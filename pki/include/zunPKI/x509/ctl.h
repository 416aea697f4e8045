/*
 * Certificate trust lists: the certificates an authority declares trusted
 * for a use, named by an identifier (normally a hash of each certificate)
 * with optional attributes. A list travels as the content of signed data of
 * content type row 837 (1.3.6.1.4.1.311.10.1). Also the list of object
 * identifiers that the subject usages and the path validation's policy sets
 * are.
 *
 *   CertificateTrustList ::= SEQUENCE {
 *       version          INTEGER DEFAULT 0,    -- also read as [0] EXPLICIT INTEGER
 *       subjectUsage     SEQUENCE OF OBJECT IDENTIFIER,
 *       listIdentifier   OCTET STRING OPTIONAL,
 *       sequenceNumber   INTEGER OPTIONAL,
 *       thisUpdate       Time,
 *       nextUpdate       Time OPTIONAL,
 *       subjectAlgorithm AlgorithmIdentifier,
 *       trustedSubjects  SEQUENCE OF TrustedSubject OPTIONAL,
 *       ctlExtensions    [0] EXPLICIT Extensions OPTIONAL }
 *   TrustedSubject ::= SEQUENCE { subjectIdentifier OCTET STRING,
 *                                 subjectAttributes SET OF Attribute OPTIONAL }
 *
 * Results are 0 or a PKI_ERROR of library L_CTL unless a function says
 * otherwise.
 */
#ifndef ZUNPKI_CTL_H
#define ZUNPKI_CTL_H

#include <zunCrypto/zunCrypto.h>

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/asn1/stack.h>
#include <zunPKI/x509/x509_attr.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_key.h>
#include <zunPKI/x509/x509v3.h>

/* A STACK of OBJECT_IDENTIFIER; the list owns its identifiers. */
typedef STACK OBJECT_IDENTIFIERS;

typedef struct {
    OCTET_STRING* subjectIdentifier;
    X509_ATTRIBUTES* subjectAttributes; /* null or empty: none */
} TRUSTED_CERTIFICATE;

/* A STACK of TRUSTED_CERTIFICATE; the list owns its entries. */
typedef STACK TRUSTED_SUBJECTS;

typedef struct {
    BIGINT* version;                  /* null or 0: v1, not written */
    OBJECT_IDENTIFIERS* subjectUsage; /* at least one */
    OCTET_STRING* listIdentifier;     /* null when absent */
    BIGINT* sequenceNumber;           /* null when absent */
    X509_TIME* thisUpdate;
    X509_TIME* nextUpdate; /* null when absent */
    X509_ALGO_IDENTIFIER* subjectAlgorithm;
    TRUSTED_SUBJECTS* trustedSubjects; /* null or empty: none */
    X509_EXTENSIONS* ctlExtensions;    /* null or empty: none */
} CERT_TRUST_LIST;

ZUNPKI_BEGIN_DECLS

/* ---- Object identifier lists -------------------------------------------- */
ZUNPKI_API OBJECT_IDENTIFIERS* new_OBJECT_IDENTIFIERS(void);
/* Frees the identifiers and the list; null is ignored. */
ZUNPKI_API void free_OBJECT_IDENTIFIERS(OBJECT_IDENTIFIERS* list);
/* Appends a copy of oid; 0, or 1 for a missing argument or a failed append. */
ZUNPKI_API int add_OBJECT_IDENTIFIERS(OBJECT_IDENTIFIERS* list, const OBJECT_IDENTIFIER* oid);
/* The first position of an identifier equal to oid; -1 when none or for a
 * missing argument. */
ZUNPKI_API int get_OBJECT_IDENTIFIERS_index_by_OBJECT_IDENTIFIER(const OBJECT_IDENTIFIERS* list,
                                                                 const OBJECT_IDENTIFIER* oid);

/* ---- Records ------------------------------------------------------------ */
/* A record whose subjectUsage and trustedSubjects lists start empty. */
ZUNPKI_API CERT_TRUST_LIST* new_CERT_TRUST_LIST(void);
ZUNPKI_API void clean_CERT_TRUST_LIST(CERT_TRUST_LIST* ctl);
ZUNPKI_API void free_CERT_TRUST_LIST(CERT_TRUST_LIST* ctl);
ZUNPKI_API CERT_TRUST_LIST* dup_CERT_TRUST_LIST(const CERT_TRUST_LIST* ctl);
ZUNPKI_API int cmp_CERT_TRUST_LIST(const CERT_TRUST_LIST* a, const CERT_TRUST_LIST* b);

ZUNPKI_API TRUSTED_CERTIFICATE* new_TRUSTED_CERTIFICATE(void);
ZUNPKI_API void free_TRUSTED_CERTIFICATE(TRUSTED_CERTIFICATE* tc);
ZUNPKI_API void clean_TRUSTED_CERTIFICATE(TRUSTED_CERTIFICATE* tc);
ZUNPKI_API TRUSTED_CERTIFICATE* dup_TRUSTED_CERTIFICATE(const TRUSTED_CERTIFICATE* tc);
ZUNPKI_API int cmp_TRUSTED_CERTIFICATE(const TRUSTED_CERTIFICATE* a, const TRUSTED_CERTIFICATE* b);

ZUNPKI_API TRUSTED_SUBJECTS* new_TRUSTED_SUBJECTS(void);
/* Frees every entry and the list. */
ZUNPKI_API void free_TRUSTED_SUBJECTS(TRUSTED_SUBJECTS* list);

/* ---- Codecs ------------------------------------------------------------- */
/* 0x54010049 without subjectUsage, thisUpdate or subjectAlgorithm;
 * 0x5401002B for no subject usage; 0x54010107 for a time of another type
 * than 0 or 1; 0x54010103. */
ZUNPKI_API PKI_ERROR CERT_TRUST_LIST_to_Seq(const CERT_TRUST_LIST* ctl, ASN1_UNIT** node);
/* Into *ctl (which changes only on success) or a new record. 0x54020049,
 * 0x5402002B (fewer than three elements), 0x54020104. */
ZUNPKI_API PKI_ERROR Seq_to_CERT_TRUST_LIST(const ASN1_UNIT* node, CERT_TRUST_LIST** ctl);
/* 0x5403002B for an empty list, 0x54030103. */
ZUNPKI_API PKI_ERROR TRUSTED_SUBJECTS_to_Seq(const TRUSTED_SUBJECTS* list, ASN1_UNIT** node);
/* Appended to *list (made when null); the caller's list changes only on
 * success. 0x54040049, 0x5404002B (no entry), 0x54040104. */
ZUNPKI_API PKI_ERROR Seq_to_TRUSTED_SUBJECTS(const ASN1_UNIT* node, TRUSTED_SUBJECTS** list);
/* 0x5405002B without subjectIdentifier, 0x54050103. */
ZUNPKI_API PKI_ERROR TRUSTED_CERTIFICATE_to_Seq(const TRUSTED_CERTIFICATE* tc, ASN1_UNIT** node);
/* 0x54060049, 0x5406002B (no element), 0x54060104. */
ZUNPKI_API PKI_ERROR Seq_to_TRUSTED_CERTIFICATE(const ASN1_UNIT* node, TRUSTED_CERTIFICATE** tc);

ZUNPKI_END_DECLS

#endif
