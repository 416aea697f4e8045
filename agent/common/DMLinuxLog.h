// The agent's diagnostic log, shared by the daemon, the server and (through
// the writers handed to it) the job side. Off unless "qlDebugMode" in the
// home directory selects a mode.
#pragma once

#include <unistd.h>

#include <cstdarg>
#include <string>

enum DMLogMode {
    DMLOG_OFF = 0,
    DMLOG_FILE = 1,
    DMLOG_STDOUT = 2,
    DMLOG_FILE_ALT = 3,
};

int DMLinuxLog_Initialize();
int DMLinuxLog_GetLogType();
int DMLinuxLog_ReadDebugMode();
// The dated file lines go to; empty while logging to a file is off.
std::string DMLinuxLog_GetLogPath();

int DMLinuxLog_LogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
int DMLinuxLog_VarWrite(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

// The job side's writers (its LogWriteFunc and LogWriteIntFunc); each holds
// the log mutex for its line.
extern "C" int DMLinuxLog_Write(const char* tag, const char* text);
extern "C" int DMLinuxLog_WriteInt(const char* tag, int value);

// Emit one line by the mode; callers hold the log mutex.
void DMLinuxLog_WriteLine(const char* tag, const char* text);
void DMLinuxLog_WriteIntLine(const char* tag, int value);

// "[YYYY-MM-DD hh:mm:ss(mmm)]" of local time; out holds at least 32 bytes.
void DMLinuxLog_MakeTimeStamp(char* out);

// Daemon lines start with the source file, line and process id.
#define DMLOG(fmt, ...)                                              \
    DMLinuxLog_LogPrintf("[%s:%d(%d)]" fmt, __FILE_NAME__, __LINE__, \
                         static_cast<int>(getpid()) __VA_OPT__(, ) __VA_ARGS__)
