#include "DMLinuxQuilletConnector.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "common/DMLinuxLog.h"
#include "common/DMLinuxUtil.h"

namespace {
constexpr useconds_t kPollMicros = 100000;
}

CDMLinuxQuilletConnector::CDMLinuxQuilletConnector() {
    pthread_mutex_init(&m_mutex, nullptr);
    m_processName[0] = '\0';
}

CDMLinuxQuilletConnector::CDMLinuxQuilletConnector(int*, char***) : CDMLinuxQuilletConnector() {}

CDMLinuxQuilletConnector::~CDMLinuxQuilletConnector() { pthread_mutex_destroy(&m_mutex); }

const char* CDMLinuxQuilletConnector::GetVersionString() { return kDMVersion; }

// A queued job counts as running: until the job loop takes it (up to a poll
// period), the job side still holds the previous job's result.
int CDMLinuxQuilletConnector::IsRunning() {
    if (!m_bound || m_isRunning == nullptr) return 0;
    return m_started || m_isRunning() != 0 ? 1 : 0;
}

int CDMLinuxQuilletConnector::GetResult(void*) {
    if (!m_bound || m_getResult == nullptr) return 0;
    if (m_started) return QUILLET_RESULT_RUNNING;
    return m_getResult();
}

int CDMLinuxQuilletConnector::ConnectorInit() {
    m_bound = 1;
    m_getResult = LinuxQuillet_GetResult;
    m_isRunning = LinuxQuillet_isRunning;
    m_startProcess = LinuxQuillet_StartProcess;
    LinuxQuillet_InitWriteLog(DMLinuxLog_GetLogType(), DMLinuxLog_Write, DMLinuxLog_WriteInt);
    return 0;
}

int CDMLinuxQuilletConnector::StartQuilletProcess(const char* param) {
    int result = QUILLET_START_REFUSED;
    pthread_mutex_lock(&m_mutex);
    DMLOG("[%s:%d] + \n", "StartQuilletProcess", __LINE__);
    if (m_started || IsRunning() != 0) {
        result = QUILLET_START_BUSY;
    } else if (int init = ConnectorInit(); init < 0) {
        DMLOG("======== StartQuilletProcess: INIT ERROR!!! [%d] ======\n", init);
    } else if (param != nullptr && std::strlen(param) >= 2 && m_bound && m_startProcess != nullptr) {
        // Drop the enclosing JSON quotes, whatever the two characters are.
        size_t inner = std::strlen(param) - 2;
        auto copy = std::make_unique<char[]>(inner + 1);
        std::memcpy(copy.get(), param + 1, inner);
        copy[inner] = '\0';
        // The parameter holds the page's session: its length only.
        DMLOG("====================StartParam: %zu bytes =========================\n", inner);
        m_pendingParam = std::move(copy);
        m_started = true;
        DMLOG("[%s:%d] - \n", "StartQuilletProcess", __LINE__);
        result = QUILLET_START_QUEUED;
    } else {
        DMLOG("[%s:%d] - \n", "StartQuilletProcess", __LINE__);
    }
    pthread_mutex_unlock(&m_mutex);
    DMLOG("[%s:%d] result(%d) - \n", "StartQuilletProcess", __LINE__, result);
    return result;
}

std::unique_ptr<char[]> CDMLinuxQuilletConnector::takePending() {
    pthread_mutex_lock(&m_mutex);
    std::unique_ptr<char[]> taken = std::move(m_pendingParam);
    pthread_mutex_unlock(&m_mutex);
    return taken;
}

void CDMLinuxQuilletConnector::finishJob() {
    pthread_mutex_lock(&m_mutex);
    m_started = false;
    pthread_mutex_unlock(&m_mutex);
}

void CDMLinuxQuilletConnector::ProcessQuilletJob() {
    while (!m_stopLoop) {
        ::usleep(kPollMicros);
        if (!m_started) continue;
        std::unique_ptr<char[]> param = takePending();
        if (m_startProcess != nullptr) {
            QuilletJobArgs args{m_processName, param.get()};
            m_startProcess(&args);
        }
        ConnectorDeinit();
        finishJob();
    }
    m_stopLoop = false;
}

int CDMLinuxQuilletConnector::CheckIntegrity() {
    struct Needed {
        const char* name;
        int access;
    };
    const Needed needed[] = {{kDMProgramName, X_OK}, {"zunwssc.dat", R_OK}};
    int result = 0;
    for (const auto& n : needed) {
        std::string path = std::string(DMLinuxUtil_GetInstallDir()) + "/" + n.name;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0 ||
            ::access(path.c_str(), n.access) != 0) {
            DMLOG("[ERR] installed file missing or unusable: %s\n", path.c_str());
            result = -1;
        }
    }
    return result;
}

void CDMLinuxQuilletConnector::SetProcessName(const char* name) {
    if (name == nullptr) return;
    // A longer path is cut rather than overflowing the fixed name.
    std::strncpy(m_processName, name, sizeof m_processName - 1);
    m_processName[sizeof m_processName - 1] = '\0';
}
