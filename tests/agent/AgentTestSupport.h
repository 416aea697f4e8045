// Helpers for tests that talk to the command server or start the agent.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace agenttest {

// Writes a fresh root CA ("VERIDAN_ROOT.cer") and container ("zunwssc.dat")
// into dir with the install step's own script; with withProgram the agent
// program is copied there too.
void makeInstallDir(const std::string& dir, bool withProgram = false);
std::string programPath();
// A library that, preloaded, makes every thread start of the program fail.
std::string noThreadsLibrary();

// A port nobody listens on right now.
unsigned short freePort();
// True once something accepts connections on 127.0.0.1:port.
bool waitForPort(unsigned short port, std::chrono::milliseconds timeout);

// A listening socket on [::]:port that also takes IPv4 (dual stack).
class DualStackHolder {
public:
    explicit DualStackHolder(unsigned short port);
    ~DualStackHolder();
    DualStackHolder(const DualStackHolder&) = delete;
    DualStackHolder& operator=(const DualStackHolder&) = delete;
    bool ok() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// The environment for running the agent program: install directory, home,
// and the leak-check suppressions for what GTK keeps.
std::vector<std::string> programEnv(const std::string& install, const std::string& home);

// A child process that runs until the object goes.
class Background {
public:
    Background(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {});
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

private:
    int m_pid = -1;
};

// curl against https://127.0.0.1:port with the root as the only trust.
zqtest::RunResult curl(const std::string& root, unsigned short port, const std::vector<std::string>& args,
                       const std::string& path = "/");

// Runs the TLS test client (tls_client.py) with its arguments.
zqtest::RunResult tlsClient(const std::string& root, unsigned short port, const std::vector<std::string>& args,
                            const std::string& input = {});

}  // namespace agenttest
