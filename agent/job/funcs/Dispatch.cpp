#include "job/funcs/Dispatch.h"

#include "job/Job.h"

namespace {

struct FuncRow {
    const char* name;
    void (*run)();
};

// First match wins.
constexpr FuncRow kRows[] = {
    {"login", Func_login},
    {"sign", Func_sign},
    {"msign", Func_msign},
    {"showCertManager", Func_showCertManager},
    {"issue", Func_issue},
    {"update", Func_update},
    {"revoke", Func_revoke},
    {"getVersion", Func_getVersion},
    {"certRequest", Func_certRequest},
    {"insertCert", Func_insertCert},
    {"roaming", Func_roaming},
};

}  // namespace

void DispatchFunc(const std::string& funcName) {
    for (const FuncRow& row : kRows) {
        if (funcName == row.name) {
            row.run();
            return;
        }
    }
    UnsupportedFunc(funcName);
}

void UnsupportedFunc(const std::string& funcName) {
    WriteLogFile("[ERR] main, Not Supported funcName.  funcName =", funcName.c_str());
    JobUi().MessageBox("아직 지원하지 않는 funcName 입니다.", 3);
    send_ErrCode(JobErrorCode::kUnsupported);
    SetRunningFlag(3);
}
