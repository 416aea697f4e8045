#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "daemon/DMLinuxRootCert.h"
#include "daemon/DMLinuxProcess.h"

namespace {

using namespace std::chrono_literals;

std::string section(int n, const std::string& relative, const std::string& path) {
    return "[Profile" + std::to_string(n) + "]\nName=p" + std::to_string(n) + "\nIsRelative=" + relative +
           "\nPath=" + path + "\n\n";
}

TEST(FirefoxProfiles, ListsRelativeAndAbsoluteProfiles) {
    zqtest::TempDir dir("zqff");
    const std::string ff = dir.path();
    struct Case {
        const char* name;
        std::string ini;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"relative and absolute",
         section(0, "1", "a.default") + section(1, "0", "/srv/p") + "[General]\nVersion=2\n",
         {ff + "/a.default", "/srv/p"}},
        {"path before IsRelative, CRLF lines", "[Profile0]\r\nPath=b.x\r\nIsRelative=1\r\n", {ff + "/b.x"}},
        {"value up to the first blank", section(0, "1", "c.y trailing"), {ff + "/c.y"}},
        {"a new section forgets the last one's facts", "[Profile0]\nIsRelative=1\n[Profile1]\nPath=d\n", {}},
        {"IsRelative other than 0 or 1", section(0, "2", "e"), {}},
        {"IsRelative=0 with a relative path", section(0, "0", "f"), {}},
        {"path longer than a profile path may be",
         section(0, "1", std::string(300, 'g')) + section(1, "1", "h"),
         {ff + "/h"}},
        // A line longer than the line buffer is skipped whole: its tail must
        // not be read as a line of its own.
        {"overlong line",
         "[Profile0]\nIsRelative=1\nName=" + std::string(2000, 'n') + "Path=evil\nPath=i\n",
         {ff + "/i"}},
    };
    for (const auto& c : cases) {
        zqtest::writeFile(ff + "/profiles.ini", c.ini);
        std::vector<std::string> paths;
        EXPECT_EQ(Get_FirefoxProfilePathsFrom(ff, paths), static_cast<int>(c.expected.size())) << c.name;
        EXPECT_EQ(paths, c.expected) << c.name;
    }

    std::string many;
    for (int i = 0; i < 40; ++i) many += section(i, "1", "p" + std::to_string(i));
    zqtest::writeFile(ff + "/profiles.ini", many);
    std::vector<std::string> paths;
    EXPECT_EQ(Get_FirefoxProfilePathsFrom(ff, paths), 32);
    EXPECT_EQ(paths.back(), ff + "/p31");

    EXPECT_EQ(Get_FirefoxProfilePathsFrom(ff + "/missing", paths), -1);
}

// A process named like Debian's Firefox, made from a copy of python.
class FakeFirefox {
public:
    FakeFirefox(const zqtest::TempDir& dir, bool ignoreTerm) {
        const std::string exe = dir / "firefox-esr";
        std::filesystem::copy_file(zqtest::kPython, exe, std::filesystem::copy_options::overwrite_existing);
        std::string code = std::string("import signal, time\n") +
                           (ignoreTerm ? "signal.signal(signal.SIGTERM, signal.SIG_IGN)\n" : "") +
                           "print('ready', flush=True)\ntime.sleep(60)\n";
        int out[2];
        EXPECT_EQ(::pipe(out), 0);
        m_pid = ::fork();
        EXPECT_GE(m_pid, 0);
        if (m_pid == 0) {
            ::dup2(out[1], 1);
            ::execl(exe.c_str(), exe.c_str(), "-c", code.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        // Until it has set up its signals and said so.
        std::string said;
        char buf[16];
        ssize_t n;
        while (said.find('\n') == std::string::npos && (n = ::read(out[0], buf, sizeof buf)) > 0)
            said.append(buf, static_cast<size_t>(n));
        EXPECT_EQ(said, "ready\n");
        ::close(out[0]);
    }
    ~FakeFirefox() {
        // Never kill(-1, ...): that is every process we may signal.
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    // The signal that ended it, 0 while it runs.
    int endedBy() {
        int status = 0;
        pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r != m_pid) return 0;
        m_pid = -1;
        return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
    }
    int pid() const { return m_pid; }

private:
    int m_pid = -1;
};

TEST(KillProcess, AsksFirstThenKills) {
    zqtest::TempDir dir("zqkill");
    {
        FakeFirefox polite(dir, false);
        EXPECT_EQ(DMLinuxUtil_FindProcessesByName("firefox-esr"), std::vector<int>{polite.pid()});
        EXPECT_EQ(DMLinuxUtil_FindProcessesByName("firefox"), std::vector<int>{});
        EXPECT_EQ(DMLinuxUtil_TerminateProcesses({polite.pid()}, 3000), 0);
        EXPECT_EQ(polite.endedBy(), SIGTERM);
    }
    {
        FakeFirefox stubborn(dir, true);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(DMLinuxUtil_TerminateProcesses({stubborn.pid()}, 300), 1);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(stubborn.endedBy(), SIGKILL);
    }
}

}  // namespace
