// PKCS#1 encryption and signature schemes, and KCDSA signatures: the scheme
// layer on opened keys, and the operations on key and certificate bytes.
#include <cstring>

#include <zunCore/crypto.h>
#include <zunCore/encode.h>
#include <zunCore/error.h>
#include <zunCore/keys.h>
#include <zunCore/pkcs1.h>
#include <zunCore/pkcs8.h>
#include <zunCore/util.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/x509/x509_sig.h>

#include "crypto/keys_internal.hpp"

namespace {

using zcore::code;

constexpr int kEnc = VCL_CAT_PKCS1_CRYPTO_PK1_RSAES;
constexpr int kDec = VCL_CAT_PKCS1_CRYPTO_PK1_RSADS;
constexpr int kSign = VCL_CAT_PKCS1_CRYPTO_PK1_RSASS;
constexpr int kVerify = VCL_CAT_PKCS1_CRYPTO_PK1_RSAVS;
constexpr int kPrivEnc = VCL_CAT_PKCS1_CRYPTO_PK1_PRIV_ENC;
constexpr int kDecrypt = VCL_CAT_PKCS1_CRYPTO_PK1_PUBK_DEC;  // both directions
constexpr int kPrivSign = VCL_CAT_PKCS1_CRYPTO_PK1_PK8_SIGN;
constexpr int kPubVerify = VCL_CAT_PKCS1_CRYPTO_PK1_CERT_VERI;
constexpr int kPubEnc = VCL_CAT_PKCS1_CRYPTO_PK1_PUBK_ENC;
constexpr int kHashSign = VCL_CAT_PKCS1_CRYPTO_PK1_HASH_SIGN;

// What the crypto layer's VSC_FAIL becomes, by operation.
constexpr int kEncFailed = code(kEnc, 0x50);
constexpr int kDecFailed = code(kEnc, 0x51);
constexpr int kSignFailed = code(kEnc, 0x52);
constexpr int kVerifyFailed = code(kEnc, 0x53);

constexpr int kReasonNoModulus = 0x2b;
constexpr int kReasonEncodeFailed = 0x5c;
// The private-key operation word of an RSA unit.
constexpr int kPrivateOperation = 7;

constexpr unsigned char kSchemesTried[] = {VCL_RSA_PKCS1_V15, VCL_RSA_OAEP, VCL_RSA_OAEP_V21};

int lowByte(int mode) { return mode & 0xff; }
bool isBase64(int encoding) {
    const unsigned char e = static_cast<unsigned char>(encoding);
    return e == VCL_PK1_BASE64 || e == VCL_PK1_BASE64_LINES;
}

template <typename T>
bool clearOut(T** out, int* outLen) {
    if (!out || !outLen) return false;
    *out = nullptr;
    *outLen = 0;
    return true;
}

// The result in the encoding asked for; cat names the caller's codes.
int handOutEncoded(const zcore::Secret& bytes, int encoding, int cat, unsigned char** out, int* outLen) {
    if (isBase64(encoding)) {
        char* text = nullptr;
        const int n = VCL_Base64_Encode(bytes.u(), bytes.size(), &text,
                                        static_cast<unsigned char>(encoding) == VCL_PK1_BASE64_LINES);
        if (n <= 0 || !text) {
            VCL_Free(text, n);
            return code(cat, VCL_R_ENCODE_BASE64);
        }
        *out = reinterpret_cast<unsigned char*>(text);
        *outLen = n;
        return 0;
    }
    return zcore::handOut(bytes.view(), out, outLen) ? 0 : code(cat, VCL_R_MALLOC);
}

// The input in raw bytes: Base64 decoded for encodings 0 and 1.
int decodeInput(const void* in, int inLen, int encoding, int cat, zcore::Secret& out) {
    if (!isBase64(encoding)) {
        out.assign(in, static_cast<size_t>(inLen));
        return 0;
    }
    unsigned char* raw = nullptr;
    const int n = VCL_Base64_Decode(static_cast<const char*>(in), inLen, &raw);
    if (n <= 0 || !raw) {
        VCL_Free(raw, 0);
        return code(cat, VCL_R_DECODE_BASE64);
    }
    out.assign(raw, static_cast<size_t>(n));
    VCL_Free(raw, n);
    return 0;
}

int openPrivate(const void* key, int keyLen, const char* pw, int pwLen, zcore::AsymKey& out) {
    ASYMMETRIC_KEY* raw = nullptr;
    const int rc = VCL_PK1_priv_convert_keyunit(key, keyLen, pw, pwLen, &raw);
    out.reset(raw);
    return rc;
}

int openPublic(const void* cert, int certLen, zcore::AsymKey& out) {
    ASYMMETRIC_KEY* raw = nullptr;
    const int rc = VCL_PK1_pubk_convert_keyunit(cert, certLen, &raw);
    out.reset(raw);
    return rc;
}

int rsaScheme(bool encrypt, RSA_UNIT* rsa, int mode, const void* inBytes, int inLen, unsigned char* out, int* outLen,
              const char* hashName) {
    const int cat = encrypt ? kEnc : kDec;
    const auto* in = static_cast<const unsigned char*>(inBytes);
    if (!rsa || !in || inLen <= 0 || !out || !outLen) return code(cat, VCL_R_NULL_PARAM);
    const int scheme = lowByte(mode);
    if (scheme != VCL_RSA_RAW && scheme != VCL_RSA_OAEP && scheme != VCL_RSA_OAEP_V21 && scheme != VCL_RSA_PKCS1_V15)
        return code(cat, VCL_R_UNSUPPORTED_PADDING);
    int digest = 0;
    if (VCL_COM_convert_hash_name(hashName, &digest) != 0) return code(cat, VCL_R_UNSUPPORTED_NAME);
    const int k = VSC_Get_RSA_Length(rsa);
    if (k <= 0) return code(cat, kReasonNoModulus);
    // Encryption writes the modulus length whatever it is given.
    if (encrypt && *outLen < k) return code(cat, VCL_R_INVALID_LENGTH);
    if (*outLen <= 0) return code(cat, VCL_R_INVALID_LENGTH);
    const bool usePrivate = rsa->is_private == 1;
    if (usePrivate) rsa->operation = kPrivateOperation;
    if (int rc = VSC_Init_RSAES(rsa, mode, usePrivate ? 1 : 0, digest); rc != 0) return rc;
    const int rc =
        encrypt ? VSC_Encrypt_RSAES(rsa, out, outLen, in, inLen) : VSC_Decrypt_RSAES(rsa, out, outLen, in, inLen);
    if (rc == VSC_FAIL) return encrypt ? kEncFailed : kDecFailed;
    return rc;
}

// The scheme's mode with the OAEP digest of hashName.
int oaepMode(unsigned char scheme, const char* hashName, int& mode) {
    return VCL_RSA_OAEP_make_padding_mode(scheme, hashName, &mode);
}

// Decryption of raw ciphertext with an opened RSA key under one scheme.
int decryptWith(RSA_UNIT* rsa, unsigned char scheme, const zcore::Secret& cipher, const char* hashName,
                unsigned char** out, int* outLen) {
    const int k = VSC_Get_RSA_Length(rsa);
    if (k <= 0) return code(kDecrypt, kReasonNoModulus);
    zcore::Secret plain;
    plain.resize(static_cast<size_t>(k));
    int n = k;
    if (int rc = VCL_PK1_decrypt_schemes(rsa, scheme, cipher.u(), cipher.size(), plain.u(), &n, hashName); rc != 0)
        return rc;
    if (!zcore::handOut(plain.view().substr(0, static_cast<size_t>(n)), out, outLen))
        return code(kDecrypt, VCL_R_MALLOC);
    return 0;
}

// Public- or private-key decryption under one scheme or, with tried set,
// under each of kSchemesTried.
int decryptBytes(bool usePrivate, const void* key, int keyLen, const char* pw, int pwLen, unsigned char scheme,
                 const void* in, int inLen, unsigned char** out, int* outLen, int encoding, const char* hashName,
                 unsigned char* tried, bool all) {
    if (!clearOut(out, outLen) || !key || keyLen <= 0 || !in || inLen <= 0) return code(kDecrypt, VCL_R_NULL_PARAM);
    zcore::Secret cipher;
    if (int rc = decodeInput(in, inLen, encoding, kDecrypt, cipher); rc != 0) return rc;
    zcore::AsymKey opened;
    if (int rc = usePrivate ? openPrivate(key, keyLen, pw, pwLen, opened) : openPublic(key, keyLen, opened); rc != 0)
        return rc;
    RSA_UNIT* rsa = zcore::rsaOf(opened.get());
    if (!rsa) return code(kDecrypt, zcore::kReasonKeyKind);
    if (!all) return decryptWith(rsa, scheme, cipher, hashName, out, outLen);
    int rc = 0;
    for (unsigned char s : kSchemesTried) {
        rc = decryptWith(rsa, s, cipher, "SHA1", out, outLen);
        if (rc == 0) {
            if (tried) *tried = s;
            return 0;
        }
    }
    return rc;
}

// Encryption with an opened RSA key.
int encryptBytes(RSA_UNIT* rsa, unsigned char scheme, const void* in, int inLen, const char* hashName, int cat,
                 int encoding, unsigned char** out, int* outLen) {
    const int k = VSC_Get_RSA_Length(rsa);
    if (k <= 0) return code(cat, kReasonNoModulus);
    zcore::Secret result;
    result.resize(static_cast<size_t>(k));
    int n = k;
    if (int rc = VCL_PK1_encrypt_schemes(rsa, scheme, in, inLen, result.u(), &n, hashName); rc != 0) return rc;
    zcore::Secret exact(result.view().substr(0, static_cast<size_t>(n)));
    return handOutEncoded(exact, encoding, cat, out, outLen);
}

int finalKcdsaSign(KCDSA_UNIT* k, int hashId, const unsigned char* data, int dataLen, unsigned char* sig, int* sigLen) {
    const int len = VSC_Get_KCDSA_Length(k);
    if (len <= 0) return code(kSign, zcore::kReasonKeyKind);
    zcore::Secret r, s;
    r.resize(static_cast<size_t>(2 * len + 1));
    s.resize(static_cast<size_t>(2 * len + 1));
    int rLen = r.size(), sLen = s.size();
    if (int rc = VSC_Init_KCDSA_Ex(k, 1, hashId); rc != 0) return rc;
    if (int rc = VSC_Update_KCDSA(k, data, dataLen); rc != 0) return rc;
    if (int rc = VSC_Final_KCDSA(k, r.u(), &rLen, s.u(), &sLen); rc != 0) return rc;
    unsigned char* raw = nullptr;
    const int n = encode_KCDSASignatureValue(&raw, r.u(), rLen, s.u(), sLen);
    zcore::VscPtr<unsigned char> der(raw);
    if (!der) return n;
    if (n > *sigLen) return code(kSign, VCL_R_INVALID_LENGTH);
    std::memcpy(sig, der.get(), static_cast<size_t>(n));
    *sigLen = n;
    return 0;
}

int finalKcdsaVerify(KCDSA_UNIT* k, int hashId, const unsigned char* data, int dataLen, const unsigned char* sig,
                     int sigLen) {
    const int len = VSC_Get_KCDSA_Length(k);
    if (len <= 0) return code(kVerify, zcore::kReasonKeyKind);
    zcore::Secret r, s;
    r.resize(static_cast<size_t>(2 * len + 1));
    s.resize(static_cast<size_t>(2 * len + 1));
    int rLen = r.size(), sLen = s.size();
    if (int rc = decode_KCDSASignatureValue(r.u(), &rLen, s.u(), &sLen, sig, sigLen); rc != 0) return rc;
    if (int rc = VSC_Init_KCDSA_Ex(k, 0, hashId); rc != 0) return rc;
    if (int rc = VSC_Update_KCDSA(k, data, dataLen); rc != 0) return rc;
    return VSC_Final_KCDSA(k, r.u(), &rLen, s.u(), &sLen);
}

}  // namespace

extern "C" {

// ---- Scheme layer ----------------------------------------------------------

VCL_API int VCL_PK1_encrypt_schemes_ex(RSA_UNIT* rsa, int mode, const void* in, int in_len, unsigned char* out,
                                       int* out_len, const char* hash_name) {
    return rsaScheme(true, rsa, mode, in, in_len, out, out_len, hash_name);
}

VCL_API int VCL_PK1_encrypt_schemes(RSA_UNIT* rsa, unsigned char scheme, const void* in, int in_len, unsigned char* out,
                                    int* out_len, const char* hash_name) {
    int mode = 0;
    if (int rc = oaepMode(scheme, hash_name, mode); rc != 0) return rc;
    return VCL_PK1_encrypt_schemes_ex(rsa, mode, in, in_len, out, out_len, hash_name);
}

VCL_API int VCL_PK1_decrypt_schemes_ex(RSA_UNIT* rsa, int mode, const void* in, int in_len, unsigned char* out,
                                       int* out_len, const char* hash_name) {
    return rsaScheme(false, rsa, mode, in, in_len, out, out_len, hash_name);
}

VCL_API int VCL_PK1_decrypt_schemes(RSA_UNIT* rsa, unsigned char scheme, const void* in, int in_len, unsigned char* out,
                                    int* out_len, const char* hash_name) {
    int mode = 0;
    if (int rc = oaepMode(scheme, hash_name, mode); rc != 0) return rc;
    return VCL_PK1_decrypt_schemes_ex(rsa, mode, in, in_len, out, out_len, hash_name);
}

VCL_API int VCL_PK1_signature_schemes_ex(ASYMMETRIC_KEY* asym, int mode, int hash_id, const void* data_v, int data_len,
                                         unsigned char* sig, int* sig_len) {
    const auto* data = static_cast<const unsigned char*>(data_v);
    if (!asym || !asym->key || !data || data_len <= 0 || !sig || !sig_len) return code(kSign, VCL_R_NULL_PARAM);
    if (lowByte(mode) >= 3) return code(kSign, VCL_R_UNSUPPORTED_PADDING);
    int rc = 0;
    if (asym->kind == ASYMMETRIC_KEY_KCDSA) {
        rc = finalKcdsaSign(static_cast<KCDSA_UNIT*>(asym->key), hash_id, data, data_len, sig, sig_len);
    } else if (asym->kind == ASYMMETRIC_KEY_RSA) {
        RSA_UNIT* rsa = static_cast<RSA_UNIT*>(asym->key);
        if (*sig_len < VSC_Get_RSA_Length(rsa)) return code(kSign, VCL_R_INVALID_LENGTH);
        rsa->operation = kPrivateOperation;
        rc = VSC_Init_RSASSA(rsa, hash_id, mode, 1);
        if (rc == 0) rc = VSC_Update_RSASSA(rsa, data, data_len);
        if (rc == 0) rc = VSC_Final_RSASSA(rsa, sig, sig_len);
    } else {
        return code(kSign, zcore::kReasonKeyKind);
    }
    return rc == VSC_FAIL ? kSignFailed : rc;
}

VCL_API int VCL_PK1_signature_schemes(ASYMMETRIC_KEY* asym, unsigned char scheme, int hash_id, const void* data,
                                      int data_len, unsigned char* sig, int* sig_len) {
    int mode = 0;
    if (int rc = VCL_RSA_PSS_make_padding_mode(scheme, hash_id, &mode); rc != 0) return rc;
    return VCL_PK1_signature_schemes_ex(asym, mode, hash_id, data, data_len, sig, sig_len);
}

VCL_API int VCL_PK1_verify_schemes_ex(ASYMMETRIC_KEY* asym, int mode, int hash_id, const void* data_v, int data_len,
                                      const void* sig_v, int sig_len) {
    const auto* data = static_cast<const unsigned char*>(data_v);
    const auto* sig = static_cast<const unsigned char*>(sig_v);
    if (!asym || !asym->key || !data || data_len <= 0 || !sig || sig_len <= 0) return code(kVerify, VCL_R_NULL_PARAM);
    if (lowByte(mode) > 2) return code(kVerify, VCL_R_UNSUPPORTED_PADDING);
    int rc = 0;
    if (asym->kind == ASYMMETRIC_KEY_KCDSA) {
        rc = finalKcdsaVerify(static_cast<KCDSA_UNIT*>(asym->key), hash_id, data, data_len, sig, sig_len);
    } else if (asym->kind == ASYMMETRIC_KEY_RSA) {
        RSA_UNIT* rsa = static_cast<RSA_UNIT*>(asym->key);
        zcore::Secret copy(zcore::viewOf(sig, sig_len));
        int len = copy.size();
        rc = VSC_Init_RSASSA(rsa, hash_id, mode, 0);
        if (rc == 0) rc = VSC_Update_RSASSA(rsa, data, data_len);
        if (rc == 0) rc = VSC_Final_RSASSA(rsa, copy.u(), &len);
    } else {
        return code(kVerify, zcore::kReasonKeyKind);
    }
    return rc == VSC_FAIL ? kVerifyFailed : rc;
}

VCL_API int VCL_PK1_verify_schemes(ASYMMETRIC_KEY* asym, unsigned char scheme, int hash_id, const void* data,
                                   int data_len, const void* sig, int sig_len) {
    int mode = 0;
    if (int rc = VCL_RSA_PSS_make_padding_mode(scheme, hash_id, &mode); rc != 0) return rc;
    return VCL_PK1_verify_schemes_ex(asym, mode, hash_id, data, data_len, sig, sig_len);
}

// ---- Encryption and decryption ---------------------------------------------

VCL_API int VCL_PK1_Private_Encrypt_ex(const void* key, int key_len, const char* password, int pw_len,
                                       unsigned char scheme, const void* in, int in_len, unsigned char** out,
                                       int* out_len, int encoding, const char* hash_name) {
    if (!clearOut(out, out_len)) return code(kPrivEnc, VCL_R_NULL_PARAM);
    if (key_len <= 0 || in_len <= 0) return code(kPrivEnc, VCL_R_ZERO_LENGTH);
    if (!key || !in) return code(kPrivEnc, VCL_R_NULL_PARAM);
    zcore::AsymKey opened;
    if (int rc = openPrivate(key, key_len, password, pw_len, opened); rc != 0) return rc;
    RSA_UNIT* rsa = zcore::rsaOf(opened.get());
    if (!rsa) return code(kPrivEnc, zcore::kReasonKeyKind);
    return encryptBytes(rsa, scheme, in, in_len, hash_name, kPrivEnc, encoding, out, out_len);
}

VCL_API int VCL_PK1_Private_Encrypt(const void* key, int key_len, const char* password, int pw_len,
                                    unsigned char scheme, const void* in, int in_len, unsigned char** out, int* out_len,
                                    int encoding) {
    return VCL_PK1_Private_Encrypt_ex(key, key_len, password, pw_len, scheme, in, in_len, out, out_len, encoding,
                                      "SHA1");
}

VCL_API int VCL_PK1_Public_Encrypt_ex(const void* cert, int cert_len, unsigned char scheme, const void* in, int in_len,
                                      unsigned char** out, int* out_len, int encoding, const char* hash_name) {
    if (!clearOut(out, out_len) || !cert || cert_len <= 0 || !in || in_len <= 0) return code(kPubEnc, VCL_R_NULL_PARAM);
    zcore::AsymKey opened;
    if (int rc = openPublic(cert, cert_len, opened); rc != 0) return rc;
    RSA_UNIT* rsa = zcore::rsaOf(opened.get());
    if (!rsa) return code(kPubEnc, zcore::kReasonKeyKind);
    return encryptBytes(rsa, scheme, in, in_len, hash_name, kPubEnc, encoding, out, out_len);
}

VCL_API int VCL_PK1_Public_Encrypt(const void* cert, int cert_len, unsigned char scheme, const void* in, int in_len,
                                   unsigned char** out, int* out_len, int encoding) {
    return VCL_PK1_Public_Encrypt_ex(cert, cert_len, scheme, in, in_len, out, out_len, encoding, "SHA1");
}

VCL_API int VCL_PK1_Public_Decrypt_ex(const void* cert, int cert_len, unsigned char scheme, const void* in, int in_len,
                                      unsigned char** out, int* out_len, int encoding, const char* hash_name) {
    return decryptBytes(false, cert, cert_len, nullptr, 0, scheme, in, in_len, out, out_len, encoding, hash_name,
                        nullptr, false);
}

VCL_API int VCL_PK1_Public_Decrypt(const void* cert, int cert_len, unsigned char scheme, const void* in, int in_len,
                                   unsigned char** out, int* out_len, int encoding) {
    return VCL_PK1_Public_Decrypt_ex(cert, cert_len, scheme, in, in_len, out, out_len, encoding, "SHA1");
}

VCL_API int VCL_PK1_Public_Decrypt_all(const void* cert, int cert_len, const void* in, int in_len, unsigned char** out,
                                       int* out_len, int encoding, unsigned char* scheme_used) {
    return decryptBytes(false, cert, cert_len, nullptr, 0, 0, in, in_len, out, out_len, encoding, "SHA1", scheme_used,
                        true);
}

VCL_API int VCL_PK1_Private_Decrypt_ex(const void* key, int key_len, const char* password, int pw_len,
                                       unsigned char scheme, const void* in, int in_len, unsigned char** out,
                                       int* out_len, int encoding, const char* hash_name) {
    return decryptBytes(true, key, key_len, password, pw_len, scheme, in, in_len, out, out_len, encoding, hash_name,
                        nullptr, false);
}

VCL_API int VCL_PK1_Private_Decrypt(const void* key, int key_len, const char* password, int pw_len,
                                    unsigned char scheme, const void* in, int in_len, unsigned char** out, int* out_len,
                                    int encoding) {
    return VCL_PK1_Private_Decrypt_ex(key, key_len, password, pw_len, scheme, in, in_len, out, out_len, encoding,
                                      "SHA1");
}

VCL_API int VCL_PK1_Private_Decrypt_all(const void* key, int key_len, const char* password, int pw_len, const void* in,
                                        int in_len, unsigned char** out, int* out_len, int encoding,
                                        unsigned char* scheme_used) {
    return decryptBytes(true, key, key_len, password, pw_len, 0, in, in_len, out, out_len, encoding, "SHA1",
                        scheme_used, true);
}

// ---- Signatures --------------------------------------------------------------

VCL_API int VCL_PK1_Private_Sign(const void* key_v, int key_len, const char* password, int pw_len, unsigned char scheme,
                                 const char* hash_name, const void* data, int data_len, unsigned char** sig,
                                 int* sig_len, int encoding) {
    const auto* key = static_cast<const unsigned char*>(key_v);
    if (!clearOut(sig, sig_len) || !key || key_len <= 0 || !data || data_len <= 0)
        return code(kPrivSign, VCL_R_NULL_PARAM);
    zcore::AsymKey opened;
    if (int rc = openPrivate(key, key_len, password, pw_len, opened); rc != 0) return rc;
    const bool kcdsa = opened->kind == ASYMMETRIC_KEY_KCDSA;
    const int room = kcdsa ? 3 * VSC_Get_KCDSA_Length(static_cast<KCDSA_UNIT*>(opened->key))
                           : VSC_Get_RSA_Length(static_cast<RSA_UNIT*>(opened->key));
    if (room <= 0) return code(kPrivSign, zcore::kReasonKeyKind);
    zcore::Secret buf;
    buf.resize(static_cast<size_t>(room));
    int hashId = 0;
    if (int rc = VCL_COM_convert_hash_name(hash_name, &hashId); rc != 0) return rc;
    int n = room;
    if (int rc = VCL_PK1_signature_schemes(opened.get(), scheme, hashId, data, data_len, buf.u(), &n); rc != 0)
        return rc;
    const zcore::Secret exact(buf.view().substr(0, static_cast<size_t>(n)));
    return handOutEncoded(exact, encoding, kPrivSign, sig, sig_len);
}

VCL_API int VCL_PK1_Public_Verify(const void* cert, int cert_len, unsigned char scheme, const char* hash_name,
                                  const void* data, int data_len, const void* sig, int sig_len, int encoding) {
    if (!cert || cert_len <= 0 || !data || data_len <= 0 || !sig || sig_len <= 0)
        return code(kPubVerify, VCL_R_NULL_PARAM);
    zcore::AsymKey opened;
    if (int rc = openPublic(cert, cert_len, opened); rc != 0) return rc;
    zcore::Secret raw;
    if (int rc = decodeInput(sig, sig_len, encoding, kPubVerify, raw); rc != 0) return rc;
    int hashId = 0;
    if (int rc = VCL_COM_convert_hash_name(hash_name, &hashId); rc != 0) return rc;
    return VCL_PK1_verify_schemes(opened.get(), scheme, hashId, data, data_len, raw.u(), raw.size());
}

VCL_API int VCL_PK1_PK8file_Hashvalue_Sign_ex(const void* key_v, int key_len, const char* password, int pw_len,
                                              int mode, const char* hash_name, const void* digest_v, int digest_len,
                                              unsigned char** sig, int* sig_len, int encoding) {
    const auto* key = static_cast<const unsigned char*>(key_v);
    const auto* digest = static_cast<const unsigned char*>(digest_v);
    if (!clearOut(sig, sig_len) || !key || key_len <= 0 || !digest || digest_len <= 0)
        return code(kHashSign, VCL_R_NULL_PARAM);
    const int scheme = lowByte(mode);
    if (scheme != VCL_SIGN_PKCS1_V15 && scheme != VCL_SIGN_PSS) return code(kHashSign, VCL_R_UNSUPPORTED_PADDING);
    ASYMMETRIC_KEY* raw = nullptr;
    if (int rc = VCL_PK8_get_asym_key(key, key_len, password, pw_len, &raw); rc != 0) return rc;
    zcore::AsymKey opened(raw);
    RSA_UNIT* rsa = zcore::rsaOf(opened.get());
    if (!rsa) return code(kHashSign, zcore::kReasonKeyKind);
    rsa->is_private = 1;
    int hashId = 0;
    if (int rc = VCL_COM_convert_hash_name(hash_name, &hashId); rc != 0) return rc;
    if (digest_len != VSC_Get_DIGEST_Length(hashId)) return code(kHashSign, VCL_R_INVALID_LENGTH);
    if (int rc = VSC_Init_RSASSA(rsa, hashId, mode, 1); rc != 0) return rc;

    const int k = VSC_Get_RSA_Length(rsa);
    if (k <= 0) return code(kHashSign, kReasonNoModulus);
    zcore::Secret encoded;
    encoded.resize(static_cast<size_t>(k));
    int rc = 0;
    if (scheme == VCL_SIGN_PKCS1_V15) {
        rc = VSC_Add_EMSA_PKCS1_v1_5_Encode(encoded.u(), k, digest, digest_len, hashId);
    } else {
        const int salt = (mode >> 16) & 0xff;
        rc =
            VSC_Add_RSASSA_PKCS1_PSS_Encode(rsa, encoded.u(), k, digest, digest_len, salt ? salt : digest_len, nullptr);
    }
    if (rc != 0) return code(kHashSign, kReasonEncodeFailed);

    // The raw private-key operation on the encoded block.
    zcore::Secret signature;
    signature.resize(static_cast<size_t>(k));
    int n = k;
    if (int erc = VCL_PK1_encrypt_schemes(rsa, VCL_RSA_RAW, encoded.u(), k, signature.u(), &n, "SHA1"); erc != 0)
        return erc;
    const zcore::Secret exact(signature.view().substr(0, static_cast<size_t>(n)));
    return handOutEncoded(exact, encoding, kPrivSign, sig, sig_len);
}

VCL_API int VCL_PK1_PK8file_Hashvalue_Sign(const void* key, int key_len, const char* password, int pw_len,
                                           unsigned char scheme, const char* hash_name, const void* digest,
                                           int digest_len, unsigned char** sig, int* sig_len, int encoding) {
    if (!clearOut(sig, sig_len)) return code(kHashSign, VCL_R_NULL_PARAM);
    int hashId = 0;
    if (int rc = VCL_COM_convert_hash_name(hash_name, &hashId); rc != 0) return rc;
    int mode = 0;
    if (int rc = VCL_RSA_PSS_make_padding_mode(scheme, hashId, &mode); rc != 0) return rc;
    return VCL_PK1_PK8file_Hashvalue_Sign_ex(key, key_len, password, pw_len, mode, hash_name, digest, digest_len, sig,
                                             sig_len, encoding);
}

}  // extern "C"
