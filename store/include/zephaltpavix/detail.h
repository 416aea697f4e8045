/*
 * The detail and view records of one certificate, for the detail window and
 * for a short summary.
 *
 * A record is a run of items "name^value&", each value URL-encoded
 * (VPL_DataEncode type 1) from EUC-KR text; the view's last item has no
 * "&". Records and items are built whole, whatever their length.
 *
 * Detail, 18 items in this order:
 *   version           "V1 (0x00)", "V2 (0x01)", "V3 (0x02)", else "UnKown Version (0x%02x)"
 *   serial            decimal serial, " ( 0x", each pair of hex digits and a blank, ")"
 *   signatureAlg      the long name of the signature algorithm
 *   issuerDN          the issuer DN text ("cn=...,o=...,c=kr")
 *   validity_from     notBefore as a local date YYYY-MM-DD
 *   validity_to       notAfter as a local date YYYY-MM-DD
 *   subjectDN         the subject DN text
 *   pubkey            the key algorithm's long name, " (%d Bit)"
 *   pubkeydata        the first (bits + 7) / 8 bytes of the subject key, each "%02x "
 *   hand_print_alg    "SHA1"
 *   hand_print        the SHA-1 of the DER, each byte "%02x "
 *   authoritykeyid    "KeyID=..." as the information record has it
 *   subjectkeyid      the key id, hex joined by ":"
 *   keyusage          the names of the usage bits ("Digital Signature, Non-Repudiation") and " (%02x)"
 *   certpolicy        "PI=oid,CPS=..." texts
 *   subjectAltName    the alternative names' text
 *   crlDP             "DP=uri" texts
 *   authorityInfoAcc  "OCSP=uri|CA Issuers=uri", then " URI=" and the last URI
 * An extension the certificate lacks gives an empty value.
 *
 * View, six items: crl_flag (0 valid, 1 expired or not yet valid, 2
 * renewal due), subjectCN, issuer (display name), issuerdate, expiredate
 * (local dates), oidtype (the policy's type name, else by class:
 * "일반인증서", "행정부인증서", "사설 인증서").
 *
 * Dates are the host's local time (TZ).
 */
#ifndef ZEPHALTPAVIX_DETAIL_H
#define ZEPHALTPAVIX_DETAIL_H

#include <zephaltpavix/store_export.h>

VPL_BEGIN_DECLS

/* The detail record of the certificate an encoded path (VPL_DataEncode
 * type 0) names: a store file, or a pseudo path's cached certificate. The
 * PIN is not used. 0; 1052009 for a missing path or a length that is not
 * its own; -1 for storage types 4, 7, 11, above 12 and negative ones;
 * 1052030 a file that does not read; the record's codes. */
VPL_API int VPL_Get_CertDetail(int storageType, const char* pin, int pinLen, const char* encCertPath,
                               int encCertPathLen, char** detail, int* detailLen);
/* The same for a decoded path. */
VPL_API int VPL_Get_UserCert_Detail(const char* certPath, char** detail, int* detailLen);
/* The detail record of DER or PEM bytes: 0; 1052032 for bytes that do not
 * convert to DER (none included); 1051024 when they do not decode; the
 * digest's code; 1052011 for missing outputs; 1052007. */
VPL_API int VPL_Make_CertDetail(const void* cert, int certLen, char** detail, int* detailLen);

/* The view record; validityCheck is logged and not otherwise used. Codes
 * as the detail's; a certificate that does not decode gives 1051024 (no
 * record). */
VPL_API int VPL_Get_CertView(int storageType, const char* pin, int pinLen, const char* encCertPath, int encCertPathLen,
                             int validityCheck, char** view, int* viewLen);
VPL_API int VPL_Get_UserCert_View(int validityCheck, const char* certPath, char** view, int* viewLen);
VPL_API int VPL_Make_CertView(int validityCheck, const void* cert, int certLen, char** view, int* viewLen);

/* Formatters of single detail values, URL-encoded (type 1; despite their
 * names nothing is Base64-encoded) into a new buffer. On a missing input
 * they log and leave the output NULL and 0. */
VPL_API void VPL_X509VersionToBase64_Display(int version, char** out, int* outLen);
VPL_API void VPL_X509SerialToBase64_Display(const char* serial, const char* hexSerial, char** out, int* outLen);
/* The last "|"-separated part of an algorithm text. */
VPL_API void VPL_X509SignatureAlgToBase64_Display(const char* alg, char** out, int* outLen);
/* A GMT time text YYYYMMDDhhmmss as the local date YYYY-MM-DD. */
VPL_API void VPL_X509DateToBase64_Display(const char* gmtTime, char** out, int* outLen);
VPL_API void VPL_X509PublicKeyToBase64_Display(const char* alg, int bits, char** out, int* outLen);
/* Each byte as "%02x ". */
VPL_API void VPL_X509BYTEToBase64_Display(const unsigned char* bytes, int len, char** out, int* outLen);
/* The key-usage text ("C0", "03:08") as names and " (%02x)". */
VPL_API void VPL_X509KeyUsageToBase64_Display(const char* keyUsageHex, char** out, int* outLen);

VPL_END_DECLS

#endif
