// From a foreground change to the slot command reaching the keyboard: the
// service from dist/ on the simulated keyboard, a linked program brought to
// the front again and again, the time taken from the keyboard's log. Beside
// it the same for the service that switches on the watcher's tick alone
// (orv_timer_only_service, built beside this program). Prints median and
// worst of each.
#include "e2e_support.h"
#include "foreground_figures.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace orv::e2e;

constexpr UINT WM_HID_RELOAD = 0x651;
constexpr int kChanges = 24;

// Milliseconds per change; empty when the run did not get through.
std::vector<long> Measure(bool timerOnly) {
    StopService();
    RemoveTree(DataDir());
    SimInstall install;
    if (timerOnly && !CopyFileW((ExeDir() + L"orv_timer_only_service.exe").c_str(),
                                install.Exe().c_str(), FALSE))
        return {};
    Process service;
    HWND main = install.StartService(service);
    if (main == nullptr || !install.WaitForLog("read id=0102 usage=2 len=264", 5, 30000)) {
        std::printf("  the service did not start or found no keyboard\n");
        return {};
    }
    // The programs come up (each takes the front as it opens) before any is
    // linked, and the desk is in front when the links are read.
    // After the install: they end before its folder is removed.
    ShownProgram desk, race, kart;
    if (!desk.Start(install.Dir(), L"desk.exe", L"Orv bench desk") ||
        !race.Start(install.Dir(), L"race.exe", L"Orv bench race") ||
        !kart.Start(install.Dir(), L"kart.exe", L"Orv bench kart") || desk.BringToFront() == 0) {
        std::printf("  the linked programs did not start or come to the front\n");
        return {};
    }
    for (auto [slot, link] : {std::pair{2, L"D:\\Games\\race.exe"}, {4, L"E:\\kart.exe"}}) {
        std::wstring profile = DataDir() + L"Profiles\\Profile " + std::to_wstring(slot) + L".ini";
        WritePrivateProfileStringW(L"GROUP", L"LinkExe0", link, profile.c_str());
    }
    SendMessageW(main, WM_HID_RELOAD, 0, 0);
    Sleep(500);

    std::vector<long> ms;
    std::uint32_t seed = 16;
    for (int i = 0; i < kChanges; ++i) {
        const ShownProgram& program = i % 2 == 0 ? race : kart;
        const int slot = i % 2 == 0 ? 2 : 4;
        std::size_t from = install.LogSize();
        DWORD changed = program.BringToFront();
        DWORD commanded = install.WaitForSlotCommand(from, slot, 5000);
        if (changed == 0 || commanded == 0) {
            std::printf("  change %d: %s\n", i,
                        changed == 0 ? "not in front" : "no slot command within 5 s");
            return {};
        }
        ms.push_back(static_cast<long>(commanded - changed));
        Sleep(orv::bench::NextPauseMs(seed));
    }
    return ms;
}

} // namespace

// The look's cost: one GetForegroundWindow, in microseconds (mean of many).
double LookMicroseconds() {
    constexpr int kCalls = 20000;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < kCalls; ++i)
        GetForegroundWindow();
    QueryPerformanceCounter(&end);
    return 1e6 * static_cast<double>(end.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart) / kCalls;
}

int main() {
    std::printf("foreground change to slot command on the keyboard\n");
    std::printf("  one look at the foreground handle: %.2f us\n", LookMicroseconds());
    std::vector<long> followed = Measure(false);
    std::vector<long> timerOnly = Measure(true);
    orv::bench::PrintLatencies("  the service (settle and look)", followed);
    orv::bench::PrintLatencies("  the watcher's tick alone     ", timerOnly);
    std::printf("  target: median under 300 ms\n");
    // The next timing programs start from a prefix without a service or its data.
    StopService();
    RemoveTree(DataDir());
    return followed.empty() || timerOnly.empty() ? 1 : 0;
}
