// Servers the network tests start on 127.0.0.1, each stopped by its process
// id or its thread: python's http.server, slapd with a directory of our own,
// and small stand-ins (a scripted answer, a silent listener, a proxy, a
// SOCKS 4 hop) written here.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"

namespace nettest {

// A port nobody listens on right now.
unsigned short freePort();
// True once something accepts connections on 127.0.0.1:port.
bool waitForPort(unsigned short port, std::chrono::milliseconds timeout);

// A child process, its output dropped, ended by its pid (SIGTERM) when the
// object goes.
class Background {
public:
    explicit Background(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {});
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;
    int pid() const { return m_pid; }

private:
    int m_pid = -1;
};

// python3 -m http.server serving dir.
class HttpServer {
public:
    explicit HttpServer(const std::string& dir);
    bool ok() const { return m_ok; }
    unsigned short port() const { return m_port; }
    std::string url(const std::string& path) const;

private:
    unsigned short m_port;
    Background m_proc;
    bool m_ok;
};

// slapd (core.schema, back_mdb) under a temporary folder, suffix "c=KR",
// administrator "cn=admin,c=KR" with password "secret".
class Slapd {
public:
    Slapd();
    bool ok() const { return m_ok; }
    unsigned short port() const { return m_port; }
    std::string uri() const { return "ldap://127.0.0.1:" + std::to_string(m_port) + "/"; }
    // ldapadd as the administrator; true when every entry was added.
    bool add(const std::string& ldif);
    // ldapsearch -tt of one attribute of the entry dn (base scope): the
    // value's bytes, or nothing.
    std::string search(const std::string& dn, const std::string& attribute);

private:
    zqtest::TempDir m_dir{"slapd"};
    unsigned short m_port;
    std::unique_ptr<Background> m_proc;
    bool m_ok = false;
};

// A listener on 127.0.0.1 whose thread hands each accepted connection to the
// handler, until the object goes. stopping() tells a handler to give up.
class StandIn {
public:
    using Handler = std::function<void(int fd, StandIn& self)>;
    explicit StandIn(Handler handler);
    ~StandIn();
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;
    unsigned short port() const { return m_port; }
    bool stopping() const { return m_stop.load(); }
    int connections() const { return m_connections.load(); }
    // What the handler recorded (readRequest keeps the last request here).
    std::string recorded() const;
    void record(const std::string& bytes);

private:
    int m_listen = -1;
    unsigned short m_port = 0;
    Handler m_handler;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    mutable std::mutex m_mutex;
    std::string m_recorded;
    std::thread m_thread;
};

// Reads a request head and the body its Content-length announces (2 s at
// most), records it on self and returns it.
std::string readRequest(int fd, StandIn& self);
bool sendAll(int fd, const std::string& bytes);
// A handler that reads the request and answers with the bytes.
StandIn::Handler answer(const std::string& bytes);

}  // namespace nettest
