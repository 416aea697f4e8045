// A small program the log and time tests run in child processes: under
// faketime, with other time zones, and as forked writers of one log.
//   core_test_helper roll <dir>             a record before and after local midnight
//   core_test_helper writers <dir> <n>      two forked processes write n records each
//   core_test_helper valid                  VCL_IsValidDate over windows around now
//   core_test_helper ntp <port>             the network-time offset from 127.0.0.1:port
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <zunCore/log.h>
#include <zunCore/ntp.h>
#include <zunCore/util.h>

namespace {

std::string gmtText(time_t t) {
    struct tm tm {};
    gmtime_r(&t, &tm);
    char out[16];
    std::strftime(out, sizeof out, "%Y%m%d%H%M%S", &tm);
    return out;
}

int roll(const char* dir) {
    if (VCL_Log_Init(dir, "roll", VCL_LOG_DEBUG, 'F') != 0) return 2;
    VCL_Log(VCL_LOG_NORMAL, "helper", 1, "before midnight");
    struct tm start {};
    time_t now = time(nullptr);
    localtime_r(&now, &start);
    for (int i = 0; i < 200; ++i) {  // at most 20 s
        usleep(100000);
        now = time(nullptr);
        struct tm tm {};
        localtime_r(&now, &tm);
        if (tm.tm_mday != start.tm_mday) break;
    }
    VCL_Log(VCL_LOG_NORMAL, "helper", 2, "after midnight");
    VCL_LogClose();
    return 0;
}

int writers(const char* dir, int n) {
    if (VCL_Log_Init(dir, "writers", VCL_LOG_DEBUG, 'F') != 0) return 2;
    const std::string padding(300, 'x');  // records longer than a pipe's atomic write
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        if (children[c] == 0) {
            for (int i = 0; i < n; ++i)
                VCL_Log(VCL_LOG_NORMAL, "writer", c + 1, "child %d record %d %s end", c, i, padding.c_str());
            _exit(0);
        }
    }
    int ok = 0;
    for (pid_t child : children) {
        int status = 0;
        if (waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0) ++ok;
    }
    VCL_LogClose();
    return ok == 2 ? 0 : 3;
}

// One line per window: its offsets from now in minutes and the answer.
int valid() {
    const time_t now = time(nullptr);
    const int windows[][2] = {{-30, 30}, {30, 90}, {-90, -30}, {-1, 0}, {0, 1}};
    for (const auto& w : windows) {
        const std::string from = gmtText(now + w[0] * 60);
        const std::string to = gmtText(now + w[1] * 60);
        std::printf("%d %d %d\n", w[0], w[1], VCL_IsValidDate(from.c_str(), to.c_str()));
    }
    return 0;
}

// The offset VCL_NTP_Init sets, as a line; the query's code on failure.
int ntp(int port) {
    const int rc = VCL_NTP_Init("127.0.0.1", port);
    if (rc != 0) {
        std::printf("failed %x\n", static_cast<unsigned>(rc));
        return 2;
    }
    std::printf("%d\n", g_gap_with_ntp);
    VCL_NTP_Close();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "roll") == 0) return roll(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "writers") == 0) return writers(argv[2], std::atoi(argv[3]));
    if (argc == 2 && std::strcmp(argv[1], "valid") == 0) return valid();
    if (argc == 3 && std::strcmp(argv[1], "ntp") == 0) return ntp(std::atoi(argv[2]));
    std::fprintf(stderr, "usage: core_test_helper roll <dir> | writers <dir> <n> | valid | ntp <port>\n");
    return 1;
}
