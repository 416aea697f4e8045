// The agent program itself, started as a user would, in a temporary install
// directory and home.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "AgentTestSupport.h"
#include "TestSupport.h"

namespace {

using namespace std::chrono_literals;

class AgentProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        agenttest::makeInstallDir(install.path(), true);
        zqtest::makeDirs(home.path());
        env = {"QUILLETEX_INSTALL_DIR=" + install.path(), "QUILLETEX_HOME=" + home.path()};
    }
    void TearDown() override
    {
        zqtest::run({"pkill", "-KILL", "-f", program()});
    }

    std::string program() const { return install / "ZEPHALTQuilletEX"; }
    std::string root() const { return install / "VERIDAN_ROOT.cer"; }
    std::string pids() const { return zqtest::run({"pgrep", "-f", program()}).output; }

    zqtest::TempDir install{"zqinstall"};
    zqtest::TempDir home{"zqhome"};
    std::vector<std::string> env;
};

TEST_F(AgentProgram, ServesTheLoopbackPortAndMovesOnWhenItIsTaken)
{
    // Another program holds 15888 on [::] (dual stack): the agent takes 16888.
    agenttest::DualStackHolder holder(15888);
    ASSERT_TRUE(holder.ok()) << "port 15888 is busy on this machine";

    auto start = zqtest::run({program()}, {}, env);
    EXPECT_EQ(start.status, 0);
    ASSERT_TRUE(agenttest::waitForPort(16888, 10s)) << pids();

    auto r = agenttest::curl(root(), 16888, {"-d", R"(data={"func":"isRunning"})"});
    EXPECT_EQ(r.output, R"({"zunres":"1"})");
    auto job = agenttest::curl(root(), 16888, {"-d", R"(data={"func":"login","param":"SESSION=a|reqID=1"})"});
    EXPECT_EQ(job.output, R"({"zunres":"1"})");
    auto verify = zqtest::run({"openssl", "s_client", "-connect", "127.0.0.1:16888", "-CAfile", root(),
                               "-verify_return_error"});
    EXPECT_EQ(verify.status, 0);
    auto untrusted = zqtest::run({"curl", "-sS", "-d", R"(data={"func":"isRunning"})", "https://127.0.0.1:16888/"});
    EXPECT_EQ(untrusted.status, 60);
}

}  // namespace
