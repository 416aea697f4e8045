#include <zunPKI/x509/x509_sig.h>

#include <zunPKI/asn1/asn1_io.h>
#include "asn1/asn1_struct.hpp"

#include <cstring>

namespace ber = zpki::ber;
namespace der = zpki::der;
using zpki::Owned;
using zpki::asn1::Decoder;

namespace {

using Node = Owned<ASN1_UNIT, free_ASN1_UNIT>;
using String = Owned<ASN1_STRING, free_ASN1_STRING>;
using Big = Owned<BIGINT, VSC_Free_BIGINT>;

constexpr PKI_ERROR kcdsaErr(unsigned reason) { return PKI_ERR(L_GPKI, F_KCDSA_SIGNATURE_VALUE, reason); }

bool partLengthOk(const unsigned char* p, int len) { return p && len > 0 && len <= SIGNATURE_VALUE_MAX_PART; }

// SEQUENCE { first, s INTEGER } into a new buffer; first is r as a BIT
// STRING (KCDSA) or as an INTEGER (ECDSA). The length, or a reason.
struct Encoded {
    int length = 0;
    unsigned reason = 0;
};

Encoded encodePair(bool rAsBits, const unsigned char* r, int r_len, const unsigned char* s, int s_len,
                   unsigned char** der, unsigned appendFailed) {
    Node seq(new_ASN1_UNIT());
    Big sv(VSC_Binary_To_BIGINT(nullptr, s, s_len));
    Big rv(rAsBits ? nullptr : VSC_Binary_To_BIGINT(nullptr, r, r_len));
    String bits(rAsBits ? binaryToBIT_STRING(r, r_len) : nullptr);
    if (!seq || !sv || (rAsBits ? !bits : !rv)) return {0, ERR_R_ALLOC_3C};
    const bool ok = (rAsBits ? addToDERSequence(seq.get(), ASN1_TAG_BIT_STRING, bits.get(), bits->length)
                             : addToDERSequence(seq.get(), ASN1_TAG_INTEGER, rv.get(),
                                                ber::integerContentsLength(rv.get()))) == 0 &&
                    addToDERSequence(seq.get(), ASN1_TAG_INTEGER, sv.get(), ber::integerContentsLength(sv.get())) == 0;
    if (!ok) return {0, appendFailed};
    const int n = ASN1_to_binary(seq.get(), der);
    if (n <= 0) return {0, appendFailed};
    return {n, 0};
}

enum class Read { Ok, Malformed, TooLarge };

// Signature values are read in DER only: a value with a second encoding
// would count as a second signature wherever signatures are compared
// (duplicate detection, a relay's or a CA's records). One element with a
// definite length in the fewest octets.
bool derElement(der::Cursor& c, der::Element& out) {
    if (!der::getElement(c, out) || out.indefinite) return false;
    const uint8_t* len = out.lengthOctets();
    if (out.lengthOctetsSize() == 1) return len[0] < 0x80;
    // Long form only from 128 on, without leading zero octets.
    return out.contentsSize >= 0x80 && len[1] != 0;
}

// The two elements of the SEQUENCE that bytes hold, nothing before or after.
bool pairOf(const unsigned char* bytes, int len, der::Element& a, der::Element& b) {
    if (!bytes || len <= 0) return false;
    der::Cursor c(bytes, static_cast<size_t>(len));
    der::Element seq;
    if (!derElement(c, seq) || !c.empty() || seq.identifier != 0x30) return false;
    der::Cursor inner(seq.contents, seq.contentsSize);
    return derElement(inner, a) && derElement(inner, b) && inner.empty();
}

// Bytes of an unsigned value, without the sign octet of its INTEGER.
size_t magnitudeLength(const der::Element& e) {
    return e.contentsSize > 1 && e.contents[0] == 0 ? e.contentsSize - 1 : e.contentsSize;
}

// A non-negative INTEGER in its fewest octets, no longer than the encoders
// take; to be written as contents of (bits + 8) / 8 bytes.
Read integerValue(const der::Element& e, int room, Big& out, int& need) {
    if (e.identifier != ASN1_TAG_INTEGER || e.contentsSize == 0 || (e.contents[0] & 0x80)) return Read::Malformed;
    if (e.contentsSize > 1 && e.contents[0] == 0 && !(e.contents[1] & 0x80)) return Read::Malformed;
    if (magnitudeLength(e) > SIGNATURE_VALUE_MAX_PART) return Read::TooLarge;
    out.reset(ber::integerFromContents(e.contents, e.contentsSize));
    if (!out) return Read::Malformed;
    need = ber::integerContentsLength(out.get());
    return need > 0 && need <= room ? Read::Ok : Read::TooLarge;
}

// Both values checked against their buffers before either is written.
Read decodePair(bool rAsBits, unsigned char* r, int* r_len, unsigned char* s, int* s_len, const unsigned char* bytes,
                int len) {
    der::Element a, b;
    if (!pairOf(bytes, len, a, b)) return Read::Malformed;
    Big rv, sv;
    int rNeed = 0, sNeed = 0;
    if (rAsBits) {
        // A primitive BIT STRING of whole bytes.
        if (a.identifier != ASN1_TAG_BIT_STRING || a.contentsSize < 2 || a.contents[0] != 0) return Read::Malformed;
        if (a.contentsSize - 1 > SIGNATURE_VALUE_MAX_PART) return Read::TooLarge;
        rNeed = static_cast<int>(a.contentsSize - 1);
    } else if (Read rr = integerValue(a, *r_len, rv, rNeed); rr == Read::Malformed) {
        return rr;
    }
    if (Read sr = integerValue(b, *s_len, sv, sNeed); sr != Read::Ok) return sr;
    if (!rAsBits && !rv) return Read::TooLarge;
    if (rNeed > *r_len) return Read::TooLarge;
    if (rAsBits)
        std::memcpy(r, a.contents + 1, static_cast<size_t>(rNeed));
    else if (VSC_BIGINT_To_Binary(rv.get(), r) != rNeed)
        return Read::Malformed;
    if (VSC_BIGINT_To_Binary(sv.get(), s) != sNeed) return Read::Malformed;
    *r_len = rNeed;
    *s_len = sNeed;
    return Read::Ok;
}

bool buffersOk(const unsigned char* r, const int* r_len, const unsigned char* s, const int* s_len) {
    return r && r_len && s && s_len && *r_len > 0 && *s_len > 0;
}

}  // namespace

extern "C" {

ZUNPKI_API int encode_KCDSASignatureValue(unsigned char** der, const unsigned char* r, int r_len,
                                          const unsigned char* s, int s_len) {
    if (!der || !partLengthOk(r, r_len) || !partLengthOk(s, s_len)) return kcdsaErr(ERR_R_INVALID_ELEMENT);
    const Encoded e = encodePair(true, r, r_len, s, s_len, der, ERR_ASN1_ENCODING);
    return e.reason ? kcdsaErr(e.reason) : e.length;
}

ZUNPKI_API int decode_KCDSASignatureValue(unsigned char* r, int* r_len, unsigned char* s, int* s_len,
                                          const unsigned char* der, int der_len) {
    if (!buffersOk(r, r_len, s, s_len)) return 1;
    return decodePair(true, r, r_len, s, s_len, der, der_len) == Read::Ok ? 0 : 1;
}

ZUNPKI_API int encode_KCDSASignatrueValue(unsigned char** der, const unsigned char* r, int r_len,
                                          const unsigned char* s, int s_len) {
    return encode_KCDSASignatureValue(der, r, r_len, s, s_len);
}

ZUNPKI_API int decode_KCDSASignatrueValue(unsigned char* r, int* r_len, unsigned char* s, int* s_len,
                                          const unsigned char* der, int der_len) {
    return decode_KCDSASignatureValue(r, r_len, s, s_len, der, der_len);
}

ZUNPKI_API PKI_ERROR encode_ECDSASignatureValue(unsigned char** der, int* der_len, const unsigned char* r, int r_len,
                                                const unsigned char* s, int s_len) {
    if (!der || !der_len || !partLengthOk(r, r_len) || !partLengthOk(s, s_len))
        return PKI_ERR(L_X509, F_ENCODE_ECDSA_SIGNATURE_VALUE, ERR_R_NULL_ARGUMENT);
    const Encoded e = encodePair(false, r, r_len, s, s_len, der, ERR_ASN1_DECODING);
    if (e.reason) return PKI_ERR(L_X509, F_ENCODE_ECDSA_SIGNATURE_VALUE, e.reason);
    *der_len = e.length;
    return 0;
}

ZUNPKI_API PKI_ERROR decode_ECDSASignatureValue(unsigned char* r, int* r_len, unsigned char* s, int* s_len,
                                                const unsigned char* der, int der_len) {
    if (!buffersOk(r, r_len, s, s_len) || !der)
        return PKI_ERR(L_X509, F_DECODE_ECDSA_SIGNATURE_VALUE, ERR_R_NULL_ARGUMENT);
    switch (decodePair(false, r, r_len, s, s_len, der, der_len)) {
        case Read::Ok:
            return 0;
        case Read::TooLarge:
            return PKI_ERR(L_X509, F_DECODE_ECDSA_SIGNATURE_VALUE, ERR_R_INVALID_ELEMENT);
        default:
            return PKI_ERR(L_X509, F_DECODE_ECDSA_SIGNATURE_VALUE, ERR_ASN1_DECODING);
    }
}

}  // extern "C"
