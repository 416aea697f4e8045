#include "CryptoTestUtil.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace zctest {

std::string toHex(const unsigned char* p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

Bytes fromHex(const std::string& hex) {
    Bytes out;
    auto val = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<unsigned char>(val(hex[i]) << 4 | val(hex[i + 1])));
    return out;
}

Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes pattern(size_t n, unsigned seed) {
    Bytes out(n);
    unsigned x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = static_cast<unsigned char>(x >> 16);
    }
    return out;
}

int opensslStatus(const std::vector<std::string>& args, const Bytes& input) {
    std::vector<std::string> argv{"openssl"};
    argv.insert(argv.end(), args.begin(), args.end());
    return zqtest::run(argv, std::string(input.begin(), input.end())).status;
}

std::string openssl(const std::vector<std::string>& args, const Bytes& input) {
    std::vector<std::string> argv{"openssl"};
    argv.insert(argv.end(), args.begin(), args.end());
    zqtest::RunResult r = zqtest::run(argv, std::string(input.begin(), input.end()));
    std::string joined;
    for (const auto& a : argv) joined += a + " ";
    EXPECT_EQ(r.status, 0) << joined;
    return r.output;
}

std::string vectorsDir() { return zqtest::sourceDir() + "/tests/platform/zunCrypto/vectors"; }

std::vector<std::map<std::string, std::string>> loadCases(const std::string& file) {
    static const char* script =
        "import json, sys\n"
        "for c in json.load(open(sys.argv[1]))['cases']:\n"
        "    for k, v in c.items():\n"
        "        print('%s=%s' % (k, v))\n"
        "    print('--')\n";
    zqtest::RunResult r = zqtest::run({zqtest::kPython, "-c", script, vectorsDir() + "/" + file});
    EXPECT_EQ(r.status, 0);
    std::vector<std::map<std::string, std::string>> cases(1);
    std::istringstream in(r.output);
    std::string line;
    while (std::getline(in, line)) {
        if (line == "--") {
            cases.emplace_back();
            continue;
        }
        auto eq = line.find('=');
        if (eq != std::string::npos) cases.back()[line.substr(0, eq)] = line.substr(eq + 1);
    }
    cases.pop_back();
    return cases;
}

}  // namespace zctest
