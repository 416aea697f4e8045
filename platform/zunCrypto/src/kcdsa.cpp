// KCDSA on OpenSSL's BIGNUM.
//
// With beta the bit length of q and l the digest's block length in bits:
//   y = g^(x^-1 mod q) mod p,   Z = y mod 2^l (l/8 bytes)
//   sign:   W = g^k mod p (|p| bytes), R = h(W) mod 2^beta,
//           H = h(Z || M) mod 2^beta, E = (R xor H) mod q, S = x(k - E) mod q
//   verify: W' = y^S g^E mod p, accept when h(W') mod 2^beta = R.
#include "internal.h"

#include <cstring>
#include <utility>

namespace zc {
namespace {

struct KcdsaState {
    Hasher hash;  // h(Z || M) under way
    bool active = false;
    // p's Montgomery context, kept between operations with the p it was
    // made from (callers may set p directly: it is compared before each use).
    BnPtr montP;
    BN_MONT_CTX* mont = nullptr;

    KcdsaState() = default;
    KcdsaState(const KcdsaState&) = delete;
    KcdsaState& operator=(const KcdsaState&) = delete;
    ~KcdsaState() { BN_MONT_CTX_free(mont); }
};

// The Montgomery context of the unit's p as it is now; null when one cannot
// be made (OpenSSL then makes its own for the operation).
BN_MONT_CTX* montOf(const KCDSA_UNIT* k, KcdsaState* st, BN_CTX* ctx) {
    if (st->mont != nullptr && st->montP && BN_cmp(st->montP.get(), k->p->bn) == 0) return st->mont;
    BnPtr copy(BN_dup(k->p->bn));
    BN_MONT_CTX* made = BN_MONT_CTX_new();
    if (!copy || made == nullptr || !BN_MONT_CTX_set(made, k->p->bn, ctx)) {
        BN_MONT_CTX_free(made);
        return nullptr;
    }
    BN_MONT_CTX_free(st->mont);
    st->mont = made;
    st->montP = std::move(copy);
    return made;
}

KcdsaState* stateOf(KCDSA_UNIT* k) {
    if (k->impl == nullptr) k->impl = new (std::nothrow) KcdsaState();
    return static_cast<KcdsaState*>(k->impl);
}

int qBytes(const KCDSA_UNIT* k) { return BN_num_bytes(k->q->bn); }

// Length of R and H: the digest truncated to beta bits.
int truncatedLength(const KCDSA_UNIT* k, int hashLen) {
    int beta = (BN_num_bits(k->q->bn) + 7) / 8;
    return hashLen < beta ? hashLen : beta;
}

int defaultDigest(const KCDSA_UNIT* k) {
    if (k->digest_unit != nullptr && k->digest_unit->alg_id != 0) return k->digest_unit->alg_id;
    return BN_num_bits(k->q->bn) <= 160 ? VSC_DIGEST_HAS160 : VSC_DIGEST_SHA256;
}

// h(data) mod 2^beta: the digest's last truncatedLength bytes.
int truncatedHash(const KCDSA_UNIT* k, Hasher& h, unsigned char* out, int* outLen) {
    unsigned char full[VSC_MAX_DIGEST_LENGTH];
    if (int rc = h.final(full); rc != VSC_OK) return rc;
    int n = truncatedLength(k, h.length());
    std::memcpy(out, full + (h.length() - n), static_cast<std::size_t>(n));
    *outLen = n;
    return VSC_OK;
}

// Largest p we compute with: the standard's sizes stop at 3072 bits, and a
// key from a certificate could otherwise hold a modulus that keeps one
// exponentiation busy for hours (the bound of OpenSSL's DSA).
constexpr int kMaxPBits = 10000;

// The checks that cost nothing: sizes and order of p and q.
bool domainSizesHold(const BIGNUM* p, const BIGNUM* q) {
    return !BN_is_negative(p) && !BN_is_negative(q) && BN_is_odd(p) && BN_num_bits(p) <= kMaxPBits && !BN_is_zero(q) &&
           BN_cmp(q, p) < 0;
}

int domainCheck(const BIGNUM* p, const BIGNUM* q, const BIGNUM* g) {
    if (!domainSizesHold(p, q) || BN_is_negative(g) || BN_num_bits(p) < 512 || BN_num_bits(q) < 128)
        return VSC_ERR_INVALID_PARAMS;
    if (BN_is_zero(g) || BN_is_one(g) || BN_cmp(g, p) >= 0) return VSC_ERR_INVALID_PARAMS;
    BnCtxPtr ctx = newBnCtx();
    BnPtr t(BN_new());
    if (!ctx || !t || !BN_mod_exp(t.get(), g, q, p, ctx.get())) return VSC_ERR_MEMORY;
    return BN_is_one(t.get()) ? VSC_OK : VSC_ERR_INVALID_PARAMS;  // g of order q
}

// y = g^(x^-1 mod q) mod p into *out; 0 or a VSC_ code.
int publicValue(const BIGNUM* p, const BIGNUM* q, const BIGNUM* g, const BIGNUM* x, BIGINT** out) {
    BnCtxPtr ctx = newBnCtx();
    BnPtr xs(BN_dup(x)), inv(BN_new()), y(BN_new());
    if (!ctx || !xs || !inv || !y) return VSC_ERR_MEMORY;
    BN_set_flags(xs.get(), BN_FLG_CONSTTIME);
    if (!BN_mod_inverse(inv.get(), xs.get(), q, ctx.get())) return VSC_ERR_INVALID_KEY;
    BN_set_flags(inv.get(), BN_FLG_CONSTTIME);
    if (!BN_mod_exp_mont_consttime(y.get(), g, inv.get(), p, ctx.get(), nullptr)) return VSC_ERR_BACKEND;
    *out = wrapBn(y.release());
    return *out != nullptr ? VSC_OK : VSC_ERR_MEMORY;
}

// Z = y mod 2^l as l/8 bytes.
int startMessage(KCDSA_UNIT* k, KcdsaState* st, int digestId) {
    if (int rc = st->hash.init(digestId); rc != VSC_OK) return rc;
    std::size_t zLen = static_cast<std::size_t>(st->hash.block());
    SecureBytes y(static_cast<std::size_t>(BN_num_bytes(k->y->bn)));
    BN_bn2bin(k->y->bn, y.data());
    SecureBytes z(zLen, 0);
    if (y.size() >= zLen)
        std::memcpy(z.data(), y.data() + (y.size() - zLen), zLen);
    else
        std::memcpy(z.data() + (zLen - y.size()), y.data(), y.size());
    return st->hash.update(Bytes(z.data(), z.size()));
}

int initUnit(KCDSA_UNIT* k, int sign, int digestId) {
    if (k == nullptr) return VSC_ERR_NULL_ARGUMENT;
    KcdsaState* st = stateOf(k);
    if (st == nullptr) return VSC_ERR_MEMORY;
    st->active = false;
    if (int rc = ensureInit(); rc != VSC_OK) return rc;
    if (k->p == nullptr || k->q == nullptr || k->g == nullptr || (k->y == nullptr && k->x == nullptr) ||
        (sign && k->x == nullptr))
        return VSC_ERR_KEY_MISSING;
    if (!domainSizesHold(k->p->bn, k->q->bn)) return VSC_ERR_INVALID_PARAMS;
    // Values put straight into the record (a decoded certificate key) get the
    // setter's range checks: g = 1 makes W' = y^S and y = 0 makes W' = 0,
    // whatever E is, so a signature could be made without x.
    if (BN_cmp(k->g->bn, BN_value_one()) <= 0 || BN_cmp(k->g->bn, k->p->bn) >= 0) return VSC_ERR_INVALID_PARAMS;
    if (k->y != nullptr && (BN_cmp(k->y->bn, BN_value_one()) <= 0 || BN_cmp(k->y->bn, k->p->bn) >= 0))
        return VSC_ERR_INVALID_KEY;
    // Callers may fill the record's values directly, with x alone.
    if (k->y == nullptr)
        if (int rc = publicValue(k->p->bn, k->q->bn, k->g->bn, k->x->bn, &k->y); rc != VSC_OK) return rc;
    if (digestId == 0) digestId = defaultDigest(k);
    if (int rc = startMessage(k, st, digestId); rc != VSC_OK) return rc;
    k->digest_id = digestId;
    k->sign = sign ? 1 : 0;
    st->active = true;
    return VSC_OK;
}

// R, S from a given k; the message hash must be complete in st.
int signWith(KCDSA_UNIT* key, KcdsaState* st, const BIGNUM* kValue, const unsigned char* h, int hLen, SecureBytes& r,
             SecureBytes& s) {
    const BIGNUM *p = key->p->bn, *q = key->q->bn, *g = key->g->bn;
    BnCtxPtr ctx = newBnCtx();
    BnPtr w(BN_new()), e(BN_new()), t(BN_new()), sv(BN_new()), kk(BN_dup(kValue)), x(BN_dup(key->x->bn));
    if (!ctx || !w || !e || !t || !sv || !kk || !x) return VSC_ERR_MEMORY;
    BN_set_flags(kk.get(), BN_FLG_CONSTTIME);
    BN_set_flags(x.get(), BN_FLG_CONSTTIME);
    if (!BN_mod_exp_mont_consttime(w.get(), g, kk.get(), p, ctx.get(), montOf(key, st, ctx.get())))
        return VSC_ERR_BACKEND;
    SecureBytes wBytes(static_cast<std::size_t>(BN_num_bytes(p)));
    BN_bn2binpad(w.get(), wBytes.data(), static_cast<int>(wBytes.size()));
    Hasher wh;
    int rc = wh.init(st->hash.id());
    if (rc == VSC_OK) rc = wh.update(Bytes(wBytes.data(), wBytes.size()));
    r.assign(static_cast<std::size_t>(hLen), 0);
    int rLen = 0;
    if (rc == VSC_OK) rc = truncatedHash(key, wh, r.data(), &rLen);
    if (rc != VSC_OK) return rc;
    SecureBytes rx(r.begin(), r.end());
    for (int i = 0; i < hLen; ++i) rx[static_cast<std::size_t>(i)] ^= h[i];
    // E = (R xor H) mod q; S = x(k - E) mod q.
    if (!BN_bin2bn(rx.data(), hLen, e.get()) || !BN_mod(e.get(), e.get(), q, ctx.get()) ||
        !BN_mod_sub(t.get(), kk.get(), e.get(), q, ctx.get()) || !BN_mod_mul(sv.get(), x.get(), t.get(), q, ctx.get()))
        return VSC_ERR_BACKEND;
    if (BN_is_zero(sv.get())) return VSC_FAIL;  // the caller draws another k
    s.assign(static_cast<std::size_t>(qBytes(key)), 0);
    BN_bn2binpad(sv.get(), s.data(), static_cast<int>(s.size()));
    return VSC_OK;
}

int finalSign(KCDSA_UNIT* key, const BIGNUM* fixedK, unsigned char* r, int* rLen, unsigned char* s, int* sLen) {
    if (key == nullptr || r == nullptr || rLen == nullptr || s == nullptr || sLen == nullptr) return VSC_FAIL;
    KcdsaState* st = static_cast<KcdsaState*>(key->impl);
    if (st == nullptr || !st->active || key->sign == 0 || key->x == nullptr) return VSC_FAIL;
    unsigned char h[VSC_MAX_DIGEST_LENGTH];
    int hLen = 0;
    if (truncatedHash(key, st->hash, h, &hLen) != VSC_OK) return VSC_FAIL;
    int digestId = st->hash.id();
    SecureBytes rOut, sOut;
    int rc = VSC_FAIL;
    if (fixedK != nullptr) {
        rc = signWith(key, st, fixedK, h, hLen, rOut, sOut);
    } else {
        BnPtr kv(BN_new());
        BnCtxPtr bnCtx = newBnCtx();  // draws from our context's generator
        if (!bnCtx) kv.reset();
        for (int attempt = 0; attempt < 32 && rc == VSC_FAIL && kv; ++attempt) {
            // k uniform in [1, q-1].
            do {
                if (!BN_priv_rand_range_ex(kv.get(), key->q->bn, 0, bnCtx.get())) {
                    kv.reset();
                    break;
                }
            } while (BN_is_zero(kv.get()));
            if (kv) rc = signWith(key, st, kv.get(), h, hLen, rOut, sOut);
        }
    }
    // Ready for a next message under the same digest.
    int again = startMessage(key, st, digestId);
    st->active = again == VSC_OK;
    if (rc != VSC_OK) return VSC_FAIL;
    if ((*rLen > 0 && *rLen < static_cast<int>(rOut.size())) || (*sLen > 0 && *sLen < static_cast<int>(sOut.size())))
        return VSC_FAIL;  // the caller's room is too small
    std::memcpy(r, rOut.data(), rOut.size());
    std::memcpy(s, sOut.data(), sOut.size());
    *rLen = static_cast<int>(rOut.size());
    *sLen = static_cast<int>(sOut.size());
    return VSC_OK;
}

int finalVerify(KCDSA_UNIT* key, const unsigned char* r, int rLen, const unsigned char* s, int sLen) {
    if (key == nullptr || r == nullptr || s == nullptr || sLen <= 0) return VSC_FAIL;
    KcdsaState* st = static_cast<KcdsaState*>(key->impl);
    if (st == nullptr || !st->active) return VSC_FAIL;
    unsigned char h[VSC_MAX_DIGEST_LENGTH];
    int hLen = 0;
    int digestId = st->hash.id();
    int rc = truncatedHash(key, st->hash, h, &hLen);
    bool ok = rc == VSC_OK && rLen == hLen;
    if (startMessage(key, st, digestId) != VSC_OK) st->active = false;
    if (!ok) return VSC_FAIL;

    const BIGNUM *p = key->p->bn, *q = key->q->bn, *g = key->g->bn, *y = key->y->bn;
    BnCtxPtr ctx = newBnCtx();
    BnPtr sv(BN_bin2bn(s, sLen, nullptr)), e(BN_new()), w(BN_new());
    if (!ctx || !sv || !e || !w) return VSC_FAIL;
    if (BN_is_zero(sv.get()) || BN_cmp(sv.get(), q) >= 0) return VSC_FAIL;
    SecureBytes rx(r, r + rLen);
    for (int i = 0; i < rLen; ++i) rx[static_cast<std::size_t>(i)] ^= h[i];
    if (!BN_bin2bn(rx.data(), rLen, e.get()) || !BN_mod(e.get(), e.get(), q, ctx.get()) ||
        !BN_mod_exp2_mont(w.get(), y, sv.get(), g, e.get(), p, ctx.get(), montOf(key, st, ctx.get())))
        return VSC_FAIL;
    SecureBytes wBytes(static_cast<std::size_t>(BN_num_bytes(p)));
    BN_bn2binpad(w.get(), wBytes.data(), static_cast<int>(wBytes.size()));
    Hasher wh;
    unsigned char r2[VSC_MAX_DIGEST_LENGTH];
    int r2Len = 0;
    if (wh.init(digestId) != VSC_OK || wh.update(Bytes(wBytes.data(), wBytes.size())) != VSC_OK ||
        truncatedHash(key, wh, r2, &r2Len) != VSC_OK || r2Len != rLen)
        return VSC_FAIL;
    return CRYPTO_memcmp(r, r2, static_cast<std::size_t>(rLen)) == 0 ? VSC_OK : VSC_FAIL;
}

}  // namespace

int kcdsaFinalWithK(KCDSA_UNIT* k, const BIGNUM* kValue, unsigned char* r, int* rLen, unsigned char* s, int* sLen) {
    if (kValue == nullptr) return VSC_FAIL;
    return finalSign(k, kValue, r, rLen, s, sLen);
}

}  // namespace zc

using namespace zc;

extern "C" {

KCDSA_UNIT* VSC_New_KCDSA(void) { return new (std::nothrow) KCDSA_UNIT{}; }

void VSC_Clean_KCDSA(KCDSA_UNIT* k) {
    if (k == nullptr) return;
    for (BIGINT** slot : {&k->p, &k->q, &k->g, &k->y, &k->x, &k->j}) freeBigint(slot);
    VSC_Free_Ex(k->seed, static_cast<size_t>(k->seed_len > 0 ? k->seed_len : 0), __FILE__, __LINE__);
    k->seed = nullptr;
    k->seed_len = 0;
    k->count = 0;
    k->is_private = 0;
    VSC_Free_DIGEST_Unit(k->digest_unit);
    k->digest_unit = nullptr;
    delete static_cast<KcdsaState*>(k->impl);
    k->impl = nullptr;
    k->digest_id = 0;
    k->sign = 0;
}

void VSC_Free_KCDSA(KCDSA_UNIT* k) {
    if (k == nullptr) return;
    VSC_Clean_KCDSA(k);
    delete k;
}

int VSC_Set_KCDSA_Params(KCDSA_UNIT* k, const BIGINT* p, const BIGINT* q, const BIGINT* g, const BIGINT* x,
                         const BIGINT* y) {
    if (k == nullptr || p == nullptr || q == nullptr || g == nullptr || (x == nullptr && y == nullptr))
        return VSC_ERR_NULL_ARGUMENT;
    if (int rc = ensureInit(); rc != VSC_OK) return rc;
    if (int rc = domainCheck(p->bn, q->bn, g->bn); rc != VSC_OK) return rc;
    if (x != nullptr && (BN_is_zero(x->bn) || BN_is_negative(x->bn) || BN_cmp(x->bn, q->bn) >= 0))
        return VSC_ERR_INVALID_KEY;
    if (y != nullptr && (BN_cmp(y->bn, BN_value_one()) <= 0 || BN_cmp(y->bn, p->bn) >= 0)) return VSC_ERR_INVALID_KEY;

    BIGINT* yv = nullptr;
    if (y != nullptr)
        yv = VSC_Dup_BIGINT(y);
    else if (int rc = publicValue(p->bn, q->bn, g->bn, x->bn, &yv); rc != VSC_OK)
        return rc;
    BIGINT* copies[4] = {VSC_Dup_BIGINT(p), VSC_Dup_BIGINT(q), VSC_Dup_BIGINT(g),
                         x != nullptr ? VSC_Dup_BIGINT(x) : nullptr};
    if (yv == nullptr || !copies[0] || !copies[1] || !copies[2] || (x != nullptr && !copies[3])) {
        VSC_Free_BIGINT(yv);
        for (auto* c : copies) VSC_Free_BIGINT(c);
        return VSC_ERR_MEMORY;
    }
    BIGINT** slots[5] = {&k->p, &k->q, &k->g, &k->x, &k->y};
    for (auto* s : slots) freeBigint(s);
    k->p = copies[0];
    k->q = copies[1];
    k->g = copies[2];
    k->x = copies[3];
    k->y = yv;
    k->is_private = x != nullptr ? 1 : 0;
    if (k->impl != nullptr) static_cast<KcdsaState*>(k->impl)->active = false;
    return VSC_OK;
}

int VSC_Get_KCDSA_Length(const KCDSA_UNIT* k) {
    if (k == nullptr || k->q == nullptr) return -1;
    return qBytes(k);
}

int VSC_Init_KCDSA(KCDSA_UNIT* k, int sign) { return initUnit(k, sign, 0); }

int VSC_Init_KCDSA_Ex(KCDSA_UNIT* k, int sign, int digest_id) { return initUnit(k, sign, digest_id); }

int VSC_Update_KCDSA(KCDSA_UNIT* k, const unsigned char* data, int len) {
    if (k == nullptr) return VSC_ERR_NULL_ARGUMENT;
    if (badBuffer(data, len)) return VSC_ERR_INVALID_LENGTH;
    KcdsaState* st = static_cast<KcdsaState*>(k->impl);
    if (st == nullptr || !st->active) return VSC_ERR_NOT_INITIALIZED;
    return st->hash.update(Bytes(data, static_cast<std::size_t>(len)));
}

int VSC_Final_KCDSA(KCDSA_UNIT* k, unsigned char* r, int* r_len, unsigned char* s, int* s_len) {
    if (k == nullptr || r_len == nullptr || s_len == nullptr) return VSC_FAIL;
    if (k->sign != 0) return finalSign(k, nullptr, r, r_len, s, s_len);
    return finalVerify(k, r, *r_len, s, *s_len);
}

int VSC_Verify_KCDSA(KCDSA_UNIT* k, const unsigned char* r, int r_len, const unsigned char* s, int s_len) {
    if (k == nullptr || k->sign != 0) return VSC_FAIL;
    return finalVerify(k, r, r_len, s, s_len);
}

}  // extern "C"
