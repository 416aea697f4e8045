// The roaming windows: the number window of an import (the user types the
// number the phone shows), the import dialog (medium and the PKCS#12's
// password), and the display of an export's number.
#pragma once

#include <gtk/gtk.h>

#include <map>
#include <string>

#include "ui/MainUI.h"

// Opens the number window for digits (8, 12 or 16) and runs it until its
// job has ended: 0; -1 when it could not be built.
QUILLET_UI_EXPORT int MU_RoamingCertImport(int digits);
int RoamingImportWindow(int digits);

// The import dialog: "password", or "error" with "errormsg", or "cancel".
std::map<std::string, std::string> GetForRoamingImportCert();

// Shows number in pieces of four (as many as digits asks, never past the
// number's end) until the user closes it: 0.
int RoamingExportNumber(const std::string& number, int digits);

QUILLET_UI_EXPORT int on_RIW_btn_ok_clicked(GtkWidget* button, gpointer record);
QUILLET_UI_EXPORT int on_RIW_btn_cancel_clicked(GtkWidget* button, gpointer label);
QUILLET_UI_EXPORT int on_ISCD_radio_hdd_clicked(GtkWidget* button, gpointer data);
QUILLET_UI_EXPORT int on_ISCD_radio_fdd_clicked(GtkWidget* button, gpointer data);
