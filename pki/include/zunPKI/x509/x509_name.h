/*
 * Distinguished names: an ordered list of attribute entries, first RDN first,
 * with their DER codec, digest and equality.
 *
 * Each entry is one attribute. An RDN of several attributes (a multi-valued
 * RDN) is kept as consecutive entries whose later members have sameRdn set,
 * so a decoded name re-encodes to the same bytes.
 */
#ifndef ZUNPKI_X509_NAME_H
#define ZUNPKI_X509_NAME_H

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/asn1/stack.h>

typedef struct {
    OBJECT_IDENTIFIER* type; /* the attribute type, e.g. 2.5.4.3 for CN */
    ASN1_STRING* value;      /* type field: the value's identifier octet (12 UTF8String, 19 PrintableString, ...);
                                bytes: its contents octets unchanged */
    int sameRdn;             /* 1: belongs to the RDN of the entry before it; 0: starts an RDN */
} X509_NAME_CHILD;

/* A STACK of X509_NAME_CHILD; the name owns its entries. */
typedef STACK X509_NAME;

ZUNPKI_BEGIN_DECLS

ZUNPKI_API X509_NAME_CHILD* new_X509_NAME_CHILD(void);
ZUNPKI_API void free_X509_NAME_CHILD(X509_NAME_CHILD* entry);
ZUNPKI_API void clean_X509_NAME_CHILD(X509_NAME_CHILD* entry);
ZUNPKI_API X509_NAME_CHILD* dup_X509_NAME_CHILD(const X509_NAME_CHILD* entry);
ZUNPKI_API int cmp_X509_NAME_CHILD(const X509_NAME_CHILD* a, const X509_NAME_CHILD* b);
/* Borrowed; null for null. */
ZUNPKI_API OBJECT_IDENTIFIER* get_X509_NAME_CHILD_OID(const X509_NAME_CHILD* entry);
ZUNPKI_API ASN1_STRING* get_X509_NAME_CHILD_data(const X509_NAME_CHILD* entry);

ZUNPKI_API X509_NAME* new_X509_NAME(void);
ZUNPKI_API void free_X509_NAME(X509_NAME* name);
ZUNPKI_API X509_NAME* dup_X509_NAME(const X509_NAME* name);

/* Number of entries; 0 for null. */
ZUNPKI_API int get_X509_NAME_count(const X509_NAME* name);
/* Borrowed entry; null outside 0..count-1. */
ZUNPKI_API X509_NAME_CHILD* get_X509_NAME_CHILD(const X509_NAME* name, int index);
/* The first index after lastpos (from 0 when negative) whose type is oid; -1 if none. */
ZUNPKI_API int get_X509_NAME_index_by_OID(const X509_NAME* name, const OBJECT_IDENTIFIER* oid, int lastpos);
/* Takes the entry out and hands it to the caller; null for a bad index. */
ZUNPKI_API X509_NAME_CHILD* remove_X509_NAME_child(X509_NAME* name, int index);
/* Insert a copy at pos (negative or beyond the count appends). 0, or 1 when
 * nothing was added (missing name, entry or OID, bytes missing for a
 * non-zero length, unknown row, no memory). A negative len takes strlen. */
ZUNPKI_API int add_X509_NAME_child(X509_NAME* name, const X509_NAME_CHILD* entry, int pos);
ZUNPKI_API int add_X509_NAME_child_OID(X509_NAME* name, const OBJECT_IDENTIFIER* oid, int type,
                                       const unsigned char* bytes, int len, int pos);
ZUNPKI_API int add_X509_NAME_child_OID_index(X509_NAME* name, int row, int type, const unsigned char* bytes, int len,
                                             int pos);

/* Name SEQUENCE; an empty name is 30 00. */
ZUNPKI_API PKI_ERROR X509_NAME_to_Seq(const X509_NAME* name, ASN1_UNIT** node);
/* Into *name (its entries are replaced on success) or a new name. */
ZUNPKI_API PKI_ERROR Seq_to_X509_NAME(const ASN1_UNIT* node, X509_NAME** name);

/* Digest of the name's DER into out (large enough for the digest); the digest
 * length, or -1 for a missing or empty name, a missing out, or a failure. */
ZUNPKI_API int get_X509_NAME_hash(const X509_NAME* name, int digestId, unsigned char* out);
/* 0 when the DER encodings are byte-identical, -1 when they differ (or the
 * entry counts do), 1 when either is missing or does not encode. */
ZUNPKI_API int cmp_X509_NAME(const X509_NAME* a, const X509_NAME* b);

ZUNPKI_END_DECLS

#endif
