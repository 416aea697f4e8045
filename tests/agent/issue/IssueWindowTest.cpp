// The issue, request and revoke windows for real under Xvfb: whole jobs
// through the entry functions with the program's GTK UI, the user played
// from a timer (typing, clicking, the window manager's close), the relay
// stub and openssl's mock CMP server beside them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <deque>
#include <map>
#include <filesystem>
#include <functional>

#include "CmpMock.h"
#include "IssuePlayer.h"
#include "RelayStub.h"
#include "TestSupport.h"
#include "UiTestSupport.h"
#include "common/DMLinuxUtil.h"
#include "job/Job.h"
#include "job/ParsingFunc.h"
#include "ui/MainUI.h"

namespace {

using agenttest::RelayStub;
using zqtest::CmpMock;

const std::string& fx() { return zqtest::cmpFixtures(); }
const char kGoodPassword[] = "Issue#2026pw";  // the password module's rules

using issuetest::Boxes;
using issuetest::click;
using issuetest::Player;
using issuetest::type;

class IssueWindows : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(fx().empty());
        DMLinuxUtil_SetUserHOMEDir(home.path().c_str());
        setenv("QUILLETEX_HOME", home.path().c_str(), 1);
        setenv("ZEPHALTCMP_TEST_NEWKEY", (fx() + "/user.key").c_str(), 1);
        stub.answer("setResult", 200, "");
    }
    void TearDown() override {
        unsetenv("QUILLETEX_HOME");
        unsetenv("ZEPHALTCMP_TEST_NEWKEY");
    }
    void job(const std::string& func, const std::vector<std::pair<std::string, std::string>>& policy) {
        EXPECT_EQ(issuetest::runJob(stub, func, policy), 0);
        EXPECT_EQ(LinuxQuillet_isRunning(), 0) << "the job has ended";
    }
    std::vector<std::string> results() {
        std::vector<std::string> out;
        for (const auto& r : stub.requests())
            if (r.body.rfind("Action=setResult&", 0) == 0)
                out.push_back(r.body.substr(r.body.find("returnValue=") + 12, 20));
        return out;
    }
    void placeUser(const std::string& name, const std::string& cert) {
        const std::string dir = home / ("NPKI/yessign/USER/" + name);
        zqtest::makeDirs(dir);
        zqtest::writeFile(dir + "/signCert.der", zqtest::readFile(cert));
        zqtest::writeFile(dir + "/signPri.key", zqtest::readFile(fx() + "/old.p8"));
    }

    agenttest::TrustRelayCa trust;
    zqtest::TempDir home{"issuewinhome"};
    RelayStub stub;
};

const std::string kOk = "ret%3d1%26retdata%3d";
const std::string kCancel = "ret%3d3%26retdata%3d";
std::string err(const char* code) { return ("ret%3d2%26retdata%3dErrMsg%253d" + std::string(code)).substr(0, 20); }

TEST_F(IssueWindows, TheIssueWindowChecksThePasswordsThenPostsOneResult) {
    CmpMock ca("REF1", "CODE1", fx() + "/user.pem");
    Boxes boxes;
    Player user({{"NPW_NewPassword", [](GtkWidget* w) { click(w, "NPW_btn_ok"); }},  // empty
                 {"NPW_NewPassword",
                  [](GtkWidget* w) {
                      type(w, "NPW_entry_password", kGoodPassword);
                      type(w, "NPW_entry_confirmpassword", "Issue#2026px");
                      click(w, "NPW_btn_ok");
                  }},
                 {"NPW_NewPassword", [](GtkWidget* w) {
                      uitest::screenshot(w, "issue-window");
                      type(w, "NPW_entry_confirmpassword", kGoodPassword);
                      click(w, "NPW_btn_ok");
                  }}});
    job("issue", {{"IssueRefID", "REF1"},
                  {"IssuePassword", "CODE1"},
                  {"CMPServerAddr", "127.0.0.1"},
                  {"CMPServerPort", ca.port()},
                  {"CAName", "YESSIGN"}});
    EXPECT_TRUE(user.done());
    EXPECT_EQ(results(), std::vector<std::string>{kOk});
    EXPECT_EQ(LinuxQuillet_GetResult(), 1);
    ASSERT_GE(boxes.seen.size(), 2u);
    EXPECT_EQ(boxes.seen[0], "인증서 암호를 입력하세요.") << "the empty password first";
    EXPECT_EQ(
        zqtest::readFile(home / "NPKI/yessign/USER/cn=Hong Gildong()0011,ou=personal4IB,o=yessign,c=KR/signCert.der"),
        zqtest::readFile(fx() + "/user.der"));
    EXPECT_EQ(IsQuilletDeleted(), 1) << "no UI object left for the next job";
}

TEST_F(IssueWindows, TheRemovableDiskRadioChoosesTheVolumeTheIssueGoesTo) {
    zqtest::TempDir media("issuewinmedia");
    setenv("QUILLETEX_MEDIA_ROOT", media.path().c_str(), 1);
    const std::string volume = media / "media/USB1";
    zqtest::makeDirs(volume);
    CmpMock ca("REF1", "CODE1", fx() + "/user.pem");
    Boxes boxes;
    // The volume list runs inside the radio's handler: answered by a player
    // of its own (cancelled first, then the volume taken).
    Player lists({{"SSD_SelectOne", [](GtkWidget* w) { gtk_dialog_response(GTK_DIALOG(w), GTK_RESPONSE_CANCEL); }},
                  {"SSD_SelectOne", [](GtkWidget* w) { gtk_dialog_response(GTK_DIALOG(w), GTK_RESPONSE_OK); }}});
    Player user({{"NPW_NewPassword",
                  [](GtkWidget* w) {
                      type(w, "NPW_entry_password", kGoodPassword);
                      type(w, "NPW_entry_confirmpassword", kGoodPassword);
                      click(w, "NPW_radio_fdd");
                  }},
                 {"NPW_NewPassword", [](GtkWidget* w) { click(w, "NPW_btn_ok"); }},  // no volume
                 {"NPW_NewPassword",
                  [](GtkWidget* w) {
                      click(w, "NPW_radio_hdd");
                      click(w, "NPW_radio_fdd");
                  }},
                 {"NPW_NewPassword", [](GtkWidget* w) { click(w, "NPW_btn_ok"); }}});
    job("issue", {{"IssueRefID", "REF1"},
                  {"IssuePassword", "CODE1"},
                  {"CMPServerAddr", "127.0.0.1"},
                  {"CMPServerPort", ca.port()},
                  {"CAName", "YESSIGN"}});
    unsetenv("QUILLETEX_MEDIA_ROOT");
    EXPECT_TRUE(user.done());
    EXPECT_TRUE(lists.done());
    EXPECT_EQ(boxes.seen, std::vector<std::string>{"연결된 이동식 디스크 장치가 없습니다."});
    EXPECT_EQ(results(), std::vector<std::string>{kOk});
    EXPECT_EQ(zqtest::readFile(volume +
                               "/NPKI/yessign/USER/cn=Hong Gildong()0011,ou=personal4IB,o=yessign,c=KR/signCert.der"),
              zqtest::readFile(fx() + "/user.der"));
    EXPECT_FALSE(std::filesystem::exists(home / "NPKI/yessign")) << "nothing on the home disk";
}

TEST_F(IssueWindows, TheRequestDialogClosedByTheWindowManagerIsACancel) {
    Player user({{"IPD_inputPassword_for_PKCS10", [](GtkWidget* w) { gtk_window_close(GTK_WINDOW(w)); }}});
    job("certRequest", {{"Mode", "1"}, {"PKCS10CertDN", "CN=Park,O=Veridan,C=KR"}});
    EXPECT_TRUE(user.done());
    EXPECT_EQ(results(), std::vector<std::string>{kCancel});
    // The next job is taken and runs to its end.
    Boxes boxes;
    Player again({{"IPD_inputPassword_for_PKCS10",
                   [](GtkWidget* w) {
                       type(w, "IPD_entryPassword1", "abcdefg");
                       type(w, "IPD_entryPassword2", "abcdefg");
                       click(w, "IPD_btn_ok1");  // too short
                   }},
                  {"IPD_inputPassword_for_PKCS10", [](GtkWidget* w) {
                       type(w, "IPD_entryPassword1", "1234567a");
                       type(w, "IPD_entryPassword2", "1234567a");
                       click(w, "IPD_btn_ok1");
                   }}});
    job("certRequest", {{"Mode", "1"}, {"PKCS10CertDN", "CN=Park,O=Veridan,C=KR"}});
    EXPECT_TRUE(again.done());
    ASSERT_EQ(results().size(), 2u);
    EXPECT_EQ(results()[1], kOk);
    ASSERT_FALSE(boxes.seen.empty());
    EXPECT_EQ(boxes.seen[0], "암호가 너무 짧습니다.");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home / "PPKI/Veridan/VERIDAN CA/USER"),
                            std::filesystem::directory_iterator()),
              1)
        << "the kept key";
    // A request that cannot be made (no subject in the policy) is reported.
    Player third({{"IPD_inputPassword_for_PKCS10", [](GtkWidget* w) {
                       type(w, "IPD_entryPassword1", "1234567a");
                       type(w, "IPD_entryPassword2", "1234567a");
                       click(w, "IPD_btn_ok1");
                   }}});
    job("certRequest", {{"Mode", "1"}});
    EXPECT_TRUE(third.done());
    EXPECT_EQ(results().back(), err("1441"));
}

TEST_F(IssueWindows, TheStoreWindowPairsTheCertificateWithItsKeptKey) {
    // A request job's kept key, then the CA's certificate for it.
    unsetenv("ZEPHALTCMP_TEST_NEWKEY");
    Player request({{"IPD_inputPassword_for_PKCS10", [](GtkWidget* w) {
                         type(w, "IPD_entryPassword1", "1234567a");
                         type(w, "IPD_entryPassword2", "1234567a");
                         click(w, "IPD_btn_ok1");
                     }}});
    job("certRequest", {{"Mode", "1"}, {"PKCS10CertDN", "CN=Choi,O=Veridan,C=KR"}});
    ASSERT_TRUE(request.done());
    const std::string keptDir = home / "PPKI/Veridan/VERIDAN CA/USER";
    std::string kept;
    for (const auto& e : std::filesystem::directory_iterator(keptDir)) kept = e.path();
    ASSERT_FALSE(kept.empty());
    // The certificate for the kept key (its public key out of the key file).
    const auto pem = zqtest::run({"sh", "-c",
                                  "openssl pkcs8 -inform DER -provider legacy -provider default -passin pass:1234567a "
                                  "-in '" +
                                      kept + "' > '" + home / "k.pem" + "' && openssl req -new -key '" +
                                      home / "k.pem" + "' -subj /C=KR/O=Veridan/CN=Choi | openssl x509 -req -CA '" +
                                      fx() + "/ppki.pem' -CAkey '" + fx() + "/ppki.key' -set_serial 5 2>/dev/null"});
    std::filesystem::remove(home / "k.pem");
    ASSERT_EQ(pem.status, 0);
    Player store({{"NPW_NewPassword_without_Passwd", [](GtkWidget* w) {
                       uitest::screenshot(w, "store-after-request-window");
                       click(w, "NPW_without_Passwd_btn_ok");
                   }}});
    job("insertCert", {{"PKCS10Cert", pem.output}});
    EXPECT_TRUE(store.done());
    EXPECT_EQ(results().back(), kOk);
    EXPECT_FALSE(std::filesystem::exists(kept));
    EXPECT_TRUE(std::filesystem::exists(keptDir + "/cn=Choi,o=Veridan,c=KR/signPri.key"));
}

TEST_F(IssueWindows, RevokeDeletesTheOneMatchOnly) {
    const std::string name = "cn=Kim Renewal()0022,ou=personal4IB,o=yessign,c=KR";
    // Cancel: nothing deleted, ret "3".
    placeUser(name, fx() + "/old.der");
    {
        Player user({{"DCD_deleteCert_2", [](GtkWidget* w) { click(w, "DCD2_btn_cancel"); }}});
        job("revoke", {});
        EXPECT_TRUE(user.done());
    }
    EXPECT_TRUE(std::filesystem::exists(home / ("NPKI/yessign/USER/" + name + "/signCert.der")));
    // OK: deleted, ret "1", the box from the job's edition.
    {
        Boxes boxes;
        Player user({{"DCD_deleteCert_2", [](GtkWidget* w) {
                          uitest::screenshot(w, "revoke-window");
                          click(w, "DCD2_btn_ok");
                      }}});
        job("revoke", {});
        EXPECT_TRUE(user.done());
        ASSERT_EQ(boxes.seen.size(), 1u);
        EXPECT_EQ(boxes.seen[0], "인증서가 삭제 되었습니다.");
    }
    EXPECT_FALSE(std::filesystem::exists(home / ("NPKI/yessign/USER/" + name + "/signCert.der")));
    EXPECT_EQ(IsQuilletDeleted(), 1);
    // None, then two: 1444 and nothing deleted.
    job("revoke", {});
    placeUser(name, fx() + "/old.der");
    placeUser("cn=Hong Gildong()0011,ou=personal4IB,o=yessign,c=KR", fx() + "/user.der");
    job("revoke", {});
    EXPECT_EQ(results(), (std::vector<std::string>{kCancel, kOk, err("1444"), err("1444")}));
    EXPECT_TRUE(std::filesystem::exists(home / ("NPKI/yessign/USER/" + name + "/signCert.der")));
}

TEST_F(IssueWindows, TheRenewalPasswordDialogAnswersWithAMap) {
    struct Case {
        const char *first, *again;
        int response;
        std::map<std::string, std::string> expect;
    } cases[] = {
        {"", "", GTK_RESPONSE_OK, {{"error", "yes"}, {"errormsg", "인증서 암호를 입력하세요."}}},
        {kGoodPassword, "Issue#2026px", GTK_RESPONSE_OK, {{"error", "yes"}, {"errormsg", "암호가 일치하지 않습니다."}}},
        {kGoodPassword, kGoodPassword, GTK_RESPONSE_OK, {{"new", kGoodPassword}}},
        {kGoodPassword, kGoodPassword, GTK_RESPONSE_CANCEL, {{"cancel", "yes"}}},
        {"", "", 0, {{"retry", "yes"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        CQuilletUI* ui = GetQuilletUI();
        std::strcpy(ui->m_quilletDatas.m_selectedCertValues.certpath, (fx() + "/user.der").c_str());
        Player user({{"CUD_CertupdateInputPassword", [&](GtkWidget* w) {
                          type(w, "CUD_entry_newpassword", c.first);
                          type(w, "CUD_entry_newpassword2", c.again);
                          gtk_dialog_response(GTK_DIALOG(w), c.response);
                      }}});
        auto result = ui->GetForUpdateCertInputPassword();
        EXPECT_TRUE(user.done());
        EXPECT_EQ(result, c.expect);
        explicit_bzero(result["new"].data(), result["new"].size());
        ClearQuilletUI();
    }
}

}  // namespace
