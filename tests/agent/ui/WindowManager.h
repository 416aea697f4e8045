// openbox on the test's X display, so windows are closed as a user's close
// box closes them (wmctrl -c), and a non-blocking wmctrl for use inside a
// running dialog. Started and stopped by its process id.
#pragma once

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "TestSupport.h"

namespace uitest {

class WindowManager {
public:
    WindowManager() {
        m_pid = ::fork();
        if (m_pid == 0) {
            ::execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            if (zqtest::run({"wmctrl", "-m"}).status == 0) {
                m_ready = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~WindowManager() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;
    bool ready() const { return m_ready; }

    // Asks the window manager to close window as its close box does,
    // without waiting (the caller's loop must go on to receive the request).
    // A window mapped a moment ago may not be managed yet, and openbox drops
    // a close request for it: the request is repeated until the window goes.
    static void close(GtkWidget* window) {
        auto* retry = new Retry{window, 0};
        g_object_weak_ref(G_OBJECT(window), &Retry::gone, retry);
        send(window);
        g_timeout_add(300, &Retry::again, retry);
    }

private:
    struct Retry {
        GtkWidget* window;
        int tries;
        static void gone(gpointer data, GObject*) { static_cast<Retry*>(data)->window = nullptr; }
        static gboolean again(gpointer data) {
            auto* r = static_cast<Retry*>(data);
            if (r->window && gtk_widget_get_window(r->window) && ++r->tries < 40) {
                send(r->window);
                return G_SOURCE_CONTINUE;
            }
            if (r->window) g_object_weak_unref(G_OBJECT(r->window), &Retry::gone, r);
            delete r;
            return G_SOURCE_REMOVE;
        }
    };

    // By its X id: wmctrl cannot match Korean titles in the C locale.
    static void send(GtkWidget* window) {
        char id[32];
        std::snprintf(id, sizeof id, "0x%lx",
                      static_cast<unsigned long>(gdk_x11_window_get_xid(gtk_widget_get_window(window))));
        gchar* argv[] = {const_cast<gchar*>("wmctrl"), const_cast<gchar*>("-i"), const_cast<gchar*>("-c"), id, nullptr};
        g_spawn_async(nullptr, argv, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, nullptr);
    }

    pid_t m_pid = -1;
    bool m_ready = false;
};

}  // namespace uitest
