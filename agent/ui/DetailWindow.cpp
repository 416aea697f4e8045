// The certificate detail window and the root-CA fingerprint window.
#include "ui/DetailWindow.h"

#include <cstring>

#include <zephaltpavix/base.h>
#include <zephaltpavix/detail.h>
#include <zephaltpavix/encode.h>
#include <zunCore/cipher.h>
#include <zunCore/util.h>

#include "job/Job.h"

namespace {

// The page where the root CA publishes its fingerprints.
constexpr char kRootCAPage[] = "https://rootca.kisa.or.kr";

GtkWidget* widget(GtkBuilder* b, const char* id) { return GTK_WIDGET(gtk_builder_get_object(b, id)); }

void setLabel(GtkBuilder* b, const char* id, const std::string& text) {
    if (GtkWidget* w = widget(b, id)) gtk_label_set_text(GTK_LABEL(w), text.c_str());
}

// The store's detail record of a certificate file; zeroed when it does not
// read.
void readDetail(const char* certPath, CertDetailInfo& out) {
    std::memset(&out, 0, sizeof out);
    char* enc = nullptr;
    int encLen = 0;
    if (!certPath || !*certPath || VPL_DataEncode(0, certPath, static_cast<int>(std::strlen(certPath)), &enc, &encLen))
        return;
    char* detail = nullptr;
    int detailLen = 0;
    const int rc = VPL_Get_CertDetail(0, nullptr, 0, enc, encLen, &detail, &detailLen);
    VPL_Free(enc, encLen);
    if (rc == 0 && detail)
        pars_VPL_Get_CertView_Outlist(detail, 0, &out);
    else
        JOBLOG("[ERR]VPL_Get_CertDetail() = %d\n", rc);
    if (detail) VPL_Free(detail, detailLen);
}

gboolean selectRow(GtkTreeSelection*, GtkTreeModel* model, GtkTreePath* path, gboolean selected, gpointer label) {
    GtkTreeIter iter;
    if (!selected && label && gtk_tree_model_get_iter(model, &iter, path)) {
        gchar* value = nullptr;
        gtk_tree_model_get(model, &iter, 1, &value, -1);
        gtk_label_set_text(GTK_LABEL(label), value ? value : "");
        g_free(value);
    }
    return TRUE;
}

// The rows a certificate may lack: left out when the store has no value
// for them ("(null)", or nothing at all).
bool absent(const std::string& value) { return value.empty() || value == "(null)"; }

void viewTab(gpointer record, int slot) {
    auto* r = static_cast<MUIWidget*>(record);
    GtkWidget* view = r ? (slot < 0 ? r->MUI_treeview : r->MUI_widgets[slot]) : nullptr;
    ViewSelectedCert(view ? GTK_TREE_VIEW(view) : nullptr);
}

}  // namespace

std::string RootCAFingerprintText(const std::string& path) {
    unsigned char* digest = nullptr;
    int len = 0;
    std::string out;
    if (VCL_HASH_FILE(path.c_str(), &digest, &len, "SHA256") == 0 && digest) {
        static const char kHex[] = "0123456789ABCDEF";
        for (int i = 0; i < len; ++i) {
            out += kHex[digest[i] >> 4];
            out += kHex[digest[i] & 15];
            if (i % 2 == 1) out += ' ';
        }
    }
    if (digest) VCL_Free(digest, len);
    return out;
}

void SetRootCAHashWindowValue(CQuilletResourceHelper& helper, GtkWidget* window, GtkBuilder* builder) {
    if (GtkWidget* close = widget(builder, "RCAW_Close_Btn"))
        g_signal_connect(close, "pressed", G_CALLBACK(hash_window_value_callback), window);
    std::string kisa1, kisa4;
    for (const CertLists& row : GetQuilletUI()->m_quilletDatas.m_rootCACertLists) {
        if (row.subject == "KISA RootCA 1") kisa1 = RootCAFingerprintText(row.certpath);
        if (row.subject == "KISA RootCA 4") kisa4 = RootCAFingerprintText(row.certpath);
    }
    setLabel(builder, "RCAW_TitleInfoLabel", helper.GetResourceData("ROOTCA_CERT_CHECK_TITLE"));
    setLabel(builder, "RCAW_HashFrameTitleLabel", helper.GetResourceData("ROOTCA_CERT_CHECK_FRAME_TITLE"));
    setLabel(builder, "RCAW_ConfirmInfoLabel", helper.GetResourceData("ROOTCA_CERT_CHECK_KISA_INFO"));
    setLabel(builder, "RCAW_RootCAGorNameLabel", helper.GetResourceData("ROOTCA_CERT_CHECK_KISA_NAME"));
    if (GtkWidget* close = widget(builder, "RCAW_Close_Btn"))
        gtk_button_set_label(GTK_BUTTON(close), helper.GetResourceData("Close"));
    if (GtkWidget* link = widget(builder, "RCAW_RootCAGorURLLabel")) {
        gchar* markup = g_markup_printf_escaped("<a href=\"%s\">%s</a>", kRootCAPage, kRootCAPage);
        gtk_label_set_markup(GTK_LABEL(link), markup);
        g_free(markup);
    }
    setLabel(builder, "RCAW_CertHashValueLabel", "KISA RootCA 1 : " + kisa1 + "\nKISA RootCA 4 : " + kisa4);
}

void hash_window_value_callback(GtkWidget*, gpointer window) {
    if (window) gtk_widget_hide(GTK_WIDGET(window));
}

void RootCAButton_pressed(GtkWidget*, gpointer window) {
    if (window) gtk_widget_show_all(GTK_WIDGET(window));
}

gboolean RootCAHashWindow_delete_event(GtkWidget* window, GdkEvent*, gpointer) {
    gtk_widget_hide(window);
    return TRUE;
}

void DetailCertView() {
    CQuilletUI* ui = GetQuilletUI();
    GtkBuilder* builder = LoadWindowBuilder("VCD_viewCert");
    GtkWidget* dialog = builder ? widget(builder, "VCD_viewCert") : nullptr;
    if (!dialog) {
        if (builder) g_object_unref(builder);
        return;
    }
    GtkWidget* rootCA = widget(builder, "RCAW_RootCAHashWindow");
    auto* store = GTK_LIST_STORE(gtk_builder_get_object(builder, "VCD_liststore"));
    GtkWidget* tree = widget(builder, "VCD_treeview_detail");
    GtkWidget* desc = widget(builder, "VCD_lbl_detail_desc");
    if (rootCA) {
        if (GtkWidget* button = widget(builder, "VCD_RootCABtn"))
            g_signal_connect(button, "pressed", G_CALLBACK(RootCAButton_pressed), rootCA);
        g_signal_connect(rootCA, "delete-event", G_CALLBACK(RootCAHashWindow_delete_event), nullptr);
        gtk_window_set_keep_above(GTK_WINDOW(rootCA), TRUE);
        gtk_window_set_transient_for(GTK_WINDOW(rootCA), GTK_WINDOW(dialog));
    }
    CQuilletResourceHelper& helper = ui->m_resourceHelper;
    helper.SetBuilder(builder);
    static const struct {
        const char* id;
        CQRH_CTRLTYPE kind;
        const char* key;
    } kTexts[] = {
        {"VCD_viewCert", CQRH_WINDOW_TITLE, "CertView"},
        {"VCD_Normal", CQRH_LABEL, "Normal"},
        {"VCD_Advanced", CQRH_LABEL, "Advanced"},
        {"VCD_lbl_normal_subject_title", CQRH_LABEL, "Subject"},
        {"VCD_lbl_normal_issuer_title", CQRH_LABEL, "Issuer"},
        {"VCD_lbl_normal_expiredata_title", CQRH_LABEL, "ExpireDate"},
        {"VCD_lbl_normal_type_title", CQRH_LABEL, "Type"},
        {"treeviewcolumn1", CQRH_TREEVIEW_COLUMN, "FIELD"},
        {"treeviewcolumn2", CQRH_TREEVIEW_COLUMN, "CONTENT"},
        {"VCD_btn_ok", CQRH_BUTTON, "OK"},
        {"RCAW_RootCAHashWindow", CQRH_WINDOW_TITLE, "ROOTCA_CERT_CHECK_CAPTION"},
        {"VCD_RootCABtn", CQRH_BUTTON, "ROOTCA_CERT_VIEW_BTN_LABEL"},
    };
    for (const auto& t : kTexts) helper.SetCtrlText(t.id, t.kind, t.key);
    if (rootCA) SetRootCAHashWindowValue(helper, rootCA, builder);
    helper.SetBuilder(nullptr);

    const SelectedCertValues& sel = ui->m_quilletDatas.m_selectedCertValues;
    CertDetailInfo detail;
    readDetail(sel.certpath, detail);
    const char* status = sel.expireflag == 0   ? "CERT_STATUS_OK"
                         : sel.expireflag == 1 ? "CERT_STATUS_EXPIRED"
                         : sel.expireflag == 2 ? "CERT_STATUS_WILLBE_EXPIRE"
                                               : "CERT_STATUS_CHECK_FAIL";
    setLabel(builder, "VCD_lbl_certstatus", helper.GetResourceData(status));
    setLabel(builder, "VCD_lbl_normal_subject", CQuilletUtils::ConvertEUCKRtoUTF8(sel.subject));
    setLabel(builder, "VCD_lbl_normal_issuer", CQuilletUtils::ConvertEUCKRtoUTF8(sel.issuer));
    setLabel(builder, "VCD_lbl_normal_type", CQuilletUtils::ConvertEUCKRtoUTF8(sel.oidtype));
    setLabel(builder, "VCD_lbl_normal_expiredata", std::string(detail.validity_from) + " ~ " + detail.validity_to);

    const struct {
        const char* key;
        const char* value;
        bool optional;
    } rows[] = {
        {"FIELDNAME_VERSION", detail.version, false},
        {"FIELDNAME_SERIAL", detail.serialNumber, false},
        {"FIELDNAME_SIGNALG", detail.signatureAlg, false},
        {"FIELDNAME_ISSUER", detail.issuerDN, false},
        {"FIELDNAME_VALIDITYFROM", detail.validity_from, false},
        {"FIELDNAME_VALIDITYTO", detail.validity_to, false},
        {"FIELDNAME_SUBJECT", detail.subjectDN, false},
        {"FIELDNAME_PUBKEYALG", detail.pubkey, false},
        {"FIELDNAME_FINGERPRINTALG", detail.hand_print_alg, false},
        {"FIELDNAME_FINGERPRINT", detail.hand_print, false},
        {"FIELDNAME_AUTHKEYID", detail.authoritykeyid, true},
        {"FIELDNAME_SUBJKEYID", detail.subjectkeyid, true},
        {"FIELDNAME_KEYUSAGE", detail.keyusage, true},
        {"FIELDNAME_CERTPOLICY", detail.certpolicy, true},
        {"FIELDNAME_SUBJALTNAME", detail.subjectAltName, true},
        {"FIELDNAME_CRLDP", detail.crlDP, true},
        {"FIELDNAME_AUTHINFOACCESS", detail.authorityInfoAcc, true},
    };
    if (store) {
        gtk_list_store_clear(store);
        for (const auto& row : rows) {
            const std::string value = CQuilletUtils::ConvertEUCKRtoUTF8(row.value);
            // A key usage without a bit set is no key usage.
            const bool noUsage =
                std::strcmp(row.key, "FIELDNAME_KEYUSAGE") == 0 && (value == " (00)" || value == "(00)");
            if (row.optional && (absent(value) || noUsage)) {
                JOBLOG("%s is NULL\n", row.key);
                continue;
            }
            gtk_list_store_insert_with_values(store, nullptr, -1, 0, helper.GetResourceData(row.key), 1, value.c_str(),
                                              -1);
        }
        gtk_list_store_insert_with_values(store, nullptr, -1, 0, "Cert Path", 1, sel.certpath, -1);
    }
    if (tree)
        gtk_tree_selection_set_select_function(gtk_tree_view_get_selection(GTK_TREE_VIEW(tree)), selectRow, desc,
                                               nullptr);
    g_object_unref(builder);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    // The fingerprint window goes with its dialog: one toplevel per view
    // would otherwise stay behind.
    if (rootCA) gtk_widget_destroy(rootCA);
}

void ViewSelectedCert(GtkTreeView* view) {
    CQuilletUI* ui = GetQuilletUI();
    if (ui->m_quilletDatas.SetSelectedCertValues(view) != 0) {
        CQuilletUI::MessageBox(ui->m_resourceHelper.GetResourceData("MSG_SELECT_CERT"),
                               ui->m_resourceHelper.GetResourceData("SelectCertificate"), GTK_MESSAGE_WARNING);
        return;
    }
    DetailCertView();
}

void on_MCW_btn_viewcert_clicked(GtkWidget*, gpointer record) { viewTab(record, -1); }
void on_MCW_btn_viewcert_1_clicked(GtkWidget*, gpointer record) { viewTab(record, 5); }
void on_MCW_btn_viewcert_2_clicked(GtkWidget*, gpointer record) { viewTab(record, 6); }
void on_MCW_btn_viewcert_3_clicked(GtkWidget*, gpointer record) { viewTab(record, 7); }
