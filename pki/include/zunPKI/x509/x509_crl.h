/*
 * Certificate revocation lists: the CertificateList record X509_CRL with its
 * TBSCertList body X509_CRL_INFO, the revoked entries X509_REVOKED, lists of
 * CRLs, their DER codecs, setters and getters, signing with an RSA or KCDSA
 * key, signature checks, entry reasons and the lookup of a serial number.
 *
 * A decoded CRL keeps the bytes it was read from (the TBSCertList as it
 * came, the layers around it in DER, as a certificate does): encoding,
 * signing and verifying use those bytes while the record still holds what
 * was decoded. The setters drop them, and so does touch_X509_CRL, which a
 * caller that changes members in place itself must call; after that the CRL
 * is encoded afresh. Sorting the entries orders them for lookups and is not
 * a change: a decoded CRL still encodes and verifies as it was signed.
 *
 * Results are 0 or a PKI_ERROR of library L_X509_CRL unless a function says
 * otherwise; setters and simple getters answer 0 or 1.
 */
#ifndef ZUNPKI_X509_CRL_H
#define ZUNPKI_X509_CRL_H

#include <stdint.h>

#include <zunCrypto/zunCrypto.h>

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/asn1/stack.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_key.h>
#include <zunPKI/x509/x509_name.h>
#include <zunPKI/x509/x509v3.h>

/* One revoked certificate. */
typedef struct {
    BIGINT* userCertificate; /* serial number */
    X509_TIME* revocationDate;
    X509_EXTENSIONS* crlEntryExtensions; /* null: none */
    int position;                        /* index as received, then after each sort; never encoded */
    uintptr_t received;                  /* library-private */
} X509_REVOKED;

/* TBSCertList. */
typedef struct {
    int version;                  /* low byte: 0 v1, 1 v2 */
    OBJECT_IDENTIFIER* signature; /* algorithm of TBSCertList.signature */
    X509_NAME* issuer;
    X509_TIME* thisUpdate;
    X509_TIME* nextUpdate;      /* null when absent */
    STACK* revokedCertificates; /* of X509_REVOKED, compared by serial number */
    X509_EXTENSIONS* crlExtensions;
    /* Parameters of the signature algorithm as received (type = their
     * identifier octet); null: NULL, or none for ECDSA. */
    ASN1_STRING* signatureParameters;
    struct x509_received_st* received; /* library-private */
} X509_CRL_INFO;

/* CertificateList. */
typedef struct {
    X509_CRL_INFO* info;
    OBJECT_IDENTIFIER* signatureAlgorithm;
    BIT_STRING* signatureValue;
    ASN1_STRING* signatureParameters;  /* of signatureAlgorithm, as for the body */
    struct x509_received_st* received; /* library-private */
} X509_CRL;

/* A STACK of X509_CRL; the list owns its CRLs. */
typedef STACK X509_CRLS;

ZUNPKI_BEGIN_DECLS

/* ---- Records ------------------------------------------------------------ */
/* A CRL with a new body. */
ZUNPKI_API X509_CRL* new_X509_CRL(void);
ZUNPKI_API void free_X509_CRL(X509_CRL* crl);
/* Frees the body, the algorithm and the signature value and zeroes the record. */
ZUNPKI_API void clean_X509_CRL(X509_CRL* crl);
/* A deep copy (the kept DER too); null for null or when a copy fails. */
ZUNPKI_API X509_CRL* dup_X509_CRL(const X509_CRL* crl);
/* 0 when both encode to the same DER; -1 or 1 by the first differing byte or
 * the length; 1 when either is missing or does not encode. */
ZUNPKI_API int cmp_X509_CRL(const X509_CRL* a, const X509_CRL* b);
/* Drops the DER kept from decoding: the next encoding is made afresh. */
ZUNPKI_API void touch_X509_CRL(X509_CRL* crl);

/* A body whose entry and extension lists start empty. */
ZUNPKI_API X509_CRL_INFO* new_X509_CRL_INFO(void);
ZUNPKI_API void free_X509_CRL_INFO(X509_CRL_INFO* info);

ZUNPKI_API X509_REVOKED* new_X509_REVOKED(void);
ZUNPKI_API void free_X509_REVOKED(X509_REVOKED* entry);
ZUNPKI_API void clean_X509_REVOKED(X509_REVOKED* entry);
/* A copy of serial, date, extensions and position; null for null. */
ZUNPKI_API X509_REVOKED* dup_X509_REVOKED(const X509_REVOKED* entry);
ZUNPKI_API int cmp_X509_REVOKED(const X509_REVOKED* a, const X509_REVOKED* b);
/* Frees every entry and the list. */
ZUNPKI_API void free_X509_REVOKED_LIST(STACK* list);

ZUNPKI_API X509_CRLS* new_X509_CRLS(void);
/* Frees every CRL and the list. */
ZUNPKI_API void free_X509_CRLS(X509_CRLS* list);

/* ---- Setters: copies of the value; 0, or 1 for a missing CRL, body or value */
ZUNPKI_API int set_X509_CRL_version(X509_CRL* crl, int version);
ZUNPKI_API int set_X509_CRL_signature(X509_CRL* crl, const OBJECT_IDENTIFIER* oid);
ZUNPKI_API int set_X509_CRL_issuer(X509_CRL* crl, const X509_NAME* name);
/* Also 1 for a time of another type than 0 or 1. */
ZUNPKI_API int set_X509_CRL_thisUpdate(X509_CRL* crl, const X509_TIME* time);
ZUNPKI_API int set_X509_CRL_nextUpdate(X509_CRL* crl, const X509_TIME* time);
ZUNPKI_API int set_X509_CRL_sig_alg(X509_CRL* crl, const OBJECT_IDENTIFIER* oid);
/* A new BIT STRING of the given one's bytes and unused bits. */
ZUNPKI_API int set_X509_CRL_sig_value(X509_CRL* crl, const BIT_STRING* bits);

/* ---- Getters (borrowed; 0 for a missing CRL or body) -------------------- */
ZUNPKI_API int get_X509_CRL_version(const X509_CRL* crl);
ZUNPKI_API OBJECT_IDENTIFIER* get_X509_CRL_signature(const X509_CRL* crl);
ZUNPKI_API X509_NAME* get_X509_CRL_issuer(const X509_CRL* crl);
ZUNPKI_API X509_TIME* get_X509_CRL_thisUpdate(const X509_CRL* crl);
/* Null when the CRL has none. */
ZUNPKI_API X509_TIME* get_X509_CRL_nextUpdate(const X509_CRL* crl);
ZUNPKI_API OBJECT_IDENTIFIER* get_X509_CRL_sig_alg(const X509_CRL* crl);
ZUNPKI_API BIT_STRING* get_X509_CRL_sig_value(const X509_CRL* crl);
/* The entry at index; null outside 0..count-1. */
ZUNPKI_API X509_REVOKED* get_X509_CRL_revoked(const X509_CRL* crl, int index);

/* ---- Extensions of the CRL and of an entry: the extension-list operations
 * on crlExtensions or crlEntryExtensions (an entry's list is made by its
 * first add). ------------------------------------------------------------ */
ZUNPKI_API int get_X509_CRL_ext_count(const X509_CRL* crl);
ZUNPKI_API int get_X509_CRL_ext_by_OBJ(const X509_CRL* crl, const OBJECT_IDENTIFIER* oid, int lastpos);
ZUNPKI_API int get_X509_CRL_ext_index_by_OID_index(const X509_CRL* crl, int row, int lastpos);
ZUNPKI_API X509_EXTENSION* get_X509_CRL_ext(const X509_CRL* crl, int index);
/* Takes the extension out and hands it to the caller. */
ZUNPKI_API X509_EXTENSION* remove_X509_CRL_ext(X509_CRL* crl, int index);
/* Inserts a copy at where (negative or beyond the count appends); 0 or 1. */
ZUNPKI_API int add_X509_CRL_ext(X509_CRL* crl, const X509_EXTENSION* ext, int where);

ZUNPKI_API int get_X509_REVOKED_ext_count(const X509_REVOKED* entry);
ZUNPKI_API int get_X509_REVOKED_ext_by_OID(const X509_REVOKED* entry, const OBJECT_IDENTIFIER* oid, int lastpos);
ZUNPKI_API int get_X509_REVOKED_ext_index_by_OID_index(const X509_REVOKED* entry, int row, int lastpos);
ZUNPKI_API X509_EXTENSION* get_X509_REVOKED_ext(const X509_REVOKED* entry, int index);
ZUNPKI_API X509_EXTENSION* remove_X509_REVOKED_ext(X509_REVOKED* entry, int index);
ZUNPKI_API int add_X509_REVOKED_ext(X509_REVOKED* entry, const X509_EXTENSION* ext, int where);

/* ---- Entries ------------------------------------------------------------ */
/* The number of entries; 1 when info is null. */
ZUNPKI_API int get_X509_REVOKED_count(const X509_CRL_INFO* info);
/* Null when info is null or the index is outside 0..count-1. */
ZUNPKI_API X509_REVOKED* get_X509_REVOKED(const X509_CRL_INFO* info, int index);
ZUNPKI_API BIGINT* get_X509_REVOKED_userCert(const X509_REVOKED* entry);
ZUNPKI_API X509_TIME* get_X509_REVOKED_revocationDate(const X509_REVOKED* entry);
/* 0, or 1 for a missing entry or value or a failed copy. */
ZUNPKI_API int set_X509_REVOKED_userCert(X509_REVOKED* entry, const BIGINT* serial);
ZUNPKI_API int set_X509_REVOKED_revocationDate(X509_REVOKED* entry, const X509_TIME* time);
/* Appends the entry itself, which then belongs to the CRL; 0, or 1 (the
 * caller keeps the entry). */
ZUNPKI_API int add_X509_CRL_revoked(X509_CRL* crl, X509_REVOKED* entry);
/* Appends an entry made of copies of serial and time; 0, or the code of the
 * first step that failed. */
ZUNPKI_API int add_X509_REVOKED_child(X509_CRL* crl, const BIGINT* serial, const X509_TIME* time);
/* Orders the entries by serial number and numbers their positions 0..n-1;
 * 0, or 1 for a missing CRL or body. */
ZUNPKI_API int sort_X509_CRL_revoked(X509_CRL* crl);
/* The reason code of the entry's extension at index when it is a CRLReason
 * (row 141): 0..10. 0 for a missing entry, a bad index or another
 * extension; -1 for a CRLReason whose value does not read. */
ZUNPKI_API int get_X509_REVOKED_CRLreason(const X509_REVOKED* entry, int index);
/* Looks the certificate's serial number up among the entries: 0 when no
 * entry has it, n > 0 when the first that has it is entry n - 1, -1 for a
 * missing CRL or certificate or a certificate without serial number. */
ZUNPKI_API int verify_CRL_X509_CERT(const X509_CRL* crl, const X509_CERT* cert);

/* ---- Codecs ------------------------------------------------------------- */
/* Into *crl (which changes only on success) or a new CRL. 0x48020049,
 * 0x48020104; the body's and the entries' codes. */
ZUNPKI_API PKI_ERROR Seq_to_X509_CRL(const ASN1_UNIT* node, X509_CRL** crl);
/* A new node: the DER kept from decoding, or the record encoded. 0x48010049
 * without body, algorithm or signature value; 0x48010103; the body's codes. */
ZUNPKI_API PKI_ERROR X509_CRL_to_Seq(const X509_CRL* crl, ASN1_UNIT** node);
/* Replaces crl's body on success. 0x48040049, 0x4804002B (a version that is
 * not a small non-negative INTEGER), 0x48040104; the entries' codes. */
ZUNPKI_API PKI_ERROR Seq_to_X509_CRL_INFO(const ASN1_UNIT* node, X509_CRL* crl);
/* 0x48030049 without signature, issuer or thisUpdate; 0x48030103. */
ZUNPKI_API PKI_ERROR X509_CRL_INFO_to_Seq(const X509_CRL_INFO* info, ASN1_UNIT** node);
/* The revokedCertificates SEQUENCE of info's entries. 0x4810002B for none,
 * 0x48100103. */
ZUNPKI_API PKI_ERROR X509_REVOKED_to_Seq(const X509_CRL_INFO* info, ASN1_UNIT** node);
/* Appends the entries of a revokedCertificates SEQUENCE to crl's body (made
 * when absent); on failure the CRL is unchanged. 1 for a null node or one
 * without entries, 0x48090049, 0x48090104 for a malformed entry. */
ZUNPKI_API PKI_ERROR Seq_to_X509_REVOKED(const ASN1_UNIT* node, X509_CRL* crl);
/* SEQUENCE OF CertificateList. 1 for a missing argument, 0x4811002B for an
 * empty list or a null CRL, 0x48110103; the CRL encoder's codes. */
ZUNPKI_API PKI_ERROR X509_CRLS_to_Seq(const X509_CRLS* list, ASN1_UNIT** node);
/* The CRLs of a constructed node (SEQUENCE, SET or a tagged list), appended
 * to *list (made when null); the caller's list changes only on success.
 * 0x48120049, 0x4812002B, 0x48120104, 0x4812010C; the CRL decoder's codes. */
ZUNPKI_API PKI_ERROR Seq_to_X509_CRLS(const ASN1_UNIT* node, X509_CRLS** list);

/* ---- Signatures --------------------------------------------------------- */
/* A new BIT STRING in *bits (what it held is freed): the signature of the
 * body under alg. Store it with set_X509_CRL_sig_value and alg with
 * set_X509_CRL_sig_alg; the body's signature must already name alg.
 * 0x48050049, 0x4805002B, the crypto library's result. */
ZUNPKI_API PKI_ERROR gen_RSA_SIG_X509_CRL(const X509_CRL* crl, BIT_STRING** bits, const OBJECT_IDENTIFIER* alg,
                                          RSA_UNIT* key);
/* The BIT STRING holds the KCDSA signature value. 0x48070049, 0x4807002B,
 * 0x48070103, the crypto library's result. */
ZUNPKI_API PKI_ERROR gen_KCDSA_SIG_X509_CRL(const X509_CRL* crl, BIT_STRING** bits, const OBJECT_IDENTIFIER* alg,
                                            KCDSA_UNIT* key);
/* 0 when the signature verifies. 0x48060049, 0x4806002B (an algorithm the
 * key cannot serve, or body and outer algorithms that differ), the crypto
 * library's result (1 for a signature that does not verify). */
ZUNPKI_API PKI_ERROR verify_RSA_SIG_X509_CRL(const X509_CRL* crl, RSA_UNIT* key);
/* 0x48080049, 0x4808002B (also a value that is not a KCDSA signature value), the
 * crypto library's result. */
ZUNPKI_API PKI_ERROR verify_KCDSA_SIG_X509_CRL(const X509_CRL* crl, KCDSA_UNIT* key);
/* 0 when the signature verifies under the issuer's RSA or KCDSA key; 1 for
 * a missing argument or body and for other keys; else the check's code. */
ZUNPKI_API int verify_SIG_X509_CRL(const X509_CRL* crl, const X509_PUBKEY* issuerKey);

ZUNPKI_END_DECLS

#endif
