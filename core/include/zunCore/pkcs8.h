/*
 * PKCS#8 private keys and the VID random: decrypting an
 * EncryptedPrivateKeyInfo (DER, or PEM "ENCRYPTED PRIVATE KEY") with its
 * password, or reading a plain PrivateKeyInfo when the password is NULL (or
 * of length 0), checking and changing the password, building keys with or
 * without the VID random, removing it, converting to PKCS#1, and reading the
 * VID random: the attribute randomNum (1.2.410.200004.10.1.1.3, a BIT
 * STRING) of the decrypted key.
 *
 * Keys written here use 2048 iterations and a fresh 8-byte salt. Passwords
 * are at most 255 bytes (longer ones: reason 0x03 of the function's
 * category). A wrong password shows as decrypt_PKCS5's 0x4a070012.
 *
 * Results are 0 or a CORE_ERROR_CODE; codes of libzunPKI and of the crypto
 * layer pass through unchanged. On failure nothing is handed out
 * (out-pointers NULL and 0). New buffers are NUL-terminated, one byte longer
 * than their length, and released with VCL_Free.
 */
#ifndef ZUNCORE_PKCS8_H
#define ZUNCORE_PKCS8_H

#include <zunCore/core_export.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/pkcs/pkcs8.h>
#include <zunPKI/x509/x509_key.h>

/* Object-identifier rows of the PBE algorithms keys are written with. */
#define VCL_PBE_SEED_CBC 780  /* pbeWithSHA1AndSEED-CBC, the store's default */
#define VCL_PBE_SHA1_3DES 146 /* pbeWithSHA1And3-KeyTripleDES-CBC */
#define VCL_PBE_PBES2 161     /* PBES2 (with a cipher row such as 824 ARIA-CBC) */
#define VCL_OID_ARIA_CBC 824
#define VCL_OID_RANDOM_NUM 789 /* randomNum, the VID random */

VCL_BEGIN_DECLS

/* The decrypted (or plain) PrivateKeyInfo; free it with
 * free_P8_PRIV_KEY_INFO. 0xa8010002 NULL or empty key or NULL out-pointer,
 * 0xa8010003 a password above 255 bytes; the reader's or decryptor's code. */
VCL_API int VCL_PK8_decode_pkcs8(const void* key, int key_len, const char* password, int pw_len,
                                 P8_PRIV_KEY_INFO** info);
/* A copy of the key (RSA or KCDSA; free with free_ASYMMETRIC_KEY).
 * 0xa8050040 a key of another kind, 0xa8050002 NULL out-pointer. */
VCL_API int VCL_PK8_get_asym_key(const void* key, int key_len, const char* password, int pw_len, ASYMMETRIC_KEY** asym);
/* The RSA key into the caller's unit, marked private. 0xa8020040 not an
 * RSA key, 0xa8020002 NULL unit. */
VCL_API int VCL_PK8_get_rsaunit(const void* key, int key_len, const char* password, int pw_len, RSA_UNIT* rsa);
/* 0 when the key opens with this password; otherwise the decoding's code. */
VCL_API int VCL_PK8_Check_Passwd(const void* key, int key_len, const char* password, int pw_len);
/* The VID random's bytes. A key without attributes gives the attribute
 * lookup's code; 0xa8030007 a key whose attributes hold none, 0xa8030001
 * short memory. */
VCL_API int VCL_PK8_Get_Random(const void* key, int key_len, const char* password, int pw_len, unsigned char** random,
                               int* random_len);
/* The key re-encrypted under the new password as DER, with the algorithm,
 * the PBES2 cipher and PRF of the input, a fresh salt and 2048 iterations.
 * 0xa80b0031 a key without PBE parameters, 0xa80b0066 nothing written,
 * 0xa80b0001 short memory, 0xa80b0002 / 0xa80b0005 / 0xa80b0003 a NULL,
 * empty or too long new password. */
VCL_API int VCL_PK8_Change_Passwd(const void* key, int key_len, const char* old_pw, int old_len, const char* new_pw,
                                  int new_len, unsigned char** out, int* out_len);
/* A PKCS#8 key built from any private key the key openers read (opened
 * with password), with the VID random when random_len > 0, encrypted under
 * pbe_row and the password when one is given, else plain. 0xa8040002 NULL
 * or empty key, 0xa8040066 nothing written, 0xa8040001 short memory. */
VCL_API int VCL_PK8_Make_PrivateKey(const void* key, int key_len, int pbe_row, const void* random, int random_len,
                                    const char* password, int pw_len, unsigned char** out, int* out_len);
/* The same key without attributes (so without its VID random), encrypted
 * as before (same algorithm, cipher and PRF), or plain for a NULL password.
 * 0xa8080066 nothing written, 0xa8080001 short memory. */
VCL_API int VCL_PK8_Remove_RData(const void* key, int key_len, const char* password, int pw_len, unsigned char** out,
                                 int* out_len);
/* A DER PKCS#8 RSA key as "RSA PRIVATE KEY" PEM encrypted under the same
 * password (DES-EDE3-CBC; plain for a NULL password). 0xb1010002 NULL key,
 * 0xa8060042 PEM input, 0xa806002c nothing written, 0xa8060001 short
 * memory. */
VCL_API int VCL_PK8_DER_to_PK1_PEM(const void* key, int key_len, const char* password, int pw_len, char** pem,
                                   int* pem_len);
/* A PKCS#8 RSA key (DER or PEM) as an unencrypted PKCS#1 key: PEM for
 * form 49 ('1'), DER for 48 ('0'). 0xa8070097 another form, 0xa807002c
 * nothing written, 0xa8070001 short memory, 0xa8070002 NULL arguments. */
VCL_API int VCL_PK8_to_PK1(const void* key, int key_len, const char* password, int pw_len, int form,
                           unsigned char** out, int* out_len);

VCL_END_DECLS

#endif
