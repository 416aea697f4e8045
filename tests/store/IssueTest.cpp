// Issuance against OpenSSL's mock CMP server, run in a network namespace of
// the test's own: the stored files judged by cmp, openssl pkcs8 and x509,
// find and stat; renewal with a failure injected at every file step; the
// private-PKI request against openssl req and python3-cryptography.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <set>

#include <zephaltCMP/zephaltCMP.h>
#include <zephaltpavix/zephaltpavix.h>

#include "CmpMock.h"
#include "TestSupport.h"
#include "disk/disk_internal.hpp"
#include "params.hpp"

namespace {

using zqtest::CmpMock;
using zqtest::run;
using zqtest::TempDir;

const std::string& fx() { return zqtest::cmpFixtures(); }

// Every file below dir (relative paths), for "nothing new" checks.
std::set<std::string> filesUnder(const std::string& dir) {
    std::set<std::string> out;
    std::string text = run({"find", dir, "-mindepth", "1"}).output;
    size_t start = 0;
    while (start < text.size()) {
        const size_t nl = text.find('\n', start);
        out.insert(text.substr(start + dir.size() + 1, nl - start - dir.size() - 1));
        start = nl + 1;
    }
    return out;
}

std::string modulusOf(const std::vector<std::string>& argv) {
    const auto r = run(argv);
    return r.status == 0 ? r.output : std::string("failed");
}

std::string keyModulus(const std::string& keyDer, const std::string& password) {
    return modulusOf({"sh", "-c",
                      "openssl pkcs8 -inform DER -provider legacy -provider default -passin pass:" + password +
                          " -in '" + keyDer + "' | openssl rsa -noout -modulus"});
}
std::string certModulus(const std::string& certPath, const char* form = "DER") {
    return modulusOf({"openssl", "x509", "-inform", form, "-in", certPath, "-noout", "-modulus"});
}

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = getenv(name)) m_old = old, m_had = true;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { m_had ? setenv(m_name, m_old.c_str(), 1) : unsetenv(m_name); }

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

class Issue : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(fx().empty()) << "fixtures"; }
    std::string params(const CmpMock& ca, const std::string& code = "CODE1") {
        return "REF=REF1&CODE=" + code + "&CAIP=127.0.0.1&CAPORT=" + ca.port();
    }
    int issue(int type, const char* drive, const std::string& text, const char* caName = "YESSIGN") {
        const std::string pw = "NEWPASS12";
        return VPL_Issue_Certificate_Reduction(type, drive, drive ? static_cast<int>(strlen(drive)) : 0, 0, 0, caName,
                                               static_cast<int>(strlen(caName)), text.c_str(),
                                               static_cast<int>(text.size()), pw.c_str(), static_cast<int>(pw.size()),
                                               "SHA256", 6, "2048", 4);
    }
    std::string caFile() {
        std::string keyid =
            run({"openssl", "x509", "-in", fx() + "/ca.pem", "-noout", "-ext", "subjectKeyIdentifier"}).output;
        keyid = keyid.substr(keyid.find('\n') + 1);
        std::string compact;
        for (char c : keyid)
            if (isxdigit(static_cast<unsigned char>(c))) compact += c;
        std::string serial = run({"openssl", "x509", "-in", fx() + "/ca.pem", "-noout", "-serial"}).output;
        serial = serial.substr(serial.find('=') + 1);
        serial.pop_back();
        return "NPKI/yessign/" + compact + "_" + serial + ".der";
    }

    TempDir home{"issuehome"};
    ScopedEnv homeEnv{"QUILLETEX_HOME", home.path()};
    ScopedEnv newKey{"ZEPHALTCMP_TEST_NEWKEY", fx() + "/user.key"};
};

const char kUserDir[] = "NPKI/yessign/USER/cn=Hong Gildong()0011,ou=personal4IB,o=yessign,c=KR";

TEST(CmpLibrary, ExportsExactlyItsFifteenNamesAndSurvivesReloading) {
    const auto nm = run({"nm", "-D", "--defined-only", ZEPHALTCMP_SO});
    std::set<std::string> names;
    std::istringstream in(nm.output);
    std::string addr, kind, name;
    while (in >> addr >> kind >> name) names.insert(name);
    EXPECT_EQ(names, (std::set<std::string>{
                         "ZUNCMP_Init", "ZUNCMP_SetUseHSM", "ZUNCMP_SetBITAndHash", "ZUNCMP_GetCACert",
                         "ZUNCMP_GetSignCert", "ZUNCMP_GetSignPri", "ZUNCMP_GetKMCert", "ZUNCMP_GetKMPri",
                         "ZUNCMP_GetErrorString", "ZUNCMP_Final", "ZUNCMP_CertRequestNonUI", "ZUNCMP_CertUpdateNonUI",
                         "ZUNCMP_CertReplaceNonUI", "ZUNCMP_PPKI_MAKE_PKCS10", "ZUNCMP_StringFree"}));
    // Opened, used and closed again and again as the store does.
    for (int i = 0; i < 4; ++i) {
        void* h = dlopen(ZEPHALTCMP_SO, RTLD_LAZY);
        ASSERT_NE(h, nullptr) << dlerror();
        ASSERT_EQ(VPL_CMPLIB_FunctionLoad_Check(h), 0);
        ASSERT_EQ(lpCMP_Init(), 0);
        unsigned char *req = nullptr, *key = nullptr;
        int reqLen = 0, keyLen = 0;
        EXPECT_EQ(lpCMP_PPKI_MAKE_PKCS10("CN=x", "pw", 0, 0, &req, &reqLen, &key, &keyLen), 0) << i;
        EXPECT_GT(reqLen, 0);
        lpCMP_StringFree(req);
        lpCMP_StringFree(key);
        lpCMP_Final();
        EXPECT_EQ(dlclose(h), 0);
    }
    EXPECT_EQ(VPL_CMPLIB_FunctionLoad_Check(nullptr), -1);
    EXPECT_EQ(lpCMP_Init, nullptr);
}

TEST(CmpLibrary, ParameterTextsAreReadWhole) {
    struct Case {
        const char* text;
        bool ok;
    } cases[] = {
        {"REFVAL=1&AUTHCODE=2&CAIP=127.0.0.1&CAPORT=829", true},
        {"refval=1&authcode=2&caip=ca.example&caport=1&CANAME=VERIDAN_CA&CAPATH=VERIDANCA&CMD=renew", true},
        {"", true},
        {"REFVALVAL=1", false},        // what a substring rename made
        {"REFVAL=1&REFVAL=2", false},  // a repeat
        {"REFVAL=1&CAIP=evil.example&CAIP=127.0.0.1", false},
        {"CAIP=127.0.0.1/x", false},  // no path or user rides along
        {"CAIP=a@b", false},
        {"CAPORT=0", false},
        {"CAPORT=65536", false},
        {"CAPORT=80x", false},
        {"CMD=DELETE", false},
        {"REFVAL", false},
        {"REFVAL=1&", false},
        {"AUTHCODE=a\nb", false},
    };
    for (const auto& c : cases) {
        zcmp::Params p;
        EXPECT_EQ(zcmp::parseParams(c.text, p), c.ok) << c.text;
    }
    struct DnCase {
        const char* text;
        bool ok;
    } dns[] = {{"CN=Hong,OU=Users,O=Veridan,C=KR", true},
               {"cn=a\\,b+uid=7,o=x", true},
               {"CN=\\48ong", true},
               {"1.2.3.4=v", true},
               {"", false},
               {"CN=", false},
               {"XX=1", false},
               {"CN=a,", false},
               {"CN=a\\", false},
               {"CN=a\\00b", false},
               {"CN=a\\1eb", false},
               {"CN=a\x01", false}};
    for (const auto& c : dns) {
        std::vector<zcmp::Attribute> attrs;
        EXPECT_EQ(zcmp::parseDn(c.text, attrs), c.ok) << c.text;
    }
}

TEST(CmpLibrary, KeysAndRequestsAsOpensslReadsThem) {
    ASSERT_EQ(ZUNCMP_Init(), 0);
    struct Case {
        int bits;
        const char* hash;
        int expectBits;
    } cases[] = {{0, "2048", 2048}, {1024, "1024", 2048}, {4096, "2048", 4096}, {3072, "512", 3072}};
    TempDir dir("p10");
    for (const auto& c : cases) {
        ZUNCMP_SetBITAndHash("SHA256", 6, c.hash, static_cast<int>(strlen(c.hash)));
        unsigned char *req = nullptr, *key = nullptr;
        int reqLen = 0, keyLen = 0;
        const std::string dn = "CN=Hong Gildong\\, Jr.,OU=Users,O=Veridan,C=KR";
        ASSERT_EQ(ZUNCMP_PPKI_MAKE_PKCS10(dn.c_str(), "secret99", c.bits, 0, &req, &reqLen, &key, &keyLen), 0);
        zqtest::writeFile(dir / "req.der", std::string(reinterpret_cast<char*>(req), reqLen));
        zqtest::writeFile(dir / "key.der", std::string(reinterpret_cast<char*>(key), keyLen));
        ZUNCMP_StringFree(req);
        ZUNCMP_StringFree(key);
        EXPECT_EQ(run({"openssl", "req", "-inform", "DER", "-in", dir / "req.der", "-verify", "-noout"}).status, 0);
        const auto subject = run({zqtest::kPython, "-c",
                                  "import sys;from cryptography import x509;"
                                  "r=x509.load_der_x509_csr(open(sys.argv[1],'rb').read());"
                                  "print(r.subject.rfc4514_string(), r.public_key().key_size)",
                                  dir / "req.der"});
        EXPECT_EQ(subject.output, dn + " " + std::to_string(c.expectBits) + "\n");
        // The key as the store keeps it: PBES2, PBKDF2-HMAC-SHA256, SEED-CBC.
        const auto parsed = run({"openssl", "asn1parse", "-inform", "DER", "-in", dir / "key.der"}).output;
        EXPECT_NE(parsed.find("PBES2"), std::string::npos);
        EXPECT_NE(parsed.find("hmacWithSHA256"), std::string::npos);
        EXPECT_NE(parsed.find("seed-cbc"), std::string::npos);
        EXPECT_EQ(keyModulus(dir / "key.der", "secret99"),
                  modulusOf({"sh", "-c", "openssl req -inform DER -in '" + dir / "req.der" + "' -noout -modulus"}));
    }
    unsigned char *req = nullptr, *key = nullptr;
    int reqLen = 0, keyLen = 0;
    EXPECT_EQ(ZUNCMP_PPKI_MAKE_PKCS10("CN=a,XX=b", "pw", 0, 0, &req, &reqLen, &key, &keyLen), ZUNCMP_ERR_PARAM);
    EXPECT_EQ(req, nullptr);
    ZUNCMP_Final();
    EXPECT_EQ(ZUNCMP_PPKI_MAKE_PKCS10("CN=a", "pw", 0, 0, &req, &reqLen, &key, &keyLen), ZUNCMP_ERR_NOT_INIT);
}

TEST_F(Issue, IssueToTheHomeStoresThePairAndTheCaCertificate) {
    CmpMock ca("REF1", "CODE1", fx() + "/user.pem");
    ASSERT_EQ(issue(0, nullptr, params(ca)), 0);
    const std::string dir = home / kUserDir;
    EXPECT_EQ(zqtest::readFile(dir + "/signCert.der"), zqtest::readFile(fx() + "/user.der"));
    EXPECT_EQ(keyModulus(dir + "/signPri.key", "NEWPASS12"), certModulus(fx() + "/user.der"));
    EXPECT_EQ(modeOf(dir + "/signPri.key"), 0600u);
    EXPECT_EQ(zqtest::readFile(home / caFile()), zqtest::readFile(fx() + "/ca.der"));
    EXPECT_EQ(filesUnder(home.path()).size(), 7u) << "NPKI, yessign, USER, the DN folder, two files, the CA file";
}

TEST_F(Issue, IssueToADriveNamesTheSubjectForTheHomeCleanUp) {
    TempDir drive("drive");
    CmpMock ca("REF1", "CODE1", fx() + "/user.pem");
    const std::string d = drive.path();
    ASSERT_EQ(issue(1, d.c_str(), params(ca)), 0);
    EXPECT_EQ(zqtest::readFile(drive / (std::string(kUserDir) + "/signCert.der")),
              zqtest::readFile(fx() + "/user.der"));
    EXPECT_EQ(zqtest::readFile(drive / caFile()), zqtest::readFile(fx() + "/ca.der"));
    EXPECT_STREQ(selectedCertSubjectCN, "Hong Gildong()0011");
    EXPECT_TRUE(filesUnder(home.path()).empty());
}

TEST_F(Issue, RefusedIssuesLeaveNothing) {
    CmpMock ca("REF1", "CODE1", fx() + "/user.pem");
    EXPECT_EQ(issue(0, nullptr, params(ca, "WRONG")), 1052023) << "wrong pbm value";
    EXPECT_EQ(issue(1, nullptr, params(ca)), 1052027);
    EXPECT_EQ(issue(2, nullptr, params(ca)), -1) << "the key chain would lose the key";
    EXPECT_EQ(issue(0, nullptr, params(ca) + "&CAIP=10.0.0.1"), 1052023) << "a second CAIP";
    EXPECT_TRUE(filesUnder(home.path()).empty());
    // A certificate for another key is refused by the client: the mock
    // answers with user.pem whatever key is used.
    unsetenv("ZEPHALTCMP_TEST_NEWKEY");
    EXPECT_EQ(issue(0, nullptr, params(ca)), 1052023);
    EXPECT_TRUE(filesUnder(home.path()).empty());
}

TEST_F(Issue, FullFormsBuildOneTextOfPlainValues) {
    CmpMock ca("REF1", "CODE1", fx() + "/user.pem");
    const std::string port = ca.port() + "x";  // read as atoi reads it
    auto full = [&](bool replace, const char* caName, const char* ref, const char* ppkiName, const char* ppkiPath) {
        auto f = replace ? VPL_Replace_Certificate : VPL_Issue_Certificate;
        auto len = [](const char* s) { return s ? static_cast<int>(strlen(s)) : 0; };
        return f(0, nullptr, 0, 0, 0, caName, len(caName), "127.0.0.1", 9, port.c_str(), len(port.c_str()), ppkiName,
                 len(ppkiName), ppkiPath, len(ppkiPath), ref, len(ref), "CODE1", 5, "NEWPASS12", 9, "SHA256", 6, "2048",
                 4);
    };
    EXPECT_EQ(full(false, "yessign", "REF1", nullptr, nullptr), 0);
    EXPECT_EQ(full(true, "yessign", "REF1", nullptr, nullptr), 0) << "cr";
    EXPECT_EQ(full(false, "veridan_ca_test", "REF1", "VERIDAN_CA", "VERIDANCA"), 0) << "private form";
    EXPECT_EQ(count(ca.log(), "received IR"), 2);
    EXPECT_EQ(count(ca.log(), "received CR"), 1);
    EXPECT_EQ(full(false, "VeriDanCA", "REF1", nullptr, nullptr), 1052019);
    EXPECT_EQ(full(false, "VERIDANCA", "REF1", "VERIDAN_CA", nullptr), 1052020);
    EXPECT_EQ(full(false, "yessign", "REF1&CAIP=10.0.0.1", nullptr, nullptr), 1052011);
    EXPECT_EQ(full(false, "yessign", "RE=F1", nullptr, nullptr), 1052011);
    EXPECT_EQ(full(false, "yessign", nullptr, nullptr, nullptr), 1052021);
    EXPECT_EQ(full(false, nullptr, "REF1", nullptr, nullptr), 1052016);
}

TEST(DnConvert, RenamesWholeKeysOnly) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"REF=1&CODE=2&CAIP=h&CAPORT=1", "REFVAL=1&AUTHCODE=2&CAIP=h&CAPORT=1"},
        {"REFVAL=1&AUTHCODE=2", "REFVAL=1&AUTHCODE=2"},  // full forms' keys stay
        {"ref=code&code=ref", "REFVAL=code&AUTHCODE=ref"},
        {"REF=1&REF=2", "REFVAL=1&REFVAL=2"},  // the client refuses the repeat
        {"CAIP=h&CAPORT=1", "CAIP=h&CAPORT=1"},
    };
    for (const auto& c : cases) {
        char* out = nullptr;
        int len = 0;
        ASSERT_EQ(VPL_DN_Convert(c.in, &out, &len), 0) << c.in;
        EXPECT_EQ(std::string(out, len), c.out);
        VPL_Free(out, len);
    }
    char* out = nullptr;
    int len = 0;
    EXPECT_EQ(VPL_DN_Convert("", &out, &len), 0);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(VPL_DN_Convert(std::string(5000, 'a').c_str(), &out, &len), 1052011) << "refused, never cut";
    EXPECT_EQ(VPL_DN_Convert(nullptr, &out, &len), 1052011);
}

class Renewal : public Issue {
protected:
    void SetUp() override {
        Issue::SetUp();
        dir = home / "NPKI/yessign/USER/cn=Kim Renewal()0022,ou=personal4IB,o=yessign,c=KR";
        zqtest::makeDirs(dir);
        zqtest::writeFile(dir + "/signCert.der", zqtest::readFile(fx() + "/old.der"));
        zqtest::writeFile(dir + "/signPri.key", zqtest::readFile(fx() + "/old.p8"));
        zqtest::writeFile(home / "NPKI/yessign/ca.der", zqtest::readFile(fx() + "/ca.der"));
    }
    int renew(const CmpMock& ca) {
        const std::string certPath = dir + "/signCert.der";
        char* enc = nullptr;
        int encLen = 0;
        VPL_DataEncode(0, certPath.data(), static_cast<int>(certPath.size()), &enc, &encLen);
        const std::string text = "REF=&CODE=&CAIP=127.0.0.1&CAPORT=" + ca.port();
        const int rc = VPL_Update_Certificate_Reduction(0, 0, 0, enc, encLen, "yessign", 7, text.c_str(),
                                                        static_cast<int>(text.size()), "OLDPASS12", 9, "NEWPASS34", 9,
                                                        "SHA256", 6, "2048", 4);
        VPL_Free(enc, encLen);
        return rc;
    }
    std::string dir;
};

TEST_F(Renewal, ReplacesThePairUnderTheNewPassword) {
    CmpMock ca("REF1", "CODE1", fx() + "/renewed.pem");
    ASSERT_EQ(renew(ca), 0);
    EXPECT_EQ(count(ca.log(), "received KUR"), 1);
    EXPECT_EQ(zqtest::readFile(dir + "/signCert.der"), zqtest::readFile(fx() + "/renewed.der"));
    EXPECT_EQ(keyModulus(dir + "/signPri.key", "NEWPASS34"), certModulus(fx() + "/renewed.der"));
    EXPECT_EQ(keyModulus(dir + "/signPri.key", "OLDPASS12"), "failed");
    EXPECT_EQ(modeOf(dir + "/signPri.key"), 0600u);
    // Nothing else beside the pair, no temporary (a CA certificate comes
    // with an issue's answer only, RFC 4210's caPubs).
    EXPECT_EQ(filesUnder(dir), (std::set<std::string>{"signCert.der", "signPri.key"}));
    EXPECT_EQ(filesUnder(home / "NPKI/yessign").size(), 5u);
}

TEST_F(Renewal, TheFullFormBuildsTheCaTextItself) {
    CmpMock ca("REF1", "CODE1", fx() + "/renewed.pem");
    const std::string certPath = dir + "/signCert.der";
    char* enc = nullptr;
    int encLen = 0;
    VPL_DataEncode(0, certPath.data(), static_cast<int>(certPath.size()), &enc, &encLen);
    const std::string port = ca.port();
    auto full = [&](const char* caIp) {
        return VPL_Update_Certificate(0, 0, 0, enc, encLen, "yessign", 7, caIp, static_cast<int>(strlen(caIp)),
                                      port.c_str(), static_cast<int>(port.size()), nullptr, 0, nullptr, 0, "OLDPASS12",
                                      9, "NEWPASS34", 9, "SHA256", 6, "2048", 4);
    };
    EXPECT_EQ(full("127.0.0.1&CAPORT=1"), 1052011);
    EXPECT_EQ(zqtest::readFile(certPath), zqtest::readFile(fx() + "/old.der"));
    EXPECT_EQ(full("127.0.0.1"), 0);
    VPL_Free(enc, encLen);
    EXPECT_EQ(zqtest::readFile(certPath), zqtest::readFile(fx() + "/renewed.der"));
}

TEST_F(Renewal, AKeyInKisasFormatIsRenewedToo) {
    // pbeWithSHA1AndSEED-CBC, which OpenSSL does not know.
    zqtest::writeFile(dir + "/signPri.key", zqtest::readFile(fx() + "/old.kisa"));
    CmpMock ca("REF1", "CODE1", fx() + "/renewed.pem");
    ASSERT_EQ(renew(ca), 0);
    EXPECT_EQ(zqtest::readFile(dir + "/signCert.der"), zqtest::readFile(fx() + "/renewed.der"));
    EXPECT_EQ(keyModulus(dir + "/signPri.key", "NEWPASS34"), certModulus(fx() + "/renewed.der"));
}

TEST_F(Renewal, AFailureAtAnyFileStepKeepsTheOldPair) {
    const std::string oldCert = zqtest::readFile(dir + "/signCert.der");
    const std::string oldKey = zqtest::readFile(dir + "/signPri.key");
    for (const char* step : {"open", "write", "rename"})
        for (const char* file : {"signCert.der", "signPri.key"}) {
            CmpMock ca("REF1", "CODE1", fx() + "/renewed.pem");
            zstore::g_writerFault = [&](std::string_view s, const std::string& path) {
                return s == step && path.size() >= strlen(file) &&
                       path.compare(path.size() - strlen(file), strlen(file), file) == 0;
            };
            EXPECT_EQ(renew(ca), 1052031) << step << " " << file;
            zstore::g_writerFault = nullptr;
            EXPECT_EQ(zqtest::readFile(dir + "/signCert.der"), oldCert) << step << " " << file;
            EXPECT_EQ(zqtest::readFile(dir + "/signPri.key"), oldKey) << step << " " << file;
            EXPECT_EQ(filesUnder(dir), (std::set<std::string>{"signCert.der", "signPri.key"})) << step << " " << file;
        }
    // Without a fault the same exchange goes through.
    CmpMock ca("REF1", "CODE1", fx() + "/renewed.pem");
    EXPECT_EQ(renew(ca), 0);
}

TEST_F(Renewal, AWrongPasswordOrNoTrustedCaChangesNothing) {
    CmpMock ca("REF1", "CODE1", fx() + "/renewed.pem");
    const std::string certPath = dir + "/signCert.der";
    char* enc = nullptr;
    int encLen = 0;
    VPL_DataEncode(0, certPath.data(), static_cast<int>(certPath.size()), &enc, &encLen);
    const std::string text = "CAIP=127.0.0.1&CAPORT=" + ca.port();
    EXPECT_EQ(VPL_Update_Certificate_Reduction(0, 0, 0, enc, encLen, "yessign", 7, text.c_str(),
                                               static_cast<int>(text.size()), "WRONGPW1", 8, "NEWPASS34", 9, "SHA256",
                                               6, "2048", 4),
              1052025);
    unlink((home / "NPKI/yessign/ca.der").c_str());
    EXPECT_EQ(renew(ca), 1052025);
    VPL_Free(enc, encLen);
    EXPECT_EQ(zqtest::readFile(dir + "/signCert.der"), zqtest::readFile(fx() + "/old.der"));
    EXPECT_EQ(zqtest::readFile(dir + "/signPri.key"), zqtest::readFile(fx() + "/old.p8"));
}

class Pkcs10 : public Issue {
protected:
    // openssl x509 -req under the private CA, as the request stub issues.
    std::string issueFor(const std::string& requestDer, const std::string& name) {
        const std::string req = home / (name + ".req"), cert = home / (name + ".pem");
        zqtest::writeFile(req, requestDer);
        EXPECT_EQ(run({"openssl", "x509", "-req", "-inform", "DER", "-in", req, "-CA", fx() + "/ppki.pem", "-CAkey",
                       fx() + "/ppki.key", "-set_serial", "77", "-days", "5", "-out", cert})
                      .status,
                  0);
        unlink(req.c_str());
        const std::string pem = zqtest::readFile(cert);
        unlink(cert.c_str());
        return pem;
    }
    std::string request(const char* dn, std::string& key) {
        char *req = nullptr, *k = nullptr;
        int reqLen = 0, kLen = 0;
        EXPECT_EQ(VPL_Get_Issue_Certificate_PKCS10_ex(0, nullptr, 0, nullptr, 0, "VERIDAN_CA", 10, dn,
                                                      static_cast<int>(strlen(dn)), "PPKIPASS1", 9, 2048, &req, &reqLen,
                                                      &k, &kLen),
                  0);
        key.assign(k ? k : "", kLen);
        char* der = nullptr;
        int derLen = 0;
        VPL_DataDecode(0, req, reqLen, &der, &derLen);
        std::string out(der ? der : "", derLen);
        VPL_Free(req, reqLen);
        VPL_Free(k, kLen);
        VPL_Free(der, derLen);
        return out;
    }
    static constexpr const char* kDir = "PPKI/Veridan/VERIDAN CA/USER";
};

TEST_F(Pkcs10, TheKeptKeyMeetsItsCertificateInALaterJob) {
    unsetenv("ZEPHALTCMP_TEST_NEWKEY");
    std::string key;
    const std::string req = request("CN=Park Private,OU=Staff,O=Veridan,C=KR", key);
    ASSERT_FALSE(req.empty());
    ASSERT_EQ(VPL_Make_Temp_PPriKey(key.data(), static_cast<int>(key.size()), "PPKIPASS1"), 0);
    // Named as openssl prints the modulus (no leading zero), SHA-1, upper case.
    zqtest::writeFile(home / "key.der", key);
    const auto digest =
        run({"sh", "-c",
             "openssl pkcs8 -inform DER -provider legacy -provider default -passin pass:PPKIPASS1 -in '" +
                 home / "key.der" +
                 "' | openssl rsa -noout -modulus | cut -d= -f2 | python3 -c 'import "
                 "sys,binascii,hashlib; print(hashlib.sha1(binascii.unhexlify(sys.stdin.read().strip()"
                 ")).hexdigest().upper())'"})
            .output;
    unlink((home / "key.der").c_str());
    const std::string kept = home / (std::string(kDir) + "/" + digest.substr(0, 40) + ".bin");
    EXPECT_EQ(zqtest::readFile(kept), key);
    EXPECT_EQ(modeOf(kept), 0600u);

    const std::string cert = issueFor(req, "park");
    ASSERT_EQ(VPL_Make_PCertAndPPriKey(0, nullptr, cert.c_str()), 0);
    const std::string dir = home / (std::string(kDir) + "/cn=Park Private,ou=Staff,o=Veridan,c=KR");
    EXPECT_EQ(keyModulus(dir + "/signPri.key", "PPKIPASS1"), certModulus(dir + "/signCert.der"));
    EXPECT_EQ(modeOf(dir + "/signPri.key"), 0600u);
    EXPECT_FALSE(zqtest::fileExists(kept)) << "the kept key goes once stored";
    // A second time there is no kept key: nothing more is made.
    const auto before = filesUnder(home.path());
    EXPECT_EQ(VPL_Make_PCertAndPPriKey(0, nullptr, cert.c_str()), 1052030);
    EXPECT_EQ(filesUnder(home.path()), before);
}

TEST_F(Pkcs10, PairsThatDoNotBelongOrLeaveTheStoreAreRefused) {
    unsetenv("ZEPHALTCMP_TEST_NEWKEY");
    std::string key, otherKey;
    const std::string req = request("CN=../../evil,O=Veridan,C=KR", key);
    const std::string other = request("CN=Other,O=Veridan,C=KR", otherKey);
    ASSERT_EQ(VPL_Make_Temp_PPriKey(key.data(), static_cast<int>(key.size()), "PPKIPASS1"), 0);
    const auto kept = filesUnder(home.path());
    EXPECT_EQ(VPL_Make_PCertAndPPriKey(0, nullptr, issueFor(req, "evil").c_str()), 1052009);
    EXPECT_EQ(filesUnder(home.path()), kept) << "the kept key stays";
    const std::string cert = issueFor(other, "other");
    EXPECT_EQ(
        VPL_Store_PCertAndPPriKey(0, nullptr, cert.c_str(), key.data(), static_cast<int>(key.size()), "PPKIPASS1"),
        1052014)
        << "another key";
    EXPECT_EQ(VPL_Store_PCertAndPPriKey(0, nullptr, cert.c_str(), otherKey.data(), static_cast<int>(otherKey.size()),
                                        "WRONG"),
              1051027);
    EXPECT_EQ(filesUnder(home.path()), kept);
    EXPECT_EQ(VPL_Store_PCertAndPPriKey(0, nullptr, cert.c_str(), otherKey.data(), static_cast<int>(otherKey.size()),
                                        "PPKIPASS1"),
              0);
    // The held request is the last one: its key is otherKey.
    EXPECT_EQ(VPL_Insert_PKCS10_Cert(issueFor(req, "evil2").c_str(), 10), 1052032) << "cut text";
    const std::string evil = issueFor(req, "evil3");
    EXPECT_EQ(VPL_Insert_PKCS10_Cert(evil.c_str(), static_cast<int>(evil.size())), 1052014);
    EXPECT_EQ(VPL_Insert_PKCS10_Cert(cert.c_str(), static_cast<int>(cert.size())), 0);
    EXPECT_EQ(
        VPL_Get_Issue_Certificate_PKCS10(0, nullptr, 0, nullptr, 0, "YESSIGN", 7, "CN=a", 4, "p", 1, nullptr, nullptr),
        1052011);
    char* r = nullptr;
    int rl = 0;
    EXPECT_EQ(VPL_Get_Issue_Certificate_PKCS10(0, nullptr, 0, nullptr, 0, "YESSIGN", 7, "CN=a", 4, "p", 1, &r, &rl),
              1052016);
    EXPECT_EQ(VPL_Get_Issue_Certificate_PKCS10(0, nullptr, 0, nullptr, 0, "VERI", 4, "CN=a,ZZ=b", 4, "p", 1, &r, &rl),
              1052071);
    VPL_Delete_PKCS10_Cert();
    EXPECT_EQ(VPL_Insert_PKCS10_Cert(cert.c_str(), static_cast<int>(cert.size())), 1052072);
}

}  // namespace
