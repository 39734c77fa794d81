// The service core's own costs on the host, apart from the keyboard's fixed
// pauses (which the virtual clock lets pass at once):
//  - an input report from the library's callback to the message it posts;
//  - an upload of a profile with 10 macros, against the sum of its pauses;
//  - one foreground-watcher tick over 300 processes and 30 links.
#include "app/hid_app.h"
#include "app/hid_wnd.h"
#include "base/wstr.h"
#include "device/sim/platform_sim_env.h"
#include "device/sim/sim_keyboard.h"
#include "messaging/messages.h"
#include "platform/host/host_platform.h"
#include "storage/profile_file.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <numeric>

namespace orv {
namespace {

// The whole service on the in-memory platform with the simulated keyboard.
struct Service {
    Service() {
        InstallHidLibrary(&sim);
        host.registry.CreateKey(u"SOFTWARE\\Orvane");
        app.InitInstance();
        wnd = app.MainWindow();
        host.RunUntilIdle();
    }
    ~Service() {
        app.ExitInstance();
        InstallHidLibrary(nullptr);
    }
    host::HostPlatform host;
    sim::PlatformSimEnvironment env;
    sim::SimKeyboard sim{env};
    CHidApp app;
    CHidWnd* wnd = nullptr;
};

void BM_InputReportToPost(benchmark::State& state) {
    Service service;
    host::StandInWindow config(service.host.windows, u"Orvane");
    host::StandInWindow child(service.host.windows, u"Orvane", u"", config.Handle());
    const std::uint8_t keyReport[9] = {0x08, 0x1C, 0x01, 0x04, 0, 0, 0, 0, 0};
    const std::uint8_t stateReport[9] = {0x08, 0xFE, 0x06, 0, 0, 0, 0, 0, 0};
    bool key = true;
    for (auto _ : state) {
        // The key report posts to the main window; the state report looks up
        // the configuration program's window and posts to it.
        CUSBDriver::InputReportCallback(0x0101, key ? keyReport : stateReport, 9);
        key = !key;
        state.PauseTiming();
        service.host.windows.posts.clear();
        service.host.debug.lines.clear();
        service.host.windows.RunUntilIdle();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_InputReportToPost)->Unit(benchmark::kMicrosecond);

void BM_UploadOverheadTenMacros(benchmark::State& state) {
    Service service;
    service.host.windows.SendMsg(service.wnd->GetSafeHwnd(), service.wnd->SyncMessage(), 0, 2);
    auto profile = std::make_unique<PROFILE_DATA>();
    ResetProfileDefaults(*profile, true, 2);
    for (int key = 0; key < 10; ++key)
        profile->Buttons[key].FunctionCode = 600 + key;
    profile->Light.Effect = 19;
    SaveProfileFile(u"Profile 2", *profile);
    service.host.windows.SendMsg(service.wnd->GetSafeHwnd(), WM_HID_SHOW_PROGRESS, 0, 0);

    double pausedMs = 0;
    double workMs = 0;
    for (auto _ : state) {
        service.host.clock.pauses.clear();
        auto start = std::chrono::steady_clock::now();
        service.host.windows.SendMsg(service.wnd->GetSafeHwnd(), WM_HID_UPLOAD, 1, 1);
        workMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        state.PauseTiming();
        pausedMs = std::accumulate(service.host.clock.pauses.begin(),
                                   service.host.clock.pauses.end(), 0.0);
        service.sim.ClearEvents();
        service.host.windows.SendMsg(service.wnd->GetSafeHwnd(), WM_HID_SHOW_PROGRESS, 0, 0);
        state.ResumeTiming();
    }
    state.counters["fixed_pauses_ms"] = pausedMs;
    // The work of one upload beside its fixed pauses, in percent: what the
    // service adds to what the keyboard protocol itself takes.
    state.counters["overhead_pct"] = 100.0 * workMs / state.iterations() / pausedMs;
}
BENCHMARK(BM_UploadOverheadTenMacros)->Unit(benchmark::kMillisecond);

void BM_WatcherTick300Processes30Links(benchmark::State& state) {
    Service service;
    // Six slots of five links each; none matches, so every link is compared.
    for (int slot = 0; slot < 6; ++slot) {
        auto profile = std::make_unique<PROFILE_DATA>();
        std::u16string name = FormatW(u"Profile %d", slot);
        LoadProfileFile(name, *profile);
        for (int link = 0; link < 5; ++link)
            SetFieldText(
                profile->LinkExe[link],
                FormatW(u"C:\\Program Files\\Game %d\\bin\\game%d_%d.exe", slot, slot, link));
        SaveProfileFile(name, *profile);
    }
    service.host.windows.SendMsg(service.wnd->GetSafeHwnd(), WM_HID_RELOAD, 0, 0);
    host::StandInWindow front(service.host.windows, u"front");
    service.host.windows.foreground = front.Handle();
    service.host.windows.windowProcess[front.Handle()] = 300; // the last entry
    for (std::uint32_t pid = 1; pid <= 300; ++pid)
        service.host.processes.processes.push_back({pid, FormatW(u"process%d.exe", pid)});
    for (auto _ : state)
        service.wnd->WatchForegroundApp();
}
BENCHMARK(BM_WatcherTick300Processes30Links)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace orv
