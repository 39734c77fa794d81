// The window services of the host build: the windows of one thread (kept as
// inproc_windows.h keeps them), their message queue and timers, run by the
// tests ("post this, run until idle") on the virtual clock. Unlike Windows
// there is no other thread or process (a window of another program is a
// stand-in whose process id and answer time the tests set), and the loop
// returns once nothing is left to deliver instead of waiting.
#pragma once

#include "platform/common/inproc_windows.h"
#include "platform/host/host_clock.h"
#include "platform/window.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace orv::host {

struct MessageRecord {
    WndHandle wnd; // kBroadcast for a broadcast
    MsgId msg;
    WParam wParam;
    LParam lParam;
    std::uint32_t time; // virtual milliseconds when posted or received
    std::string data;   // the bytes of a WM_COPYDATA block
};

class HostWindowSystem final : public inproc::InProcessWindows {
public:
    explicit HostWindowSystem(VirtualClock& clock) : m_clock(clock) {}

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
    void CaptureMouse(WndHandle wnd) override { m_capture = wnd; }
    void ReleaseMouse() override { m_capture = kNoWindow; }
    void ScreenSize(int& width, int& height) override;
    WndHandle ForegroundWindow() override { return foreground; }
    std::uint32_t WindowProcessId(WndHandle wnd) override;
    bool WatchForeground(WndHandle wnd, MsgId msg) override;
    void StopWatchingForeground(WndHandle wnd) override;

    // Setting `foreground` changes it silently, as a system that sends no
    // notice does; BringToFront changes it and notifies the watchers.
    WndHandle foreground = kNoWindow;
    void BringToFront(WndHandle wnd);
    std::map<WndHandle, std::uint32_t> windowProcess; // windows of other processes
    // Windows of other programs that take this long (virtual ms) to answer a
    // sent message; kNeverAnswers for one that hangs. A sender with a shorter
    // time limit gives up when it runs out, and the message is not handled.
    std::map<WndHandle, std::uint32_t> answerTimes;
    static constexpr std::uint32_t kNeverAnswers = 0xFFFFFFFF;

    // Delivers queued messages, then due timers, until neither is left; a
    // quit requested meanwhile is left for RunLoop.
    // Returns the number of messages delivered.
    int RunUntilIdle();
    // Lets `ms` of virtual time pass, delivering timers as they fall due.
    void AdvanceBy(std::uint32_t ms);

    using Geometry = inproc::Geometry;
    WndHandle Capture() const { return m_capture; }
    int screenWidth = 1280;
    int screenHeight = 1024;

    bool TimerRunning(WndHandle wnd, TimerId id);
    bool QuitRequested() const { return m_quit; }
    int QuitCode() const { return m_quitCode; }

    std::vector<MessageRecord> posts; // every PostMsg, in order

private:
    struct Timer {
        WndHandle wnd;
        TimerId id;
        std::uint32_t period;
        std::uint32_t due;
        std::uint64_t order;
    };
    struct Queued {
        WndHandle wnd;
        MsgId msg;
        WParam wParam;
        LParam lParam;
    };

    void ForgetWindow(WndHandle wnd) override;
    bool DeliverOneQueued();
    bool DeliverOneTimer();

    VirtualClock& m_clock;
    std::vector<Queued> m_queue;
    std::vector<Timer> m_timers;
    std::map<WndHandle, MsgId> m_foregroundWatchers;
    std::uint64_t m_timerOrder = 0;
    bool m_quit = false;        // ever requested
    bool m_quitPending = false; // not yet taken by a loop
    int m_quitCode = 0;
    WndHandle m_capture = kNoWindow;
};

// A window of another program, as tests need them: it records every message
// it receives and otherwise gets default processing.
class StandInWindow final : public IWindowTarget {
public:
    StandInWindow(HostWindowSystem& windows, std::u16string title, std::u16string className = u"",
                  WndHandle parent = kNoWindow);
    ~StandInWindow();
    StandInWindow(const StandInWindow&) = delete;
    StandInWindow& operator=(const StandInWindow&) = delete;

    LResult OnMessage(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) override;
    WndHandle Handle() const { return m_wnd; }
    // Messages received with this number, in order.
    std::vector<MessageRecord> Received(MsgId msg) const;

    std::vector<MessageRecord> received;
    // Optional reaction; its result replaces default processing when set.
    std::function<LResult(MsgId, WParam, LParam)> onMessage;

private:
    HostWindowSystem& m_windows;
    WndHandle m_wnd = kNoWindow;
};

} // namespace orv::host
