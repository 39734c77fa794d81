// Window services: windows, messages, registered messages, lookup by title,
// timers and the message loop.
#pragma once

#include "platform/types.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

// Receives every message of a window created through the window services.
class IWindowTarget {
public:
    virtual LResult OnMessage(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) = 0;

protected:
    ~IWindowTarget() = default;
};

struct WindowCreateArgs {
    std::uint32_t exStyle = 0;
    std::u16string className; // empty: the framework's plain window class
    std::u16string title;
    std::uint32_t style = 0;
    int x = 0, y = 0, width = 0, height = 0;
    WndHandle parent = kNoWindow;
    std::uintptr_t childId = 0;
};

class IWindowSystem {
public:
    virtual ~IWindowSystem() = default;

    // Creates a window whose messages all go to `target`, starting with
    // WM_CREATE before this returns. Returns kNoWindow on failure (also when
    // the target fails WM_CREATE with -1).
    virtual WndHandle CreateWnd(const WindowCreateArgs& args, IWindowTarget* target) = 0;
    // Sends WM_DESTROY and WM_NCDESTROY, then the handle is gone.
    virtual bool DestroyWnd(WndHandle wnd) = 0;
    virtual bool IsWnd(WndHandle wnd) = 0;
    virtual LResult DefaultProc(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) = 0;

    virtual bool PostMsg(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) = 0;
    virtual LResult SendMsg(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) = 0;
    // Sends WM_COPYDATA with a copy of `size` bytes and waits at most
    // `timeoutMs` for the receiver (none at all for one the system reports
    // hung). Returns the receiver's result, or nothing when it did not answer.
    virtual std::optional<LResult> SendCopyData(WndHandle wnd, WndHandle from,
                                                std::uintptr_t dataId, const void* data,
                                                std::uint32_t size, std::uint32_t timeoutMs) = 0;
    virtual MsgId RegisterMsg(std::u16string_view name) = 0;

    // First top-level window matching both the class and the title; a null
    // class or title matches any.
    virtual WndHandle FindTopLevel(const char16_t* className, const char16_t* title) = 0;
    // First direct child window of `parent` with exactly this title.
    virtual WndHandle FindChild(WndHandle parent, const char16_t* title) = 0;
    virtual void SetTitle(WndHandle wnd, std::u16string_view title) = 0;
    virtual std::u16string GetTitle(WndHandle wnd) = 0;

    // A timer with the same window and id replaces the running one.
    virtual bool StartTimer(WndHandle wnd, TimerId id, std::uint32_t periodMs) = 0;
    virtual bool StopTimer(WndHandle wnd, TimerId id) = 0;

    // Runs the message loop of the calling thread until QuitLoop; returns its code.
    virtual int RunLoop() = 0;
    virtual void QuitLoop(int exitCode) = 0;
    // Called for every message the loop takes from the queue; true means the
    // message has been handled and is not dispatched.
    virtual void SetPreTranslateHook(std::function<bool(const QueuedMsg&)> hook) = 0;

    // Creates a modeless dialog from an in-memory extended dialog template.
    // The target gets every message of the dialog, WM_CREATE included, and
    // then WM_INITDIALOG; its default processing is the dialog manager's.
    virtual WndHandle CreateDialogWnd(const std::vector<std::uint8_t>& dialogTemplate,
                                      WndHandle owner, IWindowTarget* target) = 0;
    // Lets the dialog manager handle the message being pre-translated (the
    // keyboard navigation of a dialog); true when it did.
    virtual bool IsDialogMsg(WndHandle dialog) = 0;

    // The parent of a child window, or the owner of a top-level one.
    virtual WndHandle ParentOf(WndHandle wnd) = 0;
    virtual bool ShowWnd(WndHandle wnd, int showCmd) = 0;
    virtual bool MoveWnd(WndHandle wnd, int x, int y, int width, int height, bool repaint) = 0;
    // Puts the window above all windows that are not top-most, at (x, y), its size kept.
    virtual bool PlaceTopMost(WndHandle wnd, int x, int y) = 0;
    virtual bool InvalidateWnd(WndHandle wnd, bool erase) = 0;
    // Paints an invalid window at once, without going back to the loop.
    virtual bool UpdateWnd(WndHandle wnd) = 0;
    virtual void CaptureMouse(WndHandle wnd) = 0;
    virtual void ReleaseMouse() = 0;
    // A point of the window's client area in its parent's client coordinates.
    virtual void ClientToParent(WndHandle wnd, int& x, int& y) = 0;
    virtual void ScreenSize(int& width, int& height) = 0;

    // The window the user works with, and the process that owns a window.
    virtual WndHandle ForegroundWindow() = 0;
    virtual std::uint32_t WindowProcessId(WndHandle wnd) = 0;
    // From now on `msg` is posted to `wnd` whenever another window comes to
    // the foreground, until StopWatchingForeground (or the window is gone).
    // Not every system delivers this for every program: callers that must
    // not miss a change also look at ForegroundWindow now and then.
    virtual bool WatchForeground(WndHandle wnd, MsgId msg) = 0;
    virtual void StopWatchingForeground(WndHandle wnd) = 0;
};

} // namespace orv
