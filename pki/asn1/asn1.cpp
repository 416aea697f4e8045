// ASN.1 string values: one record for every string-like type.
#include <zunPKI/asn1/asn1.h>

#include <malloc.h>
#include <strings.h>

#include <climits>
#include <cstring>

#include <zunPKI/asn1/ber.h>
#include "asn1/ber_internal.hpp"
#include "asn1/pki_mem.hpp"

namespace {

// A new record of the given type holding a zero-terminated copy of the bytes.
ASN1_STRING* makeString(int type, const void* bytes, int len) {
    if (!bytes || len < 0 || len > INT_MAX - 1) return nullptr;
    ASN1_STRING* s = new_ASN1_STRING();
    if (!s) return nullptr;
    if (set_ASN1_STRING_value(s, type, static_cast<const unsigned char*>(bytes), len) != 0) {
        free_ASN1_STRING(s);
        return nullptr;
    }
    return s;
}

template <class Accept>
ASN1_STRING* makeChecked(int type, const void* bytes, int len, Accept accept) {
    if (!bytes || len < 0) return nullptr;
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (int i = 0; i < len; ++i)
        if (!accept(p[i])) return nullptr;
    return makeString(type, bytes, len);
}

bool isPrintable(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return std::strchr(" '()+,-./:=?", c) != nullptr && c != 0;
}

int hexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A BIT STRING record with bytes of zeros ready to be filled.
BIT_STRING* newBits(int bytes, int extra) {
    ASN1_STRING* s = new_ASN1_STRING();
    if (!s) return nullptr;
    s->data = static_cast<unsigned char*>(PKI_CALLOC(static_cast<size_t>(bytes) + 1, 1));
    if (!s->data) {
        free_ASN1_STRING(s);
        return nullptr;
    }
    s->type = ASN1_TAG_BIT_STRING;
    s->length = bytes;
    s->extra = extra;
    return s;
}

}  // namespace

namespace zpki::ber {

bool dataInline(const ASN1_STRING* s) { return s && s->data == reinterpret_cast<const unsigned char*>(s + 1); }

ASN1_STRING* newStringWithData(int type, const uint8_t* data, size_t len, int extra) {
    if (len > INT_MAX - 1 - sizeof(ASN1_STRING)) return nullptr;
    auto* s = static_cast<ASN1_STRING*>(PKI_MALLOC(sizeof(ASN1_STRING) + len + 1));
    if (!s) return nullptr;
    s->data = reinterpret_cast<unsigned char*>(s + 1);
    if (len) std::memcpy(s->data, data, len);
    s->data[len] = 0;
    s->type = type;
    s->length = static_cast<int>(len);
    s->extra = extra;
    return s;
}

}  // namespace zpki::ber

extern "C" {

ZUNPKI_API ASN1_STRING* new_ASN1_STRING(void) { return PKI_NEW(ASN1_STRING); }

ZUNPKI_API void clean_ASN1_STRING(ASN1_STRING* str) {
    if (!str) return;
    if (zpki::ber::dataInline(str)) {
        // The bytes share the record's block: wiped here, freed with it.
        const size_t room = malloc_usable_size(str) - sizeof(ASN1_STRING);
        explicit_bzero(str->data, room);
    } else {
        PKI_FREE(str->data);
    }
    std::memset(str, 0, sizeof(*str));
}

ZUNPKI_API void free_ASN1_STRING(ASN1_STRING* str) {
    if (!str) return;
    if (!zpki::ber::dataInline(str)) clean_ASN1_STRING(str);  // inline bytes go (wiped) with the block
    PKI_FREE(str);
}

ZUNPKI_API PKI_ERROR set_ASN1_STRING_value(ASN1_STRING* str, int type, const unsigned char* bytes, int len) {
    const PKI_ERROR fail = PKI_ERR(L_ASN1, F_SET_ASN1_STRING_VALUE, ERR_R_NULL_ARGUMENT);
    if (!str || len < 0 || len > INT_MAX - 1 || (len > 0 && !bytes && type != ASN1_TAG_NULL)) return fail;
    // The copy is made before the old data goes: the bytes may lie inside it,
    // and a failure leaves the record as it was.
    unsigned char* data = nullptr;
    if (type != ASN1_TAG_NULL) {
        data = static_cast<unsigned char*>(PKI_MALLOC(static_cast<size_t>(len) + 1));
        if (!data) return fail;
        if (len) std::memcpy(data, bytes, static_cast<size_t>(len));
        data[len] = 0;
    }
    clean_ASN1_STRING(str);
    str->type = type;
    if (!data) return 0;
    str->data = data;
    str->length = len;
    return 0;
}

ZUNPKI_API ASN1_STRING* dup_ASN1_STRING(const ASN1_STRING* str) {
    if (!str) return nullptr;
    if (str->type == ASN1_TAG_NULL) {
        ASN1_STRING* copy = new_ASN1_STRING();
        if (!copy) return nullptr;
        copy->type = ASN1_TAG_NULL;
        return copy;
    }
    if (!str->data || str->length < 0) return nullptr;
    return zpki::ber::newStringWithData(str->type, str->data, static_cast<size_t>(str->length), str->extra);
}

ZUNPKI_API int cmp_ASN1_STRING(const ASN1_STRING* a, const ASN1_STRING* b) {
    if (a == b) return 0;
    if (!a || !b) return a ? 1 : -1;
    if (a->length != b->length) return a->length - b->length;
    if (a->length > 0) {
        if (!a->data || !b->data) return a->data ? 1 : (b->data ? -1 : 0);
        const int c = std::memcmp(a->data, b->data, static_cast<size_t>(a->length));
        if (c) return c;
    }
    return a->type - b->type;
}

ZUNPKI_API PKI_ERROR ASN1_STRING_to_Seq(const ASN1_STRING* str, ASN1_UNIT** node) {
    if (!str || !node) return PKI_ERR(L_ASN1, F_ASN1_STRING_TO_SEQ, ERR_R_NULL_ARGUMENT);
    const int t = str->type;
    const bool empty = str->length <= 0 || !str->data;
    if (!(t == 16 || t == 17 || t == 48 || t == 49) || (empty && (t == 16 || t == 17)) || str->length < 0)
        return PKI_ERR(L_ASN1, F_ASN1_STRING_TO_SEQ, ERR_R_INVALID_ELEMENT);
    ASN1_UNIT* made = new_ASN1_UNIT();
    if (!made || !zpki::ber::setNode(made, static_cast<uint8_t>(t | 0x20), str->data, empty ? 0 : str->length, false)) {
        free_ASN1_UNIT(made);
        return PKI_ERR(L_ASN1, F_ASN1_STRING_TO_SEQ, ERR_R_ALLOC);
    }
    free_ASN1_UNIT(*node);
    *node = made;
    return 0;
}

ZUNPKI_API BIT_STRING* new_BIT_STRING(const char* bits, int len) {
    if (!bits || len < 0 || len > INT_MAX - 8) return nullptr;
    const int bytes = (len + 7) / 8;
    BIT_STRING* s = newBits(bytes, bytes * 8 - len);
    if (!s) return nullptr;
    for (int i = 0; i < len; ++i) {
        if (bits[i] != '0' && bits[i] != '1') {
            free_BIT_STRING(s);
            return nullptr;
        }
        if (bits[i] == '1') s->data[i / 8] |= static_cast<unsigned char>(0x80 >> (i % 8));
    }
    return s;
}

ZUNPKI_API BIT_STRING* hexToBIT_STRING(const char* hex, int len) {
    if (!hex || len < 0 || len > INT_MAX - 2) return nullptr;
    BIT_STRING* s = newBits((len + 1) / 2, len % 2 ? 4 : 0);
    if (!s) return nullptr;
    for (int i = 0; i < len; ++i) {
        const int v = hexValue(static_cast<unsigned char>(hex[i]));
        if (v < 0) {
            free_BIT_STRING(s);
            return nullptr;
        }
        s->data[i / 2] |= static_cast<unsigned char>(i % 2 ? v : v << 4);
    }
    return s;
}

ZUNPKI_API BIT_STRING* binaryToBIT_STRING(const unsigned char* bytes, int len) {
    return makeString(ASN1_TAG_BIT_STRING, bytes, len);
}

ZUNPKI_API PKI_ERROR addPadToBERBitString(BIT_STRING* bitString, const char* bits) {
    const PKI_ERROR fail = PKI_ERR(L_BER, F_ADD_PAD_TO_BER_BIT_STRING, ERR_INVALID_ENCODE_INPUT);
    if (!bitString || !bits || !bitString->data || bitString->length <= 0) return fail;
    const int extra = bitString->extra;
    if (extra < 0 || extra > 7 || static_cast<int>(std::strlen(bits)) != extra) return fail;
    unsigned char& last = bitString->data[bitString->length - 1];
    for (int i = 0; i < extra; ++i) {
        if (bits[i] != '0' && bits[i] != '1') return fail;
        const unsigned char bit = static_cast<unsigned char>(1u << (extra - 1 - i));
        last = static_cast<unsigned char>(bits[i] == '1' ? last | bit : last & ~bit);
    }
    return 0;
}

ZUNPKI_API OCTET_STRING* new_OCTET_STRING(const unsigned char* bytes, int len) {
    return makeString(ASN1_TAG_OCTET_STRING, bytes, len);
}

ZUNPKI_API UTF8_STRING* new_UTF8_STRING(const unsigned char* bytes, int len) {
    return makeString(ASN1_TAG_UTF8_STRING, bytes, len);
}

ZUNPKI_API OBJECT_IDENTIFIER* new_OBJECT_IDENTIFIER(const char* text, int len) {
    if (!text || len <= 0) return nullptr;
    if (text[0] == '.' || text[len - 1] == '.') return nullptr;
    for (int i = 0; i < len; ++i) {
        const char c = text[i];
        if (!(c == '.' || (c >= '0' && c <= '9'))) return nullptr;
        if (c == '.' && text[i + 1] == '.') return nullptr;
    }
    return makeString(ASN1_TAG_OBJECT_IDENTIFIER, text, len);
}

ZUNPKI_API PRINTABLE_STRING* new_PRINTABLE_STRING(const char* text, int len) {
    return makeChecked(ASN1_TAG_PRINTABLE_STRING, text, len, isPrintable);
}

ZUNPKI_API T61_STRING* new_T61_STRING(const unsigned char* bytes, int len) {
    return makeString(ASN1_TAG_T61_STRING, bytes, len);
}

ZUNPKI_API BMP_STRING* new_BMP_STRING(const unsigned char* bytes, int len) {
    return makeString(ASN1_TAG_BMP_STRING, bytes, len);
}

ZUNPKI_API IA5_STRING* new_IA5_STRING(const unsigned char* bytes, int len) {
    return makeChecked(ASN1_TAG_IA5_STRING, bytes, len, [](unsigned char c) { return c < 0x80; });
}

// Every typed string is an ASN1_STRING: its free_ and clean_ are the generic ones.
#define ZPKI_STRING_FAMILY(T)                                   \
    ZUNPKI_API void free_##T(T* str) { free_ASN1_STRING(str); } \
    ZUNPKI_API void clean_##T(T* str) { clean_ASN1_STRING(str); }
ZPKI_STRING_FAMILY(BIT_STRING)
ZPKI_STRING_FAMILY(OCTET_STRING)
ZPKI_STRING_FAMILY(OBJECT_IDENTIFIER)
ZPKI_STRING_FAMILY(UTF8_STRING)
ZPKI_STRING_FAMILY(PRINTABLE_STRING)
ZPKI_STRING_FAMILY(T61_STRING)
ZPKI_STRING_FAMILY(IA5_STRING)
ZPKI_STRING_FAMILY(BMP_STRING)
ZPKI_STRING_FAMILY(UTC_TIME)
ZPKI_STRING_FAMILY(GENERALIZED_TIME)
#undef ZPKI_STRING_FAMILY

}  // extern "C"
