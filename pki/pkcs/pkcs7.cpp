// PKCS#7 records described once, their DER codecs, and typing and
// versioning a message.
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

// ---- Members kept in memory only (NotEncoded) --------------------------------

// What memory-only members are made of: released and copied, never compared.
template <class V>
struct InMemoryValue {
    using Value = V;
    static void release(Value& v) { v = Value{}; }
    static bool copy(const Value& from, Value& to) {
        to = from;
        return true;
    }
    static int compare(const Value&, const Value&) { return 0; }
};

struct KeyValue : InMemoryValue<ASYMMETRIC_KEY*> {
    static void release(Value& v) {
        free_ASYMMETRIC_KEY(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) {
        if (!from) return true;
        to = from->kind == ASYMMETRIC_KEY_EMPTY ? new_ASYMMETRIC_KEY() : dup_ASYMMETRIC_KEY(from);
        return to != nullptr;
    }
};

// A running cipher is not copied: a copy starts without one.
struct CipherValue : InMemoryValue<BLOCK_CIPHER_UNIT*> {
    static void release(Value& v) {
        VSC_Free_BLOCK_CIPHER_Unit(v);
        v = nullptr;
    }
    static bool copy(const Value&, Value& to) {
        to = nullptr;
        return true;
    }
};

using Key = NotEncoded<KeyValue>;
using Cipher = NotEncoded<CipherValue>;
using Marker = NotEncoded<InMemoryValue<void*>>;
using Flag = NotEncoded<InMemoryValue<int>>;

// ---- Members -----------------------------------------------------------------

// A list that must hold at least one record to be written or read.
template <class C>
struct NonEmpty : C {
    using WriteOwner = NonEmpty;
    using Value = typename C::Value;
    static bool decodeContents(const Element& e, Value& out) {
        if (!C::decodeContents(e, out)) return false;
        if (get_STACK_count(out) > 0) return true;
        C::release(out);
        return false;
    }
    static bool write(const Value& v, Writer& w) { return get_STACK_count(v) > 0 && C::write(v, w); }
    static bool encode(const Value& v, ASN1_UNIT* parent) { return encodeByWriting<NonEmpty>(v, parent); }
};

// A record read by its own entry point, whose code a failure notes (the
// decoders of the enclosing records pass it on).
template <class T, PKI_ERROR (*Decode)(const Element&, T*&)>
struct Noted : Sub<T> {
    using WriteOwner = Noted;
    static bool decodeContents(const Element& e, T*& out) {
        if (const PKI_ERROR rc = Decode(e, out)) {
            DecodeFailure::note(rc);
            return false;
        }
        return true;
    }
};

PKI_ERROR decodeIas(const Element& e, P7_ISSUER_AND_SERIAL_NUMBER*& out);
PKI_ERROR decodeContentInfo(const Element& e, P7_CONTENT_INFO*& out);
PKI_ERROR decodeSignerInfo(const Element& e, P7_SIGNER_INFO*& out);
int writeContentInfo(const P7_CONTENT_INFO* p7, Writer& w);

// A ContentInfo member: read and written by its type's codec.
struct ContentInfoMember {
    using WriteOwner = ContentInfoMember;
    using Value = P7_CONTENT_INFO*;
    static bool matches(uint8_t id) { return id == 0x30; }
    static bool decodeContents(const Element& e, Value& out) {
        if (const PKI_ERROR rc = decodeContentInfo(e, out)) {
            DecodeFailure::note(rc);
            return false;
        }
        return true;
    }
    static int writeReason(const Value& v, Writer& w) { return v ? writeContentInfo(v, w) : ERR_ASN1_ENCODING; }
    static bool write(const Value& v, Writer& w) { return writeReason(v, w) == 0; }
    static bool encode(const Value& v, ASN1_UNIT* parent) { return encodeByWriting<ContentInfoMember>(v, parent); }
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) {
        free_P7_CONTENT_INFO(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) { return !from || (to = dup_P7_CONTENT_INFO(from)) != nullptr; }
    static int compare(const Value& a, const Value& b) { return cmp_P7_CONTENT_INFO(a, b); }
};

// The SET of SignerInfos; each read by its own entry point.
struct SignerInfoList : SetOf<Noted<P7_SIGNER_INFO, decodeSignerInfo>> {
    using WriteOwner = SignerInfoList;
};

using zpki::pkcs::AlgorithmId;
using Ias = Noted<ISSUER_AND_SERIAL_NUMBER, decodeIas>;
using Algorithms = SetOf<AlgorithmId>;
using UnsignedAttrs = Optional<Implicit<1, zpki::x509::AttributesCodec>>;
using Certificates = Optional<Implicit<0, SetOf<zpki::x509::CertCodec>>>;
using Crls = Optional<Implicit<1, SetOf<zpki::x509::CrlCodec>>>;
using RecipientInfoList = NonEmpty<SetOf<Sub<P7_RECIPIENT_INFO>>>;
using EncryptedContent = Optional<Implicit<0, OctetString>>;

// ---- Signed attributes, kept as received ---------------------------------------

using SignedAttrsCodec = zpki::pkcs7::SignedAttrsCodec;
using SignedAttributes = zpki::pkcs7::KeptSignedAttributes<P7_SIGNER_INFO, &P7_SIGNER_INFO::authenticatedAttributes,
                                                           &P7_SIGNER_INFO::received>;

}  // namespace

// SignerInfo: version, issuerAndSerialNumber, digestAlgorithm, then the
// signed attributes, signature algorithm, signature and unsigned attributes
// in any order, each at most once.
template <>
struct zpki::asn1::Describe<P7_SIGNER_INFO> {
    using S = P7_SIGNER_INFO;
    using Shape =
        Sequence<Field<&S::version, Integer>, Field<&S::issuerAndSerialNumber, Ias>,
                 Field<&S::digestAlgorithm, AlgorithmId>,
                 AnyOrder<SignedAttributes, Field<&S::digestEncryptionAlgorithm, AlgorithmId>,
                          Field<&S::encryptedDigest, OctetString>, Field<&S::unauthenticatedAttributes, UnsignedAttrs>>,
                 Field<&S::key, Key>>;
};

// SignedData: [0] certificates, [1] CRLs and the SignerInfos in any order.
template <>
struct zpki::asn1::Describe<P7_SIGNED_DATA> {
    using S = P7_SIGNED_DATA;
    using Shape = Sequence<
        Field<&S::version, Integer>, Field<&S::digestAlgorithms, Algorithms>, Field<&S::contentInfo, ContentInfoMember>,
        AnyOrder<Field<&S::certificates, Certificates>, Field<&S::crls, Crls>, Field<&S::signerInfos, SignerInfoList>>,
        Field<&S::detached, Flag>>;
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

// SignedAndEnvelopedData: the trailing elements in any order, as in
// SignedData; at least one SignerInfo.
template <>
struct zpki::asn1::Describe<P7_SIGNED_AND_ENVELOPED_DATA> {
    using S = P7_SIGNED_AND_ENVELOPED_DATA;
    using Shape = Sequence<Field<&S::version, Integer>, Field<&S::recipientInfos, RecipientInfoList>,
                           Field<&S::digestAlgorithms, Algorithms>,
                           Field<&S::encryptedContentInfo, Sub<P7_ENCRYPTED_CONTENT_INFO>>,
                           AnyOrder<Field<&S::certificates, Certificates>, Field<&S::crls, Crls>,
                                    Field<&S::signerInfos, NonEmpty<SignerInfoList>>>>;
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

// ---- Decoding and encoding -----------------------------------------------------

// How many children each record may have, read by its description: fewer or
// more is an invalid element. An inner part's own code passes on.
template <class T>
struct Bounds;

#define ZPKI_P7_BOUNDS(T, MIN, MAX, F_DECODE, F_ENCODE) \
    template <>                                         \
    struct Bounds<T> {                                  \
        static constexpr int kMin = MIN, kMax = MAX;    \
        static constexpr unsigned kFunc = F_DECODE;     \
        static constexpr unsigned kEncode = F_ENCODE;   \
    };
ZPKI_P7_BOUNDS(P7_SIGNER_INFO, 5, 7, F_SEQ_TO_P7_SIGNER_INFO, F_P7_SIGNER_INFO_TO_SEQ)
ZPKI_P7_BOUNDS(P7_SIGNED_DATA, 4, 6, F_SEQ_TO_P7_SIGNED_DATA, F_P7_SIGNED_DATA_TO_SEQ)
ZPKI_P7_BOUNDS(P7_RECIPIENT_INFO, 4, 4, F_SEQ_TO_P7_RECIPIENT_INFO, F_P7_RECIPIENT_INFO_TO_SEQ)
ZPKI_P7_BOUNDS(P7_ENCRYPTED_CONTENT_INFO, 2, 3, F_SEQ_TO_P7_ENCRYPTED_CONTENT_INFO, F_P7_ENCRYPTED_CONTENT_INFO_TO_SEQ)
ZPKI_P7_BOUNDS(P7_ENVELOPED_DATA, 3, 3, F_SEQ_TO_P7_ENVELOPED_DATA, F_P7_ENVELOPED_DATA_TO_SEQ)
ZPKI_P7_BOUNDS(P7_SIGNED_AND_ENVELOPED_DATA, 5, 7, F_SEQ_TO_P7_SIGNED_AND_ENVELOPED_DATA,
               F_P7_SIGNED_AND_ENVELOPED_DATA_TO_SEQ)
ZPKI_P7_BOUNDS(P7_DIGESTED_DATA, 4, 4, F_SEQ_TO_P7_DIGESTED_DATA, F_P7_DIGESTED_DATA_TO_SEQ)
ZPKI_P7_BOUNDS(P7_ENCRYPTED_DATA, 2, 2, F_SEQ_TO_P7_ENCRYPTED_DATA, F_P7_ENCRYPTED_DATA_TO_SEQ)
#undef ZPKI_P7_BOUNDS

// The number of children of a constructed element; -1 when they do not read.
int childrenOf(const Element& e) {
    if (!e.constructed()) return -1;
    der::Cursor c(e.contents, e.contentsSize);
    int n = 0;
    for (Element x; !c.empty(); ++n)
        if (!der::getElement(c, x)) return -1;
    return n;
}

// A record of T from its element into a new record.
template <class T>
PKI_ERROR decodeP7(const Element& e, T*& out) {
    constexpr unsigned F = Bounds<T>::kFunc;
    const int n = childrenOf(e);
    if (n < 0) return code(F, ERR_ASN1_DECODING);
    if (n < Bounds<T>::kMin || n > Bounds<T>::kMax) return code(F, ERR_R_INVALID_ELEMENT);
    Owned<T, Family<T>::destroy> made(PKI_NEW(T));
    if (!made) return code(F, ERR_R_ALLOC);
    DecodeFailure failure;
    if (!Family<T>::decodeElement(e, *made)) return failure.code() ? failure.code() : code(F, ERR_ASN1_DECODING);
    out = made.release();
    return 0;
}

// The C decoder of T over decodeP7: the caller's record changes only on
// success.
template <class T>
PKI_ERROR decodeP7Node(const ASN1_UNIT* node, T** out) {
    constexpr unsigned F = Bounds<T>::kFunc;
    if (!node || !out) return code(F, ERR_R_NULL_ARGUMENT);
    Element e;
    T* made = nullptr;
    if (!elementOf(node, e)) return code(F, ERR_ASN1_DECODING);
    if (PKI_ERROR rc = decodeP7<T>(e, made)) return rc;
    Owned<T, Family<T>::destroy> owned(made);
    zpki::pkcs::deliver<Family<T>::clean>(owned, out);
    return 0;
}

template <class T>
PKI_ERROR encodeRecord(const T* r, ASN1_UNIT** node, unsigned func) {
    return Family<T>::toSeq(r, node, L_PKCS7 | func);
}

// SET OF records; an empty list is an empty SET, a record's own code passes.
template <class T>
PKI_ERROR encodeInfos(const STACK* list, ASN1_UNIT** node, unsigned func) {
    if (!list || !node) return code(func, ERR_R_NULL_ARGUMENT);
    return deliverWritten(node, L_PKCS7 | func, false, [&](Writer& w) -> int {
        const size_t set = w.open(0x31);
        for (int i = 0; i < list->count; ++i) {
            if (!list->items[i]) return ERR_R_INVALID_ELEMENT;
            if (const int rc = detail::RecordOps<T>::write(*static_cast<const T*>(list->items[i]), w))
                return rc > 0xffff ? rc : static_cast<int>(code(func, static_cast<unsigned>(rc)));
        }
        return w.close(set) ? 0 : ERR_ASN1_ENCODING;
    });
}

// SET OF records appended to *list (made when null), which changes only on
// success; an empty SET reads as no records.
template <class T>
PKI_ERROR decodeInfos(const ASN1_UNIT* node, STACK** list, unsigned func) {
    if (!node || !list) return code(func, ERR_R_NULL_ARGUMENT);
    Element e;
    if (!elementOf(node, e) || !e.constructed()) return code(func, ERR_ASN1_DECODING);
    Owned<STACK, zpki::x509::freeList<T, Family<T>::destroy>> made(new_STACK());
    if (!made) return code(func, ERR_R_ALLOC_3C);
    Decoder d(der::Cursor(e.contents, e.contentsSize));
    while (d.more()) {
        Element x;
        T* item = nullptr;
        if (!d.next(x) || x.identifier != 0x30) return code(func, ERR_ASN1_DECODING);
        if (PKI_ERROR rc = decodeP7<T>(x, item)) return rc;
        if (push_STACK_value(made.get(), item) == 0) {
            Family<T>::destroy(item);
            return code(func, ERR_R_ALLOC_3C);
        }
    }
    if (!*list)
        *list = made.release();
    else if (zpki::x509::appendAll(*list, made.get()))
        (void)made.release();  // items moved, shell freed
    else
        return code(func, ERR_R_ALLOC_3C);
    return 0;
}

PKI_ERROR decodeSignerInfo(const Element& e, P7_SIGNER_INFO*& out) { return decodeP7(e, out); }

// An IssuerAndSerialNumber under this library's codes: exactly its two
// members.
PKI_ERROR decodeIas(const Element& e, P7_ISSUER_AND_SERIAL_NUMBER*& out) {
    constexpr unsigned F = F_SEQ_TO_P7_ISSUER_AND_SERIAL_NUMBER;
    if (childrenOf(e) != 2) return code(F, ERR_R_INVALID_ELEMENT);
    return Sub<ISSUER_AND_SERIAL_NUMBER>::decodeContents(e, out) ? 0 : code(F, ERR_ASN1_DECODING);
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
// A described record's content: its own codes on encoding failures.
template <class T>
int writeAs(const void* p, Writer& w) {
    const int rc = detail::RecordOps<T>::write(*static_cast<const T*>(p), w);
    return rc > 0 && rc <= 0xffff ? static_cast<int>(code(Bounds<T>::kEncode, static_cast<unsigned>(rc))) : rc;
}
template <class T>
PKI_ERROR decodeAs(const Element& e, void** out) {
    T* made = nullptr;
    const PKI_ERROR rc = decodeP7<T>(e, made);
    *out = made;
    return rc;
}
// A trust list, through its flat codec.
int writeTrustList(const void* p, Writer& w) {
    ASN1_UNIT* made = nullptr;
    if (const PKI_ERROR rc = CERT_TRUST_LIST_to_Seq(static_cast<const CERT_TRUST_LIST*>(p), &made)) return rc;
    Node node(made);
    return writeNode(node.get(), w) ? 0 : ERR_ASN1_ENCODING;
}
PKI_ERROR decodeTrustList(const Element& e, void** out) {
    Node node(ber::nodeFromElement(e));
    if (!node) return code(F_SEQ_TO_P7_CONTENT_INFO, ERR_R_ALLOC);
    CERT_TRUST_LIST* made = nullptr;
    const PKI_ERROR rc = Seq_to_CERT_TRUST_LIST(node.get(), &made);
    *out = made;
    return rc;
}

// The version a new content of the row starts with.
int initialVersion(int row) { return row == P7_SIGNED_DATA_TYPE || row == P7_SIGNED_AND_ENVELOPED_DATA_TYPE ? 1 : 0; }

// A new record of the row with its first version.
template <class T, int Row>
void* newVersioned() {
    Owned<T, Family<T>::destroy> r(Family<T>::create());
    if (!r || !zpki::pkcs7::setVersion(r->version, static_cast<unsigned long>(initialVersion(Row)))) return nullptr;
    return r.release();
}

// What a content type's record does; data (row 21) is read and written by
// the ContentInfo codec itself. create is null for types made elsewhere.
struct ContentType {
    int row;
    void (*release)(void*);
    void* (*copy)(const void*);
    int (*compare)(const void*, const void*);
    int (*write)(const void*, Writer&);
    PKI_ERROR (*decode)(const Element&, void**);
    void* (*create)();
};

#define P7_CONTENT_TYPE(row, T)                                                                                       \
    ContentType {                                                                                                     \
        row, freeAs<T, free_##T>, dupAs<T, dup_##T>, cmpAs<T, cmp_##T>, writeAs<T>, decodeAs<T>, newVersioned<T, row> \
    }

const ContentType kContentTypes[] = {
    {P7_DATA, freeAs<ASN1_STRING, free_ASN1_STRING>, dupAs<ASN1_STRING, dup_ASN1_STRING>,
     cmpAs<ASN1_STRING, cmp_ASN1_STRING>, nullptr, nullptr, nullptr},
    P7_CONTENT_TYPE(P7_SIGNED_DATA_TYPE, P7_SIGNED_DATA),
    P7_CONTENT_TYPE(P7_ENVELOPED_DATA_TYPE, P7_ENVELOPED_DATA),
    P7_CONTENT_TYPE(P7_SIGNED_AND_ENVELOPED_DATA_TYPE, P7_SIGNED_AND_ENVELOPED_DATA),
    P7_CONTENT_TYPE(P7_DIGESTED_DATA_TYPE, P7_DIGESTED_DATA),
    P7_CONTENT_TYPE(P7_ENCRYPTED_DATA_TYPE, P7_ENCRYPTED_DATA),
    {P7_CTL_TYPE, freeAs<CERT_TRUST_LIST, free_CERT_TRUST_LIST>, dupAs<CERT_TRUST_LIST, dup_CERT_TRUST_LIST>,
     cmpAs<CERT_TRUST_LIST, cmp_CERT_TRUST_LIST>, writeTrustList, decodeTrustList, nullptr},
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

// How deep the ContentInfo being decoded sits inside others: the decoders
// call each other, so the count lives beside them, one per thread.
thread_local int t_contentDepth = 0;

struct NestedContent {
    NestedContent() { ++t_contentDepth; }
    ~NestedContent() { --t_contentDepth; }
    NestedContent(const NestedContent&) = delete;
    NestedContent& operator=(const NestedContent&) = delete;
    bool tooDeep() const { return t_contentDepth > P7_MAX_CONTENT_NESTING; }
};

// ContentInfo ::= SEQUENCE { contentType, [0] EXPLICIT content OPTIONAL },
// the content read by its type's decoder (1 for content of a type we do not
// know).
PKI_ERROR decodeContentInfo(const Element& e, P7_CONTENT_INFO*& out) {
    constexpr unsigned F = F_SEQ_TO_P7_CONTENT_INFO;
    const PKI_ERROR malformed = code(F, ERR_ASN1_DECODING);
    const int n = e.identifier == 0x30 ? childrenOf(e) : -1;
    if (n < 0) return malformed;
    if (n < 1 || n > 2) return code(F, ERR_R_INVALID_ELEMENT);
    Owned<P7_CONTENT_INFO, free_P7_CONTENT_INFO> made(new_P7_CONTENT_INFO());
    if (!made) return code(F, ERR_R_ALLOC);
    Decoder d(der::Cursor(e.contents, e.contentsSize));
    Element type, wrapper, inner;
    if (!d.next(type) || !Oid::matches(type.identifier) || !Oid::decodeContents(type, made->contentType))
        return malformed;
    if (n == 2) {
        if (!d.next(wrapper) || wrapper.identifier != 0xa0 || childrenOf(wrapper) != 1) return malformed;
        Decoder w(der::Cursor(wrapper.contents, wrapper.contentsSize));
        const ContentType* t = contentTypeOf(typeOf(made.get()));
        if (!t) return 1;
        if (!w.next(inner)) return malformed;
        if (t->row == P7_DATA) {
            ASN1_STRING* bytes = nullptr;
            if (!OctetString::matches(inner.identifier) || !OctetString::decodeContents(inner, bytes)) return malformed;
            made->content = bytes;
        } else {
            // CMS carries a trust list as eContent, its DER inside an OCTET STRING.
            ber::Bytes wrapped;
            if (t->row == P7_CTL_TYPE && OctetString::matches(inner.identifier)) {
                int unused = 0;
                if (!ber::stringContents(inner, wrapped, unused, false)) return malformed;
                der::Cursor list(wrapped.data(), wrapped.size());
                if (!der::getElement(list, inner) || !list.empty()) return malformed;
            }
            if (inner.identifier != 0x30) return malformed;
            NestedContent level;
            if (level.tooDeep()) return malformed;
            if (PKI_ERROR rc = t->decode(inner, &made->content)) return rc;
        }
    }
    out = made.release();
    return 0;
}

// The ContentInfo's element; 0 or a whole code.
int writeContentInfo(const P7_CONTENT_INFO* p7, Writer& w) {
    constexpr unsigned F = F_P7_CONTENT_INFO_TO_SEQ;
    if (!p7->contentType) return code(F, ERR_R_INVALID_ELEMENT);
    const ContentType* t = contentTypeOf(typeOf(p7));
    if (!t) return code(F, ERR_R_UNSUPPORTED);
    const size_t seq = w.open(0x30);
    if (!Oid::write(p7->contentType, w)) return code(F, ERR_ASN1_ENCODING);
    if (p7->content) {
        const size_t explicitContent = w.open(0xa0);
        if (t->row == P7_DATA) {
            if (!OctetString::write(static_cast<ASN1_STRING*>(p7->content), w)) return code(F, ERR_ASN1_ENCODING);
        } else if (const int rc = t->write(p7->content, w)) {
            return rc > 0xffff ? rc : static_cast<int>(code(F, static_cast<unsigned>(rc)));
        }
        if (!w.close(explicitContent)) return code(F, ERR_ASN1_ENCODING);
    }
    return w.close(seq) ? 0 : code(F, ERR_ASN1_ENCODING);
}

void releaseContentInfo(P7_CONTENT_INFO* p7) {
    releaseContent(p7);
    free_ASN1_STRING(p7->contentType);
    p7->contentType = nullptr;
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

bool EncryptedContentInfoCodec::decodeContents(const Element& e, Value& out) {
    return Sub<P7_ENCRYPTED_CONTENT_INFO>::decodeContents(e, out);
}

bool EncryptedContentInfoCodec::write(const Value& v, Writer& w) { return Sub<P7_ENCRYPTED_CONTENT_INFO>::write(v, w); }

bool attributesDer(const X509_ATTRIBUTES* list, ber::Bytes& out) {
    if (!list) return false;
    try {
        out.clear();
        Writer w(out);
        if (!SignedAttrsCodec::write(const_cast<X509_ATTRIBUTES*>(list), w) || out.empty()) return false;
        out[0] = 0x31;  // the [0] element's contents as a SET OF
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void dropReceived(P7_SIGNER_INFO* si) {
    if (!si || !si->received) return;
    Kept* kept = si->received;
    freeKept(kept);
    si->received = nullptr;
}

bool signedAttributesDer(const P7_SIGNER_INFO* si, ber::Bytes& out) {
    if (!si || !attributesDer(si->authenticatedAttributes, out)) return false;
    const Received* k = si->received;
    if (k && k->mark == zpki::pkcs7::attributesMark(si->authenticatedAttributes)) {
        try {
            out.assign(k->data(), k->data() + k->size);
        } catch (const std::bad_alloc&) {
            return false;
        }
        out[0] = 0x31;
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

// T_to_Seq and Seq_to_T of a described record, with its function bytes.
#define ZPKI_P7_CODEC(T)                                            \
    ZUNPKI_API PKI_ERROR T##_to_Seq(const T* r, ASN1_UNIT** node) { \
        return encodeRecord(r, node, Bounds<T>::kEncode);           \
    }                                                               \
    ZUNPKI_API PKI_ERROR Seq_to_##T(const ASN1_UNIT* node, T** r) { return decodeP7Node(node, r); }

// The same for a SET OF such records.
#define ZPKI_P7_LIST_CODEC(LIST, T, F_ENCODE, F_DECODE)                      \
    ZUNPKI_API PKI_ERROR LIST##_to_Seq(const LIST* list, ASN1_UNIT** node) { \
        return encodeInfos<T>(list, node, F_ENCODE);                         \
    }                                                                        \
    ZUNPKI_API PKI_ERROR Seq_to_##LIST(const ASN1_UNIT* node, LIST** list) { \
        return decodeInfos<T>(node, list, F_DECODE);                         \
    }

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
    const int n = elementOf(node, whole) && whole.identifier == 0x30 ? childrenOf(whole) : -1;
    if (n < 0) return code(F, ERR_ASN1_DECODING);
    if (n != 2) return code(F, ERR_R_INVALID_ELEMENT);
    return Seq_to_X509_SIGN(node, di) == 0 ? 0 : code(F, ERR_ASN1_DECODING);
}

ZPKI_P7_CODEC(P7_SIGNER_INFO)

ZPKI_P7_LIST_CODEC(P7_SIGNER_INFOS, P7_SIGNER_INFO, F_P7_SIGNER_INFOS_TO_SEQ, F_SEQ_TO_P7_SIGNER_INFOS)

ZPKI_P7_CODEC(P7_SIGNED_DATA)

ZPKI_P7_CODEC(P7_RECIPIENT_INFO)

ZPKI_P7_LIST_CODEC(P7_RECIPIENT_INFOS, P7_RECIPIENT_INFO, F_P7_RECIPIENT_INFOS_TO_SEQ, F_SEQ_TO_P7_RECIPIENT_INFOS)

ZPKI_P7_CODEC(P7_ENCRYPTED_CONTENT_INFO)

ZPKI_P7_CODEC(P7_ENVELOPED_DATA)

ZPKI_P7_CODEC(P7_SIGNED_AND_ENVELOPED_DATA)

ZPKI_P7_CODEC(P7_DIGESTED_DATA)

ZPKI_P7_CODEC(P7_ENCRYPTED_DATA)

ZUNPKI_API PKI_ERROR P7_CONTENT_INFO_to_Seq(const P7_CONTENT_INFO* p7, ASN1_UNIT** node) {
    constexpr unsigned F = F_P7_CONTENT_INFO_TO_SEQ;
    if (!p7 || !node) return code(F, ERR_R_NULL_ARGUMENT);
    return deliverWritten(node, L_PKCS7 | F, false, [p7](Writer& w) { return writeContentInfo(p7, w); });
}

ZUNPKI_API PKI_ERROR Seq_to_P7_CONTENT_INFO(const ASN1_UNIT* node, P7_CONTENT_INFO** p7) {
    if (!node || !p7) return code(F_SEQ_TO_P7_CONTENT_INFO, ERR_R_NULL_ARGUMENT);
    Element e;
    P7_CONTENT_INFO* made = nullptr;
    if (!elementOf(node, e)) return code(F_SEQ_TO_P7_CONTENT_INFO, ERR_ASN1_DECODING);
    if (PKI_ERROR rc = decodeContentInfo(e, made)) return rc;
    Owned<P7_CONTENT_INFO, free_P7_CONTENT_INFO> owned(made);
    zpki::pkcs::deliver<clean_P7_CONTENT_INFO>(owned, p7);
    return 0;
}

// ---- Construction ------------------------------------------------------------

ZUNPKI_API int set_PKCS7_Type(P7_CONTENT_INFO* p7, int row) {
    if (!p7 || !contentTypeOf(row)) return 1;
    Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER> type(index_to_OBJECT_IDENTIFIER(row));
    if (!type) return 1;
    void* content = nullptr;
    if (row != P7_DATA && !(content = contentTypeOf(row)->create ? contentTypeOf(row)->create() : nullptr)) return 1;
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
