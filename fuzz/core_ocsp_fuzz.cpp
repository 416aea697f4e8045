// The core's OCSP client and responder on arbitrary bytes. A responder
// certificate and key are made at start-up, and with them a signed response
// that answers "good" to a request of our own.
// Properties:
// - as a response (and as the start-up response with the input written
//   over it): whatever VCL_OCSP_Response_Ex accepts under the start-up
//   certificate reads "good", as signed; a revoked status comes with a date
//   of 14 digits; the status is unknown whenever the call fails;
// - as a request: what parses has entries, a nonce of 1 to 64 bytes and a
//   signer certificate that decodes; each entry's texts are upper-case hex
//   (the key hash two digits a byte, the serial signed); the index past
//   the last is refused; an entry answered by our responder with the
//   request's nonce is read back by our client with the status written.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>

#include <zunCore/keys.h>
#include <zunCore/ocsp.h>
#include <zunCore/util.h>
#include <zunCore/x509_conv.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/pkcs/pkcs1.h>
#include <zunPKI/x509/x509_cert.h>

#include "core_selfsigned.hpp"

namespace {

using corefuzz::check;

const unsigned char kNonce[] = "fuzz nonce 0123";
constexpr int kNonceLen = 15;

struct Responder {
    std::string cert, key, response;
};

std::string take(unsigned char* p, int n) {
    std::string s = p && n > 0 ? std::string(reinterpret_cast<char*>(p), static_cast<size_t>(n)) : std::string();
    VCL_Free(p, n);
    return s;
}

// The response data for a single request (DER) with one entry of status,
// signed by the start-up responder; empty when a step fails.
std::string answer(const Responder& r, const std::string& single, const unsigned char* nonce, int nonceLen,
                   int status) {
    unsigned char *rd = nullptr, *next = nullptr, *key = nullptr, *resp = nullptr;
    int rdLen = 0, nextLen = 0, keyLen = 0, respLen = 0;
    std::string out;
    if (VCL_Make_OCSP_response_init(r.cert.data(), static_cast<int>(r.cert.size()), nonce, nonceLen, &rd, &rdLen) ==
            0 &&
        VCL_Make_OCSP_response_update(rd, rdLen, single.data(), static_cast<int>(single.size()), nullptr, 0, status,
                                      &next, &nextLen) == 0 &&
        VCL_Priv_to_key_unit(r.key.data(), static_cast<int>(r.key.size()), "", &key, &keyLen) == 0 &&
        VCL_Make_OCSP_response_final(next, nextLen, r.cert.data(), static_cast<int>(r.cert.size()), key, keyLen,
                                     VSC_DIGEST_SHA256, 0, &resp, &respLen) == 0)
        out = take(resp, respLen);
    VCL_Free(rd, rdLen);
    VCL_Free(next, nextLen);
    VSC_FREE(key);
    return out;
}

// A self-signed RSA certificate, its PKCS#1 key, and a good answer about it.
Responder makeResponder() {
    const corefuzz::SelfSigned made = corefuzz::makeSelfSigned("ocsp", "440101000000Z");
    Responder r;
    r.cert = made.cert;
    r.key = made.key;

    // A request about the certificate itself (its own issuer), signed.
    const std::string chain = r.cert + r.cert;
    unsigned char *req = nullptr, *signer = nullptr, *nonce = nullptr, *single = nullptr;
    int reqLen = 0, signerLen = 0, nonceLen = 0, count = 0, singleLen = 0;
    check(VCL_OCSP_Single_Request_Ex(chain.data(), static_cast<int>(chain.size()), r.cert.data(),
                                     static_cast<int>(r.cert.size()), r.key.data(), static_cast<int>(r.key.size()), "",
                                     0, "SHA256", 1, kNonce, kNonceLen, &req, &reqLen) == 0);
    check(VCL_Parsing_OCSP_request(req, reqLen, 1, &signer, &signerLen, &nonce, &nonceLen, &count) == 0 && count == 1);
    check(VCL_Get_OCSP_request_from_list(req, reqLen, 0, &single, &singleLen) == 0);
    r.response = answer(r, take(single, singleLen), nonce, nonceLen, VCL_OCSP_GOOD);
    check(!r.response.empty());
    VCL_Free(req, reqLen);
    VCL_Free(signer, signerLen);
    VCL_Free(nonce, nonceLen);
    return r;
}

const Responder& responder() {
    static const Responder r = makeResponder();
    return r;
}

bool isHex(const char* t) {
    if (!t || !*t) return false;
    for (; *t; ++t)
        if (!std::isxdigit(static_cast<unsigned char>(*t)) || std::islower(static_cast<unsigned char>(*t)))
            return false;
    return true;
}

// Reads a response under the start-up certificate: accepted means what the
// start-up responder signed.
void readResponse(const std::string& resp, const unsigned char* nonce, int nonceLen, int expected) {
    const Responder& r = responder();
    for (int verify : {1, 0}) {
        int respStatus = -1, certStatus = -1;
        char date[VCL_OCSP_DATE_SIZE + 1] = {}, reason[VCL_OCSP_REASON_SIZE + 1] = {};
        const int rc = VCL_OCSP_Response_Ex(resp.data(), static_cast<int>(resp.size()), r.cert.data(),
                                            static_cast<int>(r.cert.size()), verify, 1, nonce, nonceLen, &respStatus,
                                            &certStatus, date, reason);
        if (rc != 0) {
            check(certStatus == VCL_OCSP_UNKNOWN);
            continue;
        }
        check(respStatus == 0 && certStatus >= 0 && certStatus <= 2);
        if (verify) check(certStatus == expected);
        if (certStatus == VCL_OCSP_REVOKED && date[0] != '\0') {
            check(std::strlen(date) == 14);
            for (int i = 0; i < 14; ++i) check(std::isdigit(static_cast<unsigned char>(date[i])));
        }
    }
}

void parseRequest(const uint8_t* data, int len) {
    const Responder& r = responder();
    for (int verify : {0, 1}) {
        unsigned char *signer = nullptr, *nonce = nullptr;
        int signerLen = 0, nonceLen = 0, count = -1;
        const int rc = VCL_Parsing_OCSP_request(data, len, verify, &signer, &signerLen, &nonce, &nonceLen, &count);
        if (rc != 0) {
            check(!signer && !nonce && count == 0);
            continue;
        }
        check(count > 0 && nonceLen > 0 && nonceLen <= 64 && signerLen > 0);
        X509_CERT* cert = nullptr;
        check(VCL_X509_conv_cert2x509(signer, signerLen, &cert) == 0);
        free_X509_CERT(cert);
        for (int i = 0; i <= count && i < 4; ++i) {
            unsigned char* single = nullptr;
            int singleLen = 0;
            const int got = VCL_Get_OCSP_request_from_list(data, len, i, &single, &singleLen);
            if (i == count) {
                check(static_cast<unsigned>(got) == 0xd0090133u);
                break;
            }
            check(got == 0);
            char *serial = nullptr, *keyHash = nullptr;
            if (VCL_Get_single_requet_info(single, singleLen, &serial, &keyHash) == 0) {
                // A negative serial keeps its sign.
                check(isHex(serial[0] == '-' ? serial + 1 : serial) && isHex(keyHash) && std::strlen(keyHash) % 2 == 0);
                VCL_Free(serial, static_cast<int>(std::strlen(serial)));
                VCL_Free(keyHash, static_cast<int>(std::strlen(keyHash)));
            }
            // Answered with the request's nonce, read back as written.
            if (verify && i == 0) {
                const int status = len % 2 ? VCL_OCSP_GOOD : VCL_OCSP_UNKNOWN;
                const std::string resp = answer(r, take(single, singleLen), nonce, nonceLen, status);
                single = nullptr;
                if (!resp.empty()) readResponse(resp, nonce, nonceLen, status);
            }
            VCL_Free(single, singleLen);
        }
        VCL_Free(signer, signerLen);
        VCL_Free(nonce, nonceLen);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    const int len = static_cast<int>(size);
    const Responder& r = responder();
    const std::string input(reinterpret_cast<const char*>(data), size);
    readResponse(input, kNonce, kNonceLen, VCL_OCSP_GOOD);
    // The start-up response with the input written over it from the
    // position its first byte names.
    if (size > 1) {
        std::string changed = r.response;
        const size_t at = static_cast<unsigned char>(data[0]) * changed.size() / 256;
        const size_t n = std::min(size - 1, changed.size() - at);
        std::memcpy(changed.data() + at, data + 1, n);
        readResponse(changed, kNonce, kNonceLen, VCL_OCSP_GOOD);
    }
    parseRequest(data, len);
    return 0;
}
