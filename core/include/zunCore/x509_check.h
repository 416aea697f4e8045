/*
 * Single-certificate checks (issuer name, signature, validity, the renewal
 * window, identity data) and checks against a CRL (signature, freshness,
 * issuer, revocation with date and reason).
 *
 * Certificates are DER or PEM (VCL_X509_conv_cert2x509), CRLs DER, each with
 * its length. Results are 0 for a check that passed, one of the status codes
 * below, or a CORE_ERROR_CODE (decoding codes pass through unchanged).
 *
 * Time: now is time() plus the network-time offset g_gap_with_ntp; validity
 * texts and certificate times are compared with it as instants, so the host's
 * time zone plays no part. A certificate is valid from its notBefore to its
 * notAfter, both included.
 *
 * Names are compared as RFC 5280 compares them: strings in UTF-8, runs of
 * blanks folded, ASCII case ignored, the attributes of an RDN in any order.
 */
#ifndef ZUNCORE_X509_CHECK_H
#define ZUNCORE_X509_CHECK_H

#include <zunCore/core_export.h>
#include <zunCore/x509_info.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_crl.h>

/* Status codes of the checks. */
#define VCL_X509_NOT_YET_VALID ((int)0x80000001)
#define VCL_X509_EXPIRED ((int)0x80000002)
#define VCL_X509_BAD_SIGNATURE ((int)0x80000003)
#define VCL_X509_ISSUER_DIFFERS ((int)0x80000004)

/* Checks of VCL_X509_Verify; 0 means all three. */
#define VCL_X509_CHECK_SIGNATURE 0x1
#define VCL_X509_CHECK_VALIDITY 0x10
#define VCL_X509_CHECK_ISSUER 0x100

/* A renewal margin of 30 days. */
#define VCL_X509_RENEWAL_MARGIN 2592000

/* Room the revocation outputs need: the date text and its NUL, the longest
 * reason text and its NUL. */
#define VCL_X509_REVOKED_DATE_SIZE 15
#define VCL_X509_REVOKED_REASON_SIZE 52

VCL_BEGIN_DECLS

/* ---- Certificates ---------------------------------------------------------- */
/* Validity (VCL_X509_NOT_YET_VALID, VCL_X509_EXPIRED), signature under the
 * issuer's key (VCL_X509_BAD_SIGNATURE), issuer name against the issuer's
 * subject (VCL_X509_ISSUER_DIFFERS), in that order; the first failure ends
 * it. The issuer is decoded only for the last two. 0xa9150002 cert (or a
 * needed issuer) NULL; other failures of the validity check unchanged. */
VCL_API int VCL_X509_Verify(const void* cert, int len, const void* issuer, int issuer_len, int flags);
/* The name check alone: 0, VCL_X509_ISSUER_DIFFERS, 1 for a missing name.
 * 0xa9160002. */
VCL_API int VCL_X509_Verify_DN(const void* cert, int len, const void* issuer, int issuer_len);
/* The signature check alone: libzunPKI's result (0 valid, 1 or a code).
 * 0xa9170002. */
VCL_API int VCL_X509_Verify_Signature(const void* cert, int len, const void* issuer, int issuer_len);
/* Validity against now: from the record's validityFrom and validityTo when
 * info is given (the certificate is then not read), else from the decoded
 * certificate. 0, VCL_X509_NOT_YET_VALID, VCL_X509_EXPIRED; 0xa9180002 both
 * NULL, 0xa9180003 a validity text that does not read; decoding codes. */
VCL_API int VCL_X509_Verify_Validity(const void* cert, int len, const X509_Info* info);
/* Renewal: VCL_X509_NOT_YET_VALID or VCL_X509_EXPIRED outside the validity;
 * 1 when notAfter is within margin_seconds of now, else 0. 0xa9180002 info
 * NULL, 0xa9180003 a validity text that does not read. */
VCL_API int VCL_X509_Check_Update(const X509_Info* info, int margin_seconds);
/* The holder's identity number and VID random against the certificate's
 * identity data: libzunPKI's check_VID result (0 match). 0xa9070002. */
VCL_API int VCL_X509_Check_VID(const void* cert, int cert_len, const unsigned char* random, int random_len,
                               const char* id_number, int id_len);
/* 0 when the certificate's identity data (the otherName
 * 1.2.410.200004.10.1.1 of a subjectAltName) carries a VID with a value;
 * 0xa91a004f otherwise; 0xa91a0003 cert NULL or len <= 0; decoding codes. */
VCL_API int VCL_X509_Exist_VID(const void* cert, int len);
/* 3 when the certificate may sign (keyUsage with digitalSignature, or no
 * keyUsage), 4 when its keyUsage lacks that bit. 0xa9540002 cert NULL. */
VCL_API int VCL_X509_is_signcert(const X509_CERT* cert);

/* ---- CRLs ------------------------------------------------------------------ */
/* A new CRL record of len DER bytes. 0xa9600002 der NULL or len <= 0,
 * 0xa9600061 out NULL, 0xa9600068 the reader found no input; the reader's
 * and decoder's other codes. */
VCL_API int VCL_X509_CRL_conv_crl2x509crl(const unsigned char* der, int len, X509_CRL** out);
/* The CRL's signature under the certificate's key: 0, -1 when it does not
 * verify, libzunPKI's other codes. 0xa9080002. */
VCL_API int VCL_X509_CRL_Verify(const unsigned char* crl, int crl_len, const void* cert, int cert_len);
/* 0 while now is not past the CRL's nextUpdate, -1 after it (or when it does
 * not read). 0xa9140007 no nextUpdate, 0xa9140002. */
VCL_API int VCL_X509_CRL_Verify_NextUpdate(const unsigned char* crl, int crl_len);
/* The CRL's issuer against the certificate's issuer: 0 equal, -1 different,
 * 1 for a missing name. 0xa9140002 NULL or crl_len < 0. */
VCL_API int VCL_X509_CRL_Verify_Issuer(const unsigned char* crl, int crl_len, const void* cert, int cert_len);
/* The position (from 0) of the first entry whose serial is the hexadecimal
 * serial; -1 when none has it or the text is not hexadecimal. */
VCL_API int VCL_X509_CRL_verify_x509_cert(const X509_CRL* crl, const char* serial_hex);
/* The same into *position (-1 when not listed), with the entry's revocation
 * date (GMT text, VCL_X509_REVOKED_DATE_SIZE bytes) and reason text
 * (VCL_X509_REVOKED_REASON_SIZE bytes); both are left alone when the serial
 * is not listed. 0xa9090002 crl or serial NULL, 0xa9090003 a serial that is
 * not hexadecimal, 0xa9090061 an output NULL; a date that does not read:
 * 0xa9570003 (position set). */
VCL_API int VCL_X509_CRL_verify_x509_cert_with_reason(const X509_CRL* crl, const char* serial_hex, int* position,
                                                      char* date_out, char* reason_out);
/* *flag: 0 when the certificate's serial is not on the CRL, else its entry's
 * position + 1. The CRL's signature, issuer and freshness are not checked.
 * 0xa9090002 crl or cert NULL, 0xa9090061 flag NULL; decoding codes. */
VCL_API int VCL_X509_Is_Revoked(const unsigned char* crl, int crl_len, const void* cert, int cert_len, int* flag);
/* The same with the entry's date and reason as above. */
VCL_API int VCL_X509_Is_Revoked_With_Reason(const unsigned char* crl, int crl_len, const void* cert, int cert_len,
                                            int* flag, char* date_out, char* reason_out);
/* The text of a CRLReason code (-1: no known reason) into buffer
 * (VCL_X509_REVOKED_REASON_SIZE bytes), NUL-terminated. 0, or 0xa9090002. */
VCL_API int VCL_Get_Revoked_Reason(int code, char* buffer);

VCL_END_DECLS

#endif
