// The log-in and sign actions with a scripted UI that plays the user,
// against the stub relay: what is posted (each field judged by openssl),
// which boxes show, and whether the job's window closes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include <zephaltpavix/zephaltpavix.h>

#include "RelayStub.h"
#include "SigningFixtures.h"
#include "common/DMLinuxUtil.h"
#include "job/Job.h"
#include "job/SignActions.h"
#include "job/SignSubmit.h"

namespace {

using signfx::fx;

struct Box {
    std::string text;
    int type;
};

class ScriptedUi : public IJobUi {
public:
    void MessageBox(const char* text, int type) override { boxes.push_back({text, type}); }
    int MessageBoxOKCancel(const char* text, int type) override {
        boxes.push_back({text, type});
        return 1;
    }
    void LanguageSet(const char*) override {}
    int OpenWindow(JobWindow) override { return -1; }
    void QuitLoop() override {}
    void CloseJobWindow() override { ++closes; }
    void ClearCertLists() override {}
    int AddCertLists(const CertLists&, int) override { return 0; }
    void GetSelectedCertValue(SelectedCertValues& out) override { out = selected; }
    void ReleaseUi() override {}

    SelectedCertValues selected{};
    std::vector<Box> boxes;
    int closes = 0;
};

// Fields of a form text, in order.
std::vector<std::pair<std::string, std::string>> fields(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> out;
    size_t at = 0;
    while (at <= text.size()) {
        size_t amp = text.find('&', at);
        if (amp == std::string::npos) amp = text.size();
        const std::string item = text.substr(at, amp - at);
        const size_t eq = item.find('=');
        out.emplace_back(item.substr(0, eq), eq == std::string::npos ? "" : item.substr(eq + 1));
        at = amp + 1;
    }
    return out;
}
std::vector<std::string> names(const std::vector<std::pair<std::string, std::string>>& f) {
    std::vector<std::string> out;
    for (const auto& p : f) out.push_back(p.first);
    return out;
}
std::string field(const std::vector<std::pair<std::string, std::string>>& f, const std::string& name) {
    for (const auto& p : f)
        if (p.first == name) return p.second;
    return "?";
}

const unsigned char kNonce[32] = {0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87, 0x98, 0xa9, 0xba,
                                  0xcb, 0xdc, 0xed, 0xfe, 0x0f, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55,
                                  0x66, 0x77, 0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
using signfx::errPost;
using signfx::kServerTimeB64;

class Actions : public ::testing::Test {
protected:
    void SetUp() override {
        signfx::dir();
        DMLinuxUtil_SetUserHOMEDir(home.path().c_str());
        Quillet_SetUi(&ui);
        stub.answer("setResult", 200, "");
        ZUNLIB_Init();
        signfx::loginJob(url, policy, stub.url(), nonce());
        strURLValues = &url;
        strPolicyList = &policy;
        g_ipAdr = "10.1.2.3";
        g_macAdr = "00:11:22:33:44:55\n";
        g_gwipAdr = "10.1.2.1";
        g_OSInfo = "Linux 6.1.0";
        g_signParams = SignParams{};
    }
    void TearDown() override {
        strURLValues = nullptr;
        strPolicyList = nullptr;
        ZUNLIB_Cleanup();
        SetRunningFlag(0);
        VPL_Cleanup();
        Quillet_SetUi(nullptr);
    }
    static std::string nonce() { return std::string(reinterpret_cast<const char*>(kNonce), sizeof kNonce); }
    void choose(const std::string& user, const char* password) {
        const std::string path = home.place(user, "cn=" + user + ",o=yessign,c=kr");
        ui.selected = SelectedCertValues{};
        std::snprintf(ui.selected.certpath, sizeof ui.selected.certpath, "%s", path.c_str());
        std::snprintf(ui.selected.password, sizeof ui.selected.password, "%s", password);
    }
    // The message of a ret=1 post.
    static std::string message(const std::string& body) {
        const std::string key = "&returnValue=";
        const std::string inner = URLDecodeText(body.substr(body.find(key) + key.size()));
        EXPECT_EQ(inner.compare(0, 14, "ret=1&retdata="), 0) << inner;
        return URLDecodeText(inner.substr(14));
    }
    std::string decrypt(const std::string& relayValue) {
        return signfx::seedDecrypt(URLDecodeText(relayValue), nonce().substr(0, 16), nonce().substr(16));
    }
    void checkDevinfo(const std::string& devinfo) {
        const auto d = fields(URLDecodeText(devinfo));
        EXPECT_EQ(names(d), (std::vector<std::string>{"Encrypted_Client_IP_Address_Info", "Encrypted_MAC_Address_Info",
                                                      "Encrypted_Client_Gateway_Address_Info", "Encrypted_OS_Info"}));
        EXPECT_EQ(decrypt(field(d, "Encrypted_Client_IP_Address_Info")), g_ipAdr);
        EXPECT_EQ(decrypt(field(d, "Encrypted_MAC_Address_Info")), g_macAdr);
        EXPECT_EQ(decrypt(field(d, "Encrypted_Client_Gateway_Address_Info")), g_gwipAdr);
        EXPECT_EQ(decrypt(field(d, "Encrypted_OS_Info")), g_OSInfo);
    }

    agenttest::TrustRelayCa trust;
    signfx::Home home;
    zqtest::TempDir tmp{"agentaction"};
    agenttest::RelayStub stub;
    ScriptedUi ui;
    StructURLValues url;
    StructPolicyList policy;
    std::string pw = signfx::password();
};

TEST_F(Actions, LogInPostsTheSignatureAndTheEncipheredFacts) {
    struct Case {
        const char* user;
        std::string random;
    } cases[] = {{"hong", signfx::value("random")}, {"zero", signfx::zeroRandomHex()}, {"private", ""}};
    int n = 0;
    for (const Case& c : cases) {
        choose(c.user, pw.c_str());
        EXPECT_EQ(buttonLogin_clicked(), kActionJobEnded) << c.user;
        const auto p = stub.bodies();
        ASSERT_EQ(p.size(), size_t(++n)) << c.user;
        const auto f = fields(message(p.back()));
        EXPECT_EQ(names(f), (std::vector<std::string>{"er", "cert", "sg", "devinfo"}));
        if (c.random.empty()) {
            EXPECT_EQ(field(f, "er"), "") << "the message starts with er=&cert=";
        } else {
            EXPECT_EQ(signfx::hex(decrypt(field(f, "er"))), c.random) << c.user;
        }
        EXPECT_EQ(URLDecodeText(field(f, "cert")), signfx::certPem(fx(std::string(c.user) + "/signCert.der")));
        EXPECT_TRUE(signfx::rsaSha1Verifies(signfx::base64Decode(URLDecodeText(field(f, "sg"))), nonce(),
                                            fx(std::string(c.user) + "/signCert.der"), tmp.path()));
        checkDevinfo(field(f, "devinfo"));
        EXPECT_EQ(ui.closes, n);
    }
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(Actions, ABadNonceEndsTheJobWithItsCode) {
    choose("hong", pw.c_str());
    for (const std::string& bad : {signfx::base64Encode(std::string(31, 'n')),
                                   signfx::base64Encode(std::string(33, 'n')), std::string("!!notbase64")}) {
        policy.Nonce = bad;
        ui.boxes.clear();
        stub.answer("setResult", 200, "");
        const size_t before = stub.bodies().size();
        EXPECT_EQ(buttonLogin_clicked(), kActionJobEnded);
        ASSERT_EQ(stub.bodies().size(), before + 1);
        EXPECT_EQ(stub.bodies().back(), errPost("1420"));
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].type, 3);
        ui.boxes.clear();
        g_signParams.data = "data";
        EXPECT_EQ(buttonSign_clicked(), kActionJobEnded);
        ASSERT_EQ(stub.bodies().size(), before + 2);
        EXPECT_EQ(stub.bodies().back(), errPost("1431"));
        EXPECT_TRUE(ui.boxes.empty()) << "no box for the sign form";
    }
}

TEST_F(Actions, FiveWrongPasswordsEndTheJobOnceAndASuccessStartsTheCountAgain) {
    choose("hong", "wrong-pw");
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(buttonLogin_clicked(), kActionRetry);
        ASSERT_EQ(ui.boxes.size(), size_t(i));
        EXPECT_NE(ui.boxes.back().text.find("현재 " + std::to_string(5 - i) + "회 남음"), std::string::npos)
            << ui.boxes.back().text;
        EXPECT_EQ(ui.boxes.back().type, 1);
    }
    EXPECT_TRUE(stub.bodies().empty());
    EXPECT_EQ(ui.closes, 0);
    EXPECT_EQ(buttonLogin_clicked(), kActionJobEnded);
    EXPECT_EQ(stub.bodies(), std::vector<std::string>{errPost("1425")});
    EXPECT_EQ(ui.closes, 1);
    EXPECT_EQ(LoginPasswordMisses(), 0);

    // Four misses, then the right password: the next miss is the first.
    for (int i = 0; i < 4; ++i) buttonLogin_clicked();
    choose("hong", pw.c_str());
    EXPECT_EQ(buttonLogin_clicked(), kActionJobEnded);
    EXPECT_EQ(LoginPasswordMisses(), 0);
    choose("hong", "wrong-pw");
    ui.boxes.clear();
    EXPECT_EQ(buttonLogin_clicked(), kActionRetry);
    EXPECT_NE(ui.boxes.back().text.find("현재 4회 남음"), std::string::npos);
    EXPECT_EQ(stub.bodies().size(), 2u) << "the 1425 and the result; nothing for the retry";

    // The sign form counts on its own.
    g_signParams.data = "data";
    for (int i = 0; i < 4; ++i) EXPECT_EQ(buttonSign_clicked(), kActionRetry);
    EXPECT_EQ(SignPasswordMisses(), 4);
    EXPECT_EQ(buttonSign_clicked(), kActionJobEnded);
    EXPECT_EQ(stub.bodies().back(), errPost("1425"));
}

TEST_F(Actions, SignPostsTheSignedDataAtTheServerTime) {
    choose("zero", pw.c_str());
    g_signParams.data = "서명할 내용 & 금액";
    for (const char* encoding : {"euc-kr", "EUC-KR", ""}) {
        policy.SignaturePlainTextEncoding = encoding;
        const size_t before = stub.bodies().size();
        EXPECT_EQ(buttonSign_clicked(), kActionJobEnded) << encoding;
        ASSERT_EQ(stub.bodies().size(), before + 1) << encoding;
        const auto f = fields(message(stub.bodies().back()));
        EXPECT_EQ(names(f), (std::vector<std::string>{"signature", "er", "cert", "sg", "devinfo"}));
        const std::string p7 = signfx::base64Decode(URLDecodeText(field(f, "signature")));
        const std::string want = std::string(encoding) == "euc-kr"
                                     ? zqtest::run({"iconv", "-f", "UTF-8", "-t", "EUC-KR"}, g_signParams.data).output
                                     : g_signParams.data;
        EXPECT_EQ(signfx::cmsVerify(p7, tmp.path()), want) << encoding;
        EXPECT_EQ(signfx::cmsPeer(p7, fx("zero/signCert.der"), tmp.path()).at("signingTime"), "1700000000");
        EXPECT_EQ(signfx::hex(decrypt(field(f, "er"))), signfx::zeroRandomHex());
        EXPECT_EQ(URLDecodeText(field(f, "cert")), signfx::certPem(fx("zero/signCert.der")));
        EXPECT_TRUE(signfx::rsaSha1Verifies(signfx::base64Decode(URLDecodeText(field(f, "sg"))), nonce(),
                                            fx("zero/signCert.der"), tmp.path()));
        checkDevinfo(field(f, "devinfo"));
    }
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(Actions, SignRefusals) {
    choose("hong", pw.c_str());
    g_signParams.data = "data";
    // A policy without a usable ServerTime signs nothing.
    for (const std::string& t : {std::string(""), std::string("%%%"), URLEncodeText(signfx::base64Encode("17000x")),
                                 URLEncodeText(signfx::base64Encode("2524608000"))}) {
        policy.ServerTime = t;
        const size_t before = stub.bodies().size();
        EXPECT_EQ(buttonSign_clicked(), kActionJobEnded) << t;
        ASSERT_EQ(stub.bodies().size(), before + 1);
        EXPECT_EQ(stub.bodies().back(), errPost("1430")) << t;
    }
    policy.ServerTime = URLEncodeText(kServerTimeB64);
    // Data that EUC-KR cannot hold.
    policy.SignaturePlainTextEncoding = "euc-kr";
    g_signParams.data = "emoji \xF0\x9F\x98\x80";
    EXPECT_EQ(buttonSign_clicked(), kActionJobEnded);
    EXPECT_EQ(stub.bodies().back(), errPost("1430"));
    policy.SignaturePlainTextEncoding.clear();
    // Digest mode with plain data: the box, the window stays, nothing posted.
    url.policyName = "MDSignPolicy";
    g_signParams.data = "plain";
    ui.boxes.clear();
    const size_t before = stub.bodies().size();
    EXPECT_EQ(buttonSign_clicked(), kActionRetry);
    EXPECT_EQ(stub.bodies().size(), before);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "전자서명에 실패하였습니다. 다시한번 시도해 주시기 바랍니다.");
}

TEST_F(Actions, ARelayThatRefusesTheResultGetsOneCode) {
    stub.answer("setResult", 200, "302$session expired");
    choose("hong", pw.c_str());
    EXPECT_EQ(buttonLogin_clicked(), kActionJobEnded);
    g_signParams.data = "data";
    EXPECT_EQ(buttonSign_clicked(), kActionJobEnded);
    const auto p = stub.bodies();
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[1], errPost("1424"));
    EXPECT_EQ(p[3], errPost("1434"));
    ASSERT_EQ(ui.boxes.size(), 2u);
    for (const Box& b : ui.boxes)
        EXPECT_EQ(b.text, "퀼렛 서버 세션이 만료되었습니다. 로그아웃 후 재시도 하시기 바랍니다.");
    EXPECT_EQ(ui.closes, 2);
}

TEST_F(Actions, PKCS12FileForms) {
    const std::string file = fx("hong.p12");
    // A wrong file password is a retry: nothing posted, the window stays.
    EXPECT_EQ(sig_Get_PFXFile_Login_clicked(file.c_str(), "wrong"), kActionRetry);
    EXPECT_EQ(sig_Get_PFXFile_Sign_clicked(file.c_str(), "wrong"), kActionRetry);
    EXPECT_TRUE(stub.bodies().empty());
    EXPECT_EQ(ui.closes, 0);
    // A file that does not read ends the job with its code (never unreported).
    EXPECT_EQ(sig_Get_PFXFile_Login_clicked((tmp.path() + "/none.p12").c_str(), "x"), kActionJobEnded);
    EXPECT_EQ(stub.bodies().back(), errPost("1421"));
    EXPECT_EQ(sig_Get_PFXFile_Sign_clicked((tmp.path() + "/none.p12").c_str(), "x"), kActionJobEnded);
    EXPECT_EQ(stub.bodies().back(), errPost("1430"));
    // A path holding "^" is taken whole.
    const std::string caret = tmp.path() + "/a^b.p12";
    zqtest::writeFile(caret, zqtest::readFile(file));
    EXPECT_EQ(sig_Get_PFXFile_Login_clicked(caret.c_str(), signfx::kP12Password), kActionJobEnded);
    auto f = fields(message(stub.bodies().back()));
    EXPECT_EQ(field(f, "er"), "") << "openssl's keys hold no random";
    EXPECT_TRUE(signfx::rsaSha1Verifies(signfx::base64Decode(URLDecodeText(field(f, "sg"))), nonce(),
                                        fx("hong/signCert.der"), tmp.path()));
    checkDevinfo(field(f, "devinfo"));
    g_signParams.data = "file data";
    EXPECT_EQ(sig_Get_PFXFile_Sign_clicked(file.c_str(), signfx::kP12Password), kActionJobEnded);
    f = fields(message(stub.bodies().back()));
    EXPECT_EQ(signfx::cmsVerify(signfx::base64Decode(URLDecodeText(field(f, "signature"))), tmp.path()), "file data");
    // A bad nonce is reported in the file forms too.
    policy.Nonce = signfx::base64Encode("short");
    EXPECT_EQ(sig_Get_PFXFile_Login_clicked(file.c_str(), signfx::kP12Password), kActionJobEnded);
    EXPECT_EQ(stub.bodies().back(), errPost("1420"));
    EXPECT_EQ(sig_Get_PFXFile_Sign_clicked(file.c_str(), signfx::kP12Password), kActionJobEnded);
    EXPECT_EQ(stub.bodies().back(), errPost("1431"));
    EXPECT_EQ(stub.bodies().size(), 6u);
}

}  // namespace
