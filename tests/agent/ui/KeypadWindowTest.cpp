// The virtual-keypad window under Xvfb with a real web view and our keypad
// page (keypad_page.py, on a free port of 127.0.0.1, ended by its process
// id), whose callbacks openssl, hashlib and python3-cryptography enciphered:
// the entry gets the password, the window's placement and size, refused
// page URLs, load failures, the keypad button pressed twice, spread mode,
// the user closing the keypad, and twenty openings without growth.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <thread>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "job/Job.h"
#include "ui/MainUI.h"
#include "ui/IssueWindows.h"
#include "ui/RoamingWindows.h"

// Last: X11's macros (None, Bool) would break the headers above.
#include <gdk/gdkx.h>
#undef None
#undef Bool

namespace {

// The keypad page server, one per test program.
class KeypadPage {
public:
    // tls: over HTTPS with a self-signed certificate that openssl makes.
    explicit KeypadPage(bool tls = false) : m_scheme(tls ? "https" : "http") {
        const std::string iv = zqtest::hex(std::string(kIncaIv.begin(), kIncaIv.end()));
        const std::string script = zqtest::sourceDir() + "/tests/agent/ui/keypad_page.py";
        const std::string cert = m_dir / "cert.pem", key = m_dir / "key.pem";
        if (tls) {
            EXPECT_EQ(0, zqtest::run({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                                      "-nodes", "-subj", "/CN=127.0.0.1", "-days", "1", "-keyout", key, "-out", cert})
                             .status);
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (tls)
                ::execl(zqtest::kPython, zqtest::kPython, script.c_str(), m_dir.path().c_str(), iv.c_str(),
                        cert.c_str(), key.c_str(), static_cast<char*>(nullptr));
            else
                ::execl(zqtest::kPython, zqtest::kPython, script.c_str(), m_dir.path().c_str(), iv.c_str(),
                        static_cast<char*>(nullptr));
            ::_exit(127);
        }
        m_pid = pid;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!zqtest::fileExists(m_dir / "port") && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const std::string port = zqtest::fileExists(m_dir / "port") ? zqtest::readFile(m_dir / "port") : "";
        EXPECT_FALSE(port.empty()) << "keypad page did not start";
        m_port = port.empty() ? 0 : std::stoi(port);
    }
    ~KeypadPage() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    std::string url(const std::string& provider, const std::string& via, const std::string& variant,
                    const std::string& plain = "pw") const {
        return m_scheme + "://127.0.0.1:" + std::to_string(m_port) + "/kp/" + provider + "/" + via + "/" + variant +
               "/" + zqtest::hex(plain);
    }
    std::string requests() const {
        return zqtest::fileExists(m_dir / "requests") ? zqtest::readFile(m_dir / "requests") : "";
    }

private:
    std::string m_scheme;
    zqtest::TempDir m_dir{"keypadpage"};
    int m_pid = -1;
    int m_port = 0;
};

KeypadPage* g_page = nullptr;

// Runs the main loop until done() or the timeout; done()'s last answer.
bool waitFor(const std::function<bool()>& done, double seconds = 20) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(int(seconds * 1000));
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        g_usleep(5000);
    }
    return true;
}

// Events only, for a while.
void settle(double seconds) {
    waitFor([] { return false; }, seconds);
}

// The WebKit processes this process started.
int webkitChildren() {
    int n = 0;
    DIR* proc = opendir("/proc");
    if (!proc) return -1;
    const std::string me = std::to_string(getpid());
    while (dirent* e = readdir(proc)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
        std::string line;
        std::getline(stat, line);
        const size_t close = line.rfind(')');
        if (close == std::string::npos || line.find("(WebKit") == std::string::npos) continue;
        // pid (comm) state ppid ...
        std::string rest = line.substr(close + 2);
        const size_t s1 = rest.find(' ');
        const std::string ppid = rest.substr(s1 + 1, rest.find(' ', s1 + 1) - s1 - 1);
        if (ppid == me) ++n;
    }
    closedir(proc);
    return n;
}

// A parent window as the log-in window has it: the password entry, its
// keypad check button and the keypad button.
struct Parent {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* entry = gtk_entry_new();
    GtkWidget* check = gtk_check_button_new_with_label("keypad");
    GtkWidget* button = gtk_button_new_with_label("keypad");
    MUIWidget widgets{};
    Parent() {
        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
        gtk_container_add(GTK_CONTAINER(box), entry);
        gtk_container_add(GTK_CONTAINER(box), check);
        gtk_container_add(GTK_CONTAINER(box), button);
        gtk_container_add(GTK_CONTAINER(window), box);
        gtk_window_set_default_size(GTK_WINDOW(window), 420, 120);
        widgets.MUI_window = window;
        widgets.MUI_entry_password = entry;
        widgets.MUI_VKeyCheckbutton = check;
        g_signal_connect(button, "clicked", G_CALLBACK(on_VirtualKeypad_Open_Btn_clicked), &widgets);
        gtk_widget_show_all(window);
        uitest::pump();
    }
    ~Parent() { gtk_widget_destroy(window); }
    void press() { gtk_button_clicked(GTK_BUTTON(button)); }
    std::string text() const { return gtk_entry_get_text(GTK_ENTRY(entry)); }
    bool editable() const { return gtk_editable_get_editable(GTK_EDITABLE(entry)); }
    bool checked() const { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(check)); }
};

// The widget of a builder id inside a window.
GtkWidget* findById(GtkWidget* root, const char* id) {
    if (!root) return nullptr;
    const char* name = gtk_buildable_get_name(GTK_BUILDABLE(root));
    if (name && std::strcmp(name, id) == 0) return root;
    if (!GTK_IS_CONTAINER(root)) return nullptr;
    GList* children = gtk_container_get_children(GTK_CONTAINER(root));
    GtkWidget* found = nullptr;
    for (GList* l = children; l && !found; l = l->next) found = findById(GTK_WIDGET(l->data), id);
    g_list_free(children);
    return found;
}

GtkWidget* keypadWindow() { return GetQuilletUI()->m_quilletDatas.m_dialogWidget.keypadWindow; }
bool keypadShown() { return keypadWindow() && gtk_widget_get_visible(keypadWindow()); }
bool keypadHidden() { return keypadWindow() && !gtk_widget_get_visible(keypadWindow()); }

class KeypadWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { g_page = new KeypadPage(); }
    static void TearDownTestSuite() {
        delete g_page;
        g_page = nullptr;
    }
    void SetUp() override { ClearQuilletUI(); }
    void TearDown() override {
        ClearQuilletUI();
        uitest::pump();
    }
    static void use(const std::string& provider, const std::string& option, int mask = 3) {
        MU_SetScreenKeyboardProviderOption(mask, provider.c_str(), option.c_str());
    }
};

}  // namespace

TEST_F(KeypadWindow, CallbackPutsThePasswordIntoTheEntry) {
    struct Case {
        const char* provider;
        const char* via;
        const char* variant;
        std::string plain;
    };
    const Case cases[] = {
        {"lumen", "nav", "ok", "pw"},
        {"lumen", "img", "upper", "pw"},
        {"inca", "nav", "upper", "pw"},
        {"inca", "img", "ok", "pw"},
        {"nshc", "nav", "ok", std::string(259, 'n')},
        {"nshc", "img", "upper", "pw"},
        {"lumen", "img", "ok", std::string(255, 'l')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.provider) + " " + c.via + " " + c.variant);
        use(c.provider, "url=" + g_page->url(c.provider, c.via, c.variant, c.plain));
        Parent parent;
        parent.press();
        EXPECT_TRUE(parent.checked());
        EXPECT_FALSE(parent.editable());
        ASSERT_TRUE(keypadShown());
        ASSERT_TRUE(waitFor(keypadHidden)) << "no callback arrived";
        EXPECT_EQ(c.plain, parent.text());
        EXPECT_FALSE(parent.editable());
        EXPECT_TRUE(parent.checked());
        if (std::string(c.provider) == "nshc") {
            EXPECT_NE(std::string::npos, g_page->requests().find("?publickey=")) << g_page->requests();
        }
        GetQuilletUI()->CloseVirtualKeypad();
    }
}

TEST_F(KeypadWindow, WhatCannotBeDecipheredLeavesTheEntryEditable) {
    for (const auto& [provider, variant] :
         {std::pair{"lumen", "flip"}, std::pair{"inca", "flip"}, std::pair{"nshc", "flip"},
          std::pair{"lumen", "hex600"}, std::pair{"inca", "hex600"}}) {
        SCOPED_TRACE(std::string(provider) + " " + variant);
        use(provider, "url=" + g_page->url(provider, "nav", variant));
        Parent parent;
        parent.press();
        ASSERT_TRUE(waitFor(keypadHidden));
        EXPECT_EQ("", parent.text());
        EXPECT_TRUE(parent.editable());
        EXPECT_FALSE(parent.checked());
    }
}

TEST_F(KeypadWindow, OrdinaryResourcesOfThePageChangeNothing) {
    use("lumen", "url=" + g_page->url("lumen", "none", "ok"));
    Parent parent;
    parent.press();
    ASSERT_TRUE(waitFor([] { return g_page->requests().find("/kp/lumen/none") != std::string::npos; }));
    ASSERT_TRUE(waitFor([] {
        const std::string r = g_page->requests();
        return r.rfind("/img.png") != std::string::npos && r.rfind("/img.png") > r.rfind("/kp/lumen/none");
    }));
    settle(1.0);
    EXPECT_TRUE(keypadShown());
    EXPECT_EQ("", parent.text());
    EXPECT_FALSE(parent.editable());
    EXPECT_TRUE(parent.checked());
    EXPECT_TRUE(uitest::screenshot(keypadWindow(), "keypad-window"));
}

TEST_F(KeypadWindow, SizeAndPlacementFromTheOptionText) {
    struct Case {
        std::string option;
        int width, height;
    };
    const Case cases[] = {
        {"url=" + g_page->url("lumen", "none", "ok"), 500, 400},
        {"URL=" + g_page->url("lumen", "none", "ok") + "&Width=640&HEIGHT=300", 640, 300},
        {"url=" + g_page->url("lumen", "none", "ok") + "&width=5000&height=10", 1920, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        use("inca", c.option);
        Parent parent;
        int x = 0, y = 0, w = 0, h = 0;
        gtk_window_get_size(GTK_WINDOW(parent.window), &w, &h);
        parent.press();
        ASSERT_TRUE(keypadShown());
        uitest::pump(5);
        GdkWindow* kw = gtk_widget_get_window(keypadWindow());
        const std::string geometry =
            zqtest::run({"xdotool", "getwindowgeometry", std::to_string(gdk_x11_window_get_xid(kw))}).output;
        EXPECT_NE(std::string::npos,
                  geometry.find("Geometry: " + std::to_string(c.width) + "x" + std::to_string(c.height)))
            << geometry;
        // No window manager: both windows sit where they were moved.
        int kx = 0, ky = 0;
        gdk_window_get_origin(gtk_widget_get_window(parent.window), &x, &y);
        gdk_window_get_origin(kw, &kx, &ky);
        EXPECT_EQ(x + w / 2 - c.width / 2, kx);
        EXPECT_EQ(y + h + 30, ky);
        GetQuilletUI()->CloseVirtualKeypad();
    }
}

TEST_F(KeypadWindow, RefusedPageUrlsOpenNoWindow) {
    for (const char* option : {"url=file:///etc/passwd", "url=data:text/html,<b>keypad</b>", "url=javascript:1",
                               "url=http://example.com/kp", "width=300&height=200"}) {
        SCOPED_TRACE(option);
        use("lumen", option);
        Parent parent;
        parent.press();
        uitest::pump();
        EXPECT_EQ(nullptr, keypadWindow());
        // As the Part has it: read-only with the check button on, until the
        // user switches it off.
        EXPECT_TRUE(parent.checked());
        EXPECT_FALSE(parent.editable());
        parent.press();
        EXPECT_TRUE(parent.editable());
    }
    use("nobody", "url=" + g_page->url("lumen", "none", "ok"));
    Parent parent;
    EXPECT_EQ(-3, MU_VirtualKeypadWindow(&GetQuilletUI()->m_quilletDatas.m_dialogWidget));
    EXPECT_EQ(nullptr, keypadWindow());
}

TEST_F(KeypadWindow, PageOnAClosedPortTakesTheLoadFailedPath) {
    // A port that was free a moment ago.
    const zqtest::RunResult free =
        zqtest::run({zqtest::kPython, "-c",
                     "import socket; s=socket.socket(); s.bind(('127.0.0.1',0)); print(s.getsockname()[1])"});
    std::string port = free.output;
    port.erase(port.find_last_not_of("\n") + 1);
    use("lumen", "url=http://127.0.0.1:" + port + "/kp");
    Parent parent;
    parent.press();
    ASSERT_TRUE(waitFor(keypadHidden));
    EXPECT_TRUE(parent.editable());
    EXPECT_FALSE(parent.checked());
}

// An https page whose certificate is not trusted: as a page that did not
// load.
TEST_F(KeypadWindow, UntrustedHttpsPageTakesTheLoadFailedPath) {
    KeypadPage tls(true);
    use("nshc", "url=" + tls.url("nshc", "nav", "ok"));
    Parent parent;
    parent.press();
    ASSERT_TRUE(keypadShown());
    ASSERT_TRUE(waitFor(keypadHidden));
    EXPECT_EQ("", parent.text());
    EXPECT_TRUE(parent.editable());
    EXPECT_FALSE(parent.checked());
    EXPECT_EQ(std::string::npos, tls.requests().find("/kp/")) << "nothing reached the page";
}

TEST_F(KeypadWindow, PressingTheButtonTwiceSwitchesTheKeypadOffAndLeavesItOpen) {
    use("nshc", "url=" + g_page->url("nshc", "none", "ok"));
    Parent parent;
    parent.press();
    ASSERT_TRUE(keypadShown());
    gtk_entry_set_text(GTK_ENTRY(parent.entry), "typed");
    parent.press();
    EXPECT_EQ("", parent.text());
    EXPECT_TRUE(parent.editable());
    EXPECT_FALSE(parent.checked());
    EXPECT_TRUE(keypadShown());
    // Option 0: the buttons do nothing.
    use("nshc", "url=" + g_page->url("nshc", "none", "ok"), 0);
    parent.press();
    EXPECT_FALSE(parent.checked());
}

TEST_F(KeypadWindow, UserClosingTheKeypadReleasesItsAdapter) {
    use("inca", "url=" + g_page->url("inca", "none", "ok"));
    Parent parent;
    parent.press();
    ASSERT_TRUE(keypadShown());
    EXPECT_NE(nullptr, GetQuilletUI()->m_keypadCreator.GetKeypad());
    gtk_widget_destroy(keypadWindow());
    uitest::pump();
    EXPECT_EQ(nullptr, keypadWindow());
    EXPECT_EQ(nullptr, GetQuilletUI()->m_keypadCreator.GetKeypad());
    EXPECT_FALSE(parent.checked());
    EXPECT_TRUE(parent.editable());
}

TEST_F(KeypadWindow, SpreadModeFillsEntriesInPiecesOfFour) {
    struct Case {
        int split;
        std::string value;
        std::vector<std::string> expected;
        bool userCloses;  // no callback: the user closes the keypad
    };
    const Case cases[] = {
        {12, "123456789012", {"1234", "5678", "9012", ""}, false},
        {8, "abcdef", {"abcd", "ef", "", ""}, false},
        {8, "", {"", "", "", ""}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.split);
        use("lumen", "url=" + g_page->url("lumen", c.userCloses ? "none" : "img", "ok", c.value));
        GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 2);
        gtk_container_add(GTK_CONTAINER(window), box);
        DialogWidget& d = GetQuilletUI()->m_quilletDatas.m_dialogWidget;
        d = DialogWidget{};
        d.parent = window;
        d.splitCount = c.split;
        // The roaming import window has one keypad check button for its four
        // entries: it stands in every slot.
        GtkWidget* check = gtk_check_button_new();
        gtk_container_add(GTK_CONTAINER(box), check);
        for (int i = 0; i < 4; ++i) {
            d.entries[i] = gtk_entry_new();
            d.checkButtons[i] = check;
            gtk_container_add(GTK_CONTAINER(box), d.entries[i]);
        }
        gtk_widget_show_all(window);
        gtk_entry_set_text(GTK_ENTRY(d.entries[3]), "keep");
        GtkWidget* button = gtk_button_new();
        on_RIW_VirtualKeypad_Open_Btn_clicked(button, window);
        EXPECT_EQ("", std::string(gtk_entry_get_text(GTK_ENTRY(d.entries[3])))) << "all four are emptied";
        if (c.userCloses) {
            ASSERT_TRUE(keypadShown());
            gtk_widget_destroy(keypadWindow());
            uitest::pump();
        } else {
            ASSERT_TRUE(waitFor(keypadHidden));
        }
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(c.expected[i], std::string(gtk_entry_get_text(GTK_ENTRY(d.entries[i])))) << i;
        // A value keeps the keypad's hold on the entries; closing without
        // one gives them back to typing.
        EXPECT_EQ(!c.userCloses, gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(d.checkButtons[0])));
        EXPECT_EQ(c.userCloses, gtk_editable_get_editable(GTK_EDITABLE(d.entries[0])));
        EXPECT_EQ(c.userCloses, gtk_editable_get_editable(GTK_EDITABLE(d.entries[1])));
        GetQuilletUI()->CloseVirtualKeypad();
        g_object_ref_sink(button);
        g_object_unref(button);
        gtk_widget_destroy(window);
        d = DialogWidget{};
    }
}

TEST_F(KeypadWindow, TwentyOpeningsLeaveNoProcessesOrMemoryBehind) {
    use("nshc", "url=" + g_page->url("nshc", "none", "ok"));
    Parent parent;
    int children = 0;
    long long memory = 0;
    for (int i = 0; i < 20; ++i) {
        const size_t before = g_page->requests().size();
        parent.press();
        ASSERT_TRUE(keypadShown());
        ASSERT_TRUE(waitFor([&] { return g_page->requests().size() > before; }));
        settle(0.3);
        gtk_widget_destroy(keypadWindow());  // as the user closes it
        settle(0.3);
        if (i == 4) {
            settle(2);
            children = webkitChildren();
            memory = uitest::memoryInUse();
        }
    }
    settle(2);
    const int childrenAfter = webkitChildren();
    const long long memoryAfter = uitest::memoryInUse();
    RecordProperty("webkit_children", childrenAfter);
    RecordProperty("memory_growth_kib", static_cast<int>((memoryAfter - memory) / 1024));
    std::printf("WebKit children after 5: %d, after 20: %d; memory growth over 15 openings: %lld KiB\n", children,
                childrenAfter, (memoryAfter - memory) / 1024);
    EXPECT_LE(childrenAfter, children);
    EXPECT_LT(memoryAfter - memory, 8LL << 20);
}

namespace {

// What the log-in window showed after its keypad's callback.
struct LoginSeen {
    bool opened = false, called = false, editable = true, checked = false, sensitive = true;
    std::string text;
};

gboolean driveLoginWindow(gpointer data) {
    auto* seen = static_cast<LoginSeen*>(data);
    GtkWidget* window = GetQuilletUI()->m_muiWidget.MUI_window;
    GtkWidget* button = findById(window, "ECW_VKeybutton");
    GtkWidget* entry = findById(window, "ECW_entry_password");
    GtkWidget* check = findById(window, "ECW_VKeyCheckbutton");
    if (button && entry && check && gtk_widget_get_visible(button)) {
        gtk_button_clicked(GTK_BUTTON(button));
        seen->opened = keypadShown();
        seen->called = waitFor(keypadHidden);
        seen->text = gtk_entry_get_text(GTK_ENTRY(entry));
        seen->editable = gtk_editable_get_editable(GTK_EDITABLE(entry));
        seen->sensitive = gtk_widget_get_sensitive(entry);
        seen->checked = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(check));
    }
    Start_CloseMainWidgetThread(0);
    return G_SOURCE_REMOVE;
}

}  // namespace

// The log-in window's own keypad button, for each provider, with the
// keypad-only option (1): the entry takes no typing, the keypad fills it.
TEST_F(KeypadWindow, LoginWindowKeypadButtonFillsItsEntry) {
    for (const char* provider : {"lumen", "inca", "nshc"}) {
        SCOPED_TRACE(provider);
        ClearQuilletUI();
        use(provider, std::string("url=") + g_page->url(provider, "nav", "ok"), 1);
        LoginSeen seen;
        g_timeout_add(200, driveLoginWindow, &seen);
        MU_LoginWindow();
        EXPECT_TRUE(seen.opened);
        EXPECT_TRUE(seen.called) << "no callback arrived";
        EXPECT_EQ("pw", seen.text);
        EXPECT_FALSE(seen.editable);
        EXPECT_FALSE(seen.sensitive) << "option 1: the keypad is the only way in";
        EXPECT_TRUE(seen.checked);
        EXPECT_TRUE(IsQuilletDeleted());
    }
}

namespace {

gboolean drivePasswordDialog(gpointer data) {
    auto* seen = static_cast<LoginSeen*>(data);
    GtkWidget* dialog = nullptr;
    GList* all = gtk_window_list_toplevels();
    for (GList* l = all; l; l = l->next)
        if (findById(GTK_WIDGET(l->data), "IPD_VKeybutton")) dialog = GTK_WIDGET(l->data);
    g_list_free(all);
    GtkWidget* button = findById(dialog, "IPD_VKeybutton");
    if (button && gtk_widget_get_visible(button)) {
        gtk_button_clicked(GTK_BUTTON(button));  // bound by name in the builder file
        seen->opened = keypadShown();
        seen->called = waitFor(keypadHidden);
    }
    if (dialog) gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    return G_SOURCE_REMOVE;
}

}  // namespace

// The password dialog's keypad button, bound by its handler's name.
TEST_F(KeypadWindow, PasswordDialogKeypadButton) {
    use("inca", "url=" + g_page->url("inca", "img", "ok", "dialog-pw"), 1);
    LoginSeen seen;
    g_timeout_add(200, drivePasswordDialog, &seen);
    std::string typed;
    EXPECT_EQ(1, GetQuilletUI()->GetForInputDataOne(typed, "", "", ""));
    EXPECT_TRUE(seen.opened);
    EXPECT_TRUE(seen.called);
    EXPECT_EQ("dialog-pw", typed);
    EXPECT_EQ(nullptr, keypadWindow()) << "the dialog takes its keypad with it";
}

// The page stays where it is: no navigation to another origin, no new
// window, and a callback from a web view other than the keypad's changes
// nothing.
TEST_F(KeypadWindow, PageCannotLeaveItsOriginOrSpeakForAnotherView) {
    for (const char* via : {"away", "open"}) {
        SCOPED_TRACE(via);
        const size_t before = g_page->requests().size();
        auto since = [before] { return g_page->requests().substr(before); };
        use("lumen", "url=" + g_page->url("lumen", via, "ok"));
        Parent parent;
        parent.press();
        ASSERT_TRUE(waitFor([&] { return since().find("/kp/lumen/" + std::string(via)) != std::string::npos; }));
        settle(1.5);
        EXPECT_EQ(std::string::npos, since().find("/kp/lumen/nav/ok")) << since();
        EXPECT_TRUE(keypadShown());
        EXPECT_EQ("", parent.text());
        EXPECT_TRUE(parent.checked());
        GetQuilletUI()->CloseVirtualKeypad();
    }

    use("lumen", "url=" + g_page->url("lumen", "none", "ok"));
    Parent parent;
    parent.press();
    ASSERT_TRUE(keypadShown());
    GtkWidget* scroll = findById(keypadWindow(), "VKEY_scrollWindow");
    ASSERT_NE(nullptr, scroll);
    GtkWidget* keypadView = gtk_bin_get_child(GTK_BIN(scroll));
    if (keypadView && GTK_IS_VIEWPORT(keypadView)) keypadView = gtk_bin_get_child(GTK_BIN(keypadView));
    ASSERT_TRUE(keypadView && WEBKIT_IS_WEB_VIEW(keypadView));
    GtkWidget* other = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* otherView = webkit_web_view_new_with_related_view(WEBKIT_WEB_VIEW(keypadView));
    gtk_container_add(GTK_CONTAINER(other), otherView);
    gtk_widget_show_all(other);
    const size_t before = g_page->requests().size();
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(otherView), g_page->url("lumen", "img", "ok").c_str());
    ASSERT_TRUE(waitFor([before] { return g_page->requests().find("/kp/lumen/img/ok", before) != std::string::npos; }));
    settle(1.5);
    EXPECT_TRUE(keypadShown());
    EXPECT_EQ("", parent.text());
    EXPECT_TRUE(parent.checked());
    gtk_widget_destroy(other);
}

namespace {

struct RoamingSeen {
    bool opened = false, called = false, checked = false;
    std::vector<std::string> texts;
    std::vector<bool> editable;
};

gboolean driveRoamingWindow(gpointer data) {
    auto* seen = static_cast<RoamingSeen*>(data);
    GtkWidget* window = GetQuilletUI()->m_muiWidget.MUI_window;
    GtkWidget* button = findById(window, "RIW_VKeybutton1");
    if (button && gtk_widget_get_visible(button)) {
        gtk_button_clicked(GTK_BUTTON(button));
        seen->opened = keypadShown();
        seen->called = waitFor(keypadHidden);
        for (const char* id : {"RIW_entry_1", "RIW_entry_2", "RIW_entry_3", "RIW_entry_4"}) {
            GtkWidget* entry = findById(window, id);
            seen->texts.push_back(entry ? gtk_entry_get_text(GTK_ENTRY(entry)) : "?");
            seen->editable.push_back(entry && gtk_editable_get_editable(GTK_EDITABLE(entry)));
        }
        GtkWidget* check = findById(window, "RIW_VKeyCheckbutton1");
        seen->checked = check && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(check));
    }
    Start_CloseMainWidgetThread(0);
    return G_SOURCE_REMOVE;
}

}  // namespace

// The roaming import window's keypad button spreads the number the page
// sends over the entries the number uses.
TEST_F(KeypadWindow, RoamingWindowKeypadSpreadsTheNumber) {
    struct Case {
        int digits;
        std::string number;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {16, "1234567890123456", {"1234", "5678", "9012", "3456"}},
        {12, "123456789012", {"1234", "5678", "9012", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.digits);
        ClearQuilletUI();
        use("lumen", "url=" + g_page->url("lumen", "img", "ok", c.number), 1);
        RoamingSeen seen;
        g_timeout_add(200, driveRoamingWindow, &seen);
        ASSERT_EQ(0, RoamingImportWindow(c.digits));
        EXPECT_TRUE(seen.opened);
        EXPECT_TRUE(seen.called) << "no callback arrived";
        EXPECT_EQ(c.texts, seen.texts);
        EXPECT_TRUE(seen.checked);
        for (int i = 0; i < c.digits / 4; ++i) EXPECT_FALSE(seen.editable[i]) << i;
        EXPECT_TRUE(IsQuilletDeleted());
    }
}

// A main window's second password entry (its keypad button ...clicked1):
// the keypad serves that entry and leaves the first alone.
TEST_F(KeypadWindow, SecondEntryButtonServesTheSecondEntry) {
    use("inca", "url=" + g_page->url("inca", "img", "ok", "second"));
    Parent parent;
    GtkWidget* entry2 = gtk_entry_new();
    GtkWidget* check2 = gtk_check_button_new();
    g_object_ref_sink(entry2);
    g_object_ref_sink(check2);
    parent.widgets.MUI_widgets[0] = entry2;
    parent.widgets.MUI_last = check2;
    gtk_entry_set_text(GTK_ENTRY(parent.entry), "first");
    on_VirtualKeypad_Open_Btn_clicked1(nullptr, &parent.widgets);
    EXPECT_EQ(1, GetQuilletUI()->m_quilletDatas.m_dialogWidget.activeIndex);
    EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(check2)));
    ASSERT_TRUE(waitFor(keypadHidden));
    EXPECT_EQ("second", std::string(gtk_entry_get_text(GTK_ENTRY(entry2))));
    EXPECT_FALSE(gtk_editable_get_editable(GTK_EDITABLE(entry2)));
    EXPECT_EQ("first", parent.text());
    GetQuilletUI()->CloseVirtualKeypad();
    g_object_unref(entry2);
    g_object_unref(check2);
}

namespace {

struct IssueSeen {
    bool first = false, second = false;
    std::string password, confirm;
    bool firstEditable = true, secondEditable = true;
};

// Both keypad buttons of the issue window, one after the other.
gboolean driveIssueWindow(gpointer data) {
    auto* seen = static_cast<IssueSeen*>(data);
    GtkWidget* window = GetQuilletUI()->m_muiWidget.MUI_window;
    GtkWidget* b1 = findById(window, "NPW_VKeybutton1");
    GtkWidget* b2 = findById(window, "NPW_VKeybutton2");
    GtkWidget* e1 = findById(window, "NPW_entry_password");
    GtkWidget* e2 = findById(window, "NPW_entry_confirmpassword");
    if (b1 && b2 && e1 && e2 && gtk_widget_get_visible(b1) && gtk_widget_get_visible(b2)) {
        gtk_button_clicked(GTK_BUTTON(b1));
        seen->first = waitFor(keypadHidden);
        gtk_button_clicked(GTK_BUTTON(b2));
        seen->second = waitFor(keypadHidden);
        seen->password = gtk_entry_get_text(GTK_ENTRY(e1));
        seen->confirm = gtk_entry_get_text(GTK_ENTRY(e2));
        seen->firstEditable = gtk_editable_get_editable(GTK_EDITABLE(e1));
        seen->secondEditable = gtk_editable_get_editable(GTK_EDITABLE(e2));
    }
    Start_CloseMainWidgetThread(0);
    return G_SOURCE_REMOVE;
}

}  // namespace

// The issue window's new password and its confirmation, each from its own
// keypad button.
TEST_F(KeypadWindow, IssueWindowKeypadButtonsFillBothEntries) {
    use("nshc", "url=" + g_page->url("nshc", "nav", "ok", "new-pw"), 1);
    IssueSeen seen;
    g_timeout_add(200, driveIssueWindow, &seen);
    MU_IssueWindow();
    EXPECT_TRUE(seen.first);
    EXPECT_TRUE(seen.second);
    EXPECT_EQ("new-pw", seen.password);
    EXPECT_EQ("new-pw", seen.confirm);
    EXPECT_FALSE(seen.firstEditable);
    EXPECT_FALSE(seen.secondEditable);
}
