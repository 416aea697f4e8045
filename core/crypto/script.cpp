// The web-content script check: key material from a Base64
// AlgorithmIdentifier, and RSA SHA-1 signatures over script content.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <zunCore/encode.h>
#include <zunCore/error.h>
#include <zunCore/script.h>
#include <zunCore/util.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/x509/x509_key.h>

#include "crypto/crypto_internal.hpp"
#include "util/core_internal.hpp"

namespace {

constexpr int code(int reason) { return VCL_CORE_CODE(VCL_CAT_COMMON_SCRIPT, reason); }

// Rows of the object-identifier table.
constexpr int kHmacWithSha1 = 163;
constexpr int kSha1WithRsa = 65;

template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, zcore::UnitDeleter<T, Free>>;

// The Base64 text's bytes in a buffer that is wiped when released.
struct Decoded {
    unsigned char* p = nullptr;
    int n = 0;
    ~Decoded() { VCL_Free(p, n); }
};

bool decode(const char* b64, Decoded& out) {
    const size_t n = std::strlen(b64);
    if (n == 0 || n > static_cast<size_t>(INT32_MAX)) return false;
    out.n = VCL_Base64_Decode(b64, static_cast<int>(n), &out.p);
    if (out.n <= 0) out.n = 0;
    return out.n > 0;
}

// One DER SEQUENCE through its typed decoder into *value; false when the
// bytes are not one.
template <typename T>
bool readSequence(const Decoded& der, PKI_ERROR (*decoder)(const ASN1_UNIT*, T**), T** value) {
    if (der.n < 2 || der.p[0] != 0x30) return false;
    Owned<ASN1_UNIT, free_ASN1_UNIT> node(decodeToDERSequence(der.p, der.n));
    return node && decoder(node.get(), value) == 0 && *value;
}

}  // namespace

extern "C" {

VCL_API int VCL_COM_WebContentScriptInit(const char* b64_algorithm, VCL_SCRIPT_KEY** record) {
    if (!b64_algorithm || !record) return code(VCL_R_NULL_PARAM);
    *record = nullptr;
    Decoded der;
    if (!decode(b64_algorithm, der)) return code(VCL_R_DECODE_BASE64);
    X509_ALGO_IDENTIFIER* raw = nullptr;
    if (!readSequence(der, Seq_to_X509_ALGO_IDENTIFIER, &raw)) {
        free_X509_ALGO_IDENTIFIER(raw);
        return code(VCL_R_DER_TO_ASN1);
    }
    Owned<X509_ALGO_IDENTIFIER, free_X509_ALGO_IDENTIFIER> alg(raw);
    const int row = index_from_OBJECT_IDENTIFIER(alg->algorithm);
    if (row != kHmacWithSha1 && row != kSha1WithRsa) return code(VCL_R_UNKNOWN_ALGORITHM);
    const ASN1_STRING* params = alg->parameters;
    if (!params || params->length <= 0 || !params->data) return code(VCL_R_ASN_TO_BINARY);

    zcore::MallocPtr<VCL_SCRIPT_KEY> key(static_cast<VCL_SCRIPT_KEY*>(std::calloc(1, sizeof(VCL_SCRIPT_KEY))));
    if (!key) return code(VCL_R_MALLOC);
    if (row == kHmacWithSha1) {
        // The key is the parameter's content.
        key->kind = VCL_SCRIPT_HMAC_SHA1;
        key->data = reinterpret_cast<unsigned char*>(
            zcore::newBuffer({reinterpret_cast<const char*>(params->data), static_cast<size_t>(params->length)}));
        if (!key->data) return code(VCL_R_MALLOC);
        key->data_len = params->length;
    } else {
        // The parameter is a whole SubjectPublicKeyInfo: its DER in Base64,
        // as the verifier takes it.
        unsigned char* tlvRaw = nullptr;
        const int n = ASN1_STRING_to_binary(params, &tlvRaw);
        zcore::VscPtr<unsigned char> tlv(tlvRaw);
        if (n <= 0 || !tlv) return code(VCL_R_ASN_TO_BINARY);
        char* text = nullptr;
        const int textLen = VCL_Base64_Encode(tlv.get(), n, &text, 0);
        if (textLen <= 0) {
            VCL_Free(text, 0);
            return code(VCL_R_ENCODE_BASE64);
        }
        key->kind = VCL_SCRIPT_SHA1_RSA;
        key->data = reinterpret_cast<unsigned char*>(text);
        key->data_len = textLen;
    }
    *record = key.release();
    return 0;
}

VCL_API int VCL_COM_WebContentScriptVerifier_RSA(const char* b64_public_key, const unsigned char* sig, int sig_len,
                                                 const unsigned char* data, int data_len) {
    if (!b64_public_key || !sig || sig_len <= 0 || (!data && data_len > 0) || data_len < 0)
        return code(VCL_R_NULL_PARAM);
    Decoded der;
    if (!decode(b64_public_key, der)) return code(VCL_R_DECODE_BASE64);
    X509_PUBKEY* raw = nullptr;
    if (!readSequence(der, Seq_to_X509_PUBKEY, &raw)) {
        free_X509_PUBKEY(raw);
        return code(VCL_R_DER_TO_ASN1);
    }
    Owned<X509_PUBKEY, free_X509_PUBKEY> spki(raw);
    if (!spki->key || spki->key->kind != ASYMMETRIC_KEY_RSA) return code(VCL_R_DER_TO_ASN1);
    Owned<RSA_UNIT, VSC_Free_RSA> rsa(VSC_New_RSA());
    if (!rsa) return code(VCL_R_MALLOC);
    if (ASYMMETRIC_KEY_to_RSA_UNIT(spki->key, rsa.get()) != 0) return code(VCL_R_DER_TO_ASN1);
    int rc = VSC_Init_RSASSA(rsa.get(), VSC_DIGEST_SHA1, VSC_RSASSA_PKCS1_V15, 0);
    if (rc == VSC_OK) rc = VSC_Update_RSASSA(rsa.get(), data, data_len);
    int len = sig_len;
    if (rc == VSC_OK) rc = VSC_Final_RSASSA(rsa.get(), const_cast<unsigned char*>(sig), &len);
    return rc == VSC_OK ? 0 : code(VCL_R_VERIFY_SIGN);
}

}  // extern "C"
