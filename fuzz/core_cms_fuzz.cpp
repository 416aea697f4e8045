// The core's CMS verification, signer queries, codec and envelope opening
// on arbitrary bytes, as DER and as Base64. Properties: verified content is
// handed out; signer queries agree with the signer count (certificates
// decode, signing times keep their form, the index past the last is
// refused); a message that decodes encodes to DER that decodes to the same
// DER. A key and certificate made at start-up sign and envelope a content;
// with the input written over the signed message, what verifies hands out
// that content; over the envelope, what opens is no longer than the
// ciphertext.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <zunCore/cms.h>
#include <zunCore/keys.h>
#include <zunCore/util.h>
#include <zunCore/x509_conv.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/pkcs/pkcs1.h>
#include <zunPKI/x509/x509_cert.h>

#include "core_selfsigned.hpp"

namespace {

using corefuzz::check;

const std::string kContent = "content of the messages made at start-up";

struct Party {
    std::string cert, key, signedMessage, envelope;
};

std::string take(char* p, int n) {
    std::string s = p && n > 0 ? std::string(p, static_cast<size_t>(n)) : std::string();
    VCL_Free(p, n);
    return s;
}

// A self-signed RSA certificate, its PKCS#1 key, a message it signed and an
// envelope for it.
Party makeParty() {
    const corefuzz::SelfSigned made = corefuzz::makeSelfSigned("cms", "440101000000Z");
    Party p;
    p.cert = made.cert;
    p.key = made.key;

    PKISTRINFO* signer = VCL_PK1_New_PKISTRINFO();
    check(VCL_PK1_Set_PKISTRINFO(signer, p.cert.data(), static_cast<int>(p.cert.size()), p.key.data(),
                                 static_cast<int>(p.key.size()), "") == 0);
    char* out = nullptr;
    int len = 0;
    check(VCL_CMS_Make_Signed_Data(kContent.data(), static_cast<int>(kContent.size()), signer, VCL_CMS_SIGN_PKCS1,
                                   "SHA256", nullptr, 1, VCL_CMS_DER, &out, &len) == 0);
    p.signedMessage = take(out, len);
    VCL_PK1_Free_PKISTRINFO(signer);
    const CERT_ITEM item{reinterpret_cast<unsigned char*>(p.cert.data()), static_cast<int>(p.cert.size())};
    check(VCL_CMS_Make_Enveloped_Data(kContent.data(), static_cast<int>(kContent.size()), 21, &item, "AES128-CBC",
                                      nullptr, nullptr, VCL_CMS_DER, &out, &len, 32) == 0);
    p.envelope = take(out, len);
    return p;
}

const Party& party() {
    static const Party p = makeParty();
    return p;
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
    if (VCL_CMS_Verify_Signed_Data(encoding, msg, len, &out, &outLen) == 0) check(!take(out, outLen).empty());
    int count = -1;
    if (VCL_CMS_Get_Signer_Count(encoding, msg, len, &count) != 0) {
        check(count == 0);
        return;
    }
    check(count >= 0);
    for (int i = 0; i <= count && i < 4; ++i) {
        char* cert = nullptr;
        int certLen = 0;
        const int rc = VCL_CMS_Get_Signer_Certs(encoding, msg, len, i, VCL_CMS_DER, &cert, &certLen);
        check(i < count || static_cast<unsigned>(rc) == 0xa7160029u);
        if (rc == 0) {
            X509_CERT* x509 = nullptr;
            check(VCL_X509_conv_cert2x509(cert, certLen, &x509) == 0);
            free_X509_CERT(x509);
        } else {
            check(!cert && certLen == 0);
        }
        VCL_Free(cert, certLen);
        char text[VCL_CMS_SIGN_TIME_TEXT_SIZE];
        std::memset(text, '?', sizeof text);
        if (VCL_CMS_Get_Sign_Time(encoding, msg, len, i, text) == 0) check(isTimeText(text));
    }
}

void codecs(int encoding, const char* msg, int len) {
    CMS_CONTENT_INFO* cms = nullptr;
    const bool decodes = VCL_CMS_decode_cms(encoding, msg, len, &cms) == 0;
    check(decodes == (VCL_CMS_Check_Format(encoding, msg, len) == 0));
    if (!decodes) return;
    char* der = nullptr;
    int derLen = 0;
    const int rc = VCL_CMS_encode_cms(cms, VCL_CMS_DER, &der, &derLen);
    free_CMS_CONTENT_INFO(cms);
    if (rc != 0) return;
    const std::string first = take(der, derLen);
    cms = nullptr;
    check(VCL_CMS_decode_cms(VCL_CMS_DER, first.data(), static_cast<int>(first.size()), &cms) == 0);
    check(VCL_CMS_encode_cms(cms, VCL_CMS_DER, &der, &derLen) == 0);
    free_CMS_CONTENT_INFO(cms);
    check(take(der, derLen) == first);
}

// A start-up message with the input's bytes written over it from the
// position the first byte names.
std::string overwritten(const std::string& message, const uint8_t* data, size_t size) {
    std::string changed = message;
    if (size < 2) return changed;
    const size_t at = static_cast<unsigned char>(data[0]) * changed.size() / 256;
    std::memcpy(changed.data() + at, data + 1, std::min(size - 1, changed.size() - at));
    return changed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    const int len = static_cast<int>(size);
    const char* msg = reinterpret_cast<const char*>(data);
    for (int encoding : {VCL_CMS_DER, VCL_CMS_BASE64}) {
        verifyAndQuery(encoding, msg, len);
        codecs(encoding, msg, len);
    }
    const Party& p = party();
    const std::string signedChanged = overwritten(p.signedMessage, data, size);
    char* out = nullptr;
    int outLen = 0;
    if (VCL_CMS_Verify_Signed_Data(VCL_CMS_DER, signedChanged.data(), static_cast<int>(signedChanged.size()), &out,
                                   &outLen) == 0)
        check(take(out, outLen) == kContent);
    const std::string envelope = overwritten(p.envelope, data, size);
    if (VCL_CMS_Verify_Enveloped_Data(VCL_CMS_DER, envelope.data(), static_cast<int>(envelope.size()), p.cert.data(),
                                      static_cast<int>(p.cert.size()), p.key.data(), static_cast<int>(p.key.size()), "",
                                      nullptr, nullptr, nullptr, nullptr, &out, &outLen) == 0) {
        // Bytes written over the ciphertext may still unpad: then the
        // content differs, but never runs past the ciphertext.
        const std::string content = take(out, outLen);
        check(content.size() <= envelope.size());
    }
    return 0;
}
