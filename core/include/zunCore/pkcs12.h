/*
 * PKCS#12 files (PFX) from signer credentials and back.
 *
 * A PFX made here holds, per credential, a pkcs8ShroudedKeyBag
 * (pbeWithSHA1And3-KeyTripleDES-CBC, 2048 iterations) and a certificate bag
 * linked by a localKeyID (the SHA-1 of the certificate's DER), then the
 * further certificates without one; the certificate safe is encrypted with
 * the same algorithm (or plain), the key safe plain; the MAC is HMAC-SHA1
 * with a 20-byte salt and 2048 iterations. The key password opens the
 * credentials' keys (encrypted PKCS#8 DER or PEM, PKCS#1 PEM plain or
 * encrypted, PKCS#1 DER); the PFX password protects the file.
 *
 * Reading pairs each certificate that has a localKeyID with the first key
 * that belongs to it and re-encrypts that key under the key password as the
 * store keeps keys on disk: PBES2 with ARIA-CBC for a certificate of the
 * government, public or private PKI of Korea (subject O=Government of
 * Korea, Public of Korea or Private of Korea) signed with SHA-256, else
 * pbeWithSHA1AndSEED-CBC; 2048 iterations and a fresh salt. The other
 * certificates come back as further certificates (cert only).
 *
 * Passwords are at most 255 bytes and hold no zero byte. Results are 0 or a
 * CORE_ERROR_CODE; codes of the certificate and key readers, of libzunPKI
 * and of the crypto layer pass through. The PFX is handed out as a new DER
 * buffer (NUL-terminated, one byte longer, released with VCL_Free).
 */
#ifndef ZUNCORE_PKCS12_H
#define ZUNCORE_PKCS12_H

#include <zunCore/core_export.h>
#include <zunCore/keys.h>

/* Key-usage values written on key bags. */
#define VCL_PK12_KEY_USAGE_ENCIPHER \
    48                              /* a certificate whose keyUsage is exactly keyEncipherment and dataEncipherment */
#define VCL_PK12_KEY_USAGE_SIGN 192 /* every other */

VCL_BEGIN_DECLS

/* Codes of making: 0xb3010002 NULL passwords or credentials, 0xb3010005 a
 * length or count of 0 or less, 0xb3010003 a password above 255 bytes or
 * holding a zero byte, 0xb301005b a key that does not belong to its
 * certificate, 0xb301000b no digest, 0xb3010073 / 0xb3010074 a certificate
 * or key bag not added, 0xb3010075 / 0xb3010076 no localKeyID or friendly
 * name, 0xb3010060 a safe not added, 0xb301005e no PFX, 0xb301005f nothing
 * written, 0xb3010001 short memory. */
VCL_API int VCL_PK12_Make_PFX_SafeBagEncrypt(const char* key_pw, int key_pw_len, const char* pfx_pw, int pfx_pw_len,
                                             const char* friendly_name, int name_len, int n_keys,
                                             const PKISTRINFO* infos, int n_extra, const CERT_ITEM* extra,
                                             unsigned char** pfx, int* pfx_len, int encrypt_certs);
/* The certificate safe encrypted. */
VCL_API int VCL_PK12_Make_PFX_With_Pass(const char* key_pw, int key_pw_len, const char* pfx_pw, int pfx_pw_len,
                                        const char* friendly_name, int name_len, int n_keys, const PKISTRINFO* infos,
                                        int n_extra, const CERT_ITEM* extra, unsigned char** pfx, int* pfx_len);
/* One password for the keys and the file. */
VCL_API int VCL_PK12_Make_PFX(const char* password, int pw_len, const char* friendly_name, int name_len, int n_keys,
                              const PKISTRINFO* infos, int n_extra, const CERT_ITEM* extra, unsigned char** pfx,
                              int* pfx_len);
VCL_API int VCL_PK12_Make_PFX_With_SafeBagEncrypt(const char* password, int pw_len, const char* friendly_name,
                                                  int name_len, int n_keys, const PKISTRINFO* infos, int n_extra,
                                                  const CERT_ITEM* extra, unsigned char** pfx, int* pfx_len,
                                                  int encrypt_certs);

/* Reads a PFX protected by pfx_pw into two new arrays (release each with
 * VCL_PK1_Free_PKISTRINFOS, then free): pairs (cert DER, key as encrypted
 * PKCS#8 DER, key_kind, cert_use) and further certificates (cert DER). An
 * array is handed out only when both of its out-pointers are given and it
 * is not empty. Codes: 0xb3010002 NULL passwords or PFX, 0xb3010005 a
 * length of 0 or less, 0xb3010003 a password too long, 0xb3020059 not a
 * PFX, import_PKCS12's code (a wrong password: 0x4d0f005e), 0xb302002f a
 * certificate with a localKeyID and no key of its own, 0xb302005d an empty
 * entry, 0xb302005f nothing written, 0xb3020001 short memory. */
VCL_API int VCL_PK12_Verify_PFX_With_Pass(const char* key_pw, int key_pw_len, const char* pfx_pw, int pfx_pw_len,
                                          const void* pfx, int pfx_len, int* n_pairs, PKISTRINFO** pairs, int* n_certs,
                                          PKISTRINFO** certs);
VCL_API int VCL_PK12_Verify_PFX(const char* password, int pw_len, const void* pfx, int pfx_len, int* n_pairs,
                                PKISTRINFO** pairs, int* n_certs, PKISTRINFO** certs);

VCL_END_DECLS

#endif
