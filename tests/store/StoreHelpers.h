// Helpers of the store's tests: buffers the library hands out, the
// certificates the fixture script makes, glibc's converters and python.
#pragma once

#include <gtest/gtest.h>
#include <iconv.h>

#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <zephaltpavix/zephaltpavix.h>

#include "TestSupport.h"

namespace storetest {

// Owns a buffer of the store, released with VPL_Free and its length.
template <class T = char>
struct Out {
    T* p = nullptr;
    int n = 0;
    Out() = default;
    Out(const Out&) = delete;
    Out& operator=(const Out&) = delete;
    ~Out() { VPL_Free(p, n); }
    T** ptr() {
        VPL_Free(p, n);
        p = nullptr;
        n = 0;
        return &p;
    }
    std::string str() const { return p ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n)) : ""; }
};

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
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1) || inLeft != 0) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

// The certificates of make_store_certs.py, made once per test program.
struct CertRow {
    std::string file;
    int cls = 0;
    std::string caFolder;
    std::string subjectFolder;
};

inline const std::string& certDir() {
    static zqtest::TempDir dir("storecerts");
    static const bool made =
        zqtest::run({zqtest::kPython, zqtest::sourceDir() + "/tests/store/make_store_certs.py", dir.path()}).status ==
        0;
    EXPECT_TRUE(made) << "make_store_certs.py failed";
    return dir.path();
}

inline std::string cert(const std::string& file) { return zqtest::readFile(certDir() + "/" + file); }

inline std::vector<CertRow> certRows() {
    std::vector<CertRow> rows;
    std::istringstream in(zqtest::readFile(certDir() + "/certs.tsv"));
    std::string line;
    while (std::getline(in, line)) {
        CertRow r;
        std::istringstream fields(line);
        std::string cls;
        std::getline(fields, r.file, '\t');
        std::getline(fields, cls, '\t');
        std::getline(fields, r.caFolder, '\t');
        std::getline(fields, r.subjectFolder, '\t');
        r.cls = std::stoi(cls);
        rows.push_back(r);
    }
    return rows;
}

// Where store_layout.py files a certificate: class, certificate path and
// key path relative to the base ("" for no key).
struct Layout {
    int cls = 0;
    std::string certPath, keyPath;
};
inline Layout layoutOf(const std::string& file, int use) {
    const auto r = zqtest::run({zqtest::kPython, zqtest::sourceDir() + "/tests/store/store_layout.py",
                                certDir() + "/" + file, std::to_string(use)});
    EXPECT_EQ(r.status, 0);
    Layout l;
    std::istringstream in(r.output);
    std::string cls;
    std::getline(in, cls, '\t');
    std::getline(in, l.certPath, '\t');
    std::getline(in, l.keyPath);
    l.cls = cls.empty() ? 0 : std::stoi(cls);
    if (l.keyPath == "-") l.keyPath.clear();
    return l;
}

}  // namespace storetest
