// Both Korean conversions of 1 MiB of text, beside glibc's iconv(3) of the
// same text in the same run. Not a test: run it by hand on a Release build.
//   <build>/tests/core/core_korean_bench
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include <zunCore/korean.h>

namespace {

constexpr size_t kSize = 1 << 20;

// A signed text as users write it: mostly Hangul, some Hanja, symbols and
// ASCII, repeated to 1 MiB of UTF-8.
const std::string& utf8Text() {
    static const std::string text = [] {
        const std::string piece =
            "\xEB\xB3\xB8\xEC\x9D\xB8\xEC\x9D\x80 \xEC\x84\x9C\xEC\x9A\xB8\xED\x8A\xB9\xEB\xB3\x84\xEC\x8B\x9C "
            "\xEA\xB0\x95\xEB\x82\xA8\xEA\xB5\xAC\xEC\x97\x90 \xEA\xB1\xB0\xEC\xA3\xBC\xED\x95\x98\xEB\xA9\xB0, "
            "\xEA\xB3\x84\xEC\x95\xBD\xEA\xB8\x88 1,000,000\xEC\x9B\x90\xEC\x9D\x84 "
            "\xE6\xBC\xA2\xE5\xAD\x97 \xE2\x80\xBB \xC2\xB1 "
            "\xEC\xA7\x80\xEA\xB8\x89\xED\x95\xA9\xEB\x8B\x88\xEB\x8B\xA4. Contract No. 2025-0042\n";
        std::string t;
        while (t.size() + piece.size() <= kSize) t += piece;
        return t;
    }();
    return text;
}

std::string viaIconv(const std::string& in, const char* from, const char* to) {
    iconv_t cd = iconv_open(to, from);
    std::string out(in.size() * 2, '\0');
    char* i = const_cast<char*>(in.data());
    size_t il = in.size(), ol = out.size();
    char* o = out.data();
    if (iconv(cd, &i, &il, &o, &ol) == static_cast<size_t>(-1)) throw std::runtime_error("iconv");
    iconv_close(cd);
    out.resize(out.size() - ol);
    return out;
}

const std::string& eucKrText() {
    static const std::string text = viaIconv(utf8Text(), "UTF-8", "EUC-KR");
    return text;
}

// iconv as a caller would use it for one text: open, convert into a new
// buffer, close.
void iconvOnce(benchmark::State& state, const std::string& in, const char* from, const char* to, size_t room) {
    for (auto _ : state) {
        iconv_t cd = iconv_open(to, from);
        char* out = static_cast<char*>(std::malloc(room));
        char* i = const_cast<char*>(in.data());
        size_t il = in.size(), ol = room;
        char* o = out;
        benchmark::DoNotOptimize(iconv(cd, &i, &il, &o, &ol));
        iconv_close(cd);
        std::free(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in.size()));
}

void Utf8ToEucKr_Ours(benchmark::State& state) {
    const std::string& in = utf8Text();
    if (std::string(VCL_ConvertUTF8ToEUCKR(in.c_str())) != eucKrText()) throw std::runtime_error("differs");
    for (auto _ : state) std::free(VCL_ConvertUTF8ToEUCKR(in.c_str()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in.size()));
}
void Utf8ToEucKr_Iconv(benchmark::State& state) {
    iconvOnce(state, utf8Text(), "UTF-8", "EUC-KR", utf8Text().size() + 1);
}

void EucKrToUtf8_Ours(benchmark::State& state) {
    const std::string& in = eucKrText();
    if (std::string(VCL_ConvertEUCKRToUTF8(in.c_str())) != utf8Text()) throw std::runtime_error("differs");
    for (auto _ : state) std::free(VCL_ConvertEUCKRToUTF8(in.c_str()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in.size()));
}
void EucKrToUtf8_Iconv(benchmark::State& state) {
    iconvOnce(state, eucKrText(), "EUC-KR", "UTF-8", eucKrText().size() * 3 / 2 + 1);
}

BENCHMARK(Utf8ToEucKr_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(Utf8ToEucKr_Iconv)->Unit(benchmark::kMillisecond);
BENCHMARK(EucKrToUtf8_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(EucKrToUtf8_Iconv)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
