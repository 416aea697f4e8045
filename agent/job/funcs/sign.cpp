// funcName "sign".
#include "job/funcs/Dispatch.h"

void Func_sign() { FuncNotBuilt("sign"); }
