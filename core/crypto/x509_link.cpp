// What the key Parts need of certificates: decoding, the RSA key, one
// attribute's value, the signing use, the key-usage and subject texts.
//
// STAND-IN: minimal private versions until the X.509 information record and
// conversions of the core (VCL_X509_conv_cert2x509, VCL_X509_get_rsaunit,
// VCL_X509_attributes_get_asn1_string, VCL_X509_is_signcert,
// VCL_X509_Init_X509_Info) are on this branch; each is then one call.
#include <cctype>
#include <cstdio>
#include <string>

#include <zunCore/error.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/x509/x509_name.h>
#include <zunPKI/x509/x509v3.h>

#include "crypto/keys_internal.hpp"

namespace {

constexpr int kRowKeyUsage = 83;

// The keyUsage BIT STRING's content bytes; false without the extension.
bool keyUsageBytes(const X509_CERT* cert, std::string& bytes) {
    const X509_TBS_CERT* tbs = cert ? cert->tbs : nullptr;
    if (!tbs || !tbs->extensions) return false;
    const int at = get_X509_EXTENSION_index_by_OID_index(tbs->extensions, kRowKeyUsage, -1);
    if (at < 0) return false;
    const OCTET_STRING* value = get_X509_EXTENSION_data(get_X509_EXTENSION(tbs->extensions, at));
    if (!value || !value->data || value->length <= 0) return false;
    zcore::Owned<BIT_STRING, free_BIT_STRING> bits(decodeToBERBitString(value->data, value->length));
    if (!bits) return false;
    bytes.assign(reinterpret_cast<const char*>(bits->data), static_cast<size_t>(bits->length));
    return true;
}

}  // namespace

int zcore::certFromBytes(const unsigned char* bytes, int len, Cert& out) {
    if (!bytes || len <= 0) return VCL_CORE_CODE(VCL_CAT_X509_CONV_CERT2X509, VCL_R_NULL_PARAM);
    if (!isPem(bytes, len)) return readRecord<X509_CERT, Seq_to_X509_CERT>(bytes, len, out);
    const std::string_view text = trimmed({reinterpret_cast<const char*>(bytes), static_cast<size_t>(len)});
    return readRecord<X509_CERT, Seq_to_X509_CERT>(reinterpret_cast<const unsigned char*>(text.data()),
                                                   static_cast<int>(text.size()), out);
}

int zcore::certRsaUnit(const unsigned char* bytes, int len, RSA_UNIT* rsa) {
    constexpr int cat = VCL_CAT_X509_GET_RSAUNIT;
    if (!rsa) return VCL_CORE_CODE(cat, 0x61);
    Cert cert;
    if (int rc = certFromBytes(bytes, len, cert); rc != 0) return rc;
    const X509_PUBKEY* spki = get_X509_SPKI(cert.get());
    if (!spki || !spki->key) return VCL_CORE_CODE(cat, 0x62);
    return ASYMMETRIC_KEY_to_RSA_UNIT(spki->key, rsa) == 1 ? VCL_CORE_CODE(cat, 0x63) : 0;
}

int zcore::attributeString(const X509_ATTRIBUTES* attrs, int row, Asn1String& out) {
    out.reset();
    if (!attrs) return VCL_CORE_CODE(VCL_CAT_X509_GET_DATA_ATTRIBUTES, VCL_R_NULL_PARAM);
    const int at = get_X509_ATTRIBUTES_index_by_OID_index(attrs, row, -1);
    if (at < 0) return 0;
    const X509_ATTRIBUTE* attr = get_X509_ATTRIBUTES_child(attrs, at);
    if (get_X509_ATTRIBUTE_count(attr) != 1 || (get_X509_ATTRIBUTE_data_type(attr, 0) & 0x20) != 0) return 0;
    out.reset(dup_ASN1_STRING(static_cast<const ASN1_STRING*>(get_X509_ATTRIBUTE_data(attr, 0))));
    return out ? 0 : VCL_CORE_CODE(VCL_CAT_X509_GET_DATA_ATTRIBUTES, VCL_R_MALLOC);
}

int zcore::certUse(const X509_CERT* cert) {
    std::string bytes;
    if (!keyUsageBytes(cert, bytes) || bytes.empty()) return 3;
    return (static_cast<unsigned char>(bytes[0]) & 0x80) ? 3 : 4;
}

int zcore::keyUsageText(const unsigned char* der, int len, std::string& out) {
    out.clear();
    Cert cert;
    if (int rc = certFromBytes(der, len, cert); rc != 0) return rc;
    std::string bytes;
    if (!keyUsageBytes(cert.get(), bytes)) return 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(bytes[i]));
        if (i) out += ':';
        out += hex;
    }
    return 0;
}

int zcore::subjectText(const unsigned char* der, int len, std::string& out) {
    out.clear();
    Cert cert;
    if (int rc = certFromBytes(der, len, cert); rc != 0) return rc;
    const X509_NAME* name = get_X509_subject(cert.get());
    // Last RDN first, short names in lower case, joined by ','.
    for (int i = get_X509_NAME_count(name) - 1; i >= 0; --i) {
        const X509_NAME_CHILD* entry = get_X509_NAME_CHILD(name, i);
        const char* sn = sn_from_index(index_from_OBJECT_IDENTIFIER(get_X509_NAME_CHILD_OID(entry)));
        const ASN1_STRING* value = get_X509_NAME_CHILD_data(entry);
        if (!out.empty()) out += ',';
        for (const char* c = sn ? sn : "undef"; *c; ++c)
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
        out += '=';
        if (value && value->data && value->length > 0)
            out.append(reinterpret_cast<const char*>(value->data), static_cast<size_t>(value->length));
    }
    return 0;
}
