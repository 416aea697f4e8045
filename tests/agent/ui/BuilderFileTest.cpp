// The builder file as the windows use it: gtk-builder-tool's check, every id
// the windows look up with the class their use implies (each loaded the way
// its window loads), the stores' columns, the dialogs' answers, the handlers
// it binds found in the program, a screenshot of every window; and the
// message table in its two editions.
#include <gmodule.h>
#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "job/Job.h"
#include "ui/MainUI.h"

namespace {

struct Group {
    const char* what;
    const char* toplevel;                                               // the window that loads the ids
    std::vector<std::pair<const char*, std::vector<const char*>>> ids;  // class, ids
};

std::vector<std::string> withPrefix(const char* prefix, std::vector<const char*> names) {
    std::vector<std::string> out;
    for (const char* n : names) out.push_back(std::string(prefix) + n);
    return out;
}

// The selection windows share their layout; each has its own ids.
Group selectionWindow(const char* toplevel, const char* p) {
    static std::deque<std::vector<std::string>> keep;  // the ids' texts live for the test
    keep.push_back(withPrefix(
        p, {"_label_selectstorage", "_label_hdd", "_label_fdd", "_label_hsm", "_label_usb", "_label_phone"}));
    auto& labels = keep.back();
    keep.push_back(withPrefix(p, {"_tvc_subject", "_tvc_issuer", "_tvc_policy", "_tvc_lastdate"}));
    auto& columns = keep.back();
    keep.push_back(
        withPrefix(p, {"_btn_certView", "_btn_certFind", "_btn_certDel", "_btn_ok", "_btn_cancel", "_VKeybutton"}));
    auto& buttons = keep.back();
    keep.push_back(withPrefix(p, {"_radio_hdd", "_radio_fdd", "_radio_hsm", "_radio_usb"}));
    auto& radios = keep.back();
    auto c = [](const std::vector<std::string>& v) {
        std::vector<const char*> out;
        for (const auto& s : v) out.push_back(s.c_str());
        return out;
    };
    Group g{toplevel, toplevel, {}};
    g.ids.push_back({"GtkWindow", {toplevel}});
    g.ids.push_back({"GtkLabel", c(labels)});
    g.ids.push_back({"GtkTreeViewColumn", c(columns)});
    g.ids.push_back({"GtkButton", c(buttons)});
    g.ids.push_back({"GtkRadioButton", c(radios)});
    keep.push_back({std::string(p) + "_entry_password"});
    g.ids.push_back({"GtkEntry", c(keep.back())});
    keep.push_back({std::string(p) + "_VKeyCheckbutton"});
    g.ids.push_back({"GtkCheckButton", c(keep.back())});
    keep.push_back({std::string(p) + "_AlertBannerImage"});
    g.ids.push_back({"GtkImage", c(keep.back())});
    g.ids.push_back({"GtkListStore", {"ECW_liststore_certs"}});
    return g;
}

std::vector<Group> groups() {
    std::vector<Group> g;
    // Certificate selection windows.
    g.push_back(selectionWindow("ECW_enterCert", "ECW"));
    g.back().ids.push_back({"GtkLabel", {"ECW_lbl_Desc", "ECW_lbl_Password"}});
    g.back().ids.push_back({"GtkTreeView", {"ECW_tvCerts"}});
    g.back().ids.push_back({"GtkImage", {"ECW_logoImg"}});
    g.push_back(selectionWindow("SCTW_signCertWindow", "SCTW"));
    g.back().ids.push_back({"GtkLabel", {"SCTW_label_Desc_1", "SCTW_label_Desc_2", "SCTW_lbl_Password"}});
    g.back().ids.push_back({"GtkTreeView", {"SCTW_tvCerts"}});
    g.back().ids.push_back({"GtkTextView", {"SCTW_textview_signData"}});
    g.back().ids.push_back({"GtkTextBuffer", {"SCTW_textbuffer"}});
    g.push_back(selectionWindow("SCLW_signCertWindow", "SCLW"));
    g.back().ids.push_back({"GtkLabel", {"SCLW_label_Desc_1", "SCLW_label_Desc_2", "SCLW_lbl_Password"}});
    g.back().ids.push_back({"GtkTreeView", {"SCLW_tvCerts", "SCLW_treeview_signData"}});
    g.back().ids.push_back({"GtkListStore", {"SCLW_liststore_signData"}});
    // Delete confirmation of the entry window.
    g.push_back({"delete confirmation",
                 "DCD_deleteCert",
                 {{"GtkDialog", {"DCD_deleteCert"}},
                  {"GtkLabel",
                   {"DCD_CertInfo", "DCD_lbl_subject_title", "DCD_lbl_issuer_title", "DCD_lbl_expiredata_title",
                    "DCD_lbl_oidtype_title", "DCD_lbl_subject", "DCD_lbl_issuer", "DCD_lbl_expiredata",
                    "DCD_lbl_oidtype", "DCD_label_confirm"}},
                  {"GtkButton", {"DCD_btn_ok", "DCD_btn_cancel"}}}});
    // Certificate manager.
    Group m{"certificate manager",
            "MCW_manageCert",
            {{"GtkWindow", {"MCW_manageCert"}},
             {"GtkNotebook", {"MCW_notebook"}},
             {"GtkListStore", {"ECW_liststore_certs"}},
             {"GtkRadioButton", {"MCW_radio_hdd", "MCW_radio_fdd", "MCW_radio_hsm", "MCW_radio_usb"}},
             {"GtkTreeView", {"MCW_tvCerts", "MCW_tvCerts1", "MCW_tvCerts2", "MCW_tvCerts3"}},
             {"GtkLabel",
              {"MCW_lbl_btnDesc", "MCW_lbl_btnDesc_1", "MCW_lbl_btnDesc_2", "MCW_lbl_btnDesc_3", "MCW_tab_User",
               "MCW_tab_CA", "MCW_tab_RootCA", "MCW_tab_PrivateCA", "MCW_label_manage", "MCW_label_manage1",
               "MCW_label_manage2", "MCW_label_manage3", "MCW_label_storetype", "MCW_label_storetype1",
               "MCW_label_storetype2", "MCW_label_storetype3"}},
             {"GtkTreeViewColumn",
              {"MCW_tvc_subject", "MCW_tvc_issuer", "MCW_tvc_policy", "MCW_tvc_lastdate", "treeviewcolumn11",
               "treeviewcolumn12", "treeviewcolumn13", "treeviewcolumn14", "treeviewcolumn17", "treeviewcolumn18",
               "treeviewcolumn19", "treeviewcolumn20", "treeviewcolumn22", "treeviewcolumn23", "treeviewcolumn24",
               "treeviewcolumn25"}},
             {"GtkButton", {"MCW_btn_close"}}}};
    static std::vector<std::string> mcw;
    for (const char* tab : {"", "1", "2", "3"}) {
        for (const char* n : {"hdd", "fdd", "hsm", "usb", "phone"}) mcw.push_back(std::string("MCW_lbl_") + n + tab);
        for (const char* b : {"copy", "del", "imexport", "changepassword", "viewcert", "checkme"})
            mcw.push_back(std::string("MCW_btn_") + b + (*tab ? std::string("_") + tab : ""));
    }
    std::vector<const char*> mcwLabels, mcwButtons;
    for (const std::string& id : mcw) (id.rfind("MCW_lbl_", 0) == 0 ? mcwLabels : mcwButtons).push_back(id.c_str());
    m.ids.push_back({"GtkLabel", mcwLabels});
    m.ids.push_back({"GtkButton", mcwButtons});
    g.push_back(m);
    // Copy, password change and the revoke confirmation.
    g.push_back(
        {"copy dialog",
         "CCD_copyCert",
         {{"GtkDialog", {"CCD_copyCert"}},
          {"GtkRadioButton", {"CCD_radio_hdd", "CCD_radio_fdd", "CCD_radio_hsm", "CCD_radio_usb", "CCD_radio_phone"}},
          {"GtkEntry", {"CCD_entry_password"}},
          {"GtkLabel",
           {"CCD_label_storetype", "CCD_label_Desc_1", "CCD_lbl_hdd", "CCD_lbl_fdd", "CCD_lbl_hsm", "CCD_lbl_usb",
            "CCD_lbl_phone", "CCD_label_Desc_2", "CCD_label_CheckPasswd",
            "CCD_label_Please_enter_the_password_of_the_certificate", "CCD_label_Password"}},
          {"GtkButton", {"CCD_btn_ok", "CCD_btn_cancel", "CCD_VKeybutton"}},
          {"GtkCheckButton", {"CCD_VKeyCheckbutton"}}}});
    g.push_back(
        {"password change",
         "CPD_changePassword",
         {{"GtkDialog", {"CPD_changePassword"}},
          {"GtkEntry", {"CPD_entry_password", "CPD_entry_newpassword", "CPD_entry_newpassword2"}},
          {"GtkLabel", {"CPD_lbl_desc", "CPD_old_passwd", "CPD_new_passwd", "CPD_new_passwd_confirm"}},
          {"GtkButton",
           {"CPD_btn_ok", "CPD_btn_cancel", "CPD_PWSetGuideBtn", "CPD_VKeybutton_cur", "CPD_VKeybutton_new",
            "CPD_VKeybutton_newretry"}},
          {"GtkCheckButton", {"CPD_VKeyCheckbutton_cur", "CPD_VKeyCheckbutton_new", "CPD_VKeyCheckbutton_newretry"}}}});
    g.push_back({"revoke confirmation",
                 "DCD_deleteCert_2",
                 {{"GtkWindow", {"DCD_deleteCert_2"}},
                  {"GtkLabel",
                   {"DCD2_CertInfo", "DCD_lbl_subject_title1", "DCD_lbl_issuer_title1", "DCD_lbl_expiredata_title1",
                    "DCD_lbl_oidtype_title1", "DCD_lbl_subject1", "DCD_lbl_issuer1", "DCD_lbl_expiredata1",
                    "DCD_lbl_oidtype1", "DCD2_label_confirm"}},
                  {"GtkButton", {"DCD2_btn_ok", "DCD2_btn_cancel"}}}});
    // Issue, renewal, revocation and request windows.
    g.push_back(
        {"issue window",
         "NPW_NewPassword",
         {{"GtkWindow", {"NPW_NewPassword"}},
          {"GtkEntry", {"NPW_entry_password", "NPW_entry_confirmpassword"}},
          {"GtkRadioButton", {"NPW_radio_hdd", "NPW_radio_fdd", "NPW_radio_hsm", "NPW_radio_usb"}},
          {"GtkCheckButton", {"NPW_VKeyCheckbutton1", "NPW_VKeyCheckbutton2"}},
          {"GtkButton", {"NPW_VKeybutton1", "NPW_VKeybutton2", "NPW_btn_ok", "NPW_btn_cancel", "NPW_PWSetGuideBtn"}},
          {"GtkLabel",
           {"NPW_label_1", "NPW_label_2", "NPW_label_3", "NPW_label_4", "NPW_lbl_hdd", "NPW_lbl_fdd", "NPW_lbl_hsm",
            "NPW_lbl_usb", "NPW_lbl_phone", "NPW_passwd", "NPW_passwd_confirm"}}}});
    g.push_back({"store after a request",
                 "NPW_NewPassword_without_Passwd",
                 {{"GtkWindow", {"NPW_NewPassword_without_Passwd"}},
                  {"GtkEntry", {"NPW_entry_password1", "NPW_entry_confirmpassword1"}},
                  {"GtkRadioButton", {"NPW_radio_hdd1", "NPW_radio_fdd1", "NPW_radio_hsm1", "NPW_radio_usb1"}},
                  {"GtkLabel",
                   {"NPW_label_5", "NPW_label_6", "NPW_lbl_hdd1", "NPW_lbl_fdd1", "NPW_lbl_hsm1", "NPW_lbl_usb1",
                    "NPW_lbl_phone1"}}}});
    g.push_back({"PKCS#10 request",
                 "IPD_inputPassword_for_PKCS10",
                 {{"GtkDialog", {"IPD_inputPassword_for_PKCS10"}},
                  {"GtkEntry", {"IPD_entryPassword1", "IPD_entryPassword2"}},
                  {"GtkLabel", {"IPD_lbl_desc1", "IPD_lbl_password1", "IPD_lbl_password2"}},
                  {"GtkButton", {"IPD_btn_ok1", "IPD_btn_cancel1"}}}});
    g.push_back(
        {"renewal password",
         "CUD_CertupdateInputPassword",
         {{"GtkDialog", {"CUD_CertupdateInputPassword"}},
          {"GtkEntry", {"CUD_entry_newpassword", "CUD_entry_newpassword2"}},
          {"GtkLabel", {"CUD_lbl_desc", "CUD_new_passwd", "CUD_new_passwd_confirm"}},
          {"GtkButton",
           {"CUD_btn_ok", "CUD_btn_cancel", "CUD_PWSetGuideBtn", "CUD_VKeybutton_new", "CUD_VKeybutton_newretry"}},
          {"GtkCheckButton", {"CUD_VKeyCheckbutton_new", "CUD_VKeyCheckbutton_newretry"}}}});
    // Roaming.
    g.push_back({"roaming number",
                 "RIW_rommingImportCert",
                 {{"GtkWindow", {"RIW_rommingImportCert"}},
                  {"GtkEntry", {"RIW_entry_1", "RIW_entry_2", "RIW_entry_3", "RIW_entry_4"}},
                  {"GtkCheckButton", {"RIW_VKeyCheckbutton1"}},
                  {"GtkButton", {"RIW_VKeybutton1", "RIW_btn_ok", "RIW_btn_cancel"}},
                  {"GtkLabel", {"RIW_label_1"}}}});
    g.push_back(
        {"roaming import",
         "ISCD_ImportAndSaveCert",
         {{"GtkDialog", {"ISCD_ImportAndSaveCert"}},
          {"GtkEntry", {"ISCD_entryPassword"}},
          {"GtkRadioButton",
           {"ISCD_radio_hdd", "ISCD_radio_fdd", "ISCD_radio_hsm", "ISCD_radio_usb", "ISCD_radio_phone"}},
          {"GtkLabel",
           {"ISCD_selectStorage", "ISCD_label_1", "ISCD_lbl_hdd", "ISCD_lbl_fdd", "ISCD_lbl_hsm", "ISCD_lbl_usb",
            "ISCD_lbl_phone", "ISCD_InputPasswd", "ISCD_InputPasswd_please", "ISCD_lbl_password"}},
          {"GtkButton", {"ISCD_btn_ok", "ISCD_btn_cancel"}}}});
    g.push_back({"roaming number display",
                 "RED_roamingExportCert",
                 {{"GtkDialog", {"RED_roamingExportCert"}},
                  {"GtkEntry", {"RED_entry_0", "RED_entry_1", "RED_entry_2", "RED_entry_3"}},
                  {"GtkLabel", {"RED_label_1"}},
                  {"GtkButton", {"RED_btn_ok"}}}});
    // Password guide, root-CA fingerprints, list and password dialogs.
    g.push_back(
        {"password guide",
         "PWGD_PasswordGuide",
         {{"GtkDialog", {"PWGD_PasswordGuide"}}, {"GtkLabel", {"PWGD_GuideLabel"}}, {"GtkButton", {"PWGD_CloseBtn"}}}});
    g.push_back({"root-CA fingerprints",
                 "VCD_viewCert",
                 {{"GtkWindow", {"RCAW_RootCAHashWindow"}},
                  {"GtkLabel",
                   {"RCAW_RootCAGorURLLabel", "RCAW_TitleInfoLabel", "RCAW_HashFrameTitleLabel",
                    "RCAW_ConfirmInfoLabel", "RCAW_RootCAGorNameLabel", "RCAW_CertHashValueLabel"}},
                  {"GtkButton", {"RCAW_Close_Btn"}}}});
    g.push_back({"list dialog",
                 "SSD_SelectOne",
                 {{"GtkDialog", {"SSD_SelectOne"}},
                  {"GtkListStore", {"SSD_liststore"}},
                  {"GtkTreeView", {"SSD_tv_stores"}},
                  {"GtkLabel", {"SSD_lbl_desc"}},
                  {"GtkButton", {"SSD_btn_ok", "SSD_btn_cancel"}}}});
    g.push_back({"password dialog",
                 "IPD_inputPassword",
                 {{"GtkDialog", {"IPD_inputPassword"}},
                  {"GtkEntry", {"IPD_entryPassword"}},
                  {"GtkLabel", {"IPD_lbl_desc", "IPD_lbl_password"}},
                  {"GtkButton", {"IPD_btn_ok", "IPD_btn_cancel", "IPD_VKeybutton"}},
                  {"GtkCheckButton", {"IPD_VKeyCheckbutton"}}}});
    // Certificate detail and the virtual keypad.
    g.push_back({"certificate detail",
                 "VCD_viewCert",
                 {{"GtkDialog", {"VCD_viewCert"}},
                  {"GtkTreeView", {"VCD_treeview_detail"}},
                  {"GtkListStore", {"VCD_liststore"}},
                  {"GtkTreeViewColumn", {"treeviewcolumn1", "treeviewcolumn2"}},
                  {"GtkLabel",
                   {"VCD_lbl_detail_desc", "VCD_lbl_certstatus", "VCD_lbl_normal_subject", "VCD_lbl_normal_issuer",
                    "VCD_lbl_normal_expiredata", "VCD_lbl_normal_type", "VCD_lbl_normal_subject_title",
                    "VCD_lbl_normal_issuer_title", "VCD_lbl_normal_expiredata_title", "VCD_lbl_normal_type_title",
                    "VCD_Normal", "VCD_Advanced"}},
                  {"GtkButton", {"VCD_btn_ok", "VCD_RootCABtn"}},
                  {"GtkWindow", {"RCAW_RootCAHashWindow"}}}});
    g.push_back({"virtual keypad",
                 "VKEY_inputpwWindow",
                 {{"GtkWindow", {"VKEY_inputpwWindow"}}, {"GtkScrolledWindow", {"VKEY_scrollWindow"}}}});
    return g;
}

// Destroys the toplevels a builder made (the builder's reference goes with
// it).
void release(GtkBuilder* builder) {
    GSList* objects = gtk_builder_get_objects(builder);
    for (GSList* o = objects; o; o = o->next)
        if (GTK_IS_WINDOW(o->data)) gtk_widget_destroy(GTK_WIDGET(o->data));
    g_slist_free(objects);
    g_object_unref(builder);
}

std::string builderText() { return zqtest::readFile(QuilletBuilderFile()); }

TEST(BuilderFile, GtkBuilderToolFindsNothingWrong) {
    const zqtest::RunResult r = zqtest::run({"gtk-builder-tool", "validate", QuilletBuilderFile()});
    EXPECT_EQ(r.status, 0);
}

TEST(BuilderFile, EveryIdWithItsClassAsItsWindowLoadsIt) {
    std::set<std::string> seen;
    for (const Group& g : groups()) {
        GtkBuilder* builder = LoadWindowBuilder(g.toplevel);
        ASSERT_NE(builder, nullptr) << g.what;
        for (const auto& [cls, ids] : g.ids) {
            const GType type = g_type_from_name(cls);
            ASSERT_NE(type, G_TYPE_INVALID) << cls;
            for (const char* id : ids) {
                GObject* o = gtk_builder_get_object(builder, id);
                EXPECT_NE(o, nullptr) << g.what << ": " << id;
                if (o) {
                    EXPECT_TRUE(G_TYPE_CHECK_INSTANCE_TYPE(o, type))
                        << g.what << ": " << id << " is " << G_OBJECT_TYPE_NAME(o) << ", not " << cls;
                }
                seen.insert(id);
            }
        }
        release(builder);
    }
    // One id for the entry window's keypad button, one for the list-sign
    // window's password caption.
    const std::string text = builderText();
    const std::regex idAttr(R"re( id="(\w+)")re");
    std::string ours;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), idAttr); it != std::sregex_iterator(); ++it)
        if (!seen.count((*it)[1])) ours += " " + std::string((*it)[1]);
    std::printf("ids of the file's own:%s\n", ours.c_str());
    for (const char* absent : {"\"ECW_VkeyButton\"", "\"SCWL_lbl_Password\""})
        EXPECT_EQ(text.find(absent), std::string::npos) << absent;
}

TEST(BuilderFile, AWindowLoadsOnlyItsOwnObjects) {
    GtkBuilder* builder = LoadWindowBuilder("ECW_enterCert");
    ASSERT_NE(builder, nullptr);
    EXPECT_EQ(gtk_builder_get_object(builder, "MCW_manageCert"), nullptr);
    EXPECT_EQ(gtk_builder_get_object(builder, "VCD_liststore"), nullptr);
    release(builder);
    // Every toplevel of the file loads alone with what its list names.
    const std::regex toplevel(R"re(\n  <object class="(Gtk\w+)" id="(\w+)")re");
    const std::string text = builderText();
    int windows = 0;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), toplevel); it != std::sregex_iterator(); ++it) {
        const std::string cls = (*it)[1], id = (*it)[2];
        if (cls != "GtkWindow" && cls != "GtkDialog") continue;
        ++windows;
        GtkBuilder* b = LoadWindowBuilder(id.c_str());
        EXPECT_NE(b, nullptr) << id;
        if (b) release(b);
    }
    EXPECT_EQ(windows, 21);
}

TEST(BuilderFile, StoresHaveTheirColumns) {
    struct Case {
        const char* window;
        const char* store;
        std::vector<GType> columns;
    } cases[] = {
        {"ECW_enterCert",
         "ECW_liststore_certs",
         {G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, GDK_TYPE_PIXBUF}},
        {"SCLW_signCertWindow", "SCLW_liststore_signData", {G_TYPE_STRING, G_TYPE_STRING}},
        {"VCD_viewCert", "VCD_liststore", {G_TYPE_STRING, G_TYPE_STRING}},
        {"SSD_SelectOne", "SSD_liststore", {G_TYPE_STRING}},
    };
    for (const Case& c : cases) {
        GtkBuilder* builder = LoadWindowBuilder(c.window);
        ASSERT_NE(builder, nullptr);
        GtkTreeModel* model = GTK_TREE_MODEL(gtk_builder_get_object(builder, c.store));
        ASSERT_NE(model, nullptr) << c.store;
        std::vector<GType> got;
        for (int i = 0; i < gtk_tree_model_get_n_columns(model); ++i)
            got.push_back(gtk_tree_model_get_column_type(model, i));
        EXPECT_EQ(got, c.columns) << c.store;
        release(builder);
    }
}

TEST(BuilderFile, DialogsAnswerWithTheirResponses) {
    struct Case {
        const char* dialog;
        const char* button;
        int response;
    } cases[] = {
        {"DCD_deleteCert", "DCD_btn_ok", -8},
        {"SSD_SelectOne", "SSD_btn_ok", GTK_RESPONSE_OK},
        {"IPD_inputPassword", "IPD_btn_ok", GTK_RESPONSE_OK},
        {"CCD_copyCert", "CCD_btn_ok", GTK_RESPONSE_OK},
        {"CPD_changePassword", "CPD_btn_ok", GTK_RESPONSE_OK},
        {"CUD_CertupdateInputPassword", "CUD_btn_ok", GTK_RESPONSE_OK},
        {"ISCD_ImportAndSaveCert", "ISCD_btn_ok", GTK_RESPONSE_OK},
        {"SSD_SelectOne", "SSD_btn_cancel", GTK_RESPONSE_CANCEL},
    };
    for (const Case& c : cases) {
        GtkBuilder* builder = LoadWindowBuilder(c.dialog);
        ASSERT_NE(builder, nullptr);
        GtkDialog* dialog = GTK_DIALOG(gtk_builder_get_object(builder, c.dialog));
        GtkWidget* button = GTK_WIDGET(gtk_builder_get_object(builder, c.button));
        EXPECT_EQ(gtk_dialog_get_response_for_widget(dialog, button), c.response) << c.button;
        // As the user clicks it.
        g_timeout_add(
            50, [](gpointer b) -> gboolean { return gtk_button_clicked(GTK_BUTTON(b)), G_SOURCE_REMOVE; }, button);
        EXPECT_EQ(gtk_dialog_run(dialog), c.response) << c.button;
        release(builder);
    }
    // The request dialog's buttons are checked by their handlers: they end
    // no dialog run by themselves.
    GtkBuilder* builder = LoadWindowBuilder("IPD_inputPassword_for_PKCS10");
    ASSERT_NE(builder, nullptr);
    for (const char* b : {"IPD_btn_ok1", "IPD_btn_cancel1"})
        EXPECT_EQ(gtk_dialog_get_response_for_widget(
                      GTK_DIALOG(gtk_builder_get_object(builder, "IPD_inputPassword_for_PKCS10")),
                      GTK_WIDGET(gtk_builder_get_object(builder, b))),
                  GTK_RESPONSE_NONE);
    release(builder);
}

TEST(BuilderFile, EveryHandlerItBindsIsInTheProgram) {
    const std::string text = builderText();
    const std::regex signal(R"re(<signal name="[^"]+" handler="(\w+)")re");
    std::set<std::string> handlers;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), signal); it != std::sregex_iterator(); ++it)
        handlers.insert((*it)[1]);
    // The entry functions are looked up the same way: the check has
    // something to find even while no handler is bound.
    std::set<std::string> names = handlers;
    names.insert("MU_LanguageSet");
    names.insert("MU_MessageBox");
    GModule* self = g_module_open(nullptr, G_MODULE_BIND_LAZY);
    ASSERT_NE(self, nullptr);
    const std::string exported = zqtest::run({"nm", "-D", "--defined-only", ZQ_PROGRAM}).output;
    for (const std::string& name : names) {
        gpointer symbol = nullptr;
        EXPECT_TRUE(g_module_symbol(self, name.c_str(), &symbol)) << name;
        EXPECT_NE(exported.find(" T " + name + "\n"), std::string::npos) << name << " not exported by the program";
    }
    g_module_close(self);
    std::printf("%zu handlers bound by the builder file\n", handlers.size());
}

TEST(BuilderFile, ScreenshotOfEveryWindow) {
    const std::regex toplevel(R"re(\n  <object class="(Gtk\w+)" id="(\w+)")re");
    const std::string text = builderText();
    int shots = 0;
    CQuilletResourceHelper helper;
    helper.SetResource("KOR");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), toplevel); it != std::sregex_iterator(); ++it) {
        const std::string cls = (*it)[1], id = (*it)[2];
        if (cls != "GtkWindow" && cls != "GtkDialog") continue;
        GtkBuilder* builder = LoadWindowBuilder(id.c_str());
        ASSERT_NE(builder, nullptr) << id;
        GtkWidget* window = GTK_WIDGET(gtk_builder_get_object(builder, id.c_str()));
        gtk_widget_show(window);
        uitest::pump(5);
        EXPECT_TRUE(uitest::screenshot(window, id)) << id;
        ++shots;
        release(builder);
        uitest::pump(1);
    }
    EXPECT_EQ(shots, 21);
}

// ---- The message table ------------------------------------------------------------------

bool hasHangul(const char* utf8) {
    for (const char* p = utf8; *p; p = g_utf8_next_char(p)) {
        const gunichar c = g_utf8_get_char(p);
        if ((c >= 0xAC00 && c <= 0xD7A3) || (c >= 0x1100 && c <= 0x11FF) || (c >= 0x3130 && c <= 0x318F)) return true;
    }
    return false;
}

TEST(Messages, TwoEditionsOfTheSameKeys) {
    size_t n = 0;
    const MessageRow* rows = MessageTable(n);
    ASSERT_EQ(n, 133u);
    std::set<std::string> keys;
    for (size_t i = 0; i < n; ++i) {
        keys.insert(rows[i].key);
        EXPECT_TRUE(g_utf8_validate(rows[i].korean, -1, nullptr)) << rows[i].key;
        EXPECT_TRUE(g_utf8_validate(rows[i].english, -1, nullptr)) << rows[i].key;
        EXPECT_FALSE(hasHangul(rows[i].english)) << rows[i].key;
        EXPECT_EQ(std::string(rows[i].korean).find('\\'), std::string::npos) << rows[i].key;
    }
    EXPECT_EQ(keys.size(), 133u);
    CQuilletResourceHelper kor, eng;
    kor.SetResource("KOR");
    eng.SetResource("ENG");
    EXPECT_EQ(kor.Size(), 133u);
    EXPECT_EQ(eng.Size(), 133u);
    for (size_t i = 0; i < n; ++i) {
        EXPECT_STREQ(kor.GetResourceData(rows[i].key), rows[i].korean);
        EXPECT_STREQ(eng.GetResourceData(rows[i].key), rows[i].english);
    }
    // Line breaks, blanks at the ends, empty texts, the texts a choice is
    // recognised by.
    EXPECT_STREQ(kor.GetResourceData("P12ImExport"), "가져오기\n내보내기");
    EXPECT_STREQ(eng.GetResourceData("ROOTCA_CERT_CHECK_FRAME_TITLE"), " Root CA certificate hash value (SHA-256) ");
    EXPECT_STREQ(kor.GetResourceData("CC_MSG_1"), "인증번호 ");
    EXPECT_STREQ(kor.GetResourceData("checkPasswd"), "");
    EXPECT_STREQ(eng.GetResourceData("PASSWORD_GUIDE_MSG"), "");
    EXPECT_STREQ(kor.GetResourceData("IMPORT_CERT"), "인증서 가져오기");
    EXPECT_STREQ(eng.GetResourceData("EXPORT_CERT"), "Export Certificate");
    EXPECT_GT(std::strlen(eng.GetResourceData("Roaming_Export_label_1")), 20u);
    EXPECT_NE(std::string(eng.GetResourceData("Roaming_Export_label_1")).find('\n'), std::string::npos);
    // A key not in the table reads as "" and is added.
    EXPECT_STREQ(kor.GetResourceData("NoSuchKey"), "");
    EXPECT_EQ(kor.Size(), 134u);
}

TEST(Messages, TheLanguageChoosesTheEdition) {
    struct Case {
        const char* language;
        int english;
    } cases[] = {{"KOR", 0}, {"kor", 1}, {"ENG", 1}, {"eng", 1}, {"JPN", 1}, {"KOR ", 1}};
    for (const Case& c : cases) {
        CQuilletResourceHelper h;
        h.SetResource(c.language);
        EXPECT_EQ(g_swLanguage_Eng, c.english) << c.language;
        EXPECT_STREQ(h.GetResourceData("OK"), c.english ? "OK" : "확인") << c.language;
    }
    // The same language again changes nothing, not even the switch.
    CQuilletResourceHelper h;
    h.SetResource("ENG");
    g_swLanguage_Eng = 7;
    h.SetResource("ENG");
    EXPECT_EQ(g_swLanguage_Eng, 7);
    // From English back to Korean, every key.
    h.SetResource("KOR");
    size_t n = 0;
    const MessageRow* rows = MessageTable(n);
    for (size_t i = 0; i < n; ++i) EXPECT_STREQ(h.GetResourceData(rows[i].key), rows[i].korean);
    EXPECT_EQ(h.Language(), "KOR");
    h.SetResource("");
    EXPECT_EQ(h.Language(), "");
    EXPECT_STREQ(h.GetResourceData("Cancel"), "취소");
    // A new helper given the empty language stays empty.
    CQuilletResourceHelper empty;
    empty.SetResource("");
    EXPECT_EQ(empty.Size(), 0u);
    EXPECT_STREQ(empty.GetResourceData("OK"), "");
    g_swLanguage_Eng = 0;
}

TEST(Messages, TextsOnWidgets) {
    GtkBuilder* builder = LoadWindowBuilder("ECW_enterCert");
    ASSERT_NE(builder, nullptr);
    CQuilletResourceHelper h;
    h.SetResource("ENG");
    h.SetCtrlText("ECW_enterCert", CQRH_WINDOW_TITLE, "SelectCertificate");  // no builder yet: skipped
    h.SetBuilder(builder);
    h.SetCtrlText("ECW_label_hdd", CQRH_LABEL, "HDD");
    h.SetCtrlText("ECW_tvc_subject", CQRH_TREEVIEW_COLUMN, "Subject");
    h.SetCtrlText("ECW_btn_ok", CQRH_BUTTON, "OK");
    h.SetCtrlText("ECW_enterCert", CQRH_WINDOW_TITLE, "SelectCertificate");
    h.SetCtrlText("NoSuchWidget", CQRH_LABEL, "OK");
    h.SetCtrlText("ECW_label_fdd", static_cast<CQRH_CTRLTYPE>(9), "OK");
    auto obj = [&](const char* id) { return gtk_builder_get_object(builder, id); };
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(obj("ECW_label_hdd"))), "HDD");
    EXPECT_STREQ(gtk_tree_view_column_get_title(GTK_TREE_VIEW_COLUMN(obj("ECW_tvc_subject"))), "Subject");
    EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(obj("ECW_btn_ok"))), "OK");
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(obj("ECW_enterCert"))), "Select Certificate");
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(obj("ECW_label_fdd"))), "이동식") << "the file's text";
    release(builder);
    g_swLanguage_Eng = 0;
}

}  // namespace
