/*
 * libNFilterOpenWeb: the keypad library of the NSHC web keypad, as the
 * agent calls it, on OpenSSL 3.
 *
 * A keypad page and the agent agree on a key for each opened page:
 *
 *   1. The agent makes an X25519 key pair (N_GenerateKeypair) and sends the
 *      page its public key as "publickey=" in the page URL.
 *   2. The page makes its own X25519 pair and a 4-byte salt, and hands back
 *      its key data as 72 hex digits: 8 digits of the salt, then 64 digits
 *      of its public key.
 *   3. Both sides derive a 32-byte key with HKDF-SHA256 from the X25519
 *      shared secret, that salt and the info text "nFilterkey"
 *      (N_DeriveKey hands it out as Base64 text).
 *   4. The page enciphers what the user typed with AES-256-GCM under that
 *      key, with no additional data, and sends nonce (12 bytes) followed by
 *      the cipher text and the tag (16 bytes); N_Decrypt reverses it.
 *
 * Texts:
 *   - public and private key: 64 hex digits (the raw 32 bytes), lower case
 *     on output, either case on input; NUL-terminated, the length without
 *     the NUL;
 *   - derived key: standard Base64 of the 32 key bytes (44 characters);
 *   - plain text: the deciphered bytes with a NUL after them; a plain text
 *     that holds a NUL itself is refused, so its length is strlen.
 *
 * Every function takes the leading constants 5 (the algorithm suite above)
 * and, where shown, 2 (X25519 keys as hex text); other values are refused.
 * Every function returns 0 on success and one of the NF_ERR_ codes
 * otherwise; on failure no out-pointer is set. Texts handed out are
 * released with FreeString, which zeroes them first.
 */
#ifndef NFILTER_NFILTEROPENWEB_H
#define NFILTER_NFILTEROPENWEB_H

#if defined(__GNUC__)
#define NF_API __attribute__((visibility("default")))
#else
#define NF_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define NF_SUITE 5   /* X25519, HKDF-SHA256, AES-256-GCM */
#define NF_KEY_HEX 2 /* keys as hex text */

#define NF_ERR_ARGUMENT -1  /* NULL pointer or negative length */
#define NF_ERR_CONSTANT -2  /* a leading constant other than 5 or 2 */
#define NF_ERR_FORMAT -3    /* key data, private key or key of the wrong length or with non-hex digits */
#define NF_ERR_AGREEMENT -4 /* the peer's key gives no usable shared secret */
#define NF_ERR_DECRYPT -5   /* cipher text too short, or its tag does not verify */
#define NF_ERR_PLAIN -6     /* the plain text holds a NUL */
#define NF_ERR_BACKEND -7   /* OpenSSL or the allocator failed */

/* A new key pair: *private_key and *public_key are new texts of 64 hex
 * digits, their lengths (64) in *private_key_len and *public_key_len. */
NF_API int N_GenerateKeypair(int suite, int key_format, char** private_key, int* private_key_len, char** public_key,
                             int* public_key_len);

/* The key agreed with the page's 72-character key data (peer_len must be
 * 72) and our private key (private_key_len must be 64): *derived_key is a
 * new Base64 text of the 32 key bytes. */
NF_API int N_DeriveKey(int suite, int key_format, const char* peer, int peer_len, const char* private_key,
                       int private_key_len, char** derived_key);

/* Deciphers nonce || cipher text || tag under the 32-byte key: *plain is a
 * new NUL-terminated text. */
NF_API int N_Decrypt(int suite, const unsigned char* key, int key_len, const unsigned char* cipher, int cipher_len,
                     char** plain);

/* Zeroes and releases a text that this library handed out; NULL is
 * ignored. */
NF_API void FreeString(char* text);

#ifdef __cplusplus
}
#endif

#endif
