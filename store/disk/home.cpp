// The home directory, the removable drives and their records.
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

#include <zephaltpavix/encode.h>
#include <zephaltpavix/layout.h>

#include "base/store_internal.hpp"
#include "disk/disk_internal.hpp"

namespace {

// The password database's entry of the real user.
bool passwordEntry(std::string* dir, std::string* login) {
    struct passwd pw {};
    struct passwd* found = nullptr;
    std::vector<char> room(16384);
    if (getpwuid_r(getuid(), &pw, room.data(), room.size(), &found) != 0 || !found) return false;
    if (dir) *dir = found->pw_dir ? found->pw_dir : "";
    if (login) *login = found->pw_name ? found->pw_name : "";
    return true;
}

std::string loginName() {
    std::string login;
    if (passwordEntry(nullptr, &login) && !login.empty()) return login;
    for (const char* name : {"LOGNAME", "USER"})
        if (const char* env = std::getenv(name); env && *env) return env;
    return {};
}

// The names in a folder (without "." and ".."), sorted; false when it cannot
// be read.
bool entries(const std::string& dir, std::vector<std::string>& names) {
    names.clear();
    DIR* d = opendir(dir.c_str());
    if (!d) return false;
    while (const dirent* e = readdir(d)) {
        const std::string_view name(e->d_name);
        if (name != "." && name != "..") names.emplace_back(name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return true;
}

// 1 a real directory, 0 anything else (or gone), -1 when it cannot be
// examined.
int isRealDirectory(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return 0;  // unmounted while we looked
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Get_DriveInfos () : stat Fail (%s) %d\n", path.c_str(), errno);
        return -1;
    }
    return S_ISDIR(st.st_mode) ? 1 : 0;
}

// Appends the real directories of a folder; a folder that cannot be read
// adds nothing.
int addDirectories(const std::string& folder, std::vector<std::string>& drives, const std::string& expand = {}) {
    std::vector<std::string> names;
    if (!entries(folder, names)) {
        ZSTORE_LOG(VCL_LOG_DEBUG, "VPL_Get_DriveInfos () : Open dir Fail (%s)\n", folder.c_str());
        return 0;
    }
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        const int kind = isRealDirectory(path);
        if (kind < 0) return -1;
        if (kind == 0) continue;
        if (!expand.empty() && name == expand) {
            if (addDirectories(path, drives) != 0) return -1;
        } else {
            drives.push_back(path);
        }
    }
    return 0;
}

int driveRecord(const std::string& path, char** out, int* outLen) {
    char* encoded = nullptr;
    int encodedLen = 0;
    if (VPL_DataEncode(1, path.data(), static_cast<int>(path.size()), &encoded, &encodedLen) != 0)
        return zstore::fail("VPL_Send_DriveData", VPL_ERR_MALLOC);
    std::string record = "drive^";
    record.append(encoded, static_cast<size_t>(encodedLen));
    record += "&volume^";
    VPL_Free(encoded, encodedLen);
    return zstore::handOut(record, out, outLen);
}

}  // namespace

namespace zstore {

std::string withoutTrailingSlash(std::string_view path) {
    while (!path.empty() && path.back() == '/') path.remove_suffix(1);
    return std::string(path);
}

int homeDirectory(std::string& home) {
    home.clear();
    if (const char* env = std::getenv("QUILLETEX_HOME"); env && *env) {
        home = env;
    } else if (!passwordEntry(&home, nullptr) || home.empty()) {
        // A user without an entry (a container's arbitrary uid) keeps the
        // home the login gave it, as the daemon does.
        if (const char* env = std::getenv("HOME")) home = env;
    }
    if (home.empty()) return VPL_ERR_PATH;
    if (home.size() >= VPL_PATH_MAX) return VPL_ERR_PATH;
    if (home != "/") home = withoutTrailingSlash(home);
    return 0;
}

int removableDrives(std::vector<std::string>& drives) {
    drives.clear();
    const char* env = std::getenv("QUILLETEX_MEDIA_ROOT");
    const std::string root = env ? withoutTrailingSlash(env) : std::string();
    const std::string login = loginName();
    if (addDirectories(root + "/media", drives, login) != 0) return -1;
    if (!login.empty() && addDirectories(root + "/run/media/" + login, drives) != 0) return -1;
    return 0;
}

}  // namespace zstore

extern "C" {

VPL_API int VPL_Get_OSCertLocation(char* dst, int* len, ...) {
    if (!dst || !len) return zstore::fail("VPL_Get_OSCertLocation", VPL_ERR_INVALID_PARAM);
    std::string home;
    if (const int rc = zstore::homeDirectory(home); rc != 0) {
        dst[0] = '\0';
        *len = 0;
        return zstore::fail("VPL_Get_OSCertLocation", rc);
    }
    std::memcpy(dst, home.c_str(), home.size() + 1);
    *len = static_cast<int>(home.size());
    return 0;
}

VPL_API int VPL_Send_DriveData(const char* path, char** out, int* outLen) {
    if (!path || !out || !outLen) return zstore::fail("VPL_Send_DriveData", VPL_ERR_INVALID_PARAM);
    return driveRecord(path, out, outLen);
}

VPL_API int VPL_Get_SystemDrive(char** out, int* outLen) {
    if (!out || !outLen) return zstore::fail("VPL_Get_SystemDrive", VPL_ERR_INVALID_PARAM);
    *out = nullptr;
    *outLen = 0;
    std::string home;
    if (const int rc = zstore::homeDirectory(home); rc != 0) return zstore::fail("VPL_Get_SystemDrive", rc);
    return driveRecord(home, out, outLen);
}

VPL_API int VPL_Get_DriveInfos(char** out, int* outLen) {
    if (!out || !outLen) return zstore::fail("VPL_Get_DriveInfos", VPL_ERR_INVALID_PARAM);
    *out = nullptr;
    *outLen = 0;
    char* record = nullptr;
    int recordLen = 0;
    if (const int rc = VPL_Get_SystemDrive(&record, &recordLen); rc != 0) return rc;
    std::string list(record, static_cast<size_t>(recordLen));
    VPL_Free(record, recordLen);
    std::vector<std::string> drives;
    if (zstore::removableDrives(drives) != 0) return -1;
    for (const std::string& drive : drives) {
        if (const int rc = driveRecord(drive, &record, &recordLen); rc != 0) return rc;
        list += '|';
        list.append(record, static_cast<size_t>(recordLen));
        VPL_Free(record, recordLen);
    }
    return zstore::handOut(list, out, outLen);
}

}  // extern "C"
