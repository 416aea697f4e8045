// Trust anchors: the record, its DER form and the anchor list.
#include <zunPKI/x509/trust_anchor.h>

#include <new>

#include "asn1/asn1_struct.hpp"
#include "x509/x509_name.hpp"
#include "x509/x509_path.hpp"

using namespace zpki::asn1;

namespace {

inline bool isKeyIdentifier(uint8_t id) { return id == 0x30; }

using PubKeyCodec = ByFunctions<X509_PUBKEY, new_X509_PUBKEY, free_X509_PUBKEY, dup_X509_PUBKEY, cmp_X509_PUBKEY,
                                X509_PUBKEY_to_Seq, Seq_to_X509_PUBKEY, isKeyIdentifier>;

TRUST_ANCHOR* anchorAt(const TRUST_ANCHORS* list, int i) {
    return static_cast<TRUST_ANCHOR*>(get_STACK_value(list, i));
}

}  // namespace

template <>
struct zpki::asn1::Describe<TRUST_ANCHOR> {
    using Shape =
        Sequence<Field<&TRUST_ANCHOR::name, zpki::x509::NameCodec>, Field<&TRUST_ANCHOR::publicKey, PubKeyCodec>>;
};

ZPKI_STRUCT_LIFECYCLE(TRUST_ANCHOR)

extern "C" {

ZUNPKI_API PKI_ERROR TRUST_ANCHOR_to_Seq(const TRUST_ANCHOR* anchor, ASN1_UNIT** node) {
    if (!anchor || !anchor->name || !anchor->publicKey || !node)
        return PKI_ERR(L_CPV, F_TRUST_ANCHOR_TO_SEQ, ERR_R_NULL_ARGUMENT);
    return Family<TRUST_ANCHOR>::toSeq(anchor, node, L_CPV | F_TRUST_ANCHOR_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_TRUST_ANCHOR(const ASN1_UNIT* node, TRUST_ANCHOR** anchor) {
    if (!node || !anchor) return PKI_ERR(L_CPV, F_SEQ_TO_TRUST_ANCHOR, ERR_R_NULL_ARGUMENT);
    if (getSequenceChildNum(node) != 2) return PKI_ERR(L_CPV, F_SEQ_TO_TRUST_ANCHOR, ERR_R_INVALID_ELEMENT);
    return Family<TRUST_ANCHOR>::fromSeq(node, anchor, L_CPV | F_SEQ_TO_TRUST_ANCHOR);
}

ZUNPKI_API TRUST_ANCHORS* new_TRUST_ANCHORS(void) { return new_STACK(); }

ZUNPKI_API void free_TRUST_ANCHORS(TRUST_ANCHORS* list) {
    free_STACK_values(list, [](void* a) { free_TRUST_ANCHOR(static_cast<TRUST_ANCHOR*>(a)); });
}

ZUNPKI_API int add_TRUST_ANCHORS(TRUST_ANCHORS* list, const TRUST_ANCHOR* anchor) {
    if (!list || !anchor || !anchor->name || !anchor->publicKey) return 1;
    TRUST_ANCHOR* copy = dup_TRUST_ANCHOR(anchor);
    if (!copy) return 1;
    if (push_STACK_value(list, copy) == 0) {
        free_TRUST_ANCHOR(copy);
        return 1;
    }
    return 0;
}

ZUNPKI_API int get_TRUST_ANCHORS_index_by_TRUST_ANCHOR(const TRUST_ANCHORS* list, const TRUST_ANCHOR* anchor) {
    if (!list || !anchor || !anchor->name || !anchor->publicKey) return -1;
    try {
        const zpki::x509::NameKey name = zpki::x509::nameKey(anchor->name);
        for (int i = 0; i < get_STACK_count(list); ++i) {
            const TRUST_ANCHOR* a = anchorAt(list, i);
            if (a && a->name && a->publicKey && zpki::x509::namesMatch(name, zpki::x509::nameKey(a->name)) &&
                zpki::x509::path::keysEqual(a->publicKey, anchor->publicKey))
                return i;
        }
    } catch (const std::bad_alloc&) {
    }
    return -1;
}

}  // extern "C"
