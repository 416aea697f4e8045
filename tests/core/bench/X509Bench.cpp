// The information record of 1,000 certificates beside OpenSSL's d2i_X509
// with the subject, the issuer and every extension printed, and the
// revocation lookup in a CRL of 100,000 entries beside d2i_X509_CRL and
// X509_CRL_get0_by_serial, in one run; the contenders run in turns, round
// after round, and the medians are compared. Not a test: run it by hand on a
// Release build.
//   <build>/tests/core/core_x509_bench [rounds]
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <zunCore/x509_check.h>
#include <zunCore/x509_info.h>

#include "bench/BenchSupport.h"

void opensslCertificateText(const unsigned char* der, size_t len);
int opensslRevoked(const unsigned char* crl, size_t crlLen, const unsigned char* cert, size_t certLen);

namespace {

using Bytes = std::vector<unsigned char>;

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::vector<Bytes> readCertificates(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (!d) throw std::runtime_error("cannot list " + dir);
    while (const dirent* e = readdir(d))
        if (std::string(e->d_name).size() > 4) names.push_back(dir + "/" + e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    std::vector<Bytes> out;
    for (const auto& n : names) out.push_back(readFile(n));
    return out;
}

void report(const char* what, std::vector<zqbench::Contender>& all, int rounds) {
    zqbench::interleave(all, rounds);
    const double ours = zqbench::median(all[0].samples), theirs = zqbench::median(all[1].samples);
    std::printf("%-34s %12.3f ms %12.3f ms %8.2fx\n", what, ours / 1e6, theirs / 1e6, ours / theirs);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 9;
    const std::string dir = "/tmp/zq-x509-bench-" + std::to_string(getpid());
    const std::string make = "/usr/bin/python3 " + std::string(ZQ_SOURCE_DIR) +
                             "/tests/core/bench/make_x509_bench.py " + dir + " " + ZQ_SOURCE_DIR;
    if (std::system(make.c_str()) != 0) throw std::runtime_error("make_x509_bench.py failed");
    const std::vector<Bytes> certs = readCertificates(dir + "/certs");
    const Bytes crl = readFile(dir + "/large.crl"), revoked = readFile(dir + "/revoked.der");
    std::printf("%zu certificates, a CRL of %zu bytes\n", certs.size(), crl.size());
    std::printf("%-34s %15s %15s %9s\n", "", "ours", "OpenSSL", "ratio");

    const auto records = [&] {
        for (const Bytes& c : certs) {
            X509_Info* info = nullptr;
            if (VCL_X509_Init_X509_Info(c.data(), static_cast<int>(c.size()), '|', &info) != 0)
                throw std::runtime_error("record failed");
            VCL_X509_Free_X509_Info(info);
        }
    };
    const auto texts = [&] {
        for (const Bytes& c : certs) opensslCertificateText(c.data(), c.size());
    };
    std::vector<zqbench::Contender> info;
    info.push_back({"ours", [&](long long n) { return zqbench::nsPerCall(records, n); }, 3});
    info.push_back({"openssl", [&](long long n) { return zqbench::nsPerCall(texts, n); }, 3});
    report("records of 1,000 certificates", info, rounds);

    const auto lookup = [&] {
        int flag = 0;
        if (VCL_X509_Is_Revoked(crl.data(), static_cast<int>(crl.size()), revoked.data(),
                                static_cast<int>(revoked.size()), &flag) != 0 ||
            flag != 100000)
            throw std::runtime_error("lookup failed");
    };
    const auto theirs = [&] {
        if (opensslRevoked(crl.data(), crl.size(), revoked.data(), revoked.size()) != 1)
            throw std::runtime_error("openssl lookup failed");
    };
    std::vector<zqbench::Contender> crlLookup;
    crlLookup.push_back({"ours", [&](long long n) { return zqbench::nsPerCall(lookup, n); }, 2});
    crlLookup.push_back({"openssl", [&](long long n) { return zqbench::nsPerCall(theirs, n); }, 2});
    report("revocation in 100,000 entries", crlLookup, rounds);

    if (zqbench::allocCounting()) {
        const auto a = zqbench::measureAllocs(records), b = zqbench::measureAllocs(texts);
        std::printf("heap blocks for the 1,000 records: ours %lld, OpenSSL %lld\n", a.count, b.count);
    }
    std::system(("rm -rf " + dir).c_str());
    return 0;
}
