// Helpers of the device tests on the Windows backends: the library files in
// dist/, a window that records what it is posted, and the simulated
// keyboard's control channel.
#pragma once

#include "e2e_support.h"
#include "framework/wnd.h"
#include "platform/platform.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace orv::wintest {

using e2e::DistDir;
using e2e::SimCommand;
// The whole content of a file; empty when it cannot be read.
inline std::string ReadText(const std::wstring& path) {
    return e2e::ReadFileBytes(path);
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

inline std::wstring TempPath(const wchar_t* name) {
    wchar_t buf[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, buf);
    return std::wstring(buf, n) + name;
}

} // namespace orv::wintest
