// The agent program itself, started as a user would, in a temporary install
// directory and home. The suite runs under Xvfb (the daemon initialises GTK);
// the paths that must work without a display clear DISPLAY.
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <sstream>
#include <string>
#include <thread>

#include "AgentTestSupport.h"
#include "TestSupport.h"

namespace {

using namespace std::chrono_literals;

// -I asks (in a GTK box) to close a running Firefox when it has a display;
// nobody answers here, so the installer runs without one.
const std::vector<std::string> kNoDisplay = {"DISPLAY="};

std::vector<std::string> splitPids(const std::string& text) {
    std::vector<std::string> pids;
    size_t at = 0;
    while (at < text.size()) {
        size_t nl = text.find('\n', at);
        if (nl == std::string::npos) nl = text.size();
        if (nl > at) pids.push_back(text.substr(at, nl - at));
        at = nl + 1;
    }
    return pids;
}

class AgentProgram : public ::testing::Test {
protected:
    void SetUp() override {
        agenttest::makeInstallDir(install.path(), true);
        zqtest::makeDirs(home / ".config");
        env = agenttest::programEnv(install.path(), home.path());
    }
    void TearDown() override { zqtest::run({"pkill", "-KILL", "-f", program()}); }

    std::string program() const { return install / "ZEPHALTQuilletEX"; }
    std::string root() const { return install / "VERIDAN_ROOT.cer"; }
    // This user's running agents from this install directory.
    std::vector<std::string> agents() const {
        return splitPids(zqtest::run({"pgrep", "-u", std::to_string(::getuid()), "-f", program()}).output);
    }
    bool waitForAgents(size_t count, std::chrono::milliseconds timeout) const {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (agents().size() != count) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }
    zqtest::RunResult agent(const std::vector<std::string>& args, const std::vector<std::string>& more = {}) {
        std::vector<std::string> argv = {program()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> e = env;
        e.insert(e.end(), more.begin(), more.end());
        return zqtest::run(argv, {}, e);
    }
    void enableFileLog() {
        zqtest::makeDirs(home / "NPKI/.veridanCACerts");
        zqtest::writeFile(home / "qlDebugMode", "DEBUG_MODE=1");
    }
    std::string log() const {
        std::string all;
        for (const auto& e : std::filesystem::directory_iterator(home / "NPKI/.veridanCACerts"))
            all += zqtest::readFile(e.path());
        return all;
    }
    std::string isRunning(unsigned short port) {
        return agenttest::curl(root(), port, {"-d", R"(data={"func":"isRunning"})"}).output;
    }

    zqtest::TempDir install{"zqinstall"};
    zqtest::TempDir home{"zqhome"};
    std::vector<std::string> env;
};

TEST_F(AgentProgram, ServesTheLoopbackPortAndMovesOnWhenItIsTaken) {
    // Another program holds 15888 on [::] (dual stack): the agent takes 16888.
    agenttest::DualStackHolder holder(15888);
    ASSERT_TRUE(holder.ok()) << "port 15888 is busy on this machine";

    EXPECT_EQ(agent({}).status, 0);
    ASSERT_TRUE(agenttest::waitForPort(16888, 10s));

    EXPECT_EQ(isRunning(16888), R"({"zunres":"1"})");
    auto job = agenttest::curl(root(), 16888, {"-d", R"(data={"func":"login","param":"SESSION=a|reqID=1"})"});
    EXPECT_EQ(job.output, R"({"zunres":"1"})");
    auto verify =
        zqtest::run({"openssl", "s_client", "-connect", "127.0.0.1:16888", "-CAfile", root(), "-verify_return_error"});
    EXPECT_EQ(verify.status, 0);
    auto untrusted = zqtest::run({"curl", "-sS", "-d", R"(data={"func":"isRunning"})", "https://127.0.0.1:16888/"});
    EXPECT_EQ(untrusted.status, 60);
}

TEST_F(AgentProgram, CommandLine) {
    const std::vector<std::string>& noDisplay = kNoDisplay;
    // -N prints the home directory, without a newline; -H replaces it first.
    EXPECT_EQ(agent({"-N"}, noDisplay).output, home.path());
    EXPECT_EQ(agent({"-H", "/some/where", "-N"}, noDisplay).output, "/some/where");
    EXPECT_EQ(agent({"-H", std::string(300, 'x'), "-N"}, noDisplay).output, home.path());

    // Nothing that decides: the process ends with 0 and starts nothing.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"-H", "/x"}, {"-Q"}, {"word"}, {"-H"}}) {
        auto r = agent(args, noDisplay);
        EXPECT_EQ(r.status, 0) << args[0];
        EXPECT_EQ(r.output, "") << args[0];
    }
    EXPECT_TRUE(agents().empty());

    // -V prints the version line and starts; an unknown letter before -A too.
    auto v = agent({"-V"});
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.output.rfind("ZEPHALT Quillet EX version 1.2.8 (", 0), 0u) << v.output;
    EXPECT_TRUE(waitForAgents(1, 5s));
    zqtest::run({"pkill", "-KILL", "-f", program()});
    ASSERT_TRUE(waitForAgents(0, 5s));
    EXPECT_EQ(agent({"-Q", "-A"}).status, 0);
    EXPECT_TRUE(waitForAgents(1, 5s));
}

// A user the password database does not know (a container's arbitrary uid)
// takes the home the environment gives; without one, nothing is looked for
// or changed under "/" in its place, and the task says it failed.
TEST_F(AgentProgram, HomeOfAUserWithoutAPasswordEntry) {
    constexpr uid_t kStranger = 54321;
    if (::getuid() != 0 || ::getpwuid(kStranger) != nullptr)
        GTEST_SKIP() << "needs root and a uid without a password entry";
    std::filesystem::permissions(install.path(), std::filesystem::perms(0755));
    auto asStranger = [&](const std::vector<std::string>& args, const std::string& homeEnv) {
        std::vector<std::string> argv = {"setpriv",
                                         "--reuid=" + std::to_string(kStranger),
                                         "--regid=" + std::to_string(kStranger),
                                         "--clear-groups",
                                         "--",
                                         program()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> e = agenttest::programEnv(install.path(), "");
        std::erase(e, "HOME=");
        e.insert(e.end(), {"HOME=" + homeEnv, "DISPLAY="});
        return zqtest::run(argv, {}, e);
    };
    EXPECT_EQ(asStranger({"-N"}, "/home/stranger").output, "/home/stranger");
    EXPECT_EQ(asStranger({"-N"}, "").output, "");
    EXPECT_EQ(asStranger({"-D"}, "").status, 1);
}

TEST_F(AgentProgram, OneInstanceUnlessToldOtherwise) {
    EXPECT_EQ(agent({}).status, 0);
    ASSERT_TRUE(waitForAgents(1, 5s));
    ASSERT_TRUE(agenttest::waitForPort(15888, 10s));
    EXPECT_EQ(agent({}).status, 0);
    EXPECT_EQ(agent({"-A"}).status, 0);
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(agents().size(), 1u);

    // -S skips the check; the second agent finds 15888 taken and serves 16888.
    EXPECT_EQ(agent({"-S"}).status, 0);
    EXPECT_TRUE(waitForAgents(2, 5s));
    EXPECT_TRUE(agenttest::waitForPort(16888, 10s));
    EXPECT_EQ(isRunning(16888), R"({"zunres":"1"})");
}

// Starts at the same moment (autostart, a launcher clicked twice) leave
// exactly one agent: neither none (each seeing the others) nor several.
TEST_F(AgentProgram, SimultaneousStartsLeaveOneAgent) {
    for (int round = 0; round < 4; ++round) {
        std::vector<std::future<zqtest::RunResult>> starts;
        for (int i = 0; i < 3; ++i)
            starts.push_back(std::async(std::launch::async, [&] { return agent({}, kNoDisplay); }));
        for (auto& s : starts) EXPECT_EQ(s.get().status, 0);
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(agents().size(), 1u) << "round " << round;
        zqtest::run({"pkill", "-KILL", "-f", program()});
        ASSERT_TRUE(waitForAgents(0, 5s));
    }
}

// Two installer runs at once on a home without ~/.pki/nssdb (a login while
// the user also runs -I, two terminals). Each used to end the other as a
// running agent, leaving its certutil asking the other's new database for a
// password at full speed for ever, or both made the database and one failed.
TEST_F(AgentProgram, SimultaneousInstallsTakeTurns) {
    const std::string uid = std::to_string(::getuid());
    for (int round = 0; round < 6; ++round) {
        zqtest::TempDir fresh("zqhome");
        zqtest::makeDirs(fresh / ".config");
        std::vector<std::string> e = agenttest::programEnv(install.path(), fresh.path());
        e.insert(e.end(), kNoDisplay.begin(), kNoDisplay.end());
        std::vector<std::future<zqtest::RunResult>> runs;
        for (int i = 0; i < 2; ++i)
            runs.push_back(std::async(std::launch::async, [&] { return zqtest::run({program(), "-I"}, {}, e); }));
        for (auto& r : runs) EXPECT_EQ(r.get().status, 0) << "round " << round;

        EXPECT_EQ(agents().size(), 1u) << "round " << round;
        auto root =
            zqtest::run({"certutil", "-L", "-d", "sql:" + fresh / ".pki/nssdb", "-n", "VERIDAN ROOT - veridan", "-a"});
        EXPECT_EQ(root.status, 0) << "round " << round;
        size_t first = root.output.find("BEGIN CERTIFICATE");
        EXPECT_NE(first, std::string::npos) << "round " << round;
        EXPECT_EQ(first, root.output.rfind("BEGIN CERTIFICATE")) << "round " << round << ": registered twice";
        auto left = zqtest::run({"pgrep", "-u", uid, "-f", "certutil .*" + fresh.path()});
        EXPECT_EQ(left.output, "") << "round " << round << ": certutil left running";

        zqtest::run({"pkill", "-KILL", "-f", "certutil .*" + fresh.path()});
        zqtest::run({"pkill", "-KILL", "-f", program()});
        ASSERT_TRUE(waitForAgents(0, 5s));
    }
}

TEST_F(AgentProgram, StopsOnSignalsWithItsLogLines) {
    enableFileLog();
    ASSERT_EQ(agent({}).status, 0);
    ASSERT_TRUE(agenttest::waitForPort(15888, 10s));
    auto pids = agents();
    ASSERT_EQ(pids.size(), 1u);
    const int pid = std::stoi(pids[0]);

    // Neither a broken pipe nor urgent data ends it.
    ::kill(pid, SIGPIPE);
    ::kill(pid, SIGURG);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(isRunning(15888), R"({"zunres":"1"})");

    // Busy: clients queue jobs (each start logs several lines) meanwhile.
    auto busy = std::async(std::launch::async, [&] {
        return agenttest::tlsClient(root(), 15888, {"burst", "100", "login"});
    });
    // SIGTERM once the jobs' log lines are coming in.
    auto deadline = std::chrono::steady_clock::now() + 15s;
    while (log().find("StartQuilletProcess") == std::string::npos && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    ASSERT_NE(log().find("StartQuilletProcess"), std::string::npos) << "the clients never got through";
    auto sent = std::chrono::steady_clock::now();
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    EXPECT_TRUE(waitForAgents(0, 2s)) << "still running 2 s after SIGTERM";
    EXPECT_LT(std::chrono::steady_clock::now() - sent, 2s);
    busy.wait();

    std::string text = log();
    EXPECT_NE(text.find("]=================================\n"), std::string::npos);
    EXPECT_NE(text.find("I GOT SIGNAL!!!!! PID : " + pids[0] + " (15)"), std::string::npos) << text;
    EXPECT_NE(text.find("\n[APP_EXIT][DMLinuxMain.cpp:sig_handler:"), std::string::npos) << text;
}

// Without a thread to take them, the stop signals are not left blocked.
TEST_F(AgentProgram, StopsOnSignalsWhenNoThreadCanStart) {
    ASSERT_EQ(
        agent({}, {"LD_PRELOAD=" + agenttest::noThreadsLibrary(), "ASAN_OPTIONS=verify_asan_link_order=0", "DISPLAY="})
            .status,
        0);
    ASSERT_TRUE(waitForAgents(1, 5s));
    ::kill(std::stoi(agents()[0]), SIGTERM);
    EXPECT_TRUE(waitForAgents(0, 5s)) << "still running 5 s after SIGTERM";
}

TEST_F(AgentProgram, EndsWhenItsInstalledFilesAreMissing) {
    enableFileLog();
    std::filesystem::remove(install / "zunwssc.dat");
    EXPECT_EQ(agent({}).status, 0);  // the parent, after the fork
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(waitForAgents(0, 5s));
    std::string text = log();
    EXPECT_NE(text.find("zunwssc.dat"), std::string::npos) << text;
    EXPECT_NE(text.find("[APP_EXIT][DMLinuxMain.cpp:main:"), std::string::npos) << text;
    EXPECT_NE(text.find("] -2\n"), std::string::npos) << text;
}

// A staged install (DESTDIR, as packaging does it), made once for the suite.
class Install : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        stage = new zqtest::TempDir("zqstage");
        live = new zqtest::TempDir("zqprefix");
        auto r = zqtest::run({"cmake", "--install", zqtest::binaryDir(), "--prefix", prefix()}, {},
                             {"DESTDIR=" + stage->path()});
        installed = r.status == 0;
        if (!installed) std::fprintf(stderr, "%s\n", r.output.c_str());
    }
    static void TearDownTestSuite() {
        delete stage;
        delete live;
    }
    void SetUp() override { ASSERT_TRUE(installed); }
    static std::string prefix() { return *live / "opt"; }
    static std::string staged() { return stage->path() + prefix(); }

    static inline zqtest::TempDir* stage = nullptr;
    static inline zqtest::TempDir* live = nullptr;
    static inline bool installed = false;
};

// The root and the container are made beside the program in the staging
// tree, and nothing goes into the live prefix.
TEST_F(Install, StagedInstallStaysInsideDestdir) {
    EXPECT_TRUE(zqtest::fileExists(staged() + "/ZEPHALTQuilletEX"));
    EXPECT_TRUE(zqtest::fileExists(staged() + "/VERIDAN_ROOT.cer"));
    EXPECT_TRUE(zqtest::fileExists(staged() + "/zunwssc.dat"));
    EXPECT_FALSE(zqtest::fileExists(prefix()));
}

// Each installed library finds the others beside it, in a tree that is not
// where it was built nor where it was meant to go (libzunPKI had no run
// path, so nothing but the agent could load it).
TEST_F(Install, InstalledLibrariesLoadFromTheirOwnFolder) {
    std::vector<std::string> files = {staged() + "/ZEPHALTQuilletEX"};
    for (const auto& e : std::filesystem::directory_iterator(staged() + "/lib"))
        if (e.path().filename().string().find(".so") != std::string::npos) files.push_back(e.path());
    EXPECT_GE(files.size(), 3u) << "libzunPKI and libzunCrypto at least";
    for (const auto& f : files) {
        auto r = zqtest::run({"ldd", f});
        EXPECT_EQ(r.status, 0) << f;
        EXPECT_EQ(r.output.find("not found"), std::string::npos) << f << "\n" << r.output;
        // Ours come from the staged lib folder, never from the build tree.
        std::istringstream lines(r.output);
        for (std::string line; std::getline(lines, line);) {
            if (line.find_first_not_of(" \t") == std::string::npos) continue;
            if (line.compare(line.find_first_not_of(" \t"), 6, "libzun") != 0) continue;
            EXPECT_NE(line.find("=> " + staged() + "/lib/"), std::string::npos) << f << ": " << line;
        }
    }
}

// The installed program, run from the staged tree, writes an autostart
// entry whose icon the install put there.
TEST_F(Install, TheAutostartEntryNamesAnInstalledIcon) {
    zqtest::TempDir home("zqhome");
    zqtest::makeDirs(home / ".config");
    const std::string program = staged() + "/ZEPHALTQuilletEX";
    auto env = agenttest::programEnv(staged(), home.path());
    env.push_back("DISPLAY=");
    EXPECT_EQ(zqtest::run({program, "-I"}, {}, env).status, 0);
    zqtest::run({"pkill", "-KILL", "-f", program});

    const std::string entry = zqtest::readFile(home / ".config/autostart/ZEPHALTQuilletEX.desktop");
    size_t at = entry.find("\nIcon=");
    ASSERT_NE(at, std::string::npos) << entry;
    at += 6;
    const std::string icon = entry.substr(at, entry.find('\n', at) - at);
    EXPECT_EQ(icon.rfind(staged() + "/", 0), 0u) << icon;
    EXPECT_EQ(zqtest::readFile(icon).substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << icon;
}

// A Firefox directory with a relative sql profile, an absolute dbm profile,
// and a profile that was never started (no database yet).
class Registration : public AgentProgram {
protected:
    void SetUp() override {
        AgentProgram::SetUp();
        const std::string firefox = home / ".mozilla/firefox";
        zqtest::makeDirs(firefox + "/abc.default-esr");
        zqtest::makeDirs(elsewhere / "old.profile");
        zqtest::makeDirs(firefox + "/never.started");
        ASSERT_EQ(certutil({"-N", "-d", "sql:" + sqlProfile(), "--empty-password"}).status, 0);
        ASSERT_EQ(certutil({"-N", "-d", "dbm:" + dbmProfile(), "--empty-password"}).status, 0);
        zqtest::writeFile(firefox + "/profiles.ini",
                          "[Install4F96D1932A9F858E]\nDefault=abc.default-esr\n\n"
                          "[Profile0]\nName=default-esr\nIsRelative=1\nPath=abc.default-esr\nDefault=1\n\n"
                          "[Profile1]\nName=old\nIsRelative=0\nPath=" +
                              dbmProfile() +
                              "\n\n"
                              "[Profile2]\nName=new\nIsRelative=1\nPath=never.started\n\n"
                              "[General]\nStartWithLastProfile=1\nVersion=2\n");
    }
    zqtest::RunResult certutil(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"certutil"};
        argv.insert(argv.end(), args.begin(), args.end());
        return zqtest::run(argv);
    }
    // The trust flags of the root in db, "" when it is not there.
    std::string trustIn(const std::string& db) {
        auto r = certutil({"-L", "-d", db});
        size_t at = r.output.find("VERIDAN ROOT - veridan");
        if (at == std::string::npos) return "";
        std::string line = r.output.substr(at, r.output.find('\n', at) - at);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        return line.substr(line.find_last_of(' ') + 1);
    }
    std::string sqlProfile() const { return home / ".mozilla/firefox/abc.default-esr"; }
    std::string dbmProfile() const { return elsewhere / "old.profile"; }

    zqtest::TempDir elsewhere{"zqprofiles"};
};

TEST_F(Registration, InstallsIntoEveryDatabaseAndRemovesAgain) {
    zqtest::makeDirs(home / ".pki/nssdb");
    ASSERT_EQ(certutil({"-N", "-d", "sql:" + home / ".pki/nssdb", "--empty-password"}).status, 0);

    // Twice: a second run replaces, it does not add a second copy.
    ASSERT_EQ(agent({"-I"}, kNoDisplay).status, 0);
    ASSERT_EQ(agent({"-I"}, kNoDisplay).status, 0);
    EXPECT_EQ(trustIn("sql:" + home / ".pki/nssdb"), "CT,,");
    EXPECT_EQ(trustIn("sql:" + sqlProfile()), "CT,C,c");
    EXPECT_EQ(trustIn("dbm:" + dbmProfile()), "CT,C,c");
    EXPECT_FALSE(zqtest::fileExists(home / ".mozilla/firefox/never.started/cert9.db"));
    auto one = certutil({"-L", "-d", "sql:" + sqlProfile(), "-n", "VERIDAN ROOT - veridan", "-a"});
    EXPECT_EQ(one.output.find("BEGIN CERTIFICATE"), one.output.rfind("BEGIN CERTIFICATE"));
    std::erase(one.output, '\r');
    EXPECT_EQ(one.output, zqtest::readFile(root()));

    // The autostart entry, valid for the desktop.
    const std::string entry = home / ".config/autostart/ZEPHALTQuilletEX.desktop";
    ASSERT_TRUE(zqtest::fileExists(entry));
    EXPECT_EQ(zqtest::run({"desktop-file-validate", entry}).status, 0);

    // One detached agent serves, trusted through the registered root.
    EXPECT_TRUE(waitForAgents(1, 5s));
    ASSERT_TRUE(agenttest::waitForPort(15888, 10s));
    EXPECT_EQ(isRunning(15888), R"({"zunres":"1"})");

    // -D needs no display and takes the root out of all of them.
    EXPECT_EQ(agent({"-D"}, {"DISPLAY="}).status, 0);
    EXPECT_EQ(trustIn("sql:" + home / ".pki/nssdb"), "");
    EXPECT_EQ(trustIn("sql:" + sqlProfile()), "");
    EXPECT_EQ(trustIn("dbm:" + dbmProfile()), "");
}

TEST_F(Registration, CreatesAMissingSharedDatabaseAndReportsFailures) {
    ASSERT_EQ(agent({"-I"}, kNoDisplay).status, 0);
    EXPECT_EQ(trustIn("sql:" + home / ".pki/nssdb"), "CT,,");
    // Made aside and renamed into place: nothing is left beside it.
    std::vector<std::string> inPki;
    for (const auto& e : std::filesystem::directory_iterator(home / ".pki")) inPki.push_back(e.path().filename());
    EXPECT_EQ(inPki, std::vector<std::string>{"nssdb"});

    // An empty folder (a browser that has just made it) is filled the same way.
    zqtest::TempDir empty("zqhome3");
    zqtest::makeDirs(empty / ".config");
    zqtest::makeDirs(empty / ".pki/nssdb");
    auto env3 = agenttest::programEnv(install.path(), empty.path());
    env3.push_back("DISPLAY=");
    EXPECT_EQ(zqtest::run({program(), "-I"}, {}, env3).status, 0);
    EXPECT_EQ(trustIn("sql:" + empty / ".pki/nssdb"), "CT,,");

    // A database certutil cannot write to is a failure, reported.
    zqtest::TempDir other("zqhome2");
    zqtest::makeDirs(other / ".config");
    zqtest::makeDirs(other / ".pki/nssdb");
    zqtest::writeFile(other / ".pki/nssdb/cert9.db", "not a database");
    auto env2 = agenttest::programEnv(install.path(), other.path());
    env2.push_back("DISPLAY=");
    auto r = zqtest::run({program(), "-I"}, {}, env2);
    EXPECT_EQ(r.status, 1);
}

// A real browser: with the root registered by -I, Chromium's fetch from a
// page on http://127.0.0.1 reaches the agent; without it the fetch fails.
TEST_F(AgentProgram, ChromiumTrustsTheRegisteredRoot) {
    zqtest::TempDir site("zqsite");
    zqtest::writeFile(site / "index.html", R"(<html><body><div id="out">pending</div><script>
fetch('https://127.0.0.1:15888/', {method: 'POST',
      headers: {'Content-Type': 'application/x-www-form-urlencoded'},
      body: 'data={"func":"isRunning"}'})
  .then(r => r.text()).then(t => { document.getElementById('out').textContent = 'answer:' + t; })
  .catch(e => { document.getElementById('out').textContent = 'failed:' + e; });
</script></body></html>)");
    const unsigned short port = agenttest::freePort();
    agenttest::Background web({zqtest::kPython, "-m", "http.server", std::to_string(port), "--bind", "127.0.0.1",
                               "--directory", site.path()});
    ASSERT_TRUE(agenttest::waitForPort(port, 10s));

    ASSERT_EQ(agent({"-I"}, kNoDisplay).status, 0);
    ASSERT_TRUE(agenttest::waitForPort(15888, 10s));

    auto browse = [&](const std::string& userHome) {
        zqtest::TempDir profile("zqchromium");
        return zqtest::run({"chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                            "--no-first-run", "--disable-background-networking", "--disable-component-update",
                            "--disable-sync", "--user-data-dir=" + profile.path(), "--virtual-time-budget=5000",
                            "--dump-dom", "http://127.0.0.1:" + std::to_string(port) + "/index.html"},
                           {}, {"HOME=" + userHome})
            .output;
    };
    std::string trusted = browse(home.path());
    EXPECT_NE(trusted.find(R"(answer:{"zunres":"1"})"), std::string::npos) << trusted;

    zqtest::TempDir stranger("zqstranger");
    std::string untrusted = browse(stranger.path());
    EXPECT_NE(untrusted.find("failed:"), std::string::npos) << untrusted;
}

}  // namespace
