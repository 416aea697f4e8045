// Elliptic-curve key records.
#include "internal.h"

#include <openssl/ec.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

void clearPoint(ECPOINT* pt) {
    zc::freeBigint(&pt->x);
    zc::freeBigint(&pt->y);
}

BIGINT* zeroValue() { return VSC_New_BIGINT(); }

struct GroupFree {
    void operator()(EC_GROUP* g) const { EC_GROUP_free(g); }
};
struct PointFree {
    void operator()(EC_POINT* p) const { EC_POINT_free(p); }
};
using GroupPtr = std::unique_ptr<EC_GROUP, GroupFree>;
using PointPtr = std::unique_ptr<EC_POINT, PointFree>;

// The curve's prime-field group (without a generator: callers pass points).
int groupOf(const ECURVE* c, BN_CTX* ctx, GroupPtr& out) {
    if (c->a == nullptr || c->b == nullptr || c->p == nullptr) return VSC_ERR_KEY_MISSING;
    out.reset(EC_GROUP_new_curve_GFp(c->p->bn, c->a->bn, c->b->bn, ctx));
    return out ? VSC_OK : VSC_ERR_INVALID_PARAMS;
}

// Arithmetic modulo a 256-bit prime in Montgomery form (four 64-bit limbs,
// least significant first), for the on-curve check of P-256 public keys:
// OpenSSL's check converted both coordinates through its generic division,
// most of the cost of reading an EC certificate. Public values only, so
// nothing here needs to run in constant time.
using Limbs = std::array<uint64_t, 4>;
using u128 = unsigned __int128;

struct Field256 {
    Limbs p{};
    uint64_t n0 = 0;  // -p^-1 mod 2^64
    Limbs r2{};       // R^2 mod p, R = 2^256

    bool lessThanP(const Limbs& a) const {
        for (int i = 3; i >= 0; --i)
            if (a[i] != p[i]) return a[i] < p[i];
        return false;
    }
    void subtractP(Limbs& a) const {
        uint64_t borrow = 0;
        for (int i = 0; i < 4; ++i) {
            const u128 d = static_cast<u128>(a[i]) - p[i] - borrow;
            a[i] = static_cast<uint64_t>(d);
            borrow = static_cast<uint64_t>(d >> 64) & 1;
        }
    }
    // a * b / R mod p for a, b < p (CIOS).
    Limbs mul(const Limbs& a, const Limbs& b) const {
        uint64_t t[6] = {};
        for (int i = 0; i < 4; ++i) {
            uint64_t carry = 0;
            for (int j = 0; j < 4; ++j) {
                const u128 v = static_cast<u128>(a[j]) * b[i] + t[j] + carry;
                t[j] = static_cast<uint64_t>(v);
                carry = static_cast<uint64_t>(v >> 64);
            }
            u128 v = static_cast<u128>(t[4]) + carry;
            t[4] = static_cast<uint64_t>(v);
            t[5] = static_cast<uint64_t>(v >> 64);
            const uint64_t m = t[0] * n0;
            v = static_cast<u128>(m) * p[0] + t[0];
            carry = static_cast<uint64_t>(v >> 64);
            for (int j = 1; j < 4; ++j) {
                v = static_cast<u128>(m) * p[j] + t[j] + carry;
                t[j - 1] = static_cast<uint64_t>(v);
                carry = static_cast<uint64_t>(v >> 64);
            }
            v = static_cast<u128>(t[4]) + carry;
            t[3] = static_cast<uint64_t>(v);
            t[4] = t[5] + static_cast<uint64_t>(v >> 64);
        }
        Limbs r{t[0], t[1], t[2], t[3]};
        if (t[4] || !lessThanP(r)) subtractP(r);
        return r;
    }
    Limbs add(const Limbs& a, const Limbs& b) const {
        Limbs r;
        uint64_t carry = 0;
        for (int i = 0; i < 4; ++i) {
            const u128 v = static_cast<u128>(a[i]) + b[i] + carry;
            r[i] = static_cast<uint64_t>(v);
            carry = static_cast<uint64_t>(v >> 64);
        }
        if (carry || !lessThanP(r)) subtractP(r);
        return r;
    }
    Limbs toMontgomery(const Limbs& a) const { return mul(a, r2); }
};

bool limbsOf(const BIGNUM* v, Limbs& out) {
    unsigned char be[32];
    if (BN_is_negative(v) || BN_bn2binpad(v, be, sizeof be) != sizeof be) return false;
    for (int i = 0; i < 4; ++i) {
        uint64_t w = 0;
        for (int k = 0; k < 8; ++k) w = w << 8 | be[(3 - i) * 8 + k];
        out[i] = w;
    }
    return true;
}

// A named curve, set up once and shared read-only.
struct NamedCurve256 {
    BIGNUM* p = BN_new();
    BIGNUM* a = BN_new();
    BIGNUM* b = BN_new();
    Field256 f;
    Limbs am{}, bm{};  // a and b in Montgomery form
    bool ready = false;

    explicit NamedCurve256(int nid) {
        EC_GROUP* group = EC_GROUP_new_by_curve_name_ex(zc::libctx(), nullptr, nid);
        BIGNUM* r2 = BN_new();
        BN_CTX* ctx = BN_CTX_new_ex(zc::libctx());
        Limbs al, bl;
        if (group && p && a && b && r2 && ctx && EC_GROUP_get_curve(group, p, a, b, ctx) && BN_num_bits(p) == 256 &&
            BN_set_word(r2, 1) && BN_lshift(r2, r2, 512) && BN_mod(r2, r2, p, ctx) && limbsOf(p, f.p) &&
            limbsOf(r2, f.r2) && limbsOf(a, al) && limbsOf(b, bl)) {
            uint64_t inv = 1;  // p^-1 mod 2^64 by Newton's iteration (p is odd)
            for (int i = 0; i < 6; ++i) inv *= 2 - f.p[0] * inv;
            f.n0 = 0 - inv;
            am = f.toMontgomery(al);
            bm = f.toMontgomery(bl);
            ready = true;
        }
        BN_CTX_free(ctx);
        BN_free(r2);
        EC_GROUP_free(group);
    }
    bool matches(const ECURVE* c) const {
        return ready && c->a && c->b && c->p && BN_cmp(c->p->bn, p) == 0 && BN_cmp(c->a->bn, a) == 0 &&
               BN_cmp(c->b->bn, b) == 0;
    }
    // y^2 = x^3 + ax + b for coordinates already known to lie in [0, p).
    bool onCurve(const BIGNUM* x, const BIGNUM* y) const {
        Limbs xl, yl;
        if (!limbsOf(x, xl) || !limbsOf(y, yl)) return false;
        const Limbs xm = f.toMontgomery(xl), ym = f.toMontgomery(yl);
        const Limbs lhs = f.mul(ym, ym);
        const Limbs rhs = f.add(f.add(f.mul(f.mul(xm, xm), xm), f.mul(am, xm)), bm);
        return lhs == rhs;
    }
};

const NamedCurve256* namedCurveOf(const ECURVE* c) {
    static const NamedCurve256 p256(NID_X9_62_prime256v1);
    return p256.matches(c) ? &p256 : nullptr;
}

}  // namespace

extern "C" {

ECPOINT* VSC_New_ECPOINT(void) {
    auto* pt = new (std::nothrow) ECPOINT{};
    if (pt == nullptr) return nullptr;
    pt->x = zeroValue();
    pt->y = zeroValue();
    if (pt->x == nullptr || pt->y == nullptr) {
        VSC_Free_ECPOINT(pt);
        return nullptr;
    }
    return pt;
}

void VSC_Free_ECPOINT(ECPOINT* pt) {
    if (pt == nullptr) return;
    clearPoint(pt);
    delete pt;
}

int VSC_Zero_Value_ECPOINT(ECPOINT* pt) {
    if (pt == nullptr) return VSC_ERR_NULL_ARGUMENT;
    if (pt->x == nullptr && (pt->x = zeroValue()) == nullptr) return VSC_ERR_MEMORY;
    if (pt->y == nullptr && (pt->y = zeroValue()) == nullptr) return VSC_ERR_MEMORY;
    BN_zero(pt->x->bn);
    BN_zero(pt->y->bn);
    pt->infinity = 1;
    return VSC_OK;
}

ECURVE* VSC_New_ECURVE(void) { return new (std::nothrow) ECURVE{}; }

void VSC_Free_ECURVE(ECURVE* curve) {
    if (curve == nullptr) return;
    zc::freeBigint(&curve->a);
    zc::freeBigint(&curve->b);
    zc::freeBigint(&curve->p);
    zc::freeBigint(&curve->n);
    VSC_Free_ECPOINT(curve->G);
    delete curve;
}

int VSC_Set_ECURVE_Params(ECURVE* curve, int curve_id, const char* name, const BIGINT* a, const BIGINT* b,
                          const BIGINT* p, const ECPOINT* G, const BIGINT* n) {
    if (curve == nullptr || name == nullptr || a == nullptr || b == nullptr || p == nullptr || G == nullptr ||
        n == nullptr || G->x == nullptr || G->y == nullptr)
        return VSC_ERR_NULL_ARGUMENT;
    if (std::strlen(name) >= sizeof curve->name) return VSC_ERR_INVALID_ARGUMENT;
    ECPOINT* g = VSC_New_ECPOINT();
    if (g == nullptr) return VSC_ERR_MEMORY;
    int rc = VSC_Copy_BIGINT(g->x, G->x);
    if (rc == VSC_OK) rc = VSC_Copy_BIGINT(g->y, G->y);
    g->infinity = G->infinity;
    if (rc == VSC_OK) rc = zc::setCopy(&curve->a, a);
    if (rc == VSC_OK) rc = zc::setCopy(&curve->b, b);
    if (rc == VSC_OK) rc = zc::setCopy(&curve->p, p);
    if (rc == VSC_OK) rc = zc::setCopy(&curve->n, n);
    if (rc != VSC_OK) {
        VSC_Free_ECPOINT(g);
        return rc;
    }
    VSC_Free_ECPOINT(curve->G);
    curve->G = g;
    curve->curve_id = curve_id;
    // name may be the record's own: moved before the rest is cleared.
    const std::size_t nameLen = std::strlen(name);
    std::memmove(curve->name, name, nameLen);
    std::memset(curve->name + nameLen, 0, sizeof curve->name - nameLen);
    curve->field_length = BN_num_bytes(curve->p->bn);
    return VSC_OK;
}

ECC_KEY* VSC_New_ECC_Key(void) { return new (std::nothrow) ECC_KEY{}; }

void VSC_Free_ECC_Key(ECC_KEY* key) {
    if (key == nullptr) return;
    VSC_Free_ECURVE(key->curve);
    VSC_Free_ECPOINT(key->point);
    zc::freeBigint(&key->d);
    delete key;
}

int VSC_Check_ECC_Key(const ECC_KEY* key) {
    if (key == nullptr || key->curve == nullptr || key->point == nullptr) return VSC_ERR_NULL_ARGUMENT;
    if (key->point->x == nullptr || key->point->y == nullptr) return VSC_ERR_KEY_MISSING;
    if (key->point->infinity) return VSC_FAIL;
    // OpenSSL reduces coordinates modulo p before its on-curve check, so
    // x + p would pass as x: a public key's coordinates lie in [0, p).
    if (key->curve->p != nullptr) {
        const BIGNUM* p = key->curve->p->bn;
        for (const BIGINT* c : {key->point->x, key->point->y})
            if (BN_is_negative(c->bn) || BN_cmp(c->bn, p) >= 0) return VSC_FAIL;
    }
    if (const NamedCurve256* named = namedCurveOf(key->curve))
        return named->onCurve(key->point->x->bn, key->point->y->bn) ? VSC_OK : VSC_FAIL;
    zc::BnCtxPtr ctx = zc::newBnCtx();
    if (!ctx) return VSC_ERR_MEMORY;
    GroupPtr group;
    if (int rc = groupOf(key->curve, ctx.get(), group); rc != VSC_OK) return rc;
    PointPtr pt(EC_POINT_new(group.get()));
    if (!pt) return VSC_ERR_MEMORY;
    if (!EC_POINT_set_affine_coordinates(group.get(), pt.get(), key->point->x->bn, key->point->y->bn, ctx.get()))
        return VSC_FAIL;
    return EC_POINT_is_on_curve(group.get(), pt.get(), ctx.get()) == 1 ? VSC_OK : VSC_FAIL;
}

int VSC_Get_ECC_Public_Point(const ECC_KEY* key, ECPOINT* out) {
    if (key == nullptr || out == nullptr) return VSC_ERR_NULL_ARGUMENT;
    const ECURVE* c = key->curve;
    if (key->d == nullptr || c == nullptr || c->G == nullptr || c->G->x == nullptr || c->G->y == nullptr)
        return VSC_ERR_KEY_MISSING;
    zc::BnCtxPtr ctx = zc::newBnCtx();
    if (!ctx) return VSC_ERR_MEMORY;
    GroupPtr group;
    if (int rc = groupOf(c, ctx.get(), group); rc != VSC_OK) return rc;
    PointPtr g(EC_POINT_new(group.get()));
    PointPtr r(EC_POINT_new(group.get()));
    if (!g || !r) return VSC_ERR_MEMORY;
    if (!EC_POINT_set_affine_coordinates(group.get(), g.get(), c->G->x->bn, c->G->y->bn, ctx.get()))
        return VSC_ERR_INVALID_PARAMS;
    // d is a private key: with the generator and its order known, OpenSSL
    // multiplies on its constant-time ladder; a bare curve would get the
    // variable-time window method. A curve whose order does not hold (the
    // cofactor cannot be found) keeps the plain path.
    bool ladder = c->n != nullptr && !BN_is_zero(c->n->bn) && !BN_is_negative(c->n->bn) &&
                  EC_GROUP_set_generator(group.get(), g.get(), c->n->bn, nullptr) == 1;
    if (ladder) {
        zc::BnPtr scalar(BN_dup(key->d->bn));
        if (!scalar) return VSC_ERR_MEMORY;
        BN_set_flags(scalar.get(), BN_FLG_CONSTTIME);
        if (!EC_POINT_mul(group.get(), r.get(), scalar.get(), nullptr, nullptr, ctx.get())) return VSC_ERR_BACKEND;
    } else if (!EC_POINT_mul(group.get(), r.get(), nullptr, g.get(), key->d->bn, ctx.get())) {
        return VSC_ERR_BACKEND;
    }
    if (EC_POINT_is_at_infinity(group.get(), r.get())) return VSC_Zero_Value_ECPOINT(out);
    if ((out->x == nullptr && (out->x = zeroValue()) == nullptr) ||
        (out->y == nullptr && (out->y = zeroValue()) == nullptr))
        return VSC_ERR_MEMORY;
    if (!EC_POINT_get_affine_coordinates(group.get(), r.get(), out->x->bn, out->y->bn, ctx.get()))
        return VSC_ERR_BACKEND;
    out->infinity = 0;
    return VSC_OK;
}

}  // extern "C"
