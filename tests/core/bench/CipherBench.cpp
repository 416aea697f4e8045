// The parallel CTR cipher over 64 MiB on 1, 2, 4 and 8 threads beside
// OpenSSL's EVP AES-128-CTR, and VCL_HASH_FILE beside EVP SHA-256 reading
// the same 64 MiB file, in one run. Not a test: run it by hand on a Release
// build.
//   <build>/tests/core/core_cipher_bench
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include <zunCore/cipher.h>

namespace {

constexpr size_t kSize = 64u << 20;

const std::vector<unsigned char>& data() {
    static const std::vector<unsigned char> bytes = [] {
        std::vector<unsigned char> d(kSize);
        for (size_t off = 0; off < d.size(); off += 1 << 20)
            if (VCL_PRNG_Get_Random(d.data() + off, 1 << 20) != 0) throw std::runtime_error("random");
        return d;
    }();
    return bytes;
}

const unsigned char kKey[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
const unsigned char kCounter[16] = {0xf0, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7,
                                    0xf8, 0xf9, 0xfa, 0xfb, 0xfc, 0xfd, 0xfe, 0xff};

void ParallelCtr(benchmark::State& state) {
    const auto& in = data();
    for (auto _ : state) {
        unsigned char* out = nullptr;
        int n = 0;
        if (VCL_SYM_Parallel_Encrypt(static_cast<int>(state.range(0)), kKey, 16, kCounter, 16, "AES-CTR", 0, in.data(),
                                     static_cast<int>(in.size()), &out, &n, VCL_ENCODING_RAW) != 0)
            state.SkipWithError("parallel CTR failed");
        benchmark::DoNotOptimize(out);
        std::free(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSize));
}
BENCHMARK(ParallelCtr)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same work through EVP into a new buffer, as the parallel cipher hands
// one out.
void EvpAes128Ctr(benchmark::State& state) {
    const auto& in = data();
    for (auto _ : state) {
        auto* out = static_cast<unsigned char*>(std::malloc(in.size() + 1));
        EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
        int n = 0, m = 0;
        if (!EVP_EncryptInit_ex(ctx, EVP_aes_128_ctr(), nullptr, kKey, kCounter) ||
            !EVP_EncryptUpdate(ctx, out, &n, in.data(), static_cast<int>(in.size())) ||
            !EVP_EncryptFinal_ex(ctx, out + n, &m))
            state.SkipWithError("EVP failed");
        EVP_CIPHER_CTX_free(ctx);
        benchmark::DoNotOptimize(out);
        std::free(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSize));
}
BENCHMARK(EvpAes128Ctr)->Unit(benchmark::kMillisecond)->UseRealTime();

// EVP alone, into a buffer written before: the cipher without the cost of
// a new buffer's first writes.
void EvpAes128CtrWarmBuffer(benchmark::State& state) {
    const auto& in = data();
    std::vector<unsigned char> out(in.size() + 16, 1);
    for (auto _ : state) {
        EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
        int n = 0, m = 0;
        if (!EVP_EncryptInit_ex(ctx, EVP_aes_128_ctr(), nullptr, kKey, kCounter) ||
            !EVP_EncryptUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size())) ||
            !EVP_EncryptFinal_ex(ctx, out.data() + n, &m))
            state.SkipWithError("EVP failed");
        EVP_CIPHER_CTX_free(ctx);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSize));
}
BENCHMARK(EvpAes128CtrWarmBuffer)->Unit(benchmark::kMillisecond)->UseRealTime();

const std::string& file() {
    static const std::string path = [] {
        std::string p = (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + std::string("/core-bench-XXXXXX");
        const int fd = mkstemp(p.data());
        if (fd < 0) throw std::runtime_error("mkstemp");
        const auto& d = data();
        if (write(fd, d.data(), d.size()) != static_cast<ssize_t>(d.size())) throw std::runtime_error("write");
        close(fd);
        std::atexit([] { unlink(file().c_str()); });
        return p;
    }();
    return path;
}

void HashFile(benchmark::State& state) {
    const std::string& path = file();
    for (auto _ : state) {
        unsigned char* digest = nullptr;
        int n = 0;
        if (VCL_HASH_FILE(path.c_str(), &digest, &n, "SHA256") != 0) state.SkipWithError("VCL_HASH_FILE failed");
        benchmark::DoNotOptimize(digest);
        std::free(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSize));
}
BENCHMARK(HashFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// EVP SHA-256 over the same file, read in 64 KiB pieces.
void EvpSha256File(benchmark::State& state) {
    const std::string& path = file();
    std::vector<unsigned char> buf(64 * 1024);
    for (auto _ : state) {
        const int fd = open(path.c_str(), O_RDONLY);
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr);
        ssize_t n;
        while ((n = read(fd, buf.data(), buf.size())) > 0) EVP_DigestUpdate(ctx, buf.data(), static_cast<size_t>(n));
        unsigned char md[EVP_MAX_MD_SIZE];
        unsigned int mdLen = 0;
        EVP_DigestFinal_ex(ctx, md, &mdLen);
        EVP_MD_CTX_free(ctx);
        close(fd);
        benchmark::DoNotOptimize(md);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSize));
}
BENCHMARK(EvpSha256File)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
