/*
 * Where revocation data and issuer information live: CRL distribution points
 * (also the freshest-CRL extension), the issuing distribution point of a CRL,
 * and authority (or subject) information access.
 *
 * Conventions are those of x509v3_constraints.h. Reason flags and the
 * issuing distribution point's flags are written in RFC 5280's implicit
 * forms (the explicit forms are read too); a flag that is FALSE is left out.
 */
#ifndef ZUNPKI_X509V3_CRLDP_H
#define ZUNPKI_X509V3_CRLDP_H

#include <zunPKI/x509/x509v3_gn.h>

/* DIST_POINT_NAME.type */
#define DIST_POINT_FULL_NAME 0     /* value: GENERAL_NAMES */
#define DIST_POINT_RELATIVE_NAME 1 /* value: X509_NAME, the entries of one RDN */

typedef struct {
    int type;
    void* value;
} DIST_POINT_NAME;

typedef struct {
    DIST_POINT_NAME* distributionPoint; /* [0], optional */
    BIT_STRING* reasons;                /* [1], optional */
    GENERAL_NAMES* cRLIssuer;           /* [2]; new_DIST_POINT makes it empty, and an empty list is left out */
} DIST_POINT;

/* A STACK of DIST_POINT. */
typedef STACK CRL_DIST_POINTS;

/* Flags: the BOOLEAN's byte as read (one byte), or null when absent. */
typedef struct {
    DIST_POINT_NAME* distributionPoint;        /* [0], optional */
    unsigned char* onlyContainsUserCerts;      /* [1] */
    unsigned char* onlyContainsCACerts;        /* [2] */
    BIT_STRING* onlySomeReasons;               /* [3], optional */
    unsigned char* indirectCRL;                /* [4] */
    unsigned char* onlyContainsAttributeCerts; /* [5] */
} ISSUING_DIST_POINT;

/* A STACK of ISSUING_DIST_POINT. */
typedef STACK ISSUING_DIST_POINTS;

typedef struct {
    OBJECT_IDENTIFIER* accessMethod; /* row 178 OCSP, row 179 caIssuers, ... */
    GENERAL_NAME* accessLocation;
} ACCESS_DESCRIPTION;

/* A STACK of ACCESS_DESCRIPTION. */
typedef STACK AUTHORITY_INFO_ACCESS;

ZUNPKI_BEGIN_DECLS

ZUNPKI_API DIST_POINT_NAME* new_DIST_POINT_NAME(void);
ZUNPKI_API void free_DIST_POINT_NAME(DIST_POINT_NAME* dpn);
ZUNPKI_API void clean_DIST_POINT_NAME(DIST_POINT_NAME* dpn);
/* Null for null and for a type other than 0 and 1. */
ZUNPKI_API DIST_POINT_NAME* dup_DIST_POINT_NAME(const DIST_POINT_NAME* dpn);
ZUNPKI_API int cmp_DIST_POINT_NAME(const DIST_POINT_NAME* a, const DIST_POINT_NAME* b);

ZUNPKI_API DIST_POINT* new_DIST_POINT(void);
ZUNPKI_API void free_DIST_POINT(DIST_POINT* dp);
ZUNPKI_API void clean_DIST_POINT(DIST_POINT* dp);
ZUNPKI_API DIST_POINT* dup_DIST_POINT(const DIST_POINT* dp);
ZUNPKI_API int cmp_DIST_POINT(const DIST_POINT* a, const DIST_POINT* b);
/* One DistributionPoint SEQUENCE. */
ZUNPKI_API PKI_ERROR Seq_to_DIST_POINT(const ASN1_UNIT* node, DIST_POINT** dp);
ZUNPKI_API PKI_ERROR DIST_POINT_to_Seq(const DIST_POINT* dp, ASN1_UNIT** node);

ZUNPKI_API CRL_DIST_POINTS* new_CRL_DIST_POINTS(void);
ZUNPKI_API void free_CRL_DIST_POINTS(CRL_DIST_POINTS* list);
ZUNPKI_API CRL_DIST_POINTS* dup_CRL_DIST_POINTS(const CRL_DIST_POINTS* list);
/* node: the extension body (a SEQUENCE of DistributionPoints), each of them
 * one record; or a single DistributionPoint, which gives one record. At
 * least one child (0x4741002b); appended to *list (made when null). */
ZUNPKI_API PKI_ERROR Seq_to_CRL_DIST_POINTS(const ASN1_UNIT* node, CRL_DIST_POINTS** list);
/* The extension body; an empty list is refused (0x4742002b). */
ZUNPKI_API PKI_ERROR CRL_DIST_POINTS_to_Seq(const CRL_DIST_POINTS* list, ASN1_UNIT** node);

ZUNPKI_API ISSUING_DIST_POINT* new_ISSUING_DIST_POINT(void);
ZUNPKI_API void free_ISSUING_DIST_POINT(ISSUING_DIST_POINT* idp);
ZUNPKI_API void clean_ISSUING_DIST_POINT(ISSUING_DIST_POINT* idp);
ZUNPKI_API ISSUING_DIST_POINT* dup_ISSUING_DIST_POINT(const ISSUING_DIST_POINT* idp);
ZUNPKI_API int cmp_ISSUING_DIST_POINT(const ISSUING_DIST_POINT* a, const ISSUING_DIST_POINT* b);
/* The issuingDistributionPoint body. */
ZUNPKI_API PKI_ERROR Seq_to_issuing_DIST_POINT(const ASN1_UNIT* node, ISSUING_DIST_POINT** idp);
ZUNPKI_API PKI_ERROR issuing_DIST_POINT_to_Seq(const ISSUING_DIST_POINT* idp, ASN1_UNIT** node);

ZUNPKI_API ISSUING_DIST_POINTS* new_ISSUING_DIST_POINTS(void);
ZUNPKI_API void free_ISSUING_DIST_POINTS(ISSUING_DIST_POINTS* list);
ZUNPKI_API ISSUING_DIST_POINTS* dup_ISSUING_DIST_POINTS(const ISSUING_DIST_POINTS* list);
/* node: the issuingDistributionPoint body, which gives one record, or a
 * SEQUENCE of them. At least one child (0x4727002b); appended to *list. */
ZUNPKI_API PKI_ERROR Seq_to_issuing_DIST_POINTS(const ASN1_UNIT* node, ISSUING_DIST_POINTS** list);
/* SEQUENCE OF the records (the body of one is issuing_DIST_POINT_to_Seq's);
 * an empty list is refused (0x4728002b). */
ZUNPKI_API PKI_ERROR issuing_DIST_POINTS_to_Seq(const ISSUING_DIST_POINTS* list, ASN1_UNIT** node);

ZUNPKI_API ACCESS_DESCRIPTION* new_ACCESS_DESCRIPTION(void);
ZUNPKI_API void free_ACCESS_DESCRIPTION(ACCESS_DESCRIPTION* ad);
ZUNPKI_API void clean_ACCESS_DESCRIPTION(ACCESS_DESCRIPTION* ad);
ZUNPKI_API ACCESS_DESCRIPTION* dup_ACCESS_DESCRIPTION(const ACCESS_DESCRIPTION* ad);
ZUNPKI_API int cmp_ACCESS_DESCRIPTION(const ACCESS_DESCRIPTION* a, const ACCESS_DESCRIPTION* b);
ZUNPKI_API PKI_ERROR Seq_to_ACCESS_DESCRIPTION(const ASN1_UNIT* node, ACCESS_DESCRIPTION** ad);
ZUNPKI_API PKI_ERROR ACCESS_DESCRIPTION_to_Seq(const ACCESS_DESCRIPTION* ad, ASN1_UNIT** node);

ZUNPKI_API AUTHORITY_INFO_ACCESS* new_AUTHORITY_INFO_ACCESS(void);
ZUNPKI_API void free_AUTHORITY_INFO_ACCESS(AUTHORITY_INFO_ACCESS* list);
ZUNPKI_API AUTHORITY_INFO_ACCESS* dup_AUTHORITY_INFO_ACCESS(const AUTHORITY_INFO_ACCESS* list);
/* At least one description (0x4725002b); appended to *list. */
ZUNPKI_API PKI_ERROR Seq_to_AUTHORITY_INFO_ACCESS(const ASN1_UNIT* node, AUTHORITY_INFO_ACCESS** list);
/* An empty list is refused (0x4726002b). */
ZUNPKI_API PKI_ERROR AUTHORITY_INFO_ACCESS_to_Seq(const AUTHORITY_INFO_ACCESS* list, ASN1_UNIT** node);

ZUNPKI_END_DECLS

#endif
