// Heap counting by wrapping the C allocator of the process (glibc's entry
// points stay reachable under their __libc_ names), and the coprocess.
#include "BenchSupport.h"

#include <malloc.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define ZQ_BENCH_NO_WRAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZQ_BENCH_NO_WRAP 1
#endif
#endif

namespace {
long long g_count = 0;
long long g_live = 0;
long long g_peak = 0;

// A block's cost: its usable size and glibc's header word.
inline void taken(void* p) {
    if (!p) return;
    ++g_count;
    g_live += static_cast<long long>(malloc_usable_size(p) + sizeof(size_t));
    if (g_live > g_peak) g_peak = g_live;
}
inline void given(void* p) {
    if (p) g_live -= static_cast<long long>(malloc_usable_size(p) + sizeof(size_t));
}
}  // namespace

#ifndef ZQ_BENCH_NO_WRAP
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);

void* malloc(size_t n) {
    void* p = __libc_malloc(n);
    taken(p);
    return p;
}
void* calloc(size_t n, size_t m) {
    void* p = __libc_calloc(n, m);
    taken(p);
    return p;
}
void* realloc(void* old, size_t n) {
    given(old);
    void* p = __libc_realloc(old, n);
    if (p)
        taken(p);
    else if (old && n)
        taken(old);  // the old block stays
    return p;
}
void free(void* p) {
    given(p);
    __libc_free(p);
}
void* memalign(size_t a, size_t n) {
    void* p = __libc_memalign(a, n);
    taken(p);
    return p;
}
void* aligned_alloc(size_t a, size_t n) { return memalign(a, n); }
int posix_memalign(void** out, size_t a, size_t n) {
    void* p = memalign(a, n);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
}
#endif

namespace zqbench {

bool allocCounting() {
#ifdef ZQ_BENCH_NO_WRAP
    return false;
#else
    return true;
#endif
}

void resetAllocStats() {
    g_count = 0;
    g_live = 0;
    g_peak = 0;
}

AllocStats allocStats() { return {g_count, g_peak}; }

Coprocess::Coprocess(const std::vector<std::string>& argv) {
    int to[2], from[2];
    if (pipe(to) != 0) return;
    if (pipe(from) != 0) {
        close(to[0]);
        close(to[1]);
        return;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(to[0], 0);
        dup2(from[1], 1);
        close(to[0]);
        close(to[1]);
        close(from[0]);
        close(from[1]);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(to[0]);
    close(from[1]);
    if (pid < 0) {
        close(to[1]);
        close(from[0]);
        return;
    }
    m_pid = pid;
    m_to = to[1];
    m_from = from[0];
}

Coprocess::~Coprocess() {
    if (m_pid <= 0) return;
    close(m_to);
    close(m_from);
    int status = 0;
    waitpid(m_pid, &status, 0);
}

std::string Coprocess::ask(const std::string& line) {
    if (m_pid <= 0) return {};
    const std::string out = line + "\n";
    if (write(m_to, out.data(), out.size()) != static_cast<ssize_t>(out.size())) return {};
    std::string answer;
    char c;
    while (read(m_from, &c, 1) == 1) {
        if (c == '\n') return answer;
        answer += c;
    }
    return {};
}

}  // namespace zqbench
