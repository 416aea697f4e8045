// One job from start parameter to clean-up, the running flag and job
// result the command server reads, and the job side's log front end.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>

#include "common/DMLinuxUtil.h"
#include "job/Job.h"
#include "job/Launchers.h"
#include "job/ManageActions.h"
#include "job/funcs/Dispatch.h"
#include "ui/JobUiGtk.h"
#include "ui/MainUI.h"

std::atomic<int> g_appRunningFlag{0};
StructURLValues* strURLValues = nullptr;
StructPolicyList* strPolicyList = nullptr;
SignParams g_signParams;
int g_Mode = 0;
std::string g_downloadedTitleLogoPath;

namespace {

// Written by the job thread, read by the server thread without a lock.
std::atomic<std::atomic<int>*> g_runningFlagPtr{nullptr};
std::atomic<int> g_jobResult{0};
// Whether this job has set its result: the first one stands (a failed
// error post's 0 is not turned into 1 by the closing that follows).
bool g_jobResultSet = false;

IJobUi* g_testUi = nullptr;

// The daemon's writers; the server thread replaces them before every job
// while a finished job may still be logging.
std::mutex g_writerMutex;
int g_logType = 0;
LogWriteFunc g_write = nullptr;
LogWriteIntFunc g_writeInt = nullptr;

const char* kProgramVersion = kDMVersion;

void Main_GVar_Initialize() {
    g_runningFlagPtr = nullptr;
    g_jobResult = 0;
    g_jobResultSet = false;
    strURLValues = nullptr;
    strPolicyList = nullptr;
    g_signParams = SignParams{};
    g_Mode = 0;
    g_downloadedTitleLogoPath.clear();
    g_selectedStoreType = 0;
    g_OSName_Ubuntu = 0;
    g_OSLang = 0;
    g_swLanguage_Eng = 0;
    g_OSInfo.clear();
    g_ipAdr.clear();
    g_gwipAdr.clear();
    g_macAdr.clear();
}

void QuilletEX_Global_Variable_Initialize() {
    CommonFunc_GVar_Initialize();
    Main_GVar_Initialize();
    Roaming_GVar_Initialize();
    launchWindowFunc_GVar_Initialize();
    MainUI_GVar_Initialize();
}

std::string nowText() {
    char buf[64] = {};
    const std::time_t now = std::time(nullptr);
    ctime_r(&now, buf);
    return buf;
}

// The version check posts ret "4" and ends the job when the page needs a
// newer program.
bool needsUpdate() {
    if (checkVersion(kProgramVersion, strURLValues->linuxVersion.c_str()) == 0) return false;
    std::string reply;
    if (send_ResultByFunc(strURLValues->url, strURLValues->SESSION, strURLValues->reqID, "4", "", &reply) != 0)
        send_ErrCode(JobErrorCode::kUpdateNotPosted);
    WriteLogFile("[NOT]", "Quillet Client Program need Update.");
    JOBLOG("main, This Version Client must Update and Install. Program Terminated.\n");
    return true;
}

void runJob(int argc, QuilletJobArgs* job) {
    if (argc != 2) {
        SetRunningFlag(4);
        if (!launch_ManagerWindowStandalone()) WriteLogFile("[WAR]", "main, the certificate manager is not available.");
        return;
    }
    if (pars_URL_Parameter(job && job->startParameter ? job->startParameter : "", strURLValues) != 0) {
        JOBLOG("main, pars_URL_Parameter() FAILED.\n");
        send_ErrCode(JobErrorCode::kBadParameter);
        return;
    }
    if (needsUpdate()) return;

    // The relay sends only the CA certificates the user lacks.
    std::string caCertIDs;
    if (FindCACertToCACertsIDs(caCertIDs) != 0) WriteLogFile("[WAR]", "main, FindCACertToCACertsIDs() FAILED.");
    std::string reply;
    int relayCode = 0;
    const int fetched = send_GetFunc(strURLValues->url, strURLValues->SESSION, strURLValues->reqID,
                                     strURLValues->policyName, caCertIDs.c_str(), reply, &relayCode);
    if (fetched != 0) {
        JobUi().MessageBox(RelaySessionExpired(relayCode)
                               ? "퀼렛 서버 세션이 만료되었습니다. 로그아웃 후 재시도 하시기 바랍니다."
                               : "퀼렛 서버와 통신중 오류가 발생하였습니다. 로그아웃 후 재시도 하시기 바랍니다.",
                           3);
        return;
    }
    std::string funcName;
    const int parsed = pars_ServerRetValue(reply.c_str(), funcName, strPolicyList);
    explicit_bzero(reply.data(), reply.size());  // the policy's Nonce
    if (parsed != 0) {
        JOBLOG("main, pars_ServerRetValu() FAILED.\n");
        send_ErrCode(JobErrorCode::kBadPolicy);
        return;
    }
    if (!strPolicyList->CACerts.empty()) Make_IndividualCertFiles(strPolicyList->CACerts.c_str());
    JobUi().LanguageSet(strPolicyList->CertUILanguage.c_str());
    MakeRootCACertList();
    SetRunningFlag(4);
    DispatchFunc(funcName);
}

}  // namespace

std::string g_OSInfo, g_ipAdr, g_gwipAdr, g_macAdr;
int g_OSName_Ubuntu = 0, g_OSLang = 0, g_swLanguage_Eng = 0, g_selectedStoreType = 0;

// ---- Running state --------------------------------------------------------------

void SetRunningFlag(int value) {
    if (std::atomic<int>* flag = g_runningFlagPtr.load()) {
        flag->store(value);
        WriteLogFileWithInt("[NOT] SetRunningFlag =", value);
    }
}

int GetRunningFlag() {
    std::atomic<int>* flag = g_runningFlagPtr.load();
    return flag ? flag->load() : 0;
}

int GetQuilletResult() { return g_jobResult.load(); }

void Quillet_exit(int result, const char* file, const char* function, int line) {
    JOBLOG("########### [Quillet_exit] [%s:%s:%d][Result:%d] ###########\n", file ? file : "", function ? function : "",
           line, result);
    if (!g_jobResultSet) {
        g_jobResult = result;
        g_jobResultSet = true;
    } else {
        JOBLOG("[Quillet_exit] the job's result %d stands.\n", g_jobResult.load());
    }
    WriteLogFile("[NOT]", "[closeApp]");
    closeApp();
}

IJobUi& JobUi() { return g_testUi ? *g_testUi : DefaultJobUi(); }

void Quillet_SetUi(IJobUi* ui) { g_testUi = ui; }

int Quillet_Main(std::atomic<int>* runningFlag, int argc, QuilletJobArgs* job) {
    QuilletEX_Global_Variable_Initialize();
    WriteLogFile("[NOT]", "Quillet_Main() start.");
    g_runningFlagPtr = runningFlag;
    g_jobResult = 0;
    SetRunningFlag(1);

    App_Init();
    WriteLogFile("[NOT] app start................................", nowText().c_str());
    WriteLogFile("[NOT] PROGRAM_VERSION = ", kProgramVersion);
    GetDeviceInfo();
    ZUNLIB_Init();
    GetOSNameAndLangInfo();

    auto urlValues = std::make_unique<StructURLValues>();
    strURLValues = urlValues.get();
    WriteLogFileWithInt("[NOT] main, argc =", argc);
    runJob(argc, job);

    WriteLogFile("[NOT]", "Quillet_Main() closing.");
    closeApp();
    ZUNLIB_Cleanup();
    strURLValues = nullptr;
    explicit_bzero(urlValues->SESSION.data(), urlValues->SESSION.size());
    urlValues.reset();
    App_Cleanup();
    // Nothing of the job's UI reaches the next job.
    JobUi().ReleaseUi();
    SetRunningFlag(0);
    g_runningFlagPtr = nullptr;
    WriteLogFile("[NOT]", "Quillet_Main() finished.");
    return 0;
}

// ---- Log front end -------------------------------------------------------------------

void InitQuilletWriteLog(int logType, LogWriteFunc write, LogWriteIntFunc writeInt) {
    std::lock_guard lock(g_writerMutex);
    g_logType = logType;
    g_write = write;
    g_writeInt = writeInt;
}

int GetQuilletLogType() {
    std::lock_guard lock(g_writerMutex);
    return g_logType;
}

int WriteLogFile(const char* tag, const char* text) {
    std::lock_guard lock(g_writerMutex);
    return g_write ? g_write(tag ? tag : "", text ? text : "") : -1;
}

int WriteLogFileWithInt(const char* tag, int value) {
    std::lock_guard lock(g_writerMutex);
    return g_writeInt ? g_writeInt(tag ? tag : "", value) : -1;
}

int MLogVarPrintf(const char* format, va_list args) {
    char text[4096];
    const int n = std::vsnprintf(text, sizeof text, format ? format : "", args);
    WriteLogFile("[DML]", text);
    return n;
}

int MLogPrintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = MLogVarPrintf(format, args);
    va_end(args);
    return n;
}
