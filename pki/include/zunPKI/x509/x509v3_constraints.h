/*
 * Extension bodies that carry identifiers and constraints: authority key
 * identifier, basic constraints, policy constraints, name constraints with
 * their subtrees, and extended key usage.
 *
 * An extension's body is the DER in its extnValue: decode those bytes into a
 * node (decodeToDERSequence) and hand the node to Seq_to_X; X_to_Seq gives
 * the node whose DER becomes a new extnValue. Tagged fields are written in
 * RFC 5280's implicit forms; the explicit forms are read too.
 *
 * Every record owns its members; absent optional members are null. Lists own
 * their items. Results: 0, or 0x47 << 24 | function << 16 | reason.
 */
#ifndef ZUNPKI_X509V3_CONSTRAINTS_H
#define ZUNPKI_X509V3_CONSTRAINTS_H

#include <zunPKI/x509/x509v3_gn.h>

typedef struct {
    OCTET_STRING* keyIdentifier;        /* [0] */
    GENERAL_NAMES* authorityCertIssuer; /* [1]; new_AUTHORITY_KEYID makes it empty, and an empty list does
                                           not encode (0x4708002b): fill it or free it and set null */
    BIGINT* authorityCertSerialNumber;  /* [2] */
} AUTHORITY_KEYID;

typedef struct {
    int cA;                    /* 0 for FALSE, else the BOOLEAN byte as read; written as 0xFF */
    BIGINT* pathLenConstraint; /* optional */
} BASIC_CONSTRAINTS;

typedef struct {
    BIGINT* requireExplicitPolicy; /* [0], optional */
    BIGINT* inhibitPolicyMapping;  /* [1], optional */
} POLICY_CONSTRAINTS;

typedef struct {
    GENERAL_NAME* base;
    BIGINT* minimum; /* [0], optional */
    BIGINT* maximum; /* [1], optional */
} GENERAL_SUBTREE;

/* A STACK of GENERAL_SUBTREE in order; the list owns its subtrees. */
typedef STACK GENERAL_SUBTREES;

typedef struct {
    /* new_NAME_CONSTRAINTS makes both lists empty; an empty list does not
     * encode (0x4750002b). A decoded absent list is null. */
    GENERAL_SUBTREES* permittedSubtrees; /* [0] */
    GENERAL_SUBTREES* excludedSubtrees;  /* [1] */
} NAME_CONSTRAINTS;

/* A STACK of OBJECT_IDENTIFIER (key purposes); the list owns them. */
typedef STACK EXTENDED_KEY_USAGE;

ZUNPKI_BEGIN_DECLS

ZUNPKI_API AUTHORITY_KEYID* new_AUTHORITY_KEYID(void);
ZUNPKI_API void free_AUTHORITY_KEYID(AUTHORITY_KEYID* akid);
ZUNPKI_API void clean_AUTHORITY_KEYID(AUTHORITY_KEYID* akid);
ZUNPKI_API AUTHORITY_KEYID* dup_AUTHORITY_KEYID(const AUTHORITY_KEYID* akid);
ZUNPKI_API int cmp_AUTHORITY_KEYID(const AUTHORITY_KEYID* a, const AUTHORITY_KEYID* b);
/* At least one field (0x4709002b). */
ZUNPKI_API PKI_ERROR Seq_to_AUTHORITY_KEYID(const ASN1_UNIT* node, AUTHORITY_KEYID** akid);
ZUNPKI_API PKI_ERROR AUTHORITY_KEYID_to_Seq(const AUTHORITY_KEYID* akid, ASN1_UNIT** node);

ZUNPKI_API BASIC_CONSTRAINTS* new_BASIC_CONSTRAINTS(void);
ZUNPKI_API void free_BASIC_CONSTRAINTS(BASIC_CONSTRAINTS* bc);
ZUNPKI_API void clean_BASIC_CONSTRAINTS(BASIC_CONSTRAINTS* bc);
ZUNPKI_API BASIC_CONSTRAINTS* dup_BASIC_CONSTRAINTS(const BASIC_CONSTRAINTS* bc);
ZUNPKI_API int cmp_BASIC_CONSTRAINTS(const BASIC_CONSTRAINTS* a, const BASIC_CONSTRAINTS* b);
ZUNPKI_API PKI_ERROR Seq_to_BASIC_CONSTRAINTS(const ASN1_UNIT* node, BASIC_CONSTRAINTS** bc);
ZUNPKI_API PKI_ERROR BASIC_CONSTRAINTS_to_Seq(const BASIC_CONSTRAINTS* bc, ASN1_UNIT** node);

ZUNPKI_API POLICY_CONSTRAINTS* new_POLICY_CONSTRAINTS(void);
ZUNPKI_API void free_POLICY_CONSTRAINTS(POLICY_CONSTRAINTS* pc);
ZUNPKI_API void clean_POLICY_CONSTRAINTS(POLICY_CONSTRAINTS* pc);
ZUNPKI_API POLICY_CONSTRAINTS* dup_POLICY_CONSTRAINTS(const POLICY_CONSTRAINTS* pc);
ZUNPKI_API int cmp_POLICY_CONSTRAINTS(const POLICY_CONSTRAINTS* a, const POLICY_CONSTRAINTS* b);
ZUNPKI_API PKI_ERROR Seq_to_POLICY_CONSTRAINTS(const ASN1_UNIT* node, POLICY_CONSTRAINTS** pc);
ZUNPKI_API PKI_ERROR POLICY_CONSTRAINTS_to_Seq(const POLICY_CONSTRAINTS* pc, ASN1_UNIT** node);

ZUNPKI_API GENERAL_SUBTREE* new_GENERAL_SUBTREE(void);
ZUNPKI_API void free_GENERAL_SUBTREE(GENERAL_SUBTREE* st);
ZUNPKI_API void clean_GENERAL_SUBTREE(GENERAL_SUBTREE* st);
ZUNPKI_API GENERAL_SUBTREE* dup_GENERAL_SUBTREE(const GENERAL_SUBTREE* st);
ZUNPKI_API int cmp_GENERAL_SUBTREE(const GENERAL_SUBTREE* a, const GENERAL_SUBTREE* b);
ZUNPKI_API PKI_ERROR Seq_to_GENERAL_SUBTREE(const ASN1_UNIT* node, GENERAL_SUBTREE** st);
ZUNPKI_API PKI_ERROR GENERAL_SUBTREE_to_Seq(const GENERAL_SUBTREE* st, ASN1_UNIT** node);

ZUNPKI_API GENERAL_SUBTREES* new_GENERAL_SUBTREES(void);
ZUNPKI_API void free_GENERAL_SUBTREES(GENERAL_SUBTREES* list);
ZUNPKI_API GENERAL_SUBTREES* dup_GENERAL_SUBTREES(const GENERAL_SUBTREES* list);
/* The subtrees of any constructed node (at least one, 0x4749002b), appended
 * to *list (made when null). */
ZUNPKI_API PKI_ERROR Seq_to_GENERAL_SUBTREES(const ASN1_UNIT* node, GENERAL_SUBTREES** list);
ZUNPKI_API PKI_ERROR GENERAL_SUBTREES_to_Seq(const GENERAL_SUBTREES* list, ASN1_UNIT** node);

ZUNPKI_API NAME_CONSTRAINTS* new_NAME_CONSTRAINTS(void);
ZUNPKI_API void free_NAME_CONSTRAINTS(NAME_CONSTRAINTS* nc);
ZUNPKI_API void clean_NAME_CONSTRAINTS(NAME_CONSTRAINTS* nc);
ZUNPKI_API NAME_CONSTRAINTS* dup_NAME_CONSTRAINTS(const NAME_CONSTRAINTS* nc);
ZUNPKI_API int cmp_NAME_CONSTRAINTS(const NAME_CONSTRAINTS* a, const NAME_CONSTRAINTS* b);
/* At least one field (0x4751002b). */
ZUNPKI_API PKI_ERROR Seq_to_NAME_CONSTRAINTS(const ASN1_UNIT* node, NAME_CONSTRAINTS** nc);
ZUNPKI_API PKI_ERROR NAME_CONSTRAINTS_to_Seq(const NAME_CONSTRAINTS* nc, ASN1_UNIT** node);

ZUNPKI_API EXTENDED_KEY_USAGE* new_EXTENDED_KEY_USAGE(void);
ZUNPKI_API void free_EXTENDED_KEY_USAGE(EXTENDED_KEY_USAGE* eku);
ZUNPKI_API EXTENDED_KEY_USAGE* dup_EXTENDED_KEY_USAGE(const EXTENDED_KEY_USAGE* eku);
/* At least one purpose (0x4756002b); appended to *eku (made when null). */
ZUNPKI_API PKI_ERROR Seq_to_EXTENDED_KEY_USAGE(const ASN1_UNIT* node, EXTENDED_KEY_USAGE** eku);
ZUNPKI_API PKI_ERROR EXTENDED_KEY_USAGE_to_Seq(const EXTENDED_KEY_USAGE* eku, ASN1_UNIT** node);

ZUNPKI_END_DECLS

#endif
