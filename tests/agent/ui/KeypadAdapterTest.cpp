// The keypad adapters against callbacks that peers enciphered
// (keypad_peer.py: openssl enc, hashlib, python3-cryptography), the hostile
// callbacks a remote page can send, the URL parsing they share, the option
// text, and the VSF_ wrappers beside openssl.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "ui/VirtualKeypad.h"

namespace {

std::string peer(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {zqtest::kPython, zqtest::sourceDir() + "/tests/agent/ui/keypad_peer.py"};
    argv.insert(argv.end(), args.begin(), args.end());
    const zqtest::RunResult r = zqtest::run(argv);
    EXPECT_EQ(0, r.status) << args[0];
    std::string out = r.output;
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

const std::string kIncaIvHex = zqtest::hex(std::string(kIncaIv.begin(), kIncaIv.end()));

std::string lumenCallback(const std::string& plain, const std::string& rand = "a1b2c3",
                          const std::string& host = "127.0.0.1:8443", const std::string& scheme = "transkey://") {
    const std::string domainport = host.find(':') == std::string::npos ? host + ":0" : host;
    return scheme + host + "/?rand=" + rand + "&result=" + peer({"lumen", domainport, rand, zqtest::hex(plain)});
}

std::string incaCallback(const std::string& plain, const std::string& randHex = "00112233445566778899") {
    return "transkey://127.0.0.1:8443/?rand=" + randHex +
           "&result=" + peer({"inca", randHex, kIncaIvHex, zqtest::hex(plain)});
}

// The public key the NSHC adapter put into its page URL.
std::string publicKeyOf(const std::string& pageUrl) { return pageUrl.substr(pageUrl.find("publickey=") + 10); }

std::string nshcCallback(const std::string& publicKey, const std::string& plain) {
    return "nfilterkey://127.0.0.1/?encdata=" + peer({"nshc", publicKey, zqtest::hex(plain)});
}

// The window's result buffer with guard bytes after it; the adapter may
// write 259 bytes at most.
struct Result {
    std::array<char, kKeypadResultSize + 16> buf{};
    char* data() { return buf.data(); }
    std::string text() const { return std::string(buf.data(), strnlen(buf.data(), kKeypadResultSize)); }
    bool untouched() const {
        for (const char c : buf)
            if (c) return false;
        return true;
    }
};

// A Base64 character well inside the text (never one whose low bits the
// padding drops) changed.
std::string flipBase64At(std::string url, size_t fromEnd) {
    char& c = url[url.size() - fromEnd];
    c = c == 'A' ? 'B' : 'A';
    return url;
}

std::string flipHexAt(std::string url, size_t fromEnd) {
    char& c = url[url.size() - fromEnd];
    c = c == '0' ? '1' : '0';
    return url;
}

}  // namespace

TEST(KeypadAdapter, DeciphersWhatThePeersEnciphered) {
    // The hex of a SEED or ARIA cipher text fits 520 digits up to 255 plain
    // bytes (256 cipher bytes); NSHC's Base64 carries all 259.
    const std::string longestCbc(255, 'k'), longest(kKeypadMaxPlain, 'k');
    const std::string korean = "\xed\x95\x9c\xea\xb8\x80pw";
    CVirtualKeypad_Lumen lumen;
    CVirtualKeypad_Inca inca;
    CVirtualKeypad_NSHC nshc;
    const std::string nshcKey = publicKeyOf(nshc.GetUrl("https://keypad.example/page"));
    for (const std::string& plain : {std::string("pw"), longestCbc, korean}) {
        SCOPED_TRACE(plain.size());
        Result a, b;
        EXPECT_EQ(0, lumen.GetNavigate(lumenCallback(plain), a.data()));
        EXPECT_EQ(plain, a.text());
        EXPECT_EQ(0, inca.GetNavigate(incaCallback(plain), b.data()));
        EXPECT_EQ(plain, b.text());
    }
    for (const std::string& plain : {std::string("pw"), longest, korean}) {
        SCOPED_TRACE(plain.size());
        Result c;
        EXPECT_EQ(0, nshc.GetNavigate(nshcCallback(nshcKey, plain), c.data()));
        EXPECT_EQ(plain, c.text());
    }

    // Schemes in capitals, a host without a port (domainport "host:0"), an
    // Inca rand of 1 and of 32 bytes, an empty result (an empty password).
    struct Case {
        const char* what;
        IVirtualKeypad* keypad;
        std::string url;
        int expected;
        std::string plain;
    };
    const Case cases[] = {
        {"TRANSKEY:// Lumen", &lumen, lumenCallback("pw", "r", "127.0.0.1:8443", "TRANSKEY://"), 0, "pw"},
        {"no port", &lumen, lumenCallback("pw", "r", "keypad.example"), 0, "pw"},
        {"Inca rand of 1 byte", &inca, incaCallback("pw", "7f"), 0, "pw"},
        {"Inca rand of 32 bytes", &inca, incaCallback("pw", std::string(64, 'e')), 0, "pw"},
        {"Nfilterkey://", &nshc, "Nfilterkey" + nshcCallback(nshcKey, "pw").substr(10), 0, "pw"},
        {"empty result", &lumen, "transkey://h:1/?rand=x&result=", 0, ""},
        {"empty Inca result", &inca, "transkey://h:1/?rand=zz&result=&x=1", 0, ""},
        {"no rand", &lumen, "transkey://h:1/?result=00", -2, ""},
        {"no result", &inca, "transkey://h:1/?rand=00", -3, ""},
        {"not transkey", &lumen, "https://h/?rand=1&result=00", -1, ""},
        {"transkey is not NSHC's", &nshc, "transkey://h/?encdata=" + std::string(100, 'A'), -1, ""},
        {"no encdata", &nshc, "nfilterkey://h/?data=1", -1, ""},
        {"72 characters of encdata", &nshc, "nfilterkey://h/?encdata=" + std::string(72, '0'), -2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Result r;
        EXPECT_EQ(c.expected, c.keypad->GetNavigate(c.url, r.data()));
        EXPECT_EQ(c.plain, r.text());
    }
}

// A page that sends more than the buffers hold, or bytes that are not what
// they claim, gets nothing written: no overflow, no cut value.
TEST(KeypadAdapter, RefusesHostileCallbacks) {
    CVirtualKeypad_Lumen lumen;
    CVirtualKeypad_Inca inca;
    CVirtualKeypad_NSHC nshc;
    const std::string nshcKey = publicKeyOf(nshc.GetUrl("https://keypad.example/page?x=1"));
    const std::string lumenOk = lumenCallback("pw");
    const std::string incaOk = incaCallback("pw");
    const std::string nshcOk = nshcCallback(nshcKey, "pw");
    const std::string over(kKeypadMaxPlain + 1, 'o');
    std::string nonHex = lumenOk;
    nonHex[nonHex.size() - 3] = 'x';
    std::string badBase64 = nshcOk;
    badBase64[badBase64.size() - 5] = '*';

    struct Case {
        const char* what;
        IVirtualKeypad* keypad;
        std::string url;
        int expected;
    };
    const Case cases[] = {
        {"600 hex digits", &lumen, "transkey://h:1/?rand=r&result=" + std::string(600, 'a'), -6},
        {"600 hex digits, Inca", &inca, "transkey://h:1/?rand=00&result=" + std::string(600, 'a'), -4},
        {"odd hex", &lumen, lumenOk + "0", -6},
        {"non-hex digit", &lumen, nonHex, -6},
        {"66-digit Inca rand", &inca, incaCallback("pw", std::string(66, '1')), -4},
        {"odd Inca rand", &inca, "transkey://h:1/?rand=123&result=00112233445566778899aabbccddeeff", -4},
        {"empty Inca rand", &inca, "transkey://h:1/?rand=&result=00112233445566778899aabbccddeeff", -4},
        {"non-hex Inca rand", &inca, "transkey://h:1/?rand=0g&result=00112233445566778899aabbccddeeff", -4},
        {"251-character Lumen rand", &lumen, lumenCallback("pw", std::string(251, 'r')), -5},
        {"300-character domainport", &lumen, lumenCallback("pw", "r", std::string(294, 'd') + ":8443"), -5},
        {"256 bytes, Lumen (544 hex digits)", &lumen, lumenCallback(std::string(256, 'o')), -6},
        {"256 bytes, Inca (544 hex digits)", &inca, incaCallback(std::string(256, 'o')), -4},
        {"260 bytes, NSHC", &nshc, nshcCallback(nshcKey, over), -2},
        {"300 bytes, NSHC", &nshc, nshcCallback(nshcKey, std::string(300, 'p')), -2},
        {"Base64 outside the alphabet", &nshc, badBase64, -2},
        {"flipped Lumen byte", &lumen, flipHexAt(lumenOk, 20), -6},
        {"flipped Inca byte", &inca, flipHexAt(incaOk, 20), -4},
        {"flipped NSHC tag", &nshc, flipBase64At(nshcOk, 6), -2},
        {"NSHC key data not hex", &nshc, "nfilterkey://h/?encdata=" + std::string(72, 'z') + "AAAA", -2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Result r;
        EXPECT_EQ(c.expected, c.keypad->GetNavigate(c.url, r.data()));
        EXPECT_TRUE(r.untouched());
    }
    // 251 rand characters would have been cut at 259 joined characters; 250
    // still arrive as what they are.
    Result r;
    EXPECT_EQ(0, lumen.GetNavigate(lumenCallback("pw", std::string(250, 'r')), r.data()));
    EXPECT_EQ("pw", r.text());
}

TEST(KeypadAdapter, NshcPairIsMadePerPageAndReplaced) {
    CVirtualKeypad_NSHC nshc;
    const std::string bare = nshc.GetUrl("https://keypad.example/page");
    const std::string withQuery = nshc.GetUrl("https://keypad.example/page?lang=ko");
    EXPECT_EQ(0u, bare.find("https://keypad.example/page?publickey="));
    EXPECT_EQ(0u, withQuery.find("https://keypad.example/page?lang=ko&publickey="));
    EXPECT_EQ(64u, publicKeyOf(withQuery).size());
    EXPECT_NE(publicKeyOf(bare), publicKeyOf(withQuery));
    // Sealed to the first page's key: the second page's pair does not open it.
    Result r;
    EXPECT_EQ(-2, nshc.GetNavigate(nshcCallback(publicKeyOf(bare), "pw"), r.data()));
    EXPECT_TRUE(r.untouched());
    EXPECT_EQ(0, nshc.GetNavigate(nshcCallback(publicKeyOf(withQuery), "pw"), r.data()));
    // No pair at all: nothing to derive with.
    CVirtualKeypad_NSHC fresh;
    Result none;
    EXPECT_EQ(-2, fresh.GetNavigate(nshcCallback(publicKeyOf(bare), "pw"), none.data()));
}

TEST(KeypadAdapter, ParsesCallbackUrls) {
    CVirtualKeypad_Lumen k;
    struct Case {
        const char* url;
        const char* name;
        int expected;
        const char* value;
    };
    const Case cases[] = {
        {"transkey://h:8443/?rand=1&result=2", "rand", 0, "1"},
        {"transkey://h:8443/?xrand=9&rand=1", "rand", 0, "1"},  // a whole name only
        {"transkey://h:8443/?xrand=9", "rand", -1, ""},
        {"transkey://h/?rand=1&rand=2", "rand", 0, "1"},  // the first wins
        {"transkey://h/rand=1", "rand", 0, "1"},          // at the start of the rest
        {"transkey://h/?rand=&result=2", "rand", 0, ""},
        {"transkey://h/?rand=%41+b", "rand", 0, "%41+b"},  // not decoded
        {"transkey://h:8443?rand=5", "rand", 0, "5"},      // no "/": the whole text
        {"transkey://h:8443/?r=1", "domainport", 0, "h:8443"},
        {"transkey://keypad.example/?r=1", "domainport", 0, "keypad.example:0"},
        {"transkey:///?r=1", "domainport", 0, ":0"},
        {"transkey://h:70000/", "domainport", 0, "h:4464"},  // 16 bits, as the port is kept
        {"transkey:h/?rand=1", "rand", -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        std::string value;
        EXPECT_EQ(c.expected, k.GetPaserURL(c.url, c.name, value));
        EXPECT_EQ(c.value, value);
    }
    std::string value;
    EXPECT_EQ(-1, k.GetPaserURL(nullptr, "rand", value));
}

TEST(KeypadAdapter, HexBase64AndUrlEncoding) {
    CVirtualKeypad_Inca k;
    unsigned char out[4] = {};
    EXPECT_EQ(2, k.GetHex2bin("0a1B", out, 4));
    EXPECT_EQ(0x0A, out[0]);
    EXPECT_EQ(0x1B, out[1]);
    EXPECT_EQ(-1, k.GetHex2bin("0a1", out, 3));
    EXPECT_EQ(-2, k.GetHex2bin("0g", out, 2));
    EXPECT_EQ(-1, k.GetHex2bin('\0'));
    EXPECT_EQ(-2, k.GetHex2bin('x'));
    EXPECT_EQ(15, k.GetHex2bin('F'));

    EXPECT_EQ("a+b%2Fc-._%25%EC%9E", k.URLEncode("a b/c-._%\xec\x9e", 100));
    EXPECT_EQ("ab", k.URLEncode("abcdef", 2));  // never past len

    struct B64 {
        const char* text;
        int expected;
        std::string bytes;
    };
    const B64 cases[] = {
        {"cHc=", 2, "pw"}, {"cHc", 2, "pw"}, {"cA==", 1, "p"},  {"cHdk", 3, "pwd"}, {"", 0, ""},
        {"c", 0, ""},      {"cH*=", -1, ""}, {"cHc=x", -1, ""}, {"cH c", -1, ""},   {"-_", -1, ""},
    };
    for (const B64& c : cases) {
        SCOPED_TRACE(c.text);
        WipedBytes out;
        EXPECT_EQ(c.expected, k.Base64Decode(c.text, static_cast<int>(std::strlen(c.text)), out));
        EXPECT_EQ(c.bytes, std::string(reinterpret_cast<const char*>(out.data()), out.size()));
    }
}

TEST(KeypadAdapter, CreatorChoosesByWholeName) {
    CWebDlgVirtualKeypad creator;
    EXPECT_EQ(-1, creator.CreateKeypad(nullptr));
    struct Case {
        const char* name;
        int expected;
        bool nshc;
    };
    const Case cases[] = {{"LUMEN", 0, false}, {"Inca", 0, false},    {"NsHc", 0, true},
                          {"", -2, false},     {"lumen2", -2, false}, {"lume", -2, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, creator.CreateKeypad(c.name));
        EXPECT_EQ(c.expected == 0, creator.GetKeypad() != nullptr);
        if (c.nshc) {
            EXPECT_NE(nullptr, dynamic_cast<CVirtualKeypad_NSHC*>(creator.GetKeypad()));
        }
    }
    EXPECT_EQ(-2, creator.CreateKeypad(std::string(150, 'x').c_str()));
    EXPECT_EQ(0, creator.CreateKeypad("inca"));
    creator.ReleaseKeypad();
    EXPECT_EQ(nullptr, creator.GetKeypad());
}

TEST(KeypadAdapter, OptionText) {
    struct Case {
        const char* text;
        int expected;
        const char* url;
        int width, height;
    };
    const Case cases[] = {
        {"URL=https://Keypad.example/Page&Width=640&HEIGHT=300", 0, "https://Keypad.example/Page", 640, 300},
        {"url=https://k.example/p?a=1&b=2", 0, "https://k.example/p?a=1", 500, 400},  // cut at the first "&"
        {"url=http://127.0.0.1:8080/kp", 0, "http://127.0.0.1:8080/kp", 500, 400},
        {"url=http://localhost/kp&width=", 0, "http://localhost/kp", 500, 400},
        {"url=http://[::1]:9/kp&width=&height=50", 0, "http://[::1]:9/kp", 100, 100},  // empty width gives 0
        {"url=https://k.example/&width=99999&height=-5", 0, "https://k.example/", 1920, 100},
        {"width=300&height=200", -2, "", 300, 200},
        {"url=&width=300", -2, "", 300, 400},
        {"url=file:///etc/passwd", -2, "file:///etc/passwd", 500, 400},
        {"url=data:text/html,<b>x</b>", -2, "data:text/html,<b>x</b>", 500, 400},
        {"url=javascript:alert(1)", -2, "javascript:alert(1)", 500, 400},
        {"url=http://example.com/kp", -2, "http://example.com/kp", 500, 400},
        {"url=http://127.0.0.1@example.com/kp", -2, "http://127.0.0.1@example.com/kp", 500, 400},
        {"url=http://127.0.0.1.example.com/", -2, "http://127.0.0.1.example.com/", 500, 400},
        {"url=http://127.0.0.1\t.example.com/", -2, "http://127.0.0.1\t.example.com/", 500, 400},
        {"url=http://127.0.0.1:80x/", -2, "http://127.0.0.1:80x/", 500, 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        KeypadPageOption o;
        EXPECT_EQ(c.expected, KeypadOption_Parse(c.text, o));
        EXPECT_EQ(c.url, o.url);
        EXPECT_EQ(c.width, o.width);
        EXPECT_EQ(c.height, o.height);
    }
}

TEST(KeypadAdapter, VsfWrappersMatchOpenssl) {
    const std::string data = "The keypad's digest and cipher wrappers";
    for (const auto& [name, flag] : {std::pair{"SHA1", "-sha1"}, std::pair{"SHA256", "-sha256"}}) {
        unsigned char* out = nullptr;
        int len = 0;
        ASSERT_EQ(0, VSF_HASH_Data(data.data(), static_cast<int>(data.size()), &out, &len, name));
        const zqtest::RunResult r = zqtest::run({"openssl", "dgst", flag, "-binary"}, data);
        EXPECT_EQ(r.output, std::string(reinterpret_cast<char*>(out), static_cast<size_t>(len)));
        EXPECT_EQ(0, out[len]);
        std::free(out);
    }
    unsigned char* none = nullptr;
    int noneLen = 0;
    EXPECT_EQ(-100, VSF_HASH_Data(data.data(), 0, &none, &noneLen, "SHA1"));
    EXPECT_EQ(-1, VSF_HASH_Data(data.data(), 3, &none, &noneLen, "NOSUCH"));

    const std::string key(32, '\x5a'), iv = "0123456789abcdef";
    struct Cipher {
        const char* name;
        std::vector<std::string> enc;
        size_t keyLen;
    };
    const Cipher ciphers[] = {
        {"seed", {"-seed-cbc", "-provider", "legacy", "-provider", "default"}, 16},
        {"SEED-OFB", {"-seed-ofb", "-provider", "legacy", "-provider", "default"}, 16},
        {"ARIA256", {"-aria-256-cbc"}, 32},
        {"aes256", {"-aes-256-cbc"}, 32},
    };
    for (const Cipher& c : ciphers) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> argv = {"openssl", "enc"};
        argv.insert(argv.end(), c.enc.begin(), c.enc.end());
        argv.insert(argv.end(), {"-K", zqtest::hex(key.substr(0, c.keyLen)), "-iv", zqtest::hex(iv)});
        const std::string expected = zqtest::run(argv, data).output;
        ASSERT_FALSE(expected.empty());
        std::string name = c.name;
        void* out = nullptr;
        int len = 0;
        ASSERT_EQ(0, VSF_Cipher(key.data(), iv.data(), name.data(), 1, data.data(), static_cast<int>(data.size()), &out,
                                &len, 16, 1));
        EXPECT_EQ(expected, std::string(static_cast<char*>(out), static_cast<size_t>(len)));
        std::free(out);
        ASSERT_EQ(0, VSF_Cipher(key.data(), iv.data(), name.data(), 1, expected.data(),
                                static_cast<int>(expected.size()), &out, &len, 16, 2));
        EXPECT_EQ(data, std::string(static_cast<char*>(out), static_cast<size_t>(len)));
        std::free(out);
    }
    char abc[] = "ABC";
    char seed[] = "SEED";
    void* out = nullptr;
    int len = 0;
    EXPECT_EQ(-200, VSF_Cipher(key.data(), iv.data(), abc, 1, data.data(), 4, &out, &len, 16, 1));
    EXPECT_EQ(-1, VSF_Cipher(nullptr, iv.data(), seed, 1, data.data(), 4, &out, &len, 16, 1));
    EXPECT_EQ(-200, VSF_Cipher(key.data(), iv.data(), seed, 1, data.data(), 0, &out, &len, 16, 1));
    EXPECT_EQ(-400, VSF_Cipher(key.data(), iv.data(), seed, 1, data.data(), 5, &out, &len, 16, 2));
    EXPECT_EQ(nullptr, out);
}
