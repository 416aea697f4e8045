// Whole jobs through the entry functions against the stub relay, with a
// scripted UI that plays the user: what is posted, which boxes show, the
// running flag and result the command server would read, and what is logged.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>

#include <zephaltpavix/zephaltpavix.h>

#include "RelayStub.h"
#include "common/DMLinuxUtil.h"
#include "job/Job.h"
#include "job/ParsingFunc.h"

namespace {

using agenttest::RelayStub;

struct Box {
    std::string text;
    int type;
};

// Plays the user: every box is answered at once; hooks let a test act at
// those moments.
class ScriptedUi : public IJobUi {
public:
    void MessageBox(const char* text, int type) override {
        boxes.push_back({text, type});
        if (onBox) onBox();
    }
    int MessageBoxOKCancel(const char* text, int type) override {
        boxes.push_back({text, type});
        return 1;
    }
    void LanguageSet(const char* l) override { language = l; }
    int OpenWindow(JobWindow window) override {
        opened.push_back(window);
        return -1;
    }
    void QuitLoop() override {
        ++quits;
        if (onQuit) onQuit();
    }
    void CloseJobWindow() override {}
    void ClearCertLists() override {}
    int AddCertLists(const CertLists&, int) override { return 0; }
    void GetSelectedCertValue(SelectedCertValues& out) override { out = SelectedCertValues{}; }
    void ReleaseUi() override {}

    std::vector<Box> boxes;
    std::vector<JobWindow> opened;
    std::string language = "unset";
    int quits = 0;
    std::function<void()> onBox, onQuit;
};

struct Line {
    std::string tag, text;
    int result;
};
std::vector<Line> g_lines;
int writeLine(const char* tag, const char* text) {
    g_lines.push_back({tag, text, LinuxQuillet_GetResult()});
    return 1;
}
int writeInt(const char* tag, int value) { return writeLine(tag, std::to_string(value).c_str()); }

const char* kCommError = "퀼렛 서버와 통신중 오류가 발생하였습니다. 로그아웃 후 재시도 하시기 바랍니다.";
const char* kExpired = "퀼렛 서버 세션이 만료되었습니다. 로그아웃 후 재시도 하시기 바랍니다.";
const char* kUnsupported = "아직 지원하지 않는 funcName 입니다.";

class Job : public ::testing::Test {
protected:
    void SetUp() override {
        DMLinuxUtil_SetUserHOMEDir(home.path().c_str());
        Quillet_SetUi(&ui);
        g_lines.clear();
        LinuxQuillet_InitWriteLog(0, writeLine, writeInt);
        stub.answer("setResult", 200, "");
    }
    void TearDown() override {
        Quillet_SetUi(nullptr);
        LinuxQuillet_InitWriteLog(0, nullptr, nullptr);
    }

    std::string param(const std::string& linuxVersion = "1.2.8", const std::string& extra = "") {
        return "SESSION=JSESSIONID%3DSECRETSESSION&reqID=77&policyName=login&url=" + stub.url() + "&wv=1&macVersion=1" +
               extra + "&linuxVersion=" + linuxVersion;
    }
    void run(std::string text) {
        char name[] = "ZEPHALTQuilletEX";
        QuilletJobArgs args{name, text.data()};
        EXPECT_EQ(LinuxQuillet_StartProcess(&args), 0);
        EXPECT_EQ(LinuxQuillet_isRunning(), 0);
    }
    std::vector<std::string> posts() {
        std::vector<std::string> out;
        for (const auto& r : stub.requests()) out.push_back(r.body);
        return out;
    }
    std::vector<int> flags() const {
        std::vector<int> out;
        for (const auto& l : g_lines)
            if (l.tag == "[NOT] SetRunningFlag =") out.push_back(std::stoi(l.text));
        return out;
    }
    static std::string getFunc() { return "Action=getFunc&reqID=77&PolicyName=login&CACertIDs="; }
    static std::string errPost(const std::string& code) {
        return "Action=setResult&reqID=77&returnValue=ret%3d2%26retdata%3dErrMsg%253d" + code;
    }

    agenttest::TrustRelayCa trust;
    zqtest::TempDir home{"jobhome"};
    RelayStub stub;
    ScriptedUi ui;
};

TEST_F(Job, GetVersionPostsNothing) {
    stub.answer("getFunc", 200, "funcName=getVersion");
    run(param());
    EXPECT_EQ(posts(), std::vector<std::string>{getFunc()});
    EXPECT_EQ(stub.requests()[0].cookie, "JSESSIONID=SECRETSESSION");
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(LinuxQuillet_GetResult(), 0);
}

TEST_F(Job, AnUnknownFuncNamePostsOne1416AndTheFlagsStepDownAgain) {
    stub.answer("getFunc", 200,
                "funcName=nosuch&PolicyList=CertUILanguage%3DENG%26Nonce%3DSECRETNONCE%26&paramCount=0");
    bool storeReady = false;
    ui.onBox = [&] {
        // The session is registered while the job runs.
        const CTX* ctx = VPL_Find_CTX(g_CTX_Head, "VERIDAN");
        storeReady = ctx && ctx->serverCertLen > 0 && std::string(ctx->sym) == "SEED-CBC" &&
                     std::string(ctx->kxh) == "SHA256" && std::string(ctx->sgh) == "SHA256";
    };
    run(param());
    EXPECT_TRUE(storeReady);
    EXPECT_EQ(g_CTX_Head, nullptr) << "released at the end of the job";
    EXPECT_EQ(posts(), (std::vector<std::string>{getFunc(), errPost("1416")}));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, kUnsupported);
    EXPECT_EQ(ui.boxes[0].type, 3);
    EXPECT_EQ(ui.language, "ENG");
    EXPECT_EQ(flags(), (std::vector<int>{1, 2, 3, 4, 3, 2, 1, 0}));
    // getResult reads 3 until the clean-up has ended; then the job's 0.
    for (size_t i = 0; i + 1 < g_lines.size(); ++i)
        if (g_lines[i].tag == "[NOT] SetRunningFlag =" && g_lines[i].text != "0") {
            EXPECT_EQ(g_lines[i].result, 3) << i;
        }
    EXPECT_EQ(LinuxQuillet_GetResult(), 0);
    // The session and the Nonce are never written out.
    for (const auto& l : g_lines) {
        EXPECT_EQ(l.text.find("SECRETSESSION"), std::string::npos) << l.text;
        EXPECT_EQ(l.text.find("SECRETNONCE"), std::string::npos) << l.text;
    }
}

TEST_F(Job, ThePolicysCACertificatesAreStoredAndTheirIdsSentNextTime) {
    zqtest::TempDir ca("job-ca");
    ASSERT_EQ(zqtest::run({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca / "k.pem", "-subj",
                           "/C=KR/O=yessign/CN=yessignCA Class 2", "-outform", "DER", "-out", ca / "ca.der"})
                  .status,
              0);
    std::string b64 = zqtest::run({"openssl", "base64", "-A", "-in", ca / "ca.der"}).output;
    std::string fp =
        zqtest::run({"openssl", "x509", "-inform", "DER", "-in", ca / "ca.der", "-noout", "-fingerprint", "-sha1"})
            .output;
    fp = fp.substr(fp.find('=') + 1, 59);
    fp.erase(std::remove(fp.begin(), fp.end(), ':'), fp.end());
    stub.answer("getFunc", 200,
                "funcName=nosuch&PolicyList=" + URLEncodeText("CACerts=" + URLEncodeText(b64) + "&") + "&paramCount=0");
    run(param());
    EXPECT_EQ(zqtest::readFile(home / ("NPKI/.veridanCACerts/" + fp + ".der")), zqtest::readFile(ca / "ca.der"));
    EXPECT_EQ(filter_info.text, "issuer=yessignCA+Class+2|");
    run(param());
    EXPECT_EQ(posts()[posts().size() - 2], getFunc() + fp + "%7c") << "the stored certificate's id";
}

TEST_F(Job, ShowCertManagerOpensTheManager) {
    stub.answer("getFunc", 200, "funcName=showCertManager&PolicyList=Mode%3D22%26&paramCount=0");
    run(param());
    EXPECT_EQ(ui.opened, std::vector<JobWindow>{JobWindow::Manager});
    EXPECT_EQ(posts(), std::vector<std::string>{getFunc()}) << "the window reports";
}

TEST_F(Job, RoamingNumbersOf8To16DigitsOnly) {
    stub.answer("getFunc", 200, "funcName=roaming&PolicyList=ProtocolVersion%3D1.2%26AuthenticationNumber%3D10%26");
    run(param());
    EXPECT_EQ(posts(), (std::vector<std::string>{getFunc(), errPost("1411")}));
    EXPECT_TRUE(ui.opened.empty());
}

TEST_F(Job, RoamingNeedsProtocolVersion12) {
    stub.answer("getFunc", 200, "funcName=roaming&PolicyList=ProtocolVersion%3D1.20%26Mode%3D6%26");
    run(param());
    EXPECT_EQ(posts(), (std::vector<std::string>{getFunc(), errPost("1413")}));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "지원하지 않는 프로토콜 버전입니다.");
}

TEST_F(Job, ANewerPageGetsTheUpdateAnswerOnly) {
    stub.answer("getFunc", 200, "funcName=getVersion");
    run(param("1.2.9"));
    EXPECT_EQ(posts(), std::vector<std::string>{"Action=setResult&reqID=77&returnValue=ret%3d4%26retdata%3d"});
    run(param("1.2.10"));
    EXPECT_EQ(posts().size(), 2u) << "1.2.10 is newer than 1.2.8";
    run(param("1.2.8"));
    EXPECT_EQ(posts().back(), getFunc());
    run(param("1.1.99"));
    EXPECT_EQ(posts().back(), getFunc());
    EXPECT_TRUE(ui.boxes.empty());
    // The update notice not taken: 1415, then the failed post ends the job.
    stub.answer("setResult", 500, "");
    run(param("1.3.0"));
    EXPECT_EQ(posts().back(), errPost("1415"));
    EXPECT_EQ(LinuxQuillet_GetResult(), 0);
}

TEST_F(Job, ABadParameterPosts1410) {
    stub.answer("getFunc", 200, "funcName=getVersion");
    run("SESSION=s&reqID=77&policyName=login&url=" + stub.url() + "&wv=\\q&linuxVersion=1.2.8");
    EXPECT_EQ(posts(), std::vector<std::string>{errPost("1410")});
    run(param("1.2.8", "&policyName=" + std::string(200, 'p')));
    EXPECT_EQ(posts().back(), getFunc()) << "the first policyName counts";
    run("SESSION=s&reqID=77&policyName=" + std::string(100, 'p') + "&url=" + stub.url());
    EXPECT_EQ(posts().back(), errPost("1410"));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(LinuxQuillet_GetResult(), 0);
}

TEST_F(Job, AFailedPolicyFetchShowsTheBoxAndPostsNothing) {
    stub.answer("getFunc", 500, "");
    run(param());
    EXPECT_EQ(posts(), std::vector<std::string>{getFunc()});
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, kCommError);
    EXPECT_EQ(ui.boxes[0].type, 3);

    for (const char* answer : {"302$expired", "402$expired", "600$expired"}) {
        stub.answer("getFunc", 200, answer);
        run(param());
        EXPECT_EQ(ui.boxes.back().text, kExpired) << answer;
    }
    stub.answer("getFunc", 200, "100$busy");
    run(param());
    EXPECT_EQ(ui.boxes.back().text, kCommError);
    for (const auto& p : posts()) EXPECT_EQ(p, getFunc());
    EXPECT_EQ(LinuxQuillet_GetResult(), 0);
}

TEST_F(Job, AnUnreadablePolicyPosts1411) {
    stub.answer("getFunc", 200, "funcName=login&PolicyList=CAName%3D" + std::string(1024, 'c') + "%26");
    run(param());
    EXPECT_EQ(posts(), (std::vector<std::string>{getFunc(), errPost("1411")}));
}

TEST_F(Job, AFailedErrorPostEndsWithZeroAndTheFirstResultStands) {
    stub.answer("getFunc", 200, "funcName=nosuch&PolicyList=a%3Db%26");
    stub.answer("setResult", 500, "");
    // The closing still pending when the loop quits reports success: too
    // late, the failed post's result stands.
    int closings = 0;
    ui.onQuit = [&] {
        if (closings++ == 0) QUILLET_EXIT(1);
    };
    run(param());
    EXPECT_EQ(posts(), (std::vector<std::string>{getFunc(), errPost("1416")}));
    EXPECT_GE(ui.quits, 1);
    EXPECT_EQ(LinuxQuillet_GetResult(), 0);
}

TEST_F(Job, NpkiFoldersAreTheUsersOnly) {
    stub.answer("getFunc", 200, "funcName=getVersion");
    run(param());
    for (const char* dir : {"NPKI", "NPKI/.veridanCACerts"}) {
        struct stat st {};
        ASSERT_EQ(::stat((home / dir).c_str(), &st), 0) << dir;
        EXPECT_EQ(st.st_mode & 07777, 0700u) << dir;
    }
    // A folder that exists keeps its mode.
    ::chmod((home / "NPKI").c_str(), 0750);
    run(param());
    struct stat st {};
    ASSERT_EQ(::stat((home / "NPKI").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
}

TEST_F(Job, WithoutAParameterNothingIsExchanged) {
    std::atomic<int> flag{0};
    EXPECT_EQ(Quillet_Main(&flag, 1, nullptr), 0);
    EXPECT_TRUE(stub.requests().empty());
    EXPECT_EQ(flag.load(), 0);
    EXPECT_EQ(LinuxQuillet_GetResult(), 0);
}

TEST_F(Job, LongLogTextsAreCut) {
    MLogPrintf("%s", std::string(10000, 'x').c_str());
    ASSERT_FALSE(g_lines.empty());
    EXPECT_EQ(g_lines.back().tag, "[DML]");
    EXPECT_EQ(g_lines.back().text.size(), 4095u);
}

}  // namespace
