// PKCS#12 records and their DER codecs.
#include <zunPKI/pkcs/pkcs12.h>

#include <cstring>

#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/asn1_objects.h>
#include "pkcs/pkcs7.hpp"
#include "pkcs/pkcs_codecs.hpp"
#include "x509/x509_attr.hpp"
#include "x509/x509_list.hpp"

using namespace zpki::asn1;
namespace ber = zpki::ber;
namespace der = zpki::der;
using zpki::Owned;
using zpki::pkcs7::rowOf;

namespace {

using Node = Owned<ASN1_UNIT, free_ASN1_UNIT>;
using Attributes = zpki::x509::AttributesCodec;

PKI_ERROR code(unsigned func, unsigned reason) { return PKI_ERR(L_PKCS12, func, reason); }

void freeBagList(STACK* list) { zpki::x509::freeList<P12_SAFEBAG, free_P12_SAFEBAG>(list); }

// Decodes node into a new record with fill(element, record), which returns 0
// or a code; the record goes to *out (into the caller's record, if any).
template <class T, void (*Free)(T*), void (*Clean)(T*), class Fill>
PKI_ERROR decodeNew(const ASN1_UNIT* node, T** out, unsigned func, Fill fill) {
    if (!node || !out) return code(func, ERR_R_NULL_ARGUMENT);
    zpki::der::Element e;
    if (!zpki::asn1::elementOf(node, e)) return code(func, ERR_ASN1_DECODING);
    Owned<T, Free> made(PKI_NEW(T));
    if (!made) return code(func, ERR_R_ALLOC);
    if (PKI_ERROR rc = fill(e, *made)) return rc;
    zpki::pkcs::deliver<Clean>(made, out);
    return 0;
}

}  // namespace

// ---- MAC data ------------------------------------------------------------------

// The members, for the life cycle; the codec is written out below (the
// digest algorithm and the value sit in a DigestInfo of their own).
template <>
struct zpki::asn1::Describe<P12_MAC_DATA> {
    using M = P12_MAC_DATA;
    using Shape = Sequence<Field<&M::algorithm, Oid>, Field<&M::digest, OctetString>, Field<&M::macSalt, OctetString>,
                           Field<&M::iterations, Optional<Integer>>>;
};
ZPKI_STRUCT_LIFECYCLE(P12_MAC_DATA)

namespace {

// A SEQUENCE built by fill(node), appended to parent.
template <class Fill>
bool appendSequence(ASN1_UNIT* parent, Fill fill) {
    Node seq(new_ASN1_UNIT());
    if (!seq || !fill(seq.get())) return false;
    seq->tag[0] = 0x30;
    return appendNode(parent, seq.release());
}

int encodeMacData(const P12_MAC_DATA& m, ASN1_UNIT* target) {
    if (!m.algorithm || !m.digest || !m.macSalt) return ERR_R_INVALID_ELEMENT;
    const bool ok =
        appendSequence(target,
                       [&](ASN1_UNIT* mac) {
                           return appendSequence(mac,
                                                 [&](ASN1_UNIT* alg) {
                                                     return Oid::encode(m.algorithm, alg) &&
                                                            addToDERSequence(alg, ASN1_TAG_NULL, nullptr, 0) == 0;
                                                 }) &&
                                  OctetString::encode(m.digest, mac);
                       }) &&
        OctetString::encode(m.macSalt, target) && (!m.iterations || Integer::encode(m.iterations, target));
    return ok ? 0 : ERR_ASN1_ENCODING;
}

// The next element, which C reads into v.
template <class C>
bool readNext(Decoder& d, typename C::Value& v) {
    Element e;
    return d.next(e) && C::matches(e.identifier) && C::decodeContents(e, v);
}

// The children of a constructed element with that identifier.
bool openElement(const Element& e, uint8_t identifier, Decoder& out) {
    if (e.identifier != identifier) return false;
    out = Decoder(der::Cursor(e.contents, e.contentsSize));
    return true;
}

bool decodeMacData(const Element& whole, P12_MAC_DATA& m) {
    Decoder d{der::Cursor()}, mac{der::Cursor()}, alg{der::Cursor()};
    Element e, a;
    if (!openElement(whole, 0x30, d) || !d.next(e) || !openElement(e, 0x30, mac) || !mac.next(a) ||
        !openElement(a, 0x30, alg) || !readNext<Oid>(alg, m.algorithm))
        return false;
    // The parameters (NULL, or none) are not read.
    Element params;
    if (alg.more() && (!alg.next(params) || alg.more())) return false;
    if (!readNext<OctetString>(mac, m.digest) || mac.more() || !readNext<OctetString>(d, m.macSalt)) return false;
    if (d.more() && !readNext<Integer>(d, m.iterations)) return false;
    return !d.more();
}

}  // namespace

extern "C" {

ZUNPKI_API PKI_ERROR P12_MAC_DATA_to_Seq(const P12_MAC_DATA* mac, ASN1_UNIT** node) {
    constexpr unsigned LF = L_PKCS12 | F_P12_MAC_DATA_TO_SEQ;
    if (!mac || !node) return code(F_P12_MAC_DATA_TO_SEQ, ERR_R_NULL_ARGUMENT);
    return zpki::x509::encodeInto(node, LF, 0x30, [&](ASN1_UNIT* target) { return encodeMacData(*mac, target); });
}

ZUNPKI_API PKI_ERROR Seq_to_P12_MAC_DATA(const ASN1_UNIT* node, P12_MAC_DATA** mac) {
    return decodeNew<P12_MAC_DATA, free_P12_MAC_DATA, clean_P12_MAC_DATA>(
        node, mac, F_SEQ_TO_P12_MAC_DATA, [](const Element& e, P12_MAC_DATA& m) {
            return decodeMacData(e, m) ? 0 : code(F_SEQ_TO_P12_MAC_DATA, ERR_ASN1_DECODING);
        });
}

}  // extern "C"

// ---- PFX ---------------------------------------------------------------------------

namespace {

using zpki::pkcs::isSequence;
using ContentInfoMember = ByFunctions<P7_CONTENT_INFO, new_P7_CONTENT_INFO, free_P7_CONTENT_INFO, dup_P7_CONTENT_INFO,
                                      cmp_P7_CONTENT_INFO, P7_CONTENT_INFO_to_Seq, Seq_to_P7_CONTENT_INFO, isSequence>;
using MacDataMember = ByFunctions<P12_MAC_DATA, new_P12_MAC_DATA, free_P12_MAC_DATA, dup_P12_MAC_DATA, cmp_P12_MAC_DATA,
                                  P12_MAC_DATA_to_Seq, Seq_to_P12_MAC_DATA, isSequence>;

using zpki::x509::decodeRecord;

}  // namespace

template <>
struct zpki::asn1::Describe<PKCS12> {
    using Shape = Sequence<Field<&PKCS12::version, Integer>, Field<&PKCS12::authSafe, ContentInfoMember>,
                           Field<&PKCS12::macData, MacDataMember>>;
};
ZPKI_STRUCT_LIFECYCLE(PKCS12)

extern "C" {

ZUNPKI_API PKI_ERROR P12_PFX_to_Seq(const PKCS12* pfx, ASN1_UNIT** node) {
    return Family<PKCS12>::toSeq(pfx, node, L_PKCS12 | F_P12_PFX_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_P12_PFX(const ASN1_UNIT* node, PKCS12** pfx) {
    constexpr unsigned F = F_SEQ_TO_P12_PFX;
    return decodeNew<PKCS12, free_PKCS12, clean_PKCS12>(node, pfx, F, [](const Element& whole, PKCS12& r) {
        Decoder d{der::Cursor()};
        Element e;
        // The version is not checked.
        if (!openElement(whole, 0x30, d) || !readNext<Integer>(d, r.version) || !d.next(e) || e.identifier != 0x30)
            return code(F, ERR_ASN1_DECODING);
        if (PKI_ERROR rc = decodeRecord(e, Seq_to_P7_CONTENT_INFO, r.authSafe, L_PKCS12 | F)) return rc;
        // There is no PFX without MAC data.
        if (!d.more()) return code(F_SEQ_TO_P12_MAC_DATA, ERR_R_NULL_ARGUMENT);
        if (!d.next(e) || e.identifier != 0x30) return code(F, ERR_ASN1_DECODING);
        if (PKI_ERROR rc = decodeRecord(e, Seq_to_P12_MAC_DATA, r.macData, L_PKCS12 | F)) return rc;
        return d.more() ? code(F, ERR_ASN1_DECODING) : 0;
    });
}

ZUNPKI_API BIGINT* get_PKCS12_MAC_iter(const PKCS12* pfx) {
    return pfx && pfx->macData ? pfx->macData->iterations : nullptr;
}

ZUNPKI_API int set_PKCS12_MAC_iter(PKCS12* pfx, const unsigned char* bytes, int len) {
    if (!pfx || !pfx->macData || !bytes || len <= 0) return 1;
    BIGINT* count = VSC_Binary_To_BIGINT(nullptr, bytes, len);
    if (!count) return 1;
    VSC_Free_BIGINT(pfx->macData->iterations);
    pfx->macData->iterations = count;
    return 0;
}

}  // extern "C"

// ---- CertBag, CRLBag, SecretBag ---------------------------------------------------

// The members, for the life cycle; the value's encoding follows the type.
template <>
struct zpki::asn1::Describe<P12_BAGS> {
    using Shape = Sequence<Field<&P12_BAGS::type, Oid>, Field<&P12_BAGS::value, Explicit<0, AnyString>>>;
};
ZPKI_STRUCT_LIFECYCLE(P12_BAGS)

namespace {

int encodeBagBody(const P12_BAGS& b, ASN1_UNIT* target) {
    if (!b.type || !b.value) return ERR_R_INVALID_ELEMENT;
    if (!Oid::encode(b.type, target)) return ERR_ASN1_ENCODING;
    switch (rowOf(b.type)) {
        case P12_X509_CERTIFICATE:
        case P12_X509_CRL:
            return Explicit<0, OctetString>::encode(b.value, target) ? 0 : ERR_ASN1_ENCODING;
        case P12_SDSI_CERTIFICATE:
            return Explicit<0, IA5String>::encode(b.value, target) ? 0 : ERR_ASN1_ENCODING;
        default:
            // Any other value goes out with the tag it carries.
            if (b.value->type <= 0 || b.value->type > 0xff) return ERR_R_INVALID_ELEMENT;
            return Explicit<0, zpki::x509::ValueString>::encode(b.value, target) ? 0 : ERR_ASN1_ENCODING;
    }
}

bool decodeBagBody(const Element& whole, P12_BAGS& b) {
    Decoder d{der::Cursor()};
    if (!openElement(whole, 0x30, d) || !readNext<Oid>(d, b.type)) return false;
    bool ok;
    switch (rowOf(b.type)) {
        case P12_X509_CERTIFICATE:
        case P12_X509_CRL:
            ok = readNext<Explicit<0, OctetString>>(d, b.value);
            break;
        case P12_SDSI_CERTIFICATE:
            ok = readNext<Explicit<0, IA5String>>(d, b.value);
            break;
        default:
            ok = readNext<Explicit<0, AnyString>>(d, b.value);
            break;
    }
    return ok && !d.more();
}

}  // namespace

extern "C" {

ZUNPKI_API PKI_ERROR P12_BAGS_to_Seq(const P12_BAGS* bags, ASN1_UNIT** node) {
    if (!bags || !node) return code(F_P12_BAGS_TO_SEQ, ERR_R_NULL_ARGUMENT);
    return zpki::x509::encodeInto(node, L_PKCS12 | F_P12_BAGS_TO_SEQ, 0x30,
                                  [&](ASN1_UNIT* target) { return encodeBagBody(*bags, target); });
}

ZUNPKI_API PKI_ERROR Seq_to_P12_BAGS(const ASN1_UNIT* node, P12_BAGS** bags) {
    return decodeNew<P12_BAGS, free_P12_BAGS, clean_P12_BAGS>(
        node, bags, F_SEQ_TO_P12_BAGS, [](const Element& e, P12_BAGS& b) {
            return decodeBagBody(e, b) ? 0 : code(F_SEQ_TO_P12_BAGS, ERR_ASN1_DECODING);
        });
}

}  // extern "C"

// ---- SafeBag -------------------------------------------------------------------------

namespace {

// What a bag's value holds, by its bagId.
enum class Value { Key, Shrouded, Body, Nested, Other };

Value valueOf(const OBJECT_IDENTIFIER* bagId) {
    switch (rowOf(bagId)) {
        case P12_KEY_BAG:
            return Value::Key;
        case P12_SHROUDED_KEY_BAG:
            return Value::Shrouded;
        case P12_CERT_BAG:
        case P12_CRL_BAG:
        case P12_SECRET_BAG:
            return Value::Body;
        case P12_SAFE_CONTENTS_BAG:
            return Value::Nested;
        default:
            return Value::Other;
    }
}

void releaseValue(Value kind, void*& v) {
    switch (kind) {
        case Value::Key:
            free_P8_PRIV_KEY_INFO(static_cast<P8_PRIV_KEY_INFO*>(v));
            break;
        case Value::Shrouded:
            free_ASN1_STRING(static_cast<ASN1_STRING*>(v));
            break;
        case Value::Body:
            free_P12_BAGS(static_cast<P12_BAGS*>(v));
            break;
        case Value::Nested:
            freeBagList(static_cast<STACK*>(v));
            break;
        case Value::Other:
            free_ASN1_UNIT(static_cast<ASN1_UNIT*>(v));
            break;
    }
    v = nullptr;
}

void* copyValue(Value kind, const void* v) {
    switch (kind) {
        case Value::Key:
            return dup_P8_PRIV_KEY_INFO(static_cast<const P8_PRIV_KEY_INFO*>(v));
        case Value::Shrouded:
            return dup_ASN1_STRING(static_cast<const ASN1_STRING*>(v));
        case Value::Body:
            return dup_P12_BAGS(static_cast<const P12_BAGS*>(v));
        case Value::Nested:
            return zpki::x509::dupList<P12_SAFEBAG, dup_P12_SAFEBAG, free_P12_SAFEBAG>(static_cast<const STACK*>(v));
        case Value::Other:
            return dup_ASN1_UNIT(static_cast<const ASN1_UNIT*>(v));
    }
    return nullptr;
}

int compareValue(Value kind, const void* a, const void* b) {
    switch (kind) {
        case Value::Key:
            return cmp_P8_PRIV_KEY_INFO(static_cast<const P8_PRIV_KEY_INFO*>(a),
                                        static_cast<const P8_PRIV_KEY_INFO*>(b));
        case Value::Shrouded:
            return cmp_ASN1_STRING(static_cast<const ASN1_STRING*>(a), static_cast<const ASN1_STRING*>(b));
        case Value::Body:
            return cmp_P12_BAGS(static_cast<const P12_BAGS*>(a), static_cast<const P12_BAGS*>(b));
        case Value::Nested: {
            const auto* x = static_cast<const STACK*>(a);
            const auto* y = static_cast<const STACK*>(b);
            const int nx = zpki::x509::countOf(x), ny = zpki::x509::countOf(y);
            if (nx != ny) return nx < ny ? -1 : 1;
            for (int i = 0; i < nx; ++i)
                if (int c =
                        cmp_P12_SAFEBAG(zpki::x509::itemAt<P12_SAFEBAG>(x, i), zpki::x509::itemAt<P12_SAFEBAG>(y, i)))
                    return c;
            return 0;
        }
        case Value::Other: {
            ASN1_UNIT* x = const_cast<ASN1_UNIT*>(static_cast<const ASN1_UNIT*>(a));
            ASN1_UNIT* y = const_cast<ASN1_UNIT*>(static_cast<const ASN1_UNIT*>(b));
            return AnyNode::compare(x, y);
        }
    }
    return 0;
}

// The one element of a shrouded bag's value, kept as the DER received.
Node shroudedNode(const ASN1_STRING* der) {
    if (!der || der->length <= 0 || !der->data) return nullptr;
    der::Cursor in(der->data, static_cast<size_t>(der->length));
    Element e;
    if (!der::getElement(in, e) || !in.empty() || e.identifier != 0x30) return nullptr;
    return Node(ber::nodeFromElement(e));
}

// The value appended to the [0] wrapper: 0, a reason or a whole code.
int encodeValue(Value kind, const void* v, ASN1_UNIT* wrapper) {
    ASN1_UNIT* child = nullptr;
    PKI_ERROR rc = 0;
    switch (kind) {
        case Value::Key:
            rc = P8_PRIV_KEY_INFO_to_Seq(static_cast<const P8_PRIV_KEY_INFO*>(v), &child);
            break;
        case Value::Shrouded:
            child = shroudedNode(static_cast<const ASN1_STRING*>(v)).release();
            if (!child) return ERR_R_INVALID_ELEMENT;
            break;
        case Value::Body:
            rc = P12_BAGS_to_Seq(static_cast<const P12_BAGS*>(v), &child);
            break;
        case Value::Nested:
            rc = P12_SAFEBAGS_to_Seq(static_cast<const STACK*>(v), &child);
            break;
        case Value::Other:
            if (!(child = dup_ASN1_UNIT(static_cast<const ASN1_UNIT*>(v)))) return ERR_R_ALLOC;
            break;
    }
    if (rc != 0) return static_cast<int>(rc);
    return appendNode(wrapper, child) ? 0 : ERR_ASN1_ENCODING;
}

int encodeBag(const P12_SAFEBAG& bag, ASN1_UNIT* target) {
    // A bag without a value would not read back.
    if (!bag.bagId || !bag.bagValue) return ERR_R_INVALID_ELEMENT;
    if (!Oid::encode(bag.bagId, target)) return ERR_ASN1_ENCODING;
    Node wrapper(new_ASN1_UNIT());
    if (!wrapper) return ERR_R_ALLOC;
    if (int rc = encodeValue(valueOf(bag.bagId), bag.bagValue, wrapper.get())) return rc;
    wrapper->tag[0] = 0xa0;
    if (!appendNode(target, wrapper.release())) return ERR_ASN1_ENCODING;
    if (zpki::x509::countOf(bag.bagAttributes) > 0 && !Attributes::encode(bag.bagAttributes, target))
        return ERR_ASN1_ENCODING;
    return 0;
}

PKI_ERROR decodeBags(const ASN1_UNIT* node, STACK** out, int depth, unsigned func);

// The value element of a bag into bag.bagValue.
PKI_ERROR decodeValue(const Element& v, P12_SAFEBAG& bag, int depth) {
    const PKI_ERROR malformed = code(F_SEQ_TO_P12_SAFEBAG, ERR_ASN1_DECODING);
    const Value kind = valueOf(bag.bagId);
    if (kind != Value::Other && v.identifier != 0x30) return malformed;
    switch (kind) {
        case Value::Key: {
            P8_PRIV_KEY_INFO* key = nullptr;
            PKI_ERROR rc = decodeRecord(v, Seq_to_P8_PRIV_KEY_INFO, key, L_PKCS12 | F_SEQ_TO_P12_SAFEBAG);
            bag.bagValue = key;
            return rc;
        }
        case Value::Shrouded:
            // Kept encrypted, byte for byte as received.
            bag.bagValue = new_OCTET_STRING(v.start, static_cast<int>(v.totalSize));
            bag.algorithm = dup_OBJECT_IDENTIFIER(bag.bagId);
            return bag.bagValue && bag.algorithm ? 0 : code(F_SEQ_TO_P12_SAFEBAG, ERR_R_ALLOC);
        case Value::Body: {
            Owned<P12_BAGS, free_P12_BAGS> body(new_P12_BAGS());
            if (!body) return code(F_SEQ_TO_P12_SAFEBAG, ERR_R_ALLOC);
            if (!decodeBagBody(v, *body)) return code(F_SEQ_TO_P12_BAGS, ERR_ASN1_DECODING);
            bag.bagValue = body.release();
            return 0;
        }
        case Value::Nested: {
            if (depth >= P12_MAX_BAG_NESTING) return malformed;
            Node inner(ber::nodeFromElement(v));
            STACK* bags = nullptr;
            PKI_ERROR rc = inner ? decodeBags(inner.get(), &bags, depth + 1, F_SEQ_TO_P12_SAFEBAGS)
                                 : code(F_SEQ_TO_P12_SAFEBAG, ERR_R_ALLOC);
            bag.bagValue = bags;
            return rc;
        }
        case Value::Other:
            bag.bagValue = ber::nodeFromElement(v);
            return bag.bagValue ? 0 : code(F_SEQ_TO_P12_SAFEBAG, ERR_R_ALLOC);
    }
    return malformed;
}

// A SafeBag into an empty record (which the caller releases on failure).
PKI_ERROR decodeBag(const Element& whole, P12_SAFEBAG& bag, int depth) {
    const PKI_ERROR malformed = code(F_SEQ_TO_P12_SAFEBAG, ERR_ASN1_DECODING);
    Decoder d{der::Cursor()}, wrapped{der::Cursor()};
    Element w, v;
    if (!openElement(whole, 0x30, d) || !readNext<Oid>(d, bag.bagId)) return malformed;
    if (!d.next(w) || !openElement(w, 0xa0, wrapped) || !wrapped.next(v) || wrapped.more()) return malformed;
    if (PKI_ERROR rc = decodeValue(v, bag, depth)) return rc;
    if (d.more() && !readNext<Attributes>(d, bag.bagAttributes)) return malformed;
    return d.more() ? malformed : 0;
}

// A SafeContents (at least one bag) into a new list.
// A SafeContents (at least one bag) appended to *out (made when null).
PKI_ERROR decodeBags(const ASN1_UNIT* node, STACK** out, int depth, unsigned func) {
    return zpki::x509::decodeItemsInto<P12_SAFEBAG, free_P12_SAFEBAG>(
        node, out, L_PKCS12 | func, [depth](const Element& x, P12_SAFEBAG*& bag) -> PKI_ERROR {
            if (!(bag = new_P12_SAFEBAG())) return code(F_SEQ_TO_P12_SAFEBAG, ERR_R_ALLOC);
            return decodeBag(x, *bag, depth);
        });
}

// The certificate decoder as readDER_from_Binary calls it.
PKI_ERROR decodeCert(ASN1_UNIT* node, void** cert) {
    return Seq_to_X509_CERT(node, reinterpret_cast<X509_CERT**>(cert));
}

}  // namespace

extern "C" {

ZUNPKI_API P12_SAFEBAG* new_P12_SAFEBAG(void) { return PKI_NEW(P12_SAFEBAG); }

ZUNPKI_API void clean_P12_SAFEBAG(P12_SAFEBAG* bag) {
    if (!bag) return;
    if (bag->bagValue) releaseValue(valueOf(bag->bagId), bag->bagValue);
    free_ASN1_STRING(bag->bagId);
    free_ASN1_STRING(bag->algorithm);
    free_X509_ATTRIBUTES(bag->bagAttributes);
    std::memset(static_cast<void*>(bag), 0, sizeof *bag);
}

ZUNPKI_API void free_P12_SAFEBAG(P12_SAFEBAG* bag) {
    if (!bag) return;
    clean_P12_SAFEBAG(bag);
    PKI_FREE(bag);
}

ZUNPKI_API P12_SAFEBAG* dup_P12_SAFEBAG(const P12_SAFEBAG* bag) {
    if (!bag) return nullptr;
    Owned<P12_SAFEBAG, free_P12_SAFEBAG> copy(new_P12_SAFEBAG());
    if (!copy) return nullptr;
    // The value first: it is released by the kind of the bagId.
    if (bag->bagId && !(copy->bagId = dup_OBJECT_IDENTIFIER(bag->bagId))) return nullptr;
    if (bag->bagValue && !(copy->bagValue = copyValue(valueOf(bag->bagId), bag->bagValue))) return nullptr;
    if (bag->algorithm && !(copy->algorithm = dup_OBJECT_IDENTIFIER(bag->algorithm))) return nullptr;
    if (bag->bagAttributes && !(copy->bagAttributes = dup_X509_ATTRIBUTES(bag->bagAttributes))) return nullptr;
    return copy.release();
}

ZUNPKI_API int cmp_P12_SAFEBAG(const P12_SAFEBAG* a, const P12_SAFEBAG* b) {
    if (a == b) return 0;
    if (!a || !b) return a ? 1 : -1;
    if (int c = cmp_ASN1_STRING(a->bagId, b->bagId)) return c;
    if (int c = cmp_ASN1_STRING(a->algorithm, b->algorithm)) return c;
    if (!a->bagValue || !b->bagValue) {
        if (a->bagValue != b->bagValue) return a->bagValue ? 1 : -1;
    } else if (int c = compareValue(valueOf(a->bagId), a->bagValue, b->bagValue)) {
        return c;
    }
    return Attributes::compare(a->bagAttributes, b->bagAttributes);
}

ZUNPKI_API PKI_ERROR P12_SAFEBAG_to_Seq(const P12_SAFEBAG* bag, ASN1_UNIT** node) {
    if (!bag || !node) return code(F_P12_SAFEBAG_TO_SEQ, ERR_R_NULL_ARGUMENT);
    return zpki::x509::encodeInto(node, L_PKCS12 | F_P12_SAFEBAG_TO_SEQ, 0x30,
                                  [&](ASN1_UNIT* target) { return encodeBag(*bag, target); });
}

ZUNPKI_API PKI_ERROR Seq_to_P12_SAFEBAG(const ASN1_UNIT* node, P12_SAFEBAG** bag) {
    return decodeNew<P12_SAFEBAG, free_P12_SAFEBAG, clean_P12_SAFEBAG>(
        node, bag, F_SEQ_TO_P12_SAFEBAG, [](const Element& e, P12_SAFEBAG& b) { return decodeBag(e, b, 0); });
}

// ---- Lists -----------------------------------------------------------------------------

ZUNPKI_API P12_SAFEBAGS* new_P12_SAFEBAGS(void) { return new_STACK(); }

ZUNPKI_API void free_P12_SAFEBAGS(P12_SAFEBAGS* bags) { freeBagList(bags); }

ZUNPKI_API PKI_ERROR P12_SAFEBAGS_to_Seq(const P12_SAFEBAGS* bags, ASN1_UNIT** node) {
    return zpki::x509::encodeRecords<P12_SAFEBAG, P12_SAFEBAG_to_Seq>(bags, node, L_PKCS12 | F_P12_SAFEBAGS_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_P12_SAFEBAGS(const ASN1_UNIT* node, P12_SAFEBAGS** bags) {
    return decodeBags(node, bags, 0, F_SEQ_TO_P12_SAFEBAGS);
}

ZUNPKI_API P12_AUTH_SAFE* new_P12_AUTH_SAFE(void) { return new_STACK(); }

ZUNPKI_API void free_P12_AUTH_SAFE(P12_AUTH_SAFE* safes) {
    zpki::x509::freeList<P7_CONTENT_INFO, free_P7_CONTENT_INFO>(safes);
}

ZUNPKI_API PKI_ERROR P12_AUTH_SAFE_to_Seq(const P12_AUTH_SAFE* safes, ASN1_UNIT** node) {
    return zpki::x509::encodeRecords<P7_CONTENT_INFO, P7_CONTENT_INFO_to_Seq>(safes, node,
                                                                              L_PKCS12 | F_P12_AUTH_SAFE_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_P12_AUTH_SAFE(const ASN1_UNIT* node, P12_AUTH_SAFE** safes) {
    return zpki::x509::decodeRecordsInto<P7_CONTENT_INFO, free_P7_CONTENT_INFO, Seq_to_P7_CONTENT_INFO>(
        node, safes, L_PKCS12 | F_SEQ_TO_P12_AUTH_SAFE);
}

// ---- Certificates and the authenticated safe --------------------------------------

ZUNPKI_API PKI_ERROR X509_CERT_to_CertBag(const X509_CERT* cert, P12_SAFEBAG** bag) {
    constexpr unsigned F = F_X509_CERT_TO_CERTBAG;
    if (!cert || !bag) return code(F, ERR_R_NULL_ARGUMENT);
    int len = -1;
    zpki::Buffer der = zpki::pkcs::derOf<X509_CERT>(cert, X509_CERT_to_Seq, len);
    Owned<P12_SAFEBAG, free_P12_SAFEBAG> made(new_P12_SAFEBAG());
    Owned<P12_BAGS, free_P12_BAGS> body(new_P12_BAGS());
    if (!der || !made || !body || !(body->type = index_to_OBJECT_IDENTIFIER(P12_X509_CERTIFICATE)) ||
        !(body->value = new_OCTET_STRING(der.data(), len)) || !(made->bagId = index_to_OBJECT_IDENTIFIER(P12_CERT_BAG)))
        return code(F, ERR_R_ALLOC);
    made->bagValue = body.release();
    zpki::pkcs::deliver<clean_P12_SAFEBAG>(made, bag);
    return 0;
}

ZUNPKI_API PKI_ERROR CertBag_to_X509_CERT(const P12_SAFEBAG* bag, X509_CERT** cert) {
    constexpr unsigned F = F_CERTBAG_TO_X509_CERT;
    if (!bag || !bag->bagValue || !cert) return code(F, ERR_R_NULL_ARGUMENT);
    if (rowOf(bag->bagId) != P12_CERT_BAG) return code(F, ERR_R_INVALID_ELEMENT);
    const auto* body = static_cast<const P12_BAGS*>(bag->bagValue);
    if (rowOf(body->type) != P12_X509_CERTIFICATE) return code(F, ERR_R_INVALID_ELEMENT);
    if (!body->value) return code(F, ERR_R_NULL_ARGUMENT);
    return readDER_from_Binary(reinterpret_cast<void**>(cert), decodeCert, body->value->data, body->value->length);
}

ZUNPKI_API PKI_ERROR PKCS12_to_P12_AUTH_SAFE(const PKCS12* pfx, P12_AUTH_SAFE** out) {
    constexpr unsigned F = F_SEQ_TO_P12_AUTH_SAFE;
    if (!pfx || !out) return code(F, ERR_R_NULL_ARGUMENT);
    const auto* data = zpki::pkcs7::contentAs<ASN1_STRING>(pfx->authSafe, P7_DATA);
    if (!data || !data->data || data->length <= 0) return code(F, ERR_R_INVALID_ELEMENT);
    // The bytes the MAC covers are exactly one AuthenticatedSafe.
    der::Cursor in(data->data, static_cast<size_t>(data->length));
    Element e;
    if (!der::getElement(in, e) || !in.empty()) return code(F, ERR_ASN1_DECODING);
    Node node(ber::nodeFromElement(e));
    if (!node) return code(F, ERR_R_ALLOC);
    return Seq_to_P12_AUTH_SAFE(node.get(), out);
}

ZUNPKI_API PKI_ERROR P12_AUTH_SAFE_to_PKCS12(const P12_AUTH_SAFE* safes, PKCS12** pfx) {
    if (!safes || !pfx) return 1;
    int len = -1;
    zpki::Buffer der = zpki::pkcs::derOf<P12_AUTH_SAFE>(safes, P12_AUTH_SAFE_to_Seq, len);
    if (!der) return 1;
    Owned<PKCS12, free_PKCS12> made;
    PKCS12* target = *pfx;
    if (!target) {
        made.reset(new_PKCS12());
        if (!made || !(made->version = zpki::pkcs7::smallBigint(3))) return code(F_P12_AUTH_SAFE_TO_SEQ, ERR_R_ALLOC);
        target = made.get();
    }
    if (PKI_ERROR rc = gen_PKCS7_DATA_from_Binary(&target->authSafe, der.data(), len)) return rc;
    if (made) *pfx = made.release();
    return 0;
}

}  // extern "C"
