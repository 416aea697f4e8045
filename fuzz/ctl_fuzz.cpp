// Signed trust-list intake on arbitrary bytes: a message that decodes is
// verified, its anchors taken into a list that trusts every self-issued
// certificate it carries, and its certificates copied. Anchors come only
// from a message that verifies, and a refused intake leaves the list as it
// was.
#include <cstdint>
#include <cstdlib>

#include <zunPKI/asn1/ber.h>
#include <zunPKI/pkcs/ctl_signed.h>
#include <zunPKI/pkcs/pkcs7.h>
#include <zunPKI/x509/certpath.h>

namespace {

void exercise(const P7_CONTENT_INFO* p7) {
    const PKI_ERROR verified = verify_ctlSignedData(p7);
    TRUST_ANCHORS* anchors = new_TRUST_ANCHORS();
    STACK* certs = new_X509_CERTIFICATES();
    if (!anchors || !certs) abort();
    if (add_CERTIFICATES_from_CTL(certs, p7) == 0) {
        for (int i = 0; i < get_STACK_count(certs); ++i) {
            const auto* c = static_cast<const X509_CERT*>(get_STACK_value(certs, i));
            if (is_selfSigned(c) != 0) continue;
            TRUST_ANCHOR a{get_X509_subject(c), get_X509_SPKI(c)};
            add_TRUST_ANCHORS(anchors, &a);
        }
    }
    const int before = get_STACK_count(anchors);
    const PKI_ERROR taken = add_TRUST_ANCHORS_from_CTL(anchors, p7);
    if (taken == 0 && verified != 0) abort();                       // anchors from a list that does not verify
    if (taken != 0 && get_STACK_count(anchors) != before) abort();  // a refused intake changed the list
    if (taken == 0 && get_STACK_count(anchors) - before > get_STACK_count(certs)) abort();
    free_TRUST_ANCHORS(anchors);
    free_X509_CERTIFICATES(certs);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ASN1_UNIT* node = decodeToBERSequence(data, static_cast<int>(size));
    if (!node) return 0;
    P7_CONTENT_INFO* p7 = nullptr;
    if (Seq_to_P7_CONTENT_INFO(node, &p7) == 0) exercise(p7);
    free_P7_CONTENT_INFO(p7);
    free_ASN1_UNIT(node);
    return 0;
}
