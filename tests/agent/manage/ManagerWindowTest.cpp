// The certificate manager, its dialogs and the detail window under Xvfb:
// the user's steps played on the real windows, the store's files checked
// with cmp, openssl and find, the results the relay stub recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "RoamingStub.h"
#include "TestSupport.h"
#include "UiTestSupport.h"
#include "WindowDriver.h"
#include "common/DMLinuxUtil.h"
#include "job/Job.h"
#include "ui/DetailWindow.h"
#include "ui/MainUI.h"
#include "ui/ManagerWindow.h"
#include "ui/RemovableMedia.h"

namespace {

using agenttest::RoamingStub;
using managetest::WindowDriver;

const char kPw[] = "hong-pw-1";
const std::string kDn = "cn=Hong,ou=KFB,ou=personal4IB,o=yessign,c=kr";

// A text of the Korean edition.
std::string t(const char* key) {
    static CQuilletResourceHelper helper;
    helper.SetResource("KOR");
    return helper.GetResourceData(key);
}

void answer(GtkWidget* d) { WindowDriver::respond(d, GTK_RESPONSE_OK); }

std::string run(const std::vector<std::string>& argv) {
    std::string out = zqtest::run(argv).output;
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

class Manager : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_fx = new zqtest::TempDir("sign-store");
        ASSERT_EQ(zqtest::run({zqtest::kPython, zqtest::sourceDir() + "/tests/store/make_sign_store.py", s_fx->path()})
                      .status,
                  0);
    }
    static void TearDownTestSuite() {
        delete s_fx;
        s_fx = nullptr;
    }
    static std::string fx(const std::string& rel) { return s_fx->path() + "/" + rel; }

    void SetUp() override {
        ::setenv("QUILLETEX_HOME", home.path().c_str(), 1);
        ::setenv("QUILLETEX_MEDIA_ROOT", media.path().c_str(), 1);
        DMLinuxUtil_SetUserHOMEDir(home.path().c_str());
        ZUNLIB_Init();
        relay.answer("setResult", 200, "");
        job = StructURLValues{"JSESSIONID=abc", "7", "manage", relay.url(), "", "", ""};
        strURLValues = &job;
        strPolicyList = &policy;
        filter_info = CertFilter{};
        tmpselectedStoreType = 0;
        userDir = home / ("NPKI/yessign/USER/" + kDn);
        zqtest::makeDirs(userDir);
        for (const char* f : {"signCert.der", "signPri.key", "kmCert.der", "kmPri.key"})
            zqtest::writeFile(userDir + "/" + f, zqtest::readFile(fx(std::string("hong/") + f)));
        usb1 = media / "media/USB1";
        zqtest::makeDirs(usb1);
        ClearQuilletUI();
    }
    void TearDown() override {
        strURLValues = nullptr;
        strPolicyList = nullptr;
        ClearQuilletUI();
        ::unsetenv("QUILLETEX_HOME");
        ::unsetenv("QUILLETEX_MEDIA_ROOT");
    }
    std::vector<std::string> results() const {
        std::vector<std::string> out;
        for (const auto& r : relay.requests()) {
            const auto inner = RoamingStub::fields(RoamingStub::fields(r.body).at("returnValue"));
            out.push_back(inner.at("ret"));
        }
        return out;
    }
    static WindowDriver::Step close() {
        return {"MCW_manageCert", [](GtkWidget* w) { WindowDriver::click(w, "MCW_btn_close"); }};
    }
    static WindowDriver::Step press(const char* button) {
        return {"MCW_manageCert", [button](GtkWidget* w) { WindowDriver::click(w, button); }};
    }
    static WindowDriver::Step typeIn(const char* dialog, const char* entry, std::string text) {
        return {dialog, [entry, text](GtkWidget* d) {
                    WindowDriver::type(d, entry, text.c_str());
                    answer(d);
                }};
    }

    static inline zqtest::TempDir* s_fx = nullptr;
    agenttest::TrustRelayCa trust;
    zqtest::TempDir home{"mgrhome"};
    zqtest::TempDir media{"mgrmedia"};
    zqtest::TempDir work{"mgrwork"};
    agenttest::RelayStub relay;
    StructURLValues job;
    StructPolicyList policy;
    std::string userDir, usb1;
};

TEST_F(Manager, TabsListTheirKindsAndCloseReportsOnce) {
    // Each tab shows the rows in its own view.
    std::vector<size_t> shown;
    static const char* const kViews[] = {"MCW_tvCerts", "MCW_tvCerts1", "MCW_tvCerts2", "MCW_tvCerts3"};
    auto count = [&shown](GtkWidget* w, int page) { shown.push_back(WindowDriver::rows(w, kViews[page], 2).size()); };
    std::vector<size_t> expected;
    for (int kind : {0, 1, 2, 3}) {
        GetDomainCertList(kind, nullptr, nullptr);
        expected.push_back(GetQuilletUI()->m_quilletDatas.m_certLists.size());
    }
    ClearQuilletUI();
    std::vector<WindowDriver::Step> steps{{"MCW_manageCert", [count](GtkWidget* w) { count(w, 0); }}};
    for (int page : {1, 2, 3, 0})
        steps.push_back({"MCW_manageCert", [page, count](GtkWidget* w) {
                             gtk_notebook_set_current_page(GTK_NOTEBOOK(WindowDriver::child(w, "MCW_notebook")), page);
                             count(w, page);
                         }});
    steps.push_back(close());
    WindowDriver driver(steps);
    ASSERT_EQ(ManageCertWindow(), 0);
    ASSERT_TRUE(driver.done());
    EXPECT_EQ(shown, (std::vector<size_t>{1, expected[1], expected[2], expected[3], 1}));
    EXPECT_EQ(results(), std::vector<std::string>{"1"});
    EXPECT_EQ(IsQuilletDeleted(), 1);
}

TEST_F(Manager, TheWindowManagersCloseIsACancel) {
    WindowDriver driver({{"MCW_manageCert", [](GtkWidget* w) { gtk_window_close(GTK_WINDOW(w)); }}});
    ASSERT_EQ(ManageCertWindow(), 0);
    EXPECT_EQ(results(), std::vector<std::string>{"3"});
}

TEST_F(Manager, PasswordChangeThenIdentityCheck) {
    WindowDriver driver({
        press("MCW_btn_changepassword"),
        {"CPD_changePassword",
         [](GtkWidget* d) {
             WindowDriver::type(d, "CPD_entry_password", kPw);
             WindowDriver::type(d, "CPD_entry_newpassword", "new-pw-22");
             WindowDriver::type(d, "CPD_entry_newpassword2", "new-pw-23");
             answer(d);
         }},
        {"BOX", answer},  // not the same: the dialog again
        {"CPD_changePassword",
         [](GtkWidget* d) {
             WindowDriver::type(d, "CPD_entry_password", kPw);
             WindowDriver::type(d, "CPD_entry_newpassword", "new-pw-22");
             WindowDriver::type(d, "CPD_entry_newpassword2", "new-pw-22");
             answer(d);
         }},
        {"BOX", answer},
        // The old password no longer opens the key; the new one does, and
        // the identity check tells the right number from a wrong one.
        press("MCW_btn_checkme"),
        typeIn("IPD_inputPassword", "IPD_entryPassword", kPw),
        {"BOX", answer},
        press("MCW_btn_checkme"),
        typeIn("IPD_inputPassword", "IPD_entryPassword", "new-pw-22"),
        typeIn("IPD_inputPassword", "IPD_entryPassword", "8001011234567"),
        {"BOX", answer},
        press("MCW_btn_checkme"),
        typeIn("IPD_inputPassword", "IPD_entryPassword", "new-pw-22"),
        typeIn("IPD_inputPassword", "IPD_entryPassword", "8001011234568"),
        {"BOX", answer},
        close(),
    });
    ASSERT_EQ(ManageCertWindow(), 0);
    ASSERT_TRUE(driver.done());
    ASSERT_EQ(driver.boxes.size(), 5u);
    EXPECT_EQ(driver.boxes[0], t("Password_not_match"));
    EXPECT_EQ(driver.boxes[1], t("PASSWORD_CHANGE_OK"));
    EXPECT_EQ(driver.boxes[2], t("PASSWORD_CHECK_FAILED"));
    EXPECT_EQ(driver.boxes[3], t("VERIFY_RRN_OK"));
    EXPECT_EQ(driver.boxes[4], t("VERIFY_RRN_FAILED"));
    EXPECT_EQ(results(), std::vector<std::string>{"1"});
}

TEST_F(Manager, CopyToAVolume) {
    WindowDriver driver({
        press("MCW_btn_copy"),
        // From the hard disk the removable disk is the target: its volume.
        {"CCD_copyCert", [](GtkWidget* d) { WindowDriver::click(d, "CCD_radio_fdd"); }},
        {"SSD_SelectOne", answer},
        typeIn("CCD_copyCert", "CCD_entry_password", "wrong"),
        {"BOX", answer},
        press("MCW_btn_copy"),
        {"CCD_copyCert", [](GtkWidget* d) { WindowDriver::click(d, "CCD_radio_fdd"); }},
        {"SSD_SelectOne", answer},
        typeIn("CCD_copyCert", "CCD_entry_password", kPw),
        {"BOX", answer},
        close(),
    });
    ASSERT_EQ(ManageCertWindow(), 0);
    ASSERT_TRUE(driver.done());
    EXPECT_EQ(driver.boxes.at(0), t("PASSWORD_CHECK_FAILED"));
    EXPECT_EQ(driver.boxes.at(1), t("COPY_CERT_OK"));
    const std::string landed = usb1 + "/NPKI/yessign/USER/" + kDn;
    for (const char* f : {"signCert.der", "signPri.key", "kmCert.der", "kmPri.key"})
        EXPECT_TRUE(zqtest::readFile(landed + "/" + f) == zqtest::readFile(userDir + "/" + f)) << f;
    EXPECT_EQ(run({"find", usb1, "-type", "f"}).size() > 0, true);
}

TEST_F(Manager, ExportAsksBeforeReplacingTheFinalName) {
    const std::string existing = work / "cert.p12";
    zqtest::writeFile(existing, "keep me");
    // The chooser starts in the working directory: no folder change to wait
    // for. GTK may complete the typed name from the folder's files.
    const std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(work.path());
    auto save = [this](GtkWidget* d) {
        GtkFileChooser* chooser = GTK_FILE_CHOOSER(d);
        gtk_file_chooser_set_current_name(chooser, "cert");
        gchar* name = gtk_file_chooser_get_filename(chooser);
        const std::string got = name ? name : "";
        g_free(name);
        EXPECT_TRUE(got == work / "cert" || got == work / "cert.p12") << got;
        WindowDriver::respond(d, GTK_RESPONSE_ACCEPT);
    };
    auto chooseExport = [](GtkWidget* d) {
        GtkTreeView* view = GTK_TREE_VIEW(WindowDriver::child(d, "SSD_tv_stores"));
        GtkTreePath* path = gtk_tree_path_new_from_indices(1, -1);
        gtk_tree_selection_select_path(gtk_tree_view_get_selection(view), path);
        gtk_tree_path_free(path);
        answer(d);
    };
    std::string kept;
    WindowDriver driver({
        press("MCW_btn_imexport"),
        {"SSD_SelectOne", chooseExport},
        {"FILE", save},
        {"BOX", [](GtkWidget* b) { WindowDriver::respond(b, GTK_RESPONSE_CANCEL); }},  // "no"
        {"FILE", [](GtkWidget* d) { WindowDriver::respond(d, GTK_RESPONSE_CANCEL); }},
        {"MCW_manageCert",
         [&](GtkWidget* w) {
             kept = zqtest::readFile(existing);  // "no" left it as it was
             WindowDriver::click(w, "MCW_btn_imexport");
         }},
        {"SSD_SelectOne", chooseExport},
        {"FILE", save},
        {"BOX", answer},  // replace
        typeIn("IPD_inputPassword", "IPD_entryPassword", kPw),
        {"BOX", answer},
        close(),
    });
    ASSERT_EQ(ManageCertWindow(), 0);
    std::filesystem::current_path(cwd);
    ASSERT_TRUE(driver.done());
    ASSERT_EQ(driver.boxes.size(), 3u);
    EXPECT_NE(driver.boxes[0].find(existing), std::string::npos) << "asked about the final name";
    EXPECT_EQ(kept, "keep me");
    EXPECT_EQ(driver.boxes[2], t("EXPORT_CERT_OK"));
    EXPECT_EQ(
        zqtest::run({"openssl", "pkcs12", "-info", "-noout", "-in", existing, "-passin", std::string("pass:") + kPw})
            .status,
        0);
    EXPECT_FALSE(std::filesystem::exists(work / "cert"));
}

TEST_F(Manager, DetailRowsAndTheRootCAFingerprint) {
    ::setenv("TZ", "UTC", 1);  // the store shows dates in local time
    ::tzset();
    // A certificate without extensions (version 1), made by openssl.
    const std::string noext = work / "noext.der";
    ASSERT_EQ(zqtest::run({"sh", "-c",
                           "cd \"$0\" && openssl req -new -newkey rsa:1024 -nodes -keyout k.pem -subj /CN=noext "
                           "-out r.csr 2>/dev/null && openssl x509 -req -in r.csr -signkey k.pem -days 10 "
                           "-outform DER -out noext.der 2>/dev/null && openssl req -x509 -key k.pem -subj "
                           "'/C=KR/O=KISA/CN=KISA RootCA 4' -days 10 -outform DER -out root4.der",
                           work.path()})
                  .status,
              0);
    const std::string root4 = work / "root4.der";
    std::string fp = run({"openssl", "x509", "-inform", "DER", "-in", root4, "-noout", "-fingerprint", "-sha256"});
    fp = fp.substr(fp.find('=') + 1);
    std::string grouped;
    for (size_t i = 0, n = 0; i < fp.size(); ++i) {
        if (fp[i] == ':') continue;
        grouped += fp[i];
        if (++n % 4 == 0) grouped += ' ';
    }

    // The optional rows a certificate shows are the extensions openssl
    // finds in it.
    const std::pair<const char*, const char*> optional[] = {
        {"기관키 식별자", "X509v3 Authority Key Identifier"},
        {"주체키 식별자", "X509v3 Subject Key Identifier"},
        {"키 사용", "X509v3 Key Usage"},
        {"인증서 정책", "X509v3 Certificate Policies"},
        {"주체 대체 이름", "X509v3 Subject Alternative Name"},
        {"CRL 배포 지점", "X509v3 CRL Distribution Points"},
        {"기관정보 액세스", "Authority Information Access"},
    };
    struct Case {
        std::string path;
        size_t rows;
    } cases[] = {{noext, 11}, {userDir + "/signCert.der", 14}};
    for (const Case& c : cases) {
        ClearQuilletUI();
        CQuilletUI* ui = GetQuilletUI();
        ui->m_quilletDatas.AddCertLists(CertLists{"", "KISA RootCA 4", "", "", "", root4, "", "0", "0"}, 1);
        std::strcpy(ui->m_quilletDatas.m_selectedCertValues.certpath, c.path.c_str());
        std::vector<std::vector<std::string>> rows;
        std::string hashLine;
        WindowDriver driver({
            {"VCD_viewCert",
             [&rows](GtkWidget* d) {
                 rows = WindowDriver::rows(d, "VCD_treeview_detail", 2);
                 gtk_button_pressed(GTK_BUTTON(WindowDriver::child(d, "VCD_RootCABtn")));
             }},
            {"RCAW_RootCAHashWindow",
             [&hashLine](GtkWidget* w) {
                 hashLine = gtk_label_get_text(GTK_LABEL(WindowDriver::child(w, "RCAW_CertHashValueLabel")));
                 gtk_window_close(GTK_WINDOW(w));
             }},
            {"VCD_viewCert", answer},
        });
        DetailCertView();
        ASSERT_TRUE(driver.done()) << c.path;
        EXPECT_EQ(rows.size(), c.rows) << c.path;
        const std::string text = run({"openssl", "x509", "-inform", "DER", "-in", c.path, "-noout", "-text"});
        // Serial and validity as openssl reads them (dates in UTC).
        std::string serial = run({"openssl", "x509", "-inform", "DER", "-in", c.path, "-noout", "-serial"});
        serial = serial.substr(serial.find('=') + 1);
        std::string shownSerial = rows[1][1].substr(rows[1][1].find("0x") + 2);
        shownSerial.erase(
            std::remove_if(shownSerial.begin(), shownSerial.end(), [](char ch) { return ch == ' ' || ch == ')'; }),
            shownSerial.end());
        EXPECT_EQ(shownSerial, serial) << c.path;
        const std::string dates = run({zqtest::kPython, "-c",
                                       "import sys, datetime as d\n"
                                       "from cryptography import x509\n"
                                       "c = x509.load_der_x509_certificate(open(sys.argv[1],'rb').read())\n"
                                       "print(c.not_valid_before.strftime('%Y-%m-%d'), "
                                       "c.not_valid_after.strftime('%Y-%m-%d'))",
                                       c.path});
        EXPECT_EQ(rows[4][1] + " " + rows[5][1], dates) << c.path;
        for (const auto& [name, extension] : optional) {
            const bool shown = std::any_of(rows.begin(), rows.end(), [&](const auto& r) { return r[0] == name; });
            EXPECT_EQ(shown, text.find(extension) != std::string::npos) << c.path << ": " << name;
        }
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows.back(), (std::vector<std::string>{"Cert Path", c.path}));
        EXPECT_EQ(hashLine, "KISA RootCA 1 : \nKISA RootCA 4 : " + grouped);
    }

    // Open and close: no toplevel stays behind, memory stays flat.
    auto toplevels = [] {
        GList* all = gtk_window_list_toplevels();
        const guint n = g_list_length(all);
        g_list_free(all);
        return n;
    };
    auto cycle = [] {
        WindowDriver driver({{"VCD_viewCert", answer}});
        DetailCertView();
        uitest::pump(1);
    };
    cycle();
    const guint before = toplevels();
    const long long memBefore = uitest::memoryInUse();
    for (int i = 0; i < 50; ++i) cycle();
    EXPECT_EQ(toplevels(), before);
    EXPECT_LT(uitest::memoryInUse() - memBefore, 4ll << 20);
}

}  // namespace
