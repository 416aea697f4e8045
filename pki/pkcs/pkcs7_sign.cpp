// PKCS#7 signing and verification, and digestedData.
#include <zunPKI/pkcs/pkcs7_sign.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include <zunPKI/asn1/asn1_objects.h>
#include "pkcs/pkcs7.hpp"
#include "pkcs/pkcs_codecs.hpp"
#include "x509/x509_attr.hpp"
#include "x509/x509_list.hpp"
#include <zunPKI/x509/x509_sig.h>
#include "x509/x509_signing.hpp"

using zpki::Owned;
using zpki::pkcs7::code;
using zpki::pkcs7::rowOf;
using zpki::pkcs7::typeOf;
namespace ber = zpki::ber;
namespace der = zpki::der;

namespace {

constexpr int kRowRsaEncryption = 6;
constexpr int kRowPss = 835;
constexpr int kRowPssOld = 435;
constexpr int kRowKcdsa = 782;
constexpr int kRowMessageDigest = 51;

using Bytes = ber::Bytes;
using Node = Owned<ASN1_UNIT, free_ASN1_UNIT>;
using String = Owned<ASN1_STRING, free_ASN1_STRING>;
using Key = Owned<ASYMMETRIC_KEY, free_ASYMMETRIC_KEY>;
using SignerInfo = Owned<P7_SIGNER_INFO, free_P7_SIGNER_INFO>;
using Algorithm = Owned<X509_ALGO_IDENTIFIER, free_X509_ALGO_IDENTIFIER>;
using Attribute = Owned<X509_ATTRIBUTE, free_X509_ATTRIBUTE>;

// The members that signedData and signedAndEnvelopedData share.
struct SignedView {
    P7_SIGNED_DATA* sd = nullptr;  // signedData only
    BIGINT** version = nullptr;
    X509_ALGO_IDENTIFIERS** digestAlgorithms = nullptr;
    X509_CERTIFICATES** certificates = nullptr;
    X509_CRLS** crls = nullptr;
    P7_SIGNER_INFOS** signerInfos = nullptr;
};

bool viewOf(const P7_CONTENT_INFO* p7, SignedView& v) {
    if (auto* sd = zpki::pkcs7::contentAs<P7_SIGNED_DATA>(p7, P7_SIGNED_DATA_TYPE)) {
        v = {sd, &sd->version, &sd->digestAlgorithms, &sd->certificates, &sd->crls, &sd->signerInfos};
        return true;
    }
    if (auto* sed = zpki::pkcs7::contentAs<P7_SIGNED_AND_ENVELOPED_DATA>(p7, P7_SIGNED_AND_ENVELOPED_DATA_TYPE)) {
        v = {nullptr, &sed->version, &sed->digestAlgorithms, &sed->certificates, &sed->crls, &sed->signerInfos};
        return true;
    }
    return false;
}

// The content a signedData carries: the bytes of its inner data, or null.
const OCTET_STRING* carriedContent(const SignedView& v) {
    if (!v.sd || !v.sd->contentInfo || typeOf(v.sd->contentInfo) != P7_DATA) return nullptr;
    return static_cast<const OCTET_STRING*>(v.sd->contentInfo->content);
}

P7_SIGNER_INFO* signerAt(const STACK* list, int i) { return static_cast<P7_SIGNER_INFO*>(get_STACK_value(list, i)); }

// ---- Algorithms ----------------------------------------------------------------

// The PKCS#1 v1.5 signature row of a digest row.
int rsaSignatureRow(int digestRow) {
    switch (digestRow) {
        case 3:
            return 7;  // RSA-MD2
        case 4:
            return 8;  // RSA-MD5
        case 41:
            return 42;  // RSA-SHA
        case 64:
            return 65;  // RSA-SHA1
        case 257:
            return 396;  // RSA-MD4
        case 672:
            return 668;  // RSA-SHA256
        case 673:
            return 669;  // RSA-SHA384
        case 674:
            return 670;  // RSA-SHA512
        case 675:
            return 671;  // RSA-SHA224
        default:
            return kRowRsaEncryption;
    }
}

// The KCDSA signature row that names the digest a KCDSA key signs with.
int kcdsaSignatureRow(int digestId) {
    switch (digestId) {
        case VSC_DIGEST_HAS160:
            return 783;  // HAS160withKCDSA1
        case VSC_DIGEST_SHA1:
            return 784;  // KCDSA1withSHA1
        case VSC_DIGEST_SHA256:
            return 841;  // KCDSA1withSHA256
        default:
            return kRowKcdsa;
    }
}

bool isPssRow(int row) { return row == kRowPss || row == kRowPssOld; }

// { row, NULL } into *slot, replacing what it held.
bool setAlgorithm(X509_ALGO_IDENTIFIER*& slot, int row) {
    Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER> oid(index_to_OBJECT_IDENTIFIER(row));
    Algorithm alg(new_X509_ALGO_IDENTIFIER());
    if (!oid || !alg || set_X509_ALGO_IDENTIFIER_value(alg.get(), oid.get(), nullptr) != 0) return false;
    free_X509_ALGO_IDENTIFIER(slot);
    slot = alg.release();
    return true;
}

// How a SignerInfo is signed or verified.
struct Scheme {
    int digest = 0;             // of the message and the signed attributes
    zpki::x509::RsaScheme rsa;  // PKCS#1 v1.5, or PSS with its salt length
};

// The scheme of si for a key of kind; 0, or the reason to refuse it.
unsigned schemeOf(const P7_SIGNER_INFO* si, int kind, int digest, int cipher, Scheme& out) {
    if (!digest || !cipher) return ERR_R_INVALID_ELEMENT;
    out.digest = digest;
    if (kind == ASYMMETRIC_KEY_KCDSA) return cipher == VSC_PKEY_KCDSA ? 0 : ERR_R_UNSUPPORTED;
    if (kind != ASYMMETRIC_KEY_RSA) return ERR_R_UNSUPPORTED;
    if ((cipher & 0xf0000000) != VSC_PKEY_RSA) return ERR_R_UNSUPPORTED;
    if (VSC_PAD_SCHEME(cipher) == VSC_RSASSA_PSS) {
        // The PSS hash is the one the attributes or the content are digested with.
        const ASN1_STRING* params = si->digestEncryptionAlgorithm ? si->digestEncryptionAlgorithm->parameters : nullptr;
        if (params && params->type == ASN1_TAG_NULL) params = nullptr;
        if (!zpki::x509::pssScheme(params, out.rsa) || out.rsa.digest != digest) return ERR_R_INVALID_ELEMENT;
        return 0;
    }
    // rsaEncryption or an RSA signature row: PKCS#1 v1.5. Key-transport rows are no signatures.
    if (VSC_PAD_SCHEME(cipher) > VSC_RSASSA_PKCS1_V15) return ERR_R_INVALID_ELEMENT;
    out.rsa = {digest, false, 0};
    return 0;
}

unsigned schemeOf(const P7_SIGNER_INFO* si, int kind, Scheme& out) {
    if (!si->digestAlgorithm || !si->digestEncryptionAlgorithm) return ERR_R_INVALID_ELEMENT;
    return schemeOf(si, kind, get_DigestID_from_OID(rowOf(si->digestAlgorithm->algorithm)),
                    get_CipherID_from_OID(rowOf(si->digestEncryptionAlgorithm->algorithm)), out);
}

// A KCDSA unit digests with the unit it holds.
int useDigest(KCDSA_UNIT* k, int digest) {
    if (!k->digest_unit && !(k->digest_unit = VSC_New_DIGEST_Unit())) return VSC_ERR_MEMORY;
    return VSC_Init_DIGEST(k->digest_unit, digest);
}

// Room for a KCDSA r or s of the key.
size_t kcdsaRoom(const KCDSA_UNIT* k) {
    const int q = VSC_Get_KCDSA_Length(k);
    return std::max<size_t>(q > 0 ? 2 * static_cast<size_t>(q) + 1 : 0, VSC_MAX_DIGEST_LENGTH);
}

// The signature of len bytes of data; 0, a whole code, or the crypto library's.
PKI_ERROR signBytes(ASYMMETRIC_KEY* key, const Scheme& s, const uint8_t* data, size_t len, Bytes& sig) {
    constexpr unsigned F = F_SIGN_PKCS7;
    if (len > static_cast<size_t>(INT_MAX)) return code(F, ERR_R_INVALID_ELEMENT);
    try {
        if (key->kind == ASYMMETRIC_KEY_RSA) {
            auto* rsa = static_cast<RSA_UNIT*>(key->key);
            if (int rc = zpki::x509::startRsaScheme(rsa, s.rsa, true)) return rc;
            if (int rc = VSC_Update_RSASSA(rsa, data, static_cast<int>(len))) return rc;
            const int n = VSC_Get_RSA_Length(rsa);
            if (n <= 0) return code(F, ERR_R_UNSUPPORTED);
            sig.assign(static_cast<size_t>(n), 0);
            int outLen = n;
            if (int rc = VSC_Final_RSASSA(rsa, sig.data(), &outLen)) return rc;
            if (outLen <= 0 || outLen > n) return code(F, ERR_R_INVALID_ELEMENT);
            sig.resize(static_cast<size_t>(outLen));
            return 0;
        }
        auto* kcdsa = static_cast<KCDSA_UNIT*>(key->key);
        if (int rc = useDigest(kcdsa, s.digest)) return rc;
        const size_t room = kcdsaRoom(kcdsa);
        Bytes r(room), sv(room);
        int rLen = static_cast<int>(room), sLen = static_cast<int>(room);
        if (int rc = VSC_Init_KCDSA(kcdsa, 1)) return rc;
        if (int rc = VSC_Update_KCDSA(kcdsa, data, static_cast<int>(len))) return rc;
        if (int rc = VSC_Final_KCDSA(kcdsa, r.data(), &rLen, sv.data(), &sLen)) return rc;
        if (rLen <= 0 || sLen <= 0) return code(F, 0x54);
        unsigned char* value = nullptr;
        const int n = encode_KCDSASignatureValue(&value, r.data(), rLen, sv.data(), sLen);
        zpki::VscPtr<unsigned char> owned(value);
        if (!value || n <= 0) return PKI_ERR(L_PKCS7, F_P7_CONTENT_INFO_TO_SEQ, 0x12);
        sig.assign(value, value + n);
        return 0;
    } catch (const std::bad_alloc&) {
        return code(F, ERR_R_ALLOC);
    }
}

// 0 when sig is the signature of data; VSC_FAIL when not; else a code.
PKI_ERROR verifyBytes(ASYMMETRIC_KEY* key, const Scheme& s, const uint8_t* data, size_t len, const OCTET_STRING* sig) {
    constexpr unsigned F = F_VERIFY_PKCS7_SIGNER;
    if (len > static_cast<size_t>(INT_MAX)) return code(F, ERR_R_INVALID_ELEMENT);
    if (key->kind == ASYMMETRIC_KEY_RSA) {
        auto* rsa = static_cast<RSA_UNIT*>(key->key);
        if (int rc = zpki::x509::startRsaScheme(rsa, s.rsa, false)) return rc;
        if (int rc = VSC_Update_RSASSA(rsa, data, static_cast<int>(len))) return rc;
        return VSC_Verify_RSASSA(rsa, sig->data, sig->length);
    }
    auto* kcdsa = static_cast<KCDSA_UNIT*>(key->key);
    try {
        const size_t room = kcdsaRoom(kcdsa);
        Bytes r(room), sv(room);
        int rLen = static_cast<int>(room), sLen = static_cast<int>(room);
        if (decode_KCDSASignatureValue(r.data(), &rLen, sv.data(), &sLen, sig->data, sig->length) != 0)
            return code(F, 0x0e);
        if (int rc = useDigest(kcdsa, s.digest)) return rc;
        if (int rc = VSC_Init_KCDSA(kcdsa, 0)) return rc;
        if (int rc = VSC_Update_KCDSA(kcdsa, data, static_cast<int>(len))) return rc;
        return VSC_Verify_KCDSA(kcdsa, r.data(), rLen, sv.data(), sLen);
    } catch (const std::bad_alloc&) {
        return code(F, ERR_R_ALLOC);
    }
}

// ---- Signed attributes ------------------------------------------------------------

// The value of the messageDigest attribute: one OCTET STRING, or null.
const ASN1_STRING* messageDigestOf(const P7_SIGNER_INFO* si) {
    const int i = get_X509_ATTRIBUTES_index_by_OID_index(si->authenticatedAttributes, kRowMessageDigest, -1);
    const X509_ATTRIBUTE* a = get_X509_ATTRIBUTES_child(si->authenticatedAttributes, i);
    if (!a || get_X509_ATTRIBUTE_count(a) != 1 || get_X509_ATTRIBUTE_data_type(a, 0) != ASN1_TAG_OCTET_STRING)
        return nullptr;
    return static_cast<const ASN1_STRING*>(get_X509_ATTRIBUTE_data(a, 0));
}

// True when md is the digest of the content.
bool digestMatches(int digest, const uint8_t* content, size_t len, const ASN1_STRING* md, int& rc) {
    unsigned char out[VSC_MAX_DIGEST_LENGTH];
    int outLen = sizeof out;
    rc = VSC_DIGEST(digest, content, static_cast<int>(len), out, &outLen);
    return rc == 0 && md->length == outLen && std::memcmp(md->data, out, static_cast<size_t>(outLen)) == 0;
}

// The DER of one element a member codec writes.
template <class C>
bool encodingOf(const typename C::Value& v, Bytes& out) {
    Node holder(new_ASN1_UNIT());
    if (!holder || !C::encode(v, holder.get())) return false;
    der::Cursor c = ber::contentsOf(holder.get());
    der::Element e;
    if (!der::getElement(c, e)) return false;
    out.assign(e.start, e.start + e.totalSize);
    return true;
}

// Puts the items of a SET OF in DER order: ascending by their encodings
// (X.690 11.6). False when an item does not encode.
template <class C>
bool sortByEncoding(STACK* list) {
    using Item = typename C::Value;
    std::vector<std::pair<Bytes, Item>> items;
    for (int i = 0; i < get_STACK_count(list); ++i) {
        auto item = static_cast<Item>(get_STACK_value(list, i));
        Bytes der;
        if (!item || !encodingOf<C>(item, der)) return false;
        items.emplace_back(std::move(der), item);
    }
    std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
        const size_t common = std::min(a.first.size(), b.first.size());
        if (const int c = common ? std::memcmp(a.first.data(), b.first.data(), common) : 0) return c < 0;
        return a.first.size() < b.first.size();
    });
    for (size_t i = 0; i < items.size(); ++i) list->items[i] = items[i].second;
    return true;
}

// Signed attributes and each attribute's values in DER order, then the SET
// OF as it is signed.
bool signedAttributesToSign(P7_SIGNER_INFO* si, Bytes& out) {
    try {
        X509_ATTRIBUTES* list = si->authenticatedAttributes;
        for (int i = 0; i < get_STACK_count(list); ++i) {
            auto* a = static_cast<X509_ATTRIBUTE*>(get_STACK_value(list, i));
            if (!a || !sortByEncoding<zpki::x509::AttributeValue>(a->values)) return false;
        }
        if (!sortByEncoding<zpki::asn1::Sub<X509_ATTRIBUTE>>(list)) return false;
        zpki::pkcs7::dropReceived(si);
        return zpki::pkcs7::attributesDer(list, out);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool hasSignedAttributes(const P7_SIGNER_INFO* si) {
    return get_X509_ATTRIBUTES_count(si->authenticatedAttributes) > 0;
}

// An attribute of the row with one value of universal type tag made from len bytes.
X509_ATTRIBUTE* makeAttribute(int row, int tag, const void* value, int len) {
    if (!value || len < 0 || tag <= 0 || tag > 0xff) return nullptr;
    const auto* bytes = static_cast<const unsigned char*>(value);
    if (tag & 0x20) {
        // The whole element, of that identifier, and nothing after it.
        der::Cursor c(bytes, static_cast<size_t>(len));
        der::Element e;
        if (!der::getElement(c, e) || !c.empty() || e.identifier != tag) return nullptr;
        Node node(ber::nodeFromElement(e));
        return node ? create_X509_ATTRIBUTE_index(nullptr, row, tag, node.get()) : nullptr;
    }
    String s(tag == ASN1_TAG_OBJECT_IDENTIFIER ? new_OBJECT_IDENTIFIER(reinterpret_cast<const char*>(bytes), len)
                                               : new_ASN1_STRING());
    if (!s || (tag != ASN1_TAG_OBJECT_IDENTIFIER && set_ASN1_STRING_value(s.get(), tag, bytes, len) != 0))
        return nullptr;
    return create_X509_ATTRIBUTE_index(nullptr, row, tag, s.get());
}

int addAttribute(X509_ATTRIBUTES*& list, int row, int tag, const void* value, int len) {
    Attribute a(makeAttribute(row, tag, value, len));
    if (!a) return 1;
    const bool made = !list;
    if (made && !(list = new_X509_ATTRIBUTES())) return 1;
    if (push_STACK_value(list, a.get()) == 0) {
        if (made) {
            free_X509_ATTRIBUTES(list);
            list = nullptr;
        }
        return 1;
    }
    (void)a.release();
    return 0;
}

// ---- Signing ----------------------------------------------------------------------

// The checks that init, update and final share; 0 or a reason.
unsigned signable(const P7_CONTENT_INFO* p7, SignedView& v) {
    if (!p7) return ERR_R_NULL_ARGUMENT;
    if (!viewOf(p7, v)) return ERR_R_UNSUPPORTED;
    return get_STACK_count(*v.signerInfos) > 0 ? 0 : ERR_R_INVALID_ELEMENT;
}

// ---- Verification ----------------------------------------------------------------

// One SignerInfo under public_key and the given algorithms, over content
// (null: detached; digestOnly: the signed attributes alone are checked).
PKI_ERROR verifyScheme(const P7_SIGNER_INFO* si, const ASYMMETRIC_KEY* public_key, int cipher_id, int digest_id,
                       const uint8_t* content, size_t contentLen, bool digestOnly) {
    constexpr unsigned F = F_VERIFY_PKCS7_SIGNER;
    Scheme scheme;
    if (unsigned reason = schemeOf(si, public_key->kind, digest_id, cipher_id, scheme)) return code(F, reason);
    if (!si->encryptedDigest || si->encryptedDigest->length <= 0) return code(F, ERR_R_INVALID_ELEMENT);

    Bytes attributes, der;
    const uint8_t* signedBytes = content;
    size_t signedLen = contentLen;
    if (hasSignedAttributes(si)) {
        const ASN1_STRING* md = messageDigestOf(si);
        if (!md) return code(F, ERR_R_INVALID_ELEMENT);
        if (!content && !digestOnly) return code(F, ERR_R_UNSUPPORTED);
        int rc = 0;
        if (content && !digestMatches(scheme.digest, content, contentLen, md, rc)) return rc ? rc : code(F, 0x5e);
        if (!zpki::pkcs7::signedAttributesDer(si, attributes) ||
            !zpki::pkcs7::attributesDer(si->authenticatedAttributes, der))
            return 1;
        signedBytes = attributes.data();
        signedLen = attributes.size();
    } else if (!content) {
        return code(F, ERR_R_UNSUPPORTED);
    }
    // The certificate's key stays as it was: the work is done on a copy.
    Key key(dup_ASYMMETRIC_KEY(public_key));
    if (!key) return code(F, ERR_R_ALLOC);
    PKI_ERROR rc = verifyBytes(key.get(), scheme, signedBytes, signedLen, si->encryptedDigest);
    // Attributes that came in another form than DER were signed over their
    // DER (a carrier may re-encode a message in BER); the bytes as received
    // are tried first, for signers that signed those.
    if (rc == VSC_FAIL && der != attributes)
        rc = verifyBytes(key.get(), scheme, der.data(), der.size(), si->encryptedDigest);
    return rc;
}

PKI_ERROR verifyOne(P7_CONTENT_INFO* p7, const P7_SIGNER_INFO* si, const ASYMMETRIC_KEY* key, const void* data,
                    int len) {
    if (!si->digestAlgorithm || !si->digestEncryptionAlgorithm) return 1;
    const int digest = get_DigestID_from_OID(rowOf(si->digestAlgorithm->algorithm));
    int cipher = get_CipherID_from_OID(rowOf(si->digestEncryptionAlgorithm->algorithm));
    if (!digest || !cipher) return 1;
    if (cipher == VSC_PKEY_RSA) cipher = VSC_PKEY_RSA_SIG;
    return verify_PKCS7_data(p7, si, key, cipher, digest, data, len);
}

}  // namespace

namespace zpki::pkcs7 {

unsigned signerAlgorithms(const X509_CERT* signer, const ASYMMETRIC_KEY* key, int digestRow, int kind,
                          const RSASSA_PSS_PARAM* pss, X509_ALGO_IDENTIFIER*& digestAlg,
                          X509_ALGO_IDENTIFIER*& signatureAlg) {
    if (kind != P7_SIGN_PKCS1_V15 && kind != P7_SIGN_RSA_PSS) return ERR_R_UNSUPPORTED;
    const int digest = get_DigestID_from_OID(digestRow);
    if (!digest) return ERR_R_UNSUPPORTED;
    // The key signs for this certificate, or the signature is made elsewhere.
    const X509_PUBKEY* spki = get_X509_SPKI(signer);
    int keyKind = spki && spki->key ? spki->key->kind : ASYMMETRIC_KEY_RSA;
    if (key) {
        if ((key->kind != ASYMMETRIC_KEY_RSA && key->kind != ASYMMETRIC_KEY_KCDSA) || !spki ||
            check_X509_keypair(spki, key) != 0)
            return ERR_R_UNSUPPORTED;
        keyKind = key->kind;
    }
    if (kind == P7_SIGN_RSA_PSS && keyKind != ASYMMETRIC_KEY_RSA) return ERR_R_UNSUPPORTED;
    X509_ALGO_IDENTIFIER* digestMade = nullptr;
    if (!setAlgorithm(digestMade, digestRow)) return ERR_R_ALLOC;
    Algorithm ownedDigest(digestMade);
    X509_ALGO_IDENTIFIER* signatureMade = nullptr;
    if (kind == P7_SIGN_RSA_PSS) {
        // Without parameters: the digest for both hashes and a salt of its length.
        Owned<RSASSA_PSS_PARAM, free_RSASSA_PSS_PARAM> own;
        if (!pss) {
            own.reset(new_RSASSA_PSS_PARAM());
            if (!own || set_RSASSA_PSS_PARAM_hashAlgorithm(own.get(), digestRow) != 0 ||
                set_RSASSA_PSS_PARAM_maskGenAlgorithm(own.get(), 833) != 0 ||
                set_RSASSA_PSS_PARAM_saltLength(own.get(), VSC_Get_DIGEST_Length(digest)) != 0)
                return ERR_R_ALLOC;
            pss = own.get();
        }
        if (!setAlgorithm(signatureMade, kRowPss)) return ERR_R_ALLOC;
        Algorithm ownedSignature(signatureMade);
        if (set_X509_ALGO_IDENTIFIER_with_RSASSA_PSS_PARAM(signatureMade, pss) != 0) return ERR_R_INVALID_ELEMENT;
        (void)ownedSignature.release();
    } else {
        const int row = keyKind == ASYMMETRIC_KEY_KCDSA ? kcdsaSignatureRow(digest) : rsaSignatureRow(digestRow);
        if (!setAlgorithm(signatureMade, row)) return ERR_R_ALLOC;
    }
    free_X509_ALGO_IDENTIFIER(digestAlg);
    digestAlg = ownedDigest.release();
    free_X509_ALGO_IDENTIFIER(signatureAlg);
    signatureAlg = signatureMade;
    return 0;
}

PKI_ERROR signSigner(P7_SIGNER_INFO* si, long version, const OCTET_STRING* content) {
    constexpr unsigned F = F_SIGN_PKCS7;
    ASYMMETRIC_KEY* key = si->key;
    if (!key || !key->key || (key->kind != ASYMMETRIC_KEY_RSA && key->kind != ASYMMETRIC_KEY_KCDSA))
        return code(F, ERR_R_UNSUPPORTED);
    Scheme scheme;
    if (unsigned reason = schemeOf(si, key->kind, scheme)) return code(F, reason);
    if (!zpki::pkcs7::setVersion(si->version, static_cast<unsigned long>(version))) return code(F, ERR_R_ALLOC);

    // With signed attributes the signature covers them (and they the content
    // through messageDigest), whatever the version says.
    const bool withAttributes = hasSignedAttributes(si);
    Bytes attributes;
    const uint8_t* data = nullptr;
    size_t len = 0;
    if (withAttributes) {
        const ASN1_STRING* md = messageDigestOf(si);
        if (!md) return code(F, ERR_R_INVALID_ELEMENT);
        int rc = 0;
        if (content && !digestMatches(scheme.digest, content->data, static_cast<size_t>(content->length), md, rc))
            return rc ? rc : code(F, 0x5e);
        if (!signedAttributesToSign(si, attributes)) return code(F, 0x5f);
        data = attributes.data();
        len = attributes.size();
    } else {
        if (!content) return code(F, ERR_R_UNSUPPORTED);  // nothing the signature could cover
        data = content->data;
        len = static_cast<size_t>(content->length);
    }
    Bytes signature;
    if (PKI_ERROR rc = signBytes(key, scheme, data, len, signature)) return rc;

    const int row = rowOf(si->digestEncryptionAlgorithm->algorithm);
    int label = 0;
    if (key->kind == ASYMMETRIC_KEY_KCDSA)
        label = kcdsaSignatureRow(scheme.digest);
    else if (!isPssRow(row) && (version == 0 || (version == 1 && withAttributes)))
        label = kRowRsaEncryption;
    String value(new_OCTET_STRING(signature.data(), static_cast<int>(signature.size())));
    if (!value || (label && !setAlgorithm(si->digestEncryptionAlgorithm, label))) return code(F, ERR_R_ALLOC);
    si->encryptedDigest = value.release();
    return 0;
}

PKI_ERROR verifySigner(const P7_SIGNER_INFO* si, const ASYMMETRIC_KEY* key, const uint8_t* content, size_t len,
                       bool digestOnly) {
    if (!si || !key || !key->key) return code(F_VERIFY_PKCS7_SIGNER, ERR_R_NULL_ARGUMENT);
    if (!si->digestAlgorithm || !si->digestEncryptionAlgorithm) return 1;
    const int digest = get_DigestID_from_OID(rowOf(si->digestAlgorithm->algorithm));
    int cipher = get_CipherID_from_OID(rowOf(si->digestEncryptionAlgorithm->algorithm));
    if (!digest || !cipher) return 1;
    if (cipher == VSC_PKEY_RSA) cipher = VSC_PKEY_RSA_SIG;
    return verifyScheme(si, key, cipher, digest, content, len, digestOnly);
}

}  // namespace zpki::pkcs7

extern "C" {

// ---- Signers, certificates, attributes ---------------------------------------------

ZUNPKI_API int add_PKCS7_Signer(P7_CONTENT_INFO* p7, P7_SIGNER_INFO* si) {
    SignedView v;
    if (!si || !si->digestAlgorithm || !viewOf(p7, v)) return 1;
    if (!*v.signerInfos && !(*v.signerInfos = new_P7_SIGNER_INFOS())) return 1;
    if (!*v.digestAlgorithms && !(*v.digestAlgorithms = new_X509_ALGO_IDENTIFIERS())) return 1;
    Algorithm alg(dup_X509_ALGO_IDENTIFIER(si->digestAlgorithm));
    if (!alg || push_STACK_value(*v.digestAlgorithms, alg.get()) == 0) return 1;
    if (push_STACK_value(*v.signerInfos, si) == 0) {
        remove_STACK_value(*v.digestAlgorithms, get_STACK_count(*v.digestAlgorithms) - 1);
        return 1;
    }
    (void)alg.release();
    return 0;
}

ZUNPKI_API P7_SIGNER_INFO* add_PKCS7_Signature_withEncryptedAlgorithm(P7_CONTENT_INFO* p7, const X509_CERT* signer,
                                                                      const ASYMMETRIC_KEY* key, int digest_row,
                                                                      int kind, const RSASSA_PSS_PARAM* pss) {
    SignedView v;
    const X509_NAME* issuer = get_X509_issuer(signer);
    const BIGINT* serial = get_X509_serial(signer);
    if (!viewOf(p7, v) || !issuer || !serial) return nullptr;
    SignerInfo si(new_P7_SIGNER_INFO());
    if (!si || !zpki::pkcs7::setVersion(si->version, 1)) return nullptr;
    const ISSUER_AND_SERIAL_NUMBER ias{const_cast<X509_NAME*>(issuer), const_cast<BIGINT*>(serial)};
    if (!(si->issuerAndSerialNumber = dup_ISSUER_AND_SERIAL_NUMBER(&ias))) return nullptr;
    if (zpki::pkcs7::signerAlgorithms(signer, key, digest_row, kind, pss, si->digestAlgorithm,
                                      si->digestEncryptionAlgorithm) != 0)
        return nullptr;
    if (key && !(si->key = dup_ASYMMETRIC_KEY(key))) return nullptr;
    if (add_PKCS7_Signer(p7, si.get()) != 0) return nullptr;
    return si.release();
}

ZUNPKI_API P7_SIGNER_INFO* add_PKCS7_Signature(P7_CONTENT_INFO* p7, const X509_CERT* signer, const ASYMMETRIC_KEY* key,
                                               int digest_row) {
    return add_PKCS7_Signature_withEncryptedAlgorithm(p7, signer, key, digest_row, P7_SIGN_PKCS1_V15, nullptr);
}

ZUNPKI_API int add_PKCS7_Certificate(P7_CONTENT_INFO* p7, const X509_CERT* cert) {
    SignedView v;
    if (!cert || !viewOf(p7, v)) return 1;
    const bool made = !*v.certificates;
    if (made && !(*v.certificates = new_X509_CERTIFICATES())) return 1;
    if (add_X509_CERTIFICATES(*v.certificates, cert) == 0) return 0;
    if (made) {
        free_X509_CERTIFICATES(*v.certificates);
        *v.certificates = nullptr;
    }
    return 1;
}

ZUNPKI_API int add_PKCS7_Crl(P7_CONTENT_INFO* p7, X509_CRL* crl) {
    Owned<X509_CRL, free_X509_CRL> owned(crl);
    SignedView v;
    if (!crl || !viewOf(p7, v)) return 1;
    const bool made = !*v.crls;
    if (made && !(*v.crls = new_X509_CRLS())) return 1;
    if (push_STACK_value(*v.crls, crl) != 0) {
        (void)owned.release();
        return 0;
    }
    if (made) {
        free_X509_CRLS(*v.crls);
        *v.crls = nullptr;
    }
    return 1;
}

ZUNPKI_API int add_PKCS7_Signed_Attribute(P7_SIGNER_INFO* si, int row, int tag, const void* value, int len) {
    return si ? addAttribute(si->authenticatedAttributes, row, tag, value, len) : 1;
}

ZUNPKI_API int add_PKCS7_Unauthenticated_Attribute(P7_SIGNER_INFO* si, int row, int tag, const void* value, int len) {
    return si ? addAttribute(si->unauthenticatedAttributes, row, tag, value, len) : 1;
}

// ---- Signing ----------------------------------------------------------------------

ZUNPKI_API int init_PKCS7_Sign(P7_CONTENT_INFO* p7, int detached) {
    constexpr unsigned F = F_SIGN_PKCS7;
    SignedView v;
    if (unsigned reason = signable(p7, v)) return code(F, reason);
    if (v.sd) v.sd->detached = detached ? 1 : 0;
    for (int i = 0; i < get_STACK_count(*v.signerInfos); ++i) {
        const P7_SIGNER_INFO* si = signerAt(*v.signerInfos, i);
        if (!si) return code(F, ERR_R_INVALID_ELEMENT);
        if (si->encryptedDigest) continue;  // signed before
        const ASYMMETRIC_KEY* key = si->key;
        if (!key || !key->key) return code(F, ERR_R_UNSUPPORTED);
        Scheme scheme;
        if (unsigned reason = schemeOf(si, key->kind, scheme)) return code(F, reason);
    }
    return 0;
}

ZUNPKI_API int update_PKCS7_Sign(P7_CONTENT_INFO* p7, const char* data, int len) {
    constexpr unsigned F = F_SIGN_PKCS7;
    SignedView v;
    if (unsigned reason = signable(p7, v)) return code(F, reason);
    if (!v.sd || v.sd->detached) return 0;
    if (!data || len <= 0) return code(F, ERR_R_NULL_ARGUMENT);
    P7_CONTENT_INFO* inner = v.sd->contentInfo;
    if (!inner) return code(F, ERR_R_INVALID_ELEMENT);
    if (typeOf(inner) != P7_DATA) return code(F, ERR_R_UNSUPPORTED);
    if (inner->content) return 0;  // the content set before stays
    OCTET_STRING* copy = new_OCTET_STRING(reinterpret_cast<const unsigned char*>(data), len);
    if (!copy) return code(F, ERR_R_ALLOC);
    inner->content = copy;
    return 0;
}

ZUNPKI_API int final_PKCS7_Sign(P7_CONTENT_INFO* p7) {
    constexpr unsigned F = F_SIGN_PKCS7;
    SignedView v;
    if (unsigned reason = signable(p7, v)) return code(F, reason);
    if (v.sd && !v.sd->contentInfo) return code(F, ERR_R_INVALID_ELEMENT);
    const long version = zpki::pkcs7::versionOf(*v.version);
    if (version < 0) return code(F, ERR_R_INVALID_ELEMENT);
    const OCTET_STRING* content = carriedContent(v);
    for (int i = 0; i < get_STACK_count(*v.signerInfos); ++i) {
        P7_SIGNER_INFO* si = signerAt(*v.signerInfos, i);
        if (!si) return code(F, ERR_R_INVALID_ELEMENT);
        if (si->encryptedDigest) continue;
        if (PKI_ERROR rc = zpki::pkcs7::signSigner(si, version, content)) return rc;
    }
    return 0;
}

ZUNPKI_API int sign_PKCS7(P7_CONTENT_INFO* p7, const char* data, int len, int detached) {
    if (int rc = init_PKCS7_Sign(p7, detached)) return rc;
    if (int rc = update_PKCS7_Sign(p7, data, len)) return rc;
    return final_PKCS7_Sign(p7);
}

// ---- Verification ----------------------------------------------------------------

ZUNPKI_API int verify_PKCS7(P7_CONTENT_INFO* p7, const X509_CERT* signer, const void* data, int len) {
    constexpr unsigned F = F_VERIFY_PKCS7;
    if (!p7) return code(F, ERR_R_NULL_ARGUMENT);
    SignedView v;
    if (!viewOf(p7, v)) return code(F, ERR_R_UNSUPPORTED);
    const STACK* signers = *v.signerInfos;
    if (get_STACK_count(signers) <= 0) return code(F, ERR_R_INVALID_ELEMENT);
    if (v.sd && !carriedContent(v)) {
        v.sd->detached = 1;
        if (len >= 0 && (!data || len == 0)) return 1;
    }
    if (signer && signer->tbs) {
        const X509_PUBKEY* spki = get_X509_SPKI(signer);
        if (!spki || !spki->key) return 1;
        int matched = 0;
        for (int i = 0; i < get_STACK_count(signers); ++i) {
            const P7_SIGNER_INFO* si = signerAt(signers, i);
            if (!si) return code(F, ERR_R_INVALID_ELEMENT);
            if (cmp_P7_ISSUER_AND_SERIAL_NUMBER(signer, si->issuerAndSerialNumber) != 0) continue;
            ++matched;
            if (PKI_ERROR rc = verifyOne(p7, si, spki->key, data, len)) return rc;
        }
        return matched ? 0 : 1;
    }
    for (int i = 0; i < get_STACK_count(signers); ++i) {
        const P7_SIGNER_INFO* si = signerAt(signers, i);
        if (!si) return code(F, ERR_R_INVALID_ELEMENT);
        const X509_CERT* cert = find_X509_CERT_by_IssuerAndSerialNumber(*v.certificates, si->issuerAndSerialNumber);
        const X509_PUBKEY* spki = get_X509_SPKI(cert);
        if (!spki || !spki->key) return 1;
        if (PKI_ERROR rc = verifyOne(p7, si, spki->key, data, len)) return rc;
    }
    return 0;
}

ZUNPKI_API int verify_PKCS7_data(P7_CONTENT_INFO* p7, const P7_SIGNER_INFO* si, const ASYMMETRIC_KEY* public_key,
                                 int cipher_id, int digest_id, const void* data, int len) {
    constexpr unsigned F = F_VERIFY_PKCS7_SIGNER;
    SignedView v;
    if (!p7 || !si || !public_key || !public_key->key) return code(F, ERR_R_NULL_ARGUMENT);
    if (!viewOf(p7, v)) return code(F, ERR_R_UNSUPPORTED);

    // The content the message carries, else the caller's.
    const uint8_t* content = nullptr;
    size_t contentLen = 0;
    if (const OCTET_STRING* carried = carriedContent(v)) {
        content = carried->data;
        contentLen = static_cast<size_t>(carried->length);
        // Bytes the caller gives are what it asks about: other bytes than
        // the signed ones do not verify because the message carries those.
        if (data && len > 0 && (static_cast<size_t>(len) != contentLen || std::memcmp(data, content, contentLen) != 0))
            return code(F, 0x5e);
    } else if (data && len >= 0) {  // an empty content given is content too
        content = static_cast<const uint8_t*>(data);
        contentLen = static_cast<size_t>(len);
    }
    const bool digestOnly = !content && !data && len < 0;
    return verifyScheme(si, public_key, cipher_id, digest_id, content, contentLen, digestOnly);
}

// ---- Digested data ------------------------------------------------------------------

ZUNPKI_API int digest_PKCS7(P7_CONTENT_INFO* p7, int digest_id, const void* data, int len) {
    auto* dd = zpki::pkcs7::contentAs<P7_DIGESTED_DATA>(p7, P7_DIGESTED_DATA_TYPE);
    const int row = get_OID_from_DigestID(digest_id);
    if (!dd || !row || !data || len <= 0) return 1;
    unsigned char md[VSC_MAX_DIGEST_LENGTH];
    int mdLen = sizeof md;
    if (int rc = VSC_DIGEST(digest_id, static_cast<const unsigned char*>(data), len, md, &mdLen)) return rc;
    P7_CONTENT_INFO* inner = nullptr;
    if (gen_PKCS7_DATA_from_Binary(&inner, static_cast<const unsigned char*>(data), len) != 0) return 1;
    Owned<P7_CONTENT_INFO, free_P7_CONTENT_INFO> ownedInner(inner);
    String digest(new_OCTET_STRING(md, mdLen));
    X509_ALGO_IDENTIFIER* alg = nullptr;
    if (!digest || !setAlgorithm(alg, row)) return 1;
    free_X509_ALGO_IDENTIFIER(dd->digestAlgorithm);
    dd->digestAlgorithm = alg;
    free_ASN1_STRING(dd->digest);
    dd->digest = digest.release();
    return set_PKCS7_Content(p7, ownedInner.release());
}

}  // extern "C"
