// A job side for connector tests: each job blocks until the test releases
// it, and records what it was given.
#pragma once

#include <string>
#include <thread>

namespace heldjob {

struct Seen {
    std::string parameter;
    std::string processName;
    std::thread::id thread;
};

// Waits until a job has started; false after the timeout.
bool waitStarted(int timeoutMs = 5000);
// Lets the running job end with the given success.
void release(bool success = true);
int jobsRun();
Seen lastSeen();
void reset();

}  // namespace heldjob
