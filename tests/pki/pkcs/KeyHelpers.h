// Helpers of the key-format tests: records owned by the test, DER in and
// out through the library's codecs, and an RSA key made by openssl.
#pragma once

#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/pkcs/pkcs5.h>
#include <zunPKI/pkcs/pkcs8.h>

#include "PkiHelpers.h"
#include "PkiTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace keyfmt {

template <class T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
using Info = std::unique_ptr<P8_PRIV_KEY_INFO, Freer<P8_PRIV_KEY_INFO, free_P8_PRIV_KEY_INFO>>;
using Encrypted = std::unique_ptr<PKCS8, Freer<PKCS8, free_PKCS8>>;

inline std::string der(const void* value, ASN1_ENCODE_FUNC encoder) {
    pkitest::Owned<unsigned char> out;
    int n = writeDER_to_Binary(const_cast<void*>(value), encoder, out.out());
    return n > 0 ? out.str(n) : std::string();
}

inline PKI_ERROR encodeInfo(void* v, ASN1_UNIT** n) {
    return P8_PRIV_KEY_INFO_to_Seq(static_cast<P8_PRIV_KEY_INFO*>(v), n);
}
inline PKI_ERROR decodeInfo(ASN1_UNIT* n, void** v) {
    return Seq_to_P8_PRIV_KEY_INFO(n, reinterpret_cast<P8_PRIV_KEY_INFO**>(v));
}
inline PKI_ERROR encodeEncrypted(void* v, ASN1_UNIT** n) { return P8_ENCRYPTED_KEY_to_Seq(static_cast<PKCS8*>(v), n); }
inline PKI_ERROR decodeEncrypted(ASN1_UNIT* n, void** v) {
    return Seq_to_P8_ENCRYPTED_KEY(n, reinterpret_cast<PKCS8**>(v));
}

inline std::string derOf(const P8_PRIV_KEY_INFO* info) { return der(info, encodeInfo); }
inline std::string derOf(const PKCS8* p8) { return der(p8, encodeEncrypted); }

inline PKI_ERROR readInfo(const std::string& bytes, Info& out) {
    P8_PRIV_KEY_INFO* made = nullptr;
    PKI_ERROR rc =
        readDER_from_Binary(reinterpret_cast<void**>(&made), decodeInfo, pkitest::bytes(bytes), pkitest::len(bytes));
    out.reset(made);
    return rc;
}
inline PKI_ERROR readEncrypted(const std::string& bytes, Encrypted& out) {
    PKCS8* made = nullptr;
    PKI_ERROR rc = readDER_from_Binary(reinterpret_cast<void**>(&made), decodeEncrypted, pkitest::bytes(bytes),
                                       pkitest::len(bytes));
    out.reset(made);
    return rc;
}

// Equal bytes, or where they part (binary dumps help nobody).
inline ::testing::AssertionResult sameBytes(const std::string& a, const std::string& b) {
    if (a == b) return ::testing::AssertionSuccess();
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    return ::testing::AssertionFailure() << "lengths " << a.size() << " and " << b.size() << ", first difference at "
                                         << i;
}

// openssl with the legacy provider too (SEED, single DES, RC2).
inline zqtest::RunResult opensslLegacy(std::vector<std::string> args, const std::string& input = {}) {
    args.insert(args.begin(), "openssl");
    args.insert(args.end(), {"-provider", "legacy", "-provider", "default"});
    return zqtest::run(args, input);
}

// A 1024-bit RSA key as openssl's PrivateKeyInfo DER, made once per program.
inline const std::string& rsaPrivateKeyInfo() {
    static const std::string der = [] {
        std::string pem = pkitest::openssl({"genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:1024"});
        return pkitest::openssl({"pkcs8", "-topk8", "-nocrypt", "-outform", "DER"}, pem);
    }();
    return der;
}

}  // namespace keyfmt
