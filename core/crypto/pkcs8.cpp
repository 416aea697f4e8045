// PKCS#8 private keys and the VID random: decrypting, re-encrypting under
// the same scheme, building, stripping and converting keys.
#include <cstring>

#include <zunCore/crypto.h>
#include <zunCore/error.h>
#include <zunCore/keys.h>
#include <zunCore/pkcs8.h>
#include <zunCore/util.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/asn1/asn1.h>
#include <zunPKI/pkcs/pkcs1.h>
#include <zunPKI/pkcs/pkcs5.h>
#include <zunPKI/pkcs/pkcs8.h>
#include <zunPKI/x509/x509_attr.h>

#include "crypto/keys_internal.hpp"

namespace {

using zcore::code;

constexpr int kDecode = VCL_CAT_PKCS8_DECODE_PKCS8;
constexpr int kRsa = VCL_CAT_PKCS8_LOAD_STR_TO_RSA;
constexpr int kRandom = VCL_CAT_PKCS8_GET_RANDOM;
constexpr int kMake = VCL_CAT_PKCS8_MAKE_PRIV_KEY;
constexpr int kAsym = VCL_CAT_PKCS8_GET_ASYMM_KEY;
constexpr int kToPem = VCL_CAT_PKCS8_DER_TO_PK1_PEM;
constexpr int kToPk1 = VCL_CAT_PKCS8_TO_PK1;
constexpr int kRemove = VCL_CAT_PKCS8_REMOVE_RDATA;
constexpr int kChange = VCL_CAT_PKCS8_CHANGE_PASSWD;

constexpr int kReasonPemInput = 0x42;  // PEM where DER is taken
constexpr int kReasonForm = 0x97;      // an output form other than 48 or 49

// A password is given when it has bytes; NULL or a length of 0 mean a
// plain key.
bool given(const char* pw, int len) { return pw != nullptr && len > 0; }

int readEncrypted(const void* key, int len, zcore::P8Enc& out) {
    return zcore::readRecord<PKCS8, Seq_to_P8_ENCRYPTED_KEY>(key, len, out);
}

int readPlain(const void* key, int len, zcore::P8Info& out) {
    return zcore::readRecord<P8_PRIV_KEY_INFO, Seq_to_P8_PRIV_KEY_INFO>(key, len, out);
}

// An encrypted key is re-encrypted under its own scheme: one without PBE
// parameters has none to keep.
int checkScheme(const PKCS8* enc, int category) {
    zcore::Owned<P5_PBE_PARAM, free_P5_PBE_PARAM> params(get_PKCS8_P5_PBE_PARAM(enc));
    return params ? 0 : code(category, zcore::kReasonNoParams);
}

int decrypt(const PKCS8* enc, const char* pw, int len, zcore::P8Info& out) {
    P8_PRIV_KEY_INFO* made = nullptr;
    const int rc = decrypt_PKCS5(enc, &made, pw, len);
    out.reset(made);
    if (rc != 0) out.reset();
    return rc;
}

// The key information under the password, or the plain one without.
int open(const void* key, int keyLen, const char* pw, int pwLen, zcore::P8Info& out) {
    if (!key || keyLen <= 0) return code(kDecode, VCL_R_NULL_PARAM);
    if (zcore::passwordTooLong(pw, pwLen)) return code(kDecode, VCL_R_INVALID_PARAM);
    if (!given(pw, pwLen)) return readPlain(key, keyLen, out);
    zcore::P8Enc enc;
    if (int rc = readEncrypted(key, keyLen, enc); rc != 0) return rc;
    return decrypt(enc.get(), pw, pwLen, out);
}

bool usableKind(const ASYMMETRIC_KEY* key) {
    return key && key->key && (key->kind == ASYMMETRIC_KEY_RSA || key->kind == ASYMMETRIC_KEY_KCDSA);
}

int handOutDer(const zcore::Secret& der, int category, unsigned char** out, int* outLen) {
    if (der.empty()) return code(category, zcore::kReasonWriteFailed);
    if (!zcore::handOut(der.view(), out, outLen)) return code(category, VCL_R_MALLOC);
    return 0;
}

template <typename T>
bool clearOut(T** out, int* outLen) {
    if (!out || !outLen) return false;
    *out = nullptr;
    *outLen = 0;
    return true;
}

}  // namespace

int zcore::resealLike(const PKCS8* model, const P8_PRIV_KEY_INFO* info, const char* pw, int pwLen, int category,
                      Secret& der) {
    Owned<P5_PBE_PARAM, free_P5_PBE_PARAM> params(get_PKCS8_P5_PBE_PARAM(model));
    if (!params) return code(category, kReasonNoParams);
    int row = 0, cipherRow = 0, prf = 0;
    if (int rc = get_PKCS5_scheme(model, &row, &cipherRow, &prf); rc != 0) return rc;
    PKCS8* made = nullptr;
    const int rc = encrypt_PKCS5_prf(info, &made, pw, pwLen, nullptr, 0, kKeyIterations, row, cipherRow, prf);
    P8Enc sealed(made);
    if (rc != 0) return rc;
    der = derOfEnc(sealed.get());
    return der.empty() ? code(category, kReasonWriteFailed) : 0;
}

extern "C" {

VCL_API int VCL_PK8_decode_pkcs8(const void* key, int key_len, const char* password, int pw_len,
                                 P8_PRIV_KEY_INFO** info) {
    if (!info) return code(kDecode, VCL_R_NULL_PARAM);
    *info = nullptr;
    zcore::P8Info opened;
    if (int rc = open(key, key_len, password, pw_len, opened); rc != 0) return rc;
    *info = opened.release();
    return 0;
}

VCL_API int VCL_PK8_get_asym_key(const void* key, int key_len, const char* password, int pw_len,
                                 ASYMMETRIC_KEY** asym) {
    if (!asym) return code(kAsym, VCL_R_NULL_PARAM);
    *asym = nullptr;
    zcore::P8Info info;
    if (int rc = open(key, key_len, password, pw_len, info); rc != 0) return rc;
    if (!usableKind(info->privateKey)) return code(kAsym, zcore::kReasonKeyKind);
    ASYMMETRIC_KEY* copy = dup_ASYMMETRIC_KEY(info->privateKey);
    if (!copy) return code(kAsym, VCL_R_MALLOC);
    *asym = copy;
    return 0;
}

VCL_API int VCL_PK8_get_rsaunit(const void* key, int key_len, const char* password, int pw_len, RSA_UNIT* rsa) {
    if (!rsa) return code(kRsa, VCL_R_NULL_PARAM);
    zcore::P8Info info;
    if (int rc = open(key, key_len, password, pw_len, info); rc != 0) return rc;
    const RSA_UNIT* from = zcore::rsaOf(info->privateKey);
    if (!from || !from->n || !from->e || !from->d) return code(kRsa, zcore::kReasonKeyKind);
    if (int rc = VSC_Set_RSA_Params(rsa, from->n, from->e, from->d, from->p, from->q, from->dP, from->dQ, from->qInv);
        rc != 0)
        return rc;
    rsa->is_private = 1;
    return 0;
}

VCL_API int VCL_PK8_Check_Passwd(const void* key, int key_len, const char* password, int pw_len) {
    zcore::P8Info info;
    return open(key, key_len, password, pw_len, info);
}

VCL_API int VCL_PK8_Get_Random(const void* key, int key_len, const char* password, int pw_len, unsigned char** random,
                               int* random_len) {
    if (!clearOut(random, random_len)) return code(kRandom, VCL_R_NULL_PARAM);
    zcore::P8Info info;
    if (int rc = open(key, key_len, password, pw_len, info); rc != 0) return rc;
    ASN1_STRING* raw = nullptr;
    const int found = VCL_X509_attributes_get_asn1_string(info->attributes, VCL_OID_RANDOM_NUM, &raw);
    zcore::Asn1String value(raw);
    if (found != 0) return found;
    if (!value || !value->data || value->length <= 0) return code(kRandom, VCL_R_NOT_FOUND);
    const int rc =
        zcore::handOut(zcore::viewOf(value->data, value->length), random, random_len) ? 0 : code(kRandom, VCL_R_MALLOC);
    explicit_bzero(value->data, static_cast<size_t>(value->length));
    return rc;
}

VCL_API int VCL_PK8_Change_Passwd(const void* key, int key_len, const char* old_pw, int old_len, const char* new_pw,
                                  int new_len, unsigned char** out, int* out_len) {
    if (!clearOut(out, out_len) || !key || key_len <= 0 || !new_pw) return code(kChange, VCL_R_NULL_PARAM);
    if (new_len <= 0) return code(kChange, VCL_R_ZERO_LENGTH);
    if (zcore::passwordTooLong(old_pw, old_len) || zcore::passwordTooLong(new_pw, new_len))
        return code(kChange, VCL_R_INVALID_PARAM);
    zcore::P8Enc enc;
    if (int rc = readEncrypted(key, key_len, enc); rc != 0) return rc;
    if (int rc = checkScheme(enc.get(), kChange); rc != 0) return rc;
    zcore::P8Info info;
    if (int rc = decrypt(enc.get(), old_pw, old_len, info); rc != 0) return rc;
    zcore::Secret der;
    if (int rc = zcore::resealLike(enc.get(), info.get(), new_pw, new_len, kChange, der); rc != 0) return rc;
    return handOutDer(der, kChange, out, out_len);
}

VCL_API int VCL_PK8_Make_PrivateKey(const void* key, int key_len, int pbe_row, const void* random_v, int random_len,
                                    const char* password, int pw_len, unsigned char** out, int* out_len) {
    const auto* random = static_cast<const unsigned char*>(random_v);
    if (!clearOut(out, out_len) || !key || key_len <= 0) return code(kMake, VCL_R_NULL_PARAM);
    if (random_len < 0 || zcore::passwordTooLong(password, pw_len)) return code(kMake, VCL_R_INVALID_PARAM);
    ASYMMETRIC_KEY* raw = nullptr;
    if (int rc = VCL_PK1_priv_convert_keyunit(key, key_len, password, pw_len, &raw); rc != 0) return rc;
    zcore::AsymKey opened(raw);

    zcore::Attributes attrs;
    if (random && random_len > 0) {
        attrs.reset(new_X509_ATTRIBUTES());
        zcore::Owned<BIT_STRING, free_BIT_STRING> bits(binaryToBIT_STRING(random, random_len));
        if (!attrs || !bits ||
            add_X509_ATTRIBUTES_OID_INDEX(attrs.get(), VCL_OID_RANDOM_NUM, ASN1_TAG_BIT_STRING, bits.get(), -1) != 0) {
            if (bits && bits->data) explicit_bzero(bits->data, static_cast<size_t>(bits->length));
            return code(kMake, VCL_R_MALLOC);
        }
        explicit_bzero(bits->data, static_cast<size_t>(bits->length));
    }
    zcore::P8Info info(gen_P8_PRIV_KEY_INFO(opened.get(), attrs.get()));
    if (!info) return code(kMake, VCL_R_MALLOC);

    zcore::Secret der;
    if (given(password, pw_len)) {
        PKCS8* made = nullptr;
        const int rc = encrypt_PKCS5(info.get(), &made, password, pw_len, nullptr, 0, zcore::kKeyIterations, pbe_row);
        zcore::P8Enc sealed(made);
        if (rc != 0) return rc;
        der = zcore::derOfEnc(sealed.get());
    } else {
        der = zcore::derOfInfo(info.get());
    }
    return handOutDer(der, kMake, out, out_len);
}

VCL_API int VCL_PK8_Remove_RData(const void* key, int key_len, const char* password, int pw_len, unsigned char** out,
                                 int* out_len) {
    if (!clearOut(out, out_len) || !key || key_len <= 0) return code(kRemove, VCL_R_NULL_PARAM);
    if (zcore::passwordTooLong(password, pw_len)) return code(kRemove, VCL_R_INVALID_PARAM);
    zcore::P8Enc enc;
    zcore::P8Info info;
    if (given(password, pw_len)) {
        if (int rc = readEncrypted(key, key_len, enc); rc != 0) return rc;
        if (int rc = checkScheme(enc.get(), kRemove); rc != 0) return rc;
        if (int rc = decrypt(enc.get(), password, pw_len, info); rc != 0) return rc;
    } else if (int rc = readPlain(key, key_len, info); rc != 0) {
        return rc;
    }
    if (!usableKind(info->privateKey)) return code(kRemove, zcore::kReasonKeyKind);
    zcore::P8Info stripped(gen_P8_PRIV_KEY_INFO(info->privateKey, nullptr));
    if (!stripped) return code(kRemove, VCL_R_MALLOC);
    zcore::Secret der;
    if (enc) {
        // The scheme of the input, PBES2's cipher and PRF included.
        if (int rc = zcore::resealLike(enc.get(), stripped.get(), password, pw_len, kRemove, der); rc != 0) return rc;
    } else {
        der = zcore::derOfInfo(stripped.get());
    }
    return handOutDer(der, kRemove, out, out_len);
}

VCL_API int VCL_PK8_DER_to_PK1_PEM(const void* key, int key_len, const char* password, int pw_len, char** pem,
                                   int* pem_len) {
    if (!clearOut(pem, pem_len)) return code(kToPem, VCL_R_NULL_PARAM);
    if (!key) return VCL_CORE_CODE(VCL_CAT_COMMON_IS_PEM, VCL_R_NULL_PARAM);
    if (key_len <= 0) return code(kToPem, VCL_R_ZERO_LENGTH);
    if (zcore::isPem(key, key_len)) return code(kToPem, kReasonPemInput);
    if (zcore::passwordTooLong(password, pw_len)) return code(kToPem, VCL_R_INVALID_PARAM);
    zcore::RsaUnit rsa(VSC_New_RSA());
    if (!rsa) return code(kToPem, VCL_R_MALLOC);
    if (int rc = VCL_PK8_get_rsaunit(key, key_len, password, pw_len, rsa.get()); rc != 0) return rc;
    char* raw = nullptr;
    const bool pw = given(password, pw_len);
    const int n = writePKCS1PrivateKey_to_Binary(rsa.get(), pw ? password : nullptr, pw ? pw_len : 0, &raw);
    zcore::VscPtr<char> text(raw);
    if (n <= 0 || !text) return code(kToPem, zcore::kReasonNotWritten);
    if (!zcore::handOut(zcore::viewOf(text, n), pem, pem_len)) return code(kToPem, VCL_R_MALLOC);
    return 0;
}

VCL_API int VCL_PK8_to_PK1(const void* key_v, int key_len, const char* password, int pw_len, int form,
                           unsigned char** out, int* out_len) {
    const auto* key = static_cast<const unsigned char*>(key_v);
    if (!clearOut(out, out_len) || !key || key_len <= 0) return code(kToPk1, VCL_R_NULL_PARAM);
    if (form != VCL_FORM_DER && form != VCL_FORM_PEM) return code(kToPk1, kReasonForm);
    if (zcore::passwordTooLong(password, pw_len)) return code(kToPk1, VCL_R_INVALID_PARAM);
    zcore::Secret der;
    if (zcore::isPem(key, key_len)) {
        unsigned char* raw = nullptr;
        int n = 0;
        if (int rc = VCL_COM_PEM_to_DER(reinterpret_cast<const char*>(key), key_len, &raw, &n); rc != 0) return rc;
        der.assign(raw, static_cast<size_t>(n));
        VCL_Free(raw, n);
    } else {
        der.assign(key, static_cast<size_t>(key_len));
    }
    zcore::RsaUnit rsa(VSC_New_RSA());
    if (!rsa) return code(kToPk1, VCL_R_MALLOC);
    if (int rc = VCL_PK8_get_rsaunit(der.u(), der.size(), password, pw_len, rsa.get()); rc != 0) return rc;
    char* raw = nullptr;
    const int n = writePKCS1PrivateKey_to_Binary(rsa.get(), nullptr, 0, &raw);
    zcore::VscPtr<char> text(raw);
    if (n <= 0 || !text) return code(kToPk1, zcore::kReasonNotWritten);
    if (form == VCL_FORM_PEM) {
        if (!zcore::handOut(zcore::viewOf(text, n), out, out_len)) return code(kToPk1, VCL_R_MALLOC);
        return 0;
    }
    return VCL_COM_PEM_to_DER(text.get(), n, out, out_len);
}

}  // extern "C"
