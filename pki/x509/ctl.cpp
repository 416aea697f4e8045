// Certificate trust lists and lists of object identifiers.
#include <zunPKI/x509/ctl.h>

#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/asn1_struct.hpp"
#include "asn1/codec_util.hpp"
#include "x509/x509_algorithm.hpp"
#include "x509/x509_attr.hpp"
#include "x509/x509_cert.hpp"
#include "x509/x509_list.hpp"
#include "x509/x509v3.hpp"

using namespace zpki::asn1;

namespace {

// A list member left out when empty.
template <class List>
struct NonEmpty : List {
    static bool present(const typename List::Value& v) { return v && v->count > 0; }
};

// A list member that must hold at least one item when read.
template <class List>
struct AtLeastOne : NonEmpty<List> {
    static bool decodeContents(const Element& e, typename List::Value& out) {
        return e.contentsSize > 0 && List::decodeContents(e, out);
    }
};

// version INTEGER DEFAULT 0: written only when not 0; read as a plain
// INTEGER or, as older writers put it, [0] EXPLICIT INTEGER.
struct VersionCodec : Integer {
    static bool matches(uint8_t id) { return Integer::matches(id) || Explicit<0, Integer>::matches(id); }
    static bool decodeContents(const Element& e, Value& out) {
        return Integer::matches(e.identifier) ? Integer::decodeContents(e, out)
                                              : Explicit<0, Integer>::decodeContents(e, out);
    }
    static bool present(const Value& v) { return v && VSC_Get_BIGINT_Bits_Length(v) > 0; }
};

using Attributes = NonEmpty<zpki::x509::AttributesCodec>;
using Usages = AtLeastOne<SequenceOf<Oid>>;

}  // namespace

template <>
struct zpki::asn1::Describe<TRUSTED_CERTIFICATE> {
    using Shape = Sequence<Field<&TRUSTED_CERTIFICATE::subjectIdentifier, OctetString>,
                           Field<&TRUSTED_CERTIFICATE::subjectAttributes, Optional<Attributes>>>;
};
ZPKI_STRUCT_LIFECYCLE(TRUSTED_CERTIFICATE)

namespace {

using Subjects = AtLeastOne<SequenceOf<Sub<TRUSTED_CERTIFICATE>>>;

}  // namespace

template <>
struct zpki::asn1::Describe<CERT_TRUST_LIST> {
    using Shape = Sequence<Field<&CERT_TRUST_LIST::version, Optional<VersionCodec>>,
                           Field<&CERT_TRUST_LIST::subjectUsage, Usages>,
                           Field<&CERT_TRUST_LIST::listIdentifier, Optional<OctetString>>,
                           Field<&CERT_TRUST_LIST::sequenceNumber, Optional<Integer>>,
                           Field<&CERT_TRUST_LIST::thisUpdate, zpki::x509::TimeCodec>,
                           Field<&CERT_TRUST_LIST::nextUpdate, Optional<zpki::x509::TimeCodec>>,
                           Field<&CERT_TRUST_LIST::subjectAlgorithm, zpki::x509::AlgorithmId>,
                           Field<&CERT_TRUST_LIST::trustedSubjects, Optional<Subjects>>,
                           Field<&CERT_TRUST_LIST::ctlExtensions, Optional<Explicit<0, zpki::x509::ExtensionsCodec>>>>;
};
ZPKI_STRUCT_LIFECYCLE(CERT_TRUST_LIST)

namespace {

using zpki::x509::errorCode;

bool timeKnown(const X509_TIME* t) { return t->type == X509_TIME_UTC || t->type == X509_TIME_GENERALIZED; }

}  // namespace

extern "C" {

// ===========================================================================
// Object identifier lists

ZUNPKI_API OBJECT_IDENTIFIERS* new_OBJECT_IDENTIFIERS(void) { return new_STACK(); }

ZUNPKI_API void free_OBJECT_IDENTIFIERS(OBJECT_IDENTIFIERS* list) {
    zpki::x509::freeList<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER>(list);
}

ZUNPKI_API int add_OBJECT_IDENTIFIERS(OBJECT_IDENTIFIERS* list, const OBJECT_IDENTIFIER* oid) {
    return zpki::x509::insertCopy<OBJECT_IDENTIFIER, dup_OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER>(list, oid, -1) ? 0
                                                                                                                   : 1;
}

ZUNPKI_API int get_OBJECT_IDENTIFIERS_index_by_OBJECT_IDENTIFIER(const OBJECT_IDENTIFIERS* list,
                                                                 const OBJECT_IDENTIFIER* oid) {
    if (!list || !oid) return -1;
    for (int i = 0; i < list->count; ++i) {
        const auto* item = static_cast<const OBJECT_IDENTIFIER*>(list->items[i]);
        if (item && cmp_OBJECT_IDENTIFIER(item, oid) == 0) return i;
    }
    return -1;
}

// ===========================================================================
// Trusted subjects

ZUNPKI_API TRUSTED_SUBJECTS* new_TRUSTED_SUBJECTS(void) { return new_STACK(); }

ZUNPKI_API void free_TRUSTED_SUBJECTS(TRUSTED_SUBJECTS* list) {
    zpki::x509::freeList<TRUSTED_CERTIFICATE, free_TRUSTED_CERTIFICATE>(list);
}

ZUNPKI_API PKI_ERROR TRUSTED_CERTIFICATE_to_Seq(const TRUSTED_CERTIFICATE* tc, ASN1_UNIT** node) {
    return Family<TRUSTED_CERTIFICATE>::toSeq(tc, node, L_CTL | F_TRUSTED_CERTIFICATE_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_TRUSTED_CERTIFICATE(const ASN1_UNIT* node, TRUSTED_CERTIFICATE** tc) {
    constexpr unsigned kFunc = L_CTL | F_SEQ_TO_TRUSTED_CERTIFICATE;
    if (!node || !tc) return errorCode(kFunc, ERR_R_NULL_ARGUMENT);
    if (zpki::asn1::childCount(node) == 0) return errorCode(kFunc, ERR_R_INVALID_ELEMENT);
    return Family<TRUSTED_CERTIFICATE>::fromSeq(node, tc, kFunc);
}

ZUNPKI_API PKI_ERROR TRUSTED_SUBJECTS_to_Seq(const TRUSTED_SUBJECTS* list, ASN1_UNIT** node) {
    return zpki::x509::encodeList<TRUSTED_CERTIFICATE>(
        list, node, L_CTL | F_TRUSTED_SUBJECTS_TO_SEQ, 0x30, [](const TRUSTED_CERTIFICATE* tc, ASN1_UNIT* target) {
            return Sub<TRUSTED_CERTIFICATE>::encode(const_cast<TRUSTED_CERTIFICATE*>(tc), target) ? 0
                                                                                                  : ERR_ASN1_ENCODING;
        });
}

ZUNPKI_API PKI_ERROR Seq_to_TRUSTED_SUBJECTS(const ASN1_UNIT* node, TRUSTED_SUBJECTS** list) {
    return zpki::x509::decodeListInto<Sub<TRUSTED_CERTIFICATE>, TRUSTED_CERTIFICATE, free_TRUSTED_CERTIFICATE>(
        node, list, L_CTL | F_SEQ_TO_TRUSTED_SUBJECTS);
}

// ===========================================================================
// Trust lists

ZUNPKI_API PKI_ERROR CERT_TRUST_LIST_to_Seq(const CERT_TRUST_LIST* ctl, ASN1_UNIT** node) {
    constexpr unsigned kFunc = L_CTL | F_CERT_TRUST_LIST_TO_SEQ;
    if (!ctl || !node || !ctl->subjectUsage || !ctl->thisUpdate || !ctl->subjectAlgorithm)
        return errorCode(kFunc, ERR_R_NULL_ARGUMENT);
    if (ctl->subjectUsage->count == 0) return errorCode(kFunc, ERR_R_INVALID_ELEMENT);
    if (!timeKnown(ctl->thisUpdate) || (ctl->nextUpdate && !timeKnown(ctl->nextUpdate)))
        return errorCode(kFunc, ERR_TBS_CERT_VALIDITY);
    return Family<CERT_TRUST_LIST>::toSeq(ctl, node, kFunc);
}

ZUNPKI_API PKI_ERROR Seq_to_CERT_TRUST_LIST(const ASN1_UNIT* node, CERT_TRUST_LIST** ctl) {
    constexpr unsigned kFunc = L_CTL | F_SEQ_TO_CERT_TRUST_LIST;
    if (!node || !ctl) return errorCode(kFunc, ERR_R_NULL_ARGUMENT);
    // subjectUsage, thisUpdate and subjectAlgorithm at the least
    if (zpki::asn1::childCount(node) < 3) return errorCode(kFunc, ERR_R_INVALID_ELEMENT);
    return Family<CERT_TRUST_LIST>::fromSeq(node, ctl, kFunc);
}

}  // extern "C"
