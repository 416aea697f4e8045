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
