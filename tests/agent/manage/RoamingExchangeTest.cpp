// The roaming and PKCS#10 exchanges: the replies' parsers as tables, and the
// bodies, codes, caps, time-out and refused servers against the stub.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "AgentTestSupport.h"
#include "RoamingStub.h"
#include "job/Job.h"
#include "job/IRelayClient.h"
#include "job/Roaming.h"

namespace {

using agenttest::RoamingStub;
using namespace std::chrono_literals;

TEST(RoamingReplies, Import) {
    struct Case {
        std::string reply;
        int rc;
        std::string data;
    } cases[] = {
        {"OK$QUJD$", 0, "QUJD"},
        {"OK$QUJD", 0, "QUJD"},  // no closing "$": up to the end
        {"junk OK$QUJD$more$", 0, "QUJD"},
        {"OK$$", -1, ""},  // nothing to store
        {"OK$", -1, ""},
        {"ok$QUJD", -1, ""},
        {"ERROR$expired", -1, ""},
        {"", -1, ""},
    };
    for (const Case& c : cases) {
        std::string data = "untouched";
        EXPECT_EQ(ParseImportReply(c.reply, data), c.rc) << c.reply;
        EXPECT_EQ(data, c.rc == 0 ? c.data : "untouched") << c.reply;
    }
}

TEST(RoamingReplies, ExportCodeAndNumbers) {
    struct Case {
        std::string reply;
        int digits;
        int rc;
    } cases[] = {
        {"OK$12345678", 8, 0},   {"OK$12345678$extra", 8, 0}, {"OK$123", 8, -1},  // short: never read past the reply
        {"OK$123456789", 8, -1}, {"OK$1234abcd", 8, -1},      {"OK$123456781234", 12, 0},
        {"OK$12345678", 16, -1}, {"OK$1234567890", 10, -1},  // no such digit count
        {"12345678", 8, -1},
    };
    for (const Case& c : cases) {
        std::string code = "none";
        EXPECT_EQ(pars_ExportCert_RetValue(c.reply, c.digits, code), c.rc) << c.reply;
        if (c.rc == 0)
            EXPECT_EQ(code.size(), static_cast<size_t>(c.digits));
        else
            EXPECT_EQ(code, "none");
    }
    EXPECT_TRUE(RoamingNumberIsValid("1234567812345678", 16));
    EXPECT_FALSE(RoamingNumberIsValid("12&4", 4));
    EXPECT_FALSE(RoamingNumberIsValid("1234&678", 8));
    EXPECT_FALSE(RoamingNumberIsValid("12345678", 12));
    EXPECT_FALSE(RoamingNumberIsValid("１２３４５６７８", 8));
    EXPECT_EQ(RoamingDigitCount("16"), 16);
    EXPECT_EQ(RoamingDigitCount("10"), 0);
    EXPECT_EQ(RoamingDigitCount(""), 0);
    EXPECT_EQ(RoamingDigitCount("08"), 0);
}

TEST(RoamingReplies, Pkcs10) {
    std::string cert;
    EXPECT_EQ(ParseP10Reply("success|MIIC", cert), 0);
    EXPECT_EQ(cert, "MIIC");
    for (const char* bad : {"Success|MIIC", "success", "success|", "succes", "", "failure|x"}) {
        cert = "kept";
        EXPECT_EQ(ParseP10Reply(bad, cert), -1) << bad;
        EXPECT_EQ(cert, "kept");
    }
}

class RoamingExchange : public ::testing::Test {
protected:
    agenttest::TrustRelayCa trust;
    std::string reply;
};

TEST_F(RoamingExchange, BodiesAreTheProtocolsWithEveryValueEncoded) {
    RoamingStub stub;
    stub.answerImport("QUJD");
    stub.answerExport("12345678");
    stub.answerStatus();
    ASSERT_EQ(ImportCertificateWithURL(stub.roamingUrl(), "1.2", "1234567812345678", reply), 0);
    EXPECT_EQ(reply, "OK$QUJD$");
    ASSERT_EQ(ImportSetStatus(stub.roamingUrl(), "1.2", "1234567812345678", "COMPLETE", reply), 0);
    ASSERT_EQ(ExportGetStatus(stub.roamingUrl(), "1.2", "12345678", reply), 0);
    const std::string b64 = "MIIB+/a=";
    ASSERT_EQ(ExportCertificate(stub.roamingUrl(), b64, "1.2 x", 8, reply), 0);
    EXPECT_EQ(reply, "OK$12345678");

    const auto requests = stub.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].body, "Action=IMPORT&SVer=1.2&AuthNum=1234567812345678");
    EXPECT_FALSE(requests[0].hasCookie);
    EXPECT_EQ(requests[0].path, "/roaming");
    EXPECT_EQ(requests[1].body, "Action=SET_STATUS&SVer=1.2&AuthNum=1234567812345678&Status=COMPLETE");
    EXPECT_EQ(requests[2].body, "Action=GET_STATUS&SVer=1.2&AuthNum=12345678");
    EXPECT_EQ(requests[3].body, "Action=EXPORT&SVer=1.2+x&Size=8&EncCert=MIIB%2b/a%3d");
    EXPECT_EQ(RoamingStub::fields(requests[3].body)["EncCert"], b64);
}

TEST_F(RoamingExchange, RefusedNumbersSendNothing) {
    RoamingStub stub;
    stub.answerImport("QUJD");
    stub.answerStatus();
    EXPECT_EQ(ImportCertificateWithURL(stub.roamingUrl(), "1.2", "12&4", reply), kImportSetup);
    EXPECT_EQ(ImportCertificateWithURL(stub.roamingUrl(), "1.2", "", reply), kImportSetup);
    EXPECT_EQ(ImportSetStatus(stub.roamingUrl(), "1.2", "1&Status=X", "COMPLETE", reply), kSetStatusSetup);
    EXPECT_EQ(ExportGetStatus(stub.roamingUrl(), "1.2", "12 4", reply), kGetStatusSetup);
    EXPECT_TRUE(stub.requests().empty());
}

TEST_F(RoamingExchange, Codes) {
    RoamingStub stub;
    stub.answer("IMPORT", 500, "OK$QUJD$");
    EXPECT_EQ(ImportCertificateWithURL(stub.roamingUrl(), "1.2", "12345678", reply), kImportStatus);
    EXPECT_TRUE(reply.empty());
    stub.answer("EXPORT", 404, "");
    EXPECT_EQ(ExportCertificate(stub.roamingUrl(), "QUJD", "1.2", 8, reply), kExportStatus);
    // Over the reply cap: the transfer fails, nothing is kept.
    stub.answer("IMPORT", 200, "OK$" + std::string(kRelayReplyCap + 1, 'A'));
    EXPECT_EQ(ImportCertificateWithURL(stub.roamingUrl(), "1.2", "12345678", reply), kImportTransfer);
    EXPECT_TRUE(reply.empty());
    // Plain http and unsafe addresses are refused before any connection.
    const std::string http = "http://127.0.0.1:" + std::to_string(stub.port()) + "/roaming";
    EXPECT_EQ(ImportCertificateWithURL(http, "1.2", "12345678", reply), kImportSetup);
    EXPECT_EQ(send_P10CertRequestAndgetCert(http, "req=x", reply), kP10Setup);
}

TEST_F(RoamingExchange, Pkcs10Submission) {
    RoamingStub stub;
    stub.answer("none", 200, "success|MIICcert");  // a form without Action
    std::string cert;
    ASSERT_EQ(send_P10CertRequestAndgetCert(stub.url("/issue"), "name=%ED%99%8Dreq=MIIB%2b", cert), 0);
    EXPECT_EQ(cert, "MIICcert");
    EXPECT_EQ(stub.requests().back().body, "name=%ED%99%8Dreq=MIIB%2b");
    stub.answer("none", 200, "Success|MIICcert");
    EXPECT_EQ(send_P10CertRequestAndgetCert(stub.url("/issue"), "req=x", cert), kP10NotSuccess);
    EXPECT_TRUE(cert.empty());
    stub.answer("none", 503, "success|x");
    EXPECT_EQ(send_P10CertRequestAndgetCert(stub.url("/issue"), "req=x", cert), kP10Status);
}

TEST_F(RoamingExchange, UntrustedServersAreRefused) {
    {
        RoamingStub other;
        other.answerImport("QUJD");
        ::unsetenv("QUILLETEX_RELAY_CAFILE");  // only the system's CAs now
        EXPECT_EQ(ImportCertificateWithURL(other.roamingUrl(), "1.2", "12345678", reply), kImportTransfer);
        EXPECT_TRUE(other.requests().empty());
        ::setenv("QUILLETEX_RELAY_CAFILE", RoamingStub::caFile().c_str(), 1);
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
    EXPECT_EQ(ExportCertificate("https://127.0.0.1:" + std::to_string(port) + "/", "QUJD", "1.2", 8, reply),
              kExportTransfer);
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    EXPECT_EQ(zqtest::readFile(out / "received").find("Action="), std::string::npos);
}

}  // namespace
