// Signed certificate trust lists: signature and period checks, and the
// anchors and certificates taken from a list.
#include "pkcs/ctl_signed.hpp"

#include <cstdint>
#include <cstring>
#include <ctime>
#include <new>
#include <vector>

#include "asn1/asn1_time.hpp"
#include <zunPKI/asn1/asn1_objects.h>
#include "pkcs/pkcs7.hpp"
#include <zunPKI/pkcs/pkcs7_sign.h>
#include <zunPKI/x509/certpath.h>
#include <zunPKI/x509/issuer_and_serial_number.h>

using zpki::Owned;
using zpki::pkcs7::contentAs;
using zpki::pkcs7::rowOf;
namespace ber = zpki::ber;

namespace {

constexpr PKI_ERROR err(unsigned func, unsigned reason) { return PKI_ERR(L_CPV, func, reason); }
constexpr PKI_ERROR intake(unsigned reason) { return err(F_ADD_TRUSTLIST, reason); }
constexpr PKI_ERROR period(unsigned reason) { return err(F_VERIFY_CTL_VALIDITY_PERIOD, reason); }

constexpr const char* kContentTypeAttribute = "1.2.840.113549.1.9.3";
constexpr const char* kCtlType = "1.3.6.1.4.1.311.10.1";
constexpr const char* kCtlUsage = "1.2.410.200004.8.1.1.1";

// What verify_PKCS7_data says for a messageDigest that is not the
// content's, and for a KCDSA value that does not read.
constexpr PKI_ERROR kDigestDiffers = PKI_ERR(L_PKCS7, F_VERIFY_PKCS7_SIGNER, 0x5e);
constexpr PKI_ERROR kKcdsaUnreadable = PKI_ERR(L_PKCS7, F_VERIFY_PKCS7_SIGNER, 0x0e);

using Anchor = Owned<TRUST_ANCHOR, free_TRUST_ANCHOR>;
using Anchors = Owned<TRUST_ANCHORS, free_TRUST_ANCHORS>;
using Certs = Owned<X509_CERTIFICATES, free_X509_CERTIFICATES>;
template <class T>
using Vec = std::vector<T, zpki::VscAllocator<T>>;

bool oidIs(const OBJECT_IDENTIFIER* oid, const char* text) {
    const size_t n = std::strlen(text);
    return oid && oid->data && oid->length >= 0 && static_cast<size_t>(oid->length) == n &&
           std::memcmp(oid->data, text, n) == 0;
}

const X509_CERT* certAt(const STACK* list, int i) { return static_cast<const X509_CERT*>(get_STACK_value(list, i)); }

// The signedData of a message carrying a trust list, or null.
const P7_SIGNED_DATA* signedTrustList(const P7_CONTENT_INFO* p7) {
    const auto* sd = contentAs<P7_SIGNED_DATA>(p7, P7_SIGNED_DATA_TYPE);
    if (!sd || !sd->contentInfo || !oidIs(sd->contentInfo->contentType, kCtlType) || !sd->contentInfo->content)
        return nullptr;
    return sd;
}

const CERT_TRUST_LIST* listOf(const P7_SIGNED_DATA* sd) {
    return static_cast<const CERT_TRUST_LIST*>(sd->contentInfo->content);
}

// The instant a time names. 0, or the period check's reason.
unsigned instantOf(const X509_TIME* t, Time64_T& out) {
    if (t->type != X509_TIME_UTC && t->type != X509_TIME_GENERALIZED) return ERR_INVALID_X509_TIME_TYPE;
    if (!t->value || !t->value->data || t->value->length < 0 ||
        !zpki::asn1time::parseInstant(t->value->data, static_cast<size_t>(t->value->length),
                                      t->type == X509_TIME_GENERALIZED, out))
        return ERR_CERT_NOT_BEFORE;
    return 0;
}

// The contentType attribute must name the trust list, once.
PKI_ERROR checkContentType(const X509_ATTRIBUTES* attrs) {
    const int row = index_from_oid_string(kContentTypeAttribute, static_cast<int>(std::strlen(kContentTypeAttribute)));
    const int at = get_X509_ATTRIBUTES_index_by_OID_index(attrs, row, -1);
    if (at < 0) return intake(ERR_R_NULL_ARGUMENT);
    const X509_ATTRIBUTE* a = get_X509_ATTRIBUTES_child(attrs, at);
    if (get_X509_ATTRIBUTES_index_by_OID_index(attrs, row, at) >= 0 || get_X509_ATTRIBUTE_count(a) != 1 ||
        get_X509_ATTRIBUTE_data_type(a, 0) != ASN1_TAG_OBJECT_IDENTIFIER ||
        !oidIs(static_cast<const OBJECT_IDENTIFIER*>(get_X509_ATTRIBUTE_data(a, 0)), kCtlType))
        return intake(ERR_R_INVALID_ELEMENT);
    return 0;
}

// The list as a signer may have written it: our DER of it, with a version
// 0 left out (DER) or written (as a decoded list that had one).
struct ListForm {
    ber::Bytes der;
    size_t header = 0;  // identifier and length octets
};

bool formOf(ber::Bytes der, ListForm& out) {
    zpki::der::Cursor c(der.data(), der.size());
    zpki::der::Element e;
    if (!zpki::der::getElement(c, e) || e.indefinite || !c.empty()) return false;
    out.header = e.headerSize;
    out.der = std::move(der);
    return true;
}

bool listForms(const CERT_TRUST_LIST* ctl, Vec<ListForm>& forms) {
    ASN1_UNIT* node = nullptr;
    const PKI_ERROR rc = CERT_TRUST_LIST_to_Seq(ctl, &node);
    Owned<ASN1_UNIT, free_ASN1_UNIT> owned(node);
    ber::Bytes plain;
    ListForm form;
    if (rc != 0 || !ber::serialize(node, plain) || !formOf(plain, form)) return false;
    if (ctl->version && VSC_Get_BIGINT_Bits_Length(ctl->version) == 0) {
        const uint8_t version[] = {0x02, 0x01, 0x00};
        ber::Bytes contents(version, version + sizeof version);
        contents.insert(contents.end(), form.der.begin() + static_cast<long>(form.header), form.der.end());
        uint8_t length[5];
        const size_t n = zpki::der::putLength(length, contents.size(), false);
        ber::Bytes written{0x30};
        written.insert(written.end(), length, length + n);
        written.insert(written.end(), contents.begin(), contents.end());
        ListForm withVersion;
        if (!formOf(std::move(written), withVersion)) return false;
        forms.push_back(std::move(withVersion));
    }
    forms.push_back(std::move(form));
    return true;
}

// One signer over the list: as CMS signs it (the whole DER, the eContent's
// octets) or as PKCS#7 does (the list's contents octets), in each form.
PKI_ERROR verifySigner(const P7_CONTENT_INFO* p7, const P7_SIGNED_DATA* sd, const P7_SIGNER_INFO* si,
                       const Vec<ListForm>& forms) {
    if (!si) return intake(ERR_R_NULL_ARGUMENT);
    if (zpki::pkcs7::versionOf(si->version) == 0) return intake(ERR_ASN1_DECODING);
    if (get_X509_ATTRIBUTES_count(si->authenticatedAttributes) <= 0) return intake(ERR_R_NULL_ARGUMENT);
    if (PKI_ERROR rc = checkContentType(si->authenticatedAttributes)) return rc;
    const X509_CERT* signer = find_X509_CERT_by_IssuerAndSerialNumber(sd->certificates, si->issuerAndSerialNumber);
    if (!signer || !si->digestAlgorithm || !si->digestEncryptionAlgorithm) return intake(ERR_R_NULL_ARGUMENT);
    const int digest = get_DigestID_from_OID(rowOf(si->digestAlgorithm->algorithm));
    int cipher = get_CipherID_from_OID(rowOf(si->digestEncryptionAlgorithm->algorithm));
    if (!digest || !cipher) return intake(ERR_R_NULL_ARGUMENT);
    if (cipher == VSC_PKEY_RSA) cipher = VSC_PKEY_RSA_SIG;
    // The key the certificate carries; a KCDSA key without its values is
    // refused, never completed.
    const X509_PUBKEY* spki = get_X509_SPKI(signer);
    if (!spki || !spki->key || !spki->key->key) return intake(ERR_R_NULL_ARGUMENT);
    if (spki->key->kind != ASYMMETRIC_KEY_RSA && spki->key->kind != ASYMMETRIC_KEY_KCDSA)
        return err(F_VERIFY_CTL_SIGNER, ERR_R_UNSUPPORTED);
    auto* message = const_cast<P7_CONTENT_INFO*>(p7);  // only read
    PKI_ERROR rc = kDigestDiffers;
    for (const ListForm& f : forms) {
        for (size_t skip : {size_t{0}, f.header}) {
            rc = verify_PKCS7_data(message, si, spki->key, cipher, digest, f.der.data() + skip,
                                   static_cast<int>(f.der.size() - skip));
            if (rc != kDigestDiffers) return rc == kKcdsaUnreadable ? err(F_VERIFY_CTL_SIGNER, 0x0e) : rc;
        }
    }
    return rc;
}

// True when the certificate's digest is one of the list's identifiers.
bool listed(const CERT_TRUST_LIST* ctl, int digestId, const X509_CERT* cert, bool& failed) {
    unsigned char md[VSC_MAX_DIGEST_LENGTH];
    int len = 0;
    if (X509_CERT_digest(cert, digestId, md, &len) != 0 || len <= 0) {
        failed = true;
        return false;
    }
    for (int i = 0; i < get_STACK_count(ctl->trustedSubjects); ++i) {
        const auto* tc = static_cast<const TRUSTED_CERTIFICATE*>(get_STACK_value(ctl->trustedSubjects, i));
        const OCTET_STRING* id = tc ? tc->subjectIdentifier : nullptr;
        if (id && id->length == len && std::memcmp(id->data, md, static_cast<size_t>(len)) == 0) return true;
    }
    return false;
}

// Every signer's certificate validates to an anchor of the list.
bool signersTrusted(const P7_SIGNED_DATA* sd, const TRUST_ANCHORS* anchors) {
    for (int i = 0; i < get_STACK_count(sd->signerInfos); ++i) {
        const auto* si = static_cast<const P7_SIGNER_INFO*>(get_STACK_value(sd->signerInfos, i));
        const X509_CERT* signer =
            si ? find_X509_CERT_by_IssuerAndSerialNumber(sd->certificates, si->issuerAndSerialNumber) : nullptr;
        if (!signer) return false;
        STACK* chain = nullptr;
        const PKI_ERROR built = build_certPath(sd->certificates, anchors, signer, &chain);
        Certs owned(chain);
        if (built != 0 || validate_certpath(chain, nullptr, nullptr) != 0) return false;
    }
    return true;
}

}  // namespace

namespace zpki::ctl {

PKI_ERROR verifySignerInfos(const P7_CONTENT_INFO* p7) {
    const auto* sd = contentAs<P7_SIGNED_DATA>(p7, P7_SIGNED_DATA_TYPE);
    if (!sd || !sd->signerInfos) return intake(ERR_R_NULL_ARGUMENT);
    const long version = zpki::pkcs7::versionOf(sd->version);
    if (version == 0) return intake(ERR_ASN1_DECODING);
    if (version < 0 || !signedTrustList(p7) || get_STACK_count(sd->certificates) <= 0 ||
        get_STACK_count(sd->signerInfos) <= 0)
        return intake(ERR_R_NULL_ARGUMENT);
    Vec<ListForm> forms;
    if (!listForms(listOf(sd), forms)) return intake(ERR_R_NULL_ARGUMENT);
    for (int i = 0; i < get_STACK_count(sd->signerInfos); ++i) {
        const auto* si = static_cast<const P7_SIGNER_INFO*>(get_STACK_value(sd->signerInfos, i));
        if (PKI_ERROR rc = verifySigner(p7, sd, si, forms)) return rc;
    }
    return 0;
}

PKI_ERROR verifyValidityPeriod(const CERT_TRUST_LIST* ctl, const X509_TIME* at) {
    if (!ctl) return period(ERR_R_NULL_ARGUMENT);
    // Version 1 is written as nothing, or as 0.
    if (ctl->version && VSC_Get_BIGINT_Bits_Length(ctl->version) != 0) return intake(ERR_ASN1_DECODING);
    Time64_T now = static_cast<Time64_T>(std::time(nullptr));
    if (at && instantOf(at, now) != 0) return period(ERR_INVALID_X509_TIME_TYPE);
    Time64_T thisUpdate = 0, nextUpdate = 0;
    if (!ctl->thisUpdate) return period(ERR_CERT_NOT_BEFORE);
    if (unsigned reason = instantOf(ctl->thisUpdate, thisUpdate)) return period(reason);
    if (thisUpdate > now) return period(ERR_INVALID_CERT_NOT_BEFORE);
    if (ctl->nextUpdate) {
        if (unsigned reason = instantOf(ctl->nextUpdate, nextUpdate)) return period(reason);
        if (nextUpdate < now || thisUpdate > nextUpdate) return period(ERR_INVALID_CERT_NOT_BEFORE);
    }
    for (int i = 0; i < get_STACK_count(ctl->subjectUsage); ++i) {
        const auto* usage = static_cast<const OBJECT_IDENTIFIER*>(get_STACK_value(ctl->subjectUsage, i));
        if (!usage) break;
        if (oidIs(usage, kCtlUsage)) return 0;
    }
    return period(ERR_INVALID_CERT_NOT_BEFORE);
}

}  // namespace zpki::ctl

extern "C" {

ZUNPKI_API PKI_ERROR verify_ctlSignedData(const P7_CONTENT_INFO* p7) {
    if (!contentAs<P7_SIGNED_DATA>(p7, P7_SIGNED_DATA_TYPE) || !signedTrustList(p7)) return intake(ERR_R_NULL_ARGUMENT);
    try {
        if (PKI_ERROR rc = zpki::ctl::verifySignerInfos(p7)) return rc;
        return zpki::ctl::verifyValidityPeriod(listOf(signedTrustList(p7)), nullptr);
    } catch (const std::bad_alloc&) {
        return intake(ERR_R_ALLOC_3C);
    }
}

ZUNPKI_API PKI_ERROR add_TRUST_ANCHORS_from_CTL(TRUST_ANCHORS* list, const P7_CONTENT_INFO* p7) {
    if (!list || !p7) return intake(ERR_R_NULL_ARGUMENT);
    if (PKI_ERROR rc = verify_ctlSignedData(p7)) return rc;
    const P7_SIGNED_DATA* sd = signedTrustList(p7);
    if (!signersTrusted(sd, list)) return intake(ERR_INVALID_TRUST_ANCHOR);
    const CERT_TRUST_LIST* ctl = listOf(sd);
    const int digestId = ctl->subjectAlgorithm ? get_DigestID_from_OID(rowOf(ctl->subjectAlgorithm->algorithm)) : 0;
    if (!digestId) return intake(ERR_R_UNSUPPORTED);

    // The new anchors are gathered apart and handed over at the end.
    Anchors found(new_TRUST_ANCHORS());
    if (!found) return intake(0x0e);
    for (int i = 0; i < get_STACK_count(sd->certificates); ++i) {
        const X509_CERT* cert = certAt(sd->certificates, i);
        if (!cert || !cert->tbs || !get_X509_subject(cert) || !get_X509_SPKI(cert)) return intake(0x0e);
        bool failed = false;
        if (!listed(ctl, digestId, cert, failed)) {
            if (failed) return intake(0x0e);
            continue;
        }
        Anchor anchor(new_TRUST_ANCHOR());
        if (!anchor || !(anchor->name = dup_X509_NAME(get_X509_subject(cert))) ||
            !(anchor->publicKey = dup_X509_PUBKEY(get_X509_SPKI(cert))))
            return intake(0x0e);
        if (get_TRUST_ANCHORS_index_by_TRUST_ANCHOR(list, anchor.get()) >= 0 ||
            get_TRUST_ANCHORS_index_by_TRUST_ANCHOR(found.get(), anchor.get()) >= 0)
            continue;
        if (push_STACK_value(found.get(), anchor.get()) == 0) return intake(0x0e);
        (void)anchor.release();
    }
    const int before = get_STACK_count(list);
    for (int i = 0; i < get_STACK_count(found.get()); ++i) {
        if (push_STACK_value(list, get_STACK_value(found.get(), i)) == 0) {
            while (get_STACK_count(list) > before) pop_STACK_value(list);
            return intake(0x0e);
        }
    }
    free_STACK(found.release());  // the anchors now belong to list
    return 0;
}

ZUNPKI_API PKI_ERROR add_CERTIFICATES_from_CTL(STACK* certs, const P7_CONTENT_INFO* p7) {
    const auto* sd = contentAs<P7_SIGNED_DATA>(p7, P7_SIGNED_DATA_TYPE);
    if (!certs || !sd) return intake(ERR_R_NULL_ARGUMENT);
    Certs copies(new_X509_CERTIFICATES());
    if (!copies) return intake(0x0e);
    for (int i = 0; i < get_STACK_count(sd->certificates); ++i) {
        const X509_CERT* cert = certAt(sd->certificates, i);
        if (!cert || !cert->tbs || !get_X509_subject(cert) || add_X509_CERTIFICATES(copies.get(), cert) != 0)
            return intake(0x0e);
    }
    const int before = get_STACK_count(certs);
    for (int i = 0; i < get_STACK_count(copies.get()); ++i) {
        if (push_STACK_value(certs, get_STACK_value(copies.get(), i)) == 0) {
            while (get_STACK_count(certs) > before) pop_STACK_value(certs);
            return intake(0x0e);
        }
    }
    free_STACK(copies.release());
    return 0;
}

}  // extern "C"
