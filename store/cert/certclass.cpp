// The certificate class and the folder names of the store.
#include <cstring>
#include <optional>
#include <string>

#include <zephaltpavix/certclass.h>

#include "base/store_internal.hpp"
#include "cert/certclass_internal.hpp"

namespace {

using zstore::field;

constexpr std::string_view kPublicCAs[] = {"CROSSCERT", "KICA",      "KISA",    "NCASIGN",
                                           "SIGNKOREA", "TRADESIGN", "YESSIGN", "ZUNPASS"};
constexpr std::string_view kGovernment[] = {"GOVERNMENT OF KOREA", "PUBLIC OF KOREA", "PRIVATE OF KOREA"};

// CA folder names, tested in this order by prefix.
struct CaFolder {
    std::string_view organisation;
    std::string_view folder;
};
constexpr CaFolder kCaFolders[] = {
    {"CROSSCERT", "CrossCert"},
    {"KICA", "KICA"},
    {"KISA", "KISA"},
    {"NCASIGN", "NCASign"},
    {"SIGNKOREA", "SignKorea"},
    {"TRADESIGN", "TradeSign"},
    {"YESSIGN", "yessign"},
    {"GOVERNMENT OF KOREA", "Certificate"},
    {"PUBLIC OF KOREA", "Certificate"},
    {"PRIVATE OF KOREA", "Certificate"},
    {"VERIDAN", "VERIDAN CA"},
    {"ZUNPASS", "ZUNPASS"},
};
constexpr std::string_view kNoOrganisationFolder = "VERIDAN CA";

template <size_t N>
bool listed(std::string_view organisation, const std::string_view (&words)[N]) {
    for (std::string_view w : words)
        if (zstore::startsWithNoCase(organisation, w)) return true;
    return false;
}

}  // namespace

namespace zstore {

std::optional<std::string> organisation(std::string_view dn) {
    size_t start = 0;
    while (start <= dn.size()) {
        size_t end = dn.find(',', start);
        if (end == std::string_view::npos) end = dn.size();
        const std::string_view item = dn.substr(start, end - start);
        if (startsWithNoCase(item, "O=")) return std::string(item.substr(2));
        start = end + 1;
    }
    return std::nullopt;
}

int classify(const X509_Info& info) {
    const std::string_view subject = field(info.subjectDN);
    if (subject.empty()) return -1;
    // An empty value counts as no organisation, as an upper-cased empty text
    // gives nothing.
    const std::optional<std::string> org = organisation(subject);
    if (!org || org->empty()) return VPL_CLASS_PRIVATE_SIGN;
    const std::string upper = upperAscii(*org);
    int sign = VPL_CLASS_PRIVATE_SIGN, km = VPL_CLASS_PRIVATE_KM, ca = VPL_CLASS_PRIVATE_CA;
    if (listed(upper, kPublicCAs)) {
        sign = VPL_CLASS_PUBLIC_SIGN, km = VPL_CLASS_PUBLIC_KM, ca = VPL_CLASS_PUBLIC_CA;
    } else if (listed(upper, kGovernment)) {
        sign = VPL_CLASS_GPKI_SIGN, km = VPL_CLASS_GPKI_KM, ca = VPL_CLASS_GPKI_CA;
    }
    if (field(info.issuerDN).substr(0, subject.size()) == subject) return ca;
    const unsigned long usage = keyUsageValue(info.keyUsage);
    if ((usage & 0x04) && (usage & 0x02)) return ca;
    if (usage <= 0x30 && (usage & 0x30)) return km;
    return sign;
}

std::string caFolder(std::string_view subjectDN) {
    const std::optional<std::string> org = organisation(subjectDN);
    if (!org || org->empty()) return std::string(kNoOrganisationFolder);
    const std::string upper = upperAscii(*org);
    for (const CaFolder& f : kCaFolders)
        if (startsWithNoCase(upper, f.organisation)) return std::string(f.folder);
    return upper;
}

std::string caFileStem(std::string_view keyId, std::string_view serial) {
    std::string stem;
    for (char c : keyId)
        if (c != ':') stem += c;
    if (stem.empty()) return stem;
    stem += '_';
    stem += serial;
    return stem;
}

int storeNames(const X509_Info& info, StoreNames& names) {
    names.cls = classify(info);
    if (names.cls < 0) return -1;
    if (names.cls >= VPL_CLASS_PUBLIC_CA) {
        // The serial as openssl x509 -serial prints it: the record's text is
        // the INTEGER's content, with a zero octet before a top bit.
        std::string_view serial = field(info.serialHex);
        if (serial.size() > 2 && serial.substr(0, 2) == "00") serial.remove_prefix(2);
        names.subject = caFileStem(field(info.subjectKeyId), serial);
        if (names.subject.empty()) {
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Get_SubjectKeyidANDSerial () : nOutCount Fail\n");
            return -1;
        }
    } else if (!eucKrToUtf8(field(info.subjectDN), names.subject)) {
        return -1;
    }
    if (!eucKrToUtf8(caFolder(field(info.subjectDN)), names.ca)) return -1;
    // Certificate text becomes folder names: each must stay one component
    // of the path, so "O=.." or "CN=../x" cannot lead out of the store.
    if (!isSafeComponent(names.ca) || !isSafeComponent(names.subject)) return VPL_ERR_PATH;
    return 0;
}

}  // namespace zstore

extern "C" {

VPL_API int VPL_Get_CertType(const void* cert, int len) {
    const zstore::InfoPtr info = zstore::readInfo(cert, len);
    if (!info) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Get_CertType () : Error code : %s(0x%08x)\n",
                   VPL_GetErrorString(VPL_ERR_X509_INFO), VPL_ERR_X509_INFO);
        return -1;
    }
    return zstore::classify(*info);
}

VPL_API int VPL_Cert_PublicANDPrivate(const void* cert, int len, char** caDir, int* caDirLen, char** subjectDir,
                                      int* subjectDirLen) {
    if (!caDir || !caDirLen || !subjectDir || !subjectDirLen)
        return zstore::fail("VPL_Cert_PublicANDPrivate", VPL_ERR_INVALID_PARAM);
    *caDir = *subjectDir = nullptr;
    *caDirLen = *subjectDirLen = 0;
    const zstore::InfoPtr info = zstore::readInfo(cert, len);
    if (!info) {
        zstore::fail("VPL_Cert_PublicANDPrivate", VPL_ERR_X509_INFO);
        return -1;
    }
    zstore::StoreNames names;
    const int rc = zstore::storeNames(*info, names);
    if (rc == VPL_ERR_PATH) return zstore::fail("VPL_Cert_PublicANDPrivate", rc);
    if (rc != 0) return -1;
    if (zstore::handOut(names.ca, caDir, caDirLen) != 0 ||
        zstore::handOut(names.subject, subjectDir, subjectDirLen) != 0) {
        VPL_Free(*caDir, *caDirLen);
        *caDir = nullptr;
        *caDirLen = 0;
        return zstore::fail("VPL_Cert_PublicANDPrivate", VPL_ERR_MALLOC);
    }
    return names.cls;
}

VPL_API void VPL_OEqual_Find(const char* dn, int len, char** org, int* orgLen) {
    if (!org || !orgLen) return;
    *org = nullptr;
    *orgLen = 0;
    const std::optional<std::string> value = zstore::organisation(zstore::bounded(dn, len));
    if (value) zstore::handOut(*value, org, orgLen);
}

VPL_API int VPL_ToUpper(const char* text, int len, char** upper, int* upperLen) {
    if (!text || len < 0 || !upper || !upperLen) return zstore::fail("VPL_ToUpper", VPL_ERR_INVALID_PARAM);
    *upper = nullptr;
    *upperLen = 0;
    const std::string result = zstore::upperAscii(zstore::bounded(text, len));
    if (result.empty()) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_ToUpper () : String length Fail\n");
        return 0;
    }
    return zstore::handOut(result, upper, upperLen);
}

VPL_API int VPL_Get_SubjectKeyidANDSerial(const char* keyId, int keyIdLen, const char* serial, int serialLen,
                                          char** stem, int* stemLen) {
    if (!keyId || !serial || !stem || !stemLen)
        return zstore::fail("VPL_Get_SubjectKeyidANDSerial", VPL_ERR_INVALID_PARAM);
    *stem = nullptr;
    *stemLen = 0;
    const std::string result = zstore::caFileStem(zstore::bounded(keyId, keyIdLen), zstore::bounded(serial, serialLen));
    if (result.empty()) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Get_SubjectKeyidANDSerial () : nOutCount Fail\n");
        return 0;
    }
    return zstore::handOut(result, stem, stemLen);
}

}  // extern "C"
