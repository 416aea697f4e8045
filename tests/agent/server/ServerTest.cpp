#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "AgentTestSupport.h"
#include "TestSupport.h"
#include "daemon/DMLinuxQuilletConnector.h"
#include "server/DMServerWrapper.h"

namespace {

using namespace std::chrono_literals;

std::string hexOf(const std::string& s) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// The server on its own thread, as the daemon runs it.
class RunningServer {
public:
    RunningServer(IQuillet* quillet, std::vector<unsigned short> ports) : m_ports(std::move(ports)) {
        m_thread = std::thread([this, quillet] {
            DMServerWrapper_StartServer(quillet, m_ports.data(), static_cast<int>(m_ports.size()), m_chosen);
        });
        m_port = DMServerWrapper_WaitListening(5s);
    }
    ~RunningServer() {
        DMServerWrapper_StopServer();
        m_thread.join();
    }
    unsigned short port() const { return m_port; }

private:
    std::vector<unsigned short> m_ports;
    std::thread m_thread;
    unsigned short m_chosen = 0;
    unsigned short m_port = 0;
};

class Server : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_install = std::make_unique<zqtest::TempDir>("zqserver");
        agenttest::makeInstallDir(s_install->path());
    }
    static void TearDownTestSuite() { s_install.reset(); }

    void SetUp() override {
        DMServerWrapper_SetCertContainerPath(*s_install / "zunwssc.dat");
        DMServerWrapper_SetSessionTimeout(kDMSessionTimeout);
    }

    static std::string root() { return *s_install / "VERIDAN_ROOT.cer"; }

    std::string send(unsigned short port, const std::vector<std::string>& chunks) {
        std::string lines;
        for (const auto& c : chunks) lines += hexOf(c) + "\n";
        return agenttest::tlsClient(root(), port, {"send"}, lines).output;
    }

    CDMLinuxQuilletConnector connector;
    static std::unique_ptr<zqtest::TempDir> s_install;
};
std::unique_ptr<zqtest::TempDir> Server::s_install;

TEST_F(Server, PeersVerifyTheCertificateAndGetAnswers) {
    RunningServer server(&connector, {agenttest::freePort()});
    ASSERT_NE(server.port(), 0);

    auto post = agenttest::curl(root(), server.port(), {"-d", R"(data={"func":"isRunning"})"});
    EXPECT_EQ(post.status, 0);
    EXPECT_EQ(post.output, R"({"zunres":"1"})");

    auto jsonp = agenttest::curl(root(), server.port(), {}, "/?callback=cb&data=%7B%22func%22%3A%22getVersion2%22%7D");
    EXPECT_EQ(jsonp.output, R"(try { cb({"zunres":"1", "data":"1.2.8"});} catch (e){})");

    auto options = agenttest::curl(root(), server.port(), {"-i", "-X", "OPTIONS"});
    EXPECT_EQ(options.output.rfind("HTTP/1.1 200 OK\r\nAccess-Control-Allow-Headers: Content-Type, accept", 0), 0u)
        << options.output;

    // The name localhost is covered too.
    auto byName = zqtest::run({"curl", "-sS", "--cacert", root(), "--resolve",
                               "localhost:" + std::to_string(server.port()) + ":127.0.0.1", "-d",
                               R"(data={"func":"getResult"})", "https://localhost:" + std::to_string(server.port())});
    EXPECT_EQ(byName.output, R"({"zunres":"0"})");

    auto verify = zqtest::run({"openssl", "s_client", "-connect", "127.0.0.1:" + std::to_string(server.port()),
                               "-CAfile", root(), "-verify_return_error", "-verify_ip", "127.0.0.1"});
    EXPECT_EQ(verify.status, 0);
    EXPECT_NE(verify.output.find("Verify return code: 0 (ok)"), std::string::npos) << verify.output;

    // Without the root nothing vouches for the certificate.
    auto untrusted = zqtest::run({"curl", "-sS", "--max-time", "20", "-d", R"(data={"func":"isRunning"})",
                                  "https://127.0.0.1:" + std::to_string(server.port())});
    EXPECT_EQ(untrusted.status, 60);

    // Nothing older than TLS 1.2.
    auto old = zqtest::run({"openssl", "s_client", "-connect", "127.0.0.1:" + std::to_string(server.port()), "-tls1_1",
                            "-cipher", "DEFAULT:@SECLEVEL=0"});
    EXPECT_NE(old.status, 0);

    // TLS 1.2 only with forward secrecy and an AEAD cipher: no CBC suites.
    auto tls12 = [&](const std::string& ciphers) {
        return zqtest::run({"openssl", "s_client", "-connect", "127.0.0.1:" + std::to_string(server.port()), "-tls1_2",
                            "-cipher", ciphers + ":@SECLEVEL=0", "-CAfile", root()});
    };
    for (const char* weak : {"ECDHE-ECDSA-AES128-SHA", "ECDHE-ECDSA-AES256-SHA", "ECDHE-ECDSA-AES128-SHA256",
                             "ECDHE-ECDSA-AES256-SHA384", "AES128-SHA", "AES256-GCM-SHA384", "DHE-RSA-AES128-SHA"})
        EXPECT_NE(tls12(weak).status, 0) << weak;
    for (const char* strong :
         {"ECDHE-ECDSA-AES128-GCM-SHA256", "ECDHE-ECDSA-AES256-GCM-SHA384", "ECDHE-ECDSA-CHACHA20-POLY1305"}) {
        auto r = tls12(strong);
        EXPECT_EQ(r.status, 0) << strong << "\n" << r.output;
        EXPECT_NE(r.output.find(std::string("Cipher is ") + strong), std::string::npos) << r.output;
    }
}

TEST_F(Server, RequestShapes) {
    RunningServer server(&connector, {agenttest::freePort()});
    ASSERT_NE(server.port(), 0);
    const std::string body = R"(data={"func":"isRunning"})";
    const std::string ok = R"({"zunres":"1"})";
    auto withLength = [&](const std::string& name, const std::string& value) {
        return "POST / HTTP/1.1\r\nHost: a\r\n" + name + ": " + value + "\r\n\r\n" + body;
    };
    struct Case {
        const char* name;
        std::vector<std::string> chunks;
        std::string statusLine;
        std::string bodyEnd;
    };
    const std::string cl = std::to_string(body.size());
    const std::string head = "POST / HTTP/1.1\r\nHost: a\r\nContent-Length: " + cl + "\r\n\r\n";
    const std::vector<Case> cases = {
        {"head split over two records", {head.substr(0, 20), head.substr(20) + body}, "HTTP/1.1 200 OK", ok},
        {"body in a later record", {head, body}, "HTTP/1.1 200 OK", ok},
        {"body longer than its length is cut", {withLength("Content-Length", cl) + "&junk"}, "HTTP/1.1 200 OK", ok},
        {"any case of the header name", {withLength("content-length", cl)}, "HTTP/1.1 200 OK", ok},
        {"no length: empty body",
         {"POST / HTTP/1.1\r\nHost: a\r\n\r\n" + body},
         "HTTP/1.1 200 OK",
         R"({"zunres":-100})"},
        {"not HTTP", {"\r\nGET / HTTP/1.1\r\n\r\n"}, "HTTP/1.1 400 Bad Request", "</html>"},
        {"length with a sign", {withLength("Content-Length", "+" + cl)}, "HTTP/1.1 400 Bad Request", "</html>"},
        {"length with blanks", {withLength("Content-Length", cl + " ")}, "HTTP/1.1 400 Bad Request", "</html>"},
        {"length beyond the cap", {withLength("Content-Length", "9999999")}, "HTTP/1.1 400 Bad Request", "</html>"},
        {"length overflowing int", {withLength("Content-Length", "4294967297")}, "HTTP/1.1 400 Bad Request", "</html>"},
        {"two lengths that disagree",
         {"POST / HTTP/1.1\r\nContent-Length: " + cl + "\r\nContent-Length: 3\r\n\r\n" + body},
         "HTTP/1.1 400 Bad Request",
         "</html>"},
        {"path with ..", {"GET /../x HTTP/1.1\r\n\r\n"}, "HTTP/1.1 400 Bad Request", "</html>"},
    };
    for (const auto& c : cases) {
        std::string reply = send(server.port(), c.chunks);
        EXPECT_EQ(reply.substr(0, reply.find("\r\n")), c.statusLine) << c.name << "\n" << reply;
        EXPECT_TRUE(reply.size() >= c.bodyEnd.size() &&
                    reply.compare(reply.size() - c.bodyEnd.size(), c.bodyEnd.size(), c.bodyEnd) == 0)
            << c.name << "\n"
            << reply;
    }
}

TEST_F(Server, OversizedRequestGets400AndServingGoesOn) {
    RunningServer server(&connector, {agenttest::freePort()});
    ASSERT_NE(server.port(), 0);
    auto big = agenttest::tlsClient(root(), server.port(), {"big", std::to_string(1 << 20)});
    EXPECT_EQ(big.output, "HTTP/1.1 400 Bad Request\n");
    // A head that never ends is cut at the cap as well.
    std::string endless = "GET / HTTP/1.1\r\n";
    while (endless.size() <= kDMMaxRequestBytes) endless += "X-Filler: " + std::string(1000, 'f') + "\r\n";
    std::string reply = send(server.port(), {endless});
    EXPECT_EQ(reply.rfind("HTTP/1.1 400 Bad Request\r\n", 0), 0u);

    auto after = agenttest::curl(root(), server.port(), {"-d", R"(data={"func":"isRunning"})"});
    EXPECT_EQ(after.output, R"({"zunres":"1"})");
}

TEST_F(Server, SilentAndVanishingClientsAreDropped) {
    DMServerWrapper_SetSessionTimeout(1000ms);
    RunningServer server(&connector, {agenttest::freePort()});
    ASSERT_NE(server.port(), 0);
    auto silent = agenttest::tlsClient(root(), server.port(), {"silent", "10"});
    ASSERT_EQ(silent.output.rfind("closed ", 0), 0u) << silent.output;
    double after = std::stod(silent.output.substr(7));
    EXPECT_GT(after, 0.5);
    EXPECT_LT(after, 5.0);

    // A bare TCP connection that never starts TLS goes the same way.
    auto start = std::chrono::steady_clock::now();
    auto bare = zqtest::run({zqtest::kPython, "-c",
                             "import socket,sys; s=socket.create_connection(('127.0.0.1'," +
                                 std::to_string(server.port()) + ")); s.settimeout(10); print(len(s.recv(1)))"});
    EXPECT_EQ(bare.output, "0\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

    EXPECT_EQ(agenttest::tlsClient(root(), server.port(), {"handshake-close"}).output, "ok\n");
    auto next = agenttest::curl(root(), server.port(), {"-d", R"(data={"func":"isRunning"})"});
    EXPECT_EQ(next.output, R"({"zunres":"1"})");
}

TEST_F(Server, BurstOfConcurrentClients) {
    RunningServer server(&connector, {agenttest::freePort()});
    ASSERT_NE(server.port(), 0);
    auto burst = agenttest::tlsClient(root(), server.port(), {"burst", "200"});
    EXPECT_EQ(burst.output, "200\n");
    auto after = agenttest::curl(root(), server.port(), {"-d", R"(data={"func":"isRunning"})"});
    EXPECT_EQ(after.output, R"({"zunres":"1"})");
}

// Connections that never send a byte, as many as the server holds at once,
// must not keep a page's request waiting for their deadline.
TEST_F(Server, IdleConnectionsAtTheCapGiveWayToNewOnes) {
    RunningServer server(&connector, {agenttest::freePort()});
    ASSERT_NE(server.port(), 0);
    auto start = std::chrono::steady_clock::now();
    auto idle = agenttest::tlsClient(root(), server.port(), {"idle", std::to_string(kDMMaxSessions + 8)});
    EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
    auto lines = idle.output.find('\n');
    ASSERT_NE(lines, std::string::npos) << idle.output;
    EXPECT_EQ(idle.output.substr(0, lines), R"({"zunres":"1"})") << idle.output;
    // The oldest idle ones were let go to make room.
    EXPECT_GT(std::stoi(idle.output.substr(lines + 1)), 0) << idle.output;
}

TEST_F(Server, PortChoice) {
    const unsigned short first = agenttest::freePort();
    unsigned short second = agenttest::freePort();
    while (second == first) second = agenttest::freePort();
    {
        // A dual-stack listener on [::] does not show in the IPv4 table.
        agenttest::DualStackHolder holder(first);
        ASSERT_TRUE(holder.ok());
        RunningServer server(&connector, {first, second});
        EXPECT_EQ(server.port(), second);
        auto r = agenttest::curl(root(), second, {"-d", R"(data={"func":"isRunning"})"});
        EXPECT_EQ(r.output, R"({"zunres":"1"})");

        // Only one server at a time.
        unsigned short chosen = 0;
        EXPECT_EQ(DMServerWrapper_StartServer(&connector, &second, 1, chosen), 100);
    }
    {
        agenttest::DualStackHolder a(first), b(second);
        // Were one not held, the server would start and block this thread.
        ASSERT_TRUE(a.ok() && b.ok());
        unsigned short chosen = 0;
        const unsigned short ports[] = {first, second};
        EXPECT_EQ(DMServerWrapper_StartServer(&connector, ports, 2, chosen), -1);
        EXPECT_EQ(DMServerWrapper_StartServer(&connector, nullptr, 2, chosen), -1);
        EXPECT_EQ(DMServerWrapper_StartServer(&connector, ports, 0, chosen), -1);
    }
    DMServerWrapper_StopServer();  // nothing runs: returns at once
}

TEST_F(Server, WithoutItsContainerTheServerListensButNoHandshakeSucceeds) {
    zqtest::TempDir empty("zqnocert");
    DMServerWrapper_SetCertContainerPath(empty / "zunwssc.dat");
    RunningServer server(&connector, {agenttest::freePort()});
    ASSERT_NE(server.port(), 0);
    auto r = agenttest::curl(root(), server.port(), {"-d", R"(data={"func":"isRunning"})"});
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.output, "");
}

TEST(PortProbe, ReadsTheKernelTable) {
    zqtest::TempDir dir("zqtcp");
    // 127.0.0.1 is 0100007F as the table prints it on little-endian machines.
    const std::string heading =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";
    auto table = [&](const std::string& rows) {
        zqtest::writeFile(dir / "tcp", heading + rows);
        return (dir / "tcp");
    };
    const std::string listen = "   0: 0100007F:3DF0 00000000:0000 0A 00000000:00000000 00:00000000 00000000 0 0 1\n";
    const std::string anyListen = "   0: 00000000:3DF0 00000000:0000 0A 00000000:00000000 00:00000000 00000000 0 0 1\n";
    const std::string timeWait = "   0: 0100007F:3DF0 0100007F:9C40 06 00000000:00000000 00:00000000 00000000 0 0 1\n";
    const std::string otherAddr = "   0: 0200007F:3DF0 00000000:0000 0A 00000000:00000000 00:00000000 00000000 0 0 1\n";
    EXPECT_EQ(IsOpenPossiblePortIn(table(listen).c_str(), "127.0.0.1", 15856), 0);
    EXPECT_EQ(IsOpenPossiblePortIn(table(anyListen).c_str(), "127.0.0.1", 15856), 0);
    EXPECT_EQ(IsOpenPossiblePortIn(table(timeWait).c_str(), "127.0.0.1", 15856), 1);
    EXPECT_EQ(IsOpenPossiblePortIn(table(otherAddr).c_str(), "127.0.0.1", 15856), 1);
    EXPECT_EQ(IsOpenPossiblePortIn(table("garbage line\n" + listen).c_str(), "127.0.0.1", 15857), 1);
    EXPECT_EQ(IsOpenPossiblePortIn((dir / "missing").c_str(), "127.0.0.1", 15856), 1);
    EXPECT_EQ(IsOpenPossiblePortIn(table(listen).c_str(), "127.0.0.256", 15856), -1);
    EXPECT_EQ(IsOpenPossiblePortIn(table(listen).c_str(), nullptr, 15856), -1);
}

}  // namespace
