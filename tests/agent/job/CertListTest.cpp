// The job's certificate lists, window filters and CA certificates against
// the store library, on homes make_npki_home.sh builds with openssl: rows
// checked with openssl x509, CA files against openssl's fingerprints and
// cmp, ids of a temporary installation. The UI is a recording stand-in.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include <zephaltpavix/zephaltpavix.h>

#include "TestSupport.h"
#include "common/DMLinuxUtil.h"
#include "job/Job.h"

namespace {

using zqtest::TempDir;

// Keeps the rows the job adds, numbered as the UI numbers them.
class RecordingUi : public IJobUi {
public:
    void MessageBox(const char*, int) override {}
    int MessageBoxOKCancel(const char*, int) override { return 0; }
    void LanguageSet(const char*) override {}
    int OpenWindow(JobWindow) override { return -1; }
    void QuitLoop() override {}
    void CloseJobWindow() override {}
    void ClearCertLists() override {
        lists[0].clear();
        ++clears;
    }
    int AddCertLists(const CertLists& row, int listNo) override {
        auto& list = lists[listNo == 1 ? 1 : 0];
        list.push_back(row);
        return static_cast<int>(list.size()) - 1;
    }
    void GetSelectedCertValue(SelectedCertValues& out) override { out = SelectedCertValues{}; }
    void ReleaseUi() override {}

    std::vector<CertLists> lists[2];
    int clears = 0;
};

std::vector<std::string> g_log;
int writeLine(const char* tag, const char* text) {
    g_log.push_back(std::string(tag) + " " + text);
    return 1;
}
int writeInt(const char* tag, int value) { return writeLine(tag, std::to_string(value).c_str()); }

// The installation directory is read once per process: one for the whole
// binary, whose CACerts folder the tests fill.
std::string g_installDir;
class InstallDirEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        m_dir = std::make_unique<TempDir>("certlist-install");
        g_installDir = m_dir->path();
        ::setenv("QUILLETEX_INSTALL_DIR", g_installDir.c_str(), 1);
        ASSERT_EQ(std::string(DMLinuxUtil_GetInstallDir()), g_installDir);
    }
    void TearDown() override { m_dir.reset(); }

private:
    std::unique_ptr<TempDir> m_dir;
};
[[maybe_unused]] ::testing::Environment* const g_env = ::testing::AddGlobalTestEnvironment(new InstallDirEnvironment);

std::string script(const char* name) { return zqtest::sourceDir() + "/tests/fixtures/" + name; }

// openssl's answer, trailing newline dropped.
std::string openssl(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"openssl"};
    argv.insert(argv.end(), args.begin(), args.end());
    zqtest::RunResult r = zqtest::run(argv);
    EXPECT_EQ(r.status, 0) << args[0];
    while (!r.output.empty() && r.output.back() == '\n') r.output.pop_back();
    return r.output;
}

std::string sha1Name(const std::string& derPath) {
    std::string fp = openssl({"x509", "-inform", "DER", "-in", derPath, "-noout", "-fingerprint", "-sha1"});
    fp = fp.substr(fp.find('=') + 1);
    fp.erase(std::remove(fp.begin(), fp.end(), ':'), fp.end());
    return fp + ".der";
}

std::string base64(const std::string& path) { return openssl({"base64", "-A", "-in", path}); }

// python's quote_plus with the core's safe characters and lower-case hex.
std::string urlEncode(const std::string& text) {
    return zqtest::run({zqtest::kPython, "-c",
                        "import re, sys, urllib.parse as u; sys.stdout.write(re.sub('%[0-9A-F]{2}', lambda m: "
                        "m.group(0).lower(), u.quote_plus(sys.argv[1], safe='@./_-')))",
                        text})
        .output;
}

std::vector<std::string> folderNames(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

class CertList : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_fixture = new TempDir("npki-home");
        ASSERT_EQ(zqtest::run({"sh", script("make_npki_home.sh"), s_fixture->path(), "6"}).status, 0);
    }
    static void TearDownTestSuite() {
        delete s_fixture;
        s_fixture = nullptr;
    }

    void SetUp() override {
        useHome(fixture());
        Quillet_SetUi(&ui);
        g_log.clear();
        LinuxQuillet_InitWriteLog(0, writeLine, writeInt);
        strPolicyList = &policy;
        filter_info = CertFilter{"issuer=", false};
        ZUNLIB_Init();
        std::filesystem::remove_all(g_installDir + "/CACerts");
    }
    void TearDown() override {
        VPL_Cleanup();
        strPolicyList = nullptr;
        Quillet_SetUi(nullptr);
        LinuxQuillet_InitWriteLog(0, nullptr, nullptr);
    }

    // The job's home and the store's are one.
    static void useHome(const std::string& home) {
        DMLinuxUtil_SetUserHOMEDir(home.c_str());
        ::setenv("QUILLETEX_HOME", home.c_str(), 1);
    }
    static const std::string& fixture() { return s_fixture->path(); }
    static std::string fixtureCA(const char* name) { return fixture() + "/ca/" + name; }

    std::string lastFilterLine() const {
        for (auto it = g_log.rbegin(); it != g_log.rend(); ++it)
            if (it->rfind("[NOT] GetDomainCertList(), filter =", 0) == 0)
                return it->substr(std::string("[NOT] GetDomainCertList(), filter = ").size());
        return "<none>";
    }

    static TempDir* s_fixture;
    RecordingUi ui;
    StructPolicyList policy;
};
TempDir* CertList::s_fixture = nullptr;

// ---- Lists ------------------------------------------------------------------------------

TEST_F(CertList, TheHomesRowsAsOpensslReadsThem) {
    ASSERT_EQ(GetDomainCertList(0, nullptr, nullptr), 0);
    EXPECT_EQ(g_CertListsCount, 6);
    EXPECT_EQ(tmp_CertListsCount, 6);
    ASSERT_EQ(ui.lists[0].size(), 6u);
    std::map<std::string, std::string> flags;
    for (const CertLists& row : ui.lists[0]) {
        // The path the row names is a certificate of the home; its CN is the
        // row's subject (EUC-KR there).
        ASSERT_TRUE(zqtest::fileExists(row.certpath)) << row.certpath;
        EXPECT_EQ(row.certpath.rfind(fixture() + "/NPKI/", 0), 0u);
        EXPECT_EQ(row.keypath, row.certpath.substr(0, row.certpath.size() - 12) + "signPri.key");
        const std::string cn = openssl(
            {"x509", "-inform", "DER", "-in", row.certpath, "-noout", "-subject", "-nameopt", "utf8,sep_multiline"});
        const std::string utf8Subject = zqtest::run({"iconv", "-f", "CP949", "-t", "UTF-8"}, row.subject).output;
        EXPECT_NE(cn.find("CN=" + utf8Subject), std::string::npos) << cn << " / " << utf8Subject;
        flags[utf8Subject.substr(utf8Subject.size() - 8, 2)] = row.expireflag;
        EXPECT_EQ(row.certtype, "1");
        // The expiry date is openssl's notAfter in the local time zone.
        const std::string notAfter =
            openssl({"x509", "-inform", "DER", "-in", row.certpath, "-noout", "-enddate"}).substr(9);
        const std::string local = zqtest::run({"date", "-d", notAfter, "+%Y-%m-%d"}).output;
        EXPECT_EQ(row.expiredata + "\n", local);
    }
    // User 0 ends in 10 days, user 1 has expired.
    EXPECT_EQ(flags["00"], "2");
    EXPECT_EQ(flags["01"], "1");
    EXPECT_EQ(flags["02"], "0");
}

TEST_F(CertList, TheRootCAListGetsTheSelfIssuedRoot) {
    ASSERT_EQ(MakeRootCACertList(), 0);
    ASSERT_EQ(ui.lists[1].size(), 1u);
    EXPECT_EQ(ui.lists[1][0].subject, "KISA RootCA 4");
    EXPECT_EQ(ui.clears, 0) << "list 1 is not cleared";
    // The other CA certificates are listed as such.
    ASSERT_EQ(GetDomainCertList(1, nullptr, nullptr), 0);
    EXPECT_EQ(ui.lists[0].size(), 3u);
}

TEST_F(CertList, StoreFailuresEmptyTheList) {
    ASSERT_EQ(GetDomainCertList(0, nullptr, nullptr), 0);
    ASSERT_FALSE(ui.lists[0].empty());
    // A removable drive without its name: the store's 1052027.
    EXPECT_EQ(GetDomainCertList(4, nullptr, nullptr), -1);
    EXPECT_TRUE(ui.lists[0].empty());
    // The domain without its context: -1.
    VPL_Cleanup();
    EXPECT_EQ(GetDomainCertList(0, nullptr, nullptr), -1);
    EXPECT_TRUE(ui.lists[0].empty());
    EXPECT_EQ(g_CertListsCount, 0);
    // Counts and codes.
    for (int rc : {-1, 1051000, 1051042, 1052027, 1052078, INT_MIN}) EXPECT_TRUE(CertListFailed(rc, 0)) << rc;
    for (int rc : {0, 1, 6, 1050999}) EXPECT_FALSE(CertListFailed(rc, 0)) << rc;
    EXPECT_TRUE(CertListFailed(3, -1));
}

TEST_F(CertList, RefillsAppendTheExpiryFilterToACopy) {
    policy.ViewValidCert = "1";
    const CertFilter filter{"issuer=" + urlEncode("SignKorea CA2") + "|", false};
    const CertFilter before = filter;
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(GetDomainCertList(0, nullptr, &filter), 0);
        ASSERT_EQ(lastFilterLine(), before.text + "&expire=1") << i;
        ASSERT_EQ(ui.lists[0].size(), 1u) << "SignKorea's users 1 (expired) and 4";
    }
    EXPECT_EQ(filter.text, before.text);
    // DisableExpiredCert does the same; without either the expired one shows.
    policy.ViewValidCert = "01";
    ASSERT_EQ(GetDomainCertList(0, nullptr, &filter), 0);
    EXPECT_EQ(ui.lists[0].size(), 1u) << "read as a decimal number";
    policy.ViewValidCert = "0";
    policy.DisableExpiredCert = 1;
    ASSERT_EQ(GetDomainCertList(0, nullptr, &filter), 0);
    EXPECT_EQ(ui.lists[0].size(), 1u);
    policy.DisableExpiredCert = 0;
    ASSERT_EQ(GetDomainCertList(0, nullptr, &filter), 0);
    EXPECT_EQ(lastFilterLine(), before.text);
    EXPECT_EQ(ui.lists[0].size(), 2u);
    // No filter: nothing appended, nothing filtered.
    policy.ViewValidCert = "1";
    ASSERT_EQ(GetDomainCertList(0, nullptr, nullptr), 0);
    EXPECT_EQ(ui.lists[0].size(), 6u);
}

TEST_F(CertList, ABrokenFilterListsNothing) {
    policy.CAName = "VERIDANCA";
    policy.DeleteCertSerialNumber = "not%20a%20certificate";
    CertFilter filter{"stale", false};
    EXPECT_EQ(MakeFilterInfo(filter), -1);
    EXPECT_TRUE(filter.broken);
    ASSERT_EQ(GetDomainCertList(0, nullptr, nullptr), 0);
    ASSERT_FALSE(ui.lists[0].empty());
    EXPECT_EQ(GetDomainCertList(0, nullptr, &filter), -1);
    EXPECT_TRUE(ui.lists[0].empty());
}

TEST_F(CertList, FilterOfTheCertificateToDelete) {
    // VERIDANCA sends the certificate itself, URL-encoded PEM.
    const std::string cert = fixture() + "/ca/yessign.pem";
    policy.CAName = "VERIDANCA";
    policy.DeleteCertSerialNumber = urlEncode(zqtest::readFile(cert));
    CertFilter filter;
    ASSERT_EQ(MakeFilterInfo(filter), 0);
    EXPECT_FALSE(filter.broken);
    std::string serial = openssl({"x509", "-in", cert, "-noout", "-serial"});
    EXPECT_EQ(filter.text, serial);
    EXPECT_EQ(policy.DeleteCertSerialNumber, urlEncode(zqtest::readFile(cert))) << "the policy stays as sent";
    // The other policies, from the policy's texts.
    struct Case {
        std::string deleteSerial, issuer, serial, want;
    } cases[] = {
        {"", "", "ABC", "serial=0ABC"},
        {"", "", "0ABC", "serial=0ABC"},
        {"", "cn=Test CA,o=X", "12", "issuer=Test+CA&serial=12"},
        {"5A", "cn=Test CA,o=X", "12", "serial=5A"},
        {std::string(4096, 'F'), "", "", "serial=" + std::string(4096, 'F')},
        {"", "cn=" + std::string(1000, '\xb0'), "1",
         "issuer=" +
             [] {
                 std::string s;
                 for (int i = 0; i < 511; ++i) s += "%b0";
                 return s;
             }() +
             "&serial=01"},
    };
    policy.CAName = "yessign";
    for (const Case& c : cases) {
        policy.DeleteCertSerialNumber = c.deleteSerial;
        policy.CertIssuerDN = c.issuer;
        policy.CertSerialNumber = c.serial;
        ASSERT_EQ(MakeFilterInfo(filter), 0);
        EXPECT_EQ(filter.text, c.want);
    }
}

TEST_F(CertList, RecordsAddedBeforeABadOneStay) {
    const std::string good =
        "subject^a&issuer^b&oidtype^c&expiredata^2030-01-01&certpath^L3g%3D&keypath^k&"
        "expireflag^0&certtype^1|";
    EXPECT_EQ(pars_CertListsString((good + good).c_str(), 0), 2);
    EXPECT_EQ(ui.lists[0].size(), 2u);
    EXPECT_EQ(ui.lists[0][0].certpath, "/x");
    EXPECT_EQ(pars_CertListsString((good + "subject^a&issuer^b&nosuch^c|" + good).c_str(), 0), -1);
    EXPECT_EQ(ui.lists[0].size(), 3u);
    EXPECT_EQ(pars_CertListsString("subject^a&certpath^%25%25|", 1), -1) << "a path that does not decode";
    EXPECT_TRUE(ui.lists[1].empty());
    // A path over 1023 bytes is never cut into another file's name: the
    // record is skipped.
    const std::string longPath = "/" + std::string(1100, 'p');
    char* enc = nullptr;
    int encLen = 0;
    ASSERT_EQ(VPL_DataEncode(2, longPath.data(), static_cast<int>(longPath.size()), &enc, &encLen), 0);
    const std::string longRecord = "subject^long&certpath^" + std::string(enc, static_cast<size_t>(encLen)) + "|";
    VPL_Free(enc, encLen);
    EXPECT_EQ(pars_CertListsString((longRecord + good).c_str(), 1), 1);
    ASSERT_EQ(ui.lists[1].size(), 1u);
    EXPECT_EQ(ui.lists[1][0].subject, "a");
}

// ---- CA certificates --------------------------------------------------------------

class CACerts : public CertList {
protected:
    void SetUp() override {
        CertList::SetUp();
        useHome(home.path());
        caDir = home.path() + "/NPKI/.veridanCACerts";
        zqtest::makeDirs(caDir);
    }
    TempDir home{"ca-home"};
    std::string caDir;
};

TEST_F(CACerts, TwoBase64CertificatesAsOpensslNamesThem) {
    const std::string a = fixtureCA("yessign.der"), b = fixtureCA("SignKorea.der");
    ASSERT_EQ(Make_IndividualCertFiles((base64(a) + "|" + base64(b)).c_str()), 0);
    EXPECT_EQ(folderNames(caDir),
              (std::vector<std::string>{std::min(sha1Name(a), sha1Name(b)), std::max(sha1Name(a), sha1Name(b))}));
    EXPECT_EQ(zqtest::run({"cmp", a, caDir + "/" + sha1Name(a)}).status, 0);
    EXPECT_EQ(zqtest::run({"cmp", b, caDir + "/" + sha1Name(b)}).status, 0);
    EXPECT_EQ(filter_info.text, "issuer=" + urlEncode("yessignCA Class 2") + "|" + urlEncode("SignKorea CA2") + "|");

    // A stored one by its id, with a trailing "|"; lower-case hex names the
    // same file.
    filter_info = CertFilter{"issuer=", false};
    std::string id = sha1Name(b).substr(0, 40);
    std::transform(id.begin(), id.end(), id.begin(), ::tolower);
    ASSERT_EQ(Make_IndividualCertFiles((id + "|").c_str()), 0);
    EXPECT_EQ(filter_info.text, "issuer=" + urlEncode("SignKorea CA2") + "|");
    // One item alone.
    filter_info = CertFilter{"issuer=", false};
    ASSERT_EQ(Make_IndividualCertFiles(base64(fixtureCA("CrossCert.der")).c_str()), 0);
    EXPECT_EQ(filter_info.text, "issuer=" + urlEncode("CrossCertCA2") + "|");
    EXPECT_EQ(folderNames(caDir).size(), 3u);
}

TEST_F(CACerts, FailuresClearTheFilterAndWriteNothing) {
    const std::string good = base64(fixtureCA("yessign.der"));
    // Not hex: never a file name. The file the text would name exists and
    // holds a certificate.
    const std::string item = "../" + std::string(37, 's');
    ASSERT_EQ(item.size(), 40u);
    std::filesystem::copy_file(fixtureCA("yessign.der"), home.path() + "/NPKI/" + std::string(37, 's') + ".der");
    struct Case {
        const char* what;
        std::string text;
    } cases[] = {
        {"40 characters with a path in them", good + "|" + item},
        {"a stored id whose file is missing", std::string(40, 'A')},
        {"Base64 of something else", "AAAA"},
        {"an item over 4095 bytes", good + "|" + std::string(4096, 'A')},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(caDir);
        zqtest::makeDirs(caDir);
        filter_info = CertFilter{"issuer=", false};
        EXPECT_EQ(Make_IndividualCertFiles(c.text.c_str()), -1) << c.what;
        EXPECT_EQ(filter_info.text, "") << c.what;
        EXPECT_FALSE(filter_info.broken) << c.what;
    }
    EXPECT_TRUE(folderNames(caDir).empty()) << "the last case refused the text before any item";
    // A subject that does not begin with its CN adds nothing to the filter.
    TempDir certs("ca-odd");
    ASSERT_EQ(zqtest::run({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", certs / "k.pem",
                           "-subj", "/CN=First/O=Last", "-outform", "DER", "-out", certs / "odd.der"})
                  .status,
              0);
    filter_info = CertFilter{"issuer=", false};
    EXPECT_EQ(Make_IndividualCertFiles(base64(certs / "odd.der").c_str()), 0);
    EXPECT_EQ(filter_info.text, "issuer=");
    EXPECT_TRUE(zqtest::fileExists(caDir + "/" + sha1Name(certs / "odd.der")));
}

TEST_F(CACerts, IdsOfTheUserAndTheInstallation) {
    const std::string installCA = g_installDir + "/CACerts";
    zqtest::makeDirs(installCA);
    const std::string name = sha1Name(fixtureCA("root.der"));
    std::filesystem::copy_file(fixtureCA("root.der"), installCA + "/" + name);
    zqtest::writeFile(installCA + "/a.der", "short name");
    const std::string odd = "$(touch ran)`touch ran2`;touch ran3";
    zqtest::writeFile(installCA + "/" + odd, "odd name");
    zqtest::makeDirs(installCA + "/" + std::string(40, 'B') + ".der");  // a folder: no id, not copied
    const std::string cwd = std::filesystem::current_path();

    std::string ids;
    ASSERT_EQ(FindCACertToCACertsIDs(ids), 0);
    EXPECT_EQ(ids, urlEncode(name.substr(0, 40) + "|"));
    for (const std::string& n : {name, std::string("a.der"), odd})
        EXPECT_EQ(zqtest::run({"cmp", installCA + "/" + n, caDir + "/" + n}).status, 0) << n;
    for (const std::string& dir : {cwd, caDir, installCA, home.path()})
        for (const char* ran : {"/ran", "/ran2", "/ran3"}) EXPECT_FALSE(zqtest::fileExists(dir + ran)) << dir;
    EXPECT_EQ(std::string(std::filesystem::current_path()), cwd);

    // A second job copies nothing: the files keep their inodes.
    struct stat before {
    }, after{};
    ASSERT_EQ(::stat((caDir + "/" + name).c_str(), &before), 0);
    ASSERT_EQ(FindCACertToCACertsIDs(ids), 0);
    ASSERT_EQ(::stat((caDir + "/" + name).c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(ids, urlEncode(name.substr(0, 40) + "|")) << "an id is sent once";
    // A changed file is copied again.
    zqtest::writeFile(installCA + "/a.der", "changed");
    ASSERT_EQ(FindCACertToCACertsIDs(ids), 0);
    EXPECT_EQ(zqtest::readFile(caDir + "/a.der"), "changed");

    // The user's own ids come first, and stay without the installation's.
    const std::string userName = sha1Name(fixtureCA("CrossCert.der"));
    std::filesystem::copy_file(fixtureCA("CrossCert.der"), caDir + "/" + userName);
    ASSERT_EQ(FindCACertToCACertsIDs(ids), 0);
    EXPECT_NE(ids.find(urlEncode(userName.substr(0, 40) + "|")), std::string::npos);
    std::filesystem::remove_all(installCA);
    ASSERT_EQ(FindCACertToCACertsIDs(ids), 0);
    const std::set<std::string> both{name.substr(0, 40), userName.substr(0, 40)};
    std::string decoded =
        zqtest::run({zqtest::kPython, "-c",
                     "import sys, urllib.parse as u; sys.stdout.write(u.unquote_plus(sys.argv[1]))", ids})
            .output;
    std::set<std::string> got;
    for (size_t at = 0; at < decoded.size(); at += 41) got.insert(decoded.substr(at, 40));
    EXPECT_EQ(got, both);
    // Nothing anywhere: -1 and no ids.
    std::filesystem::remove_all(caDir);
    EXPECT_EQ(FindCACertToCACertsIDs(ids), -1);
    EXPECT_TRUE(ids.empty());
}

// ---- Parser front ends ---------------------------------------------------------------

TEST_F(CertList, MultiSignData) {
    auto b64 = [](const std::string& s) {
        char* out = nullptr;
        int len = 0;
        EXPECT_EQ(VPL_DataEncode(2, s.data(), static_cast<int>(s.size()), &out, &len), 0);
        std::string text(out, static_cast<size_t>(len));
        VPL_Free(out, len);
        return text;
    };
    auto plain64 = [](const std::string& s) {
        char* out = nullptr;
        int len = 0;
        EXPECT_EQ(VPL_DataEncode(0, s.data(), static_cast<int>(s.size()), &out, &len), 0);
        std::string text(out, static_cast<size_t>(len));
        VPL_Free(out, len);
        return text;
    };
    const std::string hd = "HD=" + b64("header%20text");
    const std::string data = "||" + hd + "|a=" + plain64(std::string("d1\0x", 4)) + "||b=" + plain64("d2") + "|c|e=";
    PDFMultiSignData out;
    EXPECT_EQ(ParseSignData_PDFMultiSign(data.c_str(), &out, 1), 0);
    EXPECT_EQ(out.hd, "header text");
    EXPECT_TRUE(out.items.empty());
    EXPECT_EQ(ParseSignData_PDFMultiSign(data.c_str(), &out, 0), 2);
    EXPECT_EQ(out.hd, "header text");
    ASSERT_EQ(out.items.size(), 2u);
    EXPECT_EQ(out.items[0].name, "a");
    EXPECT_EQ(out.items[0].value, std::string("d1\0x", 4)) << "decoded bytes keep their length";
    EXPECT_EQ(out.items[1].value, "d2");
    // Never fewer items than were sent.
    std::string many;
    for (int i = 0; i < 33; ++i) many += "n" + std::to_string(i) + "=" + plain64("v") + "|";
    EXPECT_EQ(ParseSignData_PDFMultiSign(many.c_str(), &out, 0), 0);
    EXPECT_TRUE(out.items.empty());
    EXPECT_EQ(ParseSignData_PDFMultiSign(("a=" + plain64(std::string(1025, 'v'))).c_str(), &out, 0), 0);
    EXPECT_EQ(ParseSignData_PDFMultiSign(("a=" + plain64(std::string(1024, 'v'))).c_str(), &out, 0), 1);
    EXPECT_EQ(ParseSignData_PDFMultiSign((std::string(32, 'n') + "=" + plain64("v")).c_str(), &out, 0), 0);
    EXPECT_EQ(ParseSignData_PDFMultiSign(nullptr, &out, 0), 0);
    EXPECT_EQ(ParseSignData_PDFMultiSign("|||", &out, 0), 0);
}

}  // namespace
