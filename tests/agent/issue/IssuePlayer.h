// What the issue tests share: whole jobs started from the stub relay, and
// the user played on the windows under Xvfb (a step runs from a timer once
// its window is on screen; message boxes are answered OK).
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "RelayStub.h"
#include "job/Job.h"
#include "job/ParsingFunc.h"

namespace issuetest {

// One whole job: the stub relay hands out func with the policy's keys
// (values encoded as the relay encodes them) under policyName. The start's
// return code.
inline int runJob(agenttest::RelayStub& stub, const std::string& func,
                  const std::vector<std::pair<std::string, std::string>>& policy, const std::string& policyName = "p") {
    std::string inner;
    for (const auto& [k, v] : policy) inner += k + "=" + URLEncodeText(v) + "&";
    stub.answer("getFunc", 200, "funcName=" + func + "&PolicyList=" + URLEncodeText(inner) + "&paramCount=0");
    std::string param =
        "SESSION=S&reqID=77&policyName=" + policyName + "&url=" + stub.url() + "&wv=1&macVersion=1&linuxVersion=1.2.8";
    char name[] = "ZEPHALTQuilletEX";
    QuilletJobArgs args{name, param.data()};
    return LinuxQuillet_StartProcess(&args);
}

inline GtkWidget* findIn(GtkWidget* root, const char* id) {
    if (!root) return nullptr;
    if (GTK_IS_BUILDABLE(root)) {
        const char* name = gtk_buildable_get_name(GTK_BUILDABLE(root));
        if (name && std::strcmp(name, id) == 0) return root;
    }
    GtkWidget* found = nullptr;
    if (GTK_IS_CONTAINER(root)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(root));
        for (GList* l = children; l && !found; l = l->next) found = findIn(GTK_WIDGET(l->data), id);
        g_list_free(children);
    }
    return found;
}

// The mapped toplevel of builder id ("FILE": the file chooser), or NULL.
inline GtkWidget* toplevel(const char* id) {
    const bool chooser = std::strcmp(id, "FILE") == 0;
    GtkWidget* found = nullptr;
    GList* all = gtk_window_list_toplevels();
    for (GList* l = all; l && !found; l = l->next)
        if (gtk_widget_get_mapped(GTK_WIDGET(l->data)))
            found = chooser ? (GTK_IS_FILE_CHOOSER_DIALOG(l->data) ? GTK_WIDGET(l->data) : nullptr)
                            : findIn(GTK_WIDGET(l->data), id);
    g_list_free(all);
    return found && gtk_widget_get_toplevel(found) == found ? found : nullptr;
}

// Plays the user: each step runs once its window is on screen. A step that
// opens a nested dialog blocks its player: that dialog needs a player of
// its own.
class Player {
public:
    struct Step {
        const char* window;
        std::function<void(GtkWidget*)> act;
    };
    explicit Player(std::deque<Step> steps) : m_steps(std::move(steps)), m_source(g_timeout_add(40, tick, this)) {}
    ~Player() { g_source_remove(m_source); }
    bool done() const { return m_steps.empty(); }

private:
    static gboolean tick(gpointer data) {
        auto* self = static_cast<Player*>(data);
        if (self->m_steps.empty()) return G_SOURCE_CONTINUE;
        GtkWidget* w = toplevel(self->m_steps.front().window);
        if (!w) return G_SOURCE_CONTINUE;
        const Step step = self->m_steps.front();
        self->m_steps.pop_front();
        step.act(w);
        return G_SOURCE_CONTINUE;
    }
    std::deque<Step> m_steps;
    guint m_source;
};

// Answers the message boxes that show (OK), keeping their texts; other
// dialogs are the test's to play.
class Boxes {
public:
    Boxes() : m_source(g_timeout_add(30, tick, this)) {}
    ~Boxes() { g_source_remove(m_source); }
    std::vector<std::string> seen;

private:
    static gboolean tick(gpointer data) {
        auto* self = static_cast<Boxes*>(data);
        GList* all = gtk_window_list_toplevels();
        for (GList* l = all; l; l = l->next) {
            if (!GTK_IS_MESSAGE_DIALOG(l->data) || !gtk_widget_get_mapped(GTK_WIDGET(l->data))) continue;
            gchar* text = nullptr;
            g_object_get(l->data, "text", &text, nullptr);
            self->seen.push_back(text ? text : "");
            g_free(text);
            gtk_dialog_response(GTK_DIALOG(l->data), GTK_RESPONSE_OK);
        }
        g_list_free(all);
        return G_SOURCE_CONTINUE;
    }
    guint m_source;
};

inline void type(GtkWidget* window, const char* id, const char* text) {
    GtkWidget* e = findIn(window, id);
    ASSERT_NE(e, nullptr) << id;
    gtk_entry_set_text(GTK_ENTRY(e), text);
}
inline void click(GtkWidget* window, const char* id) {
    GtkWidget* b = findIn(window, id);
    ASSERT_NE(b, nullptr) << id;
    gtk_button_clicked(GTK_BUTTON(b));
}

}  // namespace issuetest
