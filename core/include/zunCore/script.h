/*
 * Two small services: the key material of a web page's script-protection
 * header and the RSA SHA-1 check of script content, and a chain of 64-bit
 * one-time passwords made by hashing and folding as RFC 2289 does.
 */
#ifndef ZUNCORE_SCRIPT_H
#define ZUNCORE_SCRIPT_H

#include <zunCore/core_export.h>

/* Kinds of script key. */
#define VCL_SCRIPT_HMAC_SHA1 1 /* data: the HMAC key */
#define VCL_SCRIPT_SHA1_RSA 2  /* data: the SubjectPublicKeyInfo in Base64 on one line */

/* A script key. The record and its data are separate allocations, both
 * released by the caller with free (the data first). data is NUL-terminated,
 * data_len bytes long. */
typedef struct {
    int kind;
    unsigned char* data;
    int data_len;
} VCL_SCRIPT_KEY;

VCL_BEGIN_DECLS

/* Reads a Base64 AlgorithmIdentifier (hmacWithSHA1 with the key as its
 * parameter's content, or sha1WithRSAEncryption with a SubjectPublicKeyInfo
 * as its parameter) into a new record. Codes: 0xb10c0002 NULL arguments,
 * 0xb10c0024 not Base64, 0xb10c003d not an AlgorithmIdentifier, 0xb10c003c
 * parameters without content, 0xb10c006c another algorithm, 0xb10c0023 the
 * key's Base64 could not be made, 0xb10c0001 short memory. */
VCL_API int VCL_COM_WebContentScriptInit(const char* b64_algorithm, VCL_SCRIPT_KEY** record);
/* 0 when sig is a PKCS#1 v1.5 SHA-1 signature over data under the RSA key of
 * a SubjectPublicKeyInfo in Base64. 0xb10c0002 NULL arguments, 0xb10c0024
 * the Base64 does not decode, 0xb10c003d not an RSA SubjectPublicKeyInfo,
 * 0xb10c003f the signature does not verify. */
VCL_API int VCL_COM_WebContentScriptVerifier_RSA(const char* b64_public_key, const unsigned char* sig, int sig_len,
                                                 const unsigned char* data, int data_len);

/* Folds a digest of at least 8 bytes into out8: "SHA1" xors the 8-byte
 * groups and reverses each 4-byte half, "MD4" and "MD5" xor them (names of
 * either case). 0xa3010003 for NULL arguments or fewer than 8 bytes,
 * 0xa3010010 another name. */
VCL_API int VCL_OTP_fold_hash(const char* hash_name, const unsigned char* digest, int digest_len, unsigned char* out8);
/* A chain of count one-time passwords: item 0 folds the digest of second
 * (16 bytes) followed by first (16 bytes), each later item the digest of the
 * one before. *chain is an array of count pointers to 8-byte items; the
 * caller frees each item, then the array. Codes: 0xa3030002 NULL arguments,
 * 0xa3030003 count <= 0, 0xa3030001 short memory, or the digest's or the
 * fold's code. */
VCL_API int VCL_OTP_Gen_Message(const unsigned char* first, const unsigned char* second, const char* hash_name,
                                int count, unsigned char*** chain);

VCL_END_DECLS

#endif
