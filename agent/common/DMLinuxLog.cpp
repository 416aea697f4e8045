#include "DMLinuxLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include "DMLinuxUtil.h"

namespace {

constexpr const char* kDebugModeFile = "qlDebugMode";
constexpr const char* kLogTag = "[DML]";
constexpr size_t kFormatBufferSize = 4096;

int g_debugMode = DMLOG_OFF;
std::string g_logPath;
std::mutex g_logMutex;
char g_formatBuffer[kFormatBufferSize];

// The log may hold the page's session, so the file is private to the user.
void appendToLogFile(const char* line, size_t length) {
    if (g_logPath.empty()) return;
    int fd = ::open(g_logPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && (st.st_mode & 077) != 0 && st.st_uid == ::geteuid()) ::fchmod(fd, 0600);
    while (length > 0) {
        ssize_t n = ::write(fd, line, length);
        if (n <= 0) break;
        line += n;
        length -= static_cast<size_t>(n);
    }
    ::close(fd);
}

void emitLine(const std::string& line) {
    switch (g_debugMode) {
        case DMLOG_FILE:
        case DMLOG_FILE_ALT:
            appendToLogFile(line.data(), line.size());
            break;
        case DMLOG_STDOUT:
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
            break;
        default:
            break;
    }
}

// "%s[%d] %s %s\n": time stamp, process id, tag, text.
std::string formatLine(const char* tag, const std::string& text) {
    char stamp[32];
    DMLinuxLog_MakeTimeStamp(stamp);
    return std::string(stamp) + '[' + std::to_string(::getpid()) + "] " + tag + ' ' + text + '\n';
}

}  // namespace

int DMLinuxLog_ReadDebugMode() {
    g_debugMode = DMLOG_OFF;
    if (!DMLinuxUtil_HasUserHOMEDir()) return 0;
    std::string path = std::string(DMLinuxUtil_GetUserHOMEDir()) + "/" + kDebugModeFile;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return 0;
    char bytes[12];
    size_t n = std::fread(bytes, 1, sizeof bytes, f);
    std::fclose(f);
    // Only the twelfth byte counts.
    if (n == sizeof bytes && bytes[11] >= '1' && bytes[11] <= '3') g_debugMode = bytes[11] - '0';
    return 1;
}

int DMLinuxLog_Initialize() {
    std::lock_guard lock(g_logMutex);
    g_logPath.clear();
    int found = DMLinuxLog_ReadDebugMode();
    if (g_debugMode != DMLOG_OFF) {
        time_t now = ::time(nullptr);
        struct tm local {};
        ::localtime_r(&now, &local);
        char name[64];
        std::snprintf(name, sizeof name, "/NPKI/.veridanCACerts/quilletEX_%04d%02d%02d.log", local.tm_year + 1900,
                      local.tm_mon + 1, local.tm_mday);
        g_logPath = std::string(DMLinuxUtil_GetUserHOMEDir()) + name;
    }
    return found ? 0 : -1;
}

int DMLinuxLog_GetLogType() { return g_debugMode; }

std::string DMLinuxLog_GetLogPath() {
    std::lock_guard lock(g_logMutex);
    return g_logPath;
}

void DMLinuxLog_MakeTimeStamp(char* out) {
    struct timeval tv {};
    ::gettimeofday(&tv, nullptr);
    struct tm local {};
    ::localtime_r(&tv.tv_sec, &local);
    // Formatted with room for any int, then cut to the caller's 32 bytes.
    char stamp[96];
    std::snprintf(stamp, sizeof stamp, "[%04d-%02d-%02d %02d:%02d:%02d(%03d)]", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(tv.tv_usec / 1000));
    stamp[31] = '\0';
    std::memcpy(out, stamp, 32);
}

void DMLinuxLog_WriteLine(const char* tag, const char* text) {
    if (g_debugMode == DMLOG_OFF) return;
    if (tag == nullptr) tag = "";
    bool empty = text == nullptr || *text == '\0';
    if (empty && g_debugMode != DMLOG_STDOUT) {
        // The file form of an empty text: "%s %s NULL\n", without the process id.
        char stamp[32];
        DMLinuxLog_MakeTimeStamp(stamp);
        emitLine(std::string(stamp) + ' ' + tag + " NULL\n");
        return;
    }
    emitLine(formatLine(tag, empty ? std::string() : std::string(text)));
}

void DMLinuxLog_WriteIntLine(const char* tag, int value) {
    if (g_debugMode == DMLOG_OFF) return;
    emitLine(formatLine(tag != nullptr ? tag : "", std::to_string(value)));
}

int DMLinuxLog_VarWrite(const char* format, va_list args) {
    std::lock_guard lock(g_logMutex);
    if (g_debugMode == DMLOG_OFF || format == nullptr) return 1;
    // Longer messages are cut at the buffer's end.
    std::vsnprintf(g_formatBuffer, sizeof g_formatBuffer, format, args);
    DMLinuxLog_WriteLine(kLogTag, g_formatBuffer);
    return 1;
}

int DMLinuxLog_LogPrintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int r = DMLinuxLog_VarWrite(format, args);
    va_end(args);
    return r;
}

extern "C" int DMLinuxLog_Write(const char* tag, const char* text) {
    std::lock_guard lock(g_logMutex);
    DMLinuxLog_WriteLine(tag, text);
    return 1;
}

extern "C" int DMLinuxLog_WriteInt(const char* tag, int value) {
    std::lock_guard lock(g_logMutex);
    DMLinuxLog_WriteIntLine(tag, value);
    return 1;
}
