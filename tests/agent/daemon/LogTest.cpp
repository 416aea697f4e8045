#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <cctype>
#include <sstream>

#include "TestSupport.h"
#include "common/DMLinuxLog.h"
#include "common/DMLinuxUtil.h"

namespace {

// Checks "[YYYY-MM-DD hh:mm:ss(mmm)]" at the start of line and drops it.
bool stripStamp(std::string& line) {
    const std::string shape = "[dddd-dd-dd dd:dd:dd(ddd)]";
    if (line.size() < shape.size()) return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        bool ok = shape[i] == 'd' ? std::isdigit(static_cast<unsigned char>(line[i])) != 0 : line[i] == shape[i];
        if (!ok) return false;
    }
    line.erase(0, shape.size());
    return true;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        DMLinuxUtil_SetUserHOMEDir(home.path().c_str());
        zqtest::makeDirs(home / "NPKI/.veridanCACerts");
    }
    void TearDown() override {
        ::unlink((home / "qlDebugMode").c_str());
        DMLinuxLog_Initialize();  // back to off
    }
    void setMode(const std::string& fileContents) {
        zqtest::writeFile(home / "qlDebugMode", fileContents);
        DMLinuxLog_Initialize();
    }
    std::string expectedLogPath() const {
        time_t now = ::time(nullptr);
        struct tm local {};
        ::localtime_r(&now, &local);
        char name[64];
        std::snprintf(name, sizeof name, "quilletEX_%04d%02d%02d.log", local.tm_year + 1900, local.tm_mon + 1,
                      local.tm_mday);
        return home / ("NPKI/.veridanCACerts/" + std::string(name));
    }
    zqtest::TempDir home;
};

TEST_F(LogTest, NoDebugModeFileLogsNothing) {
    EXPECT_EQ(DMLinuxLog_Initialize(), -1);
    EXPECT_EQ(DMLinuxLog_GetLogType(), DMLOG_OFF);
    DMLOG("[NOT] hello\n");
    DMLinuxLog_Write("[T]", "text");
    EXPECT_FALSE(zqtest::fileExists(expectedLogPath()));
}

TEST_F(LogTest, OnlyTheTwelfthByteSelectsTheMode) {
    struct Case {
        const char* contents;
        int mode;
    } cases[] = {
        {"DEBUG_MODE=1", 1},
        {"xxxxxxxxxxx2", 2},
        {"...........3", 3},
        {"DEBUG_MODE=4", 0},
        {"DEBUG_MODE=", 0},
        {"DEBUG_MODE=1\n", 1},
        {"", 0},
        {"DEBUG_MODE=0", 0},
    };
    for (const auto& c : cases) {
        setMode(c.contents);
        EXPECT_EQ(DMLinuxLog_GetLogType(), c.mode) << '"' << c.contents << '"';
    }
}

TEST_F(LogTest, FileModesWriteThePrivateDatedFile) {
    for (const char* contents : {"DEBUG_MODE=1", "DEBUG_MODE=3"}) {
        ::unlink(expectedLogPath().c_str());
        setMode(contents);
        EXPECT_EQ(DMLinuxLog_GetLogPath(), expectedLogPath());
        DMLOG("[NOT] started %d\n", 42);
        DMLinuxLog_Write("[JOB]", "SESSION=abc");
        DMLinuxLog_Write("[JOB]", nullptr);
        DMLinuxLog_WriteInt("[JOB]", -7);

        struct stat st {};
        ASSERT_EQ(::stat(expectedLogPath().c_str(), &st), 0) << contents;
        EXPECT_EQ(st.st_mode & 0777, 0600u);

        auto lines = splitLines(zqtest::readFile(expectedLogPath()));
        ASSERT_EQ(lines.size(), 5u) << contents;
        for (auto& line : lines) {
            if (!line.empty()) {
                EXPECT_TRUE(stripStamp(line)) << line;
            }
        }
        const std::string pid = "[" + std::to_string(::getpid()) + "]";
        EXPECT_EQ(lines[0].rfind(pid + " [DML] [LogTest.cpp:", 0), 0u) << lines[0];
        EXPECT_NE(lines[0].find("(" + std::to_string(::getpid()) + ")][NOT] started 42"), std::string::npos);
        EXPECT_EQ(lines[1], "");  // the message's own newline
        EXPECT_EQ(lines[2], pid + " [JOB] SESSION=abc");
        EXPECT_EQ(lines[3], " [JOB] NULL");
        EXPECT_EQ(lines[4], pid + " [JOB] -7");
    }
}

TEST_F(LogTest, AnExistingWideOpenLogIsMadePrivate) {
    setMode("DEBUG_MODE=1");
    zqtest::writeFile(expectedLogPath(), "");
    ::chmod(expectedLogPath().c_str(), 0644);
    DMLinuxLog_Write("[T]", "x");
    struct stat st {};
    ASSERT_EQ(::stat(expectedLogPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(LogTest, StdoutModeCreatesNoFile) {
    setMode("DEBUG_MODE=2");
    ::testing::internal::CaptureStdout();
    DMLinuxLog_Write("[T]", "to stdout");
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("] [T] to stdout\n\n"), std::string::npos) << out;
    EXPECT_FALSE(zqtest::fileExists(expectedLogPath()));
}

TEST_F(LogTest, LongMessagesAreCutNotOverflowed) {
    setMode("DEBUG_MODE=1");
    std::string big(10000, 'x');
    DMLinuxLog_LogPrintf("%s", big.c_str());
    std::string log = zqtest::readFile(expectedLogPath());
    EXPECT_NE(log.find(std::string(4095, 'x') + "\n"), std::string::npos);
    EXPECT_EQ(log.find(std::string(4096, 'x')), std::string::npos);
}

TEST_F(LogTest, MissingLogDirectoryLosesLinesQuietly) {
    TearDown();
    zqtest::TempDir bare;
    DMLinuxUtil_SetUserHOMEDir(bare.path().c_str());
    zqtest::writeFile(bare / "qlDebugMode", "DEBUG_MODE=1");
    DMLinuxLog_Initialize();
    EXPECT_EQ(DMLinuxLog_LogPrintf("lost"), 1);
    ::unlink((bare / "qlDebugMode").c_str());
    DMLinuxLog_Initialize();
}

}  // namespace
