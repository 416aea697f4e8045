// Helpers of the PKCS#12 tests: records owned by the test, the fixtures of
// make_p12_fixtures.sh, and PFX files read back through our import.
#pragma once

#include "../x509/X509TestUtil.h"
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/pkcs/pkcs12_safe.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace p12test {

using pkitest::Bytes;
using x509test::FreeWith;
using Pfx = std::unique_ptr<PKCS12, FreeWith<free_PKCS12>>;
using Bag = std::unique_ptr<P12_SAFEBAG, FreeWith<free_P12_SAFEBAG>>;
using Bags = std::unique_ptr<P12_SAFEBAGS, FreeWith<free_P12_SAFEBAGS>>;
using Safes = std::unique_ptr<P12_AUTH_SAFE, FreeWith<free_P12_AUTH_SAFE>>;
using ContentInfo = std::unique_ptr<P7_CONTENT_INFO, FreeWith<free_P7_CONTENT_INFO>>;
using Cert = std::unique_ptr<X509_CERT, FreeWith<free_X509_CERT>>;
using KeyInfo = std::unique_ptr<P8_PRIV_KEY_INFO, FreeWith<free_P8_PRIV_KEY_INFO>>;

inline const char* kPass = "p12 pass";

inline Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline std::string textOf(const Bytes& b) { return std::string(b.begin(), b.end()); }

inline const std::string& fixtures() {
    static zqtest::TempDir dir("p12fix");
    static const std::string path = pkitest::runFixtureScript("tests/pki/pkcs/make_p12_fixtures.sh", dir);
    return path;
}
inline std::string fixturePath(const std::string& name) { return fixtures() + "/" + name; }
inline Bytes fixture(const std::string& name) { return pkitest::readBytes(fixturePath(name)); }

inline Pfx decodePfx(const Bytes& der, PKI_ERROR* rc = nullptr) {
    return x509test::decodeWith<Pfx>(Seq_to_P12_PFX, der, rc);
}
inline Bytes encodePfx(const PKCS12* pfx) { return x509test::encode(P12_PFX_to_Seq, pfx); }
inline Cert cert(const std::string& name) {
    return x509test::decodeWith<Cert>(Seq_to_X509_CERT, fixture(name), nullptr);
}
inline KeyInfo key(const std::string& name) {
    return x509test::decodeWith<KeyInfo>(Seq_to_P8_PRIV_KEY_INFO, fixture(name), nullptr);
}
inline Bytes keyDer(const P8_PRIV_KEY_INFO* key) { return x509test::encode(P8_PRIV_KEY_INFO_to_Seq, key); }
inline Bytes certDer(const X509_CERT* cert) { return x509test::encode(X509_CERT_to_Seq, cert); }

// What import_PKCS12 gives, owned by the test.
struct Imported {
    PKI_ERROR rc = -1;
    STACK* keys = nullptr;
    STACK* certs = nullptr;
    STACK* cas = nullptr;
    Imported() = default;
    Imported(const Imported&) = delete;
    ~Imported() {
        for (int i = 0; i < get_STACK_count(keys); ++i)
            free_P8_PRIV_KEY_INFO(static_cast<P8_PRIV_KEY_INFO*>(get_STACK_value(keys, i)));
        for (STACK* list : {certs, cas})
            for (int i = 0; i < get_STACK_count(list); ++i)
                free_X509_CERT(static_cast<X509_CERT*>(get_STACK_value(list, i)));
        free_STACK(keys);
        free_STACK(certs);
        free_STACK(cas);
    }
    int count(STACK* list) const { return list ? get_STACK_count(list) : 0; }
    P8_PRIV_KEY_INFO* key(int i) const { return static_cast<P8_PRIV_KEY_INFO*>(get_STACK_value(keys, i)); }
    X509_CERT* cert(int i) const { return static_cast<X509_CERT*>(get_STACK_value(certs, i)); }
    X509_CERT* ca(int i) const { return static_cast<X509_CERT*>(get_STACK_value(cas, i)); }
};

inline void importInto(Imported& out, const PKCS12* pfx, const char* password, int len = -1) {
    out.rc = import_PKCS12(pfx, password, len, &out.keys, &out.certs, &out.cas);
}

// The certificate's auxiliary friendly name as text.
inline std::string friendlyOf(const X509_CERT* cert) {
    int len = 0;
    const unsigned char* p = get_X509_AUX_friendly(cert, &len);
    return p ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(len)) : std::string();
}

// The DER of a PFX written to a file of the test directory.
inline std::string writeTemp(const zqtest::TempDir& dir, const std::string& name, const Bytes& der) {
    const std::string path = dir / name;
    zqtest::writeFile(path, textOf(der));
    return path;
}

}  // namespace p12test
