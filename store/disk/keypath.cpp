// The key file beside a certificate file.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include <zephaltpavix/certclass.h>
#include <zephaltpavix/layout.h>

#include "base/store_internal.hpp"

extern "C" {

VPL_API int VPL_CertPathConvKeyPath(int typeCode, const char* certPath, char** keyPath) {
    static const char* const kFn = "VPL_CertPathConvKeyPath";
    if (!certPath || !keyPath) return zstore::fail(kFn, VPL_ERR_PATH);
    *keyPath = nullptr;
    const std::string_view path(certPath);
    // signCert.der -> signPri.key, kmCert.der -> kmPri.key; the government's
    // _sig.cer -> _sig.key.
    size_t cut = 8;
    std::string_view ending = "Pri.key";
    if (typeCode == VPL_CLASS_GPKI_SIGN || typeCode == VPL_CLASS_GPKI_KM) {
        cut = 3;
        ending = "key";
    } else if (typeCode == 10) {
        cut = 4;
        ending = "priv";
    }
    const size_t slash = path.rfind('/');
    if (path.size() < cut || slash == std::string_view::npos || path.size() - slash - 1 < cut) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_CertPathConvKeyPath () : Path Fail (%s)\n", certPath);
        return -1;
    }
    const std::string expected = std::string(path.substr(0, path.size() - cut)) + std::string(ending);
    const std::string folder(path.substr(0, slash));

    DIR* d = opendir(folder.empty() ? "/" : folder.c_str());
    if (!d) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_CertPathConvKeyPath () : Open dir Fail (%s)\n", folder.c_str());
        return -1;
    }
    std::vector<std::string> names;
    while (const dirent* e = readdir(d)) {
        const std::string_view name(e->d_name);
        if (name != "." && name != "..") names.emplace_back(name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());

    // The key file's own name first; else the first longer name that begins
    // with it (letters compared without case).
    std::string found;
    for (const std::string& name : names) {
        const std::string full = folder + "/" + name;
        if (!zstore::startsWithNoCase(full, expected)) continue;
        struct stat st {};
        if (stat(full.c_str(), &st) != 0) {
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_CertPathConvKeyPath () : stat Fail (%s)\n", full.c_str());
            return -1;
        }
        if (!S_ISREG(st.st_mode)) continue;
        if (full.size() == expected.size()) {
            found = full;
            break;
        }
        if (found.empty()) found = full;
    }
    if (found.empty()) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_CertPathConvKeyPath () : Error code : %s(0x%08x) path=[%s]\n",
                   VPL_GetErrorString(-1), static_cast<unsigned>(-1), certPath);
        return -1;
    }
    int len = 0;
    return zstore::handOut(found, keyPath, &len);
}

}  // extern "C"
