// Issue, renewal and request jobs through the entry functions, a scripted
// UI playing the windows' OK, the relay stub, OpenSSL's mock CMP server as
// the CA (in a network namespace of the test's own) and an issuing web
// server of the test's (p10_issuer.py): stored files judged by cmp, openssl
// and find, every post to the relay checked.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include <zephaltpavix/zephaltpavix.h>

#include "CmpMock.h"
#include "IssuePlayer.h"
#include "RelayStub.h"
#include "RoamingStub.h"
#include "TestSupport.h"
#include "common/DMLinuxUtil.h"
#include "job/IssueActions.h"
#include "job/Job.h"
#include "job/ParsingFunc.h"

namespace {

using agenttest::RelayStub;
using zqtest::CmpMock;
using zqtest::run;

const std::string& fx() { return zqtest::cmpFixtures(); }

class ScriptedUi : public IJobUi {
public:
    void MessageBox(const char* text, int) override { boxes.push_back(text); }
    int MessageBoxOKCancel(const char*, int) override { return 1; }
    void LanguageSet(const char*) override {}
    int OpenWindow(JobWindow window) override {
        opened.push_back(window);
        if (onWindow) onWindow(window);
        return 0;
    }
    void QuitLoop() override {}
    void CloseJobWindow() override {
        ++closes;
        QUILLET_EXIT(1);
    }
    void ClearCertLists() override {}
    int AddCertLists(const CertLists&, int) override { return 0; }
    void GetSelectedCertValue(SelectedCertValues& out) override { out = chosen; }
    void ReleaseUi() override {}

    SelectedCertValues chosen{};
    std::vector<std::string> boxes;
    std::vector<JobWindow> opened;
    int closes = 0;
    std::function<void(JobWindow)> onWindow;
};

int writeLine(const char*, const char*) { return 1; }
int writeInt(const char*, int) { return 1; }

std::set<std::string> filesUnder(const std::string& dir) {
    std::set<std::string> out;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(dir, ec); it != std::filesystem::end(it);
         it.increment(ec))
        if (it->is_regular_file()) out.insert(std::filesystem::relative(it->path(), dir));
    return out;
}

std::string modulus(const std::vector<std::string>& argv) {
    const auto r = run(argv);
    return r.status == 0 ? r.output : "failed";
}
std::string keyModulus(const std::string& key, const std::string& pw) {
    return modulus({"sh", "-c",
                    "openssl pkcs8 -inform DER -provider legacy -provider default -passin pass:" + pw + " -in '" + key +
                        "' 2>/dev/null | openssl rsa -noout -modulus"});
}
std::string certModulus(const std::string& cert, const char* form = "DER") {
    return modulus({"openssl", "x509", "-inform", form, "-in", cert, "-noout", "-modulus"});
}
mode_t modeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// p10_issuer.py on a free port of 127.0.0.1, under the relay's test CA.
class Issuer {
public:
    Issuer() {
        const std::string certs = agenttest::relayCertDir();
        m_pid = fork();
        if (m_pid == 0) {
            execl(zqtest::kPython, zqtest::kPython, (zqtest::sourceDir() + "/tests/agent/p10_issuer.py").c_str(),
                  m_dir.path().c_str(), (certs + "/server.pem").c_str(), (certs + "/server.key").c_str(),
                  (fx() + "/ppki.pem").c_str(), (fx() + "/ppki.key").c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!zqtest::fileExists(m_dir / "port") && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        m_port = zqtest::fileExists(m_dir / "port") ? zqtest::readFile(m_dir / "port") : "0";
    }
    ~Issuer() {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
    std::string url() const { return "https://127.0.0.1:" + m_port + "/issue"; }
    void answer(const std::string& body) { zqtest::writeFile(m_dir / "answer", body); }
    std::string lastBody() const { return zqtest::readFile(m_dir / "last.body"); }

private:
    zqtest::TempDir m_dir{"p10issuer"};
    pid_t m_pid = -1;
    std::string m_port;
};

const char kUserDir[] = "NPKI/yessign/USER/cn=Hong Gildong()0011,ou=personal4IB,o=yessign,c=KR";
const char kPrivateDir[] = "PPKI/Veridan/VERIDAN CA/USER";

class IssueJob : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(fx().empty());
        DMLinuxUtil_SetUserHOMEDir(home.path().c_str());
        setenv("QUILLETEX_HOME", home.path().c_str(), 1);
        setenv("QUILLETEX_MEDIA_ROOT", media.path().c_str(), 1);
        setenv("ZEPHALTCMP_TEST_NEWKEY", (fx() + "/user.key").c_str(), 1);
        Quillet_SetUi(&ui);
        LinuxQuillet_InitWriteLog(0, writeLine, writeInt);
        stub.answer("setResult", 200, "");
    }
    void TearDown() override {
        Quillet_SetUi(nullptr);
        LinuxQuillet_InitWriteLog(0, nullptr, nullptr);
        unsetenv("QUILLETEX_HOME");
        unsetenv("QUILLETEX_MEDIA_ROOT");
        unsetenv("ZEPHALTCMP_TEST_NEWKEY");
    }
    // One job: funcName with the policy's keys (values encoded as the relay
    // encodes them).
    void job(const std::string& func, const std::vector<std::pair<std::string, std::string>>& policy) {
        EXPECT_EQ(issuetest::runJob(stub, func, policy, "issue"), 0);
    }
    std::vector<std::string> results() {
        std::vector<std::string> out;
        for (const auto& r : stub.requests())
            if (r.body.rfind("Action=setResult&", 0) == 0)
                out.push_back(r.body.substr(r.body.find("returnValue=") + 12));
        return out;
    }
    static std::string ok() { return "ret%3d1%26retdata%3d"; }
    static std::string err(const std::string& code) { return "ret%3d2%26retdata%3dErrMsg%253d" + code; }
    std::vector<std::pair<std::string, std::string>> cmpPolicy(const CmpMock& ca, const std::string& code = "CODE1") {
        return {{"IssueRefID", "REF1"},       {"IssuePassword", code}, {"CMPServerAddr", "127.0.0.1"},
                {"CMPServerPort", ca.port()}, {"CAName", "YESSIGN"},   {"Mode", "1"}};
    }

    agenttest::TrustRelayCa trust;
    zqtest::TempDir home{"issuejobhome"};
    zqtest::TempDir media{"issuejobmedia"};
    RelayStub stub;
    ScriptedUi ui;
};

TEST_F(IssueJob, AnIssueLandsOnTheHomeOrADriveAndPostsOne1) {
    CmpMock ca("REF1", "CODE1", fx() + "/user.pem");
    const std::string volume = media / "media/usb1";
    zqtest::makeDirs(volume);
    for (const std::string& target : {home.path(), volume}) {
        SCOPED_TRACE(target);
        const size_t before = results().size();
        ui.onWindow = [&](JobWindow w) {
            ASSERT_EQ(w, JobWindow::Issue);
            std::string pw = "NEWPASS12", drive = target == volume ? volume : "";
            sig_Issue_clicked(drive.empty() ? 0 : 1, pw.data(), drive.data());
        };
        job("issue", cmpPolicy(ca));
        const std::string dir = target + "/" + kUserDir;
        EXPECT_EQ(zqtest::readFile(dir + "/signCert.der"), zqtest::readFile(fx() + "/user.der"));
        EXPECT_EQ(keyModulus(dir + "/signPri.key", "NEWPASS12"), certModulus(fx() + "/user.der"));
        EXPECT_EQ(modeOf(dir + "/signPri.key"), 0600u);
        ASSERT_EQ(results().size(), before + 1);
        EXPECT_EQ(results().back(), ok());
        EXPECT_EQ(LinuxQuillet_GetResult(), 1);
    }
    // The home keeps its copy; the drive's issue deleted nothing there.
    EXPECT_EQ(filesUnder(home / kUserDir).size(), 2u);
}

TEST_F(IssueJob, RefusedIssuesPost1440AndLeaveNothing) {
    CmpMock ca("REF1", "CODE1", fx() + "/user.pem");
    ui.onWindow = [&](JobWindow) {
        std::string pw = "NEWPASS12", drive;
        sig_Issue_clicked(0, pw.data(), drive.data());
    };
    job("issue", cmpPolicy(ca, "WRONG"));  // "wrong pbm value"
    auto policy = cmpPolicy(ca);
    policy[0].second = "REF1&CAIP=10.0.0.1";  // would move the CA connection
    job("issue", policy);
    EXPECT_EQ(results(), (std::vector<std::string>{err("1440"), err("1440")}));
    EXPECT_EQ(ui.boxes.size(), 2u);
    EXPECT_TRUE(filesUnder(home.path()).empty());
}

TEST_F(IssueJob, ThePrivatePackageAndSigngateReissueReachTheCa) {
    CmpMock ca("REF1", "CODE1", fx() + "/user.pem");
    std::string caNameSeen;
    ui.onWindow = [&](JobWindow) {
        std::string pw = "NEWPASS12", drive;
        sig_Issue_clicked(0, pw.data(), drive.data());
        caNameSeen = strPolicyList->CAName;
    };
    auto policy = cmpPolicy(ca);
    policy.push_back({"Package", "VERIDAN_CA_2"});
    job("issue", policy);
    EXPECT_EQ(caNameSeen, PPKI_CA_NAME) << "the private CA's name goes to the client";
    EXPECT_NE(ca.log().find("received IR"), std::string::npos);
    EXPECT_EQ(ca.log().find("received CR"), std::string::npos);
    auto reissue = cmpPolicy(ca);
    reissue[4].second = "SIGNGATE";
    reissue[5].second = "5";
    job("issue", reissue);
    EXPECT_EQ(results(), (std::vector<std::string>{ok(), ok()}));
    EXPECT_NE(ca.log().find("received CR"), std::string::npos) << "Mode 5 at SIGNGATE reissues";
}

TEST_F(IssueJob, RenewalOfTheChosenCertificate) {
    const std::string dir = home / "NPKI/yessign/USER/cn=Kim Renewal()0022,ou=personal4IB,o=yessign,c=KR";
    zqtest::makeDirs(dir);
    zqtest::writeFile(dir + "/signCert.der", zqtest::readFile(fx() + "/old.der"));
    zqtest::writeFile(dir + "/signPri.key", zqtest::readFile(fx() + "/old.p8"));
    zqtest::writeFile(home / "NPKI/yessign/ca.der", zqtest::readFile(fx() + "/ca.der"));
    std::strcpy(ui.chosen.certpath, (dir + "/signCert.der").c_str());
    CmpMock ca("REF1", "CODE1", fx() + "/renewed.pem");
    std::vector<int> codes;
    ui.onWindow = [&](JobWindow w) {
        EXPECT_EQ(w, JobWindow::Update) << "the selection window in its renewal mode";
        std::string next = "NEWPASS34";
        codes.push_back(sig_Update_clicked(0, next.data()));
    };
    // Four wrong passwords leave the window open with the tries left; the
    // fifth ends the job.
    std::strcpy(ui.chosen.password, "WRONGPW1");
    for (int i = 0; i < 5; ++i) job("update", cmpPolicy(ca));
    EXPECT_EQ(codes, (std::vector<int>{-100, -100, -100, -100, -101}));
    ASSERT_EQ(ui.boxes.size(), 5u);
    EXPECT_NE(ui.boxes[0].find("현재 4회 남음"), std::string::npos);
    EXPECT_NE(ui.boxes[3].find("현재 1회 남음"), std::string::npos);
    EXPECT_EQ(results(), (std::vector<std::string>{err("1425")}));
    EXPECT_EQ(zqtest::readFile(dir + "/signPri.key"), zqtest::readFile(fx() + "/old.p8"));

    std::strcpy(ui.chosen.password, "OLDPASS12");
    job("update", cmpPolicy(ca));
    EXPECT_EQ(codes.back(), 0);
    EXPECT_EQ(results().back(), ok());
    EXPECT_EQ(zqtest::readFile(dir + "/signCert.der"), zqtest::readFile(fx() + "/renewed.der"));
    EXPECT_EQ(keyModulus(dir + "/signPri.key", "NEWPASS34"), certModulus(fx() + "/renewed.der"));
    EXPECT_EQ(keyModulus(dir + "/signPri.key", "OLDPASS12"), "failed");
}

class RequestJob : public IssueJob {
protected:
    // The request a "req=" result carries, as DER in path.
    static void requestOf(const std::string& result, const std::string& path) {
        const std::string data = agenttest::RoamingStub::decode(agenttest::RoamingStub::decode(result));
        const size_t at = data.find("req=");
        ASSERT_NE(at, std::string::npos) << data;
        const std::string b64 = agenttest::RoamingStub::decode(data.substr(at + 4));
        ASSERT_EQ(run({"sh", "-c", "openssl base64 -d -A > '" + path + "'"}, b64).status, 0);
    }
};

TEST_F(RequestJob, TheKeyWaitsForTheInsertJob) {
    unsetenv("ZEPHALTCMP_TEST_NEWKEY");
    for (const auto& [bits, expect] : {std::pair<const char*, const char*>{"", "2048"}, {"4096", "4096"}}) {
        SCOPED_TRACE(bits);
        std::filesystem::remove_all(home / "PPKI");
        ui.onWindow = [&](JobWindow w) {
            ASSERT_EQ(w, JobWindow::CertRequest);
            std::string pw = "PPKIPASS1";
            EXPECT_EQ(sig_certRequestWindow_clicked(pw.data()), 0);
        };
        job("certRequest",
            {{"Mode", "1"}, {"PKCS10CertDN", "CN=Park Private,OU=Staff,O=Veridan,C=KR"}, {"CertBit", bits}});
        const std::string req = home / "req.der";
        requestOf(results().back(), req);
        EXPECT_EQ(run({"openssl", "req", "-inform", "DER", "-in", req, "-verify", "-noout"}).status, 0);
        const auto sizeAndName = run({zqtest::kPython, "-c",
                                      "import sys;from cryptography import x509;"
                                      "r=x509.load_der_x509_csr(open(sys.argv[1],'rb').read());"
                                      "print(r.public_key().key_size, r.subject.rfc4514_string())",
                                      req});
        EXPECT_EQ(sizeAndName.output, std::string(expect) + " CN=Park Private,OU=Staff,O=Veridan,C=KR\n");
        // The kept key: named by the SHA-1 of the request's modulus.
        const auto digest = run({"sh", "-c",
                                 "openssl req -inform DER -in '" + req +
                                     "' -noout -modulus | cut -d= -f2 | python3 -c 'import sys,binascii,hashlib; "
                                     "print(hashlib.sha1(binascii.unhexlify(sys.stdin.read().strip())).hexdigest()."
                                     "upper())'"})
                                .output;
        const std::string kept = home / (std::string(kPrivateDir) + "/" + digest.substr(0, 40) + ".bin");
        EXPECT_EQ(modeOf(kept), 0600u);
        if (std::string(bits).empty()) {
            // The CA issues; the insert job stores the pair and drops the kept key.
            const std::string pem = run({"openssl", "x509", "-req", "-inform", "DER", "-in", req, "-CA",
                                         fx() + "/ppki.pem", "-CAkey", fx() + "/ppki.key", "-set_serial", "9"})
                                        .output;
            ui.onWindow = [&](JobWindow w) {
                ASSERT_EQ(w, JobWindow::CertAndKeyStore);
                std::string drive;
                sig_certAndKeyStoreAfterCertRequestWindow_clicked(0, drive.data());
            };
            job("insertCert", {{"PKCS10Cert", pem}});
            EXPECT_EQ(results().back(), ok());
            const std::string dir = home / (std::string(kPrivateDir) + "/cn=Park Private,ou=Staff,o=Veridan,c=KR");
            EXPECT_EQ(keyModulus(dir + "/signPri.key", "PPKIPASS1"), certModulus(dir + "/signCert.der"));
            EXPECT_FALSE(zqtest::fileExists(kept));
            job("insertCert", {{"PKCS10Cert", pem}});
            EXPECT_EQ(results().back(), err("1441")) << "no kept key any more";
        }
        unlink(req.c_str());
    }
}

TEST_F(RequestJob, RequestAndStoreInOneJob) {
    unsetenv("ZEPHALTCMP_TEST_NEWKEY");
    Issuer issuer;
    ui.onWindow = [&](JobWindow w) {
        ASSERT_EQ(w, JobWindow::Issue) << "Mode 22 opens the issue window";
        ASSERT_EQ(g_Mode, 22);
        std::string pw = "PPKIPASS1", drive;
        sig_certRequestAndStore_clicked(0, drive.data(), pw.data());
    };
    const std::vector<std::pair<std::string, std::string>> policy = {{"Mode", "22"},
                                                                     {"PKCS10CertDN", "CN=Lee Private,O=Veridan,C=KR"},
                                                                     {"Action", issuer.url()},
                                                                     {"ParamString", "user=lee&req="}};
    job("certRequest", policy);
    EXPECT_EQ(results().back(), ok());
    EXPECT_EQ(issuer.lastBody().rfind("user=lee&req=", 0), 0u);
    const std::string dir = home / (std::string(kPrivateDir) + "/cn=Lee Private,o=Veridan,c=KR");
    EXPECT_EQ(keyModulus(dir + "/signPri.key", "PPKIPASS1"), certModulus(dir + "/signCert.der"));
    EXPECT_EQ(filesUnder(home / kPrivateDir).size(), 2u) << "no kept key left";

    // A certificate for another key: 1441, and the new key stays kept.
    std::filesystem::remove_all(home / "PPKI");
    issuer.answer("success|" + zqtest::readFile(fx() + "/ppki.pem"));
    job("certRequest", policy);
    EXPECT_EQ(results().back(), err("1441"));
    const auto left = filesUnder(home / kPrivateDir);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left.begin()->size(), 44u) << *left.begin();
}

}  // namespace
