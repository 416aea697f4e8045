#include "HeldJobSide.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include <LinuxQuillet.h>

namespace heldjob {
namespace {
std::mutex g_mutex;
std::condition_variable g_cv;
bool g_started = false;
bool g_released = false;
bool g_success = true;
int g_jobs = 0;
Seen g_seen;
std::atomic<int> g_running{0};
std::atomic<int> g_result{0};
}  // namespace

bool waitStarted(int timeoutMs) {
    std::unique_lock lock(g_mutex);
    return g_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [] { return g_started; });
}

void release(bool success) {
    std::lock_guard lock(g_mutex);
    g_released = true;
    g_success = success;
    g_cv.notify_all();
}

int jobsRun() {
    std::lock_guard lock(g_mutex);
    return g_jobs;
}

Seen lastSeen() {
    std::lock_guard lock(g_mutex);
    return g_seen;
}

void reset() {
    std::lock_guard lock(g_mutex);
    g_started = g_released = false;
}

}  // namespace heldjob

using namespace heldjob;

extern "C" int LinuxQuillet_StartProcess(QuilletJobArgs* job) {
    g_result = 0;
    g_running = 1;
    std::unique_lock lock(g_mutex);
    g_seen = {job->startParameter ? job->startParameter : "", job->processName ? job->processName : "",
              std::this_thread::get_id()};
    ++g_jobs;
    g_started = true;
    g_cv.notify_all();
    g_cv.wait(lock, [] { return g_released; });
    g_started = g_released = false;
    g_result = g_success ? 1 : 0;
    g_running = 0;
    return 0;
}

extern "C" int LinuxQuillet_isRunning(void) { return g_running != 0 ? 1 : 0; }

extern "C" int LinuxQuillet_GetResult(void) {
    if (g_running != 0) return 3;
    return g_result != 0 ? 1 : 0;
}

extern "C" void LinuxQuillet_InitWriteLog(int, LogWriteFunc, LogWriteIntFunc) {}
