// Authority key identifier, basic constraints, policy constraints, name
// constraints and extended key usage.
#include <zunPKI/x509/x509v3_constraints.h>

#include "x509/x509v3_body.hpp"

using namespace zpki::asn1;
using namespace zpki::x509v3;

namespace {

template <uint8_t Id>
using Subtrees = NonEmptyList<Sub<GENERAL_SUBTREE>, Id>;

// GeneralSubtree's minimum is DEFAULT 0: a zero is left out when writing.
struct SubtreeMinimum : TaggedInteger<0> {
    static bool present(const Value& v) { return v && VSC_Get_BIGINT_Bits_Length(v) != 0; }
};

// True when a list member is there but empty: such a list cannot be written.
inline bool emptyList(const STACK* list) { return list && list->count == 0; }

}  // namespace

template <>
struct zpki::asn1::Describe<AUTHORITY_KEYID> {
    using Shape = Sequence<Field<&AUTHORITY_KEYID::keyIdentifier, Optional<Implicit<0, OctetString>>>,
                           Field<&AUTHORITY_KEYID::authorityCertIssuer, Optional<GeneralNamesCodec<0xa1>>>,
                           Field<&AUTHORITY_KEYID::authorityCertSerialNumber, Optional<Implicit<2, Integer>>>>;
};
template <>
struct zpki::asn1::Describe<BASIC_CONSTRAINTS> {
    using Shape = Sequence<Field<&BASIC_CONSTRAINTS::cA, Default<BooleanByte, 0>>,
                           Field<&BASIC_CONSTRAINTS::pathLenConstraint, Optional<Integer>>>;
};
template <>
struct zpki::asn1::Describe<POLICY_CONSTRAINTS> {
    using Shape = Sequence<Field<&POLICY_CONSTRAINTS::requireExplicitPolicy, Optional<TaggedInteger<0>>>,
                           Field<&POLICY_CONSTRAINTS::inhibitPolicyMapping, Optional<TaggedInteger<1>>>>;
};
template <>
struct zpki::asn1::Describe<GENERAL_SUBTREE> {
    using Shape = Sequence<Field<&GENERAL_SUBTREE::base, GeneralNameCodec>,
                           Field<&GENERAL_SUBTREE::minimum, Optional<SubtreeMinimum>>,
                           Field<&GENERAL_SUBTREE::maximum, Optional<TaggedInteger<1>>>>;
};
template <>
struct zpki::asn1::Describe<NAME_CONSTRAINTS> {
    using Shape = Sequence<Field<&NAME_CONSTRAINTS::permittedSubtrees, Optional<Subtrees<0xa0>>>,
                           Field<&NAME_CONSTRAINTS::excludedSubtrees, Optional<Subtrees<0xa1>>>>;
};

ZPKI_STRUCT_LIFECYCLE(AUTHORITY_KEYID)
ZPKI_STRUCT_FAMILY(BASIC_CONSTRAINTS, L_X509V3, F_BASIC_CONSTRAINTS_TO_SEQ, F_SEQ_TO_BASIC_CONSTRAINTS)
ZPKI_STRUCT_FAMILY(POLICY_CONSTRAINTS, L_X509V3, F_POLICY_CONSTRAINTS_TO_SEQ, F_SEQ_TO_POLICY_CONSTRAINTS)
ZPKI_STRUCT_FAMILY(GENERAL_SUBTREE, L_X509V3, F_GENERAL_SUBTREE_TO_SEQ, F_SEQ_TO_GENERAL_SUBTREE)
ZPKI_STRUCT_LIFECYCLE(NAME_CONSTRAINTS)

extern "C" {

ZUNPKI_API PKI_ERROR Seq_to_AUTHORITY_KEYID(const ASN1_UNIT* node, AUTHORITY_KEYID** akid) {
    return fromSeqCounted(node, akid, L_X509V3 | F_SEQ_TO_AUTHORITY_KEYID, 1, 3);
}

ZUNPKI_API PKI_ERROR AUTHORITY_KEYID_to_Seq(const AUTHORITY_KEYID* akid, ASN1_UNIT** node) {
    if (akid && node && emptyList(akid->authorityCertIssuer))
        return PKI_ERR(L_X509V3, F_GENERAL_NAMES_TO_SEQ, ERR_R_INVALID_ELEMENT);
    return Family<AUTHORITY_KEYID>::toSeq(akid, node, L_X509V3 | F_AUTHORITY_KEYID_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_NAME_CONSTRAINTS(const ASN1_UNIT* node, NAME_CONSTRAINTS** nc) {
    return fromSeqCounted(node, nc, L_X509V3 | F_SEQ_TO_NAME_CONSTRAINTS, 1, 2);
}

ZUNPKI_API PKI_ERROR NAME_CONSTRAINTS_to_Seq(const NAME_CONSTRAINTS* nc, ASN1_UNIT** node) {
    if (nc && node && (emptyList(nc->permittedSubtrees) || emptyList(nc->excludedSubtrees)))
        return PKI_ERR(L_X509V3, F_GENERAL_SUBTREES_TO_SEQ, ERR_R_INVALID_ELEMENT);
    return Family<NAME_CONSTRAINTS>::toSeq(nc, node, L_X509V3 | F_NAME_CONSTRAINTS_TO_SEQ);
}

}  // extern "C"

ZPKI_V3_LIST_FAMILY(GENERAL_SUBTREES, Sub<GENERAL_SUBTREE>, F_SEQ_TO_GENERAL_SUBTREES, F_GENERAL_SUBTREES_TO_SEQ, true,
                    false)
ZPKI_V3_LIST_FAMILY(EXTENDED_KEY_USAGE, Oid, F_SEQ_TO_EXTENDED_KEY_USAGE, F_EXTENDED_KEY_USAGE_TO_SEQ, true, false)
