// CRL retrieval costs beside their usual peers, in one run:
// - a 5 MB body from a server on 127.0.0.1 through get_http_file and through
//   libcurl (a write callback appending to a string), a new connection each;
// - the CRL step of the path validation on a CRL of 100,000 entries (decode,
//   issuer and signer, signature, extensions, time, the lookup of a serial it
//   does not hold) beside OpenSSL's d2i_X509_CRL, X509_CRL_verify and
//   X509_CRL_get0_by_serial.
// Not a test: run it by hand on a Release build.
//   <build>/tests/core/core_fetch_bench
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>

#include <zunCore/x509_conv.h>

#include "FetchBenchOpenssl.h"
#include "crypto/x509_cpv_internal.hpp"
#include "services/net_internal.hpp"

namespace {

constexpr size_t kBodySize = 5 * 1000 * 1000;

// Answers every connection with the same 5 MB, then closes it.
class BodyServer {
public:
    BodyServer() : m_body(kBodySize, '\0') {
        for (size_t i = 0; i < m_body.size(); ++i) m_body[i] = static_cast<char>(i * 131 + (i >> 11));
        m_response = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                     std::to_string(m_body.size()) + "\r\n\r\n" + m_body;
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_fd, 16) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            throw std::runtime_error("listen");
        m_url = "http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/body.bin";
        m_thread = std::thread([this] { serve(); });
    }
    ~BodyServer() {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    const std::string& url() const { return m_url; }
    size_t size() const { return m_body.size(); }

private:
    void serve() {
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const int c = ::accept(m_fd, nullptr, nullptr);
            if (c < 0) continue;
            std::string request;
            char buf[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                request.append(buf, static_cast<size_t>(n));
            }
            for (size_t off = 0; off < m_response.size();) {
                const ssize_t n = ::send(c, m_response.data() + off, m_response.size() - off, MSG_NOSIGNAL);
                if (n <= 0) break;
                off += static_cast<size_t>(n);
            }
            ::close(c);
        }
    }

    std::string m_body, m_response, m_url;
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

BodyServer& server() {
    static BodyServer s;
    return s;
}

void GetHttpFile(benchmark::State& state) {
    const std::string& url = server().url();
    for (auto _ : state) {
        int len = 0;
        char* body = zcore::get_http_file(url.c_str(), nullptr, nullptr, 10, 10, nullptr, nullptr, nullptr, 0, 0, 0, 0,
                                          nullptr, &len);
        if (!body || static_cast<size_t>(len) != server().size()) state.SkipWithError("get_http_file failed");
        std::free(body);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * server().size()));
}
BENCHMARK(GetHttpFile)->Unit(benchmark::kMillisecond)->UseRealTime();

size_t append(char* data, size_t size, size_t n, void* out) {
    static_cast<std::string*>(out)->append(data, size * n);
    return size * n;
}

void Libcurl(benchmark::State& state) {
    const std::string& url = server().url();
    CURL* curl = curl_easy_init();
    for (auto _ : state) {
        std::string body;
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, append);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
        curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
        if (curl_easy_perform(curl) != CURLE_OK || body.size() != server().size()) state.SkipWithError("curl failed");
    }
    curl_easy_cleanup(curl);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * server().size()));
}
BENCHMARK(Libcurl)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- The CRL step ----------------------------------------------------------

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A CRL of 100,000 entries, its CA, and a certificate under the CA's name
// whose serial the CRL does not hold.
struct LargeCrl {
    std::string dir, crl, ca, target;
    LargeCrl() {
        char tmpl[] = "/tmp/crlbenchXXXXXX";
        dir = ::mkdtemp(tmpl);
        const std::string make =
            std::string(ZQ_SOURCE_DIR) + "/scripts/make-large-crl " + dir + "/crl.der 100000 " + dir + "/ca.pem";
        const std::string target =
            "OPENSSL_CONF=/dev/null openssl req -x509 -newkey rsa:2048 -nodes -keyout /dev/null "
            "-subj '/C=KR/O=Bench CA/CN=CRL issuer' -days 30 -out " +
            dir + "/target.pem 2>/dev/null";
        if (std::system(make.c_str()) != 0 || std::system(target.c_str()) != 0) throw std::runtime_error("fixtures");
        crl = readAll(dir + "/crl.der");
        ca = readAll(dir + "/ca.pem");
        this->target = readAll(dir + "/target.pem");
    }
    ~LargeCrl() { std::system(("rm -rf " + dir).c_str()); }
};

LargeCrl& large() {
    static LargeCrl l;
    return l;
}

void CrlStep(benchmark::State& state) {
    const LargeCrl& l = large();
    X509_CERT* target = nullptr;
    X509_CERT* issuer = nullptr;
    if (VCL_X509_conv_cert2x509(l.target.data(), static_cast<int>(l.target.size()), &target) != 0 ||
        VCL_X509_conv_cert2x509(l.ca.data(), static_cast<int>(l.ca.size()), &issuer) != 0)
        throw std::runtime_error("certificates");
    for (auto _ : state) {
        const int rc = zcore::cpv::checkCrlBytes(target, issuer, reinterpret_cast<const unsigned char*>(l.crl.data()),
                                                 static_cast<int>(l.crl.size()), {});
        if (rc != 0) state.SkipWithError("CRL step failed");
    }
    free_X509_CERT(target);
    free_X509_CERT(issuer);
}
BENCHMARK(CrlStep)->Unit(benchmark::kMillisecond);

void OpensslCrl(benchmark::State& state) {
    const LargeCrl& l = large();
    OpensslCrlStep step(l.crl, l.ca, l.target);
    for (auto _ : state)
        if (!step.run()) state.SkipWithError("OpenSSL failed");
}
BENCHMARK(OpensslCrl)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
