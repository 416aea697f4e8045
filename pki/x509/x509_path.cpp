// What path building and validation share (x509_path.hpp), and the small
// certificate questions of the path interface.
#include "x509/x509_path.hpp"

#include <climits>
#include <cstring>

#include <zunPKI/x509/x509v3.h>

namespace zpki::x509::path {

bool oidIs(const OBJECT_IDENTIFIER* oid, const char* text) {
    const size_t n = std::strlen(text);
    return oid && oid->data && oid->length >= 0 && static_cast<size_t>(oid->length) == n &&
           std::memcmp(oid->data, text, n) == 0;
}

const X509_EXTENSION* findExtension(const X509_CERT* cert, const char* oid) {
    if (!cert || !cert->tbs) return nullptr;
    const X509_EXTENSIONS* list = cert->tbs->extensions;
    for (int i = 0; i < get_X509_EXTENSION_count(list); ++i) {
        const X509_EXTENSION* ext = get_X509_EXTENSION(list, i);
        if (!ext) return nullptr;
        if (oidIs(ext->extnID, oid)) return ext;
    }
    return nullptr;
}

bool extensionBody(const X509_EXTENSION* ext, der::Element& out) {
    if (!ext || !ext->extnValue || !ext->extnValue->data || ext->extnValue->length <= 0) return false;
    der::Cursor c(ext->extnValue->data, static_cast<size_t>(ext->extnValue->length));
    return der::getElement(c, out) && c.empty();
}

ASN1_UNIT* extensionNode(const X509_EXTENSION* ext) {
    der::Element e;
    return extensionBody(ext, e) ? ber::nodeFromElement(e) : nullptr;
}

bool smallValue(const BIGINT* v, int& out) {
    if (!v) return false;
    Owned<BIGINT, VSC_Free_BIGINT> zero(VSC_New_BIGINT());
    if (!zero || VSC_Cmp_BIGINT(v, zero.get()) < 0) return false;
    const unsigned long w = VSC_Get_BIGINT_Word(v);
    out = VSC_Get_BIGINT_Bits_Length(v) > 31 || w > static_cast<unsigned long>(INT_MAX) ? INT_MAX : static_cast<int>(w);
    return true;
}

namespace {

bool spkiDer(const X509_PUBKEY* key, ber::Bytes& out) {
    ASN1_UNIT* node = nullptr;
    if (X509_PUBKEY_to_Seq(key, &node) != 0) {
        free_ASN1_UNIT(node);
        return false;
    }
    const bool ok = ber::serialize(node, out);
    free_ASN1_UNIT(node);
    return ok;
}

}  // namespace

bool keysEqual(const X509_PUBKEY* a, const X509_PUBKEY* b) {
    if (!a || !b) return false;
    ber::Bytes da, db;
    return spkiDer(a, da) && spkiDer(b, db) && da == db;
}

bool signedByOwnKey(const X509_CERT* cert) { return verify_SIG_X509_CERT(cert, get_X509_SPKI(cert)) == 0; }

}  // namespace zpki::x509::path

extern "C" {

ZUNPKI_API int is_selfSigned(const X509_CERT* cert) {
    if (!cert || !cert->tbs) return 1;
    try {
        return zpki::x509::namesMatch(get_X509_issuer(cert), get_X509_subject(cert)) ? 0 : 1;
    } catch (const std::bad_alloc&) {
        return 1;
    }
}

ZUNPKI_API PKI_ERROR verify_X509_expireDate(const X509_CERT* cert) { return verify_X509_validity(cert, nullptr); }

}  // extern "C"
