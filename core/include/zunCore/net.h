/*
 * Network clients: a small HTTP/1.0 download and the LDAP searches that fetch
 * certificate revocation lists. Plain TCP only: an https URL is refused, an
 * ldaps one too.
 */
#ifndef ZUNCORE_NET_H
#define ZUNCORE_NET_H

#include <zunCore/core_export.h>

/* Legacy codes of the LDAP functions (texts from VCL_GetErrorString). */
#define VCL_ERR_LDAP_CONNECT 1006004      /* no connection, or no answer in time */
#define VCL_ERR_LDAP_BIND 1006005         /* the bind was refused */
#define VCL_ERR_LDAP_SEARCH 1006006       /* the search failed */
#define VCL_ERR_LDAP_NO_ENTRY 1006007     /* no entry, or none of the attributes asked for */
#define VCL_ERR_LDAP_NO_ATTRIBUTE 1006008 /* the entry lacks the attribute */
#define VCL_ERR_LDAP_SCHEME 1006009       /* the URL's scheme is not "ldap" */

/* The largest body or value either client takes (64 MiB); more fails. */
#define VCL_NET_MAX_BODY (64 * 1024 * 1024)

VCL_BEGIN_DECLS

/* GET of an http URL ("http://host[:port]/path", or "host[:port]/path"),
 * connect time-out 30 s, 10 s for each wait while reading. Returns the body
 * of a 200 or 302 answer (a 302 is not followed) in a new buffer with a NUL
 * after it, and its length in *length; NULL, with *length untouched, for any
 * failure: another status, a body shorter than its Content-Length or cut by a
 * time-out, an empty body, more than VCL_NET_MAX_BODY. Released with free or
 * VCL_Free. */
VCL_API char* VCL_Http_Get_file(const char* url, int* length);

/* The CRL named by an LDAP URL of url_length bytes
 * ("ldap://host[:port]/dn[?attribute...]", %XX decoded): an anonymous
 * LDAPv3 bind and a search of the entry dn itself for the URL's attribute, or
 * else certificateRevocationList (with or without ";binary"), then
 * authorityRevocationList. The first value is handed out in *data (a NUL
 * after it, released with VCL_Free) with its length. Returns 0, 1001003 for a
 * NULL argument or a URL that is empty, 256 bytes or longer or malformed,
 * VCL_ERR_LDAP_SCHEME, VCL_ERR_LDAP_CONNECT (also when the server does not
 * answer within 10 s), VCL_ERR_LDAP_BIND, VCL_ERR_LDAP_SEARCH,
 * VCL_ERR_LDAP_NO_ENTRY (no such entry, no such attribute, an empty value),
 * 1001001 when memory is short. */
VCL_API int VCL_Ldap_Get_Data(const char* url, int url_length, unsigned char** data, int* data_length);

/* The first value of attribute in the first entry a subtree search of base
 * with filter finds on host:port, bound as bind_dn with password (both NULL:
 * anonymous). base and filter are EUC-KR; the value comes back as a new
 * EUC-KR text (VCL_Free). Returns 0, 1001003 (a NULL argument, a port outside
 * 1-65535, a text that does not convert), VCL_ERR_LDAP_CONNECT,
 * VCL_ERR_LDAP_BIND, VCL_ERR_LDAP_SEARCH, VCL_ERR_LDAP_NO_ENTRY,
 * VCL_ERR_LDAP_NO_ATTRIBUTE, 1001001. */
VCL_API int VCL_Ldap_Simple_Search(const char* host, int port, const char* bind_dn, const char* password,
                                   const char* base, const char* filter, const char* attribute, char** value);

VCL_END_DECLS

#endif
