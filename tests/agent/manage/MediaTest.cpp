// The removable volumes and the storage choice of the removable-disk radio
// buttons, under Xvfb with the staged builder file.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "ui/MainUI.h"
#include "ui/RemovableMedia.h"

namespace {

std::string login() {
    const passwd* pw = getpwuid(getuid());
    return pw ? pw->pw_name : "";
}

// QUILLETEX_MEDIA_ROOT over a tree of the test's.
class MediaRoot {
public:
    MediaRoot() { ::setenv("QUILLETEX_MEDIA_ROOT", dir.path().c_str(), 1); }
    ~MediaRoot() { ::unsetenv("QUILLETEX_MEDIA_ROOT"); }
    std::string add(const std::string& rel) {
        zqtest::makeDirs(dir / rel);
        return dir / rel;
    }
    zqtest::TempDir dir{"media"};
};

TEST(Volumes, TheStoresDriveRule) {
    MediaRoot root;
    const std::string me = login();
    const std::string usb1 = root.add("media/" + me + "/USB1");
    const std::string usb2 = root.add("media/" + me + "/USB2");
    const std::string other = root.add("media/other");
    const std::string x = root.add("run/media/" + me + "/X");
    zqtest::writeFile(root.dir / "media/plain", "not a volume");
    ASSERT_EQ(::symlink(other.c_str(), (root.dir / "media/link").c_str()), 0);
    ASSERT_EQ(::symlink(usb1.c_str(), (root.dir / ("media/" + me + "/zlink")).c_str()), 0);

    std::vector<std::string> dirs{"kept"};
    ASSERT_EQ(CQuilletUtils::GetUSBMountDir(dirs), 0);
    // Appended only; the user's own folder stands for its volumes.
    EXPECT_EQ(dirs, (std::vector<std::string>{"kept", other, usb1, usb2, x}));

    MediaRoot empty;
    dirs.clear();
    EXPECT_EQ(CQuilletUtils::GetUSBMountDir(dirs), -1);
    EXPECT_TRUE(dirs.empty());
    empty.add("media/" + me);  // the user's folder alone is no volume
    EXPECT_EQ(CQuilletUtils::GetUSBMountDir(dirs), -1);
    EXPECT_TRUE(dirs.empty());
}

// The real /media in a mount namespace of its own with a tmpfs over it: on
// Debian the user's /media/<login> holds the volumes and is none itself.
TEST(Volumes, RealMediaUnderAPrivateMount) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::unsetenv("QUILLETEX_MEDIA_ROOT");
        if (unshare(CLONE_NEWNS) != 0) _exit(77);
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(77);
        ::mkdir("/media", 0755);
        if (mount("tmpfs", "/media", "tmpfs", 0, "mode=0755") != 0) _exit(77);
        const std::string mine = "/media/" + login();
        ::mkdir(mine.c_str(), 0700);
        ::mkdir((mine + "/VOL").c_str(), 0700);
        std::vector<std::string> dirs;
        if (CQuilletUtils::GetUSBMountDir(dirs) != 0) _exit(1);
        bool vol = false;
        for (const std::string& d : dirs) {
            if (d == mine) _exit(2);
            if (d == mine + "/VOL") vol = true;
        }
        _exit(vol ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no mount namespace here (needs root)";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1 none offered, 2 /media/<login> offered, 3 VOL missing";
}

class FddChoice : public ::testing::Test {
protected:
    void SetUp() override {
        button = gtk_toggle_button_new();
        g_object_ref_sink(button);
        ClearQuilletUI();
    }
    void TearDown() override {
        gtk_widget_destroy(button);
        g_object_unref(button);
        ClearQuilletUI();
    }
    void click(bool active) {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(button), active);
        on_NPW_radio_fdd_clicked(button, nullptr);
        uitest::pump();
    }
    std::string target() { return GetQuilletUI()->targetUSBVolume; }
    GtkWidget* button = nullptr;
};

TEST_F(FddChoice, OfferedVolumesAndTheUsersAnswer) {
    MediaRoot root;
    const std::string usb1 = root.add("media/" + login() + "/USB1");
    root.add("media/" + login() + "/USB2");
    {
        // OK takes the preselected first row.
        uitest::DialogAnswerer ok(GTK_RESPONSE_OK);
        click(true);
        EXPECT_EQ(target(), usb1);
        EXPECT_EQ(tmpselectedStoreType, 1);
        ASSERT_EQ(ok.seen.size(), 1u);
        EXPECT_EQ(ok.seen[0].title, "이동식 디스크 선택");
    }
    {
        // Cancelled: removable disk without a volume, which the OK handlers
        // refuse.
        uitest::DialogAnswerer cancel(GTK_RESPONSE_CANCEL);
        click(true);
        EXPECT_EQ(target(), "");
        EXPECT_EQ(tmpselectedStoreType, 1);
    }
    // Switched off: back to the hard disk, nothing offered.
    uitest::DialogAnswerer none(GTK_RESPONSE_OK);
    strcpy(GetQuilletUI()->targetUSBVolume, "/stale");
    click(false);
    EXPECT_EQ(target(), "");
    EXPECT_EQ(tmpselectedStoreType, 0);
    EXPECT_TRUE(none.seen.empty());
}

TEST_F(FddChoice, NoVolumeIsTold) {
    MediaRoot root;
    uitest::DialogAnswerer ok(GTK_RESPONSE_OK);
    click(true);
    EXPECT_EQ(target(), "");
    EXPECT_EQ(tmpselectedStoreType, 1);
    ASSERT_EQ(ok.seen.size(), 1u);
    EXPECT_EQ(ok.seen[0].text, "연결된 이동식 디스크 장치가 없습니다.");
    EXPECT_EQ(ok.seen[0].type, GTK_MESSAGE_WARNING);
}

}  // namespace
