// The key file beside a certificate file.
#include <dirent.h>
#include <sys/stat.h>

#include <string>

#include <zephaltpavix/certclass.h>
#include <zephaltpavix/layout.h>

#include "base/store_internal.hpp"
#include "disk/disk_internal.hpp"

namespace zstore {

std::string keyFileName(std::string_view certName, int typeCode) {
    size_t cut = 8;
    std::string_view ending = "Pri.key";
    if (typeCode == VPL_CLASS_GPKI_SIGN || typeCode == VPL_CLASS_GPKI_KM) {
        cut = 3;
        ending = "key";
    } else if (typeCode == 10) {
        cut = 4;
        ending = "priv";
    }
    if (certName.size() <= cut) return {};
    return std::string(certName.substr(0, certName.size() - cut)) + std::string(ending);
}

}  // namespace zstore

extern "C" {

VPL_API int VPL_CertPathConvKeyPath(int typeCode, const char* certPath, char** keyPath) {
    static const char* const kFn = "VPL_CertPathConvKeyPath";
    if (!certPath || !keyPath) return zstore::fail(kFn, VPL_ERR_PATH);
    *keyPath = nullptr;
    const std::string_view path(certPath);
    const size_t slash = path.rfind('/');
    const std::string keyName =
        slash == std::string_view::npos ? std::string() : zstore::keyFileName(path.substr(slash + 1), typeCode);
    if (keyName.empty()) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_CertPathConvKeyPath () : Path Fail (%s)\n", certPath);
        return -1;
    }
    const std::string folder(path.substr(0, slash));

    DIR* d = opendir(folder.empty() ? "/" : folder.c_str());
    if (!d) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_CertPathConvKeyPath () : Open dir Fail (%s)\n", folder.c_str());
        return -1;
    }
    // The key's own name, letters without case, as a whole: a longer name
    // (signPri.key.bak) is another file. Its own spelling wins; else the
    // first in name order.
    std::string found;
    int rc = 0;
    while (const dirent* e = readdir(d)) {
        const std::string_view name(e->d_name);
        if (!zstore::equalNoCase(name, keyName)) continue;
        const std::string full = folder + "/" + std::string(name);
        struct stat st {};
        if (stat(full.c_str(), &st) != 0) {
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_CertPathConvKeyPath () : stat Fail (%s)\n", full.c_str());
            rc = -1;
            break;
        }
        if (!S_ISREG(st.st_mode)) continue;
        if (name == keyName) {
            found = full;
            break;
        }
        if (found.empty() || full < found) found = full;
    }
    closedir(d);
    if (rc != 0 || found.empty()) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_CertPathConvKeyPath () : Error code : %s(0x%08x) path=[%s]\n",
                   VPL_GetErrorString(-1), static_cast<unsigned>(-1), certPath);
        return -1;
    }
    int len = 0;
    return zstore::handOut(found, keyPath, &len);
}

}  // extern "C"
