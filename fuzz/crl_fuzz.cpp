// The CRL and trust-list decoders on arbitrary bytes: a CRL that decodes is
// copied, encoded (kept and afresh), sorted and looked up, has one
// fingerprint (its encoding reads again as the same CRL), and a signature
// value it carries decodes only from its one DER; the same bytes are also
// read as a list of CRLs, an entry list and a trust list.
#include <cstdint>
#include <cstdlib>

#include <zunPKI/asn1/ber.h>
#include <zunPKI/x509/x509.h>

#include "fuzz_util.hpp"

namespace {

void exercise(X509_CRL* crl) {
    X509_CRL* copy = dup_X509_CRL(crl);
    if (!copy) abort();
    // A CRL carries no key of its issuer to check its signature with.
    checkOneForm<X509_CRL>(crl, X509_CRL_to_Seq, Seq_to_X509_CRL, free_X509_CRL, nullptr, nullptr);
    if (const BIT_STRING* sig = crl->signatureValue) checkSignatureValue(sig->data, sig->length);
    sort_X509_CRL_revoked(crl);
    for (int i = 0; i < get_X509_REVOKED_count(crl->info); ++i) {
        const X509_REVOKED* e = get_X509_REVOKED(crl->info, i);
        get_X509_REVOKED_CRLreason(e, get_X509_REVOKED_ext_index_by_OID_index(e, 141, -1));
    }
    X509_CERT* cert = new_X509_CERT();
    BIGINT* serial = VSC_HEX_To_BIGINT("1234");
    set_X509_serial(cert, serial);
    verify_CRL_X509_CERT(crl, cert);
    VSC_Free_BIGINT(serial);
    free_X509_CERT(cert);
    encodeAndFree(X509_REVOKED_to_Seq, static_cast<const X509_CRL_INFO*>(crl->info));
    touch_X509_CRL(copy);
    encodeAndFree(X509_CRL_to_Seq, static_cast<const X509_CRL*>(copy));
    free_X509_CRL(copy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ASN1_UNIT* node = decodeToBERSequence(data, static_cast<int>(size));
    if (!node) return 0;
    X509_CRL* crl = nullptr;
    if (Seq_to_X509_CRL(node, &crl) == 0) exercise(crl);
    free_X509_CRL(crl);

    X509_CRLS* list = nullptr;
    if (Seq_to_X509_CRLS(node, &list) == 0) encodeAndFree(X509_CRLS_to_Seq, static_cast<const X509_CRLS*>(list));
    free_X509_CRLS(list);

    X509_CRL* entries = new_X509_CRL();
    Seq_to_X509_REVOKED(node, entries);
    free_X509_CRL(entries);

    CERT_TRUST_LIST* ctl = nullptr;
    if (Seq_to_CERT_TRUST_LIST(node, &ctl) == 0) {
        CERT_TRUST_LIST* copy = dup_CERT_TRUST_LIST(ctl);
        if (!copy) abort();
        encodeAndFree(CERT_TRUST_LIST_to_Seq, static_cast<const CERT_TRUST_LIST*>(copy));
        free_CERT_TRUST_LIST(copy);
    }
    free_CERT_TRUST_LIST(ctl);
    free_ASN1_UNIT(node);
    return 0;
}
