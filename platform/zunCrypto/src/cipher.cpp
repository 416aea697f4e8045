// Block ciphers: ECB, CBC, CFB and OFB from OpenSSL (SEED, DES, RC2 and
// Blowfish through the legacy provider of our context), CTR of our own on top
// of each cipher's ECB so that every cipher has it.
#include "internal.h"

#include <openssl/core_names.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

namespace zc {
namespace {

struct CipherSpec {
    int alg;
    int keyLen;
    int blockLen;
    const char* names[4];  // ECB, CBC, CFB, OFB
    int rc2Bits;           // effective key bits of RC2, else 0
};

const CipherSpec kCiphers[] = {
    {VSC_CIPHER_AES128, 16, 16, {"AES-128-ECB", "AES-128-CBC", "AES-128-CFB", "AES-128-OFB"}, 0},
    {VSC_CIPHER_AES192, 24, 16, {"AES-192-ECB", "AES-192-CBC", "AES-192-CFB", "AES-192-OFB"}, 0},
    {VSC_CIPHER_AES256, 32, 16, {"AES-256-ECB", "AES-256-CBC", "AES-256-CFB", "AES-256-OFB"}, 0},
    {VSC_CIPHER_DES, 8, 8, {"DES-ECB", "DES-CBC", "DES-CFB", "DES-OFB"}, 0},
    {VSC_CIPHER_DES_EDE, 24, 8, {"DES-EDE3-ECB", "DES-EDE3-CBC", "DES-EDE3-CFB", "DES-EDE3-OFB"}, 0},
    {VSC_CIPHER_DES_EDE_2KEY, 16, 8, {"DES-EDE-ECB", "DES-EDE-CBC", "DES-EDE-CFB", "DES-EDE-OFB"}, 0},
    {VSC_CIPHER_DES_EDE3, 24, 8, {"DES-EDE3-ECB", "DES-EDE3-CBC", "DES-EDE3-CFB", "DES-EDE3-OFB"}, 0},
    {VSC_CIPHER_ARIA128, 16, 16, {"ARIA-128-ECB", "ARIA-128-CBC", "ARIA-128-CFB", "ARIA-128-OFB"}, 0},
    {VSC_CIPHER_ARIA192, 24, 16, {"ARIA-192-ECB", "ARIA-192-CBC", "ARIA-192-CFB", "ARIA-192-OFB"}, 0},
    {VSC_CIPHER_ARIA256, 32, 16, {"ARIA-256-ECB", "ARIA-256-CBC", "ARIA-256-CFB", "ARIA-256-OFB"}, 0},
    {VSC_CIPHER_SEED, 16, 16, {"SEED-ECB", "SEED-CBC", "SEED-CFB", "SEED-OFB"}, 0},
    {VSC_CIPHER_BF, 16, 8, {"BF-ECB", "BF-CBC", "BF-CFB", "BF-OFB"}, 0},
    {VSC_CIPHER_RC2_128, 16, 8, {"RC2-ECB", "RC2-CBC", "RC2-CFB", "RC2-OFB"}, 128},
    {VSC_CIPHER_RC2_40, 5, 8, {"RC2-ECB", "RC2-CBC", "RC2-CFB", "RC2-OFB"}, 40},
    // Named by the tables, offered by neither OpenSSL nor us.
    {VSC_CIPHER_RC5, 16, 8, {nullptr, nullptr, nullptr, nullptr}, 0},
};

enum class Mode { Ecb, Cbc, Cfb, Ofb, Ctr };

struct Resolved {
    const CipherSpec* spec = nullptr;
    Mode mode = Mode::Ecb;
    bool padding = false;
};

// 0 or a VSC_ code; fills r.
int resolve(int cipherId, Resolved& r) {
    int alg = cipherId & static_cast<int>(VSC_CIPHER_ALG_MASK);
    r.spec = nullptr;
    for (const auto& c : kCiphers)
        if (c.alg == alg) r.spec = &c;
    if (r.spec == nullptr || (cipherId & 0x1E) != 0) return VSC_ERR_UNKNOWN_ALGORITHM;
    switch (cipherId & VSC_CIPHER_MODE_MASK) {
        case VSC_CIPHER_MODE_ECB:
            r.mode = Mode::Ecb;
            break;
        case VSC_CIPHER_MODE_CBC:
            r.mode = Mode::Cbc;
            break;
        case VSC_CIPHER_MODE_CFB:
            r.mode = Mode::Cfb;
            break;
        case VSC_CIPHER_MODE_OFB:
            r.mode = Mode::Ofb;
            break;
        case VSC_CIPHER_MODE_CTR:
            r.mode = Mode::Ctr;
            break;
        default:
            return VSC_ERR_UNKNOWN_ALGORITHM;
    }
    r.padding = (r.mode == Mode::Ecb || r.mode == Mode::Cbc) && (cipherId & VSC_CIPHER_NO_PADDING) == 0;
    if (r.spec->names[0] == nullptr) return VSC_ERR_UNSUPPORTED;
    return VSC_OK;
}

// An OpenSSL context keyed for one cipher and mode (CTR uses ECB).
int makeContext(const Resolved& r, const unsigned char* key, const unsigned char* iv, bool encrypt, CipherCtxPtr& out) {
    if (int rc = ensureInit(); rc != VSC_OK) return rc;
    int index = r.mode == Mode::Ctr ? 0 : static_cast<int>(r.mode);
    const EVP_CIPHER* cipher = fetchedCipher(r.spec->names[index]);
    if (cipher == nullptr) return VSC_ERR_UNSUPPORTED;
    CipherCtxPtr ctx(EVP_CIPHER_CTX_new());
    if (!ctx) return VSC_ERR_MEMORY;
    // CTR's key stream is always made by encryption.
    bool enc = encrypt || r.mode == Mode::Ctr;
    if (!EVP_CipherInit_ex2(ctx.get(), cipher, nullptr, nullptr, enc ? 1 : 0, nullptr)) return VSC_ERR_BACKEND;
    if (r.spec->rc2Bits != 0) {
        unsigned int keyLen = static_cast<unsigned int>(r.spec->keyLen);
        unsigned int bits = static_cast<unsigned int>(r.spec->rc2Bits);
        OSSL_PARAM params[] = {
            OSSL_PARAM_construct_uint(OSSL_CIPHER_PARAM_KEYLEN, &keyLen),
            OSSL_PARAM_construct_uint(OSSL_CIPHER_PARAM_RC2_KEYBITS, &bits),
            OSSL_PARAM_construct_end(),
        };
        if (!EVP_CIPHER_CTX_set_params(ctx.get(), params)) return VSC_ERR_BACKEND;
    }
    const unsigned char* ivUse = (r.mode == Mode::Ecb || r.mode == Mode::Ctr) ? nullptr : iv;
    if (!EVP_CipherInit_ex2(ctx.get(), nullptr, key, ivUse, enc ? 1 : 0, nullptr)) return VSC_ERR_BACKEND;
    EVP_CIPHER_CTX_set_padding(ctx.get(), r.padding ? 1 : 0);
    out = std::move(ctx);
    return VSC_OK;
}

class CipherImpl {
public:
    int init(int cipherId, const unsigned char* key, const unsigned char* iv, bool encrypt) {
        m_active = false;
        Resolved r;
        if (int rc = resolve(cipherId, r); rc != VSC_OK) return rc;
        unsigned char zeros[16] = {};
        const unsigned char* ivUse = iv != nullptr ? iv : zeros;
        CipherCtxPtr ctx;
        if (int rc = makeContext(r, key, ivUse, encrypt, ctx); rc != VSC_OK) return rc;
        m_ctx = std::move(ctx);
        m_res = r;
        m_block = r.spec->blockLen;
        if (r.mode == Mode::Ctr) {
            m_counter.assign(ivUse, ivUse + m_block);
            m_stream.assign(static_cast<std::size_t>(m_block) * kBatch, 0);
            m_streamUsed = m_stream.size();  // none left
        }
        m_active = true;
        return VSC_OK;
    }

    int update(unsigned char* out, int* outLen, const unsigned char* in, int inLen) {
        if (!m_active) return VSC_ERR_NOT_INITIALIZED;
        if (m_res.mode == Mode::Ctr) return ctr(out, outLen, in, inLen);
        int n = 0;
        if (inLen > 0 && !EVP_CipherUpdate(m_ctx.get(), out, &n, in, inLen)) {
            m_active = false;
            return VSC_ERR_BACKEND;
        }
        *outLen = n;
        return VSC_OK;
    }

    int final(unsigned char* out, int* outLen) {
        if (!m_active) return VSC_ERR_NOT_INITIALIZED;
        m_active = false;
        if (m_res.mode == Mode::Ctr) {
            *outLen = 0;
            return VSC_OK;
        }
        int n = 0;
        if (!EVP_CipherFinal_ex(m_ctx.get(), out, &n)) {
            // Left-over bytes without padding, or padding that does not check out.
            bool decrypting = EVP_CIPHER_CTX_is_encrypting(m_ctx.get()) == 0;
            return decrypting && m_res.padding ? VSC_FAIL : VSC_ERR_INVALID_LENGTH;
        }
        *outLen = n;
        return VSC_OK;
    }

private:
    // The key stream is made a batch of counter blocks at a time: large
    // enough that one ECB call covers many blocks (the cipher pipelines them).
    static constexpr std::size_t kBatch = 256;

    static std::uint64_t loadBig(const unsigned char* p) {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        return __builtin_bswap64(v);
    }
    static void storeBig(unsigned char* p, std::uint64_t v) {
        v = __builtin_bswap64(v);
        std::memcpy(p, &v, 8);
    }

    // The next kBatch counter blocks. Blocks of 8 and 16 bytes count in
    // words (a byte-wise copy per block cost more than the cipher itself).
    void fillCounters(unsigned char* dst, std::size_t block) {
        unsigned char* c = m_counter.data();
        if (block == 16) {
            std::uint64_t hi = loadBig(c), lo = loadBig(c + 8);
            for (std::size_t b = 0; b < kBatch; ++b, dst += 16) {
                storeBig(dst, hi);
                storeBig(dst + 8, lo);
                if (++lo == 0) ++hi;
            }
            storeBig(c, hi);
            storeBig(c + 8, lo);
        } else if (block == 8) {
            std::uint64_t v = loadBig(c);
            for (std::size_t b = 0; b < kBatch; ++b, dst += 8) storeBig(dst, v++);
            storeBig(c, v);
        } else {
            for (std::size_t b = 0; b < kBatch; ++b, dst += block) {
                std::memcpy(dst, c, block);
                for (std::size_t k = block; k-- > 0;)
                    if (++c[k] != 0) break;
            }
        }
    }

    int refill() {
        std::size_t block = static_cast<std::size_t>(m_block);
        SecureBytes& counters = m_counters;
        counters.resize(block * kBatch);
        fillCounters(counters.data(), block);
        int n = 0;
        if (!EVP_EncryptUpdate(m_ctx.get(), m_stream.data(), &n, counters.data(), static_cast<int>(counters.size())) ||
            n != static_cast<int>(counters.size()))
            return VSC_ERR_BACKEND;
        m_streamUsed = 0;
        return VSC_OK;
    }

    int ctr(unsigned char* out, int* outLen, const unsigned char* in, int inLen) {
        std::size_t done = 0, total = static_cast<std::size_t>(inLen);
        while (done < total) {
            if (m_streamUsed == m_stream.size()) {
                if (int rc = refill(); rc != VSC_OK) {
                    m_active = false;
                    return rc;
                }
            }
            std::size_t n = std::min(total - done, m_stream.size() - m_streamUsed);
            const unsigned char* ks = m_stream.data() + m_streamUsed;
            std::size_t i = 0;
            // A word at a time; out may be in itself.
            for (; i + 8 <= n; i += 8) {
                std::uint64_t a, k;
                std::memcpy(&a, in + done + i, 8);
                std::memcpy(&k, ks + i, 8);
                a ^= k;
                std::memcpy(out + done + i, &a, 8);
            }
            for (; i < n; ++i) out[done + i] = in[done + i] ^ ks[i];
            done += n;
            m_streamUsed += n;
        }
        *outLen = inLen;
        return VSC_OK;
    }

    CipherCtxPtr m_ctx;
    Resolved m_res;
    int m_block = 0;
    bool m_active = false;
    SecureBytes m_counter;
    SecureBytes m_stream;
    SecureBytes m_counters;
    std::size_t m_streamUsed = 0;
};

CipherImpl* implOf(BLOCK_CIPHER_UNIT* unit) { return static_cast<CipherImpl*>(unit->impl); }

int initUnit(BLOCK_CIPHER_UNIT* unit, int cipherId, const unsigned char* key, const unsigned char* iv, int encrypt) {
    if (unit == nullptr || unit->impl == nullptr || key == nullptr) return VSC_ERR_NULL_ARGUMENT;
    Resolved r;
    int rc = resolve(cipherId, r);
    if (rc == VSC_OK) rc = implOf(unit)->init(cipherId, key, iv, encrypt != 0);
    if (rc != VSC_OK) {
        unit->alg_id = 0;
        return rc;
    }
    unit->alg_id = cipherId;
    unit->encrypt = encrypt != 0 ? 1 : 0;
    unit->padding = r.padding ? 1 : 0;
    unit->key_length = r.spec->keyLen;
    unit->block_length = r.spec->blockLen;
    unit->iv_length = r.mode == Mode::Ecb ? 0 : r.spec->blockLen;
    std::memset(unit->iv, 0, sizeof unit->iv);
    if (iv != nullptr && unit->iv_length > 0) std::memcpy(unit->iv, iv, static_cast<std::size_t>(unit->iv_length));
    return VSC_OK;
}

}  // namespace
}  // namespace zc

using zc::implOf;

extern "C" {

BLOCK_CIPHER_UNIT* VSC_New_BLOCK_CIPHER_Unit(void) { return zc::newUnit<BLOCK_CIPHER_UNIT, zc::CipherImpl>(); }

void VSC_Free_BLOCK_CIPHER_Unit(BLOCK_CIPHER_UNIT* unit) { zc::freeUnit<BLOCK_CIPHER_UNIT, zc::CipherImpl>(unit); }

int VSC_Init_BLOCK_CIPHER(BLOCK_CIPHER_UNIT* unit, int cipher_id, const unsigned char* key, const unsigned char* iv,
                          int encrypt) {
    return zc::initUnit(unit, cipher_id, key, iv, encrypt);
}

int VSC_Update_BLOCK_CIPHER(BLOCK_CIPHER_UNIT* unit, unsigned char* out, int* out_len, const unsigned char* in,
                            int in_len) {
    if (unit == nullptr || unit->impl == nullptr || out_len == nullptr || (out == nullptr && in_len > 0))
        return VSC_ERR_NULL_ARGUMENT;
    if (zc::badBuffer(in, in_len)) return VSC_ERR_INVALID_LENGTH;
    *out_len = 0;
    return implOf(unit)->update(out, out_len, in, in_len);
}

int VSC_Final_BLOCK_CIPHER(BLOCK_CIPHER_UNIT* unit, unsigned char* out, int* out_len) {
    if (unit == nullptr || unit->impl == nullptr || out == nullptr || out_len == nullptr) return VSC_ERR_NULL_ARGUMENT;
    *out_len = 0;
    return implOf(unit)->final(out, out_len);
}

int VSC_BLOCK_CIPHER(int cipher_id, int encrypt, const unsigned char* key, const unsigned char* iv,
                     const unsigned char* in, int in_len, unsigned char* out, int* out_len) {
    if (key == nullptr || out == nullptr || out_len == nullptr) return VSC_ERR_NULL_ARGUMENT;
    if (zc::badBuffer(in, in_len)) return VSC_ERR_INVALID_LENGTH;
    *out_len = 0;
    zc::Resolved r;
    if (int rc = zc::resolve(cipher_id, r); rc != VSC_OK) return rc;
    // Padded encryption adds up to a block: a result past INT_MAX has no count.
    if (encrypt != 0 && r.padding && in_len > INT_MAX - r.spec->blockLen) return VSC_ERR_INVALID_LENGTH;
    zc::CipherImpl c;
    int rc = c.init(cipher_id, key, iv, encrypt != 0);
    int n = 0, m = 0;
    if (rc == VSC_OK) rc = c.update(out, &n, in, in_len);
    if (rc == VSC_OK) rc = c.final(out + n, &m);
    if (rc != VSC_OK) {
        // No half-decrypted plaintext is left behind.
        OPENSSL_cleanse(out, static_cast<std::size_t>(n));
        return rc;
    }
    *out_len = n + m;
    return VSC_OK;
}

int VSC_Get_Key_Length(int cipher_id) {
    zc::Resolved r;
    return zc::resolve(cipher_id, r) == VSC_OK ? r.spec->keyLen : -1;
}

int VSC_Get_IV_Length(int cipher_id) {
    zc::Resolved r;
    if (zc::resolve(cipher_id, r) != VSC_OK) return -1;
    return r.mode == zc::Mode::Ecb ? 0 : r.spec->blockLen;
}

int VSC_Get_Block_Length(int cipher_id) {
    zc::Resolved r;
    return zc::resolve(cipher_id, r) == VSC_OK ? r.spec->blockLen : -1;
}

int VSC_Init_Advanced_BLOCK_CIPHER(int cipher_id, BLOCK_CIPHER_UNIT* unit, const unsigned char* key, int encrypt,
                                   const unsigned char* iv, int key_len) {
    int expected = VSC_Get_Key_Length(cipher_id);
    if (expected > 0 && key_len != expected) return VSC_ERR_INVALID_LENGTH;
    return zc::initUnit(unit, cipher_id, key, iv, encrypt);
}

int VSC_DoFinal_Advanced_BLOCK_CIPHER(BLOCK_CIPHER_UNIT* unit, unsigned char* out, int* out_len,
                                      const unsigned char* in, int in_len, int out_size) {
    if (unit == nullptr || unit->impl == nullptr || out == nullptr || out_len == nullptr) return VSC_ERR_NULL_ARGUMENT;
    if (zc::badBuffer(in, in_len) || out_size < 0) return VSC_ERR_INVALID_LENGTH;
    *out_len = 0;
    // Bytes held back from earlier updates and the padding add up to two
    // blocks: a result past INT_MAX has no count.
    if (in_len > INT_MAX - 2 * 16) return VSC_ERR_INVALID_LENGTH;
    // Through a scratch buffer of the worst-case size, so that out_size bounds
    // what reaches the caller.
    zc::SecureBytes scratch(static_cast<std::size_t>(in_len) + 2 * 16);
    int n = 0, m = 0;
    int rc = implOf(unit)->update(scratch.data(), &n, in, in_len);
    if (rc == VSC_OK) rc = implOf(unit)->final(scratch.data() + n, &m);
    if (rc != VSC_OK) return rc;
    if (n + m > out_size) return VSC_ERR_BUFFER_TOO_SMALL;
    std::memcpy(out, scratch.data(), static_cast<std::size_t>(n + m));
    *out_len = n + m;
    return VSC_OK;
}

int VSC_CBC_MAC(int cipher_id, const unsigned char* key, const unsigned char* data, int len, unsigned char* out,
                int* out_len) {
    if (key == nullptr || out == nullptr) return VSC_ERR_NULL_ARGUMENT;
    if (zc::badBuffer(data, len)) return VSC_ERR_INVALID_LENGTH;
    int id = (cipher_id & static_cast<int>(VSC_CIPHER_ALG_MASK)) | VSC_CIPHER_MODE_CBC | VSC_CIPHER_NO_PADDING;
    zc::Resolved r;
    if (int rc = zc::resolve(id, r); rc != VSC_OK) return rc;
    // CBC over the data in place, a chunk at a time, and the zero-padded tail
    // block last: no copy of the data, and no padded length that must fit an int.
    const std::size_t block = static_cast<std::size_t>(r.spec->blockLen);
    const std::size_t size = static_cast<std::size_t>(len);
    const std::size_t whole = size / block * block;
    constexpr std::size_t kChunk = 64 * 1024;
    zc::CipherImpl c;
    if (int rc = c.init(id, key, nullptr, true); rc != VSC_OK) return rc;
    zc::SecureBytes cipherText(kChunk + block);
    unsigned char mac[16];
    int n = 0;
    for (std::size_t done = 0; done < whole;) {
        const std::size_t take = std::min(kChunk, whole - done);
        if (int rc = c.update(cipherText.data(), &n, data + done, static_cast<int>(take)); rc != VSC_OK) return rc;
        done += take;
    }
    if (size == whole && size > 0) {
        // The last whole block's cipher text is the MAC.
        std::memcpy(mac, cipherText.data() + n - block, block);
    } else {
        zc::SecureBytes tail(block, 0);
        if (size > whole) std::memcpy(tail.data(), data + whole, size - whole);
        if (int rc = c.update(cipherText.data(), &n, tail.data(), static_cast<int>(block)); rc != VSC_OK) return rc;
        std::memcpy(mac, cipherText.data() + n - block, block);
    }
    int m = 0;
    if (int rc = c.final(cipherText.data(), &m); rc != VSC_OK) return rc;
    std::memcpy(out, mac, block);
    if (out_len != nullptr) *out_len = static_cast<int>(block);
    return VSC_OK;
}

}  // extern "C"
