// The PKCS#7 decoders on arbitrary bytes: a message that decodes is copied,
// compared with its copy and encoded, and a signed one is verified (over the
// content it carries, over given bytes, and over its signed attributes
// alone); the same bytes are also read as a lone SignerInfo.
#include <cstdint>
#include <cstdlib>

#include "asn1/ber.h"
#include "fuzz_util.hpp"
#include "pkcs/pkcs7.h"
#include "pkcs/pkcs7_sign.h"

namespace {

void exercise(P7_CONTENT_INFO* p7, const uint8_t* data, size_t size) {
    P7_CONTENT_INFO* copy = dup_P7_CONTENT_INFO(p7);
    if (!copy) abort();
    cmp_P7_CONTENT_INFO(p7, copy);  // not always 0: names compare by a DER that may not be written
    encodeAndFree(P7_CONTENT_INFO_to_Seq, static_cast<const P7_CONTENT_INFO*>(copy));
    verify_PKCS7(copy, nullptr, nullptr, 0);
    verify_PKCS7(copy, nullptr, data, static_cast<int>(size));
    verify_PKCS7(copy, nullptr, nullptr, -1);
    get_PKCS7_ENCRYPTED_CONTENT_length(copy);
    free_P7_CONTENT_INFO(copy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ASN1_UNIT* node = decodeToBERSequence(data, static_cast<int>(size));
    if (!node) return 0;
    P7_CONTENT_INFO* p7 = nullptr;
    if (Seq_to_P7_CONTENT_INFO(node, &p7) == 0) exercise(p7, data, size);
    free_P7_CONTENT_INFO(p7);

    P7_SIGNER_INFO* si = nullptr;
    if (Seq_to_P7_SIGNER_INFO(node, &si) == 0) encodeAndFree(P7_SIGNER_INFO_to_Seq, static_cast<const P7_SIGNER_INFO*>(si));
    free_P7_SIGNER_INFO(si);
    free_ASN1_UNIT(node);
    return 0;
}
