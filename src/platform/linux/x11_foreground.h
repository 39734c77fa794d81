// The window the user works with, on an X display: the root window's
// _NET_ACTIVE_WINDOW as the window manager keeps it, the process that owns a
// window (_NET_WM_PID), and a call on the GLib loop whenever the active
// window changes. The change is a PropertyNotify on the root window, read
// from the X connection's socket by a source of the main context: nothing
// is asked of the server and the loop is not woken while nothing changes.
//
// Without a display (none named, or none reached, as in a Wayland session
// without XWayland) nothing is available and nothing fails: there is no
// active window and no change to tell of. A display that goes away later
// leaves it the same.
#pragma once

#include <glib.h>

#include <cstdint>
#include <functional>

namespace orv::linux_ {

class X11Foreground {
public:
    // Opens the display that DISPLAY names and follows it on `context`.
    explicit X11Foreground(GMainContext* context);
    ~X11Foreground();
    X11Foreground(const X11Foreground&) = delete;
    X11Foreground& operator=(const X11Foreground&) = delete;

    // A display was reached and is still there.
    bool Available() const;
    // The active window's id, or 0 when none is active (or no display).
    std::uint32_t ActiveWindow();
    // The process that owns the window, 0 when it is not known: the window
    // is gone, names no process, or runs on another machine, whose process
    // ids mean nothing here.
    std::uint32_t ProcessOf(std::uint32_t window);
    // The window is still on the display.
    bool Exists(std::uint32_t window);

    // Called on the loop after the active window changed.
    std::function<void()> onChange;

    // Xlib's state, kept out of this header.
    struct Connection;

private:
    friend struct XSource;
    void ReadEvents();

    Connection* m_x = nullptr;
    GSource* m_source = nullptr;
};

} // namespace orv::linux_
