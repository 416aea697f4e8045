/*
 * Password-based encryption and key derivation of PKCS#5 by cipher and
 * digest name: PBES1, its KISA variant, PBES2, PBKDF1 and PBKDF2, over
 * libzunPKI's primitives.
 *
 * Results are 0, 0xa60N0003 for a missing or non-positive argument (N is the
 * function's number below), a name-mapping code (the cipher's before the
 * digest's), or libzunPKI's code unchanged (a wrong password, an output too
 * small). Output buffers belong to the caller: *out_len is the room in out
 * on entry and the count written on return; encryption needs the input
 * length plus a block.
 */
#ifndef ZUNCORE_PKCS5_H
#define ZUNCORE_PKCS5_H

#include <zunCore/core_export.h>

/* IV modes of the KISA variant. */
#define VCL_PK5_KISA_IV_DIGEST 1 /* SHA-1 of what the key leaves of the derived bytes */
#define VCL_PK5_KISA_IV_FIXED 2  /* 2 and above: the scheme's fixed IV */

VCL_BEGIN_DECLS

/* The KISA variant of PBES1 (SEED or ARIA in CBC mode; key = the first block
 * length of PBKDF1's bytes). iv_mode 1 derives the IV, 2 or more uses the
 * fixed one; 0 or less is refused. N = 1 (encrypt), 2 (decrypt). */
VCL_API int VCL_PK5_Encrypt_PBES1_KISA(const unsigned char* in, int in_len, const char* password, int pw_len,
                                       const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                                       int* out_len, const char* cipher_name, const char* hash_name, int iv_mode);
VCL_API int VCL_PK5_Decrypt_PBES1_KISA(const unsigned char* in, int in_len, const char* password, int pw_len,
                                       const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                                       int* out_len, const char* cipher_name, const char* hash_name, int iv_mode);
/* PBES1 with an 8-byte-key cipher ("DES-CBC"). N = 3, 4. */
VCL_API int VCL_PK5_Encrypt_PBES1(const unsigned char* in, int in_len, const char* password, int pw_len,
                                  const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                                  int* out_len, const char* cipher_name, const char* hash_name);
VCL_API int VCL_PK5_Decrypt_PBES1(const unsigned char* in, int in_len, const char* password, int pw_len,
                                  const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                                  int* out_len, const char* cipher_name, const char* hash_name);
/* PBES2: PBKDF2 with HMAC over hash_name, then the cipher. Encryption uses
 * *iv when it is set and *iv_len is above 0 (of the cipher's IV length);
 * otherwise it makes a random IV and hands it out in *iv and *iv_len (a new
 * buffer, released with VCL_Free). Decryption reads the cipher's IV length
 * from iv. N = 5, 6. */
VCL_API int VCL_PK5_Encrypt_PBES2(const unsigned char* in, int in_len, const char* password, int pw_len,
                                  const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                                  int* out_len, unsigned char** iv, int* iv_len, const char* cipher_name,
                                  const char* hash_name);
VCL_API int VCL_PK5_Decrypt_PBES2(const unsigned char* in, int in_len, const char* password, int pw_len,
                                  const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                                  int* out_len, const unsigned char* iv, const char* cipher_name,
                                  const char* hash_name);
/* dk_len bytes (at most the digest's length) of PBKDF1. N = 7. Note the
 * order: the length before the buffer. */
VCL_API int VCL_PK5_PBKDF1(const char* password, int pw_len, const unsigned char* salt, int salt_len, int iterations,
                           const char* hash_name, int dk_len, unsigned char* dk);
/* dk_len bytes of PBKDF2 with HMAC over hash_name. N = 8. */
VCL_API int VCL_PK5_PBKDF2(const char* password, int pw_len, const unsigned char* salt, int salt_len, int iterations,
                           const char* hash_name, unsigned char* dk, int dk_len);

VCL_END_DECLS

#endif
