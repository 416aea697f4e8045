// The CMS decoders on arbitrary bytes: a message that decodes is copied and
// compared with its copy; what it encodes to decodes again and encodes to
// the same bytes; a signed one is verified (over the content it carries,
// over given bytes, under its first certificate) and each signature value
// decodes only from its one DER; an enveloped or encrypted one is decrypted
// under a fixed content key, and its content key under a fixed RSA key for
// the recipient its first RecipientInfo names (the cipher, IV and lengths
// come from the bytes). The same bytes are also read as a lone SignerInfo.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/pkcs/cms.h>
#include <zunPKI/pkcs/cms_env.h>
#include <zunPKI/pkcs/cms_sign.h>

#include "fuzz_util.hpp"

namespace {

using Der = std::vector<unsigned char>;

Der derOf(const CMS_CONTENT_INFO* cms) {
    ASN1_UNIT* node = nullptr;
    Der out;
    if (CMS_CONTENT_INFO_to_Seq(cms, &node) == 0) {
        unsigned char* bytes = nullptr;
        const int len = ASN1_to_binary(node, &bytes);
        if (len <= 0) abort();
        out.assign(bytes, bytes + len);
        VSC_FREE(bytes);
    }
    free_ASN1_UNIT(node);
    return out;
}

// A private RSA key made once, for the content keys.
const ASYMMETRIC_KEY* fixedKey() {
    static ASYMMETRIC_KEY* key = [] {
        ASYMMETRIC_KEY* k = new_ASYMMETRIC_KEY();
        RSA_UNIT* rsa = VSC_New_RSA();
        if (!k || !rsa || VSC_Generate_RSA_Params_Ex(rsa, 0, 1024, 0) != 0) abort();
        k->kind = ASYMMETRIC_KEY_RSA;
        k->key = rsa;
        return k;
    }();
    return key;
}

void checkSigned(CMS_CONTENT_INFO* cms, const uint8_t* data, size_t size) {
    const auto* sd = static_cast<const CMS_SIGNED_DATA*>(cms->content);
    for (int i = 0; i < get_STACK_count(sd->signerInfos); ++i) {
        const auto* si = static_cast<const CMS_SIGNER_INFO*>(get_STACK_value(sd->signerInfos, i));
        if (si && si->signature) checkSignatureValue(si->signature->data, si->signature->length);
    }
    verify_CMS(cms, nullptr, nullptr, 0);
    verify_CMS(cms, nullptr, data, static_cast<int>(size));
    if (const auto* first = static_cast<const X509_CERT*>(get_STACK_value(sd->certificates, 0)))
        verify_CMS(cms, first, data, static_cast<int>(size));
}

void checkEnveloped(CMS_CONTENT_INFO* cms, const CMS_ENCRYPTED_CONTENT_INFO* eci, const STACK* recipients) {
    static const unsigned char key[64] = {};  // longer than any cipher's key
    const int length = eci && eci->encryptedContent ? eci->encryptedContent->length : 0;
    std::vector<unsigned char> out(static_cast<size_t>(length) + 64);
    int room = static_cast<int>(out.size());
    if (decrypt_CMS(cms, key, nullptr, out.data(), &room) == 0 && (room < 0 || room > length)) abort();
    const auto* ri = static_cast<const CMS_RECIPIENT_INFO*>(get_STACK_value(recipients, 0));
    const RECIPIENT_IDENTIFIER* rid = ri && ri->ktri ? ri->ktri->rid : nullptr;
    if (!rid || rid->type != CMS_ID_ISSUER_AND_SERIAL || !rid->issuerAndSerialNumber) return;
    X509_CERT* cert = new_X509_CERT();
    if (set_X509_issuer(cert, rid->issuerAndSerialNumber->issuer) == 0 &&
        set_X509_serial(cert, rid->issuerAndSerialNumber->serialNumber) == 0) {
        unsigned char cek[64];
        int cekLen = sizeof cek;
        if (decrypt_content_encryption_key(cms, cert, fixedKey(), cek, &cekLen, 0) == 0 &&
            (cekLen <= 0 || cekLen > static_cast<int>(sizeof cek)))
            abort();
    }
    free_X509_CERT(cert);
}

void exercise(CMS_CONTENT_INFO* cms, const uint8_t* data, size_t size) {
    CMS_CONTENT_INFO* copy = dup_CMS_CONTENT_INFO(cms);
    if (!copy) abort();
    cmp_CMS_CONTENT_INFO(cms, copy);
    const Der written = derOf(copy);
    if (!written.empty()) {
        ASN1_UNIT* node = decodeToBERSequence(written.data(), static_cast<int>(written.size()));
        CMS_CONTENT_INFO* again = nullptr;
        if (!node || Seq_to_CMS_CONTENT_INFO(node, &again) != 0) abort();  // what we write, we read
        if (derOf(again) != written) abort();
        free_CMS_CONTENT_INFO(again);
        free_ASN1_UNIT(node);
    }
    const int type = index_from_OBJECT_IDENTIFIER(copy->contentType);
    if (copy->content) {
        if (type == CMS_SIGNED_DATA_TYPE) checkSigned(copy, data, size);
        if (type == CMS_ENVELOPED_DATA_TYPE) {
            const auto* ed = static_cast<const CMS_ENVELOPED_DATA*>(copy->content);
            checkEnveloped(copy, ed->encryptedContentInfo, ed->recipientInfos);
        }
        if (type == CMS_ENCRYPTED_DATA_TYPE)
            checkEnveloped(copy, static_cast<const CMS_ENCRYPTED_DATA*>(copy->content)->encryptedContentInfo, nullptr);
    }
    free_CMS_CONTENT_INFO(copy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ASN1_UNIT* node = decodeToBERSequence(data, static_cast<int>(size));
    if (!node) return 0;
    CMS_CONTENT_INFO* cms = nullptr;
    if (Seq_to_CMS_CONTENT_INFO(node, &cms) == 0) exercise(cms, data, size);
    free_CMS_CONTENT_INFO(cms);

    CMS_SIGNER_INFO* si = nullptr;
    if (Seq_to_CMS_SIGNER_INFO(node, &si) == 0) {
        if (si->signature) checkSignatureValue(si->signature->data, si->signature->length);
        encodeAndFree(CMS_SIGNER_INFO_to_Seq, static_cast<const CMS_SIGNER_INFO*>(si));
    }
    free_CMS_SIGNER_INFO(si);
    free_ASN1_UNIT(node);
    return 0;
}
