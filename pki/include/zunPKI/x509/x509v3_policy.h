/*
 * Certificate policies and policy mappings: policy terms with their
 * qualifiers (CPS pointer, user notice with notice reference and explicit
 * text), and the issuer-to-subject policy mappings.
 *
 * Conventions are those of x509v3_constraints.h. Every list owns its items:
 * freeing a list frees them, and a duplicate copies them.
 */
#ifndef ZUNPKI_X509V3_POLICY_H
#define ZUNPKI_X509V3_POLICY_H

#include <zunPKI/x509/x509v3_gn.h>

/* A STACK of BIGINT. */
typedef STACK NOTICE_NUMBERS;

typedef struct {
    ASN1_STRING* organization;     /* keeps its string type */
    NOTICE_NUMBERS* noticeNumbers; /* new_NOTICE_REFERENCE makes it empty */
} NOTICE_REFERENCE;

typedef struct {
    NOTICE_REFERENCE* noticeRef; /* optional */
    ASN1_STRING* explicitText;   /* optional: UTF8String, IA5String, VisibleString or BMPString, type kept */
} USER_NOTICE;

/* POLICY_QUALIFIER_INFO.kind: what qualifier holds. */
#define POLICY_QUALIFIER_BY_ID 0       /* as policyQualifierId says: row 164 a CPS text, row 165 a user notice */
#define POLICY_QUALIFIER_CPS 1         /* IA5_STRING */
#define POLICY_QUALIFIER_USER_NOTICE 2 /* USER_NOTICE */
#define POLICY_QUALIFIER_OTHER 3       /* ASN1_STRING: any other element, its identifier and contents */

typedef struct {
    OBJECT_IDENTIFIER* policyQualifierId;
    void* qualifier;
    /* POLICY_QUALIFIER_*: set by the decoder from the element it read
     * (whatever the id says), so release, copy and encoding follow the
     * qualifier's real type. A caller may leave it 0 and set the id. */
    int kind;
} POLICY_QUALIFIER_INFO;

/* A STACK of POLICY_QUALIFIER_INFO. */
typedef STACK POLICY_QUALIFIERS;

typedef struct {
    OBJECT_IDENTIFIER* policyIdentifier;
    POLICY_QUALIFIERS* qualifiers; /* null when the term has none */
} POLICY_INFO;

/* A STACK of POLICY_INFO in encoding order. */
typedef STACK CERTIFICATE_POLICIES;

typedef struct {
    OBJECT_IDENTIFIER* issuerDomainPolicy;
    OBJECT_IDENTIFIER* subjectDomainPolicy;
} POLICY_MAPPING;

/* A STACK of POLICY_MAPPING. */
typedef STACK POLICY_MAPPINGS;

ZUNPKI_BEGIN_DECLS

ZUNPKI_API CERTIFICATE_POLICIES* new_CERTIFICATE_POLICIES(void);
ZUNPKI_API void free_CERTIFICATE_POLICIES(CERTIFICATE_POLICIES* list);
ZUNPKI_API CERTIFICATE_POLICIES* dup_CERTIFICATE_POLICIES(const CERTIFICATE_POLICIES* list);
/* At least one term (0x4727002b); appended to *list (made when null). */
ZUNPKI_API PKI_ERROR Seq_to_CERTIFICATE_POLICIES(const ASN1_UNIT* node, CERTIFICATE_POLICIES** list);
/* An empty list is refused (0x4728002b). */
ZUNPKI_API PKI_ERROR CERTIFICATE_POLICIES_to_Seq(const CERTIFICATE_POLICIES* list, ASN1_UNIT** node);

ZUNPKI_API POLICY_INFO* new_POLICY_INFO(void);
ZUNPKI_API void free_POLICY_INFO(POLICY_INFO* pi);
ZUNPKI_API void clean_POLICY_INFO(POLICY_INFO* pi);
ZUNPKI_API POLICY_INFO* dup_POLICY_INFO(const POLICY_INFO* pi);
ZUNPKI_API int cmp_POLICY_INFO(const POLICY_INFO* a, const POLICY_INFO* b);
/* An empty qualifier SEQUENCE leaves qualifiers null. */
ZUNPKI_API PKI_ERROR Seq_to_POLICY_INFO(const ASN1_UNIT* node, POLICY_INFO** pi);
/* A qualifier list that is there but empty is refused (0x4732002b). */
ZUNPKI_API PKI_ERROR POLICY_INFO_to_Seq(const POLICY_INFO* pi, ASN1_UNIT** node);

ZUNPKI_API POLICY_QUALIFIERS* new_POLICY_QUALIFIERS(void);
ZUNPKI_API void free_POLICY_QUALIFIERS(POLICY_QUALIFIERS* list);
ZUNPKI_API POLICY_QUALIFIERS* dup_POLICY_QUALIFIERS(const POLICY_QUALIFIERS* list);
/* An empty SEQUENCE succeeds and leaves *list as it was. */
ZUNPKI_API PKI_ERROR Seq_to_POLICY_QUALIFIERS(const ASN1_UNIT* node, POLICY_QUALIFIERS** list);
ZUNPKI_API PKI_ERROR POLICY_QUALIFIERS_to_Seq(const POLICY_QUALIFIERS* list, ASN1_UNIT** node);

ZUNPKI_API POLICY_QUALIFIER_INFO* new_POLICY_QUALIFIER_INFO(void);
ZUNPKI_API void free_POLICY_QUALIFIER_INFO(POLICY_QUALIFIER_INFO* pq);
ZUNPKI_API void clean_POLICY_QUALIFIER_INFO(POLICY_QUALIFIER_INFO* pq);
ZUNPKI_API POLICY_QUALIFIER_INFO* dup_POLICY_QUALIFIER_INFO(const POLICY_QUALIFIER_INFO* pq);
ZUNPKI_API int cmp_POLICY_QUALIFIER_INFO(const POLICY_QUALIFIER_INFO* a, const POLICY_QUALIFIER_INFO* b);
/* Exactly two children (0x4733002b). The qualifier is read by its own tag:
 * a SEQUENCE as a user notice, an IA5String as a CPS text, anything else
 * kept as it stands. */
ZUNPKI_API PKI_ERROR Seq_to_POLICY_QUALIFIER_INFO(const ASN1_UNIT* node, POLICY_QUALIFIER_INFO** pq);
/* A qualifier whose kind cannot be told, or none at all: 0x47340103. */
ZUNPKI_API PKI_ERROR POLICY_QUALIFIER_INFO_to_Seq(const POLICY_QUALIFIER_INFO* pq, ASN1_UNIT** node);

ZUNPKI_API USER_NOTICE* new_USER_NOTICE(void);
ZUNPKI_API void free_USER_NOTICE(USER_NOTICE* un);
ZUNPKI_API void clean_USER_NOTICE(USER_NOTICE* un);
ZUNPKI_API USER_NOTICE* dup_USER_NOTICE(const USER_NOTICE* un);
ZUNPKI_API int cmp_USER_NOTICE(const USER_NOTICE* a, const USER_NOTICE* b);
/* At least one child (0x4735002b). Elements other than a notice reference
 * and the four DisplayText types are skipped. */
ZUNPKI_API PKI_ERROR Seq_to_USER_NOTICE(const ASN1_UNIT* node, USER_NOTICE** un);
ZUNPKI_API PKI_ERROR USER_NOTICE_to_Seq(const USER_NOTICE* un, ASN1_UNIT** node);

ZUNPKI_API NOTICE_REFERENCE* new_NOTICE_REFERENCE(void);
ZUNPKI_API void free_NOTICE_REFERENCE(NOTICE_REFERENCE* nr);
ZUNPKI_API void clean_NOTICE_REFERENCE(NOTICE_REFERENCE* nr);
ZUNPKI_API NOTICE_REFERENCE* dup_NOTICE_REFERENCE(const NOTICE_REFERENCE* nr);
ZUNPKI_API int cmp_NOTICE_REFERENCE(const NOTICE_REFERENCE* a, const NOTICE_REFERENCE* b);
/* Into notice->noticeRef (replacing one that is there). Exactly two children
 * (0x4737002b). */
ZUNPKI_API PKI_ERROR Seq_to_NOTICE_REFERENCE(const ASN1_UNIT* node, USER_NOTICE* notice);
ZUNPKI_API PKI_ERROR NOTICE_REFERENCE_to_Seq(const NOTICE_REFERENCE* nr, ASN1_UNIT** node);

ZUNPKI_API NOTICE_NUMBERS* new_NOTICE_NUMBERS(void);
ZUNPKI_API void free_NOTICE_NUMBERS(NOTICE_NUMBERS* list);
ZUNPKI_API NOTICE_NUMBERS* dup_NOTICE_NUMBERS(const NOTICE_NUMBERS* list);
/* An empty SEQUENCE gives an empty list. */
ZUNPKI_API PKI_ERROR Seq_to_NOTICE_NUMBERS(const ASN1_UNIT* node, NOTICE_NUMBERS** list);
ZUNPKI_API PKI_ERROR NOTICE_NUMBERS_to_Seq(const NOTICE_NUMBERS* list, ASN1_UNIT** node);

ZUNPKI_API POLICY_MAPPINGS* new_POLICY_MAPPINGS(void);
ZUNPKI_API void free_POLICY_MAPPINGS(POLICY_MAPPINGS* list);
ZUNPKI_API POLICY_MAPPINGS* dup_POLICY_MAPPINGS(const POLICY_MAPPINGS* list);
/* At least one mapping (0x4721002b). */
ZUNPKI_API PKI_ERROR Seq_to_POLICY_MAPPINGS(const ASN1_UNIT* node, POLICY_MAPPINGS** list);
/* An empty list is refused (0x4722002b). */
ZUNPKI_API PKI_ERROR POLICY_MAPPINGS_to_Seq(const POLICY_MAPPINGS* list, ASN1_UNIT** node);

ZUNPKI_API POLICY_MAPPING* new_POLICY_MAPPING(void);
ZUNPKI_API void free_POLICY_MAPPING(POLICY_MAPPING* pm);
ZUNPKI_API void clean_POLICY_MAPPING(POLICY_MAPPING* pm);
ZUNPKI_API POLICY_MAPPING* dup_POLICY_MAPPING(const POLICY_MAPPING* pm);
ZUNPKI_API int cmp_POLICY_MAPPING(const POLICY_MAPPING* a, const POLICY_MAPPING* b);
ZUNPKI_API PKI_ERROR Seq_to_POLICY_MAPPING(const ASN1_UNIT* node, POLICY_MAPPING** pm);
ZUNPKI_API PKI_ERROR POLICY_MAPPING_to_Seq(const POLICY_MAPPING* pm, ASN1_UNIT** node);

ZUNPKI_END_DECLS

#endif
