// The low-level verbs of orvctl on Windows: a driver of the suite's window
// messages and of config.ini as the configuration program writes it, used
// by the demo and the end-to-end tests to play the suite's other programs.
//
//   find <title>                          exit 0 when the window exists
//   wait <title> <ms>                     wait for the window to appear
//   waitgone <title> <ms>                 wait for it to disappear
//   post <title> <msg> <wParam> <lParam>  post a message
//   post-child <title> <child> <msg> <wParam> <lParam>
//   broadcast <msg> <wParam> <lParam>     post to every top-level window
//   close <title> [ms]                    close the window, wait for its process
//   ini-set <file> <section> <key> <value>
//   ini-get <file> <section> <key>
//
// Exit code 0 on success, 1 when the window is missing or the wait timed
// out, 2 when the arguments do not fit.
#include "../common/suite_messages.h"
#include "service_link.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace orv::ctl {
namespace {

std::wstring Wide(const std::string& text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

LONG_PTR Number(const std::wstring& text) {
    return static_cast<LONG_PTR>(wcstoll(text.c_str(), nullptr, 0));
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

int Post(HWND wnd, const std::wstring& msg, const std::wstring& wParam,
         const std::wstring& lParam) {
    UINT id = orv::tools::MessageFromText(msg.c_str());
    if (wnd == nullptr || id == 0)
        return 1;
    return PostMessageW(wnd, id, static_cast<WPARAM>(Number(wParam)), Number(lParam)) ? 0 : 1;
}

int Close(const wchar_t* title, DWORD ms) {
    HWND wnd = FindWindowW(nullptr, title);
    if (wnd == nullptr)
        return 1;
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    PostMessageW(wnd, WM_CLOSE, 0, 0);
    bool ended = process != nullptr && WaitForSingleObject(process, ms) == WAIT_OBJECT_0;
    if (process != nullptr)
        CloseHandle(process);
    return ended ? 0 : 1;
}

int IniGet(const std::wstring& file, const std::wstring& section, const std::wstring& key) {
    wchar_t value[2048] = L"";
    GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", value, 2048, file.c_str());
    char utf8[8192];
    WideCharToMultiByte(CP_UTF8, 0, value, -1, utf8, sizeof utf8, nullptr, nullptr);
    std::printf("%s\n", utf8);
    return 0;
}

int Usage() {
    std::fputs("orvctl: the verbs for tests are find|wait|waitgone|post|post-child|broadcast|"
               "close|ini-set|ini-get (orvctl --help)\n",
               stderr);
    return 2;
}

} // namespace

int RunPlatformVerb(const std::string& verb, const std::vector<std::string>& args) {
    static const char* const kVerbs[] = {"find",      "wait",  "waitgone", "post",   "post-child",
                                         "broadcast", "close", "ini-set",  "ini-get"};
    bool known = false;
    for (const char* name : kVerbs)
        known = known || verb == name;
    if (!known)
        return kVerbUnknown;
    std::vector<std::wstring> a;
    for (const std::string& arg : args)
        a.push_back(Wide(arg));
    std::size_t n = a.size();
    if (n < 1)
        return Usage();
    const wchar_t* title = a[0].c_str();
    if (verb == "find")
        return FindWindowW(nullptr, title) != nullptr ? 0 : 1;
    if (verb == "wait" && n >= 2)
        return WaitFor(title, static_cast<DWORD>(Number(a[1])), true) != nullptr ? 0 : 1;
    if (verb == "waitgone" && n >= 2)
        return WaitFor(title, static_cast<DWORD>(Number(a[1])), false) == nullptr ? 0 : 1;
    if (verb == "post" && n >= 4)
        return Post(FindWindowW(nullptr, title), a[1], a[2], a[3]);
    if (verb == "post-child" && n >= 5) {
        HWND parent = FindWindowW(nullptr, title);
        HWND child = parent ? FindWindowExW(parent, nullptr, nullptr, a[1].c_str()) : nullptr;
        return Post(child, a[2], a[3], a[4]);
    }
    if (verb == "broadcast" && n >= 3)
        return Post(HWND_BROADCAST, a[0], a[1], a[2]);
    if (verb == "ini-set" && n >= 4)
        return WritePrivateProfileStringW(a[1].c_str(), a[2].c_str(), a[3].c_str(), title) ? 0 : 1;
    if (verb == "ini-get" && n >= 3)
        return IniGet(a[0], a[1], a[2]);
    if (verb == "close")
        return Close(title, n >= 2 ? static_cast<DWORD>(Number(a[1])) : 10000);
    return Usage();
}

const char* PlatformVerbsUsage() {
    return "  orvctl find <title>                  exit 0 when a top-level window has this title\n"
           "  orvctl wait <title> <ms>             wait until it appears\n"
           "  orvctl waitgone <title> <ms>         wait until it is gone\n"
           "  orvctl post <title> <msg> <wParam> <lParam>\n"
           "  orvctl post-child <title> <child> <msg> <wParam> <lParam>\n"
           "  orvctl broadcast <msg> <wParam> <lParam>\n"
           "  orvctl close <title> [ms]            WM_CLOSE, then wait for its process\n"
           "  orvctl ini-set <file> <section> <key> <value>\n"
           "  orvctl ini-get <file> <section> <key>\n"
           "  (<msg>: a number, a name such as WM_HID_UPLOAD, or QUIV_DEV_SYNC)\n";
}

} // namespace orv::ctl
