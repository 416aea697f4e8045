// The session-key table (a key and IV per server certificate's SHA-1) and
// the Base64 wrappers over the core's random, cipher, RSA and key-random
// functions.
#include <array>
#include <cstring>
#include <string>

#include <zephaltpavix/base.h>
#include <zephaltpavix/crypto.h>
#include <zephaltpavix/sessionkey.h>
#include <zunCore/cipher.h>
#include <zunCore/encode.h>
#include <zunCore/error.h>
#include <zunCore/keypass.h>
#include <zunCore/pkcs1.h>
#include <zunCore/pkcs8.h>

#include "session/web_internal.hpp"

namespace {

using zstore::CoreBuffer;
using zstore::SecretBytes;
using zstore::web::bytes;

constexpr int kEntries = 10;
constexpr int kKeyLen = 16;
constexpr int kSkidLen = zstore::web::kSkidLen;

// One entry as the table has always laid it out: each field followed by a
// zero byte.
struct SkIdInfo {
    unsigned char skid[kSkidLen + 1];
    unsigned char key[kKeyLen + 1];
    unsigned char iv[kKeyLen + 1];
};

// The table and which of its entries were written (look-ups see those
// only: an unused entry is all zero, and so is a zero skid).
SkIdInfo* g_table = nullptr;
std::array<bool, kEntries> g_used{};

void releaseTable() {
    zstore::release(g_table, sizeof(SkIdInfo) * kEntries);
    g_table = nullptr;
    g_used.fill(false);
}

int failWith(int result, int lastError, const char* fn) {
    zstore::setLastError(lastError);
    VCL_Log(VCL_LOG_DEBUG, nullptr, 0, "%s () : %d (%s)\n", fn, result, VPL_GetErrorString(lastError));
    return result;
}

// SHA-1 of the certificate's bytes: 0, or the digest's code.
int skidOf(const void* cert, int certLen, unsigned char (&skid)[kSkidLen]) {
    void* digest = nullptr;
    int n = 0;
    const int rc = VPL_HASH_Data(cert, certLen, &digest, &n, "SHA1");
    if (rc != 0) return rc;
    const bool ok = n == kSkidLen;
    if (ok) std::memcpy(skid, digest, kSkidLen);
    VPL_Free(digest, n);
    return ok ? 0 : VPL_ERR_HASH;
}

// The caller's 16 bytes, or random ones: false when the generator fails.
bool keyOrRandom(const unsigned char* given, unsigned char (&out)[kKeyLen + 1]) {
    if (given) {
        std::memcpy(out, given, kKeyLen);
        return true;
    }
    return VCL_DRBG_Get_Random(out, kKeyLen) == 0;
}

// Writes a new entry at the count's place (kEntries or more: full).
int writeEntry(const unsigned char (&skid)[kSkidLen], const unsigned char* key, const unsigned char* iv,
               unsigned char* skidOut, const char* fn) {
    const int at = g_nSkIdInfoCnt;
    if (at < 0 || at >= kEntries || g_used[static_cast<size_t>(at)]) return failWith(-3, VPL_ERR_SKID_TABLE, fn);
    SkIdInfo entry{};
    std::memcpy(entry.skid, skid, kSkidLen);
    if (!keyOrRandom(key, entry.key) || !keyOrRandom(iv, entry.iv)) {
        explicit_bzero(&entry, sizeof entry);
        return failWith(-5, VPL_ERR_RANDOM_GEN, fn);
    }
    g_table[at] = entry;
    explicit_bzero(&entry, sizeof entry);
    g_used[static_cast<size_t>(at)] = true;
    if (skidOut) std::memcpy(skidOut, skid, kSkidLen);
    ++g_nSkIdInfoCnt;
    return 0;
}

SkIdInfo* find(const unsigned char* skid) {
    if (!g_table) return nullptr;
    for (int i = 0; i < kEntries; ++i)
        if (g_used[static_cast<size_t>(i)] && std::memcmp(g_table[i].skid, skid, kSkidLen) == 0) return &g_table[i];
    return nullptr;
}

// Enciphers or deciphers with the skid's key and IV.
int matchCipher(bool encrypt, const unsigned char* skid, const void* in, int inLen, const char* cipher,
                unsigned char** out, int* outLen, const char* fn) {
    if (out) *out = nullptr;
    if (outLen) *outLen = 0;
    if (!skid) return failWith(-1, VPL_ERR_SKID_CIPHER, fn);
    const SkIdInfo* e = find(skid);
    if (!e) return failWith(-2, VPL_ERR_SKID_NO_KEY, fn);
    if (!out || !outLen || !in || inLen < 0 || !zstore::web::cipherFits(cipher, kKeyLen, kKeyLen))
        return failWith(-3, VPL_ERR_SYM_ENCRYPT, fn);
    CoreBuffer result;
    const int rc =
        encrypt ? VCL_SYM_Encrypt(e->key, e->iv, cipher, 1, in, inLen, &result.bytes, &result.len, VCL_ENCODING_RAW)
                : VCL_SYM_Decrypt(e->key, e->iv, cipher, 1, in, inLen, &result.bytes, &result.len, VCL_ENCODING_RAW);
    if (rc != 0) {
        VCL_Log(VCL_LOG_DEBUG, nullptr, 0, "%s () : %s\n", fn, VCL_Get_Error_Msg(rc));
        return failWith(-3, VPL_ERR_SYM_ENCRYPT, fn);
    }
    if (zstore::handOut(result.view(), reinterpret_cast<char**>(out), outLen) != 0)
        return failWith(-3, VPL_ERR_SYM_ENCRYPT, fn);
    return 0;
}

// A core text copied into our buffer: its length, or -1.
int handOutText(std::string_view text, char** out) {
    int n = 0;
    if (zstore::handOut(text, out, &n) != 0) return -1;
    return n;
}

int linedText(std::string_view bytes, char** out) {
    std::string text;
    if (zstore::web::linedBase64(bytes, text) != 0) return -1;
    return handOutText(text, out);
}

}  // namespace

extern "C" {

VPL_API int VPL_InitSkIdArray(const void* cert, int certLen, const unsigned char* key, const unsigned char* iv,
                              unsigned char* skid) {
    static const char* const kFn = "VPL_InitSkIdArray";
    if (!cert || certLen <= 0) return failWith(-1, VPL_ERR_SKID_INIT, kFn);
    // The digest first: when it fails the table stays as it was.
    unsigned char digest[kSkidLen];
    if (const int rc = skidOf(cert, certLen, digest); rc != 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_InitSkIdArray () : Hash Fail(0x%08x)\n", static_cast<unsigned>(rc));
        return failWith(-4, VPL_ERR_SKID_HASH, kFn);
    }
    SkIdInfo* table = static_cast<SkIdInfo*>(std::calloc(kEntries, sizeof(SkIdInfo)));
    if (!table) return failWith(-2, VPL_ERR_SKID_TABLE, kFn);
    // A new table starts counting again: the count is its number of entries.
    releaseTable();
    g_table = table;
    g_nSkIdInfoCnt = 0;
    zstore::g_releaseSkIdBlock = releaseTable;
    return writeEntry(digest, key, iv, skid, kFn);
}

VPL_API int VPL_AddSkeyIV(const void* cert, int certLen, const unsigned char* key, const unsigned char* iv,
                          unsigned char* skid) {
    static const char* const kFn = "VPL_AddSkeyIV";
    if (!cert || certLen <= 0) return failWith(-1, VPL_ERR_SKID_ADD, kFn);
    unsigned char digest[kSkidLen];
    if (skidOf(cert, certLen, digest) != 0) return failWith(-2, VPL_ERR_SKID_HASH, kFn);
    if (!g_table) return failWith(-4, VPL_ERR_SKID_NOT_FOUND, kFn);
    if (SkIdInfo* known = find(digest)) {
        // A known server gets fresh random values, whatever was passed.
        SkIdInfo fresh = *known;
        if (!keyOrRandom(nullptr, fresh.key) || !keyOrRandom(nullptr, fresh.iv)) {
            explicit_bzero(&fresh, sizeof fresh);
            return failWith(-5, VPL_ERR_RANDOM_GEN, kFn);
        }
        *known = fresh;
        explicit_bzero(&fresh, sizeof fresh);
        VCL_Log(VCL_LOG_DEBUG, nullptr, 0, "VPL_AddSkeyIV() : fount skid!!!!!!!!");
        return 0;
    }
    const int rc = writeEntry(digest, key, iv, skid, kFn);
    if (rc == 0) VCL_Log(VCL_LOG_DEBUG, nullptr, 0, "VPL_AddSkeyIV() :g_nSkIdInfoCnt = [%d]", g_nSkIdInfoCnt);
    return rc;
}

VPL_API int VPL_GetSkeyIV(const unsigned char* skid, unsigned char* key, unsigned char* iv) {
    static const char* const kFn = "VPL_GetSkeyIV";
    if (!skid || !key || !iv) return failWith(-2, VPL_ERR_SKID_PARAM, kFn);
    const SkIdInfo* e = find(skid);
    if (!e) return failWith(-1, VPL_ERR_SKID_NOT_FOUND, kFn);
    std::memcpy(key, e->key, kKeyLen);
    std::memcpy(iv, e->iv, kKeyLen);
    return 0;
}

VPL_API int VPL_SkIdInfoCntInc(void) { return ++g_nSkIdInfoCnt; }

VPL_API int VPL_SymEncMatchSkeyIV(const unsigned char* skid, const void* in, int inLen, const char* cipherName,
                                  unsigned char** out, int* outLen) {
    return matchCipher(true, skid, in, inLen, cipherName, out, outLen, "VPL_SymEncMatchSkeyIV");
}

VPL_API int VPL_SymDecMatchSkeyIV(const unsigned char* skid, const void* in, int inLen, const char* cipherName,
                                  unsigned char** out, int* outLen) {
    return matchCipher(false, skid, in, inLen, cipherName, out, outLen, "VPL_SymDecMatchSkeyIV");
}

VPL_API void VPL_GenSessionKeyWithBase64(char** out) {
    if (!out) return;
    *out = nullptr;
    SecretBytes key;
    if (zstore::web::randomBytes(kKeyLen, key) != 0) return;
    linedText(key.view(), out);
}

VPL_API int VPL_Base64EncodeMalloc(const void* in, int len, char** out) {
    if (!out) return -1;
    *out = nullptr;
    if (!in || len <= 0) return -1;
    return linedText(bytes(in, len), out);
}

VPL_API int VPL_Base64DecodeMalloc(const char* in, int len, unsigned char** out) {
    if (!out) return -1;
    *out = nullptr;
    if (!in || len <= 0) return -1;
    CoreBuffer decoded;
    const int n = VCL_Base64_Decode(in, len, &decoded.bytes);
    if (n <= 0 || !decoded.bytes) return -1;
    decoded.len = n;
    return handOutText(decoded.view(), reinterpret_cast<char**>(out));
}

VPL_API int VPL_SymEncryptWithBase64(char** out, const char* plainText, const char* cipherName,
                                     const unsigned char* key, const unsigned char* iv) {
    if (!out) return -1;
    *out = nullptr;
    if (!plainText || !cipherName || !key || !iv) return -1;
    CoreBuffer enc;
    const int rc = VCL_SYM_Encrypt(key, iv, cipherName, 1, plainText, static_cast<int>(std::strlen(plainText)),
                                   &enc.bytes, &enc.len, VCL_ENCODING_BASE64_LINES);
    if (rc != 0 || enc.len <= 0) return -1;
    return handOutText(enc.view(), out);
}

VPL_API int VPL_SymEncryptWithBase64_B64Skey(char** out, const char* plainTextBase64, const char* cipherName,
                                             const char* keyBase64, const unsigned char* iv) {
    if (!out) return -1;
    *out = nullptr;
    if (!plainTextBase64 || !keyBase64 || !cipherName || !iv) return -1;
    const auto decode = [](const char* text, SecretBytes& bytesOut) {
        CoreBuffer d;
        const int n = VCL_Base64_Decode(text, static_cast<int>(std::strlen(text)), &d.bytes);
        if (n <= 0 || !d.bytes) return false;
        d.len = n;
        bytesOut.assign(d.view());
        return true;
    };
    SecretBytes plain, key;
    if (!decode(plainTextBase64, plain) || !decode(keyBase64, key)) return -1;
    // The core reads the cipher's key length: a shorter key would be read
    // past its end, a longer one cut without a word.
    int need = 0;
    if (VCL_SYM_Get_Key_Length(cipherName, &need) != 0 || key.size() != need) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_SymEncryptWithBase64_B64Skey () : key of %d bytes for %s\n", key.size(),
                   cipherName);
        return -1;
    }
    // The plaintext is a text: up to its first zero byte.
    plain.str().resize(std::strlen(plain.str().c_str()));
    return VPL_SymEncryptWithBase64(out, plain.str().c_str(), cipherName, key.data(), iv);
}

VPL_API int VPL_RSAPublicEncryptDataWithBase64(const void* data, int len, char** out, const void* cert, int certLen) {
    if (!out) return 0;
    *out = nullptr;
    if (!data || len <= 0 || !cert || certLen <= 0) return 0;
    CoreBuffer enc;
    VCL_COM_Change_Non_Proven();
    const int rc =
        VCL_PK1_Public_Encrypt(cert, certLen, VCL_RSA_PKCS1_V15, data, len, &enc.bytes, &enc.len, VCL_PK1_BASE64_LINES);
    if (rc != 0 || enc.len <= 0) return 0;
    const int n = handOutText(enc.view(), out);
    return n < 0 ? 0 : n;
}

VPL_API int VPL_RSASignWithBase64(const char* privateKey, const char* password, const char* hashName, const void* data,
                                  int len, char** out, int* outLen) {
    if (out) *out = nullptr;
    if (outLen) *outLen = 0;
    if (!privateKey || !password || !hashName || !data || len <= 0 || !out || !outLen) return VPL_ERR_INVALID_PARAM;
    CoreBuffer sig;
    VCL_COM_Change_Non_Proven();
    const int rc = VCL_PK1_Private_Sign(privateKey, static_cast<int>(std::strlen(privateKey)), password,
                                        static_cast<int>(std::strlen(password)), VCL_SIGN_PKCS1_V15, hashName, data,
                                        len, &sig.bytes, &sig.len, VCL_PK1_BASE64_LINES);
    if (rc != 0) return rc;
    if (sig.len <= 0 || zstore::handOut(sig.view(), out, outLen) != 0) return VPL_ERR_MALLOC;
    return 0;
}

VPL_API char* VPL_GetRVfromPrivKeyWithBase64(const char* keyPath, const char* password) {
    if (!keyPath || !password) return nullptr;
    SecretBytes key;
    if (!zstore::readFile(keyPath, key)) return nullptr;
    CoreBuffer random;
    VCL_COM_Change_Non_Proven();
    if (VCL_PK8_Get_Random(key.data(), key.size(), password, static_cast<int>(std::strlen(password)), &random.bytes,
                           &random.len) != 0 ||
        random.len <= 0)
        return nullptr;
    char* text = nullptr;
    if (linedText(random.view(), &text) < 0) return nullptr;
    return text;
}

}  // extern "C"
