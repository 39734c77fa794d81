// What a command costs the device connection when no keyboard is present:
// the library's open, as every command makes it while the connection is
// closed (filter, callback, open). Loads each HidDevice.dll named on the
// command line (default: the one in dist/) by its full path and prints the
// median of 200 opens; the listing of the HID collections that the library
// used to make at every open is what this measures against.
#include "device/hid_library.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using SetFilterFn = BOOL(WINAPI*)(const orv::HID_DEVICE_FILTER*, DWORD);
using SetCallbackFn = BOOL(WINAPI*)(orv::HidInputCallback, DWORD);
using OpenFn = BOOL(WINAPI*)(HWND, UINT, DWORD);
using CloseFn = BOOL(WINAPI*)(DWORD);

template <typename Fn> Fn Entry(HMODULE module, WORD ordinal) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(
        GetProcAddress(module, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(ordinal)))));
}

void Measure(const std::wstring& path) {
    HMODULE dll = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (dll == nullptr) {
        std::printf("%ls: not loaded\n", path.c_str());
        return;
    }
    auto setFilter = Entry<SetFilterFn>(dll, 4);
    auto setCallback = Entry<SetCallbackFn>(dll, 5);
    auto open = Entry<OpenFn>(dll, 2);
    auto close = Entry<CloseFn>(dll, 3);
    if (setFilter == nullptr || setCallback == nullptr || open == nullptr || close == nullptr) {
        std::printf("%ls: entry points missing\n", path.c_str());
        return;
    }
    HWND wnd =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    orv::HID_DEVICE_FILTER filter{0x258A, 0x0090, 5, {}};
    for (std::uint32_t i = 0; i < 5; ++i)
        filter.Entries[i] = {1 + i, 0xFF00};
    std::vector<double> us;
    BOOL opened = FALSE;
    for (int i = 0; i < 201; ++i) {
        const auto start = std::chrono::steady_clock::now();
        setFilter(&filter, 0);
        setCallback(nullptr, 0);
        opened = open(wnd, 0x502, 0);
        const auto end = std::chrono::steady_clock::now();
        if (i > 0) // the first open starts the library's threads
            us.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    std::sort(us.begin(), us.end());
    std::printf("%ls: open with no keyboard (result %d): median %.1f us, 90th %.1f us\n",
                path.c_str(), opened, us[us.size() / 2], us[us.size() * 9 / 10]);
    close(0);
    DestroyWindow(wnd);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1) {
        for (int i = 1; i < argc; ++i)
            Measure(argv[i]);
        return 0;
    }
    wchar_t dist[MAX_PATH] = L"";
    const DWORD n = GetEnvironmentVariableW(L"ORV_DIST", dist, MAX_PATH);
    std::wstring dir(dist, n < MAX_PATH ? n : 0);
    if (!dir.empty() && dir.back() != L'\\')
        dir += L'\\';
    Measure(dir + L"HidDevice.dll");
    return 0;
}
