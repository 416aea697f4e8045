// PKCS #10 certification requests: the request and its information described
// once (keeping the DER received), setters, the extension request, and the
// signature under the request's own key.
#include <zunPKI/x509/pkcs10.h>

#include <climits>
#include <cstring>

#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/asn1_struct.hpp"
#include "asn1/codec_util.hpp"
#include "x509/x509_algorithm.hpp"
#include "x509/x509_attr.hpp"
#include "x509/x509_key.hpp"
#include "x509/x509_name.hpp"
#include "x509/x509_received.hpp"
#include "x509/x509_signing.hpp"
#include "x509/x509v3.hpp"

using namespace zpki::asn1;
namespace der = zpki::der;
namespace ber = zpki::ber;
using zpki::Owned;
using zpki::x509::DerBytes;

namespace {

constexpr PKI_ERROR reqErr(unsigned func, unsigned reason) { return PKI_ERR(L_PKCS10, func, reason); }

// Extensions that do not make an attribute value.
constexpr unsigned kNoExtensionBytes = 0x11d;

}  // namespace

// CertificationRequestInfo. The attributes are [0] IMPLICIT SET OF; some
// encoders leave an empty set out, and such a request re-encodes without it.
template <>
struct zpki::asn1::Describe<PKCS10_X509_REQ_INFO> {
    using T = PKCS10_X509_REQ_INFO;
    using Shape = Sequence<Field<&T::version, Integer>,                           //
                           Field<&T::subject, zpki::x509::NameCodec>,             //
                           Field<&T::subjectPKInfo, zpki::x509::PublicKeyCodec>,  //
                           Field<&T::attributes, Optional<Implicit<0, zpki::x509::AttributesCodec>>>>;
    static constexpr auto kReceived = &T::received;
    static constexpr unsigned kEncodeFunc = L_PKCS10 | F_PKCS10_X509_REQ_INFO_TO_SEQ;
};

template <>
struct zpki::asn1::Describe<PKCS10_X509_REQ> {
    using T = PKCS10_X509_REQ;
    using Shape = Sequence<Field<&T::certificationRequestInfo, Sub<PKCS10_X509_REQ_INFO>, ERR_R_NULL_ARGUMENT>,
                           Field<&T::signatureAlgorithm, zpki::x509::AlgorithmId, ERR_R_NULL_ARGUMENT>,
                           Field<&T::signature, BitString, ERR_R_NULL_ARGUMENT>>;
    static constexpr auto kReceived = &T::received;
    static constexpr unsigned kEncodeFunc = L_PKCS10 | F_PKCS10_X509_REQ_TO_SEQ;
};

namespace {

using Info = Family<PKCS10_X509_REQ_INFO>;
using InfoOwned = Owned<PKCS10_X509_REQ_INFO, Info::destroy>;
using Request = Family<PKCS10_X509_REQ>;
using Extensions = Owned<X509_EXTENSIONS, free_X509_EXTENSIONS>;
using Attribute = Owned<X509_ATTRIBUTE, free_X509_ATTRIBUTE>;

PKI_ERROR infoDer(const PKCS10_X509_REQ_INFO* info, DerBytes& out) { return zpki::x509::bodyDerOf(info, out); }

PKI_ERROR requestDer(const PKCS10_X509_REQ* req, DerBytes& out) {
    if (!req || !req->certificationRequestInfo || !req->signatureAlgorithm || !req->signature)
        return reqErr(F_PKCS10_X509_REQ_TO_SEQ, ERR_R_NULL_ARGUMENT);
    return zpki::x509::derOfRecord(req, out);
}

void dropReceived(PKCS10_X509_REQ_INFO* info) {
    if (info) detail::RecordOps<PKCS10_X509_REQ_INFO>::forget(*info);
}

void dropReceived(PKCS10_X509_REQ* req) {
    if (!req) return;
    detail::RecordOps<PKCS10_X509_REQ>::forget(*req);
    dropReceived(req->certificationRequestInfo);
}

// A SEQUENCE node of fewer than three elements: the old decoders' 1.
bool tooFewElements(const ASN1_UNIT* node) {
    Element e;
    return node && elementOf(node, e) && e.identifier == 0x30 && countElements(e) < 3;
}

// Version 0, an empty name, an empty key and an empty attribute list.
PKCS10_X509_REQ_INFO* newInfo() {
    InfoOwned info(Info::create());
    if (!info || !(info->version = VSC_New_BIGINT()) || VSC_Set_BIGINT_Word(info->version, 0) != 0 ||
        !(info->subject = new_X509_NAME()) || !(info->subjectPKInfo = new_X509_PUBKEY()) ||
        !(info->attributes = new_X509_ATTRIBUTES()))
        return nullptr;
    return info.release();
}

// The Extensions SEQUENCE an extension request holds: the value itself, or
// an OCTET STRING around it as older encoders wrote it.
bool extensionsOfValue(const X509_ATTRIBUTE_DATA* v, X509_EXTENSIONS*& out) {
    if (!v || !v->value) return false;
    Element e;
    ber::Bytes wrapped;
    if (v->tag == 0x30) {
        if (!elementOf(static_cast<const ASN1_UNIT*>(v->value), e)) return false;
    } else if (v->tag == ASN1_TAG_OCTET_STRING) {
        const auto* s = static_cast<const ASN1_STRING*>(v->value);
        if (!s->data || s->length <= 0) return false;
        wrapped.assign(s->data, s->data + s->length);
        der::Cursor c(wrapped.data(), wrapped.size());
        if (!der::getElement(c, e) || !c.empty() || e.identifier != 0x30) return false;
    } else {
        return false;
    }
    return zpki::x509::ExtensionsCodec::decodeContents(e, out);
}

// A copy of the key to sign or verify with (the caller's unit keeps no state
// of ours).
using Key = Owned<ASYMMETRIC_KEY, free_ASYMMETRIC_KEY>;

}  // namespace

namespace {
using Signed = zpki::x509::SignedFamily<PKCS10_X509_REQ, PKCS10_X509_REQ_INFO,
                                        &PKCS10_X509_REQ::certificationRequestInfo, requestDer, infoDer>;
}  // namespace

extern "C" {

// ===========================================================================
// Records

ZUNPKI_API PKCS10_X509_REQ_INFO* new_PKCS10_X509_REQ_INFO(void) { return newInfo(); }
ZUNPKI_API void free_PKCS10_X509_REQ_INFO(PKCS10_X509_REQ_INFO* info) { Info::destroy(info); }
ZUNPKI_API void clean_PKCS10_X509_REQ_INFO(PKCS10_X509_REQ_INFO* info) { Info::clean(info); }
ZUNPKI_API PKCS10_X509_REQ_INFO* dup_PKCS10_X509_REQ_INFO(const PKCS10_X509_REQ_INFO* info) { return Info::dup(info); }

ZUNPKI_API PKCS10_X509_REQ* new_PKCS10_X509_REQ(void) {
    Owned<PKCS10_X509_REQ, Request::destroy> req(Request::create());
    if (!req || !(req->certificationRequestInfo = newInfo()) || !(req->signatureAlgorithm = new_X509_ALGO_IDENTIFIER()))
        return nullptr;
    return req.release();
}
ZUNPKI_API void free_PKCS10_X509_REQ(PKCS10_X509_REQ* req) { Request::destroy(req); }
ZUNPKI_API void clean_PKCS10_X509_REQ(PKCS10_X509_REQ* req) { Request::clean(req); }
ZUNPKI_API PKCS10_X509_REQ* dup_PKCS10_X509_REQ(const PKCS10_X509_REQ* req) { return Request::dup(req); }
ZUNPKI_API int cmp_PKCS10_X509_REQ(const PKCS10_X509_REQ* a, const PKCS10_X509_REQ* b) {
    if (a == b) return 0;
    return Signed::cmp(a, b);
}
ZUNPKI_API void touch_PKCS10_X509_REQ(PKCS10_X509_REQ* req) { dropReceived(req); }

// ===========================================================================
// Codecs

ZUNPKI_API PKI_ERROR PKCS10_X509_REQ_to_Seq(const PKCS10_X509_REQ* req, ASN1_UNIT** node) {
    if (!req) return reqErr(F_PKCS10_X509_REQ_TO_SEQ, ERR_R_NULL_ARGUMENT);
    return Signed::toSeq(req, node, L_PKCS10 | F_PKCS10_X509_REQ_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_PKCS10_X509_REQ(const ASN1_UNIT* node, PKCS10_X509_REQ** req) {
    if (req && tooFewElements(node)) return 1;
    return Signed::fromSeq(node, req, L_PKCS10 | F_SEQ_TO_PKCS10_X509_REQ);
}

ZUNPKI_API PKI_ERROR PKCS10_X509_REQ_INFO_to_Seq(const PKCS10_X509_REQ_INFO* info, ASN1_UNIT** node) {
    return Signed::bodyToSeq(info, node, L_PKCS10 | F_PKCS10_X509_REQ_INFO_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_PKCS10_X509_REQ_INFO(const ASN1_UNIT* node, PKCS10_X509_REQ_INFO** info) {
    constexpr unsigned F = L_PKCS10 | F_SEQ_TO_PKCS10_X509_REQ_INFO;
    if (!node || !info) return static_cast<PKI_ERROR>(F | ERR_R_NULL_ARGUMENT);
    if (tooFewElements(node)) return 1;
    InfoOwned made(PKI_NEW(PKCS10_X509_REQ_INFO));
    if (!made) return static_cast<PKI_ERROR>(F | ERR_R_ALLOC_3C);
    if (PKI_ERROR rc = zpki::x509::decodeKeeping(node, *made, static_cast<PKI_ERROR>(F | ERR_ASN1_DECODING))) return rc;
    deliver<Info::clean>(made, info);
    return 0;
}

ZUNPKI_API PKI_ERROR encode_PKCS10_X509_REQ(const ASN1_UNIT* node, unsigned char** der, int* len) {
    constexpr unsigned F = F_ENCODE_PKCS10_X509_REQ;
    if (!node || !der || !len) return reqErr(F, ERR_R_NULL_ARGUMENT);
    unsigned char* bytes = nullptr;
    const int n = ASN1_to_binary(node, &bytes);
    if (n <= 0 || !bytes) {
        VSC_FREE(bytes);
        return reqErr(F, ERR_ASN1_ENCODING);
    }
    *der = bytes;
    *len = n;
    return 0;
}

ZUNPKI_API PKI_ERROR decode_PKCS10_X509_REQ(const unsigned char* der, int len, ASN1_UNIT** node) {
    constexpr unsigned F = F_DECODE_PKCS10_X509_REQ;
    if (!der || len <= 0 || !node) return reqErr(F, ERR_R_NULL_ARGUMENT);
    der::Cursor c(der, static_cast<size_t>(len));
    Element e;
    if (!der::getElement(c, e) || !c.empty() || e.identifier != 0x30) return reqErr(F, ERR_ASN1_DECODING);
    ASN1_UNIT* made = decodeToDERSequence(der, len);
    if (!made) return reqErr(F, ERR_ASN1_DECODING);
    *node = made;
    return 0;
}

// ===========================================================================
// Setters

ZUNPKI_API int PKCS10_X509_REQ_INFO_Set_Version(PKCS10_X509_REQ_INFO* info, unsigned long version) {
    if (!info) return reqErr(F_PKCS10_SET_VERSION, ERR_R_NULL_ARGUMENT);
    if (!info->version && !(info->version = VSC_New_BIGINT())) return reqErr(F_PKCS10_SET_VERSION, ERR_R_ALLOC_3C);
    dropReceived(info);
    return VSC_Set_BIGINT_Word(info->version, version);
}

ZUNPKI_API int PKCS10_X509_REQ_INFO_Set_Subject(PKCS10_X509_REQ_INFO* info, const X509_NAME* name) {
    if (!info || !name) return reqErr(F_PKCS10_SET_SUBJECT, ERR_R_NULL_ARGUMENT);
    if (replace<free_X509_NAME>(info->subject, dup_X509_NAME(name)) != 0)
        return reqErr(F_PKCS10_SET_SUBJECT, ERR_R_ALLOC_3C);
    dropReceived(info);
    return 0;
}

ZUNPKI_API int PKCS10_X509_REQ_INFO_Set_Pubkey(PKCS10_X509_REQ_INFO* info, const X509_PUBKEY* pubkey) {
    if (!info || !pubkey) return reqErr(F_PKCS10_SET_PUBKEY, ERR_R_NULL_ARGUMENT);
    if (replace<free_X509_PUBKEY>(info->subjectPKInfo, dup_X509_PUBKEY(pubkey)) != 0)
        return reqErr(F_PKCS10_SET_PUBKEY, ERR_R_ALLOC_3C);
    dropReceived(info);
    return 0;
}

ZUNPKI_API int PKCS10_X509_REQ_Set_signatureAlgorithm(PKCS10_X509_REQ* req, const X509_ALGO_IDENTIFIER* algorithm) {
    if (!req || !algorithm) return reqErr(F_PKCS10_SET_PUBKEY, ERR_R_NULL_ARGUMENT);
    if (replace<free_X509_ALGO_IDENTIFIER>(req->signatureAlgorithm, dup_X509_ALGO_IDENTIFIER(algorithm)) != 0)
        return reqErr(F_PKCS10_SET_PUBKEY, ERR_R_ALLOC_3C);
    detail::RecordOps<PKCS10_X509_REQ>::forget(*req);
    return 0;
}

ZUNPKI_API int PKCS10_X509_REQ_INFO_Add_Extension(PKCS10_X509_REQ_INFO* info, const X509_EXTENSIONS* extensions) {
    constexpr unsigned F = F_PKCS10_ADD_EXTENSION;
    if (!info || !extensions) return reqErr(F, ERR_R_NULL_ARGUMENT);
    auto* list = const_cast<X509_EXTENSIONS*>(extensions);
    if (!zpki::x509::ExtensionsCodec::present(list)) return reqErr(F, kNoExtensionBytes);
    ber::Bytes bytes;
    try {
        Writer w(bytes);
        if (!zpki::x509::ExtensionsCodec::write(list, w)) return reqErr(F, kNoExtensionBytes);
    } catch (const std::bad_alloc&) {
        return reqErr(F, ERR_R_ALLOC_3C);
    }
    der::Cursor c(bytes.data(), bytes.size());
    Element e;
    if (!der::getElement(c, e)) return reqErr(F, kNoExtensionBytes);
    Node value(ber::nodeFromElement(e));
    if (!value) return reqErr(F, ERR_R_ALLOC_3C);
    Attribute a(create_X509_ATTRIBUTE_index(nullptr, PKCS10_EXT_REQ_ROW, 0x30, value.get()));
    if (!a) return reqErr(F, ERR_R_ALLOC_3C);
    const bool made = !info->attributes;
    if (made && !(info->attributes = new_X509_ATTRIBUTES())) return reqErr(F, ERR_R_ALLOC_3C);
    // One extension request: a second attribute of the type is refused by
    // every reader, so a new one takes the old one's place.
    const int at = get_X509_ATTRIBUTES_index_by_OID_index(info->attributes, PKCS10_EXT_REQ_ROW, -1);
    if (at >= 0) {
        free_X509_ATTRIBUTE(static_cast<X509_ATTRIBUTE*>(info->attributes->items[at]));
        info->attributes->items[at] = a.release();
    } else if (push_STACK_value(info->attributes, a.get()) == 0) {
        if (made) {
            free_X509_ATTRIBUTES(info->attributes);
            info->attributes = nullptr;
        }
        return reqErr(F, ERR_STK_ERROR);
    } else {
        (void)a.release();
    }
    dropReceived(info);
    return 0;
}

ZUNPKI_API int get_PKCS10_X509_REQ_Extensions(const PKCS10_X509_REQ_INFO* info, X509_EXTENSIONS** extensions) {
    constexpr unsigned F = F_GET_PKCS10_EXTENSIONS;
    if (!info || !extensions) return reqErr(F, ERR_R_NULL_ARGUMENT);
    const int at = get_X509_ATTRIBUTES_index_by_OID_index(info->attributes, PKCS10_EXT_REQ_ROW, -1);
    const X509_ATTRIBUTE* a = get_X509_ATTRIBUTES_child(info->attributes, at);
    if (!a) return reqErr(F, ERR_NOT_FOUNDED);
    // The attribute is single-valued.
    if (get_X509_ATTRIBUTE_count(a) != 1) return reqErr(F, ERR_ASN1_DECODING);
    X509_EXTENSIONS* list = nullptr;
    if (!extensionsOfValue(static_cast<const X509_ATTRIBUTE_DATA*>(get_STACK_value(a->values, 0)), list))
        return reqErr(F, ERR_ASN1_DECODING);
    *extensions = list;
    return 0;
}

// ===========================================================================
// Signature

ZUNPKI_API int sign_PKCS10_X509_REQ(PKCS10_X509_REQ* req, const ASYMMETRIC_KEY* key, int signature_row) {
    constexpr unsigned F = F_SIGN_PKCS10_X509_REQ;
    if (!req || !req->certificationRequestInfo || !key || !key->key) return reqErr(F, ERR_R_NULL_ARGUMENT);
    PKCS10_X509_REQ_INFO* info = req->certificationRequestInfo;
    // A request proves possession of the key it names.
    if ((key->kind != ASYMMETRIC_KEY_RSA && key->kind != ASYMMETRIC_KEY_KCDSA) || !info->subjectPKInfo ||
        check_X509_keypair(info->subjectPKInfo, key) != 0)
        return reqErr(F, ERR_R_UNSUPPORTED);
    Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER> oid(index_to_OBJECT_IDENTIFIER(signature_row));
    if (!oid) return reqErr(F, ERR_R_INVALID_ELEMENT);
    DerBytes der;
    if (PKI_ERROR rc = infoDer(info, der)) return rc;
    Key unit(dup_ASYMMETRIC_KEY(key));
    if (!unit) return reqErr(F, ERR_R_ALLOC_3C);
    BIT_STRING* made = nullptr;
    const PKI_ERROR rc =
        key->kind == ASYMMETRIC_KEY_RSA
            ? zpki::x509::signRsa(der.data, der.size, oid.get(), static_cast<RSA_UNIT*>(unit->key), &made, L_PKCS10 | F)
            : zpki::x509::signKcdsa(der.data, der.size, oid.get(), static_cast<KCDSA_UNIT*>(unit->key), &made,
                                    L_PKCS10 | F);
    String signature(made);
    if (rc) return rc;
    zpki::x509::Algorithm alg(new_X509_ALGO_IDENTIFIER());
    if (!alg || set_X509_ALGO_IDENTIFIER_value(alg.get(), oid.get(), nullptr) != 0) return reqErr(F, ERR_R_ALLOC_3C);
    replace<free_X509_ALGO_IDENTIFIER>(req->signatureAlgorithm, alg.release());
    replace<free_ASN1_STRING>(req->signature, signature.release());
    detail::RecordOps<PKCS10_X509_REQ>::forget(*req);
    return 0;
}

ZUNPKI_API int verify_PKCS10_X509_REQ(const PKCS10_X509_REQ* req) {
    constexpr unsigned F = F_VERIFY_PKCS10_X509_REQ;
    const PKCS10_X509_REQ_INFO* info = req ? req->certificationRequestInfo : nullptr;
    const X509_PUBKEY* spki = info ? info->subjectPKInfo : nullptr;
    if (!spki || !spki->key || !spki->key->key || !req->signatureAlgorithm || !req->signatureAlgorithm->algorithm ||
        !req->signature)
        return reqErr(F, ERR_R_NULL_ARGUMENT);
    if (spki->key->kind != ASYMMETRIC_KEY_RSA && spki->key->kind != ASYMMETRIC_KEY_KCDSA)
        return reqErr(F, ERR_R_UNSUPPORTED);
    DerBytes der;
    if (PKI_ERROR rc = infoDer(info, der)) return rc;
    const X509_ALGO_IDENTIFIER* alg = req->signatureAlgorithm;
    const ASN1_STRING* params = alg->parameters && alg->parameters->type != ASN1_TAG_NULL ? alg->parameters : nullptr;
    return zpki::x509::verifyUnderIssuerKey(
        spki,
        [&](RSA_UNIT* key) {
            return zpki::x509::verifyRsa(der.data, der.size, alg->algorithm, params, req->signature, key, L_PKCS10 | F);
        },
        [&](KCDSA_UNIT* key) {
            return zpki::x509::verifyKcdsa(der.data, der.size, alg->algorithm, req->signature, key, L_PKCS10 | F);
        });
}

}  // extern "C"
