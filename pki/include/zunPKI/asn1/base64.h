/* Base64 with the standard alphabet and '=' padding. */
#ifndef ZUNPKI_BASE64_H
#define ZUNPKI_BASE64_H

#include <zunPKI/asn1/pki_export.h>

ZUNPKI_BEGIN_DECLS

/* Encodes len bytes into a new NUL-terminated text; with lineFlag 1 a newline
 * follows every 64 characters except the last. Returns the text length, 0 for
 * null arguments. Free *text with VSC_Free. */
ZUNPKI_API int encode_Base64(const unsigned char* data, int len, char** text, int lineFlag);

/* The same with lines of width characters and one newline at the very end. */
ZUNPKI_API int encode_Base64_Line(const unsigned char* data, int len, char** text, int width);

/* Decodes exactly len characters; "\n" and "\r\n" line ends are skipped.
 * Returns the byte count (the buffer has a NUL after the data). On malformed
 * text (a character outside the alphabet, misplaced padding, an incomplete
 * group) it returns 0 and leaves *bytes null. */
ZUNPKI_API int decode_Base64(const char* text, int len, unsigned char** bytes);

ZUNPKI_END_DECLS

#endif
