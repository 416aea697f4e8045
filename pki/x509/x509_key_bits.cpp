// Key BIT STRINGs: the subjectPublicKey forms of RSA, KCDSA and EC keys, and
// the element helpers the key files share.
#include <zunPKI/x509/x509_key.h>

#include <array>
#include <climits>
#include <cstring>

#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/asn1_struct.hpp"
#include "asn1/codec_util.hpp"
#include "x509/x509_key.hpp"
#include "x509/x509_key_internal.hpp"
#include "x509/x509_list.hpp"

using namespace zpki::x509::keys;

namespace zpki::x509::keys {

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

// What write puts in a Writer, as the contents of *bits.
template <class Write>
bool writtenToBitString(BIT_STRING** bits, Write write) {
    try {
        ber::Bytes der;
        Writer w(der);
        return write(w) && bytesToBitString(der.data(), der.size(), bits);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// A SEQUENCE of INTEGERs as a BIT STRING; false when a value is missing.
bool integersToBitString(std::initializer_list<const BIGINT*> values, BIT_STRING** bits) {
    return writtenToBitString(bits, [&](Writer& w) {
        const size_t seq = w.open(0x30);
        for (const BIGINT* v : values)
            if (!v || !Integer::write(const_cast<BIGINT*>(v), w)) return false;
        return w.close(seq);
    });
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

}  // namespace zpki::x509::keys

extern "C" {

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
    if (!kcdsa->y || !writtenToBitString(bits, [&](Writer& w) { return Integer::write(kcdsa->y, w); }))
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

}  // extern "C"
