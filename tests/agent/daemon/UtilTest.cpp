#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// A process of the given uid whose argv[0] is argv0; killed on destruction.
class FakeAgent {
public:
    FakeAgent(const std::string& argv0, uid_t uid) {
        m_pid = ::fork();
        if (m_pid == 0) {
            if (uid != ::getuid() && ::setuid(uid) != 0) ::_exit(1);
            ::execl("/bin/sleep", argv0.c_str(), "60", static_cast<char*>(nullptr));
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
