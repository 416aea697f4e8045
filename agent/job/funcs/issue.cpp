// funcName "issue".
#include "job/funcs/Dispatch.h"

void Func_issue() { FuncNotBuilt("issue"); }
