#include "AgentTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <thread>

namespace agenttest {

void makeInstallDir(const std::string& dir, bool withProgram) {
    zqtest::makeDirs(dir);
    auto r = zqtest::run({zqtest::sourceDir() + "/scripts/make-server-cert", dir, ZQ_WSSC_MAKE});
    if (r.status != 0) throw std::runtime_error("make-server-cert failed");
    if (withProgram)
        std::filesystem::copy_file(ZQ_PROGRAM, dir + "/ZEPHALTQuilletEX",
                                   std::filesystem::copy_options::overwrite_existing);
}

std::string programPath() { return ZQ_PROGRAM; }

std::string noThreadsLibrary() { return ZQ_NO_THREADS; }

unsigned short freePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("no free port");
    ::close(fd);
    return ntohs(a.sin_port);
}

bool waitForPort(unsigned short port, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        if (up) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

DualStackHolder::DualStackHolder(unsigned short port) {
    m_fd = ::socket(AF_INET6, SOCK_STREAM, 0);
    int off = 0, on = 1;
    ::setsockopt(m_fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    // A port that just served connections may still have them in TIME_WAIT.
    ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_any;
    a.sin6_port = htons(port);
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_fd, 4) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

DualStackHolder::~DualStackHolder() {
    if (m_fd >= 0) ::close(m_fd);
}

std::vector<std::string> programEnv(const std::string& install, const std::string& home) {
    return {"QUILLETEX_INSTALL_DIR=" + install, "QUILLETEX_HOME=" + home, "HOME=" + home,
            "LSAN_OPTIONS=suppressions=" + zqtest::sourceDir() + "/tests/agent/lsan.supp:print_suppressions=0"};
}

Background::Background(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv) {
    // zqtest::run waits; this one is left running.
    std::vector<std::string> env = zqtest::environmentWith(extraEnv);
    m_pid = ::fork();
    if (m_pid == 0) {
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

zqtest::RunResult curl(const std::string& root, unsigned short port, const std::vector<std::string>& args,
                       const std::string& path) {
    std::vector<std::string> argv = {"curl", "-sS", "--max-time", "20", "--cacert", root};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back("https://127.0.0.1:" + std::to_string(port) + path);
    return zqtest::run(argv);
}

zqtest::RunResult tlsClient(const std::string& root, unsigned short port, const std::vector<std::string>& args,
                            const std::string& input) {
    std::vector<std::string> argv = {zqtest::kPython, zqtest::sourceDir() + "/tests/agent/server/tls_client.py", root,
                                     std::to_string(port)};
    argv.insert(argv.end(), args.begin(), args.end());
    return zqtest::run(argv, input);
}

}  // namespace agenttest
