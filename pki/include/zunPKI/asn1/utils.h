/* Diagnostic output, whole-file input and output, and the library version. */
#ifndef ZUNPKI_UTILS_H
#define ZUNPKI_UTILS_H

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/pki_export.h>

ZUNPKI_BEGIN_DECLS

/* Prints each byte as "%02X:" and the last one as "%02X\n"; returns n, 0 for
 * null bytes. _nl prints a lone newline for n = 0; _no_nl leaves out the
 * final newline. */
ZUNPKI_API int VKL_print_hex(const unsigned char* bytes, int n);
ZUNPKI_API int VKL_print_hex_nl(const unsigned char* bytes, int n);
ZUNPKI_API int VKL_print_hex_no_nl(const unsigned char* bytes, int n);
/* "01:AB" for the bytes 01 AB, in a new text; null for null bytes. */
ZUNPKI_API char* dump_hex(const unsigned char* bytes, int n);

/* Prints n characters and a newline. */
ZUNPKI_API void print_PCHAR(const char* chars, int n);
/* The n characters in a new zero-terminated text. */
ZUNPKI_API char* dump_PCHAR(const char* chars, int n);

/* A value printed, or rendered into a new text, by its type: hex for bit and
 * octet strings, "dotted - (long name)" for object identifiers, KS X 1001
 * text for UTF8String and BMPString, the characters of the other strings. */
ZUNPKI_API void print_ASN1STRING(const ASN1_STRING* str);
ZUNPKI_API char* dump_ASN1STRING(const ASN1_STRING* str);

/* The whole file in a new buffer (with a NUL after it); its size, or -1 for
 * a null path, a file that cannot be read, an empty file or a short read. */
ZUNPKI_API int File_to_binary(const char* path, unsigned char** bytes);
/* Writes data[offset, end) to path: to a new file beside it, then renamed over
 * it, so a failed write leaves the old file as it was. The count written, or
 * -1 for null arguments, end <= offset, offset < 0, or a failed write. */
ZUNPKI_API int binary_to_File(const unsigned char* data, int offset, int end, const char* path);

/* "5.2.4" */
ZUNPKI_API const char* get_PkiVersion(void);

ZUNPKI_END_DECLS

#endif
