// The network-time client against chronyd on 127.0.0.1 (under faketime and
// in three time zones, with date as the peer) and against a UDP stand-in
// that sends chosen replies.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <thread>

#include <zunCore/crypto.h>
#include <zunCore/log.h>
#include <zunCore/ntp.h>
#include <zunCore/util.h>
#include <zunPKI/asn1/time64.h>

#include "CoreHelpers.h"

extern char** environ;

namespace {

using coretest::rc;

constexpr unsigned kNoAnswer = 0xd101011au;
constexpr long long kUnixEpoch = 2208988800LL;

// A UDP port on 127.0.0.1 that was free a moment ago.
int freePort() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    close(fd);
    return ntohs(a.sin_port);
}

// chronyd serving its own clock on a free port of 127.0.0.1, leaving the
// host clock alone (-x); stopped by its process id.
class Chronyd {
public:
    Chronyd() : m_dir("chronyd"), m_port(freePort()) {
        zqtest::writeFile(m_dir / "chrony.conf", "port " + std::to_string(m_port) +
                                                     "\nbindaddress 127.0.0.1\nallow 127.0.0.1\nlocal stratum 10\n"
                                                     "cmdport 0\npidfile " +
                                                     m_dir / "chronyd.pid" + "\n");
        const std::string conf = m_dir / "chrony.conf", log = m_dir / "chronyd.log";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const char* argv[] = {"chronyd", "-x", "-d", "-f", conf.c_str(), nullptr};
        if (posix_spawnp(&m_pid, "chronyd", &actions, nullptr, const_cast<char**>(argv), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        // Up once it answers.
        for (int i = 0; i < 50 && m_pid > 0; ++i) {
            char* text = nullptr;
            if (VCL_NTP_Get_Current_GM_Time("127.0.0.1", m_port, &text) == 0) {
                VCL_Free(text, 16);
                m_ready = true;
                break;
            }
            usleep(100000);
        }
    }
    ~Chronyd() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    int port() const { return m_port; }
    bool ready() const { return m_ready; }
    std::string log() const { return zqtest::readFile(m_dir / "chronyd.log"); }

private:
    zqtest::TempDir m_dir;
    int m_port;
    pid_t m_pid = -1;
    bool m_ready = false;
};

// Answers every request on 127.0.0.1 with what reply() makes of it (nothing
// for an empty reply), until destroyed.
class StandIn {
public:
    using Reply = std::function<std::string(const std::string& request)>;
    explicit StandIn(Reply reply) : m_reply(std::move(reply)) {
        m_fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t n = sizeof a;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &n);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~StandIn() {
        m_stop = true;
        m_thread.join();
        close(m_fd);
    }
    int port() const { return m_port; }

private:
    void serve() {
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            char buf[512];
            sockaddr_in from{};
            socklen_t n = sizeof from;
            const ssize_t got = recvfrom(m_fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &n);
            if (got <= 0) continue;
            const std::string out = m_reply(std::string(buf, static_cast<size_t>(got)));
            if (!out.empty()) sendto(m_fd, out.data(), out.size(), 0, reinterpret_cast<sockaddr*>(&from), n);
        }
    }

    Reply m_reply;
    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

void putBig32(std::string& s, size_t at, unsigned long v) {
    for (int i = 0; i < 4; ++i) s[at + static_cast<size_t>(i)] = static_cast<char>(v >> (24 - 8 * i) & 0xFF);
}

// A good server reply to request with the given transmit time (Unix
// seconds; the NTP seconds field wraps in 2036).
std::string goodReply(const std::string& request, long long unixSeconds, unsigned long fraction = 0) {
    std::string r(48, '\0');
    r[0] = static_cast<char>(0 << 6 | 4 << 3 | 4);  // no leap warning, version 4, server
    r[1] = 2;                                       // stratum
    r.replace(24, 8, request.substr(40, 8));        // originate = our transmit time
    const unsigned long long ntp = static_cast<unsigned long long>(unixSeconds + kUnixEpoch);
    putBig32(r, 32, static_cast<unsigned long>(ntp & 0xFFFFFFFF));  // receive
    putBig32(r, 40, static_cast<unsigned long>(ntp & 0xFFFFFFFF));  // transmit
    putBig32(r, 44, fraction);
    return r;
}

std::string gmtText(long long t) {
    const Time64_T v = t;
    struct TM tm {};
    gmtime64_r(&v, &tm);
    char out[16];
    std::snprintf(out, sizeof out, "%04d%02d%02d%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                  tm.tm_min, tm.tm_sec);
    return out;
}

long long gmtSeconds(const std::string& text) {
    struct tm tm {};
    if (!strptime(text.c_str(), "%Y%m%d%H%M%S", &tm)) return -1;
    return timegm(&tm);
}

// Sets TZ for the scope of a test and restores it.
class Zone {
public:
    explicit Zone(const char* tz) {
        if (const char* old = std::getenv("TZ")) m_old = old;
        m_had = std::getenv("TZ") != nullptr;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~Zone() {
        if (m_had)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string m_old;
    bool m_had = false;
};

const char* const kZones[] = {"Asia/Seoul", "UTC", "America/New_York"};

class NtpChronyd : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_server = new Chronyd; }
    static void TearDownTestSuite() {
        delete s_server;
        s_server = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(s_server->ready()) << s_server->log(); }
    static Chronyd* s_server;
};
Chronyd* NtpChronyd::s_server = nullptr;

TEST_F(NtpChronyd, OffsetUnderFaketimeInEveryZone) {
    for (const char* tz : kZones) {
        const auto r =
            zqtest::run({"faketime", "-f", "-3600s", CORE_TEST_HELPER, "ntp", std::to_string(s_server->port())}, {},
                        {std::string("TZ=") + tz, "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"});
        ASSERT_EQ(r.status, 0) << tz << ": " << r.output;
        const int gap = std::atoi(r.output.c_str());
        EXPECT_GE(gap, 3598) << tz;
        EXPECT_LE(gap, 3602) << tz;
    }
}

TEST_F(NtpChronyd, TimeTextsEqualDate) {
    for (const char* tz : kZones) {
        SCOPED_TRACE(tz);
        Zone zone(tz);
        char* gm = nullptr;
        ASSERT_EQ(VCL_NTP_Get_Current_GM_Time("127.0.0.1", s_server->port(), &gm), 0);
        const std::string gmText = gm;
        VCL_Free(gm, 16);
        const auto date = zqtest::run({"date", "-u", "+%Y%m%d%H%M%S"});
        EXPECT_LE(std::llabs(gmtSeconds(gmText) - gmtSeconds(date.output.substr(0, 14))), 2) << gmText;

        // The local text is the host's local time of the server's instant.
        char* local = nullptr;
        ASSERT_EQ(VCL_NTP_Get_Current_Local_Time("127.0.0.1", s_server->port(), &local), 0);
        const std::string localText = local;
        VCL_Free(local, 16);
        const auto localDate = zqtest::run({"date", "+%Y%m%d%H%M%S"}, {}, {std::string("TZ=") + tz});
        const time_t ours = VCL_Str_to_Time(localText.c_str()),
                     peer = VCL_Str_to_Time(localDate.output.substr(0, 14).c_str());
        EXPECT_LE(std::llabs(static_cast<long long>(ours - peer)), 2) << localText;

        time_t t = 0;
        ASSERT_EQ(VCL_NTP_Get_Current_Local_Time_t("127.0.0.1", s_server->port(), &t), 0);
        EXPECT_LE(std::llabs(static_cast<long long>(t - time(nullptr))), 2);
    }
}

TEST_F(NtpChronyd, InitAndClose) {
    ASSERT_EQ(VCL_NTP_Init("127.0.0.1", s_server->port()), 0);
    EXPECT_LE(std::abs(g_gap_with_ntp), 2);
    EXPECT_GT(g_ntplock_fd, 2);
    g_gap_with_ntp = 77;
    EXPECT_EQ(VCL_NTP_Close(), 0);
    EXPECT_EQ(g_gap_with_ntp, 0);
    EXPECT_EQ(g_ntplock_fd, 0);
    // A new lock after a close.
    ASSERT_EQ(VCL_NTP_Init("127.0.0.1", s_server->port()), 0);
    EXPECT_GT(g_ntplock_fd, 2);
    EXPECT_EQ(VCL_NTP_Close(), 0);
}

TEST(NtpStandIn, BadRepliesFailAndLeaveTheOffset) {
    struct Bad {
        const char* what;
        std::function<std::string(std::string)> change;  // of a good reply
    };
    const Bad bad[] = {
        {"short", [](std::string r) { return r.substr(0, 40); }},
        {"client mode", [](std::string r) { return r[0] = static_cast<char>((r[0] & ~7) | 3), r; }},
        {"broadcast mode", [](std::string r) { return r[0] = static_cast<char>((r[0] & ~7) | 5), r; }},
        {"version 2", [](std::string r) { return r[0] = static_cast<char>((r[0] & ~0x38) | 2 << 3), r; }},
        {"stratum 0", [](std::string r) { return r[1] = 0, r; }},
        {"stratum 16", [](std::string r) { return r[1] = 16, r; }},
        {"unsynchronised", [](std::string r) { return r[0] = static_cast<char>(r[0] | 0xC0), r; }},
        {"wrong originate", [](std::string r) { return r[27] = static_cast<char>(r[27] ^ 1), r; }},
        {"no transmit time", [](std::string r) { return r.replace(40, 8, std::string(8, '\0')), r; }},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.what);
        StandIn server([&](const std::string& req) { return b.change(goodReply(req, time(nullptr) + 500)); });
        g_gap_with_ntp = 1234;
        EXPECT_EQ(rc(VCL_NTP_Init("127.0.0.1", server.port())), kNoAnswer);
        EXPECT_EQ(g_gap_with_ntp, 1234);
        char* text = reinterpret_cast<char*>(1);
        EXPECT_EQ(rc(VCL_NTP_Get_Current_GM_Time("127.0.0.1", server.port(), &text)), kNoAnswer);
        EXPECT_EQ(text, nullptr);
    }
    // The good reply the bad ones were made from passes.
    StandIn good([](const std::string& req) { return goodReply(req, time(nullptr) + 500); });
    ASSERT_EQ(VCL_NTP_Init("127.0.0.1", good.port()), 0);
    EXPECT_GE(g_gap_with_ntp, 499);
    EXPECT_LE(g_gap_with_ntp, 501);
    VCL_NTP_Close();
}

TEST(NtpStandIn, SilenceTimesOut) {
    StandIn silent([](const std::string&) { return std::string(); });
    g_gap_with_ntp = 5;
    const time_t start = time(nullptr);
    EXPECT_EQ(rc(VCL_NTP_Init("127.0.0.1", silent.port())), kNoAnswer);
    EXPECT_LE(time(nullptr) - start, 5);
    EXPECT_EQ(g_gap_with_ntp, 5);
    g_gap_with_ntp = 0;
}

TEST(NtpStandIn, AfterAGapOf30TheClockIs30Ahead) {
    StandIn server([](const std::string& req) { return goodReply(req, time(nullptr) + 30, 0x80000000); });
    ASSERT_EQ(VCL_NTP_Init("127.0.0.1", server.port()), 0);
    EXPECT_GE(g_gap_with_ntp, 30);
    EXPECT_LE(g_gap_with_ntp, 31);
    ASN1_TIME* gmt = VCL_COM_getCurrentGMTime();
    ASSERT_NE(gmt, nullptr);
    const long long ahead = timegm64(gmt) - time(nullptr);
    free_ASN1_TIME(gmt);
    EXPECT_GE(ahead, 29);
    EXPECT_LE(ahead, 32);
    EXPECT_EQ(VCL_NTP_Close(), 0);
    EXPECT_EQ(g_gap_with_ntp, 0);
}

TEST(NtpStandIn, SecondEraReadsAs2040) {
    const long long y2040 = 2208988800LL;  // 2040-01-01 00:00:00Z in Unix seconds
    StandIn server([&](const std::string& req) { return goodReply(req, y2040 + 7); });
    char* text = nullptr;
    ASSERT_EQ(VCL_NTP_Get_Current_GM_Time("127.0.0.1", server.port(), &text), 0);
    EXPECT_STREQ(text, "20400101000007");
    VCL_Free(text, 16);
    Zone zone("Asia/Seoul");
    ASSERT_EQ(VCL_NTP_Get_Current_Local_Time("127.0.0.1", server.port(), &text), 0);
    EXPECT_STREQ(text, "20400101090007");
    VCL_Free(text, 16);
    time_t t = 0;
    ASSERT_EQ(VCL_NTP_Get_Current_Local_Time_t("127.0.0.1", server.port(), &t), 0);
    EXPECT_EQ(static_cast<long long>(t), y2040 + 7);
}

TEST(NtpStandIn, Refusals) {
    char* text = nullptr;
    EXPECT_EQ(rc(VCL_NTP_Get_Current_Time("127.0.0.1", 123, 0, nullptr)), 0xd1010061u);
    EXPECT_EQ(rc(VCL_NTP_Get_Current_GM_Time_t("127.0.0.1", 123, nullptr)), 0xd1010061u);
    EXPECT_EQ(rc(VCL_NTP_Get_Current_GM_Time("time.example", 123, &text)), 0xd1010003u);  // no name lookup
    EXPECT_EQ(rc(VCL_NTP_Get_Current_GM_Time("127.0.0.1", 70000, &text)), 0xd1010003u);
    EXPECT_EQ(text, nullptr);
}

TEST(NtpArithmetic, MillisecondsAndDates) {
    unsigned char answer[48] = {};
    const unsigned char stamp[8] = {0xE8, 0x00, 0x00, 0x01, 0x80, 0x00, 0x00, 0x00};
    std::memcpy(answer + 40, stamp, 8);
    EXPECT_EQ(VCL_NTP_get_milliseconds(answer, 40), 0xE8000001ULL * 1000 + 500);
    // Seconds with the top bit clear lie after 2036.
    const unsigned char era1[8] = {0x07, 0x55, 0xA0, 0x00, 0x40, 0x00, 0x00, 0x00};
    std::memcpy(answer + 40, era1, 8);
    EXPECT_EQ(VCL_NTP_get_milliseconds(answer, 40), (0x0755A000ULL + (1ULL << 32)) * 1000 + 250);
    EXPECT_EQ(VCL_NTP_get_milliseconds(nullptr, 40), 0u);

    struct Day {
        int day, year, month, mday;
    };
    for (const Day& d : {Day{0, 1900, 1, 1}, Day{36523, 1999, 12, 31}, Day{36524, 2000, 1, 1}, Day{59, 1900, 3, 1},
                         Day{51134, 2040, 1, 1}}) {
        int y = 0, m = 0, md = 0;
        ASSERT_EQ(VCL_NTP_get_gregorian_data(d.day, 0, &y, &m, &md), 0);
        EXPECT_EQ(std::to_string(y) + "-" + std::to_string(m) + "-" + std::to_string(md),
                  std::to_string(d.year) + "-" + std::to_string(d.month) + "-" + std::to_string(d.mday))
            << d.day;
    }
    // Every 7th day from 1900 to past 2104 against the system's calendar.
    for (int day = 0; day < 75000; day += 7) {
        int y = 0, m = 0, md = 0;
        ASSERT_EQ(VCL_NTP_get_gregorian_data(day, 0, &y, &m, &md), 0);
        char text[16];
        std::snprintf(text, sizeof text, "%04d%02d%02d000000", y, m, md);
        ASSERT_EQ(text, gmtText(static_cast<long long>(day) * 86400 - kUnixEpoch)) << day;
    }
    int y = 0, m = 0, md = 0;
    EXPECT_EQ(VCL_NTP_get_gregorian_data(-1, 0, &y, &m, &md), -1);
}

}  // namespace
