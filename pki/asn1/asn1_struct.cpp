// The parts of the structure machinery that are not templates: handing
// written bytes to a caller's node and reading a node's element.
#include "asn1/asn1_struct.hpp"

namespace zpki::asn1::detail {

bool deliverElement(const uint8_t* bytes, size_t n, ASN1_UNIT* target, bool asChild) {
    der::Cursor c(bytes, n);
    Element e;
    if (!der::getElement(c, e) || !c.empty()) return false;
    if (!target->tag) {
        ASN1_UNIT* made = ber::nodeFromElement(e);
        if (!made) return false;
        clean_ASN1_UNIT(target);
        *target = *made;
        PKI_FREE(made);
        return true;
    }
    if (asChild) return ber::appendEncoded(target, bytes, n);
    if (!ber::appendEncoded(target, e.contents, e.contentsSize)) return false;
    target->tag[0] = e.identifier;
    return true;
}

NodeInput::NodeInput(const ASN1_UNIT* node, bool contiguous) {
    if (!contiguous) {
        m_ok = elementOf(node, m_e);
        return;
    }
    size_t n;
    if (!ber::encodedSize(node, n) || !(m_der = newSharedDer(n))) return;
    der::Cursor c(m_der->bytes(), n);
    m_ok = ber::serializeInto(node, m_der->bytes(), n) && der::getElement(c, m_e) && c.empty();
    m_scope.emplace(m_der);
}

}  // namespace zpki::asn1::detail
