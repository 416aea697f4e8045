#include "UiTestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "TestSupport.h"
#include "common/DMLinuxUtil.h"
#include "job/Job.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace uitest {

namespace {

std::vector<std::string> g_lines;
int writeLine(const char* tag, const char* text) {
    g_lines.push_back(std::string(tag) + " " + text);
    return 1;
}
int writeInt(const char* tag, int value) { return writeLine(tag, std::to_string(value).c_str()); }

// GTK, the staged installation and the job's log writers, once per process
// (the installation directory is read once).
class UiEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
#ifdef ZQ_UI_PRIVATE_INSTALL
        // A copy of the staged installation per process (links to its
        // files), which a test may change.
        static zqtest::TempDir dir("ui-install");
        for (const auto& e : std::filesystem::recursive_directory_iterator(ZQ_UI_STAGE)) {
            const std::string rel = std::filesystem::relative(e.path(), ZQ_UI_STAGE);
            if (e.is_directory())
                std::filesystem::create_directories(dir / rel);
            else
                std::filesystem::create_symlink(e.path(), dir / rel);
        }
        ::setenv("QUILLETEX_INSTALL_DIR", dir.path().c_str(), 1);
        ASSERT_EQ(std::string(DMLinuxUtil_GetInstallDir()), dir.path());
#else
        ::setenv("QUILLETEX_INSTALL_DIR", ZQ_UI_STAGE, 1);
        ASSERT_STREQ(DMLinuxUtil_GetInstallDir(), ZQ_UI_STAGE);
#endif
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "no display (the tests run under xvfb-run)";
        LinuxQuillet_InitWriteLog(0, writeLine, writeInt);
    }
};
[[maybe_unused]] ::testing::Environment* const g_env = ::testing::AddGlobalTestEnvironment(new UiEnvironment);

}  // namespace

void pump(int rounds) {
    for (int i = 0; i < rounds; ++i) {
        gdk_display_sync(gdk_display_get_default());
        while (gtk_events_pending()) gtk_main_iteration();
        g_usleep(10000);
    }
    while (gtk_events_pending()) gtk_main_iteration();
}

DialogAnswerer::DialogAnswerer(int r) : response(r), m_source(g_timeout_add(30, tick, this)) {}

DialogAnswerer::~DialogAnswerer() { g_source_remove(m_source); }

gboolean DialogAnswerer::tick(gpointer data) {
    auto* self = static_cast<DialogAnswerer*>(data);
    GList* all = gtk_window_list_toplevels();
    for (GList* l = all; l; l = l->next) {
        if (!GTK_IS_DIALOG(l->data) || !gtk_widget_get_mapped(GTK_WIDGET(l->data))) continue;
        SeenDialog d;
        const char* title = gtk_window_get_title(GTK_WINDOW(l->data));
        d.title = title ? title : "";
        if (GTK_IS_MESSAGE_DIALOG(l->data)) {
            gchar* text = nullptr;
            GtkMessageType type;
            g_object_get(l->data, "text", &text, "message-type", &type, nullptr);
            d.text = text ? text : "";
            d.type = static_cast<int>(type);
            g_free(text);
        }
        self->seen.push_back(d);
        gtk_dialog_response(GTK_DIALOG(l->data), self->response);
    }
    g_list_free(all);
    return G_SOURCE_CONTINUE;
}

bool screenshot(GtkWidget* window, const std::string& name) {
    GdkWindow* w = gtk_widget_get_window(window);
    if (!w) return false;
    const int width = gdk_window_get_width(w), height = gdk_window_get_height(w);
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(w, 0, 0, width, height);
    if (!shot) return false;
    const std::string dir = zqtest::binaryDir() + "/tests/agent/ui-screenshots";
    std::filesystem::create_directories(dir);
    const bool ok = gdk_pixbuf_save(shot, (dir + "/" + name + ".png").c_str(), "png", nullptr, nullptr);
    g_object_unref(shot);
    return ok;
}

std::vector<std::string>& logLines() { return g_lines; }

void clearLog() { g_lines.clear(); }

int countLines(const std::string& prefix) {
    int n = 0;
    for (const std::string& l : g_lines)
        if (l.find(prefix) != std::string::npos) ++n;
    return n;
}

long long memoryInUse() {
#if defined(__SANITIZE_ADDRESS__)
    // Freed blocks stay in the sanitizer's quarantine: the resident set
    // grows with every free; the live heap does not.
    return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#else
    long pages = 0, resident = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<long long>(resident) * sysconf(_SC_PAGESIZE);
#endif
}

}  // namespace uitest
