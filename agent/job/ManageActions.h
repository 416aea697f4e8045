// The actions behind the certificate manager (copy, delete, password
// change and check, identity check, PKCS#12 import and export) and the
// roaming windows (import from and export to the roaming server). They act
// on the certificate the window chose (IJobUi::GetSelectedCertValue) and
// give the windows small codes. None closes the job except where said; the
// roaming actions report to the relay once, on the paths that end the job.
#pragma once

#include <string>

// ---- Manager ------------------------------------------------------------------------

// 0 right, -1 wrong or failed.
int sig_Check_CertPasswd(const char* password);
// 0 changed; -2 the old password is wrong; -1 the change failed (both files
// as they were).
int sig_ChangePasswd_clicked(const char* oldPassword, const char* newPassword);
// 0 the identification number matches; -1 otherwise (wrong password
// included).
int sig_Cert_Indentification(const char* password, const char* idNumber);
// Copies the chosen certificate (with its key, and its encryption pair)
// from srcStoreType to destStoreType (1: the volume destDriveName): 0, -1.
int sig_Cert_Domain_Copy(int srcStoreType, int destStoreType, const char* destDriveName, const char* password);
// Deletes the chosen certificate and its key, and their folder when the
// store left it empty: 0, -1.
int buttonCertDelete_clicked();
// Imports a PKCS#12 file into the home (0) or the volume driveName (1):
// 0; -2 wrong password or a file that does not open (nothing written);
// -1 otherwise.
int sig_Get_PFXFile_clicked(int storeType, const char* driveName, const char* p12FileName, const char* password);
// Exports the chosen certificate and key into p12FileName (0600, whole or
// not at all): 0; -2 wrong password; -1 otherwise. Asking before an
// existing file is replaced is the window's (PfxExportName).
int sig_Set_PFXFile_clicked(const char* p12FileName, const char* password);
// The file an export writes: name, with ".p12" added under the PKCS#12
// filter when it has no such extension.
std::string PfxExportName(const std::string& name, bool p12Filter);

// ---- Roaming ------------------------------------------------------------------------

// Results of the roaming actions.
enum RoamingResult {
    kRoamingOk = 0,
    kRoamingRetry = -2,     // wrong password, unknown number, data that does not open: nothing posted, window stays
    kRoamingJobEnded = -3,  // a failure posted once; the job's window is closed
};

// Import step 1: fetches the data of number (digits only, the policy's
// digit count) and keeps it for step 2.
int sig_ImportCert_clicked(const char* number);
// Import step 2: stores the kept PKCS#12 on storeType (1: driveName) with
// password, posts ret "1" and reports COMPLETE to the roaming server.
int sig_ImportCert_PFXCertSet(int storeType, const char* driveName, const char* number, const char* password);
// Export of the chosen certificate: on kRoamingOk the server's number is
// in number (the policy's digit count); the caller shows it and ends the
// job with ret "1" (RoamingExportDone).
int sig_ExportCert_clicked(std::string& number);
// The same from a PKCS#12 file opened with password (kRoamingRetry when it
// does not open: nothing sent, nothing posted).
int sig_ExportCert_clicked_use_PFXfile(const char* p12Path, const char* password, std::string& number);
// Shows the number, posts ret "1" and ends the job.
void RoamingExportDone(const std::string& number);

// Drops what import step 1 kept (wiped).
void Roaming_GVar_Initialize();
