// The HTTP/1.0 client against python's http.server and curl, and against
// stand-ins for what a real server does wrong; the LDAP clients against
// slapd and ldapsearch.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include <zunCore/net.h>

#include "CoreHelpers.h"
#include "NetServers.h"
#include "services/net_internal.hpp"

using coretest::Buf;
using nettest::StandIn;

namespace {

std::string fixtures() {
    static const std::string dir = coretest::fixtureDir("make_net_fixtures.sh");
    return dir;
}

struct Body {
    zcore::MallocPtr<char> buf;
    int len = -7;  // untouched unless the call says it succeeded
    std::string str() const { return buf ? std::string(buf.get(), static_cast<size_t>(len)) : std::string(); }
};

Body httpGet(const std::string& url) {
    Body b;
    b.buf.reset(VCL_Http_Get_file(url.c_str(), &b.len));
    return b;
}

// get_http_file with the options the tests vary; the others as
// VCL_Http_Get_file has them.
struct Call {
    std::string url;
    const char* socks = nullptr;
    const char* proxy = nullptr;
    int connectTimeout = 5;
    int readTimeout = 5;
    const char* post = nullptr;
    const char* cookie = nullptr;
    const char* referer = nullptr;
    int anyStatus = 0;
    int encode = 0;
    int raw = 0;
    const char* extra = nullptr;
    Body run() const {
        Body b;
        b.buf.reset(zcore::get_http_file(url.c_str(), socks, proxy, connectTimeout, readTimeout, post, cookie, referer,
                                         anyStatus, encode, 0, raw, extra, &b.len));
        return b;
    }
};

std::string local(unsigned short port, const std::string& path = "/") {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

std::string curlGet(const std::string& url) { return zqtest::run({"curl", "-s", url}).output; }

}  // namespace

// ---- HTTP against python's server, and curl as the peer -------------------

TEST(HttpPeer, BodiesEqualCurl) {
    ASSERT_FALSE(fixtures().empty());
    nettest::HttpServer server(fixtures());
    ASSERT_TRUE(server.ok());
    const std::string port = std::to_string(server.port());
    for (const char* file : {"small.txt", "blob.bin", "crl.der"}) {
        const std::string expected = zqtest::readFile(fixtures() + "/" + file);
        const std::string path = std::string("/") + file;
        for (const std::string& url :
             {server.url(path), "127.0.0.1:" + port + path, "HTTP://localhost:" + port + path + "#part"}) {
            SCOPED_TRACE(url);
            const Body b = httpGet(url);
            ASSERT_TRUE(b.buf);
            EXPECT_EQ(b.len, static_cast<int>(expected.size()));
            EXPECT_EQ(b.str(), expected);
            EXPECT_EQ(b.buf.get()[b.len], '\0');
            EXPECT_EQ(b.str(), curlGet(server.url(path)));
        }
    }
}

TEST(HttpPeer, NotFoundGivesNothingUnlessAnyStatus) {
    ASSERT_FALSE(fixtures().empty());
    nettest::HttpServer server(fixtures());
    ASSERT_TRUE(server.ok());
    const Body none = httpGet(server.url("/missing.der"));
    EXPECT_FALSE(none.buf);
    EXPECT_EQ(none.len, -7);

    Call c;
    c.url = server.url("/missing.der");
    c.anyStatus = 1;
    testing::internal::CaptureStdout();
    const Body page = c.run();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\n");
    ASSERT_TRUE(page.buf);
    EXPECT_EQ(page.str(), curlGet(server.url("/missing.der")));
    EXPECT_NE(page.str().find("404"), std::string::npos);
}

// ---- What a server sends, and what the client makes of it -----------------

TEST(HttpResponses, Table) {
    const std::string longLine = "X-Long: " + std::string(9000, 'a') + "\r\n";
    struct Case {
        const char* name;
        std::string response;
        const char* body;  // null: the call fails
    } cases[] = {
        {"exact Content-Length", "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello", "hello"},
        {"bytes past Content-Length are not body", "HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nhello", "hel"},
        {"to the close without Content-Length", "HTTP/1.0 200 OK\r\nServer: x\r\n\r\nall of it", "all of it"},
        {"bare line feeds, no reason text", "HTTP/1.1 200\nContent-Type: text/plain\n\nlf", "lf"},
        {"a 302's own body", "HTTP/1.0 302 Found\r\nLocation: /x\r\n\r\nmoved", "moved"},
        {"short Content-Length", "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nhello", nullptr},
        {"Content-Lengths disagree", "HTTP/1.0 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\nhello!",
         nullptr},
        {"Content-Length not a number", "HTTP/1.0 200 OK\r\nContent-Length: 5x\r\n\r\nhello", nullptr},
        {"Content-Length past the cap", "HTTP/1.0 200 OK\r\nContent-Length: 67108865\r\n\r\nhello", nullptr},
        {"overlong header line", "HTTP/1.0 200 OK\r\n" + longLine + "\r\nbody", nullptr},
        {"overlong status line", "HTTP/1.0 200 " + std::string(9000, 'k') + "\r\n\r\nbody", nullptr},
        {"no status line", "Content-Type: text/plain\r\n\r\nbody", nullptr},
        {"an HTTP line later is no status line", "X: 1\r\nHTTP/1.0 200 OK\r\n\r\nbody", nullptr},
        {"HTTP/0.9: body alone", "just a body", nullptr},
        {"status 500", "HTTP/1.0 500 Oops\r\nContent-Length: 4\r\n\r\nfail", nullptr},
        {"status 2000", "HTTP/1.0 2000 OK\r\n\r\nbody", nullptr},
        {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nbody\r\n0\r\n\r\n", nullptr},
        {"closed inside the header", "HTTP/1.0 200 OK\r\nServer: x\r\n", nullptr},
        {"empty body", "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n", nullptr},
        {"a line without a colon", "HTTP/1.0 200 OK\r\nnonsense\r\n\r\nbody", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StandIn server(nettest::answer(c.response));
        const Body b = httpGet(local(server.port(), "/x"));
        if (c.body) {
            ASSERT_TRUE(b.buf);
            EXPECT_EQ(b.str(), c.body);
        } else {
            EXPECT_FALSE(b.buf);
            EXPECT_EQ(b.len, -7);
        }
    }
}

TEST(HttpResponses, SilenceAndStallsEndInTime) {
    // Accepts, reads the request, never answers.
    StandIn silent([](int fd, StandIn& self) {
        nettest::readRequest(fd, self);
        while (!self.stopping()) usleep(20000);
    });
    // Half the announced body, then nothing.
    StandIn stall([](int fd, StandIn& self) {
        nettest::readRequest(fd, self);
        nettest::sendAll(fd, "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nhalf");
        while (!self.stopping()) usleep(20000);
    });
    for (unsigned short port : {silent.port(), stall.port()}) {
        Call c;
        c.url = local(port, "/x");
        c.readTimeout = 1;
        const auto start = std::chrono::steady_clock::now();
        const Body b = c.run();
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_FALSE(b.buf);
        EXPECT_EQ(b.len, -7);
        EXPECT_GE(took, std::chrono::milliseconds(900));
        EXPECT_LT(took, std::chrono::seconds(6));
    }
}

// ---- The request on the wire ---------------------------------------------

TEST(HttpRequests, RequestLineHostAndHeaders) {
    StandIn server(nettest::answer("HTTP/1.0 200 OK\r\n\r\nok"));
    const std::string hostPort = "127.0.0.1:" + std::to_string(server.port());
    const std::string common =
        "User-Agent: Mozilla/2.0 (Win95; I)\r\nPragma: no-cache\r\nHost: " + hostPort + "\r\nAccept: */*\r\n";
    Call c;
    c.url = "http://" + hostPort + "/a/b?x=1#frag";
    ASSERT_TRUE(c.run().buf);
    EXPECT_EQ(server.recorded(), "GET /a/b?x=1 HTTP/1.0\r\n" + common + "\r\n");

    c.url = hostPort;  // no scheme, no path
    c.cookie = "k=v";
    c.referer = "http://ref/";
    c.extra = "X-Extra: 1";
    ASSERT_TRUE(c.run().buf);
    EXPECT_EQ(server.recorded(),
              "GET / HTTP/1.0\r\n" + common + "Referer: http://ref/\r\nCookie: k=v\r\nX-Extra: 1\r\n\r\n");
}

TEST(HttpRequests, ProxyGetsTheWholeUrl) {
    StandIn proxy(nettest::answer("HTTP/1.0 200 OK\r\n\r\nvia proxy"));
    const std::string proxyHost = "127.0.0.1:" + std::to_string(proxy.port());
    Call c;
    c.url = "http://crl.example.invalid:8080/ca/crl.der";
    c.proxy = proxyHost.c_str();
    const Body b = c.run();
    ASSERT_TRUE(b.buf);
    EXPECT_EQ(b.str(), "via proxy");
    EXPECT_EQ(proxy.recorded(),
              "GET http://crl.example.invalid:8080/ca/crl.der HTTP/1.0\r\n"
              "Proxy-Connection:Keep-Alive\r\n"
              "User-Agent: Mozilla/2.0 (Win95; I)\r\nPragma: no-cache\r\n"
              "Host: crl.example.invalid:8080\r\nAccept: */*\r\n\r\n");
}

TEST(HttpRequests, Socks4Hop) {
    ::setenv("USER", "tester", 1);
    // The SOCKS request, then the reply byte, then an HTTP server on the same
    // connection.
    auto socks = [](unsigned char grant) {
        return [grant](int fd, StandIn& self) {
            std::string req;
            char ch;
            while (req.size() < 8 || req.back() != '\0') {
                if (::recv(fd, &ch, 1, 0) != 1) return;
                req += ch;
            }
            self.record(req);
            nettest::sendAll(fd, std::string("\0", 1) + static_cast<char>(grant) + std::string(6, '\0'));
            if (grant != 0x5A) return;
            std::string http;
            while (http.find("\r\n\r\n") == std::string::npos && ::recv(fd, &ch, 1, 0) == 1) http += ch;
            nettest::sendAll(fd, "HTTP/1.0 200 OK\r\n\r\nthrough socks");
        };
    };
    StandIn granted(socks(0x5A));
    const std::string socksHost = "127.0.0.1:" + std::to_string(granted.port());
    Call c;
    c.url = "http://127.0.0.1:4567/x";
    c.socks = socksHost.c_str();
    const Body b = c.run();
    ASSERT_TRUE(b.buf);
    EXPECT_EQ(b.str(), "through socks");
    EXPECT_EQ(granted.recorded(), std::string("\x04\x01\x11\xd7\x7f\x00\x00\x01tester\0", 15));

    StandIn refused(socks(0x5B));
    const std::string refusedHost = "127.0.0.1:" + std::to_string(refused.port());
    c.socks = refusedHost.c_str();
    EXPECT_FALSE(c.run().buf);
    // A reply cut short.
    StandIn cut([](int fd, StandIn&) { nettest::sendAll(fd, std::string("\0\x5A\0", 3)); });
    const std::string cutHost = "127.0.0.1:" + std::to_string(cut.port());
    c.socks = cutHost.c_str();
    EXPECT_FALSE(c.run().buf);
}

TEST(HttpRequests, PostFiles) {
    ASSERT_FALSE(fixtures().empty());
    StandIn server(nettest::answer("HTTP/1.0 200 OK\r\n\r\nposted"));
    const std::string url = local(server.port(), "/form");
    const std::string file = fixtures() + "/post.txt";
    Call c;
    c.url = url;
    c.post = file.c_str();
    c.encode = 1;
    ASSERT_TRUE(c.run().buf);
    const std::string encoded = "a+b&c=d%26%C3%A9%x&";
    EXPECT_EQ(server.recorded(), "POST " + url + " HTTP/1.0\r\nUser-Agent: Mozilla/2.0 (Win95; I)\r\n" +
                                     "Pragma: no-cache\r\nHost: 127.0.0.1:" + std::to_string(server.port()) +
                                     "\r\nAccept: */*\r\nContent-type: application/x-www-form-urlencoded\r\n" +
                                     "Content-length: " + std::to_string(encoded.size()) + "\r\n\r\n" + encoded);
    c.encode = 0;
    ASSERT_TRUE(c.run().buf);
    const std::string raw = zqtest::readFile(file);
    EXPECT_EQ(server.recorded().substr(server.recorded().size() - raw.size()), raw);

    const std::string missing = fixtures() + "/no-such-file";
    c.post = missing.c_str();
    const int before = server.connections();
    EXPECT_FALSE(c.run().buf);
    EXPECT_EQ(server.connections(), before);
}

TEST(HttpRequests, RawExchange) {
    StandIn server([](int fd, StandIn&) { nettest::sendAll(fd, "220 banner\r\nno header here"); });
    Call c;
    c.url = local(server.port());
    c.raw = 1;
    const Body b = c.run();
    ASSERT_TRUE(b.buf);
    EXPECT_EQ(b.str(), "220 banner\r\nno header here");
}

// Refused before any connection: nothing reaches the server.
TEST(HttpRequests, RefusedUnsent) {
    StandIn server(nettest::answer("HTTP/1.0 200 OK\r\n\r\nok"));
    const std::string hp = "127.0.0.1:" + std::to_string(server.port());
    const std::string longCookie(1015, 'c');  // a Cookie line of 1025 bytes
    const std::string longExtra = "X: " + std::string(1019, 'e');
    struct Case {
        const char* name;
        std::string url;
        const char* cookie;
        const char* extra;
    } cases[] = {
        {"https is not sent in clear text", "https://" + hp + "/x", nullptr, nullptr},
        {"another scheme", "ftp://" + hp + "/x", nullptr, nullptr},
        {"a blank in the URL", "http://" + hp + "/a b", nullptr, nullptr},
        {"a line end in the URL", "http://" + hp + "/a\r\nX: y", nullptr, nullptr},
        {"a bad port", "http://127.0.0.1:99999/x", nullptr, nullptr},
        {"no host", "http:///x", nullptr, nullptr},
        {"user info", "http://u@" + hp + "/x", nullptr, nullptr},
        {"a Cookie line over 1024 bytes", "http://" + hp + "/x", longCookie.c_str(), nullptr},
        {"a head over 4096 bytes", "http://" + hp + "/" + std::string(4100, 'p'), nullptr, nullptr},
        {"an extra header over 1021 characters", "http://" + hp + "/x", nullptr, longExtra.c_str()},
        {"a cookie with a line end", "http://" + hp + "/x", "a=b\r\nX-Injected: 1", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Call call;
        call.url = c.url;
        call.cookie = c.cookie;
        call.extra = c.extra;
        EXPECT_FALSE(call.run().buf);
    }
    EXPECT_EQ(server.connections(), 0);
    // Just inside the limits.
    Call fits;
    fits.url = "http://" + hp + "/x";
    const std::string extra = "X: " + std::string(1018, 'e');
    const std::string cookie(1014, 'c');
    fits.extra = extra.c_str();
    fits.cookie = cookie.c_str();
    EXPECT_TRUE(fits.run().buf);
    EXPECT_FALSE(VCL_Http_Get_file(nullptr, nullptr));
}

// ---- The reader by itself -------------------------------------------------

TEST(HttpReader, PiecesAndCap) {
    using R = zcore::HttpResponseReader;
    const std::string response = "HTTP/1.0 200 OK\r\nContent-Length: 10\r\nX: y\r\n\r\n0123456789";
    // Byte by byte gives what the whole gives.
    R whole, bytes;
    EXPECT_EQ(whole.feed(response.data(), response.size()), R::State::Done);
    for (char ch : response) bytes.feed(&ch, 1);
    ASSERT_EQ(bytes.state(), R::State::Done);
    EXPECT_EQ(std::string(bytes.body(), bytes.bodyLength()), "0123456789");
    EXPECT_EQ(whole.status(), 200);
    EXPECT_EQ(whole.contentLength(), 10);

    // A cap of 10: exactly 10 passes, 11 fails, with or without a length.
    for (const std::string& r :
         {std::string("HTTP/1.0 200 OK\r\n\r\n0123456789"), std::string("HTTP/1.0 200 OK\r\n\r\n0123456789A"),
          std::string("HTTP/1.0 200 OK\r\nContent-Length: 11\r\n\r\n")}) {
        R capped(false, 10);
        capped.feed(r.data(), r.size());
        capped.finish();
        EXPECT_EQ(capped.state(), r.ends_with("0123456789") ? R::State::Done : R::State::Failed) << r;
    }
    // Received straight into the body's room.
    R direct(false, 100);
    const std::string head = "HTTP/1.0 200 OK\r\n\r\n";
    direct.feed(head.data(), head.size());
    auto room = direct.bodyRoom();
    ASSERT_GE(room.size(), 3u);
    std::memcpy(room.data(), "abc", 3);
    direct.bodyCommit(3);
    EXPECT_EQ(direct.finish(), R::State::Done);
    zcore::MallocPtr<char> body = direct.takeBody();
    EXPECT_STREQ(body.get(), "abc");
}

// ---- LDAP against slapd ----------------------------------------------------

namespace {

const char kKorean[] = "한글이 들어 있는 설명";

struct Directory {
    nettest::Slapd slapd;
    std::string crl, arl;
    Directory() {
        crl = zqtest::readFile(fixtures() + "/crl.der");
        arl = zqtest::readFile(fixtures() + "/arl.der");
        const std::string f = fixtures();
        ok = slapd.ok() && slapd.add(
                               "dn: cn=CA1,c=KR\nobjectClass: cRLDistributionPoint\ncn: CA1\n"
                               "certificateRevocationList;binary:< file://" +
                               f +
                               "/crl.der\n"
                               "authorityRevocationList;binary:< file://" +
                               f +
                               "/arl.der\n\n"
                               "dn: cn=Root CA,c=KR\nobjectClass: cRLDistributionPoint\ncn: Root CA\n"
                               "authorityRevocationList;binary:< file://" +
                               f +
                               "/arl.der\n\n"
                               "dn: cn=Empty,c=KR\nobjectClass: applicationProcess\ncn: Empty\n"
                               "description:: " +
                               zqtest::run({"base64", "-w0"}, kKorean).output + "\n");
    }
    bool ok = false;
    std::string url(const std::string& rest) const {
        return "ldap://127.0.0.1:" + std::to_string(slapd.port()) + "/" + rest;
    }
};

struct Fetched {
    int rc = -1;
    zcore::MallocPtr<unsigned char> data;
    int len = -7;
    std::string str() const {
        return data ? std::string(reinterpret_cast<const char*>(data.get()), static_cast<size_t>(len)) : std::string();
    }
};

Fetched ldapGet(const std::string& url, int urlLength = -1) {
    Fetched f;
    unsigned char* out = nullptr;
    f.rc = VCL_Ldap_Get_Data(url.c_str(), urlLength < 0 ? static_cast<int>(url.size()) : urlLength, &out, &f.len);
    f.data.reset(out);
    return f;
}

}  // namespace

TEST(LdapPeer, CrlEqualsLdapsearch) {
    ASSERT_FALSE(fixtures().empty());
    Directory dir;
    ASSERT_TRUE(dir.ok);
    struct Case {
        std::string rest, dn, attribute;
    } cases[] = {
        {"cn=CA1,c=KR?certificateRevocationList;binary", "cn=CA1,c=KR", "certificateRevocationList;binary"},
        {"cn=CA1,c=KR?certificateRevocationList", "cn=CA1,c=KR", "certificateRevocationList"},
        {"cn=CA1,c=KR", "cn=CA1,c=KR", "certificateRevocationList"},
        {"cn=CA1,c=KR?authorityRevocationList;binary?base", "cn=CA1,c=KR", "authorityRevocationList"},
        {"cn=Root%20CA,c=KR", "cn=Root CA,c=KR", "authorityRevocationList"},
        {"cn%3DCA1%2Cc%3DKR?CERTIFICATEREVOCATIONLIST", "cn=CA1,c=KR", "certificateRevocationList"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rest);
        const Fetched f = ldapGet(dir.url(c.rest));
        ASSERT_EQ(f.rc, 0);
        const std::string peer = dir.slapd.search(c.dn, c.attribute);
        ASSERT_FALSE(peer.empty());
        EXPECT_EQ(f.str(), peer);
        EXPECT_EQ(f.data.get()[f.len], 0);
    }
    EXPECT_EQ(ldapGet(dir.url("cn=CA1,c=KR")).str(), dir.crl);
    EXPECT_EQ(ldapGet(dir.url("cn=Root%20CA,c=KR")).str(), dir.arl);
}

TEST(LdapPeer, Failures) {
    ASSERT_FALSE(fixtures().empty());
    Directory dir;
    ASSERT_TRUE(dir.ok);
    const unsigned short nobody = nettest::freePort();
    const std::string longDn = "cn=" + std::string(300, 'x') + ",c=KR";
    struct Case {
        std::string url;
        int rc;
    } cases[] = {
        {dir.url("cn=Nobody,c=KR"), VCL_ERR_LDAP_NO_ENTRY},
        {dir.url("cn=Empty,c=KR"), VCL_ERR_LDAP_NO_ENTRY},
        {dir.url("cn=CA1,c=KR?description"), VCL_ERR_LDAP_NO_ENTRY},
        {"ldaps://127.0.0.1/cn=CA1,c=KR", VCL_ERR_LDAP_SCHEME},
        {"http://127.0.0.1/cn=CA1,c=KR", VCL_ERR_LDAP_SCHEME},
        {"ldap://127.0.0.1:" + std::to_string(nobody) + "/cn=CA1,c=KR", VCL_ERR_LDAP_CONNECT},
        {"ldap://127.0.0.1/" + longDn.substr(0, 256 - 17), VCL_ERR_INVALID_PARAM},
        {"ldap://127.0.0.1:0/cn=CA1,c=KR", VCL_ERR_INVALID_PARAM},
        {"ldap:///cn=CA1,c=KR", VCL_ERR_INVALID_PARAM},
        {dir.url("cn=CA1%2,c=KR"), VCL_ERR_INVALID_PARAM},
        {dir.url("cn=CA1%00,c=KR"), VCL_ERR_INVALID_PARAM},
        {dir.url("cn=CA1,c=KR?a(b)"), VCL_ERR_INVALID_PARAM},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        const Fetched f = ldapGet(c.url);
        EXPECT_EQ(f.rc, c.rc);
        EXPECT_FALSE(f.data);
        EXPECT_EQ(f.len, -7);
    }
    unsigned char* data = nullptr;
    int len = 0;
    EXPECT_EQ(VCL_Ldap_Get_Data(nullptr, 5, &data, &len), VCL_ERR_INVALID_PARAM);
    EXPECT_EQ(VCL_Ldap_Get_Data("ldap://x/", 0, &data, &len), VCL_ERR_INVALID_PARAM);
    EXPECT_EQ(VCL_Ldap_Get_Data("ldap://x/", 9, nullptr, &len), VCL_ERR_INVALID_PARAM);
    // Only the given length is read: the URL ends where the caller says.
    const std::string both = dir.url("cn=CA1,c=KR") + "garbage";
    const Fetched part = ldapGet(both, static_cast<int>(dir.url("cn=CA1,c=KR").size()));
    EXPECT_EQ(part.rc, 0);
    EXPECT_EQ(part.str(), dir.crl);
}

TEST(LdapPeer, SimpleSearch) {
    ASSERT_FALSE(fixtures().empty());
    Directory dir;
    ASSERT_TRUE(dir.ok);
    Buf<char> value;
    const int port = dir.slapd.port();
    ASSERT_EQ(VCL_Ldap_Simple_Search("127.0.0.1", port, "cn=admin,c=KR", "secret", "c=KR", "(cn=Empty)", "description",
                                     value.out()),
              0);
    const auto expected = coretest::iconvText(kKorean, "UTF-8", "EUC-KR");
    ASSERT_TRUE(expected);
    EXPECT_EQ(value.str(), *expected);
    // Anonymous, and a filter in EUC-KR.
    const auto filter = coretest::iconvText(std::string("(description=") + kKorean + ")", "UTF-8", "EUC-KR");
    ASSERT_EQ(VCL_Ldap_Simple_Search("127.0.0.1", port, nullptr, nullptr, "c=KR", filter->c_str(), "cn", value.out()),
              0);
    EXPECT_EQ(value.str(), "Empty");

    EXPECT_EQ(
        VCL_Ldap_Simple_Search("127.0.0.1", port, "cn=admin,c=KR", "wrong", "c=KR", "(cn=Empty)", "cn", value.out()),
        VCL_ERR_LDAP_BIND);
    EXPECT_EQ(VCL_Ldap_Simple_Search("127.0.0.1", port, nullptr, nullptr, "c=KR", "(cn=Nobody)", "cn", value.out()),
              VCL_ERR_LDAP_NO_ENTRY);
    EXPECT_EQ(
        VCL_Ldap_Simple_Search("127.0.0.1", port, nullptr, nullptr, "c=KR", "(cn=CA1)", "description", value.out()),
        VCL_ERR_LDAP_NO_ATTRIBUTE);
    EXPECT_EQ(VCL_Ldap_Simple_Search("127.0.0.1", port, nullptr, nullptr, "c=KR", "((", "cn", value.out()),
              VCL_ERR_LDAP_SEARCH);
    EXPECT_EQ(
        VCL_Ldap_Simple_Search("127.0.0.1", nettest::freePort(), nullptr, nullptr, "c=KR", "(cn=*)", "cn", value.out()),
        VCL_ERR_LDAP_CONNECT);
    EXPECT_EQ(VCL_Ldap_Simple_Search("127.0.0.1", 0, nullptr, nullptr, "c=KR", "(cn=*)", "cn", value.out()),
              VCL_ERR_INVALID_PARAM);
    EXPECT_FALSE(value);
}

TEST(LdapUrl, Parse) {
    struct Case {
        const char* url;
        int rc;
        const char* host = "";
        int port = 0;
        const char* dn = "";
        const char* attribute = "";
    } cases[] = {
        {"ldap://dirhost:10389/cn=CA,c=KR?certificateRevocationList", 0, "dirhost", 10389, "cn=CA,c=KR",
         "certificateRevocationList"},
        {"LDAP://dirhost/cn=CA,c=KR", 0, "dirhost", 389, "cn=CA,c=KR", ""},
        {"ldap://[::1]:1389/o=x?a;binary,b?sub?(cn=*)", 0, "::1", 1389, "o=x", "a;binary"},
        {"ldap://h/ou=dp5p76%2Cou=Accredited%20CA,o=KICA?", 0, "h", 389, "ou=dp5p76,ou=Accredited CA,o=KICA", ""},
        {"ldap://h", 0, "h", 389, "", ""},
        {"ldap://h:/x", 0, "h", 389, "x", ""},
        {"ldaps://h/x", VCL_ERR_LDAP_SCHEME},
        {"http://h/x", VCL_ERR_LDAP_SCHEME},
        {"h/x", VCL_ERR_LDAP_SCHEME},
        {"ldap:/h/x", VCL_ERR_INVALID_PARAM},
        {"ldap://h:65536/x", VCL_ERR_INVALID_PARAM},
        {"ldap://h:12a/x", VCL_ERR_INVALID_PARAM},
        {"ldap://h%41/x", VCL_ERR_INVALID_PARAM},
        {"ldap://[::1/x", VCL_ERR_INVALID_PARAM},
        {"ldap://h/x%g0", VCL_ERR_INVALID_PARAM},
        {"ldap://h/x%4", VCL_ERR_INVALID_PARAM},
        {"", VCL_ERR_INVALID_PARAM},
    };
    zcore::LdapUrl u;
    const std::string at255 = "ldap://h/cn=" + std::string(243, 'x');
    ASSERT_EQ(at255.size(), 255u);
    EXPECT_EQ(zcore::parseLdapUrl(at255, u), 0);
    EXPECT_EQ(zcore::parseLdapUrl(at255 + "x", u), VCL_ERR_INVALID_PARAM);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        ASSERT_EQ(zcore::parseLdapUrl(c.url, u), c.rc);
        if (c.rc != 0) continue;
        EXPECT_EQ(u.server.host, c.host);
        EXPECT_EQ(u.server.port, c.port);
        EXPECT_EQ(u.dn, c.dn);
        EXPECT_EQ(u.attribute, c.attribute);
    }
}
