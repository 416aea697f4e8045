// Helpers of the core's certificate tests: the fixtures the scripts make,
// records and libzunPKI objects held for a scope, hex, and the peers.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <zunCore/log.h>
#include <zunCore/x509_check.h>
#include <zunCore/x509_conv.h>
#include <zunCore/x509_info.h>

#include "CoreHelpers.h"

namespace x509test {

using coretest::rc;

inline const std::string& fixtures() {
    static const std::string dir = coretest::fixtureDir("make_x509_fixtures.sh");
    return dir;
}

inline std::string fixture(const std::string& name) {
    EXPECT_FALSE(fixtures().empty()) << "fixture script failed";
    return zqtest::readFile(fixtures() + "/" + name);
}

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
template <typename T, void (*Free)(T*)>
using Own = std::unique_ptr<T, Deleter<T, Free>>;
using Info = Own<X509_Info, VCL_X509_Free_X509_Info>;
using Cert = Own<X509_CERT, free_X509_CERT>;
using Crl = Own<X509_CRL, free_X509_CRL>;

// The record of certificate bytes, or null (with the code in *code).
inline Info record(const std::string& cert, int separator = '|', int* code = nullptr) {
    X509_Info* info = nullptr;
    const int r = VCL_X509_Init_X509_Info(cert.data(), static_cast<int>(cert.size()), separator, &info);
    if (code) *code = r;
    return Info(info);
}

inline Cert decodeCert(const std::string& cert) {
    X509_CERT* c = nullptr;
    EXPECT_EQ(VCL_X509_conv_cert2x509(cert.data(), static_cast<int>(cert.size()), &c), 0);
    return Cert(c);
}

inline std::string hex(const void* bytes, int n) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    const auto* b = static_cast<const unsigned char*>(bytes);
    for (int i = 0; bytes && i < n; ++i) {
        out += kDigits[b[i] >> 4];
        out += kDigits[b[i] & 15];
    }
    return out;
}

inline std::string fromHex(const std::string& text) {
    std::string out;
    for (size_t i = 0; i + 1 < text.size(); i += 2) out += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
    return out;
}

// UTF-8 text as the record holds it (EUC-KR), through glibc's converter.
inline std::string eucKr(const std::string& utf8) {
    const auto converted = coretest::iconvText(utf8, "UTF-8", "EUC-KR");
    EXPECT_TRUE(converted) << utf8;
    return converted.value_or("");
}

inline std::string openssl(const std::vector<std::string>& args, const std::string& input = {}) {
    std::vector<std::string> argv{"openssl"};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto r = zqtest::run(argv, input, {"OPENSSL_CONF=/dev/null"});
    EXPECT_EQ(r.status, 0) << "openssl " << args[0];
    return r.output;
}

// A certificate as PEM, written by openssl.
inline std::string pemOf(const std::string& der) { return openssl({"x509", "-inform", "DER", "-outform", "PEM"}, der); }

// Sets TZ for a scope and restores it.
class Zone {
public:
    explicit Zone(const char* tz) {
        if (const char* old = std::getenv("TZ")) {
            m_had = true;
            m_old = old;
        }
        setenv("TZ", tz, 1);
        tzset();
    }
    ~Zone() {
        if (m_had)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    Zone(const Zone&) = delete;
    Zone& operator=(const Zone&) = delete;

private:
    std::string m_old;
    bool m_had = false;
};

inline const char* const kZones[] = {"Asia/Seoul", "UTC", "America/New_York"};

// The network-time offset for a scope.
class NtpGap {
public:
    explicit NtpGap(int seconds) { g_gap_with_ntp = seconds; }
    ~NtpGap() { g_gap_with_ntp = 0; }
};

}  // namespace x509test
