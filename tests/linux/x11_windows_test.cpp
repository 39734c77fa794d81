// Other programs' X windows in the window services: the one in front has a
// handle that no window of the service has, names its process, is a window
// while it is on the display and takes nothing the service would send; a
// change of the active window reaches the watching window as its message.
// Without a display, or once it has gone, nothing of it is there and
// nothing fails.
#include "platform/linux/linux_windows.h"
#include "x_desk.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace orv::linux_ {
namespace {

using linux_test::XDesk;

constexpr MsgId kChanged = WM_USER + 7;

class Notices final : public IWindowTarget {
public:
    LResult OnMessage(WndHandle, MsgId msg, WParam, LParam) override {
        count += msg == kChanged ? 1 : 0;
        return 0;
    }
    int count = 0;
};

std::string ExecutableOf(std::uint32_t pid) {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error)
        .filename()
        .string();
}

class X11Windows : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(desk.Start(error)) << error;
        setenv("DISPLAY", desk.Name().c_str(), 1);
        char pattern[] = "/tmp/orv-x11-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        unsetenv("DISPLAY");
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    XDesk desk;
    std::string folder;
};

TEST_F(X11Windows, TheWindowInFrontIsAnotherProgramsAndTakesNoMessage) {
    LinuxWindowSystem windows;
    ASSERT_TRUE(windows.FollowsForeground());
    Notices notices;
    WindowCreateArgs args;
    args.style = WS_POPUP;
    const WndHandle own = windows.CreateWnd(args, &notices);
    ASSERT_NE(own, kNoWindow);
    const std::uint32_t game = desk.StartProgram(ORV_X_PROGRAM, folder, "game");
    ASSERT_NE(game, 0u);

    const WndHandle front = windows.ForegroundWindow();
    ASSERT_NE(front, kNoWindow);
    EXPECT_NE(front, own);
    EXPECT_NE(front, kBroadcast);
    EXPECT_EQ(ExecutableOf(windows.WindowProcessId(front)), "game");
    EXPECT_TRUE(windows.IsWnd(front));
    EXPECT_FALSE(windows.PostMsg(front, WM_USER, 0, 0));
    EXPECT_EQ(windows.SendMsg(front, WM_USER, 0, 0), 0);
    EXPECT_FALSE(windows.SendCopyData(front, own, 1, "x", 1, 100).has_value());
    EXPECT_FALSE(windows.StartTimer(front, 1, 100));
    EXPECT_FALSE(windows.ShowWnd(front, 1));
    EXPECT_FALSE(windows.DestroyWnd(front));
    EXPECT_EQ(windows.ParentOf(front), kNoWindow);
    EXPECT_TRUE(windows.GetTitle(front).empty());
    // The handle of an X window that is not there (ids have 29 bits).
    EXPECT_FALSE(windows.IsWnd((front - game) | 0x1FFFFFFE));

    ASSERT_TRUE(windows.WatchForeground(own, kChanged));
    const std::uint32_t editor = desk.StartProgram(ORV_X_PROGRAM, folder, "editor");
    ASSERT_NE(editor, 0u);
    windows.Pump(200);
    EXPECT_GE(notices.count, 1) << "no notice of the new window in front";
    EXPECT_EQ(ExecutableOf(windows.WindowProcessId(windows.ForegroundWindow())), "editor");

    windows.StopWatchingForeground(own);
    notices.count = 0;
    ASSERT_NE(desk.Activate(game), 0u);
    windows.Pump(200);
    EXPECT_EQ(notices.count, 0);
    EXPECT_EQ(windows.ForegroundWindow(), front);
    windows.DestroyWnd(own);
}

TEST_F(X11Windows, ADisplayThatGoesAwayEndsTheFollowingAndNothingElse) {
    LinuxWindowSystem windows;
    Notices notices;
    WindowCreateArgs args;
    args.style = WS_POPUP;
    const WndHandle own = windows.CreateWnd(args, &notices);
    ASSERT_NE(desk.StartProgram(ORV_X_PROGRAM, folder, "game"), 0u);
    const WndHandle front = windows.ForegroundWindow();
    ASSERT_TRUE(windows.WatchForeground(own, kChanged));

    desk.Stop(); // Xlib's own handling would end this process here
    windows.Pump(300);
    EXPECT_FALSE(windows.FollowsForeground());
    EXPECT_EQ(windows.ForegroundWindow(), kNoWindow);
    EXPECT_FALSE(windows.IsWnd(front));
    EXPECT_EQ(windows.WindowProcessId(front), 0u);
    EXPECT_FALSE(windows.WatchForeground(own, kChanged));
    EXPECT_TRUE(windows.PostMsg(own, WM_USER, 0, 0));
    windows.DestroyWnd(own);
}

// No display named, or none reached.
class NoX11Display : public ::testing::TestWithParam<const char*> {};

TEST_P(NoX11Display, NothingIsFollowedAndNothingFails) {
    if (*GetParam() == '\0')
        unsetenv("DISPLAY");
    else
        setenv("DISPLAY", GetParam(), 1);
    LinuxWindowSystem windows;
    Notices notices;
    WindowCreateArgs args;
    args.style = WS_POPUP;
    const WndHandle own = windows.CreateWnd(args, &notices);
    EXPECT_FALSE(windows.FollowsForeground());
    EXPECT_EQ(windows.ForegroundWindow(), kNoWindow);
    EXPECT_FALSE(windows.WatchForeground(own, kChanged));
    EXPECT_TRUE(windows.IsWnd(own));
    windows.DestroyWnd(own);
    unsetenv("DISPLAY");
}

INSTANTIATE_TEST_SUITE_P(Cases, NoX11Display, ::testing::Values("", ":4093"));

} // namespace
} // namespace orv::linux_
