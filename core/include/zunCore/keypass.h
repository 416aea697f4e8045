/*
 * Key-password operations on a private-key file of any form (DER is read as
 * PKCS#8; PEM by its type: "RSA PRIVATE KEY" plain or with "DEK-Info", or
 * "ENCRYPTED PRIVATE KEY"), and the protected form of a password string.
 *
 * A protected password is the Base64 text (one line) of SEED-CBC over 20
 * random bytes followed by the password. The key and IV are fixed in the
 * library: this is obfuscation for storage and transport, not protection
 * against anyone who has the library. Passwords of at most 108 bytes.
 *
 * Results are 0 or a CORE_ERROR_CODE; codes of the PKCS#8 functions, of
 * libzunPKI and of the crypto layer pass through unchanged. On failure
 * nothing is handed out (out-pointers NULL and 0). New buffers are
 * NUL-terminated, one byte longer than their length, and released with
 * VCL_Free.
 */
#ifndef ZUNCORE_KEYPASS_H
#define ZUNCORE_KEYPASS_H

#include <zunCore/core_export.h>

/* Longest password VCL_COM_Encrypt_Password protects. */
#define VCL_PROTECTED_PASSWORD_MAX 108

VCL_BEGIN_DECLS

/* 0 when the password opens the key; the opener's code otherwise (PKCS#1
 * PEM: 0x4900004f for a wrong password). 0xb1050005 NULL or empty key,
 * 0xb1060090 a PEM text of another type. */
VCL_API int VCL_COM_Check_Password(const void* key, int key_len, const char* password, int pw_len);
/* The key under the new password: PKCS#8 keys (DER or PEM) as DER with the
 * same scheme; PKCS#1 PEM keys as "RSA PRIVATE KEY" PEM encrypted with
 * DES-EDE3-CBC. 0xb10b002c a PKCS#1 key that does not open or write,
 * 0xb10b0090 another PEM type, 0xb10b0001 short memory, 0xb10b0002 NULL
 * arguments, 0xb10b0005 an empty key or new password. */
VCL_API int VCL_COM_Change_Password(const void* key, int key_len, const char* old_pw, int old_len, const char* new_pw,
                                    int new_len, unsigned char** out, int* out_len);
/* The VID random of a PKCS#8 key; 0 and no output for a PKCS#1 PEM key.
 * 0xb1060090 another PEM type, 0xb1050005 NULL or empty key. */
VCL_API int VCL_COM_Get_Random(const void* key, int key_len, const char* password, int pw_len, unsigned char** random,
                               int* random_len);
/* The protected form of a password. 0xb1020002 NULL or empty password,
 * 0xb1020095 a password above 108 bytes; the random source's and cipher's
 * codes. */
VCL_API int VCL_COM_Encrypt_Password(const char* password, int pw_len, char** text, int* text_len);
/* The password back from its protected form. 0xb1030002 NULL or empty
 * text, 0xb103000a a text that holds less than the random prefix,
 * 0xb1030001 short memory; the cipher's codes (Base64 that does not decode,
 * a wrong padding). */
VCL_API int VCL_COM_Decrypt_Password(const char* text, int text_len, char** password, int* pw_len);

VCL_END_DECLS

#endif
