/* The password-to-key derivation of PKCS#12 (RFC 7292, appendix B.2), used
 * by the GPKI password-based scheme, the PKCS#12 PBE algorithms and the
 * PKCS#12 MAC. */
#ifndef ZUNPKI_PKCS12_KDF_H
#define ZUNPKI_PKCS12_KDF_H

#include <zunCrypto/zunCrypto.h>

#include <zunPKI/asn1/pki_export.h>

/* Purposes (the diversifier ID octet). */
#define PKCS12_KEY_ID 1
#define PKCS12_IV_ID 2
#define PKCS12_MAC_ID 3

ZUNPKI_BEGIN_DECLS

/* n octets derived into out from the password given as bytes (len -1: up to
 * the terminating zero), the salt, the purpose id and the iteration count (0
 * and 1 both mean one digest; more than PKCS5_MAX_ITERATIONS is refused),
 * with the algorithm of digest, an initialised digest unit. The password
 * becomes a BMPString with two zero octets at its end; a null password is
 * no octets at all, "" the two zero octets. Returns 0, or 1 on any failure
 * (out is then zeroed). */
ZUNPKI_API int gen_PKCS12_key_ASC(const char* password, int len, const void* salt, int salt_len, int id, int iterations,
                                  int n, void* out, DIGEST_UNIT* digest);

/* The same from a password already in BMPString form (bmp_len octets, the
 * terminating zero octets included). */
ZUNPKI_API int get_PKCS12_key_UNI(const unsigned char* bmp, int bmp_len, const void* salt, int salt_len, int id,
                                  int iterations, int n, void* out, DIGEST_UNIT* digest);

ZUNPKI_END_DECLS

#endif
