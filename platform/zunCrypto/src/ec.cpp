// Elliptic-curve key records.
#include "internal.h"

#include <openssl/ec.h>

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

// A named curve's group, made once and shared read-only: checking a decoded
// public key built a group from the curve's numbers every time (a Montgomery
// context and its inverses), most of the cost of reading an EC certificate.
struct NamedGroup {
    EC_GROUP* group = nullptr;
    BIGNUM* p = nullptr;
    BIGNUM* a = nullptr;
    BIGNUM* b = nullptr;
    explicit NamedGroup(int nid) {
        group = EC_GROUP_new_by_curve_name_ex(zc::libctx(), nullptr, nid);
        p = BN_new();
        a = BN_new();
        b = BN_new();
        if (!group || !p || !a || !b || !EC_GROUP_get_curve(group, p, a, b, nullptr)) {
            EC_GROUP_free(group);
            group = nullptr;
        }
    }
    bool matches(const ECURVE* c) const {
        return group && BN_cmp(c->p->bn, p) == 0 && BN_cmp(c->a->bn, a) == 0 && BN_cmp(c->b->bn, b) == 0;
    }
};

const EC_GROUP* namedGroupOf(const ECURVE* c) {
    static const NamedGroup p256(NID_X9_62_prime256v1);
    if (c->a == nullptr || c->b == nullptr || c->p == nullptr) return nullptr;
    return p256.matches(c) ? p256.group : nullptr;
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
    zc::BnCtxPtr ctx = zc::newBnCtx();
    if (!ctx) return VSC_ERR_MEMORY;
    GroupPtr own;
    const EC_GROUP* group = namedGroupOf(key->curve);
    if (!group) {
        if (int rc = groupOf(key->curve, ctx.get(), own); rc != VSC_OK) return rc;
        group = own.get();
    }
    PointPtr pt(EC_POINT_new(group));
    if (!pt) return VSC_ERR_MEMORY;
    if (!EC_POINT_set_affine_coordinates(group, pt.get(), key->point->x->bn, key->point->y->bn, ctx.get()))
        return VSC_FAIL;
    return EC_POINT_is_on_curve(group, pt.get(), ctx.get()) == 1 ? VSC_OK : VSC_FAIL;
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
