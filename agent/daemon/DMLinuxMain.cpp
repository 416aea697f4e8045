// The agent program: a per-user daemon that hands web pages' jobs to the
// job side on its main thread.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "DMLinuxLog.h"
#include "DMLinuxQuilletConnector.h"
#include "DMLinuxUtil.h"

namespace {

CDMLinuxQuilletConnector* g_quilletInstance = nullptr;
int g_checkSingleInstance = 1;

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

    if (::chdir(DMLinuxUtil_GetInstallDir()) != 0)
        DMLOG("[WAR] cannot change to %s\n", DMLinuxUtil_GetInstallDir());

    g_quilletInstance = new CDMLinuxQuilletConnector(&argc, &argv);

    DMLinuxUtil_InitLibGTK(&argc, &argv);
    DMLinuxUtil_InitCURL();
    g_quilletInstance->SetProcessName(argv[0]);

    g_quilletInstance->ProcessQuilletJob();

    DMLinuxUtil_CleanupCURL();
    return 0;
}
