// PKCS#7 signed data from signer credentials: the makers, a further signer,
// a message over a given digest, messages around signatures made elsewhere,
// the authenticated attributes to sign outside, and the encrypted VID
// random.
#include <cstring>
#include <string_view>

#include <zunCore/cipher.h>
#include <zunCore/crypto.h>
#include <zunCore/keypass.h>
#include <zunCore/pkcs7.h>
#include <zunCore/util.h>
#include <zunCore/x509_conv.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/asn1_objects.h>

#include "crypto/pkcs7_internal.hpp"

namespace {

using zcore::code;
using zcore::Secret;
using namespace zcore::p7;

// The digest of data under the name (its codes pass through).
int digestOf(std::string_view data, const char* name, Secret& out) {
    unsigned char* d = nullptr;
    int n = 0;
    if (int rc = VCL_HASH_Data(data.data(), static_cast<int>(data.size()), &d, &n, name); rc != 0) return rc;
    out.assign(d, static_cast<size_t>(n));
    VCL_Free(d, n);
    return 0;
}

// The credential checks of the makers: lengths first, then pointers.
int checkSigner(const PKISTRINFO* s, int cat) {
    if (!s) return code(cat, VCL_R_NULL_PARAM);
    if (s->cert_len <= 0 || s->key_len <= 0) return code(cat, VCL_R_ZERO_LENGTH);
    if (!s->cert || !s->key) return code(cat, VCL_R_NULL_PARAM);
    return 0;
}

int checkCertItem(const CERT_ITEM* c) {
    if (!c) return code(kCatMake, VCL_R_NULL_PARAM);
    if (c->len <= 0) return code(kCatMake, VCL_R_ZERO_LENGTH);
    if (!c->data) return code(kCatMake, VCL_R_NULL_PARAM);
    return 0;
}

// Steps shared by the maker and the add-signer: a SignerInfo for the
// credentials, their certificate, the attributes and the random, then the
// signature over content; the content left in or taken out.
int signInto(P7_CONTENT_INFO* p7, std::string_view content, const PKISTRINFO* signer, int digestRow,
             const char* hashName, const ASN1_TIME* signTime, const Flags& f) {
    zcore::Cert cert;
    zcore::AsymKey key;
    if (int rc = openSigner(signer, cert, key); rc != 0) return rc;
    P7_SIGNER_INFO* si = add_PKCS7_Signature(p7, cert.get(), key.get(), digestRow);
    if (!si) return code(kCatMake, kMakeSigner);
    if (f.cert == 1 && add_PKCS7_Certificate(p7, cert.get()) != 0) return code(kCatMake, kSetCert);
    if (f.attr != 0) {
        UtcTime time = signingTime(signTime);
        if (!time) return code(kCatMake, VCL_R_NULL_PARAM);
        Secret digest;
        if (int rc = digestOf(content, hashName, digest); rc != 0) return rc;
        if (int rc = addAttributes(si, true, time.get(), digest.view(), kCatMake); rc != 0) return rc;
        if (f.random == 1) {
            if (int rc = addRandom(si, time.get(), signer, false); rc != 0) return rc;
        }
    }
    if (set_P7_version(p7, f.attr) != 0) return code(kCatMake, kSetVersion);
    if (sign_PKCS7(p7, content.data(), static_cast<int>(content.size()), 0) != 0) return code(kCatMake, kSign);
    if (f.content != 1) removeContent(p7);
    return 0;
}

int makeSigned(std::string_view data, const PKISTRINFO* signer, const char* hashName, const ASN1_TIME* signTime,
               const Flags& f, int encoding, Out o) {
    if (data.empty()) return code(kCatMake, VCL_R_ZERO_LENGTH);
    if (int rc = checkSigner(signer, kCatMake); rc != 0) return rc;
    if (!o.out || !o.len) return code(kCatMake, VCL_R_NULL_PARAM);
    int row = 0;
    if (int rc = VCL_PK7_name_to_oid(hashName, &row); rc != 0) return rc;
    ContentInfo p7;
    if (int rc = newSignedData(p7); rc != 0) return rc;
    if (int rc = signInto(p7.get(), data, signer, row, hashName, signTime, f); rc != 0) return rc;
    return VCL_PK7_encode_pkcs7(p7.get(), encoding, o.out, o.len);
}

int addSigned(int inEncoding, const void* message, int messageLen, const PKISTRINFO* signer, const char* hashName,
              const ASN1_TIME* signTime, const Flags& f, int encoding, Out o) {
    if (messageLen <= 0 || !message) return code(kCatMake, VCL_R_ZERO_LENGTH);
    if (int rc = checkSigner(signer, kCatMake); rc != 0) return rc;
    if (!o.out || !o.len) return code(kCatMake, VCL_R_NULL_PARAM);
    int row = 0;
    if (int rc = VCL_PK7_name_to_oid(hashName, &row); rc != 0) return rc;
    ContentInfo p7;
    if (int rc = decode(inEncoding, message, messageLen, p7); rc != 0) return rc;
    // The new signer signs the content the message carries: without it
    // there is nothing to sign.
    const OCTET_STRING* carried = carriedContent(p7.get());
    if (!carried || !carried->data || carried->length <= 0) return code(kCatMake, kNoContent);
    Secret content(bytesOf(carried->data, carried->length));
    if (int rc = signInto(p7.get(), content.view(), signer, row, hashName, signTime, f); rc != 0) return rc;
    return VCL_PK7_encode_pkcs7(p7.get(), encoding, o.out, o.len);
}

// The VID key material from a UTCTime's text: SHA-256 three times; the
// SEED key is bytes 0-15, the IV 16-31.
int encryptUnderTime(const UTC_TIME* time, std::string_view plain, int cat, char** out, int* outLen) {
    Secret d(bytesOf(time->data, time->length));
    for (int pass = 0; pass < 3; ++pass) {
        Secret next;
        if (int rc = digestOf(d.view(), "SHA256", next); rc != 0) return rc;
        d = std::move(next);
    }
    if (d.size() != 32) return code(cat, VCL_R_DIGEST_LENGTH);
    unsigned char* enc = nullptr;
    int n = 0;
    const int rc = VCL_SYM_Encrypt(d.u(), d.u() + 16, "SEED-CBC", 1, plain.data(), static_cast<int>(plain.size()), &enc,
                                   &n, VCL_ENCODING_RAW);
    if (rc != 0) {
        VCL_Free(enc, n);
        return rc;
    }
    *out = reinterpret_cast<char*>(enc);
    *outLen = n;
    return 0;
}

bool timeGiven(const UTC_TIME* t) { return t && t->data && t->length > 0; }

int encryptRandom(const UTC_TIME* time, const PKISTRINFO* signer, bool token, char** out, int* outLen) {
    constexpr int cat = kCatRandom;
    if (!timeGiven(time)) return code(cat, VCL_R_ZERO_LENGTH);
    if (!signer) return code(cat, VCL_R_NULL_PARAM);
    if (signer->cert_len <= 0 || signer->key_len <= 0) return code(cat, VCL_R_ZERO_LENGTH);
    if (!signer->cert || !signer->key || !out || !outLen) return code(cat, VCL_R_NULL_PARAM);
    if (token) return encryptUnderTime(time, bytesOf(signer->key, signer->key_len), cat, out, outLen);
    unsigned char* random = nullptr;
    int n = 0;
    if (int rc = VCL_COM_Get_Random(signer->key, signer->key_len, signer->password, signer->password_len, &random, &n);
        rc != 0)
        return rc;
    Secret plain(bytesOf(random, n));
    VCL_Free(random, n);
    // A key without a VID random (a PKCS#1 key) has nothing to carry.
    if (plain.empty()) return code(cat, VCL_R_NO_VID);
    return encryptUnderTime(time, plain.view(), cat, out, outLen);
}

// The three attributes in a working SignerInfo, as DER handed out.
int attributesFor(std::string_view digest, const ASN1_TIME* signTime, Out o) {
    SignerInfo si(new_P7_SIGNER_INFO());
    if (!si || !OID_LIST(kRowData)->oid) return code(kCatMake, VCL_R_ZERO_LENGTH);
    UtcTime time = signingTime(signTime);
    if (!time) return code(kCatMake, VCL_R_NULL_PARAM);
    if (int rc = addAttributes(si.get(), true, time.get(), digest, kCatMake); rc != 0) return rc;
    Secret der;
    if (!attributesDer(si.get(), der) || der.empty()) return code(kCatMake, kEncode);
    return zcore::handOut(der.view(), o.out, o.len) ? 0 : code(kCatMake, kEncode);
}

}  // namespace

namespace zcore::p7 {

int certOf(const void* bytes, int len, Cert& out) {
    X509_CERT* raw = nullptr;
    const int rc = VCL_X509_conv_cert2x509(bytes, len, &raw);
    out.reset(raw);
    return rc;
}

int newSignedData(ContentInfo& p7) {
    p7.reset(new_P7_CONTENT_INFO());
    if (!p7) return code(kCatMake, VCL_R_MALLOC);
    if (set_PKCS7_Type(p7.get(), P7_SIGNED_DATA_TYPE) != 0) return code(kCatMake, kSetType);
    if (new_PKCS7_Content(p7.get(), P7_DATA) != 0) return code(kCatMake, kSetContent);
    return 0;
}

UtcTime signingTime(const ASN1_TIME* given) {
    // The conversion overwrites the record it is given: always a copy.
    CalendarTime copy(given ? dup_ASN1_TIME(given) : VCL_COM_getCurrentLocalTime());
    if (!copy) return nullptr;
    return UtcTime(asn1TimeToUTC_TIME(copy.get(), UTC_TIME_YYMMDDHHMMSSZ));
}

int addAttributes(P7_SIGNER_INFO* si, bool contentType, const UTC_TIME* time, std::string_view digest, int cat) {
    if (contentType) {
        const char* data = OID_LIST(kRowData)->oid;
        if (!data || add_PKCS7_Signed_Attribute(si, kRowContentType, ASN1_TAG_OBJECT_IDENTIFIER, data,
                                                static_cast<int>(std::strlen(data))) != 0)
            return code(cat, kSetContentType);
    }
    if (time && add_PKCS7_Signed_Attribute(si, kRowSigningTime, ASN1_TAG_UTC_TIME, time->data, time->length) != 0)
        return code(cat, kSetSignTime);
    if (add_PKCS7_Signed_Attribute(si, kRowMessageDigest, ASN1_TAG_OCTET_STRING, digest.data(),
                                   static_cast<int>(digest.size())) != 0)
        return code(cat, kSetDigest);
    return 0;
}

bool attributesDer(const P7_SIGNER_INFO* si, Secret& out) {
    if (!si || get_X509_ATTRIBUTES_count(si->authenticatedAttributes) <= 0) return false;
    out = derOf<X509_ATTRIBUTES, X509_ATTRIBUTES_to_Seq>(si->authenticatedAttributes);
    return !out.empty();
}

int addRandom(P7_SIGNER_INFO* si, const UTC_TIME* time, const PKISTRINFO* signer, bool token) {
    char* enc = nullptr;
    int n = 0;
    if (int rc = encryptRandom(time, signer, token, &enc, &n); rc != 0) return rc;
    const int added =
        add_PKCS7_Unauthenticated_Attribute(si, VCL_PK7_OID_ENCRYPTED_RANDOM, ASN1_TAG_OCTET_STRING, enc, n);
    VCL_Free(enc, n);
    return added == 0 ? 0 : code(kCatMake, kSetRandom);
}

int openSigner(const PKISTRINFO* signer, Cert& cert, AsymKey& key) {
    if (int rc = certOf(signer->cert, signer->cert_len, cert); rc != 0) return rc;
    ASYMMETRIC_KEY* raw = nullptr;
    const int rc =
        VCL_PK1_priv_convert_keyunit(signer->key, signer->key_len, signer->password, signer->password_len, &raw);
    key.reset(raw);
    if (rc != 0) return rc;
    if (RSA_UNIT* rsa = rsaOf(key.get())) rsa->operation = kPrivateOperation;
    return 0;
}

bool relabelRsa(P7_SIGNER_INFO* si) {
    X509_ALGO_IDENTIFIER* alg = si ? si->digestEncryptionAlgorithm : nullptr;
    if (!alg) return false;
    // The rows add_PKCS7_Signature gives an RSA signer (digest with RSA);
    // KCDSA and PSS labels say more than rsaEncryption and stay.
    switch (index_from_OBJECT_IDENTIFIER(alg->algorithm)) {
        case 7:
        case 8:
        case 42:
        case 65:
        case 396:
        case 668:
        case 669:
        case 670:
        case 671:
            break;
        default:
            return true;
    }
    Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER> rsa(index_to_OBJECT_IDENTIFIER(kRowRsa));
    return rsa && set_X509_ALGO_IDENTIFIER_value(alg, rsa.get(), nullptr) == 0;
}

int checkSignature(P7_CONTENT_INFO* p7, const X509_CERT* cert, int cat) {
    return verify_PKCS7(p7, cert, nullptr, -1) == 0 ? 0 : code(cat, kSign);
}

}  // namespace zcore::p7

extern "C" {

VCL_API int VCL_PK7_Make_Signed_Data(const void* data, int data_len, const PKISTRINFO* signer, const char* hash_name,
                                     const ASN1_TIME* sign_time, int attr_flag, int encoding, char** out,
                                     int* out_len) {
    return VCL_PK7_Make_Signed_Data_With_Option(data, data_len, signer, hash_name, sign_time, attr_flag, 1, 1, encoding,
                                                out, out_len);
}

VCL_API int VCL_PK7_Make_Signed_Data_With_Option(const void* data, int data_len, const PKISTRINFO* signer,
                                                 const char* hash_name, const ASN1_TIME* sign_time, int attr_flag,
                                                 int cert_flag, int content_flag, int encoding, char** out,
                                                 int* out_len) {
    return VCL_PK7_Make_Signed_Data_With_Random(data, data_len, signer, hash_name, sign_time, attr_flag, cert_flag,
                                                content_flag, 0, encoding, out, out_len);
}

VCL_API int VCL_PK7_Make_Signed_Data_With_Random(const void* data, int data_len, const PKISTRINFO* signer,
                                                 const char* hash_name, const ASN1_TIME* sign_time, int attr_flag,
                                                 int cert_flag, int content_flag, int random_flag, int encoding,
                                                 char** out, int* out_len) {
    return VCL_PK7_Make_Signed_Data_With_Unauth_Attr(data, data_len, signer, hash_name, sign_time, attr_flag, cert_flag,
                                                     content_flag, random_flag, encoding, nullptr, 0, out, out_len);
}

VCL_API int VCL_PK7_Make_Signed_Data_With_Unauth_Attr(const void* data, int data_len, const PKISTRINFO* signer,
                                                      const char* hash_name, const ASN1_TIME* sign_time, int attr_flag,
                                                      int cert_flag, int content_flag, int random_flag, int encoding,
                                                      const void*, int, char** out, int* out_len) {
    return makeSigned(bytesOf(data, data_len), signer, hash_name, sign_time,
                      Flags{attr_flag, cert_flag, content_flag, random_flag}, encoding, {out, out_len});
}

VCL_API int VCL_PK7_Add_Signed_Data(int in_encoding, const void* p7_data, int p7_len, const PKISTRINFO* signer,
                                    const char* hash_name, const ASN1_TIME* sign_time, int attr_flag, int encoding,
                                    char** out, int* out_len) {
    return VCL_PK7_Add_Signed_Data_With_Option(in_encoding, p7_data, p7_len, signer, hash_name, sign_time, attr_flag, 1,
                                               1, encoding, out, out_len);
}

VCL_API int VCL_PK7_Add_Signed_Data_With_Option(int in_encoding, const void* p7_data, int p7_len,
                                                const PKISTRINFO* signer, const char* hash_name,
                                                const ASN1_TIME* sign_time, int attr_flag, int cert_flag,
                                                int content_flag, int encoding, char** out, int* out_len) {
    return VCL_PK7_Add_Signed_Data_With_Random(in_encoding, p7_data, p7_len, signer, hash_name, sign_time, attr_flag,
                                               cert_flag, content_flag, 0, encoding, out, out_len);
}

VCL_API int VCL_PK7_Add_Signed_Data_With_Random(int in_encoding, const void* p7_data, int p7_len,
                                                const PKISTRINFO* signer, const char* hash_name,
                                                const ASN1_TIME* sign_time, int attr_flag, int cert_flag,
                                                int content_flag, int random_flag, int encoding, char** out,
                                                int* out_len) {
    return VCL_PK7_Add_Signed_Data_With_Unauth_Attr(in_encoding, p7_data, p7_len, signer, hash_name, sign_time,
                                                    attr_flag, cert_flag, content_flag, random_flag, encoding, nullptr,
                                                    0, out, out_len);
}

VCL_API int VCL_PK7_Add_Signed_Data_With_Unauth_Attr(int in_encoding, const void* p7_data, int p7_len,
                                                     const PKISTRINFO* signer, const char* hash_name,
                                                     const ASN1_TIME* sign_time, int attr_flag, int cert_flag,
                                                     int content_flag, int random_flag, int encoding, const void*, int,
                                                     char** out, int* out_len) {
    return addSigned(in_encoding, p7_data, p7_len, signer, hash_name, sign_time,
                     Flags{attr_flag, cert_flag, content_flag, random_flag}, encoding, {out, out_len});
}

VCL_API int VCL_PK7_Make_Signed_Data_WithOut_Plain_With_MD(const void* digest, int digest_len, const PKISTRINFO* signer,
                                                           const char* hash_name, const ASN1_TIME* sign_time,
                                                           int encoding, char** out, int* out_len) {
    if (int rc = checkSigner(signer, kCatMake); rc != 0) return rc;
    if (!digest || !out || !out_len) return code(kCatMake, VCL_R_NULL_PARAM);
    int row = 0;
    if (int rc = VCL_PK7_name_to_oid(hash_name, &row); rc != 0) return rc;
    // The digest must be one of the digest the name says: the messageDigest
    // is signed as it is given.
    int expected = 0;
    if (VCL_HASH_Get_Length(hash_name, &expected) != 0 || digest_len != expected)
        return code(kCatMake, VCL_R_ZERO_LENGTH);
    ContentInfo p7;
    if (int rc = newSignedData(p7); rc != 0) return rc;
    zcore::Cert cert;
    zcore::AsymKey key;
    if (int rc = openSigner(signer, cert, key); rc != 0) return rc;
    P7_SIGNER_INFO* si = add_PKCS7_Signature(p7.get(), cert.get(), key.get(), row);
    if (!si) return code(kCatMake, kMakeSigner);
    if (add_PKCS7_Certificate(p7.get(), cert.get()) != 0) return code(kCatMake, kSetCert);
    UtcTime time = signingTime(sign_time);
    if (!time) return code(kCatMake, VCL_R_NULL_PARAM);
    if (int rc = addAttributes(si, true, time.get(), bytesOf(digest, digest_len), kCatMake); rc != 0) return rc;
    if (set_P7_version(p7.get(), 1) != 0) return code(kCatMake, kSetVersion);
    if (sign_PKCS7(p7.get(), nullptr, 0, 1) != 0) return code(kCatMake, kSign);
    return VCL_PK7_encode_pkcs7(p7.get(), encoding, out, out_len);
}

VCL_API int VCL_PK7_Make_Signed_Data_With_OutSign(const void* signature, int sig_len, const void* content,
                                                  int content_len, const CERT_ITEM* cert, const char* hash_name, int,
                                                  int cert_flag, int content_flag, int encoding, char** out,
                                                  int* out_len) {
    if (!signature || sig_len <= 0 || content_len <= 0 || !content) return code(kCatMake, VCL_R_ZERO_LENGTH);
    if (int rc = checkCertItem(cert); rc != 0) return rc;
    if (!out || !out_len) return code(kCatMake, VCL_R_NULL_PARAM);
    int row = 0;
    if (int rc = VCL_PK7_name_to_oid(hash_name, &row); rc != 0) return rc;
    ContentInfo p7;
    if (int rc = newSignedData(p7); rc != 0) return rc;
    zcore::Cert x509;
    if (int rc = certOf(cert->data, cert->len, x509); rc != 0) return rc;
    P7_SIGNER_INFO* si = add_PKCS7_Signature(p7.get(), x509.get(), nullptr, row);
    if (!si) return code(kCatMake, kMakeSigner);
    si->encryptedDigest = new_OCTET_STRING(static_cast<const unsigned char*>(signature), sig_len);
    if (!si->encryptedDigest) return code(kCatMake, VCL_R_MALLOC);
    if (cert_flag == 1 && add_PKCS7_Certificate(p7.get(), x509.get()) != 0) return code(kCatMake, kSetCert);
    if (set_P7_version(p7.get(), 0) != 0) return code(kCatMake, kSetVersion);
    // The content is in while the signature is checked; the flag decides
    // whether it stays.
    if (!setContent(p7.get(), bytesOf(content, content_len))) return code(kCatMake, VCL_R_MALLOC);
    if (!relabelRsa(si)) return code(kCatMake, kMakeSigner);
    if (int rc = checkSignature(p7.get(), x509.get(), kCatMake); rc != 0) return rc;
    if (content_flag != 1) removeContent(p7.get());
    return VCL_PK7_encode_pkcs7(p7.get(), encoding, out, out_len);
}

VCL_API int VCL_PK7_Make_SignedData_Init(const void* data, int data_len, const char* hash_name,
                                         const ASN1_TIME* sign_time, char** out, int* out_len) {
    if (data_len <= 0 || !data) return code(kCatMake, VCL_R_ZERO_LENGTH);
    if (!out || !out_len) return code(kCatMake, VCL_R_NULL_PARAM);
    int row = 0;
    if (VCL_PK7_name_to_oid(hash_name, &row) != 0) return code(kCatMake, VCL_R_ZERO_LENGTH);
    Secret digest;
    if (int rc = digestOf(bytesOf(data, data_len), hash_name, digest); rc != 0) return rc;
    return attributesFor(digest.view(), sign_time, {out, out_len});
}

VCL_API int VCL_PK7_Make_Authenticated_Attribute(const void* digest, int digest_len, const ASN1_TIME* sign_time,
                                                 char** out, int* out_len) {
    if (digest_len <= 0 || !digest) return code(kCatMake, VCL_R_ZERO_LENGTH);
    if (!out || !out_len) return code(kCatMake, VCL_R_NULL_PARAM);
    return attributesFor(bytesOf(digest, digest_len), sign_time, {out, out_len});
}

VCL_API int VCL_PK7_Make_Signed_Data_With_SignData(const void* content, int content_len, const CERT_ITEM* cert,
                                                   const char* hash_name, int attr_flag, int cert_flag,
                                                   int content_flag, int encoding, const void* signature, int sig_len,
                                                   const void* attrs_der, int attrs_len, char** out, int* out_len) {
    if (content_len <= 0 || !content || !signature || sig_len <= 0) return code(kCatMake, VCL_R_ZERO_LENGTH);
    if (int rc = checkCertItem(cert); rc != 0) return rc;
    if (!out || !out_len) return code(kCatMake, VCL_R_NULL_PARAM);
    int row = 0;
    if (int rc = VCL_PK7_name_to_oid(hash_name, &row); rc != 0) return rc;
    ContentInfo p7;
    if (int rc = newSignedData(p7); rc != 0) return rc;
    zcore::Cert x509;
    if (int rc = certOf(cert->data, cert->len, x509); rc != 0) return rc;
    P7_SIGNER_INFO* si = add_PKCS7_Signature(p7.get(), x509.get(), nullptr, row);
    if (!si) return code(kCatMake, kMakeSigner);
    si->encryptedDigest = new_OCTET_STRING(static_cast<const unsigned char*>(signature), sig_len);
    if (!si->encryptedDigest) return code(kCatMake, VCL_R_MALLOC);
    if (cert_flag == 1 && add_PKCS7_Certificate(p7.get(), x509.get()) != 0) return code(kCatMake, kSetCert);
    if (!setContent(p7.get(), bytesOf(content, content_len))) return code(kCatMake, VCL_R_MALLOC);
    // The attributes are read within their own length.
    void* read = nullptr;
    const PKI_ERROR decoded = attrs_der && attrs_len > 0
                                  ? readDER_from_Binary(&read, zcore::decodeAs<X509_ATTRIBUTES, Seq_to_X509_ATTRIBUTES>,
                                                        static_cast<const unsigned char*>(attrs_der), attrs_len)
                                  : 1;
    zcore::Attributes attrs(static_cast<X509_ATTRIBUTES*>(read));
    if (decoded != 0 || get_X509_ATTRIBUTES_count(attrs.get()) <= 0) return code(kCatMake, kSetContentType);
    if (attr_flag != 0) {
        free_X509_ATTRIBUTES(si->authenticatedAttributes);
        si->authenticatedAttributes = attrs.release();
    }
    if (int rc = checkSignature(p7.get(), x509.get(), kCatMake); rc != 0) return rc;
    if (content_flag != 1) removeContent(p7.get());
    return VCL_PK7_encode_pkcs7(p7.get(), encoding, out, out_len);
}

VCL_API int VCL_PK7_Encrypt_VeridanRandom(const UTC_TIME* time, const PKISTRINFO* signer, char** out, int* out_len) {
    return encryptRandom(time, signer, false, out, out_len);
}

VCL_API int VCL_PK7_Encrypt_VeridanRandom_HSM(const UTC_TIME* time, const PKISTRINFO* signer, char** out,
                                              int* out_len) {
    return encryptRandom(time, signer, true, out, out_len);
}

VCL_API int VCL_PK7_Encrypt_VeridanMoreInfo(const UTC_TIME* time, const void* data, int data_len, char** out,
                                            int* out_len) {
    if (!timeGiven(time) || !data || data_len <= 0) return code(kCatMoreInfo, VCL_R_ZERO_LENGTH);
    if (!out || !out_len) return code(kCatMoreInfo, VCL_R_NULL_PARAM);
    return encryptUnderTime(time, bytesOf(data, data_len), kCatMoreInfo, out, out_len);
}

}  // extern "C"
