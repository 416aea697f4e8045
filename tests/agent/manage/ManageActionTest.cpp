// The manager's and roaming actions with a scripted UI, on homes and
// volumes of the test's: the store's files checked with cmp and find, the
// PKCS#12 files with openssl, pk12util and python3-cryptography, the
// roaming and relay servers the stubs (every body recorded).
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>

#include <zephaltpavix/zephaltpavix.h>

#include "RoamingStub.h"
#include "TestSupport.h"
#include "common/DMLinuxUtil.h"
#include "job/Job.h"
#include "job/IRelayClient.h"
#include "job/ManageActions.h"
#include "job/Roaming.h"

namespace {

using agenttest::RelayStub;
using agenttest::RoamingStub;
using namespace std::chrono_literals;

const char kPw[] = "hong-pw-1";
const char kIdn[] = "8001011234567";
const std::string kDn = "cn=Hong,ou=KFB,ou=personal4IB,o=yessign,c=kr";

// Plays the user: the chosen certificate is the test's; boxes and closings
// are counted.
class ScriptedUi : public IJobUi {
public:
    void MessageBox(const char* text, int) override { boxes.push_back(text); }
    int MessageBoxOKCancel(const char*, int) override { return 1; }
    void LanguageSet(const char*) override {}
    int OpenWindow(JobWindow) override { return -1; }
    void QuitLoop() override {}
    void CloseJobWindow() override { ++closes; }
    void ClearCertLists() override {}
    int AddCertLists(const CertLists&, int) override { return 0; }
    void GetSelectedCertValue(SelectedCertValues& out) override { out = chosen; }
    void ReleaseUi() override {}
    void ShowRoamingNumber(const std::string& number, int digits) override {
        shown = number;
        shownDigits = digits;
    }

    void choose(const std::string& certPath, int storeType, const char* password = kPw) {
        chosen = SelectedCertValues{};
        std::strcpy(chosen.certpath, certPath.c_str());
        chosen.selectedStoreType = storeType;
        std::strcpy(chosen.password, password);
    }
    SelectedCertValues chosen{};
    std::vector<std::string> boxes;
    int closes = 0;
    std::string shown;
    int shownDigits = 0;
};

int writeLine(const char*, const char*) { return 1; }
int writeInt(const char*, int) { return 1; }

std::string login() {
    const passwd* pw = getpwuid(getuid());
    return pw ? pw->pw_name : "";
}

bool quietly(std::vector<std::string> argv) {
    argv.insert(argv.begin(), {"sh", "-c", "exec \"$0\" \"$@\" >/dev/null 2>&1"});
    return zqtest::run(argv).status == 0;
}

// Every file under dir, relative.
std::vector<std::string> filesUnder(const std::string& dir) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(dir, ec); it != std::filesystem::end(it);
         it.increment(ec))
        if (it->is_regular_file()) out.push_back(std::filesystem::relative(it->path(), dir));
    std::sort(out.begin(), out.end());
    return out;
}

class ManageActions : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_fx = new zqtest::TempDir("sign-store");
        ASSERT_EQ(zqtest::run({zqtest::kPython, zqtest::sourceDir() + "/tests/store/make_sign_store.py", s_fx->path()})
                      .status,
                  0);
    }
    static void TearDownTestSuite() {
        delete s_fx;
        s_fx = nullptr;
    }
    static std::string fx(const std::string& rel) { return s_fx->path() + "/" + rel; }

    void SetUp() override {
        DMLinuxUtil_SetUserHOMEDir(home.path().c_str());
        ::setenv("QUILLETEX_HOME", home.path().c_str(), 1);
        ::setenv("QUILLETEX_MEDIA_ROOT", media.path().c_str(), 1);
        LinuxQuillet_InitWriteLog(0, writeLine, writeInt);
        Quillet_SetUi(&ui);
        ZUNLIB_Init();
        userDir = home / ("NPKI/yessign/USER/" + kDn);
        zqtest::makeDirs(userDir);
        for (const char* f : {"signCert.der", "signPri.key", "kmCert.der", "kmPri.key"})
            zqtest::writeFile(userDir + "/" + f, zqtest::readFile(fx(std::string("hong/") + f)));
        ui.choose(userDir + "/signCert.der", 0);
        usb1 = media / ("media/" + login() + "/USB1");
        zqtest::makeDirs(usb1);
    }
    void TearDown() override {
        Roaming_GVar_Initialize();
        VPL_Cleanup();
        strURLValues = nullptr;
        strPolicyList = nullptr;
        Quillet_SetUi(nullptr);
        LinuxQuillet_InitWriteLog(0, nullptr, nullptr);
        ::unsetenv("QUILLETEX_HOME");
        ::unsetenv("QUILLETEX_MEDIA_ROOT");
    }

    // A PKCS#12 of Hong's signing pair made by openssl.
    std::string opensslP12(const std::string& out, const char* password, bool legacy) {
        std::vector<std::string> argv{
            "openssl",    "pkcs12", "-export",           "-in",      fx("hong/signCert.der"),         "-certfile",
            fx("ca.pem"), "-inkey", fx("hong/sign.pem"), "-passout", std::string("pass:") + password, "-out",
            out};
        // openssl takes the DER certificate only as PEM: convert first.
        zqtest::run({"openssl", "x509", "-inform", "DER", "-in", fx("hong/signCert.der"), "-out", out + ".crt"});
        argv[4] = out + ".crt";
        if (legacy) argv.push_back("-legacy");
        EXPECT_TRUE(quietly(argv));
        return out;
    }

    static inline zqtest::TempDir* s_fx = nullptr;
    zqtest::TempDir home{"managehome"};
    zqtest::TempDir media{"managemedia"};
    zqtest::TempDir work{"managework"};
    ScriptedUi ui;
    std::string userDir, usb1;
};

TEST_F(ManageActions, PasswordCheckIdentityAndChange) {
    EXPECT_EQ(sig_Check_CertPasswd(kPw), 0);
    EXPECT_EQ(sig_Check_CertPasswd("wrong"), -1);
    EXPECT_EQ(sig_Cert_Indentification(kPw, kIdn), 0);
    EXPECT_EQ(sig_Cert_Indentification(kPw, "8001011234568"), -1);
    EXPECT_EQ(sig_Cert_Indentification("wrong", kIdn), -1);

    const std::string key = zqtest::readFile(userDir + "/signPri.key");
    EXPECT_EQ(sig_ChangePasswd_clicked("wrong", "new-pw-22"), -2);
    EXPECT_EQ(zqtest::readFile(userDir + "/signPri.key"), key);
    ASSERT_EQ(sig_ChangePasswd_clicked(kPw, "new-pw-22"), 0);
    EXPECT_EQ(sig_Check_CertPasswd(kPw), -1);
    EXPECT_EQ(sig_Check_CertPasswd("new-pw-22"), 0);
    EXPECT_EQ(sig_Cert_Indentification("new-pw-22", kIdn), 0) << "the key keeps its random";
}

TEST_F(ManageActions, CopyToAVolumeAndDelete) {
    EXPECT_EQ(sig_Cert_Domain_Copy(0, 1, usb1.c_str(), "wrong"), -1);
    EXPECT_TRUE(filesUnder(usb1).empty()) << "a wrong password adds nothing";
    ASSERT_EQ(sig_Cert_Domain_Copy(0, 1, usb1.c_str(), kPw), 0);
    const std::string landed = usb1 + "/NPKI/yessign/USER/" + kDn;
    for (const char* f : {"signCert.der", "signPri.key", "kmCert.der", "kmPri.key"})
        EXPECT_EQ(zqtest::readFile(landed + "/" + f), zqtest::readFile(userDir + "/" + f)) << f;

    ASSERT_EQ(buttonCertDelete_clicked(), 0);
    EXPECT_FALSE(std::filesystem::exists(userDir)) << "the emptied folder goes";
    EXPECT_TRUE(std::filesystem::exists(landed + "/signCert.der"));
    EXPECT_EQ(buttonCertDelete_clicked(), -1) << "nothing left to delete";
}

TEST_F(ManageActions, Pkcs12ImportFromOpenssl) {
    std::filesystem::remove_all(home / "NPKI");
    for (const bool legacy : {false, true}) {
        const std::string p12 = opensslP12(work / (legacy ? "legacy.p12" : "default.p12"), "p12-pw", legacy);
        SCOPED_TRACE(p12);
        EXPECT_EQ(sig_Get_PFXFile_clicked(0, nullptr, p12.c_str(), "wrong"), -2);
        EXPECT_EQ(sig_Get_PFXFile_clicked(1, usb1.c_str(), p12.c_str(), "wrong"), -2);
        EXPECT_TRUE(filesUnder(home.path()).empty());
        EXPECT_TRUE(filesUnder(usb1).empty());
        EXPECT_EQ(sig_Get_PFXFile_clicked(2, nullptr, p12.c_str(), "p12-pw"), -1);

        ASSERT_EQ(sig_Get_PFXFile_clicked(0, nullptr, p12.c_str(), "p12-pw"), 0);
        ASSERT_EQ(sig_Get_PFXFile_clicked(1, usb1.c_str(), p12.c_str(), "p12-pw"), 0);
        for (const std::string& base : {home.path(), usb1}) {
            const std::string dir = base + "/NPKI/yessign/USER/" + kDn;
            EXPECT_EQ(zqtest::readFile(dir + "/signCert.der"), zqtest::readFile(fx("hong/signCert.der")));
            // The stored key opens under the PKCS#12's password.
            ui.choose(dir + "/signCert.der", base == usb1 ? 1 : 0, "p12-pw");
            EXPECT_EQ(sig_Check_CertPasswd("p12-pw"), 0);
        }
        std::filesystem::remove_all(home / "NPKI");
        std::filesystem::remove_all(usb1 + "/NPKI");
    }
}

TEST_F(ManageActions, Pkcs12ExportReadByPeers) {
    const std::string p12 = work / "hong.p12";
    EXPECT_EQ(sig_Set_PFXFile_clicked(p12.c_str(), "wrong"), -2);
    EXPECT_FALSE(std::filesystem::exists(p12));
    ASSERT_EQ(sig_Set_PFXFile_clicked(p12.c_str(), kPw), 0);
    struct stat st {};
    ASSERT_EQ(::stat(p12.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    EXPECT_TRUE(quietly({"openssl", "pkcs12", "-info", "-noout", "-in", p12, "-passin", std::string("pass:") + kPw}));
    EXPECT_TRUE(quietly({"pk12util", "-l", p12, "-W", kPw}));
    const auto same =
        zqtest::run({zqtest::kPython, "-c",
                     "import sys\n"
                     "from cryptography.hazmat.primitives.serialization import pkcs12, load_pem_private_key, Encoding, "
                     "PublicFormat\n"
                     "k, c, _ = pkcs12.load_key_and_certificates(open(sys.argv[1],'rb').read(), sys.argv[2].encode())\n"
                     "ref = load_pem_private_key(open(sys.argv[3],'rb').read(), None)\n"
                     "f = lambda x: x.public_key().public_bytes(Encoding.DER, PublicFormat.SubjectPublicKeyInfo)\n"
                     "sys.exit(0 if f(k) == f(ref) and c is not None else 1)\n",
                     p12, kPw, fx("hong/sign.pem")});
    EXPECT_EQ(same.status, 0) << "the same key";

    struct Name {
        std::string given;
        bool filter;
        std::string written;
    } names[] = {
        {"cert", true, "cert.p12"}, {"cert.p12", true, "cert.p12"},
        {"a.P12", true, "a.P12"},   {"dir.p12/cert", true, "dir.p12/cert.p12"},
        {"cert", false, "cert"},    {".p12", true, ".p12.p12"},
    };
    for (const Name& n : names) EXPECT_EQ(PfxExportName(n.given, n.filter), n.written) << n.given;
}

// ---- Roaming ------------------------------------------------------------------------

class RoamingActions : public ManageActions {
protected:
    void SetUp() override {
        ManageActions::SetUp();
        relay.answer("setResult", 200, "");
        roaming.answerStatus();
        job = StructURLValues{"JSESSIONID=abc", "7", "roaming", relay.url(), "", "", ""};
        policy.RoamingURL = roaming.roamingUrl();
        policy.ProtocolVersion = "1.2";
        policy.AuthenticationNumber = "16";
        strURLValues = &job;
        strPolicyList = &policy;
    }
    // The ret values of the relay's setResult posts, in order ("2:1450").
    std::vector<std::string> results() const {
        std::vector<std::string> out;
        for (const auto& r : relay.requests()) {
            const auto f = RoamingStub::fields(r.body);
            if (f.at("Action") != "setResult") continue;
            const auto inner = RoamingStub::fields(f.at("returnValue"));
            const std::string data = inner.count("retdata") ? inner.at("retdata") : "";
            out.push_back(inner.at("ret") + (data.empty() ? "" : ":" + data));
        }
        return out;
    }
    std::string base64Of(const std::string& path) {
        return zqtest::run({"openssl", "base64", "-A", "-in", path}).output;
    }

    agenttest::TrustRelayCa trust;
    RelayStub relay;
    RoamingStub roaming;
    StructURLValues job;
    StructPolicyList policy;
    const char* number = "1234567812345678";
};

TEST_F(RoamingActions, ImportStoresOnTheChosenMediumAndReportsOnce) {
    std::filesystem::remove_all(home / "NPKI");
    roaming.answerImport(base64Of(opensslP12(work / "r.p12", "p12-pw", false)));
    ASSERT_EQ(sig_ImportCert_clicked(number), kRoamingOk);
    EXPECT_EQ(roaming.bodies("IMPORT"), std::vector<std::string>{"Action=IMPORT&SVer=1.2&AuthNum=1234567812345678"});

    // A wrong password: nothing written, nothing posted, the dialog again.
    EXPECT_EQ(sig_ImportCert_PFXCertSet(1, usb1.c_str(), number, "wrong"), kRoamingRetry);
    EXPECT_TRUE(filesUnder(usb1).empty());
    EXPECT_TRUE(results().empty());
    EXPECT_EQ(ui.closes, 0);

    ASSERT_EQ(sig_ImportCert_PFXCertSet(1, usb1.c_str(), number, "p12-pw"), kRoamingOk);
    EXPECT_EQ(zqtest::readFile(usb1 + "/NPKI/yessign/USER/" + kDn + "/signCert.der"),
              zqtest::readFile(fx("hong/signCert.der")));
    EXPECT_TRUE(filesUnder(home.path()).empty());
    EXPECT_EQ(results(), std::vector<std::string>{"1"});
    EXPECT_EQ(roaming.bodies("SET_STATUS"),
              std::vector<std::string>{"Action=SET_STATUS&SVer=1.2&AuthNum=1234567812345678&Status=COMPLETE"});
    EXPECT_EQ(ui.closes, 1);
}

TEST_F(RoamingActions, ImportRefusalsAndFailures) {
    // Not digits, or not the policy's count: nothing sent, nothing posted.
    for (const char* bad : {"12&4", "1234&678", "12345678", "123456781234567x"})
        EXPECT_EQ(sig_ImportCert_clicked(bad), kRoamingRetry) << bad;
    EXPECT_TRUE(roaming.requests().empty());

    // An unknown number: the window stays, nothing posted.
    roaming.answer("IMPORT", 200, "ERROR$unknown number");
    EXPECT_EQ(sig_ImportCert_clicked(number), kRoamingRetry);
    roaming.answer("IMPORT", 200, "OK$");
    EXPECT_EQ(sig_ImportCert_clicked(number), kRoamingRetry);
    EXPECT_TRUE(results().empty());
    EXPECT_EQ(ui.closes, 0);

    // Data that is no Base64 ends the job with 1452.
    roaming.answer("IMPORT", 200, "OK$***$");
    ASSERT_EQ(sig_ImportCert_clicked(number), kRoamingOk);
    EXPECT_EQ(sig_ImportCert_PFXCertSet(0, nullptr, number, "p12-pw"), kRoamingJobEnded);
    EXPECT_EQ(results(), std::vector<std::string>{"2:ErrMsg=1452"});

    // A failed send ends the job once with 1450.
    roaming.answer("IMPORT", 502, "");
    EXPECT_EQ(sig_ImportCert_clicked(number), kRoamingJobEnded);
    EXPECT_EQ(results(), (std::vector<std::string>{"2:ErrMsg=1452", "2:ErrMsg=1450"}));
    EXPECT_EQ(ui.closes, 2);
}

TEST_F(RoamingActions, ASilentServerFailsWithinTheTimeOut) {
    roaming.answerImport("QUJD");
    roaming.silent(true);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sig_ImportCert_clicked(number), kRoamingJobEnded);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 35s);
    EXPECT_EQ(results(), std::vector<std::string>{"2:ErrMsg=1450"});
    // The next job goes through.
    roaming.silent(false);
    EXPECT_EQ(sig_ImportCert_clicked(number), kRoamingOk);
}

TEST_F(RoamingActions, ExportGivesTheNumberAndPostsOnlyAfterIt) {
    policy.AuthenticationNumber = "8";
    roaming.answerExport("12345678");
    std::string got;
    ASSERT_EQ(sig_ExportCert_clicked(got), kRoamingOk);
    EXPECT_EQ(got, "12345678");
    EXPECT_TRUE(results().empty()) << "nothing before the number is shown";
    const auto bodies = roaming.bodies("EXPORT");
    ASSERT_EQ(bodies.size(), 1u);
    auto f = RoamingStub::fields(bodies[0]);
    EXPECT_EQ(f["SVer"], "1.2");
    EXPECT_EQ(f["Size"], "8");
    // EncCert is a PKCS#12 openssl reads under the certificate's password.
    const std::string p12 = work / "enc.p12";
    zqtest::writeFile(work / "enc.b64", f["EncCert"]);
    ASSERT_TRUE(quietly({"openssl", "base64", "-d", "-A", "-in", work / "enc.b64", "-out", p12}));
    EXPECT_TRUE(quietly({"openssl", "pkcs12", "-info", "-noout", "-in", p12, "-passin", std::string("pass:") + kPw}));

    RoamingExportDone(got);
    EXPECT_EQ(ui.shown, "12345678");
    EXPECT_EQ(ui.shownDigits, 8);
    EXPECT_EQ(results(), std::vector<std::string>{"1"});
    EXPECT_EQ(ui.closes, 1);
}

TEST_F(RoamingActions, ExportFromAPkcs12File) {
    policy.AuthenticationNumber = "12";
    roaming.answerExport("123456781234");
    const std::string p12 = opensslP12(work / "in.p12", "p12-pw", true);
    std::string got;
    EXPECT_EQ(sig_ExportCert_clicked_use_PFXfile(p12.c_str(), "wrong", got), kRoamingRetry);
    EXPECT_TRUE(roaming.requests().empty());
    ASSERT_EQ(sig_ExportCert_clicked_use_PFXfile(p12.c_str(), "p12-pw", got), kRoamingOk);
    EXPECT_EQ(got, "123456781234");
    auto f = RoamingStub::fields(roaming.bodies("EXPORT").at(0));
    zqtest::writeFile(work / "out.b64", f["EncCert"]);
    const std::string out = work / "out.p12";
    ASSERT_TRUE(quietly({"openssl", "base64", "-d", "-A", "-in", work / "out.b64", "-out", out}));
    const auto cert = zqtest::run({"openssl", "pkcs12", "-in", out, "-passin", "pass:p12-pw", "-nokeys", "-clcerts"});
    ASSERT_EQ(cert.status, 0);
    const auto ref = zqtest::run({"openssl", "x509", "-inform", "DER", "-in", fx("hong/signCert.der")});
    EXPECT_NE(cert.output.find(ref.output), std::string::npos) << "the same certificate";
    EXPECT_TRUE(results().empty());
}

TEST_F(RoamingActions, ExportFailures) {
    policy.AuthenticationNumber = "8";
    std::string got;
    // A wrong password: nothing sent, nothing posted, the window stays.
    ui.choose(userDir + "/signCert.der", 0, "wrong");
    EXPECT_EQ(sig_ExportCert_clicked(got), kRoamingRetry);
    EXPECT_TRUE(roaming.requests().empty());
    EXPECT_TRUE(results().empty());
    EXPECT_EQ(ui.closes, 0);

    // A short code: 1459 once, no ret "1", no number.
    ui.choose(userDir + "/signCert.der", 0);
    roaming.answerExport("123");
    EXPECT_EQ(sig_ExportCert_clicked(got), kRoamingJobEnded);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(results(), std::vector<std::string>{"2:ErrMsg=1459"});

    roaming.answer("EXPORT", 200, std::string(kRelayReplyCap + 10, 'x'));
    EXPECT_EQ(sig_ExportCert_clicked(got), kRoamingJobEnded);
    EXPECT_EQ(results().back(), "2:ErrMsg=1458");

    policy.AuthenticationNumber = "10";
    EXPECT_EQ(sig_ExportCert_clicked(got), kRoamingJobEnded);
    EXPECT_EQ(results().back(), "2:ErrMsg=1411");
}

}  // namespace
