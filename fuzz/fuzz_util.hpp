// Helpers the fuzz targets share.
#pragma once

#include <cstdlib>
#include <cstring>
#include <vector>

#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/x509/x509_key.h>
#include <zunPKI/x509/x509_sig.h>

// Encodes a record and drops the result: an encoder must not fail badly on
// whatever a decoder accepted.
template <class T>
void encodeAndFree(PKI_ERROR (*encoder)(const T*, ASN1_UNIT**), const T* record) {
    ASN1_UNIT* node = nullptr;
    encoder(record, &node);
    free_ASN1_UNIT(node);
}

// Reads bytes as an ECDSA and as a KCDSA signature value: whatever decodes
// must be the one DER of its values, so it encodes back to the same bytes.
inline void checkSignatureValue(const unsigned char* bytes, int len) {
    if (!bytes || len <= 0) return;
    // Room for any value the decoders take: its bytes and a sign octet.
    constexpr int kRoom = SIGNATURE_VALUE_MAX_PART + 1;
    std::vector<unsigned char> r(kRoom), s(kRoom);
    const auto same = [&](unsigned char* der, int derLen) {
        const bool equal = der && derLen == len && std::memcmp(der, bytes, static_cast<size_t>(len)) == 0;
        VSC_FREE(der);
        if (!equal) abort();
    };
    int rLen = kRoom, sLen = kRoom;
    if (decode_ECDSASignatureValue(r.data(), &rLen, s.data(), &sLen, bytes, len) == 0) {
        unsigned char* der = nullptr;
        int derLen = 0;
        if (encode_ECDSASignatureValue(&der, &derLen, r.data(), rLen, s.data(), sLen) != 0) abort();
        same(der, derLen);
    }
    rLen = kRoom, sLen = kRoom;
    if (decode_KCDSASignatureValue(r.data(), &rLen, s.data(), &sLen, bytes, len) == 0) {
        unsigned char* der = nullptr;
        const int derLen = encode_KCDSASignatureValue(&der, r.data(), rLen, s.data(), sLen);
        if (derLen <= 0) abort();
        same(der, derLen);
    }
}

// The bytes a record encodes to (empty when it does not encode).
template <class T>
std::vector<unsigned char> encodedBytes(PKI_ERROR (*encoder)(const T*, ASN1_UNIT**), const T* record) {
    ASN1_UNIT* node = nullptr;
    std::vector<unsigned char> out;
    unsigned char* bytes = nullptr;
    const int n = encoder(record, &node) == 0 ? ASN1_to_binary(node, &bytes) : -1;
    if (n > 0 && bytes) out.assign(bytes, bytes + n);
    VSC_FREE(bytes);
    free_ASN1_UNIT(node);
    return out;
}

// One signed record (certificate, CRL), one fingerprint: what a decoded
// record encodes to reads again as a record that encodes to the same bytes
// and whose signature checks the same way under key (when verify is given),
// whatever byte form the record came in. Returns those bytes, whose digest
// is its fingerprint.
template <class T>
std::vector<unsigned char> checkOneForm(const T* record, PKI_ERROR (*encoder)(const T*, ASN1_UNIT**),
                                        PKI_ERROR (*decoder)(const ASN1_UNIT*, T**), void (*release)(T*),
                                        int (*verify)(const T*, const X509_PUBKEY*), const X509_PUBKEY* key) {
    const std::vector<unsigned char> der = encodedBytes(encoder, record);
    if (der.empty()) abort();  // a decoded record always encodes
    ASN1_UNIT* node = decodeToDERSequence(der.data(), static_cast<int>(der.size()));
    T* again = nullptr;
    if (!node || decoder(node, &again) != 0) abort();
    if (encodedBytes(encoder, static_cast<const T*>(again)) != der) abort();
    if (verify && verify(record, key) != verify(again, key)) abort();
    release(again);
    free_ASN1_UNIT(node);
    return der;
}
