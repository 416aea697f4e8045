/*
 * The crypto front end: algorithm names to the crypto layer's ids, RSA
 * padding modes, PEM and DER key-file typing and conversion, the crypto
 * layer's modes, and the clock with the network-time offset.
 *
 * Results are 0 or a CORE_ERROR_CODE unless a function says otherwise. On
 * failure nothing is handed out (out-pointers NULL and 0). New buffers are
 * NUL-terminated, one byte longer than their length, and released with
 * VCL_Free.
 */
#ifndef ZUNCORE_CRYPTO_H
#define ZUNCORE_CRYPTO_H

#include <zunCore/core_export.h>
#include <zunPKI/asn1/asn1.h>

/* Type codes of key and certificate files (the PEM label they carry). */
#define VCL_PEM_PUBLIC_KEY 52            /* "PUBLIC KEY" */
#define VCL_PEM_RSA_PRIVATE_KEY 53       /* "RSA PRIVATE KEY", plain PKCS#1 */
#define VCL_PEM_ENCRYPTED_PRIVATE_KEY 54 /* "ENCRYPTED PRIVATE KEY", PKCS#8 */
#define VCL_PEM_CERTIFICATE 55           /* "CERTIFICATE" */
#define VCL_PEM_PKCS7 56                 /* "PKCS7" */
#define VCL_PEM_RSA_PRIVATE_KEY_ENC 67   /* "RSA PRIVATE KEY" with a "DEK-Info: " line */

/* Longest names the mappings take: a cipher name, each of its parts, a
 * digest name. */
#define VCL_CIPHER_NAME_MAX 127
#define VCL_CIPHER_PART_MAX 63
#define VCL_HASH_NAME_MAX 31

VCL_BEGIN_DECLS

/* ---- The crypto layer's set-up and modes (its codes unchanged) ---------- */
VCL_API int VCL_Initialize(void);
VCL_API int VCL_COM_Change_Non_Proven(void);
VCL_API int VCL_COM_ChangeTestMode(void);

/* ---- Algorithm names ------------------------------------------------------
 * Cipher names: an algorithm part and a mode part split at runs of '-' or
 * '/' ("SEED-CBC", "aes256/ofb"), both compared upper-cased. Algorithms: BF,
 * DES, RC5, AES, AES128, ARIA, ARIA128, SEED, AES192, AES256, DES_EDE,
 * ARIA192, ARIA256 (some by prefix); modes: ECB, CBC, CFB, OFB, CTR (by their
 * first three letters). Of names with three parts only "ARIA-128-CBC" is
 * understood; any other takes its second part as the mode.
 * Codes: 0xb1070002 NULL, 0xb107011d no algorithm part, 0xb107011e no mode
 * part, 0xb1070003 parts too short or names too long, 0xb1070010 unknown
 * algorithm, 0xb1070011 unknown mode. */
VCL_API int VCL_COM_convert_cipher_name(const char* name, int* id);
/* Digest names, upper-cased: MD5, MDC2, SHA1 / SHA-1 (exactly), SHA224,
 * SHA256, SHA384, SHA512, HAS160, each also with a '-' after SHA or HAS, and
 * compared as prefixes ("SHA256withRSA" is SHA256). Codes: 0xb1080002 NULL,
 * 0xb1080003 shorter than 3 or longer than VCL_HASH_NAME_MAX characters,
 * 0xb1080010 unknown. */
VCL_API int VCL_COM_convert_hash_name(const char* name, int* id);
VCL_API int VCL_COM_Convert_Hash_Name(const char* name, int* id);
/* The short name of the digest that object-identifier row oid_row implies
 * (a digest row or a signature-algorithm row: 668 gives "SHA256") into
 * name_out, which holds 32 bytes. 0, or -1 when nothing is found. */
VCL_API int VCL_COM_convert_hash_id_to_name(int oid_row, char* name_out);

/* ---- RSA padding modes ----------------------------------------------------
 * OAEP: scheme 8 or 16 with the digest id OR'd in for SHA1, SHA256, SHA384,
 * SHA512 and MD5 (other digests leave the scheme alone); 0 and 32 unchanged.
 * 0xa5010010 when the name does not map, 0xa5010013 for another scheme.
 * PSS: scheme 0 or 1 unchanged; 2 with the digest id and the salt length
 * (the digest's length) in bits 16-23 for SHA1, SHA256, SHA384, SHA512 and
 * MD5, else 2. 0xa5010013 for a scheme outside 0..2. */
VCL_API int VCL_RSA_OAEP_make_padding_mode(int scheme, const char* hash_name, int* mode);
VCL_API int VCL_RSA_PSS_make_padding_mode(int scheme, int hash_id, int* mode);

/* ---- PEM and DER files ----------------------------------------------------
 * 0 when the text, after leading blanks, tabs, CRs and LFs, is longer than 5
 * characters and begins with "-----"; -1 otherwise; 0xb1010002 for NULL. */
VCL_API int VCL_COM_is_pem(const char* text);
VCL_API int VCL_COM_Is_Pem(const char* text);
/* The type of a PEM key text of len characters (nothing past len is read):
 * 53, 67 or 54. *type is set to 0 first. 0xb1090043 when the text is not PEM
 * beginning with "-----BEGIN" or has no "-----END" (*type stays set);
 * 0xb1090090 for a label other than those of the private-key types. */
VCL_API int VCL_COM_get_pemfile_type(const char* text, int len, int* type);
/* The type of a DER key by the elements of its outer SEQUENCE: 2 (an
 * EncryptedPrivateKeyInfo), 3 or 4 (a PrivateKeyInfo) give 54, 9 or 10 (an
 * RSAPrivateKey) 53. 0xb10a0043 NULL or len <= 0, 0xb10a0003 not a SEQUENCE,
 * 0xb10a0042 any other count; *type is left alone on failure. */
VCL_API int VCL_COM_get_derfile_type(const unsigned char* der, int len, int* type);
/* DER of len bytes as PEM with the label of type (52-56, 67). 0xb1050042 for
 * NULL or PEM input, 0xb1050040 an unknown type, 0xb1050041 when encoding
 * fails, 0xb1050001 short memory, 0xb1050002 NULL out-pointers. */
VCL_API int VCL_COM_DER_to_PEM(const unsigned char* der, int len, char** pem, int* pem_len, int type);
/* The DER inside the first armour of a PEM text of len characters (a text
 * with header lines, as an encrypted PKCS#1 key, does not decode).
 * 0xb1060043 not PEM, 0xb1060041 nothing decodes, 0xb1060001 short memory,
 * 0xb1060002 NULL out-pointers. */
VCL_API int VCL_COM_PEM_to_DER(const char* pem, int len, unsigned char** der, int* der_len);

/* ---- The clock ------------------------------------------------------------
 * Now plus the network-time offset g_gap_with_ntp, as host local time or as
 * UTC, in a new record released with free_ASN1_TIME; NULL when it cannot be
 * made. */
VCL_API ASN1_TIME* VCL_COM_getCurrentLocalTime(void);
VCL_API ASN1_TIME* VCL_COM_getCurrentGMTime(void);

/* ---- Big integers ---------------------------------------------------------
 * Compares two hex texts as numbers: negative, 0 or positive; -99 when
 * either does not read. */
VCL_API int VCL_COM_HEX2BIGINT_n_cmp(const char* hex_a, const char* hex_b);

VCL_END_DECLS

#endif
