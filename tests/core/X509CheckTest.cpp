// Certificate and CRL checks: validity with and without record and through
// VCL_X509_Verify under faketime in three host zones, beside openssl verify
// -attime; the renewal window; signatures and issuer names beside openssl
// verify; identity data against libzunPKI's fixtures; CRLs of openssl ca
// -gencrl, python3-cryptography and scripts/make-large-crl against openssl
// crl -text.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include <zunPKI/x509/x509_name.h>

#include "X509Helpers.h"

using namespace x509test;
using coretest::Buf;

namespace {

constexpr long long kNotBefore = 1577836800;  // 2020-01-01 00:00:00Z, window.der
constexpr long long kNotAfter = 1893456000;   // 2030-01-01 00:00:00Z
constexpr int kDay = 86400;

std::string localText(const char* tz, long long t) {
    const auto r =
        zqtest::run({"date", "-d", "@" + std::to_string(t), "+%Y-%m-%d %H:%M:%S"}, {}, {std::string("TZ=") + tz});
    EXPECT_EQ(r.status, 0);
    return r.output.substr(0, r.output.find('\n'));
}

// The helper's line at instant t in zone tz (faketime reads its time in the
// process's zone, so it is given the local text of t).
std::string at(const char* tz, long long t, const std::vector<std::string>& args) {
    std::vector<std::string> argv{"faketime", "-f", localText(tz, t), CORE_X509_HELPER};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto r =
        zqtest::run(argv, {}, {std::string("TZ=") + tz, "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"});
    EXPECT_EQ(r.status, 0);
    return r.output.substr(0, r.output.find('\n'));
}

bool opensslAccepts(long long t, const std::string& certPem) {
    return zqtest::run({"openssl", "verify", "-attime", std::to_string(t), "-CAfile", fixtures() + "/ca.pem", certPem},
                       {}, {"OPENSSL_CONF=/dev/null"})
               .status == 0;
}

// The three validity paths agree at both bounds in every zone (both bounds
// belong to the validity, as RFC 5280 says), and with openssl verify -attime
// one second off the bounds (openssl counts notAfter itself as expired).
TEST(X509Check, ValidityAtTheBoundsInEveryZone) {
    ASSERT_FALSE(fixtures().empty());
    const std::string cert = fixtures() + "/window.der";
    const std::string pem = fixtures() + "/window.pem";
    zqtest::writeFile(pem, pemOf(fixture("window.der")));
    const struct {
        long long t;
        const char* line;  // record, no record, VCL_X509_Verify, renewal with 30 days
        bool valid;
    } points[] = {
        {kNotBefore - 1, "80000001 80000001 80000001 80000001", false},
        {kNotBefore, "0 0 0 0", true},
        {kNotAfter, "0 0 0 1", true},
        {kNotAfter + 1, "80000002 80000002 80000002 80000002", false},
        {kNotAfter - 29 * kDay, "0 0 0 1", true},
        {kNotAfter - 31 * kDay, "0 0 0 0", true},
    };
    for (const auto& p : points) {
        if (p.t != kNotAfter) EXPECT_EQ(opensslAccepts(p.t, pem), p.valid) << p.t;
        for (const char* tz : kZones)
            EXPECT_EQ(at(tz, p.t, {"validity", cert, std::to_string(VCL_X509_RENEWAL_MARGIN)}), p.line)
                << tz << " " << p.t;
    }
}

TEST(X509Check, ValidityNowAndTheNetworkOffset) {
    const std::string window = fixture("window.der");
    const std::string late = fixture("certs/py-2055.der");  // notAfter 2055-12-31, a GeneralizedTime
    Info lateInfo = record(late);
    ASSERT_TRUE(lateInfo);
    EXPECT_EQ(VCL_X509_Verify_Validity(late.data(), static_cast<int>(late.size()), nullptr), 0);
    EXPECT_EQ(VCL_X509_Verify_Validity(nullptr, 0, lateInfo.get()), 0);
    EXPECT_EQ(VCL_X509_Check_Update(lateInfo.get(), VCL_X509_RENEWAL_MARGIN), 0);
    // The network offset moves now for every path.
    Info info = record(window);
    ASSERT_TRUE(info);
    const int len = static_cast<int>(window.size());
    EXPECT_EQ(VCL_X509_Verify_Validity(window.data(), len, nullptr), 0);
    {
        NtpGap gap(static_cast<int>(kNotAfter - std::time(nullptr) + 60));
        EXPECT_EQ(VCL_X509_Verify_Validity(window.data(), len, nullptr), VCL_X509_EXPIRED);
        EXPECT_EQ(VCL_X509_Verify_Validity(nullptr, 0, info.get()), VCL_X509_EXPIRED);
        EXPECT_EQ(VCL_X509_Verify(window.data(), len, nullptr, 0, VCL_X509_CHECK_VALIDITY), VCL_X509_EXPIRED);
        EXPECT_EQ(VCL_X509_Check_Update(info.get(), 0), VCL_X509_EXPIRED);
    }
    {
        NtpGap gap(static_cast<int>(kNotAfter - std::time(nullptr) - 10 * kDay));
        EXPECT_EQ(VCL_X509_Check_Update(info.get(), VCL_X509_RENEWAL_MARGIN), 1);
    }
    // Texts that do not read, and nothing to check.
    X509_Info* raw = nullptr;
    ASSERT_EQ(VCL_X509_new_x509_info(&raw, '|'), 0);
    Info bad(raw);
    EXPECT_EQ(rc(VCL_X509_Verify_Validity(nullptr, 0, bad.get())), 0xa9180003u);
    EXPECT_EQ(rc(VCL_X509_Check_Update(bad.get(), 0)), 0xa9180003u);
    bad->validityFrom = strdup("2020010100000");
    bad->validityTo = strdup("20300101000000");
    EXPECT_EQ(rc(VCL_X509_Verify_Validity(nullptr, 0, bad.get())), 0xa9180003u);
    EXPECT_EQ(rc(VCL_X509_Verify_Validity(nullptr, 0, nullptr)), 0xa9180002u);
    EXPECT_EQ(rc(VCL_X509_Check_Update(nullptr, 0)), 0xa9180002u);
    EXPECT_EQ(rc(VCL_X509_Verify_Validity("x", 0, nullptr)), 0xa9510002u);
}

TEST(X509Check, SignatureAndIssuerName) {
    const std::string cert = fixture("window.der"), ca = fixture("ca.der"), other = fixture("other-ca.der");
    const int n = static_cast<int>(cert.size()), caLen = static_cast<int>(ca.size()),
              otherLen = static_cast<int>(other.size());
    EXPECT_EQ(VCL_X509_Verify(cert.data(), n, ca.data(), caLen, 0), 0);
    EXPECT_EQ(VCL_X509_Verify(cert.data(), n, other.data(), otherLen, 0), VCL_X509_BAD_SIGNATURE);
    EXPECT_EQ(VCL_X509_Verify(cert.data(), n, other.data(), otherLen, VCL_X509_CHECK_ISSUER), VCL_X509_ISSUER_DIFFERS);
    EXPECT_EQ(VCL_X509_Verify(cert.data(), n, nullptr, 0, VCL_X509_CHECK_SIGNATURE), static_cast<int>(0xa9150002u));
    EXPECT_EQ(rc(VCL_X509_Verify(nullptr, 0, ca.data(), caLen, 0)), 0xa9150002u);
    EXPECT_EQ(VCL_X509_Verify_DN(cert.data(), n, ca.data(), caLen), 0);
    EXPECT_EQ(VCL_X509_Verify_DN(cert.data(), n, other.data(), otherLen), VCL_X509_ISSUER_DIFFERS);
    EXPECT_EQ(VCL_X509_Verify_Signature(cert.data(), n, ca.data(), caLen), 0);
    EXPECT_NE(VCL_X509_Verify_Signature(cert.data(), n, other.data(), otherLen), 0);
    EXPECT_EQ(rc(VCL_X509_Verify_DN(cert.data(), n, nullptr, 0)), 0xa9160002u);
    EXPECT_EQ(rc(VCL_X509_Verify_Signature(nullptr, 0, ca.data(), caLen)), 0xa9170002u);
    // A byte of the signature flipped.
    std::string spoiled = cert;
    spoiled[spoiled.size() - 5] ^= 1;
    EXPECT_EQ(VCL_X509_Verify(spoiled.data(), n, ca.data(), caLen, 0), VCL_X509_BAD_SIGNATURE);

    // An issuer name in other string types, case and blanks is the CA's name
    // to RFC 5280 and to openssl verify, though its bytes differ.
    const std::string byName = fixture("issuer-case.der");
    const int byNameLen = static_cast<int>(byName.size());
    zqtest::writeFile(fixtures() + "/issuer-case.pem", pemOf(byName));
    EXPECT_EQ(zqtest::run({"openssl", "verify", "-CAfile", fixtures() + "/ca.pem", fixtures() + "/issuer-case.pem"}, {},
                          {"OPENSSL_CONF=/dev/null"})
                  .status,
              0);
    Cert leaf = decodeCert(byName), root = decodeCert(ca);
    EXPECT_EQ(cmp_X509_NAME(get_X509_issuer(leaf.get()), get_X509_subject(root.get())), -1);
    EXPECT_EQ(VCL_X509_Verify_DN(byName.data(), byNameLen, ca.data(), caLen), 0);
    EXPECT_EQ(VCL_X509_Verify(byName.data(), byNameLen, ca.data(), caLen, 0), 0);
}

TEST(X509Check, IdentityData) {
    const std::string vid = fixture("certs/vid.der");
    const int n = static_cast<int>(vid.size());
    std::istringstream holder(fixture("vid.txt"));
    std::string idn, randomHex;
    holder >> idn >> randomHex;
    const std::string random = fromHex(randomHex);
    const auto check = [&](const std::string& id) {
        return VCL_X509_Check_VID(vid.data(), n, coretest::u8(random), coretest::len(random), id.c_str(),
                                  static_cast<int>(id.size()));
    };
    EXPECT_EQ(check(idn), 0);
    std::string other = idn;
    other.back() = other.back() == '9' ? '0' : static_cast<char>(other.back() + 1);
    EXPECT_EQ(rc(check(other)), 0x47550112u);
    EXPECT_EQ(rc(VCL_X509_Check_VID(vid.data(), n, nullptr, 1, idn.c_str(), 13)), 0xa9070002u);
    EXPECT_EQ(VCL_X509_Exist_VID(vid.data(), n), 0);
    // No identity data, or an otherName of that type holding something else.
    for (const char* name : {"certs/rsa2048.der", "certs/all.der", "certs/v1.der"}) {
        const std::string c = fixture(name);
        EXPECT_EQ(rc(VCL_X509_Exist_VID(c.data(), static_cast<int>(c.size()))), 0xa91a004fu) << name;
    }
    EXPECT_EQ(rc(VCL_X509_Exist_VID(nullptr, 10)), 0xa91a0003u);
    EXPECT_EQ(rc(VCL_X509_Exist_VID(vid.data(), 0)), 0xa91a0003u);
}

TEST(X509Check, SigningCertificates) {
    const struct {
        const char* file;
        int kind;
    } cases[] = {{"certs/rsa2048.der", 3}, {"certs/rsa4096.der", 4}, {"certs/v1.der", 3}, {"certs/all.der", 3}};
    for (const auto& c : cases) {
        Cert cert = decodeCert(fixture(c.file));
        EXPECT_EQ(VCL_X509_is_signcert(cert.get()), c.kind) << c.file;
    }
    EXPECT_NE(VCL_X509_is_signcert(nullptr), 3);
}

// ---- CRLs ------------------------------------------------------------------

struct Entry {
    std::string serial;  // hex as openssl prints it
    std::string date;    // YYYYMMDDhhmmss GMT
    int reason;          // 0 when the entry has none
};

// The entries of openssl crl -text, in order.
std::vector<Entry> entriesOf(const std::string& text) {
    static const std::pair<const char*, int> kReasons[] = {
        {"Unspecified", 0},         {"Key Compromise", 1},         {"CA Compromise", 2},    {"Affiliation Changed", 3},
        {"Superseded", 4},          {"Cessation Of Operation", 5}, {"Certificate Hold", 6}, {"Remove From CRL", 8},
        {"Privilege Withdrawn", 9}, {"AA Compromise", 10}};
    std::vector<Entry> out;
    std::istringstream in(text);
    bool reasonNext = false;
    for (std::string line; std::getline(in, line);) {
        const std::string t =
            line.substr(line.find_first_not_of(' ') == std::string::npos ? 0 : line.find_first_not_of(' '));
        if (t.rfind("Serial Number: ", 0) == 0) {
            out.push_back({t.substr(15), "", 0});
        } else if (t.rfind("Revocation Date: ", 0) == 0 && !out.empty()) {
            struct tm tm {};
            strptime(t.c_str() + 17, "%b %d %H:%M:%S %Y GMT", &tm);
            char buf[16];
            std::strftime(buf, sizeof buf, "%Y%m%d%H%M%S", &tm);
            out.back().date = buf;
        } else if (t.rfind("X509v3 CRL Reason Code:", 0) == 0) {
            reasonNext = true;
        } else if (reasonNext) {
            reasonNext = false;
            for (const auto& [name, code] : kReasons)
                if (t == name) out.back().reason = code;
        } else if (t.rfind("Signature Algorithm", 0) == 0 && !out.empty()) {
            break;
        }
    }
    return out;
}

std::string reasonText(int code) {
    char buf[VCL_X509_REVOKED_REASON_SIZE] = {};
    EXPECT_EQ(VCL_Get_Revoked_Reason(code, buf), 0);
    return buf;
}

TEST(X509Check, RevokedCertificatesOfOpensslCa) {
    const std::string crl = fixture("ca.crl");
    const auto entries = entriesOf(fixture("ca.crl.txt"));
    ASSERT_EQ(entries.size(), 8u);
    const auto* bytes = coretest::u8(crl);
    const int len = coretest::len(crl);
    for (int i = 1; i <= 8; ++i) {
        const std::string cert = fixture("revoked-" + std::to_string(i) + ".der");
        const int certLen = static_cast<int>(cert.size());
        int flag = -5;
        ASSERT_EQ(VCL_X509_Is_Revoked(bytes, len, cert.data(), certLen, &flag), 0);
        EXPECT_EQ(flag, i);
        char date[VCL_X509_REVOKED_DATE_SIZE] = {}, reason[VCL_X509_REVOKED_REASON_SIZE] = {};
        ASSERT_EQ(VCL_X509_Is_Revoked_With_Reason(bytes, len, cert.data(), certLen, &flag, date, reason), 0);
        EXPECT_EQ(flag, i);
        EXPECT_EQ(std::string(date), entries[static_cast<size_t>(i - 1)].date);
        EXPECT_EQ(std::string(reason), reasonText(entries[static_cast<size_t>(i - 1)].reason)) << i;
    }
    const std::string good = fixture("good.der");
    int flag = -5;
    char date[VCL_X509_REVOKED_DATE_SIZE] = "untouched", reason[VCL_X509_REVOKED_REASON_SIZE] = "untouched";
    ASSERT_EQ(
        VCL_X509_Is_Revoked_With_Reason(bytes, len, good.data(), static_cast<int>(good.size()), &flag, date, reason),
        0);
    EXPECT_EQ(flag, 0);
    EXPECT_STREQ(date, "untouched");
    EXPECT_STREQ(reason, "untouched");
    EXPECT_EQ(rc(VCL_X509_Is_Revoked(nullptr, 0, good.data(), 10, &flag)), 0xa9090002u);
    EXPECT_EQ(rc(VCL_X509_Is_Revoked(bytes, len, good.data(), 10, nullptr)), 0xa9090061u);
    EXPECT_EQ(rc(VCL_X509_Is_Revoked_With_Reason(bytes, len, good.data(), 10, &flag, nullptr, reason)), 0xa9090061u);
    // A CRL cut short does not decode, and flag stays 0.
    flag = -5;
    EXPECT_NE(VCL_X509_Is_Revoked(bytes, len - 1, good.data(), static_cast<int>(good.size()), &flag), 0);
    EXPECT_EQ(flag, 0);
}

// python3-cryptography's CRL: the reason found behind an invalidityDate, a
// revocation date past 2049 in GMT, an entry without extensions, and a
// serial listed twice (the first entry wins).
TEST(X509Check, ReasonsDatesAndFirstEntries) {
    const std::string der = fixture("py.crl");
    const auto entries = entriesOf(fixture("py.crl.txt"));
    ASSERT_EQ(entries.size(), 4u);
    X509_CRL* raw = nullptr;
    ASSERT_EQ(VCL_X509_CRL_conv_crl2x509crl(coretest::u8(der), coretest::len(der), &raw), 0);
    Crl crl(raw);
    const struct {
        const char* serial;
        int position;
        const char* date;
        const char* reason;
    } cases[] = {
        {"1001", 0, "20240102030405", "Key compromise."},
        {"1002", 1, "20510607080910", "Superseded"},
        {"1003", 2, "20231231235959", "Unspecified."},
        {"001003", 2, "20231231235959", "Unspecified."},
    };
    for (const auto& c : cases) {
        int position = -5;
        char date[VCL_X509_REVOKED_DATE_SIZE] = {}, reason[VCL_X509_REVOKED_REASON_SIZE] = {};
        ASSERT_EQ(VCL_X509_CRL_verify_x509_cert_with_reason(crl.get(), c.serial, &position, date, reason), 0);
        EXPECT_EQ(position, c.position) << c.serial;
        EXPECT_STREQ(date, c.date) << c.serial;
        EXPECT_STREQ(reason, c.reason) << c.serial;
        EXPECT_EQ(std::string(date), entries[static_cast<size_t>(c.position)].date);
        EXPECT_EQ(std::string(reason), reasonText(entries[static_cast<size_t>(c.position)].reason));
        EXPECT_EQ(VCL_X509_CRL_verify_x509_cert(crl.get(), c.serial), c.position);
    }
    int position = -5;
    char date[VCL_X509_REVOKED_DATE_SIZE] = {}, reason[VCL_X509_REVOKED_REASON_SIZE] = {};
    ASSERT_EQ(VCL_X509_CRL_verify_x509_cert_with_reason(crl.get(), "2000", &position, date, reason), 0);
    EXPECT_EQ(position, -1);
    // A serial that is not a number is an error, not "not revoked".
    EXPECT_EQ(rc(VCL_X509_CRL_verify_x509_cert_with_reason(crl.get(), "10x1", &position, date, reason)), 0xa9090003u);
    EXPECT_EQ(rc(VCL_X509_CRL_verify_x509_cert_with_reason(crl.get(), "", &position, date, reason)), 0xa9090003u);
    EXPECT_EQ(VCL_X509_CRL_verify_x509_cert(crl.get(), "10x1"), -1);
    EXPECT_EQ(rc(VCL_X509_CRL_verify_x509_cert_with_reason(nullptr, "1", &position, date, reason)), 0xa9090002u);
    EXPECT_EQ(rc(VCL_X509_CRL_verify_x509_cert_with_reason(crl.get(), "1", nullptr, date, reason)), 0xa9090061u);
}

TEST(X509Check, LargeCrlPositionsFollowOpenssl) {
    const std::string der = fixture("large.crl");
    const auto entries = entriesOf(fixture("large.crl.txt"));
    ASSERT_EQ(entries.size(), 3000u);
    X509_CRL* raw = nullptr;
    ASSERT_EQ(VCL_X509_CRL_conv_crl2x509crl(coretest::u8(der), coretest::len(der), &raw), 0);
    Crl crl(raw);
    for (size_t i = 0; i < entries.size(); i += 7) {
        int position = -5;
        char date[VCL_X509_REVOKED_DATE_SIZE] = {}, reason[VCL_X509_REVOKED_REASON_SIZE] = {};
        ASSERT_EQ(
            VCL_X509_CRL_verify_x509_cert_with_reason(crl.get(), entries[i].serial.c_str(), &position, date, reason),
            0);
        EXPECT_EQ(position, static_cast<int>(i));
        EXPECT_EQ(std::string(date), entries[i].date);
        EXPECT_EQ(std::string(reason), reasonText(entries[i].reason));
    }
    EXPECT_EQ(VCL_X509_CRL_verify_x509_cert(crl.get(), "FFFFFFFFFF"), -1);
}

TEST(X509Check, CrlSignatureIssuerAndFreshness) {
    const std::string crl = fixture("ca.crl"), other = fixture("other.crl");
    const std::string ca = fixture("ca.der"), otherCa = fixture("other-ca.der"), leaf = fixture("revoked-1.der");
    const auto verify = [](const std::string& list, const std::string& cert) {
        return VCL_X509_CRL_Verify(coretest::u8(list), coretest::len(list), cert.data(), static_cast<int>(cert.size()));
    };
    EXPECT_EQ(verify(crl, ca), 0);
    EXPECT_EQ(verify(crl, otherCa), -1);
    EXPECT_EQ(verify(other, otherCa), 0);
    std::string spoiled = crl;
    spoiled[spoiled.size() - 3] ^= 1;
    EXPECT_EQ(verify(spoiled, ca), -1);
    // libzunPKI's CRL signed with RSASSA-PSS.
    EXPECT_EQ(verify(fixture("pkicrl/pss.der"), fixture("pkicrl/ca.der")), 0);
    EXPECT_EQ(rc(VCL_X509_CRL_Verify(nullptr, 0, ca.data(), 10)), 0xa9080002u);

    const auto issuer = [&](const std::string& list) {
        return VCL_X509_CRL_Verify_Issuer(coretest::u8(list), coretest::len(list), leaf.data(),
                                          static_cast<int>(leaf.size()));
    };
    EXPECT_EQ(issuer(crl), 0);
    EXPECT_EQ(issuer(other), -1);
    EXPECT_EQ(rc(VCL_X509_CRL_Verify_Issuer(coretest::u8(crl), -1, leaf.data(), 10)), 0xa9140002u);

    // Freshness follows the clock: nextUpdate itself is still fresh.
    const auto fresh = [](const std::string& list) {
        return VCL_X509_CRL_Verify_NextUpdate(coretest::u8(list), coretest::len(list));
    };
    EXPECT_EQ(fresh(crl), 0);
    EXPECT_EQ(fresh(fixture("py.crl")), -1);  // next update 2024-02-01
    EXPECT_EQ(rc(fresh(fixture("pkicrl/no-next-update.der"))), 0xa9140007u);
    EXPECT_EQ(rc(VCL_X509_CRL_Verify_NextUpdate(nullptr, 0)), 0xa9140002u);
    std::istringstream text(fixture("ca.crl.txt"));
    std::string line;
    while (std::getline(text, line) && line.find("Next Update: ") == std::string::npos) {
    }
    struct tm tm {};
    ASSERT_NE(strptime(line.c_str() + line.find("Next Update: ") + 13, "%b %d %H:%M:%S %Y GMT", &tm), nullptr);
    const long long next = timegm(&tm);
    const std::string path = fixtures() + "/ca.crl";
    for (const char* tz : kZones) {
        EXPECT_EQ(at(tz, next, {"nextupdate", path}), "0") << tz;
        EXPECT_EQ(at(tz, next + 1, {"nextupdate", path}), "ffffffff") << tz;
    }
}

TEST(X509Check, ReasonTexts) {
    const struct {
        int code;
        const char* text;
    } cases[] = {{0, "Unspecified."},
                 {1, "Key compromise."},
                 {7, "This is a dummy place holder for an undefined value"},
                 {10, "The certificate has had a compromise"},
                 {-1, "There is not a known reason for revocation"},
                 {11, "The reason code is not defined in RFC2459"},
                 {-2, "The reason code is not defined in RFC2459"}};
    for (const auto& c : cases) EXPECT_EQ(reasonText(c.code), c.text);
    EXPECT_EQ(std::strlen(cases[2].text) + 1, static_cast<size_t>(VCL_X509_REVOKED_REASON_SIZE));
    EXPECT_EQ(rc(VCL_Get_Revoked_Reason(0, nullptr)), 0xa9090002u);
}

}  // namespace
