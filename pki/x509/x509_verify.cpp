// Certificates: signing, signature checks and the validity check.
#include <ctime>

#include "asn1/asn1_time.hpp"
#include <zunPKI/x509/x509_cert.h>
#include "x509/x509_cert.hpp"
#include "x509/x509_signing.hpp"

using zpki::x509::DerBytes;

namespace {

constexpr PKI_ERROR x509Err(unsigned func, unsigned reason) { return PKI_ERR(L_X509, func, reason); }

// Replaces *sig with made.
void putSignature(BIT_STRING** sig, BIT_STRING* made) {
    free_ASN1_STRING(*sig);
    *sig = made;
}

// The TBS signature must name what signatureAlgorithm names: a certificate
// whose two differ has been tampered with (RFC 5280 4.1.1.2).
bool algorithmsAgree(const X509_CERT* cert) {
    const X509_TBS_CERT* t = cert->tbs;
    return cmp_ASN1_STRING(t->signature, cert->signatureAlgorithm) == 0 &&
           cmp_ASN1_STRING(t->signatureParameters, cert->signatureParameters) == 0;
}

// The instant a time names; false for another type or a text that does not read.
bool instantOf(const X509_TIME* t, Time64_T& out) {
    if (!t || !t->value || !t->value->data || t->value->length < 0) return false;
    if (t->type != X509_TIME_UTC && t->type != X509_TIME_GENERALIZED) return false;
    return zpki::asn1time::parseInstant(t->value->data, static_cast<size_t>(t->value->length),
                                        t->type == X509_TIME_GENERALIZED, out);
}

bool typeKnown(const X509_TIME* t) { return t->type == X509_TIME_UTC || t->type == X509_TIME_GENERALIZED; }

// Signs the TBS body's DER with signer (signRsa or signKcdsa) into *sig.
template <class Key, class Signer>
PKI_ERROR signTbs(const X509_TBS_CERT* tbs, BIT_STRING** sig, const OBJECT_IDENTIFIER* alg, Key* key, unsigned func,
                  Signer signer) {
    if (!tbs || !sig || !key) return x509Err(func, ERR_R_NULL_ARGUMENT);
    DerBytes der;
    if (PKI_ERROR rc = zpki::x509::tbsDer(tbs, der)) return rc;
    BIT_STRING* made = nullptr;
    if (PKI_ERROR rc = signer(der.data, der.size, alg, key, &made, L_X509 | func)) return rc;
    putSignature(sig, made);
    return 0;
}

// Checks the certificate's signature over its TBS DER with check(der, libFunc).
template <class Key, class Check>
PKI_ERROR verifyCert(const X509_CERT* cert, const Key* key, unsigned func, Check check) {
    if (!cert || !cert->tbs || !cert->signatureValue || !key) return x509Err(func, ERR_R_NULL_ARGUMENT);
    if (!algorithmsAgree(cert)) return x509Err(func, ERR_R_INVALID_ELEMENT);
    DerBytes der;
    if (PKI_ERROR rc = zpki::x509::tbsDer(cert->tbs, der)) return rc;
    return check(der, L_X509 | func);
}

}  // namespace

extern "C" {

ZUNPKI_API PKI_ERROR gen_RSA_SIG_X509_TBS_CERT(const X509_TBS_CERT* tbs, BIT_STRING** sig, const OBJECT_IDENTIFIER* alg,
                                               RSA_UNIT* key) {
    return signTbs(tbs, sig, alg, key, F_GEN_RSASIGN_TBS_CERT, zpki::x509::signRsa);
}

ZUNPKI_API PKI_ERROR gen_KCDSA_SIG_X509_TBS_CERT(const X509_TBS_CERT* tbs, BIT_STRING** sig,
                                                 const OBJECT_IDENTIFIER* alg, KCDSA_UNIT* key) {
    return signTbs(tbs, sig, alg, key, F_GEN_KCDSASIGN_TBS_CERT, zpki::x509::signKcdsa);
}

ZUNPKI_API int gen_SIG_X509_Cert(X509_CERT* cert, const ASYMMETRIC_KEY* key) {
    if (!cert || !cert->tbs || !cert->tbs->signature || !key || !key->key) return 1;
    if (key->kind != ASYMMETRIC_KEY_RSA && key->kind != ASYMMETRIC_KEY_KCDSA) return 1;
    // A CA's key signs from any thread and a unit keeps its running state:
    // the signature is made on a copy (wiped when freed).
    zpki::Owned<ASYMMETRIC_KEY, free_ASYMMETRIC_KEY> copy(dup_ASYMMETRIC_KEY(key));
    if (!copy || !copy->key) return x509Err(F_GEN_RSASIGN_TBS_CERT, ERR_R_ALLOC_3C);
    const X509_TBS_CERT* t = cert->tbs;
    BIT_STRING* sig = nullptr;
    const PKI_ERROR rc = copy->kind == ASYMMETRIC_KEY_RSA
                             ? gen_RSA_SIG_X509_TBS_CERT(t, &sig, t->signature, static_cast<RSA_UNIT*>(copy->key))
                             : gen_KCDSA_SIG_X509_TBS_CERT(t, &sig, t->signature, static_cast<KCDSA_UNIT*>(copy->key));
    if (rc != 0) return rc;
    OBJECT_IDENTIFIER* alg = dup_ASN1_STRING(t->signature);
    ASN1_STRING* params = t->signatureParameters ? dup_ASN1_STRING(t->signatureParameters) : nullptr;
    if (!alg || (t->signatureParameters && !params)) {
        free_ASN1_STRING(sig);
        free_ASN1_STRING(alg);
        free_ASN1_STRING(params);
        return x509Err(F_GEN_RSASIGN_TBS_CERT, ERR_R_ALLOC_3C);
    }
    zpki::x509::dropReceived(cert);
    free_ASN1_STRING(cert->signatureAlgorithm);
    free_ASN1_STRING(cert->signatureParameters);
    free_ASN1_STRING(cert->signatureValue);
    cert->signatureAlgorithm = alg;
    cert->signatureParameters = params;
    cert->signatureValue = sig;
    return 0;
}

ZUNPKI_API PKI_ERROR verify_RSA_SIG_X509_CERT(const X509_CERT* cert, RSA_UNIT* key) {
    return verifyCert(cert, key, F_VERIFY_RSASIGN_TBS_CERT, [&](const DerBytes& der, unsigned libFunc) {
        return zpki::x509::verifyRsa(der.data, der.size, cert->signatureAlgorithm, cert->signatureParameters,
                                     cert->signatureValue, key, libFunc);
    });
}

ZUNPKI_API PKI_ERROR verify_KCDSA_SIG_X509_CERT(const X509_CERT* cert, KCDSA_UNIT* key) {
    return verifyCert(cert, key, F_VERIFY_KCDSASIGN_TBS_CERT, [&](const DerBytes& der, unsigned libFunc) {
        return zpki::x509::verifyKcdsa(der.data, der.size, cert->signatureAlgorithm, cert->signatureValue, key,
                                       libFunc);
    });
}

ZUNPKI_API int verify_SIG_X509_CERT(const X509_CERT* cert, const X509_PUBKEY* issuerKey) {
    if (!cert || !cert->tbs) return 1;
    return zpki::x509::verifyUnderIssuerKey(
        issuerKey, [&](RSA_UNIT* key) { return verify_RSA_SIG_X509_CERT(cert, key); },
        [&](KCDSA_UNIT* key) { return verify_KCDSA_SIG_X509_CERT(cert, key); });
}

ZUNPKI_API PKI_ERROR verify_X509_validity(const X509_CERT* cert, const X509_TIME* time) {
    if (!cert || !cert->tbs) return x509Err(F_VERIFY_X509_VALIDITY, ERR_R_NULL_ARGUMENT);
    Time64_T t;
    if (time) {
        if (!instantOf(time, t)) return x509Err(F_VERIFY_X509_VALIDITY, ERR_INVALID_X509_TIME_TYPE);
    } else {
        t = static_cast<Time64_T>(std::time(nullptr));
    }
    const X509_VALIDITY* v = cert->tbs->validity;
    if (!v) return 0;
    // RFC 5280 4.1.2.5: valid from notBefore through notAfter, both included.
    Time64_T bound;
    if (const X509_TIME* nb = v->notBefore) {
        if (!typeKnown(nb)) return x509Err(F_VERIFY_X509_VALIDITY, ERR_INVALID_X509_TIME_TYPE);
        if (!instantOf(nb, bound)) return x509Err(F_VERIFY_X509_VALIDITY, ERR_CERT_NOT_BEFORE);
        if (t < bound) return x509Err(F_VERIFY_X509_VALIDITY, ERR_INVALID_CERT_NOT_BEFORE);
    }
    if (const X509_TIME* na = v->notAfter) {
        if (!typeKnown(na)) return x509Err(F_VERIFY_X509_VALIDITY, ERR_INVALID_X509_TIME_TYPE);
        if (!instantOf(na, bound)) return x509Err(F_VERIFY_X509_VALIDITY, ERR_CERT_NOT_AFTER);
        if (t > bound) return x509Err(F_VERIFY_X509_VALIDITY, ERR_INVALID_CERT_NOT_AFTER);
    }
    return 0;
}

}  // extern "C"
