// The relay server of the job tests (relay_stub.py): HTTPS on a free port of
// 127.0.0.1 with a certificate of the test CA (make_relay_certs.sh), answers
// a test sets per Action, every request recorded. Ended by its process id.
#pragma once

#include <string>
#include <vector>

#include "TestSupport.h"

namespace agenttest {

// The certificates of make_relay_certs.sh, made once per test program.
const std::string& relayCertDir();

struct RelayRequest {
    std::string method, path, cookie, body;
    bool hasCookie = false;
};

class RelayStub {
public:
    // certName: "server" (the test CA's), "other-server" (another CA's).
    explicit RelayStub(const std::string& certName = "server");
    ~RelayStub();
    RelayStub(const RelayStub&) = delete;
    RelayStub& operator=(const RelayStub&) = delete;

    unsigned short port() const { return m_port; }
    std::string url(const std::string& path = "/relay") const;
    // The CA file the job trusts (QUILLETEX_RELAY_CAFILE).
    static std::string caFile();

    // The answer to a POST of this Action ("getFunc", "setResult"), or to
    // every GET ("GET").
    void answer(const std::string& action, int status, const std::string& body);
    void silent(bool on);
    std::vector<RelayRequest> requests() const;
    // The bodies of requests(), in order.
    std::vector<std::string> bodies() const;

private:
    zqtest::TempDir m_dir{"relaystub"};
    int m_pid = -1;
    unsigned short m_port = 0;
};

// Sets QUILLETEX_RELAY_CAFILE for the test's lifetime.
class TrustRelayCa {
public:
    TrustRelayCa();
    ~TrustRelayCa();
};

}  // namespace agenttest
