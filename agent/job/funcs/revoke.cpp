// funcName "revoke".
#include "job/funcs/Dispatch.h"

void Func_revoke() { FuncNotBuilt("revoke"); }
