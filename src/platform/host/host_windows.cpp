#include "platform/host/host_windows.h"

#include "base/wstr.h"

#include <algorithm>

namespace orv::host {

void HostWindowSystem::ForgetWindow(WndHandle wnd) {
    m_foregroundWatchers.erase(wnd);
    m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(),
                                  [wnd](const Timer& t) { return t.wnd == wnd; }),
                   m_timers.end());
}

bool HostWindowSystem::PostMsg(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (wnd == kBroadcast) {
        posts.push_back({wnd, msg, wParam, lParam, m_clock.TickCount(), {}});
        for (const auto& [handle, window] : m_windows) {
            if (!IsChild(window))
                m_queue.push_back({handle, msg, wParam, lParam});
        }
        return true;
    }
    if (m_windows.count(wnd) == 0)
        return false;
    posts.push_back({wnd, msg, wParam, lParam, m_clock.TickCount(), {}});
    m_queue.push_back({wnd, msg, wParam, lParam});
    return true;
}

LResult HostWindowSystem::SendMsg(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) {
    return Deliver(wnd, msg, wParam, lParam);
}

std::optional<LResult> HostWindowSystem::SendCopyData(WndHandle wnd, WndHandle from,
                                                      std::uintptr_t dataId, const void* data,
                                                      std::uint32_t size, std::uint32_t timeoutMs) {
    // A window that is gone answers nothing, as on Windows.
    if (!IsWnd(wnd))
        return std::nullopt;
    auto slow = answerTimes.find(wnd);
    std::uint32_t answerMs = slow == answerTimes.end() ? 0 : slow->second;
    // The sender's wait is time that passes, not a pause of its own.
    m_clock.SetNow(m_clock.TickCount() + std::min(answerMs, timeoutMs));
    if (answerMs > timeoutMs)
        return std::nullopt;
    // The receiver gets its own copy, as it would across processes.
    std::string copy(static_cast<const char*>(data), size);
    CopyDataBlock block{dataId, size, copy.data()};
    return Deliver(wnd, WM_COPYDATA, from, reinterpret_cast<LParam>(&block));
}

bool HostWindowSystem::StartTimer(WndHandle wnd, TimerId id, std::uint32_t periodMs) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_windows.count(wnd) == 0)
        return false;
    std::uint32_t due = m_clock.TickCount() + periodMs;
    for (Timer& timer : m_timers) {
        if (timer.wnd == wnd && timer.id == id) {
            timer.period = periodMs;
            timer.due = due;
            return true;
        }
    }
    m_timers.push_back({wnd, id, periodMs, due, m_timerOrder++});
    return true;
}

bool HostWindowSystem::StopTimer(WndHandle wnd, TimerId id) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = std::find_if(m_timers.begin(), m_timers.end(),
                           [&](const Timer& t) { return t.wnd == wnd && t.id == id; });
    if (it == m_timers.end())
        return false;
    m_timers.erase(it);
    return true;
}

bool HostWindowSystem::TimerRunning(WndHandle wnd, TimerId id) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return std::any_of(m_timers.begin(), m_timers.end(),
                       [&](const Timer& t) { return t.wnd == wnd && t.id == id; });
}

int HostWindowSystem::RunLoop() {
    // As on Windows, a quit is taken once no posted message is left, before
    // any timer, and ends only the loop that takes it.
    for (;;) {
        if (DeliverOneQueued())
            continue;
        if (m_quitPending || !DeliverOneTimer())
            break;
    }
    m_quitPending = false;
    return m_quitCode;
}

void HostWindowSystem::QuitLoop(int exitCode) {
    m_quit = true;
    m_quitPending = true;
    m_quitCode = exitCode;
}

bool HostWindowSystem::UpdateWnd(WndHandle wnd) {
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        auto it = m_windows.find(wnd);
        if (it == m_windows.end() || !it->second.invalid)
            return it != m_windows.end();
        it->second.invalid = false;
    }
    Deliver(wnd, WM_PAINT, 0, 0);
    return true;
}

void HostWindowSystem::ScreenSize(int& width, int& height) {
    width = screenWidth;
    height = screenHeight;
}

std::uint32_t HostWindowSystem::WindowProcessId(WndHandle wnd) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = windowProcess.find(wnd);
    return it == windowProcess.end() ? 0 : it->second;
}

bool HostWindowSystem::WatchForeground(WndHandle wnd, MsgId msg) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_windows.count(wnd) == 0)
        return false;
    m_foregroundWatchers[wnd] = msg;
    return true;
}

void HostWindowSystem::StopWatchingForeground(WndHandle wnd) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_foregroundWatchers.erase(wnd);
}

void HostWindowSystem::BringToFront(WndHandle wnd) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (wnd == foreground)
        return; // Windows sends no event when the foreground stays
    foreground = wnd;
    for (const auto& [watcher, msg] : m_foregroundWatchers)
        PostMsg(watcher, msg, 0, 0);
}

bool HostWindowSystem::DeliverOneQueued() {
    Queued next;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        if (m_queue.empty())
            return false;
        next = m_queue.front();
        m_queue.erase(m_queue.begin());
    }
    if (PreTranslate({next.wnd, next.msg, next.wParam, next.lParam}))
        return true;
    Deliver(next.wnd, next.msg, next.wParam, next.lParam);
    return true;
}

bool HostWindowSystem::DeliverOneTimer() {
    WndHandle wnd;
    TimerId id;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        std::uint32_t now = m_clock.TickCount();
        Timer* first = nullptr;
        for (Timer& timer : m_timers) {
            if (static_cast<std::int32_t>(now - timer.due) < 0)
                continue;
            if (first == nullptr || static_cast<std::int32_t>(timer.due - first->due) < 0 ||
                (timer.due == first->due && timer.order < first->order))
                first = &timer;
        }
        if (first == nullptr)
            return false;
        first->due = now + first->period;
        wnd = first->wnd;
        id = first->id;
    }
    Deliver(wnd, WM_TIMER, id, 0);
    return true;
}

int HostWindowSystem::RunUntilIdle() {
    int delivered = 0;
    for (;;) {
        if (DeliverOneQueued() || DeliverOneTimer()) {
            ++delivered;
            continue;
        }
        return delivered;
    }
}

void HostWindowSystem::AdvanceBy(std::uint32_t ms) {
    std::uint32_t end = m_clock.TickCount() + ms;
    for (;;) {
        RunUntilIdle();
        std::uint32_t now = m_clock.TickCount();
        bool found = false;
        std::uint32_t next = 0;
        {
            std::lock_guard<std::recursive_mutex> guard(m_lock);
            for (const Timer& timer : m_timers) {
                if (!found || static_cast<std::int32_t>(timer.due - next) < 0) {
                    next = timer.due;
                    found = true;
                }
            }
        }
        if (found && static_cast<std::int32_t>(next - end) <= 0 &&
            static_cast<std::int32_t>(next - now) > 0) {
            m_clock.SetNow(next);
            continue;
        }
        if (static_cast<std::int32_t>(end - now) > 0)
            m_clock.SetNow(end);
        RunUntilIdle();
        return;
    }
}

// ---------------------------------------------------------------- stand-ins

StandInWindow::StandInWindow(HostWindowSystem& windows, std::u16string title,
                             std::u16string className, WndHandle parent)
    : m_windows(windows) {
    WindowCreateArgs args;
    args.title = std::move(title);
    args.className = std::move(className);
    args.parent = parent;
    args.style = parent == kNoWindow ? WS_POPUP : WS_CHILD;
    m_wnd = m_windows.CreateWnd(args, this);
}

StandInWindow::~StandInWindow() {
    if (m_wnd != kNoWindow)
        m_windows.DestroyWnd(m_wnd);
}

LResult StandInWindow::OnMessage(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) {
    MessageRecord record{wnd, msg, wParam, lParam, 0, {}};
    if (msg == WM_COPYDATA && lParam != 0) {
        const auto* block = reinterpret_cast<const CopyDataBlock*>(lParam);
        record.data.assign(static_cast<const char*>(block->lpData), block->cbData);
    }
    received.push_back(std::move(record));
    if (msg == WM_NCDESTROY)
        m_wnd = kNoWindow;
    if (onMessage)
        return onMessage(msg, wParam, lParam);
    return m_windows.DefaultProc(wnd, msg, wParam, lParam);
}

std::vector<MessageRecord> StandInWindow::Received(MsgId msg) const {
    std::vector<MessageRecord> out;
    for (const MessageRecord& record : received) {
        if (record.msg == msg)
            out.push_back(record);
    }
    return out;
}

} // namespace orv::host
