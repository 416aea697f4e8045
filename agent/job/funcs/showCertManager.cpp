// funcName "showCertManager", and the manager of a job started without a
// parameter.
#include "job/funcs/Dispatch.h"

void Func_showCertManager() { FuncNotBuilt("showCertManager"); }

bool launch_ManagerWindowStandalone() { return false; }
