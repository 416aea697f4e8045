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

#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/pkcs/pkcs8.h>

/* The largest iteration count any derivation accepts. Key files use 2048;
 * this bound keeps a hostile file from holding the agent for more than a
 * second or so. A larger count is refused with reason ERR_R_INVALID_ELEMENT. */
#define PKCS5_MAX_ITERATIONS 1000000

/* Reasons of this library beyond the common ones. */
#define ERR_PKCS5_KDF_OR_PLAINTEXT                         \
    0x12 /* KISA key derivation failed (encrypting); the   \
            decrypted bytes are not a key (usually a wrong \
            password) */
#define ERR_PKCS5_IV_DIGEST_INIT 0x22
#define ERR_PKCS5_IV_DIGEST_UPDATE 0x5b
#define ERR_PKCS5_IV_DIGEST_FINAL 0x18

/* The IV modes of the KISA variant. */
#define PBES1_KISA_IV_FIXED 0  /* the fixed IV "4917260358143729" */
#define PBES1_KISA_IV_DIGEST 1 /* SHA-1 of the derived key's tail */

ZUNPKI_BEGIN_DECLS

/* PBKDF1: out_len bytes (at most the digest's length) of
 * H^iterations(password || salt). */
ZUNPKI_API PKI_ERROR PBKDF1(const char* password, int pw_len, const unsigned char* salt, int salt_len, int iterations,
                            int digest_id, unsigned char* out, int out_len);
/* PBKDF2 with HMAC over digest_id as the pseudo-random function. */
ZUNPKI_API PKI_ERROR PBKDF2(const char* password, int pw_len, const unsigned char* salt, int salt_len, int iterations,
                            int digest_id, unsigned char* out, int out_len);

/* PBES1 of PKCS#5 v1.5: a cipher with an 8-byte key (DES), key and IV from
 * PBKDF1 with digest_id. */
ZUNPKI_API PKI_ERROR encrypt_PBES1(const unsigned char* in, int in_len, const char* password, int pw_len,
                                   const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                                   int* out_len, int cipher_id, int digest_id);
ZUNPKI_API PKI_ERROR decrypt_PBES1(const unsigned char* in, int in_len, const char* password, int pw_len,
                                   const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                                   int* out_len, int cipher_id, int digest_id);

/* The KISA variant: key = the first block-length bytes of PBKDF1, the IV by
 * iv_mode (above); the cipher in CBC mode. */
ZUNPKI_API PKI_ERROR encrypt_PBES1_KISA(const unsigned char* in, int in_len, const char* password, int pw_len,
                                        const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                                        int* out_len, int cipher_id, int digest_id, int iv_mode);
ZUNPKI_API PKI_ERROR decrypt_PBES1_KISA(const unsigned char* in, int in_len, const char* password, int pw_len,
                                        const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                                        int* out_len, int cipher_id, int digest_id, int iv_mode);

/* The GPKI variant: key and IV from the PKCS#12 derivation with SHA-1 (ids 1
 * and 2); the cipher in CBC mode. digest_id is not used. */
ZUNPKI_API PKI_ERROR encrypt_PBES1_GPKI(const unsigned char* in, int in_len, const char* password, int pw_len,
                                        const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                                        int* out_len, int cipher_id, int digest_id);
ZUNPKI_API PKI_ERROR decrypt_PBES1_GPKI(const unsigned char* in, int in_len, const char* password, int pw_len,
                                        const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                                        int* out_len, int cipher_id, int digest_id);

/* PBES2 with PBKDF2 (HMAC over prf_digest_id) and cipher_id. Encryption uses
 * the IV in *iv when *iv is set and *iv_len is above 0 (it must have the
 * cipher's IV length); otherwise it makes a random one and hands it out in
 * *iv and *iv_len (release it with VSC_Free). */
ZUNPKI_API PKI_ERROR encrypt_PBES2(const unsigned char* in, int in_len, const char* password, int pw_len,
                                   const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                                   int* out_len, unsigned char** iv, int* iv_len, int cipher_id, int prf_digest_id);
ZUNPKI_API PKI_ERROR decrypt_PBES2(const unsigned char* in, int in_len, const char* password, int pw_len,
                                   const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                                   int* out_len, const unsigned char* iv, int iv_len, int cipher_id, int prf_digest_id);

/* ---- Private keys ---------------------------------------------------------
 * The scheme follows the object-identifier row of the algorithm:
 *   777 SEED-CBC                     KISA variant, fixed IV
 *   780 pbeWithSHA1AndSEED-CBC,
 *   828 pbeWithSHA1AndARIA_CBC       KISA variant, IV from the digest
 *   793 GPKIpbeWithSHA1AndSEED-CBC   GPKI variant
 *   144-149 PKCS#12 PBE algorithms   key and IV from the PKCS#12 derivation
 *   10, 170 PBE-MD5-DES, PBE-SHA1-DES  PBES1
 *   161 PBES2                        PBKDF2 and the cipher of the scheme
 * The salt is the one given, or 8 random bytes when salt is null or
 * salt_len 0. Iteration counts run from 1 to PKCS5_MAX_ITERATIONS. */

/* Encrypts key under pbe_row into *out (filled when it points to a record,
 * else a new one). A cipher row (AES-128-CBC, SEED-CBC ...) or another PBE
 * row with a cipher writes PBES2 with that cipher and, as the PBKDF2 PRF,
 * HMAC over the row's digest (SHA-1 when it has none). 0x4a06012f for a row
 * none of this fits. */
ZUNPKI_API PKI_ERROR encrypt_PKCS5(const P8_PRIV_KEY_INFO* key, PKCS8** out, const char* password, int pw_len,
                                   const unsigned char* salt, int salt_len, int iterations, int pbe_row);
/* The same, except that pbe_row 161 writes PBES2 with the cipher and digest
 * of cipher_row, and a pbe_row outside the list above is refused. */
ZUNPKI_API PKI_ERROR encrypt_PKCS5_ex(const P8_PRIV_KEY_INFO* key, PKCS8** out, const char* password, int pw_len,
                                      const unsigned char* salt, int salt_len, int iterations, int pbe_row,
                                      int cipher_row);
/* The same, with the PBKDF2 pseudo-random function of pbe_row 161 chosen:
 * HMAC over prf_digest_id (SHA-1 to SHA-512); 0 keeps the cipher row's, as
 * encrypt_PKCS5_ex. Other rows ignore it. 0x4a06012f for a PRF not on offer. */
ZUNPKI_API PKI_ERROR encrypt_PKCS5_prf(const P8_PRIV_KEY_INFO* key, PKCS8** out, const char* password, int pw_len,
                                       const unsigned char* salt, int salt_len, int iterations, int pbe_row,
                                       int cipher_row, int prf_digest_id);
/* The scheme of an encrypted key in the terms encrypt_PKCS5_prf takes: the
 * algorithm's row and, for PBES2, the cipher's row (the table's row of that
 * cipher when the key names it by another identifier) and the PRF's digest
 * id; both 0 for other schemes. Nothing is decrypted. 0; 0x4a070049 for null
 * arguments; a scheme decrypt_PKCS5 does not read gives its code. */
ZUNPKI_API PKI_ERROR get_PKCS5_scheme(const PKCS8* enc, int* pbe_row, int* cipher_row, int* prf_digest_id);
/* Decrypts enc into *out (filled when it points to a record, else a new
 * one; left alone on failure). PBES2 reads PBKDF2's PRF (hmacWithSHA1 to
 * hmacWithSHA512) and keyLength, and ciphers by table row or as
 * aria-128/192/256-cbc. Under the PKCS#12 derivation (rows 144-149, 793) a
 * password that is not ASCII is tried in its UTF-16 form too, as other tools
 * derive from it. A wrong password gives 0x4a070012; unreadable
 * parameters or a count beyond the bound 0x4a07002b or 0x4a070104; an
 * algorithm not listed 0x4a07012f. */
ZUNPKI_API PKI_ERROR decrypt_PKCS5(const PKCS8* enc, P8_PRIV_KEY_INFO** out, const char* password, int pw_len);

ZUNPKI_END_DECLS

#endif
