/*
 * PKCS #10 certification requests: the CertificationRequest record
 * PKCS10_X509_REQ with its CertificationRequestInfo PKCS10_X509_REQ_INFO,
 * their DER codecs, setters, the extension request, and signing and checking
 * the request's signature under its own public key.
 *
 *   CertificationRequest ::= SEQUENCE {
 *       certificationRequestInfo SEQUENCE {
 *           version INTEGER, subject Name, subjectPKInfo SubjectPublicKeyInfo,
 *           attributes [0] IMPLICIT SET OF Attribute },
 *       signatureAlgorithm AlgorithmIdentifier,
 *       signature BIT STRING }
 *
 * A decoded request keeps its DER as received: encoding and verifying use
 * those bytes while the record still holds what was decoded, so a request a
 * peer signed verifies and re-encodes byte for byte. The setters drop them,
 * and so does touch_PKCS10_X509_REQ, which a caller that changes members in
 * place itself must call.
 *
 * Results are 0 or a PKI_ERROR of library L_PKCS10 unless a function says
 * otherwise; a nested record's code passes through as it is.
 */
#ifndef ZUNPKI_PKCS10_H
#define ZUNPKI_PKCS10_H

#include <zunCrypto/zunCrypto.h>

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/x509/x509_attr.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_key.h>
#include <zunPKI/x509/x509_name.h>
#include <zunPKI/x509/x509v3.h>

/* Row of the extension-request attribute (extReq, 1.2.840.113549.1.9.14). */
#define PKCS10_EXT_REQ_ROW 172

struct x509_received_st;

typedef struct {
    BIGINT* version; /* 0 for version 1 */
    X509_NAME* subject;
    X509_PUBKEY* subjectPKInfo;
    /* [0]; null: left out (as some encoders do), empty: written as A0 00. */
    X509_ATTRIBUTES* attributes;
    struct x509_received_st* received; /* library-private */
} PKCS10_X509_REQ_INFO;

typedef struct {
    PKCS10_X509_REQ_INFO* certificationRequestInfo;
    X509_ALGO_IDENTIFIER* signatureAlgorithm;
    BIT_STRING* signature;             /* null until signed */
    struct x509_received_st* received; /* library-private */
} PKCS10_X509_REQ;

ZUNPKI_BEGIN_DECLS

/* ---- Records ---------------------------------------------------------------
 * new_PKCS10_X509_REQ_INFO: version 0, an empty name, an empty public key and
 * an empty attribute list; new_PKCS10_X509_REQ: such an information record and
 * an empty algorithm identifier. Null when memory runs out. free_ ignores
 * null; dup_ copies deeply (null for null); cmp_ of requests compares their
 * DER. */
ZUNPKI_API PKCS10_X509_REQ_INFO* new_PKCS10_X509_REQ_INFO(void);
ZUNPKI_API void free_PKCS10_X509_REQ_INFO(PKCS10_X509_REQ_INFO* info);
ZUNPKI_API void clean_PKCS10_X509_REQ_INFO(PKCS10_X509_REQ_INFO* info);
ZUNPKI_API PKCS10_X509_REQ_INFO* dup_PKCS10_X509_REQ_INFO(const PKCS10_X509_REQ_INFO* info);
ZUNPKI_API PKCS10_X509_REQ* new_PKCS10_X509_REQ(void);
ZUNPKI_API void free_PKCS10_X509_REQ(PKCS10_X509_REQ* req);
ZUNPKI_API void clean_PKCS10_X509_REQ(PKCS10_X509_REQ* req);
ZUNPKI_API PKCS10_X509_REQ* dup_PKCS10_X509_REQ(const PKCS10_X509_REQ* req);
ZUNPKI_API int cmp_PKCS10_X509_REQ(const PKCS10_X509_REQ* a, const PKCS10_X509_REQ* b);
/* Forgets the DER kept from decoding (after changing members in place). */
ZUNPKI_API void touch_PKCS10_X509_REQ(PKCS10_X509_REQ* req);

/* ---- Codecs ----------------------------------------------------------------
 * X_to_Seq(record, &node): a new node, or into the node *node holds. The
 * request needs its information, algorithm and signature (0x55010049).
 * Seq_to_X(node, &record): into the record *record points to (changed only on
 * success) or a new one. A SEQUENCE of fewer than three elements gives 1;
 * anything else that does not read, 0x55020104 / 0x55040104. The attributes
 * are read into the attribute list (absent: null). */
ZUNPKI_API PKI_ERROR PKCS10_X509_REQ_to_Seq(const PKCS10_X509_REQ* req, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_PKCS10_X509_REQ(const ASN1_UNIT* node, PKCS10_X509_REQ** req);
/* The information record: the bytes a signature covers. */
ZUNPKI_API PKI_ERROR PKCS10_X509_REQ_INFO_to_Seq(const PKCS10_X509_REQ_INFO* info, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_PKCS10_X509_REQ_INFO(const ASN1_UNIT* node, PKCS10_X509_REQ_INFO** info);
/* The DER of a request node into a new buffer (*der, released with VSC_Free)
 * and its length; 0x55090103 for a node that holds nothing. */
ZUNPKI_API PKI_ERROR encode_PKCS10_X509_REQ(const ASN1_UNIT* node, unsigned char** der, int* len);
/* Reads len bytes of DER (one element, nothing after it) into a new node in
 * *node; 0x550a0049 for null arguments or len of 0 or less, 0x550a0104 for
 * bytes that are not one DER element. */
ZUNPKI_API PKI_ERROR decode_PKCS10_X509_REQ(const unsigned char* der, int len, ASN1_UNIT** node);

/* ---- Setters ---------------------------------------------------------------
 * 0x49 for a null record or argument, 0x3c when the copy cannot be made, with
 * the setter's function byte. */
/* The version's value; the crypto library's result. */
ZUNPKI_API int PKCS10_X509_REQ_INFO_Set_Version(PKCS10_X509_REQ_INFO* info, unsigned long version);
ZUNPKI_API int PKCS10_X509_REQ_INFO_Set_Subject(PKCS10_X509_REQ_INFO* info, const X509_NAME* name);
ZUNPKI_API int PKCS10_X509_REQ_INFO_Set_Pubkey(PKCS10_X509_REQ_INFO* info, const X509_PUBKEY* pubkey);
ZUNPKI_API int PKCS10_X509_REQ_Set_signatureAlgorithm(PKCS10_X509_REQ* req, const X509_ALGO_IDENTIFIER* algorithm);
/* Adds an extension-request attribute whose one value is the Extensions
 * SEQUENCE itself (as openssl req and RFC 2985 write it); the attribute list
 * is made when null. A request holds one extension request: an existing one
 * is replaced. 0x55080049, 0x5508003c, 0x5508011d (the extensions do not
 * encode, or the list is empty). */
ZUNPKI_API int PKCS10_X509_REQ_INFO_Add_Extension(PKCS10_X509_REQ_INFO* info, const X509_EXTENSIONS* extensions);
/* The extensions of the extension request, into a new list in *extensions:
 * the Extensions SEQUENCE, and also an OCTET STRING holding it as older
 * encoders wrote. 0x550d012f when the request has none, 0x550d0104 when its
 * value does not read, 0x550d0049 for null arguments. */
ZUNPKI_API int get_PKCS10_X509_REQ_Extensions(const PKCS10_X509_REQ_INFO* info, X509_EXTENSIONS** extensions);

/* ---- Signature -------------------------------------------------------------
 * sign_PKCS10_X509_REQ signs the information record with key, which must be
 * the private half of its subjectPKInfo (0x550b0048 otherwise): RSA under a
 * PKCS#1 v1.5 row (65 RSA-SHA1, 668 RSA-SHA256, 669, 670, 671), KCDSA under
 * 783, 784 or 841. The signature algorithm becomes { row, NULL } and the
 * signature the new value; the request's kept DER is dropped. 0x550b002b for a
 * row the key cannot serve; the crypto library's code when it fails; the
 * request is unchanged on failure. */
ZUNPKI_API int sign_PKCS10_X509_REQ(PKCS10_X509_REQ* req, const ASYMMETRIC_KEY* key, int signature_row);
/* 0 when the signature verifies under the request's own public key (RSA
 * PKCS#1 v1.5 or RSASSA-PSS under its parameters, KCDSA); 1 (VSC_FAIL) when
 * it does not; 0x550c0049 for a request without information, key, algorithm
 * or signature; 0x550c0048 for a key of another kind. */
ZUNPKI_API int verify_PKCS10_X509_REQ(const PKCS10_X509_REQ* req);

ZUNPKI_END_DECLS

#endif
