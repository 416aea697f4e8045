// One record per certificate: names, serial, policy, dates, type name,
// store class and renewal state; the fixed CertInfo form of a record.
#include <sys/stat.h>

#include <cstring>
#include <string>

#include <zephaltpavix/certclass.h>
#include <zephaltpavix/certlist.h>
#include <zunCore/korean.h>
#include <zunCore/x509_check.h>

#include "cert/certclass_internal.hpp"
#include "list/list_internal.hpp"

namespace {

using zstore::field;

// Thirty days before the end of validity a certificate is due for renewal.
constexpr int kRenewalWindow = 2592000;
// Certificates of the stores are a few kilobytes; 1 MiB leaves room for
// any extension a CA writes.
constexpr off_t kCertFileMax = 1 << 20;

// The first policy identifier: the policies text begins "PI=" and the
// identifier runs to the first qualifier (",") or the next policy (the
// record's separator).
std::string firstPolicy(const X509_Info& info) {
    std::string_view text = field(info.policies);
    if (zstore::startsWithNoCase(text, "PI=")) {
        text.remove_prefix(3);
        const size_t end = text.find_first_of(std::string{',', info.separator});
        return std::string(text.substr(0, end));
    }
    return std::string(field(info.policyIds));
}

int storeClassOf(int cls) {
    switch (cls) {
        case VPL_CLASS_PUBLIC_SIGN:
        case VPL_CLASS_PUBLIC_KM:
        case VPL_CLASS_PUBLIC_CA:
            return 1;
        case VPL_CLASS_GPKI_SIGN:
        case VPL_CLASS_GPKI_KM:
        case VPL_CLASS_GPKI_CA:
            return 3;
        default:
            return 2;
    }
}

// The type names of certificates without a policy, by store class.
const std::string& classDefault(int storeClass) {
    static const struct Defaults {
        std::string names[3];
        Defaults() {
            const char* utf8[3] = {"일반인증서", "사설 인증서", "행정부인증서"};
            for (int i = 0; i < 3; ++i) {
                zstore::MallocPtr<char> euc(VCL_ConvertUTF8ToEUCKR(utf8[i]));
                names[i] = euc ? euc.get() : utf8[i];
            }
        }
    } defaults;
    return defaults.names[storeClass == 1 ? 0 : storeClass == 3 ? 2 : 1];
}

bool fitInto(const std::string& text, char (&out)[VPL_CERTINFO_TEXT]) {
    if (text.size() >= VPL_CERTINFO_TEXT || text.find('\0') != std::string::npos) return false;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

}  // namespace

namespace zstore {

bool localDate(const char* gmt, std::string& out) {
    char local[16] = {};
    if (!gmt || VCL_GM2LocalTime(gmt, local) != 0 || std::strlen(local) < 8) return false;
    out.assign(local, 4);
    out += '-';
    out.append(local + 4, 2);
    out += '-';
    out.append(local + 6, 2);
    return true;
}

std::string dnValue(std::string_view dn, std::string_view name) {
    size_t start = 0;
    while (start < dn.size()) {
        size_t end = dn.find(',', start);
        if (end == std::string_view::npos) end = dn.size();
        std::string_view item = dn.substr(start, end - start);
        while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
        if (item.size() > name.size() && item[name.size()] == '=' && startsWithNoCase(item, name))
            return std::string(item.substr(name.size() + 1));
        start = end + 1;
    }
    return {};
}

std::string subjectName(std::string_view subjectDN) {
    std::string name = dnValue(subjectDN, "cn");
    return name.empty() ? dnValue(subjectDN, "ou") : name;
}

const std::string& defaultTypeName(int cls) { return classDefault(storeClassOf(cls)); }

int renewalState(const X509_Info& info) {
    const int rc = VCL_X509_Check_Update(&info, kRenewalWindow);
    if (rc == 0) return 0;
    if (rc == 1) return 2;
    // Outside its validity, or validity that cannot be read: never shown
    // as usable.
    return 1;
}

int makeRecord(const X509_Info& info, CertRecord& rec, int* typeCode) {
    static const char* const kFn = "VPL_Cert_Make_CertInfo";
    std::string path = std::move(rec.certPath), keyPath = std::move(rec.keyPath);
    rec = CertRecord{};
    rec.certPath = std::move(path);
    rec.keyPath = std::move(keyPath);
    int result = 0;

    rec.serial = field(info.serialHex);
    if (rec.serial.empty()) ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Serial Number Fail\n", kFn);
    if (info.subjectDN) rec.organisation = organisation(info.subjectDN).value_or(std::string());
    rec.subject = subjectName(field(info.subjectDN));
    rec.issuerCN = dnValue(field(info.issuerDN), "cn");
    rec.issuerName = issuerDisplayName(rec.issuerCN);

    struct {
        const char* gmt;
        std::string* out;
        const char* what;
    } dates[] = {{info.validityFrom, &rec.validFrom, "From"}, {info.validityTo, &rec.validTo, "To"}};
    for (const auto& d : dates) {
        if (!d.gmt) {
            ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Validity %s NULL\n", kFn, d.what);
        } else if (!zstore::localDate(d.gmt, *d.out)) {
            ZSTORE_LOG(VCL_LOG_ERROR, "%s () : VCL_GM2LocalTime Fail [%s]\n", kFn, d.gmt);
            result = -1;
        }
    }

    const int cls = classify(info);
    if (cls < 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : not Support Cert Type.\n", kFn);
        return -1;
    }
    rec.storeClass = storeClassOf(cls);
    rec.policyOid = firstPolicy(info);
    if (rec.policyOid.empty()) {
        rec.typeName = classDefault(rec.storeClass);
    } else {
        std::string code;
        certTypeName(rec.policyOid, rec.typeName, code);
    }
    rec.expireFlag = renewalState(info);
    if (typeCode) *typeCode = cls;
    ZSTORE_LOG(VCL_LOG_DEBUG, "VPL_Cert_Make_CertInfo() : Cert Policy OID [%d : %s]\n", cls, rec.policyOid.c_str());
    return result;
}

int makeRecord(const void* cert, int len, CertRecord& rec, int* typeCode, bool* selfIssued) {
    const InfoPtr info = readInfo(cert, len);
    if (!info) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Cert_Make_CertInfo () : VCL_X509_Init_X509_Info Fail\n");
        return VPL_ERR_X509_INFO;
    }
    if (selfIssued) *selfIssued = info->subjectDN && equalNoCase(info->subjectDN, field(info->issuerDN));
    return makeRecord(*info, rec, typeCode);
}

int makeRecordFromFile(const std::string& path, CertRecord& rec, int* typeCode, bool* selfIssued) {
    // Walks read what a drive holds: a file far past any certificate is
    // not read into memory whole.
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && st.st_size > kCertFileMax) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_CertPath_Make_CertInfo () : File too large (%s)\n", path.c_str());
        return -1;
    }
    CoreBuffer bytes;
    if (VCL_Read_File(path.c_str(), &bytes.bytes, &bytes.len) != 0 || bytes.len <= 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_CertPath_Make_CertInfo () : VCL_Read_File Fail (%s)\n", path.c_str());
        return -1;
    }
    rec.certPath = path;
    return makeRecord(bytes.bytes, bytes.len, rec, typeCode, selfIssued);
}

int toCertInfo(const CertRecord& rec, CertInfo& info) {
    std::memset(&info, 0, sizeof info);
    const bool fits = fitInto(rec.issuerName, info.issuerName) && fitInto(rec.issuerCN, info.issuerCN) &&
                      fitInto(rec.subject, info.subject) && fitInto(rec.serial, info.serial) &&
                      fitInto(rec.policyOid, info.policyOid) && fitInto(rec.typeName, info.typeName) &&
                      fitInto(rec.validFrom, info.validFrom) && fitInto(rec.validTo, info.validTo) &&
                      fitInto(rec.certPath, info.certPath) && fitInto(rec.keyPath, info.keyPath) &&
                      fitInto(rec.organisation, info.organisation);
    if (!fits) {
        std::memset(&info, 0, sizeof info);
        return VPL_ERR_OVERFLOW;
    }
    info.expireFlag = rec.expireFlag;
    info.hidden = rec.hidden;
    info.storeClass = rec.storeClass;
    return 0;
}

CertRecord fromCertInfo(const CertInfo& info) {
    auto text = [](const char(&f)[VPL_CERTINFO_TEXT]) { return std::string(f, strnlen(f, VPL_CERTINFO_TEXT)); };
    CertRecord rec;
    rec.issuerName = text(info.issuerName);
    rec.issuerCN = text(info.issuerCN);
    rec.subject = text(info.subject);
    rec.serial = text(info.serial);
    rec.policyOid = text(info.policyOid);
    rec.typeName = text(info.typeName);
    rec.validFrom = text(info.validFrom);
    rec.validTo = text(info.validTo);
    rec.certPath = text(info.certPath);
    rec.keyPath = text(info.keyPath);
    rec.organisation = text(info.organisation);
    rec.expireFlag = info.expireFlag;
    rec.hidden = info.hidden;
    rec.storeClass = info.storeClass;
    return rec;
}

}  // namespace zstore

namespace {

int fillCertInfo(const zstore::CertRecord& rec, int result, CertInfo* info) {
    const int rc = zstore::toCertInfo(rec, *info);
    if (rc != 0) return zstore::fail("VPL_Cert_Make_CertInfo", rc);
    return result;
}

// The name readers keep their answer as the last error.
char* nameInto(char* out, X509_Info* info, bool subject) {
    if (!out || !info) {
        zstore::setLastError(VPL_ERR_SUBJECT_NULL);
        return nullptr;
    }
    out[0] = '\0';
    const std::string name =
        subject ? zstore::subjectName(field(info->subjectDN)) : zstore::dnValue(field(info->issuerDN), "cn");
    int code = 0;
    if (name.empty())
        code = VPL_ERR_SUBJECT_NAME;
    else if (name.size() >= VPL_CERTINFO_TEXT)
        code = VPL_ERR_OVERFLOW;
    zstore::setLastError(code);
    if (code) {
        zstore::fail(subject ? "VPL_X509GetSubjectDN" : "VPL_GetCertIssuer", code);
        return nullptr;
    }
    std::memcpy(out, name.c_str(), name.size() + 1);
    return out;
}

}  // namespace

extern "C" {

VPL_API int VPL_Cert_Make_CertInfo(const void* cert, int certLen, CertInfo* info, int* typeCode) {
    if (!info) return zstore::fail("VPL_Cert_Make_CertInfo", VPL_ERR_INVALID_PARAM);
    std::memset(info, 0, sizeof *info);
    zstore::CertRecord rec;
    const int rc = zstore::makeRecord(cert, certLen, rec, typeCode);
    if (rc == VPL_ERR_X509_INFO || (rc == -1 && rec.storeClass == 0)) return rc;
    return fillCertInfo(rec, rc, info);
}

VPL_API int VPL_CertPath_Make_CertInfo(const char* certPath, CertInfo* info, int* typeCode) {
    if (!certPath || !info) return zstore::fail("VPL_CertPath_Make_CertInfo", VPL_ERR_INVALID_PARAM);
    std::memset(info, 0, sizeof *info);
    zstore::CertRecord rec;
    const int rc = zstore::makeRecordFromFile(certPath, rec, typeCode);
    if (rc == VPL_ERR_X509_INFO || (rc == -1 && rec.storeClass == 0)) return rc;
    return fillCertInfo(rec, rc, info);
}

VPL_API char* VPL_X509GetSubjectDN(char* out, X509_Info* info) { return nameInto(out, info, true); }

VPL_API char* VPL_GetCertIssuer(char* out, X509_Info* info) { return nameInto(out, info, false); }

VPL_API int VPL_Check_NPKIStringofPath(const char* path) {
    if (!path) return zstore::fail("VPL_Check_NPKIStringofPath", VPL_ERR_INVALID_PARAM);
    const std::string_view p(path);
    return p.size() > 4 && zstore::equalNoCase(p.substr(p.size() - 4), "NPKI") ? 0 : -1;
}

VPL_API int VPL_IsUpdateCert(X509_Info* info) { return info ? zstore::renewalState(*info) : -1; }

}  // extern "C"
