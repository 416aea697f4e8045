// PKCS#7 records, their DER codecs, and typing and versioning a message.
#include <zunPKI/pkcs/pkcs7.h>

#include <cstring>
#include <new>

#include <zunPKI/asn1/asn1_objects.h>
#include "pkcs/pkcs7.hpp"
#include "pkcs/pkcs_codecs.hpp"
#include "x509/issuer_and_serial_number.hpp"
#include "x509/x509_attr.hpp"
#include "x509/x509_cert.hpp"
#include "x509/x509_crl.hpp"
#include "x509/x509_list.hpp"

using namespace zpki::asn1;
namespace ber = zpki::ber;
namespace der = zpki::der;
using zpki::Owned;
using zpki::pkcs7::code;
using zpki::pkcs7::rowOf;
using zpki::pkcs7::typeOf;

namespace {

using Node = Owned<ASN1_UNIT, free_ASN1_UNIT>;
using Received = p7_received_attrs_st;

// ---- Members kept in memory only -------------------------------------------

// A member the encoding never carries: released and copied by Ops, never
// compared.
template <class V, class Ops>
struct InMemory {
    using Value = V;
    static constexpr bool kOptional = true;
    static bool matches(uint8_t) { return false; }
    static bool decodeContents(const Element&, Value&) { return false; }
    static bool encode(const Value&, ASN1_UNIT*) { return false; }
    static bool present(const Value&) { return false; }
    static void release(Value& v) { Ops::release(v); }
    static bool copy(const Value& from, Value& to) { return Ops::copy(from, to); }
    static int compare(const Value&, const Value&) { return 0; }
};

struct KeyOps {
    static void release(ASYMMETRIC_KEY*& v) {
        free_ASYMMETRIC_KEY(v);
        v = nullptr;
    }
    static bool copy(ASYMMETRIC_KEY* from, ASYMMETRIC_KEY*& to) {
        if (!from) return true;
        to = from->kind == ASYMMETRIC_KEY_EMPTY ? new_ASYMMETRIC_KEY() : dup_ASYMMETRIC_KEY(from);
        return to != nullptr;
    }
};

// A running cipher is not copied: a copy starts without one.
struct CipherOps {
    static void release(BLOCK_CIPHER_UNIT*& v) {
        VSC_Free_BLOCK_CIPHER_Unit(v);
        v = nullptr;
    }
    static bool copy(BLOCK_CIPHER_UNIT*, BLOCK_CIPHER_UNIT*& to) {
        to = nullptr;
        return true;
    }
};

template <class T>
struct PlainOps {
    static void release(T& v) { v = T{}; }
    static bool copy(T from, T& to) {
        to = from;
        return true;
    }
};

Received* newReceived() {
    void* mem = PKI_MALLOC(sizeof(Received));
    return mem ? new (mem) Received() : nullptr;
}

struct ReceivedOps {
    static void release(Received*& v) {
        if (!v) return;
        v->~Received();
        PKI_FREE(v);
        v = nullptr;
    }
    static bool copy(const Received* from, Received*& to) {
        if (!from) return true;
        if (!(to = newReceived())) return false;
        try {
            to->received = from->received;
            to->snapshot = from->snapshot;
        } catch (const std::bad_alloc&) {
            release(to);
            return false;
        }
        return true;
    }
};

using Key = InMemory<ASYMMETRIC_KEY*, KeyOps>;
using Cipher = InMemory<BLOCK_CIPHER_UNIT*, CipherOps>;
using Marker = InMemory<void*, PlainOps<void*>>;
using Flag = InMemory<int, PlainOps<int>>;
using ReceivedAttrs = InMemory<Received*, ReceivedOps>;

// ---- Members ---------------------------------------------------------------

// A list that must hold at least one record to be written or read.
template <class C>
struct NonEmpty : C {
    using Value = typename C::Value;
    static bool decodeContents(const Element& e, Value& out) {
        if (!C::decodeContents(e, out)) return false;
        if (get_STACK_count(out) > 0) return true;
        C::release(out);
        return false;
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) { return get_STACK_count(v) > 0 && C::encode(v, parent); }
};

using zpki::pkcs::AlgorithmId;
using zpki::pkcs::isSequence;
using Ias = Sub<ISSUER_AND_SERIAL_NUMBER>;
using Algorithms = SetOf<AlgorithmId>;
using SignedAttrs = Optional<Implicit<0, zpki::x509::AttributesCodec>>;
using UnsignedAttrs = Optional<Implicit<1, zpki::x509::AttributesCodec>>;
using Certificates = Optional<Implicit<0, SetOf<zpki::x509::CertCodec>>>;
using Crls = Optional<Implicit<1, SetOf<zpki::x509::CrlCodec>>>;
using ContentInfoMember = ByFunctions<P7_CONTENT_INFO, new_P7_CONTENT_INFO, free_P7_CONTENT_INFO, dup_P7_CONTENT_INFO,
                                      cmp_P7_CONTENT_INFO, P7_CONTENT_INFO_to_Seq, Seq_to_P7_CONTENT_INFO, isSequence>;
// SignerInfos read their trailing elements in any order: through the flat decoder.
using SignerInfoMember = ByFunctions<P7_SIGNER_INFO, new_P7_SIGNER_INFO, free_P7_SIGNER_INFO, dup_P7_SIGNER_INFO,
                                     cmp_P7_SIGNER_INFO, P7_SIGNER_INFO_to_Seq, Seq_to_P7_SIGNER_INFO, isSequence>;
using SignerInfoList = SetOf<SignerInfoMember>;
using RecipientInfoList = NonEmpty<SetOf<Sub<P7_RECIPIENT_INFO>>>;
using EncryptedContent = Optional<Implicit<0, OctetString>>;

}  // namespace

template <>
struct zpki::asn1::Describe<P7_SIGNER_INFO> {
    using S = P7_SIGNER_INFO;
    using Shape = Sequence<Field<&S::version, Integer>, Field<&S::issuerAndSerialNumber, Ias>,
                           Field<&S::digestAlgorithm, AlgorithmId>, Field<&S::authenticatedAttributes, SignedAttrs>,
                           Field<&S::digestEncryptionAlgorithm, AlgorithmId>, Field<&S::encryptedDigest, OctetString>,
                           Field<&S::unauthenticatedAttributes, UnsignedAttrs>, Field<&S::key, Key>,
                           Field<&S::received, ReceivedAttrs>>;
};

template <>
struct zpki::asn1::Describe<P7_SIGNED_DATA> {
    using S = P7_SIGNED_DATA;
    using Shape = Sequence<Field<&S::version, Integer>, Field<&S::digestAlgorithms, Algorithms>,
                           Field<&S::contentInfo, ContentInfoMember>, Field<&S::certificates, Certificates>,
                           Field<&S::crls, Crls>, Field<&S::signerInfos, SignerInfoList>, Field<&S::detached, Flag>>;
};

template <>
struct zpki::asn1::Describe<P7_RECIPIENT_INFO> {
    using R = P7_RECIPIENT_INFO;
    using Shape = Sequence<Field<&R::version, Integer>, Field<&R::issuerAndSerialNumber, Ias>,
                           Field<&R::keyEncryptionAlgorithm, AlgorithmId>, Field<&R::encryptedKey, OctetString>,
                           Field<&R::key, Key>>;
};

template <>
struct zpki::asn1::Describe<P7_ENCRYPTED_CONTENT_INFO> {
    using E = P7_ENCRYPTED_CONTENT_INFO;
    using Shape = Sequence<Field<&E::contentType, Oid>, Field<&E::contentEncryptionAlgorithm, AlgorithmId>,
                           Field<&E::encryptedContent, EncryptedContent>, Field<&E::cipher, Cipher>>;
};

template <>
struct zpki::asn1::Describe<P7_ENVELOPED_DATA> {
    using E = P7_ENVELOPED_DATA;
    using Shape =
        Sequence<Field<&E::version, Integer>, Field<&E::recipientInfos, RecipientInfoList>,
                 Field<&E::encryptedContentInfo, Sub<P7_ENCRYPTED_CONTENT_INFO>>, Field<&E::external_output, Marker>>;
};

template <>
struct zpki::asn1::Describe<P7_SIGNED_AND_ENVELOPED_DATA> {
    using S = P7_SIGNED_AND_ENVELOPED_DATA;
    using Shape =
        Sequence<Field<&S::version, Integer>, Field<&S::recipientInfos, RecipientInfoList>,
                 Field<&S::digestAlgorithms, Algorithms>,
                 Field<&S::encryptedContentInfo, Sub<P7_ENCRYPTED_CONTENT_INFO>>, Field<&S::certificates, Certificates>,
                 Field<&S::crls, Crls>, Field<&S::signerInfos, Optional<NonEmpty<SignerInfoList>>>>;
};

template <>
struct zpki::asn1::Describe<P7_DIGESTED_DATA> {
    using D = P7_DIGESTED_DATA;
    using Shape = Sequence<Field<&D::version, Integer>, Field<&D::digestAlgorithm, AlgorithmId>,
                           Field<&D::contentInfo, ContentInfoMember>, Field<&D::digest, OctetString>>;
};

template <>
struct zpki::asn1::Describe<P7_ENCRYPTED_DATA> {
    using E = P7_ENCRYPTED_DATA;
    using Shape = Sequence<Field<&E::version, Integer>, Field<&E::encryptedContentInfo, Sub<P7_ENCRYPTED_CONTENT_INFO>>,
                           Field<&E::external_output, Marker>>;
};

ZPKI_STRUCT_LIFECYCLE(P7_SIGNER_INFO)
ZPKI_STRUCT_LIFECYCLE(P7_SIGNED_DATA)
ZPKI_STRUCT_LIFECYCLE(P7_RECIPIENT_INFO)
ZPKI_STRUCT_LIFECYCLE(P7_ENCRYPTED_CONTENT_INFO)
ZPKI_STRUCT_LIFECYCLE(P7_ENVELOPED_DATA)
ZPKI_STRUCT_LIFECYCLE(P7_SIGNED_AND_ENVELOPED_DATA)
ZPKI_STRUCT_LIFECYCLE(P7_DIGESTED_DATA)
ZPKI_STRUCT_LIFECYCLE(P7_ENCRYPTED_DATA)

namespace {

// ---- Decoding helpers --------------------------------------------------------

// The first children of a constructed element and how many there are.
struct Children {
    static constexpr int kKept = 8;
    Element e[kKept];
    int count = 0;
};

bool readChildren(const Element& whole, Children& out) {
    if (!whole.constructed()) return false;
    Decoder d(der::Cursor(whole.contents, whole.contentsSize));
    while (d.more()) {
        Element x;
        if (!d.next(x)) return false;
        if (out.count < Children::kKept) out.e[out.count] = x;
        ++out.count;
    }
    return true;
}

// One element read by the member codec C into an empty member.
template <class C>
bool readMember(const Element& e, typename C::Value& v) {
    return C::matches(e.identifier) && C::decodeContents(e, v);
}

using zpki::x509::decodeRecord;

// Decodes a SEQUENCE of min to max children into a fresh record with
// fill(children, record, func), which returns a code; the record goes to
// *out on success.
template <auto Free, auto Clean, class T, class Fill>
PKI_ERROR decodeFilled(const ASN1_UNIT* node, T** out, unsigned func, int min, int max, Fill fill) {
    if (!node || !out) return code(func, ERR_R_NULL_ARGUMENT);
    Element whole;
    Children c;
    if (!elementOf(node, whole) || whole.identifier != 0x30 || !readChildren(whole, c))
        return code(func, ERR_ASN1_DECODING);
    if (c.count < min || c.count > max) return code(func, ERR_R_INVALID_ELEMENT);
    Owned<T, Free> made(PKI_NEW(T));
    if (!made) return code(func, ERR_R_ALLOC);
    if (PKI_ERROR rc = fill(c, *made, func)) return rc;
    zpki::pkcs::deliver<Clean>(made, out);
    return 0;
}

// A SEQUENCE of min to max children read in order by the description.
template <class T>
PKI_ERROR decodeOrdered(const ASN1_UNIT* node, T** out, unsigned func, int min, int max) {
    if (!node || !out) return code(func, ERR_R_NULL_ARGUMENT);
    Element whole;
    Children c;
    if (!elementOf(node, whole) || !readChildren(whole, c)) return code(func, ERR_ASN1_DECODING);
    if (c.count < min || c.count > max) return code(func, ERR_R_INVALID_ELEMENT);
    return Family<T>::fromSeq(node, out, L_PKCS7 | func);
}

template <class T>
PKI_ERROR encodeRecord(const T* r, ASN1_UNIT** node, unsigned func) {
    return Family<T>::toSeq(r, node, L_PKCS7 | func);
}

// SET OF records through their flat encoder; an empty list is an empty SET.
template <class T, PKI_ERROR (*ToSeq)(const T*, ASN1_UNIT**)>
PKI_ERROR encodeInfos(const STACK* list, ASN1_UNIT** node, unsigned func) {
    if (!list || !node) return code(func, ERR_R_NULL_ARGUMENT);
    return zpki::x509::encodeInto(node, L_PKCS7 | func, 0x31, [&](ASN1_UNIT* target) -> int {
        for (int i = 0; i < list->count; ++i) {
            ASN1_UNIT* child = nullptr;
            if (!list->items[i]) return ERR_R_INVALID_ELEMENT;
            if (PKI_ERROR rc = ToSeq(static_cast<const T*>(list->items[i]), &child)) return rc;
            if (!appendNode(target, child)) return ERR_ASN1_ENCODING;
        }
        if (!target->tag) {  // an empty SET
            static const uint8_t kNothing = 0;
            if (!ber::setNode(target, 0x31, &kNothing, 0, false)) return ERR_ASN1_ENCODING;
        }
        return 0;
    });
}

// ---- SignerInfo --------------------------------------------------------------

// Keeps the [0] element e as received when our encoding of the list read
// from it is another (BER lengths, constructed strings).
bool keepReceived(const Element& e, P7_SIGNER_INFO& si) {
    zpki::ber::Bytes ours;
    if (!zpki::pkcs7::attributesDer(si.authenticatedAttributes, ours)) return true;
    try {
        zpki::ber::Bytes received(e.start, e.start + e.totalSize);
        received[0] = 0x31;
        if (received == ours) return true;
        Received* kept = newReceived();
        if (!kept) return false;
        kept->received = std::move(received);
        kept->snapshot = std::move(ours);
        si.received = kept;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

PKI_ERROR fillSignerInfo(const Children& c, P7_SIGNER_INFO& si, unsigned func) {
    const PKI_ERROR malformed = code(func, ERR_ASN1_DECODING);
    if (!readMember<Integer>(c.e[0], si.version) || c.e[1].identifier != 0x30) return malformed;
    if (PKI_ERROR rc =
            decodeRecord(c.e[1], Seq_to_P7_ISSUER_AND_SERIAL_NUMBER, si.issuerAndSerialNumber, L_PKCS7 | func))
        return rc;
    if (!readMember<AlgorithmId>(c.e[2], si.digestAlgorithm)) return malformed;
    for (int i = 3; i < c.count; ++i) {
        const Element& e = c.e[i];
        bool ok = false;
        if (e.identifier == 0xa0)
            ok = !si.authenticatedAttributes && readMember<SignedAttrs>(e, si.authenticatedAttributes) &&
                 keepReceived(e, si);
        else if (e.identifier == 0xa1)
            ok = !si.unauthenticatedAttributes && readMember<UnsignedAttrs>(e, si.unauthenticatedAttributes);
        else if (e.identifier == 0x30)
            ok = !si.digestEncryptionAlgorithm && readMember<AlgorithmId>(e, si.digestEncryptionAlgorithm);
        else if (OctetString::matches(e.identifier))
            ok = !si.encryptedDigest && readMember<OctetString>(e, si.encryptedDigest);
        if (!ok) return malformed;
    }
    return si.digestEncryptionAlgorithm && si.encryptedDigest ? 0 : malformed;
}

// ---- SignedData and SignedAndEnvelopedData -------------------------------------

// The elements after the leading ones: [0] certificates, [1] CRLs and the
// SET of SignerInfos, in any order, each at most once.
template <class T>
PKI_ERROR fillTrailing(const Children& c, int from, T& r, unsigned func) {
    const PKI_ERROR malformed = code(func, ERR_ASN1_DECODING);
    for (int i = from; i < c.count; ++i) {
        const Element& e = c.e[i];
        if (e.identifier == 0xa0) {
            if (r.certificates || !readMember<Certificates>(e, r.certificates)) return malformed;
        } else if (e.identifier == 0xa1) {
            if (r.crls || !readMember<Crls>(e, r.crls)) return malformed;
        } else if (e.identifier == 0x31) {
            if (r.signerInfos) return malformed;
            if (PKI_ERROR rc = decodeRecord(e, Seq_to_P7_SIGNER_INFOS, r.signerInfos, L_PKCS7 | func)) return rc;
        } else {
            return malformed;
        }
    }
    return r.signerInfos ? 0 : malformed;
}

PKI_ERROR fillSignedData(const Children& c, P7_SIGNED_DATA& sd, unsigned func) {
    if (!readMember<Integer>(c.e[0], sd.version) || !readMember<Algorithms>(c.e[1], sd.digestAlgorithms) ||
        c.e[2].identifier != 0x30)
        return code(func, ERR_ASN1_DECODING);
    if (PKI_ERROR rc = decodeRecord(c.e[2], Seq_to_P7_CONTENT_INFO, sd.contentInfo, L_PKCS7 | func)) return rc;
    return fillTrailing(c, 3, sd, func);
}

PKI_ERROR fillSignedAndEnveloped(const Children& c, P7_SIGNED_AND_ENVELOPED_DATA& sed, unsigned func) {
    const PKI_ERROR malformed = code(func, ERR_ASN1_DECODING);
    if (!readMember<Integer>(c.e[0], sed.version) || !readMember<RecipientInfoList>(c.e[1], sed.recipientInfos) ||
        !readMember<Algorithms>(c.e[2], sed.digestAlgorithms) ||
        !readMember<Sub<P7_ENCRYPTED_CONTENT_INFO>>(c.e[3], sed.encryptedContentInfo))
        return malformed;
    if (PKI_ERROR rc = fillTrailing(c, 4, sed, func)) return rc;
    return get_STACK_count(sed.signerInfos) > 0 ? 0 : malformed;
}

// ---- ContentInfo -------------------------------------------------------------

template <class T, void (*Free)(T*)>
void freeAs(void* p) {
    Free(static_cast<T*>(p));
}
template <class T, T* (*Dup)(const T*)>
void* dupAs(const void* p) {
    return Dup(static_cast<const T*>(p));
}
template <class T, int (*Cmp)(const T*, const T*)>
int cmpAs(const void* a, const void* b) {
    return Cmp(static_cast<const T*>(a), static_cast<const T*>(b));
}
template <class T, PKI_ERROR (*ToSeq)(const T*, ASN1_UNIT**)>
PKI_ERROR toSeqAs(const void* p, ASN1_UNIT** node) {
    return ToSeq(static_cast<const T*>(p), node);
}
template <class T, PKI_ERROR (*FromSeq)(const ASN1_UNIT*, T**)>
PKI_ERROR fromSeqAs(const ASN1_UNIT* node, void** out) {
    T* made = nullptr;
    PKI_ERROR rc = FromSeq(node, &made);
    *out = made;
    return rc;
}

// What a content type's record does; data (row 21) has no codec here.
struct ContentType {
    int row;
    void (*release)(void*);
    void* (*copy)(const void*);
    int (*compare)(const void*, const void*);
    PKI_ERROR (*toSeq)(const void*, ASN1_UNIT**);
    PKI_ERROR (*fromSeq)(const ASN1_UNIT*, void**);
};

#define P7_CONTENT_TYPE(row, T)                                                                 \
    ContentType {                                                                               \
        row, freeAs<T, free_##T>, dupAs<T, dup_##T>, cmpAs<T, cmp_##T>, toSeqAs<T, T##_to_Seq>, \
            fromSeqAs<T, Seq_to_##T>                                                            \
    }

const ContentType kContentTypes[] = {
    {P7_DATA, freeAs<ASN1_STRING, free_ASN1_STRING>, dupAs<ASN1_STRING, dup_ASN1_STRING>,
     cmpAs<ASN1_STRING, cmp_ASN1_STRING>, nullptr, nullptr},
    P7_CONTENT_TYPE(P7_SIGNED_DATA_TYPE, P7_SIGNED_DATA),
    P7_CONTENT_TYPE(P7_ENVELOPED_DATA_TYPE, P7_ENVELOPED_DATA),
    P7_CONTENT_TYPE(P7_SIGNED_AND_ENVELOPED_DATA_TYPE, P7_SIGNED_AND_ENVELOPED_DATA),
    P7_CONTENT_TYPE(P7_DIGESTED_DATA_TYPE, P7_DIGESTED_DATA),
    P7_CONTENT_TYPE(P7_ENCRYPTED_DATA_TYPE, P7_ENCRYPTED_DATA),
    P7_CONTENT_TYPE(P7_CTL_TYPE, CERT_TRUST_LIST),
};

#undef P7_CONTENT_TYPE

const ContentType* contentTypeOf(int row) {
    for (const ContentType& t : kContentTypes)
        if (t.row == row) return &t;
    return nullptr;
}

void releaseContent(P7_CONTENT_INFO* p7) {
    if (const ContentType* t = contentTypeOf(typeOf(p7))) t->release(p7->content);
    p7->content = nullptr;
}

// The [0] EXPLICIT content of a ContentInfo appended to parent.
int appendContent(const ContentType& t, const void* content, ASN1_UNIT* parent) {
    Node wrapper(new_ASN1_UNIT());
    if (!wrapper) return ERR_R_ALLOC;
    if (t.row == P7_DATA) {
        if (!OctetString::encode(static_cast<ASN1_STRING*>(const_cast<void*>(content)), wrapper.get()))
            return ERR_ASN1_ENCODING;
    } else {
        ASN1_UNIT* inner = nullptr;
        if (PKI_ERROR rc = t.toSeq(content, &inner)) return rc;
        if (!appendNode(wrapper.get(), inner)) return ERR_ASN1_ENCODING;
    }
    wrapper->tag[0] = 0xa0;
    return appendNode(parent, wrapper.release()) ? 0 : ERR_ASN1_ENCODING;
}

// How deep the ContentInfo being decoded sits inside others: the public
// decoders call each other, so the count lives beside them, one per thread.
thread_local int t_contentDepth = 0;

struct NestedContent {
    NestedContent() { ++t_contentDepth; }
    ~NestedContent() { --t_contentDepth; }
    NestedContent(const NestedContent&) = delete;
    NestedContent& operator=(const NestedContent&) = delete;
    bool tooDeep() const { return t_contentDepth > P7_MAX_CONTENT_NESTING; }
};

PKI_ERROR fillContentInfo(const Children& c, P7_CONTENT_INFO& p7, unsigned func) {
    const PKI_ERROR malformed = code(func, ERR_ASN1_DECODING);
    if (!readMember<Oid>(c.e[0], p7.contentType)) return malformed;
    if (c.count == 1) return 0;
    const Element& wrapper = c.e[1];
    Children inner;
    if (wrapper.identifier != 0xa0 || !readChildren(wrapper, inner) || inner.count != 1) return malformed;
    const ContentType* t = contentTypeOf(typeOf(&p7));
    if (!t) return 1;
    Element e = inner.e[0];
    if (t->row == P7_DATA) {
        ASN1_STRING* bytes = nullptr;
        if (!readMember<OctetString>(e, bytes)) return malformed;
        p7.content = bytes;
        return 0;
    }
    // CMS carries a trust list as eContent, its DER inside an OCTET STRING.
    ber::Bytes wrapped;
    if (t->row == P7_CTL_TYPE && OctetString::matches(e.identifier)) {
        int unused = 0;
        if (!ber::stringContents(e, wrapped, unused, false)) return malformed;
        der::Cursor list(wrapped.data(), wrapped.size());
        if (!der::getElement(list, e) || !list.empty()) return malformed;
    }
    if (e.identifier != 0x30) return malformed;
    NestedContent level;
    if (level.tooDeep()) return malformed;
    Node node(ber::nodeFromElement(e));
    if (!node) return code(func, ERR_R_ALLOC);
    void* content = nullptr;
    PKI_ERROR rc = t->fromSeq(node.get(), &content);
    if (rc == 0) p7.content = content;
    return rc;
}

void releaseContentInfo(P7_CONTENT_INFO* p7) {
    releaseContent(p7);
    free_ASN1_STRING(p7->contentType);
    p7->contentType = nullptr;
}

// The version a new content of the row starts with.
int initialVersion(int row) { return row == P7_SIGNED_DATA_TYPE || row == P7_SIGNED_AND_ENVELOPED_DATA_TYPE ? 1 : 0; }

// A new record of the row with its first version; null for data and rows
// without a record made here.
void* newContent(int row) {
    void* made = nullptr;
    BIGINT** version = nullptr;
    switch (row) {
        case P7_SIGNED_DATA_TYPE: {
            auto* r = new_P7_SIGNED_DATA();
            made = r;
            version = r ? &r->version : nullptr;
            break;
        }
        case P7_ENVELOPED_DATA_TYPE: {
            auto* r = new_P7_ENVELOPED_DATA();
            made = r;
            version = r ? &r->version : nullptr;
            break;
        }
        case P7_SIGNED_AND_ENVELOPED_DATA_TYPE: {
            auto* r = new_P7_SIGNED_AND_ENVELOPED_DATA();
            made = r;
            version = r ? &r->version : nullptr;
            break;
        }
        case P7_DIGESTED_DATA_TYPE: {
            auto* r = new_P7_DIGESTED_DATA();
            made = r;
            version = r ? &r->version : nullptr;
            break;
        }
        case P7_ENCRYPTED_DATA_TYPE: {
            auto* r = new_P7_ENCRYPTED_DATA();
            made = r;
            version = r ? &r->version : nullptr;
            break;
        }
        default:
            return nullptr;
    }
    if (made && !zpki::pkcs7::setVersion(*version, static_cast<unsigned long>(initialVersion(row)))) {
        contentTypeOf(row)->release(made);
        return nullptr;
    }
    return made;
}

// Sets the version of every SignerInfo or RecipientInfo of a list.
template <class T>
bool setVersions(STACK* list, unsigned long v) {
    for (int i = 0; i < get_STACK_count(list); ++i) {
        auto* item = static_cast<T*>(get_STACK_value(list, i));
        if (item && !zpki::pkcs7::setVersion(item->version, v)) return false;
    }
    return true;
}

}  // namespace

namespace zpki::pkcs7 {

int rowOf(const OBJECT_IDENTIFIER* oid) { return oid ? index_from_OBJECT_IDENTIFIER(oid) : 0; }

int typeOf(const P7_CONTENT_INFO* p7) { return p7 ? rowOf(p7->contentType) : 0; }

BIGINT* smallBigint(unsigned long v) {
    BIGINT* b = VSC_New_BIGINT();
    if (b && VSC_Set_BIGINT_Word(b, v) != 0) {
        VSC_Free_BIGINT(b);
        return nullptr;
    }
    return b;
}

bool setVersion(BIGINT*& slot, unsigned long v) {
    BIGINT* fresh = smallBigint(v);
    if (!fresh) return false;
    VSC_Free_BIGINT(slot);
    slot = fresh;
    return true;
}

long versionOf(const BIGINT* v) {
    if (!v || VSC_Get_BIGINT_Bits_Length(v) > 16) return -1;
    return static_cast<long>(VSC_Get_BIGINT_Word(v));
}

bool attributesDer(const X509_ATTRIBUTES* list, ber::Bytes& out) {
    if (!list) return false;
    Node holder(new_ASN1_UNIT());
    if (!holder || !zpki::x509::AttributesCodec::encode(const_cast<X509_ATTRIBUTES*>(list), holder.get())) return false;
    der::Cursor c = ber::contentsOf(holder.get());
    Element e;
    if (!der::getElement(c, e)) return false;
    try {
        out.assign(e.start, e.start + e.totalSize);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void dropReceived(P7_SIGNER_INFO* si) {
    if (si) ReceivedOps::release(si->received);
}

bool signedAttributesDer(const P7_SIGNER_INFO* si, ber::Bytes& out) {
    if (!si || !attributesDer(si->authenticatedAttributes, out)) return false;
    if (si->received && out == si->received->snapshot) {
        try {
            out = si->received->received;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    return true;
}

}  // namespace zpki::pkcs7

extern "C" {

// ---- Records -----------------------------------------------------------------

ZUNPKI_API P7_CONTENT_INFO* new_P7_CONTENT_INFO(void) { return PKI_NEW(P7_CONTENT_INFO); }

ZUNPKI_API void clean_P7_CONTENT_INFO(P7_CONTENT_INFO* p7) {
    if (p7) releaseContentInfo(p7);
}

ZUNPKI_API void free_P7_CONTENT_INFO(P7_CONTENT_INFO* p7) {
    if (!p7) return;
    releaseContentInfo(p7);
    PKI_FREE(p7);
}

ZUNPKI_API P7_CONTENT_INFO* dup_P7_CONTENT_INFO(const P7_CONTENT_INFO* p7) {
    if (!p7) return nullptr;
    Owned<P7_CONTENT_INFO, free_P7_CONTENT_INFO> copy(new_P7_CONTENT_INFO());
    if (!copy || (p7->contentType && !(copy->contentType = dup_ASN1_STRING(p7->contentType)))) return nullptr;
    if (p7->content) {
        const ContentType* t = contentTypeOf(typeOf(p7));
        if (!t || !(copy->content = t->copy(p7->content))) return nullptr;
    }
    return copy.release();
}

ZUNPKI_API int cmp_P7_CONTENT_INFO(const P7_CONTENT_INFO* a, const P7_CONTENT_INFO* b) {
    if (a == b) return 0;
    if (!a || !b) return a ? 1 : -1;
    if (int c = cmp_ASN1_STRING(a->contentType, b->contentType)) return c;
    if (!a->content || !b->content) return a->content ? 1 : b->content ? -1 : 0;
    const ContentType* t = contentTypeOf(typeOf(a));
    return t ? t->compare(a->content, b->content) : (a->content == b->content ? 0 : 1);
}

ZUNPKI_API P7_ISSUER_AND_SERIAL_NUMBER* new_P7_ISSUER_AND_SERIAL_NUMBER(void) { return new_ISSUER_AND_SERIAL_NUMBER(); }

ZUNPKI_API void free_P7_ISSUER_AND_SERIAL_NUMBER(P7_ISSUER_AND_SERIAL_NUMBER* ias) {
    free_ISSUER_AND_SERIAL_NUMBER(ias);
}

ZUNPKI_API P7_DIGEST_INFO* new_P7_DIGEST_INFO(void) { return new_X509_SIGN(); }

ZUNPKI_API void free_P7_DIGEST_INFO(P7_DIGEST_INFO* di) { free_X509_SIGN(di); }

ZUNPKI_API P7_SIGNER_INFOS* new_P7_SIGNER_INFOS(void) { return new_STACK(); }

ZUNPKI_API void free_P7_SIGNER_INFOS(P7_SIGNER_INFOS* list) {
    zpki::x509::freeList<P7_SIGNER_INFO, free_P7_SIGNER_INFO>(list);
}

ZUNPKI_API P7_RECIPIENT_INFOS* new_P7_RECIPIENT_INFOS(void) { return new_STACK(); }

ZUNPKI_API void free_P7_RECIPIENT_INFOS(P7_RECIPIENT_INFOS* list) {
    zpki::x509::freeList<P7_RECIPIENT_INFO, free_P7_RECIPIENT_INFO>(list);
}

// ---- Codecs ------------------------------------------------------------------

// The records of x509 under their PKCS#7 codes: their own failures take this
// library's function bytes, a name's code passes on.
ZUNPKI_API PKI_ERROR P7_ISSUER_AND_SERIAL_NUMBER_to_Seq(const P7_ISSUER_AND_SERIAL_NUMBER* ias, ASN1_UNIT** node) {
    if (!ias || !node) return code(F_P7_ISSUER_AND_SERIAL_NUMBER_TO_SEQ, ERR_R_NULL_ARGUMENT);
    PKI_ERROR rc = ISSUER_AND_SERIAL_NUMBER_to_Seq(ias, node);
    if (PKI_ERR_LIB(rc) == PKI_ERR_LIB(L_ISSUER_AND_SERIAL_NUMBER))
        rc = code(F_P7_ISSUER_AND_SERIAL_NUMBER_TO_SEQ, PKI_ERR_REASON(rc));
    return rc;
}

ZUNPKI_API PKI_ERROR Seq_to_P7_ISSUER_AND_SERIAL_NUMBER(const ASN1_UNIT* node, P7_ISSUER_AND_SERIAL_NUMBER** ias) {
    if (!node || !ias) return code(F_SEQ_TO_P7_ISSUER_AND_SERIAL_NUMBER, ERR_R_NULL_ARGUMENT);
    PKI_ERROR rc = Seq_to_ISSUER_AND_SERIAL_NUMBER(node, ias);
    if (PKI_ERR_LIB(rc) == PKI_ERR_LIB(L_ISSUER_AND_SERIAL_NUMBER))
        rc = code(F_SEQ_TO_P7_ISSUER_AND_SERIAL_NUMBER, PKI_ERR_REASON(rc));
    return rc;
}

ZUNPKI_API PKI_ERROR P7_DIGEST_INFO_to_Seq(const P7_DIGEST_INFO* di, ASN1_UNIT** node) {
    if (!di || !node) return code(F_P7_DIGEST_INFO_TO_SEQ, ERR_R_NULL_ARGUMENT);
    if (!di->digestAlgorithm || !di->digest) return code(F_P7_DIGEST_INFO_TO_SEQ, ERR_R_INVALID_ELEMENT);
    return X509_SIGN_to_Seq(di, node) == 0 ? 0 : code(F_P7_DIGEST_INFO_TO_SEQ, ERR_ASN1_ENCODING);
}

ZUNPKI_API PKI_ERROR Seq_to_P7_DIGEST_INFO(const ASN1_UNIT* node, P7_DIGEST_INFO** di) {
    constexpr unsigned F = F_SEQ_TO_P7_DIGEST_INFO;
    if (!node || !di) return code(F, ERR_R_NULL_ARGUMENT);
    Element whole;
    Children c;
    if (!elementOf(node, whole) || whole.identifier != 0x30 || !readChildren(whole, c))
        return code(F, ERR_ASN1_DECODING);
    if (c.count != 2) return code(F, ERR_R_INVALID_ELEMENT);
    return Seq_to_X509_SIGN(node, di) == 0 ? 0 : code(F, ERR_ASN1_DECODING);
}

ZUNPKI_API PKI_ERROR P7_SIGNER_INFO_to_Seq(const P7_SIGNER_INFO* si, ASN1_UNIT** node) {
    return encodeRecord(si, node, F_P7_SIGNER_INFO_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_P7_SIGNER_INFO(const ASN1_UNIT* node, P7_SIGNER_INFO** si) {
    return decodeFilled<free_P7_SIGNER_INFO, clean_P7_SIGNER_INFO>(node, si, F_SEQ_TO_P7_SIGNER_INFO, 5, 7,
                                                                   fillSignerInfo);
}

ZUNPKI_API PKI_ERROR P7_SIGNER_INFOS_to_Seq(const P7_SIGNER_INFOS* list, ASN1_UNIT** node) {
    return encodeInfos<P7_SIGNER_INFO, P7_SIGNER_INFO_to_Seq>(list, node, F_P7_SIGNER_INFOS_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_P7_SIGNER_INFOS(const ASN1_UNIT* node, P7_SIGNER_INFOS** list) {
    return zpki::x509::decodeRecordsInto<P7_SIGNER_INFO, free_P7_SIGNER_INFO, Seq_to_P7_SIGNER_INFO>(
        node, list, L_PKCS7 | F_SEQ_TO_P7_SIGNER_INFOS, true);
}

ZUNPKI_API PKI_ERROR P7_SIGNED_DATA_to_Seq(const P7_SIGNED_DATA* sd, ASN1_UNIT** node) {
    return encodeRecord(sd, node, F_P7_SIGNED_DATA_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_P7_SIGNED_DATA(const ASN1_UNIT* node, P7_SIGNED_DATA** sd) {
    return decodeFilled<free_P7_SIGNED_DATA, clean_P7_SIGNED_DATA>(node, sd, F_SEQ_TO_P7_SIGNED_DATA, 4, 6,
                                                                   fillSignedData);
}

ZUNPKI_API PKI_ERROR P7_RECIPIENT_INFO_to_Seq(const P7_RECIPIENT_INFO* ri, ASN1_UNIT** node) {
    return encodeRecord(ri, node, F_P7_RECIPIENT_INFO_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_P7_RECIPIENT_INFO(const ASN1_UNIT* node, P7_RECIPIENT_INFO** ri) {
    return decodeOrdered(node, ri, F_SEQ_TO_P7_RECIPIENT_INFO, 4, 4);
}

ZUNPKI_API PKI_ERROR P7_RECIPIENT_INFOS_to_Seq(const P7_RECIPIENT_INFOS* list, ASN1_UNIT** node) {
    return encodeInfos<P7_RECIPIENT_INFO, P7_RECIPIENT_INFO_to_Seq>(list, node, F_P7_RECIPIENT_INFOS_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_P7_RECIPIENT_INFOS(const ASN1_UNIT* node, P7_RECIPIENT_INFOS** list) {
    return zpki::x509::decodeRecordsInto<P7_RECIPIENT_INFO, free_P7_RECIPIENT_INFO, Seq_to_P7_RECIPIENT_INFO>(
        node, list, L_PKCS7 | F_SEQ_TO_P7_RECIPIENT_INFOS, true);
}

ZUNPKI_API PKI_ERROR P7_ENCRYPTED_CONTENT_INFO_to_Seq(const P7_ENCRYPTED_CONTENT_INFO* eci, ASN1_UNIT** node) {
    return encodeRecord(eci, node, F_P7_ENCRYPTED_CONTENT_INFO_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_P7_ENCRYPTED_CONTENT_INFO(const ASN1_UNIT* node, P7_ENCRYPTED_CONTENT_INFO** eci) {
    return decodeOrdered(node, eci, F_SEQ_TO_P7_ENCRYPTED_CONTENT_INFO, 2, 3);
}

ZUNPKI_API PKI_ERROR P7_ENVELOPED_DATA_to_Seq(const P7_ENVELOPED_DATA* ed, ASN1_UNIT** node) {
    return encodeRecord(ed, node, F_P7_ENVELOPED_DATA_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_P7_ENVELOPED_DATA(const ASN1_UNIT* node, P7_ENVELOPED_DATA** ed) {
    return decodeOrdered(node, ed, F_SEQ_TO_P7_ENVELOPED_DATA, 3, 3);
}

ZUNPKI_API PKI_ERROR P7_SIGNED_AND_ENVELOPED_DATA_to_Seq(const P7_SIGNED_AND_ENVELOPED_DATA* sed, ASN1_UNIT** node) {
    return encodeRecord(sed, node, F_P7_SIGNED_AND_ENVELOPED_DATA_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_P7_SIGNED_AND_ENVELOPED_DATA(const ASN1_UNIT* node, P7_SIGNED_AND_ENVELOPED_DATA** sed) {
    return decodeFilled<free_P7_SIGNED_AND_ENVELOPED_DATA, clean_P7_SIGNED_AND_ENVELOPED_DATA>(
        node, sed, F_SEQ_TO_P7_SIGNED_AND_ENVELOPED_DATA, 5, 7, fillSignedAndEnveloped);
}

ZUNPKI_API PKI_ERROR P7_DIGESTED_DATA_to_Seq(const P7_DIGESTED_DATA* dd, ASN1_UNIT** node) {
    return encodeRecord(dd, node, F_P7_DIGESTED_DATA_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_P7_DIGESTED_DATA(const ASN1_UNIT* node, P7_DIGESTED_DATA** dd) {
    return decodeOrdered(node, dd, F_SEQ_TO_P7_DIGESTED_DATA, 4, 4);
}

ZUNPKI_API PKI_ERROR P7_ENCRYPTED_DATA_to_Seq(const P7_ENCRYPTED_DATA* ed, ASN1_UNIT** node) {
    return encodeRecord(ed, node, F_P7_ENCRYPTED_DATA_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_P7_ENCRYPTED_DATA(const ASN1_UNIT* node, P7_ENCRYPTED_DATA** ed) {
    return decodeOrdered(node, ed, F_SEQ_TO_P7_ENCRYPTED_DATA, 2, 2);
}

ZUNPKI_API PKI_ERROR P7_CONTENT_INFO_to_Seq(const P7_CONTENT_INFO* p7, ASN1_UNIT** node) {
    constexpr unsigned F = F_P7_CONTENT_INFO_TO_SEQ;
    if (!p7 || !node) return code(F, ERR_R_NULL_ARGUMENT);
    if (!p7->contentType) return code(F, ERR_R_INVALID_ELEMENT);
    const ContentType* t = contentTypeOf(typeOf(p7));
    if (!t) return code(F, ERR_R_UNSUPPORTED);
    return zpki::x509::encodeInto(node, L_PKCS7 | F, 0x30, [&](ASN1_UNIT* target) -> int {
        if (!Oid::encode(p7->contentType, target)) return ERR_ASN1_ENCODING;
        return p7->content ? appendContent(*t, p7->content, target) : 0;
    });
}

ZUNPKI_API PKI_ERROR Seq_to_P7_CONTENT_INFO(const ASN1_UNIT* node, P7_CONTENT_INFO** p7) {
    return decodeFilled<free_P7_CONTENT_INFO, clean_P7_CONTENT_INFO>(node, p7, F_SEQ_TO_P7_CONTENT_INFO, 1, 2,
                                                                     fillContentInfo);
}

// ---- Construction ------------------------------------------------------------

ZUNPKI_API int set_PKCS7_Type(P7_CONTENT_INFO* p7, int row) {
    if (!p7 || !contentTypeOf(row)) return 1;
    Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER> type(index_to_OBJECT_IDENTIFIER(row));
    if (!type) return 1;
    void* content = nullptr;
    if (row != P7_DATA && !(content = newContent(row))) return 1;
    releaseContentInfo(p7);
    p7->contentType = type.release();
    p7->content = content;
    return 0;
}

}  // extern "C"

namespace {

// Where a signedData or digestedData holds its inner ContentInfo; null for
// other types.
P7_CONTENT_INFO** innerSlot(const P7_CONTENT_INFO* p7) {
    if (auto* sd = zpki::pkcs7::contentAs<P7_SIGNED_DATA>(p7, P7_SIGNED_DATA_TYPE)) return &sd->contentInfo;
    if (auto* dd = zpki::pkcs7::contentAs<P7_DIGESTED_DATA>(p7, P7_DIGESTED_DATA_TYPE)) return &dd->contentInfo;
    return nullptr;
}

}  // namespace

extern "C" {

ZUNPKI_API int set_PKCS7_Content(P7_CONTENT_INFO* outer, P7_CONTENT_INFO* inner) {
    if (!inner) return 1;
    P7_CONTENT_INFO** slot = innerSlot(outer);
    if (!slot) return 1;
    // A message inside itself would be freed without end.
    for (const P7_CONTENT_INFO* at = inner; at; at = innerSlot(at) ? *innerSlot(at) : nullptr)
        if (at == outer) return 1;
    if (*slot == inner) return 0;
    // One nested deeper in the old content is taken out before that is freed.
    for (P7_CONTENT_INFO* at = *slot; at;) {
        P7_CONTENT_INFO** next = innerSlot(at);
        if (next && *next == inner) *next = nullptr;
        at = next ? *next : nullptr;
    }
    free_P7_CONTENT_INFO(*slot);
    *slot = inner;
    return 0;
}

ZUNPKI_API int new_PKCS7_Content(P7_CONTENT_INFO* outer, int row) {
    Owned<P7_CONTENT_INFO, free_P7_CONTENT_INFO> inner(new_P7_CONTENT_INFO());
    if (!inner || set_PKCS7_Type(inner.get(), row) != 0 || set_PKCS7_Content(outer, inner.get()) != 0) return 1;
    (void)inner.release();
    return 0;
}

ZUNPKI_API int gen_PKCS7_DATA_from_Binary(P7_CONTENT_INFO** p7, const unsigned char* bytes, int len) {
    if (!p7 || !bytes || len <= 0) return code(F_GEN_PKCS7_DATA_FROM_BINARY, ERR_R_NULL_ARGUMENT);
    Owned<ASN1_STRING, free_ASN1_STRING> data(new_OCTET_STRING(bytes, len));
    Owned<P7_CONTENT_INFO, free_P7_CONTENT_INFO> made(*p7 ? nullptr : new_P7_CONTENT_INFO());
    P7_CONTENT_INFO* target = *p7 ? *p7 : made.get();
    if (!data || !target || set_PKCS7_Type(target, P7_DATA) != 0) return 1;
    target->content = data.release();
    if (made) *p7 = made.release();
    return 0;
}

ZUNPKI_API int set_P7_version(P7_CONTENT_INFO* p7, int version) {
    if (!p7 || !p7->content || version < 0) return 1;
    const auto v = static_cast<unsigned long>(version);
    switch (typeOf(p7)) {
        case P7_SIGNED_DATA_TYPE: {
            auto* sd = static_cast<P7_SIGNED_DATA*>(p7->content);
            return zpki::pkcs7::setVersion(sd->version, v) && setVersions<P7_SIGNER_INFO>(sd->signerInfos, v) ? 0 : 1;
        }
        case P7_ENVELOPED_DATA_TYPE: {
            auto* ed = static_cast<P7_ENVELOPED_DATA*>(p7->content);
            return zpki::pkcs7::setVersion(ed->version, v) && setVersions<P7_RECIPIENT_INFO>(ed->recipientInfos, v) ? 0
                                                                                                                    : 1;
        }
        case P7_SIGNED_AND_ENVELOPED_DATA_TYPE: {
            auto* sed = static_cast<P7_SIGNED_AND_ENVELOPED_DATA*>(p7->content);
            return zpki::pkcs7::setVersion(sed->version, v) && setVersions<P7_SIGNER_INFO>(sed->signerInfos, v) &&
                           setVersions<P7_RECIPIENT_INFO>(sed->recipientInfos, v)
                       ? 0
                       : 1;
        }
        case P7_DIGESTED_DATA_TYPE:
            return zpki::pkcs7::setVersion(static_cast<P7_DIGESTED_DATA*>(p7->content)->version, v) ? 0 : 1;
        case P7_ENCRYPTED_DATA_TYPE:
            return zpki::pkcs7::setVersion(static_cast<P7_ENCRYPTED_DATA*>(p7->content)->version, v) ? 0 : 1;
        default:
            return 1;
    }
}

ZUNPKI_API int cmp_P7_ISSUER_AND_SERIAL_NUMBER(const X509_CERT* cert, const P7_ISSUER_AND_SERIAL_NUMBER* ias) {
    return cmp_ISSUER_AND_SERIAL_NUMBER(cert, ias);
}

ZUNPKI_API int get_PKCS7_ENCRYPTED_CONTENT_length(const P7_CONTENT_INFO* p7) {
    const P7_ENCRYPTED_CONTENT_INFO* eci = nullptr;
    switch (typeOf(p7)) {
        case P7_ENVELOPED_DATA_TYPE:
            eci = p7->content ? static_cast<P7_ENVELOPED_DATA*>(p7->content)->encryptedContentInfo : nullptr;
            break;
        case P7_SIGNED_AND_ENVELOPED_DATA_TYPE:
            eci = p7->content ? static_cast<P7_SIGNED_AND_ENVELOPED_DATA*>(p7->content)->encryptedContentInfo : nullptr;
            break;
        case P7_ENCRYPTED_DATA_TYPE:
            eci = p7->content ? static_cast<P7_ENCRYPTED_DATA*>(p7->content)->encryptedContentInfo : nullptr;
            break;
        default:
            return -1;
    }
    return eci && eci->encryptedContent ? eci->encryptedContent->length : 0;
}

}  // extern "C"
