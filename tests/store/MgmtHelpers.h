// Helpers of the management suites (copy, delete, detail, wrappers, checks):
// the certificates of make_mgmt_certs.py, a zone set for a scope, a media
// root with drives, and a listing of a folder tree.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <string>
#include <vector>

#include <zephaltpavix/zephaltpavix.h>

#include "StoreHelpers.h"
#include "TestSupport.h"

namespace mgmttest {

using storetest::len;
using storetest::Out;

inline const std::string& certs() {
    static zqtest::TempDir dir("mgmtfx");
    static const bool made =
        zqtest::run({zqtest::kPython, zqtest::sourceDir() + "/tests/store/make_mgmt_certs.py", dir.path()}).status == 0;
    EXPECT_TRUE(made) << "make_mgmt_certs.py failed";
    return dir.path();
}
inline std::string mx(const std::string& name) { return certs() + "/" + name; }
inline std::string mxBytes(const std::string& name) { return zqtest::readFile(mx(name)); }

// TZ for the scope (the library's local dates follow it).
class Zone {
public:
    explicit Zone(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
    ~Zone() {
        unsetenv("TZ");
        tzset();
    }
};

// QUILLETEX_MEDIA_ROOT with drives under media/ (and the user's own
// media/<login>/ when named so).
class Media {
public:
    Media() { setenv("QUILLETEX_MEDIA_ROOT", m_dir.path().c_str(), 1); }
    ~Media() { unsetenv("QUILLETEX_MEDIA_ROOT"); }
    // A drive folder below media/ ("usb1", "<login>/LABEL").
    std::string drive(const std::string& name) {
        const std::string path = m_dir.path() + "/media/" + name;
        zqtest::makeDirs(path);
        return path;
    }
    const std::string& root() const { return m_dir.path(); }

private:
    zqtest::TempDir m_dir{"mgmtmedia"};
};

// Every file below dir, relative and sorted (find -type f).
inline std::vector<std::string> filesBelow(const std::string& dir) {
    const auto r = zqtest::run({"find", dir, "-type", "f", "-printf", "%P\\n"});
    std::vector<std::string> files;
    std::string line;
    for (char c : r.output) {
        if (c == '\n') {
            files.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

inline std::string loginName() {
    const auto r = zqtest::run({"id", "-un"});
    return r.output.substr(0, r.output.find('\n'));
}

}  // namespace mgmttest
