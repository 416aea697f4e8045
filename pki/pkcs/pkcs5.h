/* Password-based cryptography of PKCS#5 (RFC 8018): the key derivations
 * PBKDF1 and PBKDF2, the schemes PBES1 and PBES2, the KISA variant of PBES1
 * (SEED or ARIA under a PBKDF1 key) and the GPKI variant (SEED under a
 * PKCS#12-derived key).
 *
 * The primitives share one argument order: input, input length, password,
 * password length, salt, salt length, iteration count, output buffer, output
 * length (in: the room in the buffer, out: the bytes written), then the
 * scheme's own arguments. Algorithms are the crypto library's cipher and
 * digest ids. Every function returns 0 or a PKI_ERROR of library L_PKCS5;
 * errors of the crypto library pass through unchanged. */
#ifndef ZUNPKI_PKCS5_H
#define ZUNPKI_PKCS5_H

#include "asn1/pki_error.h"
#include "asn1/pki_export.h"

/* The largest iteration count any derivation accepts. Key files use 2048;
 * this bound keeps a hostile file from holding the agent for more than a
 * second or so. A larger count is refused with reason ERR_R_INVALID_ELEMENT. */
#define PKCS5_MAX_ITERATIONS 1000000

/* Reasons of this library beyond the common ones. */
#define ERR_PKCS5_KDF_OR_PLAINTEXT 0x12 /* KISA key derivation failed (encrypting); the
                                           decrypted bytes are not a key (usually a wrong
                                           password) */
#define ERR_PKCS5_IV_DIGEST_INIT   0x22
#define ERR_PKCS5_IV_DIGEST_UPDATE 0x5b
#define ERR_PKCS5_IV_DIGEST_FINAL  0x18

/* The IV modes of the KISA variant. */
#define PBES1_KISA_IV_FIXED  0 /* the fixed IV "4917260358143729" */
#define PBES1_KISA_IV_DIGEST 1 /* SHA-1 of the derived key's tail */

ZUNPKI_BEGIN_DECLS

/* PBKDF1: out_len bytes (at most the digest's length) of
 * H^iterations(password || salt). */
ZUNPKI_API PKI_ERROR PBKDF1(const char *password, int pw_len, const unsigned char *salt, int salt_len,
                            int iterations, int digest_id, unsigned char *out, int out_len);
/* PBKDF2 with HMAC over digest_id as the pseudo-random function. */
ZUNPKI_API PKI_ERROR PBKDF2(const char *password, int pw_len, const unsigned char *salt, int salt_len,
                            int iterations, int digest_id, unsigned char *out, int out_len);

/* PBES1 of PKCS#5 v1.5: a cipher with an 8-byte key (DES), key and IV from
 * PBKDF1 with digest_id. */
ZUNPKI_API PKI_ERROR encrypt_PBES1(const unsigned char *in, int in_len, const char *password, int pw_len,
                                   const unsigned char *salt, int salt_len, int iterations, unsigned char *out,
                                   int *out_len, int cipher_id, int digest_id);
ZUNPKI_API PKI_ERROR decrypt_PBES1(const unsigned char *in, int in_len, const char *password, int pw_len,
                                   const unsigned char *salt, int salt_len, int iterations, unsigned char *out,
                                   int *out_len, int cipher_id, int digest_id);

/* The KISA variant: key = the first block-length bytes of PBKDF1, the IV by
 * iv_mode (above); the cipher in CBC mode. */
ZUNPKI_API PKI_ERROR encrypt_PBES1_KISA(const unsigned char *in, int in_len, const char *password, int pw_len,
                                        const unsigned char *salt, int salt_len, int iterations,
                                        unsigned char *out, int *out_len, int cipher_id, int digest_id,
                                        int iv_mode);
ZUNPKI_API PKI_ERROR decrypt_PBES1_KISA(const unsigned char *in, int in_len, const char *password, int pw_len,
                                        const unsigned char *salt, int salt_len, int iterations,
                                        unsigned char *out, int *out_len, int cipher_id, int digest_id,
                                        int iv_mode);

/* The GPKI variant: key and IV from the PKCS#12 derivation with SHA-1 (ids 1
 * and 2); the cipher in CBC mode. digest_id is not used. */
ZUNPKI_API PKI_ERROR encrypt_PBES1_GPKI(const unsigned char *in, int in_len, const char *password, int pw_len,
                                        const unsigned char *salt, int salt_len, int iterations,
                                        unsigned char *out, int *out_len, int cipher_id, int digest_id);
ZUNPKI_API PKI_ERROR decrypt_PBES1_GPKI(const unsigned char *in, int in_len, const char *password, int pw_len,
                                        const unsigned char *salt, int salt_len, int iterations,
                                        unsigned char *out, int *out_len, int cipher_id, int digest_id);

/* PBES2 with PBKDF2 (HMAC over prf_digest_id) and cipher_id. Encryption uses
 * the IV in *iv when *iv is set and *iv_len is above 0 (it must have the
 * cipher's IV length); otherwise it makes a random one and hands it out in
 * *iv and *iv_len (release it with VSC_Free). */
ZUNPKI_API PKI_ERROR encrypt_PBES2(const unsigned char *in, int in_len, const char *password, int pw_len,
                                   const unsigned char *salt, int salt_len, int iterations, unsigned char *out,
                                   int *out_len, unsigned char **iv, int *iv_len, int cipher_id,
                                   int prf_digest_id);
ZUNPKI_API PKI_ERROR decrypt_PBES2(const unsigned char *in, int in_len, const char *password, int pw_len,
                                   const unsigned char *salt, int salt_len, int iterations, unsigned char *out,
                                   int *out_len, const unsigned char *iv, int iv_len, int cipher_id,
                                   int prf_digest_id);

ZUNPKI_END_DECLS

#endif
