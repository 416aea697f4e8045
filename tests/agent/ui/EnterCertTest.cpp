// The certificate-entry window's handlers under Xvfb: the window built from
// the builder file as the selection window builds it, rows of a temporary
// home, the password typed into its entry, boxes answered as a user would,
// results posted to the stub relay and judged by openssl.
#include <gtest/gtest.h>

#include <cstring>

#include <zephaltpavix/zephaltpavix.h>

#include "../job/SigningFixtures.h"
#include "RelayStub.h"
#include "UiTestSupport.h"
#include "common/DMLinuxUtil.h"
#include "job/Job.h"
#include "job/Launchers.h"
#include "job/SignActions.h"
#include "ui/MainUI.h"

QUILLET_UI_EXPORT void enterCert_btn_ok_clicked(GtkWidget*, gpointer data);
QUILLET_UI_EXPORT gboolean enterCert_Password_Entry_button_pressed(GtkWidget*, GdkEventKey*, gpointer);
QUILLET_UI_EXPORT void enterCert_on_certDel_clicked(GtkWidget*, gpointer data);
QUILLET_UI_EXPORT void on_ECW_btn_certView_clicked(GtkWidget*, gpointer data);

namespace {

using signfx::fx;
using uitest::DialogAnswerer;

const char kTimeB64[] = "MTcwMDAwMDAwMA==";

std::string b64(const std::string& bytes) { return zqtest::run({"base64", "-w0"}, bytes).output; }

class EntryWindow : public ::testing::Test {
protected:
    void SetUp() override {
        signfx::dir();
        DMLinuxUtil_SetUserHOMEDir(home.path().c_str());
        Quillet_SetUi(nullptr);
        ClearQuilletUI();
        stub.answer("setResult", 200, "");
        ZUNLIB_Init();
        url.url = stub.url();
        url.SESSION = "JSESSIONID=S1";
        url.reqID = "77";
        url.policyName = "login";
        policy.Nonce = b64(std::string(32, '\x5a'));
        policy.ServerTime = URLEncodeText(kTimeB64);
        strURLValues = &url;
        strPolicyList = &policy;
        g_signParams = SignParams{};
        g_signParams.data = "entry window data";
    }
    void TearDown() override {
        RunPendingClose();
        ClearQuilletUI();
        uitest::pump();
        strURLValues = nullptr;
        strPolicyList = nullptr;
        ZUNLIB_Cleanup();
        SetRunningFlag(0);
    }
    // The window with rows (certificate path, expiry flag), row 0 chosen.
    CQuilletUI* open(const char* mode, const std::vector<std::pair<std::string, std::string>>& rows) {
        CQuilletUI* ui = GetQuilletUI();
        ui->m_windowMode = mode;
        ui->m_resourceHelper.SetResource("KOR");
        GtkBuilder* b = LoadWindowBuilder("ECW_enterCert");
        EXPECT_NE(b, nullptr);
        MUIWidget& w = ui->m_muiWidget;
        w.MUI_window = GTK_WIDGET(gtk_builder_get_object(b, "ECW_enterCert"));
        w.MUI_liststore = GTK_LIST_STORE(gtk_builder_get_object(b, "ECW_liststore_certs"));
        w.MUI_treeview = GTK_WIDGET(gtk_builder_get_object(b, "ECW_tvCerts"));
        w.MUI_entry_password = GTK_WIDGET(gtk_builder_get_object(b, "ECW_entry_password"));
        g_object_unref(b);
        for (const auto& [path, flag] : rows) {
            std::string t[8] = {"cn=Hong", "yessign", "personal", "2034-06-30", path, path, flag, "1"};
            MU_addCertLists(t[0].data(), t[1].data(), t[2].data(), t[3].data(), t[4].data(), t[5].data(), t[6].data(),
                            t[7].data(), 0);
        }
        ui->UpdateListStoreForCertList(w.MUI_liststore);
        ui->SelectTreeViewRow(GTK_TREE_VIEW(w.MUI_treeview), 0);
        gtk_widget_show(w.MUI_window);
        uitest::pump();
        return ui;
    }
    void type(CQuilletUI* ui, const std::string& password) {
        gtk_entry_set_text(GTK_ENTRY(ui->m_muiWidget.MUI_entry_password), password.c_str());
    }
    std::vector<std::string> posts() {
        std::vector<std::string> out;
        for (const auto& r : stub.requests()) out.push_back(r.body);
        return out;
    }
    static std::string errPost(const std::string& code) {
        return "Action=setResult&reqID=77&returnValue=ret%3d2%26retdata%3dErrMsg%253d" + code;
    }
    static void pressReturn(CQuilletUI* ui) {
        GdkEventKey key{};
        key.type = GDK_KEY_PRESS;
        key.keyval = GDK_KEY_Return;
        EXPECT_TRUE(
            enterCert_Password_Entry_button_pressed(ui->m_muiWidget.MUI_entry_password, &key, &ui->m_muiWidget));
    }

    agenttest::TrustRelayCa trust;
    signfx::Home home;
    zqtest::TempDir tmp{"agententry"};
    agenttest::RelayStub stub;
    StructURLValues url;
    StructPolicyList policy;
    std::string pw = signfx::password();
};

TEST_F(EntryWindow, ChoiceAndPasswordAreCheckedBeforeAnything) {
    const std::string path = home.place("hong");
    {
        DialogAnswerer answer;
        CQuilletUI* ui = open("LOGIN", {});
        type(ui, pw);
        enterCert_btn_ok_clicked(nullptr, &ui->m_muiWidget);
        ASSERT_EQ(answer.seen.size(), 1u);
        EXPECT_EQ(answer.seen[0].text, "인증서를 선택해 주세요.");
        EXPECT_EQ(answer.seen[0].title, "인증서 선택");
    }
    ClearQuilletUI();
    DialogAnswerer answer;
    CQuilletUI* ui = open("LOGIN", {{path, "0"}, {path, "1"}});
    uitest::screenshot(ui->m_muiWidget.MUI_window, "entry-window-login");
    enterCert_btn_ok_clicked(nullptr, &ui->m_muiWidget);
    ASSERT_EQ(answer.seen.size(), 1u);
    EXPECT_EQ(answer.seen[0].text, "인증서 암호를 입력하세요.");
    // An expired certificate is refused for log-in and sign.
    for (const char* mode : {"LOGIN", "SIGN"}) {
        ui->m_windowMode = mode;
        ui->SelectTreeViewRow(GTK_TREE_VIEW(ui->m_muiWidget.MUI_treeview), 1);
        type(ui, pw);
        enterCert_btn_ok_clicked(nullptr, &ui->m_muiWidget);
        EXPECT_EQ(answer.seen.back().text,
                  "유효기간이 만료된 인증서입니다.  유효한 인증서를 선택하여 주시기 바랍니다.");
        EXPECT_EQ(ui->m_quilletDatas.m_selectedCertValues.password[0], '\0') << "no password kept";
    }
    EXPECT_EQ(answer.seen.size(), 3u);
    EXPECT_TRUE(posts().empty());
    EXPECT_EQ(IsQuilletDeleted(), 0);
}

TEST_F(EntryWindow, ReturnLogsInAndEndsTheJob) {
    const std::string path = home.place("hong");
    DialogAnswerer answer;
    CQuilletUI* ui = open("LOGIN", {{path, "2"}});  // expiring soon is accepted
    type(ui, pw);
    pressReturn(ui);
    EXPECT_EQ(IsQuilletDeleted(), 1) << "the job's window closed";
    EXPECT_EQ(GetQuilletResult(), 1);
    const auto p = posts();
    ASSERT_EQ(p.size(), 1u);
    EXPECT_NE(p[0].find("returnValue=ret%3d1%26retdata%3der%253d"), std::string::npos) << p[0];
    EXPECT_TRUE(answer.seen.empty());
}

TEST_F(EntryWindow, FiveWrongPasswordsInTheWindow) {
    const std::string path = home.place("hong");
    DialogAnswerer answer;
    CQuilletUI* ui = open("LOGIN", {{path, "0"}});
    for (int i = 1; i <= 4; ++i) {
        type(ui, "wrong");
        enterCert_btn_ok_clicked(nullptr, &ui->m_muiWidget);
        ASSERT_EQ(answer.seen.size(), size_t(i));
        EXPECT_NE(answer.seen.back().text.find("현재 " + std::to_string(5 - i) + "회 남음"), std::string::npos);
        EXPECT_EQ(IsQuilletDeleted(), 0);
        EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(ui->m_muiWidget.MUI_entry_password)), "");
    }
    EXPECT_TRUE(posts().empty());
    type(ui, "wrong");
    enterCert_btn_ok_clicked(nullptr, &ui->m_muiWidget);
    EXPECT_EQ(posts(), std::vector<std::string>{errPost("1425")});
    EXPECT_EQ(IsQuilletDeleted(), 1);
}

TEST_F(EntryWindow, SignFromARemovableVolumeKeepsItsMedium) {
    zqtest::TempDir drive("agentvolume");
    const std::string dir = drive.path() + "/NPKI/yessign/USER/" + signfx::kHongFolder;
    zqtest::makeDirs(dir);
    for (const char* f : {"signCert.der", "signPri.key"})
        zqtest::writeFile(dir + "/" + f, zqtest::readFile(fx(std::string("hong/") + f)));
    DialogAnswerer answer;
    CQuilletUI* ui = open("SIGN", {{dir + "/signCert.der", "1"}, {dir + "/signCert.der", "0"}});
    std::snprintf(ui->currentUSBVolume, sizeof ui->currentUSBVolume, "%s", drive.path().c_str());
    type(ui, pw);
    enterCert_btn_ok_clicked(nullptr, &ui->m_muiWidget);  // the expired row: refused
    const SelectedCertValues& v = ui->m_quilletDatas.m_selectedCertValues;
    EXPECT_EQ(v.selectedStoreType, 1) << "choosing the row keeps the medium";
    EXPECT_EQ(std::string(v.selectedUSBVolume), drive.path());
    ui->SelectTreeViewRow(GTK_TREE_VIEW(ui->m_muiWidget.MUI_treeview), 1);
    type(ui, pw);
    enterCert_btn_ok_clicked(nullptr, &ui->m_muiWidget);
    EXPECT_EQ(IsQuilletDeleted(), 1);
    const auto p = posts();
    ASSERT_EQ(p.size(), 1u);
    const std::string inner = URLDecodeText(URLDecodeText(p[0].substr(p[0].find("returnValue=") + 12)));
    const std::string head = "ret=1&retdata=signature=";
    ASSERT_EQ(inner.compare(0, head.size(), head), 0) << inner;
    const std::string sig = inner.substr(head.size(), inner.find("&er=") - head.size());
    EXPECT_EQ(signfx::cmsVerify(signfx::base64Decode(URLDecodeText(sig)), tmp.path()), "entry window data");
}

TEST_F(EntryWindow, ExportIsNotAvailableYet) {
    const std::string path = home.place("hong");
    DialogAnswerer answer;
    CQuilletUI* ui = open("LOGIN", {{path, "0"}});
    g_swForCertExport = 1;
    type(ui, pw);
    enterCert_btn_ok_clicked(nullptr, &ui->m_muiWidget);
    g_swForCertExport = 0;
    ASSERT_EQ(answer.seen.size(), 1u);
    EXPECT_EQ(answer.seen[0].text, "이 기능은 아직 사용할 수 없습니다.");
    EXPECT_TRUE(posts().empty());
    EXPECT_EQ(IsQuilletDeleted(), 0);
    EXPECT_EQ(ui->m_quilletDatas.m_selectedCertValues.password[0], '\0');
}

TEST_F(EntryWindow, DeleteAsksAndRefillsTheList) {
    const std::string path = home.place("hong");
    const std::string other = home.place("zero", "cn=Hong2,o=yessign,c=kr");
    {
        DialogAnswerer no(GTK_RESPONSE_NO);
        CQuilletUI* ui = open("LOGIN", {{path, "0"}});
        enterCert_on_certDel_clicked(nullptr, &ui->m_muiWidget);
        ASSERT_EQ(no.seen.size(), 1u);
        EXPECT_EQ(no.seen[0].title, "인증서 삭제");
        EXPECT_TRUE(zqtest::fileExists(path)) << "declined";
    }
    DialogAnswerer yes(GTK_RESPONSE_YES);
    CQuilletUI* ui = GetQuilletUI();
    enterCert_on_certDel_clicked(nullptr, &ui->m_muiWidget);
    ASSERT_EQ(yes.seen.size(), 2u);
    EXPECT_EQ(yes.seen[1].text, "인증서가 삭제 되었습니다.");
    EXPECT_FALSE(zqtest::fileExists(path));
    EXPECT_TRUE(zqtest::fileExists(other));
    ASSERT_EQ(ui->m_quilletDatas.m_certLists.size(), 1u) << "refilled from the home";
    EXPECT_EQ(ui->m_quilletDatas.m_certLists[0].certpath, other);
    EXPECT_TRUE(posts().empty());
    EXPECT_EQ(IsQuilletDeleted(), 0);
}

}  // namespace
