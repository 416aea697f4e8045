/*
 * PKCS#12 (RFC 7292) records and their DER codecs: the PFX, its MAC data,
 * the authenticated safe (a list of PKCS#7 ContentInfos), the SafeContents
 * (a list of SafeBags), the SafeBag and the CertBag / CRLBag / SecretBag
 * body. Key derivation, the MAC, encrypted safes, bag building and import
 * are pkcs12_safe.h.
 *
 * Results are 0 or a PKI_ERROR of library L_PKCS12 unless said otherwise; a
 * nested record's own code is passed on as it is.
 */
#ifndef ZUNPKI_PKCS12_H
#define ZUNPKI_PKCS12_H

#include <zunCrypto/zunCrypto.h>

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/asn1/stack.h>
#include <zunPKI/pkcs/pkcs7.h>
#include <zunPKI/pkcs/pkcs8.h>
#include <zunPKI/x509/x509_attr.h>
#include <zunPKI/x509/x509_cert.h>

/* Bag types (object-identifier rows) and what a P12_SAFEBAG's bagValue holds. */
#define P12_KEY_BAG 150           /* P8_PRIV_KEY_INFO */
#define P12_SHROUDED_KEY_BAG 151  /* OCTET_STRING: the DER of the EncryptedPrivateKeyInfo, still encrypted */
#define P12_CERT_BAG 152          /* P12_BAGS */
#define P12_CRL_BAG 153           /* P12_BAGS */
#define P12_SECRET_BAG 154        /* P12_BAGS */
#define P12_SAFE_CONTENTS_BAG 155 /* P12_SAFEBAGS (nested) */
/* Any other bagId: an ASN1_UNIT holding the value element as read, or null. */

/* P12_BAGS types (rows) and how their value is encoded. */
#define P12_X509_CERTIFICATE 158 /* OCTET STRING of the certificate's DER */
#define P12_SDSI_CERTIFICATE 159 /* IA5String */
#define P12_X509_CRL 160         /* OCTET STRING of the CRL's DER */
/* Any other type: the value written with the tag its ASN1_STRING's type holds. */

/* Bag attributes (rows). */
#define P12_FRIENDLY_NAME 156 /* BMPString */
#define P12_LOCAL_KEY_ID 157  /* OCTET STRING */

/* Nested SafeContents deeper than this do not decode: real files nest once
 * at most, and a hostile one must not run the stack out. */
#define P12_MAX_BAG_NESTING 8

typedef struct {
    OBJECT_IDENTIFIER* algorithm; /* the MAC's digest */
    OCTET_STRING* digest;         /* the MAC value */
    OCTET_STRING* macSalt;
    BIGINT* iterations; /* null: 1 */
} P12_MAC_DATA;

/* The PFX. */
typedef struct {
    BIGINT* version;           /* 3 when made here */
    P7_CONTENT_INFO* authSafe; /* pkcs7-data holding the DER of the AuthenticatedSafe */
    P12_MAC_DATA* macData;     /* required */
} PKCS12;

/* A STACK of P7_CONTENT_INFO (plain pkcs7-data or pkcs7-encryptedData safes). */
typedef STACK P12_AUTH_SAFE;
/* A STACK of P12_SAFEBAG: a SafeContents. */
typedef STACK P12_SAFEBAGS;

/* CertBag, CRLBag and SecretBag: { type, value [0] EXPLICIT }. */
typedef struct {
    OBJECT_IDENTIFIER* type;
    ASN1_STRING* value; /* the contents; its type is the value's tag */
} P12_BAGS;

typedef struct {
    OBJECT_IDENTIFIER* bagId;
    OBJECT_IDENTIFIER* algorithm;   /* shrouded key bags: the PBE algorithm when made here, the bagId when read */
    void* bagValue;                 /* by bagId, see above */
    X509_ATTRIBUTES* bagAttributes; /* null or empty: none */
} P12_SAFEBAG;

ZUNPKI_BEGIN_DECLS

/* ---- Records --------------------------------------------------------------
 * new_X: a zeroed record (lists empty); free_X frees deeply and ignores
 * null; clean_X frees the members and zeroes the record; dup_X copies
 * deeply; cmp_X compares member by member. */
ZUNPKI_API PKCS12* new_PKCS12(void);
ZUNPKI_API void free_PKCS12(PKCS12* pfx);
ZUNPKI_API void clean_PKCS12(PKCS12* pfx);
ZUNPKI_API PKCS12* dup_PKCS12(const PKCS12* pfx);
ZUNPKI_API int cmp_PKCS12(const PKCS12* a, const PKCS12* b);

ZUNPKI_API P12_MAC_DATA* new_P12_MAC_DATA(void);
ZUNPKI_API void free_P12_MAC_DATA(P12_MAC_DATA* mac);
ZUNPKI_API void clean_P12_MAC_DATA(P12_MAC_DATA* mac);
ZUNPKI_API P12_MAC_DATA* dup_P12_MAC_DATA(const P12_MAC_DATA* mac);
ZUNPKI_API int cmp_P12_MAC_DATA(const P12_MAC_DATA* a, const P12_MAC_DATA* b);

ZUNPKI_API P12_AUTH_SAFE* new_P12_AUTH_SAFE(void);
ZUNPKI_API void free_P12_AUTH_SAFE(P12_AUTH_SAFE* safes);

ZUNPKI_API P12_SAFEBAGS* new_P12_SAFEBAGS(void);
ZUNPKI_API void free_P12_SAFEBAGS(P12_SAFEBAGS* bags);

ZUNPKI_API P12_SAFEBAG* new_P12_SAFEBAG(void);
ZUNPKI_API void free_P12_SAFEBAG(P12_SAFEBAG* bag);
ZUNPKI_API void clean_P12_SAFEBAG(P12_SAFEBAG* bag);
ZUNPKI_API P12_SAFEBAG* dup_P12_SAFEBAG(const P12_SAFEBAG* bag);
ZUNPKI_API int cmp_P12_SAFEBAG(const P12_SAFEBAG* a, const P12_SAFEBAG* b);

ZUNPKI_API P12_BAGS* new_P12_BAGS(void);
ZUNPKI_API void free_P12_BAGS(P12_BAGS* bags);
ZUNPKI_API void clean_P12_BAGS(P12_BAGS* bags);
ZUNPKI_API P12_BAGS* dup_P12_BAGS(const P12_BAGS* bags);
ZUNPKI_API int cmp_P12_BAGS(const P12_BAGS* a, const P12_BAGS* b);

/* The iteration count of the PFX's MAC data (borrowed; null: 1). */
ZUNPKI_API BIGINT* get_PKCS12_MAC_iter(const PKCS12* pfx);
/* Sets it from big-endian bytes; the PFX must have its MAC data. 0 or 1. */
ZUNPKI_API int set_PKCS12_MAC_iter(PKCS12* pfx, const unsigned char* bytes, int len);

/* ---- Codecs ---------------------------------------------------------------
 * X_to_Seq(record, &node): a new node, or into the node *node holds (its
 * elements appended); on failure *node is as it was. Seq_to_X(node,
 * &record): into the record *record points to (changed only on success) or
 * a new one; list decoders append to the list given (left as it was on
 * failure). 0x49 null argument, 0x2B missing member or empty list, 0x103 a
 * member that does not encode, 0x104 malformed input. */
/* SEQUENCE { version, authSafe, macData }: all three required; a PFX
 * without MAC data neither encodes (0x4D0B002B) nor decodes (0x4D0A0049).
 * The version is not checked. */
ZUNPKI_API PKI_ERROR P12_PFX_to_Seq(const PKCS12* pfx, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_P12_PFX(const ASN1_UNIT* node, PKCS12** pfx);
/* SEQUENCE { SEQUENCE { { digest OID, NULL }, digest }, macSalt, iterations
 * OPTIONAL }; the iterations are written only when set. */
ZUNPKI_API PKI_ERROR P12_MAC_DATA_to_Seq(const P12_MAC_DATA* mac, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_P12_MAC_DATA(const ASN1_UNIT* node, P12_MAC_DATA** mac);
/* SEQUENCE OF ContentInfo, at least one (0x4D0E002B / 0x4D0D002B). */
ZUNPKI_API PKI_ERROR P12_AUTH_SAFE_to_Seq(const P12_AUTH_SAFE* safes, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_P12_AUTH_SAFE(const ASN1_UNIT* node, P12_AUTH_SAFE** safes);
/* SEQUENCE OF SafeBag, at least one (0x4D03002B / 0x4D04002B). */
ZUNPKI_API PKI_ERROR P12_SAFEBAGS_to_Seq(const P12_SAFEBAGS* bags, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_P12_SAFEBAGS(const ASN1_UNIT* node, P12_SAFEBAGS** bags);
/* SEQUENCE { bagId, bagValue [0] EXPLICIT, bagAttributes SET OF OPTIONAL }:
 * the attributes only when there is one at least. A missing [0] does not
 * decode (0x4D060104); a shrouded key bag keeps its value as received. */
ZUNPKI_API PKI_ERROR P12_SAFEBAG_to_Seq(const P12_SAFEBAG* bag, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_P12_SAFEBAG(const ASN1_UNIT* node, P12_SAFEBAG** bag);
/* SEQUENCE { type, value [0] EXPLICIT }, the value as the type wants it. */
ZUNPKI_API PKI_ERROR P12_BAGS_to_Seq(const P12_BAGS* bags, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_P12_BAGS(const ASN1_UNIT* node, P12_BAGS** bags);

/* ---- Certificates and the authenticated safe ------------------------------ */
/* Fills *bag (its old members released; a new bag when null) as a certBag
 * holding the certificate's DER. 0x4D010049 for
 * null arguments, 0x4D01003B when the certificate does not encode. */
ZUNPKI_API PKI_ERROR X509_CERT_to_CertBag(const X509_CERT* cert, P12_SAFEBAG** bag);
/* The certificate of a certBag of type x509Certificate into *cert (a new
 * one when null). 0x4D020049 for null arguments or value, 0x4D02002B for
 * another bag or type, else the certificate decoder's code. */
ZUNPKI_API PKI_ERROR CertBag_to_X509_CERT(const P12_SAFEBAG* bag, X509_CERT** cert);
/* The ContentInfos of the PFX's authSafe, appended to *out (made when null). */
ZUNPKI_API PKI_ERROR PKCS12_to_P12_AUTH_SAFE(const PKCS12* pfx, P12_AUTH_SAFE** out);
/* Stores the DER of the list as the authSafe's data (a new PFX of version
 * 3 when *pfx is null). 1 when the list does not encode. */
ZUNPKI_API PKI_ERROR P12_AUTH_SAFE_to_PKCS12(const P12_AUTH_SAFE* safes, PKCS12** pfx);

ZUNPKI_END_DECLS

#endif
