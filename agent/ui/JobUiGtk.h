// The program's user interface for the job side, over GTK: the job's UI
// object (ui/MainUI.h) behind the job's interface.
#pragma once

#include "job/IJobUi.h"

// The program's UI (one per process).
IJobUi& DefaultJobUi();

// gtk_init_check: -1 when GTK initialised, 0 when it did not.
int JobUi_GtkInit(int* argc, char*** argv);
