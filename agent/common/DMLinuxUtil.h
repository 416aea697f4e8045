// What every part of the agent needs to know about its place on the machine:
// the program's names, the home and install directories, and writing a file
// whole. The daemon's process helpers are in daemon/DMLinuxProcess.h.
#pragma once

#include <cstddef>
#include <string>

inline constexpr const char* kDMProgramName = "ZEPHALTQuilletEX";
inline constexpr const char* kDMDefaultInstallDir = "/opt/VERIDAN/ZEPHALTQuilletEX";
inline constexpr const char* kDMVersion = "1.2.8";
// The home directory holds at most this many characters.
inline constexpr size_t kDMHomeDirMax = 259;

// Home directory from the password database of the real user id, or HOME
// when it has no entry there. The environment variable QUILLETEX_HOME, when
// set, takes its place (tests).
int DMLinuxUtil_Initialize();
const char* DMLinuxUtil_GetUserHOMEDir();
// False when no home was found (or none fitted): files that live in the
// home are then neither read nor written.
bool DMLinuxUtil_HasUserHOMEDir();
// Replaces the home directory; an empty value or one longer than
// kDMHomeDirMax is refused and the previous one kept. Returns the home
// directory in effect.
const char* DMLinuxUtil_SetUserHOMEDir(const char* dir);

// "/opt/VERIDAN/ZEPHALTQuilletEX", or QUILLETEX_INSTALL_DIR when set; read once.
const char* DMLinuxUtil_GetInstallDir();

// Writes data to path through a temporary file in the same directory and a
// rename, so readers never see half a file. Returns 0 or -1.
int DMLinuxUtil_WriteFileAtomic(const std::string& path, const std::string& data, unsigned mode);
