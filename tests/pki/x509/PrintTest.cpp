// The extension print of a certificate carrying every extension kind it
// knows (made by openssl), of records built here, and of none.
#include <gtest/gtest.h>

#include "BodyTestUtil.h"

using namespace x509test;

namespace {

using Cert = Own<X509_CERT, free_X509_CERT>;

std::string printed(const X509_CERT* cert, int* count) {
    testing::internal::CaptureStdout();
    *count = print_X509_Extension(cert);
    return testing::internal::GetCapturedStdout();
}

TEST(ExtensionPrint, EveryKnownKind) {
    ASSERT_FALSE(extFixtures().empty());
    PKI_ERROR rc;
    Cert cert = decodeWith<Cert>(Seq_to_X509_CERT, extFixture("all.der"), &rc);
    ASSERT_EQ(rc, 0);
    int count = 0;
    EXPECT_EQ(printed(cert.get(), &count),
              "\n - Extension (0) : 2.5.29.14 / X509v3 Subject Key Identifier\n"
              "  * SKey Id (VSC_SHA1 Hash Value) : 01:02:03:04\n"
              "\n - Extension (1) : 2.5.29.35 / X509v3 Authority Key Identifier\n"
              "  * Key Id : 0A:0B:0C:0D\n"
              "  * Serial : 99\n"
              "      * Test CA\n"
              "\n - Extension (2) : 2.5.29.15 / X509v3 Key Usage\n"
              "  * key_usage : 84\n"
              "\n - Extension (3) : 2.5.29.17 / X509v3 Subject Alternative Name\n"
              "  * OID = 1.2.410.200004.10.1.1 \n"
              "\n - Extension (4) : 2.5.29.19 / X509v3 Basic Constraints\n"
              "  * BasicConstraints, CA = ff\n"
              "  * BasicConstraints, pathLenConstraint\n"
              "03\n"
              "\n - Extension (5) : 2.5.29.32 / X509v3 Certificate Policies\n"
              "  * Policy Mapping, issuerDomainPolicy\n"
              "1.2.410.200004.5.2.1.2=\n"
              "  * Policy Mapping, issuerDomainPolicy\n"
              "1.2.3.4=\n"
              "\n - Extension (6) : 2.5.29.31 / X509v3 CRL Distribution Points\n"
              "  * DISTPOINT URI : http://crl.example/a.crl\n"
              "  * Reason Flags\n"
              "60\n"
              "  * CRLissuer->URI\n"
              "http://issuer.example/\n"
              "\n - Extension (7) : 1.3.6.1.5.5.7.1.1 / Authority Information Access\n"
              "  * OID = 1.3.6.1.5.5.7.48.1 / OCSP\n"
              "  * AuthorityInfoAccess uri : http://ocsp.example/\n"
              "  * OID = 1.3.6.1.5.5.7.48.2 / CA Issuers\n"
              "  * AuthorityInfoAccess uri : http://ca.example/ca.der\n"
              "\n - Extension (8) : 2.5.29.36 / X509v3 Policy Constraints\n"
              "  * PolicyConstraints : \n"
              "    PolicyConstraints->requireExplicitPolicy\n"
              "00\n"
              "    PolicyConstraints->inhibitPolicyMapping\n"
              "05\n"
              "\n - Extension (9) : 2.5.29.30 / X509v3 Name Constraints\n"
              "  * NameConstraints : \n"
              "    NameConstraints->permittedSubtrees\n"
              "  * permittedSubtrees->DNS\n"
              "example.com\n"
              "\n - Extension (10) : 2.5.29.33 / X509v3 Policy Mappings\n"
              "  * Policy Mapping, issuerDomainPolicy\n"
              "UNDEF=\n"
              "\n - Extension (11) : 2.5.29.28 / X509v3 Issuing Distrubution Point\n"
              "  * IssuingDistrubutionPoint : \n"
              "\n - Extension (12) : 1.2.3.99.1 / undefined\n");
    EXPECT_EQ(count, 13);
}

TEST(ExtensionPrint, RecordsBuiltHereAndNone) {
    Cert cert(new_X509_CERT());
    int count = -1;
    EXPECT_EQ(printed(cert.get(), &count), "");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(printed(nullptr, &count), "");
    EXPECT_EQ(count, 0);

    // A relative distribution-point name, policy constraints without data, a
    // body that does not decode.
    const struct {
        int row;
        const char* body;
    } exts[] = {{103, "3011300fa00da10b300906035504030c027878"}, {401, "3000"}, {87, "0400"}};
    for (const auto& e : exts) {
        pkitest::String value(octets(fromHex(e.body)));
        Extension ext(create_X509_EXTENSION_by_OID_index(nullptr, e.row, 0, value.get()));
        ASSERT_EQ(add_X509_EXTENSION(&cert->tbs->extensions, ext.get(), -1), 0);
    }
    EXPECT_EQ(printed(cert.get(), &count),
              "\n - Extension (0) : 2.5.29.31 / X509v3 CRL Distribution Points\n"
              "  * DISTPOINT->relativename\n"
              "  * xx\n"
              "\n - Extension (1) : 2.5.29.36 / X509v3 Policy Constraints\n"
              "  * PolicyConstraints : \n"
              "    PolicyConstraints has no data\n"
              "\n - Extension (2) : 2.5.29.19 / X509v3 Basic Constraints\n");
    EXPECT_EQ(count, 3);
}

}  // namespace
