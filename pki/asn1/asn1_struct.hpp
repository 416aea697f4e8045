// Structures described once.
//
// A structure of the library is a plain C record. Its ASN.1 shape is
// described once, next to its source, as a specialisation of Describe<T>:
//
//   template <> struct zpki::asn1::Describe<X509_EXTENSION> {
//       using Shape = Sequence<
//           Field<&X509_EXTENSION::extnID, Oid>,
//           Field<&X509_EXTENSION::critical, Default<Boolean<-1>, 0>>,
//           Field<&X509_EXTENSION::extnValue, OctetString>>;
//   };
//   ZPKI_STRUCT_FAMILY(X509_EXTENSION, L_X509, F_X509_EXT_TO_SEQ, F_SEQ_TO_X509_EXT)
//
// The macro emits the record's flat C family: new_X, free_X, clean_X, dup_X,
// cmp_X, X_to_Seq and Seq_to_X, all derived from the description. See
// pki/README.md for the building blocks and for adding hand-written parts.
#pragma once

#include <cstring>
#include <type_traits>

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include "asn1/ber_internal.hpp"
#include "asn1/der_cursor.hpp"
#include "asn1/pki_mem.hpp"
#include <zunPKI/asn1/stack.h>

namespace zpki::asn1 {

using der::Element;

// ---------------------------------------------------------------------------
// Reading the children of one constructed element in order.

class Decoder {
public:
    explicit Decoder(der::Cursor contents) : m_in(contents) {}

    bool more() const { return !m_in.empty(); }
    // The identifier of the next element, without consuming it.
    bool peek(uint8_t& identifier) const { return m_in.peekU8(identifier); }
    bool next(Element& e) { return der::getElement(m_in, e); }

private:
    der::Cursor m_in;
};

// An element view of a node's own bytes.
inline bool elementOf(const ASN1_UNIT* node, Element& e) {
    if (!node || !node->tag || !node->length) return false;
    const int len = getASN1ValueLength(node);
    if (len < 0 || (len > 0 && !node->value)) return false;
    e = Element{};
    e.identifier = node->tag[0];
    e.start = nullptr;
    e.contents = node->value;
    e.contentsSize = static_cast<size_t>(len);
    e.indefinite = node->length[0] == 0x80;
    return true;
}

// Appends one element, held as a new node, to parent; the node is consumed.
inline bool appendNode(ASN1_UNIT* parent, ASN1_UNIT* child) {
    return child && addToDERSequence(parent, ASN1_TAG_NODE, child, 0) == 0;
}

// ---------------------------------------------------------------------------
// Codecs: one per kind of member. Each says which identifiers it accepts,
// how it reads an element into an empty member, appends a member to a parent
// node, and releases, copies and compares a member.

// A string-like universal type held as ASN1_STRING* (OIDs as dotted text,
// BIT STRINGs with their unused bits, times as text).
template <int Tag>
struct Str {
    using Value = ASN1_STRING*;
    static bool matches(uint8_t id) { return (id & 0xc0) == 0 && (id & 0x1f) == Tag; }
    static bool decodeContents(const Element& e, Value& out) {
        out = static_cast<ASN1_STRING*>(ber::decodeElement(e, Tag));
        return out != nullptr;
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        return v && addToDERSequence(parent, Tag, v, v->length) == 0;
    }
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) {
        free_ASN1_STRING(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) { return !from || (to = dup_ASN1_STRING(from)) != nullptr; }
    static int compare(const Value& a, const Value& b) { return cmp_ASN1_STRING(a, b); }
};

using Oid = Str<ASN1_TAG_OBJECT_IDENTIFIER>;
using OctetString = Str<ASN1_TAG_OCTET_STRING>;
using BitString = Str<ASN1_TAG_BIT_STRING>;
using Utf8String = Str<ASN1_TAG_UTF8_STRING>;
using PrintableString = Str<ASN1_TAG_PRINTABLE_STRING>;
using IA5String = Str<ASN1_TAG_IA5_STRING>;
using BmpString = Str<ASN1_TAG_BMP_STRING>;
using UtcTime = Str<ASN1_TAG_UTC_TIME>;
using GeneralizedTime = Str<ASN1_TAG_GENERALIZED_TIME>;

// Any single element as ASN1_STRING* whose type keeps the identifier octet
// (a DirectoryString, an attribute value).
struct AnyString {
    using Value = ASN1_STRING*;
    static bool matches(uint8_t) { return true; }
    static bool decodeContents(const Element& e, Value& out) {
        out = static_cast<ASN1_STRING*>(ber::decodeElement(e, ASN1_TAG_ANY_STRING));
        return out != nullptr;
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        if (!v) return false;
        // INTEGER contents are held as read, in two's complement; the string
        // encoder would take them for a magnitude (-1 would come back 255).
        if (v->type == ASN1_TAG_INTEGER) {
            if (v->length <= 0 || !v->data) return false;
            ASN1_UNIT* node = new_ASN1_UNIT();
            if (!node || !ber::setNode(node, ASN1_TAG_INTEGER, v->data, static_cast<size_t>(v->length), false)) {
                free_ASN1_UNIT(node);
                return false;
            }
            return appendNode(parent, node);
        }
        return addToDERSequence(parent, ASN1_TAG_ANY_STRING, v, v->length) == 0;
    }
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) { Str<0>::release(v); }
    static bool copy(const Value& from, Value& to) { return Str<0>::copy(from, to); }
    static int compare(const Value& a, const Value& b) { return cmp_ASN1_STRING(a, b); }
};

// Any single element kept whole as a node (ANY, open types, parameters).
struct AnyNode {
    using Value = ASN1_UNIT*;
    static bool matches(uint8_t) { return true; }
    static bool decodeContents(const Element& e, Value& out) { return (out = ber::nodeFromElement(e)) != nullptr; }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        return v && addToDERSequence(parent, ASN1_TAG_CONS_SEQUENCE, v, 0) == 0;
    }
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) {
        free_ASN1_UNIT(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) { return !from || (to = dup_ASN1_UNIT(from)) != nullptr; }
    static int compare(const Value& a, const Value& b) {
        ber::Bytes x, y;
        const bool hx = ber::serialize(a, x), hy = ber::serialize(b, y);
        if (hx != hy) return hx ? 1 : -1;
        if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
        return x.empty() ? 0 : std::memcmp(x.data(), y.data(), x.size());
    }
};

// INTEGER (Tag 2) or ENUMERATED (Tag 10) held as BIGINT*.
template <int Tag = ASN1_TAG_INTEGER>
struct BigInteger {
    using Value = BIGINT*;
    static bool matches(uint8_t id) { return id == Tag; }
    static bool decodeContents(const Element& e, Value& out) {
        return !e.constructed() && (out = ber::integerFromContents(e.contents, e.contentsSize)) != nullptr;
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        return v && addToDERSequence(parent, Tag, v, ber::integerContentsLength(v)) == 0;
    }
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) {
        VSC_Free_BIGINT(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) { return !from || (to = VSC_Dup_BIGINT(from)) != nullptr; }
    static int compare(const Value& a, const Value& b) { return VSC_Cmp_BIGINT(a, b); }
};
using Integer = BigInteger<ASN1_TAG_INTEGER>;

// A small INTEGER or ENUMERATED held in an int member (versions, reasons).
template <int Tag = ASN1_TAG_INTEGER>
struct SmallInt {
    using Value = int;
    static bool matches(uint8_t id) { return id == Tag; }
    static bool decodeContents(const Element& e, Value& out) {
        if (e.constructed() || e.contentsSize == 0 || e.contentsSize > sizeof(int)) return false;
        long long v = static_cast<int8_t>(e.contents[0]);  // X.690 8.3.3: two's complement
        for (size_t i = 1; i < e.contentsSize; ++i) v = v * 256 + e.contents[i];
        out = static_cast<int>(v);
        return true;
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        // X.690 8.3.2: the shortest two's complement form.
        uint8_t bytes[4];
        const auto u = static_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(u >> (24 - 8 * i));
        size_t start = 0;
        while (start < 3 && ((bytes[start] == 0x00 && !(bytes[start + 1] & 0x80)) ||
                             (bytes[start] == 0xff && (bytes[start + 1] & 0x80))))
            ++start;
        ASN1_UNIT* node = new_ASN1_UNIT();
        if (!node || !ber::setNode(node, Tag, bytes + start, 4 - start, false)) {
            free_ASN1_UNIT(node);
            return false;
        }
        return appendNode(parent, node);
    }
    static bool present(const Value&) { return true; }
    static void release(Value& v) { v = 0; }
    static bool copy(const Value& from, Value& to) {
        to = from;
        return true;
    }
    static int compare(const Value& a, const Value& b) { return a < b ? -1 : a > b ? 1 : 0; }
};

// BOOLEAN held in an int member: 0 for FALSE, True for TRUE (1, or -1 where
// a record keeps all bits set). Written as 0xFF.
template <int True = 1>
struct Boolean {
    using Value = int;
    static bool matches(uint8_t id) { return id == ASN1_TAG_BOOLEAN; }
    static bool decodeContents(const Element& e, Value& out) {
        if (e.constructed() || e.contentsSize != 1) return false;
        out = e.contents[0] ? True : 0;
        return true;
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        unsigned char b = v ? 0xff : 0x00;
        return addToDERSequence(parent, ASN1_TAG_BOOLEAN, &b, 1) == 0;
    }
    static bool present(const Value&) { return true; }
    static void release(Value& v) { v = 0; }
    static bool copy(const Value& from, Value& to) {
        to = from;
        return true;
    }
    static int compare(const Value& a, const Value& b) { return (a != 0) - (b != 0); }
};

// ---------------------------------------------------------------------------
// Options and tags around a codec.

// OPTIONAL: absent members (null pointers) are left out; on reading, the
// member stays empty when the next element is not one the codec accepts.
template <class C>
struct Optional : C {
    static constexpr bool kOptional = true;
};

// DEFAULT for int members: the default is left out when writing and taken
// when the element is absent.
template <class C, int Value_>
struct Default : C {
    static constexpr bool kOptional = true;
    static constexpr int kDefault = Value_;
    static bool present(const typename C::Value& v) { return v != Value_; }
};

// [N] EXPLICIT: the element wrapped in a constructed context-specific tag.
template <int N, class C>
struct Explicit {
    using Value = typename C::Value;
    static bool matches(uint8_t id) { return id == (0xa0 | N); }
    static bool decodeContents(const Element& e, Value& out) {
        if (!e.constructed()) return false;
        Decoder inner(der::Cursor(e.contents, e.contentsSize));
        Element x;
        if (!inner.next(x) || inner.more() || !C::matches(x.identifier)) return false;
        return C::decodeContents(x, out);
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        ASN1_UNIT* wrapper = new_ASN1_UNIT();
        if (!wrapper || !C::encode(v, wrapper)) {
            free_ASN1_UNIT(wrapper);
            return false;
        }
        wrapper->tag[0] = static_cast<unsigned char>(0xa0 | N);
        return appendNode(parent, wrapper);
    }
    static bool present(const Value& v) { return C::present(v); }
    static void release(Value& v) { C::release(v); }
    static bool copy(const Value& from, Value& to) { return C::copy(from, to); }
    static int compare(const Value& a, const Value& b) { return C::compare(a, b); }
};

// [N] IMPLICIT: the element's own identifier replaced by a context-specific
// one that keeps its constructed bit.
template <int N, class C>
struct Implicit {
    using Value = typename C::Value;
    static bool matches(uint8_t id) { return (id & 0xdf) == (0x80 | N); }
    static bool decodeContents(const Element& e, Value& out) { return C::decodeContents(e, out); }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        ASN1_UNIT* holder = new_ASN1_UNIT();
        bool ok = holder && C::encode(v, holder);
        ASN1_UNIT* element = nullptr;
        if (ok) {
            der::Cursor c = ber::contentsOf(holder);
            Element x;
            ok = der::getElement(c, x) && (element = ber::nodeFromElement(x)) != nullptr;
        }
        free_ASN1_UNIT(holder);
        if (!ok) return false;
        element->tag[0] = static_cast<unsigned char>(0x80 | N | (element->tag[0] & 0x20));
        return appendNode(parent, element);
    }
    static bool present(const Value& v) { return C::present(v); }
    static void release(Value& v) { C::release(v); }
    static bool copy(const Value& from, Value& to) { return C::copy(from, to); }
    static int compare(const Value& a, const Value& b) { return C::compare(a, b); }
};

// ---------------------------------------------------------------------------
// Lists: SEQUENCE OF / SET OF into a STACK of the item codec's pointers. The
// items keep the order they were added in (also for SET OF).

template <class C, uint8_t Identifier>
struct ListOf {
    using Value = STACK*;
    static_assert(std::is_pointer_v<typename C::Value>, "list items are pointers");
    static bool matches(uint8_t id) { return id == Identifier; }
    static bool decodeContents(const Element& e, Value& out) {
        if (!e.constructed()) return false;
        STACK* list = new_STACK();
        if (!list) return false;
        Decoder items(der::Cursor(e.contents, e.contentsSize));
        while (items.more()) {
            Element x;
            typename C::Value item{};
            if (!items.next(x) || !C::matches(x.identifier) || !C::decodeContents(x, item) ||
                push_STACK_value(list, item) == 0) {
                if (item) C::release(item);
                Value doomed = list;
                release(doomed);
                return false;
            }
        }
        out = list;
        return true;
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        ASN1_UNIT* node = new_ASN1_UNIT();
        if (!node) return false;
        static const uint8_t kNothing = 0;
        bool ok = ber::setNode(node, Identifier, &kNothing, 0, false);
        for (int i = 0; ok && i < get_STACK_count(v); ++i) {
            auto item = static_cast<typename C::Value>(get_STACK_value(v, i));
            ok = item && C::encode(item, node);
        }
        if (!ok) {
            free_ASN1_UNIT(node);
            return false;
        }
        node->tag[0] = Identifier;
        return appendNode(parent, node);
    }
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) {
        for (int i = 0; i < get_STACK_count(v); ++i) {
            auto item = static_cast<typename C::Value>(get_STACK_value(v, i));
            if (item) C::release(item);
        }
        free_STACK(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) {
        if (!from) return true;
        STACK* list = new_STACK();
        if (!list) return false;
        for (int i = 0; i < get_STACK_count(from); ++i) {
            typename C::Value item{};
            if (!C::copy(static_cast<typename C::Value>(get_STACK_value(from, i)), item) ||
                push_STACK_value(list, item) == 0) {
                if (item) C::release(item);
                release(list);
                return false;
            }
        }
        to = list;
        return true;
    }
    static int compare(const Value& a, const Value& b) {
        const int na = a ? a->count : 0, nb = b ? b->count : 0;
        if (na != nb) return na - nb;
        for (int i = 0; i < na; ++i) {
            const int c =
                C::compare(static_cast<typename C::Value>(a->items[i]), static_cast<typename C::Value>(b->items[i]));
            if (c) return c;
        }
        return 0;
    }
    // A new record's list starts empty.
    static bool init(Value& v) { return (v = new_STACK()) != nullptr; }
};

template <class C>
using SequenceOf = ListOf<C, 0x30>;
template <class C>
using SetOf = ListOf<C, 0x31>;

// ---------------------------------------------------------------------------
// Shapes of a record.

// One member of a record. MissingReason is the reason code of X_to_Seq when a
// required member is empty.
template <auto Member, class C, int MissingReason = ERR_R_INVALID_ELEMENT>
struct Field {
    using Codec = C;
    static constexpr auto kMember = Member;
    static constexpr int kMissingReason = MissingReason;
};

// A member-less NULL (parameters that are always NULL): written always, read
// when present.
struct NullField {};

template <class... Fields>
struct Sequence {
    static constexpr uint8_t kIdentifier = 0x30;
};
template <class... Fields>
struct Set {
    static constexpr uint8_t kIdentifier = 0x31;
};

// One alternative of a CHOICE: the record's selector holds Which when Field
// is the member in use.
template <int Which, class F>
struct Alt {};

// A CHOICE record: Selector is the int member saying which alternative is in
// use.
template <auto Selector, class... Alts>
struct Choice {};

template <class T>
struct Describe;  // specialised next to each structure

// ---------------------------------------------------------------------------
// Family<T>: everything derived from Describe<T>::Shape.

namespace detail {

template <class C>
constexpr bool isOptional() {
    if constexpr (requires { C::kOptional; })
        return C::kOptional;
    else
        return false;
}

template <class C>
void defaultInit(typename C::Value& v) {
    if constexpr (requires { C::kDefault; }) v = C::kDefault;
}

template <class C>
bool initMember(typename C::Value& v) {
    if constexpr (requires { C::init(v); })
        return C::init(v);
    else
        return true;
}

template <class F>
auto& member(auto& record) {
    return record.*(F::kMember);
}

// The operations on one field, NullField included.
template <class F>
struct FieldOps {
    using C = typename F::Codec;
    template <class T>
    static bool init(T& r) {
        defaultInit<C>(member<F>(r));
        return initMember<C>(member<F>(r));
    }
    template <class T>
    static void release(T& r) {
        C::release(member<F>(r));
    }
    template <class T>
    static bool copy(const T& from, T& to) {
        return C::copy(member<F>(from), member<F>(to));
    }
    template <class T>
    static int compare(const T& a, const T& b) {
        return C::compare(member<F>(a), member<F>(b));
    }
    // 0, or the reason when a required member is empty or does not encode.
    template <class T>
    static int encode(const T& r, ASN1_UNIT* parent) {
        const auto& v = member<F>(r);
        if (!C::present(v)) return isOptional<C>() ? 0 : F::kMissingReason;
        return C::encode(v, parent) ? 0 : ERR_ASN1_ENCODING;
    }
    template <class T>
    static bool decode(T& r, Decoder& in) {
        uint8_t id;
        const bool available = in.peek(id);
        if (!available || !C::matches(id)) {
            defaultInit<C>(member<F>(r));
            return isOptional<C>();
        }
        Element e;
        return in.next(e) && C::decodeContents(e, member<F>(r));
    }
};

template <>
struct FieldOps<NullField> {
    template <class T>
    static bool init(T&) {
        return true;
    }
    template <class T>
    static void release(T&) {}
    template <class T>
    static bool copy(const T&, T&) {
        return true;
    }
    template <class T>
    static int compare(const T&, const T&) {
        return 0;
    }
    template <class T>
    static int encode(const T&, ASN1_UNIT* parent) {
        return addToDERSequence(parent, ASN1_TAG_NULL, nullptr, 0) == 0 ? 0 : ERR_ASN1_ENCODING;
    }
    template <class T>
    static bool decode(T&, Decoder& in) {
        uint8_t id;
        Element e;
        if (in.peek(id) && id == ASN1_TAG_NULL) return in.next(e) && e.contentsSize == 0;
        return true;
    }
};

template <class Shape>
struct ShapeOps;

template <uint8_t Identifier, class... Fields>
struct FieldListOps {
    static constexpr uint8_t kIdentifier = Identifier;
    static bool matches(uint8_t id) { return id == kIdentifier; }
    template <class T>
    static bool init(T& r) {
        return (FieldOps<Fields>::init(r) && ...);
    }
    template <class T>
    static void release(T& r) {
        (FieldOps<Fields>::release(r), ...);
    }
    template <class T>
    static bool copy(const T& from, T& to) {
        return (FieldOps<Fields>::copy(from, to) && ...);
    }
    template <class T>
    static int compare(const T& a, const T& b) {
        int c = 0;
        ((c = FieldOps<Fields>::compare(a, b)) || ...);
        return c;
    }
    // Appends the fields to node, which becomes the SEQUENCE or SET.
    template <class T>
    static int encodeInto(const T& r, ASN1_UNIT* node) {
        int reason = 0;
        ((reason = FieldOps<Fields>::encode(r, node)) || ...);
        if (reason) return reason;
        if (!node->tag) {  // no field written: an empty constructed element
            static const uint8_t kNothing = 0;
            if (!ber::setNode(node, kIdentifier, &kNothing, 0, false)) return ERR_ASN1_ENCODING;
        }
        node->tag[0] = kIdentifier;
        return 0;
    }
    template <class T>
    static bool decodeContents(const Element& e, T& r) {
        if (!e.constructed()) return false;
        Decoder in(der::Cursor(e.contents, e.contentsSize));
        return (FieldOps<Fields>::decode(r, in) && ...) && !in.more();
    }
};

template <class... Fields>
struct ShapeOps<Sequence<Fields...>> : FieldListOps<0x30, Fields...> {};
template <class... Fields>
struct ShapeOps<Set<Fields...>> : FieldListOps<0x31, Fields...> {};

template <auto Selector, class... Alts>
struct ShapeOps<Choice<Selector, Alts...>> {
    template <class A>
    struct AltOf;
    template <int W, class F>
    struct AltOf<Alt<W, F>> {
        static constexpr int kWhich = W;
        using Ops = FieldOps<F>;
        using Codec = typename F::Codec;
        using FieldType = F;
    };

    static bool matches(uint8_t id) { return (AltOf<Alts>::Codec::matches(id) || ...); }
    template <class T>
    static bool init(T&) {
        return true;
    }
    template <class T>
    static void release(T& r) {
        ((r.*Selector == AltOf<Alts>::kWhich ? AltOf<Alts>::Ops::release(r) : void()), ...);
    }
    template <class T>
    static bool copy(const T& from, T& to) {
        to.*Selector = from.*Selector;
        bool ok = true;
        ((from.*Selector == AltOf<Alts>::kWhich ? (ok = AltOf<Alts>::Ops::copy(from, to)) : true), ...);
        return ok;
    }
    template <class T>
    static int compare(const T& a, const T& b) {
        if (a.*Selector != b.*Selector) return a.*Selector < b.*Selector ? -1 : 1;
        int c = 0;
        ((a.*Selector == AltOf<Alts>::kWhich ? (c = AltOf<Alts>::Ops::compare(a, b)) : 0), ...);
        return c;
    }
    // The chosen alternative's element becomes node itself.
    template <class T>
    static int encodeInto(const T& r, ASN1_UNIT* node) {
        ASN1_UNIT* holder = new_ASN1_UNIT();
        if (!holder) return ERR_R_ALLOC;
        int reason = ERR_R_INVALID_ELEMENT;  // a selector no alternative has
        ((r.*Selector == AltOf<Alts>::kWhich ? (reason = AltOf<Alts>::Ops::encode(r, holder)) : 0), ...);
        if (reason == 0) {
            der::Cursor c = ber::contentsOf(holder);
            Element x;
            ASN1_UNIT* element = der::getElement(c, x) ? ber::nodeFromElement(x) : nullptr;
            if (!element) {
                reason = ERR_ASN1_ENCODING;
            } else if (node->tag) {
                if (!appendNode(node, element)) reason = ERR_ASN1_ENCODING;
            } else {
                *node = *element;
                PKI_FREE(element);
            }
        }
        free_ASN1_UNIT(holder);
        return reason;
    }
    template <class T>
    static bool decodeContents(const Element& e, T& r) {
        bool done = false, ok = false;
        auto tryAlt = [&](auto alt) {
            using A = decltype(alt);
            if (done || !A::Codec::matches(e.identifier)) return;
            done = true;
            r.*Selector = A::kWhich;
            ok = A::Codec::decodeContents(e, member<typename A::FieldType>(r));
        };
        (tryAlt(AltOf<Alts>{}), ...);
        return ok;
    }
};

}  // namespace detail

template <class T>
struct Family {
    using Ops = detail::ShapeOps<typename Describe<T>::Shape>;

    static T* create() {
        T* r = PKI_NEW(T);
        if (r && !Ops::init(*r)) {
            destroy(r);
            return nullptr;
        }
        return r;
    }
    static void clean(T* r) {
        if (!r) return;
        Ops::release(*r);
        std::memset(static_cast<void*>(r), 0, sizeof(T));
    }
    static void destroy(T* r) {
        if (!r) return;
        clean(r);
        PKI_FREE(r);
    }
    static T* dup(const T* r) {
        if (!r) return nullptr;
        T* copy = PKI_NEW(T);
        if (!copy) return nullptr;
        if (!Ops::copy(*r, *copy)) {
            destroy(copy);
            return nullptr;
        }
        return copy;
    }
    static int cmp(const T* a, const T* b) {
        if (a == b) return 0;
        if (!a || !b) return a ? 1 : -1;
        return Ops::compare(*a, *b);
    }
    // Encodes into *node when the caller passes one (appending to what it
    // holds), else into a new node stored in *node on success.
    static PKI_ERROR toSeq(const T* r, ASN1_UNIT** node, unsigned libFunc) {
        if (!r || !node) return static_cast<PKI_ERROR>(libFunc | ERR_R_NULL_ARGUMENT);
        ASN1_UNIT* target = *node ? *node : new_ASN1_UNIT();
        if (!target) return static_cast<PKI_ERROR>(libFunc | ERR_R_ALLOC);
        const int reason = Ops::encodeInto(*r, target);
        if (reason) {
            if (*node)
                clean_ASN1_UNIT(target);
            else
                free_ASN1_UNIT(target);
            return static_cast<PKI_ERROR>(libFunc | static_cast<unsigned>(reason));
        }
        *node = target;
        return 0;
    }
    // Decodes into *record when it points to one, else into a new record. The
    // caller's record changes only on success; on failure only a record made
    // here is released.
    static PKI_ERROR fromSeq(const ASN1_UNIT* node, T** record, unsigned libFunc) {
        if (!node || !record) return static_cast<PKI_ERROR>(libFunc | ERR_R_NULL_ARGUMENT);
        Element e;
        T* made = PKI_NEW(T);
        if (!made) return static_cast<PKI_ERROR>(libFunc | ERR_R_ALLOC);
        if (!elementOf(node, e) || !Ops::matches(e.identifier) || !decodeElement(e, *made)) {
            destroy(made);
            return static_cast<PKI_ERROR>(libFunc | ERR_ASN1_DECODING);
        }
        if (*record) {
            clean(*record);
            std::memcpy(static_cast<void*>(*record), made, sizeof(T));
            PKI_FREE(made);
        } else {
            *record = made;
        }
        return 0;
    }
    // The element's contents into an empty record (used by Sub<T>).
    static bool decodeElement(const Element& e, T& r) {
        if (!Ops::decodeContents(e, r)) {
            Ops::release(r);
            return false;
        }
        return true;
    }
};

// A member that is a described record of its own, held as T*.
template <class T>
struct Sub {
    using Value = T*;
    static bool matches(uint8_t id) { return Family<T>::Ops::matches(id); }
    static bool decodeContents(const Element& e, Value& out) {
        T* r = PKI_NEW(T);
        if (!r) return false;
        if (!Family<T>::Ops::decodeContents(e, *r)) {
            Family<T>::destroy(r);
            return false;
        }
        out = r;
        return true;
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        if (!v) return false;
        ASN1_UNIT* node = new_ASN1_UNIT();
        if (!node || Family<T>::Ops::encodeInto(*v, node) != 0) {
            free_ASN1_UNIT(node);
            return false;
        }
        return appendNode(parent, node);
    }
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) {
        Family<T>::destroy(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) { return !from || (to = Family<T>::dup(from)) != nullptr; }
    static int compare(const Value& a, const Value& b) { return Family<T>::cmp(a, b); }
};

// A member whose record has a hand-written family: reached through its flat
// C functions, one node per element.
template <class T, T* (*New)(), void (*Free)(T*), T* (*Dup)(const T*), int (*Cmp)(const T*, const T*),
          PKI_ERROR (*ToSeq)(const T*, ASN1_UNIT**), PKI_ERROR (*FromSeq)(const ASN1_UNIT*, T**),
          bool (*Matches)(uint8_t)>
struct ByFunctions {
    using Value = T*;
    static bool matches(uint8_t id) { return Matches(id); }
    static bool decodeContents(const Element& e, Value& out) {
        Owned<ASN1_UNIT, free_ASN1_UNIT> node(ber::nodeFromElement(e));
        T* r = nullptr;
        if (!node || FromSeq(node.get(), &r) != 0) return false;
        out = r;
        return true;
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        ASN1_UNIT* node = nullptr;
        return v && ToSeq(v, &node) == 0 && appendNode(parent, node);
    }
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) {
        Free(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) { return !from || (to = Dup(from)) != nullptr; }
    static int compare(const Value& a, const Value& b) { return Cmp(a, b); }
};

}  // namespace zpki::asn1

// The record's lifecycle: new_T, free_T, clean_T, dup_T, cmp_T.
#define ZPKI_STRUCT_LIFECYCLE(T)                                                                  \
    extern "C" {                                                                                  \
    ZUNPKI_API T* new_##T(void) { return ::zpki::asn1::Family<T>::create(); }                     \
    ZUNPKI_API void free_##T(T* r) { ::zpki::asn1::Family<T>::destroy(r); }                       \
    ZUNPKI_API void clean_##T(T* r) { ::zpki::asn1::Family<T>::clean(r); }                        \
    ZUNPKI_API T* dup_##T(const T* r) { return ::zpki::asn1::Family<T>::dup(r); }                 \
    ZUNPKI_API int cmp_##T(const T* a, const T* b) { return ::zpki::asn1::Family<T>::cmp(a, b); } \
    }

// The record's codec: T_to_Seq and Seq_to_T, with the library byte and the
// two function bytes their result codes carry.
#define ZPKI_STRUCT_CODEC(T, LIB, F_ENCODE, F_DECODE)                         \
    extern "C" {                                                              \
    ZUNPKI_API PKI_ERROR T##_to_Seq(const T* r, ASN1_UNIT** node) {           \
        return ::zpki::asn1::Family<T>::toSeq(r, node, (LIB) | (F_ENCODE));   \
    }                                                                         \
    ZUNPKI_API PKI_ERROR Seq_to_##T(const ASN1_UNIT* node, T** r) {           \
        return ::zpki::asn1::Family<T>::fromSeq(node, r, (LIB) | (F_DECODE)); \
    }                                                                         \
    }

#define ZPKI_STRUCT_FAMILY(T, LIB, F_ENCODE, F_DECODE) \
    ZPKI_STRUCT_LIFECYCLE(T)                           \
    ZPKI_STRUCT_CODEC(T, LIB, F_ENCODE, F_DECODE)
