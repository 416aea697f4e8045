// The certificate list of a home of 10, 100 and 1,000 public certificates
// (VPL_Get_Domain_CertList, storage type 0, no filter) beside reading each
// signCert.der of the same home and decoding it with OpenSSL's d2i_X509, in
// one run, warm cache. Not a test: run it by hand on a Release build.
//   <build>/tests/store/store_list_bench
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <zephaltpavix/zephaltpavix.h>

#include "base/store_internal.hpp"

void opensslDecodeFiles(const std::vector<std::string>& paths);

namespace {

const std::string& benchDir() {
    static const std::string dir = [] {
        const std::string d = "/tmp/zq-list-bench-" + std::to_string(getpid());
        const std::string make =
            "/usr/bin/python3 " + std::string(ZQ_SOURCE_DIR) + "/tests/store/bench/make_list_bench.py " + d;
        if (std::system(make.c_str()) != 0) throw std::runtime_error("make_list_bench.py failed");
        return d;
    }();
    return dir;
}

std::vector<std::string> certificatePaths(const std::string& home) {
    std::vector<std::string> paths;
    for (const auto& e : std::filesystem::recursive_directory_iterator(home + "/NPKI"))
        if (e.path().filename() == "signCert.der") paths.push_back(e.path());
    return paths;
}

void registerDomain() {
    if (VPL_Find_CTX(g_CTX_Head, "VERIDAN")) return;
    CTX* ctx = VPL_Init_CTX();
    ctx->domain = zstore::newBuffer("VERIDAN");
    ctx->domainLen = 7;
    VPL_Insert_CTX(&g_CTX_Head, ctx);
}

int listOnce() {
    char* list = nullptr;
    int len = 0;
    const int count = VPL_Get_Domain_CertList(0, nullptr, 0, nullptr, 0, "VERIDAN", 7, nullptr, 0, &list, &len);
    VPL_Free(list, len);
    return count;
}

void BM_StoreListing(benchmark::State& state) {
    const std::string home = benchDir() + "/" + std::to_string(state.range(0));
    setenv("QUILLETEX_HOME", home.c_str(), 1);
    registerDomain();
    if (listOnce() != state.range(0)) throw std::runtime_error("listing count");  // warms the cache
    for (auto _ : state) benchmark::DoNotOptimize(listOnce());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_OpensslReadAndDecode(benchmark::State& state) {
    const std::string home = benchDir() + "/" + std::to_string(state.range(0));
    const std::vector<std::string> paths = certificatePaths(home);
    if (static_cast<long>(paths.size()) != state.range(0)) throw std::runtime_error("tree size");
    opensslDecodeFiles(paths);  // warms the cache
    for (auto _ : state) opensslDecodeFiles(paths);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_StoreListing)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpensslReadAndDecode)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchDir();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    VPL_Cleanup();
    std::filesystem::remove_all(benchDir());
    return 0;
}
