// The signed KISA lists of security-token drivers: decoded by libzunPKI,
// checked with the signer's certificate, counted and copied into the flat
// records of <zunCore/pkcs11.h>.
#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <zunCore/pkcs11.h>
#include <zunCore/util.h>
#include <zunCore/x509_conv.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/asn1/stack.h>

#include "services/pkcs11_internal.hpp"
#include "util/core_internal.hpp"

namespace zcore::p11 {

namespace {

// The decoder as readDER_from_Binary calls it.
PKI_ERROR decodeValue(ASN1_UNIT* node, void** value) {
    auto* typed = static_cast<KISA_HSM_SIGNATURE_VALUE*>(*value);
    const PKI_ERROR rc = Seq_to_KISA_HSM_SIGNATURE_VALUE(node, &typed);
    *value = typed;
    return rc;
}

template <typename T>
const T* at(const STACK* list, int i) {
    return static_cast<const T*>(get_STACK_value(list, i));
}

int countOf(const STACK* list) { return list ? std::max(get_STACK_count(list), 0) : 0; }

// Copies bytes into a field with a terminator; false when they do not fit.
template <size_t N>
bool copyField(std::string_view text, char (&field)[N]) {
    if (text.size() >= N) return false;
    if (!text.empty()) std::memcpy(field, text.data(), text.size());
    field[text.size()] = 0;
    return true;
}

std::string_view textOf(const ASN1_STRING* s) {
    return s && s->data && s->length > 0
               ? std::string_view(reinterpret_cast<const char*>(s->data), static_cast<size_t>(s->length))
               : std::string_view();
}

// A general name's text: false for a kind without one (other names, X.400
// and EDI party names) or one that cannot be written.
bool nameText(const GENERAL_NAME* gn, std::string& out) {
    if (!gn || !gn->value) return false;
    switch (gn->type) {
        case GENERAL_NAME_RFC822:
        case GENERAL_NAME_DNS:
        case GENERAL_NAME_URI:
        case GENERAL_NAME_REGISTERED_ID:  // held as its dotted text
            out.assign(textOf(static_cast<const ASN1_STRING*>(gn->value)));
            return true;
        case GENERAL_NAME_IP: {
            const auto* ip = static_cast<const ASN1_STRING*>(gn->value);
            char text[INET6_ADDRSTRLEN] = {};
            const int family = ip->length == 4 ? AF_INET : ip->length == 16 ? AF_INET6 : 0;
            if (family == 0 || !ip->data || !inet_ntop(family, ip->data, text, sizeof text)) return false;
            out = text;
            return true;
        }
        case GENERAL_NAME_DIRECTORY: {
            char* text = nullptr;
            if (VCL_X509_name_to_str(static_cast<const X509_NAME*>(gn->value), &text) != 0 || !text) return false;
            out = text;
            VCL_Free(text, static_cast<int>(out.size()));
            return true;
        }
        default:
            return false;
    }
}

// A general name into a field: its text must fit (a directory name's text
// can be longer than the list's strings are allowed to be).
bool copyName(const GENERAL_NAME* gn, char (&field)[VCL_PK11_FIELD_SIZE]) {
    std::string text;
    return nameText(gn, text) && copyField(text, field);
}

}  // namespace

int decodeList(const unsigned char* der, int len, List& out) {
    void* made = nullptr;
    const PKI_ERROR rc = readDER_from_Binary(&made, decodeValue, der, len);
    out.reset(static_cast<KISA_HSM_SIGNATURE_VALUE*>(made));
    if (rc == 0 && !out) return VSC_ERR_NULL_ARGUMENT;
    if (rc != 0) out.reset();
    return rc;
}

int driverRecords(const KISA_HSM_SIGNATURE_VALUE& list, std::vector<VCL_PK11_DRIVER_INFO>& out) {
    out.clear();
    if (list.kind != KISA_HSM_KIND_DISTRIBUTION) return 0;
    const auto failed = [&out] {
        out.clear();
        return code(VCL_CAT_PKCS11_VERIFY_HSM_DRIVER, kReasonDecode);
    };
    for (int i = 0; i < countOf(list.list); ++i) {
        const auto* entry = at<KISA_HSM_TOKEN_DISTRIBUTION_URL>(list.list, i);
        if (!entry) return failed();
        for (int j = 0; j < countOf(entry->drivers); ++j) {
            const auto* d = at<KISA_HSM_DRIVER_INFO>(entry->drivers, j);
            VCL_PK11_DRIVER_INFO r{};
            // The decoder holds every string within 255 bytes; the names'
            // texts are ours to bound.
            if (!d || !copyField(textOf(entry->url), r.url) || !copyField(textOf(d->text1), r.field1) ||
                !copyField(textOf(d->text2), r.field2) || !copyName(d->name1, r.field3) ||
                !copyName(d->name2, r.field5) || !copyField(textOf(d->text3), r.field6))
                return failed();
            r.field4 = d->value;
            out.push_back(r);
        }
    }
    return 0;
}

int signatureRecords(const KISA_HSM_SIGNATURE_VALUE& list, std::vector<VCL_PK11_DRIVER_SIGNATURE_INFO>& out) {
    out.clear();
    if (list.kind != KISA_HSM_KIND_SIGNATURE) return 0;
    const auto failed = [&out] {
        out.clear();
        return code(VCL_CAT_PKCS11_VERIFY_HSM_DRIVER_SIGN, kReasonDecode);
    };
    for (int i = 0; i < countOf(list.list); ++i) {
        const auto* t = at<KISA_HSM_SIGNATURE_TOKEN>(list.list, i);
        if (!t || !t->algorithm || !t->algorithm->algorithm) return failed();
        VCL_PK11_DRIVER_SIGNATURE_INFO r{};
        // The table's long name, else the identifier's dotted text.
        const OBJECT_IDENTIFIER* oid = t->algorithm->algorithm;
        const int row = index_from_OBJECT_IDENTIFIER(oid);
        const char* name = row > 0 ? ln_from_index(row) : nullptr;
        const std::string_view value = textOf(t->value);
        if (!copyField(textOf(t->name), r.name) ||
            !copyField(name ? std::string_view(name) : textOf(oid), r.algorithm) || value.size() > sizeof r.value)
            return failed();
        if (!value.empty()) std::memcpy(r.value, value.data(), value.size());
        r.value_len = static_cast<int>(value.size());
        out.push_back(r);
    }
    return 0;
}

}  // namespace zcore::p11

namespace {

using namespace zcore::p11;

// The list decoded and its signature checked with the signer's certificate
// (required: records of an unchecked list would be taken on trust).
int verifiedList(const unsigned char* der, int len, const void* cert, int certLen, int category, int kind, List& list) {
    if (!der || len <= 0 || !cert || certLen <= 0) return code(category, VCL_R_INVALID_PARAM);
    if (decodeList(der, len, list) != 0) return code(category, kReasonDecode);
    X509_CERT* raw = nullptr;
    if (int rc = VCL_X509_conv_cert2x509(cert, certLen, &raw); rc != 0) return rc;
    const zcore::Cert signer(raw);
    X509_CERT* checked = signer.get();
    if (int rc = verify_KISA_HSM_SIGNATURE_VALUE(list.get(), &checked); rc != 0) return rc;
    return list->kind == kind ? 0 : code(category, kReasonWrongKind);
}

int decodedOnly(const unsigned char* der, int len, int category, List& list) {
    if (!der || len <= 0) return code(category, VCL_R_INVALID_PARAM);
    return decodeList(der, len, list) == 0 ? 0 : code(category, kReasonDecode);
}

}  // namespace

extern "C" {

VCL_API int VCL_PK11_Get_HSM_Signer_IssuerDN(const unsigned char* der, int len, char** text) {
    constexpr int cat = VCL_CAT_PKCS11_GET_HSM_SIGNER_ISSUERDN;
    if (!text) return code(cat, VCL_R_INVALID_PARAM);
    *text = nullptr;
    List list;
    if (int rc = decodedOnly(der, len, cat, list); rc != 0) return rc;
    if (!list->signer || !list->signer->issuer) return code(cat, kReasonDecode);
    return VCL_X509_name_to_str(list->signer->issuer, text);
}

VCL_API int VCL_PK11_Get_HSM_Driver_Count(const unsigned char* der, int len, int* count) {
    constexpr int cat = VCL_CAT_PKCS11_GET_HSM_DRIVER_COUNT;
    if (!count) return code(cat, VCL_R_INVALID_PARAM);
    List list;
    if (int rc = decodedOnly(der, len, cat, list); rc != 0) return rc;
    int n = 0;
    if (list->kind == KISA_HSM_KIND_DISTRIBUTION)
        for (int i = 0; i < get_STACK_count(list->list); ++i) {
            const auto* entry = static_cast<const KISA_HSM_TOKEN_DISTRIBUTION_URL*>(get_STACK_value(list->list, i));
            if (entry && entry->drivers) n += std::max(get_STACK_count(entry->drivers), 0);
        }
    *count = n;
    return 0;
}

VCL_API int VCL_PK11_Get_HSM_Driver_Signature_Count(const unsigned char* der, int len, int* count) {
    constexpr int cat = VCL_CAT_PKCS11_HSM_DRIVER_SIGN_COUNT;
    if (!count) return code(cat, VCL_R_INVALID_PARAM);
    List list;
    if (int rc = decodedOnly(der, len, cat, list); rc != 0) return rc;
    *count = list->kind == KISA_HSM_KIND_SIGNATURE ? std::max(get_STACK_count(list->list), 0) : 0;
    return 0;
}

VCL_API int VCL_PK11_Verify_HSM_Driver_Info(const unsigned char* der, int len, const void* cert, int cert_len,
                                            VCL_PK11_DRIVER_INFO* records) {
    constexpr int cat = VCL_CAT_PKCS11_VERIFY_HSM_DRIVER;
    if (!records) return code(cat, VCL_R_INVALID_PARAM);
    List list;
    if (int rc = verifiedList(der, len, cert, cert_len, cat, KISA_HSM_KIND_DISTRIBUTION, list); rc != 0) return rc;
    std::vector<VCL_PK11_DRIVER_INFO> out;
    if (int rc = driverRecords(*list, out); rc != 0) return rc;
    if (!out.empty()) std::memcpy(records, out.data(), out.size() * sizeof out[0]);
    return 0;
}

VCL_API int VCL_PK11_Verify_HSM_Driver_Signature_Info(const unsigned char* der, int len, const void* cert, int cert_len,
                                                      VCL_PK11_DRIVER_SIGNATURE_INFO* records) {
    constexpr int cat = VCL_CAT_PKCS11_VERIFY_HSM_DRIVER_SIGN;
    if (!records) return code(cat, VCL_R_INVALID_PARAM);
    List list;
    if (int rc = verifiedList(der, len, cert, cert_len, cat, KISA_HSM_KIND_SIGNATURE, list); rc != 0) return rc;
    std::vector<VCL_PK11_DRIVER_SIGNATURE_INFO> out;
    if (int rc = signatureRecords(*list, out); rc != 0) return rc;
    if (!out.empty()) std::memcpy(records, out.data(), out.size() * sizeof out[0]);
    return 0;
}

}  // extern "C"
