// The certificate selection windows of log-in and signing jobs (also
// renewal and roaming export), their entry functions and their cancel path.
#include <unistd.h>

#include <cstring>

#include "job/Job.h"
#include "job/Launchers.h"
#include "ui/MainUI.h"

namespace {

enum class Kind { Login, Sign, TextSign, ListSign };

// The ids of one window. Log-in and sign share the certificate-entry window;
// its keypad button is the one id the builder file holds.
struct WindowIds {
    const char* name;  // for the log
    const char* window;
    const char* prefix;
    const char* firstDesc;  // null: none
    const char* passwordDesc;
    const char* passwordCaption;
    const char* banner;  // null: none
};

const WindowIds& idsOf(Kind kind) {
    static const WindowIds login{"Login", "ECW_enterCert", "ECW", nullptr, "ECW_lbl_Desc", "ECW_lbl_Password", nullptr};
    static const WindowIds sign{
        "Sign", "ECW_enterCert", "ECW", nullptr, "ECW_lbl_Desc", "ECW_lbl_Password", "ECW_AlertBannerImage"};
    static const WindowIds text{
        "TextSign",          "SCTW_signCertWindow",  "SCTW", "SCTW_label_Desc_1", "SCTW_label_Desc_2",
        "SCTW_lbl_Password", "SCTW_AlertBannerImage"};
    static const WindowIds list{
        "ListSign",          "SCLW_signCertWindow",  "SCLW", "SCLW_label_Desc_1", "SCLW_label_Desc_2",
        "SCLW_lbl_Password", "SCLW_AlertBannerImage"};
    switch (kind) {
        case Kind::Login:
            return login;
        case Kind::Sign:
            return sign;
        case Kind::TextSign:
            return text;
        case Kind::ListSign:
            break;
    }
    return list;
}

GtkWidget* widgetOf(GtkBuilder* builder, const std::string& id) {
    GObject* o = builder ? gtk_builder_get_object(builder, id.c_str()) : nullptr;
    return o && GTK_IS_WIDGET(o) ? GTK_WIDGET(o) : nullptr;
}

void setTexts(CQuilletResourceHelper& h, const WindowIds& ids, Kind kind) {
    const std::string p = ids.prefix;
    if (kind == Kind::Login) h.SetCtrlText(ids.window, CQRH_WINDOW_TITLE, "SelectCertificate");
    if (ids.firstDesc) h.SetCtrlText(ids.firstDesc, CQRH_LABEL, "SIGNVIEW_DESC");
    const struct {
        const char* suffix;
        CQRH_CTRLTYPE kind;
        const char* key;
    } rows[] = {
        {"_label_selectstorage", CQRH_LABEL, "SelectStorage"},
        {"_label_hdd", CQRH_LABEL, "HDD"},
        {"_label_fdd", CQRH_LABEL, "FDD"},
        {"_label_hsm", CQRH_LABEL, "HSM"},
        {"_label_usb", CQRH_LABEL, "USB"},
        {"_label_phone", CQRH_LABEL, "PHONE"},
        {"_tvc_subject", CQRH_TREEVIEW_COLUMN, "Subject"},
        {"_tvc_issuer", CQRH_TREEVIEW_COLUMN, "Issuer"},
        {"_tvc_policy", CQRH_TREEVIEW_COLUMN, "Type"},
        {"_tvc_lastdate", CQRH_TREEVIEW_COLUMN, "ExpireDate"},
        {"_btn_certView", CQRH_BUTTON, "CertView"},
        {"_btn_certFind", CQRH_BUTTON, "CertFind"},
        {"_btn_certDel", CQRH_BUTTON, "CertDelete"},
        {"_btn_ok", CQRH_BUTTON, "OK"},
        {"_btn_cancel", CQRH_BUTTON, "Cancel"},
    };
    for (const auto& r : rows) h.SetCtrlText(p + r.suffix, r.kind, r.key);
    h.SetCtrlText(ids.passwordDesc, CQRH_LABEL, "InputPasswordDesc");
    h.SetCtrlText(ids.passwordCaption, CQRH_LABEL, "CertPassword");
}

}  // namespace

namespace {

// The steps every selection window runs; returns when the job's window has
// closed (the object is gone then).
int runSelectWindow(CQuilletUI& ui, Kind kind, const std::string& data) {
    const WindowIds& ids = idsOf(kind);
    const std::string p = ids.prefix;
    ui.m_windowMode = kind == Kind::Login ? "LOGIN" : "SIGN";
    JOBLOG("[%s +]\n", ids.name);

    GtkBuilder* builder = LoadWindowBuilder(ids.window);
    GtkWidget* window = widgetOf(builder, ids.window);
    if (!window) {
        // Nothing to show: the job ends as the user's cancel would, never in
        // a loop without a window.
        JOBLOG("[ERR]%s: the builder file holds no window %s\n", ids.name, ids.window);
        if (builder) g_object_unref(builder);
        buttonCancle_clicked(nullptr, ids.name);
        JOBLOG("[%s -]\n", ids.name);
        return 0;
    }
    MUIWidget& w = ui.m_muiWidget;
    w = MUIWidget{};
    w.MUI_window = window;
    if (GdkPixbuf* icon = create_pixbuf(QuilletResourcePath("Icon_Stye_Guidelines(ios_57).png").c_str())) {
        gtk_window_set_icon(GTK_WINDOW(window), icon);
        g_object_unref(icon);
    }
    if ((kind == Kind::Login || kind == Kind::Sign) && g_swForTitleLogoPath == 1) {
        if (GtkWidget* logo = widgetOf(builder, "ECW_logoImg"))
            image_set_from_file_change_size(GTK_IMAGE(logo), g_downloadedTitleLogoPath.c_str(), 480, 69);
    }

    GObject* store = gtk_builder_get_object(builder, "ECW_liststore_certs");
    w.MUI_liststore = store && GTK_IS_LIST_STORE(store) ? GTK_LIST_STORE(store) : nullptr;
    w.MUI_treeview = widgetOf(builder, p + "_tvCerts");
    w.MUI_entry_password = widgetOf(builder, p + "_entry_password");
    const char* radios[] = {"_radio_hdd", "_radio_fdd", "_radio_hsm", "_radio_usb"};
    for (int i = 0; i < 4; ++i) w.MUI_radio[i] = widgetOf(builder, p + radios[i]);
    w.MUI_VKeyCheckbutton = widgetOf(builder, p + "_VKeyCheckbutton");
    GtkWidget* keypadButton = widgetOf(builder, p + "_VKeybutton");
    if (w.MUI_entry_password)
        SetWidgetSensitiveAndVisible(ScreenKeyboardOptionInForce(ui.m_quilletDatas.m_screenKeyboardOption),
                                     w.MUI_entry_password, keypadButton);
    if (keypadButton && on_VirtualKeypad_Open_Btn_clicked)
        g_signal_connect(keypadButton, "clicked", G_CALLBACK(on_VirtualKeypad_Open_Btn_clicked), &w);
    if (kind != Kind::ListSign && w.MUI_entry_password && enterCert_Password_Entry_button_pressed)
        g_signal_connect(w.MUI_entry_password, "key_press_event", G_CALLBACK(enterCert_Password_Entry_button_pressed),
                         &w);

    ui.m_resourceHelper.SetBuilder(builder);
    setTexts(ui.m_resourceHelper, ids, kind);

    if (kind != Kind::Login) {
        if (g_swShowSignAlertBanner != 0 && ids.banner) {
            if (GtkWidget* banner = widgetOf(builder, ids.banner)) {
                gtk_image_set_from_file(GTK_IMAGE(banner), g_DownloadAlertBannerPath.c_str());
                gtk_widget_show(banner);
                JOBLOG("SHOW AlertBanner!\n");
            }
        }
        gtk_window_set_title(GTK_WINDOW(window), ShowableText(SignParameter.title).c_str());
    }
    // The data the user signs, shown read-only.
    if (kind == Kind::Sign) {
        // The certificate-entry window has no text area: the data goes above
        // its password description.
        const std::string shown = ShowableText(data);
        GtkWidget* desc = widgetOf(builder, ids.passwordDesc);
        GtkWidget* box = desc ? gtk_widget_get_parent(desc) : nullptr;
        if (box && GTK_IS_BOX(box) && !shown.empty()) {
            GtkWidget* label = gtk_label_new(shown.c_str());
            gtk_widget_set_name(label, "ECW_signData");
            gtk_label_set_selectable(GTK_LABEL(label), TRUE);
            gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
            gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
            gtk_label_set_max_width_chars(GTK_LABEL(label), 60);
            gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 2);
            gint position = 0;
            gtk_container_child_get(GTK_CONTAINER(box), desc, "position", &position, nullptr);
            gtk_box_reorder_child(GTK_BOX(box), label, position);
            gtk_widget_show(label);
        }
    } else if (kind == Kind::TextSign) {
        GObject* buffer = gtk_builder_get_object(builder, "SCTW_textbuffer");
        if (buffer && GTK_IS_TEXT_BUFFER(buffer)) {
            const std::string shown = ShowableText(data);
            gtk_text_buffer_set_text(GTK_TEXT_BUFFER(buffer), shown.c_str(), -1);
        }
        if (GtkWidget* view = widgetOf(builder, "SCTW_textview_signData"))
            gtk_text_view_set_editable(GTK_TEXT_VIEW(view), FALSE);
    } else if (kind == Kind::ListSign) {
        GObject* rows = gtk_builder_get_object(builder, "SCLW_liststore_signData");
        if (rows && GTK_IS_LIST_STORE(rows)) ui.UpdateListStoreForSignData(GTK_LIST_STORE(rows), data);
    }

    // The certificates: the job's filter; a renewal's own, which the
    // handlers then read as the sign parameters.
    const CertFilter* filter = &SignParameter.s_filter_info;
    if (kind == Kind::Login) filter = g_swForCertUpdate == 1 ? &UpdateParameter.s_filter_info : &filter_info;
    GetDomainCertList(0, nullptr, filter);
    if (kind == Kind::Login && g_swForCertUpdate == 1) SignParameter = UpdateParameter;
    ui.UpdateListStoreForCertList(w.MUI_liststore);
    if (w.MUI_treeview) ui.SelectTreeViewRow(GTK_TREE_VIEW(w.MUI_treeview), 0);

    gtk_builder_connect_signals(builder, &w);
    // The user types the password first: the entry has the focus when it
    // takes typing.
    if (w.MUI_entry_password && gtk_widget_get_sensitive(w.MUI_entry_password) &&
        gtk_editable_get_editable(GTK_EDITABLE(w.MUI_entry_password)))
        gtk_widget_grab_focus(w.MUI_entry_password);
    ui.m_resourceHelper.SetBuilder(nullptr);
    g_object_unref(builder);

    const char* name = ids.name;
    RunJobWindowLoop(window);
    JOBLOG("[%s -]\n", name);
    return 0;
}

}  // namespace

int CQuilletUI::Login() { return runSelectWindow(*this, Kind::Login, ""); }
int CQuilletUI::Sign(std::string text) {
    const int rc = runSelectWindow(*this, Kind::Sign, text);
    explicit_bzero(text.data(), text.size());
    return rc;
}
int CQuilletUI::TextSign(std::string text) {
    const int rc = runSelectWindow(*this, Kind::TextSign, text);
    explicit_bzero(text.data(), text.size());
    return rc;
}
int CQuilletUI::ListSign(std::string signData) {
    const int rc = runSelectWindow(*this, Kind::ListSign, signData);
    explicit_bzero(signData.data(), signData.size());
    return rc;
}

int CQuilletUI::UpdateListStoreForSignData(GtkListStore* store, std::string signData) {
    JOBLOG("UpdateListStoreForSignData(), strSignData = [%s]\n", signData.c_str());
    if (!store) return 0;
    gtk_list_store_clear(store);
    for (const auto& [name, value] : SplitSignDataRows(signData)) {
        const std::string n = ShowableText(name), v = ShowableText(value);
        gtk_list_store_insert_with_values(store, nullptr, -1, 0, n.c_str(), 1, v.c_str(), -1);
    }
    return 0;
}

// ---- Entry functions --------------------------------------------------------------

int MU_LoginWindow(void) { return GetQuilletUI()->Login(); }
int MU_SignWindow(const char* text) { return GetQuilletUI()->Sign(text ? text : ""); }
int MU_TextSignWindow(const char* text) { return GetQuilletUI()->TextSign(text ? text : ""); }
int MU_ListSignWindow(const char* signData) { return GetQuilletUI()->ListSign(signData ? signData : ""); }

// ---- Cancel -------------------------------------------------------------------------

int buttonCancle_clicked(GtkWidget*, const char* label) {
    JOBLOG("%s pressed \n", label ? label : "");
    send_Cancel();
    return Start_CloseMainWidgetThread(0);
}

int on_ECW_enterCert_destroy(GtkWidget* widget, gpointer) {
    // The closing destroys the window after the object is gone: that
    // destruction reports nothing.
    if (IsQuilletDeleted()) return 1;
    // The handler's data is the widget record, no text: the log gets a name.
    return buttonCancle_clicked(widget, "Cancel");
}

int enterCert_btn_cancel_clicked(GtkWidget* widget, gpointer data) {
    JOBLOG("Cancel btn clicked.. exit login window.\n");
    return on_ECW_enterCert_destroy(widget, data);
}
