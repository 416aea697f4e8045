// Random bytes and the one-shot block ciphers by name, with optional Base64
// on either side.
#include <climits>
#include <cstdlib>
#include <cstring>

#include <zunCore/cipher.h>
#include <zunCore/crypto.h>
#include <zunCore/encode.h>
#include <zunCore/error.h>
#include <zunCore/util.h>
#include <zunCrypto/zunCrypto.h>

#include "crypto/crypto_internal.hpp"
#include "util/core_internal.hpp"

namespace {

// The work buffer holds the result and up to a block of padding; 128 bytes
// leave room for any block length.
constexpr int kSlack = 128;

// A cipher id with the padding rule applied: stream modes and pad 0 set
// the no-padding bit.
int withPadding(int id, int pad) {
    if (pad == 0 || zcore::isStreamMode(id)) id |= VSC_CIPHER_NO_PADDING;
    return id;
}

bool isBase64(unsigned char encoding) {
    return encoding == VCL_ENCODING_BASE64 || encoding == VCL_ENCODING_BASE64_LINES;
}

// A zero-filled malloc'd buffer released with VCL_Free (it may hold
// plaintext).
struct Work {
    unsigned char* p = nullptr;
    int size = 0;
    explicit Work(int n) : p(static_cast<unsigned char*>(std::calloc(static_cast<size_t>(n), 1))), size(n) {}
    ~Work() { VCL_Free(p, size); }
    Work(const Work&) = delete;
    Work& operator=(const Work&) = delete;
    unsigned char* release() {
        unsigned char* q = p;
        p = nullptr;
        return q;
    }
};

// The cipher over in into buf (in_len + kSlack bytes); the result's length
// in *n. category is that of the calling operation.
int runCipher(int category, const unsigned char* key, const unsigned char* iv, const char* name, int pad, bool encrypt,
              const unsigned char* in, int inLen, unsigned char* buf, int* n) {
    int id = 0;
    if (int rc = VCL_COM_convert_cipher_name(name, &id); rc != 0) return rc;
    id = withPadding(id, pad);
    zcore::CipherUnit unit(VSC_New_BLOCK_CIPHER_Unit());
    if (!unit) return VCL_CORE_CODE(category, VCL_R_MALLOC);
    if (int rc = VSC_Init_BLOCK_CIPHER(unit.get(), id, key, iv, encrypt ? 1 : 0); rc != VSC_OK) return rc;
    const int block = unit->block_length;
    if ((id & VSC_CIPHER_NO_PADDING) && !zcore::isStreamMode(id) && block > 0 && inLen % block != 0)
        return VCL_CORE_CODE(category, VCL_R_INVALID_LENGTH);
    int first = 0, last = 0;
    if (int rc = VSC_Update_BLOCK_CIPHER(unit.get(), buf, &first, in, inLen); rc != VSC_OK) return rc;
    if (int rc = VSC_Final_BLOCK_CIPHER(unit.get(), buf + first, &last); rc != VSC_OK) return rc;
    *n = first + last;
    return 0;
}

int checkArgs(int category, const unsigned char* key, const unsigned char* in, int inLen, const void* out,
              const int* outLen) {
    if (!key || !out || !outLen || (!in && inLen > 0)) return VCL_CORE_CODE(category, VCL_R_NULL_PARAM);
    if (inLen < 0) return VCL_CORE_CODE(category, VCL_R_INVALID_PARAM);
    if (inLen > INT_MAX - kSlack) return VCL_CORE_CODE(category, VCL_R_INVALID_LENGTH);
    return 0;
}

int initAdvanced(int encrypt, BLOCK_CIPHER_UNIT* unit, const unsigned char* key, const char* name, int pad,
                 const unsigned char* iv, int keyLen) {
    int id = 0;
    if (int rc = VCL_COM_convert_cipher_name(name, &id); rc != 0) return rc;
    return VSC_Init_Advanced_BLOCK_CIPHER(withPadding(id, pad), unit, key, encrypt, iv, keyLen);
}

constexpr int kEnc = VCL_CAT_SYMMETRIC_ENCRYPT;
constexpr int kDec = VCL_CAT_SYMMETRIC_DECRYPT;

}  // namespace

extern "C" {

VCL_API int VCL_PRNG_Get_Random(unsigned char* buf, int len) { return VSC_Rand_Bytes_PRNG(buf, len); }

VCL_API int VCL_DRBG_Get_Random(unsigned char* buf, int len) {
    return VSC_Rand_Bytes_DRBG(buf, len, nullptr, VSC_DIGEST_SHA256, 0);
}

VCL_API int VCL_DRBG_Get_Random_ex(unsigned char* buf, int len, const char* additional_input, int digest_id,
                                   int prediction_resistance) {
    return VSC_Rand_Bytes_DRBG(buf, len, additional_input, digest_id, prediction_resistance);
}

VCL_API int VCL_SYM_Get_Key_Length(const char* name, int* len) {
    int id = 0;
    if (int rc = VCL_COM_convert_cipher_name(name, &id); rc != 0) return rc;
    const int n = VSC_Get_Key_Length(id);
    if (n < 0) return -1;
    if (len) *len = n;
    return 0;
}

VCL_API int VCL_SYM_Get_Block_Length(const char* name) {
    int id = 0;
    if (VCL_COM_convert_cipher_name(name, &id) != 0) return 0;
    const int n = VSC_Get_Block_Length(id);
    return n > 0 ? n : 0;
}

VCL_API int VCL_SYM_Enc_Buf_Size(const char* name, int len) {
    const int block = VCL_SYM_Get_Block_Length(name);
    if (block == 0 || len < 0) return 0;
    // Padding always adds something: a whole block to whole blocks.
    const long long size = (static_cast<long long>(len) / block + 1) * block + 1;
    return size <= INT_MAX ? static_cast<int>(size) : 0;
}

VCL_API int VCL_SYM_Encrypt(const unsigned char* key, const unsigned char* iv, const char* name, int pad,
                            const unsigned char* in, int in_len, unsigned char** out, int* out_len,
                            unsigned char encoding) {
    if (out) *out = nullptr;
    if (out_len) *out_len = 0;
    if (int rc = checkArgs(kEnc, key, in, in_len, out, out_len); rc != 0) return rc;
    Work buf(in_len + kSlack);
    if (!buf.p) return VCL_CORE_CODE(kEnc, VCL_R_MALLOC);
    int n = 0;
    if (int rc = runCipher(kEnc, key, iv, name, pad, true, in, in_len, buf.p, &n); rc != 0) return rc;
    buf.p[n] = 0;
    if (isBase64(encoding)) {
        char* text = nullptr;
        const int len = VCL_Base64_Encode(buf.p, n, &text, encoding == VCL_ENCODING_BASE64_LINES ? 1 : 0);
        if (len <= 0) {
            VCL_Free(text, 0);
            return VCL_CORE_CODE(kEnc, VCL_R_ENCODE_BASE64);
        }
        *out = reinterpret_cast<unsigned char*>(text);
        *out_len = len;
        return 0;
    }
    *out = buf.release();
    *out_len = n;
    return 0;
}

VCL_API int VCL_SYM_Decrypt(const unsigned char* key, const unsigned char* iv, const char* name, int pad,
                            const unsigned char* in, int in_len, unsigned char** out, int* out_len,
                            unsigned char encoding) {
    if (out) *out = nullptr;
    if (out_len) *out_len = 0;
    if (int rc = checkArgs(kDec, key, in, in_len, out, out_len); rc != 0) return rc;
    const unsigned char* data = in;
    int dataLen = in_len;
    unsigned char* decoded = nullptr;
    if (isBase64(encoding)) {
        dataLen = VCL_Base64_Decode(reinterpret_cast<const char*>(in), in_len, &decoded);
        if (dataLen <= 0) return VCL_CORE_CODE(kEnc, VCL_R_DECODE_BASE64);
        data = decoded;
    }
    struct DecodedFree {
        unsigned char* p;
        int n;
        ~DecodedFree() { VCL_Free(p, n); }
    } decodedGuard{decoded, dataLen};
    Work buf(dataLen + kSlack);
    if (!buf.p) return VCL_CORE_CODE(kDec, VCL_R_MALLOC);
    int n = 0;
    if (int rc = runCipher(kDec, key, iv, name, pad, false, data, dataLen, buf.p, &n); rc != 0) return rc;
    buf.p[n] = 0;
    *out = buf.release();
    *out_len = n;
    return 0;
}

VCL_API int VCL_SYM_Encrypt_F(const unsigned char* key, const unsigned char* iv, const char* name, int pad,
                              const unsigned char* in, int in_len, unsigned char* out_buf, int* out_len) {
    if (int rc = checkArgs(kEnc, key, in, in_len, out_buf, out_len); rc != 0) return rc;
    *out_len = 0;
    int id = 0;
    if (int rc = VCL_COM_convert_cipher_name(name, &id); rc != 0) return rc;
    const bool padded = !(withPadding(id, pad) & VSC_CIPHER_NO_PADDING);
    const int expected = padded ? VCL_SYM_Enc_Buf_Size(name, in_len) - 1 : in_len;
    if (expected < 0) return VCL_CORE_CODE(kEnc, VCL_R_INVALID_LENGTH);
    std::memset(out_buf, 0, static_cast<size_t>(expected));
    Work buf(in_len + kSlack);
    if (!buf.p) return VCL_CORE_CODE(kEnc, VCL_R_MALLOC);
    int n = 0;
    if (int rc = runCipher(kEnc, key, iv, name, pad, true, in, in_len, buf.p, &n); rc != 0) return rc;
    std::memcpy(out_buf, buf.p, static_cast<size_t>(n));
    out_buf[n] = 0;
    *out_len = n;
    return 0;
}

VCL_API int VCL_SYM_Decrypt_F(const unsigned char* key, const unsigned char* iv, const char* name, int pad,
                              const unsigned char* in, int in_len, unsigned char* out_buf, int* out_len) {
    if (int rc = checkArgs(kDec, key, in, in_len, out_buf, out_len); rc != 0) return rc;
    *out_len = 0;
    Work buf(in_len + kSlack);
    if (!buf.p) return VCL_CORE_CODE(kDec, VCL_R_MALLOC);
    int n = 0;
    if (int rc = runCipher(kDec, key, iv, name, pad, false, in, in_len, buf.p, &n); rc != 0) return rc;
    std::memcpy(out_buf, buf.p, static_cast<size_t>(n));
    out_buf[n] = 0;
    *out_len = n;
    return 0;
}

VCL_API int VCL_SYM_Encrypt_init_Adv(BLOCK_CIPHER_UNIT* unit, const unsigned char* key, const char* name, int pad,
                                     const unsigned char* iv, int key_len) {
    return initAdvanced(1, unit, key, name, pad, iv, key_len);
}

VCL_API int VCL_SYM_Decrypt_init_Adv(BLOCK_CIPHER_UNIT* unit, const unsigned char* key, const char* name, int pad,
                                     const unsigned char* iv, int key_len) {
    return initAdvanced(0, unit, key, name, pad, iv, key_len);
}

VCL_API int VCL_SYM_Encrypt_doFinal_Adv(BLOCK_CIPHER_UNIT* unit, unsigned char* out, int* out_len,
                                        const unsigned char* in, int in_len, int out_size) {
    return VSC_DoFinal_Advanced_BLOCK_CIPHER(unit, out, out_len, in, in_len, out_size);
}

VCL_API int VCL_SYM_Decrypt_doFinal_Adv(BLOCK_CIPHER_UNIT* unit, unsigned char* out, int* out_len,
                                        const unsigned char* in, int in_len, int out_size) {
    return VSC_DoFinal_Advanced_BLOCK_CIPHER(unit, out, out_len, in, in_len, out_size);
}

}  // extern "C"
