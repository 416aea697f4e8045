// Helpers of the signing, identification, index and PKCS#12 suites: the
// fixtures of make_sign_store.py, users placed in a temporary home, the
// domain context the agent signs for, and the peers' verdicts.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <zephaltpavix/zephaltpavix.h>

#include "StoreHelpers.h"
#include "TestSupport.h"

namespace signtest {

using storetest::len;
using storetest::Out;

// The fixture files, made once per test program.
inline const std::string& fixtures() {
    static zqtest::TempDir dir("signfx");
    static const bool made =
        zqtest::run({zqtest::kPython, zqtest::sourceDir() + "/tests/store/make_sign_store.py", dir.path()}).status == 0;
    EXPECT_TRUE(made) << "make_sign_store.py failed";
    return dir.path();
}
inline std::string fx(const std::string& name) { return fixtures() + "/" + name; }
inline std::string fxBytes(const std::string& name) { return zqtest::readFile(fx(name)); }

// A "name value" line of values.txt.
inline std::string value(const std::string& name) {
    std::istringstream in(zqtest::readFile(fx("values.txt")));
    std::string n, v;
    while (in >> n >> v)
        if (n == name) return v;
    ADD_FAILURE() << "no value " << name;
    return {};
}
inline std::string password() { return value("password"); }

inline std::string hex(const std::string& bytes) {
    static const char* const digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// The path as the certificate list hands it out (Base64).
inline std::string encoded(const std::string& path) {
    Out<> e;
    EXPECT_EQ(VPL_DataEncode(0, path.data(), len(path), e.ptr(), &e.n), 0);
    return e.str();
}

// A peer's verdict, its output kept quiet.
inline bool quietly(std::vector<std::string> argv, const std::vector<std::string>& env = {}) {
    argv.insert(argv.begin(), {"sh", "-c", "exec \"$0\" \"$@\" >/dev/null 2>&1"});
    return zqtest::run(argv, {}, env).status == 0;
}

inline bool same(const std::string& a, const std::string& b) { return zqtest::run({"cmp", "-s", a, b}).status == 0; }

inline unsigned modeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// A temporary home (QUILLETEX_HOME) with users placed in its NPKI tree.
class Home {
public:
    Home() { setenv("QUILLETEX_HOME", m_dir.path().c_str(), 1); }
    ~Home() { unsetenv("QUILLETEX_HOME"); }
    const std::string& path() const { return m_dir.path(); }

    // Copies the fixture folder's files (those named) into
    // NPKI/{ca}/USER/{folder}; the folder's path.
    std::string place(const std::string& from, const std::vector<std::string>& files,
                      const std::string& folder = "cn=Hong,ou=KFB,ou=personal4IB,o=yessign,c=kr",
                      const std::string& ca = "yessign") {
        const std::string dir = m_dir.path() + "/NPKI/" + ca + "/USER/" + folder;
        zqtest::makeDirs(dir);
        for (const std::string& f : files) {
            zqtest::writeFile(dir + "/" + f, fxBytes(from + "/" + f));
            chmod((dir + "/" + f).c_str(), f.find("Pri") != std::string::npos ? 0600 : 0644);
        }
        return dir;
    }
    // Hong's signing pair, and the KM pair with km.
    std::string hong(bool km = true) {
        std::vector<std::string> files = {"signCert.der", "signPri.key"};
        if (km) files.insert(files.end(), {"kmCert.der", "kmPri.key"});
        return place("hong", files);
    }

private:
    zqtest::TempDir m_dir{"signhome"};
};

// The agent's domain with its signature algorithm and hash set directly
// (the session layer sets them from the relay's policy); removed again.
class Domain {
public:
    Domain(const char* name, const char* sg, const char* sgh) : m_name(name) {
        CTX* ctx = VPL_Init_CTX();
        ctx->domain = static_cast<char*>(malloc(m_name.size() + 1));
        std::memcpy(ctx->domain, m_name.c_str(), m_name.size() + 1);
        ctx->domainLen = static_cast<int>(m_name.size());
        if (sg) ctx->sg = strdup(sg);
        if (sgh) ctx->sgh = strdup(sgh);
        EXPECT_EQ(VPL_Insert_CTX(&g_CTX_Head, ctx), 0);
    }
    ~Domain() { VPL_Find_CTX_Delete(&g_CTX_Head, m_name.c_str()); }

private:
    std::string m_name;
};

}  // namespace signtest
