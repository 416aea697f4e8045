// The certificate detail window and the root-CA fingerprint window it
// opens.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "ui/MainUI.h"

// Shows the UI's selected certificate (m_selectedCertValues) modally.
void DetailCertView();

// The fingerprint text of a file: upper-case hex, a blank after every two
// bytes; empty when it cannot be hashed.
std::string RootCAFingerprintText(const std::string& path);
// Fills the root-CA window of builder from list 1 (the root CA rows).
void SetRootCAHashWindowValue(CQuilletResourceHelper& helper, GtkWidget* window, GtkBuilder* builder);

QUILLET_UI_EXPORT void hash_window_value_callback(GtkWidget* button, gpointer window);
QUILLET_UI_EXPORT void RootCAButton_pressed(GtkWidget* button, gpointer window);
QUILLET_UI_EXPORT gboolean RootCAHashWindow_delete_event(GtkWidget* window, GdkEvent* event, gpointer data);
// The manager's view buttons and row activations of tabs 1 to 3 (and tab
// 0's, which open the same window).
QUILLET_UI_EXPORT void on_MCW_btn_viewcert_clicked(GtkWidget* button, gpointer record);
QUILLET_UI_EXPORT void on_MCW_btn_viewcert_1_clicked(GtkWidget* button, gpointer record);
QUILLET_UI_EXPORT void on_MCW_btn_viewcert_2_clicked(GtkWidget* button, gpointer record);
QUILLET_UI_EXPORT void on_MCW_btn_viewcert_3_clicked(GtkWidget* button, gpointer record);
// Views the row selected in view (a warning without one): the manager's
// view handlers all end here.
void ViewSelectedCert(GtkTreeView* view);
