// Plays the user on real windows under Xvfb: each step waits for a mapped
// toplevel (by its builder id, "BOX" for a message box, "FILE" for a file
// chooser) and then acts on
// it from an idle callback, so an action that runs a nested dialog loop
// does not hold up the steps after it.
#pragma once

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace managetest {

class WindowDriver {
public:
    struct Step {
        std::string id;
        std::function<void(GtkWidget*)> act;
    };

    explicit WindowDriver(std::vector<Step> steps) : m_steps(std::move(steps)) {
        m_source = g_timeout_add(40, tick, this);
    }
    ~WindowDriver() { g_source_remove(m_source); }
    WindowDriver(const WindowDriver&) = delete;
    WindowDriver& operator=(const WindowDriver&) = delete;

    bool done() const { return m_next == m_steps.size(); }
    // The texts of the message boxes the steps answered, in order.
    std::vector<std::string> boxes;

    static GtkWidget* child(GtkWidget* top, const char* id) {
        if (!top) return nullptr;
        if (GTK_IS_BUILDABLE(top)) {
            const char* name = gtk_buildable_get_name(GTK_BUILDABLE(top));
            if (name && std::string(name) == id) return top;
        }
        if (!GTK_IS_CONTAINER(top)) return nullptr;
        GList* kids = gtk_container_get_children(GTK_CONTAINER(top));
        GtkWidget* found = nullptr;
        for (GList* l = kids; l && !found; l = l->next) found = child(GTK_WIDGET(l->data), id);
        g_list_free(kids);
        return found;
    }
    static void type(GtkWidget* top, const char* id, const char* text) {
        gtk_entry_set_text(GTK_ENTRY(child(top, id)), text);
    }
    static void respond(GtkWidget* dialog, int response) { gtk_dialog_response(GTK_DIALOG(dialog), response); }
    static void click(GtkWidget* top, const char* id) { gtk_button_clicked(GTK_BUTTON(child(top, id))); }
    // The rows of a tree view's model, column by column.
    static std::vector<std::vector<std::string>> rows(GtkWidget* top, const char* viewId, int columns) {
        std::vector<std::vector<std::string>> out;
        GtkTreeModel* model = gtk_tree_view_get_model(GTK_TREE_VIEW(child(top, viewId)));
        GtkTreeIter it;
        for (bool ok = model && gtk_tree_model_get_iter_first(model, &it); ok;
             ok = gtk_tree_model_iter_next(model, &it)) {
            std::vector<std::string> row;
            for (int c = 0; c < columns; ++c) {
                gchar* v = nullptr;
                gtk_tree_model_get(model, &it, c, &v, -1);
                row.push_back(v ? v : "");
                g_free(v);
            }
            out.push_back(row);
        }
        return out;
    }

private:
    struct Pending {
        WindowDriver* self;
        GtkWidget* widget;
        size_t step;
    };

    static bool matches(GtkWidget* w, const std::string& id) {
        if (id == "BOX") return GTK_IS_MESSAGE_DIALOG(w);
        if (id == "FILE") return GTK_IS_FILE_CHOOSER_DIALOG(w);
        const char* name = GTK_IS_BUILDABLE(w) ? gtk_buildable_get_name(GTK_BUILDABLE(w)) : nullptr;
        return name && id == name;
    }

    static void forget(GtkWidget* w, gpointer data) {
        auto* self = static_cast<WindowDriver*>(data);
        if (self->m_last == w) self->m_last = nullptr;
    }

    static gboolean act(gpointer data) {
        auto* p = static_cast<Pending*>(data);
        // From here the same window may be the next step's too.
        if (p->self->m_last == p->widget) p->self->m_last = nullptr;
        p->self->m_steps[p->step].act(p->widget);
        g_object_unref(p->widget);
        delete p;
        return G_SOURCE_REMOVE;
    }

    static gboolean tick(gpointer data) {
        auto* self = static_cast<WindowDriver*>(data);
        if (self->done()) return G_SOURCE_CONTINUE;
        const Step& step = self->m_steps[self->m_next];
        GList* all = gtk_window_list_toplevels();
        for (GList* l = all; l; l = l->next) {
            auto* w = GTK_WIDGET(l->data);
            // The widget of the step before waits until its action has begun.
            if (!gtk_widget_get_mapped(w) || w == self->m_last || !matches(w, step.id)) continue;
            self->m_last = w;
            g_signal_connect(w, "destroy", G_CALLBACK(forget), self);
            if (step.id == "BOX") {
                gchar* text = nullptr;
                g_object_get(w, "text", &text, nullptr);
                self->boxes.push_back(text ? text : "");
                g_free(text);
            }
            if (std::getenv("ZQ_DRIVER_TRACE")) std::fprintf(stderr, "step %zu: %s\n", self->m_next, step.id.c_str());
            g_idle_add(act, new Pending{self, GTK_WIDGET(g_object_ref(w)), self->m_next});
            ++self->m_next;
            break;
        }
        g_list_free(all);
        return G_SOURCE_CONTINUE;
    }

    std::vector<Step> m_steps;
    size_t m_next = 0;
    GtkWidget* m_last = nullptr;
    guint m_source;
};

}  // namespace managetest
