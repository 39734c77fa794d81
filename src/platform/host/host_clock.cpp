#include "platform/host/host_clock.h"

namespace orv::host {

std::uint32_t VirtualClock::TickCount() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_now;
}

void VirtualClock::Sleep(std::uint32_t ms) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_now += ms;
    pauses.push_back(ms);
}

void VirtualClock::SetNow(std::uint32_t now) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_now = now;
}

} // namespace orv::host
