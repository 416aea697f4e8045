// The PKCS#7 decoders on arbitrary bytes: a message that decodes is copied,
// compared with its copy and encoded, a signed one is verified (over the
// content it carries, over given bytes, and over its signed attributes
// alone), a signature value in a SignerInfo decodes only from its one DER,
// and an encrypted one is decrypted under a fixed key (the cipher, the IV and
// the lengths come from the bytes); the same bytes are also read as a lone
// SignerInfo.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/asn1/ber.h>
#include "fuzz_util.hpp"
#include <zunPKI/pkcs/pkcs7.h>
#include <zunPKI/pkcs/pkcs7_env.h>
#include <zunPKI/pkcs/pkcs7_sign.h>

namespace {

// Every signature of the message's SignerInfos.
void checkSignatures(const P7_CONTENT_INFO* p7) {
    const int type = index_from_OBJECT_IDENTIFIER(p7->contentType);
    STACK* signers = nullptr;
    if (type == P7_SIGNED_DATA_TYPE && p7->content)
        signers = static_cast<const P7_SIGNED_DATA*>(p7->content)->signerInfos;
    else if (type == P7_SIGNED_AND_ENVELOPED_DATA_TYPE && p7->content)
        signers = static_cast<const P7_SIGNED_AND_ENVELOPED_DATA*>(p7->content)->signerInfos;
    for (int i = 0; i < get_STACK_count(signers); ++i) {
        const auto* si = static_cast<const P7_SIGNER_INFO*>(get_STACK_value(signers, i));
        if (si && si->encryptedDigest) checkSignatureValue(si->encryptedDigest->data, si->encryptedDigest->length);
    }
}

void exercise(P7_CONTENT_INFO* p7, const uint8_t* data, size_t size) {
    P7_CONTENT_INFO* copy = dup_P7_CONTENT_INFO(p7);
    if (!copy) abort();
    checkSignatures(p7);
    cmp_P7_CONTENT_INFO(p7, copy);  // not always 0: names compare by a DER that may not be written
    encodeAndFree(P7_CONTENT_INFO_to_Seq, static_cast<const P7_CONTENT_INFO*>(copy));
    verify_PKCS7(copy, nullptr, nullptr, 0);
    verify_PKCS7(copy, nullptr, data, static_cast<int>(size));
    verify_PKCS7(copy, nullptr, nullptr, -1);
    const int length = get_PKCS7_ENCRYPTED_CONTENT_length(copy);
    if (length >= 0) {
        static const unsigned char key[64] = {};  // longer than any cipher's key
        std::vector<char> out(static_cast<size_t>(length) + 64);
        int room = static_cast<int>(out.size());
        decrypt_PKCS7(copy, key, nullptr, out.data(), &room);
        room = static_cast<int>(out.size());
        verify_decrypt_PKCS7(copy, nullptr, key, out.data(), &room);
    }
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
    if (Seq_to_P7_SIGNER_INFO(node, &si) == 0) {
        if (si->encryptedDigest) checkSignatureValue(si->encryptedDigest->data, si->encryptedDigest->length);
        encodeAndFree(P7_SIGNER_INFO_to_Seq, static_cast<const P7_SIGNER_INFO*>(si));
    }
    free_P7_SIGNER_INFO(si);
    free_ASN1_UNIT(node);
    return 0;
}
