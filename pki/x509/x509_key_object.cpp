// ASYMMETRIC_KEY: one key object of the crypto layer, freed, copied and
// compared by its kind, and the conversions to and from the key units.
#include <zunPKI/x509/x509_key.h>

#include <cstring>

#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/asn1_struct.hpp"
#include "asn1/codec_util.hpp"
#include "x509/x509_key.hpp"
#include "x509/x509_key_internal.hpp"
#include "x509/x509_list.hpp"

using namespace zpki::x509::keys;

namespace zpki::x509::keys {

// Key objects.

void freeKeyObject(int kind, void* key) {
    switch (kind) {
        case ASYMMETRIC_KEY_RSA:
            VSC_Free_RSA(static_cast<RSA_UNIT*>(key));
            break;
        case ASYMMETRIC_KEY_KCDSA:
            VSC_Free_KCDSA(static_cast<KCDSA_UNIT*>(key));
            break;
        case ASYMMETRIC_KEY_EC:
            VSC_Free_ECC_Key(static_cast<ECC_KEY*>(key));
            break;
        default:
            break;
    }
}

// Gives key a new object of a kind, freeing what it held.
void installKey(ASYMMETRIC_KEY* key, int kind, void* object) {
    freeKeyObject(key->kind, key->key);
    key->kind = kind;
    key->key = object;
}

bool dupInto(BIGINT*& slot, const BIGINT* v) {
    BIGINT* c = nullptr;
    if (v && !(c = VSC_Dup_BIGINT(v))) return false;
    putBig(slot, c);
    return true;
}

bool copySeed(KCDSA_UNIT* to, const unsigned char* seed, int len) {
    if (to->seed) VSC_FREE_EX(to->seed, static_cast<size_t>(to->seed_len > 0 ? to->seed_len : 0));
    to->seed = nullptr;
    to->seed_len = 0;
    if (!seed || len <= 0) return true;
    to->seed = static_cast<unsigned char*>(PKI_MALLOC(static_cast<size_t>(len)));
    if (!to->seed) return false;
    std::memcpy(to->seed, seed, static_cast<size_t>(len));
    to->seed_len = len;
    return true;
}

// j, the seed and the count of from into to.
bool copyKcdsaGeneration(const KCDSA_UNIT* from, KCDSA_UNIT* to) {
    to->count = from->count;
    return dupInto(to->j, from->j) && copySeed(to, from->seed, from->seed_len);
}

// Every value of from into to (cleaned by the caller), as they are: a copy
// does not judge the domain parameters.
bool copyKcdsaValues(const KCDSA_UNIT* from, KCDSA_UNIT* to) {
    if (!dupInto(to->p, from->p) || !dupInto(to->q, from->q) || !dupInto(to->g, from->g) || !dupInto(to->y, from->y) ||
        !dupInto(to->x, from->x) || !copyKcdsaGeneration(from, to))
        return false;
    to->is_private = to->x ? 1 : 0;
    return true;
}

KCDSA_UNIT* dupKcdsa(const KCDSA_UNIT* from) {
    Kcdsa k(VSC_New_KCDSA());
    return k && copyKcdsaValues(from, k.get()) ? k.release() : nullptr;
}

// A new KCDSA object through the crypto library's setter (which checks the
// domain parameters and makes y from x when y is missing).
KCDSA_UNIT* kcdsaThroughSetter(const KCDSA_UNIT* from) {
    Kcdsa k(VSC_New_KCDSA());
    if (!k || VSC_Set_KCDSA_Params(k.get(), from->p, from->q, from->g, from->x, from->y) != VSC_OK ||
        !copyKcdsaGeneration(from, k.get()))
        return nullptr;
    return k.release();
}

bool copyPoint(const ECPOINT* from, ECPOINT* to) {
    if (VSC_Copy_BIGINT(to->x, from->x) != VSC_OK || VSC_Copy_BIGINT(to->y, from->y) != VSC_OK) return false;
    to->infinity = from->infinity;
    return true;
}

ECC_KEY* dupEcKey(const ECC_KEY* from) {
    Ec k(VSC_New_ECC_Key());
    if (!k) return nullptr;
    if (const ECURVE* c = from->curve) {
        k->curve = VSC_New_ECURVE();
        if (!k->curve || VSC_Set_ECURVE_Params(k->curve, c->curve_id, c->name, c->a, c->b, c->p, c->G, c->n) != VSC_OK)
            return nullptr;
    }
    if (from->point) {
        k->point = VSC_New_ECPOINT();
        if (!k->point || !copyPoint(from->point, k->point)) return nullptr;
    }
    if (!dupInto(k->d, from->d)) return nullptr;
    k->is_private = from->is_private;
    return k.release();
}

int cmpBigs(std::initializer_list<std::pair<const BIGINT*, const BIGINT*>> pairs) {
    for (auto [a, b] : pairs)
        if (int c = VSC_Cmp_BIGINT(a, b)) return c;
    return 0;
}

int cmpPoints(const ECPOINT* a, const ECPOINT* b) {
    if (!a || !b) return (a != nullptr) - (b != nullptr);
    if (a->infinity != b->infinity) return a->infinity - b->infinity;
    return a->infinity ? 0 : cmpBigs({{a->x, b->x}, {a->y, b->y}});
}

int cmpCurves(const ECURVE* a, const ECURVE* b) {
    if (!a || !b) return (a != nullptr) - (b != nullptr);
    if (int c = cmpBigs({{a->p, b->p}, {a->a, b->a}, {a->b, b->b}, {a->n, b->n}})) return c;
    return cmpPoints(a->G, b->G);
}

int cmpKeyObjects(int kind, const void* x, const void* y) {
    if (x == y) return 0;
    if (!x || !y) return x ? 1 : -1;
    switch (kind) {
        case ASYMMETRIC_KEY_RSA: {
            auto* a = static_cast<const RSA_UNIT*>(x);
            auto* b = static_cast<const RSA_UNIT*>(y);
            return cmpBigs({{a->n, b->n},
                            {a->e, b->e},
                            {a->d, b->d},
                            {a->p, b->p},
                            {a->q, b->q},
                            {a->dP, b->dP},
                            {a->dQ, b->dQ},
                            {a->qInv, b->qInv}});
        }
        case ASYMMETRIC_KEY_KCDSA: {
            auto* a = static_cast<const KCDSA_UNIT*>(x);
            auto* b = static_cast<const KCDSA_UNIT*>(y);
            if (int c = cmpBigs({{a->p, b->p}, {a->q, b->q}, {a->g, b->g}, {a->y, b->y}, {a->x, b->x}, {a->j, b->j}}))
                return c;
            if (a->seed_len != b->seed_len) return a->seed_len < b->seed_len ? -1 : 1;
            if (a->seed_len > 0 && a->seed && b->seed)
                if (int c = std::memcmp(a->seed, b->seed, static_cast<size_t>(a->seed_len))) return c;
            return a->count == b->count ? 0 : (a->count < b->count ? -1 : 1);
        }
        case ASYMMETRIC_KEY_EC: {
            auto* a = static_cast<const ECC_KEY*>(x);
            auto* b = static_cast<const ECC_KEY*>(y);
            if (int c = cmpCurves(a->curve, b->curve)) return c;
            if (int c = cmpPoints(a->point, b->point)) return c;
            return VSC_Cmp_BIGINT(a->d, b->d);
        }
        default:
            return 1;  // an object of no kind we know cannot be compared
    }
}

}  // namespace zpki::x509::keys

extern "C" {

// ===========================================================================
// Asymmetric keys

ZUNPKI_API ASYMMETRIC_KEY* new_ASYMMETRIC_KEY(void) { return PKI_NEW(ASYMMETRIC_KEY); }

ZUNPKI_API void clean_ASYMMETRIC_KEY(ASYMMETRIC_KEY* key) {
    if (!key) return;
    freeKeyObject(key->kind, key->key);
    key->kind = ASYMMETRIC_KEY_EMPTY;
    key->key = nullptr;
}

ZUNPKI_API void free_ASYMMETRIC_KEY(ASYMMETRIC_KEY* key) {
    clean_ASYMMETRIC_KEY(key);
    PKI_FREE(key);
}

ZUNPKI_API ASYMMETRIC_KEY* dup_ASYMMETRIC_KEY(const ASYMMETRIC_KEY* key) {
    if (!key || key->kind == ASYMMETRIC_KEY_EMPTY) return nullptr;
    void* object = nullptr;
    switch (key->kind) {
        case ASYMMETRIC_KEY_RSA:
            object = key->key ? VSC_Dup_RSA(static_cast<const RSA_UNIT*>(key->key)) : nullptr;
            break;
        case ASYMMETRIC_KEY_KCDSA:
            object = key->key ? dupKcdsa(static_cast<const KCDSA_UNIT*>(key->key)) : nullptr;
            break;
        case ASYMMETRIC_KEY_EC:
            object = key->key ? dupEcKey(static_cast<const ECC_KEY*>(key->key)) : nullptr;
            break;
        default:
            break;  // a kind we do not know: the kind alone
    }
    const bool known = key->kind >= ASYMMETRIC_KEY_RSA && key->kind <= ASYMMETRIC_KEY_EC;
    if (known && !object) return nullptr;
    ASYMMETRIC_KEY* copy = new_ASYMMETRIC_KEY();
    if (!copy) {
        freeKeyObject(key->kind, object);
        return nullptr;
    }
    copy->kind = key->kind;
    copy->key = object;
    return copy;
}

ZUNPKI_API int cmp_ASYMMETRIC_KEY(const ASYMMETRIC_KEY* a, const ASYMMETRIC_KEY* b) {
    if (!a || !b) return 1;
    if (a->kind != b->kind) return a->kind < b->kind ? -1 : 1;
    return cmpKeyObjects(a->kind, a->key, b->key);
}

ZUNPKI_API int ASYMMETRIC_KEY_to_RSA_UNIT(const ASYMMETRIC_KEY* key, RSA_UNIT* rsa) {
    if (!key || !rsa || key->kind != ASYMMETRIC_KEY_RSA || !key->key) return 1;
    const RSA_UNIT* from = static_cast<const RSA_UNIT*>(key->key);
    if (from == rsa) return 0;
    const int flag = from->flag;
    if (flag < VSC_RSA_FLAG_PUBLIC) return 1;
    VSC_Clean_RSA(rsa);
    bool ok = dupInto(rsa->n, from->n) && dupInto(rsa->e, from->e);
    if (flag >= 4) ok = ok && dupInto(rsa->d, from->d);
    if (flag >= 8)
        ok = ok && dupInto(rsa->p, from->p) && dupInto(rsa->q, from->q) && dupInto(rsa->dP, from->dP) &&
             dupInto(rsa->dQ, from->dQ) && dupInto(rsa->qInv, from->qInv);
    if (!ok) {
        VSC_Clean_RSA(rsa);
        return 1;
    }
    rsa->flag = flag;
    rsa->is_private = flag >= 4 ? 1 : 0;
    return 0;
}

ZUNPKI_API int ASYMMETRIC_KEY_to_KCDSA_UNIT(const ASYMMETRIC_KEY* key, KCDSA_UNIT* kcdsa) {
    if (!key || !kcdsa || key->kind != ASYMMETRIC_KEY_KCDSA || !key->key) return 1;
    const KCDSA_UNIT* from = static_cast<const KCDSA_UNIT*>(key->key);
    if (from == kcdsa) return 0;
    VSC_Clean_KCDSA(kcdsa);
    if (!copyKcdsaValues(from, kcdsa)) {
        VSC_Clean_KCDSA(kcdsa);
        return 1;
    }
    return 0;
}

ZUNPKI_API int RSA_UNIT_to_ASYMMETRIC_KEY(const RSA_UNIT* rsa, ASYMMETRIC_KEY* key) {
    if (!rsa || !key) return 1;
    Rsa made(VSC_New_RSA());
    if (!made ||
        VSC_Set_RSA_Params(made.get(), rsa->n, rsa->e, rsa->d, rsa->p, rsa->q, rsa->dP, rsa->dQ, rsa->qInv) != VSC_OK)
        return 1;
    installKey(key, ASYMMETRIC_KEY_RSA, made.release());
    return 0;
}

ZUNPKI_API int KCDSA_UNIT_to_ASYMMETRIC_KEY(const KCDSA_UNIT* kcdsa, ASYMMETRIC_KEY* key) {
    if (!kcdsa || !key) return 1;
    KCDSA_UNIT* made = kcdsaThroughSetter(kcdsa);
    if (!made) return 1;
    installKey(key, ASYMMETRIC_KEY_KCDSA, made);
    return 0;
}

}  // extern "C"
