/*
 * Message authentication codes over the crypto layer: HMAC under a digest,
 * and CBC-MAC under a block cipher.
 *
 * Results are 0 or the crypto layer's code (VSC_ERR_...); -1 when memory is
 * short. The HMAC is handed out in a new buffer, NUL-terminated, one byte
 * longer than its length and released with VCL_Free.
 */
#ifndef ZUNCORE_MAC_H
#define ZUNCORE_MAC_H

#include <zunCore/core_export.h>
#include <zunCrypto/zunCrypto.h>

VCL_BEGIN_DECLS

/* HMAC of data_len bytes under a key of any length. hmac_id is an HMAC id
 * (VSC_HMAC_SHA256: the digest id with bit 28 set); a plain digest id is
 * taken as the HMAC of that digest. The MAC is the digest's length. */
VCL_API int VCL_MAC_HMAC(int hmac_id, const void* data, int data_len, const void* key, int key_len, char** mac,
                         int* mac_len);
/* CBC-MAC: the last block of CBC encryption under a zero IV of the data
 * padded with zero bytes to whole blocks (empty data: one zero block). The
 * key is the cipher's key length; mac_buffer receives one cipher block
 * (16 bytes is enough for every cipher). The mode bits of cipher_id are
 * ignored. */
VCL_API int VCL_MAC_CBC(int cipher_id, const void* data, int data_len, const void* key, unsigned char* mac_buffer);

VCL_END_DECLS

#endif
