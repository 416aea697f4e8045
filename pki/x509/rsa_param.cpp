// RSAES-OAEP and RSASSA-PSS parameters (RFC 8017 appendix A.2).
#include <zunPKI/x509/rsa_param.h>

#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/codec_util.hpp"
#include "x509/x509_algorithm.hpp"
#include "asn1/secret.hpp"

using namespace zpki::asn1;
using zpki::x509::AlgorithmId;

namespace {

constexpr int kRowSha1 = 64;
constexpr int kRowMgf1 = 833;
constexpr int kRowPSpecified = 834;

using zpki::asn1::Node;
using zpki::asn1::String;
using zpki::x509::Algorithm;
using OidPtr = zpki::Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER>;

constexpr PKI_ERROR code(unsigned func, unsigned reason) { return PKI_ERR(L_PKCS1, func, reason); }

bool isRow(const OBJECT_IDENTIFIER* oid, int row) { return oid != nullptr && index_from_OBJECT_IDENTIFIER(oid) == row; }

// ---- The defaults, which DER leaves out --------------------------------------

bool isSha1(X509_ALGO_IDENTIFIER* const& a) {
    const ASN1_STRING* p = a != nullptr ? a->parameters : nullptr;
    return a != nullptr && isRow(a->algorithm, kRowSha1) &&
           (p == nullptr || (p->type == ASN1_TAG_NULL && p->length == 0));
}

bool isMgf1Sha1(X509_ALGO_IDENTIFIER* const& a) {
    if (a == nullptr || !isRow(a->algorithm, kRowMgf1)) return false;
    Node node = zpki::asn1::sequenceOf(a->parameters);
    X509_ALGO_IDENTIFIER* made = nullptr;
    if (!node || Seq_to_X509_ALGO_IDENTIFIER(node.get(), &made) != PKI_SUCCESS) return false;
    Algorithm hash(made);
    return isSha1(made);
}

bool isEmptyLabel(X509_ALGO_IDENTIFIER* const& a) {
    const ASN1_STRING* p = a != nullptr ? a->parameters : nullptr;
    return a != nullptr && isRow(a->algorithm, kRowPSpecified) && p != nullptr && p->type == ASN1_TAG_OCTET_STRING &&
           p->length == 0;
}

template <unsigned long N>
bool isWord(BIGINT* const& v) {
    return v != nullptr && VSC_Get_BIGINT_Bits_Length(v) <= 32 && VSC_Get_BIGINT_Word(v) == N;
}

// An optional member that is also left out when it holds its default.
template <class C, bool (*IsDefault)(const typename C::Value&)>
struct UnlessDefault : C {
    static constexpr bool kOptional = true;
    static bool present(const typename C::Value& v) { return C::present(v) && !IsDefault(v); }
};

}  // namespace

template <>
struct zpki::asn1::Describe<RSAES_OAEP_PARAM> {
    using P = RSAES_OAEP_PARAM;
    using Shape = Sequence<Field<&P::hashAlgorithm, UnlessDefault<Explicit<0, AlgorithmId>, isSha1>>,
                           Field<&P::maskGenAlgorithm, UnlessDefault<Explicit<1, AlgorithmId>, isMgf1Sha1>>,
                           Field<&P::pSourceAlgorithm, UnlessDefault<Explicit<2, AlgorithmId>, isEmptyLabel>>>;
};

template <>
struct zpki::asn1::Describe<RSASSA_PSS_PARAM> {
    using P = RSASSA_PSS_PARAM;
    using Shape = Sequence<Field<&P::hashAlgorithm, UnlessDefault<Explicit<0, AlgorithmId>, isSha1>>,
                           Field<&P::maskGenAlgorithm, UnlessDefault<Explicit<1, AlgorithmId>, isMgf1Sha1>>,
                           Field<&P::saltLength, UnlessDefault<Explicit<2, Integer>, isWord<20>>>,
                           Field<&P::trailerField, UnlessDefault<Explicit<3, Integer>, isWord<1>>>>;
};

ZPKI_STRUCT_LIFECYCLE(RSAES_OAEP_PARAM)
ZPKI_STRUCT_LIFECYCLE(RSASSA_PSS_PARAM)

namespace {

// The function bytes of one record's setters.
struct Bytes {
    unsigned hash, mgfNull, mgf;
};
constexpr Bytes kOaep{F_SET_RSAES_OAEP_PARAM_HASHALGORITHM, F_SET_RSAES_OAEP_PARAM_MASKGENALGORITHM,
                      F_SET_RSAES_OAEP_PARAM_HASHALGORITHM};
constexpr Bytes kPss{F_SET_RSASSA_PSS_PARAM_HASHALGORITHM, F_SET_RSASSA_PSS_PARAM_MASKGENALGORITHM,
                     F_SET_RSASSA_PSS_PARAM_MASKGENALGORITHM};

// { oid, params }; null params become an ASN.1 NULL.
Algorithm algorithmOf(const OBJECT_IDENTIFIER* oid, const ASN1_STRING* params) {
    Algorithm a(new_X509_ALGO_IDENTIFIER());
    if (!a || set_X509_ALGO_IDENTIFIER_value(a.get(), oid, params) != 0) return nullptr;
    return a;
}

// MGF1 over the record's hash (SHA-1 when it has none).
Algorithm mgf1Over(const X509_ALGO_IDENTIFIER* hash) {
    OidPtr sha1(index_to_OBJECT_IDENTIFIER(kRowSha1)), mgf1(index_to_OBJECT_IDENTIFIER(kRowMgf1));
    Algorithm fallback = hash == nullptr && sha1 ? algorithmOf(sha1.get(), nullptr) : nullptr;
    const X509_ALGO_IDENTIFIER* h = hash != nullptr ? hash : fallback.get();
    ASN1_UNIT* made = nullptr;
    if (h == nullptr || !mgf1 || X509_ALGO_IDENTIFIER_to_Seq(h, &made) != PKI_SUCCESS) {
        free_ASN1_UNIT(made);
        return nullptr;
    }
    Node node(made);
    String params = zpki::asn1::contentsString(node.get());
    return params ? algorithmOf(mgf1.get(), params.get()) : nullptr;
}

template <class P>
PKI_ERROR setMaskGen(P* param, const OBJECT_IDENTIFIER* oid, const Bytes& f) {
    if (param == nullptr || oid == nullptr) return code(f.mgfNull, ERR_R_NULL_ARGUMENT);
    if (!isRow(oid, kRowMgf1)) return code(f.mgf, ERR_R_UNSUPPORTED);
    Algorithm mgf = mgf1Over(param->hashAlgorithm);
    if (!mgf) return code(f.mgf, ERR_ASN1_ENCODING);
    free_X509_ALGO_IDENTIFIER(param->maskGenAlgorithm);
    param->maskGenAlgorithm = mgf.release();
    return PKI_SUCCESS;
}

template <class P>
PKI_ERROR setHash(P* param, const OBJECT_IDENTIFIER* oid, const Bytes& f) {
    if (param == nullptr) return code(f.hash, ERR_R_NULL_ARGUMENT);
    if (oid == nullptr) return code(f.hash, ERR_R_ALLOC_3C);
    Algorithm hash = algorithmOf(oid, nullptr);
    if (!hash) return code(f.hash, ERR_ASN1_ENCODING);
    free_X509_ALGO_IDENTIFIER(param->hashAlgorithm);
    param->hashAlgorithm = hash.release();
    // An MGF1 already there follows the new hash.
    if (param->maskGenAlgorithm != nullptr && isRow(param->maskGenAlgorithm->algorithm, kRowMgf1))
        return setMaskGen(param, param->maskGenAlgorithm->algorithm, f);
    return PKI_SUCCESS;
}

template <class P>
PKI_ERROR byRow(P* param, int row, PKI_ERROR (*set)(P*, const OBJECT_IDENTIFIER*), unsigned func) {
    if (param == nullptr) return set(nullptr, nullptr);
    OidPtr oid(index_to_OBJECT_IDENTIFIER(row));
    return oid ? set(param, oid.get()) : code(func, ERR_R_ALLOC_3C);
}

template <class P>
PKI_ERROR maskGenByRow(P* param, int row, PKI_ERROR (*set)(P*, const OBJECT_IDENTIFIER*), const Bytes& f) {
    if (param != nullptr && row != kRowMgf1) return code(f.mgf, ERR_R_UNSUPPORTED);
    return byRow(param, row, set, f.mgf);
}

// The record's contents as an AlgorithmIdentifier's parameters.
template <class P>
PKI_ERROR setAlgorithmParams(X509_ALGO_IDENTIFIER* alg, const P* param, PKI_ERROR (*encode)(const P*, ASN1_UNIT**)) {
    constexpr unsigned F = F_SET_RSAES_OAEP_PARAM_PSOURCEALGORITHM;
    ASN1_UNIT* made = nullptr;
    PKI_ERROR rc = encode(param, &made);
    Node node(made);
    String params = rc == PKI_SUCCESS ? zpki::asn1::contentsString(node.get()) : nullptr;
    if (!params) return code(F, ERR_ASN1_ENCODING);
    free_ASN1_STRING(alg->parameters);
    alg->parameters = params.release();
    return PKI_SUCCESS;
}

}  // namespace

extern "C" {

PKI_ERROR set_RSAES_OAEP_PARAM_hashAlgorithm_OID(RSAES_OAEP_PARAM* param, const OBJECT_IDENTIFIER* oid) {
    return setHash(param, oid, kOaep);
}

PKI_ERROR set_RSAES_OAEP_PARAM_hashAlgorithm(RSAES_OAEP_PARAM* param, int row) {
    return byRow(param, row, set_RSAES_OAEP_PARAM_hashAlgorithm_OID, kOaep.hash);
}

PKI_ERROR set_RSASSA_PSS_PARAM_hashAlgorithm_OID(RSASSA_PSS_PARAM* param, const OBJECT_IDENTIFIER* oid) {
    return setHash(param, oid, kPss);
}

PKI_ERROR set_RSASSA_PSS_PARAM_hashAlgorithm(RSASSA_PSS_PARAM* param, int row) {
    return byRow(param, row, set_RSASSA_PSS_PARAM_hashAlgorithm_OID, kPss.hash);
}

PKI_ERROR set_RSAES_OAEP_PARAM_maskGenAlgorithm_OID(RSAES_OAEP_PARAM* param, const OBJECT_IDENTIFIER* oid) {
    return setMaskGen(param, oid, kOaep);
}

PKI_ERROR set_RSAES_OAEP_PARAM_maskGenAlgorithm(RSAES_OAEP_PARAM* param, int row) {
    return maskGenByRow(param, row, set_RSAES_OAEP_PARAM_maskGenAlgorithm_OID, kOaep);
}

PKI_ERROR set_RSASSA_PSS_PARAM_maskGenAlgorithm_OID(RSASSA_PSS_PARAM* param, const OBJECT_IDENTIFIER* oid) {
    return setMaskGen(param, oid, kPss);
}

PKI_ERROR set_RSASSA_PSS_PARAM_maskGenAlgorithm(RSASSA_PSS_PARAM* param, int row) {
    return maskGenByRow(param, row, set_RSASSA_PSS_PARAM_maskGenAlgorithm_OID, kPss);
}

PKI_ERROR set_RSAES_OAEP_PARAM_pSourceAlgorithm_OID(RSAES_OAEP_PARAM* param, const OBJECT_IDENTIFIER* oid,
                                                    const unsigned char* label, int len) {
    if (param == nullptr || oid == nullptr) return code(F_SET_RSAES_OAEP_PARAM_PSOURCEALGORITHM, ERR_R_NULL_ARGUMENT);
    String value(new_ASN1_STRING());
    if (!value || len < 0 ||
        set_ASN1_STRING_value(value.get(), ASN1_TAG_OCTET_STRING, label, label != nullptr ? len : 0) != 0)
        return code(F_SET_RSAES_OAEP_PARAM_HASHALGORITHM, ERR_ASN1_ENCODING);
    Algorithm source = algorithmOf(oid, value.get());
    if (!source) return code(F_SET_RSAES_OAEP_PARAM_HASHALGORITHM, ERR_ASN1_ENCODING);
    free_X509_ALGO_IDENTIFIER(param->pSourceAlgorithm);
    param->pSourceAlgorithm = source.release();
    return PKI_SUCCESS;
}

PKI_ERROR set_RSAES_OAEP_PARAM_pSourceAlgorithm(RSAES_OAEP_PARAM* param, int row, const unsigned char* label, int len) {
    if (param == nullptr) return code(F_SET_RSAES_OAEP_PARAM_PSOURCEALGORITHM, ERR_R_NULL_ARGUMENT);
    OidPtr oid(index_to_OBJECT_IDENTIFIER(row));
    if (!oid) return code(F_SET_RSAES_OAEP_PARAM_HASHALGORITHM, ERR_ASN1_ENCODING);
    return set_RSAES_OAEP_PARAM_pSourceAlgorithm_OID(param, oid.get(), label, len);
}

PKI_ERROR set_RSASSA_PSS_PARAM_trailerField(RSASSA_PSS_PARAM* param, unsigned v) {
    constexpr PKI_ERROR failed = code(F_SET_RSASSA_PSS_PARAM_TRAILERFIELD, ERR_R_NULL_ARGUMENT);
    if (param == nullptr || (v & 0xff) == 0) return failed;
    zpki::BigInt value(VSC_New_BIGINT());
    if (!value || VSC_Set_BIGINT_Word(value.get(), v & 0xff) != VSC_OK) return failed;
    VSC_Free_BIGINT(param->trailerField);
    param->trailerField = value.release();
    return PKI_SUCCESS;
}

PKI_ERROR set_RSASSA_PSS_PARAM_saltLength(RSASSA_PSS_PARAM* param, int len) {
    constexpr PKI_ERROR failed = code(F_SET_RSASSA_PSS_PARAM_SALTLENGTH, ERR_R_NULL_ARGUMENT);
    if (param == nullptr || len < 0) return failed;
    zpki::BigInt value(VSC_New_BIGINT());
    if (!value || VSC_Set_BIGINT_Word(value.get(), static_cast<unsigned long>(len)) != VSC_OK) return failed;
    VSC_Free_BIGINT(param->saltLength);
    param->saltLength = value.release();
    return PKI_SUCCESS;
}

PKI_ERROR RSAES_OAEP_PARAM_to_Seq(const RSAES_OAEP_PARAM* param, ASN1_UNIT** out) {
    return Family<RSAES_OAEP_PARAM>::toSeq(param, out, L_PKCS1 | F_RSAES_OAEP_PARAM_TO_SEQ);
}

PKI_ERROR RSASSA_PSS_PARAM_to_Seq(const RSASSA_PSS_PARAM* param, ASN1_UNIT** out) {
    return Family<RSASSA_PSS_PARAM>::toSeq(param, out, L_PKCS1 | F_RSASSA_PSS_PARAM_TO_SEQ);
}

PKI_ERROR Seq_to_RSAES_OAEP_PARAM(const ASN1_UNIT* in, RSAES_OAEP_PARAM** out) {
    if (in == nullptr || out == nullptr) return code(F_SEQ_TO_RSASSA_PSS_PARAM, ERR_R_NULL_ARGUMENT);
    return Family<RSAES_OAEP_PARAM>::fromSeq(in, out, L_PKCS1 | F_SEQ_TO_RSAES_OAEP_PARAM);
}

PKI_ERROR Seq_to_RSASSA_PSS_PARAM(const ASN1_UNIT* in, RSASSA_PSS_PARAM** out) {
    return Family<RSASSA_PSS_PARAM>::fromSeq(in, out, L_PKCS1 | F_SEQ_TO_RSASSA_PSS_PARAM);
}

PKI_ERROR set_X509_ALGO_IDENTIFIER_with_RSAES_OAEP_PARAM(X509_ALGO_IDENTIFIER* alg, const RSAES_OAEP_PARAM* param) {
    if (alg == nullptr) return code(F_SET_RSAES_OAEP_PARAM_PSOURCEALGORITHM, ERR_R_NULL_ARGUMENT);
    // No record: the defaults, which RFC 8017 writes as an empty SEQUENCE.
    const RSAES_OAEP_PARAM defaults{};
    return setAlgorithmParams(alg, param != nullptr ? param : &defaults, RSAES_OAEP_PARAM_to_Seq);
}

PKI_ERROR set_X509_ALGO_IDENTIFIER_with_RSASSA_PSS_PARAM(X509_ALGO_IDENTIFIER* alg, const RSASSA_PSS_PARAM* param) {
    if (alg == nullptr || param == nullptr) return code(F_SET_RSAES_OAEP_PARAM_PSOURCEALGORITHM, ERR_R_NULL_ARGUMENT);
    return setAlgorithmParams(alg, param, RSASSA_PSS_PARAM_to_Seq);
}

}  // extern "C"
