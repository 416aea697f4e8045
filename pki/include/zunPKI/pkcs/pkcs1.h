/* PKCS#1 (RFC 8017): RSA keys as records and DER, their conversion to and
 * from the crypto library's RSA_UNIT, PEM key files (plain, or encrypted in
 * the "Proc-Type: 4,ENCRYPTED" / "DEK-Info:" form),; the parameter
 * records of RSAES-OAEP and RSASSA-PSS are in x509/rsa_param.h.
 *
 * Results are 0 or a PKI_ERROR of library L_PKCS1 unless said otherwise. */
#ifndef ZUNPKI_PKCS1_H
#define ZUNPKI_PKCS1_H

#include <zunCrypto/zunCrypto.h>

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/x509/x509_key.h>
#include <zunPKI/x509/rsa_param.h>

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

ZUNPKI_END_DECLS

#endif
