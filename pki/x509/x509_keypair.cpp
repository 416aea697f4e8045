// Key-pair checks: a public key against a private one, by kind.
#include <zunPKI/x509/x509_key.h>

#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/asn1_struct.hpp"
#include "asn1/codec_util.hpp"
#include "x509/x509_key.hpp"
#include "x509/x509_key_internal.hpp"
#include "x509/x509_list.hpp"

using namespace zpki::x509::keys;

namespace {

// Key-pair checks.

// The public value y of a KCDSA private key, made from x (so that a stored y
// is not simply trusted); null when it cannot be made.
KCDSA_UNIT* kcdsaWithDerivedY(const KCDSA_UNIT* priv) {
    if (!priv->x) return nullptr;
    Kcdsa k(VSC_New_KCDSA());
    if (!k || VSC_Set_KCDSA_Params(k.get(), priv->p, priv->q, priv->g, priv->x, nullptr) != VSC_OK) return nullptr;
    return dupInto(k->j, priv->j) ? k.release() : nullptr;
}

}  // namespace

extern "C" {

// ===========================================================================
// Key pairs

ZUNPKI_API int check_X509_RSA_keypair(const RSA_UNIT* a, const RSA_UNIT* b) {
    if (!a || !b || !a->n || !a->e || !b->n || !b->e) return 1;
    return VSC_Cmp_BIGINT(a->n, b->n) == 0 && VSC_Cmp_BIGINT(a->e, b->e) == 0 ? 0 : 1;
}

ZUNPKI_API int check_X509_KCDSA_keypair(const KCDSA_UNIT* a, const KCDSA_UNIT* b) {
    if (!a || !b || !a->p || !a->q || !a->g || !b->p || !b->q || !b->g) return 1;
    if (cmpBigs({{a->p, b->p}, {a->q, b->q}, {a->g, b->g}})) return 1;
    if (a->y && b->y && VSC_Cmp_BIGINT(a->y, b->y)) return 1;
    if (a->j && b->j && VSC_Cmp_BIGINT(a->j, b->j)) return 1;
    return 0;
}

ZUNPKI_API int check_X509_ECC_keypair(const ECC_KEY* pub, const ECC_KEY* priv) {
    if (!pub || !priv || !pub->curve || !priv->curve || cmpCurves(pub->curve, priv->curve) != 0) return 1;
    if (!pub->point || VSC_Check_ECC_Key(pub) != VSC_OK) return 1;
    if (!priv->d) return priv->point && cmpPoints(pub->point, priv->point) == 0 ? 0 : 1;
    Point derived(VSC_New_ECPOINT());
    if (!derived || VSC_Get_ECC_Public_Point(priv, derived.get()) != VSC_OK) return 1;
    return cmpPoints(pub->point, derived.get()) == 0 ? 0 : 1;
}

ZUNPKI_API int check_X509_keypair(const X509_PUBKEY* pub, const ASYMMETRIC_KEY* priv) {
    if (!pub || !priv || !pub->key || !pub->key->key || !priv->key || pub->key->kind != priv->kind) return 1;
    const int row = index_from_OBJECT_IDENTIFIER(pub->algorithm);
    switch (priv->kind) {
        case ASYMMETRIC_KEY_RSA:
            if (get_CipherID_from_OID(row) != VSC_PKEY_RSA) return 1;
            return check_X509_RSA_keypair(static_cast<const RSA_UNIT*>(pub->key->key),
                                          static_cast<const RSA_UNIT*>(priv->key));
        case ASYMMETRIC_KEY_KCDSA: {
            if (get_CipherID_from_OID(row) != VSC_PKEY_KCDSA) return 1;
            auto* pubKey = static_cast<const KCDSA_UNIT*>(pub->key->key);
            auto* privKey = static_cast<const KCDSA_UNIT*>(priv->key);
            // y must be compared: made from x when the private key has it.
            Kcdsa derived(privKey->x ? kcdsaWithDerivedY(privKey) : nullptr);
            const KCDSA_UNIT* effective = privKey->x ? derived.get() : privKey;
            if (!effective || !pubKey->y || !effective->y) return 1;
            return check_X509_KCDSA_keypair(pubKey, effective);
        }
        case ASYMMETRIC_KEY_EC:
            if (row != kRowEcPublicKey) return 1;
            return check_X509_ECC_keypair(static_cast<const ECC_KEY*>(pub->key->key),
                                          static_cast<const ECC_KEY*>(priv->key));
        default:
            return 1;  // a kind we cannot check never matches
    }
}

}  // extern "C"
