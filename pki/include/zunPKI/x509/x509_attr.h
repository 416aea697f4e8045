/*
 * Attributes: SEQUENCE { type OBJECT IDENTIFIER, values SET OF value } and
 * the SET OF Attribute that carries them (signed and unsigned attributes of
 * signed messages, bag and key attributes, request attributes).
 */
#ifndef ZUNPKI_X509_ATTR_H
#define ZUNPKI_X509_ATTR_H

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/asn1/stack.h>

/* One value. */
typedef struct {
    int tag;     /* the value's identifier octet (0x06 OID, 0x04 OCTET STRING, 0x17 UTCTime, 0x30 SEQUENCE, ...) */
    void* value; /* tag & 0x20: an ASN1_UNIT holding the whole value; else an ASN1_STRING of the contents */
} X509_ATTRIBUTE_DATA;

typedef struct {
    OBJECT_IDENTIFIER* type;
    STACK* values; /* X509_ATTRIBUTE_DATA in order; starts empty */
} X509_ATTRIBUTE;

/* A STACK of X509_ATTRIBUTE in order; the list owns its attributes. */
typedef STACK X509_ATTRIBUTES;

ZUNPKI_BEGIN_DECLS

ZUNPKI_API X509_ATTRIBUTE_DATA* new_X509_ATTRIBUTE_DATA(void);
ZUNPKI_API void free_X509_ATTRIBUTE_DATA(X509_ATTRIBUTE_DATA* v);
ZUNPKI_API X509_ATTRIBUTE_DATA* dup_X509_ATTRIBUTE_DATA(const X509_ATTRIBUTE_DATA* v);

ZUNPKI_API X509_ATTRIBUTE* new_X509_ATTRIBUTE(void);
ZUNPKI_API void free_X509_ATTRIBUTE(X509_ATTRIBUTE* a);
ZUNPKI_API void clean_X509_ATTRIBUTE(X509_ATTRIBUTE* a);
ZUNPKI_API X509_ATTRIBUTE* dup_X509_ATTRIBUTE(const X509_ATTRIBUTE* a);
ZUNPKI_API int cmp_X509_ATTRIBUTE(const X509_ATTRIBUTE* a, const X509_ATTRIBUTE* b);
/* 0, or 1 for missing arguments or a failed copy. */
ZUNPKI_API int set_X509_ATTRIBUTE_OID(X509_ATTRIBUTE* a, const OBJECT_IDENTIFIER* oid);
/* Appends a copy of value: an ASN1_UNIT when tag & 0x20, else an ASN1_STRING. */
ZUNPKI_API int add_X509_ATTRIBUTE_data(X509_ATTRIBUTE* a, int tag, const void* value);
/* Appends the string itself (the attribute takes it over on success); its
 * type becomes the tag. */
ZUNPKI_API int add_X509_ATTRIBUTE_set(X509_ATTRIBUTE* a, ASN1_STRING* str);
ZUNPKI_API OBJECT_IDENTIFIER* get_X509_ATTRIBUTE_OID(const X509_ATTRIBUTE* a);
/* Number of values; 0 for null. */
ZUNPKI_API int get_X509_ATTRIBUTE_count(const X509_ATTRIBUTE* a);
/* The index-th value's tag, -1 when absent. */
ZUNPKI_API int get_X509_ATTRIBUTE_data_type(const X509_ATTRIBUTE* a, int index);
/* The index-th value (borrowed), null when absent. */
ZUNPKI_API void* get_X509_ATTRIBUTE_data(const X509_ATTRIBUTE* a, int index);
/* Fills *a (or a new attribute when a or *a is null) with the type and one
 * value (copies); the attribute, or null (a record made here is freed). */
ZUNPKI_API X509_ATTRIBUTE* create_X509_ATTRIBUTE_OID(X509_ATTRIBUTE** a, const OBJECT_IDENTIFIER* oid, int tag,
                                                     const void* value);
ZUNPKI_API X509_ATTRIBUTE* create_X509_ATTRIBUTE_index(X509_ATTRIBUTE** a, int row, int tag, const void* value);
ZUNPKI_API PKI_ERROR X509_ATTRIBUTE_to_Seq(const X509_ATTRIBUTE* a, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_X509_ATTRIBUTE(const ASN1_UNIT* node, X509_ATTRIBUTE** a);

ZUNPKI_API X509_ATTRIBUTES* new_X509_ATTRIBUTES(void);
/* Frees every attribute and the list; returns 0. */
ZUNPKI_API int free_X509_ATTRIBUTES(X509_ATTRIBUTES* list);
ZUNPKI_API X509_ATTRIBUTES* dup_X509_ATTRIBUTES(const X509_ATTRIBUTES* list);
ZUNPKI_API int get_X509_ATTRIBUTES_count(const X509_ATTRIBUTES* list);
ZUNPKI_API X509_ATTRIBUTE* get_X509_ATTRIBUTES_child(const X509_ATTRIBUTES* list, int index);
/* The first index after lastpos (from 0 when negative) whose type is oid, or
 * the row's identifier; -1 when none, -2 for a row without one. */
ZUNPKI_API int get_X509_ATTRIBUTES_index_by_OID(const X509_ATTRIBUTES* list, const OBJECT_IDENTIFIER* oid, int lastpos);
ZUNPKI_API int get_X509_ATTRIBUTES_index_by_OID_index(const X509_ATTRIBUTES* list, int row, int lastpos);
/* Insert a copy at pos (negative or beyond the count appends). 0, or 1 when
 * nothing was added (missing list, attribute that cannot be built, unknown
 * row, no memory). */
ZUNPKI_API int add_X509_ATTRIBUTES_child(X509_ATTRIBUTES* list, const X509_ATTRIBUTE* a, int pos);
ZUNPKI_API int add_X509_ATTRIBUTES_child_OID(X509_ATTRIBUTES* list, const OBJECT_IDENTIFIER* oid, int tag,
                                             const void* value, int pos);
ZUNPKI_API int add_X509_ATTRIBUTES_OID_INDEX(X509_ATTRIBUTES* list, int row, int tag, const void* value, int pos);
/* SET OF Attribute (identifier 0x31; callers that need [0] IMPLICIT change
 * the identifier octet). A missing or empty list is refused. */
ZUNPKI_API PKI_ERROR X509_ATTRIBUTES_to_Seq(const X509_ATTRIBUTES* list, ASN1_UNIT** node);
/* The attributes are appended to *list (made when null); on failure the list
 * is left as it was. */
ZUNPKI_API PKI_ERROR Seq_to_X509_ATTRIBUTES(const ASN1_UNIT* node, X509_ATTRIBUTES** list);

ZUNPKI_END_DECLS

#endif
