/*
 * Files signed with an appended RSA signature: the file's bytes followed by
 * an RSASSA-PSS signature (SHA-256, MGF1 with SHA-256, salt of 32 bytes) as
 * long as the key's modulus; no header, no length field.
 *
 * Keys are PKCS#1 PEM texts ("RSA PRIVATE KEY", "RSA PUBLIC KEY").
 */
#ifndef ZUNCORE_MODULE_H
#define ZUNCORE_MODULE_H

#include <zunCore/core_export.h>

/* The signature scheme: PSS with SHA-256 and a salt of 32 bytes. */
#define VCL_MODULE_HASH_ID 0x05000300
#define VCL_MODULE_PAD_MODE 0x05200302

#define VCL_CAT_MODULE_VERIFY 0x1a01
#define VCL_ERR_MODULE_READ 0x1a010049   /* input unreadable, empty, or no longer than a signature */
#define VCL_ERR_MODULE_INIT 0x1a010023   /* the key does not read or the scheme does not start */
#define VCL_ERR_MODULE_UPDATE 0x1a01005c /* digesting the content failed */
#define VCL_ERR_MODULE_FINAL 0x1a010019  /* signing failed, or the signature does not match */
#define VCL_ERR_MODULE_WRITE 0x1a01000d  /* the output could not be written */

VCL_BEGIN_DECLS

/* Signs the file at in_path with the private key and writes the file and
 * its signature to out_path. The signature is checked before anything is
 * written; the output is written to a new file and renamed into place, so a
 * failure leaves nothing at out_path that was not there. 0 or a code above. */
VCL_API int VCL_sign_module(const char* in_path, const char* out_path, const char* private_key_pem);

/* 0 when the file's last bytes (the key's modulus length) are a signature of
 * the bytes before them under the public key; a code above otherwise. */
VCL_API int VCL_verify_module(const char* path, const char* public_key_pem);

VCL_END_DECLS

#endif
