// The DER family: the few canonical rules the library applies, then the BER
// encoders with definite lengths.
#include <cstring>

#include "asn1/asn1_time.hpp"
#include <zunPKI/asn1/ber.h>
#include "asn1/pki_mem.hpp"

namespace {

PKI_ERROR derError(unsigned func) { return PKI_ERR(L_DER, func, ERR_INVALID_ENCODE_INPUT); }

// The length form DER needs for a value: what decides it is the length of the
// contents the value becomes.
int formFor(int tag, const void* value, int len) {
    int type = tag;
    if (tag == ASN1_TAG_ANY_STRING && value) type = static_cast<const ASN1_STRING*>(value)->type;
    return getASN1LengthForm(type == 3 ? 3 : tag, len);
}

bool isOid(int tag, const void* value) {
    return tag == ASN1_TAG_OBJECT_IDENTIFIER ||
           (tag == ASN1_TAG_ANY_STRING && value &&
            static_cast<const ASN1_STRING*>(value)->type == ASN1_TAG_OBJECT_IDENTIFIER);
}

// An identifier's dotted text is about twice as long as its contents, so the
// form chosen from the text may be long where the contents need one length
// byte: DER wants the shortest length octets (X.690 10.1).
bool shortenLength(ASN1_UNIT* node) {
    const int len = getASN1ValueLength(node);
    return len >= 128 || setBERLengthForm(node, ASN1_LENGTH_SHORT) == 0;
}

// A new node holding the identifier's element in DER, for the appenders.
ASN1_UNIT* oidElement(int tag, void* value, int len) {
    zpki::Owned<ASN1_UNIT, free_ASN1_UNIT> node(new_ASN1_UNIT());
    if (!node || encodeToBER(node.get(), tag, value, len, formFor(tag, value, len)) != 0 || !shortenLength(node.get()))
        return nullptr;
    return node.release();
}

// The BER twin of an appender with the DER length form; an identifier goes
// in as a finished DER element, which the twin consumes. (A zero length keeps
// its meaning for the list appenders: an empty list.)
template <class Append>
PKI_ERROR appendDer(Append append, ASN1_UNIT* parent, int tag, void* value, int len) {
    if (!isOid(tag, value) || len == 0) return append(parent, tag, value, len, formFor(tag, value, len));
    ASN1_UNIT* element = parent ? oidElement(tag, value, len) : nullptr;
    return element ? append(parent, ASN1_TAG_NODE, element, len, 0) : 1;
}

}  // namespace

extern "C" {

ZUNPKI_API PKI_ERROR checkDER(int tag, void* value, int* len) {
    const PKI_ERROR fail = derError(F_CHECK_DER);
    if (!len) return fail;
    if (tag == ASN1_TAG_BOOLEAN) {
        if (!value) return fail;
        auto* b = static_cast<unsigned char*>(value);
        if (*b) *b = 0xff;  // X.690 11.1
        return 0;
    }
    if (tag == ASN1_TAG_UTC_TIME) {
        auto* s = static_cast<ASN1_STRING*>(value);
        if (!s || !s->data || *len != s->length) return fail;
        // X.690 11.8: seconds present, always in UTC with Z.
        if (s->length == 13 && s->data[12] == 'Z') return 0;
        Time64_T instant;
        if (s->length != 17 || !zpki::asn1time::parseInstant(s->data, 17, false, instant)) return fail;
        struct TM utc;
        char text[24];
        if (!gmtime64_r(&instant, &utc)) return fail;
        const size_t n = zpki::asn1time::formatTime(utc, 0, UTC_TIME_YYMMDDHHMMSSZ, text);
        if (n != 13 || set_ASN1_STRING_value(s, s->type, reinterpret_cast<unsigned char*>(text), 13) != 0) return fail;
        s->extra = 1;
        *len = 13;
    }
    return 0;
}

ZUNPKI_API PKI_ERROR encodeToDER(ASN1_UNIT* node, int tag, void* value, int len) {
    if (checkDER(tag, value, &len) != 0 || encodeToBER(node, tag, value, len, formFor(tag, value, len)) != 0)
        return derError(F_ENCODE_TO_DER);
    if (isOid(tag, value) && !shortenLength(node)) {
        clean_ASN1_UNIT(node);
        return derError(F_ENCODE_TO_DER);
    }
    return 0;
}

ZUNPKI_API PKI_ERROR encodeToDER_CS(ASN1_UNIT* node, int n, int tag, void* value, int len) {
    if (checkDER(tag, value, &len) != 0 || encodeToBER_CS(node, n, tag, value, len, formFor(tag, value, len)) != 0)
        return derError(F_ENCODE_TO_DER_CS);
    if (isOid(tag, value) && !shortenLength(node)) {
        clean_ASN1_UNIT(node);
        return derError(F_ENCODE_TO_DER_CS);
    }
    return 0;
}

#define ZPKI_DER_APPENDER(name, ber, func)                                            \
    ZUNPKI_API PKI_ERROR name(ASN1_UNIT* parent, int tag, void* value, int len) {     \
        if (checkDER(tag, value, &len) != 0) {                                        \
            if (tag == ASN1_TAG_NODE) free_ASN1_UNIT(static_cast<ASN1_UNIT*>(value)); \
            return derError(func);                                                    \
        }                                                                             \
        return appendDer(ber, parent, tag, value, len) ? derError(func) : 0;          \
    }
ZPKI_DER_APPENDER(addToDERSequence, addToBERSequence, F_ADD_TO_DER_SEQUENCE)
ZPKI_DER_APPENDER(addToDERSequenceOf, addToBERSequenceOf, F_ADD_TO_DER_SEQUENCE_OF)
ZPKI_DER_APPENDER(addToDERSet, addToBERSet, F_ADD_TO_DER_SET)
ZPKI_DER_APPENDER(addToDERSetOf, addToBERSetOf, F_ADD_TO_DER_SET_OF)
#undef ZPKI_DER_APPENDER

ZUNPKI_API PKI_ERROR addToDERSequence_CS(ASN1_UNIT* parent, int n, int tag, void* value, int len) {
    if (checkDER(tag, value, &len) != 0) {
        if (tag == ASN1_TAG_NODE) free_ASN1_UNIT(static_cast<ASN1_UNIT*>(value));
        return derError(F_ADD_TO_DER_SEQUENCE_CS);
    }
    auto tagged = [n](ASN1_UNIT* p, int t, void* v, int l, int form) {
        return addToBERSequence_CS(p, n, t, v, l, form);
    };
    return appendDer(tagged, parent, tag, value, len) ? derError(F_ADD_TO_DER_SEQUENCE_CS) : 0;
}

}  // extern "C"
