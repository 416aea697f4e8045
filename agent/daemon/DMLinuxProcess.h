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
// Serialises the tasks that change the user's NSS databases and restart the
// agent (-I, -D) among the user's installer runs; waits for another one to
// finish, saying so on standard error. The lock is the home directory's
// (released when the descriptor is closed); -1 (no lock) when it cannot be
// taken, and the task then runs unserialised.
int DMLinuxUtil_LockRegistration();
// Same check against an explicit /proc root and user id (tests).
int DMLinuxUtil_CheckProcessCmdlineIn(const char* procRoot, const char* programPath, unsigned uid);
// The option that decides what the program's arguments (the words after
// argv[0]) ask for: the first word that begins with "-" and whose second
// character is one of I, D, N (a one-off task) or A, S, V (start the
// agent); the word after "-H" is its value, never an option. '\0' when no
// word decides, and its index in args (args.size() then).
struct DMDecidingOption {
    char letter = '\0';
    size_t index = 0;
};
DMDecidingOption DMLinuxUtil_DecidingOption(const std::vector<std::string>& args);
// Processes of uid whose first command-line word is programPath, except
// those running a one-off task (-I, -D, -N): an installer is not an agent.
// readable (when given) tells whether procRoot could be read at all.
std::vector<int> DMLinuxUtil_FindProcessesIn(const char* procRoot, const char* programPath, unsigned uid,
                                             bool* readable = nullptr);
// This user's processes whose name (as /proc/<pid>/status gives it) is name.
std::vector<int> DMLinuxUtil_FindProcessesByName(const char* name);
// SIGTERM to each (never to ourselves), SIGKILL to those still running after
// graceMs. Returns how many had to be killed.
int DMLinuxUtil_TerminateProcesses(const std::vector<int>& pids, int graceMs);

// How long a child that is waited for may run before it is killed.
inline constexpr int kDMChildTimeLimitMs = 30000;

// Runs argv[0] (looked up in PATH) with the given arguments, without a shell.
// wait: returns the child's exit status, or -1 when it could not be started,
// ended by a signal or ran longer than limitMs (it is then killed). The
// child reads /dev/null, has no terminal to ask anything on, and is killed
// when the caller dies. !wait: the child is detached (never a zombie);
// returns 0 when it was started, -1 otherwise. quiet: the child's standard
// output and error go to /dev/null.
int DMLinuxUtil_SystemCall(const std::vector<std::string>& argv, bool wait, bool quiet = false,
                           int limitMs = kDMChildTimeLimitMs);

// Starts the installed program with "-S" and returns once it has forked its
// daemon (which then shows in /proc as an agent): 0, or -1.
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
