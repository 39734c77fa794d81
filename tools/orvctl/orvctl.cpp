// orvctl: a command-line driver for the suite's window messages, used by the
// demo and by hand. It plays the part of the other programs of the suite.
//
//   orvctl find <title>                          exit 0 when the window exists
//   orvctl wait <title> <ms>                     wait for the window to appear
//   orvctl waitgone <title> <ms>                 wait for it to disappear
//   orvctl post <title> <msg> <wParam> <lParam>  post a message
//   orvctl post-child <title> <child> <msg> <wParam> <lParam>
//                                                post to a child window of <title>
//   orvctl broadcast <msg> <wParam> <lParam>     post to every top-level window
//   orvctl close <title> [ms]                    close the window, wait for its process
//   orvctl ini-set <file> <section> <key> <value>  write a value as the configuration
//                                                program does (the platform's INI functions)
//   orvctl ini-get <file> <section> <key>        print a value
//
// <msg> is a number (decimal or 0x..), a message name such as WM_HID_UPLOAD,
// or QUIV_DEV_SYNC for the suite's registered message. Exit code 0 on
// success, 1 when the window is missing or the wait timed out.
#include "../common/suite_messages.h"
#include "platform/win32/dll_search.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

LONG_PTR Number(const wchar_t* text) {
    return static_cast<LONG_PTR>(wcstoll(text, nullptr, 0));
}

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
    fputs("usage: orvctl find|wait|waitgone|post|post-child|broadcast|close|ini-set|ini-get ...\n",
          stderr);
    return 2;
}

int Post(HWND wnd, const wchar_t* msg, const wchar_t* wParam, const wchar_t* lParam) {
    UINT id = orv::tools::MessageFromText(msg);
    if (wnd == nullptr || id == 0)
        return 1;
    return PostMessageW(wnd, id, static_cast<WPARAM>(Number(wParam)), Number(lParam)) ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    orv::win32::RestrictDllSearch();
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
    if (command == L"post" && argc >= 6)
        return Post(FindWindowW(nullptr, title), argv[3], argv[4], argv[5]);
    if (command == L"post-child" && argc >= 7) {
        HWND parent = FindWindowW(nullptr, title);
        HWND child = parent ? FindWindowExW(parent, nullptr, nullptr, argv[3]) : nullptr;
        return Post(child, argv[4], argv[5], argv[6]);
    }
    if (command == L"broadcast" && argc >= 5)
        return Post(HWND_BROADCAST, argv[2], argv[3], argv[4]);
    if (command == L"ini-set" && argc >= 6)
        return WritePrivateProfileStringW(argv[3], argv[4], argv[5], argv[2]) ? 0 : 1;
    if (command == L"ini-get" && argc >= 5) {
        wchar_t value[2048] = L"";
        GetPrivateProfileStringW(argv[3], argv[4], L"", value, 2048, argv[2]);
        char utf8[8192];
        WideCharToMultiByte(CP_UTF8, 0, value, -1, utf8, sizeof utf8, nullptr, nullptr);
        std::printf("%s\n", utf8);
        return 0;
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
