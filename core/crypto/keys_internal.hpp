// Helpers shared by the key, PKCS#1, PKCS#8, key-password and PKCS#12
// sources of libzunCore: owners of libzunPKI's records, typed DER and PEM
// reading and writing, wiped buffers, and the internal entry points the
// Parts call on each other.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <zunCore/error.h>
#include <zunCore/x509_conv.h>
#include <zunCore/x509_info.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/pkcs/pkcs8.h>
#include <zunPKI/x509/x509_attr.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_key.h>

#include "crypto/crypto_internal.hpp"
#include "util/core_internal.hpp"

namespace zcore {

template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, UnitDeleter<T, Free>>;

inline void freeAttributes(X509_ATTRIBUTES* a) { free_X509_ATTRIBUTES(a); }

using AsymKey = Owned<ASYMMETRIC_KEY, free_ASYMMETRIC_KEY>;
using RsaUnit = Owned<RSA_UNIT, VSC_Free_RSA>;
using P8Info = Owned<P8_PRIV_KEY_INFO, free_P8_PRIV_KEY_INFO>;
using P8Enc = Owned<PKCS8, free_PKCS8>;
using Cert = Owned<X509_CERT, free_X509_CERT>;
using Attributes = Owned<X509_ATTRIBUTES, freeAttributes>;
using Asn1String = Owned<ASN1_STRING, free_ASN1_STRING>;
using Node = Owned<ASN1_UNIT, free_ASN1_UNIT>;

// The reasons the key Parts name beyond those of error.h.
inline constexpr int kReasonKeyKind = 0x40;      // a key of a kind the operation does not take
inline constexpr int kReasonNotWritten = 0x2c;   // a key that writes nothing
inline constexpr int kReasonNoSuchKey = 0x2f;    // no key of this certificate
inline constexpr int kReasonKeyReader = 0x2b;    // nothing reads as a key
inline constexpr int kReasonNoParams = 0x31;     // no PBE parameters
inline constexpr int kReasonWriteFailed = 0x66;  // the DER wrote nothing

constexpr int code(int category, int reason) { return VCL_CORE_CODE(category, reason); }

// Passwords travel in a 256-byte field: longer ones (and negative lengths)
// are refused everywhere.
inline constexpr int kMaxPassword = 255;
inline bool passwordTooLong(const char* pw, int len) { return pw != nullptr && (len < 0 || len > kMaxPassword); }

// Bytes that are wiped when released (decrypted keys, passwords, PEM texts
// of private keys), always followed by a zero byte.
class Secret {
public:
    Secret() = default;
    explicit Secret(std::string_view s) { assign(s.data(), s.size()); }
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    Secret(Secret&& o) noexcept : bytes_(std::move(o.bytes_)) {}
    Secret& operator=(Secret&& o) noexcept {
        wipeAll();
        bytes_ = std::move(o.bytes_);
        return *this;
    }
    ~Secret() { wipeAll(); }
    void assign(const void* p, size_t n) {
        wipeAll();
        bytes_.reserve(n + 1);
        bytes_.assign(static_cast<const char*>(p), static_cast<const char*>(p) + n);
        bytes_.push_back('\0');
    }
    // n zero bytes to be filled.
    void resize(size_t n) {
        wipeAll();
        bytes_.assign(n + 1, '\0');
    }
    char* data() { return bytes_.data(); }
    const char* data() const { return bytes_.empty() ? "" : bytes_.data(); }
    unsigned char* u() { return reinterpret_cast<unsigned char*>(bytes_.data()); }
    const unsigned char* u() const { return reinterpret_cast<const unsigned char*>(data()); }
    int size() const { return bytes_.empty() ? 0 : static_cast<int>(bytes_.size() - 1); }
    bool empty() const { return size() == 0; }
    std::string_view view() const { return {data(), static_cast<size_t>(size())}; }

private:
    void wipeAll() {
        if (bytes_.capacity() != 0) explicit_bzero(bytes_.data(), bytes_.capacity());
        bytes_.clear();
    }
    std::vector<char> bytes_;
};

// A text of libzunPKI or the crypto layer (VSC_Free_Ex wipes it) as bytes.
inline std::string_view viewOf(const VscPtr<char>& p, int n) {
    return p && n > 0 ? std::string_view(p.get(), static_cast<size_t>(n)) : std::string_view();
}
inline std::string_view viewOf(const VscPtr<unsigned char>& p, int n) {
    return p && n > 0 ? std::string_view(reinterpret_cast<const char*>(p.get()), static_cast<size_t>(n))
                      : std::string_view();
}
inline std::string_view viewOf(const void* p, int n) {
    return p && n > 0 ? std::string_view(static_cast<const char*>(p), static_cast<size_t>(n)) : std::string_view();
}

// Hands a copy of bytes out through the caller's pointers (a buffer of
// newBuffer); false when memory is short.
template <typename T>
bool handOut(std::string_view bytes, T** out, int* outLen) {
    char* b = newBuffer(bytes);
    if (!b) return false;
    *out = reinterpret_cast<T*>(b);
    *outLen = static_cast<int>(bytes.size());
    return true;
}

// PEM as the key Parts see it: within len bytes.
inline bool isPem(const void* bytes, int len) {
    return bytes && len > 0 && isPemText({static_cast<const char*>(bytes), static_cast<size_t>(len)});
}

// readDER_from_Binary / readPEM_from_Binary through a decoder of the
// callback type they call (a cast of the typed decoder would be called
// through the wrong type).
template <typename T, PKI_ERROR (*Decode)(const ASN1_UNIT*, T**)>
PKI_ERROR decodeAs(ASN1_UNIT* node, void** value) {
    T* typed = static_cast<T*>(*value);
    const PKI_ERROR rc = Decode(node, &typed);
    *value = typed;
    return rc;
}
template <typename T, PKI_ERROR (*Encode)(const T*, ASN1_UNIT**)>
PKI_ERROR encodeAs(void* value, ASN1_UNIT** node) {
    return Encode(static_cast<const T*>(value), node);
}

// One record from DER or PEM bytes (PEM by its armour): the reader's code.
template <typename T, PKI_ERROR (*Decode)(const ASN1_UNIT*, T**), void (*Free)(T*)>
PKI_ERROR readRecord(const void* bytes, int len, Owned<T, Free>& out) {
    void* made = nullptr;
    const PKI_ERROR rc =
        isPem(bytes, len)
            ? readPEM_from_Binary(&made, decodeAs<T, Decode>, static_cast<const char*>(bytes), len)
            : readDER_from_Binary(&made, decodeAs<T, Decode>, static_cast<const unsigned char*>(bytes), len);
    out.reset(static_cast<T*>(made));
    if (rc == 0 && !out) return VSC_ERR_NULL_ARGUMENT;
    if (rc != 0) out.reset();
    return rc;
}

// The DER of a record in wiped bytes; empty when it does not encode.
template <typename T, PKI_ERROR (*Encode)(const T*, ASN1_UNIT**)>
Secret derOf(const T* value) {
    unsigned char* raw = nullptr;
    const int n = writeDER_to_Binary(const_cast<T*>(value), encodeAs<T, Encode>, &raw);
    VscPtr<unsigned char> bytes(raw);
    Secret out;
    if (n > 0 && bytes) out.assign(bytes.get(), static_cast<size_t>(n));
    return out;
}

inline Secret derOfInfo(const P8_PRIV_KEY_INFO* info) { return derOf<P8_PRIV_KEY_INFO, P8_PRIV_KEY_INFO_to_Seq>(info); }
inline Secret derOfEnc(const PKCS8* p8) { return derOf<PKCS8, P8_ENCRYPTED_KEY_to_Seq>(p8); }
inline Secret derOfCert(const X509_CERT* c) { return derOf<X509_CERT, X509_CERT_to_Seq>(c); }

// ---- Internal entry points -------------------------------------------------

// The key of an opened private or public key as an RSA unit, refusing other
// kinds: the unit (borrowed) or null.
inline RSA_UNIT* rsaOf(const ASYMMETRIC_KEY* key) {
    return key && key->kind == ASYMMETRIC_KEY_RSA ? static_cast<RSA_UNIT*>(key->key) : nullptr;
}

// Re-encrypts a PrivateKeyInfo under the scheme of model (its algorithm
// and, for PBES2, its cipher and PRF), with a fresh salt and 2048
// iterations, into DER. category names the caller's codes: 0x31 for a model
// without PBE parameters, 0x66 when nothing is written.
int resealLike(const PKCS8* model, const P8_PRIV_KEY_INFO* info, const char* pw, int pwLen, int category, Secret& der);

// The fixed SEED key and IV of protected passwords.
void protectedPasswordKey(unsigned char key[16], unsigned char iv[16]);

// The iteration count of every key written here.
inline constexpr int kKeyIterations = 2048;

// ---- Certificates ------------------------------------------------------------

using X509InfoPtr = Owned<X509_Info, VCL_X509_Free_X509_Info>;

// A certificate of DER or PEM bytes: VCL_X509_conv_cert2x509's code.
inline int decodeCert(const void* bytes, int len, Cert& out) {
    X509_CERT* raw = nullptr;
    const int rc = VCL_X509_conv_cert2x509(bytes, len, &raw);
    out.reset(raw);
    return rc;
}

// The information record of a certificate (separator '|'): its code.
inline int certInfo(const void* bytes, int len, X509InfoPtr& out) {
    X509_Info* raw = nullptr;
    const int rc = VCL_X509_Init_X509_Info(bytes, len, '|', &raw);
    out.reset(raw);
    return rc;
}

}  // namespace zcore
