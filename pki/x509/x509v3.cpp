// Certificate extension lists.
#include <zunPKI/x509/x509v3.h>

#include <zunPKI/asn1/asn1_objects.h>
#include "x509/x509_list.hpp"
#include "x509/x509v3.hpp"

using namespace zpki::asn1;
using zpki::Owned;

ZPKI_STRUCT_LIFECYCLE(X509_EXTENSION)

namespace {

using Extension = Sub<X509_EXTENSION>;
using OwnedExtension = Owned<X509_EXTENSION, free_X509_EXTENSION>;
constexpr unsigned kEncode = L_X509 | F_X509_EXT_TO_SEQ;
constexpr unsigned kDecode = L_X509 | F_SEQ_TO_X509_EXT;

}  // namespace

extern "C" {

ZUNPKI_API X509_EXTENSIONS* new_X509_EXTENSIONS(void) { return new_STACK(); }

ZUNPKI_API void free_X509_EXTENSIONS(X509_EXTENSIONS* list) {
    zpki::x509::freeList<X509_EXTENSION, free_X509_EXTENSION>(list);
}

ZUNPKI_API X509_EXTENSIONS* dup_X509_EXTENSIONS(const X509_EXTENSIONS* list) {
    return zpki::x509::dupList<X509_EXTENSION, dup_X509_EXTENSION, free_X509_EXTENSION>(list);
}

ZUNPKI_API int get_X509_EXTENSION_count(const X509_EXTENSIONS* list) { return zpki::x509::countOf(list); }

ZUNPKI_API X509_EXTENSION* get_X509_EXTENSION(const X509_EXTENSIONS* list, int index) {
    return zpki::x509::itemAt<X509_EXTENSION>(list, index);
}

ZUNPKI_API X509_EXTENSION* remove_X509_EXTENSION(X509_EXTENSIONS* list, int index) {
    return zpki::x509::takeAt<X509_EXTENSION>(list, index);
}

ZUNPKI_API int get_X509_EXTENSION_index_by_OID(const X509_EXTENSIONS* list, const OBJECT_IDENTIFIER* oid, int lastpos) {
    return zpki::x509::indexByOid<X509_EXTENSION, &X509_EXTENSION::extnID>(list, oid, lastpos);
}

ZUNPKI_API int get_X509_EXTENSION_index_by_OID_index(const X509_EXTENSIONS* list, int row, int lastpos) {
    return zpki::x509::indexByRow<X509_EXTENSION, &X509_EXTENSION::extnID>(list, row, lastpos);
}

ZUNPKI_API int add_X509_EXTENSION(X509_EXTENSIONS** list, const X509_EXTENSION* ext, int pos) {
    if (!list || !ext) return 1;
    Owned<X509_EXTENSIONS, free_X509_EXTENSIONS> made(*list ? nullptr : new_X509_EXTENSIONS());
    X509_EXTENSIONS* target = *list ? *list : made.get();
    if (!zpki::x509::insertCopy<X509_EXTENSION, dup_X509_EXTENSION, free_X509_EXTENSION>(target, ext, pos)) return 1;
    if (made) *list = made.release();
    return 0;
}

ZUNPKI_API int set_X509_EXTENSION_object(X509_EXTENSION* ext, const OBJECT_IDENTIFIER* oid) {
    if (!ext || !oid) return 1;
    OBJECT_IDENTIFIER* copy = dup_OBJECT_IDENTIFIER(oid);
    if (!copy) return 1;
    free_OBJECT_IDENTIFIER(ext->extnID);
    ext->extnID = copy;
    return 0;
}

ZUNPKI_API int set_X509_EXTENSION_critical(X509_EXTENSION* ext, int flag) {
    if (!ext) return 1;
    ext->critical = flag > 0 ? -1 : 0;
    return 0;
}

ZUNPKI_API int set_X509_EXTENSION_data(X509_EXTENSION* ext, const OCTET_STRING* value) {
    if (!ext || !value || (!value->data && value->length != 0)) return 1;
    OCTET_STRING* copy = new_OCTET_STRING(value->data, value->length);
    if (!copy) return 1;
    free_OCTET_STRING(ext->extnValue);
    ext->extnValue = copy;
    return 0;
}

ZUNPKI_API X509_EXTENSION* create_X509_EXTENSION_by_OID(X509_EXTENSION** ext, const OBJECT_IDENTIFIER* oid,
                                                        int critical, const OCTET_STRING* value) {
    // Built aside, so a caller's record changes only on success.
    OwnedExtension fresh(new_X509_EXTENSION());
    if (!fresh || set_X509_EXTENSION_object(fresh.get(), oid) || set_X509_EXTENSION_critical(fresh.get(), critical) ||
        set_X509_EXTENSION_data(fresh.get(), value))
        return nullptr;
    if (ext && *ext) {
        zpki::x509::moveInto<X509_EXTENSION, clean_X509_EXTENSION>(*ext, fresh.get());
        return *ext;
    }
    if (ext) *ext = fresh.get();
    return fresh.release();
}

ZUNPKI_API X509_EXTENSION* create_X509_EXTENSION_by_OID_index(X509_EXTENSION** ext, int row, int critical,
                                                              const OCTET_STRING* value) {
    Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER> oid(index_to_OBJECT_IDENTIFIER(row));
    return oid ? create_X509_EXTENSION_by_OID(ext, oid.get(), critical, value) : nullptr;
}

ZUNPKI_API OBJECT_IDENTIFIER* get_X509_EXTENSION_object(const X509_EXTENSION* ext) {
    return ext ? ext->extnID : nullptr;
}

ZUNPKI_API OCTET_STRING* get_X509_EXTENSION_data(const X509_EXTENSION* ext) { return ext ? ext->extnValue : nullptr; }

ZUNPKI_API int get_X509_EXTENSION_critical(const X509_EXTENSION* ext) { return ext && ext->critical ? 1 : 0; }

ZUNPKI_API PKI_ERROR X509_EXTENSIONS_to_Seq(const X509_EXTENSIONS* list, ASN1_UNIT** node) {
    return zpki::x509::encodeList<X509_EXTENSION>(
        list, node, kEncode, 0x30, [](const X509_EXTENSION* ext, ASN1_UNIT* target) {
            return Extension::encode(const_cast<X509_EXTENSION*>(ext), target) ? 0 : ERR_ASN1_ENCODING;
        });
}

ZUNPKI_API PKI_ERROR Seq_to_X509_EXTENSIONS(const ASN1_UNIT* node, X509_EXTENSIONS** list) {
    return zpki::x509::decodeListInto<Extension, X509_EXTENSION, free_X509_EXTENSION>(node, list, kDecode);
}

}  // extern "C"
