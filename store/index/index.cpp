// The index-based certificate API over a block of the home store's signing
// certificates, the identity-blob check and the PKCS#7 armour.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <zephaltpavix/base.h>
#include <zephaltpavix/index.h>
#include <zephaltpavix/layout.h>
#include <zephaltpavix/sign.h>
#include <zunCore/cipher.h>
#include <zunCore/crypto.h>
#include <zunCore/encode.h>
#include <zunCore/keypass.h>
#include <zunCore/x509_check.h>

#include "disk/disk_internal.hpp"
#include "list/list_internal.hpp"
#include "sign/sign_internal.hpp"

namespace {

using zstore::SecretBytes;

struct Entry {
    std::string issuerName, subject, serial, validFrom, validTo, subjectDN, typeName;
    int expired = 0;
    std::string certPath, keyPath;
    int index = 0;
};

std::unique_ptr<std::vector<Entry>> g_block;

void releaseBlock() { g_block.reset(); }

void setBlock(std::vector<Entry>&& entries) {
    g_block = std::make_unique<std::vector<Entry>>(std::move(entries));
    zstore::g_releaseCertBlock = releaseBlock;
    g_nCertCnt = static_cast<int>(g_block->size());
}

// The entry of an index, or null (1051026 stored as the last error).
const Entry* entryAt(int index) {
    if (!g_block || index < 0 || index >= g_nCertCnt || index >= static_cast<int>(g_block->size())) {
        zstore::setLastError(VPL_ERR_INDEX);
        return nullptr;
    }
    return &(*g_block)[static_cast<size_t>(index)];
}

// Records the result as the last error and hands it back.
int result(int code) {
    zstore::setLastError(code);
    return code;
}

// The names in a folder, sorted, "." and ".." left out; false when it does
// not open.
bool namesIn(const std::string& dir, std::vector<std::string>& names) {
    names.clear();
    DIR* d = opendir(dir.c_str());
    if (!d) return false;
    while (const dirent* e = readdir(d)) {
        const std::string_view n(e->d_name);
        if (n != "." && n != "..") names.emplace_back(n);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return true;
}

bool isDir(const std::string& path, bool& ok) {
    struct stat st {};
    ok = stat(path.c_str(), &st) == 0;
    return ok && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A file's whole name, letters without case, the exact spelling first:
// its path in dir, or empty.
std::string fileNamed(const std::string& dir, const std::vector<std::string>& names, std::string_view want) {
    std::string found;
    for (const std::string& n : names) {
        if (!zstore::equalNoCase(n, want) || !isFile(dir + "/" + n)) continue;
        if (n == want) return dir + "/" + n;
        if (found.empty()) found = dir + "/" + n;
    }
    return found;
}

// "YYYY-MM-DD" of a record's time text (YYYYMMDDhhmmss), as it stands.
std::string dateOf(const char* text) {
    const std::string_view t = zstore::field(text);
    if (t.size() < 8) return {};
    return std::string(t.substr(0, 4)) + "-" + std::string(t.substr(4, 2)) + "-" + std::string(t.substr(6, 2));
}

// The walk below a base: every folder at depth 3 (base/CA/group/folder),
// each handed to visit. False when a folder or an entry's status does not
// read (count: the walk stops there; fetch: the fetch fails).
template <typename Visit>
bool walkFolders(const std::string& base, Visit&& visit) {
    std::vector<std::string> cas, groups, folders;
    if (!namesIn(base, cas)) return false;
    for (const std::string& ca : cas) {
        bool ok;
        const std::string caDir = base + "/" + ca;
        if (!isDir(caDir, ok)) {
            if (!ok) return false;
            continue;
        }
        if (!namesIn(caDir, groups)) return false;
        for (const std::string& group : groups) {
            const std::string groupDir = caDir + "/" + group;
            if (!isDir(groupDir, ok)) {
                if (!ok) return false;
                continue;
            }
            if (!namesIn(groupDir, folders)) return false;
            for (const std::string& folder : folders) {
                const std::string dir = groupDir + "/" + folder;
                if (!isDir(dir, ok)) {
                    if (!ok) return false;
                    continue;
                }
                std::vector<std::string> files;
                if (!namesIn(dir, files)) return false;
                visit(dir, files);
            }
        }
    }
    return true;
}

// The entry of a certificate file with its key; false to leave it out.
bool makeEntry(const std::string& certPath, const std::string& keyPath, Entry& e) {
    if (certPath.size() >= VPL_PATH_MAX || keyPath.size() >= VPL_PATH_MAX) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_FetchCertList() : Path too long [%s]\n", certPath.c_str());
        return false;
    }
    std::string cert;
    if (!zstore::readFile(certPath, cert)) return false;
    const zstore::InfoPtr info = zstore::readInfo(cert.data(), static_cast<int>(cert.size()));
    if (!info) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_FetchCertList() : VCL_X509_Init_X509_Info Fail [%s]\n", certPath.c_str());
        return false;
    }
    zstore::CertRecord rec;
    zstore::makeRecord(*info, rec, nullptr);
    e.issuerName = rec.issuerName;
    e.subject = rec.subject;
    e.serial = rec.serial;
    e.validFrom = dateOf(info->validityFrom);
    e.validTo = dateOf(info->validityTo);
    e.subjectDN = zstore::field(info->subjectDN);
    std::string code;
    if (!rec.policyOid.empty()) zstore::certTypeName(rec.policyOid, e.typeName, code);
    e.expired = VPL_IsExpiredCert(info.get());
    e.certPath = certPath;
    e.keyPath = keyPath;
    return true;
}

int fetch(int storageType, const char* base) {
    static const char* const kFn = "VPL_FetchCertList";
    setBlock({});
    if (storageType != VPL_STORAGE_HDD) return 0;
    if (!base) return -1;
    const std::string npki = zstore::withoutTrailingSlash(base) + "/NPKI";
    std::vector<Entry> entries;
    const bool walked = walkFolders(npki, [&](const std::string& dir, const std::vector<std::string>& files) {
        const std::string cert = fileNamed(dir, files, "signCert.der");
        if (cert.empty()) return;
        const std::string key = fileNamed(dir, files, "signPri.key");
        if (key.empty()) {
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_FetchCertList() : Found Cert But Not Found PKey\n");
            return;
        }
        Entry e;
        if (!makeEntry(cert, key, e)) return;
        e.index = static_cast<int>(entries.size());
        entries.push_back(std::move(e));
    });
    if (!walked) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s() : Directory Open Fail [%s]\n", kFn, npki.c_str());
        return -1;
    }
    const int n = static_cast<int>(entries.size());
    setBlock(std::move(entries));
    return n;
}

// The key file of an entry: 0 or 1051033.
int keyOf(const Entry& e, SecretBytes& key) { return zstore::readFile(e.keyPath, key) ? 0 : VPL_ERR_INDEX_KEY; }

// "-----BEGIN PKCS7-----" armour: the text into out, zero-terminated.
int copyInto(std::string_view text, char* out, int outSize) {
    if (!out || outSize <= 0 || text.size() >= static_cast<size_t>(outSize)) return -1;
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
    return 0;
}

constexpr std::string_view kBegin = "-----BEGIN PKCS7-----";
constexpr std::string_view kEnd = "-----END PKCS7-----";

}  // namespace

extern "C" {

VPL_API int VPL_CountCerts(int storageType, int /*unused*/, const char* base) {
    if (storageType < 0 || !base) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_CountCerts() : Invalid Parameter\n");
        return 0;
    }
    int count = 0;
    if (!walkFolders(zstore::withoutTrailingSlash(base),
                     [&](const std::string& dir, const std::vector<std::string>& files) {
                         for (const std::string& f : files)
                             if (zstore::equalNoCase(f, "signCert.der") && isFile(dir + "/" + f)) ++count;
                     }))
        zstore::setLastError(VPL_ERR_DIR_OPEN);
    return count;
}

VPL_API int VPL_FetchCertListFilter(int storageType, int /*unused*/, const char* base, const char* /*filter*/) {
    const int n = fetch(storageType, base);
    if (n < 0) zstore::setLastError(-1);
    return n;
}

VPL_API int VPL_FetchCertList(int storageType, int unused, const char* base) {
    return VPL_FetchCertListFilter(storageType, unused, base, nullptr);
}

VPL_API int VPL_GetAllCertHeaderFilter(int storageType, int unused, const char* base, const char* filter,
                                       char** header) {
    if (header) *header = nullptr;
    if (!base) {
        zstore::setLastError(VPL_ERR_LIST_PATH);
        return -2;
    }
    const int n = VPL_FetchCertListFilter(storageType, unused, base, filter);
    if (n < 0) return -1;
    std::string text;
    for (const Entry& e : *g_block) {
        text += "index=" + std::to_string(e.index) + "&user=" + e.subject + "&issuer=" + e.issuerName +
                "&type=" + e.typeName + "&expire=" + e.validTo + "&expired=" + std::to_string(e.expired) + "|";
    }
    int len = 0;
    if (!header || zstore::handOut(text, header, &len) != 0) {
        zstore::setLastError(VPL_ERR_LIST_MEMORY);
        return -3;
    }
    return n;
}

VPL_API int VPL_GetAllCertHeader(int storageType, int unused, const char* base, char** header) {
    return VPL_GetAllCertHeaderFilter(storageType, unused, base, nullptr, header);
}

VPL_API int VPL_filterCert(const char* filter, X509_Info* info) {
    if (!filter) return 1;
    if (!info) return 0;
    static const char* const kNames[] = {"SerialNumber", "IssuerDN", "SubjectDN", "HexaSerial"};
    constexpr int kCount = 4;
    auto* items = static_cast<NamedValue*>(std::calloc(kCount, sizeof(NamedValue)));
    if (!items) return 0;
    for (int i = 0; i < kCount; ++i) {
        items[i].order = i;
        items[i].name = strdup(kNames[i]);
    }
    int pass = 0;
    if (VPL_Parse_WithNames(filter, items, kCount, '=', '|', 0) == 0) {
        const char* fields[] = {info->serialDec, info->issuerDN, info->subjectDN};
        pass = 1;
        for (int i = 0; i < kCount; ++i) {
            const int at = items[i].order;
            if (at >= 3 || !items[i].value) continue;  // HexaSerial takes no part
            const std::string_view want(items[i].value);
            if (!want.empty() && zstore::findNoCase(zstore::field(fields[at]), want) == std::string_view::npos)
                pass = 0;
        }
    }
    VPL_Parse_st_Free(items, kCount);
    return pass;
}

VPL_API int VPL_IsExpiredCert(X509_Info* info) {
    if (!info) return -1;
    const int rc = VCL_X509_Verify_Validity(nullptr, 0, info);
    if (rc == VCL_X509_NOT_YET_VALID || rc == VCL_X509_EXPIRED) return 1;
    return rc;
}

VPL_API int VPL_GetCertPkey(int index, char** cert, int* certLen, char** key, int* keyLen) {
    if (!cert || !certLen || !key || !keyLen) return result(VPL_ERR_INVALID_PARAM);
    *cert = *key = nullptr;
    *certLen = *keyLen = 0;
    const Entry* e = entryAt(index);
    if (!e) return VPL_ERR_INDEX;
    SecretBytes k;
    if (const int rc = keyOf(*e, k); rc != 0) return result(rc);
    std::string c;
    if (!zstore::readFile(e->certPath, c)) return result(VPL_ERR_PATH);
    if (zstore::handOut(c, cert, certLen) != 0 || zstore::handOut(k.view(), key, keyLen) != 0) {
        VPL_Free(*cert, *certLen);
        *cert = nullptr;
        *certLen = 0;
        return result(VPL_ERR_MEMORY);
    }
    return result(0);
}

VPL_API int VPL_GetCertPkeyPath(int index, char* certPath, char* keyPath) {
    const Entry* e = entryAt(index);
    if (!e || !certPath || !keyPath) return result(-1);
    copyInto(e->certPath, certPath, VPL_PATH_MAX);
    copyInto(e->keyPath, keyPath, VPL_PATH_MAX);
    return result(0);
}

VPL_API int VPL_GetsubjectDN(int index, char** text) {
    const Entry* e = entryAt(index);
    if (!e || !text) return result(-1);
    int len = 0;
    return result(zstore::handOut(e->subjectDN, text, &len) == 0 ? 0 : VPL_ERR_MEMORY);
}

VPL_API int VPL_ChangePasswd(int index, const char* oldPassword, const char* newPassword) {
    const Entry* e = entryAt(index);
    if (!e) return VPL_ERR_INDEX;
    SecretBytes key;
    if (const int rc = keyOf(*e, key); rc != 0) return result(rc);
    if (!oldPassword || !newPassword) return result(VPL_ERR_PASSWORD);
    zstore::CoreBuffer changed;
    VCL_COM_Change_Non_Proven();
    if (VCL_COM_Change_Password(key.data(), key.size(), oldPassword, static_cast<int>(std::strlen(oldPassword)),
                                newPassword, static_cast<int>(std::strlen(newPassword)), &changed.bytes,
                                &changed.len) != 0 ||
        changed.len <= 0)
        return result(zstore::fail("VPL_ChangePasswd", VPL_ERR_PASSWORD));
    const size_t slash = e->keyPath.rfind('/');
    zstore::StoreWriter writer;
    if (!writer.write(e->keyPath.substr(0, slash), {{e->keyPath.substr(slash + 1), changed.view(), 0600}}))
        return result(zstore::fail("VPL_ChangePasswd", VPL_ERR_KEY_WRITE));
    writer.commit();
    return result(0);
}

VPL_API int VPL_CheckPOP(int index, const char* password, int passwordLen) {
    const Entry* e = entryAt(index);
    if (!e) return VPL_ERR_INDEX;
    SecretBytes key;
    if (const int rc = keyOf(*e, key); rc != 0) return result(rc);
    if (!zstore::givenWithLength(password, passwordLen)) return result(VPL_ERR_POP);
    VCL_COM_Change_Non_Proven();
    if (VCL_COM_Check_Password(key.data(), key.size(), password, passwordLen) != 0) return result(VPL_ERR_POP);
    return result(0);
}

VPL_API int VPL_GetPK8Random(int index, const char* password, char** random, int* randomLen) {
    const Entry* e = entryAt(index);
    if (!e) return VPL_ERR_INDEX;
    if (!password || !random || !randomLen) return result(VPL_ERR_VID_PARAM);
    *random = nullptr;
    *randomLen = 0;
    SecretBytes key, value;
    if (const int rc = keyOf(*e, key); rc != 0) return result(rc);
    if (zstore::keyRandom(key.view(), password, value) != 0 || value.empty()) return result(VPL_ERR_KEY_RANDOM);
    return result(zstore::handOut(value.view(), random, randomLen) == 0 ? 0 : VPL_ERR_MEMORY);
}

VPL_API int VPL_CheckVID(int index, const char* password, const char* idNumber) {
    const Entry* e = entryAt(index);
    if (!e) return VPL_ERR_INDEX;
    if (!password || !idNumber) return result(VPL_ERR_VID_PARAM);
    SecretBytes key, value;
    if (const int rc = keyOf(*e, key); rc != 0) return result(rc);
    if (zstore::keyRandom(key.view(), password, value) != 0 || value.empty()) return result(VPL_ERR_KEY_RANDOM);
    std::string cert;
    if (!zstore::readFile(e->certPath, cert) ||
        VCL_X509_Check_VID(cert.data(), static_cast<int>(cert.size()), value.data(), value.size(), idNumber,
                           static_cast<int>(std::strlen(idNumber))) != 0)
        return result(VPL_ERR_VID);
    return result(0);
}

VPL_API int VPL_DeleteCert(int index) {
    static const char* const kFn = "VPL_DeleteCert";
    const Entry* e = entryAt(index);
    if (!e) return result(-1);
    const size_t slash = e->certPath.rfind('/');
    if (slash == std::string::npos || slash == 0) return result(-1);
    const std::string folder = e->certPath.substr(0, slash);
    // Entries are removed through the folder's own descriptor: a name is
    // never looked up through another path, and subfolders are not entered.
    const int dirfd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    DIR* d = dirfd >= 0 ? fdopendir(dirfd) : nullptr;
    if (!d) {
        const int err = errno;
        if (dirfd >= 0) close(dirfd);
        const char* why = err == ENOENT    ? "No such file or directory"
                          : err == ENOMEM  ? "Out of memory"
                          : err == EACCES  ? "Permission denied"
                          : err == ENOTDIR ? "Not a directory"
                          : err == ENFILE  ? "Too many open files in system"
                          : err == EMFILE  ? "Too many open files"
                                           : "Open Fail";
        ZSTORE_LOG(VCL_LOG_ERROR, "%s() : %s [%s]\n", kFn, why, folder.c_str());
        return result(-2);
    }
    bool whole = true;
    std::vector<std::string> names;
    while (const dirent* ent = readdir(d)) {
        const std::string_view n(ent->d_name);
        if (n != "." && n != "..") names.emplace_back(n);
    }
    for (const std::string& n : names) {
        if (unlinkat(dirfd, n.c_str(), 0) != 0) {
            ZSTORE_LOG(VCL_LOG_ERROR, "%s() : unlink fail(%d) [%s/%s]\n", kFn, errno, folder.c_str(), n.c_str());
            whole = false;
        }
    }
    closedir(d);
    if (rmdir(folder.c_str()) != 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_DeleteCert() : remove directory fail\n");
        whole = false;
    }
    return result(whole ? 0 : zstore::fail(kFn, VPL_ERR_DELETE));
}

VPL_API int VPL_DecryptAndSave(const void* data, int len, const char* keySource, const char* secretText) {
    static const char* const kFn = "VPL_DecryptAndSave";
    if (!data || len <= 0 || !secretText) return result(zstore::fail(kFn, VPL_ERR_BLOB_DECRYPT));
    const auto sha1 = [](std::string_view in, SecretBytes& out) {
        zstore::CoreBuffer d;
        if (VCL_HASH_Data(in.data(), static_cast<int>(in.size()), &d.bytes, &d.len, "SHA1") != 0 || d.len < 16)
            return false;
        out.assign(d.view());
        return true;
    };
    SecretBytes key, iv, inner;
    bool derived = sha1(secretText, iv);
    if (keySource)
        derived = derived && sha1(keySource, key);
    else
        derived = derived && sha1(secretText, inner) && sha1(inner.view(), key);
    if (!derived) return result(zstore::fail(kFn, VPL_ERR_BLOB_DECRYPT));

    zstore::CoreBuffer plain;
    // The keys are SHA-1 digests; SEED takes their first 16 bytes.
    if (VCL_SYM_Decrypt(key.data(), iv.data(), "SEED-CBC", 1, data, len, &plain.bytes, &plain.len, 16) != 0 ||
        plain.len <= 0)
        return result(zstore::fail(kFn, VPL_ERR_BLOB_DECRYPT));
    const std::string_view text = plain.view();
    const size_t bar = text.find("||");
    if (bar == std::string_view::npos) return result(zstore::fail(kFn, VPL_ERR_BLOB_PARSE));
    const std::string_view key64 = text.substr(0, bar);
    if (key64.empty()) return result(zstore::fail(kFn, VPL_ERR_BLOB_BASE64));
    zstore::CoreBuffer der;
    const int n = VCL_Base64_Decode(key64.data(), static_cast<int>(key64.size()), &der.bytes);
    if (n <= 0 || !der.bytes) return result(zstore::fail(kFn, VPL_ERR_BLOB_BASE64));
    der.len = n;
    if (n < 2 || der.bytes[0] != 0x30 || (der.bytes[1] != 0x81 && der.bytes[1] != 0x82))
        return result(zstore::fail(kFn, VPL_ERR_BLOB_KEY));
    return result(0);
}

VPL_API int VPL_SaveCertPkey(int /*storageType*/, int /*unused1*/, int /*unused2*/, const char* cert, int certLen,
                             const char* /*key*/, int /*keyLen*/) {
    const zstore::InfoPtr info = zstore::readInfo(cert, certLen);
    if (!info) return result(zstore::fail("VPL_SaveCertPkey", VPL_ERR_X509_INFO));
    ZSTORE_LOG(VCL_LOG_DEBUG, "VPL_SaveCertPkey() : subject [%s]\n", zstore::field(info->subjectDN).data());
    return result(0);
}

VPL_API void VPL_SetKeyChainName(void) {}

VPL_API int VPL_CutPEMPKCS7Header(const char* pem, char* out, int outSize) {
    if (!pem) return result(-1);
    std::string_view text(pem);
    const size_t begin = text.find(kBegin);
    if (begin != std::string_view::npos) text.remove_prefix(begin + kBegin.size());
    const size_t end = text.find(kEnd);
    if (end != std::string_view::npos) text = text.substr(0, end);
    return result(copyInto(text, out, outSize));
}

VPL_API int VPL_AddPEMPKCS7Header(const char* body, char* out, int outSize) {
    if (!body) return result(-1);
    return result(copyInto(std::string(kBegin) + body + std::string(kEnd), out, outSize));
}

VPL_API int VPL_GetPEMCert(int index, int encodingFlag, char** pem, int* pemLen) {
    if (pem) *pem = nullptr;
    if (pemLen) *pemLen = 0;
    const Entry* e = entryAt(index);
    if (!e) return VPL_ERR_INDEX;
    std::string cert;
    if (!zstore::readFile(e->certPath, cert)) return result(VPL_ERR_PATH);
    return VPL_CertToPEMCert(cert.data(), static_cast<int>(cert.size()), encodingFlag, pem, pemLen);
}

}  // extern "C"
