// The certificate selection windows under Xvfb on a home that
// make_npki_home.sh builds with openssl: the rows the store lists, texts in
// both editions, renewal, the sign windows' titles and data, the alert
// banner, the keypad button; whole jobs against the stub relay ended by
// Cancel and by openbox's close; 50 windows opened and closed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include <zephaltpavix/zephaltpavix.h>

#include "RelayStub.h"
#include "TestSupport.h"
#include "UiTestSupport.h"
#include "WindowManager.h"
#include "common/DMLinuxUtil.h"
#include "job/Job.h"
#include "job/Launchers.h"
#include "ui/MainUI.h"

namespace {

GtkWidget* byId(GtkWidget* w, const char* id) {
    if (GTK_IS_BUILDABLE(w)) {
        const char* name = gtk_buildable_get_name(GTK_BUILDABLE(w));
        if (name && std::strcmp(name, id) == 0) return w;
    }
    if (std::strcmp(gtk_widget_get_name(w), id) == 0) return w;
    if (GTK_IS_CONTAINER(w)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(w));
        GtkWidget* found = nullptr;
        for (GList* l = children; l && !found; l = l->next) found = byId(GTK_WIDGET(l->data), id);
        g_list_free(children);
        return found;
    }
    return nullptr;
}

// The job's window once mapped (no dialog).
GtkWidget* shownWindow() {
    GtkWidget* found = nullptr;
    GList* all = gtk_window_list_toplevels();
    for (GList* l = all; l; l = l->next)
        if (!GTK_IS_DIALOG(l->data) && gtk_widget_get_mapped(GTK_WIDGET(l->data)) &&
            gtk_window_get_window_type(GTK_WINDOW(l->data)) == GTK_WINDOW_TOPLEVEL)
            found = GTK_WIDGET(l->data);
    g_list_free(all);
    return found;
}

// Runs act on the job's window once it shows; act ends the window.
class OnWindow {
public:
    explicit OnWindow(std::function<void(GtkWidget*)> act) : m_act(std::move(act)) {
        m_source = g_timeout_add(40, tick, this);
    }
    ~OnWindow() {
        if (m_source) g_source_remove(m_source);
    }
    bool ran = false;

private:
    static gboolean tick(gpointer p) {
        auto* self = static_cast<OnWindow*>(p);
        GtkWidget* w = shownWindow();
        if (!w) return G_SOURCE_CONTINUE;
        self->ran = true;
        self->m_source = 0;
        uitest::pump();
        self->m_act(w);
        return G_SOURCE_REMOVE;
    }
    std::function<void(GtkWidget*)> m_act;
    guint m_source = 0;
};

// The whole screen as the user sees it (ImageMagick's import).
void screenshotRoot(const std::string& name) {
    const std::string dir = zqtest::binaryDir() + "/tests/agent/ui-screenshots";
    std::filesystem::create_directories(dir);
    EXPECT_EQ(zqtest::run({"import", "-window", "root", dir + "/" + name + ".png"}).status, 0) << name;
}

std::vector<std::vector<std::string>> rowsOf(GtkTreeModel* model, int columns) {
    std::vector<std::vector<std::string>> rows;
    GtkTreeIter it;
    for (gboolean ok = model && gtk_tree_model_get_iter_first(model, &it); ok;
         ok = gtk_tree_model_iter_next(model, &it)) {
        std::vector<std::string> row;
        for (int c = 0; c < columns; ++c) {
            gchar* text = nullptr;
            gtk_tree_model_get(model, &it, c, &text, -1);
            row.push_back(text ? text : "");
            g_free(text);
        }
        rows.push_back(row);
    }
    return rows;
}

int selectedRow(GtkTreeView* view) {
    GtkTreeModel* model = nullptr;
    GtkTreeIter it;
    if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(view), &model, &it)) return -1;
    GtkTreePath* path = gtk_tree_model_get_path(model, &it);
    const int row = gtk_tree_path_get_indices(path)[0];
    gtk_tree_path_free(path);
    return row;
}

zqtest::TempDir* g_fixture = nullptr;

class SelectWindows : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        g_fixture = new zqtest::TempDir("select-home");
        ASSERT_EQ(zqtest::run({"sh", zqtest::sourceDir() + "/tests/fixtures/make_npki_home.sh", g_fixture->path(), "6"})
                      .status,
                  0);
    }
    static void TearDownTestSuite() {
        delete g_fixture;
        g_fixture = nullptr;
    }
    void SetUp() override {
        DMLinuxUtil_SetUserHOMEDir(g_fixture->path().c_str());
        ::setenv("QUILLETEX_HOME", g_fixture->path().c_str(), 1);
        Quillet_SetUi(nullptr);
        ClearQuilletUI();
        launchWindowFunc_GVar_Initialize();
        MainUI_GVar_Initialize();
        filter_info = CertFilter{"issuer=", false};
        strPolicyList = &policy;
        ZUNLIB_Init();
    }
    void TearDown() override {
        VPL_Cleanup();
        strPolicyList = nullptr;
        ClearQuilletUI();
        g_swLanguage_Eng = 0;
        launchWindowFunc_GVar_Initialize();
    }
    static CertFilter yessignOnly() { return CertFilter{"issuer=yessignCA+Class+2|", false}; }

    StructPolicyList policy;
};

TEST_F(SelectWindows, LoginListsTheStoresRowsWithTextsInBothEditions) {
    const struct {
        const char* language;
        CertFilter filter;
        size_t rows;
        const char *title, *subjectColumn, *ok;
    } cases[] = {
        {"KOR", CertFilter{"issuer=", false}, 6, "인증서 선택", "발급대상", "확인"},
        {"ENG", yessignOnly(), 2, "Select Certificate", "Subject", "OK"},
    };
    for (const auto& c : cases) {
        ClearQuilletUI();
        MU_LanguageSet(c.language);
        MU_SetScreenKeyboardProviderOption(2, "", "");
        filter_info = c.filter;
        OnWindow check([&](GtkWidget* window) {
            CQuilletUI* ui = GetQuilletUI();
            EXPECT_EQ(ui->m_windowMode, "LOGIN");
            EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window)), c.title);
            GtkTreeView* view = GTK_TREE_VIEW(ui->m_muiWidget.MUI_treeview);
            std::vector<std::string> columns;
            for (guint i = 0; i < gtk_tree_view_get_n_columns(view); ++i)
                columns.push_back(gtk_tree_view_column_get_title(gtk_tree_view_get_column(view, static_cast<int>(i))));
            EXPECT_NE(std::find(columns.begin(), columns.end(), c.subjectColumn), columns.end());
            EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(byId(window, "ECW_btn_ok"))), c.ok);
            const auto rows = rowsOf(gtk_tree_view_get_model(view), 5);
            ASSERT_EQ(rows.size(), c.rows);
            ASSERT_EQ(ui->m_quilletDatas.m_certLists.size(), c.rows);
            for (size_t i = 0; i < rows.size(); ++i) {
                EXPECT_EQ(rows[i][0], ui->m_quilletDatas.m_certLists[i].id);
                EXPECT_EQ(rows[i][1], CQuilletUtils::ConvertEUCKRtoUTF8(ui->m_quilletDatas.m_certLists[i].subject));
                EXPECT_NE(rows[i][1].find("홍길동"), std::string::npos);
            }
            EXPECT_EQ(selectedRow(view), 0);
            EXPECT_TRUE(gtk_widget_get_sensitive(ui->m_muiWidget.MUI_entry_password));
            EXPECT_FALSE(gtk_widget_get_visible(byId(window, "ECW_VKeybutton")));
            screenshotRoot(std::string("Login_") + c.language);
            Start_CloseMainWidgetThread(0);
        });
        EXPECT_EQ(MU_LoginWindow(), 0);
        EXPECT_TRUE(check.ran);
        EXPECT_EQ(IsQuilletDeleted(), 1);
    }
}

TEST_F(SelectWindows, RenewalListsWithItsFilterAndTheHandlersSeeItsParameters) {
    g_swForCertUpdate = 1;
    UpdateParameter.title = "갱신";
    UpdateParameter.s_filter_info = yessignOnly();
    OnWindow check([](GtkWidget*) {
        EXPECT_EQ(GetQuilletUI()->m_quilletDatas.m_certLists.size(), 2u);
        EXPECT_EQ(SignParameter.s_filter_info.text, UpdateParameter.s_filter_info.text);
        Start_CloseMainWidgetThread(0);
    });
    MU_LoginWindow();
    EXPECT_TRUE(check.ran);
    EXPECT_EQ(SignParameter.title, "갱신");
}

TEST_F(SelectWindows, SignWindowsShowTheirTitleAndTheDataTheySign) {
    // UTF-8 that also reads as Korean code pairs: shown as it is.
    const std::string title = "보험계약";
    ASSERT_NE(CQuilletUtils::ConvertEUCKRtoUTF8(title), title);
    const std::string text = "계약 내용에 동의합니다 (2건)";
    SignParameter.title = title;
    SignParameter.s_filter_info = yessignOnly();
    // A keypad-only policy: the button shows in every window, and without
    // the keypad window the entry stays editable.
    const struct {
        const char* name;
        int (*open)(const char*);
        const char* data;
        const char* keypadButton;
        const char* banner;
    } cases[] = {
        {"Sign", MU_SignWindow, text.c_str(), "ECW_VKeybutton", "ECW_AlertBannerImage"},
        {"TextSign", MU_TextSignWindow, text.c_str(), "SCTW_VKeybutton", "SCTW_AlertBannerImage"},
        {"ListSign", MU_ListSignWindow, "a=1&b&c=2&d=x=y&sig=QUJD==", "SCLW_VKeybutton", "SCLW_AlertBannerImage"},
    };
    for (const auto& c : cases) {
        for (int banner = 0; banner < 2; ++banner) {
            ClearQuilletUI();
            MU_SetScreenKeyboardProviderOption(1, "", "");
            g_swShowSignAlertBanner = banner;
            g_DownloadAlertBannerPath = QuilletResourcePath("img_alert_banner_quillet_ex_win.gif");
            OnWindow check([&](GtkWidget* window) {
                CQuilletUI* ui = GetQuilletUI();
                EXPECT_EQ(ui->m_windowMode, "SIGN");
                EXPECT_EQ(gtk_window_get_title(GTK_WINDOW(window)), title) << c.name;
                EXPECT_EQ(ui->m_quilletDatas.m_certLists.size(), 2u) << c.name;
                EXPECT_TRUE(gtk_widget_get_visible(byId(window, c.keypadButton))) << c.name;
                EXPECT_TRUE(gtk_widget_get_sensitive(ui->m_muiWidget.MUI_entry_password)) << c.name;
                EXPECT_EQ(gtk_widget_get_visible(byId(window, c.banner)), banner == 1) << c.name;
                if (std::string(c.name) == "Sign") {
                    GtkWidget* shown = byId(window, "ECW_signData");
                    ASSERT_NE(shown, nullptr);
                    EXPECT_EQ(gtk_label_get_text(GTK_LABEL(shown)), text);
                } else if (std::string(c.name) == "TextSign") {
                    GtkWidget* view = byId(window, "SCTW_textview_signData");
                    GtkTextIter a, b;
                    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
                    gtk_text_buffer_get_bounds(buffer, &a, &b);
                    gchar* t = gtk_text_buffer_get_text(buffer, &a, &b, FALSE);
                    EXPECT_EQ(std::string(t), text);
                    g_free(t);
                    EXPECT_FALSE(gtk_text_view_get_editable(GTK_TEXT_VIEW(view)));
                } else {
                    const auto rows =
                        rowsOf(gtk_tree_view_get_model(GTK_TREE_VIEW(byId(window, "SCLW_treeview_signData"))), 2);
                    EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{
                                        {"a", "1"}, {"b", ""}, {"c", "2"}, {"d", "x=y"}, {"sig", "QUJD=="}}));
                }
                if (banner) screenshotRoot(c.name);
                Start_CloseMainWidgetThread(0);
            });
            EXPECT_EQ(c.open(c.data), 0);
            EXPECT_TRUE(check.ran);
        }
    }
}

TEST_F(SelectWindows, FiftyOpensAndClosesLeaveNothingBehind) {
    auto once = [] {
        OnWindow close([](GtkWidget*) { Start_CloseMainWidgetThread(0); });
        MU_LoginWindow();
        uitest::pump();
    };
    for (int i = 0; i < 5; ++i) once();
    auto toplevels = [] {
        GList* all = gtk_window_list_toplevels();
        const guint n = g_list_length(all);
        g_list_free(all);
        return n;
    };
    const guint windowsBefore = toplevels();
    const long long memoryBefore = uitest::memoryInUse();
    for (int i = 0; i < 50; ++i) once();
    const long long grown = uitest::memoryInUse() - memoryBefore;
    std::printf("50 log-in windows: %u toplevels before, %u after; memory %+lld bytes\n", windowsBefore, toplevels(),
                grown);
    EXPECT_EQ(toplevels(), windowsBefore);
    EXPECT_LT(grown, 4 * 1024 * 1024);
}

// ---- Whole jobs ended by the user ---------------------------------------------------

class CancelJobs : public SelectWindows {
protected:
    void SetUp() override {
        SelectWindows::SetUp();
        strPolicyList = nullptr;
        VPL_Cleanup();
        stub.answer("setResult", 200, "");
    }
    void run(const std::string& funcAndPolicy) {
        stub.answer("getFunc", 200, funcAndPolicy);
        std::string param = "SESSION=JSESSIONID%3DS&reqID=9&policyName=login&url=" + stub.url() +
                            "&wv=1&macVersion=1&linuxVersion=1.2.8";
        char name[] = "ZEPHALTQuilletEX";
        QuilletJobArgs args{name, param.data()};
        EXPECT_EQ(LinuxQuillet_StartProcess(&args), 0);
    }
    int cancels() {
        int n = 0;
        for (const auto& r : stub.requests())
            if (r.body.find("Action=setResult") == 0) {
                EXPECT_EQ(r.body, "Action=setResult&reqID=9&returnValue=ret%3d3%26retdata%3d");
                ++n;
            }
        return n;
    }

    agenttest::TrustRelayCa trust;
    agenttest::RelayStub stub;
};

TEST_F(CancelJobs, CancelAndTheCloseBoxPostOneCancelAndEndTheJob) {
    uitest::WindowManager wm;
    ASSERT_TRUE(wm.ready());
    const struct {
        const char* what;
        const char* reply;
        bool closeBox;
        const char* cancelId;
    } cases[] = {
        {"login, Cancel", "funcName=login&PolicyList=CertUILanguage%3DKOR%26&paramCount=0", false, "ECW_btn_cancel"},
        {"login, close box", "funcName=login&PolicyList=CertUILanguage%3DENG%26&paramCount=0", true, nullptr},
        {"list sign, Cancel", "funcName=sign&PolicyList=SelectCertUIMode%3D1%26&paramCount=1&param1=a%3D1", false,
         "SCLW_btn_cancel"},
        {"text sign, close box", "funcName=sign&PolicyList=SelectCertUIMode%3D10%26&paramCount=1&param1=a%3D1", true,
         nullptr},
    };
    for (const auto& c : cases) {
        const int before = cancels();
        int flagInWindow = -1;
        OnWindow end([&](GtkWidget* window) {
            flagInWindow = g_appRunningFlag.load();
            if (c.closeBox)
                uitest::WindowManager::close(window);
            else
                gtk_button_clicked(GTK_BUTTON(byId(window, c.cancelId)));
        });
        run(c.reply);
        EXPECT_TRUE(end.ran) << c.what;
        EXPECT_EQ(flagInWindow, CONST_APP_RUN_VALUE) << c.what;
        EXPECT_EQ(cancels(), before + 1) << c.what;
        EXPECT_EQ(LinuxQuillet_GetResult(), 1) << c.what;
        EXPECT_EQ(IsQuilletDeleted(), 1) << c.what;
    }
}

}  // namespace
