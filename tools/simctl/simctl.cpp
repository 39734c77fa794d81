// simctl: drives the simulated keyboard of dist/sim/HidDevice.dll from the
// command line, through its control window (see docs/sim-keyboard.md).
//
//   simctl [--wait <ms>] <command> [arguments...]
//
// The words after the options form one command, e.g.
//   simctl unplug
//   simctl report 1 08 2C 01 04 00 00 00 00 00
//   simctl get slot
// Prints the command's value. Exit code: 0 done, 1 command refused,
// 2 no simulated keyboard running (within the wait, default 0 ms).
#include "platform/win32/dll_search.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr ULONG_PTR kControlDataId = 0x4B4D4953; // "SIMK"

int Usage() {
    fputs("usage: simctl [--wait <ms>] plug|unplug|report|version|slot|sixforzero|fail|get|log "
          "...\n",
          stderr);
    return 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    orv::win32::RestrictDllSearch();
    int first = 1;
    DWORD wait = 0;
    if (argc >= 3 && std::wstring(argv[1]) == L"--wait") {
        wait = static_cast<DWORD>(wcstoul(argv[2], nullptr, 0));
        first = 3;
    }
    if (first >= argc)
        return Usage();

    std::wstring wide;
    for (int i = first; i < argc; ++i) {
        if (i > first)
            wide += L' ';
        wide += argv[i];
    }
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string command(n > 0 ? n : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), command.data(), n,
                        nullptr, nullptr);

    DWORD start = GetTickCount();
    HWND wnd;
    while ((wnd = FindWindowW(L"OrvSimKeyboard", L"OrvaneSimKeyboard")) == nullptr) {
        if (GetTickCount() - start >= wait) {
            fputs("simctl: no simulated keyboard is running\n", stderr);
            return 2;
        }
        Sleep(20);
    }
    COPYDATASTRUCT data{kControlDataId, static_cast<DWORD>(command.size()), command.data()};
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(wnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                             10000, &result)) {
        fputs("simctl: the simulated keyboard did not answer\n", stderr);
        return 2;
    }
    const LONG_PTR value = static_cast<LONG_PTR>(result);
    if (value < 0) {
        fputs("simctl: command refused\n", stderr);
        return 1;
    }
    printf("%lld\n", static_cast<long long>(value));
    return 0;
}
