// The store writer: a certificate with its key into the folder its class
// names, under the home directory or a drive.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <zephaltpavix/certclass.h>
#include <zephaltpavix/layout.h>

#include "base/store_internal.hpp"
#include "disk/disk_internal.hpp"

namespace {

using zstore::StoreWriter;

constexpr mode_t kDirMode = 0700;
constexpr mode_t kCertMode = 0644;
constexpr mode_t kKeyMode = 0600;

std::string randomSuffix() {
    unsigned char bytes[6] = {};
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        static unsigned counter = 0;
        const unsigned v = static_cast<unsigned>(getpid()) * 2654435761u ^ ++counter;
        std::memcpy(bytes, &v, sizeof v);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string s;
    for (unsigned char b : bytes) {
        s += kHex[b >> 4];
        s += kHex[b & 15];
    }
    return s;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void syncDirectory(const std::string& dir) {
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);  // FAT and some network folders refuse; the files are synced
    close(fd);
}

bool exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// Every folder and file path of one operation stays below the path buffers
// readers of these trees use.
bool fits(const std::string& path) { return path.size() < VPL_PATH_MAX; }

bool safe(const char* name) { return name && zstore::isSafeComponent(name); }

bool bytesOf(const PKI_STR_INFO& rec, std::string_view& cert, std::string_view& key) {
    if ((rec.cert_len > 0 && !rec.cert) || (rec.key_len > 0 && !rec.key)) return false;
    cert = rec.cert_len > 0
               ? std::string_view(reinterpret_cast<const char*>(rec.cert), static_cast<size_t>(rec.cert_len))
               : std::string_view();
    key = rec.key_len > 0 ? std::string_view(reinterpret_cast<const char*>(rec.key), static_cast<size_t>(rec.key_len))
                          : std::string_view();
    return true;
}

std::vector<StoreWriter::File> pairFiles(const std::string& certName, std::string_view cert, const std::string& keyName,
                                         std::string_view key) {
    std::vector<StoreWriter::File> files;
    if (!cert.empty()) files.push_back({certName, cert, kCertMode});
    if (!key.empty()) files.push_back({keyName, key, kKeyMode});
    return files;
}

}  // namespace

namespace zstore {

std::function<bool(std::string_view step, const std::string& path)> g_writerFault;

namespace {
bool injected(std::string_view step, const std::string& path) {
    if (!g_writerFault || !g_writerFault(step, path)) return false;
    errno = ENOSPC;
    return true;
}
}  // namespace

StoreWriter::~StoreWriter() {
    if (!m_committed) rollback();
    for (Replaced& old : m_replaced) zstore::wipe(old.bytes);
}

void StoreWriter::rollback() {
    for (const std::string& t : m_temporaries) unlink(t.c_str());
    for (const std::string& p : m_placed) {
        auto old = std::find_if(m_replaced.begin(), m_replaced.end(), [&](const Replaced& r) { return r.path == p; });
        if (old != m_replaced.end())
            restore(*old);
        else
            unlink(p.c_str());
    }
    for (auto it = m_madeDirs.rbegin(); it != m_madeDirs.rend(); ++it) rmdir(it->c_str());
    m_temporaries.clear();
    m_placed.clear();
    m_madeDirs.clear();
}

// The bytes and mode of a file about to be replaced; false when it cannot
// be read (nothing is renamed then) or is no regular file.
bool StoreWriter::keepOld(const std::string& target) {
    struct stat st {};
    if (lstat(target.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISREG(st.st_mode)) return false;
    for (const Replaced& r : m_replaced)
        if (r.path == target) return true;  // the first bytes are the ones to give back
    Replaced old{target, {}, static_cast<mode_t>(st.st_mode & 07777)};
    const int fd = open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    char chunk[4096];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        old.bytes.append(chunk, static_cast<size_t>(n));
    }
    explicit_bzero(chunk, sizeof chunk);
    close(fd);
    if (!ok) {
        zstore::wipe(old.bytes);
        return false;
    }
    m_replaced.push_back(std::move(old));
    return true;
}

// Puts the old bytes back the way new ones go in; when that fails the new
// file stays (it is whole), which beats removing both.
void StoreWriter::restore(Replaced& old) {
    const size_t slash = old.path.rfind('/');
    const std::string dir = old.path.substr(0, slash);
    const std::string temporary = dir + "/." + old.path.substr(slash + 1) + "." + randomSuffix();
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, old.mode);
    if (fd < 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "StoreWriter : restore Fail(%d). path=[%s]\n", errno, old.path.c_str());
        return;
    }
    const bool ok = writeAll(fd, old.bytes) && fchmod(fd, old.mode) == 0 && fsync(fd) == 0;
    if (close(fd) != 0 || !ok || rename(temporary.c_str(), old.path.c_str()) != 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "StoreWriter : restore Fail(%d). path=[%s]\n", errno, old.path.c_str());
        unlink(temporary.c_str());
        return;
    }
    syncDirectory(dir);
}

bool StoreWriter::makeDir(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    if (mkdir(path.c_str(), kDirMode) == 0) {
        m_madeDirs.push_back(path);
        return true;
    }
    ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Dir_CheckANDCreate () : Directory Create Fail %s, %d\n", path.c_str(), errno);
    return false;
}

bool StoreWriter::write(const std::string& dir, const std::vector<File>& files) {
    std::vector<std::string> temporaries;
    for (const File& f : files) {
        int fd = -1;
        std::string temporary;
        for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
            temporary = dir + "/." + f.name + "." + randomSuffix();
            if (injected("open", dir + "/" + f.name)) break;
            fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, f.mode);
            if (fd < 0 && errno != EEXIST) break;
        }
        if (fd < 0) {
            ZSTORE_LOG(VCL_LOG_ERROR, "StoreWriter : open Fail(%d). path=[%s]\n", errno, temporary.c_str());
            return false;
        }
        m_temporaries.push_back(temporary);
        temporaries.push_back(temporary);
        const bool ok = writeAll(fd, f.bytes) && !injected("write", dir + "/" + f.name) && fsync(fd) == 0;
        const int error = errno;
        if (close(fd) != 0 || !ok) {
            ZSTORE_LOG(VCL_LOG_ERROR, "StoreWriter : write Fail(%d). path=[%s]\n", ok ? errno : error,
                       temporary.c_str());
            return false;
        }
    }
    for (const File& f : files) {
        const std::string target = dir + "/" + f.name;
        if (!keepOld(target)) {
            ZSTORE_LOG(VCL_LOG_ERROR, "StoreWriter : read Fail(%d). path=[%s/%s]\n", errno, dir.c_str(),
                       f.name.c_str());
            return false;
        }
        if (!m_check) continue;
        const auto old =
            std::find_if(m_replaced.begin(), m_replaced.end(), [&](const Replaced& r) { return r.path == target; });
        if (old != m_replaced.end() && !m_check(target, old->bytes, f.bytes)) {
            ZSTORE_LOG(VCL_LOG_ERROR, "StoreWriter : replacing refused. path=[%s]\n", target.c_str());
            return false;
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string target = dir + "/" + files[i].name;
        if (injected("rename", target) || rename(temporaries[i].c_str(), target.c_str()) != 0) {
            ZSTORE_LOG(VCL_LOG_ERROR, "StoreWriter : rename Fail(%d). path=[%s]\n", errno, target.c_str());
            return false;
        }
        std::erase(m_temporaries, temporaries[i]);
        m_placed.push_back(target);
    }
    syncDirectory(dir);
    return true;
}

}  // namespace zstore

extern "C" {

VPL_API int VPL_Dir_CheckANDCreate(const char* path) {
    if (!path || !*path) return -1;
    StoreWriter writer;
    if (!writer.makeDir(path)) return -1;
    writer.commit();
    return 0;
}

}  // extern "C"

namespace {

int certCreate(StoreWriter& writer, PKI_STR_INFO* rec, int pkiFlag, const char* storeBase, const char* ppkiDir,
               const char* caDir, const char* userDir) {
    static const char* const kFn = "VPL_Cert_Create";
    if (!storeBase || !*storeBase || !caDir || !userDir) return zstore::fail(kFn, VPL_ERR_PATH);
    if (!rec) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    const bool pair = pkiFlag >= VPL_CLASS_PUBLIC_SIGN && pkiFlag <= VPL_CLASS_PRIVATE_KM;
    const bool ca = pkiFlag == VPL_CLASS_PUBLIC_CA || pkiFlag == VPL_CLASS_PRIVATE_CA;
    if (!pair && !ca) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Cert_Create () : Not Support Cert Type(%d)\n", pkiFlag);
        return -1;
    }
    const bool privateStore =
        pkiFlag == VPL_CLASS_PRIVATE_SIGN || pkiFlag == VPL_CLASS_PRIVATE_KM || pkiFlag == VPL_CLASS_PRIVATE_CA;
    if (!safe(caDir) || !safe(userDir) || (privateStore && !safe(ppkiDir))) return zstore::fail(kFn, VPL_ERR_PATH);
    if (pair && rec->cert_use != VCL_CERT_USE_SIGN && rec->cert_use != VCL_CERT_USE_OTHER)
        return zstore::fail(kFn, VPL_ERR_CERT_TYPE);
    std::string_view cert, key;
    if (!bytesOf(*rec, cert, key)) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);

    const std::string base = zstore::withoutTrailingSlash(storeBase);
    const std::string root = privateStore ? base + "/" + ppkiDir : base;
    const std::string caPath = root + "/" + caDir;
    const bool sign = rec->cert_use == VCL_CERT_USE_SIGN;
    const std::string userPath = caPath + "/USER/" + userDir;
    const std::string certName = pair ? (sign ? "signCert.der" : "kmCert.der") : std::string(userDir) + ".der";
    const std::string keyName = sign ? "signPri.key" : "kmPri.key";
    const std::string dir = pair ? userPath : caPath;
    if (!fits(dir + "/" + certName) || !fits(dir + "/" + keyName)) return zstore::fail(kFn, VPL_ERR_PATH);

    if (!writer.makeDir(base)) return zstore::fail(kFn, VPL_ERR_WRITE_FILE);
    if (privateStore && !writer.makeDir(root)) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Cert_Create () :PPKI Root Directory check & create Fail(%s)\n", root.c_str());
        return -1;
    }
    if (!writer.makeDir(caPath)) return -1;
    if (pair) {
        if (!writer.makeDir(caPath + "/USER") || !writer.makeDir(userPath)) return -1;
        if (!writer.write(dir, pairFiles(certName, cert, keyName, key))) {
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Cert_Create () : VCLWrite_File Error. path=[%s]\n", dir.c_str());
            return zstore::fail(kFn, VPL_ERR_WRITE_FILE);
        }
    } else if (exists(dir + "/" + certName)) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Cert_Create () :Ca File Exist(%s)\n", (dir + "/" + certName).c_str());
    } else if (!writer.write(dir, pairFiles(certName, cert, {}, {}))) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Cert_Create () : VCLWrite_File Error. path=[%s/%s]\n", dir.c_str(),
                   certName.c_str());
        return zstore::fail(kFn, VPL_ERR_WRITE_FILE);
    }
    return 0;
}

int gpkiCertCreate(StoreWriter& writer, PKI_STR_INFO* rec, int pkiFlag, const char* gpkiBase, const char* classDir,
                   const char* name) {
    static const char* const kFn = "VPL_GPKI_Cert_Create";
    if (pkiFlag != VPL_CLASS_GPKI_SIGN && pkiFlag != VPL_CLASS_GPKI_KM && pkiFlag != VPL_CLASS_GPKI_CA) return -1;
    if (!gpkiBase || !*gpkiBase || !classDir || !name) return zstore::fail(kFn, VPL_ERR_PATH);
    if (!rec) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    const bool root = pkiFlag == VPL_CLASS_GPKI_CA;
    if (!safe(name) || (!root && !safe(classDir))) return zstore::fail(kFn, VPL_ERR_PATH);
    if (!root && rec->cert_use != VCL_CERT_USE_SIGN && rec->cert_use != VCL_CERT_USE_OTHER) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_GPKI_Cert_Create () : Not Support Cert Use(%d)\n", rec->cert_use);
        return -1;
    }
    std::string_view cert, key;
    if (!bytesOf(*rec, cert, key)) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);

    const std::string base = zstore::withoutTrailingSlash(gpkiBase);
    const std::string certificates = base + "/Certificate";
    const std::string dir = root ? base + "/root" : certificates + "/" + classDir;
    const std::string stem = std::string(name) + (root ? "" : rec->cert_use == VCL_CERT_USE_SIGN ? "_sig" : "_env");
    const std::string certName = stem + (root ? ".der" : ".cer");
    const std::string keyName = stem + ".key";
    if (!fits(dir + "/" + certName) || !fits(dir + "/" + keyName)) return zstore::fail(kFn, VPL_ERR_PATH);

    if (!writer.makeDir(base)) return -1;
    if (!root && !writer.makeDir(certificates)) return -1;
    if (!writer.makeDir(dir)) return -1;
    if (!writer.write(dir, pairFiles(certName, cert, keyName, root ? std::string_view() : key))) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_GPKI_Cert_Create () : VCL_Write_File Error. path=[%s/%s]\n", dir.c_str(),
                   stem.c_str());
        return zstore::fail(kFn, VPL_ERR_WRITE_FILE);
    }
    return 0;
}

// Runs one writing operation with a writer of its own, kept when it
// succeeds.
template <typename F>
int committed(F&& operation) {
    StoreWriter writer;
    const int rc = operation(writer);
    if (rc == 0) writer.commit();
    return rc;
}

}  // namespace

int zstore::locationCertCreate(StoreWriter& writer, int flag, const char* drive, PKI_STR_INFO* rec) {
    static const char* const kFn = "VPL_Location_CertCreate";
    if (!rec || !rec->cert || rec->cert_len <= 0) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    std::string base;
    if (flag == 0) {
        if (const int rc = zstore::homeDirectory(base); rc != 0) return zstore::fail(kFn, rc);
    } else {
        if (!drive || !*drive) return zstore::fail(kFn, VPL_ERR_DRIVE);
        base = drive;
    }
    base = zstore::withoutTrailingSlash(base);

    char* ca = nullptr;
    char* user = nullptr;
    int caLen = 0, userLen = 0;
    const int cls = VPL_Cert_PublicANDPrivate(rec->cert, rec->cert_len, &ca, &caLen, &user, &userLen);
    const zstore::MallocPtr<char> caOwned(ca), userOwned(user);
    if (cls == VPL_ERR_PATH || cls == VPL_ERR_INVALID_PARAM || cls == VPL_ERR_MALLOC) return cls;

    int rc;
    switch (cls) {
        case VPL_CLASS_PUBLIC_SIGN:
        case VPL_CLASS_PUBLIC_KM:
        case VPL_CLASS_PUBLIC_CA:
            rc = certCreate(writer, rec, cls, (base + "/NPKI").c_str(), nullptr, ca, user);
            break;
        case VPL_CLASS_PRIVATE_SIGN:
        case VPL_CLASS_PRIVATE_KM:
        case VPL_CLASS_PRIVATE_CA:
            rc = certCreate(writer, rec, cls, (base + "/PPKI").c_str(), "Veridan", ca, user);
            break;
        case VPL_CLASS_GPKI_CA:
            rc = gpkiCertCreate(writer, rec, cls, (base + "/GPKI").c_str(), "root", user);
            break;
        case VPL_CLASS_GPKI_SIGN:
        case VPL_CLASS_GPKI_KM: {
            char* cn = nullptr;
            int use = 0, gpkiClass = 0;
            rc = VPL_Get_GPKI_CNNameOfSubjectDN(rec->cert, rec->cert_len, &cn, &use, &gpkiClass);
            const zstore::MallocPtr<char> cnOwned(cn);
            if (rc != 0) {
                ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Location_CertCreate () : VPL_Get_GPKI_CNNameOfSubjectDN Fail[0x%08x] \n",
                           static_cast<unsigned>(rc));
                return rc;
            }
            rc = gpkiCertCreate(writer, rec, cls, (base + "/GPKI").c_str(), gpkiClass == 2 ? "class2" : "class1", cn);
            break;
        }
        default:
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Location_CertCreate () : Not Support Cert Type Error \n");
            return -1;
    }
    if (rc != 0) {
        if (cls == VPL_CLASS_GPKI_SIGN || cls == VPL_CLASS_GPKI_KM || cls == VPL_CLASS_GPKI_CA)
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Location_CertCreate () : VPL_GPKI_Cert_Create Fail[0x%08x] \n",
                       static_cast<unsigned>(rc));
        else
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Location_CertCreate () : VPL_Cert_Create Fail \n");
    }
    return rc;
}

extern "C" {

VPL_API int VPL_Cert_Create(PKI_STR_INFO* rec, int pkiFlag, const char* storeBase, const char* ppkiDir,
                            const char* caDir, const char* userDir) {
    return committed([&](StoreWriter& w) { return certCreate(w, rec, pkiFlag, storeBase, ppkiDir, caDir, userDir); });
}

VPL_API int VPL_GPKI_Cert_Create(PKI_STR_INFO* rec, int pkiFlag, const char* gpkiBase, const char* classDir,
                                 const char* name) {
    return committed([&](StoreWriter& w) { return gpkiCertCreate(w, rec, pkiFlag, gpkiBase, classDir, name); });
}

VPL_API int VPL_Location_CertCreate(int flag, const char* drive, PKI_STR_INFO* rec) {
    return committed([&](StoreWriter& w) { return zstore::locationCertCreate(w, flag, drive, rec); });
}

}  // extern "C"
