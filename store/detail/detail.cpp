// The detail and view records of one certificate, and the formatters of
// their values.
#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include <zephaltpavix/certclass.h>
#include <zephaltpavix/crypto.h>
#include <zephaltpavix/detail.h>
#include <zephaltpavix/encode.h>
#include <zephaltpavix/layout.h>
#include <zunCore/x509_conv.h>

#include "base/store_internal.hpp"
#include "cert/certclass_internal.hpp"
#include "list/list_internal.hpp"
#include "sign/sign_internal.hpp"

namespace {

using zstore::field;

// ---- Plain values ------------------------------------------------------------

std::string format(const char* fmt, unsigned value) {
    char text[32];
    std::snprintf(text, sizeof text, fmt, value);
    return text;
}

std::string versionText(int version) {
    const auto raw = static_cast<unsigned>(version) & 0xFF;
    switch (version) {
        case 0:
            return format("V1 (0x%02x)", raw);
        case 1:
            return format("V2 (0x%02x)", raw);
        case 2:
            return format("V3 (0x%02x)", raw);
        default:
            return format("UnKown Version (0x%02x)", raw);
    }
}

// "8193 ( 0x20 01 )": the decimal serial, then the hexadecimal one in
// groups of two digits, each followed by a blank.
std::string serialText(std::string_view dec, std::string_view hex) {
    std::string text(dec);
    text += " ( 0x";
    for (size_t i = 0; i < hex.size(); i += 2) {
        text += hex.substr(i, 2);
        text += ' ';
    }
    text += ')';
    return text;
}

std::string_view lastPart(std::string_view text) {
    const size_t bar = text.rfind('|');
    return bar == std::string_view::npos ? text : text.substr(bar + 1);
}

std::string publicKeyText(std::string_view alg, int bits) {
    std::string text(lastPart(alg));
    text += " (" + std::to_string(bits) + " Bit)";
    return text;
}

std::string bytesText(const unsigned char* bytes, size_t len) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(len * 3);
    for (size_t i = 0; i < len; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
        text += ' ';
    }
    return text;
}

// The names of the set bits of the first key-usage byte, then " (%02x)"
// with that byte; decipherOnly, the one bit of the second byte, is named
// last.
std::string keyUsageText(const char* text) {
    static const struct {
        unsigned bit;
        const char* name;
    } kBits[] = {{0x80, "Digital Signature"}, {0x40, "Non-Repudiation"}, {0x20, "Key Encipherment"},
                 {0x10, "Data Encipherment"}, {0x08, "Key Agreement"},   {0x04, "Key CertSign"},
                 {0x02, "CRL Sign"},          {0x01, "Encipher Only"}};
    const std::string_view t = field(text);
    const unsigned first = static_cast<unsigned>(zstore::keyUsageValue(text)) & 0xFF;
    const size_t colon = t.find(':');
    const unsigned second =
        colon == std::string_view::npos
            ? 0
            : static_cast<unsigned>(zstore::keyUsageValue(std::string(t.substr(colon + 1)).c_str())) & 0xFF;
    std::string names;
    for (const auto& b : kBits)
        if (first & b.bit) names += std::string(b.name) + ", ";
    if (second & 0x80) names += "Decipher Only, ";
    if (!names.empty()) names.resize(names.size() - 2);
    return names + format(" (%02x)", first);
}

std::string accessText(const X509_Info& info) {
    std::string text(field(info.authorityInfoAccess));
    if (info.authorityInfoURI) text += std::string(" URI=") + info.authorityInfoURI;
    return text;
}

// The first (bits + 7) / 8 bytes of the subject key.
std::string keyDataText(const X509_Info& info) {
    if (!info.pubkey || info.pubkeyLen <= 0 || info.keyBits <= 0) return {};
    const size_t n = std::min(static_cast<size_t>(info.keyBits + 7) / 8, static_cast<size_t>(info.pubkeyLen));
    return bytesText(info.pubkey, n);
}

// ---- Records -----------------------------------------------------------------

bool urlEncoded(std::string_view value, std::string& out) {
    char* encoded = nullptr;
    int n = 0;
    if (VPL_DataEncode(1, value.empty() ? "" : value.data(), static_cast<int>(value.size()), &encoded, &n) != 0)
        return false;
    out.assign(encoded, static_cast<size_t>(n));
    VPL_Free(encoded, n);
    return true;
}

// Items "name^value&" appended whole.
class Record {
public:
    void item(const char* name, std::string_view value, bool last = false) {
        std::string encoded;
        if (!urlEncoded(value, encoded)) {
            m_ok = false;
            return;
        }
        m_text += name;
        m_text += '^';
        m_text += encoded;
        if (!last) m_text += '&';
    }
    bool ok() const { return m_ok; }
    const std::string& text() const { return m_text; }

private:
    std::string m_text;
    bool m_ok = true;
};

// Logs a field the certificate lacks (its item is still written, empty).
std::string_view logged(const char* fn, const char* what, const char* text) {
    if (!text) ZSTORE_LOG(VCL_LOG_DEBUG, "%s () : %s Null \n", fn, what);
    return field(text);
}

std::string dateOr(const char* fn, const char* gmt) {
    std::string date;
    if (gmt && !zstore::localDate(gmt, date))
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : VCL_GM2LocalTime Fail [%s]\n", fn, gmt);
    return date;
}

// The storage types whose certificates have no detail here.
bool refusedType(int storageType) {
    return storageType < 0 || storageType == 4 || storageType == VPL_STORAGE_ICCARD || storageType == 11 ||
           storageType > VPL_STORAGE_HSM;
}

// The certificate of a decoded path: a store file, or a pseudo path's
// cached one (empty when nothing is cached: the builder refuses it).
int certificateOf(const char* fn, const char* certPath, std::string& cert) {
    cert.clear();
    if (VPL_InputPath_Check(certPath) != VPL_STORAGE_HDD) {
        void* p = nullptr;
        int n = 0;
        if (VPL_Get_MemoryCert(certPath, &p, &n) == 0) cert.assign(static_cast<const char*>(p), static_cast<size_t>(n));
        VPL_Free(p, n);
        return 0;
    }
    if (!zstore::readFile(certPath, cert)) return zstore::fail(fn, VPL_ERR_READ_FILE);
    return 0;
}

int deliver(const char* fn, const Record& rec, char** out, int* outLen) {
    if (!rec.ok() || zstore::handOut(rec.text(), out, outLen) != 0) return zstore::fail(fn, VPL_ERR_MALLOC);
    return 0;
}

// The formatters' common end: the value URL-encoded into the output.
void display(const char* fn, std::string_view value, char** out, int* outLen) {
    std::string encoded;
    if (!urlEncoded(value, encoded) || zstore::handOut(encoded, out, outLen) != 0)
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Error code : %s(0x%08x)\n", fn, VPL_GetErrorString(VPL_ERR_MALLOC),
                   static_cast<unsigned>(VPL_ERR_MALLOC));
}

bool outputs(const char* fn, char** out, int* outLen) {
    if (!out || !outLen) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Output NULL\n", fn);
        return false;
    }
    *out = nullptr;
    *outLen = 0;
    return true;
}

}  // namespace

extern "C" {

VPL_API int VPL_Make_CertDetail(const void* cert, int certLen, char** detail, int* detailLen) {
    static const char* const kFn = "VPL_Make_CertDetail";
    if (!detail || !detailLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *detail = nullptr;
    *detailLen = 0;
    zstore::CoreBuffer der;
    if (!cert || certLen <= 0 ||
        VCL_X509_Conv_Cert2DER(cert, certLen, reinterpret_cast<void**>(&der.bytes), &der.len) != 0 || der.len <= 0)
        return zstore::fail(kFn, VPL_ERR_CERT_DER);
    void* digest = nullptr;
    int digestLen = 0;
    if (const int rc = VPL_HASH_Data(der.bytes, der.len, &digest, &digestLen, "SHA1"); rc != 0)
        return zstore::fail(kFn, rc);
    const std::string thumbprint = bytesText(static_cast<const unsigned char*>(digest), static_cast<size_t>(digestLen));
    VPL_Free(digest, digestLen);
    const zstore::InfoPtr info = zstore::readInfo(der.bytes, der.len);
    if (!info) return zstore::fail(kFn, VPL_ERR_X509_INFO);
    const X509_Info& i = *info;

    Record rec;
    rec.item("version", versionText(i.version));
    rec.item("serial", serialText(logged(kFn, "Serial", i.serialDec), field(i.serialHex)));
    rec.item("signatureAlg", lastPart(logged(kFn, "Signature Algorithm", i.signatureAlg)));
    rec.item("issuerDN", logged(kFn, "Issuer DN", i.issuerDN));
    rec.item("validity_from", dateOr(kFn, i.validityFrom));
    rec.item("validity_to", dateOr(kFn, i.validityTo));
    rec.item("subjectDN", logged(kFn, "Subject DN", i.subjectDN));
    rec.item("pubkey", publicKeyText(logged(kFn, "Public Key Algorithm", i.pubkeyAlg), i.keyBits));
    rec.item("pubkeydata", keyDataText(i));
    rec.item("hand_print_alg", "SHA1");
    rec.item("hand_print", thumbprint);
    rec.item("authoritykeyid", logged(kFn, "Authority Key ID", i.authorityKeyId));
    rec.item("subjectkeyid", logged(kFn, "Subject Key ID", i.subjectKeyId));
    rec.item("keyusage", keyUsageText(i.keyUsage));
    rec.item("certpolicy", logged(kFn, "Certificate Policies", i.policies));
    rec.item("subjectAltName", logged(kFn, "Subject Alt Name", i.subjectAltName));
    rec.item("crlDP", logged(kFn, "CRL Distribution Points", i.crlDistPoints));
    rec.item("authorityInfoAcc", accessText(i));
    return deliver(kFn, rec, detail, detailLen);
}

VPL_API int VPL_Get_UserCert_Detail(const char* certPath, char** detail, int* detailLen) {
    static const char* const kFn = "VPL_Get_UserCert_Detail";
    if (!detail || !detailLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *detail = nullptr;
    *detailLen = 0;
    if (!certPath) return zstore::fail(kFn, VPL_ERR_PATH);
    std::string cert;
    if (const int rc = certificateOf(kFn, certPath, cert); rc != 0) return rc;
    return VPL_Make_CertDetail(cert.data(), static_cast<int>(cert.size()), detail, detailLen);
}

VPL_API int VPL_Get_CertDetail(int storageType, const char* /*pin*/, int /*pinLen*/, const char* encCertPath,
                               int encCertPathLen, char** detail, int* detailLen) {
    static const char* const kFn = "VPL_Get_CertDetail";
    if (!detail || !detailLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *detail = nullptr;
    *detailLen = 0;
    std::string path;
    if (!zstore::givenWithLength(encCertPath, encCertPathLen)) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Store Type(%d) path missing or not of its length\n", kFn, storageType);
        return zstore::fail(kFn, VPL_ERR_PATH);
    }
    if (const int rc = zstore::decodePath(encCertPath, encCertPathLen, path); rc != 0) return zstore::fail(kFn, rc);
    if (refusedType(storageType)) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Get_CertDetail () : Store Type(%d) Error\n", storageType);
        return -1;
    }
    const int rc = VPL_Get_UserCert_Detail(path.c_str(), detail, detailLen);
    if (rc == 0) VPL_Log_HEXA(VCL_LOG_INFO, zstore::kLogSource, __LINE__, "CertDetail", *detail, *detailLen);
    return rc;
}

VPL_API int VPL_Make_CertView(int validityCheck, const void* cert, int certLen, char** view, int* viewLen) {
    static const char* const kFn = "VPL_Make_CertView";
    if (!view || !viewLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *view = nullptr;
    *viewLen = 0;
    ZSTORE_LOG(VCL_LOG_DEBUG, "%s () : validity check flag (%d)\n", kFn, validityCheck);
    const zstore::InfoPtr info = zstore::readInfo(cert, certLen);
    if (!info) return zstore::fail(kFn, VPL_ERR_X509_INFO);
    const X509_Info& i = *info;

    std::string typeName, code;
    const std::string policy = [&] {
        std::string_view text = field(i.policies);
        if (!zstore::startsWithNoCase(text, "PI=")) return std::string(field(i.policyIds));
        text.remove_prefix(3);
        return std::string(text.substr(0, text.find_first_of(std::string{',', i.separator})));
    }();
    if (policy.empty() || !zstore::certTypeName(policy, typeName, code) || typeName.empty())
        typeName = zstore::defaultTypeName(zstore::classify(i));

    Record rec;
    rec.item("crl_flag", std::to_string(zstore::renewalState(i)));
    rec.item("subjectCN", zstore::subjectName(field(i.subjectDN)));
    rec.item("issuer", zstore::issuerDisplayName(zstore::dnValue(field(i.issuerDN), "cn")));
    rec.item("issuerdate", dateOr(kFn, i.validityFrom));
    rec.item("expiredate", dateOr(kFn, i.validityTo));
    rec.item("oidtype", typeName, true);
    return deliver(kFn, rec, view, viewLen);
}

VPL_API int VPL_Get_UserCert_View(int validityCheck, const char* certPath, char** view, int* viewLen) {
    static const char* const kFn = "VPL_Get_UserCert_View";
    if (!view || !viewLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *view = nullptr;
    *viewLen = 0;
    if (!certPath) return zstore::fail(kFn, VPL_ERR_PATH);
    std::string cert;
    if (const int rc = certificateOf(kFn, certPath, cert); rc != 0) return rc;
    return VPL_Make_CertView(validityCheck, cert.data(), static_cast<int>(cert.size()), view, viewLen);
}

VPL_API int VPL_Get_CertView(int storageType, const char* /*pin*/, int /*pinLen*/, const char* encCertPath,
                             int encCertPathLen, int validityCheck, char** view, int* viewLen) {
    static const char* const kFn = "VPL_Get_CertView";
    if (!view || !viewLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *view = nullptr;
    *viewLen = 0;
    std::string path;
    if (const int rc = zstore::decodePath(encCertPath, encCertPathLen, path); rc != 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Store Type(%d) path refused\n", kFn, storageType);
        return zstore::fail(kFn, rc);
    }
    if (refusedType(storageType)) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Get_CertView () : Store Type(%d) Error\n", storageType);
        return -1;
    }
    return VPL_Get_UserCert_View(validityCheck, path.c_str(), view, viewLen);
}

// ---- Formatters --------------------------------------------------------------

VPL_API void VPL_X509VersionToBase64_Display(int version, char** out, int* outLen) {
    static const char* const kFn = "VPL_X509VersionToBase64_Display";
    if (outputs(kFn, out, outLen)) display(kFn, versionText(version), out, outLen);
}

VPL_API void VPL_X509SerialToBase64_Display(const char* serial, const char* hexSerial, char** out, int* outLen) {
    static const char* const kFn = "VPL_X509SerialToBase64_Display";
    if (!outputs(kFn, out, outLen)) return;
    if (!serial || !hexSerial) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Input NULL\n", kFn);
        return;
    }
    display(kFn, serialText(serial, hexSerial), out, outLen);
}

VPL_API void VPL_X509SignatureAlgToBase64_Display(const char* alg, char** out, int* outLen) {
    static const char* const kFn = "VPL_X509SignatureAlgToBase64_Display";
    if (!outputs(kFn, out, outLen)) return;
    if (!alg) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Input NULL\n", kFn);
        return;
    }
    display(kFn, lastPart(alg), out, outLen);
}

VPL_API void VPL_X509DateToBase64_Display(const char* gmtTime, char** out, int* outLen) {
    static const char* const kFn = "VPL_X509DateToBase64_Display";
    if (!outputs(kFn, out, outLen)) return;
    std::string date;
    if (!gmtTime || !zstore::localDate(gmtTime, date)) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : time text refused\n", kFn);
        return;
    }
    display(kFn, date, out, outLen);
}

VPL_API void VPL_X509PublicKeyToBase64_Display(const char* alg, int bits, char** out, int* outLen) {
    static const char* const kFn = "VPL_X509PublicKeyToBase64_Display";
    if (!outputs(kFn, out, outLen)) return;
    if (!alg) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Input NULL\n", kFn);
        return;
    }
    display(kFn, publicKeyText(alg, bits), out, outLen);
}

VPL_API void VPL_X509BYTEToBase64_Display(const unsigned char* bytes, int len, char** out, int* outLen) {
    static const char* const kFn = "VPL_X509BYTEToBase64_Display";
    if (!outputs(kFn, out, outLen)) return;
    if (!bytes || len <= 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Input NULL\n", kFn);
        return;
    }
    display(kFn, bytesText(bytes, static_cast<size_t>(len)), out, outLen);
}

VPL_API void VPL_X509KeyUsageToBase64_Display(const char* keyUsageHex, char** out, int* outLen) {
    static const char* const kFn = "VPL_X509KeyUsageToBase64_Display";
    if (!outputs(kFn, out, outLen)) return;
    if (!keyUsageHex) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Input NULL\n", kFn);
        return;
    }
    display(kFn, keyUsageText(keyUsageHex), out, outLen);
}

}  // extern "C"
