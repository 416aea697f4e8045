#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "TestSupport.h"
#include "daemon/DMLinuxProcess.h"

namespace {

TEST(HomeDir, TooLongIsRefusedAndThePreviousKept) {
    DMLinuxUtil_SetUserHOMEDir("/home/ok");
    std::string longest(kDMHomeDirMax, 'a');
    EXPECT_EQ(std::string(DMLinuxUtil_SetUserHOMEDir(longest.c_str())), longest);
    std::string tooLong(kDMHomeDirMax + 1, 'b');
    EXPECT_EQ(std::string(DMLinuxUtil_SetUserHOMEDir(tooLong.c_str())), longest);
    EXPECT_EQ(std::string(DMLinuxUtil_SetUserHOMEDir(nullptr)), longest);
}

TEST(HomeDir, TestsNeverSeeTheRealHome) {
    // CTest points QUILLETEX_HOME away from the real home.
    DMLinuxUtil_Initialize();
    EXPECT_STREQ(DMLinuxUtil_GetUserHOMEDir(), std::getenv("QUILLETEX_HOME"));
    EXPECT_STREQ(DMLinuxUtil_GetInstallDir(), std::getenv("QUILLETEX_INSTALL_DIR"));
}

// A process of the given uid whose argv[0] is argv0, followed by args when
// given (then a python that only sleeps); killed on destruction.
class FakeAgent {
public:
    FakeAgent(const std::string& argv0, uid_t uid, const std::vector<std::string>& args = {}) {
        std::vector<std::string> words = {argv0, "60"};
        const char* exe = "/bin/sleep";
        if (!args.empty()) {
            words = {argv0, "-c", "import time; time.sleep(60)"};
            words.insert(words.end(), args.begin(), args.end());
            exe = zqtest::kPython;
        }
        std::vector<char*> argv;
        for (auto& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        m_pid = ::fork();
        if (m_pid == 0) {
            if (uid != ::getuid() && ::setuid(uid) != 0) ::_exit(1);
            ::execv(exe, argv.data());
            ::_exit(127);
        }
        // Wait until the exec shows in /proc.
        std::string cmdline = "/proc/" + std::to_string(m_pid) + "/cmdline";
        for (int i = 0; i < 500 && zqtest::readFile(cmdline).rfind(argv0, 0) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~FakeAgent() {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    int pid() const { return m_pid; }

private:
    pid_t m_pid;
};

TEST(SingleInstance, CountsOnlyThisUsersProcessesOfTheExactPath) {
    zqtest::TempDir dir;
    const std::string program = dir / "ZEPHALTQuilletEX";
    EXPECT_EQ(DMLinuxUtil_CheckProcessCmdline(program.c_str()), 1);

    FakeAgent self(program, ::getuid());
    EXPECT_EQ(DMLinuxUtil_CheckProcessCmdline(program.c_str()), 1) << "the caller itself is one instance";

    // A longer name that only begins with the path is another program.
    FakeAgent other(program + "_tests", ::getuid());
    EXPECT_EQ(DMLinuxUtil_CheckProcessCmdline(program.c_str()), 1);

    if (::getuid() == 0) {
        FakeAgent nobody(program, 65534);
        EXPECT_EQ(DMLinuxUtil_CheckProcessCmdline(program.c_str()), 1) << "another user's agent must not count";
    }

    FakeAgent second(program, ::getuid());
    EXPECT_EQ(DMLinuxUtil_CheckProcessCmdline(program.c_str()), -1);
    EXPECT_EQ(DMLinuxUtil_CheckProcessCmdlineIn("/no/such/proc", program.c_str(), ::getuid()), -1);
}

TEST(CommandLine, TheDecidingOption) {
    struct Row {
        std::vector<std::string> args;
        char letter;
        size_t index;
    };
    const std::vector<Row> rows = {
        {{}, '\0', 0},
        {{"-I"}, 'I', 0},
        {{"word", "-Nx", "-A"}, 'N', 1},
        {{"-V", "-I"}, 'V', 0},
        {{"-", "-Q", "-S"}, 'S', 2},
        // The word after -H is its value, even one that looks like an option.
        {{"-H", "-I", "-D"}, 'D', 2},
        {{"-H", "/x"}, '\0', 2},
        {{"-H"}, '\0', 1},
    };
    for (const auto& r : rows) {
        auto d = DMLinuxUtil_DecidingOption(r.args);
        EXPECT_EQ(d.letter, r.letter) << testing::PrintToString(r.args);
        EXPECT_EQ(d.index, r.index) << testing::PrintToString(r.args);
    }
}

// An installer run (-I, -D, -N) is no agent: neither counted by the
// single-instance check nor ended when -I restarts the agents.
TEST(SingleInstance, InstallerRunsAreNotAgents) {
    zqtest::TempDir dir;
    const std::string program = dir / "ZEPHALTQuilletEX";
    FakeAgent installer(program, ::getuid(), {"-I"});
    FakeAgent remover(program, ::getuid(), {"-H", "/x", "-D"});
    FakeAgent printer(program, ::getuid(), {"-N"});
    EXPECT_EQ(DMLinuxUtil_FindProcessesIn("/proc", program.c_str(), ::getuid()), std::vector<int>{});
    EXPECT_EQ(DMLinuxUtil_CheckProcessCmdline(program.c_str()), 1);

    FakeAgent agent(program, ::getuid(), {"-H", "-I", "-A"});
    FakeAgent plain(program, ::getuid());
    auto found = DMLinuxUtil_FindProcessesIn("/proc", program.c_str(), ::getuid());
    std::sort(found.begin(), found.end());
    std::vector<int> expected = {agent.pid(), plain.pid()};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);
}

TEST(CheckProcess, FindsByStatusName) {
    FakeAgent sleeper("zq-sleeper", ::getuid());
    // The status name is the executable's, "sleep".
    EXPECT_GT(DMLinuxUtil_CheckProcess("sleep"), 0);
    EXPECT_EQ(DMLinuxUtil_CheckProcess("no-such-process-name-zq"), 0);
}

TEST(SystemCall, RunsWithoutAShellAndReportsTheOutcome) {
    zqtest::TempDir dir;
    EXPECT_EQ(DMLinuxUtil_SystemCall({"true"}, true), 0);
    EXPECT_EQ(DMLinuxUtil_SystemCall({"sh", "-c", "exit 3"}, true), 3);
    EXPECT_EQ(DMLinuxUtil_SystemCall({"/no/such/program"}, true), 127);
    EXPECT_EQ(DMLinuxUtil_SystemCall({}, true), -1);
    // Shell metacharacters reach the program as they are.
    const std::string odd = dir / "a b;touch pwned";
    EXPECT_EQ(DMLinuxUtil_SystemCall({"touch", odd}, true), 0);
    EXPECT_TRUE(zqtest::fileExists(odd));
    EXPECT_FALSE(zqtest::fileExists("pwned"));
}

// A child that is waited for cannot wait on a terminal (certutil asking for
// a password loops for ever without one), runs a bounded time, and does not
// outlive its caller.
TEST(SystemCall, WaitedChildIsConfined) {
    const std::string check =
        "import os, sys\n"
        "sys.exit(0 if os.getsid(0) == os.getpid() and os.readlink('/proc/self/fd/0') == '/dev/null' else 1)\n";
    EXPECT_EQ(DMLinuxUtil_SystemCall({zqtest::kPython, "-c", check}, true), 0);

    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(DMLinuxUtil_SystemCall({"sleep", "20"}, true, false, 200), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "the killed child was reaped";

    // The caller killed while it waits: its child goes with it.
    zqtest::TempDir dir;
    const std::string pidFile = dir / "pid";
    pid_t caller = ::fork();
    if (caller == 0) {
        DMLinuxUtil_SystemCall(
            {"sh", "-c", "echo $$ > '" + pidFile + ".tmp'; mv '" + pidFile + ".tmp' '" + pidFile + "'; exec sleep 30"},
            true);
        ::_exit(0);
    }
    for (int i = 0; i < 500 && !zqtest::fileExists(pidFile); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(zqtest::fileExists(pidFile));
    const int child = std::stoi(zqtest::readFile(pidFile));
    ::kill(caller, SIGKILL);
    ::waitpid(caller, nullptr, 0);
    bool gone = false;
    for (int i = 0; i < 200 && !gone; ++i) {
        std::string stat = zqtest::readFile("/proc/" + std::to_string(child) + "/stat");
        gone = stat.empty() || stat.find(") Z") != std::string::npos;
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone) << "the child outlived its caller";
    if (!gone) ::kill(child, SIGKILL);
}

TEST(SystemCall, DetachedChildOutlivesTheCallAndLeavesNoZombie) {
    zqtest::TempDir dir;
    const std::string marker = dir / "marker";
    EXPECT_EQ(DMLinuxUtil_SystemCall({"sh", "-c", "sleep 0.2; touch '" + marker + "'"}, false), 0);
    EXPECT_FALSE(zqtest::fileExists(marker));
    for (int i = 0; i < 300 && !zqtest::fileExists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(zqtest::fileExists(marker));
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "no child left to reap";
}

TEST(Autostart, NeedsConfigDirectory) {
    zqtest::TempDir home;
    DMLinuxUtil_SetUserHOMEDir(home.path().c_str());
    EXPECT_EQ(DMLinuxUtil_Regist_autostart(), -1);
    EXPECT_FALSE(zqtest::fileExists(home / ".config/autostart/ZEPHALTQuilletEX.desktop"));
}

TEST(Autostart, WritesAValidEntry) {
    zqtest::TempDir home;
    DMLinuxUtil_SetUserHOMEDir(home.path().c_str());
    zqtest::makeDirs(home / ".config");
    ASSERT_EQ(DMLinuxUtil_Regist_autostart(), 0);
    const std::string entry = home / ".config/autostart/ZEPHALTQuilletEX.desktop";
    EXPECT_EQ(zqtest::readFile(entry), DMLinuxUtil_AutostartEntry());
    // A second run replaces the entry.
    zqtest::writeFile(entry, "stale");
    ASSERT_EQ(DMLinuxUtil_Regist_autostart(), 0);
    EXPECT_EQ(zqtest::readFile(entry), DMLinuxUtil_AutostartEntry());
    auto validate = zqtest::run({"desktop-file-validate", entry});
    EXPECT_EQ(validate.status, 0) << validate.output;
}

TEST(Autostart, DefaultEntryIsTheInstalledText) {
    // With the default install directory the entry is the 280-byte text.
    std::string entry = DMLinuxUtil_AutostartEntry();
    std::string dir = DMLinuxUtil_GetInstallDir();
    for (size_t at; (at = entry.find(dir)) != std::string::npos;) entry.replace(at, dir.size(), kDMDefaultInstallDir);
    EXPECT_EQ(entry.size(), 280u);
    EXPECT_EQ(
        entry.rfind("[Desktop Entry]\nType=Application\nExec=/opt/VERIDAN/ZEPHALTQuilletEX/ZEPHALTQuilletEX -A\n", 0),
        0u);
}

TEST(WritableDir, OwnerReadWriteOnly) {
    zqtest::TempDir dir;
    EXPECT_EQ(DMLinuxUtil_IsUserWritableDir(dir.path().c_str()), 1);
    ::chmod(dir.path().c_str(), 0500);
    EXPECT_EQ(DMLinuxUtil_IsUserWritableDir(dir.path().c_str()), 0);
    ::chmod(dir.path().c_str(), 0700);
    EXPECT_EQ(DMLinuxUtil_IsUserWritableDir((dir / "missing").c_str()), 0);
    EXPECT_EQ(DMLinuxUtil_IsUserWritableDir(nullptr), 0);
}

TEST(AtomicWrite, ReplacesWholeOrNothing) {
    zqtest::TempDir dir;
    const std::string path = dir / "file";
    ASSERT_EQ(DMLinuxUtil_WriteFileAtomic(path, "first", 0600), 0);
    ASSERT_EQ(DMLinuxUtil_WriteFileAtomic(path, "second", 0600), 0);
    EXPECT_EQ(zqtest::readFile(path), "second");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(DMLinuxUtil_WriteFileAtomic(dir / "missing/file", "x", 0600), -1);
}

}  // namespace
