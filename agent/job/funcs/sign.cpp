// funcName "sign".
#include "job/Launchers.h"
#include "job/funcs/Dispatch.h"

void Func_sign() { launch_SignWindow(); }
