// Key passwords on key files of any form, and the protected form of a
// password string.
#include <cstring>

#include <zunCore/cipher.h>
#include <zunCore/crypto.h>
#include <zunCore/error.h>
#include <zunCore/keypass.h>
#include <zunCore/pkcs8.h>
#include <zunCore/util.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/pkcs/pkcs1.h>

#include "crypto/keys_internal.hpp"

namespace {

using zcore::code;

constexpr int kCheck = VCL_CAT_COMMON_DER_TO_PEM;  // the codes key checks have always had
constexpr int kOtherType = VCL_CAT_COMMON_PEM_TO_DER;
constexpr int kChange = VCL_CAT_COMMON_CHANGE_PASSWORD;
constexpr int kEnc = VCL_CAT_COMMON_ENC_PWD;
constexpr int kDec = VCL_CAT_COMMON_DEC_PWD;

constexpr int kReasonOtherType = 0x90;
constexpr int kReasonTooLong = 0x95;

constexpr int kRandomPrefix = 20;
constexpr int kBlock = 128;  // the random prefix and the longest password

// The fixed SEED key and IV of protected passwords. They only obfuscate:
// anyone with the library reads the texts. They are made at run time from
// two halves so that neither appears as such in the binary, and must never
// change: texts protected by earlier builds have to read back.
constexpr unsigned char kKeyA[16] = {0x5a, 0x17, 0xc3, 0x9e, 0x42, 0x08, 0xd1, 0x6b,
                                     0x93, 0x2f, 0x7c, 0xe4, 0x10, 0xa6, 0x58, 0x3d};
constexpr unsigned char kKeyB[16] = {0x2e, 0x71, 0x95, 0xf0, 0x36, 0x6f, 0xa2, 0x1c,
                                     0xe7, 0x4b, 0x1d, 0x82, 0x65, 0xc9, 0x3a, 0x57};
constexpr unsigned char kIvA[16] = {0xc4, 0x81, 0x3f, 0x26, 0xb9, 0x5d, 0x0a, 0xe3,
                                    0x77, 0x14, 0xd8, 0x4e, 0xa1, 0x6c, 0x92, 0x05};
constexpr unsigned char kIvB[16] = {0x91, 0xd4, 0x6a, 0x73, 0xe8, 0x1a, 0x5f, 0xb6,
                                    0x22, 0x45, 0x8d, 0x1b, 0xf4, 0x39, 0xc7, 0x50};

struct FixedKey {
    unsigned char key[16];
    unsigned char iv[16];
    FixedKey() { zcore::protectedPasswordKey(key, iv); }
    ~FixedKey() { explicit_bzero(this, sizeof *this); }
};

enum class Form { Pkcs8, Pkcs1, Other };

// A key file's form: DER is PKCS#8; PEM goes by its type. A typing failure
// gives its code, a type other than the key types otherType.
int formOf(const void* key, int len, Form& form, int otherType) {
    form = Form::Pkcs8;
    if (!zcore::isPem(key, len)) return 0;
    int type = 0;
    const int rc = VCL_COM_get_pemfile_type(static_cast<const char*>(key), len, &type);
    if (rc != 0) return (rc & 0xffff) == kReasonOtherType ? otherType : rc;
    switch (type) {
        case VCL_PEM_RSA_PRIVATE_KEY:
        case VCL_PEM_RSA_PRIVATE_KEY_ENC:
            form = Form::Pkcs1;
            return 0;
        case VCL_PEM_ENCRYPTED_PRIVATE_KEY:
            return 0;
        default:
            form = Form::Other;
            return otherType;
    }
}

int readPkcs1(const void* key, int len, const char* pw, int pwLen, zcore::RsaUnit& out) {
    RSA_UNIT* raw = nullptr;
    const int rc = readPKCS1_from_Binary(&raw, pw, pwLen, static_cast<const char*>(key), len);
    out.reset(raw);
    return rc;
}

}  // namespace

void zcore::protectedPasswordKey(unsigned char key[16], unsigned char iv[16]) {
    for (int i = 0; i < 16; ++i) {
        key[i] = kKeyA[i] ^ kKeyB[i];
        iv[i] = kIvA[i] ^ kIvB[i];
    }
}

extern "C" {

VCL_API int VCL_COM_Check_Password(const void* key, int key_len, const char* password, int pw_len) {
    if (!key || key_len <= 0) return code(kCheck, VCL_R_ZERO_LENGTH);
    if (zcore::passwordTooLong(password, pw_len)) return code(kCheck, VCL_R_INVALID_PARAM);
    Form form;
    if (int rc = formOf(key, key_len, form, code(kOtherType, kReasonOtherType)); rc != 0) return rc;
    if (form == Form::Pkcs8) return VCL_PK8_Check_Passwd(key, key_len, password, pw_len);
    zcore::RsaUnit rsa;
    return readPkcs1(key, key_len, password, pw_len, rsa);
}

VCL_API int VCL_COM_Get_Random(const void* key, int key_len, const char* password, int pw_len, unsigned char** random,
                               int* random_len) {
    if (!key || key_len <= 0) return code(kCheck, VCL_R_ZERO_LENGTH);
    Form form;
    if (int rc = formOf(key, key_len, form, code(kOtherType, kReasonOtherType)); rc != 0) return rc;
    // PKCS#1 keys carry no VID random.
    if (form == Form::Pkcs1) return 0;
    return VCL_PK8_Get_Random(key, key_len, password, pw_len, random, random_len);
}

VCL_API int VCL_COM_Change_Password(const void* key, int key_len, const char* old_pw, int old_len, const char* new_pw,
                                    int new_len, unsigned char** out, int* out_len) {
    if (!out || !out_len) return code(kChange, VCL_R_NULL_PARAM);
    *out = nullptr;
    *out_len = 0;
    if (!key || !new_pw) return code(kChange, VCL_R_NULL_PARAM);
    if (key_len <= 0 || new_len <= 0) return code(kChange, VCL_R_ZERO_LENGTH);
    if (zcore::passwordTooLong(old_pw, old_len) || zcore::passwordTooLong(new_pw, new_len))
        return code(kChange, VCL_R_INVALID_PARAM);
    Form form;
    if (int rc = formOf(key, key_len, form, code(kChange, kReasonOtherType)); rc != 0) return rc;
    if (form == Form::Pkcs8) return VCL_PK8_Change_Passwd(key, key_len, old_pw, old_len, new_pw, new_len, out, out_len);

    zcore::RsaUnit rsa;
    if (readPkcs1(key, key_len, old_pw, old_len, rsa) != 0 || !rsa || rsa->is_private != 1)
        return code(kChange, zcore::kReasonNotWritten);
    char* raw = nullptr;
    const int n = writePKCS1PrivateKey_to_Binary(rsa.get(), new_pw, new_len, &raw);
    zcore::VscPtr<char> text(raw);
    if (n <= 0 || !text) return code(kChange, zcore::kReasonNotWritten);
    if (!zcore::handOut(zcore::viewOf(text, n), out, out_len)) return code(kChange, VCL_R_MALLOC);
    return 0;
}

VCL_API int VCL_COM_Encrypt_Password(const char* password, int pw_len, char** text, int* text_len) {
    if (!text || !text_len) return code(kEnc, VCL_R_NULL_PARAM);
    *text = nullptr;
    *text_len = 0;
    if (!password || pw_len <= 0) return code(kEnc, VCL_R_NULL_PARAM);
    if (pw_len > VCL_PROTECTED_PASSWORD_MAX) return code(kEnc, kReasonTooLong);
    zcore::Secret block;
    block.resize(kBlock);
    if (int rc = VCL_DRBG_Get_Random(block.u(), kRandomPrefix); rc != 0) return rc;
    std::memcpy(block.u() + kRandomPrefix, password, static_cast<size_t>(pw_len));
    const FixedKey fixed;
    unsigned char* out = nullptr;
    int n = 0;
    if (int rc = VCL_SYM_Encrypt(fixed.key, fixed.iv, "SEED-CBC", 1, block.u(), kRandomPrefix + pw_len, &out, &n,
                                 VCL_ENCODING_BASE64);
        rc != 0)
        return rc;
    *text = reinterpret_cast<char*>(out);
    *text_len = n;
    return 0;
}

VCL_API int VCL_COM_Decrypt_Password(const char* text, int text_len, char** password, int* pw_len) {
    if (!password || !pw_len) return code(kDec, VCL_R_NULL_PARAM);
    *password = nullptr;
    *pw_len = 0;
    if (!text || text_len <= 0) return code(kDec, VCL_R_NULL_PARAM);
    const FixedKey fixed;
    unsigned char* raw = nullptr;
    int n = 0;
    if (int rc = VCL_SYM_Decrypt(fixed.key, fixed.iv, "SEED-CBC", 1, reinterpret_cast<const unsigned char*>(text),
                                 text_len, &raw, &n, VCL_ENCODING_BASE64);
        rc != 0)
        return rc;
    zcore::Secret plain(zcore::viewOf(raw, n));
    VCL_Free(raw, n);
    if (plain.size() < kRandomPrefix) return code(kDec, VCL_R_INVALID_LENGTH);
    if (!zcore::handOut(plain.view().substr(kRandomPrefix), password, pw_len)) return code(kDec, VCL_R_MALLOC);
    return 0;
}

}  // extern "C"
