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

// Stands in for the configuration program: a top-level window "Orvane" with
// a child "Orvane" that records the messages it is posted.
class ConfigWindow {
public:
    ConfigWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"OrvE2eConfig";
        RegisterClassW(&wc);
        m_top = CreateWindowExW(0, wc.lpszClassName, L"Orvane", WS_POPUP, 0, 0, 1, 1, nullptr,
                                nullptr, wc.hInstance, nullptr);
        m_child = CreateWindowExW(0, wc.lpszClassName, L"Orvane", WS_CHILD, 0, 0, 1, 1, m_top,
                                  nullptr, wc.hInstance, nullptr);
        s_received.clear();
    }
    ~ConfigWindow() { DestroyWindow(m_top); }

    // Delivers messages until the child has received `msg`; its wParam, or -1.
    static long WaitFor(UINT msg, DWORD ms) {
        DWORD start = GetTickCount();
        for (;;) {
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&m);
            for (const MSG& r : s_received) {
                if (r.message == msg)
                    return static_cast<long>(r.wParam);
            }
            if (GetTickCount() - start >= ms)
                return -1;
            Sleep(10);
        }
    }

private:
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg >= WM_USER && GetParent(wnd) != nullptr)
            s_received.push_back(MSG{wnd, msg, wParam, lParam, 0, {}});
        return DefWindowProcW(wnd, msg, wParam, lParam);
    }

    static inline std::vector<MSG> s_received;
    HWND m_top = nullptr;
    HWND m_child = nullptr;
};

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
    ConfigWindow config;
    EXPECT_EQ(SimCommand("report 1 08 FE 06 00 00 00 00 00 00"), 1);
    EXPECT_EQ(ConfigWindow::WaitFor(kFeNotify, 5000), 1);

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
