/*
 * Signing with a stored certificate: the signature algorithm a certificate
 * asks for, the encryption ("KM") certificate beside a signing one, the
 * log-in signature (PKCS#1 over the relay's nonce) and document signatures
 * (PKCS#7 signed data), the key password's check and change, and the
 * holder's identification (the VID check).
 *
 * Paths: an "encoded path" is the Base64 text (VPL_DataEncode type 0) of a
 * certificate file's path in a store, as the certificate list hands it out;
 * a "path" is the decoded text. Passwords come with their length, which
 * must be their string length and at most 255 bytes (else 1052013).
 *
 * Outputs are new buffers with a zero byte after the counted length,
 * released with VPL_Free, except where a line says free. Out-pointers are
 * cleared first. The encoding flag: 0 hands each output out as raw bytes,
 * any other value as Base64 text (1052007 when that fails).
 *
 * Nothing here logs a key, a password or the VID random. Keys are opened
 * once per call and every copy of them is zeroed before it is released.
 */
#ifndef ZEPHALTPAVIX_SIGN_H
#define ZEPHALTPAVIX_SIGN_H

#include <time.h>

#include <zephaltpavix/store_export.h>

VPL_BEGIN_DECLS

/* ---- Algorithm choice -------------------------------------------------------
 * The signature algorithm ("KCDSA1", "PSS", "RSA20", "RSA15") and hash
 * ("SHA256", "HAS160", "SHA1") of DER or PEM certificate bytes, from the
 * short names of its signature and public-key algorithms:
 *   a KCDSA key: "KCDSA1", with "SHA256" under a SHA-256 signature, else
 *     "HAS160";
 *   an RSASSA-PSS signature: "PSS" and "SHA256";
 *   a SHA-256 signature: "RSA20" for OAEP, else "RSA15" (preferRSA15 != 0)
 *     or "RSA20", with "SHA256";
 *   anything else: "RSA15" and "SHA1".
 * Both outputs are new texts released with free. 0; -1 for no certificate
 * (outputs NULL); 1051024 for bytes that do not decode; 1052007. */
VPL_API int VPL_Get_Cert_AlgorithmAndHash(int preferRSA15, const void* cert, int len, char** algorithm, char** hash);

/* The padding code of the core's RSA calls for a name (case-sensitive):
 * signing "RSA15" 1, "PSS" 2, "KCDSA" 0, any other 1; encryption "RSA15"
 * 32, "RSA20" 8, "RSA21" 16, "KCDSA" 0, any other 8. */
VPL_API int VPL_get_pad_mode(const char* name, int forSign);

/* ---- The encryption certificate beside a signing one ------------------------
 * Its file is "kmCert.der" in the signing certificate's folder, or for the
 * government classes 5 and 6 the signing file's name with "env.cer" for
 * its last seven characters (..._sig.cer: ..._env.cer). The name must be
 * the whole name of a regular file in that folder (letters compared
 * without case, the exact spelling first); nothing else is taken for it.
 * Class 10 has none (-1); 1052009 for no path. */

/* Both paths (new texts released with free). A signing certificate without
 * an encryption certificate (or whose one has no key) is no failure: 0
 * with both outputs NULL. -1 when the folder cannot be read; 1052007. */
VPL_API int VPL_Get_Encrypt_Path(int certClass, const char* signCertPath, char** encCertPath, char** encKeyPath);
/* The encryption certificate and its key file's bytes. -1 when there is
 * none, a file does not read or the certificate is not classified. */
VPL_API int VPL_Get_EncryptCertPrivateKey(int certClass, const char* signCertPath, void** cert, int* certLen,
                                          void** key, int* keyLen);
/* The encryption certificate, and the key-exchange holder replaced by
 * {value, first, the encryption key, second, third (may be NULL)}: the
 * session layer passes the storage type, a 32-byte random, the password and
 * the PIN. Codes as VPL_Get_EncryptCertPrivateKey. */
VPL_API int VPL_Get_Kecc_EncryptionCert(int certClass, int value, const char* signCertPath, const void* first,
                                        int firstLen, const void* second, int secondLen, const void* third,
                                        int thirdLen, void** cert, int* certLen);

/* ---- Signing from the store ---------------------------------------------------
 * storageType 0 (home) or 1 (drive); the drive is not used (the path says
 * where the files are). The hash and padding: a domain's context (found by
 * name; 1052039 when it has none) with both a signature algorithm (sg) and
 * hash (sgh) gives them, else the certificate's own (VPL_Get_Cert_
 * AlgorithmAndHash); without a domain RSA signs PKCS#1 v1.5 with SHA-1. A
 * KCDSA certificate always signs with its own.
 *
 * Outputs: the certificate as PEM, the signature (or SignedData as DER),
 * and the key's VID random (public certificates of classes 1 and 2 whose
 * key holds one; else NULL and 0). Outputs made before a later step failed
 * stay set for the caller to release.
 *
 * Codes: 1052009 no path or data; -1 a certificate file that does not read
 * or classify, a storage type other than 0 and 1; 1052013; 1051027 the key
 * does not open with the password; 1052039; 1052037 the random does not
 * read; 1052033 / 1052034 signing failed; 1052007; the decoders' codes.
 *
 * signTime is a local time as localtime_r gives it (NULL: now, with the
 * network-time offset); the message's signingTime is that instant in UTC.
 * Years outside 1950-2049 fail (1052034). */
VPL_API int VPL_Domain_PKCS1_Cert_Submit(int storageType, const char* drive, int driveLen, const char* encCertPath,
                                         const char* domain, const char* password, int passwordLen, const void* data,
                                         int dataLen, int encodingFlag, char** certPem, int* certPemLen,
                                         void** signature, int* signatureLen, void** random, int* randomLen);
VPL_API int VPL_Domain_PKCS7_Cert_submit(int storageType, const char* drive, int driveLen, const char* encCertPath,
                                         const char* domain, const char* password, int passwordLen, const void* data,
                                         int dataLen, int encodingFlag, char** certPem, int* certPemLen,
                                         void** signedData, int* signedDataLen, void** random, int* randomLen);
VPL_API int VPL_Domain_PKCS7_Cert_submit_WithSignTimeAttribute(int storageType, const char* drive, int driveLen,
                                                               const char* encCertPath, const char* domain,
                                                               const char* password, int passwordLen, const void* data,
                                                               int dataLen, const struct tm* signTime, int encodingFlag,
                                                               char** certPem, int* certPemLen, void** signedData,
                                                               int* signedDataLen, void** random, int* randomLen);
/* data is a digest made with the hash chosen for the certificate; the
 * message carries no content. */
VPL_API int VPL_Domain_PKCS7_Cert_submit_WithSignWithOutPlainWithMD(
    int storageType, const char* drive, int driveLen, const char* encCertPath, const char* domain, const char* password,
    int passwordLen, const void* digest, int digestLen, const struct tm* signTime, int encodingFlag, char** certPem,
    int* certPemLen, void** signedData, int* signedDataLen, void** random, int* randomLen);
/* Without a domain (unused is ignored). The names handed out are those the
 * signature used: "RSASSA_PKCS1_15" and "SHA1" for RSA, the certificate's
 * own for KCDSA. */
VPL_API int VPL_PKCS1_Cert_Submit(int storageType, const char* drive, int driveLen, const char* encCertPath,
                                  const char* unused, const char* password, int passwordLen, const void* data,
                                  int dataLen, int encodingFlag, char** certPem, int* certPemLen, void** signature,
                                  int* signatureLen, void** random, int* randomLen, char** algorithm, int* algorithmLen,
                                  char** hash, int* hashLen);
VPL_API int VPL_PKCS7_Cert_Submit(int storageType, const char* drive, int driveLen, const char* encCertPath,
                                  const char* unused, const char* password, int passwordLen, const void* data,
                                  int dataLen, int encodingFlag, char** certPem, int* certPemLen, void** signedData,
                                  int* signedDataLen, void** random, int* randomLen);

/* ---- Signing with the credentials of VPL_Get_PFXBuffer ------------------------
 * The first key loaded: PKCS#1 v1.5 (or KCDSA) with SHA-1, PKCS#7 with
 * SHA-1; raw outputs. 1052011 when nothing is loaded, 1052013, 1052033 /
 * 1052034, 1052037, the PEM conversion's code. The password is not kept. */
VPL_API int VPL_Domain_PKCS1_Cert_Submit_Buffer(const void* data, int dataLen, const char* password, int passwordLen,
                                                char** certPem, int* certPemLen, void** signature, int* signatureLen,
                                                void** random, int* randomLen);
VPL_API int VPL_Domain_PKCS7_Cert_Submit_Buffer(const void* data, int dataLen, const char* password, int passwordLen,
                                                const struct tm* signTime, char** certPem, int* certPemLen,
                                                void** signedData, int* signedDataLen, void** random, int* randomLen);

/* ---- Building blocks (a decoded path: a store file, or a pseudo path whose
 * credentials the domain caches) --------------------------------------------- */
/* padCode above 2 counts as 1; a NULL hash is "SHA1". 1052011 no path;
 * the credentials' codes; 1052013; 1052033. */
VPL_API int VPL_PKCS1_Make_Sign(const char* certPath, int encodingFlag, int padCode, const char* hashName,
                                const char* password, int passwordLen, const void* data, int dataLen, void** signature,
                                int* signatureLen);
/* Signed data with the certificate and signed attributes (signingTime now);
 * 1052034 when the maker fails. */
VPL_API int VPL_PKCS7_Make_Sign(const char* certPath, int encodingFlag, const char* hashName, const char* password,
                                int passwordLen, const void* data, int dataLen, void** signedData, int* signedDataLen);
VPL_API int VPL_PKCS7_Make_Sign_WithSignTimeAttribute(const char* certPath, int encodingFlag, const char* hashName,
                                                      const char* password, int passwordLen, const void* data,
                                                      int dataLen, const struct tm* signTime, void** signedData,
                                                      int* signedDataLen);
VPL_API int VPL_PKCS7_Make_Signed_Data_WithOut_Plain_With_MD(const char* certPath, int encodingFlag,
                                                             const char* hashName, const char* password,
                                                             int passwordLen, const void* digest, int digestLen,
                                                             const struct tm* signTime, void** signedData,
                                                             int* signedDataLen);
/* The VID random of a stored key (classes 1 and 2; others: 0, no output).
 * 1052011 no path, 1052030 a file that does not read, -1 not classified,
 * 1052037 the key does not give it. */
VPL_API int VPL_Get_Random(const char* certPath, int encodingFlag, const char* password, int passwordLen, void** random,
                           int* randomLen);
/* The same of the first key VPL_Get_PFXBuffer loaded (raw). */
VPL_API int VPL_Get_Random_fromBuffer(const char* password, int passwordLen, void** random, int* randomLen);
/* The certificate of a path (file, or a pseudo path's cached one) as PEM.
 * 1052030 nothing to read; the core's conversion code. */
VPL_API int VPL_DERCertToPEMCert(const char* certPath, int encodingFlag, char** pem, int* pemLen);
/* Not offered: -1. */
VPL_API int VPL_PKCS7_Make_Sign_With_Random(void);

/* ---- Key password and identification ----------------------------------------
 * storageType 0 and 1: the key file beside the certificate; other types:
 * the key a domain caches for a pseudo path, -1 when there is none. */

/* Opens the key with the password and hands out the certificate's subject
 * DN (EUC-KR text). 1052009, 1052013, 1051027, the decoders' codes. */
VPL_API int VPL_Cert_Password_Check(int storageType, const char* drive, int driveLen, const char* encCertPath,
                                    int pathLen, const char* password, int passwordLen, char** subjectDN,
                                    int* subjectDNLen);
/* The password check, then the holder's identification number against the
 * certificate's VID with the key's random: 0, or 1051030 when they do not
 * match (or the certificate or key carries none). 1052029 for a missing
 * number; -1 for storage types other than 0 and 1. */
VPL_API int VPL_Cert_Indentification(int storageType, const char* drive, int driveLen, const char* encCertPath,
                                     int pathLen, const char* password, int passwordLen, const char* idNumber,
                                     int idNumberLen);
VPL_API int VPL_UserCert_VIDCheck(const char* certPath, const char* idNumber, int idNumberLen, const char* password,
                                  int passwordLen);
/* The signing key under the new password (written to a temporary file,
 * mode 0600, renamed over the key). 1051027 wrong old password; 1052031
 * not written (the key stays as it was). */
VPL_API int VPL_Set_CertChange_Password(int storageType, const char* drive, int driveLen, const char* encCertPath,
                                        int pathLen, const char* oldPassword, int oldLen, const char* newPassword,
                                        int newLen);
/* The signing key and the encryption key beside it (when there is one)
 * under the new password, both or neither: both are re-protected first,
 * then renamed into place together. An encryption key the old password
 * does not open fails the change (1051027) and leaves both files as they
 * were. */
VPL_API int VPL_Set_CertChange_PasswordEx(int storageType, const char* drive, int driveLen, const char* encCertPath,
                                          int pathLen, const char* oldPassword, int oldLen, const char* newPassword,
                                          int newLen);
/* The encoded path of the encryption certificate beside a signing one
 * (classes 1, 3 and 5: the file name "signCert.der" or "..._sig.cer"
 * replaced, in the last component only). 1052009, 1052030 (either
 * certificate does not read), -1 for other classes. */
VPL_API int VPL_Get_Path_EncryptCertFromSignCert(const char* encCertPath, int pathLen, char** encKmPath,
                                                 int* encKmPathLen);
/* A copy of text: 0; 1052011 for NULL; 1052007. */
VPL_API int VPL_Data_Malloc(const char* text, char** copy, int* copyLen);
/* The subject name's DER of a certificate (file, or a pseudo path's cached
 * one). Storage types 4, 7, 11 and above 12 (and negative ones): -1. */
VPL_API int VPL_Get_SubjectDNDer(int storageType, const char* unused, int unusedLen, const char* encCertPath,
                                 int pathLen, void** der, int* derLen);
/* The certificate of an index-based list entry as PEM: 1051026 for an
 * index outside the list, 1052009 when its file does not read. Sets the
 * last error. */
VPL_API int VPL_GetPEMCert(int index, int encodingFlag, char** pem, int* pemLen);
/* Certificate bytes as PEM; the core's code on failure. Sets the last
 * error. */
VPL_API int VPL_CertToPEMCert(const void* cert, int len, int encodingFlag, char** pem, int* pemLen);

VPL_END_DECLS

#endif
