// Throughput of the crypto layer beside OpenSSL called directly, and the
// public-key operations. Run by hand (from the source tree, for the KCDSA
// parameters):  zunCrypto_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <zunCrypto/zunCrypto.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
constexpr size_t kChunk = 1 << 20;

Bytes data(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(i * 131 + 7);
    return b;
}

void digest(benchmark::State& state, int id) {
    Bytes in = data(kChunk);
    unsigned char out[64];
    int n = 0;
    for (auto _ : state) VSC_DIGEST(id, in.data(), static_cast<int>(in.size()), out, &n);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kChunk));
}
BENCHMARK_CAPTURE(digest, sha256, VSC_DIGEST_SHA256);
BENCHMARK_CAPTURE(digest, has160, VSC_DIGEST_HAS160);

void opensslSha256(benchmark::State& state) {
    Bytes in = data(kChunk);
    unsigned char out[64];
    unsigned int n = 0;
    for (auto _ : state) EVP_Digest(in.data(), in.size(), out, &n, EVP_sha256(), nullptr);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kChunk));
}
BENCHMARK(opensslSha256);

void cipher(benchmark::State& state, int id) {
    Bytes in = data(kChunk), out(kChunk + 32), key(32, 1), iv(16, 2);
    int n = 0;
    for (auto _ : state)
        VSC_BLOCK_CIPHER(id, 1, key.data(), iv.data(), in.data(), static_cast<int>(in.size()), out.data(), &n);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kChunk));
}
BENCHMARK_CAPTURE(cipher, seed_cbc, VSC_CIPHER_SEED_CBC);
BENCHMARK_CAPTURE(cipher, seed_ctr, VSC_CIPHER_SEED | VSC_CIPHER_MODE_CTR);
BENCHMARK_CAPTURE(cipher, aria128_cbc, VSC_CIPHER_ARIA128_CBC);
BENCHMARK_CAPTURE(cipher, aes128_cbc, VSC_CIPHER_AES128_CBC);
BENCHMARK_CAPTURE(cipher, aes128_ctr, VSC_CIPHER_AES128 | VSC_CIPHER_MODE_CTR);

void opensslSeedCbc(benchmark::State& state) {
    OSSL_LIB_CTX* ctx = OSSL_LIB_CTX_new();
    OSSL_PROVIDER_load(ctx, "legacy");
    EVP_CIPHER* seed = EVP_CIPHER_fetch(ctx, "SEED-CBC", nullptr);
    Bytes in = data(kChunk), out(kChunk + 32), key(16, 1), iv(16, 2);
    EVP_CIPHER_CTX* c = EVP_CIPHER_CTX_new();
    for (auto _ : state) {
        int n = 0, m = 0;
        EVP_EncryptInit_ex2(c, seed, key.data(), iv.data(), nullptr);
        EVP_EncryptUpdate(c, out.data(), &n, in.data(), static_cast<int>(in.size()));
        EVP_EncryptFinal_ex(c, out.data() + n, &m);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kChunk));
    EVP_CIPHER_CTX_free(c);
    EVP_CIPHER_free(seed);
    OSSL_LIB_CTX_free(ctx);
}
BENCHMARK(opensslSeedCbc);

RSA_UNIT* rsaKey() {
    static RSA_UNIT* key = [] {
        RSA_UNIT* r = VSC_New_RSA();
        VSC_Generate_RSA_Params_Ex(r, 65537, 2048, 0);
        return r;
    }();
    return key;
}

void rsaSign(benchmark::State& state, int mode) {
    Bytes msg = data(1000), sig(256);
    for (auto _ : state) {
        int len = 256;
        VSC_Init_RSASSA(rsaKey(), VSC_DIGEST_SHA256, mode, 1);
        VSC_Update_RSASSA(rsaKey(), msg.data(), static_cast<int>(msg.size()));
        VSC_Final_RSASSA(rsaKey(), sig.data(), &len);
    }
}
BENCHMARK_CAPTURE(rsaSign, v15_2048, VSC_RSASSA_PKCS1_V15);
BENCHMARK_CAPTURE(rsaSign, pss_2048, VSC_RSASSA_PSS);

void rsaVerify(benchmark::State& state) {
    Bytes msg = data(1000), sig(256);
    int len = 256;
    VSC_Init_RSASSA(rsaKey(), VSC_DIGEST_SHA256, 1, 1);
    VSC_Update_RSASSA(rsaKey(), msg.data(), static_cast<int>(msg.size()));
    VSC_Final_RSASSA(rsaKey(), sig.data(), &len);
    for (auto _ : state) {
        VSC_Init_RSASSA(rsaKey(), VSC_DIGEST_SHA256, 1, 0);
        VSC_Update_RSASSA(rsaKey(), msg.data(), static_cast<int>(msg.size()));
        if (VSC_Verify_RSASSA(rsaKey(), sig.data(), len) != VSC_OK) state.SkipWithError("verify failed");
    }
}
BENCHMARK(rsaVerify);

// The 2048/224 parameters of the KCDSA vectors file.
KCDSA_UNIT* kcdsaKey() {
    static KCDSA_UNIT* key = [] {
        std::ifstream f("tests/platform/zunCrypto/vectors/kcdsa-ttak.json");
        std::map<std::string, std::string> v;
        std::string line;
        while (std::getline(f, line) && !line.starts_with("  },")) {
            auto q1 = line.find('"'), q2 = line.find('"', q1 + 1), q3 = line.find('"', q2 + 1),
                 q4 = line.find('"', q3 + 1);
            if (q4 != std::string::npos) v[line.substr(q1 + 1, q2 - q1 - 1)] = line.substr(q3 + 1, q4 - q3 - 1);
        }
        KCDSA_UNIT* k = VSC_New_KCDSA();
        BIGINT* p = VSC_HEX_To_BIGINT(v["P"].c_str());
        BIGINT* q = VSC_HEX_To_BIGINT(v["Q"].c_str());
        BIGINT* g = VSC_HEX_To_BIGINT(v["G"].c_str());
        BIGINT* x = VSC_HEX_To_BIGINT(v["X"].c_str());
        if (VSC_Set_KCDSA_Params(k, p, q, g, x, nullptr) != VSC_OK) {
            VSC_Free_KCDSA(k);
            k = nullptr;
        }
        for (BIGINT* b : {p, q, g, x}) VSC_Free_BIGINT(b);
        return k;
    }();
    return key;
}

void kcdsa(benchmark::State& state, bool sign) {
    KCDSA_UNIT* k = kcdsaKey();
    if (k == nullptr) {
        state.SkipWithError("run from the source tree");
        return;
    }
    Bytes msg = data(1000), r(64), s(64);
    int rLen = 64, sLen = 64;
    VSC_Init_KCDSA_Ex(k, 1, VSC_DIGEST_SHA224);
    VSC_Update_KCDSA(k, msg.data(), static_cast<int>(msg.size()));
    VSC_Final_KCDSA(k, r.data(), &rLen, s.data(), &sLen);
    for (auto _ : state) {
        VSC_Init_KCDSA_Ex(k, sign ? 1 : 0, VSC_DIGEST_SHA224);
        VSC_Update_KCDSA(k, msg.data(), static_cast<int>(msg.size()));
        int rl = sign ? 64 : rLen, sl = sign ? 64 : sLen;
        if (VSC_Final_KCDSA(k, r.data(), &rl, s.data(), &sl) != VSC_OK) state.SkipWithError("KCDSA failed");
    }
}
BENCHMARK_CAPTURE(kcdsa, sign_2048_224, true);
BENCHMARK_CAPTURE(kcdsa, verify_2048_224, false);

}  // namespace

BENCHMARK_MAIN();
