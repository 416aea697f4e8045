/*
 * X.509 certificates: the Certificate record and its TBSCertificate body, the
 * time choice, the validity pair and the certificate's extras, their DER
 * codecs, setters and getters, signing with an RSA or KCDSA key, signature
 * and validity checks, digest and a diagnostic print.
 *
 * A decoded certificate keeps the bytes it was read from: the
 * TBSCertificate as it came (the signature is over those bytes, BER
 * included) and the layers around it (the outer SEQUENCE, signatureAlgorithm,
 * the signature BIT STRING) in DER, so every byte form of one signed
 * certificate encodes and digests alike. Encoding, digesting, signing and
 * verifying use those bytes for as long as the record still holds what was
 * decoded: the setters below drop them, and so does touch_X509_CERT, which a
 * caller that changes members in place itself must call. After that the
 * record is encoded afresh.
 *
 * Results are 0 or a PKI_ERROR of library L_X509 unless a function says
 * otherwise (a few return a plain 1).
 */
#ifndef ZUNPKI_X509_CERT_H
#define ZUNPKI_X509_CERT_H

#include <zunCrypto/zunCrypto.h>

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/x509/x509_key.h>
#include <zunPKI/x509/x509_name.h>
#include <zunPKI/x509/x509v3.h>

/* Time: type 0 UTCTime, 1 GeneralizedTime; value is the text value of that
 * type (UTC_TIME or GENERALIZED_TIME). */
#define X509_TIME_UTC 0
#define X509_TIME_GENERALIZED 1

typedef struct {
    int type;
    ASN1_STRING* value;
} X509_TIME;

typedef struct {
    X509_TIME* notBefore;
    X509_TIME* notAfter;
} X509_VALIDITY;

/* Extras of a certificate that are never encoded (PKCS#12 bag attributes). */
typedef struct {
    UTF8_STRING* friendlyName;
    OCTET_STRING* localKeyId;
} X509_AUX;

/* The DER a record was decoded from; library-private. */
struct x509_received_st;

typedef struct {
    int version; /* low byte: 0 v1, 1 v2, 2 v3 */
    BIGINT* serialNumber;
    OBJECT_IDENTIFIER* signature; /* algorithm of TBSCertificate.signature */
    X509_NAME* issuer;
    X509_VALIDITY* validity;
    X509_NAME* subject;
    X509_PUBKEY* subjectPublicKeyInfo;
    X509_EXTENSIONS* extensions; /* null or empty: none */
    /* The parameters of TBSCertificate.signature as received (type = their
     * identifier octet); null: written as the algorithm wants them (absent
     * for ECDSA, else NULL). set_X509_signature with another algorithm drops
     * them. */
    ASN1_STRING* signatureParameters;
    BIT_STRING* issuerUniqueID;        /* [1], null when absent */
    BIT_STRING* subjectUniqueID;       /* [2], null when absent */
    struct x509_received_st* received; /* library-private */
} X509_TBS_CERT;

typedef struct {
    X509_TBS_CERT* tbs;
    OBJECT_IDENTIFIER* signatureAlgorithm; /* Certificate.signatureAlgorithm */
    BIT_STRING* signatureValue;
    X509_AUX* aux;
    ASN1_STRING* signatureParameters;  /* of signatureAlgorithm, as for the TBS */
    struct x509_received_st* received; /* library-private */
} X509_CERT;

ZUNPKI_BEGIN_DECLS

/* ---- Records ------------------------------------------------------------ */
/* A certificate with an empty TBS body. */
ZUNPKI_API X509_CERT* new_X509_CERT(void);
ZUNPKI_API void free_X509_CERT(X509_CERT* cert);
/* Frees every member (the TBS body included) and zeroes the record. */
ZUNPKI_API void clean_X509_CERT(X509_CERT* cert);
/* A deep copy (the kept DER too); a certificate without a TBS body gives a
 * copy without one. Null for null or when a copy fails. */
ZUNPKI_API X509_CERT* dup_X509_CERT(const X509_CERT* cert);
/* 0 when both encode to the same DER; -1 or 1 by the first differing byte
 * or the length; 1 when either is missing or does not encode. */
ZUNPKI_API int cmp_X509_CERT(const X509_CERT* a, const X509_CERT* b);
/* Drops the DER kept from decoding: the next encoding is made afresh. */
ZUNPKI_API void touch_X509_CERT(X509_CERT* cert);

ZUNPKI_API X509_TBS_CERT* new_X509_TBS_CERT(void);
ZUNPKI_API void free_X509_TBS_CERT(X509_TBS_CERT* tbs);
ZUNPKI_API void clean_X509_TBS_CERT(X509_TBS_CERT* tbs);
ZUNPKI_API X509_TBS_CERT* dup_X509_TBS_CERT(const X509_TBS_CERT* tbs);

/* type 0 and no value. */
ZUNPKI_API X509_TIME* new_X509_TIME(void);
ZUNPKI_API void free_X509_TIME(X509_TIME* time);
ZUNPKI_API void clean_X509_TIME(X509_TIME* time);
ZUNPKI_API X509_TIME* dup_X509_TIME(const X509_TIME* time);
ZUNPKI_API int cmp_X509_TIME(const X509_TIME* a, const X509_TIME* b);
/* Copies type and value into to (its value made when absent). 0, or 1 for a
 * missing argument, a type other than 0 or 1, or a failed copy. */
ZUNPKI_API int copy_X509_TIME(const X509_TIME* from, X509_TIME* to);

ZUNPKI_API X509_VALIDITY* new_X509_VALIDITY(void);
ZUNPKI_API void free_X509_VALIDITY(X509_VALIDITY* validity);
ZUNPKI_API void clean_X509_VALIDITY(X509_VALIDITY* validity);
ZUNPKI_API X509_VALIDITY* dup_X509_VALIDITY(const X509_VALIDITY* validity);
ZUNPKI_API int cmp_X509_VALIDITY(const X509_VALIDITY* a, const X509_VALIDITY* b);

ZUNPKI_API X509_AUX* new_X509_AUX(void);
ZUNPKI_API void free_X509_AUX(X509_AUX* aux);
ZUNPKI_API void clean_X509_AUX(X509_AUX* aux);
ZUNPKI_API X509_AUX* dup_X509_AUX(const X509_AUX* aux);
ZUNPKI_API int cmp_X509_AUX(const X509_AUX* a, const X509_AUX* b);

/* ---- Setters (copies of the value; 0x46..0049 for a missing certificate,
 * TBS body or value) ----------------------------------------------------- */
/* The low byte; 0x4601002B when it is above 3. */
ZUNPKI_API PKI_ERROR set_X509_version(X509_CERT* cert, unsigned int version);
ZUNPKI_API PKI_ERROR set_X509_serial(X509_CERT* cert, const BIGINT* serial);
ZUNPKI_API PKI_ERROR set_X509_signature(X509_CERT* cert, const OBJECT_IDENTIFIER* oid);
ZUNPKI_API PKI_ERROR set_X509_issuer(X509_CERT* cert, const X509_NAME* name);
ZUNPKI_API PKI_ERROR set_X509_subject(X509_CERT* cert, const X509_NAME* name);
/* 1 for a time of another type than 0 or 1. */
ZUNPKI_API PKI_ERROR set_X509_notAfter(X509_CERT* cert, const X509_TIME* time);
ZUNPKI_API PKI_ERROR set_X509_notBefore(X509_CERT* cert, const X509_TIME* time);
/* The public values of an RSA (kind 1) or KCDSA (kind 2) key; 0x4608002B for
 * another kind. */
ZUNPKI_API PKI_ERROR set_X509_pub_key(X509_CERT* cert, const X509_PUBKEY* key);

/* ---- Getters (borrowed; null without a TBS body) ------------------------ */
/* The version's low byte; 1 without a TBS body. */
ZUNPKI_API int get_X509_version(const X509_CERT* cert);
ZUNPKI_API BIGINT* get_X509_serial(const X509_CERT* cert);
ZUNPKI_API OBJECT_IDENTIFIER* get_X509_signature(const X509_CERT* cert);
ZUNPKI_API X509_NAME* get_X509_issuer(const X509_CERT* cert);
ZUNPKI_API X509_NAME* get_X509_subject(const X509_CERT* cert);
ZUNPKI_API X509_TIME* get_X509_notBefore(const X509_CERT* cert);
ZUNPKI_API X509_TIME* get_X509_notAfter(const X509_CERT* cert);
ZUNPKI_API X509_PUBKEY* get_X509_SPKI(const X509_CERT* cert);
ZUNPKI_API OBJECT_IDENTIFIER* get_X509_sig_alg(const X509_CERT* cert);
ZUNPKI_API BIT_STRING* get_X509_sig_value(const X509_CERT* cert);

/* ---- Codecs ------------------------------------------------------------- */
/* Into *cert (which changes only on success) or a new certificate. A
 * Certificate holds exactly its three elements and a TBSCertificate nothing
 * after its extensions. 0x460F0049, 0x460F0104; 1 when the TBS is missing;
 * the TBS decoder's codes. */
ZUNPKI_API PKI_ERROR Seq_to_X509_CERT(const ASN1_UNIT* node, X509_CERT** cert);
/* A new node: the DER kept from decoding, or the record encoded. 0x46100049
 * without TBS body, algorithm or signature value; the TBS encoder's codes. */
ZUNPKI_API PKI_ERROR X509_CERT_to_Seq(const X509_CERT* cert, ASN1_UNIT** node);
/* Replaces cert's TBS body on success; on failure cert keeps what it had.
 * 0x46110049, 0x4611002B (fewer than six elements), 0x46110104. */
ZUNPKI_API PKI_ERROR Seq_to_X509_TBS_CERT(const ASN1_UNIT* node, X509_CERT* cert);
/* 0x46120049; 0x4612010A, 0x46120108, 0x46120105, 0x46120107, 0x46120106,
 * 0x46120109 for a missing serial, signature, issuer, validity, subject or
 * public key; 0x46120103. */
ZUNPKI_API PKI_ERROR X509_TBS_CERT_to_Seq(const X509_TBS_CERT* tbs, ASN1_UNIT** node);

/* ---- Signatures --------------------------------------------------------- */
/* Signs the TBS body with key (kind 1 RSA, 2 KCDSA) under the algorithm set
 * as TBS signature, then stores that algorithm as signatureAlgorithm and the
 * signature as signatureValue. 1 for a missing certificate, TBS body,
 * algorithm or key, or another kind; else the signer's result. */
ZUNPKI_API int gen_SIG_X509_Cert(X509_CERT* cert, const ASYMMETRIC_KEY* key);
/* A new BIT STRING in *sig. 0x46150049, 0x4615002B (algorithm without a
 * digest or an RSA scheme), the crypto library's result. */
ZUNPKI_API PKI_ERROR gen_RSA_SIG_X509_TBS_CERT(const X509_TBS_CERT* tbs, BIT_STRING** sig, const OBJECT_IDENTIFIER* alg,
                                               RSA_UNIT* key);
/* The BIT STRING holds the KCDSA signature value. 0x46160049, 0x4616002B,
 * 0x46160103, the crypto library's result. */
ZUNPKI_API PKI_ERROR gen_KCDSA_SIG_X509_TBS_CERT(const X509_TBS_CERT* tbs, BIT_STRING** sig,
                                                 const OBJECT_IDENTIFIER* alg, KCDSA_UNIT* key);
/* 0 when the signature verifies under the issuer's key; 1 for a missing
 * argument or TBS body and for keys other than RSA and KCDSA. */
ZUNPKI_API int verify_SIG_X509_CERT(const X509_CERT* cert, const X509_PUBKEY* issuerKey);
/* Under signatureAlgorithm: RSA with a digest, or RSASSA-PSS with its
 * parameters. 0, 0x46170049, 0x4617002B, or the crypto library's result
 * (1 for a signature that does not verify). */
ZUNPKI_API PKI_ERROR verify_RSA_SIG_X509_CERT(const X509_CERT* cert, RSA_UNIT* key);
/* 0, 0x46180049, 0x4618002B, 0x46180104 (not a KCDSA signature value), or the
 * crypto library's result. */
ZUNPKI_API PKI_ERROR verify_KCDSA_SIG_X509_CERT(const X509_CERT* cert, KCDSA_UNIT* key);

/* ---- Validity ----------------------------------------------------------- */
/* Valid when notBefore <= t <= notAfter (both bounds inclusive); t is the
 * given time, or now for null. An absent bound is not checked. 0x462B0049,
 * 0x462B0115 (time of another type or without a value), 0x462B010F /
 * 0x462B0110 (a bound that does not read), 0x462B0113 (not yet valid),
 * 0x462B0114 (expired). */
ZUNPKI_API PKI_ERROR verify_X509_validity(const X509_CERT* cert, const X509_TIME* time);

/* ---- Extras and helpers ------------------------------------------------- */
/* Store a copy of the bytes (made the aux record on demand); null bytes
 * remove the value. 0, or 1 when the value cannot be made. */
ZUNPKI_API int set_X509_AUX_localkey(X509_CERT* cert, const unsigned char* bytes, int len);
ZUNPKI_API int set_X509_AUX_friendly(X509_CERT* cert, const unsigned char* text, int len);
/* Borrowed bytes and their length in *len (when given); null when absent. */
ZUNPKI_API unsigned char* get_X509_AUX_localkey(const X509_CERT* cert, int* len);
ZUNPKI_API unsigned char* get_X509_AUX_friendly(const X509_CERT* cert, int* len);

/* Digest (a VSC_DIGEST_ id) of the certificate's DER into out (room for
 * VSC_MAX_DIGEST_LENGTH); the length in *out_len when given. 0, 1 when the
 * certificate does not encode, or the crypto library's result. */
ZUNPKI_API int X509_CERT_digest(const X509_CERT* cert, int digestId, unsigned char* out, int* out_len);
/* Digest of the subject key's BIT STRING contents as made from the decoded
 * RSA or KCDSA key; the digest length, 0 for another kind or a failure, 1
 * when the certificate has no public key. */
ZUNPKI_API int get_X509_PUBLIC_KEY_hash(const X509_CERT* cert, int digestId, unsigned char* out);

/* Diagnostic prints to standard output. */
ZUNPKI_API void print_X509(const X509_CERT* cert);
ZUNPKI_API void print_X509_serial(const X509_CERT* cert);

ZUNPKI_END_DECLS

#endif
