// The window system of the foreground benchmarks' baseline on every
// platform: the real one with neither the foreground notice nor the core's
// look timer, so only the watcher's 2000 ms tick switches slots, as before
// the service followed foreground changes. Built into the baseline services
// (orv_tick_only_service, orv_timer_only_service) only, never shipped.
#pragma once

#include "messaging/messages.h"
#include "platform/platform.h"

namespace orv::bench {

class TickOnlyWindows final : public IWindowSystem {
public:
    explicit TickOnlyWindows(IWindowSystem& inner) : m(inner) {}

    bool WatchForeground(WndHandle, MsgId) override { return false; }
    void StopWatchingForeground(WndHandle) override {}
    bool StartTimer(WndHandle wnd, TimerId id, std::uint32_t periodMs) override {
        return id != IDT_FOREGROUND_LOOK && m.StartTimer(wnd, id, periodMs);
    }

    // Everything else as the real window system does it.
    WndHandle CreateWnd(const WindowCreateArgs& args, IWindowTarget* target) override {
        return m.CreateWnd(args, target);
    }
    bool DestroyWnd(WndHandle wnd) override { return m.DestroyWnd(wnd); }
    bool IsWnd(WndHandle wnd) override { return m.IsWnd(wnd); }
    LResult DefaultProc(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) override {
        return m.DefaultProc(wnd, msg, wParam, lParam);
    }
    bool PostMsg(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) override {
        return m.PostMsg(wnd, msg, wParam, lParam);
    }
    LResult SendMsg(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) override {
        return m.SendMsg(wnd, msg, wParam, lParam);
    }
    std::optional<LResult> SendCopyData(WndHandle wnd, WndHandle from, std::uintptr_t dataId,
                                        const void* data, std::uint32_t size,
                                        std::uint32_t timeoutMs) override {
        return m.SendCopyData(wnd, from, dataId, data, size, timeoutMs);
    }
    MsgId RegisterMsg(std::u16string_view name) override { return m.RegisterMsg(name); }
    WndHandle FindTopLevel(const char16_t* className, const char16_t* title) override {
        return m.FindTopLevel(className, title);
    }
    WndHandle FindChild(WndHandle parent, const char16_t* title) override {
        return m.FindChild(parent, title);
    }
    void SetTitle(WndHandle wnd, std::u16string_view title) override { m.SetTitle(wnd, title); }
    std::u16string GetTitle(WndHandle wnd) override { return m.GetTitle(wnd); }
    bool StopTimer(WndHandle wnd, TimerId id) override { return m.StopTimer(wnd, id); }
    int RunLoop() override { return m.RunLoop(); }
    void QuitLoop(int exitCode) override { m.QuitLoop(exitCode); }
    void SetPreTranslateHook(std::function<bool(const QueuedMsg&)> hook) override {
        m.SetPreTranslateHook(std::move(hook));
    }
    WndHandle CreateDialogWnd(const std::vector<std::uint8_t>& dialogTemplate, WndHandle owner,
                              IWindowTarget* target) override {
        return m.CreateDialogWnd(dialogTemplate, owner, target);
    }
    bool IsDialogMsg(WndHandle dialog) override { return m.IsDialogMsg(dialog); }
    WndHandle ParentOf(WndHandle wnd) override { return m.ParentOf(wnd); }
    bool ShowWnd(WndHandle wnd, int showCmd) override { return m.ShowWnd(wnd, showCmd); }
    bool MoveWnd(WndHandle wnd, int x, int y, int width, int height, bool repaint) override {
        return m.MoveWnd(wnd, x, y, width, height, repaint);
    }
    bool PlaceTopMost(WndHandle wnd, int x, int y) override { return m.PlaceTopMost(wnd, x, y); }
    bool InvalidateWnd(WndHandle wnd, bool erase) override { return m.InvalidateWnd(wnd, erase); }
    bool UpdateWnd(WndHandle wnd) override { return m.UpdateWnd(wnd); }
    void CaptureMouse(WndHandle wnd) override { m.CaptureMouse(wnd); }
    void ReleaseMouse() override { m.ReleaseMouse(); }
    void ClientToParent(WndHandle wnd, int& x, int& y) override { m.ClientToParent(wnd, x, y); }
    void ScreenSize(int& width, int& height) override { m.ScreenSize(width, height); }
    WndHandle ForegroundWindow() override { return m.ForegroundWindow(); }
    std::uint32_t WindowProcessId(WndHandle wnd) override { return m.WindowProcessId(wnd); }

private:
    IWindowSystem& m;
};

// Puts it in front of the installed window system.
inline void UseTickOnlyWindows() {
    static TickOnlyWindows windows(Windows());
    Platform platform = CurrentPlatform();
    platform.windows = &windows;
    InstallPlatform(platform);
}

} // namespace orv::bench
