// The job side as the daemon sees it. Until the real job driver arrives a
// job only logs its parameter and ends with success.
#include <LinuxQuillet.h>

#include <atomic>

namespace {

// Read by the server thread without a lock while the main thread runs a job.
std::atomic<int> g_appRunningFlag{0};
std::atomic<int> g_lastJobResult{0};

int g_debugMode = 0;
LogWriteFunc g_write = nullptr;
LogWriteIntFunc g_writeInt = nullptr;

void jobLog(const char* tag, const char* text) {
    if (g_debugMode != 0 && g_write != nullptr) g_write(tag, text);
}

// The job body; returns nonzero on success.
int runJob(const QuilletJobArgs& job) {
    jobLog("[JOB]", job.processName);
    jobLog("[JOB]", job.startParameter);
    return 1;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int LinuxQuillet_StartProcess(QuilletJobArgs* job) {
    g_lastJobResult = 0;
    g_appRunningFlag = 1;
    int ok = 0;
    if (job != nullptr) ok = runJob(*job);
    g_lastJobResult = ok;
    g_appRunningFlag = 0;
    return 0;
}

__attribute__((visibility("default"))) int LinuxQuillet_isRunning(void) { return g_appRunningFlag != 0 ? 1 : 0; }

__attribute__((visibility("default"))) int LinuxQuillet_GetResult(void) {
    if (g_appRunningFlag != 0) return QUILLET_RESULT_RUNNING;
    return g_lastJobResult != 0 ? QUILLET_RESULT_SUCCESS : QUILLET_RESULT_NONE;
}

__attribute__((visibility("default"))) void LinuxQuillet_InitWriteLog(int debugMode, LogWriteFunc write,
                                                                      LogWriteIntFunc writeInt) {
    g_debugMode = debugMode;
    g_write = write;
    g_writeInt = writeInt;
}

__attribute__((visibility("default"))) int LinuxQuillet_gtkLibInit(int*, char***) { return 0; }

__attribute__((visibility("default"))) int LinuxQuillet_ShowMessageBox(const char*, unsigned) { return 0; }

}  // extern "C"
