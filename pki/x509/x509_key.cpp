#include <zunPKI/x509/x509_key.h>

#include <array>
#include <climits>
#include <cstring>
#include <initializer_list>
#include <utility>

#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/asn1_struct.hpp"
#include "asn1/codec_util.hpp"
#include "x509/x509_key.hpp"
#include "x509/x509_list.hpp"

using namespace zpki::asn1;
namespace ber = zpki::ber;
namespace der = zpki::der;
using zpki::Owned;

namespace {

constexpr int kRowRsa = 6;
constexpr int kRowEcPublicKey = 408;
constexpr int kRowPrime256v1 = 415;
constexpr int kRowKcdsa = 782;

using Node = Owned<ASN1_UNIT, free_ASN1_UNIT>;
using String = Owned<ASN1_STRING, free_ASN1_STRING>;
using Big = Owned<BIGINT, VSC_Free_BIGINT>;
using Rsa = Owned<RSA_UNIT, VSC_Free_RSA>;
using Kcdsa = Owned<KCDSA_UNIT, VSC_Free_KCDSA>;
using Ec = Owned<ECC_KEY, VSC_Free_ECC_Key>;
using Point = Owned<ECPOINT, VSC_Free_ECPOINT>;
using Curve = Owned<ECURVE, VSC_Free_ECURVE>;

constexpr PKI_ERROR x509Err(unsigned func, unsigned reason) { return PKI_ERR(L_X509, func, reason); }

// ---------------------------------------------------------------------------
// Reading and writing elements.

// The one element the bytes hold, with nothing after it.
bool soleElement(const uint8_t* p, size_t n, der::Element& e) {
    der::Cursor c(p, n);
    return der::getElement(c, e) && c.empty();
}

// The contents of a key BIT STRING as one element; the string must use
// whole bytes.
bool bitStringElement(const BIT_STRING* bits, der::Element& e) {
    return bits && bits->extra == 0 && bits->length > 0 && bits->data &&
           soleElement(bits->data, static_cast<size_t>(bits->length), e);
}

bool isInteger(const der::Element& e) { return e.identifier == ASN1_TAG_INTEGER && e.contentsSize > 0; }

BIGINT* integerOf(const der::Element& e) {
    return isInteger(e) ? ber::integerFromContents(e.contents, e.contentsSize) : nullptr;
}

// Replaces *slot with v (which it takes).
void putBig(BIGINT*& slot, BIGINT* v) {
    VSC_Free_BIGINT(slot);
    slot = v;
}

bool appendInteger(ASN1_UNIT* parent, const BIGINT* v) { return Integer::encode(const_cast<BIGINT*>(v), parent); }

bool appendNull(ASN1_UNIT* parent) { return addToDERSequence(parent, ASN1_TAG_NULL, nullptr, 0) == 0; }

bool appendString(ASN1_UNIT* parent, int tag, const ASN1_STRING* s) {
    return s && addToDERSequence(parent, tag, const_cast<ASN1_STRING*>(s), s->length) == 0;
}

// The bytes as the contents of *bits (the caller's string when given, else
// a new one), with no unused bits.
bool bytesToBitString(const uint8_t* bytes, size_t len, BIT_STRING** bits) {
    if (!bits || len > INT_MAX - 1) return false;
    BIT_STRING* target = *bits ? *bits : new_ASN1_STRING();
    if (!target || set_ASN1_STRING_value(target, ASN1_TAG_BIT_STRING, bytes, static_cast<int>(len)) != 0) {
        if (!*bits) free_ASN1_STRING(target);
        return false;
    }
    target->extra = 0;
    *bits = target;
    return true;
}

// The whole encoding of node as the contents of *bits.
bool nodeToBitString(const ASN1_UNIT* node, BIT_STRING** bits) {
    ber::Bytes der;
    if (!ber::serialize(node, der)) return false;
    return bytesToBitString(der.data(), der.size(), bits);
}

// A SEQUENCE of INTEGERs as a BIT STRING; false when a value is missing.
bool integersToBitString(std::initializer_list<const BIGINT*> values, BIT_STRING** bits) {
    Node seq(new_ASN1_UNIT());
    if (!seq) return false;
    for (const BIGINT* v : values)
        if (!v || !appendInteger(seq.get(), v)) return false;
    return nodeToBitString(seq.get(), bits);
}

// The two children of a SubjectPublicKeyInfo and the algorithm's children.
struct SpkiParts {
    der::Element algorithm;  // the AlgorithmIdentifier SEQUENCE
    der::Element oid;        // its OBJECT IDENTIFIER
    der::Element params;     // its parameters, when hasParams
    bool hasParams = false;
    der::Element bits;  // the subjectPublicKey BIT STRING
};

bool splitSpki(const der::Element& spki, SpkiParts& out) {
    if (spki.identifier != 0x30) return false;
    Decoder d(der::Cursor(spki.contents, spki.contentsSize));
    if (!d.next(out.algorithm) || out.algorithm.identifier != 0x30 || !d.next(out.bits) ||
        out.bits.identifier != ASN1_TAG_BIT_STRING || d.more())
        return false;
    Decoder a(der::Cursor(out.algorithm.contents, out.algorithm.contentsSize));
    if (!a.next(out.oid) || out.oid.identifier != ASN1_TAG_OBJECT_IDENTIFIER) return false;
    out.hasParams = a.more();
    if (out.hasParams && (!a.next(out.params) || a.more())) return false;
    return true;
}

int rowOf(const der::Element& oid) {
    String text(static_cast<ASN1_STRING*>(ber::decodeElement(oid, ASN1_TAG_OBJECT_IDENTIFIER)));
    return text ? index_from_OBJECT_IDENTIFIER(text.get()) : 0;
}

BIT_STRING* bitStringOf(const der::Element& e) {
    return static_cast<BIT_STRING*>(ber::decodeElement(e, ASN1_TAG_BIT_STRING));
}

// ---------------------------------------------------------------------------
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

// ---------------------------------------------------------------------------
// KCDSA domain parameters: SEQUENCE { p, q, g, j OPTIONAL,
// SEQUENCE { seed OCTET STRING, count INTEGER } OPTIONAL }.

bool readKcdsaParams(const der::Element& params, KCDSA_UNIT* k) {
    if (params.identifier != 0x30) return false;
    Decoder d(der::Cursor(params.contents, params.contentsSize));
    der::Element e[5];
    int n = 0;
    while (n < 5 && d.more())
        if (!d.next(e[n++])) return false;
    if (n < 3) return false;
    Big p(integerOf(e[0])), q(integerOf(e[1])), g(integerOf(e[2])), j;
    if (!p || !q || !g) return false;
    if (n >= 4 && !(j = Big(integerOf(e[3])))) return false;
    const uint8_t* seed = nullptr;
    size_t seedLen = 0;
    int count = 0;
    if (n >= 5) {
        der::Element s, c;
        if (e[4].identifier != 0x30) return false;
        Decoder gen(der::Cursor(e[4].contents, e[4].contentsSize));
        if (!gen.next(s) || s.identifier != ASN1_TAG_OCTET_STRING || !gen.next(c) || !isInteger(c) || gen.more())
            return false;
        // The count is an int: a negative or larger value is not one.
        Big cv(integerOf(c));
        if (!cv || (c.contents[0] & 0x80) || VSC_Get_BIGINT_Bits_Length(cv.get()) > 31) return false;
        seed = s.contents;
        seedLen = s.contentsSize;
        count = static_cast<int>(VSC_Get_BIGINT_Word(cv.get()));
        if (seedLen > INT_MAX) return false;
    }
    if (!copySeed(k, seed, static_cast<int>(seedLen))) return false;
    putBig(k->p, p.release());
    putBig(k->q, q.release());
    putBig(k->g, g.release());
    putBig(k->j, j.release());
    k->count = count;
    return true;
}

// Appends the parameters SEQUENCE. The seed and count are written only with
// j before them, so that the parameters read back.
bool appendKcdsaParams(ASN1_UNIT* parent, const KCDSA_UNIT* k) {
    Node seq(new_ASN1_UNIT());
    if (!seq || !k->p || !k->q || !k->g) return false;
    for (const BIGINT* v : {k->p, k->q, k->g})
        if (!appendInteger(seq.get(), v)) return false;
    if (k->j) {
        if (!appendInteger(seq.get(), k->j)) return false;
        if (k->seed && k->seed_len >= 1) {
            Node gen(new_ASN1_UNIT());
            String seed(new_OCTET_STRING(k->seed, k->seed_len));
            Big count(VSC_New_BIGINT());
            if (!gen || !seed || !count ||
                VSC_Set_BIGINT_Word(count.get(), static_cast<unsigned>(k->count)) != VSC_OK ||
                !appendString(gen.get(), ASN1_TAG_OCTET_STRING, seed.get()) || !appendInteger(gen.get(), count.get()) ||
                !appendNode(seq.get(), gen.release()))
                return false;
        }
    }
    return appendNode(parent, seq.release());
}

// AlgorithmIdentifier SEQUENCE { OID of row, parameters by params(parent) }.
template <class Params>
int appendAlgorithm(ASN1_UNIT* parent, const OBJECT_IDENTIFIER* oid, Params params) {
    Node alg(new_ASN1_UNIT());
    if (!alg) return ERR_R_ALLOC_3C;
    if (!appendString(alg.get(), ASN1_TAG_OBJECT_IDENTIFIER, oid) || !params(alg.get()) ||
        !appendNode(parent, alg.release()))
        return ERR_ASN1_ENCODING;
    return 0;
}

// The subjectPublicKey of a key object: public values only.
bool publicBits(int kind, const void* key, BIT_STRING** bits) {
    switch (kind) {
        case ASYMMETRIC_KEY_RSA: {
            auto* rsa = static_cast<const RSA_UNIT*>(key);
            return integersToBitString({rsa->n, rsa->e}, bits);
        }
        case ASYMMETRIC_KEY_KCDSA:
            return KCDSA_KEY_to_BITSTRING(static_cast<const KCDSA_UNIT*>(key), bits) == 0;
        case ASYMMETRIC_KEY_EC:
            return ECC_KEY_to_BITSTRING(static_cast<const ECC_KEY*>(key), bits) == 0;
        default:
            return false;
    }
}

int appendBits(ASN1_UNIT* parent, int kind, const void* key) {
    BIT_STRING* made = nullptr;
    if (!publicBits(kind, key, &made)) {
        free_BIT_STRING(made);
        return ERR_ASN1_ENCODING;
    }
    String bits(made);
    return appendString(parent, ASN1_TAG_BIT_STRING, bits.get()) ? 0 : ERR_ASN1_ENCODING;
}

// The setters' last step, which cannot fail: pk takes the key object (in
// holder when pk had no key record), and the algorithm; a received BIT
// STRING would no longer be this key's and goes.
void adoptPublicKey(X509_PUBKEY* pk, ASYMMETRIC_KEY* holder, int kind, void* object, OBJECT_IDENTIFIER* oid) {
    if (holder) pk->key = holder;
    installKey(pk->key, kind, object);
    free_ASN1_STRING(pk->algorithm);
    pk->algorithm = oid;
    free_BIT_STRING(pk->subjectPublicKey);
    pk->subjectPublicKey = nullptr;
}

// ---------------------------------------------------------------------------
// The named-curve table.

struct NamedCurve {
    int curveNumber;
    int row;
    char name[32];
    unsigned char a[64];
    int aLen;
    unsigned char b[64];
    int bLen;
    unsigned char p[64];
    int pLen;
    unsigned char gx[64];
    int gxLen;
    unsigned char gy[64];
    int gyLen;
    unsigned char n[64];
    int nLen;
};

constexpr int hexDigit(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

struct Value64 {
    unsigned char bytes[64];
    int len;
};

template <size_t N>
constexpr Value64 hexValue(const char (&hex)[N]) {
    Value64 v{};
    v.len = static_cast<int>((N - 1) / 2);
    for (int i = 0; i < v.len; ++i)
        v.bytes[i] = static_cast<unsigned char>(hexDigit(hex[2 * i]) * 16 + hexDigit(hex[2 * i + 1]));
    return v;
}

// SEC 2 secp256r1 (FIPS 186 P-256).
constexpr Value64 kP256[] = {
    hexValue("FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFC"),  // a
    hexValue("5AC635D8AA3A93E7B3EBBD55769886BC651D06B0CC53B0F63BCE3C3E27D2604B"),  // b
    hexValue("FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFF"),  // p
    hexValue("6B17D1F2E12C4247F8BCE6E563A440F277037D812DEB33A0F4A13945D898C296"),  // Gx
    hexValue("4FE342E2FE1A7F9B8EE7EB4A7C0F9E162BCE33576B315ECECBB6406837BF51F5"),  // Gy
    hexValue("FFFFFFFF00000000FFFFFFFFFFFFFFFFBCE6FAADA7179E84F3B9CAC2FC632551"),  // n
};

constexpr NamedCurve makeCurve(int number, int row, const char* name, const Value64 (&v)[6]) {
    NamedCurve c{};
    c.curveNumber = number;
    c.row = row;
    for (int i = 0; name[i] && i < 31; ++i) c.name[i] = name[i];
    unsigned char* bufs[6] = {c.a, c.b, c.p, c.gx, c.gy, c.n};
    int* lens[6] = {&c.aLen, &c.bLen, &c.pLen, &c.gxLen, &c.gyLen, &c.nLen};
    for (int k = 0; k < 6; ++k) {
        for (int i = 0; i < 64; ++i) bufs[k][i] = v[k].bytes[i];
        *lens[k] = v[k].len;
    }
    return c;
}

constexpr NamedCurve kNamedCurves[] = {makeCurve(0, kRowPrime256v1, "prime256v1", kP256)};

const NamedCurve* curveOfRow(int row) {
    for (const auto& c : kNamedCurves)
        if (c.row == row) return &c;
    return nullptr;
}

// ---------------------------------------------------------------------------
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

namespace zpki::x509 {

PKI_ERROR decodePublicKey(const der::Element& e, X509_PUBKEY*& out) {
    const PKI_ERROR bad = x509Err(F_SEQ_TO_X509_PUBKEY, ERR_ASN1_DECODING);
    const PKI_ERROR badKey = x509Err(F_SEQ_TO_X509_PUBKEY, ERR_R_BAD_KEY_VALUE);
    const PKI_ERROR noMemory = x509Err(F_SEQ_TO_X509_PUBKEY, ERR_R_ALLOC_3C);
    SpkiParts parts;
    if (!splitSpki(e, parts)) return bad;
    Owned<X509_PUBKEY, free_X509_PUBKEY> made(new_X509_PUBKEY());
    if (!made || !(made->key = new_ASYMMETRIC_KEY())) return noMemory;
    made->algorithm = static_cast<OBJECT_IDENTIFIER*>(ber::decodeElement(parts.oid, ASN1_TAG_OBJECT_IDENTIFIER));
    made->subjectPublicKey = bitStringOf(parts.bits);
    if (!made->algorithm || !made->subjectPublicKey) return bad;
    ASYMMETRIC_KEY* key = made->key;
    switch (index_from_OBJECT_IDENTIFIER(made->algorithm)) {
        case kRowEcPublicKey: {
            // Named curves only, and only those of the table.
            if (!parts.hasParams || parts.params.identifier != ASN1_TAG_OBJECT_IDENTIFIER) return bad;
            ECC_KEY* ec = VSC_New_ECC_Key();
            if (!ec) return noMemory;
            installKey(key, ASYMMETRIC_KEY_EC, ec);
            if (set_ECURVE_from_list(&ec->curve, rowOf(parts.params)) != 0) return bad;
            if (BITSTRING_to_ECC_KEY(made->subjectPublicKey, &ec) != 0 || VSC_Check_ECC_Key(ec) != VSC_OK)
                return badKey;
            break;
        }
        case kRowKcdsa: {
            if (!parts.hasParams || parts.params.identifier != 0x30) return bad;
            KCDSA_UNIT* k = VSC_New_KCDSA();
            if (!k) return noMemory;
            installKey(key, ASYMMETRIC_KEY_KCDSA, k);
            if (BITSTRING_to_KCDSA_KEY(made->subjectPublicKey, &k) != 0) return badKey;
            if (!readKcdsaParams(parts.params, k)) return bad;
            break;
        }
        case kRowRsa: {
            RSA_UNIT* rsa = nullptr;
            if (BITSTRING_to_RSA_KEY(made->subjectPublicKey, &rsa) != 0) return badKey;
            installKey(key, ASYMMETRIC_KEY_RSA, rsa);
            break;
        }
        default:
            return bad;
    }
    out = made.release();
    return 0;
}

int writePublicKey(const X509_PUBKEY* pk, asn1::Writer& w) {
    ASN1_UNIT* made = nullptr;
    if (const PKI_ERROR rc = X509_PUBKEY_to_Seq(pk, &made)) return static_cast<int>(rc);
    Owned<ASN1_UNIT, free_ASN1_UNIT> node(made);
    return asn1::writeNode(node.get(), w) ? 0 : ERR_ASN1_ENCODING;
}

}  // namespace zpki::x509

// ===========================================================================
// Algorithm identifiers

template <>
struct zpki::asn1::Describe<X509_ALGO_IDENTIFIER> {
    using Shape = Sequence<Field<&X509_ALGO_IDENTIFIER::algorithm, Oid>,
                           Field<&X509_ALGO_IDENTIFIER::parameters, Optional<zpki::x509::ValueString>>>;
};
ZPKI_STRUCT_LIFECYCLE(X509_ALGO_IDENTIFIER)

template <>
struct zpki::asn1::Describe<X509_SIGN> {
    using Shape =
        Sequence<Field<&X509_SIGN::digestAlgorithm, Sub<X509_ALGO_IDENTIFIER>>, Field<&X509_SIGN::digest, OctetString>>;
};
ZPKI_STRUCT_LIFECYCLE(X509_SIGN)

extern "C" {

ZUNPKI_API int set_X509_ALGO_IDENTIFIER_value(X509_ALGO_IDENTIFIER* alg, const OBJECT_IDENTIFIER* oid,
                                              const ASN1_STRING* params) {
    if (!alg || !oid) return 1;
    String o(dup_ASN1_STRING(oid));
    String p(params ? dup_ASN1_STRING(params) : new_ASN1_STRING());
    if (!o || !p) return 1;
    if (!params) p->type = ASN1_TAG_NULL;
    free_ASN1_STRING(alg->algorithm);
    free_ASN1_STRING(alg->parameters);
    alg->algorithm = o.release();
    alg->parameters = p.release();
    return 0;
}

ZUNPKI_API PKI_ERROR X509_ALGO_IDENTIFIER_to_Seq(const X509_ALGO_IDENTIFIER* alg, ASN1_UNIT** node) {
    if (!alg || !node) return 1;
    return Family<X509_ALGO_IDENTIFIER>::toSeq(alg, node, L_X509 | F_X509_ALGO_IDENTIFIER_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_X509_ALGO_IDENTIFIER(const ASN1_UNIT* node, X509_ALGO_IDENTIFIER** alg) {
    if (!node || !alg) return 1;
    const int children = getSequenceChildNum(node);
    if (children < 1 || children > 2) return x509Err(F_SEQ_TO_X509_ALGO_IDENTIFIER, ERR_R_INVALID_ELEMENT);
    return Family<X509_ALGO_IDENTIFIER>::fromSeq(node, alg, L_X509 | F_SEQ_TO_X509_ALGO_IDENTIFIER);
}

ZUNPKI_API X509_ALGO_IDENTIFIERS* new_X509_ALGO_IDENTIFIERS(void) { return new_STACK(); }

ZUNPKI_API void free_X509_ALGO_IDENTIFIERS(X509_ALGO_IDENTIFIERS* list) {
    zpki::x509::freeList<X509_ALGO_IDENTIFIER, free_X509_ALGO_IDENTIFIER>(list);
}

ZUNPKI_API X509_ALGO_IDENTIFIERS* dup_X509_ALGO_IDENTIFIERS(const X509_ALGO_IDENTIFIERS* list) {
    return zpki::x509::dupList<X509_ALGO_IDENTIFIER, dup_X509_ALGO_IDENTIFIER, free_X509_ALGO_IDENTIFIER>(list);
}

// An empty list is an empty SET; an element's own code passes through.
ZUNPKI_API PKI_ERROR X509_ALGO_IDENTIFIERS_to_Seq(const X509_ALGO_IDENTIFIERS* list, ASN1_UNIT** node) {
    if (!list || !node) return 1;
    return zpki::x509::encodeInto(node, L_X509 | F_X509_ALGO_IDENTIFIERS_TO_SEQ, 0x31, [list](ASN1_UNIT* set) -> int {
        for (int i = 0; i < zpki::x509::countOf(list); ++i) {
            auto* item = zpki::x509::itemAt<const X509_ALGO_IDENTIFIER>(list, i);
            ASN1_UNIT* child = nullptr;
            if (!item) return ERR_R_INVALID_ELEMENT;
            if (PKI_ERROR rc = X509_ALGO_IDENTIFIER_to_Seq(item, &child)) return rc;
            if (!appendNode(set, child)) return ERR_ASN1_ENCODING;
        }
        return 0;
    });
}

// The elements are appended to *list (made when null), which changes only on
// success; an element's own code passes through.
ZUNPKI_API PKI_ERROR Seq_to_X509_ALGO_IDENTIFIERS(const ASN1_UNIT* node, X509_ALGO_IDENTIFIERS** list) {
    if (!node || !list) return x509Err(F_SEQ_TO_X509_ALGO_IDENTIFIERS, ERR_R_NULL_ARGUMENT);
    const PKI_ERROR bad = x509Err(F_SEQ_TO_X509_ALGO_IDENTIFIERS, ERR_ASN1_DECODING);
    const PKI_ERROR noMemory = x509Err(F_SEQ_TO_X509_ALGO_IDENTIFIERS, ERR_R_ALLOC_3C);
    Decoder d(der::Cursor{});
    if (!zpki::x509::contentsDecoder(node, d)) return bad;
    Owned<STACK, free_X509_ALGO_IDENTIFIERS> made(new_X509_ALGO_IDENTIFIERS());
    if (!made) return noMemory;
    while (d.more()) {
        der::Element e;
        if (!d.next(e) || e.identifier != 0x30) return bad;
        Node child(ber::nodeFromElement(e));
        X509_ALGO_IDENTIFIER* item = nullptr;
        if (!child) return noMemory;
        if (PKI_ERROR rc = Seq_to_X509_ALGO_IDENTIFIER(child.get(), &item)) return rc;
        if (push_STACK_value(made.get(), item) == 0) {
            free_X509_ALGO_IDENTIFIER(item);
            return noMemory;
        }
    }
    if (!*list)
        *list = made.release();
    else if (zpki::x509::appendAll(*list, made.get()))
        (void)made.release();  // items moved, shell freed
    else
        return noMemory;
    return 0;
}

// ===========================================================================
// DigestInfo

ZUNPKI_API PKI_ERROR X509_SIGN_to_Seq(const X509_SIGN* sign, ASN1_UNIT** node) {
    if (!sign || !node) return PKI_ERR(L_X509V3, F_X509_SIGN_TO_SEQ, ERR_R_NULL_ARGUMENT);
    if (!sign->digestAlgorithm || !sign->digest) return PKI_ERR(L_X509V3, F_X509_SIGN_TO_SEQ, ERR_R_INVALID_ELEMENT);
    return Family<X509_SIGN>::toSeq(sign, node, L_X509V3 | F_X509_SIGN_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_X509_SIGN(const ASN1_UNIT* node, X509_SIGN** sign) {
    if (!node || !sign) return PKI_ERR(L_X509V3, F_SEQ_TO_X509_SIGN, ERR_R_NULL_ARGUMENT);
    const int children = getSequenceChildNum(node);
    if (children < 1) return PKI_ERR(L_X509V3, F_SEQ_TO_X509_SIGN, ERR_R_INVALID_ELEMENT);
    if (children == 1 && getChildType(node, 0) == 0x30) {
        // A wrapper holding the DigestInfo as its only child.
        der::Element inner;
        if (!ber::childElement(node, 0, inner)) return PKI_ERR(L_X509V3, F_SEQ_TO_X509_SIGN, ERR_ASN1_DECODING);
        Node child(ber::nodeFromElement(inner));
        if (!child) return PKI_ERR(L_X509V3, F_SEQ_TO_X509_SIGN, ERR_R_ALLOC_3C);
        return Family<X509_SIGN>::fromSeq(child.get(), sign, L_X509V3 | F_SEQ_TO_X509_SIGN);
    }
    return Family<X509_SIGN>::fromSeq(node, sign, L_X509V3 | F_SEQ_TO_X509_SIGN);
}

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

// ===========================================================================
// Key BIT STRING forms

ZUNPKI_API PKI_ERROR BITSTRING_to_RSA_KEY(const BIT_STRING* bits, RSA_UNIT** rsa) {
    if (!bits || !rsa) return x509Err(F_BITSTRING_to_RSA_KEY, ERR_R_NULL_ARGUMENT);
    const PKI_ERROR bad = x509Err(F_BITSTRING_to_RSA_KEY, ERR_ASN1_DECODING);
    RSA_UNIT* target = *rsa ? *rsa : VSC_New_RSA();
    if (!target) return x509Err(F_BITSTRING_to_RSA_KEY, ERR_R_ALLOC_3C);
    if (*rsa) VSC_Clean_RSA(target);
    auto fail = [&](PKI_ERROR rc) {
        if (*rsa)
            VSC_Clean_RSA(target);
        else
            VSC_Free_RSA(target);
        return rc;
    };
    der::Element seq;
    if (!bitStringElement(bits, seq) || seq.identifier != 0x30) return fail(bad);
    // {n, e}, {n, e, d} or all eight; nine would be an RSAPrivateKey with its
    // version, which this form is not.
    der::Element e[8];
    int count = 0;
    Decoder d(der::Cursor(seq.contents, seq.contentsSize));
    while (d.more()) {
        if (count == 8 || !d.next(e[count])) return fail(bad);
        ++count;
    }
    if (count == 0) return fail(x509Err(F_BITSTRING_to_RSA_KEY, ERR_R_INVALID_ELEMENT));
    if (count != 2 && count != 3 && count != 8) return fail(bad);
    BIGINT** slots[8] = {&target->n, &target->e,  &target->d,  &target->p,
                         &target->q, &target->dP, &target->dQ, &target->qInv};
    for (int i = 0; i < count; ++i)
        if (!(*slots[i] = integerOf(e[i]))) return fail(bad);
    target->flag = count == 2 ? VSC_RSA_FLAG_PUBLIC : count == 3 ? VSC_RSA_FLAG_PRIVATE : VSC_RSA_FLAG_FULL;
    target->is_private = count == 2 ? 0 : 1;
    *rsa = target;
    return 0;
}

ZUNPKI_API PKI_ERROR RSA_KEY_to_BITSTRING(const RSA_UNIT* rsa, BIT_STRING** bits) {
    if (!rsa || !bits) return x509Err(F_RSA_KEY_to_BITSTRING, ERR_R_NULL_ARGUMENT);
    bool ok;
    if (rsa->flag == VSC_RSA_FLAG_FULL)
        ok = integersToBitString({rsa->n, rsa->e, rsa->d, rsa->p, rsa->q, rsa->dP, rsa->dQ, rsa->qInv}, bits);
    else if (rsa->flag & 4)
        ok = integersToBitString({rsa->n, rsa->e, rsa->d}, bits);
    else if (rsa->flag & 3)
        ok = integersToBitString({rsa->n, rsa->e}, bits);
    else
        return x509Err(F_RSA_KEY_to_BITSTRING, ERR_R_INVALID_ELEMENT);
    return ok ? 0 : x509Err(F_RSA_KEY_to_BITSTRING, ERR_ASN1_ENCODING);
}

ZUNPKI_API PKI_ERROR BITSTRING_to_KCDSA_KEY(const BIT_STRING* bits, KCDSA_UNIT** kcdsa) {
    if (!bits || !kcdsa) return 1;
    der::Element e;
    Big y;
    if (!bitStringElement(bits, e) || !(y = Big(integerOf(e))))
        return x509Err(F_BITSTRING_to_KCDSA_KEY, ERR_ASN1_DECODING);
    KCDSA_UNIT* target = *kcdsa ? *kcdsa : VSC_New_KCDSA();
    if (!target) return x509Err(F_BITSTRING_to_KCDSA_KEY, ERR_ASN1_DECODING);
    putBig(target->y, y.release());
    target->is_private = 0;
    *kcdsa = target;
    return 0;
}

ZUNPKI_API PKI_ERROR KCDSA_KEY_to_BITSTRING(const KCDSA_UNIT* kcdsa, BIT_STRING** bits) {
    if (!kcdsa || !bits) return 1;
    Node holder(new_ASN1_UNIT());
    if (!holder) return 1;
    der::Element e;
    if (!kcdsa->y || !appendInteger(holder.get(), kcdsa->y) || !ber::childElement(holder.get(), 0, e) ||
        !bytesToBitString(e.start, e.totalSize, bits))
        return x509Err(F_KCDSA_KEY_to_BITSTRING, ERR_ASN1_ENCODING);
    return 0;
}

ZUNPKI_API PKI_ERROR BITSTRING_to_ECC_KEY(const BIT_STRING* bits, ECC_KEY** key) {
    if (!bits || !key) return x509Err(F_BITSTRING_TO_ECC_KEY, ERR_R_NULL_ARGUMENT);
    const PKI_ERROR bad = x509Err(F_BITSTRING_TO_ECC_KEY, ERR_R_INVALID_ELEMENT);
    if (bits->length <= 0 || !bits->data || bits->extra != 0) return bad;
    const bool infinity = bits->length == 1 && bits->data[0] == 0x00;
    // Only the uncompressed form of the curve's field length (P-256 when
    // the key has no curve yet).
    const ECURVE* curve = *key ? (*key)->curve : nullptr;
    const int field = curve && curve->field_length > 0 ? curve->field_length : 32;
    if (!infinity && (bits->data[0] != 0x04 || bits->length != 1 + 2 * field)) return bad;
    Ec made(*key ? nullptr : VSC_New_ECC_Key());
    ECC_KEY* target = *key ? *key : made.get();
    if (!target) return x509Err(F_BITSTRING_TO_ECC_KEY, ERR_R_ALLOC_3C);
    Point fresh(target->point ? nullptr : VSC_New_ECPOINT());
    ECPOINT* pt = target->point ? target->point : fresh.get();
    if (!pt) return x509Err(F_BITSTRING_TO_ECC_KEY, ERR_R_ALLOC_3C);
    if (infinity) {
        if (VSC_Zero_Value_ECPOINT(pt) != VSC_OK) return x509Err(F_BITSTRING_TO_ECC_KEY, ERR_R_ALLOC_3C);
    } else if (fresh && fresh->x && fresh->y) {  // a point of our own: its values filled in place
        if (!VSC_Binary_To_BIGINT(pt->x, bits->data + 1, field) ||
            !VSC_Binary_To_BIGINT(pt->y, bits->data + 1 + field, field))
            return x509Err(F_BITSTRING_TO_ECC_KEY, ERR_R_ALLOC_3C);
        pt->infinity = 0;
    } else {
        Big x(VSC_Binary_To_BIGINT(nullptr, bits->data + 1, field));
        Big y(VSC_Binary_To_BIGINT(nullptr, bits->data + 1 + field, field));
        if (!x || !y) return x509Err(F_BITSTRING_TO_ECC_KEY, ERR_R_ALLOC_3C);
        putBig(pt->x, x.release());
        putBig(pt->y, y.release());
        pt->infinity = 0;
    }
    if (fresh) target->point = fresh.release();
    target->is_private = 0;
    *key = target;
    made.release();
    return 0;
}

ZUNPKI_API PKI_ERROR ECC_KEY_to_BITSTRING(const ECC_KEY* key, BIT_STRING** bits) {
    if (!key || !bits) return x509Err(F_ECC_KEY_TO_BITSTRING, ERR_R_NULL_ARGUMENT);
    const ECPOINT* pt = key->point;
    if (!pt || !key->curve || key->curve->field_length <= 0 || key->curve->field_length > 66)
        return x509Err(F_ECC_KEY_TO_BITSTRING, ERR_R_INVALID_ELEMENT);
    if (pt->infinity) {
        const uint8_t zero = 0;
        return bytesToBitString(&zero, 1, bits) ? 0 : x509Err(F_ECC_KEY_TO_BITSTRING, ERR_R_ALLOC_3C);
    }
    const int field = key->curve->field_length;
    std::array<uint8_t, 1 + 2 * 66> out{};
    out[0] = 0x04;
    int at = 1;
    for (const BIGINT* v : {pt->x, pt->y}) {
        const int bytes = (VSC_Get_BIGINT_Bits_Length(v) + 7) / 8;
        if (!v || bytes > field) return x509Err(F_ECC_KEY_TO_BITSTRING, ERR_R_INVALID_ELEMENT);
        // left-padded with zeros to the field length
        if (bytes > 0 && VSC_BIGINT_To_Binary_Unsigned(v, out.data() + at + (field - bytes)) != bytes)
            return x509Err(F_ECC_KEY_TO_BITSTRING, ERR_R_INVALID_ELEMENT);
        at += field;
    }
    return bytesToBitString(out.data(), static_cast<size_t>(at), bits)
               ? 0
               : x509Err(F_ECC_KEY_TO_BITSTRING, ERR_R_ALLOC_3C);
}

// ===========================================================================
// SubjectPublicKeyInfo of a bare key

ZUNPKI_API PKI_ERROR RSA_KEY_to_Seq(const RSA_UNIT* rsa, ASN1_UNIT** node) {
    if (!rsa || !node) return x509Err(F_RSA_KEY_to_Seq, ERR_R_NULL_ARGUMENT);
    String oid(index_to_OBJECT_IDENTIFIER(kRowRsa));
    if (!oid) return x509Err(F_RSA_KEY_to_Seq, ERR_R_ALLOC_3C);
    return zpki::x509::encodeInto(node, L_X509 | F_RSA_KEY_to_Seq, 0x30, [&](ASN1_UNIT* seq) -> int {
        if (int r = appendAlgorithm(seq, oid.get(), appendNull)) return r;
        return appendBits(seq, ASYMMETRIC_KEY_RSA, rsa);
    });
}

ZUNPKI_API PKI_ERROR Seq_to_RSA_KEY(const ASN1_UNIT* node, RSA_UNIT** rsa) {
    if (!node || !rsa) return x509Err(F_Seq_to_RSA_KEY, ERR_R_NULL_ARGUMENT);
    SpkiParts parts;
    der::Element spki;
    if (!elementOf(node, spki) || !splitSpki(spki, parts)) return x509Err(F_Seq_to_RSA_KEY, ERR_ASN1_DECODING);
    if (rowOf(parts.oid) != kRowRsa) return x509Err(F_Seq_to_RSA_KEY, ERR_R_INVALID_ELEMENT);
    String bits(bitStringOf(parts.bits));
    if (!bits) return x509Err(F_Seq_to_RSA_KEY, ERR_ASN1_DECODING);
    return BITSTRING_to_RSA_KEY(bits.get(), rsa);
}

ZUNPKI_API PKI_ERROR KCDSA_KEY_to_Seq(const KCDSA_UNIT* kcdsa, ASN1_UNIT** node) {
    if (!kcdsa || !node) return x509Err(F_KCDSA_KEY_to_Seq, ERR_R_NULL_ARGUMENT);
    String oid(index_to_OBJECT_IDENTIFIER(kRowKcdsa));
    if (!oid) return x509Err(F_KCDSA_KEY_to_Seq, ERR_R_ALLOC_3C);
    return zpki::x509::encodeInto(node, L_X509 | F_KCDSA_KEY_to_Seq, 0x30, [&](ASN1_UNIT* seq) -> int {
        auto params = [&](ASN1_UNIT* alg) { return appendKcdsaParams(alg, kcdsa); };
        if (int r = appendAlgorithm(seq, oid.get(), params)) return r;
        return appendBits(seq, ASYMMETRIC_KEY_KCDSA, kcdsa);
    });
}

ZUNPKI_API PKI_ERROR Seq_to_KCDSA_KEY(const ASN1_UNIT* node, KCDSA_UNIT** kcdsa) {
    if (!node || !kcdsa) return x509Err(F_Seq_to_KCDSA_KEY, ERR_R_NULL_ARGUMENT);
    const PKI_ERROR bad = x509Err(F_Seq_to_KCDSA_KEY, ERR_ASN1_DECODING);
    SpkiParts parts;
    der::Element spki;
    if (!elementOf(node, spki) || !splitSpki(spki, parts)) return bad;
    String bits(bitStringOf(parts.bits));
    KCDSA_UNIT* made = nullptr;
    if (!bits || BITSTRING_to_KCDSA_KEY(bits.get(), &made) != 0) return bad;
    Kcdsa key(made);
    if (rowOf(parts.oid) != kRowKcdsa) return x509Err(F_Seq_to_KCDSA_KEY, ERR_R_INVALID_ELEMENT);
    if (!parts.hasParams || !readKcdsaParams(parts.params, key.get())) return bad;
    if (!*kcdsa) {
        *kcdsa = key.release();
        return 0;
    }
    // Into the caller's object, which changes only now.
    VSC_Clean_KCDSA(*kcdsa);
    if (!dupInto((*kcdsa)->p, key->p) || !dupInto((*kcdsa)->q, key->q) || !dupInto((*kcdsa)->g, key->g) ||
        !dupInto((*kcdsa)->y, key->y) || !copyKcdsaGeneration(key.get(), *kcdsa)) {
        VSC_Clean_KCDSA(*kcdsa);
        return x509Err(F_Seq_to_KCDSA_KEY, ERR_R_ALLOC_3C);
    }
    (*kcdsa)->is_private = 0;
    return 0;
}

// ===========================================================================
// Public-key record

ZUNPKI_API X509_PUBKEY* new_X509_PUBKEY(void) { return PKI_NEW(X509_PUBKEY); }

ZUNPKI_API void clean_X509_PUBKEY(X509_PUBKEY* pk) {
    if (!pk) return;
    free_ASN1_STRING(pk->algorithm);
    free_ASN1_STRING(pk->subjectPublicKey);
    free_ASYMMETRIC_KEY(pk->key);
    *pk = X509_PUBKEY{};
}

ZUNPKI_API void free_X509_PUBKEY(X509_PUBKEY* pk) {
    clean_X509_PUBKEY(pk);
    PKI_FREE(pk);
}

ZUNPKI_API X509_PUBKEY* dup_X509_PUBKEY(const X509_PUBKEY* pk) {
    if (!pk) return nullptr;
    Owned<X509_PUBKEY, free_X509_PUBKEY> copy(new_X509_PUBKEY());
    if (!copy) return nullptr;
    if ((pk->algorithm && !(copy->algorithm = dup_ASN1_STRING(pk->algorithm))) ||
        (pk->subjectPublicKey && !(copy->subjectPublicKey = dup_ASN1_STRING(pk->subjectPublicKey))) ||
        (pk->key && pk->key->kind != ASYMMETRIC_KEY_EMPTY && !(copy->key = dup_ASYMMETRIC_KEY(pk->key))))
        return nullptr;
    return copy.release();
}

ZUNPKI_API int cmp_X509_PUBKEY(const X509_PUBKEY* a, const X509_PUBKEY* b) {
    if (!a || !b) return 1;
    if (cmp_ASN1_STRING(a->algorithm, b->algorithm) != 0) return -1;
    // A record built by the setters has no received BIT STRING: its key's
    // own encoding stands in, so that two different keys never compare equal.
    String ownA, ownB;
    auto bitsOf = [](const X509_PUBKEY* pk, String& own) -> const BIT_STRING* {
        if (pk->subjectPublicKey) return pk->subjectPublicKey;
        BIT_STRING* made = nullptr;
        if (pk->key && publicBits(pk->key->kind, pk->key->key, &made))
            own.reset(made);
        else
            free_BIT_STRING(made);
        return own.get();
    };
    const BIT_STRING* x = bitsOf(a, ownA);
    const BIT_STRING* y = bitsOf(b, ownB);
    if (!x || !y) return x == y ? 0 : -1;
    return cmp_ASN1_STRING(x, y) == 0 && x->extra == y->extra ? 0 : -1;
}

ZUNPKI_API PKI_ERROR Seq_to_X509_PUBKEY(const ASN1_UNIT* node, X509_PUBKEY** pk) {
    if (!node || !pk) return x509Err(F_SEQ_TO_X509_PUBKEY, ERR_R_NULL_ARGUMENT);
    der::Element e;
    X509_PUBKEY* made = nullptr;
    if (!elementOf(node, e)) return x509Err(F_SEQ_TO_X509_PUBKEY, ERR_ASN1_DECODING);
    if (const PKI_ERROR rc = zpki::x509::decodePublicKey(e, made)) return rc;
    Owned<X509_PUBKEY, free_X509_PUBKEY> owned(made);
    zpki::asn1::deliver<clean_X509_PUBKEY>(owned, pk);
    return 0;
}

ZUNPKI_API PKI_ERROR X509_PUBKEY_to_Seq(const X509_PUBKEY* pk, ASN1_UNIT** node) {
    if (!pk || !node) return x509Err(F_X509_PUBKEY_TO_SEQ, ERR_R_NULL_ARGUMENT);
    const PKI_ERROR invalid = x509Err(F_X509_PUBKEY_TO_SEQ, ERR_R_INVALID_ELEMENT);
    if (!pk->algorithm || !pk->key || !pk->key->key) return invalid;
    const int kind = pk->key->kind;
    const void* object = pk->key->key;
    const int row = index_from_OBJECT_IDENTIFIER(pk->algorithm);
    // The parameters come from the key object, which must be of the
    // algorithm's kind.
    const int kindOfRow = row == kRowEcPublicKey ? ASYMMETRIC_KEY_EC
                          : row == kRowKcdsa     ? ASYMMETRIC_KEY_KCDSA
                          : row == kRowRsa       ? ASYMMETRIC_KEY_RSA
                                                 : 0;
    if (kind < ASYMMETRIC_KEY_RSA || kind > ASYMMETRIC_KEY_EC || (kindOfRow && kind != kindOfRow)) return invalid;
    String curveOid;
    if (kind == ASYMMETRIC_KEY_EC && kindOfRow) {
        const ECURVE* curve = static_cast<const ECC_KEY*>(object)->curve;
        OBJECT_IDENTIFIER* oid = nullptr;
        if (!curve || get_ECURVE_OID_from_name(&oid, curve->name) != 0)
            return x509Err(F_X509_PUBKEY_TO_SEQ, ERR_ASN1_ENCODING);
        curveOid.reset(oid);
    }
    return zpki::x509::encodeInto(node, L_X509 | F_X509_PUBKEY_TO_SEQ, 0x30, [&](ASN1_UNIT* seq) -> int {
        auto params = [&](ASN1_UNIT* alg) {
            switch (row) {
                case kRowEcPublicKey:
                    return appendString(alg, ASN1_TAG_OBJECT_IDENTIFIER, curveOid.get());
                case kRowKcdsa:
                    return appendKcdsaParams(alg, static_cast<const KCDSA_UNIT*>(object));
                case kRowRsa:
                    return appendNull(alg);
                default:
                    return true;
            }
        };
        if (int r = appendAlgorithm(seq, pk->algorithm, params)) return r;
        return appendBits(seq, kind, object);
    });
}

ZUNPKI_API int set_X509_PUBKEY_rsa(X509_PUBKEY* pk, const RSA_UNIT* rsa) {
    if (!pk || !rsa || !rsa->n || !rsa->e) return 1;
    Rsa pub(VSC_New_RSA());
    String oid(index_to_OBJECT_IDENTIFIER(kRowRsa));
    Owned<ASYMMETRIC_KEY, free_ASYMMETRIC_KEY> holder(pk->key ? nullptr : new_ASYMMETRIC_KEY());
    if (!pub || !oid || (!pk->key && !holder) || VSC_Set_RSA_Public_Params(pub.get(), rsa->n, rsa->e) != VSC_OK)
        return 1;
    pub->flag = VSC_RSA_FLAG_PUBLIC;
    pub->is_private = 0;
    adoptPublicKey(pk, holder.release(), ASYMMETRIC_KEY_RSA, pub.release(), oid.release());
    return 0;
}

ZUNPKI_API int set_X509_PUBKEY_kcdsa(X509_PUBKEY* pk, const KCDSA_UNIT* kcdsa) {
    if (!pk || !kcdsa || !kcdsa->p || !kcdsa->q || !kcdsa->g || !kcdsa->y) return 1;
    Kcdsa pub(VSC_New_KCDSA());
    String oid(index_to_OBJECT_IDENTIFIER(kRowKcdsa));
    Owned<ASYMMETRIC_KEY, free_ASYMMETRIC_KEY> holder(pk->key ? nullptr : new_ASYMMETRIC_KEY());
    if (!pub || !oid || (!pk->key && !holder) || !dupInto(pub->p, kcdsa->p) || !dupInto(pub->q, kcdsa->q) ||
        !dupInto(pub->g, kcdsa->g) || !dupInto(pub->y, kcdsa->y) || !copyKcdsaGeneration(kcdsa, pub.get()))
        return 1;
    pub->is_private = 0;
    adoptPublicKey(pk, holder.release(), ASYMMETRIC_KEY_KCDSA, pub.release(), oid.release());
    return 0;
}

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

// ===========================================================================
// Named curves

ZUNPKI_API int set_ECURVE_from_list(ECURVE** curve, int row) {
    const NamedCurve* c = curveOfRow(row);
    if (!curve || !c) return 1;
    if (!*curve) {
        // A new curve is filled in place: no values made only to be copied.
        Curve made(VSC_New_ECURVE());
        if (!made || !(made->a = VSC_Binary_To_BIGINT(nullptr, c->a, c->aLen)) ||
            !(made->b = VSC_Binary_To_BIGINT(nullptr, c->b, c->bLen)) ||
            !(made->p = VSC_Binary_To_BIGINT(nullptr, c->p, c->pLen)) ||
            !(made->n = VSC_Binary_To_BIGINT(nullptr, c->n, c->nLen)) || !(made->G = VSC_New_ECPOINT()) ||
            !VSC_Binary_To_BIGINT(made->G->x, c->gx, c->gxLen) || !VSC_Binary_To_BIGINT(made->G->y, c->gy, c->gyLen))
            return 1;
        made->curve_id = c->curveNumber;
        std::memcpy(made->name, c->name, sizeof c->name < sizeof made->name ? sizeof c->name : sizeof made->name);
        made->field_length = c->pLen;
        *curve = made.release();
        return 0;
    }
    Big a(VSC_Binary_To_BIGINT(nullptr, c->a, c->aLen));
    Big b(VSC_Binary_To_BIGINT(nullptr, c->b, c->bLen));
    Big p(VSC_Binary_To_BIGINT(nullptr, c->p, c->pLen));
    Big n(VSC_Binary_To_BIGINT(nullptr, c->n, c->nLen));
    Point g(VSC_New_ECPOINT());
    if (!a || !b || !p || !n || !g || !VSC_Binary_To_BIGINT(g->x, c->gx, c->gxLen) ||
        !VSC_Binary_To_BIGINT(g->y, c->gy, c->gyLen))
        return 1;
    Curve made(*curve ? nullptr : VSC_New_ECURVE());
    ECURVE* target = *curve ? *curve : made.get();
    if (!target ||
        VSC_Set_ECURVE_Params(target, c->curveNumber, c->name, a.get(), b.get(), p.get(), g.get(), n.get()) != VSC_OK)
        return 1;
    if (made) *curve = made.release();
    return 0;
}

ZUNPKI_API int set_ECURVE_from_list_ex(ECURVE** curve, const OBJECT_IDENTIFIER* oid) {
    return oid ? set_ECURVE_from_list(curve, index_from_OBJECT_IDENTIFIER(oid)) : 1;
}

ZUNPKI_API int get_ECURVE_OID_from_name(OBJECT_IDENTIFIER** oid, const char* name) {
    if (!oid || !name) return 1;
    for (const auto& c : kNamedCurves) {
        if (std::strcmp(c.name, name) != 0) continue;
        OBJECT_IDENTIFIER* made = index_to_OBJECT_IDENTIFIER(c.row);
        if (!made) return 1;
        free_ASN1_STRING(*oid);
        *oid = made;
        return 0;
    }
    return 1;
}

}  // extern "C"
