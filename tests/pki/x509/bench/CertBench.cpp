// Decoding a certificate into the full record, beside OpenSSL's d2i_X509 and
// python3-cryptography's load_der_x509_certificate with subject and
// extensions, for three certificates openssl req makes at the start (RSA-2048,
// P-256, one with many extensions). The three run in turns, round after round,
// and the medians are compared. Not a test: run it by hand.
//   pki_cert_bench [rounds]      (ZQ_BENCH_CERT=file.der adds a certificate)
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <zunPKI/asn1/ber.h>
#include <zunPKI/x509/x509_cert.h>
#include "bench/BenchSupport.h"

// In a file of its own: OpenSSL's headers name their types as ours do.
void opensslDecodeCert(const unsigned char* der, size_t len);

namespace {

using Bytes = std::vector<unsigned char>;

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Bytes to the record and back to nothing, as a reader of certificates does.
void decodeOurs(const Bytes& der) {
    ASN1_UNIT* node = decodeToDERSequence(der.data(), static_cast<int>(der.size()));
    X509_CERT* cert = nullptr;
    if (!node || Seq_to_X509_CERT(node, &cert) != 0) throw std::runtime_error("decode failed");
    free_X509_CERT(cert);
    free_ASN1_UNIT(node);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 9;
    const std::string dir = "/tmp/zq-bench-certs-" + std::to_string(getpid());
    const std::string make = std::string(ZQ_SOURCE_DIR) + "/tests/pki/x509/bench/make_bench_certs.sh " + dir;
    if (std::system(make.c_str()) != 0) throw std::runtime_error("make_bench_certs.sh failed");
    std::vector<std::pair<std::string, std::string>> certs = {{"RSA-2048", dir + "/rsa2048.der"},
                                                              {"P-256", dir + "/p256.der"},
                                                              {"many extensions", dir + "/many-extensions.der"}};
    if (const char* given = std::getenv("ZQ_BENCH_CERT")) certs.emplace_back(given, given);

    zqbench::Coprocess peer({"python3", std::string(ZQ_SOURCE_DIR) + "/tests/pki/x509/bench/cert_peer.py"});
    std::printf("%-16s %6s %10s %10s %10s %8s %8s %8s %8s\n", "certificate", "bytes", "ours ns", "d2i ns", "python ns",
                "d2i/us", "py/us", "allocs", "d2i allocs");
    for (const auto& [name, path] : certs) {
        const Bytes der = readFile(path);
        const std::function<void()> ours = [&] { decodeOurs(der); };
        const std::function<void()> theirs = [&] { opensslDecodeCert(der.data(), der.size()); };
        std::vector<zqbench::Contender> all;
        all.push_back({"ours", [&](long long n) { return zqbench::nsPerCall(ours, n); }});
        all.push_back({"d2i_X509", [&](long long n) { return zqbench::nsPerCall(theirs, n); }});
        all[0].calls = zqbench::callsFor(ours, 40);
        all[1].calls = zqbench::callsFor(theirs, 40);
        if (peer.running() && !peer.ask(path + " 10").empty()) {
            all.push_back({"python", [&](long long n) {
                               const std::string a = peer.ask(path + " " + std::to_string(n));
                               return a.empty() ? 0.0 : std::atof(a.c_str());
                           }});
            const double once = std::atof(peer.ask(path + " 200").c_str());
            all.back().calls = once > 0 ? static_cast<long long>(40e6 / once) + 1 : 1000;
        }
        zqbench::interleave(all, rounds);
        const double us = zqbench::median(all[0].samples), d2i = zqbench::median(all[1].samples);
        const double py = all.size() > 2 ? zqbench::median(all[2].samples) : 0;
        const auto a = zqbench::measureAllocs(ours), b = zqbench::measureAllocs(theirs);
        std::printf("%-16s %6zu %10.0f %10.0f %10.0f %7.1fx %7.1fx %8lld %8lld\n", name.c_str(), der.size(), us, d2i,
                    py, d2i / us, py > 0 ? py / us : 0.0, zqbench::allocCounting() ? a.count : -1LL,
                    zqbench::allocCounting() ? b.count : -1LL);
    }
    std::system(("rm -rf " + dir).c_str());
    return 0;
}
