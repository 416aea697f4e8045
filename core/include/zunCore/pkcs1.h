/*
 * PKCS#1 encryption and signature schemes with RSA keys, and KCDSA
 * signatures, on key and certificate bytes.
 *
 * Keys: key, key_len, password and pw_len are a private key of any form
 * VCL_PK1_priv_convert_keyunit opens (<zunCore/keys.h>); cert and cert_len a
 * certificate or an RSA public key that VCL_PK1_pubk_convert_keyunit opens.
 * Encryption and decryption take RSA keys only; signatures RSA or KCDSA.
 * Another kind is refused with reason 0x40 of the function's category.
 *
 * Schemes (one byte): encryption 0 raw RSA, 32 PKCS#1 v1.5, 8 and 16 OAEP
 * (MGF1 and label digest: hash_name, "SHA1" in the forms without _ex);
 * signatures 1 PKCS#1 v1.5, 2 PSS (salt as long as the digest, MGF1 with
 * the same digest), 0 with a KCDSA key (an RSA key treats it as v1.5).
 *
 * Encodings (an int tested as one byte): 0 Base64 on one line, 1 Base64 in
 * lines of 64 characters, any other value raw bytes; on input (ciphertexts,
 * signatures) 0 and 1 mean Base64 text to decode first.
 *
 * Results are 0 or a CORE_ERROR_CODE; codes of the key openers, of
 * libzunPKI and of the crypto layer pass through; the crypto layer's
 * VSC_FAIL (a padding or signature that does not check) becomes 0xa5010050
 * (encryption), 0xa5010051 (decryption), 0xa5010052 (signing) or 0xa5010053
 * (a signature that does not verify). On failure nothing is handed out
 * (out-pointers NULL and 0). New buffers are NUL-terminated, one byte longer
 * than their length, and released with VCL_Free.
 */
#ifndef ZUNCORE_PKCS1_H
#define ZUNCORE_PKCS1_H

#include <zunCore/core_export.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/x509/x509_key.h>

/* Scheme codes. */
#define VCL_RSA_RAW 0
#define VCL_RSA_PKCS1_V15 32
#define VCL_RSA_OAEP 8
#define VCL_RSA_OAEP_V21 16
#define VCL_SIGN_PKCS1_V15 1
#define VCL_SIGN_PSS 2
#define VCL_SIGN_KCDSA 0

/* Output and input encodings. */
#define VCL_PK1_BASE64 0
#define VCL_PK1_BASE64_LINES 1
#define VCL_PK1_RAW 16

VCL_BEGIN_DECLS

/* ---- On opened keys (the caller's buffers) ---------------------------------
 * out holds *out_len bytes on entry (at least the modulus length) and the
 * result's length on return. The unit's private marker chooses the key:
 * a private unit encrypts with the private key (PKCS#1 v1.5 block type 1)
 * and decrypts with it; a public one the other way.
 * Codes: 0xa5010013 / 0xa5020013 scheme, 0xa5010010 / 0xa5020010 digest name,
 * 0xa5010002 / 0xa5020002 NULL arguments or an empty input, 0xa501000a /
 * 0xa502000a no room. */
VCL_API int VCL_PK1_encrypt_schemes(RSA_UNIT* rsa, unsigned char scheme, const void* in, int in_len, unsigned char* out,
                                    int* out_len, const char* hash_name);
VCL_API int VCL_PK1_encrypt_schemes_ex(RSA_UNIT* rsa, int mode, const void* in, int in_len, unsigned char* out,
                                       int* out_len, const char* hash_name);
VCL_API int VCL_PK1_decrypt_schemes(RSA_UNIT* rsa, unsigned char scheme, const void* in, int in_len, unsigned char* out,
                                    int* out_len, const char* hash_name);
VCL_API int VCL_PK1_decrypt_schemes_ex(RSA_UNIT* rsa, int mode, const void* in, int in_len, unsigned char* out,
                                       int* out_len, const char* hash_name);
/* Signatures over data with the digest hash_id: the RSA signature, or the
 * DER of a KCDSA (r, s). *sig_len is the room in sig on entry (the modulus
 * length for RSA, 3 x VSC_Get_KCDSA_Length for KCDSA) and the length on
 * return. Codes: 0xa5030002 NULL or empty, 0xa5030013 scheme, 0xa5030040
 * key kind, 0xa503000a no room, 0xa5030001 short memory. */
VCL_API int VCL_PK1_signature_schemes(ASYMMETRIC_KEY* asym, unsigned char scheme, int hash_id, const void* data,
                                      int data_len, unsigned char* sig, int* sig_len);
VCL_API int VCL_PK1_signature_schemes_ex(ASYMMETRIC_KEY* asym, int mode, int hash_id, const void* data, int data_len,
                                         unsigned char* sig, int* sig_len);
/* 0 when sig is a valid signature over data. Codes: 0xa5040002, 0xa5040013,
 * 0xa5040040; a KCDSA value that does not decode gives the decoder's 1. */
VCL_API int VCL_PK1_verify_schemes(ASYMMETRIC_KEY* asym, unsigned char scheme, int hash_id, const void* data,
                                   int data_len, const void* sig, int sig_len);
VCL_API int VCL_PK1_verify_schemes_ex(ASYMMETRIC_KEY* asym, int mode, int hash_id, const void* data, int data_len,
                                      const void* sig, int sig_len);

/* ---- On key and certificate bytes ---------------------------------------- */
/* The private-key RSA operation on in (PKCS#1 v1.5: block type 1).
 * 0xa5050005 empty key or input, 0xa5050002 NULL, 0xa5050040 not RSA,
 * 0xa5050023 Base64 failed, 0xa5050001 short memory. */
VCL_API int VCL_PK1_Private_Encrypt_ex(const void* key, int key_len, const char* password, int pw_len,
                                       unsigned char scheme, const void* in, int in_len, unsigned char** out,
                                       int* out_len, int encoding, const char* hash_name);
VCL_API int VCL_PK1_Private_Encrypt(const void* key, int key_len, const char* password, int pw_len,
                                    unsigned char scheme, const void* in, int in_len, unsigned char** out, int* out_len,
                                    int encoding);
/* The public-key operation that undoes it (or raw / OAEP with the public
 * key). 0xa5060024 Base64 failed, 0xa5060040 not RSA, 0xa5060001 short
 * memory, 0xa5060002 NULL or empty. */
VCL_API int VCL_PK1_Public_Decrypt_ex(const void* cert, int cert_len, unsigned char scheme, const void* in, int in_len,
                                      unsigned char** out, int* out_len, int encoding, const char* hash_name);
VCL_API int VCL_PK1_Public_Decrypt(const void* cert, int cert_len, unsigned char scheme, const void* in, int in_len,
                                   unsigned char** out, int* out_len, int encoding);
/* Tries the schemes 32, 8 and 16 (digest SHA-1) in this order; the first
 * that opens the input gives the result and its scheme in *scheme_used.
 * Raw RSA, which opens anything, is not tried: when none opens, the code of
 * the last attempt. */
VCL_API int VCL_PK1_Public_Decrypt_all(const void* cert, int cert_len, const void* in, int in_len, unsigned char** out,
                                       int* out_len, int encoding, unsigned char* scheme_used);
/* Encryption for the key's holder. 0xa50b002b no modulus, 0xa50b0040 not
 * RSA, 0xa50b0023 Base64 failed, 0xa50b0001 short memory, 0xa50b0002 NULL
 * or empty. */
VCL_API int VCL_PK1_Public_Encrypt_ex(const void* cert, int cert_len, unsigned char scheme, const void* in, int in_len,
                                      unsigned char** out, int* out_len, int encoding, const char* hash_name);
VCL_API int VCL_PK1_Public_Encrypt(const void* cert, int cert_len, unsigned char scheme, const void* in, int in_len,
                                   unsigned char** out, int* out_len, int encoding);
/* Decryption with the private key; the codes of public-key decryption. */
VCL_API int VCL_PK1_Private_Decrypt_ex(const void* key, int key_len, const char* password, int pw_len,
                                       unsigned char scheme, const void* in, int in_len, unsigned char** out,
                                       int* out_len, int encoding, const char* hash_name);
VCL_API int VCL_PK1_Private_Decrypt(const void* key, int key_len, const char* password, int pw_len,
                                    unsigned char scheme, const void* in, int in_len, unsigned char** out, int* out_len,
                                    int encoding);
VCL_API int VCL_PK1_Private_Decrypt_all(const void* key, int key_len, const char* password, int pw_len, const void* in,
                                        int in_len, unsigned char** out, int* out_len, int encoding,
                                        unsigned char* scheme_used);
/* An RSA or KCDSA signature over data with the digest hash_name. 0xa5070002
 * NULL or empty, 0xa5070023 Base64 failed, 0xa5070001 short memory; the
 * digest name's code. */
VCL_API int VCL_PK1_Private_Sign(const void* key, int key_len, const char* password, int pw_len, unsigned char scheme,
                                 const char* hash_name, const void* data, int data_len, unsigned char** sig,
                                 int* sig_len, int encoding);
/* 0 when the signature over data is valid. 0xa50a0024 Base64 failed,
 * 0xa50a0002 NULL or empty; 0xa5010053 a signature that does not verify. */
VCL_API int VCL_PK1_Public_Verify(const void* cert, int cert_len, unsigned char scheme, const char* hash_name,
                                  const void* data, int data_len, const void* sig, int sig_len, int encoding);
/* An RSA signature over a digest the caller computed (digest_len the
 * digest's length), with a PKCS#8 key. The _ex form takes a full padding
 * mode (scheme in the low byte, PSS salt length in bits 16-23, 0: the
 * digest's length). 0xa5120013 scheme, 0xa512005c encoding failed,
 * 0xa512000a a digest of another length, 0xa5120040 not RSA, 0xa5120001
 * short memory, 0xa5120002 NULL or empty, 0xa5070023 Base64 failed. */
VCL_API int VCL_PK1_PK8file_Hashvalue_Sign(const void* key, int key_len, const char* password, int pw_len,
                                           unsigned char scheme, const char* hash_name, const void* digest,
                                           int digest_len, unsigned char** sig, int* sig_len, int encoding);
VCL_API int VCL_PK1_PK8file_Hashvalue_Sign_ex(const void* key, int key_len, const char* password, int pw_len, int mode,
                                              const char* hash_name, const void* digest, int digest_len,
                                              unsigned char** sig, int* sig_len, int encoding);

VCL_END_DECLS

#endif
