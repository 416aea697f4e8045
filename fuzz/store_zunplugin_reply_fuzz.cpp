// Web servers' replies to a fixed session: the first byte picks the reader
// (VPL_SYM_Decrypt, VPL_ZUNPlugin_VFx_Decrypt, VPL_IPDecrypt,
// VPL_Exchangekey_Decrypt, or a key-exchange reply sealed here for the KM
// key) and the second the session's mode; the rest is the reply.
// Properties: only the readers' codes; outputs only on success; the raw
// reply of VPL_IPDecrypt is VPL_ZUNPlugin_VFx_Decrypt's plaintext less an
// "r" header; the kept key-exchange data is gone after every key-exchange
// call; a refused exchange keeps the premaster, an accepted one makes it
// R1 and the server's bytes with the keys derived from it.
//
// The session's keys are fixed (the corpus script enciphers with them):
// session key "0123456789abcdef", the fixed IV, a premaster of 64 bytes
// 0x11 (server key and IV: SHA-256 of 64 bytes 0xee), R1 of 32 bytes 0x52.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <zephaltpavix/zephaltpavix.h>
#include <zunCore/cipher.h>
#include <zunCore/keys.h>
#include <zunCore/pkcs1.h>

#include "base/store_internal.hpp"
#include "context/context_internal.hpp"

namespace {

void check(bool condition) {
    if (!condition) abort();
}

const char kDomain[] = "fuzz.example";
const std::string kSessionKey = "0123456789abcdef";
const std::string kPremaster(64, '\x11');
const std::string kR1(32, '\x52');

struct Keys {
    std::string kmPrivate, kmPublic;  // PKCS#1 DER / PEM
};

const Keys& keys() {
    static const Keys k = [] {
        Keys made;
        unsigned char *pub = nullptr, *priv = nullptr;
        int pubLen = 0, privLen = 0;
        check(VCL_PK1_Generate_RSA_Key(1, 2048, 0, &pub, &pubLen, &priv, &privLen) == 0);
        made.kmPublic.assign(reinterpret_cast<char*>(pub), static_cast<size_t>(pubLen));
        made.kmPrivate.assign(reinterpret_cast<char*>(priv), static_cast<size_t>(privLen));
        VCL_Free(pub, pubLen);
        VCL_Free(priv, privLen);
        return made;
    }();
    return k;
}

template <typename T>
void set(T*& member, int& len, const std::string& bytes) {
    VPL_Free(member, len);
    member = reinterpret_cast<T*>(zstore::newBuffer(bytes));
    check(member != nullptr);
    len = static_cast<int>(bytes.size());
}

std::string bytesOf(const void* p, int n) { return p ? std::string(static_cast<const char*>(p), n) : std::string(); }

// The session as every input finds it.
CTX* reset(int extendedMode, int kxName) {
    if (!VPL_Find_CTX(g_CTX_Head, kDomain)) check(VPL_Set_DomainInfo(kDomain, sizeof kDomain - 1) == 0);
    CTX* ctx = VPL_Find_CTX(g_CTX_Head, kDomain);
    set(ctx->sessionKey, ctx->sessionKeyLen, kSessionKey);
    set(ctx->iv, ctx->ivLen, "ZORBAXE MODULE..");
    set(ctx->premaster, ctx->premasterLen, kPremaster);
    VPL_Free(ctx->clientKey, ctx->clientKeyLen);
    VPL_Free(ctx->clientIv, ctx->clientIvLen);
    VPL_Free(ctx->serverKey, ctx->serverKeyLen);
    VPL_Free(ctx->serverIv, ctx->serverIvLen);
    check(VPL_Make_ClientSK(kPremaster.data(), 64, &ctx->clientKey, &ctx->clientKeyLen, &ctx->clientIv,
                            &ctx->clientIvLen) == 0);
    check(VPL_Make_ServerSK(kPremaster.data(), 64, &ctx->serverKey, &ctx->serverKeyLen, &ctx->serverIv,
                            &ctx->serverIvLen) == 0);
    static const char* const kx[] = {"RSA15", "RSA20", "RSA21", "KCDSA"};
    check(VPL_SetZUNPluginDataProperty(kDomain, "cert", 4, "SEED-CBC", kx[kxName & 3], "SHA256", nullptr, nullptr) ==
          0);
    ctx->extendedMode = extendedMode;
    // The key exchange's kept data, as a version-21 string leaves it.
    check(VPL_Init_Exchg_Cert() == 0);
    set(g_EXCHG_CERT->random, g_EXCHG_CERT->randomLen, kR1);
    set(g_EXCHG_CERT->kmKey, g_EXCHG_CERT->kmKeyLen, keys().kmPrivate);
    set(g_EXCHG_CERT->password, g_EXCHG_CERT->passwordLen, "");
    return ctx;
}

struct Plain {
    int rc;
    std::string text;
    bool out;
};

Plain vfx(const std::string& in, int encoding) {
    char* out = nullptr;
    int n = 0;
    const int rc =
        VPL_ZUNPlugin_VFx_Decrypt(kDomain, "SEED-CBC", encoding, in.data(), static_cast<int>(in.size()), &out, &n);
    check(rc == 0 || rc == VPL_ERR_SYM_DECRYPT);
    check(rc == 0 || (out == nullptr && n == 0));
    Plain p{rc, bytesOf(out, n), out != nullptr};
    if (out) check(out[n] == '\0');
    VPL_Free(out, n);
    return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int reader = data[0] % 5;
    CTX* ctx = reset(data[1] & 1, data[1] >> 1);
    const std::string in(reinterpret_cast<const char*>(data) + 2, size - 2);

    switch (reader) {
        case 0: {
            char* out = nullptr;
            int n = 0;
            const int rc = VPL_SYM_Decrypt(kDomain, 0, "SEED-CBC", 8, in.data(), static_cast<int>(in.size()), &out, &n);
            check(rc == 0 || rc == VPL_ERR_SYM_DECRYPT);
            check((out != nullptr) == (rc == 0 && n > 0));
            VPL_Free(out, n);
            break;
        }
        case 1: {
            const Plain a = vfx(in, data[1] & 2 ? 0 : 2);
            const Plain b = vfx(in, data[1] & 2 ? 0 : 2);
            check(a.rc == b.rc && a.text == b.text);
            break;
        }
        case 2: {
            const Plain p = vfx(in, 2);
            char* text = nullptr;
            const int rc = VPL_IPDecrypt(kDomain, in.data(), static_cast<int>(in.size()), &text);
            check(rc == 0 || rc == VPL_ERR_IP_DECRYPT);
            // The text is read as a C string: up to its first zero byte.
            const auto asText = [](const std::string& s) { return s.substr(0, s.find('\0')); };
            if (p.rc != 0) {
                check(rc == VPL_ERR_IP_DECRYPT && text == nullptr);
            } else if (!p.text.empty() && p.text[0] == 'r') {
                check(p.text.size() < 22 ? rc == VPL_ERR_IP_DECRYPT && text == nullptr
                                         : rc == 0 && text && asText(p.text.substr(22)) == text);
            } else {
                check(rc == 0 && text && asText(p.text) == text);
            }
            if (text) VPL_Free(text, static_cast<int>(std::strlen(text)));
            break;
        }
        default: {
            // 3: the input as the reply's text; 4: a reply sealed here for
            // the KM key over R1 (changed by the input's first byte when it
            // is odd) and 32 bytes of the input.
            std::string reply = in, plain;
            int expected = -2;  // any refusal
            if (reader == 4) {
                plain = kR1;
                if (!in.empty() && (in[0] & 1)) plain[static_cast<uint8_t>(in[0]) % 32] ^= 0x01;
                plain += (in + std::string(32, '\0')).substr(0, 32);
                const int pad = VPL_get_pad_mode(ctx->kx, 0);
                unsigned char* sealed = nullptr;
                int sealedLen = 0;
                // Under "KCDSA" the key decrypts raw: a v1.5 block is no 64 bytes.
                check(VCL_PK1_Public_Encrypt_ex(keys().kmPublic.data(), static_cast<int>(keys().kmPublic.size()),
                                                static_cast<unsigned char>(pad == 0 ? VCL_RSA_PKCS1_V15 : pad),
                                                plain.data(), 64, &sealed, &sealedLen, VCL_PK1_BASE64, "SHA256") == 0);
                reply.assign(reinterpret_cast<char*>(sealed), static_cast<size_t>(sealedLen));
                VCL_Free(sealed, sealedLen);
                expected = pad != 0 && plain.compare(0, 32, kR1) == 0 ? 0 : VPL_ERR_R1;
            }
            const int rc = VPL_Exchangekey_Decrypt(kDomain, reply.c_str(), static_cast<int>(reply.size()));
            check(g_EXCHG_CERT == nullptr);
            check(expected == -2 ? rc != 0 : rc == expected);
            if (rc == 0) {
                check(bytesOf(ctx->premaster, ctx->premasterLen) == plain);
                unsigned char *k = nullptr, *iv = nullptr;
                int kLen = 0, ivLen = 0;
                check(VPL_Make_ServerSK(plain.data(), 64, &k, &kLen, &iv, &ivLen) == 0);
                check(bytesOf(ctx->serverKey, ctx->serverKeyLen) == bytesOf(k, kLen));
                check(bytesOf(ctx->serverIv, ctx->serverIvLen) == bytesOf(iv, ivLen));
                VPL_Free(k, kLen);
                VPL_Free(iv, ivLen);
            } else {
                check(bytesOf(ctx->premaster, ctx->premasterLen) == kPremaster);
            }
            break;
        }
    }
    VPL_Delete_Exchg_Cert();
    return 0;
}
