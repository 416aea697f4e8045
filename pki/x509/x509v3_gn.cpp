// General names.
#include <zunPKI/x509/x509v3_gn.h>

#include "x509/x509_name.hpp"
#include "x509/x509v3_body.hpp"

using namespace zpki::asn1;
using namespace zpki::x509v3;

namespace {

// The otherName value: a [0] wrapper around exactly one element, kept as the
// wrapper's identifier and contents. Written constructed (0xA0); the
// primitive 0x80 that older encoders wrote is read too.
struct OtherValue : AnyString {
    static bool matches(uint8_t id) { return isContext(id, 0); }
    static bool oneElement(const uint8_t* bytes, size_t n) {
        zpki::der::Cursor c(bytes, n);
        Element inner;
        return zpki::der::getElement(c, inner) && c.empty();
    }
    static bool decodeContents(const Element& e, Value& out) {
        return oneElement(e.contents, e.contentsSize) && AnyString::decodeContents(e, out);
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        if (!v || v->length < 0 || !oneElement(v->data, static_cast<size_t>(v->length))) return false;
        ASN1_STRING wrapper = *v;
        wrapper.type = 0xa0;
        return AnyString::encode(&wrapper, parent);
    }
};

// A DirectoryString field [N] of an EDIPartyName, kept with the identifier it
// came with. A string of a universal type is written inside [N] (explicit,
// as a CHOICE must be tagged).
template <int N>
struct DirectoryField : AnyString {
    static bool matches(uint8_t id) { return isContext(id, N); }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        if (!v) return false;
        if (isContext(static_cast<uint8_t>(v->type), N)) return AnyString::encode(v, parent);
        return Explicit<N, AnyString>::encode(v, parent);
    }
};

// rfc822Name, dNSName, URI: IA5String under an implicit tag, 7-bit only.
template <int N>
struct Ia5Name : Implicit<N, IA5String> {
    static bool decodeContents(const Element& e, ASN1_STRING*& out) {
        if (!Implicit<N, IA5String>::decodeContents(e, out)) return false;
        for (int i = 0; i < out->length; ++i) {
            if (out->data[i] & 0x80) {
                IA5String::release(out);
                return false;
            }
        }
        return true;
    }
};

}  // namespace

template <>
struct zpki::asn1::Describe<OTHERNAME> {
    using Shape = Sequence<Field<&OTHERNAME::typeId, Oid>, Field<&OTHERNAME::value, Optional<OtherValue>>>;
};
template <>
struct zpki::asn1::Describe<EDIPARTYNAME> {
    using Shape = Sequence<Field<&EDIPARTYNAME::nameAssigner, Optional<DirectoryField<0>>>,
                           Field<&EDIPARTYNAME::partyName, DirectoryField<1>>>;
};
ZPKI_STRUCT_LIFECYCLE(OTHERNAME)
ZPKI_STRUCT_LIFECYCLE(EDIPARTYNAME)

namespace {

// otherName [0]: the OtherName's fields under an implicit [0]; the value is
// required here.
struct OtherNameAlt : Implicit<0, Sub<OTHERNAME>> {
    static bool decodeContents(const Element& e, OTHERNAME*& out) {
        if (!Sub<OTHERNAME>::decodeContents(e, out)) return false;
        if (out->value) return true;
        Sub<OTHERNAME>::release(out);
        return false;
    }
};

// ediPartyName [5]: the fields under an implicit [5]; a [5] holding an
// EDIPartyName SEQUENCE, as older encoders wrote it, is read too.
struct EdiPartyAlt : Implicit<5, Sub<EDIPARTYNAME>> {
    static bool matches(uint8_t id) { return id == 0xa5; }
    static bool decodeContents(const Element& e, EDIPARTYNAME*& out) {
        uint8_t first = 0;
        Decoder d(zpki::der::Cursor(e.contents, e.contentsSize));
        if (d.peek(first) && first == 0x30) return Explicit<5, Sub<EDIPARTYNAME>>::decodeContents(e, out);
        return Sub<EDIPARTYNAME>::decodeContents(e, out);
    }
};

}  // namespace

template <>
struct zpki::asn1::Describe<GENERAL_NAME> {
    template <int W, class C>
    using A = Alt<W, Field<&GENERAL_NAME::value, AsVoid<C>>>;
    using Shape = Choice<&GENERAL_NAME::type, A<0, OtherNameAlt>, A<1, Ia5Name<1>>, A<2, Ia5Name<2>>,
                         A<3, Implicit<3, AnyString>>, A<4, Explicit<4, zpki::x509::NameCodec>>, A<5, EdiPartyAlt>,
                         A<6, Ia5Name<6>>, A<7, Implicit<7, OctetString>>, A<8, Implicit<8, Oid>>>;
};

namespace zpki::x509v3 {

bool GeneralNameCodec::decodeContents(const Element& e, Value& out) {
    GENERAL_NAME* r = PKI_NEW(GENERAL_NAME);
    if (!r) return false;
    // A context tag of 0-8 is one of the nine kinds and must read as it.
    const bool known = (e.identifier & 0xc0) == 0x80 && e.tagNumber() <= GENERAL_NAME_REGISTERED_ID;
    if (known && (!Family<GENERAL_NAME>::Ops::matches(e.identifier) || !Family<GENERAL_NAME>::decodeElement(e, *r))) {
        PKI_FREE(r);
        return false;
    }
    if (!r->value) r->type = 0;  // a tag number outside 0-8
    out = r;
    return true;
}

bool GeneralNameCodec::encode(const Value& v, ASN1_UNIT* parent) {
    return v && v->value && Sub<GENERAL_NAME>::encode(v, parent);
}

}  // namespace zpki::x509v3

namespace {

constexpr unsigned kGnDecode = L_X509V3 | F_SEQ_TO_GENERAL_NAME;
constexpr unsigned kGnEncode = L_X509V3 | F_GENERAL_NAME_TO_SEQ;

}  // namespace

extern "C" {

ZUNPKI_API GENERAL_NAME* new_GENERAL_NAME(void) { return Family<GENERAL_NAME>::create(); }
ZUNPKI_API void free_GENERAL_NAME(GENERAL_NAME* gn) { Family<GENERAL_NAME>::destroy(gn); }
ZUNPKI_API void clean_GENERAL_NAME(GENERAL_NAME* gn) { Family<GENERAL_NAME>::clean(gn); }
ZUNPKI_API int cmp_GENERAL_NAME(const GENERAL_NAME* a, const GENERAL_NAME* b) {
    return Family<GENERAL_NAME>::cmp(a, b);
}

ZUNPKI_API GENERAL_NAME* dup_GENERAL_NAME(const GENERAL_NAME* gn) {
    if (!gn || gn->type < GENERAL_NAME_OTHER_NAME || gn->type > GENERAL_NAME_REGISTERED_ID) return nullptr;
    return Family<GENERAL_NAME>::dup(gn);
}

ZUNPKI_API PKI_ERROR Seq_to_GENERAL_NAME(const ASN1_UNIT* node, GENERAL_NAME** gn) {
    return decodeRecord<GENERAL_NAME, free_GENERAL_NAME, clean_GENERAL_NAME>(
        node, gn, kGnDecode, [](const Element& e, GENERAL_NAME& r) -> int {
            GENERAL_NAME* made = nullptr;
            if (!GeneralNameCodec::decodeContents(e, made)) return ERR_ASN1_DECODING;
            r = *made;
            PKI_FREE(made);
            return 0;
        });
}

ZUNPKI_API PKI_ERROR GENERAL_NAME_to_Seq(const GENERAL_NAME* gn, ASN1_UNIT** node) {
    if (gn && node && !gn->value) return code(kGnEncode, ERR_R_INVALID_ELEMENT);
    return Family<GENERAL_NAME>::toSeq(gn, node, kGnEncode);
}

ZUNPKI_API PKI_ERROR Seq_to_OTHERNAME(const ASN1_UNIT* node, OTHERNAME** on) {
    return fromSeqCounted(node, on, L_X509V3 | F_SEQ_TO_OTHERNAME, 1, 2);
}

ZUNPKI_API PKI_ERROR OTHERNAME_to_Seq(const OTHERNAME* on, ASN1_UNIT** node) {
    return Family<OTHERNAME>::toSeq(on, node, L_X509V3 | F_OTHERNAME_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_EDIPARTYNAME(const ASN1_UNIT* node, EDIPARTYNAME** edi) {
    return fromSeqCounted(node, edi, L_X509V3 | F_SEQ_TO_EDIPARTYNAME, 1, 2);
}

ZUNPKI_API PKI_ERROR EDIPARTYNAME_to_Seq(const EDIPARTYNAME* edi, ASN1_UNIT** node) {
    return Family<EDIPARTYNAME>::toSeq(edi, node, L_X509V3 | F_EDIPARTYNAME_TO_SEQ);
}

}  // extern "C"

ZPKI_V3_LIST_FAMILY(GENERAL_NAMES, GeneralNameCodec, F_SEQ_TO_GENERAL_NAMES, F_GENERAL_NAMES_TO_SEQ, true, false)
