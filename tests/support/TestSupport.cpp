#include "TestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace zqtest {

TempDir::TempDir(const char* prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + prefix + ".XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (::mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = buf.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::vector<std::string> environmentWith(const std::vector<std::string>& extraEnv) {
    auto nameOf = [](const std::string& e) { return e.substr(0, e.find('=')); };
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry(*e);
        bool replaced = false;
        for (const auto& x : extraEnv) replaced = replaced || nameOf(x) == nameOf(entry);
        if (!replaced) env.push_back(std::move(entry));
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    return env;
}

RunResult run(const std::vector<std::string>& argv, const std::string& input,
              const std::vector<std::string>& extraEnv) {
    RunResult result;
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return result;
    std::vector<std::string> envStore = environmentWith(extraEnv);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        std::vector<char*> env;
        for (auto& e : envStore) env.push_back(e.data());
        env.push_back(nullptr);
        ::execvpe(args[0], args.data(), env.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    std::thread writer([&] {
        size_t off = 0;
        while (off < input.size()) {
            ssize_t n = ::write(in[1], input.data() + off, input.size() - off);
            if (n <= 0) break;
            off += static_cast<size_t>(n);
        }
        ::close(in[1]);
    });
    char buf[65536];
    ssize_t n;
    while ((n = ::read(out[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) result.output.append(buf, static_cast<size_t>(n));
    ::close(out[0]);
    writer.join();
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    return result;
}

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void writeFile(const std::string& path, const std::string& data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << data;
    if (!f) throw std::runtime_error("cannot write " + path);
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

void makeDirs(const std::string& path) { std::filesystem::create_directories(path); }

std::string hex(const std::string& bytes) {
    static const char* const digits = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string sourceDir() {
    const char* d = std::getenv("ZQ_SOURCE_DIR");
    return d != nullptr ? d : ".";
}

std::string binaryDir() {
    const char* d = std::getenv("ZQ_BINARY_DIR");
    return d != nullptr ? d : ".";
}

}  // namespace zqtest
