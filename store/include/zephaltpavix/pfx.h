/*
 * PKCS#12 (PFX) export of a stored certificate with its key, import of a
 * PKCS#12 file or buffer into the store, and the credentials of a PKCS#12
 * file loaded for signing (<zephaltpavix/sign.h>, the _Buffer functions).
 *
 * Export takes the signing certificate and its key, and the encryption
 * certificate and key beside it when there is one (two keys then); the
 * password must open the stored key and protects the file and its keys.
 * Files are written under a temporary name and renamed (mode 0600).
 *
 * Import stores every certificate-and-key pair of the file where its class
 * files it (VPL_Location_CertCreate, <zephaltpavix/layout.h>): under the
 * home directory or under the named drive. The keys are kept under the
 * PKCS#12 password, as the store keeps keys (see <zunCore/pkcs12.h>).
 * Further certificates without a key are not stored.
 *
 * Paths and passwords come with their lengths (1052009 / 1052013 when a
 * length is not the text's; passwords at most 255 bytes).
 */
#ifndef ZEPHALTPAVIX_PFX_H
#define ZEPHALTPAVIX_PFX_H

#include <zephaltpavix/layout.h>
#include <zephaltpavix/store_export.h>

VPL_BEGIN_DECLS

/* The pairs of the file VPL_Get_PFXBuffer loaded last (NULL when none): an
 * array the library owns, released zeroed on the next load and by
 * VPL_Cleanup. */
VPL_API extern PKI_STR_INFO* tmp_User_keys;

/* ---- Export ------------------------------------------------------------------
 * Storage types 0-3 export (2 and 3: a pseudo path whose key a domain
 * caches); 4-12 without a drive (the PIN) give 1052008; negative ones,
 * those above 12 and 4-12 with a drive -1. The password check's codes
 * (1051027); 1052036 the PKCS#12 cannot be made; 1052031 it cannot be
 * written (nothing is left of it). safeBagFlag 1 encrypts the certificate
 * safe as well (the plain forms pass 1). */
VPL_API int VPL_Set_PFXFile(int storageType, const char* drive, int driveLen, const char* encCertPath, int pathLen,
                            const char* pfxPath, int pfxPathLen, const char* password, int passwordLen);
VPL_API int VPL_Set_PFXFile_With_SafeBagEncrypt(int storageType, const char* drive, int driveLen,
                                                const char* encCertPath, int pathLen, const char* pfxPath,
                                                int pfxPathLen, const char* password, int passwordLen, int safeBagFlag);
/* The PKCS#12 bytes (VPL_Free). Storage types 0-3, else -1. */
VPL_API int VPL_Set_PFXBuf(int storageType, const char* encCertPath, int pathLen, const char* password, int passwordLen,
                           void** pfx, int* pfxLen);
VPL_API int VPL_Set_PFXBuf_With_SafeBagEncrypt(int storageType, const char* encCertPath, int pathLen,
                                               const char* password, int passwordLen, int safeBagFlag, void** pfx,
                                               int* pfxLen);
/* The same from a decoded path, without the password check (a password
 * that does not open the key fails the making: 1052036). */
VPL_API int VPL_Make_PFXFile(const char* certPath, int unused, const char* pfxPath, int unused2, const char* password,
                             int passwordLen);
VPL_API int VPL_Make_PFXFile_With_SafeBagEncrypt(const char* certPath, int unused, const char* pfxPath, int unused2,
                                                 const char* password, int passwordLen, int safeBagFlag);
VPL_API int VPL_Make_PFXBuf(const char* certPath, int unused, const char* password, int passwordLen, void** pfx,
                            int* pfxLen);
VPL_API int VPL_Make_PFXBuf_With_SafeBagEncrypt(const char* certPath, int unused, const char* password, int passwordLen,
                                                int safeBagFlag, void** pfx, int* pfxLen);

/* ---- Import ------------------------------------------------------------------
 * Every pair is stored even when an earlier one failed; the result is the
 * first failure (0 when all were stored). 1052011 no source; 1052030 the
 * file does not read; 1052035 the data does not open (a wrong password,
 * bytes that are no PKCS#12, no key in it): nothing is written then. */

/* Storage type 0 (home) or 1 (drive, given with its length); the domain is
 * only logged. Types above 11 and negative ones -1. */
VPL_API int VPL_Get_Domain_PFXFile(int storageType, const char* domain, int domainLen, const char* pfxPath, int pathLen,
                                   const char* drive, int driveLen, int unused1, int unused2, const char* password,
                                   int passwordLen);
/* Storage type 0 or 1, else -1 (the file is not read). */
VPL_API int VPL_Get_PFXFile(int storageType, const char* pfxPath, int pathLen, const char* drive, int driveLen,
                            int unused1, int unused2, const char* password, int passwordLen);
VPL_API int VPL_Get_HDD_PFXFile(const char* pfxPath, const char* password, int passwordLen);
VPL_API int VPL_Get_FDD_PFXFile(const char* pfxPath, const char* drive, const char* password, int passwordLen);
/* flag 0 the home directory, else the drive. */
VPL_API int VPL_Get_PFXBuf(const void* pfx, int pfxLen, int flag, const char* drive, const char* password,
                           int passwordLen);
VPL_API int VPL_Get_FDD_PFXBuf(const void* pfx, int pfxLen, const char* drive, const char* password, int passwordLen);

/* The pairs of a PKCS#12 file or buffer without storing them: a new array
 * (release with VCL_PK1_Free_PKISTRINFOS, then free) and its count (0 and
 * NULL for a file without keys). Codes as the import. */
VPL_API int VPL_PFXFileToCert(const char* pfxPath, const char* password, int passwordLen, PKI_STR_INFO** entries,
                              int* count);
VPL_API int VPL_PFXBufToCert(const void* pfx, int pfxLen, const char* password, int passwordLen, PKI_STR_INFO** entries,
                             int* count);
/* Loads the pairs of a file for the _Buffer signing functions, releasing
 * what an earlier load held (also when this one fails). A file without a
 * key gives 1052035. */
VPL_API int VPL_Get_PFXBuffer(const char* pfxPath, int pathLen, const char* password, int passwordLen);

/* Not offered on this platform: 0. */
VPL_API int VPL_Get_PFXBuf_KeyChain(void);
VPL_API int VPL_Get_KeyChain_PFXBuf(void);

VPL_END_DECLS

#endif
