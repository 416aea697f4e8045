#include <zunPKI/pkcs/pkcs8.h>

#include <zunPKI/asn1/asn1_objects.h>
#include "pkcs/pkcs1_internal.hpp"
#include "pkcs/pkcs_codecs.hpp"
#include "asn1/secret.hpp"
#include "x509/x509_attr.hpp"

#include <cstring>

using namespace zpki::asn1;
using zpki::pkcs::AlgorithmId;
using zpki::pkcs::childCount;
using zpki::pkcs::contentsString;
using zpki::pkcs::sequenceOf;

namespace {

constexpr int kRowRsa = 6;
constexpr int kRowPbkdf2 = 69;
constexpr int kRowKcdsa = 782;

// The private key of a PrivateKeyInfo: released, copied and compared as the
// key object it holds; read and written by hand (its bytes depend on the
// algorithm). A new record starts with an empty key.
struct KeyMember {
    using Value = ASYMMETRIC_KEY*;
    static bool init(Value& v) { return (v = new_ASYMMETRIC_KEY()) != nullptr; }
    static bool matches(uint8_t) { return false; }
    static bool decodeContents(const Element&, Value&) { return false; }
    static bool encode(const Value&, ASN1_UNIT*) { return false; }
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) {
        free_ASYMMETRIC_KEY(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) {
        if (from == nullptr) return true;
        to = from->kind == ASYMMETRIC_KEY_EMPTY ? new_ASYMMETRIC_KEY() : dup_ASYMMETRIC_KEY(from);
        return to != nullptr;
    }
    static int compare(const Value& a, const Value& b) {
        if (a == b) return 0;
        if (!a || !b) return a ? 1 : -1;
        return cmp_ASYMMETRIC_KEY(a, b);
    }
};

// A version that a new record starts with: INTEGER 0.
struct Version : Integer {
    static bool init(Value& v) { return (v = VSC_New_BIGINT()) != nullptr; }
};

using Attributes = Optional<Implicit<0, zpki::x509::AttributesCodec>>;

// ---- The wire shapes -------------------------------------------------------

// PrivateKeyInfo as encoded (RFC 5208; a version 2 publicKey [1] of RFC
// 5958 is read past).
struct PrivateKeyInfoWire {
    BIGINT* version;
    X509_ALGO_IDENTIFIER* algorithm;
    OCTET_STRING* privateKey;
    X509_ATTRIBUTES* attributes;
    BIT_STRING* publicKey;
};

// PBEParameter (PKCS#5 v1.5 and PKCS#12).
struct PbeParameterWire {
    OCTET_STRING* salt;
    BIGINT* count;
};

// PBKDF2-params with a specified salt.
struct Pbkdf2Wire {
    OCTET_STRING* salt;
    BIGINT* count;
    BIGINT* keyLength;
    X509_ALGO_IDENTIFIER* prf;
};

struct KeyDerivationWire {
    OBJECT_IDENTIFIER* algorithm;
    Pbkdf2Wire* params;
};

// PBES2-params.
struct Pbes2Wire {
    KeyDerivationWire* kdf;
    X509_ALGO_IDENTIFIER* scheme;
};

}  // namespace

template <>
struct zpki::asn1::Describe<PKCS8> {
    using Shape = Sequence<Field<&PKCS8::kind, zpki::pkcs::NotEncoded<SmallInt<>>>,
                           Field<&PKCS8::encryptionAlgorithm, AlgorithmId>, Field<&PKCS8::encryptedData, OctetString>>;
};

template <>
struct zpki::asn1::Describe<P8_PRIV_KEY_INFO> {
    using I = P8_PRIV_KEY_INFO;
    using Shape = Sequence<Field<&I::version, Version>, Field<&I::privateKeyAlgorithm, Oid>,
                           Field<&I::privateKey, KeyMember>, Field<&I::attributes, Attributes>>;
};

template <>
struct zpki::asn1::Describe<P5_PBE_PARAM> {
    using P = P5_PBE_PARAM;
    using Shape = Sequence<Field<&P::salt, OctetString>, Field<&P::iterationCount, Integer>,
                           Field<&P::scheme, Optional<AlgorithmId>>, Field<&P::keyLength, Optional<Integer>>,
                           Field<&P::prf, Optional<AlgorithmId>>>;
};

template <>
struct zpki::asn1::Describe<PrivateKeyInfoWire> {
    using W = PrivateKeyInfoWire;
    using Shape =
        Sequence<Field<&W::version, Integer>, Field<&W::algorithm, AlgorithmId>, Field<&W::privateKey, OctetString>,
                 Field<&W::attributes, Attributes>, Field<&W::publicKey, Optional<Implicit<1, BitString>>>>;
};

template <>
struct zpki::asn1::Describe<PbeParameterWire> {
    using Shape = Sequence<Field<&PbeParameterWire::salt, OctetString>, Field<&PbeParameterWire::count, Integer>>;
};

template <>
struct zpki::asn1::Describe<Pbkdf2Wire> {
    using W = Pbkdf2Wire;
    using Shape = Sequence<Field<&W::salt, OctetString>, Field<&W::count, Integer>,
                           Field<&W::keyLength, Optional<Integer>>, Field<&W::prf, Optional<AlgorithmId>>>;
};

template <>
struct zpki::asn1::Describe<KeyDerivationWire> {
    using Shape =
        Sequence<Field<&KeyDerivationWire::algorithm, Oid>, Field<&KeyDerivationWire::params, Sub<Pbkdf2Wire>>>;
};

template <>
struct zpki::asn1::Describe<Pbes2Wire> {
    using Shape = Sequence<Field<&Pbes2Wire::kdf, Sub<KeyDerivationWire>>, Field<&Pbes2Wire::scheme, AlgorithmId>>;
};

ZPKI_STRUCT_LIFECYCLE(PKCS8)
ZPKI_STRUCT_LIFECYCLE(P5_PBE_PARAM)

namespace {

using zpki::pkcs::Node;
using Info = zpki::Owned<P8_PRIV_KEY_INFO, free_P8_PRIV_KEY_INFO>;
using Param = zpki::Owned<P5_PBE_PARAM, free_P5_PBE_PARAM>;
using zpki::BigInt;
using zpki::pkcs::Algorithm;
using zpki::pkcs::String;

constexpr PKI_ERROR code(unsigned func, unsigned reason) { return PKI_ERR(L_PKCS8, func, reason); }

int rowOf(const OBJECT_IDENTIFIER* oid) { return oid != nullptr ? index_from_OBJECT_IDENTIFIER(oid) : 0; }

// ---- Keys ------------------------------------------------------------------

// DER of one INTEGER.
zpki::Buffer integerDer(const BIGINT* v, int& len) {
    len = -1;
    Node node(new_ASN1_UNIT());
    if (!node || !Integer::encode(const_cast<BIGINT*>(v), node.get())) return {};
    Element e;
    Decoder d(zpki::ber::contentsOf(node.get()));
    if (!d.next(e)) return {};
    auto out = zpki::Buffer::allocate(e.totalSize);
    if (!out) return {};
    std::memcpy(out.data(), e.start, e.totalSize);
    len = static_cast<int>(e.totalSize);
    return out;
}

// The algorithm identifier and privateKey bytes of a key.
PKI_ERROR keyToWire(const P8_PRIV_KEY_INFO& info, Algorithm& algorithm, String& privateKey) {
    constexpr unsigned F = F_P8_PRIV_KEY_INFO_TO_SEQ;
    const ASYMMETRIC_KEY* key = info.privateKey;
    if (key == nullptr || key->key == nullptr || (key->kind != ASYMMETRIC_KEY_RSA && key->kind != ASYMMETRIC_KEY_KCDSA))
        return code(F, ERR_R_UNSUPPORTED);
    const int row = rowOf(info.privateKeyAlgorithm);
    if (row != (key->kind == ASYMMETRIC_KEY_RSA ? kRowRsa : kRowKcdsa)) return code(F, ERR_R_INVALID_ELEMENT);
    String params;
    zpki::Buffer der;
    int derLen = -1;
    if (key->kind == ASYMMETRIC_KEY_RSA) {
        // A PrivateKeyInfo carries a whole two-prime RSAPrivateKey or nothing.
        der = zpki::pkcs1::privateKeyDer(static_cast<const RSA_UNIT*>(key->key), derLen);
    } else {
        const auto* k = static_cast<const KCDSA_UNIT*>(key->key);
        if (!k->p || !k->q || !k->g || !k->x) return code(F, ERR_R_INVALID_ELEMENT);
        Node domain(new_ASN1_UNIT());
        if (!domain || !Integer::encode(k->p, domain.get()) || !Integer::encode(k->q, domain.get()) ||
            !Integer::encode(k->g, domain.get()))
            return code(F, ERR_ASN1_ENCODING);
        params = contentsString(domain.get());
        if (!params) return code(F, ERR_R_ALLOC_3C);
        der = integerDer(k->x, derLen);
    }
    if (!der) return code(F, ERR_R_INVALID_ELEMENT);
    algorithm.reset(new_X509_ALGO_IDENTIFIER());
    privateKey.reset(new_OCTET_STRING(der.data(), derLen));
    if (!algorithm || !privateKey ||
        set_X509_ALGO_IDENTIFIER_value(algorithm.get(), info.privateKeyAlgorithm, params.get()) != 0)
        return code(F, ERR_R_ALLOC_3C);
    return PKI_SUCCESS;
}

// The key object of a decoded PrivateKeyInfo.
bool keyFromWire(const PrivateKeyInfoWire& w, ASYMMETRIC_KEY& key) {
    const int row = rowOf(w.algorithm->algorithm);
    const unsigned char* bytes = w.privateKey->data;
    const int len = w.privateKey->length;
    if (row == kRowRsa) {
        RSA_UNIT* rsa = nullptr;
        if (zpki::pkcs1::privateUnitFromDer(&rsa, bytes, len) != PKI_SUCCESS) return false;
        key.kind = ASYMMETRIC_KEY_RSA;
        key.key = rsa;
        return true;
    }
    if (row != kRowKcdsa) return true;  // an algorithm we do not carry: an empty key
    // Domain parameters { p, q, g, ... } in the algorithm, x alone in the key.
    Node domain = sequenceOf(w.algorithm->parameters);
    if (!domain) return false;
    Decoder d(zpki::ber::contentsOf(domain.get()));
    BigInt p, q, g, x;
    BIGINT* v[3] = {};
    for (auto& out : v) {
        Element e;
        if (!d.next(e) || !Integer::matches(e.identifier) || !Integer::decodeContents(e, out)) break;
    }
    p.reset(v[0]), q.reset(v[1]), g.reset(v[2]);
    zpki::der::Cursor in(bytes, static_cast<size_t>(len));
    Element e;
    BIGINT* made = nullptr;
    if (!p || !q || !g || !zpki::der::getElement(in, e) || !in.empty() || !Integer::matches(e.identifier) ||
        !Integer::decodeContents(e, made))
        return false;
    x.reset(made);
    zpki::Owned<KCDSA_UNIT, VSC_Free_KCDSA> kcdsa(VSC_New_KCDSA());
    if (!kcdsa || VSC_Set_KCDSA_Params(kcdsa.get(), p.get(), q.get(), g.get(), x.get(), nullptr) != VSC_OK)
        return false;
    key.kind = ASYMMETRIC_KEY_KCDSA;
    key.key = kcdsa.release();
    return true;
}

// ---- PBE parameters --------------------------------------------------------

PKI_ERROR paramToSeq(const P5_PBE_PARAM& p, ASN1_UNIT** node) {
    constexpr unsigned LF = L_PKCS8 | F_P5_PBE_PARAM_TO_SEQ;
    if (p.salt == nullptr || p.iterationCount == nullptr) return code(F_P5_PBE_PARAM_TO_SEQ, ERR_R_INVALID_ELEMENT);
    if (p.scheme == nullptr) {
        PbeParameterWire w{p.salt, p.iterationCount};
        return Family<PbeParameterWire>::toSeq(&w, node, LF);
    }
    OBJECT_IDENTIFIER* pbkdf2 = index_to_OBJECT_IDENTIFIER(kRowPbkdf2);
    String owned(pbkdf2);
    Pbkdf2Wire params{p.salt, p.iterationCount, p.keyLength, p.prf};
    KeyDerivationWire kdf{pbkdf2, &params};
    Pbes2Wire w{&kdf, p.scheme};
    return pbkdf2 == nullptr ? code(F_P5_PBE_PARAM_TO_SEQ, ERR_R_ALLOC_3C) : Family<Pbes2Wire>::toSeq(&w, node, LF);
}

PKI_ERROR paramFromSeq(const ASN1_UNIT* node, P5_PBE_PARAM& out) {
    constexpr unsigned LF = L_PKCS8 | F_SEQ_TO_P5_PBE_PARAM;
    constexpr PKI_ERROR malformed = code(F_SEQ_TO_P5_PBE_PARAM, ERR_ASN1_DECODING);
    if (childCount(node) != 2) return code(F_SEQ_TO_P5_PBE_PARAM, ERR_R_INVALID_ELEMENT);
    uint8_t first = 0;
    Decoder(zpki::ber::contentsOf(node)).peek(first);
    if (first != 0x30) {
        PbeParameterWire* w = nullptr;
        if (Family<PbeParameterWire>::fromSeq(node, &w, LF) != PKI_SUCCESS) return malformed;
        out.salt = std::exchange(w->salt, nullptr);
        out.iterationCount = std::exchange(w->count, nullptr);
        Family<PbeParameterWire>::destroy(w);
        return PKI_SUCCESS;
    }
    Pbes2Wire* w = nullptr;
    if (Family<Pbes2Wire>::fromSeq(node, &w, LF) != PKI_SUCCESS) return malformed;
    zpki::Owned<Pbes2Wire, Family<Pbes2Wire>::destroy> owned(w);
    // Only PBKDF2 derives PBES2 keys here.
    if (rowOf(w->kdf->algorithm) != kRowPbkdf2) return malformed;
    Pbkdf2Wire& k = *w->kdf->params;
    out.salt = std::exchange(k.salt, nullptr);
    out.iterationCount = std::exchange(k.count, nullptr);
    out.keyLength = std::exchange(k.keyLength, nullptr);
    out.prf = std::exchange(k.prf, nullptr);
    out.scheme = std::exchange(w->scheme, nullptr);
    return PKI_SUCCESS;
}

}  // namespace

extern "C" {

// ---- Life cycle of the PrivateKeyInfo ----------------------------------------

P8_PRIV_KEY_INFO* new_P8_PRIV_KEY_INFO(void) {
    Info info(Family<P8_PRIV_KEY_INFO>::create());
    if (!info || !(info->attributes = new_X509_ATTRIBUTES())) return nullptr;
    return info.release();
}

void free_P8_PRIV_KEY_INFO(P8_PRIV_KEY_INFO* info) { Family<P8_PRIV_KEY_INFO>::destroy(info); }

void clean_P8_PRIV_KEY_INFO(P8_PRIV_KEY_INFO* info) { Family<P8_PRIV_KEY_INFO>::clean(info); }

P8_PRIV_KEY_INFO* dup_P8_PRIV_KEY_INFO(const P8_PRIV_KEY_INFO* info) { return Family<P8_PRIV_KEY_INFO>::dup(info); }

int cmp_P8_PRIV_KEY_INFO(const P8_PRIV_KEY_INFO* a, const P8_PRIV_KEY_INFO* b) {
    return Family<P8_PRIV_KEY_INFO>::cmp(a, b);
}

// ---- Accessors -----------------------------------------------------------------

unsigned char* get_encryptedData_PKCS8(const PKCS8* p8) {
    return p8 != nullptr && p8->encryptedData != nullptr ? p8->encryptedData->data : nullptr;
}

int set_encryptedData_PKCS8(PKCS8* p8, const unsigned char* bytes, int len) {
    if (p8 == nullptr || bytes == nullptr || len < 0) return 1;
    return zpki::pkcs::replace<free_OCTET_STRING>(p8->encryptedData, new_OCTET_STRING(bytes, len));
}

OBJECT_IDENTIFIER* get_OID_PKCS8(const PKCS8* p8) {
    return p8 != nullptr && p8->encryptionAlgorithm != nullptr ? p8->encryptionAlgorithm->algorithm : nullptr;
}

int set_OID_PKCS8(PKCS8* p8, const OBJECT_IDENTIFIER* oid) {
    if (p8 == nullptr || oid == nullptr) return 1;
    if (p8->encryptionAlgorithm == nullptr && !(p8->encryptionAlgorithm = new_X509_ALGO_IDENTIFIER())) return 1;
    return zpki::pkcs::replace<free_OBJECT_IDENTIFIER>(p8->encryptionAlgorithm->algorithm, dup_OBJECT_IDENTIFIER(oid));
}

P5_PBE_PARAM* get_P5_PBE_PARAM_from_X509_ALGO_IDENTIFIER(const X509_ALGO_IDENTIFIER* alg) {
    if (alg == nullptr) return nullptr;
    Node node = sequenceOf(alg->parameters);
    P5_PBE_PARAM* param = nullptr;
    if (!node || Seq_to_P5_PBE_PARAM(node.get(), &param) != PKI_SUCCESS) return nullptr;
    return param;
}

P5_PBE_PARAM* get_PKCS8_P5_PBE_PARAM(const PKCS8* p8) {
    return p8 != nullptr ? get_P5_PBE_PARAM_from_X509_ALGO_IDENTIFIER(p8->encryptionAlgorithm) : nullptr;
}

int set_P5_PBE_PARAM(P5_PBE_PARAM* param, const unsigned char* salt, int salt_len, const unsigned char* count,
                     int count_len, const OBJECT_IDENTIFIER* scheme_oid, const ASN1_STRING* scheme_params) {
    if (param == nullptr || salt == nullptr || count == nullptr || salt_len <= 0 || count_len <= 0) return 1;
    String s(new_OCTET_STRING(salt, salt_len));
    BigInt n(VSC_Binary_To_BIGINT(nullptr, count, count_len));
    Algorithm scheme;
    if (scheme_oid != nullptr && scheme_params != nullptr) {
        scheme.reset(new_X509_ALGO_IDENTIFIER());
        if (!scheme || set_X509_ALGO_IDENTIFIER_value(scheme.get(), scheme_oid, scheme_params) != 0) return 1;
    }
    if (!s || !n) return 1;
    free_OCTET_STRING(param->salt);
    VSC_Free_BIGINT(param->iterationCount);
    free_X509_ALGO_IDENTIFIER(param->scheme);
    param->salt = s.release();
    param->iterationCount = n.release();
    param->scheme = scheme.release();
    return 0;
}

int set_PKCS8_P5_PBE_PARAM(PKCS8* p8, const P5_PBE_PARAM* param) {
    if (p8 == nullptr || p8->encryptionAlgorithm == nullptr || param == nullptr) return 1;
    ASN1_UNIT* made = nullptr;
    PKI_ERROR rc = P5_PBE_PARAM_to_Seq(param, &made);
    Node node(made);
    String params = rc == PKI_SUCCESS ? contentsString(node.get()) : nullptr;
    if (!params) return 1;
    free_ASN1_STRING(p8->encryptionAlgorithm->parameters);
    p8->encryptionAlgorithm->parameters = params.release();
    return 0;
}

unsigned char* get_PRIV_KEY_version(const P8_PRIV_KEY_INFO* info) {
    if (info == nullptr || info->version == nullptr) return nullptr;
    const int n = (VSC_Get_BIGINT_Bits_Length(info->version) + 7) / 8;
    auto out = zpki::Buffer::allocate(static_cast<size_t>(n));
    if (!out || (n > 0 && VSC_BIGINT_To_Binary_Unsigned(info->version, out.data()) != n)) return nullptr;
    return out.release();
}

int set_PRIV_KEY_version(P8_PRIV_KEY_INFO* info, unsigned char version) {
    if (info == nullptr) return 1;
    BigInt v(VSC_New_BIGINT());
    if (!v || VSC_Set_BIGINT_Word(v.get(), version) != VSC_OK) return 1;
    return zpki::pkcs::replace<VSC_Free_BIGINT>(info->version, v.release());
}

OBJECT_IDENTIFIER* get_PRIV_KEY_OID(const P8_PRIV_KEY_INFO* info) {
    return info != nullptr ? info->privateKeyAlgorithm : nullptr;
}

int set_PRIV_KEY_OID(P8_PRIV_KEY_INFO* info, const OBJECT_IDENTIFIER* oid) {
    if (info == nullptr) return 1;
    return zpki::pkcs::replace<free_OBJECT_IDENTIFIER>(info->privateKeyAlgorithm, dup_OBJECT_IDENTIFIER(oid));
}

ASYMMETRIC_KEY* get_PRIV_KEY_KeyParams(const P8_PRIV_KEY_INFO* info) {
    return info != nullptr ? info->privateKey : nullptr;
}

int set_PRIV_KEY_KeyParams(P8_PRIV_KEY_INFO* info, const ASYMMETRIC_KEY* key) {
    ASYMMETRIC_KEY* copy = nullptr;
    if (info == nullptr || key == nullptr || !KeyMember::copy(const_cast<ASYMMETRIC_KEY*>(key), copy)) return 1;
    return zpki::pkcs::replace<free_ASYMMETRIC_KEY>(info->privateKey, copy);
}

P8_PRIV_KEY_INFO* gen_P8_PRIV_KEY_INFO(const ASYMMETRIC_KEY* key, const X509_ATTRIBUTES* attributes) {
    if (key == nullptr || key->key == nullptr || (key->kind != ASYMMETRIC_KEY_RSA && key->kind != ASYMMETRIC_KEY_KCDSA))
        return nullptr;
    Info info(new_P8_PRIV_KEY_INFO());
    if (!info) return nullptr;
    free_X509_ATTRIBUTES(info->attributes);
    info->attributes = nullptr;
    free_ASYMMETRIC_KEY(info->privateKey);
    info->privateKey = dup_ASYMMETRIC_KEY(key);
    info->privateKeyAlgorithm = index_to_OBJECT_IDENTIFIER(key->kind == ASYMMETRIC_KEY_RSA ? kRowRsa : kRowKcdsa);
    if (attributes != nullptr) info->attributes = dup_X509_ATTRIBUTES(attributes);
    if (!info->privateKey || !info->privateKeyAlgorithm || (attributes != nullptr && !info->attributes)) return nullptr;
    return info.release();
}

// ---- Codecs --------------------------------------------------------------------

PKI_ERROR P8_ENCRYPTED_KEY_to_Seq(const PKCS8* p8, ASN1_UNIT** node) {
    return Family<PKCS8>::toSeq(p8, node, L_PKCS8 | F_P8_ENCRYPTED_KEY_TO_SEQ);
}

PKI_ERROR Seq_to_P8_ENCRYPTED_KEY(const ASN1_UNIT* node, PKCS8** p8) {
    if (node == nullptr || p8 == nullptr) return code(F_SEQ_TO_P8_ENCRYPTED_KEY, ERR_R_NULL_ARGUMENT);
    if (childCount(node) != 2) return code(F_SEQ_TO_P8_ENCRYPTED_KEY, ERR_R_INVALID_ELEMENT);
    if (PKI_ERROR rc = Family<PKCS8>::fromSeq(node, p8, L_PKCS8 | F_SEQ_TO_P8_ENCRYPTED_KEY); rc != PKI_SUCCESS)
        return rc;
    switch (rowOf(get_OID_PKCS8(*p8))) {
        case 9:
        case 10:
        case 170:
            (*p8)->kind = PKCS8_KIND_PBES1;
            break;
        case 777:
        case 780:
        case 828:
            (*p8)->kind = PKCS8_KIND_KISA;
            break;
        default:
            (*p8)->kind = PKCS8_KIND_OTHER;
    }
    return PKI_SUCCESS;
}

PKI_ERROR P8_PRIV_KEY_INFO_to_Seq(const P8_PRIV_KEY_INFO* info, ASN1_UNIT** node) {
    constexpr unsigned F = F_P8_PRIV_KEY_INFO_TO_SEQ;
    if (info == nullptr || node == nullptr) return code(F, ERR_R_NULL_ARGUMENT);
    if (info->version == nullptr || info->privateKeyAlgorithm == nullptr) return code(F, ERR_R_INVALID_ELEMENT);
    Algorithm algorithm;
    String privateKey;
    if (PKI_ERROR rc = keyToWire(*info, algorithm, privateKey); rc != PKI_SUCCESS) return rc;
    // The attributes are written only when there are some.
    PrivateKeyInfoWire w{info->version, algorithm.get(), privateKey.get(),
                         get_X509_ATTRIBUTES_count(info->attributes) > 0 ? info->attributes : nullptr, nullptr};
    return Family<PrivateKeyInfoWire>::toSeq(&w, node, L_PKCS8 | F);
}

PKI_ERROR Seq_to_P8_PRIV_KEY_INFO(const ASN1_UNIT* node, P8_PRIV_KEY_INFO** info) {
    constexpr unsigned F = F_SEQ_TO_P8_PRIV_KEY_INFO;
    if (node == nullptr || info == nullptr) return code(F, ERR_R_NULL_ARGUMENT);
    PrivateKeyInfoWire* made = nullptr;
    if (Family<PrivateKeyInfoWire>::fromSeq(node, &made, L_PKCS8 | F) != PKI_SUCCESS) return code(F, ERR_ASN1_DECODING);
    zpki::Owned<PrivateKeyInfoWire, Family<PrivateKeyInfoWire>::destroy> w(made);
    Info result(Family<P8_PRIV_KEY_INFO>::create());
    if (!result) return code(F, ERR_R_ALLOC_3C);
    if (!keyFromWire(*w, *result->privateKey)) return code(F, ERR_ASN1_DECODING);
    VSC_Free_BIGINT(result->version);
    result->version = std::exchange(w->version, nullptr);
    result->privateKeyAlgorithm = std::exchange(w->algorithm->algorithm, nullptr);
    result->attributes = std::exchange(w->attributes, nullptr);
    zpki::pkcs::deliver<clean_P8_PRIV_KEY_INFO>(result, info);
    return PKI_SUCCESS;
}

PKI_ERROR P5_PBE_PARAM_to_Seq(const P5_PBE_PARAM* param, ASN1_UNIT** node) {
    if (param == nullptr || node == nullptr) return code(F_P5_PBE_PARAM_TO_SEQ, ERR_R_NULL_ARGUMENT);
    return paramToSeq(*param, node);
}

PKI_ERROR Seq_to_P5_PBE_PARAM(const ASN1_UNIT* node, P5_PBE_PARAM** param) {
    if (node == nullptr || param == nullptr) return code(F_SEQ_TO_P5_PBE_PARAM, ERR_R_NULL_ARGUMENT);
    Param made(new_P5_PBE_PARAM());
    if (!made) return code(F_SEQ_TO_P5_PBE_PARAM, ERR_R_ALLOC_3C);
    if (PKI_ERROR rc = paramFromSeq(node, *made); rc != PKI_SUCCESS) return rc;
    zpki::pkcs::deliver<clean_P5_PBE_PARAM>(made, param);
    return PKI_SUCCESS;
}

}  // extern "C"
