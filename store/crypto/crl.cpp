// Path validation with CRLs against the CA certificates of the user's
// stores.
#include <string>
#include <vector>

#include <zephaltpavix/crypto.h>
#include <zephaltpavix/encode.h>
#include <zunCore/crypto.h>
#include <zunCore/x509_cpv.h>

#include "base/store_internal.hpp"
#include "disk/disk_internal.hpp"
#include "list/list_internal.hpp"
#include "sign/sign_internal.hpp"

namespace {

struct ListOwner {
    CertInfoList* list = VPL_InitList(nullptr);
    ~ListOwner() {
        if (!list) return;
        VPL_DeleteAllList(list);
        std::free(list);
    }
};

bool walkFailed(int rc) { return rc < 0 || rc >= VPL_ERR_DIR_OPEN; }

}  // namespace

extern "C" {

VPL_API int VPL_Get_All_CACert(CertInfoList* list) {
    static const char* const kFn = "VPL_Get_All_CACert";
    if (!list) return zstore::fail(kFn, -1);
    std::string home;
    if (const int rc = zstore::homeDirectory(home); rc != 0) return zstore::fail(kFn, -1);
    for (const std::string& base : {home + "/NPKI", home + "/PPKI/Veridan"}) {
        const int rc = VPL_Get_Root_CA_CertListInfo(0, list, base.c_str(), static_cast<int>(base.size()));
        if (walkFailed(rc)) {
            ZSTORE_LOG(VCL_LOG_ERROR, "%s () : VPL_Get_Root_CA_CertListInfo Fail (0x%08x) [%s]\n", kFn,
                       static_cast<unsigned>(rc), base.c_str());
            return -1;
        }
    }
    return VPL_GetListCount(list, 0);
}

VPL_API int VPL_CertListToPKI_STR_INFO(PKI_STR_INFO* array, CertInfoList* list) {
    if (!array || !list) return zstore::fail("VPL_CertListToPKI_STR_INFO", VPL_ERR_INVALID_PARAM);
    int i = 0;
    zstore::forEachRecord(list, [&](const zstore::CertRecord& rec) {
        PKI_STR_INFO& r = array[i++];
        std::string bytes;
        if (!zstore::readFile(rec.certPath, bytes)) {
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_CertListToPKI_STR_INFO () : VCL_Read_File Fail [%s]\n",
                       rec.certPath.c_str());
            return;
        }
        r.cert = reinterpret_cast<unsigned char*>(zstore::newBuffer(bytes));
        r.cert_len = r.cert ? static_cast<int>(bytes.size()) : 0;
    });
    return 0;
}

VPL_API int VPL_Check_CRL(const void* cert, int certLen) {
    static const char* const kFn = "VPL_Check_CRL";
    if (!cert || certLen <= 0) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    ListOwner cas;
    if (!cas.list) return zstore::fail(kFn, -1);
    const int count = VPL_Get_All_CACert(cas.list);
    if (count < 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Check_CRL () : VPL_Get_All_CACert () Fail\n");
        return -1;
    }
    VCL_COM_Change_Non_Proven();
    std::vector<PKI_STR_INFO> records(static_cast<size_t>(count));
    VPL_CertListToPKI_STR_INFO(records.data(), cas.list);
    std::vector<CERT_ITEM> items;
    for (const PKI_STR_INFO& r : records)
        if (r.cert && r.cert_len > 0) items.push_back({r.cert, r.cert_len});
    const int rc =
        VCL_CPV_Cert_Path_Validation(static_cast<int>(items.size()), items.data(), cert, certLen, VCL_CPV_CHECK_CRL);
    VCL_PK1_Free_PKISTRINFOS(records.data(), count);
    ZSTORE_LOG(VCL_LOG_DEBUG, "VPL_Check_CRL() : Return Value (0x%08x)\n", static_cast<unsigned>(rc));
    return rc;
}

VPL_API int VPL_CertPath_CRL(const char* encCertPath, int len) {
    static const char* const kFn = "VPL_CertPath_CRL";
    if (!encCertPath) return zstore::fail(kFn, VPL_ERR_PATH);
    std::string path;
    if (const int rc = zstore::decodePath(encCertPath, len, path); rc != 0) return zstore::fail(kFn, rc);
    std::string cert;
    if (VPL_InputPath_Check(path.c_str()) == VPL_STORAGE_HDD) {
        if (!zstore::readFile(path, cert)) return zstore::fail(kFn, VPL_ERR_READ_FILE);
    } else {
        void* p = nullptr;
        int n = 0;
        if (const int rc = VPL_Get_MemoryCert(path.c_str(), &p, &n); rc != 0) return zstore::fail(kFn, rc);
        cert.assign(static_cast<const char*>(p), static_cast<size_t>(n));
        VPL_Free(p, n);
    }
    return VPL_Check_CRL(cert.data(), static_cast<int>(cert.size()));
}

}  // extern "C"
