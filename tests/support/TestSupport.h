// Small helpers shared by the test suites.
#pragma once

#include <string>
#include <vector>

namespace zqtest {

// A fresh directory under $TMPDIR (or /tmp), removed with its contents.
class TempDir {
public:
    explicit TempDir(const char* prefix = "zqtest");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

struct RunResult {
    int status = -1;     // exit status, or -1 when killed or not started
    std::string output;  // standard output
};

// This process's environment with extraEnv ("NAME=value") added, replacing
// inherited entries of the same name.
std::vector<std::string> environmentWith(const std::vector<std::string>& extraEnv);

// Runs argv without a shell, feeding input on standard input; extraEnv
// ("NAME=value") adds to or replaces the inherited environment.
RunResult run(const std::vector<std::string>& argv, const std::string& input = {},
              const std::vector<std::string>& extraEnv = {});

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& data);
bool fileExists(const std::string& path);
void makeDirs(const std::string& path);
// Lower-case hex of bytes.
std::string hex(const std::string& bytes);

// The repository's root and the build tree, from the environment CTest sets.
std::string sourceDir();
std::string binaryDir();

// Debian's interpreter, which has the distribution's python3 packages.
inline const char* kPython = "/usr/bin/python3";

}  // namespace zqtest
