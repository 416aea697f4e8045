// The relay exchanges against the stub relay (HTTPS on 127.0.0.1 with a test
// CA): request bytes, cookies, codes, caps, time-outs, refused servers, and
// image downloads.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "AgentTestSupport.h"
#include "RelayStub.h"
#include "common/DMLinuxUtil.h"
#include "job/Job.h"

namespace {

using agenttest::RelayStub;
using namespace std::chrono_literals;

class Relay : public ::testing::Test {
protected:
    void SetUp() override { DMLinuxUtil_SetUserHOMEDir(home.path().c_str()); }
    void TearDown() override { strURLValues = nullptr; }

    int getFunc(RelayStub& stub, const std::string& session = "JSESSIONID=abc", int* code = nullptr) {
        reply.clear();
        return send_GetFunc(stub.url(), session, "42", "login", nullptr, reply, code);
    }

    agenttest::TrustRelayCa trust;
    zqtest::TempDir home{"relayhome"};
    std::string reply;
};

TEST_F(Relay, GetFuncSendsItsFormAndTheSessionAsCookie) {
    RelayStub stub;
    stub.answer("getFunc", 200, "funcName=getVersion");
    const std::string session = "JSESSIONID=a b; WMONID=x=1";
    ASSERT_EQ(send_GetFunc(stub.url(), session, "req 1&x", "login/2", "ab%2Bc|de", reply), 0);
    EXPECT_EQ(reply, "funcName=getVersion");
    ASSERT_EQ(stub.requests().size(), 1u);
    const auto r = stub.requests()[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.path, "/relay");
    EXPECT_EQ(r.body, "Action=getFunc&reqID=req+1%26x&PolicyName=login/2&CACertIDs=ab%2Bc|de");
    EXPECT_TRUE(r.hasCookie);
    EXPECT_EQ(r.cookie, session);

    // Plain ids go as they are; no CA ids, nothing after the name.
    ASSERT_EQ(send_GetFunc(stub.url(), "s", "20261210-01", "policy_1", nullptr, reply), 0);
    EXPECT_EQ(stub.requests().back().body, "Action=getFunc&reqID=20261210-01&PolicyName=policy_1&CACertIDs=");
}

TEST_F(Relay, ResultPostsEncodeTwice) {
    RelayStub stub;
    stub.answer("setResult", 200, "");
    StructURLValues job{"JSESSIONID=abc", "7", "login", stub.url(), "", "", ""};
    strURLValues = &job;
    EXPECT_EQ(send_ErrCode("1410"), 0);
    EXPECT_EQ(stub.requests().back().body, "Action=setResult&reqID=7&returnValue=ret%3d2%26retdata%3dErrMsg%253d1410");
    EXPECT_EQ(stub.requests().back().cookie, "JSESSIONID=abc");
    std::string body;
    EXPECT_EQ(send_ResultByFunc(stub.url(), "c", "7", "1", "a b", &body), 0) << "an empty 200 is fine";
    EXPECT_EQ(stub.requests().back().body, "Action=setResult&reqID=7&returnValue=ret%3d1%26retdata%3da%2bb");
    EXPECT_EQ(send_Cancel(), 0);
    EXPECT_EQ(stub.requests().back().body, "Action=setResult&reqID=7&returnValue=ret%3d3%26retdata%3d");
    EXPECT_EQ(send_BlankOK(), 0);
    EXPECT_EQ(stub.requests().back().body, "Action=setResult&reqID=7&returnValue=ret%3d1%26retdata%3d");
    stub.answer("setResult", 500, "no");
    EXPECT_EQ(send_ResultByFunc(stub.url(), "c", "7", "1", "", &body), -100416);
}

TEST_F(Relay, GetFuncCodes) {
    RelayStub stub;
    struct Case {
        int status;
        std::string body;
        int result, relayCode;
    };
    const std::vector<Case> cases = {
        {500, "funcName=login", -100410, 0},
        {302, "", -100410, 0},  // never followed
        {200, "", -100411, 0},
        {200, "100$x", -100407, 100},
        {200, "302$expired", -100407, 302},
        {200, "000$x", 0, 0},
        {200, std::string(1 << 20, 'a'), 0, 0},
        {200, std::string((1 << 20) + 1, 'a'), -100409, 0},
        {200, std::string(2 << 20, 'a'), -100409, 0},
    };
    for (const auto& c : cases) {
        stub.answer("getFunc", c.status, c.body);
        int code = -1;
        EXPECT_EQ(getFunc(stub, "s", &code), c.result) << c.status << " " << c.body.substr(0, 20);
        EXPECT_EQ(code, c.relayCode) << c.body.substr(0, 20);
        if (c.result != 0) {
            EXPECT_TRUE(reply.empty());
        }
    }
    EXPECT_TRUE(RelaySessionExpired(302) && RelaySessionExpired(402) && RelaySessionExpired(600));
    EXPECT_FALSE(RelaySessionExpired(100));
}

TEST_F(Relay, NothingIsSentToAnUnsafeTarget) {
    RelayStub stub;
    stub.answer("getFunc", 200, "funcName=getVersion");
    const std::string http = "http://127.0.0.1:" + std::to_string(stub.port()) + "/relay";
    EXPECT_EQ(send_GetFunc(http, "s", "1", "p", nullptr, reply), -100408);
    EXPECT_EQ(getFunc(stub, "a=1\r\nX-Injected: 1"), -100408);
    EXPECT_EQ(getFunc(stub, "a=1\nb"), -100408);
    EXPECT_EQ(getFunc(stub, std::string("a\0b", 3)), -100408);
    EXPECT_EQ(send_ResultByFunc(http, "s", "1", "2", "x", nullptr), -100414);
    EXPECT_EQ(send_GetFunc("", "s", "1", "p", nullptr, reply), -100408);
    EXPECT_EQ(send_GetFunc(stub.url() + " x", "s", "1", "p", nullptr, reply), -100408);
    EXPECT_TRUE(stub.requests().empty());
}

TEST_F(Relay, UntrustedServersAreRefusedBeforeTheBody) {
    {
        RelayStub other("other-server");
        other.answer("getFunc", 200, "funcName=getVersion");
        EXPECT_EQ(getFunc(other), -100409);
        EXPECT_TRUE(other.requests().empty());
    }
    // openssl s_server with a self-signed certificate prints what it receives.
    const unsigned short port = agenttest::freePort();
    zqtest::TempDir out("sserver");
    const std::string certs = agenttest::relayCertDir();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const std::string log = out / "received";
        std::freopen(log.c_str(), "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        ::execlp("openssl", "openssl", "s_server", "-accept", std::to_string(port).c_str(), "-cert",
                 (certs + "/self.pem").c_str(), "-key", (certs + "/self.key").c_str(), "-quiet",
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ASSERT_TRUE(agenttest::waitForPort(port, 10s));
    EXPECT_EQ(send_GetFunc("https://127.0.0.1:" + std::to_string(port) + "/", "s", "1", "p", nullptr, reply), -100409);
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    EXPECT_EQ(zqtest::readFile(out / "received").find("Action="), std::string::npos);
}

TEST_F(Relay, ASilentRelayFailsWithinTheTimeOut) {
    RelayStub stub;
    stub.answer("getFunc", 200, "funcName=getVersion");
    stub.silent(true);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(getFunc(stub), -100409);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, 35s);
    EXPECT_GE(took, 25s);
    // The next exchange goes through.
    stub.silent(false);
    EXPECT_EQ(getFunc(stub), 0);
}

TEST_F(Relay, ImagesAreStoredWholeOrNotAtAll) {
    RelayStub stub;
    const std::string dir = home / "NPKI/.veridanCACerts";
    zqtest::makeDirs(dir);
    std::string path;
    const std::string image = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(5000, '\x01');
    stub.answer("GET", 200, image);
    ASSERT_EQ(Downlaod_ImageURL(stub.url("/logo.png").c_str(), "logo.png", path), 0);
    EXPECT_EQ(path, dir + "/logo.png");
    EXPECT_EQ(zqtest::readFile(path), image);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(stub.requests().back().method, "GET");
    EXPECT_FALSE(stub.requests().back().hasCookie);

    stub.answer("GET", 200, std::string(2 << 20, 'i'));
    EXPECT_EQ(Downlaod_ImageURL(stub.url("/big.png").c_str(), "big.png", path), 0);
    for (const auto& [status, body] : std::vector<std::pair<int, std::string>>{
             {404, "<html>not found</html>"}, {200, std::string((2 << 20) + 1, 'i')}}) {
        stub.answer("GET", status, body);
        EXPECT_EQ(Downlaod_ImageURL(stub.url("/x.png").c_str(), "x.png", path), -100413) << status;
        EXPECT_FALSE(zqtest::fileExists(dir + "/x.png")) << status;
        EXPECT_TRUE(path.empty());
    }
    EXPECT_EQ(Downlaod_ImageURL(stub.url("/x.png").c_str(), "../x.png", path), -1);
    EXPECT_EQ(Downlaod_ImageURL("http://127.0.0.1/x.png", "x.png", path), -100412);
}

}  // namespace
