/*
 * ASN.1 value types: one string record for every string-like value (bit,
 * octet and character strings, object identifiers as dotted text, time
 * texts), the calendar time record, and the time conversions.
 *
 * INTEGER and ENUMERATED values are BIGINTs of the crypto library.
 */
#ifndef ZUNPKI_ASN1_H
#define ZUNPKI_ASN1_H

#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/asn1/time64.h>

struct asn1_unit_st;

/* Universal tag numbers the library handles. */
#define ASN1_TAG_BOOLEAN 1
#define ASN1_TAG_INTEGER 2
#define ASN1_TAG_BIT_STRING 3
#define ASN1_TAG_OCTET_STRING 4
#define ASN1_TAG_NULL 5
#define ASN1_TAG_OBJECT_IDENTIFIER 6
#define ASN1_TAG_ENUMERATED 10
#define ASN1_TAG_UTF8_STRING 12
#define ASN1_TAG_SEQUENCE 16
#define ASN1_TAG_SET 17
#define ASN1_TAG_PRINTABLE_STRING 19
#define ASN1_TAG_T61_STRING 20
#define ASN1_TAG_IA5_STRING 22
#define ASN1_TAG_UTC_TIME 23
#define ASN1_TAG_GENERALIZED_TIME 24
#define ASN1_TAG_BMP_STRING 30
#define ASN1_TAG_ANY_STRING 32 /* an ASN1_STRING whose type says how it is encoded */
#define ASN1_TAG_NODE 33       /* a node the append consumes; on decoding: string or time as a node */
#define ASN1_TAG_CONS_SEQUENCE 48
#define ASN1_TAG_CONS_SET 49

/* One record for every string-like value; it owns its data. */
typedef struct asn1_string_st {
    int type;            /* universal tag, or the whole identifier octet of a tagged value */
    unsigned char* data; /* contents; dotted text for OIDs; the time text for times; zero-terminated */
    int length;          /* bytes of data (for BIT STRING the bytes after the unused-bits count) */
    int extra;           /* BIT STRING: unused bits (0-7); times: 1 for Z forms, 0 for offset forms */
} ASN1_STRING;

typedef ASN1_STRING BIT_STRING;
typedef ASN1_STRING OCTET_STRING;
typedef ASN1_STRING OBJECT_IDENTIFIER;
typedef ASN1_STRING UTF8_STRING;
typedef ASN1_STRING PRINTABLE_STRING;
typedef ASN1_STRING T61_STRING;
typedef ASN1_STRING IA5_STRING;
typedef ASN1_STRING BMP_STRING;
typedef ASN1_STRING UTC_TIME;
typedef ASN1_STRING GENERALIZED_TIME;

/* A calendar time; always local time, except what getCurrentGMTime returns. */
typedef struct TM ASN1_TIME;

/* Time text forms. UTCTime: */
#define UTC_TIME_YYMMDDHHMMZ 0         /* 11 characters */
#define UTC_TIME_YYMMDDHHMM_OFFSET 1   /* 15 */
#define UTC_TIME_YYMMDDHHMMSSZ 2       /* 13 */
#define UTC_TIME_YYMMDDHHMMSS_OFFSET 3 /* 17 */
/* GeneralizedTime: */
#define GENERALIZED_TIME_YYYYMMDDHHMMZ 16         /* 13 */
#define GENERALIZED_TIME_YYYYMMDDHHMM_OFFSET 17   /* 17 */
#define GENERALIZED_TIME_YYYYMMDDHHMMSSZ 18       /* 15 */
#define GENERALIZED_TIME_YYYYMMDDHHMMSS_OFFSET 19 /* 19 */

/* What the time comparisons return when either value cannot be read. It is
 * neither earlier, equal nor later: test for it before looking at the sign. */
#define ASN1_TIME_CMP_ERROR (-2)

ZUNPKI_BEGIN_DECLS

/* ---- Generic string ----------------------------------------------------- */
ZUNPKI_API ASN1_STRING* new_ASN1_STRING(void);
ZUNPKI_API void free_ASN1_STRING(ASN1_STRING* str);
ZUNPKI_API void clean_ASN1_STRING(ASN1_STRING* str);
ZUNPKI_API ASN1_STRING* dup_ASN1_STRING(const ASN1_STRING* str);
/* Length difference, else byte comparison of the data, else type difference. */
ZUNPKI_API int cmp_ASN1_STRING(const ASN1_STRING* a, const ASN1_STRING* b);
ZUNPKI_API PKI_ERROR set_ASN1_STRING_value(ASN1_STRING* str, int type, const unsigned char* bytes, int len);
/* A node from a string holding SEQUENCE or SET contents (type 16, 17, 48, 49). */
ZUNPKI_API PKI_ERROR ASN1_STRING_to_Seq(const ASN1_STRING* str, struct asn1_unit_st** node);

/* ---- Typed constructors; each type has free_ and clean_ ----------------- */
ZUNPKI_API BIT_STRING* new_BIT_STRING(const char* bits, int len); /* '0' and '1' */
ZUNPKI_API BIT_STRING* hexToBIT_STRING(const char* hex, int len);
ZUNPKI_API BIT_STRING* binaryToBIT_STRING(const unsigned char* bytes, int len);
ZUNPKI_API PKI_ERROR addPadToBERBitString(BIT_STRING* bitString, const char* bits);
ZUNPKI_API OCTET_STRING* new_OCTET_STRING(const unsigned char* bytes, int len);
ZUNPKI_API UTF8_STRING* new_UTF8_STRING(const unsigned char* bytes, int len);
ZUNPKI_API OBJECT_IDENTIFIER* new_OBJECT_IDENTIFIER(const char* text, int len);
ZUNPKI_API PRINTABLE_STRING* new_PRINTABLE_STRING(const char* text, int len);
ZUNPKI_API T61_STRING* new_T61_STRING(const unsigned char* bytes, int len);
ZUNPKI_API BMP_STRING* new_BMP_STRING(const unsigned char* bytes, int len);
ZUNPKI_API IA5_STRING* new_IA5_STRING(const unsigned char* bytes, int len);
/* From the local calendar text YYYY-MM-DD,hh:mm:ss in the given form. */
ZUNPKI_API UTC_TIME* new_UTC_TIME(const char* text, int form);
ZUNPKI_API GENERALIZED_TIME* new_GENERALIZED_TIME(const char* text, int form);
ZUNPKI_API PKI_ERROR copy_UTC_TIME(const UTC_TIME* src, UTC_TIME* dst);
ZUNPKI_API PKI_ERROR copy_GENERALIZED_TIME(const GENERALIZED_TIME* src, GENERALIZED_TIME* dst);

#define ZUNPKI_DECLARE_STRING_TYPE(T) \
    ZUNPKI_API void free_##T(T* str); \
    ZUNPKI_API void clean_##T(T* str);
ZUNPKI_DECLARE_STRING_TYPE(BIT_STRING)
ZUNPKI_DECLARE_STRING_TYPE(OCTET_STRING)
ZUNPKI_DECLARE_STRING_TYPE(OBJECT_IDENTIFIER)
ZUNPKI_DECLARE_STRING_TYPE(UTF8_STRING)
ZUNPKI_DECLARE_STRING_TYPE(PRINTABLE_STRING)
ZUNPKI_DECLARE_STRING_TYPE(T61_STRING)
ZUNPKI_DECLARE_STRING_TYPE(IA5_STRING)
ZUNPKI_DECLARE_STRING_TYPE(BMP_STRING)
ZUNPKI_DECLARE_STRING_TYPE(UTC_TIME)
ZUNPKI_DECLARE_STRING_TYPE(GENERALIZED_TIME)

/* ---- Calendar time ------------------------------------------------------ */
ZUNPKI_API ASN1_TIME* new_ASN1_TIME(void);
ZUNPKI_API void free_ASN1_TIME(ASN1_TIME* time);
ZUNPKI_API void clean_ASN1_TIME(ASN1_TIME* time);
ZUNPKI_API ASN1_TIME* dup_ASN1_TIME(const ASN1_TIME* time);
/* YYYY-MM-DD,hh:mm:ss; null unless exactly that. */
ZUNPKI_API ASN1_TIME* charToASN1_TIME(const char* text);
ZUNPKI_API PKI_ERROR check_ASN1_TIME(const ASN1_TIME* time);
ZUNPKI_API ASN1_TIME* getCurrentLocalTime(void);
ZUNPKI_API ASN1_TIME* getCurrentGMTime(void);
/* 1, 0, -1 as a is later, equal, earlier; ASN1_TIME_CMP_ERROR when unreadable. */
ZUNPKI_API int cmp_ASN1_TIME(const ASN1_TIME* a, const ASN1_TIME* b);

/* ---- Time texts --------------------------------------------------------- */
/* The Z forms overwrite *time with the UTC values they write. UTCTime holds
 * only the years 1950-2049; other years give null. */
ZUNPKI_API UTC_TIME* asn1TimeToUTC_TIME(ASN1_TIME* time, int form);
ZUNPKI_API GENERALIZED_TIME* asn1TimeToGENERALIZED_TIME(ASN1_TIME* time, int form);
/* A new local time, or null when the text does not read. */
ZUNPKI_API ASN1_TIME* utcTimeToASN1_TIME(const UTC_TIME* utc);
ZUNPKI_API ASN1_TIME* generalizedTimeToASN1_TIME(const GENERALIZED_TIME* gt);
ZUNPKI_API int cmp_UTC_TIME(const UTC_TIME* a, const UTC_TIME* b);
ZUNPKI_API int cmp_GENERALIZED_TIME(const GENERALIZED_TIME* a, const GENERALIZED_TIME* b);
ZUNPKI_API PKI_ERROR add_UTC_TIME(UTC_TIME** utc, int seconds);
ZUNPKI_API PKI_ERROR add_GENERALIZED_TIME(GENERALIZED_TIME** gt, int seconds);

ZUNPKI_END_DECLS

#endif
