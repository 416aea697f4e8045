// The certification-request decoders on arbitrary bytes: a request that
// decodes encodes back to exactly the bytes it was read from, copies to an
// equal request, verifies (or not) without harm, gives its extension
// request, and encodes afresh once its kept DER is dropped; a fresh encoding
// that decodes again gives the same bytes once more. The same bytes are read
// as an information record too.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/x509/pkcs10.h>

#include "fuzz_util.hpp"

namespace {

// The DER a request encodes to; empty when it does not encode.
std::vector<unsigned char> derOf(const PKCS10_X509_REQ* req) {
    ASN1_UNIT* node = nullptr;
    std::vector<unsigned char> out;
    if (PKCS10_X509_REQ_to_Seq(req, &node) == 0) {
        unsigned char* bytes = nullptr;
        int len = 0;
        if (encode_PKCS10_X509_REQ(node, &bytes, &len) != 0) abort();
        out.assign(bytes, bytes + len);
        VSC_FREE(bytes);
    }
    free_ASN1_UNIT(node);
    return out;
}

void exercise(PKCS10_X509_REQ* req, const std::vector<unsigned char>& input) {
    if (derOf(req) != input) abort();  // the bytes it came from, as they came
    PKCS10_X509_REQ* copy = dup_PKCS10_X509_REQ(req);
    if (!copy || cmp_PKCS10_X509_REQ(copy, req) != 0) abort();
    verify_PKCS10_X509_REQ(req);
    X509_EXTENSIONS* exts = nullptr;
    get_PKCS10_X509_REQ_Extensions(req->certificationRequestInfo, &exts);
    free_X509_EXTENSIONS(exts);
    if (const BIT_STRING* sig = req->signature) checkSignatureValue(sig->data, sig->length);
    touch_PKCS10_X509_REQ(copy);
    const std::vector<unsigned char> fresh = derOf(copy);
    free_PKCS10_X509_REQ(copy);
    if (fresh.empty()) return;
    ASN1_UNIT* node = nullptr;
    if (decode_PKCS10_X509_REQ(fresh.data(), static_cast<int>(fresh.size()), &node) != 0) abort();
    PKCS10_X509_REQ* again = nullptr;
    if (Seq_to_PKCS10_X509_REQ(node, &again) != 0) abort();  // what we write, we read
    touch_PKCS10_X509_REQ(again);
    if (derOf(again) != fresh) abort();
    free_PKCS10_X509_REQ(again);
    free_ASN1_UNIT(node);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ASN1_UNIT* node = decodeToBERSequence(data, static_cast<int>(size));
    if (!node) return 0;
    unsigned char* bytes = nullptr;
    const int len = ASN1_to_binary(node, &bytes);
    const std::vector<unsigned char> input(bytes, bytes + (len > 0 ? len : 0));
    VSC_FREE(bytes);

    PKCS10_X509_REQ* req = nullptr;
    if (Seq_to_PKCS10_X509_REQ(node, &req) == 0) exercise(req, input);
    free_PKCS10_X509_REQ(req);

    PKCS10_X509_REQ_INFO* info = nullptr;
    if (Seq_to_PKCS10_X509_REQ_INFO(node, &info) == 0) {
        PKCS10_X509_REQ_INFO* copy = dup_PKCS10_X509_REQ_INFO(info);
        if (!copy) abort();
        encodeAndFree(PKCS10_X509_REQ_INFO_to_Seq, static_cast<const PKCS10_X509_REQ_INFO*>(copy));
        free_PKCS10_X509_REQ_INFO(copy);
    }
    free_PKCS10_X509_REQ_INFO(info);
    free_ASN1_UNIT(node);
    return 0;
}
