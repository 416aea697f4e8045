// The window launchers with a recording UI, against the stub relay: which
// window opens with which data, the title logo and alert banner (signed with
// openssl by a key of the test, whose certificate the test installs), the
// screen-keyboard option.
#include <gtest/gtest.h>

#include <filesystem>

#include "RelayStub.h"
#include "common/DMLinuxUtil.h"
#include "job/Job.h"
#include "job/Launchers.h"
#include "job/ParsingFunc.h"

namespace {

using agenttest::RelayStub;

// An installation of the test's own: Resources/image_verify_cert.pem is the
// certificate of the test's logo key.
zqtest::TempDir* g_install = nullptr;
std::string g_logoKey;

class InstallEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        g_install = new zqtest::TempDir("launcher-install");
        ::setenv("QUILLETEX_INSTALL_DIR", g_install->path().c_str(), 1);
        ASSERT_EQ(std::string(DMLinuxUtil_GetInstallDir()), g_install->path());
        std::filesystem::create_directories(*g_install / "Resources");
        g_logoKey = *g_install / "logo.key";
        ASSERT_EQ(
            zqtest::run({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", g_logoKey, "-subj",
                         "/CN=logo signer (test)", "-out", *g_install / "Resources/image_verify_cert.pem"})
                .status,
            0);
    }
    void TearDown() override { delete g_install; }
};
[[maybe_unused]] ::testing::Environment* const g_env = ::testing::AddGlobalTestEnvironment(new InstallEnvironment);

struct Opened {
    JobWindow window;
    std::string data;
    int number;
};

class RecordingUi : public IJobUi {
public:
    void MessageBox(const char*, int) override {}
    int MessageBoxOKCancel(const char*, int) override { return 1; }
    void LanguageSet(const char*) override {}
    int OpenWindow(JobWindow w) override {
        opened.push_back({w, "", 0});
        return 0;
    }
    int OpenWindowWith(JobWindow w, const std::string& data, int number) override {
        opened.push_back({w, data, number});
        return 0;
    }
    void SetScreenKeyboardProviderOption(int option, const char* provider, const char* providerOption) override {
        keypad = {option, provider, providerOption};
    }
    void QuitLoop() override {}
    void CloseJobWindow() override {}
    void ClearCertLists() override {}
    int AddCertLists(const CertLists&, int) override { return 0; }
    void GetSelectedCertValue(SelectedCertValues& out) override { out = SelectedCertValues{}; }
    void ReleaseUi() override {}

    std::vector<Opened> opened;
    struct {
        int option = -1;
        std::string provider, providerOption;
    } keypad;
};

// A file of bytes signed as the relay's logos are: the SHA-1 of the image,
// signed raw with PKCS#1 v1.5 (openssl pkeyutl), appended.
std::string signedPicture(const zqtest::TempDir& dir, const std::string& image, const std::string& digestSuffix = "") {
    zqtest::writeFile(dir / "img", image);
    const std::string digest = zqtest::run({"openssl", "dgst", "-sha1", "-binary", dir / "img"}).output;
    zqtest::writeFile(dir / "digest", digest + digestSuffix);
    const zqtest::RunResult sig =
        zqtest::run({"openssl", "pkeyutl", "-sign", "-inkey", g_logoKey, "-in", dir / "digest"});
    EXPECT_EQ(sig.status, 0);
    EXPECT_EQ(sig.output.size(), 256u);
    return image + sig.output;
}

// Bytes of a small PNG drawn by ImageMagick.
std::string picture(const zqtest::TempDir& dir) {
    EXPECT_EQ(zqtest::run({"convert", "-size", "120x20", "xc:navy", dir / "p.png"}).status, 0);
    return zqtest::readFile(dir / "p.png");
}

class Launchers : public ::testing::Test {
protected:
    void SetUp() override {
        DMLinuxUtil_SetUserHOMEDir(home.path().c_str());
        std::filesystem::create_directories(home / "NPKI/.veridanCACerts");
        Quillet_SetUi(&ui);
        launchWindowFunc_GVar_Initialize();
        g_downloadedTitleLogoPath.clear();
        strPolicyList = &policy;
        urls.url = stub.url();
        urls.reqID = "7";
        urls.policyName = "sign";
        strURLValues = &urls;
        g_signParams = SignParams{};
    }
    void TearDown() override {
        strPolicyList = nullptr;
        strURLValues = nullptr;
        Quillet_SetUi(nullptr);
    }
    std::vector<std::string> getPaths() {
        std::vector<std::string> out;
        for (const auto& r : stub.requests())
            if (r.method == "GET") out.push_back(r.path);
        return out;
    }

    agenttest::TrustRelayCa trust;
    zqtest::TempDir home{"launcher-home"}, work{"launcher-work"};
    RelayStub stub;
    RecordingUi ui;
    StructPolicyList policy;
    StructURLValues urls;
};

TEST_F(Launchers, SelectCertUIModeChoosesTheSignWindowAndTheDataGoesWithIt) {
    const struct {
        const char* mode;
        JobWindow window;
    } cases[] = {
        {"1", JobWindow::ListSign},
        {"0", JobWindow::Sign},
        {"10", JobWindow::TextSign},
        {"", JobWindow::TextSign},
    };
    for (const auto& c : cases) {
        ui.opened.clear();
        policy.SelectCertUIMode = c.mode;
        g_signParams.data = "a=1&b=2";
        EXPECT_EQ(launch_SignWindow(), 0);
        ASSERT_EQ(ui.opened.size(), 1u) << c.mode;
        EXPECT_EQ(ui.opened[0].window, c.window) << c.mode;
        EXPECT_EQ(ui.opened[0].data, "a=1&b=2") << c.mode;
        EXPECT_EQ(g_swForCertSign, 1);
    }
    ui.opened.clear();
    launch_LoginWindow();
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_EQ(ui.opened[0].window, JobWindow::Login);
}

TEST_F(Launchers, MultiSignShowsItsHeaderText) {
    urls.policyName = "MDSignPolicy";
    policy.SelectCertUIMode = "10";
    const std::string header = "계약서 3건에 서명합니다.";
    const std::string b64 = zqtest::run({"openssl", "base64", "-A"}, header).output;
    const std::string item = zqtest::run({"openssl", "base64", "-A"}, std::string(20, 'd')).output;
    g_signParams.data = "HD=" + URLEncodeText(b64) + "|doc1=" + item;
    launch_SignWindow();
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_EQ(ui.opened[0].data, header);
}

TEST_F(Launchers, TheTitleLogoIsFetchedUnderItsSignedNameAndShownOnlyWhenItsSignatureChecks) {
    const std::string image = picture(work);
    struct Case {
        const char* what;
        std::string address, body;
        bool shown;
        std::string path;  // the GET
    } cases[] = {
        {"signed", "/img/logo.png", signedPicture(work, image), true, "/img/logo_TRUSTQLT.png"},
        {"already signed name", "/img/logo_TRUSTQLT.png", signedPicture(work, image), true, "/img/logo_TRUSTQLT.png"},
        {"one byte flipped", "/img/logo.png", "", false, "/img/logo_TRUSTQLT.png"},
        {"a signature only", "/img/logo.png", signedPicture(work, "").substr(0, 256), false, "/img/logo_TRUSTQLT.png"},
        {"gif before png", "/img/a.gif.png", signedPicture(work, image), true, "/img/a.gif_TRUSTQLT.png"},
    };
    cases[2].body = signedPicture(work, image);
    cases[2].body[10] ^= 1;
    for (const Case& c : cases) {
        launchWindowFunc_GVar_Initialize();
        g_downloadedTitleLogoPath.clear();
        stub.answer("GET", 200, c.body);
        policy.TitleLogoPathPC = stub.url(c.address);
        const size_t before = getPaths().size();
        EXPECT_EQ(Download_TitleLogoPC(), c.shown ? 0 : -1) << c.what;
        ASSERT_EQ(getPaths().size(), before + 1) << c.what;
        EXPECT_EQ(getPaths().back(), c.path) << c.what;
        EXPECT_EQ(g_swForTitleLogoPath, c.shown ? 1 : 0) << c.what;
        const std::string local =
            std::string(c.what) == "gif before png" ? "DownloadTitleLogoImage.gif" : "DownloadTitleLogoImage.png";
        EXPECT_EQ(zqtest::readFile(home / ("NPKI/.veridanCACerts/" + local)), c.body) << c.what;
        EXPECT_EQ(g_downloadedTitleLogoPath, c.shown ? home / ("NPKI/.veridanCACerts/" + local) : "") << c.what;
    }
    // An http address, an address without a picture name: nothing fetched.
    for (const std::string& address : {std::string("http://127.0.0.1:1/logo.png"), stub.url("/img/logo.bmp")}) {
        const size_t before = getPaths().size();
        policy.TitleLogoPathPC = address;
        EXPECT_EQ(Download_TitleLogoPC(), -1) << address;
        EXPECT_EQ(getPaths().size(), before) << address;
    }
}

TEST_F(Launchers, TheLogoCheckWantsExactlyTheDigest) {
    const std::string image = picture(work);
    const std::string good = signedPicture(work, image);
    std::string badSig = good;
    badSig[badSig.size() - 1] ^= 1;
    const struct {
        const char* what;
        std::string bytes;
        int result;
    } cases[] = {
        {"signed", good, 0},
        {"image byte flipped", std::string(1, static_cast<char>(image[0] ^ 1)) + good.substr(1), 1052005},
        // A block holding the digest and one byte more: a comparison over the
        // digest's length alone took it.
        {"digest and one byte more", signedPicture(work, image, "X"), 1052005},
        {"256 bytes", good.substr(good.size() - 256), 1052030},
        {"empty", "", 1052030},
    };
    for (const auto& c : cases) {
        zqtest::writeFile(work / "pic", c.bytes);
        EXPECT_EQ(Verify_downloadedTitleLogo((work / "pic").c_str()), c.result) << c.what;
    }
    zqtest::writeFile(work / "pic", badSig);
    EXPECT_NE(Verify_downloadedTitleLogo((work / "pic").c_str()), 0) << "signature byte flipped";
    EXPECT_EQ(Verify_downloadedTitleLogo(nullptr), 1052030);
    EXPECT_EQ(Verify_downloadedTitleLogo((work / "missing").c_str()), 1052030);
}

TEST_F(Launchers, TheAlertBannerShowsForYesOnlyAndFallsBackWhenUnsigned) {
    const std::string image = picture(work);
    const std::string builtIn = g_install->path() + "/Resources/img_alert_banner_quillet_ex_win.gif";
    const struct {
        const char* show;
        bool sign;
        int flag;
        const char* path;  // "" none, "built-in", "downloaded"
    } cases[] = {
        {"YES", true, 1, "downloaded"}, {"yes", false, 1, "built-in"}, {"Yes", true, 0, ""}, {"", true, 0, ""}};
    for (const auto& c : cases) {
        stub.answer("GET", 200, c.sign ? signedPicture(work, image) : image + std::string(256, 'x'));
        policy.ShowAlertBanner = c.show;
        policy.AlertBannerURL = stub.url("/banner.png");
        launch_SignWindow();
        EXPECT_EQ(g_swShowSignAlertBanner, c.flag) << c.show;
        const std::string want = std::string(c.path) == "built-in" ? builtIn
                                 : std::string(c.path) == "downloaded"
                                     ? home / "NPKI/.veridanCACerts/DownloadAlertImage.png"
                                     : "";
        EXPECT_EQ(g_DownloadAlertBannerPath, want) << c.show;
        launchWindowFunc_GVar_Initialize();
    }
}

TEST_F(Launchers, ScreenKeyboardOptionFollowsTheTypingAndKeypadCharacters) {
    // Of eight characters the seventh allows typing, the eighth the keypad;
    // otherwise the first character decides.
    const struct {
        const char* mode;
        int option;
    } cases[] = {
        {"", 2},         {"1", 3},        {"2", 1},        {"3", 2},        {"00000010", 2},
        {"10000000", 3}, {"20000000", 1}, {"00000011", 3}, {"00000001", 1}, {"0000001", 2},
    };
    for (const auto& c : cases) EXPECT_EQ(ScreenKeyboardOptionFromMode(c.mode), c.option) << c.mode;
    policy.ScreenKeyboardCheckMode = "2";
    policy.ScreenKeyboardProvider = "nshc";
    policy.ScreenKeyboardProviderOption = "url=https://k.example/&width=300";
    launch_ManagerWindow();
    EXPECT_EQ(ui.keypad.option, 1);
    EXPECT_EQ(ui.keypad.provider, "nshc");
    EXPECT_EQ(ui.keypad.providerOption, "url=https://k.example/&width=300");
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_EQ(ui.opened[0].window, JobWindow::Manager);
}

TEST_F(Launchers, TheOtherLaunchersOpenTheirWindows) {
    policy.AuthenticationNumber = "12345678";
    const struct {
        int (*launch)();
        JobWindow window;
        int number;
    } cases[] = {
        {launch_IssueWindow, JobWindow::Issue, 0},
        {launch_certRequestWindow, JobWindow::CertRequest, 0},
        {launch_certAndKeyStoreAfterCertRequestWindow, JobWindow::CertAndKeyStore, 0},
        {launch_RevokeWindow, JobWindow::Revoke, 0},
        {launch_UpdateWindow, JobWindow::Update, 0},
        {launch_Roaming_CertExport_Window, JobWindow::RoamingExport, 0},
        {launch_Roaming_CertImport_Window, JobWindow::RoamingImport, 12345678},
    };
    for (const auto& c : cases) {
        ui.opened.clear();
        EXPECT_EQ(c.launch(), 0);
        ASSERT_EQ(ui.opened.size(), 1u);
        EXPECT_EQ(ui.opened[0].window, c.window);
        EXPECT_EQ(ui.opened[0].number, c.number);
    }
    EXPECT_EQ(g_swForCertUpdate, 1);
    EXPECT_EQ(g_swForCertExport, 1);
    ui.opened.clear();
    EXPECT_EQ(launch_VersionWindow(), 0);
    EXPECT_TRUE(ui.opened.empty());
    EXPECT_EQ(FindFileName_From_URL("https://a/b/c.png"), "c.png");
    EXPECT_EQ(FindFileName_From_URL("c.png"), "c.png");
    EXPECT_STREQ(FindFileExtension_From_URL("a.b.png"), ".png");
    EXPECT_EQ(FindFileExtension_From_URL("png"), nullptr);
}

}  // namespace
