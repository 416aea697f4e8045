// The X.509 information record: building it from a certificate, releasing
// it, its getters, and the item split that reads its multi-valued texts.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <strings.h>

#include <zunCore/error.h>
#include <zunCore/x509_conv.h>
#include <zunCore/x509_info.h>

#include "crypto/x509_internal.hpp"
#include "util/core_internal.hpp"

using namespace zcore::x509;

namespace {

// Text and byte fields of the record, all released with it.
char* X509_Info::*const kTexts[] = {
    &X509_Info::serialDec,        &X509_Info::serialHex,      &X509_Info::signatureAlg,
    &X509_Info::issuerDN,         &X509_Info::validityFrom,   &X509_Info::validityTo,
    &X509_Info::subjectDN,        &X509_Info::pubkeyAlg,      &X509_Info::reserved1,
    &X509_Info::reserved2,        &X509_Info::authorityKeyId, &X509_Info::subjectKeyId,
    &X509_Info::subjectAltName,   &X509_Info::crlDistPoints,  &X509_Info::authorityInfoAccess,
    &X509_Info::authorityInfoURI, &X509_Info::keyUsage,       &X509_Info::policies,
    &X509_Info::policyIds,        &X509_Info::extKeyUsage,
};
unsigned char* X509_Info::*const kBytes[] = {
    &X509_Info::subjectDER, &X509_Info::pubkey, &X509_Info::modulus, &X509_Info::pubkeyDER, &X509_Info::signature,
};

int newRecord(X509_Info** info, int separator, int category) {
    if (!info) return VCL_CORE_CODE(category, VCL_R_OUTPUT_NULL);
    auto* made = static_cast<X509_Info*>(std::calloc(1, sizeof(X509_Info)));
    if (!made) return VCL_CORE_CODE(category, VCL_R_MALLOC);
    made->format = 1;
    // A line feed would end the store's one-line records.
    made->separator = separator == '\n' ? '|' : static_cast<char>(separator);
    *info = made;
    return 0;
}

bool copyBytes(unsigned char*& field, int& fieldLen, const unsigned char* bytes, int len) {
    if (!bytes || len <= 0) return true;
    char* copy = zcore::newBuffer(std::string_view(reinterpret_cast<const char*>(bytes), static_cast<size_t>(len)));
    if (!copy) return false;
    field = reinterpret_cast<unsigned char*>(copy);
    fieldLen = len;
    return true;
}

// The key's size: RSA's modulus or KCDSA's domain prime, whole bytes.
bool fillModulus(const ASYMMETRIC_KEY* key, X509_Info* info) {
    const BIGINT* value = nullptr;
    if (key && key->key && key->kind == ASYMMETRIC_KEY_RSA) value = static_cast<const RSA_UNIT*>(key->key)->n;
    if (key && key->key && key->kind == ASYMMETRIC_KEY_KCDSA) value = static_cast<const KCDSA_UNIT*>(key->key)->p;
    const int bits = value ? VSC_Get_BIGINT_Bits_Length(value) : 0;
    if (bits <= 0) return true;
    const int bytes = (bits + 7) / 8;
    std::string buf(static_cast<size_t>(bytes), '\0');
    if (VSC_BIGINT_To_Binary_Unsigned(value, reinterpret_cast<unsigned char*>(buf.data())) != bytes) return false;
    char* copy = zcore::newBuffer(buf);
    if (!copy) return false;
    info->modulus = reinterpret_cast<unsigned char*>(copy);
    info->modulusLen = bytes;
    info->keyBits = bytes * 8;
    return true;
}

// Calls f(item) for each item of text split at runs of ch, until f returns
// false. The text must fit the split's work area.
template <typename F>
int eachItem(std::string_view text, char ch, F f) {
    if (text.size() > VCL_X509_ITEM_TEXT_MAX) return VCL_CORE_CODE(VCL_CAT_X509_PARSE_STR_AT, VCL_R_INVALID_PARAM);
    size_t at = 0;
    while (at < text.size()) {
        if (text[at] == ch) {
            ++at;
            continue;
        }
        const size_t end = std::min(text.find(ch, at), text.size());
        if (!f(text.substr(at, end - at))) break;
        at = end;
    }
    return 0;
}

bool startsNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && strncasecmp(s.data(), prefix.data(), prefix.size()) == 0;
}

// Getters: a copy of the field through *out (and its length through
// *outLen when given).
int getText(const X509_Info* info, char* X509_Info::*field, char** out, int category) {
    if (!info) return VCL_CORE_CODE(category, VCL_R_NULL_PARAM);
    if (!out) return VCL_CORE_CODE(category, VCL_R_OUTPUT_NULL);
    const char* value = info->*field;
    if (!value) return 0;
    char* copy = zcore::newBuffer(value);
    if (!copy) return VCL_CORE_CODE(category, VCL_R_MALLOC);
    *out = copy;
    return 0;
}

int getBytes(const X509_Info* info, unsigned char* X509_Info::*field, int X509_Info::*length, unsigned char** out,
             int* outLen, int category) {
    if (!info) return VCL_CORE_CODE(category, VCL_R_NULL_PARAM);
    if (!out) return VCL_CORE_CODE(category, VCL_R_OUTPUT_NULL);
    const unsigned char* value = info->*field;
    const int n = info->*length;
    if (!value || n <= 0) return 0;
    char* copy = zcore::newBuffer(std::string_view(reinterpret_cast<const char*>(value), static_cast<size_t>(n)));
    if (!copy) return VCL_CORE_CODE(category, VCL_R_MALLOC);
    *out = reinterpret_cast<unsigned char*>(copy);
    if (outLen) *outLen = n;
    return 0;
}

int getAlgorithmItem(const X509_Info* info, char* X509_Info::*field, char** out, int part, int category) {
    if (!info) return VCL_CORE_CODE(category, VCL_R_NULL_PARAM);
    if (!out) return VCL_CORE_CODE(category, VCL_R_OUTPUT_NULL);
    if (part < 0 || part > 2) return VCL_CORE_CODE(category, VCL_R_UNKNOWN_ALGORITHM);
    if (!(info->*field)) return 0;
    return VCL_X509_parse_str_at(info->*field, info->separator, part, out);
}

}  // namespace

extern "C" {

VCL_API int VCL_X509_new_x509_info(X509_Info** info, int separator) {
    return newRecord(info, separator, VCL_CAT_X509_NEW_X509_INFO);
}

VCL_API int VCL_X509_set_x509_info(X509_Info** info, int separator) {
    return newRecord(info, separator, VCL_CAT_X509_NEW_X509_INFO);
}

VCL_API void VCL_X509_Free_X509_Info(X509_Info* info) {
    if (!info) return;
    for (auto field : kTexts) std::free(info->*field);
    for (auto field : kBytes) std::free(info->*field);
    explicit_bzero(info, sizeof *info);
    std::free(info);
}

VCL_API int VCL_X509_conv_x509_to_x509info(const X509_CERT* cert, X509_Info* info) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_X509_TO_X509INFO, r); };
    if (!cert || !cert->tbs) return code(VCL_R_NULL_PARAM);
    if (!info) return code(VCL_R_OUTPUT_NULL);
    int rc;
    info->version = get_X509_version(cert) & 0xff;
    if ((rc = VCL_X509_bigint_to_str(get_X509_serial(cert), &info->serialDec, 1)) != 0) return rc;
    if ((rc = VCL_X509_bigint_to_str(get_X509_serial(cert), &info->serialHex, 2)) != 0) return rc;
    if ((rc = VCL_X509_oid_to_str(get_X509_signature(cert), &info->signatureAlg, info->separator)) != 0) return rc;
    if ((rc = VCL_X509_name_to_str(get_X509_issuer(cert), &info->issuerDN)) != 0) return rc;
    if ((rc = VCL_X509_time_to_str(get_X509_notBefore(cert), "00", &info->validityFrom)) != 0) return rc;
    if ((rc = VCL_X509_time_to_str(get_X509_notAfter(cert), "59", &info->validityTo)) != 0) return rc;
    if ((rc = VCL_X509_name_to_str(get_X509_subject(cert), &info->subjectDN)) != 0) return rc;
    if ((rc = nameDer(get_X509_subject(cert), &info->subjectDER, &info->subjectDERLen)) != 0)
        return VCL_CORE_CODE(VCL_CAT_X509_PUBKEY_TO_BINARY, rc);

    const X509_PUBKEY* key = get_X509_SPKI(cert);
    if (!key || !key->subjectPublicKey) return code(VCL_R_NO_PUBLIC_KEY);
    if ((rc = VCL_X509_oid_to_str(key->algorithm, &info->pubkeyAlg, info->separator)) != 0) return rc;
    if (!copyBytes(info->pubkey, info->pubkeyLen, key->subjectPublicKey->data, key->subjectPublicKey->length) ||
        !fillModulus(key->key, info))
        return code(VCL_R_MALLOC);
    int derLen = 0;
    if ((rc = pubkeyDer(key, &info->pubkeyDER, &derLen)) != 0) return VCL_CORE_CODE(VCL_CAT_X509_PUBKEY_TO_BINARY, rc);
    info->reserved1 = nullptr;
    info->reserved2 = nullptr;

    if (get_X509_EXTENSION_count(cert->tbs->extensions) > 0 &&
        (rc = VCL_X509_parse_extensions(cert->tbs->extensions, info)) != 0)
        return rc;
    const BIT_STRING* sig = get_X509_sig_value(cert);
    if (sig && !copyBytes(info->signature, info->signatureLen, sig->data, sig->length)) return code(VCL_R_MALLOC);
    return 0;
}

VCL_API int VCL_X509_Init_X509_Info(const void* cert, int len, int separator, X509_Info** info) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_INIT_X509_INFO, r); };
    if (!cert || len <= 0) return code(VCL_R_NULL_PARAM);
    if (!info) return code(VCL_R_OUTPUT_NULL);
    X509_CERT* raw = nullptr;
    int rc = VCL_X509_conv_cert2x509(cert, len, &raw);
    if (rc != 0) return rc;
    Cert decoded(raw);
    X509_Info* made = nullptr;
    if ((rc = VCL_X509_new_x509_info(&made, separator)) != 0) return rc;
    Info record(made);
    if ((rc = VCL_X509_conv_x509_to_x509info(decoded.get(), record.get())) != 0) return rc;
    *info = record.release();
    return 0;
}

// ---- Getters -----------------------------------------------------------------

VCL_API int VCL_X509_Info_Get_IssuerDN(const X509_Info* info, char** text) {
    return getText(info, &X509_Info::issuerDN, text, VCL_CAT_X509_INFO_GET_ISSUERDN);
}

VCL_API int VCL_X509_Info_Get_SubjectDN(const X509_Info* info, char** text) {
    return getText(info, &X509_Info::subjectDN, text, VCL_CAT_X509_INFO_GET_SUBJECTDN);
}

VCL_API int VCL_X509_Info_Get_SubjectDN_DER(const X509_Info* info, unsigned char** der) {
    return getBytes(info, &X509_Info::subjectDER, &X509_Info::subjectDERLen, der, nullptr,
                    VCL_CAT_X509_INFO_GET_SUBJECTDN);
}

VCL_API int VCL_X509_Info_Get_Serial(const X509_Info* info, char** text, int type) {
    constexpr int kCat = VCL_CAT_X509_INFO_GET_SERIAL;
    if (!info) return VCL_CORE_CODE(kCat, VCL_R_NULL_PARAM);
    if (!text) return VCL_CORE_CODE(kCat, VCL_R_OUTPUT_NULL);
    char* X509_Info::*field = type == 1 ? &X509_Info::serialDec : type == 2 ? &X509_Info::serialHex : nullptr;
    if (!field || !(info->*field)) return VCL_CORE_CODE(kCat, VCL_R_NO_SERIAL);
    return getText(info, field, text, kCat);
}

VCL_API int VCL_X509_Info_Get_ValidityFrom(const X509_Info* info, char** text) {
    return getText(info, &X509_Info::validityFrom, text, VCL_CAT_X509_INFO_GET_VALIDITYFROM);
}

VCL_API int VCL_X509_Info_Get_ValidityTo(const X509_Info* info, char** text) {
    return getText(info, &X509_Info::validityTo, text, VCL_CAT_X509_INFO_GET_VALIDITYTO);
}

VCL_API int VCL_X509_Info_Get_Pubkey(const X509_Info* info, unsigned char** bytes, int* len) {
    if (info && !len) return VCL_CORE_CODE(VCL_CAT_X509_INFO_GET_PUBKEY, VCL_R_OUTPUT_NULL);
    return getBytes(info, &X509_Info::pubkey, &X509_Info::pubkeyLen, bytes, len, VCL_CAT_X509_INFO_GET_PUBKEY);
}

VCL_API int VCL_X509_Info_Get_Signature(const X509_Info* info, unsigned char** bytes, int* len) {
    if (info && !len) return VCL_CORE_CODE(VCL_CAT_X509_INFO_GET_SIGNATURE, VCL_R_OUTPUT_NULL);
    return getBytes(info, &X509_Info::signature, &X509_Info::signatureLen, bytes, len, VCL_CAT_X509_INFO_GET_SIGNATURE);
}

VCL_API int VCL_X509_Info_Get_PubkeyAlg(const X509_Info* info, char** text, int part) {
    return getAlgorithmItem(info, &X509_Info::pubkeyAlg, text, part, VCL_CAT_X509_INFO_GET_PUBKEYALG);
}

VCL_API int VCL_X509_Info_Get_SignatureAlg(const X509_Info* info, char** text, int part) {
    return getAlgorithmItem(info, &X509_Info::signatureAlg, text, part, VCL_CAT_X509_INFO_GET_SIGNATUREALG);
}

VCL_API int VCL_X509_Info_Get_DN_Field(const char* dn, const char* field, char** value) {
    constexpr int kCat = VCL_CAT_X509_INFO_GET_DN_FIELD;
    if (!dn || !field) return VCL_CORE_CODE(kCat, VCL_R_NULL_PARAM);
    if (!value) return VCL_CORE_CODE(kCat, VCL_R_OUTPUT_NULL);
    const size_t nameLen = std::strlen(field);
    if (nameLen > VCL_X509_FIELD_NAME_MAX) return VCL_CORE_CODE(kCat, VCL_R_INVALID_PARAM);
    const std::string key = std::string(field) + "=";
    std::string_view found;
    bool matched = false;
    const int rc = eachItem(dn, ',', [&](std::string_view item) {
        while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
        if (!startsNoCase(item, key)) return true;
        found = item.substr(key.size());
        matched = true;
        return false;
    });
    if (rc != 0) return rc;
    if (!matched) {
        *value = nullptr;
        return 0;
    }
    char* copy = zcore::newBuffer(found);
    if (!copy) return VCL_CORE_CODE(kCat, VCL_R_MALLOC);
    *value = copy;
    return 0;
}

VCL_API int VCL_X509_Info_Get_CRLdp(const X509_Info* info, char** uri) {
    return VCL_X509_Info_Get_CRLdp_Index(info, uri, 0);
}

VCL_API int VCL_X509_Info_Get_CRLdp_Index(const X509_Info* info, char** uri, int n) {
    constexpr int kCat = VCL_CAT_X509_INFO_GET_CRLDP;
    if (!info || n < 0) return VCL_CORE_CODE(kCat, VCL_R_NULL_PARAM);
    if (!uri) return VCL_CORE_CODE(kCat, VCL_R_OUTPUT_NULL);
    *uri = nullptr;
    if (!info->crlDistPoints) return 0;
    std::string_view found;
    bool matched = false;
    int seen = 0;
    const int rc = eachItem(info->crlDistPoints, info->separator, [&](std::string_view item) {
        if (!startsNoCase(item, "DP=")) return true;
        if (seen++ < n) return true;
        found = item.substr(3);
        matched = true;
        return false;
    });
    if (rc != 0 || !matched) return rc;
    char* copy = zcore::newBuffer(found);
    if (!copy) return VCL_CORE_CODE(kCat, VCL_R_MALLOC);
    *uri = copy;
    return 0;
}

VCL_API int VCL_X509_Info_Get_CRLdp_Count(const X509_Info* info) {
    if (!info || !info->crlDistPoints) return 0;
    int count = 0;
    eachItem(info->crlDistPoints, info->separator, [&](std::string_view item) {
        if (startsNoCase(item, "DP=")) ++count;
        return true;
    });
    return count;
}

// ---- The item split ----------------------------------------------------------

VCL_API int VCL_X509_get_field_cnt(const char* text, int ch) {
    if (!text || !*text) return 0;
    int count = 1;
    for (const char* p = text; *p; ++p)
        if (*p == static_cast<char>(ch) && p[1]) ++count;
    return count;
}

VCL_API int VCL_X509_parse_str_at(const char* text, int ch, int index, char** item) {
    constexpr int kCat = VCL_CAT_X509_PARSE_STR_AT;
    if (!text) return VCL_CORE_CODE(kCat, VCL_R_NULL_PARAM);
    if (!item) return VCL_CORE_CODE(kCat, VCL_R_OUTPUT_NULL);
    std::string_view found;
    bool matched = false;
    int seen = 0;
    const int rc = eachItem(text, static_cast<char>(ch), [&](std::string_view it) {
        if (seen++ < index) return true;
        found = it;
        matched = index >= 0;
        return false;
    });
    if (rc != 0) return rc;
    *item = nullptr;
    if (!matched) return 0;
    char* copy = zcore::newBuffer(found);
    if (!copy) return VCL_CORE_CODE(kCat, VCL_R_MALLOC);
    *item = copy;
    return 0;
}

}  // extern "C"
