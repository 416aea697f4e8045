/*
 * Algorithm identifiers, public keys and the asymmetric key holder.
 *
 * X509_ALGO_IDENTIFIER is an AlgorithmIdentifier; X509_PUBKEY a
 * SubjectPublicKeyInfo together with its decoded key; ASYMMETRIC_KEY holds an
 * RSA, KCDSA or EC key object of the crypto library. The key BIT STRING forms
 * are the subjectPublicKey contents of each kind. The named-curve table has
 * one curve, P-256.
 *
 * Results are 0 or a PKI_ERROR of library L_X509 unless a function says
 * otherwise (a few return a plain 1).
 */
#ifndef ZUNPKI_X509_KEY_H
#define ZUNPKI_X509_KEY_H

#include <zunCrypto/zunCrypto.h>

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/asn1/stack.h>

/* AlgorithmIdentifier. parameters keeps any one element with its identifier
 * octet as type (5 NULL, 6 OBJECT IDENTIFIER, 48 a SEQUENCE's contents, ...);
 * null when absent. */
typedef struct {
    OBJECT_IDENTIFIER* algorithm;
    ASN1_STRING* parameters;
} X509_ALGO_IDENTIFIER;

/* SET OF AlgorithmIdentifier: a STACK of X509_ALGO_IDENTIFIER*. */
typedef STACK X509_ALGO_IDENTIFIERS;

/* DigestInfo. */
typedef struct {
    X509_ALGO_IDENTIFIER* digestAlgorithm;
    OCTET_STRING* digest;
} X509_SIGN;

/* Kinds of ASYMMETRIC_KEY. */
#define ASYMMETRIC_KEY_EMPTY 0
#define ASYMMETRIC_KEY_RSA 1   /* key is an RSA_UNIT* */
#define ASYMMETRIC_KEY_KCDSA 2 /* key is a KCDSA_UNIT* */
#define ASYMMETRIC_KEY_EC 3    /* key is an ECC_KEY* */

typedef struct {
    int kind;
    void* key; /* the key object of that kind, owned */
} ASYMMETRIC_KEY;

/* SubjectPublicKeyInfo. The key's parameters live in the key object. */
typedef struct {
    OBJECT_IDENTIFIER* algorithm;
    BIT_STRING* subjectPublicKey; /* as received; null when built by the setters; never encoded */
    ASYMMETRIC_KEY* key;
} X509_PUBKEY;

ZUNPKI_BEGIN_DECLS

/* ---- Algorithm identifiers ---------------------------------------------- */
ZUNPKI_API X509_ALGO_IDENTIFIER* new_X509_ALGO_IDENTIFIER(void);
ZUNPKI_API void free_X509_ALGO_IDENTIFIER(X509_ALGO_IDENTIFIER* alg);
ZUNPKI_API void clean_X509_ALGO_IDENTIFIER(X509_ALGO_IDENTIFIER* alg);
ZUNPKI_API X509_ALGO_IDENTIFIER* dup_X509_ALGO_IDENTIFIER(const X509_ALGO_IDENTIFIER* alg);
ZUNPKI_API int cmp_X509_ALGO_IDENTIFIER(const X509_ALGO_IDENTIFIER* a, const X509_ALGO_IDENTIFIER* b);
/* Stores copies of oid and params; null params store a NULL (type 5). 1 when
 * alg or oid is missing or a copy fails. */
ZUNPKI_API int set_X509_ALGO_IDENTIFIER_value(X509_ALGO_IDENTIFIER* alg, const OBJECT_IDENTIFIER* oid,
                                              const ASN1_STRING* params);
/* 1 for missing arguments. */
ZUNPKI_API PKI_ERROR X509_ALGO_IDENTIFIER_to_Seq(const X509_ALGO_IDENTIFIER* alg, ASN1_UNIT** node);
/* A SEQUENCE of one or two children (else 0x4626002B); 1 for missing arguments. */
ZUNPKI_API PKI_ERROR Seq_to_X509_ALGO_IDENTIFIER(const ASN1_UNIT* node, X509_ALGO_IDENTIFIER** alg);

ZUNPKI_API X509_ALGO_IDENTIFIERS* new_X509_ALGO_IDENTIFIERS(void);
ZUNPKI_API void free_X509_ALGO_IDENTIFIERS(X509_ALGO_IDENTIFIERS* list);
/* A deep copy: the elements are copied too. */
ZUNPKI_API X509_ALGO_IDENTIFIERS* dup_X509_ALGO_IDENTIFIERS(const X509_ALGO_IDENTIFIERS* list);
ZUNPKI_API PKI_ERROR X509_ALGO_IDENTIFIERS_to_Seq(const X509_ALGO_IDENTIFIERS* list, ASN1_UNIT** node);
/* Appends the elements to *list (or fills a new list), on success only. */
ZUNPKI_API PKI_ERROR Seq_to_X509_ALGO_IDENTIFIERS(const ASN1_UNIT* node, X509_ALGO_IDENTIFIERS** list);

/* ---- DigestInfo (codes of library L_X509V3) ----------------------------- */
ZUNPKI_API X509_SIGN* new_X509_SIGN(void);
ZUNPKI_API void free_X509_SIGN(X509_SIGN* sign);
ZUNPKI_API void clean_X509_SIGN(X509_SIGN* sign);
ZUNPKI_API X509_SIGN* dup_X509_SIGN(const X509_SIGN* sign);
ZUNPKI_API int cmp_X509_SIGN(const X509_SIGN* a, const X509_SIGN* b);
ZUNPKI_API PKI_ERROR X509_SIGN_to_Seq(const X509_SIGN* sign, ASN1_UNIT** node);
/* The node is the DigestInfo, or holds it as its only child. A reader for
 * looking into a block, not a check of one: it takes that wrapper, absent
 * parameters and BER lengths alike, so different blocks read as one value.
 * Signature checks compare the whole expected DER block instead. */
ZUNPKI_API PKI_ERROR Seq_to_X509_SIGN(const ASN1_UNIT* node, X509_SIGN** sign);

/* ---- Asymmetric keys ---------------------------------------------------- */
ZUNPKI_API ASYMMETRIC_KEY* new_ASYMMETRIC_KEY(void);
ZUNPKI_API void free_ASYMMETRIC_KEY(ASYMMETRIC_KEY* key);
/* Frees the key object and empties the record (kind 0). */
ZUNPKI_API void clean_ASYMMETRIC_KEY(ASYMMETRIC_KEY* key);
/* Null for a missing or empty key, or when the copy fails. KCDSA keys are
 * copied value by value as they are (no domain check), EC keys whole
 * (curve, point, private scalar). */
ZUNPKI_API ASYMMETRIC_KEY* dup_ASYMMETRIC_KEY(const ASYMMETRIC_KEY* key);
/* 1 when either is missing; 0 when both hold the same kind and equal key
 * values; otherwise non-zero. */
ZUNPKI_API int cmp_ASYMMETRIC_KEY(const ASYMMETRIC_KEY* a, const ASYMMETRIC_KEY* b);
/* Cleans rsa and fills it from an RSA key by its completeness: 8 or more all
 * eight values, 4-7 n, e and d, 3 n and e. 0, or 1 when the key is missing,
 * not RSA or incomplete. */
ZUNPKI_API int ASYMMETRIC_KEY_to_RSA_UNIT(const ASYMMETRIC_KEY* key, RSA_UNIT* rsa);
/* Cleans kcdsa and copies every value the key holds. 0, or 1. */
ZUNPKI_API int ASYMMETRIC_KEY_to_KCDSA_UNIT(const ASYMMETRIC_KEY* key, KCDSA_UNIT* kcdsa);
/* Puts a copy of the values into key (kind 1 or 2); an object of another
 * kind that key held is freed. 0, or 1 on failure. */
ZUNPKI_API int RSA_UNIT_to_ASYMMETRIC_KEY(const RSA_UNIT* rsa, ASYMMETRIC_KEY* key);
ZUNPKI_API int KCDSA_UNIT_to_ASYMMETRIC_KEY(const KCDSA_UNIT* kcdsa, ASYMMETRIC_KEY* key);

/* ---- Public-key record -------------------------------------------------- */
ZUNPKI_API X509_PUBKEY* new_X509_PUBKEY(void);
ZUNPKI_API void free_X509_PUBKEY(X509_PUBKEY* pk);
ZUNPKI_API void clean_X509_PUBKEY(X509_PUBKEY* pk);
ZUNPKI_API X509_PUBKEY* dup_X509_PUBKEY(const X509_PUBKEY* pk);
/* 1 when either is missing; -1 when the algorithms or the received BIT
 * STRINGs differ; 0 when equal. */
ZUNPKI_API int cmp_X509_PUBKEY(const X509_PUBKEY* a, const X509_PUBKEY* b);
ZUNPKI_API PKI_ERROR Seq_to_X509_PUBKEY(const ASN1_UNIT* node, X509_PUBKEY** pk);
/* The subjectPublicKey is made from the key object: public values only. */
ZUNPKI_API PKI_ERROR X509_PUBKEY_to_Seq(const X509_PUBKEY* pk, ASN1_UNIT** node);
/* The public values of an RSA (n, e) or KCDSA (p, q, g, y, j, seed, count)
 * key become pk's key and algorithm. 0, or 1 for missing arguments or
 * values. */
ZUNPKI_API int set_X509_PUBKEY_rsa(X509_PUBKEY* pk, const RSA_UNIT* rsa);
ZUNPKI_API int set_X509_PUBKEY_kcdsa(X509_PUBKEY* pk, const KCDSA_UNIT* kcdsa);

/* ---- Key BIT STRING forms (subjectPublicKey contents) ------------------- */
/* RSA: SEQUENCE of 2 {n, e}, 3 {n, e, d} or 8 {n, e, d, p, q, dP, dQ, qInv}
 * INTEGERs. Decoding fills *rsa (cleaned first) or a new object. */
ZUNPKI_API PKI_ERROR BITSTRING_to_RSA_KEY(const BIT_STRING* bits, RSA_UNIT** rsa);
/* By completeness: 31 all eight values, 4 n, e and d, 3 n and e. Into *bits
 * when given, else a new BIT STRING. */
ZUNPKI_API PKI_ERROR RSA_KEY_to_BITSTRING(const RSA_UNIT* rsa, BIT_STRING** bits);
/* KCDSA: one INTEGER, y. */
ZUNPKI_API PKI_ERROR BITSTRING_to_KCDSA_KEY(const BIT_STRING* bits, KCDSA_UNIT** kcdsa);
ZUNPKI_API PKI_ERROR KCDSA_KEY_to_BITSTRING(const KCDSA_UNIT* kcdsa, BIT_STRING** bits);
/* EC: the uncompressed point 04 || x || y of the curve's field length (65
 * bytes for P-256), or the single byte 00 for the point at infinity. */
ZUNPKI_API PKI_ERROR BITSTRING_to_ECC_KEY(const BIT_STRING* bits, ECC_KEY** key);
ZUNPKI_API PKI_ERROR ECC_KEY_to_BITSTRING(const ECC_KEY* key, BIT_STRING** bits);

/* ---- SubjectPublicKeyInfo of a bare key --------------------------------- */
/* RSA: only n and e are written, whatever the object holds. */
ZUNPKI_API PKI_ERROR RSA_KEY_to_Seq(const RSA_UNIT* rsa, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_RSA_KEY(const ASN1_UNIT* node, RSA_UNIT** rsa);
ZUNPKI_API PKI_ERROR KCDSA_KEY_to_Seq(const KCDSA_UNIT* kcdsa, ASN1_UNIT** node);
ZUNPKI_API PKI_ERROR Seq_to_KCDSA_KEY(const ASN1_UNIT* node, KCDSA_UNIT** kcdsa);

/* ---- Key pairs ---------------------------------------------------------- */
/* 0 when the private key belongs to the public key; 1 otherwise, also for
 * missing arguments and anything that cannot be checked. */
ZUNPKI_API int check_X509_keypair(const X509_PUBKEY* pub, const ASYMMETRIC_KEY* priv);
/* 0 when both have n and e and they are equal. */
ZUNPKI_API int check_X509_RSA_keypair(const RSA_UNIT* a, const RSA_UNIT* b);
/* 0 when p, q, g are equal, and y and j where both have them. */
ZUNPKI_API int check_X509_KCDSA_keypair(const KCDSA_UNIT* a, const KCDSA_UNIT* b);
/* 0 when both are on the same curve and pub's point is priv's: d x G when
 * priv holds d, else its point. */
ZUNPKI_API int check_X509_ECC_keypair(const ECC_KEY* pub, const ECC_KEY* priv);

/* ---- Named curves ------------------------------------------------------- */
/* Loads the curve of an object-identifier row into *curve (made when null).
 * 0, or 1 for a row not in the table. */
ZUNPKI_API int set_ECURVE_from_list(ECURVE** curve, int row);
ZUNPKI_API int set_ECURVE_from_list_ex(ECURVE** curve, const OBJECT_IDENTIFIER* oid);
/* Replaces *oid with the identifier of the named curve (exact name). 0, or 1. */
ZUNPKI_API int get_ECURVE_OID_from_name(OBJECT_IDENTIFIER** oid, const char* name);

ZUNPKI_END_DECLS

#endif
