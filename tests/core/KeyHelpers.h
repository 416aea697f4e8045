// Helpers of the key tests: the fixture files of make_key_fixtures.sh,
// openssl and python as peers, owners of what the library hands out.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <zunCore/keys.h>
#include <zunPKI/x509/x509_key.h>

#include "CoreHelpers.h"

namespace keytest {

using coretest::Buf;

// The fixtures are made once per build tree (every test program of these
// suites runs in its own process, and RSA keys take a while to make): under
// a lock, again whenever the scripts change.
inline const std::string& dir() {
    static const std::string d = [] {
        const std::string src = zqtest::sourceDir() + "/tests/core/";
        const std::string stamp = std::to_string(std::hash<std::string>{}(
            zqtest::readFile(src + "make_key_fixtures.sh") + zqtest::readFile(src + "kisa_key.py")));
        const std::string base = zqtest::binaryDir() + "/tests/core/key-fixtures";
        zqtest::makeDirs(zqtest::binaryDir() + "/tests/core");
        const int fd = ::open((base + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0) ::flock(fd, LOCK_EX);
        if (!zqtest::fileExists(base + "/stamp") || zqtest::readFile(base + "/stamp") != stamp) {
            zqtest::run({"rm", "-rf", base});
            zqtest::makeDirs(base);
            if (zqtest::run({src + "make_key_fixtures.sh", base}).status == 0)
                zqtest::writeFile(base + "/stamp", stamp);
        }
        if (fd >= 0) ::close(fd);
        return base;
    }();
    return d;
}
inline std::string path(const std::string& name) { return dir() + "/" + name; }
inline std::string file(const std::string& name) { return zqtest::readFile(path(name)); }

inline const unsigned char* u(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
const unsigned char* u(std::string&&) = delete;
inline int n(const std::string& s) { return static_cast<int>(s.size()); }

// openssl with the legacy provider where asked; the environment keeps the
// host's configuration out.
inline zqtest::RunResult openssl(std::vector<std::string> args, const std::string& input = {}, bool legacy = false) {
    args.insert(args.begin(), "openssl");
    if (legacy) args.insert(args.end(), {"-provider", "legacy", "-provider", "default"});
    return zqtest::run(args, input, {"OPENSSL_CONF=/dev/null"});
}

// A temporary file holding bytes, for peers that read files.
inline std::string temp(const std::string& name, const std::string& bytes) {
    static zqtest::TempDir t("keytmp");
    const std::string p = t / name;
    zqtest::writeFile(p, bytes);
    return p;
}

inline std::string hex(const std::string& s) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

inline std::string trimmed(std::string s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    return s;
}

// A key the library opened, freed at the end of the scope.
struct Key {
    ASYMMETRIC_KEY* p = nullptr;
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() { free_ASYMMETRIC_KEY(p); }
    ASYMMETRIC_KEY** out() {
        free_ASYMMETRIC_KEY(p);
        p = nullptr;
        return &p;
    }
    RSA_UNIT* rsa() const { return p && p->kind == ASYMMETRIC_KEY_RSA ? static_cast<RSA_UNIT*>(p->key) : nullptr; }
};

// The modulus of a key as lower-case hex without leading zeros.
inline std::string modulusHex(const RSA_UNIT* rsa) {
    if (!rsa || !rsa->n) return {};
    char* h = VSC_BIGINT_To_HEX(rsa->n);
    std::string out = h ? h : "";
    VSC_Free(h, __FILE__, __LINE__);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    while (out.size() > 1 && out[0] == '0') out.erase(0, 1);
    return out;
}

// openssl's modulus of a key or certificate file ("Modulus=..." in hex).
inline std::string opensslModulus(const std::vector<std::string>& args, const std::string& input = {}) {
    auto r = openssl(args, input);
    const auto at = r.output.find("Modulus=");
    if (at == std::string::npos) return {};
    std::string m = r.output.substr(at + 8);
    m = m.substr(0, m.find('\n'));
    for (char& c : m) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    while (m.size() > 1 && m[0] == '0') m.erase(0, 1);
    return m;
}

// Releases an array of credentials the library handed out.
struct Records {
    PKISTRINFO* p = nullptr;
    int count = 0;
    Records() = default;
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;
    ~Records() {
        VCL_PK1_Free_PKISTRINFOS(p, count);
        std::free(p);
    }
    std::string cert(int i) const { return std::string(reinterpret_cast<const char*>(p[i].cert), p[i].cert_len); }
    std::string key(int i) const { return std::string(reinterpret_cast<const char*>(p[i].key), p[i].key_len); }
};

}  // namespace keytest
