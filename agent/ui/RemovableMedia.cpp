// Removable volumes and the storage choice of the windows that write a
// certificate somewhere.
#include "ui/RemovableMedia.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "job/Job.h"

// tmpselectedStoreType is the UI's (Dialogs.cpp), reset with it per job.

namespace {

std::string loginName() {
    struct passwd pw {};
    struct passwd* found = nullptr;
    std::vector<char> room(16384);
    if (getpwuid_r(getuid(), &pw, room.data(), room.size(), &found) == 0 && found && found->pw_name && *found->pw_name)
        return found->pw_name;
    for (const char* name : {"LOGNAME", "USER"})
        if (const char* env = std::getenv(name); env && *env) return env;
    return {};
}

// The real directories of a folder (links and files are no volumes),
// sorted; the user's own folder under /media (expand) stands for its
// subdirectories, so the folder itself is never offered.
void addVolumes(const std::string& folder, std::vector<std::string>& out, const std::string& expand = {}) {
    JOBLOG("CQuilletUtils::GetUSBMountDir() USBMountDir.c_str() = [%s]\n", folder.c_str());
    DIR* d = opendir(folder.c_str());
    if (!d) {
        JOBLOG("USB Open error [%s] is not exist.", folder.c_str());
        return;
    }
    std::vector<std::string> names;
    while (const dirent* e = readdir(d)) {
        JOBLOG("strDir : [%s]\n", e->d_name);
        const std::string_view name(e->d_name);
        if (name != "." && name != "..") names.emplace_back(name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        if (!expand.empty() && name == expand)
            addVolumes(path, out);
        else
            out.push_back(path);
    }
}

// Texts of the job's edition for the choice's boxes.
const char* text(const char* key) { return GetQuilletUI()->m_resourceHelper.GetResourceData(key); }

void warn(const char* textKey, const char* titleKey) {
    CQuilletUI::MessageBox(text(textKey), text(titleKey), GTK_MESSAGE_WARNING);
}

}  // namespace

// The drive rule of the store (the directories under /media, with the
// user's /media/<login> standing for its own, then /run/media/<login>), so
// a window offers exactly the drives the store lists; QUILLETEX_MEDIA_ROOT
// stands in for "/" as it does for the store. The distribution's name is
// not consulted: Debian mounts under /media/<login> as Ubuntu does.
int CQuilletUtils::GetUSBMountDir(std::vector<std::string>& dirs) {
    const char* env = std::getenv("QUILLETEX_MEDIA_ROOT");
    std::string root = env ? env : "";
    while (!root.empty() && root.back() == '/') root.pop_back();
    const std::string login = loginName();
    const size_t before = dirs.size();
    addVolumes(root + "/media", dirs, login);
    if (!login.empty()) addVolumes(root + "/run/media/" + login, dirs);
    if (dirs.size() == before) {
        JOBLOG("CQuilletUtils::GetUSBMountDir() 연결된 USB 볼륨 없음.\n");
        return -1;
    }
    return 0;
}

int SelectOneFromList(std::string& choice, const std::vector<std::string>& items, const std::string& title,
                      const std::string& description) {
    return GetQuilletUI()->GetForListStoreOne(choice, items, title, description);
}

VolumeChoice AskRemovableVolume(std::string& chosen, bool acceptEmpty) {
    std::vector<std::string> dirs;
    if (CQuilletUtils::GetUSBMountDir(dirs) != 0) return VolumeChoice::NoDrive;
    JOBLOG("toggles [%d][%d]\n", 1, static_cast<int>(dirs.size()));
    for (const std::string& dir : dirs) JOBLOG("vecDirs[i] : [%s]\n", dir.c_str());
    for (;;) {
        const int rc =
            SelectOneFromList(chosen, dirs, text("STORETYPE_FDD_SELECT"), text("STORETYPE_FDD_SELECT_PLEASE"));
        if (rc == 1 && (acceptEmpty || !chosen.empty())) return VolumeChoice::Picked;
        if (rc == -1) {
            JOBLOG("nPStat == -1\n");
            return VolumeChoice::Cancelled;
        }
        warn("STORETYPE_FDD_SELECT_PLEASE", "STORETYPE_FDD_SELECT");
    }
}

void ChooseRemovableVolume() {
    CQuilletUI* ui = GetQuilletUI();
    std::string chosen;
    switch (AskRemovableVolume(chosen, true)) {
        case VolumeChoice::NoDrive:
            warn("NO_REMOVABLE_DRIVE", "SELECT");
            JOBLOG("GetQuilletUI()->targetUSBVolume = [%s]\n", ui->targetUSBVolume);
            tmpselectedStoreType = 1;
            return;
        case VolumeChoice::Cancelled:
            explicit_bzero(ui->targetUSBVolume, sizeof ui->targetUSBVolume);
            tmpselectedStoreType = 1;
            JOBLOG("GetQuilletUI()->targetUSBVolume = [%s]\n", ui->targetUSBVolume);
            JOBLOG("tmpselectedStoreType = [%d]\n", tmpselectedStoreType);
            return;
        case VolumeChoice::Picked:
            break;
    }
    // A path that does not fit is never cut into another path: no volume.
    if (!chosen.empty() && chosen.size() < sizeof ui->targetUSBVolume) {
        JOBLOG("strSel.c_str() = [%s]\n", chosen.c_str());
        std::memcpy(ui->targetUSBVolume, chosen.c_str(), chosen.size() + 1);
    }
    tmpselectedStoreType = 1;
}

int on_NPW_radio_fdd_clicked(GtkWidget* button, gpointer) {
    JOBLOG("on_NPW_radio_fdd_clicked()... \n");
    CQuilletUI* ui = GetQuilletUI();
    explicit_bzero(ui->targetUSBVolume, sizeof ui->targetUSBVolume);
    tmpselectedStoreType = 0;
    if (button && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button))) ChooseRemovableVolume();
    JOBLOG("on_NPW_radio_fdd_clicked(), GetQuilletUI()->targetUSBVolume = [%s]\n", ui->targetUSBVolume);
    JOBLOG("on_NPW_radio_fdd_clicked(), tmpselectedStoreType = [%d]\n", tmpselectedStoreType);
    return 0;
}
