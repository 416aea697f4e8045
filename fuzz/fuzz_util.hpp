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

// The element in der with its outer length in another form: four length
// octets (indefinite false) or the indefinite form; empty when der is not
// one element of definite length.
inline std::vector<unsigned char> outerLengthForm(const std::vector<unsigned char>& der, bool indefinite) {
    if (der.size() < 2 || !(der[0] & 0x20)) return {};
    const size_t n = der[1] < 0x80 ? 0 : der[1] & 0x7f;
    if (der[1] == 0x80 || n > 4 || der.size() < 2 + n) return {};
    size_t len = n == 0 ? der[1] : 0;
    for (size_t i = 0; i < n; ++i) len = len << 8 | der[2 + i];
    if (len != der.size() - 2 - n) return {};
    std::vector<unsigned char> out{der[0]};
    if (indefinite) {
        out.push_back(0x80);
    } else {
        out.push_back(0x84);
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(len >> shift));
    }
    out.insert(out.end(), der.begin() + static_cast<std::ptrdiff_t>(2 + n), der.end());
    if (indefinite) out.insert(out.end(), {0, 0});
    return out;
}

// One signed record (certificate, CRL), one fingerprint: what a decoded
// record encodes to reads again as a record that encodes to the same bytes
// and whose signature checks the same way under key (when verify is given),
// and so do those bytes with their outer length in BER. Returns the bytes,
// whose digest is the record's fingerprint.
template <class T>
std::vector<unsigned char> checkOneForm(const T* record, PKI_ERROR (*encoder)(const T*, ASN1_UNIT**),
                                        PKI_ERROR (*decoder)(const ASN1_UNIT*, T**), void (*release)(T*),
                                        int (*verify)(const T*, const X509_PUBKEY*), const X509_PUBKEY* key) {
    const std::vector<unsigned char> der = encodedBytes(encoder, record);
    if (der.empty()) abort();  // a decoded record always encodes
    for (const auto& form : {der, outerLengthForm(der, false), outerLengthForm(der, true)}) {
        if (form.empty()) continue;
        ASN1_UNIT* node = decodeToDERSequence(form.data(), static_cast<int>(form.size()));
        T* again = nullptr;
        if (!node || decoder(node, &again) != 0) abort();
        if (encodedBytes(encoder, static_cast<const T*>(again)) != der) abort();
        if (verify && verify(record, key) != verify(again, key)) abort();
        release(again);
        free_ASN1_UNIT(node);
    }
    return der;
}
