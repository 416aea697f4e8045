/*
 * Identity data of Korean accredited certificates and the VID check.
 *
 * The holder's identity data rides in an otherName of the subject
 * alternative name:
 *   SEQUENCE { realName UTF8String,
 *              userInfos SEQUENCE { SEQUENCE { idType OBJECT IDENTIFIER, VID } ... } OPTIONAL }
 *   VID ::= SEQUENCE { hashAlgorithm AlgorithmIdentifier,
 *                      virtualID [0] EXPLICIT OCTET STRING OPTIONAL }
 * The virtual ID is H(H(DER of SEQUENCE { idn PrintableString, randomNum BIT STRING })),
 * H the VID's hash algorithm. Only the first user-information entry is read
 * and written.
 */
#ifndef ZUNPKI_VID_H
#define ZUNPKI_VID_H

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509v3.h>

typedef struct {
    OBJECT_IDENTIFIER* hashAlgorithm; /* the AlgorithmIdentifier's OID; parameters are not kept */
    OCTET_STRING* virtualID;          /* optional */
} VID;

typedef struct {
    UTF8_STRING* realName;
    OBJECT_IDENTIFIER* idType; /* of the first user-information entry; optional */
    VID* vid;                  /* of that entry; optional */
} KISA_IDENTIFY_DATA;

ZUNPKI_BEGIN_DECLS

ZUNPKI_API VID* new_VID(void);
ZUNPKI_API void free_VID(VID* vid);
ZUNPKI_API void clean_VID(VID* vid);
ZUNPKI_API VID* dup_VID(const VID* vid);
ZUNPKI_API int cmp_VID(const VID* a, const VID* b);
/* One or two children (0x4701002b). */
ZUNPKI_API PKI_ERROR Seq_to_VID(const ASN1_UNIT* node, VID** vid);
/* The algorithm is written without parameters. */
ZUNPKI_API PKI_ERROR VID_to_Seq(const VID* vid, ASN1_UNIT** node);

ZUNPKI_API KISA_IDENTIFY_DATA* new_KISA_IDENTIFY_DATA(void);
ZUNPKI_API void free_KISA_IDENTIFY_DATA(KISA_IDENTIFY_DATA* data);
ZUNPKI_API void clean_KISA_IDENTIFY_DATA(KISA_IDENTIFY_DATA* data);
ZUNPKI_API KISA_IDENTIFY_DATA* dup_KISA_IDENTIFY_DATA(const KISA_IDENTIFY_DATA* data);
ZUNPKI_API int cmp_KISA_IDENTIFY_DATA(const KISA_IDENTIFY_DATA* a, const KISA_IDENTIFY_DATA* b);
/* One or two children (0x4703002b). */
ZUNPKI_API PKI_ERROR Seq_to_KISA_IDENTIFY_DATA(const ASN1_UNIT* node, KISA_IDENTIFY_DATA** data);
/* userInfos is written when idType is there; a VID without idType is
 * refused (0x4704002b). */
ZUNPKI_API PKI_ERROR KISA_IDENTIFY_DATA_to_Seq(const KISA_IDENTIFY_DATA* data, ASN1_UNIT** node);

/* The identity data in a list of extensions: the first otherName of a
 * subjectAltName, in extension order, whose value reads as identity data.
 * 0 and a new record in *data, or 0x4755012f when there is none, 0x47550049
 * for a missing argument. */
ZUNPKI_API PKI_ERROR get_KISA_IDENTIFY_DATA_from_extensions(const X509_EXTENSIONS* extensions,
                                                            KISA_IDENTIFY_DATA** data);

/* Checks idn (idnLen characters) and the random value (randomLen bytes)
 * against the VID of the identity data in extensions. 0 on a match; else
 * 0x47550049 missing argument or negative length, 0x4755012f no identity data,
 * no VID or an unknown hash algorithm, 0x4755003c an idn that is not a
 * PrintableString, 0x47550104 the hash input cannot be built, 0x4755003b,
 * 0x47550022, 0x4755005b, 0x47550018 digest failures, 0x47550111 a VID of
 * another length, 0x47550112 a VID of other bytes. */
ZUNPKI_API PKI_ERROR check_VID_extensions(const X509_EXTENSIONS* extensions, const unsigned char* random, int randomLen,
                                          const char* idn, int idnLen);
/* The same for a certificate's extensions; 0x47550049 as well when cert or
 * its body or extension list is missing. */
ZUNPKI_API PKI_ERROR check_VID(const X509_CERT* cert, const unsigned char* random, int randomLen, const char* idn,
                               int idnLen);

ZUNPKI_END_DECLS

#endif
