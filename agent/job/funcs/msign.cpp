// funcName "msign".
#include "job/funcs/Dispatch.h"

void Func_msign() { FuncNotBuilt("msign"); }
