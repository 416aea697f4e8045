// Encoding values and nodes into nodes.
#include <zunPKI/asn1/ber.h>

#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "asn1/ber_internal.hpp"
#include "asn1/pki_mem.hpp"

using zpki::der::Cursor;
using zpki::der::Element;

using namespace zpki;

// ---------------------------------------------------------------------------
// Encoding.

namespace {

using zpki::ber::Bytes;

constexpr int kFnBoolean = F_ENCODE_TO_BER_BOOLEAN;

PKI_ERROR berError(unsigned func) { return PKI_ERR(L_BER, func, ERR_INVALID_ENCODE_INPUT); }

bool stringFits(const ASN1_STRING* s, int len) { return s && len >= 0 && (len == 0 || (s->data && len <= s->length)); }

// Fills an empty node with one primitive element of the given universal type
// and identifier. Returns 0 or the code of the type's encoder.
PKI_ERROR encodePrimitive(ASN1_UNIT* node, int type, uint8_t identifier, const void* value, int len, bool longForm) {
    switch (type) {
        case 1: {  // BOOLEAN: one byte, stored as given
            if (len != 1) return berError(kFnBoolean);
            return ber::setNode(node, identifier, static_cast<const uint8_t*>(value), 1, longForm)
                       ? 0
                       : berError(kFnBoolean);
        }
        case 2:
        case 10: {  // INTEGER, ENUMERATED: the big integer in exactly len bytes
            const auto* big = static_cast<const BIGINT*>(value);
            if (len == 0) return berError(F_ENCODE_TO_BER_INTEGER);
            try {
                Bytes contents(static_cast<size_t>(len));
                if (!ber::integerToContents(big, contents.data(), contents.size()))
                    return berError(F_ENCODE_TO_BER_INTEGER);
                return ber::setNode(node, identifier, contents.data(), contents.size(), longForm)
                           ? 0
                           : berError(F_ENCODE_TO_BER_INTEGER);
            } catch (const std::bad_alloc&) {
                return berError(F_ENCODE_TO_BER_INTEGER);
            }
        }
        case 3: {  // BIT STRING: unused-bits count, then the data
            const auto* s = static_cast<const ASN1_STRING*>(value);
            if (!stringFits(s, len) || s->extra < 0 || s->extra > 7 || (len == 0 && s->extra != 0))
                return berError(F_ENCODE_TO_BER_BIT_STRING);
            if (len > INT_MAX - 8) return berError(F_ENCODE_TO_BER_BIT_STRING);
            try {
                Bytes contents(static_cast<size_t>(len) + 1);
                contents[0] = static_cast<uint8_t>(s->extra);
                if (len) std::memcpy(contents.data() + 1, s->data, static_cast<size_t>(len));
                return ber::setNode(node, identifier, contents.data(), contents.size(), longForm)
                           ? 0
                           : berError(F_ENCODE_TO_BER_BIT_STRING);
            } catch (const std::bad_alloc&) {
                return berError(F_ENCODE_TO_BER_BIT_STRING);
            }
        }
        case 5:  // NULL
            if (len != 0) return berError(F_ENCODE_TO_BER_NULL);
            return ber::setNode(node, identifier, nullptr, 0, longForm) ? 0 : berError(F_ENCODE_TO_BER_NULL);
        case 6: {  // OBJECT IDENTIFIER from its dotted text
            const auto* s = static_cast<const ASN1_STRING*>(value);
            Bytes contents;
            if (!stringFits(s, len) ||
                !ber::oidTextToContents(reinterpret_cast<const char*>(s->data), static_cast<size_t>(len), contents))
                return berError(F_ENCODE_TO_BER_OBJECT_IDENTIFIER);
            return ber::setNode(node, identifier, contents.data(), contents.size(), longForm)
                       ? 0
                       : berError(F_ENCODE_TO_BER_OBJECT_IDENTIFIER);
        }
        case 23:
        case 24: {  // times: the text
            const auto* s = static_cast<const ASN1_STRING*>(value);
            if (len == 0 || !stringFits(s, len)) return berError(F_ENCODE_TO_BER_TIME);
            return ber::setNode(node, identifier, s->data, static_cast<size_t>(len), longForm)
                       ? 0
                       : berError(F_ENCODE_TO_BER_TIME);
        }
        default: {  // strings and raw contents: copied
            const auto* s = static_cast<const ASN1_STRING*>(value);
            if (!stringFits(s, len)) return berError(F_ENCODE_TO_BER_STRING);
            return ber::setNode(node, identifier, s->data, static_cast<size_t>(len), longForm)
                       ? 0
                       : berError(F_ENCODE_TO_BER_STRING);
        }
    }
}

bool isNodeTag(int tag) { return tag == 16 || tag == 17 || tag == 48 || tag == 49; }

}  // namespace

extern "C" {

ZUNPKI_API PKI_ERROR encodeToBER(ASN1_UNIT* node, int tag, const void* value, int len, int form) {
    const PKI_ERROR refused = berError(F_ENCODE_TO_BER);
    if (!node) return refused;
    if ((!value && tag != 5) || len < 0 || form < 0 || form > 2 || (form == 0 && len >= 128)) {
        clean_ASN1_UNIT(node);
        return refused;
    }
    const bool longForm = form == ASN1_LENGTH_LONG || (form == ASN1_LENGTH_INDEFINITE && len >= 128);
    PKI_ERROR rc;
    if (tag == ASN1_TAG_ANY_STRING) {
        const auto* s = static_cast<const ASN1_STRING*>(value);
        const int type = s->type;
        if (type == 2) {  // INTEGER contents held as bytes: re-encoded from their value
            if (!stringFits(s, s->length) || s->length == 0) {
                clean_ASN1_UNIT(node);
                return berError(F_ENCODE_TO_BER_INTEGER);
            }
            zpki::Owned<BIGINT, VSC_Free_BIGINT> big(VSC_Binary_To_BIGINT(nullptr, s->data, s->length));
            if (!big) {
                clean_ASN1_UNIT(node);
                return berError(F_ENCODE_TO_BER_INTEGER);
            }
            rc = encodePrimitive(node, 2, 0x02, big.get(), ber::integerContentsLength(big.get()), longForm);
        } else if (type < 0 || type > 0xff || (type & 0x1f) == 0x1f) {
            rc = refused;
        } else if (!(type & 0xe0) && type != 16 && type != 17 && type != 10) {
            // A universal type: its contents rule applies.
            if (type == 1)
                rc = stringFits(s, len) && s->data ? encodePrimitive(node, 1, 0x01, s->data, len, longForm) : refused;
            else
                rc = encodePrimitive(node, type, static_cast<uint8_t>(type), s, len, longForm);
        } else {
            // Tagged or constructed contents are kept as raw bytes.
            const uint8_t identifier = static_cast<uint8_t>(type == 16 || type == 17 ? type | 0x20 : type);
            rc = encodePrimitive(node, 4, identifier, s, len, longForm) ? berError(F_ENCODE_TO_BER_STRING) : 0;
        }
    } else if (isNodeTag(tag) || tag == ASN1_TAG_NODE) {
        ASN1_UNIT* copy = dup_ASN1_UNIT(static_cast<const ASN1_UNIT*>(value));
        if (!copy) {
            rc = refused;
        } else {
            clean_ASN1_UNIT(node);
            *node = *copy;
            PKI_FREE(copy);
            rc = 0;
        }
    } else if (tag < 1 || tag > 30) {
        rc = refused;
    } else {
        rc = encodePrimitive(node, tag, static_cast<uint8_t>(tag), value, len, longForm);
    }
    if (rc) clean_ASN1_UNIT(node);
    return rc;
}

ZUNPKI_API PKI_ERROR encodeToBER_CS(ASN1_UNIT* node, int n, int tag, const void* value, int len, int form) {
    const PKI_ERROR fail = berError(F_ENCODE_TO_BER_CS);
    if (!node) return fail;
    if (n < 0 || n > 30 || encodeToBER(node, tag, value, len, form) != 0) {
        clean_ASN1_UNIT(node);
        return fail;
    }
    node->tag[0] = static_cast<unsigned char>(0x80 | n | (node->tag[0] & 0x20));
    return 0;
}

ZUNPKI_API PKI_ERROR addToBERSequence(ASN1_UNIT* parent, int tag, void* value, int len, int form) {
    const PKI_ERROR fail = berError(F_ADD_TO_BER_SEQUENCE);
    if (!parent) {
        if (tag == ASN1_TAG_NODE) free_ASN1_UNIT(static_cast<ASN1_UNIT*>(value));
        return fail;
    }
    const ASN1_UNIT* child = nullptr;
    zpki::Owned<ASN1_UNIT, free_ASN1_UNIT> built;
    if (isNodeTag(tag) || tag == ASN1_TAG_NODE) {
        // consumed, unless it is the parent itself
        if (tag == ASN1_TAG_NODE && value != parent) built.reset(static_cast<ASN1_UNIT*>(value));
        if (!value) return fail;
        child = static_cast<const ASN1_UNIT*>(value);
    } else {
        built.reset(new_ASN1_UNIT());
        if (!built) return fail;
        const auto* s = static_cast<const ASN1_STRING*>(value);
        if (tag == ASN1_TAG_ANY_STRING && s && (isNodeTag(s->type))) {
            // Pre-encoded contents of a constructed element.
            if (form < 0 || form > 1 || !stringFits(s, len) ||
                !ber::setNode(built.get(), static_cast<uint8_t>(s->type | 0x20), s->data, static_cast<size_t>(len),
                              form == 1))
                return fail;
        } else if (encodeToBER(built.get(), tag, value, len, form) != 0) {
            return fail;
        }
        child = built.get();
    }
    if (ber::appendElement(parent, child) != 0) {
        clean_ASN1_UNIT(parent);
        return fail;
    }
    return 0;
}

}  // extern "C"

namespace {

// SEQUENCE OF / SET OF: a list element is appended; a zero length of a
// primitive type makes the parent an empty list instead.
PKI_ERROR addToList(ASN1_UNIT* parent, int tag, void* value, int len, int form, uint8_t identifier, unsigned func,
                    PKI_ERROR (*append)(ASN1_UNIT*, int, void*, int, int)) {
    if (!parent) return berError(func);
    if (isNodeTag(tag) || len != 0) return append(parent, tag, value, len, form) ? berError(func) : 0;
    static const uint8_t kNothing = 0;
    return ber::setNode(parent, identifier, &kNothing, 0, false) ? 0 : berError(func);
}

}  // namespace

extern "C" {

ZUNPKI_API PKI_ERROR addToBERSequenceOf(ASN1_UNIT* parent, int tag, void* value, int len, int form) {
    return addToList(parent, tag, value, len, form, 0x30, F_ADD_TO_BER_SEQUENCE_OF, addToBERSequence);
}

ZUNPKI_API PKI_ERROR addToBERSet(ASN1_UNIT* parent, int tag, void* value, int len, int form) {
    if (!parent || addToBERSequence(parent, tag, value, len, form) != 0) {
        clean_ASN1_UNIT(parent);
        return berError(F_ADD_TO_BER_SET);
    }
    parent->tag[0] = 0x31;
    return 0;
}

ZUNPKI_API PKI_ERROR addToBERSetOf(ASN1_UNIT* parent, int tag, void* value, int len, int form) {
    return addToList(parent, tag, value, len, form, 0x31, F_ADD_TO_BER_SET_OF, addToBERSet);
}

ZUNPKI_API PKI_ERROR addToBERSequence_CS(ASN1_UNIT* parent, int n, int tag, void* value, int len, int form) {
    if (!parent || n < 0 || n > 30 || addToBERSequence(parent, tag, value, len, form) != 0) {
        if (parent) clean_ASN1_UNIT(parent);
        return berError(F_ADD_TO_BER_SEQUENCE_CS);
    }
    parent->tag[0] = static_cast<unsigned char>(0xa0 | n);
    return 0;
}

ZUNPKI_API PKI_ERROR addToBERStringSequence(ASN1_UNIT* parent, int type, const void* value, int len, int form) {
    const PKI_ERROR fail = berError(F_ADD_TO_BER_STRING_SEQUENCE);
    if (!parent || !ber::isStringTag(type)) return fail;
    if (parent->tag) {
        if ((parent->tag[0] & 0x1f) != type) return fail;
        if (type == 3) {  // only the last segment of a bit string may be padded
            Cursor c = ber::contentsOf(parent);
            while (!c.empty()) {
                Element e;
                if (!der::getElement(c, e)) return fail;
                if (e.contentsSize < 1 || e.contents[0] != 0) return fail;
            }
        }
    }
    if (addToBERSequence(parent, type, const_cast<void*>(value), len, form) != 0) {
        clean_ASN1_UNIT(parent);
        return fail;
    }
    parent->tag[0] = static_cast<unsigned char>(type | 0x20);
    return 0;
}

}  // extern "C"
