// Pieces the extension bodies share: member codecs for the tagged fields of
// RFC 5280 (written in its implicit forms, the explicit forms also read), a
// general-name list under any identifier, the family of a list type, and the
// decoding of a record from a node with the code of each failure.
#pragma once

#include <cstring>

#include "asn1/asn1_struct.hpp"
#include "x509/x509_list.hpp"
#include <zunPKI/x509/x509v3_gn.h>

namespace zpki::x509v3 {

using asn1::Decoder;
using der::Element;

inline PKI_ERROR code(unsigned libFunc, unsigned reason) { return static_cast<PKI_ERROR>(libFunc | reason); }

inline bool isContext(uint8_t id, int n) { return (id & 0xdf) == (0x80 | n); }

// A member held as void* whose real type is C's Value: the value of a CHOICE
// record whose alternatives share one pointer.
template <class C>
struct AsVoid {
    using Value = void*;
    using Inner = typename C::Value;
    static bool matches(uint8_t id) { return C::matches(id); }
    static bool decodeContents(const Element& e, Value& out) {
        Inner v{};
        if (!C::decodeContents(e, v)) return false;
        out = v;
        return true;
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) { return v && C::encode(static_cast<Inner>(v), parent); }
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) {
        Inner x = static_cast<Inner>(v);
        if (x) C::release(x);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) {
        Inner x{};
        if (!C::copy(static_cast<Inner>(from), x)) return false;
        to = x;
        return true;
    }
    static int compare(const Value& a, const Value& b) {
        return C::compare(static_cast<Inner>(a), static_cast<Inner>(b));
    }
};

// An INTEGER under [N]: written implicitly (8N and the INTEGER contents); the
// explicit form ([N] holding an INTEGER) is read too.
template <int N>
struct TaggedInteger : asn1::Integer {
    static bool matches(uint8_t id) { return isContext(id, N); }
    static bool decodeContents(const Element& e, Value& out) {
        if (!e.constructed()) return asn1::Integer::decodeContents(e, out);
        return asn1::Explicit<N, asn1::Integer>::decodeContents(e, out);
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        return asn1::Implicit<N, asn1::Integer>::encode(v, parent);
    }
};

// A BIT STRING under [N], written implicitly. The explicit form reads as a
// constructed BIT STRING of one segment, so Implicit reads both.
template <int N>
using TaggedBits = asn1::Implicit<N, asn1::BitString>;

// A BOOLEAN DEFAULT FALSE under [N], held as one byte as read (null when
// absent). Written implicitly as 8N 01 FF, and left out when FALSE; the
// explicit form is read too.
template <int N>
struct TaggedFlag {
    using Value = unsigned char*;
    static bool matches(uint8_t id) { return isContext(id, N); }
    static bool decodeContents(const Element& e, Value& out) {
        Element b = e;
        if (e.constructed()) {
            Decoder inner(der::Cursor(e.contents, e.contentsSize));
            if (!inner.next(b) || inner.more() || b.identifier != ASN1_TAG_BOOLEAN) return false;
        }
        if (b.constructed() || b.contentsSize != 1) return false;
        out = static_cast<unsigned char*>(PKI_MALLOC(1));
        if (!out) return false;
        out[0] = b.contents[0];
        return true;
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        static const unsigned char kTrue = 0xff;
        ASN1_UNIT* node = new_ASN1_UNIT();
        if (!node || !ber::setNode(node, static_cast<uint8_t>(0x80 | N), &kTrue, 1, false) || !v) {
            free_ASN1_UNIT(node);
            return false;
        }
        return asn1::appendNode(parent, node);
    }
    static bool present(const Value& v) { return v && *v; }
    static void release(Value& v) {
        PKI_FREE(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) {
        if (!from) return true;
        to = static_cast<unsigned char*>(PKI_MALLOC(1));
        if (!to) return false;
        *to = *from;
        return true;
    }
    static int compare(const Value& a, const Value& b) { return (a && *a ? 1 : 0) - (b && *b ? 1 : 0); }
};

// A BOOLEAN held as the contents byte as read (0 for FALSE); written 0xFF.
struct BooleanByte : asn1::Boolean<1> {
    static bool decodeContents(const Element& e, Value& out) {
        if (e.constructed() || e.contentsSize != 1) return false;
        out = e.contents[0];
        return true;
    }
};

// A list under identifier Id that must hold at least one item.
template <class C, uint8_t Id>
struct NonEmptyList : asn1::ListOf<C, Id> {
    using List = asn1::ListOf<C, Id>;
    static bool decodeContents(const Element& e, typename List::Value& out) {
        return e.contentsSize > 0 && List::decodeContents(e, out);
    }
    static bool encode(const typename List::Value& v, ASN1_UNIT* parent) {
        return v && v->count > 0 && List::encode(v, parent);
    }
};

// One general name of any identifier: a tag number outside 0-8 reads as a
// record without a value. A record without a value does not encode.
struct GeneralNameCodec {
    using Value = GENERAL_NAME*;
    static bool matches(uint8_t) { return true; }
    static bool decodeContents(const Element& e, Value& out);
    static bool encode(const Value& v, ASN1_UNIT* parent);
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) {
        free_GENERAL_NAME(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) { return !from || (to = dup_GENERAL_NAME(from)) != nullptr; }
    static int compare(const Value& a, const Value& b) { return cmp_GENERAL_NAME(a, b); }
};

// GeneralNames under Id (0x30, or the implicit tag of a field). SkipEmpty:
// an empty list is left out; otherwise writing it fails.
template <uint8_t Id, bool SkipEmpty = false>
struct GeneralNamesCodec : NonEmptyList<GeneralNameCodec, Id> {
    using Value = STACK*;
    static bool present(const Value& v) { return SkipEmpty ? v && v->count > 0 : v != nullptr; }
};

// The list types of the bodies: a STACK of C's items that owns them.
template <class C>
struct ListFamily {
    using Items = asn1::ListOf<C, 0x30>;

    static STACK* create() { return new_STACK(); }
    static void destroy(STACK* list) {
        if (list) Items::release(list);
    }
    static STACK* dup(const STACK* list) {
        STACK* copy = nullptr;
        return list && Items::copy(const_cast<STACK*>(list), copy) ? copy : nullptr;
    }
    // The items of any constructed node, appended to *list (made when null);
    // the caller's list is untouched on failure.
    static PKI_ERROR decode(const ASN1_UNIT* node, STACK** list, unsigned libFunc, bool needOne) {
        if (!node || !list) return code(libFunc, ERR_R_NULL_ARGUMENT);
        Element e;
        if (!asn1::elementOf(node, e) || !e.constructed()) return code(libFunc, ERR_ASN1_DECODING);
        if (needOne && e.contentsSize == 0) return code(libFunc, ERR_R_INVALID_ELEMENT);
        STACK* decoded = nullptr;
        if (!Items::decodeContents(e, decoded)) return code(libFunc, ERR_ASN1_DECODING);
        if (!*list) {
            *list = decoded;
        } else if (!x509::appendAll(*list, decoded)) {
            Items::release(decoded);
            return code(libFunc, ERR_R_ALLOC_3C);
        }
        return 0;
    }
    // SEQUENCE OF the items, into *node when the caller passes one.
    static PKI_ERROR encode(const STACK* list, ASN1_UNIT** node, unsigned libFunc, bool allowEmpty) {
        if (!list || !node) return code(libFunc, ERR_R_NULL_ARGUMENT);
        if (!allowEmpty && list->count == 0) return code(libFunc, ERR_R_INVALID_ELEMENT);
        return x509::encodeInto(node, libFunc, 0x30, [list](ASN1_UNIT* target) -> int {
            for (int i = 0; i < list->count; ++i) {
                auto item = static_cast<typename C::Value>(list->items[i]);
                if (!item) return ERR_R_INVALID_ELEMENT;
                if (!C::encode(item, target)) return ERR_ASN1_ENCODING;
            }
            return 0;
        });
    }
};

// Decodes a node into *out (a new record when null) through decode, which
// fills an empty record and returns 0 or a reason. The caller's record
// changes only on success.
template <class T, void (*Free)(T*), void (*Clean)(T*), class Decode>
PKI_ERROR decodeRecord(const ASN1_UNIT* node, T** out, unsigned libFunc, Decode decode) {
    if (!node || !out) return code(libFunc, ERR_R_NULL_ARGUMENT);
    Element e;
    if (!asn1::elementOf(node, e)) return code(libFunc, ERR_ASN1_DECODING);
    Owned<T, Free> made(PKI_NEW(T));
    if (!made) return code(libFunc, ERR_R_ALLOC_3C);
    if (const int reason = decode(e, *made))
        return reason > 0xffff ? reason : code(libFunc, static_cast<unsigned>(reason));
    if (*out) {
        Clean(*out);
        std::memcpy(static_cast<void*>(*out), made.get(), sizeof(T));
        PKI_FREE(made.release());
    } else {
        *out = made.release();
    }
    return 0;
}

// Children of a constructed element, counted; -1 when they do not read.
inline int childCount(const Element& e) {
    if (!e.constructed()) return -1;
    Decoder d(der::Cursor(e.contents, e.contentsSize));
    int n = 0;
    for (Element x; d.more(); ++n)
        if (!d.next(x)) return -1;
    return n;
}

// Family<T>::fromSeq after a count of the node's children: outside
// [least, most] gives 0x2b with libFunc's bytes. A node whose children do
// not read is left to the decoder (0x104).
template <class T>
PKI_ERROR fromSeqCounted(const ASN1_UNIT* node, T** out, unsigned libFunc, int least, int most) {
    Element e;
    if (node && out && asn1::elementOf(node, e)) {
        const int n = childCount(e);
        if (n >= 0 && (n < least || n > most)) return code(libFunc, ERR_R_INVALID_ELEMENT);
    }
    return asn1::Family<T>::fromSeq(node, out, libFunc);
}

}  // namespace zpki::x509v3

// The flat family of a list type LIST whose items C reads and writes:
// new_, free_, dup_ (ZPKI_V3_LIST_LIFECYCLE) and Seq_to_, _to_Seq
// (ZPKI_V3_LIST_CODEC). NEED_ONE: decoding an empty list fails with 0x2b;
// ALLOW_EMPTY: an empty list encodes as an empty SEQUENCE.
#define ZPKI_V3_LIST_LIFECYCLE(LIST, C)                                                                \
    extern "C" {                                                                                       \
    ZUNPKI_API LIST* new_##LIST(void) { return ::zpki::x509v3::ListFamily<C>::create(); }              \
    ZUNPKI_API void free_##LIST(LIST* list) { ::zpki::x509v3::ListFamily<C>::destroy(list); }          \
    ZUNPKI_API LIST* dup_##LIST(const LIST* list) { return ::zpki::x509v3::ListFamily<C>::dup(list); } \
    }

#define ZPKI_V3_LIST_CODEC(LIST, C, F_DECODE, F_ENCODE, NEED_ONE, ALLOW_EMPTY)                        \
    extern "C" {                                                                                      \
    ZUNPKI_API PKI_ERROR Seq_to_##LIST(const ASN1_UNIT* node, LIST** list) {                          \
        return ::zpki::x509v3::ListFamily<C>::decode(node, list, L_X509V3 | (F_DECODE), NEED_ONE);    \
    }                                                                                                 \
    ZUNPKI_API PKI_ERROR LIST##_to_Seq(const LIST* list, ASN1_UNIT** node) {                          \
        return ::zpki::x509v3::ListFamily<C>::encode(list, node, L_X509V3 | (F_ENCODE), ALLOW_EMPTY); \
    }                                                                                                 \
    }

#define ZPKI_V3_LIST_FAMILY(LIST, C, F_DECODE, F_ENCODE, NEED_ONE, ALLOW_EMPTY) \
    ZPKI_V3_LIST_LIFECYCLE(LIST, C)                                             \
    ZPKI_V3_LIST_CODEC(LIST, C, F_DECODE, F_ENCODE, NEED_ONE, ALLOW_EMPTY)
