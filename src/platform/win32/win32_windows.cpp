// Windows backend of the window services: windows served by one window
// procedure, dialogs subclassed as they are created, and the message loop.
#include "platform/win32/win32_backends.h"

#include "platform/win32/wide.h"

#include <windows.h>

#include <string>
#include <vector>

namespace orv::win32 {

namespace {

constexpr wchar_t kFrameClass[] = L"OrvFrameWnd";

LRESULT CALLBACK FrameWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* target = reinterpret_cast<IWindowTarget*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        target = static_cast<IWindowTarget*>(create->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(target));
    }
    if (target == nullptr)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    LRESULT result = target->OnMessage(reinterpret_cast<WndHandle>(hwnd), msg, wParam, lParam);
    if (msg == WM_NCDESTROY)
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    return result;
}

// Registers a window class served by FrameWndProc, once per name. The class
// has no style, cursor, background brush or icon: these windows draw
// themselves or are never shown.
bool EnsureClass(const wchar_t* name) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (GetClassInfoExW(instance, name, &existing))
        return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = FrameWndProc;
    wc.hInstance = instance;
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0;
}

HWND H(WndHandle wnd) {
    return reinterpret_cast<HWND>(wnd);
}

// Dialogs keep the dialog manager's window procedure for default processing;
// their target and that procedure are kept as window properties.
constexpr wchar_t kTargetProp[] = L"OrvTarget";
constexpr wchar_t kDefaultProcProp[] = L"OrvDefaultProc";

LRESULT CALLBACK DialogSubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* target = static_cast<IWindowTarget*>(GetPropW(hwnd, kTargetProp));
    auto original = reinterpret_cast<WNDPROC>(GetPropW(hwnd, kDefaultProcProp));
    if (target == nullptr)
        return original ? CallWindowProcW(original, hwnd, msg, wParam, lParam)
                        : DefWindowProcW(hwnd, msg, wParam, lParam);
    LRESULT result = target->OnMessage(reinterpret_cast<WndHandle>(hwnd), msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        RemovePropW(hwnd, kTargetProp);
        RemovePropW(hwnd, kDefaultProcProp);
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    }
    return result;
}

// The dialog manager sends WM_CREATE before a dialog procedure is attached,
// so the dialog window is subclassed as it is being created.
thread_local IWindowTarget* t_pendingDialog = nullptr;

LRESULT CALLBACK DialogCreationHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && t_pendingDialog != nullptr) {
        HWND hwnd = reinterpret_cast<HWND>(wParam);
        SetPropW(hwnd, kTargetProp, t_pendingDialog);
        t_pendingDialog = nullptr;
        LONG_PTR original =
            SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DialogSubclassProc));
        SetPropW(hwnd, kDefaultProcProp, reinterpret_cast<HANDLE>(original));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

INT_PTR CALLBACK EmptyDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

thread_local MSG t_currentMsg{};

// Foreground notices: out-of-context window-event hooks, whose callbacks run
// on the thread that set them, inside its message loop. The callback has no
// context of its own, so each hook is found again by its handle.
struct ForegroundWatch {
    HWINEVENTHOOK hook;
    HWND wnd;
    UINT msg;
};
thread_local std::vector<ForegroundWatch> t_foregroundWatches;

void CALLBACK ForegroundEvent(HWINEVENTHOOK hook, DWORD, HWND, LONG, LONG, DWORD, DWORD) {
    for (const ForegroundWatch& watch : t_foregroundWatches) {
        if (watch.hook == hook)
            PostMessageW(watch.wnd, watch.msg, 0, 0);
    }
}

class Win32WindowSystem final : public IWindowSystem {
public:
    WndHandle CreateWnd(const WindowCreateArgs& args, IWindowTarget* target) override {
        std::wstring cls = args.className.empty() ? kFrameClass : W(args.className);
        if (!EnsureClass(cls.c_str()))
            return kNoWindow;
        HWND hwnd = CreateWindowExW(args.exStyle, cls.c_str(), W(args.title).c_str(), args.style,
                                    args.x, args.y, args.width, args.height, H(args.parent),
                                    reinterpret_cast<HMENU>(args.childId),
                                    GetModuleHandleW(nullptr), target);
        return reinterpret_cast<WndHandle>(hwnd);
    }
    bool DestroyWnd(WndHandle wnd) override { return ::DestroyWindow(H(wnd)) != FALSE; }
    bool IsWnd(WndHandle wnd) override { return ::IsWindow(H(wnd)) != FALSE; }
    LResult DefaultProc(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) override {
        auto original = reinterpret_cast<WNDPROC>(GetPropW(H(wnd), kDefaultProcProp));
        if (original != nullptr)
            return CallWindowProcW(original, H(wnd), msg, wParam, lParam);
        return DefWindowProcW(H(wnd), msg, wParam, lParam);
    }
    bool PostMsg(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) override {
        return PostMessageW(H(wnd), msg, wParam, lParam) != FALSE;
    }
    LResult SendMsg(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) override {
        return SendMessageW(H(wnd), msg, wParam, lParam);
    }
    std::optional<LResult> SendCopyData(WndHandle wnd, WndHandle from, std::uintptr_t dataId,
                                        const void* data, std::uint32_t size,
                                        std::uint32_t timeoutMs) override {
        COPYDATASTRUCT block{dataId, size, const_cast<void*>(data)};
        DWORD_PTR result = 0;
        if (SendMessageTimeoutW(H(wnd), WM_COPYDATA, from, reinterpret_cast<LPARAM>(&block),
                                SMTO_NORMAL | SMTO_ABORTIFHUNG, timeoutMs, &result) == 0)
            return std::nullopt;
        return static_cast<LResult>(result);
    }
    MsgId RegisterMsg(std::u16string_view name) override {
        return RegisterWindowMessageW(W(name).c_str());
    }
    WndHandle FindTopLevel(const char16_t* className, const char16_t* title) override {
        return reinterpret_cast<WndHandle>(FindWindowW(W(className), W(title)));
    }
    WndHandle FindChild(WndHandle parent, const char16_t* title) override {
        return reinterpret_cast<WndHandle>(FindWindowExW(H(parent), nullptr, nullptr, W(title)));
    }
    void SetTitle(WndHandle wnd, std::u16string_view title) override {
        SetWindowTextW(H(wnd), W(title).c_str());
    }
    std::u16string GetTitle(WndHandle wnd) override {
        wchar_t buf[512];
        int n = GetWindowTextW(H(wnd), buf, 512);
        return U16(std::wstring_view(buf, n > 0 ? static_cast<std::size_t>(n) : 0));
    }
    bool StartTimer(WndHandle wnd, TimerId id, std::uint32_t periodMs) override {
        return ::SetTimer(H(wnd), id, periodMs, nullptr) != 0;
    }
    bool StopTimer(WndHandle wnd, TimerId id) override { return ::KillTimer(H(wnd), id) != FALSE; }
    int RunLoop() override {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            t_currentMsg = msg;
            if (m_preTranslate && m_preTranslate({reinterpret_cast<WndHandle>(msg.hwnd),
                                                  msg.message, msg.wParam, msg.lParam}))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        return static_cast<int>(msg.wParam);
    }
    void QuitLoop(int exitCode) override { PostQuitMessage(exitCode); }
    void SetPreTranslateHook(std::function<bool(const QueuedMsg&)> hook) override {
        m_preTranslate = std::move(hook);
    }
    WndHandle CreateDialogWnd(const std::vector<std::uint8_t>& dialogTemplate, WndHandle owner,
                              IWindowTarget* target) override {
        HHOOK hook = SetWindowsHookExW(WH_CBT, DialogCreationHook, nullptr, GetCurrentThreadId());
        t_pendingDialog = target;
        HWND hwnd = CreateDialogIndirectParamW(
            GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(dialogTemplate.data()),
            H(owner), EmptyDialogProc, 0);
        t_pendingDialog = nullptr;
        if (hook != nullptr)
            UnhookWindowsHookEx(hook);
        return reinterpret_cast<WndHandle>(hwnd);
    }
    bool IsDialogMsg(WndHandle dialog) override {
        return IsDialogMessageW(H(dialog), &t_currentMsg) != FALSE;
    }
    WndHandle ParentOf(WndHandle wnd) override {
        return reinterpret_cast<WndHandle>(GetParent(H(wnd)));
    }
    bool ShowWnd(WndHandle wnd, int showCmd) override {
        ::ShowWindow(H(wnd), showCmd);
        return ::IsWindow(H(wnd)) != FALSE;
    }
    bool MoveWnd(WndHandle wnd, int x, int y, int width, int height, bool repaint) override {
        return MoveWindow(H(wnd), x, y, width, height, repaint) != FALSE;
    }
    bool PlaceTopMost(WndHandle wnd, int x, int y) override {
        return SetWindowPos(H(wnd), HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE) != FALSE;
    }
    bool InvalidateWnd(WndHandle wnd, bool erase) override {
        return InvalidateRect(H(wnd), nullptr, erase) != FALSE;
    }
    bool UpdateWnd(WndHandle wnd) override { return ::UpdateWindow(H(wnd)) != FALSE; }
    void CaptureMouse(WndHandle wnd) override { SetCapture(H(wnd)); }
    void ReleaseMouse() override { ReleaseCapture(); }
    void ClientToParent(WndHandle wnd, int& x, int& y) override {
        POINT point{x, y};
        ClientToScreen(H(wnd), &point);
        ScreenToClient(GetParent(H(wnd)), &point);
        x = point.x;
        y = point.y;
    }
    void ScreenSize(int& width, int& height) override {
        width = GetSystemMetrics(SM_CXSCREEN);
        height = GetSystemMetrics(SM_CYSCREEN);
    }
    WndHandle ForegroundWindow() override {
        return reinterpret_cast<WndHandle>(GetForegroundWindow());
    }
    std::uint32_t WindowProcessId(WndHandle wnd) override {
        DWORD pid = 0;
        GetWindowThreadProcessId(H(wnd), &pid);
        return pid;
    }
    bool WatchForeground(WndHandle wnd, MsgId msg) override {
        StopWatchingForeground(wnd);
        if (!::IsWindow(H(wnd)))
            return false;
        HWINEVENTHOOK hook = SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND,
                                             nullptr, ForegroundEvent, 0, 0, WINEVENT_OUTOFCONTEXT);
        if (hook == nullptr)
            return false;
        t_foregroundWatches.push_back({hook, H(wnd), msg});
        return true;
    }
    void StopWatchingForeground(WndHandle wnd) override {
        auto& watches = t_foregroundWatches;
        for (auto it = watches.begin(); it != watches.end();) {
            if (it->wnd == H(wnd)) {
                UnhookWinEvent(it->hook);
                it = watches.erase(it);
            } else {
                ++it;
            }
        }
    }

private:
    std::function<bool(const QueuedMsg&)> m_preTranslate;
};

} // namespace

IWindowSystem& Win32Windows() {
    static Win32WindowSystem windows;
    return windows;
}

} // namespace orv::win32
