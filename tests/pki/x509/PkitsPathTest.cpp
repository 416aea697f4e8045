// NIST's PKITS through build_certPath and validate_certpath: the anchor
// TrustAnchorRootCertificate, every CA certificate of the suite as a
// candidate, paths of up to ten certificates. The expected verdicts of the
// sections without revocation, policy mapping and name constraints, and
// openssl verify as the oracle under the same settings.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "PathTestUtil.h"

using namespace x509test;

namespace {

const std::string kCerts = std::string(kVectorsDir) + "/PKITS_data/certs/";
constexpr const char* kAnyPolicy = "2.5.29.32.0";
constexpr const char* kTestPolicy1 = "2.16.840.1.101.3.2.1.48.1";
constexpr const char* kTestPolicy2 = "2.16.840.1.101.3.2.1.48.2";

// The end-entity certificate of each case (4.8.1 is 4.1.1's).
const std::vector<std::pair<std::string, std::string>> kCases = {
    {"4.1.1", "ValidCertificatePathTest1EE"},
    {"4.1.2", "InvalidCASignatureTest2EE"},
    {"4.1.3", "InvalidEESignatureTest3EE"},
    {"4.1.6", "InvalidDSASignatureTest6EE"},
    {"4.2.1", "InvalidCAnotBeforeDateTest1EE"},
    {"4.2.2", "InvalidEEnotBeforeDateTest2EE"},
    {"4.2.3", "Validpre2000UTCnotBeforeDateTest3EE"},
    {"4.2.4", "ValidGeneralizedTimenotBeforeDateTest4EE"},
    {"4.2.5", "InvalidCAnotAfterDateTest5EE"},
    {"4.2.6", "InvalidEEnotAfterDateTest6EE"},
    {"4.2.7", "Invalidpre2000UTCEEnotAfterDateTest7EE"},
    {"4.2.8", "ValidGeneralizedTimenotAfterDateTest8EE"},
    {"4.3.1", "InvalidNameChainingTest1EE"},
    {"4.3.2", "InvalidNameChainingOrderTest2EE"},
    {"4.3.3", "ValidNameChainingWhitespaceTest3EE"},
    {"4.3.4", "ValidNameChainingWhitespaceTest4EE"},
    {"4.3.5", "ValidNameChainingCapitalizationTest5EE"},
    {"4.3.6", "ValidNameUIDsTest6EE"},
    {"4.3.7", "ValidRFC3280MandatoryAttributeTypesTest7EE"},
    {"4.3.8", "ValidRFC3280OptionalAttributeTypesTest8EE"},
    {"4.3.9", "ValidUTF8StringEncodedNamesTest9EE"},
    {"4.3.10", "ValidRolloverfromPrintableStringtoUTF8StringTest10EE"},
    {"4.3.11", "ValidUTF8StringCaseInsensitiveMatchTest11EE"},
    {"4.5.1", "ValidBasicSelfIssuedOldWithNewTest1EE"},
    {"4.5.3", "ValidBasicSelfIssuedNewWithOldTest3EE"},
    {"4.5.4", "ValidBasicSelfIssuedNewWithOldTest4EE"},
    {"4.5.6", "ValidBasicSelfIssuedCRLSigningKeyTest6EE"},
    {"4.5.8", "InvalidBasicSelfIssuedCRLSigningKeyTest8EE"},
    {"4.6.1", "InvalidMissingbasicConstraintsTest1EE"},
    {"4.6.2", "InvalidcAFalseTest2EE"},
    {"4.6.3", "InvalidcAFalseTest3EE"},
    {"4.6.4", "ValidbasicConstraintsNotCriticalTest4EE"},
    {"4.6.5", "InvalidpathLenConstraintTest5EE"},
    {"4.6.6", "InvalidpathLenConstraintTest6EE"},
    {"4.6.7", "ValidpathLenConstraintTest7EE"},
    {"4.6.8", "ValidpathLenConstraintTest8EE"},
    {"4.6.9", "InvalidpathLenConstraintTest9EE"},
    {"4.6.10", "InvalidpathLenConstraintTest10EE"},
    {"4.6.11", "InvalidpathLenConstraintTest11EE"},
    {"4.6.12", "InvalidpathLenConstraintTest12EE"},
    {"4.6.13", "ValidpathLenConstraintTest13EE"},
    {"4.6.14", "ValidpathLenConstraintTest14EE"},
    {"4.6.15", "ValidSelfIssuedpathLenConstraintTest15EE"},
    {"4.6.16", "InvalidSelfIssuedpathLenConstraintTest16EE"},
    {"4.6.17", "ValidSelfIssuedpathLenConstraintTest17EE"},
    {"4.7.1", "InvalidkeyUsageCriticalkeyCertSignFalseTest1EE"},
    {"4.7.2", "InvalidkeyUsageNotCriticalkeyCertSignFalseTest2EE"},
    {"4.7.3", "ValidkeyUsageNotCriticalTest3EE"},
    {"4.8.2", "AllCertificatesNoPoliciesTest2EE"},
    {"4.8.3", "DifferentPoliciesTest3EE"},
    {"4.8.4", "DifferentPoliciesTest4EE"},
    {"4.8.5", "DifferentPoliciesTest5EE"},
    {"4.8.6", "OverlappingPoliciesTest6EE"},
    {"4.8.7", "DifferentPoliciesTest7EE"},
    {"4.8.8", "DifferentPoliciesTest8EE"},
    {"4.8.9", "DifferentPoliciesTest9EE"},
    {"4.8.10", "AllCertificatesSamePoliciesTest10EE"},
    {"4.8.11", "AllCertificatesanyPolicyTest11EE"},
    {"4.8.12", "DifferentPoliciesTest12EE"},
    {"4.8.13", "AllCertificatesSamePoliciesTest13EE"},
    {"4.8.14", "AnyPolicyTest14EE"},
    {"4.8.15", "UserNoticeQualifierTest15EE"},
    {"4.8.16", "UserNoticeQualifierTest16EE"},
    {"4.8.17", "UserNoticeQualifierTest17EE"},
    {"4.8.18", "UserNoticeQualifierTest18EE"},
    {"4.8.19", "UserNoticeQualifierTest19EE"},
    {"4.8.20", "CPSPointerQualifierTest20EE"},
    {"4.9.1", "ValidrequireExplicitPolicyTest1EE"},
    {"4.9.2", "ValidrequireExplicitPolicyTest2EE"},
    {"4.9.3", "InvalidrequireExplicitPolicyTest3EE"},
    {"4.9.4", "ValidrequireExplicitPolicyTest4EE"},
    {"4.9.5", "InvalidrequireExplicitPolicyTest5EE"},
    {"4.9.6", "ValidSelfIssuedrequireExplicitPolicyTest6EE"},
    {"4.9.7", "InvalidSelfIssuedrequireExplicitPolicyTest7EE"},
    {"4.9.8", "InvalidSelfIssuedrequireExplicitPolicyTest8EE"},
    {"4.12.1", "InvalidinhibitAnyPolicyTest1EE"},
    {"4.12.2", "ValidinhibitAnyPolicyTest2EE"},
    {"4.12.3", "inhibitAnyPolicyTest3EE"},
    {"4.12.4", "InvalidinhibitAnyPolicyTest4EE"},
    {"4.12.5", "InvalidinhibitAnyPolicyTest5EE"},
    {"4.12.6", "InvalidinhibitAnyPolicyTest6EE"},
    {"4.12.7", "ValidSelfIssuedinhibitAnyPolicyTest7EE"},
    {"4.12.8", "InvalidSelfIssuedinhibitAnyPolicyTest8EE"},
    {"4.12.9", "ValidSelfIssuedinhibitAnyPolicyTest9EE"},
    {"4.12.10", "InvalidSelfIssuedinhibitAnyPolicyTest10EE"},
    {"4.16.1", "ValidUnknownNotCriticalCertificateExtensionTest1EE"},
    {"4.16.2", "InvalidUnknownCriticalCertificateExtensionTest2EE"},
};

// The verdict PKITS gives under the default settings (initial explicit
// policy off, anyPolicy acceptable, anyPolicy not inhibited).
bool expectedValid(const std::string& file) {
    if (file.rfind("Valid", 0) == 0) return true;
    if (file.rfind("Invalid", 0) == 0) return false;
    for (const char* invalid : {"DifferentPoliciesTest4EE", "DifferentPoliciesTest5EE", "DifferentPoliciesTest7EE",
                                "DifferentPoliciesTest8EE", "DifferentPoliciesTest9EE", "DifferentPoliciesTest12EE"})
        if (file == invalid) return false;
    return true;
}

// The suite loaded once: the anchor, every CA certificate (the anchor's
// too) as candidates, and the PEM files openssl reads.
struct Suite {
    Cert anchorCert;
    Anchors anchors;
    Certs candidates;
    zqtest::TempDir dir{"pkits"};
    std::string anchorPem, candidatesPem;
};

const Suite& suite() {
    static Suite* s = [] {
        auto* made = new Suite;
        made->anchorCert = vectorCert("PKITS_data/certs/TrustAnchorRootCertificate.crt");
        made->anchors = anchorsOf({made->anchorCert.get()});
        made->candidates.reset(new_X509_CERTIFICATES());
        std::vector<std::string> files;
        for (const auto& e : std::filesystem::directory_iterator(kCerts)) {
            const std::string name = e.path().filename().string();
            if (name.size() > 6 && name.compare(name.size() - 6, 6, "EE.crt") == 0) continue;
            if (name.rfind("DSA", 0) == 0) continue;  // DSA keys are not read
            files.push_back(name);
        }
        std::sort(files.begin(), files.end());
        for (const auto& f : files) {
            Cert c = vectorCert("PKITS_data/certs/" + f);
            EXPECT_EQ(add_X509_CERTIFICATES(made->candidates.get(), c.get()), 0) << f;
        }
        made->anchorPem = made->dir / "ta.pem";
        made->candidatesPem = made->dir / "cas.pem";
        const char* toPem = R"(
import os, ssl, sys
d, out, ta, cas = sys.argv[1:5]
with open(ta, 'w') as f:
    f.write(ssl.DER_cert_to_PEM_cert(open(os.path.join(d, 'TrustAnchorRootCertificate.crt'), 'rb').read()))
with open(cas, 'w') as f:
    for name in sorted(os.listdir(d)):
        if not name.endswith('EE.crt') and name != 'TrustAnchorRootCertificate.crt':
            f.write(ssl.DER_cert_to_PEM_cert(open(os.path.join(d, name), 'rb').read()))
)";
        EXPECT_EQ(
            zqtest::run({zqtest::kPython, "-c", toPem, kCerts, made->dir.path(), made->anchorPem, made->candidatesPem})
                .status,
            0);
        return made;
    }();
    return *s;
}

// One set of settings, as our validation and openssl verify take them.
struct Settings {
    const char* name;
    int explicitPolicy;
    int inhibitAny;
    std::vector<std::string> userSet;
};

std::vector<std::string> opensslOptions(const Settings& s) {
    std::vector<std::string> o{"-policy_check"};
    for (const auto& p : s.userSet) o.insert(o.end(), {"-policy", p});
    if (s.explicitPolicy) o.push_back("-explicit_policy");
    if (s.inhibitAny) o.push_back("-inhibit_any");
    o.insert(o.end(), {"-CAfile", suite().anchorPem, "-untrusted", suite().candidatesPem});
    return o;
}

PathResult ours(const std::string& file, const Settings& s) {
    PathSettings keep(10, s.explicitPolicy, s.inhibitAny);
    // DSA certificates do not decode: they are refused as not read.
    Cert leaf = decodeCert(pkitest::readBytes(kCerts + file + ".crt"));
    if (!leaf) return {};
    Oids userSet = oidList(s.userSet);
    return buildAndValidate(suite().candidates.get(), suite().anchors.get(), leaf.get(), userSet.get());
}

std::string hexCode(PKI_ERROR rc) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(rc));
    return text;
}

// openssl verify's verdict on every case under s.
std::vector<bool> oracle(const Settings& s) {
    std::vector<std::string> argv{zqtest::kPython, zqtest::sourceDir() + "/tests/pki/x509/verify_oracle.py"};
    for (const auto& c : kCases) argv.push_back(kCerts + c.second + ".crt");
    argv.push_back("--");
    for (const auto& o : opensslOptions(s)) argv.push_back(o);
    const auto r = zqtest::run(argv);
    EXPECT_EQ(r.status, 0);
    std::vector<bool> verdicts;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) verdicts.push_back(line == "0");
    EXPECT_EQ(verdicts.size(), kCases.size());
    verdicts.resize(kCases.size());
    return verdicts;
}

// Every case under s: our verdict against openssl's (and, for the default
// settings, PKITS'). Prints a line of figures for the record.
void runSettings(const Settings& s, bool againstPkits) {
    int agreeOracle = 0, agreePkits = 0, valid = 0;
    const std::vector<bool> verdicts = oracle(s);
    for (size_t k = 0; k < kCases.size(); ++k) {
        const auto& [number, file] = kCases[k];
        const PathResult r = ours(file, s);
        const bool oracle = verdicts[k];
        EXPECT_EQ(r.ok(), oracle) << s.name << " " << number << " " << file << " built " << hexCode(r.built)
                                  << " validated " << hexCode(r.validated);
        agreeOracle += r.ok() == oracle;
        valid += r.ok();
        if (againstPkits) {
            EXPECT_EQ(r.ok(), expectedValid(file)) << number << " " << file;
            agreePkits += r.ok() == expectedValid(file);
        }
    }
    std::printf("[pkits] %-22s cases %zu valid %d agree-openssl %d", s.name, kCases.size(), valid, agreeOracle);
    if (againstPkits) std::printf(" agree-pkits %d", agreePkits);
    std::printf("\n");
}

TEST(Pkits, DefaultSettingsMatchTheSuiteAndOpenssl) {
    ASSERT_EQ(kCases.size(), 87u);
    runSettings({"default", 0, 0, {kAnyPolicy}}, true);
}

TEST(Pkits, OtherSettingsMatchOpenssl) {
    for (const Settings& s :
         {Settings{"explicit-policy", 255, 0, {kAnyPolicy}}, Settings{"user-policy-1", 0, 0, {kTestPolicy1}},
          Settings{"user-policy-1-2", 0, 0, {kTestPolicy1, kTestPolicy2}},
          Settings{"explicit-user-policy-2", 255, 0, {kTestPolicy2}}, Settings{"inhibit-any", 0, 255, {kAnyPolicy}}})
        runSettings(s, false);
}

// Paths carrying policy mappings or name constraints are refused, so every
// Invalid case of those sections fails.
TEST(Pkits, InvalidMappingAndNameConstraintCasesFail) {
    int count = 0;
    for (const auto& e : std::filesystem::directory_iterator(kCerts)) {
        const std::string file = e.path().stem().string();
        if (file.rfind("Invalid", 0) != 0) continue;
        const bool mapping = file.find("PolicyMapping") != std::string::npos ||
                             file.find("MappingFromanyPolicy") != std::string::npos ||
                             file.find("MappingToanyPolicy") != std::string::npos ||
                             file.find("inhibitPolicyMapping") != std::string::npos;
        const bool names = file.find("nameConstraints") != std::string::npos;
        if (!mapping && !names) continue;
        ++count;
        const PathResult r = ours(file, {"default", 0, 0, {kAnyPolicy}});
        EXPECT_FALSE(r.ok()) << file;
    }
    EXPECT_EQ(count, 35);
}

}  // namespace
