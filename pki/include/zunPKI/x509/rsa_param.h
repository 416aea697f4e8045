/* RSAES-OAEP and RSASSA-PSS parameters (RFC 8017 appendix A.2): the
 * parameters of RSA algorithm identifiers, in certificates, CRLs and PKCS#7
 * signatures as much as in PKCS#1 key transport.
 *
 * Results are 0 or a PKI_ERROR of library L_PKCS1 unless said otherwise. */
#ifndef ZUNPKI_RSA_PARAM_H
#define ZUNPKI_RSA_PARAM_H

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/x509/x509_key.h>

/* RSAES-OAEP-params (RFC 8017 A.2.1). A member left null takes its default:
 * SHA-1, MGF1 with SHA-1, an empty label. */
typedef struct {
    X509_ALGO_IDENTIFIER* hashAlgorithm;    /* [0] */
    X509_ALGO_IDENTIFIER* maskGenAlgorithm; /* [1] */
    X509_ALGO_IDENTIFIER* pSourceAlgorithm; /* [2] */
} RSAES_OAEP_PARAM;

/* RSASSA-PSS-params (RFC 8017 A.2.3). A member left null takes its default:
 * SHA-1, MGF1 with SHA-1, a salt of 20 bytes, trailer field 1. */
typedef struct {
    X509_ALGO_IDENTIFIER* hashAlgorithm;    /* [0] */
    X509_ALGO_IDENTIFIER* maskGenAlgorithm; /* [1] */
    BIGINT* saltLength;                     /* [2] */
    BIGINT* trailerField;                   /* [3] */
} RSASSA_PSS_PARAM;

ZUNPKI_BEGIN_DECLS

/* ---- OAEP and PSS parameters ---------------------------------------------
 * Members equal to their defaults are left out when encoding, as DER wants.
 * Hash identifiers are written with NULL parameters; MGF1 names the hash the
 * record has when the mask generation is set (SHA-1 when none), and follows
 * a hash set afterwards. */
ZUNPKI_API RSAES_OAEP_PARAM* new_RSAES_OAEP_PARAM(void);
ZUNPKI_API void free_RSAES_OAEP_PARAM(RSAES_OAEP_PARAM* param);
ZUNPKI_API void clean_RSAES_OAEP_PARAM(RSAES_OAEP_PARAM* param);
ZUNPKI_API RSAES_OAEP_PARAM* dup_RSAES_OAEP_PARAM(const RSAES_OAEP_PARAM* param);
ZUNPKI_API int cmp_RSAES_OAEP_PARAM(const RSAES_OAEP_PARAM* a, const RSAES_OAEP_PARAM* b);
ZUNPKI_API RSASSA_PSS_PARAM* new_RSASSA_PSS_PARAM(void);
ZUNPKI_API void free_RSASSA_PSS_PARAM(RSASSA_PSS_PARAM* param);
ZUNPKI_API void clean_RSASSA_PSS_PARAM(RSASSA_PSS_PARAM* param);
ZUNPKI_API RSASSA_PSS_PARAM* dup_RSASSA_PSS_PARAM(const RSASSA_PSS_PARAM* param);
ZUNPKI_API int cmp_RSASSA_PSS_PARAM(const RSASSA_PSS_PARAM* a, const RSASSA_PSS_PARAM* b);

/* The hash by table row or identifier. 0x490d0049 / 0x49120049 for a null
 * record, 0x490d003c / 0x4912003c for a row without identifier,
 * 0x490d0103 / 0x49120103 when memory is short. */
ZUNPKI_API PKI_ERROR set_RSAES_OAEP_PARAM_hashAlgorithm(RSAES_OAEP_PARAM* param, int row);
ZUNPKI_API PKI_ERROR set_RSAES_OAEP_PARAM_hashAlgorithm_OID(RSAES_OAEP_PARAM* param, const OBJECT_IDENTIFIER* oid);
ZUNPKI_API PKI_ERROR set_RSASSA_PSS_PARAM_hashAlgorithm(RSASSA_PSS_PARAM* param, int row);
ZUNPKI_API PKI_ERROR set_RSASSA_PSS_PARAM_hashAlgorithm_OID(RSASSA_PSS_PARAM* param, const OBJECT_IDENTIFIER* oid);
/* Only row 833, id-mgf1 (else 0x490d0048 / 0x49130048). 0x490e0049 /
 * 0x49130049 for a null record; 0x490d0103 / 0x49130103 on failure. */
ZUNPKI_API PKI_ERROR set_RSAES_OAEP_PARAM_maskGenAlgorithm(RSAES_OAEP_PARAM* param, int row);
ZUNPKI_API PKI_ERROR set_RSAES_OAEP_PARAM_maskGenAlgorithm_OID(RSAES_OAEP_PARAM* param, const OBJECT_IDENTIFIER* oid);
ZUNPKI_API PKI_ERROR set_RSASSA_PSS_PARAM_maskGenAlgorithm(RSASSA_PSS_PARAM* param, int row);
ZUNPKI_API PKI_ERROR set_RSASSA_PSS_PARAM_maskGenAlgorithm_OID(RSASSA_PSS_PARAM* param, const OBJECT_IDENTIFIER* oid);
/* { the row's identifier (834, id-pSpecified), OCTET STRING label } (an
 * empty label without one). 0x490f0049 for a null record, 0x490d0103 on
 * failure. */
ZUNPKI_API PKI_ERROR set_RSAES_OAEP_PARAM_pSourceAlgorithm(RSAES_OAEP_PARAM* param, int row, const unsigned char* label,
                                                           int len);
ZUNPKI_API PKI_ERROR set_RSAES_OAEP_PARAM_pSourceAlgorithm_OID(RSAES_OAEP_PARAM* param, const OBJECT_IDENTIFIER* oid,
                                                               const unsigned char* label, int len);
/* The low byte of v, which must not be 0 (RFC 8017 defines only 1);
 * 0x49140049 otherwise. */
ZUNPKI_API PKI_ERROR set_RSASSA_PSS_PARAM_trailerField(RSASSA_PSS_PARAM* param, unsigned v);
/* The salt length in bytes, 0 or more; 0x49170049 otherwise. */
ZUNPKI_API PKI_ERROR set_RSASSA_PSS_PARAM_saltLength(RSASSA_PSS_PARAM* param, int len);

/* 0x49100049 / 0x49150049 for null arguments, 0x49100103 / 0x49150103 when
 * encoding fails (the output is then left as it was). */
ZUNPKI_API PKI_ERROR RSAES_OAEP_PARAM_to_Seq(const RSAES_OAEP_PARAM* param, ASN1_UNIT** out);
ZUNPKI_API PKI_ERROR RSASSA_PSS_PARAM_to_Seq(const RSASSA_PSS_PARAM* param, ASN1_UNIT** out);
/* Any of the members in order, none required (an empty SEQUENCE is all
 * defaults). 0x49160049 for null arguments; 0x49110104 / 0x49160104 for
 * anything else. */
ZUNPKI_API PKI_ERROR Seq_to_RSAES_OAEP_PARAM(const ASN1_UNIT* in, RSAES_OAEP_PARAM** out);
ZUNPKI_API PKI_ERROR Seq_to_RSASSA_PSS_PARAM(const ASN1_UNIT* in, RSASSA_PSS_PARAM** out);

/* The parameters of alg (its caller sets the algorithm, row 832
 * id-RSAES-OAEP or 835 id-RSASSA-PSS) become the encoded record; a null
 * OAEP record writes the defaults, an empty SEQUENCE. 0x490f0049 for null
 * arguments, 0x490f0103 when encoding fails. */
ZUNPKI_API PKI_ERROR set_X509_ALGO_IDENTIFIER_with_RSAES_OAEP_PARAM(X509_ALGO_IDENTIFIER* alg,
                                                                    const RSAES_OAEP_PARAM* param);
ZUNPKI_API PKI_ERROR set_X509_ALGO_IDENTIFIER_with_RSASSA_PSS_PARAM(X509_ALGO_IDENTIFIER* alg,
                                                                    const RSASSA_PSS_PARAM* param);

ZUNPKI_END_DECLS

#endif
