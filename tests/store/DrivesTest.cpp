// The drive list under a temporary media root, URL-encoded as python does.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "StoreHelpers.h"

using storetest::Out;

namespace {

std::string login() {
    const passwd* pw = getpwuid(getuid());
    return pw ? pw->pw_name : "";
}

// python's URL form of each path (encode_peer.py), in order.
std::vector<std::string> pythonUrls(const std::vector<std::string>& paths) {
    std::string request;
    for (const auto& p : paths) {
        static const char d[] = "0123456789abcdef";
        for (unsigned char c : p) {
            request += d[c >> 4];
            request += d[c & 15];
        }
        request += "\n";
    }
    const auto peer = zqtest::run({zqtest::kPython, zqtest::sourceDir() + "/tests/store/encode_peer.py"}, request);
    EXPECT_EQ(peer.status, 0);
    std::vector<std::string> urls;
    std::istringstream lines(peer.output);
    for (std::string l; std::getline(lines, l);) {
        const auto a = l.find('\t'), b = l.find('\t', a + 1);
        urls.push_back(l.substr(a + 1, b - a - 1));
    }
    return urls;
}

std::string records(const std::vector<std::string>& paths) {
    std::string list;
    for (const auto& url : pythonUrls(paths)) list += (list.empty() ? "" : "|") + ("drive^" + url + "&volume^");
    return list;
}

class StoreDrives : public ::testing::Test {
protected:
    void SetUp() override {
        m_savedHome = std::getenv("QUILLETEX_HOME");
        m_home = m_root / "home dir";
        zqtest::makeDirs(m_home);
        setenv("QUILLETEX_HOME", m_home.c_str(), 1);
        setenv("QUILLETEX_MEDIA_ROOT", (m_root / "root").c_str(), 1);
    }
    void TearDown() override {
        setenv("QUILLETEX_HOME", m_savedHome.c_str(), 1);
        unsetenv("QUILLETEX_MEDIA_ROOT");
    }
    std::string list() {
        Out<> out;
        EXPECT_EQ(VPL_Get_DriveInfos(out.ptr(), &out.n), 0);
        EXPECT_EQ(out.p[out.n], '\0');
        return out.str();
    }

    zqtest::TempDir m_root{"storedrives"};
    std::string m_savedHome, m_home;
};

}  // namespace

TEST_F(StoreDrives, UserDrivesOtherMountsAndRunMedia) {
    const std::string root = m_root / "root";
    const std::string user = login();
    ASSERT_FALSE(user.empty());
    // Without /media: the home directory's record alone.
    EXPECT_EQ(list(), records({m_home}));
    zqtest::makeDirs(root + "/media");
    EXPECT_EQ(list(), records({m_home}));

    for (const std::string& d : {"/media/" + user + "/USB1", "/media/" + user + "/USB2", std::string("/media/other"),
                                 "/run/media/" + user + "/X"})
        zqtest::makeDirs(root + d);
    zqtest::writeFile(root + "/media/plain-file", "x");
    zqtest::writeFile(root + "/media/" + user + "/file", "x");
    std::filesystem::create_directory_symlink(root + "/media/other", root + "/media/link");
    std::filesystem::create_directory_symlink(root + "/media/other", root + "/run/media/" + user + "/link");
    EXPECT_EQ(list(), records({m_home, root + "/media/other", root + "/media/" + user + "/USB1",
                               root + "/media/" + user + "/USB2", root + "/run/media/" + user + "/X"}));

    Out<> one;
    ASSERT_EQ(VPL_Get_SystemDrive(one.ptr(), &one.n), 0);
    EXPECT_EQ(one.str(), records({m_home}));
    const std::string hangul = "/media/" + user + "/내 USB (1)+%";
    ASSERT_EQ(VPL_Send_DriveData(hangul.c_str(), one.ptr(), &one.n), 0);
    EXPECT_EQ(one.str(), records({hangul}));
    EXPECT_EQ(VPL_Send_DriveData(nullptr, one.ptr(), &one.n), 1052011);
}
