// SubjectPublicKeyInfo: the public-key record, its codec and the SPKI of a
// bare RSA or KCDSA key, with the KCDSA domain parameters.
#include <zunPKI/x509/x509_key.h>

#include <climits>
#include <cstring>

#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/asn1_struct.hpp"
#include "asn1/codec_util.hpp"
#include "x509/x509_key.hpp"
#include "x509/x509_key_internal.hpp"
#include "x509/x509_list.hpp"

using namespace zpki::x509::keys;

namespace {

// SubjectPublicKeyInfo as it is on the wire. X509_PUBKEY keeps the
// algorithm, the BIT STRING as received and the key object, which holds the
// parameters: this record views the parameters where they lie when decoding
// and where the key object's were written when encoding.
struct SpkiWire {
    OBJECT_IDENTIFIER* algorithm;
    ElementView parameters;
    BIT_STRING* subjectPublicKey;
};

}  // namespace

template <>
struct zpki::asn1::Describe<SpkiWire> {
    using Shape = Sequence<Nested<Sequence<Field<&SpkiWire::algorithm, Oid>,  //
                                           Field<&SpkiWire::parameters, Optional<RawElement>>>>,
                           Field<&SpkiWire::subjectPublicKey, BitString>>;
};

namespace {

using Wire = Family<SpkiWire>;
using WireOps = detail::RecordOps<SpkiWire>;

// A decoded SubjectPublicKeyInfo, released with its scope.
struct ReadSpki {
    SpkiWire wire{};
    ~ReadSpki() { WireOps::release(wire); }
    bool read(const der::Element& e) { return e.identifier == 0x30 && Wire::decodeElement(e, wire); }
    bool parameters(der::Element& e) const { return wire.parameters.element(e); }
    int row() const { return index_from_OBJECT_IDENTIFIER(wire.algorithm); }
};

// The row of an OBJECT IDENTIFIER element; 0 when it names none.
int rowOf(const der::Element& oid) {
    std::string_view known;
    if (oid.identifier == ASN1_TAG_OBJECT_IDENTIFIER && zpki::ber::knownOidText(oid.contents, oid.contentsSize, known))
        return index_from_oid_string(known.data(), static_cast<int>(known.size()));
    String text(static_cast<ASN1_STRING*>(ber::decodeElement(oid, ASN1_TAG_OBJECT_IDENTIFIER)));
    return text ? index_from_OBJECT_IDENTIFIER(text.get()) : 0;
}

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

// The parameters SEQUENCE. The seed and count are written only with j
// before them, so that the parameters read back.
bool writeKcdsaParams(Writer& w, const KCDSA_UNIT* k) {
    if (!k->p || !k->q || !k->g) return false;
    const size_t seq = w.open(0x30);
    for (const BIGINT* v : {k->p, k->q, k->g})
        if (!Integer::write(const_cast<BIGINT*>(v), w)) return false;
    if (k->j) {
        if (!Integer::write(k->j, w)) return false;
        if (k->seed && k->seed_len >= 1) {
            const size_t gen = w.open(0x30);
            if (!w.element(ASN1_TAG_OCTET_STRING, k->seed, static_cast<size_t>(k->seed_len))) return false;
            const auto count = static_cast<unsigned>(k->count);  // an unsigned value, as the count is read
            const uint8_t be[5] = {0, static_cast<uint8_t>(count >> 24), static_cast<uint8_t>(count >> 16),
                                   static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)};
            size_t at = 0;
            while (at < 4 && be[at] == 0 && !(be[at + 1] & 0x80)) ++at;
            if (!w.element(ASN1_TAG_INTEGER, be + at, 5 - at) || !w.close(gen)) return false;
        }
    }
    return w.close(seq);
}

// A SubjectPublicKeyInfo of the key object under the algorithm of row: the
// parameters from the key object (a named curve, KCDSA's domain, NULL for
// RSA, none for other rows), the public values as the BIT STRING. 0 or a
// reason.
int writeSpki(Writer& w, const OBJECT_IDENTIFIER* algorithm, int row, int kind, const void* object,
              const OBJECT_IDENTIFIER* curve) {
    ber::Bytes params;
    Writer pw(params);
    bool ok = true;
    switch (row) {
        case kRowEcPublicKey:
            ok = curve && Oid::write(const_cast<OBJECT_IDENTIFIER*>(curve), pw);
            break;
        case kRowKcdsa:
            ok = writeKcdsaParams(pw, static_cast<const KCDSA_UNIT*>(object));
            break;
        case kRowRsa:
            ok = pw.element(ASN1_TAG_NULL, nullptr, 0);
            break;
        default:
            break;
    }
    BIT_STRING* made = nullptr;
    ok = ok && publicBits(kind, object, &made);
    String bits(made);
    if (!ok || !algorithm) return ERR_ASN1_ENCODING;
    const SpkiWire wire{const_cast<OBJECT_IDENTIFIER*>(algorithm), {params.data(), params.size()}, bits.get()};
    return WireOps::write(wire, w) ? ERR_ASN1_ENCODING : 0;
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

}  // namespace

namespace zpki::x509 {

PKI_ERROR decodePublicKey(const der::Element& e, X509_PUBKEY*& out) {
    const PKI_ERROR bad = x509Err(F_SEQ_TO_X509_PUBKEY, ERR_ASN1_DECODING);
    const PKI_ERROR badKey = x509Err(F_SEQ_TO_X509_PUBKEY, ERR_R_BAD_KEY_VALUE);
    const PKI_ERROR noMemory = x509Err(F_SEQ_TO_X509_PUBKEY, ERR_R_ALLOC_3C);
    ReadSpki spki;
    if (!spki.read(e)) return bad;
    der::Element params;
    const bool hasParams = spki.parameters(params);
    Owned<X509_PUBKEY, free_X509_PUBKEY> made(new_X509_PUBKEY());
    if (!made || !(made->key = new_ASYMMETRIC_KEY())) return noMemory;
    std::swap(made->algorithm, spki.wire.algorithm);
    std::swap(made->subjectPublicKey, spki.wire.subjectPublicKey);
    ASYMMETRIC_KEY* key = made->key;
    switch (index_from_OBJECT_IDENTIFIER(made->algorithm)) {
        case kRowEcPublicKey: {
            // Named curves only, and only those of the table.
            if (!hasParams || params.identifier != ASN1_TAG_OBJECT_IDENTIFIER) return bad;
            ECC_KEY* ec = VSC_New_ECC_Key();
            if (!ec) return noMemory;
            installKey(key, ASYMMETRIC_KEY_EC, ec);
            if (set_ECURVE_from_list(&ec->curve, rowOf(params)) != 0) return bad;
            if (BITSTRING_to_ECC_KEY(made->subjectPublicKey, &ec) != 0 || VSC_Check_ECC_Key(ec) != VSC_OK)
                return badKey;
            break;
        }
        case kRowKcdsa: {
            if (!hasParams || params.identifier != 0x30) return bad;
            KCDSA_UNIT* k = VSC_New_KCDSA();
            if (!k) return noMemory;
            installKey(key, ASYMMETRIC_KEY_KCDSA, k);
            if (BITSTRING_to_KCDSA_KEY(made->subjectPublicKey, &k) != 0) return badKey;
            if (!readKcdsaParams(params, k)) return bad;
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
    return writeSpki(w, pk->algorithm, row, kind, object, curveOid.get());
}

}  // namespace zpki::x509

extern "C" {

// ===========================================================================
// SubjectPublicKeyInfo of a bare key

ZUNPKI_API PKI_ERROR RSA_KEY_to_Seq(const RSA_UNIT* rsa, ASN1_UNIT** node) {
    if (!rsa || !node) return x509Err(F_RSA_KEY_to_Seq, ERR_R_NULL_ARGUMENT);
    String oid(index_to_OBJECT_IDENTIFIER(kRowRsa));
    if (!oid) return x509Err(F_RSA_KEY_to_Seq, ERR_R_ALLOC_3C);
    return deliverWritten(node, L_X509 | F_RSA_KEY_to_Seq, false, [&](Writer& w) {
        return writeSpki(w, oid.get(), kRowRsa, ASYMMETRIC_KEY_RSA, rsa, nullptr);
    });
}

ZUNPKI_API PKI_ERROR Seq_to_RSA_KEY(const ASN1_UNIT* node, RSA_UNIT** rsa) {
    if (!node || !rsa) return x509Err(F_Seq_to_RSA_KEY, ERR_R_NULL_ARGUMENT);
    ReadSpki spki;
    der::Element e;
    if (!elementOf(node, e) || !spki.read(e)) return x509Err(F_Seq_to_RSA_KEY, ERR_ASN1_DECODING);
    if (spki.row() != kRowRsa) return x509Err(F_Seq_to_RSA_KEY, ERR_R_INVALID_ELEMENT);
    return BITSTRING_to_RSA_KEY(spki.wire.subjectPublicKey, rsa);
}

ZUNPKI_API PKI_ERROR KCDSA_KEY_to_Seq(const KCDSA_UNIT* kcdsa, ASN1_UNIT** node) {
    if (!kcdsa || !node) return x509Err(F_KCDSA_KEY_to_Seq, ERR_R_NULL_ARGUMENT);
    String oid(index_to_OBJECT_IDENTIFIER(kRowKcdsa));
    if (!oid) return x509Err(F_KCDSA_KEY_to_Seq, ERR_R_ALLOC_3C);
    return deliverWritten(node, L_X509 | F_KCDSA_KEY_to_Seq, false, [&](Writer& w) {
        return writeSpki(w, oid.get(), kRowKcdsa, ASYMMETRIC_KEY_KCDSA, kcdsa, nullptr);
    });
}

ZUNPKI_API PKI_ERROR Seq_to_KCDSA_KEY(const ASN1_UNIT* node, KCDSA_UNIT** kcdsa) {
    if (!node || !kcdsa) return x509Err(F_Seq_to_KCDSA_KEY, ERR_R_NULL_ARGUMENT);
    const PKI_ERROR bad = x509Err(F_Seq_to_KCDSA_KEY, ERR_ASN1_DECODING);
    ReadSpki spki;
    der::Element e, params;
    if (!elementOf(node, e) || !spki.read(e)) return bad;
    KCDSA_UNIT* made = nullptr;
    if (BITSTRING_to_KCDSA_KEY(spki.wire.subjectPublicKey, &made) != 0) return bad;
    Kcdsa key(made);
    if (spki.row() != kRowKcdsa) return x509Err(F_Seq_to_KCDSA_KEY, ERR_R_INVALID_ELEMENT);
    if (!spki.parameters(params) || !readKcdsaParams(params, key.get())) return bad;
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
    return deliverWritten(node, L_X509 | F_X509_PUBKEY_TO_SEQ, false,
                          [pk](Writer& w) { return zpki::x509::writePublicKey(pk, w); });
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

}  // extern "C"
