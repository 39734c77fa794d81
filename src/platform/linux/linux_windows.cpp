#include "platform/linux/linux_windows.h"

#include "base/wstr.h"

#include <algorithm>
#include <unistd.h>

namespace orv::linux_ {

namespace {

// Timers wait while posted messages are queued, as on Windows, where a timer
// message is made only when the queue holds nothing else.
constexpr gint kTimerPriority = G_PRIORITY_DEFAULT + 10;
// Windows raises shorter periods to this.
constexpr std::uint32_t kShortestPeriodMs = 10;

} // namespace

// The source that serves the queue of posted messages.
struct QueueSource {
    GSource base;
    LinuxWindowSystem* owner;

    static bool Ready(GSource* source) {
        LinuxWindowSystem* owner = reinterpret_cast<QueueSource*>(source)->owner;
        std::lock_guard<std::recursive_mutex> guard(owner->m_lock);
        return !owner->m_queue.empty() || (owner->m_quitPending && !owner->m_loops.empty());
    }
    static gboolean Prepare(GSource* source, gint* timeout) {
        *timeout = -1;
        return Ready(source);
    }
    static gboolean Check(GSource* source) { return Ready(source); }
    static gboolean Dispatch(GSource* source, GSourceFunc, gpointer) {
        reinterpret_cast<QueueSource*>(source)->owner->DeliverQueued();
        return G_SOURCE_CONTINUE;
    }
};

namespace {
GSourceFuncs g_queueFuncs = {
    QueueSource::Prepare, QueueSource::Check, QueueSource::Dispatch, nullptr, nullptr, nullptr};
} // namespace

LinuxWindowSystem::LinuxWindowSystem() : m_context(g_main_context_ref_thread_default()) {
    m_queueSource = g_source_new(&g_queueFuncs, sizeof(QueueSource));
    reinterpret_cast<QueueSource*>(m_queueSource)->owner = this;
    g_source_set_priority(m_queueSource, G_PRIORITY_DEFAULT);
    g_source_attach(m_queueSource, m_context);
}

LinuxWindowSystem::~LinuxWindowSystem() {
    for (auto& [key, timer] : m_timers) {
        g_source_destroy(timer->source);
        g_source_unref(timer->source);
    }
    m_timers.clear();
    g_source_destroy(m_queueSource);
    g_source_unref(m_queueSource);
    g_main_context_unref(m_context);
}

void LinuxWindowSystem::Wake() {
    g_main_context_wakeup(m_context);
}

WndHandle LinuxWindowSystem::AddStandIn(std::u16string title, WndHandle parent,
                                        std::string busTitle, std::uint32_t processId) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    Window window;
    window.title = std::move(title);
    window.parent = parent;
    window.style = parent == kNoWindow ? WS_POPUP : WS_CHILD;
    window.anyClass = true;
    WndHandle wnd = AddWindow(std::move(window));
    if (wnd != kNoWindow)
        m_standIns[wnd] = StandIn{std::move(busTitle), processId};
    return wnd;
}

void LinuxWindowSystem::ForgetWindow(WndHandle wnd) {
    m_standIns.erase(wnd);
    RemoveTimersOf(wnd);
    // What was posted to it is dropped with it.
    m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(),
                                 [wnd](const Queued& q) { return q.wnd == wnd; }),
                  m_queue.end());
}

std::string LinuxWindowSystem::StandInTitle(WndHandle wnd) const {
    auto it = m_standIns.find(wnd);
    return it == m_standIns.end() ? std::string() : it->second.busTitle;
}

bool LinuxWindowSystem::PostMsg(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) {
    std::string standIn;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        if (wnd == kBroadcast) {
            for (const auto& [handle, window] : m_windows) {
                if (!IsChild(window) && m_standIns.count(handle) == 0)
                    m_queue.push_back({handle, msg, wParam, lParam});
            }
            standIn.assign(1, '*');
        } else {
            if (m_windows.count(wnd) == 0)
                return false;
            standIn = StandInTitle(wnd);
            if (standIn.empty())
                m_queue.push_back({wnd, msg, wParam, lParam});
        }
    }
    if (!standIn.empty() && m_outbox != nullptr)
        m_outbox->Message(standIn, msg, wParam, lParam);
    Wake();
    return true;
}

LResult LinuxWindowSystem::SendMsg(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) {
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        std::string title = wnd == kBroadcast ? "*" : StandInTitle(wnd);
        if (!title.empty()) {
            if (m_outbox != nullptr)
                m_outbox->Message(title, msg, wParam, lParam);
            if (wnd != kBroadcast)
                return 0;
        }
    }
    if (wnd == kBroadcast) {
        std::vector<WndHandle> tops;
        {
            std::lock_guard<std::recursive_mutex> guard(m_lock);
            for (const auto& [handle, window] : m_windows) {
                if (!IsChild(window) && m_standIns.count(handle) == 0)
                    tops.push_back(handle);
            }
        }
        for (WndHandle top : tops)
            Deliver(top, msg, wParam, lParam);
        return 0;
    }
    return Deliver(wnd, msg, wParam, lParam);
}

std::optional<LResult> LinuxWindowSystem::SendCopyData(WndHandle wnd, WndHandle from,
                                                       std::uintptr_t dataId, const void* data,
                                                       std::uint32_t size, std::uint32_t) {
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        if (m_windows.count(wnd) == 0)
            return std::nullopt; // a window that is gone answers nothing
        std::string title = StandInTitle(wnd);
        if (!title.empty()) {
            if (m_outbox == nullptr)
                return std::nullopt;
            m_outbox->CopyData(title, dataId, data, size);
            return 1;
        }
    }
    // The receiver gets its own copy, as it would across processes.
    std::string copy(static_cast<const char*>(data), size);
    CopyDataBlock block{dataId, size, copy.data()};
    return Deliver(wnd, WM_COPYDATA, from, reinterpret_cast<LParam>(&block));
}

gboolean LinuxWindowSystem::OnTimer(gpointer data) {
    // The timer may be stopped or replaced by its own message: nothing of it
    // is touched after the delivery.
    auto* timer = static_cast<Timer*>(data);
    LinuxWindowSystem* owner = timer->owner;
    owner->Deliver(timer->wnd, WM_TIMER, timer->id, 0);
    if (owner->onActivity)
        owner->onActivity();
    return G_SOURCE_CONTINUE;
}

bool LinuxWindowSystem::StartTimer(WndHandle wnd, TimerId id, std::uint32_t periodMs) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_windows.count(wnd) == 0)
        return false;
    StopTimer(wnd, id);
    auto* timer = new Timer{this, wnd, id, nullptr};
    timer->source = g_timeout_source_new(std::max(periodMs, kShortestPeriodMs));
    g_source_set_priority(timer->source, kTimerPriority);
    g_source_set_callback(timer->source, OnTimer, timer,
                          [](gpointer data) { delete static_cast<Timer*>(data); });
    g_source_attach(timer->source, m_context);
    m_timers[{wnd, id}] = timer;
    return true;
}

bool LinuxWindowSystem::StopTimer(WndHandle wnd, TimerId id) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_timers.find({wnd, id});
    if (it == m_timers.end())
        return false;
    GSource* source = it->second->source;
    m_timers.erase(it);
    g_source_destroy(source);
    g_source_unref(source);
    return true;
}

void LinuxWindowSystem::RemoveTimersOf(WndHandle wnd) {
    std::vector<TimerId> ids;
    for (const auto& [key, timer] : m_timers) {
        if (key.first == wnd)
            ids.push_back(key.second);
    }
    for (TimerId id : ids)
        StopTimer(wnd, id);
}

bool LinuxWindowSystem::DeliverQueued() {
    std::size_t count;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        count = m_queue.size();
    }
    // What is posted meanwhile waits for the next round, behind the rest.
    for (std::size_t i = 0; i < count; ++i) {
        Queued next;
        {
            std::lock_guard<std::recursive_mutex> guard(m_lock);
            if (m_queue.empty())
                break;
            next = m_queue.front();
            m_queue.pop_front();
        }
        if (PreTranslate({next.wnd, next.msg, next.wParam, next.lParam}))
            continue;
        Deliver(next.wnd, next.msg, next.wParam, next.lParam);
        if (onActivity)
            onActivity();
    }
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_queue.empty() && m_quitPending && !m_loops.empty()) {
        m_quitPending = false;
        g_main_loop_quit(m_loops.back());
        return true;
    }
    return false;
}

int LinuxWindowSystem::RunLoop() {
    GMainLoop* loop = g_main_loop_new(m_context, FALSE);
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        m_loops.push_back(loop);
    }
    g_main_loop_run(loop);
    int code;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        m_loops.pop_back();
        code = m_quitCode;
    }
    g_main_loop_unref(loop);
    return code;
}

void LinuxWindowSystem::QuitLoop(int exitCode) {
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        m_quitPending = true;
        m_quitCode = exitCode;
    }
    Wake();
}

void LinuxWindowSystem::Pump(std::uint32_t ms) {
    bool done = ms == 0;
    GSource* deadline = nullptr;
    if (!done) {
        deadline = g_timeout_source_new(ms);
        g_source_set_callback(
            deadline,
            [](gpointer flag) {
                *static_cast<bool*>(flag) = true;
                return G_SOURCE_REMOVE;
            },
            &done, nullptr);
        g_source_attach(deadline, m_context);
    }
    while (!done)
        g_main_context_iteration(m_context, TRUE);
    while (g_main_context_iteration(m_context, FALSE)) {
    }
    if (deadline != nullptr) {
        g_source_destroy(deadline);
        g_source_unref(deadline);
    }
}

bool LinuxWindowSystem::UpdateWnd(WndHandle wnd) {
    // Nothing is drawn, so no window is ever invalid.
    if (onActivity)
        onActivity();
    return IsWnd(wnd);
}

void LinuxWindowSystem::ScreenSize(int& width, int& height) {
    // No screen yet; a common one, so that placements stay sensible.
    width = 1920;
    height = 1080;
}

std::uint32_t LinuxWindowSystem::WindowProcessId(WndHandle wnd) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_windows.count(wnd) == 0)
        return 0;
    auto standIn = m_standIns.find(wnd);
    return standIn != m_standIns.end() ? standIn->second.processId
                                       : static_cast<std::uint32_t>(getpid());
}

} // namespace orv::linux_
