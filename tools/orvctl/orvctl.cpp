// orvctl: a command-line driver for the suite's window messages, used by the
// demo and by hand. It plays the part of the other programs of the suite.
//
//   orvctl find <title>                          exit 0 when the window exists
//   orvctl wait <title> <ms>                     wait for the window to appear
//   orvctl waitgone <title> <ms>                 wait for it to disappear
//   orvctl post <title> <msg> <wParam> <lParam>  post a message (numbers: decimal or 0x..)
//   orvctl close <title> [ms]                    close the window, wait for its process
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

LONG_PTR Number(const wchar_t* text) { return static_cast<LONG_PTR>(wcstoll(text, nullptr, 0)); }

HWND WaitFor(const wchar_t* title, DWORD ms, bool present) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND wnd = FindWindowW(nullptr, title);
        if ((wnd != nullptr) == present || GetTickCount() - start >= ms)
            return wnd;
        Sleep(20);
    }
}

int Usage() {
    fputs("usage: orvctl find|wait|waitgone|post|close <title> ...\n", stderr);
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3)
        return Usage();
    std::wstring command = argv[1];
    const wchar_t* title = argv[2];
    if (command == L"find")
        return FindWindowW(nullptr, title) != nullptr ? 0 : 1;
    if (command == L"wait" && argc >= 4)
        return WaitFor(title, static_cast<DWORD>(Number(argv[3])), true) != nullptr ? 0 : 1;
    if (command == L"waitgone" && argc >= 4)
        return WaitFor(title, static_cast<DWORD>(Number(argv[3])), false) == nullptr ? 0 : 1;
    if (command == L"post" && argc >= 6) {
        HWND wnd = FindWindowW(nullptr, title);
        if (wnd == nullptr)
            return 1;
        return PostMessageW(wnd, static_cast<UINT>(Number(argv[3])),
                            static_cast<WPARAM>(Number(argv[4])), Number(argv[5]))
                   ? 0
                   : 1;
    }
    if (command == L"close") {
        HWND wnd = FindWindowW(nullptr, title);
        if (wnd == nullptr)
            return 1;
        DWORD pid = 0;
        GetWindowThreadProcessId(wnd, &pid);
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
        PostMessageW(wnd, WM_CLOSE, 0, 0);
        DWORD ms = argc >= 4 ? static_cast<DWORD>(Number(argv[3])) : 10000;
        bool ended = process != nullptr && WaitForSingleObject(process, ms) == WAIT_OBJECT_0;
        if (process != nullptr)
            CloseHandle(process);
        return ended ? 0 : 1;
    }
    return Usage();
}
