// The core's PKCS#7 verification, signer queries and envelope opening on
// arbitrary bytes, as DER and as Base64. Properties: content that verifies
// is handed out and verifies again when given beside the message, while
// other given bytes do not; signer queries agree with the signer count
// (certificates decode, signing times keep their form, the index past the
// last is refused); a message that decodes encodes to DER that decodes to
// the same DER. A key, certificate and envelope made at start-up are opened
// with the input's bytes written over the envelope: the content comes back
// unchanged or the opening fails.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <zunCore/encode.h>
#include <zunCore/keys.h>
#include <zunCore/pkcs7.h>
#include <zunCore/util.h>
#include <zunCore/x509_conv.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/pkcs/pkcs1.h>
#include <zunPKI/x509/x509_cert.h>

#include "core_selfsigned.hpp"

namespace {

using corefuzz::check;

constexpr unsigned kVerifyFailed = 0xa705003fu;
const std::string kContent = "content of the envelope made at start-up";

struct Recipient {
    std::string cert, key, envelope;
};

// A self-signed RSA certificate, its PKCS#1 key, and an envelope for it.
Recipient makeRecipient() {
    const corefuzz::SelfSigned made = corefuzz::makeSelfSigned("fuzz", "340101000000Z");
    Recipient r;
    r.cert = made.cert;
    r.key = made.key;

    const CERT_ITEM item{reinterpret_cast<unsigned char*>(r.cert.data()), static_cast<int>(r.cert.size())};
    char* out = nullptr;
    int len = 0;
    check(VCL_PK7_Make_Enveloped_Data(kContent.data(), static_cast<int>(kContent.size()), &item, "AES128-CBC", nullptr,
                                      nullptr, VCL_PK7_DER, &out, &len, VCL_PK7_RSAES_PKCS1_V15) == 0);
    r.envelope.assign(out, static_cast<size_t>(len));
    VCL_Free(out, len);
    return r;
}

const Recipient& recipient() {
    static const Recipient r = makeRecipient();
    return r;
}

std::string take(char* p, int n) {
    std::string s = p && n > 0 ? std::string(p, static_cast<size_t>(n)) : std::string();
    VCL_Free(p, n);
    return s;
}

bool isTimeText(const char* t) {
    static const char kForm[] = "dddd/dd/dd dd:dd:dd";
    for (size_t i = 0; i < sizeof kForm; ++i) {
        if (kForm[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(t[i])) : t[i] != kForm[i]) return false;
    }
    return true;
}

void verifyAndQuery(int encoding, const char* msg, int len) {
    char* out = nullptr;
    int outLen = 0;
    if (VCL_PK7_Verify_Signed_Data(encoding, msg, len, &out, &outLen) == 0) {
        const std::string content = take(out, outLen);
        check(!content.empty());
        check(VCL_PK7_Verify_Signed_Data_With_Add_Cert_Data(encoding, msg, len, nullptr, 0, content.data(),
                                                            static_cast<int>(content.size()), &out, &outLen) == 0);
        check(take(out, outLen) == content);
        const std::string other = content + "x";
        check(static_cast<unsigned>(VCL_PK7_Verify_Signed_Data_With_Add_Cert_Data(
                  encoding, msg, len, nullptr, 0, other.data(), static_cast<int>(other.size()), &out, &outLen)) ==
              kVerifyFailed);
    }
    VCL_PK7_Verify_Signed_Data_WithOut_Plain(encoding, msg, len);

    int count = -1;
    if (VCL_PK7_Get_Signer_Count(encoding, msg, len, &count) != 0) {
        check(count == 0);
        return;
    }
    check(count >= 0);
    for (int i = 0; i <= count && i < 4; ++i) {
        const bool past = i == count;
        char* cert = nullptr;
        int certLen = 0;
        const int rc = VCL_PK7_Get_Signer_Certs(encoding, msg, len, i, VCL_PK7_DER, &cert, &certLen);
        check(!past || (static_cast<unsigned>(rc) & 0xffffu) == 0x29);
        if (rc == 0) {
            X509_CERT* x509 = nullptr;
            check(VCL_X509_conv_cert2x509(cert, certLen, &x509) == 0);
            free_X509_CERT(x509);
        } else {
            check(!cert && certLen == 0);
        }
        VCL_Free(cert, certLen);
        char* key = nullptr;
        int keyLen = 0;
        VCL_PK7_Get_PubKey(encoding, msg, len, i, &key, &keyLen);
        check(!key || (keyLen > 2 && key[0] == 0x30));
        VCL_Free(key, keyLen);
        char* sig = nullptr;
        int sigLen = 0;
        if (VCL_PK7_Get_EncDigest(encoding, msg, len, i, &sig, &sigLen) == 0) check(sigLen > 0);
        VCL_Free(sig, sigLen);
        char text[VCL_PK7_SIGN_TIME_TEXT_SIZE];
        std::memset(text, '?', sizeof text);
        if (VCL_PK7_Get_Sign_Time(encoding, msg, len, i, text) == 0) check(isTimeText(text));
    }
    char *cert = nullptr, *digest = nullptr, *subject = nullptr;
    int certLen = 0, digestLen = 0;
    if (VCL_PK7_Get_CertDataAndMessageDigest(encoding, msg, len, &cert, &certLen, &digest, &digestLen, &subject) == 0) {
        check(cert && certLen > 0 && digest && digestLen > 0 && subject);
        VCL_Free(cert, certLen);
        VCL_Free(digest, digestLen);
        VCL_Free(subject, static_cast<int>(std::strlen(subject)));
    }
}

// Decoding, encoding and the content without its ContentInfo.
void codecs(int encoding, const char* msg, int len) {
    char* out = nullptr;
    int outLen = 0;
    if (VCL_PK7_Remove_ContentType(encoding, msg, len, VCL_PK7_DER, &out, &outLen) == 0) check(outLen > 0);
    VCL_Free(out, outLen);
    P7_CONTENT_INFO* p7 = nullptr;
    const bool decodes = VCL_PK7_decode_pkcs7(encoding, msg, len, &p7) == 0;
    check(decodes == (VCL_PK7_Check_Format(encoding, msg, len) == 0));
    if (!decodes) return;
    char* der = nullptr;
    int derLen = 0;
    const int rc = VCL_PK7_encode_pkcs7(p7, VCL_PK7_DER, &der, &derLen);
    free_P7_CONTENT_INFO(p7);
    if (rc != 0) return;
    const std::string first = take(der, derLen);
    p7 = nullptr;
    check(VCL_PK7_decode_pkcs7(VCL_PK7_DER, first.data(), static_cast<int>(first.size()), &p7) == 0);
    check(VCL_PK7_encode_pkcs7(p7, VCL_PK7_DER, &der, &derLen) == 0);
    free_P7_CONTENT_INFO(p7);
    check(take(der, derLen) == first);
}

// The input read as (offset, byte) pairs written over the envelope.
void openEnvelope(const uint8_t* data, size_t size) {
    const Recipient& r = recipient();
    std::string msg = r.envelope;
    for (size_t i = 0; i + 2 < size && i < 24; i += 3)
        msg[(static_cast<size_t>(data[i]) << 8 | data[i + 1]) % msg.size()] = static_cast<char>(data[i + 2]);
    char* content = nullptr;
    int contentLen = 0;
    unsigned char key[128], iv[128];
    int keyLen = 0, ivLen = 0;
    if (VCL_PK7_Verify_Enveloped_Data(VCL_PK7_DER, msg.data(), static_cast<int>(msg.size()), r.cert.data(),
                                      static_cast<int>(r.cert.size()), r.key.data(), static_cast<int>(r.key.size()),
                                      nullptr, key, &keyLen, iv, &ivLen, &content, &contentLen) == 0) {
        check(keyLen > 0 && keyLen <= 32 && ivLen >= 0 && ivLen <= 16);
        // A change that left the ciphertext alone leaves the content too.
        if (msg == r.envelope)
            check(take(content, contentLen) == kContent);
        else
            VCL_Free(content, contentLen);
    } else {
        check(!content && contentLen == 0);
    }
    VCL_PK7_Verify_Signed_And_Enveloped_Data(VCL_PK7_DER, msg.data(), static_cast<int>(msg.size()), r.cert.data(),
                                             static_cast<int>(r.cert.size()), r.key.data(),
                                             static_cast<int>(r.key.size()), nullptr, nullptr, nullptr, nullptr,
                                             nullptr, &content, &contentLen);
    VCL_Free(content, contentLen);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1u << 20)) return 0;
    const int len = static_cast<int>(size);
    const auto* msg = reinterpret_cast<const char*>(data);
    verifyAndQuery(VCL_PK7_DER, msg, len);
    codecs(VCL_PK7_DER, msg, len);
    // The same bytes as Base64, and as text that claims to be Base64 or PEM.
    char* text = nullptr;
    const int textLen = VCL_Base64_Encode(data, len, &text, 1);
    if (textLen > 0) {
        verifyAndQuery(VCL_PK7_BASE64_LINES, text, textLen);
        codecs(VCL_PK7_BASE64_LINES, text, textLen);
    }
    VCL_Free(text, textLen);
    codecs(VCL_PK7_BASE64, msg, len);
    codecs(VCL_PK7_PEM, msg, len);
    openEnvelope(data, size);
    return 0;
}
