// Log-in and signing from a web page to the relay, end to end: the agent
// registered with -I on a temporary install directory and home, a page
// served by python's http.server and opened in headless Chromium (whose NSS
// database, in that home, trusts the agent's root), the stub relay, openbox,
// and xdotool as the user who picks the certificate and types the password.
// The page posts the command, polls getResult and reports the answer to its
// server. Screenshots of every window and box go to
// <build>/tests/agent/acceptance-screenshots.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "AgentTestSupport.h"
#include "RelayStub.h"
#include "TestSupport.h"
#include "job/ParsingFunc.h"
#include "job/SigningFixtures.h"

namespace {

using namespace std::chrono_literals;
using agenttest::RelayStub;
using signfx::fx;

// A process group of our own, ended by its id.
class Proc {
public:
    Proc(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {},
         const std::string& stderrFile = {}) {
        std::vector<std::string> env = zqtest::environmentWith(extraEnv);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::setpgid(0, 0);
            if (!stderrFile.empty()) {
                FILE* f = std::fopen(stderrFile.c_str(), "w");
                if (f) ::dup2(fileno(f), 2);
            }
            std::vector<char*> args, envp;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            for (auto& e : env) envp.push_back(e.data());
            envp.push_back(nullptr);
            ::execvpe(args[0], args.data(), envp.data());
            ::_exit(127);
        }
        if (m_pid > 0) ::setpgid(m_pid, m_pid);
    }
    ~Proc() {
        if (m_pid <= 0) return;
        ::kill(-m_pid, SIGTERM);
        for (int i = 0; i < 50 && ::waitpid(m_pid, nullptr, WNOHANG) == 0; ++i) std::this_thread::sleep_for(100ms);
        ::kill(-m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    Proc(const Proc&) = delete;
    Proc& operator=(const Proc&) = delete;

private:
    int m_pid = -1;
};

// The daemon that -I started in the background: the process whose program
// is this test's installed copy.
int daemonPid(const std::string& program) {
    for (const auto& e : std::filesystem::directory_iterator("/proc")) {
        const std::string name = e.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code ec;
        const auto exe = std::filesystem::read_symlink(e.path() / "exe", ec);
        if (!ec && exe == program) return std::stoi(name);
    }
    return -1;
}

std::string b64(const std::string& bytes) { return zqtest::run({"base64", "-w0"}, bytes).output; }

const std::string kTitle = "인증서 선택";
// The Cancel button's centre, from the window's bottom right corner.
const int kCancelFromRight = 55, kCancelFromBottom = 30;
const std::string kSignTitle = "전자서명 확인";

class Acceptance : public ::testing::Test {
protected:
    static void SetUpTestSuite() { std::filesystem::create_directories(shots()); }
    void SetUp() override {
        signfx::dir();
        agenttest::makeInstallDir(install.path(), true);
        std::filesystem::copy(ZQ_UI_STAGE, install.path(),
                              std::filesystem::copy_options::recursive | std::filesystem::copy_options::skip_existing);
        zqtest::makeDirs(home / "NPKI/.veridanCACerts");
        zqtest::makeDirs(home / ".config");
        zqtest::writeFile(home / "qlDebugMode", "DEBUG_MODE=1");
        certPath = place("hong", signfx::kHongFolder);
        env = agenttest::programEnv(install.path(), home.path());
        env.push_back("QUILLETEX_RELAY_CAFILE=" + RelayStub::caFile());
        // A desktop session's locale: the windows' titles are UTF-8 to the
        // window tools.
        env.push_back("LC_ALL=C.UTF-8");
        wm = std::make_unique<Proc>(std::vector<std::string>{"openbox"});
        // Registers the root in the home's NSS database and starts the agent.
        ASSERT_EQ(zqtest::run({install / "ZEPHALTQuilletEX", "-I"}, {}, env).status, 0);
        ASSERT_TRUE(agenttest::waitForPort(15888, 20s));
        pagePort = agenttest::freePort();
        pages = std::make_unique<Proc>(
            std::vector<std::string>{zqtest::kPython, "-m", "http.server", std::to_string(pagePort), "--bind",
                                     "127.0.0.1", "--directory", site.path()},
            std::vector<std::string>{}, site / "access.log");
        ASSERT_TRUE(agenttest::waitForPort(pagePort, 10s));
        stub.answer("setResult", 200, "");
    }
    void TearDown() override {
        browser.reset();
        pages.reset();
        const int pid = daemonPid(install / "ZEPHALTQuilletEX");
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            for (int i = 0; i < 50 && ::kill(pid, 0) == 0; ++i) std::this_thread::sleep_for(100ms);
        }
        wm.reset();
    }
    static std::string shots() { return zqtest::binaryDir() + "/tests/agent/acceptance-screenshots"; }
    void shot(const std::string& name) { zqtest::run({"import", "-window", "root", shots() + "/" + name + ".png"}); }
    // A user's signing pair in the home's store; the certificate's path.
    std::string place(const std::string& from, const std::string& folder, const std::string& ca = "yessign") {
        const std::string d = home / ("NPKI/" + ca + "/USER/" + folder);
        zqtest::makeDirs(d);
        for (const char* f : {"signCert.der", "signPri.key"})
            zqtest::writeFile(d + "/" + f, zqtest::readFile(fx(from + "/" + f)));
        return d + "/signCert.der";
    }
    // The relay's policy for funcName, with the nonce and the server time.
    void policy(const std::string& funcName, const std::string& data = "") {
        // ServerTime comes last, as relays send it.
        const std::string list = std::string(data.empty() ? "" : "SignatureAlertTitle=t&") +
                                 "Nonce=" + URLEncodeText(b64(nonce)) + "&ServerTime=" + URLEncodeText(b64(serverTime));
        std::string answer = "funcName=" + funcName + "&PolicyList=" + URLEncodeText(list);
        // A sign job's data and the window's title, each behind its type letter.
        window = data.empty() ? kTitle : kSignTitle;
        answer += data.empty()
                      ? "&paramCount=0"
                      : "&paramCount=2&param1=" + URLEncodeText("S" + data) + "&param2=S" + URLEncodeText(kSignTitle);
        stub.answer("getFunc", 200, answer);
    }
    // Opens the page that sends func with the job's parameter.
    void openPage(const std::string& func) {
        ++page;
        const std::string param = "SESSION=JSESSIONID%3Dabc&reqID=9&policyName=" + func + "&url=" + stub.url() +
                                  "&wv=1&macVersion=1&linuxVersion=1.2.8";
        const std::string file = "job" + std::to_string(page) + ".html";
        zqtest::writeFile(site / file, R"(<html><body><script>
const agent = 'https://127.0.0.1:15888/';
async function cmd(o) {
  const r = await fetch(agent, {method: 'POST', headers: {'Content-Type': 'application/x-www-form-urlencoded'},
                                body: 'data=' + encodeURIComponent(JSON.stringify(o))});
  return (await r.json()).zunres;
}
async function report(what) { await fetch('/report)" +
                                           std::to_string(page) + R"(?' + encodeURIComponent(what)); }
(async () => {
  try {
    await report('started=' + await cmd({func: ')" +
                                           func + R"(', param: ')" + param + R"('}));
    while ((await cmd({func: 'isRunning'})) !== '1') await new Promise(r => setTimeout(r, 200));
    await report('result=' + await cmd({func: 'getResult'}));
  } catch (e) { await report('error=' + e); }
})();
</script></body></html>)");
        browser.reset();
        profile = std::make_unique<zqtest::TempDir>("zqchromium");
        browser = std::make_unique<Proc>(
            std::vector<std::string>{"chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                                     "--no-first-run", "--disable-background-networking", "--disable-component-update",
                                     "--disable-sync", "--user-data-dir=" + profile->path(),
                                     "http://127.0.0.1:" + std::to_string(pagePort) + "/" + file},
            std::vector<std::string>{"HOME=" + home.path()}, tmp / "chromium.log");
    }
    // What the page reported under key ("started", "result"), waiting.
    std::string report(const std::string& key, std::chrono::seconds wait = 60s) {
        const std::string needle = "GET /report" + std::to_string(page) + "?";
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (std::chrono::steady_clock::now() < deadline) {
            std::ifstream in(site / "access.log");
            std::string line;
            while (std::getline(in, line)) {
                const size_t at = line.find(needle);
                if (at == std::string::npos) continue;
                const std::string v = URLDecodeText(
                    line.substr(at + needle.size(), line.find(' ', at + needle.size()) - at - needle.size()));
                if (v.compare(0, key.size() + 1, key + "=") == 0) return v.substr(key.size() + 1);
                if (v.compare(0, 6, "error=") == 0) return v;
            }
            std::this_thread::sleep_for(200ms);
        }
        return "no report";
    }
    // xdotool and wmctrl match Korean titles only under a UTF-8 locale.
    static zqtest::RunResult tool(const std::vector<std::string>& argv) {
        return zqtest::run(argv, {}, {"LC_ALL=C.UTF-8"});
    }
    bool xdo(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"timeout", "30", "xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        return tool(argv).status == 0;
    }
    // The window or box of this title, shown and given the keyboard.
    bool activate(const std::string& title) {
        return xdo(
            {"search", "--sync", "--onlyvisible", "--name", "^" + title + "$", "windowactivate", "--sync", "%1"});
    }
    bool typePassword(const std::string& password) {
        if (!activate(window)) return false;
        std::this_thread::sleep_for(300ms);
        return xdo({"type", "--delay", "15", password}) && xdo({"key", "Return"});
    }
    // The open window's id ("" when it does not show).
    std::string windowId() {
        const auto id =
            tool({"timeout", "30", "xdotool", "search", "--sync", "--onlyvisible", "--name", "^" + window + "$"});
        return id.status == 0 ? id.output.substr(0, id.output.find('\n')) : std::string();
    }
    // The window manager's close box.
    bool closeWindow() {
        const std::string win = windowId();
        return !win.empty() && tool({"timeout", "20", "wmctrl", "-i", "-c", win}).status == 0;
    }
    // The Cancel button, at the bottom right of the window.
    bool clickCancel() {
        const std::string win = windowId();
        if (win.empty()) return false;
        const std::string geometry = tool({"xdotool", "getwindowgeometry", "--shell", win}).output;
        const auto number = [&](const std::string& key) {
            const size_t at = geometry.find(key + "=");
            return at == std::string::npos ? 0 : std::stoi(geometry.substr(at + key.size() + 1));
        };
        return xdo({"mousemove", "--window", win, std::to_string(number("WIDTH") - kCancelFromRight),
                    std::to_string(number("HEIGHT") - kCancelFromBottom), "click", "1"});
    }
    bool closeBox(const std::string& title, const std::string& shotName) {
        if (!activate(title)) return false;
        shot(shotName);
        return xdo({"key", "Return"});
    }
    std::string diagnose() {
        shot("failure");
        std::string out = "posts:\n";
        for (const auto& p : posts()) out += p.substr(0, 300) + "\n";
        out +=
            zqtest::run(
                {"sh", "-c",
                 "xdotool search --onlyvisible --name . 2>/dev/null | while read w; do xdotool getwindowname $w; done"})
                .output;
        return out + agentLog();
    }
    // The agent's log, for a failure's message.
    std::string agentLog() {
        std::string all;
        for (const auto& e : std::filesystem::directory_iterator(home / "NPKI/.veridanCACerts"))
            if (e.path().filename().string().rfind("quilletEX_", 0) == 0) all += zqtest::readFile(e.path());
        const size_t last = all.rfind("PolicyName=");
        const size_t from = last == std::string::npos || last < 3000 ? 0 : last - 3000;
        return all.substr(from, 12000);
    }
    std::vector<std::string> posts() {
        std::vector<std::string> out;
        for (const auto& r : stub.requests()) out.push_back(r.body);
        return out;
    }
    // The message of the last ret=1 post.
    static std::string message(const std::string& body) {
        const std::string inner = URLDecodeText(body.substr(body.find("&returnValue=") + 13));
        return inner.compare(0, 14, "ret=1&retdata=") == 0 ? URLDecodeText(inner.substr(14)) : "not a result: " + inner;
    }
    static std::string field(const std::string& text, const std::string& name) {
        const size_t at = text.find(name + "=");
        if (at == std::string::npos) return "?";
        const size_t from = at + name.size() + 1;
        return text.substr(from, text.find('&', from) - from);
    }
    std::string errPost(const std::string& code) {
        return "Action=setResult&reqID=9&returnValue=ret%3d2%26retdata%3dErrMsg%253d" + code;
    }

    zqtest::TempDir install{"zqinstall"};
    zqtest::TempDir home{"zqhome"};
    zqtest::TempDir site{"zqsite"};
    zqtest::TempDir tmp{"zqaccept"};
    std::vector<std::string> env;
    RelayStub stub;
    std::unique_ptr<Proc> wm, pages, browser;
    std::unique_ptr<zqtest::TempDir> profile;
    unsigned short pagePort = 0;
    int page = 0;
    std::string window = kTitle;  // the open window's title
    std::string certPath;
    const std::string nonce = std::string("0123456789abcdef") + std::string("FEDCBA9876543210");
    const std::string serverTime = "1700000000";
    const std::string pw = signfx::password();
};

TEST_F(Acceptance, LogInAndSignFromAPage) {
    // Log-in.
    policy("login");
    openPage("login");
    EXPECT_EQ(report("started"), "1");
    ASSERT_TRUE(activate(kTitle)) << agentLog() << "\nposts: " << posts().size() << " "
                                  << (posts().empty() ? "" : posts()[0]) << "\n"
                                  << zqtest::run({"ls", "-laR", home.path()}).output;
    shot("login-window");
    ASSERT_TRUE(typePassword(pw));
    EXPECT_EQ(report("result"), "1");
    auto p = posts();
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].compare(0, 19, "Action=getFunc&reqI"), 0);
    std::string m = message(p[1]);
    EXPECT_TRUE(signfx::rsaSha1Verifies(signfx::base64Decode(URLDecodeText(field(m, "sg"))), nonce,
                                        fx("hong/signCert.der"), tmp.path()))
        << m;
    EXPECT_EQ(signfx::hex(signfx::seedDecrypt(URLDecodeText(field(m, "er")), nonce.substr(0, 16), nonce.substr(16))),
              signfx::value("random"));

    // Signing, in the agent's next job.
    const std::string data = "이체 확인 1,000원";
    policy("sign", data);
    openPage("sign");
    EXPECT_EQ(report("started"), "1");
    ASSERT_TRUE(activate(kSignTitle)) << diagnose();
    shot("sign-window");
    ASSERT_TRUE(typePassword(pw));
    EXPECT_EQ(report("result"), "1");
    p = posts();
    ASSERT_EQ(p.size(), 4u);
    m = message(p[3]);
    const std::string p7 = signfx::base64Decode(URLDecodeText(field(m, "signature")));
    EXPECT_EQ(signfx::cmsVerify(p7, tmp.path()), data);
    EXPECT_EQ(signfx::cmsPeer(p7, fx("hong/signCert.der"), tmp.path()).at("signingTime"), serverTime);
}

TEST_F(Acceptance, WrongPasswordsCancelCloseAndAnExpiredCertificate) {
    // Five wrong passwords: four boxes with the tries left, then the fifth
    // ends the job with one 1425.
    policy("login");
    openPage("login");
    EXPECT_EQ(report("started"), "1");
    for (int i = 1; i <= 5; ++i) {
        ASSERT_TRUE(typePassword("wrong-" + std::to_string(i))) << i;
        ASSERT_TRUE(closeBox("경고", "wrong-password-" + std::to_string(i))) << i;
    }
    EXPECT_EQ(report("result"), "1");
    EXPECT_EQ(posts().back(), errPost("1425"));
    EXPECT_EQ(posts().size(), 2u);

    // Cancel, then the window manager's close: one ret 3 each.
    for (int way = 0; way < 2; ++way) {
        policy("login");
        openPage("login");
        EXPECT_EQ(report("started"), "1");
        ASSERT_TRUE(activate(kTitle));
        if (way == 0)
            ASSERT_TRUE(clickCancel());
        else
            ASSERT_TRUE(closeWindow());
        EXPECT_EQ(report("result"), "1") << way;
        const auto p = posts();
        ASSERT_EQ(p.size(), 4u + 2 * way);
        EXPECT_EQ(p.back(), "Action=setResult&reqID=9&returnValue=ret%3d3%26retdata%3d") << way;
    }

    // An expired certificate is refused; the user then cancels.
    std::filesystem::remove_all(home / "NPKI/yessign");
    zqtest::TempDir other("zqexpired");
    ASSERT_EQ(zqtest::run({"sh", zqtest::sourceDir() + "/tests/fixtures/make_npki_home.sh", other.path(), "2"}).status,
              0);
    std::filesystem::copy(other / "NPKI/SignKorea", home / "NPKI/SignKorea", std::filesystem::copy_options::recursive);
    policy("login");
    openPage("login");
    EXPECT_EQ(report("started"), "1");
    ASSERT_TRUE(typePassword("fixture-pw"));
    ASSERT_TRUE(closeBox("확인", "expired-certificate"));
    ASSERT_TRUE(closeWindow());
    EXPECT_EQ(report("result"), "1");
    const auto p = posts();
    ASSERT_EQ(p.size(), 8u);
    EXPECT_EQ(p[7], "Action=setResult&reqID=9&returnValue=ret%3d3%26retdata%3d") << "the refusal posted nothing";
}

}  // namespace
