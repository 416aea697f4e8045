// CMS enveloped data for one RSA recipient: making it under a named cipher,
// and opening it with the recipient's certificate and private key.
#include <cstring>
#include <string_view>

#include <zunCore/cms.h>
#include <zunCore/pkcs7.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/pkcs/cms_env.h>

#include "crypto/cms_internal.hpp"
#include "crypto/pkcs7_internal.hpp"

namespace {

using zcore::code;
using zcore::Secret;
using zcore::cms::Message;
using namespace zcore::cms;
using zcore::p7::bytesOf;

constexpr int kSetType = 0x33;
constexpr int kGetOid = 0x46;
constexpr int kSetAlgorithm = 0x47;
constexpr int kSetRecipient = 0x48;
constexpr int kEncrypt = 0x49;
constexpr int kContentKey = 0x4a;
constexpr int kDecrypt = 0x4b;

// The content-encryption AlgorithmIdentifier of a cipher name, without
// parameters (the encryption writes the IV into them), and the cipher's id.
int cipherAlgorithm(const char* name, zcore::p7::Algorithm& out, int& cipherId) {
    int row = 0;
    if (int rc = VCL_PK7_name_to_oid(name, &row); rc != 0) return rc;
    // A digest name has a row too, but no cipher.
    cipherId = get_CipherID_from_OID(row);
    OBJECT_IDENTIFIER* oid = cipherId ? index_to_OBJECT_IDENTIFIER(row) : nullptr;
    if (!oid) return code(kCatMakeEnv, kGetOid);
    out.reset(new_X509_ALGO_IDENTIFIER());
    if (!out) {
        free_OBJECT_IDENTIFIER(oid);
        return code(kCatMakeEnv, kSetAlgorithm);
    }
    out->algorithm = oid;
    return 0;
}

// The labels an enveloped content may carry; any other is id-data.
int contentTypeRow(int asked) {
    switch (asked) {
        case CMS_DATA:
        case CMS_SIGNED_DATA_TYPE:
        case CMS_ENVELOPED_DATA_TYPE:
        case CMS_ENCRYPTED_DATA_TYPE:
            return asked;
        default:
            return CMS_DATA;
    }
}

const CMS_ENCRYPTED_CONTENT_INFO* encryptedContentOf(const CMS_CONTENT_INFO* cms) {
    if (typeRow(cms) != CMS_ENVELOPED_DATA_TYPE || !cms->content) return nullptr;
    return static_cast<const CMS_ENVELOPED_DATA*>(cms->content)->encryptedContentInfo;
}

}  // namespace

extern "C" {

VCL_API int VCL_CMS_Make_Enveloped_Data(const void* data, int data_len, int content_type, const CERT_ITEM* recipient,
                                        const char* cipher_name, const void* key, const void* iv, int encoding,
                                        char** out, int* out_len, int rsaes_mode) {
    if (data_len <= 0) return code(kCatMakeEnv, VCL_R_ZERO_LENGTH);
    if (!data || !out || !out_len) return code(kCatMakeEnv, VCL_R_NULL_PARAM);
    if (!recipient) return code(kCatMake, VCL_R_NULL_PARAM);
    if (recipient->len <= 0) return code(kCatMake, VCL_R_ZERO_LENGTH);
    if (!recipient->data) return code(kCatMake, VCL_R_NULL_PARAM);
    Message cms(new_CMS_CONTENT_INFO());
    if (!cms) return code(kCatMakeEnv, VCL_R_MALLOC);
    if (set_CMS_Type(cms.get(), CMS_ENVELOPED_DATA_TYPE) != 0) return code(kCatMakeEnv, kSetType);
    zcore::p7::Algorithm alg;
    int cipherId = 0;
    if (int rc = cipherAlgorithm(cipher_name, alg, cipherId); rc != 0) return rc;
    zcore::Cert cert;
    if (int rc = zcore::p7::certOf(recipient->data, recipient->len, cert); rc != 0) return rc;
    // OAEP (8, 16) is labelled with its default parameters by the library.
    if (add_CMS_Recipient(cms.get(), cert.get(), rsaes_mode, nullptr, 0) != 0) return code(kCatMakeEnv, kSetRecipient);
    const int row = contentTypeRow(content_type);
    const auto* bytes = static_cast<const unsigned char*>(data);
    int rc = 0;
    if (key && iv) {
        const auto* k = static_cast<const unsigned char*>(key);
        const auto* v = static_cast<const unsigned char*>(iv);
        rc = set_CMS_Cipher(cms.get(), cipherId, k, v, 1);
        if (rc == 0) rc = encrypt_CMS_userKEY(cms.get(), row, alg.get(), bytes, data_len, k, v, rsaes_mode);
    } else {
        rc = encrypt_CMS(cms.get(), row, alg.get(), bytes, data_len, rsaes_mode);
    }
    if (rc != 0) return code(kCatMakeEnv, kEncrypt);
    return VCL_CMS_encode_cms(cms.get(), encoding, out, out_len);
}

VCL_API int VCL_CMS_Verify_Enveloped_Data(int in_encoding, const void* message, int message_len,
                                          const void* recipient_cert, int cert_len, const void* private_key,
                                          int key_len, const char* password, unsigned char* key_out, int* key_out_len,
                                          unsigned char* iv_out, int* iv_out_len, char** content, int* content_len) {
    constexpr int cat = kCatOpenEnv;
    if (!content || !content_len) return code(cat, VCL_R_NULL_PARAM);
    *content = nullptr;
    *content_len = 0;
    if (message_len < 1 || cert_len < 1 || key_len < 1) return code(cat, VCL_R_ZERO_LENGTH);
    if (!message || !recipient_cert || !private_key) return code(cat, VCL_R_NULL_PARAM);
    Message cms;
    if (int rc = decode(in_encoding, message, message_len, cms); rc != 0) return rc;
    zcore::Cert cert;
    if (int rc = zcore::p7::certOf(recipient_cert, cert_len, cert); rc != 0) return rc;
    ASYMMETRIC_KEY* rawKey = nullptr;
    const int opened = VCL_PK1_priv_convert_keyunit(private_key, key_len, password,
                                                    password ? static_cast<int>(std::strlen(password)) : 0, &rawKey);
    zcore::AsymKey key(rawKey);
    if (opened != 0) return opened;
    if (RSA_UNIT* rsa = zcore::rsaOf(key.get())) rsa->operation = zcore::p7::kPrivateOperation;

    const CMS_ENCRYPTED_CONTENT_INFO* eci = encryptedContentOf(cms.get());
    int cekRoom = 0, ivRoom = 0;
    zcore::p7::keyRoom(eci, cekRoom, ivRoom);
    // The content is never longer than its ciphertext.
    const OCTET_STRING* encrypted = eci ? eci->encryptedContent : nullptr;
    const int room = encrypted && encrypted->length > 0 ? encrypted->length : 0;
    int rc = code(cat, kContentKey);
    // The key transport is tried as PKCS#1 v1.5, then as OAEP.
    for (int mode : {VCL_PK7_RSAES_PKCS1_V15, VCL_PK7_RSAES_OAEP_V21}) {
        Secret cek;
        cek.resize(static_cast<size_t>(cekRoom));
        int cekLen = cekRoom;
        if (decrypt_content_encryption_key(cms.get(), cert.get(), key.get(), cek.u(), &cekLen, mode) != 0) {
            rc = code(cat, kContentKey);
            continue;
        }
        Secret plain;
        plain.resize(static_cast<size_t>(room > 0 ? room : 1));
        int len = room;
        if (room <= 0 || decrypt_CMS(cms.get(), cek.u(), nullptr, plain.u(), &len) != 0 || len < 0 || len > room) {
            rc = code(cat, kDecrypt);
            continue;
        }
        const std::string_view iv = zcore::p7::ivOf(eci);
        if (static_cast<int>(iv.size()) > ivRoom) return code(cat, kDecrypt);
        if (!zcore::handOut(plain.view().substr(0, static_cast<size_t>(len)), content, content_len))
            return code(cat, VCL_R_MALLOC);
        if (key_out && key_out_len) {
            std::memcpy(key_out, cek.data(), static_cast<size_t>(cekLen));
            *key_out_len = cekLen;
        }
        if (iv_out && iv_out_len) {
            if (!iv.empty()) std::memcpy(iv_out, iv.data(), iv.size());
            *iv_out_len = static_cast<int>(iv.size());
        }
        return 0;
    }
    return rc;
}

}  // extern "C"
