// Opening PKCS#12 files made by openssl (default: PBES2 AES-256 with a
// SHA-256 MAC; legacy: RC2-40 and 3DES with a SHA-1 MAC; 2048 rounds each):
// decode and import_PKCS12 beside OpenSSL's d2i_PKCS12 and PKCS12_parse; and
// making one the way the core library does. Not a test: run it by hand.
//   pki_p12_bench [--benchmark_...]
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <zunPKI/asn1/ber.h>
#include <zunPKI/pkcs/pkcs12_safe.h>

// P12BenchOpenssl.cpp: d2i_PKCS12 and PKCS12_parse (OpenSSL's headers and
// ours cannot meet in one file).
bool opensslParse(const unsigned char* der, size_t len, const char* password);

namespace {

using Bytes = std::vector<unsigned char>;
const char* kPass = "p12 pass";

// The fixtures, made once into a folder of /tmp.
const std::string& fixtures() {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/p12benchXXXXXX";
        std::string path = mkdtemp(tmpl);
        const std::string cmd = std::string(ZQ_SOURCE_DIR) + "/tests/pki/pkcs/make_p12_fixtures.sh " + path;
        if (std::system(cmd.c_str()) != 0) std::abort();
        return path;
    }();
    return dir;
}

Bytes file(const std::string& name) {
    std::ifstream in(fixtures() + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

template <class T>
void freeAll(STACK* list, void (*freeItem)(T*)) {
    for (int i = 0; i < get_STACK_count(list); ++i) freeItem(static_cast<T*>(get_STACK_value(list, i)));
    free_STACK(list);
}

void BM_Ours(benchmark::State& state, const char* name) {
    const Bytes der = file(name);
    for (auto _ : state) {
        ASN1_UNIT* node = decodeToDERSequence(der.data(), static_cast<int>(der.size()));
        PKCS12* pfx = nullptr;
        STACK *keys = nullptr, *certs = nullptr, *cas = nullptr;
        if (!node || Seq_to_P12_PFX(node, &pfx) != 0 || import_PKCS12(pfx, kPass, -1, &keys, &certs, &cas) != 0)
            state.SkipWithError("import failed");
        freeAll(keys, free_P8_PRIV_KEY_INFO);
        freeAll(certs, free_X509_CERT);
        freeAll(cas, free_X509_CERT);
        free_PKCS12(pfx);
        free_ASN1_UNIT(node);
    }
}

void BM_OpenSSL(benchmark::State& state, const char* name) {
    const Bytes der = file(name);
    for (auto _ : state)
        if (!opensslParse(der.data(), der.size(), kPass)) state.SkipWithError("PKCS12_parse failed");
}

// A key bag shrouded with 3DES, the certificates in a 3DES safe, a SHA-1 MAC.
void BM_Make(benchmark::State& state) {
    const Bytes certDer = file("leaf.der"), keyDer = file("leaf.p8");
    ASN1_UNIT* certNode = decodeToDERSequence(certDer.data(), static_cast<int>(certDer.size()));
    ASN1_UNIT* keyNode = decodeToDERSequence(keyDer.data(), static_cast<int>(keyDer.size()));
    X509_CERT* cert = nullptr;
    P8_PRIV_KEY_INFO* key = nullptr;
    if (Seq_to_X509_CERT(certNode, &cert) != 0 || Seq_to_P8_PRIV_KEY_INFO(keyNode, &key) != 0) std::abort();
    for (auto _ : state) {
        P12_SAFEBAGS *keyBags = nullptr, *certBags = nullptr;
        P12_AUTH_SAFE* safes = nullptr;
        add_PKCS12_LKID(add_PKCS12_keyinfo(&keyBags, key, 0, 2048, P12_DEFAULT_PBE, kPass), "id", 2);
        add_PKCS12_LKID(add_PKCS12_cert(&certBags, cert), "id", 2);
        PKCS12_add_safe(&safes, certBags, P12_DEFAULT_PBE, 2048, kPass);
        PKCS12_add_safe(&safes, keyBags, -1, 0, nullptr);
        PKCS12* pfx = PKCS12_add_safes(safes);
        ASN1_UNIT* out = nullptr;
        if (!pfx || set_PKCS12_mac(pfx, kPass, -1, nullptr, 20, 1, 0) != 0 || P12_PFX_to_Seq(pfx, &out) != 0)
            state.SkipWithError("making failed");
        free_ASN1_UNIT(out);
        free_PKCS12(pfx);
        free_P12_AUTH_SAFE(safes);
        free_P12_SAFEBAGS(keyBags);
        free_P12_SAFEBAGS(certBags);
    }
    free_X509_CERT(cert);
    free_P8_PRIV_KEY_INFO(key);
    free_ASN1_UNIT(certNode);
    free_ASN1_UNIT(keyNode);
}

BENCHMARK_CAPTURE(BM_Ours, default, "default.p12")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OpenSSL, default, "default.p12")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, legacy, "legacy.p12")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OpenSSL, legacy, "legacy.p12")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Make)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
