// The interface between the command server and the job side.
#pragma once

class IQuillet {
public:
    virtual ~IQuillet() = default;
    virtual const char* GetVersionString() = 0;
    // Nonzero while a job runs.
    virtual int IsRunning() = 0;
    // QuilletJobResult: 3 running, 1 last job succeeded, 0 otherwise.
    virtual int GetResult(void* userData) = 0;
    virtual void Delete_GetResultUserData(void* userData) = 0;
    // 1 queued, 2 busy (a job is pending or running), -1 refused.
    virtual int StartQuilletProcess(const char* param) = 0;
    virtual int Init() = 0;
    virtual int UnInit() = 0;
    virtual int DummyGetVersion(const char*) { return 1; }
    virtual void SetConnectionPid(unsigned long pid) = 0;
};

enum QuilletStartResult {
    QUILLET_START_REFUSED = -1,
    QUILLET_START_QUEUED = 1,
    QUILLET_START_BUSY = 2,
};
