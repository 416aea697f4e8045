// Detail and view records against python3-cryptography and openssl x509
// (detail_peer.py reads them as the agent does), in two zones; their codes
// for paths, storage types and certificates that do not read.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <zephaltpavix/zephaltpavix.h>

#include "MgmtHelpers.h"
#include "SignHelpers.h"

namespace {

using mgmttest::mx;
using mgmttest::mxBytes;
using mgmttest::Out;
using storetest::len;

// The peer's verdict on a record of a certificate file: empty when it agrees.
std::string peer(const std::string& kind, const std::string& certFile, const std::string& record, const char* tz,
                 const std::vector<std::string>& extra = {}) {
    zqtest::TempDir dir("detailrec");
    zqtest::writeFile(dir / "record", record);
    std::vector<std::string> argv{zqtest::kPython, zqtest::sourceDir() + "/tests/store/detail_peer.py", kind, certFile,
                                  dir / "record"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    const auto r = zqtest::run(argv, {}, {std::string("TZ=") + tz});
    return r.status == 0 ? std::string() : "status " + std::to_string(r.status) + ": " + r.output;
}

std::vector<std::string> names(const std::string& record) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < record.size()) {
        const size_t caret = record.find('^', at);
        const size_t amp = record.find('&', at);
        if (caret == std::string::npos) break;
        out.push_back(record.substr(at, caret - at));
        if (amp == std::string::npos) break;
        at = amp + 1;
    }
    return out;
}

}  // namespace

// Every item of every fixture equals what the peers report, in Seoul and in
// UTC (the validity dates of full.der fall on different days there).
TEST(Detail, ItemsAgreeWithPythonAndOpenssl) {
    for (const char* tz : {"Asia/Seoul", "UTC"}) {
        mgmttest::Zone zone(tz);
        for (const char* file : {"full.der", "km.der", "agree.der", "big.der", "v1.der", "ca.der"}) {
            SCOPED_TRACE(std::string(tz) + " " + file);
            const std::string cert = mxBytes(file);
            Out<> detail;
            ASSERT_EQ(VPL_Make_CertDetail(cert.data(), len(cert), detail.ptr(), &detail.n), 0);
            EXPECT_EQ(static_cast<size_t>(detail.n), std::strlen(detail.p));
            EXPECT_EQ(peer("detail", mx(file), detail.str(), tz), "");
        }
    }
}

// The agent's entry over an encoded path: 18 items in order, the 4096-bit
// key's 512 bytes whole (1,536 characters), the same record as from bytes.
TEST(Detail, StoredCertificateByEncodedPath) {
    signtest::Home home;
    const std::string dir = home.path() + "/NPKI/yessign/USER/cn=Big,o=yessign,c=kr";
    zqtest::makeDirs(dir);
    zqtest::writeFile(dir + "/signCert.der", mxBytes("big.der"));
    const std::string path = signtest::encoded(dir + "/signCert.der");
    Out<> detail;
    ASSERT_EQ(VPL_Get_CertDetail(0, nullptr, 0, path.c_str(), len(path), detail.ptr(), &detail.n), 0);
    EXPECT_EQ(names(detail.str()),
              (std::vector<std::string>{"version", "serial", "signatureAlg", "issuerDN", "validity_from", "validity_to",
                                        "subjectDN", "pubkey", "pubkeydata", "hand_print_alg", "hand_print",
                                        "authoritykeyid", "subjectkeyid", "keyusage", "certpolicy", "subjectAltName",
                                        "crlDP", "authorityInfoAcc"}));
    const std::string record = detail.str();
    const size_t at = record.find("pubkeydata^") + 11;
    const std::string keyData = record.substr(at, record.find('&', at) - at);
    EXPECT_EQ(keyData.size(), 512u * 3) << "URL encoding keeps hex digits and turns blanks into +";

    const std::string cert = mxBytes("big.der");
    Out<> direct;
    ASSERT_EQ(VPL_Make_CertDetail(cert.data(), len(cert), direct.ptr(), &direct.n), 0);
    EXPECT_EQ(direct.str(), record);
}

TEST(Detail, Codes) {
    signtest::Home home;
    const std::string file = home.path() + "/signCert.der";
    zqtest::writeFile(file, mxBytes("full.der"));
    const std::string path = signtest::encoded(file);
    const std::string missing = signtest::encoded(home.path() + "/none.der");
    const std::string pseudo = signtest::encoded("NODOMAIN/MEMORY/cn=x/01");
    const struct Case {
        const char* name;
        int type;
        const std::string* path;
        int pathLen;
        int expected;
    } cases[] = {
        {"home", 0, &path, len(path), 0},
        {"drive type", 1, &path, len(path), 0},
        {"CA list type", 9, &path, len(path), 0},
        {"IC card", 7, &path, len(path), -1},
        {"type 4", 4, &path, len(path), -1},
        {"type 11", 11, &path, len(path), -1},
        {"type 13", 13, &path, len(path), -1},
        {"negative type", -1, &path, len(path), -1},
        {"length not the path's", 0, &path, len(path) - 1, VPL_ERR_PATH},
        {"no such file", 0, &missing, len(missing), VPL_ERR_READ_FILE},
        {"pseudo path without its domain", 6, &pseudo, len(pseudo), VPL_ERR_CERT_DER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Out<> detail, view;
        EXPECT_EQ(VPL_Get_CertDetail(c.type, nullptr, 0, c.path->c_str(), c.pathLen, detail.ptr(), &detail.n),
                  c.expected);
        EXPECT_EQ(detail.p == nullptr, c.expected != 0);
        const int viewExpected = c.expected == VPL_ERR_CERT_DER ? VPL_ERR_X509_INFO : c.expected;
        EXPECT_EQ(VPL_Get_CertView(c.type, nullptr, 0, c.path->c_str(), c.pathLen, 1, view.ptr(), &view.n),
                  viewExpected);
        EXPECT_EQ(view.p == nullptr, viewExpected != 0);
    }
    Out<> out;
    EXPECT_EQ(VPL_Get_CertDetail(0, nullptr, 0, nullptr, 0, out.ptr(), &out.n), VPL_ERR_PATH);
    EXPECT_EQ(VPL_Get_CertView(0, nullptr, 0, nullptr, 0, 0, out.ptr(), &out.n), VPL_ERR_PATH);
    EXPECT_EQ(VPL_Get_CertDetail(0, nullptr, 0, path.c_str(), len(path), nullptr, nullptr), VPL_ERR_INVALID_PARAM);
}

// Bytes that are no certificate: no record, and a code, never an empty
// record reported as success.
TEST(Detail, BrokenCertificates) {
    const std::string good = mxBytes("full.der");
    const std::string pemArmourOnly = "-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----\n";
    const struct Case {
        const char* name;
        std::string bytes;
        int detail, view;
    } cases[] = {
        {"nothing", "", VPL_ERR_CERT_DER, VPL_ERR_X509_INFO},
        {"cut in half", good.substr(0, good.size() / 2), VPL_ERR_X509_INFO, VPL_ERR_X509_INFO},
        {"text", "not a certificate", VPL_ERR_X509_INFO, VPL_ERR_X509_INFO},
        {"PEM armour around nothing", pemArmourOnly, VPL_ERR_CERT_DER, VPL_ERR_X509_INFO},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Out<> detail, view;
        EXPECT_EQ(VPL_Make_CertDetail(c.bytes.data(), len(c.bytes), detail.ptr(), &detail.n), c.detail);
        EXPECT_EQ(detail.p, nullptr);
        EXPECT_EQ(VPL_Make_CertView(0, c.bytes.data(), len(c.bytes), view.ptr(), &view.n), c.view);
        EXPECT_EQ(view.p, nullptr);
    }
}

// The view's six items against the peers; the type name by policy, else by
// store (a private certificate without policy, a public KM one).
TEST(Detail, ViewAgreesWithPython) {
    const struct Case {
        const char* file;
        const char* issuer;
        const char* type;
    } cases[] = {
        {"full.der", "금융결제원", "범용(개인)"},
        {"km.der", "금융결제원", "일반인증서"},
        {"v1.der", "금융결제원", "사설 인증서"},
    };
    for (const char* tz : {"Asia/Seoul", "UTC"}) {
        mgmttest::Zone zone(tz);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(tz) + " " + c.file);
            signtest::Home home;
            const std::string file = home.path() + "/signCert.der";
            zqtest::writeFile(file, mxBytes(c.file));
            const std::string path = signtest::encoded(file);
            Out<> view;
            ASSERT_EQ(VPL_Get_CertView(0, nullptr, 0, path.c_str(), len(path), 1, view.ptr(), &view.n), 0);
            EXPECT_EQ(names(view.str()), (std::vector<std::string>{"crl_flag", "subjectCN", "issuer", "issuerdate",
                                                                   "expiredate", "oidtype"}));
            EXPECT_EQ(peer("view", mx(c.file), view.str(), tz, {c.issuer, c.type}), "");
        }
    }
}

// The single-value formatters: URL-encoded values; a missing input leaves
// the output empty.
TEST(Detail, Formatters) {
    Out<> out;
    VPL_X509VersionToBase64_Display(2, out.ptr(), &out.n);
    EXPECT_EQ(out.str(), "V3+%280x02%29");
    VPL_X509VersionToBase64_Display(7, out.ptr(), &out.n);
    EXPECT_EQ(out.str(), "UnKown+Version+%280x07%29");
    VPL_X509SerialToBase64_Display("8193", "2001", out.ptr(), &out.n);
    EXPECT_EQ(out.str(), "8193+%28+0x20+01+%29");
    VPL_X509KeyUsageToBase64_Display("C0", out.ptr(), &out.n);
    EXPECT_EQ(out.str(), "Digital+Signature%2c+Non-Repudiation+%28c0%29");
    VPL_X509KeyUsageToBase64_Display("00", out.ptr(), &out.n);
    EXPECT_EQ(out.str(), "+%2800%29");
    VPL_X509SignatureAlgToBase64_Display("1.2.840.113549.1.1.11|rsa-sha256|sha256WithRSAEncryption", out.ptr(), &out.n);
    EXPECT_EQ(out.str(), "sha256WithRSAEncryption");
    VPL_X509PublicKeyToBase64_Display("1.2.840.113549.1.1.1|rsa|rsaEncryption", 2048, out.ptr(), &out.n);
    EXPECT_EQ(out.str(), "rsaEncryption+%282048+Bit%29");
    const unsigned char bytes[] = {0x00, 0xab, 0x10};
    VPL_X509BYTEToBase64_Display(bytes, 3, out.ptr(), &out.n);
    EXPECT_EQ(out.str(), "00+ab+10+");
    {
        mgmttest::Zone zone("Asia/Seoul");
        VPL_X509DateToBase64_Display("20240301163000", out.ptr(), &out.n);
        EXPECT_EQ(out.str(), "2024-03-02");
    }
    for (auto call : {+[](char**o, int*n) { VPL_X509SerialToBase64_Display(nullptr, "01", o, n); },
                      +[](char**o, int*n) { VPL_X509SignatureAlgToBase64_Display(nullptr, o, n); },
                      +[](char**o, int*n) { VPL_X509DateToBase64_Display("not a time", o, n); },
                      +[](char**o, int*n) { VPL_X509BYTEToBase64_Display(nullptr, 3, o, n); },
                      +[](char**o, int*n) { VPL_X509KeyUsageToBase64_Display(nullptr, o, n); }}) {
        call(out.ptr(), &out.n);
        EXPECT_EQ(out.p, nullptr);
        EXPECT_EQ(out.n, 0);
    }
}
