/*
 * Certification paths: building a path from a certificate up to a trust
 * anchor, and validating it in the manner of RFC 5280 6.1 (signatures,
 * validity, name chaining, basicConstraints, keyUsage, path lengths, the
 * valid-policy tree with the explicit-policy and inhibit-anyPolicy
 * counters, unknown critical extensions).
 *
 * A path is an X509_CERTIFICATES list, the certificate being checked first.
 * Its last element is the trust anchor build_certPath matched: a
 * certificate whose subject name and key are an anchor's, or, when the
 * candidates hold none, a certificate made of the anchor's name and key
 * (no signature, no validity). validate_certpath takes the last element as
 * trusted for its name, its key and its own constraints (validity, and a
 * pathLenConstraint it carries); it does not check its signature.
 *
 * Names chain as RFC 5280 7.1 compares them (cmp_X509_NAME_canonical);
 * cmp_X509_NAME stays byte for byte. Policy mappings and name constraints
 * are not processed: a path whose anchor or intermediate certificates carry
 * either is refused with a code of its own.
 *
 * The settings are process-wide and read at the start of each call (set them
 * before validating from several threads); everything else is per call.
 *
 * Results are 0 or a PKI_ERROR of library L_CPV unless a function says
 * otherwise; the certificate checks' own codes (verify_X509_validity) pass
 * through unchanged.
 *   0x53050049  build_certPath: a missing argument
 *   0x53050116  build_certPath: the path ends at a self-signed certificate no
 *               anchor names
 *   0x5305003C  build_certPath: no memory for the path
 *   0x5305012F  build_certPath: no issuer chains to an anchor within the
 *               maximum length
 *   0x53070049  validate_certpath: no path, or an empty one
 *   0x53070119  validate_certpath: no acceptable policy at the end (6.1.5 g)
 *   0x53100054  a signature does not verify under the issuer's key
 *   0x53100106  an issuer name does not chain
 *   0x53100116  a self-signed certificate stands inside the path
 *   0x5310011C  no valid policy where explicit policy is required (6.1.3 f)
 *   0x53100119  the valid-policy tree grew past VALID_POLICY_TREE_MAX_NODES
 *   0x5309011B  an issuer is no CA: not v3, no basicConstraints, cA FALSE
 *   0x5309000E  basicConstraints that do not decode
 *   0x530A0118  an issuer's keyUsage lacks keyCertSign
 *   0x530A0104  keyUsage that does not decode
 *   0x530D0104  inhibitAnyPolicy that does not decode
 *   0x530E0104  policyConstraints that do not decode
 *   0x5311011A  more CA certificates than a pathLenConstraint or the maximum
 *               length allows
 *   0x53120117  a policyMappings extension (not supported)
 *   0x53130048  a nameConstraints extension (not supported)
 *   0x53140048  an unknown critical extension
 *   0x5314002B  an extension that appears twice in one certificate
 */
#ifndef ZUNPKI_CERTPATH_H
#define ZUNPKI_CERTPATH_H

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/asn1/stack.h>
#include <zunPKI/x509/ctl.h>
#include <zunPKI/x509/trust_anchor.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_certs.h>
#include <zunPKI/x509/x509_name.h>
#include <zunPKI/x509/x509v3_policy.h>

/* The marker every level of a valid-policy tree made here carries. */
#define VALID_POLICY_TREE_MARKER 64
/* Most nodes a valid-policy tree may grow to while validating; a path that
 * needs more is refused (0x53100119). */
#define VALID_POLICY_TREE_MAX_NODES 4096

typedef struct {
    int criticality; /* -1 when made; 255 when the certificatePolicies that made the node is critical, else 0 */
    OBJECT_IDENTIFIER* validPolicy;
    POLICY_QUALIFIERS* qualifiers; /* null: none (trees made here keep none) */
    OBJECT_IDENTIFIERS* expectedPolicySet;
} VALID_POLICY_DATA;

typedef struct valid_policy_node_st {
    int childCount; /* nodes of the next level whose parent this is */
    VALID_POLICY_DATA* data;
    struct valid_policy_node_st* parent; /* null for the root */
} VALID_POLICY_NODE;

/* A STACK of VALID_POLICY_NODE. */
typedef STACK VALID_POLICY_NODES;

/* One level of a valid-policy tree, the root level first. */
typedef struct node_list_st {
    int depth;                 /* -1 when made; 0 for the root level */
    int marker;                /* VALID_POLICY_TREE_MARKER in levels made here */
    VALID_POLICY_NODES* nodes; /* null: no node */
    struct node_list_st* next; /* the next deeper level, or null */
} node_LIST;

ZUNPKI_BEGIN_DECLS

/* ---- Settings ----------------------------------------------------------- */
/* How many certificates may stand above the one being checked, the anchor
 * included (initially 3). build_certPath stops there; validate_certpath
 * allows one fewer non-self-issued CA certificate. n <= 0 returns 1 and keeps
 * the value; else 0. */
ZUNPKI_API int set_max_certificatePath_length(int n);
ZUNPKI_API int get_max_certificatePath_length(void);
/* Non-zero: every certificate must have an acceptable policy (initially
 * 255). Returns v. */
ZUNPKI_API int set_initial_explicit_policy(int v);
ZUNPKI_API int get_initial_explicit_policy(void);
/* Non-zero: anyPolicy in a certificate is not taken as a match (initially
 * 0). Returns v. */
ZUNPKI_API int set_initial_any_policy_inhibit(int v);
ZUNPKI_API int get_initial_any_policy_inhibit(void);
/* Policy mappings are refused whatever this says: nothing is stored, the
 * getter answers 0. */
ZUNPKI_API int set_initial_policy_mapping_inhibit(int v);
ZUNPKI_API int get_initial_policy_mapping_inhibit(void);

/* ---- Paths -------------------------------------------------------------- */
/* Builds the path of leaf up to an anchor of anchors, the issuers taken from
 * candidates (X509_CERTIFICATES; the anchors' own certificates may be among
 * them). Issuers are found by name and by the authorityKeyIdentifier's key
 * identifier, issuer and serial; among several, those whose signature and
 * validity hold are tried first, and the search goes past dead ends. Copies
 * of the certificates are appended to *path (made when null) only on
 * success, or when the only path found holds a certificate out of its
 * validity period (that certificate's code is returned then). A leaf that is
 * an anchor is a path of one. */
ZUNPKI_API PKI_ERROR build_certPath(const STACK* candidates, const STACK* anchors, const X509_CERT* leaf, STACK** path);
/* Validates path (see the top of this header) against the settings and the
 * user-initial-policy set (null or empty: anyPolicy), which is only read.
 * The valid-policy tree is returned in *tree when tree is given: into the
 * level *tree points to (its old levels released) or a new one. On failure
 * a tree made here is released and *tree left as it was. */
ZUNPKI_API PKI_ERROR validate_certpath(const STACK* path, const OBJECT_IDENTIFIERS* user_initial_policy_set,
                                       node_LIST** tree);
/* 0 for a self-issued certificate (issuer and subject names equal), else 1. */
ZUNPKI_API int is_selfSigned(const X509_CERT* cert);
/* verify_X509_validity(cert, NULL): valid now. */
ZUNPKI_API PKI_ERROR verify_X509_expireDate(const X509_CERT* cert);
/* Names compared as RFC 5280 7.1 does: RDN by RDN, attributes in any order
 * within one, character strings converted to UTF-8 with leading, trailing
 * and repeated whitespace dropped and ASCII case ignored. 0 when equal, -1
 * when not, 1 when either is missing. */
ZUNPKI_API int cmp_X509_NAME_canonical(const X509_NAME* a, const X509_NAME* b);

/* ---- Valid-policy trees ------------------------------------------------- */
/* {depth -1, marker 0, no nodes, no next}; null when memory runs out. */
ZUNPKI_API node_LIST* new_node_LIST(void);
/* Releases list and every level after it, with their nodes. */
ZUNPKI_API void free_node_LIST(node_LIST* list);
/* The levels in reverse order, each keeping its depth (a tree's deepest
 * level comes first, at depth count-1; reversing again gives the tree
 * back); null for null. */
ZUNPKI_API node_LIST* reverse_node_LIST(node_LIST* list);
/* Keeps the first n levels (at least the head) and releases the rest. 0. */
ZUNPKI_API int remove_node_LIST(node_LIST* list, int n);
/* Number of levels; 0 for null. */
ZUNPKI_API int get_count_from_node_LIST(const node_LIST* list);
/* Gives the nodes of the stack to a new deepest level (the head itself when
 * its depth is -1), whose depth is the number of levels before it. The tree
 * owns the nodes from then on; the caller releases its stack with
 * free_VALID_POLICY_NODES. 0x530B0049, 0x530B003C. */
ZUNPKI_API PKI_ERROR add_VALID_POLICY_TREE_LIST(node_LIST* list, const VALID_POLICY_NODES* nodes);

/* {-1, null, null, null}. */
ZUNPKI_API VALID_POLICY_DATA* new_VALID_POLICY_DATA(void);
ZUNPKI_API void free_VALID_POLICY_DATA(VALID_POLICY_DATA* data);
/* {0 children, no data, no parent}. */
ZUNPKI_API VALID_POLICY_NODE* new_VALID_POLICY_NODE(void);
/* Releases the node and its data. */
ZUNPKI_API void free_VALID_POLICY_NODE(VALID_POLICY_NODE* node);
ZUNPKI_API VALID_POLICY_NODES* new_VALID_POLICY_NODES(void);
/* Releases the list only; its nodes belong to whoever holds them. */
ZUNPKI_API void free_VALID_POLICY_NODES(VALID_POLICY_NODES* list);
/* Appends node itself. 0, or 1. */
ZUNPKI_API int add_VALID_POLICY_NODE(VALID_POLICY_NODES* list, VALID_POLICY_NODE* node);

/* Standard output: "[depth = %d] -----------------------" and the nodes of
 * every level that has some, when the head carries the marker. */
ZUNPKI_API void print_VALID_POLICY_TREE_LIST(const node_LIST* list);
/* "[%d] Valid Policy : %s" for every node; the number of nodes. */
ZUNPKI_API int print_VALID_POLICY_NODES(const VALID_POLICY_NODES* list);

ZUNPKI_END_DECLS

#endif
