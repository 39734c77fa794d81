// Linux backend of the window services: the service's own windows live in
// this process (kept as inproc_windows.h keeps them), and the thread that creates the
// window system runs them on its GLib main context. Posted messages wait in
// one queue, in order, served by a source of their own; a post from any
// other thread (the device library's callback thread) wakes the context.
// A timer is a GLib timeout source, replaced when restarted. A quit is taken
// once no posted message is left, and ends only the loop that takes it.
//
// Other programs' windows are stand-ins for bus clients (RegisterWindow):
// lookups find them by title like any window (whatever class is asked for),
// and what the service posts or sends to them, or broadcasts, goes to the
// outbox (the bus signals). A sent message is answered 0 at once and a
// record is answered 1: a signal takes no answer. There is no foreground
// window yet.
#pragma once

#include "platform/common/inproc_windows.h"
#include "platform/window.h"

#include <glib.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace orv::linux_ {

// What the service posts, sends or broadcasts to other programs' windows.
class IOutbox {
public:
    // `window` is the stand-in's bus title ("parent/child" for a child) or
    // "*" for a broadcast.
    virtual void Message(const std::string& window, MsgId msg, WParam wParam, LParam lParam) = 0;
    virtual void CopyData(const std::string& window, std::uintptr_t dataId, const void* data,
                          std::uint32_t size) = 0;

protected:
    ~IOutbox() = default;
};

class LinuxWindowSystem final : public inproc::InProcessWindows {
public:
    // Runs on the calling thread's default main context.
    LinuxWindowSystem();
    ~LinuxWindowSystem() override;
    LinuxWindowSystem(const LinuxWindowSystem&) = delete;
    LinuxWindowSystem& operator=(const LinuxWindowSystem&) = delete;

    bool PostMsg(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) override;
    LResult SendMsg(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) override;
    std::optional<LResult> SendCopyData(WndHandle wnd, WndHandle from, std::uintptr_t dataId,
                                        const void* data, std::uint32_t size,
                                        std::uint32_t timeoutMs) override;
    bool StartTimer(WndHandle wnd, TimerId id, std::uint32_t periodMs) override;
    bool StopTimer(WndHandle wnd, TimerId id) override;
    int RunLoop() override;
    void QuitLoop(int exitCode) override;
    bool UpdateWnd(WndHandle wnd) override;
    void CaptureMouse(WndHandle) override {}
    void ReleaseMouse() override {}
    void ScreenSize(int& width, int& height) override;
    WndHandle ForegroundWindow() override { return kNoWindow; }
    std::uint32_t WindowProcessId(WndHandle wnd) override;
    // No foreground window, so no change of it to tell of.
    bool WatchForeground(WndHandle, MsgId) override { return false; }
    void StopWatchingForeground(WndHandle) override {}

    // A stand-in for another program's window, known on the bus as
    // `busTitle`; `parent` is a stand-in too, or none for a top-level one.
    WndHandle AddStandIn(std::u16string title, WndHandle parent, std::string busTitle,
                         std::uint32_t processId);
    void SetOutbox(IOutbox* outbox) { m_outbox = outbox; }
    // Called on the loop's thread after every message or timer delivered,
    // and when a window asks to be painted at once (as a progress bar does
    // in the middle of a long handler): when the service's state may have
    // changed, and only then.
    std::function<void()> onActivity;

    // Delivers what is due on the calling thread's context for `ms`
    // milliseconds, without running a loop (for tests).
    void Pump(std::uint32_t ms);

private:
    struct StandIn {
        std::string busTitle;
        std::uint32_t processId = 0;
    };
    struct Queued {
        WndHandle wnd;
        MsgId msg;
        WParam wParam;
        LParam lParam;
    };
    struct Timer {
        LinuxWindowSystem* owner;
        WndHandle wnd;
        TimerId id;
        GSource* source;
    };

    void ForgetWindow(WndHandle wnd) override;
    // The bus title of a stand-in; empty for the service's own windows.
    std::string StandInTitle(WndHandle wnd) const;
    // Delivers what is queued now; true when a quit was taken meanwhile.
    bool DeliverQueued();
    void Wake();
    void RemoveTimersOf(WndHandle wnd);
    static gboolean OnTimer(gpointer data);

    friend struct QueueSource;
    GMainContext* m_context;
    GSource* m_queueSource;
    std::deque<Queued> m_queue;
    std::map<std::pair<WndHandle, TimerId>, Timer*> m_timers;
    std::map<WndHandle, StandIn> m_standIns;
    std::vector<GMainLoop*> m_loops; // running loops, innermost last
    bool m_quitPending = false;
    int m_quitCode = 0;
    IOutbox* m_outbox = nullptr;
};

} // namespace orv::linux_
