/*
 * Certificate extension lists: the Extension record, the list operations,
 * lookup by object identifier or table row, and the Extensions codec. An
 * extension's value stays the DER of its body.
 */
#ifndef ZUNPKI_X509V3_H
#define ZUNPKI_X509V3_H

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/asn1/stack.h>

typedef struct {
    OBJECT_IDENTIFIER* extnID;
    int critical;            /* 0, or -1 (all bits set) when critical */
    OCTET_STRING* extnValue; /* the DER of the extension body */
} X509_EXTENSION;

/* A STACK of X509_EXTENSION in encoding order; the list owns its records. */
typedef STACK X509_EXTENSIONS;

ZUNPKI_BEGIN_DECLS

ZUNPKI_API X509_EXTENSION* new_X509_EXTENSION(void);
ZUNPKI_API void free_X509_EXTENSION(X509_EXTENSION* ext);
ZUNPKI_API void clean_X509_EXTENSION(X509_EXTENSION* ext);
ZUNPKI_API X509_EXTENSION* dup_X509_EXTENSION(const X509_EXTENSION* ext);
ZUNPKI_API int cmp_X509_EXTENSION(const X509_EXTENSION* a, const X509_EXTENSION* b);

ZUNPKI_API X509_EXTENSIONS* new_X509_EXTENSIONS(void);
ZUNPKI_API void free_X509_EXTENSIONS(X509_EXTENSIONS* list);
ZUNPKI_API X509_EXTENSIONS* dup_X509_EXTENSIONS(const X509_EXTENSIONS* list);

/* 0 for null. */
ZUNPKI_API int get_X509_EXTENSION_count(const X509_EXTENSIONS* list);
/* Borrowed; null outside 0..count-1. */
ZUNPKI_API X509_EXTENSION* get_X509_EXTENSION(const X509_EXTENSIONS* list, int index);
/* Takes the record out and hands it to the caller; null for a bad index. */
ZUNPKI_API X509_EXTENSION* remove_X509_EXTENSION(X509_EXTENSIONS* list, int index);
/* The first index from max(lastpos + 1, 0) whose extnID is oid; -1 if none. */
ZUNPKI_API int get_X509_EXTENSION_index_by_OID(const X509_EXTENSIONS* list, const OBJECT_IDENTIFIER* oid, int lastpos);
/* The same for a table row; -2 when the row has no identifier. */
ZUNPKI_API int get_X509_EXTENSION_index_by_OID_index(const X509_EXTENSIONS* list, int row, int lastpos);
/* Inserts a copy at pos (negative or beyond the count appends), making the
 * list when *list is null (stored only on success). 0, or 1. */
ZUNPKI_API int add_X509_EXTENSION(X509_EXTENSIONS** list, const X509_EXTENSION* ext, int pos);

/* Setters: 0, or 1 for a missing record or value. */
ZUNPKI_API int set_X509_EXTENSION_object(X509_EXTENSION* ext, const OBJECT_IDENTIFIER* oid);
/* Critical when flag > 0. */
ZUNPKI_API int set_X509_EXTENSION_critical(X509_EXTENSION* ext, int flag);
/* value: an OCTET_STRING holding the DER of the body; its bytes are copied. */
ZUNPKI_API int set_X509_EXTENSION_data(X509_EXTENSION* ext, const OCTET_STRING* value);
/* Fills *ext (or a new record when ext or *ext is null); the record, or null
 * on failure (a record made here is freed). */
ZUNPKI_API X509_EXTENSION* create_X509_EXTENSION_by_OID(X509_EXTENSION** ext, const OBJECT_IDENTIFIER* oid,
                                                        int critical, const OCTET_STRING* value);
ZUNPKI_API X509_EXTENSION* create_X509_EXTENSION_by_OID_index(X509_EXTENSION** ext, int row, int critical,
                                                              const OCTET_STRING* value);
ZUNPKI_API OBJECT_IDENTIFIER* get_X509_EXTENSION_object(const X509_EXTENSION* ext);
ZUNPKI_API OCTET_STRING* get_X509_EXTENSION_data(const X509_EXTENSION* ext);
/* 1 when critical, else 0 (also for null). */
ZUNPKI_API int get_X509_EXTENSION_critical(const X509_EXTENSION* ext);

/* Extensions SEQUENCE; a missing or empty list is refused. */
ZUNPKI_API PKI_ERROR X509_EXTENSIONS_to_Seq(const X509_EXTENSIONS* list, ASN1_UNIT** node);
/* The records are appended to *list (made when null); on failure the list is
 * left as it was. */
ZUNPKI_API PKI_ERROR Seq_to_X509_EXTENSIONS(const ASN1_UNIT* node, X509_EXTENSIONS** list);

ZUNPKI_END_DECLS

#endif
