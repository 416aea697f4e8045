// The government store's names of a certificate: its CN, use and class
// folder.
#include <string>

#include <zephaltpavix/layout.h>

#include "base/store_internal.hpp"

namespace {

// Government certificates of this policy (and its sub-arcs) are filed under
// class2.
constexpr std::string_view kClass2Policy = "1.2.410.100001.2.2";

}  // namespace

extern "C" {

VPL_API int VPL_Get_GPKI_CNNameOfSubjectDN(const void* cert, int len, char** cn, int* use, int* gpkiClass) {
    static const char* const kFn = "VPL_Get_GPKI_CNNameOfSubjectDN";
    if (!cert || !cn || !use || !gpkiClass) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *cn = nullptr;
    *use = 0;
    *gpkiClass = 0;
    const zstore::InfoPtr info = zstore::readInfo(cert, len);
    if (!info) return zstore::fail(kFn, VPL_ERR_X509_INFO);
    if (!info->subjectDN || !*info->subjectDN || !info->keyUsage) return -1;
    std::string dn;
    if (!zstore::eucKrToUtf8(info->subjectDN, dn)) return -1;

    std::string_view name;
    bool found = false;
    for (size_t start = 0; start <= dn.size() && !found;) {
        size_t end = dn.find(',', start);
        if (end == std::string::npos) end = dn.size();
        const std::string_view item = std::string_view(dn).substr(start, end - start);
        if (zstore::startsWithNoCase(item, "cn=")) {
            name = item.substr(3);
            found = true;
        }
        start = end + 1;
    }
    if (!found) return -1;
    // The CN becomes a file name of the store.
    if (!zstore::isSafeComponent(name)) return zstore::fail(kFn, VPL_ERR_PATH);

    const unsigned long usage = zstore::keyUsageValue(info->keyUsage);
    const int kind = (usage & 0x80) ? 3 : (usage & 0x30) ? 4 : 0;
    const int cls = zstore::findNoCase(zstore::field(info->policyIds), kClass2Policy) != std::string_view::npos ? 2 : 1;
    int nameLen = 0;
    if (const int rc = zstore::handOut(name, cn, &nameLen); rc != 0) return zstore::fail(kFn, rc);
    *use = kind;
    *gpkiClass = cls;
    return 0;
}

}  // extern "C"
