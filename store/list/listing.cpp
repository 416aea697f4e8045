// Listings: the stores of a medium walked into one list, filtered, and
// written as the certificate-list record string; certificates held in
// memory for a domain.
#include <cstring>
#include <string>

#include <zephaltpavix/context.h>
#include <zephaltpavix/encode.h>
#include <zephaltpavix/layout.h>
#include <zunCore/crypto.h>
#include <zunCore/pkcs12.h>

#include "context/context_internal.hpp"
#include "disk/disk_internal.hpp"
#include "list/list_internal.hpp"

namespace {

// A list with its head, released with every entry.
struct ListOwner {
    CertInfoList* list = VPL_InitList(nullptr);
    ListOwner() = default;
    ListOwner(const ListOwner&) = delete;
    ListOwner& operator=(const ListOwner&) = delete;
    ~ListOwner() {
        VPL_DeleteAllList(list);
        std::free(list);
    }
};

struct FilterOwner {
    FilterInfo filter{};
    FilterOwner() = default;
    FilterOwner(const FilterOwner&) = delete;
    FilterOwner& operator=(const FilterOwner&) = delete;
    ~FilterOwner() { VPL_Delete_FilterList(&filter); }
};

bool isFailure(int rc) { return rc < 0 || rc >= 1051000; }

// A value of the record string: "name^" and the value encoded, then the
// item's end.
bool item(std::string& out, const char* name, const std::string& value, int type, char end) {
    char* encoded = nullptr;
    int encodedLen = 0;
    if (VPL_DataEncode(type, value.data(), static_cast<int>(value.size()), &encoded, &encodedLen) != 0) return false;
    out += name;
    out += '^';
    out.append(encoded, static_cast<size_t>(encodedLen));
    out += end;
    VPL_Free(encoded, encodedLen);
    return true;
}

// Walks the stores of a medium (the walks stop at the first failure),
// hides what the filter excludes and hands out the visible records.
using WalkStep = int (*)(CertInfoList*, const std::string&, int mode);

int walkUsers(CertInfoList* list, const std::string& path, int) {
    return VPL_Get_CertListInfo(list, path.c_str(), static_cast<int>(path.size()));
}
int walkGovernment(CertInfoList* list, const std::string& path, int) {
    return VPL_Get_GPKI_CertListInfo(list, path.c_str(), static_cast<int>(path.size()));
}
int walkCAs(CertInfoList* list, const std::string& path, int mode) {
    return VPL_Get_Root_CA_CertListInfo(mode, list, path.c_str(), static_cast<int>(path.size()));
}

struct Store {
    WalkStep walk;
    const char* folder;
};

int listMedium(const char* fn, std::initializer_list<Store> stores, const std::string& base, int mode,
               const char* filter, char** out, int* outLen) {
    if (!out || !outLen) return zstore::fail(fn, VPL_ERR_INVALID_PARAM);
    *out = nullptr;
    *outLen = 0;
    ZSTORE_LOG(VCL_LOG_DEBUG, "%s() : base [%s] mode [%d] filter [%s]\n", fn, base.c_str(), mode, filter ? filter : "");
    ListOwner owner;
    if (!owner.list) {
        zstore::fail(fn, VPL_ERR_MALLOC);
        return -1;
    }
    for (const Store& s : stores) {
        const int rc = s.walk(owner.list, base + s.folder, mode);
        if (isFailure(rc)) {
            ZSTORE_LOG(VCL_LOG_ERROR, "%s() : walk of %s%s Fail (0x%08x)\n", fn, base.c_str(), s.folder,
                       static_cast<unsigned>(rc));
            return rc;
        }
    }
    FilterOwner filterOwner;
    if (filter && *filter) {
        // Tokens that do not parse are logged and skipped; the rest filter.
        VPL_FilterData_Parsing(&filterOwner.filter, filter, static_cast<int>(std::strlen(filter)));
        VPL_FilterInfo_Check(&filterOwner.filter, owner.list);
    }
    const int count = VPL_GetListCount(owner.list, 1);
    if (count > 0) {
        std::string text;
        if (zstore::recordString(owner.list, text) != 0 || zstore::handOut(text, out, outLen) != 0) {
            zstore::fail(fn, VPL_ERR_MALLOC);
            return -1;
        }
    }
    return count;
}

// The base of the CA lists: the drive when given, else the home directory.
int caBase(const char* drive, std::string& base) {
    if (drive && *drive) {
        base = zstore::withoutTrailingSlash(drive);
        return 0;
    }
    return zstore::homeDirectory(base);
}

bool lengthMatches(const char* text, int len) {
    return len >= 0 && strnlen(text, static_cast<size_t>(len) + 1) == static_cast<size_t>(len);
}

}  // namespace

namespace zstore {

int recordString(CertInfoList* list, std::string& out) {
    out.clear();
    bool ok = true;
    forEachRecord(list, [&](const CertRecord& r) {
        if (!ok || r.hidden) return;
        ok = item(out, "subject", r.subject, 1, '&') && item(out, "issuer", r.issuerName, 1, '&') &&
             item(out, "oidtype", r.typeName, 1, '&') && item(out, "expiredata", r.validTo, 1, '&') &&
             item(out, "certpath", r.certPath, 2, '&') && item(out, "keypath", r.keyPath, 1, '&') &&
             item(out, "expireflag", std::to_string(r.expireFlag), 1, '&') &&
             item(out, "certtype", std::to_string(r.storeClass), 1, '|');
    });
    return ok ? 0 : VPL_ERR_MALLOC;
}

}  // namespace zstore

extern "C" {

VPL_API int VPL_Make_SendData(CertInfoList* list, char** out, int count) {
    ZSTORE_LOG(VCL_LOG_DEBUG, "VPL_Make_SendData () : start\n");
    if (!out) return zstore::fail("VPL_Make_SendData", VPL_ERR_INVALID_PARAM);
    *out = nullptr;
    if (count <= 0) return 0;
    std::string text;
    int len = 0;
    try {
        if (zstore::recordString(list, text) != 0 || zstore::handOut(text, out, &len) != 0)
            return zstore::fail("VPL_Make_SendData", VPL_ERR_MALLOC);
    } catch (const std::bad_alloc&) {
        return zstore::fail("VPL_Make_SendData", VPL_ERR_MALLOC);
    }
    return 0;
}

VPL_API int VPL_Get_HDDCertList(const char* filter, char** list, int* listLen) {
    std::string home;
    if (const int rc = zstore::homeDirectory(home); rc != 0) return zstore::fail("VPL_Get_HDDCertList", rc);
    return listMedium("VPL_Get_HDDCertList",
                      {{walkUsers, "/NPKI"}, {walkUsers, "/PPKI/Veridan"}, {walkGovernment, "/GPKI/Certificate"}}, home,
                      0, filter, list, listLen);
}

VPL_API int VPL_Get_FDDCertList(const char* filter, const char* drive, char** list, int* listLen) {
    if (!drive || !*drive) return zstore::fail("VPL_Get_FDDCertList", VPL_ERR_DRIVE);
    return listMedium("VPL_Get_FDDCertList",
                      {{walkUsers, "/NPKI"}, {walkUsers, "/PPKI/Veridan"}, {walkGovernment, "/GPKI/Certificate"}},
                      zstore::withoutTrailingSlash(drive), 0, filter, list, listLen);
}

VPL_API int VPL_Get_Public_CertList(const char* filter, const char* drive, int mode, char** list, int* listLen) {
    std::string base;
    if (const int rc = caBase(drive, base); rc != 0) return zstore::fail("VPL_Get_Public_CertList", rc);
    return listMedium("VPL_Get_Public_CertList", {{walkCAs, "/NPKI"}}, base, mode, filter, list, listLen);
}

VPL_API int VPL_Get_Private_CertList(const char* filter, const char* drive, int mode, char** list, int* listLen) {
    std::string base;
    if (const int rc = caBase(drive, base); rc != 0) return zstore::fail("VPL_Get_Private_CertList", rc);
    return listMedium("VPL_Get_Private_CertList", {{walkCAs, "/PPKI/Veridan"}}, base, mode, filter, list, listLen);
}

VPL_API int VPL_Get_CertList(unsigned storageType, const char* drive, int driveLen, const char* pin, int pinLen,
                             const char* filter, int filterLen, char** list, int* listLen) {
    static const char* const kFn = "VPL_Get_CertList";
    if (!list || !listLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *list = nullptr;
    *listLen = 0;
    ZSTORE_LOG(VCL_LOG_DEBUG, "VPL_Get_CertList() : type [%u] drive [%s]\n", storageType, drive ? drive : "");
    if (pin && !lengthMatches(pin, pinLen)) return zstore::fail(kFn, VPL_ERR_PIN);
    if (drive && !lengthMatches(drive, driveLen)) return zstore::fail(kFn, VPL_ERR_DRIVE);
    if (storageType == VPL_STORAGE_REMOVABLE && (!drive || !*drive)) return zstore::fail(kFn, VPL_ERR_DRIVE);
    const std::string filterText(filter ? zstore::bounded(filter, filterLen) : std::string_view());
    const char* f = filterText.empty() ? nullptr : filterText.c_str();
    int rc;
    switch (storageType) {
        case VPL_STORAGE_HDD:
            rc = VPL_Get_HDDCertList(f, list, listLen);
            break;
        case VPL_STORAGE_REMOVABLE:
            rc = VPL_Get_FDDCertList(f, drive, list, listLen);
            break;
        case 5:
            rc = VPL_Get_Public_CertList(f, drive, 1, list, listLen);
            break;
        case 9:
            rc = VPL_Get_Public_CertList(f, drive, 2, list, listLen);
            break;
        case 10:
            rc = VPL_Get_Private_CertList(f, drive, 0, list, listLen);
            break;
        default:
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Get_CertList() : Store Type(%d) Error\n", static_cast<int>(storageType));
            return -1;
    }
    if (rc <= 0)
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Get_CertList(): Fail\n");
    else
        ZSTORE_LOG(VCL_LOG_DEBUG, "VPL_Get_CertList(): Total Count[%d]\n", rc);
    return rc;
}

VPL_API int VPL_Get_Domain_CertList(int storageType, const char* drive, int driveLen, const char* pin, int pinLen,
                                    const char* domain, int domainLen, const char* filter, int filterLen, char** list,
                                    int* listLen) {
    static const char* const kFn = "VPL_Get_Domain_CertList";
    if (!list || !listLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *list = nullptr;
    *listLen = 0;
    ZSTORE_LOG(VCL_LOG_DEBUG, "VPL_Get_Domain_CertList() : type [%d] domain [%s]\n", storageType, domain ? domain : "");
    if (pin && !lengthMatches(pin, pinLen)) return zstore::fail(kFn, VPL_ERR_PIN);
    const int cleared = VPL_CTX_Certs_Delete(domain, domainLen, storageType);
    if (cleared > 1051000) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Get_Domain_CertList() : VPL_CTX_Certs_Delete Fail(0x%08x)\n",
                   static_cast<unsigned>(cleared));
        return -1;
    }
    // The domain's own filter, then the caller's: joined by "&" so the
    // caller's first token is not read as part of the domain's last value.
    std::string effective;
    if (const CTX* ctx = VPL_Find_CTX(g_CTX_Head, domain); ctx && ctx->FilterInfo)
        effective = zstore::bounded(ctx->FilterInfo, ctx->FilterInfoLen);
    const std::string_view callers = filter ? zstore::bounded(filter, filterLen) : std::string_view();
    if (!effective.empty() && !callers.empty() && effective.back() != '&') effective += '&';
    effective += callers;

    if (storageType == VPL_STORAGE_SCARD || storageType == VPL_STORAGE_USBT || storageType == VPL_STORAGE_PHONE ||
        storageType == VPL_STORAGE_HSM) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Get_Domain_CertList() : Not Support Storage Type(PHONE)\n");
        return -1;
    }
    const int rc = VPL_Get_CertList(static_cast<unsigned>(storageType), drive, driveLen, pin, pinLen,
                                    effective.empty() ? nullptr : effective.c_str(), static_cast<int>(effective.size()),
                                    list, listLen);
    if (rc <= 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Get_Domain_CertList(): Fail\n");
    } else if (rc > 1050999) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Get_Domain_CertList(): Fail  %s(0x%08x)\n", VPL_GetErrorString(rc),
                   static_cast<unsigned>(rc));
    } else {
        ZSTORE_LOG(VCL_LOG_DEBUG, "VPL_Get_Domain_CertList(): Total Count[%d]\n", rc);
        VPL_Log_HEXA(VCL_LOG_INFO, zstore::kLogSource, __LINE__, "Cert List", *list, *listLen);
    }
    return rc;
}

VPL_API int VPL_MEMORY_ListInfo(const char* domain, int /*domainLen*/, const void* cert, int certLen, const void* key,
                                int keyLen, CertInfoList* list) {
    static const char* const kFn = "VPL_MEMORY_ListInfo";
    if (!domain || !list) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    CTX* ctx = VPL_Find_CTX(g_CTX_Head, domain);
    if (!ctx) return zstore::fail(kFn, VPL_ERR_DOMAIN);
    const zstore::InfoPtr info = zstore::readInfo(cert, certLen);
    if (!info) return zstore::fail(kFn, VPL_ERR_X509_INFO);
    zstore::CertRecord rec;
    if (const int rc = zstore::makeRecord(*info, rec, nullptr); rc != 0) return rc;
    const std::string path = std::string(domain) + "/MEMORY/" + std::string(zstore::field(info->subjectDN)) + "/" +
                             std::string(zstore::field(info->serialHex));
    rec.certPath = rec.keyPath = path;
    if (zstore::append(list, std::move(rec)) != 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_MEMORY_ListInfo () : VPL_InsertList Fail [%s]\n", path.c_str());
        return VPL_ERR_MEMORY;
    }
    CertsInfo* node = VPL_Init_CertsInfo();
    if (!node) return zstore::fail(kFn, VPL_ERR_MALLOC);
    const auto copy = [](const void* bytes, int len) {
        return reinterpret_cast<unsigned char*>(
            zstore::newBuffer({static_cast<const char*>(bytes), static_cast<size_t>(len)}));
    };
    node->path = zstore::newBuffer(path);
    node->pathLen = static_cast<int>(path.size());
    bool ok = node->path != nullptr;
    if (ok && cert && certLen > 0) {
        node->cert = copy(cert, certLen);
        node->certLen = certLen;
        ok = node->cert != nullptr;
    }
    if (ok && key && keyLen > 0) {
        node->key = copy(key, keyLen);
        node->keyLen = keyLen;
        ok = node->key != nullptr;
    }
    if (!ok || VPL_Insert_CertsInfo(&ctx->memoryCerts, node) != 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_MEMORY_ListInfo () : VPL_Insert_CertsInfo Fail [%s]\n", path.c_str());
        VPL_Delete_ALL_CertsInfo(&node);
        return zstore::fail(kFn, VPL_ERR_MALLOC);
    }
    return 0;
}

VPL_API int VPL_Cert_Find(const char* domain, int domainLen, const char* pfxPath, int pfxPathLen, const char* password,
                          int passwordLen, char** list, int* listLen) {
    static const char* const kFn = "VPL_Cert_Find";
    if (!list || !listLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *list = nullptr;
    *listLen = 0;
    if (!domain) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    if (!pfxPath || !lengthMatches(pfxPath, pfxPathLen)) return zstore::fail(kFn, VPL_ERR_PATH);
    if (!password || !lengthMatches(password, passwordLen)) return zstore::fail(kFn, VPL_ERR_PASSWORD_PARAM);
    if (VPL_CTX_Certs_Delete(domain, domainLen, VPL_STORAGE_MEMORY) > 1051000) return -1;

    zstore::CoreBuffer pfx;
    if (VCL_Read_File(pfxPath, &pfx.bytes, &pfx.len) != 0 || pfx.len <= 0) return zstore::fail(kFn, VPL_ERR_READ_FILE);
    int nPairs = 0, nCerts = 0;
    PKISTRINFO* pairs = nullptr;
    VCL_COM_Change_Non_Proven();
    const int opened =
        VCL_PK12_Verify_PFX(password, passwordLen, pfx.bytes, pfx.len, &nPairs, &pairs, &nCerts, nullptr);
    const auto releasePairs = [&] {
        VCL_PK1_Free_PKISTRINFOS(pairs, nPairs);
        std::free(pairs);
    };
    if (opened != 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Cert_Find () : VCL_PK12_Verify_PFX Fail (0x%08x)\n",
                   static_cast<unsigned>(opened));
        releasePairs();
        return zstore::fail(kFn, VPL_ERR_PFX);
    }
    ListOwner owner;
    if (!owner.list) {
        releasePairs();
        return zstore::fail(kFn, VPL_ERR_MALLOC);
    }
    int last = 0;
    for (int i = 0; i < nPairs; ++i) {
        if (pairs[i].cert_use != VCL_CERT_USE_SIGN) continue;
        last = VPL_MEMORY_ListInfo(domain, domainLen, pairs[i].cert, pairs[i].cert_len, pairs[i].key, pairs[i].key_len,
                                   owner.list);
        if (last != 0)
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Cert_Find () :VPL_MEMORY_ListInfo Function Fail (0x%08x)\n",
                       static_cast<unsigned>(last));
    }
    releasePairs();
    const int count = VPL_GetListCount(owner.list, 0);
    if (count > 0) {
        std::string text;
        if (zstore::recordString(owner.list, text) != 0 || zstore::handOut(text, list, listLen) != 0)
            return zstore::fail(kFn, VPL_ERR_MALLOC);
    }
    return last != 0 ? last : count;
}

}  // extern "C"
