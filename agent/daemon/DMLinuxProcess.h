// Process-level helpers of the daemon: library initialisation, process
// checks, child processes, autostart entry. The home and install directories
// are in common/DMLinuxUtil.h, which this includes.
#pragma once

#include <string>
#include <vector>

#include "common/DMLinuxUtil.h"

int DMLinuxUtil_InitLibGTK(int* argc, char*** argv);
int DMLinuxUtil_InitCURL();
void DMLinuxUtil_CleanupCURL();

// Process id of the first process whose status name contains pattern
// (1 when that id is 0), 0 when none.
int DMLinuxUtil_CheckProcess(const char* pattern);
// 1 when no other process of this user runs programPath, -1 when one does
// or /proc cannot be read.
int DMLinuxUtil_CheckProcessCmdline(const char* programPath);
// Serialises the single-instance check among agents started at the same
// moment, so that they neither all see each other and end, nor all miss each
// other. Take it before the check and keep it over the fork: it is released
// when the starting process and its forked daemon have both closed the
// returned descriptor. -1 (no lock; the check runs unserialised) when it
// could not be taken within a few seconds.
int DMLinuxUtil_LockStart();
// Same check against an explicit /proc root and user id (tests).
int DMLinuxUtil_CheckProcessCmdlineIn(const char* procRoot, const char* programPath, unsigned uid);
// Processes of uid whose first command-line word is programPath; readable
// (when given) tells whether procRoot could be read at all.
std::vector<int> DMLinuxUtil_FindProcessesIn(const char* procRoot, const char* programPath, unsigned uid,
                                             bool* readable = nullptr);
// This user's processes whose name (as /proc/<pid>/status gives it) is name.
std::vector<int> DMLinuxUtil_FindProcessesByName(const char* name);
// SIGTERM to each (never to ourselves), SIGKILL to those still running after
// graceMs. Returns how many had to be killed.
int DMLinuxUtil_TerminateProcesses(const std::vector<int>& pids, int graceMs);

// Runs argv[0] (looked up in PATH) with the given arguments, without a shell.
// wait: returns the child's exit status, or -1 when it could not be started
// or ended by a signal. !wait: the child is detached (never a zombie);
// returns 0 when it was started, -1 otherwise. quiet: the child's standard
// output and error go to /dev/null.
int DMLinuxUtil_SystemCall(const std::vector<std::string>& argv, bool wait, bool quiet = false);

int DMLinuxUtil_StartSelf();
// How long a process asked to end may take before it is killed.
inline constexpr int kDMKillGraceMs = 3000;
// Ends this user's processes of that exact name: SIGTERM, then SIGKILL.
int DMLinuxUtil_KillProcess(const char* name);
int DMLinuxUtil_KillProcessID(int pid);
int DMLinuxUtil_Regist_autostart();
int DMLinuxUtil_IsUserWritableDir(const char* path);
// Modal question box with OK and Cancel; 1 when the user pressed OK.
int DMLinuxUtil_ShowMessageBox(const char* text, const char* title, unsigned type);

// The text of the autostart entry.
std::string DMLinuxUtil_AutostartEntry();
