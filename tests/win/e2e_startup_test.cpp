// The real service under Wine: start-up, single instance and orderly end.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orv::e2e {
namespace {

class ServiceStartup : public FreshDataTest {
protected:
    void TearDown() override { StopService(); }

    std::wstring Exe() { return DistDir() + L"OrvaneHid.exe"; }
};

TEST_F(ServiceStartup, FirstStartCreatesDataFolderAndHiddenWindow) {
    Process service;
    ASSERT_TRUE(service.Start(Exe()));
    HWND wnd = WaitForWindow(L"Orvane_Hid", 10000);
    ASSERT_NE(wnd, nullptr);
    EXPECT_TRUE(IsDirectory(DataDir()));
    EXPECT_FALSE(IsWindowVisible(wnd));
    EXPECT_EQ(GetWindowLongW(wnd, GWL_STYLE) & WS_POPUP, static_cast<LONG>(WS_POPUP));
    RECT rect;
    GetWindowRect(wnd, &rect);
    EXPECT_EQ(rect.right - rect.left, 1);
    EXPECT_EQ(rect.bottom - rect.top, 1);
    EXPECT_TRUE(service.Running());
}

TEST_F(ServiceStartup, SecondStartEndsAtOnceAndCreatesNothing) {
    Process first;
    ASSERT_TRUE(first.Start(Exe()));
    ASSERT_NE(WaitForWindow(L"Orvane_Hid", 10000), nullptr);
    // The window exists while it is still being created: wait until the first
    // start has written its last default profile.
    for (int i = 0; i < 500 && !PathExists(DataDir() + L"Profiles\\Profile 5.ini"); ++i)
        Sleep(20);
    Sleep(500);
    ASSERT_TRUE(RemoveTree(DataDir()));

    Process second;
    ASSERT_TRUE(second.Start(Exe()));
    EXPECT_EQ(second.Wait(5000), 0u);
    EXPECT_FALSE(PathExists(DataDir()));
    EXPECT_EQ(CountWindows(L"Orvane_Hid"), 1);
    EXPECT_TRUE(first.Running());
}

TEST_F(ServiceStartup, ClosingTheWindowEndsTheProcessAndReleasesTheMutex) {
    Process service;
    ASSERT_TRUE(service.Start(Exe()));
    HWND wnd = WaitForWindow(L"Orvane_Hid", 10000);
    ASSERT_NE(wnd, nullptr);

    PostMessageW(wnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(service.Wait(5000), 0u);
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, L"Orvane_Hid_MUTEX");
    EXPECT_EQ(mutex, nullptr);
    if (mutex != nullptr)
        CloseHandle(mutex);

    Process again;
    ASSERT_TRUE(again.Start(Exe()));
    EXPECT_NE(WaitForWindow(L"Orvane_Hid", 10000), nullptr);
    EXPECT_TRUE(again.Running());
}

// A slot named with a character no file name may have never gets a file.
// That is no first start: the files of the other slots keep what the user
// put in them, start after start.
TEST_F(ServiceStartup, ProfileNameThatNamesNoFileLeavesTheOtherProfilesAlone) {
    auto runOnce = [this] {
        Process service;
        ASSERT_TRUE(service.Start(Exe()));
        ASSERT_NE(WaitForWindow(L"Orvane_Hid", 10000), nullptr);
        StopService(); // handled once the window's creation has run its course
        EXPECT_EQ(service.Wait(5000), 0u);
    };
    runOnce();
    const std::wstring profiles = DataDir() + L"Profiles\\";
    std::vector<std::string> before;
    for (int slot = 0; slot < 6; ++slot) {
        std::wstring file = profiles + L"Profile " + std::to_wstring(slot) + L".ini";
        ASSERT_TRUE(WritePrivateProfileStringW(
            L"GROUP", L"LinkExe0", (L"C:\\Games\\game" + std::to_wstring(slot) + L".exe").c_str(),
            file.c_str()));
        before.push_back(ReadFileBytes(file));
    }
    ASSERT_TRUE(WritePrivateProfileStringW(L"MyXlistIconInfo0", L"ProfileName", L"Best?",
                                           (DataDir() + L"config.ini").c_str()));

    runOnce();
    runOnce();
    for (int slot = 0; slot < 6; ++slot)
        EXPECT_EQ(ReadFileBytes(profiles + L"Profile " + std::to_wstring(slot) + L".ini"),
                  before[slot])
            << slot;
    EXPECT_FALSE(PathExists(DataDir() + L"Profiles.new"));
}

} // namespace
} // namespace orv::e2e
