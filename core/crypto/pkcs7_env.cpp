// PKCS#7 enveloped and signed-and-enveloped data for one RSA recipient:
// making them under a named cipher, and opening them with the recipient's
// certificate and private key.
#include <cstring>
#include <string_view>

#include <zunCore/cipher.h>
#include <zunCore/pkcs7.h>
#include <zunCore/util.h>
#include <zunCore/x509_conv.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/x509/rsa_param.h>

#include "crypto/pkcs7_internal.hpp"

namespace {

using zcore::code;
using zcore::Secret;
using namespace zcore::p7;

// The largest key and IV of the crypto layer's ciphers: the room given
// for a cipher the table does not name (the decryption checks the lengths
// against the cipher the message names).
constexpr int kMaxKey = 32;
constexpr int kMaxIv = 16;

// The content-encryption AlgorithmIdentifier of a cipher name, without
// parameters (the encryption writes the IV into them).
int cipherAlgorithm(const char* name, Algorithm& out) {
    int row = 0;
    if (int rc = VCL_PK7_name_to_oid(name, &row); rc != 0) return rc;
    OBJECT_IDENTIFIER* oid = index_to_OBJECT_IDENTIFIER(row);
    if (!oid) return code(kCatMakeEnv, kGetOid);
    out.reset(new_X509_ALGO_IDENTIFIER());
    if (!out) {
        free_OBJECT_IDENTIFIER(oid);
        return code(kCatMakeEnv, kSetAlgorithm);
    }
    out->algorithm = oid;
    return 0;
}

bool isOaep(int mode) { return mode == VCL_PK7_RSAES_OAEP || mode == VCL_PK7_RSAES_OAEP_V21; }

const P7_ENCRYPTED_CONTENT_INFO* encryptedContentOf(const P7_CONTENT_INFO* p7) {
    switch (typeRow(p7)) {
        case P7_ENVELOPED_DATA_TYPE:
            return static_cast<const P7_ENVELOPED_DATA*>(p7->content)
                       ? static_cast<const P7_ENVELOPED_DATA*>(p7->content)->encryptedContentInfo
                       : nullptr;
        case P7_SIGNED_AND_ENVELOPED_DATA_TYPE:
            return static_cast<const P7_SIGNED_AND_ENVELOPED_DATA*>(p7->content)
                       ? static_cast<const P7_SIGNED_AND_ENVELOPED_DATA*>(p7->content)->encryptedContentInfo
                       : nullptr;
        default:
            return nullptr;
    }
}

// Room for the content key and IV of the message's cipher.
void keyRoom(const P7_ENCRYPTED_CONTENT_INFO* eci, int& key, int& iv) {
    key = kMaxKey;
    iv = kMaxIv;
    const X509_ALGO_IDENTIFIER* alg = eci ? eci->contentEncryptionAlgorithm : nullptr;
    const int id = alg ? get_CipherID_from_OID(index_from_OBJECT_IDENTIFIER(alg->algorithm)) : 0;
    if (id == 0) return;
    if (const int k = VSC_Get_Key_Length(id); k > 0) key = k;
    if (const int v = VSC_Get_IV_Length(id); v >= 0) iv = v;
}

// The IV a message names: its OCTET STRING parameters; none for a NULL or
// no parameters.
std::string_view ivOf(const P7_ENCRYPTED_CONTENT_INFO* eci) {
    const X509_ALGO_IDENTIFIER* alg = eci ? eci->contentEncryptionAlgorithm : nullptr;
    const ASN1_STRING* p = alg ? alg->parameters : nullptr;
    if (!p || p->type == ASN1_TAG_NULL) return {};
    return bytesOf(p->data, p->length);
}

struct Opening {
    int cat;
    bool signedToo;
};

int openEnvelope(const Opening& how, int inEncoding, const void* message, int messageLen, const void* certBytes,
                 int certLen, const void* keyBytes, int keyLen, const char* password, unsigned char* keyOut,
                 int* keyOutLen, unsigned char* ivOut, int* ivOutLen, char** content, int* contentLen) {
    const int cat = how.cat;
    if (!content || !contentLen) return code(cat, VCL_R_NULL_PARAM);
    *content = nullptr;
    *contentLen = 0;
    if (messageLen < 1 || certLen < 1 || keyLen < 1) return code(cat, VCL_R_ZERO_LENGTH);
    if (!message || !certBytes || !keyBytes) return code(cat, VCL_R_NULL_PARAM);
    ContentInfo p7;
    if (int rc = decode(inEncoding, message, messageLen, p7); rc != 0) return rc;
    zcore::Cert cert;
    if (int rc = certOf(certBytes, certLen, cert); rc != 0) return rc;
    ASYMMETRIC_KEY* rawKey = nullptr;
    const int opened = VCL_PK1_priv_convert_keyunit(keyBytes, keyLen, password,
                                                    password ? static_cast<int>(std::strlen(password)) : 0, &rawKey);
    zcore::AsymKey key(rawKey);
    if (opened != 0) return opened;
    if (RSA_UNIT* rsa = zcore::rsaOf(key.get())) rsa->operation = kPrivateOperation;

    const P7_ENCRYPTED_CONTENT_INFO* eci = encryptedContentOf(p7.get());
    int cekRoom = 0, ivRoom = 0;
    keyRoom(eci, cekRoom, ivRoom);
    const int room = get_PKCS7_ENCRYPTED_CONTENT_length(p7.get());
    Secret plain;
    int rc = code(cat, kContentKey);
    // The key transport is tried as PKCS#1 v1.5, then as OAEP.
    for (int mode : {VCL_PK7_RSAES_PKCS1_V15, VCL_PK7_RSAES_OAEP_V21}) {
        Secret cek;
        cek.resize(static_cast<size_t>(cekRoom));
        int cekLen = cekRoom;
        if (decrypt_PKCS7_enveloped_CEK(p7.get(), cert.get(), key.get(), cek.data(), &cekLen, mode) != 0) {
            rc = code(cat, kContentKey);
            continue;
        }
        plain.resize(static_cast<size_t>(room > 0 ? room : 1));
        int len = plain.size();
        const int done = how.signedToo ? verify_decrypt_PKCS7(p7.get(), nullptr, cek.data(), plain.data(), &len)
                                       : decrypt_PKCS7(p7.get(), cek.data(), nullptr, plain.data(), &len);
        if (done != 0) {
            rc = code(cat, how.signedToo ? kVerifyDecrypt : kDecrypt);
            continue;
        }
        const std::string_view iv = ivOf(eci);
        if (static_cast<int>(iv.size()) > ivRoom) return code(cat, kDecrypt);
        if (!zcore::handOut(plain.view().substr(0, static_cast<size_t>(len)), content, contentLen))
            return code(cat, VCL_R_MALLOC);
        if (keyOut && keyOutLen) {
            std::memcpy(keyOut, cek.data(), static_cast<size_t>(cekLen));
            *keyOutLen = cekLen;
        }
        if (ivOut && ivOutLen) {
            if (!iv.empty()) std::memcpy(ivOut, iv.data(), iv.size());
            *ivOutLen = static_cast<int>(iv.size());
        }
        return 0;
    }
    return rc;
}

}  // namespace

extern "C" {

VCL_API int VCL_PK7_Make_Enveloped_Data(const void* data, int data_len, const CERT_ITEM* recipient,
                                        const char* cipher_name, const void* key, const void* iv, int encoding,
                                        char** out, int* out_len, int rsaes_mode) {
    if (data_len <= 0) return code(kCatMakeEnv, VCL_R_ZERO_LENGTH);
    if (!data || !out || !out_len) return code(kCatMakeEnv, VCL_R_NULL_PARAM);
    if (!recipient) return code(kCatMake, VCL_R_NULL_PARAM);
    if (recipient->len <= 0) return code(kCatMake, VCL_R_ZERO_LENGTH);
    if (!recipient->data) return code(kCatMake, VCL_R_NULL_PARAM);
    ContentInfo p7(new_P7_CONTENT_INFO());
    if (!p7) return code(kCatMakeEnv, VCL_R_MALLOC);
    if (set_PKCS7_Type(p7.get(), P7_ENVELOPED_DATA_TYPE) != 0) return code(kCatMakeEnv, kSetType);
    Algorithm alg;
    if (int rc = cipherAlgorithm(cipher_name, alg); rc != 0) return rc;
    zcore::Cert cert;
    if (int rc = certOf(recipient->data, recipient->len, cert); rc != 0) return rc;
    P7_RECIPIENT_INFO* ri = nullptr;
    if (isOaep(rsaes_mode)) {
        zcore::Owned<RSAES_OAEP_PARAM, free_RSAES_OAEP_PARAM> oaep(new_RSAES_OAEP_PARAM());
        if (oaep) ri = add_PKCS7_Recipient_withEncryptedAlgorithm(p7.get(), cert.get(), rsaes_mode, oaep.get());
    } else {
        ri = add_PKCS7_Recipient(p7.get(), cert.get());
    }
    if (!ri) return code(kCatMakeEnv, kSetRecipient);
    const char* bytes = static_cast<const char*>(data);
    const int rc = key && iv ? encrypt_PKCS7_userKEY(p7.get(), P7_DATA, alg.get(), bytes, data_len, key, iv, rsaes_mode)
                             : encrypt_PKCS7(p7.get(), P7_DATA, alg.get(), bytes, data_len, rsaes_mode);
    if (rc != 0) return code(kCatMakeEnv, kEncrypt);
    return VCL_PK7_encode_pkcs7(p7.get(), encoding, out, out_len);
}

VCL_API int VCL_PK7_Verify_Enveloped_Data(int in_encoding, const void* message, int message_len,
                                          const void* recipient_cert, int cert_len, const void* private_key,
                                          int key_len, const char* password, unsigned char* key_out, int* key_out_len,
                                          unsigned char* iv_out, int* iv_out_len, char** content, int* content_len) {
    return openEnvelope({kCatOpenEnv, false}, in_encoding, message, message_len, recipient_cert, cert_len, private_key,
                        key_len, password, key_out, key_out_len, iv_out, iv_out_len, content, content_len);
}

VCL_API int VCL_PK7_Verify_Signed_And_Enveloped_Data(int in_encoding, const void* message, int message_len,
                                                     const void* recipient_cert, int cert_len, const void* private_key,
                                                     int key_len, const char* password, unsigned char* key_out,
                                                     int* key_out_len, unsigned char* iv_out, int* iv_out_len,
                                                     char** content, int* content_len) {
    return openEnvelope({kCatOpenSignedEnv, true}, in_encoding, message, message_len, recipient_cert, cert_len,
                        private_key, key_len, password, key_out, key_out_len, iv_out, iv_out_len, content, content_len);
}

VCL_API int VCL_PK7_Make_Signed_And_Enveloped_Data(const void* data, int data_len, const PKISTRINFO* recipient,
                                                   const PKISTRINFO* signer, const char* hash_name,
                                                   const ASN1_TIME* sign_time, const char* cipher_name, const void* key,
                                                   const void* iv, int encoding, char** out, int* out_len,
                                                   int rsaes_mode) {
    constexpr int cat = kCatMakeSignedEnv;
    if (!recipient || !signer) return code(cat, VCL_R_NULL_PARAM);
    if (data_len <= 0 || !data || recipient->cert_len <= 0 || signer->cert_len <= 0 || signer->key_len <= 0)
        return code(cat, VCL_R_ZERO_LENGTH);
    if (!recipient->cert || !signer->cert || !signer->key || !out || !out_len) return code(cat, VCL_R_NULL_PARAM);
    int digestRow = 0;
    if (int rc = VCL_PK7_name_to_oid(hash_name, &digestRow); rc != 0) return rc;
    Algorithm alg;
    if (int rc = cipherAlgorithm(cipher_name, alg); rc != 0) return rc;
    ContentInfo p7(new_P7_CONTENT_INFO());
    if (!p7) return code(cat, VCL_R_MALLOC);
    if (set_PKCS7_Type(p7.get(), P7_SIGNED_AND_ENVELOPED_DATA_TYPE) != 0) return code(cat, kSetType);
    zcore::Cert signerCert;
    zcore::AsymKey signerKey;
    if (int rc = openSigner(signer, signerCert, signerKey); rc != 0) return rc;
    P7_SIGNER_INFO* si = add_PKCS7_Signature(p7.get(), signerCert.get(), signerKey.get(), digestRow);
    if (!si) return code(cat, kMakeSigner);
    if (add_PKCS7_Certificate(p7.get(), signerCert.get()) != 0) return code(cat, kSetCert);
    UtcTime time = signingTime(sign_time);
    if (!time) return code(kCatMake, VCL_R_NULL_PARAM);
    unsigned char* d = nullptr;
    int n = 0;
    if (int rc = VCL_HASH_Data(data, data_len, &d, &n, hash_name); rc != 0) return rc;
    Secret digest(bytesOf(d, n));
    VCL_Free(d, n);
    if (int rc = addAttributes(si, false, time.get(), digest.view(), cat); rc != 0) return rc;
    zcore::Cert recipientCert;
    if (int rc = certOf(recipient->cert, recipient->cert_len, recipientCert); rc != 0) return rc;
    if (!add_PKCS7_Recipient(p7.get(), recipientCert.get())) return code(cat, kSetRecipient);
    const char* bytes = static_cast<const char*>(data);
    const int rc = key && iv
                       ? sign_encrypt_PKCS7_userKEY(p7.get(), P7_DATA, alg.get(), bytes, data_len, key, iv, rsaes_mode)
                       : sign_encrypt_PKCS7(p7.get(), P7_DATA, alg.get(), bytes, data_len, rsaes_mode);
    if (rc != 0) return code(cat, kSignEncrypt);
    return VCL_PK7_encode_pkcs7(p7.get(), encoding, out, out_len);
}

}  // extern "C"
