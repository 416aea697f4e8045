// Single-certificate checks: issuer name, signature, validity and renewal
// window against the library's clock, and the identity data.
#include <string_view>

#include <zunCore/error.h>
#include <zunCore/x509_check.h>
#include <zunCore/x509_conv.h>
#include <zunPKI/x509/certpath.h>
#include <zunPKI/x509/vid.h>

#include "crypto/x509_internal.hpp"

using namespace zcore::x509;

namespace {

// libzunPKI's validity answers.
constexpr PKI_ERROR kNotYetValid = 0x462B0113;
constexpr PKI_ERROR kExpired = 0x462B0114;

int decode(const void* cert, int len, Cert& out) {
    X509_CERT* raw = nullptr;
    const int rc = VCL_X509_conv_cert2x509(cert, len, &raw);
    out.reset(raw);
    return rc;
}

// The certificate's validity at now; libzunPKI's answers in the checks'
// terms.
int validityNow(const X509_CERT* cert) {
    Own<X509_TIME, free_X509_TIME> now(timeOf(clockNow()));
    if (!now) return -1;
    const PKI_ERROR rc = verify_X509_validity(cert, now.get());
    return rc == kNotYetValid ? VCL_X509_NOT_YET_VALID : rc == kExpired ? VCL_X509_EXPIRED : rc;
}

// The record's validity texts as instants.
bool recordValidity(const X509_Info* info, Time64_T& from, Time64_T& to) {
    return info->validityFrom && info->validityTo && readGmtText(info->validityFrom, from) &&
           readGmtText(info->validityTo, to);
}

}  // namespace

extern "C" {

VCL_API int VCL_X509_Verify(const void* cert, int len, const void* issuer, int issuer_len, int flags) {
    const int kNull = VCL_CORE_CODE(VCL_CAT_X509_VERIFY, VCL_R_NULL_PARAM);
    if (!cert) return kNull;
    if (flags == 0) flags = VCL_X509_CHECK_SIGNATURE | VCL_X509_CHECK_VALIDITY | VCL_X509_CHECK_ISSUER;
    Cert subject;
    int rc = decode(cert, len, subject);
    if (rc != 0) return rc;
    if ((flags & VCL_X509_CHECK_VALIDITY) && (rc = validityNow(subject.get())) != 0) return rc;
    if (!(flags & (VCL_X509_CHECK_SIGNATURE | VCL_X509_CHECK_ISSUER))) return 0;
    if (!issuer) return kNull;
    Cert ca;
    if ((rc = decode(issuer, issuer_len, ca)) != 0) return rc;
    if ((flags & VCL_X509_CHECK_SIGNATURE) && verify_SIG_X509_CERT(subject.get(), get_X509_SPKI(ca.get())) != 0)
        return VCL_X509_BAD_SIGNATURE;
    if (flags & VCL_X509_CHECK_ISSUER) {
        rc = cmp_X509_NAME_canonical(get_X509_issuer(subject.get()), get_X509_subject(ca.get()));
        if (rc == -1) return VCL_X509_ISSUER_DIFFERS;
        if (rc != 0) return rc;
    }
    return 0;
}

VCL_API int VCL_X509_Verify_DN(const void* cert, int len, const void* issuer, int issuer_len) {
    if (!cert || !issuer) return VCL_CORE_CODE(VCL_CAT_X509_VERIFY_DN, VCL_R_NULL_PARAM);
    Cert subject, ca;
    int rc = decode(cert, len, subject);
    if (rc != 0 || (rc = decode(issuer, issuer_len, ca)) != 0) return rc;
    rc = cmp_X509_NAME_canonical(get_X509_issuer(subject.get()), get_X509_subject(ca.get()));
    return rc == -1 ? VCL_X509_ISSUER_DIFFERS : rc;
}

VCL_API int VCL_X509_Verify_Signature(const void* cert, int len, const void* issuer, int issuer_len) {
    if (!cert || !issuer) return VCL_CORE_CODE(VCL_CAT_X509_VERIFY_SIGNATURE, VCL_R_NULL_PARAM);
    Cert subject, ca;
    int rc = decode(cert, len, subject);
    if (rc != 0 || (rc = decode(issuer, issuer_len, ca)) != 0) return rc;
    return verify_SIG_X509_CERT(subject.get(), get_X509_SPKI(ca.get()));
}

VCL_API int VCL_X509_Verify_Validity(const void* cert, int len, const X509_Info* info) {
    constexpr int kCat = VCL_CAT_X509_VERIFY_VALIDITY;
    if (!cert && !info) return VCL_CORE_CODE(kCat, VCL_R_NULL_PARAM);
    if (!info) {
        Cert decoded;
        const int rc = decode(cert, len, decoded);
        return rc != 0 ? rc : validityNow(decoded.get());
    }
    // The texts are GMT: compared with now as instants, both bounds valid.
    Time64_T from, to;
    if (!recordValidity(info, from, to)) return VCL_CORE_CODE(kCat, VCL_R_INVALID_PARAM);
    const Time64_T now = clockNow();
    if (now < from) return VCL_X509_NOT_YET_VALID;
    if (now > to) return VCL_X509_EXPIRED;
    return 0;
}

VCL_API int VCL_X509_Check_Update(const X509_Info* info, int margin_seconds) {
    constexpr int kCat = VCL_CAT_X509_VERIFY_VALIDITY;
    if (!info) return VCL_CORE_CODE(kCat, VCL_R_NULL_PARAM);
    Time64_T from, to;
    if (!recordValidity(info, from, to)) return VCL_CORE_CODE(kCat, VCL_R_INVALID_PARAM);
    const Time64_T now = clockNow();
    if (now < from) return VCL_X509_NOT_YET_VALID;
    if (now > to) return VCL_X509_EXPIRED;
    return to <= now + margin_seconds ? 1 : 0;
}

VCL_API int VCL_X509_Check_VID(const void* cert, int cert_len, const unsigned char* random, int random_len,
                               const char* id_number, int id_len) {
    if (!cert || !random || !id_number) return VCL_CORE_CODE(VCL_CAT_X509_CHECK_VID, VCL_R_NULL_PARAM);
    Cert decoded;
    const int rc = decode(cert, cert_len, decoded);
    if (rc != 0) return rc;
    return check_VID(decoded.get(), random, random_len, id_number, id_len);
}

VCL_API int VCL_X509_Exist_VID(const void* cert, int len) {
    constexpr int kCat = VCL_CAT_X509_EXIST_VID;
    if (!cert || len <= 0) return VCL_CORE_CODE(kCat, VCL_R_INVALID_PARAM);
    Cert decoded;
    const int rc = decode(cert, len, decoded);
    if (rc != 0) return rc;
    // The same identity data check_VID reads: the first otherName of a
    // subjectAltName that reads as identity data.
    KISA_IDENTIFY_DATA* raw = nullptr;
    if (get_KISA_IDENTIFY_DATA_from_extensions(decoded->tbs->extensions, &raw) != 0 || !raw) {
        free_KISA_IDENTIFY_DATA(raw);
        return VCL_CORE_CODE(kCat, VCL_R_NO_VID);
    }
    Own<KISA_IDENTIFY_DATA, free_KISA_IDENTIFY_DATA> data(raw);
    const VID* vid = data->vid;
    if (!vid || !vid->virtualID || vid->virtualID->length <= 0) return VCL_CORE_CODE(kCat, VCL_R_NO_VID);
    return 0;
}

VCL_API int VCL_X509_is_signcert(const X509_CERT* cert) {
    if (!cert || !cert->tbs) return VCL_CORE_CODE(VCL_CAT_X509_X509_TO_X509INFO, VCL_R_NULL_PARAM);
    X509_Info* made = nullptr;
    int rc = VCL_X509_new_x509_info(&made, '|');
    if (rc != 0) return rc;
    Info record(made);
    // Only the key usage matters here: other extensions that do not decode
    // do not make the answer an error.
    const X509_EXTENSIONS* list = cert->tbs->extensions;
    for (int at = -1; (at = get_X509_EXTENSION_index_by_OID_index(list, kRowKeyUsage, at)) >= 0;)
        if ((rc = VCL_X509_mk_extstr(get_X509_EXTENSION(list, at), record.get())) != 0) return rc;
    if (!record->keyUsage) return 3;
    // The first key-usage byte, read as hex up to its ':'.
    const std::string_view bits(record->keyUsage);
    const std::string_view first = bits.substr(0, bits.find(':'));
    unsigned value = 0;
    for (char c : first) value = value * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : c - 'A' + 10);
    return (value & 0x80) ? 3 : 4;
}

}  // extern "C"
