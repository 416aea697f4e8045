/*
 * Key passwords of the store's certificates, certificate folders and the
 * certification-practice (CPS) address of a certificate.
 *
 * A certificate path is a file of a store, whose key is the one file beside
 * it named as VPL_CertPathConvKeyPath says (<zephaltpavix/layout.h>), or a
 * pseudo path whose certificate and key its domain's context caches. A key
 * whose password changes is written under a temporary name, synced and
 * renamed over the old one (mode 0600): a failed write leaves the old key.
 */
#ifndef ZEPHALTPAVIX_KEYPASS_H
#define ZEPHALTPAVIX_KEYPASS_H

#include <zephaltpavix/store_export.h>

VPL_BEGIN_DECLS

/* 0 when password opens the certificate's key, with the certificate's
 * subject (its CN, else its OU; new buffer, VPL_Free). 1051027 wrong
 * password; 1052013 a password missing or not of passwordLen; 1052030 a
 * file or cached credential that cannot be read; -1 a path of no medium,
 * a certificate the store does not classify, or no key beside it; 1051024
 * a certificate that does not decode; 1052011 NULL outputs. */
VPL_API int VPL_PassWord_Check(const char* certPath, const char* password, int passwordLen, char** subject,
                               int* subjectLen);
/* 0 when password opens the key bytes; 1051027 when it does not; 1052011
 * for a missing key; 1052013 for a password missing or not of its length. */
VPL_API int VPL_Priv_PassWord_Check(const void* key, int keyLen, const char* password, int passwordLen);
/* Re-encrypts the certificate's key under newPassword and stores it (the
 * file, or the cached key of a pseudo path); the certificate is not
 * touched. 0; 1051027 when oldPassword does not open the key or the new
 * one is refused; 1052031 when the key cannot be written (the old one
 * stays); the check's other codes; 1052011 for a NULL path. */
VPL_API int VPL_Set_User_PassWordChange(const char* certPath, const char* oldPassword, int oldLen,
                                        const char* newPassword, int newLen);

/* A copy of the path up to its last "/", the slash excluded ("/a/b.der"
 * and "/a/" give "/a"): 0; -1 when no "/" follows the first character;
 * 1052009 for NULL. */
VPL_API int VPL_CertPathToCertFolder(const char* certPath, char** folder);

/* The CPS address of a certificate, URL-encoded (new buffer, VPL_Free):
 * encCertPath is the path in Base64 (pathLen its length, else 1052009);
 * storage types 0-3, 6, 9, 10 and 12 (else -1). 0; 1052069 when the
 * certificate has no policies; -1 when they name no CPS address; 1052030 a
 * certificate that cannot be read; 1051024 one that does not decode. */
VPL_API int VPL_User_Notification(int storageType, int unused1, int unused2, const char* encCertPath, int pathLen,
                                  char** cpsUrl, int* cpsUrlLen);
VPL_API int VPL_Send_User_Noti(const char* certPath, char** cpsUrl, int* cpsUrlLen);
/* The address of the first item "CPS=..." (name without case) of a
 * policies text, items split at "," and "|": 0 with a new buffer, or 0 and
 * no buffer when there is none; 1052011 for NULL. */
VPL_API int VPL_Get_CPSPath(const char* text, char** cps, int* cpsLen);

VPL_END_DECLS

#endif
