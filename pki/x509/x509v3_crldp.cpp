// Distribution points, the issuing distribution point and access information.
#include <zunPKI/x509/x509v3_crldp.h>

#include "x509/x509_name.hpp"
#include "x509/x509v3_body.hpp"

using namespace zpki::asn1;
using namespace zpki::x509v3;
using zpki::Owned;

namespace {

using Node = Owned<ASN1_UNIT, free_ASN1_UNIT>;
using NameOwner = Owned<X509_NAME, free_X509_NAME>;

// nameRelativeToCRLIssuer [1]: the AttributeTypeAndValues of one RDN under an
// implicit [1], held as a name whose entries form that RDN. A [1] holding a
// whole Name SEQUENCE, as older encoders wrote it, is read too.
struct RdnCodec : zpki::x509::NameCodec {
    static bool matches(uint8_t id) { return id == 0xa1; }
    static bool decodeContents(const Element& e, Value& out) {
        Decoder d(zpki::der::Cursor(e.contents, e.contentsSize));
        Element first;
        if (!d.next(first) || first.identifier != 0x30) return false;
        if (first.contentsSize > 0 && first.contents[0] == 0x31)
            return Explicit<1, zpki::x509::NameCodec>::decodeContents(e, out);
        // The SET the RDN would be inside a Name of its own.
        static const uint8_t kNothing = 0;
        Node set(new_ASN1_UNIT()), name(new_ASN1_UNIT());
        if (!set || !name || !zpki::ber::setNode(set.get(), 0x31, e.contents, e.contentsSize, false) ||
            !zpki::ber::setNode(name.get(), 0x30, &kNothing, 0, false) || !appendNode(name.get(), set.release()))
            return false;
        X509_NAME* made = nullptr;
        if (Seq_to_X509_NAME(name.get(), &made) != 0) return false;
        out = made;
        return true;
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        if (!v || v->count == 0) return false;
        NameOwner rdn(dup_X509_NAME(v));
        if (!rdn) return false;
        for (int i = 1; i < rdn->count; ++i) static_cast<X509_NAME_CHILD*>(rdn->items[i])->sameRdn = 1;
        ASN1_UNIT* made = nullptr;
        if (X509_NAME_to_Seq(rdn.get(), &made) != 0) return false;
        Node name(made), field(new_ASN1_UNIT());
        Element set;
        if (!field || !zpki::ber::childElement(name.get(), 0, set) ||
            !zpki::ber::setNode(field.get(), 0xa1, set.contents, set.contentsSize, false))
            return false;
        return appendNode(parent, field.release());
    }
};

}  // namespace

template <>
struct zpki::asn1::Describe<DIST_POINT_NAME> {
    using Shape = Choice<&DIST_POINT_NAME::type,
                         Alt<DIST_POINT_FULL_NAME, Field<&DIST_POINT_NAME::value, AsVoid<GeneralNamesCodec<0xa0>>>>,
                         Alt<DIST_POINT_RELATIVE_NAME, Field<&DIST_POINT_NAME::value, AsVoid<RdnCodec>>>>;
};

namespace {

// distributionPoint [0]: the name CHOICE inside an explicit [0]; a record
// without a value counts as absent.
struct DistPointNameField : Optional<Explicit<0, Sub<DIST_POINT_NAME>>> {
    static bool present(const Value& v) { return v && v->value; }
};

}  // namespace

template <>
struct zpki::asn1::Describe<DIST_POINT> {
    using Shape = Sequence<Field<&DIST_POINT::distributionPoint, DistPointNameField>,
                           Field<&DIST_POINT::reasons, Optional<TaggedBits<1>>>,
                           Field<&DIST_POINT::cRLIssuer, Optional<GeneralNamesCodec<0xa2, true>>>>;
};
template <>
struct zpki::asn1::Describe<ISSUING_DIST_POINT> {
    using Shape = Sequence<Field<&ISSUING_DIST_POINT::distributionPoint, DistPointNameField>,
                           Field<&ISSUING_DIST_POINT::onlyContainsUserCerts, Optional<TaggedFlag<1>>>,
                           Field<&ISSUING_DIST_POINT::onlyContainsCACerts, Optional<TaggedFlag<2>>>,
                           Field<&ISSUING_DIST_POINT::onlySomeReasons, Optional<TaggedBits<3>>>,
                           Field<&ISSUING_DIST_POINT::indirectCRL, Optional<TaggedFlag<4>>>,
                           Field<&ISSUING_DIST_POINT::onlyContainsAttributeCerts, Optional<TaggedFlag<5>>>>;
};
template <>
struct zpki::asn1::Describe<ACCESS_DESCRIPTION> {
    using Shape = Sequence<Field<&ACCESS_DESCRIPTION::accessMethod, Oid>,
                           Field<&ACCESS_DESCRIPTION::accessLocation, GeneralNameCodec>>;
};

ZPKI_STRUCT_LIFECYCLE(DIST_POINT)
ZPKI_STRUCT_CODEC(DIST_POINT, L_X509V3, F_DIST_POINT_TO_SEQ, F_SEQ_TO_DIST_POINT)
ZPKI_STRUCT_LIFECYCLE(ISSUING_DIST_POINT)
ZPKI_STRUCT_FAMILY(ACCESS_DESCRIPTION, L_X509V3, F_ACCESS_DESCRIPTION_TO_SEQ, F_SEQ_TO_ACCESS_DESCRIPTION)

ZPKI_V3_LIST_LIFECYCLE(CRL_DIST_POINTS, Sub<DIST_POINT>)
ZPKI_V3_LIST_LIFECYCLE(ISSUING_DIST_POINTS, Sub<ISSUING_DIST_POINT>)
ZPKI_V3_LIST_FAMILY(AUTHORITY_INFO_ACCESS, Sub<ACCESS_DESCRIPTION>, F_SEQ_TO_AUTHORITY_INFO_ACCESS,
                    F_AUTHORITY_INFO_ACCESS_TO_SEQ, true, false)

namespace {

// node is a list of T's SEQUENCEs, or one T itself (its fields tagged); either
// way the records are appended to *list.
template <class T, PKI_ERROR (*DecodeOne)(const ASN1_UNIT*, T**)>
PKI_ERROR decodeListOrOne(const ASN1_UNIT* node, STACK** list, unsigned libFunc) {
    if (!node || !list) return code(libFunc, ERR_R_NULL_ARGUMENT);
    Element e;
    if (!elementOf(node, e) || !e.constructed()) return code(libFunc, ERR_ASN1_DECODING);
    if (e.contentsSize == 0) return code(libFunc, ERR_R_INVALID_ELEMENT);
    if (e.contents[0] == 0x30) return ListFamily<Sub<T>>::decode(node, list, libFunc, true);
    T* one = nullptr;
    if (const PKI_ERROR rc = DecodeOne(node, &one)) return rc;
    Owned<STACK, ListFamily<Sub<T>>::destroy> made(*list ? nullptr : new_STACK());
    STACK* target = *list ? *list : made.get();
    if (!target || push_STACK_value(target, one) == 0) {
        Family<T>::destroy(one);
        return code(libFunc, ERR_R_ALLOC_3C);
    }
    if (made) *list = made.release();
    return 0;
}

}  // namespace

extern "C" {

ZUNPKI_API DIST_POINT_NAME* new_DIST_POINT_NAME(void) { return Family<DIST_POINT_NAME>::create(); }
ZUNPKI_API void free_DIST_POINT_NAME(DIST_POINT_NAME* dpn) { Family<DIST_POINT_NAME>::destroy(dpn); }
ZUNPKI_API void clean_DIST_POINT_NAME(DIST_POINT_NAME* dpn) { Family<DIST_POINT_NAME>::clean(dpn); }
ZUNPKI_API int cmp_DIST_POINT_NAME(const DIST_POINT_NAME* a, const DIST_POINT_NAME* b) {
    return Family<DIST_POINT_NAME>::cmp(a, b);
}
ZUNPKI_API DIST_POINT_NAME* dup_DIST_POINT_NAME(const DIST_POINT_NAME* dpn) {
    if (!dpn || (dpn->type != DIST_POINT_FULL_NAME && dpn->type != DIST_POINT_RELATIVE_NAME)) return nullptr;
    return Family<DIST_POINT_NAME>::dup(dpn);
}

ZUNPKI_API PKI_ERROR Seq_to_CRL_DIST_POINTS(const ASN1_UNIT* node, CRL_DIST_POINTS** list) {
    return decodeListOrOne<DIST_POINT, Seq_to_DIST_POINT>(node, list, L_X509V3 | F_SEQ_TO_CRL_DIST_POINTS);
}

ZUNPKI_API PKI_ERROR CRL_DIST_POINTS_to_Seq(const CRL_DIST_POINTS* list, ASN1_UNIT** node) {
    return ListFamily<Sub<DIST_POINT>>::encode(list, node, L_X509V3 | F_CRL_DIST_POINTS_TO_SEQ, false);
}

ZUNPKI_API PKI_ERROR Seq_to_issuing_DIST_POINTS(const ASN1_UNIT* node, ISSUING_DIST_POINTS** list) {
    return decodeListOrOne<ISSUING_DIST_POINT, Seq_to_issuing_DIST_POINT>(node, list,
                                                                          L_X509V3 | F_SEQ_TO_ISSUING_DIST_POINTS);
}

ZUNPKI_API PKI_ERROR issuing_DIST_POINTS_to_Seq(const ISSUING_DIST_POINTS* list, ASN1_UNIT** node) {
    return ListFamily<Sub<ISSUING_DIST_POINT>>::encode(list, node, L_X509V3 | F_ISSUING_DIST_POINTS_TO_SEQ, false);
}

ZUNPKI_API PKI_ERROR Seq_to_issuing_DIST_POINT(const ASN1_UNIT* node, ISSUING_DIST_POINT** idp) {
    return Family<ISSUING_DIST_POINT>::fromSeq(node, idp, L_X509V3 | F_SEQ_TO_ISSUING_DIST_POINT);
}

ZUNPKI_API PKI_ERROR issuing_DIST_POINT_to_Seq(const ISSUING_DIST_POINT* idp, ASN1_UNIT** node) {
    return Family<ISSUING_DIST_POINT>::toSeq(idp, node, L_X509V3 | F_ISSUING_DIST_POINT_TO_SEQ);
}

}  // extern "C"
