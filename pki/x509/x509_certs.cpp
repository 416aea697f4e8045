// Certificate lists and certificate pairs.
#include <zunPKI/x509/x509_certs.h>

#include <cstdio>

#include "asn1/asn1_struct.hpp"
#include <zunPKI/x509/issuer_and_serial_number.h>
#include "x509/x509_cert.hpp"
#include "x509/x509_list.hpp"

using namespace zpki::asn1;
namespace ber = zpki::ber;
namespace der = zpki::der;
using zpki::Owned;
using zpki::x509::errorCode;

namespace {

using Cert = Owned<X509_CERT, free_X509_CERT>;
using Node = Owned<ASN1_UNIT, free_ASN1_UNIT>;

constexpr unsigned kListEncode = L_X509 | F_X509_CERTIFICATES_TO_SEQ;
constexpr unsigned kListDecode = L_X509 | F_SEQ_TO_X509_CERTIFICATES;
constexpr unsigned kPairEncode = L_X509 | F_X509_CERT_PAIR_TO_SEQ;
constexpr unsigned kPairDecode = L_X509 | F_SEQ_TO_X509_CERT_PAIR;

// A Certificate element into a new certificate; 0 or the decoder's code.
PKI_ERROR decodeCert(const der::Element& e, Cert& out, unsigned libFunc) {
    Node node(ber::nodeFromElement(e));
    if (!node) return errorCode(libFunc, ERR_R_ALLOC_3C);
    X509_CERT* made = nullptr;
    if (PKI_ERROR rc = Seq_to_X509_CERT(node.get(), &made)) return rc;
    out.reset(made);
    return 0;
}

// The Certificate inside a [n] EXPLICIT element.
bool innerCertificate(const der::Element& tagged, der::Element& cert) {
    if (!tagged.constructed()) return false;
    Decoder d(der::Cursor(tagged.contents, tagged.contentsSize));
    return d.next(cert) && !d.more() && cert.identifier == 0x30;
}

}  // namespace

extern "C" {

ZUNPKI_API X509_CERTIFICATES* new_X509_CERTIFICATES(void) { return new_STACK(); }

ZUNPKI_API void free_X509_CERTIFICATES(X509_CERTIFICATES* list) {
    zpki::x509::freeList<X509_CERT, free_X509_CERT>(list);
}

ZUNPKI_API X509_CERTIFICATES* dup_X509_CERTIFICATES(const X509_CERTIFICATES* list) {
    return zpki::x509::dupList<X509_CERT, dup_X509_CERT, free_X509_CERT>(list);
}

ZUNPKI_API int add_X509_CERTIFICATES(X509_CERTIFICATES* list, const X509_CERT* cert) {
    return zpki::x509::insertCopy<X509_CERT, dup_X509_CERT, free_X509_CERT>(list, cert, -1) ? 0 : 1;
}

ZUNPKI_API int get_X509_CERTS_index_by_X509_CERT(const X509_CERTIFICATES* list, const X509_CERT* cert) {
    const X509_NAME* issuer = get_X509_issuer(cert);
    const BIGINT* serial = get_X509_serial(cert);
    if (!list || !issuer || !serial) return -1;
    // What cert's IssuerAndSerialNumber would name.
    const ISSUER_AND_SERIAL_NUMBER ias{const_cast<X509_NAME*>(issuer), const_cast<BIGINT*>(serial)};
    for (int i = 0; i < get_STACK_count(list); ++i)
        if (cmp_ISSUER_AND_SERIAL_NUMBER(static_cast<const X509_CERT*>(get_STACK_value(list, i)), &ias) == 0) return i;
    return -1;
}

ZUNPKI_API PKI_ERROR X509_CERTIFICATES_to_Seq(const X509_CERTIFICATES* list, ASN1_UNIT** node) {
    if (!list || !node) return 1;
    return zpki::x509::encodeRecords<X509_CERT, X509_CERT_to_Seq>(list, node, kListEncode);
}

ZUNPKI_API PKI_ERROR Seq_to_X509_CERTIFICATES(const ASN1_UNIT* node, X509_CERTIFICATES** list) {
    return zpki::x509::decodeRecordsInto<X509_CERT, free_X509_CERT, Seq_to_X509_CERT>(node, list, kListDecode);
}

ZUNPKI_API int print_X509_CERTIFICATES(const X509_CERTIFICATES* list) {
    const int n = get_STACK_count(list);
    int printed = 0;
    for (int i = 0; i < n; ++i) {
        std::printf("\n\nX509_CERTS === [%d/%d]\n", i + 1, n);
        print_X509(static_cast<const X509_CERT*>(get_STACK_value(list, i)));
        ++printed;
    }
    return printed;
}

ZUNPKI_API X509_CERT_PAIR* new_X509_CERT_PAIR(void) {
    Owned<X509_CERT_PAIR, free_X509_CERT_PAIR> pair(PKI_NEW(X509_CERT_PAIR));
    if (!pair || !(pair->first = new_X509_CERT()) || !(pair->second = new_X509_CERT())) return nullptr;
    return pair.release();
}

ZUNPKI_API void free_X509_CERT_PAIR(X509_CERT_PAIR* pair) {
    if (!pair) return;
    free_X509_CERT(pair->first);
    free_X509_CERT(pair->second);
    PKI_FREE(pair);
}

ZUNPKI_API PKI_ERROR X509_CERT_PAIR_to_Seq(const X509_CERT_PAIR* pair, ASN1_UNIT** node) {
    if (!pair || !node || !pair->first || !pair->second) return errorCode(kPairEncode, ERR_R_NULL_ARGUMENT);
    ASN1_UNIT *first = nullptr, *second = nullptr;
    PKI_ERROR rc = X509_CERT_to_Seq(pair->first, &first);
    Node a(first);
    if (rc == 0) rc = X509_CERT_to_Seq(pair->second, &second);
    Node b(second);
    if (rc) return rc;
    Node made(*node ? nullptr : new_ASN1_UNIT());
    ASN1_UNIT* target = *node ? *node : made.get();
    if (!target) return errorCode(kPairEncode, ERR_R_ALLOC_3C);
    if (!appendNode(target, a.release()) || !appendNode(target, b.release()))
        return errorCode(kPairEncode, ERR_ASN1_ENCODING);
    if (made) {
        made->tag[0] = 0x30;
        *node = made.release();
    }
    return 0;
}

ZUNPKI_API PKI_ERROR Seq_to_X509_CERT_PAIR(const ASN1_UNIT* node, X509_CERT_PAIR** pair) {
    if (!node || !pair) return errorCode(kPairDecode, ERR_R_NULL_ARGUMENT);
    const PKI_ERROR bad = errorCode(kPairDecode, ERR_ASN1_DECODING);
    der::Element whole;
    if (!elementOf(node, whole) || !whole.constructed()) return bad;
    der::Element el[3];
    int n = 0;
    Decoder d(der::Cursor(whole.contents, whole.contentsSize));
    while (d.more()) {
        if (n == 3 || !d.next(el[n])) return bad;
        ++n;
    }
    der::Element certs[2];
    bool present[2] = {false, false};
    if (n > 0 && (el[0].identifier == 0xa0 || el[0].identifier == 0xa1)) {
        // The directory form: forward [0], reverse [1], each optional, in order.
        int i = 0;
        for (int which = 0; which < 2 && i < n; ++which) {
            if (el[i].identifier != (0xa0 | which)) continue;
            if (!innerCertificate(el[i++], certs[which])) return bad;
            present[which] = true;
        }
        if (i != n) return bad;
    } else {
        if (n < 2) return errorCode(kPairDecode, ERR_R_INVALID_ELEMENT);
        if (el[0].identifier != 0x30 || el[1].identifier != 0x30) return bad;
        certs[0] = el[0];
        certs[1] = el[1];
        present[0] = present[1] = true;
    }
    Cert decoded[2];
    for (int which = 0; which < 2; ++which)
        if (present[which])
            if (PKI_ERROR rc = decodeCert(certs[which], decoded[which], kPairDecode)) return rc;
    Owned<X509_CERT_PAIR, free_X509_CERT_PAIR> made(*pair ? nullptr : PKI_NEW(X509_CERT_PAIR));
    X509_CERT_PAIR* target = *pair ? *pair : made.get();
    if (!target) return errorCode(kPairDecode, ERR_R_ALLOC_3C);
    free_X509_CERT(target->first);
    free_X509_CERT(target->second);
    target->first = decoded[0].release();
    target->second = decoded[1].release();
    if (made) *pair = made.release();
    return 0;
}

}  // extern "C"
