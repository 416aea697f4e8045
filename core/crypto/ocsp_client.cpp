// The OCSP client: a request for one certificate, signed or not, and the
// reading of a response into a status under the trust its caller gives.
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <zunCore/crypto.h>
#include <zunCore/ocsp.h>
#include <zunCore/x509_check.h>
#include <zunCore/x509_conv.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/x509/certpath.h>
#include <zunPKI/x509/x509_name.h>
#include <zunPKI/x509/x509v3_constraints.h>

#include "crypto/ocsp_internal.hpp"
#include "crypto/x509_internal.hpp"

namespace {

using zcore::code;
using namespace zcore::ocsp;

// Reasons of the client (their texts are the table's or "Unknown").
constexpr int kNewRequest = 0x100;
constexpr int kCertDecode = 0x101;
constexpr int kSignerDecode = 0x103;
constexpr int kKeyRead = 0x104;
constexpr int kSign = 0x106;
constexpr int kEncode = 0x107;
constexpr int kToBinary = 0x108;
constexpr int kNotResponse = 0x109;
constexpr int kStatus = 0x110;
constexpr int kNoBasic = 0x111;
constexpr int kUntrusted = 0x112;
constexpr int kNoSingle = 0x114;
constexpr int kNewResponse = 0x117;
constexpr int kSignerCert = 0x119;

constexpr char kBasicConstraints[] = "2.5.29.19";
constexpr char kExtKeyUsage[] = "2.5.29.37";
constexpr char kOcspSigning[] = "1.3.6.1.5.5.7.3.9";

using zcore::x509::Cert;

bool oidIs(const OBJECT_IDENTIFIER* oid, std::string_view text) {
    return oid && oid->data && static_cast<size_t>(oid->length) == text.size() &&
           std::memcmp(oid->data, text.data(), text.size()) == 0;
}

const X509_EXTENSION* extension(const X509_CERT* c, std::string_view oid) {
    const X509_EXTENSIONS* list = c && c->tbs ? c->tbs->extensions : nullptr;
    for (int i = 0; i < get_X509_EXTENSION_count(list); ++i)
        if (oidIs(get_X509_EXTENSION(list, i)->extnID, oid)) return get_X509_EXTENSION(list, i);
    return nullptr;
}

template <typename T, PKI_ERROR (*Decode)(const ASN1_UNIT*, T**), void (*Free)(T*)>
zcore::Owned<T, Free> extensionBody(const X509_CERT* c, std::string_view oid) {
    const X509_EXTENSION* ext = extension(c, oid);
    if (!ext || !ext->extnValue) return nullptr;
    zcore::Node node(decodeToDERSequence(ext->extnValue->data, ext->extnValue->length));
    T* value = nullptr;
    if (!node || Decode(node.get(), &value) != 0) {
        Free(value);
        return nullptr;
    }
    return zcore::Owned<T, Free>(value);
}

bool isCa(const X509_CERT* c) {
    auto bc = extensionBody<BASIC_CONSTRAINTS, Seq_to_BASIC_CONSTRAINTS, free_BASIC_CONSTRAINTS>(c, kBasicConstraints);
    return bc && bc->cA;
}

bool mayAnswerOcsp(const X509_CERT* c) {
    auto eku = extensionBody<EXTENDED_KEY_USAGE, Seq_to_EXTENDED_KEY_USAGE, free_EXTENDED_KEY_USAGE>(c, kExtKeyUsage);
    for (int i = 0; eku && i < get_STACK_count(eku.get()); ++i)
        if (oidIs(static_cast<const OBJECT_IDENTIFIER*>(get_STACK_value(eku.get(), i)), kOcspSigning)) return true;
    return false;
}

// A certificate that ca issued (name and signature) and that is valid now.
bool issuedAndValid(const X509_CERT* c, const X509_CERT* ca) {
    if (cmp_X509_NAME_canonical(get_X509_issuer(c), get_X509_subject(ca)) != 0) return false;
    if (verify_SIG_X509_CERT(c, get_X509_SPKI(ca)) != 0) return false;
    zcore::x509::Own<X509_TIME, free_X509_TIME> now(zcore::x509::timeOf(zcore::x509::clockNow()));
    return now && verify_X509_validity(c, now.get()) == 0;
}

struct Trust {
    bool ok = false;
    bool delegated = false;  // signed by a responder the caller's certificate issued
};

// RFC 6960 4.2.2.2: the response is signed by the trusted certificate
// itself, or by a responder it issued for this purpose.
Trust trustOf(const BASIC_OCSP_RESPONSE* basic, const X509_CERT* trusted, int padMode, const unsigned char* nonce,
              int nonceLen) {
    if (verify_BASIC_OCSP_RESPONSE_Ex(basic, trusted, padMode, nonce, nonceLen) == 0) return {true, false};
    for (int i = 0; i < get_STACK_count(basic->certs); ++i) {
        const auto* c = static_cast<const X509_CERT*>(get_STACK_value(basic->certs, i));
        if (!c || !mayAnswerOcsp(c) || !issuedAndValid(c, trusted)) continue;
        if (verify_BASIC_OCSP_RESPONSE_Ex(basic, c, padMode, nonce, nonceLen) == 0) return {true, true};
    }
    return {};
}

bool sameBytes(const OCTET_STRING* s, const unsigned char* bytes, int len) {
    return s && s->data && len > 0 && s->length == len && std::memcmp(s->data, bytes, static_cast<size_t>(len)) == 0;
}

// Whether a CertID names ca as the issuer: the hashes of its name and key
// under the CertID's own digest.
bool namesIssuer(const OCSP_CERT_ID* id, const X509_CERT* ca) {
    if (!id || !id->hashAlgorithm) return false;
    const int digest = get_DigestID_from_OID(index_from_OBJECT_IDENTIFIER(id->hashAlgorithm->algorithm));
    if (digest == 0) return false;
    unsigned char hash[VSC_MAX_DIGEST_LENGTH];
    int n = 0;
    if (hash_X509_NAME(get_X509_subject(ca), digest, hash, &n) != 0 || !sameBytes(id->issuerNameHash, hash, n))
        return false;
    n = get_X509_PUBLIC_KEY_hash(ca, digest, hash);
    return n > 1 && sameBytes(id->issuerKeyHash, hash, n);
}

const OCSP_SINGLE_RESPONSE* singleAt(const BASIC_OCSP_RESPONSE* basic, int i) {
    const OCSP_RESPONSE_DATA* data = basic->tbsResponseData;
    return data ? static_cast<const OCSP_SINGLE_RESPONSE*>(get_STACK_value(data->responses, i)) : nullptr;
}

int singleCount(const BASIC_OCSP_RESPONSE* basic) {
    return basic->tbsResponseData ? get_STACK_count(basic->tbsResponseData->responses) : 0;
}

// The SingleResponse the caller's status comes from: one about a
// certificate ca issued when the trusted certificate is that CA, else the
// only one.
const OCSP_SINGLE_RESPONSE* chosenSingle(const BASIC_OCSP_RESPONSE* basic, const X509_CERT* ca) {
    if (ca) {
        for (int i = 0; i < singleCount(basic); ++i) {
            const OCSP_SINGLE_RESPONSE* s = singleAt(basic, i);
            if (s && namesIssuer(s->certID, ca)) return s;
        }
        return nullptr;
    }
    return singleCount(basic) == 1 ? singleAt(basic, 0) : nullptr;
}

bool instantOf(const GENERALIZED_TIME* t, Time64_T& out) {
    if (!t) return false;
    X509_TIME time{X509_TIME_GENERALIZED, const_cast<GENERALIZED_TIME*>(t)};
    return zcore::x509::instantOf(&time, 0, out);
}

// The answer is recent: thisUpdate not in the future and nextUpdate, when
// given, not in the past, each within the clock skew.
bool fresh(const OCSP_SINGLE_RESPONSE* s) {
    const Time64_T now = zcore::x509::clockNow();
    Time64_T thisUpdate = 0, nextUpdate = 0;
    if (!instantOf(s->thisUpdate, thisUpdate) || thisUpdate > now + VCL_OCSP_CLOCK_SKEW) return false;
    if (s->nextUpdate && (!instantOf(s->nextUpdate, nextUpdate) || nextUpdate < now - VCL_OCSP_CLOCK_SKEW))
        return false;
    return true;
}

// The revocation date in Korean time and the reason's text.
void revocationTexts(const OCSP_REVOKED_INFO* info, char* dateOut, char* reasonOut) {
    if (dateOut) {
        dateOut[0] = '\0';
        X509_TIME t{X509_TIME_GENERALIZED, info ? info->revocationTime : nullptr};
        char* gmt = nullptr;
        if (info && info->revocationTime && VCL_X509_time_to_str(&t, "00", &gmt) == 0 && gmt) {
            char korean[VCL_OCSP_DATE_SIZE];
            if (VCL_GenTime_To_LocalTime(gmt, korean) == 0) std::memcpy(dateOut, korean, sizeof korean);
        }
        std::free(gmt);
    }
    if (reasonOut) {
        std::memset(reasonOut, 0, VCL_OCSP_REASON_SIZE);
        VCL_Get_Revoked_Reason(info ? info->revocationReason : -1, reasonOut);
    }
}

int request(std::string_view certBytes, std::string_view signerCert, std::string_view signerKey, const char* password,
            int pwLen, const char* hashName, int padMode, const unsigned char* nonce, int nonceLen, unsigned char** req,
            int* reqLen) {
    if (!req || !reqLen) return code(kCatRequest, VCL_R_NULL_PARAM);
    Request request(new_OCSP_REQUEST());
    if (!request) return code(kCatRequest, kNewRequest);
    int digest = VSC_DIGEST_SHA1;
    if (hashName) {
        if (int rc = VCL_COM_convert_hash_name(hashName, &digest); rc != 0) return rc;
    }
    // The certificate, and its issuer's when the caller gives it after it.
    const Split parts = splitFirst(certBytes);
    Cert cert, issuer;
    if (certBytes.empty() || zcore::decodeCert(parts.first.data(), static_cast<int>(parts.first.size()), cert) != 0)
        return code(kCatRequest, kCertDecode);
    if (!zcore::trimmed(parts.rest).empty() &&
        zcore::decodeCert(parts.rest.data(), static_cast<int>(parts.rest.size()), issuer) != 0)
        return code(kCatRequest, kCertDecode);
    if (int rc = generate_single_OCSP_REQUEST_Ex(request.get(), cert.get(), issuer.get(), digest, nonce, nonceLen);
        rc != 0)
        return rc;
    if (!signerCert.empty() && !signerKey.empty()) {
        Cert signer;
        if (zcore::decodeCert(signerCert.data(), static_cast<int>(signerCert.size()), signer) != 0)
            return code(kCatRequest, kSignerDecode);
        zcore::P8Info key;
        if (int reason = readPrivateKey(signerKey.data(), static_cast<int>(signerKey.size()), password, pwLen,
                                        {kKeyRead, kKeyRead}, key);
            reason != 0)
            return code(kCatRequest, reason);
        if (sign_OCSP_REQUEST_Ex(request.get(), signer.get(), key.get(), signatureDigest(signer.get(), digest),
                                 padMode) != 0)
            return code(kCatRequest, kSign);
    }
    ASN1_UNIT* raw = nullptr;
    if (OCSP_REQUEST_to_Seq(request.get(), &raw) != 0 || !raw) {
        free_ASN1_UNIT(raw);
        return code(kCatRequest, kEncode);
    }
    zcore::Node node(raw);
    unsigned char* bytes = nullptr;
    const int n = ASN1_to_binary(node.get(), &bytes);
    zcore::VscPtr<unsigned char> der(bytes);
    if (n <= 0 || !der) return code(kCatRequest, kToBinary);
    return zcore::handOut(zcore::viewOf(der, n), req, reqLen) ? 0 : code(kCatRequest, VCL_R_MALLOC);
}

}  // namespace

extern "C" {

VCL_API int VCL_OCSP_Single_Request_Ex(const void* cert, int cert_len, const void* signer_cert, int signer_cert_len,
                                       const void* signer_key, int signer_key_len, const char* password, int pw_len,
                                       const char* hash_name, int pad_mode, const unsigned char* nonce, int nonce_len,
                                       unsigned char** req, int* req_len) {
    return request(zcore::viewOf(cert, cert_len), zcore::viewOf(signer_cert, signer_cert_len),
                   zcore::viewOf(signer_key, signer_key_len), password, pw_len, hash_name, pad_mode, nonce, nonce_len,
                   req, req_len);
}

VCL_API int VCL_OCSP_Single_Request(const void* cert, int cert_len, const void* signer_cert, int signer_cert_len,
                                    const void* signer_key, int signer_key_len, const char* password, int pw_len,
                                    const unsigned char* nonce, int nonce_len, unsigned char** req, int* req_len) {
    return VCL_OCSP_Single_Request_Ex(cert, cert_len, signer_cert, signer_cert_len, signer_key, signer_key_len,
                                      password, pw_len, "SHA1", VSC_RSASSA_PKCS1_V15, nonce, nonce_len, req, req_len);
}

VCL_API int VCL_OCSP_Response_Ex(const void* resp, int resp_len, const void* signer_cert, int signer_cert_len,
                                 int verify, int pad_mode, const unsigned char* nonce, int nonce_len, int* resp_status,
                                 int* cert_status, char* date_out, char* reason_out) {
    // Nothing reads as good until the response is read through.
    if (cert_status) *cert_status = VCL_OCSP_UNKNOWN;
    if (!resp_status || !cert_status || (!nonce && nonce_len > 0)) return code(kCatResponse, VCL_R_NULL_PARAM);
    Response response;
    if (!resp || resp_len <= 0) return code(kCatResponse, kNotResponse);
    if (const PKI_ERROR rc = readDer<OCSP_RESPONSE, Seq_to_OCSP_RESPONSE, free_OCSP_RESPONSE>(resp, resp_len, response);
        rc != 0)
        return code(kCatResponse, rc == VSC_ERR_MEMORY ? kNewResponse : kNotResponse);
    *resp_status = response->responseStatus;
    if (response->responseStatus != OCSP_RESPONSE_SUCCESSFUL) return code(kCatResponse, kStatus);
    Basic basic(get_BASIC_OCSP_RESPONSE(response->responseBytes));
    if (!basic) return code(kCatResponse, kNoBasic);
    Cert trusted;
    if (signer_cert && signer_cert_len > 0 && zcore::decodeCert(signer_cert, signer_cert_len, trusted) != 0)
        return code(kCatRequest, kSignerCert);
    Trust trust;
    if (verify != 0) {
        if (!trusted) return code(kCatResponse, kUntrusted);
        trust = trustOf(basic.get(), trusted.get(), pad_mode, nonce, nonce_len);
        if (!trust.ok) return code(kCatResponse, kUntrusted);
    }
    // A CA (or the CA that delegated the responder) answers for the
    // certificates it issued only.
    const bool asCa = trusted && (trust.delegated || isCa(trusted.get()));
    const OCSP_SINGLE_RESPONSE* single = chosenSingle(basic.get(), asCa ? trusted.get() : nullptr);
    if (!single || !single->certStatus) return code(kCatResponse, kNoSingle);
    if (verify != 0 && !fresh(single)) return code(kCatResponse, kUntrusted);
    const int status = single->certStatus->status;
    if (status == VCL_OCSP_REVOKED) revocationTexts(single->certStatus->revokedInfo, date_out, reason_out);
    *cert_status = status;
    return 0;
}

VCL_API int VCL_OCSP_Response(const void* resp, int resp_len, const void* signer_cert, int signer_cert_len,
                              const unsigned char* nonce, int nonce_len, int* resp_status, int* cert_status,
                              char* date_out, char* reason_out) {
    return VCL_OCSP_Response_Ex(resp, resp_len, signer_cert, signer_cert_len, 1, VSC_RSASSA_PKCS1_V15, nonce, nonce_len,
                                resp_status, cert_status, date_out, reason_out);
}

}  // extern "C"
