/*
 * The index-based certificate API: the signing certificates of a home
 * directory's public store (NPKI/{CA}/{group}/{folder}/signCert.der with
 * signPri.key beside it) fetched once into a block the library keeps, a
 * header text with one record per certificate, and operations on a
 * certificate by its index in that block.
 *
 * The block and its count g_nCertCnt (<zephaltpavix/base.h>) are those of
 * the last fetch (a header call fetches); VPL_Cleanup releases them. Index
 * operations take 0 <= index < g_nCertCnt, else 1051026 (or -1 where said).
 * Every function here stores its result as the last error
 * (VPL_GetLastError), 0 included; the count and fetch functions their
 * failures only.
 *
 * Also here: the identity-blob check, and the PEM armour of PKCS#7 text.
 */
#ifndef ZEPHALTPAVIX_INDEX_H
#define ZEPHALTPAVIX_INDEX_H

#include <zephaltpavix/store_export.h>
#include <zunCore/x509_info.h>

VPL_BEGIN_DECLS

/* Files named signCert.der (letters without case) four levels below base
 * (base/{CA}/{group}/{folder}/). 0 for a negative storage type or NULL
 * base; a folder that does not open ends the count with what was counted
 * (last error 1051000). */
VPL_API int VPL_CountCerts(int storageType, int unused, const char* base);

/* Fetches the signing certificates of base/NPKI into the block (storage
 * type 0; other types empty it and give 0) and sets g_nCertCnt: the count,
 * or -1 when base/NPKI or a folder of it does not open (the block is then
 * empty). A certificate that does not decode, has no signPri.key beside it
 * or a path of VPL_PATH_MAX (1024) bytes or more is left out. The filter
 * takes no part. */
VPL_API int VPL_FetchCertList(int storageType, int unused, const char* base);
VPL_API int VPL_FetchCertListFilter(int storageType, int unused, const char* base, const char* filter);

/* Fetches, then hands out the header text (VPL_Free), one record per entry
 * in block order:
 *   index=<i>&user=<subject CN, else OU>&issuer=<CA display name>
 *   &type=<type name of the policy>&expire=<YYYY-MM-DD of notAfter, UTC>
 *   &expired=<0 valid, 1 outside its validity>|
 * (texts EUC-KR, whole). The count (>= 0); -1 the fetch failed; -2 NULL
 * base (last error 1051001); -3 no memory (1051002). */
VPL_API int VPL_GetAllCertHeader(int storageType, int unused, const char* base, char** header);
VPL_API int VPL_GetAllCertHeaderFilter(int storageType, int unused, const char* base, const char* filter,
                                       char** header);

/* 1 when the certificate passes the filter "SerialNumber=...|IssuerDN=...|
 * SubjectDN=..." (each name given must occur, letters without case, in the
 * decimal serial, the issuer DN, the subject DN); 1 for a NULL filter, 0
 * for a NULL record with a filter or a filter that does not parse. */
VPL_API int VPL_filterCert(const char* filter, X509_Info* info);
/* 0 valid, 1 expired or not yet valid, -1 NULL, another code of
 * VCL_X509_Verify_Validity. */
VPL_API int VPL_IsExpiredCert(X509_Info* info);

/* The certificate's and key file's bytes (VPL_Free). 1051026; 1051033 the
 * key does not read; 1052009 the certificate does not read. */
VPL_API int VPL_GetCertPkey(int index, char** cert, int* certLen, char** key, int* keyLen);
/* Both paths, zero-terminated, into the caller's buffers of VPL_PATH_MAX
 * (1024) bytes each (no path of the block is longer). 0; -1 for an index
 * outside the block or a NULL buffer. */
VPL_API int VPL_GetCertPkeyPath(int index, char* certPath, char* keyPath);
/* The entry's subject DN (EUC-KR; new text, VPL_Free). 0; -1 for a bad
 * index or NULL output. */
VPL_API int VPL_GetsubjectDN(int index, char** text);
/* The key under the new password, written to a temporary file and renamed
 * (0600). 1051026; 1051033; 1051027 the old password is refused (or a
 * password is NULL); 1051028 the new key was not written (the old stays). */
VPL_API int VPL_ChangePasswd(int index, const char* oldPassword, const char* newPassword);
/* 0 when the password opens the key; 1051034 when not; VPL_GetCertPkey's
 * codes. */
VPL_API int VPL_CheckPOP(int index, const char* password, int passwordLen);
/* The key's VID random (raw, VPL_Free). 1051026; 1051035 NULL password or
 * output; 1051033; 1051029 the key gives none; 1051022. */
VPL_API int VPL_GetPK8Random(int index, const char* password, char** random, int* randomLen);
/* The identification number against the certificate's VID. 1051026;
 * 1051035 NULL password or number; 1051033; 1051029 no random; 1051030 no
 * match. */
VPL_API int VPL_CheckVID(int index, const char* password, const char* idNumber);
/* Removes the entry's folder: every file in it, then the folder; nothing
 * outside it (subfolders are not entered). 0; -1 bad index; -2 the folder
 * does not open; 1052064 a file or the folder could not be removed. The
 * block keeps the entry. */
VPL_API int VPL_DeleteCert(int index);

/* The check of an identity blob: SEED-CBC under SHA-1(keySource) (or,
 * without one, SHA-1(SHA-1(secretText))) with IV SHA-1(secretText), both
 * cut to 16 bytes; the plaintext must be "<Base64 of a DER private key>||
 * <certificate>". Nothing is stored. 0; 1051020 does not decrypt (or no
 * data or secret); 1051021 no "||"; 1051023 the key is no Base64; 1051037
 * the key is no DER sequence of a long length; 1051022. */
VPL_API int VPL_DecryptAndSave(const void* data, int len, const char* keySource, const char* secretText);
/* Decodes the certificate and stores nothing: 0, or 1051024. */
VPL_API int VPL_SaveCertPkey(int storageType, int unused1, int unused2, const char* cert, int certLen, const char* key,
                             int keyLen);
VPL_API void VPL_SetKeyChainName(void);

/* The text between "-----BEGIN PKCS7-----" and "-----END PKCS7-----" (from
 * the start without the first, to the end without the second), and the
 * body between the two markers, into out of outSize bytes, zero-terminated.
 * 0; -1 for NULL or when it does not fit. */
VPL_API int VPL_CutPEMPKCS7Header(const char* pem, char* out, int outSize);
VPL_API int VPL_AddPEMPKCS7Header(const char* body, char* out, int outSize);

VPL_END_DECLS

#endif
