#include "messaging/foreground_settle.h"

#include "platform/platform.h"

namespace orv {

void CForegroundSettle::Start(WndHandle owner, bool linked) {
    Stop();
    m_owner = owner;
    m_linked = false;
    SetLinked(linked);
}

void CForegroundSettle::SetLinked(bool linked) {
    if (m_owner == kNoWindow || linked == m_linked)
        return;
    m_linked = linked;
    if (!linked) {
        Windows().StopWatchingForeground(m_owner);
        Windows().StopTimer(m_owner, m_lookTimer);
        Windows().StopTimer(m_owner, m_settleTimer);
        return;
    }
    m_seen = Windows().ForegroundWindow();
    m_waiting = kNoWindow;
    // The look runs even where the notice arrives: some systems deliver it
    // for some programs only, and a look that finds no change costs nothing.
    Windows().WatchForeground(m_owner, m_notice);
    Windows().StartTimer(m_owner, m_lookTimer, kLookMs);
}

void CForegroundSettle::Stop() {
    if (m_owner == kNoWindow)
        return;
    SetLinked(false);
    m_owner = kNoWindow;
}

void CForegroundSettle::OnNotice() {
    if (Following())
        Changed(Windows().ForegroundWindow());
}

bool CForegroundSettle::OnTimer(TimerId id) {
    if (!Following())
        return false;
    if (id == m_lookTimer) {
        WndHandle front = Windows().ForegroundWindow();
        if (front != m_seen)
            Changed(front);
        return false;
    }
    if (id != m_settleTimer)
        return false;
    Windows().StopTimer(m_owner, m_settleTimer);
    WndHandle front = Windows().ForegroundWindow();
    if (front == m_waiting)
        return true;
    // Another window came to the front meanwhile without a notice: it has to
    // stay for a whole settle of its own.
    Changed(front);
    return false;
}

void CForegroundSettle::Changed(WndHandle front) {
    m_seen = front;
    m_waiting = front;
    if (front == kNoWindow) // nothing in front: the watcher would do nothing
        Windows().StopTimer(m_owner, m_settleTimer);
    else
        Windows().StartTimer(m_owner, m_settleTimer, kSettleMs);
}

} // namespace orv
