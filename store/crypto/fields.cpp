// Named fields of a certificate and the single-certificate checks.
#include <algorithm>
#include <string>

#include <zephaltpavix/crypto.h>
#include <zunCore/x509_check.h>

#include "base/store_internal.hpp"

namespace {

// The first (bits + 7) / 8 bytes of the subject key, as the detail window
// shows them; never more than the record holds.
std::string_view keyBytes(const X509_Info& info) {
    if (!info.pubkey || info.pubkeyLen <= 0 || info.keyBits <= 0) return {};
    const size_t n = std::min(static_cast<size_t>(info.keyBits + 7) / 8, static_cast<size_t>(info.pubkeyLen));
    return {reinterpret_cast<const char*>(info.pubkey), n};
}

// The value of a named field; false for a name that is none.
bool fieldValue(const X509_Info& info, std::string_view name, std::string& value) {
    using zstore::equalNoCase;
    using zstore::field;
    if (equalNoCase(name, "version"))
        value = std::to_string(info.version);
    else if (equalNoCase(name, "serial"))
        value = field(info.serialDec);
    else if (equalNoCase(name, "hexaserial"))
        value = field(info.serialHex);
    else if (equalNoCase(name, "signatureAlg"))
        value = field(info.signatureAlg);
    else if (equalNoCase(name, "issuerDN"))
        value = field(info.issuerDN);
    else if (equalNoCase(name, "validityFrom"))
        value = field(info.validityFrom);
    else if (equalNoCase(name, "validityTo"))
        value = field(info.validityTo);
    else if (equalNoCase(name, "subjectDN"))
        value = field(info.subjectDN);
    else if (equalNoCase(name, "pubkeyAlg"))
        value = field(info.pubkeyAlg);
    else if (equalNoCase(name, "pubkey"))
        value = keyBytes(info);
    else if (equalNoCase(name, "pubkeyBit"))
        value = info.keyBits > 0 ? std::to_string(info.keyBits) : std::string();
    else
        return false;
    return true;
}

// The n-th (from 0) part of text split at sep; empty past the last.
std::string_view part(std::string_view text, char sep, int n) {
    for (; n > 0; --n) {
        const size_t at = text.find(sep);
        if (at == std::string_view::npos) return {};
        text.remove_prefix(at + 1);
    }
    return text.substr(0, text.find(sep));
}

}  // namespace

extern "C" {

VPL_API int VPL_Get_ValueOfX509Field(const void* cert, int certLen, const char* fieldName, char** value,
                                     int* valueLen) {
    static const char* const kFn = "VPL_Get_ValueOfX509Field";
    if (value) *value = nullptr;
    if (valueLen) *valueLen = 0;
    if (!cert || certLen <= 0 || !fieldName || !value || !valueLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    const zstore::InfoPtr info = zstore::readInfo(cert, certLen);
    if (!info) return zstore::fail(kFn, VPL_ERR_X509_INFO);
    std::string text;
    if (!fieldValue(*info, fieldName, text)) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : unknown field name [%s]\n", kFn, fieldName);
        return -1;
    }
    if (text.empty()) return zstore::fail(kFn, VPL_ERR_DATA);
    if (zstore::handOut(text, value, valueLen) != 0) return zstore::fail(kFn, VPL_ERR_MALLOC);
    return 0;
}

VPL_API int VPL_Verify_signature(const void* cert, int certLen, const void* issuerCert, int issuerLen) {
    static const char* const kFn = "VPL_Verify_signature";
    if (!cert || certLen <= 0 || !issuerCert || issuerLen <= 0) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    const int rc = VCL_X509_Verify_Signature(cert, certLen, issuerCert, issuerLen);
    if (rc != 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : VCL_X509_Verify_Signature Fail (0x%08x)\n", kFn, static_cast<unsigned>(rc));
        return -1;
    }
    return 0;
}

VPL_API int VPL_Cert_Verify_Validity(const void* cert, int certLen) {
    static const char* const kFn = "VPL_Cert_Verify_Validity";
    if (!cert || certLen <= 0) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    const int rc = VCL_X509_Verify_Validity(cert, certLen, nullptr);
    if (rc != 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : VCL_X509_Verify_Validity Fail (0x%08x)\n", kFn, static_cast<unsigned>(rc));
        return -1;
    }
    return 0;
}

VPL_API int VPL_Is_Cert_Advanced(const void* cert, int certLen) {
    static const char* const kFn = "VPL_Is_Cert_Advanced";
    if (!cert || certLen <= 0) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    char* alg = nullptr;
    int algLen = 0;
    if (const int rc = VPL_Get_ValueOfX509Field(cert, certLen, "signatureAlg", &alg, &algLen); rc != 0) return rc;
    const std::string text(alg, static_cast<size_t>(algLen));
    VPL_Free(alg, algLen);
    // "1.2.840.113549.1.1.11|rsa-sha256|sha256WithRSAEncryption": the short
    // name's digest part.
    const std::string_view digest = part(part(text, '|', 1), '-', 1);
    return zstore::startsWithNoCase(digest, "SHA256") ? 0 : -1;
}

}  // extern "C"
