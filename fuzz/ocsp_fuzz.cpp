// The OCSP decoders on arbitrary bytes, read as a request, a response, a
// basic response and their parts. A request or basic response that decodes
// encodes back to exactly the bytes it was read from and copies to the same
// bytes; its signature is checked and its nonce, list and statuses read
// without harm (a status is 0, 1 or 2); written afresh, it reads back and
// writes the same bytes again.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/pkcs/ocsp.h>

#include "fuzz_util.hpp"

namespace {

using Der = std::vector<unsigned char>;

template <class T>
Der derOf(PKI_ERROR (*encoder)(const T*, ASN1_UNIT**), const T* record) {
    ASN1_UNIT* node = nullptr;
    Der out;
    if (encoder(record, &node) == 0) {
        unsigned char* bytes = nullptr;
        const int len = ASN1_to_binary(node, &bytes);
        if (len <= 0) abort();
        out.assign(bytes, bytes + len);
        VSC_FREE(bytes);
    }
    free_ASN1_UNIT(node);
    return out;
}

// What we write we read, and write the same way again.
template <class T>
void rewrites(const Der& fresh, PKI_ERROR (*decoder)(const ASN1_UNIT*, T**),
              PKI_ERROR (*encoder)(const T*, ASN1_UNIT**), void (*touch)(T*), void (*release)(T*)) {
    if (fresh.empty()) return;
    ASN1_UNIT* node = decodeToDERSequence(fresh.data(), static_cast<int>(fresh.size()));
    if (!node) abort();
    T* again = nullptr;
    if (decoder(node, &again) != 0) abort();
    touch(again);
    if (derOf(encoder, static_cast<const T*>(again)) != fresh) abort();
    release(again);
    free_ASN1_UNIT(node);
}

void exercise(OCSP_REQUEST* req, const Der& input) {
    if (derOf(OCSP_REQUEST_to_Seq, static_cast<const OCSP_REQUEST*>(req)) != input) abort();
    OCSP_REQUEST* copy = dup_OCSP_REQUEST(req);
    if (!copy || derOf(OCSP_REQUEST_to_Seq, static_cast<const OCSP_REQUEST*>(copy)) != input) abort();
    verify_OCSP_REQUEST(req);
    if (is_OCSP_REQUEST_signature(req) != 0 && is_OCSP_REQUEST_signature(req) != 1) abort();
    unsigned char* nonce = nullptr;
    const int n = get_OCSP_REQUEST_nonce(req, &nonce);
    if (n > OCSP_MAX_NONCE_LENGTH || (n > 0) != (nonce != nullptr)) abort();
    VSC_FREE(nonce);
    for (int i = 0; i < get_OCSP_REQUEST_list_count(req); ++i) {
        OCSP_SINGLE_REQUEST* single = nullptr;
        if (get_OCSP_REQUEST_list(req, &single, i) != 0) abort();
    }
    touch_OCSP_REQUEST(copy);
    const Der fresh = derOf(OCSP_REQUEST_to_Seq, static_cast<const OCSP_REQUEST*>(copy));
    free_OCSP_REQUEST(copy);
    rewrites(fresh, Seq_to_OCSP_REQUEST, OCSP_REQUEST_to_Seq, touch_OCSP_REQUEST, free_OCSP_REQUEST);
}

void exercise(BASIC_OCSP_RESPONSE* basic, const Der& input) {
    if (derOf(BASIC_OCSP_RESPONSE_to_Seq, static_cast<const BASIC_OCSP_RESPONSE*>(basic)) != input) abort();
    BASIC_OCSP_RESPONSE* copy = dup_BASIC_OCSP_RESPONSE(basic);
    if (!copy) abort();
    static const unsigned char kNonce[] = {1, 2, 3, 4};
    verify_BASIC_OCSP_RESPONSE(basic, nullptr, kNonce, sizeof kNonce);
    const X509_CERT* embedded = static_cast<const X509_CERT*>(get_STACK_value(basic->certs, 0));
    if (embedded) verify_BASIC_OCSP_RESPONSE(basic, embedded, nullptr, 0);
    for (int i = 0; i < get_CERT_STATUS_count_from_OCSP_RESPONSE(basic); ++i) {
        int reason = 0;
        const int status = get_CERT_STATUS_from_OCSP_RESPONSE_index(basic, i, &reason);
        if (status < 0 || status > 2) abort();
    }
    if (embedded) {
        const int status = get_CERT_STATUS_from_OCSP_RESPONSE_Ex(basic, embedded, embedded, nullptr);
        if (status < 0 || status > 2) abort();
        get_CERT_STATUS_from_OCSP_RESPONSE(basic, embedded, nullptr);
    }
    touch_BASIC_OCSP_RESPONSE(copy);
    const Der fresh = derOf(BASIC_OCSP_RESPONSE_to_Seq, static_cast<const BASIC_OCSP_RESPONSE*>(copy));
    free_BASIC_OCSP_RESPONSE(copy);
    rewrites(fresh, Seq_to_BASIC_OCSP_RESPONSE, BASIC_OCSP_RESPONSE_to_Seq, touch_BASIC_OCSP_RESPONSE,
             free_BASIC_OCSP_RESPONSE);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ASN1_UNIT* node = decodeToBERSequence(data, static_cast<int>(size));
    if (!node) return 0;
    unsigned char* bytes = nullptr;
    const int len = ASN1_to_binary(node, &bytes);
    const Der input(bytes, bytes + (len > 0 ? len : 0));
    VSC_FREE(bytes);

    OCSP_REQUEST* req = nullptr;
    if (Seq_to_OCSP_REQUEST(node, &req) == 0) exercise(req, input);
    free_OCSP_REQUEST(req);

    OCSP_RESPONSE* response = nullptr;
    if (Seq_to_OCSP_RESPONSE(node, &response) == 0) {
        encodeAndFree(OCSP_RESPONSE_to_Seq, static_cast<const OCSP_RESPONSE*>(response));
        BASIC_OCSP_RESPONSE* basic = get_BASIC_OCSP_RESPONSE(response->responseBytes);
        if (basic) {
            const OCTET_STRING* inner = response->responseBytes->response;
            ASN1_UNIT* innerNode = decodeToBERSequence(inner->data, inner->length);
            unsigned char* innerBytes = nullptr;
            const int innerLen = ASN1_to_binary(innerNode, &innerBytes);
            exercise(basic, Der(innerBytes, innerBytes + (innerLen > 0 ? innerLen : 0)));
            VSC_FREE(innerBytes);
            free_ASN1_UNIT(innerNode);
        }
        free_BASIC_OCSP_RESPONSE(basic);
    }
    free_OCSP_RESPONSE(response);

    BASIC_OCSP_RESPONSE* basic = nullptr;
    if (Seq_to_BASIC_OCSP_RESPONSE(node, &basic) == 0) exercise(basic, input);
    free_BASIC_OCSP_RESPONSE(basic);

    OCSP_SINGLE_RESPONSE* single = nullptr;
    if (Seq_to_OCSP_SINGLE_RESPONSE(node, &single) == 0)
        encodeAndFree(OCSP_SINGLE_RESPONSE_to_Seq, static_cast<const OCSP_SINGLE_RESPONSE*>(single));
    free_OCSP_SINGLE_RESPONSE(single);
    free_ASN1_UNIT(node);
    return 0;
}
