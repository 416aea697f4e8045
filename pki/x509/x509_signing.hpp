// Signing and verifying the DER of a to-be-signed body (certificates, CRLs,
// OCSP requests), and the AlgorithmIdentifier of a signature.
#pragma once

#include <cstddef>
#include <cstdint>

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include "asn1/asn1_struct.hpp"
#include "asn1/der_cursor.hpp"
#include "asn1/pki_mem.hpp"
#include <zunPKI/x509/x509_key.h>

namespace zpki::x509 {

// Each returns 0, libFunc | a reason for a fault of the arguments or the
// encoding (0x49 missing, 0x2B an algorithm the key cannot serve, 0x103,
// 0x104), or the crypto library's own result (1 when a signature does not
// verify).

// A new BIT STRING in *sig: the RSA signature of data under alg (RSA with a
// digest; the algorithm's row gives the digest and the scheme).
PKI_ERROR signRsa(const uint8_t* data, size_t len, const OBJECT_IDENTIFIER* alg, RSA_UNIT* key, BIT_STRING** sig,
                  unsigned libFunc);
// The same under a scheme given apart from an algorithm row (RSASSA-PSS
// signatures, whose parameters the caller writes).
struct RsaScheme;
PKI_ERROR signRsaScheme(const uint8_t* data, size_t len, const RsaScheme& scheme, RSA_UNIT* key, BIT_STRING** sig,
                        unsigned libFunc);
// A new BIT STRING in *sig holding the KCDSA signature value.
PKI_ERROR signKcdsa(const uint8_t* data, size_t len, const OBJECT_IDENTIFIER* alg, KCDSA_UNIT* key, BIT_STRING** sig,
                    unsigned libFunc);
// RSA with a digest, or RSASSA-PSS under the parameters (null: the defaults
// of RFC 4055, SHA-1 and MGF1 with SHA-1).
PKI_ERROR verifyRsa(const uint8_t* data, size_t len, const OBJECT_IDENTIFIER* alg, const ASN1_STRING* params,
                    const BIT_STRING* sig, RSA_UNIT* key, unsigned libFunc);
PKI_ERROR verifyKcdsa(const uint8_t* data, size_t len, const OBJECT_IDENTIFIER* alg, const BIT_STRING* sig,
                      KCDSA_UNIT* key, unsigned libFunc);

// Checks a signature under an issuer's public key: rsa or kcdsa gets the key
// unit; 1 for a missing key or one of another kind. One CA key checks many
// records, from any thread, and a unit keeps its running state: the work is
// done on a copy, so the caller's key is never changed.
template <class Rsa, class Kcdsa>
int verifyUnderIssuerKey(const X509_PUBKEY* issuerKey, Rsa&& rsa, Kcdsa&& kcdsa) {
    if (!issuerKey || !issuerKey->key || !issuerKey->key->key) return 1;
    Owned<ASYMMETRIC_KEY, free_ASYMMETRIC_KEY> key(dup_ASYMMETRIC_KEY(issuerKey->key));
    if (!key || !key->key) return 1;
    switch (key->kind) {
        case ASYMMETRIC_KEY_RSA:
            return rsa(static_cast<RSA_UNIT*>(key->key));
        case ASYMMETRIC_KEY_KCDSA:
            return kcdsa(static_cast<KCDSA_UNIT*>(key->key));
        default:
            return 1;
    }
}

// How an RSA signature is made or checked: the message digest, and for PSS
// the salt length, which is always the exact one the parameters state.
struct RsaScheme {
    int digest = 0;
    bool pss = false;
    int saltLength = 0;
};

// The scheme RSASSA-PSS parameters name (null: the RFC 4055 defaults, SHA-1,
// MGF1 with SHA-1, a salt of 20 bytes); false for parameters our crypto
// library cannot honour (a mask digest other than the message digest, a
// trailer other than 1, a salt length above 65535).
bool pssScheme(const ASN1_STRING* params, RsaScheme& out);
// Starts the key's signature unit on the scheme (sign, or verify): every
// signer and verifier with PSS parameters (certificates, CRLs, PKCS#7,
// CMS, OCSP) goes through here, so a stated salt length is never widened
// to "any length". 0 or the crypto library's code.
int startRsaScheme(RSA_UNIT* key, const RsaScheme& scheme, bool sign);
// The digest that RSAES-OAEP parameters name (null or NULL: the defaults,
// SHA-1); false for parameters our crypto library cannot honour (a mask
// digest other than the hash, a label).
bool oaepDigest(const ASN1_STRING* params, int& digest);

// AlgorithmIdentifier { oid, params }: the parameters as given (their type
// is the identifier octet), or, for null, none for ECDSA and DSA signature
// algorithms (RFC 5758) and NULL for the others.
bool appendAlgorithm(ASN1_UNIT* parent, const OBJECT_IDENTIFIER* oid, const ASN1_STRING* params);
// The same AlgorithmIdentifier written as bytes.
bool writeAlgorithm(asn1::Writer& w, const OBJECT_IDENTIFIER* oid, const ASN1_STRING* params);
// The algorithm and, when present, the parameters of an AlgorithmIdentifier
// element; false (and nothing made) when it is not one.
bool readAlgorithm(const der::Element& e, OBJECT_IDENTIFIER*& oid, ASN1_STRING*& params);

}  // namespace zpki::x509
