// The service's own windows kept in this process: the part of the window
// services that the host build (run by the tests on a virtual clock) and the
// Linux backend (run on a GLib main loop) share. A backend adds how messages
// are queued and delivered, timers, the loop, and what lies outside the
// process. Windows are matched by class and title without regard to case,
// a window's place and visibility are only recorded (there is no screen),
// there is no dialog manager (a dialog is a plain window) and no z-order (of
// two windows with one title a lookup finds the older, Windows the one on
// top). As on Windows, a window takes its children and the windows it owns
// with it when it goes.
#pragma once

#include "platform/window.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace orv::inproc {

// What a window looks like to the user.
struct Geometry {
    int x, y, width, height;
    bool visible;
    bool topMost;
};

class InProcessWindows : public IWindowSystem {
public:
    WndHandle CreateWnd(const WindowCreateArgs& args, IWindowTarget* target) final;
    bool DestroyWnd(WndHandle wnd) final;
    bool IsWnd(WndHandle wnd) final;
    LResult DefaultProc(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) final;
    MsgId RegisterMsg(std::u16string_view name) final;
    WndHandle FindTopLevel(const char16_t* className, const char16_t* title) final;
    WndHandle FindChild(WndHandle parent, const char16_t* title) final;
    void SetTitle(WndHandle wnd, std::u16string_view title) final;
    std::u16string GetTitle(WndHandle wnd) final;
    void SetPreTranslateHook(std::function<bool(const QueuedMsg&)> hook) final;
    WndHandle CreateDialogWnd(const std::vector<std::uint8_t>& dialogTemplate, WndHandle owner,
                              IWindowTarget* target) final;
    bool IsDialogMsg(WndHandle) final { return false; }
    WndHandle ParentOf(WndHandle wnd) final;
    bool ShowWnd(WndHandle wnd, int showCmd) final;
    bool MoveWnd(WndHandle wnd, int x, int y, int width, int height, bool repaint) final;
    bool PlaceTopMost(WndHandle wnd, int x, int y) final;
    bool InvalidateWnd(WndHandle wnd, bool erase) final;
    void ClientToParent(WndHandle wnd, int& x, int& y) final;

    Geometry GeometryOf(WndHandle wnd);
    std::size_t WindowCount();

protected:
    InProcessWindows() = default;
    ~InProcessWindows() override = default;

    struct Window {
        IWindowTarget* target = nullptr; // none: default processing only
        std::u16string className;
        std::u16string title;
        WndHandle parent = kNoWindow; // parent of a child, owner of a top-level window
        std::uint32_t style = 0;
        Geometry geometry{};
        bool invalid = false;
        bool destroying = false;
        // A lookup by title finds it whatever class is asked for (a window
        // that another program names by its title alone).
        bool anyClass = false;
    };
    static bool IsChild(const Window& window) { return (window.style & WS_CHILD) != 0; }

    // Adds a window without telling it anything; kNoWindow when its parent
    // is no window.
    WndHandle AddWindow(Window window);
    // Calls the window's target, or the default processing; 0 when the
    // window is gone.
    LResult Deliver(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam);
    // Lets the hook take a posted message before it is delivered.
    bool PreTranslate(const QueuedMsg& msg) { return m_preTranslate && m_preTranslate(msg); }
    // Called with the lock held once a window is gone: what the backend
    // keeps for it (timers, queued messages, watchers) goes with it.
    virtual void ForgetWindow(WndHandle wnd) = 0;

    std::recursive_mutex m_lock;
    std::map<WndHandle, Window> m_windows; // ordered by creation: handles only grow

private:
    std::map<std::u16string, MsgId> m_registered;
    WndHandle m_nextHandle = 0x20000;
    std::function<bool(const QueuedMsg&)> m_preTranslate;
};

} // namespace orv::inproc
