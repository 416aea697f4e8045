// funcName "login".
#include "job/funcs/Dispatch.h"

void Func_login() { FuncNotBuilt("login"); }
