// URL helpers against Python's urllib.parse on one table of cases.
#include <gtest/gtest.h>

#include <sstream>

#include "TestSupport.h"
#include "common/DMUtil.h"

namespace {

std::string hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

const std::vector<std::string> kCases = {
    "",
    "abcXYZ019",
    "-_.~",
    "a b",
    "url=https://relay/x?y=1&z=2",
    "%2F%2f%41",
    "+plus+",
    "%",
    "%4",
    "%4G",
    "%%41",
    "100%",
    "tab\there\nline\r\x0b\x0c",
    "\xea\xb0\x80\xeb\x82\x98",  // Korean in UTF-8
    std::string("nul\0byte", 8),
    "\x80\xff",
    "SESSION=a|reqID=1|policyName=p|url=https%3A%2F%2Fr%2Fx",
    "!*'();:@&=+$,/?#[]",
};

struct PythonAnswers {
    std::string quotePlus;        // quote_plus(bytes, safe='')
    std::string unquoteBytesHex;  // unquote_to_bytes
    std::string unquotePlusHex;   // unquote_to_bytes after '+' -> ' '
};

std::vector<PythonAnswers> askPython() {
    std::string input;
    for (const auto& c : kCases) input += hex(c) + "\n";
    const char* script = R"(
import sys, urllib.parse as u
for line in sys.stdin.read().split('\n')[:-1]:
    b = bytes.fromhex(line)
    print(u.quote_plus(b, safe=''), u.unquote_to_bytes(b).hex(), u.unquote_to_bytes(b.replace(b'+', b' ')).hex())
)";
    auto r = zqtest::run({zqtest::kPython, "-c", script}, input);
    EXPECT_EQ(r.status, 0);
    std::vector<PythonAnswers> answers;
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        PythonAnswers a;
        fields >> a.quotePlus >> a.unquoteBytesHex >> a.unquotePlusHex;
        // An empty case prints empty fields.
        answers.push_back(a);
    }
    return answers;
}

// Where our encoder departs from quote_plus, on purpose: "~" is encoded, and
// every white-space byte (not only the blank) becomes "+".
std::string pythonEncodingAsOurs(std::string s) {
    auto replaceAll = [&](const std::string& from, const std::string& to) {
        for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size())
            s.replace(at, from.size(), to);
    };
    replaceAll("~", "%7E");
    for (const char* ws : {"%09", "%0A", "%0B", "%0C", "%0D"}) replaceAll(ws, "+");
    return s;
}

TEST(URL, AgreesWithPythonUrllib) {
    auto answers = askPython();
    ASSERT_EQ(answers.size(), kCases.size());
    for (size_t i = 0; i < kCases.size(); ++i) {
        const std::string& in = kCases[i];
        SCOPED_TRACE("case " + hex(in));
        EXPECT_EQ(DMUtil_URLEncode(in), pythonEncodingAsOurs(answers[i].quotePlus));

        std::string decoded;
        EXPECT_EQ(DMUtil_URLDecode(in, decoded), 1);
        EXPECT_EQ(hex(decoded), answers[i].unquoteBytesHex);

        // The stream decoder refuses a "%" without two hex digits, which
        // Python passes through; otherwise they agree.
        std::string streamed;
        bool badPercent = false;
        for (size_t at = in.find('%'); at != std::string::npos; at = in.find('%', at + 1)) {
            if (at + 2 >= in.size() || !isxdigit(static_cast<unsigned char>(in[at + 1])) ||
                !isxdigit(static_cast<unsigned char>(in[at + 2]))) {
                badPercent = true;
                break;
            }
            at += 2;
        }
        EXPECT_EQ(DMUtil_URLDecodeStream(in, streamed), badPercent ? 0 : 1);
        if (!badPercent) {
            EXPECT_EQ(hex(streamed), answers[i].unquotePlusHex);
        }
    }
}

TEST(URL, RoundTripsEveryByte) {
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    std::string back;
    ASSERT_EQ(DMUtil_URLDecodeStream(DMUtil_URLEncode(all), back), 1);
    // White space comes back as blanks.
    std::string expected = all;
    for (char& c : expected)
        if (c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r') c = ' ';
    EXPECT_EQ(back, expected);
}

TEST(QueryValue, Table) {
    struct Case {
        const char* query;
        const char* name;
        bool found;
        const char* value;
    } cases[] = {
        {"data=&x=1", "data", false, ""},
        {"x=1&data=", "data", true, ""},
        {"a=1&data=xyz&b=2", "data", true, "xyz"},
        {"mydata=5", "data", true, "5"},  // a plain substring search
        {"a=1", "data", false, "unchanged"},
        {"data={\"func\":\"isRunning\"}", "data", true, "{\"func\":\"isRunning\"}"},
    };
    for (const auto& c : cases) {
        std::string value = "unchanged";
        EXPECT_EQ(DMUtil_Parse_GetValue(c.query, c.name, value), c.found) << c.query;
        EXPECT_EQ(value, c.value) << c.query;
    }
    std::string v;
    EXPECT_FALSE(DMUtil_Parse_GetValue(nullptr, "a", v));
    EXPECT_FALSE(DMUtil_Parse_GetValue("a=1", nullptr, v));
}

TEST(SplitURL, Table) {
    std::string out;
    EXPECT_EQ(DMUtil_GetPaserURL("https://relay.example:8443/path/x?reqID=7&a=b", "domainport", out), 0);
    EXPECT_EQ(out, "relay.example:8443");
    EXPECT_EQ(DMUtil_GetPaserURL("https://relay.example/x", "domainport", out), 0);
    EXPECT_EQ(out, "relay.example:0");
    EXPECT_EQ(DMUtil_GetPaserURL("https://relay.example:8443/path/x?reqID=7&a=b", "reqID", out), 0);
    EXPECT_EQ(out, "7");
    EXPECT_EQ(DMUtil_GetPaserURL("relay.example/x", "domainport", out), -1);
    EXPECT_EQ(DMUtil_GetPaserURL("https://relay.example:99999/", "domainport", out), -1);
    EXPECT_EQ(DMUtil_GetPaserURL("https://relay.example:80a/", "domainport", out), -1);
    EXPECT_EQ(DMUtil_GetPaserURL(nullptr, "domainport", out), -1);
}

}  // namespace
