// When the watcher should look at the foreground program again, besides its
// own tick: soon after the foreground window changes, once the new window has
// stayed in front for a moment.
//
// A change is known from the platform's foreground notice or, where that
// notice does not come, from a look at the foreground window's handle every
// kLookMs (one cheap call; the process snapshot is only taken after a
// change). Each change restarts the settle; the watcher step is due when the
// settle runs out and the same window is still in front. A window that is in
// front only for a moment (the task switcher, a notification, the on-screen
// display) is never looked at, so a flick through several programs ends on
// the slot of the one left in front and sends nothing for the others.
#pragma once

#include "platform/types.h"

#include <cstdint>

namespace orv {

class CForegroundSettle {
public:
    static constexpr std::uint32_t kSettleMs = 50;
    static constexpr std::uint32_t kLookMs = 250;

    // The owner's timers and the message the platform posts on a change.
    CForegroundSettle(TimerId settleTimer, TimerId lookTimer, MsgId notice)
        : m_settleTimer(settleTimer), m_lookTimer(lookTimer), m_notice(notice) {}

    // Follows the foreground for `owner` from now on; only changes count,
    // not the window in front now. `linked`: some slot links a program; with
    // none, no change can switch anything and nothing is followed.
    void Start(WndHandle owner, bool linked);
    // The links were read again.
    void SetLinked(bool linked);
    void Stop();

    // The owner received the notice message.
    void OnNotice();
    // The owner's timer `id` fell due. True when it was the settle and the
    // window it waited for is still in front: the watcher step is due.
    bool OnTimer(TimerId id);

private:
    bool Following() const { return m_owner != kNoWindow && m_linked; }
    void Changed(WndHandle front);

    const TimerId m_settleTimer;
    const TimerId m_lookTimer;
    const MsgId m_notice;
    WndHandle m_owner = kNoWindow;
    bool m_linked = false;
    WndHandle m_seen = kNoWindow;    // the foreground at the last change or look
    WndHandle m_waiting = kNoWindow; // the window the settle waits for
};

} // namespace orv
