// Input from outside the service's control: the keyboard's input reports
// (any length, any bytes) and the simulated keyboard's control commands.
// The first byte picks which; the rest is the input, in a buffer of exactly
// its size so that a read past its end is caught.
#include "device/sim/platform_sim_env.h"
#include "device/sim/sim_keyboard.h"
#include "device/usb_driver.h"
#include "platform/host/host_platform.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using namespace orv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static host::HostPlatform* platform = new host::HostPlatform;
    static sim::PlatformSimEnvironment env;
    static sim::SimKeyboard* keyboard = new sim::SimKeyboard(env);
    static host::StandInWindow* main = new host::StandInWindow(platform->windows, u"Orvane_Hid");
    static CUSBDriver* driver = [] {
        InstallHidLibrary(keyboard);
        auto* d = new CUSBDriver;
        d->m_hNotifyWnd = main->Handle();
        d->OpenDevice();
        return d;
    }();
    if (size == 0)
        return 0;

    std::vector<std::uint8_t> input(data + 1, data + size);
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[input.size()]);
    std::copy(input.begin(), input.end(), exact.get());
    if (data[0] & 1) {
        driver->OnInputReport(exact.get(), 0x101, static_cast<std::uint32_t>(input.size()));
    } else {
        sim::RunSimCommand(*keyboard, std::string(input.begin(), input.end()));
    }
    platform->RunUntilIdle();
    platform->windows.posts.clear();
    platform->debug.lines.clear();
    main->received.clear();
    keyboard->ClearEvents();
    return 0;
}
