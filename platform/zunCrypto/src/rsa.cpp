// RSA key records and the RSASSA / RSAES schemes.
//
// The RSA arithmetic is OpenSSL's (raw operations with blinding). Its key
// object is made from the record's values once and kept, shared with the
// unit's copies: making it sets up blinding and the Montgomery contexts
// again, which costs as much as the operation itself. Callers may still set
// the values directly, so every use first checks that the key was made from
// the values the unit holds now. The encodings (EMSA-PKCS1-v1_5, EMSA-PSS,
// OAEP, block types 1 and 2) are ours, so that every digest of the layer,
// HAS-160 included, and both key directions work. Decryptions that handle a
// secret (private key, PKCS#1 v1.5 or OAEP with an OpenSSL digest) use
// OpenSSL's constant-time padding checks.
#include "internal.h"

#include <openssl/core_names.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

#include <cstring>
#include <mutex>
#include <utility>

namespace zc {
namespace {

BIGINT** slot(RSA_UNIT* r, int i) {
    BIGINT** all[] = {&r->n, &r->e, &r->d, &r->p, &r->q, &r->dP, &r->dQ, &r->qInv, &r->cache};
    return all[i];
}
constexpr int kValues = 8;  // n .. qInv; the cache comes last

// A PSS start that names no salt length: the digest's length when signing,
// any length when verifying.
constexpr int kAnySalt = -1;

// OpenSSL's key of a unit's values, and those values (present or not, sign,
// length and bytes of each of the eight): the key serves a unit only while
// they are the unit's. Both are wiped when the last unit using it lets go.
struct BuiltKey {
    PkeyPtr pkey;
    SecureBytes values;
};

// Where a unit and its copies keep their key: the first of them to need it
// makes it, the others use it while their values are the same.
struct KeySlot {
    std::shared_ptr<const BuiltKey> key;
};

// Guards every unit's slot pointer and every slot's key: copies of one unit
// may be made and used from several threads at once.
std::mutex g_keyLock;

struct RsaState {
    bool ssa = false;  // RSASSA started
    bool es = false;   // RSAES started
    int scheme = 0;
    int saltLen = kAnySalt;  // PSS: the exact length, or kAnySalt
    int oaepDigest = 0;
    bool usePrivate = false;
    std::shared_ptr<KeySlot> slot;  // under g_keyLock
};

RsaState* stateOf(RSA_UNIT* r) {
    if (r->impl == nullptr) r->impl = new (std::nothrow) RsaState();
    return static_cast<RsaState*>(r->impl);
}

// The state with both schemes stopped, for a new start; null without memory.
RsaState* restart(RSA_UNIT* r) {
    RsaState* st = stateOf(r);
    if (st != nullptr) st->ssa = st->es = false;
    return st;
}

int modulusBytes(const RSA_UNIT* r) { return r->n == nullptr ? -1 : BN_num_bytes(r->n->bn); }

struct ParamBldDeleter {
    void operator()(OSSL_PARAM_BLD* b) const { OSSL_PARAM_BLD_free(b); }
};
// The built parameters hold copies of d, the primes and the CRT values in an
// ordinary block that OSSL_PARAM_free releases as it is; wipe them first.
struct ParamDeleter {
    void operator()(OSSL_PARAM* params) const {
        for (OSSL_PARAM* p = params; p != nullptr && p->key != nullptr; ++p)
            if (p->data != nullptr) OPENSSL_cleanse(p->data, p->data_size);
        OSSL_PARAM_free(params);
    }
};

// The record's values as they stand, for comparison with a kept key's.
void valuesOf(RSA_UNIT* r, SecureBytes& out) {
    std::size_t size = 0;
    for (int i = 0; i < kValues; ++i)
        if (const BIGINT* v = *slot(r, i)) size += 5 + static_cast<std::size_t>(BN_num_bytes(v->bn));
    out.assign(kValues + size, 0);
    unsigned char* at = out.data();
    for (int i = 0; i < kValues; ++i) {
        const BIGINT* v = *slot(r, i);
        *at++ = v == nullptr ? 0 : (BN_is_negative(v->bn) ? 2 : 1);
        if (v == nullptr) continue;
        const int n = BN_num_bytes(v->bn);
        for (int shift = 24; shift >= 0; shift -= 8) *at++ = static_cast<unsigned char>(n >> shift);
        at += BN_bn2bin(v->bn, at);
    }
    out.resize(static_cast<std::size_t>(at - out.data()));
}

bool sameValues(const SecureBytes& a, const SecureBytes& b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

// An OpenSSL key of the record's current values: a key pair when d is held.
int buildKey(const RSA_UNIT* r, PkeyPtr& out) {
    if (int rc = ensureInit(); rc != VSC_OK) return rc;
    if (r->n == nullptr || r->e == nullptr || BN_is_zero(r->n->bn) || BN_is_zero(r->e->bn)) return VSC_ERR_KEY_MISSING;
    const bool withPrivate = r->d != nullptr && !BN_is_zero(r->d->bn);
    std::unique_ptr<OSSL_PARAM_BLD, ParamBldDeleter> bld(OSSL_PARAM_BLD_new());
    if (!bld) return VSC_ERR_MEMORY;
    bool ok = OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_N, r->n->bn) &&
              OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_E, r->e->bn);
    if (withPrivate) {
        ok = ok && OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_D, r->d->bn);
        if (r->p && r->q && r->dP && r->dQ && r->qInv)
            ok = ok && OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_FACTOR1, r->p->bn) &&
                 OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_FACTOR2, r->q->bn) &&
                 OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_EXPONENT1, r->dP->bn) &&
                 OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_EXPONENT2, r->dQ->bn) &&
                 OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_COEFFICIENT1, r->qInv->bn);
    }
    if (!ok) return VSC_ERR_MEMORY;
    std::unique_ptr<OSSL_PARAM, ParamDeleter> params(OSSL_PARAM_BLD_to_param(bld.get()));
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(libctx(), "RSA", nullptr));
    if (!params || !ctx) return VSC_ERR_MEMORY;
    EVP_PKEY* key = nullptr;
    if (EVP_PKEY_fromdata_init(ctx.get()) <= 0 ||
        EVP_PKEY_fromdata(ctx.get(), &key, withPrivate ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY, params.get()) <= 0)
        return VSC_ERR_INVALID_KEY;
    out.reset(key);
    return VSC_OK;
}

// The unit's OpenSSL key: the kept one while it was made from the values the
// unit holds now, else one made afresh and kept (apart from copies whose
// values differ). usePrivate: the operation needs d.
int keyOf(RSA_UNIT* r, bool usePrivate, std::shared_ptr<const BuiltKey>& out) {
    if (usePrivate && (r->d == nullptr || BN_is_zero(r->d->bn))) return VSC_ERR_KEY_MISSING;
    RsaState* st = stateOf(r);
    if (st == nullptr) return VSC_ERR_MEMORY;
    try {
        SecureBytes now;
        valuesOf(r, now);
        {
            std::lock_guard<std::mutex> hold(g_keyLock);
            if (st->slot) out = st->slot->key;
        }
        if (out && sameValues(out->values, now)) return VSC_OK;
        auto made = std::make_shared<BuiltKey>();
        if (int rc = buildKey(r, made->pkey); rc != VSC_OK) return rc;
        made->values = std::move(now);
        out = made;
        auto fresh = std::make_shared<KeySlot>();
        std::shared_ptr<const BuiltKey> replaced;  // released after the lock
        std::lock_guard<std::mutex> hold(g_keyLock);
        // A copy whose values no longer match the shared key takes a slot of its own.
        if (!st->slot || (st->slot->key && !sameValues(st->slot->key->values, made->values)))
            st->slot = std::move(fresh);
        replaced = std::exchange(st->slot->key, made);
        return VSC_OK;
    } catch (const std::bad_alloc&) {
        return VSC_ERR_MEMORY;
    }
}

// Lets go of the kept key (values replaced by the library itself).
void dropKey(RSA_UNIT* r) {
    RsaState* st = static_cast<RsaState*>(r->impl);
    if (st == nullptr) return;
    std::shared_ptr<KeySlot> old;
    std::lock_guard<std::mutex> hold(g_keyLock);
    old = std::move(st->slot);
}

// Raw RSA on exactly k bytes (a number below n); out receives k bytes.
int rawOperation(RSA_UNIT* r, bool usePrivate, const unsigned char* in, unsigned char* out) {
    std::shared_ptr<const BuiltKey> key;
    if (int rc = keyOf(r, usePrivate, key); rc != VSC_OK) return rc;
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(libctx(), key->pkey.get(), nullptr));
    if (!ctx) return VSC_ERR_MEMORY;
    size_t k = static_cast<size_t>(modulusBytes(r));
    size_t outLen = k;
    int ok = usePrivate ? EVP_PKEY_decrypt_init(ctx.get()) : EVP_PKEY_encrypt_init(ctx.get());
    if (ok <= 0 || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_NO_PADDING) <= 0) return VSC_ERR_BACKEND;
    ok = usePrivate ? EVP_PKEY_decrypt(ctx.get(), out, &outLen, in, k)
                    : EVP_PKEY_encrypt(ctx.get(), out, &outLen, in, k);
    if (ok <= 0) return VSC_FAIL;  // a value not below the modulus
    if (outLen < k) {
        std::memmove(out + (k - outLen), out, outLen);
        std::memset(out, 0, k - outLen);
    }
    return VSC_OK;
}

// One digest over several pieces.
int hashOf(int digestId, std::initializer_list<Bytes> parts, unsigned char* out) {
    Hasher h;
    int rc = h.init(digestId);
    for (Bytes p : parts)
        if (rc == VSC_OK) rc = h.update(p);
    if (rc == VSC_OK) rc = h.final(out);
    return rc;
}

// MGF1: mask of out.size() bytes from seed, XORed into out.
int mgf1Xor(int digestId, Bytes seed, unsigned char* out, std::size_t len) {
    Hasher h;
    if (int rc = h.init(digestId); rc != VSC_OK) return rc;
    std::size_t hLen = static_cast<std::size_t>(h.length());
    unsigned char block[VSC_MAX_DIGEST_LENGTH];
    for (uint32_t counter = 0, done = 0; done < len; ++counter) {
        unsigned char c[4] = {static_cast<unsigned char>(counter >> 24), static_cast<unsigned char>(counter >> 16),
                              static_cast<unsigned char>(counter >> 8), static_cast<unsigned char>(counter)};
        int rc = h.update(seed);
        if (rc == VSC_OK) rc = h.update(Bytes(c, 4));
        if (rc == VSC_OK) rc = h.final(block);
        if (rc != VSC_OK) return rc;
        for (std::size_t i = 0; i < hLen && done < len; ++i) out[done++] ^= block[i];
    }
    OPENSSL_cleanse(block, sizeof block);
    return VSC_OK;
}

struct Prefix {
    int id;
    const char* hex;
};
// DER DigestInfo up to the digest's OCTET STRING contents.
const Prefix kDigestInfo[] = {
    {VSC_DIGEST_MD5, "3020300c06082a864886f70d020505000410"},
    {VSC_DIGEST_SHA1, "3021300906052b0e03021a05000414"},
    {VSC_DIGEST_SHA224, "302d300d06096086480165030402040500041c"},
    {VSC_DIGEST_SHA256, "3031300d060960864801650304020105000420"},
    {VSC_DIGEST_SHA384, "3041300d060960864801650304020205000430"},
    {VSC_DIGEST_SHA512, "3051300d060960864801650304020305000440"},
    {VSC_DIGEST_HAS160, "3024300c06082a831a8c9a44010205000414"},
};

std::vector<unsigned char> digestInfoPrefix(int digestId) {
    std::vector<unsigned char> out;
    for (const auto& p : kDigestInfo) {
        if (p.id != digestId) continue;
        for (const char* h = p.hex; h[0] && h[1]; h += 2) {
            auto v = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
            out.push_back(static_cast<unsigned char>(v(h[0]) << 4 | v(h[1])));
        }
    }
    return out;
}

int emsaPkcs1Encode(unsigned char* out, int emLen, const unsigned char* digest, int digestLen, int digestId) {
    std::vector<unsigned char> prefix = digestInfoPrefix(digestId);
    if (prefix.empty()) return digestInfo(digestId) == nullptr ? VSC_ERR_UNKNOWN_ALGORITHM : VSC_ERR_UNSUPPORTED;
    if (digestLen != VSC_Get_DIGEST_Length(digestId)) return VSC_ERR_INVALID_LENGTH;
    int tLen = static_cast<int>(prefix.size()) + digestLen;
    if (emLen < tLen + 11) return VSC_FAIL;
    out[0] = 0x00;
    out[1] = 0x01;
    std::memset(out + 2, 0xff, static_cast<std::size_t>(emLen - tLen - 3));
    out[emLen - tLen - 1] = 0x00;
    std::memcpy(out + emLen - tLen, prefix.data(), prefix.size());
    std::memcpy(out + emLen - digestLen, digest, static_cast<std::size_t>(digestLen));
    return VSC_OK;
}

// EMSA-PSS for a modulus of modBits bits into k bytes (left zero when the
// encoded message is one byte shorter).
int pssEncode(int digestId, int modBits, const unsigned char* mHash, int hLen, int saltLen, unsigned char* out, int k) {
    if (hLen != VSC_Get_DIGEST_Length(digestId)) return VSC_ERR_INVALID_LENGTH;
    int emBits = modBits - 1;
    int emLen = (emBits + 7) / 8;
    if (saltLen == kAnySalt) saltLen = hLen;
    // The salt is the caller's number: compared before any sum that could overflow.
    if (saltLen > emLen || emLen < hLen + saltLen + 2 || k < emLen) return VSC_FAIL;
    SecureBytes salt(static_cast<std::size_t>(saltLen));
    if (saltLen > 0 && VSC_Rand_Bytes(salt.data(), saltLen) != VSC_OK) return VSC_ERR_RANDOM;
    unsigned char* em = out + (k - emLen);
    std::memset(out, 0, static_cast<std::size_t>(k));
    int dbLen = emLen - hLen - 1;
    unsigned char* h = em + dbLen;
    static const unsigned char zeros[8] = {};
    if (int rc = hashOf(digestId, {Bytes(zeros, 8), Bytes(mHash, hLen), Bytes(salt.data(), salt.size())}, h);
        rc != VSC_OK)
        return rc;
    em[dbLen - saltLen - 1] = 0x01;
    if (saltLen > 0) std::memcpy(em + dbLen - saltLen, salt.data(), salt.size());
    if (int rc = mgf1Xor(digestId, Bytes(h, hLen), em, static_cast<std::size_t>(dbLen)); rc != VSC_OK) return rc;
    em[0] &= static_cast<unsigned char>(0xff >> (8 * emLen - emBits));
    em[emLen - 1] = 0xbc;
    return VSC_OK;
}

// EMSA-PSS verification of k bytes; kAnySalt accepts any salt length.
bool pssVerify(int digestId, int modBits, const unsigned char* mHash, int saltLen, unsigned char* block, int k) {
    int hLen = VSC_Get_DIGEST_Length(digestId);
    int emBits = modBits - 1;
    int emLen = (emBits + 7) / 8;
    if (k > emLen && block[0] != 0) return false;
    unsigned char* em = block + (k - emLen);
    if (emLen < hLen + 2 || em[emLen - 1] != 0xbc) return false;
    int dbLen = emLen - hLen - 1;
    unsigned char topMask = static_cast<unsigned char>(0xff << (8 - (8 * emLen - emBits)));
    if (8 * emLen - emBits > 0 && (em[0] & topMask) != 0) return false;
    const unsigned char* h = em + dbLen;
    if (mgf1Xor(digestId, Bytes(h, hLen), em, static_cast<std::size_t>(dbLen)) != VSC_OK) return false;
    em[0] &= static_cast<unsigned char>(0xff >> (8 * emLen - emBits));
    int i = 0;
    while (i < dbLen && em[i] == 0) ++i;
    if (i == dbLen || em[i] != 0x01) return false;
    int foundSalt = dbLen - i - 1;
    if (saltLen != kAnySalt && foundSalt != saltLen) return false;
    unsigned char h2[VSC_MAX_DIGEST_LENGTH];
    static const unsigned char zeros[8] = {};
    if (hashOf(digestId, {Bytes(zeros, 8), Bytes(mHash, hLen), Bytes(em + i + 1, foundSalt)}, h2) != VSC_OK)
        return false;
    return CRYPTO_memcmp(h, h2, static_cast<std::size_t>(hLen)) == 0;
}

// OAEP with an empty label; out is k bytes.
int oaepEncode(int digestId, const unsigned char* msg, int mLen, unsigned char* out, int k) {
    int hLen = VSC_Get_DIGEST_Length(digestId);
    if (hLen <= 0) return VSC_ERR_UNKNOWN_ALGORITHM;
    if (mLen > k - 2 * hLen - 2) return VSC_FAIL;
    std::memset(out, 0, static_cast<std::size_t>(k));
    unsigned char* seed = out + 1;
    unsigned char* db = out + 1 + hLen;
    int dbLen = k - hLen - 1;
    if (int rc = hashOf(digestId, {Bytes()}, db); rc != VSC_OK) return rc;
    db[dbLen - mLen - 1] = 0x01;
    if (mLen > 0) std::memcpy(db + dbLen - mLen, msg, static_cast<std::size_t>(mLen));
    if (VSC_Rand_Bytes(seed, hLen) != VSC_OK) return VSC_ERR_RANDOM;
    SecureBytes seedCopy(seed, seed + hLen);
    if (int rc = mgf1Xor(digestId, Bytes(seedCopy.data(), seedCopy.size()), db, static_cast<std::size_t>(dbLen));
        rc != VSC_OK)
        return rc;
    return mgf1Xor(digestId, Bytes(db, dbLen), seed, static_cast<std::size_t>(hLen));
}

// Decodes in place; *mLen and *mOff give the message. No early exits on the
// checks, so timing says little about where a bad block failed.
bool oaepDecode(int digestId, unsigned char* em, int k, int* mOff, int* mLen) {
    int hLen = VSC_Get_DIGEST_Length(digestId);
    if (hLen <= 0 || k < 2 * hLen + 2) return false;
    unsigned char* seed = em + 1;
    unsigned char* db = em + 1 + hLen;
    int dbLen = k - hLen - 1;
    SecureBytes maskedDb(db, db + dbLen);
    if (mgf1Xor(digestId, Bytes(maskedDb.data(), maskedDb.size()), seed, static_cast<std::size_t>(hLen)) != VSC_OK)
        return false;
    if (mgf1Xor(digestId, Bytes(seed, hLen), db, static_cast<std::size_t>(dbLen)) != VSC_OK) return false;
    unsigned char lHash[VSC_MAX_DIGEST_LENGTH];
    if (hashOf(digestId, {Bytes()}, lHash) != VSC_OK) return false;
    unsigned bad = em[0];
    bad |= static_cast<unsigned>(CRYPTO_memcmp(db, lHash, static_cast<std::size_t>(hLen)));
    int oneAt = -1;
    unsigned seenOne = 0, badPs = 0;
    for (int i = hLen; i < dbLen; ++i) {
        unsigned isOne = db[i] == 0x01;
        unsigned isZero = db[i] == 0x00;
        unsigned first = isOne & !seenOne;
        oneAt = first ? i : oneAt;
        badPs |= !seenOne & !isOne & !isZero;
        seenOne |= isOne;
    }
    bad |= badPs | !seenOne;
    if (bad != 0) return false;
    *mOff = 1 + hLen + oneAt + 1;
    *mLen = dbLen - oneAt - 1;
    return true;
}

// PKCS#1 v1.5 block of type 1 (0xFF filler) or 2 (random non-zero filler).
int typeEncode(int type, const unsigned char* msg, int mLen, unsigned char* out, int k) {
    if (mLen > k - 11) return VSC_FAIL;
    out[0] = 0x00;
    out[1] = static_cast<unsigned char>(type);
    int psLen = k - mLen - 3;
    if (type == 1) {
        std::memset(out + 2, 0xff, static_cast<std::size_t>(psLen));
    } else {
        if (VSC_Rand_Bytes(out + 2, psLen) != VSC_OK) return VSC_ERR_RANDOM;
        for (int i = 2; i < 2 + psLen; ++i)
            while (out[i] == 0)
                if (VSC_Rand_Bytes(out + i, 1) != VSC_OK) return VSC_ERR_RANDOM;
    }
    out[2 + psLen] = 0x00;
    if (mLen > 0) std::memcpy(out + 3 + psLen, msg, static_cast<std::size_t>(mLen));
    return VSC_OK;
}

// Block type 1 as recovered with the public key (nothing secret here).
bool type1Decode(const unsigned char* em, int k, int* mOff, int* mLen) {
    if (k < 11 || em[0] != 0x00 || em[1] != 0x01) return false;
    int i = 2;
    while (i < k && em[i] == 0xff) ++i;
    if (i == k || em[i] != 0x00 || i - 2 < 8) return false;
    *mOff = i + 1;
    *mLen = k - i - 1;
    return true;
}

// Private-key decryption through OpenSSL's constant-time padding checks.
int opensslPrivateDecrypt(RSA_UNIT* r, int padding, int oaepDigest, const unsigned char* in, int inLen,
                          SecureBytes& plain) {
    std::shared_ptr<const BuiltKey> key;
    if (int rc = keyOf(r, true, key); rc != VSC_OK) return rc;
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(libctx(), key->pkey.get(), nullptr));
    if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) <= 0 || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), padding) <= 0)
        return VSC_ERR_BACKEND;
    if (padding == RSA_PKCS1_OAEP_PADDING) {
        const EVP_MD* md = fetchedDigest(oaepDigest);
        if (EVP_PKEY_CTX_set_rsa_oaep_md(ctx.get(), md) <= 0 || EVP_PKEY_CTX_set_rsa_mgf1_md(ctx.get(), md) <= 0)
            return VSC_ERR_BACKEND;
    } else {
        // Newer OpenSSL answers a bad v1.5 block with a made-up message; we
        // report the failure instead (ignored where the option is unknown).
        unsigned int implicit = 0;
        OSSL_PARAM params[] = {OSSL_PARAM_construct_uint("implicit-rejection", &implicit), OSSL_PARAM_construct_end()};
        EVP_PKEY_CTX_set_params(ctx.get(), params);
    }
    size_t k = static_cast<size_t>(modulusBytes(r));
    plain.assign(k, 0);
    size_t outLen = k;
    if (EVP_PKEY_decrypt(ctx.get(), plain.data(), &outLen, in, static_cast<size_t>(inLen)) <= 0) return VSC_FAIL;
    plain.resize(outLen);
    return VSC_OK;
}

int resolveDigest(int digestId, int mode) {
    int id = digestId != 0 ? digestId : VSC_PAD_DIGEST(mode);
    return id != 0 ? id : VSC_DIGEST_SHA1;
}

int checkDigest(int id) {
    if (digestInfo(id) == nullptr) return id == VSC_DIGEST_MDC2 ? VSC_ERR_UNSUPPORTED : VSC_ERR_UNKNOWN_ALGORITHM;
    return VSC_OK;
}

// dP, dQ and qInv of d, p and q into the three slots (empty on entry).
int computeCrt(const BIGINT* d, const BIGINT* p, const BIGINT* q, BIGINT** dP, BIGINT** dQ, BIGINT** qInv) {
    BnCtxPtr ctx = newBnCtx();
    BnPtr pm1(BN_new()), qm1(BN_new()), dp(BN_new()), dq(BN_new());
    BnPtr qinv(BN_mod_inverse(nullptr, q->bn, p->bn, ctx.get()));
    if (!ctx || !pm1 || !qm1 || !dp || !dq || !qinv) return VSC_ERR_INVALID_KEY;
    if (!BN_sub(pm1.get(), p->bn, BN_value_one()) || !BN_sub(qm1.get(), q->bn, BN_value_one()) ||
        !BN_mod(dp.get(), d->bn, pm1.get(), ctx.get()) || !BN_mod(dq.get(), d->bn, qm1.get(), ctx.get()))
        return VSC_ERR_MEMORY;
    *dP = wrapBn(dp.release());
    *dQ = wrapBn(dq.release());
    *qInv = wrapBn(qinv.release());
    return *dP && *dQ && *qInv ? VSC_OK : VSC_ERR_MEMORY;
}

int finishSignature(RSA_UNIT* r, RsaState* st, unsigned char* sig, int* sigLen, bool verifying) {
    unsigned char mHash[VSC_MAX_DIGEST_LENGTH];
    int hLen = 0;
    if (int rc = VSC_Final_DIGEST(r->digest_unit, mHash, &hLen); rc != VSC_OK) return rc;
    int k = modulusBytes(r);
    if (k <= 0) return VSC_ERR_KEY_MISSING;
    SecureBytes block(static_cast<std::size_t>(k));
    int modBits = BN_num_bits(r->n->bn);
    if (!verifying) {
        if (*sigLen > 0 && *sigLen < k) return VSC_ERR_BUFFER_TOO_SMALL;
        int rc = st->scheme == VSC_RSASSA_PSS
                     ? pssEncode(r->digest_id, modBits, mHash, hLen, st->saltLen, block.data(), k)
                     : emsaPkcs1Encode(block.data(), k, mHash, hLen, r->digest_id);
        if (rc == VSC_OK) rc = rawOperation(r, true, block.data(), sig);
        if (rc == VSC_OK) *sigLen = k;
        return rc;
    }
    // Exactly the modulus length, as openssl and NSS want: the same number
    // with its leading zero bytes dropped would be a second byte form of one
    // signature.
    if (*sigLen != k) return VSC_FAIL;
    int rc = rawOperation(r, false, sig, block.data());
    if (rc != VSC_OK) return rc;
    if (st->scheme == VSC_RSASSA_PSS)
        return pssVerify(r->digest_id, modBits, mHash, st->saltLen, block.data(), k) ? VSC_OK : VSC_FAIL;
    SecureBytes expected(static_cast<std::size_t>(k));
    if ((rc = emsaPkcs1Encode(expected.data(), k, mHash, hLen, r->digest_id)) != VSC_OK)
        return rc == VSC_FAIL ? VSC_FAIL : rc;
    return CRYPTO_memcmp(expected.data(), block.data(), static_cast<std::size_t>(k)) == 0 ? VSC_OK : VSC_FAIL;
}

int startSignature(RSA_UNIT* rsa, int digestId, int scheme, int saltLen, int paddingMode, int sign) {
    if (rsa == nullptr) return VSC_ERR_NULL_ARGUMENT;
    RsaState* st = restart(rsa);
    if (st == nullptr) return VSC_ERR_MEMORY;
    if (scheme != VSC_RSASSA_PKCS1_V15 && scheme != VSC_RSASSA_PSS) return VSC_ERR_INVALID_ARGUMENT;
    if (int rc = checkDigest(digestId); rc != VSC_OK) return rc;
    if (rsa->n == nullptr || rsa->e == nullptr || (sign && rsa->d == nullptr)) return VSC_ERR_KEY_MISSING;
    if (rsa->digest_unit == nullptr && (rsa->digest_unit = VSC_New_DIGEST_Unit()) == nullptr) return VSC_ERR_MEMORY;
    if (int rc = VSC_Init_DIGEST(rsa->digest_unit, digestId); rc != VSC_OK) return rc;
    rsa->digest_id = digestId;
    rsa->padding_mode = paddingMode;
    rsa->sign = sign ? 1 : 0;
    st->scheme = scheme;
    st->saltLen = saltLen;
    st->ssa = true;
    return VSC_OK;
}

}  // namespace
}  // namespace zc

using namespace zc;

extern "C" {

RSA_UNIT* VSC_New_RSA(void) { return new (std::nothrow) RSA_UNIT{}; }

void VSC_Clean_RSA(RSA_UNIT* rsa) {
    if (rsa == nullptr) return;
    for (int i = 0; i <= kValues; ++i) freeBigint(slot(rsa, i));
    VSC_Free_DIGEST_Unit(rsa->digest_unit);
    rsa->digest_unit = nullptr;
    delete static_cast<RsaState*>(rsa->impl);
    rsa->impl = nullptr;
    rsa->flag = 0;
    rsa->operation = 0;
    rsa->is_private = 0;
    rsa->digest_id = 0;
    rsa->padding_mode = 0;
    rsa->sign = 0;
}

void VSC_Free_RSA(RSA_UNIT* rsa) {
    if (rsa == nullptr) return;
    VSC_Clean_RSA(rsa);
    delete rsa;
}

int VSC_Set_RSA_Params(RSA_UNIT* rsa, const BIGINT* n, const BIGINT* e, const BIGINT* d, const BIGINT* p,
                       const BIGINT* q, const BIGINT* dP, const BIGINT* dQ, const BIGINT* qInv) {
    if (rsa == nullptr || n == nullptr || e == nullptr) return VSC_ERR_NULL_ARGUMENT;
    const BIGINT* values[kValues] = {n, e, d, p, q, dP, dQ, qInv};
    BIGINT* copies[kValues] = {};
    auto dropCopies = [&copies] {
        for (auto*& c : copies) freeBigint(&c);
    };
    for (int i = 0; i < kValues; ++i) {
        if (values[i] != nullptr && (copies[i] = VSC_Dup_BIGINT(values[i])) == nullptr) {
            dropCopies();
            return VSC_ERR_MEMORY;
        }
    }
    // The CRT values that d, p and q came without, made before the unit
    // changes: a failure leaves it as it was.
    BIGINT *&cd = copies[2], *&cp = copies[3], *&cq = copies[4];
    if (cd && cp && cq && !(copies[5] && copies[6] && copies[7])) {
        for (int i = 5; i < kValues; ++i) freeBigint(&copies[i]);
        if (int rc = computeCrt(cd, cp, cq, &copies[5], &copies[6], &copies[7]); rc != VSC_OK) {
            dropCopies();
            return rc;
        }
    }
    for (int i = 0; i < kValues; ++i) {
        freeBigint(slot(rsa, i));
        *slot(rsa, i) = copies[i];
    }
    dropKey(rsa);
    rsa->is_private = rsa->d != nullptr ? 1 : 0;
    bool crt = rsa->p && rsa->q && rsa->dP && rsa->dQ && rsa->qInv;
    rsa->flag = rsa->d == nullptr ? VSC_RSA_FLAG_PUBLIC : (crt ? VSC_RSA_FLAG_FULL : VSC_RSA_FLAG_PRIVATE);
    return VSC_OK;
}

int VSC_Set_RSA_Public_Params(RSA_UNIT* rsa, const BIGINT* n, const BIGINT* e) {
    return VSC_Set_RSA_Params(rsa, n, e, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
}

RSA_UNIT* VSC_Dup_RSA(const RSA_UNIT* rsa) {
    if (rsa == nullptr) return nullptr;
    RSA_UNIT* copy = VSC_New_RSA();
    if (copy == nullptr) return nullptr;
    RSA_UNIT* src = const_cast<RSA_UNIT*>(rsa);
    for (int i = 0; i < kValues; ++i) {
        if (setCopy(slot(copy, i), *slot(src, i)) != VSC_OK) {
            VSC_Free_RSA(copy);
            return nullptr;
        }
    }
    copy->flag = rsa->flag;
    copy->is_private = rsa->is_private;
    // The copy shares the source's key (made by whichever of them needs it
    // first). The source is const to its callers, who may copy it from
    // several threads at once: its slot is made under the lock.
    RsaState* mine = stateOf(copy);
    if (mine == nullptr) {
        VSC_Free_RSA(copy);
        return nullptr;
    }
    try {
        std::lock_guard<std::mutex> hold(g_keyLock);
        RsaState* theirs = stateOf(src);
        if (theirs != nullptr) {
            if (!theirs->slot) theirs->slot = std::make_shared<KeySlot>();
            mine->slot = theirs->slot;
        }
    } catch (const std::bad_alloc&) {
        // The copy makes a key of its own when it needs one.
    }
    return copy;
}

int VSC_Get_RSA_Length(const RSA_UNIT* rsa) { return rsa == nullptr ? -1 : modulusBytes(rsa); }

int VSC_Generate_RSA_Params_Ex(RSA_UNIT* rsa, unsigned long e, int bits, int /*method*/) {
    if (rsa == nullptr) return VSC_ERR_NULL_ARGUMENT;
    if (e == 0) e = 65537;
    if (bits < 1024 || bits > 16384 || e < 3 || (e & 1) == 0) return VSC_ERR_INVALID_ARGUMENT;
    if (int rc = ensureInit(); rc != VSC_OK) return rc;
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(libctx(), "RSA", nullptr));
    BnPtr pub(BN_new());
    if (!ctx || !pub || !BN_set_word(pub.get(), e)) return VSC_ERR_MEMORY;
    EVP_PKEY* raw = nullptr;
    if (EVP_PKEY_keygen_init(ctx.get()) <= 0 || EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), bits) <= 0 ||
        EVP_PKEY_CTX_set1_rsa_keygen_pubexp(ctx.get(), pub.get()) <= 0 || EVP_PKEY_generate(ctx.get(), &raw) <= 0)
        return VSC_ERR_BACKEND;
    PkeyPtr key(raw);
    const char* names[kValues] = {OSSL_PKEY_PARAM_RSA_N,         OSSL_PKEY_PARAM_RSA_E,
                                  OSSL_PKEY_PARAM_RSA_D,         OSSL_PKEY_PARAM_RSA_FACTOR1,
                                  OSSL_PKEY_PARAM_RSA_FACTOR2,   OSSL_PKEY_PARAM_RSA_EXPONENT1,
                                  OSSL_PKEY_PARAM_RSA_EXPONENT2, OSSL_PKEY_PARAM_RSA_COEFFICIENT1};
    BIGINT* values[kValues] = {};
    int rc = VSC_OK;
    for (int i = 0; i < kValues && rc == VSC_OK; ++i) {
        BIGNUM* bn = nullptr;
        if (EVP_PKEY_get_bn_param(key.get(), names[i], &bn) <= 0 || (values[i] = wrapBn(bn)) == nullptr)
            rc = VSC_ERR_BACKEND;
    }
    if (rc == VSC_OK)
        rc = VSC_Set_RSA_Params(rsa, values[0], values[1], values[2], values[3], values[4], values[5], values[6],
                                values[7]);
    for (auto* v : values) VSC_Free_BIGINT(v);
    return rc;
}

int VSC_Init_RSASSA(RSA_UNIT* rsa, int digest_id, int padding_mode, int sign) {
    int scheme = VSC_PAD_SCHEME(padding_mode);
    if (scheme == VSC_RSASSA_DEFAULT) scheme = VSC_RSASSA_PKCS1_V15;
    const int salt = VSC_PAD_SALT_LENGTH(padding_mode);
    return startSignature(rsa, resolveDigest(digest_id, padding_mode), scheme, salt > 0 ? salt : kAnySalt, padding_mode,
                          sign);
}

int VSC_Init_RSASSA_PSS(RSA_UNIT* rsa, int digest_id, int salt_len, int sign) {
    if (rsa == nullptr) return VSC_ERR_NULL_ARGUMENT;
    if (salt_len < 0) return VSC_ERR_INVALID_ARGUMENT;
    return startSignature(rsa, resolveDigest(digest_id, 0), VSC_RSASSA_PSS, salt_len, VSC_RSASSA_PSS, sign);
}

int VSC_Update_RSASSA(RSA_UNIT* rsa, const unsigned char* data, int len) {
    if (rsa == nullptr) return VSC_ERR_NULL_ARGUMENT;
    RsaState* st = static_cast<RsaState*>(rsa->impl);
    if (st == nullptr || !st->ssa) return VSC_ERR_NOT_INITIALIZED;
    return VSC_Update_DIGEST(rsa->digest_unit, data, len);
}

int VSC_Final_RSASSA(RSA_UNIT* rsa, unsigned char* sig, int* sig_len) {
    if (rsa == nullptr || sig == nullptr || sig_len == nullptr) return VSC_ERR_NULL_ARGUMENT;
    RsaState* st = static_cast<RsaState*>(rsa->impl);
    if (st == nullptr || !st->ssa) return VSC_ERR_NOT_INITIALIZED;
    // The digest unit starts over either way, ready for a next message.
    return finishSignature(rsa, st, sig, sig_len, rsa->sign == 0);
}

int VSC_Verify_RSASSA(RSA_UNIT* rsa, const unsigned char* sig, int sig_len) {
    if (rsa == nullptr || sig == nullptr) return VSC_ERR_NULL_ARGUMENT;
    RsaState* st = static_cast<RsaState*>(rsa->impl);
    if (st == nullptr || !st->ssa) return VSC_ERR_NOT_INITIALIZED;
    if (rsa->sign != 0) return VSC_ERR_WRONG_DIRECTION;
    int len = sig_len;
    return finishSignature(rsa, st, const_cast<unsigned char*>(sig), &len, true);
}

int VSC_Init_RSAES(RSA_UNIT* rsa, int padding_mode, int use_private, int digest_id) {
    if (rsa == nullptr) return VSC_ERR_NULL_ARGUMENT;
    RsaState* st = restart(rsa);
    if (st == nullptr) return VSC_ERR_MEMORY;
    int scheme = VSC_PAD_SCHEME(padding_mode);
    if (scheme != VSC_RSAES_RAW && scheme != VSC_RSAES_OAEP && scheme != VSC_RSAES_OAEP_V21 &&
        scheme != VSC_RSAES_PKCS1_V15)
        return VSC_ERR_INVALID_ARGUMENT;
    int id = resolveDigest(digest_id, padding_mode);
    if (scheme == VSC_RSAES_OAEP || scheme == VSC_RSAES_OAEP_V21)
        if (int rc = checkDigest(id); rc != VSC_OK) return rc;
    if (rsa->n == nullptr || rsa->e == nullptr || (use_private && rsa->d == nullptr)) return VSC_ERR_KEY_MISSING;
    st->scheme = scheme;
    st->oaepDigest = id;
    st->usePrivate = use_private != 0;
    rsa->padding_mode = padding_mode;
    rsa->digest_id = id;
    rsa->sign = use_private ? 1 : 0;
    st->es = true;
    return VSC_OK;
}

int VSC_Encrypt_RSAES(RSA_UNIT* rsa, unsigned char* out, int* out_len, const unsigned char* in, int in_len) {
    if (rsa == nullptr || out == nullptr || out_len == nullptr || (in == nullptr && in_len > 0))
        return VSC_ERR_NULL_ARGUMENT;
    if (in_len < 0) return VSC_ERR_INVALID_LENGTH;
    RsaState* st = static_cast<RsaState*>(rsa->impl);
    if (st == nullptr || !st->es) return VSC_ERR_NOT_INITIALIZED;
    int k = modulusBytes(rsa);
    if (k <= 0) return VSC_ERR_KEY_MISSING;
    SecureBytes block(static_cast<std::size_t>(k), 0);
    int rc = VSC_OK;
    switch (st->scheme) {
        case VSC_RSAES_RAW:
            if (in_len > k) return VSC_FAIL;
            if (in_len > 0) std::memcpy(block.data() + (k - in_len), in, static_cast<std::size_t>(in_len));
            break;
        case VSC_RSAES_PKCS1_V15:
            // With the private key this is block type 1, recovered with the public key.
            rc = typeEncode(st->usePrivate ? 1 : 2, in, in_len, block.data(), k);
            break;
        default:
            rc = oaepEncode(st->oaepDigest, in, in_len, block.data(), k);
            break;
    }
    if (rc == VSC_OK) rc = rawOperation(rsa, st->usePrivate, block.data(), out);
    if (rc == VSC_OK) *out_len = k;
    return rc;
}

int VSC_Decrypt_RSAES(RSA_UNIT* rsa, unsigned char* out, int* out_len, const unsigned char* in, int in_len) {
    if (rsa == nullptr || out == nullptr || out_len == nullptr || in == nullptr) return VSC_ERR_NULL_ARGUMENT;
    RsaState* st = static_cast<RsaState*>(rsa->impl);
    if (st == nullptr || !st->es) return VSC_ERR_NOT_INITIALIZED;
    int k = modulusBytes(rsa);
    if (k <= 0) return VSC_ERR_KEY_MISSING;
    int room = *out_len > 0 ? *out_len : k;
    *out_len = 0;
    if (in_len <= 0 || in_len > k) return VSC_FAIL;
    SecureBytes padded(static_cast<std::size_t>(k), 0);
    std::memcpy(padded.data() + (k - in_len), in, static_cast<std::size_t>(in_len));

    SecureBytes plain;
    int rc = VSC_OK;
    bool oaep = st->scheme == VSC_RSAES_OAEP || st->scheme == VSC_RSAES_OAEP_V21;
    if (st->usePrivate && st->scheme == VSC_RSAES_PKCS1_V15) {
        rc = opensslPrivateDecrypt(rsa, RSA_PKCS1_PADDING, 0, padded.data(), k, plain);
    } else if (st->usePrivate && oaep && fetchedDigest(st->oaepDigest) != nullptr) {
        rc = opensslPrivateDecrypt(rsa, RSA_PKCS1_OAEP_PADDING, st->oaepDigest, padded.data(), k, plain);
    } else {
        SecureBytes block(static_cast<std::size_t>(k));
        rc = rawOperation(rsa, st->usePrivate, padded.data(), block.data());
        int off = 0, len = k;
        if (rc == VSC_OK && st->scheme == VSC_RSAES_PKCS1_V15 && !type1Decode(block.data(), k, &off, &len))
            rc = VSC_FAIL;
        if (rc == VSC_OK && oaep && !oaepDecode(st->oaepDigest, block.data(), k, &off, &len)) rc = VSC_FAIL;
        if (rc == VSC_OK) plain.assign(block.begin() + off, block.begin() + off + len);
    }
    if (rc != VSC_OK) return rc;
    if (static_cast<int>(plain.size()) > room) return VSC_ERR_BUFFER_TOO_SMALL;
    if (!plain.empty()) std::memcpy(out, plain.data(), plain.size());
    *out_len = static_cast<int>(plain.size());
    return VSC_OK;
}

int VSC_Add_EMSA_PKCS1_v1_5_Encode(unsigned char* out, int em_len, const unsigned char* digest, int digest_len,
                                   int digest_id) {
    if (out == nullptr || digest == nullptr) return VSC_ERR_NULL_ARGUMENT;
    return emsaPkcs1Encode(out, em_len, digest, digest_len, digest_id);
}

int VSC_Add_RSASSA_PKCS1_PSS_Encode(const RSA_UNIT* rsa, unsigned char* out, int em_len, const unsigned char* m_hash,
                                    int m_hash_len, int salt_len, const DIGEST_UNIT* digest) {
    if (rsa == nullptr || out == nullptr || m_hash == nullptr) return VSC_ERR_NULL_ARGUMENT;
    if (rsa->n == nullptr) return VSC_ERR_KEY_MISSING;
    int id = digest != nullptr && digest->alg_id != 0 ? digest->alg_id
                                                      : (rsa->digest_id != 0 ? rsa->digest_id : VSC_DIGEST_SHA1);
    if (int rc = checkDigest(id); rc != VSC_OK) return rc;
    int k = modulusBytes(rsa);
    if (em_len < k) return VSC_ERR_BUFFER_TOO_SMALL;
    std::memset(out, 0, static_cast<std::size_t>(em_len));
    return pssEncode(id, BN_num_bits(rsa->n->bn), m_hash, m_hash_len, salt_len > 0 ? salt_len : kAnySalt,
                     out + (em_len - k), k);
}

}  // extern "C"
