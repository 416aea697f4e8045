// The loopback TLS server: one HTTP request per connection, all of it on
// the one thread that runs the I/O service. The only file that sees asio.
#include <arpa/inet.h>
#include <openssl/ssl.h>

#include <utility>  // before asio: boost 1.74 needs std::exchange declared

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_set>

#include "DMCertContainer.h"
#include "DMHttp.h"
#include "DMRequestHandler.h"
#include "DMServerWrapper.h"
#include "common/DMLinuxLog.h"

namespace asio = boost::asio;
namespace ssl = boost::asio::ssl;
using tcp = boost::asio::ip::tcp;
using boost::system::error_code;

namespace {

// After the reply, the peer's close_notify is awaited this long at most.
constexpr std::chrono::milliseconds kShutdownGrace{2000};
// How much of an oversized request is drained (and dropped) so that the
// peer still reads its 400 instead of a reset.
constexpr size_t kDrainLimit = 4 * 1024 * 1024;
constexpr size_t kReadBufferSize = 8192;
constexpr std::chrono::milliseconds kStopWait{1500};

std::mutex g_settingsMutex;
std::chrono::milliseconds g_sessionTimeout = kDMSessionTimeout;
std::string g_containerPath = kDMCertContainerName;

bool equalsIgnoreCase(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Content-Length: digits only, several must agree (-1 otherwise); -2 when
// above kDMMaxRequestBytes. Absent gives 0.
long long contentLength(const SDMHttpRequest& req) {
    long long found = -2;
    for (const auto& h : req.headers) {
        if (!equalsIgnoreCase(h.name, "Content-Length")) continue;
        if (h.value.empty()) return -1;
        long long v = 0;
        for (char c : h.value) {
            if (c < '0' || c > '9') return -1;
            // Stop counting once past the cap, so no digit string overflows.
            if (v <= static_cast<long long>(kDMMaxRequestBytes)) v = v * 10 + (c - '0');
        }
        if (found >= 0 && found != v) return -1;
        found = v;
    }
    if (found > static_cast<long long>(kDMMaxRequestBytes)) return -2;
    return found < 0 ? 0 : found;
}

class CDMServer;

class CDMSession : public std::enable_shared_from_this<CDMSession> {
public:
    CDMSession(asio::io_context& io, ssl::context& ctx, CDMHttpRequestHandler& handler, CDMServer& server,
               std::chrono::milliseconds timeout);
    ~CDMSession();
    CDMSession(const CDMSession&) = delete;
    CDMSession& operator=(const CDMSession&) = delete;

    tcp::socket::lowest_layer_type& socket() { return m_stream.lowest_layer(); }
    void start();
    // Ends the connection at once (server stop, or room for a newer one).
    void abort();
    bool closed() const { return m_closed; }
    std::chrono::steady_clock::time_point started() const { return m_started; }

private:
    enum ParseResult { kMore = 0, kComplete = 1, kBad = -1, kTooLarge = -2 };

    void handle_handshake(const error_code& ec);
    void StartReadData();
    void ReadMoreData();
    void handle_read(const error_code& ec, size_t n);
    int ParseRequest(size_t n);
    void HandleRequest(int parsed);
    void StartWriteReply();
    void handle_write(const error_code& ec);
    void StartShutdown();
    void Drain();
    void DrainMore();
    void close();

    ssl::stream<tcp::socket> m_stream;
    asio::steady_timer m_timer;
    CDMHttpRequestHandler& m_handler;
    CDMServer& m_server;
    std::chrono::milliseconds m_timeout;

    std::string m_raw;
    size_t m_bytesRead = 0;
    long long m_contentLength = 0;
    size_t m_bodyOffset = 0;
    std::string m_body;
    std::array<char, kReadBufferSize> m_buffer{};
    SDMHttpRequest m_request;
    bool m_headersDone = false;
    CDMHttpRequestParser m_parser;
    SDMHttpReply m_reply;
    std::string m_block;
    bool m_drainAfterReply = false;
    size_t m_drained = 0;
    bool m_closed = false;
    std::chrono::steady_clock::time_point m_started{};
};

class CDMServer {
public:
    CDMServer(asio::io_context& io, unsigned short port, const std::string& containerPath,
              std::chrono::milliseconds timeout);
    ~CDMServer();
    CDMServer(const CDMServer&) = delete;
    CDMServer& operator=(const CDMServer&) = delete;

    void SetQuilletInstance(IQuillet* quillet) { m_handler.SetQuilletInstance(quillet); }
    // Closes the acceptor and every open connection.
    void Shutdown();
    void SessionStarted(CDMSession* s) { m_sessions.insert(s); }
    void SessionEnded(CDMSession* s);
    bool Stopping() const { return m_stopping; }

    static int StartDMServer(IQuillet* quillet, const unsigned short* ports, int count, unsigned short& chosen);
    static void StopDMServer();

private:
    void StartAccept();
    void HandleAccept(const std::shared_ptr<CDMSession>& session, const error_code& ec);
    void EvictOldest();

    asio::io_context& m_io;
    CDMHttpRequestHandler m_handler;
    tcp::acceptor m_acceptor;
    ssl::context m_context;
    asio::steady_timer m_retry;
    std::chrono::milliseconds m_timeout;
    std::unordered_set<CDMSession*> m_sessions;
    bool m_acceptPaused = false;
    bool m_stopping = false;
};

// ---- the running server (class-wide state) ----
std::mutex g_runMutex;
std::condition_variable g_runCv;
std::unique_ptr<asio::io_context> g_io;
std::unique_ptr<CDMServer> g_server;
unsigned short g_listeningPort = 0;

// ---- CDMSession ----

CDMSession::CDMSession(asio::io_context& io, ssl::context& ctx, CDMHttpRequestHandler& handler, CDMServer& server,
                       std::chrono::milliseconds timeout)
    : m_stream(io, ctx), m_timer(io), m_handler(handler), m_server(server), m_timeout(timeout) {}

CDMSession::~CDMSession() { m_server.SessionEnded(this); }

void CDMSession::start() {
    m_server.SessionStarted(this);
    m_started = std::chrono::steady_clock::now();
    m_bytesRead = 0;
    m_contentLength = 0;
    m_bodyOffset = 0;
    m_headersDone = false;
    // One deadline for the whole connection: a peer that stalls anywhere
    // (handshake, request, reading the reply) is dropped.
    m_timer.expires_after(m_timeout);
    m_timer.async_wait([self = shared_from_this()](const error_code& ec) {
        if (!ec) self->close();
    });
    m_stream.async_handshake(ssl::stream_base::server,
                             [self = shared_from_this()](const error_code& ec) { self->handle_handshake(ec); });
}

void CDMSession::abort() { close(); }

void CDMSession::close() {
    if (m_closed) return;
    m_closed = true;
    error_code ignored;
    m_timer.cancel();
    socket().shutdown(tcp::socket::shutdown_both, ignored);
    socket().close(ignored);
}

void CDMSession::handle_handshake(const error_code& ec) {
    if (ec) {
        close();
        return;
    }
    StartReadData();
}

void CDMSession::StartReadData() {
    m_body.clear();
    m_raw.clear();
    m_bytesRead = 0;
    ReadMoreData();
}

void CDMSession::ReadMoreData() {
    m_stream.async_read_some(asio::buffer(m_buffer),
                             [self = shared_from_this()](const error_code& ec, size_t n) { self->handle_read(ec, n); });
}

void CDMSession::handle_read(const error_code& ec, size_t n) {
    if (ec) {
        close();
        return;
    }
    m_raw.append(m_buffer.data(), n);
    m_bytesRead += n;
    int parsed = ParseRequest(n);
    if (parsed == kMore) {
        ReadMoreData();
        return;
    }
    HandleRequest(parsed);
    StartWriteReply();
}

int CDMSession::ParseRequest(size_t n) {
    if (!m_headersDone) {
        const char* begin = m_buffer.data();
        auto [result, pos] = m_parser.parse(m_request, begin, begin + n);
        if (result == DMParse::bad) return kBad;
        if (result == DMParse::indeterminate) return m_bytesRead > kDMMaxRequestBytes ? kTooLarge : kMore;
        m_headersDone = true;
        m_bodyOffset = m_bytesRead - n + static_cast<size_t>(pos - begin);
        m_contentLength = contentLength(m_request);
        if (m_contentLength == -2) return kTooLarge;
        if (m_contentLength < 0) return kBad;
        if (m_bodyOffset + static_cast<size_t>(m_contentLength) > kDMMaxRequestBytes) return kTooLarge;
    }
    const size_t end = m_bodyOffset + static_cast<size_t>(m_contentLength);
    if (m_raw.size() < end) return kMore;
    // Bytes beyond Content-Length are ignored.
    m_body.assign(m_raw, m_bodyOffset, static_cast<size_t>(m_contentLength));
    return kComplete;
}

void CDMSession::HandleRequest(int parsed) {
    if (parsed == kComplete) {
        m_handler.handle_request(m_request, m_body, m_reply);
        return;
    }
    if (parsed == kTooLarge) DMLOG("[WAR] request larger than %zu bytes refused\n", kDMMaxRequestBytes);
    // The peer may still be sending the rest of its request.
    m_drainAfterReply = true;
    m_reply = SDMHttpReply::stock_reply(SDMHttpReply::bad_request);
}

void CDMSession::StartWriteReply() {
    m_raw.clear();
    m_raw.shrink_to_fit();
    m_block = m_reply.serialize();
    asio::async_write(m_stream, asio::buffer(m_block),
                      [self = shared_from_this()](const error_code& ec, size_t) { self->handle_write(ec); });
}

void CDMSession::handle_write(const error_code& ec) {
    if (ec || m_server.Stopping()) {
        close();
        return;
    }
    if (m_drainAfterReply) {
        Drain();
        return;
    }
    StartShutdown();
}

void CDMSession::Drain() {
    // The rest of an oversized request is read and dropped until the peer,
    // having its reply, closes; bounded in bytes and by the deadline.
    m_timer.expires_after(std::min(m_timeout, kShutdownGrace));
    m_timer.async_wait([self = shared_from_this()](const error_code& ec) {
        if (!ec) self->close();
    });
    DrainMore();
}

void CDMSession::DrainMore() {
    m_stream.next_layer().async_read_some(asio::buffer(m_buffer),
                                          [self = shared_from_this()](const error_code& ec, size_t n) {
                                              self->m_drained += n;
                                              if (ec || self->m_drained > kDrainLimit) {
                                                  self->close();
                                                  return;
                                              }
                                              self->DrainMore();
                                          });
}

void CDMSession::StartShutdown() {
    // Our close_notify goes out; the peer's is awaited only briefly.
    m_timer.expires_after(std::min(m_timeout, kShutdownGrace));
    m_timer.async_wait([self = shared_from_this()](const error_code& ec) {
        if (!ec) self->close();
    });
    m_stream.async_shutdown([self = shared_from_this()](const error_code&) { self->close(); });
}

// ---- CDMServer ----

CDMServer::CDMServer(asio::io_context& io, unsigned short port, const std::string& containerPath,
                     std::chrono::milliseconds timeout)
    : m_io(io), m_acceptor(io), m_context(ssl::context::tls_server), m_retry(io), m_timeout(timeout) {
    tcp::endpoint endpoint(asio::ip::make_address_v4("127.0.0.1"), port);
    m_acceptor.open(endpoint.protocol());
    m_acceptor.set_option(tcp::acceptor::reuse_address(true));
    m_acceptor.bind(endpoint);
    m_acceptor.listen(asio::socket_base::max_listen_connections);

    m_context.set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::single_dh_use);
    SSL_CTX_set_min_proto_version(m_context.native_handle(), TLS1_2_VERSION);
    // TLS 1.2 with forward secrecy and AEAD only: the CBC suites are what
    // padding-oracle attacks feed on, and every browser offers these.
    SSL_CTX_set_cipher_list(m_context.native_handle(), "ECDHE+AESGCM:ECDHE+CHACHA20");

    DEC_CERT cert;
    if (LoadEncryptedCert(containerPath.c_str(), &cert) == 0) {
        error_code ec;
        m_context.use_certificate_chain(asio::buffer(cert.chain.data(), cert.chain.size()), ec);
        if (ec) DMLOG("[ERR] server certificate chain not usable: %s\n", ec.message().c_str());
        m_context.use_private_key(asio::buffer(cert.key.data(), cert.key.size()), ssl::context::pem, ec);
        if (ec)
            DMLOG("[ERR] server private key not usable: %s\n", ec.message().c_str());
        else if (SSL_CTX_check_private_key(m_context.native_handle()) != 1)
            DMLOG("[ERR] server private key does not match its certificate\n");
    }
    // Without a usable certificate the server listens all the same and every
    // handshake fails.

    error_code ignored;
    m_acceptor.set_option(asio::socket_base::keep_alive(true), ignored);
    m_acceptor.set_option(asio::socket_base::send_buffer_size(8192), ignored);
    m_acceptor.set_option(asio::socket_base::receive_buffer_size(8192), ignored);
    StartAccept();
}

CDMServer::~CDMServer() = default;

void CDMServer::StartAccept() {
    if (m_stopping) return;
    // One above the cap: room for the newcomer while an evicted session
    // winds down.
    if (m_sessions.size() > kDMMaxSessions) {
        m_acceptPaused = true;
        return;
    }
    auto session = std::make_shared<CDMSession>(m_io, m_context, m_handler, *this, m_timeout);
    m_acceptor.async_accept(session->socket(), [this, session](const error_code& ec) { HandleAccept(session, ec); });
}

void CDMServer::HandleAccept(const std::shared_ptr<CDMSession>& session, const error_code& ec) {
    if (m_stopping || ec == asio::error::operation_aborted) return;
    if (!ec) {
        // The reply and the close_notify behind it are small writes: without
        // this, Nagle and the peer's delayed ACK hold the second for ~40 ms.
        error_code ignored;
        session->socket().set_option(tcp::no_delay(true), ignored);
        if (m_sessions.size() >= kDMMaxSessions) EvictOldest();
        session->start();
        StartAccept();
        return;
    }
    // Out of descriptors and the like: try again shortly rather than spin.
    DMLOG("[WAR] accept failed: %s\n", ec.message().c_str());
    m_retry.expires_after(std::chrono::milliseconds(100));
    m_retry.async_wait([this](const error_code& e) {
        if (!e) StartAccept();
    });
}

// At the cap the oldest connection goes, not the new one: otherwise anyone
// holding that many idle connections would keep every page waiting for as
// long as they like. A real client's request takes milliseconds.
void CDMServer::EvictOldest() {
    CDMSession* oldest = nullptr;
    size_t open = 0;
    for (CDMSession* s : m_sessions) {
        if (s->closed()) continue;  // already winding down
        ++open;
        if (oldest == nullptr || s->started() < oldest->started()) oldest = s;
    }
    if (open >= kDMMaxSessions) oldest->abort();
}

void CDMServer::SessionEnded(CDMSession* s) {
    m_sessions.erase(s);
    if (m_acceptPaused && !m_stopping && m_sessions.size() <= kDMMaxSessions) {
        m_acceptPaused = false;
        StartAccept();
    }
}

void CDMServer::Shutdown() {
    m_stopping = true;
    error_code ignored;
    m_acceptor.close(ignored);
    m_retry.cancel();
    // Copy: aborting may end sessions, which leave the set.
    std::vector<CDMSession*> open(m_sessions.begin(), m_sessions.end());
    for (CDMSession* s : open) s->abort();
}

int CDMServer::StartDMServer(IQuillet* quillet, const unsigned short* ports, int count, unsigned short& chosen) {
    std::unique_lock lock(g_runMutex);
    if (g_server || g_io) return 100;
    if (ports == nullptr || count <= 0) return -1;
    std::chrono::milliseconds timeout;
    std::string container;
    {
        std::lock_guard settings(g_settingsMutex);
        timeout = g_sessionTimeout;
        container = g_containerPath;
    }
    g_io = std::make_unique<asio::io_context>(1);
    for (int i = 0; i < count && !g_server; ++i) {
        // The kernel's table is only a hint; binding decides (a dual-stack
        // listener on [::] does not show in the IPv4 table).
        if (IsOpenPossiblePort("127.0.0.1", ports[i]) == 0) {
            DMLOG("[WAR] port %u is in use\n", ports[i]);
            continue;
        }
        try {
            g_server = std::make_unique<CDMServer>(*g_io, ports[i], container, timeout);
            chosen = ports[i];
        } catch (const boost::system::system_error& e) {
            DMLOG("[WAR] cannot serve on port %u: %s\n", ports[i], e.what());
        }
    }
    if (!g_server) {
        DMLOG("[ERR] no port to serve on\n");
        g_io.reset();
        return -1;
    }
    g_server->SetQuilletInstance(quillet);
    g_listeningPort = chosen;
    DMLOG("[NOT] command server on 127.0.0.1:%u\n", chosen);
    g_runCv.notify_all();
    asio::io_context& io = *g_io;
    lock.unlock();

    io.run();

    lock.lock();
    // Close what is still open and let its handlers finish before anything
    // they refer to goes away.
    g_server->Shutdown();
    io.restart();
    io.run();
    g_server.reset();
    g_io.reset();
    g_listeningPort = 0;
    g_runCv.notify_all();
    return 0;
}

void CDMServer::StopDMServer() {
    std::unique_lock lock(g_runMutex);
    if (!g_io) return;
    g_io->stop();
    // Bounded: whoever stops the server (the signal thread) ends the
    // process next and must not hang on a connection.
    g_runCv.wait_for(lock, kStopWait, [] { return !g_io; });
}

}  // namespace

int DMServerWrapper_StartServer(IQuillet* quillet, const unsigned short* ports, int count, unsigned short& chosenPort) {
    return CDMServer::StartDMServer(quillet, ports, count, chosenPort);
}

void DMServerWrapper_StopServer() { CDMServer::StopDMServer(); }

unsigned short DMServerWrapper_WaitListening(std::chrono::milliseconds timeout) {
    std::unique_lock lock(g_runMutex);
    g_runCv.wait_for(lock, timeout, [] { return g_listeningPort != 0; });
    return g_listeningPort;
}

void DMServerWrapper_SetSessionTimeout(std::chrono::milliseconds timeout) {
    std::lock_guard lock(g_settingsMutex);
    g_sessionTimeout = timeout;
}

void DMServerWrapper_SetCertContainerPath(const std::string& path) {
    std::lock_guard lock(g_settingsMutex);
    g_containerPath = path;
}

int IsOpenPossiblePortIn(const char* table, const char* address, unsigned short port) {
    struct in_addr wanted {};
    if (address == nullptr || ::inet_pton(AF_INET, address, &wanted) != 1) return -1;
    FILE* f = table != nullptr ? std::fopen(table, "r") : nullptr;
    if (f == nullptr) return 1;
    char line[512];
    int result = 1;
    bool heading = true;
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (heading) {
            heading = false;
            continue;
        }
        int slot = 0;
        unsigned localAddr = 0, localPort = 0, remoteAddr = 0, remotePort = 0, state = 0, txq = 0, rxq = 0;
        if (std::sscanf(line, " %d: %x:%x %x:%x %x %x:%x", &slot, &localAddr, &localPort, &remoteAddr, &remotePort,
                        &state, &txq, &rxq) != 8)
            continue;
        // The table prints addresses as the 32-bit value in host byte order.
        if (localPort == port && (localAddr == 0 || localAddr == wanted.s_addr)) {
            result = (state == 6 || state == 7) ? 1 : 0;
            break;
        }
    }
    std::fclose(f);
    return result;
}

int IsOpenPossiblePort(const char* address, unsigned short port) {
    return IsOpenPossiblePortIn("/proc/net/tcp", address, port);
}
