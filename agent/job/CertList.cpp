// The job's certificate lists through the store, the window filters, the CA
// certificates the relay sends and the ids of those the user holds, and the
// front ends of the store-text parsers.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>

#include <zephaltpavix/zephaltpavix.h>
#include <zunCore/cipher.h>
#include <zunCore/util.h>
#include <zunCore/x509_conv.h>

#include "common/DMLinuxUtil.h"
#include "job/Job.h"

CertFilter filter_info;
int g_CertListsCount = 0;
int tmp_CertListsCount = 0;

namespace {

constexpr const char kDomain[] = "VERIDAN";
constexpr int kDomainLen = sizeof kDomain - 1;
// A CA certificate is a few KB; a file past this is not one, and is never
// read whole into memory.
constexpr off_t kCACertFileMax = 1 << 20;

void logNotes(const ParseNotes& notes) {
    for (const ParseNote& n : notes) WriteLogFile(n.tag.c_str(), n.text.c_str());
}

// Buffers of the store, released with VPL_Free (which zeroes them).
struct StoreBuffer {
    char* data = nullptr;
    int len = 0;
    ~StoreBuffer() { VPL_Free(data, len); }
};

// One named field of a certificate's DER, as the store reads it.
bool x509Field(const std::string& der, const char* field, std::string& value) {
    if (der.empty() || der.size() > INT_MAX) return false;
    StoreBuffer v;
    if (VPL_Get_ValueOfX509Field(der.data(), static_cast<int>(der.size()), field, &v.data, &v.len) != 0 ||
        v.data == nullptr || v.len <= 0)
        return false;
    value.assign(v.data, static_cast<size_t>(v.len));
    return true;
}

// Whole file of at most kCACertFileMax bytes; false for anything else.
bool readSmallFile(const std::string& path, std::string& out) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kCACertFileMax) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(static_cast<size_t>(st.st_size), '\0');
    in.read(out.data(), st.st_size);
    if (in.gcount() != st.st_size) return false;
    return in.peek() == std::char_traits<char>::eof();
}

// 40 hex digits and ".der": the certificate's id is its first 40 characters.
bool isCACertFileName(std::string_view name) {
    if (name.size() != 44 || name.substr(40) != ".der") return false;
    for (size_t i = 0; i < 40; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

// Regular files of a folder (links followed), in the order read.
bool listFiles(const std::string& dir, std::vector<std::string>& names) {
    std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.c_str()), ::closedir);
    if (!d) return false;
    while (const dirent* e = ::readdir(d.get())) {
        const std::string name = e->d_name;
        struct stat st {};
        if (::stat((dir + "/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(name);
    }
    return true;
}

// Appends the URL-encoded common name of a CA certificate and "|" to the
// job's filter; false when the certificate gives no subject.
bool appendCAName(const std::string& der) {
    std::string subject;
    if (!x509Field(der, "SubjectDN", subject)) return false;
    const std::string cn = SubjectCommonName(subject);
    if (!cn.empty()) filter_info.text += URLEncodeText(cn) + "|";
    return true;
}

int CA_hash_And_MakeDerfile(const CACertItem& item) {
    const std::string dir = UserCACertDir();
    if (dir.empty()) return -1;
    if (item.isId) {
        const std::string path = dir + "/" + item.text + ".der";
        std::string der;
        if (!readSmallFile(path, der) || !appendCAName(der)) {
            WriteLogFile("[WAR] FindCACertToCACertsIDs() VPL_Get_ValueOfX509Field FAILED. =", path.c_str());
            return -1;
        }
        return 0;
    }
    std::string der;
    if (!StoreDataDecode(0, item.text, der)) {
        WriteLogFile("[WAR]",
                     "pars_CertStringAnd_MakeDerFile, CA_hash_And_MakeDerfile  VPL_DataDecode(CertValue) FAILED.");
        return -1;
    }
    if (!appendCAName(der)) {
        WriteLogFile("[WAR]", "pars_CertStringAnd_MakeDerFile() VPL_Get_ValueOfX509Field FAILED.");
        return -1;
    }
    unsigned char* digest = nullptr;
    int digestLen = 0;
    if (VCL_HASH_Data(der.data(), static_cast<int>(der.size()), &digest, &digestLen, "SHA1") != 0 || digestLen != 20) {
        VCL_Free(digest, digestLen);
        WriteLogFile("[WAR]",
                     "pars_CertStringAnd_MakeDerFile, CA_hash_And_MakeDerfile VCL_HASH_Data(individualCert) FAILED.");
        return -1;
    }
    static const char kHex[] = "0123456789ABCDEF";
    std::string name;
    for (int i = 0; i < digestLen; ++i) {
        name += kHex[digest[i] >> 4];
        name += kHex[digest[i] & 15];
    }
    VCL_Free(digest, digestLen);
    name += ".der";
    const std::string path = dir + "/" + name;
    // CA certificates are public; the temporary and the rename keep a reader
    // from seeing half a file.
    if (DMLinuxUtil_WriteFileAtomic(path, der, 0644) != 0) {
        WriteLogFile("[WAR]", "pars_CertStringAnd_MakeDerFile() CA_hash_And_MakeDerfile() CACertFileName, fopen ERROR");
        return -1;
    }
    WriteLogFile("[NOT] pars_CertStringAnd_MakeDerFile() CA_hash_And_MakeDerfile()  make CA file :", name.c_str());
    return 0;
}

int storageTypeOf(int listKind) {
    switch (listKind) {
        case 1:
            return 9;
        case 2:
            return 5;
        case 3:
            return 10;
        case 4:
            return 1;
        default:
            return 0;
    }
}

bool expiryFilterWanted() {
    if (!strPolicyList) return false;
    int view = 0;
    return (DecimalInt(strPolicyList->ViewValidCert, view) && view == 1) || strPolicyList->DisableExpiredCert == 1;
}

}  // namespace

bool CertListFailed(int rc, int listLen) { return static_cast<unsigned>(rc) > 1050999u || listLen < 0; }

std::string UserCACertDir() {
    if (!DMLinuxUtil_HasUserHOMEDir()) return {};
    return JobHomeDir() + "/NPKI/.veridanCACerts";
}

bool StoreDataDecode(int type, std::string_view in, std::string& out) {
    out.clear();
    if (in.empty()) return type != 0 && type != 2;
    if (in.size() > INT_MAX) return false;
    StoreBuffer buf;
    const int rc = VPL_DataDecode(type, in.data(), static_cast<int>(in.size()), &buf.data, &buf.len);
    if (rc != 0 || buf.data == nullptr || buf.len < 0) return false;
    out.assign(buf.data, static_cast<size_t>(buf.len));
    return !(out.empty() && (type == 0 || type == 2));
}

// ---- Lists -----------------------------------------------------------------------

int pars_CertListsString(const char* list, int listNo) {
    if (!list) return -1;
    std::vector<CertListRow> rows;
    ParseNotes notes;
    const int rc = ParseCertListRecords(list, StoreDataDecode, rows, notes);
    logNotes(notes);
    if (rc < 0) {
        const int code = VPL_GetLastError();
        JOBLOG("Last error code VPL[%d][%s]\n", code, VPL_GetErrorString(code));
    }
    IJobUi& ui = JobUi();
    for (CertListRow& r : rows)
        ui.AddCertLists(
            CertLists{"", std::move(r.subject), std::move(r.issuer), std::move(r.oidtype), std::move(r.expiredata),
                      std::move(r.certpath), std::move(r.keypath), std::move(r.expireflag), std::move(r.certtype)},
            listNo);
    return rc;
}

int GetDomainCertList(int listKind, const char* driveName, const CertFilter* filter) {
    JobUi().ClearCertLists();
    g_CertListsCount = tmp_CertListsCount = 0;
    if (filter && filter->broken) {
        WriteLogFile("[ERR]", "GetDomainCertList(), the filter could not be built: no certificate is listed.");
        return -1;
    }
    // The caller's filter stays as it is: every refill starts from it.
    std::string text;
    if (filter) {
        text = filter->text;
        if (expiryFilterWanted()) text += "&expire=1";
    }
    if (filter) WriteLogFile("[NOT] GetDomainCertList(), filter =", text.c_str());
    const int type = storageTypeOf(listKind);
    const char* drive = type == 1 ? driveName : nullptr;
    const size_t driveLen = drive ? std::strlen(drive) : 0;
    if (driveLen > INT_MAX || text.size() > INT_MAX) return -1;
    StoreBuffer list;
    const int rc =
        VPL_Get_Domain_CertList(type, drive, static_cast<int>(driveLen), nullptr, 0, kDomain, kDomainLen,
                                filter ? text.c_str() : nullptr, static_cast<int>(text.size()), &list.data, &list.len);
    if (CertListFailed(rc, list.len)) {
        JOBLOG("인증서 가져오기 실패..   nRet = %d\n", rc);
        return -1;
    }
    g_CertListsCount = tmp_CertListsCount = rc;
    if (rc != 0 && list.data) pars_CertListsString(list.data, 0);
    return 0;
}

int MakeRootCACertList() {
    StoreBuffer list;
    static const char kValidOnly[] = "expire=1";
    const int rc = VPL_Get_Domain_CertList(5, nullptr, 0, nullptr, 0, kDomain, kDomainLen, kValidOnly,
                                           sizeof kValidOnly - 1, &list.data, &list.len);
    if (CertListFailed(rc, list.len)) {
        JOBLOG("MakeRootCACertList 인증서 가져오기 실패..   ret = %d\n", rc);
        return -1;
    }
    if (rc != 0 && list.data) pars_CertListsString(list.data, 1);
    return 0;
}

int MakeFilterInfo(CertFilter& filter) {
    filter = CertFilter{};
    if (!strPolicyList) return 0;
    const StructPolicyList& p = *strPolicyList;
    if (p.CAName == "VERIDANCA") {
        // DeleteCertSerialNumber carries the certificate to delete.
        std::string cert = URLDecodeText(p.DeleteCertSerialNumber);
        void* der = nullptr;
        int derLen = 0;
        std::string serial;
        const bool ok =
            !cert.empty() && cert.size() <= INT_MAX &&
            VCL_X509_Conv_Cert2DER(cert.data(), static_cast<int>(cert.size()), &der, &derLen) == 0 && der != nullptr &&
            derLen > 0 &&
            x509Field(std::string(static_cast<const char*>(der), static_cast<size_t>(derLen)), "hexaserial", serial);
        VCL_Free(der, derLen);
        if (!ok) {
            WriteLogFile("[ERR]",
                         "MakeFilterInfo(), the certificate to delete gives no serial: no certificate is "
                         "listed.");
            filter.broken = true;
            return -1;
        }
        filter.text = "serial=" + URLEncodeText(serial);
    } else if (!p.DeleteCertSerialNumber.empty()) {
        filter.text = SerialFilterText(p.DeleteCertSerialNumber);
    } else if (!p.CertIssuerDN.empty()) {
        filter.text = IssuerSerialFilterText(p.CertIssuerDN, p.CertSerialNumber);
    } else {
        filter.text = SerialFilterText(p.CertSerialNumber);
    }
    return 0;
}

int FindCACertToCACertsIDs(std::string& ids) {
    ids.clear();
    const std::string userDir = UserCACertDir();
    const std::string defaultDir = std::string(DMLinuxUtil_GetInstallDir()) + "/CACerts";
    std::string list;
    std::set<std::string> seen;
    auto add = [&](const std::string& name) {
        if (isCACertFileName(name) && seen.insert(name.substr(0, 40)).second) list += name.substr(0, 40) + "|";
    };
    std::vector<std::string> names;
    if (!userDir.empty() && listFiles(userDir, names))
        for (const std::string& n : names) add(n);
    names.clear();
    if (listFiles(defaultDir, names)) {
        for (const std::string& n : names) {
            // The installation's CA certificates go into the user's folder,
            // read and written directly (no shell, no change of folder), and
            // only when missing or changed.
            std::string data, have;
            if (!userDir.empty() && readSmallFile(defaultDir + "/" + n, data) &&
                !(readSmallFile(userDir + "/" + n, have) && have == data) &&
                DMLinuxUtil_WriteFileAtomic(userDir + "/" + n, data, 0644) != 0)
                WriteLogFile("[WAR] FindCACertToCACertsIDs(), copy failed:", n.c_str());
            add(n);
        }
    } else {
        WriteLogFile("[WAR] FindCACertToCACertsIDs(), no folder", defaultDir.c_str());
    }
    if (list.empty()) return -1;
    ids = URLEncodeText(list);
    return 0;
}

int pars_CertStringAnd_MakeDerFile(const char* caCerts) {
    WriteLogFile("[NOT]", "pars_CertStringAnd_MakeDerFile()\tstart.");
    std::vector<CACertItem> items;
    if (!SplitCACerts(caCerts ? caCerts : "", items)) {
        WriteLogFile("[WAR]", "pars_CertStringAnd_MakeDerFile()\tan item over 4095 bytes: no issuer filter.");
        filter_info = CertFilter{};
        return -1;
    }
    if (items.empty()) {
        WriteLogFile("[WAR]", "pars_CertStringAnd_MakeDerFile()\tregexec(), matchcnt <=0 FAILED.");
        return 0;
    }
    for (const CACertItem& item : items) {
        if (CA_hash_And_MakeDerfile(item) != 0) {
            WriteLogFile("[WAR]", "pars_CertStringAnd_MakeDerFile()\tCA_hash_And_MakeDerfile() FAILED.");
            filter_info = CertFilter{};
            return -1;
        }
    }
    WriteLogFile("[NOT] pars_CertStringAnd_MakeDerFile(), filter_info =", filter_info.text.c_str());
    return 0;
}

int Make_IndividualCertFiles(const char* caCerts) {
    if (pars_CertStringAnd_MakeDerFile(caCerts) != 0) {
        WriteLogFile("[WAR]", "Make_IndividualCertFiles(), pars_CertStringAnd_MakeDerFile() Failed.");
        return -1;
    }
    return 0;
}

int Free_GetCertLists() {
    WriteLogFile("[NOT]", "Free_GetCertLists() HEAD == NULL || HEAD->next == NULL");
    return -1;
}

// ---- Parser front ends -----------------------------------------------------------

int pars_VPL_Get_CertView_Outlist(const char* outlist, int, CertDetailInfo* out) {
    WriteLogFile("[NOT]", "pars_VPL_Get_CertView_Outlist() start.");
    if (!out) return 0;
    if (ParseCertDetail(outlist ? outlist : "", *out) == 0)
        WriteLogFile("[ERR]", "pars_VPL_Get_CertView_Outlist()\tregexec(), matchcnt <=0 FAILED.");
    return 0;
}

int ParseSignData_PDFMultiSign(const char* data, PDFMultiSignData* out, int stopAtHD) {
    if (!data || !out) return 0;
    ParseNotes notes;
    const int n = ParseMultiSignData(data, *out, stopAtHD != 0, StoreDataDecode, notes);
    logNotes(notes);
    return n;
}
