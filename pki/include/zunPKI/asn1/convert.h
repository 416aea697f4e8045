/* Korean text conversion between KS X 1001 (the double-byte part of EUC-KR,
 * called CP949 here), UTF-8 and BMPString, and byte-width helpers. Results are
 * new zero-terminated buffers that the caller frees with VSC_Free. */
#ifndef ZUNPKI_CONVERT_H
#define ZUNPKI_CONVERT_H

#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/asn1/asn1.h>

ZUNPKI_BEGIN_DECLS

/* Unicode code point of each KS X 1001 cell: cell (lead - 0xA1) * 94 +
 * (trail - 0xA1) for lead 0xA1-0xFD and trail 0xA1-0xFE; 0xFFFF marks an
 * unassigned cell. */
ZUNPKI_API extern const unsigned short cp949Table[];
ZUNPKI_API extern const int cp949TableSize;

/* The code point of (lead, trail); 0 outside the table or for an unassigned cell. */
ZUNPKI_API int cp949ToUnicode(int lead, int trail);

/* A new two-byte KS X 1001 character (zero-terminated) for codePoint; null
 * when the character has none. */
ZUNPKI_API unsigned char* unicodeToCP949(int codePoint);

/* Zero-terminated KS X 1001 text to UTF-8 or to BMP (big-endian UCS-2).
 * Return the output length; 0 with *out null when the text holds a byte pair
 * that is not a KS X 1001 character. */
ZUNPKI_API int cp949ToUTF8(const char* text, char** out);
ZUNPKI_API int cp949ToBMP(const char* text, unsigned char** out);

/* UTF-8 or BMP string to KS X 1001 text. Return the output length; 0 with
 * *out null for malformed input or a character KS X 1001 lacks. */
ZUNPKI_API int utf8ToCP949(const ASN1_STRING* str, char** out);
ZUNPKI_API int bmpToCP949(const ASN1_STRING* str, char** out);

/* Bytes widened to big-endian two-byte units (len -1: strlen), followed by two
 * zero bytes; *outLen = 2 * (len + 1). The buffer is returned and, when out is
 * given, stored there. */
ZUNPKI_API unsigned char* ascTouni(const char* text, int len, unsigned char** out, int* outLen);

/* The low byte of each two-byte unit, zero-terminated. */
ZUNPKI_API char* uniToasc(const unsigned char* units, int len);

/* Hexadecimal text to bytes in the caller's buffer, which must hold
 * (len + 1) / 2 bytes (an odd last digit fills the high half of a byte).
 * Returns the byte count; 0 for null input, len <= 0 or a non-hex character. */
ZUNPKI_API int hexToASCII(const char* hex, int len, unsigned char* out);

ZUNPKI_END_DECLS

#endif
