// Distinguished names.
#include <zunPKI/x509/x509_name.h>

#include <cstring>

#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/asn1_struct.hpp"
#include "x509/x509_list.hpp"
#include "x509/x509_name.hpp"

using namespace zpki::asn1;
namespace der = zpki::der;
using zpki::Owned;

// AttributeTypeAndValue; the value keeps whatever identifier it came with.
template <>
struct zpki::asn1::Describe<X509_NAME_CHILD> {
    using Shape = Sequence<Field<&X509_NAME_CHILD::type, Oid>, Field<&X509_NAME_CHILD::value, zpki::x509::ValueString>,
                           Field<&X509_NAME_CHILD::sameRdn, NotEncoded<Boolean<1>>>>;
};
ZPKI_STRUCT_LIFECYCLE(X509_NAME_CHILD)

namespace {

using Entry = Sub<X509_NAME_CHILD>;
constexpr unsigned kEncode = L_X509 | F_X509_NAME_TO_SEQ;
constexpr unsigned kDecode = L_X509 | F_SEQ_TO_X509_NAME;

// The name's DER bytes.
bool derOf(const X509_NAME* name, zpki::ber::Bytes& out) {
    try {
        Writer w(out);
        return zpki::x509::writeName(name, w) == 0;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// The entries of one RDN SET appended to name.
bool decodeRdn(const Element& set, X509_NAME* name) {
    if (set.identifier != 0x31) return false;
    Decoder attributes(zpki::der::Cursor(set.contents, set.contentsSize));
    if (!attributes.more()) return false;
    for (bool first = true; attributes.more(); first = false) {
        Element e;
        X509_NAME_CHILD* entry = nullptr;
        if (!attributes.next(e) || !Entry::matches(e.identifier) || !Entry::decodeContents(e, entry)) return false;
        entry->sameRdn = first ? 0 : 1;
        if (push_STACK_value(name, entry) == 0) {
            free_X509_NAME_CHILD(entry);
            return false;
        }
    }
    return true;
}

}  // namespace

namespace zpki::x509 {

bool decodeNameContents(const Element& e, X509_NAME* name) {
    if (!e.constructed() || !zpki::reserveStack(name, name->count + countElements(e))) return false;
    Decoder rdns(der::Cursor(e.contents, e.contentsSize));
    while (rdns.more()) {
        Element set;
        if (!rdns.next(set) || !decodeRdn(set, name)) return false;
    }
    return true;
}

bool NameCodec::decodeContents(const Element& e, Value& out) {
    Owned<X509_NAME, free_X509_NAME> made(e.constructed() ? zpki::newStack(countElements(e)) : nullptr);
    if (!made || !decodeNameContents(e, made.get())) return false;
    out = made.release();
    return true;
}

int writeName(const X509_NAME* name, Writer& w) {
    const size_t start = w.open(0x30);
    size_t rdn = 0;
    for (int i = 0; i < name->count; ++i) {
        const auto* entry = static_cast<const X509_NAME_CHILD*>(name->items[i]);
        if (!entry) return ERR_R_INVALID_ELEMENT;
        if (!rdn || !entry->sameRdn) {
            if (rdn && !w.close(rdn)) return ERR_ASN1_ENCODING;
            rdn = w.open(0x31);
        }
        if (!Entry::write(const_cast<X509_NAME_CHILD*>(entry), w)) return ERR_ASN1_ENCODING;
    }
    if (rdn && !w.close(rdn)) return ERR_ASN1_ENCODING;
    return w.close(start) ? 0 : ERR_ASN1_ENCODING;
}

void NameCodec::mark(const Value& v, Mark& m) {
    m.address(v);
    if (!v) return;
    m.address(v->items);
    m.word(static_cast<uint64_t>(v->count));
    for (int i = 0; i < v->count; ++i) {
        const auto* entry = static_cast<const X509_NAME_CHILD*>(v->items[i]);
        m.address(entry);
        if (!entry) continue;
        m.string(entry->type);
        m.string(entry->value);
        m.word(static_cast<uint64_t>(entry->sameRdn));
    }
}

}  // namespace zpki::x509

extern "C" {

ZUNPKI_API OBJECT_IDENTIFIER* get_X509_NAME_CHILD_OID(const X509_NAME_CHILD* entry) {
    return entry ? entry->type : nullptr;
}

ZUNPKI_API ASN1_STRING* get_X509_NAME_CHILD_data(const X509_NAME_CHILD* entry) {
    return entry ? entry->value : nullptr;
}

ZUNPKI_API X509_NAME* new_X509_NAME(void) { return new_STACK(); }

ZUNPKI_API void free_X509_NAME(X509_NAME* name) { zpki::x509::freeList<X509_NAME_CHILD, free_X509_NAME_CHILD>(name); }

ZUNPKI_API X509_NAME* dup_X509_NAME(const X509_NAME* name) {
    return zpki::x509::dupList<X509_NAME_CHILD, dup_X509_NAME_CHILD, free_X509_NAME_CHILD>(name);
}

ZUNPKI_API int get_X509_NAME_count(const X509_NAME* name) { return zpki::x509::countOf(name); }

ZUNPKI_API X509_NAME_CHILD* get_X509_NAME_CHILD(const X509_NAME* name, int index) {
    return zpki::x509::itemAt<X509_NAME_CHILD>(name, index);
}

ZUNPKI_API int get_X509_NAME_index_by_OID(const X509_NAME* name, const OBJECT_IDENTIFIER* oid, int lastpos) {
    return zpki::x509::indexByOid<X509_NAME_CHILD, &X509_NAME_CHILD::type>(name, oid, lastpos);
}

ZUNPKI_API X509_NAME_CHILD* remove_X509_NAME_child(X509_NAME* name, int index) {
    X509_NAME_CHILD* taken = zpki::x509::takeAt<X509_NAME_CHILD>(name, index);
    // An attribute that shared the removed one's RDN now starts that RDN.
    X509_NAME_CHILD* next = zpki::x509::itemAt<X509_NAME_CHILD>(name, index);
    if (taken && next && !taken->sameRdn) next->sameRdn = 0;
    return taken;
}

ZUNPKI_API int add_X509_NAME_child(X509_NAME* name, const X509_NAME_CHILD* entry, int pos) {
    return zpki::x509::insertCopy<X509_NAME_CHILD, dup_X509_NAME_CHILD, free_X509_NAME_CHILD>(name, entry, pos) ? 0 : 1;
}

ZUNPKI_API int add_X509_NAME_child_OID(X509_NAME* name, const OBJECT_IDENTIFIER* oid, int type,
                                       const unsigned char* bytes, int len, int pos) {
    if (!name || !oid || (!bytes && len != 0)) return 1;
    if (len < 0) len = static_cast<int>(std::strlen(reinterpret_cast<const char*>(bytes)));
    Owned<X509_NAME_CHILD, free_X509_NAME_CHILD> entry(new_X509_NAME_CHILD());
    if (!entry || !(entry->type = dup_OBJECT_IDENTIFIER(oid)) || !(entry->value = new_ASN1_STRING()) ||
        set_ASN1_STRING_value(entry->value, type, bytes, len) != 0)
        return 1;
    return add_X509_NAME_child(name, entry.get(), pos);
}

ZUNPKI_API int add_X509_NAME_child_OID_index(X509_NAME* name, int row, int type, const unsigned char* bytes, int len,
                                             int pos) {
    Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER> oid(index_to_OBJECT_IDENTIFIER(row));
    return oid ? add_X509_NAME_child_OID(name, oid.get(), type, bytes, len, pos) : 1;
}

ZUNPKI_API PKI_ERROR X509_NAME_to_Seq(const X509_NAME* name, ASN1_UNIT** node) {
    if (!name || !node) return static_cast<PKI_ERROR>(kEncode | ERR_R_NULL_ARGUMENT);
    return deliverWritten(node, kEncode, false, [name](Writer& w) { return zpki::x509::writeName(name, w); });
}

ZUNPKI_API PKI_ERROR Seq_to_X509_NAME(const ASN1_UNIT* node, X509_NAME** name) {
    if (!node || !name) return static_cast<PKI_ERROR>(kDecode | ERR_R_NULL_ARGUMENT);
    Owned<X509_NAME, free_X509_NAME> made(new_X509_NAME());
    if (!made) return 1;
    Element e;
    if (!elementOf(node, e) || !zpki::x509::decodeNameContents(e, made.get()))
        return static_cast<PKI_ERROR>(kDecode | ERR_ASN1_DECODING);
    if (*name) {
        // The caller's name takes the new entries in place of its own.
        X509_NAME* mine = *name;
        for (int i = 0; i < mine->count; ++i) free_X509_NAME_CHILD(static_cast<X509_NAME_CHILD*>(mine->items[i]));
        std::swap(*mine, *made);
        made->count = 0;
    } else {
        *name = made.release();
    }
    return 0;
}

ZUNPKI_API int get_X509_NAME_hash(const X509_NAME* name, int digestId, unsigned char* out) {
    zpki::ber::Bytes der;
    if (!out || zpki::x509::countOf(name) == 0 || !derOf(name, der)) return -1;
    int outLen = 0;
    if (VSC_DIGEST(digestId, der.data(), static_cast<int>(der.size()), out, &outLen) != VSC_OK) return -1;
    return outLen;
}

ZUNPKI_API int cmp_X509_NAME(const X509_NAME* a, const X509_NAME* b) {
    if (!a || !b) return 1;
    if (a->count != b->count) return -1;
    zpki::ber::Bytes x, y;
    if (!derOf(a, x) || !derOf(b, y)) return 1;
    return x == y ? 0 : -1;
}

}  // extern "C"
