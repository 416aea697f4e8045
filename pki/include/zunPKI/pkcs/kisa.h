/*
 * KISA security-token driver lists: the signed list of token-distribution
 * entries (each with the drivers it offers) or of signature tokens that comes
 * with Korean accredited tokens, its DER decoder and its signature check.
 * Lists are only read: there is no encoder.
 *
 *   SignatureValue ::= SEQUENCE {
 *       list               SEQUENCE OF Entry,      -- all of one kind
 *       signatureAlgorithm AlgorithmIdentifier,
 *       signer             IssuerAndSerialNumber,
 *       signature          BIT STRING (kind 1) or OCTET STRING (kind 2) }
 *   Kind-1 entry ::= SEQUENCE { url IA5String, drivers SEQUENCE OF DriverInfo }
 *   DriverInfo   ::= SEQUENCE { Text, Text, GeneralName, INTEGER, GeneralName, Text OPTIONAL }
 *   Kind-2 entry ::= SEQUENCE { name Text, algorithm AlgorithmIdentifier, value OCTET STRING }
 *   Text         ::= PrintableString, also read as OCTET STRING
 *
 * A GeneralName is the tagged element itself ([0] to [8]). The first entry's
 * member count gives the kind (two: 1, three: 2; an empty list is kind 0).
 * Texts, the url, a general name's string and a signature token's value
 * hold at most KISA_HSM_MAX_TEXT_LEN bytes (a longer one refuses the whole
 * list), so each fits the 256-byte fields of the records callers copy into.
 *
 * Results are 0 or a PKI_ERROR of library L_KISA (0x30).
 */
#ifndef ZUNPKI_KISA_H
#define ZUNPKI_KISA_H

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/asn1/stack.h>
#include <zunPKI/pkcs/pkcs7.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_key.h>
#include <zunPKI/x509/x509v3_gn.h>

#define KISA_HSM_MAX_TEXT_LEN 255

/* KISA_HSM_SIGNATURE_VALUE.kind */
#define KISA_HSM_KIND_EMPTY 0
#define KISA_HSM_KIND_DISTRIBUTION 1 /* list of KISA_HSM_TOKEN_DISTRIBUTION_URL */
#define KISA_HSM_KIND_SIGNATURE 2    /* list of KISA_HSM_SIGNATURE_TOKEN */

/* One driver. A text's type is the tag it came in (19 PrintableString or
 * 4 OCTET STRING). */
typedef struct {
    ASN1_STRING* text1;
    ASN1_STRING* text2;
    GENERAL_NAME* name1;
    int value; /* the INTEGER; one outside the int range refuses the list */
    GENERAL_NAME* name2;
    ASN1_STRING* text3; /* optional: null when absent */
} KISA_HSM_DRIVER_INFO;

typedef struct {
    IA5_STRING* url;
    STACK* drivers; /* of KISA_HSM_DRIVER_INFO, owned */
} KISA_HSM_TOKEN_DISTRIBUTION_URL;

typedef struct {
    ASN1_STRING* name; /* a text, as in KISA_HSM_DRIVER_INFO */
    X509_ALGO_IDENTIFIER* algorithm;
    OCTET_STRING* value;
} KISA_HSM_SIGNATURE_TOKEN;

typedef struct {
    int kind;                   /* KISA_HSM_KIND_* */
    STACK* list;                /* entries of that kind, owned */
    unsigned char* signedBytes; /* the list's whole element as received */
    int signedLength;
    X509_ALGO_IDENTIFIER* signatureAlgorithm;
    P7_ISSUER_AND_SERIAL_NUMBER* signer;
    ASN1_STRING* signature; /* BIT STRING (kind 1, no unused bits) or OCTET STRING (kind 2); null for kind 0 */
} KISA_HSM_SIGNATURE_VALUE;

ZUNPKI_BEGIN_DECLS

/* new_X makes the nested records empty (a signature token's and a signature
 * value's algorithm, a signature value's signer, a distribution entry's
 * list, a driver's two general names); free_X frees deeply and ignores null;
 * clean_X frees the members and makes the nested records afresh. */
ZUNPKI_API KISA_HSM_SIGNATURE_TOKEN* new_KISA_HSM_SIGNATURE_TOKEN(void);
ZUNPKI_API void free_KISA_HSM_SIGNATURE_TOKEN(KISA_HSM_SIGNATURE_TOKEN* token);
ZUNPKI_API void clean_KISA_HSM_SIGNATURE_TOKEN(KISA_HSM_SIGNATURE_TOKEN* token);
ZUNPKI_API KISA_HSM_TOKEN_DISTRIBUTION_URL* new_KISA_HSM_TOKEN_DISTRIBUTION_URL(void);
ZUNPKI_API void free_KISA_HSM_TOKEN_DISTRIBUTION_URL(KISA_HSM_TOKEN_DISTRIBUTION_URL* entry);
ZUNPKI_API void clean_KISA_HSM_TOKEN_DISTRIBUTION_URL(KISA_HSM_TOKEN_DISTRIBUTION_URL* entry);
ZUNPKI_API KISA_HSM_DRIVER_INFO* new_KISA_HSM_DRIVER_INFO(void);
ZUNPKI_API void free_KISA_HSM_DRIVER_INFO(KISA_HSM_DRIVER_INFO* driver);
ZUNPKI_API void clean_KISA_HSM_DRIVER_INFO(KISA_HSM_DRIVER_INFO* driver);
ZUNPKI_API KISA_HSM_SIGNATURE_VALUE* new_KISA_HSM_SIGNATURE_VALUE(void);
ZUNPKI_API void free_KISA_HSM_SIGNATURE_VALUE(KISA_HSM_SIGNATURE_VALUE* value);
ZUNPKI_API void clean_KISA_HSM_SIGNATURE_VALUE(KISA_HSM_SIGNATURE_VALUE* value);

/* The decoder (for readDER_from_Binary, through a function of
 * ASN1_DECODE_FUNC's type). Into *out (changed only on
 * success) or a new record. 0x30020049 for a null argument; 0x3001002b for a
 * structure not as above (member counts, kinds, types, a signature of the
 * other kind or with unused bits, an algorithm or signer that does not
 * decode, a text over KISA_HSM_MAX_TEXT_LEN); 0x3001003b when memory runs
 * out. */
ZUNPKI_API PKI_ERROR Seq_to_KISA_HSM_SIGNATURE_VALUE(ASN1_UNIT* in, KISA_HSM_SIGNATURE_VALUE** out);

/* 0 when signer is the certificate the list names (issuer and serial) and
 * its RSA key verifies the signature over the signed bytes under the
 * signatureAlgorithm (sha1WithRSAEncryption or sha256WithRSAEncryption,
 * parameters NULL or absent). 0x30020049 null argument, 0x30020010 no signed
 * bytes, 0x30020011 no signature, 0x3002002b no public key, 0x30020029 not
 * an RSA key, 0x3002012f signer is not the list's signer, 0x30020048 another
 * signature algorithm; otherwise the crypto library's result (non-zero when
 * the signature does not verify). */
ZUNPKI_API PKI_ERROR verify_KISA_HSM_SIGNATURE_VALUE(KISA_HSM_SIGNATURE_VALUE* value, X509_CERT** signer);

ZUNPKI_END_DECLS

#endif
