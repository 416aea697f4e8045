/*
 * Functions for programs run as CGI scripts: request parameters (query
 * string, url-encoded or multipart POST body with uploaded files), cookies
 * and name=value files decoded into lists; the content type, cookies, text
 * with links and HTML escaping, and an error page printed to standard
 * output; counter files; checks of e-mail addresses, URLs and strings.
 *
 * The request and cookie lists are process-wide and built once: a second
 * decoding while a list exists returns -1. Decoding failures (a body that is
 * malformed, short or longer than VCL_CGI_MAX_CONTENT_LENGTH) end the process
 * through the error page with status 1. Text printed into HTML (entries,
 * error messages) is HTML-escaped.
 */
#ifndef ZUNCORE_CGI_H
#define ZUNCORE_CGI_H

#include <time.h>

#include <zunCore/core_export.h>

/* Largest request body accepted (16 MiB). */
#define VCL_CGI_MAX_CONTENT_LENGTH 16777216
/* Room for VCL_CGIGetGMTTime's text: "Wed, 01-Jan-2025 00:00:00 GMT" and a NUL. */
#define VCL_CGI_GMT_TIME_SIZE 30
/* Longest message of VCL_CGIPrintfMessage and VCL_CGIError. */
#define VCL_CGI_MAX_MESSAGE 1000

/* One list node; names and values are owned by the list. */
typedef struct VCL_CGI_ENTRY {
    char* name;
    char* value;
    struct VCL_CGI_ENTRY* next;
} VCL_CGI_ENTRY;

/* The CGI variables (NULL when unset) and the local time. */
typedef struct VCL_CGI_ENV {
    const char* auth_type;
    const char* content_length;
    const char* content_type;
    const char* document_root;
    const char* gateway_interface;
    const char* http_accept;
    const char* http_cookie;
    const char* http_user_agent;
    const char* query_string;
    const char* remote_addr;
    const char* remote_host;
    const char* remote_user;
    const char* remote_port;
    const char* request_method;
    const char* script_name;
    const char* script_filename;
    const char* server_name;
    const char* server_protocol;
    const char* server_port;
    const char* server_software;
    const char* server_admin;
    int year; /* four digits */
    int mon;  /* 1-12 */
    int day;
    int hour;
    int min;
    int sec;
} VCL_CGI_ENV;

VCL_BEGIN_DECLS

/* ---- Request entries ---------------------------------------------------- */
/* Builds the request list: a multipart/form-data body, or the query string
 * and then, for POST, the url-encoded body. The entry count, -1 when the
 * list exists. */
VCL_API int VCL_CGIQueryDecoder(void);
/* The value of the first entry of that name (decoding first when needed), or NULL. */
VCL_API const char* VCL_CGIQueryFindValue(const char* name);
/* atoi of the value, 0 when absent. */
VCL_API int VCL_CGIQueryFindValue2Int(const char* name);
/* Appends "&name=value" for every entry but "ZUNpluginData" and values
 * beginning "***", then "&test=test", to the file: 1, or 0 when it cannot be
 * written. */
VCL_API int VCL_CGIQueryEntryPrint(const char* path);
/* Writes "&name=value" (URL-encoded) for every entry but "ZUNpluginData" and
 * those whose "name=" occurs in exclude into buffer (size bytes, with the
 * NUL): the length, or -1 (buffer empty) when it does not fit. */
VCL_API int VCL_CGIQuery(char* buffer, int size, const char* exclude);
/* Content type text/html, then "'name' = 'value'<br>" per entry. */
VCL_API void VCL_CGIQueryPrintAllEntries(void);
VCL_API void VCL_CGIQueryFreeEntries(void);

/* ---- name=value files --------------------------------------------------- */
/* Lines trimmed; empty ones and those beginning "#" skipped; the rest cut at
 * the first "=" into a trimmed name and value. NULL when the file cannot be
 * opened or holds no entry. */
VCL_API VCL_CGI_ENTRY* VCL_CGIFileDecoder(const char* path);
VCL_API const char* VCL_CGIFileFindValue(const VCL_CGI_ENTRY* list, const char* name);
VCL_API void VCL_CGIFilePrintEntries(const VCL_CGI_ENTRY* list);
VCL_API void VCL_CGIFileFreeEntries(VCL_CGI_ENTRY* list);

/* ---- Cookies ------------------------------------------------------------ */
/* Builds the cookie list from HTTP_COOKIE: the count (0 without cookies), -1
 * when the list exists. */
VCL_API int VCL_CGICookieAnayzer(void);
VCL_API const char* VCL_CGICookieFindValue(const char* name);
VCL_API void VCL_CGICookiePrintEntries(void);
VCL_API void VCL_CGICookieFreeEntries(void);
/* Prints "Set-Cookie: name=value" (URL-encoded), "; expires=" days x 86400 s
 * ahead (days non-zero), "; domain=", "; path=" (when given) and "; secure"
 * (secure non-zero). 0, or -1 with nothing printed for a NULL name, a domain
 * or path holding CR, LF or ";", or an expiry past the year 9999. */
VCL_API int VCL_CGISetCookie(const char* name, const char* value, int days, const char* domain, const char* path,
                             int secure);

/* ---- Output ------------------------------------------------------------- */
/* "Content-type: type" and an empty line, once; later calls print nothing. */
VCL_API void VCL_CGIPrintContentType(const char* type);
/* Formats at most VCL_CGI_MAX_MESSAGE characters (longer: the error page)
 * and prints them with VCL_CGIPuts. */
VCL_API void VCL_CGIPrintfMessage(int mode, const char* format, ...) __attribute__((format(printf, 2, 3)));
/* Mode 0 unchanged; 10 with line breaks as <br> and doubled blanks as &nbsp;;
 * 1-6 and 11-16 cut at blanks and punctuation, links made (2, 3, 5, 6;
 * target "_top" for 3 and 6), separators escaped (1-3 all of <>"&, 4-6 only
 * " and & outside tags), 11-16 also converting blanks and line breaks. Any
 * other mode: the error page. */
VCL_API void VCL_CGIPuts(int mode, const char* text);
/* The error page with the formatted message (escaped), a line in the error
 * log when one is set, and exit status 1. */
VCL_API void VCL_CGIError(const char* format, ...) __attribute__((format(printf, 1, 2), noreturn));
VCL_API void VCL_CGIErrorLog(const char* path);
VCL_API void VCL_CGIErrorContact(const char* text);

/* ---- Environment and time ----------------------------------------------- */
VCL_API void VCL_CGIEnv(VCL_CGI_ENV* env);
/* The local time with tm_year + 1900 and tm_mon + 1 applied (per thread). */
VCL_API struct tm* VCL_CGIGetTime(void);
/* The UTC time seconds ahead as "Wed, 01-Jan-2025 00:00:00 GMT" into buffer
 * (VCL_CGI_GMT_TIME_SIZE bytes); that time, or -1 (buffer empty) past the
 * year 9999 or before 1970. */
VCL_API time_t VCL_CGIGetGMTTime(char* buffer, int seconds);

/* ---- Files and counters ------------------------------------------------- */
/* 1 when the file opens for reading, else 0. */
VCL_API int VCL_CGICheckFile(const char* path);
/* Copies the file to standard output: 1, or 0 when it cannot be opened. */
VCL_API int VCL_CGIPrintFileStdOut(const char* path);
/* Counter files of "%d\n", under an flock so concurrent scripts count each
 * update. Read: the value, 0 when absent. Save: 1 or 0. Update: increments
 * (a new file starts at 1) and returns the new value, 0 on failure. */
VCL_API int VCL_CGIReadCounter(const char* path);
VCL_API int VCL_CGISaveCounter(const char* path, int value);
VCL_API int VCL_CGIUpdateCounter(const char* path);

/* ---- Checks ------------------------------------------------------------- */
VCL_API int VCL_CGICheckEmail(const char* text);
/* 1 when text begins "http://", "ftp://", "telnet://", "mailto:" or "news:". */
VCL_API int VCL_CGIURLCheck(const char* text);
/* Removes leading blanks and tabs and trailing blanks, tabs, CR and LF in
 * place; returns text. */
VCL_API char* VCL_CGISpaceRemover(char* text);
/* 1 when every character is an ASCII digit or letter (the empty text too). */
VCL_API int VCL_CGICheckStr09AZaz(const char* text);

VCL_END_DECLS

#endif
