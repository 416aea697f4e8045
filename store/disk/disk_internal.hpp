// The disk side of the store for its own modules: the home directory, the
// removable drives, and a writer whose changes are undone unless the whole
// operation succeeds.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <zephaltpavix/layout.h>

namespace zstore {

// The home directory (QUILLETEX_HOME, else the password database's entry of
// the real user, else HOME), without a trailing "/": 0, or VPL_ERR_PATH
// when there is none or it is VPL_PATH_MAX characters or longer.
int homeDirectory(std::string& home);

// The removable drives, sorted by name within each folder: the directories
// under {root}/media, with {root}/media/<login> standing for its own
// subdirectories, then those under {root}/run/media/<login>; {root} is
// QUILLETEX_MEDIA_ROOT or empty. Symbolic links and files are no drives.
// 0, or -1 when an entry cannot be examined.
int removableDrives(std::vector<std::string>& drives);

// A path with its trailing "/" removed ("/" stays "").
std::string withoutTrailingSlash(std::string_view path);

// The key file's name of a certificate file's name: the last eight
// characters become "Pri.key" (signCert.der: signPri.key, kmCert.der:
// kmPri.key); for the government's classes 5 and 6 the last three "key"
// (_sig.cer: _sig.key); for 10 the last four "priv". Empty when the name is
// not longer than what is replaced.
std::string keyFileName(std::string_view certName, int typeCode);

// One operation's files and folders. Folders are made 0700; files are
// written under a temporary name in their folder, synced and renamed into
// place. Unless commit() is called, everything the writer made (renamed
// files, temporaries, new folders) is removed when it goes out of scope,
// and a file it renamed over an existing one gets the old bytes and mode
// back (the writer keeps them, zeroed when it goes: they may be a key).
class StoreWriter {
public:
    struct File {
        std::string name;
        std::string_view bytes;
        mode_t mode;  // less the umask
    };

    StoreWriter() = default;
    StoreWriter(const StoreWriter&) = delete;
    StoreWriter& operator=(const StoreWriter&) = delete;
    ~StoreWriter();

    // True when path is a directory afterwards (one level is made; existing
    // folders are left as they are). Failures are logged with errno.
    bool makeDir(const std::string& path);
    // Writes the files into dir: every one under its temporary name first,
    // then each renamed over its name. False when any step fails.
    bool write(const std::string& dir, const std::vector<File>& files);
    void commit() { m_committed = true; }

    // Asked before a write replaces existing files, for each of them with
    // its bytes and the new ones: false refuses the write (none of its
    // files is renamed into place).
    using ReplaceCheck =
        std::function<bool(const std::string& path, std::string_view old, std::string_view replacement)>;
    void setReplaceCheck(ReplaceCheck check) { m_check = std::move(check); }

private:
    void rollback();

    struct Replaced {
        std::string path;
        std::string bytes;
        mode_t mode;
    };
    bool keepOld(const std::string& target);
    void restore(Replaced& old);

    std::vector<std::string> m_madeDirs;
    std::vector<std::string> m_temporaries;
    std::vector<std::string> m_placed;
    std::vector<Replaced> m_replaced;
    ReplaceCheck m_check;
    bool m_committed = false;
};

// Tests only: asked before each step of StoreWriter::write ("open",
// "write" per file, "rename" per file) with the file's final path; true
// makes that step fail as a full disk would.
extern std::function<bool(std::string_view step, const std::string& path)> g_writerFault;

// VPL_Location_CertCreate through the caller's writer: what it writes stays
// only when the caller commits.
int locationCertCreate(StoreWriter& writer, int flag, const char* drive, PKI_STR_INFO* rec);

}  // namespace zstore
