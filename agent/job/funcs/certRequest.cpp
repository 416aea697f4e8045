// funcName "certRequest": policy Mode "22" issues through CMP (the issue
// window), any other Mode makes a PKCS#10 request.
#include "job/Job.h"
#include "job/Launchers.h"
#include "job/funcs/Dispatch.h"

void Func_certRequest() {
    if (strPolicyList && strPolicyList->Mode == "22")
        launch_IssueWindow();
    else
        launch_certRequestWindow();
}
