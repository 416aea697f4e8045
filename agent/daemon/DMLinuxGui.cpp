// The daemon's only GTK use: start-up and the installer's question box.
#include <gtk/gtk.h>

#include "DMLinuxProcess.h"

int DMLinuxUtil_InitLibGTK(int* argc, char*** argv) { return gtk_init_check(argc, argv) ? 0 : -1; }

int DMLinuxUtil_ShowMessageBox(const char* text, const char* title, unsigned type) {
    GtkMessageType kind = GTK_MESSAGE_OTHER;
    switch (type) {
        case 0:
            kind = GTK_MESSAGE_INFO;
            break;
        case 1:
            kind = GTK_MESSAGE_WARNING;
            break;
        case 2:
            kind = GTK_MESSAGE_QUESTION;
            break;
        case 3:
            kind = GTK_MESSAGE_ERROR;
            break;
        default:
            break;
    }
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, kind, GTK_BUTTONS_OK_CANCEL, "%s",
                                               text != nullptr ? text : "");
    if (dialog == nullptr) return 0;
    if (title != nullptr) gtk_window_set_title(GTK_WINDOW(dialog), title);
    gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    while (gtk_events_pending()) gtk_main_iteration();
    return response == GTK_RESPONSE_OK ? 1 : 0;
}
