// CA kinds of the store's CA folder names, and the one registered name.
#include <optional>
#include <string>

#include <zephaltpavix/certlist.h>

#include "base/store_internal.hpp"
#include "list/list_internal.hpp"

namespace {

constexpr std::string_view kPublicFolders[] = {"CROSSCERT", "KICA",      "KISA",    "NCASIGN",
                                               "SIGNKOREA", "TRADESIGN", "YESSIGN", "ZUNPASS"};
constexpr std::string_view kPrivateFolders[] = {"VERIDAN", "VERIDAN_CA"};

struct Registered {
    std::string name;
    int kind = 0;
};
// Process state like the contexts: callers serialise.
std::optional<Registered> gRegistered;

}  // namespace

namespace zstore {

int caKind(std::string_view name) {
    for (std::string_view n : kPublicFolders)
        if (equalNoCase(name, n)) return 1;
    for (std::string_view n : kPrivateFolders)
        if (equalNoCase(name, n)) return 3;
    if (gRegistered && equalNoCase(name, gRegistered->name)) return gRegistered->kind;
    return -1;
}

}  // namespace zstore

extern "C" {

VPL_API int VPL_ADD_User_CertType(const char* caName, int caKind) {
    if (!caName || !*caName) return zstore::fail("VPL_ADD_User_CertType", VPL_ERR_INVALID_PARAM);
    try {
        gRegistered = Registered{caName, caKind};
    } catch (const std::bad_alloc&) {
        return zstore::fail("VPL_ADD_User_CertType", VPL_ERR_MALLOC);
    }
    ZSTORE_LOG(VCL_LOG_DEBUG, "VPL_ADD_User_CertType () : [%s] = %d\n", caName, caKind);
    return 0;
}

VPL_API int VPL_Delete_CertType(const char* caName) { return caName ? zstore::caKind(caName) : -1; }

}  // extern "C"
