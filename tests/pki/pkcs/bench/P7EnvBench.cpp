// Encrypting content into a PKCS#7 encryptedData (AES-128-CBC): in one call,
// and streamed in 4 KiB pieces into the message. Not a test: run it by hand.
//   pki_p7env_bench [--benchmark_...]
#include <benchmark/benchmark.h>

#include <vector>

#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/pkcs/pkcs7_env.h>

namespace {

struct Message {
    P7_CONTENT_INFO* p7 = new_P7_CONTENT_INFO();
    X509_ALGO_IDENTIFIER* alg = new_X509_ALGO_IDENTIFIER();
    Message() {
        static const unsigned char key[16] = {1, 2, 3}, iv[16] = {4, 5, 6};
        set_PKCS7_Type(p7, P7_ENCRYPTED_DATA_TYPE);
        BLOCK_CIPHER_UNIT* unit = VSC_New_BLOCK_CIPHER_Unit();
        VSC_Init_BLOCK_CIPHER(unit, VSC_CIPHER_AES128_CBC, key, iv, 1);
        set_PKCS7_Cipher(p7, unit);
        OBJECT_IDENTIFIER* oid = index_to_OBJECT_IDENTIFIER(419);
        set_X509_ALGO_IDENTIFIER_value(alg, oid, nullptr);
        free_OBJECT_IDENTIFIER(oid);
    }
    ~Message() {
        free_X509_ALGO_IDENTIFIER(alg);
        free_P7_CONTENT_INFO(p7);
    }
};

void BM_OneCall(benchmark::State& state) {
    const std::vector<char> content(static_cast<size_t>(state.range(0)), 'x');
    for (auto _ : state) {
        Message m;
        if (encrypt_PKCS7(m.p7, P7_DATA, m.alg, content.data(), static_cast<int>(content.size()), 0) != 0)
            state.SkipWithError("encrypt_PKCS7 failed");
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Streamed4K(benchmark::State& state) {
    const std::vector<char> content(static_cast<size_t>(state.range(0)), 'x');
    for (auto _ : state) {
        Message m;
        init_PKCS7_Encrypt(m.p7, P7_DATA, m.alg, nullptr, nullptr, nullptr, 0);
        for (size_t at = 0; at < content.size(); at += 4096)
            update_PKCS7_encrypt(m.p7, content.data() + at, 4096, nullptr, nullptr);
        final_PKCS7_Encrypt(m.p7, nullptr, nullptr);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_OneCall)->Arg(1 << 20)->Arg(16 << 20);
BENCHMARK(BM_Streamed4K)->Arg(1 << 20)->Arg(16 << 20);

}  // namespace

BENCHMARK_MAIN();
