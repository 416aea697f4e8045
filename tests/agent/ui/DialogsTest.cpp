// The list and input dialogs, the keypad widgets' option, and the
// password-policy module (our libzuncc, opened from a copy of the staged
// installation) with its guide, under Xvfb; openbox closes windows as a
// user's close box does.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "WindowManager.h"
#include "common/DMLinuxUtil.h"
#include "job/Job.h"
#include "ui/MainUI.h"

namespace {

// The toplevel dialog that shows, once mapped.
GtkWidget* shownDialog() {
    GtkWidget* found = nullptr;
    GList* all = gtk_window_list_toplevels();
    for (GList* l = all; l; l = l->next)
        if (GTK_IS_DIALOG(l->data) && gtk_widget_get_mapped(GTK_WIDGET(l->data))) found = GTK_WIDGET(l->data);
    g_list_free(all);
    return found;
}

void collect(GtkWidget* w, GType type, std::vector<GtkWidget*>& out) {
    if (G_TYPE_CHECK_INSTANCE_TYPE(w, type)) out.push_back(w);
    if (GTK_IS_CONTAINER(w)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(w));
        for (GList* l = children; l; l = l->next) collect(GTK_WIDGET(l->data), type, out);
        g_list_free(children);
    }
}

// Runs act on the dialog once it shows (polled from the dialog's loop).
class OnDialog {
public:
    explicit OnDialog(std::function<void(GtkWidget*)> act) : m_act(std::move(act)) {
        m_source = g_timeout_add(30, tick, this);
    }
    ~OnDialog() {
        if (m_source) g_source_remove(m_source);
    }
    bool ran = false;

private:
    static gboolean tick(gpointer p) {
        auto* self = static_cast<OnDialog*>(p);
        GtkWidget* d = shownDialog();
        if (!d) return G_SOURCE_CONTINUE;
        self->ran = true;
        self->m_source = 0;
        self->m_act(d);
        return G_SOURCE_REMOVE;
    }
    std::function<void(GtkWidget*)> m_act;
    guint m_source = 0;
};

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override {
        ClearQuilletUI();
        MU_LanguageSet("KOR");
    }
    void TearDown() override {
        ReleasePasswordManager();
        ClearQuilletUI();
        g_swLanguage_Eng = 0;
    }
};

TEST_F(Dialogs, ListDialogGivesTheChosenItem) {
    CQuilletUI* ui = GetQuilletUI();
    std::string choice = "before";
    {
        OnDialog ok([](GtkWidget* d) { gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_OK); });
        EXPECT_EQ(ui->GetForListStoreOne(choice, {}, "목록 없음", ""), 0);
        EXPECT_TRUE(ok.ran);
    }
    EXPECT_EQ(choice, "before");
    {
        OnDialog ok([](GtkWidget* d) {
            EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(d)), "이동식 디스크");
            uitest::screenshot(d, "SSD_SelectOne");
            gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_OK);
        });
        EXPECT_EQ(ui->GetForListStoreOne(choice, {"/media/usb0", "/media/usb1", "/media/usb2"}, "이동식 디스크",
                                         "드라이브를 선택하십시오."),
                  1);
    }
    EXPECT_EQ(choice, "/media/usb0");
    choice = "kept";
    {
        OnDialog cancel([](GtkWidget* d) { gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_CANCEL); });
        EXPECT_EQ(ui->GetForListStoreOne(choice, {"a"}, "", ""), -1);
    }
    EXPECT_EQ(choice, "kept");
}

TEST_F(Dialogs, ListDialogClosedByTheWindowManagerLeavesTheChoice) {
    uitest::WindowManager wm;
    ASSERT_TRUE(wm.ready());
    std::string choice = "kept";
    OnDialog close([](GtkWidget* d) { uitest::WindowManager::close(d); });
    EXPECT_EQ(GetQuilletUI()->GetForListStoreOne(choice, {"a", "b", "c"}, "닫기 시험", ""), -1);
    EXPECT_TRUE(close.ran);
    EXPECT_EQ(choice, "kept");
}

TEST_F(Dialogs, InputDialogGivesTheTypedText) {
    CQuilletUI* ui = GetQuilletUI();
    auto typeAndAnswer = [](const char* typed, int response) {
        return [typed, response](GtkWidget* d) {
            std::vector<GtkWidget*> entries;
            collect(d, GTK_TYPE_ENTRY, entries);
            ASSERT_FALSE(entries.empty());
            EXPECT_TRUE(gtk_widget_get_sensitive(entries[0]));
            gtk_entry_set_text(GTK_ENTRY(entries[0]), typed);
            gtk_dialog_response(GTK_DIALOG(d), response);
        };
    };
    MU_SetScreenKeyboardProviderOption(2, "", "");
    std::string text = "earlier";
    {
        OnDialog d(typeAndAnswer("", GTK_RESPONSE_OK));
        EXPECT_EQ(ui->GetForInputDataOne(text, "입력", "인증서 암호를 입력하십시오.", "암호"), 0);
    }
    EXPECT_EQ(text, "earlier");
    {
        OnDialog d(typeAndAnswer("fixture-pw", GTK_RESPONSE_OK));
        EXPECT_EQ(ui->GetForInputDataOne(text, "입력", "", ""), 1);
    }
    EXPECT_EQ(text, "fixture-pw");
    {
        OnDialog d(typeAndAnswer("other", GTK_RESPONSE_CANCEL));
        EXPECT_EQ(ui->GetForInputDataOne(text, "", "", ""), -1);
    }
    EXPECT_EQ(text, "fixture-pw");
    // The keypad's record does not outlive the dialog.
    EXPECT_EQ(ui->m_quilletDatas.m_dialogWidget.entries[0], nullptr);
}

TEST_F(Dialogs, KeypadOptionSetsEntryAndButton) {
    GtkWidget* entry = gtk_entry_new();
    GtkWidget* button = gtk_button_new_with_label("keypad");
    g_object_ref_sink(entry);
    g_object_ref_sink(button);
    const struct {
        int option;
        bool editable, buttonShown;
    } cases[] = {{0, false, false}, {1, false, true}, {2, true, false}, {3, true, true}};
    for (const auto& c : cases) {
        EXPECT_EQ(SetWidgetSensitiveAndVisible(c.option, entry, button), 0);
        EXPECT_EQ(gtk_widget_get_sensitive(entry), c.editable) << c.option;
        EXPECT_EQ(gtk_widget_get_visible(button), c.buttonShown) << c.option;
        EXPECT_EQ(SetWidgetSensitiveAndVisible(c.option, entry, nullptr), 0);
    }
    // Without the keypad window a keypad-only option still lets the user type.
    EXPECT_EQ(ScreenKeyboardOptionInForce(1), on_VirtualKeypad_Open_Btn_clicked ? 1 : 3);
    EXPECT_EQ(ScreenKeyboardOptionInForce(2), 2);
    g_object_unref(entry);
    g_object_unref(button);
}

// ---- Password-policy module ---------------------------------------------------------

class PasswordModule : public Dialogs {
protected:
    void SetUp() override {
        Dialogs::SetUp();
        strPolicyList = &policy;
        ::setenv("ZUNCC_TEST_RECORD", (dir / "calls").c_str(), 1);
    }
    void TearDown() override {
        Dialogs::TearDown();
        strPolicyList = nullptr;
        ::unsetenv("ZUNCC_TEST_RECORD");
        ::unsetenv("ZUNCC_TEST_NULL_TEXTS");
    }
    std::vector<std::string> calls() {
        std::vector<std::string> out;
        const std::string text = zqtest::fileExists(dir / "calls") ? zqtest::readFile(dir / "calls") : "";
        size_t at = 0;
        for (size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
            out.push_back(text.substr(at, nl - at));
        std::filesystem::remove(dir / "calls");
        return out;
    }
    static bool moduleOpen() {
        void* h = dlopen(PasswordModulePath().c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (h) dlclose(h);
        return h != nullptr;
    }

    zqtest::TempDir dir{"zuncc"};
    StructPolicyList policy;
};

TEST_F(PasswordModule, ExportsItsThreeFunctionsOnly) {
    const std::string out = zqtest::run({"nm", "-D", "--defined-only", PasswordModulePath()}).output;
    std::vector<std::string> names;
    size_t at = 0;
    for (size_t nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1) {
        const std::string line = out.substr(at, nl - at);
        if (line.find(" T ") != std::string::npos) names.push_back(line.substr(line.rfind(' ') + 1));
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"zunccAllClean", "zunccClean", "zunccFactory"}));
}

TEST_F(PasswordModule, LoadHandsOverPropertiesInOrderAndReleaseUnloads) {
    const std::string core =
        std::string("SetProperty coreModulePath=") + DMLinuxUtil_GetInstallDir() + "/lib/libzunCore.so";
    const struct {
        const char* yessign;
        bool english;
        const char* mode;
        const char* target;
        std::vector<std::string> want;
    } cases[] = {
        {"1",
         true,
         "issue",
         "yessign",
         {"zunccFactory zunccManagePassword zuncc.local", core, "SetProperty YessignCertPasswordPolicy=true",
          "SetProperty language=eng", "SetProperty setProcessName=issue", "SetProperty CertPasswordPolicy=PW1",
          "GetMessage", "SetData 7", "GetGuideText"}},
        {"0",
         false,
         "chgpwd",
         "-----BEGIN CERTIFICATE-----",
         {"zunccFactory zunccManagePassword zuncc.local", core, "SetProperty language=kor",
          "SetProperty setProcessName=chgpwd", "SetProperty CertPasswordPolicy=PW1", "GetMessage", "SetData 27",
          "GetGuideText"}},
        {"",
         false,
         "issue",
         "",
         {"zunccFactory zunccManagePassword zuncc.local", core, "SetProperty language=kor",
          "SetProperty setProcessName=issue", "SetProperty CertPasswordPolicy=PW1", "GetMessage", "SetData 0",
          "GetGuideText"}},
    };
    for (const auto& c : cases) {
        policy.YessignCertPasswordPolicy = c.yessign;
        policy.CertPasswordPolicy = "PW1";
        g_swLanguage_Eng = c.english ? 1 : 0;
        ASSERT_EQ(LoadPasswordManager(c.mode, c.target), 0) << c.yessign;
        EXPECT_EQ(calls(), c.want) << c.yessign;
        EXPECT_TRUE(moduleOpen());
        EXPECT_FALSE(PasswordPolicyGuideRaw().empty());
        EXPECT_EQ(ReleasePasswordManager(), 0);
        EXPECT_EQ(calls(), (std::vector<std::string>{"zunccClean", "zunccAllClean"})) << c.yessign;
        EXPECT_FALSE(moduleOpen()) << "closed after the release";
        EXPECT_TRUE(PasswordPolicyGuideRaw().empty());
    }
}

TEST_F(PasswordModule, JudgesNewPasswordsAndKeepsTheReason) {
    ASSERT_EQ(LoadPasswordManager("issue", "yessign"), 0);
    const struct {
        const char* password;
        int result;
        const char* reason;  // a part of the Korean message
    } cases[] = {
        {"Abc123!xyz", 0, nullptr},          {"Ab1!", -2, "10자 이상"},   {"abcdefghij", -2, "모두"},
        {"abc1234567", -2, "모두"},          {"Abc1!!!xyz", -2, "세 번"}, {"Abc123 xyz!", -2, "만 쓸 수"},
        {"비밀번호123!abc", -2, "만 쓸 수"}, {"", -2, "10자 이상"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckPasswordByPolicy(c.password), c.result) << c.password;
        if (c.reason)
            EXPECT_NE(GetPasswordPolicyMessage().find(c.reason), std::string::npos) << GetPasswordPolicyMessage();
    }
    // A refusal followed by the release leaves no message.
    EXPECT_EQ(CheckPasswordByPolicy("short"), -2);
    ReleasePasswordManager();
    EXPECT_EQ(GetPasswordPolicyMessage(), "");
    EXPECT_EQ(CheckPasswordByPolicy("Abc123!xyz"), -1) << "no manager: refused";
    // English messages.
    g_swLanguage_Eng = 1;
    ASSERT_EQ(LoadPasswordManager("chgpwd", "pem"), 0);
    EXPECT_EQ(CheckPasswordByPolicy("Ab1!"), -2);
    EXPECT_EQ(GetPasswordPolicyMessage(), "The password must have at least 10 characters.");
}

TEST_F(PasswordModule, NullTextsReadAsEmpty) {
    ::setenv("ZUNCC_TEST_NULL_TEXTS", "1", 1);
    ASSERT_EQ(LoadPasswordManager("issue", "yessign"), 0);
    EXPECT_EQ(PasswordPolicyMessageRaw(), "");
    EXPECT_EQ(PasswordPolicyGuideRaw(), "");
    EXPECT_EQ(CheckPasswordByPolicy("short"), -2);
    EXPECT_EQ(GetPasswordPolicyMessage(), "");
}

TEST_F(PasswordModule, WithoutTheModuleNothingLoadsAndEveryPasswordIsRefused) {
    // This process's installation is a copy of the staged one.
    const std::string path = PasswordModulePath();
    std::filesystem::rename(path, path + ".away");
    EXPECT_EQ(LoadPasswordManager("issue", "yessign"), -1);
    EXPECT_EQ(CheckPasswordByPolicy("Abc123!xyz"), -1);
    std::filesystem::rename(path + ".away", path);
    EXPECT_TRUE(calls().empty());

    // The wrapper's reasons; a library without the functions stays open.
    zunccWrapperModule m;
    EXPECT_EQ(m.load(nullptr), 0);
    EXPECT_EQ(m.m_error, "정확한 파일명이 입력되지 않았습니다.");
    EXPECT_EQ(m.load("/no/such/libzuncc.so"), 0);
    EXPECT_EQ(m.m_error, "/no/such/libzuncc.so로딩에 실패했습니다.");
    EXPECT_EQ(m.load("libm.so.6"), 0);
    EXPECT_EQ(m.m_error, "libm.so.6의 함수 연결에 실패했습니다.");
    EXPECT_NE(m.m_handle, nullptr);
    m.clean();  // nothing: zunccAllClean is unknown
    EXPECT_NE(m.m_handle, nullptr);
}

TEST_F(PasswordModule, GuideShowsTheMessageAndTheRules) {
    auto guideText = [] {
        std::string label;
        OnDialog read([&label](GtkWidget* d) {
            std::vector<GtkWidget*> labels;
            collect(d, GTK_TYPE_LABEL, labels);
            for (GtkWidget* l : labels) {
                const std::string t = gtk_label_get_text(GTK_LABEL(l));
                if (t.rfind("다음과 같은", 0) == 0) label = t;
            }
            EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(d)), "암호 설정 가이드");
            uitest::screenshot(d, "PWGD_PasswordGuide");
            gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_CLOSE);
        });
        on_NPW_btn_PasswordSettingGuide_clicked(nullptr, nullptr);
        EXPECT_TRUE(read.ran);
        return label;
    };
    const std::string intro = "다음과 같은 규칙으로 암호를 생성해야 합니다.";
    EXPECT_EQ(guideText(), intro + "\n\n");
    ASSERT_EQ(LoadPasswordManager("issue", "yessign"), 0);
    const std::string guide = guideText();
    EXPECT_EQ(guide, intro + "\n\n" + CQuilletUtils::ConvertEUCKRtoUTF8(PasswordPolicyGuideRaw()));
    EXPECT_NE(guide.find("10자 이상 255자 이하"), std::string::npos);
}

}  // namespace
