// Signed site images: images signed with openssl under the build's test
// signer, served by python's http.server on 127.0.0.1 (its port read from
// what it prints, stopped by its pid), and a socket server of the test's own
// that never answers or streams without end.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "WebHelpers.h"

using storetest::len;
using storetest::Out;

namespace {

const char kDomain[] = "www.bank.example";
const std::string kSignerKey = ZQ_IMAGE_SIGNER_KEY;

// python3 -m http.server on 127.0.0.1 and a free port it chooses, serving
// dir; stopped by its pid.
class HttpServer {
public:
    explicit HttpServer(const std::string& dir) {
        int out[2];
        if (pipe(out) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], 1);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 2);
            close(out[0]);
            if (chdir(dir.c_str()) != 0) _exit(127);
            execl(zqtest::kPython, zqtest::kPython, "-u", "-m", "http.server", "--bind", "127.0.0.1", "0",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        m_out = out[0];
        // "Serving HTTP on 127.0.0.1 port 43567 (http://127.0.0.1:43567/) ..."
        std::string seen;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (m_port == 0 && std::chrono::steady_clock::now() < until) {
            pollfd p{m_out, POLLIN, 0};
            if (poll(&p, 1, 200) <= 0) continue;
            char buf[256];
            const ssize_t n = read(m_out, buf, sizeof buf);
            if (n <= 0) break;
            seen.append(buf, static_cast<size_t>(n));
            const size_t at = seen.find(" port ");
            if (at != std::string::npos && seen.find(' ', at + 6) != std::string::npos)
                m_port = std::stoi(seen.substr(at + 6));
        }
    }
    ~HttpServer() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0) close(m_out);
    }
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;
    int port() const { return m_port; }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_port = 0;
};

// A listener on 127.0.0.1 that holds every connection without a word, or
// answers 200 and then streams bytes until the client goes.
class QuietServer {
public:
    enum Mode { Silent, Endless };
    explicit QuietServer(Mode mode) : m_mode(mode) {
        m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        if (bind(m_listen, reinterpret_cast<sockaddr*>(&a), n) != 0 || listen(m_listen, 4) != 0 ||
            getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &n) != 0)
            return;
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~QuietServer() {
        m_stop = true;
        shutdown(m_listen, SHUT_RDWR);
        if (m_thread.joinable()) m_thread.join();
        close(m_listen);
    }
    QuietServer(const QuietServer&) = delete;
    QuietServer& operator=(const QuietServer&) = delete;
    int port() const { return m_port; }
    long long sent() const { return m_sent; }

private:
    void serve() {
        while (!m_stop) {
            pollfd p{m_listen, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            const int fd = accept(m_listen, nullptr, nullptr);
            if (fd < 0) continue;
            if (m_mode == Endless) {
                const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: image/png\r\n\r\n";
                send(fd, head.data(), head.size(), MSG_NOSIGNAL);
                const std::string chunk(64 * 1024, 'z');
                while (!m_stop) {
                    const ssize_t n = send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL);
                    if (n <= 0) break;
                    m_sent += n;
                }
            } else {
                while (!m_stop) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            close(fd);
        }
    }
    Mode m_mode;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<long long> m_sent{0};
    std::thread m_thread;
};

std::string b64(const std::string& text) {
    Out<> e;
    EXPECT_EQ(VPL_DataEncode(0, text.data(), len(text), e.ptr(), &e.n), 0);
    return e.str();
}

std::string unb64(const std::string& text) {
    Out<> d;
    EXPECT_EQ(VPL_DataDecode(0, text.data(), len(text), d.ptr(), &d.n), 0);
    return d.str();
}

// openssl's signature of what is to be signed: the raw private-key
// operation with PKCS#1 v1.5 block formatting.
std::string signBlock(const std::string& block) {
    return webtest::openssl({"pkeyutl", "-sign", "-inkey", kSignerKey}, block).output;
}
// An image followed by the signature over its bare SHA-1, as
// "openssl dgst -sha1 -binary img | openssl pkeyutl -sign" makes it.
std::string signedImage(const std::string& image) {
    return image + signBlock(webtest::openssl({"dgst", "-sha1", "-binary"}, image).output);
}

class StoreImage : public ::testing::Test {
protected:
    void SetUp() override {
        if (kSignerKey.empty()) GTEST_SKIP() << "the build names its own image signer: no key to sign with";
        ASSERT_EQ(VPL_Set_DomainInfo(kDomain, len(std::string(kDomain))), 0);
        m_image = webtest::openssl({"rand", "3000"}).output;
        zqtest::makeDirs(m_www.path() + "/img");
    }
    void TearDown() override { VPL_Cleanup(); }

    void serve(const std::string& name, const std::string& bytes) { zqtest::writeFile(m_www / ("img/" + name), bytes); }
    int fetch(const std::string& url, Out<>& path) {
        const std::string encoded = b64(url);
        return VPL_Image_Verify_Signed(kDomain, 0, encoded.c_str(), len(encoded), path.ptr(), &path.n);
    }
    std::string folder() const { return m_home.path() + "/.veridan/zephalt_fx/images"; }
    int imagePath(Out<>& path) { return VPL_Get_ImagePath(kDomain, 0, path.ptr(), &path.n); }

    signtest::Home m_home;
    zqtest::TempDir m_www{"www"};
    std::string m_image;
};

TEST_F(StoreImage, ASignedImageIsStoredWholeUnderItsHostAndFileName) {
    const std::string image = signedImage(m_image);
    serve("logo.png", image);
    HttpServer http(m_www.path());
    ASSERT_NE(http.port(), 0);
    Out<> path;
    ASSERT_EQ(fetch(http.url("/img/logo.png"), path), 0);
    const std::string stored = folder() + "/127.0.0.1_logo.png";
    EXPECT_EQ(unb64(path.str()), stored);
    EXPECT_EQ(zqtest::readFile(stored), image) << "the signature stays with the image";
    for (const std::string& dir : {m_home.path() + "/.veridan", m_home.path() + "/.veridan/zephalt_fx", folder()})
        EXPECT_EQ(signtest::modeOf(dir), 0700u) << dir;
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder())) files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1u) << "no temporary left";
    Out<> kept;
    ASSERT_EQ(imagePath(kept), 0);
    EXPECT_EQ(kept.str(), path.str());
    EXPECT_EQ(VPL_Downloaded_Image_Verify(stored.c_str()), 0);

    // Another image of the same name replaces it; the folders are reused.
    const std::string second = signedImage("second image");
    serve("logo.png", second);
    ASSERT_EQ(fetch(http.url("/img/logo.png"), path), 0);
    EXPECT_EQ(zqtest::readFile(stored), second);
}

TEST_F(StoreImage, BadSignaturesAndShortDataStoreNothing) {
    HttpServer http(m_www.path());
    ASSERT_NE(http.port(), 0);
    std::string flipped = signedImage(m_image);
    flipped[1000] = static_cast<char>(flipped[1000] ^ 0x40);
    const std::string digest = webtest::openssl({"dgst", "-sha1", "-binary"}, m_image).output;
    zqtest::TempDir tmp("imgsig");
    zqtest::writeFile(tmp / "image", m_image);
    struct Case {
        const char* what;
        std::string bytes;
        int code;
    } cases[] = {
        {"one byte of the image changed", flipped, 1052005},
        {"100 bytes", std::string(100, 'x'), 1052006},
        // The opened block must be the digest alone.
        {"the digest and 12 bytes signed", m_image + signBlock(digest + "twelve bytes"), 1052005},
        {"a DigestInfo signature (openssl dgst -sign)",
         m_image + webtest::openssl({"dgst", "-sha1", "-sign", kSignerKey, tmp / "image"}).output, 1052005},
        // Its block does not open under the signer's key: the RSA code.
        {"another key's signature",
         m_image + webtest::openssl({"pkeyutl", "-sign", "-inkey", webtest::web("server.key")}, digest).output,
         static_cast<int>(0xa5010051)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        serve("logo.png", c.bytes);
        Out<> path;
        EXPECT_EQ(fetch(http.url("/img/logo.png"), path), c.code);
        EXPECT_EQ(path.p, nullptr);
        EXPECT_FALSE(zqtest::fileExists(m_home.path() + "/.veridan")) << "no folder made";
        Out<> kept;
        EXPECT_EQ(imagePath(kept), 1052070) << "no image path";
        zqtest::writeFile(tmp / "file", c.bytes);
        EXPECT_EQ(VPL_Downloaded_Image_Verify((tmp / "file").c_str()), c.code);
    }
    Out<> path;
    EXPECT_EQ(fetch(http.url("/img/missing.png"), path), 1052005) << "a 404 downloads nothing";

    // A good image first: a bad one later keeps its path.
    serve("good.png", signedImage(m_image));
    ASSERT_EQ(fetch(http.url("/img/good.png"), path), 0);
    serve("logo.png", flipped);
    Out<> again;
    EXPECT_EQ(fetch(http.url("/img/logo.png"), again), 1052005);
    Out<> kept;
    ASSERT_EQ(imagePath(kept), 0);
    EXPECT_EQ(kept.str(), path.str());
    EXPECT_FALSE(zqtest::fileExists(folder() + "/127.0.0.1_logo.png"));
    EXPECT_EQ(VPL_Downloaded_Image_Verify((tmp / "nothing-here").c_str()), 1052030);
}

TEST_F(StoreImage, SilentAndEndlessServersFailWithinTheirLimits) {
    Out<> path;
    {
        QuietServer silent(QuietServer::Silent);
        ASSERT_NE(silent.port(), 0);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(fetch("http://127.0.0.1:" + std::to_string(silent.port()) + "/img/logo.png", path), 1052005);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_GE(took, std::chrono::seconds(9)) << "the read time-out is 10 s";
        EXPECT_LT(took, std::chrono::seconds(45));
    }
    QuietServer endless(QuietServer::Endless);
    ASSERT_NE(endless.port(), 0);
    EXPECT_EQ(fetch("http://127.0.0.1:" + std::to_string(endless.port()) + "/img/logo.png", path), 1052005);
    EXPECT_GT(endless.sent(), 64LL * 1024 * 1024) << "refused at the 64 MiB cap";
    EXPECT_FALSE(zqtest::fileExists(m_home.path() + "/.veridan"));
}

TEST_F(StoreImage, UrlsNamesAndFolders) {
    struct Row {
        std::string url;
        int code;
        std::string name;
    } rows[] = {
        {"http://www.bank.example:8080/img/logo.png", 0, "www.bank.example_logo.png"},
        {"http://www.bank.example/logo.png", 0, "www.bank.example_logo.png"},
        {"http://host//a//b.gif", 0, "host_b.gif"},
        {"host/x.png", 0, "x.png_x.png"},
        {"http://host/", 0, "host_host"},
        {"logo.png", 1052011, ""},
        {"http:///", 1052011, ""},
        {"", 1052011, ""},
        {"http://h/" + std::string(1014, 'a'), 0, "h_" + std::string(1014, 'a')},  // 1023 bytes
        {"http://h/" + std::string(1015, 'a'), 1052011, ""},                       // 1024: refused, not cut
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.url.substr(0, 40));
        Out<> name;
        EXPECT_EQ(VPL_Make_ImageFileName(r.url.c_str(), len(r.url), name.ptr(), &name.n), r.code);
        EXPECT_EQ(name.str(), r.name);
    }
    Out<> name;
    const std::string cut = "http://host:1/a/b.png";
    ASSERT_EQ(VPL_Make_ImageFileName(cut.c_str(), 15, name.ptr(), &name.n), 0);
    EXPECT_EQ(name.str(), "host_a") << "the given length";
    EXPECT_EQ(VPL_Make_ImageFileName(nullptr, 3, name.ptr(), &name.n), 1052011);

    Out<> path;
    const std::string longUrl = b64("http://127.0.0.1/" + std::string(1010, 'a'));
    EXPECT_EQ(VPL_Image_Verify_Signed(kDomain, 0, longUrl.c_str(), len(longUrl), path.ptr(), &path.n), 1052011);
    EXPECT_EQ(VPL_Image_Verify_Signed(kDomain, 0, nullptr, 0, path.ptr(), &path.n), 1052011);
    const std::string url = b64("http://127.0.0.1:1/logo.png");
    EXPECT_EQ(VPL_Image_Verify_Signed("www.shop.example", 0, url.c_str(), len(url), path.ptr(), &path.n), 1052039);
    EXPECT_EQ(VPL_Image_Verify_Signed(nullptr, 0, url.c_str(), len(url), path.ptr(), &path.n), 1052039);
    EXPECT_EQ(fetch("https://127.0.0.1:1/img/logo.png", path), 1052005) << "https is refused by the client";
    EXPECT_NE(VPL_Image_Verify_Signed(kDomain, 0, "!!!!", 4, path.ptr(), &path.n), 0);

    // The folder: made 0700 level by level, existing levels kept as they are.
    zqtest::makeDirs(m_home.path() + "/.veridan");
    chmod((m_home.path() + "/.veridan").c_str(), 0755);
    ASSERT_EQ(VPL_Check_ImageFolerPath(path.ptr(), &path.n), 0);
    EXPECT_EQ(path.str(), folder());
    EXPECT_EQ(signtest::modeOf(m_home.path() + "/.veridan"), 0755u);
    EXPECT_EQ(signtest::modeOf(m_home.path() + "/.veridan/zephalt_fx"), 0700u);
    EXPECT_EQ(signtest::modeOf(folder()), 0700u);
    ASSERT_EQ(VPL_Check_ImageFolerPath(path.ptr(), &path.n), 0);
    EXPECT_EQ(path.str(), folder());
}

TEST(StoreImageSigner, TheEmbeddedCertificateIsTheBuildsPem) {
    const std::string pem = zqtest::readFile(ZQ_IMAGE_SIGNER_PEM);
    EXPECT_EQ(std::string(Image_Verify_Cert), pem);
    const auto text = webtest::openssl({"x509", "-noout", "-text"}, pem);
    ASSERT_EQ(text.status, 0);
    EXPECT_NE(text.output.find("Public-Key: (2048 bit)"), std::string::npos);
}

}  // namespace
