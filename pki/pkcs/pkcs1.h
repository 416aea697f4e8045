/* PKCS#1 (RFC 8017): RSA keys as records and DER, their conversion to and
 * from the crypto library's RSA_UNIT, PEM key files (plain, or encrypted in
 * the "Proc-Type: 4,ENCRYPTED" / "DEK-Info:" form), and the parameter records
 * of RSAES-OAEP and RSASSA-PSS.
 *
 * Results are 0 or a PKI_ERROR of library L_PKCS1 unless said otherwise. */
#ifndef ZUNPKI_PKCS1_H
#define ZUNPKI_PKCS1_H

#include <zunCrypto/zunCrypto.h>

#include "asn1/asn1.h"
#include "asn1/ber.h"
#include "asn1/pki_error.h"
#include "asn1/pki_export.h"
#include "x509/x509_key.h"

/* RSAPrivateKey. otherPrimeInfos is never encoded; keys of more than two
 * primes are refused when decoding. */
typedef struct {
    BIGINT* version;
    BIGINT* modulus;
    BIGINT* publicExponent;
    BIGINT* privateExponent;
    BIGINT* prime1;
    BIGINT* prime2;
    BIGINT* exponent1;
    BIGINT* exponent2;
    BIGINT* coefficient;
    ASN1_UNIT* otherPrimeInfos;
} PKCS1_RSA_PRIVATE_KEY;

/* RSAPublicKey. */
typedef struct {
    BIGINT* modulus;
    BIGINT* publicExponent;
} PKCS1_RSA_PUBLIC_KEY;

/* RSAES-OAEP-params (RFC 8017 A.2.1). A member left null takes its default:
 * SHA-1, MGF1 with SHA-1, an empty label. */
typedef struct {
    X509_ALGO_IDENTIFIER* hashAlgorithm;    /* [0] */
    X509_ALGO_IDENTIFIER* maskGenAlgorithm; /* [1] */
    X509_ALGO_IDENTIFIER* pSourceAlgorithm; /* [2] */
} RSAES_OAEP_PARAM;

/* RSASSA-PSS-params (RFC 8017 A.2.3). A member left null takes its default:
 * SHA-1, MGF1 with SHA-1, a salt of 20 bytes, trailer field 1. */
typedef struct {
    X509_ALGO_IDENTIFIER* hashAlgorithm;    /* [0] */
    X509_ALGO_IDENTIFIER* maskGenAlgorithm; /* [1] */
    BIGINT* saltLength;                     /* [2] */
    BIGINT* trailerField;                   /* [3] */
} RSASSA_PSS_PARAM;

/* Codes of the key files. */
#define PKCS1_ERR_MALFORMED ((PKI_ERROR)0x4900002b)    /* armour, header or file unreadable */
#define PKCS1_ERR_NOT_SEQUENCE ((PKI_ERROR)0x4900004f) /* not a DER key: usually a wrong password */
#define PKCS1_ERR_UNSUPPORTED ((PKI_ERROR)0x49000048)  /* a DEK-Info cipher we do not read */

ZUNPKI_BEGIN_DECLS

ZUNPKI_API PKCS1_RSA_PRIVATE_KEY* new_PKCS1_RSA_PRIVATE_KEY(void);
ZUNPKI_API void free_PKCS1_RSA_PRIVATE_KEY(PKCS1_RSA_PRIVATE_KEY* key);
ZUNPKI_API void clean_PKCS1_RSA_PRIVATE_KEY(PKCS1_RSA_PRIVATE_KEY* key);
ZUNPKI_API PKCS1_RSA_PRIVATE_KEY* dup_PKCS1_RSA_PRIVATE_KEY(const PKCS1_RSA_PRIVATE_KEY* key);
ZUNPKI_API int cmp_PKCS1_RSA_PRIVATE_KEY(const PKCS1_RSA_PRIVATE_KEY* a, const PKCS1_RSA_PRIVATE_KEY* b);
ZUNPKI_API PKCS1_RSA_PUBLIC_KEY* new_PKCS1_RSA_PUBLIC_KEY(void);
ZUNPKI_API void free_PKCS1_RSA_PUBLIC_KEY(PKCS1_RSA_PUBLIC_KEY* key);
ZUNPKI_API void clean_PKCS1_RSA_PUBLIC_KEY(PKCS1_RSA_PUBLIC_KEY* key);
ZUNPKI_API PKCS1_RSA_PUBLIC_KEY* dup_PKCS1_RSA_PUBLIC_KEY(const PKCS1_RSA_PUBLIC_KEY* key);
ZUNPKI_API int cmp_PKCS1_RSA_PUBLIC_KEY(const PKCS1_RSA_PUBLIC_KEY* a, const PKCS1_RSA_PUBLIC_KEY* b);

/* 0x49040000 when a member is missing or does not encode (0x49040049 for
 * null arguments). */
ZUNPKI_API PKI_ERROR PKCS1_RSA_PRIVATE_KEY_to_Seq(const PKCS1_RSA_PRIVATE_KEY* key, ASN1_UNIT** out);
/* 0x49070000 likewise. */
ZUNPKI_API PKI_ERROR PKCS1_RSA_PUBLIC_KEY_to_Seq(const PKCS1_RSA_PUBLIC_KEY* key, ASN1_UNIT** out);
/* Nine INTEGERs, nothing after them; 0x49030000 otherwise. */
ZUNPKI_API PKI_ERROR Seq_to_PKCS1_RSA_PRIVATE_KEY(const ASN1_UNIT* in, PKCS1_RSA_PRIVATE_KEY** out);
/* An RSAPublicKey, or a SubjectPublicKeyInfo holding one; 0x49080000
 * otherwise. */
ZUNPKI_API PKI_ERROR Seq_to_PKCS1_RSA_PUBLIC_KEY(const ASN1_UNIT* in, PKCS1_RSA_PUBLIC_KEY** out);

/* A private unit with n, e, d, p and q (the CRT values are computed when
 * missing) into a record (*out made when null); 0x49090000 otherwise. */
ZUNPKI_API PKI_ERROR set_RSA_UNIT_to_PKCS1_RSA_PRIVATE_KEY(const RSA_UNIT* unit, PKCS1_RSA_PRIVATE_KEY** out);
/* n and e of the unit; 1 when either is missing, 0x490a0000 when no record
 * can be made. */
ZUNPKI_API PKI_ERROR set_RSA_UNIT_to_PKCS1_RSA_PUBLIC_KEY(const RSA_UNIT* unit, PKCS1_RSA_PUBLIC_KEY** out);
/* The record's values into *out (a new unit when null, released on
 * failure); the crypto library's result. */
ZUNPKI_API PKI_ERROR get_RSA_UNIT_from_PKCS1_RSA_PRIVATE_KEY(RSA_UNIT** out, const PKCS1_RSA_PRIVATE_KEY* key);
ZUNPKI_API PKI_ERROR get_RSA_UNIT_from_PKCS1_RSA_PUBLIC_KEY(RSA_UNIT** out, const PKCS1_RSA_PUBLIC_KEY* key);

/* An RSA key from PEM text. An encrypted key names its cipher in DEK-Info:
 * DES-EDE3-CBC (also under the name VSC_DES-EDE3-CBC of older files) or
 * AES-128-CBC, AES-192-CBC, AES-256-CBC; its key comes from the password
 * (PBKDF below). A DER SEQUENCE of two members is a public key, else a
 * private one. PKCS1_ERR_MALFORMED for bad armour or header,
 * PKCS1_ERR_UNSUPPORTED for another cipher, PKCS1_ERR_NOT_SEQUENCE when the
 * (decrypted) bytes are not one DER SEQUENCE, which is how a wrong password
 * shows. */
ZUNPKI_API PKI_ERROR readPKCS1_from_Binary(RSA_UNIT** out, const char* password, int pw_len, const char* pem,
                                           int pem_len);
ZUNPKI_API PKI_ERROR readPKCS1_from_File(RSA_UNIT** out, const char* password, int pw_len, const char* path);

/* "RSA PRIVATE KEY" PEM of a private unit, encrypted with DES-EDE3-CBC under
 * the password when one is given (pw_len above 0). Returns the text length
 * (free *out with VSC_Free), or -1 on any failure, with *out left null. */
ZUNPKI_API int writePKCS1PrivateKey_to_Binary(const RSA_UNIT* key, const char* password, int pw_len, char** out);
/* "PUBLIC KEY" (SubjectPublicKeyInfo with alg) or, without alg, "RSA PUBLIC
 * KEY" PEM of a public unit. The text length, or -1. */
ZUNPKI_API int writePKCS1PublicKey_to_Binary(const RSA_UNIT* key, const OBJECT_IDENTIFIER* alg, char** out);
/* The same texts written to path (to a new file, then renamed over it); the
 * count written, or -1 with nothing written. A new private key file has mode
 * 0600; a file that is replaced keeps its mode. */
ZUNPKI_API int writePKCS1PrivateKey_to_File(const RSA_UNIT* key, const char* password, int pw_len, const char* path);
ZUNPKI_API int writePKCS1PublicKey_to_File(const RSA_UNIT* key, const OBJECT_IDENTIFIER* alg, const char* path);

/* The key derivation of encrypted PEM keys (one round of MD5): D1 =
 * MD5(password || salt), Di = MD5(Di-1 || password || salt); out = the first
 * out_len bytes of D1 || D2 || .... 0x4903002b without password, salt or
 * output; 0x4903003b when memory is short. */
ZUNPKI_API PKI_ERROR PBKDF(const unsigned char* password, int pw_len, const unsigned char salt[8], unsigned char* out,
                           int out_len);

/* The encrypted "RSA PRIVATE KEY" armour around b64 with the DEK-Info line
 * "DES-EDE3-CBC,<IV in upper-case hex>". The text length (its final newline
 * counted), or 0 for null arguments. */
ZUNPKI_API int base64ToEncryptedPKCS1PEM(const char* b64, int b64_len, const unsigned char iv[8], char** out);

/* The first 2n characters of text, hexadecimal digits of either case, into
 * n bytes; those characters are upper-cased in place. Returns n, or -1 when
 * n is not above 0, the text is shorter or a character is not a hexadecimal
 * digit. */
ZUNPKI_API int ASCIItoHex(char* text, unsigned char* out, int n);
/* A new text of 2n upper-case hexadecimal digits; null for null bytes or a
 * negative n. */
ZUNPKI_API char* HextoASCII(const unsigned char* bytes, int n);

/* ---- OAEP and PSS parameters ---------------------------------------------
 * Members equal to their defaults are left out when encoding, as DER wants.
 * Hash identifiers are written with NULL parameters; MGF1 names the hash the
 * record has when the mask generation is set (SHA-1 when none), and follows
 * a hash set afterwards. */
ZUNPKI_API RSAES_OAEP_PARAM* new_RSAES_OAEP_PARAM(void);
ZUNPKI_API void free_RSAES_OAEP_PARAM(RSAES_OAEP_PARAM* param);
ZUNPKI_API void clean_RSAES_OAEP_PARAM(RSAES_OAEP_PARAM* param);
ZUNPKI_API RSAES_OAEP_PARAM* dup_RSAES_OAEP_PARAM(const RSAES_OAEP_PARAM* param);
ZUNPKI_API int cmp_RSAES_OAEP_PARAM(const RSAES_OAEP_PARAM* a, const RSAES_OAEP_PARAM* b);
ZUNPKI_API RSASSA_PSS_PARAM* new_RSASSA_PSS_PARAM(void);
ZUNPKI_API void free_RSASSA_PSS_PARAM(RSASSA_PSS_PARAM* param);
ZUNPKI_API void clean_RSASSA_PSS_PARAM(RSASSA_PSS_PARAM* param);
ZUNPKI_API RSASSA_PSS_PARAM* dup_RSASSA_PSS_PARAM(const RSASSA_PSS_PARAM* param);
ZUNPKI_API int cmp_RSASSA_PSS_PARAM(const RSASSA_PSS_PARAM* a, const RSASSA_PSS_PARAM* b);

/* The hash by table row or identifier. 0x490d0049 / 0x49120049 for a null
 * record, 0x490d003c / 0x4912003c for a row without identifier,
 * 0x490d0103 / 0x49120103 when memory is short. */
ZUNPKI_API PKI_ERROR set_RSAES_OAEP_PARAM_hashAlgorithm(RSAES_OAEP_PARAM* param, int row);
ZUNPKI_API PKI_ERROR set_RSAES_OAEP_PARAM_hashAlgorithm_OID(RSAES_OAEP_PARAM* param, const OBJECT_IDENTIFIER* oid);
ZUNPKI_API PKI_ERROR set_RSASSA_PSS_PARAM_hashAlgorithm(RSASSA_PSS_PARAM* param, int row);
ZUNPKI_API PKI_ERROR set_RSASSA_PSS_PARAM_hashAlgorithm_OID(RSASSA_PSS_PARAM* param, const OBJECT_IDENTIFIER* oid);
/* Only row 833, id-mgf1 (else 0x490d0048 / 0x49130048). 0x490e0049 /
 * 0x49130049 for a null record; 0x490d0103 / 0x49130103 on failure. */
ZUNPKI_API PKI_ERROR set_RSAES_OAEP_PARAM_maskGenAlgorithm(RSAES_OAEP_PARAM* param, int row);
ZUNPKI_API PKI_ERROR set_RSAES_OAEP_PARAM_maskGenAlgorithm_OID(RSAES_OAEP_PARAM* param, const OBJECT_IDENTIFIER* oid);
ZUNPKI_API PKI_ERROR set_RSASSA_PSS_PARAM_maskGenAlgorithm(RSASSA_PSS_PARAM* param, int row);
ZUNPKI_API PKI_ERROR set_RSASSA_PSS_PARAM_maskGenAlgorithm_OID(RSASSA_PSS_PARAM* param, const OBJECT_IDENTIFIER* oid);
/* { the row's identifier (834, id-pSpecified), OCTET STRING label } (an
 * empty label without one). 0x490f0049 for a null record, 0x490d0103 on
 * failure. */
ZUNPKI_API PKI_ERROR set_RSAES_OAEP_PARAM_pSourceAlgorithm(RSAES_OAEP_PARAM* param, int row, const unsigned char* label,
                                                           int len);
ZUNPKI_API PKI_ERROR set_RSAES_OAEP_PARAM_pSourceAlgorithm_OID(RSAES_OAEP_PARAM* param, const OBJECT_IDENTIFIER* oid,
                                                               const unsigned char* label, int len);
/* The low byte of v, which must not be 0 (RFC 8017 defines only 1);
 * 0x49140049 otherwise. */
ZUNPKI_API PKI_ERROR set_RSASSA_PSS_PARAM_trailerField(RSASSA_PSS_PARAM* param, unsigned v);
/* The salt length in bytes, 0 or more; 0x49170049 otherwise. */
ZUNPKI_API PKI_ERROR set_RSASSA_PSS_PARAM_saltLength(RSASSA_PSS_PARAM* param, int len);

/* 0x49100049 / 0x49150049 for null arguments, 0x49100103 / 0x49150103 when
 * encoding fails (the output is then left as it was). */
ZUNPKI_API PKI_ERROR RSAES_OAEP_PARAM_to_Seq(const RSAES_OAEP_PARAM* param, ASN1_UNIT** out);
ZUNPKI_API PKI_ERROR RSASSA_PSS_PARAM_to_Seq(const RSASSA_PSS_PARAM* param, ASN1_UNIT** out);
/* Any of the members in order, none required (an empty SEQUENCE is all
 * defaults). 0x49160049 for null arguments; 0x49110104 / 0x49160104 for
 * anything else. */
ZUNPKI_API PKI_ERROR Seq_to_RSAES_OAEP_PARAM(const ASN1_UNIT* in, RSAES_OAEP_PARAM** out);
ZUNPKI_API PKI_ERROR Seq_to_RSASSA_PSS_PARAM(const ASN1_UNIT* in, RSASSA_PSS_PARAM** out);

/* The parameters of alg (its caller sets the algorithm, row 832
 * id-RSAES-OAEP or 835 id-RSASSA-PSS) become the encoded record; a null
 * OAEP record writes the defaults, an empty SEQUENCE. 0x490f0049 for null
 * arguments, 0x490f0103 when encoding fails. */
ZUNPKI_API PKI_ERROR set_X509_ALGO_IDENTIFIER_with_RSAES_OAEP_PARAM(X509_ALGO_IDENTIFIER* alg,
                                                                    const RSAES_OAEP_PARAM* param);
ZUNPKI_API PKI_ERROR set_X509_ALGO_IDENTIFIER_with_RSASSA_PSS_PARAM(X509_ALGO_IDENTIFIER* alg,
                                                                    const RSASSA_PSS_PARAM* param);

ZUNPKI_END_DECLS

#endif
