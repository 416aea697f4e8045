// The certificate-entry window's handlers under Xvfb: the window built from
// the builder file as the selection window builds it, rows of a temporary
// home, the password typed into its entry, boxes answered as a user would,
// results posted to the stub relay and judged by openssl.
#include <gtest/gtest.h>

#include <cstring>

#include <zephaltpavix/zephaltpavix.h>

#include "../job/SigningFixtures.h"
#include "RelayStub.h"
#include "RoamingStub.h"
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
QUILLET_UI_EXPORT void on_ECW_radio_fdd_clicked(GtkToggleButton*, gpointer data);
QUILLET_UI_EXPORT void on_ECW_tvCerts_row_activated(GtkTreeView*, GtkTreePath*, GtkTreeViewColumn*, gpointer data);

namespace {

using signfx::errPost;
using signfx::fx;
using uitest::DialogAnswerer;

class EntryWindow : public ::testing::Test {
protected:
    void SetUp() override {
        signfx::dir();
        DMLinuxUtil_SetUserHOMEDir(home.path().c_str());
        Quillet_SetUi(nullptr);
        ClearQuilletUI();
        stub.answer("setResult", 200, "");
        ZUNLIB_Init();
        signfx::loginJob(url, policy, stub.url(), std::string(32, '\x5a'));
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
        g_swForCertExport = 0;
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
    EXPECT_TRUE(stub.bodies().empty());
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
    const auto p = stub.bodies();
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
    EXPECT_TRUE(stub.bodies().empty());
    type(ui, "wrong");
    enterCert_btn_ok_clicked(nullptr, &ui->m_muiWidget);
    EXPECT_EQ(stub.bodies(), std::vector<std::string>{errPost("1425")});
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
    const auto p = stub.bodies();
    ASSERT_EQ(p.size(), 1u);
    const std::string inner = URLDecodeText(URLDecodeText(p[0].substr(p[0].find("returnValue=") + 12)));
    const std::string head = "ret=1&retdata=signature=";
    ASSERT_EQ(inner.compare(0, head.size(), head), 0) << inner;
    const std::string sig = inner.substr(head.size(), inner.find("&er=") - head.size());
    EXPECT_EQ(signfx::cmsVerify(signfx::base64Decode(URLDecodeText(sig)), tmp.path()), "entry window data");
}

// Roaming export from OK: a wrong password leaves the window open with
// nothing sent; the right one (an expired certificate is accepted) sends the
// PKCS#12, shows the number and posts ret 1 once.
TEST_F(EntryWindow, ExportFromOkSendsOnceWithTheRightPassword) {
    const std::string path = home.place("hong");
    agenttest::RoamingStub roaming;
    roaming.answerStatus();
    roaming.answerExport("12345678");
    policy.RoamingURL = roaming.roamingUrl();
    policy.ProtocolVersion = "1.2";
    policy.AuthenticationNumber = "8";
    g_swForCertExport = 1;
    DialogAnswerer answer;
    CQuilletUI* ui = open("LOGIN", {{path, "1"}});
    type(ui, "wrong");
    enterCert_btn_ok_clicked(nullptr, &ui->m_muiWidget);
    ASSERT_EQ(answer.seen.size(), 1u);
    EXPECT_EQ(answer.seen[0].text, "암호가 일치하지 않습니다.");
    EXPECT_TRUE(roaming.bodies("EXPORT").empty());
    EXPECT_EQ(IsQuilletDeleted(), 0);
    EXPECT_EQ(ui->m_quilletDatas.m_selectedCertValues.password[0], '\0');
    type(ui, pw);
    enterCert_btn_ok_clicked(nullptr, &ui->m_muiWidget);
    g_swForCertExport = 0;
    EXPECT_EQ(IsQuilletDeleted(), 1);
    EXPECT_EQ(roaming.bodies("EXPORT").size(), 1u);
    EXPECT_GE(answer.seen.size(), 2u) << "the number shown";
    const auto p = stub.bodies();
    ASSERT_EQ(p.size(), 1u);
    EXPECT_NE(p[0].find("returnValue=ret%3d1"), std::string::npos) << p[0];
}

// The removable-disk radio: no volume empties the list with a warning; a
// chosen volume lists its certificates as medium 1; a volume path that does
// not fit currentUSBVolume with its NUL lists nothing (it was cut to 1024
// bytes without a NUL); switched off, the medium is the hard disk again.
TEST_F(EntryWindow, RemovableDiskRadioListsTheChosenVolume) {
    const std::string path = home.place("hong");
    zqtest::TempDir media("entrymedia");
    std::string deep = media.path();
    while (deep.size() < 1100) deep += "/" + std::string(200, 'd');
    struct Case {
        std::string root;
        bool volume;
        const char* box;
        size_t rows;
    } cases[] = {
        {media / "none", false, "연결된 이동식 디스크 장치가 없습니다.", 0},
        {media.path(), true, nullptr, 1},
        {deep, true, nullptr, 0},
    };
    GtkWidget* radio = gtk_toggle_button_new();
    g_object_ref_sink(radio);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.root.substr(0, 80));
        const std::string volume = c.root + "/media/USB1";
        if (c.volume) {
            const std::string dir = volume + "/NPKI/yessign/USER/" + signfx::kHongFolder;
            zqtest::makeDirs(dir);
            for (const char* f : {"signCert.der", "signPri.key"})
                zqtest::writeFile(dir + "/" + f, zqtest::readFile(fx(std::string("hong/") + f)));
        }
        setenv("QUILLETEX_MEDIA_ROOT", c.root.c_str(), 1);
        DialogAnswerer answer;
        CQuilletUI* ui = open("SIGN", {{path, "0"}});
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(radio), TRUE);
        on_ECW_radio_fdd_clicked(GTK_TOGGLE_BUTTON(radio), &ui->m_muiWidget);
        unsetenv("QUILLETEX_MEDIA_ROOT");
        if (c.box) {
            ASSERT_EQ(answer.seen.size(), 1u);
            EXPECT_EQ(answer.seen[0].text, c.box);
        } else {
            EXPECT_EQ(answer.seen.size(), 1u) << "the volume list only";
        }
        const auto& rows = ui->m_quilletDatas.m_certLists;
        ASSERT_EQ(rows.size(), c.rows);
        const bool fits = c.volume && volume.size() < sizeof ui->currentUSBVolume;
        EXPECT_EQ(std::string(ui->currentUSBVolume), fits ? volume : "");
        if (c.rows) {
            EXPECT_EQ(rows[0].certpath.rfind(volume, 0), 0u) << rows[0].certpath;
            EXPECT_EQ(ui->m_quilletDatas.m_selectedCertValues.selectedStoreType, 1);
        }
        // Switched off: the hard disk, the rows kept until the next refill.
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(radio), FALSE);
        on_ECW_radio_fdd_clicked(GTK_TOGGLE_BUTTON(radio), &ui->m_muiWidget);
        EXPECT_EQ(ui->currentUSBVolume[0], '\0');
        EXPECT_EQ(ui->m_quilletDatas.m_selectedCertValues.selectedStoreType, 0);
        EXPECT_EQ(rows.size(), c.rows);
        ClearQuilletUI();
    }
    g_object_unref(radio);
    EXPECT_TRUE(stub.bodies().empty());
}

// View and row activation open the detail window of the chosen row.
TEST_F(EntryWindow, ViewShowsTheChosenCertificate) {
    const std::string path = home.place("hong");
    {
        DialogAnswerer answer;
        CQuilletUI* ui = open("LOGIN", {});
        on_ECW_btn_certView_clicked(nullptr, &ui->m_muiWidget);
        ASSERT_EQ(answer.seen.size(), 1u);
        EXPECT_EQ(answer.seen[0].text, "인증서를 선택해 주세요.");
    }
    ClearQuilletUI();
    DialogAnswerer answer;
    CQuilletUI* ui = open("LOGIN", {{path, "0"}});
    on_ECW_btn_certView_clicked(nullptr, &ui->m_muiWidget);
    on_ECW_tvCerts_row_activated(nullptr, nullptr, nullptr, &ui->m_muiWidget);
    ASSERT_EQ(answer.seen.size(), 2u);
    for (const auto& seen : answer.seen) EXPECT_EQ(seen.type, -1) << "a dialog, not a box: " << seen.text;
    EXPECT_EQ(std::string(ui->m_quilletDatas.m_selectedCertValues.certpath), path);
    EXPECT_TRUE(stub.bodies().empty());
    EXPECT_EQ(IsQuilletDeleted(), 0);
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
    EXPECT_TRUE(stub.bodies().empty());
    EXPECT_EQ(IsQuilletDeleted(), 0);
}

}  // namespace
