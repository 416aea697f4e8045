// funcName "showCertManager", and the manager of a job started without a
// parameter.
#include "job/Job.h"
#include "job/funcs/Dispatch.h"

void Func_showCertManager() {
    if (JobUi().OpenWindow(JobWindow::Manager) != 0) FuncNotBuilt("showCertManager");
}

bool launch_ManagerWindowStandalone() { return false; }
