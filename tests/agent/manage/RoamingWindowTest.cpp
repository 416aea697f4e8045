// The roaming windows under Xvfb against the roaming and relay stubs: the
// number typed in four entries, the import dialog with its medium and
// password, the cancel and the window manager's close, the export number.
#include <gtest/gtest.h>

#include <filesystem>

#include "RoamingStub.h"
#include "TestSupport.h"
#include "UiTestSupport.h"
#include "WindowDriver.h"
#include "common/DMLinuxUtil.h"
#include "job/Job.h"
#include "job/Launchers.h"
#include "job/ManageActions.h"
#include "ui/MainUI.h"
#include "ui/RemovableMedia.h"
#include "ui/RoamingWindows.h"

namespace {

using agenttest::RoamingStub;
using managetest::WindowDriver;

const std::string kDn = "cn=Hong,ou=KFB,ou=personal4IB,o=yessign,c=kr";

class RoamingWindows : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_fx = new zqtest::TempDir("sign-store");
        ASSERT_EQ(zqtest::run({zqtest::kPython, zqtest::sourceDir() + "/tests/store/make_sign_store.py", s_fx->path()})
                      .status,
                  0);
        const std::string fx = s_fx->path();
        zqtest::run({"openssl", "x509", "-inform", "DER", "-in", fx + "/hong/signCert.der", "-out", fx + "/hong.crt"});
        ASSERT_EQ(zqtest::run({"openssl", "pkcs12", "-export", "-in", fx + "/hong.crt", "-inkey", fx + "/hong/sign.pem",
                               "-passout", "pass:p12-pw", "-out", fx + "/hong.p12"})
                      .status,
                  0);
        s_b64 = zqtest::run({"openssl", "base64", "-A", "-in", fx + "/hong.p12"}).output;
    }
    static void TearDownTestSuite() {
        delete s_fx;
        s_fx = nullptr;
    }

    void SetUp() override {
        ::setenv("QUILLETEX_HOME", home.path().c_str(), 1);
        ::setenv("QUILLETEX_MEDIA_ROOT", media.path().c_str(), 1);
        DMLinuxUtil_SetUserHOMEDir(home.path().c_str());
        ZUNLIB_Init();
        relay.answer("setResult", 200, "");
        roaming.answerStatus();
        roaming.answerImport(s_b64);
        job = StructURLValues{"JSESSIONID=abc", "7", "roaming", relay.url(), "", "", ""};
        policy.RoamingURL = roaming.roamingUrl();
        policy.ProtocolVersion = "1.2";
        policy.AuthenticationNumber = "16";
        strURLValues = &job;
        strPolicyList = &policy;
        ClearQuilletUI();
    }
    void TearDown() override {
        Roaming_GVar_Initialize();
        strURLValues = nullptr;
        strPolicyList = nullptr;
        ClearQuilletUI();
        ::unsetenv("QUILLETEX_HOME");
        ::unsetenv("QUILLETEX_MEDIA_ROOT");
    }
    std::vector<std::string> results() const {
        std::vector<std::string> out;
        for (const auto& r : relay.requests()) {
            const auto f = RoamingStub::fields(r.body);
            const auto inner = RoamingStub::fields(f.at("returnValue"));
            const std::string data = inner.count("retdata") ? inner.at("retdata") : "";
            out.push_back(inner.at("ret") + (data.empty() ? "" : ":" + data));
        }
        return out;
    }
    static void typeNumber(GtkWidget* w, const char* a, const char* b, const char* c, const char* d) {
        WindowDriver::type(w, "RIW_entry_1", a);
        WindowDriver::type(w, "RIW_entry_2", b);
        WindowDriver::type(w, "RIW_entry_3", c);
        WindowDriver::type(w, "RIW_entry_4", d);
    }
    static void ok(GtkWidget* w) { gtk_button_clicked(GTK_BUTTON(WindowDriver::child(w, "RIW_btn_ok"))); }

    static inline zqtest::TempDir* s_fx = nullptr;
    static inline std::string s_b64;
    agenttest::TrustRelayCa trust;
    zqtest::TempDir home{"roamhome"};
    zqtest::TempDir media{"roammedia"};
    agenttest::RelayStub relay;
    RoamingStub roaming;
    StructURLValues job;
    StructPolicyList policy;
};

TEST_F(RoamingWindows, ImportToAVolumeAfterAWrongPassword) {
    const std::string usb = media / "media/USB1";
    zqtest::makeDirs(usb);
    WindowDriver driver({
        // Refused before anything is sent: a short number, then "12&4".
        {"RIW_rommingImportCert",
         [](GtkWidget* w) {
             typeNumber(w, "1234", "5678", "1234", "567");
             ok(w);
         }},
        {"BOX", [](GtkWidget* b) { WindowDriver::respond(b, GTK_RESPONSE_OK); }},
        {"RIW_rommingImportCert",
         [](GtkWidget* w) {
             typeNumber(w, "1234", "5678", "12&4", "5678");
             ok(w);
         }},
        {"BOX", [](GtkWidget* b) { WindowDriver::respond(b, GTK_RESPONSE_OK); }},
        {"RIW_rommingImportCert",
         [](GtkWidget* w) {
             typeNumber(w, "1234", "5678", "1234", "5678");
             ok(w);
         }},
        // The volume, then a wrong password: the dialog comes again.
        {"ISCD_ImportAndSaveCert",
         [](GtkWidget* d) { gtk_button_clicked(GTK_BUTTON(WindowDriver::child(d, "ISCD_radio_fdd"))); }},
        {"SSD_SelectOne", [](GtkWidget* d) { WindowDriver::respond(d, GTK_RESPONSE_OK); }},
        {"ISCD_ImportAndSaveCert",
         [](GtkWidget* d) {
             WindowDriver::type(d, "ISCD_entryPassword", "wrong");
             WindowDriver::respond(d, GTK_RESPONSE_OK);
         }},
        {"BOX", [](GtkWidget* b) { WindowDriver::respond(b, GTK_RESPONSE_OK); }},
        {"ISCD_ImportAndSaveCert",
         [](GtkWidget* d) { gtk_button_clicked(GTK_BUTTON(WindowDriver::child(d, "ISCD_radio_fdd"))); }},
        {"SSD_SelectOne", [](GtkWidget* d) { WindowDriver::respond(d, GTK_RESPONSE_OK); }},
        {"ISCD_ImportAndSaveCert",
         [](GtkWidget* d) {
             WindowDriver::type(d, "ISCD_entryPassword", "p12-pw");
             WindowDriver::respond(d, GTK_RESPONSE_OK);
         }},
        {"BOX", [](GtkWidget* b) { WindowDriver::respond(b, GTK_RESPONSE_OK); }},
    });
    ASSERT_EQ(RoamingImportWindow(16), 0);
    EXPECT_TRUE(driver.done());
    ASSERT_EQ(driver.boxes.size(), 4u);
    EXPECT_EQ(driver.boxes[0], "인증번호 16자리를 입력하시기 바랍니다.");
    EXPECT_EQ(driver.boxes[1], driver.boxes[0]);
    EXPECT_EQ(driver.boxes[3], "인증서 가져오기를 완료하였습니다.");

    EXPECT_EQ(roaming.bodies("IMPORT"), std::vector<std::string>{"Action=IMPORT&SVer=1.2&AuthNum=1234567812345678"});
    EXPECT_EQ(roaming.bodies("SET_STATUS").size(), 1u);
    EXPECT_EQ(results(), std::vector<std::string>{"1"});
    EXPECT_TRUE(zqtest::readFile(usb + "/NPKI/yessign/USER/" + kDn + "/signCert.der") ==
                zqtest::readFile(s_fx->path() + "/hong/signCert.der"));
    EXPECT_FALSE(std::filesystem::exists(home / "NPKI/yessign"));
    EXPECT_EQ(IsQuilletDeleted(), 1);
}

TEST_F(RoamingWindows, UnknownNumberStaysThenCancel) {
    roaming.answer("IMPORT", 200, "ERROR$unknown");
    WindowDriver driver({
        {"RIW_rommingImportCert",
         [](GtkWidget* w) {
             typeNumber(w, "1234", "5678", "1234", "5678");
             ok(w);
         }},
        {"BOX", [](GtkWidget* b) { WindowDriver::respond(b, GTK_RESPONSE_OK); }},
        {"RIW_rommingImportCert",
         [](GtkWidget* w) { gtk_button_clicked(GTK_BUTTON(WindowDriver::child(w, "RIW_btn_cancel"))); }},
    });
    ASSERT_EQ(RoamingImportWindow(16), 0);
    EXPECT_TRUE(driver.done());
    EXPECT_EQ(driver.boxes.at(0), "인증번호가 올바르지 않거나 기타 오류입니다.");
    EXPECT_EQ(results(), std::vector<std::string>{"3"});
}

TEST_F(RoamingWindows, TheWindowManagersCloseIsACancel) {
    WindowDriver driver({{"RIW_rommingImportCert", [](GtkWidget* w) { gtk_window_close(GTK_WINDOW(w)); }}});
    ASSERT_EQ(RoamingImportWindow(8), 0);
    EXPECT_EQ(results(), std::vector<std::string>{"3"});
    EXPECT_TRUE(roaming.requests().empty());
}

TEST_F(RoamingWindows, AFailedSendEndsTheJobWithoutTheDialog) {
    roaming.answer("IMPORT", 500, "");
    policy.AuthenticationNumber = "8";
    WindowDriver driver({{"RIW_rommingImportCert", [](GtkWidget* w) {
                              typeNumber(w, "1234", "5678", "", "");
                              ok(w);
                          }}});
    ASSERT_EQ(RoamingImportWindow(8), 0);
    EXPECT_EQ(results(), std::vector<std::string>{"2:ErrMsg=1450"});
    EXPECT_EQ(roaming.bodies("IMPORT"), std::vector<std::string>{"Action=IMPORT&SVer=1.2&AuthNum=12345678"});
}

// The export through the certificate-entry window: the number shown in
// pieces, then ret "1"; a short code posts 1459 once and no ret "1".
TEST_F(RoamingWindows, ExportThroughTheEntryWindow) {
    const std::string dir = home / ("NPKI/yessign/USER/" + kDn);
    zqtest::makeDirs(dir);
    for (const char* f : {"signCert.der", "signPri.key"})
        zqtest::writeFile(dir + "/" + f, zqtest::readFile(s_fx->path() + "/hong/" + f));
    policy.AuthenticationNumber = "8";
    filter_info = CertFilter{};
    struct Case {
        std::string reply;
        std::vector<std::string> results;
        std::vector<std::string> shown;
    } cases[] = {
        {"OK$12345678", {"1"}, {"1234", "5678", "", ""}},
        {"OK$123", {"2:ErrMsg=1459"}, {}},
    };
    for (const Case& c : cases) {
        roaming.answer("EXPORT", 200, c.reply);
        const size_t before = relay.requests().size();
        std::vector<std::string> shown;
        std::vector<WindowDriver::Step> steps{{"ECW_enterCert", [](GtkWidget* w) {
                                                   WindowDriver::type(w, "ECW_entry_password", "hong-pw-1");
                                                   WindowDriver::click(w, "ECW_btn_ok");
                                               }}};
        if (!c.shown.empty())
            steps.push_back({"RED_roamingExportCert", [&shown](GtkWidget* d) {
                                 for (const char* id : {"RED_entry_0", "RED_entry_1", "RED_entry_2", "RED_entry_3"})
                                     shown.push_back(gtk_entry_get_text(GTK_ENTRY(WindowDriver::child(d, id))));
                                 WindowDriver::respond(d, GTK_RESPONSE_OK);
                             }});
        WindowDriver driver(steps);
        ClearQuilletUI();
        launch_Roaming_CertExport_Window();
        EXPECT_TRUE(driver.done()) << c.reply;
        EXPECT_EQ(shown, c.shown) << c.reply;
        std::vector<std::string> got = results();
        got.erase(got.begin(), got.begin() + static_cast<long>(before));
        EXPECT_EQ(got, c.results) << c.reply;
    }
    g_swForCertExport = 0;
}

TEST_F(RoamingWindows, ExportNumberShownInPieces) {
    struct Case {
        std::string number;
        int digits;
        std::vector<std::string> shown;
    } cases[] = {
        {"1234567812345678", 16, {"1234", "5678", "1234", "5678"}},
        {"12345678", 8, {"1234", "5678", "", ""}},
        {"1234567812345678", 8, {"1234", "5678", "", ""}},
        {"123456", 12, {"1234", "56", "", ""}},  // short: nothing read past its end
    };
    for (const Case& c : cases) {
        std::vector<std::string> seen;
        WindowDriver driver({{"RED_roamingExportCert", [&seen](GtkWidget* d) {
                                  for (const char* id : {"RED_entry_0", "RED_entry_1", "RED_entry_2", "RED_entry_3"})
                                      seen.push_back(gtk_entry_get_text(GTK_ENTRY(WindowDriver::child(d, id))));
                                  WindowDriver::respond(d, GTK_RESPONSE_OK);
                              }}});
        EXPECT_EQ(RoamingExportNumber(c.number, c.digits), 0);
        EXPECT_EQ(seen, c.shown) << c.number;
    }
}

}  // namespace
