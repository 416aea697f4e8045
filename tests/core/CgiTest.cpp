// CGI decoding and output: the decoders over bytes, the probe program run
// with a CGI environment of the test's own, and the probe behind python's
// http.server driven by curl, compared with python's urllib.parse and email
// reading the same requests (tests/core/cgi_peer.py).
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <zunCore/cgi.h>
#include <zunCore/encode.h>

#include "CoreHelpers.h"
#include "services/cgi_internal.hpp"

namespace {

using namespace std::string_literals;
using zcore::cgi::Entries;
using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs pairs(const Entries& e) {
    Pairs p;
    for (const auto& x : e) p.emplace_back(x.name, x.value);
    return p;
}

// The probe's entry records: "<n>:<name><m>:<value>\n".
Pairs records(const std::string& body, std::string* tail = nullptr) {
    Pairs out;
    size_t pos = 0;
    auto field = [&](std::string& f) {
        const size_t colon = body.find(':', pos);
        if (colon == std::string::npos || colon == pos) return false;
        for (size_t i = pos; i < colon; ++i)
            if (body[i] < '0' || body[i] > '9') return false;
        const size_t n = std::stoul(body.substr(pos, colon - pos));
        if (colon + 1 + n > body.size()) return false;
        f = body.substr(colon + 1, n);
        pos = colon + 1 + n;
        return true;
    };
    for (;;) {
        const size_t start = pos;
        std::string name, value;
        if (!field(name) || !field(value) || pos >= body.size() || body[pos] != '\n') {
            if (tail) *tail = body.substr(start);
            return out;
        }
        ++pos;
        out.emplace_back(name, value);
    }
}

// The body of a CGI answer (after the first empty line).
std::string cgiBody(const std::string& answer) {
    const size_t at = answer.find("\n\n");
    return at == std::string::npos ? answer : answer.substr(at + 2);
}

std::string probePath() { return CGI_PROBE; }

struct Ignore {
    Ignore() { ::signal(SIGPIPE, SIG_IGN); }  // a probe that exits early closes its input
} gIgnoreSigpipe;

// The probe run directly, as a web server would start it. With rest, the
// shell prints what the probe left of its standard input after "---".
zqtest::RunResult probe(std::vector<std::string> env, const std::string& input = {}, bool rest = false) {
    env.push_back("GATEWAY_INTERFACE=CGI/1.1");
    if (!rest) return zqtest::run({probePath()}, input, env);
    return zqtest::run({"/bin/sh", "-c", "\"$0\"; echo \"status=$?\"; echo ---; cat", probePath()}, input, env);
}

}  // namespace

TEST(CgiDecode, UrlencodedAndCookies) {
    struct Case {
        const char* text;
        Pairs want;
    } forms[] = {
        {"a=1&b=x%20y", {{"a", "1"}, {"b", "x y"}}},
        {"a&=v&&c=1+2%2B3=4&d=%zz%4", {{"a", ""}, {"", "v"}, {"c", "1 2+3=4"}, {"d", "%zz%4"}}},
        {"%ED%95%9C=%EA%B8%80", {{"\xED\x95\x9C", "\xEA\xB8\x80"}}},
        {"", {}},
    };
    for (const auto& c : forms) {
        Entries e;
        zcore::cgi::parseUrlencoded(c.text, e);
        EXPECT_EQ(pairs(e), c.want) << c.text;
    }
    Entries e;
    zcore::cgi::parseCookies("sid=a%20b;  theme = dark ; empty=; flag;;", e);
    EXPECT_EQ(pairs(e), (Pairs{{"sid", "a b"}, {"theme", " dark "}, {"empty", ""}, {"flag", ""}}));
}

TEST(CgiDecode, ContentLength) {
    struct Case {
        const char* text;
        bool ok;
    } cases[] = {{"0", true},
                 {"17", true},
                 {"16777216", true},
                 {"16777217", false},
                 {"-1", false},
                 {"", false},
                 {" 5", false},
                 {"5 ", false},
                 {"0x10", false},
                 {"+5", false},
                 {"99999999999999999999", false}};
    for (const auto& c : cases) {
        size_t n = 99;
        EXPECT_EQ(zcore::cgi::parseContentLength(c.text, n).empty(), c.ok) << c.text;
    }
    size_t n = 0;
    EXPECT_NE(zcore::cgi::parseContentLength(nullptr, n).find("non-HTTP compliant"), std::string::npos);
}

TEST(CgiDecode, Multipart) {
    const std::string ct = "multipart/form-data; boundary=XyZ";
    const std::string good =
        "--XyZ\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nx\r\ny\r\n"
        "--XyZ\r\ncontent-disposition: FORM-DATA; filename=\"C:\\dir\\f.bin\"; name=b\r\n"
        "Content-Type: application/octet-stream\r\n\r\n\r\n--XyZx\x00\xff\r\n"
        "--XyZ  \r\nContent-Disposition: form-data; name=\"\xED\x95\x9C\"\r\n\r\n\r\n--XyZ--\r\n"s;
    Entries e;
    ASSERT_EQ(zcore::cgi::parseMultipart(ct, good, e), "");
    EXPECT_EQ(pairs(e), (Pairs{{"a", "x\r\ny"},
                               {"b", std::string("\r\n--XyZx\x00\xff", 10)},
                               {"b.length", "10"},
                               {"b.filename", "f.bin"},
                               {"\xED\x95\x9C", ""}}));
    // Quoted boundary, a leading empty line, no parts.
    e.clear();
    EXPECT_EQ(zcore::cgi::parseMultipart("multipart/form-data; boundary=\"q q\"", "\r\n--q q--", e), "");
    EXPECT_TRUE(e.empty());

    const std::string invalid = "_parse_multipart_data() : String format invalid.";
    const std::string end = "_parse_multipart_data() : Internal bug.";
    const std::string part = "--XyZ\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nv\r\n--XyZ--";
    struct Case {
        const char* name;
        std::string contentType, body, error;
    } bad[] = {
        {"no boundary", "multipart/form-data", part, invalid},
        {"empty boundary", "multipart/form-data; boundary=", part, invalid},
        {"long boundary", "multipart/form-data; boundary=" + std::string(201, 'b'), part, invalid},
        {"other first line", ct, "junk\r\n" + part, invalid},
        {"no disposition", ct, "--XyZ\r\nContent-Type: text/plain\r\n\r\nv\r\n--XyZ--", invalid},
        {"no name", ct, "--XyZ\r\nContent-Disposition: form-data; filename=\"f\"\r\n\r\nv\r\n--XyZ--", invalid},
        {"open quote", ct, "--XyZ\r\nContent-Disposition: form-data; name=\"a\r\n\r\nv\r\n--XyZ--", invalid},
        {"not form-data", ct, "--XyZ\r\nContent-Disposition: attachment; name=\"a\"\r\n\r\nv\r\n--XyZ--", invalid},
        {"short name line", ct, "--XyZ\r\nContent-Disposition: form-data; na\r\n\r\nv\r\n--XyZ--", invalid},
        {"two dispositions", ct,
         "--XyZ\r\nContent-Disposition: form-data; name=a\r\nContent-Disposition: form-data; "
         "name=b\r\n\r\nv\r\n--XyZ--",
         invalid},
        {"header without colon", ct, "--XyZ\r\nContent-Disposition form-data\r\n\r\nv\r\n--XyZ--", invalid},
        {"long header line", ct,
         "--XyZ\r\nContent-Disposition: form-data; name=\"" + std::string(1000, 'n') + "\"\r\n\r\nv\r\n--XyZ--",
         "_parse_multipart_data() : Header line too long."},
        {"ends in headers", ct, "--XyZ\r\nContent-Disposition: form-data; name=a", end},
        {"ends in content", ct, "--XyZ\r\nContent-Disposition: form-data; name=a\r\n\r\nvvvv", end},
        {"ends after delimiter", ct, "--XyZ", end},
        {"delimiter glued", ct, "--XyZ\r\nContent-Disposition: form-data; name=a\r\n\r\nv\r\n--XyZx", end},
    };
    for (const auto& c : bad) {
        Entries out;
        // Exactly the body's bytes, so a read past them is seen.
        const coretest::Exact body(c.body);
        EXPECT_EQ(zcore::cgi::parseMultipart(c.contentType, {body.c(), body.bytes.size()}, out), c.error) << c.name;
    }
}

TEST(CgiDecode, HtmlEscape) {
    EXPECT_EQ(zcore::cgi::htmlEscape("<a href=\"x\" title='y'>&amp;</a>"),
              "&lt;a href=&quot;x&quot; title=&#39;y&#39;&gt;&amp;amp;&lt;/a&gt;");
}

// Bad requests end in the error page with status 1 and take nothing from
// standard input past CONTENT_LENGTH.
TEST(CgiProgram, BadRequestsGiveTheErrorPage) {
    const std::string multipart = "CONTENT_TYPE=multipart/form-data; boundary=B";
    const std::string badDisposition = "--B\r\nContent-Disposition: form-data; name=\"a\r\n\r\nv\r\n--B--";
    struct Case {
        const char* name;
        std::vector<std::string> env;
        std::string input, message, rest;
    } cases[] = {
        {"length -1", {"REQUEST_METHOD=POST", "CONTENT_LENGTH=-1"}, "a=1", "Invalid CONTENT_LENGTH", "a=1"},
        {"length huge", {"REQUEST_METHOD=POST", "CONTENT_LENGTH=16777217"}, "a=1", "Invalid CONTENT_LENGTH", "a=1"},
        {"length absent", {"REQUEST_METHOD=POST"}, "a=1", "non-HTTP compliant message", "a=1"},
        {"length short", {"REQUEST_METHOD=POST", "CONTENT_LENGTH=100"}, "a=1", "shorter than CONTENT_LENGTH", ""},
        {"bad disposition",
         {"REQUEST_METHOD=POST", multipart, "CONTENT_LENGTH=" + std::to_string(badDisposition.size())},
         badDisposition + "TAIL",
         "String format invalid",
         "TAIL"},
    };
    for (const auto& c : cases) {
        const auto r = probe(c.env, c.input, true);
        EXPECT_NE(r.output.find("<html>"), std::string::npos) << c.name;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.name << r.output;
        EXPECT_NE(r.output.find("status=1\n"), std::string::npos) << c.name;
        EXPECT_EQ(r.output.substr(r.output.find("---\n") + 4), c.rest) << c.name;
    }
    // A good request takes exactly CONTENT_LENGTH bytes too; a second decoding is refused.
    const auto r =
        probe({"REQUEST_METHOD=POST", "CONTENT_LENGTH=5", "QUERY_STRING=q=0", "PROBE_REST=1"}, "a=123EXTRA", true);
    std::string tail;
    EXPECT_EQ(records(cgiBody(r.output), &tail), (Pairs{{"q", "0"}, {"a", "123"}}));
    EXPECT_EQ(tail, "count=2 rest=EXTRA\nagain=-1\nstatus=0\n---\n");
}

TEST(CgiProgram, ErrorPageAndLog) {
    zqtest::TempDir dir("cgilog");
    const std::string log = dir / "error.log";
    const auto r = probe({"PATH_INFO=/error", "QUERY_STRING=msg=%3Cscript%3Ealert(1)%3C/script%3E",
                          "REMOTE_HOST=client.example", "PROBE_ERROR_LOG=" + log});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output.rfind("Content-type: text/html\n\n", 0), 0u);
    EXPECT_NE(r.output.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(r.output.find("Contact &lt;webmaster@example.com&gt;"), std::string::npos);
    EXPECT_EQ(r.output.find("Error logging failed"), std::string::npos);
    const std::string line = zqtest::readFile(log);
    EXPECT_NE(line.find(" : '<script>alert(1)</script>' from client.example(null)\n"), std::string::npos) << line;
    // A log that cannot be opened is reported on the page.
    const auto r2 = probe({"PATH_INFO=/error", "QUERY_STRING=msg=x", "PROBE_ERROR_LOG=" + dir.path() + "/no/such"});
    EXPECT_NE(r2.output.find("Error logging failed."), std::string::npos);
    // A message too long for the page's buffer.
    const auto r3 = probe({"PATH_INFO=/error", "QUERY_STRING=msg=" + std::string(1001, 'm')});
    EXPECT_EQ(r3.status, 1);
    EXPECT_NE(r3.output.find("qError() : Message is too long or not valid"), std::string::npos);
}

TEST(CgiProgram, QueryRewriting) {
    zqtest::TempDir dir("cgiquery");
    const std::string file = dir / "entries";
    const auto r = probe({"PATH_INFO=/query", "QUERY_STRING=a=1&ZUNpluginData=z&s=***x&b=x%20y%26&exclude=b%3D",
                          "PROBE_ENTRY_FILE=" + file});
    EXPECT_EQ(r.output, "small=-1[] big=30[&a=1&s=%2a%2a%2ax&exclude=b%3d] printed=1\n");
    EXPECT_EQ(zqtest::readFile(file), "&a=1&b=x y&&exclude=b=&test=test");
}

TEST(CgiOutput, Puts) {
    struct Case {
        int mode;
        std::string text, want;
    } cases[] = {
        {0, "<b>a  b</b>\r\n", "<b>a  b</b>\r\n"},
        {10, "a  b\r\nc", "a &nbsp;b<br>\nc"},
        {1, "see http://x.y <b>\"&'", "see http://x.y &lt;b&gt;&quot;&amp;'"},
        {2, "see http://x.y", "see <a href='http://x.y' target=''>http://x.y</a>"},
        {3, "(mail me@host.kr)", "(mail <a href='mailto:me@host.kr' target='_top'>me@host.kr</a>)"},
        {4, "<b class=\"c\">x & \"y\"</b>", "<b class=\"c\">x &amp; &quot;y&quot;</b>"},
        {5, "<i>ftp://f.g</i>", "<i><a href='ftp://f.g' target=''>ftp://f.g</a></i>"},
        {6, "news:a.b", "<a href='news:a.b' target='_top'>news:a.b</a>"},
        {11, "a  b\r\n<c>", "a &nbsp;b<br>&lt;c&gt;"},
        {12, "x\nhttp://y.z", "x<br><a href='http://y.z' target=''>http://y.z</a>"},
    };
    for (const auto& c : cases) {
        const auto r =
            probe({"PATH_INFO=/puts", "QUERY_STRING=mode=" + std::to_string(c.mode) + "&text=" +
                                          std::string(coretest::Buf<char>(VCL_URLEncode(c.text.c_str())).p)});
        EXPECT_EQ(cgiBody(r.output), c.want) << c.mode;
    }
    const auto bad = probe({"PATH_INFO=/puts", "QUERY_STRING=mode=7&text=x"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.output.find("_autolink() : Invalid Mode (7)"), std::string::npos);
}

TEST(CgiOutput, Checks) {
    struct Case {
        const char* text;
        int email;
    } emails[] = {{"me@host.kr", 1},  {"mehost.kr", 0},   {"me@hostkr", 0},     {"@me.host.kr", 0},
                  {"me@.host.kr", 0}, {"me@host..kr", 0}, {"a@b@c.d", 0},       {"a@b.c", 1},
                  {"a@.c", 0},        {"me@ho st.kr", 0}, {"m.e@host-1.kr", 1}, {"", 0}};
    for (const auto& c : emails) EXPECT_EQ(VCL_CGICheckEmail(c.text), c.email) << c.text;
    EXPECT_EQ(VCL_CGIURLCheck("telnet://h"), 1);
    EXPECT_EQ(VCL_CGIURLCheck("javascript:alert(1)"), 0);
    EXPECT_EQ(VCL_CGICheckStr09AZaz("abcXYZ019"), 1);
    EXPECT_EQ(VCL_CGICheckStr09AZaz(""), 1);
    EXPECT_EQ(VCL_CGICheckStr09AZaz("a-b"), 0);
    EXPECT_EQ(VCL_CGICheckStr09AZaz("\xED\x95\x9C"), 0);
    char text[] = " \t a b \t\r\n";
    EXPECT_STREQ(VCL_CGISpaceRemover(text), "a b");

    zqtest::TempDir dir("cgifile");
    zqtest::writeFile(dir / "conf",
                      "# comment\n\n  name = value one \nflag\n =x\nk==v\n" + std::string(3000, 'l') + "=1\n");
    VCL_CGI_ENTRY* list = VCL_CGIFileDecoder((dir / "conf").c_str());
    Pairs got;
    for (auto* e = list; e; e = e->next) got.emplace_back(e->name, e->value);
    EXPECT_EQ(got, (Pairs{{"name", "value one"}, {"flag", ""}, {"", "x"}, {"k", "=v"}, {std::string(3000, 'l'), "1"}}));
    EXPECT_STREQ(VCL_CGIFileFindValue(list, "k"), "=v");
    EXPECT_EQ(VCL_CGIFileFindValue(list, "none"), nullptr);
    VCL_CGIFileFreeEntries(list);
    EXPECT_EQ(VCL_CGIFileDecoder((dir / "absent").c_str()), nullptr);
    EXPECT_EQ(VCL_CGICheckFile((dir / "conf").c_str()), 1);
    EXPECT_EQ(VCL_CGICheckFile((dir / "absent").c_str()), 0);
}

TEST(CgiOutput, GmtTimeAndCookies) {
    char buf[VCL_CGI_GMT_TIME_SIZE];
    ::setenv("TZ", "Asia/Seoul", 1);
    ::tzset();
    const time_t t = VCL_CGIGetGMTTime(buf, 3600);
    struct tm tm;
    gmtime_r(&t, &tm);
    char want[64];
    std::strftime(want, sizeof want, "%a, %d-%b-%Y %H:%M:%S GMT", &tm);
    EXPECT_STREQ(buf, want);
    EXPECT_EQ(std::strlen(buf), 29u);
    EXPECT_EQ(VCL_CGIGetGMTTime(buf, -2000000000), -1);
    EXPECT_STREQ(buf, "");
    ::unsetenv("TZ");
    ::tzset();

    struct Case {
        std::string query, want;
    } cases[] = {
        {"name=a%20b&value=c;d&secure=1&path=/x", "Set-Cookie: a+b=c%3bd; path=/x; secure\n"},
        {"name=s&value=1&domain=example.com", "Set-Cookie: s=1; domain=example.com\n"},
        {"name=s&value=1&path=/%0d%0aX-Injected:1", ""},
        {"name=s&value=1&domain=a.com;%20secure", ""},
        {"name=s&value=1&days=3000000", ""},
    };
    for (const auto& c : cases) {
        const auto r = probe({"PATH_INFO=/setcookie", "QUERY_STRING=" + c.query});
        EXPECT_EQ(r.output, c.want + "Content-type: text/plain\n\nrc=" + (c.want.empty() ? "-1" : "0") + "\n")
            << c.query;
    }
}

// Two processes updating one counter 1,000 times each: every update counts.
TEST(CgiOutput, CountersUnderConcurrency) {
    zqtest::TempDir dir("cgicount");
    const std::string path = dir / "counter";
    EXPECT_EQ(VCL_CGIReadCounter(path.c_str()), 0);
    std::vector<std::string> env = {"PATH_INFO=/counter", "PROBE_COUNTER=" + path, "PROBE_TIMES=1000"};
    zqtest::RunResult a, b;
    std::thread ta([&] { a = probe(env); });
    std::thread tb([&] { b = probe(env); });
    ta.join();
    tb.join();
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(b.status, 0);
    EXPECT_EQ(VCL_CGIReadCounter(path.c_str()), 2000);
    EXPECT_EQ(zqtest::readFile(path), "2000\n");
    EXPECT_EQ(std::max(std::stoi(a.output), std::stoi(b.output)), 2000);
    EXPECT_EQ(VCL_CGISaveCounter(path.c_str(), 7), 1);
    EXPECT_EQ(zqtest::readFile(path), "7\n");
    EXPECT_EQ(VCL_CGIUpdateCounter(path.c_str()), 8);
    EXPECT_EQ(VCL_CGISaveCounter((dir / "no/such").c_str(), 1), 0);
    EXPECT_EQ(VCL_CGIUpdateCounter((dir / "no/such").c_str()), 0);
}

namespace {

// python's http.server with the probe and the peer in its cgi-bin, on a
// free port of 127.0.0.1; stopped by its process id.
class CgiServer {
public:
    CgiServer() : m_dir("cgiserve") {
        // The server runs scripts as nobody: the folders must be open to it.
        ::chmod(m_dir.path().c_str(), 0755);
        zqtest::makeDirs(m_dir / "cgi-bin");
        zqtest::run({"cp", probePath(), m_dir / "cgi-bin/probe"});
        zqtest::run({"cp", zqtest::sourceDir() + "/tests/core/cgi_peer.py", m_dir / "cgi-bin/peer.py"});
        zqtest::run({"chmod", "755", m_dir / "cgi-bin", m_dir / "cgi-bin/probe", m_dir / "cgi-bin/peer.py"});
        m_port = freePort();
        const std::string log = m_dir / "server.log";
        m_pid = ::fork();
        if (m_pid == 0) {
            if (::chdir(m_dir.path().c_str()) != 0) ::_exit(127);
            FILE* f = std::freopen(log.c_str(), "w", stderr);
            (void)f;
            ::setenv("TZ", "Asia/Seoul", 1);
            const std::string port = std::to_string(m_port);
            ::execl(zqtest::kPython, zqtest::kPython, "-m", "http.server", "--cgi", "--bind", "127.0.0.1", port.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 100 && !ready(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ~CgiServer() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    std::string url(const std::string& script) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + "/cgi-bin/" + script;
    }
    std::string curl(std::vector<std::string> args) const {
        args.insert(args.begin(), {"curl", "-s", "--max-time", "20"});
        return zqtest::run(args).output;
    }
    std::string log() const { return zqtest::readFile(m_dir / "server.log"); }
    const zqtest::TempDir& dir() const { return m_dir; }

private:
    static int freePort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
        ::close(fd);
        return ntohs(a.sin_port);
    }
    bool ready() const {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(m_port));
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        return ok;
    }
    zqtest::TempDir m_dir;
    int m_port = 0;
    pid_t m_pid = -1;
};

}  // namespace

// One server for the suite: each request runs a fresh probe.
class CgiHttp : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_server = new CgiServer(); }
    static void TearDownTestSuite() {
        delete s_server;
        s_server = nullptr;
    }
    static CgiServer* s_server;
};
CgiServer* CgiHttp::s_server = nullptr;

TEST_F(CgiHttp, EntriesEqualPython) {
    const auto& dir = s_server->dir();
    std::string binary;
    for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
    binary += "\r\n--\r\n\r\n";
    zqtest::writeFile(dir / "bin.dat", binary);
    zqtest::writeFile(dir / "text.txt", "line one\r\nline two\n");
    zqtest::writeFile(dir / "empty", "");
    struct Case {
        const char* name;
        std::string query;
        std::vector<std::string> args;
        size_t entries;
    } cases[] = {
        {"GET query", "?a=1&b=x%20y&c&&%ED%95%9C=%EA%B8%80+%2B&e=%zz", {}, 5},
        {"url-encoded POST",
         "?q=0",
         {"--data-urlencode", "q=a b&c=<d>", "--data-urlencode", "\xED\x95\x9C=\xEA\xB8\x80", "--data", "x&y="},
         5},
        {"multipart",
         "",
         {"-F", "a=hello world", "-F",
          "f=@" + dir / "bin.dat" + ";filename=\xED\x95\x9C\xEA\xB8\x80 \xED\x8C\x8C\xEC\x9D\xBC.bin", "-F",
          "g=@" + dir / "text.txt", "-F", "h=@" + dir / "empty" + ";filename=C:\\Users\\me\\e.txt", "-F",
          "\xEC\x9D\xB4\xEB\xA6\x84=\xEA\xB0\x92"},
         11},
        {"multipart large", "", {"-F", "big=@" + dir / "bin.dat", "-F", "z=" + std::string(5000, 'z')}, 4},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back(s_server->url("probe" + c.query));
        const std::string ours = s_server->curl(args);
        args.back() = s_server->url("peer.py" + c.query);
        const std::string theirs = s_server->curl(args);
        const Pairs got = records(ours);
        EXPECT_EQ(got.size(), c.entries) << c.name << ours;
        EXPECT_EQ(got, records(theirs)) << c.name;
    }
    // Cookies, read by both.
    const std::vector<std::string> cookie = {"-b", "sid=a%20b; theme=dark; empty=; %ED%95%9C=+1+"};
    auto args = cookie;
    args.push_back(s_server->url("probe/cookies"));
    const Pairs ours = records(s_server->curl(args));
    args.back() = s_server->url("peer.py/cookies");
    EXPECT_EQ(ours, records(s_server->curl(args)));
    EXPECT_EQ(ours.size(), 4u);
}

TEST_F(CgiHttp, ScriptPrintsAsText) {
    const std::string page = s_server->curl(
        {"--data-urlencode", "<script>x=1</script>=<script>alert('a')</script>", s_server->url("probe/print")});
    const std::string check =
        "import sys\nfrom html.parser import HTMLParser\n"
        "class P(HTMLParser):\n"
        "    tags = []\n"
        "    def handle_starttag(self, tag, attrs): self.tags.append(tag)\n"
        "p = P(); p.feed(sys.stdin.read()); print(sorted(set(p.tags)))\n";
    EXPECT_EQ(coretest::python(check, page).output, "['br']\n") << page;
    EXPECT_NE(page.find("&lt;script&gt;alert(&#39;a&#39;)&lt;/script&gt;"), std::string::npos);

    const std::string error = s_server->curl({s_server->url("probe/error?msg=%3Cscript%3Ealert(1)%3C/script%3E")});
    EXPECT_EQ(coretest::python(check, error).output, "['a', 'b', 'body', 'br', 'center', 'font', 'html', 'i', 'p']\n")
        << error;
}

TEST_F(CgiHttp, BadRequestsGiveTheErrorPage) {
    const std::string body = "--B\r\nContent-Disposition: form-data; name=\"a\r\n\r\nv\r\n--B--\r\n";
    zqtest::writeFile(s_server->dir() / "bad.txt", body);
    struct Case {
        const char* name;
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {"length -1", {"-H", "Content-Length: -1", "--data", "a=1"}, "Invalid CONTENT_LENGTH"},
        {"length huge", {"-H", "Content-Length: 99999999999", "--data", "a=1"}, "Invalid CONTENT_LENGTH"},
        {"bad disposition",
         {"-H", "Content-Type: multipart/form-data; boundary=B", "--data-binary", "@" + s_server->dir() / "bad.txt"},
         "String format invalid"},
    };
    for (const auto& c : cases) {
        auto args = c.args;
        args.push_back(s_server->url("probe"));
        const std::string page = s_server->curl(args);
        EXPECT_NE(page.find("<html>"), std::string::npos) << c.name;
        EXPECT_NE(page.find(c.message), std::string::npos) << c.name << page;
    }
    // The server logs each script's non-zero exit.
    const std::string log = s_server->log();
    size_t exits = 0;
    for (size_t at = 0; (at = log.find("CGI script exit code 1", at)) != std::string::npos; ++at) ++exits;
    EXPECT_GE(exits, std::size(cases)) << log;
}

TEST_F(CgiHttp, CookieExpiryIsUtc) {
    const time_t before = std::time(nullptr);
    const std::string answer =
        s_server->curl({"-D", "-", "-o", "/dev/null", s_server->url("probe/setcookie?name=s&value=1&days=2")});
    const time_t after = std::time(nullptr);
    const size_t at = answer.find("; expires=");
    ASSERT_NE(at, std::string::npos) << answer;
    const std::string expires = answer.substr(at + 10, 29);
    bool matched = false;
    for (time_t t = before; t <= after; ++t) {
        const auto date = zqtest::run(
            {"date", "-u", "-d", "@" + std::to_string(t + 2 * 86400), "+%a, %d-%b-%Y %H:%M:%S GMT"}, {}, {"LC_ALL=C"});
        matched = matched || date.output == expires + "\n";
    }
    EXPECT_TRUE(matched) << expires;
}
