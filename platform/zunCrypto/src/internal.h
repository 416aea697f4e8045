// Shared pieces of the crypto layer's implementation.
#pragma once

#include <zunCrypto/zunCrypto.h>

#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <vector>

struct vsc_bigint_st {
    BIGNUM* bn;
};

namespace zc {

using Bytes = std::span<const unsigned char>;

// The library context that holds the default and legacy providers; never the
// process's default context. Null only when the providers failed to load.
OSSL_LIB_CTX* libctx();
// Loads the context once; 0 or a VSC_ code.
int ensureInit();

// OpenSSL objects fetched once from our context (null when unavailable).
const EVP_MD* fetchedDigest(int digestId);
const EVP_CIPHER* fetchedCipher(const char* name);

// Vector whose contents are wiped when it goes away.
template <class T>
struct ZeroingAllocator {
    using value_type = T;
    ZeroingAllocator() = default;
    template <class U>
    ZeroingAllocator(const ZeroingAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return std::allocator<T>{}.allocate(n); }
    void deallocate(T* p, std::size_t n) noexcept {
        OPENSSL_cleanse(p, n * sizeof(T));
        std::allocator<T>{}.deallocate(p, n);
    }
    template <class U>
    bool operator==(const ZeroingAllocator<U>&) const noexcept {
        return true;
    }
};
using SecureBytes = std::vector<unsigned char, ZeroingAllocator<unsigned char>>;

// RAII for OpenSSL handles.
struct BnDeleter {
    void operator()(BIGNUM* b) const { BN_clear_free(b); }
};
struct BnCtxDeleter {
    void operator()(BN_CTX* c) const { BN_CTX_free(c); }
};
struct MdCtxDeleter {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
struct CipherCtxDeleter {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
struct PkeyDeleter {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct PkeyCtxDeleter {
    void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
};
using BnPtr = std::unique_ptr<BIGNUM, BnDeleter>;
using BnCtxPtr = std::unique_ptr<BN_CTX, BnCtxDeleter>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, MdCtxDeleter>;
using CipherCtxPtr = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxDeleter>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyDeleter>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxDeleter>;

inline BnCtxPtr newBnCtx() { return BnCtxPtr(BN_CTX_secure_new_ex(libctx())); }

// BIGINT helpers.
BIGINT* wrapBn(BIGNUM* bn);           // takes ownership; null on failure
const BIGNUM* bnOf(const BIGINT* a);  // null for null
// Replaces *slot with a copy of v (null v clears it).
int setCopy(BIGINT** slot, const BIGINT* v);
void freeBigint(BIGINT** slot);
BIGINT* bigintFromBn(const BIGNUM* bn);  // a copy

// Digest description of a digest id.
struct DigestInfo {
    int id;
    int length;
    int block;
    const char* evpName;  // null for our own (HAS-160)
};
const DigestInfo* digestInfo(int digestId);  // null when unknown

// A one-shot or streaming digest over any digest id we offer, HAS-160 included.
class Hasher {
public:
    Hasher() = default;
    ~Hasher();
    Hasher(const Hasher&) = delete;
    Hasher& operator=(const Hasher&) = delete;
    int init(int digestId);
    int update(Bytes data);
    int final(unsigned char* out);  // writes length(); ready again afterwards
    int length() const { return m_info ? m_info->length : 0; }
    int block() const { return m_info ? m_info->block : 0; }
    int id() const { return m_info ? m_info->id : 0; }

private:
    const DigestInfo* m_info = nullptr;
    EVP_MD_CTX* m_ctx = nullptr;
    struct Has160State* m_has = nullptr;
};

// HAS-160 core (exposed for tests).
struct Has160State {
    uint32_t h[5];
    uint64_t total;
    unsigned char buf[64];
    std::size_t used;
};
void has160Init(Has160State& s);
void has160Update(Has160State& s, const unsigned char* data, std::size_t len);
void has160Final(Has160State& s, unsigned char out[20]);

// KCDSA signing with a given k, for the known-answer tests.
int kcdsaFinalWithK(KCDSA_UNIT* k, const BIGNUM* kValue, unsigned char* r, int* rLen, unsigned char* s, int* sLen);

// Units whose library state hangs off their impl member.
template <class Unit, class Impl>
Unit* newUnit() {
    auto* unit = new (std::nothrow) Unit{};
    if (unit == nullptr) return nullptr;
    unit->impl = new (std::nothrow) Impl();
    if (unit->impl == nullptr) {
        delete unit;
        return nullptr;
    }
    return unit;
}

template <class Unit, class Impl>
void freeUnit(Unit* unit) {
    if (unit == nullptr) return;
    delete static_cast<Impl*>(unit->impl);
    OPENSSL_cleanse(unit, sizeof *unit);
    delete unit;
}

// Length check shared by the entry points: null data is fine only with len 0.
inline bool badBuffer(const void* p, int len) { return len < 0 || (p == nullptr && len > 0); }

}  // namespace zc
