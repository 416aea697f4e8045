/*
 * Small helpers: releasing the library's buffers, whole-file input and
 * output, trimming, tokenising, sub-strings, hex texts, and time texts
 * (YYYYMMDDhhmmss) against the clock plus the network-time offset.
 */
#ifndef ZUNCORE_UTIL_H
#define ZUNCORE_UTIL_H

#include <stdio.h>
#include <time.h>

#include <zunCore/core_export.h>

VCL_BEGIN_DECLS

/* ---- Memory and files --------------------------------------------------- */
/* Zeroes len bytes of buf, then frees it; NULL is ignored. Every buffer the
 * library hands out is released this way. */
VCL_API void VCL_Free(void* buf, int len);
/* The whole file in a new buffer (a NUL after its bytes) and its length:
 * 0, 0xc9010002 for a NULL argument, 0xc901000c when it cannot be read (an
 * empty file included), 0xc9010001 when memory is short. */
VCL_API int VCL_Read_File(const char* path, unsigned char** buf, int* len);
/* Writes len bytes to path (a new file renamed over the old): 0, or 0xc902000d. */
VCL_API int VCL_Write_File(const unsigned char* buf, int len, const char* path);
/* The log's hex dump (rules, column header, 16 bytes a line) to f, or to
 * standard output for NULL; returns the closing rule's character count (81). */
VCL_API int VCL_HexaDump(FILE* f, const unsigned char* data, int len);

/* ---- Strings ------------------------------------------------------------ */
/* Removes leading and trailing blanks, tabs, CR and LF in place; returns s. */
VCL_API char* VCL_StrTrim(char* s);
/* The first character of s not in set. */
VCL_API char* VCL_ltrim(const char* s, const char* set);
/* A new string of the len characters from start (fewer when s ends first).
 * NULL for NULL s, start outside 0..strlen(s) or a negative len
 * (VCLLastErrorCode 1001003), or short memory (1001001). */
VCL_API char* VCL_StrMid(const char* s, int start, int len);
/* From pos, skips delim characters, copies the characters up to the next
 * delim, position len or the end of s into token (NUL-terminated, which must
 * hold them), stores their count and returns the position where it stopped. */
VCL_API int VCL_str_token(int pos, const char* s, int len, char delim, char* token, int* token_len);
/* A tokenizer whose remainder lives in the caller's buffer *rest (as large as
 * the text): with s, s itself is tokenised (the token is cut in place); with
 * NULL, a copy of *rest, kept by the calling thread until its next call.
 * Leading set characters are skipped, the token ends at the next one, what
 * follows is copied into *rest; NULL when no token is left. */
VCL_API char* VCL_strtok(char* s, const char* set, char** rest);
/* Every token of s (split at runs of set characters) followed by with, in a
 * new string; NULL for NULL arguments or short memory. */
VCL_API char* VCL_replace(const char* s, const char* set, const char* with);
/* The first case-insensitive occurrence of needle, or NULL. */
VCL_API char* VCL_stristr(const char* haystack, const char* needle);
/* Compares two hex texts after dropping blanks, ":", "0x" and leading zeros
 * and upper-casing: the longer is greater (1 / -1), else strcmp; -1 for NULL. */
VCL_API int VCL_cmp_HEX_STR(const char* a, const char* b);
/* The value of a hex text with an optional "0x"; -1 for a non-hex character,
 * NULL or a value past int; 0 for the empty text. */
VCL_API int VCL_hexa2i(const char* s);
/* In text of delim-separated "key=value" items, the trimmed value of the last
 * item whose trimmed key is name, in a new buffer: 0; 0xc9040007 when none,
 * 0xc9040002 for a NULL argument, 0xc9040001 when memory is short (then
 * *value is NULL). text is not changed. */
VCL_API int VCL_Parse_String_By_Name(char* text, const char* delim, const char* name, char** value);

/* ---- Time texts: YYYYMMDDhhmm[ss] --------------------------------------- */
/* The instant of a local time text of 12 or 14 digits; -1 otherwise. */
VCL_API time_t VCL_Str_to_Time(const char* t);
/* out (15 bytes) = the GMT text of a local text, or the local text of a GMT
 * text; 0, or -1 (out empty) for a text that does not read. */
VCL_API int VCL_Local2GMTime(const char* local, char* out);
VCL_API int VCL_GM2LocalTime(const char* gmt, char* out);
/* 0 when now (the clock plus g_gap_with_ntp) lies within the GMT texts
 * [from, to], both included; else -1. _2 tests now - shift. */
VCL_API int VCL_IsValidDate(const char* from, const char* to);
VCL_API int VCL_IsValidDate2(const char* from, const char* to, int shift);
/* Mode 1: -1 when from lies more than early seconds after now or now more
 * than late seconds after to (or a text does not read); 0 otherwise. */
VCL_API int VCL_Verify_CertTime(int mode, const char* from, const char* to, int early, int late);

VCL_END_DECLS

#endif
