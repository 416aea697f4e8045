// Helpers of the libzunPKI tests: bytes, openssl peers, fixtures.
#pragma once

#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include <zunPKI/asn1/ber.h>
#include "asn1/ber_internal.hpp"

namespace pkitest {

using Bytes = std::vector<unsigned char>;

inline Bytes fromHex(const std::string& hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

inline std::string toHex(const unsigned char* p, size_t n) {
    static const char* k = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += k[p[i] >> 4];
        s += k[p[i] & 15];
    }
    return s;
}
inline std::string toHex(const Bytes& b) { return toHex(b.data(), b.size()); }

struct NodeFree {
    void operator()(ASN1_UNIT* n) const { free_ASN1_UNIT(n); }
};
using Node = std::unique_ptr<ASN1_UNIT, NodeFree>;
struct StringFree {
    void operator()(ASN1_STRING* s) const { free_ASN1_STRING(s); }
};
using String = std::unique_ptr<ASN1_STRING, StringFree>;

// The whole encoding of a node.
inline Bytes bytesOf(const ASN1_UNIT* node) {
    zpki::ber::Bytes out;
    if (!zpki::ber::serialize(node, out)) return {};
    return Bytes(out.begin(), out.end());
}

// What `openssl asn1parse -genstr` (or -genconf with a file) writes.
inline Bytes genstr(const std::string& spec) {
    zqtest::TempDir dir("genstr");
    const auto out = dir / "out.der";
    auto r = zqtest::run({"openssl", "asn1parse", "-genstr", spec, "-noout", "-out", out});
    if (r.status != 0) return {};
    const auto s = zqtest::readFile(out);
    return Bytes(s.begin(), s.end());
}

inline Bytes genconf(const std::string& conf) {
    zqtest::TempDir dir("genconf");
    zqtest::writeFile(dir / "g.cnf", conf);
    const auto out = dir / "out.der";
    auto r = zqtest::run({"openssl", "asn1parse", "-genconf", dir / "g.cnf", "-noout", "-out", out});
    if (r.status != 0) return {};
    const auto s = zqtest::readFile(out);
    return Bytes(s.begin(), s.end());
}

inline Bytes readBytes(const std::string& path) {
    const auto s = zqtest::readFile(path);
    return Bytes(s.begin(), s.end());
}

// Sets TZ for the life of the object.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        if (const char* old = std::getenv("TZ")) m_old = old, m_had = true;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ZoneScope() {
        if (m_had)
            ::setenv("TZ", m_old.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::string m_old;
    bool m_had = false;
};

// Runs a fixture script of the source tree (its path from the root) into
// dir; the folder, or "" when the script failed.
inline std::string runFixtureScript(const std::string& script, const zqtest::TempDir& dir) {
    return zqtest::run({zqtest::sourceDir() + "/" + script, dir.path()}).status == 0 ? dir.path() : std::string();
}

// The openssl-made objects of make_fixtures.sh, made once per test program.
inline const std::string& fixtures() {
    static zqtest::TempDir dir("pkifix");
    static const std::string path = runFixtureScript("tests/pki/asn1/make_fixtures.sh", dir);
    return path;
}

}  // namespace pkitest
