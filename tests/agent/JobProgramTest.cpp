// Jobs through the real program: a page's command over the loopback port,
// the daemon's job loop, the job against the stub relay, the result the page
// polls. Under Xvfb (the job's boxes are real GTK dialogs, closed with
// xdotool) in a network namespace of its own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "AgentTestSupport.h"
#include "RelayStub.h"
#include "TestSupport.h"

namespace {

using namespace std::chrono_literals;
using agenttest::RelayStub;

class AgentJobs : public ::testing::Test {
protected:
    void SetUp() override {
        agenttest::makeInstallDir(install.path(), true);
        zqtest::makeDirs(home / "NPKI/.veridanCACerts");
        zqtest::writeFile(home / "qlDebugMode", "DEBUG_MODE=1");
        env = agenttest::programEnv(install.path(), home.path());
        env.push_back("QUILLETEX_RELAY_CAFILE=" + RelayStub::caFile());
        std::vector<std::string> argv = {install / "ZEPHALTQuilletEX"};
        ASSERT_EQ(zqtest::run(argv, {}, env).status, 0);
        ASSERT_TRUE(agenttest::waitForPort(15888, 20s));
        stub.answer("setResult", 200, "");
    }
    void TearDown() override { zqtest::run({"pkill", "-KILL", "-f", install / "ZEPHALTQuilletEX"}); }

    std::string command(const std::string& json) {
        return zqtest::run({"curl", "-sS", "--cacert", install / "VERIDAN_ROOT.cer", "--data-urlencode", "data=" + json,
                            "https://127.0.0.1:15888/"})
            .output;
    }
    std::string start(const std::string& param) { return command(R"({"func":"login","param":")" + param + "\"}"); }
    std::string result() { return command(R"({"func":"getResult"})"); }
    std::string running() { return command(R"({"func":"isRunning"})"); }
    // The page's polling until the job is over.
    std::string finalResult() {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (running() == R"({"zunres":"1"})") return result();
            std::this_thread::sleep_for(100ms);
        }
        return "still running";
    }
    // Closes the box of this title as a user would, with the Return key.
    bool closeBox(const std::string& title) {
        return zqtest::run({"timeout", "20", "xdotool", "search", "--sync", "--onlyvisible", "--name", title,
                            "windowfocus", "--sync", "%1", "key", "Return"})
                   .status == 0;
    }
    std::string param(const std::string& linuxVersion = "1.2.8") {
        return "SESSION=JSESSIONID%3Dabc&reqID=9&policyName=login&url=" + stub.url() +
               "&wv=1&macVersion=1&linuxVersion=" + linuxVersion;
    }
    std::vector<std::string> posts() {
        std::vector<std::string> out;
        for (const auto& r : stub.requests()) out.push_back(r.body);
        return out;
    }
    std::string log() {
        std::string all;
        for (const auto& e : std::filesystem::directory_iterator(home / "NPKI/.veridanCACerts"))
            if (e.path().filename().string().rfind("quilletEX_", 0) == 0) all += zqtest::readFile(e.path());
        return all;
    }

    zqtest::TempDir install{"zqinstall"};
    zqtest::TempDir home{"zqhome"};
    std::vector<std::string> env;
    RelayStub stub;
    const std::string getFunc = "Action=getFunc&reqID=9&PolicyName=login&CACertIDs=";
};

TEST_F(AgentJobs, GetVersionPostsNothing) {
    stub.answer("getFunc", 200, "funcName=getVersion");
    EXPECT_EQ(start(param()), R"({"zunres":"1"})");
    EXPECT_EQ(finalResult(), R"({"zunres":"0"})");
    EXPECT_EQ(posts(), std::vector<std::string>{getFunc});
    EXPECT_EQ(stub.requests()[0].cookie, "JSESSIONID=abc");
    // The page's session is not in the log.
    const std::string text = log();
    EXPECT_NE(text.find("Quillet_Main() finished."), std::string::npos);
    EXPECT_EQ(text.find("JSESSIONID=abc"), std::string::npos);
}

TEST_F(AgentJobs, AnUnknownFuncNameShowsItsBoxThenPosts1416) {
    stub.answer("getFunc", 200, "funcName=nosuch&PolicyList=a%3Db%26");
    EXPECT_EQ(start(param()), R"({"zunres":"1"})");
    // While the box is up the job runs; the page is told so.
    ASSERT_TRUE(closeBox("알림"));
    EXPECT_EQ(finalResult(), R"({"zunres":"0"})");
    EXPECT_EQ(posts(), (std::vector<std::string>{
                           getFunc, "Action=setResult&reqID=9&returnValue=ret%3d2%26retdata%3dErrMsg%253d1416"}));
}

TEST_F(AgentJobs, TheBoxHoldsTheJobUntilClosed) {
    stub.answer("getFunc", 500, "");
    EXPECT_EQ(start(param()), R"({"zunres":"1"})");
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(running(), R"({"zunres":"2"})");
    EXPECT_EQ(result(), R"({"zunres":"3"})");
    EXPECT_EQ(start(param()), R"({"zunres":"2"})") << "another job is refused meanwhile";
    ASSERT_TRUE(closeBox("알림"));
    EXPECT_EQ(finalResult(), R"({"zunres":"0"})");
    EXPECT_EQ(posts(), std::vector<std::string>{getFunc}) << "a failed fetch posts nothing";
}

TEST_F(AgentJobs, UpdateNoticeBadParameterAndAFailedErrorPost) {
    EXPECT_EQ(start(param("1.2.9")), R"({"zunres":"1"})");
    EXPECT_EQ(finalResult(), R"({"zunres":"0"})");
    EXPECT_EQ(posts(), std::vector<std::string>{"Action=setResult&reqID=9&returnValue=ret%3d4%26retdata%3d"});

    // A field over its width refuses the parameter (json-c's "\/" in the
    // url is undone on the way).
    EXPECT_EQ(start("SESSION=s&reqID=9&policyName=" + std::string(100, 'p') + "&url=" + stub.url()),
              R"({"zunres":"1"})");
    EXPECT_EQ(finalResult(), R"({"zunres":"0"})");
    EXPECT_EQ(posts().back(), "Action=setResult&reqID=9&returnValue=ret%3d2%26retdata%3dErrMsg%253d1410");

    stub.answer("getFunc", 200, "funcName=nosuch&PolicyList=a%3Db%26");
    stub.answer("setResult", 500, "");
    EXPECT_EQ(start(param()), R"({"zunres":"1"})");
    ASSERT_TRUE(closeBox("알림"));
    EXPECT_EQ(finalResult(), R"({"zunres":"0"})");
    EXPECT_EQ(posts().size(), 4u);
}

}  // namespace
