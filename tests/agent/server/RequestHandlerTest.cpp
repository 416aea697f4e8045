#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "agent/daemon/HeldJobSide.h"
#include "daemon/DMLinuxQuilletConnector.h"
#include "common/DMUtil.h"
#include "server/DMRequestHandler.h"

namespace {

// The connector's answers, set by each test; records what it was handed.
class ScriptedQuillet : public IQuillet {
public:
    int running = 0;
    int result = 0;
    int startResult = QUILLET_START_QUEUED;
    const char* version = "1.2.8";
    std::vector<std::string> started;

    const char* GetVersionString() override { return version; }
    int IsRunning() override { return running; }
    int GetResult(void*) override { return result; }
    void Delete_GetResultUserData(void*) override {}
    int StartQuilletProcess(const char* param) override {
        started.emplace_back(param);
        return startResult;
    }
    int Init() override { return 0; }
    int UnInit() override { return 0; }
    void SetConnectionPid(unsigned long) override {}
};

SDMHttpReply answer(CDMHttpRequestHandler& handler, const std::string& method, const std::string& uri,
                    const std::string& body = {}) {
    SDMHttpRequest req;
    req.method = method;
    req.uri = uri;
    SDMHttpReply reply;
    handler.handle_request(req, body, reply);
    return reply;
}

std::string post(CDMHttpRequestHandler& handler, const std::string& json) {
    return answer(handler, "POST", "/", "data=" + json).content;
}

std::vector<std::string> headerNames(const SDMHttpReply& reply) {
    std::vector<std::string> names;
    for (const auto& h : reply.headers) names.push_back(h.name);
    return names;
}

std::string headerValue(const SDMHttpReply& reply, const std::string& name) {
    for (const auto& h : reply.headers)
        if (h.name == name) return h.value;
    return "<none>";
}

// Evaluates a JSONP reply in node and returns what the callback received.
std::string evalJsonp(const std::string& callbackSetup, const std::string& script) {
    std::string program = "let got = 'not called';\n" + callbackSetup + "\n" + script +
                          "\nprocess.stdout.write(got === undefined ? 'undefined' : JSON.stringify(got));";
    auto r = zqtest::run({"node", "-e", program});
    EXPECT_EQ(r.status, 0) << program;
    return r.output;
}

class Handler : public ::testing::Test {
protected:
    void SetUp() override { handler.SetQuilletInstance(&quillet); }
    ScriptedQuillet quillet;
    CDMHttpRequestHandler handler;
};

TEST_F(Handler, CommandTable) {
    struct Row {
        const char* json;
        int running, result, startResult;
        const char* reply;
    };
    const std::vector<Row> rows = {
        {R"({"func":"isRunning"})", 0, 0, 1, R"({"zunres":"1"})"},
        {R"({"func":"isRunning"})", 1, 3, 1, R"({"zunres":"2"})"},
        {R"({"func":"getVersion2"})", 0, 0, 1, R"({"zunres":"1", "data":"1.2.8"})"},
        {R"({"func":"getResult"})", 0, 0, 1, R"({"zunres":"0"})"},
        {R"({"func":"getResult"})", 0, 1, 1, R"({"zunres":"1"})"},
        {R"({"func":"getResult"})", 1, 3, 1, R"({"zunres":"3"})"},
        {R"({"func":"getResult"})", 0, 7, 1, R"({"zunres":"0"})"},
        {R"({"func":"getVersion","param":"x"})", 0, 0, 1, R"({"zunres":"1"})"},
        {R"({"func":"login","param":"p"})", 0, 0, 1, R"({"zunres":"1"})"},
        {R"({"func":"sign","param":"p"})", 0, 0, -1, R"({"zunres":"0"})"},
        // Another job pending or running: told apart from an accepted start.
        {R"({"func":"sign","param":"p"})", 1, 3, 2, R"({"zunres":"2"})"},
        {R"({"func":"noSuchCommand"})", 0, 0, 1, ""},
        {R"({"func":7})", 0, 0, 1, R"({"zunres":-100})"},
        {R"({"param":"x"})", 0, 0, 1, R"({"zunres":-100})"},
        {R"(["func","isRunning"])", 0, 0, 1, R"({"zunres":-100})"},
        {R"({"func":"isRunning"} trailing)", 0, 0, 1, R"({"zunres":-100})"},
        {"", 0, 0, 1, R"({"zunres":-100})"},
    };
    for (const auto& row : rows) {
        quillet.running = row.running;
        quillet.result = row.result;
        quillet.startResult = row.startResult;
        EXPECT_EQ(post(handler, row.json), row.reply) << row.json;
    }
    for (const char* job : {"login", "showCertManager", "sign", "msign", "issue", "update", "revoke", "roaming",
                            "certRequest", "insertCert"}) {
        quillet.started.clear();
        quillet.startResult = QUILLET_START_QUEUED;
        EXPECT_EQ(post(handler, std::string(R"({"func":")") + job + R"(","param":"P"})"), R"({"zunres":"1"})");
        EXPECT_EQ(quillet.started, std::vector<std::string>{"\"P\""}) << job;
    }
    // Without a param member the connector gets an empty text.
    quillet.started.clear();
    post(handler, R"({"func":"login"})");
    EXPECT_EQ(quillet.started, std::vector<std::string>{""});
}

TEST_F(Handler, NoVersionTextAndNoConnector) {
    quillet.version = "";
    EXPECT_EQ(post(handler, R"({"func":"getVersion2"})"), R"({"zunres":"0"})");
    CDMHttpRequestHandler bare;
    EXPECT_EQ(post(bare, R"({"func":"isRunning"})"), "");
}

TEST_F(Handler, PostBodyForms) {
    // URL-encoded, text before "data=", and a bare body without "data=".
    EXPECT_EQ(answer(handler, "POST", "/", "data=" + DMUtil_URLEncode(R"({"func":"isRunning"})")).content,
              R"({"zunres":"1"})");
    EXPECT_EQ(answer(handler, "POST", "/", R"(x=1&data={"func":"isRunning"})").content, R"({"zunres":"1"})");
    EXPECT_EQ(answer(handler, "POST", "/", R"({"func":"isRunning"})").content, R"({"zunres":-100})");
}

TEST_F(Handler, HeaderSetsInOrder) {
    auto p = answer(handler, "POST", "/", R"(data={"func":"isRunning"})");
    EXPECT_EQ(p.status, SDMHttpReply::ok);
    EXPECT_EQ(headerNames(p),
              (std::vector<std::string>{"Access-Control-Allow-Headers", "Access-Control-Allow-Methods",
                                        "Access-Control-Allow-Origin", "Connection", "Content-Type", "Content-Length",
                                        "Vary", "Cache-Control", "Access-Control-Max-Age"}));
    EXPECT_EQ(headerValue(p, "Content-Type"), "text/html;charset=UTF-8");
    EXPECT_EQ(headerValue(p, "Content-Length"), "14");
    EXPECT_EQ(headerValue(p, "Connection"), "Closed");

    auto g = answer(handler, "GET", "/?callback=cb&data=" + DMUtil_URLEncode(R"({"func":"isRunning"})"));
    EXPECT_EQ(headerNames(g), (std::vector<std::string>{"Access-Control-Allow-Origin", "Connection", "Content-Type",
                                                        "Cache-Control", "Content-Length"}));
    EXPECT_EQ(headerValue(g, "Content-Type"), "application/javascript");
    EXPECT_EQ(headerValue(g, "Content-Length"), std::to_string(g.content.size()));

    auto o = answer(handler, "OPTIONS", "/");
    EXPECT_EQ(headerNames(o), (std::vector<std::string>{"Access-Control-Allow-Headers", "Access-Control-Allow-Methods",
                                                        "Access-Control-Allow-Origin", "Access-Control-Max-Age",
                                                        "Connection", "Content-Type", "Content-Length", "Vary"}));
    EXPECT_EQ(headerValue(o, "Access-Control-Allow-Headers"),
              "Content-Type, accept, x-requested-with, X-Custom-Header");
    EXPECT_EQ(headerValue(o, "Content-Length"), "0");
    EXPECT_EQ(o.content, "");
}

TEST_F(Handler, JsonpRepliesRunInNode) {
    auto g = answer(handler, "GET", "/?callback=cb&data=" + DMUtil_URLEncode(R"({"func":"getVersion2"})"));
    EXPECT_EQ(g.content, R"(try { cb({"zunres":"1", "data":"1.2.8"});} catch (e){})");
    EXPECT_EQ(evalJsonp("function cb(v) { got = v; }", g.content), R"({"zunres":"1","data":"1.2.8"})");

    // Dotted names reach an object's method.
    auto dotted =
        answer(handler, "GET", "/?callback=app.on_reply$1&data=" + DMUtil_URLEncode(R"({"func":"isRunning"})"));
    EXPECT_EQ(evalJsonp("const app = { on_reply$1(v) { got = v; } };", dotted.content), R"({"zunres":"1"})");

    // An unknown command calls back with no argument; bad JSON with the error.
    auto unknown = answer(handler, "GET", "/?callback=cb&data=" + DMUtil_URLEncode(R"({"func":"nope"})"));
    EXPECT_EQ(evalJsonp("function cb(v) { got = v; }", unknown.content), "undefined");
    auto bad = answer(handler, "GET", "/?callback=cb&data=%7Bnot");
    EXPECT_EQ(evalJsonp("function cb(v) { got = v; }", bad.content), R"({"zunres":-100})");
}

TEST_F(Handler, GetWithoutOrWithBadCallback) {
    auto none = answer(handler, "GET", "/?data=" + DMUtil_URLEncode(R"({"func":"isRunning"})"));
    EXPECT_EQ(none.status, SDMHttpReply::ok);
    EXPECT_EQ(none.content, "");
    EXPECT_EQ(headerValue(none, "Content-Length"), "0");

    // A callback that could break out of the call is never reflected.
    for (const char* cb : {"alert(1);cb", "cb%3Balert(1)", ".a", "a.", "1abc", "a-b", "a%20b", "%E2%80%A8"}) {
        auto r = answer(handler, "GET",
                        std::string("/?callback=") + cb + "&data=" + DMUtil_URLEncode(R"({"func":"isRunning"})"));
        EXPECT_EQ(r.content, R"({"zunres":-100})") << cb;
    }
    EXPECT_FALSE(DMIsSafeCallback("a..b"));
    EXPECT_FALSE(DMIsSafeCallback(std::string(kDMMaxCallbackLength + 1, 'a')));
    EXPECT_TRUE(DMIsSafeCallback(std::string(kDMMaxCallbackLength, 'a')));
}

TEST_F(Handler, BadPathsGet400) {
    const std::string query = "?callback=cb&data=" + DMUtil_URLEncode(R"({"func":"isRunning"})");
    // "%3F" is a "?" only once decoded: it does not end the path.
    for (std::string path : {"", "x/", "/../etc", "/a/%2E%2E/b", "/..", "/%2e./", "/a%3F/..", "/a%3F%2E%2E"}) {
        auto r = answer(handler, "GET", path + query);
        EXPECT_EQ(r.status, SDMHttpReply::bad_request) << path;
    }
    EXPECT_EQ(answer(handler, "GET", "?data=x").status, SDMHttpReply::bad_request);

    // ".." in the query is data, not a path: a sentence ending in "...", a
    // relative path in the parameter.
    for (const char* param : {"wait...", "../x/../y", "..%2F.."}) {
        const std::string json = std::string(R"({"func":"login","param":")") + param + R"("})";
        for (const std::string& data : {DMUtil_URLEncode(json), json}) {
            auto r = answer(handler, "GET", "/x.y?callback=cb&data=" + data);
            EXPECT_EQ(r.status, SDMHttpReply::ok) << data;
            EXPECT_EQ(r.content, R"(try { cb({"zunres":"1"});} catch (e){})") << data;
        }
    }
    EXPECT_EQ(quillet.started.size(), 6u);
    // "%2Fa" decodes to "/a": only what the decoded path says counts.
    EXPECT_EQ(answer(handler, "POST", "%2F", R"(data={"func":"isRunning"})").status, SDMHttpReply::ok);
}

// The real connector: what a job parameter looks like when it reaches the
// job side. The JSON library writes "/" as "\/" and the connector only drops
// the quotes, so the job side has to undo those escapes itself.
TEST(HandlerToConnector, ParameterReachesTheJobSideAsJsonText) {
    CDMLinuxQuilletConnector connector;
    CDMHttpRequestHandler handler;
    handler.SetQuilletInstance(&connector);
    heldjob::reset();
    std::string reply;
    std::thread server([&] {
        reply = answer(handler, "POST", "/",
                       "data=" + DMUtil_URLEncode(R"({"func":"login","param":"SESSION=a|url=https://relay/x"})"))
                    .content;
        if (heldjob::waitStarted()) heldjob::release(true);
        while (connector.IsRunning() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        connector.StopJobLoop();
    });
    connector.ProcessQuilletJob();
    server.join();
    EXPECT_EQ(reply, R"({"zunres":"1"})");
    EXPECT_EQ(heldjob::lastSeen().parameter, R"(SESSION=a|url=https:\/\/relay\/x)");
}

}  // namespace
