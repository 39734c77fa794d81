// Helpers of the device tests on the Windows backends: the library files in
// dist/, a window that records what it is posted, and the simulated
// keyboard's control channel.
#pragma once

#include "framework/wnd.h"
#include "platform/platform.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace orv::wintest {

// dist/ as a Windows path (the harness sets ORV_DIST), with a trailing '\'.
inline std::wstring DistDir() {
    wchar_t buf[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"ORV_DIST", buf, MAX_PATH);
    std::wstring dir = n > 0 && n < MAX_PATH ? std::wstring(buf, n) : L".";
    if (dir.back() != L'\\')
        dir += L'\\';
    return dir;
}

inline std::u16string U16(const std::wstring& s) {
    return std::u16string(s.begin(), s.end());
}

// Delivers this thread's messages until `done` or the time limit.
inline bool PumpUntil(const std::function<bool()>& done, DWORD ms = 5000) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done())
            return true;
        if (GetTickCount() - start >= ms)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

struct Posted {
    MsgId msg;
    WParam wParam;
    LParam lParam;
};

// A hidden window that records the private messages it receives.
class RecordingWnd : public CWnd {
public:
    explicit RecordingWnd(const char16_t* title = u"") {
        CreateEx(0, nullptr, title, WS_POPUP, 0, 0, 1, 1, kNoWindow, 0);
    }
    std::vector<Posted> Received(MsgId msg) const {
        std::vector<Posted> out;
        for (const Posted& p : received) {
            if (p.msg == msg)
                out.push_back(p);
        }
        return out;
    }
    std::vector<Posted> received;

protected:
    LResult WindowProc(MsgId msg, WParam wParam, LParam lParam) override {
        if (msg >= WM_USER)
            received.push_back({msg, wParam, lParam});
        return CWnd::WindowProc(msg, wParam, lParam);
    }
};

// Sends one command to the simulated keyboard's control window; -2 when no
// simulated keyboard is running.
inline LRESULT SimCommand(const std::string& command) {
    HWND wnd = FindWindowW(L"OrvSimKeyboard", L"OrvaneSimKeyboard");
    if (wnd == nullptr)
        return -2;
    COPYDATASTRUCT data{0x4B4D4953, static_cast<DWORD>(command.size()),
                        const_cast<char*>(command.data())};
    return SendMessageW(wnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

inline std::string ReadText(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string text;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(file, buf, sizeof buf, &got, nullptr) && got > 0)
        text.append(buf, got);
    CloseHandle(file);
    return text;
}

inline std::wstring TempPath(const wchar_t* name) {
    wchar_t buf[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, buf);
    return std::wstring(buf, n) + name;
}

} // namespace orv::wintest
