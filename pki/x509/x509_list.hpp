// The list operations that names, extension lists and attribute lists share:
// bounded access, insertion of a copy, removal, search by object identifier,
// and encoding into a caller's node or a new one.
#pragma once

#include <cstring>
#include <utility>

#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/asn1_struct.hpp"
#include "asn1/codec_util.hpp"
#include <zunPKI/asn1/stack.h>

namespace zpki::x509 {

// Number of items; 0 for a missing list.
inline int countOf(const STACK* list) { return list ? list->count : 0; }

// The item at index, or null outside 0..count-1.
template <class T>
T* itemAt(const STACK* list, int index) {
    if (!list || index < 0 || index >= list->count) return nullptr;
    return static_cast<T*>(list->items[index]);
}

// Inserts a copy of item at pos; a negative pos or one beyond the count
// appends. False (and nothing inserted) when the copy or the insertion fails.
template <class T, T* (*Dup)(const T*), void (*Free)(T*)>
bool insertCopy(STACK* list, const T* item, int pos) {
    if (!list || !item) return false;
    T* copy = Dup(item);
    if (!copy) return false;
    if (insert_STACK_value(list, copy, pos) == 0) {
        Free(copy);
        return false;
    }
    return true;
}

// Takes the item at index out of the list and hands it to the caller.
template <class T>
T* takeAt(STACK* list, int index) {
    if (!itemAt<T>(list, index)) return nullptr;
    return static_cast<T*>(remove_STACK_value(list, index));
}

// The first index from max(lastpos + 1, 0) whose object identifier equals
// oid; -1 when none does or the list is missing.
template <class T, OBJECT_IDENTIFIER* T::*Member>
int indexByOid(const STACK* list, const OBJECT_IDENTIFIER* oid, int lastpos) {
    if (!list || !oid || lastpos >= list->count) return -1;  // also keeps lastpos + 1 from overflowing
    for (int i = lastpos < 0 ? 0 : lastpos + 1; i < list->count; ++i) {
        const T* item = static_cast<const T*>(list->items[i]);
        if (item && item->*Member && cmp_OBJECT_IDENTIFIER(item->*Member, oid) == 0) return i;
    }
    return -1;
}

// The same for the object identifier of a table row; -2 when the row has
// none.
template <class T, OBJECT_IDENTIFIER* T::*Member>
int indexByRow(const STACK* list, int row, int lastpos) {
    Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER> oid(index_to_OBJECT_IDENTIFIER(row));
    if (!oid) return -2;
    return indexByOid<T, Member>(list, oid.get(), lastpos);
}

// Frees every item with Free, then the list.
template <class T, void (*Free)(T*)>
void freeList(STACK* list) {
    if (!list) return;
    for (int i = 0; i < list->count; ++i) Free(static_cast<T*>(list->items[i]));
    free_STACK(list);
}

// A new list holding a copy of every item in order; null for null or when a
// copy fails.
template <class T, T* (*Dup)(const T*), void (*Free)(T*)>
STACK* dupList(const STACK* list) {
    if (!list) return nullptr;
    STACK* copy = new_STACK();
    for (int i = 0; copy && i < list->count; ++i) {
        if (!insertCopy<T, Dup, Free>(copy, static_cast<const T*>(list->items[i]), -1)) {
            freeList<T, Free>(copy);
            copy = nullptr;
        }
    }
    return copy;
}

// Moves every item of from to the end of to and frees from. False, with both
// lists as they were, when to cannot grow.
inline bool appendAll(STACK* to, STACK* from) {
    const int before = to->count;
    for (int i = 0; i < from->count; ++i) {
        if (push_STACK_value(to, from->items[i]) == 0) {
            to->count = before;
            return false;
        }
    }
    free_STACK(from);
    return true;
}

// Encodes into *node when the caller passes one, else into a new node stored
// in *node on success. fill(target) appends the children and returns 0 or a
// reason; the target's identifier becomes `identifier`. On failure a node
// made here is freed and a caller's node is emptied.
template <class Fill>
PKI_ERROR encodeInto(ASN1_UNIT** node, unsigned libFunc, uint8_t identifier, Fill fill) {
    ASN1_UNIT* target = *node ? *node : new_ASN1_UNIT();
    if (!target) return static_cast<PKI_ERROR>(libFunc | ERR_R_ALLOC);
    int reason = fill(target);
    if (reason == 0 && !target->tag) {
        static const uint8_t kNothing = 0;
        if (!ber::setNode(target, identifier, &kNothing, 0, false)) reason = ERR_ASN1_ENCODING;
    }
    if (reason != 0) {
        if (*node)
            clean_ASN1_UNIT(target);
        else
            free_ASN1_UNIT(target);
        // Codes of an inner structure pass through whole.
        return static_cast<PKI_ERROR>(reason > 0xffff ? static_cast<unsigned>(reason)
                                                      : libFunc | static_cast<unsigned>(reason));
    }
    target->tag[0] = identifier;
    *node = target;
    return 0;
}

// A result code of libFunc (library and function bytes) with reason.
inline PKI_ERROR errorCode(unsigned libFunc, unsigned reason) { return static_cast<PKI_ERROR>(libFunc | reason); }

// Encodes a list whose items encodeItem(item, target) appends (0, a reason,
// or a whole code that passes through). A missing or empty list and a missing
// item give ERR_R_INVALID_ELEMENT.
template <class T, class EncodeItem>
PKI_ERROR encodeList(const STACK* list, ASN1_UNIT** node, unsigned libFunc, uint8_t identifier, EncodeItem encodeItem) {
    if (countOf(list) == 0) return errorCode(libFunc, ERR_R_INVALID_ELEMENT);
    if (!node) return errorCode(libFunc, ERR_R_NULL_ARGUMENT);
    return encodeInto(node, libFunc, identifier, [&](ASN1_UNIT* target) -> int {
        for (int i = 0; i < list->count; ++i) {
            const T* item = static_cast<const T*>(list->items[i]);
            if (!item) return ERR_R_INVALID_ELEMENT;
            if (const int rc = encodeItem(item, target)) return rc;
        }
        return 0;
    });
}

// Decodes the items of a constructed node with decodeItem(element, item&),
// which returns 0 or a whole code, and appends them to *list (made when
// null). The caller's list changes only on success. Reasons of libFunc:
// ERR_ASN1_DECODING for a malformed node, ERR_R_INVALID_ELEMENT for no item
// at all, ERR_STK_ERROR when the list cannot grow.
template <class T, void (*Free)(T*), class DecodeItem>
PKI_ERROR decodeItemsInto(const ASN1_UNIT* node, STACK** list, unsigned libFunc, DecodeItem decodeItem,
                          bool allowEmpty = false) {
    if (!node || !list) return errorCode(libFunc, ERR_R_NULL_ARGUMENT);
    der::Element e;
    if (!asn1::elementOf(node, e) || !e.constructed()) return errorCode(libFunc, ERR_ASN1_DECODING);
    if (e.contentsSize == 0 && !allowEmpty) return errorCode(libFunc, ERR_R_INVALID_ELEMENT);
    Owned<STACK, freeList<T, Free>> decoded(new_STACK());
    if (!decoded) return errorCode(libFunc, ERR_R_ALLOC);
    asn1::Decoder items(der::Cursor(e.contents, e.contentsSize));
    while (items.more()) {
        der::Element x;
        if (!items.next(x)) return errorCode(libFunc, ERR_ASN1_DECODING);
        T* item = nullptr;
        if (const PKI_ERROR rc = decodeItem(x, item)) {
            if (item) Free(item);
            return rc;
        }
        if (push_STACK_value(decoded.get(), item) == 0) {
            Free(item);
            return errorCode(libFunc, ERR_STK_ERROR);
        }
    }
    if (!*list) {
        *list = decoded.release();
    } else if (appendAll(*list, decoded.get())) {
        (void)decoded.release();  // the items moved, the shell freed
    } else {
        return errorCode(libFunc, ERR_STK_ERROR);
    }
    return 0;
}

// The same with the item codec C; a malformed item is ERR_ASN1_DECODING.
template <class C, class T, void (*Free)(T*)>
PKI_ERROR decodeListInto(const ASN1_UNIT* node, STACK** list, unsigned libFunc) {
    return decodeItemsInto<T, Free>(node, list, libFunc, [libFunc](const der::Element& x, T*& item) -> PKI_ERROR {
        return C::matches(x.identifier) && C::decodeContents(x, item) ? 0 : errorCode(libFunc, ERR_ASN1_DECODING);
    });
}

// Signed records (certificates, CRLs) in a list, through their flat codecs.
// Encoding: a SEQUENCE OF them; a missing or empty list or a missing item is
// ERR_R_INVALID_ELEMENT, the record encoder's codes pass through.
template <class T, PKI_ERROR (*ToSeq)(const T*, ASN1_UNIT**)>
PKI_ERROR encodeRecords(const STACK* list, ASN1_UNIT** node, unsigned libFunc) {
    return encodeList<T>(list, node, libFunc, 0x30, [](const T* item, ASN1_UNIT* target) -> int {
        ASN1_UNIT* child = nullptr;
        if (const PKI_ERROR rc = ToSeq(item, &child)) return static_cast<int>(rc);
        return asn1::appendNode(target, child) ? 0 : ERR_ASN1_ENCODING;
    });
}

// One element read by a record's flat decoder into a new record in item;
// 0, or the decoder's code as it is.
template <class T>
PKI_ERROR decodeRecord(const der::Element& x, PKI_ERROR (*fromSeq)(const ASN1_UNIT*, T**), T*& item, unsigned libFunc) {
    Owned<ASN1_UNIT, free_ASN1_UNIT> child(ber::nodeFromElement(x));
    if (!child) return errorCode(libFunc, ERR_R_ALLOC_3C);
    return fromSeq(child.get(), &item);
}

// Decoding: each child of a constructed node (SEQUENCE, SET or a tagged
// list) must be a SEQUENCE, read by FromSeq, whose codes pass through. An
// empty node is refused unless allowEmpty.
template <class T, void (*Free)(T*), PKI_ERROR (*FromSeq)(const ASN1_UNIT*, T**)>
PKI_ERROR decodeRecordsInto(const ASN1_UNIT* node, STACK** list, unsigned libFunc, bool allowEmpty = false) {
    return decodeItemsInto<T, Free>(
        node, list, libFunc,
        [libFunc](const der::Element& x, T*& item) -> PKI_ERROR {
            if (x.identifier != 0x30) return errorCode(libFunc, ERR_ASN1_DECODING);
            return decodeRecord(x, FromSeq, item, libFunc);
        },
        allowEmpty);
}

using asn1::moveInto;

// Primitive values whose string holds the contents exactly as they came
// (everything but BIT STRING and OBJECT IDENTIFIER, which are held decoded).
// They are written back verbatim: the DER encoder would re-read INTEGERs as
// magnitudes, rewrite BOOLEAN and UTCTime offsets, or refuse a value it
// would not have written itself, and a name must come back as it was read.
inline bool heldVerbatim(int type) {
    if (type < 0 || type > 0xff || (type & 0x20) != 0) return false;
    return type != ASN1_TAG_BIT_STRING && type != ASN1_TAG_OBJECT_IDENTIFIER && type != ASN1_TAG_SEQUENCE &&
           type != ASN1_TAG_SET;
}

// Appends a value held as a string: its type is the identifier octet, its
// bytes the contents.
inline bool appendValue(const ASN1_STRING* s, ASN1_UNIT* parent) {
    if (!s) return false;
    if (!heldVerbatim(s->type))
        return addToDERSequence(parent, ASN1_TAG_ANY_STRING, const_cast<ASN1_STRING*>(s), s->length) == 0;
    if (s->length < 0 || (s->length > 0 && !s->data)) return false;
    ASN1_UNIT* node = new_ASN1_UNIT();
    if (!node || !ber::setNode(node, static_cast<uint8_t>(s->type), s->data, static_cast<size_t>(s->length), false)) {
        free_ASN1_UNIT(node);
        return false;
    }
    return asn1::appendNode(parent, node);
}

// Any element as a string, written back with its contents unchanged (names'
// values, algorithm parameters).
struct ValueString : asn1::AnyString {
    static bool encode(const Value& v, ASN1_UNIT* parent) { return appendValue(v, parent); }
};

// The contents of a constructed node, element by element.
inline bool contentsDecoder(const ASN1_UNIT* node, asn1::Decoder& out) {
    der::Element e;
    if (!asn1::elementOf(node, e) || !e.constructed()) return false;
    out = asn1::Decoder(der::Cursor(e.contents, e.contentsSize));
    return true;
}

}  // namespace zpki::x509
