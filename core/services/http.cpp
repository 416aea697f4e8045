// The HTTP/1.0 client: one request per connection, optionally through a
// forwarding proxy and a SOCKS 4 hop; the response is read by
// HttpResponseReader, which sees bytes only, never the socket.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>

#include <zunCore/net.h>

#include "services/net_internal.hpp"

namespace zcore {

namespace {

constexpr uint16_t kHttpPort = 80;
constexpr uint16_t kSocksPort = 1080;
constexpr int kDefaultReadTimeout = 20;
// The Cookie and Referer lines and the extra header line keep the sizes
// callers have always been held to; a longer one is refused, never cut. The
// whole head has room for all three and a long URL, well inside what servers
// take (8 KiB and more).
constexpr size_t kMaxHeaderLine = 1024;
constexpr size_t kMaxExtraHeader = 1021;
constexpr size_t kMaxRequestHead = 4096;
// The longest host name DNS has room for is 253; a little slack for literals.
constexpr size_t kMaxHost = 255;
// The SOCKS 4 user id goes out as at most this many characters.
constexpr size_t kMaxSocksUser = 31;
// The first body buffer when no Content-Length says how much comes.
constexpr size_t kFirstBodyRoom = 64 * 1024;
// A receive into the body never asks for more than this at once.
constexpr size_t kMaxRecv = 1024 * 1024;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

bool hostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_';
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// A header value a caller gives must stay one line.
bool oneLine(const char* text) { return text == nullptr || std::strpbrk(text, "\r\n") == nullptr; }

class Socket {
public:
    Socket() = default;
    explicit Socket(int fd) : m_fd(fd) {}
    ~Socket() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    Socket(Socket&& o) noexcept : m_fd(std::exchange(o.m_fd, -1)) {}
    Socket& operator=(Socket&& o) noexcept {
        std::swap(m_fd, o.m_fd);
        return *this;
    }
    int fd() const { return m_fd; }

private:
    int m_fd = -1;
};

// poll rather than select: a descriptor above FD_SETSIZE must not write past
// an fd_set. 1 ready, 0 timed out, -1 error.
int waitFor(int fd, short events, int seconds) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int r = ::poll(&p, 1, seconds > 0 ? seconds * 1000 : -1);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        return r == 0 ? 0 : 1;
    }
}

// Up to n bytes after waiting at most seconds: the count, 0 at the peer's
// close, -1 on an error or a time-out (timedOut tells them apart).
ssize_t recvTimeout(int fd, char* buf, size_t n, int seconds, bool& timedOut) {
    timedOut = false;
    const int w = waitFor(fd, POLLIN, seconds);
    if (w == 0) timedOut = true;
    if (w <= 0) return -1;
    for (;;) {
        const ssize_t r = ::recv(fd, buf, n, 0);
        if (r < 0 && errno == EINTR) continue;
        return r;
    }
}

// The whole of data, each wait at most seconds; no SIGPIPE when the peer has
// gone.
bool sendAll(int fd, const char* data, size_t n, int seconds) {
    while (n > 0) {
        if (waitFor(fd, POLLOUT, seconds) != 1) return false;
        const ssize_t r = ::send(fd, data, n, MSG_NOSIGNAL);
        if (r < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (r <= 0) return false;
        data += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

bool readExactly(int fd, char* buf, size_t n, int seconds) {
    while (n > 0) {
        bool timedOut = false;
        const ssize_t r = recvTimeout(fd, buf, n, seconds, timedOut);
        if (r <= 0) return false;
        buf += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

// Connects with a time-out (0: a blocking connect); a refused or timed-out
// connect fails.
bool connectTimeout(int fd, const sockaddr* addr, socklen_t len, int seconds) {
    if (seconds <= 0) {
        for (;;) {
            if (::connect(fd, addr, len) == 0) return true;
            if (errno != EINTR) return false;
            // An interrupted blocking connect goes on in the background.
            if (waitFor(fd, POLLOUT, 0) != 1) return false;
            break;
        }
    } else {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return false;
        const int r = ::connect(fd, addr, len);
        if (r != 0 && errno != EINPROGRESS) return false;
        if (r != 0 && waitFor(fd, POLLOUT, seconds) != 1) return false;
        if (::fcntl(fd, F_SETFL, flags) < 0) return false;
    }
    // Writable also means a connect that failed: ask the socket.
    int err = 0;
    socklen_t errLen = sizeof err;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &errLen) == 0 && err == 0;
}

// A connected TCP socket to the first address of hp that answers.
Socket connectTo(const HostPort& hp, int seconds) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const std::string port = std::to_string(hp.port);
    if (::getaddrinfo(hp.host.c_str(), port.c_str(), &hints, &list) != 0) {
        ZCORE_LOG(VCL_LOG_ERROR, "http: cannot resolve %s", hp.host.c_str());
        return Socket();
    }
    Socket result;
    for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
        Socket s(::socket(a->ai_family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
        if (s.fd() < 0) continue;
        // A close waits this long at most for what is still unsent.
        const linger lg{1, 5};
        ::setsockopt(s.fd(), SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
        if (connectTimeout(s.fd(), a->ai_addr, a->ai_addrlen, seconds)) {
            result = std::move(s);
            break;
        }
    }
    ::freeaddrinfo(list);
    if (result.fd() < 0) ZCORE_LOG(VCL_LOG_ERROR, "http: cannot connect to %s:%u", hp.host.c_str(), hp.port);
    return result;
}

// SOCKS 4 names its destination by one IPv4 address.
bool ipv4Of(const HostPort& hp, uint32_t& addr) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(hp.host.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) return false;
    addr = reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(list);
    return true;
}

// The SOCKS 4 connect request for dest, and its 8-byte reply: granted or not.
bool socksConnect(int fd, const HostPort& dest, int seconds) {
    uint32_t addr = 0;
    if (!ipv4Of(dest, addr)) {
        ZCORE_LOG(VCL_LOG_ERROR, "http: SOCKS 4 needs an IPv4 address for %s", dest.host.c_str());
        return false;
    }
    const char* user = std::getenv("USER");
    std::string req;
    req += '\x04';
    req += '\x01';
    req += static_cast<char>(dest.port >> 8);
    req += static_cast<char>(dest.port & 0xff);
    req.append(reinterpret_cast<const char*>(&addr), 4);  // already in network order
    req += std::string_view(user ? user : "SSL").substr(0, kMaxSocksUser);
    req += '\0';
    char reply[8];
    if (!sendAll(fd, req.data(), req.size(), seconds) || !readExactly(fd, reply, sizeof reply, seconds)) {
        ZCORE_LOG(VCL_LOG_ERROR, "http: no SOCKS 4 reply");
        return false;
    }
    if (static_cast<unsigned char>(reply[1]) != 0x5A) {
        ZCORE_LOG(VCL_LOG_ERROR, "http: SOCKS 4 request refused (%02X)", static_cast<unsigned char>(reply[1]));
        // Reset rather than linger: nothing more goes to this server.
        const linger lg{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
        return false;
    }
    return true;
}

bool plainPostByte(unsigned char c) {
    return c == '*' || (c >= '-' && c <= '9') || c == '=' || (c >= '@' && c <= 'Z') || c == '_' ||
           (c >= 'a' && c <= 'z');
}

}  // namespace

// ---- URLs -------------------------------------------------------------------

bool parseHostPort(std::string_view text, uint16_t defaultPort, HostPort& out) {
    std::string_view host = text, port;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) return false;
        host = text.substr(1, close - 1);
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') return false;
        if (!rest.empty()) port = rest.substr(1);
        for (char c : host)
            if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return false;
    } else {
        const size_t colon = text.find(':');
        if (colon != std::string_view::npos) {
            host = text.substr(0, colon);
            port = text.substr(colon + 1);
        }
        for (char c : host)
            if (!hostChar(c)) return false;
    }
    if (host.empty() || host.size() > kMaxHost) return false;
    unsigned value = defaultPort;
    if (!port.empty()) {
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (ec != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535) return false;
    }
    out.host.assign(host);
    out.port = static_cast<uint16_t>(value);
    return true;
}

bool parseHttpUrl(std::string_view url, HttpUrl& out) {
    for (char c : url)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) return false;
    std::string_view rest = url;
    bool schemed = false;
    if (const size_t slashes = url.find("//"); slashes != std::string_view::npos) {
        const std::string_view scheme = url.substr(0, slashes);
        // Plain HTTP only: an https URL would send its request in clear text.
        if (!scheme.empty() && !equalsNoCase(scheme, "http:")) return false;
        schemed = !scheme.empty();
        rest = url.substr(slashes + 2);
    }
    const size_t end = rest.find_first_of("/?#");
    const std::string_view hostPart = rest.substr(0, end);
    std::string_view path = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    if (const size_t hash = path.find('#'); hash != std::string_view::npos) path = path.substr(0, hash);
    if (!parseHostPort(hostPart, kHttpPort, out.target)) return false;
    out.hostHeader.assign(hostPart);
    out.path = path.empty() || path.front() != '/' ? "/" + std::string(path) : std::string(path);
    out.absolute = schemed ? std::string(url) : "http://" + out.hostHeader + out.path;
    return true;
}

// ---- The response -----------------------------------------------------------

HttpResponseReader::HttpResponseReader(bool raw, size_t cap) : m_cap(cap) {
    if (raw) m_state = State::Body;
}

HttpResponseReader::State HttpResponseReader::fail(const char* why) {
    m_failure = why;
    m_state = State::Failed;
    return m_state;
}

HttpResponseReader::State HttpResponseReader::feed(const char* data, size_t n) {
    while (n > 0 && m_state == State::Header) {
        const char* nl = static_cast<const char*>(std::memchr(data, '\n', n));
        const size_t take = nl ? static_cast<size_t>(nl - data) : n;
        if (m_line.size() + take > kMaxLine) return fail("header line too long");
        if ((m_headerBytes += take + (nl ? 1 : 0)) > kMaxHeader) return fail("header too long");
        m_line.append(data, take);
        data += take;
        n -= take;
        if (!nl) break;
        ++data;
        --n;
        std::string_view text = m_line;
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        line(text);
        m_line.clear();
    }
    if (m_state == State::Body && n > 0) return appendBody(data, n);
    return m_state;
}

HttpResponseReader::State HttpResponseReader::line(std::string_view text) {
    if (!m_sawStatus) {
        // "HTTP/" digit "." digit blank three digits, then a blank and the
        // reason or nothing.
        m_sawStatus = true;
        if (text.size() < 12 || text.substr(0, 5) != "HTTP/" || !std::isdigit(static_cast<unsigned char>(text[5])) ||
            text[6] != '.' || !std::isdigit(static_cast<unsigned char>(text[7])) || text[8] != ' ')
            return fail("no status line");
        int code = 0;
        for (size_t i = 9; i < 12; ++i) {
            if (!std::isdigit(static_cast<unsigned char>(text[i]))) return fail("no status code");
            code = code * 10 + (text[i] - '0');
        }
        if (text.size() > 12 && text[12] != ' ') return fail("no status code");
        m_status = code;
        return m_state;
    }
    if (text.empty()) return startBody();
    if (text.front() == ' ' || text.front() == '\t') {
        // A folded line belongs to the field before; never to one we read.
        if (m_lastFieldUsed) return fail("folded header field");
        return m_state;
    }
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) return fail("header line without a field name");
    const std::string_view name = text.substr(0, colon);
    const std::string_view value = trimBlanks(text.substr(colon + 1));
    m_lastFieldUsed = false;
    if (equalsNoCase(name, "Content-Length")) {
        m_lastFieldUsed = true;
        unsigned long long v = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
        if (value.empty() || ec != std::errc() || end != value.data() + value.size() || value.front() == '+')
            return fail("bad Content-Length");
        if (v > m_cap) return fail("Content-Length past the cap");
        if (m_contentLength >= 0 && static_cast<unsigned long long>(m_contentLength) != v)
            return fail("Content-Lengths disagree");
        m_contentLength = static_cast<long long>(v);
    } else if (equalsNoCase(name, "Transfer-Encoding")) {
        m_lastFieldUsed = true;
        // HTTP/1.0 has no transfer codings; a chunked body read as it stands
        // would be wrong bytes.
        if (!equalsNoCase(value, "identity")) return fail("transfer coding");
    }
    return m_state;
}

HttpResponseReader::State HttpResponseReader::startBody() {
    m_state = State::Body;
    m_line.clear();
    m_line.shrink_to_fit();
    if (m_contentLength >= 0) {
        if (!reserve(static_cast<size_t>(m_contentLength))) return fail("no memory");
        if (m_contentLength == 0) m_state = State::Done;
    }
    return m_state;
}

bool HttpResponseReader::reserve(size_t room) {
    if (m_body && m_bodyCap - m_bodyLen >= room + 1) return true;
    size_t want = std::max(m_bodyLen + room + 1, m_bodyCap * 2);
    // Never ask for more than the cap allows, plus the byte that shows it
    // passed and the NUL.
    want = std::min(want, m_cap + 2);
    if (want <= m_bodyCap) return false;
    char* p = static_cast<char*>(std::realloc(m_body.get(), want));
    if (p == nullptr) return false;
    (void)m_body.release();
    m_body.reset(p);
    m_bodyCap = want;
    return true;
}

std::span<char> HttpResponseReader::bodyRoom() {
    if (m_state != State::Body) return {};
    size_t room = 0;
    if (m_contentLength >= 0) {
        // Sized for the whole body when the header ended.
        room = static_cast<size_t>(m_contentLength) - m_bodyLen;
    } else {
        if (!m_body || m_bodyCap - m_bodyLen <= 1) {
            // Up to one byte past the cap, so that passing it shows.
            if (!reserve(std::min(kFirstBodyRoom, m_cap + 1 - m_bodyLen))) {
                fail("no memory");
                return {};
            }
        }
        room = m_bodyCap - m_bodyLen - 1;  // the NUL's byte stays free
    }
    return {m_body.get() + m_bodyLen, std::min(room, kMaxRecv)};
}

HttpResponseReader::State HttpResponseReader::bodyCommit(size_t n) {
    m_bodyLen += n;
    if (m_bodyLen > m_cap) return fail("body past the cap");
    if (m_contentLength >= 0 && m_bodyLen >= static_cast<size_t>(m_contentLength)) m_state = State::Done;
    return m_state;
}

HttpResponseReader::State HttpResponseReader::appendBody(const char* data, size_t n) {
    if (m_contentLength >= 0) n = std::min(n, static_cast<size_t>(m_contentLength) - m_bodyLen);
    if (n > m_cap - std::min(m_bodyLen, m_cap)) return fail("body past the cap");
    if (n == 0) return m_state;
    if (!reserve(n)) return fail("no memory");
    std::memcpy(m_body.get() + m_bodyLen, data, n);
    return bodyCommit(n);
}

HttpResponseReader::State HttpResponseReader::finish() {
    if (m_state == State::Header) return fail("connection closed in the header");
    if (m_state == State::Body) {
        if (m_contentLength >= 0 && m_bodyLen < static_cast<size_t>(m_contentLength))
            return fail("body shorter than its Content-Length");
        m_state = State::Done;
    }
    return m_state;
}

MallocPtr<char> HttpResponseReader::takeBody() {
    if (!m_body && !reserve(0)) return nullptr;
    m_body.get()[m_bodyLen] = '\0';
    m_bodyCap = 0;
    return std::move(m_body);
}

// ---- POST files -------------------------------------------------------------

void encodePostBytes(std::string_view in, bool& escaped, std::string& out) {
    static const char hex[] = "0123456789ABCDEF";
    for (char ch : in) {
        const auto c = static_cast<unsigned char>(ch);
        if (escaped) {
            out += ch;
            escaped = false;
        } else if (c == '\\') {
            escaped = true;
        } else if (c == '\n') {
            out += '&';
        } else if (c == '\r') {
        } else if (c == ' ') {
            out += '+';
        } else if (plainPostByte(c)) {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
}

bool readPostFile(const char* path, bool encode, std::string& out) {
    const bool stdinput = std::strcmp(path, "-") == 0;
    FILE* f = stdinput ? stdin : std::fopen(path, "rb");
    if (f == nullptr) return false;
    out.clear();
    bool escaped = false, ok = true;
    char chunk[16384];
    for (;;) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, f);
        if (encode)
            encodePostBytes(std::string_view(chunk, got), escaped, out);
        else
            out.append(chunk, got);
        if (out.size() > kNetMaxBody) ok = false;
        if (!ok || got < sizeof chunk) break;
    }
    if (std::ferror(f)) ok = false;
    if (!stdinput) std::fclose(f);
    return ok;
}

// ---- The exchange -----------------------------------------------------------

bool httpFetch(const HttpFetch& rq, HttpAnswer& answer) {
    if (rq.url == nullptr) return false;
    const int readTimeout = rq.readTimeout > 0 ? rq.readTimeout : kDefaultReadTimeout;
    // A SOCKS hop waits for its reply this long even when connects block.
    const int socksTimeout = rq.connectTimeout > 0 ? rq.connectTimeout : readTimeout;
    if (rq.extraHeader && std::strlen(rq.extraHeader) > kMaxExtraHeader) return false;
    if (!oneLine(rq.extraHeader) || !oneLine(rq.cookie) || !oneLine(rq.referer)) {
        ZCORE_LOG(VCL_LOG_ERROR, "http: a header value holds a line end");
        return false;
    }
    HttpUrl url;
    if (!parseHttpUrl(rq.url, url)) {
        ZCORE_LOG(VCL_LOG_ERROR, "http: URL refused: %s", rq.url);
        return false;
    }
    // Form bodies may carry what the user typed.
    struct Wiped {
        std::string s;
        ~Wiped() { wipe(s); }
    } body;
    std::string& post = body.s;
    if (rq.postFile && !readPostFile(rq.postFile, rq.encodePost, post)) {
        ZCORE_LOG(VCL_LOG_ERROR, "http: cannot read the POST file %s", rq.postFile);
        return false;
    }

    // The head is made, and refused when too long, before any connection.
    const bool viaProxy = rq.proxyHost != nullptr;
    std::string head;
    if (!rq.raw) {
        const std::string referer = rq.referer ? std::string("Referer: ") + rq.referer + "\r\n" : std::string();
        const std::string cookie = rq.cookie ? std::string("Cookie: ") + rq.cookie + "\r\n" : std::string();
        if (referer.size() > kMaxHeaderLine || cookie.size() > kMaxHeaderLine) {
            ZCORE_LOG(VCL_LOG_ERROR, "http: a Cookie or Referer line over %zu bytes", kMaxHeaderLine);
            return false;
        }
        head = rq.postFile ? "POST " : "GET ";
        head += viaProxy || rq.postFile ? url.absolute : url.path;
        head += " HTTP/1.0\r\n";
        if (viaProxy || rq.socksHost) head += "Proxy-Connection:Keep-Alive\r\n";
        head += "User-Agent: Mozilla/2.0 (Win95; I)\r\nPragma: no-cache\r\nHost: ";
        head += url.hostHeader;
        head += "\r\nAccept: */*\r\n";
        head += referer;
        head += cookie;
        if (rq.extraHeader) head += std::string(rq.extraHeader) + "\r\n";
        if (rq.postFile)
            head +=
                "Content-type: application/x-www-form-urlencoded\r\nContent-length: " + std::to_string(post.size()) +
                "\r\n";
        head += "\r\n";
        if (head.size() > kMaxRequestHead) {
            ZCORE_LOG(VCL_LOG_ERROR, "http: request head of %zu bytes refused", head.size());
            return false;
        }
    }

    HostPort next = url.target;
    if (rq.proxyHost && !parseHostPort(rq.proxyHost, kHttpPort, next)) {
        ZCORE_LOG(VCL_LOG_ERROR, "http: bad proxy %s", rq.proxyHost);
        return false;
    }
    Socket sock;
    if (rq.socksHost) {
        HostPort socks;
        if (!parseHostPort(rq.socksHost, kSocksPort, socks)) {
            ZCORE_LOG(VCL_LOG_ERROR, "http: bad SOCKS host %s", rq.socksHost);
            return false;
        }
        sock = connectTo(socks, rq.connectTimeout);
        if (sock.fd() < 0 || !socksConnect(sock.fd(), next, socksTimeout)) return false;
    } else {
        sock = connectTo(next, rq.connectTimeout);
        if (sock.fd() < 0) return false;
    }

    if (!head.empty() && !sendAll(sock.fd(), head.data(), head.size(), readTimeout)) {
        ZCORE_LOG(VCL_LOG_ERROR, "http: sending the request failed");
        return false;
    }
    if (!post.empty() && !sendAll(sock.fd(), post.data(), post.size(), readTimeout)) {
        ZCORE_LOG(VCL_LOG_ERROR, "http: sending the POST body failed");
        return false;
    }

    HttpResponseReader reader(rq.raw);
    bool timedOut = false;
    char chunk[16384];
    while (reader.state() == HttpResponseReader::State::Header) {
        const ssize_t got = recvTimeout(sock.fd(), chunk, sizeof chunk, readTimeout, timedOut);
        if (got < 0) {
            ZCORE_LOG(VCL_LOG_ERROR, "http: %s while reading the header", timedOut ? "time-out" : "receive error");
            return false;
        }
        if (got == 0)
            reader.finish();
        else
            reader.feed(chunk, static_cast<size_t>(got));
    }
    answer.status = reader.status();
    if (reader.state() != HttpResponseReader::State::Failed && !rq.raw && !rq.anyStatus && answer.status != 200 &&
        answer.status != 302) {
        ZCORE_LOG(VCL_LOG_ERROR, "http: status %d from %s", answer.status, rq.url);
        return false;
    }
    while (reader.state() == HttpResponseReader::State::Body) {
        const std::span<char> room = reader.bodyRoom();
        if (room.empty()) break;
        const ssize_t got = recvTimeout(sock.fd(), room.data(), room.size(), readTimeout, timedOut);
        if (got < 0) {
            ZCORE_LOG(VCL_LOG_ERROR, "http: %s while reading the body", timedOut ? "time-out" : "receive error");
            return false;
        }
        if (got == 0)
            reader.finish();
        else
            reader.bodyCommit(static_cast<size_t>(got));
    }
    if (reader.state() != HttpResponseReader::State::Done) {
        ZCORE_LOG(VCL_LOG_ERROR, "http: %s (%s)", reader.failure() ? reader.failure() : "failed", rq.url);
        return false;
    }
    answer.length = reader.bodyLength();
    answer.body = reader.takeBody();
    return answer.body != nullptr;
}

char* get_http_file(const char* url, const char* socks_host, const char* proxy_host, int connect_timeout,
                    int read_timeout, const char* post_file, const char* cookie, const char* referer,
                    int read_any_status, int encode_post, int /*reserved*/, int raw, const char* extra_header,
                    int* length) {
    HttpFetch rq;
    rq.url = url;
    rq.socksHost = socks_host;
    rq.proxyHost = proxy_host;
    rq.connectTimeout = connect_timeout;
    rq.readTimeout = read_timeout;
    rq.postFile = post_file;
    rq.encodePost = encode_post != 0;
    rq.cookie = cookie;
    rq.referer = referer;
    rq.extraHeader = extra_header;
    rq.raw = raw != 0;
    rq.anyStatus = read_any_status != 0;
    HttpAnswer answer;
    if (!httpFetch(rq, answer) || answer.length == 0) return nullptr;
    if (read_any_status) {
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    if (length) *length = static_cast<int>(answer.length);
    return answer.body.release();
}

}  // namespace zcore

extern "C" VCL_API char* VCL_Http_Get_file(const char* url, int* length) {
    if (url == nullptr) return nullptr;
    return zcore::get_http_file(url, nullptr, nullptr, 30, 10, nullptr, nullptr, nullptr, 0, 0, 0, 0, nullptr, length);
}
