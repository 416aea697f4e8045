// funcName "revoke".
#include "job/Launchers.h"
#include "job/funcs/Dispatch.h"

void Func_revoke() { launch_RevokeWindow(); }
