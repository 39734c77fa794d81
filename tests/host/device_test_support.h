// A device connection talking to the simulated keyboard on the in-memory
// platform, with the main window played by a stand-in that records what it
// is told.
#pragma once

#include "device/hid_library.h"
#include "device/sim/platform_sim_env.h"
#include "device/sim/sim_keyboard.h"
#include "device/usb_driver.h"
#include "messaging/messages.h"
#include "platform/host/host_platform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace orv::testing_device {

using Bytes = std::vector<std::uint8_t>;

// `n` bytes: the given ones, then zeros.
inline Bytes Report(std::initializer_list<std::uint8_t> head, std::size_t n = 8) {
    Bytes bytes(head);
    bytes.resize(std::max(n, bytes.size()), 0);
    return bytes;
}

class DeviceTest : public ::testing::Test {
protected:
    DeviceTest() { InstallHidLibrary(&sim); }
    ~DeviceTest() override { InstallHidLibrary(nullptr); }

    // Opens the connection and lets the arrival notices in.
    void Connect() {
        driver.m_hNotifyWnd = main.Handle();
        ASSERT_TRUE(driver.OpenDevice());
        host.RunUntilIdle();
    }

    // Sends the connection a notice as the library would.
    LResult Notify(std::uint32_t status, std::uint32_t id, std::uint32_t usageWord,
                   std::uint32_t pageWord, WParam wParam = 1) {
        HID_NOTIFY_RECORD record{status, id, usageWord, pageWord};
        return host.windows.SendMsg(driver.GetSafeHwnd(), WM_HID_MONITOR, wParam,
                                    reinterpret_cast<LParam>(&record));
    }

    std::vector<host::MessageRecord> Plugs() const { return main.Received(WM_HID_PLUG); }

    host::HostPlatform host;
    sim::PlatformSimEnvironment env;
    sim::SimKeyboard sim{env};
    host::StandInWindow main{host.windows, u"Orvane_Hid"};
    CUSBDriver driver;
};

} // namespace orv::testing_device
