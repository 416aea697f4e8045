/*
 * CMS (RFC 5652): ContentInfo and its six content types, the encapsulated
 * content, signer and recipient information, originator information, their
 * DER codecs, and the functions that type a message, set its versions and
 * content and add certificates, CRLs, attributes and MAC settings. Signing,
 * verification and digested data are cms_sign.h; enveloping, encryption and
 * decryption cms_env.h.
 *
 * A CMS_CONTENT_INFO's content pointer holds the record its type row names:
 *   21 pkcs7-data             OCTET_STRING
 *   22 pkcs7-signedData       CMS_SIGNED_DATA
 *   23 pkcs7-envelopedData    CMS_ENVELOPED_DATA
 *   25 pkcs7-digestData       CMS_DIGESTED_DATA
 *   26 pkcs7-encryptedData    CMS_ENCRYPTED_DATA
 *  205 id-smime-ct-authData   CMS_AUTHENTICATED_DATA
 * Every record owns what it points to; null members are left out when
 * encoding, members marked "not encoded" live in memory only.
 *
 * Tags follow RFC 5652's module (IMPLICIT): a subject key identifier is
 * [0] IMPLICIT (80 len id), originatorInfo [0] IMPLICIT. Decoders also read
 * a key identifier held in [0] EXPLICIT, as older encoders wrote it.
 *
 * Results are 0 or a PKI_ERROR of library L_CMS unless said otherwise; a
 * nested record's code (certificate, CRL, attributes) passes on as it is.
 */
#ifndef ZUNPKI_CMS_H
#define ZUNPKI_CMS_H

#include <zunCrypto/zunCrypto.h>

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/asn1/stack.h>
#include <zunPKI/pkcs/pkcs7.h>
#include <zunPKI/x509/issuer_and_serial_number.h>
#include <zunPKI/x509/x509_attr.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_certs.h>
#include <zunPKI/x509/x509_crl.h>
#include <zunPKI/x509/x509_key.h>

/* Content-type rows. */
#define CMS_DATA 21
#define CMS_SIGNED_DATA_TYPE 22
#define CMS_ENVELOPED_DATA_TYPE 23
#define CMS_DIGESTED_DATA_TYPE 25
#define CMS_ENCRYPTED_DATA_TYPE 26
#define CMS_AUTHENTICATED_DATA_TYPE 205

/* SignerIdentifier and RecipientIdentifier choices. */
#define CMS_ID_ISSUER_AND_SERIAL 0
#define CMS_ID_KEY_IDENTIFIER 1
/* RecipientInfo kinds (only key transport is encoded and decoded). */
#define CMS_RI_KEY_TRANSPORT 0
#define CMS_RI_KEY_AGREEMENT 1
#define CMS_RI_OTHER 2
/* The key agreement recipient's originator choices. */
#define CMS_ORIGINATOR_KEY 2
/* KeyAgreeRecipientIdentifier choices. */
#define CMS_KARI_ISSUER_AND_SERIAL 0
#define CMS_KARI_KEY_ID 3

typedef struct {
    OBJECT_IDENTIFIER* contentType;
    void* content; /* by the type row, see above; null for none */
} CMS_CONTENT_INFO;

typedef struct {
    OBJECT_IDENTIFIER* eContentType;
    OCTET_STRING* eContent; /* [0] EXPLICIT; null: detached */
} ENCAPSULATED_CONTENT_INFO;

/* The member of type is the one in use; only that one is released. */
typedef struct {
    int type; /* CMS_ID_ISSUER_AND_SERIAL or CMS_ID_KEY_IDENTIFIER */
    ISSUER_AND_SERIAL_NUMBER* issuerAndSerialNumber;
    OCTET_STRING* subjectKeyIdentifier;
} SIGNER_IDENTIFIER;
typedef SIGNER_IDENTIFIER RECIPIENT_IDENTIFIER;

/* The signed attributes as they were received; library-private. */
struct p7_received_attrs_st;

typedef struct {
    BIGINT* version; /* 1 with an issuerAndSerialNumber, 3 with a key identifier */
    SIGNER_IDENTIFIER* sid;
    X509_ALGO_IDENTIFIER* digestAlgorithm;
    X509_ATTRIBUTES* signedAttrs; /* [0]; null: none */
    X509_ALGO_IDENTIFIER* signatureAlgorithm;
    OCTET_STRING* signature;               /* null until signed */
    X509_ATTRIBUTES* unsignedAttrs;        /* [1]; null: none */
    ASYMMETRIC_KEY* key;                   /* the signer's key while signing; not encoded */
    struct p7_received_attrs_st* received; /* library-private */
} CMS_SIGNER_INFO;

/* STACKs that own their records. */
typedef STACK CMS_SIGNER_INFOS;    /* of CMS_SIGNER_INFO */
typedef STACK CMS_RECIPIENT_INFOS; /* of CMS_RECIPIENT_INFO */

typedef struct {
    BIGINT* version;
    X509_ALGO_IDENTIFIERS* digestAlgorithms; /* starts empty */
    ENCAPSULATED_CONTENT_INFO* encapContentInfo;
    X509_CERTIFICATES* certificates; /* [0]; null: none, empty: A0 00 */
    X509_CRLS* crls;                 /* [1]; null: none */
    CMS_SIGNER_INFOS* signerInfos;   /* starts empty */
    int detached;                    /* 1: the content is not carried; not encoded */
} CMS_SIGNED_DATA;

typedef struct {
    X509_CERTIFICATES* certs; /* [0]; null: none */
    X509_CRLS* crls;          /* [1]; null: none */
} CMS_ORIGINATOR_INFO;

typedef struct {
    BIGINT* version; /* 0 with an issuerAndSerialNumber, 2 with a key identifier */
    RECIPIENT_IDENTIFIER* rid;
    X509_ALGO_IDENTIFIER* keyEncryptionAlgorithm;
    OCTET_STRING* encryptedKey;
    ASYMMETRIC_KEY* key; /* the recipient's public key; not encoded */
} KEY_TRANS_RECIPIENT_INFO;

/* Key agreement: records only (no codec, no key agreement offered). */
typedef struct {
    X509_ALGO_IDENTIFIER* algorithm;
    BIT_STRING* publicKey;
} ORIGINATOR_PUBLIC_KEY;

typedef struct {
    int type; /* CMS_ID_ISSUER_AND_SERIAL, CMS_ID_KEY_IDENTIFIER, CMS_ORIGINATOR_KEY */
    ISSUER_AND_SERIAL_NUMBER* issuerAndSerialNumber;
    OCTET_STRING* subjectKeyIdentifier;
    ORIGINATOR_PUBLIC_KEY* originatorKey;
} ORIGINATOR_IDENTIFIER_ORKEY;

typedef struct {
    OBJECT_IDENTIFIER* keyAttrId;
    ASN1_UNIT* keyAttr; /* the attribute's element as a node */
} OTHER_KEY_ATTRIBUTE;

typedef struct {
    OCTET_STRING* subjectKeyIdentifier;
    GENERALIZED_TIME* date;
    OTHER_KEY_ATTRIBUTE* other;
} RECIPIENT_KEY_IDENTIFIER;

typedef struct {
    int type; /* CMS_KARI_ISSUER_AND_SERIAL or CMS_KARI_KEY_ID */
    ISSUER_AND_SERIAL_NUMBER* issuerAndSerialNumber;
    RECIPIENT_KEY_IDENTIFIER* rKeyId;
} KEY_AGREE_RECIPIENT_IDENTIFIER;

typedef struct {
    KEY_AGREE_RECIPIENT_IDENTIFIER* rid;
    OCTET_STRING* encryptedKey;
} RECIPIENT_ENCRYPTED_KEY;

typedef STACK RECIPIENT_ENCRYPTED_KEYS; /* of RECIPIENT_ENCRYPTED_KEY */

typedef struct {
    BIGINT* version;
    ORIGINATOR_IDENTIFIER_ORKEY* originator;
    X509_ALGO_IDENTIFIER* keyEncryptionAlgorithm;
    RECIPIENT_ENCRYPTED_KEYS* recipientEncryptedKeys;
} KEY_AGREE_RECIPIENT_INFO;

typedef struct {
    int type; /* CMS_RI_*: the record of the kind in use */
    KEY_TRANS_RECIPIENT_INFO* ktri;
    KEY_AGREE_RECIPIENT_INFO* kari;
} CMS_RECIPIENT_INFO;

/* The EncryptedContentInfo is PKCS#7's record (the same syntax):
 * contentType, contentEncryptionAlgorithm (its parameters the IV),
 * encryptedContent [0] IMPLICIT, and the running cipher, not encoded. */
typedef P7_ENCRYPTED_CONTENT_INFO CMS_ENCRYPTED_CONTENT_INFO;

typedef struct {
    BIGINT* version;
    CMS_ORIGINATOR_INFO* originatorInfo; /* [0]; null: none */
    CMS_RECIPIENT_INFOS* recipientInfos; /* starts empty; at least one to encode */
    CMS_ENCRYPTED_CONTENT_INFO* encryptedContentInfo;
    X509_ATTRIBUTES* unprotectedAttrs; /* [1]; null: none */
    int detached;                      /* 1: the ciphertext goes to the caller only; not encoded */
} CMS_ENVELOPED_DATA;

typedef struct {
    BIGINT* version;
    X509_ALGO_IDENTIFIER* digestAlgorithm;
    ENCAPSULATED_CONTENT_INFO* encapContentInfo;
    OCTET_STRING* digest;
    int detached; /* not encoded */
} CMS_DIGESTED_DATA;

typedef struct {
    BIGINT* version;
    CMS_ENCRYPTED_CONTENT_INFO* encryptedContentInfo;
    X509_ATTRIBUTES* unprotectedAttrs; /* [1]; null: none */
    int detached;                      /* not encoded */
} CMS_ENCRYPTED_DATA;

typedef struct {
    BIGINT* version;
    CMS_ORIGINATOR_INFO* originatorInfo; /* [0]; null: none */
    CMS_RECIPIENT_INFOS* recipientInfos; /* starts empty */
    X509_ALGO_IDENTIFIER* macAlgorithm;
    X509_ALGO_IDENTIFIER* digestAlgorithm; /* [1]; null: none */
    ENCAPSULATED_CONTENT_INFO* encapContentInfo;
    X509_ATTRIBUTES* authAttrs; /* [2]; null: none */
    OCTET_STRING* mac;
    X509_ATTRIBUTES* unauthAttrs; /* [3]; null: none */
    int detached;                 /* not encoded */
} CMS_AUTHENTICATED_DATA;

ZUNPKI_BEGIN_DECLS

/* ---- Records ---------------------------------------------------------------
 * new_X: a zeroed record whose required lists start empty (null when memory
 * is short); free_X frees everything it holds and ignores null; clean_X
 * frees the members and zeroes the record; dup_X copies deeply (a running
 * cipher is not copied); cmp_X compares member by member (not the members
 * that are not encoded). free_CMS_CONTENT_INFO frees the content by its type
 * row (a row outside the six: only the type). */
ZUNPKI_API CMS_CONTENT_INFO* new_CMS_CONTENT_INFO(void);
ZUNPKI_API void free_CMS_CONTENT_INFO(CMS_CONTENT_INFO* cms);
ZUNPKI_API void clean_CMS_CONTENT_INFO(CMS_CONTENT_INFO* cms);
ZUNPKI_API CMS_CONTENT_INFO* dup_CMS_CONTENT_INFO(const CMS_CONTENT_INFO* cms);
ZUNPKI_API int cmp_CMS_CONTENT_INFO(const CMS_CONTENT_INFO* a, const CMS_CONTENT_INFO* b);

ZUNPKI_API ENCAPSULATED_CONTENT_INFO* new_ENCAPSULATED_CONTENT_INFO(void);
ZUNPKI_API void free_ENCAPSULATED_CONTENT_INFO(ENCAPSULATED_CONTENT_INFO* eci);
ZUNPKI_API void clean_ENCAPSULATED_CONTENT_INFO(ENCAPSULATED_CONTENT_INFO* eci);
ZUNPKI_API ENCAPSULATED_CONTENT_INFO* dup_ENCAPSULATED_CONTENT_INFO(const ENCAPSULATED_CONTENT_INFO* eci);
ZUNPKI_API int cmp_ENCAPSULATED_CONTENT_INFO(const ENCAPSULATED_CONTENT_INFO* a, const ENCAPSULATED_CONTENT_INFO* b);

ZUNPKI_API SIGNER_IDENTIFIER* new_SIGNER_IDENTIFIER(void);
ZUNPKI_API void free_SIGNER_IDENTIFIER(SIGNER_IDENTIFIER* id);
ZUNPKI_API void clean_SIGNER_IDENTIFIER(SIGNER_IDENTIFIER* id);
ZUNPKI_API SIGNER_IDENTIFIER* dup_SIGNER_IDENTIFIER(const SIGNER_IDENTIFIER* id);
ZUNPKI_API int cmp_SIGNER_IDENTIFIER(const SIGNER_IDENTIFIER* a, const SIGNER_IDENTIFIER* b);
ZUNPKI_API RECIPIENT_IDENTIFIER* new_RECIPIENT_IDENTIFIER(void);
ZUNPKI_API void free_RECIPIENT_IDENTIFIER(RECIPIENT_IDENTIFIER* id);

ZUNPKI_API CMS_SIGNER_INFO* new_CMS_SIGNER_INFO(void);
ZUNPKI_API void free_CMS_SIGNER_INFO(CMS_SIGNER_INFO* si);
ZUNPKI_API void clean_CMS_SIGNER_INFO(CMS_SIGNER_INFO* si);
ZUNPKI_API CMS_SIGNER_INFO* dup_CMS_SIGNER_INFO(const CMS_SIGNER_INFO* si);
ZUNPKI_API int cmp_CMS_SIGNER_INFO(const CMS_SIGNER_INFO* a, const CMS_SIGNER_INFO* b);
ZUNPKI_API CMS_SIGNER_INFOS* new_CMS_SIGNER_INFOS(void);
ZUNPKI_API void free_CMS_SIGNER_INFOS(CMS_SIGNER_INFOS* list);

ZUNPKI_API CMS_SIGNED_DATA* new_CMS_SIGNED_DATA(void);
ZUNPKI_API void free_CMS_SIGNED_DATA(CMS_SIGNED_DATA* sd);
ZUNPKI_API void clean_CMS_SIGNED_DATA(CMS_SIGNED_DATA* sd);
ZUNPKI_API CMS_SIGNED_DATA* dup_CMS_SIGNED_DATA(const CMS_SIGNED_DATA* sd);
ZUNPKI_API int cmp_CMS_SIGNED_DATA(const CMS_SIGNED_DATA* a, const CMS_SIGNED_DATA* b);

ZUNPKI_API CMS_ORIGINATOR_INFO* new_CMS_ORIGINATOR_INFO(void);
ZUNPKI_API void free_CMS_ORIGINATOR_INFO(CMS_ORIGINATOR_INFO* oi);
ZUNPKI_API void clean_CMS_ORIGINATOR_INFO(CMS_ORIGINATOR_INFO* oi);
ZUNPKI_API CMS_ORIGINATOR_INFO* dup_CMS_ORIGINATOR_INFO(const CMS_ORIGINATOR_INFO* oi);

ZUNPKI_API KEY_TRANS_RECIPIENT_INFO* new_KEY_TRANS_RECIPIENT_INFO(void);
ZUNPKI_API void free_KEY_TRANS_RECIPIENT_INFO(KEY_TRANS_RECIPIENT_INFO* ktri);
ZUNPKI_API void clean_KEY_TRANS_RECIPIENT_INFO(KEY_TRANS_RECIPIENT_INFO* ktri);
ZUNPKI_API KEY_TRANS_RECIPIENT_INFO* dup_KEY_TRANS_RECIPIENT_INFO(const KEY_TRANS_RECIPIENT_INFO* ktri);

ZUNPKI_API ORIGINATOR_PUBLIC_KEY* new_ORIGINATOR_PUBLIC_KEY(void);
ZUNPKI_API void free_ORIGINATOR_PUBLIC_KEY(ORIGINATOR_PUBLIC_KEY* key);
ZUNPKI_API ORIGINATOR_IDENTIFIER_ORKEY* new_ORIGINATOR_IDENTIFIER_ORKEY(void);
ZUNPKI_API void free_ORIGINATOR_IDENTIFIER_ORKEY(ORIGINATOR_IDENTIFIER_ORKEY* id);
ZUNPKI_API OTHER_KEY_ATTRIBUTE* new_OTHER_KEY_ATTRIBUTE(void);
ZUNPKI_API void free_OTHER_KEY_ATTRIBUTE(OTHER_KEY_ATTRIBUTE* attr);
ZUNPKI_API RECIPIENT_KEY_IDENTIFIER* new_RECIPIENT_KEY_IDENTIFIER(void);
ZUNPKI_API void free_RECIPIENT_KEY_IDENTIFIER(RECIPIENT_KEY_IDENTIFIER* id);
ZUNPKI_API KEY_AGREE_RECIPIENT_IDENTIFIER* new_KEY_AGREE_RECIPIENT_IDENTIFIER(void);
ZUNPKI_API void free_KEY_AGREE_RECIPIENT_IDENTIFIER(KEY_AGREE_RECIPIENT_IDENTIFIER* id);
ZUNPKI_API RECIPIENT_ENCRYPTED_KEY* new_RECIPIENT_ENCRYPTED_KEY(void);
ZUNPKI_API void free_RECIPIENT_ENCRYPTED_KEY(RECIPIENT_ENCRYPTED_KEY* key);
ZUNPKI_API RECIPIENT_ENCRYPTED_KEYS* new_RECIPIENT_ENCRYPTED_KEYS(void);
ZUNPKI_API void free_RECIPIENT_ENCRYPTED_KEYS(RECIPIENT_ENCRYPTED_KEYS* list);
ZUNPKI_API KEY_AGREE_RECIPIENT_INFO* new_KEY_AGREE_RECIPIENT_INFO(void);
ZUNPKI_API void free_KEY_AGREE_RECIPIENT_INFO(KEY_AGREE_RECIPIENT_INFO* kari);

ZUNPKI_API CMS_RECIPIENT_INFO* new_CMS_RECIPIENT_INFO(void);
ZUNPKI_API void free_CMS_RECIPIENT_INFO(CMS_RECIPIENT_INFO* ri);
ZUNPKI_API void clean_CMS_RECIPIENT_INFO(CMS_RECIPIENT_INFO* ri);
ZUNPKI_API CMS_RECIPIENT_INFO* dup_CMS_RECIPIENT_INFO(const CMS_RECIPIENT_INFO* ri);
ZUNPKI_API int cmp_CMS_RECIPIENT_INFO(const CMS_RECIPIENT_INFO* a, const CMS_RECIPIENT_INFO* b);
ZUNPKI_API CMS_RECIPIENT_INFOS* new_CMS_RECIPIENT_INFOS(void);
ZUNPKI_API void free_CMS_RECIPIENT_INFOS(CMS_RECIPIENT_INFOS* list);

ZUNPKI_API CMS_ENCRYPTED_CONTENT_INFO* new_CMS_ENCRYPTED_CONTENT_INFO(void);
ZUNPKI_API void free_CMS_ENCRYPTED_CONTENT_INFO(CMS_ENCRYPTED_CONTENT_INFO* eci);

ZUNPKI_API CMS_ENVELOPED_DATA* new_CMS_ENVELOPED_DATA(void);
ZUNPKI_API void free_CMS_ENVELOPED_DATA(CMS_ENVELOPED_DATA* ed);
ZUNPKI_API void clean_CMS_ENVELOPED_DATA(CMS_ENVELOPED_DATA* ed);
ZUNPKI_API CMS_ENVELOPED_DATA* dup_CMS_ENVELOPED_DATA(const CMS_ENVELOPED_DATA* ed);
ZUNPKI_API int cmp_CMS_ENVELOPED_DATA(const CMS_ENVELOPED_DATA* a, const CMS_ENVELOPED_DATA* b);

ZUNPKI_API CMS_DIGESTED_DATA* new_CMS_DIGESTED_DATA(void);
ZUNPKI_API void free_CMS_DIGESTED_DATA(CMS_DIGESTED_DATA* dd);
ZUNPKI_API void clean_CMS_DIGESTED_DATA(CMS_DIGESTED_DATA* dd);
ZUNPKI_API CMS_DIGESTED_DATA* dup_CMS_DIGESTED_DATA(const CMS_DIGESTED_DATA* dd);
ZUNPKI_API int cmp_CMS_DIGESTED_DATA(const CMS_DIGESTED_DATA* a, const CMS_DIGESTED_DATA* b);

ZUNPKI_API CMS_ENCRYPTED_DATA* new_CMS_ENCRYPTED_DATA(void);
ZUNPKI_API void free_CMS_ENCRYPTED_DATA(CMS_ENCRYPTED_DATA* ed);
ZUNPKI_API void clean_CMS_ENCRYPTED_DATA(CMS_ENCRYPTED_DATA* ed);
ZUNPKI_API CMS_ENCRYPTED_DATA* dup_CMS_ENCRYPTED_DATA(const CMS_ENCRYPTED_DATA* ed);
ZUNPKI_API int cmp_CMS_ENCRYPTED_DATA(const CMS_ENCRYPTED_DATA* a, const CMS_ENCRYPTED_DATA* b);

ZUNPKI_API CMS_AUTHENTICATED_DATA* new_CMS_AUTHENTICATED_DATA(void);
ZUNPKI_API void free_CMS_AUTHENTICATED_DATA(CMS_AUTHENTICATED_DATA* ad);
ZUNPKI_API void clean_CMS_AUTHENTICATED_DATA(CMS_AUTHENTICATED_DATA* ad);
ZUNPKI_API CMS_AUTHENTICATED_DATA* dup_CMS_AUTHENTICATED_DATA(const CMS_AUTHENTICATED_DATA* ad);
ZUNPKI_API int cmp_CMS_AUTHENTICATED_DATA(const CMS_AUTHENTICATED_DATA* a, const CMS_AUTHENTICATED_DATA* b);

/* ---- Codecs ----------------------------------------------------------------
 * X_to_Seq(record, &node): a new node, or into the node *node holds (its
 * elements appended); 0x52nn0049 for null arguments or a missing required
 * member, 0x52nn0048 for a choice or type that cannot be written, 0x52nn0103
 * for a member that does not encode. Seq_to_X(node, &record): into the
 * record *record points to (changed only on success) or a new one;
 * 0x52nn0049 null arguments, 0x52nn002b a child count out of range,
 * 0x52nn0104 anything else that does not read. Decoders of lists append to
 * *list (made when null), which is left as it was on failure.
 *
 * SignedData and SignerInfo read their trailing elements in any order, each
 * at most once (an unknown one fails). An EncapsulatedContentInfo of one
 * element is detached content; a second element other than [0] is passed
 * over as detached too. A RecipientInfo other than key transport does not
 * decode (0x52400048) nor encode (0x52390048). */
ZUNPKI_API PKI_ERROR CMS_CONTENT_INFO_to_Seq(const CMS_CONTENT_INFO* cms, ASN1_UNIT** node);
/* A type row outside the six gives 1 (with content). */
ZUNPKI_API PKI_ERROR Seq_to_CMS_CONTENT_INFO(const ASN1_UNIT* node, CMS_CONTENT_INFO** cms);
/* Any eContentType is written (a signed trust list's, a timestamp's ...). */
ZUNPKI_API PKI_ERROR ENCAPSULATED_CONTENT_INFO_to_Seq(const ENCAPSULATED_CONTENT_INFO* eci, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_ENCAPSULATED_CONTENT_INFO(const ASN1_UNIT* node, ENCAPSULATED_CONTENT_INFO** eci);
ZUNPKI_API PKI_ERROR CMS_SIGNER_INFO_to_Seq(const CMS_SIGNER_INFO* si, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_CMS_SIGNER_INFO(const ASN1_UNIT* node, CMS_SIGNER_INFO** si);
ZUNPKI_API PKI_ERROR CMS_SIGNER_INFOS_to_Seq(const CMS_SIGNER_INFOS* list, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_CMS_SIGNER_INFOS(const ASN1_UNIT* node, CMS_SIGNER_INFOS** list);
ZUNPKI_API PKI_ERROR CMS_SIGNED_DATA_to_Seq(const CMS_SIGNED_DATA* sd, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_CMS_SIGNED_DATA(const ASN1_UNIT* node, CMS_SIGNED_DATA** sd);
ZUNPKI_API PKI_ERROR CMS_ORIGINATOR_INFO_to_Seq(const CMS_ORIGINATOR_INFO* oi, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_CMS_ORIGINATOR_INFO(const ASN1_UNIT* node, CMS_ORIGINATOR_INFO** oi);
ZUNPKI_API PKI_ERROR CMS_RECIPIENT_INFO_to_Seq(const CMS_RECIPIENT_INFO* ri, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_CMS_RECIPIENT_INFO(const ASN1_UNIT* node, CMS_RECIPIENT_INFO** ri);
ZUNPKI_API PKI_ERROR CMS_RECIPIENT_INFOS_to_Seq(const CMS_RECIPIENT_INFOS* list, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_CMS_RECIPIENT_INFOS(const ASN1_UNIT* node, CMS_RECIPIENT_INFOS** list);
ZUNPKI_API PKI_ERROR CMS_ENCRYPTED_CONTENT_INFO_to_Seq(const CMS_ENCRYPTED_CONTENT_INFO* eci, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_CMS_ENCRYPTED_CONTENT_INFO(const ASN1_UNIT* node, CMS_ENCRYPTED_CONTENT_INFO** eci);
ZUNPKI_API PKI_ERROR CMS_ENVELOPED_DATA_to_Seq(const CMS_ENVELOPED_DATA* ed, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_CMS_ENVELOPED_DATA(const ASN1_UNIT* node, CMS_ENVELOPED_DATA** ed);
ZUNPKI_API PKI_ERROR CMS_DIGESTED_DATA_to_Seq(const CMS_DIGESTED_DATA* dd, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_CMS_DIGESTED_DATA(const ASN1_UNIT* node, CMS_DIGESTED_DATA** dd);
ZUNPKI_API PKI_ERROR CMS_ENCRYPTED_DATA_to_Seq(const CMS_ENCRYPTED_DATA* ed, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_CMS_ENCRYPTED_DATA(const ASN1_UNIT* node, CMS_ENCRYPTED_DATA** ed);
ZUNPKI_API PKI_ERROR CMS_AUTHENTICATED_DATA_to_Seq(const CMS_AUTHENTICATED_DATA* ad, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_CMS_AUTHENTICATED_DATA(const ASN1_UNIT* node, CMS_AUTHENTICATED_DATA** ad);

/* ---- Content and type --------------------------------------------------------*/
/* Frees the content and type and makes the row's: 22 with version 1, 23,
 * 25, 26 and 205 with version 0, 21 with no record. 0x52010049 null or no
 * memory, 0x52010048 another row. */
ZUNPKI_API int set_CMS_Type(CMS_CONTENT_INFO* cms, int row);
/* Frees the content by its type and the type (the record stays). */
ZUNPKI_API void clear_CMS_Type(CMS_CONTENT_INFO* cms);
/* Row 21 only: installs an EncapsulatedContentInfo { data, no eContent }
 * in a signedData or digestedData. 0, 0x52010049, 0x52010048. */
ZUNPKI_API int new_CMS_Content(CMS_CONTENT_INFO* cms, int row);
/* Installs eci (taken over, the old one freed) in a signedData or
 * digestedData. 0, 0x52010048 (eci stays the caller's), 0x52010049. */
ZUNPKI_API int set_ENCAPSULATED_CONTENT_INFO(CMS_CONTENT_INFO* cms, ENCAPSULATED_CONTENT_INFO* eci);
/* The content of a signedData, digestedData or authenticatedData: with
 * detached 0, eContent becomes a copy of the bytes (when it has none); with
 * 1 nothing changes. 0, 0x52010048, 0x52010049. */
ZUNPKI_API int set_Content_Info(CMS_CONTENT_INFO* cms, const unsigned char* bytes, int len, int detached);
/* signedData: 1 or 3 only (0x5203002b), set on the content and on every
 * SignerInfo; envelopedData: the content and every key-transport
 * RecipientInfo; digested, encrypted and authenticated data: the content.
 * 0, 0x52030049, 0x52030028, 0x52030048. */
ZUNPKI_API int set_CMS_version(CMS_CONTENT_INFO* cms, int version);
/* signedData: appends a copy of cert. 0, 0x52130049, 0x52130048, 0x5213010c. */
ZUNPKI_API int add_CMS_Certificate(CMS_CONTENT_INFO* cms, const X509_CERT* cert);
/* signedData: appends crl itself (taken over; freed when the call fails).
 * 0, 0x52140049, 0x52140048, 0x5214010c. */
ZUNPKI_API int add_CMS_CRL(CMS_CONTENT_INFO* cms, X509_CRL* crl);
/* envelopedData or authenticatedData: appends cert / crl itself (taken
 * over; freed when the call fails) to the originator information. */
ZUNPKI_API int add_CMS_Originator_Certificate(CMS_CONTENT_INFO* cms, X509_CERT* cert);
ZUNPKI_API int add_CMS_Originator_CRL(CMS_CONTENT_INFO* cms, X509_CRL* crl);
/* Appends an attribute of the row's type with one value of universal type
 * tag: len bytes of contents (an OBJECT IDENTIFIER's dotted text, a time's
 * text), or for a constructed tag the whole element. 0, 0x52130049 null
 * arguments, 0x5213010c a value that does not make an attribute. */
ZUNPKI_API int add_CMS_Signed_Attribute(CMS_SIGNER_INFO* si, int row, int tag, const void* value, int len);
ZUNPKI_API int add_CMS_Unsigned_Attribute(CMS_SIGNER_INFO* si, int row, int tag, const void* value, int len);
/* envelopedData or encryptedData: 0x521c0048, 0x521c0049. */
ZUNPKI_API int add_CMS_Unprotected_Attribute(CMS_CONTENT_INFO* cms, int row, int tag, const void* value, int len);
/* authenticatedData only: 0x521d0048 / 0x521e0048, 0x521d0049 / 0x521e0049. */
ZUNPKI_API int add_CMS_Authenticated_Attribute(CMS_CONTENT_INFO* cms, int row, int tag, const void* value, int len);
ZUNPKI_API int add_CMS_Unauthenticated_Attribute(CMS_CONTENT_INFO* cms, int row, int tag, const void* value, int len);
/* authenticatedData only: { OID of the row, NULL }, or a copy of the mac. */
ZUNPKI_API int set_CMS_macAlgorithm(CMS_CONTENT_INFO* cms, int row);
ZUNPKI_API int set_CMS_digestAlgorithm(CMS_CONTENT_INFO* cms, int row);
ZUNPKI_API int set_CMS_mac(CMS_CONTENT_INFO* cms, const unsigned char* bytes, int len);

ZUNPKI_END_DECLS

#endif
