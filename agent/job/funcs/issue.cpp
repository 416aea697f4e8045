// funcName "issue".
#include "job/Launchers.h"
#include "job/funcs/Dispatch.h"

void Func_issue() { launch_IssueWindow(); }
