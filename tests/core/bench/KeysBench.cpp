// A log-in signature from the key file: VCL_PK1_Private_Sign (RSA-2048,
// SHA-256, PKCS#1 v1.5) on a PBES2 key file at 2048 iterations beside
// OpenSSL decrypting the same file and signing with EVP_DigestSign, in one
// run; and the same signature from a pbeWithSHA1AndSEED-CBC key (the store's
// row 780). Not a test: run it by hand on a Release build.
//   <build>/tests/core/core_keys_bench
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include <zunCore/keys.h>
#include <zunCore/pkcs1.h>
#include <zunCore/pkcs8.h>
#include <zunCore/util.h>

#include "KeysBenchOpenssl.h"

namespace {

const char kPw[] = "key password";
const int kPwLen = 12;
const std::string kData(64, 'n');  // a relay server's nonce and a little more

struct Files {
    std::string pbes2;  // PBES2, AES-256-CBC, hmacWithSHA256, 2048 iterations (openssl's default)
    std::string seed;   // row 780, 2048 iterations (ours)
};

const Files& files() {
    static const Files f = [] {
        Files out;
        out.pbes2 = opensslKeyFile(kPw);
        unsigned char* made = nullptr;
        int len = 0;
        if (VCL_PK8_Make_PrivateKey(out.pbes2.data(), static_cast<int>(out.pbes2.size()), VCL_PBE_SEED_CBC, nullptr, 0,
                                    kPw, kPwLen, &made, &len) != 0)
            throw std::runtime_error("row 780 key");
        out.seed.assign(reinterpret_cast<char*>(made), static_cast<size_t>(len));
        VCL_Free(made, len);
        return out;
    }();
    return f;
}

void sign(benchmark::State& state, const std::string& key) {
    for (auto _ : state) {
        unsigned char* sig = nullptr;
        int n = 0;
        if (VCL_PK1_Private_Sign(key.data(), static_cast<int>(key.size()), kPw, kPwLen, VCL_SIGN_PKCS1_V15, "SHA256",
                                 kData.data(), static_cast<int>(kData.size()), &sig, &n, VCL_PK1_RAW) != 0)
            state.SkipWithError("signing failed");
        benchmark::DoNotOptimize(sig);
        VCL_Free(sig, n);
    }
}

void CoreSignPbes2(benchmark::State& state) { sign(state, files().pbes2); }
BENCHMARK(CoreSignPbes2)->Unit(benchmark::kMillisecond);

// The same file opened by OpenSSL and the same signature by EVP.
void OpensslSignPbes2(benchmark::State& state) {
    const std::string& file = files().pbes2;
    for (auto _ : state)
        if (!opensslSign(file, kPw, kData)) state.SkipWithError("openssl signing failed");
}
BENCHMARK(OpensslSignPbes2)->Unit(benchmark::kMillisecond);

void CoreSignSeed780(benchmark::State& state) { sign(state, files().seed); }
BENCHMARK(CoreSignSeed780)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
