// Loading the CMP client for one operation.
#include <dlfcn.h>

#include <cstring>
#include <vector>

#include <zephaltpavix/error.h>
#include <zephaltpavix/issue.h>

#include "base/store_internal.hpp"
#include "issue/issue_internal.hpp"

extern "C" {
VPL_API int (*lpCMP_Init)(void) = nullptr;
VPL_API int (*lpCMP_SetUseHSM)(int, int, int) = nullptr;
VPL_API int (*lpCMP_SetBITAndHash)(const char*, int, const char*, int) = nullptr;
VPL_API int (*lpCMP_GetCACert)(unsigned char*, unsigned short*) = nullptr;
VPL_API int (*lpCMP_GetSignCert)(unsigned char*, unsigned short*) = nullptr;
VPL_API int (*lpCMP_GetSignPri)(unsigned char*, unsigned short*) = nullptr;
VPL_API int (*lpCMP_GetKMCert)(unsigned char*, unsigned short*) = nullptr;
VPL_API int (*lpCMP_GetKMPri)(unsigned char*, unsigned short*) = nullptr;
VPL_API const char* (*lpCMP_GetErrorString)(int) = nullptr;
VPL_API int (*lpCMP_Final)(void) = nullptr;
VPL_API int (*lpCMP_CertRequestNonUI)(const char*, int, const char*, const char*, int) = nullptr;
VPL_API int (*lpCMP_CertUpdateNonUI)(const char*, int, const char*, const char*, const char*, const char*,
                                     int) = nullptr;
VPL_API int (*lpCMP_CertReplaceNonUI)(const char*, int, const char*, const char*, int) = nullptr;
VPL_API int (*lpCMP_PPKI_MAKE_PKCS10)(const char*, const char*, int, int, unsigned char**, int*, unsigned char**,
                                      int*) = nullptr;
VPL_API void (*lpCMP_StringFree)(void*) = nullptr;
}

namespace {

// The pointers in binding order, with their names.
struct Entry {
    const char* name;
    void** slot;
};
const std::vector<Entry>& entries() {
    static const std::vector<Entry> list = {
        {"ZUNCMP_Init", reinterpret_cast<void**>(&lpCMP_Init)},
        {"ZUNCMP_SetUseHSM", reinterpret_cast<void**>(&lpCMP_SetUseHSM)},
        {"ZUNCMP_SetBITAndHash", reinterpret_cast<void**>(&lpCMP_SetBITAndHash)},
        {"ZUNCMP_GetCACert", reinterpret_cast<void**>(&lpCMP_GetCACert)},
        {"ZUNCMP_GetSignCert", reinterpret_cast<void**>(&lpCMP_GetSignCert)},
        {"ZUNCMP_GetSignPri", reinterpret_cast<void**>(&lpCMP_GetSignPri)},
        {"ZUNCMP_GetKMCert", reinterpret_cast<void**>(&lpCMP_GetKMCert)},
        {"ZUNCMP_GetKMPri", reinterpret_cast<void**>(&lpCMP_GetKMPri)},
        {"ZUNCMP_GetErrorString", reinterpret_cast<void**>(&lpCMP_GetErrorString)},
        {"ZUNCMP_Final", reinterpret_cast<void**>(&lpCMP_Final)},
        {"ZUNCMP_CertRequestNonUI", reinterpret_cast<void**>(&lpCMP_CertRequestNonUI)},
        {"ZUNCMP_CertUpdateNonUI", reinterpret_cast<void**>(&lpCMP_CertUpdateNonUI)},
        {"ZUNCMP_CertReplaceNonUI", reinterpret_cast<void**>(&lpCMP_CertReplaceNonUI)},
        {"ZUNCMP_PPKI_MAKE_PKCS10", reinterpret_cast<void**>(&lpCMP_PPKI_MAKE_PKCS10)},
        {"ZUNCMP_StringFree", reinterpret_cast<void**>(&lpCMP_StringFree)},
    };
    return list;
}

void clearPointers() {
    for (const Entry& e : entries()) *e.slot = nullptr;
}

// The client's output room (its readers write up to this many bytes).
constexpr size_t kOutputRoom = 5120;

bool fetchOne(int (*reader)(unsigned char*, unsigned short*), std::string& out) {
    std::vector<unsigned char> buf(kOutputRoom);
    unsigned short len = 0;
    const int rc = reader(buf.data(), &len);
    const bool ok = rc == 0 && len <= kOutputRoom;
    if (ok) out.assign(reinterpret_cast<const char*>(buf.data()), len);
    explicit_bzero(buf.data(), buf.size());
    return ok;
}

}  // namespace

extern "C" VPL_API int VPL_CMPLIB_FunctionLoad_Check(void* handle) {
    clearPointers();
    if (!handle) return -1;
    for (const Entry& e : entries()) {
        dlerror();
        *e.slot = dlsym(handle, e.name);
        if (!*e.slot) {
            const char* why = dlerror();
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_CMPLIB_FunctionLoad_Check () : dlsym(%s) Error : %s\n", e.name,
                       why ? why : "");
            clearPointers();
            return -1;
        }
    }
    return 0;
}

namespace zstore {

CmpSession::~CmpSession() {
    if (m_started && lpCMP_Final) lpCMP_Final();
    clearPointers();
    if (m_handle) dlclose(m_handle);
}

int CmpSession::open(std::string_view hash, std::string_view keyBits) {
    m_handle = dlopen(VPL_CMP_LIBRARY, RTLD_LAZY);
    if (!m_handle) {
        const char* why = dlerror();
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_CMPLIB_Load () : dlopen(%s) Error : %s\n", VPL_CMP_LIBRARY, why ? why : "");
        return -1;
    }
    if (VPL_CMPLIB_FunctionLoad_Check(m_handle) != 0) return -1;
    const int rc = lpCMP_Init();
    if (rc != 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_CMPLIB_Load () : ZUNCMP_Init Error(%d)\n", rc);
        return -1;
    }
    m_started = true;
    lpCMP_SetUseHSM(0, 0, 0);
    const std::string h(hash), b(keyBits);
    lpCMP_SetBITAndHash(h.c_str(), static_cast<int>(h.size()), b.c_str(), static_cast<int>(b.size()));
    return 0;
}

const char* CmpSession::errorText(int code) const {
    const char* text = lpCMP_GetErrorString ? lpCMP_GetErrorString(code) : nullptr;
    return text ? text : "";
}

CmpOutputs::~CmpOutputs() {
    wipe(signKey);
    wipe(kmKey);
}

bool CmpOutputs::fetch() {
    return fetchOne(lpCMP_GetCACert, ca) && fetchOne(lpCMP_GetSignCert, signCert) &&
           fetchOne(lpCMP_GetSignPri, signKey) && fetchOne(lpCMP_GetKMCert, kmCert) && fetchOne(lpCMP_GetKMPri, kmKey);
}

}  // namespace zstore
