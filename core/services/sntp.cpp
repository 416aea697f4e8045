// The SNTP client: one request to one server, the reply checked as a client
// of RFC 4330 must, and the offset between the server's time and ours kept
// in g_gap_with_ntp. Sockets and the clock are confined to this file.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <zunCore/error.h>
#include <zunCore/log.h>
#include <zunCore/ntp.h>
#include <zunCore/util.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/asn1/time64.h>

#include "services/sntp_internal.hpp"
#include "util/core_internal.hpp"

VCL_API int g_ntplock_fd = 0;

namespace {

constexpr int code(int reason) { return VCL_CORE_CODE(VCL_CAT_NTP, reason); }
constexpr int kSocketFailed = VCL_CORE_CODE(VCL_CAT_NTP_SOCKET, VCL_R_SOCKET);
constexpr int kNoAnswer = VCL_CORE_CODE(VCL_CAT_NTP, VCL_R_NO_ANSWER);

// A public time service's anycast address, for callers that name none.
constexpr char kDefaultServer[] = "216.239.35.0";
constexpr int kDefaultPort = 123;
// How long a reply is waited for.
constexpr int kTimeoutSeconds = 3;

constexpr size_t kPacket = 48;
constexpr size_t kOriginate = 24, kTransmit = 40;
// Seconds from 1900-01-01 (the NTP epoch) to 1970-01-01.
constexpr long long kUnixEpoch = 2208988800LL;
// Seconds whose top bit is clear lie after 2036-02-07 (era 1).
constexpr unsigned long long kEra = 1ULL << 32;

// The server's transmit time: milliseconds since 1900, era included.
struct ServerTime {
    unsigned long long millis = 0;
    long long unixSeconds() const { return static_cast<long long>(millis / 1000) - kUnixEpoch; }
};

struct Socket {
    int fd;
    ~Socket() {
        if (fd >= 0) ::close(fd);
    }
};

long long nowMillis() {
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// One exchange with the server. sentAt and receivedAt are the clock's
// milliseconds around it.
int query(const char* server, int port, ServerTime& out, long long* sentAt = nullptr, long long* receivedAt = nullptr) {
    if (port < 0 || port > 65535) return code(VCL_R_INVALID_PARAM);
    struct sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port == 0 ? kDefaultPort : port));
    // A dotted address only: no name is resolved.
    if (inet_pton(AF_INET, server ? server : kDefaultServer, &addr.sin_addr) != 1) return code(VCL_R_INVALID_PARAM);

    Socket sock{::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
    if (sock.fd < 0) return kSocketFailed;
    struct timeval timeout {
        kTimeoutSeconds, 0
    };
    // Connected: datagrams from any other address are not delivered.
    if (::setsockopt(sock.fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) != 0 ||
        ::connect(sock.fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
        return kSocketFailed;

    // Leap 0, version 3, mode 3; a random transmit time the server must
    // send back as our originate time.
    unsigned char request[kPacket] = {0x1B};
    if (VSC_Rand_Bytes_PRNG(request + kTransmit, 8) != 0) return kSocketFailed;
    const long long sent = nowMillis();
    if (::send(sock.fd, request, sizeof request, 0) != static_cast<ssize_t>(sizeof request)) return kSocketFailed;

    unsigned char reply[512];
    ssize_t n;
    do {
        n = ::recv(sock.fd, reply, sizeof reply, 0);
    } while (n < 0 && errno == EINTR);
    const long long received = nowMillis();
    if (n < 0) {
        ZCORE_LOG(VCL_LOG_ERROR, "no answer from the time server: %s", std::strerror(errno));
        return kNoAnswer;
    }
    if (const char* fault = zcore::sntp::replyFault(reply, static_cast<size_t>(n), request)) {
        ZCORE_LOG(VCL_LOG_ERROR, "time server answer not used: %s", fault);
        return kNoAnswer;
    }
    out.millis = VCL_NTP_get_milliseconds(reply, static_cast<int>(kTransmit));
    if (sentAt) *sentAt = sent;
    if (receivedAt) *receivedAt = received;
    return 0;
}

int timeText(const ServerTime& t, bool local, char** text) {
    char* buf = static_cast<char*>(std::calloc(16, 1));
    if (!buf) return code(VCL_R_MALLOC);
    if (!zcore::sntp::formatTime(t.millis, local, buf)) {
        std::free(buf);
        return code(VCL_R_INVALID_PARAM);
    }
    *text = buf;
    return 0;
}

int timeT(const char* server, int port, int local, time_t* t) {
    if (!t) return code(VCL_R_OUTPUT_NULL);
    char* text = nullptr;
    if (int rc = VCL_NTP_Get_Current_Time(server, port, local, &text); rc != 0) return rc;
    *t = VCL_Str_to_Time(text);
    VCL_Free(text, 16);
    return 0;
}

// Guards the lock descriptor and the offset between this process's threads;
// the fcntl lock on the descriptor does so between processes.
std::mutex gNtpMutex;

}  // namespace

const char* zcore::sntp::replyFault(const unsigned char* r, size_t n, const unsigned char* request) {
    if (n < kPacket) return "short";
    const int leap = r[0] >> 6, version = (r[0] >> 3) & 7, mode = r[0] & 7, stratum = r[1];
    if (mode != 4) return "not a server reply";
    if (version < 3 || version > 4) return "version";
    if (leap == 3) return "server not synchronised";
    if (stratum < 1 || stratum > 15) return "stratum (0: kiss-o'-death)";
    if (std::memcmp(r + kOriginate, request + kTransmit, 8) != 0) return "not the answer to our request";
    static const unsigned char zero[8] = {};
    if (std::memcmp(r + kTransmit, zero, 8) == 0) return "no transmit time";
    return nullptr;
}

bool zcore::sntp::formatTime(unsigned long long millis, bool local, char out[16]) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    const unsigned long long s = millis / 1000;
    if (local) {
        const Time64_T instant = static_cast<long long>(s) - kUnixEpoch;
        struct TM tm {};
        if (!localtime64_r(&instant, &tm)) return false;
        year = tm.tm_year + 1900;
        month = tm.tm_mon + 1;
        day = tm.tm_mday;
        hour = tm.tm_hour;
        minute = tm.tm_min;
        second = tm.tm_sec;
    } else {
        second = static_cast<int>(s % 60);
        minute = static_cast<int>(s / 60 % 60);
        hour = static_cast<int>(s / 3600 % 24);
        if (VCL_NTP_get_gregorian_data(static_cast<int>(s / 86400), 0, &year, &month, &day) != 0) return false;
    }
    if (year < 0 || year > 9999) return false;
    std::snprintf(out, 16, "%04d%02d%02d%02d%02d%02d", year, month, day, hour, minute, second);
    return true;
}

extern "C" {

VCL_API int VCL_NTP_Get_Current_Time(const char* server, int port, int local, char** text) {
    if (!text) return code(VCL_R_OUTPUT_NULL);
    *text = nullptr;
    ServerTime t;
    if (int rc = query(server, port, t); rc != 0) return rc;
    return timeText(t, local == 1, text);
}

VCL_API int VCL_NTP_Get_Current_GM_Time(const char* server, int port, char** text) {
    return VCL_NTP_Get_Current_Time(server, port, 0, text);
}

VCL_API int VCL_NTP_Get_Current_Local_Time(const char* server, int port, char** text) {
    return VCL_NTP_Get_Current_Time(server, port, 1, text);
}

VCL_API int VCL_NTP_Get_Current_GM_Time_t(const char* server, int port, time_t* t) { return timeT(server, port, 0, t); }

VCL_API int VCL_NTP_Get_Current_Local_Time_t(const char* server, int port, time_t* t) {
    return timeT(server, port, 1, t);
}

VCL_API int VCL_NTP_Init(const char* server, int port) {
    ServerTime t;
    long long sent = 0, received = 0;
    if (int rc = query(server, port, t, &sent, &received); rc != 0) return rc;
    // Both sides as instants: the server's against the middle of the
    // exchange, whatever the host's time zone.
    const long long serverMillis = t.unixSeconds() * 1000 + static_cast<long long>(t.millis % 1000);
    const long long gap = std::llround(static_cast<double>(serverMillis - (sent + received) / 2) / 1000.0);
    if (gap > INT_MAX || gap < INT_MIN) return code(VCL_R_INVALID_PARAM);

    std::lock_guard<std::mutex> guard(gNtpMutex);
    if (g_ntplock_fd <= 0) {
        const int fd = VCL_LockInit();
        g_ntplock_fd = fd > 0 ? fd : 0;  // without one, threads still take turns
    }
    VCL_LockWait(g_ntplock_fd);
    zcore::setGapWithNtp(static_cast<int>(gap));
    if (g_ntplock_fd > 0) VCL_LockRelease(g_ntplock_fd);
    ZCORE_LOG(VCL_LOG_NOTICE, "network-time offset %d s", static_cast<int>(gap));
    return 0;
}

VCL_API int VCL_NTP_Close(void) {
    std::lock_guard<std::mutex> guard(gNtpMutex);
    VCL_LockWait(g_ntplock_fd);
    zcore::setGapWithNtp(0);
    if (g_ntplock_fd > 0) VCL_LockRelease(g_ntplock_fd);
    const int rc = VCL_LockClear(g_ntplock_fd);
    g_ntplock_fd = 0;  // a later Init makes a new one
    return rc;
}

VCL_API uint64_t VCL_NTP_get_milliseconds(const unsigned char* answer, int offset) {
    if (!answer || offset < 0) return 0;
    const unsigned char* p = answer + offset;
    unsigned long long seconds = static_cast<unsigned long long>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
    const unsigned long long fraction = static_cast<unsigned long long>(p[4]) << 24 | p[5] << 16 | p[6] << 8 | p[7];
    if ((seconds & 0x80000000ULL) == 0) seconds += kEra;
    return seconds * 1000 + fraction * 1000 / kEra;
}

VCL_API int VCL_NTP_get_gregorian_data(int day, int /*reserved*/, int* year, int* month, int* mday) {
    if (day < 0 || !year || !month || !mday) return -1;
    const long long d = day;
    const long long b = (4 * d + 2775607) / 146097;
    long long a = 4 * ((4 * d - 146097 * b + 2775607) / 4);
    const long long c = (a + 3) / 1461;
    a = 5 * ((a - 1461 * c + 7) / 4) - 3;
    const long long m = a / 153;
    *year = static_cast<int>(100 * b + c + (m > 9 ? 1 : 0));
    *month = static_cast<int>(m < 10 ? m - 9 + 12 : m - 9);
    *mday = static_cast<int>((a % 153 + 5) / 5);
    return 0;
}

}  // extern "C"
