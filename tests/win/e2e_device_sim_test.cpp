// The service's executable with the simulated keyboard beside it: it opens
// the keyboard at start, starts the library over on WM_HID_REOPEN, passes
// the keyboard's reports on from the library's thread, and runs on without
// any library at all.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace orv::e2e {
namespace {

constexpr UINT kReopen = 0x900;
constexpr UINT kFeNotify = 0x460;

class ServiceDevice : public ::testing::Test {
protected:
    void SetUp() override { StopService(); }
};

TEST_F(ServiceDevice, OpensTheKeyboardAtStartAndStartsOverOnRequest) {
    SimInstall install;
    Process service;
    HWND main = install.StartService(service);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(install.WaitForLog("arrive", 5));

    const std::string filter =
        "filter vid=258A pid=0090 count=5 1:FF00 2:FF00 3:FF00 4:FF00 5:FF00";
    std::vector<std::string> lines = install.LogLines();
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[0], filter);
    EXPECT_EQ(lines[1], "callback set");
    EXPECT_EQ(lines[2].substr(0, 9), "open wnd=");
    EXPECT_EQ(lines[2].substr(17), " msg=0502 result=1");
    EXPECT_EQ(lines[3], "arrive id=0101 usage=1 page=FF00");
    EXPECT_EQ(lines[7], "arrive id=0105 usage=5 page=FF00");

    // The request waits behind the five plug notices (3 s each).
    PostMessageW(main, kReopen, 0, 0);
    ASSERT_TRUE(install.WaitForLog("arrive", 10));
    lines = install.LogLines();
    auto at = std::find(lines.begin(), lines.end(), "filter vid=0000 pid=0000 count=0");
    ASSERT_LE(at + 6, lines.end());
    const std::vector<std::string> reopen(at, at + 6);
    const std::vector<std::string> expected = {"filter vid=0000 pid=0000 count=0",
                                               "callback none",
                                               "close",
                                               filter,
                                               "callback set",
                                               lines[2]};
    EXPECT_EQ(reopen, expected);

    // A report from the keyboard reaches the configuration program.
    ConfigStandIn config;
    EXPECT_EQ(SimCommand("report 1 08 FE 06 00 00 00 00 00 00"), 1);
    EXPECT_EQ(ConfigStandIn::WaitFor(kFeNotify, 5000), 1);

    EXPECT_EQ(SimCommand("unplug"), 0);
    EXPECT_TRUE(install.WaitForLog("remove", 5));
    EXPECT_TRUE(service.Running());

    // The library is left open; the service still ends cleanly.
    // It comes after the five plug notices, 3 s each, still in the queue.
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(service.Wait(30000), 0u);
}

TEST_F(ServiceDevice, RunsOnWithoutTheLibrary) {
    SimInstall install;
    ASSERT_TRUE(DeleteFileW((install.Dir() + L"HidDevice.dll").c_str()));
    Process service;
    HWND main = install.StartService(service);
    ASSERT_NE(main, nullptr);
    PostMessageW(main, kReopen, 0, 0);
    Sleep(300);
    EXPECT_TRUE(service.Running());
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(service.Wait(5000), 0u);
}

} // namespace
} // namespace orv::e2e
