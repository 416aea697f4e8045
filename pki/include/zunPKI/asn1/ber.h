/*
 * The node tree and the BER/DER codec.
 *
 * ASN1_UNIT holds one TLV as bytes: the identifier octet, the length octets as
 * encoded and the contents octets (children stay encoded inside). Encoders
 * build a parent by appending children; decoders take a parent and fetch its
 * n-th child, converting it into a value of asn1.h or a further node.
 *
 * Tag arguments: 1-30 a universal type with its value record (BOOLEAN: a
 * pointer to one byte; INTEGER, ENUMERATED: a BIGINT; strings, OIDs, times:
 * an ASN1_STRING); 16, 17, 48, 49 an already built node; 32 an ASN1_STRING
 * whose type field gives the identifier; 33 (append only) a node the append
 * consumes. On decoding, 32 asks for any element as an ASN1_STRING and 33 for
 * a string or time element as a node.
 *
 * Limits, enforced on every input: length octets at most 4 (0x84) and no
 * length beyond INT_MAX; identifiers of one octet (tag numbers up to 30);
 * indefinite-length elements nested at most ASN1_MAX_DEPTH deep.
 */
#ifndef ZUNPKI_BER_H
#define ZUNPKI_BER_H

#include <zunCrypto/zunCrypto.h>

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>

#define ASN1_MAX_LENGTH_OCTETS 4
#define ASN1_MAX_DEPTH 64

/* Length forms. */
#define ASN1_LENGTH_SHORT 0      /* definite, one length byte */
#define ASN1_LENGTH_LONG 1       /* definite, 0x80|n and n bytes, even for short values */
#define ASN1_LENGTH_INDEFINITE 2 /* only through setBERLengthForm */

struct asn1_unit_cache_st;

/* One node; it owns its three buffers. A node whose tag is null is empty. */
typedef struct asn1_unit_st {
    unsigned char* tag;    /* one byte: the identifier octet as encoded */
    unsigned char* length; /* the length octets as encoded (0x80 alone for indefinite) */
    unsigned char* value;  /* the contents octets; for indefinite nodes followed by 00 00 */
    unsigned char* eoc;    /* indefinite nodes: the 00 00 pair at the end of value; else null */
    /* Library-private (buffer capacity, child index). Null is always valid;
     * the library drops it whenever value changes under it. */
    struct asn1_unit_cache_st* cache;
} ASN1_UNIT;

ZUNPKI_BEGIN_DECLS

/* ---- Node life cycle and length octets ---------------------------------- */
ZUNPKI_API ASN1_UNIT* new_ASN1_UNIT(void);
ZUNPKI_API void clean_ASN1_UNIT(ASN1_UNIT* node);
ZUNPKI_API void free_ASN1_UNIT(ASN1_UNIT* node);
ZUNPKI_API ASN1_UNIT* dup_ASN1_UNIT(const ASN1_UNIT* node);
ZUNPKI_API int getASN1LengthSize(const unsigned char* lengthOctets);
ZUNPKI_API int getASN1ValueLength(const ASN1_UNIT* node);
/* avail: the bytes readable from lengthOctets on (the length octets and, for
 * the indefinite form, the contents after them). -1 when they do not read. */
ZUNPKI_API int getASN1ValueLengthFromLO(const unsigned char* lengthOctets, int avail);
/* Contents of an indefinite element up to its end-of-contents pair, within
 * len bytes; -1 when no pair ends them there. */
ZUNPKI_API int getASN1IndefiniteValueLength(const unsigned char* contents, int len);
ZUNPKI_API int getASN1LengthForm(int tag, int len);
ZUNPKI_API int getSequenceChildNum(const ASN1_UNIT* node);
ZUNPKI_API int getChildType(const ASN1_UNIT* node, int index);

/* ---- BER encoding ------------------------------------------------------- */
ZUNPKI_API PKI_ERROR encodeToBER(ASN1_UNIT* node, int tag, const void* value, int len, int form);
ZUNPKI_API PKI_ERROR encodeToBER_CS(ASN1_UNIT* node, int n, int tag, const void* value, int len, int form);
ZUNPKI_API PKI_ERROR addToBERSequence(ASN1_UNIT* parent, int tag, void* value, int len, int form);
ZUNPKI_API PKI_ERROR addToBERSequenceOf(ASN1_UNIT* parent, int tag, void* value, int len, int form);
ZUNPKI_API PKI_ERROR addToBERSet(ASN1_UNIT* parent, int tag, void* value, int len, int form);
ZUNPKI_API PKI_ERROR addToBERSetOf(ASN1_UNIT* parent, int tag, void* value, int len, int form);
ZUNPKI_API PKI_ERROR addToBERSequence_CS(ASN1_UNIT* parent, int n, int tag, void* value, int len, int form);
ZUNPKI_API PKI_ERROR setBERLengthForm(ASN1_UNIT* node, int form);
ZUNPKI_API PKI_ERROR addToBERStringSequence(ASN1_UNIT* parent, int type, const void* value, int len, int form);

/* ---- DER encoding ------------------------------------------------------- */
/* Canonicalises in place: BOOLEAN true becomes 0xFF; a UTCTime with an offset
 * is rewritten as YYMMDDhhmmssZ; a UTCTime without seconds is refused. */
ZUNPKI_API PKI_ERROR checkDER(int tag, void* value, int* len);
ZUNPKI_API PKI_ERROR encodeToDER(ASN1_UNIT* node, int tag, void* value, int len);
ZUNPKI_API PKI_ERROR encodeToDER_CS(ASN1_UNIT* node, int n, int tag, void* value, int len);
ZUNPKI_API PKI_ERROR addToDERSequence(ASN1_UNIT* parent, int tag, void* value, int len);
ZUNPKI_API PKI_ERROR addToDERSequenceOf(ASN1_UNIT* parent, int tag, void* value, int len);
ZUNPKI_API PKI_ERROR addToDERSet(ASN1_UNIT* parent, int tag, void* value, int len);
ZUNPKI_API PKI_ERROR addToDERSetOf(ASN1_UNIT* parent, int tag, void* value, int len);
ZUNPKI_API PKI_ERROR addToDERSequence_CS(ASN1_UNIT* parent, int n, int tag, void* value, int len);

/* ---- Decoding ----------------------------------------------------------- */
/* Each takes one TLV starting at its identifier octet and the number of bytes
 * available there; bytes after the TLV are ignored. Null when the TLV does
 * not read within len or its contents do not make the value asked for. The
 * identifier itself is not checked: an implicitly tagged element reads as
 * the type asked for. */
ZUNPKI_API ASN1_UNIT* decodeToBERSequence(const unsigned char* bytes, int len);
ZUNPKI_API unsigned char* decodeToBERBoolean(const unsigned char* bytes, int len);
ZUNPKI_API BIGINT* decodeToBERInteger(const unsigned char* bytes, int len);
ZUNPKI_API BIGINT* decodeToBEREnumerated(const unsigned char* bytes, int len);
/* A non-null marker released with VSC_Free. */
ZUNPKI_API void* decodeToBERNull(const unsigned char* bytes, int len);
ZUNPKI_API BIT_STRING* decodeToBERBitString(const unsigned char* bytes, int len);
ZUNPKI_API OCTET_STRING* decodeToBEROctetString(const unsigned char* bytes, int len);
ZUNPKI_API OBJECT_IDENTIFIER* decodeToBERObjectIdentifier(const unsigned char* bytes, int len);
ZUNPKI_API UTF8_STRING* decodeToBERUTF8String(const unsigned char* bytes, int len);
ZUNPKI_API PRINTABLE_STRING* decodeToBERPrintableString(const unsigned char* bytes, int len);
ZUNPKI_API T61_STRING* decodeToBERT61String(const unsigned char* bytes, int len);
ZUNPKI_API IA5_STRING* decodeToBERIA5String(const unsigned char* bytes, int len);
ZUNPKI_API UTC_TIME* decodeToBERUTCTime(const unsigned char* bytes, int len);
ZUNPKI_API GENERALIZED_TIME* decodeToBERGENERALIZEDTime(const unsigned char* bytes, int len);
ZUNPKI_API BMP_STRING* decodeToBERBMPString(const unsigned char* bytes, int len);
/* Any element; type keeps the whole identifier octet. */
ZUNPKI_API ASN1_STRING* decodeToBERASN1String(const unsigned char* bytes, int len);

ZUNPKI_API ASN1_UNIT* decodeToDERSequence(const unsigned char* bytes, int len);
ZUNPKI_API unsigned char* decodeToDERBoolean(const unsigned char* bytes, int len);
ZUNPKI_API BIGINT* decodeToDERInteger(const unsigned char* bytes, int len);
ZUNPKI_API BIGINT* decodeToDEREnumerated(const unsigned char* bytes, int len);
ZUNPKI_API void* decodeToDERNull(const unsigned char* bytes, int len);
ZUNPKI_API BIT_STRING* decodeToDERBitString(const unsigned char* bytes, int len);
ZUNPKI_API OCTET_STRING* decodeToDEROctetString(const unsigned char* bytes, int len);
ZUNPKI_API OBJECT_IDENTIFIER* decodeToDERObjectIdentifier(const unsigned char* bytes, int len);
ZUNPKI_API UTF8_STRING* decodeToDERUTF8String(const unsigned char* bytes, int len);
ZUNPKI_API PRINTABLE_STRING* decodeToDERPrintableString(const unsigned char* bytes, int len);
ZUNPKI_API IA5_STRING* decodeToDERIA5String(const unsigned char* bytes, int len);
ZUNPKI_API UTC_TIME* decodeToDERUTCTime(const unsigned char* bytes, int len);
ZUNPKI_API GENERALIZED_TIME* decodeToDERGENERALIZEDTime(const unsigned char* bytes, int len);
ZUNPKI_API BMP_STRING* decodeToDERBMPString(const unsigned char* bytes, int len);
ZUNPKI_API ASN1_STRING* decodeToDERASN1String(const unsigned char* bytes, int len);

/* ---- Child access ------------------------------------------------------- */
/* The index-th child decoded as expected says (see above); null when there is
 * none or its type does not match. Context-specific and private children
 * match any expected type: implicitly tagged fields are read by asking for
 * their underlying type. After one pass over the parent, access by index is
 * constant time. */
ZUNPKI_API void* getBERChildAt(const ASN1_UNIT* parent, int index, int expected);
/* With *cursor non-zero: the child after the one at byte offset *cursor of the
 * parent's contents (index unused); with *cursor zero: the index-th child.
 * The returned child's offset is stored in *cursor. */
ZUNPKI_API void* getBERChildOffset(const ASN1_UNIT* parent, int index, int expected, int* cursor);
ZUNPKI_API void* getDERChildAt(const ASN1_UNIT* parent, int index, int expected);
ZUNPKI_API void printBERData(const ASN1_UNIT* node);
ZUNPKI_API void printDERData(const ASN1_UNIT* node);

ZUNPKI_END_DECLS

#endif
