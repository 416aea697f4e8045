// OCSP: what requests and responses share. The CertID (described once), the
// hashes that name a certificate, the nonce extension, and signing and
// verifying a body through x509_signing.
#include "pkcs/ocsp.hpp"

#include <climits>
#include <cstring>

#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/x509/rsa_param.h>
#include <zunPKI/x509/x509v3_constraints.h>
#include "x509/x509_name.hpp"
#include "x509/x509_name_canon.hpp"
#include "x509/x509_path.hpp"
#include "x509/x509_signing.hpp"

using namespace zpki::asn1;
using zpki::Owned;
namespace ber = zpki::ber;
namespace der = zpki::der;
namespace path = zpki::x509::path;

namespace {

constexpr const char* kNonceOid = "1.3.6.1.5.5.7.48.1.2";
constexpr int kRowPss = 835;
constexpr int kRowMgf1 = 833;

using Family_ = Family<OCSP_CERT_ID>;
using Key = Owned<ASYMMETRIC_KEY, free_ASYMMETRIC_KEY>;
using Extension = Owned<X509_EXTENSION, free_X509_EXTENSION>;

// The PKCS#1 v1.5 signature row of a digest; 0 for none.
int rsaRow(int digest) {
    switch (digest) {
        case VSC_DIGEST_SHA1:
            return 65;
        case VSC_DIGEST_SHA224:
            return 671;
        case VSC_DIGEST_SHA256:
            return 668;
        case VSC_DIGEST_SHA384:
            return 669;
        case VSC_DIGEST_SHA512:
            return 670;
        case VSC_DIGEST_MD5:
            return 8;
        default:
            return 0;
    }
}

// The KCDSA row that names the digest signed with; 0 for none.
int kcdsaRow(int digest) {
    switch (digest) {
        case VSC_DIGEST_HAS160:
            return 783;
        case VSC_DIGEST_SHA1:
            return 784;
        case VSC_DIGEST_SHA256:
            return 841;
        default:
            return 0;
    }
}

bool isSha2OrSha1(int digest) {
    return digest == VSC_DIGEST_SHA1 || digest == VSC_DIGEST_SHA224 || digest == VSC_DIGEST_SHA256 ||
           digest == VSC_DIGEST_SHA384 || digest == VSC_DIGEST_SHA512;
}

// { row, NULL }, or { row, params } of a PSS signature.
bool algorithmOf(int row, const RSASSA_PSS_PARAM* pss, zpki::x509::Algorithm& alg) {
    Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER> oid(index_to_OBJECT_IDENTIFIER(row));
    alg.reset(new_X509_ALGO_IDENTIFIER());
    if (!oid || !alg || set_X509_ALGO_IDENTIFIER_value(alg.get(), oid.get(), nullptr) != 0) return false;
    return !pss || set_X509_ALGO_IDENTIFIER_with_RSASSA_PSS_PARAM(alg.get(), pss) == 0;
}

// The keyIdentifier of cert's authorityKeyIdentifier, or null.
Owned<AUTHORITY_KEYID, free_AUTHORITY_KEYID> authorityKeyId(const X509_CERT* cert) {
    Node node(path::extensionNode(path::findExtension(cert, path::kAuthorityKeyId)));
    AUTHORITY_KEYID* akid = nullptr;
    if (!node || Seq_to_AUTHORITY_KEYID(node.get(), &akid) != 0) return nullptr;
    return Owned<AUTHORITY_KEYID, free_AUTHORITY_KEYID>(akid);
}

bool sameBytes(const OCTET_STRING* s, const unsigned char* bytes, int len) {
    return s && len > 0 && s->length == len && s->data && std::memcmp(s->data, bytes, static_cast<size_t>(len)) == 0;
}

}  // namespace

namespace zpki::ocsp {

int keyHash(const X509_CERT* cert, int digest, unsigned char* out) {
    const X509_PUBKEY* spki = get_X509_SPKI(cert);
    if (!spki) return 0;
    // The bits as the certificate carries them: a key that our encoder would
    // write otherwise still hashes to what a responder computed.
    if (const BIT_STRING* bits = spki->subjectPublicKey; bits && bits->data && bits->length > 0) {
        int n = VSC_MAX_DIGEST_LENGTH;
        return VSC_DIGEST(digest, bits->data, bits->length, out, &n) == 0 ? n : 0;
    }
    const int n = get_X509_PUBLIC_KEY_hash(cert, digest, out);
    return n > 1 ? n : 0;
}

unsigned makeCertId(const X509_CERT* cert, const X509_CERT* issuer, int digest, OCSP_CERT_ID*& out) {
    constexpr unsigned kNoHash = 0xff;
    const X509_NAME* issuerName = get_X509_issuer(cert);
    const BIGINT* serial = get_X509_serial(cert);
    const int row = get_OID_from_DigestID(digest);
    if (!issuerName || !serial || !row) return kNoHash;
    // The name hash is of cert's issuer field, the key hash of the issuer's
    // key: both must be of one CA.
    if (issuer && !zpki::x509::namesMatch(get_X509_subject(issuer), issuerName)) return kNoHash;
    unsigned char nameHash[VSC_MAX_DIGEST_LENGTH], keyDigest[VSC_MAX_DIGEST_LENGTH];
    int nameLen = 0, keyLen = 0;
    if (hash_X509_NAME(issuerName, digest, nameHash, &nameLen) != 0) return kNoHash;
    Owned<AUTHORITY_KEYID, free_AUTHORITY_KEYID> akid;
    const unsigned char* key = keyDigest;
    if (issuer) {
        if (!(keyLen = keyHash(issuer, digest, keyDigest))) return kNoHash;
    } else {
        // RFC 5280's first method makes the key identifier the SHA-1 of the
        // key: it stands for the key hash of a SHA-1 CertID, of no other.
        akid = authorityKeyId(cert);
        if (digest != VSC_DIGEST_SHA1 || !akid || !akid->keyIdentifier || akid->keyIdentifier->length <= 0)
            return kNoHash;
        key = akid->keyIdentifier->data;
        keyLen = akid->keyIdentifier->length;
    }
    Owned<OCSP_CERT_ID, Family_::destroy> id(Family_::create());
    zpki::x509::Algorithm alg;
    if (!id || !algorithmOf(row, nullptr, alg) || !(id->issuerNameHash = new_OCTET_STRING(nameHash, nameLen)) ||
        !(id->issuerKeyHash = new_OCTET_STRING(key, keyLen)) || !(id->serialNumber = VSC_Dup_BIGINT(serial)))
        return ERR_R_ALLOC_3C;
    replace<free_X509_ALGO_IDENTIFIER>(id->hashAlgorithm, alg.release());
    out = id.release();
    return 0;
}

bool certIdNames(const OCSP_CERT_ID* id, const X509_CERT* cert, const X509_CERT* issuer) {
    const BIGINT* serial = get_X509_serial(cert);
    if (!id || !id->serialNumber || !serial || VSC_Cmp_BIGINT(id->serialNumber, serial) != 0 || !id->hashAlgorithm)
        return false;
    const int digest = get_DigestID_from_OID(index_from_OBJECT_IDENTIFIER(id->hashAlgorithm->algorithm));
    unsigned char hash[VSC_MAX_DIGEST_LENGTH];
    int len = 0;
    if (!digest || hash_X509_NAME(get_X509_issuer(cert), digest, hash, &len) != 0 ||
        !sameBytes(id->issuerNameHash, hash, len))
        return false;
    if (issuer) {
        len = keyHash(issuer, digest, hash);
        return len > 0 && sameBytes(id->issuerKeyHash, hash, len);
    }
    if (digest != VSC_DIGEST_SHA1) return true;
    const auto akid = authorityKeyId(cert);
    if (!akid || !akid->keyIdentifier) return true;
    return sameBytes(id->issuerKeyHash, akid->keyIdentifier->data, akid->keyIdentifier->length);
}

const OCTET_STRING* nonceOf(const X509_EXTENSIONS* list) {
    for (int i = 0; i < get_X509_EXTENSION_count(list); ++i) {
        const X509_EXTENSION* ext = get_X509_EXTENSION(list, i);
        if (ext && path::oidIs(ext->extnID, kNonceOid)) return ext->extnValue;
    }
    return nullptr;
}

bool setNonce(X509_EXTENSIONS*& list, const unsigned char* nonce, int len) {
    String value(new_OCTET_STRING(nonce, len));
    Extension ext(value ? create_X509_EXTENSION_by_OID_index(nullptr, OCSP_NONCE_ROW, 0, value.get()) : nullptr);
    if (!ext) return false;
    const bool made = !list;
    if (made && !(list = new_X509_EXTENSIONS())) return false;
    if (push_STACK_value(list, ext.get()) == 0) {
        if (made) {
            free_X509_EXTENSIONS(list);
            list = nullptr;
        }
        return false;
    }
    (void)ext.release();
    // One nonce: the ones before the new one go.
    for (int i = list->count - 2; i >= 0; --i) {
        const auto* old = static_cast<const X509_EXTENSION*>(list->items[i]);
        if (old && path::oidIs(old->extnID, kNonceOid)) free_X509_EXTENSION(remove_X509_EXTENSION(list, i));
    }
    return true;
}

PKI_ERROR signDer(const uint8_t* der, size_t len, const X509_CERT* cert, const P8_PRIV_KEY_INFO* p8, int digest,
                  int paddingMode, unsigned libFunc, zpki::x509::Algorithm& alg, String& sig) {
    const ASYMMETRIC_KEY* key = p8 ? p8->privateKey : nullptr;
    const X509_PUBKEY* spki = get_X509_SPKI(cert);
    if (!key || !key->key || !spki) return static_cast<PKI_ERROR>(libFunc | ERR_R_INVALID_ELEMENT);
    if (key->kind != ASYMMETRIC_KEY_RSA && key->kind != ASYMMETRIC_KEY_KCDSA)
        return static_cast<PKI_ERROR>(libFunc | ERR_R_UNSUPPORTED);
    // The signature names the certificate's key: a key of another pair would
    // make a signature no one can check.
    if (check_X509_keypair(spki, key) != 0) return static_cast<PKI_ERROR>(libFunc | ERR_R_INVALID_ELEMENT);
    Key unit(dup_ASYMMETRIC_KEY(key));
    if (!unit) return static_cast<PKI_ERROR>(libFunc | ERR_R_ALLOC_3C);
    BIT_STRING* made = nullptr;
    PKI_ERROR rc;
    if (key->kind == ASYMMETRIC_KEY_KCDSA) {
        const int row = kcdsaRow(digest);
        if (!row || !algorithmOf(row, nullptr, alg)) return static_cast<PKI_ERROR>(libFunc | ERR_R_INVALID_ELEMENT);
        rc = zpki::x509::signKcdsa(der, len, alg->algorithm, static_cast<KCDSA_UNIT*>(unit->key), &made, libFunc);
    } else if ((paddingMode & 0xff) <= VSC_RSASSA_PKCS1_V15) {
        const int row = rsaRow(digest);
        if (!row || !algorithmOf(row, nullptr, alg)) return static_cast<PKI_ERROR>(libFunc | ERR_R_INVALID_ELEMENT);
        rc = zpki::x509::signRsa(der, len, alg->algorithm, static_cast<RSA_UNIT*>(unit->key), &made, libFunc);
    } else if ((paddingMode & 0xff) == VSC_RSASSA_PSS && isSha2OrSha1(digest)) {
        // The parameters say what was done: the digest, MGF1 with it, the salt.
        const int salt = (paddingMode >> 16) & 0xff ? (paddingMode >> 16) & 0xff : VSC_Get_DIGEST_Length(digest);
        Owned<RSASSA_PSS_PARAM, free_RSASSA_PSS_PARAM> pss(new_RSASSA_PSS_PARAM());
        if (!pss || set_RSASSA_PSS_PARAM_hashAlgorithm(pss.get(), get_OID_from_DigestID(digest)) != 0 ||
            set_RSASSA_PSS_PARAM_maskGenAlgorithm(pss.get(), kRowMgf1) != 0 ||
            set_RSASSA_PSS_PARAM_saltLength(pss.get(), salt) != 0 || !algorithmOf(kRowPss, pss.get(), alg))
            return static_cast<PKI_ERROR>(libFunc | ERR_R_ALLOC_3C);
        rc = zpki::x509::signRsaScheme(der, len, {digest, true, salt}, static_cast<RSA_UNIT*>(unit->key), &made,
                                       libFunc);
    } else {
        return static_cast<PKI_ERROR>(libFunc | ERR_R_INVALID_ELEMENT);
    }
    sig.reset(made);
    return rc;
}

PKI_ERROR verifyDer(const uint8_t* der, size_t len, const X509_ALGO_IDENTIFIER* alg, const BIT_STRING* sig,
                    const X509_CERT* cert, unsigned libFunc, unsigned badAlgorithm, unsigned badKind) {
    const X509_PUBKEY* spki = get_X509_SPKI(cert);
    if (!spki || !spki->key || !spki->key->key ||
        (spki->key->kind != ASYMMETRIC_KEY_RSA && spki->key->kind != ASYMMETRIC_KEY_KCDSA))
        return static_cast<PKI_ERROR>(libFunc | badKind);
    if (!alg || !alg->algorithm || !sig) return static_cast<PKI_ERROR>(libFunc | badAlgorithm);
    const ASN1_STRING* params = alg->parameters && alg->parameters->type != ASN1_TAG_NULL ? alg->parameters : nullptr;
    const PKI_ERROR rc = zpki::x509::verifyUnderIssuerKey(
        spki, [&](RSA_UNIT* key) { return zpki::x509::verifyRsa(der, len, alg->algorithm, params, sig, key, libFunc); },
        [&](KCDSA_UNIT* key) { return zpki::x509::verifyKcdsa(der, len, alg->algorithm, sig, key, libFunc); });
    if (rc == static_cast<PKI_ERROR>(libFunc | ERR_R_INVALID_ELEMENT) ||
        rc == static_cast<PKI_ERROR>(libFunc | ERR_ASN1_DECODING) ||
        rc == static_cast<PKI_ERROR>(libFunc | ERR_R_NULL_ARGUMENT))
        return static_cast<PKI_ERROR>(libFunc | badAlgorithm);
    return rc;
}

bool carryOnce(STACK*& certs, const X509_CERT* cert) {
    for (int i = 0; i < get_STACK_count(certs); ++i)
        if (cmp_X509_CERT(static_cast<const X509_CERT*>(get_STACK_value(certs, i)), cert) == 0) return true;
    if (!certs && !(certs = new_STACK())) return false;
    Owned<X509_CERT, free_X509_CERT> copy(dup_X509_CERT(cert));
    if (!copy || push_STACK_value(certs, copy.get()) == 0) return false;
    (void)copy.release();
    return true;
}

}  // namespace zpki::ocsp

extern "C" {

ZUNPKI_API OCSP_CERT_ID* new_OCSP_CERT_ID(void) { return Family_::create(); }
ZUNPKI_API void free_OCSP_CERT_ID(OCSP_CERT_ID* id) { Family_::destroy(id); }
ZUNPKI_API void clean_OCSP_CERT_ID(OCSP_CERT_ID* id) {
    Family_::clean(id);
    if (id) Family_::Ops::init(*id);
}

ZUNPKI_API OCSP_CERT_ID* dup_OCSP_CERT_ID(const OCSP_CERT_ID* id) {
    if (!id || !id->hashAlgorithm || !id->issuerNameHash || !id->issuerKeyHash || !id->serialNumber) return nullptr;
    return Family_::dup(id);
}

ZUNPKI_API int cmp_OCSP_CERT_ID(const OCSP_CERT_ID* a, const OCSP_CERT_ID* b) { return Family_::cmp(a, b); }

ZUNPKI_API PKI_ERROR OCSP_CERT_ID_to_Seq(const OCSP_CERT_ID* id, ASN1_UNIT** node) {
    return Family_::toSeq(id, node, L_GENERALIZED_TIME | F_OCSP_CERT_ID_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_OCSP_CERT_ID(const ASN1_UNIT* node, OCSP_SINGLE_REQUEST* single) {
    constexpr unsigned F = F_SEQ_TO_OCSP_CERT_ID;
    if (!node || !single) return zpki::ocsp::code(F, ERR_R_NULL_ARGUMENT);
    OCSP_CERT_ID* made = nullptr;
    if (Family_::fromSeq(node, &made, L_GENERALIZED_TIME | F) != 0) return zpki::ocsp::code(F, ERR_R_INVALID_ELEMENT);
    free_OCSP_CERT_ID(single->reqCert);
    single->reqCert = made;
    return 0;
}

ZUNPKI_API int hash_X509_NAME(const X509_NAME* name, int digestId, unsigned char* out, int* outLen) {
    if (!name || !out) return 1;
    ber::Bytes der;
    try {
        Writer w(der);
        if (zpki::x509::writeName(name, w) != 0) return 1;
    } catch (const std::bad_alloc&) {
        return 1;
    }
    if (der.size() > static_cast<size_t>(INT_MAX)) return 1;
    int n = VSC_MAX_DIGEST_LENGTH;
    if (VSC_DIGEST(digestId, der.data(), static_cast<int>(der.size()), out, &n) != 0 || n <= 0) return 1;
    if (outLen) *outLen = n;
    return 0;
}

}  // extern "C"
