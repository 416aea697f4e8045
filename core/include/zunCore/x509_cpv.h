/*
 * Certification path validation against a list of CA certificates, with the
 * CRL of each certificate fetched from its distribution point (LDAP or HTTP).
 *
 * Trust comes from the list alone: a path ends at a self-issued certificate
 * that is in the list byte for byte, and every certificate above the target
 * but below that one must be a CA (v3, basicConstraints cA TRUE, keyCertSign
 * when keyUsage is present, within its pathLenConstraint). Names chain as
 * RFC 5280 compares them; where several listed certificates carry the
 * issuer's name, each is tried, those whose subjectKeyIdentifier is the
 * authorityKeyIdentifier first. Validity and CRL times are compared as
 * instants with now (time() plus the network-time offset).
 *
 * A CRL counts only when its issuer is the certificate's issuer, its
 * signature verifies under the issuer's key (which must allow cRLSign when it
 * has keyUsage), and thisUpdate <= now <= nextUpdate (no nextUpdate: no
 * end). Delta CRLs, CRLs that cover some reasons only, indirect CRLs,
 * another scope than the certificate's, and unknown critical extensions are
 * not supported. Each call fetches anew (no cache).
 */
#ifndef ZUNCORE_X509_CPV_H
#define ZUNCORE_X509_CPV_H

#include <zunCore/core_export.h>
#include <zunCore/keys.h>
#include <zunPKI/asn1/stack.h>
#include <zunPKI/x509/x509_cert.h>

/* crl_flag: check CRLs when 1, not for any other value. */
#define VCL_CPV_CHECK_CRL 1

/* Results besides 0 and the codes that pass through (decoding). */
#define VCL_CPV_ERR_LIST_NULL ((int)0xaa010002)       /* n_ca < 0, or no array for n_ca > 0 */
#define VCL_CPV_ERR_NO_TARGET ((int)0xaa010003)       /* target certificate missing */
#define VCL_CPV_ERR_PATH_NULL ((int)0xaa020002)       /* a NULL certificate or list */
#define VCL_CPV_ERR_NO_ISSUER ((int)0xaa020056)       /* no listed CA issues it, or the path ends at no listed anchor */
#define VCL_CPV_ERR_CERT_NULL ((int)0xaa030002)       /* a NULL certificate */
#define VCL_CPV_ERR_SIGNATURE ((int)0xaa030054)       /* a certificate's signature does not verify */
#define VCL_CPV_ERR_VALIDITY ((int)0xaa030055)        /* a certificate outside its validity */
#define VCL_CPV_ERR_CRL_NULL ((int)0xaa040002)        /* no certificate for the CRL check */
#define VCL_CPV_ERR_CRL_NO_ISSUER ((int)0xaa040003)   /* no certificate or issuer for the CRL check */
#define VCL_CPV_ERR_CRL_NOT_FOUND ((int)0xaa040007)   /* no CRL could be fetched */
#define VCL_CPV_ERR_CRL_UNSUPPORTED ((int)0xaa040011) /* a CRL or distribution point of a kind not supported */
#define VCL_CPV_ERR_CRL_BAD ((int)0xaa040054)         /* the CRL's signature, issuer or signer does not hold */
#define VCL_CPV_ERR_CRL_STALE ((int)0xaa040055)       /* now is outside thisUpdate..nextUpdate */
#define VCL_CPV_ERR_CRL_PATH ((int)0xaa040057)        /* no LDAP or HTTP distribution point */
#define VCL_CPV_ERR_REVOKED ((int)0xaa040058)         /* the certificate is on its CRL */

VCL_BEGIN_DECLS

/* Decodes the n_ca certificates (a failure returns its decoding code) and the
 * target, and validates the target's path. VCL_CPV_ERR_NO_TARGET for a NULL
 * target or cert_len <= 0, VCL_CPV_ERR_LIST_NULL. */
VCL_API int VCL_CPV_Cert_Path_Validation(int n_ca, const CERT_ITEM* ca_certs, const void* cert, int cert_len,
                                         int crl_flag);
/* The path of cert through ca_list (a STACK of X509_CERT, left as it is). */
VCL_API int VCL_CPV_verify_cert_path(const X509_CERT* cert, const STACK* ca_list, int crl_flag);
/* One link: cert's signature under issuer's key, cert's validity, and with
 * crl_flag 1 cert's CRL. */
VCL_API int VCL_CPV_verify_cert(const X509_CERT* cert, const X509_CERT* issuer, int crl_flag);
/* cert against the CRL its distribution point names, verified under
 * issuer's key. No cRLDistributionPoints extension: 0, nothing fetched. */
VCL_API int VCL_CPV_check_crl(const X509_CERT* cert, const X509_CERT* issuer);
/* The same from certificate bytes (DER or PEM). VCL_CPV_ERR_CRL_NO_ISSUER
 * when either is NULL or of length <= 0. */
VCL_API int VCL_CPV_Check_CRL(const void* cert, int cert_len, const void* issuer_cert, int issuer_len);

VCL_END_DECLS

#endif
