// What the UI tests share: GTK started under Xvfb with the staged
// installation (builder file and pictures), event pumping, boxes answered
// as a user would, screenshots kept in the build tree, and the job's log.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

namespace uitest {

// Runs pending GTK events (and waits a little for the X server) until none
// is left.
void pump(int rounds = 3);

// A box or dialog that showed: its title, its text (message boxes), its
// message type (-1 for other dialogs).
struct SeenDialog {
    std::string title, text;
    int type = -1;
};
// Answers every dialog that shows with response while it lives, keeping
// what it saw.
class DialogAnswerer {
public:
    explicit DialogAnswerer(int response = GTK_RESPONSE_OK);
    ~DialogAnswerer();
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;
    std::vector<SeenDialog> seen;
    int response;

private:
    static gboolean tick(gpointer self);
    guint m_source;
};

// Saves what window shows as <build>/tests/agent/ui-screenshots/<name>.png;
// false when nothing could be grabbed.
bool screenshot(GtkWidget* window, const std::string& name);

// The job's log lines since the last clear.
std::vector<std::string>& logLines();
void clearLog();
int countLines(const std::string& prefix);

// Live heap (under AddressSanitizer) or resident set, in bytes.
long long memoryInUse();

}  // namespace uitest
