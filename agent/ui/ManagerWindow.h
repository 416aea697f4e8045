// The certificate manager window and its dialogs: copy, password change,
// identity check, PKCS#12 import and export.
#pragma once

#include <gtk/gtk.h>

#include <map>
#include <string>

#include "ui/MainUI.h"

// Builds the manager, fills tab 0 and runs it until its job has ended: 0;
// -1 when it could not be built.
QUILLET_UI_EXPORT int MU_ManageCert(void);
int ManageCertWindow();

// The dialogs (result maps as the windows read them).
std::map<std::string, std::string> GetForCopyCert(int sourceIndex);
std::map<std::string, std::string> GetForChangePassword();
// One typed text: 1 with text set, 0 OK on an empty entry, -1 cancelled.
int AskText(std::string& text, const std::string& title, const std::string& description, const std::string& label);
// The file choosers: "" when cancelled.
std::string OpenFileDialog(const std::string& title, const std::string& filterSpec);
std::map<std::string, std::string> SaveFileDialog(const std::string& title, const std::string& filterSpec,
                                                  const std::string& currentName);

QUILLET_UI_EXPORT void on_MCW_notebook_switch_page(GtkNotebook* notebook, GtkWidget* page, guint pageNumber,
                                                   gpointer record);
QUILLET_UI_EXPORT void on_MCW_manageCert_radiobtn_HDD_clicked(GtkWidget* button, gpointer record);
QUILLET_UI_EXPORT void on_MCW_manageCert_radiobtn_FDD_clicked(GtkWidget* button, gpointer record);
QUILLET_UI_EXPORT void on_MCW_btn_close_clicked(GtkWidget* button, gpointer record);
QUILLET_UI_EXPORT void on_MCW_btn_copy_clicked(GtkWidget* button, gpointer record);
QUILLET_UI_EXPORT void on_MCW_btn_del_clicked(GtkWidget* button, gpointer record);
QUILLET_UI_EXPORT void on_MCW_btn_changepassword_clicked(GtkWidget* button, gpointer record);
QUILLET_UI_EXPORT void on_MCW_btn_checkme_clicked(GtkWidget* button, gpointer record);
QUILLET_UI_EXPORT void on_MCW_btn_imexport_clicked(GtkWidget* button, gpointer record);
