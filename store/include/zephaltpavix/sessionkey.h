/*
 * The session-key table: a 16-byte key and IV per web server, found by the
 * SHA-1 of the server certificate's bytes (its "skid", 20 bytes), and
 * encipherment with the key of a skid; and thin Base64 wrappers over the
 * core's random, Base64, cipher, RSA and key-random functions.
 *
 * The table holds 10 entries. VPL_InitSkIdArray makes a new empty table
 * (the old one is released zeroed) and writes its first entry;
 * VPL_AddSkeyIV adds servers, or gives a known server a fresh random key
 * and IV. g_nSkIdInfoCnt (<zephaltpavix/base.h>) counts the entries
 * written; VPL_Cleanup releases the table and sets it to 0. Look-ups see
 * only entries that were written.
 *
 * The table functions store a code as the last error (VPL_GetLastError)
 * when they fail:
 *   VPL_InitSkIdArray  -1 no certificate or a length <= 0 (1051012);
 *                      -2 no memory (1051007); -4 the digest failed
 *                      (1051009; the table is left as it was); -5 the
 *                      random generator failed (1052038)
 *   VPL_AddSkeyIV      -1 no certificate or a length <= 0 (1051016);
 *                      -2 the digest failed (1051009); -3 the table is full
 *                      (1051007); -4 no table yet (1051014); -5 (1052038)
 *   VPL_GetSkeyIV      -2 no skid or output (1051013); -1 not in the table
 *                      or no table yet (1051014)
 *   VPL_SymEncMatchSkeyIV / VPL_SymDecMatchSkeyIV
 *                      -1 no skid (1051018); -2 not in the table (1051019);
 *                      -3 the cipher failed, or its key or IV is not 16
 *                      bytes (1051010)
 * The table never releases a caller's buffer. Keys and IVs are 16 bytes or
 * NULL (random ones are drawn); a skid output has room for 20 bytes (NULL:
 * not written).
 *
 * "Lined Base64": lines of 64 characters, each (the last too) ending with a
 * line feed. Outputs are new zero-terminated buffers released with
 * VPL_Free.
 */
#ifndef ZEPHALTPAVIX_SESSIONKEY_H
#define ZEPHALTPAVIX_SESSIONKEY_H

#include <zephaltpavix/store_export.h>

VPL_BEGIN_DECLS

VPL_API int VPL_InitSkIdArray(const void* cert, int certLen, const unsigned char* key, const unsigned char* iv,
                              unsigned char* skid);
VPL_API int VPL_AddSkeyIV(const void* cert, int certLen, const unsigned char* key, const unsigned char* iv,
                          unsigned char* skid);
/* Copies the 16-byte key and IV of the skid (20 bytes). */
VPL_API int VPL_GetSkeyIV(const unsigned char* skid, unsigned char* key, unsigned char* iv);
/* Adds 1 to g_nSkIdInfoCnt and returns it (entries past the table's 10 are
 * never written). */
VPL_API int VPL_SkIdInfoCntInc(void);
/* Raw bytes in and out, padding on; the output is exactly *outLen bytes. */
VPL_API int VPL_SymEncMatchSkeyIV(const unsigned char* skid, const void* in, int inLen, const char* cipherName,
                                  unsigned char** out, int* outLen);
VPL_API int VPL_SymDecMatchSkeyIV(const unsigned char* skid, const void* in, int inLen, const char* cipherName,
                                  unsigned char** out, int* outLen);

/* 16 random bytes as lined Base64 (24 characters and a line feed); NULL
 * when the random generator fails. */
VPL_API void VPL_GenSessionKeyWithBase64(char** out);
/* Lined Base64 of len bytes: the text's length, or -1 (no output). */
VPL_API int VPL_Base64EncodeMalloc(const void* in, int len, char** out);
/* The bytes of len characters of Base64, zero-terminated: their count, or
 * -1 (no output) when nothing decodes. */
VPL_API int VPL_Base64DecodeMalloc(const char* in, int len, unsigned char** out);
/* The zero-terminated plaintext enciphered with padding (key and IV of the
 * cipher's lengths), as lined Base64: the text's length, or -1. */
VPL_API int VPL_SymEncryptWithBase64(char** out, const char* plainText, const char* cipherName,
                                     const unsigned char* key, const unsigned char* iv);
/* The same with the plaintext and the key given as Base64 (the decoded
 * plaintext is taken up to its first zero byte). A key that does not decode
 * to the cipher's key length is refused (-1). */
VPL_API int VPL_SymEncryptWithBase64_B64Skey(char** out, const char* plainTextBase64, const char* cipherName,
                                             const char* keyBase64, const unsigned char* iv);
/* PKCS#1 v1.5 encryption for the certificate as lined Base64: the text's
 * length; 0 on failure (no output). */
VPL_API int VPL_RSAPublicEncryptDataWithBase64(const void* data, int len, char** out, const void* cert, int certLen);
/* A PKCS#1 v1.5 (or KCDSA) signature with the key (zero-terminated PEM
 * text) and its zero-terminated password, as lined Base64: 0; the signing
 * code on failure (no output). */
VPL_API int VPL_RSASignWithBase64(const char* privateKey, const char* password, const char* hashName, const void* data,
                                  int len, char** out, int* outLen);
/* The VID random of the key file as lined Base64, or NULL. */
VPL_API char* VPL_GetRVfromPrivKeyWithBase64(const char* keyPath, const char* password);

VPL_END_DECLS

#endif
