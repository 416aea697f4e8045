// funcName "insertCert": stores the certificate a PKCS#10 request brought.
#include "job/Job.h"
#include "job/Launchers.h"
#include "job/funcs/Dispatch.h"

void Func_insertCert() {
    WriteLogFile("[ERR]", "main, funcName is insertCert.");
    launch_certAndKeyStoreAfterCertRequestWindow();
}
