// Helpers shared by the OCSP client and responder of libzunCore: owners of
// libzunPKI's records, reading records from DER or PEM, DER handed out,
// private keys as PrivateKeyInfo, and the digest a certificate is signed
// with.
#pragma once

#include <string_view>

#include <zunCore/ocsp.h>
#include <zunPKI/pkcs/ocsp.h>

#include "crypto/keys_internal.hpp"

namespace zcore::ocsp {

using Request = Owned<OCSP_REQUEST, free_OCSP_REQUEST>;
using Response = Owned<OCSP_RESPONSE, free_OCSP_RESPONSE>;
using Basic = Owned<BASIC_OCSP_RESPONSE, free_BASIC_OCSP_RESPONSE>;
using Bytes = Owned<OCSP_RESPONSE_BYTES, free_OCSP_RESPONSE_BYTES>;
using SingleRequest = Owned<OCSP_SINGLE_REQUEST, free_OCSP_SINGLE_REQUEST>;
using Data = Owned<OCSP_RESPONSE_DATA, free_OCSP_RESPONSE_DATA>;
using Revoked = Owned<OCSP_REVOKED_INFO, free_OCSP_REVOKED_INFO>;
using GenTime = Owned<GENERALIZED_TIME, free_GENERALIZED_TIME>;

inline constexpr int kCatRequest = VCL_CAT_OCSP_MAKE_REQUEST;
inline constexpr int kCatResponse = VCL_CAT_OCSP_READ_RESPONSE;
inline constexpr int kCatParse = VCL_CAT_OCSP_PARSE_REQUEST;
inline constexpr int kCatCertInfo = VCL_CAT_OCSP_INFO_FROM_CERT;
inline constexpr int kCatRevoked = VCL_CAT_OCSP_REVOKE_INFO;
inline constexpr int kCatInit = VCL_CAT_OCSP_RESPONSE_INIT;
inline constexpr int kCatUpdate = VCL_CAT_OCSP_RESPONSE_UPDATE;
inline constexpr int kCatFinal = VCL_CAT_OCSP_RESPONSE_FINAL;
inline constexpr int kCatList = VCL_CAT_OCSP_REQUEST_LIST;
inline constexpr int kCatSingle = VCL_CAT_OCSP_SINGLE_REQUEST;
inline constexpr int kCatError = VCL_CAT_OCSP_RESPONSE_ERROR;

// Reasons of the OCSP families beyond those of error.h.
inline constexpr int kDerFailed = 0x65;  // "No DER format"
inline constexpr int kPemFailed = 0x67;  // "No PEM format"
inline constexpr int kWriteFailed = 0x66;

// One record of DER bytes (DER only): 0 or the reader's code.
template <typename T, PKI_ERROR (*Decode)(const ASN1_UNIT*, T**), void (*Free)(T*)>
PKI_ERROR readDer(const void* bytes, int len, Owned<T, Free>& out) {
    out.reset();
    if (!bytes || len <= 0) return VSC_ERR_NULL_ARGUMENT;
    void* made = nullptr;
    const PKI_ERROR rc = readDER_from_Binary(&made, decodeAs<T, Decode>, static_cast<const unsigned char*>(bytes), len);
    out.reset(static_cast<T*>(made));
    if (rc == 0 && !out) return VSC_ERR_NULL_ARGUMENT;
    if (rc != 0) out.reset();
    return rc;
}

// One record of DER or PEM bytes (PEM by its armour): 0, or the reason of
// the form that failed (derReason / pemReason).
template <typename T, PKI_ERROR (*Decode)(const ASN1_UNIT*, T**), void (*Free)(T*)>
int readAny(const void* bytes, int len, Owned<T, Free>& out, int derReason = kDerFailed, int pemReason = kPemFailed) {
    if (isPem(bytes, len)) return readRecord<T, Decode, Free>(bytes, len, out) == 0 ? 0 : pemReason;
    return readDer<T, Decode, Free>(bytes, len, out) == 0 ? 0 : derReason;
}

// The DER of a record handed out through the caller's pointers (a buffer of
// newBuffer): 0, or the reason (kWriteFailed, VCL_R_MALLOC).
template <typename T, PKI_ERROR (*Encode)(const T*, ASN1_UNIT**)>
int handOutDer(const T* value, unsigned char** out, int* outLen) {
    Secret der = derOf<T, Encode>(value);
    if (der.empty()) return kWriteFailed;
    return handOut(der.view(), out, outLen) ? 0 : VCL_R_MALLOC;
}

// The same bytes in a buffer of the crypto layer's allocator (VSC_Free).
bool handOutVsc(std::string_view bytes, unsigned char** out, int* outLen);

// The reasons a private-key reader reports in its caller's category.
struct KeyReasons {
    int pemPkcs8;  // a PKCS#8 PEM text that does not read
    int derPkcs8;  // DER that does not read as an EncryptedPrivateKeyInfo
};

// A private key as a PrivateKeyInfo: PEM "RSA PRIVATE KEY" (plain or
// encrypted) through the key opener, another PEM or DER as an encrypted
// PKCS#8 key decrypted with the password. 0, or a reason: 0x18 the PKCS#1
// key does not open, 0x32 no PrivateKeyInfo of it, 0x43 a PEM type that
// cannot be told, 0x105 the PKCS#8 key does not decrypt, or one of r's.
int readPrivateKey(const void* key, int keyLen, const char* password, int pwLen, const KeyReasons& r, P8Info& out);

// The digest a certificate is signed with when it is SHA-1, SHA-256 or
// HAS-160; fallback otherwise.
int signatureDigest(const X509_CERT* cert, int fallback);

// The first certificate of DER or PEM bytes, and the bytes that follow it
// (a second certificate, or nothing).
struct Split {
    std::string_view first;
    std::string_view rest;
};
Split splitFirst(std::string_view bytes);

// The current instant from the local clock (with the network-time offset)
// as a GeneralizedTime YYYYMMDDhhmmssZ; null when it cannot be made.
GenTime nowGeneralized();

}  // namespace zcore::ocsp
