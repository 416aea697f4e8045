// Attributes and attribute lists.
#include <zunPKI/x509/x509_attr.h>

#include <zunPKI/asn1/asn1_objects.h>
#include "x509/x509_attr.hpp"
#include "x509/x509_list.hpp"

using namespace zpki::asn1;
using zpki::Owned;

ZPKI_STRUCT_LIFECYCLE(X509_ATTRIBUTE)

namespace {

using Attribute = Sub<X509_ATTRIBUTE>;
using OwnedAttribute = Owned<X509_ATTRIBUTE, free_X509_ATTRIBUTE>;
constexpr unsigned kEncodeOne = L_X509 | F_X509_ATTRIBUTE_TO_SEQ;
constexpr unsigned kDecodeOne = L_X509 | F_SEQ_TO_X509_ATTRIBUTE;
constexpr unsigned kEncodeList = L_X509 | F_X509_ATTRIBUTES_TO_SEQ;
constexpr unsigned kDecodeList = L_X509 | F_SEQ_TO_X509_ATTRIBUTES;

bool isNodeValue(int tag) { return (tag & 0x20) != 0; }

// A value record holding a copy of value under tag.
X509_ATTRIBUTE_DATA* makeValue(int tag, const void* value) {
    if (!value || tag < 0 || tag > 0xff) return nullptr;
    auto* v = PKI_NEW(X509_ATTRIBUTE_DATA);
    if (!v) return nullptr;
    v->tag = tag;
    v->value = isNodeValue(tag) ? static_cast<void*>(dup_ASN1_UNIT(static_cast<const ASN1_UNIT*>(value)))
                                : static_cast<void*>(dup_ASN1_STRING(static_cast<const ASN1_STRING*>(value)));
    if (!v->value) {
        PKI_FREE(v);
        return nullptr;
    }
    return v;
}

bool pushValue(X509_ATTRIBUTE* a, X509_ATTRIBUTE_DATA* v) {
    if (!a->values && !(a->values = new_STACK())) return false;
    return push_STACK_value(a->values, v) != 0;
}

// Applies change to a copy of *a (or to a new attribute) and, on success,
// puts the result in its place: a caller's attribute changes only then.
template <class Change>
X509_ATTRIBUTE* fillAttribute(X509_ATTRIBUTE** a, Change change) {
    const bool intoCallers = a && *a;
    OwnedAttribute fresh(intoCallers ? dup_X509_ATTRIBUTE(*a) : new_X509_ATTRIBUTE());
    if (!fresh || !change(fresh.get())) return nullptr;
    if (intoCallers) {
        zpki::x509::moveInto<X509_ATTRIBUTE, clean_X509_ATTRIBUTE>(*a, fresh.get());
        return *a;
    }
    if (a) *a = fresh.get();
    return fresh.release();
}

// Inserts a new attribute of one value; 1 when it cannot be built or inserted.
int insertBuilt(X509_ATTRIBUTES* list, X509_ATTRIBUTE* built, int pos) {
    OwnedAttribute owned(built);
    if (!list || !owned || insert_STACK_value(list, owned.get(), pos) == 0) return 1;
    owned.release();
    return 0;
}

}  // namespace

namespace zpki::x509 {

bool AttributeValue::decodeContents(const Element& e, Value& out) {
    auto* v = PKI_NEW(X509_ATTRIBUTE_DATA);
    if (!v) return false;
    v->tag = e.identifier;
    v->value =
        e.constructed() ? static_cast<void*>(ber::nodeFromElement(e)) : ber::decodeElement(e, ASN1_TAG_ANY_STRING);
    if (!v->value) {
        PKI_FREE(v);
        return false;
    }
    out = v;
    return true;
}

bool AttributeValue::encode(const Value& v, ASN1_UNIT* parent) {
    if (!v || !v->value) return false;
    const auto id = static_cast<uint8_t>(v->tag);
    if (isNodeValue(v->tag)) {
        auto* node = static_cast<ASN1_UNIT*>(v->value);
        if (node->tag && node->tag[0] == id) return addToDERSequence(parent, ASN1_TAG_CONS_SEQUENCE, node, 0) == 0;
        // Written under the record's tag with the node's contents.
        const der::Cursor contents = ber::contentsOf(node);
        ASN1_UNIT* retagged = new_ASN1_UNIT();
        if (!retagged || !ber::setNode(retagged, id, contents.data(), contents.size(), false)) {
            free_ASN1_UNIT(retagged);
            return false;
        }
        return appendNode(parent, retagged);
    }
    ASN1_STRING s = *static_cast<const ASN1_STRING*>(v->value);  // borrowed bytes under the record's tag
    s.type = v->tag;
    return appendValue(&s, parent);
}

int AttributeValue::compare(const Value& a, const Value& b) {
    if (a == b) return 0;
    if (!a || !b) return a ? 1 : -1;
    if (a->tag != b->tag) return a->tag < b->tag ? -1 : 1;
    if (isNodeValue(a->tag))
        return AnyNode::compare(static_cast<ASN1_UNIT*>(a->value), static_cast<ASN1_UNIT*>(b->value));
    return cmp_ASN1_STRING(static_cast<const ASN1_STRING*>(a->value), static_cast<const ASN1_STRING*>(b->value));
}

bool AttributeValues::encode(const Value& v, ASN1_UNIT* parent) {
    ASN1_UNIT* set = new_ASN1_UNIT();
    static const uint8_t kNothing = 0;
    bool ok = set && ber::setNode(set, 0x31, &kNothing, 0, false);
    for (int i = 0; ok && i < zpki::x509::countOf(v); ++i) {
        auto* item = static_cast<X509_ATTRIBUTE_DATA*>(get_STACK_value(v, i));
        if (item) ok = AttributeValue::encode(item, set);
    }
    if (!ok) {
        free_ASN1_UNIT(set);
        return false;
    }
    set->tag[0] = 0x31;
    return appendNode(parent, set);
}

}  // namespace zpki::x509

extern "C" {

ZUNPKI_API X509_ATTRIBUTE_DATA* new_X509_ATTRIBUTE_DATA(void) { return PKI_NEW(X509_ATTRIBUTE_DATA); }

ZUNPKI_API void free_X509_ATTRIBUTE_DATA(X509_ATTRIBUTE_DATA* v) {
    if (!v) return;
    if (isNodeValue(v->tag))
        free_ASN1_UNIT(static_cast<ASN1_UNIT*>(v->value));
    else
        free_ASN1_STRING(static_cast<ASN1_STRING*>(v->value));
    PKI_FREE(v);
}

ZUNPKI_API X509_ATTRIBUTE_DATA* dup_X509_ATTRIBUTE_DATA(const X509_ATTRIBUTE_DATA* v) {
    if (!v) return nullptr;
    if (v->value) return makeValue(v->tag, v->value);
    X509_ATTRIBUTE_DATA* empty = new_X509_ATTRIBUTE_DATA();
    if (empty) empty->tag = v->tag;
    return empty;
}

ZUNPKI_API int set_X509_ATTRIBUTE_OID(X509_ATTRIBUTE* a, const OBJECT_IDENTIFIER* oid) {
    if (!a || !oid) return 1;
    OBJECT_IDENTIFIER* copy = dup_OBJECT_IDENTIFIER(oid);
    if (!copy) return 1;
    free_OBJECT_IDENTIFIER(a->type);
    a->type = copy;
    return 0;
}

ZUNPKI_API int add_X509_ATTRIBUTE_data(X509_ATTRIBUTE* a, int tag, const void* value) {
    if (!a) return 1;
    X509_ATTRIBUTE_DATA* v = makeValue(tag, value);
    if (!v) return 1;
    if (!pushValue(a, v)) {
        free_X509_ATTRIBUTE_DATA(v);
        return 1;
    }
    return 0;
}

ZUNPKI_API int add_X509_ATTRIBUTE_set(X509_ATTRIBUTE* a, ASN1_STRING* str) {
    if (!a || !str || str->type < 0 || str->type > 0xff) return 1;
    auto* v = PKI_NEW(X509_ATTRIBUTE_DATA);
    if (!v) return 1;
    v->tag = str->type;
    v->value = str;
    if (isNodeValue(str->type)) {
        // A constructed value is held as a node, whatever it came in.
        ASN1_UNIT* node = new_ASN1_UNIT();
        if (!node || !zpki::ber::setNode(node, static_cast<uint8_t>(str->type), str->data,
                                         str->data ? static_cast<size_t>(str->length) : 0, false)) {
            free_ASN1_UNIT(node);
            PKI_FREE(v);
            return 1;
        }
        v->value = node;
    }
    if (!pushValue(a, v)) {
        if (v->value != str) free_ASN1_UNIT(static_cast<ASN1_UNIT*>(v->value));
        PKI_FREE(v);
        return 1;
    }
    if (v->value != str) free_ASN1_STRING(str);
    return 0;
}

ZUNPKI_API OBJECT_IDENTIFIER* get_X509_ATTRIBUTE_OID(const X509_ATTRIBUTE* a) { return a ? a->type : nullptr; }

ZUNPKI_API int get_X509_ATTRIBUTE_count(const X509_ATTRIBUTE* a) { return a ? zpki::x509::countOf(a->values) : 0; }

ZUNPKI_API int get_X509_ATTRIBUTE_data_type(const X509_ATTRIBUTE* a, int index) {
    const auto* v = zpki::x509::itemAt<X509_ATTRIBUTE_DATA>(a ? a->values : nullptr, index);
    return v ? v->tag : -1;
}

ZUNPKI_API void* get_X509_ATTRIBUTE_data(const X509_ATTRIBUTE* a, int index) {
    const auto* v = zpki::x509::itemAt<X509_ATTRIBUTE_DATA>(a ? a->values : nullptr, index);
    return v ? v->value : nullptr;
}

ZUNPKI_API X509_ATTRIBUTE* create_X509_ATTRIBUTE_OID(X509_ATTRIBUTE** a, const OBJECT_IDENTIFIER* oid, int tag,
                                                     const void* value) {
    return fillAttribute(a, [&](X509_ATTRIBUTE* fresh) {
        return set_X509_ATTRIBUTE_OID(fresh, oid) == 0 && add_X509_ATTRIBUTE_data(fresh, tag, value) == 0;
    });
}

ZUNPKI_API X509_ATTRIBUTE* create_X509_ATTRIBUTE_index(X509_ATTRIBUTE** a, int row, int tag, const void* value) {
    Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER> oid(index_to_OBJECT_IDENTIFIER(row));
    return oid ? create_X509_ATTRIBUTE_OID(a, oid.get(), tag, value) : nullptr;
}

ZUNPKI_API PKI_ERROR X509_ATTRIBUTE_to_Seq(const X509_ATTRIBUTE* a, ASN1_UNIT** node) {
    return Family<X509_ATTRIBUTE>::toSeq(a, node, kEncodeOne);
}

ZUNPKI_API PKI_ERROR Seq_to_X509_ATTRIBUTE(const ASN1_UNIT* node, X509_ATTRIBUTE** a) {
    return Family<X509_ATTRIBUTE>::fromSeq(node, a, kDecodeOne);
}

ZUNPKI_API X509_ATTRIBUTES* new_X509_ATTRIBUTES(void) { return new_STACK(); }

ZUNPKI_API int free_X509_ATTRIBUTES(X509_ATTRIBUTES* list) {
    zpki::x509::freeList<X509_ATTRIBUTE, free_X509_ATTRIBUTE>(list);
    return 0;
}

ZUNPKI_API X509_ATTRIBUTES* dup_X509_ATTRIBUTES(const X509_ATTRIBUTES* list) {
    return zpki::x509::dupList<X509_ATTRIBUTE, dup_X509_ATTRIBUTE, free_X509_ATTRIBUTE>(list);
}

ZUNPKI_API int get_X509_ATTRIBUTES_count(const X509_ATTRIBUTES* list) { return zpki::x509::countOf(list); }

ZUNPKI_API X509_ATTRIBUTE* get_X509_ATTRIBUTES_child(const X509_ATTRIBUTES* list, int index) {
    return zpki::x509::itemAt<X509_ATTRIBUTE>(list, index);
}

ZUNPKI_API int get_X509_ATTRIBUTES_index_by_OID(const X509_ATTRIBUTES* list, const OBJECT_IDENTIFIER* oid,
                                                int lastpos) {
    return zpki::x509::indexByOid<X509_ATTRIBUTE, &X509_ATTRIBUTE::type>(list, oid, lastpos);
}

ZUNPKI_API int get_X509_ATTRIBUTES_index_by_OID_index(const X509_ATTRIBUTES* list, int row, int lastpos) {
    return zpki::x509::indexByRow<X509_ATTRIBUTE, &X509_ATTRIBUTE::type>(list, row, lastpos);
}

ZUNPKI_API int add_X509_ATTRIBUTES_child(X509_ATTRIBUTES* list, const X509_ATTRIBUTE* a, int pos) {
    return zpki::x509::insertCopy<X509_ATTRIBUTE, dup_X509_ATTRIBUTE, free_X509_ATTRIBUTE>(list, a, pos) ? 0 : 1;
}

ZUNPKI_API int add_X509_ATTRIBUTES_child_OID(X509_ATTRIBUTES* list, const OBJECT_IDENTIFIER* oid, int tag,
                                             const void* value, int pos) {
    return list ? insertBuilt(list, create_X509_ATTRIBUTE_OID(nullptr, oid, tag, value), pos) : 1;
}

ZUNPKI_API int add_X509_ATTRIBUTES_OID_INDEX(X509_ATTRIBUTES* list, int row, int tag, const void* value, int pos) {
    return list ? insertBuilt(list, create_X509_ATTRIBUTE_index(nullptr, row, tag, value), pos) : 1;
}

ZUNPKI_API PKI_ERROR X509_ATTRIBUTES_to_Seq(const X509_ATTRIBUTES* list, ASN1_UNIT** node) {
    return zpki::x509::encodeList<X509_ATTRIBUTE>(list, node, kEncodeList, 0x31,
                                                  [](const X509_ATTRIBUTE* a, ASN1_UNIT* target) {
                                                      ASN1_UNIT* one = nullptr;
                                                      if (const PKI_ERROR rc = X509_ATTRIBUTE_to_Seq(a, &one))
                                                          return rc;  // passes through whole
                                                      return appendNode(target, one) ? 0 : ERR_ASN1_ENCODING;
                                                  });
}

ZUNPKI_API PKI_ERROR Seq_to_X509_ATTRIBUTES(const ASN1_UNIT* node, X509_ATTRIBUTES** list) {
    return zpki::x509::decodeListInto<Attribute, X509_ATTRIBUTE, free_X509_ATTRIBUTE>(node, list, kDecodeList);
}

}  // extern "C"
