/*
 * Copying certificates with their keys between the home directory and
 * removable drives, and deleting them.
 *
 * Paths arrive Base64-encoded (VPL_DataEncode type 0) where the name says
 * "enc", decoded elsewhere. Storage types: 0 the home directory, 1 a
 * removable drive (the drive's root path); deletion by path also takes 5,
 * 9 (public CA certificates) and 10 (private CA certificates).
 *
 * Copy: the password is checked against the source key (1051027 when it
 * does not open it); the certificate and its key are written as stored
 * (the password does not re-protect them) into the destination's standard
 * layout (<zephaltpavix/layout.h>), with the encryption pair when
 * kmCert.der and its key lie beside a signCert.der. Both pairs are written
 * or neither (temporary names, synced, renamed; a failure takes back what
 * the copy wrote and gives existing files their bytes again). A copy that
 * would replace a certificate valid for longer than the one copied (an
 * older certificate of the same name copied over a renewed one) is refused
 * with 1052063 and nothing changes.
 *
 * Delete: the certificate's file and its key, and beside a signing
 * certificate (signCert.der, ..._sig.cer) the encryption pair; a CA
 * certificate (classes 7 to 9) has no key and only its file goes. Files
 * go key before certificate, the encryption pair first, and the first file
 * that cannot be removed stops the deletion with 1052064: what is left is
 * still a listed pair. A file that is already gone is no failure; folders
 * stay.
 *
 * PINs and passwords are never logged.
 */
#ifndef ZEPHALTPAVIX_MANAGE_H
#define ZEPHALTPAVIX_MANAGE_H

#include <zephaltpavix/certlist.h>
#include <zephaltpavix/store_export.h>

/* Media of a delete by CA and value. */
#define VPL_DELETE_HDD 1
#define VPL_DELETE_FDD 2
#define VPL_DELETE_SCARD 4
#define VPL_DELETE_USB 8

VPL_BEGIN_DECLS

/* ---- Copy ------------------------------------------------------------------ */

/* The agent's copy (domain "VERIDAN"; the domain and source drive play no
 * part: the path says where the files are). Source types 0 and 1 (others
 * -1); destination 0 the home directory, 1 dstDrive (1052027 when missing
 * or not of its length), others -1. 1052009 for a path missing or not of
 * its length; 1052013 for a password missing or not of its length; the
 * password check's and the decoder's codes; the copy's codes. */
VPL_API int VPL_Cert_Domain_Copy(const char* domain, int domainLen, int srcType, const char* srcDrive, int srcDriveLen,
                                 int dstType, const char* dstDrive, int dstDriveLen, const char* dstPin, int dstPinLen,
                                 const char* encCertPath, int encCertPathLen, const char* password, int passwordLen);
/* The same without a domain. */
VPL_API int VPL_Cert_Copy(int srcType, const char* srcDrive, int srcDriveLen, int dstType, const char* dstDrive,
                          int dstDriveLen, const char* dstPin, int dstPinLen, const char* encCertPath,
                          int encCertPathLen, const char* password, int passwordLen);
/* A decoded path to a destination (no password check here). */
VPL_API int VPL_Cert_Copy_ToDestType(const char* domain, int domainLen, int dstType, const char* dstPin, int dstPinLen,
                                     const char* dstDrive, int dstDriveLen, const char* certPath, const char* password);
/* The pair of a decoded path (and its encryption pair) into the home
 * directory or a drive: 0; 1052011 no path; 1052030 a file that does not
 * read; -1 a certificate the store does not file with a key; the key
 * lookup's code; 1052063; the writer's codes. */
VPL_API int VPL_Cert_HDD_Copy(const char* certPath);
VPL_API int VPL_Cert_FDD_Copy(const char* certPath, const char* drive);
/* A given certificate and key as a signing pair on the drive: the writer's
 * codes; 1052011 for missing arguments; 1051022. */
VPL_API int VPL_Cert_FDD_Save(const char* drive, const void* cert, int certLen, const void* key, int keyLen);

/* ---- Delete ------------------------------------------------------------------ */

/* By encoded path: storage types 0, 1, 5, 9, 10 (others -1). 1052009 for
 * a missing path; the decoder's code; VPL_UserCert_Delete's codes. The
 * PIN is not used. */
VPL_API int VPL_Cert_Delete(int storageType, const char* pin, int pinLen, const char* encCertPath, int encCertPathLen);
/* By decoded path: 0; 1052009 no path; 1052010 a length that is not the
 * path's; 1052030 the certificate does not read; -1 it is not classified;
 * 1052064 a file that could not be removed. */
VPL_API int VPL_UserCert_Delete(const char* certPath, int certPathLen);

/* The media set of a text of parts separated by "|", each compared by its
 * first three letters (any case) with "HDD", "FDD", "SCARD", "USB"; an
 * empty or missing text is the hard disk alone. */
VPL_API int VPL_Delete_StorageType(const char* media);
/* Deletes the certificates of a CA on the media named: for a public CA
 * (kind 1) those whose hexadecimal serial is certValue (as a number:
 * leading zeros and the case of letters do not matter) and whose subject's
 * O= is the CA's name (any case); for the private CA (kind 3) those whose
 * serial, issuer CN and subject name equal those of the certificate
 * certValue (DER or PEM). The home directory's store and every removable
 * drive's; smart cards and USB tokens delete nothing. 0 (also when nothing
 * matched); 1052011 for a missing name or value; -1 for a name of no kind;
 * 1052064 when a deletion on any medium failed. */
VPL_API int VPL_Delete_UserCert(const char* caName, int caNameLen, const char* media, int mediaLen,
                                const char* certValue, int certValueLen);
VPL_API int VPL_Delete_Control(int caKind, const char* caName, const char* media, const char* certValue,
                               int certValueLen);
/* One medium: 0; -1 when a store cannot be walked (nothing is deleted);
 * 1052064; 1051024 for a value of kind 3 that is no certificate. */
VPL_API int VPL_HDD_DeleteUserCert(int caKind, const char* caName, const char* certValue, int certValueLen);
VPL_API int VPL_FDD_DeleteUserCert(int caKind, const char* caName, const char* certValue, int certValueLen);
/* Over a list of the store's records: 0, or 1052064 when a deletion
 * failed (the others are still tried). */
VPL_API int VPL_Delete_HexaSerial_List(CertInfoList* list, const char* hexSerial, const char* caName);
VPL_API int VPL_Delete_Cert_List(CertInfoList* list, const void* cert, int certLen);

VPL_END_DECLS

#endif
