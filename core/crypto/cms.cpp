// CMS signed data from signer credentials: the codec, the makers, a further
// signer, verification and the signer queries.
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <zunCore/cipher.h>
#include <zunCore/cms.h>
#include <zunCore/encode.h>
#include <zunCore/util.h>
#include <zunCore/x509_conv.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/pkcs/cms_sign.h>
#include <zunPKI/x509/issuer_and_serial_number.h>

#include "crypto/cms_internal.hpp"
#include "crypto/pkcs7_internal.hpp"

namespace {

using zcore::code;
using zcore::Secret;
using zcore::cms::Message;
using namespace zcore::cms;
using zcore::p7::bytesOf;

// Reasons of the CMS families (their texts are the PKCS#7 ones).
constexpr int kNoContent = 0x17;
constexpr int kNoSigner = 0x29;
constexpr int kTimeConvert = 0x2a;
constexpr int kNoSignerCert = 0x2d;
constexpr int kCertToSeq = 0x2e;
constexpr int kSetType = 0x33;
constexpr int kSetContent = 0x34;
constexpr int kMakeSigner = 0x35;
constexpr int kSetCert = 0x36;
constexpr int kSetContentType = 0x37;
constexpr int kSetSignTime = 0x38;
constexpr int kSetDigest = 0x39;
constexpr int kSign = 0x3a;
constexpr int kEncode = 0x3b;
constexpr int kToBinary = 0x3c;
constexpr int kDerToAsn1 = 0x3d;
constexpr int kSeqToCms = 0x3e;
constexpr int kVerify = 0x3f;
constexpr int kSetVersion = 0x94;

constexpr int kRowData = 21;
constexpr int kRowContentType = 50;
constexpr int kRowMessageDigest = 51;
constexpr int kRowSigningTime = 52;

bool isBase64(int encoding) { return encoding == VCL_CMS_BASE64 || encoding == VCL_CMS_BASE64_LINES; }
bool knownEncoding(int encoding) { return isBase64(encoding) || encoding == VCL_CMS_DER; }

CMS_SIGNED_DATA* signedData(CMS_CONTENT_INFO* cms) {
    return typeRow(cms) == CMS_SIGNED_DATA_TYPE ? static_cast<CMS_SIGNED_DATA*>(cms->content) : nullptr;
}

// The eContent a signedData carries; null when detached or of another type.
const OCTET_STRING* carriedContent(CMS_CONTENT_INFO* cms) {
    const CMS_SIGNED_DATA* sd = signedData(cms);
    return sd && sd->encapContentInfo ? sd->encapContentInfo->eContent : nullptr;
}

CMS_SIGNER_INFO* signerAt(CMS_CONTENT_INFO* cms, int index) {
    const CMS_SIGNED_DATA* sd = signedData(cms);
    if (!sd || index < 0 || index >= get_STACK_count(sd->signerInfos)) return nullptr;
    return static_cast<CMS_SIGNER_INFO*>(get_STACK_value(sd->signerInfos, index));
}

bool sameBytes(const ASN1_STRING* a, const ASN1_STRING* b) {
    return a && b && a->length == b->length && a->length > 0 && std::memcmp(a->data, b->data, a->length) == 0;
}

// The certificate of the message a SignerInfo names: by subjectKeyIdentifier
// or by issuer and serial number; the first match, or null.
const X509_CERT* certOfSigner(const CMS_SIGNED_DATA* sd, const CMS_SIGNER_INFO* si) {
    const SIGNER_IDENTIFIER* sid = si ? si->sid : nullptr;
    if (!sid) return nullptr;
    for (int i = 0; i < get_STACK_count(sd->certificates); ++i) {
        const auto* c = static_cast<const X509_CERT*>(get_STACK_value(sd->certificates, i));
        if (!c) continue;
        if (sid->type == CMS_ID_KEY_IDENTIFIER) {
            ASN1_STRING* raw = nullptr;
            VCL_X509_get_subjectkeyidentifier(c, &raw);
            zcore::Asn1String ski(raw);
            if (sameBytes(ski.get(), sid->subjectKeyIdentifier)) return c;
        } else if (sid->issuerAndSerialNumber && cmp_ISSUER_AND_SERIAL_NUMBER(c, sid->issuerAndSerialNumber) == 0) {
            return c;
        }
    }
    return nullptr;
}

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
int checkSigner(const PKISTRINFO* s) {
    if (!s) return code(kCatMake, VCL_R_NULL_PARAM);
    if (s->cert_len <= 0 || s->key_len <= 0) return code(kCatMake, VCL_R_ZERO_LENGTH);
    if (!s->cert || !s->key) return code(kCatMake, VCL_R_NULL_PARAM);
    return 0;
}

// contentType, signingTime and messageDigest on the SignerInfo.
int addAttributes(CMS_SIGNER_INFO* si, const ASN1_TIME* signTime, std::string_view content, const char* hashName) {
    const char* data = OID_LIST(kRowData)->oid;
    if (!data || add_CMS_Signed_Attribute(si, kRowContentType, ASN1_TAG_OBJECT_IDENTIFIER, data,
                                          static_cast<int>(std::strlen(data))) != 0)
        return code(kCatMake, kSetContentType);
    // The local clock, as every signing time the core writes: the writer
    // turns the local calendar time into its UTC instant.
    zcore::p7::UtcTime time = zcore::p7::signingTime(signTime);
    if (!time) return code(kCatMake, VCL_R_NULL_PARAM);
    if (add_CMS_Signed_Attribute(si, kRowSigningTime, ASN1_TAG_UTC_TIME, time->data, time->length) != 0)
        return code(kCatMake, kSetSignTime);
    Secret digest;
    if (int rc = digestOf(content, hashName, digest); rc != 0) return rc;
    if (add_CMS_Signed_Attribute(si, kRowMessageDigest, ASN1_TAG_OCTET_STRING, digest.data(), digest.size()) != 0)
        return code(kCatMake, kSetDigest);
    return 0;
}

// The SignedData's version: the one asked, but 3 as soon as any signer is
// named by key identifier (RFC 5652 5.1).
int signedDataVersion(CMS_CONTENT_INFO* cms, int asked) {
    const CMS_SIGNED_DATA* sd = signedData(cms);
    if (asked != 1 || !sd) return asked;
    for (int i = 0; i < get_STACK_count(sd->signerInfos); ++i) {
        const auto* si = static_cast<const CMS_SIGNER_INFO*>(get_STACK_value(sd->signerInfos, i));
        if (si && si->sid && si->sid->type == CMS_ID_KEY_IDENTIFIER) return 3;
    }
    return asked;
}

struct SignRequest {
    const PKISTRINFO* signer;
    int kind;
    const char* hashName;
    int digestRow;
    const ASN1_TIME* signTime;
    int version;
    bool attributes;
    bool releaseCache;  // the maker frees the RSA unit's cached value first
};

// A SignerInfo for the credentials over content, its certificate and
// attributes, then every signature still missing.
int signInto(CMS_CONTENT_INFO* cms, std::string_view content, const SignRequest& r) {
    zcore::Cert cert;
    zcore::AsymKey key;
    if (int rc = zcore::p7::openSigner(r.signer, cert, key); rc != 0) return rc;
    RSA_UNIT* rsa = zcore::rsaOf(key.get());
    // Only an RSA unit has the cached value; a KCDSA record's fields are
    // its own and stay as they are.
    if (r.releaseCache && rsa) {
        VSC_Free_BIGINT(rsa->cache);
        rsa->cache = nullptr;
    }
    // PSS is an RSA scheme: a KCDSA key cannot sign with it.
    if ((r.kind != VCL_CMS_SIGN_PKCS1 && r.kind != VCL_CMS_SIGN_PSS) || (r.kind == VCL_CMS_SIGN_PSS && !rsa))
        return code(kCatMake, kMakeSigner);
    // RFC 5652 5.3: a version 3 SignerInfo names its signer by key
    // identifier, a version 1 one by issuer and serial number.
    const int sidFlags = r.version == 3 ? CMS_SIGNER_BY_KEY_IDENTIFIER : 0;
    CMS_SIGNER_INFO* si = add_CMS_Signature(cms, cert.get(), key.get(), sidFlags, r.digestRow, r.kind, nullptr);
    if (!si) return code(kCatMake, kMakeSigner);
    if (add_CMS_Certificate(cms, cert.get()) != 0) return code(kCatMake, kSetCert);
    if (r.attributes) {
        if (int rc = addAttributes(si, r.signTime, content, r.hashName); rc != 0) return rc;
    }
    if (set_CMS_version(cms, signedDataVersion(cms, r.version)) != 0) return code(kCatMake, kSetVersion);
    if (sign_CMS(cms) != 0) return code(kCatMake, kSign);
    return 0;
}

int makeSigned(std::string_view data, const SignRequest& r, int encoding, char** out, int* outLen) {
    if (data.empty()) return code(kCatMake, VCL_R_ZERO_LENGTH);
    if (int rc = checkSigner(r.signer); rc != 0) return rc;
    if (!out || !outLen) return code(kCatMake, VCL_R_NULL_PARAM);
    SignRequest req = r;
    if (int rc = VCL_PK7_name_to_oid(r.hashName, &req.digestRow); rc != 0) return rc;
    Message cms(new_CMS_CONTENT_INFO());
    if (!cms) return code(kCatMake, VCL_R_MALLOC);
    if (set_CMS_Type(cms.get(), CMS_SIGNED_DATA_TYPE) != 0) return code(kCatMake, kSetType);
    if (new_CMS_Content(cms.get(), CMS_DATA) != 0) return code(kCatMake, kSetContent);
    zcore::Owned<ENCAPSULATED_CONTENT_INFO, free_ENCAPSULATED_CONTENT_INFO> eci(new_ENCAPSULATED_CONTENT_INFO());
    if (!eci) return code(kCatMake, VCL_R_MALLOC);
    eci->eContentType = index_to_OBJECT_IDENTIFIER(kRowData);
    eci->eContent =
        new_OCTET_STRING(reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
    if (!eci->eContentType || !eci->eContent) return code(kCatMake, VCL_R_MALLOC);
    if (set_ENCAPSULATED_CONTENT_INFO(cms.get(), eci.get()) != 0) return code(kCatMake, kSetContent);
    (void)eci.release();
    if (int rc = signInto(cms.get(), data, req); rc != 0) return rc;
    return VCL_CMS_encode_cms(cms.get(), encoding, out, outLen);
}

}  // namespace

namespace zcore::cms {

int typeRow(const CMS_CONTENT_INFO* cms) {
    return cms && cms->contentType ? index_from_OBJECT_IDENTIFIER(cms->contentType) : 0;
}

int decode(int encoding, const void* data, int len, Message& out) {
    out.reset();
    if (!data) return code(kCatCodec, VCL_R_NULL_PARAM);
    if (len <= 0) return code(kCatCodec, VCL_R_ZERO_LENGTH);
    const auto* der = static_cast<const unsigned char*>(data);
    int derLen = len;
    MallocPtr<unsigned char> converted;
    if (isBase64(encoding)) {
        unsigned char* raw = nullptr;
        derLen = VCL_Base64_Decode(static_cast<const char*>(data), len, &raw);
        converted.reset(raw);
        if (derLen <= 0 || !raw) return code(kCatCodec, VCL_R_DECODE_BASE64);
        der = raw;
    } else if (encoding != VCL_CMS_DER) {
        return code(kCatCodec, VCL_R_UNSUPPORTED_ENCODING);
    }
    Node node(decodeToDERSequence(der, derLen));
    if (!node) return code(kCatCodec, kDerToAsn1);
    CMS_CONTENT_INFO* cms = nullptr;
    if (Seq_to_CMS_CONTENT_INFO(node.get(), &cms) != 0 || !cms) {
        free_CMS_CONTENT_INFO(cms);
        return code(kCatCodec, kSeqToCms);
    }
    out.reset(cms);
    return 0;
}

int open(int cat, int inEncoding, const void* message, int len, Message& out) {
    if (len <= 0) return code(cat, VCL_R_ZERO_LENGTH);
    if (!message) return code(cat, VCL_R_NULL_PARAM);
    return decode(inEncoding, message, len, out);
}

}  // namespace zcore::cms

extern "C" {

VCL_API int VCL_CMS_encode_cms(const CMS_CONTENT_INFO* cms, int encoding, char** out, int* out_len) {
    if (!cms || !out || !out_len) return code(kCatCodec, VCL_R_NULL_PARAM);
    if (!knownEncoding(encoding)) return code(kCatCodec, VCL_R_UNSUPPORTED_ENCODING);
    ASN1_UNIT* raw = nullptr;
    if (CMS_CONTENT_INFO_to_Seq(cms, &raw) != 0 || !raw) {
        free_ASN1_UNIT(raw);
        return code(kCatCodec, kEncode);
    }
    zcore::Node node(raw);
    unsigned char* bytes = nullptr;
    const int n = ASN1_to_binary(node.get(), &bytes);
    zcore::VscPtr<unsigned char> der(bytes);
    if (n <= 0 || !der) return code(kCatCodec, kToBinary);
    if (isBase64(encoding)) {
        char* text = nullptr;
        const int t = VCL_Base64_Encode(der.get(), n, &text, encoding == VCL_CMS_BASE64_LINES);
        if (t <= 0 || !text) {
            std::free(text);
            return code(kCatCodec, VCL_R_ENCODE_BASE64);
        }
        *out = text;
        *out_len = t;
        return 0;
    }
    return zcore::handOut(bytesOf(der.get(), n), out, out_len) ? 0 : code(kCatCodec, VCL_R_MALLOC);
}

VCL_API int VCL_CMS_decode_cms(int encoding, const void* data, int len, CMS_CONTENT_INFO** cms) {
    if (!cms) return code(kCatCodec, VCL_R_NULL_PARAM);
    Message decoded;
    if (int rc = decode(encoding, data, len, decoded); rc != 0) return rc;
    *cms = decoded.release();
    return 0;
}

VCL_API int VCL_CMS_Check_Format(int in_encoding, const void* message, int length) {
    Message cms;
    return decode(in_encoding, message, length, cms);
}

VCL_API int VCL_CMS_Make_Signed_Data(const void* data, int data_len, const PKISTRINFO* signer, int kind,
                                     const char* hash_name, const ASN1_TIME* sign_time, int version, int encoding,
                                     char** out, int* out_len) {
    return VCL_CMS_Make_Signed_Data_With_AttrOption(data, data_len, signer, kind, hash_name, sign_time, version,
                                                    encoding, 1, out, out_len);
}

VCL_API int VCL_CMS_Make_Signed_Data_With_AttrOption(const void* data, int data_len, const PKISTRINFO* signer, int kind,
                                                     const char* hash_name, const ASN1_TIME* sign_time, int version,
                                                     int encoding, int attr_flag, char** out, int* out_len) {
    const SignRequest r{signer, kind, hash_name, 0, sign_time, version, attr_flag == 1, true};
    return makeSigned(bytesOf(data, data_len), r, encoding, out, out_len);
}

VCL_API int VCL_CMS_Add_Signed_Data(int in_encoding, const void* message, int length, const PKISTRINFO* signer,
                                    int kind, const char* hash_name, const ASN1_TIME* sign_time, int version,
                                    int encoding, char** out, int* out_len) {
    if (length <= 0 || !message) return code(kCatMake, VCL_R_ZERO_LENGTH);
    if (int rc = checkSigner(signer); rc != 0) return rc;
    if (!out || !out_len) return code(kCatMake, VCL_R_NULL_PARAM);
    SignRequest r{signer, kind, hash_name, 0, sign_time, version, true, false};
    if (int rc = VCL_PK7_name_to_oid(hash_name, &r.digestRow); rc != 0) return rc;
    Message cms;
    if (int rc = decode(in_encoding, message, length, cms); rc != 0) return rc;
    // The new signer signs the content the message carries: without it
    // there is nothing to sign.
    const OCTET_STRING* carried = carriedContent(cms.get());
    if (!carried || !carried->data || carried->length <= 0) return code(kCatMake, kNoContent);
    Secret content(bytesOf(carried->data, carried->length));
    if (int rc = signInto(cms.get(), content.view(), r); rc != 0) return rc;
    return VCL_CMS_encode_cms(cms.get(), encoding, out, out_len);
}

VCL_API int VCL_CMS_Verify_Signed_Data(int in_encoding, const void* message, int length, char** content,
                                       int* content_len) {
    Message cms;
    if (int rc = open(kCatVerify, in_encoding, message, length, cms); rc != 0) return rc;
    if (!content || !content_len) return code(kCatVerify, VCL_R_NULL_PARAM);
    // Every signer against its certificate in the message, over the content
    // it carries; a detached message has nothing to check here.
    if (!signedData(cms.get()) || verify_CMS(cms.get(), nullptr, nullptr, 0) != 0) return code(kCatVerify, kVerify);
    const OCTET_STRING* carried = carriedContent(cms.get());
    if (!carried || !carried->data || carried->length <= 0) return code(kCatVerify, kNoContent);
    return zcore::handOut(bytesOf(carried->data, carried->length), content, content_len)
               ? 0
               : code(kCatVerify, VCL_R_MALLOC);
}

VCL_API int VCL_CMS_Get_Signer_Count(int in_encoding, const void* message, int length, int* count) {
    if (count) *count = 0;
    Message cms;
    if (int rc = open(kCatSigner, in_encoding, message, length, cms); rc != 0) return rc;
    if (!count) return code(kCatSigner, VCL_R_NULL_PARAM);
    const CMS_SIGNED_DATA* sd = signedData(cms.get());
    if (!sd) return code(kCatSigner, kNoSigner);
    *count = get_STACK_count(sd->signerInfos);
    return 0;
}

VCL_API int VCL_CMS_Get_Signer_Certs(int in_encoding, const void* message, int length, int index, int encoding,
                                     char** cert, int* cert_len) {
    constexpr int cat = kCatSigner;
    // Both outputs are cleared: a caller that reads them after a failure
    // finds nothing.
    if (cert) *cert = nullptr;
    if (cert_len) *cert_len = 0;
    Message cms;
    if (int rc = open(cat, in_encoding, message, length, cms); rc != 0) return rc;
    if (!cert || !cert_len) return code(cat, VCL_R_NULL_PARAM);
    // The signer's certificate is looked up whatever position it holds in
    // the list: two signers may share one certificate, or the list may hold
    // others too.
    const CMS_SIGNER_INFO* si = signerAt(cms.get(), index);
    if (!si) return code(cat, kNoSigner);
    const X509_CERT* x509 = certOfSigner(signedData(cms.get()), si);
    if (!x509) return code(cat, kNoSignerCert);
    ASN1_UNIT* raw = nullptr;
    if (X509_CERT_to_Seq(x509, &raw) != 0 || !raw) {
        free_ASN1_UNIT(raw);
        return code(cat, kCertToSeq);
    }
    zcore::Node node(raw);
    unsigned char* bytes = nullptr;
    const int n = ASN1_to_binary(node.get(), &bytes);
    zcore::VscPtr<unsigned char> der(bytes);
    if (n <= 0 || !der) return code(cat, kToBinary);
    if (encoding == VCL_PK7_DER)
        return zcore::handOut(bytesOf(der.get(), n), cert, cert_len) ? 0 : code(cat, VCL_R_MALLOC);
    if (encoding == VCL_PK7_PEM) return VCL_X509_Conv_Cert2PEM(der.get(), n, cert, cert_len);
    return code(cat, VCL_R_UNSUPPORTED_ENCODING);
}

VCL_API int VCL_CMS_Get_Sign_Time(int in_encoding, const void* message, int length, int index, char* text) {
    constexpr int cat = kCatTime;
    Message cms;
    if (int rc = open(cat, in_encoding, message, length, cms); rc != 0) return rc;
    if (!text) return code(cat, VCL_R_NULL_PARAM);
    const CMS_SIGNER_INFO* si = signerAt(cms.get(), index);
    if (!si) return code(cat, kNoSigner);
    if (!si->signedAttrs) return code(cat, kTimeConvert);
    ASN1_STRING* raw = nullptr;
    if (int rc = VCL_X509_attributes_get_asn1_string(si->signedAttrs, kRowSigningTime, &raw); rc != 0) return rc;
    zcore::Asn1String value(raw);
    char buffer[VCL_CMS_SIGN_TIME_TEXT_SIZE];
    if (!zcore::p7::utcText(value.get(), buffer)) return code(cat, kTimeConvert);
    std::memcpy(text, buffer, sizeof buffer);
    return 0;
}

}  // extern "C"
