#include "DMLinuxProcess.h"

#include <curl/curl.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/DMLinuxLog.h"

namespace {

bool g_curlInitialised = false;

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

bool isPositiveNumber(const char* s) {
    if (*s == '\0') return false;
    for (; *s != '\0'; ++s)
        if (*s < '0' || *s > '9') return false;
    return true;
}

// The argument array of argv, made before a fork: a child of a process with
// other threads must not allocate before it execs.
std::vector<char*> argArray(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    return args;
}

// execvp in an already forked child; never returns.
[[noreturn]] void execChild(char* const* args, bool quiet) {
    if (quiet) {
        int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) {
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
        }
    }
    ::execvp(args[0], args);
    ::_exit(127);
}

// In a forked child that is waited for: nothing it runs can wait on a
// terminal (certutil asking for a password reads /dev/tty, and without one
// loops for ever), and it ends with the caller. False when the caller has
// already gone.
bool confineChild(pid_t parent) {
    ::setsid();
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) return false;
    int null = ::open("/dev/null", O_RDONLY);
    if (null >= 0 && null != STDIN_FILENO) {
        ::dup2(null, STDIN_FILENO);
        ::close(null);
    }
    return true;
}

// Reaps pid; kills it first when it runs past limitMs. False on a timeout
// or when it cannot be waited for.
bool waitWithLimit(pid_t pid, const char* name, int limitMs, int& status) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    useconds_t pause = 500;
    for (;;) {
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return true;
        if (r < 0 && errno != EINTR) return false;
        if (std::chrono::steady_clock::now() >= deadline) {
            DMLOG("[ERR] %s did not end within %d ms and is killed\n", name, limitMs);
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return false;
        }
        ::usleep(pause);
        pause = std::min<useconds_t>(pause * 2, 20000);
    }
}

// The words of a process's command line (at most kCmdlineMax bytes of it).
constexpr size_t kCmdlineMax = 16384;
std::vector<std::string> readCmdline(const std::string& path) {
    std::vector<std::string> words;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return words;
    std::string text;
    char buf[4096];
    ssize_t n;
    while (text.size() < kCmdlineMax && (n = ::read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
    ::close(fd);
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\0', at);
        if (end == std::string::npos) end = text.size();
        words.emplace_back(text, at, end - at);
        at = end + 1;
    }
    return words;
}

bool isTaskOption(char letter) { return letter == 'I' || letter == 'D' || letter == 'N'; }

}  // namespace

int DMLinuxUtil_InitCURL() {
    if (!g_curlInitialised) {
        curl_global_init(CURL_GLOBAL_ALL);
        g_curlInitialised = true;
    }
    return 0;
}

void DMLinuxUtil_CleanupCURL() {
    if (g_curlInitialised) {
        curl_global_cleanup();
        g_curlInitialised = false;
    }
}

int DMLinuxUtil_CheckProcess(const char* pattern) {
    if (pattern == nullptr) return 0;
    DirPtr dir(::opendir("/proc"));
    if (!dir) {
        DMLOG("err: NO_DIR\n");
        return 0;
    }
    while (struct dirent* entry = ::readdir(dir.get())) {
        if (entry->d_type != DT_DIR || !isPositiveNumber(entry->d_name)) continue;
        std::string path = std::string("/proc/") + entry->d_name + "/status";
        FILE* f = std::fopen(path.c_str(), "r");
        if (f == nullptr) continue;
        char line[128] = "";
        bool got = std::fgets(line, sizeof line, f) != nullptr;
        std::fclose(f);
        if (got && std::strstr(line, pattern) != nullptr) {
            int pid = std::atoi(entry->d_name);
            return pid == 0 ? 1 : pid;
        }
    }
    return 0;
}

DMDecidingOption DMLinuxUtil_DecidingOption(const std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word.size() < 2 || word[0] != '-') continue;
        switch (word[1]) {
            case 'I':
            case 'D':
            case 'N':
            case 'A':
            case 'S':
            case 'V':
                return {word[1], i};
            case 'H':
                ++i;
                break;
            default:
                break;
        }
    }
    return {'\0', args.size()};
}

std::vector<int> DMLinuxUtil_FindProcessesIn(const char* procRoot, const char* programPath, unsigned uid,
                                             bool* readable) {
    std::vector<int> pids;
    if (readable != nullptr) *readable = false;
    if (procRoot == nullptr || programPath == nullptr) return pids;
    DirPtr dir(::opendir(procRoot));
    if (!dir) return pids;
    if (readable != nullptr) *readable = true;
    while (struct dirent* entry = ::readdir(dir.get())) {
        if (!isPositiveNumber(entry->d_name)) continue;
        std::string base = std::string(procRoot) + "/" + entry->d_name;
        struct stat st {};
        if (::stat(base.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        // Another user's agent is not ours to count.
        if (st.st_uid != uid) continue;
        std::vector<std::string> words = readCmdline(base + "/cmdline");
        // argv[0] must be the program path itself, not a longer name that
        // merely begins with it.
        if (words.empty() || words[0] != programPath) continue;
        words.erase(words.begin());
        if (isTaskOption(DMLinuxUtil_DecidingOption(words).letter)) continue;
        pids.push_back(std::atoi(entry->d_name));
    }
    return pids;
}

int DMLinuxUtil_CheckProcessCmdlineIn(const char* procRoot, const char* programPath, unsigned uid) {
    bool readable = false;
    auto pids = DMLinuxUtil_FindProcessesIn(procRoot, programPath, uid, &readable);
    // The caller itself is one of them.
    if (!readable || pids.size() > 1) return -1;
    DMLOG("[NOT] main, checkSameProcess() check OK.");
    return 1;
}

int DMLinuxUtil_LockStart() {
    // The program file itself: every start of this installation opens the
    // same one, and it needs no place of its own to be written.
    int fd = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    // Held only from the check to the fork, so a longer wait means a holder
    // that hangs; then the check goes on without it.
    for (int waited = 0; waited < 5000; waited += 10) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
        if (errno != EWOULDBLOCK && errno != EINTR) break;
        ::usleep(10000);
    }
    DMLOG("[WAR] start lock not taken, checking for another agent without it\n");
    ::close(fd);
    return -1;
}

int DMLinuxUtil_CheckProcessCmdline(const char* programPath) {
    return DMLinuxUtil_CheckProcessCmdlineIn("/proc", programPath, ::getuid());
}

int DMLinuxUtil_LockRegistration() {
    if (!DMLinuxUtil_HasUserHOMEDir()) return -1;
    // The home directory itself: one per user, and nothing to create for it.
    int fd = ::open(DMLinuxUtil_GetUserHOMEDir(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    int r = ::flock(fd, LOCK_EX | LOCK_NB);
    if (r != 0 && errno == EWOULDBLOCK) {
        // The other run may be waiting on its user (the Firefox question).
        std::fprintf(stderr, "waiting for another %s -I or -D of this user to finish\n", kDMProgramName);
        while ((r = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
    }
    if (r == 0) return fd;
    DMLOG("[WAR] registration lock not taken (%s), going on without it\n", std::strerror(errno));
    ::close(fd);
    return -1;
}

int DMLinuxUtil_SystemCall(const std::vector<std::string>& argv, bool wait, bool quiet, int limitMs) {
    if (argv.empty() || argv[0].empty()) return -1;
    std::vector<char*> args = argArray(argv);
    const pid_t parent = ::getpid();
    pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (!wait) {
            // Detach: the grandchild is reparented to init, so nobody has
            // to reap it and it outlives us.
            ::setsid();
            pid_t grandchild = ::fork();
            if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
        } else if (!confineChild(parent)) {
            ::_exit(127);
        }
        execChild(args.data(), quiet);
    }
    int status = 0;
    if (!wait) {
        while (::waitpid(pid, &status, 0) < 0) {
            if (errno != EINTR) return -1;
        }
        return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : -1;
    }
    if (!waitWithLimit(pid, argv[0].c_str(), limitMs, status)) return -1;
    // 127 is the exit code of a child that could not exec.
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int DMLinuxUtil_StartSelf() {
    // The program forks its daemon and its first process ends; waiting for
    // that leaves the daemon in /proc for whoever looks next.
    std::string program = std::string(DMLinuxUtil_GetInstallDir()) + "/" + kDMProgramName;
    return DMLinuxUtil_SystemCall({program, "-S"}, true) == 0 ? 0 : -1;
}

std::vector<int> DMLinuxUtil_FindProcessesByName(const char* name) {
    std::vector<int> pids;
    if (name == nullptr) return pids;
    DirPtr dir(::opendir("/proc"));
    if (!dir) return pids;
    const std::string wanted = std::string("Name:\t") + name + "\n";
    while (struct dirent* entry = ::readdir(dir.get())) {
        if (!isPositiveNumber(entry->d_name)) continue;
        std::string base = std::string("/proc/") + entry->d_name;
        struct stat st {};
        if (::stat(base.c_str(), &st) != 0 || st.st_uid != ::getuid()) continue;
        FILE* f = std::fopen((base + "/status").c_str(), "r");
        if (f == nullptr) continue;
        char line[128] = "";
        bool got = std::fgets(line, sizeof line, f) != nullptr;
        std::fclose(f);
        if (got && wanted == line) pids.push_back(std::atoi(entry->d_name));
    }
    return pids;
}

int DMLinuxUtil_TerminateProcesses(const std::vector<int>& pids, int graceMs) {
    auto alive = [](int pid) {
        // A zombie has ended; only its parent can still reap it.
        std::string path = "/proc/" + std::to_string(pid) + "/stat";
        FILE* f = std::fopen(path.c_str(), "r");
        if (f == nullptr) return false;
        char buf[512] = "";
        size_t n = std::fread(buf, 1, sizeof buf - 1, f);
        std::fclose(f);
        buf[n] = '\0';
        const char* close = std::strrchr(buf, ')');
        return !(close != nullptr && close[1] == ' ' && (close[2] == 'Z' || close[2] == 'X'));
    };
    std::vector<int> left;
    for (int pid : pids)
        if (pid > 0 && pid != ::getpid() && ::kill(pid, SIGTERM) == 0) left.push_back(pid);
    for (int waited = 0; !left.empty() && waited < graceMs; waited += 50) {
        ::usleep(50000);
        std::erase_if(left, [&](int pid) { return !alive(pid); });
    }
    // What would not end in time is ended without asking.
    for (int pid : left) ::kill(pid, SIGKILL);
    return static_cast<int>(left.size());
}

int DMLinuxUtil_KillProcess(const char* name) {
    if (name == nullptr || *name == '\0') return -1;
    DMLinuxUtil_TerminateProcesses(DMLinuxUtil_FindProcessesByName(name), kDMKillGraceMs);
    return 0;
}

int DMLinuxUtil_KillProcessID(int pid) {
    if (pid <= 0) return -1;
    ::kill(pid, SIGTERM);
    return 0;
}

int DMLinuxUtil_IsUserWritableDir(const char* path) {
    struct stat st {};
    if (path == nullptr || ::stat(path, &st) != 0 || !S_ISDIR(st.st_mode)) return 0;
    if (st.st_uid != ::getuid()) return 0;
    return (st.st_mode & S_IRUSR) && (st.st_mode & S_IWUSR) ? 1 : 0;
}

std::string DMLinuxUtil_AutostartEntry() {
    const std::string dir = DMLinuxUtil_GetInstallDir();
    return "[Desktop Entry]\nType=Application\nExec=" + dir + "/" + kDMProgramName + " -A\nIcon=" + dir +
           "/Resources/Icon_Stye_Guidelines(ios_57).png\nHidden=false\nNoDisplay=true\n"
           "X-GNOME-Autostart-enabled=true\nName=ZEPHALTQuilletEX\nComment=ZEPHALTQuilletEX handler\n";
}

int DMLinuxUtil_Regist_autostart() {
    if (!DMLinuxUtil_HasUserHOMEDir()) {
        std::fprintf(stderr, "err: NO_DIR\n");
        return -1;
    }
    const std::string config = std::string(DMLinuxUtil_GetUserHOMEDir()) + "/.config";
    {
        DirPtr dir(::opendir(config.c_str()));
        if (!dir) {
            std::fprintf(stderr, "err: NO_DIR\n");
            return -1;
        }
    }
    if (!DMLinuxUtil_IsUserWritableDir(config.c_str())) {
        std::fprintf(stderr, "error: Can not write to directory. (%s)\n", config.c_str());
        return -1;
    }
    const std::string autostart = config + "/autostart";
    struct stat st {};
    if (::lstat(autostart.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode) || !DMLinuxUtil_IsUserWritableDir(autostart.c_str())) {
            std::fprintf(stderr, "error: Can not write to directory. (%s)\n", autostart.c_str());
            return -1;
        }
    } else if (::mkdir(autostart.c_str(), 0700) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "error: Can not write to directory. (%s)\n", autostart.c_str());
        return -1;
    }
    const std::string entry = autostart + "/" + kDMProgramName + ".desktop";
    return DMLinuxUtil_WriteFileAtomic(entry, DMLinuxUtil_AutostartEntry(), 0644);
}
