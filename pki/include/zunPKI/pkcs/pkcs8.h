/* PKCS#8 (RFC 5208) private keys: the plain PrivateKeyInfo
 * (P8_PRIV_KEY_INFO), the password-protected EncryptedPrivateKeyInfo (PKCS8,
 * whose codec is named P8_ENCRYPTED_KEY) and the password-based-encryption
 * parameters (P5_PBE_PARAM) in the encryption algorithm of a PKCS8.
 * Encrypting and decrypting are pkcs5.h's encrypt_PKCS5 and decrypt_PKCS5.
 *
 * Results are 0 or a PKI_ERROR of library L_PKCS8 unless said otherwise. */
#ifndef ZUNPKI_PKCS8_H
#define ZUNPKI_PKCS8_H

#include <zunCrypto/zunCrypto.h>

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/x509/x509_attr.h>
#include <zunPKI/x509/x509_key.h>

/* PrivateKeyInfo. Only RSA (row 6, rsaEncryption) and KCDSA (row 782)
 * keys are carried; another algorithm decodes into an empty key (kind 0). */
typedef struct {
    BIGINT* version;                        /* 0 in every record made here */
    OBJECT_IDENTIFIER* privateKeyAlgorithm; /* the algorithm alone */
    ASYMMETRIC_KEY* privateKey;
    X509_ATTRIBUTES* attributes; /* may be empty or absent */
} P8_PRIV_KEY_INFO;

/* Kinds of PKCS8 (not encoded; set from the algorithm when decoding). */
#define PKCS8_KIND_KISA 0  /* rows 777, 780, 828 */
#define PKCS8_KIND_PBES1 1 /* rows 9, 10, 170 */
#define PKCS8_KIND_OTHER 2 /* every other row: PBES2, GPKI, PKCS#12 PBE */

/* EncryptedPrivateKeyInfo. The algorithm's parameters are a string of type
 * 48 holding the contents of the DER SEQUENCE of a P5_PBE_PARAM. */
typedef struct {
    int kind;
    X509_ALGO_IDENTIFIER* encryptionAlgorithm;
    OCTET_STRING* encryptedData;
} PKCS8;

/* PBE parameters. Without scheme: PBEParameter { salt, iterationCount }.
 * With scheme: PBES2-params { PBKDF2 { salt, iterationCount, keyLength,
 * prf }, scheme }, keyLength and prf optional (prf absent: hmacWithSHA1). */
typedef struct {
    OCTET_STRING* salt;
    BIGINT* iterationCount;
    X509_ALGO_IDENTIFIER* scheme; /* the PBES2 encryption scheme, or null */
    BIGINT* keyLength;            /* PBES2 only, optional */
    X509_ALGO_IDENTIFIER* prf;    /* PBES2 only, optional */
} P5_PBE_PARAM;

ZUNPKI_BEGIN_DECLS

/* ---- Life cycle --------------------------------------------------------- */
/* new_PKCS8 and new_P5_PBE_PARAM: zeroed records. new_P8_PRIV_KEY_INFO:
 * version 0, an empty key and an empty attribute list, no algorithm. */
ZUNPKI_API PKCS8* new_PKCS8(void);
ZUNPKI_API void free_PKCS8(PKCS8* p8);
ZUNPKI_API void clean_PKCS8(PKCS8* p8);
ZUNPKI_API PKCS8* dup_PKCS8(const PKCS8* p8);
ZUNPKI_API int cmp_PKCS8(const PKCS8* a, const PKCS8* b);
ZUNPKI_API P8_PRIV_KEY_INFO* new_P8_PRIV_KEY_INFO(void);
ZUNPKI_API void free_P8_PRIV_KEY_INFO(P8_PRIV_KEY_INFO* info);
ZUNPKI_API void clean_P8_PRIV_KEY_INFO(P8_PRIV_KEY_INFO* info);
/* A deep copy; null for null or when any copy fails. */
ZUNPKI_API P8_PRIV_KEY_INFO* dup_P8_PRIV_KEY_INFO(const P8_PRIV_KEY_INFO* info);
ZUNPKI_API int cmp_P8_PRIV_KEY_INFO(const P8_PRIV_KEY_INFO* a, const P8_PRIV_KEY_INFO* b);
ZUNPKI_API P5_PBE_PARAM* new_P5_PBE_PARAM(void);
ZUNPKI_API void free_P5_PBE_PARAM(P5_PBE_PARAM* param);
ZUNPKI_API void clean_P5_PBE_PARAM(P5_PBE_PARAM* param);
ZUNPKI_API P5_PBE_PARAM* dup_P5_PBE_PARAM(const P5_PBE_PARAM* param);
ZUNPKI_API int cmp_P5_PBE_PARAM(const P5_PBE_PARAM* a, const P5_PBE_PARAM* b);

/* ---- Accessors (getters borrow; setters replace what was there) --------- */
/* The bytes of encryptedData (encryptedData->length of them), or null. */
ZUNPKI_API unsigned char* get_encryptedData_PKCS8(const PKCS8* p8);
/* 0, or 1 for null arguments, a negative length or no memory. */
ZUNPKI_API int set_encryptedData_PKCS8(PKCS8* p8, const unsigned char* bytes, int len);
ZUNPKI_API OBJECT_IDENTIFIER* get_OID_PKCS8(const PKCS8* p8);
/* Makes the algorithm identifier when there is none; 0, or 1. */
ZUNPKI_API int set_OID_PKCS8(PKCS8* p8, const OBJECT_IDENTIFIER* oid);
/* A new record decoded from the algorithm's parameters, or null. */
ZUNPKI_API P5_PBE_PARAM* get_PKCS8_P5_PBE_PARAM(const PKCS8* p8);
/* salt; the count as big-endian bytes; with both scheme arguments, scheme =
 * { scheme_oid, scheme_params }, else none. 0, or 1 for a missing record,
 * salt or count, a length of 0 or less, or no memory. */
ZUNPKI_API int set_P5_PBE_PARAM(P5_PBE_PARAM* param, const unsigned char* salt, int salt_len,
                                const unsigned char* count, int count_len, const OBJECT_IDENTIFIER* scheme_oid,
                                const ASN1_STRING* scheme_params);
/* The parameters' encoding becomes the algorithm's parameters (type 48);
 * the PKCS8 needs its algorithm identifier. 0, or 1. */
ZUNPKI_API int set_PKCS8_P5_PBE_PARAM(PKCS8* p8, const P5_PBE_PARAM* param);
/* The PBE parameters in an algorithm identifier's parameters, or null. */
ZUNPKI_API P5_PBE_PARAM* get_P5_PBE_PARAM_from_X509_ALGO_IDENTIFIER(const X509_ALGO_IDENTIFIER* alg);

/* The version as unsigned big-endian bytes ((bits + 7) / 8 of them) in a new
 * buffer (free with VSC_Free); null for null. */
ZUNPKI_API unsigned char* get_PRIV_KEY_version(const P8_PRIV_KEY_INFO* info);
ZUNPKI_API int set_PRIV_KEY_version(P8_PRIV_KEY_INFO* info, unsigned char version);
ZUNPKI_API OBJECT_IDENTIFIER* get_PRIV_KEY_OID(const P8_PRIV_KEY_INFO* info);
ZUNPKI_API int set_PRIV_KEY_OID(P8_PRIV_KEY_INFO* info, const OBJECT_IDENTIFIER* oid);
ZUNPKI_API ASYMMETRIC_KEY* get_PRIV_KEY_KeyParams(const P8_PRIV_KEY_INFO* info);
/* privateKey = a copy of key; 0, or 1. */
ZUNPKI_API int set_PRIV_KEY_KeyParams(P8_PRIV_KEY_INFO* info, const ASYMMETRIC_KEY* key);

/* A new PrivateKeyInfo of a copy of key (algorithm row 6 for RSA, 782 for
 * KCDSA) with a copy of attributes (or none). Null for a missing key, a key
 * of another kind, or a failed copy. */
ZUNPKI_API P8_PRIV_KEY_INFO* gen_P8_PRIV_KEY_INFO(const ASYMMETRIC_KEY* key, const X509_ATTRIBUTES* attributes);

/* ---- Codecs ------------------------------------------------------------- */
ZUNPKI_API PKI_ERROR P8_ENCRYPTED_KEY_to_Seq(const PKCS8* p8, ASN1_UNIT** node);
/* Exactly two children (else 0x4c02002b): an AlgorithmIdentifier and an
 * OCTET STRING (else 0x4c020104). Sets kind from the algorithm. */
ZUNPKI_API PKI_ERROR Seq_to_P8_ENCRYPTED_KEY(const ASN1_UNIT* node, PKCS8** p8);
/* An RSA key needs all of n, e, d, p, q (the CRT values are computed when
 * missing), a KCDSA key p, q, g and x; a key of another kind, or none, gives
 * 0x4c040048, an incomplete one 0x4c04002b. */
ZUNPKI_API PKI_ERROR P8_PRIV_KEY_INFO_to_Seq(const P8_PRIV_KEY_INFO* info, ASN1_UNIT** node);
/* An RSA key must be a complete two-prime RSAPrivateKey; a KCDSA key needs
 * its { p, q, g } parameters and x. 0x4c030104 otherwise. The caller's
 * record changes only on success. */
ZUNPKI_API PKI_ERROR Seq_to_P8_PRIV_KEY_INFO(const ASN1_UNIT* node, P8_PRIV_KEY_INFO** info);
/* Salt and count are required (0x4c06002b). */
ZUNPKI_API PKI_ERROR P5_PBE_PARAM_to_Seq(const P5_PBE_PARAM* param, ASN1_UNIT** node);
/* Exactly two children (else 0x4c05002b). The PBES2 form must use PBKDF2
 * with a specified salt; anything else gives 0x4c050104. */
ZUNPKI_API PKI_ERROR Seq_to_P5_PBE_PARAM(const ASN1_UNIT* node, P5_PBE_PARAM** param);

ZUNPKI_END_DECLS

#endif
