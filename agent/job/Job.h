// The job side's own surface: the job entry and its state, the relay
// exchanges, the application set-up steps and the log front end. Names
// follow the job protocol's; everything runs on the daemon's main thread
// except where a comment says otherwise.
#pragma once

#include <atomic>
#include <cstdarg>
#include <string>

#include <LinuxQuillet.h>

#include "job/IJobUi.h"
#include "job/JobTypes.h"
#include "job/ParsingFunc.h"

// ---- Job entry and running state ---------------------------------------------

// Running flag levels: 0 idle, 1 job entered, 2 application state made,
// 3 store library ready (or closing), 4 policy received, 5 a window open.
inline constexpr int CONST_APP_RUN_VALUE = 5;

// The flag and the last job's result; the command server's thread reads
// both without a lock.
extern std::atomic<int> g_appRunningFlag;

// Runs one job; returns 0.
int Quillet_Main(std::atomic<int>* runningFlag, int argc, QuilletJobArgs* job);
// Ends the job's window with result (1 normal close, 0 abort): the first
// result of a job stands, later ones are logged only.
void Quillet_exit(int result, const char* file, const char* function, int line);
int GetQuilletResult();
void SetRunningFlag(int value);
int GetRunningFlag();

// The UI and relay client the jobs use (tests put their own UI in place;
// null restores the program's).
IJobUi& JobUi();
void Quillet_SetUi(IJobUi* ui);

// The job's records; null outside a job.
extern StructURLValues* strURLValues;
extern StructPolicyList* strPolicyList;
// The sign data and title of a "sign" or "msign" job.
extern SignParams g_signParams;
extern int g_Mode;

// ---- Log front end -------------------------------------------------------------

void InitQuilletWriteLog(int logType, LogWriteFunc write, LogWriteIntFunc writeInt);
int GetQuilletLogType();
int WriteLogFile(const char* tag, const char* text);
int WriteLogFileWithInt(const char* tag, int value);
// Formats at most 4095 characters (longer text is cut) and writes them as a
// "[DML]" line.
int MLogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
int MLogVarPrintf(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

#define JOBLOG(fmt, ...) \
    MLogPrintf("[%s:%d(%d)]" fmt, __FILE_NAME__, __LINE__, static_cast<int>(getpid()) __VA_OPT__(, ) __VA_ARGS__)
#define QUILLET_EXIT(result) Quillet_exit((result), __FILE_NAME__, __func__, __LINE__)

// ---- Application and library set-up -----------------------------------------------

// The PKCS#12 layer's part of the job-start reset.
void CommonFunc_GVar_Initialize();
int App_Init();
int App_Cleanup();
int GetDeviceInfo();
int ZUNLIB_Init();
int ZUNLIB_Cleanup();
int GetOSNameAndLangInfo();
int closeApp();
int checkVersion(const char* version, const char* required);
const char* GetPolicy_Package();
const char* GetPolicy_CAName();
const char* GetPolicy_YessignCertPasswordPolicy();
const char* GetPolicy_CertPasswordPolicy();
const char* GetPolicy_YessignPwdUIType();
const char* GetPolicy_PPKI();

// Device texts of the job and the system facts.
extern std::string g_OSInfo, g_ipAdr, g_gwipAdr, g_macAdr;
extern int g_OSName_Ubuntu, g_OSLang, g_swLanguage_Eng, g_selectedStoreType;

// The title logo the relay's policy named, once downloaded and checked; the
// windows fall back to it when a picture does not load.
extern std::string g_downloadedTitleLogoPath;

// The user's home directory (the daemon's).
std::string JobHomeDir();

// ---- Parsing (logging front ends of ParsingFunc.h) --------------------------------

int pars_URL_Parameter(const char* text, StructURLValues* out);
int pars_ServerRetValue(const char* reply, std::string& funcName, StructPolicyList* out);
int pars_RequestRetValue(const char* body, int* code, std::string* message);

// ---- Relay exchange ----------------------------------------------------------------

// 0 with the reply body, or a transport code (JobTypes.h). relayCode, when
// given, receives the relay's error code of an error answer.
int send_GetFunc(const std::string& url, const std::string& session, const std::string& reqID,
                 const std::string& policyName, const char* caCertIDs, std::string& reply, int* relayCode = nullptr);
int send_ResultByFunc(const std::string& url, const std::string& session, const std::string& reqID,
                      const char* retStatus, const std::string& retData, std::string* reply);
// The job's error code (ret "2"); a failed post ends the job with result 0.
int send_ErrCode(const char* code);
int send_Cancel();
int send_BlankOK();
// Downloads an image into the user's CA-certificate folder under fileName:
// 0 with its path; -1 (bad name, not written), -100412, -100413 (transfer,
// status other than 200, over 2 MiB). Nothing is left on failure.
int Downlaod_ImageURL(const char* url, const char* fileName, std::string& outPath);

// The session-expired box for relay codes 302, 402, 600; the
// communication-error box otherwise.
bool RelaySessionExpired(int relayCode);

// ---- Certificate lists and CA certificates ------------------------------------------

// A list's certificate filter for the store. A filter that could not be
// built lists nothing: it never widens a list to every certificate.
struct CertFilter {
    std::string text;  // the store's filter text; empty: none
    bool broken = false;
};

// The job's issuer filter: "issuer=" after App_Init, then the common name of
// each CA certificate of the policy, URL-encoded and followed by "|".
extern CertFilter filter_info;
// The count of the last GetDomainCertList.
extern int g_CertListsCount, tmp_CertListsCount;

// Appends one row per record of a certificate-list text to UI list listNo
// (0 the shown list, 1 the root-CA list): the number appended, or -1 at the
// first bad record (the rows before it stay).
int pars_CertListsString(const char* list, int listNo);
// Refills UI list 0 from the store. listKind: 0 (and any other value) the
// home's user certificates, 1 public CA, 2 root CA, 3 private CA
// certificates, 4 the user certificates of driveName. filter may be null;
// the policy's expiry switches add "&expire=1" to a copy of it. 0, or -1
// when the store fails or the filter is broken (the list stays empty).
int GetDomainCertList(int listKind, const char* driveName, const CertFilter* filter);
// Whether a listing's result is a failure: -1 and every store code lie
// above 1050999 taken unsigned, and so does a negative list length.
bool CertListFailed(int rc, int listLen);
// Adds the root CA certificates that are valid to UI list 1: 0 or -1.
int MakeRootCACertList();
// The filter of a window from the policy's CAName, DeleteCertSerialNumber,
// CertIssuerDN and CertSerialNumber: 0, or -1 with a broken filter when the
// certificate of a VERIDANCA policy gives no serial.
int MakeFilterInfo(CertFilter& filter);
// The ids of the CA certificates of the user's CA folder and of the
// installation's CACerts folder (whose files are copied into the user's
// where missing or changed), each followed by "|", URL-encoded: 0, or -1
// when there is none.
int FindCACertToCACertsIDs(std::string& ids);
// Stores the policy's CA certificates (CACerts) and extends filter_info:
// 0, or -1 (logged) when one of them could not be stored.
int Make_IndividualCertFiles(const char* caCerts);
int pars_CertStringAnd_MakeDerFile(const char* caCerts);
// Nothing keeps a node list of certificates: -1, logged.
int Free_GetCertLists();
// The store's detail text into out: 0.
int pars_VPL_Get_CertView_Outlist(const char* outlist, int unused, CertDetailInfo* out);
// The multi-sign data: the number of items (0 for none or a refused text).
int ParseSignData_PDFMultiSign(const char* data, PDFMultiSignData* out, int stopAtHD);
// The store's decoder (VPL_DataDecode) as the pure parsers take it.
bool StoreDataDecode(int type, std::string_view in, std::string& out);
// The user's CA-certificate folder ("<home>/NPKI/.veridanCACerts"); empty
// without a home.
std::string UserCACertDir();
