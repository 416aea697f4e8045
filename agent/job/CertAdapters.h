// Adapters between the job side and the certificate store for everything
// that is not a signature: each takes the certificate path as chosen in a
// window (the store gets it Base64-encoded), calls one store function,
// releases what the store returned and maps the store's result to one job
// code. Passwords are passed through and never logged.
#pragma once

#include <string>

#include "job/JobTypes.h"

namespace AdapterCode {
inline constexpr int kFailed = -1;
inline constexpr int kStore = -100;
inline constexpr int kWrongPassword = -100001;  // the PKCS#12 file does not open with the password
inline constexpr int kCheckPassword = -100205;
inline constexpr int kChangePassword = -100208;
inline constexpr int kDelete = -100210;
inline constexpr int kImport = -100212;
inline constexpr int kCopy = -100217;
inline constexpr int kDetail = -100219;
inline constexpr int kPfxWrongPassword = -100230;
inline constexpr int kPfxImportWrongPassword = -100231;
inline constexpr int kIdentityMismatch = -100231;
}  // namespace AdapterCode

// The signing key (and the KM key beside it) under newPassword: 0; -100208.
int Change_CertPasswd(int storeType, const char* certPath, const char* oldPassword, const char* newPassword);
// Whether password opens the key: 0; -100205.
int Check_CertPasswd(int storeType, const char* certPath, const char* password);
// Deletes the certificate's files, then its directory when it is empty: 0;
// -100210.
int Delete_Cert(int storeType, const char* certPath);
// The detail record: 0; -100219 store failure; -1 unparsed.
int Get_CertDetail(int storeType, const char* certPath, CertDetailInfo* out);
// Imports a PKCS#12 file into the home (0) or the drive (1): 0; -100231
// wrong password (or a file that does not open); -100212; -1 for other
// storage types.
int Get_PFXFile(int storeType, const char* driveName, const char* pfxPath, const char* password);
// Loads a PKCS#12 file for the _Buffer submissions: 0; -100001 when it does
// not open with the password; -100 for other failures.
int Get_PFXFile_ToBuffer(const char* pfxPath, const char* password);
// Writes a PKCS#12 file of the certificate and its key: 0; -100230 wrong
// password; -1 otherwise.
int Set_PFXFile(int storeType, const char* certPath, const char* pfxPath, const char* password);
// The PKCS#12 bytes in a new block (free()): 0; -1 path not encoded; -100.
int Set_PFXBuf(int storeType, const char* certPath, const char* password, void** pfx, int* pfxLen);
// Copies certificate and key to dstType (0 home, 1 dstDrive): 0; -100217.
int Cert_Domain_Copy(int srcType, int dstType, const char* certPath, const char* dstDrive, const char* password);
// The holder's identification number against the certificate: 0; -100230
// wrong password; -100231 the number does not match; -100219.
int Cert_Indentification(int storeType, const char* certPath, const char* password, const char* idNumber);
// The PEM of a certificate file (VCL_Free, or DeleteCertPEM): the
// conversion's result, -1 when the file does not read.
int GetPEMCert(const char* path, char** pem, int* pemLen);
int DeleteCertPEM(char* pem, int len);
// The file's digest as upper-case hex pairs, separator after every group
// bytes (group > 0), into out (outLen bytes, cleared; pairs that do not fit
// are left out): 0; -1 no path or buffer; -2 the digest failed.
int MakeFileHashStr(const char* path, char* out, int outLen, const char* algorithm, char separator, int group);
