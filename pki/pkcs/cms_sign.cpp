// CMS signing and verification through PKCS#7's SignerInfo engine, and
// digestedData.
#include <zunPKI/pkcs/cms_sign.h>

#include <cstring>

#include <zunPKI/asn1/asn1_objects.h>
#include "pkcs/cms.hpp"
#include "pkcs/pkcs_codecs.hpp"

using zpki::Owned;
using zpki::cms::asCms;
using zpki::cms::code;
using zpki::cms::rowOf;

namespace {

constexpr int kRowContentType = 50;

using SignerInfo = Owned<CMS_SIGNER_INFO, free_CMS_SIGNER_INFO>;
using Algorithm = zpki::x509::Algorithm;

CMS_SIGNED_DATA* signedDataOf(const CMS_CONTENT_INFO* cms) {
    return zpki::cms::contentAs<CMS_SIGNED_DATA>(cms, CMS_SIGNED_DATA_TYPE);
}

CMS_SIGNER_INFO* signerAt(const STACK* list, int i) { return static_cast<CMS_SIGNER_INFO*>(get_STACK_value(list, i)); }

// The checks init, update and final share; 0 or a code under func.
PKI_ERROR signable(const CMS_CONTENT_INFO* cms, unsigned func, CMS_SIGNED_DATA*& sd) {
    if (!cms) return code(func, ERR_R_NULL_ARGUMENT);
    if (!(sd = signedDataOf(cms))) return code(func, ERR_R_UNSUPPORTED);
    return get_STACK_count(sd->signerInfos) > 0 ? 0 : code(func, ERR_R_INVALID_ELEMENT);
}

// The content a signedData carries, or null (detached).
const OCTET_STRING* carriedContent(const CMS_SIGNED_DATA* sd) {
    return sd->encapContentInfo ? sd->encapContentInfo->eContent : nullptr;
}

// A contentType attribute, when the signer has one, names the eContentType
// (RFC 5652 11.1): one value, that identifier.
bool contentTypeAgrees(const CMS_SIGNER_INFO* si, const CMS_SIGNED_DATA* sd) {
    const X509_ATTRIBUTES* attrs = si->signedAttrs;
    const int at = get_X509_ATTRIBUTES_index_by_OID_index(attrs, kRowContentType, -1);
    if (at < 0) return true;
    if (get_X509_ATTRIBUTES_index_by_OID_index(attrs, kRowContentType, at) >= 0) return false;  // only one
    const X509_ATTRIBUTE* a = get_X509_ATTRIBUTES_child(attrs, at);
    if (!a || get_X509_ATTRIBUTE_count(a) != 1 || get_X509_ATTRIBUTE_data_type(a, 0) != ASN1_TAG_OBJECT_IDENTIFIER)
        return false;
    const auto* type = static_cast<const OBJECT_IDENTIFIER*>(get_X509_ATTRIBUTE_data(a, 0));
    return sd->encapContentInfo && cmp_ASN1_STRING(type, sd->encapContentInfo->eContentType) == 0;
}

// The certificate a SignerInfo names among the message's; 0 or a code.
PKI_ERROR signerCertificate(const CMS_SIGNED_DATA* sd, const CMS_SIGNER_INFO* si, const X509_CERT*& out) {
    constexpr unsigned F = F_VERIFY_CMS;
    const SIGNER_IDENTIFIER* sid = si->sid;
    if (!sid) return code(F, ERR_R_UNSUPPORTED);
    if (sid->type == CMS_ID_ISSUER_AND_SERIAL) {
        out = find_X509_CERT_by_IssuerAndSerialNumber(sd->certificates, sid->issuerAndSerialNumber);
        return out ? 0 : code(F, ERR_R_NULL_ARGUMENT);
    }
    if (sid->type != CMS_ID_KEY_IDENTIFIER) return code(F, ERR_R_UNSUPPORTED);
    for (int i = 0; i < get_STACK_count(sd->certificates); ++i) {
        const auto* cert = static_cast<const X509_CERT*>(get_STACK_value(sd->certificates, i));
        if (zpki::cms::identifies(sid, cert)) {
            out = cert;
            return 0;
        }
    }
    return code(F, ERR_R_ALLOC_3C);
}

}  // namespace

extern "C" {

// ---- Signers ------------------------------------------------------------------------

ZUNPKI_API int set_CMS_SIGNER_INFO(CMS_SIGNER_INFO* si, const X509_CERT* cert, int flags, const ASYMMETRIC_KEY* key,
                                   int digest_row, int kind, const RSASSA_PSS_PARAM* pss) {
    constexpr unsigned F = F_SET_CMS_SIGNER_INFO;
    if (!si || !cert) return code(F, ERR_R_NULL_ARGUMENT);
    if (kind != CMS_SIGN_PKCS1_V15 && kind != CMS_SIGN_RSA_PSS) return code(F, ERR_R_UNSUPPORTED);
    SIGNER_IDENTIFIER* made = nullptr;
    if (PKI_ERROR rc = zpki::cms::identifierOf(cert, flags & CMS_SIGNER_BY_KEY_IDENTIFIER, made, F)) return rc;
    Owned<SIGNER_IDENTIFIER, free_SIGNER_IDENTIFIER> sid(made);
    X509_ALGO_IDENTIFIER *digestAlg = nullptr, *signatureAlg = nullptr;
    if (unsigned reason = zpki::pkcs7::signerAlgorithms(cert, key, digest_row, kind, pss, digestAlg, signatureAlg))
        return code(F, reason == ERR_R_ALLOC ? ERR_ASN1_ENCODING : reason);
    Algorithm ownedDigest(digestAlg), ownedSignature(signatureAlg);
    Owned<ASYMMETRIC_KEY, free_ASYMMETRIC_KEY> keyCopy(key ? dup_ASYMMETRIC_KEY(key) : nullptr);
    if (key && !keyCopy) return code(F, ERR_R_ALLOC);
    if (!zpki::pkcs7::setVersion(si->version, zpki::cms::signerVersion(sid.get()))) return code(F, ERR_R_ALLOC);
    free_SIGNER_IDENTIFIER(si->sid);
    si->sid = sid.release();
    free_X509_ALGO_IDENTIFIER(si->digestAlgorithm);
    si->digestAlgorithm = ownedDigest.release();
    free_X509_ALGO_IDENTIFIER(si->signatureAlgorithm);
    si->signatureAlgorithm = ownedSignature.release();
    free_ASYMMETRIC_KEY(si->key);
    si->key = keyCopy.release();
    return 0;
}

ZUNPKI_API int add_CMS_DigestAlgoIdentifier(CMS_CONTENT_INFO* cms, const CMS_SIGNER_INFO* si) {
    constexpr unsigned F = F_ADD_CMS_SIGNER;
    CMS_SIGNED_DATA* sd = signedDataOf(cms);
    if (!sd || !si || !si->digestAlgorithm) return code(F, ERR_R_UNSUPPORTED);
    for (int i = 0; i < get_STACK_count(sd->digestAlgorithms); ++i)
        if (cmp_X509_ALGO_IDENTIFIER(static_cast<const X509_ALGO_IDENTIFIER*>(get_STACK_value(sd->digestAlgorithms, i)),
                                     si->digestAlgorithm) == 0)
            return 0;
    Algorithm copy(dup_X509_ALGO_IDENTIFIER(si->digestAlgorithm));
    if (!copy) return code(F, ERR_R_ALLOC);
    if (!sd->digestAlgorithms && !(sd->digestAlgorithms = new_X509_ALGO_IDENTIFIERS())) return code(F, ERR_R_ALLOC);
    if (push_STACK_value(sd->digestAlgorithms, copy.get()) == 0) return code(F, ERR_STK_ERROR);
    (void)copy.release();
    return 0;
}

ZUNPKI_API int add_CMS_SignerInfo(CMS_CONTENT_INFO* cms, CMS_SIGNER_INFO* si) {
    constexpr unsigned F = F_ADD_CMS_SIGNER;
    CMS_SIGNED_DATA* sd = signedDataOf(cms);
    if (!sd || !si) return code(F, ERR_R_UNSUPPORTED);
    if (!sd->signerInfos && !(sd->signerInfos = new_CMS_SIGNER_INFOS())) return code(F, ERR_STK_ERROR);
    if (si->version && (!sd->version || VSC_Cmp_BIGINT(sd->version, si->version) < 0)) {
        BIGINT* raised = VSC_Dup_BIGINT(si->version);
        if (!raised) return code(F, ERR_STK_ERROR);
        VSC_Free_BIGINT(sd->version);
        sd->version = raised;
    }
    return push_STACK_value(sd->signerInfos, si) != 0 ? 0 : code(F, ERR_STK_ERROR);
}

ZUNPKI_API CMS_SIGNER_INFO* add_CMS_Signature(CMS_CONTENT_INFO* cms, const X509_CERT* signer, const ASYMMETRIC_KEY* key,
                                              int flags, int digest_row, int kind, const RSASSA_PSS_PARAM* pss) {
    CMS_SIGNED_DATA* sd = signedDataOf(cms);
    if (!sd || !signer || !key) return nullptr;
    SignerInfo si(new_CMS_SIGNER_INFO());
    if (!si || set_CMS_SIGNER_INFO(si.get(), signer, flags, key, digest_row, kind, pss) != 0) return nullptr;
    const int algorithms = get_STACK_count(sd->digestAlgorithms);
    if (add_CMS_DigestAlgoIdentifier(cms, si.get()) != 0) return nullptr;
    if (add_CMS_SignerInfo(cms, si.get()) != 0) {
        if (get_STACK_count(sd->digestAlgorithms) > algorithms)
            free_X509_ALGO_IDENTIFIER(static_cast<X509_ALGO_IDENTIFIER*>(
                remove_STACK_value(sd->digestAlgorithms, get_STACK_count(sd->digestAlgorithms) - 1)));
        return nullptr;
    }
    return si.release();
}

// ---- Signing -----------------------------------------------------------------------

ZUNPKI_API int init_CMS_Sign(CMS_CONTENT_INFO* cms) {
    constexpr unsigned F = F_INIT_CMS_SIGN;
    CMS_SIGNED_DATA* sd = nullptr;
    if (PKI_ERROR rc = signable(cms, F, sd)) return rc;
    for (int i = 0; i < get_STACK_count(sd->signerInfos); ++i) {
        const CMS_SIGNER_INFO* si = signerAt(sd->signerInfos, i);
        if (!si || !si->digestAlgorithm || !si->signatureAlgorithm) return code(F, ERR_R_INVALID_ELEMENT);
        if (si->signature) continue;  // signed before
        if (!get_DigestID_from_OID(rowOf(si->digestAlgorithm->algorithm)) ||
            !get_CipherID_from_OID(rowOf(si->signatureAlgorithm->algorithm)))
            return code(F, ERR_R_INVALID_ELEMENT);
        const ASYMMETRIC_KEY* key = si->key;
        if (!key || !key->key || (key->kind != ASYMMETRIC_KEY_RSA && key->kind != ASYMMETRIC_KEY_KCDSA))
            return code(F, ERR_R_UNSUPPORTED);
    }
    return 0;
}

ZUNPKI_API int update_CMS_Sign(CMS_CONTENT_INFO* cms) {
    CMS_SIGNED_DATA* sd = nullptr;
    return signable(cms, F_UPDATE_CMS_SIGN, sd);
}

ZUNPKI_API int final_CMS_Sign(CMS_CONTENT_INFO* cms) {
    constexpr unsigned F = F_FINAL_CMS_SIGN;
    CMS_SIGNED_DATA* sd = nullptr;
    if (PKI_ERROR rc = signable(cms, F, sd)) return rc;
    if (!sd->encapContentInfo || !sd->encapContentInfo->eContentType) return code(F, ERR_R_INVALID_ELEMENT);
    const OCTET_STRING* content = carriedContent(sd);
    for (int i = 0; i < get_STACK_count(sd->signerInfos); ++i) {
        CMS_SIGNER_INFO* si = signerAt(sd->signerInfos, i);
        if (!si) return code(F, ERR_R_INVALID_ELEMENT);
        if (si->signature) continue;
        if (!si->sid || !contentTypeAgrees(si, sd)) return code(F, ERR_R_INVALID_ELEMENT);
        // The engine signs the SignerInfo the CMS one lends it.
        zpki::cms::LentSigner lent(*si);
        if (PKI_ERROR rc =
                zpki::pkcs7::signSigner(lent.get(), static_cast<long>(zpki::cms::signerVersion(si->sid)), content))
            return asCms(rc, F);
    }
    return 0;
}

ZUNPKI_API int sign_CMS(CMS_CONTENT_INFO* cms) {
    if (int rc = init_CMS_Sign(cms)) return rc;
    if (int rc = update_CMS_Sign(cms)) return rc;
    return final_CMS_Sign(cms);
}

// ---- Verification ------------------------------------------------------------------

ZUNPKI_API int verify_CMS(CMS_CONTENT_INFO* cms, const X509_CERT* signer, const unsigned char* data, int len) {
    constexpr unsigned F = F_VERIFY_CMS;
    CMS_SIGNED_DATA* sd = signedDataOf(cms);
    if (!sd) return code(F, ERR_R_NULL_ARGUMENT);
    // Nothing signed is nothing verified.
    const STACK* signers = sd->signerInfos;
    if (get_STACK_count(signers) <= 0) return code(F, ERR_R_INVALID_ELEMENT);
    const uint8_t* content = nullptr;
    size_t contentLen = 0;
    if (const OCTET_STRING* carried = carriedContent(sd)) {
        content = carried->data;
        contentLen = static_cast<size_t>(carried->length);
        // Other bytes than the carried ones are not what the signatures cover.
        if (data && len > 0 && (static_cast<size_t>(len) != contentLen || std::memcmp(data, content, contentLen) != 0))
            return code(F, 0x5e);
    } else {
        sd->detached = 1;
        if (!data || len < 0) return code(F, ERR_R_NULL_ARGUMENT);
        content = data;
        contentLen = static_cast<size_t>(len);
    }
    for (int i = 0; i < get_STACK_count(signers); ++i) {
        CMS_SIGNER_INFO* si = signerAt(signers, i);
        if (!si) return code(F, ERR_R_INVALID_ELEMENT);
        const X509_CERT* cert = signer;
        if (signer) {
            if (!zpki::cms::identifies(si->sid, signer)) return code(F, ERR_R_UNSUPPORTED);
        } else if (PKI_ERROR rc = signerCertificate(sd, si, cert)) {
            return rc;
        }
        const X509_PUBKEY* spki = get_X509_SPKI(cert);
        if (!spki || !spki->key || !spki->key->key) return code(F, ERR_R_NULL_ARGUMENT);
        if (spki->key->kind != ASYMMETRIC_KEY_RSA && spki->key->kind != ASYMMETRIC_KEY_KCDSA)
            return code(F, ERR_R_UNSUPPORTED);
        if (!contentTypeAgrees(si, sd)) return code(F, ERR_R_INVALID_ELEMENT);
        zpki::cms::LentSigner lent(*si);
        if (PKI_ERROR rc = zpki::pkcs7::verifySigner(lent.get(), spki->key, content, contentLen, false))
            return asCms(rc, F);
    }
    return 0;
}

// ---- Digested data -------------------------------------------------------------------

ZUNPKI_API int digest_CMS(CMS_CONTENT_INFO* cms, int digest_id, const unsigned char* bytes, int len) {
    constexpr unsigned F = F_DIGEST_CMS;
    auto* dd = zpki::cms::contentAs<CMS_DIGESTED_DATA>(cms, CMS_DIGESTED_DATA_TYPE);
    const int row = get_OID_from_DigestID(digest_id);
    if (!dd || !row) return code(F, ERR_R_UNSUPPORTED);
    if (!bytes || len < 0) return code(F, ERR_R_INVALID_ELEMENT);
    unsigned char md[VSC_MAX_DIGEST_LENGTH];
    int mdLen = sizeof md;
    if (int rc = VSC_DIGEST(digest_id, bytes, len, md, &mdLen)) return rc;
    Owned<ENCAPSULATED_CONTENT_INFO, free_ENCAPSULATED_CONTENT_INFO> eci(new_ENCAPSULATED_CONTENT_INFO());
    zpki::asn1::String digest(new_OCTET_STRING(md, mdLen));
    Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER> oid(index_to_OBJECT_IDENTIFIER(row));
    Algorithm alg(new_X509_ALGO_IDENTIFIER());
    if (!eci || !(eci->eContentType = index_to_OBJECT_IDENTIFIER(CMS_DATA)) ||
        !(eci->eContent = new_OCTET_STRING(bytes, len)) || !digest || !oid || !alg ||
        set_X509_ALGO_IDENTIFIER_value(alg.get(), oid.get(), nullptr) != 0)
        return code(F, ERR_NOT_FOUNDED);
    free_ENCAPSULATED_CONTENT_INFO(dd->encapContentInfo);
    dd->encapContentInfo = eci.release();
    free_X509_ALGO_IDENTIFIER(dd->digestAlgorithm);
    dd->digestAlgorithm = alg.release();
    free_OCTET_STRING(dd->digest);
    dd->digest = digest.release();
    return 0;
}

}  // extern "C"
