// funcName "login".
#include "job/Launchers.h"
#include "job/funcs/Dispatch.h"

void Func_login() { launch_LoginWindow(); }
