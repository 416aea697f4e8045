// Structures described once.
//
// A structure of the library is a plain C record. Its ASN.1 shape is
// described once, next to its source, as a specialisation of Describe<T>:
//
//   template <> struct zpki::asn1::Describe<POLICY_MAPPING> {
//       using Shape = Sequence<Field<&POLICY_MAPPING::issuerDomainPolicy, Oid>,
//                              Field<&POLICY_MAPPING::subjectDomainPolicy, Oid>>;
//   };
//   ZPKI_STRUCT_FAMILY(POLICY_MAPPING, L_X509V3, F_POLICY_MAPPING_TO_SEQ, F_SEQ_TO_POLICY_MAPPING)
//
// The macro emits the record's flat C family: new_X, free_X, clean_X, dup_X,
// cmp_X, X_to_Seq and Seq_to_X, all derived from the description. Decoding
// reads the input's elements straight into the record; encoding writes DER
// bytes (a node is made only at the C interface). A description may also keep
// the DER a record was decoded from (Describe<T>::kReceived) or a fingerprint
// of what was decoded (Describe<T>::kFingerprint). See pki/README.md for the
// building blocks and for adding hand-written parts.
#pragma once

#include <climits>
#include <cstring>
#include <new>
#include <optional>
#include <type_traits>

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include "asn1/ber_internal.hpp"
#include "asn1/der_cursor.hpp"
#include "asn1/kept.hpp"
#include "asn1/pki_mem.hpp"
#include "asn1/stack_internal.hpp"
#include <zunPKI/asn1/stack.h>

namespace zpki::asn1 {

using der::Element;

// ---------------------------------------------------------------------------
// Writing DER bytes. Constructed elements are opened, filled and closed; the
// length octets are put in when the contents are known.

class Writer {
public:
    explicit Writer(ber::Bytes& out) : m_out(out) {}

    size_t size() const { return m_out.size(); }
    const uint8_t* at(size_t offset) const { return m_out.data() + offset; }

    // Starts a constructed element; returns where its contents begin.
    size_t open(uint8_t identifier) {
        m_out.push_back(identifier);
        m_out.push_back(0);
        return m_out.size();
    }
    // Ends the element whose contents began at start.
    bool close(size_t start) {
        const size_t len = m_out.size() - start;
        if (len > INT_MAX - 6) return false;
        if (len < 0x80) {
            m_out[start - 1] = static_cast<uint8_t>(len);
            return true;
        }
        uint8_t lo[5];
        const size_t n = der::putLength(lo, len, false);
        if (n == 0) return false;
        m_out[start - 1] = lo[0];
        m_out.insert(m_out.begin() + static_cast<std::ptrdiff_t>(start), lo + 1, lo + n);
        return true;
    }
    // One element with the given contents.
    bool element(uint8_t identifier, const uint8_t* contents, size_t len) {
        uint8_t lo[5];
        const size_t n = der::putLength(lo, len, false);
        if (n == 0 || len > INT_MAX - 6) return false;
        m_out.push_back(identifier);
        m_out.insert(m_out.end(), lo, lo + n);
        if (len) m_out.insert(m_out.end(), contents, contents + len);
        return true;
    }
    // Bytes already encoded.
    void raw(const uint8_t* bytes, size_t len) {
        if (len) m_out.insert(m_out.end(), bytes, bytes + len);
    }
    // Room for n more bytes, filled by the caller.
    uint8_t* grow(size_t n) {
        const size_t at = m_out.size();
        m_out.resize(at + n);
        return m_out.data() + at;
    }
    // The identifier of the element written at offset.
    void retag(size_t offset, uint8_t identifier) { m_out[offset] = identifier; }
    uint8_t identifierAt(size_t offset) const { return m_out[offset]; }

private:
    ber::Bytes& m_out;
};

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

// How many elements a constructed element's contents hold (up to the first
// that does not read): for lists reserved in one step.
inline int countElements(const Element& e) {
    der::Cursor c(e.contents, e.contentsSize);
    int n = 0;
    for (Element x; der::getElement(c, x);) ++n;
    return n;
}

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

// A node's whole encoding appended to the bytes.
inline bool writeNode(const ASN1_UNIT* node, Writer& w) {
    size_t n;
    if (!ber::encodedSize(node, n)) return false;
    return ber::serializeInto(node, w.grow(n), n);
}

// ---------------------------------------------------------------------------
// Codecs: one per kind of member. Each says which identifiers it accepts,
// how it reads an element into an empty member, writes a member's element
// (write; encode appends it to a parent node for code that builds nodes),
// and releases, copies, compares and marks a member (mark feeds the
// fingerprint of a record that keeps its DER: a member that can change in
// place marks its contents).

// What encode(v, holder) appends to a holder node, for codecs that only
// build nodes.
template <class C>
bool writeViaNode(const typename C::Value& v, Writer& w) {
    Owned<ASN1_UNIT, free_ASN1_UNIT> holder(new_ASN1_UNIT());
    if (!holder || !C::encode(v, holder.get())) return false;
    const der::Cursor c = ber::contentsOf(holder.get());
    w.raw(c.data(), c.size());
    return true;
}

// A codec writes bytes itself when it names itself as the owner of its
// write: a codec derived from another that changes encode (or anything that
// decides what is written) without its own write goes through its encode.
template <class C>
constexpr bool ownsWrite() {
    if constexpr (requires { typename C::WriteOwner; })
        return std::is_same_v<typename C::WriteOwner, C>;
    else
        return false;
}

template <class C>
bool writeValue(const typename C::Value& v, Writer& w) {
    if constexpr (ownsWrite<C>())
        return C::write(v, w);
    else
        return writeViaNode<C>(v, w);
}

// The element a codec writes, appended to a parent node.
template <class C>
bool encodeByWriting(const typename C::Value& v, ASN1_UNIT* parent) {
    try {
        ber::Bytes bytes;
        Writer w(bytes);
        return writeValue<C>(v, w) && ber::appendEncoded(parent, bytes.data(), bytes.size());
    } catch (const std::bad_alloc&) {
        return false;
    }
}

template <class C>
void markValue(const typename C::Value& v, Mark& m) {
    using V = typename C::Value;
    if constexpr (requires { C::mark(v, m); })
        C::mark(v, m);
    else if constexpr (std::is_same_v<V, ASN1_STRING*>)
        m.string(v);
    else if constexpr (std::is_pointer_v<V>)
        m.address(v);
    else
        m.word(static_cast<uint64_t>(v));
}

// A string member as one element under identifier, by the contents rule of
// universal type 'type'; false for a value that rule refuses.
inline bool writeString(Writer& w, uint8_t identifier, int type, const ASN1_STRING* s) {
    if (!s || s->length < 0 || (s->length > 0 && !s->data)) return false;
    const auto len = static_cast<size_t>(s->length);
    switch (type) {
        case ASN1_TAG_OBJECT_IDENTIFIER: {
            ber::Bytes contents;
            return ber::oidTextToContents(reinterpret_cast<const char*>(s->data), len, contents) &&
                   w.element(identifier, contents.data(), contents.size());
        }
        case ASN1_TAG_BIT_STRING: {
            if (s->extra < 0 || s->extra > 7 || (len == 0 && s->extra != 0) || len > INT_MAX - 8) return false;
            const size_t start = w.open(identifier);
            const auto unused = static_cast<uint8_t>(s->extra);
            w.raw(&unused, 1);
            w.raw(s->data, len);
            return w.close(start);
        }
        case ASN1_TAG_NULL:
            return len == 0 && w.element(identifier, nullptr, 0);
        case ASN1_TAG_UTC_TIME:
        case ASN1_TAG_GENERALIZED_TIME:
            return len > 0 && w.element(identifier, s->data, len);
        default:
            return w.element(identifier, s->data, len);
    }
}

// A string-like universal type held as ASN1_STRING* (OIDs as dotted text,
// BIT STRINGs with their unused bits, times as text).
template <int Tag>
struct Str {
    using WriteOwner = Str;
    using Value = ASN1_STRING*;
    static bool matches(uint8_t id) { return (id & 0xc0) == 0 && (id & 0x1f) == Tag; }
    static bool decodeContents(const Element& e, Value& out) {
        out = static_cast<ASN1_STRING*>(ber::decodeElement(e, Tag));
        return out != nullptr;
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        return v && addToDERSequence(parent, Tag, v, v->length) == 0;
    }
    static bool write(const Value& v, Writer& w) {
        // A UTCTime with an offset or without seconds goes through the DER
        // check, which rewrites it in UTC or refuses it.
        if (Tag == ASN1_TAG_UTC_TIME && !(v && v->length == 13 && v->data && v->data[12] == 'Z'))
            return writeViaNode<Str>(v, w);
        return writeString(w, static_cast<uint8_t>(Tag), Tag, v);
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
    using WriteOwner = AnyString;
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
    static bool write(const Value& v, Writer& w) {
        if (!v || v->type < 0 || v->type > 0xff || (v->type & 0x1f) == 0x1f) return false;
        const int t = v->type;
        if ((t & 0xe0) || t == 16 || t == 17 || t == 10)  // tagged or constructed: the contents as held
            return writeString(w, static_cast<uint8_t>(t == 16 || t == 17 ? t | 0x20 : t), ASN1_TAG_OCTET_STRING, v);
        switch (t) {
            case 4:
            case 12:
            case 18:
            case 19:
            case 20:
            case 21:
            case 22:
            case 25:
            case 26:
            case 27:
            case 28:
            case 30:
                return writeString(w, static_cast<uint8_t>(t), t, v);
            default:  // INTEGER, BOOLEAN, OIDs, times, BIT STRING: by their own rules
                return writeViaNode<AnyString>(v, w);
        }
    }
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) { Str<0>::release(v); }
    static bool copy(const Value& from, Value& to) { return Str<0>::copy(from, to); }
    static int compare(const Value& a, const Value& b) { return cmp_ASN1_STRING(a, b); }
};

// Any single element kept whole as a node (ANY, open types, parameters).
struct AnyNode {
    using WriteOwner = AnyNode;
    using Value = ASN1_UNIT*;
    static bool matches(uint8_t) { return true; }
    static bool decodeContents(const Element& e, Value& out) { return (out = ber::nodeFromElement(e)) != nullptr; }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        return v && addToDERSequence(parent, ASN1_TAG_CONS_SEQUENCE, v, 0) == 0;
    }
    static bool write(const Value& v, Writer& w) { return v && writeNode(v, w); }
    static void mark(const Value& v, Mark& m) {
        m.address(v);
        const int len = v && v->value ? getASN1ValueLength(v) : 0;
        if (len > 0) m.bytes(v->value, static_cast<size_t>(len));
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
    using WriteOwner = BigInteger;
    using Value = BIGINT*;
    static bool matches(uint8_t id) { return id == Tag; }
    static bool decodeContents(const Element& e, Value& out) {
        return !e.constructed() && (out = ber::integerFromContents(e.contents, e.contentsSize)) != nullptr;
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        return v && addToDERSequence(parent, Tag, v, ber::integerContentsLength(v)) == 0;
    }
    static bool write(const Value& v, Writer& w) {
        const int n = v ? ber::integerContentsLength(v) : 0;
        if (n <= 0) return false;
        const size_t start = w.open(static_cast<uint8_t>(Tag));
        return ber::integerToContents(v, w.grow(static_cast<size_t>(n)), static_cast<size_t>(n)) && w.close(start);
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
    using WriteOwner = SmallInt;
    using Value = int;
    static bool matches(uint8_t id) { return id == Tag; }
    static bool decodeContents(const Element& e, Value& out) {
        if (e.constructed() || e.contentsSize == 0 || e.contentsSize > sizeof(int)) return false;
        long long v = static_cast<int8_t>(e.contents[0]);  // X.690 8.3.3: two's complement
        for (size_t i = 1; i < e.contentsSize; ++i) v = v * 256 + e.contents[i];
        out = static_cast<int>(v);
        return true;
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) { return encodeByWriting<SmallInt>(v, parent); }
    static bool write(const Value& v, Writer& w) {
        // X.690 8.3.2: the shortest two's complement form.
        uint8_t bytes[4];
        const auto u = static_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(u >> (24 - 8 * i));
        size_t start = 0;
        while (start < 3 && ((bytes[start] == 0x00 && !(bytes[start + 1] & 0x80)) ||
                             (bytes[start] == 0xff && (bytes[start + 1] & 0x80))))
            ++start;
        return w.element(static_cast<uint8_t>(Tag), bytes + start, 4 - start);
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
    using WriteOwner = Boolean;
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
    static bool write(const Value& v, Writer& w) {
        const uint8_t b = v ? 0xff : 0x00;
        return w.element(ASN1_TAG_BOOLEAN, &b, 1);
    }
    static bool present(const Value&) { return true; }
    static void release(Value& v) { v = 0; }
    static bool copy(const Value& from, Value& to) {
        to = from;
        return true;
    }
    static int compare(const Value& a, const Value& b) { return (a != 0) - (b != 0); }
};

// One whole element viewed where it lies, for records that live only while
// the bytes do (a decoder's working record, parameters written from another
// member): nothing copied, nothing owned.
struct ElementView {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    bool element(Element& e) const {
        der::Cursor c(bytes, size);
        return bytes && der::getElement(c, e) && c.empty();
    }
};

struct RawElement {
    using WriteOwner = RawElement;
    using Value = ElementView;
    static bool matches(uint8_t) { return true; }
    static bool decodeContents(const Element& e, Value& out) {
        if (!e.start) return false;
        out = {e.start, e.totalSize};
        return true;
    }
    static bool write(const Value& v, Writer& w) {
        if (!v.bytes || !v.size) return false;
        w.raw(v.bytes, v.size);
        return true;
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) { return encodeByWriting<RawElement>(v, parent); }
    static bool present(const Value& v) { return v.bytes && v.size; }
    static void release(Value& v) { v = {}; }
    static bool copy(const Value& from, Value& to) {
        to = from;
        return true;
    }
    static int compare(const Value& a, const Value& b) {
        if (a.size != b.size) return a.size < b.size ? -1 : 1;
        return a.size ? std::memcmp(a.bytes, b.bytes, a.size) : 0;
    }
    static void mark(const Value& v, Mark& m) {
        m.word(v.size);
        if (v.bytes) m.bytes(v.bytes, v.size);
    }
};

// ---------------------------------------------------------------------------
// Options and tags around a codec.

// OPTIONAL: absent members (null pointers) are left out; on reading, the
// member stays empty when the next element is not one the codec accepts.
template <class C>
struct Optional : C {
    using WriteOwner = std::conditional_t<ownsWrite<C>(), Optional, void>;
    static constexpr bool kOptional = true;
};

// DEFAULT for int members: the default is left out when writing and taken
// when the element is absent.
template <class C, int Value_>
struct Default : C {
    using WriteOwner = std::conditional_t<ownsWrite<C>(), Default, void>;
    static constexpr bool kOptional = true;
    static constexpr int kDefault = Value_;
    static bool present(const typename C::Value& v) { return v != Value_; }
};

// [N] EXPLICIT: the element wrapped in a constructed context-specific tag.
template <int N, class C>
struct Explicit {
    using WriteOwner = Explicit;
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
    static bool write(const Value& v, Writer& w) {
        const size_t start = w.open(static_cast<uint8_t>(0xa0 | N));
        return writeValue<C>(v, w) && w.close(start);
    }
    static bool present(const Value& v) { return C::present(v); }
    static void release(Value& v) { C::release(v); }
    static bool copy(const Value& from, Value& to) { return C::copy(from, to); }
    static int compare(const Value& a, const Value& b) { return C::compare(a, b); }
    static void mark(const Value& v, Mark& m) { markValue<C>(v, m); }
};

// [N] IMPLICIT: the element's own identifier replaced by a context-specific
// one that keeps its constructed bit.
template <int N, class C>
struct Implicit {
    using WriteOwner = Implicit;
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
    static bool write(const Value& v, Writer& w) {
        const size_t at = w.size();
        if (!writeValue<C>(v, w) || w.size() == at) return false;
        w.retag(at, static_cast<uint8_t>(0x80 | N | (w.identifierAt(at) & 0x20)));
        return true;
    }
    static bool present(const Value& v) { return C::present(v); }
    static void release(Value& v) { C::release(v); }
    static bool copy(const Value& from, Value& to) { return C::copy(from, to); }
    static int compare(const Value& a, const Value& b) { return C::compare(a, b); }
    static void mark(const Value& v, Mark& m) { markValue<C>(v, m); }
};

// ---------------------------------------------------------------------------
// Lists: SEQUENCE OF / SET OF into a STACK of the item codec's pointers. The
// items keep the order they were added in (also for SET OF).

template <class C, uint8_t Identifier>
struct ListOf {
    using WriteOwner = ListOf;
    using Value = STACK*;
    static_assert(std::is_pointer_v<typename C::Value>, "list items are pointers");
    static bool matches(uint8_t id) { return id == Identifier; }
    static bool decodeContents(const Element& e, Value& out) {
        if (!e.constructed()) return false;
        // The first items wait on the stack, so the list is made once at its
        // size; a long list is counted first.
        constexpr int kNear = 16;
        typename C::Value near[kNear];
        int n = 0;
        STACK* list = nullptr;
        bool ok = true;
        Decoder items(der::Cursor(e.contents, e.contentsSize));
        while (ok && items.more()) {
            Element x;
            typename C::Value item{};
            ok = items.next(x) && C::matches(x.identifier) && C::decodeContents(x, item);
            if (!ok) {
                if (item) C::release(item);
                break;
            }
            if (!list && n < kNear) {
                near[n++] = item;
                continue;
            }
            if (!list && !(list = newStack(countElements(e)))) {
                C::release(item);
                ok = false;
                break;
            }
            for (int i = 0; i < n; ++i) push_STACK_value(list, near[i]);  // room reserved
            n = 0;
            if (push_STACK_value(list, item) == 0) {
                C::release(item);
                ok = false;
            }
        }
        if (ok && !list && !(list = newStack(n))) ok = false;
        for (int i = 0; i < n; ++i) {
            if (ok && push_STACK_value(list, near[i]) != 0) continue;
            C::release(near[i]);
            ok = false;
        }
        if (!ok) {
            Value doomed = list;
            release(doomed);
            return false;
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
    static bool write(const Value& v, Writer& w) {
        const size_t start = w.open(Identifier);
        for (int i = 0; i < get_STACK_count(v); ++i) {
            auto item = static_cast<typename C::Value>(get_STACK_value(v, i));
            if (!item || !writeValue<C>(item, w)) return false;
        }
        return w.close(start);
    }
    static void mark(const Value& v, Mark& m) {
        m.address(v);
        if (!v) return;
        m.address(v->items);
        m.word(static_cast<uint64_t>(v->count));
        for (int i = 0; i < v->count; ++i) markValue<C>(static_cast<typename C::Value>(v->items[i]), m);
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

// A SEQUENCE (or SET) inside the record's own element whose fields are
// members of the same record, e.g. an AlgorithmIdentifier held in two
// members: Nested<Sequence<Field<&T::alg, Oid>, Field<&T::params, ...>>>.
template <class Shape>
struct Nested {};

// Fields that may come in any order, each at most once (the trailing
// elements of SignedData and SignerInfo); written in the order given.
template <class... Fields>
struct AnyOrder {};

// A member the record keeps that its encoding never carries: never written,
// never read, but released, copied and compared like C's members, and left
// out of the record's fingerprint.
template <class C>
struct NotEncoded {
    using WriteOwner = NotEncoded;
    using Value = typename C::Value;
    static constexpr bool kOptional = true;
    static bool matches(uint8_t) { return false; }
    static bool decodeContents(const Element&, Value&) { return false; }
    static bool encode(const Value&, ASN1_UNIT*) { return false; }
    static bool write(const Value&, Writer&) { return false; }
    static bool present(const Value&) { return false; }
    static void release(Value& v) { C::release(v); }
    static bool copy(const Value& from, Value& to) { return C::copy(from, to); }
    static int compare(const Value& a, const Value& b) { return C::compare(a, b); }
    static void mark(const Value&, Mark&) {}
};

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

// Specialised next to each structure:
//   using Shape = Sequence<...>;                 the ASN.1 shape
//   static constexpr auto kReceived = &T::m;     optional: an x509_received_st*
//                                                member keeping the DER decoded
//   static constexpr auto kFingerprint = &T::m;  optional: a uintptr_t member
//                                                holding the fingerprint of what
//                                                was decoded (no bytes)
//   static Kept* keep(e, const T& r, mark);      optional, with kReceived: what
//                                                to keep of element e, decoded
//                                                into r (else e as received)
template <class T>
struct Describe;

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

// The operations on one field. A field kind of its own (NullField,
// AnyOrder, or a struct with kOwnOps, e.g. two members written as one
// element) provides: init, release, copy, compare, missing (0 or the reason
// a required member is empty), write (0 or a reason), decode (from the next
// elements), accepts/decodeElement/required/absent (for AnyOrder) and mark.
template <class F>
struct FieldOps;

template <class F>
requires requires { F::kOwnOps; }
struct FieldOps<F> : F {};

template <auto Member, class C, int MissingReason>
struct FieldOps<Field<Member, C, MissingReason>> {
    using F = Field<Member, C, MissingReason>;
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
    template <class T>
    static int missing(const T& r) {
        return C::present(member<F>(r)) || isOptional<C>() ? 0 : MissingReason;
    }
    template <class T>
    static int write(const T& r, Writer& w) {
        const auto& v = member<F>(r);
        if (!C::present(v)) return isOptional<C>() ? 0 : MissingReason;
        if constexpr (ownsWrite<C>() && requires { C::writeReason(v, w); })
            return C::writeReason(v, w);  // a member record's own code passes through
        else
            return writeValue<C>(v, w) ? 0 : ERR_ASN1_ENCODING;
    }
    static bool accepts(uint8_t id) { return C::matches(id); }
    static constexpr bool required() { return !isOptional<C>(); }
    // Absent from the input: the default, or the empty value the codec gives.
    template <class T>
    static bool decodeElement(T& r, const Element& e) {
        return C::decodeContents(e, member<F>(r));
    }
    template <class T>
    static void absent(T& r) {
        defaultInit<C>(member<F>(r));
    }
    template <class T>
    static bool absentValue(T& r) {
        absent(r);
        if constexpr (requires { C::whenAbsent(member<F>(r)); })
            return C::whenAbsent(member<F>(r));
        else
            return true;
    }
    template <class T>
    static bool decode(T& r, Decoder& in) {
        uint8_t id;
        if (!in.peek(id) || !C::matches(id)) {
            return isOptional<C>() && absentValue(r);
        }
        Element e;
        return in.next(e) && C::decodeContents(e, member<F>(r));
    }
    template <class T>
    static void mark(const T& r, Mark& m) {
        markValue<C>(member<F>(r), m);
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
    static int missing(const T&) {
        return 0;
    }
    template <class T>
    static int write(const T&, Writer& w) {
        return w.element(ASN1_TAG_NULL, nullptr, 0) ? 0 : ERR_ASN1_ENCODING;
    }
    template <class T>
    static bool decode(T&, Decoder& in) {
        uint8_t id;
        Element e;
        if (in.peek(id) && id == ASN1_TAG_NULL) return in.next(e) && e.contentsSize == 0;
        return true;
    }
    template <class T>
    static void mark(const T&, Mark&) {}
};

// What a list of fields does field by field.
template <class... Fields>
struct FieldFolds {
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
    template <class T>
    static int missing(const T& r) {
        int reason = 0;
        ((reason = FieldOps<Fields>::missing(r)) || ...);
        return reason;
    }
    template <class T>
    static int writeFields(const T& r, Writer& w) {
        int reason = 0;
        ((reason = FieldOps<Fields>::write(r, w)) || ...);
        return reason;
    }
    template <class T>
    static void mark(const T& r, Mark& m) {
        (FieldOps<Fields>::mark(r, m), ...);
    }
};

template <class... Fields>
struct FieldOps<AnyOrder<Fields...>> : FieldFolds<Fields...> {
    template <class T>
    static int write(const T& r, Writer& w) {
        return FieldFolds<Fields...>::writeFields(r, w);
    }
    template <class T>
    static bool decode(T& r, Decoder& in) {
        bool seen[sizeof...(Fields)] = {};
        for (;;) {
            uint8_t id;
            if (!in.peek(id)) break;
            int which = -1, i = 0;
            ((which < 0 && !seen[i] && FieldOps<Fields>::accepts(id) ? which = i : 0, ++i), ...);
            if (which < 0) break;
            Element e;
            if (!in.next(e)) return false;
            bool ok = false;
            i = 0;
            ((i++ == which ? ok = FieldOps<Fields>::decodeElement(r, e) : false), ...);
            if (!ok) return false;
            seen[which] = true;
        }
        bool ok = true;
        int i = 0;
        ((!seen[i++] && !(!FieldOps<Fields>::required() && FieldOps<Fields>::absentValue(r)) ? ok = false : true), ...);
        return ok;
    }
};

template <class Shape>
struct ShapeOps;

template <class Shape>
struct FieldOps<Nested<Shape>> {
    using Ops = ShapeOps<Shape>;
    template <class T>
    static bool init(T& r) {
        return Ops::init(r);
    }
    template <class T>
    static void release(T& r) {
        Ops::release(r);
    }
    template <class T>
    static bool copy(const T& from, T& to) {
        return Ops::copy(from, to);
    }
    template <class T>
    static int compare(const T& a, const T& b) {
        return Ops::compare(a, b);
    }
    template <class T>
    static int missing(const T& r) {
        return Ops::missing(r);
    }
    template <class T>
    static int write(const T& r, Writer& w) {
        return Ops::write(r, w);
    }
    static bool accepts(uint8_t id) { return Ops::matches(id); }
    static constexpr bool required() { return true; }
    template <class T>
    static bool decodeElement(T& r, const Element& e) {
        return Ops::decodeContents(e, r);
    }
    template <class T>
    static bool absentValue(T&) {
        return false;
    }
    template <class T>
    static bool decode(T& r, Decoder& in) {
        uint8_t id;
        Element e;
        return in.peek(id) && Ops::matches(id) && in.next(e) && Ops::decodeContents(e, r);
    }
    template <class T>
    static void mark(const T& r, Mark& m) {
        Ops::mark(r, m);
    }
};

template <uint8_t Identifier, class... Fields>
struct FieldListOps : FieldFolds<Fields...> {
    using Folds = FieldFolds<Fields...>;
    static constexpr uint8_t kIdentifier = Identifier;
    static constexpr bool kChoice = false;
    static bool matches(uint8_t id) { return id == kIdentifier; }
    // The whole element: every required member is checked before anything
    // is written, so the first one missing names the reason.
    template <class T>
    static int write(const T& r, Writer& w) {
        if (const int reason = Folds::missing(r)) return reason;
        const size_t start = w.open(kIdentifier);
        if (const int reason = Folds::writeFields(r, w)) return reason;
        return w.close(start) ? 0 : ERR_ASN1_ENCODING;
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

    static constexpr bool kChoice = true;
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
    // The chosen alternative's element is the record's element.
    template <class T>
    static int write(const T& r, Writer& w) {
        int reason = ERR_R_INVALID_ELEMENT;  // a selector no alternative has
        ((r.*Selector == AltOf<Alts>::kWhich ? (reason = AltOf<Alts>::Ops::write(r, w)) : 0), ...);
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
    template <class T>
    static void mark(const T& r, Mark& m) {
        m.word(static_cast<uint64_t>(r.*Selector));
        ((r.*Selector == AltOf<Alts>::kWhich ? AltOf<Alts>::Ops::mark(r, m) : void()), ...);
    }
};

// A record's shape with what it keeps from decoding: the received DER (and
// the fingerprint of its members then) or a fingerprint alone.
template <class T>
struct RecordOps {
    using Ops = ShapeOps<typename Describe<T>::Shape>;
    static constexpr bool kKeepsDer = requires { Describe<T>::kReceived; };
    static constexpr bool kKeepsMark = requires { Describe<T>::kFingerprint; };

    static uint64_t fingerprint(const T& r) {
        Mark m;
        Ops::mark(r, m);
        return m.value();
    }
    // The kept DER, while the members still give the fingerprint of then.
    static const Kept* kept(const T& r) {
        if constexpr (kKeepsDer) {
            const Kept* k = r.*(Describe<T>::kReceived);
            return k && k->mark == fingerprint(r) ? k : nullptr;
        } else {
            return nullptr;
        }
    }
    // The members are still what was decoded (records keeping a fingerprint).
    static bool stillDecoded(const T& r) {
        if constexpr (kKeepsMark)
            return r.*(Describe<T>::kFingerprint) != 0 && r.*(Describe<T>::kFingerprint) == fingerprint(r);
        else
            return kept(r) != nullptr;
    }
    static void forget(T& r) {
        if constexpr (kKeepsDer) freeKept(r.*(Describe<T>::kReceived));
        if constexpr (kKeepsMark) r.*(Describe<T>::kFingerprint) = 0;
    }
    static void release(T& r) {
        Ops::release(r);
        forget(r);
    }
    static bool copy(const T& from, T& to) {
        if (!Ops::copy(from, to)) return false;
        if constexpr (kKeepsDer) {
            if (const Kept* k = kept(from)) {
                Kept*& mine = to.*(Describe<T>::kReceived);
                mine = newKept(k->der, k->offset, k->size, fingerprint(to));
                if (!mine) return false;
            }
        }
        if constexpr (kKeepsMark)
            if (stillDecoded(from)) to.*(Describe<T>::kFingerprint) = fingerprint(to);
        return true;
    }
    // The record's element: the kept DER while it stands, else its members.
    static int write(const T& r, Writer& w) {
        if (const Kept* k = kept(r)) {
            w.raw(k->data(), k->size);
            return 0;
        }
        const int reason = Ops::write(r, w);
        if constexpr (requires { Describe<T>::kEncodeFunc; }) {
            if (reason > 0 && reason <= 0xffff) return static_cast<int>(Describe<T>::kEncodeFunc | reason);
        }
        return reason;
    }
    // Element e into an empty record; what was decoded is kept. A record
    // with a code of its own (decodeError) notes it when it fails.
    static bool decode(const Element& e, T& r) {
        if (!Ops::decodeContents(e, r)) {
            if constexpr (requires { Describe<T>::decodeError(e); }) DecodeFailure::note(Describe<T>::decodeError(e));
            return false;
        }
        if constexpr (kKeepsDer || kKeepsMark) {
            Mark m;
            m.fresh = true;
            Ops::mark(r, m);
            if constexpr (kKeepsDer) {
                Kept* k;
                if constexpr (requires { Describe<T>::keep(e, r, m.value()); })
                    k = Describe<T>::keep(e, r, m.value());
                else
                    k = keepElement(e, m.value());
                if (!(r.*(Describe<T>::kReceived) = k)) return false;
            } else {
                r.*(Describe<T>::kFingerprint) = m.value();
            }
        }
        return true;
    }
    // How a record that is a member of another marks that record's
    // fingerprint: by the kept DER it stands on, or by its members.
    static void markMember(const T& r, Mark& m) {
        if constexpr (kKeepsDer) {
            const Kept* k = m.fresh ? r.*(Describe<T>::kReceived) : kept(r);
            m.address(k);
            if (!k) Ops::mark(r, m);
        } else {
            Ops::mark(r, m);
        }
    }
};

// The element in bytes handed to a caller's node: into an empty node, or
// (for a SEQUENCE or SET) its contents appended to the node the caller
// passes, or (for a CHOICE) the element appended as a child.
bool deliverElement(const uint8_t* bytes, size_t n, ASN1_UNIT* target, bool asChild);

// The element of a node read in place, or, for records that keep their DER,
// from one contiguous copy (shared with what they keep), made current for the
// decode.
class NodeInput {
public:
    NodeInput(const ASN1_UNIT* node, bool contiguous);
    ~NodeInput() { release(m_der); }
    NodeInput(const NodeInput&) = delete;
    NodeInput& operator=(const NodeInput&) = delete;
    bool ok() const { return m_ok; }
    const Element& element() const { return m_e; }

private:
    SharedDer* m_der = nullptr;
    std::optional<DecodeScope> m_scope;
    Element m_e;
    bool m_ok = false;
};

}  // namespace detail

// One encoded element handed to the caller as a node: a new one in *node,
// or into the node the caller passes (see deliverElement).
inline PKI_ERROR deliverBytes(const uint8_t* bytes, size_t n, ASN1_UNIT** node, unsigned libFunc, bool asChild) {
    ASN1_UNIT* target = *node ? *node : new_ASN1_UNIT();
    if (!target) return static_cast<PKI_ERROR>(libFunc | ERR_R_ALLOC);
    if (!detail::deliverElement(bytes, n, target, asChild)) {
        if (*node)
            clean_ASN1_UNIT(target);
        else
            free_ASN1_UNIT(target);
        return static_cast<PKI_ERROR>(libFunc | ERR_ASN1_ENCODING);
    }
    *node = target;
    return 0;
}

// Bytes written by write(Writer&) (which returns 0 or a reason; a whole code
// of an inner structure passes through) handed to the caller as a node.
template <class Write>
PKI_ERROR deliverWritten(ASN1_UNIT** node, unsigned libFunc, bool asChild, Write write) {
    ber::Bytes der;
    int reason;
    try {
        Writer w(der);
        reason = write(w);
    } catch (const std::bad_alloc&) {
        reason = ERR_R_ALLOC;
    }
    if (reason)
        return static_cast<PKI_ERROR>(static_cast<unsigned>(reason) > 0xffff ? static_cast<unsigned>(reason)
                                                                             : libFunc | static_cast<unsigned>(reason));
    return deliverBytes(der.data(), der.size(), node, libFunc, asChild);
}

template <class T>
struct Family {
    using Ops = detail::ShapeOps<typename Describe<T>::Shape>;
    using Record = detail::RecordOps<T>;

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
        Record::release(*r);
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
        if (!Record::copy(*r, *copy)) {
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
    // The record's DER appended to out; 0 or the reason.
    static int write(const T* r, ber::Bytes& out) {
        try {
            Writer w(out);
            return Record::write(*r, w);
        } catch (const std::bad_alloc&) {
            return ERR_R_ALLOC;
        }
    }
    // Encodes into *node when the caller passes one (appending to what it
    // holds), else into a new node stored in *node on success.
    static PKI_ERROR toSeq(const T* r, ASN1_UNIT** node, unsigned libFunc) {
        if (!r || !node) return static_cast<PKI_ERROR>(libFunc | ERR_R_NULL_ARGUMENT);
        return deliverWritten(node, libFunc, Ops::kChoice, [r](Writer& w) { return Record::write(*r, w); });
    }
    // Decodes into *record when it points to one, else into a new record. The
    // caller's record changes only on success; on failure only a record made
    // here is released.
    static PKI_ERROR fromSeq(const ASN1_UNIT* node, T** record, unsigned libFunc) {
        if (!node || !record) return static_cast<PKI_ERROR>(libFunc | ERR_R_NULL_ARGUMENT);
        T* made = PKI_NEW(T);
        if (!made) return static_cast<PKI_ERROR>(libFunc | ERR_R_ALLOC);
        detail::NodeInput in(node, Record::kKeepsDer);
        if (!in.ok() || !Ops::matches(in.element().identifier) || !decodeElement(in.element(), *made)) {
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
        if (!Record::decode(e, r)) {
            Record::release(r);
            return false;
        }
        return true;
    }
};

// A member that is a described record of its own, held as T*.
template <class T>
struct Sub {
    using WriteOwner = Sub;
    using Value = T*;
    static bool matches(uint8_t id) { return Family<T>::Ops::matches(id); }
    static bool decodeContents(const Element& e, Value& out) {
        T* r = PKI_NEW(T);
        if (!r) return false;
        if (!Family<T>::decodeElement(e, *r)) {
            PKI_FREE(r);
            return false;
        }
        out = r;
        return true;
    }
    static bool write(const Value& v, Writer& w) { return v && detail::RecordOps<T>::write(*v, w) == 0; }
    static int writeReason(const Value& v, Writer& w) {
        return v ? detail::RecordOps<T>::write(*v, w) : ERR_ASN1_ENCODING;
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) { return encodeByWriting<Sub>(v, parent); }
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) {
        Family<T>::destroy(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) { return !from || (to = Family<T>::dup(from)) != nullptr; }
    static int compare(const Value& a, const Value& b) { return Family<T>::cmp(a, b); }
    static void mark(const Value& v, Mark& m) {
        m.address(v);
        if (v) detail::RecordOps<T>::markMember(*v, m);
    }
};

// A member whose record has a hand-written family: reached through its flat
// C functions, one node per element. Give it a direct decoder and writer
// (DecodeDirect, WriteDirect) to keep nodes out of the codec.
template <class T, T* (*New)(), void (*Free)(T*), T* (*Dup)(const T*), int (*Cmp)(const T*, const T*),
          PKI_ERROR (*ToSeq)(const T*, ASN1_UNIT**), PKI_ERROR (*FromSeq)(const ASN1_UNIT*, T**),
          bool (*Matches)(uint8_t)>
struct ByFunctions {
    using WriteOwner = ByFunctions;
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
    static bool write(const Value& v, Writer& w) {
        ASN1_UNIT* made = nullptr;
        if (!v || ToSeq(v, &made) != 0) return false;
        Owned<ASN1_UNIT, free_ASN1_UNIT> node(made);
        return writeNode(node.get(), w);
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
