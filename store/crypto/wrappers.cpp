// The core's ciphers, RSA operations and random bytes under the store's
// names: arguments checked, results copied into buffers of ours.
#include <zephaltpavix/crypto.h>
#include <zunCore/cipher.h>
#include <zunCore/crypto.h>
#include <zunCore/pkcs1.h>

#include "base/store_internal.hpp"

namespace {

bool present(const void* p, int len) { return p && len > 0; }

void clear(char** out, int* outLen) {
    if (out) *out = nullptr;
    if (outLen) *outLen = 0;
}

// The core's result handed out: its failure logged and returned as it is,
// its buffer copied into ours (the core's is zeroed as it goes).
int deliver(const char* fn, int rc, const zstore::CoreBuffer& made, char** out, int* outLen) {
    if (rc != 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : core Fail (0x%08x)\n", fn, static_cast<unsigned>(rc));
        return rc;
    }
    if (zstore::handOut(made.view(), out, outLen) != 0) return zstore::fail(fn, VPL_ERR_MALLOC);
    return 0;
}

int deliver(const char* fn, int rc, const zstore::CoreBuffer& made, void** out, int* outLen) {
    char* text = nullptr;
    const int result = deliver(fn, rc, made, &text, outLen);
    *out = text;
    return result;
}

bool isEcb(const char* cipherName) { return zstore::findNoCase(zstore::field(cipherName), "ECB") != std::string::npos; }

}  // namespace

extern "C" {

VPL_API int VPL_Symmetric_Crypto(int mode, const void* key, int keyLen, const void* iv, int ivLen,
                                 const char* cipherName, int padFlag, int encoding, const void* in, int inLen,
                                 char** out, int* outLen) {
    static const char* const kFn = "VPL_Symmetric_Crypto";
    clear(out, outLen);
    if (!key || !iv || !in || !out || !outLen || !cipherName || inLen < 0)
        return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    // The core reads as many key and IV bytes as the cipher takes: shorter
    // buffers are refused here rather than read past their end.
    int needKey = 0;
    if (VCL_SYM_Get_Key_Length(cipherName, &needKey) == 0 && keyLen < needKey) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : key length %d, %s takes %d\n", kFn, keyLen, cipherName, needKey);
        return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    }
    const int needIv = VCL_SYM_Get_Block_Length(cipherName);
    if (!isEcb(cipherName) && ivLen < needIv) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : IV length %d, %s takes %d\n", kFn, ivLen, cipherName, needIv);
        return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    }
    zstore::CoreBuffer made;
    const int rc = mode == 1
                       ? VCL_SYM_Encrypt(key, iv, cipherName, padFlag, in, inLen, &made.bytes, &made.len, encoding)
                       : VCL_SYM_Decrypt(key, iv, cipherName, padFlag, in, inLen, &made.bytes, &made.len, encoding);
    return deliver(kFn, rc, made, out, outLen);
}

VPL_API int VPL_RSA_Private_Crypto(int mode, const void* key, int keyLen, const char* password, int passwordLen,
                                   int scheme, int encoding, const char* hashName, const void* in, int inLen,
                                   void** out, int* outLen) {
    static const char* const kFn = "VPL_RSA_Private_Crypto";
    if (out) *out = nullptr;
    if (outLen) *outLen = 0;
    if (!present(key, keyLen) || !password || passwordLen < 0 || !present(in, inLen) || !out || !outLen)
        return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    zstore::CoreBuffer made;
    const auto s = static_cast<unsigned char>(scheme);
    const int rc = mode == 1 ? VCL_PK1_Private_Encrypt_ex(key, keyLen, password, passwordLen, s, in, inLen, &made.bytes,
                                                          &made.len, encoding, hashName)
                             : VCL_PK1_Private_Decrypt_ex(key, keyLen, password, passwordLen, s, in, inLen, &made.bytes,
                                                          &made.len, encoding, hashName);
    return deliver(kFn, rc, made, out, outLen);
}

VPL_API int VPL_RSA_Public_Crypto(int mode, const void* certOrKey, int certOrKeyLen, int scheme, int encoding,
                                  const char* hashName, const void* in, int inLen, void** out, int* outLen) {
    static const char* const kFn = "VPL_RSA_Public_Crypto";
    if (out) *out = nullptr;
    if (outLen) *outLen = 0;
    if (!present(certOrKey, certOrKeyLen) || !present(in, inLen) || !out || !outLen)
        return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    zstore::CoreBuffer made;
    const auto s = static_cast<unsigned char>(scheme);
    const int rc = mode == 1 ? VCL_PK1_Public_Encrypt_ex(certOrKey, certOrKeyLen, s, in, inLen, &made.bytes, &made.len,
                                                         encoding, hashName)
                             : VCL_PK1_Public_Decrypt_ex(certOrKey, certOrKeyLen, s, in, inLen, &made.bytes, &made.len,
                                                         encoding, hashName);
    return deliver(kFn, rc, made, out, outLen);
}

VPL_API int VPL_RSA_Private_Sign(const void* key, int keyLen, const char* password, int passwordLen, int scheme,
                                 int encoding, const char* hashName, const void* data, int dataLen, void** signature,
                                 int* signatureLen) {
    static const char* const kFn = "VPL_RSA_Private_Sign";
    if (signature) *signature = nullptr;
    if (signatureLen) *signatureLen = 0;
    if (!present(key, keyLen) || !password || passwordLen < 0 || !present(data, dataLen) || !signature || !signatureLen)
        return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    zstore::CoreBuffer made;
    VCL_COM_Change_Non_Proven();
    const int rc = VCL_PK1_Private_Sign(key, keyLen, password, passwordLen, static_cast<unsigned char>(scheme),
                                        hashName, data, dataLen, &made.bytes, &made.len, encoding);
    return deliver(kFn, rc, made, signature, signatureLen);
}

VPL_API int VPL_RSA_Public_Verify(const void* certOrKey, int certOrKeyLen, int scheme, int encoding,
                                  const char* hashName, const void* data, int dataLen, const void* signature,
                                  int signatureLen) {
    static const char* const kFn = "VPL_RSA_Public_Verify";
    if (!present(certOrKey, certOrKeyLen) || !present(data, dataLen) || !present(signature, signatureLen))
        return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    const int rc = VCL_PK1_Public_Verify(certOrKey, certOrKeyLen, static_cast<unsigned char>(scheme), hashName, data,
                                         dataLen, signature, signatureLen, encoding);
    if (rc != 0)
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : VCL_PK1_Public_Verify Fail (0x%08x)\n", kFn, static_cast<unsigned>(rc));
    return rc;
}

VPL_API int VPL_Generator_Random(int len, void** out) {
    static const char* const kFn = "VPL_Generator_Random";
    if (!out) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *out = nullptr;
    if (len <= 0) return zstore::fail(kFn, -1);
    char* buffer = zstore::newBuffer(std::string(static_cast<size_t>(len), '\0'));
    if (!buffer) return zstore::fail(kFn, VPL_ERR_MALLOC);
    VCL_COM_Change_Non_Proven();
    if (VCL_DRBG_Get_Random(reinterpret_cast<unsigned char*>(buffer), len) != 0) {
        zstore::release(buffer, len);
        return zstore::fail(kFn, -1);
    }
    *out = buffer;
    return 0;
}

VPL_API int VPL_COM_Change_Non_Proven(void) { return VCL_COM_Change_Non_Proven(); }

}  // extern "C"
