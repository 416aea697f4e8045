/*
 * Transfer encodings: Base64 (libzunPKI's encoder and one of our own), URL
 * form encoding, Base128, hex digits and network byte order.
 *
 * New buffers are NUL-terminated, one byte longer than the length returned,
 * and released with VCL_Free (or free). Nothing is handed out on failure.
 */
#ifndef ZUNCORE_ENCODE_H
#define ZUNCORE_ENCODE_H

#include <stdint.h>

#include <zunCore/core_export.h>

/* Longest input Base128's two length characters can carry. */
#define VCL_BASE128_MAX_INPUT 16383

VCL_BEGIN_DECLS

/* ---- Base64 (standard alphabet, "=" padding) ---------------------------- */
/* line_flag 0: one line; otherwise lines of 64 characters, each ending with a
 * newline. The encoded length, or -1. */
VCL_API int VCL_Base64_Encode(const unsigned char* data, int len, char** out, int line_flag);
/* The same into dst, which holds the text and a NUL (line_flag 0 uses the
 * library's own encoder). */
VCL_API int VCL_Base64_Encode_F(const unsigned char* data, int len, char* dst, int line_flag);
/* Lines of line_len (> 0) characters, each ending with a newline. */
VCL_API int VCL_Base64_Encode_LF(const unsigned char* data, int len, char** out, int line_len);
/* The decoded length (a NUL after the data), or -1 when nothing decodes. */
VCL_API int VCL_Base64_Decode(const char* in, int len, unsigned char** out);
/* The library's own decoder into dst (room for the bytes and a NUL); -1 when
 * nothing decodes. */
VCL_API int VCL_Base64_Decode_F(const char* in, int len, unsigned char* dst);
/* Own encoder: 4 * ceil(len / 3) characters and a NUL into dst; 0 for NULL. */
VCL_API int VCL_encode_Base64(const unsigned char* data, int len, char* dst);
/* Own decoder: LF and CR LF are skipped; a byte outside the alphabet, a lone
 * CR, misplaced or more than two "=", or an incomplete group fail with 0.
 * Otherwise the byte count, the bytes and a NUL written to dst. */
VCL_API int VCL_decode_Base64(const char* in, int len, unsigned char* dst);
/* The 6-bit value of an alphabet character, -1 for any other. */
VCL_API int VCL_Asc2Bin(int ch);

/* ---- URL form encoding -------------------------------------------------- */
/* Letters, digits and "@./_-" stay, a blank becomes "+", every other byte
 * "%xx" (lower-case hex). Decoding: "%" and two hex digits give the byte,
 * "+" a blank; any other "%" stays as it is. */
VCL_API char* VCL_URLEncode(const char* text);
/* Decodes in place; the new length (0 for NULL, logged with 1001003). */
VCL_API int VCL_URLDecode(char* text);
/* len bytes into out (3 * len + 1 bytes; NUL-terminated), *out_len the
 * length: 0 or 1001003. */
VCL_API int VCL_URL_Encode(const char* in, int len, char* out, int* out_len);
/* len bytes into out (len + 1 bytes; NUL-terminated): 0 or 1001003. */
VCL_API int VCL_URL_Decode(const char* in, int len, char* out, int* out_len);
/* The byte of two hex digits of either case, unchecked. */
VCL_API int VCL_Hex2Char(int hi, int lo);

/* ---- Base128 ------------------------------------------------------------ */
/* Two length characters, 7-bit groups as value + 46, "." filler up to
 * min_out. The length, or -1 (VCLLastErrorCode 1003003 for NULL data, len
 * outside 1..16383 or min_out <= 0). */
VCL_API int VCL_Base128_Encode(const unsigned char* data, int len, int min_out, char** out);
VCL_API int VCL_Base128Encoding(const unsigned char* data, int len, int min_out, char** out);
/* The decoded length, or -1 (1003004 for NULL input, len < 2, a character
 * outside 0x2E-0xAD, or a length the text does not carry). */
VCL_API int VCL_Base128_Decode(const char* in, int len, unsigned char** out);
VCL_API int VCL_Base128Decoding(const char* in, int len, unsigned char** out);

/* ---- Hex digits and byte order ------------------------------------------ */
/* Two upper-case hex digits, no NUL. */
VCL_API void VCL_ConvertUcharToHex(unsigned char b, char out[2]);
/* The byte of two hex digits of either case; a non-hex digit counts as 0. */
VCL_API unsigned char VCL_ConvertHexToUchar(const char p[2]);

/* Hton: the value big-endian into out; its width, or -1 when size is
 * smaller. Ntoh: exactly width bytes into *out in host order; the width, or
 * -1 for any other count. */
VCL_API int VCL_HtonShort(short v, unsigned char* out, int size);
VCL_API int VCL_NtohShort(const unsigned char* in, int count, short* out);
VCL_API int VCL_HtonInt16(int16_t v, unsigned char* out, int size);
VCL_API int VCL_NtohInt16(const unsigned char* in, int count, int16_t* out);
VCL_API int VCL_HtonInt(int v, unsigned char* out, int size);
VCL_API int VCL_NtohInt(const unsigned char* in, int count, int* out);
VCL_API int VCL_HtonInt32(int32_t v, unsigned char* out, int size);
VCL_API int VCL_NtohInt32(const unsigned char* in, int count, int32_t* out);
VCL_API int VCL_HtonFloat(float v, unsigned char* out, int size);
VCL_API int VCL_NtohFloat(const unsigned char* in, int count, float* out);
VCL_API int VCL_HtonDouble(double v, unsigned char* out, int size);
VCL_API int VCL_NtohDouble(const unsigned char* in, int count, double* out);

VCL_END_DECLS

#endif
