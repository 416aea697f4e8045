// Throughput of the crypto layer beside OpenSSL called directly, and the
// public-key operations beside OpenSSL's with the same key. Run by hand (from
// the source tree, for the KCDSA parameters):
//   zunCrypto_bench [--benchmark_filter=...]
// For ratios, interleave the two sides in one run:
//   zunCrypto_bench --benchmark_filter='rsa|Rsa' --benchmark_repetitions=10
//     --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>

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

// The same key as an OpenSSL key, for the peer's side.
EVP_PKEY* opensslRsaKey() {
    static EVP_PKEY* key = [] {
        const RSA_UNIT* r = rsaKey();
        OSSL_PARAM_BLD* bld = OSSL_PARAM_BLD_new();
        std::vector<BIGNUM*> made;
        const std::pair<const char*, const BIGINT*> values[] = {
            {OSSL_PKEY_PARAM_RSA_N, r->n},          {OSSL_PKEY_PARAM_RSA_E, r->e},
            {OSSL_PKEY_PARAM_RSA_D, r->d},          {OSSL_PKEY_PARAM_RSA_FACTOR1, r->p},
            {OSSL_PKEY_PARAM_RSA_FACTOR2, r->q},    {OSSL_PKEY_PARAM_RSA_EXPONENT1, r->dP},
            {OSSL_PKEY_PARAM_RSA_EXPONENT2, r->dQ}, {OSSL_PKEY_PARAM_RSA_COEFFICIENT1, r->qInv}};
        for (const auto& [name, v] : values) {
            Bytes b(static_cast<size_t>(VSC_Get_BIGINT_Bits_Length(v) + 7) / 8);
            VSC_BIGINT_To_Binary_Unsigned(v, b.data());
            made.push_back(BN_bin2bn(b.data(), static_cast<int>(b.size()), nullptr));
            OSSL_PARAM_BLD_push_BN(bld, name, made.back());
        }
        OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(bld);
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
        EVP_PKEY* k = nullptr;
        if (EVP_PKEY_fromdata_init(ctx) <= 0 || EVP_PKEY_fromdata(ctx, &k, EVP_PKEY_KEYPAIR, params) <= 0) k = nullptr;
        EVP_PKEY_CTX_free(ctx);
        OSSL_PARAM_free(params);
        OSSL_PARAM_BLD_free(bld);
        for (BIGNUM* b : made) BN_clear_free(b);
        return k;
    }();
    return key;
}

constexpr size_t kSigned = 1024;

// A whole signature of 1 KB per round: start, digest, sign.
void rsaSign(benchmark::State& state, int mode) {
    Bytes msg = data(kSigned), sig(256);
    for (auto _ : state) {
        int len = 256;
        VSC_Init_RSASSA(rsaKey(), VSC_DIGEST_SHA256, mode, 1);
        VSC_Update_RSASSA(rsaKey(), msg.data(), static_cast<int>(msg.size()));
        if (VSC_Final_RSASSA(rsaKey(), sig.data(), &len) != VSC_OK) state.SkipWithError("sign failed");
    }
}
BENCHMARK_CAPTURE(rsaSign, v15_2048, VSC_RSASSA_PKCS1_V15);
BENCHMARK_CAPTURE(rsaSign, pss_2048, VSC_RSASSA_PSS);

// The same with OpenSSL: one EVP_DigestSign per round.
void opensslRsaSign(benchmark::State& state, int padding) {
    Bytes msg = data(kSigned), sig(256);
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    for (auto _ : state) {
        size_t len = sig.size();
        EVP_PKEY_CTX* pctx = nullptr;
        if (EVP_DigestSignInit_ex(md, &pctx, "SHA256", nullptr, nullptr, opensslRsaKey(), nullptr) <= 0 ||
            EVP_PKEY_CTX_set_rsa_padding(pctx, padding) <= 0 ||
            EVP_DigestSign(md, sig.data(), &len, msg.data(), msg.size()) <= 0)
            state.SkipWithError("EVP_DigestSign failed");
    }
    EVP_MD_CTX_free(md);
}
BENCHMARK_CAPTURE(opensslRsaSign, v15_2048, RSA_PKCS1_PADDING);
BENCHMARK_CAPTURE(opensslRsaSign, pss_2048, RSA_PKCS1_PSS_PADDING);

void rsaVerify(benchmark::State& state) {
    Bytes msg = data(kSigned), sig(256);
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

void opensslRsaVerify(benchmark::State& state) {
    Bytes msg = data(kSigned), sig(256);
    size_t len = sig.size();
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    EVP_DigestSignInit_ex(md, nullptr, "SHA256", nullptr, nullptr, opensslRsaKey(), nullptr);
    EVP_DigestSign(md, sig.data(), &len, msg.data(), msg.size());
    for (auto _ : state) {
        if (EVP_DigestVerifyInit_ex(md, nullptr, "SHA256", nullptr, nullptr, opensslRsaKey(), nullptr) <= 0 ||
            EVP_DigestVerify(md, sig.data(), len, msg.data(), msg.size()) != 1)
            state.SkipWithError("EVP_DigestVerify failed");
    }
    EVP_MD_CTX_free(md);
}
BENCHMARK(opensslRsaVerify);

// A 32-byte secret encrypted to the key once, decrypted each round.
Bytes encryptedTo(int mode) {
    Bytes secret = data(32), ct(256);
    int len = 256;
    VSC_Init_RSAES(rsaKey(), mode, 0, VSC_DIGEST_SHA256);
    VSC_Encrypt_RSAES(rsaKey(), ct.data(), &len, secret.data(), static_cast<int>(secret.size()));
    return ct;
}

void rsaDecrypt(benchmark::State& state, int mode) {
    const Bytes ct = encryptedTo(mode);
    Bytes out(256);
    for (auto _ : state) {
        int len = 256;
        VSC_Init_RSAES(rsaKey(), mode, 1, VSC_DIGEST_SHA256);
        if (VSC_Decrypt_RSAES(rsaKey(), out.data(), &len, ct.data(), static_cast<int>(ct.size())) != VSC_OK ||
            len != 32)
            state.SkipWithError("decrypt failed");
    }
}
BENCHMARK_CAPTURE(rsaDecrypt, v15_2048, VSC_RSAES_PKCS1_V15);
BENCHMARK_CAPTURE(rsaDecrypt, oaep_2048, VSC_RSAES_OAEP_V21);

void opensslRsaDecrypt(benchmark::State& state, int mode) {
    const Bytes ct = encryptedTo(mode);
    Bytes out(256);
    for (auto _ : state) {
        size_t len = out.size();
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, opensslRsaKey(), nullptr);
        bool ok = ctx && EVP_PKEY_decrypt_init(ctx) > 0 &&
                  EVP_PKEY_CTX_set_rsa_padding(
                      ctx, mode == VSC_RSAES_PKCS1_V15 ? RSA_PKCS1_PADDING : RSA_PKCS1_OAEP_PADDING) > 0;
        if (ok && mode != VSC_RSAES_PKCS1_V15)
            ok = EVP_PKEY_CTX_set_rsa_oaep_md(ctx, EVP_sha256()) > 0 &&
                 EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, EVP_sha256()) > 0;
        if (!ok || EVP_PKEY_decrypt(ctx, out.data(), &len, ct.data(), ct.size()) <= 0 || len != 32)
            state.SkipWithError("EVP_PKEY_decrypt failed");
        EVP_PKEY_CTX_free(ctx);
    }
}
BENCHMARK_CAPTURE(opensslRsaDecrypt, v15_2048, VSC_RSAES_PKCS1_V15);
BENCHMARK_CAPTURE(opensslRsaDecrypt, oaep_2048, VSC_RSAES_OAEP_V21);

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
