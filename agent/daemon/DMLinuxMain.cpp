// The agent program: a per-user daemon that serves web pages' commands on
// the loopback port and runs their jobs on its main thread; or, with -I, -D
// and -N, a one-off installer task.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/DMLinuxLog.h"
#include "DMLinuxQuilletConnector.h"
#include "DMLinuxRootCert.h"
#include "DMLinuxProcess.h"
#include "server/DMServerWrapper.h"

namespace {

CDMLinuxQuilletConnector* g_quilletInstance = nullptr;
int g_checkSingleInstance = 1;
// Set when an installer task failed; the process then ends with 1.
bool g_taskFailed = false;

const unsigned short kServerPorts[] = {15888, 16888, 17888};

// In alphabetical order of their names.
const int kSignalTable[] = {SIGABRT, SIGALRM, SIGBUS,  SIGFPE,  SIGHUP,  SIGILL,    SIGINT,    SIGIO,   SIGPIPE,
                            SIGPOLL, SIGPROF, SIGPWR,  SIGQUIT, SIGSEGV, SIGSTKFLT, SIGSYS,    SIGTERM, SIGTRAP,
                            SIGTSTP, SIGTTIN, SIGTTOU, SIGURG,  SIGUSR1, SIGUSR2,   SIGVTALRM, SIGXCPU};

// The signals that end the daemon in order, taken by the signal thread.
sigset_t g_stopSignals;

enum ParseResult { kStart = 0, kRegistered = 1, kDeleted = 2, kPrintedHome = 3, kNothing = 100 };

void* server_thread(void* arg) {
    auto* quillet = static_cast<IQuillet*>(arg);
    unsigned short chosenPort = 0;
    int r = DMServerWrapper_StartServer(quillet, kServerPorts, 3, chosenPort);
    DMLOG("[NOT] command server ended (%d)\n", r);
    return nullptr;
}

void start_server_thread(IQuillet* quillet) {
    pthread_t thread;
    if (pthread_create(&thread, nullptr, server_thread, quillet) != 0) {
        DMLOG("[ERR] cannot start the server thread\n");
        return;
    }
    pthread_detach(thread);
}

// Runs on the signal thread, never in signal context, so it may lock and
// log like any other code. The connector is not deleted: the job loop on
// the main thread may be using it, and the process ends right here.
[[noreturn]] void sig_handler(int sig) {
    DMLOG("=================================\n");
    DMLOG("=================================\n");
    DMLOG("I GOT SIGNAL!!!!! PID : %d (%d)\n", static_cast<int>(getpid()), sig);
    DMServerWrapper_StopServer();
    DMLinuxLog_LogPrintf("[%s:%d(%d)]\n[APP_EXIT][%s:%s:%d] %d\n", __FILE_NAME__, __LINE__, static_cast<int>(getpid()),
                         __FILE_NAME__, "sig_handler", __LINE__, -1);
    ::usleep(1000);
    ::_exit(-1);
}

void* signal_thread(void*) {
    for (;;) {
        int sig = 0;
        if (sigwait(&g_stopSignals, &sig) == 0) sig_handler(sig);
    }
    return nullptr;
}

bool isFaultSignal(int sig) {
    switch (sig) {
        case SIGABRT:
        case SIGBUS:
        case SIGFPE:
        case SIGILL:
        case SIGSEGV:
        case SIGSYS:
        case SIGTRAP:
            return true;
        default:
            return false;
    }
}

// SIGPIPE is ignored (a peer that goes away must not end the daemon). The
// faults keep their default action: they concern the faulting thread and
// cannot be waited for. SIGURG keeps its default too (ignored): any local
// process could raise it by sending urgent data to our socket. All others
// are blocked in every thread and taken by the signal thread. Call before
// any other thread starts, so they all inherit the mask.
int install_sig_handlers() {
    sigemptyset(&g_stopSignals);
    int index = 0;
    for (int sig : kSignalTable) {
        int failed = 0;
        if (sig == SIGPIPE)
            failed = ::signal(SIGPIPE, SIG_IGN) == SIG_ERR;
        else if (!isFaultSignal(sig) && sig != SIGURG)
            failed = sigaddset(&g_stopSignals, sig) != 0;
        if (failed) {
            DMLOG("can not cactch %d, (index : %d)\n", sig, index);
            return -1;
        }
        ++index;
    }
    if (pthread_sigmask(SIG_BLOCK, &g_stopSignals, nullptr) != 0) return -1;
    pthread_t thread;
    if (pthread_create(&thread, nullptr, signal_thread, nullptr) != 0) {
        // Nobody would take them: blocked, a stop request would stay pending
        // for ever. Their default actions still end the process.
        pthread_sigmask(SIG_UNBLOCK, &g_stopSignals, nullptr);
        DMLOG("[ERR] cannot start the signal thread\n");
        return -1;
    }
    pthread_detach(thread);
    return 0;
}

// A daemon keeps no terminal streams: whoever started it (a shell, a pipe
// reader) must not wait on them. Standard output stays only when the log
// is meant to go there.
void detach_standard_streams() {
    int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0) return;
    ::dup2(null, STDIN_FILENO);
    if (DMLinuxLog_GetLogType() != DMLOG_STDOUT) ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    if (null > STDERR_FILENO) ::close(null);
}

// Held while it lives.
class FdLock {
public:
    explicit FdLock(int fd) : m_fd(fd) {}
    ~FdLock() {
        if (m_fd >= 0) ::close(m_fd);
    }
    FdLock(const FdLock&) = delete;
    FdLock& operator=(const FdLock&) = delete;

private:
    int m_fd;
};

// -I: register the root, write the autostart entry, and (re)start the agent
// so that it serves with this installation's certificate. Another -I or -D
// of the user waits: two at once made the same database twice and ended
// each other.
void install_for_user(int* argc, char*** argv) {
    FdLock registration(DMLinuxUtil_LockRegistration());
    int gtk = DMLinuxUtil_InitLibGTK(argc, argv);
    // Without a display nobody can be asked; a running Firefox is left alone.
    if (Regist_RootCert(gtk == 0 ? 1 : 0) != 0) g_taskFailed = true;
    if (DMLinuxUtil_Regist_autostart() != 0) g_taskFailed = true;
    // Under the start lock, so that an agent starting meanwhile either is
    // ended here or finds ours.
    FdLock start(DMLinuxUtil_LockStart());
    const std::string program = std::string(DMLinuxUtil_GetInstallDir()) + "/" + kDMProgramName;
    DMLinuxUtil_TerminateProcesses(DMLinuxUtil_FindProcessesIn("/proc", program.c_str(), ::getuid()), kDMKillGraceMs);
    if (DMLinuxUtil_StartSelf() != 0) {
        std::fprintf(stderr, "error: cannot start %s\n", program.c_str());
        g_taskFailed = true;
    }
}

void delete_for_user() {
    FdLock registration(DMLinuxUtil_LockRegistration());
    if (Delete_RootCert() != 3) g_taskFailed = true;
}

int parse_args(int* argc, char*** argv) {
    if (*argc <= 1) return kStart;
    const std::vector<std::string> args(*argv + 1, *argv + *argc);
    const DMDecidingOption decided = DMLinuxUtil_DecidingOption(args);
    // Each "-H" before the deciding option replaces the home it works in.
    for (size_t i = 0; i < decided.index; ++i) {
        if (args[i].size() < 2 || args[i][0] != '-' || args[i][1] != 'H') continue;
        if (++i >= args.size()) {
            std::fprintf(stderr, "-H needs a directory\n");
            break;
        }
        if (args[i].size() > kDMHomeDirMax) {
            std::fprintf(stderr, "home directory longer than %zu characters ignored\n", kDMHomeDirMax);
            continue;
        }
        std::fprintf(stderr, "USER HOME = %s\n", DMLinuxUtil_SetUserHOMEDir(args[i].c_str()));
    }
    switch (decided.letter) {
        case 'I':
            install_for_user(argc, argv);
            return kRegistered;
        case 'D':
            delete_for_user();
            return kDeleted;
        case 'N':
            std::fputs(DMLinuxUtil_GetUserHOMEDir(), stdout);
            return kPrintedHome;
        case 'A':
            return kStart;
        case 'S':
            g_checkSingleInstance = 0;
            return kStart;
        case 'V':
            std::printf("ZEPHALT Quillet EX version %s (%s %s)\n", kDMVersion, __DATE__, __TIME__);
            return kStart;
        default:
            return kNothing;
    }
}

}  // namespace

int main(int argc, char** argv) {
    DMLinuxUtil_Initialize();
    DMLinuxLog_Initialize();

    if (parse_args(&argc, &argv) > 0) return g_taskFailed ? 1 : 0;

    // The lock stays held over the fork (parent and daemon share it), so a
    // start waiting for it finds the daemon when it checks.
    int startLock = -1;
    if (g_checkSingleInstance) {
        startLock = DMLinuxUtil_LockStart();
        if (DMLinuxUtil_CheckProcessCmdline(argv[0]) <= 0) return 0;
    }

    pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid > 0) return 0;
    if (startLock >= 0) ::close(startLock);

    // Our own session: closing the terminal that started us ends nothing.
    ::setsid();
    detach_standard_streams();
    if (::chdir(DMLinuxUtil_GetInstallDir()) != 0) DMLOG("[WAR] cannot change to %s\n", DMLinuxUtil_GetInstallDir());

    install_sig_handlers();

    g_quilletInstance = new CDMLinuxQuilletConnector(&argc, &argv);
    if (g_quilletInstance->CheckIntegrity() != 0) {
        DMLinuxLog_LogPrintf("[%s:%d(%d)]\n[APP_EXIT][%s:%s:%d] %d\n", __FILE_NAME__, __LINE__,
                             static_cast<int>(getpid()), __FILE_NAME__, "main", __LINE__, -2);
        delete g_quilletInstance;
        g_quilletInstance = nullptr;
        return -2;
    }

    DMLinuxUtil_InitLibGTK(&argc, &argv);
    DMLinuxUtil_InitCURL();
    g_quilletInstance->SetProcessName(argv[0]);

    start_server_thread(g_quilletInstance);

    g_quilletInstance->ProcessQuilletJob();

    DMLinuxUtil_CleanupCURL();
    return 0;
}
