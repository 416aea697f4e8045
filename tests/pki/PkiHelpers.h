// Helpers of the libzunPKI tests: buffers the library hands out, and openssl.
#pragma once

#include "TestSupport.h"

#include <zunCrypto/zunCrypto.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace pkitest {

// Owns a buffer that the library handed out (released with VSC_Free).
template <class T>
struct Owned {
    T* p = nullptr;
    Owned() = default;
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { VSC_FREE(p); }
    T** out() { return &p; }
    std::string str(int n) const {
        return p == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n));
    }
    // The n bytes handed out, or nothing when the operation handed out none.
    std::optional<std::string> result(int n) const {
        if (p == nullptr) return std::nullopt;
        return str(n);
    }
};

inline const unsigned char* bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
inline const unsigned char* bytes(const char* s) { return reinterpret_cast<const unsigned char*>(s); }
// A temporary's bytes would not outlive the statement.
const unsigned char* bytes(std::string&&) = delete;

inline int len(const std::string& s) { return static_cast<int>(s.size()); }

// Standard output of openssl with args, which must succeed.
inline std::string openssl(const std::vector<std::string>& args, const std::string& input = {}) {
    std::vector<std::string> argv{"openssl"};
    argv.insert(argv.end(), args.begin(), args.end());
    auto r = zqtest::run(argv, input);
    EXPECT_EQ(r.status, 0) << "openssl " << args[0];
    return r.output;
}

}  // namespace pkitest
