// The whole service on the in-memory platform: the application object, the
// simulated keyboard as its device library, and stand-ins for the suite's
// other programs.
#pragma once

#include "app/hid_app.h"
#include "app/hid_wnd.h"
#include "storage/paths.h"
#include "base/wstr.h"
#include "device/hid_library.h"
#include "device/sim/platform_sim_env.h"
#include "device/sim/sim_keyboard.h"
#include "messaging/messages.h"
#include "platform/host/host_platform.h"
#include "storage/profile_file.h"
#include "storage/settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace orv::testing_service {

inline const std::u16string kDataDir = u"C:\\Users\\tester\\AppData\\Roaming\\Orvane\\";

// "0A 03 02 00 00 00 00 00"
inline std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (std::uint8_t b : bytes) {
        char part[4];
        std::snprintf(part, sizeof part, text.empty() ? "%02X" : " %02X", b);
        text += part;
    }
    return text;
}

class ServiceTest : public ::testing::Test {
protected:
    explicit ServiceTest(bool plugged = true) : sim(env, plugged) {
        InstallHidLibrary(&sim);
        host.registry.CreateKey(kRegistryKeyPath);
    }
    ~ServiceTest() override {
        app.ExitInstance();
        InstallHidLibrary(nullptr);
    }

    // Starts the service and lets everything it queued at start-up run.
    void Start() {
        ASSERT_TRUE(app.InitInstance());
        wnd = app.MainWindow();
        host.RunUntilIdle();
    }
    WndHandle Main() const { return wnd->GetSafeHwnd(); }
    SETTING_INFO& Settings() { return wnd->Settings(); }

    // Posts to the main window and runs until the queue is empty.
    void Post(MsgId msg, WParam wParam, LParam lParam) {
        host.windows.PostMsg(Main(), msg, wParam, lParam);
        host.RunUntilIdle();
    }
    void Sync(WParam code, LParam value) { Post(wnd->SyncMessage(), code, value); }
    // A key report of the keyboard as the device connection posts it.
    void KeyEvent(int keyCode, int position, int flag) {
        Post(WM_HID_KEY_EVENT, static_cast<WParam>(keyCode), (flag << 16) + position);
    }

    // Every report written to the keyboard since the last Forget().
    std::vector<std::string> Writes() {
        std::vector<std::string> out;
        for (const auto& e : sim.Events(sim::SimEventKind::Write))
            out.push_back(Hex(e.bytes));
        return out;
    }
    // The broadcasts of the registered message, as (code, value) pairs.
    std::vector<std::pair<WParam, LParam>> Broadcasts() {
        std::vector<std::pair<WParam, LParam>> out;
        for (const host::MessageRecord& r : host.windows.posts) {
            if (r.wnd == kBroadcast && r.msg == wnd->SyncMessage())
                out.emplace_back(r.wParam, r.lParam);
        }
        return out;
    }
    void Forget() {
        sim.ClearEvents();
        host.clock.pauses.clear();
        host.windows.posts.clear();
    }

    std::string FileText(const std::u16string& path) {
        std::string bytes;
        if (host.files->ReadAll(path, bytes) != ReadResult::Ok)
            return "<missing>";
        std::string ascii;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            ascii += bytes[i];
        return ascii;
    }

    host::HostPlatform host;
    sim::PlatformSimEnvironment env;
    sim::SimKeyboard sim;
    CHidApp app;
    CHidWnd* wnd = nullptr;
};

// The configuration program: top-level "Orvane" with its child "Orvane".
struct ConfigStandIn {
    explicit ConfigStandIn(host::HostWindowSystem& windows)
        : top(windows, u"Orvane"), child(windows, u"Orvane", u"", top.Handle()) {}
    host::StandInWindow top;
    host::StandInWindow child;
};

} // namespace orv::testing_service
