// The three walks of a store: user certificates (base/CA/group/folder),
// government certificates (base/class) and CA certificates (base/CA).
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <zephaltpavix/certclass.h>
#include <zephaltpavix/certlist.h>

#include "disk/disk_internal.hpp"
#include "list/list_internal.hpp"

namespace {

struct Entry {
    std::string name;
    bool dir = false;
    bool file = false;
};

enum class Read { ok, noFolder, badEntry };

// The entries of a folder but "." and "..", sorted by name, with their
// kinds (links followed). An entry that vanished, or a link to nothing, is
// left out; one whose status cannot be read otherwise is badEntry.
Read readFolder(const std::string& path, std::vector<Entry>& entries) {
    entries.clear();
    DIR* d = opendir(path.c_str());
    if (!d) return Read::noFolder;
    Read result = Read::ok;
    while (const dirent* e = readdir(d)) {
        const std::string_view name(e->d_name);
        if (name == "." || name == "..") continue;
        Entry entry{std::string(name)};
        if (e->d_type == DT_DIR) {
            entry.dir = true;
        } else if (e->d_type == DT_REG) {
            entry.file = true;
        } else {
            struct stat st {};
            const std::string full = path + "/" + entry.name;
            if (stat(full.c_str(), &st) != 0) {
                if (errno == ENOENT) continue;
                ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Get_CertListInfo() : stat Fail(%d) [%s]\n", errno, full.c_str());
                result = Read::badEntry;
                break;
            }
            entry.dir = S_ISDIR(st.st_mode);
            entry.file = S_ISREG(st.st_mode);
        }
        entries.push_back(std::move(entry));
    }
    closedir(d);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return result;
}

bool endsWithNoCase(std::string_view name, std::string_view ending) {
    return name.size() >= ending.size() && zstore::equalNoCase(name.substr(name.size() - ending.size()), ending);
}

// The folder's file whose name is keyName, letters without case (its own
// spelling first); empty when there is none.
std::string keyEntry(const std::vector<Entry>& entries, std::string_view keyName) {
    std::string found;
    for (const Entry& e : entries) {
        if (!e.file || !zstore::equalNoCase(e.name, keyName)) continue;
        if (e.name == keyName) return e.name;
        if (found.empty()) found = e.name;
    }
    return found;
}

class Walk {
public:
    Walk(CertInfoList* list, const char* fn) : m_list(list), m_fn(fn) {}

    // The entries of a folder below the base: false (and the walk's
    // result set) when it cannot be read.
    bool folder(const std::string& path, std::vector<Entry>& entries) {
        switch (readFolder(path, entries)) {
            case Read::ok:
                return true;
            case Read::noFolder:
                ZSTORE_LOG(VCL_LOG_ERROR, "%s() : Open dir Fail (%s)\n", m_fn, path.c_str());
                m_result = VPL_ERR_DIR_OPEN;
                return false;
            case Read::badEntry:
                m_result = -1;
                return false;
        }
        return false;
    }

    // The base's entries: false when it does not open (nothing to walk,
    // result 0) or holds an entry that cannot be examined (-1).
    bool base(const std::string& path, std::vector<Entry>& entries) {
        const Read r = readFolder(path, entries);
        if (r == Read::noFolder) ZSTORE_LOG(VCL_LOG_DEBUG, "%s() : Open dir Fail (%s)\n", m_fn, path.c_str());
        if (r == Read::badEntry) m_result = -1;
        return r == Read::ok;
    }

    // A certificate file with its key (empty for a CA): appended when it
    // reads and decodes; keep decides on the record (the CA modes).
    template <typename Keep>
    void add(const std::string& certPath, const std::string& keyPath, Keep&& keep) {
        zstore::CertRecord rec;
        bool selfIssued = false;
        const int rc = zstore::makeRecordFromFile(certPath, rec, nullptr, &selfIssued);
        if (rc != 0) {
            ZSTORE_LOG(VCL_LOG_ERROR, "%s() : VPL_CertPath_Make_CertInfo Fail (0x%08x) [%s]\n", m_fn,
                       static_cast<unsigned>(rc), certPath.c_str());
            return;
        }
        if (!keep(selfIssued)) return;
        rec.keyPath = keyPath.empty() ? certPath : keyPath;
        if (zstore::append(m_list, std::move(rec)) != 0)
            ZSTORE_LOG(VCL_LOG_ERROR, "%s() : VPL_InsertList Fail [%s]\n", m_fn, certPath.c_str());
    }
    void add(const std::string& certPath, const std::string& keyPath) {
        add(certPath, keyPath, [](bool) { return true; });
    }

    // Pairs every file ending in certEnding with its key in the folder.
    void pairs(const std::string& path, const std::vector<Entry>& entries, std::string_view certEnding, int typeCode) {
        for (const Entry& e : entries) {
            if (!e.file || !endsWithNoCase(e.name, certEnding)) continue;
            const std::string key = keyEntry(entries, zstore::keyFileName(e.name, typeCode));
            if (key.empty()) {
                ZSTORE_LOG(VCL_LOG_DEBUG, "%s() : no key beside [%s/%s]\n", m_fn, path.c_str(), e.name.c_str());
                continue;
            }
            add(path + "/" + e.name, path + "/" + key);
        }
    }

    int result() const { return m_result ? m_result : VPL_GetListCount(m_list, 0); }
    bool failed() const { return m_result != 0; }

private:
    CertInfoList* m_list;
    const char* m_fn;
    int m_result = 0;
};

// Under NPKI only the public CAs' folders (and the registered one) hold
// certificates of the listings; under any other base every folder.
bool walkCaFolder(bool npki, const std::string& name) { return !npki || zstore::caKind(name) == 1; }

bool isNpki(const std::string& base) { return VPL_Check_NPKIStringofPath(base.c_str()) == 0; }

}  // namespace

extern "C" {

VPL_API int VPL_Get_CertListInfo(CertInfoList* list, const char* base, int baseLen) {
    if (!list || !base) return -1;
    const std::string root = zstore::withoutTrailingSlash(zstore::bounded(base, baseLen));
    const bool npki = isNpki(root);
    Walk walk(list, "VPL_Get_CertListInfo");
    std::vector<Entry> cas, groups, folders, files;
    if (!walk.base(root, cas)) return walk.failed() ? walk.result() : 0;
    for (const Entry& ca : cas) {
        if (!ca.dir || !walkCaFolder(npki, ca.name)) continue;
        const std::string caPath = root + "/" + ca.name;
        if (!walk.folder(caPath, groups)) return walk.result();
        for (const Entry& group : groups) {
            if (!group.dir) continue;
            const std::string groupPath = caPath + "/" + group.name;
            if (!walk.folder(groupPath, folders)) return walk.result();
            for (const Entry& folder : folders) {
                if (!folder.dir) continue;
                const std::string folderPath = groupPath + "/" + folder.name;
                if (!walk.folder(folderPath, files)) return walk.result();
                walk.pairs(folderPath, files, "signCert.der", VPL_CLASS_PUBLIC_SIGN);
            }
        }
    }
    return walk.result();
}

VPL_API int VPL_Get_GPKI_CertListInfo(CertInfoList* list, const char* base, int baseLen) {
    if (!list || !base) return -1;
    const std::string root = zstore::withoutTrailingSlash(zstore::bounded(base, baseLen));
    Walk walk(list, "VPL_Get_GPKI_CertListInfo");
    std::vector<Entry> classes, files;
    if (!walk.base(root, classes)) return walk.failed() ? walk.result() : 0;
    for (const Entry& cls : classes) {
        if (!cls.dir) continue;
        const std::string classPath = root + "/" + cls.name;
        if (!walk.folder(classPath, files)) return walk.result();
        walk.pairs(classPath, files, "_sig.cer", VPL_CLASS_GPKI_SIGN);
    }
    return walk.result();
}

VPL_API int VPL_Get_Root_CA_CertListInfo(int mode, CertInfoList* list, const char* base, int baseLen) {
    if (!list || !base) return -1;
    const std::string root = zstore::withoutTrailingSlash(zstore::bounded(base, baseLen));
    const bool npki = isNpki(root);
    Walk walk(list, "VPL_Get_Root_CA_CertListInfo");
    std::vector<Entry> cas, files;
    if (!walk.base(root, cas)) return walk.failed() ? walk.result() : 0;
    const auto keep = [mode](bool selfIssued) { return mode == 1 ? selfIssued : mode == 2 ? !selfIssued : true; };
    for (const Entry& ca : cas) {
        if (!ca.dir || !walkCaFolder(npki, ca.name)) continue;
        const std::string caPath = root + "/" + ca.name;
        if (!walk.folder(caPath, files)) return walk.result();
        for (const Entry& f : files)
            if (f.file && endsWithNoCase(f.name, ".der")) walk.add(caPath + "/" + f.name, {}, keep);
    }
    return walk.result();
}

}  // extern "C"
