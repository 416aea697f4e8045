/*
 * The encodings of texts that cross the store's interface.
 *
 * Types of VPL_DataEncode / VPL_DataDecode:
 *   0  Base64 on one line (certificate paths travel in this form)
 *   1  URL form encoding: letters, digits and "@./_-" stay, a blank becomes
 *      "+", every other byte "%" and two lower-case hex digits
 *   2  Base64, then URL encoding of the Base64 text
 *   any other: the bytes unchanged
 * Outputs are new buffers with a zero byte after the counted length,
 * released with VPL_Free.
 */
#ifndef ZEPHALTPAVIX_ENCODE_H
#define ZEPHALTPAVIX_ENCODE_H

#include <zephaltpavix/store_export.h>

VPL_BEGIN_DECLS

/* 0; 1052011 for a NULL input or output or a negative length; -1 when memory
 * runs out. An empty input gives an empty output. */
VPL_API int VPL_DataEncode(int type, const void* in, int len, char** out, int* outLen);
/* 0; 1052011 as above; -1 when the Base64 step of type 0 or 2 fails or
 * gives nothing (an empty input included), with no output. */
VPL_API int VPL_DataDecode(int type, const char* in, int len, char** out, int* outLen);

/* A new URL-encoded copy of text (type 1's rule), released with free; NULL
 * for NULL or when memory runs out. */
VPL_API char* VPL_URLEncode(const char* text);
VPL_API char* VPL_Insert_PKCS10_CertEncode(const char* text);
/* Decodes text in place ("+" a blank, "%" and two hex digits one byte);
 * the new length. */
VPL_API int VPL_URLDecode(char* text);

/* Base64 of len bytes on one line into out (outSize bytes, cleared first;
 * no terminating zero when the text fills it): the text's length, or -1
 * when it does not fit or the arguments are wrong. */
VPL_API int VPL_Base64EncodeNoline(const void* in, int len, char* out, int outSize);
/* The bytes of len characters of Base64 into out, followed by a zero byte:
 * their count, or -1 when the text does not decode or out (outSize bytes)
 * has no room for the bytes and the zero. */
VPL_API int VPL_Base64DecodeNoline(const char* in, int len, void* out, int outSize);

VPL_END_DECLS

#endif
