// Lookups by text and KS X 1001 conversion, run by hand:
//   <build>/tests/pki/asn1/pki_text_bench
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/asn1/convert.h>

#include <zunCrypto/zunCrypto.h>

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

namespace {

void oidByText(benchmark::State& state) {
    const char* last = OID_LIST(841)->oid;  // a walk over the rows would meet it last
    int len = static_cast<int>(std::strlen(last));
    for (auto _ : state) benchmark::DoNotOptimize(index_from_oid_string(last, len));
}
BENCHMARK(oidByText);

void oidByLongName(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(index_from_ln("kcdsa1WithSHA256", 16));
}
BENCHMARK(oidByLongName);

void unicodeToKs(benchmark::State& state) {
    for (auto _ : state) {
        unsigned char* c = unicodeToCP949(0x8A70);  // the last cell of the table
        benchmark::DoNotOptimize(c);
        VSC_FREE(c);
    }
}
BENCHMARK(unicodeToKs);

void utf8ToKsText(benchmark::State& state) {
    std::string text;
    while (text.size() < 1024) text += "\xED\x99\x8D\xEA\xB8\xB8\xEB\x8F\x99 \xE6\xBC\xA2\xE5\xAD\x97 Seoul ";
    ASN1_STRING str{ASN1_TAG_UTF8_STRING, reinterpret_cast<unsigned char*>(text.data()), static_cast<int>(text.size()),
                    0};
    for (auto _ : state) {
        char* out = nullptr;
        benchmark::DoNotOptimize(utf8ToCP949(&str, &out));
        VSC_FREE(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(utf8ToKsText);

}  // namespace

BENCHMARK_MAIN();
