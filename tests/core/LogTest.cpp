// The core log: record format, levels, hex dumps, the daily file, the
// process lock and the network-time offset.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <zunCore/log.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/asn1/utils.h>

#include "CoreHelpers.h"

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

std::string today(time_t shift = 0) {
    const time_t t = time(nullptr) + shift;
    struct tm tm {};
    localtime_r(&t, &tm);
    char d[16];
    std::strftime(d, sizeof d, "%Y%m%d", &tm);
    return d;
}

const std::string kHeader[] = {
    std::string("====Crypto Version: ") + VSC_Get_Crypto_Version() + "====",
    std::string("====PKI Version: ") + get_PkiVersion() + "====",
    "====Core Version: ZEPHALT_Core_for_C 2.4.14====",
};

// "[YYYY-MM-DD hh:mm:ss] [pid:tid] [LEVEL] " and the rest of a record.
const std::regex kRecord(R"(\[(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\] \[(\d+):(\d+)\] \[([A-Z]+)\] (.*))");

class LogTest : public ::testing::Test {
protected:
    void TearDown() override {
        VCL_LogClose();
        VCL_Log_Init(nullptr, nullptr, 0, 0);
        g_gap_with_ntp = 0;
    }
    std::string path(const std::string& prefix, time_t shift = 0) const {
        return m_dir / (prefix + "_" + today(shift) + ".log");
    }
    zqtest::TempDir m_dir{"core-log"};
};

TEST_F(LogTest, RecordsLevelsAndFormat) {
    ASSERT_EQ(VCL_Log_Init(m_dir.path().c_str(), "core", 3, 'F'), 0);
    for (int level = 1; level <= 8; ++level) VCL_Log(level, "src.cpp", 10 + level, "level %d", level);
    VCL_Log(3, "src.cpp", 0, "no position");
    VCL_Log(3, nullptr, 5, "no file");
    VCL_log(2, "short %s", "form");
    VCL_log(1, "%s", std::string(3000, 'y').c_str());
    VCL_LogClose();

    const auto lines = linesOf(zqtest::readFile(path("core")));
    ASSERT_EQ(lines.size(), 3u + 7u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(lines[i], kHeader[i]);
    const char* expected[] = {
        "[ALERT] [level 1](src.cpp-11)",
        "[FATAL] [level 2](src.cpp-12)",
        "[ERROR] [level 3](src.cpp-13)",
        "[ERROR] [no position]",
        "[ERROR] [no file]",
        "[FATAL] [short form]",
    };
    const std::string pid = std::to_string(getpid());
    const std::string tid = std::to_string(static_cast<unsigned long>(pthread_self()));
    for (size_t i = 0; i < 6; ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[3 + i], m, kRecord)) << lines[3 + i];
        EXPECT_EQ(m[2].str(), pid);
        EXPECT_EQ(m[3].str(), tid);
        EXPECT_EQ("[" + m[4].str() + "] " + m[5].str(), expected[i]);
    }
    // VCL_log cuts its message at 2047 characters.
    EXPECT_NE(lines[9].find("[" + std::string(2047, 'y') + "]"), std::string::npos);
    EXPECT_EQ(lines[9].find(std::string(2048, 'y')), std::string::npos);

    struct stat st {};
    ASSERT_EQ(stat(path("core").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);  // level 7 dumps key bytes
}

TEST_F(LogTest, LevelNamesAndChange) {
    ASSERT_EQ(VCL_Log_Init(m_dir.path().c_str(), "names", 9, 'F'), 0);
    for (int level = 0; level <= 9; ++level) VCL_Log(level, nullptr, 0, "x");
    EXPECT_EQ(VCL_setLogLevel(2), &g_loginfo);  // logged under the old level 9
    EXPECT_EQ(g_loginfo.level, 2);
    VCL_setLogLevel(5);  // logged under level 2: dropped
    VCL_LogClose();
    const auto lines = linesOf(zqtest::readFile(path("names")));
    ASSERT_EQ(lines.size(), 3u + 11u);
    const char* names[] = {"OFF", "ALERT", "FATAL", "ERROR", "WARN", "NORMAL", "NOTICE", "INFO", "DEBUG", "DEBUG"};
    for (int i = 0; i < 10; ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[3 + i], m, kRecord));
        EXPECT_EQ(m[4].str(), names[i]);
    }
    EXPECT_NE(lines[13].find("[DEBUG] [LogLevel Change [ 9 => 2 ]]"), std::string::npos) << lines[13];
}

TEST_F(LogTest, HexDumps) {
    ASSERT_EQ(VCL_Log_Init(m_dir.path().c_str(), "hex", 7, 'F'), 0);
    const std::string data = "0123456789abcdef\x01\x02\x7f~";
    VCL_Log_HEXA(7, "dump.cpp", 4, "twenty", coretest::u8(data), 20);
    VCL_Log_HEXA(7, nullptr, 0, "empty", nullptr, 0);
    VCL_Log_HEXA(8, nullptr, 0, "dropped", coretest::u8(data), 20);
    VCL_LogClose();
    const auto lines = linesOf(zqtest::readFile(path("hex")));
    const std::string rule(80, '-');
    const std::string header = "                 1  2  3  4  5  6  7  8  9  0  A  B  C  D  E  F";
    ASSERT_EQ(lines.size(), 3u + 7u + 5u);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[3], m, kRecord));
    EXPECT_EQ(m[4].str(), "INFO");
    EXPECT_EQ(m[5].str(), "(dump.cpp-4)[twenty]");
    EXPECT_EQ(lines[4], rule);
    EXPECT_EQ(lines[5], header);
    EXPECT_EQ(lines[6], rule);
    EXPECT_EQ(lines[7], "0000000-0000015 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 0123456789abcdef");
    EXPECT_EQ(lines[8], "0000016-0000031 01 02 7F 7E " + std::string(36, ' ') + "...~");
    EXPECT_EQ(lines[9], rule);
    ASSERT_TRUE(std::regex_match(lines[10], m, kRecord));
    EXPECT_EQ(m[5].str(), "[empty]");
    EXPECT_EQ(lines[11], rule);
    EXPECT_EQ(lines[12], header);
    EXPECT_EQ(lines[13], rule);
    EXPECT_EQ(lines[14], rule);
}

TEST_F(LogTest, TimestampsCarryTheNetworkOffset) {
    const char* oldTz = std::getenv("TZ");
    const std::string saved = oldTz ? oldTz : "";
    setenv("TZ", "Asia/Seoul", 1);
    tzset();
    g_gap_with_ntp = 3600;
    ASSERT_EQ(VCL_Log_Init(m_dir.path().c_str(), "gap", 5, 'F'), 0);
    VCL_Log(5, nullptr, 0, "stamp");
    VCL_LogClose();
    const auto clock = zqtest::run({"date", "+%Y-%m-%d %H:%M:%S"}, {}, {"TZ=Asia/Seoul"});
    g_gap_with_ntp = 0;
    const auto lines = linesOf(zqtest::readFile(path("gap", 3600)));
    if (oldTz)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    ASSERT_EQ(lines.size(), 4u);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[3], m, kRecord));
    auto instant = [](const std::string& text) {
        struct tm tm {};
        strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &tm);
        return timegm(&tm);  // both read the same way: only the difference counts
    };
    const long ahead = static_cast<long>(instant(m[1].str()) - instant(clock.output));
    EXPECT_GE(ahead, 3598);
    EXPECT_LE(ahead, 3600);
}

TEST_F(LogTest, ForkedWritersLeaveWholeLines) {
    const auto r = zqtest::run({CORE_TEST_HELPER, "writers", m_dir.path(), "10000"});
    ASSERT_EQ(r.status, 0);
    const auto lines = linesOf(zqtest::readFile(path("writers")));
    ASSERT_EQ(lines.size(), 3u + 20000u);
    const std::regex body(R"(\[NORMAL\] \[child ([01]) record (\d+) x{300} end\]\(writer-[12]\))");
    int next[2] = {0, 0};
    for (size_t i = 3; i < lines.size(); ++i) {
        std::smatch m, b;
        ASSERT_TRUE(std::regex_match(lines[i], m, kRecord)) << i << ": " << lines[i];
        const std::string rest = "[" + m[4].str() + "] " + m[5].str();
        ASSERT_TRUE(std::regex_match(rest, b, body)) << i << ": " << lines[i];
        const int child = std::stoi(b[1].str());
        ASSERT_EQ(std::stoi(b[2].str()), next[child]++);  // each writer's records in order
    }
    EXPECT_EQ(next[0], 10000);
    EXPECT_EQ(next[1], 10000);
}

TEST_F(LogTest, ThreadsOfOneProcessLeaveWholeLines) {
    ASSERT_EQ(VCL_Log_Init(m_dir.path().c_str(), "threads", 8, 'F'), 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 2000; ++i) {
                VCL_Log(5, "thread", t + 1, "t%d r%d %s", t, i, std::string(200, 'z').c_str());
                if (i % 500 == 0) {
                    const unsigned char bytes[40] = {};
                    VCL_Log_HEXA(7, nullptr, 0, "dump", bytes, sizeof bytes);
                }
            }
        });
    for (auto& th : threads) th.join();
    VCL_LogClose();
    const auto lines = linesOf(zqtest::readFile(path("threads")));
    int records = 0;
    for (size_t i = 3; i < lines.size(); ++i) {
        if (lines[i].find("[NORMAL]") == std::string::npos) continue;
        ++records;
        ASSERT_NE(lines[i].find(std::string(200, 'z') + "](thread-"), std::string::npos) << lines[i];
    }
    EXPECT_EQ(records, 8000);
    EXPECT_EQ(lines.size(), 3u + 8000u + 16u * 8u);  // 16 dumps: head, 3 rules, 3 lines of bytes, rule
}

TEST_F(LogTest, NewFileAfterLocalMidnight) {
    const auto r = zqtest::run({"faketime", "2025-03-01 23:59:58", CORE_TEST_HELPER, "roll", m_dir.path()}, {},
                               {"TZ=Asia/Seoul", "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"});
    ASSERT_EQ(r.status, 0);
    const auto before = linesOf(zqtest::readFile(m_dir / "roll_20250301.log"));
    const auto after = linesOf(zqtest::readFile(m_dir / "roll_20250302.log"));
    ASSERT_EQ(before.size(), 4u);
    EXPECT_NE(before[3].find("[before midnight]"), std::string::npos);
    EXPECT_NE(before[3].find("[2025-03-01 23:59:5"), std::string::npos);
    ASSERT_EQ(after.size(), 5u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(after[i], kHeader[i]);
    EXPECT_EQ(after[3], "");  // the empty line of a roll-over
    EXPECT_NE(after[4].find("[2025-03-02 00:00:0"), std::string::npos);
    EXPECT_NE(after[4].find("[after midnight](helper-2)"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(stat((m_dir / "roll_20250302.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(LogTest, LockDescriptor) {
    // Standard input closed, as in a daemon: the lock still gets 3 or above.
    const int saved = dup(0);
    close(0);
    const int fd = VCL_LockInit();
    dup2(saved, 0);
    close(saved);
    ASSERT_GE(fd, 3);
    EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
    EXPECT_EQ(VCL_LockWait(fd), 0);
    EXPECT_EQ(VCL_LockRelease(fd), 0);
    EXPECT_EQ(VCL_LockClear(fd), 0);
    EXPECT_EQ(VCL_LockClear(0), 0);  // 0 is "none", never standard input

    // A lock descriptor closed behind the log's back drops records at once.
    ASSERT_EQ(VCL_Log_Init(m_dir.path().c_str(), "closed", 5, 'F'), 0);
    ASSERT_GE(g_lock_fd, 3);
    close(g_lock_fd);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(VCL_Log(5, nullptr, 0, "dropped"), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(VCL_LockWait(g_lock_fd), -1);
    g_lock_fd = 0;
}

TEST_F(LogTest, InitRefusesBadArgumentsAndKeepsTheConfiguration) {
    ASSERT_EQ(VCL_Log_Init(m_dir.path().c_str(), "first", 5, 'F'), 0);
    const std::string longDir = m_dir.path() + "/" + std::string(240, 'd');
    EXPECT_EQ(VCL_Log_Init(nullptr, "p", 5, 'F'), -1);
    EXPECT_EQ(VCL_Log_Init(m_dir.path().c_str(), nullptr, 5, 'F'), -1);
    EXPECT_EQ(VCL_Log_Init(longDir.c_str(), "p", 5, 'F'), -1);  // checked before any copy
    EXPECT_STREQ(g_loginfo.prefix, "first");
    EXPECT_EQ(g_loginfo.level, 5);

    // A second init while a stream is open keeps the stream and takes the
    // new settings.
    EXPECT_EQ(VCL_Log_Init(m_dir.path().c_str(), "second", 8, 'F'), 0);
    VCL_Log(8, nullptr, 0, "still the first file");
    VCL_LogClose();
    EXPECT_NE(zqtest::readFile(path("first")).find("still the first file"), std::string::npos);
    EXPECT_FALSE(zqtest::fileExists(path("second")));

    EXPECT_EQ(VCL_Log_Init((m_dir / "missing").c_str(), "x", 5, 'F'), -1);
    EXPECT_EQ(VCL_Log_Init(nullptr, nullptr, 0, 'F'), 0);  // level 0: off
    EXPECT_EQ(VCL_Log(1, nullptr, 0, "off"), -1);
}

TEST_F(LogTest, StandardOutput) {
    const std::string out = m_dir / "stdout.txt";
    std::fflush(stdout);
    const int saved = dup(1);
    const int file = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(file, 1);
    close(file);
    ASSERT_EQ(VCL_Log_Init(nullptr, nullptr, 4, 'S'), 0);
    EXPECT_EQ(g_corelogfp, stdout);
    VCL_Log(4, nullptr, 0, "to standard output");
    VCL_Log(5, nullptr, 0, "not this one");
    VCL_LogClose();
    EXPECT_EQ(g_corelogfp, nullptr);
    VCL_Log(4, nullptr, 0, "after the close");

    // From standard output to a file: the file gets the records, and
    // standard output is never closed as if it were the day's file.
    ASSERT_EQ(VCL_Log_Init(nullptr, nullptr, 4, 'S'), 0);
    ASSERT_EQ(VCL_Log_Init(m_dir.path().c_str(), "switched", 4, 'F'), 0);
    EXPECT_NE(g_corelogfp, stdout);
    VCL_Log(4, nullptr, 0, "into the file");
    VCL_LogClose();
    EXPECT_NE(zqtest::readFile(path("switched")).find("[into the file]"), std::string::npos);
    EXPECT_NE(fcntl(1, F_GETFD), -1);
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    const auto lines = linesOf(zqtest::readFile(out));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("[WARN] [to standard output]"), std::string::npos);
}

}  // namespace
