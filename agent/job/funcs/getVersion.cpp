// funcName "getVersion": the relay only wanted the version check; no window,
// nothing posted.
#include "job/funcs/Dispatch.h"

void Func_getVersion() {}
