// The service's automatic slot switch and what it shows: a linked program
// coming to the front switches the keyboard, the on-screen display shows the
// slot (and a display that hangs does not stop the service), and the
// tray-icon program runs once and follows the plug state.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

namespace orv::e2e {
namespace {

constexpr UINT WM_HID_RELOAD = 0x651;
constexpr UINT WM_HID_SET_OPTION = 0x659;
constexpr UINT kTrayQueryPlugged = WM_APP + 1;

// A visible window of this test program, brought to the front: the program
// the user "works with".
class ForegroundWindow {
public:
    ForegroundWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        wc.lpszClassName = L"OrvE2eGame";
        RegisterClassW(&wc);
        m_wnd = CreateWindowExW(0, wc.lpszClassName, L"Game", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50,
                                50, 300, 200, nullptr, nullptr, wc.hInstance, nullptr);
        SetForegroundWindow(m_wnd);
    }
    ~ForegroundWindow() { DestroyWindow(m_wnd); }
    HWND Handle() const { return m_wnd; }
    void Pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }

private:
    HWND m_wnd = nullptr;
};

class ShowsAndSwitches : public FreshDataTest {};

TEST_F(ShowsAndSwitches, LinkedProgramInFrontSwitchesAndTheDisplayShowsTheSlot) {
    // The user wants slot changes shown on screen.
    CreateDirectoryW(DataDir().c_str(), nullptr);
    ASSERT_TRUE(WritePrivateProfileStringW(L"Setting", L"OSD_Profile", L"1",
                                           (DataDir() + L"config.ini").c_str()));
    SimInstall install;
    Process service;
    HWND main = install.StartService(service);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(install.WaitForLog("read id=0102 usage=2 len=264", 5, 30000)); // plug handling done

    // The tray-icon program was started once and shows the keyboard plugged in.
    HWND tray = WaitForWindow(L"Orvane_TrayIcon", 10000);
    ASSERT_NE(tray, nullptr);
    EXPECT_EQ(CountWindows(L"Orvane_TrayIcon"), 1);
    EXPECT_TRUE(Eventually([&] { return SendMessageW(tray, kTrayQueryPlugged, 0, 0) == 1; }));

    // Slot 3's profile links this test program, named in capitals in another folder.
    std::wstring profile3 = DataDir() + L"Profiles\\Profile 3.ini";
    ASSERT_TRUE(WritePrivateProfileStringW(L"GROUP", L"LinkExe2", L"D:\\Games\\ORV_E2E_TESTS.EXE",
                                           profile3.c_str()));
    PostMessageW(main, WM_HID_RELOAD, 0, 0);
    std::size_t before = install.LogLines().size();

    ForegroundWindow game;
    ASSERT_EQ(GetForegroundWindow(), game.Handle());
    // Within one watcher period (2 s) the keyboard is told, then the display shows it.
    bool switched = Eventually(
        [&] {
            game.Pump();
            std::vector<std::string> lines = install.LogLines();
            for (std::size_t i = before; i < lines.size(); ++i)
                if (lines[i].find(" : 0A 03 03 ") != std::string::npos)
                    return true;
            return false;
        },
        5000);
    EXPECT_TRUE(switched);
    HWND osd = WaitForWindow(L"Orvane OSD", 10000, L"On Screen Display");
    ASSERT_NE(osd, nullptr);
    EXPECT_TRUE(Eventually([&] { return IsWindowVisible(osd) != FALSE; }, 5000));
    EXPECT_TRUE(GetWindowLongW(osd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    if (const wchar_t* shot = _wgetenv(L"ORV_SCREENSHOT_PAUSE"))
        Sleep(static_cast<DWORD>(_wtoi(shot))); // time for a look at the display by hand
    wchar_t slot[8] = L"";
    GetPrivateProfileStringW(L"Setting", L"Profile", L"", slot, 8,
                             (DataDir() + L"config.ini").c_str());
    EXPECT_STREQ(slot, L"3");

    // The slot stays linked: no further commands while the program stays in front.
    Sleep(2500);
    game.Pump();
    int slotCommands = 0;
    std::vector<std::string> lines = install.LogLines();
    for (std::size_t i = before; i < lines.size(); ++i)
        slotCommands += lines[i].find(" : 0A 03 ") != std::string::npos;
    EXPECT_EQ(slotCommands, 1);
}

// Whether the keyboard was told to select `slot` after line `from` of its log.
bool SlotCommandSince(const SimInstall& install, std::size_t from, int slot) {
    char command[16];
    std::snprintf(command, sizeof command, " : 0A 03 %02X ", slot);
    std::vector<std::string> lines = install.LogLines();
    for (std::size_t i = from; i < lines.size(); ++i)
        if (lines[i].find(command) != std::string::npos)
            return true;
    return false;
}

TEST_F(ShowsAndSwitches, HungDisplayHoldsUpNeitherTheSlotChangeNorTheService) {
    CreateDirectoryW(DataDir().c_str(), nullptr);
    std::wstring config = DataDir() + L"config.ini";
    ASSERT_TRUE(WritePrivateProfileStringW(L"Setting", L"OSD_Profile", L"1", config.c_str()));
    SimInstall install;
    // A display window that never comes back from the record it is sent.
    std::wstring hungLog = install.Dir() + L"hung.log";
    auto hung = std::make_unique<Process>();
    ASSERT_TRUE(hung->Start(DistDir() + L"tools\\standin.exe", L"\"" + hungLog + L"\" --hung-osd"));
    ASSERT_NE(WaitForWindow(L"Orvane OSD", 10000, L"On Screen Display"), nullptr);
    Process service;
    HWND main = install.StartService(service);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(install.WaitForLog("read id=0102 usage=2 len=264", 5, 30000)); // plug handling done
    UINT sync = RegisterWindowMessageW(L"QUIV_DEV_SYNC");

    std::size_t mark = install.LogLines().size();
    PostMessageW(main, sync, 0, 3);
    ASSERT_TRUE(WaitForLines(hungLog, 1, 10000, CountContaining, "\tOrvane OSD\tWM_COPYDATA\t"));
    // The slot change goes on to its end: the keyboard is told, the slot kept.
    EXPECT_TRUE(Eventually([&] { return SlotCommandSince(install, mark, 3); }, 5000));
    EXPECT_EQ(GetPrivateProfileIntW(L"Setting", L"Profile", -1, config.c_str()), 3);
    // The service takes its next message at once: a polling rate for the keyboard.
    mark = install.LogLines().size();
    PostMessageW(main, WM_HID_SET_OPTION, 0, 2);
    EXPECT_TRUE(Eventually(
        [&] {
            std::vector<std::string> lines = install.LogLines();
            for (std::size_t i = mark; i < lines.size(); ++i)
                if (lines[i].find(" : 07 01 04 ") != std::string::npos)
                    return true;
            return false;
        },
        1000));
    // Another change while the display still hangs.
    mark = install.LogLines().size();
    PostMessageW(main, sync, 0, 4);
    EXPECT_TRUE(Eventually([&] { return SlotCommandSince(install, mark, 4); }, 5000));

    // The hung program is ended and a working display is back: it shows the next change.
    hung.reset();
    ASSERT_TRUE(WaitForNoWindow(L"Orvane OSD", 5000));
    std::wstring shownLog = install.Dir() + L"shown.log";
    Process display;
    ASSERT_TRUE(display.Start(DistDir() + L"tools\\standin.exe", L"\"" + shownLog + L"\" --osd"));
    ASSERT_NE(WaitForWindow(L"Orvane OSD", 10000, L"On Screen Display"), nullptr);
    PostMessageW(main, sync, 0, 5);
    EXPECT_TRUE(WaitForLines(shownLog, 1, 10000, CountContaining,
                             "\tOrvane OSD\tWM_COPYDATA\t0x4A\t0\t1044"));
    EXPECT_EQ(GetPrivateProfileIntW(L"Setting", L"Profile", -1, config.c_str()), 5);
}

} // namespace
} // namespace orv::e2e
