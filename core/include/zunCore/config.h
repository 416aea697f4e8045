/*
 * Sectioned configuration files: "[section]" lines and "key = value" lines,
 * "#" comments, values in double quotes (a "#" inside stays), verbatim
 * values between "{{" and "}}", and "$NAME" environment references (up to
 * the next "/", blank or tab) in other values. Lines that do not fit the
 * rules, or whose key or value comes out empty or too long, are skipped
 * silently.
 */
#ifndef ZUNCORE_CONFIG_H
#define ZUNCORE_CONFIG_H

#include <stdio.h>

#include <zunCore/core_export.h>

#define VCL_CONFIG_KEY_SIZE 128   /* a key, or "[section]" */
#define VCL_CONFIG_VALUE_SIZE 512 /* a processed value */
#define VCL_CONFIG_LINE_SIZE 512  /* a line as read, with its NUL */

/* One item per section line or key line, in file order. */
typedef struct {
    int count; /* item 0 only: the number of items in use */
    char key[VCL_CONFIG_KEY_SIZE];
    char value[VCL_CONFIG_VALUE_SIZE]; /* empty for a section line */
} VCL_CONFIG_ITEM;

VCL_BEGIN_DECLS

/* The file's items (release with VCL_Free_Config); NULL for a NULL path, a
 * file that cannot be opened, a file without counted lines, or short memory. */
VCL_API VCL_CONFIG_ITEM* VCL_Load_File(const char* path);
VCL_API void VCL_Free_Config(VCL_CONFIG_ITEM* items);

/* The value of key, pointing into the items, or NULL. section NULL: any key
 * of the file; 0 or 1 character: keys before the first section; else keys of
 * every occurrence of that section. The first match wins. */
VCL_API const char* VCL_Get_String(const VCL_CONFIG_ITEM* items, const char* section, const char* key);
/* atoi of VCL_Get_String's value; 0 when absent. */
VCL_API int VCL_Get_Num(const VCL_CONFIG_ITEM* items, const char* section, const char* key);
VCL_API int VCL_Get_Section_Count(const VCL_CONFIG_ITEM* items);
/* From item index from on, the next section: its name (no brackets) into name
 * (VCL_CONFIG_KEY_SIZE bytes) and the index after it; none: name empty and
 * the larger of from and the item count. */
VCL_API int VCL_Get_Next_Section(const VCL_CONFIG_ITEM* items, int from, char* name);
/* The n-th section (from 1): its name into name and its item index; none:
 * name empty and the item count. */
VCL_API int VCL_Get_Section_by_IDX(const VCL_CONFIG_ITEM* items, int n, char* name);
/* Keys from the first line of the section up to the next section line. */
VCL_API int VCL_Get_Section_Value_Count(const VCL_CONFIG_ITEM* items, const char* section);
/* From item index from, the section's line and its n-th key (from 1): key and
 * value copied (VCL_CONFIG_KEY_SIZE and VCL_CONFIG_VALUE_SIZE bytes); returns
 * the section line's index, 0 when it does not occur (both buffers emptied
 * when the n-th key is missing). */
VCL_API int VCL_Get_Section_Value_by_IDX(const VCL_CONFIG_ITEM* items, const char* section, int n, int from, char* key,
                                         char* value);

/* Pieces of at most 510 characters whose first character is neither "#" nor
 * a line feed, over the whole file; the position is kept. 0 for NULL. */
VCL_API int VCL_count_line(FILE* f);
/* One line of at most 511 characters into buf (VCL_CONFIG_LINE_SIZE bytes),
 * cut at its first CR or LF: 1, or 0 at the end or for NULL. */
VCL_API int VCL_read_line(FILE* f, char* buf);
/* The index of the first "=", 0 when none or the line begins with "#". */
VCL_API int VCL_get_value_index(const char* line);
/* The value processing of a key or section text of 1 to 511 characters into
 * out (VCL_CONFIG_VALUE_SIZE bytes); its length, 0 (out empty) for anything
 * else. */
VCL_API int VCL_trim(const char* text, char* out);
/* "$NAME" references replaced by the environment's values into out
 * (VCL_CONFIG_VALUE_SIZE bytes); the length, or 0 (out empty) when a name is
 * unset or longer than 255 characters or the result would not fit. */
VCL_API int VCL_convert_env(const char* text, char* out);

VCL_END_DECLS

#endif
