// The job side's entry functions, as the daemon binds them.
#include <LinuxQuillet.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "job/Job.h"
#include "ui/JobUiGtk.h"

#define QUILLET_EXPORT __attribute__((visibility("default")))

namespace {

// Allocation tracking of the exported QLT_ functions (no caller in the
// program).
struct Callocinfo {
    char file[256];
    char function[256];
    int line;
    int size;
    void* pointer;
};
std::mutex g_allocMutex;
std::vector<Callocinfo> g_allocs;
long long g_allocTotal = 0;

void copyName(char (&to)[256], const char* from) { std::snprintf(to, sizeof to, "%s", from ? from : ""); }

}  // namespace

extern "C" {

QUILLET_EXPORT int LinuxQuillet_StartProcess(QuilletJobArgs* job) { return Quillet_Main(&g_appRunningFlag, 2, job); }

QUILLET_EXPORT int LinuxQuillet_isRunning(void) { return g_appRunningFlag.load() != 0 ? 1 : 0; }

QUILLET_EXPORT int LinuxQuillet_GetResult(void) {
    if (g_appRunningFlag.load() != 0) return QUILLET_RESULT_RUNNING;
    return GetQuilletResult() != 0 ? QUILLET_RESULT_SUCCESS : QUILLET_RESULT_NONE;
}

QUILLET_EXPORT void LinuxQuillet_InitWriteLog(int debugMode, LogWriteFunc write, LogWriteIntFunc writeInt) {
    InitQuilletWriteLog(debugMode, write, writeInt);
}

QUILLET_EXPORT int LinuxQuillet_gtkLibInit(int* argc, char*** argv) { return JobUi_GtkInit(argc, argv); }

QUILLET_EXPORT int LinuxQuillet_ShowMessageBox(const char* text, unsigned type) {
    return JobUi().MessageBoxOKCancel(text, type <= 3 ? static_cast<int>(type) : 4);
}

QUILLET_EXPORT void* QLT_MEMALLOC(const char* file, const char* function, int line, int size) {
    void* p = size > 0 ? std::malloc(static_cast<size_t>(size)) : nullptr;
    if (!p) return nullptr;
    Callocinfo info{};
    copyName(info.file, file);
    copyName(info.function, function);
    info.line = line;
    info.size = size;
    info.pointer = p;
    std::lock_guard lock(g_allocMutex);
    g_allocs.push_back(info);
    g_allocTotal += size;
    return p;
}

QUILLET_EXPORT void QLT_FREE(const char*, const char*, int, void* p) {
    if (!p) return;
    {
        std::lock_guard lock(g_allocMutex);
        for (auto it = g_allocs.begin(); it != g_allocs.end();) {
            if (it->pointer == p) {
                g_allocTotal -= it->size;
                it = g_allocs.erase(it);
            } else {
                ++it;
            }
        }
    }
    std::free(p);
}

QUILLET_EXPORT void checkmallocdata(void) {}

}  // extern "C"
