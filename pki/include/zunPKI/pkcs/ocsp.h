/*
 * OCSP (RFC 6960): requests and responses, their DER codecs, building a
 * request for certificates with a nonce, signing and verifying requests, and
 * on the responder side reading a request, building, signing and wrapping a
 * response; on the client side reading a response, verifying it with its
 * nonce and reading certificate statuses.
 *
 * The TBSRequest, the OCSPRequest, the ResponseData and the BasicOCSPResponse
 * keep their DER as received: signatures are checked over the bytes that were
 * signed, and a record that still holds what was decoded encodes to them. The
 * builders below drop them; a caller that changes members in place itself
 * calls touch_OCSP_REQUEST or touch_BASIC_OCSP_RESPONSE.
 *
 * The nonce is a request or response extension of row 831
 * (id-pkix-ocsp-nonce), not critical, whose extnValue holds the nonce bytes
 * as they are; a responder copies the request's value verbatim, and a client
 * compares the whole value with what it sent.
 *
 * Results are 0 or a PKI_ERROR of library L_GENERALIZED_TIME (0x50), which
 * OCSP shares, unless a function says otherwise; codes of the name,
 * certificate, extension and crypto operations pass through.
 */
#ifndef ZUNPKI_OCSP_H
#define ZUNPKI_OCSP_H

#include <zunCrypto/zunCrypto.h>

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/asn1/stack.h>
#include <zunPKI/pkcs/pkcs8.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_certs.h>
#include <zunPKI/x509/x509_key.h>
#include <zunPKI/x509/x509_name.h>
#include <zunPKI/x509/x509v3.h>
#include <zunPKI/x509/x509v3_gn.h>

/* Rows of the nonce extension: written under 831, found by either. */
#define OCSP_NONCE_ROW 831
#define OCSP_NONCE_ROW_OLD 366
/* Nonces a request may carry; a longer one is refused (RFC 8954 allows 32). */
#define OCSP_MAX_NONCE_LENGTH 64
/* responseStatus values. */
#define OCSP_RESPONSE_SUCCESSFUL 0
#define OCSP_RESPONSE_MALFORMED_REQUEST 1
#define OCSP_RESPONSE_INTERNAL_ERROR 2
#define OCSP_RESPONSE_TRY_LATER 3
#define OCSP_RESPONSE_SIG_REQUIRED 5
#define OCSP_RESPONSE_UNAUTHORIZED 6
/* CertStatus. */
#define OCSP_CERT_STATUS_GOOD 0
#define OCSP_CERT_STATUS_REVOKED 1
#define OCSP_CERT_STATUS_UNKNOWN 2
/* ResponderID choices. */
#define OCSP_RESPONDER_BY_NAME 0
#define OCSP_RESPONDER_BY_KEY 1

struct x509_received_st;

/* ---- Requests ------------------------------------------------------------ */
typedef struct {
    X509_ALGO_IDENTIFIER* hashAlgorithm;
    OCTET_STRING* issuerNameHash; /* hash of the issuer's Name DER */
    OCTET_STRING* issuerKeyHash;  /* hash of the issuer's subjectPublicKey bits */
    BIGINT* serialNumber;
} OCSP_CERT_ID;

typedef struct {
    OCSP_CERT_ID* reqCert;
    X509_EXTENSIONS* singleRequestExtensions; /* [0]; left out when empty */
} OCSP_SINGLE_REQUEST;

typedef struct {
    int version;                        /* [0] DEFAULT v1 (0) */
    GENERAL_NAME* requestorName;        /* [1]; null: none */
    STACK* requestList;                 /* of OCSP_SINGLE_REQUEST; at least one to encode */
    X509_EXTENSIONS* requestExtensions; /* [2]; left out when empty */
    struct x509_received_st* received;  /* library-private */
} OCSP_TBS_REQUEST;

typedef struct {
    X509_ALGO_IDENTIFIER* signatureAlgorithm;
    BIT_STRING* signature; /* null: unsigned */
    STACK* certs;          /* of X509_CERT; [0], left out when empty */
} OCSP_SIGNATURE;

/* The signature record always exists; the request is signed (and writes
 * optionalSignature) only when it holds an algorithm and a value. */
typedef struct {
    OCSP_TBS_REQUEST* tbsRequest;
    OCSP_SIGNATURE* optionalSignature;
    struct x509_received_st* received; /* library-private */
} OCSP_REQUEST;

/* ---- Responses ----------------------------------------------------------- */
typedef struct {
    OBJECT_IDENTIFIER* responseType; /* id-pkix-ocsp-basic */
    OCTET_STRING* response;          /* the BasicOCSPResponse DER */
} OCSP_RESPONSE_BYTES;

typedef struct {
    int responseStatus;                 /* OCSP_RESPONSE_* */
    OCSP_RESPONSE_BYTES* responseBytes; /* null for an error status */
} OCSP_RESPONSE;

typedef struct {
    int type;            /* OCSP_RESPONDER_BY_NAME or OCSP_RESPONDER_BY_KEY */
    X509_NAME* byName;   /* [1], for type 0 */
    OCTET_STRING* byKey; /* [2], for type 1: SHA-1 of the responder's key */
} OCSP_RESPONDER_ID;

typedef struct {
    GENERALIZED_TIME* revocationTime;
    int revocationReason; /* CRLReason; [0], always written */
} OCSP_REVOKED_INFO;

typedef struct {
    int status;                     /* OCSP_CERT_STATUS_* */
    OCSP_REVOKED_INFO* revokedInfo; /* for revoked only */
} OCSP_CERT_STATUS;

typedef struct {
    OCSP_CERT_ID* certID;
    OCSP_CERT_STATUS* certStatus;
    GENERALIZED_TIME* thisUpdate;
    GENERALIZED_TIME* nextUpdate;      /* [0]; null: none */
    X509_EXTENSIONS* singleExtensions; /* [1]; left out when empty */
} OCSP_SINGLE_RESPONSE;

typedef struct {
    int version; /* [0] DEFAULT v1 (0) */
    OCSP_RESPONDER_ID* responderID;
    GENERALIZED_TIME* producedAt;
    STACK* responses;                    /* of OCSP_SINGLE_RESPONSE; at least one to encode */
    X509_EXTENSIONS* responseExtensions; /* [1]; left out when empty */
    struct x509_received_st* received;   /* library-private */
} OCSP_RESPONSE_DATA;

typedef struct {
    OCSP_RESPONSE_DATA* tbsResponseData;
    X509_ALGO_IDENTIFIER* signatureAlgorithm;
    BIT_STRING* signature;
    STACK* certs;                      /* of X509_CERT; [0], left out when empty */
    struct x509_received_st* received; /* library-private */
} BASIC_OCSP_RESPONSE;

ZUNPKI_BEGIN_DECLS

/* ---- Records ---------------------------------------------------------------
 * new_X makes the record with its owned sub-records and empty lists (a new
 * request holds a TBSRequest and a signature record, a new single request a
 * CertID, a new basic response its response data and algorithm; a response
 * has status 0 and no bytes); free_X ignores null; clean_X frees the
 * contents and leaves the record as new_X makes it (clean_OCSP_RESPONSE:
 * no bytes; clean_OCSP_CERT_STATUS: no revoked info). dup_X copies deeply.
 */
ZUNPKI_API OCSP_CERT_ID* new_OCSP_CERT_ID(void);
ZUNPKI_API void free_OCSP_CERT_ID(OCSP_CERT_ID* id);
ZUNPKI_API void clean_OCSP_CERT_ID(OCSP_CERT_ID* id);
/* Null when any of the four parts is missing. */
ZUNPKI_API OCSP_CERT_ID* dup_OCSP_CERT_ID(const OCSP_CERT_ID* id);
/* 0 when both name the same certificate: the same hash algorithm, hashes
 * and serial number. */
ZUNPKI_API int cmp_OCSP_CERT_ID(const OCSP_CERT_ID* a, const OCSP_CERT_ID* b);
ZUNPKI_API OCSP_SINGLE_REQUEST* new_OCSP_SINGLE_REQUEST(void);
ZUNPKI_API void free_OCSP_SINGLE_REQUEST(OCSP_SINGLE_REQUEST* single);
ZUNPKI_API void clean_OCSP_SINGLE_REQUEST(OCSP_SINGLE_REQUEST* single);
ZUNPKI_API OCSP_TBS_REQUEST* new_OCSP_TBS_REQUEST(void);
ZUNPKI_API void free_OCSP_TBS_REQUEST(OCSP_TBS_REQUEST* tbs);
ZUNPKI_API void clean_OCSP_TBS_REQUEST(OCSP_TBS_REQUEST* tbs);
ZUNPKI_API OCSP_SIGNATURE* new_OCSP_SIGNATURE(void);
ZUNPKI_API void free_OCSP_SIGNATURE(OCSP_SIGNATURE* sig);
ZUNPKI_API void clean_OCSP_SIGNATURE(OCSP_SIGNATURE* sig);
ZUNPKI_API OCSP_REQUEST* new_OCSP_REQUEST(void);
ZUNPKI_API void free_OCSP_REQUEST(OCSP_REQUEST* request);
ZUNPKI_API void clean_OCSP_REQUEST(OCSP_REQUEST* request);
ZUNPKI_API OCSP_REQUEST* dup_OCSP_REQUEST(const OCSP_REQUEST* request);
ZUNPKI_API void touch_OCSP_REQUEST(OCSP_REQUEST* request);

ZUNPKI_API OCSP_RESPONSE* new_OCSP_RESPONSE(void);
ZUNPKI_API void free_OCSP_RESPONSE(OCSP_RESPONSE* response);
ZUNPKI_API void clean_OCSP_RESPONSE(OCSP_RESPONSE* response);
ZUNPKI_API OCSP_RESPONSE_BYTES* new_OCSP_RESPONSE_BYTES(void);
ZUNPKI_API void free_OCSP_RESPONSE_BYTES(OCSP_RESPONSE_BYTES* bytes);
ZUNPKI_API void clean_OCSP_RESPONSE_BYTES(OCSP_RESPONSE_BYTES* bytes);
ZUNPKI_API BASIC_OCSP_RESPONSE* new_BASIC_OCSP_RESPONSE(void);
ZUNPKI_API void free_BASIC_OCSP_RESPONSE(BASIC_OCSP_RESPONSE* basic);
ZUNPKI_API void clean_BASIC_OCSP_RESPONSE(BASIC_OCSP_RESPONSE* basic);
ZUNPKI_API BASIC_OCSP_RESPONSE* dup_BASIC_OCSP_RESPONSE(const BASIC_OCSP_RESPONSE* basic);
ZUNPKI_API void touch_BASIC_OCSP_RESPONSE(BASIC_OCSP_RESPONSE* basic);
ZUNPKI_API OCSP_RESPONSE_DATA* new_OCSP_RESPONSE_DATA(void);
ZUNPKI_API void free_OCSP_RESPONSE_DATA(OCSP_RESPONSE_DATA* data);
ZUNPKI_API void clean_OCSP_RESPONSE_DATA(OCSP_RESPONSE_DATA* data);
ZUNPKI_API OCSP_RESPONDER_ID* new_OCSP_RESPONDER_ID(void);
ZUNPKI_API void free_OCSP_RESPONDER_ID(OCSP_RESPONDER_ID* id);
ZUNPKI_API void clean_OCSP_RESPONDER_ID(OCSP_RESPONDER_ID* id);
ZUNPKI_API OCSP_SINGLE_RESPONSE* new_OCSP_SINGLE_RESPONSE(void);
ZUNPKI_API void free_OCSP_SINGLE_RESPONSE(OCSP_SINGLE_RESPONSE* single);
ZUNPKI_API void clean_OCSP_SINGLE_RESPONSE(OCSP_SINGLE_RESPONSE* single);
ZUNPKI_API OCSP_CERT_STATUS* new_OCSP_CERT_STATUS(void);
ZUNPKI_API void free_OCSP_CERT_STATUS(OCSP_CERT_STATUS* status);
ZUNPKI_API void clean_OCSP_CERT_STATUS(OCSP_CERT_STATUS* status);
ZUNPKI_API OCSP_REVOKED_INFO* new_OCSP_REVOKED_INFO(void);
ZUNPKI_API void free_OCSP_REVOKED_INFO(OCSP_REVOKED_INFO* info);
ZUNPKI_API void clean_OCSP_REVOKED_INFO(OCSP_REVOKED_INFO* info);
/* Null when info or its time is null. */
ZUNPKI_API OCSP_REVOKED_INFO* dup_OCSP_REVOKED_INFO(const OCSP_REVOKED_INFO* info);

/* ---- Building a request (client) --------------------------------------------
 * The digest of the name's DER into out, which has room for
 * VSC_MAX_DIGEST_LENGTH bytes; its length in *outLen when given. 0, or 1. */
ZUNPKI_API int hash_X509_NAME(const X509_NAME* name, int digestId, unsigned char* out, int* outLen);
/* Appends a Request for cert under the digest (0x5000100 SHA-1,
 * 0x5000300 SHA-256, ...) and sets the request's one nonce extension: nonce
 * (1 to OCSP_MAX_NONCE_LENGTH bytes), or 16 random bytes for null. With the
 * issuer, issuerKeyHash is the digest of the issuer's key; without it, the
 * certificate's authorityKeyIdentifier stands for it under SHA-1 only (the
 * key identifier is the SHA-1 of the key by RFC 5280's first method).
 * 0x50010012 no request, 0x50010011 no certificate, 0x500100ff the name or
 * key hash cannot be made (no issuer and no key identifier, or another
 * digest without the issuer), 0x5001002b a nonce of a bad length; nothing
 * is appended then. */
ZUNPKI_API int generate_single_OCSP_REQUEST_Ex(OCSP_REQUEST* request, const X509_CERT* cert, const X509_CERT* issuer,
                                               int digestId, const unsigned char* nonce, int nonceLen);
/* The same under SHA-1. */
ZUNPKI_API int generate_single_OCSP_REQUEST(OCSP_REQUEST* request, const X509_CERT* cert, const X509_CERT* issuer,
                                            const unsigned char* nonce, int nonceLen);
/* One Request per certificate of the list (X509_CERTIFICATES) under SHA-1,
 * then the nonce; a certificate that fails ends the call with its code and
 * leaves the Requests already appended. 0x50010011 for a null list. */
ZUNPKI_API int generate_multi_OCSP_REQUEST(OCSP_REQUEST* request, const STACK* certList, const X509_CERT* issuer,
                                           const unsigned char* nonce, int nonceLen);
/* Signs the TBSRequest with the signer's key (RSA or KCDSA), naming the
 * signer as requestorName and carrying its certificate once. Without signer
 * certificate or key the request is left unsigned (any requestorName
 * removed) and 0 returned. RSA: paddingMode 0 or 1 PKCS#1 v1.5 under the
 * digest's row (SHA-1 65, SHA-224 671, SHA-256 668, SHA-384 669, SHA-512
 * 670, MD5 8), 2 RSASSA-PSS (MGF1 with the digest, salt of bits 16-23 of
 * the mode or else the digest's length). KCDSA: 783 HAS-160, 784 SHA-1,
 * 841 SHA-256. 0x5001002b a digest or mode the key cannot sign with, or a
 * key that is not the certificate's; 0x50010048 a key of another kind; the
 * crypto library's code. The request is unchanged on failure. */
ZUNPKI_API int sign_OCSP_REQUEST_Ex(OCSP_REQUEST* request, const X509_CERT* signerCert,
                                    const P8_PRIV_KEY_INFO* signerKey, int digestId, int paddingMode);
ZUNPKI_API int sign_OCSP_REQUEST(OCSP_REQUEST* request, const X509_CERT* signerCert, const P8_PRIV_KEY_INFO* signerKey);
ZUNPKI_API int sign_OCSP_REQUEST_ex(OCSP_REQUEST* request, const X509_CERT* signerCert,
                                    const P8_PRIV_KEY_INFO* signerKey, int digestId);

/* ---- Request codecs ----------------------------------------------------------
 * X_to_Seq(record, &node): a new node, or into *node. Seq_to_X: into the
 * record the slot holds (changed only on success) or a new one. */
ZUNPKI_API PKI_ERROR OCSP_CERT_ID_to_Seq(const OCSP_CERT_ID* id, ASN1_UNIT** node);
/* Fills single->reqCert. 0x500d0049, 0x500d002b. */
ZUNPKI_API PKI_ERROR Seq_to_OCSP_CERT_ID(const ASN1_UNIT* node, OCSP_SINGLE_REQUEST* single);
/* 0x50050049 null, 0x5005002b no CertID. */
ZUNPKI_API PKI_ERROR OCSP_SINGLE_REQUEST_to_Seq(const OCSP_SINGLE_REQUEST* single, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_OCSP_SINGLE_REQUEST(const ASN1_UNIT* node, OCSP_SINGLE_REQUEST** single);
/* 0x50060049 null, 0x5006002b an empty request list. */
ZUNPKI_API PKI_ERROR OCSP_TBS_REQUEST_to_Seq(const OCSP_TBS_REQUEST* tbs, ASN1_UNIT** node);
/* Fills request->tbsRequest. 0x50130049, 0x5013001c. */
ZUNPKI_API PKI_ERROR Seq_to_OCSP_TBS_REQUEST(const ASN1_UNIT* node, OCSP_REQUEST* request);
/* 0x50070049 null, or the TBSRequest's code. */
ZUNPKI_API PKI_ERROR OCSP_REQUEST_to_Seq(const OCSP_REQUEST* request, ASN1_UNIT** node);
/* 0x50120049 null, 0x5012001c anything that does not read (a certificate
 * of the signature included). */
ZUNPKI_API PKI_ERROR Seq_to_OCSP_REQUEST(const ASN1_UNIT* node, OCSP_REQUEST** request);

/* ---- Reading a request (responder) -------------------------------------------
 * 1 when the request is signed (an algorithm and a value), else 0. */
ZUNPKI_API int is_OCSP_REQUEST_signature(const OCSP_REQUEST* request);
/* The first certificate of the signature (owned by the request), or null. */
ZUNPKI_API X509_CERT* get_OCSP_REQUEST_signature_cert(const OCSP_REQUEST* request);
/* 0 when the signature verifies over the TBSRequest's bytes as received,
 * under the first certificate's key and the signature algorithm (the
 * padding mode is that algorithm's; the argument is kept for callers).
 * 0x50130049 null, 0x5013001c unsigned, no certificate or an algorithm
 * the key cannot serve, 0x50130048 a key of another kind than RSA or KCDSA
 * (ECDSA among them); 1 (VSC_FAIL) a signature that does not verify. */
ZUNPKI_API int verify_OCSP_REQUEST_Ex(const OCSP_REQUEST* request, int paddingMode);
ZUNPKI_API int verify_OCSP_REQUEST(const OCSP_REQUEST* request);
/* The number of single requests; 0 for null. */
ZUNPKI_API int get_OCSP_REQUEST_list_count(const OCSP_REQUEST* request);
/* The single request at index (owned by the request). 0x5016002b null or
 * negative, 0x5016001c at or past the count. */
ZUNPKI_API int get_OCSP_REQUEST_list(const OCSP_REQUEST* request, OCSP_SINGLE_REQUEST** single, int index);
/* The nonce's length: 0 without one, 1 for a null request (the general
 * failure value), -1 for a nonce longer than OCSP_MAX_NONCE_LENGTH. */
ZUNPKI_API int get_OCSP_REQUEST_nonce_length(const OCSP_REQUEST* request);
/* The same, and a new buffer of the nonce in *buffer (released with
 * VSC_Free) when there is one; *buffer is set whatever it held (a caller's
 * buffer is never written to: the nonce comes from an untrusted request). */
ZUNPKI_API int get_OCSP_REQUEST_nonce(const OCSP_REQUEST* request, unsigned char** buffer);

/* ---- Response codecs ----------------------------------------------------------*/
/* 0x50080049, 0x5008002b. ResponseBytes that do not read (or of another
 * type than id-pkix-ocsp-basic) leave responseBytes null. */
ZUNPKI_API PKI_ERROR Seq_to_OCSP_RESPONSE(const ASN1_UNIT* node, OCSP_RESPONSE** response);
/* 0x50090049, 0x5009002b, 0x50090016 another response type. */
ZUNPKI_API PKI_ERROR Seq_to_OCSP_RESPONSE_BYTES(const ASN1_UNIT* node, OCSP_RESPONSE_BYTES** bytes);
/* A new basic response decoded from bytes->response (keeping its DER), or
 * null. */
ZUNPKI_API BASIC_OCSP_RESPONSE* get_BASIC_OCSP_RESPONSE(const OCSP_RESPONSE_BYTES* bytes);
ZUNPKI_API PKI_ERROR Seq_to_BASIC_OCSP_RESPONSE(const ASN1_UNIT* node, BASIC_OCSP_RESPONSE** basic);
/* Fills basic->tbsResponseData. 0x500b0049, 0x500b002b. */
ZUNPKI_API PKI_ERROR Seq_to_OCSP_RESPONSE_DATA(const ASN1_UNIT* node, BASIC_OCSP_RESPONSE* basic);
/* 0x500c0049, 0x500c002b (a status other than good, revoked, unknown
 * included). */
ZUNPKI_API PKI_ERROR Seq_to_OCSP_SINGLE_RESPONSE(const ASN1_UNIT* node, OCSP_SINGLE_RESPONSE** single);
/* 0x500e0049, 0x500e002b. */
ZUNPKI_API PKI_ERROR Seq_to_OCSP_REVOKED_INFO(const ASN1_UNIT* node, OCSP_REVOKED_INFO** info);
ZUNPKI_API PKI_ERROR OCSP_RESPONSE_to_Seq(const OCSP_RESPONSE* response, ASN1_UNIT** node);
/* The ResponseBytes' two elements appended to *node (made when null). */
ZUNPKI_API PKI_ERROR OCSP_RESPONSE_BYTES_to_Seq(const OCSP_RESPONSE_BYTES* bytes, ASN1_UNIT** node);
/* 0x501b0049 null record or data; the data's code. */
ZUNPKI_API PKI_ERROR BASIC_OCSP_RESPONSE_to_Seq(const BASIC_OCSP_RESPONSE* basic, ASN1_UNIT** node);
/* 0x5019002b a missing responder, time or list, 0x5019001c an empty list. */
ZUNPKI_API PKI_ERROR OCSP_RESPONSE_DATA_to_Seq(const OCSP_RESPONSE_DATA* data, ASN1_UNIT** node);
/* 0x501f0049 a missing CertID, status or time. */
ZUNPKI_API PKI_ERROR OCSP_SINGLE_RESPONSE_to_Seq(const OCSP_SINGLE_RESPONSE* single, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR OCSP_REVOKED_INFO_to_Seq(const OCSP_REVOKED_INFO* info, ASN1_UNIT** node);

/* ---- Reading a response (client) ------------------------------------------------
 * 0 when the responder's signature verifies over the response data's bytes
 * as received and, with a nonce (nonceLen above 0), the response carries
 * that nonce byte for byte. The signer is signerCert, else the embedded
 * certificate the responderID names. The padding mode is the signature
 * algorithm's (the argument is kept for callers).
 * 0x500f0049 null, 0x500f0014 no signer certificate, 0x500f0017 no
 * signature, 0x500f0018 no response data, 0x500f001b an algorithm the key
 * cannot serve, 0x500f0029 a key of another kind (ECDSA among them),
 * 0x500f001a no nonce in
 * the response, 0x500f0019 another nonce; 1 (VSC_FAIL) a signature that
 * does not verify. */
ZUNPKI_API int verify_BASIC_OCSP_RESPONSE_Ex(const BASIC_OCSP_RESPONSE* basic, const X509_CERT* signerCert,
                                             int paddingMode, const unsigned char* nonce, int nonceLen);
ZUNPKI_API int verify_BASIC_OCSP_RESPONSE(const BASIC_OCSP_RESPONSE* basic, const X509_CERT* signerCert,
                                          const unsigned char* nonce, int nonceLen);
ZUNPKI_API int verfy_BASIC_OCSP_RESPONSE(const BASIC_OCSP_RESPONSE* basic, const X509_CERT* signerCert,
                                         const unsigned char* nonce, int nonceLen);
/* The number of single responses; 0 for null. */
ZUNPKI_API int get_CERT_STATUS_count_from_OCSP_RESPONSE(const BASIC_OCSP_RESPONSE* basic);
/* The status at index (0 good, 1 revoked with the reason in *reason when
 * asked, 2 unknown, also for an index at or past the count); 0x50100049 for
 * null, a negative index or no responses. */
ZUNPKI_API int get_CERT_STATUS_from_OCSP_RESPONSE_index(const BASIC_OCSP_RESPONSE* basic, int index, int* reason);
/* The status of the first single response whose CertID names cert: the
 * serial number, the hash of cert's issuer name under the CertID's hash,
 * and the issuer key hash, checked against the issuer's key when the issuer
 * is given, else against cert's authorityKeyIdentifier for SHA-1 CertIDs (a
 * CertID under another hash without the issuer is matched by name and
 * serial). 2 when none matches; 0x50100049 for null arguments. */
ZUNPKI_API int get_CERT_STATUS_from_OCSP_RESPONSE_Ex(const BASIC_OCSP_RESPONSE* basic, const X509_CERT* cert,
                                                     const X509_CERT* issuer, int* reason);
ZUNPKI_API int get_CERT_STATUS_from_OCSP_RESPONSE(const BASIC_OCSP_RESPONSE* basic, const X509_CERT* cert, int* reason);

/* ---- Building a response (responder) ----------------------------------------------
 * Response data for the responder certificate into *data (made when null):
 * version, responderID byName (type 0, the subject) or byKey (type 1, the
 * SHA-1 of the responder's key), producedAt the current instant in UTC, and
 * the nonce extension when a nonce is given (its bytes verbatim, one
 * extension). 0x5015002b null certificate, a type above 1 or a nonce of a
 * bad length; *data is unchanged on failure. */
ZUNPKI_API int generate_OCSP_RESPONSE_DATA(OCSP_RESPONSE_DATA** data, const X509_CERT* responderCert,
                                           int responderIdType, int version, const unsigned char* nonce, int nonceLen);
/* Appends a single response for the CertID that certIdHolder's first member
 * points to (an OCSP_SINGLE_REQUEST, or the address of a CertID slot): a
 * copy of the CertID, the status (revokedInfo copied for 1), copies of the
 * times. 0x5017002b null holder, data or thisUpdate, status above 2, or
 * revoked without revokedInfo. */
ZUNPKI_API int add_single_OCSP_RESPONSE(OCSP_RESPONSE_DATA* data, const void* certIdHolder, int status,
                                        const OCSP_REVOKED_INFO* revokedInfo, const GENERALIZED_TIME* thisUpdate,
                                        const GENERALIZED_TIME* nextUpdate);
/* Signs data with the responder's key (the rows and modes of
 * sign_OCSP_REQUEST_Ex) into *basic (made when null), which takes data over
 * and carries the responder certificate once. On failure *basic and data
 * are as they were (data stays the caller's). 0x5018002b null arguments, a
 * digest or mode the key cannot sign with, or a key that is not the
 * certificate's; 0x50180048 a key of another kind; the data's or the crypto
 * library's code. */
ZUNPKI_API int generate_BASIC_OCSP_RESPONSE_Ex(BASIC_OCSP_RESPONSE** basic, OCSP_RESPONSE_DATA* data,
                                               const X509_CERT* responderCert, const P8_PRIV_KEY_INFO* responderKey,
                                               int digestId, int paddingMode);
ZUNPKI_API int generate_BASIC_OCSP_RESPONSE(BASIC_OCSP_RESPONSE** basic, OCSP_RESPONSE_DATA* data,
                                            const X509_CERT* responderCert, const P8_PRIV_KEY_INFO* responderKey);
ZUNPKI_API int generate_BASIC_OCSP_RESPONSE_ex(BASIC_OCSP_RESPONSE** basic, OCSP_RESPONSE_DATA* data,
                                               const X509_CERT* responderCert, const P8_PRIV_KEY_INFO* responderKey,
                                               int digestId);
/* ResponseBytes { id-pkix-ocsp-basic, the basic response's DER } into *bytes
 * (made when null). 0x5020002b null basic, 0x5020001c no record. */
ZUNPKI_API int generate_OCSP_RESPONSE_BYTES(OCSP_RESPONSE_BYTES** bytes, const BASIC_OCSP_RESPONSE* basic);
/* The response of status (0 to 6) into *response (made when null), taking
 * bytes over (null for an error status). 0x501a002b, 0x501a003a. */
ZUNPKI_API int generate_OCSP_RESPONSE(OCSP_RESPONSE** response, OCSP_RESPONSE_BYTES* bytes, int status);

ZUNPKI_END_DECLS

#endif
