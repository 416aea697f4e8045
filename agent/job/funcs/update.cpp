// funcName "update": the selection window in its renewal mode.
#include "job/Launchers.h"
#include "job/funcs/Dispatch.h"

void Func_update() { launch_UpdateWindow(); }
