/*
 * The store library's start and clean-up, its log, the release of every
 * buffer it hands out, and the name=value parser.
 *
 * The library keeps process-wide state without locks (domain contexts, the
 * index-based certificate list, the session-key table, the key-exchange and
 * request holders): callers serialise their calls, as the agent does from
 * its job thread. VPL_Cleanup returns all of it to its state at load.
 */
#ifndef ZEPHALTPAVIX_BASE_H
#define ZEPHALTPAVIX_BASE_H

#include <zephaltpavix/store_export.h>

/* One field to extract with VPL_Parse_WithNames. */
typedef struct {
    int order;            /* the caller's index; the array comes back sorted by it */
    char* name;           /* owned by the array when VPL_Parse_st_Free releases it */
    char* value;          /* set by the parser: a new text, NULL when the name is absent */
    const char* position; /* the parser's own; the caller sets it to NULL */
} NamedValue;

VPL_BEGIN_DECLS

/* Entries of the index-based certificate list and of the session-key table. */
VPL_API extern int g_nCertCnt;
VPL_API extern int g_nSkIdInfoCnt;

/* Nothing to set up: state is made when first used. */
VPL_API void VPL_Init(void);
/* Releases the index-based list and the session-key table (both counts to
 * 0), every domain context, the pending request and the key-exchange
 * holder. Harmless when called again. */
VPL_API void VPL_Cleanup(void);
/* Releases the index-based list and the session-key table only. */
VPL_API void VPL_SkIdArrayCleanup(void);

/* The library logs through the core's log (file mode). */
VPL_API int VPL_LogInit(const char* dir, const char* prefix, int level);
VPL_API void VPL_LogClose(void);
VPL_API void VPL_SetLogLevel(int level);
/* Formats at most 2047 characters (longer text is cut) and writes them as
 * one record; file and line are not passed on. */
VPL_API void VPL_Log(int level, const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
VPL_API void VPL_Log_HEXA(int level, const char* file, int line, const char* title, const void* data, int len);

/* Zeroes len bytes of buf, then frees it; NULL is ignored. Every buffer a
 * VPL_ function hands out is released this way, with its length. */
VPL_API void VPL_Free(void* buf, int len);

/* Values of named fields of a text such as "name1=value1&name2=value2"
 * (separator '=', delimiter '&'). A field is found after a delimiter, or at
 * the start of the text; the first such occurrence counts, also inside
 * another field's value. A value runs to the delimiter before the next found
 * field (to the end of the text, less a final delimiter, for the last);
 * with keepDelimiters 0 it is cut at its first delimiter. A name asked for
 * twice gets an empty value at its first place. 0, or -1 for a NULL text or
 * items. */
VPL_API int VPL_Parse_WithNames(const char* text, NamedValue* items, int count, char separator, char delimiter,
                                int keepDelimiters);
/* Frees each item's name and value (free), then the array (free); NULL is
 * ignored. */
VPL_API void VPL_Parse_st_Free(NamedValue* items, int count);

VPL_END_DECLS

#endif
