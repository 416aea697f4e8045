// The issue, store-after-request, revoke and PKCS#10 request windows, the
// renewal password dialog, and their handlers (exported under the names
// the builder file binds).
#pragma once

#include <gtk/gtk.h>

#include "ui/MainUI.h"

QUILLET_UI_EXPORT int MU_IssueWindow(void);
QUILLET_UI_EXPORT int MU_RevokeCert(void);
QUILLET_UI_EXPORT int MU_certRequestWindow(void);
QUILLET_UI_EXPORT int MU_certAndKeyStoreAfterCertRequestWindow(void);

QUILLET_UI_EXPORT void on_NPW_btn_ok_clicked(GtkWidget* button, gpointer data);
QUILLET_UI_EXPORT int on_NPW_btn_cancel_clicked(GtkWidget* button, gpointer data);
QUILLET_UI_EXPORT void on_NPW_radio_hdd_clicked(GtkWidget* button, gpointer data);
QUILLET_UI_EXPORT void on_NPW_without_Passwd_btn_ok_clicked(GtkWidget* button, gpointer data);
QUILLET_UI_EXPORT void on_IPD_btn_ok1_clicked(GtkWidget* button, gpointer data);
QUILLET_UI_EXPORT int on_IPD_btn_cancel1_clicked(GtkWidget* button, gpointer data);
QUILLET_UI_EXPORT void on_DCD_delete_2_ok_clicked(GtkWidget* button, gpointer data);
QUILLET_UI_EXPORT void on_DCD_delete_2_cancel_clicked(GtkWidget* button, gpointer data);
