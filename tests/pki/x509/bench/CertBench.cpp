// Decoding a typical 1 KB RSA certificate into the record, beside OpenSSL's
// d2i_X509 of the same bytes. Not a test: run it by hand.
//   pki_cert_bench [--benchmark_...]   (ZQ_BENCH_CERT=file.der to bring a
//   certificate; otherwise the vectors' RapidSSL CA, 1065 bytes)
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/x509/x509_cert.h>

// In a file of its own: OpenSSL's headers name their types as ours do.
void opensslDecodeCert(const unsigned char* der, size_t len);

namespace {

using Bytes = std::vector<unsigned char>;

const Bytes& certBytes() {
    static const Bytes bytes = [] {
        const char* given = std::getenv("ZQ_BENCH_CERT");
        if (given) {
            std::ifstream in(given, std::ios::binary);
            return Bytes(std::istreambuf_iterator<char>(in), {});
        }
        const std::string path = "/usr/lib/python3/dist-packages/cryptography_vectors/x509/rapidssl_sha256_ca_g3.pem";
        std::ifstream in(path);
        const std::string pem((std::istreambuf_iterator<char>(in)), {});
        X509_CERT* cert = nullptr;
        if (readPEM_from_Binary(reinterpret_cast<void**>(&cert), reinterpret_cast<ASN1_DECODE_FUNC>(Seq_to_X509_CERT),
                                pem.data(), static_cast<int>(pem.size())) != 0)
            throw std::runtime_error("no certificate in " + path);
        unsigned char* der = nullptr;
        const int n = writeDER_to_Binary(cert, reinterpret_cast<ASN1_ENCODE_FUNC>(X509_CERT_to_Seq), &der);
        Bytes out(der, der + (n > 0 ? n : 0));
        VSC_FREE(der);
        free_X509_CERT(cert);
        return out;
    }();
    return bytes;
}

// Bytes to the record and back to nothing, as a reader of certificates does.
void BM_Ours(benchmark::State& state) {
    const Bytes& der = certBytes();
    for (auto _ : state) {
        ASN1_UNIT* node = decodeToDERSequence(der.data(), static_cast<int>(der.size()));
        X509_CERT* cert = nullptr;
        if (!node || Seq_to_X509_CERT(node, &cert) != 0) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(cert);
        free_X509_CERT(cert);
        free_ASN1_UNIT(node);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * der.size()));
    state.counters["bytes"] = static_cast<double>(der.size());
}

void BM_OpensslD2iX509(benchmark::State& state) {
    const Bytes& der = certBytes();
    for (auto _ : state) opensslDecodeCert(der.data(), der.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * der.size()));
}

}  // namespace

BENCHMARK(BM_Ours);
BENCHMARK(BM_OpensslD2iX509);
BENCHMARK_MAIN();
