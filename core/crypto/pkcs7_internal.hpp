// Helpers shared by the PKCS#7 sources of libzunCore: owners of libzunPKI's
// message records, the codes of each family, the signing time, the
// authenticated attributes and the encrypted VID random, and the views of a
// decoded message.
#pragma once

#include <string_view>

#include <zunCore/error.h>
#include <zunCore/keys.h>
#include <zunCore/pkcs7.h>
#include <zunPKI/asn1/asn1.h>
#include <zunPKI/pkcs/pkcs7.h>
#include <zunPKI/pkcs/pkcs7_env.h>
#include <zunPKI/pkcs/pkcs7_sign.h>

#include "crypto/keys_internal.hpp"

namespace zcore::p7 {

using ContentInfo = Owned<P7_CONTENT_INFO, free_P7_CONTENT_INFO>;
using UtcTime = Owned<UTC_TIME, free_UTC_TIME>;
using CalendarTime = Owned<ASN1_TIME, free_ASN1_TIME>;
using Algorithm = Owned<X509_ALGO_IDENTIFIER, free_X509_ALGO_IDENTIFIER>;
using SignerInfo = Owned<P7_SIGNER_INFO, free_P7_SIGNER_INFO>;

// Categories of the codes.
inline constexpr int kCatName = VCL_CAT_COMMON_IS_PEM;  // 0xb101, the name lookup
inline constexpr int kCatCodec = VCL_CAT_PKCS7_CMS_PK7_ENCODE_PKCS7;
inline constexpr int kCatMake = VCL_CAT_PKCS7_CMS_PK7_MAKE_SIGNED;
inline constexpr int kCatVerify = VCL_CAT_PKCS7_CMS_PK7_VERIFY_SIGNED;
inline constexpr int kCatSigner = VCL_CAT_PKCS7_CMS_PK7_GET_SIGNER_CERT;
inline constexpr int kCatTime = VCL_CAT_PKCS7_CMS_PK7_GET_SIGN_TIME;
inline constexpr int kCatMakeEnv = VCL_CAT_PKCS7_CMS_PK7_MAKE_ENVELOPED;
inline constexpr int kCatOpenEnv = VCL_CAT_PKCS7_CMS_PK7_VERIFY_ENVELOPED;
inline constexpr int kCatMakeSignedEnv = VCL_CAT_PKCS7_CMS_PK7_MAKE_SIGNED_ENVELOPED;
inline constexpr int kCatOpenSignedEnv = VCL_CAT_PKCS7_CMS_PK7_VERIFY_SIGNED_ENVELOPED;
inline constexpr int kCatPubKey = 0xa70d;
inline constexpr int kCatEncDigest = 0xa70e;
inline constexpr int kCatRandom = 0xa720;
inline constexpr int kCatMoreInfo = 0xa730;

// Reasons of the PKCS#7 families beyond those of error.h.
inline constexpr int kNoContent = 0x17;  // "plaindata length is zero"
inline constexpr int kNoSigner = 0x29;
inline constexpr int kTimeConvert = 0x2a;
inline constexpr int kNoSignerCert = 0x2d;
inline constexpr int kCertToSeq = 0x2e;
inline constexpr int kSetType = 0x33;
inline constexpr int kSetContent = 0x34;
inline constexpr int kMakeSigner = 0x35;
inline constexpr int kSetCert = 0x36;
inline constexpr int kSetContentType = 0x37;
inline constexpr int kSetSignTime = 0x38;
inline constexpr int kSetDigest = 0x39;
inline constexpr int kSign = 0x3a;
inline constexpr int kEncode = 0x3b;
inline constexpr int kToBinary = 0x3c;
inline constexpr int kDerToAsn1 = 0x3d;
inline constexpr int kSeqToP7 = 0x3e;
inline constexpr int kVerify = 0x3f;
inline constexpr int kEncodePem = 0x44;
inline constexpr int kDecodePem = 0x45;
inline constexpr int kGetOid = 0x46;
inline constexpr int kSetAlgorithm = 0x47;
inline constexpr int kSetRecipient = 0x48;
inline constexpr int kEncrypt = 0x49;
inline constexpr int kContentKey = 0x4a;
inline constexpr int kDecrypt = 0x4b;
inline constexpr int kSignEncrypt = 0x4d;
inline constexpr int kVerifyDecrypt = 0x4e;
inline constexpr int kUnknownKey = 0x6c;
inline constexpr int kNoPublicKey = 0x93;
inline constexpr int kSetVersion = 0x94;
inline constexpr int kAddInteger = 0x103;
inline constexpr int kEmptyEncoding = 0x104;
inline constexpr int kSetRandom = 0x11c;

// Object-identifier rows.
inline constexpr int kRowRsa = 6;
inline constexpr int kRowData = 21;
inline constexpr int kRowContentType = 50;
inline constexpr int kRowMessageDigest = 51;
inline constexpr int kRowSigningTime = 52;

// The private-key operation word of an RSA unit.
inline constexpr int kPrivateOperation = 7;

// Outputs the makers share.
struct Out {
    char** out;
    int* len;
};

// The flags of the signed-data makers.
struct Flags {
    int attr = 1;
    int cert = 1;
    int content = 1;
    int random = 0;
};

// Bytes given as pointer and length; empty for null or a length <= 0.
inline std::string_view bytesOf(const void* p, int n) {
    return p && n > 0 ? std::string_view(static_cast<const char*>(p), static_cast<size_t>(n)) : std::string_view();
}

// A certificate from DER or PEM bytes: VCL_X509_conv_cert2x509's code.
int certOf(const void* bytes, int len, Cert& out);
// A new signedData with an empty pkcs7-data content (codes of kCatMake).
int newSignedData(ContentInfo& p7);

// The row of a content type; 0 when it has none or none we know.
int typeRow(const P7_CONTENT_INFO* p7);
// The signedData a ContentInfo of type 22 holds; null otherwise.
P7_SIGNED_DATA* signedData(P7_CONTENT_INFO* p7);
// The data a signedData carries (its inner pkcs7-data OCTET STRING); null
// when detached or of another type.
const OCTET_STRING* carriedContent(P7_CONTENT_INFO* p7);
// Replaces the inner data of a signedData with a copy of bytes; false when
// memory is short.
bool setContent(P7_CONTENT_INFO* p7, std::string_view bytes);
// Takes the content out of a signedData (a detached signature; the inner
// contentType stays pkcs7-data).
void removeContent(P7_CONTENT_INFO* p7);

// The SignerInfos and certificates of a signedData or
// signedAndEnvelopedData; false for other types.
struct SignerView {
    P7_SIGNER_INFOS* signers = nullptr;
    X509_CERTIFICATES* certs = nullptr;
};
bool signerView(P7_CONTENT_INFO* p7, SignerView& v);
P7_SIGNER_INFO* signerAt(const SignerView& v, int index);

// The message in the encoding, decoded: VCL_PK7_decode_pkcs7.
int decode(int encoding, const void* data, int len, ContentInfo& out);
// DER bytes handed out in an encoding as VCL_PK7_encode_pkcs7 does.
int handOutDer(std::string_view der, int encoding, char** out, int* outLen);

// The UTCTime (YYMMDDhhmmssZ, the UTC instant) of a local calendar time or,
// for null, of now; null when the time cannot be had or UTCTime cannot say
// its year.
UtcTime signingTime(const ASN1_TIME* given);

// Authenticated attributes in their order: contentType (when asked),
// signingTime (when a time is given), messageDigest. Codes of cat.
int addAttributes(P7_SIGNER_INFO* si, bool contentType, const UTC_TIME* time, std::string_view digest, int cat);
// The DER (SET OF) of a SignerInfo's authenticated attributes into out.
bool attributesDer(const P7_SIGNER_INFO* si, Secret& out);

// The encrypted VID random (of the key, or for a token of its key field) as
// the unauthenticated attribute.
int addRandom(P7_SIGNER_INFO* si, const UTC_TIME* time, const PKISTRINFO* signer, bool token);

// The signer's certificate and opened key (RSA keys set to their
// private-key operation).
int openSigner(const PKISTRINFO* signer, Cert& cert, AsymKey& key);

// An RSA SignerInfo labelled by its digest (sha256WithRSAEncryption ...) as
// rsaEncryption; KCDSA and PSS labels stay.
bool relabelRsa(P7_SIGNER_INFO* si);

// 0 when every SignerInfo of the certificate verifies (over the content
// the message carries, else over the attributes alone); cat's kSign
// otherwise.
int checkSignature(P7_CONTENT_INFO* p7, const X509_CERT* cert, int cat);

}  // namespace zcore::p7
