// Installing and removing the local root CA in the user's NSS databases
// (the shared one in ~/.pki/nssdb and every Firefox profile's), so browsers
// trust the loopback server.
#pragma once

#include <string>
#include <vector>

inline constexpr const char* kDMRootNickname = "VERIDAN ROOT - veridan";
inline constexpr const char* kDMRootCertFile = "VERIDAN_ROOT.cer";
inline constexpr const char* kDMSharedTrust = "TC";
inline constexpr const char* kDMProfileTrust = "TC,C,c";
inline constexpr size_t kDMMaxProfiles = 32;
// A profile path longer than this is skipped.
inline constexpr size_t kDMMaxProfilePath = 259;

// Installs the root into every database; asks (GTK) to close a running
// Firefox when askToCloseFirefox is set. 0, or -1 when any database failed
// (the others are still done).
int Regist_RootCert(int askToCloseFirefox);
// Removes the root from every database: 3, or -1 when it is still in one.
int Delete_RootCert();

// Replaces any root of that nickname in db ("sql:dir" or "dbm:dir") with
// the installed file: 0 or -1.
int Regist_RootCertToDB(const std::string& db, const char* trust);
// Removes every certificate of the nickname from db: 0, or -1 when one stays.
int Delete_RootCertFromDB(const std::string& db);

// The profile directories listed in "profiles.ini" under firefoxDir,
// relative ones resolved against it, at most kDMMaxProfiles; -1 when the
// file cannot be read.
int Get_FirefoxProfilePathsFrom(const std::string& firefoxDir, std::vector<std::string>& paths);
// The same for the user's "~/.mozilla/firefox".
int Get_FirefoxProfilePaths(std::vector<std::string>& paths);
// The databases a profile directory holds: "dbm:dir" for cert8.db and
// "sql:dir" for cert9.db.
std::vector<std::string> DMRootCert_ProfileDatabases(const std::string& profileDir);
