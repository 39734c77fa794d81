// One foreground-watcher tick on the real Windows backends: the process
// snapshot walked in order and 30 links compared. Prints the median.
#include "app/hid_app.h"
#include "app/hid_wnd.h"
#include "base/wstr.h"
#include "messaging/messages.h"
#include "platform/platform.h"
#include "platform/win32/win32_platform.h"
#include "storage/profile_file.h"

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

int main() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    orv::win32::InstallWin32Platform();
    orv::CHidApp app;
    if (!app.InitInstance()) {
        std::printf("the service is running already\n");
        return 1;
    }
    orv::CHidWnd* wnd = app.MainWindow();
    for (int slot = 0; slot < 6; ++slot) {
        auto profile = std::make_unique<orv::PROFILE_DATA>();
        std::u16string name = orv::FormatW(u"Profile %d", slot);
        orv::LoadProfileFile(name, *profile);
        for (int link = 0; link < 5; ++link)
            orv::SetFieldText(profile->LinkExe[link],
                              orv::FormatW(u"C:\\Games\\%d\\game%d_%d.exe", slot, slot, link));
        orv::SaveProfileFile(name, *profile);
    }
    orv::Windows().SendMsg(wnd->GetSafeHwnd(), orv::WM_HID_RELOAD, 0, 0);

    // A visible window of this process in front: its entry is looked for.
    HWND front = CreateWindowExW(0, L"STATIC", L"front", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                 200, 100, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(front);
    int processes = 0;
    orv::Processes().ForEachProcess([&](const orv::ProcessEntry&) {
        ++processes;
        return true;
    });

    std::vector<double> ms;
    for (int i = 0; i < 101; ++i) {
        auto start = std::chrono::steady_clock::now();
        wnd->WatchForegroundApp();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "watcher tick, %d processes, 30 links: %.3f ms (median of 101; host target < 1 ms)\n",
        processes, ms[ms.size() / 2]);
    DestroyWindow(front);
    app.ExitInstance();
    return 0;
}
