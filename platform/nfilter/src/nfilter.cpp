// The NSHC keypad library's four functions on OpenSSL 3 (formats in the
// header). Every secret on the stack is cleansed before returning, and
// every text handed out is zeroed by FreeString.
#include <malloc.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <strings.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "nfilter/NFilterOpenWeb.h"

namespace {

constexpr int kRawKeyLen = 32;
constexpr int kHexKeyLen = 2 * kRawKeyLen;
constexpr int kSaltLen = 4;
constexpr int kPeerLen = 2 * kSaltLen + kHexKeyLen;  // 72
constexpr int kNonceLen = 12;
constexpr int kTagLen = 16;
constexpr char kInfo[] = "nFilterkey";

// Bytes that are wiped when they go out of scope.
template <size_t N>
struct Secret {
    std::array<unsigned char, N> b{};
    ~Secret() { OPENSSL_cleanse(b.data(), b.size()); }
};

struct PkeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct PkeyCtxFree {
    void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
};
struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
struct KdfFree {
    void operator()(EVP_KDF* k) const { EVP_KDF_free(k); }
};
struct KdfCtxFree {
    void operator()(EVP_KDF_CTX* c) const { EVP_KDF_CTX_free(c); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

bool constantsOk(int suite, int keyFormat) { return suite == NF_SUITE && keyFormat == NF_KEY_HEX; }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Exactly out.size() bytes from 2 * out.size() hex digits.
bool fromHex(const char* hex, std::span<unsigned char> out) {
    for (size_t i = 0; i < out.size(); ++i) {
        const int hi = hexDigit(hex[2 * i]), lo = hexDigit(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        out[i] = static_cast<unsigned char>(hi << 4 | lo);
    }
    return true;
}

// A new text of n bytes and a NUL, for FreeString.
char* newText(const void* bytes, size_t n) {
    auto* t = static_cast<char*>(std::malloc(n + 1));
    if (!t) return nullptr;
    if (n) std::memcpy(t, bytes, n);
    t[n] = '\0';
    return t;
}

char* hexText(std::span<const unsigned char> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::vector<char> hex(2 * bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        hex[2 * i] = kDigits[bytes[i] >> 4];
        hex[2 * i + 1] = kDigits[bytes[i] & 15];
    }
    char* t = newText(hex.data(), hex.size());
    OPENSSL_cleanse(hex.data(), hex.size());
    return t;
}

}  // namespace

extern "C" {

NF_API int N_GenerateKeypair(int suite, int keyFormat, char** privateKey, int* privateKeyLen, char** publicKey,
                             int* publicKeyLen) {
    if (!privateKey || !privateKeyLen || !publicKey || !publicKeyLen) return NF_ERR_ARGUMENT;
    if (!constantsOk(suite, keyFormat)) return NF_ERR_CONSTANT;
    Pkey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "X25519"));
    if (!key) return NF_ERR_BACKEND;
    Secret<kRawKeyLen> priv;
    std::array<unsigned char, kRawKeyLen> pub{};
    size_t privLen = priv.b.size(), pubLen = pub.size();
    if (EVP_PKEY_get_raw_private_key(key.get(), priv.b.data(), &privLen) != 1 ||
        EVP_PKEY_get_raw_public_key(key.get(), pub.data(), &pubLen) != 1 || privLen != kRawKeyLen ||
        pubLen != kRawKeyLen)
        return NF_ERR_BACKEND;
    char* privText = hexText(priv.b);
    char* pubText = hexText(pub);
    if (!privText || !pubText) {
        FreeString(privText);
        FreeString(pubText);
        return NF_ERR_BACKEND;
    }
    *privateKey = privText;
    *privateKeyLen = kHexKeyLen;
    *publicKey = pubText;
    *publicKeyLen = kHexKeyLen;
    return 0;
}

NF_API int N_DeriveKey(int suite, int keyFormat, const char* peer, int peerLen, const char* privateKey,
                       int privateKeyLen, char** derivedKey) {
    if (!peer || !privateKey || !derivedKey || peerLen < 0 || privateKeyLen < 0) return NF_ERR_ARGUMENT;
    if (!constantsOk(suite, keyFormat)) return NF_ERR_CONSTANT;
    if (peerLen != kPeerLen || privateKeyLen != kHexKeyLen) return NF_ERR_FORMAT;

    std::array<unsigned char, kSaltLen> salt{};
    std::array<unsigned char, kRawKeyLen> peerPub{};
    Secret<kRawKeyLen> priv;
    if (!fromHex(peer, salt) || !fromHex(peer + 2 * kSaltLen, peerPub) || !fromHex(privateKey, priv.b))
        return NF_ERR_FORMAT;

    Pkey own(EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, priv.b.data(), priv.b.size()));
    Pkey other(EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, peerPub.data(), peerPub.size()));
    if (!own || !other) return NF_ERR_BACKEND;
    std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree> dctx(EVP_PKEY_CTX_new(own.get(), nullptr));
    Secret<kRawKeyLen> shared;
    size_t sharedLen = shared.b.size();
    if (!dctx || EVP_PKEY_derive_init(dctx.get()) != 1) return NF_ERR_BACKEND;
    // OpenSSL refuses a peer key of small order (an all-zero secret) here.
    if (EVP_PKEY_derive_set_peer(dctx.get(), other.get()) != 1 ||
        EVP_PKEY_derive(dctx.get(), shared.b.data(), &sharedLen) != 1 || sharedLen != kRawKeyLen)
        return NF_ERR_AGREEMENT;

    std::unique_ptr<EVP_KDF, KdfFree> kdf(EVP_KDF_fetch(nullptr, "HKDF", nullptr));
    std::unique_ptr<EVP_KDF_CTX, KdfCtxFree> kctx(kdf ? EVP_KDF_CTX_new(kdf.get()) : nullptr);
    if (!kctx) return NF_ERR_BACKEND;
    char digest[] = "SHA256";
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, shared.b.data(), shared.b.size()),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, salt.data(), salt.size()),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, const_cast<char*>(kInfo), sizeof kInfo - 1),
        OSSL_PARAM_construct_end(),
    };
    Secret<kRawKeyLen> key;
    if (EVP_KDF_derive(kctx.get(), key.b.data(), key.b.size(), params) != 1) return NF_ERR_BACKEND;

    Secret<4 * ((kRawKeyLen + 2) / 3) + 1> text;
    const int n = EVP_EncodeBlock(text.b.data(), key.b.data(), kRawKeyLen);
    char* out = n > 0 ? newText(text.b.data(), static_cast<size_t>(n)) : nullptr;
    if (!out) return NF_ERR_BACKEND;
    *derivedKey = out;
    return 0;
}

NF_API int N_Decrypt(int suite, const unsigned char* key, int keyLen, const unsigned char* cipher, int cipherLen,
                     char** plain) {
    if (!key || !cipher || !plain || keyLen < 0 || cipherLen < 0) return NF_ERR_ARGUMENT;
    if (suite != NF_SUITE) return NF_ERR_CONSTANT;
    if (keyLen != kRawKeyLen) return NF_ERR_FORMAT;
    if (cipherLen < kNonceLen + kTagLen) return NF_ERR_DECRYPT;
    const int bodyLen = cipherLen - kNonceLen - kTagLen;
    const unsigned char* body = cipher + kNonceLen;
    const unsigned char* tag = body + bodyLen;

    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, kNonceLen, nullptr) != 1 ||
        EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, key, cipher) != 1)
        return NF_ERR_BACKEND;
    // The plain text with room for the NUL; wiped whatever happens.
    std::vector<unsigned char> out(static_cast<size_t>(bodyLen) + 1);
    struct Wipe {
        std::vector<unsigned char>& v;
        ~Wipe() { OPENSSL_cleanse(v.data(), v.size()); }
    } wipe{out};
    int n = 0, fin = 0;
    if (EVP_DecryptUpdate(ctx.get(), out.data(), &n, body, bodyLen) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, kTagLen, const_cast<unsigned char*>(tag)) != 1)
        return NF_ERR_BACKEND;
    if (EVP_DecryptFinal_ex(ctx.get(), out.data() + n, &fin) != 1) return NF_ERR_DECRYPT;
    const size_t len = static_cast<size_t>(n + fin);
    if (std::memchr(out.data(), 0, len) != nullptr) return NF_ERR_PLAIN;
    char* text = newText(out.data(), len);
    if (!text) return NF_ERR_BACKEND;
    *plain = text;
    return 0;
}

NF_API void FreeString(char* text) {
    if (!text) return;
    explicit_bzero(text, malloc_usable_size(text));
    std::free(text);
}

}  // extern "C"
