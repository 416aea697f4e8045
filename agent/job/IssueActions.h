// Issue, renewal, revocation and private-PKI request: the adapters that hand
// the policy's CA data to the store's issuance, and the actions behind the
// issue, request and revoke windows (and the renewal of the certificate-
// entry window). Each action reports to the relay once and ends the job,
// except where said.
#pragma once

#include <string>

// ---- Adapters ---------------------------------------------------------------------

// Issues (or, for Mode 5 at SIGNGATE, reissues) with the policy's
// reference and code onto the home disk (storeType 0) or the volume
// driveName (any other storeType): 0, or -100213 (also for a policy value
// holding "&", "=" or a control character, which would change the CA
// connection).
int Issue_Certificate_Reduction(int storeType, const char* driveName, const char* password);
// Renews the certificate at certPath (newPassword protects the new key):
// 0, or -100.
int Update_Certificate_Reduction(int storeType, const char* certPath, const char* password, const char* newPassword);

// ---- Actions ----------------------------------------------------------------------

// The issue window's OK: -1 on a failure, else 0; the job is ended either
// way (1440 issue failed, 1441 the result not delivered).
int sig_Issue_clicked(int storeType, char* password, char* driveName);
// Renewal of the chosen certificate with its typed password: 0 done; -100
// wrong password (tries left, window open); -101 the fifth (1425, job
// ended); -1 no path or renewal failed (1442, window open) or the result
// not delivered (1443, job ended). newPassword null keeps the password.
int sig_Update_clicked(int targetStoreType, char* newPassword);
// Deletes the certificate at certPath (the revoke window's): 0, -1; the
// job is ended (1444 not deleted, 1445 / 1446 the result not delivered).
int sig_Revoke_clicked(int storeType, char* certPath);
// The request window's OK: a PKCS#10 request for the policy's PKCS10CertDN
// with a new key (CertBit 2048, 3072 or 4096 bits, else 2048) kept under
// the password until the insert job; posts "req=" and the request. -1 when
// no request was made (nothing posted, window open), else 0 and the job is
// ended (1441 when the key could not be kept or the result not sent).
int sig_certRequestWindow_clicked(char* password);
// The insert job: stores the policy's PKCS10Cert with the key kept for it
// on storeType (1: driveName); ret "1", or 1441 when it could not be
// stored (the kept key stays). 0; the job is ended.
int sig_certAndKeyStoreAfterCertRequestWindow_clicked(int storeType, char* driveName);
// Request and store in one job: the key is kept before the request leaves,
// the issuing server's certificate is stored with it; 1441 on any failure
// (the kept key stays for an insert job). 0 stored, -1 otherwise; the job
// is ended.
int sig_certRequestAndStore_clicked(int storeType, char* driveName, char* password);
// Posts ret "1" without data and ends the job.
int sig_SendResultServer(int retStatus, char* errMsg);
