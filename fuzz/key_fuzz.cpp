// The key-file readers on arbitrary bytes: PEM key text with a password, the
// plain PEM armour, and DER as an encrypted key (decrypted when its count is
// small), a plain key, and OAEP and PSS parameters; whatever decodes is
// encoded again.
#include <cstdint>
#include <cstdlib>

#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pem.h>
#include <zunPKI/pkcs/pkcs1.h>
#include <zunPKI/pkcs/pkcs5.h>
#include <zunPKI/pkcs/pkcs8.h>

namespace {

template <class T>
void roundTrip(const ASN1_UNIT* node, PKI_ERROR (*decode)(const ASN1_UNIT*, T**),
               PKI_ERROR (*encode)(const T*, ASN1_UNIT**), void (*release)(T*)) {
    T* value = nullptr;
    if (decode(node, &value) == 0) {
        ASN1_UNIT* out = nullptr;
        encode(value, &out);
        free_ASN1_UNIT(out);
    }
    release(value);
}

void decryptIfCheap(const PKCS8* p8) {
    P5_PBE_PARAM* param = get_PKCS8_P5_PBE_PARAM(p8);
    // Counts up to the library's bound are valid; the fuzzer need not wait.
    const bool cheap = param != nullptr && VSC_Get_BIGINT_Bits_Length(param->iterationCount) <= 12;
    free_P5_PBE_PARAM(param);
    if (!cheap) return;
    P8_PRIV_KEY_INFO* info = nullptr;
    if (decrypt_PKCS5(p8, &info, "pw", 2) == 0) {
        ASN1_UNIT* out = nullptr;
        P8_PRIV_KEY_INFO_to_Seq(info, &out);
        free_ASN1_UNIT(out);
    }
    free_P8_PRIV_KEY_INFO(info);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    const int len = static_cast<int>(size);
    RSA_UNIT* rsa = nullptr;
    readPKCS1_from_Binary(&rsa, "pw", 2, reinterpret_cast<const char*>(data), len);
    VSC_Free_RSA(rsa);
    unsigned char* body = nullptr;
    decode_PEM(reinterpret_cast<const char*>(data), len, &body);
    VSC_Free(body, __FILE__, __LINE__);

    ASN1_UNIT* node = decodeToDERSequence(data, len);
    if (node == nullptr) return 0;
    PKCS8* p8 = nullptr;
    if (Seq_to_P8_ENCRYPTED_KEY(node, &p8) == 0) {
        decryptIfCheap(p8);
        ASN1_UNIT* out = nullptr;
        P8_ENCRYPTED_KEY_to_Seq(p8, &out);
        free_ASN1_UNIT(out);
    }
    free_PKCS8(p8);
    roundTrip(node, Seq_to_P8_PRIV_KEY_INFO, P8_PRIV_KEY_INFO_to_Seq, free_P8_PRIV_KEY_INFO);
    roundTrip(node, Seq_to_P5_PBE_PARAM, P5_PBE_PARAM_to_Seq, free_P5_PBE_PARAM);
    roundTrip(node, Seq_to_RSAES_OAEP_PARAM, RSAES_OAEP_PARAM_to_Seq, free_RSAES_OAEP_PARAM);
    roundTrip(node, Seq_to_RSASSA_PSS_PARAM, RSASSA_PSS_PARAM_to_Seq, free_RSASSA_PSS_PARAM);
    roundTrip(node, Seq_to_PKCS1_RSA_PRIVATE_KEY, PKCS1_RSA_PRIVATE_KEY_to_Seq, free_PKCS1_RSA_PRIVATE_KEY);
    roundTrip(node, Seq_to_PKCS1_RSA_PUBLIC_KEY, PKCS1_RSA_PUBLIC_KEY_to_Seq, free_PKCS1_RSA_PUBLIC_KEY);
    free_ASN1_UNIT(node);
    return 0;
}
