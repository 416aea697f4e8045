/*
 * PKCS#7 enveloped, signed-and-enveloped and encrypted data: the content
 * encrypted under a block cipher, its key carried to each recipient with RSA
 * (PKCS#1 v1.5 or OAEP), and the way back.
 *
 * An envelopedData is made in this order: set_PKCS7_Type (23),
 * add_PKCS7_Recipient for each recipient, then encrypt_PKCS7 (a random key
 * and IV) or encrypt_PKCS7_userKEY, or the streaming init / update / final.
 * A signedAndEnvelopedData (24) also gets its signers (pkcs7_sign.h, each
 * with signed attributes holding the content's messageDigest) and is made
 * with sign_encrypt_PKCS7. An encryptedData (26) is encrypted with a cipher
 * unit the caller prepared (set_PKCS7_Cipher).
 *
 * Opening: decrypt_PKCS7_enveloped_CEK recovers the content key for a
 * recipient, decrypt_PKCS7 decrypts the content with it (the IV from the
 * message), and verify_decrypt_PKCS7 does both checks of a
 * signedAndEnvelopedData.
 *
 * Output buffers come with their room: *out_len is the room on entry and the
 * count written on return; nothing is written past the room.
 *
 * Results are 0 or a PKI_ERROR of library L_PKCS7 (function bytes 0x20
 * encryption, 0x1f RecipientInfo set-up, 0x00 the others), a plain 1 where
 * said, or the crypto library's code.
 */
#ifndef ZUNPKI_PKCS7_ENV_H
#define ZUNPKI_PKCS7_ENV_H

#include <zunPKI/pkcs/pkcs1.h>
#include <zunPKI/pkcs/pkcs7.h>

/* Key-transport modes (RSAES). 0 means PKCS#1 v1.5. */
#define P7_RSAES_DEFAULT 0
#define P7_RSAES_OAEP 8
#define P7_RSAES_OAEP_V21 16 /* the same encoding as 8 */
#define P7_RSAES_PKCS1_V15 32

ZUNPKI_BEGIN_DECLS

/* ---- Recipients --------------------------------------------------------------*/

/* A new RecipientInfo for the RSA certificate recipient, added to an
 * enveloped or signed-and-enveloped message (which owns it), or null on any
 * failure (nothing is added then): version 0, the certificate's issuer and
 * serial, a copy of its public key, and keyEncryptionAlgorithm id-RSAES-OAEP
 * with oaep (null: the defaults, SHA-1) for modes 8 and 16, rsaEncryption
 * for 0 and 32. Other modes give null. */
ZUNPKI_API P7_RECIPIENT_INFO* add_PKCS7_Recipient_withEncryptedAlgorithm(P7_CONTENT_INFO* p7,
                                                                         const X509_CERT* recipient, int mode,
                                                                         const RSAES_OAEP_PARAM* oaep);
ZUNPKI_API P7_RECIPIENT_INFO* add_PKCS7_Recipient(P7_CONTENT_INFO* p7, const X509_CERT* recipient);
/* Appends ri itself (owned by p7 on success). 0, or 1 for null arguments,
 * other types or no memory. */
ZUNPKI_API int add_PKCS7_P7_RECIPIENT_INFO(P7_CONTENT_INFO* p7, P7_RECIPIENT_INFO* ri);

/* ---- Encrypted-content set-up ----------------------------------------------*/

/* Sets all of eci at once: contentType the row's OID, a copy of alg, and a
 * copy of the len bytes as encryptedContent (none when data is null or len
 * is 0). 0x4B000049 for null eci or alg or a negative len, 0x4B00002B for a
 * row without an OID, 0x4B00003B when a copy fails; eci is unchanged on
 * failure. */
ZUNPKI_API int set_PKCS7_P7_ENCRYPTED_CONTENT_INFO(P7_ENCRYPTED_CONTENT_INFO* eci, int type_row,
                                                   const X509_ALGO_IDENTIFIER* alg, const unsigned char* data, int len);
/* Hands a cipher unit, initialised by the caller for encryption, to an
 * enveloped, signed-and-enveloped or encrypted message (its
 * EncryptedContentInfo is made when missing); the message owns the unit from
 * then on and frees the one it held. An encryptedData is encrypted with it.
 * 0x4B000049 for a null unit (or message: 1), 1 for other types or no
 * memory. */
ZUNPKI_API int set_PKCS7_Cipher(P7_CONTENT_INFO* p7, BLOCK_CIPHER_UNIT* unit);

/* ---- Encryption ------------------------------------------------------------
 * init: for an envelopedData or signedAndEnvelopedData, starts the content
 * cipher that alg names (AES, ARIA, SEED, DES, 3DES in any mode) under key
 * (the cipher's key length) and iv (its IV length; null draws a random one),
 * writes the IV into alg's parameters as an OCTET STRING, encrypts the key
 * for every recipient and installs a fresh EncryptedContentInfo
 * (pkcs7-data, a copy of alg). Each recipient's key transport is mode's: a
 * recipient labelled otherwise is labelled again (id-RSAES-OAEP keeps its
 * parameters, whose hash OAEP uses). For an encryptedData the unit
 * set_PKCS7_Cipher gave does the work; key and iv are not used, and alg's
 * OCTET STRING or NULL parameters become the unit's IV (password-based
 * algorithms keep theirs). Nothing changes when init fails.
 *   external (envelopedData and encryptedData): when not null, update and
 *   final hand the ciphertext to the caller's buffers only.
 *   unused: the inner content type; the content is always pkcs7-data.
 * update encrypts len bytes: the ciphertext is appended to encryptedContent
 * and, when out is given, copied there too; out must have room for len plus
 * one cipher block (*out_len on entry). final does the same with the last
 * block (room for one block).
 *   0x4B200049 null message, a mode other than 0, 8, 16, 32, no key, no
 *              recipient, no EncryptedContentInfo or cipher unit, or too
 *              little room in out
 *   0x4B200048 another content type, a cipher we do not know, a recipient
 *              key that is not RSA or OAEP parameters we cannot honour
 *   0x4B20003A the encryptedContent cannot grow */
ZUNPKI_API int init_PKCS7_Encrypt(P7_CONTENT_INFO* p7, int unused, X509_ALGO_IDENTIFIER* alg, void* external,
                                  const void* key, const void* iv, int mode);
ZUNPKI_API int update_PKCS7_encrypt(P7_CONTENT_INFO* p7, const char* data, int len, char* out, int* out_len);
ZUNPKI_API int final_PKCS7_Encrypt(P7_CONTENT_INFO* p7, char* out, int* out_len);

/* init, update with the len bytes and final in one call, with a random key
 * and IV of the cipher's lengths (userKEY: the caller's key, and iv or a
 * random one); key and IV are wiped afterwards. 1 for a null message, alg,
 * data (or key), 0x4B00002B for a mode other than 0, 8, 16, 32, else the
 * first failure of the three. */
ZUNPKI_API int encrypt_PKCS7(P7_CONTENT_INFO* p7, int unused, X509_ALGO_IDENTIFIER* alg, const char* data, int len,
                             int mode);
ZUNPKI_API int encrypt_PKCS7_userKEY(P7_CONTENT_INFO* p7, int unused, X509_ALGO_IDENTIFIER* alg, const char* data,
                                     int len, const void* key, const void* iv, int mode);

/* signedAndEnvelopedData: every SignerInfo not yet signed signs through
 * its signed attributes (their messageDigest must be the digest of data:
 * else 0x4B1C005E), then the content is encrypted as encrypt_PKCS7 does;
 * userKEY with the caller's key and IV. _SP also encrypts each signature
 * with the content key, as RFC 2315 describes (verify_decrypt_PKCS7 opens
 * both forms). 1 for null arguments or another type, 0x4B00002B for a mode
 * other than 0, 8, 16, 32, else the first failure of signing or
 * encryption. */
ZUNPKI_API int sign_encrypt_PKCS7(P7_CONTENT_INFO* p7, int unused, X509_ALGO_IDENTIFIER* alg, const char* data, int len,
                                  int mode);
ZUNPKI_API int sign_encrypt_PKCS7_userKEY(P7_CONTENT_INFO* p7, int unused, X509_ALGO_IDENTIFIER* alg, const char* data,
                                          int len, const void* key, const void* iv, int mode);
ZUNPKI_API int sign_encrypt_PKCS7_SP(P7_CONTENT_INFO* p7, int unused, X509_ALGO_IDENTIFIER* alg, const char* data,
                                     int len, int mode);
ZUNPKI_API int sign_encrypt_PKCS7_userKEY_SP(P7_CONTENT_INFO* p7, int unused, X509_ALGO_IDENTIFIER* alg,
                                             const char* data, int len, const void* key, const void* iv, int mode);

/* ---- Decryption ------------------------------------------------------------*/

/* The content key of an enveloped or signed-and-enveloped message, decrypted
 * with the RSA private key under mode (0 or 32 PKCS#1 v1.5, 8 or 16 OAEP with
 * the hash the recipient's parameters name) into out (room *out_len). The
 * RecipientInfo is recipient's; without a recipient certificate, the first
 * one, when the message carries its certificate (a signedAndEnvelopedData).
 * 1 for null arguments, other types, no recipients, none for the
 * certificate, a key that is not RSA or OAEP parameters we cannot honour;
 * 0x4B00002B for a mode other than 0, 8, 16, 32 or a key that is not as
 * long as the content cipher's; 0x4B000049 for too little room; VSC_FAIL
 * (1) for wrong padding. Nothing is left in out on failure. */
ZUNPKI_API int decrypt_PKCS7_enveloped_CEK(P7_CONTENT_INFO* p7, const X509_CERT* recipient, const ASYMMETRIC_KEY* key,
                                           char* out, int* out_len, int mode);

/* The len bytes of the content of an enveloped, signed-and-enveloped or
 * encrypted message decrypted with key into out (room *out_len), under the
 * cipher its contentEncryptionAlgorithm names. iv null: the IV is the
 * algorithm's OCTET STRING parameters, which must be as long as the
 * cipher's IV. 1 for null arguments, other types, no encryptedContent or a
 * cipher we do not know; 0x4B00002B for an IV of another length;
 * 0x4B000049 for too little room; VSC_FAIL (1) for wrong padding (usually a
 * wrong key). Nothing is left in out on failure. */
ZUNPKI_API int decrypt_PKCS7(P7_CONTENT_INFO* p7, const void* key, const void* iv, char* out, int* out_len);
/* A signedAndEnvelopedData's content decrypted with key (IV from the
 * message) into out, then verify_PKCS7 over it (signer: as there); also
 * the signatures that _SP encrypted. 1 for other types; decrypt_PKCS7's or
 * verify_PKCS7's code, and then nothing is left in out. */
ZUNPKI_API int verify_decrypt_PKCS7(P7_CONTENT_INFO* p7, const X509_CERT* signer, const void* key, char* out,
                                    int* out_len);

ZUNPKI_END_DECLS

#endif
