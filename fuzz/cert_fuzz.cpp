// The certificate decoders on arbitrary bytes: a certificate that decodes is
// copied, encoded (kept and afresh), digested and checked, has one
// fingerprint (the digest of its encoding, which reads again as the same
// certificate), and a signature value it carries decodes only from its one
// DER; the same bytes are also read as a certificate list, a pair and an
// IssuerAndSerialNumber.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <zunPKI/asn1/ber.h>
#include "asn1/pki_mem.hpp"
#include <zunPKI/x509/x509.h>

#include "fuzz_util.hpp"

namespace {

void exercise(X509_CERT* cert) {
    X509_CERT* copy = dup_X509_CERT(cert);
    if (!copy) abort();
    ASN1_UNIT* kept = nullptr;
    if (X509_CERT_to_Seq(cert, &kept) != 0) abort();  // the bytes it came from always encode
    free_ASN1_UNIT(kept);
    unsigned char digest[VSC_MAX_DIGEST_LENGTH], ofBytes[VSC_MAX_DIGEST_LENGTH];
    int len = 0, bytesLen = 0;
    const std::vector<unsigned char> der = checkOneForm<X509_CERT>(
        cert, X509_CERT_to_Seq, Seq_to_X509_CERT, free_X509_CERT, verify_SIG_X509_CERT, get_X509_SPKI(cert));
    if (X509_CERT_digest(cert, VSC_DIGEST_SHA256, digest, &len) != 0 ||
        VSC_DIGEST(VSC_DIGEST_SHA256, der.data(), static_cast<int>(der.size()), ofBytes, &bytesLen) != 0 ||
        len != bytesLen || std::memcmp(digest, ofBytes, static_cast<size_t>(len)) != 0)
        abort();
    get_X509_PUBLIC_KEY_hash(cert, VSC_DIGEST_SHA1, digest);
    verify_X509_validity(cert, nullptr);
    verify_SIG_X509_CERT(cert, get_X509_SPKI(cert));
    if (const BIT_STRING* sig = cert->signatureValue) checkSignatureValue(sig->data, sig->length);
    touch_X509_CERT(copy);
    encodeAndFree(X509_CERT_to_Seq, static_cast<const X509_CERT*>(copy));
    free_X509_CERT(copy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ASN1_UNIT* node = decodeToBERSequence(data, static_cast<int>(size));
    if (!node) return 0;
    X509_CERT* cert = nullptr;
    if (Seq_to_X509_CERT(node, &cert) == 0) exercise(cert);
    free_X509_CERT(cert);

    X509_CERTIFICATES* list = nullptr;
    if (Seq_to_X509_CERTIFICATES(node, &list) == 0)
        encodeAndFree(X509_CERTIFICATES_to_Seq, static_cast<const X509_CERTIFICATES*>(list));
    free_X509_CERTIFICATES(list);

    X509_CERT_PAIR* pair = nullptr;
    if (Seq_to_X509_CERT_PAIR(node, &pair) == 0) {
        ASN1_UNIT* out = nullptr;
        X509_CERT_PAIR_to_Seq(pair, &out);
        free_ASN1_UNIT(out);
    }
    free_X509_CERT_PAIR(pair);

    ISSUER_AND_SERIAL_NUMBER* ias = nullptr;
    if (Seq_to_ISSUER_AND_SERIAL_NUMBER(node, &ias) == 0)
        encodeAndFree(ISSUER_AND_SERIAL_NUMBER_to_Seq, static_cast<const ISSUER_AND_SERIAL_NUMBER*>(ias));
    free_ISSUER_AND_SERIAL_NUMBER(ias);
    free_ASN1_UNIT(node);
    return 0;
}
