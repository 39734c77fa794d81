// The suite's small programs shipped in dist/ and the stand-ins in dist/tools/.
#include "e2e_support.h"
#include "messaging/osd_record.h"

#include <gtest/gtest.h>

#include <cstring>

namespace orv::e2e {
namespace {

OSD_DATA MakeRecord(const wchar_t* text, DWORD color) {
    OSD_DATA data{};
    std::memcpy(data.Text, text, wcslen(text) * sizeof(wchar_t));
    data.Param1 = 1500;
    data.TextColor = color;
    data.Param4 = 40;
    std::memcpy(data.FontName, L"Arial", 5 * sizeof(wchar_t));
    return data;
}

LRESULT SendRecord(HWND wnd, const void* data, DWORD size) {
    COPYDATASTRUCT block{0, size, const_cast<void*>(data)};
    DWORD_PTR result = 0;
    SendMessageTimeoutW(wnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&block), SMTO_ABORTIFHUNG,
                        5000, &result);
    return static_cast<LRESULT>(result);
}

TEST(OsdView, ShowsARecordTopMostThenHidesAndEndsOnPostedDestroy) {
    Process osd;
    ASSERT_TRUE(osd.Start(DistDir() + L"osdview.exe"));
    HWND wnd = WaitForWindow(L"Orvane OSD", 10000, L"On Screen Display");
    ASSERT_NE(wnd, nullptr);
    EXPECT_FALSE(IsWindowVisible(wnd));

    Process second;
    ASSERT_TRUE(second.Start(DistDir() + L"osdview.exe"));
    EXPECT_EQ(second.Wait(5000), 0u);
    EXPECT_EQ(CountWindows(L"Orvane OSD"), 1);

    char shortRecord[100] = {};
    EXPECT_EQ(SendRecord(wnd, shortRecord, sizeof shortRecord), FALSE);
    EXPECT_FALSE(IsWindowVisible(wnd));

    OSD_DATA record = MakeRecord(L"Profile 3", 0x000000FF);
    EXPECT_EQ(SendRecord(wnd, &record, sizeof record), TRUE);
    EXPECT_TRUE(IsWindowVisible(wnd));
    EXPECT_TRUE(GetWindowLongW(wnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    // It hides itself once the record's 1500 ms are over.
    EXPECT_TRUE(Eventually([&] { return IsWindowVisible(wnd) == FALSE; }, 6000));

    PostMessageW(wnd, WM_DESTROY, 0, 0);
    EXPECT_EQ(osd.Wait(5000), 0u);
}

// Posted notices are handled after sent queries, so wait for the state to follow.
bool WaitForPlugState(HWND tray, LRESULT wanted) {
    constexpr UINT kQueryPlugged = WM_APP + 1;
    for (int i = 0; i < 100; ++i) {
        if (SendMessageW(tray, kQueryPlugged, 0, 0) == wanted)
            return true;
        Sleep(20);
    }
    return false;
}

TEST(TrayStub, FollowsPlugNoticesAndEndsOnClose) {
    Process tray;
    ASSERT_TRUE(tray.Start(DistDir() + L"traystub.exe"));
    HWND wnd = WaitForWindow(L"Orvane_TrayIcon", 10000);
    ASSERT_NE(wnd, nullptr);
    EXPECT_TRUE(WaitForPlugState(wnd, 0));

    PostMessageW(wnd, 0x5401, 1, 0);
    EXPECT_TRUE(WaitForPlugState(wnd, 1));
    PostMessageW(wnd, 0x5401, 0, 0);
    EXPECT_TRUE(WaitForPlugState(wnd, 0));

    Process second;
    ASSERT_TRUE(second.Start(DistDir() + L"traystub.exe"));
    EXPECT_EQ(second.Wait(5000), 0u);
    EXPECT_EQ(CountWindows(L"Orvane_TrayIcon"), 1);

    PostMessageW(wnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(tray.Wait(5000), 0u);
}

TEST(StandIn, LogsTheSuitesMessagesAndClosesOnRequest) {
    std::wstring log = AppDataDir() + L"\\standin-test.log";
    DeleteFileW(log.c_str());
    Process standin;
    ASSERT_TRUE(standin.Start(DistDir() + L"tools\\standin.exe",
                              L"\"" + log + L"\" --config --title DLGLoading"));
    // The windows open in command-line order: the last one up means all are.
    HWND loading = WaitForWindow(L"DLGLoading", 10000);
    ASSERT_NE(loading, nullptr);
    HWND config = FindWindowW(nullptr, L"Orvane");
    ASSERT_NE(config, nullptr);
    HWND child = FindWindowExW(config, nullptr, nullptr, L"Orvane");
    ASSERT_NE(child, nullptr);

    UINT sync = RegisterWindowMessageW(L"QUIV_DEV_SYNC");
    SendMessageW(child, 0x658, 0, 3);
    SendMessageW(config, sync, 2, -1);
    SendMessageW(loading, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitForNoWindow(L"DLGLoading", 5000));

    std::string text = ReadFileBytes(log);
    EXPECT_NE(text.find("\tOrvane/Orvane\tWM_HID_SET_SLOT\t0x658\t0\t3\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("\tOrvane\tQUIV_DEV_SYNC\t"), std::string::npos) << text;
    EXPECT_NE(text.find("\t2\t-1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\tDLGLoading\tWM_CLOSE\t0x10\t0\t0\n"), std::string::npos) << text;
}

} // namespace
} // namespace orv::e2e
