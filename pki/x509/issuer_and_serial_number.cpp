// IssuerAndSerialNumber and the search of a certificate list by it.
#include <zunPKI/x509/issuer_and_serial_number.h>

#include "x509/issuer_and_serial_number.hpp"

using namespace zpki::asn1;

namespace {

using Ias = zpki::asn1::Family<ISSUER_AND_SERIAL_NUMBER>;
constexpr unsigned kEncode = L_ISSUER_AND_SERIAL_NUMBER | F_ISSUER_AND_SERIAL_NUMBER_TO_SEQ;
constexpr unsigned kDecode = L_ISSUER_AND_SERIAL_NUMBER | F_SEQ_TO_ISSUER_AND_SERIAL_NUMBER;

}  // namespace

extern "C" {

ZUNPKI_API ISSUER_AND_SERIAL_NUMBER* new_ISSUER_AND_SERIAL_NUMBER(void) { return Ias::create(); }

ZUNPKI_API void free_ISSUER_AND_SERIAL_NUMBER(ISSUER_AND_SERIAL_NUMBER* ias) { Ias::destroy(ias); }

ZUNPKI_API ISSUER_AND_SERIAL_NUMBER* dup_ISSUER_AND_SERIAL_NUMBER(const ISSUER_AND_SERIAL_NUMBER* ias) {
    return Ias::dup(ias);
}

ZUNPKI_API int cmp_ISSUER_AND_SERIAL_NUMBER(const X509_CERT* cert, const ISSUER_AND_SERIAL_NUMBER* ias) {
    const BIGINT* serial = get_X509_serial(cert);
    const X509_NAME* issuer = get_X509_issuer(cert);
    if (!ias || !serial || !issuer || !ias->serialNumber || VSC_Cmp_BIGINT(serial, ias->serialNumber) != 0) return -1;
    return cmp_X509_NAME(issuer, ias->issuer);
}

ZUNPKI_API X509_CERT* find_X509_CERT_by_IssuerAndSerialNumber(const X509_CERTIFICATES* list,
                                                              const ISSUER_AND_SERIAL_NUMBER* ias) {
    if (!list || !ias) return nullptr;
    for (int i = 0; i < get_STACK_count(list); ++i) {
        auto* cert = static_cast<X509_CERT*>(get_STACK_value(list, i));
        if (cmp_ISSUER_AND_SERIAL_NUMBER(cert, ias) == 0) return cert;
    }
    return nullptr;
}

// Both members are required: a SEQUENCE with one of them names nothing.
ZUNPKI_API PKI_ERROR ISSUER_AND_SERIAL_NUMBER_to_Seq(const ISSUER_AND_SERIAL_NUMBER* ias, ASN1_UNIT** node) {
    return Ias::toSeq(ias, node, kEncode);
}

ZUNPKI_API PKI_ERROR Seq_to_ISSUER_AND_SERIAL_NUMBER(const ASN1_UNIT* node, ISSUER_AND_SERIAL_NUMBER** ias) {
    if (!node || !ias) return static_cast<PKI_ERROR>(kDecode | ERR_R_NULL_ARGUMENT);
    if (getSequenceChildNum(node) != 2) return static_cast<PKI_ERROR>(kDecode | ERR_R_INVALID_ELEMENT);
    return Ias::fromSeq(node, ias, kDecode);
}

}  // extern "C"
