/* Preloaded into the agent: every thread start fails, as under a thread limit. */
#include <errno.h>
#include <pthread.h>

__attribute__((visibility("default"))) int pthread_create(pthread_t* thread, const pthread_attr_t* attr,
                                                          void* (*start)(void*), void* arg) {
    (void)thread;
    (void)attr;
    (void)start;
    (void)arg;
    return EAGAIN;
}
