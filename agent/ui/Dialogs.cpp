// The list and input dialogs every window reuses, the keypad widgets'
// option, and the UI's job-start reset.
#include <unistd.h>

#include <cstring>

#include "job/Job.h"
#include "job/Launchers.h"
#include "ui/MainUI.h"

std::string tmpCertPath;
int tmpselectedStoreType = 0;

namespace {

GtkWidget* widgetOf(GtkBuilder* builder, const char* id) {
    GObject* o = builder ? gtk_builder_get_object(builder, id) : nullptr;
    return o && GTK_IS_WIDGET(o) ? GTK_WIDGET(o) : nullptr;
}

void setLabel(GtkBuilder* builder, const char* id, const std::string& text) {
    if (text.empty()) return;
    if (GtkWidget* l = widgetOf(builder, id); l && GTK_IS_LABEL(l)) gtk_label_set_text(GTK_LABEL(l), text.c_str());
}

}  // namespace

std::string ShowableText(const std::string& text) {
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return text;
    const std::string converted = CQuilletUtils::ConvertEUCKRtoUTF8(text);
    // What does not convert either is shown with its bad bytes replaced:
    // GTK takes UTF-8 only.
    if (g_utf8_validate(converted.data(), static_cast<gssize>(converted.size()), nullptr)) return converted;
    gchar* valid = g_utf8_make_valid(converted.data(), static_cast<gssize>(converted.size()));
    std::string out(valid ? valid : "");
    g_free(valid);
    return out;
}

int SetWidgetSensitiveAndVisible(int option, GtkWidget* entry, GtkWidget* keypadButton) {
    if (entry) gtk_widget_set_sensitive(entry, (option & 2) != 0);
    if (keypadButton) {
        if (option & 1) {
            // The builder file keeps the button out of its window's show_all.
            gtk_widget_set_no_show_all(keypadButton, FALSE);
            gtk_widget_show_all(keypadButton);
        } else {
            gtk_widget_hide(keypadButton);
        }
    }
    return 0;
}

int ScreenKeyboardOptionInForce(int option) {
    if ((option & 3) == 1 && !on_VirtualKeypad_Open_Btn_clicked) {
        JOBLOG("[WAR]keypad-only option without a keypad window: the password entry stays editable.\n");
        return option | 2;
    }
    return option;
}

// ---- Dialogs ------------------------------------------------------------------------

int CQuilletUI::GetForListStoreOne(std::string& choice, std::vector<std::string> items, std::string title,
                                   std::string description) {
    JOBLOG("[%s +]\n", "GetForListStoreOne");
    GtkBuilder* builder = LoadWindowBuilder("SSD_SelectOne");
    GtkWidget* dialog = widgetOf(builder, "SSD_SelectOne");
    GObject* storeObject = builder ? gtk_builder_get_object(builder, "SSD_liststore") : nullptr;
    GtkWidget* view = widgetOf(builder, "SSD_tv_stores");
    if (!dialog || !storeObject || !GTK_IS_LIST_STORE(storeObject) || !view) {
        JOBLOG("[ERR]GetForListStoreOne: the builder file holds no list dialog\n");
        if (builder) g_object_unref(builder);
        JOBLOG("[%s -]\n", "GetForListStoreOne");
        return -1;
    }
    GtkListStore* store = GTK_LIST_STORE(storeObject);
    if (!title.empty()) gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
    setLabel(builder, "SSD_lbl_desc", description);
    gtk_list_store_clear(store);
    for (const std::string& item : items) {
        const std::string shown = ShowableText(item);
        gtk_list_store_insert_with_values(store, nullptr, -1, 0, shown.c_str(), -1);
    }
    SelectTreeViewRow(GTK_TREE_VIEW(view), 0);
    m_resourceHelper.SetBuilder(builder);
    m_resourceHelper.SetCtrlText("SSD_btn_ok", CQRH_BUTTON, "OK");
    m_resourceHelper.SetCtrlText("SSD_btn_cancel", CQRH_BUTTON, "Cancel");
    m_resourceHelper.SetBuilder(nullptr);
    g_object_ref(store);
    g_object_unref(builder);

    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    int result = -1;
    if (response == GTK_RESPONSE_OK) {
        result = 0;
        GtkTreeModel* model = nullptr;
        GtkTreeIter iter;
        if (gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(view)), &model, &iter)) {
            gchar* text = nullptr;
            gtk_tree_model_get(model, &iter, 0, &text, -1);
            // The item itself: what was shown may have been converted.
            GtkTreePath* path = gtk_tree_model_get_path(model, &iter);
            const int row = path ? gtk_tree_path_get_indices(path)[0] : -1;
            if (path) gtk_tree_path_free(path);
            JOBLOG("selected row is : %s\n", text ? text : "");
            g_free(text);
            if (row >= 0 && static_cast<size_t>(row) < items.size()) {
                choice = items[static_cast<size_t>(row)];
                result = 1;
            }
        }
    }
    gtk_widget_destroy(dialog);
    g_object_unref(store);
    JOBLOG("[%s -]\n", "GetForListStoreOne");
    return result;
}

int CQuilletUI::GetForInputDataOne(std::string& text, std::string title, std::string description, std::string label) {
    JOBLOG("[%s +]\n", "GetForInputDataOne");
    GtkBuilder* builder = LoadWindowBuilder("IPD_inputPassword");
    GtkWidget* dialog = widgetOf(builder, "IPD_inputPassword");
    GtkWidget* entry = widgetOf(builder, "IPD_entryPassword");
    if (!dialog || !entry || !GTK_IS_ENTRY(entry)) {
        JOBLOG("[ERR]GetForInputDataOne: the builder file holds no input dialog\n");
        if (builder) g_object_unref(builder);
        JOBLOG("[%s -]\n", "GetForInputDataOne");
        return -1;
    }
    if (!title.empty()) gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
    setLabel(builder, "IPD_lbl_desc", description);
    setLabel(builder, "IPD_lbl_password", label);
    m_resourceHelper.SetBuilder(builder);
    m_resourceHelper.SetCtrlText("IPD_btn_ok", CQRH_BUTTON, "OK");
    m_resourceHelper.SetCtrlText("IPD_btn_cancel", CQRH_BUTTON, "Cancel");
    m_resourceHelper.SetBuilder(nullptr);

    // The keypad fills the entry through the dialog widget record.
    DialogWidget& d = m_quilletDatas.m_dialogWidget;
    d = DialogWidget{};
    d.parent = dialog;
    d.activeIndex = 0;
    d.checkButtons[0] = widgetOf(builder, "IPD_VKeyCheckbutton");
    d.entries[0] = entry;
    SetWidgetSensitiveAndVisible(ScreenKeyboardOptionInForce(m_quilletDatas.m_screenKeyboardOption), entry,
                                 widgetOf(builder, "IPD_VKeybutton"));
    gtk_builder_connect_signals(builder, &d);
    g_object_unref(builder);

    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    int result = -1;
    if (response == GTK_RESPONSE_OK) {
        const char* typed = gtk_entry_get_text(GTK_ENTRY(entry));
        result = typed && *typed ? 1 : 0;
        if (result == 1) text = typed;
    }
    // The typed text leaves the widget before it goes.
    gtk_entry_set_text(GTK_ENTRY(entry), "");
    // The keypad never reaches a dialog that is gone.
    if (d.keypadWindow) gtk_widget_destroy(std::exchange(d.keypadWindow, nullptr));
    d = DialogWidget{};
    gtk_widget_destroy(dialog);
    JOBLOG("[%s -]\n", "GetForInputDataOne");
    return result;
}

// ---- Job reset --------------------------------------------------------------------------

int MainUI_GVar_Initialize(void) {
    tmpCertPath.clear();
    filter_info = CertFilter{};
    tmpselectedStoreType = 0;
    SignParameter = UpdateParameter = RevokeParameter = WindowParameter{};
    return ReleasePasswordManager();
}
