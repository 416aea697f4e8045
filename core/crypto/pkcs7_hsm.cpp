// PKCS#7 signed data for a signer whose key stays in a token: the message
// without its signature and the attributes to sign, the signature put in
// afterwards, and the one-step makers around a signature made beforehand.
#include <string_view>

#include <zunCore/cipher.h>
#include <zunCore/pkcs7.h>
#include <zunCore/util.h>
#include <zunCore/x509_conv.h>

#include "crypto/pkcs7_internal.hpp"

namespace {

using zcore::code;
using zcore::Secret;
using namespace zcore::p7;

// What the token signed, or null for the two-step road.
struct Signature {
    std::string_view bytes;
};

// A new SignerInfo without key for the certificate over the message's
// content: its signature when one is given, the attributes the flags ask
// for. The signing time is written only when given: a token's signature
// was made over that very time.
int addExternalSigner(P7_CONTENT_INFO* p7, std::string_view content, const X509_CERT* cert, int digestRow,
                      const char* hashName, const ASN1_TIME* signTime, const Flags& f, const PKISTRINFO* signer,
                      const Signature& sig) {
    P7_SIGNER_INFO* si = add_PKCS7_Signature(p7, cert, nullptr, digestRow);
    if (!si) return code(kCatMake, kMakeSigner);
    // Before the token has signed, an empty signature holds the place: the
    // message must encode, and Final fills it.
    static const unsigned char kNone = 0;
    si->encryptedDigest = sig.bytes.empty() ? new_OCTET_STRING(&kNone, 0)
                                            : new_OCTET_STRING(reinterpret_cast<const unsigned char*>(sig.bytes.data()),
                                                               static_cast<int>(sig.bytes.size()));
    if (!si->encryptedDigest) return code(kCatMake, VCL_R_MALLOC);
    if (f.cert == 1 && add_PKCS7_Certificate(p7, cert) != 0) return code(kCatMake, kSetCert);
    if (f.attr == 0) return 0;
    UtcTime time;
    if (signTime) {
        time = signingTime(signTime);
        if (!time) return code(kCatMake, VCL_R_NULL_PARAM);
    }
    unsigned char* d = nullptr;
    int n = 0;
    if (int rc = VCL_HASH_Data(content.data(), static_cast<int>(content.size()), &d, &n, hashName); rc != 0) return rc;
    Secret digest(bytesOf(d, n));
    VCL_Free(d, n);
    if (int rc = addAttributes(si, true, time.get(), digest.view(), kCatMake); rc != 0) return rc;
    if (f.random == 1) {
        // The random is keyed from the signing time: without one it cannot
        // be made (0xa7200005 from the encryption).
        if (int rc = addRandom(si, time.get(), signer, true); rc != 0) return rc;
    }
    return 0;
}

// The checks of the makers on data and the certificate (the key is not
// used).
int checkInput(std::string_view data, const PKISTRINFO* signer) {
    if (data.empty() || !signer || signer->cert_len <= 0) return code(kCatMake, VCL_R_ZERO_LENGTH);
    if (!signer->cert) return code(kCatMake, VCL_R_NULL_PARAM);
    return 0;
}

int initHsm(std::string_view data, const PKISTRINFO* signer, const char* hashName, const ASN1_TIME* signTime,
            const Flags& f, int encoding, Out attrs, Out o) {
    if (int rc = checkInput(data, signer); rc != 0) return rc;
    if (!attrs.out || !attrs.len || !o.out || !o.len) return code(kCatMake, VCL_R_NULL_PARAM);
    // Without a SignerInfo there would be no attributes to hand out.
    if (f.attr == 0) return code(kCatMake, VCL_R_ZERO_LENGTH);
    int row = 0;
    if (int rc = VCL_PK7_name_to_oid(hashName, &row); rc != 0) return rc;
    ContentInfo p7;
    if (int rc = newSignedData(p7); rc != 0) return rc;
    zcore::Cert cert;
    if (int rc = certOf(signer->cert, signer->cert_len, cert); rc != 0) return rc;
    if (!setContent(p7.get(), data)) return code(kCatMake, VCL_R_MALLOC);
    if (int rc = addExternalSigner(p7.get(), data, cert.get(), row, hashName, signTime, f, signer, {}); rc != 0)
        return rc;
    if (f.content != 1) removeContent(p7.get());
    SignerView v;
    Secret der;
    if (!signerView(p7.get(), v) || !attributesDer(signerAt(v, 0), der)) return code(kCatMake, kEncode);
    char* message = nullptr;
    int messageLen = 0;
    if (int rc = VCL_PK7_encode_pkcs7(p7.get(), encoding, &message, &messageLen); rc != 0) return rc;
    if (!zcore::handOut(der.view(), attrs.out, attrs.len)) {
        VCL_Free(message, messageLen);
        return code(kCatMake, VCL_R_MALLOC);
    }
    *o.out = message;
    *o.len = messageLen;
    return 0;
}

int makeHsm(std::string_view data, const PKISTRINFO* signer, const char* hashName, const ASN1_TIME* signTime,
            const Flags& f, int encoding, std::string_view signature, Out o) {
    if (int rc = checkInput(data, signer); rc != 0) return rc;
    if (signature.empty()) return code(kCatMake, VCL_R_ZERO_LENGTH);
    if (!o.out || !o.len) return code(kCatMake, VCL_R_NULL_PARAM);
    int row = 0;
    if (int rc = VCL_PK7_name_to_oid(hashName, &row); rc != 0) return rc;
    ContentInfo p7;
    if (int rc = newSignedData(p7); rc != 0) return rc;
    zcore::Cert cert;
    if (int rc = certOf(signer->cert, signer->cert_len, cert); rc != 0) return rc;
    if (!setContent(p7.get(), data)) return code(kCatMake, VCL_R_MALLOC);
    if (int rc = addExternalSigner(p7.get(), data, cert.get(), row, hashName, signTime, f, signer, {signature});
        rc != 0)
        return rc;
    // The attributes were rebuilt here: a signature over others must not
    // leave as a message that verifies nowhere.
    if (int rc = checkSignature(p7.get(), cert.get(), kCatMake); rc != 0) return rc;
    if (f.content != 1) removeContent(p7.get());
    return VCL_PK7_encode_pkcs7(p7.get(), encoding, o.out, o.len);
}

int addHsm(int inEncoding, const void* message, int messageLen, const PKISTRINFO* signer, const char* hashName,
           const ASN1_TIME* signTime, const Flags& f, int encoding, std::string_view signature, Out o) {
    if (messageLen <= 0 || !message) return code(kCatMake, VCL_R_ZERO_LENGTH);
    if (!signer) return code(kCatMake, VCL_R_NULL_PARAM);
    if (signer->cert_len <= 0 || signer->key_len <= 0 || signature.empty()) return code(kCatMake, VCL_R_ZERO_LENGTH);
    if (!signer->cert || !signer->key || !o.out || !o.len) return code(kCatMake, VCL_R_NULL_PARAM);
    int row = 0;
    if (int rc = VCL_PK7_name_to_oid(hashName, &row); rc != 0) return rc;
    ContentInfo p7;
    if (int rc = decode(inEncoding, message, messageLen, p7); rc != 0) return rc;
    const OCTET_STRING* carried = carriedContent(p7.get());
    if (!carried || !carried->data || carried->length <= 0) return code(kCatMake, kNoContent);
    Secret content(bytesOf(carried->data, carried->length));
    // The token holds the key: its key field is the random, not a key to
    // open.
    zcore::Cert cert;
    if (int rc = certOf(signer->cert, signer->cert_len, cert); rc != 0) return rc;
    if (int rc =
            addExternalSigner(p7.get(), content.view(), cert.get(), row, hashName, signTime, f, signer, {signature});
        rc != 0)
        return rc;
    if (int rc = checkSignature(p7.get(), cert.get(), kCatMake); rc != 0) return rc;
    if (f.content != 1) removeContent(p7.get());
    return VCL_PK7_encode_pkcs7(p7.get(), encoding, o.out, o.len);
}

}  // namespace

extern "C" {

VCL_API int VCL_PK7_Make_Signed_Data_Init_HSM(const void* data, int data_len, const PKISTRINFO* signer,
                                              const char* hash_name, const ASN1_TIME* sign_time, int encoding,
                                              char** attrs, int* attrs_len, char** out, int* out_len) {
    return VCL_PK7_Make_Signed_Data_Init_HSM_With_Option(data, data_len, signer, hash_name, sign_time, 1, 1, 1,
                                                         encoding, attrs, attrs_len, out, out_len);
}

VCL_API int VCL_PK7_Make_Signed_Data_Init_HSM_With_Option(const void* data, int data_len, const PKISTRINFO* signer,
                                                          const char* hash_name, const ASN1_TIME* sign_time,
                                                          int attr_flag, int cert_flag, int content_flag, int encoding,
                                                          char** attrs, int* attrs_len, char** out, int* out_len) {
    return VCL_PK7_Make_Signed_Data_Init_HSM_With_Random(data, data_len, signer, hash_name, sign_time, attr_flag,
                                                         cert_flag, content_flag, 0, encoding, attrs, attrs_len, out,
                                                         out_len);
}

VCL_API int VCL_PK7_Make_Signed_Data_Init_HSM_With_Random(const void* data, int data_len, const PKISTRINFO* signer,
                                                          const char* hash_name, const ASN1_TIME* sign_time,
                                                          int attr_flag, int cert_flag, int content_flag,
                                                          int random_flag, int encoding, char** attrs, int* attrs_len,
                                                          char** out, int* out_len) {
    return VCL_PK7_Make_Signed_Data_Init_HSM_With_Unauth_Attr(data, data_len, signer, hash_name, sign_time, attr_flag,
                                                              cert_flag, content_flag, random_flag, encoding, attrs,
                                                              attrs_len, nullptr, 0, out, out_len);
}

VCL_API int VCL_PK7_Make_Signed_Data_Init_HSM_With_Unauth_Attr(const void* data, int data_len, const PKISTRINFO* signer,
                                                               const char* hash_name, const ASN1_TIME* sign_time,
                                                               int attr_flag, int cert_flag, int content_flag,
                                                               int random_flag, int encoding, char** attrs,
                                                               int* attrs_len, const void*, int, char** out,
                                                               int* out_len) {
    return initHsm(bytesOf(data, data_len), signer, hash_name, sign_time,
                   Flags{attr_flag, cert_flag, content_flag, random_flag}, encoding, {attrs, attrs_len},
                   {out, out_len});
}

VCL_API int VCL_PK7_Make_Signed_Data_Final_HSM(int in_encoding, const void* message, int message_len,
                                               const void* signature, int sig_len, int encoding, char** out,
                                               int* out_len) {
    if (message_len < 1 || sig_len < 1) return code(kCatMake, VCL_R_ZERO_LENGTH);
    if (!message || !signature || !out || !out_len) return code(kCatMake, VCL_R_NULL_PARAM);
    ContentInfo p7;
    if (int rc = decode(in_encoding, message, message_len, p7); rc != 0) return rc;
    SignerView v;
    P7_SIGNER_INFO* si = signerView(p7.get(), v) ? signerAt(v, 0) : nullptr;
    if (!si) return code(kCatMake, kNoSigner);
    OCTET_STRING* sig = new_OCTET_STRING(static_cast<const unsigned char*>(signature), sig_len);
    if (!sig) return code(kCatMake, VCL_R_MALLOC);
    free_OCTET_STRING(si->encryptedDigest);
    si->encryptedDigest = sig;
    if (si->version && VSC_Get_BIGINT_Word(si->version) == 1 && !relabelRsa(si)) return code(kCatMake, kMakeSigner);
    // The message may come from elsewhere without its certificate; when it
    // has it, a signature that does not verify is not handed out.
    if (const X509_CERT* cert = find_X509_CERT_by_IssuerAndSerialNumber(v.certs, si->issuerAndSerialNumber)) {
        if (int rc = checkSignature(p7.get(), cert, kCatMake); rc != 0) return rc;
    }
    return VCL_PK7_encode_pkcs7(p7.get(), encoding, out, out_len);
}

VCL_API int VCL_PK7_Make_Signed_Data_HSM(const void* data, int data_len, const PKISTRINFO* signer,
                                         const char* hash_name, const ASN1_TIME* sign_time, int encoding,
                                         const void* signature, int sig_len, char** out, int* out_len) {
    return VCL_PK7_Make_Signed_Data_HSM_With_Option(data, data_len, signer, hash_name, sign_time, 1, 1, 1, encoding,
                                                    signature, sig_len, out, out_len);
}

VCL_API int VCL_PK7_Make_Signed_Data_HSM_With_Option(const void* data, int data_len, const PKISTRINFO* signer,
                                                     const char* hash_name, const ASN1_TIME* sign_time, int attr_flag,
                                                     int cert_flag, int content_flag, int encoding,
                                                     const void* signature, int sig_len, char** out, int* out_len) {
    return VCL_PK7_Make_Signed_Data_HSM_With_Random(data, data_len, signer, hash_name, sign_time, attr_flag, cert_flag,
                                                    content_flag, 0, encoding, signature, sig_len, out, out_len);
}

VCL_API int VCL_PK7_Make_Signed_Data_HSM_With_Random(const void* data, int data_len, const PKISTRINFO* signer,
                                                     const char* hash_name, const ASN1_TIME* sign_time, int attr_flag,
                                                     int cert_flag, int content_flag, int random_flag, int encoding,
                                                     const void* signature, int sig_len, char** out, int* out_len) {
    return VCL_PK7_Make_Signed_Data_HSM_With_Unauth_Attr(data, data_len, signer, hash_name, sign_time, attr_flag,
                                                         cert_flag, content_flag, random_flag, encoding, signature,
                                                         sig_len, nullptr, 0, out, out_len);
}

VCL_API int VCL_PK7_Make_Signed_Data_HSM_With_Unauth_Attr(const void* data, int data_len, const PKISTRINFO* signer,
                                                          const char* hash_name, const ASN1_TIME* sign_time,
                                                          int attr_flag, int cert_flag, int content_flag,
                                                          int random_flag, int encoding, const void* signature,
                                                          int sig_len, const void*, int, char** out, int* out_len) {
    return makeHsm(bytesOf(data, data_len), signer, hash_name, sign_time,
                   Flags{attr_flag, cert_flag, content_flag, random_flag}, encoding, bytesOf(signature, sig_len),
                   {out, out_len});
}

VCL_API int VCL_PK7_Add_Signed_Data_HSM(int in_encoding, const void* message, int message_len, const PKISTRINFO* signer,
                                        const char* hash_name, const ASN1_TIME* sign_time, int encoding,
                                        const void* signature, int sig_len, char** out, int* out_len) {
    return VCL_PK7_Add_Signed_Data_HSM_With_Option(in_encoding, message, message_len, signer, hash_name, sign_time, 1,
                                                   1, 1, encoding, signature, sig_len, out, out_len);
}

VCL_API int VCL_PK7_Add_Signed_Data_HSM_With_Option(int in_encoding, const void* message, int message_len,
                                                    const PKISTRINFO* signer, const char* hash_name,
                                                    const ASN1_TIME* sign_time, int attr_flag, int cert_flag,
                                                    int content_flag, int encoding, const void* signature, int sig_len,
                                                    char** out, int* out_len) {
    return VCL_PK7_Add_Signed_Data_HSM_With_Random(in_encoding, message, message_len, signer, hash_name, sign_time,
                                                   attr_flag, cert_flag, content_flag, 0, encoding, signature, sig_len,
                                                   out, out_len);
}

VCL_API int VCL_PK7_Add_Signed_Data_HSM_With_Random(int in_encoding, const void* message, int message_len,
                                                    const PKISTRINFO* signer, const char* hash_name,
                                                    const ASN1_TIME* sign_time, int attr_flag, int cert_flag,
                                                    int content_flag, int random_flag, int encoding,
                                                    const void* signature, int sig_len, char** out, int* out_len) {
    return VCL_PK7_Add_Signed_Data_HSM_With_Unauth_Attr(in_encoding, message, message_len, signer, hash_name, sign_time,
                                                        attr_flag, cert_flag, content_flag, random_flag, encoding,
                                                        signature, sig_len, nullptr, 0, out, out_len);
}

VCL_API int VCL_PK7_Add_Signed_Data_HSM_With_Unauth_Attr(int in_encoding, const void* message, int message_len,
                                                         const PKISTRINFO* signer, const char* hash_name,
                                                         const ASN1_TIME* sign_time, int attr_flag, int cert_flag,
                                                         int content_flag, int random_flag, int encoding,
                                                         const void* signature, int sig_len, const void*, int,
                                                         char** out, int* out_len) {
    return addHsm(in_encoding, message, message_len, signer, hash_name, sign_time,
                  Flags{attr_flag, cert_flag, content_flag, random_flag}, encoding, bytesOf(signature, sig_len),
                  {out, out_len});
}

}  // extern "C"
