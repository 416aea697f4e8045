// Helpers of the libzunCore tests: buffers the library hands out, glibc's
// converters, python peers.
#pragma once

#include <iconv.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace coretest {

// Owns a malloc'd buffer the library handed out.
template <class T>
struct Buf {
    T* p = nullptr;
    Buf() = default;
    explicit Buf(T* q) : p(q) {}
    Buf(const Buf&) = delete;
    Buf& operator=(const Buf&) = delete;
    ~Buf() { std::free(p); }
    // For the next call that hands out a buffer: what it held is released.
    T** out() {
        std::free(p);
        p = nullptr;
        return &p;
    }
    explicit operator bool() const { return p != nullptr; }
    std::string str(int n) const {
        return p ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n)) : std::string();
    }
    std::string str() const { return p ? std::string(reinterpret_cast<const char*>(p)) : std::string(); }
};

inline const unsigned char* u8(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
inline const unsigned char* u8(const char* s) { return reinterpret_cast<const unsigned char*>(s); }
// A temporary string's bytes would not outlive the statement.
const unsigned char* u8(std::string&&) = delete;
inline int len(const std::string& s) { return static_cast<int>(s.size()); }

// glibc's converter over the whole text; nullopt when it refuses any of it.
inline std::optional<std::string> iconvText(const std::string& text, const char* from, const char* to) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* o = out.data();
    size_t outLeft = out.size();
    const size_t rc = iconv(cd, &in, &inLeft, &o, &outLeft);
    const size_t flush = iconv(cd, nullptr, nullptr, &o, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1) || flush == static_cast<size_t>(-1) || inLeft != 0) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

// A fixture script of tests/core run once into a temporary folder of the
// test program; the folder, or empty when the script failed.
inline std::string fixtureDir(const std::string& script) {
    static zqtest::TempDir dir("corefix");
    const std::string sub = dir / script.substr(0, script.rfind('.'));
    zqtest::makeDirs(sub);
    return zqtest::run({zqtest::sourceDir() + "/tests/core/" + script, sub}).status == 0 ? sub : std::string();
}

// A result as the unsigned code it is written as (0xb1070011).
inline unsigned rc(int result) { return static_cast<unsigned>(result); }

// A heap copy of exactly the text's bytes, without a NUL after them: the
// address sanitizer catches any read past the length.
struct Exact {
    std::vector<char> bytes;
    explicit Exact(const std::string& s) : bytes(s.begin(), s.end()) {}
    const char* c() const { return bytes.data(); }
    const unsigned char* u() const { return reinterpret_cast<const unsigned char*>(bytes.data()); }
    int n() const { return static_cast<int>(bytes.size()); }
};

// Runs a python snippet with Debian's interpreter; its standard output.
inline zqtest::RunResult python(const std::string& code, const std::string& input = {},
                                const std::vector<std::string>& env = {}) {
    return zqtest::run({zqtest::kPython, "-c", code}, input, env);
}

}  // namespace coretest
