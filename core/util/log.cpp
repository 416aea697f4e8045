// The core log: daily files shared between processes under an fcntl lock on
// an inherited anonymous file, and between threads under a process mutex.
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include <zunCore/log.h>
#include <zunCore/util.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/asn1/utils.h>

#include "core_internal.hpp"

extern "C" {
VCL_API VCL_LOG_CONFIG g_loginfo = {};
VCL_API FILE* g_corelogfp = nullptr;
VCL_API char g_log_open_date[20] = {};
VCL_API int g_lock_fd = 0;
VCL_API int g_gap_with_ntp = 0;
}

const char zcore::kDumpRule[] = "--------------------------------------------------------------------------------\n";

namespace {

constexpr const char* kLevelNames[] = {"OFF", "ALERT", "FATAL", "ERROR", "WARN", "NORMAL", "NOTICE", "INFO", "DEBUG"};
constexpr const char* kCoreIdentity = "ZEPHALT_Core_for_C";
// VCL_log's message limit.
constexpr size_t kShortMessage = 2048;

// The fcntl lock does not exclude the threads of one process, and a roll-over
// closes the stream another thread may be writing: every use of the log's
// state goes under this mutex. It is taken around fork so a child never
// inherits it locked.
std::mutex gMutex;

[[maybe_unused]] const bool gAtFork = [] {
    pthread_atfork([] { gMutex.lock(); }, [] { gMutex.unlock(); }, [] { gMutex.unlock(); });
    return true;
}();

const char* levelName(int level) {
    if (level < 0) level = 0;
    if (level > VCL_LOG_DEBUG) level = VCL_LOG_DEBUG;
    return kLevelNames[level];
}

struct tm localNow() {
    const time_t now = zcore::now();
    struct tm tm {};
    localtime_r(&now, &tm);
    return tm;
}

std::string dateOf(const struct tm& tm) {
    char date[16];
    std::strftime(date, sizeof date, "%Y%m%d", &tm);
    return date;
}

bool pathFits(const char* dir, const char* prefix, const std::string& date) {
    return std::strlen(dir) + std::strlen(prefix) + date.size() <= VCL_LOG_MAX_PATH;
}

std::string logPath(const char* dir, const char* prefix, const std::string& date) {
    return std::string(dir) + "/" + prefix + "_" + date + ".log";
}

void writeAll(FILE* f, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fflush(f);
}

std::string headerLines(bool rollOver) {
    std::string h;
    h += std::string("====Crypto Version: ") + VSC_Get_Crypto_Version() + "====\n";
    h += std::string("====PKI Version: ") + get_PkiVersion() + "====\n";
    h += std::string("====Core Version: ") + kCoreIdentity + " " + VCL_CORE_VERSION + "====\n";
    if (rollOver) h += "\n";
    return h;
}

// Opens the day's file for appending; a file this call creates is private
// (level 7 dumps bytes of keys and messages) and gets the header lines.
// Null on failure.
FILE* openLogFile(const std::string& path, bool rollOver) {
    bool created = true;
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    }
    if (fd < 0) return nullptr;
    FILE* f = ::fdopen(fd, "a");
    if (!f) {
        ::close(fd);
        return nullptr;
    }
    if (created) writeAll(f, headerLines(rollOver));
    return f;
}

bool isFileStream(FILE* f) { return f && f != stdout; }

// "[YYYY-MM-DD hh:mm:ss] [pid:tid] [LEVEL] "
std::string recordHead(const struct tm& tm, int level) {
    char day[16];
    std::strftime(day, sizeof day, "[%Y-%m-%d", &tm);
    char head[128];
    std::snprintf(head, sizeof head, "%s %02d:%02d:%02d] [%u:%lu] [%s] ", day, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<unsigned>(::getpid()), static_cast<unsigned long>(::pthread_self()), levelName(level));
    return head;
}

std::string vformat(const char* fmt, va_list args) {
    if (!fmt) return {};
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    std::vsnprintf(out.data(), out.size() + 1, fmt, args);
    return out;
}

// Writes one finished record (already known to be wanted). Called under gMutex.
int writeRecord(const std::string& text, const struct tm& tm) {
    if (g_loginfo.mode == VCL_LOG_MODE_STDOUT) {
        if (!g_corelogfp) return -1;  // closed
        writeAll(stdout, text);
        return 0;
    }
    if (!g_corelogfp) return -1;
    const int lockFd = g_lock_fd;
    if (VCL_LockWait(lockFd) != 0) return -1;
    const std::string today = dateOf(tm);
    if (isFileStream(g_corelogfp) && today != g_log_open_date) {
        std::fclose(g_corelogfp);
        g_corelogfp = nullptr;
        if (!pathFits(g_loginfo.dir, g_loginfo.prefix, today)) {
            VCL_LockRelease(lockFd);
            return -1;
        }
        const std::string path = logPath(g_loginfo.dir, g_loginfo.prefix, today);
        g_corelogfp = openLogFile(path, true);
        if (!g_corelogfp) {
            std::printf("fopen fail : logfilename[%s] \n", path.c_str());
            std::fflush(stdout);
            VCL_LockRelease(lockFd);
            return -1;
        }
        std::snprintf(g_log_open_date, sizeof g_log_open_date, "%s", today.c_str());
    }
    writeAll(g_corelogfp, text);
    VCL_LockRelease(lockFd);
    return 0;
}

bool wanted(int level) {
    return g_loginfo.level >= level && (g_loginfo.mode == VCL_LOG_MODE_FILE || g_loginfo.mode == VCL_LOG_MODE_STDOUT);
}

int vlog(int level, const char* file, int line, const char* fmt, va_list args) {
    std::lock_guard<std::mutex> lock(gMutex);
    if (!wanted(level)) return -1;
    const struct tm tm = localNow();
    std::string text = recordHead(tm, level);
    text += "[";
    text += vformat(fmt, args);
    text += "]";
    if (file && line != 0) {
        char pos[32];
        std::snprintf(pos, sizeof pos, "-%d)\n", line);
        text += "(";
        text += file;
        text += pos;
    } else {
        text += "\n";
    }
    return writeRecord(text, tm);
}

}  // namespace

void zcore::appendHexDump(std::string& out, const unsigned char* data, int len) {
    out += kDumpRule;
    out += "                 1  2  3  4  5  6  7  8  9  0  A  B  C  D  E  F\n";
    out += kDumpRule;
    if (!data || len < 0) len = 0;
    char cell[32];
    for (int offset = 0; offset < len; offset += 16) {
        std::snprintf(cell, sizeof cell, "%07u-%07u ", static_cast<unsigned>(offset),
                      static_cast<unsigned>(offset + 15));
        out += cell;
        for (int i = 0; i < 16; ++i) {
            if (offset + i < len) {
                std::snprintf(cell, sizeof cell, "%02X ", data[offset + i]);
                out += cell;
            } else {
                out += "   ";
            }
        }
        for (int i = 0; i < 16 && offset + i < len; ++i) {
            const unsigned char c = data[offset + i];
            out += (c >= 0x20 && c <= 0x7E) ? static_cast<char>(c) : '.';
        }
        out += "\n";
    }
}

extern "C" {

VCL_API int VCL_LockInit(void) {
    const char* dir = std::getenv("TMPDIR");
    if (!dir || !*dir) dir = "/tmp";
    int fd = ::open(dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::string name = std::string(dir) + "/zuncore-lock-XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) return -1;
        ::unlink(name.c_str());
    }
    // 0 means "no lock" to callers, and 0-2 belong to the standard streams
    // even when a daemon has closed them.
    if (fd < 3) {
        const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        ::close(fd);
        fd = high;
    }
    return fd;
}

VCL_API int VCL_LockWait(int fd) {
    if (fd <= 0) return -1;  // 0 is "no lock", never standard input
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    int rc;
    do {
        rc = ::fcntl(fd, F_SETLKW, &lock);
    } while (rc == -1 && errno == EINTR);
    return rc;
}

VCL_API int VCL_LockRelease(int fd) {
    struct flock lock {};
    lock.l_type = F_UNLCK;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, F_SETLK, &lock);
}

VCL_API int VCL_LockClear(int fd) { return fd > 0 ? ::close(fd) : 0; }

VCL_API void VCL_String_free(void* p) { std::free(p); }

VCL_API int VCL_Log_Init(const char* dir, const char* prefix, int level, int mode) {
    std::lock_guard<std::mutex> lock(gMutex);
    const char m = static_cast<char>(mode);
    if (level == VCL_LOG_OFF || (m != VCL_LOG_MODE_FILE && m != VCL_LOG_MODE_STDOUT)) {
        std::memset(&g_loginfo, 0, sizeof g_loginfo);
        g_loginfo.mode = m;
        g_loginfo.level = level;
        return 0;
    }
    if (m == VCL_LOG_MODE_STDOUT) {
        if (isFileStream(g_corelogfp)) std::fclose(g_corelogfp);
        std::memset(&g_loginfo, 0, sizeof g_loginfo);
        g_loginfo.mode = m;
        g_loginfo.level = level;
        g_corelogfp = stdout;
        return 0;
    }
    // Mode 'F': everything is checked before anything changes.
    if (!dir || !prefix) return -1;
    const std::string today = dateOf(localNow());
    if (!pathFits(dir, prefix, today)) return -1;
    if (g_lock_fd <= 0) {
        const int fd = VCL_LockInit();
        if (fd < 0) {
            std::printf("VCL_LOGInit : VCL_LockInit  fail");
            std::fflush(stdout);
            return -1;
        }
        g_lock_fd = fd;
    }
    if (!isFileStream(g_corelogfp)) {
        if (VCL_LockWait(g_lock_fd) != 0) return -1;
        FILE* f = openLogFile(logPath(dir, prefix, today), false);
        VCL_LockRelease(g_lock_fd);
        if (!f) return -1;
        g_corelogfp = f;
    }
    std::memset(&g_loginfo, 0, sizeof g_loginfo);
    std::snprintf(g_loginfo.dir, sizeof g_loginfo.dir, "%s", dir);
    std::snprintf(g_loginfo.prefix, sizeof g_loginfo.prefix, "%s", prefix);
    g_loginfo.level = level;
    g_loginfo.mode = m;
    std::snprintf(g_log_open_date, sizeof g_log_open_date, "%s", today.c_str());
    return 0;
}

VCL_API int VCL_LogInit(const char* dir, const char* prefix, int level) {
    return VCL_Log_Init(dir, prefix, level, VCL_LOG_MODE_FILE);
}

VCL_API int VCL_Log(int level, const char* src_file, int src_line, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const int rc = vlog(level, src_file, src_line, fmt, args);
    va_end(args);
    return rc;
}

VCL_API int VCL_log(int level, const char* fmt, ...) {
    char text[kShortMessage];
    text[0] = '\0';
    va_list args;
    va_start(args, fmt);
    if (fmt) std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    return VCL_Log(level, nullptr, 0, "%s", text);
}

VCL_API int VCL_Log_HEXA(int level, const char* src_file, int src_line, const char* title, const unsigned char* data,
                         int data_len) {
    std::lock_guard<std::mutex> lock(gMutex);
    if (!wanted(level)) return -1;
    const struct tm tm = localNow();
    std::string text = recordHead(tm, level);
    if (src_file && src_line != 0) {
        char pos[32];
        std::snprintf(pos, sizeof pos, "-%d)", src_line);
        text += "(";
        text += src_file;
        text += pos;
    }
    text += "[";
    text += title ? title : "";
    text += "]\n";
    zcore::appendHexDump(text, data, data_len);
    text += zcore::kDumpRule;
    return writeRecord(text, tm);
}

VCL_API VCL_LOG_CONFIG* VCL_setLogLevel(int level) {
    int old;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        old = g_loginfo.level;
    }
    VCL_Log(VCL_LOG_DEBUG, nullptr, 0, "LogLevel Change [ %d => %d ]", old, level);
    std::lock_guard<std::mutex> lock(gMutex);
    g_loginfo.level = level;
    return &g_loginfo;
}

VCL_API void VCL_LogClose(void) {
    std::lock_guard<std::mutex> lock(gMutex);
    if (g_lock_fd > 0) VCL_LockClear(g_lock_fd);
    g_lock_fd = 0;
    if (isFileStream(g_corelogfp)) std::fclose(g_corelogfp);
    g_corelogfp = nullptr;
}

VCL_API int VCL_HexaDump(FILE* f, const unsigned char* data, int len) {
    if (!f) f = stdout;
    std::string text;
    zcore::appendHexDump(text, data, len);
    std::fwrite(text.data(), 1, text.size(), f);
    return std::fputs(zcore::kDumpRule, f) < 0 ? -1 : static_cast<int>(std::strlen(zcore::kDumpRule));
}

}  // extern "C"
