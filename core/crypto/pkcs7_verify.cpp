// PKCS#7 verification and signer queries: signatures over carried or given
// content or over the attributes alone, the number of signers, a signer's
// certificate, public key, signature and signing time, and the first
// signer's certificate with its message digest.
#include <cstdio>
#include <string>
#include <string_view>

#include <zunCore/pkcs7.h>
#include <zunCore/util.h>
#include <zunCore/x509_conv.h>
#include <zunCore/x509_info.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/time64.h>
#include <zunPKI/x509/issuer_and_serial_number.h>

#include "crypto/pkcs7_internal.hpp"
#include "crypto/x509_internal.hpp"

namespace {

using zcore::code;
using namespace zcore::p7;

// The common start of the queries: length, pointer, decoding.
int open(int cat, int inEncoding, const void* message, int len, ContentInfo& p7) {
    if (len <= 0) return code(cat, VCL_R_ZERO_LENGTH);
    if (!message) return code(cat, VCL_R_NULL_PARAM);
    return decode(inEncoding, message, len, p7);
}

// The signer at index and its certificate in the message (null when the
// message lacks it): 0, or reason 0x29 for no such signer.
int signerOf(P7_CONTENT_INFO* p7, int index, int cat, P7_SIGNER_INFO*& si, const X509_CERT*& cert) {
    SignerView v;
    si = signerView(p7, v) ? signerAt(v, index) : nullptr;
    if (!si) return code(cat, kNoSigner);
    cert = find_X509_CERT_by_IssuerAndSerialNumber(v.certs, si->issuerAndSerialNumber);
    return 0;
}

// Verification over the content carried or given, then a copy of it.
int verifyAndCopy(P7_CONTENT_INFO* p7, std::string_view given, char** content, int* contentLen) {
    // Other bytes than the signed ones must not come back verified: given
    // data are checked against carried content too.
    if (!signedData(p7) ||
        verify_PKCS7(p7, nullptr, given.empty() ? nullptr : given.data(), static_cast<int>(given.size())) != 0)
        return code(kCatVerify, kVerify);
    const OCTET_STRING* carried = carriedContent(p7);
    const std::string_view bytes = carried ? bytesOf(carried->data, carried->length) : given;
    if (bytes.empty()) return code(kCatVerify, kNoContent);
    return zcore::handOut(bytes, content, contentLen) ? 0 : code(kCatVerify, VCL_R_MALLOC);
}

// The DER of a certificate in bytes of the crypto layer.
int certDer(const X509_CERT* cert, int cat, zcore::Secret& out) {
    ASN1_UNIT* raw = nullptr;
    if (X509_CERT_to_Seq(cert, &raw) != 0 || !raw) {
        free_ASN1_UNIT(raw);
        return code(cat, kCertToSeq);
    }
    zcore::Node node(raw);
    unsigned char* bytes = nullptr;
    const int n = ASN1_to_binary(node.get(), &bytes);
    zcore::VscPtr<unsigned char> der(bytes);
    if (n <= 0 || !der) return code(cat, kToBinary);
    out.assign(der.get(), static_cast<size_t>(n));
    return 0;
}

// A DER INTEGER of a non-negative big integer appended to out.
bool appendInteger(const BIGINT* value, std::string& out) {
    if (!value) return false;
    const int bits = VSC_Get_BIGINT_Bits_Length(value);
    std::string contents(static_cast<size_t>((bits + 8) / 8), '\0');
    const int n = VSC_BIGINT_To_Binary(value, reinterpret_cast<unsigned char*>(contents.data()));
    if (n <= 0 || static_cast<size_t>(n) > contents.size()) return false;
    contents.resize(static_cast<size_t>(n));
    out += static_cast<char>(ASN1_TAG_INTEGER);
    const size_t len = contents.size();
    if (len < 0x80) {
        out += static_cast<char>(len);
    } else {
        std::string octets;
        for (size_t l = len; l; l >>= 8) octets.insert(octets.begin(), static_cast<char>(l & 0xff));
        out += static_cast<char>(0x80 | octets.size());
        out += octets;
    }
    out += contents;
    return true;
}

std::string sequenceOf(const std::string& contents) {
    std::string out(1, static_cast<char>(0x30));
    const size_t len = contents.size();
    if (len < 0x80) {
        out += static_cast<char>(len);
    } else {
        std::string octets;
        for (size_t l = len; l; l >>= 8) octets.insert(octets.begin(), static_cast<char>(l & 0xff));
        out += static_cast<char>(0x80 | octets.size());
        out += octets;
    }
    return out + contents;
}

// The signingTime value as the UTC text "YYYY/MM/DD hh:mm:ss".
bool utcText(const ASN1_STRING* value, char* text) {
    if (!value) return false;
    X509_TIME t{};
    if (value->type == ASN1_TAG_UTC_TIME) {
        t.type = X509_TIME_UTC;
    } else if (value->type == ASN1_TAG_GENERALIZED_TIME) {
        t.type = X509_TIME_GENERALIZED;
    } else {
        return false;
    }
    t.value = const_cast<ASN1_STRING*>(value);
    Time64_T instant = 0;
    struct TM utc {};
    if (!zcore::x509::instantOf(&t, 0, instant) || !gmtime64_r(&instant, &utc)) return false;
    const long long year = static_cast<long long>(utc.tm_year) + 1900;
    if (year < 0 || year > 9999) return false;
    std::snprintf(text, VCL_PK7_SIGN_TIME_TEXT_SIZE, "%04lld/%02d/%02d %02d:%02d:%02d", year, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return true;
}

}  // namespace

extern "C" {

VCL_API int VCL_PK7_Verify_Signed_Data(int in_encoding, const void* message, int message_len, char** content,
                                       int* content_len) {
    ContentInfo p7;
    if (int rc = open(kCatVerify, in_encoding, message, message_len, p7); rc != 0) return rc;
    if (!content || !content_len) return code(kCatVerify, VCL_R_NULL_PARAM);
    return verifyAndCopy(p7.get(), {}, content, content_len);
}

VCL_API int VCL_PK7_Verify_Signed_Data_With_Add_Cert_Data(int in_encoding, const void* message, int message_len,
                                                          const void* cert, int cert_len, const void* data,
                                                          int data_len, char** content, int* content_len) {
    ContentInfo p7;
    if (int rc = open(kCatVerify, in_encoding, message, message_len, p7); rc != 0) return rc;
    if (!content || !content_len) return code(kCatVerify, VCL_R_NULL_PARAM);
    if (cert && cert_len > 0) {
        X509_CERT* raw = nullptr;
        const int rc = VCL_X509_conv_cert2x509(cert, cert_len, &raw);
        zcore::Cert x509(raw);
        if (rc != 0) return rc;
        if (!signedData(p7.get())) return code(kCatVerify, kVerify);
        if (add_PKCS7_Certificate(p7.get(), x509.get()) != 0) return code(kCatMake, kSetCert);
    }
    return verifyAndCopy(p7.get(), bytesOf(data, data_len), content, content_len);
}

VCL_API int VCL_PK7_Verify_Signed_Data_WithOut_Plain(int in_encoding, const void* message, int message_len) {
    ContentInfo p7;
    if (int rc = open(kCatVerify, in_encoding, message, message_len, p7); rc != 0) return rc;
    if (!signedData(p7.get()) || verify_PKCS7(p7.get(), nullptr, nullptr, -1) != 0) return code(kCatVerify, kVerify);
    return 0;
}

VCL_API int VCL_PK7_Get_Signer_Count(int in_encoding, const void* message, int message_len, int* count) {
    if (count) *count = 0;
    ContentInfo p7;
    if (int rc = open(kCatSigner, in_encoding, message, message_len, p7); rc != 0) return rc;
    if (!count) return code(kCatSigner, VCL_R_NULL_PARAM);
    SignerView v;
    if (!signerView(p7.get(), v)) return code(kCatSigner, kNoSigner);
    *count = get_STACK_count(v.signers);
    return 0;
}

VCL_API int VCL_PK7_Get_Signer_Certs(int in_encoding, const void* message, int message_len, int index, int encoding,
                                     char** cert, int* cert_len) {
    constexpr int cat = kCatSigner;
    if (cert) *cert = nullptr;
    if (cert_len) *cert_len = 0;
    ContentInfo p7;
    if (int rc = open(cat, in_encoding, message, message_len, p7); rc != 0) return rc;
    if (!cert || !cert_len) return code(cat, VCL_R_NULL_PARAM);
    P7_SIGNER_INFO* si = nullptr;
    const X509_CERT* x509 = nullptr;
    if (int rc = signerOf(p7.get(), index, cat, si, x509); rc != 0) return rc;
    if (!x509) return code(cat, kNoSignerCert);
    zcore::Secret der;
    if (int rc = certDer(x509, cat, der); rc != 0) return rc;
    if (encoding == VCL_PK7_DER) return zcore::handOut(der.view(), cert, cert_len) ? 0 : code(cat, VCL_R_MALLOC);
    if (encoding == VCL_PK7_PEM) return VCL_X509_Conv_Cert2PEM(der.data(), der.size(), cert, cert_len);
    return code(cat, VCL_R_UNSUPPORTED_ENCODING);
}

VCL_API int VCL_PK7_Get_PubKey(int in_encoding, const void* message, int message_len, int index, char** key,
                               int* key_len) {
    constexpr int cat = kCatPubKey;
    if (key) *key = nullptr;
    if (key_len) *key_len = 0;
    ContentInfo p7;
    if (int rc = open(cat, in_encoding, message, message_len, p7); rc != 0) return rc;
    if (!key || !key_len) return code(cat, VCL_R_NULL_PARAM);
    P7_SIGNER_INFO* si = nullptr;
    const X509_CERT* x509 = nullptr;
    if (int rc = signerOf(p7.get(), index, cat, si, x509); rc != 0) return rc;
    if (!x509) return code(cat, kNoSignerCert);
    const X509_PUBKEY* spki = get_X509_SPKI(x509);
    const ASYMMETRIC_KEY* pub = spki ? spki->key : nullptr;
    if (!pub || !pub->key) return code(cat, kNoPublicKey);
    std::string contents;
    if (pub->kind == ASYMMETRIC_KEY_RSA) {
        const auto* rsa = static_cast<const RSA_UNIT*>(pub->key);
        if (!appendInteger(rsa->n, contents) || !appendInteger(rsa->e, contents)) return code(cat, kAddInteger);
    } else if (pub->kind == ASYMMETRIC_KEY_KCDSA) {
        if (!appendInteger(static_cast<const KCDSA_UNIT*>(pub->key)->y, contents)) return code(cat, kAddInteger);
    } else {
        return code(cat, kUnknownKey);
    }
    if (contents.empty()) return code(cat, kEmptyEncoding);
    return zcore::handOut(sequenceOf(contents), key, key_len) ? 0 : code(cat, VCL_R_MALLOC);
}

VCL_API int VCL_PK7_Get_EncDigest(int in_encoding, const void* message, int message_len, int index, char** sig,
                                  int* sig_len) {
    constexpr int cat = kCatEncDigest;
    if (sig) *sig = nullptr;
    if (sig_len) *sig_len = 0;
    ContentInfo p7;
    if (int rc = open(cat, in_encoding, message, message_len, p7); rc != 0) return rc;
    if (!sig || !sig_len) return code(cat, VCL_R_NULL_PARAM);
    P7_SIGNER_INFO* si = nullptr;
    const X509_CERT* x509 = nullptr;
    if (int rc = signerOf(p7.get(), index, cat, si, x509); rc != 0) return rc;
    const OCTET_STRING* value = si->encryptedDigest;
    if (!value || !value->data || value->length <= 0) return code(cat, VCL_R_NOT_FOUND);
    return zcore::handOut(bytesOf(value->data, value->length), sig, sig_len) ? 0 : code(cat, VCL_R_MALLOC);
}

VCL_API int VCL_PK7_Get_Sign_Time(int in_encoding, const void* message, int message_len, int index, char* text) {
    constexpr int cat = kCatTime;
    ContentInfo p7;
    if (int rc = open(cat, in_encoding, message, message_len, p7); rc != 0) return rc;
    if (!text) return code(cat, VCL_R_NULL_PARAM);
    P7_SIGNER_INFO* si = nullptr;
    const X509_CERT* x509 = nullptr;
    if (int rc = signerOf(p7.get(), index, cat, si, x509); rc != 0) return rc;
    ASN1_STRING* raw = nullptr;
    if (int rc = VCL_X509_attributes_get_asn1_string(si->authenticatedAttributes, kRowSigningTime, &raw); rc != 0)
        return rc;
    zcore::Asn1String value(raw);
    // Printed as the message holds it, in UTC: the local calendar time the
    // conversion functions give would carry the host's zone.
    char buffer[VCL_PK7_SIGN_TIME_TEXT_SIZE];
    if (!utcText(value.get(), buffer)) return code(cat, kTimeConvert);
    std::memcpy(text, buffer, sizeof buffer);
    return 0;
}

VCL_API int VCL_PK7_Get_CertDataAndMessageDigest(int in_encoding, const void* p7_data, int p7_len, char** cert_der,
                                                 int* cert_len, char** digest, int* digest_len, char** subject_dn) {
    constexpr int cat = kCatEncDigest;
    ContentInfo p7;
    if (int rc = open(cat, in_encoding, p7_data, p7_len, p7); rc != 0) return rc;
    if (!cert_der || !cert_len || !digest || !digest_len || !subject_dn) return code(cat, VCL_R_NULL_PARAM);
    P7_SIGNER_INFO* si = nullptr;
    const X509_CERT* x509 = nullptr;
    if (int rc = signerOf(p7.get(), 0, cat, si, x509); rc != 0) return rc;
    if (!x509) return code(cat, kNoSignerCert);
    zcore::Secret der;
    if (int rc = certDer(x509, cat, der); rc != 0) return rc;
    ASN1_STRING* raw = nullptr;
    if (si->authenticatedAttributes &&
        VCL_X509_attributes_get_asn1_string(si->authenticatedAttributes, kRowMessageDigest, &raw) != 0)
        return code(cat, VCL_R_NOT_FOUND);
    zcore::Asn1String md(raw);
    if (!md || !md->data || md->length <= 0) return code(cat, VCL_R_NOT_FOUND);
    X509_Info* rawInfo = nullptr;
    const int rc = VCL_X509_Init_X509_Info(der.data(), der.size(), '|', &rawInfo);
    zcore::x509::Info info(rawInfo);
    if (rc != 0) return rc;
    char* subject = nullptr;
    if (int r = VCL_X509_Info_Get_SubjectDN(info.get(), &subject); r != 0) return r;
    zcore::MallocPtr<char> subjectText(subject);
    // Copies of their own, released with VCL_Free: nothing of the message
    // outlives the call.
    char *c = nullptr, *d = nullptr, *s = nullptr;
    int cLen = 0, dLen = 0, sLen = 0;
    if (!zcore::handOut(der.view(), &c, &cLen) || !zcore::handOut(bytesOf(md->data, md->length), &d, &dLen) ||
        !zcore::handOut(subject ? std::string_view(subject) : std::string_view(), &s, &sLen)) {
        std::free(c);
        std::free(d);
        std::free(s);
        return code(cat, VCL_R_MALLOC);
    }
    *cert_der = c;
    *cert_len = cLen;
    *digest = d;
    *digest_len = dLen;
    *subject_dn = s;
    return 0;
}

}  // extern "C"
