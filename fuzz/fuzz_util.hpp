// Helpers the fuzz targets share.
#pragma once

#include <cstdlib>
#include <cstring>
#include <vector>

#include <zunPKI/asn1/ber.h>
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
