// The agent program: a per-user daemon that hands web pages' jobs to the
// job side on its main thread.
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "DMLinuxLog.h"
#include "DMLinuxQuilletConnector.h"
#include "DMLinuxUtil.h"
#include "server/DMServerWrapper.h"

namespace {

CDMLinuxQuilletConnector* g_quilletInstance = nullptr;
int g_checkSingleInstance = 1;

const unsigned short kServerPorts[] = {15888, 16888, 17888};

// The server thread: serves until the server is stopped.
void* server_thread(void* arg)
{
    auto* quillet = static_cast<IQuillet*>(arg);
    unsigned short chosenPort = 0;
    int r = DMServerWrapper_StartServer(quillet, kServerPorts, 3, chosenPort);
    DMLOG("[NOT] command server ended (%d)\n", r);
    return nullptr;
}

void start_server_thread(IQuillet* quillet)
{
    pthread_t thread;
    if (pthread_create(&thread, nullptr, server_thread, quillet) != 0) {
        DMLOG("[ERR] cannot start the server thread\n");
        return;
    }
    pthread_detach(thread);
}

// A daemon keeps no terminal streams: whoever started it (a shell, a pipe
// reader) must not wait on them. Standard output stays only when the log
// is meant to go there.
void detach_standard_streams()
{
    int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0)
        return;
    ::dup2(null, STDIN_FILENO);
    if (DMLinuxLog_GetLogType() != DMLOG_STDOUT)
        ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    if (null > STDERR_FILENO)
        ::close(null);
}

enum ParseResult { kStart = 0, kRegistered = 1, kDeleted = 2, kPrintedHome = 3, kNothing = 100 };

int parse_args(int argc, char** argv)
{
    if (argc <= 1)
        return kStart;
    for (int i = 1; i < argc; ++i) {
        const char* word = argv[i];
        if (word[0] != '-')
            continue;
        switch (word[1]) {
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
        case 'H':
            if (i + 1 < argc) {
                ++i;
                const char* home = DMLinuxUtil_SetUserHOMEDir(argv[i]);
                std::fprintf(stderr, "USER HOME = %s\n", home);
            }
            break;
        default:
            break;
        }
    }
    return kNothing;
}

}  // namespace

int main(int argc, char** argv)
{
    DMLinuxUtil_Initialize();
    DMLinuxLog_Initialize();

    if (parse_args(argc, argv) > 0)
        return 0;

    if (g_checkSingleInstance && DMLinuxUtil_CheckProcessCmdline(argv[0]) <= 0)
        return 0;

    pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid > 0)
        return 0;

    detach_standard_streams();
    if (::chdir(DMLinuxUtil_GetInstallDir()) != 0)
        DMLOG("[WAR] cannot change to %s\n", DMLinuxUtil_GetInstallDir());

    g_quilletInstance = new CDMLinuxQuilletConnector(&argc, &argv);

    DMLinuxUtil_InitLibGTK(&argc, &argv);
    DMLinuxUtil_InitCURL();
    g_quilletInstance->SetProcessName(argv[0]);

    start_server_thread(g_quilletInstance);

    g_quilletInstance->ProcessQuilletJob();

    DMLinuxUtil_CleanupCURL();
    return 0;
}
