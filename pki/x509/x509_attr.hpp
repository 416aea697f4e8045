// Attributes as members of other records:
//   Field<&T::signedAttrs, Optional<Implicit<0, zpki::x509::AttributesCodec>>>
#pragma once

#include "asn1/asn1_struct.hpp"
#include <zunPKI/x509/x509_attr.h>

namespace zpki::x509 {

// One value, kept with its identifier octet: a node when constructed, a
// string of its contents otherwise.
struct AttributeValue {
    using Value = X509_ATTRIBUTE_DATA*;
    static bool matches(uint8_t) { return true; }
    static bool decodeContents(const asn1::Element& e, Value& out);
    static bool encode(const Value& v, ASN1_UNIT* parent);
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) {
        free_X509_ATTRIBUTE_DATA(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) { return !from || (to = dup_X509_ATTRIBUTE_DATA(from)) != nullptr; }
    static int compare(const Value& a, const Value& b);
    // By content: signed attributes kept as received stand only while the
    // values are what was read.
    static void mark(const Value& v, asn1::Mark& m) {
        m.address(v);
        if (!v) return;
        m.word(static_cast<uint64_t>(v->tag));
        if (v->tag & 0x20)
            asn1::AnyNode::mark(static_cast<ASN1_UNIT*>(v->value), m);
        else
            m.string(static_cast<const ASN1_STRING*>(v->value));
    }
};

// SET OF value; missing entries are left out when writing.
struct AttributeValues : asn1::SetOf<AttributeValue> {
    static bool encode(const Value& v, ASN1_UNIT* parent);
};

}  // namespace zpki::x509

template <>
struct zpki::asn1::Describe<X509_ATTRIBUTE> {
    using Shape =
        Sequence<Field<&X509_ATTRIBUTE::type, Oid>, Field<&X509_ATTRIBUTE::values, zpki::x509::AttributeValues>>;
};

namespace zpki::x509 {

using AttributesCodec = asn1::SetOf<asn1::Sub<X509_ATTRIBUTE>>;

}  // namespace zpki::x509
