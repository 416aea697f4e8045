// Removable volumes: the storage choice the issue, store, copy and roaming
// windows share (hard disk or a volume the user picks), and the list dialog
// that offers the volumes.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "ui/MainUI.h"

// The medium the storage radio buttons chose: 0 hard disk, 1 removable
// disk (the volume in the UI object's targetUSBVolume).
extern int tmpselectedStoreType;

// The removable-disk radio button of the issue and store windows: when the
// button is switched on, offers the volumes and keeps the one chosen.
// Switched off, it only resets the choice to the hard disk.
QUILLET_UI_EXPORT int on_NPW_radio_fdd_clicked(GtkWidget* button, gpointer data);

// The choice itself, shared by every removable-disk button. Leaves tmpselectedStoreType 1 with
// targetUSBVolume the chosen volume, or empty when none was chosen (the OK
// handlers then refuse it).
void ChooseRemovableVolume();

// Lists the mounted volumes and asks for one until the user takes a row
// or cancels; OK without a row asks again, and so does an empty row unless
// acceptEmpty. NoDrive: nothing is mounted and nothing was shown.
enum class VolumeChoice { Picked, NoDrive, Cancelled };
VolumeChoice AskRemovableVolume(std::string& chosen, bool acceptEmpty);

// The list dialog "SSD_SelectOne": 1 with choice set to the row the user
// took, 0 for OK without a row, -1 cancelled or closed (choice unchanged
// unless 1).
int SelectOneFromList(std::string& choice, const std::vector<std::string>& items, const std::string& title,
                      const std::string& description);
