#include "DMLinuxUtil.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

char g_homeDir[kDMHomeDirMax + 1] = "";

bool setHome(const char* dir) {
    if (dir == nullptr || *dir == '\0' || std::strlen(dir) > kDMHomeDirMax) return false;
    std::strcpy(g_homeDir, dir);
    return true;
}

}  // namespace

int DMLinuxUtil_Initialize() {
    const char* overridden = std::getenv("QUILLETEX_HOME");
    if (overridden != nullptr && *overridden != '\0') {
        setHome(overridden);
        return 0;
    }
    struct passwd pw {};
    struct passwd* found = nullptr;
    std::vector<char> buf(16384);
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
        setHome(found->pw_dir))
        return 0;
    // A user without an entry (a container's arbitrary uid) still has the
    // home the login gave it. Without any, the home stays empty and nothing
    // is read or written under "/" in its place.
    if (!setHome(std::getenv("HOME"))) std::fprintf(stderr, "error: no usable home directory\n");
    return 0;
}

bool DMLinuxUtil_HasUserHOMEDir() { return g_homeDir[0] != '\0'; }

const char* DMLinuxUtil_GetUserHOMEDir() { return g_homeDir; }

const char* DMLinuxUtil_SetUserHOMEDir(const char* dir) {
    setHome(dir);
    return g_homeDir;
}

const char* DMLinuxUtil_GetInstallDir() {
    static const std::string dir = [] {
        const char* env = std::getenv("QUILLETEX_INSTALL_DIR");
        return std::string(env != nullptr && *env != '\0' ? env : kDMDefaultInstallDir);
    }();
    return dir.c_str();
}

int DMLinuxUtil_WriteFileAtomic(const std::string& path, const std::string& data, unsigned mode) {
    std::string temp = path + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) return -1;
    bool ok = ::fchmod(fd, mode) == 0;
    const char* p = data.data();
    size_t left = data.size();
    while (ok && left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(name.data(), path.c_str()) == 0) return 0;
    ::unlink(name.data());
    return -1;
}
