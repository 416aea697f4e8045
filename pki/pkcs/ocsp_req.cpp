// OCSP requests: the records described once (the TBSRequest and the request
// keeping the DER received), building a request with its nonce, signing, and
// on the responder side reading, verifying and walking a request.
#include <climits>
#include <cstring>

#include <zunPKI/asn1/asn1_objects.h>
#include "pkcs/ocsp.hpp"
#include "x509/x509v3_body.hpp"

using namespace zpki::asn1;
using zpki::Owned;
namespace ber = zpki::ber;
using zpki::ocsp::code;
using zpki::ocsp::ExtensionsField;
using zpki::ocsp::Made;

namespace {

constexpr unsigned L = L_GENERALIZED_TIME;
constexpr int kRandomNonce = 16;

}  // namespace

template <>
struct zpki::asn1::Describe<OCSP_SINGLE_REQUEST> {
    using T = OCSP_SINGLE_REQUEST;
    using Shape = Sequence<Field<&T::reqCert, Made<OCSP_CERT_ID>>,  //
                           Field<&T::singleRequestExtensions, ExtensionsField<0>>>;
    static constexpr unsigned kEncodeFunc = L | F_OCSP_SINGLE_REQUEST_TO_SEQ;
};

template <>
struct zpki::asn1::Describe<OCSP_TBS_REQUEST> {
    using T = OCSP_TBS_REQUEST;
    using Shape = Sequence<Field<&T::version, Default<Explicit<0, SmallInt<>>, 0>>,
                           Field<&T::requestorName, Optional<Explicit<1, zpki::x509v3::GeneralNameCodec>>>,
                           Field<&T::requestList, zpki::ocsp::NonEmpty<Sub<OCSP_SINGLE_REQUEST>>>,
                           Field<&T::requestExtensions, ExtensionsField<2>>>;
    static constexpr auto kReceived = &T::received;
    static constexpr unsigned kEncodeFunc = L | F_OCSP_TBS_REQUEST_TO_SEQ;
};

template <>
struct zpki::asn1::Describe<OCSP_SIGNATURE> {
    using T = OCSP_SIGNATURE;
    using Shape = Sequence<Field<&T::signatureAlgorithm, Made<X509_ALGO_IDENTIFIER>>,  //
                           Field<&T::signature, BitString>,                            //
                           Field<&T::certs, zpki::ocsp::CertsField>>;
};

namespace {

// optionalSignature [0]: written only when the record holds an algorithm
// and a value; a request always has the record (empty when absent).
struct SignatureField : Explicit<0, Made<OCSP_SIGNATURE>> {
    using WriteOwner = SignatureField;
    static constexpr bool kOptional = true;
    static bool present(OCSP_SIGNATURE* const& v) {
        return v && v->signature && v->signatureAlgorithm && v->signatureAlgorithm->algorithm;
    }
    static bool whenAbsent(OCSP_SIGNATURE*& v) { return (v = Family<OCSP_SIGNATURE>::create()) != nullptr; }
    static bool init(OCSP_SIGNATURE*& v) { return whenAbsent(v); }
};

}  // namespace

template <>
struct zpki::asn1::Describe<OCSP_REQUEST> {
    using T = OCSP_REQUEST;
    using Shape = Sequence<Field<&T::tbsRequest, Made<OCSP_TBS_REQUEST>>,  //
                           Field<&T::optionalSignature, SignatureField>>;
    static constexpr auto kReceived = &T::received;
    static constexpr unsigned kEncodeFunc = L | F_OCSP_REQUEST_TO_SEQ;
};

namespace {

using Single = Family<OCSP_SINGLE_REQUEST>;
using Tbs = Family<OCSP_TBS_REQUEST>;
using Signature = Family<OCSP_SIGNATURE>;
using Request = Family<OCSP_REQUEST>;
using SingleOwned = Owned<OCSP_SINGLE_REQUEST, Single::destroy>;
using TbsOwned = Owned<OCSP_TBS_REQUEST, Tbs::destroy>;

// A record back to what new_X makes.
template <class T>
void renew(T* r) {
    Family<T>::clean(r);
    if (r) Family<T>::Ops::init(*r);
}

void dropReceived(OCSP_REQUEST* request) {
    detail::RecordOps<OCSP_REQUEST>::forget(*request);
    if (request->tbsRequest) detail::RecordOps<OCSP_TBS_REQUEST>::forget(*request->tbsRequest);
}

// The TBSRequest a builder adds to (made when missing).
OCSP_TBS_REQUEST* tbsFor(OCSP_REQUEST* request) {
    if (!request->tbsRequest) request->tbsRequest = Tbs::create();
    return request->tbsRequest;
}

bool isSigned(const OCSP_REQUEST* request) { return request && SignatureField::present(request->optionalSignature); }

// A nonce argument: null (random bytes then) or 1 to 64 bytes.
bool nonceUsable(const unsigned char* nonce, int len) { return !nonce || (len > 0 && len <= OCSP_MAX_NONCE_LENGTH); }

// Sets the request's one nonce: the caller's or random bytes.
int putNonce(OCSP_TBS_REQUEST* tbs, const unsigned char* nonce, int len) {
    unsigned char random[kRandomNonce];
    if (!nonce) {
        if (int rc = VSC_Rand_Bytes(random, kRandomNonce)) return rc;
        nonce = random;
        len = kRandomNonce;
    }
    return zpki::ocsp::setNonce(tbs->requestExtensions, nonce, len) ? 0 : code(F_OCSP_GENERATE_REQUEST, ERR_R_ALLOC_3C);
}

// A Request for cert appended to the TBSRequest; 0 or a code.
int appendRequest(OCSP_TBS_REQUEST* tbs, const X509_CERT* cert, const X509_CERT* issuer, int digest) {
    constexpr unsigned F = F_OCSP_GENERATE_REQUEST;
    OCSP_CERT_ID* id = nullptr;
    if (unsigned reason = zpki::ocsp::makeCertId(cert, issuer, digest, id)) return code(F, reason);
    SingleOwned single(Single::create());
    if (!single) {
        free_OCSP_CERT_ID(id);
        return code(F, ERR_R_ALLOC_3C);
    }
    free_OCSP_CERT_ID(single->reqCert);
    single->reqCert = id;
    if (!tbs->requestList && !(tbs->requestList = new_STACK())) return code(F, ERR_R_ALLOC_3C);
    if (push_STACK_value(tbs->requestList, single.get()) == 0) return code(F, ERR_STK_ERROR);
    (void)single.release();
    tbs->version = 0;
    return 0;
}

}  // namespace

extern "C" {

// ===========================================================================
// Records

ZUNPKI_API OCSP_SINGLE_REQUEST* new_OCSP_SINGLE_REQUEST(void) { return Single::create(); }
ZUNPKI_API void free_OCSP_SINGLE_REQUEST(OCSP_SINGLE_REQUEST* single) { Single::destroy(single); }
ZUNPKI_API void clean_OCSP_SINGLE_REQUEST(OCSP_SINGLE_REQUEST* single) { renew(single); }
ZUNPKI_API OCSP_TBS_REQUEST* new_OCSP_TBS_REQUEST(void) { return Tbs::create(); }
ZUNPKI_API void free_OCSP_TBS_REQUEST(OCSP_TBS_REQUEST* tbs) { Tbs::destroy(tbs); }
ZUNPKI_API void clean_OCSP_TBS_REQUEST(OCSP_TBS_REQUEST* tbs) { renew(tbs); }
ZUNPKI_API OCSP_SIGNATURE* new_OCSP_SIGNATURE(void) { return Signature::create(); }
ZUNPKI_API void free_OCSP_SIGNATURE(OCSP_SIGNATURE* sig) { Signature::destroy(sig); }
ZUNPKI_API void clean_OCSP_SIGNATURE(OCSP_SIGNATURE* sig) { renew(sig); }
ZUNPKI_API OCSP_REQUEST* new_OCSP_REQUEST(void) { return Request::create(); }
ZUNPKI_API void free_OCSP_REQUEST(OCSP_REQUEST* request) { Request::destroy(request); }
ZUNPKI_API void clean_OCSP_REQUEST(OCSP_REQUEST* request) { renew(request); }
ZUNPKI_API OCSP_REQUEST* dup_OCSP_REQUEST(const OCSP_REQUEST* request) { return Request::dup(request); }
ZUNPKI_API void touch_OCSP_REQUEST(OCSP_REQUEST* request) {
    if (request) dropReceived(request);
}

// ===========================================================================
// Building

ZUNPKI_API int generate_single_OCSP_REQUEST_Ex(OCSP_REQUEST* request, const X509_CERT* cert, const X509_CERT* issuer,
                                               int digestId, const unsigned char* nonce, int nonceLen) {
    constexpr unsigned F = F_OCSP_GENERATE_REQUEST;
    if (!request) return code(F, 0x12);
    if (!cert) return code(F, 0x11);
    if (!nonceUsable(nonce, nonceLen)) return code(F, ERR_R_INVALID_ELEMENT);
    OCSP_TBS_REQUEST* tbs = tbsFor(request);
    if (!tbs) return code(F, ERR_R_ALLOC_3C);
    dropReceived(request);
    if (int rc = appendRequest(tbs, cert, issuer, digestId)) return rc;
    return putNonce(tbs, nonce, nonceLen);
}

ZUNPKI_API int generate_single_OCSP_REQUEST(OCSP_REQUEST* request, const X509_CERT* cert, const X509_CERT* issuer,
                                            const unsigned char* nonce, int nonceLen) {
    return generate_single_OCSP_REQUEST_Ex(request, cert, issuer, VSC_DIGEST_SHA1, nonce, nonceLen);
}

ZUNPKI_API int generate_multi_OCSP_REQUEST(OCSP_REQUEST* request, const STACK* certList, const X509_CERT* issuer,
                                           const unsigned char* nonce, int nonceLen) {
    constexpr unsigned F = F_OCSP_GENERATE_REQUEST;
    if (!request) return code(F, 0x12);
    if (!certList) return code(F, 0x11);
    if (!nonceUsable(nonce, nonceLen)) return code(F, ERR_R_INVALID_ELEMENT);
    OCSP_TBS_REQUEST* tbs = tbsFor(request);
    if (!tbs) return code(F, ERR_R_ALLOC_3C);
    dropReceived(request);
    for (int i = 0; i < get_STACK_count(certList); ++i) {
        const auto* cert = static_cast<const X509_CERT*>(get_STACK_value(certList, i));
        if (!cert) return code(F, 0x11);
        if (int rc = appendRequest(tbs, cert, issuer, VSC_DIGEST_SHA1)) return rc;
    }
    return putNonce(tbs, nonce, nonceLen);
}

ZUNPKI_API int sign_OCSP_REQUEST_Ex(OCSP_REQUEST* request, const X509_CERT* signerCert,
                                    const P8_PRIV_KEY_INFO* signerKey, int digestId, int paddingMode) {
    constexpr unsigned F = F_OCSP_GENERATE_REQUEST;
    if (!request) return code(F, 0x12);
    if (!request->tbsRequest) return code(F, 0xff);
    if (!signerCert || !signerKey) {
        free_GENERAL_NAME(request->tbsRequest->requestorName);
        request->tbsRequest->requestorName = nullptr;
        if (request->optionalSignature) renew(request->optionalSignature);
        dropReceived(request);
        return 0;
    }
    // The body is signed as it will be written: with the signer's name.
    TbsOwned tbs(Tbs::dup(request->tbsRequest));
    Owned<GENERAL_NAME, free_GENERAL_NAME> name(new_GENERAL_NAME());
    X509_NAME* subject = dup_X509_NAME(get_X509_subject(signerCert));
    if (!tbs || !name || !subject) {
        free_X509_NAME(subject);
        return code(F, ERR_R_ALLOC_3C);
    }
    name->type = GENERAL_NAME_DIRECTORY;
    name->value = subject;
    free_GENERAL_NAME(tbs->requestorName);
    tbs->requestorName = name.release();
    detail::RecordOps<OCSP_TBS_REQUEST>::forget(*tbs);
    ber::Bytes der;
    if (const int reason = Tbs::write(tbs.get(), der))
        return reason > 0xffff ? reason : code(F_OCSP_TBS_REQUEST_TO_SEQ, static_cast<unsigned>(reason));
    zpki::x509::Algorithm alg;
    String sig;
    if (PKI_ERROR rc =
            zpki::ocsp::signDer(der.data(), der.size(), signerCert, signerKey, digestId, paddingMode, L | F, alg, sig))
        return rc;
    if (!request->optionalSignature && !(request->optionalSignature = Signature::create()))
        return code(F, ERR_R_ALLOC_3C);
    OCSP_SIGNATURE* s = request->optionalSignature;
    if (!zpki::ocsp::carryOnce(s->certs, signerCert)) return code(F, ERR_R_ALLOC_3C);
    replace<free_X509_ALGO_IDENTIFIER>(s->signatureAlgorithm, alg.release());
    replace<free_ASN1_STRING>(s->signature, sig.release());
    Tbs::destroy(request->tbsRequest);
    request->tbsRequest = tbs.release();
    dropReceived(request);
    return 0;
}

ZUNPKI_API int sign_OCSP_REQUEST(OCSP_REQUEST* request, const X509_CERT* signerCert,
                                 const P8_PRIV_KEY_INFO* signerKey) {
    return sign_OCSP_REQUEST_Ex(request, signerCert, signerKey, VSC_DIGEST_SHA1, VSC_RSASSA_PKCS1_V15);
}

ZUNPKI_API int sign_OCSP_REQUEST_ex(OCSP_REQUEST* request, const X509_CERT* signerCert,
                                    const P8_PRIV_KEY_INFO* signerKey, int digestId) {
    return sign_OCSP_REQUEST_Ex(request, signerCert, signerKey, digestId, VSC_RSASSA_PKCS1_V15);
}

// ===========================================================================
// Codecs

ZUNPKI_API PKI_ERROR OCSP_SINGLE_REQUEST_to_Seq(const OCSP_SINGLE_REQUEST* single, ASN1_UNIT** node) {
    return zpki::ocsp::encodeRecord(single, node, F_OCSP_SINGLE_REQUEST_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_OCSP_SINGLE_REQUEST(const ASN1_UNIT* node, OCSP_SINGLE_REQUEST** single) {
    return zpki::ocsp::decodeRecord(node, single, F_SEQ_TO_OCSP_SINGLE_REQUEST, ERR_R_INVALID_ELEMENT);
}

ZUNPKI_API PKI_ERROR OCSP_TBS_REQUEST_to_Seq(const OCSP_TBS_REQUEST* tbs, ASN1_UNIT** node) {
    return zpki::ocsp::encodeRecord(tbs, node, F_OCSP_TBS_REQUEST_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_OCSP_TBS_REQUEST(const ASN1_UNIT* node, OCSP_REQUEST* request) {
    constexpr unsigned F = F_SEQ_TO_OCSP_TBS_REQUEST;
    if (!node || !request) return code(F, ERR_R_NULL_ARGUMENT);
    OCSP_TBS_REQUEST* made = nullptr;
    if (PKI_ERROR rc = zpki::ocsp::decodeRecord(node, &made, F, 0x1c)) return rc;
    Tbs::destroy(request->tbsRequest);
    request->tbsRequest = made;
    detail::RecordOps<OCSP_REQUEST>::forget(*request);
    return 0;
}

ZUNPKI_API PKI_ERROR OCSP_REQUEST_to_Seq(const OCSP_REQUEST* request, ASN1_UNIT** node) {
    return zpki::ocsp::encodeRecord(request, node, F_OCSP_REQUEST_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_OCSP_REQUEST(const ASN1_UNIT* node, OCSP_REQUEST** request) {
    return zpki::ocsp::decodeRecord(node, request, F_SEQ_TO_OCSP_REQUEST, 0x1c);
}

// ===========================================================================
// Reading

ZUNPKI_API int is_OCSP_REQUEST_signature(const OCSP_REQUEST* request) { return isSigned(request) ? 1 : 0; }

ZUNPKI_API X509_CERT* get_OCSP_REQUEST_signature_cert(const OCSP_REQUEST* request) {
    const OCSP_SIGNATURE* s = request ? request->optionalSignature : nullptr;
    return s ? static_cast<X509_CERT*>(get_STACK_value(s->certs, 0)) : nullptr;
}

ZUNPKI_API int verify_OCSP_REQUEST_Ex(const OCSP_REQUEST* request, int /*paddingMode*/) {
    constexpr unsigned F = F_SEQ_TO_OCSP_TBS_REQUEST;
    if (!request || !request->tbsRequest || !request->optionalSignature) return code(F, ERR_R_NULL_ARGUMENT);
    if (!isSigned(request)) return code(F, 0x1c);
    const OCSP_SIGNATURE* s = request->optionalSignature;
    const X509_CERT* signer = get_OCSP_REQUEST_signature_cert(request);
    if (!signer) return code(F, 0x1c);
    // The bytes the requestor signed, as they came.
    zpki::x509::DerBytes der;
    if (zpki::x509::derOfRecord(request->tbsRequest, der) != 0) return code(F, 0x1c);
    return zpki::ocsp::verifyDer(der.data, der.size, s->signatureAlgorithm, s->signature, signer, L | F, 0x1c,
                                 ERR_R_UNSUPPORTED);
}

ZUNPKI_API int verify_OCSP_REQUEST(const OCSP_REQUEST* request) {
    return verify_OCSP_REQUEST_Ex(request, VSC_RSASSA_PKCS1_V15);
}

ZUNPKI_API int get_OCSP_REQUEST_list_count(const OCSP_REQUEST* request) {
    return request && request->tbsRequest ? get_STACK_count(request->tbsRequest->requestList) : 0;
}

ZUNPKI_API int get_OCSP_REQUEST_list(const OCSP_REQUEST* request, OCSP_SINGLE_REQUEST** single, int index) {
    constexpr unsigned F = F_GET_OCSP_REQUEST_LIST;
    if (!request || !request->tbsRequest || !single || index < 0) return code(F, ERR_R_INVALID_ELEMENT);
    if (index >= get_OCSP_REQUEST_list_count(request)) return code(F, 0x1c);
    *single = static_cast<OCSP_SINGLE_REQUEST*>(get_STACK_value(request->tbsRequest->requestList, index));
    return *single ? 0 : code(F, 0x1c);
}

ZUNPKI_API int get_OCSP_REQUEST_nonce_length(const OCSP_REQUEST* request) {
    if (!request) return 1;
    const OCTET_STRING* nonce =
        request->tbsRequest ? zpki::ocsp::nonceOf(request->tbsRequest->requestExtensions) : nullptr;
    if (!nonce || !nonce->data || nonce->length <= 0) return 0;
    return nonce->length > OCSP_MAX_NONCE_LENGTH ? -1 : nonce->length;
}

ZUNPKI_API int get_OCSP_REQUEST_nonce(const OCSP_REQUEST* request, unsigned char** buffer) {
    const int n = get_OCSP_REQUEST_nonce_length(request);
    if (!buffer) return n;
    *buffer = nullptr;
    if (n <= 0 || !request) return n;
    const OCTET_STRING* nonce = zpki::ocsp::nonceOf(request->tbsRequest->requestExtensions);
    auto* copy = static_cast<unsigned char*>(VSC_MALLOC(static_cast<size_t>(n)));
    if (!copy) return 0;
    std::memcpy(copy, nonce->data, static_cast<size_t>(n));
    *buffer = copy;
    return n;
}

}  // extern "C"
