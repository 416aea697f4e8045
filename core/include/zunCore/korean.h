/*
 * Korean text: EUC-KR (ASCII and the KS X 1001 two-byte codes), UCS-2 (one
 * 16-bit unit a character, no surrogate pairs) and UTF-8, always converted
 * through UCS-2.
 *
 * - A KS X 1001 pair with no character gives U+FFFD; a byte 0x80-0xFF not
 *   followed by another such byte passes through as U+0080-U+00FF.
 * - A character KS X 1001 lacks gives the two bytes 0xFF 0xFF (0xFFFF from
 *   VCL_ConvertUCS2ToKSC); U+0080-U+00FF without a code gives its own byte.
 * - UTF-8 is read strictly: overlong forms, surrogates, bad or stray
 *   trailing bytes are refused (VCL_CONV_MALFORMED, VCL_ERR_DATA_FORMAT).
 *
 * Whole-string results are new NUL-terminated malloc'd buffers released with
 * free (VCL_String_free) or VCL_Free.
 */
#ifndef ZUNCORE_KOREAN_H
#define ZUNCORE_KOREAN_H

#include <zunCore/core_export.h>

/* Results of the streaming conversions. */
#define VCL_CONV_OK 0
#define VCL_CONV_SOURCE_EXHAUSTED 1 /* a sequence runs past the input end (1005002) */
#define VCL_CONV_TARGET_EXHAUSTED 2 /* the output is full (1005001) */
#define VCL_CONV_UCS4 3             /* a character beyond UCS-2 (1005003) */
#define VCL_CONV_MALFORMED 4        /* not UTF-8 (1001004) */

VCL_BEGIN_DECLS

/* Mapping tables (KS X 1001:2002), constant data. */
VCL_API extern const unsigned short kschangul[2350];      /* (lead - 0xB0) * 94 + (trail - 0xA1) */
VCL_API extern const unsigned short symbol_ksc2uni[1152]; /* (lead - 0xA1) * 96 + (trail - 0xA0) */
VCL_API extern const unsigned short hanja_ksc2uni[4992];  /* (lead - 0xCA) * 96 + (trail - 0xA0) */
/* Two-byte code of each syllable U+AC00-U+D7A3; no KS X 1001 code when it is
 * at most 0xA0FF or its low byte at most 0xA0. */
VCL_API extern const unsigned short unihan[11172];
/* {UCS-2, KS X 1001 code} pairs sorted by UCS-2. */
VCL_API extern const unsigned short symbol_uni2ksc_onebyte[32][2]; /* U+0080-U+00FF */
VCL_API extern const unsigned short symbol_uni2ksc[957][2];
VCL_API extern const unsigned short hanja_uni2ksc[4888][2];
/* UTF-8: trailing bytes a lead byte announces, the offsets subtracted by
 * trailing-byte count, and the lead-byte marks by sequence length. */
VCL_API extern const char bytesFromUTF8[256];
VCL_API extern const unsigned int offsetsFromUTF8[6];
VCL_API extern const unsigned char firstByteMark[7];

/* UTF-8 to EUC-KR. NULL for NULL text (1001003 logged, VCLLastErrorCode
 * untouched), short memory, or a failed step (its code in VCLLastErrorCode). */
VCL_API char* VCL_ConvertUTF8ToEUCKR(const char* text);
/* EUC-KR to UTF-8; NULL for NULL text (1001003) or short memory (1001001). */
VCL_API char* VCL_ConvertEUCKRToUTF8(const char* text);
/* len bytes of big-endian UCS-2 to EUC-KR; NULL for an odd len (1005004). */
VCL_API char* VCL_ConvertUCS2ToEUCKR(const char* data, int len);
/* EUC-KR to a zero-filled array of strlen(text) + 1 host-order units;
 * *out_len = 2 * the number of units. NULL for NULL text (1001003). */
VCL_API unsigned short* VCL_ConvertEUCKRToUCS2(const char* text, int* out_len);

/* Streaming conversions: *in and *out advance over what was converted and
 * never pass in_end / out_end. 0, or a VCL_CONV_ result whose legacy code is
 * stored in VCLLastErrorCode; *in then stands at the character that stopped
 * the conversion. EUC-KR input also ends at a NUL byte. */
VCL_API int VCL_ConvertStrUTF8ToUCS2(char** in, const char* in_end, unsigned short** out, unsigned short* out_end);
VCL_API int VCL_ConvertStrUCS2ToUTF8(unsigned short** in, unsigned short* in_end, char** out, const char* out_end);
VCL_API int VCL_ConvertStrKSCToUCS2(char** in, const char* in_end, unsigned short** out, unsigned short* out_end);
VCL_API int VCL_ConvertStrUCS2ToKSC(unsigned short** in, unsigned short* in_end, char** out, const char* out_end);

/* The KS X 1001 code of ch (lead byte high), ch itself below U+0080 and for
 * U+0080-U+00FF without a code, 0xFFFF when there is none. */
VCL_API unsigned short VCL_ConvertUCS2ToKSC(unsigned short ch);

/* 1 when every byte is 0x20-0x7E (the empty text too). */
VCL_API int VCL_IsOnlyASCII(const unsigned char* text);
/* 1 when lead and trailing bytes follow each other in order (a text ending
 * inside a sequence passes); a classification, not a validation. */
VCL_API int VCL_IsOnlyUTF8(const unsigned char* text);
/* 1 when the text is ASCII and double-byte pairs (0xA1-0xFE twice) only. */
VCL_API int VCL_IsOnlyDBCS(const unsigned char* text);

VCL_END_DECLS

#endif
