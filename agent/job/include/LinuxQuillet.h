// Entry functions of the job side. The daemon's connector binds the first
// three and hands over its log writers before every job.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Handed to LinuxQuillet_StartProcess; both texts stay owned by the caller.
typedef struct QuilletJobArgs {
    char* processName;
    char* startParameter;
} QuilletJobArgs;

// 3 while a job runs, 1 when the last job succeeded, 0 otherwise.
typedef int QuilletJobResult;
enum {
    QUILLET_RESULT_NONE = 0,
    QUILLET_RESULT_SUCCESS = 1,
    QUILLET_RESULT_RUNNING = 3,
};

typedef int (*LogWriteFunc)(const char* tag, const char* text);
typedef int (*LogWriteIntFunc)(const char* tag, int value);

int LinuxQuillet_StartProcess(QuilletJobArgs* job);
int LinuxQuillet_isRunning(void);
int LinuxQuillet_GetResult(void);
void LinuxQuillet_InitWriteLog(int debugMode, LogWriteFunc write, LogWriteIntFunc writeInt);
int LinuxQuillet_gtkLibInit(int* argc, char*** argv);
int LinuxQuillet_ShowMessageBox(const char* text, unsigned type);

#ifdef __cplusplus
}
#endif
