// The certificate manager: four tabs over one list store, the medium of
// the user tab, and the actions on the selected certificate.
#include "ui/ManagerWindow.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "job/Job.h"
#include "job/ManageActions.h"
#include "ui/DetailWindow.h"
#include "ui/RemovableMedia.h"

namespace {

// Slots of the manager's widget record (MUI_widgets): the hover labels of
// the four tabs, then the tree views of tabs 1 to 3.
constexpr int kDescSlot = 1;
constexpr int kTabViewSlot = 5;

GtkWidget* widget(GtkBuilder* b, const char* id) { return GTK_WIDGET(gtk_builder_get_object(b, id)); }

CQuilletUI* ui() { return GetQuilletUI(); }
const char* text(const char* key) { return ui()->m_resourceHelper.GetResourceData(key); }
void box(const char* textKey, const char* titleKey, GtkMessageType type) {
    CQuilletUI::MessageBox(text(textKey), text(titleKey), type);
}
void warn(const char* textKey, const char* titleKey) { box(textKey, titleKey, GTK_MESSAGE_WARNING); }
void info(const char* textKey, const char* titleKey) { box(textKey, titleKey, GTK_MESSAGE_INFO); }

struct Wiped {
    std::string text;
    ~Wiped() { explicit_bzero(text.data(), text.size()); }
};

std::string entryText(GtkWidget* entry) { return entry ? gtk_entry_get_text(GTK_ENTRY(entry)) : ""; }
void clearEntry(GtkWidget* entry) {
    if (!entry) return;
    GtkEntryBuffer* buffer = gtk_entry_get_buffer(GTK_ENTRY(entry));
    const std::string blank(gtk_entry_buffer_get_length(buffer), ' ');
    gtk_entry_buffer_set_text(buffer, blank.c_str(), -1);
    gtk_entry_buffer_delete_text(buffer, 0, -1);
}

MUIWidget* record(gpointer data) { return static_cast<MUIWidget*>(data); }

GtkTreeView* tabView(MUIWidget* r, int page) {
    GtkWidget* w = page == 0 ? r->MUI_treeview : r->MUI_widgets[kTabViewSlot + page - 1];
    return w ? GTK_TREE_VIEW(w) : nullptr;
}

// The shared store shows in the page's view only: a view measures every
// row of its model, and three hidden views would measure them for nothing.
void showStoreIn(MUIWidget* r, int page) {
    for (int p = 0; p < 4; ++p)
        if (GtkTreeView* view = tabView(r, p)) {
            GtkTreeModel* want = p == page ? GTK_TREE_MODEL(r->MUI_liststore) : nullptr;
            if (gtk_tree_view_get_model(view) != want) gtk_tree_view_set_model(view, want);
        }
}

// Rows of one height, columns of fixed widths: the view lays out what it
// shows, not the whole list.
void fixedRows(GtkTreeView* view) {
    if (!view) return;
    GList* columns = gtk_tree_view_get_columns(view);
    for (GList* l = columns; l; l = l->next) {
        auto* column = GTK_TREE_VIEW_COLUMN(l->data);
        int width = gtk_tree_view_column_get_fixed_width(column);
        if (width <= 0) width = std::max(gtk_tree_view_column_get_width(column), 120);
        gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
        gtk_tree_view_column_set_fixed_width(column, width);
    }
    g_list_free(columns);
    gtk_tree_view_set_fixed_height_mode(view, TRUE);
}

void refill(MUIWidget* r, int page) {
    showStoreIn(r, page);
    ui()->UpdateListStoreForCertList(r->MUI_liststore);
    ui()->SelectTreeViewRow(tabView(r, page), 0);
}

// The user tab's selection becomes the chosen certificate, on the medium
// the tab lists; false (told) without one.
bool chooseSelected(MUIWidget* r) {
    CQuilletUIDatas& d = ui()->m_quilletDatas;
    if (d.SetSelectedCertValues(tabView(r, 0)) != 0) {
        warn("MSG_SELECT_CERT", "SelectCertificate");
        return false;
    }
    d.m_selectedCertValues.selectedStoreType = tmpselectedStoreType;
    return true;
}

// A password asked until one is typed: false when cancelled.
bool askPassword(Wiped& password) {
    for (;;) {
        const int rc = AskText(password.text, text("INPUT"), text("INPUT_CERT_PASSWD"), text("CertPassword"));
        if (rc == 1) return true;
        if (rc == -1) return false;
        warn("Please_enter_the_password_of_the_certificate", "CONFIRM");
    }
}

int cancelJob() {
    if (IsQuilletDeleted()) return 1;
    send_Cancel();
    return Start_CloseMainWidgetThread(0);
}

gboolean onDelete(GtkWidget*, GdkEvent*, gpointer) {
    // Closed by the window manager: the job ends as a cancel, not unreported.
    JOBLOG("MCW_manageCert closed by the window manager.\n");
    tmpselectedStoreType = 0;
    cancelJob();
    return TRUE;
}

void rowActivated(GtkTreeView* view, GtkTreePath*, GtkTreeViewColumn*, gpointer) { ViewSelectedCert(view); }

struct HoverText {
    const char* button;
    const char* english;
    const char* korean;
    bool allTabs;
};
constexpr HoverText kHover[] = {
    {"MCW_btn_copy", "Copy the certificate to another repository.", "선택된 인증서를 다른 저장매체로 복사합니다.",
     false},
    {"MCW_btn_del", "Remove the certificate from current storage.", "선택된 인증서를 저장매체에서 삭제합니다.", false},
    {"MCW_btn_imexport", "Import / Export Certificate.",
     "다른 곳에 저장되어 있는 인증서를 저장소로 가져오거나\n선택한 인증서를 다른 곳으로 내보냅니다.", false},
    {"MCW_btn_changepassword", "Change the password of the certificate..", "선택한 인증서 암호를 변경합니다.", false},
    {"MCW_btn_viewcert", "View the contents of certificate in detail.", "선택된 인증서의 자세한 내용을 봅니다.", true},
    {"MCW_btn_checkme", "Identity Confirmation.",
     "선택한 인증서가 본인의 주민등록번호(혹은 사업자등록번호)로\n발급받은 것이 맞는지 확인합니다.", false},
};

gboolean onEnter(GtkWidget* button, GdkEvent*, gpointer data) {
    auto* r = record(data);
    const auto* h = static_cast<const HoverText*>(g_object_get_data(G_OBJECT(button), "hover"));
    if (!h) return FALSE;
    const char* t = g_swLanguage_Eng ? h->english : h->korean;
    for (int i = 0; i < (h->allTabs ? 4 : 1); ++i)
        if (GtkWidget* label = r->MUI_widgets[kDescSlot + i]) gtk_label_set_text(GTK_LABEL(label), t);
    return FALSE;
}

gboolean onLeave(GtkWidget*, GdkEvent*, gpointer data) {
    auto* r = record(data);
    for (int i = 0; i < 4; ++i)
        if (GtkWidget* label = r->MUI_widgets[kDescSlot + i]) gtk_label_set_text(GTK_LABEL(label), "");
    return FALSE;
}

void connect(GtkBuilder* b, const char* id, const char* signal, GCallback cb, gpointer data) {
    if (GtkWidget* w = widget(b, id)) g_signal_connect(w, signal, cb, data);
}

// The copy dialog's removable radio: the target volume.
void onCopyFdd(GtkWidget* button, gpointer) {
    CQuilletUI* u = ui();
    explicit_bzero(u->targetUSBVolume, sizeof u->targetUSBVolume);
    if (!gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button))) return;
    const int before = tmpselectedStoreType;
    ChooseRemovableVolume();
    tmpselectedStoreType = before;  // the listed medium stays the copy's source
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

int MU_ManageCert(void) { return ManageCertWindow(); }

int ManageCertWindow() {
    CQuilletUI* u = ui();
    u->m_windowMode = "MANAGE";
    JOBLOG("[%s +]\n", "ManageCert");
    GtkBuilder* b = LoadWindowBuilder("MCW_manageCert");
    GtkWidget* window = b ? widget(b, "MCW_manageCert") : nullptr;
    if (!window) {
        if (b) g_object_unref(b);
        return -1;
    }
    MUIWidget& r = u->m_muiWidget;
    r = MUIWidget{};
    r.MUI_window = window;
    r.MUI_liststore = GTK_LIST_STORE(gtk_builder_get_object(b, "ECW_liststore_certs"));
    // The store lives with the window: hidden tabs' views let go of it.
    if (r.MUI_liststore)
        g_object_set_data_full(G_OBJECT(window), "zq-liststore", g_object_ref(r.MUI_liststore), g_object_unref);
    const char* radios[] = {"MCW_radio_hdd", "MCW_radio_fdd", "MCW_radio_hsm", "MCW_radio_usb"};
    for (int i = 0; i < 4; ++i) r.MUI_radio[i] = widget(b, radios[i]);
    r.MUI_treeview = widget(b, "MCW_tvCerts");
    const char* descs[] = {"MCW_lbl_btnDesc", "MCW_lbl_btnDesc_1", "MCW_lbl_btnDesc_2", "MCW_lbl_btnDesc_3"};
    for (int i = 0; i < 4; ++i) r.MUI_widgets[kDescSlot + i] = widget(b, descs[i]);
    const char* views[] = {"MCW_tvCerts1", "MCW_tvCerts2", "MCW_tvCerts3"};
    for (int i = 0; i < 3; ++i) r.MUI_widgets[kTabViewSlot + i] = widget(b, views[i]);
    for (int p = 0; p < 4; ++p) fixedRows(tabView(&r, p));
    if (GdkPixbuf* icon = create_pixbuf(QuilletResourcePath("Icon_Stye_Guidelines(ios_57).png").c_str())) {
        gtk_window_set_icon(GTK_WINDOW(window), icon);
        g_object_unref(icon);
    }
    // Only the hard disk and removable volumes hold files the store manages.
    for (int i = 2; i < 4; ++i)
        if (r.MUI_radio[i]) gtk_widget_set_sensitive(r.MUI_radio[i], FALSE);

    CQuilletResourceHelper& h = u->m_resourceHelper;
    h.SetBuilder(b);
    h.SetCtrlText("MCW_manageCert", CQRH_WINDOW_TITLE, "CertManage");
    const char* tabs[][2] = {{"MCW_tab_User", "UserCert"},
                             {"MCW_tab_CA", "CACert"},
                             {"MCW_tab_RootCA", "RootCACert"},
                             {"MCW_tab_PrivateCA", "PrivateCACert"}};
    for (const auto& t : tabs) h.SetCtrlText(t[0], CQRH_LABEL, t[1]);
    const char* sfx[] = {"", "1", "2", "3"};
    const char* bsfx[] = {"", "_1", "_2", "_3"};
    const char* media[][2] = {{"hdd", "HDD"}, {"fdd", "FDD"}, {"hsm", "HSM"}, {"usb", "USB"}, {"phone", "PHONE"}};
    const char* columns[4][4] = {{"MCW_tvc_subject", "MCW_tvc_issuer", "MCW_tvc_policy", "MCW_tvc_lastdate"},
                                 {"treeviewcolumn11", "treeviewcolumn12", "treeviewcolumn13", "treeviewcolumn14"},
                                 {"treeviewcolumn17", "treeviewcolumn18", "treeviewcolumn19", "treeviewcolumn20"},
                                 {"treeviewcolumn22", "treeviewcolumn23", "treeviewcolumn24", "treeviewcolumn25"}};
    const char* columnKeys[] = {"Subject", "Issuer", "Type", "ExpireDate"};
    const char* buttons[][2] = {{"MCW_btn_copy", "CertCopy"},
                                {"MCW_btn_del", "CertDelete"},
                                {"MCW_btn_imexport", "P12ImExport"},
                                {"MCW_btn_changepassword", "ChangePassword"},
                                {"MCW_btn_viewcert", "CertViewAndVerify"},
                                {"MCW_btn_checkme", "VIDCheck"}};
    for (int t = 0; t < 4; ++t) {
        h.SetCtrlText(std::string("MCW_label_storetype") + sfx[t], CQRH_LABEL, "SelectStorage");
        for (const auto& m : media) h.SetCtrlText(std::string("MCW_lbl_") + m[0] + sfx[t], CQRH_LABEL, m[1]);
        for (int c = 0; c < 4; ++c) h.SetCtrlText(columns[t][c], CQRH_TREEVIEW_COLUMN, columnKeys[c]);
        h.SetCtrlText(std::string("MCW_label_manage") + sfx[t], CQRH_LABEL, "CertManage");
        for (const auto& bt : buttons) h.SetCtrlText(std::string(bt[0]) + bsfx[t], CQRH_BUTTON, bt[1]);
    }
    h.SetCtrlText("MCW_btn_close", CQRH_BUTTON, "Close");
    h.SetBuilder(nullptr);

    GetDomainCertList(0, nullptr, &filter_info);
    refill(&r, 0);

    gpointer data = &r;
    connect(b, "MCW_notebook", "switch-page", G_CALLBACK(on_MCW_notebook_switch_page), data);
    connect(b, "MCW_radio_hdd", "clicked", G_CALLBACK(on_MCW_manageCert_radiobtn_HDD_clicked), data);
    connect(b, "MCW_radio_fdd", "clicked", G_CALLBACK(on_MCW_manageCert_radiobtn_FDD_clicked), data);
    connect(b, "MCW_btn_close", "clicked", G_CALLBACK(on_MCW_btn_close_clicked), data);
    connect(b, "MCW_btn_copy", "clicked", G_CALLBACK(on_MCW_btn_copy_clicked), data);
    connect(b, "MCW_btn_del", "clicked", G_CALLBACK(on_MCW_btn_del_clicked), data);
    connect(b, "MCW_btn_changepassword", "clicked", G_CALLBACK(on_MCW_btn_changepassword_clicked), data);
    connect(b, "MCW_btn_checkme", "clicked", G_CALLBACK(on_MCW_btn_checkme_clicked), data);
    connect(b, "MCW_btn_imexport", "clicked", G_CALLBACK(on_MCW_btn_imexport_clicked), data);
    connect(b, "MCW_btn_viewcert", "clicked", G_CALLBACK(on_MCW_btn_viewcert_clicked), data);
    connect(b, "MCW_btn_viewcert_1", "clicked", G_CALLBACK(on_MCW_btn_viewcert_1_clicked), data);
    connect(b, "MCW_btn_viewcert_2", "clicked", G_CALLBACK(on_MCW_btn_viewcert_2_clicked), data);
    connect(b, "MCW_btn_viewcert_3", "clicked", G_CALLBACK(on_MCW_btn_viewcert_3_clicked), data);
    for (const char* v : {"MCW_tvCerts", "MCW_tvCerts1", "MCW_tvCerts2", "MCW_tvCerts3"})
        connect(b, v, "row-activated", G_CALLBACK(rowActivated), data);
    for (int t = 0; t < 4; ++t)
        for (const HoverText& ht : kHover)
            if (GtkWidget* w = widget(b, (std::string(ht.button) + bsfx[t]).c_str())) {
                g_object_set_data(G_OBJECT(w), "hover", const_cast<HoverText*>(&ht));
                g_signal_connect(w, "enter-notify-event", G_CALLBACK(onEnter), data);
                g_signal_connect(w, "leave-notify-event", G_CALLBACK(onLeave), data);
            }
    g_signal_connect(window, "delete-event", G_CALLBACK(onDelete), nullptr);
    g_object_unref(b);
    RunJobWindowLoop(window);
    JOBLOG("[%s -]\n", "ManageCert");
    return 0;
}

void on_MCW_notebook_switch_page(GtkNotebook*, GtkWidget*, guint page, gpointer data) {
    if (IsQuilletDeleted() || page > 3) return;
    JOBLOG("on_MCW_notebook_switch_page() page = %u\n", page);
    // Tab 0 lists the medium the radios chose.
    if (page == 0 && tmpselectedStoreType == 1)
        GetDomainCertList(4, ui()->currentUSBVolume, nullptr);
    else
        GetDomainCertList(static_cast<int>(page), nullptr, nullptr);
    refill(record(data), static_cast<int>(page));
}

void on_MCW_manageCert_radiobtn_HDD_clicked(GtkWidget* button, gpointer data) {
    if (!gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button))) return;
    tmpselectedStoreType = 0;
    explicit_bzero(ui()->currentUSBVolume, sizeof ui()->currentUSBVolume);
    GetDomainCertList(0, nullptr, &filter_info);
    refill(record(data), 0);
    ui()->m_quilletDatas.m_selectedCertValues.selectedStoreType = 0;
}

void on_MCW_manageCert_radiobtn_FDD_clicked(GtkWidget* button, gpointer data) {
    if (!gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button))) return;
    CQuilletUI* u = ui();
    explicit_bzero(u->targetUSBVolume, sizeof u->targetUSBVolume);
    ChooseRemovableVolume();
    std::memcpy(u->currentUSBVolume, u->targetUSBVolume, sizeof u->currentUSBVolume);
    explicit_bzero(u->targetUSBVolume, sizeof u->targetUSBVolume);
    tmpselectedStoreType = 1;
    // No volume lists nothing: the hard disk's rows must not look like the
    // volume's.
    u->m_quilletDatas.ClearCertLists(0);
    if (u->currentUSBVolume[0]) GetDomainCertList(4, u->currentUSBVolume, nullptr);
    refill(record(data), 0);
}

void on_MCW_btn_close_clicked(GtkWidget*, gpointer) {
    if (IsQuilletDeleted()) return;
    tmpselectedStoreType = 0;
    send_BlankOK();
    Start_CloseMainWidgetThread(0);
}

void on_MCW_btn_copy_clicked(GtkWidget*, gpointer data) {
    auto* r = record(data);
    if (!chooseSelected(r)) return;
    // The source is the medium the manager lists.
    const int source = tmpselectedStoreType;
    std::map<std::string, std::string> answer;
    for (;;) {
        answer = GetForCopyCert(source);
        if (answer["error"] != "yes") break;
        CQuilletUI::MessageBox(answer["errormsg"].c_str(), text("CONFIRM"), GTK_MESSAGE_WARNING);
    }
    if (answer["cancel"] == "yes") return;
    Wiped password;
    password.text.swap(answer["password"]);
    const int media = std::atoi(answer["media"].c_str());
    CQuilletUI* u = ui();
    if ((media != 0 && u->targetUSBVolume[0] == '\0') || media == source) {
        warn("NO_REMOVABLE_DRIVE", "SELECT");
        return;
    }
    if (sig_Check_CertPasswd(password.text.c_str()) != 0) {
        warn("PASSWORD_CHECK_FAILED", "CONFIRM");
        return;
    }
    const std::string target = u->targetUSBVolume;
    if (sig_Cert_Domain_Copy(source, media, media == 0 ? nullptr : target.c_str(), password.text.c_str()) == 0)
        info("COPY_CERT_OK", "CONFIRM");
    else
        warn("COPY_CERT_FAILED", "CONFIRM");
}

std::map<std::string, std::string> GetForCopyCert(int sourceIndex) {
    JOBLOG("[%s +]\n", "GetForCopyCert");
    std::map<std::string, std::string> result;
    GtkBuilder* b = LoadWindowBuilder("CCD_copyCert");
    GtkWidget* dialog = b ? widget(b, "CCD_copyCert") : nullptr;
    if (!dialog) {
        if (b) g_object_unref(b);
        result["cancel"] = "yes";
        return result;
    }
    GtkWidget* radios[5] = {widget(b, "CCD_radio_hdd"), widget(b, "CCD_radio_fdd"), widget(b, "CCD_radio_hsm"),
                            widget(b, "CCD_radio_usb"), widget(b, "CCD_radio_phone")};
    GtkWidget* entry = widget(b, "CCD_entry_password");
    CQuilletResourceHelper& h = ui()->m_resourceHelper;
    h.SetBuilder(b);
    h.SetCtrlText("CCD_copyCert", CQRH_WINDOW_TITLE, "CertCopy");
    const char* labels[][2] = {
        {"CCD_label_storetype", "SelectStorage"},
        {"CCD_label_Desc_1", "select_media_to_store_the_certficiate"},
        {"CCD_lbl_hdd", "HDD"},
        {"CCD_lbl_fdd", "FDD"},
        {"CCD_lbl_hsm", "HSM"},
        {"CCD_lbl_usb", "USB"},
        {"CCD_lbl_phone", "PHONE"},
        {"CCD_label_Desc_2", "Warning_msg1"},
        {"CCD_label_CheckPasswd", "checkPasswd"},
        {"CCD_label_Please_enter_the_password_of_the_certificate", "Please_enter_the_password_of_the_certificate"},
        {"CCD_label_Password", "CertPassword"}};
    for (const auto& l : labels) h.SetCtrlText(l[0], CQRH_LABEL, l[1]);
    h.SetCtrlText("CCD_btn_ok", CQRH_BUTTON, "OK");
    h.SetCtrlText("CCD_btn_cancel", CQRH_BUTTON, "Cancel");
    h.SetBuilder(nullptr);
    for (const char* id : {"CCD_VKeybutton", "CCD_VKeyCheckbutton"})
        if (GtkWidget* w = widget(b, id)) gtk_widget_hide(w);
    // Only the hard disk and removable volumes take a copy; the source is
    // no target.
    for (int i = 2; i < 5; ++i)
        if (radios[i]) gtk_widget_set_sensitive(radios[i], FALSE);
    if (sourceIndex == 0 && radios[0] && radios[1]) {
        gtk_widget_set_sensitive(radios[0], FALSE);
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(radios[1]), TRUE);
        explicit_bzero(ui()->targetUSBVolume, sizeof ui()->targetUSBVolume);
    } else if (sourceIndex == 1 && radios[0] && radios[1]) {
        gtk_widget_set_sensitive(radios[1], FALSE);
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(radios[0]), TRUE);
    }
    if (radios[1]) g_signal_connect(radios[1], "clicked", G_CALLBACK(onCopyFdd), nullptr);
    g_object_unref(b);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
        int index = -1;
        for (int i = 0; i < 5 && index < 0; ++i)
            if (radios[i] && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(radios[i]))) index = i;
        const std::string typed = entryText(entry);
        if (index == 1 && ui()->targetUSBVolume[0] == '\0') {
            result["error"] = "yes";
            result["errormsg"] = text("select_media_to_store_the_certficiate");
        } else if (typed.empty()) {
            result["error"] = "yes";
            result["errormsg"] = text("Please_enter_the_password_of_the_certificate");
        } else {
            result["media"] = std::to_string(index);
            result["password"] = typed;
        }
    } else {
        result["cancel"] = "yes";
    }
    clearEntry(entry);
    gtk_widget_destroy(dialog);
    JOBLOG("[%s -]\n", "GetForCopyCert");
    return result;
}

void on_MCW_btn_del_clicked(GtkWidget*, gpointer data) {
    auto* r = record(data);
    if (!chooseSelected(r)) return;
    if (CQuilletUI::MessageBoxOKCancel(text("Delete_confirm"), text("CertDelete"), GTK_MESSAGE_QUESTION) != 1) return;
    if (buttonCertDelete_clicked() == 0)
        info("CertRemoved", "CONFIRM");
    else
        warn("CertRemoveError", "CONFIRM");
    if (tmpselectedStoreType == 1)
        GetDomainCertList(4, ui()->currentUSBVolume, nullptr);
    else
        GetDomainCertList(0, nullptr, &filter_info);
    refill(r, 0);
}

void on_MCW_btn_changepassword_clicked(GtkWidget*, gpointer data) {
    if (!chooseSelected(record(data))) return;
    std::map<std::string, std::string> answer;
    for (;;) {
        answer = GetForChangePassword();
        if (answer["error"] == "yes")
            CQuilletUI::MessageBox(answer["errormsg"].c_str(), text("CONFIRM"), GTK_MESSAGE_WARNING);
        if (answer["error"] != "yes" && answer["retry"] != "yes") break;
    }
    if (answer["cancel"] == "yes") return;
    Wiped current, fresh;
    current.text.swap(answer["current"]);
    fresh.text.swap(answer["new"]);
    const int rc = sig_ChangePasswd_clicked(current.text.c_str(), fresh.text.c_str());
    if (rc == 0)
        info("PASSWORD_CHANGE_OK", "CONFIRM");
    else if (rc == -2)
        info("OLD_PASSWORD_CHECK_FAILED", "CONFIRM");
    else
        warn("PASSWORD_CHANGE_FAILED", "CONFIRM");
}

std::map<std::string, std::string> GetForChangePassword() {
    JOBLOG("[%s +]\n", "GetForChangePassword");
    std::map<std::string, std::string> result;
    GtkBuilder* b = LoadWindowBuilder("CPD_changePassword");
    GtkWidget* dialog = b ? widget(b, "CPD_changePassword") : nullptr;
    if (!dialog) {
        if (b) g_object_unref(b);
        result["cancel"] = "yes";
        return result;
    }
    GtkWidget* entries[3] = {widget(b, "CPD_entry_password"), widget(b, "CPD_entry_newpassword"),
                             widget(b, "CPD_entry_newpassword2")};
    CQuilletResourceHelper& h = ui()->m_resourceHelper;
    h.SetBuilder(b);
    h.SetCtrlText("CPD_changePassword", CQRH_WINDOW_TITLE, "Change_Password");
    if (GtkWidget* desc = widget(b, "CPD_lbl_desc"))
        gtk_label_set_text(GTK_LABEL(desc), ChangePasswordDescription(h).c_str());
    h.SetCtrlText("CPD_old_passwd", CQRH_LABEL, "OLD_PASSWD");
    h.SetCtrlText("CPD_new_passwd", CQRH_LABEL, "NEW_PASSWD");
    h.SetCtrlText("CPD_new_passwd_confirm", CQRH_LABEL, "NEW_PASSWD_CONFIRM");
    h.SetCtrlText("CPD_btn_ok", CQRH_BUTTON, "OK");
    h.SetCtrlText("CPD_btn_cancel", CQRH_BUTTON, "Cancel");
    h.SetCtrlText("CPD_PWSetGuideBtn", CQRH_BUTTON, "PASSWORD_GUIDE");
    h.SetBuilder(nullptr);
    for (const char* id : {"CPD_VKeybutton_cur", "CPD_VKeybutton_new", "CPD_VKeybutton_newretry",
                           "CPD_VKeyCheckbutton_cur", "CPD_VKeyCheckbutton_new", "CPD_VKeyCheckbutton_newretry"})
        if (GtkWidget* w = widget(b, id)) gtk_widget_hide(w);
    g_object_unref(b);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    if (response == 0) {
        result["retry"] = "yes";
    } else if (response == GTK_RESPONSE_OK) {
        const std::string cur = entryText(entries[0]), n1 = entryText(entries[1]), n2 = entryText(entries[2]);
        if (cur.empty() || n1.empty() || n2.empty()) {
            result["error"] = "yes";
            result["errormsg"] = text("Please_enter_the_password_of_the_certificate");
        } else if (n1 != n2) {
            result["error"] = "yes";
            result["errormsg"] = text("Password_not_match");
        } else {
            result["current"] = cur;
            result["new"] = n1;
        }
    } else {
        result["cancel"] = "yes";
    }
    for (GtkWidget* e : entries) clearEntry(e);
    gtk_widget_destroy(dialog);
    JOBLOG("[%s -]\n", "GetForChangePassword");
    return result;
}

void on_MCW_btn_checkme_clicked(GtkWidget*, gpointer data) {
    JOBLOG("on_MCW_btn_checkme_clicked()\n");
    if (!chooseSelected(record(data))) return;
    if (ui()->m_quilletDatas.m_selectedCertValues.certtype == 2) {
        warn("PRIVATECERT_IS_CANNOT_VIDCHECK", "SelectCertificate");
        return;
    }
    Wiped password;
    if (!askPassword(password)) return;
    if (sig_Check_CertPasswd(password.text.c_str()) != 0) {
        warn("PASSWORD_CHECK_FAILED", "CONFIRM");
        return;
    }
    Wiped idNumber;
    for (;;) {
        const int rc = AskText(idNumber.text, text("VID_CHECK"), text("VID_INPUT"), text("INPUT"));
        if (rc == 1) break;
        if (rc == -1) return;
        warn("ERR_INPUT_RRN", "CONFIRM");
    }
    if (sig_Cert_Indentification(password.text.c_str(), idNumber.text.c_str()) == 0)
        info("VERIFY_RRN_OK", "CONFIRM");
    else
        warn("VERIFY_RRN_FAILED", "CONFIRM");
}

int AskText(std::string& out, const std::string& title, const std::string& description, const std::string& label) {
    return GetQuilletUI()->GetForInputDataOne(out, title, description, label);
}

namespace {

GtkWidget* fileChooser(const std::string& title, const std::string& filterSpec, bool save) {
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        title.c_str(), nullptr, save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN, "gtk-cancel",
        GTK_RESPONSE_CANCEL, save ? "gtk-save" : "gtk-open", GTK_RESPONSE_ACCEPT, nullptr);
    const std::vector<std::string> items = CQuilletUtils::StringToken(filterSpec, '|');
    for (size_t i = 0; i + 1 < items.size(); i += 2) {
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, items[i].c_str());
        for (const std::string& pattern : CQuilletUtils::StringToken(items[i + 1], ';'))
            gtk_file_filter_add_pattern(filter, pattern.c_str());
        gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(dialog), filter);
    }
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    return dialog;
}

std::string chosenName(GtkWidget* dialog) {
    gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
    std::string out = name ? name : "";
    g_free(name);
    return out;
}

constexpr char kImportFilters[] =
    "All Supported Files(*.p12;*.ipfx;*.pfx)|*.p12;*.ipfx;*.pfx|PKCS12 Files(*.p12)|*.p12|"
    "Private Information Exchange(*.ipfx;*.ipf;*.pfx)|*.ipfx;*.ipf;*.pfx|All Files(*)|*";
constexpr char kExportFilters[] = "PKCS12 Files(*.p12)|*.p12|Private Information Exchange(*.pfx)|*.pfx|All Files(*)|*";

}  // namespace

std::string OpenFileDialog(const std::string& title, const std::string& filterSpec) {
    GtkWidget* dialog = fileChooser(title, filterSpec, false);
    std::string out;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) out = chosenName(dialog);
    gtk_widget_destroy(dialog);
    return out;
}

std::map<std::string, std::string> SaveFileDialog(const std::string& title, const std::string& filterSpec,
                                                  const std::string& currentName) {
    GtkWidget* dialog = fileChooser(title, filterSpec, true);
    if (!currentName.empty()) gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(dialog), currentName.c_str());
    std::map<std::string, std::string> out{{"filename", ""}, {"filter", ""}};
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) out["filename"] = chosenName(dialog);
    if (GtkFileFilter* f = gtk_file_chooser_get_filter(GTK_FILE_CHOOSER(dialog)))
        out["filter"] = gtk_file_filter_get_name(f) ? gtk_file_filter_get_name(f) : "";
    gtk_widget_destroy(dialog);
    return out;
}

void on_MCW_btn_imexport_clicked(GtkWidget*, gpointer data) {
    auto* r = record(data);
    const std::vector<std::string> choices{text("IMPORT_CERT"), text("EXPORT_CERT")};
    std::string choice;
    for (;;) {
        const int rc =
            SelectOneFromList(choice, choices, text("SELECT"), text("PLEASE_SELECT_Import_Export_Certificate"));
        if (rc != 0) break;
        warn("PLEASE_SELECT_Import_Export_Certificate", "CONFIRM");
    }
    CQuilletUI* u = ui();
    if (choice == "인증서 가져오기" || choice == "Import Certificate") {
        if (tmpselectedStoreType == 1 && u->currentUSBVolume[0] == '\0') {
            warn("NO_REMOVABLE_DRIVE", "SELECT");
            return;
        }
        const std::string file = OpenFileDialog("Open", kImportFilters);
        if (file.empty()) {
            JOBLOG("on_MCW_btn_imexport_clicked(), no file chosen.\n");
            return;
        }
        Wiped password;
        if (!askPassword(password)) return;
        const std::string volume = u->currentUSBVolume;
        const int rc = tmpselectedStoreType != 0
                           ? sig_Get_PFXFile_clicked(1, volume.c_str(), file.c_str(), password.text.c_str())
                           : sig_Get_PFXFile_clicked(0, nullptr, file.c_str(), password.text.c_str());
        if (rc == 0)
            info("IMPORT_CERT_OK", "CONFIRM");
        else if (rc == -2)
            warn("PASSWORD_CHECK_FAILED", "CONFIRM");
        else
            warn("IMPORT_CERT_PASSWORD_CHECK_FAILED", "CONFIRM");
        if (tmpselectedStoreType != 0)
            GetDomainCertList(4, volume.c_str(), nullptr);
        else
            GetDomainCertList(0, nullptr, nullptr);
        refill(r, 0);
        return;
    }
    if (choice != "인증서 내보내기" && choice != "Export Certificate") return;
    if (!chooseSelected(r)) return;
    const std::string proposed = CQuilletUtils::ConvertEUCKRtoUTF8(u->m_quilletDatas.m_selectedCertValues.subject);
    std::string file;
    for (;;) {
        std::map<std::string, std::string> saved = SaveFileDialog("저장", kExportFilters, proposed);
        if (saved["filename"].empty()) {
            JOBLOG("on_MCW_btn_imexport_clicked(), no file chosen.\n");
            return;
        }
        // The name written is the one asked about: the extension first.
        file = saved["filename"];
        const std::string& filter = saved["filter"];
        JOBLOG("on_MCW_btn_imexport_clicked(), filter = [%s]\n", filter.c_str());
        // The PKCS#12 filter is the chooser's first: a filter it did not
        // report counts as that one.
        if (filter == "Private Information Exchange(*.pfx)") {
            if (file.size() < 4 || file.compare(file.size() - 4, 4, ".pfx") != 0) file += ".pfx";
        } else if (filter != "All Files(*)") {
            file = PfxExportName(file, true);
        }
        if (!fileExists(file)) break;
        const std::string question =
            file + (g_swLanguage_Eng ? "\nThe file exists. Replace it?" : "\n파일이 이미 있습니다. 바꾸시겠습니까?");
        if (CQuilletUI::MessageBoxOKCancel(question.c_str(), text("CONFIRM"), GTK_MESSAGE_QUESTION) == 1) break;
    }
    Wiped password;
    if (!askPassword(password)) return;
    const int rc = sig_Set_PFXFile_clicked(file.c_str(), password.text.c_str());
    if (rc == 0)
        info("EXPORT_CERT_OK", "CONFIRM");
    else if (rc == -2)
        warn("PASSWORD_CHECK_FAILED", "CONFIRM");
    else
        warn("EXPORT_CERT_FAILED", "CONFIRM");
}
