// OpenSSL's mock CMP server (`openssl cmp -port`) as the CA of the issuance
// tests. It listens on every address and answers 127.0.0.1 only inside a
// network namespace of the test's own (PRIVATE_NET), so its tests run
// there. Stopped by its process id.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"

namespace zqtest {

// The fixtures of tests/store/make_cmp_fixtures.sh, made once per program.
inline const std::string& cmpFixtures() {
    static TempDir dir("cmpfix");
    static const bool made = run({sourceDir() + "/tests/store/make_cmp_fixtures.sh", dir.path()}).status == 0;
    static const std::string path = made ? dir.path() : std::string();
    return path;
}

class CmpMock {
public:
    // ref and code: the reference and PBM secret it accepts; rspCert: the
    // certificate it answers every request with (PEM).
    CmpMock(const std::string& ref, const std::string& code, const std::string& rspCert) {
        static int nextPort = 18200;
        m_port = nextPort++;
        const std::string fx = cmpFixtures();
        std::vector<std::string> argv = {"openssl",      "cmp",
                                         "-port",        std::to_string(m_port),
                                         "-srv_ref",     ref,
                                         "-srv_secret",  "pass:" + code,
                                         "-srv_cert",    fx + "/ca.pem",
                                         "-srv_key",     fx + "/ca.key",
                                         "-srv_trusted", fx + "/ca.pem",
                                         "-rsp_cert",    rspCert,
                                         "-rsp_capubs",  fx + "/ca.pem",
                                         "-verbosity",   "7"};
        m_pid = fork();
        if (m_pid == 0) {
            const int log = open(m_log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            dup2(log, 1);
            dup2(log, 2);
            std::vector<char*> args;
            for (auto& a : argv) args.push_back(a.data());
            args.push_back(nullptr);
            execvp("openssl", args.data());
            _exit(127);
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < until && !listening())
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~CmpMock() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    CmpMock(const CmpMock&) = delete;
    CmpMock& operator=(const CmpMock&) = delete;
    std::string port() const { return std::to_string(m_port); }
    // What it logged: "received IR", "received CR", "received KUR", ...
    std::string log() const { return readFile(m_log); }

private:
    // A listening socket on the port (no probe connection: the mock
    // serves one connection at a time).
    bool listening() const {
        char hex[8];
        snprintf(hex, sizeof hex, ":%04X", m_port);
        for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
            const std::string text = readFile(table);
            size_t at = 0;
            while ((at = text.find(hex, at)) != std::string::npos) {
                // local address, then the remote one, then the state (0A: listen)
                const size_t state = text.find(' ', text.find(' ', at + 5) + 1);
                if (state != std::string::npos && text.compare(state + 1, 2, "0A") == 0) return true;
                at += 5;
            }
        }
        return false;
    }
    TempDir m_dir{"cmpmock"};
    std::string m_log = m_dir / "log";
    pid_t m_pid = -1;
    int m_port = 0;
};

}  // namespace zqtest
