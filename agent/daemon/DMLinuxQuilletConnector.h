// Hands one job parameter at a time from the server thread to the job loop
// on the main thread, and answers for the job side's state.
#pragma once

#include <pthread.h>

#include <atomic>
#include <memory>

#include <LinuxQuillet.h>
#include "common/IQuillet.h"

class CDMLinuxQuilletConnector : public IQuillet {
public:
    CDMLinuxQuilletConnector();
    CDMLinuxQuilletConnector(int* argc, char*** argv);
    ~CDMLinuxQuilletConnector() override;
    CDMLinuxQuilletConnector(const CDMLinuxQuilletConnector&) = delete;
    CDMLinuxQuilletConnector& operator=(const CDMLinuxQuilletConnector&) = delete;

    const char* GetVersionString() override;
    int IsRunning() override;
    int GetResult(void* userData) override;
    void Delete_GetResultUserData(void*) override {}
    int StartQuilletProcess(const char* param) override;
    int Init() override { return 0; }
    int UnInit() override { return 0; }
    void SetConnectionPid(unsigned long) override {}

    virtual int ConnectorInit();
    virtual void ConnectorDeinit() {}
    // The job loop; runs until StopJobLoop is called (the daemon never does).
    virtual void ProcessQuilletJob();
    virtual void SetProcessName(const char* name);

    // The installed files the agent needs are present: the program itself
    // and the server-certificate container in the install directory.
    // 0, or -1 after logging what is missing.
    int CheckIntegrity();

    // Lets the job loop return after its current poll or job (tests, stop);
    // the loop may be run again afterwards.
    void StopJobLoop() { m_stopLoop = true; }

private:
    // Takes the pending parameter if one is queued; null otherwise.
    std::unique_ptr<char[]> takePending();
    void finishJob();

    std::unique_ptr<char[]> m_pendingParam;
    pthread_mutex_t m_mutex;
    std::atomic<bool> m_started{false};
    char m_processName[260];
    int m_bound = 0;
    int (*m_getResult)() = nullptr;
    int (*m_isRunning)() = nullptr;
    int (*m_startProcess)(QuilletJobArgs*) = nullptr;
    std::atomic<bool> m_stopLoop{false};
};
