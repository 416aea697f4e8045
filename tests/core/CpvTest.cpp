// Path validation with CRLs fetched from slapd and python's http.server,
// judged beside openssl verify -crl_check_all given the same CA list and the
// CRLs the distribution points name; times under faketime in two zones; a
// server that never answers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include <zunCore/x509_conv.h>
#include <zunCore/x509_cpv.h>

#include "CoreHelpers.h"
#include "NetServers.h"

namespace {

using coretest::rc;

// The servers and the fixtures of the whole suite, made once.
struct World {
    zqtest::TempDir dir{"cpv"};
    nettest::Slapd slapd;
    std::unique_ptr<nettest::HttpServer> http;
    nettest::StandIn silent{[](int, nettest::StandIn& self) {
        while (!self.stopping()) usleep(20000);
    }};
    bool ok = false;

    World() {
        http = std::make_unique<nettest::HttpServer>(dir.path());
        if (!slapd.ok() || !http->ok()) return;
        const auto made =
            zqtest::run({zqtest::sourceDir() + "/tests/core/make_cpv_fixtures.sh", dir.path(),
                         std::to_string(slapd.port()), std::to_string(http->port()), std::to_string(silent.port())});
        if (made.status != 0) return;
        ok = slapd.add(
            "dn: cn=CPV Root,c=KR\nobjectClass: cRLDistributionPoint\ncn: CPV Root\n"
            "certificateRevocationList;binary:< file://" +
            dir / "root.crl" +
            "\n\n"
            "dn: cn=CPV Inter,c=KR\nobjectClass: cRLDistributionPoint\ncn: CPV Inter\n"
            "certificateRevocationList;binary:< file://" +
            dir / "inter.crl" + "\n");
    }
    std::string pem(const std::string& name) const { return dir / (name + ".pem"); }
};

World& world() {
    static World w;
    return w;
}

int validate(const std::string& target, const std::vector<std::string>& cas, int flag = VCL_CPV_CHECK_CRL) {
    std::vector<std::string> bytes;
    for (const auto& ca : cas) bytes.push_back(zqtest::readFile(world().pem(ca)));
    std::vector<CERT_ITEM> items;
    for (auto& b : bytes) items.push_back({reinterpret_cast<unsigned char*>(b.data()), static_cast<int>(b.size())});
    const std::string cert = zqtest::readFile(world().pem(target));
    return VCL_CPV_Cert_Path_Validation(static_cast<int>(items.size()), items.data(), cert.data(),
                                        static_cast<int>(cert.size()), flag);
}

// openssl verify -crl_check_all with the list as -CAfile and the CRLs as
// -CRLfile.
bool opensslAccepts(const std::string& target, const std::vector<std::string>& cas,
                    const std::vector<std::string>& crls, const std::vector<std::string>& extra = {}) {
    const World& w = world();
    std::string caText, crlText;
    for (const auto& ca : cas) caText += zqtest::readFile(w.pem(ca));
    for (const auto& crl : crls) crlText += zqtest::readFile(w.dir / (crl + ".crl.pem"));
    const std::string caFile = w.dir / ("oracle-" + target + "-ca.pem");
    const std::string crlFile = w.dir / ("oracle-" + target + "-crl.pem");
    zqtest::writeFile(caFile, caText);
    zqtest::writeFile(crlFile, crlText);
    std::vector<std::string> argv{"openssl", "verify", "-crl_check_all", "-CAfile", caFile, "-CRLfile", crlFile};
    argv.insert(argv.end(), extra.begin(), extra.end());
    argv.push_back(w.pem(target));
    return zqtest::run(argv, {}, {"OPENSSL_CONF=/dev/null"}).status == 0;
}

// The helper's code for the target at instant t in zone tz.
std::string at(const char* tz, long long t, int flag, const std::string& target, const std::vector<std::string>& cas) {
    const auto local =
        zqtest::run({"date", "-d", "@" + std::to_string(t), "+%Y-%m-%d %H:%M:%S"}, {}, {std::string("TZ=") + tz});
    std::vector<std::string> argv{"faketime",
                                  "-f",
                                  local.output.substr(0, local.output.find('\n')),
                                  CORE_CPV_HELPER,
                                  std::to_string(flag),
                                  world().pem(target)};
    for (const auto& ca : cas) argv.push_back(world().pem(ca));
    const auto r =
        zqtest::run(argv, {}, {std::string("TZ=") + tz, "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"});
    EXPECT_EQ(r.status, 0);
    return r.output.substr(0, r.output.find('\n'));
}

long long epochOf(const std::string& file, const char* field) {
    const auto r = zqtest::run(
        {"openssl", file.ends_with(".crl.pem") ? "crl" : "x509", "-in", file, "-noout", std::string("-") + field}, {},
        {"OPENSSL_CONF=/dev/null"});
    const std::string when = r.output.substr(r.output.find('=') + 1);
    const auto d = zqtest::run({"date", "-u", "-d", when.substr(0, when.find('\n')), "+%s"});
    return std::stoll(d.output);
}

std::string hex(int code) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", static_cast<unsigned>(code));
    return buf;
}

}  // namespace

// The cases openssl judges too: the same verdict, and our code for it.
TEST(CpvPeer, AgreesWithOpenssl) {
    ASSERT_TRUE(world().ok);
    const std::vector<std::string> chain = {"root", "inter"};
    const struct Case {
        const char* name;
        const char* target;
        std::vector<std::string> cas, crls;
        int expected;
    } cases[] = {
        {"good, CRLs over LDAP", "leaf", chain, {"root", "inter"}, 0},
        {"revoked leaf", "leaf_revoked", chain, {"root", "inter"}, VCL_CPV_ERR_REVOKED},
        {"revoked intermediate", "leaf_inter2", {"root", "inter2"}, {"root", "inter2"}, VCL_CPV_ERR_REVOKED},
        {"HTTP-only distribution point", "leaf_http", chain, {"root", "inter"}, 0},
        {"revoked over HTTP", "leaf_http_revoked", chain, {"root", "inter"}, VCL_CPV_ERR_REVOKED},
        {"an http URI with ldap in its path", "leaf_ldap_path", chain, {"root", "inter"}, VCL_CPV_ERR_REVOKED},
        {"CRL under a foreign key", "leaf_fk", {"root", "fk"}, {"root", "fk"}, VCL_CPV_ERR_CRL_BAD},
        {"CRL of a foreign issuer", "leaf_foreign_issuer", chain, {"root"}, VCL_CPV_ERR_CRL_BAD},
        {"CRL signer without cRLSign",
         "leaf_nocrlsign",
         {"root", "nocrlsign"},
         {"root", "nocrlsign"},
         VCL_CPV_ERR_CRL_BAD},
        {"unknown critical CRL extension",
         "leaf_crit",
         {"root", "crit"},
         {"root", "crit"},
         VCL_CPV_ERR_CRL_UNSUPPORTED},
        {"CRL for some reasons only", "leaf_idp", {"root", "idp"}, {"root", "idp"}, VCL_CPV_ERR_CRL_UNSUPPORTED},
        {"self-signed target not listed", "selfsigned", chain, {"root"}, VCL_CPV_ERR_NO_ISSUER},
        {"issuer with cA FALSE", "leaf_notca", {"root", "notca"}, {"root"}, VCL_CPV_ERR_NO_ISSUER},
        {"issuer without extensions", "leaf_noext", {"root", "noext"}, {"root"}, VCL_CPV_ERR_NO_ISSUER},
        {"version 1 issuer", "leaf_v1", {"root", "v1"}, {"root"}, VCL_CPV_ERR_NO_ISSUER},
        {"pathLenConstraint 0 above another CA", "leaf_sub", {"root", "pl0", "sub"}, {"root"}, VCL_CPV_ERR_NO_ISSUER},
        {"same-named CA under another key listed first", "leaf", {"old", "root", "inter"}, {"root", "inter"}, 0},
        {"only the same-named CA under another key", "leaf", {"old", "root"}, {"root", "inter"}, VCL_CPV_ERR_SIGNATURE},
        {"root missing", "leaf", {"inter"}, {"root", "inter"}, VCL_CPV_ERR_NO_ISSUER},
        {"CAs that issue each other", "leaf_loop", {"loop_a", "loop_b"}, {}, VCL_CPV_ERR_NO_ISSUER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(rc(validate(c.target, c.cas)), rc(c.expected));
        EXPECT_EQ(opensslAccepts(c.target, c.cas, c.crls), c.expected == 0);
    }
}

// A CRL past its nextUpdate, two days on: faketime for us, -attime for
// openssl.
TEST(CpvPeer, StaleCrl) {
    ASSERT_TRUE(world().ok);
    const long long later = std::time(nullptr) + 2 * 86400;
    EXPECT_EQ(at("UTC", later, 1, "leaf", {"root", "inter"}), hex(VCL_CPV_ERR_CRL_STALE));
    EXPECT_EQ(at("UTC", later, 0, "leaf", {"root", "inter"}), "0");
    EXPECT_FALSE(opensslAccepts("leaf", {"root", "inter"}, {"root", "inter"}, {"-attime", std::to_string(later)}));
    EXPECT_TRUE(opensslAccepts("leaf", {"root", "inter"}, {"root", "inter"},
                               {"-attime", std::to_string(std::time(nullptr) + 3600)}));
}

// Times are instants: Seoul and UTC agree an hour either side of the CRLs'
// nextUpdate and of a certificate's notAfter.
TEST(CpvPeer, ZonesAgreeAroundNextUpdateAndNotAfter) {
    ASSERT_TRUE(world().ok);
    const World& w = world();
    const long long nextUpdate =
        std::min(epochOf(w.dir / "root.crl.pem", "nextupdate"), epochOf(w.dir / "inter.crl.pem", "nextupdate"));
    const long long notAfter = epochOf(w.pem("leaf_short"), "enddate");
    for (const char* tz : {"UTC", "Asia/Seoul"}) {
        SCOPED_TRACE(tz);
        EXPECT_EQ(at(tz, nextUpdate - 3600, 1, "leaf", {"root", "inter"}), "0");
        EXPECT_EQ(at(tz, nextUpdate + 3600, 1, "leaf", {"root", "inter"}), hex(VCL_CPV_ERR_CRL_STALE));
        EXPECT_EQ(at(tz, notAfter - 3600, 0, "leaf_short", {"root", "inter"}), "0");
        EXPECT_EQ(at(tz, notAfter + 3600, 0, "leaf_short", {"root", "inter"}), hex(VCL_CPV_ERR_VALIDITY));
    }
}

// A distribution point whose server accepts and never answers: a code within
// the fetch time-out and 5 s, over LDAP and over HTTP.
TEST(CpvNet, SilentServerEndsInTime) {
    ASSERT_TRUE(world().ok);
    for (const char* target : {"leaf_silent_ldap", "leaf_silent_http"}) {
        SCOPED_TRACE(target);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(rc(validate(target, {"root", "inter"})), rc(VCL_CPV_ERR_CRL_NOT_FOUND));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10 + 5));
    }
}

// Our own rules where openssl has no say: which distribution points are
// fetched, the list's anchors, the flag, arguments.
TEST(CpvRules, DistributionPointsAnchorsAndArguments) {
    ASSERT_TRUE(world().ok);
    const std::vector<std::string> chain = {"root", "inter"};
    EXPECT_EQ(validate("leaf_fallback", chain), 0);  // an unreachable point, then a working one
    EXPECT_EQ(rc(validate("leaf_https", chain)), rc(VCL_CPV_ERR_CRL_PATH));
    EXPECT_EQ(rc(validate("leaf_404", chain)), rc(VCL_CPV_ERR_CRL_NOT_FOUND));
    EXPECT_EQ(rc(validate("leaf_delta", {"root", "delta"})), rc(VCL_CPV_ERR_CRL_UNSUPPORTED));
    EXPECT_EQ(validate("leaf_nocdp", chain), 0);
    EXPECT_EQ(validate("leaf_revoked", chain, 0), 0);  // no CRL without the flag
    EXPECT_EQ(validate("selfsigned", {"root", "selfsigned"}), 0);
    EXPECT_EQ(rc(validate("root", {})), rc(VCL_CPV_ERR_NO_ISSUER));
    EXPECT_EQ(validate("root", {"root"}), 0);

    const std::string leaf = zqtest::readFile(world().pem("leaf_revoked"));
    const std::string inter = zqtest::readFile(world().pem("inter"));
    const int leafLen = static_cast<int>(leaf.size()), interLen = static_cast<int>(inter.size());
    EXPECT_EQ(rc(VCL_CPV_Check_CRL(leaf.data(), leafLen, inter.data(), interLen)), rc(VCL_CPV_ERR_REVOKED));
    EXPECT_EQ(rc(VCL_CPV_Check_CRL(leaf.data(), leafLen, nullptr, 0)), rc(VCL_CPV_ERR_CRL_NO_ISSUER));
    EXPECT_EQ(rc(VCL_CPV_Check_CRL(nullptr, 0, inter.data(), interLen)), rc(VCL_CPV_ERR_CRL_NO_ISSUER));
    EXPECT_EQ(rc(VCL_CPV_check_crl(nullptr, nullptr)), rc(VCL_CPV_ERR_CRL_NULL));
    // Without the issuer's key no CRL is taken.
    X509_CERT* decoded = nullptr;
    ASSERT_EQ(VCL_X509_conv_cert2x509(leaf.data(), leafLen, &decoded), 0);
    EXPECT_EQ(rc(VCL_CPV_check_crl(decoded, nullptr)), rc(VCL_CPV_ERR_CRL_NO_ISSUER));
    free_X509_CERT(decoded);
    EXPECT_EQ(rc(VCL_CPV_verify_cert(nullptr, nullptr, 0)), rc(VCL_CPV_ERR_CERT_NULL));
    EXPECT_EQ(rc(VCL_CPV_verify_cert_path(nullptr, nullptr, 0)), rc(VCL_CPV_ERR_PATH_NULL));
    EXPECT_EQ(rc(VCL_CPV_Cert_Path_Validation(0, nullptr, nullptr, 0, 1)), rc(VCL_CPV_ERR_NO_TARGET));
    EXPECT_EQ(rc(VCL_CPV_Cert_Path_Validation(1, nullptr, leaf.data(), leafLen, 1)), rc(VCL_CPV_ERR_LIST_NULL));
    // A CA that does not decode: the decoder's code, nothing validated.
    unsigned char junk[] = {0x30, 0x03, 0x02, 0x01, 0x01};
    const CERT_ITEM bad[] = {{junk, sizeof junk}};
    const int decode = VCL_CPV_Cert_Path_Validation(1, bad, leaf.data(), leafLen, 1);
    EXPECT_NE(decode, 0);
    EXPECT_NE(rc(decode) >> 16, 0xaa01u);
}
