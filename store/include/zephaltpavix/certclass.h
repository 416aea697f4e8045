/*
 * The class of a certificate and the names under which the store files it.
 *
 * The class comes from the subject's organisation (its first "O=" value,
 * upper-cased) and the key usage:
 *   public CAs (CROSSCERT, KICA, KISA, NCASIGN, SIGNKOREA, TRADESIGN,
 *   YESSIGN, ZUNPASS)                      1 signing, 2 encryption, 7 CA
 *   the government (GOVERNMENT OF KOREA, PUBLIC OF KOREA, PRIVATE OF KOREA)
 *                                          5, 6, 9
 *   any other organisation                 3, 4, 8
 * Names are compared ignoring case over the table word's length. A subject
 * without an organisation is class 3. A certificate whose issuer DN begins
 * with its subject DN is a CA; so is one whose key usage has certificate
 * and CRL signing (0x04 and 0x02); one whose key usage is at most 0x30 with
 * key or data encipherment (0x20, 0x10) is an encryption certificate; any
 * other a signing certificate.
 *
 * Folder names (UTF-8): the CA folder from the organisation ("CrossCert",
 * "KICA", "KISA", "NCASign", "SignKorea", "TradeSign", "yessign",
 * "Certificate" for the government, "VERIDAN CA" for VERIDAN or no
 * organisation, "ZUNPASS", else the upper-cased organisation itself); the
 * subject folder is the subject DN for classes 1-6 and, for CAs, the subject
 * key identifier in hex without ":", "_" and the hex serial (the CA file's
 * stem). A name that would not be one safe path component (empty, "." or
 * "..", holding "/") is refused with 1052009.
 */
#ifndef ZEPHALTPAVIX_CERTCLASS_H
#define ZEPHALTPAVIX_CERTCLASS_H

#include <zephaltpavix/store_export.h>

#define VPL_CLASS_PUBLIC_SIGN 1
#define VPL_CLASS_PUBLIC_KM 2
#define VPL_CLASS_PRIVATE_SIGN 3
#define VPL_CLASS_PRIVATE_KM 4
#define VPL_CLASS_GPKI_SIGN 5
#define VPL_CLASS_GPKI_KM 6
#define VPL_CLASS_PUBLIC_CA 7
#define VPL_CLASS_PRIVATE_CA 8
#define VPL_CLASS_GPKI_CA 9

VPL_BEGIN_DECLS

/* The class of DER or PEM certificate bytes, or -1 when it cannot be
 * classified (bytes that do not decode included). */
VPL_API int VPL_Get_CertType(const void* cert, int len);

/* The class with the CA folder name and the subject folder name (new
 * buffers, VPL_Free). -1 when the certificate cannot be classified (or a CA
 * has no subject key identifier); 1052009 when a name is not one safe path
 * component; 1052011 for NULL outputs; 1052007 when memory runs out. On
 * failure nothing is handed out. */
VPL_API int VPL_Cert_PublicANDPrivate(const void* cert, int len, char** caDir, int* caDirLen, char** subjectDir,
                                      int* subjectDirLen);

/* The first "O=" value of a DN text (items split at ",", no blanks skipped,
 * the name's case ignored) as a new buffer; NULL and 0 when there is none. */
VPL_API void VPL_OEqual_Find(const char* dn, int len, char** org, int* orgLen);

/* An upper-cased copy of at most len bytes of text (up to its zero): ASCII
 * letters change, other bytes stay. 0, with no buffer when the text is
 * empty; 1052011 for NULL arguments or a negative length. */
VPL_API int VPL_ToUpper(const char* text, int len, char** upper, int* upperLen);

/* The CA file stem: keyIdLen characters of keyId without ":", then "_" and
 * the serial. 0, with no buffer when nothing is left of the key id;
 * 1052011 for NULL arguments. */
VPL_API int VPL_Get_SubjectKeyidANDSerial(const char* keyId, int keyIdLen, const char* serial, int serialLen,
                                          char** stem, int* stemLen);

VPL_END_DECLS

#endif
