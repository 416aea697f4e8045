/*
 * PKCS#7 (cryptographic message syntax 1.5): ContentInfo and its six content
 * types, the signer and recipient records, their DER codecs and the small
 * functions that type a message and set its versions. Signing and
 * verification are pkcs7_sign.h; enveloping and decryption pkcs7_env.h.
 *
 * A ContentInfo's content pointer holds the record its type row names:
 *   21 pkcs7-data                    OCTET_STRING (the bytes)
 *   22 pkcs7-signedData              P7_SIGNED_DATA
 *   23 pkcs7-envelopedData           P7_ENVELOPED_DATA
 *   24 pkcs7-signedAndEnvelopedData  P7_SIGNED_AND_ENVELOPED_DATA
 *   25 pkcs7-digestData              P7_DIGESTED_DATA
 *   26 pkcs7-encryptedData           P7_ENCRYPTED_DATA
 *  837 kisa-ctl                      CERT_TRUST_LIST (its SEQUENCE is the content
 *                                   itself, not wrapped in an OCTET STRING)
 * Every record owns what it points to. Null members are left out when
 * encoding; members marked "not encoded" live in memory only.
 *
 * Results are 0 or a PKI_ERROR of library L_PKCS7 unless said otherwise; a
 * nested record's own code is passed on as it is.
 */
#ifndef ZUNPKI_PKCS7_H
#define ZUNPKI_PKCS7_H

#include <zunCrypto/zunCrypto.h>

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/asn1/stack.h>
#include <zunPKI/x509/ctl.h>
#include <zunPKI/x509/issuer_and_serial_number.h>
#include <zunPKI/x509/x509_attr.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_certs.h>
#include <zunPKI/x509/x509_crl.h>
#include <zunPKI/x509/x509_key.h>

/* Content-type rows. */
#define P7_DATA 21
#define P7_SIGNED_DATA_TYPE 22
#define P7_ENVELOPED_DATA_TYPE 23
#define P7_SIGNED_AND_ENVELOPED_DATA_TYPE 24
#define P7_DIGESTED_DATA_TYPE 25
#define P7_ENCRYPTED_DATA_TYPE 26
#define P7_CTL_TYPE 837

/* ContentInfos inside signedData or digestedData that hold more than data
 * nest at most this deep when decoded (deeper: 0x4B1A0104). Real messages
 * nest once or twice; a hostile one must not run the stack out. */
#define P7_MAX_CONTENT_NESTING 8

/* IssuerAndSerialNumber and DigestInfo are the records of x509 under their
 * PKCS#7 names. */
typedef ISSUER_AND_SERIAL_NUMBER P7_ISSUER_AND_SERIAL_NUMBER;
typedef X509_SIGN P7_DIGEST_INFO;

typedef struct {
    OBJECT_IDENTIFIER* contentType;
    void* content; /* by the type row, see above; null for none */
} P7_CONTENT_INFO;

/* The signed attributes as they were received; library-private. */
struct p7_received_attrs_st;

typedef struct {
    BIGINT* version;
    P7_ISSUER_AND_SERIAL_NUMBER* issuerAndSerialNumber;
    X509_ALGO_IDENTIFIER* digestAlgorithm;
    X509_ATTRIBUTES* authenticatedAttributes; /* [0]; null: none */
    X509_ALGO_IDENTIFIER* digestEncryptionAlgorithm;
    OCTET_STRING* encryptedDigest;              /* null until signed */
    X509_ATTRIBUTES* unauthenticatedAttributes; /* [1]; null: none */
    ASYMMETRIC_KEY* key;                        /* the signer's key while signing; not encoded */
    struct p7_received_attrs_st* received;      /* library-private */
} P7_SIGNER_INFO;

/* STACKs of P7_SIGNER_INFO / P7_RECIPIENT_INFO; they own their records. */
typedef STACK P7_SIGNER_INFOS;
typedef STACK P7_RECIPIENT_INFOS;

typedef struct {
    BIGINT* version;
    X509_ALGO_IDENTIFIERS* digestAlgorithms; /* starts empty */
    P7_CONTENT_INFO* contentInfo;            /* the signed content */
    X509_CERTIFICATES* certificates;         /* [0]; null: none */
    X509_CRLS* crls;                         /* [1]; null: none */
    P7_SIGNER_INFOS* signerInfos;            /* starts empty */
    int detached;                            /* 1: content not carried; not encoded */
} P7_SIGNED_DATA;

typedef struct {
    BIGINT* version;
    P7_ISSUER_AND_SERIAL_NUMBER* issuerAndSerialNumber;
    X509_ALGO_IDENTIFIER* keyEncryptionAlgorithm;
    OCTET_STRING* encryptedKey;
    ASYMMETRIC_KEY* key; /* the recipient's public key; not encoded */
} P7_RECIPIENT_INFO;

typedef struct {
    OBJECT_IDENTIFIER* contentType;
    X509_ALGO_IDENTIFIER* contentEncryptionAlgorithm; /* parameters: the IV */
    OCTET_STRING* encryptedContent;                   /* [0] IMPLICIT; null: none */
    BLOCK_CIPHER_UNIT* cipher;                        /* the running cipher; not encoded */
    /* library-private, not encoded nor copied: the block that encryption
     * grows encryptedContent in, and its size */
    const unsigned char* grown;
    int grownSize;
} P7_ENCRYPTED_CONTENT_INFO;

typedef struct {
    BIGINT* version;
    P7_RECIPIENT_INFOS* recipientInfos; /* starts empty; at least one to encode */
    P7_ENCRYPTED_CONTENT_INFO* encryptedContentInfo;
    void* external_output; /* the caller's marker; not encoded */
} P7_ENVELOPED_DATA;

typedef struct {
    BIGINT* version;
    P7_RECIPIENT_INFOS* recipientInfos;      /* starts empty; at least one to encode */
    X509_ALGO_IDENTIFIERS* digestAlgorithms; /* starts empty */
    P7_ENCRYPTED_CONTENT_INFO* encryptedContentInfo;
    X509_CERTIFICATES* certificates; /* [0]; null: none */
    X509_CRLS* crls;                 /* [1]; null: none */
    P7_SIGNER_INFOS* signerInfos;    /* null: left out; else at least one to encode */
} P7_SIGNED_AND_ENVELOPED_DATA;

typedef struct {
    BIGINT* version;
    X509_ALGO_IDENTIFIER* digestAlgorithm;
    P7_CONTENT_INFO* contentInfo;
    OCTET_STRING* digest;
} P7_DIGESTED_DATA;

typedef struct {
    BIGINT* version;
    P7_ENCRYPTED_CONTENT_INFO* encryptedContentInfo;
    void* external_output; /* the caller's marker; not encoded */
} P7_ENCRYPTED_DATA;

ZUNPKI_BEGIN_DECLS

/* ---- Records ------------------------------------------------------------
 * new_X: a zeroed record whose required lists start empty (null when memory
 * is short); free_X frees everything the record holds and ignores null;
 * clean_X frees the members and zeroes the record; dup_X copies deeply (the
 * running cipher unit is not copied, markers are); cmp_X compares member by
 * member (not the members that are not encoded). */
ZUNPKI_API P7_CONTENT_INFO* new_P7_CONTENT_INFO(void);
ZUNPKI_API void free_P7_CONTENT_INFO(P7_CONTENT_INFO* p7);
ZUNPKI_API void clean_P7_CONTENT_INFO(P7_CONTENT_INFO* p7);
ZUNPKI_API P7_CONTENT_INFO* dup_P7_CONTENT_INFO(const P7_CONTENT_INFO* p7);
ZUNPKI_API int cmp_P7_CONTENT_INFO(const P7_CONTENT_INFO* a, const P7_CONTENT_INFO* b);

ZUNPKI_API P7_SIGNED_DATA* new_P7_SIGNED_DATA(void);
ZUNPKI_API void free_P7_SIGNED_DATA(P7_SIGNED_DATA* sd);
ZUNPKI_API void clean_P7_SIGNED_DATA(P7_SIGNED_DATA* sd);
ZUNPKI_API P7_SIGNED_DATA* dup_P7_SIGNED_DATA(const P7_SIGNED_DATA* sd);
ZUNPKI_API int cmp_P7_SIGNED_DATA(const P7_SIGNED_DATA* a, const P7_SIGNED_DATA* b);

ZUNPKI_API P7_SIGNER_INFO* new_P7_SIGNER_INFO(void);
ZUNPKI_API void free_P7_SIGNER_INFO(P7_SIGNER_INFO* si);
ZUNPKI_API void clean_P7_SIGNER_INFO(P7_SIGNER_INFO* si);
ZUNPKI_API P7_SIGNER_INFO* dup_P7_SIGNER_INFO(const P7_SIGNER_INFO* si);
ZUNPKI_API int cmp_P7_SIGNER_INFO(const P7_SIGNER_INFO* a, const P7_SIGNER_INFO* b);

ZUNPKI_API P7_ISSUER_AND_SERIAL_NUMBER* new_P7_ISSUER_AND_SERIAL_NUMBER(void);
ZUNPKI_API void free_P7_ISSUER_AND_SERIAL_NUMBER(P7_ISSUER_AND_SERIAL_NUMBER* ias);

ZUNPKI_API P7_DIGEST_INFO* new_P7_DIGEST_INFO(void);
ZUNPKI_API void free_P7_DIGEST_INFO(P7_DIGEST_INFO* di);

ZUNPKI_API P7_RECIPIENT_INFO* new_P7_RECIPIENT_INFO(void);
ZUNPKI_API void free_P7_RECIPIENT_INFO(P7_RECIPIENT_INFO* ri);
ZUNPKI_API void clean_P7_RECIPIENT_INFO(P7_RECIPIENT_INFO* ri);
ZUNPKI_API P7_RECIPIENT_INFO* dup_P7_RECIPIENT_INFO(const P7_RECIPIENT_INFO* ri);
ZUNPKI_API int cmp_P7_RECIPIENT_INFO(const P7_RECIPIENT_INFO* a, const P7_RECIPIENT_INFO* b);

/* free_ also frees the cipher unit (VSC_Free_BLOCK_CIPHER_Unit). */
ZUNPKI_API P7_ENCRYPTED_CONTENT_INFO* new_P7_ENCRYPTED_CONTENT_INFO(void);
ZUNPKI_API void free_P7_ENCRYPTED_CONTENT_INFO(P7_ENCRYPTED_CONTENT_INFO* eci);
ZUNPKI_API void clean_P7_ENCRYPTED_CONTENT_INFO(P7_ENCRYPTED_CONTENT_INFO* eci);
ZUNPKI_API P7_ENCRYPTED_CONTENT_INFO* dup_P7_ENCRYPTED_CONTENT_INFO(const P7_ENCRYPTED_CONTENT_INFO* eci);
ZUNPKI_API int cmp_P7_ENCRYPTED_CONTENT_INFO(const P7_ENCRYPTED_CONTENT_INFO* a, const P7_ENCRYPTED_CONTENT_INFO* b);

ZUNPKI_API P7_ENVELOPED_DATA* new_P7_ENVELOPED_DATA(void);
ZUNPKI_API void free_P7_ENVELOPED_DATA(P7_ENVELOPED_DATA* ed);
ZUNPKI_API void clean_P7_ENVELOPED_DATA(P7_ENVELOPED_DATA* ed);
ZUNPKI_API P7_ENVELOPED_DATA* dup_P7_ENVELOPED_DATA(const P7_ENVELOPED_DATA* ed);
ZUNPKI_API int cmp_P7_ENVELOPED_DATA(const P7_ENVELOPED_DATA* a, const P7_ENVELOPED_DATA* b);

ZUNPKI_API P7_SIGNED_AND_ENVELOPED_DATA* new_P7_SIGNED_AND_ENVELOPED_DATA(void);
ZUNPKI_API void free_P7_SIGNED_AND_ENVELOPED_DATA(P7_SIGNED_AND_ENVELOPED_DATA* sed);
ZUNPKI_API void clean_P7_SIGNED_AND_ENVELOPED_DATA(P7_SIGNED_AND_ENVELOPED_DATA* sed);
ZUNPKI_API P7_SIGNED_AND_ENVELOPED_DATA* dup_P7_SIGNED_AND_ENVELOPED_DATA(const P7_SIGNED_AND_ENVELOPED_DATA* sed);
ZUNPKI_API int cmp_P7_SIGNED_AND_ENVELOPED_DATA(const P7_SIGNED_AND_ENVELOPED_DATA* a,
                                                const P7_SIGNED_AND_ENVELOPED_DATA* b);

ZUNPKI_API P7_DIGESTED_DATA* new_P7_DIGESTED_DATA(void);
ZUNPKI_API void free_P7_DIGESTED_DATA(P7_DIGESTED_DATA* dd);
ZUNPKI_API void clean_P7_DIGESTED_DATA(P7_DIGESTED_DATA* dd);
ZUNPKI_API P7_DIGESTED_DATA* dup_P7_DIGESTED_DATA(const P7_DIGESTED_DATA* dd);
ZUNPKI_API int cmp_P7_DIGESTED_DATA(const P7_DIGESTED_DATA* a, const P7_DIGESTED_DATA* b);

ZUNPKI_API P7_ENCRYPTED_DATA* new_P7_ENCRYPTED_DATA(void);
ZUNPKI_API void free_P7_ENCRYPTED_DATA(P7_ENCRYPTED_DATA* ed);
ZUNPKI_API void clean_P7_ENCRYPTED_DATA(P7_ENCRYPTED_DATA* ed);
ZUNPKI_API P7_ENCRYPTED_DATA* dup_P7_ENCRYPTED_DATA(const P7_ENCRYPTED_DATA* ed);
ZUNPKI_API int cmp_P7_ENCRYPTED_DATA(const P7_ENCRYPTED_DATA* a, const P7_ENCRYPTED_DATA* b);

/* Empty lists; the free functions free every record in them. */
ZUNPKI_API P7_SIGNER_INFOS* new_P7_SIGNER_INFOS(void);
ZUNPKI_API void free_P7_SIGNER_INFOS(P7_SIGNER_INFOS* list);
ZUNPKI_API P7_RECIPIENT_INFOS* new_P7_RECIPIENT_INFOS(void);
ZUNPKI_API void free_P7_RECIPIENT_INFOS(P7_RECIPIENT_INFOS* list);

/* ---- Codecs -------------------------------------------------------------
 * X_to_Seq(record, &node): a new node, or into the node *node holds (its
 * elements appended); on failure *node is as it was. Seq_to_X(node, &record):
 * into the record *record points to (changed only on success) or a new one.
 * Decoders check the number of children first (0x2B), then each element
 * (0x104); encoders give 0x49 for null arguments, 0x2B for a missing
 * required member and 0x103 for one that does not encode. */
ZUNPKI_API PKI_ERROR P7_ISSUER_AND_SERIAL_NUMBER_to_Seq(const P7_ISSUER_AND_SERIAL_NUMBER* ias, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_P7_ISSUER_AND_SERIAL_NUMBER(const ASN1_UNIT* node, P7_ISSUER_AND_SERIAL_NUMBER** ias);
ZUNPKI_API PKI_ERROR P7_DIGEST_INFO_to_Seq(const P7_DIGEST_INFO* di, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_P7_DIGEST_INFO(const ASN1_UNIT* node, P7_DIGEST_INFO** di);
/* The optional elements after digestAlgorithm are read in any order; the
 * digestEncryptionAlgorithm and the encryptedDigest are required. */
ZUNPKI_API PKI_ERROR P7_SIGNER_INFO_to_Seq(const P7_SIGNER_INFO* si, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_P7_SIGNER_INFO(const ASN1_UNIT* node, P7_SIGNER_INFO** si);
/* SET OF SignerInfo (an empty list is an empty SET); decoding appends to
 * *list (made when null), which is left as it was on failure. */
ZUNPKI_API PKI_ERROR P7_SIGNER_INFOS_to_Seq(const P7_SIGNER_INFOS* list, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_P7_SIGNER_INFOS(const ASN1_UNIT* node, P7_SIGNER_INFOS** list);
/* The elements after contentInfo are read in any order; signerInfos is
 * required. */
ZUNPKI_API PKI_ERROR P7_SIGNED_DATA_to_Seq(const P7_SIGNED_DATA* sd, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_P7_SIGNED_DATA(const ASN1_UNIT* node, P7_SIGNED_DATA** sd);
ZUNPKI_API PKI_ERROR P7_RECIPIENT_INFO_to_Seq(const P7_RECIPIENT_INFO* ri, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_P7_RECIPIENT_INFO(const ASN1_UNIT* node, P7_RECIPIENT_INFO** ri);
ZUNPKI_API PKI_ERROR P7_RECIPIENT_INFOS_to_Seq(const P7_RECIPIENT_INFOS* list, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_P7_RECIPIENT_INFOS(const ASN1_UNIT* node, P7_RECIPIENT_INFOS** list);
ZUNPKI_API PKI_ERROR P7_ENCRYPTED_CONTENT_INFO_to_Seq(const P7_ENCRYPTED_CONTENT_INFO* eci, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_P7_ENCRYPTED_CONTENT_INFO(const ASN1_UNIT* node, P7_ENCRYPTED_CONTENT_INFO** eci);
/* An empty recipient list does not encode (0x4B110103) nor decode. */
ZUNPKI_API PKI_ERROR P7_ENVELOPED_DATA_to_Seq(const P7_ENVELOPED_DATA* ed, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_P7_ENVELOPED_DATA(const ASN1_UNIT* node, P7_ENVELOPED_DATA** ed);
/* Empty recipient or signer lists do not encode nor decode; a null signer
 * list is left out. */
ZUNPKI_API PKI_ERROR P7_SIGNED_AND_ENVELOPED_DATA_to_Seq(const P7_SIGNED_AND_ENVELOPED_DATA* sed, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_P7_SIGNED_AND_ENVELOPED_DATA(const ASN1_UNIT* node, P7_SIGNED_AND_ENVELOPED_DATA** sed);
ZUNPKI_API PKI_ERROR P7_DIGESTED_DATA_to_Seq(const P7_DIGESTED_DATA* dd, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_P7_DIGESTED_DATA(const ASN1_UNIT* node, P7_DIGESTED_DATA** dd);
ZUNPKI_API PKI_ERROR P7_ENCRYPTED_DATA_to_Seq(const P7_ENCRYPTED_DATA* ed, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_P7_ENCRYPTED_DATA(const ASN1_UNIT* node, P7_ENCRYPTED_DATA** ed);
/* SEQUENCE { contentType, [0] EXPLICIT content OPTIONAL }. A type outside
 * the table above does not encode (0x4B190048); decoding one gives 1. */
ZUNPKI_API PKI_ERROR P7_CONTENT_INFO_to_Seq(const P7_CONTENT_INFO* p7, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_P7_CONTENT_INFO(const ASN1_UNIT* node, P7_CONTENT_INFO** p7);

/* ---- Construction --------------------------------------------------------*/
/* Frees the content and the type, sets the row's type and makes its empty
 * content: none for data, version 1 for 22 and 24, version 0 for 23, 25 and
 * 26. 1 for a null message, another row or no memory. */
ZUNPKI_API int set_PKCS7_Type(P7_CONTENT_INFO* p7, int row);
/* A new ContentInfo of the row installed as the inner content of a
 * signedData or digestedData. 0, or 1 (nothing changed). */
ZUNPKI_API int new_PKCS7_Content(P7_CONTENT_INFO* outer, int row);
/* Installs inner (owned from then on, the old one freed) in a signedData or
 * digestedData; 1 for other types and null arguments. */
ZUNPKI_API int set_PKCS7_Content(P7_CONTENT_INFO* outer, P7_CONTENT_INFO* inner);
/* A data ContentInfo holding a copy of the bytes, into *p7 (reused when it
 * holds one) or a new one. 0x4B1D0049 for null arguments or length 0 or
 * less; 1 when the type cannot be set. */
ZUNPKI_API int gen_PKCS7_DATA_from_Binary(P7_CONTENT_INFO** p7, const unsigned char* bytes, int len);
/* The version of the content and, for signed and enveloped types, of every
 * SignerInfo and RecipientInfo in it. 0, or 1 for null, other types, a
 * missing content or no memory. */
ZUNPKI_API int set_P7_version(P7_CONTENT_INFO* p7, int version);
/* 0 when cert is the one ias names (same serial, issuer with the same DER);
 * -1 when the serial differs or cert has no serial or issuer; else the name
 * comparison's result. */
ZUNPKI_API int cmp_P7_ISSUER_AND_SERIAL_NUMBER(const X509_CERT* cert, const P7_ISSUER_AND_SERIAL_NUMBER* ias);
/* Length of the encryptedContent of an enveloped, signed-and-enveloped or
 * encrypted message (0 when there is none); -1 for null or other types. */
ZUNPKI_API int get_PKCS7_ENCRYPTED_CONTENT_length(const P7_CONTENT_INFO* p7);

ZUNPKI_END_DECLS

#endif
