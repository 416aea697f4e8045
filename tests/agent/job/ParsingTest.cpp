// The job's parsers as tables: start parameters as the daemon hands them
// over (json-c's escapes), getFunc answers and their policy lists, error
// answers, versions and system names.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "job/ParsingFunc.h"

namespace {

const std::string kUrl = "url=https%3A%2F%2Frelay.example%2Fq";

struct ParamCase {
    const char* what;
    std::string text;
    int result;
    StructURLValues want;
};

TEST(StartParameter, Table) {
    const std::string s1023(1023, 's'), r99(99, 'r');
    const std::vector<ParamCase> cases = {
        {"keys in order, %20 in SESSION, encoded url, reqID and wv as sent",
         "SESSION=JSESSIONID%3Dab%20cd&reqID=r%2B1&policyName=p%201&" + kUrl +
             "&wv=1%2E0&macVersion=m%20&linuxVersion=1%2E2%2E8",
         0,
         {"JSESSIONID=ab cd", "r%2B1", "p%201", "https://relay.example/q", "1%2E0", "m%20", "1.2.8"}},
        {"json-c escapes undone first",
         R"(SESSION=a\"b\\c&reqID=\u0031&policyName=p&url=https:\/\/relay\/x&wv=\t)",
         0,
         {"a\"b\\c", "1", "p", "https://relay/x", "\t", "", ""}},
        {"keys in any case and order",
         "reqid=7&URL=https://x/&Session=s&POLICYNAME=pol&LinuxVersion=1.2.9",
         0,
         {"s", "7", "pol", "https://x/", "", "", "1.2.9"}},
        {"returl= inside SESSION is no key",
         "SESSION=a%3Db%3B%20returl=https://evil/&reqID=1&policyName=p&url=https://ok/",
         0,
         {"a=b; returl=https://evil/", "1", "p", "https://ok/", "", "", ""}},
        {"adjacent keys give empty values",
         "SESSION=&reqID=&policyName=&url=https://x/&wv=",
         0,
         {"", "", "", "https://x/", "", "", ""}},
        {"a key after & inside a raw value splits it",
         "SESSION=s&reqID=1&policyName=p&url=https://x/?a=1&wv=2",
         0,
         {"s", "1", "p", "https://x/?a=1", "2", "", ""}},
        {"the first of a repeated key counts",
         "SESSION=first&reqID=1&policyName=p&url=https://x/&SESSION=second",
         0,
         {"first", "1", "p", "https://x/", "", "", ""}},
        {"an & without a key stays in the value",
         "SESSION=a&b=c&reqID=1&policyName=p&url=https://x/",
         0,
         {"a&b=c", "1", "p", "https://x/", "", "", ""}},
        {"values at width - 1",
         "SESSION=" + s1023 + "&reqID=" + r99 + "&policyName=p&url=https://x/",
         0,
         {s1023, r99, "p", "https://x/", "", "", ""}},
        {"SESSION at its width",
         "SESSION=" + s1023 + "s&reqID=1&policyName=p&url=https://x/",
         -1,
         {"", "1", "p", "https://x/", "", "", ""}},
        {"reqID at its width",
         "SESSION=s&reqID=" + r99 + "r&policyName=p&url=https://x/",
         -1,
         {"s", "", "p", "https://x/", "", "", ""}},
        {"linuxVersion over its width (decoded)",
         "SESSION=s&reqID=1&policyName=p&url=https://x/&linuxVersion=" + std::string(100, '9'),
         -1,
         {"s", "1", "p", "https://x/", "", "", ""}},
        {"a broken escape refuses, the other fields stay",
         R"(SESSION=s&reqID=\q&policyName=p&url=https:\/\/x\/)",
         -1,
         {"s", "", "p", "https://x/", "", "", ""}},
        {"lone surrogate",
         R"(SESSION=\ud800&reqID=1&policyName=p&url=https://x/)",
         -1,
         {"", "1", "p", "https://x/", "", "", ""}},
        {"escaped NUL",
         R"(SESSION=a\u0000b&reqID=1&policyName=p&url=https://x/)",
         -1,
         {"", "1", "p", "https://x/", "", "", ""}},
        {"escape cut short",
         R"(SESSION=s&reqID=1&policyName=p&url=https://x/&wv=\u12)",
         -1,
         {"s", "1", "p", "https://x/", "", "", ""}},
        {"no url", "SESSION=s&reqID=1&policyName=p", -1, {"s", "1", "p", "", "", "", ""}},
        {"no key at all", "hello=world", -1, {}},
        {"empty", "", -1, {}},
    };
    for (const auto& c : cases) {
        StructURLValues got;
        ParseNotes notes;
        EXPECT_EQ(ParseStartParameter(c.text, got, notes), c.result) << c.what;
        EXPECT_EQ(got.SESSION, c.want.SESSION) << c.what;
        EXPECT_EQ(got.reqID, c.want.reqID) << c.what;
        EXPECT_EQ(got.policyName, c.want.policyName) << c.what;
        EXPECT_EQ(got.url, c.want.url) << c.what;
        EXPECT_EQ(got.wv, c.want.wv) << c.what;
        EXPECT_EQ(got.macVersion, c.want.macVersion) << c.what;
        EXPECT_EQ(got.linuxVersion, c.want.linuxVersion) << c.what;
    }
}

TEST(JsonEscapes, Unicode) {
    std::string out;
    ASSERT_TRUE(JsonUnescape(R"(\ud55c\uAE00 \ud83d\ude00 \b\f\n\r\/)", out));
    EXPECT_EQ(out, "한글 😀 \b\f\n\r/");
    for (const char* bad : {"\\", "\\x", "\\u00", "\\udc00", "\\ud83d\\u0041", "\\ud83d"})
        EXPECT_FALSE(JsonUnescape(bad, out)) << bad;
}

std::string reply(const std::string& func, const std::string& list, const std::string& rest = "") {
    return "funcName=" + func + "&PolicyList=" + URLEncodeText(list) + rest;
}

int parse(const std::string& text, std::string& func, StructPolicyList& p, SignParams& s,
          ParseNotes* notesOut = nullptr) {
    ParseNotes notes;
    const int rc = ParseServerReply(text, func, p, s, notes);
    if (notesOut) *notesOut = notes;
    return rc;
}

bool noted(const ParseNotes& notes, const std::string& tag, const std::string& part) {
    for (const auto& n : notes)
        if (n.tag == tag && n.text.find(part) != std::string::npos) return true;
    return false;
}

TEST(PolicyReply, ServerTimeOnlyAsTheLastItem) {
    std::string func;
    StructPolicyList p;
    SignParams s;
    ASSERT_EQ(parse(reply("login", "CAName=yessign&ServerTime=20261210101010"), func, p, s), 0);
    EXPECT_EQ(func, "login");
    EXPECT_EQ(p.CAName, "yessign");
    EXPECT_EQ(p.ServerTime, "20261210101010");

    ParseNotes notes;
    p = {};
    ASSERT_EQ(parse(reply("login", "ServerTime=1&CAName=x&"), func, p, s, &notes), 0);
    EXPECT_EQ(p.ServerTime, "");
    EXPECT_TRUE(noted(notes, "[NOT]", "UNKNOWN Policy name ServerTime"));
    EXPECT_EQ(p.CAName, "x");

    p = {};
    ASSERT_EQ(parse(reply("login", "CAName=a&Mode=2"), func, p, s), 0);
    EXPECT_EQ(p.CAName, "a");
    EXPECT_EQ(p.Mode, "") << "any other last item is ignored";

    p = {};
    const std::string over = "CAName=a&ServerTime=" + std::string(100, '1');
    EXPECT_EQ(parse(reply("login", over), func, p, s), -1) << "ServerTime at its width";
}

TEST(PolicyReply, ListDecodedOnceValuesTwice) {
    std::string func;
    StructPolicyList p;
    SignParams s;
    // The list "CAName=%41&Package=a%2Bb&" arrives encoded once more.
    ASSERT_EQ(parse("funcName=login&PolicyList=CAName%3D%2541%26Package%3Da%252Bb%26", func, p, s), 0);
    EXPECT_EQ(p.CAName, "A");
    EXPECT_EQ(p.Package, "a+b");
}

TEST(PolicyReply, GetVersionReadsNothingMore) {
    std::string func;
    StructPolicyList p;
    SignParams s;
    ASSERT_EQ(parse(reply("getVersion", "CAName=x&Mode=1&"), func, p, s), 0);
    EXPECT_EQ(func, "getVersion");
    EXPECT_EQ(p.CAName, "");
    EXPECT_EQ(p.Mode, "");
    ASSERT_EQ(parse("funcName=getVersion", func, p, s), 0);
}

TEST(PolicyReply, SignParameters) {
    struct Case {
        const char* what;
        std::string func, rest;
        int result, count;
        std::string data, title;
    };
    const std::vector<Case> cases = {
        {"sign, one parameter", "sign", "&paramCount=1&param1=Shello%20world", 0, 1, "hello world", ""},
        {"sign, data and title", "sign", "&paramCount=2&param1=Sa%26b%3Dc&param2=S%ED%95%9C", 0, 2, "a&b=c", "한"},
        {"sign, data holding the marker", "sign", "&paramCount=2&param1=Sx%26param2%3DSy&param2=ST", 0, 2,
         "x&param2=Sy", "T"},
        {"sign, markers encoded too", "sign", "&paramCount=2&param1=Sd%26param2%3DST", 0, 2, "d", "T"},
        {"sign, three parameters", "sign", "&paramCount=3&param1=Sd&param2=N1&param3=ST", -1, 0, "", ""},
        {"msign, three parameters", "msign", "&paramCount=3&param1=Sd%20d&param2=N5&param3=Stitle", 0, 3, "d d",
         "title"},
        {"msign, four", "msign", "&paramCount=4&param1=Sd", -1, 0, "", ""},
        {"count 0", "sign", "&paramCount=0&param1=Sd", -1, 0, "", ""},
        {"count negative", "msign", "&paramCount=-1&param1=Sd", -1, 0, "", ""},
        {"count 2 without its marker", "sign", "&paramCount=2&param1=Sd", -1, 0, "", ""},
        {"count 3 without param3", "msign", "&paramCount=3&param1=Sd&param2=N1", -1, 0, "", ""},
        {"no & after the count", "sign", "&paramCount=1", -1, 0, "", ""},
        {"no paramCount", "sign", "", -1, 0, "", ""},
        {"no type letter", "sign", "&paramCount=1&param1=", -1, 0, "", ""},
        {"sign data past any fixed buffer", "sign", "&paramCount=1&param1=S" + std::string(200000, 'z'), 0, 1,
         std::string(200000, 'z'), ""},
    };
    for (const auto& c : cases) {
        std::string func;
        StructPolicyList p;
        SignParams s;
        EXPECT_EQ(parse(reply(c.func, "SignatureAlertTitle=policy&", c.rest), func, p, s), c.result) << c.what;
        if (c.result != 0) continue;
        EXPECT_EQ(s.paramCount, c.count) << c.what;
        EXPECT_EQ(s.data, c.data) << c.what;
        EXPECT_EQ(s.title, c.title) << c.what;
        EXPECT_EQ(p.SignatureAlertTitle, c.count == 1 ? "policy" : c.title) << c.what;
    }
}

TEST(PolicyReply, AllKeysByNameAndEachWidth) {
    size_t count = 0;
    const PolicyKey* keys = PolicyKeys(count);
    ASSERT_EQ(count, 54u);
    std::string list;
    for (size_t i = 0; i < count; ++i)
        list += std::string(keys[i].name) + "=" + (keys[i].number ? std::to_string(i) : "v" + std::to_string(i)) + "&";
    list += "Unknown=1&";
    std::string func;
    StructPolicyList p;
    SignParams s;
    ParseNotes notes;
    ASSERT_EQ(parse(reply("login", list), func, p, s, &notes), 0);
    EXPECT_TRUE(noted(notes, "[NOT]", "UNKNOWN Policy name Unknown"));
    for (size_t i = 0; i < count; ++i) {
        if (keys[i].text == &StructPolicyList::ServerTime) {
            EXPECT_EQ(p.ServerTime, "") << "ServerTime counts only as the last item";
        } else if (keys[i].number)
            EXPECT_EQ(p.*keys[i].number, static_cast<int>(i)) << keys[i].name;
        else
            EXPECT_EQ(p.*keys[i].text, "v" + std::to_string(i)) << keys[i].name;
    }
    // The Nonce is logged by its length only.
    for (const auto& n : notes) EXPECT_EQ(n.text.find("v16"), std::string::npos) << n.text;

    for (size_t i = 0; i < count; ++i) {
        const PolicyKey& k = keys[i];
        if (!k.text || k.text == &StructPolicyList::ServerTime) continue;
        StructPolicyList fits, over;
        ParseNotes overNotes;
        EXPECT_EQ(parse(reply("login", std::string(k.name) + "=" + std::string(k.width - 1, 'w') + "&"), func, fits, s),
                  0)
            << k.name;
        EXPECT_EQ((fits.*k.text).size(), k.width - 1) << k.name;
        const int rc = parse(reply("login", std::string(k.name) + "=" + std::string(k.width, 'w') + "&"), func, over, s,
                             &overNotes);
        if (k.use == PolicyUse::Stored) {
            EXPECT_EQ(rc, 0) << k.name;
            EXPECT_EQ((over.*k.text).size(), k.width - 1) << k.name << " is cut";
            EXPECT_TRUE(noted(overNotes, "[WAR]", k.name)) << k.name;
        } else {
            EXPECT_EQ(rc, -1) << k.name << " is read: refused";
        }
    }
}

TEST(PolicyReply, Refusals) {
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"no funcName", "PolicyList=a%3Db%26"},
        {"funcName of 100 bytes", reply(std::string(100, 'f'), "a=b&")},
        {"no PolicyList", "funcName=login&paramCount=1"},
        {"an item without =", reply("login", "CAName=a&junk&")},
        {"an int out of range", reply("login", "DisableExpiredCert=99999999999&")},
        {"nothing", ""},
    };
    for (const auto& [what, text] : cases) {
        std::string func;
        StructPolicyList p;
        SignParams s;
        EXPECT_EQ(parse(text, func, p, s), -1) << what;
    }
    std::string func;
    StructPolicyList p;
    SignParams s;
    EXPECT_EQ(parse(reply(std::string(99, 'f'), "a=b&"), func, p, s), 0) << "99 bytes fit";
    // Keys by name: the order of the three does not matter.
    ASSERT_EQ(parse("PolicyList=Mode%3D22%26&funcName=certRequest", func, p, s), 0);
    EXPECT_EQ(func, "certRequest");
    EXPECT_EQ(p.Mode, "22");
}

TEST(ErrorAnswer, Table) {
    struct Case {
        std::string body;
        bool found;
        int code;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"100$x", true, 100, "x"},
        {"000$x", true, 0, "x"},
        {"$x", true, 0, "x"},
        {"12$m", true, 12, "m"},
        {"302$session gone", true, 302, "session gone"},
        {"ab1$", true, 0, ""},
        {"funcName=login&PolicyList=a", false, -7, "untouched"},
    };
    for (const auto& c : cases) {
        int code = -7;
        std::string message = "untouched";
        EXPECT_EQ(ParseErrorAnswer(c.body, &code, &message), c.found) << c.body;
        EXPECT_EQ(code, c.code) << c.body;
        EXPECT_EQ(message, c.message) << c.body;
    }
    EXPECT_TRUE(ParseErrorAnswer("1$", nullptr, nullptr));
}

TEST(Versions, Table) {
    struct Case {
        const char *version, *required;
        int result;
    };
    for (const Case& c : std::vector<Case>{{"1.2.8", "1.2.10", -1},
                                           {"1.3.0", "1.2.10", 0},
                                           {"1.2.8", "1.2.9", -1},
                                           {"1.2.8", "1.2.8", 0},
                                           {"1.2.8", "1.2.7", 0},
                                           {"1.2.8", "1.2.8.0", 0},
                                           {"1.2.8", "1.2.8.1", -1},
                                           {"1.2.8", "", 0},
                                           {"1.2.8", "2", -1},
                                           {"1.2.8", "01.02.08", 0}})
        EXPECT_EQ(CheckVersionText(c.version, c.required), c.result) << c.version << " / " << c.required;
}

TEST(SystemName, IssueNetTexts) {
    EXPECT_EQ(OSNameIsUbuntu(std::string("Debian GNU/Linux 12\n")), 1);
    EXPECT_EQ(OSNameIsUbuntu(std::string("Ubuntu 22.04.3 LTS\n")), 1);
    EXPECT_EQ(OSNameIsUbuntu(std::string("Fedora release 39")), 0);
    EXPECT_EQ(OSNameIsUbuntu(std::string("")), 1);
    EXPECT_EQ(OSNameIsUbuntu(std::nullopt), 1);
}

TEST(UrlForms, AgreeWithTheCoresRule) {
    EXPECT_EQ(URLEncodeText("a b&c=%/@._-~\xed"), "a+b%26c%3d%25/@._-%7e%ed");
    EXPECT_EQ(URLDecodeText("a+b%26c%3D%zz%4"), "a b&c=%zz%4");
}

}  // namespace

// ---- Texts of the store and the relay's CA certificates ----------------------

TEST(StoreTexts, DetailItemsByPosition) {
    std::string text;
    for (int i = 0; i < 19; ++i) text += "name" + std::to_string(i) + "^v%20" + std::to_string(i) + "&";
    CertDetailInfo d;
    EXPECT_EQ(ParseCertDetail(text + "tail^ignored", d), 18) << "the names are not read; a 19th is ignored";
    EXPECT_STREQ(d.version, "v 0");
    EXPECT_STREQ(d.serialNumber, "v 1");
    EXPECT_STREQ(d.pubkeydata, "v 8");
    EXPECT_STREQ(d.authorityInfoAcc, "v 17");
    // No "^": the item keeps its place and its field stays empty; the text
    // after the last "&" is not used.
    EXPECT_EQ(ParseCertDetail("a^1&noCaret&c^3&d^4", d), 3);
    EXPECT_STREQ(d.version, "1");
    EXPECT_STREQ(d.serialNumber, "");
    EXPECT_STREQ(d.signatureAlg, "3");
    EXPECT_STREQ(d.issuerDN, "") << "cleared first";
    // Longer values are cut to their field, never into a half character.
    const std::string hangul = "\xc8\xab";  // one EUC-KR character
    std::string longVersion;
    for (int i = 0; i < 60; ++i) longVersion += hangul;
    EXPECT_EQ(ParseCertDetail("v^x" + longVersion + "&s^" + std::string(5000, 's') + "&", d), 2);
    EXPECT_EQ(std::strlen(d.version), 99u) << "x and 49 whole characters";
    EXPECT_EQ(std::string(d.serialNumber), std::string(255, 's'));
}

TEST(StoreTexts, CutTextKeepsWholeCharacters) {
    const std::string hangul = "\xc8\xab\xb1\xe6";  // two EUC-KR characters
    struct Case {
        std::string text;
        size_t max;
        std::string want;
    } cases[] = {
        {"abc", 5, "abc"},       {"abc", 2, "ab"}, {"a" + hangul, 2, "a"}, {"a" + hangul, 3, "a\xc8\xab"},
        {hangul, 3, "\xc8\xab"}, {"", 0, ""},
    };
    for (const Case& c : cases) {
        std::string t = c.text;
        CutText(t, c.max);
        EXPECT_EQ(t, c.want) << c.text << " " << c.max;
    }
}

TEST(StoreTexts, CACertsItems) {
    const std::string id(40, 'a'), base = "MIIB" + std::string(60, 'Q');
    struct Case {
        const char* what;
        std::string text;
        bool ok;
        std::vector<std::pair<bool, std::string>> want;
    } cases[] = {
        {"a single item", base, true, {{false, base}}},
        {"a trailing and doubled |", base + "||" + id + "|", true, {{false, base}, {true, std::string(40, 'A')}}},
        {"empty and | only", "|||", true, {}},
        {"40 characters not all hex are Base64",
         std::string(39, 'A') + "/",
         true,
         {{false, std::string(39, 'A') + "/"}}},
        {"39 and 41 hex digits are Base64",
         std::string(39, 'F') + "|" + std::string(41, 'F'),
         true,
         {{false, std::string(39, 'F')}, {false, std::string(41, 'F')}}},
        {"4095 bytes", std::string(4095, 'Q'), true, {{false, std::string(4095, 'Q')}}},
        {"an item over 4095 bytes refuses the text", id + "|" + std::string(4096, 'Q'), false, {}},
    };
    for (const Case& c : cases) {
        std::vector<CACertItem> items;
        EXPECT_EQ(SplitCACerts(c.text, items), c.ok) << c.what;
        std::vector<std::pair<bool, std::string>> got;
        for (const auto& i : items) got.emplace_back(i.isId, i.text);
        EXPECT_EQ(got, c.want) << c.what;
    }
}

TEST(StoreTexts, CommonNameAndFilters) {
    EXPECT_EQ(SubjectCommonName("cn=yessignCA Class 2,ou=AccreditedCA,o=yessign,c=kr"), "yessignCA Class 2");
    EXPECT_EQ(SubjectCommonName("CN=Root"), "Root");
    EXPECT_EQ(SubjectCommonName("o=X,cn=Y"), "") << "a subject not beginning with its CN adds nothing";
    EXPECT_EQ(SubjectCommonName("cn"), "");

    struct Case {
        std::string issuer, serial, want;
    } cases[] = {
        {"", "ABC", "serial=0ABC"},
        {"", "0ABC", "serial=0ABC"},
        {"cn=Test CA,o=X", "12", "issuer=Test+CA&serial=12"},
        {"cn=Test CA,o=X", "123", "issuer=Test+CA&serial=0123"},
        {"cn=A&b|c", "1&expire=0", "issuer=A%26b%7cc&serial=1%26expire%3d0"},
        {"cn", "12", "issuer=&serial=12"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.issuer.empty() ? SerialFilterText(c.serial) : IssuerSerialFilterText(c.issuer, c.serial), c.want)
            << c.issuer << " " << c.serial;
    // A 511-character name whose every byte triples, and one cut at 511.
    const std::string wide(600, '\xb0');
    const std::string filter = IssuerSerialFilterText("cn=" + wide, "");
    EXPECT_EQ(filter.size(), std::string("issuer=&serial=").size() + 511 * 3);
    EXPECT_EQ(SerialFilterText(std::string(4096, 'F')).size(), 7 + 4096u);
}
