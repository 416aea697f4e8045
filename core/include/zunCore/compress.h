/*
 * Pattern compression for short texts: each byte is classified into a
 * character class, and every run of one class is written as a header byte
 * (class base in the high nibble, run length - 1 in the low one) followed by
 * its characters packed in fewer bits, most significant bit first.
 *
 * Class buffer: one character per input byte, '0' (unclassified) or a class
 * code '1'-'9', 'A', 'B', and room for len + 2 characters (index len and a
 * terminator are written too).
 *
 * Limits: an input of at most VCL_COMPRESS_MAX_TEXT bytes, a stream of at most
 * VCL_COMPRESS_MAX_STREAM bytes in at most VCL_COMPRESS_MAX_RUNS runs. Output
 * buffers hold VCL_COMPRESS_BUFFER_SIZE bytes (the stream or text and a NUL).
 * Failures return -1 and leave 1004000 (compression) or 1004001
 * (decompression) in VCLLastErrorCode.
 */
#ifndef ZUNCORE_COMPRESS_H
#define ZUNCORE_COMPRESS_H

#include <zunCore/core_export.h>

#define VCL_COMPRESS_MAX_TEXT 8192
#define VCL_COMPRESS_MAX_STREAM 8192
#define VCL_COMPRESS_MAX_RUNS 4096
#define VCL_COMPRESS_BUFFER_SIZE 8193

VCL_BEGIN_DECLS

/* Classifies the input into pattern (len + 2 characters) and compresses it
 * into out (VCL_COMPRESS_BUFFER_SIZE bytes). The stream length, or -1. */
VCL_API int VCL_CompressData(const unsigned char* in, char* pattern, int len, unsigned char* out);

/* The stream of an input already classified: runs of one code, cut at 16
 * characters (14 for codes '6' and 'B'). A character marked with a class it
 * does not belong to is written unclassified. The stream length, or -1 (an
 * input or stream past the limits). */
VCL_API int VCL_Compress(const unsigned char* in, const char* pattern, int len, unsigned char* out);

/* Writes one numeric run (in[start..end], 1 to 16 characters of the numeric
 * class) at out + *pos (room for 9 bytes) and advances *pos; 0, or -1 for a
 * bad range or a character outside the class. */
VCL_API int VCL_CompressPattern2(const unsigned char* in, int start, int end, int* pos, unsigned char* out);

/* Rebuilds the text into out (VCL_COMPRESS_BUFFER_SIZE bytes) and
 * NUL-terminates it; its length, or -1 for bad arguments, a stream longer
 * than VCL_COMPRESS_MAX_STREAM bytes or ending inside a run, or a text past
 * VCL_COMPRESS_MAX_TEXT bytes. */
VCL_API int VCL_Decompress(const unsigned char* stream, int len, unsigned char* out);

/* Marking functions: in still unclassified positions, every run of the
 * class's members at least as long as its shortest run gets the class's
 * code. Blank (code '1', shortest 1) returns the count marked, -1 for a null
 * argument or len <= 0; numeric ('2', 4) the count marked; the others 0. */
VCL_API int VCL_SetBlankPattern(const unsigned char* in, char* pattern, int len);
VCL_API int VCL_SetNumericPattern(const unsigned char* in, char* pattern, int len);
VCL_API int VCL_SetAlphaNumericCasePattern(const unsigned char* in, char* pattern, int len); /* '3', 6 */
VCL_API int VCL_SetLowerCasePattern(const unsigned char* in, char* pattern, int len);        /* '4', 5 */
VCL_API int VCL_SetUpperCasePattern(const unsigned char* in, char* pattern, int len);        /* '5', 5 */
VCL_API int VCL_SetControlASCIIPattern(const unsigned char* in, char* pattern, int len);     /* '6', 7 */
VCL_API int VCL_SetControlFrontPattern(const unsigned char* in, char* pattern, int len);     /* '7', 6 */
VCL_API int VCL_SetControlTailPattern(const unsigned char* in, char* pattern, int len);      /* '8', 6 */
VCL_API int VCL_SetBinaryFrontPattern(const unsigned char* in, char* pattern, int len);      /* '9', 6 */
VCL_API int VCL_SetBinaryTailPattern(const unsigned char* in, char* pattern, int len);       /* 'A', 6 */
VCL_API int VCL_SetBinaryPattern(const unsigned char* in, char* pattern, int len);           /* 'B', 7 */
/* Writes code into buffer[from..to], both included. */
VCL_API void VCL_SetCheckFlag(int from, int to, char* buffer, int code);

VCL_END_DECLS

#endif
