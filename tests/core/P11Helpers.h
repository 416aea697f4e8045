// Helpers of the token tests: the keys, certificates and driver lists made
// by make_p11_fixtures.sh and libzunPKI's make_kisa_fixtures.sh, openssl as
// the peer.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "CoreHelpers.h"

namespace p11core {

// The fixtures ctest made for this run (ZQ_P11_FIXTURES), or, for a test
// program run by hand, its own.
inline const std::string& fixtures() {
    static const std::string dir = [] {
        const char* made = std::getenv("ZQ_P11_FIXTURES");
        if (made && zqtest::fileExists(std::string(made) + "/kisa/kind2-sha256.der")) return std::string(made);
        const std::string own = coretest::fixtureDir("make_p11_fixtures.sh");
        if (own.empty()) return own;
        zqtest::makeDirs(own + "/kisa");
        const auto r = zqtest::run({zqtest::sourceDir() + "/tests/pki/pkcs/make_kisa_fixtures.sh", own + "/kisa"});
        return r.status == 0 ? own : std::string();
    }();
    return dir;
}

inline std::string path(const std::string& name) { return fixtures() + "/" + name; }
inline std::string fixture(const std::string& name) {
    EXPECT_FALSE(fixtures().empty()) << "fixture scripts failed";
    return zqtest::readFile(path(name));
}

inline const unsigned char* u(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
const unsigned char* u(std::string&&) = delete;
inline int n(const std::string& s) { return static_cast<int>(s.size()); }

inline std::string hex(const std::string& s) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) out += {digits[c >> 4], digits[c & 15]};
    return out;
}
inline std::string unhex(const std::string& h) {
    std::string out;
    for (size_t i = 0; i + 1 < h.size(); i += 2) out += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
    return out;
}

// openssl with the host's configuration kept out (and the legacy provider
// where asked).
inline zqtest::RunResult openssl(std::vector<std::string> args, const std::string& input = {}, bool legacy = false) {
    args.insert(args.begin(), "openssl");
    if (legacy) args.insert(args.end(), {"-provider", "legacy", "-provider", "default"});
    return zqtest::run(args, input, {"OPENSSL_CONF=/dev/null"});
}

// A file of bytes in a folder of the test's own, for peers that read files.
inline std::string temp(const std::string& name, const std::string& bytes) {
    static zqtest::TempDir t("p11tmp");
    const std::string p = t / name;
    zqtest::writeFile(p, bytes);
    return p;
}

}  // namespace p11core
