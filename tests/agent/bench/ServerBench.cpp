// Requests per second for "isRunning" over new TLS connections (one request
// each, full handshakes), against `openssl s_server -www` with the same
// certificate and key on the same machine. Run by hand:
//   agent_server_bench [seconds] [client threads]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "AgentTestSupport.h"
#include "TestSupport.h"
#include "daemon/DMLinuxQuilletConnector.h"
#include "server/DMCertContainer.h"
#include "server/DMServerWrapper.h"

namespace {

using Clock = std::chrono::steady_clock;

// One connection, one request; true when the reply began with a 200.
bool oneRequest(SSL_CTX* ctx, unsigned short port, const std::string& request) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return false;
    }
    SSL* ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    bool ok = false;
    if (SSL_connect(ssl) == 1 && SSL_write(ssl, request.data(), static_cast<int>(request.size())) > 0) {
        char buf[16384];
        std::string reply;
        int n;
        while ((n = SSL_read(ssl, buf, sizeof buf)) > 0) reply.append(buf, static_cast<size_t>(n));
        ok = reply.rfind("HTTP/1.", 0) == 0 && reply.find(" 200 ") != std::string::npos;
    }
    SSL_shutdown(ssl);
    SSL_free(ssl);
    ::close(fd);
    ERR_clear_error();
    return ok;
}

double measure(const std::string& root, unsigned short port, const std::string& request, double seconds, int threads) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    SSL_CTX_load_verify_locations(ctx, root.c_str(), nullptr);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    // Every connection does a full handshake.
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
    SSL_CTX_set_options(ctx, SSL_OP_NO_TICKET);
    std::atomic<long> done{0}, failed{0};
    auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    std::vector<std::thread> pool;
    auto start = Clock::now();
    for (int i = 0; i < threads; ++i)
        pool.emplace_back([&] {
            while (Clock::now() < end) (oneRequest(ctx, port, request) ? done : failed)++;
        });
    for (auto& t : pool) t.join();
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    SSL_CTX_free(ctx);
    if (failed > 0) std::fprintf(stderr, "  %ld failed requests\n", failed.load());
    return static_cast<double>(done) / elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    int threads = argc > 2 ? std::atoi(argv[2]) : 4;
    zqtest::TempDir dir("zqbench");
    agenttest::makeInstallDir(dir.path());
    const std::string root = dir / "VERIDAN_ROOT.cer";

    // The same chain and key for the reference server.
    DEC_CERT cert;
    if (LoadEncryptedCert((dir / "zunwssc.dat").c_str(), &cert) != 0) {
        std::fprintf(stderr, "cannot read the container\n");
        return 1;
    }
    zqtest::writeFile(dir / "chain.pem", std::string(cert.chain.view()));
    zqtest::writeFile(dir / "key.pem", std::string(cert.key.view()));

    const std::string body = R"(data={"func":"isRunning"})";
    const std::string ours =
        "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    const std::string www = "GET / HTTP/1.0\r\n\r\n";

    DMServerWrapper_SetCertContainerPath(dir / "zunwssc.dat");
    CDMLinuxQuilletConnector connector;
    unsigned short port = agenttest::freePort();
    std::thread server([&] {
        unsigned short chosen = 0;
        DMServerWrapper_StartServer(&connector, &port, 1, chosen);
    });
    DMServerWrapper_WaitListening(std::chrono::seconds(5));
    double agent = measure(root, port, ours, seconds, threads);
    DMServerWrapper_StopServer();
    server.join();

    unsigned short refPort = agenttest::freePort();
    pid_t ref = ::fork();
    if (ref == 0) {
        int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        std::string cert = dir / "chain.pem", key = dir / "key.pem", accept = std::to_string(refPort);
        ::execlp("openssl", "openssl", "s_server", "-www", "-quiet", "-accept", accept.c_str(), "-cert", cert.c_str(),
                 "-key", key.c_str(), "-no_ticket", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    agenttest::waitForPort(refPort, std::chrono::seconds(5));
    double reference = measure(root, refPort, www, seconds, threads);
    ::kill(ref, SIGTERM);
    ::waitpid(ref, nullptr, 0);

    std::printf("isRunning over new TLS connections (%d client threads, %.0f s each):\n", threads, seconds);
    std::printf("  agent:             %8.0f requests/s\n", agent);
    std::printf("  openssl s_server:  %8.0f requests/s\n", reference);
    std::printf("  ratio agent/ref:   %8.2f\n", reference > 0 ? agent / reference : 0.0);
    return 0;
}
