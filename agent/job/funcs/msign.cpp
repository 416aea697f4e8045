// funcName "msign".
#include "job/Launchers.h"
#include "job/funcs/Dispatch.h"

void Func_msign() { launch_SignWindow(); }
