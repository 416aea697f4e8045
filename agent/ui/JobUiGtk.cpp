// Message boxes and the language of the job's UI, over GTK.
#include "ui/JobUiGtk.h"

#include <gtk/gtk.h>

#include <string>

namespace {

class CJobUiGtk final : public IJobUi {
public:
    void MessageBox(const char* text, int type) override {
        const char* title = type == 0 || type == 3 ? infoTitle() : type == 1 ? warningTitle() : "";
        runBox(text, title, type, GTK_BUTTONS_OK);
    }

    int MessageBoxOKCancel(const char* text, int type) override {
        const int kind = type >= 0 && type <= 3 ? type : 4;
        return runBox(text, type == 1 ? warningTitle() : infoTitle(), kind, GTK_BUTTONS_OK_CANCEL) == GTK_RESPONSE_OK
                   ? 1
                   : 0;
    }

    void LanguageSet(const char* language) override {
        const std::string l = language ? language : "";
        m_english = !(l.empty() || l == "KOR");
    }

    int OpenWindow(JobWindow) override { return -1; }

    void QuitLoop() override {
        if (gtk_main_level() > 0) gtk_main_quit();
    }

    void CloseJobWindow() override {}
    void ClearCertLists() override { m_rows.clear(); }
    int AddCertLists(const CertLists& row, int) override {
        m_rows.push_back(row);
        return static_cast<int>(m_rows.size()) - 1;
    }
    const SelectedCertValues* SelectedCert() override { return nullptr; }

private:
    const char* infoTitle() const { return m_english ? "Info" : "알림"; }
    const char* warningTitle() const { return m_english ? "Warning" : "경고"; }

    // Without a display there is nobody to answer: the box is not shown.
    static int runBox(const char* text, const char* title, int type, GtkButtonsType buttons) {
        if (gdk_display_get_default() == nullptr) return GTK_RESPONSE_NONE;
        GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, static_cast<GtkMessageType>(type),
                                                   buttons, "%s", text ? text : "");
        gtk_window_set_title(GTK_WINDOW(dialog), title);
        gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
        const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
        gtk_widget_destroy(dialog);
        // The box goes from the screen at once.
        while (gtk_events_pending()) gtk_main_iteration();
        return response;
    }

    bool m_english = false;
    std::vector<CertLists> m_rows;
};

}  // namespace

IJobUi& DefaultJobUi() {
    static CJobUiGtk ui;
    return ui;
}

int JobUi_GtkInit(int* argc, char*** argv) { return gtk_init_check(argc, argv) ? -1 : 0; }
