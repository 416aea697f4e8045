// Key and certificate files: PEM or DER, their type codes, and conversion
// between the two. Every search stays within the length the caller gives.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include <zunCore/crypto.h>
#include <zunCore/error.h>
#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pem.h>

#include "crypto/crypto_internal.hpp"
#include "util/core_internal.hpp"

namespace {

constexpr std::string_view kArmour = "-----";
constexpr std::string_view kBegin = "-----BEGIN";
constexpr std::string_view kEnd = "-----END";

// The label lies after "-----BEGIN " (11 characters).
constexpr size_t kLabelStart = 11;

bool contains(std::string_view text, std::string_view what) { return text.find(what) != std::string_view::npos; }

const char* labelOf(int type) {
    switch (type) {
        case VCL_PEM_PUBLIC_KEY:
            return "PUBLIC KEY";
        case VCL_PEM_RSA_PRIVATE_KEY:
        case VCL_PEM_RSA_PRIVATE_KEY_ENC:
            return "RSA PRIVATE KEY";
        case VCL_PEM_ENCRYPTED_PRIVATE_KEY:
            return "ENCRYPTED PRIVATE KEY";
        case VCL_PEM_CERTIFICATE:
            return "CERTIFICATE";
        case VCL_PEM_PKCS7:
            return "PKCS7";
        default:
            return nullptr;
    }
}

struct UnitFree {
    void operator()(ASN1_UNIT* u) const { free_ASN1_UNIT(u); }
};

constexpr int pemTypeCode(int reason) { return VCL_CORE_CODE(VCL_CAT_COMMON_GET_PEMFILE_TYPE, reason); }
constexpr int derTypeCode(int reason) { return VCL_CORE_CODE(VCL_CAT_COMMON_GET_DERFILE_TYPE, reason); }
constexpr int toPemCode(int reason) { return VCL_CORE_CODE(VCL_CAT_COMMON_DER_TO_PEM, reason); }
constexpr int toDerCode(int reason) { return VCL_CORE_CODE(VCL_CAT_COMMON_PEM_TO_DER, reason); }

}  // namespace

bool zcore::isPemText(std::string_view text) {
    while (!text.empty() && isTrimmed(text.front())) text.remove_prefix(1);
    return text.size() > kArmour.size() && text.substr(0, kArmour.size()) == kArmour;
}

extern "C" {

VCL_API int VCL_COM_is_pem(const char* text) {
    if (!text) return VCL_CORE_CODE(VCL_CAT_COMMON_IS_PEM, VCL_R_NULL_PARAM);
    return zcore::isPemText(text) ? 0 : -1;
}

VCL_API int VCL_COM_Is_Pem(const char* text) { return VCL_COM_is_pem(text); }

VCL_API int VCL_COM_get_pemfile_type(const char* text, int len, int* type) {
    if (!type) return pemTypeCode(VCL_R_NULL_PARAM);
    *type = 0;
    if (!text || len <= 0) return pemTypeCode(VCL_R_NO_PEM);
    const std::string_view pem(text, static_cast<size_t>(len));
    if (!zcore::isPemText(pem) || pem.substr(0, kBegin.size()) != kBegin) return pemTypeCode(VCL_R_NO_PEM);
    const std::string_view rest = pem.substr(std::min(kLabelStart, pem.size()));
    if (contains(rest, "RSA PRIVATE KEY"))
        *type = contains(rest, "DEK-Info: ") ? VCL_PEM_RSA_PRIVATE_KEY_ENC : VCL_PEM_RSA_PRIVATE_KEY;
    else if (contains(rest, "ENCRYPTED PRIVATE KEY"))
        *type = VCL_PEM_ENCRYPTED_PRIVATE_KEY;
    else
        return pemTypeCode(VCL_R_PEM_LABEL);
    // Callers have long read the type even when the closing line is missing.
    if (!contains(pem, kEnd)) return pemTypeCode(VCL_R_NO_PEM);
    return 0;
}

VCL_API int VCL_COM_get_derfile_type(const unsigned char* der, int len, int* type) {
    if (!der || len <= 0 || !type) return derTypeCode(VCL_R_NO_PEM);
    // The decoder reads any element as a sequence: the tag is ours to check.
    if (der[0] != 0x30) return derTypeCode(VCL_R_INVALID_PARAM);
    std::unique_ptr<ASN1_UNIT, UnitFree> seq(decodeToDERSequence(der, len));
    if (!seq) return derTypeCode(VCL_R_INVALID_PARAM);
    switch (getSequenceChildNum(seq.get())) {
        case 2:  // EncryptedPrivateKeyInfo
        case 3:  // PrivateKeyInfo
        case 4:  // PrivateKeyInfo with attributes
            *type = VCL_PEM_ENCRYPTED_PRIVATE_KEY;
            return 0;
        case 9:   // RSAPrivateKey
        case 10:  // with other-prime information
            *type = VCL_PEM_RSA_PRIVATE_KEY;
            return 0;
        default:
            return derTypeCode(VCL_R_NO_DER);
    }
}

VCL_API int VCL_COM_DER_to_PEM(const unsigned char* der, int len, char** pem, int* pem_len, int type) {
    if (!pem || !pem_len) return toPemCode(VCL_R_NULL_PARAM);
    *pem = nullptr;
    *pem_len = 0;
    if (!der || len <= 0 || zcore::isPemText({reinterpret_cast<const char*>(der), static_cast<size_t>(len)}))
        return toPemCode(VCL_R_NO_DER);
    const char* label = labelOf(type);
    if (!label) return toPemCode(VCL_R_UNKNOWN_KEY_MODE);
    char* raw = nullptr;
    const int n = encode_PEM(der, len, label, static_cast<int>(std::strlen(label)), &raw, 1);
    zcore::VscPtr<char> text(raw);
    if (n <= 0 || !text) return toPemCode(VCL_R_ENCODE_PEM);
    char* out = zcore::newBuffer({text.get(), static_cast<size_t>(n)});
    if (!out) return toPemCode(VCL_R_MALLOC);
    *pem = out;
    *pem_len = n;
    return 0;
}

VCL_API int VCL_COM_PEM_to_DER(const char* pem, int len, unsigned char** der, int* der_len) {
    if (!der || !der_len) return toDerCode(VCL_R_NULL_PARAM);
    *der = nullptr;
    *der_len = 0;
    if (!pem || len <= 0 || !zcore::isPemText({pem, static_cast<size_t>(len)})) return toDerCode(VCL_R_NO_PEM);
    unsigned char* raw = nullptr;
    const int n = decode_PEM(pem, len, &raw);
    zcore::VscPtr<unsigned char> bytes(raw);
    if (n <= 0 || !bytes) return toDerCode(VCL_R_ENCODE_PEM);
    char* out = zcore::newBuffer({reinterpret_cast<const char*>(bytes.get()), static_cast<size_t>(n)});
    if (!out) return toDerCode(VCL_R_MALLOC);
    *der = reinterpret_cast<unsigned char*>(out);
    *der_len = n;
    return 0;
}

}  // extern "C"
