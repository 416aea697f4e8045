// What the hand-run benchmarks share: counts of the heap blocks a piece of
// code takes (every malloc of the process, ours and OpenSSL's alike) and a
// timer that runs competitors in turns, so that load from other work on the
// machine falls on all of them.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace zqbench {

struct AllocStats {
    long long count = 0;  // blocks taken
    long long peak = 0;   // most bytes held at once above the start, block overhead included
};

// False in sanitizer builds, whose allocator must not be wrapped.
bool allocCounting();
void resetAllocStats();
AllocStats allocStats();

template <class F>
AllocStats measureAllocs(F&& run) {
    resetAllocStats();
    run();
    return allocStats();
}

// Nanoseconds per call of run, over calls taking about budget.
inline double nsPerCall(const std::function<void()>& run, long long calls) {
    const auto t0 = std::chrono::steady_clock::now();
    for (long long i = 0; i < calls; ++i) run();
    const auto t1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::nano>(t1 - t0).count() / static_cast<double>(calls);
}

// How many calls of run fill about budgetMs.
inline long long callsFor(const std::function<void()>& run, double budgetMs) {
    long long calls = 1;
    for (;;) {
        const double ns = nsPerCall(run, calls);
        if (ns * static_cast<double>(calls) >= budgetMs * 1e5 || calls > (1LL << 30))
            return std::max(1LL, static_cast<long long>(budgetMs * 1e6 / std::max(ns, 1.0)));
        calls *= 4;
    }
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// A competitor: a name and a way to time n calls (nanoseconds per call).
struct Contender {
    Contender(std::string n, std::function<double(long long)> t, long long c = 0)
        : name(std::move(n)), time(std::move(t)), calls(c) {}
    std::string name;
    std::function<double(long long)> time;
    long long calls = 0;
    std::vector<double> samples;
};

// Runs every contender once per round, in turns, and keeps the medians.
inline void interleave(std::vector<Contender>& all, int rounds) {
    for (int r = 0; r < rounds; ++r)
        for (auto& c : all) c.samples.push_back(c.time(c.calls));
}

// A helper process fed one line at a time and answering one line per request
// (the python3-cryptography peer).
class Coprocess {
public:
    explicit Coprocess(const std::vector<std::string>& argv);
    ~Coprocess();
    Coprocess(const Coprocess&) = delete;
    Coprocess& operator=(const Coprocess&) = delete;
    bool running() const { return m_pid > 0; }
    // Writes line and a newline; returns the answer line (empty on failure).
    std::string ask(const std::string& line);

private:
    int m_pid = -1;
    int m_to = -1;
    int m_from = -1;
};

}  // namespace zqbench
