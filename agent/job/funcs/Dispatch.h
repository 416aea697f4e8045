// The dispatch table: one row per funcName of the relay's answer, each in a
// file of its own in this folder. A row whose window is not built yet
// answers as an unsupported funcName (FuncNotBuilt).
#pragma once

#include <string>

// Runs the row of funcName (exact, case-sensitive), or the unsupported
// answer for a name without a row. The launchers return when their window
// has closed.
void DispatchFunc(const std::string& funcName);

// The unsupported answer: box "아직 지원하지 않는 funcName 입니다.", job
// code 1416, running flag 3.
void UnsupportedFunc(const std::string& funcName);
// A row whose launcher is still to come answers the same way.
inline void FuncNotBuilt(const char* funcName) { UnsupportedFunc(funcName); }

// The certificate manager without any relay exchange (a job started
// without a parameter). False while the window is not built.
bool launch_ManagerWindowStandalone();

// The rows.
void Func_login();
void Func_sign();
void Func_msign();
void Func_showCertManager();
void Func_issue();
void Func_update();
void Func_revoke();
void Func_getVersion();
void Func_certRequest();
void Func_insertCert();
void Func_roaming();
