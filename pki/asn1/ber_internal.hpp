// Internal pieces of the node tree and codec shared by the value types, the
// structure templates and the tests.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include <zunPKI/asn1/ber.h>
#include "asn1/der_cursor.hpp"
#include "asn1/pki_mem.hpp"

// Library-private state of a node: the capacity of its value buffer and an
// index of its children, each valid only for the buffer and contents length
// it was made for.
struct asn1_unit_cache_st {
    const unsigned char* buf = nullptr;  // the value buffer the capacity belongs to
    size_t capacity = 0;
    const unsigned char* indexedBuf = nullptr;
    int indexedLength = -1;
    bool truncated = false;    // the contents stop being readable after the last offset
    bool unsupported = false;  // a child carries a universal type the library does not handle
    std::vector<uint32_t, zpki::VscAllocator<uint32_t>> offsets;
};

namespace zpki::ber {

using Bytes = std::vector<uint8_t, VscAllocator<uint8_t>>;

// The universal string and time types (BIT, OCTET, UTF8, Printable, T61,
// IA5, UTC and Generalized, BMP).
bool isStringTag(int t);

// Longest dotted text of an object identifier.
constexpr size_t kMaxOidText = 99;

// X.690 8.19: dotted text to contents octets. Arcs are decimal numbers of at
// most 64 bits, no empty or non-digit arc, at least two arcs, the first 0-2
// and under 0 or 1 the second below 40.
bool oidTextToContents(const char* text, size_t len, Bytes& out);
// X.690 8.19: contents octets to dotted text of at most kMaxOidText characters.
bool oidContentsToText(const uint8_t* contents, size_t len, Bytes& text);
// The text of contents that name a row of the identifier table (false for
// others: convert those).
bool knownOidText(const uint8_t* contents, size_t len, std::string_view& text);
// The same into text, room for kMaxOidText characters; n is the count.
bool oidContentsToText(const uint8_t* contents, size_t len, char* text, size_t& n);

// X.690 8.3: two's complement contents. Minimal contents of a value, and its
// contents written right-aligned into exactly len bytes (false when they do
// not fit).
int integerContentsLength(const BIGINT* value);
bool integerToContents(const BIGINT* value, uint8_t* out, size_t len);
BIGINT* integerFromContents(const uint8_t* contents, size_t len);

// A string record whose data lies in the same block, after the record (one
// block where a decoded string took two); clean_ASN1_STRING and
// set_ASN1_STRING_value know it. Code that grows a string's data in place
// checks dataInline first.
ASN1_STRING* newStringWithData(int type, const uint8_t* data, size_t len, int extra);
bool dataInline(const ASN1_STRING* s);

// The node's contents (without an end-of-contents pair) as a cursor.
der::Cursor contentsOf(const ASN1_UNIT* node);
// The index-th child of a node, through its child index.
bool childElement(const ASN1_UNIT* node, int index, der::Element& out);
// The byte offset of a child inside the node's contents.
bool childIndexAtOffset(const ASN1_UNIT* node, size_t offset, int& index);

// A new node holding a copy of one element.
ASN1_UNIT* nodeFromElement(const der::Element& e);
// Fills an empty node with identifier, definite length and contents.
bool setNode(ASN1_UNIT* node, uint8_t identifier, const uint8_t* contents, size_t len, bool longForm);
// Appends a whole element's bytes to the parent's contents.
PKI_ERROR appendElement(ASN1_UNIT* parent, const ASN1_UNIT* child);
// Appends encoded elements to the parent's contents (an empty parent becomes
// a SEQUENCE).
bool appendEncoded(ASN1_UNIT* parent, const uint8_t* bytes, size_t n);
// The size of a node's whole encoding, and the encoding written into out.
bool encodedSize(const ASN1_UNIT* node, size_t& total);
bool serializeInto(const ASN1_UNIT* node, uint8_t* out, size_t room);

// The value getBERChildAt hands out for an element and an expected type.
void* decodeElement(const der::Element& e, int expected);
// The contents of a string element; a constructed string (X.690 8.7.3.2,
// 8.6.3) is joined from its segments.
bool stringContents(const der::Element& e, Bytes& out, int& unusedBits, bool bitString);

}  // namespace zpki::ber

namespace zpki::ber {
// The node's whole encoding: identifier, length octets, contents and, for an
// indefinite node, its end-of-contents pair. False for an empty node.
bool serialize(const ASN1_UNIT* node, Bytes& out);
}  // namespace zpki::ber
