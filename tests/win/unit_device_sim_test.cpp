// The device connection on the Windows backends, talking to the simulated
// HidDevice.dll from dist/sim through the loader: plug notices, commands as
// the simulator logs them, and input reports from the library's own thread.
#include "device/usb_driver.h"
#include "messaging/messages.h"
#include "platform/win32/win32_hid_library.h"
#include "platform/win32/win32_platform.h"
#include "unit_device_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace orv {
namespace {

using namespace wintest;

class SimLibrary : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        win32::InstallWin32Platform();
        s_library = win32::LoadHidLibrary(U16(DistDir() + L"sim\\HidDevice.dll")).release();
    }

    void SetUp() override {
        InstallHidLibrary(s_library);
        // Any entry point makes sure the control window is up.
        HidLibrary().Close(0);
        ASSERT_EQ(SimCommand("log " + std::string(m_log.begin(), m_log.end())), 0);
        ASSERT_EQ(SimCommand("unplug"), 0);
        driver.m_hNotifyWnd = main.GetSafeHwnd();
    }
    void TearDown() override {
        SimCommand("log");
        DeleteFileW(m_log.c_str());
        InstallHidLibrary(nullptr);
    }

    std::string Log() { return ReadText(m_log); }
    // Plugs the keyboard in and waits for its five collections.
    void PlugIn() {
        ASSERT_EQ(SimCommand("plug"), 0);
        driver.OpenDevice();
        ASSERT_TRUE(PumpUntil([&] { return driver.m_DeviceList.size() == 5; }));
    }

    static IHidLibrary* s_library;
    std::wstring m_log = TempPath(L"orv_unit_sim.log");
    RecordingWnd main;
    CUSBDriver driver;
};

IHidLibrary* SimLibrary::s_library = nullptr;

TEST_F(SimLibrary, PlugInPostsFiveNoticesAndUnplugOne) {
    EXPECT_FALSE(driver.OpenDevice()); // nothing plugged in yet
    ASSERT_EQ(SimCommand("plug"), 0);
    ASSERT_TRUE(PumpUntil([&] { return main.Received(WM_HID_PLUG).size() == 5; }));
    for (const Posted& p : main.Received(WM_HID_PLUG)) {
        EXPECT_EQ(p.wParam, 0u);
        EXPECT_EQ(p.lParam, 1);
    }
    EXPECT_EQ(driver.m_bOpened, 1);

    ASSERT_EQ(SimCommand("unplug"), 0);
    ASSERT_TRUE(PumpUntil([&] { return driver.m_DeviceList.empty(); }));
    PumpUntil([] { return false; }, 100);
    auto plugs = main.Received(WM_HID_PLUG);
    ASSERT_EQ(plugs.size(), 6u);
    EXPECT_EQ(plugs[5].lParam, 0);
    EXPECT_EQ(driver.m_bOpened, 0);
}

TEST_F(SimLibrary, CommandsAppearByteForByteInTheSimulatorsLog) {
    PlugIn();
    char id[8];
    snprintf(id, sizeof id, "%04X", driver.GetDeviceIdByUsage(2));

    EXPECT_EQ(driver.SetPollingRate(2), 0);
    EXPECT_EQ(driver.SetDeviceSlot(4), 0);
    ASSERT_EQ(SimCommand("sixforzero on"), 0);
    EXPECT_EQ(SimCommand("get slot"), 4);
    ASSERT_EQ(SimCommand("slot 0"), 0);
    std::uint8_t slot = 9;
    EXPECT_EQ(driver.GetDeviceSlot(slot), 0);
    EXPECT_EQ(slot, 0);

    const std::string log = Log();
    const std::string prefix = std::string(" write id=") + id + " usage=2 len=8 result=1 report=";
    EXPECT_NE(log.find(prefix + "polling-rate : 07 01 04 00 00 00 00 00\r\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find(prefix + "select-slot : 0A 03 04 00 00 00 00 00\r\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find(std::string(" read id=") + id +
                       " usage=2 len=264 result=1 report=slot-query : 07 81 06 00"),
              std::string::npos)
        << log;

    ASSERT_EQ(SimCommand("fail"), 0);
    EXPECT_EQ(driver.SetKeyMode(1), 1);
    EXPECT_NE(Log().find(std::string(" write id=") + id +
                         " usage=2 len=8 result=0 report=key-mode : 07 11 01 00 00 00 00 00"),
              std::string::npos);
}

TEST_F(SimLibrary, InputReportsArriveFromTheLibrarysThread) {
    PlugIn();
    EXPECT_EQ(SimCommand("report 1 08 2C 01 04 00 00 00 00 00"), 1);
    ASSERT_TRUE(PumpUntil([&] { return !main.Received(WM_HID_KEY_EVENT).empty(); }));
    const Posted key = main.Received(WM_HID_KEY_EVENT)[0];
    EXPECT_EQ(key.wParam, 4u);
    EXPECT_EQ(key.lParam, 0x0001002C);

    // Once the callback is withdrawn, reports go nowhere.
    HidLibrary().SetCallback(nullptr, 0);
    EXPECT_EQ(SimCommand("report 1 08 2C 00 04 00 00 00 00 00"), 0);
}

TEST(HidLibraryLoader, OnlyAFullPathIsLoaded) {
    // The library lies in the current folder, where a search would find it.
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW((DistDir() + L"sim").c_str()));
    HID_DEVICE_FILTER filter{};
    for (const char16_t* path : {u"HidDevice.dll", u".\\HidDevice.dll"}) {
        auto library = win32::LoadHidLibrary(path);
        EXPECT_EQ(library->SetFilter(&filter, 0), 0);
    }
    SetCurrentDirectoryW(previous);
    auto full = win32::LoadHidLibrary(U16(DistDir() + L"sim\\HidDevice.dll"));
    EXPECT_NE(full->SetFilter(&filter, 0), 0);
}

TEST(HidLibraryLoader, MissingLibraryOpensNothing) {
    win32::InstallWin32Platform();
    auto missing = win32::LoadHidLibrary(u"C:\\nowhere\\HidDevice.dll");
    InstallHidLibrary(missing.get());
    {
        CUSBDriver driver;
        EXPECT_FALSE(driver.OpenDevice());
        EXPECT_EQ(driver.SetPollingRate(1), 1);
        std::uint8_t a = 0, b = 0;
        EXPECT_EQ(driver.GetDeviceSlot(a), 1);
        (void)b;
    }
    InstallHidLibrary(nullptr);
}

} // namespace
} // namespace orv
