#include "NetServers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace nettest {

unsigned short freePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("no free port");
    ::close(fd);
    return ntohs(a.sin_port);
}

bool waitForPort(unsigned short port, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        if (up) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

Background::Background(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv) {
    std::vector<std::string> env = zqtest::environmentWith(extraEnv);
    m_pid = ::fork();
    if (m_pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        std::vector<char*> args, envp;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        ::execvpe(args[0], args.data(), envp.data());
        ::_exit(127);
    }
}

Background::~Background() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
}

HttpServer::HttpServer(const std::string& dir)
    : m_port(freePort()),
      m_proc({zqtest::kPython, "-m", "http.server", "--bind", "127.0.0.1", "--directory", dir, std::to_string(m_port)}),
      m_ok(waitForPort(m_port, std::chrono::seconds(20))) {}

std::string HttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

Slapd::Slapd() : m_port(freePort()) {
    zqtest::makeDirs(m_dir / "db");
    zqtest::writeFile(m_dir / "slapd.conf",
                      "include /etc/ldap/schema/core.schema\n"
                      "modulepath /usr/lib/ldap\n"
                      "moduleload back_mdb\n"
                      "pidfile " +
                          m_dir / "slapd.pid" +
                          "\n"
                          "database mdb\n"
                          "suffix \"c=KR\"\n"
                          "rootdn \"cn=admin,c=KR\"\n"
                          "rootpw secret\n"
                          "directory " +
                          m_dir / "db" +
                          "\n"
                          "maxsize 104857600\n");
    m_proc = std::make_unique<Background>(
        std::vector<std::string>{"/usr/sbin/slapd", "-h", uri(), "-f", m_dir / "slapd.conf", "-d", "0"});
    m_ok = waitForPort(m_port, std::chrono::seconds(20)) && add("dn: c=KR\nobjectClass: country\nc: KR\n");
}

bool Slapd::add(const std::string& ldif) {
    return zqtest::run({"ldapadd", "-x", "-H", uri(), "-D", "cn=admin,c=KR", "-w", "secret"}, ldif).status == 0;
}

std::string Slapd::search(const std::string& dn, const std::string& attribute) {
    zqtest::TempDir out("ldapsearch");
    const auto r = zqtest::run({"ldapsearch", "-x", "-LLL", "-o", "ldif-wrap=no", "-H", uri(), "-b", dn, "-s", "base",
                                "-tt", "-T", out.path(), "(objectclass=*)", attribute});
    if (r.status != 0) return {};
    // -tt writes each value to a file of its own in the folder and names it
    // in the output as "attribute:< file://path".
    const size_t at = r.output.find(":< file://");
    if (at == std::string::npos) return {};
    const size_t start = at + 10;
    const std::string path = r.output.substr(start, r.output.find('\n', start) - start);
    return zqtest::readFile(path);
}

StandIn::StandIn(Handler handler) : m_handler(std::move(handler)) {
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_listen, 16) != 0 ||
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("stand-in cannot listen");
    m_port = ntohs(a.sin_port);
    m_thread = std::thread([this] {
        while (!m_stop) {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            ++m_connections;
            m_handler(fd, *this);
            ::close(fd);
        }
    });
}

StandIn::~StandIn() {
    m_stop = true;
    m_thread.join();
    ::close(m_listen);
}

std::string StandIn::recorded() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_recorded;
}

void StandIn::record(const std::string& bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_recorded = bytes;
}

std::string readRequest(int fd, StandIn& self) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    size_t want = std::string::npos;
    while (std::chrono::steady_clock::now() < deadline && got.size() < want) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        char buf[4096];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
        const size_t end = got.find("\r\n\r\n");
        if (end != std::string::npos && want == std::string::npos) {
            size_t body = 0;
            const size_t cl = got.find("Content-length: ");
            if (cl != std::string::npos && cl < end) body = std::stoul(got.substr(cl + 16));
            want = end + 4 + body;
        }
    }
    self.record(got);
    return got;
}

bool sendAll(int fd, const std::string& bytes) {
    size_t off = 0;
    while (off < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
        if (n <= 0) return false;
        off += static_cast<size_t>(n);
    }
    return true;
}

StandIn::Handler answer(const std::string& bytes) {
    return [bytes](int fd, StandIn& self) {
        readRequest(fd, self);
        sendAll(fd, bytes);
    };
}

}  // namespace nettest
