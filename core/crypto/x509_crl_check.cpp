// Checks of a certificate against a CRL: the CRL's signature, freshness and
// issuer, and the lookup of the certificate's serial with its revocation
// date and reason.
#include <cstring>

#include <zunCore/error.h>
#include <zunCore/x509_check.h>
#include <zunCore/x509_conv.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/x509/certpath.h>

#include "crypto/x509_internal.hpp"

using namespace zcore::x509;

namespace {

constexpr PKI_ERROR kDerNoInput = 0x4300002B;

PKI_ERROR crlDecoder(ASN1_UNIT* node, void** value) {
    return Seq_to_X509_CRL(node, reinterpret_cast<X509_CRL**>(value));
}

int decodeCrl(const unsigned char* der, int len, Crl& out) {
    X509_CRL* raw = nullptr;
    const int rc = VCL_X509_CRL_conv_crl2x509crl(der, len, &raw);
    out.reset(raw);
    return rc;
}

int decodeCert(const void* cert, int len, Cert& out) {
    X509_CERT* raw = nullptr;
    const int rc = VCL_X509_conv_cert2x509(cert, len, &raw);
    out.reset(raw);
    return rc;
}

const char* const kReasons[] = {
    "Unspecified.",
    "Key compromise.",
    "CA compromise",
    "Affiliation changed",
    "Superseded",
    "Cessation of operation",
    "Certificate hold",
    "This is a dummy place holder for an undefined value",
    "Remove from CRL",
    "The certificate has had its privilege withdrawn",
    "The certificate has had a compromise",
};

// The reason code of an entry: its CRLReason extension wherever it stands
// among the entry's extensions; 0 (unspecified) without one.
int reasonOf(const X509_REVOKED* entry) {
    const int at = get_X509_REVOKED_ext_index_by_OID_index(entry, kRowCrlReason, -1);
    return at >= 0 ? get_X509_REVOKED_CRLreason(entry, at) : 0;
}

// The entry's position, revocation date and reason into the caller's
// outputs; the serial's position is set first.
int describe(const X509_CRL* crl, int at, int* position, char* date_out, char* reason_out) {
    *position = at;
    if (at < 0) return 0;
    const X509_REVOKED* entry = get_X509_REVOKED(crl->info, at);
    Time64_T instant;
    char date[15];
    // GMT whatever the entry's time type: the dates of a CRL are instants.
    if (!instantOf(get_X509_REVOKED_revocationDate(entry), 0, instant) || !gmtText(instant, date))
        return VCL_CORE_CODE(VCL_CAT_X509_TIME_TO_STR, VCL_R_INVALID_PARAM);
    std::memcpy(date_out, date, sizeof date);
    VCL_Get_Revoked_Reason(reasonOf(entry), reason_out);
    return 0;
}

int lookup(const unsigned char* crl, int crl_len, const void* cert, int cert_len, int* flag, char* date_out,
           char* reason_out, bool withReason) {
    constexpr int kCat = VCL_CAT_X509_IS_REVOKED;
    if (!crl || !cert) return VCL_CORE_CODE(kCat, VCL_R_NULL_PARAM);
    if (!flag || (withReason && (!date_out || !reason_out))) return VCL_CORE_CODE(kCat, VCL_R_OUTPUT_NULL);
    *flag = 0;
    Crl list;
    Cert decoded;
    int rc = decodeCrl(crl, crl_len, list);
    if (rc != 0 || (rc = decodeCert(cert, cert_len, decoded)) != 0) return rc;
    // The serial itself, not its text: a negative serial has no hex text of
    // its own, and the CRL compares numbers.
    const int at = findRevoked(list.get(), get_X509_serial(decoded.get()));
    if (withReason) {
        int position;
        rc = describe(list.get(), at, &position, date_out, reason_out);
        if (rc != 0) return rc;
    }
    *flag = at + 1;
    return 0;
}

}  // namespace

extern "C" {

VCL_API int VCL_X509_CRL_conv_crl2x509crl(const unsigned char* der, int len, X509_CRL** out) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_CRL_CONV_CRL2X509CRL, r); };
    if (!der || len <= 0) return code(VCL_R_NULL_PARAM);
    if (!out) return code(VCL_R_OUTPUT_NULL);
    X509_CRL* made = nullptr;
    const PKI_ERROR rc = readDER_from_Binary(reinterpret_cast<void**>(&made), crlDecoder, der, len);
    if (rc != 0) {
        free_X509_CRL(made);
        return rc == kDerNoInput ? code(VCL_R_READ_DER_PARAM) : rc;
    }
    if (!made) return code(VCL_R_MALLOC);
    *out = made;
    return 0;
}

VCL_API int VCL_X509_CRL_Verify(const unsigned char* crl, int crl_len, const void* cert, int cert_len) {
    if (!crl || !cert) return VCL_CORE_CODE(VCL_CAT_X509_CRL_VERIFY, VCL_R_NULL_PARAM);
    Crl list;
    Cert issuer;
    int rc = decodeCrl(crl, crl_len, list);
    if (rc != 0 || (rc = decodeCert(cert, cert_len, issuer)) != 0) return rc;
    rc = verify_SIG_X509_CRL(list.get(), get_X509_SPKI(issuer.get()));
    return rc == 1 ? -1 : rc;
}

VCL_API int VCL_X509_CRL_Verify_NextUpdate(const unsigned char* crl, int crl_len) {
    constexpr int kCat = VCL_CAT_X509_CRL_VERIFY_NEXTUPDATE;
    if (!crl) return VCL_CORE_CODE(kCat, VCL_R_NULL_PARAM);
    Crl list;
    const int rc = decodeCrl(crl, crl_len, list);
    if (rc != 0) return rc;
    const X509_TIME* next = get_X509_CRL_nextUpdate(list.get());
    if (!next) return VCL_CORE_CODE(kCat, VCL_R_NOT_FOUND);
    Time64_T instant;
    if (!instantOf(next, 0, instant)) return -1;
    return clockNow() > instant ? -1 : 0;
}

VCL_API int VCL_X509_CRL_Verify_Issuer(const unsigned char* crl, int crl_len, const void* cert, int cert_len) {
    if (!crl || !cert || crl_len < 0) return VCL_CORE_CODE(VCL_CAT_X509_CRL_VERIFY_NEXTUPDATE, VCL_R_NULL_PARAM);
    Crl list;
    Cert decoded;
    int rc = decodeCrl(crl, crl_len, list);
    if (rc != 0 || (rc = decodeCert(cert, cert_len, decoded)) != 0) return rc;
    return cmp_X509_NAME_canonical(get_X509_CRL_issuer(list.get()), get_X509_issuer(decoded.get()));
}

VCL_API int VCL_X509_CRL_verify_x509_cert(const X509_CRL* crl, const char* serial_hex) {
    zcore::BigInt serial(serial_hex ? VSC_HEX_To_BIGINT(serial_hex) : nullptr);
    return serial ? findRevoked(crl, serial.get()) : -1;
}

VCL_API int VCL_X509_CRL_verify_x509_cert_with_reason(const X509_CRL* crl, const char* serial_hex, int* position,
                                                      char* date_out, char* reason_out) {
    constexpr int kCat = VCL_CAT_X509_IS_REVOKED;
    if (!crl || !serial_hex) return VCL_CORE_CODE(kCat, VCL_R_NULL_PARAM);
    if (!position || !date_out || !reason_out) return VCL_CORE_CODE(kCat, VCL_R_OUTPUT_NULL);
    // A text that is not a number must not read as "not revoked".
    zcore::BigInt serial(VSC_HEX_To_BIGINT(serial_hex));
    if (!serial) return VCL_CORE_CODE(kCat, VCL_R_INVALID_PARAM);
    return describe(crl, findRevoked(crl, serial.get()), position, date_out, reason_out);
}

VCL_API int VCL_X509_Is_Revoked(const unsigned char* crl, int crl_len, const void* cert, int cert_len, int* flag) {
    return lookup(crl, crl_len, cert, cert_len, flag, nullptr, nullptr, false);
}

VCL_API int VCL_X509_Is_Revoked_With_Reason(const unsigned char* crl, int crl_len, const void* cert, int cert_len,
                                            int* flag, char* date_out, char* reason_out) {
    return lookup(crl, crl_len, cert, cert_len, flag, date_out, reason_out, true);
}

VCL_API int VCL_Get_Revoked_Reason(int code, char* buffer) {
    if (!buffer) return VCL_CORE_CODE(VCL_CAT_X509_IS_REVOKED, VCL_R_NULL_PARAM);
    const char* text = code >= 0 && code <= 10 ? kReasons[code]
                       : code == -1            ? "There is not a known reason for revocation"
                                               : "The reason code is not defined in RFC2459";
    std::memcpy(buffer, text, std::strlen(text) + 1);
    return 0;
}

}  // extern "C"
