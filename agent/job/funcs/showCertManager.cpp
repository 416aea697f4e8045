// funcName "showCertManager", and the manager of a job started without a
// parameter.
#include "job/Job.h"
#include "job/Launchers.h"
#include "job/funcs/Dispatch.h"

void Func_showCertManager() { launch_ManagerWindow(); }

bool launch_ManagerWindowStandalone() { return false; }
