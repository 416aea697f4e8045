// The virtual-keypad window: a small window with a web view that shows the
// keypad provider's page under the window that asks for a password. The page
// hands back what the user typed, enciphered, by requesting a URL of the
// provider's scheme ("transkey://", "nfilterkey://"); the adapter of the open
// keypad (VirtualKeypad.h) deciphers it into the password entry, or spreads a
// roaming number over up to four entries.
//
// WebKit2GTK is confined to this file. The page is remote content: it runs
// JavaScript and nothing else (no file access, plugins, developer tools or
// new windows), may navigate only within its own origin, and every request
// of a callback scheme is answered with an error, so the page learns nothing.
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "job/Job.h"
#include "ui/MainUI.h"

namespace {

constexpr int kGap = 30;  // between the parent window and the keypad below it

// The web view of the open keypad and the record it serves; one at a time.
struct OpenKeypad {
    WebKitWebView* view = nullptr;
    DialogWidget* record = nullptr;
    std::string origin;  // scheme://host:port of the keypad page
};
OpenKeypad g_keypad;

bool isOn(GtkWidget* check) { return check && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(check)); }
void setOn(GtkWidget* check, bool on) {
    if (check) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(check), on ? TRUE : FALSE);
}
void setEditable(GtkWidget* entry, bool editable) {
    if (entry) gtk_editable_set_editable(GTK_EDITABLE(entry), editable ? TRUE : FALSE);
}
bool isEmpty(GtkWidget* entry) { return !entry || gtk_entry_get_text_length(GTK_ENTRY(entry)) == 0; }
void clearEntry(GtkWidget* entry) {
    if (entry) gtk_entry_set_text(GTK_ENTRY(entry), "");
}
bool validIndex(const DialogWidget* r) { return r && r->activeIndex >= 0 && r->activeIndex < 4; }

// scheme://host:port, the port spelled out; empty for what does not parse.
std::string originOf(const char* uri) {
    GUri* parsed = uri ? g_uri_parse(uri, G_URI_FLAGS_NONE, nullptr) : nullptr;
    if (!parsed) return {};
    const char* scheme = g_uri_get_scheme(parsed);
    const char* host = g_uri_get_host(parsed);
    int port = g_uri_get_port(parsed);
    std::string origin;
    if (scheme && host) {
        gchar* lowerScheme = g_ascii_strdown(scheme, -1);
        gchar* lowerHost = g_ascii_strdown(host, -1);
        if (port < 0)
            port = std::strcmp(lowerScheme, "https") == 0 ? 443 : std::strcmp(lowerScheme, "http") == 0 ? 80 : 0;
        origin = std::string(lowerScheme) + "://" + lowerHost + ":" + std::to_string(port);
        g_free(lowerScheme);
        g_free(lowerHost);
    }
    g_uri_unref(parsed);
    return origin;
}

// The parent in the middle of the screen, kept there.
void centreParent(GtkWidget* parent) {
    if (!parent || !GTK_IS_WINDOW(parent)) return;
    GdkDisplay* display = gtk_widget_get_display(parent);
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor) monitor = gdk_display_get_monitor(display, 0);
    GdkRectangle screen{0, 0, 0, 0};
    if (monitor) gdk_monitor_get_geometry(monitor, &screen);
    int w = 0, h = 0;
    gtk_window_get_size(GTK_WINDOW(parent), &w, &h);
    gtk_window_move(GTK_WINDOW(parent), screen.x + screen.width / 2 - w / 2, screen.y + screen.height / 2 - h / 2);
    gtk_window_set_position(GTK_WINDOW(parent), GTK_WIN_POS_CENTER_ALWAYS);
}

void hideKeypad(DialogWidget* r) {
    if (r->keypadWindow) gtk_widget_hide(r->keypadWindow);
    centreParent(r->parent);
}

// The result of a callback into the record's entries (the keypad's steps
// after the adapter).
void fillEntries(DialogWidget* r, const char* value) {
    const size_t len = std::strlen(value);
    if (r->splitCount > 0) {
        // Pieces of 4 characters; a value that does not split into text
        // changes nothing.
        char pieces[4][5] = {};
        bool text = g_utf8_validate(value, static_cast<gssize>(len), nullptr);
        for (int i = 0; i < 4 && text; ++i) {
            const size_t p = 4 * static_cast<size_t>(i);
            if (p < len) std::memcpy(pieces[i], value + p, std::min<size_t>(4, len - p));
            text = g_utf8_validate(pieces[i], -1, nullptr);
        }
        for (int i = 0; i < 4 && text; ++i) {
            const size_t p = 4 * static_cast<size_t>(i);
            if (r->checkButtons[i] && p < static_cast<size_t>(r->splitCount) && p < len && r->entries[i])
                gtk_entry_set_text(GTK_ENTRY(r->entries[i]), pieces[i]);
            if (r->checkButtons[i] && !isOn(r->checkButtons[i])) setEditable(r->entries[i], true);
        }
        explicit_bzero(pieces, sizeof pieces);
        return;
    }
    if (!validIndex(r)) return;
    GtkWidget* entry = r->entries[r->activeIndex];
    GtkWidget* check = r->checkButtons[r->activeIndex];
    // GTK takes UTF-8 only; anything else is refused like a failed decipher.
    if (entry)
        gtk_entry_set_text(GTK_ENTRY(entry), g_utf8_validate(value, static_cast<gssize>(len), nullptr) ? value : "");
    if (isEmpty(entry) || !isOn(check)) {
        setOn(check, false);
        setEditable(entry, true);
    }
}

// A callback of the page: nothing for what is not the adapter's, else the
// entries get what it deciphers, and the keypad hides.
void handleCallback(DialogWidget* r, const char* uri) {
    if (!uri || !r) return;
    IVirtualKeypad* keypad = GetQuilletUI()->m_keypadCreator.GetKeypad();
    if (!keypad || keypad->CheckURL(uri) == 0) return;
    // A hidden keypad has given its value; its page gets no second say.
    if (!r->keypadWindow || !gtk_widget_get_visible(r->keypadWindow)) return;
    char result[kKeypadResultSize] = {};
    const int rc = keypad->GetNavigate(uri, result);
    if (rc < 0) std::memset(result, 0, sizeof result);
    result[kKeypadResultSize - 1] = '\0';
    JOBLOG("[NOT]keypad callback: %d\n", rc);
    fillEntries(r, result);
    explicit_bzero(result, sizeof result);
    hideKeypad(r);
}

bool isOpenKeypadView(WebKitWebView* view) { return view && view == g_keypad.view && g_keypad.record; }

// ---- Signal handlers -------------------------------------------------------------------

// Callbacks made as subresource requests (an image, a script, a fetch).
// Every request is finished with an error: the page gets nothing back.
void VirtualKeypad_resource_request_starting(WebKitURISchemeRequest* request, gpointer) {
    WebKitWebView* view = webkit_uri_scheme_request_get_web_view(request);
    if (isOpenKeypadView(view)) handleCallback(g_keypad.record, webkit_uri_scheme_request_get_uri(request));
    GError* error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED, "");
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
}

// Callbacks made as navigations (location.href), new windows refused,
// navigation kept within the page's origin.
gboolean VirtualKeypad_decide_policy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                     gpointer data) {
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION)
        return FALSE;
    auto* r = static_cast<DialogWidget*>(data);
    // A view whose job has ended goes nowhere.
    if (IsQuilletDeleted() || !isOpenKeypadView(view)) {
        webkit_policy_decision_ignore(decision);
        return TRUE;
    }
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    WebKitURIRequest* request = webkit_navigation_action_get_request(action);
    const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
    IVirtualKeypad* keypad = GetQuilletUI()->m_keypadCreator.GetKeypad();
    if (uri && keypad && keypad->CheckURL(uri) != 0) {
        handleCallback(r, uri);
        webkit_policy_decision_ignore(decision);
        return TRUE;
    }
    if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION || originOf(uri) != g_keypad.origin) {
        JOBLOG("[WAR]keypad page navigation refused\n");
        webkit_policy_decision_ignore(decision);
        return TRUE;
    }
    webkit_policy_decision_use(decision);
    return TRUE;
}

GtkWidget* VirtualKeypad_create(WebKitWebView*, WebKitNavigationAction*, gpointer) { return nullptr; }

gboolean VirtualKeypad_load_error(WebKitWebView* view, WebKitLoadEvent, gchar* uri, GError* error, gpointer data) {
    auto* r = static_cast<DialogWidget*>(data);
    if (!r) return FALSE;
    // A refused navigation (a callback, another origin) and a stopped load
    // are not failures of the page.
    if (error &&
        (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
         g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE)))
        return TRUE;
    if (!isOpenKeypadView(view)) return TRUE;
    JOBLOG("[ERR]keypad page did not load: %s\n", error ? error->message : "");
    (void)uri;
    if (validIndex(r)) {
        GtkWidget* check = r->checkButtons[r->activeIndex];
        GtkWidget* entry = r->entries[r->activeIndex];
        if (check && entry && (isEmpty(entry) || !isOn(check))) {
            setOn(check, false);
            setEditable(entry, true);
        }
    }
    hideKeypad(r);
    return TRUE;
}

gboolean VirtualKeypad_load_error_tls(WebKitWebView* view, gchar* uri, GTlsCertificate*, GTlsCertificateFlags,
                                      gpointer data) {
    GError* error = g_error_new_literal(WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_FAILED, "TLS certificate refused");
    const gboolean handled = VirtualKeypad_load_error(view, WEBKIT_LOAD_STARTED, uri, error, data);
    g_error_free(error);
    return handled;
}

// The page's process ended: as a page that did not load.
void VirtualKeypad_web_process_terminated(WebKitWebView* view, WebKitWebProcessTerminationReason, gpointer data) {
    GError* error = g_error_new_literal(WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_FAILED, "web process ended");
    VirtualKeypad_load_error(view, WEBKIT_LOAD_STARTED, nullptr, error, data);
    g_error_free(error);
}

// The user closed the keypad window.
void VirtualKeypad_destroy(GtkWidget*, gpointer data) {
    auto* r = static_cast<DialogWidget*>(data);
    if (!r || !r->keypadWindow) return;
    if (validIndex(r)) {
        GtkWidget* check = r->checkButtons[r->activeIndex];
        if (r->splitCount <= 0) {
            GtkWidget* entry = r->entries[r->activeIndex];
            if (check && entry) {
                if (isOn(check) && isEmpty(entry)) setOn(check, false);
                if (!isOn(check)) setEditable(entry, true);
            }
        } else {
            const int m = std::min(4, (r->splitCount + 3) / 4);
            bool allEmpty = true;
            for (int i = 0; i < m; ++i) allEmpty = allEmpty && isEmpty(r->entries[i]);
            if (isOn(check) && allEmpty) setOn(check, false);
            if (!isOn(check))
                for (int i = 0; i < m; ++i) setEditable(r->entries[i], true);
        }
    }
    centreParent(r->parent);
    GtkWidget* window = std::exchange(r->keypadWindow, nullptr);
    if (!IsQuilletDeleted()) {
        CQuilletUI* ui = GetQuilletUI();
        if (ui->m_quilletDatas.m_dialogWidget.keypadWindow == window)
            ui->m_quilletDatas.m_dialogWidget.keypadWindow = nullptr;
        ui->m_keypadCreator.ReleaseKeypad();
    }
}

void forgetView(GtkWidget* view, gpointer) {
    if (g_keypad.view == WEBKIT_WEB_VIEW(view)) g_keypad = OpenKeypad{};
}

// The open keypad's view hears nothing more before its window is destroyed
// by our code (a new keypad, the UI object's end, which holds the UI lock).
void detachKeypadView() {
    if (g_keypad.view && g_keypad.record) g_signal_handlers_disconnect_by_data(g_keypad.view, g_keypad.record);
    g_keypad = OpenKeypad{};
}

// One web context for every keypad of the process, its callback schemes
// registered once (a context takes a scheme only once).
WebKitWebContext* keypadContext() {
    static WebKitWebContext* context = [] {
        WebKitWebContext* c = webkit_web_context_new_ephemeral();
        webkit_web_context_set_cache_model(c, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
        WebKitSecurityManager* security = webkit_web_context_get_security_manager(c);
        // WebKit lower-cases schemes. Secure, so an https page may request
        // them as images.
        for (const char* scheme : {"transkey", "nfilterkey"}) {
            webkit_web_context_register_uri_scheme(c, scheme, VirtualKeypad_resource_request_starting, nullptr,
                                                   nullptr);
            webkit_security_manager_register_uri_scheme_as_secure(security, scheme);
        }
        return c;
    }();
    return context;
}

WebKitWebView* newKeypadView() {
    WebKitSettings* settings = webkit_settings_new();
    g_object_set(settings, "enable-javascript", TRUE, "javascript-can-open-windows-automatically", FALSE,
                 "allow-file-access-from-file-urls", FALSE, "allow-universal-access-from-file-urls", FALSE,
                 "enable-developer-extras", FALSE, "enable-write-console-messages-to-stdout", FALSE, "enable-plugins",
                 FALSE, "enable-java", FALSE, nullptr);
    auto* view = WEBKIT_WEB_VIEW(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", keypadContext(), "settings", settings, nullptr));
    g_object_unref(settings);
    return view;
}

}  // namespace

// ---- The window -------------------------------------------------------------------------

int CQuilletUI::VirtualKeypad(void* data) {
    JOBLOG("[%s +]\n", __func__);
    auto* record = static_cast<DialogWidget*>(data);
    DialogWidget& own = m_quilletDatas.m_dialogWidget;
    if (own.keypadWindow) {
        GtkWidget* old = std::exchange(own.keypadWindow, nullptr);
        if (record) record->keypadWindow = nullptr;
        detachKeypadView();
        gtk_widget_destroy(old);
    }

    KeypadPageOption option;
    if (KeypadOption_Parse(m_quilletDatas.m_screenKeyboardProviderOption, option) != 0) {
        JOBLOG("[ERR]keypad option has no page URL that may be opened\n");
        return -2;
    }
    if (m_keypadCreator.CreateKeypad(m_quilletDatas.m_screenKeyboardProvider) < 0) {
        JOBLOG("[ERR]no keypad adapter for the provider\n");
        return -3;
    }
    GtkBuilder* builder = LoadWindowBuilder("VKEY_inputpwWindow");
    GtkWidget* window = builder ? GTK_WIDGET(gtk_builder_get_object(builder, "VKEY_inputpwWindow")) : nullptr;
    GtkWidget* scroll = builder ? GTK_WIDGET(gtk_builder_get_object(builder, "VKEY_scrollWindow")) : nullptr;
    if (!window || !scroll) {
        if (builder) g_object_unref(builder);
        m_keypadCreator.ReleaseKeypad();
        return -4;
    }
    own.keypadWindow = window;
    if (record) record->keypadWindow = window;

    WebKitWebView* view = newKeypadView();
    gtk_container_add(GTK_CONTAINER(scroll), GTK_WIDGET(view));
    g_signal_connect(view, "decide-policy", G_CALLBACK(VirtualKeypad_decide_policy), record);
    g_signal_connect(view, "create", G_CALLBACK(VirtualKeypad_create), record);
    g_signal_connect(view, "load-failed", G_CALLBACK(VirtualKeypad_load_error), record);
    g_signal_connect(view, "load-failed-with-tls-errors", G_CALLBACK(VirtualKeypad_load_error_tls), record);
    g_signal_connect(view, "web-process-terminated", G_CALLBACK(VirtualKeypad_web_process_terminated), record);
    g_signal_connect(view, "destroy", G_CALLBACK(forgetView), nullptr);
    g_signal_connect(window, "destroy", G_CALLBACK(VirtualKeypad_destroy), record);
    gtk_builder_connect_signals(builder, window);

    const std::string page = m_keypadCreator.GetKeypad()->GetUrl(option.url);
    g_keypad = OpenKeypad{view, record, originOf(page.c_str())};
    if (record && record->parent && GTK_IS_WINDOW(record->parent))
        gtk_window_set_transient_for(GTK_WINDOW(window), GTK_WINDOW(record->parent));
    webkit_web_view_load_uri(view, page.c_str());
    gtk_widget_grab_focus(GTK_WIDGET(view));
    gtk_widget_show_all(window);

    // Centred under the parent with a gap; the parent moves up by half the
    // keypad's height.
    GtkWidget* parent = record ? record->parent : nullptr;
    if (parent && GTK_IS_WINDOW(parent)) {
        int x = 0, y = 0, w = 0, h = 0;
        gtk_window_set_position(GTK_WINDOW(parent), GTK_WIN_POS_CENTER);
        gtk_window_get_position(GTK_WINDOW(parent), &x, &y);
        gtk_window_get_size(GTK_WINDOW(parent), &w, &h);
        const int top = y - (option.height + kGap) / 2;
        gtk_window_move(GTK_WINDOW(parent), x, top);
        gtk_widget_set_size_request(scroll, option.width, option.height);
        gtk_window_resize(GTK_WINDOW(window), option.width, option.height);
        gtk_window_move(GTK_WINDOW(window), x + w / 2 - option.width / 2, top + h + kGap);
    } else {
        gtk_widget_set_size_request(scroll, option.width, option.height);
        gtk_window_resize(GTK_WINDOW(window), option.width, option.height);
    }
    g_object_unref(builder);
    JOBLOG("[%s -]\n", __func__);
    return 0;
}

void CQuilletUI::CloseVirtualKeypad() {
    DialogWidget& own = m_quilletDatas.m_dialogWidget;
    // The slot first: the window's destroy handler then leaves the record.
    if (GtkWidget* window = std::exchange(own.keypadWindow, nullptr)) {
        detachKeypadView();
        gtk_widget_destroy(window);
    }
    m_keypadCreator.ReleaseKeypad();
}

int MU_VirtualKeypadWindow(void* record) { return GetQuilletUI()->VirtualKeypad(record); }

void ToggleVirtualKeypad(DialogWidget* r) {
    if (!r || IsQuilletDeleted() || GetQuilletUI()->m_quilletDatas.m_screenKeyboardOption == 0) return;
    if (!validIndex(r)) return;
    GtkWidget* check = r->checkButtons[r->activeIndex];
    GtkWidget* entry = r->entries[r->activeIndex];
    if (isOn(check)) {
        // Off again: typing instead; an open keypad stays open.
        setOn(check, false);
        clearEntry(entry);
        setEditable(entry, true);
        return;
    }
    setOn(check, true);
    clearEntry(entry);
    setEditable(entry, false);
    MU_VirtualKeypadWindow(r);
}

// ---- Handlers bound from the builder file ---------------------------------------------

void on_VirtualKeypad_Open_Btn_clicked(GtkWidget*, gpointer data) {
    if (!data) return;
    auto* w = static_cast<MUIWidget*>(data);
    DialogWidget& d = GetQuilletUI()->m_quilletDatas.m_dialogWidget;
    d.checkButtons[0] = w->MUI_VKeyCheckbutton;
    d.parent = w->MUI_window;
    d.activeIndex = 0;
    d.splitCount = 0;
    d.entries[0] = w->MUI_entry_password;
    ToggleVirtualKeypad(&d);
}

void on_VirtualKeypad_Open_Btn_clicked1(GtkWidget*, gpointer data) {
    if (!data) return;
    auto* w = static_cast<MUIWidget*>(data);
    DialogWidget& d = GetQuilletUI()->m_quilletDatas.m_dialogWidget;
    d.checkButtons[1] = w->MUI_last;
    d.entries[1] = w->MUI_widgets[0];  // the second password entry
    d.parent = w->MUI_window;
    d.activeIndex = 1;
    d.splitCount = 0;
    ToggleVirtualKeypad(&d);
}

namespace {
void openDialogKeypad(gpointer data, int index) {
    if (!data) return;
    auto* d = static_cast<DialogWidget*>(data);
    d->activeIndex = index;
    d->splitCount = 0;
    ToggleVirtualKeypad(d);
}
}  // namespace

void on_VirtualKeypad_Open_DlgBtn_clicked(GtkWidget*, gpointer data) { openDialogKeypad(data, 0); }
void on_VirtualKeypad_Open_DlgBtn_clicked1(GtkWidget*, gpointer data) { openDialogKeypad(data, 1); }
void on_VirtualKeypad_Open_DlgBtn_clicked2(GtkWidget*, gpointer data) { openDialogKeypad(data, 2); }

void on_RIW_VirtualKeypad_Open_Btn_clicked(GtkWidget*, gpointer data) {
    if (!data || IsQuilletDeleted()) return;
    CQuilletUI* ui = GetQuilletUI();
    if (ui->m_quilletDatas.m_screenKeyboardOption == 0) return;
    DialogWidget& d = ui->m_quilletDatas.m_dialogWidget;
    if (!validIndex(&d)) return;
    GtkWidget* check = d.checkButtons[d.activeIndex];
    const bool wasOn = isOn(check);
    setOn(check, !wasOn);
    for (GtkWidget* entry : d.entries) {
        clearEntry(entry);
        setEditable(entry, wasOn);
    }
    if (!wasOn) MU_VirtualKeypadWindow(&d);
}
