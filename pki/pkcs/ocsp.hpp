// OCSP inside the library: the member codecs requests and responses share,
// the CertID, the nonce extension, and signing and verifying their bodies.
#pragma once

#include <cstdint>

#include "asn1/asn1_struct.hpp"
#include "asn1/codec_util.hpp"
#include <zunPKI/pkcs/ocsp.h>
#include "x509/x509_algorithm.hpp"
#include "x509/x509_cert.hpp"
#include "x509/x509_received.hpp"
#include "x509/x509v3.hpp"

namespace zpki::ocsp {

inline PKI_ERROR code(unsigned func, unsigned reason) { return PKI_ERR(L_GENERALIZED_TIME, func, reason); }

// A record made with its sub-records: the member's own new record.
template <class T>
struct Made : asn1::Sub<T> {
    using WriteOwner = Made;
    static bool init(T*& v) { return (v = asn1::Family<T>::create()) != nullptr; }
};

// Extensions under [N] EXPLICIT: left out when empty; a record always has
// the list (empty when absent).
template <int N>
struct ExtensionsField : asn1::Explicit<N, x509::ExtensionsCodec> {
    using WriteOwner = ExtensionsField;
    static constexpr bool kOptional = true;
    static bool whenAbsent(STACK*& v) { return (v = new_X509_EXTENSIONS()) != nullptr; }
    static bool init(STACK*& v) { return whenAbsent(v); }
};

// certs [0] EXPLICIT SEQUENCE OF Certificate: left out when empty; a record
// always has the list.
struct CertsField : asn1::Explicit<0, asn1::SequenceOf<x509::CertCodec>> {
    using WriteOwner = CertsField;
    static constexpr bool kOptional = true;
    static bool present(STACK* const& v) { return v && v->count > 0; }
    static bool whenAbsent(STACK*& v) { return (v = new_STACK()) != nullptr; }
    static bool init(STACK*& v) { return whenAbsent(v); }
};

// A list that must hold at least one item to be written.
template <class C>
struct NonEmpty : asn1::SequenceOf<C> {
    using WriteOwner = NonEmpty;
    static bool present(STACK* const& v) { return v && v->count > 0; }
};

// The first member of a record the caller hands over as "a record whose
// first field is the CertID".
inline const OCSP_CERT_ID* certIdOf(const void* holder) {
    return holder ? *static_cast<const OCSP_CERT_ID* const*>(holder) : nullptr;
}

// Decodes a described record from a node into *out (changed only on
// success) or a new record; null arguments give func | 0x49, anything that
// does not read func | reason.
template <class T>
PKI_ERROR decodeRecord(const ASN1_UNIT* node, T** out, unsigned func, unsigned reason) {
    if (!node || !out) return code(func, ERR_R_NULL_ARGUMENT);
    return asn1::Family<T>::fromSeq(node, out, L_GENERALIZED_TIME | func) == 0 ? 0 : code(func, reason);
}

// Encodes a described record; null arguments give func | 0x49.
template <class T>
PKI_ERROR encodeRecord(const T* r, ASN1_UNIT** node, unsigned func) {
    if (!r || !node) return code(func, ERR_R_NULL_ARGUMENT);
    return asn1::Family<T>::toSeq(r, node, L_GENERALIZED_TIME | func);
}

// ---- CertID -------------------------------------------------------------------

// The digest of the issuer's subjectPublicKey bits (as received when the
// certificate was decoded); 0 when it cannot be made.
int keyHash(const X509_CERT* cert, int digest, unsigned char* out);
// A new CertID of cert under the digest: the issuer's key hash from issuer,
// else (SHA-1 only) cert's authorityKeyIdentifier. 0, or the reason.
unsigned makeCertId(const X509_CERT* cert, const X509_CERT* issuer, int digest, OCSP_CERT_ID*& out);
// True when id names cert (serial, issuer name hash, and the issuer key hash
// as far as it can be known: see get_CERT_STATUS_from_OCSP_RESPONSE_Ex).
bool certIdNames(const OCSP_CERT_ID* id, const X509_CERT* cert, const X509_CERT* issuer);

// ---- Nonce ----------------------------------------------------------------------

// The nonce extension's value in the list, or null.
const OCTET_STRING* nonceOf(const X509_EXTENSIONS* list);
// Makes the nonce the list's one nonce extension; false when short of memory
// (the list is then as it was).
bool setNonce(X509_EXTENSIONS*& list, const unsigned char* nonce, int len);

// ---- Signatures -----------------------------------------------------------------

// The signature of der by the signer's key (RSA or KCDSA, checked against
// the certificate) under the digest and padding mode, with its algorithm.
// 0, or libFunc with 0x2B (a digest, mode or key the signer cannot use) or
// 0x48 (another kind of key), or the crypto library's code.
PKI_ERROR signDer(const uint8_t* der, size_t len, const X509_CERT* cert, const P8_PRIV_KEY_INFO* key, int digest,
                  int paddingMode, unsigned libFunc, x509::Algorithm& alg, asn1::String& sig);
// Checks sig over der under the certificate's key and alg: 0, VSC_FAIL,
// libFunc | badAlgorithm for an algorithm the key cannot serve or a value
// that does not read, libFunc | badKind for another kind of key.
PKI_ERROR verifyDer(const uint8_t* der, size_t len, const X509_ALGO_IDENTIFIER* alg, const BIT_STRING* sig,
                    const X509_CERT* cert, unsigned libFunc, unsigned badAlgorithm, unsigned badKind);

// The certificate list holds cert once: a copy is appended unless an equal
// one is there. False when short of memory.
bool carryOnce(STACK*& certs, const X509_CERT* cert);

}  // namespace zpki::ocsp

template <>
struct zpki::asn1::Describe<OCSP_CERT_ID> {
    using T = OCSP_CERT_ID;
    using Shape = Sequence<Field<&T::hashAlgorithm, zpki::ocsp::Made<X509_ALGO_IDENTIFIER>>,
                           Field<&T::issuerNameHash, OctetString>,  //
                           Field<&T::issuerKeyHash, OctetString>,   //
                           Field<&T::serialNumber, Integer>>;
};
