// The parallel CTR cipher's thread start, replaceable by tests that must
// see a thread fail to start.
#pragma once

#include <pthread.h>

namespace zcore {

// pthread_create's contract: 0, or an error number with no thread started.
using ThreadStarter = int (*)(pthread_t* handle, void* (*body)(void*), void* arg);
extern ThreadStarter g_startThread;

}  // namespace zcore
