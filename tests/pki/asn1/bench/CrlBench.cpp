// Decoding and re-encoding a large CRL through the node tree and into the
// CRL record, beside OpenSSL's d2i_X509_CRL of the same file. Not a test:
// run it by hand.
//   pki_crl_bench [--benchmark_...]   (ZQ_BENCH_CRL=file.der to bring a CRL;
//   otherwise scripts/make-large-crl makes one with 100000 entries, and
//   lists of 25000 and 50000 entries for the record's growth)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>
#include <algorithm>
#include <map>

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include "asn1/ber_internal.hpp"
#include <zunPKI/x509/x509_crl.h>
#include "bench/BenchSupport.h"

// In a file of its own: OpenSSL's headers name their types as ours do.
size_t opensslDecodeCrl(const unsigned char* der, size_t len);

namespace {

using Bytes = std::vector<unsigned char>;

Bytes generatedCrl(int count) {
    const std::string path = "/tmp/zq-bench-crl-" + std::to_string(count) + ".der";
    if (!std::ifstream(path)) {
        const std::string cmd =
            std::string(ZQ_SOURCE_DIR) + "/scripts/make-large-crl " + path + " " + std::to_string(count);
        if (std::system(cmd.c_str()) != 0) throw std::runtime_error("make-large-crl failed");
    }
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

const Bytes& crlBytes() {
    static const Bytes bytes = [] {
        if (const char* given = std::getenv("ZQ_BENCH_CRL")) {
            std::ifstream in(given, std::ios::binary);
            return Bytes(std::istreambuf_iterator<char>(in), {});
        }
        return generatedCrl(100000);
    }();
    return bytes;
}

// The list of count entries (100000: the one of crlBytes).
const Bytes& crlOf(int count) {
    static std::map<int, Bytes> made;
    if (count == 100000) return crlBytes();
    auto it = made.find(count);
    if (it == made.end()) it = made.emplace(count, generatedCrl(count)).first;
    return it->second;
}

struct Entry {
    BIGINT* serial = nullptr;
    ASN1_STRING* date = nullptr;
    ASN1_UNIT* extensions = nullptr;
};

// What a CRL decoder does: the TBS, its revoked list, and the serial, date
// and extensions of every entry.
size_t decodeEntries(const ASN1_UNIT* crl, std::vector<Entry>* keep) {
    ASN1_UNIT* tbs = static_cast<ASN1_UNIT*>(getBERChildAt(crl, 0, 48));
    if (!tbs) throw std::runtime_error("no TBS");
    int listIndex = -1;
    for (int i = 3; i < getSequenceChildNum(tbs); ++i)
        if (getChildType(tbs, i) == 0x30) listIndex = i;
    ASN1_UNIT* list = static_cast<ASN1_UNIT*>(getBERChildAt(tbs, listIndex, 48));
    const int n = getSequenceChildNum(list);
    for (int i = 0; i < n; ++i) {
        ASN1_UNIT* entry = static_cast<ASN1_UNIT*>(getBERChildAt(list, i, 48));
        Entry e;
        e.serial = static_cast<BIGINT*>(getBERChildAt(entry, 0, 2));
        e.date = static_cast<ASN1_STRING*>(getBERChildAt(entry, 1, 23));
        if (getSequenceChildNum(entry) > 2) e.extensions = static_cast<ASN1_UNIT*>(getBERChildAt(entry, 2, 48));
        if (!e.serial || !e.date) throw std::runtime_error("bad entry");
        if (keep) {
            keep->push_back(e);
        } else {
            VSC_Free_BIGINT(e.serial);
            free_ASN1_STRING(e.date);
            free_ASN1_UNIT(e.extensions);
        }
        free_ASN1_UNIT(entry);
    }
    free_ASN1_UNIT(list);
    free_ASN1_UNIT(tbs);
    return static_cast<size_t>(n);
}

// What a CRL encoder does: every entry built from its values, appended to
// the revoked list.
ASN1_UNIT* encodeEntries(std::vector<Entry>& entries) {
    ASN1_UNIT* list = new_ASN1_UNIT();
    for (auto& e : entries) {
        ASN1_UNIT* entry = new_ASN1_UNIT();
        addToDERSequence(entry, 2, e.serial, zpki::ber::integerContentsLength(e.serial));
        addToDERSequence(entry, 23, e.date, e.date->length);
        if (e.extensions) addToDERSequence(entry, 48, e.extensions, 0);
        addToDERSequence(list, 33, entry, 0);
    }
    return list;
}

void release(std::vector<Entry>& entries) {
    for (auto& e : entries) {
        VSC_Free_BIGINT(e.serial);
        free_ASN1_STRING(e.date);
        free_ASN1_UNIT(e.extensions);
    }
    entries.clear();
}

void BM_NodeTree_Decode(benchmark::State& state) {
    const Bytes& crl = crlBytes();
    for (auto _ : state) {
        ASN1_UNIT* node = decodeToBERSequence(crl.data(), static_cast<int>(crl.size()));
        benchmark::DoNotOptimize(decodeEntries(node, nullptr));
        free_ASN1_UNIT(node);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * crl.size()));
}

void BM_NodeTree_DecodeAndReencode(benchmark::State& state) {
    const Bytes& crl = crlBytes();
    for (auto _ : state) {
        ASN1_UNIT* node = decodeToBERSequence(crl.data(), static_cast<int>(crl.size()));
        std::vector<Entry> entries;
        entries.reserve(100000);
        decodeEntries(node, &entries);
        ASN1_UNIT* list = encodeEntries(entries);
        zpki::ber::Bytes out;
        zpki::ber::serialize(list, out);
        benchmark::DoNotOptimize(out.data());
        free_ASN1_UNIT(list);
        release(entries);
        free_ASN1_UNIT(node);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * crl.size()));
}

void BM_OpenSSL_d2i_X509_CRL(benchmark::State& state) {
    const Bytes& crl = crlBytes();
    for (auto _ : state) {
        benchmark::DoNotOptimize(opensslDecodeCrl(crl.data(), crl.size()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * crl.size()));
}

// Into the CRL record: every entry's serial, date and extensions, and the
// bytes kept for the signature check.
void BM_Seq_to_X509_CRL(benchmark::State& state) {
    const Bytes& crl = crlOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        ASN1_UNIT* node = decodeToBERSequence(crl.data(), static_cast<int>(crl.size()));
        X509_CRL* rec = nullptr;
        if (Seq_to_X509_CRL(node, &rec) != 0) throw std::runtime_error("Seq_to_X509_CRL failed");
        benchmark::DoNotOptimize(get_X509_REVOKED_count(rec->info));
        free_X509_CRL(rec);
        free_ASN1_UNIT(node);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * state.range(0)));
}

void BM_OpenSSL_d2i_X509_CRL_Entries(benchmark::State& state) {
    const Bytes& crl = crlOf(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(opensslDecodeCrl(crl.data(), crl.size()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * state.range(0)));
}

// The re-encoded revoked list equals the one in the file.
bool reencodesIdentically() {
    const Bytes& crl = crlBytes();
    ASN1_UNIT* node = decodeToBERSequence(crl.data(), static_cast<int>(crl.size()));
    std::vector<Entry> entries;
    decodeEntries(node, &entries);
    ASN1_UNIT* list = encodeEntries(entries);
    zpki::ber::Bytes out;
    zpki::ber::serialize(list, out);
    const auto at = std::search(crl.begin(), crl.end(), out.begin(), out.end());
    free_ASN1_UNIT(list);
    release(entries);
    free_ASN1_UNIT(node);
    return at != crl.end();
}

BENCHMARK(BM_NodeTree_Decode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NodeTree_DecodeAndReencode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenSSL_d2i_X509_CRL)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Seq_to_X509_CRL)->Arg(25000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenSSL_d2i_X509_CRL_Entries)->Arg(25000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Bytes to the CRL record and back to nothing, as a reader of CRLs does.
void decodeCrlRecord(const Bytes& crl) {
    ASN1_UNIT* node = decodeToBERSequence(crl.data(), static_cast<int>(crl.size()));
    X509_CRL* rec = nullptr;
    if (Seq_to_X509_CRL(node, &rec) != 0) throw std::runtime_error("Seq_to_X509_CRL failed");
    free_X509_CRL(rec);
    free_ASN1_UNIT(node);
}

// The record beside d2i_X509_CRL in turns, then the heap each takes.
void summary(int rounds) {
    const Bytes& crl = crlBytes();
    const std::function<void()> ours = [&] { decodeCrlRecord(crl); };
    const std::function<void()> theirs = [&] { opensslDecodeCrl(crl.data(), crl.size()); };
    std::vector<zqbench::Contender> all;
    all.push_back({"ours", [&](long long n) { return zqbench::nsPerCall(ours, n); }, 3});
    all.push_back({"d2i_X509_CRL", [&](long long n) { return zqbench::nsPerCall(theirs, n); }, 3});
    zqbench::interleave(all, rounds);
    const double us = zqbench::median(all[0].samples), them = zqbench::median(all[1].samples);
    std::printf("decode into the record: ours %.2f ms, d2i_X509_CRL %.2f ms: d2i/ours %.2fx\n", us / 1e6, them / 1e6,
                them / us);
    if (!zqbench::allocCounting()) return;
    ASN1_UNIT* list = decodeToBERSequence(crl.data(), static_cast<int>(crl.size()));
    X509_CRL* probe = nullptr;
    Seq_to_X509_CRL(list, &probe);
    const double entries = static_cast<double>(get_X509_REVOKED_count(probe->info));
    free_X509_CRL(probe);
    free_ASN1_UNIT(list);
    const auto a = zqbench::measureAllocs(ours), b = zqbench::measureAllocs(theirs);
    std::printf("per entry: ours %.1f allocations, %.0f bytes at the peak; d2i_X509_CRL %.1f allocations, %.0f bytes\n",
                a.count / entries, a.peak / entries, b.count / entries, b.peak / entries);
    std::printf("DER %.0f bytes per entry\n", crl.size() / entries);
}

}  // namespace

int main(int argc, char** argv) {
    std::printf("CRL: %zu bytes; revoked list re-encodes byte-identical: %s\n", crlBytes().size(),
                reencodesIdentically() ? "yes" : "NO");
    summary(7);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
