// Path validation with CRLs against the CA certificates of a temporary
// home (the root under NPKI/yessign, the CA under PPKI/Veridan/VERIDAN CA),
// the CRLs served by slapd and python's http.server, judged beside openssl
// verify -crl_check given the same CAs and CRLs.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <zephaltpavix/zephaltpavix.h>
#include <zunCore/x509_cpv.h>

#include "NetServers.h"
#include "SignHelpers.h"

namespace {

using storetest::len;
using storetest::Out;

struct World {
    zqtest::TempDir dir{"storecrl"};
    nettest::Slapd slapd;
    std::unique_ptr<nettest::HttpServer> http;
    bool ok = false;

    World() {
        http = std::make_unique<nettest::HttpServer>(dir.path());
        if (!slapd.ok() || !http->ok()) return;
        const auto made = zqtest::run({zqtest::sourceDir() + "/tests/store/make_mgmt_crl.sh", dir.path(),
                                       std::to_string(slapd.port()), std::to_string(http->port())});
        if (made.status != 0) return;
        ok = slapd.add(
            "dn: cn=Mgmt Root,c=KR\nobjectClass: cRLDistributionPoint\ncn: Mgmt Root\n"
            "certificateRevocationList;binary:< file://" +
            dir / "root.crl" +
            "\n\n"
            "dn: cn=VERIDAN CA,c=KR\nobjectClass: cRLDistributionPoint\ncn: VERIDAN CA\n"
            "certificateRevocationList;binary:< file://" +
            dir / "ca.crl" + "\n");
    }
    std::string bytes(const std::string& name) const { return zqtest::readFile(dir / name); }
};

World& world() {
    static World w;
    return w;
}

// The CAs in the two stores of a temporary home.
void placeCAs(const signtest::Home& home) {
    zqtest::makeDirs(home.path() + "/NPKI/yessign");
    zqtest::makeDirs(home.path() + "/PPKI/Veridan/VERIDAN CA");
    zqtest::writeFile(home.path() + "/NPKI/yessign/root.der", world().bytes("root.der"));
    zqtest::writeFile(home.path() + "/PPKI/Veridan/VERIDAN CA/ca.der", world().bytes("ca.der"));
}

bool opensslAccepts(const std::string& target) {
    const World& w = world();
    zqtest::writeFile(w.dir / "cas.pem", w.bytes("root.pem") + w.bytes("ca.pem"));
    zqtest::writeFile(w.dir / "crls.pem", w.bytes("root.crl.pem") + w.bytes("ca.crl.pem"));
    return signtest::quietly({"openssl", "verify", "-crl_check", "-CAfile", w.dir / "cas.pem", "-CRLfile",
                              w.dir / "crls.pem", w.dir / (target + ".pem")},
                             {"OPENSSL_CONF=/dev/null"});
}

}  // namespace

TEST(Crl, AgreesWithOpensslVerify) {
    ASSERT_TRUE(world().ok);
    signtest::Home home;
    placeCAs(home);
    CertInfoList* list = VPL_InitList(nullptr);
    EXPECT_EQ(VPL_Get_All_CACert(list), 2);
    VPL_DeleteAllList(list);
    std::free(list);

    const struct Case {
        const char* target;
        int expected;
    } cases[] = {
        {"root", 0},      {"ca", 0},
        {"good", 0},      {"revoked", VCL_CPV_ERR_REVOKED},
        {"good_http", 0}, {"revoked_http", VCL_CPV_ERR_REVOKED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        const std::string cert = world().bytes(std::string(c.target) + ".der");
        EXPECT_EQ(VPL_Check_CRL(cert.data(), len(cert)), c.expected);
        EXPECT_EQ(opensslAccepts(c.target), c.expected == 0);
    }
}

// A stored certificate by its encoded path; codes of the path and of a
// home without CAs (the validation gets an empty list).
TEST(Crl, StoredCertificateAndCodes) {
    ASSERT_TRUE(world().ok);
    signtest::Home home;
    placeCAs(home);
    const std::string dir = home.path() + "/NPKI/yessign/USER/cn=revoked,o=yessign,c=KR";
    zqtest::makeDirs(dir);
    zqtest::writeFile(dir + "/signCert.der", world().bytes("revoked.der"));
    const std::string path = signtest::encoded(dir + "/signCert.der");
    EXPECT_EQ(VPL_CertPath_CRL(path.c_str(), len(path)), VCL_CPV_ERR_REVOKED);
    const std::string missing = signtest::encoded(dir + "/none.der");
    EXPECT_EQ(VPL_CertPath_CRL(missing.c_str(), len(missing)), VPL_ERR_READ_FILE);
    EXPECT_EQ(VPL_CertPath_CRL(nullptr, 0), VPL_ERR_PATH);
    EXPECT_EQ(VPL_CertPath_CRL(path.c_str(), len(path) - 2), VPL_ERR_PATH);
    EXPECT_EQ(VPL_Check_CRL(nullptr, 0), VPL_ERR_INVALID_PARAM);

    signtest::Home empty;
    const std::string good = world().bytes("good.der");
    EXPECT_EQ(VPL_Check_CRL(good.data(), len(good)), VCL_CPV_ERR_NO_ISSUER);
}
