/*
 * Crypto wrappers of the store over libzunCore.
 *
 * Outputs are new buffers, one byte longer than their length and
 * zero-terminated, released with VPL_Free.
 */
#ifndef ZEPHALTPAVIX_CRYPTO_H
#define ZEPHALTPAVIX_CRYPTO_H

#include <zephaltpavix/store_export.h>

VPL_BEGIN_DECLS

/* Digest of len bytes with the named algorithm ("SHA1", "SHA256", any name
 * the core's digest table takes) in a new buffer: 0; 1001003 for a missing
 * input or output or a length of 0 or less; 1052012 when the digest fails
 * (an unknown name included); 1051022 when memory runs out. The outputs are
 * left alone on failure. */
VPL_API int VPL_HASH_Data(const void* in, int len, void** digest, int* digestLen, const char* algorithm);

VPL_END_DECLS

#endif
