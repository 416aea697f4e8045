// CMS records described once, their DER codecs, and typing, versioning and
// filling a message.
#include <zunPKI/pkcs/cms.h>

#include <cstring>
#include <new>

#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/pkcs/pkcs7_sign.h>
#include "pkcs/cms.hpp"
#include "pkcs/pkcs_codecs.hpp"
#include "x509/issuer_and_serial_number.hpp"
#include "x509/x509_attr.hpp"
#include "x509/x509_cert.hpp"
#include "x509/x509_crl.hpp"
#include "x509/x509_list.hpp"
#include "x509/x509_path.hpp"

using namespace zpki::asn1;
namespace der = zpki::der;
using zpki::Owned;
using zpki::cms::code;
using zpki::cms::rowOf;
using zpki::cms::typeOf;

namespace {

// ---- Members kept in memory only -------------------------------------------------

struct KeyValue {
    using Value = ASYMMETRIC_KEY*;
    static void release(Value& v) {
        free_ASYMMETRIC_KEY(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) {
        if (!from) return true;
        to = from->kind == ASYMMETRIC_KEY_EMPTY ? new_ASYMMETRIC_KEY() : dup_ASYMMETRIC_KEY(from);
        return to != nullptr;
    }
    static int compare(const Value&, const Value&) { return 0; }
};

struct FlagValue {
    using Value = int;
    static void release(Value& v) { v = 0; }
    static bool copy(const Value& from, Value& to) {
        to = from;
        return true;
    }
    static int compare(const Value&, const Value&) { return 0; }
};

using Key = NotEncoded<KeyValue>;
using Flag = NotEncoded<FlagValue>;

// ---- Members -----------------------------------------------------------------------

using zpki::pkcs::AlgorithmId;
using Ias = Sub<ISSUER_AND_SERIAL_NUMBER>;
using Algorithms = SetOf<AlgorithmId>;
using Attributes = zpki::x509::AttributesCodec;
using Certificates = Optional<Implicit<0, SetOf<zpki::x509::CertCodec>>>;
using Crls = Optional<Implicit<1, SetOf<zpki::x509::CrlCodec>>>;
using EncryptedContent = zpki::pkcs7::EncryptedContentInfoCodec;

// subjectKeyIdentifier [0] IMPLICIT: 80 len id. A [0] holding one OCTET
// STRING (the explicit form older encoders wrote) reads as the same
// identifier, as a constructed string of one segment does.
using KeyIdentifier = Implicit<0, OctetString>;

// eContent [0] EXPLICIT OCTET STRING OPTIONAL; a second element of another
// identifier is passed over: the content is then detached.
struct EContent {
    using WriteOwner = EContent;
    using Value = OCTET_STRING*;
    using Wrapped = Explicit<0, OctetString>;
    static constexpr bool kOptional = true;
    static bool matches(uint8_t) { return true; }
    static bool decodeContents(const Element& e, Value& out) {
        if (e.identifier != 0xa0) {
            out = nullptr;
            return true;
        }
        return Wrapped::decodeContents(e, out);
    }
    static bool write(const Value& v, Writer& w) { return Wrapped::write(v, w); }
    static bool encode(const Value& v, ASN1_UNIT* parent) { return encodeByWriting<EContent>(v, parent); }
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) { OctetString::release(v); }
    static bool copy(const Value& from, Value& to) { return OctetString::copy(from, to); }
    static int compare(const Value& a, const Value& b) { return OctetString::compare(a, b); }
};

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

}  // namespace

template <>
struct zpki::asn1::Describe<SIGNER_IDENTIFIER> {
    using T = SIGNER_IDENTIFIER;
    using Shape = Choice<&T::type, Alt<CMS_ID_ISSUER_AND_SERIAL, Field<&T::issuerAndSerialNumber, Ias>>,
                         Alt<CMS_ID_KEY_IDENTIFIER, Field<&T::subjectKeyIdentifier, KeyIdentifier>>>;
};

template <>
struct zpki::asn1::Describe<ENCAPSULATED_CONTENT_INFO> {
    using T = ENCAPSULATED_CONTENT_INFO;
    using Shape = Sequence<Field<&T::eContentType, Oid>, Field<&T::eContent, EContent>>;
};

// SignerInfo: version, sid, digestAlgorithm, then the signed attributes (kept
// as received), the signature algorithm, the signature and the unsigned
// attributes, in any order, each at most once.
template <>
struct zpki::asn1::Describe<CMS_SIGNER_INFO> {
    using S = CMS_SIGNER_INFO;
    using Shape = Sequence<Field<&S::version, Integer>, Field<&S::sid, Sub<SIGNER_IDENTIFIER>>,
                           Field<&S::digestAlgorithm, AlgorithmId>,
                           AnyOrder<zpki::pkcs7::KeptSignedAttributes<S, &S::signedAttrs, &S::received>,
                                    Field<&S::signatureAlgorithm, AlgorithmId>, Field<&S::signature, OctetString>,
                                    Field<&S::unsignedAttrs, Optional<Implicit<1, Attributes>>>>,
                           Field<&S::key, Key>>;
};

template <>
struct zpki::asn1::Describe<CMS_SIGNED_DATA> {
    using S = CMS_SIGNED_DATA;
    using Shape = Sequence<Field<&S::version, Integer>, Field<&S::digestAlgorithms, Algorithms>,
                           Field<&S::encapContentInfo, Sub<ENCAPSULATED_CONTENT_INFO>>,
                           AnyOrder<Field<&S::certificates, Certificates>, Field<&S::crls, Crls>,
                                    Field<&S::signerInfos, SetOf<Sub<CMS_SIGNER_INFO>>>>,
                           Field<&S::detached, Flag>>;
};

template <>
struct zpki::asn1::Describe<CMS_ORIGINATOR_INFO> {
    using T = CMS_ORIGINATOR_INFO;
    using Shape = Sequence<Field<&T::certs, Certificates>, Field<&T::crls, Crls>>;
};

template <>
struct zpki::asn1::Describe<KEY_TRANS_RECIPIENT_INFO> {
    using R = KEY_TRANS_RECIPIENT_INFO;
    using Shape = Sequence<Field<&R::version, Integer>, Field<&R::rid, Sub<SIGNER_IDENTIFIER>>,
                           Field<&R::keyEncryptionAlgorithm, AlgorithmId>, Field<&R::encryptedKey, OctetString>,
                           Field<&R::key, Key>>;
};

// The key-agreement records are kept, copied and released; no codec writes
// or reads them.
template <>
struct zpki::asn1::Describe<ORIGINATOR_PUBLIC_KEY> {
    using T = ORIGINATOR_PUBLIC_KEY;
    using Shape = Sequence<Field<&T::algorithm, AlgorithmId>, Field<&T::publicKey, BitString>>;
};

template <>
struct zpki::asn1::Describe<ORIGINATOR_IDENTIFIER_ORKEY> {
    using T = ORIGINATOR_IDENTIFIER_ORKEY;
    using Shape = Choice<&T::type, Alt<CMS_ID_ISSUER_AND_SERIAL, Field<&T::issuerAndSerialNumber, Ias>>,
                         Alt<CMS_ID_KEY_IDENTIFIER, Field<&T::subjectKeyIdentifier, KeyIdentifier>>,
                         Alt<CMS_ORIGINATOR_KEY, Field<&T::originatorKey, Implicit<1, Sub<ORIGINATOR_PUBLIC_KEY>>>>>;
};

template <>
struct zpki::asn1::Describe<OTHER_KEY_ATTRIBUTE> {
    using T = OTHER_KEY_ATTRIBUTE;
    using Shape = Sequence<Field<&T::keyAttrId, Oid>, Field<&T::keyAttr, Optional<AnyNode>>>;
};

template <>
struct zpki::asn1::Describe<RECIPIENT_KEY_IDENTIFIER> {
    using T = RECIPIENT_KEY_IDENTIFIER;
    using Shape = Sequence<Field<&T::subjectKeyIdentifier, OctetString>, Field<&T::date, Optional<GeneralizedTime>>,
                           Field<&T::other, Optional<Sub<OTHER_KEY_ATTRIBUTE>>>>;
};

template <>
struct zpki::asn1::Describe<KEY_AGREE_RECIPIENT_IDENTIFIER> {
    using T = KEY_AGREE_RECIPIENT_IDENTIFIER;
    using Shape = Choice<&T::type, Alt<CMS_KARI_ISSUER_AND_SERIAL, Field<&T::issuerAndSerialNumber, Ias>>,
                         Alt<CMS_KARI_KEY_ID, Field<&T::rKeyId, Implicit<0, Sub<RECIPIENT_KEY_IDENTIFIER>>>>>;
};

template <>
struct zpki::asn1::Describe<RECIPIENT_ENCRYPTED_KEY> {
    using T = RECIPIENT_ENCRYPTED_KEY;
    using Shape = Sequence<Field<&T::rid, Sub<KEY_AGREE_RECIPIENT_IDENTIFIER>>, Field<&T::encryptedKey, OctetString>>;
};

template <>
struct zpki::asn1::Describe<KEY_AGREE_RECIPIENT_INFO> {
    using T = KEY_AGREE_RECIPIENT_INFO;
    using Shape =
        Sequence<Field<&T::version, Integer>, Field<&T::originator, Explicit<0, Sub<ORIGINATOR_IDENTIFIER_ORKEY>>>,
                 Field<&T::keyEncryptionAlgorithm, AlgorithmId>,
                 Field<&T::recipientEncryptedKeys, SequenceOf<Sub<RECIPIENT_ENCRYPTED_KEY>>>>;
};

// RecipientInfo: key transport is read and written; a record of another
// kind is released and copied with its members but never written.
template <>
struct zpki::asn1::Describe<CMS_RECIPIENT_INFO> {
    using T = CMS_RECIPIENT_INFO;
    using Shape = Choice<&T::type, Alt<CMS_RI_KEY_TRANSPORT, Field<&T::ktri, Sub<KEY_TRANS_RECIPIENT_INFO>>>,
                         Alt<CMS_RI_KEY_AGREEMENT, Field<&T::kari, NotEncoded<Sub<KEY_AGREE_RECIPIENT_INFO>>>>>;
};

using RecipientInfos = SetOf<Sub<CMS_RECIPIENT_INFO>>;
using OriginatorInfo = Optional<Implicit<0, Sub<CMS_ORIGINATOR_INFO>>>;

template <>
struct zpki::asn1::Describe<CMS_ENVELOPED_DATA> {
    using E = CMS_ENVELOPED_DATA;
    using Shape =
        Sequence<Field<&E::version, Integer>, Field<&E::originatorInfo, OriginatorInfo>,
                 Field<&E::recipientInfos, NonEmpty<RecipientInfos>>, Field<&E::encryptedContentInfo, EncryptedContent>,
                 Field<&E::unprotectedAttrs, Optional<Implicit<1, Attributes>>>, Field<&E::detached, Flag>>;
};

template <>
struct zpki::asn1::Describe<CMS_DIGESTED_DATA> {
    using D = CMS_DIGESTED_DATA;
    using Shape = Sequence<Field<&D::version, Integer>, Field<&D::digestAlgorithm, AlgorithmId>,
                           Field<&D::encapContentInfo, Sub<ENCAPSULATED_CONTENT_INFO>>, Field<&D::digest, OctetString>,
                           Field<&D::detached, Flag>>;
};

template <>
struct zpki::asn1::Describe<CMS_ENCRYPTED_DATA> {
    using E = CMS_ENCRYPTED_DATA;
    using Shape = Sequence<Field<&E::version, Integer>, Field<&E::encryptedContentInfo, EncryptedContent>,
                           Field<&E::unprotectedAttrs, Optional<Implicit<1, Attributes>>>, Field<&E::detached, Flag>>;
};

template <>
struct zpki::asn1::Describe<CMS_AUTHENTICATED_DATA> {
    using A = CMS_AUTHENTICATED_DATA;
    using Shape = Sequence<Field<&A::version, Integer>, Field<&A::originatorInfo, OriginatorInfo>,
                           Field<&A::recipientInfos, RecipientInfos>, Field<&A::macAlgorithm, AlgorithmId>,
                           Field<&A::digestAlgorithm, Optional<Implicit<1, AlgorithmId>>>,
                           Field<&A::encapContentInfo, Sub<ENCAPSULATED_CONTENT_INFO>>,
                           Field<&A::authAttrs, Optional<Implicit<2, Attributes>>>, Field<&A::mac, OctetString>,
                           Field<&A::unauthAttrs, Optional<Implicit<3, Attributes>>>, Field<&A::detached, Flag>>;
};

ZPKI_STRUCT_LIFECYCLE(ENCAPSULATED_CONTENT_INFO)
ZPKI_STRUCT_LIFECYCLE(SIGNER_IDENTIFIER)
ZPKI_STRUCT_LIFECYCLE(CMS_SIGNER_INFO)
ZPKI_STRUCT_LIFECYCLE(CMS_SIGNED_DATA)
ZPKI_STRUCT_LIFECYCLE(CMS_ORIGINATOR_INFO)
ZPKI_STRUCT_LIFECYCLE(KEY_TRANS_RECIPIENT_INFO)
ZPKI_STRUCT_LIFECYCLE(CMS_RECIPIENT_INFO)
ZPKI_STRUCT_LIFECYCLE(CMS_ENVELOPED_DATA)
ZPKI_STRUCT_LIFECYCLE(CMS_DIGESTED_DATA)
ZPKI_STRUCT_LIFECYCLE(CMS_ENCRYPTED_DATA)
ZPKI_STRUCT_LIFECYCLE(CMS_AUTHENTICATED_DATA)

namespace {

// ---- Decoding and encoding ------------------------------------------------------

// The children each record may have, and its function bytes.
template <class T>
struct Bounds;

#define ZPKI_CMS_BOUNDS(T, MIN, MAX, F_DECODE, F_ENCODE) \
    template <>                                          \
    struct Bounds<T> {                                   \
        static constexpr int kMin = MIN, kMax = MAX;     \
        static constexpr unsigned kFunc = F_DECODE;      \
        static constexpr unsigned kEncode = F_ENCODE;    \
    };
ZPKI_CMS_BOUNDS(ENCAPSULATED_CONTENT_INFO, 1, 2, F_SEQ_TO_ENCAPSULATED_CONTENT_INFO, F_ENCAPSULATED_CONTENT_INFO_TO_SEQ)
ZPKI_CMS_BOUNDS(CMS_SIGNER_INFO, 5, 7, F_SEQ_TO_CMS_SIGNER_INFO, F_CMS_SIGNER_INFO_TO_SEQ)
ZPKI_CMS_BOUNDS(CMS_SIGNED_DATA, 4, 6, F_SEQ_TO_CMS_SIGNED_DATA, F_CMS_SIGNED_DATA_TO_SEQ)
ZPKI_CMS_BOUNDS(CMS_ORIGINATOR_INFO, 0, 2, F_SEQ_TO_CMS_ORIGINATOR_INFO, F_CMS_ORIGINATOR_INFO_TO_SEQ)
ZPKI_CMS_BOUNDS(CMS_RECIPIENT_INFO, 4, 5, F_SEQ_TO_CMS_RECIPIENT_INFO, F_CMS_RECIPIENT_INFO_TO_SEQ)
ZPKI_CMS_BOUNDS(CMS_ENVELOPED_DATA, 3, 5, F_SEQ_TO_CMS_ENVELOPED_DATA, F_CMS_ENVELOPED_DATA_TO_SEQ)
ZPKI_CMS_BOUNDS(CMS_DIGESTED_DATA, 4, 4, F_SEQ_TO_CMS_DIGESTED_DATA, F_CMS_DIGESTED_DATA_TO_SEQ)
ZPKI_CMS_BOUNDS(CMS_ENCRYPTED_DATA, 2, 3, F_SEQ_TO_CMS_ENCRYPTED_DATA, F_CMS_ENCRYPTED_DATA_TO_SEQ)
ZPKI_CMS_BOUNDS(CMS_AUTHENTICATED_DATA, 5, 9, F_SEQ_TO_CMS_AUTHENTICATED_DATA, F_CMS_AUTHENTICATED_DATA_TO_SEQ)
#undef ZPKI_CMS_BOUNDS

// The number of children of a constructed element; -1 when they do not read.
int childrenOf(const Element& e) {
    if (!e.constructed()) return -1;
    der::Cursor c(e.contents, e.contentsSize);
    int n = 0;
    for (Element x; !c.empty(); ++n)
        if (!der::getElement(c, x)) return -1;
    return n;
}

// A RecipientInfo of another kind than key transport: [1] key agreement,
// [2] KEK, [3] password, [4] other.
bool isOtherRecipient(uint8_t id) { return id >= 0xa1 && id <= 0xa4; }

// A record of T from its element into a new record.
template <class T>
PKI_ERROR decodeCms(const Element& e, T*& out) {
    constexpr unsigned F = Bounds<T>::kFunc;
    if constexpr (std::is_same_v<T, CMS_RECIPIENT_INFO>) {
        if (isOtherRecipient(e.identifier)) return code(F, ERR_R_UNSUPPORTED);
    }
    const int n = childrenOf(e);
    if (n < 0 || !Family<T>::Ops::matches(e.identifier)) return code(F, ERR_ASN1_DECODING);
    if (n < Bounds<T>::kMin || n > Bounds<T>::kMax) return code(F, ERR_R_INVALID_ELEMENT);
    Owned<T, Family<T>::destroy> made(PKI_NEW(T));
    if (!made) return code(F, ERR_R_ALLOC);
    if (!Family<T>::decodeElement(e, *made)) return code(F, ERR_ASN1_DECODING);
    out = made.release();
    return 0;
}

// The C decoder of T over decodeCms: the caller's record changes only on
// success.
template <class T>
PKI_ERROR decodeNode(const ASN1_UNIT* node, T** out) {
    constexpr unsigned F = Bounds<T>::kFunc;
    if (!node || !out) return code(F, ERR_R_NULL_ARGUMENT);
    Element e;
    T* made = nullptr;
    if (!elementOf(node, e)) return code(F, ERR_ASN1_DECODING);
    if (PKI_ERROR rc = decodeCms<T>(e, made)) return rc;
    Owned<T, Family<T>::destroy> owned(made);
    zpki::pkcs::deliver<Family<T>::clean>(owned, out);
    return 0;
}

// Only key-transport recipients are written.
bool writableRecipients(const STACK* list) {
    for (int i = 0; i < get_STACK_count(list); ++i) {
        const auto* ri = static_cast<const CMS_RECIPIENT_INFO*>(get_STACK_value(list, i));
        if (!ri || ri->type != CMS_RI_KEY_TRANSPORT) return false;
    }
    return true;
}

// Whether a record can be written, before anything is: 0 or a whole code.
template <class T>
PKI_ERROR writable(const T& r) {
    if constexpr (std::is_same_v<T, CMS_RECIPIENT_INFO>) {
        if (r.type != CMS_RI_KEY_TRANSPORT) return code(F_CMS_RECIPIENT_INFO_TO_SEQ, ERR_R_UNSUPPORTED);
        if (!r.ktri || !r.ktri->rid || !r.ktri->keyEncryptionAlgorithm || !r.ktri->encryptedKey)
            return code(F_CMS_RECIPIENT_INFO_TO_SEQ, ERR_R_NULL_ARGUMENT);
    } else if constexpr (std::is_same_v<T, CMS_ENVELOPED_DATA> || std::is_same_v<T, CMS_AUTHENTICATED_DATA>) {
        if (!writableRecipients(r.recipientInfos)) return code(F_CMS_RECIPIENT_INFO_TO_SEQ, ERR_R_UNSUPPORTED);
    } else if constexpr (std::is_same_v<T, CMS_SIGNER_INFO>) {
        if (!r.version) return code(F_CMS_SIGNER_INFO_TO_SEQ, ERR_R_NULL_ARGUMENT);
        if (!r.sid || r.sid->type < CMS_ID_ISSUER_AND_SERIAL || r.sid->type > CMS_ID_KEY_IDENTIFIER)
            return code(F_CMS_SIGNER_INFO_TO_SEQ, ERR_R_UNSUPPORTED);
    }
    return 0;
}

// A record's element: its own function byte on a failure of its own.
template <class T>
int writeRecord(const T& r, Writer& w) {
    if (PKI_ERROR rc = writable(r)) return rc;
    const int rc = detail::RecordOps<T>::write(r, w);
    if (rc > 0 && rc <= 0xffff) {
        const unsigned reason = rc == ERR_R_INVALID_ELEMENT ? ERR_R_NULL_ARGUMENT : ERR_ASN1_ENCODING;
        return static_cast<int>(code(Bounds<T>::kEncode, reason));
    }
    return rc;
}

template <class T>
PKI_ERROR encodeRecord(const T* r, ASN1_UNIT** node) {
    constexpr unsigned F = Bounds<T>::kEncode;
    if (!r || !node) return code(F, ERR_R_NULL_ARGUMENT);
    return deliverWritten(node, L_CMS | F, false, [r](Writer& w) { return writeRecord(*r, w); });
}

// SET OF records; an empty list is an empty SET.
template <class T>
PKI_ERROR encodeList(const STACK* list, ASN1_UNIT** node, unsigned func) {
    if (!list || !node) return code(func, ERR_R_NULL_ARGUMENT);
    return deliverWritten(node, L_CMS | func, false, [&](Writer& w) -> int {
        const size_t set = w.open(0x31);
        for (int i = 0; i < list->count; ++i) {
            if (!list->items[i]) return code(func, ERR_R_NULL_ARGUMENT);
            if (const int rc = writeRecord(*static_cast<const T*>(list->items[i]), w)) return rc;
        }
        return w.close(set) ? 0 : ERR_ASN1_ENCODING;
    });
}

// SET OF records appended to *list (made when null), which changes only on
// success.
template <class T>
PKI_ERROR decodeList(const ASN1_UNIT* node, STACK** list, unsigned func) {
    if (!node || !list) return code(func, ERR_R_NULL_ARGUMENT);
    Element e;
    if (!elementOf(node, e) || !e.constructed()) return code(func, ERR_ASN1_DECODING);
    Owned<STACK, zpki::x509::freeList<T, Family<T>::destroy>> made(new_STACK());
    if (!made) return code(func, ERR_R_ALLOC);
    Decoder d(der::Cursor(e.contents, e.contentsSize));
    while (d.more()) {
        Element x;
        T* item = nullptr;
        if (!d.next(x)) return code(func, ERR_ASN1_DECODING);
        if (PKI_ERROR rc = decodeCms<T>(x, item)) return rc;
        if (push_STACK_value(made.get(), item) == 0) {
            Family<T>::destroy(item);
            return code(func, ERR_STK_ERROR);
        }
    }
    if (!*list)
        *list = made.release();
    else if (zpki::x509::appendAll(*list, made.get()))
        (void)made.release();  // items moved, shell freed
    else
        return code(func, ERR_STK_ERROR);
    return 0;
}

// ---- ContentInfo ---------------------------------------------------------------

template <class T>
void releaseAs(void* p) {
    Family<T>::destroy(static_cast<T*>(p));
}
template <class T>
void* copyAs(const void* p) {
    return Family<T>::dup(static_cast<const T*>(p));
}
template <class T>
int compareAs(const void* a, const void* b) {
    return Family<T>::cmp(static_cast<const T*>(a), static_cast<const T*>(b));
}
template <class T>
int writeAs(const void* p, Writer& w) {
    return writeRecord(*static_cast<const T*>(p), w);
}
template <class T>
PKI_ERROR decodeAs(const Element& e, void** out) {
    T* made = nullptr;
    const PKI_ERROR rc = decodeCms<T>(e, made);
    *out = made;
    return rc;
}

// A new record of the row with its first version.
template <class T, unsigned long Version>
void* newVersioned() {
    Owned<T, Family<T>::destroy> r(Family<T>::create());
    if (!r || !zpki::pkcs7::setVersion(r->version, Version)) return nullptr;
    return r.release();
}

struct ContentType {
    int row;
    void (*release)(void*);
    void* (*copy)(const void*);
    int (*compare)(const void*, const void*);
    int (*write)(const void*, Writer&);
    PKI_ERROR (*decode)(const Element&, void**);
    void* (*create)();
};

#define CMS_CONTENT_TYPE(row, T, version) \
    ContentType { row, releaseAs<T>, copyAs<T>, compareAs<T>, writeAs<T>, decodeAs<T>, newVersioned<T, version> }

void releaseData(void* p) { free_ASN1_STRING(static_cast<ASN1_STRING*>(p)); }
void* copyData(const void* p) { return dup_ASN1_STRING(static_cast<const ASN1_STRING*>(p)); }
int compareData(const void* a, const void* b) {
    return cmp_ASN1_STRING(static_cast<const ASN1_STRING*>(a), static_cast<const ASN1_STRING*>(b));
}

const ContentType kContentTypes[] = {
    {CMS_DATA, releaseData, copyData, compareData, nullptr, nullptr, nullptr},
    CMS_CONTENT_TYPE(CMS_SIGNED_DATA_TYPE, CMS_SIGNED_DATA, 1),
    CMS_CONTENT_TYPE(CMS_ENVELOPED_DATA_TYPE, CMS_ENVELOPED_DATA, 0),
    CMS_CONTENT_TYPE(CMS_DIGESTED_DATA_TYPE, CMS_DIGESTED_DATA, 0),
    CMS_CONTENT_TYPE(CMS_ENCRYPTED_DATA_TYPE, CMS_ENCRYPTED_DATA, 0),
    CMS_CONTENT_TYPE(CMS_AUTHENTICATED_DATA_TYPE, CMS_AUTHENTICATED_DATA, 0),
};

#undef CMS_CONTENT_TYPE

const ContentType* contentTypeOf(int row) {
    for (const ContentType& t : kContentTypes)
        if (t.row == row) return &t;
    return nullptr;
}

void releaseContent(CMS_CONTENT_INFO* cms) {
    if (const ContentType* t = contentTypeOf(typeOf(cms))) t->release(cms->content);
    cms->content = nullptr;
}

// ContentInfo ::= SEQUENCE { contentType, [0] EXPLICIT content OPTIONAL }; 1
// for content of a type we do not know.
PKI_ERROR decodeContentInfo(const Element& e, CMS_CONTENT_INFO*& out) {
    constexpr unsigned F = F_SEQ_TO_CMS_CONTENT_INFO;
    const PKI_ERROR malformed = code(F, ERR_ASN1_DECODING);
    const int n = e.identifier == 0x30 ? childrenOf(e) : -1;
    if (n < 0) return malformed;
    if (n < 1 || n > 2) return code(F, ERR_R_INVALID_ELEMENT);
    Owned<CMS_CONTENT_INFO, free_CMS_CONTENT_INFO> made(new_CMS_CONTENT_INFO());
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
        if (t->row == CMS_DATA) {
            ASN1_STRING* bytes = nullptr;
            if (!OctetString::matches(inner.identifier) || !OctetString::decodeContents(inner, bytes)) return malformed;
            made->content = bytes;
        } else if (PKI_ERROR rc = t->decode(inner, &made->content)) {
            return rc;
        }
    }
    out = made.release();
    return 0;
}

int writeContentInfo(const CMS_CONTENT_INFO* cms, Writer& w) {
    constexpr unsigned F = F_CMS_CONTENT_INFO_TO_SEQ;
    if (!cms->contentType) return code(F, ERR_R_NULL_ARGUMENT);
    const ContentType* t = contentTypeOf(typeOf(cms));
    if (cms->content && !t) return code(F, ERR_R_UNSUPPORTED);
    const size_t seq = w.open(0x30);
    if (!Oid::write(cms->contentType, w)) return code(F, ERR_ASN1_ENCODING);
    if (cms->content) {
        const size_t explicitContent = w.open(0xa0);
        if (t->row == CMS_DATA) {
            if (!OctetString::write(static_cast<ASN1_STRING*>(cms->content), w)) return code(F, ERR_ASN1_ENCODING);
        } else if (const int rc = t->write(cms->content, w)) {
            return rc;
        }
        if (!w.close(explicitContent)) return code(F, ERR_ASN1_ENCODING);
    }
    return w.close(seq) ? 0 : code(F, ERR_ASN1_ENCODING);
}

// Where a signedData, digestedData or authenticatedData holds its content.
ENCAPSULATED_CONTENT_INFO** encapsulatedSlot(const CMS_CONTENT_INFO* cms, bool withAuthenticated) {
    if (auto* sd = zpki::cms::contentAs<CMS_SIGNED_DATA>(cms, CMS_SIGNED_DATA_TYPE)) return &sd->encapContentInfo;
    if (auto* dd = zpki::cms::contentAs<CMS_DIGESTED_DATA>(cms, CMS_DIGESTED_DATA_TYPE)) return &dd->encapContentInfo;
    if (withAuthenticated)
        if (auto* ad = zpki::cms::contentAs<CMS_AUTHENTICATED_DATA>(cms, CMS_AUTHENTICATED_DATA_TYPE))
            return &ad->encapContentInfo;
    return nullptr;
}

// Where an envelopedData or authenticatedData holds its originator information.
CMS_ORIGINATOR_INFO** originatorSlot(const CMS_CONTENT_INFO* cms) {
    if (auto* ed = zpki::cms::contentAs<CMS_ENVELOPED_DATA>(cms, CMS_ENVELOPED_DATA_TYPE)) return &ed->originatorInfo;
    if (auto* ad = zpki::cms::contentAs<CMS_AUTHENTICATED_DATA>(cms, CMS_AUTHENTICATED_DATA_TYPE))
        return &ad->originatorInfo;
    return nullptr;
}

// Pushes item onto *list (made with make when null); false, the list as it
// was, when it cannot.
template <class T>
bool pushOnto(STACK*& list, T* item, STACK* (*make)()) {
    const bool made = !list;
    if (made && !(list = make())) return false;
    if (push_STACK_value(list, item) != 0) return true;
    if (made) {
        free_STACK(list);
        list = nullptr;
    }
    return false;
}

// An attribute appended to a content's list; the codes of func.
int addContentAttribute(X509_ATTRIBUTES*& list, unsigned func, int row, int tag, const void* value, int len) {
    return zpki::cms::addAttribute(list, row, tag, value, len) ? 0 : code(func, ERR_STK_ERROR);
}

// { OID of the row, NULL } into slot; 0 or the reason.
unsigned setAlgorithmRow(X509_ALGO_IDENTIFIER*& slot, int row) {
    Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER> oid(row > 0 ? index_to_OBJECT_IDENTIFIER(row) : nullptr);
    if (!oid) return ERR_NOT_FOUNDED;
    zpki::x509::Algorithm alg(new_X509_ALGO_IDENTIFIER());
    if (!alg || set_X509_ALGO_IDENTIFIER_value(alg.get(), oid.get(), nullptr) != 0) return ERR_ASN1_ENCODING;
    free_X509_ALGO_IDENTIFIER(slot);
    slot = alg.release();
    return 0;
}

}  // namespace

namespace zpki::cms {

int rowOf(const OBJECT_IDENTIFIER* oid) { return oid ? index_from_OBJECT_IDENTIFIER(oid) : 0; }
int typeOf(const CMS_CONTENT_INFO* cms) { return cms ? rowOf(cms->contentType) : 0; }

asn1::String keyIdentifierOf(const X509_CERT* cert) {
    der::Element e;
    const X509_EXTENSION* ext = x509::path::findExtension(cert, x509::path::kSubjectKeyId);
    if (!ext || !x509::path::extensionBody(ext, e) || e.identifier != ASN1_TAG_OCTET_STRING) return nullptr;
    ASN1_STRING* id = nullptr;
    if (!OctetString::decodeContents(e, id)) return nullptr;
    return asn1::String(id);
}

bool identifies(const SIGNER_IDENTIFIER* id, const X509_CERT* cert) {
    if (!id || !cert) return false;
    if (id->type == CMS_ID_ISSUER_AND_SERIAL)
        return id->issuerAndSerialNumber && cmp_ISSUER_AND_SERIAL_NUMBER(cert, id->issuerAndSerialNumber) == 0;
    if (id->type != CMS_ID_KEY_IDENTIFIER || !id->subjectKeyIdentifier) return false;
    const asn1::String ski = keyIdentifierOf(cert);
    return ski && cmp_ASN1_STRING(ski.get(), id->subjectKeyIdentifier) == 0;
}

PKI_ERROR identifierOf(const X509_CERT* cert, bool byKeyIdentifier, SIGNER_IDENTIFIER*& out, unsigned func) {
    Owned<SIGNER_IDENTIFIER, free_SIGNER_IDENTIFIER> id(new_SIGNER_IDENTIFIER());
    if (!id) return code(func, ERR_R_ALLOC);
    if (byKeyIdentifier) {
        // A key identifier the certificate does not carry would leave the
        // signer or recipient unnamed.
        asn1::String ski = keyIdentifierOf(cert);
        if (!ski || ski->length <= 0) return code(F_CMS_KEY_IDENTIFIER, ERR_NOT_FOUNDED);
        id->type = CMS_ID_KEY_IDENTIFIER;
        id->subjectKeyIdentifier = ski.release();
    } else {
        const X509_NAME* issuer = get_X509_issuer(cert);
        const BIGINT* serial = get_X509_serial(cert);
        if (!issuer) return code(func, ERR_R_ALLOC);
        if (!serial) return code(func, 0x28);
        const ISSUER_AND_SERIAL_NUMBER ias{const_cast<X509_NAME*>(issuer), const_cast<BIGINT*>(serial)};
        id->type = CMS_ID_ISSUER_AND_SERIAL;
        if (!(id->issuerAndSerialNumber = dup_ISSUER_AND_SERIAL_NUMBER(&ias))) return code(func, ERR_R_ALLOC);
    }
    out = id.release();
    return 0;
}

bool addAttribute(X509_ATTRIBUTES*& list, int row, int tag, const void* value, int len) {
    // PKCS#7's attribute maker, on a signer record lent the list.
    P7_SIGNER_INFO lent{};
    lent.authenticatedAttributes = list;
    const int rc = add_PKCS7_Signed_Attribute(&lent, row, tag, value, len);
    list = lent.authenticatedAttributes;
    return rc == 0;
}

}  // namespace zpki::cms

extern "C" {

// ---- Records -------------------------------------------------------------------

ZUNPKI_API CMS_CONTENT_INFO* new_CMS_CONTENT_INFO(void) { return PKI_NEW(CMS_CONTENT_INFO); }

ZUNPKI_API void clear_CMS_Type(CMS_CONTENT_INFO* cms) {
    if (!cms) return;
    releaseContent(cms);
    free_OBJECT_IDENTIFIER(cms->contentType);
    cms->contentType = nullptr;
}

ZUNPKI_API void clean_CMS_CONTENT_INFO(CMS_CONTENT_INFO* cms) { clear_CMS_Type(cms); }

ZUNPKI_API void free_CMS_CONTENT_INFO(CMS_CONTENT_INFO* cms) {
    if (!cms) return;
    clear_CMS_Type(cms);
    PKI_FREE(cms);
}

ZUNPKI_API CMS_CONTENT_INFO* dup_CMS_CONTENT_INFO(const CMS_CONTENT_INFO* cms) {
    if (!cms) return nullptr;
    Owned<CMS_CONTENT_INFO, free_CMS_CONTENT_INFO> copy(new_CMS_CONTENT_INFO());
    if (!copy || (cms->contentType && !(copy->contentType = dup_ASN1_STRING(cms->contentType)))) return nullptr;
    if (cms->content) {
        const ContentType* t = contentTypeOf(typeOf(cms));
        if (!t || !(copy->content = t->copy(cms->content))) return nullptr;
    }
    return copy.release();
}

ZUNPKI_API int cmp_CMS_CONTENT_INFO(const CMS_CONTENT_INFO* a, const CMS_CONTENT_INFO* b) {
    if (a == b) return 0;
    if (!a || !b) return a ? 1 : -1;
    if (int c = cmp_ASN1_STRING(a->contentType, b->contentType)) return c;
    if (!a->content || !b->content) return a->content ? 1 : b->content ? -1 : 0;
    const ContentType* t = contentTypeOf(typeOf(a));
    return t ? t->compare(a->content, b->content) : (a->content == b->content ? 0 : 1);
}

ZUNPKI_API RECIPIENT_IDENTIFIER* new_RECIPIENT_IDENTIFIER(void) { return new_SIGNER_IDENTIFIER(); }
ZUNPKI_API void free_RECIPIENT_IDENTIFIER(RECIPIENT_IDENTIFIER* id) { free_SIGNER_IDENTIFIER(id); }

ZUNPKI_API CMS_SIGNER_INFOS* new_CMS_SIGNER_INFOS(void) { return new_STACK(); }
ZUNPKI_API void free_CMS_SIGNER_INFOS(CMS_SIGNER_INFOS* list) {
    zpki::x509::freeList<CMS_SIGNER_INFO, free_CMS_SIGNER_INFO>(list);
}
ZUNPKI_API CMS_RECIPIENT_INFOS* new_CMS_RECIPIENT_INFOS(void) { return new_STACK(); }
ZUNPKI_API void free_CMS_RECIPIENT_INFOS(CMS_RECIPIENT_INFOS* list) {
    zpki::x509::freeList<CMS_RECIPIENT_INFO, free_CMS_RECIPIENT_INFO>(list);
}

ZUNPKI_API ORIGINATOR_PUBLIC_KEY* new_ORIGINATOR_PUBLIC_KEY(void) { return Family<ORIGINATOR_PUBLIC_KEY>::create(); }
ZUNPKI_API void free_ORIGINATOR_PUBLIC_KEY(ORIGINATOR_PUBLIC_KEY* key) { Family<ORIGINATOR_PUBLIC_KEY>::destroy(key); }
ZUNPKI_API ORIGINATOR_IDENTIFIER_ORKEY* new_ORIGINATOR_IDENTIFIER_ORKEY(void) {
    return Family<ORIGINATOR_IDENTIFIER_ORKEY>::create();
}
ZUNPKI_API void free_ORIGINATOR_IDENTIFIER_ORKEY(ORIGINATOR_IDENTIFIER_ORKEY* id) {
    Family<ORIGINATOR_IDENTIFIER_ORKEY>::destroy(id);
}
ZUNPKI_API OTHER_KEY_ATTRIBUTE* new_OTHER_KEY_ATTRIBUTE(void) { return Family<OTHER_KEY_ATTRIBUTE>::create(); }
ZUNPKI_API void free_OTHER_KEY_ATTRIBUTE(OTHER_KEY_ATTRIBUTE* attr) { Family<OTHER_KEY_ATTRIBUTE>::destroy(attr); }
ZUNPKI_API RECIPIENT_KEY_IDENTIFIER* new_RECIPIENT_KEY_IDENTIFIER(void) {
    return Family<RECIPIENT_KEY_IDENTIFIER>::create();
}
ZUNPKI_API void free_RECIPIENT_KEY_IDENTIFIER(RECIPIENT_KEY_IDENTIFIER* id) {
    Family<RECIPIENT_KEY_IDENTIFIER>::destroy(id);
}
ZUNPKI_API KEY_AGREE_RECIPIENT_IDENTIFIER* new_KEY_AGREE_RECIPIENT_IDENTIFIER(void) {
    return Family<KEY_AGREE_RECIPIENT_IDENTIFIER>::create();
}
ZUNPKI_API void free_KEY_AGREE_RECIPIENT_IDENTIFIER(KEY_AGREE_RECIPIENT_IDENTIFIER* id) {
    Family<KEY_AGREE_RECIPIENT_IDENTIFIER>::destroy(id);
}
ZUNPKI_API RECIPIENT_ENCRYPTED_KEY* new_RECIPIENT_ENCRYPTED_KEY(void) {
    return Family<RECIPIENT_ENCRYPTED_KEY>::create();
}
ZUNPKI_API void free_RECIPIENT_ENCRYPTED_KEY(RECIPIENT_ENCRYPTED_KEY* key) {
    Family<RECIPIENT_ENCRYPTED_KEY>::destroy(key);
}
ZUNPKI_API RECIPIENT_ENCRYPTED_KEYS* new_RECIPIENT_ENCRYPTED_KEYS(void) { return new_STACK(); }
ZUNPKI_API void free_RECIPIENT_ENCRYPTED_KEYS(RECIPIENT_ENCRYPTED_KEYS* list) {
    zpki::x509::freeList<RECIPIENT_ENCRYPTED_KEY, free_RECIPIENT_ENCRYPTED_KEY>(list);
}
ZUNPKI_API KEY_AGREE_RECIPIENT_INFO* new_KEY_AGREE_RECIPIENT_INFO(void) {
    return Family<KEY_AGREE_RECIPIENT_INFO>::create();
}
ZUNPKI_API void free_KEY_AGREE_RECIPIENT_INFO(KEY_AGREE_RECIPIENT_INFO* kari) {
    Family<KEY_AGREE_RECIPIENT_INFO>::destroy(kari);
}

ZUNPKI_API CMS_ENCRYPTED_CONTENT_INFO* new_CMS_ENCRYPTED_CONTENT_INFO(void) { return new_P7_ENCRYPTED_CONTENT_INFO(); }
ZUNPKI_API void free_CMS_ENCRYPTED_CONTENT_INFO(CMS_ENCRYPTED_CONTENT_INFO* eci) {
    free_P7_ENCRYPTED_CONTENT_INFO(eci);
}

// ---- Codecs --------------------------------------------------------------------

#define ZPKI_CMS_CODEC(T)                                                                           \
    ZUNPKI_API PKI_ERROR T##_to_Seq(const T* r, ASN1_UNIT** node) { return encodeRecord(r, node); } \
    ZUNPKI_API PKI_ERROR Seq_to_##T(const ASN1_UNIT* node, T** r) { return decodeNode(node, r); }

ZPKI_CMS_CODEC(ENCAPSULATED_CONTENT_INFO)
ZPKI_CMS_CODEC(CMS_SIGNER_INFO)
ZPKI_CMS_CODEC(CMS_SIGNED_DATA)
ZPKI_CMS_CODEC(CMS_ORIGINATOR_INFO)
ZPKI_CMS_CODEC(CMS_RECIPIENT_INFO)
ZPKI_CMS_CODEC(CMS_ENVELOPED_DATA)
ZPKI_CMS_CODEC(CMS_DIGESTED_DATA)
ZPKI_CMS_CODEC(CMS_ENCRYPTED_DATA)
ZPKI_CMS_CODEC(CMS_AUTHENTICATED_DATA)

#undef ZPKI_CMS_CODEC

// The EncryptedContentInfo is PKCS#7's record, through its member codec.
ZUNPKI_API PKI_ERROR CMS_ENCRYPTED_CONTENT_INFO_to_Seq(const CMS_ENCRYPTED_CONTENT_INFO* eci, ASN1_UNIT** node) {
    constexpr unsigned F = F_CMS_ENCRYPTED_CONTENT_INFO_TO_SEQ;
    if (!eci || !node) return code(F, ERR_R_NULL_ARGUMENT);
    return deliverWritten(node, L_CMS | F, false, [eci](Writer& w) {
        return EncryptedContent::write(const_cast<CMS_ENCRYPTED_CONTENT_INFO*>(eci), w) ? 0 : ERR_R_NULL_ARGUMENT;
    });
}

ZUNPKI_API PKI_ERROR Seq_to_CMS_ENCRYPTED_CONTENT_INFO(const ASN1_UNIT* node, CMS_ENCRYPTED_CONTENT_INFO** eci) {
    constexpr unsigned F = F_SEQ_TO_CMS_ENCRYPTED_CONTENT_INFO;
    if (!node || !eci) return code(F, ERR_R_NULL_ARGUMENT);
    Element e;
    if (!elementOf(node, e) || e.identifier != 0x30) return code(F, ERR_ASN1_DECODING);
    const int n = childrenOf(e);
    if (n < 2 || n > 3) return code(F, ERR_R_INVALID_ELEMENT);
    CMS_ENCRYPTED_CONTENT_INFO* made = nullptr;
    if (!EncryptedContent::decodeContents(e, made)) return code(F, ERR_ASN1_DECODING);
    Owned<CMS_ENCRYPTED_CONTENT_INFO, free_CMS_ENCRYPTED_CONTENT_INFO> owned(made);
    zpki::pkcs::deliver<clean_P7_ENCRYPTED_CONTENT_INFO>(owned, eci);
    return 0;
}

ZUNPKI_API PKI_ERROR CMS_SIGNER_INFOS_to_Seq(const CMS_SIGNER_INFOS* list, ASN1_UNIT** node) {
    return encodeList<CMS_SIGNER_INFO>(list, node, F_CMS_SIGNER_INFOS_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_CMS_SIGNER_INFOS(const ASN1_UNIT* node, CMS_SIGNER_INFOS** list) {
    return decodeList<CMS_SIGNER_INFO>(node, list, F_SEQ_TO_CMS_SIGNER_INFOS);
}

ZUNPKI_API PKI_ERROR CMS_RECIPIENT_INFOS_to_Seq(const CMS_RECIPIENT_INFOS* list, ASN1_UNIT** node) {
    return encodeList<CMS_RECIPIENT_INFO>(list, node, F_CMS_RECIPIENT_INFOS_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_CMS_RECIPIENT_INFOS(const ASN1_UNIT* node, CMS_RECIPIENT_INFOS** list) {
    return decodeList<CMS_RECIPIENT_INFO>(node, list, F_SEQ_TO_CMS_RECIPIENT_INFOS);
}

ZUNPKI_API PKI_ERROR CMS_CONTENT_INFO_to_Seq(const CMS_CONTENT_INFO* cms, ASN1_UNIT** node) {
    constexpr unsigned F = F_CMS_CONTENT_INFO_TO_SEQ;
    if (!cms || !node) return code(F, ERR_R_NULL_ARGUMENT);
    return deliverWritten(node, L_CMS | F, false, [cms](Writer& w) { return writeContentInfo(cms, w); });
}

ZUNPKI_API PKI_ERROR Seq_to_CMS_CONTENT_INFO(const ASN1_UNIT* node, CMS_CONTENT_INFO** cms) {
    if (!node || !cms) return code(F_SEQ_TO_CMS_CONTENT_INFO, ERR_R_NULL_ARGUMENT);
    Element e;
    CMS_CONTENT_INFO* made = nullptr;
    if (!elementOf(node, e)) return code(F_SEQ_TO_CMS_CONTENT_INFO, ERR_ASN1_DECODING);
    if (PKI_ERROR rc = decodeContentInfo(e, made)) return rc;
    Owned<CMS_CONTENT_INFO, free_CMS_CONTENT_INFO> owned(made);
    zpki::pkcs::deliver<clean_CMS_CONTENT_INFO>(owned, cms);
    return 0;
}

// ---- Content and type ---------------------------------------------------------------

ZUNPKI_API int set_CMS_Type(CMS_CONTENT_INFO* cms, int row) {
    constexpr unsigned F = F_SET_CMS_TYPE;
    if (!cms) return code(F, ERR_R_NULL_ARGUMENT);
    const ContentType* t = contentTypeOf(row);
    if (!t) return code(F, ERR_R_UNSUPPORTED);
    Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER> type(index_to_OBJECT_IDENTIFIER(row));
    void* content = t->create ? t->create() : nullptr;
    if (!type || (t->create && !content)) {
        if (content) t->release(content);
        return code(F, ERR_R_NULL_ARGUMENT);
    }
    clear_CMS_Type(cms);
    cms->contentType = type.release();
    cms->content = content;
    return 0;
}

ZUNPKI_API int new_CMS_Content(CMS_CONTENT_INFO* cms, int row) {
    constexpr unsigned F = F_SET_CMS_TYPE;
    if (row != CMS_DATA || !encapsulatedSlot(cms, false)) return code(F, ERR_R_UNSUPPORTED);
    Owned<ENCAPSULATED_CONTENT_INFO, free_ENCAPSULATED_CONTENT_INFO> eci(new_ENCAPSULATED_CONTENT_INFO());
    if (!eci || !(eci->eContentType = index_to_OBJECT_IDENTIFIER(CMS_DATA))) return code(F, ERR_R_NULL_ARGUMENT);
    if (int rc = set_ENCAPSULATED_CONTENT_INFO(cms, eci.get())) return rc;
    (void)eci.release();
    return 0;
}

ZUNPKI_API int set_ENCAPSULATED_CONTENT_INFO(CMS_CONTENT_INFO* cms, ENCAPSULATED_CONTENT_INFO* eci) {
    constexpr unsigned F = F_SET_CMS_TYPE;
    if (!eci) return code(F, ERR_R_NULL_ARGUMENT);
    ENCAPSULATED_CONTENT_INFO** slot = encapsulatedSlot(cms, false);
    if (!slot) return code(F, ERR_R_UNSUPPORTED);
    if (*slot != eci) free_ENCAPSULATED_CONTENT_INFO(*slot);
    *slot = eci;
    return 0;
}

ZUNPKI_API int set_Content_Info(CMS_CONTENT_INFO* cms, const unsigned char* bytes, int len, int detached) {
    constexpr unsigned F = F_SET_CMS_TYPE;
    ENCAPSULATED_CONTENT_INFO** slot = encapsulatedSlot(cms, true);
    if (!slot) return cms && cms->content ? code(F, ERR_R_UNSUPPORTED) : code(F, ERR_R_NULL_ARGUMENT);
    if (detached == 1) return 0;
    if (!bytes || len < 0) return code(F, ERR_R_NULL_ARGUMENT);
    if (auto* sd = zpki::cms::contentAs<CMS_SIGNED_DATA>(cms, CMS_SIGNED_DATA_TYPE)) sd->detached = detached;
    if (auto* dd = zpki::cms::contentAs<CMS_DIGESTED_DATA>(cms, CMS_DIGESTED_DATA_TYPE)) dd->detached = detached;
    if (auto* ad = zpki::cms::contentAs<CMS_AUTHENTICATED_DATA>(cms, CMS_AUTHENTICATED_DATA_TYPE))
        ad->detached = detached;
    Owned<ENCAPSULATED_CONTENT_INFO, free_ENCAPSULATED_CONTENT_INFO> made;
    ENCAPSULATED_CONTENT_INFO* eci = *slot;
    if (!eci) {
        made.reset(new_ENCAPSULATED_CONTENT_INFO());
        if (!(eci = made.get())) return code(F, ERR_R_NULL_ARGUMENT);
    }
    Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER> type(index_to_OBJECT_IDENTIFIER(CMS_DATA));
    zpki::asn1::String copy(eci->eContent ? nullptr : new_OCTET_STRING(bytes, len));
    if (!type || (!eci->eContent && !copy)) return code(F, ERR_R_NULL_ARGUMENT);
    replace<free_OBJECT_IDENTIFIER>(eci->eContentType, type.release());
    if (copy) eci->eContent = copy.release();
    if (made) *slot = made.release();
    return 0;
}

}  // extern "C"

namespace {

// A new version in every record of the list; false when short of memory.
template <class T, BIGINT* T::*Version>
bool versionAll(STACK* list, unsigned long v) {
    for (int i = 0; i < get_STACK_count(list); ++i) {
        auto* r = static_cast<T*>(get_STACK_value(list, i));
        if (r && !zpki::pkcs7::setVersion(r->*Version, v)) return false;
    }
    return true;
}

bool versionRecipients(STACK* list) {
    for (int i = 0; i < get_STACK_count(list); ++i) {
        auto* ri = static_cast<CMS_RECIPIENT_INFO*>(get_STACK_value(list, i));
        if (ri && ri->type == CMS_RI_KEY_TRANSPORT && ri->ktri &&
            !zpki::pkcs7::setVersion(ri->ktri->version, zpki::cms::recipientVersion(ri->ktri->rid)))
            return false;
    }
    return true;
}

}  // namespace

extern "C" {

ZUNPKI_API int set_CMS_version(CMS_CONTENT_INFO* cms, int version) {
    constexpr unsigned F = F_SET_CMS_VERSION;
    if (!cms || !cms->content) return code(F, ERR_R_NULL_ARGUMENT);
    if (version < 0) return code(F, ERR_R_INVALID_ELEMENT);
    const auto v = static_cast<unsigned long>(version);
    switch (typeOf(cms)) {
        case CMS_SIGNED_DATA_TYPE: {
            if (version != 1 && version != 3) return code(F, ERR_R_INVALID_ELEMENT);
            auto* sd = static_cast<CMS_SIGNED_DATA*>(cms->content);
            // Each SignerInfo keeps the version its identifier calls for.
            for (int i = 0; i < get_STACK_count(sd->signerInfos); ++i) {
                auto* si = static_cast<CMS_SIGNER_INFO*>(get_STACK_value(sd->signerInfos, i));
                if (si && !zpki::pkcs7::setVersion(si->version, zpki::cms::signerVersion(si->sid)))
                    return code(F, 0x28);
            }
            return zpki::pkcs7::setVersion(sd->version, v) ? 0 : code(F, 0x28);
        }
        case CMS_ENVELOPED_DATA_TYPE: {
            auto* ed = static_cast<CMS_ENVELOPED_DATA*>(cms->content);
            return zpki::pkcs7::setVersion(ed->version, v) && versionRecipients(ed->recipientInfos) ? 0 : code(F, 0x28);
        }
        case CMS_DIGESTED_DATA_TYPE:
            return zpki::pkcs7::setVersion(static_cast<CMS_DIGESTED_DATA*>(cms->content)->version, v) ? 0
                                                                                                      : code(F, 0x28);
        case CMS_ENCRYPTED_DATA_TYPE:
            return zpki::pkcs7::setVersion(static_cast<CMS_ENCRYPTED_DATA*>(cms->content)->version, v) ? 0
                                                                                                       : code(F, 0x28);
        case CMS_AUTHENTICATED_DATA_TYPE:
            return zpki::pkcs7::setVersion(static_cast<CMS_AUTHENTICATED_DATA*>(cms->content)->version, v)
                       ? 0
                       : code(F, 0x28);
        default:
            return code(F, ERR_R_UNSUPPORTED);
    }
}

ZUNPKI_API int add_CMS_Certificate(CMS_CONTENT_INFO* cms, const X509_CERT* cert) {
    constexpr unsigned F = F_ADD_CMS_CERTIFICATE;
    if (!cms || !cert) return code(F, ERR_R_NULL_ARGUMENT);
    auto* sd = zpki::cms::contentAs<CMS_SIGNED_DATA>(cms, CMS_SIGNED_DATA_TYPE);
    if (!sd) return code(F, ERR_R_UNSUPPORTED);
    Owned<X509_CERT, free_X509_CERT> copy(dup_X509_CERT(cert));
    if (!copy) return code(F, ERR_R_NULL_ARGUMENT);
    if (!pushOnto(sd->certificates, copy.get(), new_X509_CERTIFICATES)) return code(F, ERR_STK_ERROR);
    (void)copy.release();
    return 0;
}

ZUNPKI_API int add_CMS_CRL(CMS_CONTENT_INFO* cms, X509_CRL* crl) {
    constexpr unsigned F = F_ADD_CMS_CRL;
    Owned<X509_CRL, free_X509_CRL> owned(crl);
    if (!cms || !crl) return code(F, ERR_R_NULL_ARGUMENT);
    auto* sd = zpki::cms::contentAs<CMS_SIGNED_DATA>(cms, CMS_SIGNED_DATA_TYPE);
    if (!sd) return code(F, ERR_R_UNSUPPORTED);
    if (!pushOnto(sd->crls, crl, new_X509_CRLS)) return code(F, ERR_STK_ERROR);
    (void)owned.release();
    return 0;
}

ZUNPKI_API int add_CMS_Originator_Certificate(CMS_CONTENT_INFO* cms, X509_CERT* cert) {
    constexpr unsigned F = F_ADD_CMS_ORIGINATOR_CERTIFICATE;
    Owned<X509_CERT, free_X509_CERT> owned(cert);
    if (!cms || !cert) return code(F, ERR_R_NULL_ARGUMENT);
    CMS_ORIGINATOR_INFO** slot = originatorSlot(cms);
    if (!slot) return code(F, ERR_R_UNSUPPORTED);
    if (!*slot && !(*slot = new_CMS_ORIGINATOR_INFO())) return code(F, ERR_R_NULL_ARGUMENT);
    if (!pushOnto((*slot)->certs, cert, new_X509_CERTIFICATES)) return code(F, ERR_STK_ERROR);
    (void)owned.release();
    return 0;
}

ZUNPKI_API int add_CMS_Originator_CRL(CMS_CONTENT_INFO* cms, X509_CRL* crl) {
    constexpr unsigned F = F_ADD_CMS_ORIGINATOR_CRL;
    Owned<X509_CRL, free_X509_CRL> owned(crl);
    if (!cms || !crl) return code(F, ERR_R_NULL_ARGUMENT);
    CMS_ORIGINATOR_INFO** slot = originatorSlot(cms);
    if (!slot) return code(F, ERR_R_UNSUPPORTED);
    if (!*slot && !(*slot = new_CMS_ORIGINATOR_INFO())) return code(F, ERR_R_NULL_ARGUMENT);
    if (!pushOnto((*slot)->crls, crl, new_X509_CRLS)) return code(F, ERR_STK_ERROR);
    (void)owned.release();
    return 0;
}

ZUNPKI_API int add_CMS_Signed_Attribute(CMS_SIGNER_INFO* si, int row, int tag, const void* value, int len) {
    if (!si) return code(F_ADD_CMS_CERTIFICATE, ERR_R_NULL_ARGUMENT);
    return addContentAttribute(si->signedAttrs, F_ADD_CMS_CERTIFICATE, row, tag, value, len);
}

ZUNPKI_API int add_CMS_Unsigned_Attribute(CMS_SIGNER_INFO* si, int row, int tag, const void* value, int len) {
    if (!si) return code(F_ADD_CMS_CERTIFICATE, ERR_R_NULL_ARGUMENT);
    return addContentAttribute(si->unsignedAttrs, F_ADD_CMS_CERTIFICATE, row, tag, value, len);
}

ZUNPKI_API int add_CMS_Unprotected_Attribute(CMS_CONTENT_INFO* cms, int row, int tag, const void* value, int len) {
    constexpr unsigned F = F_ADD_CMS_UNPROTECTED_ATTRIBUTE;
    if (auto* ed = zpki::cms::contentAs<CMS_ENVELOPED_DATA>(cms, CMS_ENVELOPED_DATA_TYPE))
        return addContentAttribute(ed->unprotectedAttrs, F, row, tag, value, len);
    if (auto* ed = zpki::cms::contentAs<CMS_ENCRYPTED_DATA>(cms, CMS_ENCRYPTED_DATA_TYPE))
        return addContentAttribute(ed->unprotectedAttrs, F, row, tag, value, len);
    return cms && cms->content ? code(F, ERR_R_UNSUPPORTED) : code(F, ERR_R_NULL_ARGUMENT);
}

ZUNPKI_API int add_CMS_Authenticated_Attribute(CMS_CONTENT_INFO* cms, int row, int tag, const void* value, int len) {
    constexpr unsigned F = F_ADD_CMS_AUTHENTICATED_ATTRIBUTE;
    if (!cms) return code(F, ERR_R_NULL_ARGUMENT);
    auto* ad = zpki::cms::contentAs<CMS_AUTHENTICATED_DATA>(cms, CMS_AUTHENTICATED_DATA_TYPE);
    return ad ? addContentAttribute(ad->authAttrs, F, row, tag, value, len) : code(F, ERR_R_UNSUPPORTED);
}

ZUNPKI_API int add_CMS_Unauthenticated_Attribute(CMS_CONTENT_INFO* cms, int row, int tag, const void* value, int len) {
    constexpr unsigned F = F_ADD_CMS_UNAUTHENTICATED_ATTRIBUTE;
    if (!cms) return code(F, ERR_R_NULL_ARGUMENT);
    auto* ad = zpki::cms::contentAs<CMS_AUTHENTICATED_DATA>(cms, CMS_AUTHENTICATED_DATA_TYPE);
    return ad ? addContentAttribute(ad->unauthAttrs, F, row, tag, value, len) : code(F, ERR_R_UNSUPPORTED);
}

ZUNPKI_API int set_CMS_macAlgorithm(CMS_CONTENT_INFO* cms, int row) {
    constexpr unsigned F = F_SET_CMS_MAC_ALGORITHM;
    if (!cms || !cms->content) return code(F, ERR_R_NULL_ARGUMENT);
    auto* ad = zpki::cms::contentAs<CMS_AUTHENTICATED_DATA>(cms, CMS_AUTHENTICATED_DATA_TYPE);
    if (!ad) return code(F, ERR_R_UNSUPPORTED);
    const unsigned reason = setAlgorithmRow(ad->macAlgorithm, row);
    return reason ? code(F, reason) : 0;
}

ZUNPKI_API int set_CMS_digestAlgorithm(CMS_CONTENT_INFO* cms, int row) {
    constexpr unsigned F = F_SET_CMS_DIGEST_ALGORITHM;
    if (!cms || !cms->content) return code(F, ERR_R_NULL_ARGUMENT);
    auto* ad = zpki::cms::contentAs<CMS_AUTHENTICATED_DATA>(cms, CMS_AUTHENTICATED_DATA_TYPE);
    if (!ad) return code(F, ERR_R_UNSUPPORTED);
    const unsigned reason = setAlgorithmRow(ad->digestAlgorithm, row);
    return reason ? code(F, reason) : 0;
}

ZUNPKI_API int set_CMS_mac(CMS_CONTENT_INFO* cms, const unsigned char* bytes, int len) {
    constexpr unsigned F = F_SET_CMS_MAC;
    if (!cms || !cms->content || !bytes || len < 0) return code(F, ERR_R_NULL_ARGUMENT);
    auto* ad = zpki::cms::contentAs<CMS_AUTHENTICATED_DATA>(cms, CMS_AUTHENTICATED_DATA_TYPE);
    if (!ad) return code(F, ERR_R_UNSUPPORTED);
    if (replace<free_OCTET_STRING>(ad->mac, new_OCTET_STRING(bytes, len)) != 0) return code(F, ERR_R_ALLOC);
    return 0;
}

}  // extern "C"
