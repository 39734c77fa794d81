// Shortcuts, program starts and the process snapshot on the real Windows backends.
#include "e2e_support.h"
#include "messaging/launcher.h"
#include "platform/platform.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <string>

namespace orv {
namespace {

using e2e::ExeDir;
using e2e::MakeShellLink;

class Win32Launch : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        win32::InstallWin32Platform();
    }
};

TEST_F(Win32Launch, ShellShortcutResolvesAndItsTargetStarts) {
    // The tray-icon program opens a window of its own without arguments.
    std::wstring target = ExeDir() + L"traystub.exe";
    ASSERT_TRUE(CopyFileW((std::wstring(_wgetenv(L"ORV_DIST")) + L"\\traystub.exe").c_str(),
                          target.c_str(), FALSE));
    std::wstring link = ExeDir() + L"tray shortcut.lnk";
    ASSERT_TRUE(MakeShellLink(link, target));

    std::u16string resolved;
    ASSERT_TRUE(ResolveShortcut(win32::U16(link), resolved));
    EXPECT_EQ(win32::W(resolved), target);

    std::u16string plain;
    EXPECT_FALSE(ResolveShortcut(win32::U16(target), plain)); // a program is no shortcut
    EXPECT_TRUE(plain.empty());

    LaunchPath(win32::U16(link));
    HWND started = nullptr;
    for (int i = 0; i < 250 && started == nullptr; ++i, Sleep(20))
        started = FindWindowW(nullptr, L"Orvane_TrayIcon");
    ASSERT_NE(started, nullptr);
    PostMessageW(started, WM_CLOSE, 0, 0);
}

TEST_F(Win32Launch, SnapshotListsThisProcess) {
    bool found = false;
    EXPECT_TRUE(Processes().ForEachProcess([&](const ProcessEntry& entry) {
        if (entry.processId == GetCurrentProcessId()) {
            found = true;
            EXPECT_EQ(entry.exeFile, u"orv_win_unit_tests.exe");
            return false;
        }
        return true;
    }));
    EXPECT_TRUE(found);
}

} // namespace
} // namespace orv
