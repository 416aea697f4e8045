// The job side's contract as the connector relies on it, and the program's
// own pairing of connector and job side.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "common/DMLinuxLog.h"
#include "daemon/DMLinuxQuilletConnector.h"
#include "common/DMLinuxUtil.h"
#include <LinuxQuillet.h>

namespace {

struct Observed {
    std::string tag, text;
    int isRunning, result;
};
std::vector<Observed> g_observed;

// The job logs through these; each line records the job side's state.
int observeWrite(const char* tag, const char* text) {
    g_observed.push_back({tag ? tag : "", text ? text : "", LinuxQuillet_isRunning(), LinuxQuillet_GetResult()});
    return 1;
}
int observeWriteInt(const char* tag, int value) { return observeWrite(tag, std::to_string(value).c_str()); }

TEST(JobSide, ReportsRunningDuringAJobAndSuccessAfter) {
    EXPECT_EQ(LinuxQuillet_isRunning(), 0);
    EXPECT_EQ(LinuxQuillet_GetResult(), 0) << "before any job";

    g_observed.clear();
    LinuxQuillet_InitWriteLog(1, observeWrite, observeWriteInt);
    char name[] = "/opt/VERIDAN/ZEPHALTQuilletEX/ZEPHALTQuilletEX";
    char param[] = "SESSION=s|reqID=9";
    QuilletJobArgs args{name, param};
    EXPECT_EQ(LinuxQuillet_StartProcess(&args), 0);

    ASSERT_FALSE(g_observed.empty());
    bool sawParam = false;
    for (const auto& o : g_observed) {
        EXPECT_EQ(o.isRunning, 1);
        EXPECT_EQ(o.result, 3);
        sawParam |= o.text == param;
    }
    EXPECT_TRUE(sawParam);
    EXPECT_EQ(LinuxQuillet_isRunning(), 0);
    EXPECT_EQ(LinuxQuillet_GetResult(), 1);
    // The job side neither keeps nor frees what it was given.
    EXPECT_STREQ(param, "SESSION=s|reqID=9");
}

TEST(JobSide, LogsNothingWhenTheDaemonLogIsOff) {
    g_observed.clear();
    LinuxQuillet_InitWriteLog(0, observeWrite, observeWriteInt);
    char param[] = "x";
    QuilletJobArgs args{nullptr, param};
    LinuxQuillet_StartProcess(&args);
    EXPECT_TRUE(g_observed.empty());
}

TEST(Program, QueuedParameterRunsAsAJobAndLandsInTheLog) {
    zqtest::TempDir home;
    DMLinuxUtil_SetUserHOMEDir(home.path().c_str());
    zqtest::makeDirs(home / "NPKI/.veridanCACerts");
    zqtest::writeFile(home / "qlDebugMode", "DEBUG_MODE=1");
    DMLinuxLog_Initialize();

    CDMLinuxQuilletConnector connector;
    connector.SetProcessName("agent-under-test");
    std::thread server([&] {
        EXPECT_EQ(connector.StartQuilletProcess("\"SESSION=abc|reqID=42\""), QUILLET_START_QUEUED);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (connector.GetResult(nullptr) != 1 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        connector.StopJobLoop();
    });
    connector.ProcessQuilletJob();
    server.join();
    EXPECT_EQ(connector.GetResult(nullptr), 1);
    EXPECT_EQ(connector.IsRunning(), 0);

    std::string log = zqtest::readFile(DMLinuxLog_GetLogPath());
    EXPECT_NE(log.find("] [JOB] SESSION=abc|reqID=42\n"), std::string::npos) << log;
    EXPECT_NE(log.find("====================StartParam:\nSESSION=abc|reqID=42\n"), std::string::npos) << log;
}

}  // namespace
