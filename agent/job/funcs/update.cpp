// funcName "update".
#include "job/funcs/Dispatch.h"

void Func_update() { FuncNotBuilt("update"); }
