// funcName "roaming": protocol version "1.2" only; Mode 6 exports, any other
// Mode imports.
#include "job/Job.h"
#include "job/Launchers.h"
#include "job/ParsingFunc.h"
#include "job/Roaming.h"
#include "job/funcs/Dispatch.h"

void Func_roaming() {
    if (!strPolicyList || strPolicyList->ProtocolVersion != "1.2") {
        WriteLogFile("[ERR]", "main, strPolicyList->ProtocolVersion is Not supported.");
        JobUi().MessageBox("지원하지 않는 프로토콜 버전입니다.", 3);
        send_ErrCode(JobErrorCode::kRoamingVersion);
        SetRunningFlag(3);
        return;
    }
    // The number is typed in pieces of four and sent whole.
    if (RoamingDigitCount(strPolicyList->AuthenticationNumber) == 0) {
        WriteLogFile("[ERR] main, AuthenticationNumber is Not supported. =",
                     strPolicyList->AuthenticationNumber.c_str());
        send_ErrCode(JobErrorCode::kBadPolicy);
        SetRunningFlag(3);
        return;
    }
    int mode = 0;
    if (DecimalInt(strPolicyList->Mode, mode) && mode == 6)
        launch_Roaming_CertExport_Window();
    else
        launch_Roaming_CertImport_Window();
}
