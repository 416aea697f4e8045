// Helpers of the session-data suites: the web servers of
// make_web_fixtures.sh, openssl as the peer, and the reader of data strings
// (zunplugin_peer.py).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "SignHelpers.h"

namespace webtest {

using storetest::len;
using storetest::Out;

// The fixture files of make_web_fixtures.sh, made once per test program.
inline const std::string& webDir() {
    static zqtest::TempDir dir("webfx");
    static const bool made =
        zqtest::run({"sh", zqtest::sourceDir() + "/tests/store/make_web_fixtures.sh", dir.path()}).status == 0;
    EXPECT_TRUE(made) << "make_web_fixtures.sh failed";
    return dir.path();
}
inline std::string web(const std::string& name) { return webDir() + "/" + name; }

inline zqtest::RunResult openssl(std::vector<std::string> args, const std::string& input = {}) {
    args.insert(args.begin(), "openssl");
    return zqtest::run(args, input, {"OPENSSL_CONF=/dev/null"});
}

inline std::string hex(const std::string& bytes) { return signtest::hex(bytes); }
inline std::string unhex(const std::string& h) {
    std::string out;
    for (size_t i = 0; i + 1 < h.size(); i += 2) out += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
    return out;
}

// openssl enc with a cipher (openssl's name) under key and IV; decrypt
// with -d. Raw bytes in and out.
inline std::string enc(const std::string& cipher, const std::string& key, const std::string& iv,
                       const std::string& data, bool decrypt = false) {
    std::vector<std::string> args = {"enc",     "-" + cipher, "-provider", "legacy", "-provider",
                                     "default", "-K",         hex(key),    "-iv",    hex(iv)};
    if (decrypt) args.insert(args.begin() + 1, "-d");
    const auto r = openssl(args, data);
    EXPECT_EQ(r.status, 0) << "openssl enc";
    return r.output;
}

inline std::string sha256(const std::string& data) { return openssl({"dgst", "-sha256", "-binary"}, data).output; }

inline std::string base64(const std::string& bytes) { return openssl({"base64", "-A"}, bytes).output; }

// What zunplugin_peer.py says of a string: its exit status, its failures,
// and the R and R1 it found.
struct PeerVerdict {
    int status = -1;
    std::string output;
    std::string r, r1;
};
inline PeerVerdict readAsServer(const std::string& text, const std::map<std::string, std::string>& args) {
    zqtest::TempDir tmp("zunstr");
    zqtest::writeFile(tmp / "string", text);
    std::vector<std::string> argv = {zqtest::kPython, zqtest::sourceDir() + "/tests/store/zunplugin_peer.py",
                                     tmp / "string"};
    for (const auto& [k, v] : args) argv.push_back(k + "=" + v);
    const auto r = zqtest::run(argv);
    PeerVerdict p{r.status, r.output, {}, {}};
    std::istringstream lines(r.output);
    std::string name, value;
    while (lines >> name >> value) {
        if (name == "R") p.r = unhex(value);
        if (name == "R1") p.r1 = unhex(value);
    }
    return p;
}

}  // namespace webtest
