/*
 * Issuance: certificates obtained from a CA through the CMP client library
 * (libzephaltCMP, loaded by file name for each operation), private-PKI
 * requests in PKCS#10, and the private store's certificate and key files.
 *
 * Results: 0, -1, or a store code (error.h). Texts with a length: a text
 * that is NULL or whose length is not its strlen counts as missing.
 */
#ifndef ZEPHALTPAVIX_ISSUE_H
#define ZEPHALTPAVIX_ISSUE_H

#include <zephaltpavix/store_export.h>

/* The private PKI's CA name: a CA name beginning with it (letters without
 * case) selects the private forms ("VERIDAN_CA", "VERIDANCA"). */
#define PPKI_CA_NAME "VERI"

/* The CMP client's file name, as dlopen looks it up. */
#define VPL_CMP_LIBRARY "libzephaltCMP.so"

VPL_BEGIN_DECLS

/* The subject CN of the last signing certificate issued to a removable
 * disk (UTF-8 as the store's records convert it; cut to 255 bytes). */
VPL_API extern char selectedCertSubjectCN[256];

/* The CMP client's entry points while an operation runs (NULL otherwise). */
VPL_API extern int (*lpCMP_Init)(void);
VPL_API extern int (*lpCMP_SetUseHSM)(int, int, int);
VPL_API extern int (*lpCMP_SetBITAndHash)(const char*, int, const char*, int);
VPL_API extern int (*lpCMP_GetCACert)(unsigned char*, unsigned short*);
VPL_API extern int (*lpCMP_GetSignCert)(unsigned char*, unsigned short*);
VPL_API extern int (*lpCMP_GetSignPri)(unsigned char*, unsigned short*);
VPL_API extern int (*lpCMP_GetKMCert)(unsigned char*, unsigned short*);
VPL_API extern int (*lpCMP_GetKMPri)(unsigned char*, unsigned short*);
VPL_API extern const char* (*lpCMP_GetErrorString)(int);
VPL_API extern int (*lpCMP_Final)(void);
VPL_API extern int (*lpCMP_CertRequestNonUI)(const char*, int, const char*, const char*, int);
VPL_API extern int (*lpCMP_CertUpdateNonUI)(const char*, int, const char*, const char*, const char*, const char*, int);
VPL_API extern int (*lpCMP_CertReplaceNonUI)(const char*, int, const char*, const char*, int);
VPL_API extern int (*lpCMP_PPKI_MAKE_PKCS10)(const char*, const char*, int, int, unsigned char**, int*, unsigned char**,
                                             int*);
VPL_API extern void (*lpCMP_StringFree)(void*);

/* Binds the 15 entry points of an opened CMP client: 0, or -1 (logged with
 * the loader's message; every pointer NULL) at the first that is missing. */
VPL_API int VPL_CMPLIB_FunctionLoad_Check(void* handle);

/* Issue and reissue (CMP "replace") with the CA connection data as
 * arguments; the parameter text is built here. storageType 0 home disk,
 * 1 the drive, 2, 3 and 11 the key chain (issue only). Values holding "&",
 * "=" or a control character are refused (1052011), as are ports that are
 * not 1-65535. */
VPL_API int VPL_Issue_Certificate(int storageType, const char* drive, int driveLen, int pin, int pinLen,
                                  const char* caName, int caNameLen, const char* caIp, int caIpLen, const char* caPort,
                                  int caPortLen, const char* ppkiCaName, int ppkiCaNameLen, const char* ppkiCaPath,
                                  int ppkiCaPathLen, const char* refVal, int refValLen, const char* authCode,
                                  int authCodeLen, const char* password, int passwordLen, const char* hashAlg,
                                  int hashAlgLen, const char* keyBits, int keyBitsLen);
VPL_API int VPL_Replace_Certificate(int storageType, const char* drive, int driveLen, int pin, int pinLen,
                                    const char* caName, int caNameLen, const char* caIp, int caIpLen,
                                    const char* caPort, int caPortLen, const char* ppkiCaName, int ppkiCaNameLen,
                                    const char* ppkiCaPath, int ppkiCaPathLen, const char* refVal, int refValLen,
                                    const char* authCode, int authCodeLen, const char* password, int passwordLen,
                                    const char* hashAlg, int hashAlgLen, const char* keyBits, int keyBitsLen);
/* Renewal of the certificate at the Base64-encoded path. */
VPL_API int VPL_Update_Certificate(int storageType, int flag, int unused, const char* encCertPath, int encCertPathLen,
                                   const char* caName, int caNameLen, const char* caIp, int caIpLen, const char* caPort,
                                   int caPortLen, const char* ppkiCaName, int ppkiCaNameLen, const char* ppkiCaPath,
                                   int ppkiCaPathLen, const char* password, int passwordLen, const char* newPassword,
                                   int newPasswordLen, const char* hashAlg, int hashAlgLen, const char* keyBits,
                                   int keyBitsLen);

/* The same with a ready parameter text (issue and reissue take the agent's
 * REF and CODE keys, renamed by VPL_DN_Convert). The issued pair is stored
 * first: a CA certificate that cannot be stored is only logged. */
VPL_API int VPL_Issue_Certificate_Reduction(int storageType, const char* drive, int driveLen, int pin, int pinLen,
                                            const char* caName, int caNameLen, const char* params, int paramsLen,
                                            const char* password, int passwordLen, const char* hashAlg, int hashAlgLen,
                                            const char* keyBits, int keyBitsLen);
VPL_API int VPL_Replace_Certificate_Reduction(int storageType, const char* drive, int driveLen, int pin, int pinLen,
                                              const char* caName, int caNameLen, const char* params, int paramsLen,
                                              const char* password, int passwordLen, const char* hashAlg,
                                              int hashAlgLen, const char* keyBits, int keyBitsLen);
/* Renewal: every new file is written under a temporary name and synced
 * before any is renamed over the old ones; a failure leaves the old files
 * as they were (1052031). */
VPL_API int VPL_Update_Certificate_Reduction(int storageType, int flag, int unused, const char* encCertPath,
                                             int encCertPathLen, const char* caName, int caNameLen, const char* params,
                                             int paramsLen, const char* password, int passwordLen,
                                             const char* newPassword, int newPasswordLen, const char* hashAlg,
                                             int hashAlgLen, const char* keyBits, int keyBitsLen);

/* The agent's parameter text with its keys renamed: a whole key REF
 * becomes REFVAL and CODE becomes AUTHCODE (letters without case); other
 * keys and every value stay. 0 with a new buffer (none for an empty text);
 * 1052011 for NULL or a text of 4096 bytes or more. */
VPL_API int VPL_DN_Convert(const char* text, char** out, int* outLen);

/* A private-PKI request for dn with a new key (1024 bits are asked for,
 * the client makes no key below 2048), held until VPL_Insert_PKCS10_Cert;
 * the request in Base64. */
VPL_API int VPL_Get_Issue_Certificate_PKCS10(int storageType, const char* drive, int driveLen, const char* pin,
                                             int pinLen, const char* caName, int caNameLen, const char* dn, int dnLen,
                                             const char* password, int passwordLen, char** request, int* requestLen);
VPL_API int VPL_Get_Issue_Certificate_PKCS10_ex(int storageType, const char* drive, int driveLen, const char* pin,
                                                int pinLen, const char* caName, int caNameLen, const char* dn,
                                                int dnLen, const char* password, int passwordLen, int keyBits,
                                                char** request, int* requestLen, char** privateKey, int* privateKeyLen);
/* Stores the issued certificate (DER or PEM) with the held key. A
 * certificate for another key is refused (1052014). */
VPL_API int VPL_Insert_PKCS10_Cert(const char* cert, int certLen);

/* Stores certificate (PEM or DER text) and key under
 * {base}/PPKI/Veridan/VERIDAN CA/USER/{subject DN}, base the home (flag 0)
 * or drive. The password opens the key to check that it is the
 * certificate's (1051027 when it does not open, 1052014 another key). */
VPL_API int VPL_Store_PCertAndPPriKey(int flag, const char* drive, const char* certText, const char* key, int keyLen,
                                      const char* password);
/* Keeps an encrypted key (opened with the password to read its modulus) in
 * {home}/PPKI/Veridan/VERIDAN CA/USER/{SHA-1 of the modulus, 40 upper-case
 * hex digits}.bin, mode 0600. */
VPL_API int VPL_Make_Temp_PPriKey(const char* key, int keyLen, const char* password);
/* Stores the certificate with the key kept for its modulus, then removes
 * the kept key; 1052030 when none is kept. */
VPL_API int VPL_Make_PCertAndPPriKey(int flag, const char* drive, const char* certText);

VPL_END_DECLS

#endif
