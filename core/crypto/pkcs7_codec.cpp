// PKCS#7: digest and cipher names, messages in their four encodings, the
// content without its ContentInfo, and the views of a decoded message the
// other PKCS#7 sources share.
#include <cstring>
#include <string_view>

#include <zunCore/crypto.h>
#include <zunCore/encode.h>
#include <zunCore/pkcs7.h>
#include <zunCore/util.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/asn1/ber.h>

#include "crypto/pkcs7_internal.hpp"

namespace {

using zcore::code;
using namespace zcore::p7;

struct NameRow {
    std::string_view name;
    int row;
};

// Names compare whole: a prefix would make "" MD5 and "SEED" SEED-ECB.
// "HAS160" is the spelling the store and the digest functions use.
constexpr NameRow kNames[] = {
    {"MD5", 4},
    {"SHA1", 64},
    {"MDC2", 95},
    {"SHA224", 675},
    {"SHA256", 672},
    {"SHA384", 673},
    {"SHA512", 674},
    {"HAS-160", 781},
    {"HAS160", 781},
    {"DES-ECB", 29},
    {"DES-CBC", 31},
    {"DES-OFB", 45},
    {"DES-CFB", 30},
    {"RC5-ECB", 121},
    {"RC5-CBC", 120},
    {"RC5-OFB", 123},
    {"RC5-CFB", 122},
    {"SEED-ECB", 776},
    {"SEED-CBC", 777},
    {"SEED-OFB", 778},
    {"SEED-CFB", 779},
    {"AES128-ECB", 418},
    {"AES128-CBC", 419},
    {"AES128-OFB", 420},
    {"AES128-CFB", 421},
    {"AES192-ECB", 422},
    {"AES192-CBC", 423},
    {"AES192-OFB", 424},
    {"AES192-CFB", 425},
    {"AES256-ECB", 426},
    {"AES256-CBC", 427},
    {"AES256-OFB", 428},
    {"AES256-CFB", 429},
    {"ARIA128-ECB", 823},
    {"ARIA128-CBC", 824},
    {"ARIA128-OFB", 825},
    {"ARIA128-CFB", 826},
    // DES_EDE is three-key triple DES wherever the core names ciphers: the
    // rows of the three-key cipher (des-ede3-cbc has the identifier
    // messages carry; the two-key DES-EDE-CBC has none).
    {"DES_EDE-ECB", 33},
    {"DES_EDE-CBC", 44},
    {"DES_EDE-OFB", 63},
    {"DES_EDE-CFB", 61},
};

bool isBase64(int encoding) { return encoding == VCL_PK7_BASE64 || encoding == VCL_PK7_BASE64_LINES; }
bool knownEncoding(int encoding) { return isBase64(encoding) || encoding == VCL_PK7_DER || encoding == VCL_PK7_PEM; }

// The DER of a record through its encoder into bytes (VSC_Free_Ex'd).
template <typename T>
int derOfRecord(const T* value, PKI_ERROR (*encode)(const T*, ASN1_UNIT**), zcore::VscPtr<unsigned char>& der) {
    ASN1_UNIT* raw = nullptr;
    if (!value || encode(value, &raw) != 0 || !raw) {
        free_ASN1_UNIT(raw);
        return -1;
    }
    zcore::Node node(raw);
    unsigned char* bytes = nullptr;
    const int n = ASN1_to_binary(node.get(), &bytes);
    der.reset(bytes);
    return n;
}

// The DER of a content by its type row: 0, or the reason.
int contentDer(const P7_CONTENT_INFO* p7, zcore::VscPtr<unsigned char>& der, int& len) {
    const void* c = p7 ? p7->content : nullptr;
    if (!c) return kEncode;
    switch (typeRow(p7)) {
        case P7_DATA: {
            unsigned char* bytes = nullptr;
            len = ASN1_STRING_to_binary(static_cast<const ASN1_STRING*>(c), &bytes);
            der.reset(bytes);
            break;
        }
        case P7_SIGNED_DATA_TYPE:
            len = derOfRecord(static_cast<const P7_SIGNED_DATA*>(c), P7_SIGNED_DATA_to_Seq, der);
            break;
        case P7_ENVELOPED_DATA_TYPE:
            len = derOfRecord(static_cast<const P7_ENVELOPED_DATA*>(c), P7_ENVELOPED_DATA_to_Seq, der);
            break;
        case P7_SIGNED_AND_ENVELOPED_DATA_TYPE:
            len = derOfRecord(static_cast<const P7_SIGNED_AND_ENVELOPED_DATA*>(c), P7_SIGNED_AND_ENVELOPED_DATA_to_Seq,
                              der);
            break;
        case P7_DIGESTED_DATA_TYPE:
            len = derOfRecord(static_cast<const P7_DIGESTED_DATA*>(c), P7_DIGESTED_DATA_to_Seq, der);
            break;
        case P7_ENCRYPTED_DATA_TYPE:
            len = derOfRecord(static_cast<const P7_ENCRYPTED_DATA*>(c), P7_ENCRYPTED_DATA_to_Seq, der);
            break;
        default:
            return kEncode;
    }
    return len > 0 && der ? 0 : kEncode;
}

}  // namespace

namespace zcore::p7 {

int typeRow(const P7_CONTENT_INFO* p7) {
    return p7 && p7->contentType ? index_from_OBJECT_IDENTIFIER(p7->contentType) : 0;
}

P7_SIGNED_DATA* signedData(P7_CONTENT_INFO* p7) {
    return typeRow(p7) == P7_SIGNED_DATA_TYPE ? static_cast<P7_SIGNED_DATA*>(p7->content) : nullptr;
}

const OCTET_STRING* carriedContent(P7_CONTENT_INFO* p7) {
    const P7_SIGNED_DATA* sd = signedData(p7);
    const P7_CONTENT_INFO* inner = sd ? sd->contentInfo : nullptr;
    if (!inner || typeRow(inner) != P7_DATA) return nullptr;
    return static_cast<const OCTET_STRING*>(inner->content);
}

bool setContent(P7_CONTENT_INFO* p7, std::string_view bytes) {
    P7_SIGNED_DATA* sd = signedData(p7);
    P7_CONTENT_INFO* inner = sd ? sd->contentInfo : nullptr;
    if (!inner || typeRow(inner) != P7_DATA) return false;
    OCTET_STRING* copy =
        new_OCTET_STRING(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    if (!copy) return false;
    free_OCTET_STRING(static_cast<OCTET_STRING*>(inner->content));
    inner->content = copy;
    sd->detached = 0;
    return true;
}

void removeContent(P7_CONTENT_INFO* p7) {
    P7_SIGNED_DATA* sd = signedData(p7);
    P7_CONTENT_INFO* inner = sd ? sd->contentInfo : nullptr;
    if (!inner) return;
    if (typeRow(inner) == P7_DATA) free_OCTET_STRING(static_cast<OCTET_STRING*>(inner->content));
    inner->content = nullptr;
    sd->detached = 1;
}

bool signerView(P7_CONTENT_INFO* p7, SignerView& v) {
    switch (typeRow(p7)) {
        case P7_SIGNED_DATA_TYPE: {
            auto* sd = static_cast<P7_SIGNED_DATA*>(p7->content);
            if (!sd) return false;
            v = {sd->signerInfos, sd->certificates};
            return true;
        }
        case P7_SIGNED_AND_ENVELOPED_DATA_TYPE: {
            auto* sed = static_cast<P7_SIGNED_AND_ENVELOPED_DATA*>(p7->content);
            if (!sed) return false;
            v = {sed->signerInfos, sed->certificates};
            return true;
        }
        default:
            return false;
    }
}

P7_SIGNER_INFO* signerAt(const SignerView& v, int index) {
    if (index < 0 || index >= get_STACK_count(v.signers)) return nullptr;
    return static_cast<P7_SIGNER_INFO*>(get_STACK_value(v.signers, index));
}

int decode(int encoding, const void* data, int len, ContentInfo& out) {
    out.reset();
    if (!data) return code(kCatCodec, VCL_R_NULL_PARAM);
    if (len <= 0) return code(kCatCodec, VCL_R_ZERO_LENGTH);
    const auto* der = static_cast<const unsigned char*>(data);
    int derLen = len;
    MallocPtr<unsigned char> converted;
    if (isBase64(encoding)) {
        unsigned char* raw = nullptr;
        derLen = VCL_Base64_Decode(static_cast<const char*>(data), len, &raw);
        converted.reset(raw);
        if (derLen <= 0 || !raw) return code(kCatCodec, VCL_R_DECODE_BASE64);
        der = raw;
    } else if (encoding == VCL_PK7_PEM) {
        unsigned char* raw = nullptr;
        if (VCL_COM_PEM_to_DER(static_cast<const char*>(data), len, &raw, &derLen) != 0 || !raw || derLen <= 0) {
            std::free(raw);
            return code(kCatCodec, kDecodePem);
        }
        converted.reset(raw);
        der = raw;
    } else if (encoding != VCL_PK7_DER) {
        return code(kCatCodec, VCL_R_UNSUPPORTED_ENCODING);
    }
    Node node(decodeToDERSequence(der, derLen));
    if (!node) return code(kCatCodec, kDerToAsn1);
    P7_CONTENT_INFO* p7 = nullptr;
    if (Seq_to_P7_CONTENT_INFO(node.get(), &p7) != 0 || !p7) {
        free_P7_CONTENT_INFO(p7);
        return code(kCatCodec, kSeqToP7);
    }
    out.reset(p7);
    return 0;
}

int handOutDer(std::string_view der, int encoding, char** out, int* outLen) {
    if (!out || !outLen) return code(kCatCodec, VCL_R_NULL_PARAM);
    if (!knownEncoding(encoding)) return code(kCatCodec, VCL_R_UNSUPPORTED_ENCODING);
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
    const int n = static_cast<int>(der.size());
    if (isBase64(encoding)) {
        char* text = nullptr;
        const int t = VCL_Base64_Encode(bytes, n, &text, encoding == VCL_PK7_BASE64_LINES);
        if (t <= 0 || !text) {
            std::free(text);
            return code(kCatCodec, VCL_R_ENCODE_BASE64);
        }
        *out = text;
        *outLen = t;
        return 0;
    }
    if (encoding == VCL_PK7_PEM) {
        char* pem = nullptr;
        int pemLen = 0;
        if (VCL_COM_DER_to_PEM(bytes, n, &pem, &pemLen, VCL_PEM_PKCS7) != 0 || !pem || pemLen <= 0) {
            std::free(pem);
            return code(kCatCodec, kEncodePem);
        }
        *out = pem;
        *outLen = pemLen;
        return 0;
    }
    return handOut(der, out, outLen) ? 0 : code(kCatCodec, VCL_R_MALLOC);
}

}  // namespace zcore::p7

using namespace zcore::p7;

extern "C" {

VCL_API int VCL_PK7_name_to_oid(const char* name, int* row) {
    if (!name || !row) return code(kCatName, VCL_R_NULL_PARAM);
    for (const NameRow& n : kNames) {
        if (n.name == name) {
            *row = n.row;
            return 0;
        }
    }
    return code(kCatName, VCL_R_UNSUPPORTED_NAME);
}

VCL_API int VCL_PK7_encode_pkcs7(const P7_CONTENT_INFO* p7, int encoding, char** out, int* out_len) {
    if (!p7 || !out || !out_len) return code(kCatCodec, VCL_R_NULL_PARAM);
    if (!knownEncoding(encoding)) return code(kCatCodec, VCL_R_UNSUPPORTED_ENCODING);
    ASN1_UNIT* raw = nullptr;
    if (P7_CONTENT_INFO_to_Seq(p7, &raw) != 0 || !raw) {
        free_ASN1_UNIT(raw);
        return code(kCatCodec, kEncode);
    }
    zcore::Node node(raw);
    unsigned char* bytes = nullptr;
    const int n = ASN1_to_binary(node.get(), &bytes);
    zcore::VscPtr<unsigned char> der(bytes);
    if (n <= 0 || !der) return code(kCatCodec, kToBinary);
    return handOutDer({reinterpret_cast<const char*>(der.get()), static_cast<size_t>(n)}, encoding, out, out_len);
}

VCL_API int VCL_PK7_decode_pkcs7(int encoding, const void* data, int len, P7_CONTENT_INFO** p7) {
    if (!p7) return code(kCatCodec, VCL_R_NULL_PARAM);
    ContentInfo decoded;
    if (int rc = decode(encoding, data, len, decoded); rc != 0) return rc;
    *p7 = decoded.release();
    return 0;
}

VCL_API int VCL_PK7_Remove_ContentType(int in_encoding, const void* p7_data, int p7_len, int encoding, char** out,
                                       int* out_len) {
    if (!out || !out_len) return code(kCatCodec, VCL_R_NULL_PARAM);
    ContentInfo p7;
    if (int rc = decode(in_encoding, p7_data, p7_len, p7); rc != 0) return rc;
    zcore::VscPtr<unsigned char> der;
    int n = 0;
    if (int reason = contentDer(p7.get(), der, n); reason != 0) return code(kCatCodec, reason);
    return handOutDer({reinterpret_cast<const char*>(der.get()), static_cast<size_t>(n)}, encoding, out, out_len);
}

VCL_API int VCL_PK7_Check_Format(int in_encoding, const void* p7_data, int p7_len) {
    ContentInfo p7;
    return decode(in_encoding, p7_data, p7_len, p7);
}

}  // extern "C"
