/* The object-identifier table: 842 rows of short name, long name and dotted
 * text. A row number is the identifier's handle throughout the library; row 0
 * is "undefined" and the answer of every failed lookup. */
#ifndef ZUNPKI_ASN1_OBJECTS_H
#define ZUNPKI_ASN1_OBJECTS_H

#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/asn1/asn1.h>

ZUNPKI_BEGIN_DECLS

typedef struct {
    const char* sn;  /* short name (null for an unused row) */
    const char* ln;  /* long name (null for an unused row) */
    const char* oid; /* dotted text, null when the row has no identifier */
} OID_TABLE;

#define OID_TABLE_ROWS 842

/* Our own arc, for the rows "veridan-encrypted-random" (836) and
 * "veridan-encrypted-device-info" (839). */
#define ZUNPKI_OWN_OID_ARC "1.3.6.1.4.1.32473.1"

/* The first row whose dotted text is exactly the len bytes of text; 0 if none. */
ZUNPKI_API int index_from_oid_string(const char* text, int len);
ZUNPKI_API int index_from_OBJECT_IDENTIFIER(const OBJECT_IDENTIFIER* oid);
/* The first row whose short (long) name is exactly the len bytes of name. */
ZUNPKI_API int index_from_sn(const char* name, int len);
ZUNPKI_API int index_from_ln(const char* name, int len);
/* The names of a row, null outside 1-841. */
ZUNPKI_API const char* sn_from_index(int row);
ZUNPKI_API const char* ln_from_index(int row);
/* A new OBJECT_IDENTIFIER of the row's dotted text; null outside 1-841 and for
 * rows without one. */
ZUNPKI_API OBJECT_IDENTIFIER* index_to_OBJECT_IDENTIFIER(int row);
/* With row 0 the row is looked up by short name, then by long name. */
ZUNPKI_API OBJECT_IDENTIFIER* get_OBJECT_IDENTIFIER(const char* name, int row);
/* The row itself (row 0 for numbers outside 0-841). */
ZUNPKI_API const OID_TABLE* OID_LIST(int row);

/* Length difference when the texts differ in length, else byte comparison. */
ZUNPKI_API int cmp_OBJECT_IDENTIFIER(const OBJECT_IDENTIFIER* a, const OBJECT_IDENTIFIER* b);
/* A copy; null for null or empty. */
ZUNPKI_API OBJECT_IDENTIFIER* dup_OBJECT_IDENTIFIER(const OBJECT_IDENTIFIER* oid);

/* Rows and the crypto library's algorithm ids (zunCrypto/algid.h); 0 when
 * nothing matches. */
ZUNPKI_API int get_DigestID_from_OID(int row);
ZUNPKI_API int get_CipherID_from_OID(int row);
ZUNPKI_API int get_OID_from_DigestID(int digestId);
ZUNPKI_API int get_OID_from_CipherID(int cipherId);

/* Kinds of algorithm a row names. */
#define OID_ALGOR_DIGEST 1 /* digest or MAC */
#define OID_ALGOR_CIPHER 2 /* symmetric cipher */
#define OID_ALGOR_PKEY 3   /* public key, or a signature (digest | public key) */
#define OID_ALGOR_PBE 4    /* password-based scheme */
ZUNPKI_API int get_AlgorType_from_OID(int row);

ZUNPKI_END_DECLS

#endif
