// Helpers of the PKCS#11 loader tests: the fixture module built beside them,
// SoftHSM2 with a token of its own, and the process's mappings.
#pragma once

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <stdlib.h>

#include <string>

#include "TestSupport.h"
#include <zunPKI/pkcs/pkcs11.h>

namespace p11test {

inline const char* kSoftHsm = "/usr/lib/softhsm/libsofthsm2.so";
inline const char* kFixture = P11_FIXTURE_MODULE;

// Whether a mapping of this process names text (a library's file name).
inline bool mapped(const std::string& text) {
    return zqtest::readFile("/proc/self/maps").find(text) != std::string::npos;
}

// Every test starts and ends with nothing loaded.
class Loader : public ::testing::Test {
protected:
    void SetUp() override { _unload_pkcs11_module(); }
    void TearDown() override { _unload_pkcs11_module(); }
};

// The fixture module's controls, from the copy the loader opened.
class FixtureControls {
public:
    FixtureControls() {
        m_handle = dlopen(kFixture, RTLD_NOW | RTLD_NOLOAD);
        if (!m_handle) return;
        answer = reinterpret_cast<void (*)(CK_ULONG, CK_RV)>(dlsym(m_handle, "fixture_answer"));
        tokenPresent = reinterpret_cast<int (*)()>(dlsym(m_handle, "fixture_token_present"));
    }
    ~FixtureControls() {
        if (m_handle) dlclose(m_handle);
    }
    FixtureControls(const FixtureControls&) = delete;
    FixtureControls& operator=(const FixtureControls&) = delete;
    bool ok() const { return answer && tokenPresent; }

    void (*answer)(CK_ULONG length, CK_RV rv) = nullptr;
    int (*tokenPresent)() = nullptr;

private:
    void* m_handle = nullptr;
};

// SoftHSM2 with one initialised token labelled "t" (user PIN "1234") in a
// folder of the test's own, named by SOFTHSM2_CONF for this process and the
// tools it runs.
class SoftHsmToken {
public:
    static constexpr const char* kPin = "1234";
    static constexpr const char* kLabel = "t";

    SoftHsmToken() : m_dir("softhsm") {
        zqtest::makeDirs(m_dir / "tokens");
        zqtest::writeFile(m_dir / "softhsm2.conf", "directories.tokendir = " + (m_dir / "tokens") +
                                                       "\nobjectstore.backend = file\nlog.level = ERROR\n");
        ::setenv("SOFTHSM2_CONF", (m_dir / "softhsm2.conf").c_str(), 1);
        auto r = zqtest::run(
            {"softhsm2-util", "--init-token", "--free", "--label", kLabel, "--pin", kPin, "--so-pin", "56781234"});
        m_ready = r.status == 0;
    }
    ~SoftHsmToken() { ::unsetenv("SOFTHSM2_CONF"); }
    SoftHsmToken(const SoftHsmToken&) = delete;
    SoftHsmToken& operator=(const SoftHsmToken&) = delete;

    bool ready() const { return m_ready; }

    // pkcs11-tool's output for args against the same module and token folder.
    static std::string tool(const std::vector<std::string>& args) {
        std::vector<std::string> argv{"pkcs11-tool", "--module", kSoftHsm};
        argv.insert(argv.end(), args.begin(), args.end());
        auto r = zqtest::run(argv);
        EXPECT_EQ(r.status, 0) << r.output;
        return r.output;
    }

private:
    zqtest::TempDir m_dir;
    bool m_ready = false;
};

}  // namespace p11test
