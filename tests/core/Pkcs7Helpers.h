// Helpers of the PKCS#7 tests: signer credentials over the key fixtures,
// messages handed out, openssl and NSS's cmsutil as peers, a DER walk.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <zunCore/keys.h>
#include <zunCore/pkcs7.h>
#include <zunCore/util.h>
#include <zunPKI/asn1/asn1_objects.h>

#include "KeyHelpers.h"

namespace p7test {

using coretest::Buf;
using coretest::rc;
using keytest::file;
using keytest::n;
using keytest::openssl;
using keytest::path;
using keytest::u;

inline const char kPw[] = "pw";
inline const std::string kData = "a document to sign: 0123456789 and the rest of the text";

// Credentials held for a test (the library's record, freed at the end).
struct Signer {
    PKISTRINFO* p = VCL_PK1_New_PKISTRINFO();
    Signer(const std::string& cert, const std::string& key, const char* pw = kPw) {
        EXPECT_EQ(VCL_PK1_Set_PKISTRINFO(p, u(cert), n(cert), u(key), n(key), pw), 0);
    }
    Signer(const Signer&) = delete;
    Signer& operator=(const Signer&) = delete;
    ~Signer() { VCL_PK1_Free_PKISTRINFO(p); }
    const PKISTRINFO* operator->() const { return p; }
    operator const PKISTRINFO*() const { return p; }
};

// The key fixtures' signers: holder (ee.pem, under the test CA, key PBES2),
// self (cert.pem, self-signed, key with a VID random), second (cert.pem with
// the same key under PBES2).
inline Signer holder() { return Signer(file("ee.pem"), file("ee-p8.der")); }
inline Signer self() { return Signer(file("cert.der"), file("p8-kisa.der")); }

// A buffer the library handed out, as bytes.
inline std::string take(Buf<char>& b, int len) { return b.str(len); }

// Writes bytes into the test's temporary folder; its path.
inline std::string temp(const std::string& name, const std::string& bytes) { return keytest::temp(name, bytes); }

// openssl cms -verify of a message against the test CA (and the
// self-signed certificate): whether it verified, and the content it wrote.
struct Verified {
    bool ok = false;
    std::string content;
};
inline Verified opensslVerify(const std::string& der, std::vector<std::string> extra = {},
                              const std::string& inform = "DER") {
    const std::string msg = temp("verify.msg", der);
    const std::string cas = temp("cas.pem", file("ca.pem") + file("cert.pem"));
    const std::string out = keytest::temp("verify.out", "");
    std::vector<std::string> args{"cms", "-verify", "-inform", inform, "-binary", "-CAfile",
                                  cas,   "-in",     msg,       "-out", out};
    args.insert(args.end(), extra.begin(), extra.end());
    const auto r = openssl(args);
    return {r.status == 0, zqtest::readFile(out)};
}

// A fresh NSS database in a temporary folder that trusts the test CA and
// the self-signed certificate.
struct NssDb {
    zqtest::TempDir dir{"p7nss"};
    std::string db = "sql:" + dir.path();
    NssDb() {
        EXPECT_EQ(zqtest::run({"certutil", "-N", "-d", db, "--empty-password"}).status, 0);
        EXPECT_EQ(zqtest::run({"certutil", "-A", "-d", db, "-n", "ca", "-t", "CT,C,C", "-i", path("ca.pem")}).status,
                  0);
        EXPECT_EQ(
            zqtest::run({"certutil", "-A", "-d", db, "-n", "self", "-t", "CT,C,C", "-i", path("cert.pem")}).status, 0);
    }
    // cmsutil -D over a DER message (with its detached content); the
    // decoded content, ok when cmsutil accepted it.
    Verified decode(const std::string& der, const std::string& content = {}) {
        const std::string msg = dir / "m.der", out = dir / "out.bin";
        zqtest::writeFile(msg, der);
        std::vector<std::string> args{"cmsutil", "-D", "-d", db, "-i", msg, "-o", out};
        if (!content.empty()) {
            zqtest::writeFile(dir / "content.bin", content);
            args.insert(args.end(), {"-c", dir / "content.bin"});
        }
        const auto r = zqtest::run(args);
        return {r.status == 0, zqtest::fileExists(out) ? zqtest::readFile(out) : std::string()};
    }
};

// ---- A small DER walk ---------------------------------------------------------

struct Tlv {
    unsigned char tag = 0;
    size_t header = 0;  // identifier and length octets
    size_t length = 0;  // contents
    size_t total() const { return header + length; }
};
// The element at the start of bytes (within them); false when it does not
// read.
inline bool readTlv(const std::string& bytes, size_t at, Tlv& t) {
    if (at + 2 > bytes.size()) return false;
    t.tag = static_cast<unsigned char>(bytes[at]);
    const auto first = static_cast<unsigned char>(bytes[at + 1]);
    t.header = 2;
    t.length = first;
    if (first & 0x80) {
        const size_t k = first & 0x7f;
        if (k == 0 || k > 4 || at + 2 + k > bytes.size()) return false;
        t.length = 0;
        for (size_t i = 0; i < k; ++i) t.length = (t.length << 8) | static_cast<unsigned char>(bytes[at + 2 + i]);
        t.header += k;
    }
    return at + t.total() <= bytes.size();
}

// The lower-case hex of bytes, and bytes of hex.
inline std::string hex(const std::string& s) { return keytest::hex(s); }
inline std::string unhex(const std::string& h) {
    std::string out;
    for (size_t i = 0; i + 1 < h.size(); i += 2) out += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
    return out;
}

}  // namespace p7test
