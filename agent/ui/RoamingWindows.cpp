// The roaming windows over the roaming actions (job/ManageActions.h).
#include "ui/RoamingWindows.h"

#include <cstring>

#include "job/Job.h"
#include "job/ManageActions.h"
#include "job/Roaming.h"
#include "ui/RemovableMedia.h"

namespace {

constexpr int kFirstEntrySlot = 8;  // the four number entries: slots 8 to 11

GtkWidget* widget(GtkBuilder* b, const char* id) { return GTK_WIDGET(gtk_builder_get_object(b, id)); }

const char* text(const char* key) { return GetQuilletUI()->m_resourceHelper.GetResourceData(key); }

void warn(const std::string& message, const char* titleKey) {
    CQuilletUI::MessageBox(message.c_str(), text(titleKey), GTK_MESSAGE_WARNING);
}

// Wipes what an entry holds (a number or a password) before it goes.
void clearEntry(GtkWidget* entry) {
    if (!entry) return;
    GtkEntryBuffer* buffer = gtk_entry_get_buffer(GTK_ENTRY(entry));
    const guint n = gtk_entry_buffer_get_bytes(buffer);
    if (n) {
        // The buffer's own bytes: overwritten in place, then emptied.
        std::string blank(gtk_entry_buffer_get_length(buffer), ' ');
        gtk_entry_buffer_set_text(buffer, blank.c_str(), -1);
    }
    gtk_entry_buffer_delete_text(buffer, 0, -1);
}

struct Wiped {
    std::string text;
    ~Wiped() { explicit_bzero(text.data(), text.size()); }
};

// The job ends as a cancel: the window's Cancel, or its closing by the
// window manager (which would otherwise leave the job unreported).
int cancelJob(const char* label) {
    if (IsQuilletDeleted()) return 1;
    JOBLOG("%s pressed \n", label ? label : "");
    send_Cancel();
    return Start_CloseMainWidgetThread(0);
}

gboolean onDelete(GtkWidget*, GdkEvent*, gpointer) {
    cancelJob("RIW_rommingImportCert closed");
    return TRUE;  // the closing step destroys the window
}

}  // namespace

int MU_RoamingCertImport(int digits) { return RoamingImportWindow(digits); }

int RoamingImportWindow(int digits) {
    CQuilletUI* ui = GetQuilletUI();
    ui->m_windowMode = "IMPORT";
    JOBLOG("[%s +]\n", "RoamingImport");
    GtkBuilder* builder = LoadWindowBuilder("RIW_rommingImportCert");
    if (!builder) return -1;
    GtkWidget* window = widget(builder, "RIW_rommingImportCert");
    if (!window) {
        g_object_unref(builder);
        return -1;
    }
    ui->m_muiWidget = MUIWidget{};
    ui->m_muiWidget.MUI_window = window;
    if (GdkPixbuf* icon = create_pixbuf(QuilletResourcePath("Icon_Stye_Guidelines(ios_57).png").c_str())) {
        gtk_window_set_icon(GTK_WINDOW(window), icon);
        g_object_unref(icon);
    }
    static const char* const kEntries[] = {"RIW_entry_1", "RIW_entry_2", "RIW_entry_3", "RIW_entry_4"};
    for (int i = 0; i < 4; ++i) {
        GtkWidget* entry = widget(builder, kEntries[i]);
        ui->m_muiWidget.MUI_widgets[kFirstEntrySlot + i] = entry;
        // The entries a number of this length does not use take nothing.
        if (entry) gtk_widget_set_sensitive(entry, i < digits / 4);
    }
    ui->m_muiWidget.MUI_int = digits;
    // Typing stays possible until the virtual keypad is there: the keypad
    // controls are hidden.
    for (const char* id : {"RIW_VKeybutton1", "RIW_VKeyCheckbutton1"})
        if (GtkWidget* w = widget(builder, id)) gtk_widget_hide(w);

    ui->m_resourceHelper.SetBuilder(builder);
    ui->m_resourceHelper.SetCtrlText("RIW_rommingImportCert", CQRH_WINDOW_TITLE, "IMPORT_CERT");
    ui->m_resourceHelper.SetCtrlText("RIW_label_1", CQRH_LABEL, "Roaming_Import_label_1");
    ui->m_resourceHelper.SetCtrlText("RIW_btn_ok", CQRH_BUTTON, "OK");
    ui->m_resourceHelper.SetCtrlText("RIW_btn_cancel", CQRH_BUTTON, "Cancel");
    ui->m_resourceHelper.SetBuilder(nullptr);
    g_signal_connect(widget(builder, "RIW_btn_ok"), "clicked", G_CALLBACK(on_RIW_btn_ok_clicked), &ui->m_muiWidget);
    g_signal_connect(widget(builder, "RIW_btn_cancel"), "clicked", G_CALLBACK(on_RIW_btn_cancel_clicked),
                     const_cast<char*>("RIW_btn_cancel"));
    g_signal_connect(window, "delete-event", G_CALLBACK(onDelete), nullptr);
    g_object_unref(builder);
    RunJobWindowLoop(window);
    JOBLOG("[%s -]\n", "RoamingImport");
    return 0;
}

int on_RIW_btn_ok_clicked(GtkWidget*, gpointer data) {
    JOBLOG("on_RIW_btn_ok_clicked() start..\n");
    if (IsQuilletDeleted() || !data) return 1;
    auto* record = static_cast<MUIWidget*>(data);
    const int digits = record->MUI_int;
    // The whole number, every entry the digit count uses.
    Wiped number;
    bool complete = digits == 8 || digits == 12 || digits == 16;
    for (int i = 0; complete && i < digits / 4; ++i) {
        GtkWidget* entry = record->MUI_widgets[kFirstEntrySlot + i];
        const char* piece = entry ? gtk_entry_get_text(GTK_ENTRY(entry)) : "";
        complete = std::strlen(piece) == 4;
        number.text += piece;
    }
    const std::string numString = std::string(text("CC_MSG_1")) + std::to_string(digits) + text("CC_MSG_2");
    // Digits only: the number goes into the roaming server's form.
    if (!complete || !RoamingNumberIsValid(number.text, digits)) {
        warn(numString, "CONFIRM");
        return 0;
    }
    const int step1 = sig_ImportCert_clicked(number.text.c_str());
    if (step1 == kRoamingJobEnded || IsQuilletDeleted()) return 0;  // reported and closing: no dialog
    if (step1 != kRoamingOk) {
        warn(text("CC_MSG_3"), "CONFIRM");
        return 0;
    }
    for (;;) {
        std::map<std::string, std::string> answer = GetForRoamingImportCert();
        if (answer["error"] == "yes") {
            warn(answer["errormsg"], "CONFIRM");
            continue;
        }
        if (answer["cancel"] == "yes") return 0;
        Wiped password;
        password.text.swap(answer["password"]);
        CQuilletUI* ui = GetQuilletUI();
        JOBLOG("on_RIW_btn_ok_clicked(), tmpselectedStoreType = [%d]\n", tmpselectedStoreType);
        JOBLOG("on_RIW_btn_ok_clicked(), GetQuilletUI()->targetUSBVolume = [%s]\n", ui->targetUSBVolume);
        if (tmpselectedStoreType == 1 && ui->targetUSBVolume[0] == '\0') {
            warn(text("NO_REMOVABLE_DRIVE"), "SELECT");
            return 0;
        }
        const std::string volume = ui->targetUSBVolume;
        const int step2 =
            sig_ImportCert_PFXCertSet(tmpselectedStoreType, volume.c_str(), number.text.c_str(), password.text.c_str());
        if (step2 == kRoamingRetry && !IsQuilletDeleted()) {
            warn(text("CC_MSG_4"), "CONFIRM");
            continue;
        }
        return 0;
    }
}

int on_RIW_btn_cancel_clicked(GtkWidget*, gpointer label) {
    if (IsQuilletDeleted()) return 1;
    return cancelJob(static_cast<const char*>(label));
}

std::map<std::string, std::string> GetForRoamingImportCert() {
    JOBLOG("[%s +]\n", "GetForRoamingImportCert");
    std::map<std::string, std::string> result;
    GtkBuilder* builder = LoadWindowBuilder("ISCD_ImportAndSaveCert");
    GtkWidget* dialog = builder ? widget(builder, "ISCD_ImportAndSaveCert") : nullptr;
    if (!dialog) {
        if (builder) g_object_unref(builder);
        result["cancel"] = "yes";
        return result;
    }
    GtkWidget* entry = widget(builder, "ISCD_entryPassword");
    CQuilletUI* ui = GetQuilletUI();
    ui->m_resourceHelper.SetBuilder(builder);
    static const std::pair<const char*, const char*> kLabels[] = {
        {"ISCD_selectStorage", "SelectStorage"},
        {"ISCD_label_1", "select_media_to_store_the_certficiate"},
        {"ISCD_lbl_hdd", "HDD"},
        {"ISCD_lbl_fdd", "FDD"},
        {"ISCD_lbl_hsm", "HSM"},
        {"ISCD_lbl_usb", "USB"},
        {"ISCD_lbl_phone", "PHONE"},
        {"ISCD_InputPasswd", "IN_CERT_PASSWD"},
        {"ISCD_InputPasswd_please", "INPUT_CERT_PASSWD"},
        {"ISCD_lbl_password", "CertPassword"},
    };
    ui->m_resourceHelper.SetCtrlText("ISCD_ImportAndSaveCert", CQRH_WINDOW_TITLE, "IMPORT_CERT");
    for (const auto& [id, key] : kLabels) ui->m_resourceHelper.SetCtrlText(id, CQRH_LABEL, key);
    ui->m_resourceHelper.SetCtrlText("ISCD_btn_ok", CQRH_BUTTON, "OK");
    ui->m_resourceHelper.SetCtrlText("ISCD_btn_cancel", CQRH_BUTTON, "Cancel");
    ui->m_resourceHelper.SetBuilder(nullptr);
    // The store writes a PKCS#12 to the hard disk or a removable volume
    // only.
    for (const char* id : {"ISCD_radio_hsm", "ISCD_radio_usb", "ISCD_radio_phone"})
        if (GtkWidget* w = widget(builder, id)) gtk_widget_set_sensitive(w, FALSE);
    if (GtkWidget* hdd = widget(builder, "ISCD_radio_hdd")) {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(hdd), TRUE);
        g_signal_connect(hdd, "clicked", G_CALLBACK(on_ISCD_radio_hdd_clicked), nullptr);
    }
    if (GtkWidget* fdd = widget(builder, "ISCD_radio_fdd"))
        g_signal_connect(fdd, "clicked", G_CALLBACK(on_ISCD_radio_fdd_clicked), nullptr);
    g_object_unref(builder);
    JOBLOG("CQuilletUI::GetForRoamingImportCert() gtk_dialog_run()\n");
    explicit_bzero(ui->targetUSBVolume, sizeof ui->targetUSBVolume);
    tmpselectedStoreType = 0;
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
        JOBLOG("CQuilletUI::GetForRoamingImportCert() if(id == GTK_RESPONSE_OK)..\n");
        const char* typed = entry ? gtk_entry_get_text(GTK_ENTRY(entry)) : "";
        if (typed && *typed) {
            result["password"] = typed;
        } else {
            result["error"] = "yes";
            result["errormsg"] = text("Please_enter_the_password_of_the_certificate");
        }
    } else {
        result["cancel"] = "yes";
    }
    clearEntry(entry);
    gtk_widget_destroy(dialog);
    JOBLOG("[%s -]\n", "GetForRoamingImportCert");
    return result;
}

int on_ISCD_radio_hdd_clicked(GtkWidget* button, gpointer) {
    if (!button || !gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button))) return 0;
    JOBLOG("on_ISCD_radio_hdd_clicked()... \n");
    CQuilletUI* ui = GetQuilletUI();
    explicit_bzero(ui->targetUSBVolume, sizeof ui->targetUSBVolume);
    tmpselectedStoreType = 0;
    return 0;
}

int on_ISCD_radio_fdd_clicked(GtkWidget* button, gpointer) {
    CQuilletUI* ui = GetQuilletUI();
    explicit_bzero(ui->targetUSBVolume, sizeof ui->targetUSBVolume);
    tmpselectedStoreType = 0;
    if (button && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button))) {
        JOBLOG("on_ISCD_radio_fdd_clicked()... \n");
        ChooseRemovableVolume();
    }
    JOBLOG("on_ISCD_radio_fdd_clicked(), GetQuilletUI()->targetUSBVolume = [%s]\n", ui->targetUSBVolume);
    JOBLOG("on_ISCD_radio_fdd_clicked(), tmpselectedStoreType = [%d]\n", tmpselectedStoreType);
    return 0;
}

int RoamingExportNumber(const std::string& number, int digits) {
    CQuilletUI* ui = GetQuilletUI();
    ui->m_windowMode = "EXPORT";
    JOBLOG("[%s +]\n", "RoamingExport");
    GtkBuilder* builder = LoadWindowBuilder("RED_roamingExportCert");
    GtkWidget* dialog = builder ? widget(builder, "RED_roamingExportCert") : nullptr;
    if (!dialog) {
        if (builder) g_object_unref(builder);
        return 0;
    }
    const int pieces = digits == 16 ? 4 : digits == 12 ? 3 : digits == 8 ? 2 : 1;
    static const char* const kEntries[] = {"RED_entry_0", "RED_entry_1", "RED_entry_2", "RED_entry_3"};
    for (int i = 0; i < 4; ++i) {
        GtkWidget* entry = widget(builder, kEntries[i]);
        if (!entry) continue;
        const size_t at = static_cast<size_t>(i) * 4;
        const std::string piece = i < pieces && at < number.size() ? number.substr(at, 4) : "";
        gtk_entry_set_text(GTK_ENTRY(entry), piece.c_str());
    }
    ui->m_resourceHelper.SetBuilder(builder);
    ui->m_resourceHelper.SetCtrlText("RED_roamingExportCert", CQRH_WINDOW_TITLE, "EXPORT_CERT");
    ui->m_resourceHelper.SetCtrlText("RED_label_1", CQRH_LABEL, "Roaming_Export_label_1");
    ui->m_resourceHelper.SetCtrlText("RED_btn_ok", CQRH_BUTTON, "OK");
    ui->m_resourceHelper.SetBuilder(nullptr);
    g_object_unref(builder);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    JOBLOG("[%s -]\n", "RoamingExport");
    return 0;
}
