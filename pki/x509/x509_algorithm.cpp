// AlgorithmIdentifier records and lists, and DigestInfo.
#include <zunPKI/x509/x509_key.h>

#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/asn1_struct.hpp"
#include "asn1/codec_util.hpp"
#include "x509/x509_algorithm.hpp"
#include "x509/x509_key.hpp"
#include "x509/x509_key_internal.hpp"
#include "x509/x509_list.hpp"

using namespace zpki::x509::keys;

// ===========================================================================
// Algorithm identifiers

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

}  // extern "C"

// ===========================================================================
// DigestInfo

extern "C" {

ZUNPKI_API PKI_ERROR X509_SIGN_to_Seq(const X509_SIGN* sign, ASN1_UNIT** node) {
    if (!sign || !node) return PKI_ERR(L_X509V3, F_X509_SIGN_TO_SEQ, ERR_R_NULL_ARGUMENT);
    if (!sign->digestAlgorithm || !sign->digest) return PKI_ERR(L_X509V3, F_X509_SIGN_TO_SEQ, ERR_R_INVALID_ELEMENT);
    return Family<X509_SIGN>::toSeq(sign, node, L_X509V3 | F_X509_SIGN_TO_SEQ);
}

// Lenient on purpose (a wrapper, absent parameters, whatever the node's
// lengths were): nothing that decides whether a signature is good reads
// through it; the RSA verifiers compare the whole DER block they expect.
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

}  // extern "C"
