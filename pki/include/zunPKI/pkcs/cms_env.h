/*
 * CMS enveloped and encrypted data: recipients, the content cipher, content
 * keys carried to each recipient with RSA (PKCS#1 v1.5, or OAEP under the
 * hash its parameters name), streaming encryption, and decryption. Content
 * keys and content go through PKCS#7's envelope engine.
 *
 * An envelopedData is made in this order: new_CMS_CONTENT_INFO, set_CMS_Type
 * (23), add_CMS_Recipient for each recipient, then either set_CMS_Cipher and
 * encrypt_CMS_userKEY with the caller's key and IV, or encrypt_CMS with a
 * random key and IV, and CMS_CONTENT_INFO_to_Seq. It is opened with
 * decrypt_content_encryption_key, then decrypt_CMS with that key.
 *
 * Only key transport is offered: key agreement and other recipient kinds
 * are refused. Output buffers carry their room in *out_len on entry (the
 * count written on return): an update needs room for its input plus one
 * cipher block, a final for one block, decryption for the content, a
 * content key for the key.
 *
 * Results are 0 or a PKI_ERROR of library L_CMS, or the crypto library's
 * code.
 */
#ifndef ZUNPKI_CMS_ENV_H
#define ZUNPKI_CMS_ENV_H

#include <zunPKI/pkcs/cms.h>
#include <zunPKI/pkcs/pkcs1.h>

/* Key-transport modes (RSAES): 8 and 16 OAEP, 32 PKCS#1 v1.5, 0 the same
 * as 32 when encrypting. */
#define CMS_RSAES_DEFAULT 0
#define CMS_RSAES_OAEP 8
#define CMS_RSAES_OAEP_V21 16
#define CMS_RSAES_PKCS1_V15 32
/* Recipient flags. */
#define CMS_RECIPIENT_BY_KEY_IDENTIFIER 0x01 /* rid: the subjectKeyIdentifier, version 2 */
#define CMS_RECIPIENT_KEY_AGREEMENT 0x10     /* refused */
#define CMS_RECIPIENT_OTHER 0x20             /* refused */
/* The content cipher when none is named: SEED-CBC. */
#define CMS_DEFAULT_CIPHER 0x04000120

ZUNPKI_BEGIN_DECLS

/* ---- Recipients ----------------------------------------------------------------*/
/* A new key-transport RecipientInfo for cert (set_CMS_RECIPIENT_INFO)
 * appended to an envelopedData or authenticatedData; nothing added on
 * failure. */
ZUNPKI_API int add_CMS_Recipient(CMS_CONTENT_INFO* cms, const X509_CERT* cert, int mode, const RSAES_OAEP_PARAM* oaep,
                                 int flags);
/* Fills ri as key transport for an RSA certificate: rid by key identifier
 * (flags 0x01; 0x5257012f when the certificate has none) with version 2,
 * else issuer and serial with version 0; keyEncryptionAlgorithm
 * id-RSAES-OAEP with oaep (null: the defaults, SHA-1) for modes 8 and 16,
 * rsaEncryption for 0 and 32; a copy of the public key. 0x52070049 null
 * arguments, 0x52070048 flags 0x10 or 0x20, another mode, a key that is not
 * RSA, OAEP parameters our crypto library cannot follow. ri is unchanged on
 * failure. */
ZUNPKI_API int set_CMS_RECIPIENT_INFO(CMS_RECIPIENT_INFO* ri, const X509_CERT* cert, int mode,
                                      const RSAES_OAEP_PARAM* oaep, int flags);
/* Appends ri itself (owned from then on). 0x52150049, 0x52150048, 0x5215010c. */
ZUNPKI_API int add_CMS_RECIPIENT_INFO(CMS_CONTENT_INFO* cms, CMS_RECIPIENT_INFO* ri);

/* ---- The content cipher -------------------------------------------------------------*/
/* Starts the content cipher of an envelopedData or encryptedData (its
 * EncryptedContentInfo made when missing): cipher_id (0: SEED-CBC; CFB and
 * OFB modes unpadded), key and iv of that cipher's lengths, encrypt 1 or 0.
 * 0x52050049 null, 0x5205002b another type, 0x5205003b no unit; the crypto
 * library's code (the old cipher then stays). */
ZUNPKI_API int set_CMS_Cipher(CMS_CONTENT_INFO* cms, int cipher_id, const unsigned char* key, const unsigned char* iv,
                              int encrypt);
/* contentType the row's OID, a copy of alg, and a copy of the len bytes as
 * encryptedContent (none for null bytes). 0x52060049, 0x52060048. */
ZUNPKI_API int set_CMS_ENCRYPTED_CONTENT_INFO(CMS_ENCRYPTED_CONTENT_INFO* eci, int row, const X509_ALGO_IDENTIFIER* alg,
                                              const unsigned char* bytes, int len);

/* ---- Encryption ------------------------------------------------------------------------
 * init: the content type row (21, 22, 23 or 26; else 0x52250048) and the
 * algorithm alg of the cipher set with set_CMS_Cipher (its parameters become
 * the running cipher's IV; the caller's alg is changed so); for an
 * envelopedData the content key (key, the cipher's key length) encrypted for
 * every recipient under mode; detached 1 hands the ciphertext to the caller
 * only. Everything is made before the message changes. 0x52250049 null,
 * a bad mode, no recipients or no cipher; 0x52250048 another type, a cipher
 * other than alg's. update and final stream the content (0x52260049 /
 * 0x52270049 no cipher or no room, 0x52260048 / 0x52270048 another type). */
ZUNPKI_API int init_CMS_Encrypt(CMS_CONTENT_INFO* cms, int row, X509_ALGO_IDENTIFIER* alg, int detached,
                                const unsigned char* key, const unsigned char* iv, int mode);
ZUNPKI_API int update_CMS_encrypt(CMS_CONTENT_INFO* cms, const unsigned char* bytes, int len, unsigned char* out,
                                  int* out_len);
ZUNPKI_API int final_CMS_Encrypt(CMS_CONTENT_INFO* cms, unsigned char* out, int* out_len);
/* The whole content under a random key and IV of alg's cipher (wiped after
 * use): set_CMS_Cipher, init, update and final. 0x5223002b null arguments or
 * a bad mode, 0x52230048 a cipher we cannot run. */
ZUNPKI_API int encrypt_CMS(CMS_CONTENT_INFO* cms, int row, X509_ALGO_IDENTIFIER* alg, const unsigned char* bytes,
                           int len, int mode);
/* The same with the caller's key and IV, the cipher already set with
 * set_CMS_Cipher. 0x5223002b null arguments, 0x52230048 a bad mode. */
ZUNPKI_API int encrypt_CMS_userKEY(CMS_CONTENT_INFO* cms, int row, X509_ALGO_IDENTIFIER* alg,
                                   const unsigned char* bytes, int len, const unsigned char* key,
                                   const unsigned char* iv, int mode);
/* authenticatedData: key (of the cipher's length) encrypted for every
 * recipient with PKCS#1 v1.5. 0x525a0048 another type or any failure,
 * 0x525a012f a cipher without a row. */
ZUNPKI_API int encrypt_CMS_RecipientInfo(CMS_CONTENT_INFO* cms, int cipher_id, const unsigned char* key,
                                         const unsigned char* iv);
/* Every key-transport recipient of the list gets key encrypted under mode
 * (OAEP with the hash its label names); alg's parameters become the IV a
 * cipher started with key and iv (null: random) has. All or nothing.
 * 0x525b0049 null or empty list, 0x525b0048 a cipher we cannot run, a
 * recipient of another kind or key, 0x525b0030 a recipient without its
 * record or key. */
ZUNPKI_API int init_CMS_Encrypt_RecipientInfo(CMS_RECIPIENT_INFOS* list, X509_ALGO_IDENTIFIER* alg,
                                              const unsigned char* key, const unsigned char* iv, int mode);

/* ---- Decryption ------------------------------------------------------------------------*/
/* The content key of the recipient cert names (by issuer and serial or key
 * identifier), decrypted with key under the scheme its label names
 * (rsaEncryption PKCS#1 v1.5, id-RSAES-OAEP OAEP with its hash; mode must be
 * 0, 8, 16 or 32): exactly the content cipher's key length, into out of
 * *out_len bytes of room. 0x5228002b null, 0x52280048 not an envelopedData,
 * a key that is not RSA, a recipient of another kind, 0x5228012f no
 * certificate or no RecipientInfo, 0x52280049 no RecipientInfo for cert;
 * the crypto library's code for a key that does not decrypt. */
ZUNPKI_API int decrypt_content_encryption_key(CMS_CONTENT_INFO* cms, const X509_CERT* cert, const ASYMMETRIC_KEY* key,
                                              unsigned char* out, int* out_len, int mode);
/* The content of an envelopedData or encryptedData decrypted with key and iv
 * (null: the IV the algorithm carries, exactly the cipher's IV length), into
 * out of *out_len bytes of room. 0x5223002b null arguments, no content, an
 * IV of another length or no room; 0x52230048 another type or a cipher we
 * do not know; the crypto library's code (a wrong key: bad padding). */
ZUNPKI_API int decrypt_CMS(CMS_CONTENT_INFO* cms, const unsigned char* key, const unsigned char* iv, unsigned char* out,
                           int* out_len);

ZUNPKI_END_DECLS

#endif
