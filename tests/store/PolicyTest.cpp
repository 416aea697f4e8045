// The server-certificate check against the build's plug-in CAs (server
// certificates issued by python3-cryptography under their keys; times
// under faketime) and the password policy.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include <zephaltpavix/zephaltpavix.h>

#include "StoreHelpers.h"
#include "TestSupport.h"
#include "policy/policy_internal.hpp"

namespace {

using storetest::len;

bool haveTestCAs() { return std::string(ZQ_STORE_PLUGIN_CA_DIR) != ""; }

const std::string& servers() {
    static zqtest::TempDir dir("servercerts");
    static const bool made = zqtest::run({zqtest::kPython, zqtest::sourceDir() + "/tests/store/make_server_certs.py",
                                          ZQ_STORE_PLUGIN_CA_DIR, dir.path()})
                                 .status == 0;
    EXPECT_TRUE(made) << "make_server_certs.py failed";
    return dir.path();
}

int check(const std::string& name) {
    const std::string cert = zqtest::readFile(servers() + "/" + name);
    return VPL_ServerCert_Verify_Validity(cert.data(), len(cert));
}

// The helper's result under faketime at an instant.
std::string checkAt(long long t, const std::string& name) {
    const auto local = zqtest::run({"date", "-u", "-d", "@" + std::to_string(t), "+%Y-%m-%d %H:%M:%S"});
    const auto r = zqtest::run({"faketime", "-f", local.output.substr(0, local.output.find('\n')),
                                STORE_SERVERCERT_HELPER, servers() + "/" + name},
                               {}, {"TZ=UTC", "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"});
    EXPECT_EQ(r.status, 0);
    return r.output.substr(0, r.output.find('\n'));
}

std::string der(const std::string& pemFile) {
    return zqtest::run({"openssl", "x509", "-in", pemFile, "-outform", "DER"}, {}, {"OPENSSL_CONF=/dev/null"}).output;
}

}  // namespace

// Both built-in CAs read (the older from its wrapped form) as the
// certificates the build was given.
TEST(ServerCert, BuiltInCAsRead) {
    if (!haveTestCAs()) GTEST_SKIP() << "built with the product's CA certificates";
    const auto& cas = zstore::pluginCAs();
    ASSERT_EQ(cas.size(), 2u);
    EXPECT_EQ(cas[0], der(std::string(ZQ_STORE_PLUGIN_CA_DIR) + "/current.crt.pem"));
    EXPECT_EQ(cas[1], der(std::string(ZQ_STORE_PLUGIN_CA_DIR) + "/older.crt.pem"));
}

TEST(ServerCert, IssuerSignatureAndValidity) {
    if (!haveTestCAs()) GTEST_SKIP() << "built with the product's CA certificates";
    EXPECT_EQ(check("current.der"), 0);
    EXPECT_EQ(check("older.der"), 0);
    EXPECT_EQ(check("otherkey.der"), VPL_ERR_SERVER_SIGNATURE);
    EXPECT_EQ(check("otherca.der"), VPL_ERR_SERVER_ISSUER);
    EXPECT_EQ(VPL_ServerCert_Verify_Validity(nullptr, 10), VPL_ERR_INVALID_PARAM);
    const std::string cert = zqtest::readFile(servers() + "/current.der");
    EXPECT_EQ(VPL_ServerCert_Verify_Validity(cert.data(), 0), VPL_ERR_INVALID_PARAM);
    EXPECT_EQ(VPL_ServerCert_Verify_Validity(cert.data(), 40), VPL_ERR_SERVER_ISSUER) << "bytes that do not decode";

    // An hour before notBefore and after notAfter; the instants, not the
    // host's zone, decide.
    std::istringstream times(zqtest::readFile(servers() + "/times.txt"));
    long long notBefore = 0, notAfter = 0;
    times >> notBefore >> notAfter;
    for (const char* name : {"current.der", "older.der"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(checkAt(notBefore - 3600, name), std::to_string(VPL_ERR_SERVER_NOT_YET));
        EXPECT_EQ(checkAt(notBefore + 3600, name), "0");
        EXPECT_EQ(checkAt(notAfter - 3600, name), "0");
        EXPECT_EQ(checkAt(notAfter + 3600, name), std::to_string(VPL_ERR_SERVER_EXPIRED));
    }
}

TEST(Password, Lengths) {
    const std::string s30(30, 'x'), s31(31, 'x');
    EXPECT_EQ(VPL_Check_MaxLength(s30.data(), 30, 0), 0);
    EXPECT_EQ(VPL_Check_MaxLength(s31.data(), 31, 0), -1);
    EXPECT_EQ(VPL_Check_MaxLength(s31.data(), 31, -4), -1);
    EXPECT_EQ(VPL_Check_MaxLength(s31.data(), 10, 10), 0);
    EXPECT_EQ(VPL_Check_MaxLength(s31.data(), 11, 10), -1);
    EXPECT_EQ(VPL_Check_MinLength(s31.data(), 7, 0), -1);
    EXPECT_EQ(VPL_Check_MinLength(s31.data(), 8, 0), 0);
    EXPECT_EQ(VPL_Check_MinLength(s31.data(), 9, 10), -1);
    EXPECT_EQ(VPL_Check_MaxLength(nullptr, 3, 0), VPL_ERR_INVALID_PARAM);
    EXPECT_EQ(VPL_Check_MinLength(nullptr, 3, 0), VPL_ERR_INVALID_PARAM);
}

TEST(Password, Runs) {
    // EUC-KR "가나다" and three ascending bytes above 0x7f.
    const std::string hangul = "\xb0\xa1\xb3\xaa\xb4\xd9";
    const std::string high = "\xb0\xb1\xb2\xb3";
    const struct Case {
        std::string text;
        int run;
        int continuous, repeated;
    } cases[] = {
        {"xabcx", 0, -1, 0},       {"acegi", 0, 0, 0},        {"zyx", 0, -1, 0},       {"a1b2c3", 0, 0, 0},
        {"pass321word", 3, -1, 0}, {"abcx", 4, 0, 0},         {"abcd", 4, -1, 0},      {"aaab", 3, 0, -1},
        {"abbb", 3, 0, -1},        {"password111", 3, 0, -1}, {"password11", 3, 0, 0}, {"aa", 3, 0, -1},
        {"a", 1, -1, -1},          {hangul, 3, 0, 0},         {high, 3, 0, 0},         {"\xb0\xb0\xb0\xb0", 3, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + " run " + std::to_string(c.run));
        EXPECT_EQ(VPL_Check_Continous_Letter(reinterpret_cast<const unsigned char*>(c.text.data()), len(c.text), c.run),
                  c.continuous);
        EXPECT_EQ(VPL_Check_Repeated_Letter(c.text.data(), len(c.text), c.run), c.repeated);
    }
    // Only the counted bytes are read.
    EXPECT_EQ(VPL_Check_Repeated_Letter("abccc", 4, 3), 0);
    EXPECT_EQ(VPL_Check_Continous_Letter(reinterpret_cast<const unsigned char*>("xxabc"), 4, 3), 0);
    EXPECT_EQ(VPL_Check_Continous_Letter(nullptr, 3, 3), VPL_ERR_INVALID_PARAM);
    EXPECT_EQ(VPL_Check_Continous_Letter(reinterpret_cast<const unsigned char*>("abc"), 0, 3), VPL_ERR_INVALID_PARAM);
    EXPECT_EQ(VPL_Check_Repeated_Letter(nullptr, 3, 3), VPL_ERR_INVALID_PARAM);
    EXPECT_EQ(VPL_Check_Repeated_Letter("aaa", -1, 3), VPL_ERR_INVALID_PARAM);
}
