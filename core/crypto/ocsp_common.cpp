// What the OCSP client and responder share: private keys as PrivateKeyInfo,
// the digest of a certificate's signature, a certificate followed by its
// issuer's, and the current instant as a GeneralizedTime.
#include <cstring>
#include <string_view>

#include <zunCore/crypto.h>
#include <zunCore/keys.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/pkcs/pkcs5.h>

#include "crypto/ocsp_internal.hpp"

namespace zcore::ocsp {

namespace {

constexpr int kReasonPkcs1 = 0x18;
constexpr int kReasonInfo = 0x32;
constexpr int kReasonPemType = 0x43;
constexpr int kReasonDecrypt = 0x105;

// The length of the DER element at the start of bytes (identifier, length
// octets, contents); 0 when it does not read within them.
size_t elementSize(std::string_view bytes) {
    if (bytes.size() < 2) return 0;
    const auto b = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    // One identifier octet: certificates are SEQUENCEs.
    if ((b(0) & 0x1f) == 0x1f) return 0;
    size_t header = 2, length = b(1);
    if (length & 0x80) {
        const size_t octets = length & 0x7f;
        // No indefinite form in DER, and no certificate needs more than four
        // length octets.
        if (octets == 0 || octets > 4 || bytes.size() < 2 + octets) return 0;
        length = 0;
        for (size_t i = 0; i < octets; ++i) length = (length << 8) | b(2 + i);
        header += octets;
    }
    return length <= bytes.size() - header ? header + length : 0;
}

}  // namespace

bool handOutVsc(std::string_view bytes, unsigned char** out, int* outLen) {
    auto* buffer = static_cast<unsigned char*>(VSC_MALLOC(bytes.size() + 1));
    if (!buffer) return false;
    if (!bytes.empty()) std::memcpy(buffer, bytes.data(), bytes.size());
    buffer[bytes.size()] = 0;
    *out = buffer;
    *outLen = static_cast<int>(bytes.size());
    return true;
}

int readPrivateKey(const void* key, int keyLen, const char* password, int pwLen, const KeyReasons& r, P8Info& out) {
    out.reset();
    Owned<PKCS8, free_PKCS8> enc;
    if (isPem(key, keyLen)) {
        int type = 0;
        if (VCL_COM_get_pemfile_type(static_cast<const char*>(key), keyLen, &type) != 0) return kReasonPemType;
        if (type == VCL_PEM_RSA_PRIVATE_KEY || type == VCL_PEM_RSA_PRIVATE_KEY_ENC) {
            ASYMMETRIC_KEY* raw = nullptr;
            const int rc = VCL_PK1_priv_convert_keyunit(key, keyLen, password, pwLen, &raw);
            AsymKey opened(raw);
            if (rc != 0 || !opened) return kReasonPkcs1;
            out.reset(gen_P8_PRIV_KEY_INFO(opened.get(), nullptr));
            return out ? 0 : kReasonInfo;
        }
        if (readRecord<PKCS8, Seq_to_P8_ENCRYPTED_KEY, free_PKCS8>(key, keyLen, enc) != 0) return r.pemPkcs8;
    } else if (readDer<PKCS8, Seq_to_P8_ENCRYPTED_KEY, free_PKCS8>(key, keyLen, enc) != 0) {
        return r.derPkcs8;
    }
    P8_PRIV_KEY_INFO* info = nullptr;
    const PKI_ERROR rc = decrypt_PKCS5(enc.get(), &info, password, pwLen);
    out.reset(info);
    if (rc != 0 || !out) {
        out.reset();
        return kReasonDecrypt;
    }
    return 0;
}

int signatureDigest(const X509_CERT* cert, int fallback) {
    const OBJECT_IDENTIFIER* alg = cert ? get_X509_sig_alg(cert) : nullptr;
    char name[32] = {};
    int id = 0;
    if (!alg || VCL_COM_convert_hash_id_to_name(index_from_OBJECT_IDENTIFIER(alg), name) != 0 ||
        VCL_COM_convert_hash_name(name, &id) != 0)
        return fallback;
    return id == VSC_DIGEST_SHA1 || id == VSC_DIGEST_SHA256 || id == VSC_DIGEST_HAS160 ? id : fallback;
}

Split splitFirst(std::string_view bytes) {
    if (isPemText(bytes)) {
        // The armour of the first certificate ends with its END line.
        const size_t end = bytes.find("-----END");
        const size_t next = end == std::string_view::npos ? end : bytes.find("-----BEGIN", end);
        if (next == std::string_view::npos) return {bytes, {}};
        return {bytes.substr(0, next), bytes.substr(next)};
    }
    const size_t n = elementSize(bytes);
    if (n == 0 || n == bytes.size()) return {bytes, {}};
    return {bytes.substr(0, n), bytes.substr(n)};
}

GenTime nowGeneralized() {
    // The writer reads a local calendar time: the local clock, so the
    // instant written is now in any zone.
    Owned<ASN1_TIME, free_ASN1_TIME> now(VCL_COM_getCurrentLocalTime());
    if (!now) return nullptr;
    return GenTime(asn1TimeToGENERALIZED_TIME(now.get(), GENERALIZED_TIME_YYYYMMDDHHMMSSZ));
}

}  // namespace zcore::ocsp
