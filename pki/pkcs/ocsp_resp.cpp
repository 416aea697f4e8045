// OCSP responses: the records described once (the response data and the
// basic response keeping the DER received), reading and verifying a response
// with its nonce, certificate statuses, and on the responder side building,
// signing and wrapping a response.
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <zunPKI/asn1/asn1_objects.h>
#include "pkcs/ocsp.hpp"
#include "x509/x509_name.hpp"
#include "x509/x509_name_canon.hpp"

using namespace zpki::asn1;
using zpki::Owned;
namespace ber = zpki::ber;
using zpki::ocsp::code;
using zpki::ocsp::ExtensionsField;
using zpki::ocsp::Made;

namespace {

constexpr unsigned L = L_GENERALIZED_TIME;
constexpr const char* kBasicType = "1.3.6.1.5.5.7.48.1.1";

bool isBasicType(const OBJECT_IDENTIFIER* oid) {
    const size_t n = std::strlen(kBasicType);
    return oid && oid->data && oid->length == static_cast<int>(n) && std::memcmp(oid->data, kBasicType, n) == 0;
}

}  // namespace

// Never encoded as a SEQUENCE: the shape gives the lifecycle, CertStatusCodec
// below reads and writes the CHOICE.
template <>
struct zpki::asn1::Describe<OCSP_CERT_STATUS> {
    using T = OCSP_CERT_STATUS;
    using Shape = Sequence<Field<&T::status, SmallInt<>>, Field<&T::revokedInfo, Optional<Sub<OCSP_REVOKED_INFO>>>>;
};

// revocationReason is OPTIONAL, and written always (0 for unspecified); an
// absent one reads as 0.
template <>
struct zpki::asn1::Describe<OCSP_REVOKED_INFO> {
    using T = OCSP_REVOKED_INFO;
    using Shape = Sequence<Field<&T::revocationTime, GeneralizedTime>,
                           Field<&T::revocationReason, Optional<Explicit<0, SmallInt<ASN1_TAG_ENUMERATED>>>>>;
    static constexpr unsigned kEncodeFunc = L | F_OCSP_REVOKED_INFO_TO_SEQ;
};

namespace {

// CertStatus ::= CHOICE { good [0] IMPLICIT NULL, revoked [1] IMPLICIT
// RevokedInfo, unknown [2] IMPLICIT NULL }; any other status is refused.
struct CertStatusCodec {
    using WriteOwner = CertStatusCodec;
    using Value = OCSP_CERT_STATUS*;
    using Status = Family<OCSP_CERT_STATUS>;
    using Revoked = Family<OCSP_REVOKED_INFO>;
    static bool matches(uint8_t id) { return id == 0x80 || id == 0xa1 || id == 0x82; }
    static bool decodeContents(const Element& e, Value& out) {
        Owned<OCSP_CERT_STATUS, Status::destroy> s(Status::create());
        if (!s) return false;
        if (e.identifier == 0xa1) {
            s->status = OCSP_CERT_STATUS_REVOKED;
            s->revokedInfo = PKI_NEW(OCSP_REVOKED_INFO);
            if (!s->revokedInfo || !Revoked::decodeElement(e, *s->revokedInfo)) return false;
        } else {
            if (e.constructed() || e.contentsSize != 0) return false;
            s->status = e.identifier & 0x0f;
        }
        out = s.release();
        return true;
    }
    static bool write(const Value& v, Writer& w) {
        if (!v) return false;
        switch (v->status) {
            case OCSP_CERT_STATUS_GOOD:
            case OCSP_CERT_STATUS_UNKNOWN:
                return w.element(static_cast<uint8_t>(0x80 | v->status), nullptr, 0);
            case OCSP_CERT_STATUS_REVOKED: {
                const size_t at = w.size();
                if (!v->revokedInfo || detail::RecordOps<OCSP_REVOKED_INFO>::write(*v->revokedInfo, w) != 0)
                    return false;
                w.retag(at, 0xa1);
                return true;
            }
            default:
                return false;
        }
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) { return encodeByWriting<CertStatusCodec>(v, parent); }
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) {
        Status::destroy(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) { return !from || (to = Status::dup(from)) != nullptr; }
    static int compare(const Value& a, const Value& b) { return Status::cmp(a, b); }
    static void mark(const Value& v, Mark& m) {
        m.address(v);
        if (!v) return;
        m.word(static_cast<uint64_t>(static_cast<uint32_t>(v->status)));
        Sub<OCSP_REVOKED_INFO>::mark(v->revokedInfo, m);
    }
    static bool init(Value& v) { return (v = Status::create()) != nullptr; }
};

// responseStatus: an ENUMERATED of the values RFC 6960 defines.
struct ResponseStatus : SmallInt<ASN1_TAG_ENUMERATED> {
    using WriteOwner = ResponseStatus;
    static bool decodeContents(const Element& e, int& out) {
        return SmallInt<ASN1_TAG_ENUMERATED>::decodeContents(e, out) && out >= 0 && out <= 6;
    }
    static bool write(const int& v, Writer& w) { return SmallInt<ASN1_TAG_ENUMERATED>::write(v, w); }
};

}  // namespace

template <>
struct zpki::asn1::Describe<OCSP_RESPONDER_ID> {
    using T = OCSP_RESPONDER_ID;
    using Shape = Choice<&T::type, Alt<OCSP_RESPONDER_BY_NAME, Field<&T::byName, Explicit<1, zpki::x509::NameCodec>>>,
                         Alt<OCSP_RESPONDER_BY_KEY, Field<&T::byKey, Explicit<2, OctetString>>>>;
};

template <>
struct zpki::asn1::Describe<OCSP_SINGLE_RESPONSE> {
    using T = OCSP_SINGLE_RESPONSE;
    using Shape = Sequence<Field<&T::certID, Made<OCSP_CERT_ID>, ERR_R_NULL_ARGUMENT>,
                           Field<&T::certStatus, CertStatusCodec, ERR_R_NULL_ARGUMENT>,
                           Field<&T::thisUpdate, GeneralizedTime, ERR_R_NULL_ARGUMENT>,
                           Field<&T::nextUpdate, Optional<Explicit<0, GeneralizedTime>>>,
                           Field<&T::singleExtensions, ExtensionsField<1>>>;
    static constexpr unsigned kEncodeFunc = L | F_OCSP_SINGLE_RESPONSE_TO_SEQ;
};

template <>
struct zpki::asn1::Describe<OCSP_RESPONSE_DATA> {
    using T = OCSP_RESPONSE_DATA;
    using Shape = Sequence<Field<&T::version, Default<Explicit<0, SmallInt<>>, 0>>,
                           Field<&T::responderID, Made<OCSP_RESPONDER_ID>>,  //
                           Field<&T::producedAt, GeneralizedTime>,
                           Field<&T::responses, zpki::ocsp::NonEmpty<Sub<OCSP_SINGLE_RESPONSE>>, 0x1c>,
                           Field<&T::responseExtensions, ExtensionsField<1>>>;
    static constexpr auto kReceived = &T::received;
    static constexpr unsigned kEncodeFunc = L | F_OCSP_RESPONSE_DATA_TO_SEQ;
};

template <>
struct zpki::asn1::Describe<BASIC_OCSP_RESPONSE> {
    using T = BASIC_OCSP_RESPONSE;
    using Shape = Sequence<Field<&T::tbsResponseData, Made<OCSP_RESPONSE_DATA>, ERR_R_NULL_ARGUMENT>,
                           Field<&T::signatureAlgorithm, Made<X509_ALGO_IDENTIFIER>>,  //
                           Field<&T::signature, BitString>,                            //
                           Field<&T::certs, zpki::ocsp::CertsField>>;
    static constexpr auto kReceived = &T::received;
    static constexpr unsigned kEncodeFunc = L | F_BASIC_OCSP_RESPONSE_TO_SEQ;
};

template <>
struct zpki::asn1::Describe<OCSP_RESPONSE_BYTES> {
    using T = OCSP_RESPONSE_BYTES;
    using Shape = Sequence<Field<&T::responseType, Oid>, Field<&T::response, OctetString>>;
    static constexpr unsigned kEncodeFunc = L | F_OCSP_RESPONSE_BYTES_TO_SEQ;
};

namespace {

// responseBytes [0]: bytes that do not read, or of another type than the
// basic response, leave the member empty and the response still reads.
struct BytesField : Explicit<0, Sub<OCSP_RESPONSE_BYTES>> {
    using WriteOwner = BytesField;
    using Base = Explicit<0, Sub<OCSP_RESPONSE_BYTES>>;
    static constexpr bool kOptional = true;
    static bool decodeContents(const Element& e, Value& out) {
        if (!e.constructed()) return false;
        Value made = nullptr;
        if (Base::decodeContents(e, made) && isBasicType(made->responseType)) {
            out = made;
            return true;
        }
        release(made);
        out = nullptr;
        return true;
    }
};

}  // namespace

template <>
struct zpki::asn1::Describe<OCSP_RESPONSE> {
    using T = OCSP_RESPONSE;
    using Shape = Sequence<Field<&T::responseStatus, ResponseStatus>, Field<&T::responseBytes, BytesField>>;
    static constexpr unsigned kEncodeFunc = L | F_OCSP_RESPONSE_TO_SEQ;
};

namespace {

using Response = Family<OCSP_RESPONSE>;
using Bytes = Family<OCSP_RESPONSE_BYTES>;
using Basic = Family<BASIC_OCSP_RESPONSE>;
using Data = Family<OCSP_RESPONSE_DATA>;
using ResponderId = Family<OCSP_RESPONDER_ID>;
using SingleResponse = Family<OCSP_SINGLE_RESPONSE>;
using CertStatus = Family<OCSP_CERT_STATUS>;
using RevokedInfo = Family<OCSP_REVOKED_INFO>;
using DataOwned = Owned<OCSP_RESPONSE_DATA, Data::destroy>;

template <class T>
void renew(T* r) {
    Family<T>::clean(r);
    if (r) Family<T>::Ops::init(*r);
}

void dropReceived(BASIC_OCSP_RESPONSE* basic) {
    detail::RecordOps<BASIC_OCSP_RESPONSE>::forget(*basic);
    if (basic->tbsResponseData) detail::RecordOps<OCSP_RESPONSE_DATA>::forget(*basic->tbsResponseData);
}

bool sameBytes(const OCTET_STRING* s, const unsigned char* bytes, int len) {
    return s && len > 0 && s->length == len && s->data && std::memcmp(s->data, bytes, static_cast<size_t>(len)) == 0;
}

// The current instant as a GeneralizedTime YYYYMMDDhhmmssZ: read in UTC, so
// the process's zone does not shift it.
ASN1_STRING* nowGeneralized() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    if (now == static_cast<std::time_t>(-1) || !gmtime_r(&now, &utc)) return nullptr;
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    if (n != 15) return nullptr;
    String s(new_ASN1_STRING());
    if (!s || set_ASN1_STRING_value(s.get(), ASN1_TAG_GENERALIZED_TIME, reinterpret_cast<unsigned char*>(text), n) != 0)
        return nullptr;
    return s.release();
}

// The embedded certificate the responderID names: by its subject, or by the
// SHA-1 of its key.
const X509_CERT* namedResponder(const BASIC_OCSP_RESPONSE* basic) {
    const OCSP_RESPONDER_ID* id = basic->tbsResponseData ? basic->tbsResponseData->responderID : nullptr;
    if (!id) return nullptr;
    for (int i = 0; i < get_STACK_count(basic->certs); ++i) {
        const auto* cert = static_cast<const X509_CERT*>(get_STACK_value(basic->certs, i));
        if (!cert) continue;
        if (id->type == OCSP_RESPONDER_BY_NAME) {
            if (id->byName && zpki::x509::namesMatch(id->byName, get_X509_subject(cert))) return cert;
        } else if (id->type == OCSP_RESPONDER_BY_KEY) {
            unsigned char hash[VSC_MAX_DIGEST_LENGTH];
            const int n = zpki::ocsp::keyHash(cert, VSC_DIGEST_SHA1, hash);
            if (n > 0 && sameBytes(id->byKey, hash, n)) return cert;
        }
    }
    return nullptr;
}

const STACK* responsesOf(const BASIC_OCSP_RESPONSE* basic) {
    return basic && basic->tbsResponseData ? basic->tbsResponseData->responses : nullptr;
}

int statusOf(const OCSP_SINGLE_RESPONSE* single, int* reason) {
    const OCSP_CERT_STATUS* s = single ? single->certStatus : nullptr;
    if (!s) return OCSP_CERT_STATUS_UNKNOWN;
    if (s->status == OCSP_CERT_STATUS_REVOKED && reason && s->revokedInfo) *reason = s->revokedInfo->revocationReason;
    return s->status;
}

}  // namespace

extern "C" {

// ===========================================================================
// Records

ZUNPKI_API OCSP_RESPONSE* new_OCSP_RESPONSE(void) { return Response::create(); }
ZUNPKI_API void free_OCSP_RESPONSE(OCSP_RESPONSE* response) { Response::destroy(response); }
ZUNPKI_API void clean_OCSP_RESPONSE(OCSP_RESPONSE* response) { renew(response); }
ZUNPKI_API OCSP_RESPONSE_BYTES* new_OCSP_RESPONSE_BYTES(void) { return Bytes::create(); }
ZUNPKI_API void free_OCSP_RESPONSE_BYTES(OCSP_RESPONSE_BYTES* bytes) { Bytes::destroy(bytes); }
ZUNPKI_API void clean_OCSP_RESPONSE_BYTES(OCSP_RESPONSE_BYTES* bytes) { renew(bytes); }
ZUNPKI_API BASIC_OCSP_RESPONSE* new_BASIC_OCSP_RESPONSE(void) { return Basic::create(); }
ZUNPKI_API void free_BASIC_OCSP_RESPONSE(BASIC_OCSP_RESPONSE* basic) { Basic::destroy(basic); }
ZUNPKI_API void clean_BASIC_OCSP_RESPONSE(BASIC_OCSP_RESPONSE* basic) { renew(basic); }
ZUNPKI_API BASIC_OCSP_RESPONSE* dup_BASIC_OCSP_RESPONSE(const BASIC_OCSP_RESPONSE* basic) { return Basic::dup(basic); }
ZUNPKI_API void touch_BASIC_OCSP_RESPONSE(BASIC_OCSP_RESPONSE* basic) {
    if (basic) dropReceived(basic);
}
ZUNPKI_API OCSP_RESPONSE_DATA* new_OCSP_RESPONSE_DATA(void) { return Data::create(); }
ZUNPKI_API void free_OCSP_RESPONSE_DATA(OCSP_RESPONSE_DATA* data) { Data::destroy(data); }
ZUNPKI_API void clean_OCSP_RESPONSE_DATA(OCSP_RESPONSE_DATA* data) { renew(data); }
ZUNPKI_API OCSP_RESPONDER_ID* new_OCSP_RESPONDER_ID(void) { return ResponderId::create(); }
ZUNPKI_API void free_OCSP_RESPONDER_ID(OCSP_RESPONDER_ID* id) { ResponderId::destroy(id); }
ZUNPKI_API void clean_OCSP_RESPONDER_ID(OCSP_RESPONDER_ID* id) { renew(id); }
ZUNPKI_API OCSP_SINGLE_RESPONSE* new_OCSP_SINGLE_RESPONSE(void) { return SingleResponse::create(); }
ZUNPKI_API void free_OCSP_SINGLE_RESPONSE(OCSP_SINGLE_RESPONSE* single) { SingleResponse::destroy(single); }
ZUNPKI_API void clean_OCSP_SINGLE_RESPONSE(OCSP_SINGLE_RESPONSE* single) { renew(single); }
ZUNPKI_API OCSP_CERT_STATUS* new_OCSP_CERT_STATUS(void) { return CertStatus::create(); }
ZUNPKI_API void free_OCSP_CERT_STATUS(OCSP_CERT_STATUS* status) { CertStatus::destroy(status); }
ZUNPKI_API void clean_OCSP_CERT_STATUS(OCSP_CERT_STATUS* status) { renew(status); }
ZUNPKI_API OCSP_REVOKED_INFO* new_OCSP_REVOKED_INFO(void) { return RevokedInfo::create(); }
ZUNPKI_API void free_OCSP_REVOKED_INFO(OCSP_REVOKED_INFO* info) { RevokedInfo::destroy(info); }
ZUNPKI_API void clean_OCSP_REVOKED_INFO(OCSP_REVOKED_INFO* info) { renew(info); }
ZUNPKI_API OCSP_REVOKED_INFO* dup_OCSP_REVOKED_INFO(const OCSP_REVOKED_INFO* info) {
    return info && info->revocationTime ? RevokedInfo::dup(info) : nullptr;
}

// ===========================================================================
// Codecs

ZUNPKI_API PKI_ERROR Seq_to_OCSP_RESPONSE(const ASN1_UNIT* node, OCSP_RESPONSE** response) {
    return zpki::ocsp::decodeRecord(node, response, F_SEQ_TO_OCSP_RESPONSE, ERR_R_INVALID_ELEMENT);
}

ZUNPKI_API PKI_ERROR Seq_to_OCSP_RESPONSE_BYTES(const ASN1_UNIT* node, OCSP_RESPONSE_BYTES** bytes) {
    constexpr unsigned F = F_SEQ_TO_OCSP_RESPONSE_BYTES;
    if (!node || !bytes) return code(F, ERR_R_NULL_ARGUMENT);
    OCSP_RESPONSE_BYTES* made = nullptr;
    if (PKI_ERROR rc = zpki::ocsp::decodeRecord(node, &made, F, ERR_R_INVALID_ELEMENT)) return rc;
    Owned<OCSP_RESPONSE_BYTES, Bytes::destroy> owned(made);
    if (!isBasicType(made->responseType)) return code(F, 0x16);
    deliver<Bytes::clean>(owned, bytes);
    return 0;
}

ZUNPKI_API BASIC_OCSP_RESPONSE* get_BASIC_OCSP_RESPONSE(const OCSP_RESPONSE_BYTES* bytes) {
    if (!bytes || !isBasicType(bytes->responseType) || !bytes->response || !bytes->response->data ||
        bytes->response->length <= 0)
        return nullptr;
    Node node(decodeToBERSequence(bytes->response->data, bytes->response->length));
    BASIC_OCSP_RESPONSE* basic = nullptr;
    if (!node || Seq_to_BASIC_OCSP_RESPONSE(node.get(), &basic) != 0) return nullptr;
    return basic;
}

ZUNPKI_API PKI_ERROR Seq_to_BASIC_OCSP_RESPONSE(const ASN1_UNIT* node, BASIC_OCSP_RESPONSE** basic) {
    return zpki::ocsp::decodeRecord(node, basic, F_SEQ_TO_BASIC_OCSP_RESPONSE, ERR_R_INVALID_ELEMENT);
}

ZUNPKI_API PKI_ERROR Seq_to_OCSP_RESPONSE_DATA(const ASN1_UNIT* node, BASIC_OCSP_RESPONSE* basic) {
    constexpr unsigned F = F_SEQ_TO_OCSP_RESPONSE_DATA;
    if (!node || !basic) return code(F, ERR_R_NULL_ARGUMENT);
    OCSP_RESPONSE_DATA* made = nullptr;
    if (PKI_ERROR rc = zpki::ocsp::decodeRecord(node, &made, F, ERR_R_INVALID_ELEMENT)) return rc;
    Data::destroy(basic->tbsResponseData);
    basic->tbsResponseData = made;
    detail::RecordOps<BASIC_OCSP_RESPONSE>::forget(*basic);
    return 0;
}

ZUNPKI_API PKI_ERROR Seq_to_OCSP_SINGLE_RESPONSE(const ASN1_UNIT* node, OCSP_SINGLE_RESPONSE** single) {
    return zpki::ocsp::decodeRecord(node, single, F_SEQ_TO_OCSP_SINGLE_RESPONSE, ERR_R_INVALID_ELEMENT);
}

ZUNPKI_API PKI_ERROR Seq_to_OCSP_REVOKED_INFO(const ASN1_UNIT* node, OCSP_REVOKED_INFO** info) {
    return zpki::ocsp::decodeRecord(node, info, F_SEQ_TO_OCSP_REVOKED_INFO, ERR_R_INVALID_ELEMENT);
}

ZUNPKI_API PKI_ERROR OCSP_RESPONSE_to_Seq(const OCSP_RESPONSE* response, ASN1_UNIT** node) {
    return zpki::ocsp::encodeRecord(response, node, F_OCSP_RESPONSE_TO_SEQ);
}

ZUNPKI_API PKI_ERROR OCSP_RESPONSE_BYTES_to_Seq(const OCSP_RESPONSE_BYTES* bytes, ASN1_UNIT** node) {
    return zpki::ocsp::encodeRecord(bytes, node, F_OCSP_RESPONSE_BYTES_TO_SEQ);
}

ZUNPKI_API PKI_ERROR BASIC_OCSP_RESPONSE_to_Seq(const BASIC_OCSP_RESPONSE* basic, ASN1_UNIT** node) {
    if (basic && !basic->tbsResponseData) return code(F_BASIC_OCSP_RESPONSE_TO_SEQ, ERR_R_NULL_ARGUMENT);
    return zpki::ocsp::encodeRecord(basic, node, F_BASIC_OCSP_RESPONSE_TO_SEQ);
}

ZUNPKI_API PKI_ERROR OCSP_RESPONSE_DATA_to_Seq(const OCSP_RESPONSE_DATA* data, ASN1_UNIT** node) {
    return zpki::ocsp::encodeRecord(data, node, F_OCSP_RESPONSE_DATA_TO_SEQ);
}

ZUNPKI_API PKI_ERROR OCSP_SINGLE_RESPONSE_to_Seq(const OCSP_SINGLE_RESPONSE* single, ASN1_UNIT** node) {
    return zpki::ocsp::encodeRecord(single, node, F_OCSP_SINGLE_RESPONSE_TO_SEQ);
}

ZUNPKI_API PKI_ERROR OCSP_REVOKED_INFO_to_Seq(const OCSP_REVOKED_INFO* info, ASN1_UNIT** node) {
    return zpki::ocsp::encodeRecord(info, node, F_OCSP_REVOKED_INFO_TO_SEQ);
}

// ===========================================================================
// Reading a response

ZUNPKI_API int verify_BASIC_OCSP_RESPONSE_Ex(const BASIC_OCSP_RESPONSE* basic, const X509_CERT* signerCert,
                                             int /*paddingMode*/, const unsigned char* nonce, int nonceLen) {
    constexpr unsigned F = F_VERIFY_BASIC_OCSP_RESPONSE;
    if (!basic) return code(F, ERR_R_NULL_ARGUMENT);
    const OCSP_RESPONSE_DATA* data = basic->tbsResponseData;
    if (!data) return code(F, 0x18);
    if (!basic->signature || !basic->signatureAlgorithm) return code(F, 0x17);
    const X509_CERT* signer = signerCert ? signerCert : namedResponder(basic);
    if (!signer) return code(F, 0x14);
    // The bytes the responder signed, as they came.
    zpki::x509::DerBytes der;
    if (zpki::x509::derOfRecord(data, der) != 0) return code(F, 0x18);
    if (PKI_ERROR rc = zpki::ocsp::verifyDer(der.data, der.size, basic->signatureAlgorithm, basic->signature, signer,
                                             L | F, 0x1b, 0x29))
        return rc;
    if (!nonce || nonceLen <= 0) return 0;
    const OCTET_STRING* carried = zpki::ocsp::nonceOf(data->responseExtensions);
    if (!carried) return code(F, 0x1a);
    return sameBytes(carried, nonce, nonceLen) ? 0 : code(F, 0x19);
}

ZUNPKI_API int verify_BASIC_OCSP_RESPONSE(const BASIC_OCSP_RESPONSE* basic, const X509_CERT* signerCert,
                                          const unsigned char* nonce, int nonceLen) {
    return verify_BASIC_OCSP_RESPONSE_Ex(basic, signerCert, VSC_RSASSA_PKCS1_V15, nonce, nonceLen);
}

ZUNPKI_API int verfy_BASIC_OCSP_RESPONSE(const BASIC_OCSP_RESPONSE* basic, const X509_CERT* signerCert,
                                         const unsigned char* nonce, int nonceLen) {
    return verify_BASIC_OCSP_RESPONSE_Ex(basic, signerCert, VSC_RSASSA_PKCS1_V15, nonce, nonceLen);
}

ZUNPKI_API int get_CERT_STATUS_count_from_OCSP_RESPONSE(const BASIC_OCSP_RESPONSE* basic) {
    return get_STACK_count(responsesOf(basic));
}

ZUNPKI_API int get_CERT_STATUS_from_OCSP_RESPONSE_index(const BASIC_OCSP_RESPONSE* basic, int index, int* reason) {
    const STACK* list = responsesOf(basic);
    if (!list || index < 0) return code(F_GET_CERT_STATUS_FROM_OCSP_RESPONSE, ERR_R_NULL_ARGUMENT);
    if (index >= get_STACK_count(list)) return OCSP_CERT_STATUS_UNKNOWN;
    return statusOf(static_cast<const OCSP_SINGLE_RESPONSE*>(get_STACK_value(list, index)), reason);
}

ZUNPKI_API int get_CERT_STATUS_from_OCSP_RESPONSE_Ex(const BASIC_OCSP_RESPONSE* basic, const X509_CERT* cert,
                                                     const X509_CERT* issuer, int* reason) {
    const STACK* list = responsesOf(basic);
    if (!list || !cert) return code(F_GET_CERT_STATUS_FROM_OCSP_RESPONSE, ERR_R_NULL_ARGUMENT);
    for (int i = 0; i < get_STACK_count(list); ++i) {
        const auto* single = static_cast<const OCSP_SINGLE_RESPONSE*>(get_STACK_value(list, i));
        if (single && zpki::ocsp::certIdNames(single->certID, cert, issuer)) return statusOf(single, reason);
    }
    return OCSP_CERT_STATUS_UNKNOWN;
}

ZUNPKI_API int get_CERT_STATUS_from_OCSP_RESPONSE(const BASIC_OCSP_RESPONSE* basic, const X509_CERT* cert,
                                                  int* reason) {
    return get_CERT_STATUS_from_OCSP_RESPONSE_Ex(basic, cert, nullptr, reason);
}

// ===========================================================================
// Building a response

ZUNPKI_API int generate_OCSP_RESPONSE_DATA(OCSP_RESPONSE_DATA** data, const X509_CERT* responderCert,
                                           int responderIdType, int version, const unsigned char* nonce, int nonceLen) {
    constexpr unsigned F = F_GENERATE_OCSP_RESPONSE_DATA;
    if (!data || !responderCert || responderIdType < OCSP_RESPONDER_BY_NAME ||
        responderIdType > OCSP_RESPONDER_BY_KEY || (nonce && (nonceLen <= 0 || nonceLen > OCSP_MAX_NONCE_LENGTH)))
        return code(F, ERR_R_INVALID_ELEMENT);
    DataOwned made(*data ? Data::dup(*data) : Data::create());
    if (!made || (!made->responderID && !(made->responderID = ResponderId::create()))) return code(F, ERR_R_ALLOC_3C);
    made->version = version;
    OCSP_RESPONDER_ID* id = made->responderID;
    renew(id);
    id->type = responderIdType;
    if (responderIdType == OCSP_RESPONDER_BY_NAME) {
        if (!(id->byName = dup_X509_NAME(get_X509_subject(responderCert)))) return code(F, 0x1c);
    } else {
        // RFC 6960 KeyHash: the SHA-1 of the responder's key.
        unsigned char hash[VSC_MAX_DIGEST_LENGTH];
        const int n = zpki::ocsp::keyHash(responderCert, VSC_DIGEST_SHA1, hash);
        if (n <= 0 || !(id->byKey = new_OCTET_STRING(hash, n))) return code(F, 0x1c);
    }
    if (replace<free_ASN1_STRING>(made->producedAt, nowGeneralized()) != 0) return code(F, ERR_R_ALLOC_3C);
    if (nonce && !zpki::ocsp::setNonce(made->responseExtensions, nonce, nonceLen)) return code(F, ERR_R_ALLOC_3C);
    detail::RecordOps<OCSP_RESPONSE_DATA>::forget(*made);
    deliver<Data::clean>(made, data);
    return 0;
}

ZUNPKI_API int add_single_OCSP_RESPONSE(OCSP_RESPONSE_DATA* data, const void* certIdHolder, int status,
                                        const OCSP_REVOKED_INFO* revokedInfo, const GENERALIZED_TIME* thisUpdate,
                                        const GENERALIZED_TIME* nextUpdate) {
    constexpr unsigned F = F_ADD_SINGLE_OCSP_RESPONSE;
    const OCSP_CERT_ID* id = zpki::ocsp::certIdOf(certIdHolder);
    if (!data || !id || status < OCSP_CERT_STATUS_GOOD || status > OCSP_CERT_STATUS_UNKNOWN || !thisUpdate ||
        (status == OCSP_CERT_STATUS_REVOKED && !revokedInfo))
        return code(F, ERR_R_INVALID_ELEMENT);
    Owned<OCSP_SINGLE_RESPONSE, SingleResponse::destroy> single(SingleResponse::create());
    OCSP_CERT_ID* copy = dup_OCSP_CERT_ID(id);
    if (!single || !copy) {
        free_OCSP_CERT_ID(copy);
        return code(F, ERR_R_INVALID_ELEMENT);
    }
    replace<free_OCSP_CERT_ID>(single->certID, copy);
    single->certStatus->status = status;
    if (status == OCSP_CERT_STATUS_REVOKED && !(single->certStatus->revokedInfo = dup_OCSP_REVOKED_INFO(revokedInfo)))
        return code(F, ERR_R_INVALID_ELEMENT);
    if (!(single->thisUpdate = dup_ASN1_STRING(thisUpdate)) ||
        (nextUpdate && !(single->nextUpdate = dup_ASN1_STRING(nextUpdate))))
        return code(F, ERR_R_ALLOC_3C);
    if (!data->responses && !(data->responses = new_STACK())) return code(F, ERR_R_ALLOC_3C);
    if (push_STACK_value(data->responses, single.get()) == 0) return code(F, ERR_STK_ERROR);
    (void)single.release();
    detail::RecordOps<OCSP_RESPONSE_DATA>::forget(*data);
    return 0;
}

ZUNPKI_API int generate_BASIC_OCSP_RESPONSE_Ex(BASIC_OCSP_RESPONSE** basic, OCSP_RESPONSE_DATA* data,
                                               const X509_CERT* responderCert, const P8_PRIV_KEY_INFO* responderKey,
                                               int digestId, int paddingMode) {
    constexpr unsigned F = F_GENERATE_BASIC_OCSP_RESPONSE;
    if (!basic || !data || !responderCert || !responderKey) return code(F, ERR_R_INVALID_ELEMENT);
    zpki::x509::DerBytes der;
    if (PKI_ERROR rc = zpki::x509::derOfRecord(data, der)) return rc;
    zpki::x509::Algorithm alg;
    String sig;
    if (PKI_ERROR rc = zpki::ocsp::signDer(der.data, der.size, responderCert, responderKey, digestId, paddingMode,
                                           L | F, alg, sig))
        return rc;
    Owned<BASIC_OCSP_RESPONSE, Basic::destroy> made(*basic ? nullptr : Basic::create());
    BASIC_OCSP_RESPONSE* target = *basic ? *basic : made.get();
    if (!target || !zpki::ocsp::carryOnce(target->certs, responderCert)) return code(F, ERR_R_ALLOC_3C);
    if (target->tbsResponseData != data) Data::destroy(target->tbsResponseData);
    target->tbsResponseData = data;
    replace<free_X509_ALGO_IDENTIFIER>(target->signatureAlgorithm, alg.release());
    replace<free_ASN1_STRING>(target->signature, sig.release());
    detail::RecordOps<BASIC_OCSP_RESPONSE>::forget(*target);
    if (made) *basic = made.release();
    return 0;
}

ZUNPKI_API int generate_BASIC_OCSP_RESPONSE(BASIC_OCSP_RESPONSE** basic, OCSP_RESPONSE_DATA* data,
                                            const X509_CERT* responderCert, const P8_PRIV_KEY_INFO* responderKey) {
    return generate_BASIC_OCSP_RESPONSE_Ex(basic, data, responderCert, responderKey, VSC_DIGEST_SHA1,
                                           VSC_RSASSA_PKCS1_V15);
}

ZUNPKI_API int generate_BASIC_OCSP_RESPONSE_ex(BASIC_OCSP_RESPONSE** basic, OCSP_RESPONSE_DATA* data,
                                               const X509_CERT* responderCert, const P8_PRIV_KEY_INFO* responderKey,
                                               int digestId) {
    return generate_BASIC_OCSP_RESPONSE_Ex(basic, data, responderCert, responderKey, digestId, VSC_RSASSA_PKCS1_V15);
}

ZUNPKI_API int generate_OCSP_RESPONSE_BYTES(OCSP_RESPONSE_BYTES** bytes, const BASIC_OCSP_RESPONSE* basic) {
    constexpr unsigned F = F_GENERATE_OCSP_RESPONSE_BYTES;
    if (!bytes || !basic) return code(F, ERR_R_INVALID_ELEMENT);
    if (!basic->tbsResponseData) return code(F_BASIC_OCSP_RESPONSE_TO_SEQ, ERR_R_NULL_ARGUMENT);
    ber::Bytes der;
    if (const int reason = Basic::write(basic, der))
        return reason > 0xffff ? reason : code(F_BASIC_OCSP_RESPONSE_TO_SEQ, static_cast<unsigned>(reason));
    if (der.size() > static_cast<size_t>(INT_MAX)) return code(F, ERR_R_INVALID_ELEMENT);
    Owned<OCSP_RESPONSE_BYTES, Bytes::destroy> made(Bytes::create());
    if (!made || !(made->responseType = new_OBJECT_IDENTIFIER(kBasicType, static_cast<int>(std::strlen(kBasicType)))) ||
        !(made->response = new_OCTET_STRING(der.data(), static_cast<int>(der.size()))))
        return code(F, 0x1c);
    deliver<Bytes::clean>(made, bytes);
    return 0;
}

ZUNPKI_API int generate_OCSP_RESPONSE(OCSP_RESPONSE** response, OCSP_RESPONSE_BYTES* bytes, int status) {
    constexpr unsigned F = F_GENERATE_OCSP_RESPONSE;
    if (!response || status < 0 || status > 6) return code(F, ERR_R_INVALID_ELEMENT);
    if (!*response && !(*response = Response::create())) return code(F, ERR_R_ALLOC_3A);
    if ((*response)->responseBytes != bytes) Bytes::destroy((*response)->responseBytes);
    (*response)->responseStatus = status;
    (*response)->responseBytes = bytes;
    return 0;
}

}  // extern "C"
