/*
 * Trust anchors: a name with a public key that path building accepts as the
 * end of a certification path, their DER form and the anchor list.
 *
 *   TrustAnchor ::= SEQUENCE { name Name, publicKey SubjectPublicKeyInfo }
 *
 * Anchors are matched by name as RFC 5280 7.1 compares names (the form
 * openssl calls canonical: character strings as UTF-8, whitespace runs
 * folded, ASCII case ignored) and by the DER of the key, parameters
 * included.
 *
 * Results are 0 or a PKI_ERROR of library L_CPV unless a function says
 * otherwise. Anchors taken from a signed trust list are pkcs/ctl_signed.h.
 */
#ifndef ZUNPKI_TRUST_ANCHOR_H
#define ZUNPKI_TRUST_ANCHOR_H

#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/asn1/stack.h>
#include <zunPKI/x509/x509_key.h>
#include <zunPKI/x509/x509_name.h>

typedef struct {
    X509_NAME* name;
    X509_PUBKEY* publicKey;
} TRUST_ANCHOR;

/* A STACK of TRUST_ANCHOR; the list owns its anchors. */
typedef STACK TRUST_ANCHORS;

ZUNPKI_BEGIN_DECLS

ZUNPKI_API TRUST_ANCHOR* new_TRUST_ANCHOR(void);
/* Frees both members and the record; null is ignored. */
ZUNPKI_API void free_TRUST_ANCHOR(TRUST_ANCHOR* anchor);
/* Frees both members and clears them, keeping the record. */
ZUNPKI_API void clean_TRUST_ANCHOR(TRUST_ANCHOR* anchor);
/* A deep copy; null for null or when a copy fails. */
ZUNPKI_API TRUST_ANCHOR* dup_TRUST_ANCHOR(const TRUST_ANCHOR* anchor);
/* Member by member (names by their DER); 0 when equal. */
ZUNPKI_API int cmp_TRUST_ANCHOR(const TRUST_ANCHOR* a, const TRUST_ANCHOR* b);

/* 0x53030049 without record, name or key; 0x53030103; the member encoders'
 * codes. */
ZUNPKI_API PKI_ERROR TRUST_ANCHOR_to_Seq(const TRUST_ANCHOR* anchor, ASN1_UNIT** node);
/* Into *anchor (which changes only on success) or a new record. 0x53040049,
 * 0x5304002B (not exactly two elements), 0x53040104. */
ZUNPKI_API PKI_ERROR Seq_to_TRUST_ANCHOR(const ASN1_UNIT* node, TRUST_ANCHOR** anchor);

ZUNPKI_API TRUST_ANCHORS* new_TRUST_ANCHORS(void);
/* Frees every anchor and the list; null is ignored. */
ZUNPKI_API void free_TRUST_ANCHORS(TRUST_ANCHORS* list);
/* Appends a copy of anchor (which needs a name and a key). 0, or 1 for a
 * missing argument or a failed copy. */
ZUNPKI_API int add_TRUST_ANCHORS(TRUST_ANCHORS* list, const TRUST_ANCHOR* anchor);
/* The first index whose anchor has anchor's name and key; -1 when none or
 * for a missing argument. */
ZUNPKI_API int get_TRUST_ANCHORS_index_by_TRUST_ANCHOR(const TRUST_ANCHORS* list, const TRUST_ANCHOR* anchor);

ZUNPKI_END_DECLS

#endif
