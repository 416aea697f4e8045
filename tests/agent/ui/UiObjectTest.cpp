// The UI object under Xvfb: its rows and their English names, the chosen
// certificate and its password, the list store with its icons, row
// selection, scaled pictures, the boxes as the user sees them, the closing of
// a job's window, and windows opened and closed many times.
#include <gtest/gtest.h>

#include <cstring>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "job/Job.h"
#include "ui/JobUiGtk.h"
#include "ui/MainUI.h"

extern "C" GSourceFuncs g_idle_funcs;

namespace {

using uitest::DialogAnswerer;

// Texts as the store gives them (CP949).
std::string euckr(const char* utf8) {
    gsize n = 0;
    gchar* t = g_convert(utf8, -1, "CP949", "UTF-8", nullptr, &n, nullptr);
    std::string out(t ? t : "", n);
    g_free(t);
    return out;
}

std::vector<std::string> ids(const std::vector<CertLists>& list) {
    std::vector<std::string> out;
    for (const CertLists& r : list) out.push_back(r.id);
    return out;
}

class UiObject : public ::testing::Test {
protected:
    void SetUp() override {
        ClearQuilletUI();
        uitest::clearLog();
    }
    void TearDown() override {
        RunPendingClose();
        ClearQuilletUI();
        uitest::pump();
    }

    static void addRow(const std::string& subject, const std::string& flag = "0", const std::string& path = "/p") {
        char* a[8];
        std::string texts[8] = {subject, "issuer", "type", "2030-01-02", path, path + ".key", flag, "1"};
        for (int i = 0; i < 8; ++i) a[i] = texts[i].data();
        MU_addCertLists(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], 0);
    }
};

// ---- Rows -----------------------------------------------------------------------------

TEST_F(UiObject, RowIdsRestartAfterClearingAndListsNumberApart) {
    CQuilletUIDatas& d = GetQuilletUI()->m_quilletDatas;
    for (int i = 0; i < 3; ++i) addRow("s");
    EXPECT_EQ(ids(d.m_certLists), (std::vector<std::string>{"0", "1", "2"}));
    EXPECT_EQ(d.AddCertLists(CertLists{}, 1), 0);
    EXPECT_EQ(d.AddCertLists(CertLists{}, 1), 1);
    EXPECT_EQ(d.AddCertLists(CertLists{}, 7), 3) << "any list other than 1 is list 0";
    MU_clearCertLists();
    EXPECT_TRUE(d.m_certLists.empty());
    EXPECT_EQ(d.m_rootCACertLists.size(), 2u) << "list 1 is not cleared";
    addRow("s");
    EXPECT_EQ(ids(d.m_certLists), std::vector<std::string>{"0"});
    d.ClearCertLists(1);
    EXPECT_TRUE(d.m_rootCACertLists.empty());
    d.ClearCertLists(2);
    EXPECT_EQ(d.m_certLists.size(), 1u);
}

TEST_F(UiObject, EnglishIssuerAndPolicyNamesMatchWholeTexts) {
    CQuilletUIDatas& d = GetQuilletUI()->m_quilletDatas;
    struct Case {
        const char* issuer;
        const char* policy;
        const char* wantIssuer;
        const char* wantPolicy;
    } cases[] = {
        {"금결원TEST", "범용(개인)", "Yessign TEST", "Public(Individual)"},
        {"금융결제원 TEST", "은행/신용카드/보험(법인)", "Yessign TEST", "Banking/CreditCard(Corporation)"},
        {"금융결제원", "특수목적용(기업)", "Yessign", "Special purpose(Corporation)"},
        {"베리단 TEST", "개인", "Veridan TEST", "Individual"},
        {"대검찰청", "전자관인", "SUPREME PROSECUTORS'OFFICE", "CA"},
    };
    MU_LanguageSet("ENG");
    for (const Case& c : cases) {
        const std::string issuer = euckr(c.issuer), policy = euckr(c.policy);
        d.AddCertLists("s", issuer.c_str(), policy.c_str(), "", "", "", "0", "1", 0);
        EXPECT_EQ(d.m_certLists.back().issuer, c.wantIssuer) << c.issuer;
        EXPECT_EQ(d.m_certLists.back().oidtype, c.wantPolicy) << c.policy;
    }
    // Only whole texts: a trailing blank, a prefix, another encoding.
    for (const std::string& issuer : {euckr("금융결제원 "), euckr("금융결제"), std::string("금융결제원")}) {
        d.AddCertLists("s", issuer.c_str(), "", "", "", "", "0", "1", 0);
        EXPECT_EQ(d.m_certLists.back().issuer, issuer);
    }
    MU_LanguageSet("KOR");
    for (const Case& c : cases) {
        const std::string issuer = euckr(c.issuer), policy = euckr(c.policy);
        d.AddCertLists("s", issuer.c_str(), policy.c_str(), "", "", "", "0", "1", 0);
        EXPECT_EQ(d.m_certLists.back().issuer, issuer);
        EXPECT_EQ(d.m_certLists.back().oidtype, policy);
    }
}

TEST_F(UiObject, ScreenKeyboardSettingFitsItsFields) {
    const std::string provider(150, 'p'), option(2000, 'o');
    MU_SetScreenKeyboardProviderOption(3, provider.c_str(), option.c_str());
    CQuilletUIDatas& d = GetQuilletUI()->m_quilletDatas;
    EXPECT_EQ(d.m_screenKeyboardOption, 3);
    EXPECT_EQ(std::string(d.m_screenKeyboardProvider), std::string(99, 'p'));
    EXPECT_EQ(std::string(d.m_screenKeyboardProviderOption), std::string(1023, 'o'));
    MU_SetScreenKeyboardProviderOption(0, "nshc", nullptr);
    EXPECT_STREQ(d.m_screenKeyboardProvider, "nshc");
    EXPECT_STREQ(d.m_screenKeyboardProviderOption, "");
}

// ---- The chosen certificate ---------------------------------------------------------

class ChosenRow : public UiObject {
protected:
    void SetUp() override {
        UiObject::SetUp();
        ui = GetQuilletUI();
        store = gtk_list_store_new(6, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING,
                                   GDK_TYPE_PIXBUF);
        view = GTK_TREE_VIEW(g_object_ref_sink(gtk_tree_view_new_with_model(GTK_TREE_MODEL(store))));
    }
    void TearDown() override {
        g_object_unref(view);
        g_object_unref(store);
        UiObject::TearDown();
    }
    CQuilletUI* ui = nullptr;
    GtkListStore* store = nullptr;
    GtkTreeView* view = nullptr;
};

TEST_F(ChosenRow, TheSelectedRowBecomesTheRecord) {
    addRow("first", "2");
    addRow("second", "1", "/store/second");
    ui->UpdateListStoreForCertList(store);
    CQuilletUIDatas& d = ui->m_quilletDatas;
    EXPECT_EQ(d.SetSelectedCertValues(view), -1) << "nothing selected";
    d.m_selectedCertValues.selectedStoreType = 1;
    std::strcpy(d.m_selectedCertValues.password, "secret");
    ASSERT_EQ(ui->SelectTreeViewRow(view, 1), 0);
    ASSERT_EQ(d.SetSelectedCertValues(view), 0);
    SelectedCertCopy copy;
    MU_Get_selectedCertValue(&copy.values);
    EXPECT_STREQ(copy.values.subject, "second");
    EXPECT_STREQ(copy.values.certpath, "/store/second");
    EXPECT_STREQ(copy.values.keypath, "/store/second.key");
    EXPECT_STREQ(copy.values.expiredata, "2030-01-02");
    EXPECT_EQ(copy.values.expireflag, 1);
    EXPECT_EQ(copy.values.certtype, 1);
    EXPECT_EQ(copy.values.selectedStoreType, 0) << "the record is cleared first";
    EXPECT_STREQ(copy.values.password, "");
    // A row no longer in the shown list, and a path that would not fit.
    MU_clearCertLists();
    addRow("other");
    EXPECT_EQ(d.SetSelectedCertValues(view), -1);
    EXPECT_STREQ(d.m_selectedCertValues.subject, "second") << "unchanged";
    MU_clearCertLists();
    addRow(std::string(600, 's'), "0", "/" + std::string(1023, 'p'));
    addRow(std::string(600, 's'), "0", "/" + std::string(1018, 'p'));  // its key path: 1023 bytes
    ui->UpdateListStoreForCertList(store);
    ui->SelectTreeViewRow(view, 0);
    EXPECT_EQ(d.SetSelectedCertValues(view), -1);
    ui->SelectTreeViewRow(view, 1);
    ASSERT_EQ(d.SetSelectedCertValues(view), 0);
    EXPECT_EQ(std::strlen(d.m_selectedCertValues.subject), 511u) << "a shown text is cut to its field";
    EXPECT_EQ(std::strlen(d.m_selectedCertValues.keypath), 1023u);
}

TEST_F(ChosenRow, APasswordOver255BytesIsRefusedWithABox) {
    DialogAnswerer answer;
    const std::string max(255, 'p');
    EXPECT_EQ(ui->SetSelectedCertPassword(max.c_str()), 0);
    EXPECT_EQ(std::string(ui->m_quilletDatas.m_selectedCertValues.password), max);
    EXPECT_TRUE(answer.seen.empty());
    EXPECT_EQ(ui->SetSelectedCertPassword((max + "q").c_str()), -1);
    ASSERT_EQ(answer.seen.size(), 1u);
    EXPECT_EQ(answer.seen[0].title, "확인");
    EXPECT_EQ(answer.seen[0].type, GTK_MESSAGE_WARNING);
    EXPECT_NE(answer.seen[0].text.find("255"), std::string::npos);
    EXPECT_STREQ(ui->m_quilletDatas.m_selectedCertValues.password, "") << "never cut, never the old one";
}

TEST_F(ChosenRow, TheStoreShowsRowsInUtf8WithTheirIcons) {
    const std::string subject = euckr("홍길동()0012");
    addRow(subject, "0");
    addRow("b", "1");
    addRow("c", "2");
    addRow("d", "7");
    ui->UpdateListStoreForCertList(store);
    ASSERT_EQ(gtk_tree_model_iter_n_children(GTK_TREE_MODEL(store), nullptr), 4);
    GtkTreeIter iter;
    std::vector<GdkPixbuf*> icons;
    std::string first;
    for (bool ok = gtk_tree_model_get_iter_first(GTK_TREE_MODEL(store), &iter); ok;
         ok = gtk_tree_model_iter_next(GTK_TREE_MODEL(store), &iter)) {
        gchar *id = nullptr, *text = nullptr, *date = nullptr;
        GdkPixbuf* icon = nullptr;
        gtk_tree_model_get(GTK_TREE_MODEL(store), &iter, 0, &id, 1, &text, 4, &date, 5, &icon, -1);
        if (first.empty()) first = text;
        EXPECT_STREQ(date, "2030-01-02");
        icons.push_back(icon);
        g_free(id);
        g_free(text);
        g_free(date);
    }
    EXPECT_EQ(first, "홍길동()0012");
    ASSERT_EQ(icons.size(), 4u);
    // Green, red and amber inside the icon's disc; none for a flag the store
    // never writes.
    auto centre = [](GdkPixbuf* p) {
        const guchar* px =
            gdk_pixbuf_get_pixels(p) + 4 * gdk_pixbuf_get_rowstride(p) + 3 * gdk_pixbuf_get_n_channels(p);
        return std::vector<int>{px[0], px[1], px[2]};
    };
    for (int i = 0; i < 3; ++i) ASSERT_NE(icons[i], nullptr) << i;
    EXPECT_GT(centre(icons[0])[1], centre(icons[0])[0]);
    EXPECT_GT(centre(icons[1])[0], centre(icons[1])[1]);
    EXPECT_GT(centre(icons[2])[0], centre(icons[2])[2]);
    EXPECT_EQ(icons[3], nullptr);
    for (GdkPixbuf* p : icons)
        if (p) g_object_unref(p);
}

TEST_F(ChosenRow, SelectingRows) {
    EXPECT_EQ(ui->SelectTreeViewRow(view, 0), 0) << "an empty list";
    for (const char* s : {"a", "b", "c"}) addRow(s);
    ui->UpdateListStoreForCertList(store);
    EXPECT_EQ(ui->SelectTreeViewRow(view, 3), -1);
    EXPECT_EQ(gtk_tree_selection_count_selected_rows(gtk_tree_view_get_selection(view)), 0);
    EXPECT_EQ(ui->SelectTreeViewRow(view, 2), 0);
    EXPECT_EQ(ui->SelectTreeViewRow(view, 3), -1);
    EXPECT_EQ(gtk_tree_selection_count_selected_rows(gtk_tree_view_get_selection(view)), 1) << "unchanged";
    EXPECT_EQ(ui->SelectTreeViewRow(view, -1), 0);
    EXPECT_EQ(gtk_tree_selection_count_selected_rows(gtk_tree_view_get_selection(view)), 0);
}

// ---- Utilities --------------------------------------------------------------------------

TEST(UiUtilities, TokensLettersAndTexts) {
    using V = std::vector<std::string>;
    EXPECT_EQ(CQuilletUtils::StringToken("a&&b", '&'), (V{"a", "", "b"}));
    EXPECT_EQ(CQuilletUtils::StringToken("a&", '&'), V{"a"});
    EXPECT_EQ(CQuilletUtils::StringToken("&a", '&'), (V{"", "a"}));
    EXPECT_EQ(CQuilletUtils::StringToken("", '&'), V{});
    EXPECT_EQ(CQuilletUtils::IsAllConsistOfAlphabets("1234567a"), 1);
    EXPECT_EQ(CQuilletUtils::IsAllConsistOfAlphabets("12345678"), 0);
    EXPECT_EQ(CQuilletUtils::IsAllConsistOfAlphabets(""), 0);
    EXPECT_EQ(CQuilletUtils::ConvertEUCKRtoUTF8(euckr("한국정보인증")), "한국정보인증");
    EXPECT_EQ(CQuilletUtils::ConvertEUCKRtoUTF8("\xff\xff"), "\xff\xff") << "unchanged when it does not convert";
    GtkWidget* a = gtk_radio_button_new(nullptr);
    GtkWidget* b = gtk_radio_button_new_from_widget(GTK_RADIO_BUTTON(a));
    g_object_ref_sink(a);
    g_object_ref_sink(b);
    EXPECT_EQ(CQuilletUtils::GetIndexSeletedRadioButtons({}), -1);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(b), TRUE);
    EXPECT_EQ(CQuilletUtils::GetIndexSeletedRadioButtons({GTK_RADIO_BUTTON(a), GTK_RADIO_BUTTON(b)}), 1);
    g_object_unref(b);
    g_object_unref(a);
}

TEST(UiUtilities, PicturesScaledIntoTheirBox) {
    zqtest::TempDir dir("pictures");
    auto picture = [&](int w, int h) {
        GdkPixbuf* p = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, w, h);
        gdk_pixbuf_fill(p, 0x336699ff);
        const std::string path = dir / (std::to_string(w) + "x" + std::to_string(h) + ".png");
        EXPECT_TRUE(gdk_pixbuf_save(p, path.c_str(), "png", nullptr, nullptr));
        g_object_unref(p);
        return path;
    };
    struct Case {
        int w, h, wantW, wantH;
    } cases[] = {{960, 100, 480, 50}, {100, 100, 69, 69}, {480, 69, 480, 69}, {7, 3, 161, 69}};
    GtkWidget* image = g_object_ref_sink(gtk_image_new());
    for (const Case& c : cases) {
        image_set_from_file_change_size(GTK_IMAGE(image), picture(c.w, c.h).c_str(), 480, 69);
        GdkPixbuf* shown = gtk_image_get_pixbuf(GTK_IMAGE(image));
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(gdk_pixbuf_get_width(shown), c.wantW) << c.w << "x" << c.h;
        EXPECT_EQ(gdk_pixbuf_get_height(shown), c.wantH) << c.w << "x" << c.h;
    }
    // A picture that does not load: the downloaded logo, unscaled.
    g_downloadedTitleLogoPath = picture(10, 20);
    image_set_from_file_change_size(GTK_IMAGE(image), (dir / "missing.png").c_str(), 480, 69);
    GdkPixbuf* shown = gtk_image_get_pixbuf(GTK_IMAGE(image));
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(shown), 10);
    g_downloadedTitleLogoPath.clear();
    g_object_unref(image);
    EXPECT_EQ(create_pixbuf((dir / "missing.png").c_str()), nullptr);
    GdkPixbuf* icon = create_pixbuf(QuilletResourcePath("Icon_Stye_Guidelines(ios_57).png").c_str());
    ASSERT_NE(icon, nullptr);
    g_object_unref(icon);
}

// ---- Boxes ------------------------------------------------------------------------------

TEST_F(UiObject, BoxesTitlesAndTypes) {
    DialogAnswerer answer;
    MU_MessageBox("%s%n text as it stands", 0);
    MU_MessageBox("w", 1);
    MU_MessageBox("q", 2);
    MU_MessageBox("e", 3);
    EXPECT_EQ(MU_MessageBoxOKCancel("oc", 7), 1);
    EXPECT_EQ(MU_MessageBoxOKCancel("oc", 1), 1);
    ASSERT_EQ(answer.seen.size(), 6u);
    const std::vector<std::pair<std::string, int>> want = {{"알림", 0}, {"경고", 1}, {"", 2},
                                                           {"알림", 3}, {"알림", 4}, {"경고", 1}};
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(answer.seen[i].title, want[i].first) << i;
        EXPECT_EQ(answer.seen[i].type, want[i].second) << i;
    }
    EXPECT_EQ(answer.seen[0].text, "%s%n text as it stands");
    answer.response = GTK_RESPONSE_CANCEL;
    EXPECT_EQ(MU_MessageBoxOKCancel("oc", 0), 0);
    answer.response = GTK_RESPONSE_DELETE_EVENT;
    EXPECT_EQ(MU_MessageBoxOKCancel("oc", 0), 0);
    MU_LanguageSet("ENG");
    MU_MessageBox("i", 0);
    EXPECT_EQ(answer.seen.back().title, "Info");
    // The box is gone from the screen when the call returns.
    GList* all = gtk_window_list_toplevels();
    for (GList* l = all; l; l = l->next)
        EXPECT_FALSE(GTK_IS_MESSAGE_DIALOG(l->data) && gtk_widget_get_mapped(GTK_WIDGET(l->data)));
    g_list_free(all);
}

// ---- Closing ----------------------------------------------------------------------------

class Closing : public UiObject {
protected:
    // The entry window, as a window function opens it, with rows.
    GtkWidget* openWindow() {
        CQuilletUI* ui = GetQuilletUI();
        GtkBuilder* builder = LoadWindowBuilder("ECW_enterCert");
        EXPECT_NE(builder, nullptr);
        if (!builder) return nullptr;
        ui->m_muiWidget.MUI_window = GTK_WIDGET(gtk_builder_get_object(builder, "ECW_enterCert"));
        ui->m_muiWidget.MUI_liststore = GTK_LIST_STORE(gtk_builder_get_object(builder, "ECW_liststore_certs"));
        ui->m_muiWidget.MUI_treeview = GTK_WIDGET(gtk_builder_get_object(builder, "ECW_tvCerts"));
        ui->m_resourceHelper.SetBuilder(builder);
        ui->m_resourceHelper.SetCtrlText("ECW_enterCert", CQRH_WINDOW_TITLE, "SelectCertificate");
        for (int i = 0; i < 5; ++i) addRow("row " + std::to_string(i), std::to_string(i % 3));
        ui->UpdateListStoreForCertList(ui->m_muiWidget.MUI_liststore);
        ui->SelectTreeViewRow(GTK_TREE_VIEW(ui->m_muiWidget.MUI_treeview), 0);
        ui->m_resourceHelper.SetBuilder(nullptr);
        g_object_unref(builder);
        return ui->m_muiWidget.MUI_window;
    }
    static bool idleLeftFor(void* ui) {
        return g_main_context_find_source_by_funcs_user_data(nullptr, &g_idle_funcs, ui) != nullptr;
    }
    static bool isToplevel(GtkWidget* w) {
        GList* all = gtk_window_list_toplevels();
        const bool found = g_list_find(all, w) != nullptr;
        g_list_free(all);
        return found;
    }
    static int exits() { return uitest::countLines("[Quillet_exit] [MainUIs.cpp:CloseWidjetThreadCBFnc:"); }
};

TEST_F(Closing, InTheWindowsLoopOnceAfterTheHandler) {
    GtkWidget* window = openWindow();
    ASSERT_NE(window, nullptr);
    CQuilletUI* ui = GetQuilletUI();
    struct Step {
        int first = -5, second = -5, exitsInHandler = -5;
        bool deletedInHandler = false;
    } step;
    g_timeout_add(
        50,
        [](gpointer data) -> gboolean {
            auto* s = static_cast<Step*>(data);
            s->first = Start_CloseMainWidgetThread(0);
            // A cancel of the same window while the closing is pending.
            s->second = Start_CloseMainWidgetThread(0);
            s->deletedInHandler = IsQuilletDeleted() == 1;
            s->exitsInHandler = uitest::countLines("[Quillet_exit] [MainUIs.cpp:CloseWidjetThreadCBFnc:");
            return G_SOURCE_REMOVE;
        },
        &step);
    ASSERT_EQ(RunJobWindowLoop(window), 0);
    EXPECT_EQ(step.first, 0);
    EXPECT_EQ(step.second, 1);
    EXPECT_TRUE(step.deletedInHandler);
    EXPECT_EQ(step.exitsInHandler, 0) << "the job ends after the handler has returned";
    EXPECT_EQ(exits(), 1);
    EXPECT_EQ(IsQuilletDeleted(), 1);
    EXPECT_FALSE(idleLeftFor(ui));
    EXPECT_FALSE(isToplevel(window));
    RunPendingClose();
    EXPECT_EQ(exits(), 1);
}

TEST_F(Closing, WithoutALoopAtOnce) {
    CQuilletUI* ui = GetQuilletUI();
    EXPECT_EQ(Start_CloseMainWidgetThread(0), 0);
    EXPECT_EQ(exits(), 1);
    EXPECT_EQ(IsQuilletDeleted(), 1);
    EXPECT_FALSE(idleLeftFor(ui));
    EXPECT_EQ(Start_CloseMainWidgetThread(0), 1);
    EXPECT_EQ(exits(), 1);
}

TEST_F(Closing, ALoopQuitFirstRunsThePendingStepBeforeItReturns) {
    GtkWidget* window = openWindow();
    ASSERT_NE(window, nullptr);
    CQuilletUI* ui = GetQuilletUI();
    g_timeout_add(
        50,
        [](gpointer) -> gboolean {
            Start_CloseMainWidgetThread(0);
            gtk_main_quit();  // as a failed error post does
            return G_SOURCE_REMOVE;
        },
        nullptr);
    RunJobWindowLoop(window);
    EXPECT_EQ(exits(), 1);
    EXPECT_FALSE(idleLeftFor(ui));
    EXPECT_EQ(IsQuilletDeleted(), 1);
}

TEST_F(Closing, AfterTheClosingTextsKeepTheJobsEditionAndNoObjectIsMade) {
    MU_LanguageSet("ENG");
    ASSERT_EQ(Start_CloseMainWidgetThread(0), 0);
    DialogAnswerer answer;
    MU_MessageBox("after", 0);
    EXPECT_EQ(MU_MessageBoxOKCancel("after", 1), 1);
    ASSERT_EQ(answer.seen.size(), 2u);
    EXPECT_EQ(answer.seen[0].title, "Info");
    EXPECT_EQ(answer.seen[1].title, "Warning");
    EXPECT_STREQ(JobEditionText("CONFIRM"), "Confirm");
    EXPECT_EQ(IsQuilletDeleted(), 1) << "no stray object for the next job";
    // A stray object made anyway goes with the job's clean-up.
    GetQuilletUI()->m_windowMode = "SIGN";
    DefaultJobUi().ReleaseUi();
    EXPECT_EQ(IsQuilletDeleted(), 1);
    EXPECT_EQ(GetQuilletUI()->m_windowMode, "NONE");
    EXPECT_STREQ(GetQuilletUI()->m_resourceHelper.GetResourceData("Info"), "알림") << "a new object is Korean";
}

TEST_F(Closing, FiftyWindowsOpenedAndClosedLeaveNothingBehind) {
    auto cycle = [&] {
        GtkWidget* window = openWindow();
        ASSERT_NE(window, nullptr);
        g_timeout_add(
            5, [](gpointer) -> gboolean { return Start_CloseMainWidgetThread(0), G_SOURCE_REMOVE; }, nullptr);
        RunJobWindowLoop(window);
        uitest::pump(1);
    };
    for (int i = 0; i < 10; ++i) cycle();
    GList* all = gtk_window_list_toplevels();
    const guint toplevels = g_list_length(all);
    g_list_free(all);
    const long long before = uitest::memoryInUse();
    for (int i = 0; i < 50; ++i) cycle();
    all = gtk_window_list_toplevels();
    EXPECT_EQ(g_list_length(all), toplevels);
    g_list_free(all);
    const long long after = uitest::memoryInUse();
    std::printf("memory in use before %lld, after 50 cycles %lld (%+lld bytes)\n", before, after, after - before);
    EXPECT_LT(after - before, 1 << 20) << "about 20 KB a window at most";
    EXPECT_EQ(exits(), 60);
}

}  // namespace
