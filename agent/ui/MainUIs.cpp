// The job's UI object, the closing of a job's window, the builder file and
// pictures of the installation, and the GTK utilities of the windows.
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <iterator>
#include <mutex>
#include <sstream>
#include <utility>

#include "common/DMLinuxUtil.h"
#include "job/Job.h"
#include "ui/MainUI.h"

namespace {

// The pointer alone is guarded: GTK never runs under the lock, and the
// object is deleted outside it (except by ClearQuilletUI).
std::mutex g_quilletUIMutex;
CQuilletUI* g_pQuilletUI = nullptr;

// Closings taken out but not yet run, with their idle source.
struct PendingClose {
    guint source;
    CQuilletUI* ui;
};
std::vector<PendingClose> g_pendingCloses;

constexpr int kMaxPasswordBytes = 255;

}  // namespace

// ---- The object -------------------------------------------------------------------

CQuilletUI::CQuilletUI() { m_resourceHelper.SetResource("KOR"); }

CQuilletUI::~CQuilletUI() {
    CloseVirtualKeypad();
    CloseWidget();
    explicit_bzero(targetUSBVolume, sizeof targetUSBVolume);
    explicit_bzero(currentUSBVolume, sizeof currentUSBVolume);
}

void CQuilletUI::CloseWidget() {
    if (!m_muiWidget.MUI_window) return;
    JOBLOG("---------------------- gtk_widget_hide(m_muiWidget.MUI_window); ---------------------\n");
    GtkWidget* window = std::exchange(m_muiWidget.MUI_window, nullptr);
    gtk_widget_hide(window);
    gtk_widget_destroy(window);
}

CQuilletUI* GetQuilletUI() {
    std::lock_guard lock(g_quilletUIMutex);
    if (!g_pQuilletUI) g_pQuilletUI = new CQuilletUI();
    return g_pQuilletUI;
}

int IsQuilletDeleted() {
    std::lock_guard lock(g_quilletUIMutex);
    return g_pQuilletUI == nullptr ? 1 : 0;
}

void ClearQuilletUI() {
    std::lock_guard lock(g_quilletUIMutex);
    delete std::exchange(g_pQuilletUI, nullptr);
}

// ---- Closing ------------------------------------------------------------------------

gboolean CloseWidjetThreadCBFnc(gpointer data) {
    auto* ui = static_cast<CQuilletUI*>(data);
    for (auto it = g_pendingCloses.begin(); it != g_pendingCloses.end(); ++it)
        if (it->ui == ui) {
            g_pendingCloses.erase(it);
            break;
        }
    delete ui;
    Quillet_exit(1, "MainUIs.cpp", "CloseWidjetThreadCBFnc", __LINE__);
    // The window's loop ends with its job's window, whatever the running
    // flag says (closeApp quits it only inside a job).
    if (gtk_main_level() > 0) gtk_main_quit();
    return G_SOURCE_REMOVE;
}

int Start_CloseMainWidgetThread(int) {
    if (IsQuilletDeleted()) return 1;
    CQuilletUI* ui = nullptr;
    {
        std::lock_guard lock(g_quilletUIMutex);
        ui = std::exchange(g_pQuilletUI, nullptr);
    }
    if (!ui) return 1;
    ui->CloseWidget();
    if (g_main_depth() > 0) {
        // After the handler that called us has returned.
        const guint source = g_idle_add(CloseWidjetThreadCBFnc, ui);
        g_pendingCloses.push_back({source, ui});
    } else {
        // No loop would ever run the callback (a window that never showed).
        CloseWidjetThreadCBFnc(ui);
    }
    return 0;
}

void RunPendingClose() {
    while (!g_pendingCloses.empty()) {
        const PendingClose p = g_pendingCloses.front();
        g_source_remove(p.source);
        CloseWidjetThreadCBFnc(p.ui);
    }
}

int RunJobWindowLoop(GtkWidget* window) {
    if (window) {
        gtk_window_set_keep_above(GTK_WINDOW(window), TRUE);
        gtk_widget_show(window);
    }
    SetRunningFlag(CONST_APP_RUN_VALUE);
    // A window closed before its loop (a handler of a dialog run before it)
    // has ended its job already.
    if (!IsQuilletDeleted()) gtk_main();
    RunPendingClose();
    return 0;
}

const char* JobEditionText(const char* key) {
    {
        std::lock_guard lock(g_quilletUIMutex);
        if (g_pQuilletUI) return g_pQuilletUI->m_resourceHelper.GetResourceData(key ? key : "");
    }
    // After the closing: the job's edition, from a helper of our own.
    static CQuilletResourceHelper helper;
    helper.SetResource(g_swLanguage_Eng ? "ENG" : "KOR");
    return helper.GetResourceData(key ? key : "");
}

// ---- Boxes ---------------------------------------------------------------------------

namespace {

gint runBox(const char* text, const char* title, GtkMessageType type, GtkButtonsType buttons) {
    // Without a display there is nobody to answer: the box is not shown.
    if (gdk_display_get_default() == nullptr) return GTK_RESPONSE_NONE;
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, type, buttons, "%s", text ? text : "");
    gtk_window_set_title(GTK_WINDOW(dialog), title ? title : "");
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return response;
}

}  // namespace

void CQuilletUI::MessageBox(const char* text, const char* title, GtkMessageType type) {
    runBox(text, title, type, GTK_BUTTONS_OK);
}

int CQuilletUI::MessageBoxOKCancel(const char* text, const char* title, GtkMessageType type) {
    return runBox(text, title, type, GTK_BUTTONS_OK_CANCEL) == GTK_RESPONSE_OK ? 1 : 0;
}

int CQuilletUI::SetSelectedCertPassword(const char* password) {
    SelectedCertValues& v = m_quilletDatas.m_selectedCertValues;
    explicit_bzero(v.password, sizeof v.password);
    const size_t n = password ? std::strlen(password) : 0;
    if (n > kMaxPasswordBytes) {
        // A cut password would be another password.
        MessageBox(g_swLanguage_Eng ? "The password is too long: at most 255 bytes."
                                    : "인증서 암호가 너무 깁니다. 255바이트 이하로 입력하십시오.",
                   m_resourceHelper.GetResourceData("CONFIRM"), GTK_MESSAGE_WARNING);
        return -1;
    }
    if (n) std::memcpy(v.password, password, n);
    return 0;
}

// ---- Lists ----------------------------------------------------------------------------

int CQuilletUI::UpdateListStoreForCertList(GtkListStore* store) {
    if (!store) return 0;
    GdkPixbuf* icons[3] = {
        gdk_pixbuf_new_from_file(QuilletResourcePath("IMG_CertStatus_Validity.bmp").c_str(), nullptr),
        gdk_pixbuf_new_from_file(QuilletResourcePath("IMG_CertStatus_Expiration.bmp").c_str(), nullptr),
        gdk_pixbuf_new_from_file(QuilletResourcePath("IMG_CertStatus_LikeExpiration.bmp").c_str(), nullptr),
    };
    gtk_list_store_clear(store);
    for (const CertLists& row : m_quilletDatas.m_certLists) {
        const std::string subject = CQuilletUtils::ConvertEUCKRtoUTF8(row.subject);
        const std::string issuer = CQuilletUtils::ConvertEUCKRtoUTF8(row.issuer);
        const std::string policy = CQuilletUtils::ConvertEUCKRtoUTF8(row.oidtype);
        // The store writes only 0, 1 and 2; anything else shows no icon.
        GdkPixbuf* icon = row.expireflag == "0"   ? icons[0]
                          : row.expireflag == "1" ? icons[1]
                          : row.expireflag == "2" ? icons[2]
                                                  : nullptr;
        gtk_list_store_insert_with_values(store, nullptr, -1, 0, row.id.c_str(), 1, subject.c_str(), 2, issuer.c_str(),
                                          3, policy.c_str(), 4, row.expiredata.c_str(), 5, icon, -1);
    }
    for (GdkPixbuf* icon : icons)
        if (icon) g_object_unref(icon);
    return 0;
}

int CQuilletUI::SelectTreeViewRow(GtkTreeView* view, int n) {
    if (!view) return -1;
    GtkTreeSelection* selection = gtk_tree_view_get_selection(view);
    if (n < 0) {
        gtk_tree_selection_unselect_all(selection);
        return 0;
    }
    GtkTreeModel* model = gtk_tree_view_get_model(view);
    if (!model) return 0;
    const int rows = gtk_tree_model_iter_n_children(model, nullptr);
    if (rows == 0) return 0;
    GtkTreeIter iter;
    if (rows < n + 1 || !gtk_tree_model_iter_nth_child(model, &iter, nullptr, n)) return -1;
    gtk_tree_selection_select_iter(selection, &iter);
    return 0;
}

// ---- Builder file and pictures -----------------------------------------------------

std::string QuilletBuilderFile() { return std::string(DMLinuxUtil_GetInstallDir()) + "/PennaUI.glade"; }

std::string QuilletResourcePath(const char* name) {
    return std::string(DMLinuxUtil_GetInstallDir()) + "/Resources/" + (name ? name : "");
}

std::vector<std::string> WindowObjectIds(const char* toplevelId) {
    // Objects a window shows that are not its children: each window loads
    // them beside its toplevel, and nothing else of the file.
    static const std::map<std::string, std::vector<std::string>> kExtra = {
        {"ECW_enterCert", {"ECW_liststore_certs"}},
        {"SCTW_signCertWindow", {"ECW_liststore_certs", "SCTW_textbuffer"}},
        {"SCLW_signCertWindow", {"ECW_liststore_certs", "SCLW_liststore_signData"}},
        {"MCW_manageCert", {"ECW_liststore_certs"}},
        {"VCD_viewCert", {"VCD_liststore", "RCAW_RootCAHashWindow"}},
        {"SSD_SelectOne", {"SSD_liststore"}},
    };
    std::vector<std::string> ids{toplevelId ? toplevelId : ""};
    if (const auto it = kExtra.find(ids[0]); it != kExtra.end())
        ids.insert(ids.end(), it->second.begin(), it->second.end());
    return ids;
}

GtkBuilder* LoadWindowBuilder(const char* toplevelId) {
    const std::vector<std::string> ids = WindowObjectIds(toplevelId);
    std::vector<gchar*> names;
    for (const std::string& id : ids) names.push_back(const_cast<gchar*>(id.c_str()));
    names.push_back(nullptr);
    GtkBuilder* builder = gtk_builder_new();
    GError* error = nullptr;
    if (!gtk_builder_add_objects_from_file(builder, QuilletBuilderFile().c_str(), names.data(), &error)) {
        JOBLOG("[ERR]builder file %s: %s\n", QuilletBuilderFile().c_str(), error ? error->message : "");
        g_clear_error(&error);
        g_object_unref(builder);
        return nullptr;
    }
    return builder;
}

GdkPixbuf* create_pixbuf(const char* path) {
    GError* error = nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(path ? path : "", &error);
    if (!pixbuf) {
        JOBLOG("[ERR]%s\n", error ? error->message : "");
        g_clear_error(&error);
    }
    return pixbuf;
}

void image_set_from_file_change_size(GtkImage* image, const char* path, int maxWidth, int maxHeight) {
    if (!image) return;
    GError* error = nullptr;
    GdkPixbuf* picture = gdk_pixbuf_new_from_file(path ? path : "", &error);
    if (error) {
        JOBLOG("ERROR cannot open %s: %s", path ? path : "", error->message);
        g_clear_error(&error);
    }
    const int w = picture ? gdk_pixbuf_get_width(picture) : 0, h = picture ? gdk_pixbuf_get_height(picture) : 0;
    if (!picture || w <= 0 || h <= 0 || maxWidth <= 0 || maxHeight <= 0) {
        if (picture) g_object_unref(picture);
        gtk_image_set_from_file(image, g_downloadedTitleLogoPath.c_str());
        return;
    }
    int height = static_cast<int>(static_cast<long long>(maxWidth) * h / w);
    int width = maxWidth;
    if (maxHeight < height) {
        height = maxHeight;
        width = static_cast<int>(static_cast<long long>(maxHeight) * w / h);
    }
    GdkPixbuf* scaled =
        gdk_pixbuf_scale_simple(picture, width > 0 ? width : 1, height > 0 ? height : 1, GDK_INTERP_BILINEAR);
    gtk_image_set_from_pixbuf(image, scaled);
    if (scaled) g_object_unref(scaled);
    g_object_unref(picture);
}

// ---- Utilities ------------------------------------------------------------------------

std::string CQuilletUtils::ConvertEUCKRtoUTF8(std::string text) {
    gsize written = 0;
    gchar* utf8 =
        g_convert(text.data(), static_cast<gssize>(text.size()), "UTF-8", "CP949", nullptr, &written, nullptr);
    if (!utf8) return text;
    std::string out(utf8, written);
    g_free(utf8);
    return out;
}

std::vector<std::string> CQuilletUtils::StringToken(std::string text, char delimiter) {
    std::vector<std::string> pieces;
    std::istringstream in(text);
    for (std::string piece; std::getline(in, piece, delimiter);) {
        JOBLOG("token [%s]\n", piece.c_str());
        pieces.push_back(std::move(piece));
    }
    return pieces;
}

int CQuilletUtils::IsAllConsistOfAlphabets(std::string text) {
    for (const char c : text)
        if (std::isalpha(static_cast<unsigned char>(c))) return 1;
    return 0;
}

int CQuilletUtils::GetIndexSeletedRadioButtons(const std::vector<GtkRadioButton*>& buttons) {
    for (size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i] && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(buttons[i]))) return static_cast<int>(i);
    return -1;
}
