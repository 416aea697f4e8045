// Certificate policies and policy mappings.
#include <zunPKI/x509/x509v3_policy.h>

#include <climits>

#include <zunPKI/asn1/asn1_objects.h>
#include "x509/x509v3_body.hpp"

using namespace zpki::asn1;
using namespace zpki::x509v3;

namespace {

constexpr int kRowCps = 164;      // id-qt-cps
constexpr int kRowUnotice = 165;  // id-qt-unotice

// DisplayText: UTF8String, IA5String, VisibleString or BMPString, type kept.
struct DisplayText : AnyString {
    static bool matches(uint8_t id) { return id == 12 || id == 22 || id == 26 || id == 30; }
};

// Any primitive universal string, type kept (a notice's organization).
struct AnyUniversalString : AnyString {
    static bool matches(uint8_t id) { return id != 0 && (id & 0xe0) == 0; }
};

}  // namespace

template <>
struct zpki::asn1::Describe<NOTICE_REFERENCE> {
    using Shape = Sequence<Field<&NOTICE_REFERENCE::organization, AnyUniversalString>,
                           Field<&NOTICE_REFERENCE::noticeNumbers, SequenceOf<Integer>>>;
};
template <>
struct zpki::asn1::Describe<USER_NOTICE> {
    using Shape = Sequence<Field<&USER_NOTICE::noticeRef, Optional<Sub<NOTICE_REFERENCE>>>,
                           Field<&USER_NOTICE::explicitText, Optional<DisplayText>>>;
};
template <>
struct zpki::asn1::Describe<POLICY_MAPPING> {
    using Shape =
        Sequence<Field<&POLICY_MAPPING::issuerDomainPolicy, Oid>, Field<&POLICY_MAPPING::subjectDomainPolicy, Oid>>;
};
ZPKI_STRUCT_LIFECYCLE(NOTICE_REFERENCE)
ZPKI_STRUCT_LIFECYCLE(USER_NOTICE)
ZPKI_STRUCT_FAMILY(POLICY_MAPPING, L_X509V3, F_POLICY_MAPPING_TO_SEQ, F_SEQ_TO_POLICY_MAPPING)

namespace {

// A UserNotice's children by tag: a SEQUENCE is the reference, a DisplayText
// the explicit text; other elements are skipped. 0 or a reason (or a whole
// code of the reference decoder).
int userNoticeFrom(const Element& e, USER_NOTICE& r) {
    if (!e.constructed()) return ERR_ASN1_DECODING;
    if (e.contentsSize == 0) return ERR_R_INVALID_ELEMENT;
    Decoder d(zpki::der::Cursor(e.contents, e.contentsSize));
    while (d.more()) {
        Element x;
        if (!d.next(x)) return ERR_ASN1_DECODING;
        if (x.identifier == 0x30) {
            if (r.noticeRef) return ERR_ASN1_DECODING;
            if (childCount(x) != 2) return PKI_ERR(L_X509V3, F_SEQ_TO_NOTICE_REFERENCE, ERR_R_INVALID_ELEMENT);
            if (!Sub<NOTICE_REFERENCE>::decodeContents(x, r.noticeRef))
                return PKI_ERR(L_X509V3, F_SEQ_TO_NOTICE_REFERENCE, ERR_ASN1_DECODING);
        } else if (DisplayText::matches(x.identifier)) {
            if (r.explicitText || !DisplayText::decodeContents(x, r.explicitText)) return ERR_ASN1_DECODING;
        }
    }
    return 0;
}

// The kind of qualifier a record holds: its own word, else its id's.
int kindOf(const POLICY_QUALIFIER_INFO& q) {
    if (q.kind) return q.kind;
    switch (index_from_OBJECT_IDENTIFIER(q.policyQualifierId)) {
        case kRowCps:
            return POLICY_QUALIFIER_CPS;
        case kRowUnotice:
            return POLICY_QUALIFIER_USER_NOTICE;
        default:
            return POLICY_QUALIFIER_BY_ID;
    }
}

// PolicyQualifierInfo, its qualifier dispatched on the kind it really is.
struct QualifierInfoCodec {
    using Value = POLICY_QUALIFIER_INFO*;
    using Notice = Sub<USER_NOTICE>;

    static bool matches(uint8_t id) { return id == 0x30; }

    // 0 or a reason.
    static int decodeInto(const Element& e, POLICY_QUALIFIER_INFO& r) {
        if (childCount(e) != 2) return ERR_R_INVALID_ELEMENT;
        Decoder d(zpki::der::Cursor(e.contents, e.contentsSize));
        Element id, q;
        if (!d.next(id) || !Oid::matches(id.identifier) || !Oid::decodeContents(id, r.policyQualifierId) || !d.next(q))
            return ERR_ASN1_DECODING;
        if (q.identifier == 0x30) {
            USER_NOTICE* un = PKI_NEW(USER_NOTICE);
            if (!un) return ERR_R_ALLOC_3C;
            r.qualifier = un;
            r.kind = POLICY_QUALIFIER_USER_NOTICE;
            return userNoticeFrom(q, *un);
        }
        ASN1_STRING* s = nullptr;
        const bool cps = q.identifier == ASN1_TAG_IA5_STRING;
        if (!(cps ? IA5String::decodeContents(q, s) : AnyString::decodeContents(q, s))) return ERR_ASN1_DECODING;
        r.qualifier = s;
        r.kind = cps ? POLICY_QUALIFIER_CPS : POLICY_QUALIFIER_OTHER;
        return 0;
    }
    static bool decodeContents(const Element& e, Value& out) {
        POLICY_QUALIFIER_INFO* r = PKI_NEW(POLICY_QUALIFIER_INFO);
        if (!r) return false;
        if (decodeInto(e, *r) != 0) {
            release(r);
            return false;
        }
        out = r;
        return true;
    }
    // 0 or a reason; the SEQUENCE's children go into node.
    static int encodeInto(const POLICY_QUALIFIER_INFO& r, ASN1_UNIT* node) {
        if (!r.policyQualifierId) return ERR_R_INVALID_ELEMENT;
        if (!Oid::encode(r.policyQualifierId, node)) return ERR_ASN1_ENCODING;
        bool ok = false;
        switch (r.qualifier ? kindOf(r) : POLICY_QUALIFIER_BY_ID) {
            case POLICY_QUALIFIER_CPS:
                ok = IA5String::encode(static_cast<ASN1_STRING*>(r.qualifier), node);
                break;
            case POLICY_QUALIFIER_USER_NOTICE:
                ok = Notice::encode(static_cast<USER_NOTICE*>(r.qualifier), node);
                break;
            case POLICY_QUALIFIER_OTHER:
                ok = AnyString::encode(static_cast<ASN1_STRING*>(r.qualifier), node);
                break;
            default:
                break;  // nothing that can be written
        }
        return ok ? 0 : ERR_ASN1_ENCODING;
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        ASN1_UNIT* node = v ? new_ASN1_UNIT() : nullptr;
        if (!node || encodeInto(*v, node) != 0) {
            free_ASN1_UNIT(node);
            return false;
        }
        node->tag[0] = 0x30;
        return appendNode(parent, node);
    }
    static bool present(const Value& v) { return v != nullptr; }
    static void clean(POLICY_QUALIFIER_INFO* r) {
        if (!r) return;
        switch (kindOf(*r)) {
            case POLICY_QUALIFIER_CPS:
            case POLICY_QUALIFIER_OTHER:
                free_ASN1_STRING(static_cast<ASN1_STRING*>(r->qualifier));
                break;
            case POLICY_QUALIFIER_USER_NOTICE:
                free_USER_NOTICE(static_cast<USER_NOTICE*>(r->qualifier));
                break;
            default:
                break;  // a qualifier of no known kind is not ours to guess at
        }
        free_OBJECT_IDENTIFIER(r->policyQualifierId);
        *r = POLICY_QUALIFIER_INFO{};
    }
    static void release(Value& v) {
        clean(v);
        PKI_FREE(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) {
        if (!from) return true;
        POLICY_QUALIFIER_INFO* r = PKI_NEW(POLICY_QUALIFIER_INFO);
        if (!r) return false;
        r->kind = kindOf(*from);
        bool ok = Oid::copy(from->policyQualifierId, r->policyQualifierId);
        if (ok && from->qualifier) {
            if (r->kind == POLICY_QUALIFIER_USER_NOTICE)
                ok = (r->qualifier = dup_USER_NOTICE(static_cast<USER_NOTICE*>(from->qualifier))) != nullptr;
            else if (r->kind != POLICY_QUALIFIER_BY_ID)
                ok = (r->qualifier = dup_ASN1_STRING(static_cast<ASN1_STRING*>(from->qualifier))) != nullptr;
            else
                ok = false;
        }
        if (!ok) {
            release(r);
            return false;
        }
        to = r;
        return true;
    }
    static int compare(const Value& a, const Value& b) {
        if (a == b) return 0;
        if (!a || !b) return a ? 1 : -1;
        if (int c = cmp_OBJECT_IDENTIFIER(a->policyQualifierId, b->policyQualifierId)) return c;
        const int ka = kindOf(*a), kb = kindOf(*b);
        if (ka != kb) return ka < kb ? -1 : 1;
        if (ka == POLICY_QUALIFIER_USER_NOTICE)
            return cmp_USER_NOTICE(static_cast<USER_NOTICE*>(a->qualifier), static_cast<USER_NOTICE*>(b->qualifier));
        return cmp_ASN1_STRING(static_cast<ASN1_STRING*>(a->qualifier), static_cast<ASN1_STRING*>(b->qualifier));
    }
};

// A term's qualifiers: null when there are none; an empty SEQUENCE reads as
// none.
struct QualifiersField : SequenceOf<QualifierInfoCodec> {
    static bool init(Value& v) {
        v = nullptr;
        return true;
    }
    static bool decodeContents(const Element& e, Value& out) {
        if (e.constructed() && e.contentsSize == 0) return true;
        return SequenceOf<QualifierInfoCodec>::decodeContents(e, out);
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        return v && v->count > 0 && SequenceOf<QualifierInfoCodec>::encode(v, parent);
    }
};

}  // namespace

template <>
struct zpki::asn1::Describe<POLICY_INFO> {
    using Shape = Sequence<Field<&POLICY_INFO::policyIdentifier, Oid>,
                           Field<&POLICY_INFO::qualifiers, Optional<QualifiersField>>>;
};
ZPKI_STRUCT_LIFECYCLE(POLICY_INFO)

extern "C" {

ZUNPKI_API PKI_ERROR Seq_to_POLICY_INFO(const ASN1_UNIT* node, POLICY_INFO** pi) {
    // Three children or more are refused by the decoder as malformed (0x104).
    return fromSeqCounted(node, pi, L_X509V3 | F_SEQ_TO_POLICY_INFO, 1, INT_MAX);
}

ZUNPKI_API PKI_ERROR POLICY_INFO_to_Seq(const POLICY_INFO* pi, ASN1_UNIT** node) {
    if (pi && node && pi->qualifiers && pi->qualifiers->count == 0)
        return PKI_ERR(L_X509V3, F_POLICY_QUALIFIERS_TO_SEQ, ERR_R_INVALID_ELEMENT);
    return Family<POLICY_INFO>::toSeq(pi, node, L_X509V3 | F_POLICY_INFO_TO_SEQ);
}

ZUNPKI_API POLICY_QUALIFIER_INFO* new_POLICY_QUALIFIER_INFO(void) { return PKI_NEW(POLICY_QUALIFIER_INFO); }

ZUNPKI_API void free_POLICY_QUALIFIER_INFO(POLICY_QUALIFIER_INFO* pq) { QualifierInfoCodec::release(pq); }

ZUNPKI_API void clean_POLICY_QUALIFIER_INFO(POLICY_QUALIFIER_INFO* pq) { QualifierInfoCodec::clean(pq); }

ZUNPKI_API POLICY_QUALIFIER_INFO* dup_POLICY_QUALIFIER_INFO(const POLICY_QUALIFIER_INFO* pq) {
    POLICY_QUALIFIER_INFO* copy = nullptr;
    return QualifierInfoCodec::copy(const_cast<POLICY_QUALIFIER_INFO*>(pq), copy) ? copy : nullptr;
}

ZUNPKI_API int cmp_POLICY_QUALIFIER_INFO(const POLICY_QUALIFIER_INFO* a, const POLICY_QUALIFIER_INFO* b) {
    return QualifierInfoCodec::compare(const_cast<POLICY_QUALIFIER_INFO*>(a), const_cast<POLICY_QUALIFIER_INFO*>(b));
}

ZUNPKI_API PKI_ERROR Seq_to_POLICY_QUALIFIER_INFO(const ASN1_UNIT* node, POLICY_QUALIFIER_INFO** pq) {
    return decodeRecord<POLICY_QUALIFIER_INFO, free_POLICY_QUALIFIER_INFO, clean_POLICY_QUALIFIER_INFO>(
        node, pq, L_X509V3 | F_SEQ_TO_POLICY_QUALIFIER_INFO,
        [](const Element& e, POLICY_QUALIFIER_INFO& r) { return QualifierInfoCodec::decodeInto(e, r); });
}

ZUNPKI_API PKI_ERROR POLICY_QUALIFIER_INFO_to_Seq(const POLICY_QUALIFIER_INFO* pq, ASN1_UNIT** node) {
    constexpr unsigned kEncode = L_X509V3 | F_POLICY_QUALIFIER_INFO_TO_SEQ;
    if (!pq || !node) return code(kEncode, ERR_R_NULL_ARGUMENT);
    return zpki::x509::encodeInto(node, kEncode, 0x30,
                                  [pq](ASN1_UNIT* target) { return QualifierInfoCodec::encodeInto(*pq, target); });
}

ZUNPKI_API PKI_ERROR Seq_to_USER_NOTICE(const ASN1_UNIT* node, USER_NOTICE** un) {
    return decodeRecord<USER_NOTICE, free_USER_NOTICE, clean_USER_NOTICE>(node, un, L_X509V3 | F_SEQ_TO_USER_NOTICE,
                                                                          userNoticeFrom);
}

ZUNPKI_API PKI_ERROR USER_NOTICE_to_Seq(const USER_NOTICE* un, ASN1_UNIT** node) {
    return Family<USER_NOTICE>::toSeq(un, node, L_X509V3 | F_USER_NOTICE_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_NOTICE_REFERENCE(const ASN1_UNIT* node, USER_NOTICE* notice) {
    constexpr unsigned kDecode = L_X509V3 | F_SEQ_TO_NOTICE_REFERENCE;
    if (!node || !notice) return code(kDecode, ERR_R_NULL_ARGUMENT);
    return fromSeqCounted(node, &notice->noticeRef, kDecode, 2, 2);
}

ZUNPKI_API PKI_ERROR NOTICE_REFERENCE_to_Seq(const NOTICE_REFERENCE* nr, ASN1_UNIT** node) {
    return Family<NOTICE_REFERENCE>::toSeq(nr, node, L_X509V3 | F_NOTICE_REFERENCE_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_POLICY_QUALIFIERS(const ASN1_UNIT* node, POLICY_QUALIFIERS** list) {
    Element e;
    if (node && list && elementOf(node, e) && e.constructed() && e.contentsSize == 0) return 0;
    return ListFamily<QualifierInfoCodec>::decode(node, list, L_X509V3 | F_SEQ_TO_POLICY_QUALIFIERS, false);
}

ZUNPKI_API PKI_ERROR POLICY_QUALIFIERS_to_Seq(const POLICY_QUALIFIERS* list, ASN1_UNIT** node) {
    return ListFamily<QualifierInfoCodec>::encode(list, node, L_X509V3 | F_POLICY_QUALIFIERS_TO_SEQ, false);
}

}  // extern "C"

ZPKI_V3_LIST_LIFECYCLE(POLICY_QUALIFIERS, QualifierInfoCodec)
ZPKI_V3_LIST_FAMILY(CERTIFICATE_POLICIES, Sub<POLICY_INFO>, F_SEQ_TO_CERTIFICATE_POLICIES,
                    F_CERTIFICATE_POLICIES_TO_SEQ, true, false)
ZPKI_V3_LIST_FAMILY(NOTICE_NUMBERS, Integer, F_SEQ_TO_NOTICE_NUMBERS, F_NOTICE_NUMBERS_TO_SEQ, false, true)
ZPKI_V3_LIST_FAMILY(POLICY_MAPPINGS, Sub<POLICY_MAPPING>, F_SEQ_TO_POLICY_MAPPINGS, F_POLICY_MAPPINGS_TO_SEQ, true,
                    false)
