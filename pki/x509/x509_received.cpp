// The DER kept from decoding a signed record, and the bytes and nodes made
// from it.
#include "x509/x509_received.hpp"

#include <zunPKI/x509/x509_name.h>
#include "x509/x509_signing.hpp"
#include <zunPKI/x509/x509v3.h>

namespace zpki::x509 {

uintptr_t extensionsMark(const STACK* list) {
    Mark m;
    m.word(addr(list));
    for (int i = 0; list && i < list->count; ++i) {
        const auto* ext = static_cast<const X509_EXTENSION*>(list->items[i]);
        m.word(addr(ext));
        if (!ext) continue;
        m.string(ext->extnID);
        m.word(static_cast<uintptr_t>(ext->critical));
        m.string(ext->extnValue);
    }
    return m.value();
}

uintptr_t nameMark(const STACK* name) {
    Mark m;
    m.word(addr(name));
    if (!name) return m.value();
    m.word(addr(name->items));
    m.word(static_cast<uintptr_t>(name->count));
    for (int i = 0; i < name->count; ++i) {
        const auto* entry = static_cast<const X509_NAME_CHILD*>(name->items[i]);
        m.word(addr(entry));
        if (!entry) continue;
        m.string(entry->type);
        m.string(entry->value);
        m.word(static_cast<uintptr_t>(entry->sameRdn));
    }
    return m.value();
}

uintptr_t publicKeyMark(const X509_PUBKEY* pk) {
    Mark m;
    m.word(addr(pk));
    if (!pk) return m.value();
    m.word(addr(pk->algorithm));
    m.word(addr(pk->subjectPublicKey));
    m.word(addr(pk->key));
    if (pk->key) {
        m.word(static_cast<uintptr_t>(pk->key->kind));
        m.word(addr(pk->key->key));
    }
    return m.value();
}

bool serializeNode(const ASN1_UNIT* node, DerBytes& out) {
    if (!ber::serialize(node, out.own)) return false;
    out.adopt();
    return true;
}

PKI_ERROR derToNode(const DerBytes& der, ASN1_UNIT** node, unsigned libFunc) {
    der::Cursor c(der.data, der.size);
    der::Element e;
    if (!der::getElement(c, e)) return static_cast<PKI_ERROR>(libFunc | ERR_ASN1_ENCODING);
    if (!*node || !(*node)->tag) {
        ASN1_UNIT* made = ber::nodeFromElement(e);
        if (!made) return static_cast<PKI_ERROR>(libFunc | ERR_R_ALLOC_3C);
        if (!*node) {
            *node = made;
        } else {
            clean_ASN1_UNIT(*node);
            **node = *made;
            PKI_FREE(made);
        }
        return 0;
    }
    asn1::Decoder d(der::Cursor(e.contents, e.contentsSize));
    while (d.more()) {
        der::Element x;
        if (!d.next(x) || !asn1::appendNode(*node, ber::nodeFromElement(x)))
            return static_cast<PKI_ERROR>(libFunc | ERR_ASN1_ENCODING);
    }
    (*node)->tag[0] = 0x30;
    return 0;
}

unsigned appendSignedParts(ASN1_UNIT* seq, const DerBytes& tbs, const OBJECT_IDENTIFIER* alg, const ASN1_STRING* params,
                           const BIT_STRING* value) {
    der::Cursor c(tbs.data, tbs.size);
    der::Element e;
    if (!der::getElement(c, e) || !asn1::appendNode(seq, ber::nodeFromElement(e)) ||
        !appendAlgorithm(seq, alg, params) || !asn1::BitString::encode(const_cast<BIT_STRING*>(value), seq))
        return ERR_ASN1_ENCODING;
    return 0;
}

bool wholeElement(const ASN1_UNIT* node, ber::Bytes& bytes, der::Element& e) {
    if (!ber::serialize(node, bytes)) return false;
    der::Cursor c(bytes.data(), bytes.size());
    return der::getElement(c, e) && c.empty();
}

}  // namespace zpki::x509
