// Renewal from the certificate-entry window for real under Xvfb: whole
// update jobs through the entry functions, the user played from timers
// (storage radio, password, OK, the new-password dialog), the relay stub and
// openssl's mock CMP server as the CA; stored files judged by cmp and
// openssl, every post to the relay checked.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
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

extern int g_renewalPasswordTries;

namespace {

using agenttest::RelayStub;
using zqtest::CmpMock;

const std::string& fx() { return zqtest::cmpFixtures(); }
const char kOldPassword[] = "OLDPASS12";     // old.p8's
const char kNewPassword[] = "Issue#2026pw";  // the password module's rules
const char kUser[] = "NPKI/yessign/USER/cn=Kim Renewal()0022,ou=personal4IB,o=yessign,c=KR";

using issuetest::Boxes;
using issuetest::click;
using issuetest::Player;
using issuetest::type;

// The current password typed and OK clicked.
Player::Step okWith(const char* password) {
    return {"ECW_enterCert", [password](GtkWidget* w) {
                type(w, "ECW_entry_password", password);
                click(w, "ECW_btn_ok");
            }};
}

std::string keyModulus(const std::string& key, const std::string& pw) {
    const auto r = zqtest::run({"sh", "-c",
                                "openssl pkcs8 -inform DER -provider legacy -provider default -passin pass:'" + pw +
                                    "' -in '" + key + "' 2>/dev/null | openssl rsa -noout -modulus"});
    return r.status == 0 ? r.output : "failed";
}
std::string certModulus(const std::string& cert) {
    return zqtest::run({"openssl", "x509", "-inform", "DER", "-in", cert, "-noout", "-modulus"}).output;
}

class EntryRenewal : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(fx().empty());
        DMLinuxUtil_SetUserHOMEDir(home.path().c_str());
        setenv("QUILLETEX_HOME", home.path().c_str(), 1);
        setenv("QUILLETEX_MEDIA_ROOT", media.path().c_str(), 1);
        setenv("ZEPHALTCMP_TEST_NEWKEY", (fx() + "/user.key").c_str(), 1);
        stub.answer("setResult", 200, "");
        g_renewalPasswordTries = 0;
    }
    void TearDown() override {
        unsetenv("QUILLETEX_HOME");
        unsetenv("QUILLETEX_MEDIA_ROOT");
        unsetenv("ZEPHALTCMP_TEST_NEWKEY");
    }
    // The old certificate and its key under base; the folder.
    static std::string place(const std::string& base) {
        const std::string dir = base + "/" + kUser;
        zqtest::makeDirs(dir);
        zqtest::writeFile(dir + "/signCert.der", zqtest::readFile(fx() + "/old.der"));
        zqtest::writeFile(dir + "/signPri.key", zqtest::readFile(fx() + "/old.p8"));
        zqtest::writeFile(base + "/NPKI/yessign/ca.der", zqtest::readFile(fx() + "/ca.der"));
        return dir;
    }
    void update(const std::string& port) {
        EXPECT_EQ(issuetest::runJob(stub, "update",
                                    {{"IssueRefID", "REF1"},
                                     {"IssuePassword", "CODE1"},
                                     {"CMPServerAddr", "127.0.0.1"},
                                     {"CMPServerPort", port},
                                     {"CAName", "YESSIGN"},
                                     {"Mode", "1"}}),
                  0);
        EXPECT_EQ(LinuxQuillet_isRunning(), 0) << "the job has ended";
        EXPECT_EQ(IsQuilletDeleted(), 1) << "no UI object left for the next job";
    }
    std::vector<std::string> results() {
        std::vector<std::string> out;
        for (const auto& r : stub.requests())
            if (r.body.rfind("Action=setResult&", 0) == 0)
                out.push_back(r.body.substr(r.body.find("returnValue=") + 12));
        return out;
    }

    agenttest::TrustRelayCa trust;
    zqtest::TempDir home{"entryrenewhome"};
    zqtest::TempDir media{"entryrenewmedia"};
    RelayStub stub;
};

const std::string kOk = "ret%3d1%26retdata%3d";
const std::string kCancel = "ret%3d3%26retdata%3d";
const char kTriesLeft4[] =
    "선택된 인증서의 암호가 틀렸습니다.\n암호를 다시 입력하십시오.\n\n암호 총5회(현재 4회 남음) 오류시\n재시도하여 "
    "주시기 바랍니다.";

// The volume chosen with the radio, a wrong password, then the right one:
// the renewal goes to the volume's certificate (the medium survives the
// retry), the home disk is not touched.
TEST_F(EntryRenewal, RenewsOnTheChosenVolumeAfterAWrongPassword) {
    const std::string volume = media / "media/USB1";
    const std::string dir = place(volume);
    CmpMock ca("REF1", "CODE1", fx() + "/renewed.pem");
    Boxes boxes;
    Player lists({{"SSD_SelectOne", [](GtkWidget* w) { gtk_dialog_response(GTK_DIALOG(w), GTK_RESPONSE_OK); }}});
    Player newPassword({{"CUD_CertupdateInputPassword", [](GtkWidget* w) {
                             type(w, "CUD_entry_newpassword", kNewPassword);
                             type(w, "CUD_entry_newpassword2", kNewPassword);
                             gtk_dialog_response(GTK_DIALOG(w), GTK_RESPONSE_OK);
                         }}});
    Player user(
        {{"ECW_enterCert", [](GtkWidget* w) { click(w, "ECW_radio_fdd"); }}, okWith("WRONGPW1"), okWith(kOldPassword)});
    update(ca.port());
    EXPECT_TRUE(user.done());
    EXPECT_TRUE(lists.done());
    EXPECT_TRUE(newPassword.done());
    EXPECT_EQ(results(), std::vector<std::string>{kOk});
    EXPECT_EQ(boxes.seen, (std::vector<std::string>{kTriesLeft4, "인증서가 성공적으로 갱신되었습니다."}));
    EXPECT_EQ(zqtest::readFile(dir + "/signCert.der"), zqtest::readFile(fx() + "/renewed.der"));
    EXPECT_EQ(keyModulus(dir + "/signPri.key", kNewPassword), certModulus(fx() + "/renewed.der"));
    EXPECT_FALSE(std::filesystem::exists(home / "NPKI/yessign/USER")) << "nothing on the home disk";
}

// Five wrong passwords: four retry boxes, then the fifth's box and exactly
// one post, 1425 (no cancel after it); the certificate stays as it was.
TEST_F(EntryRenewal, FiveWrongPasswordsPostOnly1425) {
    const std::string dir = place(home.path());
    Boxes boxes;
    std::deque<Player::Step> steps;
    for (int i = 0; i < 5; ++i) steps.push_back(okWith("WRONGPW1"));
    Player user(std::move(steps));
    update("1");
    EXPECT_TRUE(user.done());
    EXPECT_EQ(results(), std::vector<std::string>{"ret%3d2%26retdata%3dErrMsg%253d1425"});
    ASSERT_EQ(boxes.seen.size(), 5u);
    EXPECT_EQ(boxes.seen[0], kTriesLeft4);
    EXPECT_NE(boxes.seen[3].find("현재 1회 남음"), std::string::npos);
    EXPECT_EQ(boxes.seen[4], "인증서 암호 입력이 5회 이상 틀렸습니다. 프로그램을 종료합니다.");
    EXPECT_EQ(zqtest::readFile(dir + "/signCert.der"), zqtest::readFile(fx() + "/old.der"));
    EXPECT_EQ(g_renewalPasswordTries, 0);
}

// Cancelling the new-password dialog cancels the job once; nothing reaches
// the CA.
TEST_F(EntryRenewal, CancellingTheNewPasswordCancelsTheJobOnce) {
    const std::string dir = place(home.path());
    CmpMock ca("REF1", "CODE1", fx() + "/renewed.pem");
    Boxes boxes;
    Player newPassword({{"CUD_CertupdateInputPassword",
                         [](GtkWidget* w) { gtk_dialog_response(GTK_DIALOG(w), GTK_RESPONSE_CANCEL); }}});
    Player user({okWith(kOldPassword)});
    update(ca.port());
    EXPECT_TRUE(newPassword.done());
    EXPECT_EQ(results(), std::vector<std::string>{kCancel});
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_EQ(zqtest::readFile(dir + "/signCert.der"), zqtest::readFile(fx() + "/old.der"));
}

// Renewal with a PKCS#12 file: the file's pair is imported, then the very
// certificate of the file is renewed with the file's password, not the
// first row of the list (another certificate of the home disk stays as it
// was).
TEST_F(EntryRenewal, RenewsTheCertificateOfTheChosenFile) {
    zqtest::TempDir work("entryrenewfile");
    const std::string other = home / "NPKI/yessign/USER/cn=Aaa Other()0001,ou=personal4IB,o=yessign,c=KR";
    zqtest::makeDirs(other);
    zqtest::writeFile(other + "/signCert.der", zqtest::readFile(fx() + "/user.der"));
    zqtest::writeFile(other + "/signPri.key", zqtest::readFile(fx() + "/old.p8"));
    zqtest::writeFile(home / "NPKI/yessign/ca.der", zqtest::readFile(fx() + "/ca.der"));
    const std::string p12 = work / "kim.p12";
    ASSERT_EQ(zqtest::run({"sh", "-c",
                           "openssl x509 -inform DER -in '" + fx() + "/old.der' -out '" + work.path() +
                               "/c.pem' && openssl pkcs8 -inform DER -provider legacy -provider default -passin pass:" +
                               kOldPassword + " -in '" + fx() + "/old.p8' -out '" + work.path() +
                               "/k.pem' && openssl pkcs12 -export -in '" + work.path() + "/c.pem' -inkey '" +
                               work.path() + "/k.pem' -passout 'pass:" + kNewPassword + "' -out '" + p12 + "'"})
                  .status,
              0);
    CmpMock ca("REF1", "CODE1", fx() + "/renewed.pem");
    Boxes boxes;
    Player chooser({{"FILE", [&](GtkWidget* d) {
                         gtk_file_chooser_set_filename(GTK_FILE_CHOOSER(d), p12.c_str());
                         // The folder loads before the name is taken.
                         for (int i = 0; i < 200; ++i) {
                             gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(d));
                             const bool ready = name && p12 == name;
                             g_free(name);
                             if (ready) break;
                             uitest::pump(1);
                         }
                         gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_ACCEPT);
                     }}});
    Player password({{"IPD_inputPassword", [](GtkWidget* w) {
                          type(w, "IPD_entryPassword", kNewPassword);
                          gtk_dialog_response(GTK_DIALOG(w), GTK_RESPONSE_OK);
                      }}});
    Player user({{"ECW_enterCert", [](GtkWidget* w) { click(w, "ECW_btn_certFind"); }}});
    update(ca.port());
    EXPECT_TRUE(chooser.done());
    EXPECT_TRUE(password.done());
    EXPECT_EQ(results(), std::vector<std::string>{kOk});
    EXPECT_EQ(boxes.seen, (std::vector<std::string>{"PKCS12 인증서를 인증서 저장소에 저장하였습니다.",
                                                    "인증서가 성공적으로 갱신되었습니다."}));
    const std::string dir = home / kUser;
    EXPECT_EQ(zqtest::readFile(dir + "/signCert.der"), zqtest::readFile(fx() + "/renewed.der"));
    EXPECT_EQ(keyModulus(dir + "/signPri.key", kNewPassword), certModulus(fx() + "/renewed.der"));
    EXPECT_EQ(zqtest::readFile(other + "/signCert.der"), zqtest::readFile(fx() + "/user.der")) << "not the first row";
}

}  // namespace
