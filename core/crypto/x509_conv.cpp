// Certificate forms (DER, PEM, the decoded record) and the binary forms of
// names, public keys and DigestInfo.
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <zunCore/error.h>
#include <zunCore/x509_conv.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/x509/x509v3.h>

#include "crypto/x509_internal.hpp"
#include "util/core_internal.hpp"

using namespace zcore::x509;

namespace {

// The readers' answer to input they cannot even start on.
constexpr PKI_ERROR kDerNoInput = 0x4300002B;
constexpr PKI_ERROR kPemNoInput = 0x4E00002B;

// The certificate codec in the readers' and writers' callback types (a call
// through a cast of the typed function would be undefined).
PKI_ERROR certDecoder(ASN1_UNIT* node, void** value) {
    return Seq_to_X509_CERT(node, reinterpret_cast<X509_CERT**>(value));
}
PKI_ERROR certEncoder(void* value, ASN1_UNIT** node) {
    return X509_CERT_to_Seq(static_cast<const X509_CERT*>(value), node);
}

bool isPem(const void* cert, int len) {
    return zcore::isPemText(std::string_view(static_cast<const char*>(cert), static_cast<size_t>(len)));
}

// The PEM text the reader gets: as given when it starts with its armour,
// else without the blanks and line ends around it.
std::string_view pemText(const void* cert, int len) {
    std::string_view text(static_cast<const char*>(cert), static_cast<size_t>(len));
    return text.front() == '-' ? text : zcore::trimmed(text);
}

// Decodes DER or PEM; the readers' no-input answers become the caller's
// codes.
int readCert(const void* cert, int len, X509_CERT** out, int derNoInput, int pemNoInput) {
    X509_CERT* made = nullptr;
    PKI_ERROR rc;
    if (isPem(cert, len)) {
        const std::string_view text = pemText(cert, len);
        rc = readPEM_from_Binary(reinterpret_cast<void**>(&made), certDecoder, text.data(),
                                 static_cast<int>(text.size()));
        if (rc == kPemNoInput) rc = pemNoInput;
    } else {
        rc = readDER_from_Binary(reinterpret_cast<void**>(&made), certDecoder, static_cast<const unsigned char*>(cert),
                                 len);
        if (rc == kDerNoInput) rc = derNoInput;
    }
    if (rc != 0) {
        free_X509_CERT(made);
        return rc;
    }
    if (!made) return VCL_CORE_CODE(VCL_CAT_X509_CONV_CERT2X509, VCL_R_MALLOC);
    *out = made;
    return 0;
}

// A copy of bytes handed out; false when memory runs out.
bool handOut(const void* bytes, size_t len, void** out, int* outLen) {
    char* copy = zcore::newBuffer(std::string_view(static_cast<const char*>(bytes), len));
    if (!copy) return false;
    *out = copy;
    *outLen = static_cast<int>(len);
    return true;
}

// Bytes of a DER element whose header says how long it is; 0 when it does
// not read as one SEQUENCE.
int sequenceLength(const unsigned char* der) {
    if (der[0] != 0x30) return 0;
    if (der[1] < 0x80) return 2 + der[1];
    const int octets = der[1] & 0x7f;
    if (octets < 1 || octets > 3) return 0;
    int n = 0;
    for (int i = 0; i < octets; ++i) n = n << 8 | der[2 + i];
    return 2 + octets + n;
}

}  // namespace

extern "C" {

// ---- Certificate forms -----------------------------------------------------

VCL_API int VCL_X509_conv_cert2x509(const void* cert, int len, X509_CERT** out) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_CONV_CERT2X509, r); };
    if (!cert || len <= 0) return code(VCL_R_NULL_PARAM);
    if (!out) return code(VCL_R_OUTPUT_NULL);
    return readCert(cert, len, out, code(VCL_R_READ_DER_PARAM), code(VCL_R_READ_PEM_PARAM));
}

VCL_API int VCL_X509_Conv_Cert2PEM(const void* cert, int len, char** pem, int* pem_len) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_CONV_CERT2PEM, r); };
    if (!cert || len <= 0) return code(VCL_R_NULL_PARAM);
    if (!pem || !pem_len) return code(VCL_R_OUTPUT_NULL);
    if (isPem(cert, len))
        return handOut(cert, static_cast<size_t>(len), reinterpret_cast<void**>(pem), pem_len) ? 0 : code(VCL_R_MALLOC);
    X509_CERT* raw = nullptr;
    const int rc = readCert(cert, len, &raw, code(VCL_R_READ_DER_PARAM), code(VCL_R_READ_PEM_PARAM));
    if (rc != 0) return rc;
    Cert decoded(raw);
    char* text = nullptr;
    const int n = writePEM_to_Binary(decoded.get(), certEncoder, "CERTIFICATE", 11, &text);
    zcore::VscPtr<char> written(text);
    if (n <= 0 || !written) return code(VCL_R_WRITE_PEM);
    return handOut(written.get(), static_cast<size_t>(n), reinterpret_cast<void**>(pem), pem_len) ? 0
                                                                                                  : code(VCL_R_MALLOC);
}

VCL_API int VCL_X509_Conv_Cert2DER(const void* cert, int len, void** der, int* der_len) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_CONV_CERT2DER, r); };
    if (!cert || len <= 0) return code(VCL_R_NULL_PARAM);
    if (!der || !der_len) return code(VCL_R_OUTPUT_NULL);
    if (!isPem(cert, len)) return handOut(cert, static_cast<size_t>(len), der, der_len) ? 0 : code(VCL_R_MALLOC);
    X509_CERT* raw = nullptr;
    const int rc = readCert(cert, len, &raw, code(VCL_R_READ_DER_PARAM), code(VCL_R_READ_PEM_PARAM));
    if (rc != 0) return rc;
    Cert decoded(raw);
    unsigned char* bytes = nullptr;
    const int n = writeDER_to_Binary(decoded.get(), certEncoder, &bytes);
    zcore::VscPtr<unsigned char> written(bytes);
    if (n <= 0 || !written) return code(VCL_R_WRITE_DER);
    return handOut(written.get(), static_cast<size_t>(n), der, der_len) ? 0 : code(VCL_R_MALLOC);
}

VCL_API int VCL_X509_get_rsaunit(const void* cert, int len, RSA_UNIT* rsa) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_GET_RSAUNIT, r); };
    if (!cert || len <= 0) return code(VCL_R_NULL_PARAM);
    if (!rsa) return code(VCL_R_OUTPUT_NULL);
    X509_CERT* raw = nullptr;
    const int rc = VCL_X509_conv_cert2x509(cert, len, &raw);
    if (rc != 0) return rc;
    Cert decoded(raw);
    const X509_PUBKEY* key = get_X509_SPKI(decoded.get());
    if (!key || !key->key) return code(VCL_R_NO_PUBLIC_KEY);
    if (ASYMMETRIC_KEY_to_RSA_UNIT(key->key, rsa) != 0) return code(VCL_R_KEY_TO_RSA);
    return 0;
}

// ---- Binary forms ------------------------------------------------------------

VCL_API int VCL_X509_name_to_binary(const X509_NAME* name, unsigned char** der, int* der_len) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_PUBKEY_TO_BINARY, r); };
    if (!name) return code(VCL_R_NULL_PARAM);
    if (!der || !der_len) return code(VCL_R_OUTPUT_NULL);
    const int rc = nameDer(name, der, der_len);
    return rc ? code(rc) : 0;
}

VCL_API int VCL_X509_pubkey_to_binary(const X509_PUBKEY* key, unsigned char** der, int* der_len) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_PUBKEY_TO_BINARY, r); };
    if (!key) return code(VCL_R_NULL_PARAM);
    if (!der || !der_len) return code(VCL_R_OUTPUT_NULL);
    const int rc = pubkeyDer(key, der, der_len);
    return rc ? code(rc) : 0;
}

VCL_API int VCL_X509_binary_to_pubkey(const unsigned char* der, int len, X509_PUBKEY** out) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_BINARY_TO_PUBKEY, r); };
    if (!der || len <= 0) return code(VCL_R_NULL_PARAM);
    if (!out) return code(VCL_R_OUTPUT_NULL);
    Node node(decodeToDERSequence(der, len));
    X509_PUBKEY* made = nullptr;
    if (!node || Seq_to_X509_PUBKEY(node.get(), &made) != 0 || !made) {
        free_X509_PUBKEY(made);
        return code(VCL_R_DER_TO_ASN1);
    }
    *out = made;
    return 0;
}

VCL_API int VCL_X509_get_pubkey(const X509_Info* info, X509_PUBKEY** out) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_GET_PUBKEY, r); };
    if (!info || !info->pubkeyDER) return code(VCL_R_NULL_PARAM);
    if (!out) return code(VCL_R_OUTPUT_NULL);
    // The record keeps no length: the DER's own header gives it.
    const int n = sequenceLength(info->pubkeyDER);
    if (n <= 0) return code(VCL_R_INVALID_PARAM);
    return VCL_X509_binary_to_pubkey(info->pubkeyDER, n, out);
}

VCL_API int VCL_X509_mk_pubkey(const char* algorithm, const unsigned char* key_bits, int key_len, X509_PUBKEY** out) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_MK_PUBKEY, r); };
    if (!algorithm || !key_bits || key_len <= 0) return code(VCL_R_NULL_PARAM);
    if (!out) return code(VCL_R_OUTPUT_NULL);
    const int row = index_from_oid_string(algorithm, static_cast<int>(std::strlen(algorithm)));
    if (row != kRowRsa && row != kRowKcdsa) return code(VCL_R_UNKNOWN_ALGORITHM);
    PubKey made(new_X509_PUBKEY());
    if (!made || !(made->algorithm = index_to_OBJECT_IDENTIFIER(row)) ||
        !(made->subjectPublicKey = binaryToBIT_STRING(key_bits, key_len)) || !(made->key = new_ASYMMETRIC_KEY()))
        return code(VCL_R_MALLOC);
    PKI_ERROR rc;
    if (row == kRowRsa) {
        RSA_UNIT* rsa = nullptr;
        rc = BITSTRING_to_RSA_KEY(made->subjectPublicKey, &rsa);
        if (rsa) {
            made->key->kind = ASYMMETRIC_KEY_RSA;
            made->key->key = rsa;
        }
    } else {
        KCDSA_UNIT* kcdsa = nullptr;
        rc = BITSTRING_to_KCDSA_KEY(made->subjectPublicKey, &kcdsa);
        if (kcdsa) {
            made->key->kind = ASYMMETRIC_KEY_KCDSA;
            made->key->key = kcdsa;
        }
    }
    if (rc != 0) return rc;
    if (!made->key->key) return code(VCL_R_MALLOC);
    *out = made.release();
    return 0;
}

VCL_API int VCL_X509_SIGN_to_binary(const char* digest_name, const unsigned char* digest, int digest_len,
                                    unsigned char** der, int* der_len) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_SIGN_TO_BINARY, r); };
    if (!digest_name || !digest || !der || !der_len) return code(VCL_R_NULL_PARAM);
    const int id = VSC_Get_DIGEST_Alg_ID_By_Name(digest_name);
    if (id == 0) return code(VCL_R_INVALID_HASH_ID);
    // A DigestInfo of another digest's length would be signed as if it were
    // this digest.
    if (VSC_Get_DIGEST_Length(id) != digest_len) return code(VCL_R_INVALID_LENGTH);
    String oid(index_to_OBJECT_IDENTIFIER(get_OID_from_DigestID(id)));
    if (!oid) return code(VCL_R_INVALID_HASH_ID);
    Own<X509_SIGN, free_X509_SIGN> sign(new_X509_SIGN());
    if (!sign || !(sign->digestAlgorithm = new_X509_ALGO_IDENTIFIER()) ||
        !(sign->digest = new_OCTET_STRING(digest, digest_len)))
        return code(VCL_R_MALLOC);
    // NULL parameters, as PKCS#1 v1.5 signatures carry them.
    if (set_X509_ALGO_IDENTIFIER_value(sign->digestAlgorithm, oid.get(), nullptr) != 0) return code(VCL_R_MALLOC);
    ASN1_UNIT* raw = nullptr;
    const PKI_ERROR rc = X509_SIGN_to_Seq(sign.get(), &raw);
    Node node(raw);
    unsigned char* bytes = nullptr;
    const int n = rc == 0 && node ? ASN1_to_binary(node.get(), &bytes) : -1;
    zcore::VscPtr<unsigned char> written(bytes);
    if (n <= 0 || !written) return code(VCL_R_ASN_TO_BINARY);
    return handOut(written.get(), static_cast<size_t>(n), reinterpret_cast<void**>(der), der_len) ? 0
                                                                                                  : code(VCL_R_MALLOC);
}

VCL_API int VCL_binary_to_X509_SIGN(const unsigned char* der, int len, DIGEST_INFO_TEXT* out) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_SIGN_TO_BINARY, r); };
    if (!der || len <= 0 || !out) return code(VCL_R_NULL_PARAM);
    Node node(decodeToDERSequence(der, len));
    X509_SIGN* raw = nullptr;
    if (!node || Seq_to_X509_SIGN(node.get(), &raw) != 0 || !raw) {
        free_X509_SIGN(raw);
        return -1;
    }
    Own<X509_SIGN, free_X509_SIGN> sign(raw);
    if (!sign->digestAlgorithm || !sign->digest) return -1;
    std::string alg;
    algorithmText(sign->digestAlgorithm->algorithm, '|', alg);
    zcore::MallocPtr<char> algText(zcore::newBuffer(alg));
    zcore::MallocPtr<char> digestText(zcore::newBuffer(hexJoined(sign->digest->data, sign->digest->length)));
    if (!algText || !digestText) return code(VCL_R_MALLOC);
    out->algorithm = algText.release();
    out->reserved = nullptr;
    out->digest = digestText.release();
    out->digestLen = sign->digest->length;
    return 0;
}

// ---- Attributes and extensions ---------------------------------------------

VCL_API int VCL_X509_attributes_get_asn1_string(const X509_ATTRIBUTES* list, int oid_row, ASN1_STRING** out) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_GET_DATA_ATTRIBUTES, r); };
    if (!list) return code(VCL_R_NULL_PARAM);
    if (!out) return code(VCL_R_OUTPUT_NULL);
    const int at = get_X509_ATTRIBUTES_index_by_OID_index(list, oid_row, -1);
    const X509_ATTRIBUTE* attribute = at >= 0 ? get_X509_ATTRIBUTES_child(list, at) : nullptr;
    if (!attribute) {
        *out = nullptr;
        return 0;
    }
    if (get_X509_ATTRIBUTE_count(attribute) != 1) return 0;
    const int tag = get_X509_ATTRIBUTE_data_type(attribute, 0);
    const void* value = get_X509_ATTRIBUTE_data(attribute, 0);
    if (!value) return 0;
    ASN1_STRING* copy = nullptr;
    if (tag & 0x20) {
        // A constructed value: its contents, typed by its identifier.
        const auto* node = static_cast<const ASN1_UNIT*>(value);
        String s(new_ASN1_STRING());
        const int n = getASN1ValueLength(node);
        if (!s || n < 0 || set_ASN1_STRING_value(s.get(), tag, node->value, n) != 0) return code(VCL_R_MALLOC);
        copy = s.release();
    } else {
        copy = dup_ASN1_STRING(static_cast<const ASN1_STRING*>(value));
        if (!copy) return code(VCL_R_MALLOC);
    }
    *out = copy;
    return 0;
}

VCL_API int VCL_X509_get_subjectkeyidentifier(const X509_CERT* cert, ASN1_STRING** out) {
    if (!cert || !cert->tbs || !out) return 0;
    const X509_EXTENSIONS* list = cert->tbs->extensions;
    const int at = get_X509_EXTENSION_index_by_OID_index(list, kRowSubjectKeyId, -1);
    const X509_EXTENSION* ext = at >= 0 ? get_X509_EXTENSION(list, at) : nullptr;
    if (!ext || !ext->extnValue || !ext->extnValue->data) return 0;
    ASN1_STRING* id = decodeToDERASN1String(ext->extnValue->data, ext->extnValue->length);
    if (id) *out = id;
    return 0;
}

}  // extern "C"
