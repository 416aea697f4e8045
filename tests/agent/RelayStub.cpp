#include "RelayStub.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

namespace agenttest {

const std::string& relayCertDir() {
    static zqtest::TempDir dir("relaycerts");
    static const bool made =
        zqtest::run({"bash", zqtest::sourceDir() + "/tests/agent/make_relay_certs.sh", dir.path()}).status == 0;
    EXPECT_TRUE(made) << "make_relay_certs.sh failed";
    return dir.path();
}

std::string RelayStub::caFile() { return relayCertDir() + "/ca.pem"; }

RelayStub::RelayStub(const std::string& certName) {
    const std::string certs = relayCertDir();
    const std::string script = zqtest::sourceDir() + "/tests/agent/relay_stub.py";
    const std::string cert = certs + "/" + certName + ".pem", key = certs + "/" + certName + ".key";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(zqtest::kPython, zqtest::kPython, script.c_str(), m_dir.path().c_str(), cert.c_str(), key.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    m_pid = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!zqtest::fileExists(m_dir / "port") && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::string port = zqtest::fileExists(m_dir / "port") ? zqtest::readFile(m_dir / "port") : "";
    EXPECT_FALSE(port.empty()) << "relay stub did not start";
    m_port = port.empty() ? 0 : static_cast<unsigned short>(std::stoi(port));
}

RelayStub::~RelayStub() {
    silent(false);
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
}

std::string RelayStub::url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(m_port) + path;
}

void RelayStub::answer(const std::string& action, int status, const std::string& body) {
    zqtest::writeFile(m_dir / ("answer_" + action + ".tmp"), std::to_string(status) + "\n" + body);
    std::filesystem::rename(m_dir / ("answer_" + action + ".tmp"), m_dir / ("answer_" + action));
}

void RelayStub::silent(bool on) {
    if (on)
        zqtest::writeFile(m_dir / "silent", "");
    else
        std::filesystem::remove(m_dir / "silent");
}

std::vector<std::string> RelayStub::bodies() const {
    std::vector<std::string> out;
    for (const auto& r : requests()) out.push_back(r.body);
    return out;
}

std::vector<RelayRequest> RelayStub::requests() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(m_dir.path())) {
        const std::string name = e.path().filename();
        if (name.rfind("req-", 0) == 0 && name.size() > 5 && name.substr(name.size() - 5) == ".head")
            names.push_back(name.substr(0, name.size() - 5));
    }
    std::sort(names.begin(), names.end());
    std::vector<RelayRequest> out;
    for (const std::string& n : names) {
        RelayRequest r;
        const std::string head = zqtest::readFile(m_dir / (n + ".head"));
        const size_t nl = head.find('\n');
        const std::string first = head.substr(0, nl);
        r.method = first.substr(0, first.find(' '));
        r.path = first.substr(first.find(' ') + 1);
        const size_t c = head.find("Cookie: ");
        if (c != std::string::npos) {
            r.hasCookie = true;
            r.cookie = head.substr(c + 8, head.find('\n', c) - c - 8);
        }
        r.body = zqtest::readFile(m_dir / (n + ".body"));
        out.push_back(r);
    }
    return out;
}

TrustRelayCa::TrustRelayCa() { ::setenv("QUILLETEX_RELAY_CAFILE", RelayStub::caFile().c_str(), 1); }
TrustRelayCa::~TrustRelayCa() { ::unsetenv("QUILLETEX_RELAY_CAFILE"); }

}  // namespace agenttest
