// Deleting certificates with their keys: by path, and by CA and serial or
// certificate on the home directory and every removable drive.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <zephaltpavix/certclass.h>
#include <zephaltpavix/layout.h>
#include <zephaltpavix/manage.h>

#include "disk/disk_internal.hpp"
#include "list/list_internal.hpp"
#include "sign/sign_internal.hpp"

namespace {

bool isCaClass(int cls) { return cls >= VPL_CLASS_PUBLIC_CA && cls <= VPL_CLASS_GPKI_CA; }

std::string_view nameOf(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The entry of a folder whose whole name is name, letters without case (its
// own spelling first), whatever its kind: the key file beside a certificate
// as the store pairs them. Empty when there is none.
std::string entryNamed(const std::string& folder, std::string_view name) {
    DIR* d = opendir(folder.c_str());
    if (!d) return {};
    std::string found;
    while (const dirent* e = readdir(d)) {
        const std::string_view n(e->d_name);
        if (!zstore::equalNoCase(n, name)) continue;
        if (n == name) {
            found = n;
            break;
        }
        if (found.empty() || n < found) found = n;
    }
    closedir(d);
    return found;
}

// The files of one certificate, in the order they go: the encryption
// pair's key and certificate, then the key and the certificate.
int filesOf(const char* fn, const std::string& certPath, std::vector<std::string>& files) {
    files.clear();
    std::string cert;
    if (!zstore::readFile(certPath, cert)) return zstore::fail(fn, VPL_ERR_READ_FILE);
    const int cls = VPL_Get_CertType(cert.data(), static_cast<int>(cert.size()));
    if (cls < 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_UserCert_Delete () : not Support Cert Type.\n");
        return -1;
    }
    const std::string folder = folderOf(certPath);
    const std::string_view name = nameOf(certPath);
    if (!isCaClass(cls)) {
        // Beside a signing file of the store's own name, the encryption
        // pair's files by their names, whatever they hold: a key whose
        // certificate does not read goes too.
        std::string kmCert, kmKey;
        if (zstore::equalNoCase(name, "signCert.der")) {
            kmCert = "kmCert.der";
            kmKey = "kmPri.key";
        } else if (cls == VPL_CLASS_GPKI_SIGN && name.size() > 8 &&
                   zstore::equalNoCase(name.substr(name.size() - 8), "_sig.cer")) {
            const std::string stem(name.substr(0, name.size() - 8));
            kmCert = stem + "_env.cer";
            kmKey = stem + "_env.key";
        }
        for (const std::string& km : {kmKey, kmCert}) {
            const std::string found = km.empty() ? std::string() : entryNamed(folder, km);
            if (!found.empty()) files.push_back(folder + "/" + found);
        }
        const std::string keyName = zstore::keyFileName(name, cls);
        const std::string key = keyName.empty() ? std::string() : entryNamed(folder, keyName);
        if (!key.empty()) files.push_back(folder + "/" + key);
    }
    files.push_back(certPath);
    return 0;
}

// Unlinks the files in order; the first that stays (a file already gone
// is no failure) stops it, so what is left is still a pair.
int unlinkInOrder(const char* fn, const std::vector<std::string>& files) {
    for (const std::string& f : files) {
        if (unlink(f.c_str()) == 0 || errno == ENOENT) continue;
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : unlink Fail(%d) [%s]\n", fn, errno, f.c_str());
        return zstore::fail(fn, VPL_ERR_DELETE);
    }
    return 0;
}

// A hexadecimal serial as a number's digits: upper case, without leading
// zeros (the record's text has a 00 before a top bit); empty for a text
// that is not hexadecimal.
std::string serialNumber(std::string_view hex) {
    std::string digits;
    for (char c : hex) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
        if (digits.empty() && c == '0') continue;
        digits += zstore::upperAscii(c);
    }
    return hex.empty() ? std::string() : digits.empty() ? "0" : digits;
}

bool walkFailed(int rc) { return rc < 0 || rc >= VPL_ERR_DIR_OPEN; }

struct ListOwner {
    CertInfoList* list = VPL_InitList(nullptr);
    ~ListOwner() {
        if (!list) return;
        VPL_DeleteAllList(list);
        std::free(list);
    }
};

// The store of a CA kind under a base ("" for none).
std::string storeOf(const std::string& base, int caKind) {
    if (caKind == 1) return base + "/NPKI";
    if (caKind == 3) return base + "/PPKI/Veridan";
    return {};
}

// Deletes what the value names from the list of one or more stores.
int deleteFromList(int caKind, const char* caName, const char* certValue, int certValueLen, CertInfoList* list) {
    if (caKind == 1) {
        const std::string serial(zstore::bounded(certValue, certValueLen));
        return VPL_Delete_HexaSerial_List(list, serial.c_str(), caName);
    }
    return VPL_Delete_Cert_List(list, certValue, certValueLen);
}

}  // namespace

extern "C" {

VPL_API int VPL_UserCert_Delete(const char* certPath, int certPathLen) {
    static const char* const kFn = "VPL_UserCert_Delete";
    if (!certPath) return zstore::fail(kFn, VPL_ERR_PATH);
    if (!zstore::givenWithLength(certPath, certPathLen) || certPathLen == 0)
        return zstore::fail(kFn, VPL_ERR_PATH_LENGTH);
    std::vector<std::string> files;
    if (const int rc = filesOf(kFn, certPath, files); rc != 0) return rc;
    return unlinkInOrder(kFn, files);
}

VPL_API int VPL_Cert_Delete(int storageType, const char* /*pin*/, int /*pinLen*/, const char* encCertPath,
                            int encCertPathLen) {
    static const char* const kFn = "VPL_Cert_Delete";
    if (!encCertPath) return zstore::fail(kFn, VPL_ERR_PATH);
    std::string path;
    if (const int rc = zstore::decodePath(encCertPath, encCertPathLen, path); rc != 0) {
        if (rc == VPL_ERR_PATH) ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Store Type(%d) path refused\n", kFn, storageType);
        return zstore::fail(kFn, rc);
    }
    switch (storageType) {
        case VPL_STORAGE_HDD:
        case VPL_STORAGE_REMOVABLE:
        case 5:
        case 9:
        case 10:
            return VPL_UserCert_Delete(path.c_str(), static_cast<int>(path.size()));
        default:
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Cert_Delete () : Store Type(%d) Error\n", storageType);
            return -1;
    }
}

VPL_API int VPL_Delete_StorageType(const char* media) {
    if (!media || !*media) return VPL_DELETE_HDD;
    static const struct {
        const char* name;
        int bit;
    } kMedia[] = {
        {"HDD", VPL_DELETE_HDD}, {"FDD", VPL_DELETE_FDD}, {"SCARD", VPL_DELETE_SCARD}, {"USB", VPL_DELETE_USB}};
    int set = 0;
    std::string_view rest(media);
    while (true) {
        const size_t bar = rest.find('|');
        const std::string_view part = rest.substr(0, bar);
        for (const auto& m : kMedia)
            if (part.size() >= 3 && zstore::equalNoCase(part.substr(0, 3), std::string_view(m.name).substr(0, 3)))
                set |= m.bit;
        if (bar == std::string_view::npos) break;
        rest.remove_prefix(bar + 1);
    }
    return set;
}

VPL_API int VPL_Delete_HexaSerial_List(CertInfoList* list, const char* hexSerial, const char* caName) {
    static const char* const kFn = "VPL_Delete_HexaSerial_List";
    if (!list || !hexSerial || !caName) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    const std::string wanted = serialNumber(hexSerial);
    if (wanted.empty()) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : serial [%s] is not hexadecimal\n", kFn, hexSerial);
        return 0;
    }
    int result = 0;
    zstore::forEachRecord(list, [&](const zstore::CertRecord& rec) {
        if (serialNumber(rec.serial) != wanted || !zstore::equalNoCase(rec.organisation, caName)) return;
        ZSTORE_LOG(VCL_LOG_DEBUG, "%s () : delete [%s]\n", kFn, rec.certPath.c_str());
        if (VPL_UserCert_Delete(rec.certPath.c_str(), static_cast<int>(rec.certPath.size())) != 0)
            result = VPL_ERR_DELETE;
    });
    return result;
}

VPL_API int VPL_Delete_Cert_List(CertInfoList* list, const void* cert, int certLen) {
    static const char* const kFn = "VPL_Delete_Cert_List";
    if (!list || !cert || certLen <= 0) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    const zstore::InfoPtr info = zstore::readInfo(cert, certLen);
    if (!info) return zstore::fail(kFn, VPL_ERR_X509_INFO);
    const std::string serial(zstore::field(info->serialHex));
    const std::string issuer = zstore::dnValue(zstore::field(info->issuerDN), "cn");
    const std::string subject = zstore::subjectName(zstore::field(info->subjectDN));
    if (serial.empty() || issuer.empty() || subject.empty()) return zstore::fail(kFn, VPL_ERR_X509_INFO);
    int result = 0;
    zstore::forEachRecord(list, [&](const zstore::CertRecord& rec) {
        if (!zstore::equalNoCase(rec.serial, serial) || !zstore::equalNoCase(rec.issuerCN, issuer) ||
            !zstore::equalNoCase(rec.subject, subject))
            return;
        ZSTORE_LOG(VCL_LOG_DEBUG, "%s () : delete [%s]\n", kFn, rec.certPath.c_str());
        if (VPL_UserCert_Delete(rec.certPath.c_str(), static_cast<int>(rec.certPath.size())) != 0)
            result = VPL_ERR_DELETE;
    });
    return result;
}

VPL_API int VPL_HDD_DeleteUserCert(int caKind, const char* caName, const char* certValue, int certValueLen) {
    static const char* const kFn = "VPL_HDD_DeleteUserCert";
    std::string home;
    if (const int rc = zstore::homeDirectory(home); rc != 0) return zstore::fail(kFn, -1);
    const std::string store = storeOf(home, caKind);
    if (store.empty()) return 0;
    ListOwner owner;
    if (!owner.list) return zstore::fail(kFn, -1);
    const int rc = VPL_Get_CertListInfo(owner.list, store.c_str(), static_cast<int>(store.size()));
    if (walkFailed(rc)) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : VPL_Get_CertListInfo Fail (0x%08x)\n", kFn, static_cast<unsigned>(rc));
        return -1;
    }
    return deleteFromList(caKind, caName, certValue, certValueLen, owner.list);
}

VPL_API int VPL_FDD_DeleteUserCert(int caKind, const char* caName, const char* certValue, int certValueLen) {
    static const char* const kFn = "VPL_FDD_DeleteUserCert";
    if (storeOf("", caKind).empty()) return 0;
    std::vector<std::string> drives;
    if (zstore::removableDrives(drives) != 0) return zstore::fail(kFn, -1);
    ListOwner owner;
    if (!owner.list) return zstore::fail(kFn, -1);
    // Every drive's store into one list; a drive that cannot be walked
    // stops everything before anything is deleted.
    for (const std::string& drive : drives) {
        const std::string store = storeOf(drive, caKind);
        const int rc = VPL_Get_CertListInfo(owner.list, store.c_str(), static_cast<int>(store.size()));
        if (walkFailed(rc)) {
            ZSTORE_LOG(VCL_LOG_ERROR, "%s () : VPL_Get_CertListInfo Fail (0x%08x) [%s]\n", kFn,
                       static_cast<unsigned>(rc), store.c_str());
            return -1;
        }
    }
    return deleteFromList(caKind, caName, certValue, certValueLen, owner.list);
}

VPL_API int VPL_Delete_Control(int caKind, const char* caName, const char* media, const char* certValue,
                               int certValueLen) {
    static const char* const kFn = "VPL_Delete_Control";
    if (!caName || !certValue) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    const int set = VPL_Delete_StorageType(media);
    int result = 0;
    if ((set & VPL_DELETE_HDD) && VPL_HDD_DeleteUserCert(caKind, caName, certValue, certValueLen) != 0)
        result = VPL_ERR_DELETE;
    if ((set & VPL_DELETE_FDD) && VPL_FDD_DeleteUserCert(caKind, caName, certValue, certValueLen) != 0)
        result = VPL_ERR_DELETE;
    // Smart cards and USB tokens hold nothing this library deletes.
    return result ? zstore::fail(kFn, result) : 0;
}

VPL_API int VPL_Delete_UserCert(const char* caName, int caNameLen, const char* media, int mediaLen,
                                const char* certValue, int certValueLen) {
    static const char* const kFn = "VPL_Delete_UserCert";
    if (!caName || caNameLen <= 0 || !certValue || certValueLen <= 0) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    const std::string name(zstore::bounded(caName, caNameLen));
    const int caKind = VPL_Delete_CertType(name.c_str());
    if (caKind == -1) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : CA name [%s] of no kind\n", kFn, name.c_str());
        return -1;
    }
    const std::string mediaText(zstore::bounded(media, mediaLen));
    return VPL_Delete_Control(caKind, name.c_str(), mediaText.c_str(), certValue, certValueLen);
}

}  // extern "C"
