#include "DMLinuxRootCert.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "common/DMLinuxLog.h"
#include "DMLinuxProcess.h"

namespace {

constexpr size_t kLineMax = 1024;

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// The databases live in the home; without one there is nothing to change.
bool haveHome() {
    if (DMLinuxUtil_HasUserHOMEDir()) return true;
    DMLOG("[ERR] no home directory\n");
    std::fprintf(stderr, "error: no home directory\n");
    return false;
}

std::string sharedDir() { return std::string(DMLinuxUtil_GetUserHOMEDir()) + "/.pki/nssdb"; }

std::string certFile() { return std::string(DMLinuxUtil_GetInstallDir()) + "/" + kDMRootCertFile; }

int certutil(const std::vector<std::string>& args, bool quiet = false) {
    std::vector<std::string> argv = {"certutil"};
    argv.insert(argv.end(), args.begin(), args.end());
    return DMLinuxUtil_SystemCall(argv, true, quiet);
}

// A probe: "not found" is an answer, not something to print.
bool hasRoot(const std::string& db) { return certutil({"-L", "-d", db, "-n", kDMRootNickname}, true) == 0; }

bool isEmptyDir(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_empty(path, ec) && !ec;
}

// ~/.pki/nssdb with an empty password when there is none yet: a fresh
// account has no shared database, and adding to a missing one fails. It is
// made in a folder of its own and renamed into place, so that a browser or
// another run making it at the same moment never meets half a database
// (certutil -N on one that already exists asks for its password for ever).
int ensureSharedDatabase() {
    const std::string dir = sharedDir();
    if (exists(dir + "/cert9.db")) return 0;
    const std::string pki = std::string(DMLinuxUtil_GetUserHOMEDir()) + "/.pki";
    ::mkdir(pki.c_str(), 0700);
    int r = -1;
    if (!exists(dir) || isEmptyDir(dir)) {
        std::string temp = pki + "/.nssdb.XXXXXX";
        if (::mkdtemp(temp.data()) != nullptr) {
            r = certutil({"-N", "-d", "sql:" + temp, "--empty-password"});
            // Over a missing or empty folder only; one that has filled in
            // the meantime is kept.
            if (r == 0 && ::rename(temp.c_str(), dir.c_str()) != 0) r = exists(dir + "/cert9.db") ? 0 : -1;
            std::error_code ec;
            std::filesystem::remove_all(temp, ec);
        }
    } else {
        // Other files but no cert9.db (an old dbm database): made in place.
        r = certutil({"-N", "-d", "sql:" + dir, "--empty-password"});
    }
    if (r != 0) {
        DMLOG("[ERR] cannot create the NSS database %s (%d)\n", dir.c_str(), r);
        std::fprintf(stderr, "error: cannot create the NSS database %s\n", dir.c_str());
        return -1;
    }
    return 0;
}

// Debian names the process firefox-esr.
constexpr const char* kFirefoxNames[] = {"firefox", "firefox-bin", "firefox-esr"};

// Only this user's Firefox has our databases open.
bool firefoxRunning() {
    for (const char* name : kFirefoxNames)
        if (!DMLinuxUtil_FindProcessesByName(name).empty()) return true;
    return false;
}

void askToCloseFirefox() {
    if (!firefoxRunning()) return;
    char text[512];
    std::snprintf(text, sizeof text,
                  "정상적인 공인인증모듈 사용을 위해서는 %s 브라우저를 종료해야 합니다.\n 현재 진행하고 계신 업무를 "
                  "확인 후 '확인' 버튼을 클릭하시기 바랍니다.",
                  "firefox");
    if (DMLinuxUtil_ShowMessageBox(text, "Infomation", 2) == 1) {
        for (const char* name : kFirefoxNames) DMLinuxUtil_KillProcess(name);
    }
}

// The value after "key=", or false when the line is something else.
bool valueOf(const char* line, const char* key, std::string& value) {
    size_t n = std::strlen(key);
    if (std::strncmp(line, key, n) != 0) return false;
    value = line + n;
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) value.pop_back();
    return true;
}

}  // namespace

int Get_FirefoxProfilePathsFrom(const std::string& firefoxDir, std::vector<std::string>& paths) {
    paths.clear();
    FILE* f = std::fopen((firefoxDir + "/profiles.ini").c_str(), "r");
    if (f == nullptr) return -1;
    char line[kLineMax];
    int relative = -1;
    std::string path;
    bool skipRest = false;
    while (paths.size() < kDMMaxProfiles && std::fgets(line, sizeof line, f) != nullptr) {
        size_t len = std::strlen(line);
        bool whole = len > 0 && line[len - 1] == '\n';
        if (skipRest) {
            // The tail of a line that did not fit: ignored with its head.
            skipRest = !whole;
            continue;
        }
        if (!whole && !std::feof(f)) {
            skipRest = true;
            continue;
        }
        int number = -1;
        char close = 0;
        std::string value;
        if (std::sscanf(line, "[Profile%d%c", &number, &close) == 2 && number >= 0 && close == ']') {
            relative = -1;
            path.clear();
        } else if (valueOf(line, "IsRelative=", value)) {
            relative = value == "1" ? 1 : value == "0" ? 0 : -1;
        } else if (valueOf(line, "Path=", value)) {
            // Up to the first white space.
            path = value.substr(0, value.find_first_of(" \t"));
        } else {
            continue;
        }
        if (relative < 0 || path.empty()) continue;
        std::string full = relative == 1 ? firefoxDir + "/" + path : path;
        if (path.size() <= kDMMaxProfilePath && (relative == 1 || path[0] == '/')) paths.push_back(full);
        relative = -1;
        path.clear();
    }
    std::fclose(f);
    return static_cast<int>(paths.size());
}

int Get_FirefoxProfilePaths(std::vector<std::string>& paths) {
    paths.clear();
    if (!DMLinuxUtil_HasUserHOMEDir()) return -1;
    return Get_FirefoxProfilePathsFrom(std::string(DMLinuxUtil_GetUserHOMEDir()) + "/.mozilla/firefox", paths);
}

std::vector<std::string> DMRootCert_ProfileDatabases(const std::string& profileDir) {
    std::vector<std::string> dbs;
    if (exists(profileDir + "/cert8.db")) dbs.push_back("dbm:" + profileDir);
    if (exists(profileDir + "/cert9.db")) dbs.push_back("sql:" + profileDir);
    return dbs;
}

int Delete_RootCertFromDB(const std::string& db) {
    // Several certificates may share the nickname; bounded all the same.
    for (int i = 0; i < 16 && hasRoot(db); ++i) certutil({"-d", db, "-D", "-n", kDMRootNickname});
    if (hasRoot(db)) {
        DMLOG("[ERR] cannot remove the root from %s\n", db.c_str());
        return -1;
    }
    return 0;
}

int Regist_RootCertToDB(const std::string& db, const char* trust) {
    if (Delete_RootCertFromDB(db) != 0) return -1;
    int r = certutil({"-A", "-t", trust, "-n", kDMRootNickname, "-i", certFile(), "-d", db});
    if (r != 0) {
        DMLOG("[ERR] certutil -A into %s failed (%d)\n", db.c_str(), r);
        std::fprintf(stderr, "error: cannot add the root CA to %s\n", db.c_str());
        return -1;
    }
    DMLOG("[NOT] root CA registered in %s\n", db.c_str());
    return 0;
}

int Regist_RootCert(int ask) {
    if (!haveHome()) return -1;
    if (!exists(certFile())) {
        DMLOG("[ERR] %s is missing\n", certFile().c_str());
        std::fprintf(stderr, "error: %s is missing\n", certFile().c_str());
        return -1;
    }
    int result = 0;
    if (ensureSharedDatabase() != 0 || Regist_RootCertToDB("sql:" + sharedDir(), kDMSharedTrust) != 0) result = -1;

    // The older (dbm) databases of the profiles, then the sql ones.
    for (const char* kind : {"dbm:", "sql:"}) {
        std::vector<std::string> profiles;
        Get_FirefoxProfilePaths(profiles);
        for (const auto& profile : profiles) {
            for (const auto& db : DMRootCert_ProfileDatabases(profile)) {
                if (db.rfind(kind, 0) == 0 && Regist_RootCertToDB(db, kDMProfileTrust) != 0) result = -1;
            }
        }
        if (ask) askToCloseFirefox();
    }
    return result;
}

int Delete_RootCert() {
    if (!haveHome()) return -1;
    int result = 3;
    if (exists(sharedDir() + "/cert9.db") && Delete_RootCertFromDB("sql:" + sharedDir()) != 0) result = -1;
    for (const char* kind : {"dbm:", "sql:"}) {
        std::vector<std::string> profiles;
        Get_FirefoxProfilePaths(profiles);
        for (const auto& profile : profiles)
            for (const auto& db : DMRootCert_ProfileDatabases(profile))
                if (db.rfind(kind, 0) == 0 && Delete_RootCertFromDB(db) != 0) result = -1;
    }
    return result;
}
